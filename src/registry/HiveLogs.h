#pragma once
// Transaction logs of a hive (NAME.LOG1, NAME.LOG2, older systems NAME.LOG). A hive that
// was not closed cleanly keeps its newest changes there; they are replayed here onto a
// copy of the hive's image in memory, as Windows does when it loads the hive. Both log
// formats are read: entries with dirty-page references (Windows 8.1 and later) and a
// dirty-page bitmap (earlier systems). Every checksum, hash and sequence number is
// checked; the first damaged or stale entry ends the replay, and nothing of it is applied.
#include "RegfLayout.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace parvelle {

// Marvin32 with a 64-bit seed, the full 64-bit result.
uint64_t Marvin32(uint64_t seed, const char* data, size_t size);
// The seed of the hashes in log entries.
constexpr uint64_t kLogHashSeed = 0x82EF4D887A4E55C5;

// A hive needs its logs when its base block checksum is wrong or its two sequence
// numbers differ.
bool IsDirtyHive(const QByteArray& image);

// The logs beside a hive: NAME.LOG1, NAME.LOG2 and NAME.LOG in that order, names matched
// ignoring letter case.
QStringList FindHiveLogs(const QString& hivePath);

struct HiveLog {
    QString name;       // file name, for messages
    QByteArray bytes;   // empty for an empty or unreadable file
    QString error;      // why it could not be read, or empty
};

// Reads the named log files.
std::vector<HiveLog> ReadHiveLogs(const QStringList& paths);

// Why a log or one of its entries was not used, or what the replay had to mend. `offset`,
// `expected` and `found` are given where the kind has them, as noted.
enum class LogProblemKind {
    Unreadable,             // the file could not be read
    NoHeader,               // no base block copy
    HeaderChecksum,         // offset of the checksum; expected the computed one, found the stored one
    HeaderIncomplete,       // offset of the second sequence number; expected the first one
    NotALog,                // offset of the file type, found it
    NoDirtyBitmap,          // offset where the "DIRT" signature belongs
    OtherHive,              // its header names another hive
    SequenceGap,            // offset of its sequence number; expected the next one of the log before
    EntryHeaderHash,        // offset of the entry; expected the computed hash, found the stored one
    EntryPastLog,           // offset of the entry; expected the bytes left in the log, found its size
    HiveSize,               // offset of the entry or of the old log's size field; expected the bound
    EntryPageTable,         // offset of the entry; expected the most pages it has room for, found its count
    EntryPagePastHive,      // offset of the entry; expected the hive size it declares, found the page's offset
    EntryPageData,          // offset of the entry; expected its size, found the size its pages need
    EntryDataHash,          // offset of the entry; expected the computed hash, found the stored one
    EntrySequence,          // offset of the entry; the sequence numbers
    Shrinking,              // offset of the entry or of the old log's size field; expected the size before
    BitmapCutShort,         // expected the bytes the bitmap needs, found the log's size
    PagesCutShort,          // expected the bytes the listed pages need, found the log's size
    BinBroken,              // hive offset of the bin; the values of its first wrong header field
    NewerThanHive,          // offset of the log's timestamp; expected the hive's, found the log's
    BinsReplaced,           // hive offset of the first replaced bin; found how many were replaced
    ReplayedHiveDamaged,    // the replayed hive fails the reader's checks: `damage` when it names the fault
};

struct LogProblem {
    QString log;                            // the log's file name; for the replayed hive, the logs applied
    LogProblemKind kind;
    std::optional<uint64_t> offset;         // in the log, else in the hive (see the kind)
    std::optional<uint64_t> expected;       // the value called for, or the bound to stay within
    std::optional<uint64_t> found;
    std::optional<regf::DamageKind> damage; // what the reader found damaged in the replayed hive
    QString text;                           // the sentence for the user
};

struct LogReplay {
    QByteArray image;          // the hive with the valid log pages applied, else as given
    bool dirty = false;        // the hive was not closed cleanly
    bool applied = false;      // pages of a log were applied; the base block is then clean
    QStringList logsUsed;      // file names, in the order applied
    uint32_t pages = 0;        // dirty page references (or 512-byte pages of an old log)
    uint32_t sequence = 0;     // the sequence number reached
    std::vector<LogProblem> problems;   // damaged logs and entries that ended the replay
    QStringList skipped;       // logs not used for an ordinary reason (older than the hive)
    bool anyLog = false;       // some log file was given

    // One line for the user; empty when the hive was clean.
    QString note() const;
    QStringList problemTexts() const;
};

// Replays `logs` onto `primary` when it is dirty; a clean hive comes back unchanged.
LogReplay ReplayHiveLogs(QByteArray primary, const std::vector<HiveLog>& logs);
// The same, reading the log files only when the hive is dirty.
LogReplay ReplayHiveLogFiles(QByteArray primary, const QStringList& logPaths);

// A clean hive file from a hive image whose base block is consistent: the base block and
// the hive bins, without the bytes that followed them.
QByteArray CleanHiveFile(const QByteArray& image);

} // namespace parvelle
