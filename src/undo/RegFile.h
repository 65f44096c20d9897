#pragma once
// Reading .reg files: decoding, the listing of undo entries, value data, whole-file parsing.
#include "registry/RegistryStore.h"
#include "registry/RootKeys.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

namespace parvelle {

// A .reg file's lines after decoding (UTF-16LE or UTF-8 with a byte-order mark, UTF-8,
// else Windows-1252). The first line is the header, whatever it holds.
struct RegFileText {
    QStringList lines;
    bool utf16 = false;            // the file is UTF-16LE
};

RegFileText DecodeRegFile(const QByteArray& bytes);
// Throws EInOutError when the file cannot be read or is larger than any registry file.
RegFileText ReadRegFile(const QString& path);
// True when the first line is "REGEDIT4" (ASCII letter case ignored): text in hex data
// is then one byte per character in Windows-1252.
bool HasRegedit4Header(const RegFileText& file);


// Length of the name part at the start of a line ("@" or a quoted name, escapes
// respected), or 0 when the line does not start with one followed by "=".
qsizetype NamePartLength(const QString& line);
// The value name a name part stands for ("" for "@").
QString ValueNameOf(const QString& namePart);

// A value entry's data as it should be stored; `erase` for the "name"=- form.
struct ParsedData {
    bool erase = false;
    uint32_t type = 0;
    QByteArray data;
};
// Classifies and converts a value's data text (continuations already joined); under the
// REGEDIT4 header (`ansiHeader`) hex(1), hex(2) and hex(7) text may be one byte per
// character. Throws EConvertError "'%s' is not a valid integer value" on malformed
// numbers or bytes, and on a string without its closing quote or with text after it.
ParsedData ParseValueData(const QString& dataText, bool ansiHeader = false);

// The value name and data of one value entry's lines (as ValueEntryLines writes them),
// as the readers take them. Throws EConvertError when they cannot be read.
struct ParsedEntry {
    QString valueName;
    ParsedData data;
};
ParsedEntry ParseValueLines(const QStringList& lines, bool ansiHeader);

// The undo entries of a file, in file order: key paths, and key path + "\\:" + name part.
QStringList ListUndoEntries(const RegFileText& file);

// Splits an undo entry into key path and name part (empty for a key-only entry).
struct UndoEntry {
    QString keyPath;
    QString namePart;
};
UndoEntry SplitUndoEntry(const QString& entry);

// The value lines of a file by key path and value name, read once for many lookups.
class ValueLineIndex {
public:
    explicit ValueLineIndex(const RegFileText& file);
    // Data texts of every value line whose name is the name part's, compared as the
    // registry compares names, in every section whose key line is exactly "[" + keyPath
    // + "]"; in file order, continuation lines joined.
    QStringList valueTexts(const QString& keyPath, const QString& namePart) const;

private:
    const RegFileText& file_;
    std::unordered_map<QString, NameMap<std::vector<qsizetype>>> lines_;   // key path, value name: line indexes
};

// ValueLineIndex(file).valueTexts(keyPath, namePart), for one lookup.
QStringList FindValueTexts(const RegFileText& file, const QString& keyPath,
                           const QString& namePart);

// The root named at the start of the key path (letter case ignored, followed by a
// backslash or nothing); removes it from the path, which then begins with the backslash.
// 0 when no root name matches.
HKEY RootStToRoot(QString& keyPath);

// One statement of a .reg file, for the importer.
struct RegStatement {
    enum Kind { CreateKey, DeleteKey, SetValue, EraseValue } kind = CreateKey;
    int line = 0;                  // 1-based line number in the file
    HKEY root = 0;
    QString keyPath;               // below the root, no leading backslash
    QString valueName;
    uint32_t type = 0;
    QByteArray data;
};
// Every statement of the file in order. Throws EConvertError (with the line number)
// on a malformed or truncated line, an unknown root, a value outside a section, or a
// key that Windows cannot hold (deeper than 512 levels, a name longer than 255
// characters or with a zero character).
std::vector<RegStatement> ParseRegStatements(const RegFileText& file);

} // namespace parvelle
