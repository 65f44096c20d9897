#include "RegFile.h"

#include "UndoFile.h"
#include "UndoText.h"
#include "core/Errors.h"
#include "registry/RegistryStore.h"

#include <QFile>
#include <QStringDecoder>
#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

namespace parvelle {

namespace {

constexpr qsizetype kMaxKeyDepth = 512;
constexpr qsizetype kMaxKeyNameLength = 255;

QString decodeWindows1252(const QByteArray& bytes)
{
    QStringDecoder ansi("windows-1252");
    return ansi.decode(bytes);
}

QString decodeEightBit(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    return utf8.hasError() ? decodeWindows1252(bytes) : text;
}

QString rightTrimmed(const QString& line)
{
    qsizetype end = line.size();
    while (end > 0 && line[end - 1].isSpace())
        --end;
    return line.left(end);
}

bool isSkippable(const QString& line)
{
    const QString trimmed = line.trimmed();
    return trimmed.isEmpty() || trimmed.startsWith(u';');
}

QString invalidInteger(const QString& text)
{
    return QStringLiteral("'%1' is not a valid integer value").arg(QuotedForMessage(text));
}

bool isHexDigits(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 128 && std::isxdigit(c.unicode()); });
}

// The data text of the value line at `index`: everything after the name part and "=",
// with continuation lines (ending in "\") appended; `index` moves to the last line used.
QString joinedData(const QStringList& lines, qsizetype& index, qsizetype nameLength)
{
    QString data = lines[index].mid(nameLength + 1);
    if (data.startsWith(u'"'))
        return data;
    data = rightTrimmed(data);
    while (data.endsWith(u'\\')) {
        if (index + 1 >= lines.size())
            throw EConvertError(QStringLiteral("the data continues past the end of the file"));
        data.chop(1);
        data += lines[++index].trimmed();
    }
    return data;
}

// Name part of a value line: the quoted name (escapes respected) or "@"; for a line
// whose name cannot be read that way, the text before its first "=".
QString namePartOf(const QString& line)
{
    if (const qsizetype length = NamePartLength(line))
        return line.left(length);
    return line.left(line.indexOf(u'='));
}

QByteArray parseHexBytes(QString text)
{
    text.remove(u' ').remove(u'\t');
    QByteArray bytes;
    if (text.isEmpty())
        return bytes;
    QStringList pairs = text.split(u',');
    if (pairs.size() > 1 && pairs.last().isEmpty())
        pairs.removeLast();
    bytes.reserve(pairs.size());
    for (const QString& pair : std::as_const(pairs)) {
        if (pair.size() != 2 || !isHexDigits(pair))
            throw EConvertError(invalidInteger(pair));
        bytes.append(static_cast<char>(pair.toUInt(nullptr, 16)));
    }
    return bytes;
}

uint32_t parseHexNumber(const QString& digits)
{
    if (digits.isEmpty() || digits.size() > 8 || !isHexDigits(digits))
        throw EConvertError(invalidInteger(digits));
    return digits.toUInt(nullptr, 16);
}

QByteArray dwordBytes(uint32_t value)
{
    return QByteArray(reinterpret_cast<const char*>(&value), 4);
}

// The text between the opening quote and its closing quote, unescaped; nothing but
// blanks may follow the closing quote.
QString stringDataText(const QString& text)
{
    for (qsizetype i = 1; i < text.size(); ++i) {
        if (text[i] == u'\\') {
            ++i;
        } else if (text[i] == u'"') {
            if (!rightTrimmed(text.mid(i + 1)).isEmpty())
                throw EConvertError(QStringLiteral("text after the closing quote: %1").arg(QuotedForMessage(text)));
            return UnescapeSt(text.mid(1, i - 1));
        }
    }
    throw EConvertError(QStringLiteral("a string without its closing quote: %1").arg(QuotedForMessage(text)));
}

bool isAnsiString(const QByteArray& bytes)
{
    return !bytes.isEmpty() && bytes.indexOf('\0') == bytes.size() - 1;
}

// Non-empty strings, each ended by a zero byte, and one more zero byte.
bool isAnsiMultiString(const QByteArray& bytes)
{
    return bytes.size() >= 3 && bytes.front() != '\0' && bytes.endsWith(QByteArray(2, '\0'))
        && bytes.indexOf(QByteArray(2, '\0')) == bytes.size() - 2;
}

