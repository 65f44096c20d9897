#pragma once
// Skinned tab control: TsuiTab frames the page area and carries a TsuiTabControlTopPanel,
// the strip of themed tabs that measures, draws and scrolls the tabs and turns clicks into
// tab changes. The strip's layout is a function of its tabs and theme (LayoutTabs); the
// widget only keeps the scroll state between paints.
#include "ControlSupport.h"
#include "ThemeCatalogue.h"
#include "ThemeFile.h"

#include <QFont>
#include <QImage>
#include <QList>
#include <QStringList>
#include <QWidget>
#include <array>

namespace parvelle {

class TsuiTab;

// A strip holds at most this many tabs; widths are kept for the first kMaxTabs - 1 only, so
// the last tab can be drawn but not clicked.
constexpr int kMaxTabs = 64;

// The theme bitmaps of a strip, sliced once per style.
struct TabStripTheme {
    QImage activeTab;                    // three-part bitmaps
    QImage inactiveTab;
    QImage line;                         // stretched under the tabs
    std::array<QImage, 4> scrollButtons; // next, next hot, previous, previous hot
};
TabStripTheme LoadTabStripTheme(const TsuiFileTheme* fileTheme, TsuiUIStyle style);

struct TabCell {
    int index = 0;
    QRect rect;
    bool active = false;
    bool cut = false;   // crossed the room for tabs: drawn narrower, caption left-aligned
};

// What measuring the tabs from the first shown one yields.
struct TabLayout {
    QList<TabCell> cells;   // drawn, left to right
    int lastWhole = -1;     // index of the last tab drawn whole
    bool overflow = false;  // the tabs do not all fit: scroll buttons are shown
};

struct TabStripGeometry {
    int width = 0;
    int leftMargin = 10;
    int tabHeight = 0;
    int scrollButtonWidth = 0;
};

// Measures the visible tabs (caption width + 20, 80 when empty, at least 15), stores their
// widths (0 for hidden ones) in Widths and places the tabs from FirstShown on; the active
// one a pixel lower. A tab crossing the room left for the scroll buttons is cut there and
// ends the strip.
TabLayout LayoutTabs(const QStringList& tabs, const std::array<bool, kMaxTabs>& visible, int tabIndex,
                     int firstShown, const TabStripGeometry& geometry, const QFont& font,
                     std::array<int, kMaxTabs>& widths);

// Scroll buttons of a strip Width x Height, next at the right end, previous left of it.
QRect NextScrollButtonRect(QSize strip, QSize button);
QRect PreviousScrollButtonRect(QSize strip, QSize button);

// Everything one paint of a strip reads.
struct TabStripLook {
    QSize size;
    QStringList tabs;
    QFont font;
    QColor textColor = Qt::black;
    TColor borderColor = clBlack;
    bool scrolled = false;              // the first shown tab is not the first
    QPoint pointer{-1, -1};             // the mouse, for the hot scroll button
};

// Draws the line under the tabs, the tabs of Layout with their captions and, when the tabs
// overflow or are scrolled, the scroll buttons (the one under the pointer hot).
void PaintTabStrip(QPainter& canvas, const TabStripLook& look, const TabStripTheme& theme,
                   const TabLayout& layout);

class TsuiTabControlTopPanel : public QWidget {
    Q_OBJECT
    Q_PROPERTY(parvelle::TsuiUIStyle UIStyle READ UIStyle WRITE SetUIStyle)
    Q_PROPERTY(parvelle::TsuiFileTheme* FileTheme READ FileTheme WRITE SetFileTheme)
    Q_PROPERTY(QStringList Tabs READ Tabs WRITE SetTabs)
    Q_PROPERTY(int TabIndex READ TabIndex WRITE SetTabIndex)
    Q_PROPERTY(int LeftMargin READ LeftMargin WRITE SetLeftMargin)

public:
    // One tab "Tab1", the first one active.
    explicit TsuiTabControlTopPanel(TsuiTab* owner);

    TsuiUIStyle UIStyle() const { return uiStyle_; }
    void SetUIStyle(TsuiUIStyle style);   // reloads the bitmaps; height: tab + line
    TsuiFileTheme* FileTheme() const { return fileTheme_.get(); }
    void SetFileTheme(TsuiFileTheme* fileTheme);

