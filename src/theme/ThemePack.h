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

namespace parvelle {

inline constexpr char ThemeValuesFileName[] = "values.txt";

struct ThemePackCounts {
    int Images = 0;
    int Integers = 0;
    int Booleans = 0;
    int Texts = 0;
};

// Entries of a theme folder: images sorted by name, then the values in file order.
// EParvelleError naming the file and line of any fault.
QList<ThemeFileEntry> ReadThemeFolder(const QString& folder);

// Writes the folder's theme file to OutFile (replaced in one step).
ThemePackCounts PackThemeFolder(const QString& folder, const QString& outFile);

struct ThemeUnpackResult {
    ThemePackCounts Counts;
    QString DamageNote;   // why the theme file's directory ended early, or ""
};

// Writes the entries of a theme file into Folder, which must be missing or empty. Later
// entries of a name already seen (which readers never see) are left out. Nothing is written
// when an entry's name cannot be a file or value name.
ThemeUnpackResult UnpackThemeFile(const QString& themeFile, const QString& folder);

} // namespace parvelle
