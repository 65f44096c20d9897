#include "ThemePack.h"

#include "ThemeItems.h"
#include "core/NativePath.h"
#include "core/QuietRead.h"
#include "core/SafeFile.h"

#include <QDir>
#include <QImage>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace parvelle {

namespace {

constexpr QLatin1String kImageSuffix(".bmp");

struct Section {
    const char* name;
    ThemeEntryType type;
};
constexpr Section kSections[] = {
    {"Integers", teInteger}, {"Booleans", teBoolean}, {"Texts", teText}};

const char* SectionName(ThemeEntryType type)
{
    for (const Section& section : kSections) {
        if (section.type == type)
            return section.name;
    }
    return "";
}

// Catalogue item of a key name (case ignored), 0 for other names.
int CatalogueItem(const QString& name)
{
    for (int item = 1; item <= kThemeItemCount; ++item) {
        if (ThemeItemKeyName(item).compare(name, Qt::CaseInsensitive) == 0)
            return item;
    }
    return 0;
}

// The entry type a catalogue key must be stored as; none for names outside the catalogue.
std::optional<ThemeEntryType> CatalogueEntryType(const QString& name)
{
    const int item = CatalogueItem(name);
    if (item == 0)
        return std::nullopt;
    switch (ThemeItemKindOf(item)) {
    case ikImage: return teImage;
    case ikBool: return teBoolean;
    default: return teInteger;   // integers and colours
    }
}

// Where an entry of this name and type goes in a theme folder.
QString PlaceOf(const QString& name, ThemeEntryType type)
{
    return type == teImage ? QStringLiteral("in %1%2").arg(name, kImageSuffix)
                           : QStringLiteral("under [%1]").arg(QLatin1String(SectionName(type)));
}

void CheckCatalogueType(const QString& name, ThemeEntryType type, const QString& where)
{
    const auto expected = CatalogueEntryType(name);
    if (expected && *expected != type)
        throw EParvelleError(QStringLiteral("%1: %2 belongs %3").arg(where, name, PlaceOf(name, *expected)));
}

QByteArray ParseInteger(const QString& text, const QString& where)
{
    bool ok = false;
    const QString trimmed = text.trimmed();
    qlonglong value = 0;
    if (trimmed.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        const qulonglong hex = trimmed.mid(2).toULongLong(&ok, 16);
        ok = ok && hex <= UINT32_MAX;
        value = qlonglong(hex);
    } else {
        value = trimmed.toLongLong(&ok, 10);
    }
    if (!ok || value < INT32_MIN || value > qlonglong(UINT32_MAX))
        throw EParvelleError(QStringLiteral("%1: '%2' is not a 32-bit integer").arg(where, trimmed));
    return ThemeIntegerData(static_cast<int32_t>(static_cast<uint32_t>(value)));
}

QByteArray ParseBoolean(const QString& text, const QString& where)
{
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return ThemeBooleanData(true);
    if (trimmed.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return ThemeBooleanData(false);
    bool ok = false;
    const uint value = trimmed.toUInt(&ok);
    if (!ok || value > 255)
        throw EParvelleError(QStringLiteral("%1: '%2' is not True, False or 0-255").arg(where, trimmed));
    return QByteArray(1, char(value));
}

QString Escape(const QString& text)
{
    QString escaped;
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\': escaped += QLatin1String("\\\\"); break;
        case '\n': escaped += QLatin1String("\\n"); break;
        case '\r': escaped += QLatin1String("\\r"); break;
        case '\t': escaped += QLatin1String("\\t"); break;
        default: escaped += c;
        }
    }
    return escaped;
}

QByteArray Unescape(const QString& text, const QString& where)
{
    QString plain;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != QLatin1Char('\\')) {
            plain += text[i];
            continue;
        }
        const QChar next = i + 1 < text.size() ? text[i + 1] : QChar();
        switch (next.unicode()) {
        case '\\': plain += QLatin1Char('\\'); break;
        case 'n': plain += QLatin1Char('\n'); break;
        case 'r': plain += QLatin1Char('\r'); break;
        case 't': plain += QLatin1Char('\t'); break;
        default: throw EParvelleError(QStringLiteral("%1: unknown escape '\\%2'").arg(where, next));
        }
        ++i;
    }
    if (QString::fromLatin1(plain.toLatin1()) != plain)
        throw EParvelleError(QStringLiteral("%1: texts hold single-byte characters only").arg(where));
    return plain.toLatin1();
}

// Names are compared without regard to case, as readers do, within one kind of entry.
class NameRegister {
public:
    bool Add(ThemeEntryType type, const QString& name)
    {
        const QString key = QString::number(type) + QLatin1Char(':') + name.toLower();
        if (seen_.contains(key))
            return false;
        seen_.insert(key);
        return true;
    }

private:
    QSet<QString> seen_;
};

void CountEntry(ThemePackCounts& counts, ThemeEntryType type)
{
    switch (type) {
    case teImage: ++counts.images; break;
    case teInteger: ++counts.integers; break;
    case teBoolean: ++counts.booleans; break;
    case teText: ++counts.texts; break;
    }
}

