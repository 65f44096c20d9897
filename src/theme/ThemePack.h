#pragma once
// Theme folders <-> theme files, so that themes can be made and inspected by hand.
//
// A theme folder holds one BMP file per image entry, named "<EntryName>.bmp", and a values
// file "values.txt" of "Name=Value" lines under the sections [Integers], [Booleans] and
// [Texts]. Integers are decimal or 0x-hexadecimal (colours as 0xBBGGRR), booleans True,
// False or a number 0-255, texts with \\, \n, \r and \t escaped. Blank lines and lines
// starting with '#' or ';' are ignored.
#include "ThemeFileReader.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace parvelle {

inline constexpr char kThemeValuesFileName[] = "values.txt";

struct ThemePackCounts {
    int images = 0;
    int integers = 0;
    int booleans = 0;
    int texts = 0;
};

struct ThemeFolderContent {
    QList<ThemeFileEntry> entries;   // images sorted by name, then the values in file order
    QStringList skipped;             // "<file>: <why it was not read>"
};

// The entries of a theme folder, and the files in it that are no part of a theme (hidden
// files, other extensions, folders, values.txt cased otherwise). EParvelleError naming the
// file and line of any fault.
ThemeFolderContent ReadThemeFolder(const QString& folder);

struct ThemePackResult {
    ThemePackCounts counts;
    QStringList skipped;
};

// Writes the folder's theme file to OutFile (replaced in one step). EParvelleError, and
// nothing written, when the folder holds no entry.
ThemePackResult PackThemeFolder(const QString& folder, const QString& outFile);

struct ThemeUnpackResult {
    ThemePackCounts counts;
    QString damageNote;   // why the theme file's directory ended early, or ""
};

// Writes the entries of a theme file into Folder, which must be missing or empty. Later
// entries of a name already seen (which readers never see) are left out. Nothing is written
// when the file is not a theme file or an entry's name cannot be a file or value name; the
// files are synced to disk together at the end, and a failure removes what was written.
ThemeUnpackResult UnpackThemeFile(const QString& themeFile, const QString& folder);

} // namespace parvelle