// hex(1), hex(2) and hex(7) bytes as stored, or in the one-byte-per-character form (each
// text ended by one zero byte) of REGEDIT4 files, which becomes stored UTF-16 text.
// Under the 5.00 header only hex(2) has that form, as older files wrote it.
QByteArray storedTextBytes(uint32_t type, const QByteArray& bytes, bool ansiHeader)
{
    const auto decode = ansiHeader ? decodeWindows1252 : decodeEightBit;
    if (type == REG_MULTI_SZ && ansiHeader && isAnsiMultiString(bytes)) {
        QByteArray stored;
        for (const QByteArray& part : bytes.chopped(2).split('\0'))
            stored += StoredText(decode(part));
        return stored + QByteArray(2, '\0');
    }
    const bool textType = type == REG_EXPAND_SZ || (ansiHeader && type == REG_SZ);
    if (textType && isAnsiString(bytes))
        return StoredText(decode(bytes.chopped(1)));
    return bytes;
}

ParsedData parseHexForm(const QString& text, bool ansiHeader)
{
    const qsizetype colon = text.indexOf(u':');
    const QString form = text.left(colon).toLower();
    const QString bytesText = text.mid(colon + 1);
    if (form == u"hex")
        return {false, REG_BINARY, parseHexBytes(bytesText)};
    const uint32_t type = parseHexNumber(form.mid(4, form.size() - 5));
    return {false, type, storedTextBytes(type, parseHexBytes(bytesText), ansiHeader)};
}

bool isHexForm(const QString& text)
{
    const qsizetype colon = text.indexOf(u':');
    if (colon < 0)
        return false;
    const QString form = text.left(colon).toLower();
    return form == u"hex" || (form.startsWith(u"hex(") && form.endsWith(u')'));
}

ParsedData parseDecimal(const QString& text)
{
    const QString digits = text.trimmed();
    const QString unsignedDigits = digits.startsWith(u'-') ? digits.mid(1) : digits;
    const bool decimal = !unsignedDigits.isEmpty()
        && std::all_of(unsignedDigits.begin(), unsignedDigits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    bool ok = false;
    const qlonglong value = digits.toLongLong(&ok, 10);
    if (!decimal || !ok || value < INT32_MIN || value > UINT32_MAX)
        throw EConvertError(invalidInteger(text));
    return {false, REG_DWORD, dwordBytes(static_cast<uint32_t>(value))};
}

struct Section {
    HKEY root = 0;
    QString path;
    bool deleted = false;
};

// Throws unless every name of the key path is one Windows can hold, at a depth it allows.
void requireWindowsKeyPath(const QString& path, int lineNumber)
{
    if (path.contains(QChar(0)))
        throw EConvertError(QStringLiteral("Line %1: a key name holds a zero character").arg(lineNumber));
    const QStringList names = path.split(u'\\');
    if (names.size() > kMaxKeyDepth)
        throw EConvertError(QStringLiteral("Line %1: the key is %2 levels deep; Windows allows at most %3")
                                .arg(lineNumber).arg(names.size()).arg(kMaxKeyDepth));
    for (const QString& name : names) {
        if (name.size() > kMaxKeyNameLength)
            throw EConvertError(QStringLiteral("Line %1: a key name is %2 characters long; Windows allows at most %3")
                                    .arg(lineNumber).arg(name.size()).arg(kMaxKeyNameLength));
    }
}

// A section line "[root\path]" or "[-root\path]" of the importer.
Section parseSectionLine(const QString& line, int lineNumber)
{
    const QString trimmed = rightTrimmed(line);
    if (!trimmed.endsWith(u']'))
        throw EConvertError(QStringLiteral("Line %1: key line without closing bracket: %2")
                                .arg(lineNumber).arg(QuotedForMessage(trimmed)));
    Section section;
    QString path = trimmed.mid(1, trimmed.size() - 2);
    section.deleted = path.startsWith(u'-');
    if (section.deleted)
        path.remove(0, 1);
    section.root = RootStToRoot(path);
    if (section.root == 0)
        throw EConvertError(QStringLiteral("Line %1: unknown root key in %2")
                                .arg(lineNumber).arg(QuotedForMessage(trimmed)));
    section.path = RemoveSlash(path.mid(1));
    if (!section.path.isEmpty())
        requireWindowsKeyPath(section.path, lineNumber);
    return section;
}

} // namespace

