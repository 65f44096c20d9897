#include "ThemeCatalogue.h"

#include "ThemeFile.h"

#include <QPixmap>
#include <QVariant>
#include <QWidget>

// The skin bitmaps live in a static library: their resource file must be registered by hand.
static void RegisterSkinResources()
{
    Q_INIT_RESOURCE(skin);
}

namespace parvelle {

const std::array<BuiltInStyle, 5>& BuiltInStyles()
{
    static const std::array<BuiltInStyle, 5> styles = {{{MacOS, "macos"}, {WinXP, "winxp"}, {DeepBlue, "deepblue"},
                                                        {Protein, "protein"}, {BlueGlass, "blueglass"}}};
    return styles;
}

namespace {

constexpr int kBuiltInStyleCount = 5;   // MacOS .. BlueGlass

// One cell of the catalogue: a number, or a bitmap resource name for image items.
struct Cell {
    int32_t value;
    const char* image;
};
constexpr Cell Val(int64_t value) { return Cell{static_cast<int32_t>(value), nullptr}; }
constexpr Cell Img(const char* name) { return Cell{0, name}; }

struct CatalogueRow {
    Cell styles[kBuiltInStyleCount];   // MacOS, WinXP, DeepBlue, Protein, BlueGlass
};

// clang-format off
constexpr CatalogueRow kCatalogue[kThemeItemCount] = {
    {{Img("MACOS_BUTTON"), Img("WINXP_BUTTON"), Img("DEEPBLUE_BUTTON"), Img("PROTEIN_BUTTON"), Img("BLUEGLASS_BUTTON")}},  // 1 ButtonImage
    {{Val(1), Val(0), Val(0), Val(0), Val(1)}},  // 2 ButtonTransparentBool
    {{Img("MACOS_CHECKBOX"), Img("WINXP_CHECKBOX"), Img("DEEPBLUE_CHECKBOX"), Img("PROTEIN_CHECKBOX"), Img("BLUEGLASS_CHECKBOX")}},  // 3 CheckBoxImage
    {{Img("MACOS_RADIOBUTTON"), Img("WINXP_RADIOBUTTON"), Img("DEEPBLUE_RADIOBUTTON"), Img("PROTEIN_RADIOBUTTON"), Img("BLUEGLASS_RADIOBUTTON")}},  // 4 RadioButtonImage
    {{Img("MACOS_TITLEBTN"), Img("WINXP_TITLEBTN"), Img("DEEPBLUE_TITLEBTN"), Img("PROTEIN_TITLEBTN"), Img("BLUEGLASS_TITLEBTN")}},  // 5 TitleBarButtonImage
    {{Val(0), Val(0), Val(0), Val(1), Val(1)}},  // 6 TitleBarButtonTransparentBool
    {{Val(3), Val(2), Val(0), Val(0), Val(4)}},  // 7 TitleBarButtonLeftOffsetInt
    {{Val(-2), Val(-2), Val(0), Val(0), Val(-3)}},  // 8 TitleBarButtonRightOffsetInt
    {{Val(4), Val(5), Val(2), Val(2), Val(6)}},  // 9 TitleBarButtonTopInt
    {{Img("MACOS_TITLE_LEFT"), Img("WINXP_TITLE_LEFT"), Img("DEEPBLUE_TITLE_LEFT"), Img("PROTEIN_TITLE_LEFT"), Img("BLUEGLASS_TITLE_LEFT")}},  // 10 TitleBarLeftImage
    {{Img("MACOS_TITLE_CLIENT"), Img("WINXP_TITLE_CLIENT"), Img("DEEPBLUE_TITLE_CLIENT"), Img("PROTEIN_TITLE_CLIENT"), Img("BLUEGLASS_TITLE_CLIENT")}},  // 11 TitleBarClientImage
    {{Img("MACOS_TITLE_RIGHT"), Img("WINXP_TITLE_RIGHT"), Img("DEEPBLUE_TITLE_RIGHT"), Img("PROTEIN_TITLE_RIGHT"), Img("BLUEGLASS_TITLE_RIGHT")}},  // 12 TitleBarRightImage
    {{Val(130), Val(150), Val(130), Val(130), Val(270)}},  // 13 FormMinWidthInt
    {{Val(0), Val(13), Val(0), Val(0), Val(11)}},  // 14 FormRoundCornerInt
    {{Val(0xE7E7E7), Val(0xDEEBEF), Val(0xE8E8E8), Val(0xFBFBFB), Val(0xE7E7E7)}},  // 15 FormBackgroundColor
    {{Val(0x7F7F7F), Val(0xC82C00), Val(0x000000), Val(0x000000), Val(0x000000)}},  // 16 FormBorderColor
    {{Val(1), Val(3), Val(1), Val(1), Val(1)}},  // 17 FormBorderWidthInt
    {{Val(0xC47339), Val(0xC66931), Val(0xA04A44), Val(0xC4302D), Val(0xEC5E5E)}},  // 18 MenuSelectedBorderColor
    {{Val(0xC47339), Val(0xEFD3C6), Val(0xA04A44), Val(0xC4302D), Val(0xEC5E5E)}},  // 19 MenuSelectedBackgroundColor
    {{Val(0xFFFFFF), Val(0x000000), Val(0xFFFFFF), Val(0xFFFFFF), Val(0xFFFFFF)}},  // 20 MenuSelectedFontColor
    {{Val(0x000000), Val(0xFFFFFF), Val(0xFFFFFF), Val(0xFFFFFF), Val(0xE7E7E7)}},  // 21 MenuBackgroundColor
    {{Val(0x000000), Val(0x000000), Val(0x000000), Val(0x000000), Val(0x000000)}},  // 22 MenuFontColor
    {{Val(0x000000), Val(0xCED3D6), Val(0xCED3D6), Val(0xCED3D6), Val(0xCED3D6)}},  // 23 MenuBarColor
    {{Img("MACOS_PROGRESSBAR"), Img("WINXP_PROGRESSBAR"), Img("DEEPBLUE_PROGRESSBAR"), Img("PROTEIN_PROGRESSBAR"), Img("BLUEGLASS_PROGRESSBAR")}},  // 24 ProgressBarImage
    {{Val(0x7F7F7F), Val(0x686868), Val(0x000000), Val(0x000000), Val(0x000000)}},  // 25 ControlBorderColor
    {{Val(0xE7E7E7), Val(0xDEEBEF), Val(0xE8E8E8), Val(0xFBFBFB), Val(0xE7E7E7)}},  // 26 ControlBackgroundColor
    {{Val(0x000000), Val(0xCF4602), Val(0x000000), Val(0x000000), Val(0x000000)}},  // 27 ControlFontColor
    {{Img("MACOS_TRACKBAR_BAR"), Img("WINXP_TRACKBAR_BAR"), Img("DEEPBLUE_TRACKBAR_BAR"), Img("PROTEIN_TRACKBAR_BAR"), Img("BLUEGLASS_TRACKBAR_BAR")}},  // 28 TrackBarBarImage
    {{Img("MACOS_TRACKBAR_SLIDER"), Img("WINXP_TRACKBAR_SLIDER"), Img("DEEPBLUE_TRACKBAR_SLIDER"), Img("PROTEIN_TRACKBAR_SLIDER"), Img("BLUEGLASS_TRACKBAR_SLIDER")}},  // 29 TrackBarSliderImage
    {{Img("MACOS_TRACKBAR_SLIDER_V"), Img("WINXP_TRACKBAR_SLIDER_V"), Img("DEEPBLUE_TRACKBAR_SLIDER_V"), Img("PROTEIN_TRACKBAR_SLIDER_V"), Img("BLUEGLASS_TRACKBAR_SLIDER_V")}},  // 30 TrackBarSliderVImage
    {{Val(0xC9C9C9), Val(0xF9F9F9), Val(0xF5F5F5), Val(0xF5F5F5), Val(0xF4F4F4)}},  // 31 ScrollBarBackgroundColor
    {{Img("MACOS_SCROLLBAR_BUTTON"), Img("WINXP_SCROLLBAR_BUTTON"), Img("DEEPBLUE_SCROLLBAR_BUTTON"), Img("PROTEIN_SCROLLBAR_BUTTON"), Img("BLUEGLASS_SCROLLBAR_BUTTON")}},  // 32 ScrollBarButtonImage
    {{Img("MACOS_SCROLLBAR_TRACK"), Img("WINXP_SCROLLBAR_TRACK"), Img("DEEPBLUE_SCROLLBAR_TRACK"), Img("PROTEIN_SCROLLBAR_TRACK"), Img("BLUEGLASS_SCROLLBAR_TRACK")}},  // 33 ScrollBarSliderImage
    {{Img("MACOS_CHECKLIST"), Img("WINXP_CHECKLIST"), Img("DEEPBLUE_CHECKLIST"), Img("PROTEIN_CHECKLIST"), Img("BLUEGLASS_CHECKLIST")}},  // 34 CheckListBoxImage
    {{Val(0x474747), Val(0xC66931), Val(0x474747), Val(0x474747), Val(0x474747)}},  // 35 ToolBarButtonBorderColor
    {{Val(0xEFEFEF), Val(0xEFD3C6), Val(0xEFEFEF), Val(0xEFEFEF), Val(0xEFEFEF)}},  // 36 ToolBarButtonBackgroundColor
    {{Val(0xD8D8D8), Val(0xE1AC93), Val(0xD8D8D8), Val(0xD8D8D8), Val(0xD8D8D8)}},  // 37 ToolBarButtonDownBackgroundColor
    {{Img("MACOS_SCROLLBUTTON"), Img("WINXP_SCROLLBUTTON"), Img("MORE_SCROLLBUTTON"), Img("MORE_SCROLLBUTTON"), Img("MORE_SCROLLBUTTON")}},  // 38 ScrollButtonImage
    {{Img("MACOS_TAB"), Img("WINXP_TAB"), Img("DEEPBLUE_TAB"), Img("PROTEIN_TAB"), Img("BLUEGLASS_TAB")}},  // 39 TabControlTabImage
    {{Img("MACOS_TAB_LINE"), Img("WINXP_TAB_LINE"), Img("DEEPBLUE_TAB_LINE"), Img("PROTEIN_TAB_LINE"), Img("BLUEGLASS_TAB_LINE")}},  // 40 TabControlBarImage
    {{Img("MACOS_SIDECHENNEL_HANDLE"), Img("WINXP_SIDECHENNEL_HANDLE"), Img("DEEPBLUE_SIDECHENNEL_HANDLE"), Img("PROTEIN_SIDECHENNEL_HANDLE"), Img("BLUEGLASS_SIDECHENNEL_HANDLE")}},  // 41 SideChannelHandleImage
    {{Img("MACOS_SIDECHENNEL_BAR"), Img("WINXP_SIDECHENNEL_BAR"), Img("DEEPBLUE_SIDECHENNEL_BAR"), Img("PROTEIN_SIDECHENNEL_BAR"), Img("BLUEGLASS_SIDECHENNEL_BAR")}},  // 42 SideChannelBarImage
};
// clang-format on

const CatalogueRow* RowOf(int item)
{
    return item >= 1 && item <= kThemeItemCount ? &kCatalogue[item - 1] : nullptr;
}

// The catalogue cell of a built-in style, or nullptr for any other style or item.
const Cell* CellOf(TsuiUIStyle style, int item, ThemeItemKind& kind)
{
    kind = ikInt;
    const int styleIndex = (style & 0x7F) - MacOS;
    const CatalogueRow* row = RowOf(item);
    if (!row || styleIndex < 0 || styleIndex >= kBuiltInStyleCount)
        return nullptr;
    kind = ThemeItemKindOf(item);
    return &row->styles[styleIndex];
}

} // namespace

int32_t GetBuiltInThemeEntry(TsuiUIStyle style, int item, ThemeItemKind& kind)
{
    const Cell* cell = CellOf(style, item, kind);
    return cell ? cell->value : -1;
}

QString BuiltInThemeImageName(TsuiUIStyle style, int item)
{
    ThemeItemKind kind;
    const Cell* cell = CellOf(style, item, kind);
    return cell && kind == ikImage ? QString::fromLatin1(cell->image) : QString();
}

TColor GetBuiltInThemeColor(TsuiUIStyle style, int item)
{
    ThemeItemKind kind;
    const int32_t value = GetBuiltInThemeEntry(style, item, kind);
    return kind == ikColor ? static_cast<TColor>(value) : 0;
}

int32_t GetBuiltInThemeInt(TsuiUIStyle style, int item)
{
    ThemeItemKind kind;
    const int32_t value = GetBuiltInThemeEntry(style, item, kind);
    return kind == ikInt ? value : -1;
}

bool GetBuiltInThemeBool(TsuiUIStyle style, int item)
{
    ThemeItemKind kind;
    const int32_t value = GetBuiltInThemeEntry(style, item, kind);
    return kind == ikBool && value != 0;
}

QImage LoadSkinBitmap(const QString& resourceName)
{
    static const bool registered = (RegisterSkinResources(), true);
    Q_UNUSED(registered);
    return QImage(QStringLiteral(":/skin/%1.bmp").arg(resourceName));
}

QIcon ApplicationIcon()
{
    QIcon icon;
    for (const char* name : {"MAINICON", "MAINICON_32", "MAINICON_48"})
        icon.addPixmap(QPixmap::fromImage(MaskedWithColor(LoadSkinBitmap(QLatin1String(name)),
                                                          clSkinTransparent)));
    return icon;
}

void LoadBuiltInThemeBitmap(TsuiUIStyle style, int item, QImage& bitmap, int index, int count)
{
    const QString name = BuiltInThemeImageName(style, item);
    if (name.isEmpty())
        return;
    const QImage resource = LoadSkinBitmap(name);
    if (resource.isNull())
        return;
    if (count == 0)
        bitmap = resource;
    else
        ExtractBitmapSlice(resource, bitmap, count, index);
}

TsuiUIStyle OwnerFormUIStyle(const QObject* component)
{
    const auto* form = qobject_cast<const QWidget*>(component);
    if (!form || !form->isWindow())
        return DeepBlue;
    for (const QObject* child : form->children()) {
        if (child->isWidgetType() && InheritsClass(child, QStringLiteral("TsuiForm")))
            return static_cast<TsuiUIStyle>(GetPublishedProperty(child, QStringLiteral("UIStyle")).toInt());
    }
    return DeepBlue;
}

bool FileThemeInUse(const TsuiFileTheme* fileTheme, TsuiUIStyle style,
                    TsuiUIStyle& effectiveStyle)
{
    effectiveStyle = style;
    if (style != FromThemeFile)
        return false;
    if (fileTheme && fileTheme->CanUse())
        return true;
    effectiveStyle = DeepBlue;
    return false;
}

TColor ThemeColor(const TsuiFileTheme* fileTheme, TsuiUIStyle style, int item)
{
    TsuiUIStyle effective;
    if (FileThemeInUse(fileTheme, style, effective))
        return fileTheme->GetColor(item);
    return GetBuiltInThemeColor(effective, item);
}

int32_t ThemeInt(const TsuiFileTheme* fileTheme, TsuiUIStyle style, int item)
{
    TsuiUIStyle effective;
    if (FileThemeInUse(fileTheme, style, effective))
        return fileTheme->GetInt(item);
    return GetBuiltInThemeInt(effective, item);
}

bool ThemeBool(const TsuiFileTheme* fileTheme, TsuiUIStyle style, int item)
{
    TsuiUIStyle effective;
    if (FileThemeInUse(fileTheme, style, effective))
        return fileTheme->GetBool(item);
    return GetBuiltInThemeBool(effective, item);
}

void ThemeBitmap(const TsuiFileTheme* fileTheme, TsuiUIStyle style, int item, QImage& bitmap,
                 int index, int count)
{
    TsuiUIStyle effective;
    if (!FileThemeInUse(fileTheme, style, effective))
        LoadBuiltInThemeBitmap(effective, item, bitmap, index, count);
    else if (count == 0)
        fileTheme->GetBitmap(item, bitmap);
    else
        fileTheme->GetBitmapSlice(item, bitmap, index, count);
}

} // namespace parvelle
