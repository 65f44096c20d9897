#pragma once
// Theme files: a binary file of typed, named entries that replaces the built-in values.
//
// Layout (little-endian): a 24-byte header (offset 12: header length, offset 20: offset of
// the first directory entry), then a chain of 77-byte directory entries (64-byte name,
// type byte, data offset, data size, next offset). The entry whose next offset is 0 ends
// the chain and carries no value.
#include "core/Errors.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>

namespace parvelle {

enum ThemeEntryType : uint8_t { teImage = 0, teInteger = 1, teBoolean = 2, teText = 3 };

struct ThemeFileEntry {
    QString name;
    ThemeEntryType type = teInteger;
    QByteArray data;   // image: a whole BMP file; integer: 4 bytes; boolean: 1 byte; text
};

// Builds a theme file of the entries, in their order, ending the chain with a terminating
// entry. EParvelleError when a name is empty, longer than 64 bytes or not single-byte text.
QByteArray BuildThemeFile(const QList<ThemeFileEntry>& entries);

// A theme file or bitmap read whole. EInOutError when it cannot be opened or read, or is
// larger than kMaxSkinFileSize (theme files address at most 4 GiB; real ones are small).
inline constexpr qint64 kMaxSkinFileSize = 256 * 1024 * 1024;
QByteArray ReadSkinFile(const QString& path);

// Raw entry data of an integer or boolean.
QByteArray ThemeIntegerData(int32_t value);
QByteArray ThemeBooleanData(bool value);

// Named values of one kind, in file order: integers and booleans in decimal, texts as read.
using ThemeValues = QList<std::pair<QString, QString>>;

// All entries of one theme file, read at once. Entries may share a data block. A damaged
// directory (a chain that loops, an entry or data past the end of the file, distinct data
// blocks that together hold more data than the file, an integer not of 4 bytes, a boolean
// not of 1 byte) ends the read with the entries read before it.
class TsuiThemeFileReader {
public:
    // EInOutError when the file cannot be opened or read.
    explicit TsuiThemeFileReader(const QString& fileName);
    explicit TsuiThemeFileReader(const QByteArray& fileContent);

    // Image entry's data (a BMP file), or nullptr. Names match without regard to case;
    // the first entry of a name counts.
    const QByteArray* GetStream(const QString& name) const;
    int32_t GetInt(const QString& name) const;   // -1 when missing or no integer
    bool GetBool(const QString& name) const;     // false when missing or no number

    const ThemeValues& Integers() const { return integers_; }
    const ThemeValues& Booleans() const { return booleans_; }
    const ThemeValues& Texts() const { return texts_; }
    QStringList ImageNames() const;   // in file order
    const QByteArray& ImageData(qsizetype index) const { return images_[index].second; }
    qsizetype EntryCount() const;

    // Why the directory ended early, or "" when it ended at its terminating entry.
    const QString& DamageNote() const { return damageNote_; }

private:
    struct DataBlock;
    void Read(const QByteArray& content);
    bool ProcessEntry(const QString& name, uint8_t type, const DataBlock& block);

    QList<std::pair<QString, QByteArray>> images_;
    ThemeValues integers_;
    ThemeValues booleans_;
    ThemeValues texts_;
    QString damageNote_;
};

} // namespace parvelle
