#include "UndoText.h"

#include "core/Errors.h"
#include "registry/RegistryStore.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>

namespace parvelle {

namespace {

constexpr qsizetype kWrapAfter = 75;

QString hexByte(uint8_t byte)
{
    return QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
}

// Bytes as "XX," pairs on lines that are ended with "\" once they pass 75 characters
// and more data follows. Bytes are added in units (2 for UTF-16 text); the last
// `trailing` bytes (a text terminator) never start a new line.
QStringList wrappedHex(const QString& prefix, const QByteArray& bytes, int unit, int trailing)
{
    QStringList lines;
    QString current = prefix;
    const qsizetype wrapLimit = bytes.size() - trailing;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        current += hexByte(static_cast<uint8_t>(bytes[i])) + u',';
        const bool unitDone = (i + 1) % unit == 0;
        if (unitDone && current.size() > kWrapAfter && i + 1 < wrapLimit) {
            lines << current + u'\\';
            current.clear();
        }
    }
    if (current.endsWith(u','))
        current.chop(1);
    lines << current;
    return lines;
}

// Readers take eight-bit files that are valid UTF-8 as UTF-8: Windows-1252 bytes read
// back the same only when they are ASCII or not valid UTF-8.
bool readsBackAsWindows1252(const QByteArray& bytes)
{
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<uchar>(c) < 128; }))
        return true;
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString decoded = utf8.decode(bytes);   // decodes only when converted
    return utf8.hasError();
}

// The strings of stored REG_MULTI_SZ bytes when they are exactly those strings, each
// with its terminator, and the closing terminator; nullopt otherwise.
std::optional<QStringList> canonicalStrings(const QByteArray& stored)
{
    if (stored.size() < 4 || stored.size() % 2 != 0 || !stored.endsWith(QByteArray(4, '\0')))
        return std::nullopt;
    const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(stored.constData()),
                                            stored.size() / 2 - 2);
    if (!text.isValidUtf16())
        return std::nullopt;
    return text.split(QChar(0));
}

// Text in the one-byte-per-character form of REGEDIT4 files, when the data is plain
// text of that kind (nullopt otherwise).
std::optional<QByteArray> ansiTextBytes(const QString& valueName, uint32_t windowsType,
                                        const QByteArray& data)
{
    QStringList strings;
    if (windowsType == REG_MULTI_SZ) {
        const auto list = canonicalStrings(data);
        if (!list || list->contains(QString()))
            return std::nullopt;   // an empty string would end the list early
        strings = *list;
    } else {
        const auto text = CanonicalText(data);
        if (!text)
            return std::nullopt;
        strings = {*text};
    }
    QByteArray bytes;
    for (const QString& text : std::as_const(strings)) {
        const auto ansi = ToWindows1252(text);
        if (!ansi)
            throw ERegistryException(QStringLiteral("The value '%1' holds text that Windows-1252, the code page of "
                                                    "REGEDIT4 undo files, cannot hold")
                                         .arg(QuotedForMessage(valueName)));
        bytes += *ansi + '\0';
    }
    return windowsType == REG_MULTI_SZ ? bytes + '\0' : bytes;
}

QString hexPrefix(uint32_t windowsType)
{
    if (windowsType == REG_BINARY)
        return QStringLiteral("hex:");
    return QStringLiteral("hex(%1):").arg(windowsType, 0, 16);
}

} // namespace

const QString& HeaderFor(uint8_t osKind)
{
    return osKind == 5 || osKind == 6 ? kHeaderVersion5 : kHeaderRegedit4;
}

bool IsHeaderLine(const QString& line)
{
    return line.compare(kHeaderRegedit4, Qt::CaseInsensitive) == 0
        || line.compare(kHeaderVersion5, Qt::CaseInsensitive) == 0;
}

QString UndoStampOf(const QDateTime& localTime)
{
    return localTime.toString(QStringLiteral("yyyyMMdd-HHmmss"));
}

QString ConvertSt(const QString& text)
{
    QString out;
    out.reserve(text.size() + 8);
    for (QChar c : text) {
        switch (c.unicode()) {
        case u'\\': out += QStringLiteral("\\\\"); break;
        case u'"': out += QStringLiteral("\\\""); break;
        case u'\r': out += QStringLiteral("\\r"); break;
        case u'\n': out += QStringLiteral("\\n"); break;
        default: out += c;
        }
    }
    return out;
}

