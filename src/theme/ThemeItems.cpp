#include "ThemeItems.h"

namespace parvelle {

namespace {

struct ItemRow {
    const char* keyName;
    ThemeItemKind kind;
};

constexpr ItemRow kItems[kThemeItemCount] = {
    {"ButtonImage", ikImage},  // 1
    {"ButtonTransparentBool", ikBool},  // 2
    {"CheckBoxImage", ikImage},  // 3
    {"RadioButtonImage", ikImage},  // 4
    {"TitleBarButtonImage", ikImage},  // 5
    {"TitleBarButtonTransparentBool", ikBool},  // 6
    {"TitleBarButtonLeftOffsetInt", ikInt},  // 7
    {"TitleBarButtonRightOffsetInt", ikInt},  // 8
    {"TitleBarButtonTopInt", ikInt},  // 9
    {"TitleBarLeftImage", ikImage},  // 10
    {"TitleBarClientImage", ikImage},  // 11
    {"TitleBarRightImage", ikImage},  // 12
    {"FormMinWidthInt", ikInt},  // 13
    {"FormRoundCornerInt", ikInt},  // 14
    {"FormBackgroundColor", ikColor},  // 15
    {"FormBorderColor", ikColor},  // 16
    {"FormBorderWidthInt", ikInt},  // 17
    {"MenuSelectedBorderColor", ikColor},  // 18
    {"MenuSelectedBackgroundColor", ikColor},  // 19
    {"MenuSelectedFontColor", ikColor},  // 20
    {"MenuBackgroundColor", ikColor},  // 21
    {"MenuFontColor", ikColor},  // 22
    {"MenuBarColor", ikColor},  // 23
    {"ProgressBarImage", ikImage},  // 24
    {"ControlBorderColor", ikColor},  // 25
    {"ControlBackgroundColor", ikColor},  // 26
    {"ControlFontColor", ikColor},  // 27
    {"TrackBarBarImage", ikImage},  // 28
    {"TrackBarSliderImage", ikImage},  // 29
    {"TrackBarSliderVImage", ikImage},  // 30
    {"ScrollBarBackgroundColor", ikColor},  // 31
    {"ScrollBarButtonImage", ikImage},  // 32
    {"ScrollBarSliderImage", ikImage},  // 33
    {"CheckListBoxImage", ikImage},  // 34
    {"ToolBarButtonBorderColor", ikColor},  // 35
    {"ToolBarButtonBackgroundColor", ikColor},  // 36
    {"ToolBarButtonDownBackgroundColor", ikColor},  // 37
    {"ScrollButtonImage", ikImage},  // 38
    {"TabControlTabImage", ikImage},  // 39
    {"TabControlBarImage", ikImage},  // 40
    {"SideChannelHandleImage", ikImage},  // 41
    {"SideChannelBarImage", ikImage},  // 42
};

const ItemRow* RowOf(int item)
{
    return item >= 1 && item <= kThemeItemCount ? &kItems[item - 1] : nullptr;
}

} // namespace

QString ThemeItemKeyName(int item)
{
    const ItemRow* row = RowOf(item);
    return row ? QString::fromLatin1(row->keyName) : QString();
}

ThemeItemKind ThemeItemKindOf(int item)
{
    const ItemRow* row = RowOf(item);
    return row ? row->kind : ikInt;
}

} // namespace parvelle
