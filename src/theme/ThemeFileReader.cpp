#include "ThemeFileReader.h"

#include "core/NativePath.h"

#include <QFile>
#include <QHash>
#include <QSet>
#include <QtEndian>

namespace parvelle {

namespace {

constexpr qsizetype kHeaderSize = 24;
constexpr qsizetype kHeaderLengthOffset = 12;
constexpr qsizetype kFirstEntryFieldOffset = 20;
constexpr qsizetype kNameSize = 64;
constexpr qsizetype kEntrySize = 77;

uint32_t ReadU32(const QByteArray& bytes, qsizetype offset)
{
    return qFromLittleEndian<uint32_t>(bytes.constData() + offset);
}

void AppendU32(QByteArray& bytes, uint32_t value)
{
    char raw[4];
    qToLittleEndian(value, raw);
    bytes.append(raw, 4);
}

struct DirectoryEntry {
    QString name;
    uint8_t type = 0;
    uint32_t dataOffset = 0;
    uint32_t size = 0;
    uint32_t next = 0;
};

// Caller guarantees that kEntrySize bytes exist at offset.
DirectoryEntry ReadDirectoryEntry(const QByteArray& content, qsizetype offset)
{
    const char* name = content.constData() + offset;
    DirectoryEntry entry;
    entry.name = QString::fromLatin1(name, qstrnlen(name, kNameSize));
    entry.type = static_cast<uint8_t>(content[offset + kNameSize]);
    entry.dataOffset = ReadU32(content, offset + kNameSize + 1);
    entry.size = ReadU32(content, offset + kNameSize + 5);
    entry.next = ReadU32(content, offset + kNameSize + 9);
    return entry;
}

void AppendDirectoryEntry(QByteArray& out, const QByteArray& name, uint8_t type,
                          uint32_t dataOffset, uint32_t size, uint32_t next)
{
    QByteArray field = name.left(kNameSize);
    field.append(kNameSize - field.size(), '\0');
    out.append(field);
    out.append(static_cast<char>(type));
    AppendU32(out, dataOffset);
    AppendU32(out, size);
    AppendU32(out, next);
}

// Value of the first entry whose name matches (case ignored); null if none.
QString ValueOf(const ThemeValues& values, const QString& name)
{
    for (const auto& [entryName, value] : values) {
        if (entryName.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return QString();
}

} // namespace

QByteArray ThemeIntegerData(int32_t value)
{
    QByteArray data;
    AppendU32(data, static_cast<uint32_t>(value));
    return data;
}

QByteArray ThemeBooleanData(bool value)
{
    return QByteArray(1, value ? '\1' : '\0');
}

QByteArray BuildThemeFile(const QList<ThemeFileEntry>& entries)
{
    QByteArray out("ParvelleThm", 12);   // bytes 0-11 are not interpreted by readers
    AppendU32(out, kHeaderSize);
    AppendU32(out, 1);                     // bytes 16-19: format version of this writer
    AppendU32(out, 0);                     // first entry offset, set below

    QList<QByteArray> names;
    QList<uint32_t> dataOffsets;
    for (const ThemeFileEntry& entry : entries) {
        const QByteArray name = entry.name.toLatin1();
        if (entry.name.isEmpty() || name.size() > kNameSize || name.contains('\0')
            || QString::fromLatin1(name) != entry.name)
            throw EParvelleError(QStringLiteral("Theme entry name '%1' is not 1 to 64 single-byte "
                                                "characters").arg(entry.name));
        names.append(name);
        dataOffsets.append(static_cast<uint32_t>(out.size()));
        out.append(entry.data);
    }
    if (out.size() + (entries.size() + 1) * kEntrySize > qsizetype(UINT32_MAX))
        throw EParvelleError(QStringLiteral("Theme file would exceed 4 GiB"));

    const auto directory = static_cast<uint32_t>(out.size());
    qToLittleEndian(directory, out.data() + kFirstEntryFieldOffset);
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const auto next = static_cast<uint32_t>(directory + (i + 1) * kEntrySize);
        AppendDirectoryEntry(out, names[i], entries[i].type, dataOffsets[i],
                             static_cast<uint32_t>(entries[i].data.size()), next);
    }
    AppendDirectoryEntry(out, QByteArray(), 0, 0, 0, 0);   // terminating entry
    return out;
}

QByteArray ReadSkinFile(const QString& path)
{
    QFile file;
    if (!OpenFile(file, path, QIODevice::ReadOnly))
        throw EInOutError(QStringLiteral("Cannot open '%1': %2").arg(path, SystemErrorText()));
    if (file.size() > kMaxSkinFileSize)
        throw EInOutError(QStringLiteral("'%1' is too large for a theme file").arg(path));
    QByteArray content = file.read(kMaxSkinFileSize + 1);
    if (file.error() != QFileDevice::NoError)
        throw EInOutError(QStringLiteral("Cannot read '%1': %2").arg(path, file.errorString()));
    if (content.size() > kMaxSkinFileSize)
        throw EInOutError(QStringLiteral("'%1' is too large for a theme file").arg(path));
    return content;
}

// Entries that name the same data block share its bytes and its text, so that a small
// file cannot make the reader hold a copy of one block per entry.
struct TsuiThemeFileReader::DataBlock {
    QByteArray Bytes;
    QString Text;   // decoded for the first text entry that names the block
};

TsuiThemeFileReader::TsuiThemeFileReader(const QString& fileName)
{
    Read(ReadSkinFile(fileName));
}

TsuiThemeFileReader::TsuiThemeFileReader(const QByteArray& fileContent)
{
    Read(fileContent);
}

void TsuiThemeFileReader::Read(const QByteArray& content)
{
    if (content.size() < kHeaderLengthOffset + 4) {
        damageNote_ = QStringLiteral("the file is shorter than a theme file header");
        return;
    }
    const qsizetype headerLength = std::min<qsizetype>(ReadU32(content, kHeaderLengthOffset),
                                                       kHeaderSize);
    if (headerLength < kHeaderSize || content.size() < kHeaderSize) {
        damageNote_ = QStringLiteral("the header holds no directory offset");
        return;
    }
    QSet<qsizetype> visited;
    QHash<quint64, DataBlock> blocks;        // by offset and size
    qsizetype dataLeft = content.size();   // distinct blocks never hold more data than the file
    qsizetype offset = ReadU32(content, kFirstEntryFieldOffset);
    for (;;) {
        if (visited.contains(offset)) {
            damageNote_ = QStringLiteral("the directory chain loops back to offset %1").arg(offset);
            return;
        }
        visited.insert(offset);
        if (offset > content.size() - kEntrySize) {
            damageNote_ = QStringLiteral("a directory entry at offset %1 lies past the end of "
                                         "the file").arg(offset);
            return;
        }
        const DirectoryEntry entry = ReadDirectoryEntry(content, offset);
        if (entry.next == 0)
            return;
        if (entry.type <= teText) {
            if (qsizetype(entry.dataOffset) > content.size()
                || qsizetype(entry.size) > content.size() - qsizetype(entry.dataOffset)) {
                damageNote_ = QStringLiteral("the data of entry '%1' lies past the end of the "
                                             "file").arg(entry.name);
                return;
            }
            const quint64 key = quint64(entry.dataOffset) << 32 | entry.size;
            auto block = blocks.find(key);
            if (block == blocks.end()) {
                if (qsizetype(entry.size) > dataLeft) {
                    damageNote_ = QStringLiteral("the data of entry '%1' overlaps other data: the "
                                                 "entries hold more data than the file").arg(entry.name);
                    return;
                }
                dataLeft -= entry.size;
                block = blocks.insert(key, DataBlock{content.mid(entry.dataOffset, entry.size), QString()});
            }
            if (entry.type == teText && block->Text.isNull())
                block->Text = QString::fromLatin1(block->Bytes);
            if (!ProcessEntry(entry.name, entry.type, *block))
                return;
        }
        offset = entry.next;
    }
}

bool TsuiThemeFileReader::ProcessEntry(const QString& name, uint8_t type, const DataBlock& block)
{
    const QByteArray& data = block.Bytes;
    switch (type) {
    case teImage:
        images_.append({name, data});
        return true;
    case teInteger:
        if (data.size() != 4) {
            damageNote_ = QStringLiteral("integer entry '%1' has %2 bytes, not 4")
                              .arg(name).arg(data.size());
            return false;
        }
        integers_.append({name, QString::number(static_cast<int32_t>(ReadU32(data, 0)))});
        return true;
    case teBoolean:
        if (data.size() != 1) {
            damageNote_ = QStringLiteral("boolean entry '%1' has %2 bytes, not 1")
                              .arg(name).arg(data.size());
            return false;
        }
        booleans_.append({name, QString::number(uint8_t(data[0]))});
        return true;
    default:
        texts_.append({name, block.Text});
        return true;
    }
}

const QByteArray* TsuiThemeFileReader::GetStream(const QString& name) const
{
    for (const auto& [imageName, data] : images_) {
        if (imageName.compare(name, Qt::CaseInsensitive) == 0)
            return &data;
    }
    return nullptr;
}

int32_t TsuiThemeFileReader::GetInt(const QString& name) const
{
    bool ok = false;
    const int value = ValueOf(integers_, name).toInt(&ok);
    return ok ? value : -1;
}

bool TsuiThemeFileReader::GetBool(const QString& name) const
{
    bool ok = false;
    const int value = ValueOf(booleans_, name).toInt(&ok);
    return ok && value != 0;
}

qsizetype TsuiThemeFileReader::EntryCount() const
{
    return images_.size() + integers_.size() + booleans_.size() + texts_.size();
}

QStringList TsuiThemeFileReader::ImageNames() const
{
    QStringList names;
    for (const auto& image : images_)
        names.append(image.first);
    return names;
}

} // namespace parvelle
