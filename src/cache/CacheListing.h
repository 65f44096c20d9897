#pragma once
// The cache listing: one row per ARPCache entry with a binary SlowInfoCache record.
#include "CacheRecord.h"
#include "registry/Machine.h"

#include <QDateTime>
#include <QHash>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

namespace parvelle {

enum CacheColumn {
    ccKeyName, ccInAddRemove, ccFilePath, ccFrequency, ccLastUsed,
    ccInstallSize, ccHasName, ccDataSize, ccChanged, ccColumnCount
};

// "KeyName", "In Add/Remove", ... in column order.
const QStringList& CacheColumnHeaders();

struct CacheRow {
    QString KeyName;
    bool InAddRemove = false;
    bool addRemoveUnknown = false;    // not found, but the Uninstall key has damaged subkeys
    CacheRecord record;
    std::optional<QString> Changed;   // a string value, or a 32-bit number in signed decimal
    QStringList columns;              // the nine column texts, CacheColumn order; Last Used in
                                      // the listing's lastUsedColumn style
    QString damage;                   // why the entry's record is not shown: its key cannot be
                                      // read (File Path shows kDamagedEntry) or its SlowInfoCache
                                      // is not binary (kRecordNotBinary); the record is left empty
};

// How the Last Used column is written: in the locale's formats (the command line's table),
// as ISO 8601 UTC (CSV and JSON, which never show the locale text), or not at all, for the
// window, which writes it with a LastUsedFormatter when a row is shown.
enum LastUsedStyle { luLocale, luIso, luWhenShown };

struct CacheListing {
    uint8_t osKind = 0;
    LastUsedStyle lastUsedColumn = luLocale;
    HKEY root = 0;                    // where the cache is read: the root of osKind, see versionUnknown
    bool versionUnknown = false;      // no SOFTWARE hive tells the Windows version: the cache of
                                      // the user hive mounted alone is read
    bool cacheFound = false;          // the ARPCache key exists under root
    std::vector<CacheRow> rows;       // in the registry's enumeration order
    QStringList unreadable;           // "name: reason" of the entries with a damage
    QString uninstallDamage;          // why Uninstall subkeys (some or all) cannot be read
};

// The rows of a listing, kept for the next: a listing given them decodes again only the
// entries whose SlowInfoCache does not decode to the record of the row kept under the same
// name or whose Changed gives another text, and reads every Add/Remove answer afresh.
// Rows of damaged entries are never kept. The rows move into the next listing, not copied:
// its maker keeps that listing's rows in turn, once done with them. Two readers of one
// listing take rows at once from parts of their own.
class CacheRowReuse {
public:
    // Where a reader takes kept rows: from those in [begin, end), looking first at `next`
    // (entries mostly come in the order they came before).
    struct Range {
        size_t begin = 0;
        size_t end = SIZE_MAX;
        size_t next = 0;
        bool alone = true;   // no other reader meanwhile: the rows' index by name may be made
    };

    void keep(CacheListing&& listing);
    // A listing begins; the rows kept from one in another style are forgotten.
    void begin(LastUsedStyle style);
    // Before readers of `entries` start: where the rows kept for a reader's block of
    // entries begin, given the name of its first entry and that entry's place. When
    // entries came or went, the rows' index by name is made, for every reader to find its
    // rows by; without it, a reader decodes afresh the entries it finds out of step.
    size_t splitAt(QStringView name, size_t place, size_t entries);
    // The row kept for that name, for the caller to move out, when its SlowInfoCache
    // (binary) and Changed text still are what it was made from; nullptr otherwise.
    // `range.next` moves on past a row found.
    CacheRow* take(QStringView name, const QByteArray& record, std::optional<QStringView> changed, Range& range);
    // An empty vector for rows, with the memory of an earlier listing's where one is kept
    // (the one with room for `rows`, if any): memory the program holds already is far
    // quicker to fill than memory asked of the system. Given back with giveStorage().
    std::vector<CacheRow> takeStorage(size_t rows);
    void giveStorage(std::vector<CacheRow>&& rows);

private:
    CacheRow* byName(QStringView name, Range& range);
    void makeIndex();

    std::vector<CacheRow> rows_;   // in the order they were read
    std::vector<uint8_t> taken_;   // moved into a listing (bytes: two readers set their own)
    QHash<QString, size_t> index_;   // rows_ by name, made when the order first differs
    std::optional<LastUsedStyle> style_;
    std::vector<std::vector<CacheRow>> storage_;   // empty, kept for their memory; by capacity
};

// The OS kind that places the machine's cache: that of its Windows version, or 8 (the
// cache of HKEY_CURRENT_USER) for a user hive opened without a SOFTWARE hive.
uint8_t CacheOSKind(Machine& machine);

// Reads the cache of the machine, first reading again the hives another program changed
// since they were read. Entries without a SlowInfoCache are left out; entries the store
// fails to read, or whose SlowInfoCache is not binary, are listed with their damage and
// named in unreadable.
// Ends by calling bagEnter (when given).
CacheListing ListCache(Machine& machine, const std::function<void()>& bagEnter = {},
                       LastUsedStyle lastUsedColumn = luLocale, CacheRowReuse* reuse = nullptr);

// Takes each row of a listing as it is read.
using CacheRowSink = std::function<void(CacheRow&&)>;

// As ListCache, but each row goes to `eachRow` as it is read and Rows stays empty, so that
// a long listing is never held whole; without `eachRow` the rows are kept in Rows.
CacheListing StreamCache(Machine& machine, const CacheRowSink& eachRow, LastUsedStyle lastUsedColumn,
                         CacheRowReuse* reuse = nullptr);

// Why the listing is empty when the registry tells it: the cache key is missing, or the
// cache of that Windows lies in HKEY_CURRENT_USER and no NTUSER.DAT is open. Empty otherwise.
QString EmptyListingReason(const Machine& machine, const CacheListing& listing);

// Column texts.
QString FrequencyText(int32_t frequency);                 // "rarely (2)"
QString InAddRemoveText(bool inAddRemove);                // "Yes" / "No"
QString HasNameText(bool hasName);                        // "True" / "False"
inline const QString kNoDateGiven = QStringLiteral("No Date Given");
inline const QString kUnknownAnswer = QStringLiteral("Unknown");           // In Add/Remove
inline const QString kDamagedEntry = QStringLiteral("<damaged key>");      // File Path
inline const QString kRecordNotBinary = QStringLiteral("<SlowInfoCache not binary>");   // File Path
inline const QString kUnreadableName = QStringLiteral("<unreadable name>"); // KeyName

// The FILETIME as a UTC date and time; nullopt for 0 and for values past the year 9999.
std::optional<QDateTime> FileTimeToUtc(uint64_t fileTime);
// "2006-08-14T03:33:20Z", or empty when FileTimeToUtc gives nothing.
QString FileTimeToIso(uint64_t fileTime);

// Last Used in the locale's short date (with a four-digit year) and long time formats (the
// time left out at midnight); "No Date Given" for 0, and for a time past the year 9999
// "Out of range (FILETIME N)" with its value.
class LastUsedFormatter {
public:
    explicit LastUsedFormatter(const QLocale& locale = QLocale::system());
    QString text(uint64_t fileTime) const;

private:
    QLocale locale_;
    QString dateFormat_;
    QString timeFormat_;
    mutable QHash<qint64, QString> dateTexts_;   // by Julian day: entries often share a day
};

} // namespace parvelle