// The files of a theme folder: images (sorted by name), the values file, and the rest.
struct FolderFiles {
    QStringList images;
    bool hasValues = false;
    QStringList skipped;
};

FolderFiles ListThemeFolder(const QDir& dir)
{
    FolderFiles files;
    const QLatin1String valuesName(kThemeValuesFileName);
    QStringList names = QuietFolderEntries(dir.path(), EntryKind::Any);
    std::sort(names.begin(), names.end());
    for (const QString& name : names) {
        if (name.startsWith(QLatin1Char('.')))
            files.skipped.append(name + QLatin1String(": hidden file"));
        else if (IsFolder(dir.filePath(name)))
            files.skipped.append(name + QLatin1String(": folder"));
        else if (name == valuesName)
            files.hasValues = true;
        else if (name.compare(valuesName, Qt::CaseInsensitive) == 0)
            files.skipped.append(name + QStringLiteral(": the values file must be named %1").arg(valuesName));
        else if (IsFile(dir.filePath(name)) && name.endsWith(kImageSuffix, Qt::CaseInsensitive))
            files.images.append(name);
        else
            files.skipped.append(name + QStringLiteral(": neither <Entry>%1 nor %2").arg(kImageSuffix, valuesName));
    }
    return files;
}

QList<ThemeFileEntry> ReadImages(const QDir& dir, const QStringList& files, NameRegister& names)
{
    QList<ThemeFileEntry> entries;
    for (const QString& fileName : files) {
        const QString name = fileName.left(fileName.size() - kImageSuffix.size());
        CheckCatalogueType(name, teImage, fileName);
        if (!names.Add(teImage, name))
            throw EParvelleError(QStringLiteral("%1: image %2 appears twice").arg(fileName, name));
        const QByteArray data = ReadSkinFile(dir.filePath(fileName));
        if (!data.startsWith("BM") || QImage::fromData(data, "BMP").isNull())
            throw EParvelleError(QStringLiteral("%1 is not a BMP file").arg(fileName));
        entries.append({name, teImage, data});
    }
    return entries;
}

QList<ThemeFileEntry> ReadValues(const QString& path, NameRegister& names)
{
    QList<ThemeFileEntry> entries;
    const QStringList lines = QString::fromUtf8(ReadSkinFile(path)).split(QLatin1Char('\n'));
    const ThemeEntryType* section = nullptr;   // points into kSections
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const QString where = QStringLiteral("%1 line %2").arg(QLatin1String(kThemeValuesFileName)).arg(i + 1);
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')) || trimmed.startsWith(QLatin1Char(';')))
            continue;
        if (trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']'))) {
            const QString title = trimmed.mid(1, trimmed.size() - 2).trimmed();
            section = nullptr;
            for (const Section& s : kSections) {
                if (title.compare(QLatin1String(s.name), Qt::CaseInsensitive) == 0)
                    section = &s.type;
            }
            if (!section)
                throw EParvelleError(QStringLiteral("%1: unknown section [%2]").arg(where, title));
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals < 0)
            throw EParvelleError(QStringLiteral("%1: expected Name=Value").arg(where));
        if (!section)
            throw EParvelleError(QStringLiteral("%1: value before any section").arg(where));
        const QString name = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1);
        CheckCatalogueType(name, *section, where);
        if (!names.Add(*section, name))
            throw EParvelleError(QStringLiteral("%1: %2 appears twice").arg(where, name));
        const QByteArray data = *section == teInteger ? ParseInteger(value, where)
                                : *section == teBoolean ? ParseBoolean(value, where)
                                                        : Unescape(value, where);
        entries.append({name, *section, data});
    }
    return entries;
}

// A name that can become "<name>.bmp" in the folder, or the left side of a values line.
bool UsableName(const QString& name, ThemeEntryType type)
{
    if (name.isEmpty() || name.trimmed() != name)
        return false;
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c == QLatin1Char('/') || c == QLatin1Char('\\'))
            return false;
    }
    if (type == teImage)
        return name != QLatin1String(".") && name != QLatin1String("..");
    return !name.contains(QLatin1Char('=')) && !name.startsWith(QLatin1Char('['))
           && !name.startsWith(QLatin1Char('#')) && !name.startsWith(QLatin1Char(';'));
}

// One values line; colours in hexadecimal, booleans 0 and 1 as False and True.
QString ValueLine(const QString& name, ThemeEntryType type, const QString& value)
{
    QString text = value;
    const int item = CatalogueItem(name);
    if (type == teInteger && item != 0 && ThemeItemKindOf(item) == ikColor)
        text = QLatin1String("0x")
               + QString::number(static_cast<uint32_t>(value.toInt()), 16).rightJustified(6, QLatin1Char('0')).toUpper();
    else if (type == teBoolean && (value == QLatin1String("0") || value == QLatin1String("1")))
        text = value == QLatin1String("1") ? QStringLiteral("True") : QStringLiteral("False");
    else if (type == teText)
        text = Escape(value);
    return name + QLatin1Char('=') + text + QLatin1Char('\n');
}

