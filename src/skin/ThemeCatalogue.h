#pragma once
// The skin styles and the built-in theme catalogue: 42 numbered theme values per style.
#include "SkinDraw.h"
#include "theme/ThemeItems.h"

#include <QIcon>
#include <QImage>
#include <QString>
#include <array>
#include <cstdint>

class QObject;

namespace parvelle {

class TsuiFileTheme;

// Published by every skinned component as property UIStyle.
enum TsuiUIStyle : uint8_t {
    FromThemeFile = 0,   // every value from the component's FileTheme
    MacOS = 1,
    WinXP = 2,
    DeepBlue = 3,        // the style wherever none is known
    Protein = 4,
    BlueGlass = 5,
};

// A built-in style with its lower-case name ("macos", "winxp", ...).
struct BuiltInStyle {
    TsuiUIStyle style;
    const char* name;
};
// The five built-in styles in catalogue order.
const std::array<BuiltInStyle, 5>& BuiltInStyles();

// Value of an item in a built-in style (low 7 bits of Style) with the item's kind. Any other
// style, or an item outside 1..42, gives -1 with kind ikInt. Image items give 0; their
// resource name comes from BuiltInThemeImageName.
int32_t GetBuiltInThemeEntry(TsuiUIStyle style, int item, ThemeItemKind& kind);
QString BuiltInThemeImageName(TsuiUIStyle style, int item);   // "" unless an image item

// Neutral values for an item of another kind: colour 0, integer -1, boolean false.
TColor GetBuiltInThemeColor(TsuiUIStyle style, int item);
int32_t GetBuiltInThemeInt(TsuiUIStyle style, int item);
bool GetBuiltInThemeBool(TsuiUIStyle style, int item);

// Image item: Bitmap := the resource (Count 0) or its slice Index (1-based) of Count.
// Other kinds, or a resource that is missing, leave Bitmap unchanged.
void LoadBuiltInThemeBitmap(TsuiUIStyle style, int item, QImage& bitmap, int index = 0,
                            int count = 0);

// A skin bitmap resource by name (":/skin/<NAME>.bmp"); a null image when missing.
QImage LoadSkinBitmap(const QString& resourceName);

// The program's icon at 16, 32 and 48 pixels ("MAINICON", "MAINICON_32", "MAINICON_48"),
// magenta transparent.
QIcon ApplicationIcon();

// For a form (a top-level widget): UIStyle of the first TsuiForm among its direct children;
// DeepBlue otherwise.
TsuiUIStyle OwnerFormUIStyle(const QObject* component);

// Whether a component takes its values from FileTheme; EffectiveStyle is the built-in style
// to use otherwise (FromThemeFile without a usable file theme becomes DeepBlue).
bool FileThemeInUse(const TsuiFileTheme* fileTheme, TsuiUIStyle style,
                    TsuiUIStyle& effectiveStyle);

// One theme value read the way every skinned component reads it: from the file theme when
// FileThemeInUse, else from the built-in catalogue with the effective style.
TColor ThemeColor(const TsuiFileTheme* fileTheme, TsuiUIStyle style, int item);
int32_t ThemeInt(const TsuiFileTheme* fileTheme, TsuiUIStyle style, int item);
bool ThemeBool(const TsuiFileTheme* fileTheme, TsuiUIStyle style, int item);
// Count 0: the whole bitmap; else slice Index (1-based) of Count.
void ThemeBitmap(const TsuiFileTheme* fileTheme, TsuiUIStyle style, int item, QImage& bitmap,
                 int index = 0, int count = 0);

} // namespace parvelle
