#include "UndoText.h"

#include "registry/RegistryStore.h"

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
    QByteArray bytes(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    bytes.append(2, '\0');
    return bytes;
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

QStringList ValueEntryLines(const QString& valueName, uint32_t windowsType, const QByteArray& data)
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
    // The stored UTF-16 bytes under either header: hivexregedit stores hex bytes as they
    // stand, and one byte per character cannot hold text outside a code page.
    if (windowsType == REG_EXPAND_SZ) {
        const bool terminated = CanonicalText(data).has_value();
        return wrappedHex(name + hexPrefix(windowsType), data, 2, terminated ? 2 : 0);
    }
    return wrappedHex(name + hexPrefix(windowsType), data, 1, 0);
}

} // namespace parvelle