    QStringList Tabs() const { return tabs_; }
    void SetTabs(const QStringList& tabs);   // at most kMaxTabs are kept
    // Tabs and their visibility flags together (tabs past Visible are shown).
    void SetTabs(const QStringList& tabs, const QList<bool>& visible);
    void SetTabVisible(int index, bool visible);
    bool TabVisible(int index) const;

    int TabIndex() const { return tabIndex_; }
    // A program change: no OnChanging. Out of range (below -1, past the last tab) repaints
    // only; without tabs the index becomes -1.
    void SetTabIndex(int index);
    int LeftMargin() const { return leftMargin_; }
    void SetLeftMargin(int margin);

    // Scroll state and measurements of the last layout.
    int FirstShownTab() const { return firstShown_; }
    bool Overflow() const { return layout_.overflow; }
    const TabLayout& Layout() const { return layout_; }
    int TabWidth(int index) const { return widths_[size_t(index)]; }
    QSize ScrollButtonSize() const { return theme_.scrollButtons[0].size(); }
    int TabHeight() const { return theme_.activeTab.height(); }

    // Lays the tabs out now (paints do it too), scrolling to the active tab when it changed.
    void UpdateLayout();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void ChangeTabIndex(int index, bool byClick);
    int HotButtonAt(const QPoint& point) const;
    int TabAt(const QPoint& point) const;
    bool ScrollButtonsShown() const { return layout_.overflow || firstShown_ != 0; }

    TsuiTab* owner_;
    TsuiUIStyle uiStyle_ = DeepBlue;
    FileThemeLink fileTheme_;
    TabStripTheme theme_;
    QStringList tabs_;
    std::array<bool, kMaxTabs> visible_;
    std::array<int, kMaxTabs> widths_;
    int tabIndex_ = 0;
    int leftMargin_ = 10;
    int firstShown_ = 0;
    bool ensureVisible_ = false;
    TabLayout layout_;
    QPoint pointer_{-1, -1};
};

// A panel with a strip of tabs across its top; the area below is framed in BorderColor and
// its children are placed 3 pixels inside it.
class TsuiTab : public QWidget {
    Q_OBJECT
    Q_PROPERTY(parvelle::TsuiFileTheme* FileTheme READ FileTheme WRITE SetFileTheme)
    Q_PROPERTY(parvelle::TsuiUIStyle UIStyle READ UIStyle WRITE SetUIStyle)
    Q_PROPERTY(int LeftMargin READ LeftMargin WRITE SetLeftMargin)
    Q_PROPERTY(uint BorderColor READ BorderColor WRITE SetBorderColor)
    Q_PROPERTY(uint Color READ Color WRITE SetColor)

public:
    TsuiUIStyle UIStyle() const { return uiStyle_; }
    // Restyles the strip and the children and takes the style's colours.
    void SetUIStyle(TsuiUIStyle style);
    TsuiFileTheme* FileTheme() const { return fileTheme_.get(); }
    void SetFileTheme(TsuiFileTheme* fileTheme);
    int LeftMargin() const { return strip_->LeftMargin(); }
    void SetLeftMargin(int margin) { strip_->SetLeftMargin(margin); }
    TColor BorderColor() const { return borderColor_; }
    void SetBorderColor(TColor color);
    TColor Color() const { return color_; }
    void SetColor(TColor color);

    TsuiTabControlTopPanel* TopPanel() const { return strip_; }
    // The area children are placed in: below the strip, 3 pixels inside the frame.
    QRect PageArea() const;

    // Asked before a click changes the tab; false keeps the old one.
    bool AllowChange();
    // A tab became active: OnTabActive, then OnChange.
    virtual void TabActivated(int index);

Q_SIGNALS:
    void OnTabActive(QObject* sender, int tabIndex);
    void OnChange();
    void OnChanging(QObject* sender, bool& allowChange);

protected:
    // Takes its style from the parent's form; the subclass then installs its strip.
    explicit TsuiTab(QWidget* parent);
    void InstallTopPanel(TsuiTabControlTopPanel* strip);

    virtual void BorderColorChanged() {}
    virtual void ColorChanged() {}
    virtual void ChildAreaChanged() {}   // the strip's height or the control's size changed
    virtual void UpdateChildStyles(TsuiUIStyle style, TsuiFileTheme* fileTheme);

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    TsuiTabControlTopPanel* strip_ = nullptr;
    TsuiUIStyle uiStyle_ = DeepBlue;
    FileThemeLink fileTheme_;
    TColor borderColor_ = clBlack;
    TColor color_ = clBtnFace;
};

} // namespace parvelle
