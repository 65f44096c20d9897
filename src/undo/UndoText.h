#pragma once
// Building the text of undo files: the registry editor's import format.
#include "registry/RootKeys.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace parvelle {

inline const QString kCrLf = QStringLiteral("\r\n");
inline const QString kHeaderRegedit4 = QStringLiteral("REGEDIT4");
inline const QString kHeaderVersion5 = QStringLiteral("Windows Registry Editor Version 5.00");

// Header of a new undo file for an OS kind: version 5.00 for kinds 5 and 6.
const QString& HeaderFor(uint8_t osKind);
// True when the line is one of the two headers (ASCII letter case ignored).
bool IsHeaderLine(const QString& line);

// "yyyymmdd-hhnnss" of a local time.
QString UndoStampOf(const QDateTime& localTime);

// Backslash, double quote, CR and LF escaped as \\ \" \r \n.
QString ConvertSt(const QString& text);
// The inverse of ConvertSt; a backslash before any other character stays.
QString UnescapeSt(const QString& text);
// The path without one trailing backslash.
QString RemoveSlash(const QString& path);

// "[" + root name + key path + "]" (the key path begins with a backslash).
QString KeyLine(HKEY root, const QString& keyPath);
// "@" for the default value, else the escaped name in double quotes.
QString NamePart(const QString& valueName);

// The lines of one value entry (continuation lines included, no line ends). `data` is
// the value's stored bytes. Under the REGEDIT4 header (`regedit4`) text in hex(1),
// hex(2) and hex(7) data is one Windows-1252 byte per character, as the registry editor
// reads it there; throws ERegistryException for text that code page cannot hold.
QStringList ValueEntryLines(const QString& valueName, uint32_t windowsType, const QByteArray& data,
                            bool regedit4 = false);

// The text in Windows-1252; nullopt when a character has no byte there.
std::optional<QByteArray> ToWindows1252(const QString& text);
// The bytes of an undo file's text: ASCII text as it stands; other text in UTF-16LE with
// a byte-order mark under the 5.00 header (the registry editor's own export form), in
// Windows-1252 under REGEDIT4. Throws EInOutError quoting the first line that
// Windows-1252 cannot hold, or holds only in bytes that would read back as UTF-8.
QByteArray EncodeUndoText(const QString& text, bool regedit4);
// At most the first 200 characters of a text quoted in an error message.
QString QuotedForMessage(const QString& text);
bool IsAscii(QStringView text);
// Text as UTF-16LE bytes, without byte-order mark.
QByteArray Utf16Bytes(const QString& text);

// Text stored as UTF-16LE bytes with a zero terminator, as the registry keeps strings.
QByteArray StoredText(const QString& text);
// The text of stored string bytes when they are exactly StoredText of a text
// without zero characters or unpaired surrogates; nullopt otherwise.
std::optional<QString> CanonicalText(const QByteArray& stored);

} // namespace parvelle