RegFileText DecodeRegFile(const QByteArray& bytes)
{
    RegFileText file;
    QString text;
    if (bytes.startsWith("\xFF\xFE")) {
        file.utf16 = true;
        QStringDecoder utf16(QStringConverter::Utf16LE);
        text = utf16.decode(bytes.mid(2));
    } else if (bytes.startsWith("\xEF\xBB\xBF")) {
        QStringDecoder utf8(QStringConverter::Utf8);
        text = utf8.decode(bytes.mid(3));
    } else {
        text = decodeEightBit(bytes);
    }
    file.lines = text.split(u'\n');
    for (QString& line : file.lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
    }
    if (file.lines.size() > 1 && file.lines.last().isEmpty())
        file.lines.removeLast();
    return file;
}

RegFileText ReadRegFile(const QString& path)
{
    return DecodeRegFile(ReadLimitedFile(path));
}

bool HasRegedit4Header(const RegFileText& file)
{
    return !file.lines.isEmpty() && file.lines.first().trimmed().compare(kHeaderRegedit4, Qt::CaseInsensitive) == 0;
}


qsizetype NamePartLength(const QString& line)
{
    if (line.startsWith(QStringLiteral("@=")))
        return 1;
    if (!line.startsWith(u'"'))
        return 0;
    for (qsizetype i = 1; i < line.size(); ++i) {
        if (line[i] == u'\\') {
            ++i;
        } else if (line[i] == u'"') {
            return i + 1 < line.size() && line[i + 1] == u'=' ? i + 1 : 0;
        }
    }
    return 0;
}

QString ValueNameOf(const QString& namePart)
{
    if (namePart == u"@")
        return QString();
    QString inner = namePart;
    if (inner.startsWith(u'"'))
        inner.remove(0, 1);
    if (inner.endsWith(u'"'))
        inner.chop(1);
    return UnescapeSt(inner);
}

ParsedData ParseValueData(const QString& dataText, bool ansiHeader)
{
    if (dataText.startsWith(u'"'))
        return {false, REG_SZ, StoredText(stringDataText(dataText))};
    const QString text = dataText.trimmed();
    if (text == u"-")
        return {true, 0, {}};
    if (isHexForm(text))
        return parseHexForm(text, ansiHeader);
    if (text.startsWith(QStringLiteral("dword:"), Qt::CaseInsensitive))
        return {false, REG_DWORD, dwordBytes(parseHexNumber(text.mid(6)))};
    return parseDecimal(text);
}

ParsedEntry ParseValueLines(const QStringList& lines, bool ansiHeader)
{
    const qsizetype nameLength = lines.isEmpty() ? 0 : NamePartLength(lines.first());
    if (nameLength == 0)
        throw EConvertError(QStringLiteral("not a value entry"));
    qsizetype index = 0;
    const QString dataText = joinedData(lines, index, nameLength);
    if (index + 1 != lines.size())
        throw EConvertError(QStringLiteral("lines after the value's data"));
    return {ValueNameOf(lines.first().left(nameLength)), ParseValueData(dataText, ansiHeader)};
}

QStringList ListUndoEntries(const RegFileText& file)
{
    QStringList entries;
    QString keyPath;
    bool inSection = false;
    bool sectionHasValues = false;
    const auto closeSection = [&](const QString* nextKeyPath) {
        if (inSection && !sectionHasValues && (!nextKeyPath || *nextKeyPath != keyPath))
            entries << keyPath;
    };
    for (qsizetype i = 1; i < file.lines.size(); ++i) {
        const QString& line = file.lines[i];
        if (isSkippable(line))
            continue;
        if (line.startsWith(u'[')) {
            const QString trimmed = rightTrimmed(line);
            const QString next = trimmed.mid(1, trimmed.size() - 2);
            closeSection(&next);
            if (!inSection || next != keyPath)
                sectionHasValues = false;
            keyPath = next;
            inSection = true;
        } else if (line.contains(u'=')) {
            entries << keyPath + QStringLiteral("\\\\:") + namePartOf(line);
            sectionHasValues = true;
        }
    }
    closeSection(nullptr);
    return entries;
}