QString UnescapeSt(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const QChar next = i + 1 < text.size() ? text[i + 1] : QChar();
        if (c != u'\\' || next.isNull()) {
            out += c;
            continue;
        }
        switch (next.unicode()) {
        case u'\\': out += u'\\'; ++i; break;
        case u'"': out += u'"'; ++i; break;
        case u'r': out += u'\r'; ++i; break;
        case u'n': out += u'\n'; ++i; break;
        default: out += c;
        }
    }
    return out;
}

QString RemoveSlash(const QString& path)
{
    return path.endsWith(u'\\') ? path.chopped(1) : path;
}

QString KeyLine(HKEY root, const QString& keyPath)
{
    return u'[' + RootName(root) + RemoveSlash(keyPath) + u']';
}

QString NamePart(const QString& valueName)
{
    return valueName.isEmpty() ? QStringLiteral("@") : u'"' + ConvertSt(valueName) + u'"';
}

QByteArray StoredText(const QString& text)
{
    return Utf16Bytes(text) + QByteArray(2, '\0');
}

QString QuotedForMessage(const QString& text)
{
    constexpr qsizetype kQuotedLength = 200;
    return text.size() <= kQuotedLength ? text : text.left(kQuotedLength) + QStringLiteral("...");
}

std::optional<QString> CanonicalText(const QByteArray& stored)
{
    if (stored.size() < 2 || stored.size() % 2 != 0)
        return std::nullopt;
    const QString text = QString::fromUtf16(
        reinterpret_cast<const char16_t*>(stored.constData()), stored.size() / 2 - 1);
    if (text.contains(QChar(0)) || !text.isValidUtf16() || !stored.endsWith(QByteArray(2, '\0')))
        return std::nullopt;
    return text;
}

QStringList ValueEntryLines(const QString& valueName, uint32_t windowsType, const QByteArray& data,
                            bool regedit4)
{
    const QString name = NamePart(valueName) + u'=';
    if (windowsType == REG_SZ) {
        // Line breaks stay bytes: hivexregedit reads "\r" as "r", the registry editor has
        // no escape for CR at all.
        const auto text = CanonicalText(data);
        if (text && !text->contains(u'\r') && !text->contains(u'\n'))
            return {name + u'"' + ConvertSt(*text) + u'"'};
    }
    // Bare decimals are refused by hivexregedit and the registry editor alike.
    if (windowsType == REG_DWORD && data.size() == 4) {
        uint32_t value = 0;
        memcpy(&value, data.constData(), 4);
        return {name + QStringLiteral("dword:%1").arg(value, 8, 16, QLatin1Char('0'))};
    }
    const bool textKind = windowsType == REG_SZ || windowsType == REG_EXPAND_SZ || windowsType == REG_MULTI_SZ;
    if (regedit4 && textKind) {
        if (const auto ansi = ansiTextBytes(valueName, windowsType, data))
            return wrappedHex(name + hexPrefix(windowsType), *ansi, 1, windowsType == REG_MULTI_SZ ? 0 : 1);
    }
    // Under the 5.00 header the stored UTF-16 bytes, as the registry editor reads them.
    if (windowsType == REG_EXPAND_SZ) {
        const bool terminated = CanonicalText(data).has_value();
        return wrappedHex(name + hexPrefix(windowsType), data, 2, terminated ? 2 : 0);
    }
    return wrappedHex(name + hexPrefix(windowsType), data, 1, 0);
}

std::optional<QByteArray> ToWindows1252(const QString& text)
{
    QStringEncoder encoder("windows-1252");
    QByteArray bytes = encoder.encode(text);
    QStringDecoder decoder("windows-1252");
    if (encoder.hasError() || QString(decoder.decode(bytes)) != text)
        return std::nullopt;
    return bytes;
}

bool IsAscii(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 128; });
}

QByteArray Utf16Bytes(const QString& text)
{
    return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

QByteArray EncodeUndoText(const QString& text, bool regedit4)
{
    if (IsAscii(text))
        return text.toLatin1();
    if (!regedit4)
        return QByteArray("\xFF\xFE") + Utf16Bytes(text);
    const auto bytes = ToWindows1252(text);
    if (bytes && readsBackAsWindows1252(*bytes))
        return *bytes;
    for (const QString& line : text.split(kCrLf)) {
        const auto lineBytes = ToWindows1252(line);
        if (!lineBytes || !readsBackAsWindows1252(*lineBytes))
            throw EInOutError(QStringLiteral("This line cannot be written in Windows-1252, the code page of REGEDIT4 "
                                             "undo files: %1").arg(QuotedForMessage(line)));
    }
    throw EInOutError(QStringLiteral("The undo text cannot be written in Windows-1252 so that it reads back the same"));
}

} // namespace parvelle