// Writes new files into a folder (made when missing) and syncs them to disk together at
// the end. Until Finish(), leaving (by an error) removes the files written and the folder
// when it was made here.
class FolderWriter {
public:
    explicit FolderWriter(const QString& folder) : dir_(AbsolutePath(folder)), madeFolder_(!IsFolder(folder))
    {
        if (madeFolder_ && !MakeFolders(dir_.path()))
            throw EInOutError(QStringLiteral("Cannot create folder '%1'").arg(folder));
    }
    FolderWriter(const FolderWriter&) = delete;
    FolderWriter& operator=(const FolderWriter&) = delete;
    ~FolderWriter()
    {
        if (finished_)
            return;
        for (const QString& path : written_)
            ::unlink(NativePath(path).constData());
        if (madeFolder_)
            ::rmdir(NativePath(dir_.path()).constData());
    }

    void Write(const QString& name, const QByteArray& content)
    {
        const QString path = dir_.filePath(name);
        WriteNewFile(path, content);
        written_.append(path);
    }

    void Finish()
    {
        const int fd = ::open(NativePath(dir_.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const bool synced = fd >= 0 && ::syncfs(fd) == 0;
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        if (!synced)
            throw EInOutError(QStringLiteral("Cannot write the files of '%1' to disk: %2")
                                  .arg(dir_.path(), SystemErrorText(error)));
        finished_ = true;
    }

private:
    QDir dir_;
    bool madeFolder_;
    QStringList written_;
    bool finished_ = false;
};

} // namespace

ThemeFolderContent ReadThemeFolder(const QString& folder)
{
    const QDir dir(folder);
    if (!IsFolder(folder))
        throw EInOutError(QStringLiteral("Theme folder '%1' does not exist").arg(folder));
    const FolderFiles files = ListThemeFolder(dir);
    NameRegister names;
    ThemeFolderContent content{ReadImages(dir, files.images, names), files.skipped};
    if (files.hasValues)
        content.entries.append(ReadValues(dir.filePath(QLatin1String(kThemeValuesFileName)), names));
    return content;
}

ThemePackResult PackThemeFolder(const QString& folder, const QString& outFile)
{
    const ThemeFolderContent content = ReadThemeFolder(folder);
    if (content.entries.isEmpty())
        throw EParvelleError(QStringLiteral("Theme folder '%1' holds no <Entry>%2 file and no value in %3: "
                                            "no theme file written")
                                 .arg(folder, kImageSuffix, QLatin1String(kThemeValuesFileName)));
    ReplaceFile(outFile, BuildThemeFile(content.entries));
    ThemePackResult result{{}, content.skipped};
    for (const ThemeFileEntry& entry : content.entries)
        CountEntry(result.counts, entry.type);
    return result;
}

ThemeUnpackResult UnpackThemeFile(const QString& themeFile, const QString& folder)
{
    const TsuiThemeFileReader reader(themeFile);
    if (reader.EntryCount() == 0 && !reader.DamageNote().isEmpty())
        throw EParvelleError(QStringLiteral("'%1' is not a theme file: %2").arg(themeFile, reader.DamageNote()));
    if (IsFolder(folder) && !QuietFolderEntries(folder, EntryKind::Any).isEmpty())
        throw EParvelleError(QStringLiteral("Folder '%1' is not empty").arg(folder));

    // Everything is checked before the first file is written.
    NameRegister names;
    const QStringList imageNames = reader.ImageNames();
    QList<qsizetype> images;   // indexes of the images written
    for (qsizetype i = 0; i < imageNames.size(); ++i) {
        if (!UsableName(imageNames[i], teImage))
            throw EParvelleError(QStringLiteral("Image entry '%1' cannot be a file name").arg(imageNames[i]));
        if (names.Add(teImage, imageNames[i]))
            images.append(i);
    }
    ThemeUnpackResult result;
    QString values;
    const std::pair<ThemeEntryType, const ThemeValues*> kinds[] = {
        {teInteger, &reader.Integers()}, {teBoolean, &reader.Booleans()}, {teText, &reader.Texts()}};
    for (const auto& [type, list] : kinds) {
        if (list->isEmpty())
            continue;
        values += QStringLiteral("[%1]\n").arg(QLatin1String(SectionName(type)));
        for (const auto& [name, value] : *list) {
            if (!UsableName(name, type))
                throw EParvelleError(QStringLiteral("Entry '%1' cannot be written to %2")
                                         .arg(name, QLatin1String(kThemeValuesFileName)));
            if (!names.Add(type, name))
                continue;
            values += ValueLine(name, type, value);
            CountEntry(result.counts, type);
        }
    }

    FolderWriter writer(folder);
    for (const qsizetype i : images) {
        writer.Write(imageNames[i] + kImageSuffix, reader.ImageData(i));
        CountEntry(result.counts, teImage);
    }
    if (!values.isEmpty())
        writer.Write(QLatin1String(kThemeValuesFileName), values.toUtf8());
    writer.Finish();
    result.damageNote = reader.DamageNote();
    return result;
}

} // namespace parvelle