UndoEntry SplitUndoEntry(const QString& entry)
{
    const qsizetype split = entry.indexOf(QStringLiteral("\\\\:"));
    if (split < 0)
        return {entry, QString()};
    return {entry.left(split), entry.mid(split + 3)};
}

ValueLineIndex::ValueLineIndex(const RegFileText& file) : file_(file)
{
    NameMap<std::vector<qsizetype>>* section = nullptr;
    for (qsizetype i = 1; i < file.lines.size(); ++i) {
        const QString& line = file.lines[i];
        if (line.startsWith(u'[')) {
            const QString keyLine = rightTrimmed(line);
            section = &lines_[keyLine.mid(1, keyLine.size() - 2)];
        } else if (section && line.contains(u'=')) {
            (*section)[ValueNameOf(namePartOf(line))].push_back(i);
        }
    }
}

QStringList ValueLineIndex::valueTexts(const QString& keyPath, const QString& namePart) const
{
    QStringList texts;
    const auto section = lines_.find(keyPath);
    if (section == lines_.end())
        return texts;
    const auto found = section->second.find(ValueNameOf(namePart));
    if (found == section->second.end())
        return texts;
    for (qsizetype index : found->second)
        texts << joinedData(file_.lines, index, namePartOf(file_.lines[index]).size());
    return texts;
}

QStringList FindValueTexts(const RegFileText& file, const QString& keyPath,
                           const QString& namePart)
{
    return ValueLineIndex(file).valueTexts(keyPath, namePart);
}

HKEY RootStToRoot(QString& keyPath)
{
    static const std::array roots = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE,
                                     HKEY_USERS, HKEY_CURRENT_CONFIG, HKEY_DYN_DATA};
    for (const HKEY root : roots) {
        const QString name = RootName(root);
        if (SameName(QStringView(keyPath).left(name.size()), name)
            && (keyPath.size() == name.size() || keyPath[name.size()] == u'\\')) {
            keyPath.remove(0, name.size());
            return root;
        }
    }
    return 0;
}

std::vector<RegStatement> ParseRegStatements(const RegFileText& file)
{
    if (file.lines.isEmpty() || !IsHeaderLine(file.lines.first().trimmed()))
        throw EConvertError(QStringLiteral("Not a registry file: the first line is neither "
                                           "\"REGEDIT4\" nor \"%1\"").arg(kHeaderVersion5));
    const bool ansiHeader = HasRegedit4Header(file);
    std::vector<RegStatement> statements;
    std::optional<Section> section;
    for (qsizetype i = 1; i < file.lines.size(); ++i) {
        const QString& line = file.lines[i];
        const int lineNumber = static_cast<int>(i + 1);
        if (isSkippable(line))
            continue;
        if (line.startsWith(u'[')) {
            section = parseSectionLine(line, lineNumber);
            statements.push_back({section->deleted ? RegStatement::DeleteKey
                                                   : RegStatement::CreateKey,
                                  lineNumber, section->root, section->path, {}, 0, {}});
            continue;
        }
        const qsizetype nameLength = NamePartLength(line);
        if (nameLength == 0)
            throw EConvertError(QStringLiteral("Line %1 is neither a key nor a value: %2")
                                    .arg(lineNumber).arg(QuotedForMessage(line)));
        if (!section)
            throw EConvertError(QStringLiteral("Line %1: value outside of a key section")
                                    .arg(lineNumber));
        const QString valueName = ValueNameOf(line.left(nameLength));
        ParsedData parsed;
        try {
            parsed = ParseValueData(joinedData(file.lines, i, nameLength), ansiHeader);
        } catch (const EConvertError& error) {
            throw EConvertError(QStringLiteral("Line %1: %2").arg(lineNumber).arg(error.message()));
        }
        if (section->deleted)
            continue;   // values under a deleted key are ignored, as the registry editor does
        statements.push_back({parsed.erase ? RegStatement::EraseValue : RegStatement::SetValue,
                              lineNumber, section->root, section->path, valueName, parsed.type,
                              parsed.data});
    }
    return statements;
}

} // namespace parvelle
