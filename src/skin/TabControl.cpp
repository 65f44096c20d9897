#include "TabControl.h"

#include "Accessibility.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <utility>


namespace parvelle {

TabStripTheme LoadTabStripTheme(const TsuiFileTheme* fileTheme, TsuiUIStyle style)
{
    TabStripTheme theme;
    ThemeBitmap(fileTheme, style, ThemeItem::TabControlTabImage, theme.activeTab, 1, 2);
    ThemeBitmap(fileTheme, style, ThemeItem::TabControlTabImage, theme.inactiveTab, 2, 2);
    ThemeBitmap(fileTheme, style, ThemeItem::TabControlBarImage, theme.line);
    for (int i = 0; i < 4; ++i)
        ThemeBitmap(fileTheme, style, ThemeItem::ScrollButtonImage, theme.scrollButtons[size_t(i)], i + 1, 4);
    return theme;
}

TabLayout LayoutTabs(const QStringList& tabs, const std::array<bool, kMaxTabs>& visible, int tabIndex,
                     int firstShown, const TabStripGeometry& geometry, const QFont& font,
                     std::array<int, kMaxTabs>& widths)
{
    const int count = int(std::min<qsizetype>(tabs.size(), kMaxTabs));
    const int limit = geometry.width - 2 * geometry.scrollButtonWidth - 2;
    const int lastLimit = geometry.width - 10;
    const QFontMetrics metrics(font);
    TabLayout layout;
    layout.lastWhole = count - 1;
    int limitUsed = limit;
    int x = geometry.leftMargin;
    int shown = 0;
    bool stop = false;
    for (int i = 0; i < count; ++i) {
        if (!visible[size_t(i)]) {
            widths[size_t(i)] = 0;
            continue;
        }
        if (stop)
            break;
        const QString& caption = tabs[i];
        const int w = std::max(caption.isEmpty() ? 80 : metrics.horizontalAdvance(caption) + 20, 15);
        if (i < kMaxTabs - 1)
            widths[size_t(i)] = w;
        if (shown++ < firstShown)
            continue;
        TabCell cell;
        cell.index = i;
        cell.active = i == tabIndex;
        cell.rect = cell.active ? RectLTRB(x, 1, x + w, geometry.tabHeight + 1)
                                : RectLTRB(x, 0, x + w, geometry.tabHeight);
        limitUsed = i == count - 1 ? lastLimit : limit;
        if (RightOf(cell.rect) > limitUsed) {
            cell.rect.setRight(std::max(limit, x) - 1);
            cell.cut = true;
            stop = true;
            layout.lastWhole = i - 1;
            if (!cell.active && i < kMaxTabs - 1)
                widths[size_t(i)] = cell.rect.width();
        }
        if (!cell.rect.isEmpty())
            layout.cells.append(cell);
        x += w;
    }
    layout.overflow = (limitUsed < x || stop) && count > 0;
    return layout;
}

QRect NextScrollButtonRect(QSize strip, QSize button)
{
    const int top = button.height() + 4 < strip.height() ? (strip.height() - button.height()) / 2 - 2 : 0;
    return QRect(QPoint(strip.width() - (button.width() + 2), top), button);
}

QRect PreviousScrollButtonRect(QSize strip, QSize button)
{
    return NextScrollButtonRect(strip, button).translated(-button.width(), 0);
}

namespace {

void DrawLine(QPainter& canvas, const TabStripLook& look, const TabStripTheme& theme)
{
    const int top = theme.activeTab.height();
    const int bottom = top + theme.line.height();
    if (!theme.line.isNull())
        canvas.drawImage(RectLTRB(1, top, look.size.width() - 1, bottom), theme.line);
    const QColor border = ToQColor(look.borderColor);
    canvas.fillRect(RectLTRB(0, top, 1, bottom), border);
    canvas.fillRect(RectLTRB(look.size.width() - 1, top, look.size.width(), bottom), border);
}

void DrawTab(QPainter& canvas, const TabStripLook& look, const TabStripTheme& theme, const TabCell& cell)
{
    const QImage& image = cell.active ? theme.activeTab : theme.inactiveTab;
    if (!image.isNull()) {
        const bool magentaCorner = ToTColor(image.pixel(0, 0)) == clSkinTransparent;
        DrawThreeSliceBitmap(image, canvas, cell.rect, magentaCorner);
    }
    constexpr int flags = Qt::TextSingleLine | Qt::AlignVCenter;
    if (cell.cut)
        canvas.drawText(cell.rect.adjusted(10, 0, -4, 0), flags | Qt::AlignLeft, look.tabs[cell.index]);
    else
        canvas.drawText(cell.rect, flags | Qt::AlignHCenter, look.tabs[cell.index]);
}

void DrawScrollButtons(QPainter& canvas, const TabStripLook& look, const TabStripTheme& theme)
{
    const QSize button = theme.scrollButtons[0].size();
    const QRect next = NextScrollButtonRect(look.size, button);
    const QRect previous = PreviousScrollButtonRect(look.size, button);
    const bool nextHot = PointInRect(look.pointer, next);
    const bool previousHot = !nextHot && PointInRect(look.pointer, previous);
    canvas.drawImage(next.topLeft(), AutoTransparent(theme.scrollButtons[nextHot ? 1 : 0]));
    canvas.drawImage(previous.topLeft(), AutoTransparent(theme.scrollButtons[previousHot ? 3 : 2]));
}

} // namespace

void PaintTabStrip(QPainter& canvas, const TabStripLook& look, const TabStripTheme& theme,
                   const TabLayout& layout)
{
    DrawLine(canvas, look, theme);
    canvas.setFont(look.font);
    canvas.setPen(look.textColor);
    for (const TabCell& cell : layout.cells)
        DrawTab(canvas, look, theme, cell);
    if (layout.overflow || look.scrolled)
        DrawScrollButtons(canvas, look, theme);
}

// ---------------------------------------------------------------------------------------

TsuiTabControlTopPanel::TsuiTabControlTopPanel(TsuiTab* owner)
    : QWidget(owner)
    , owner_(owner)
    , tabs_{QStringLiteral("Tab1")}
{
    // Every paint covers the whole strip from an off-screen buffer; nothing is erased.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    visible_.fill(true);
    widths_.fill(-1);
}

void TsuiTabControlTopPanel::SetUIStyle(TsuiUIStyle style)
{
    uiStyle_ = style;
    theme_ = LoadTabStripTheme(FileTheme(), style);
    resize(width(), theme_.activeTab.height() + theme_.line.height());
    repaint();
}

void TsuiTabControlTopPanel::SetFileTheme(TsuiFileTheme* fileTheme)
{
    fileTheme_.set(fileTheme, this, [this] { SetUIStyle(DeepBlue); });
    SetUIStyle(uiStyle_);
}

// The strip stays scrolled no further than its last tab.
void TsuiTabControlTopPanel::SetTabs(const QStringList& tabs)
{
    tabs_ = tabs.mid(0, kMaxTabs);
    firstShown_ = std::min(firstShown_, std::max(int(tabs_.size()) - 1, 0));
    repaint();
    AccessibleTabsChanged(owner_);
}

void TsuiTabControlTopPanel::SetTabs(const QStringList& tabs, const QList<bool>& visible)
{
    for (int i = 0; i < kMaxTabs; ++i)
        visible_[size_t(i)] = visible.value(i, true);
    SetTabs(tabs);
}

void TsuiTabControlTopPanel::SetTabVisible(int index, bool visible)
{
    if (index < 0 || index >= kMaxTabs)
        return;
    visible_[size_t(index)] = visible;
    repaint();
    AccessibleTabsChanged(owner_);
}

bool TsuiTabControlTopPanel::TabVisible(int index) const
{
    return index < 0 || index >= kMaxTabs || visible_[size_t(index)];
}

void TsuiTabControlTopPanel::SetTabIndex(int index)
{
    ChangeTabIndex(index, false);
}

void TsuiTabControlTopPanel::SetLeftMargin(int margin)
{
    leftMargin_ = margin;
    repaint();
}

void TsuiTabControlTopPanel::ChangeTabIndex(int index, bool byClick)
{
    if (index == tabIndex_)
        return;
    if (tabs_.isEmpty()) {
        tabIndex_ = -1;
        repaint();
        return;
    }
    if (index < -1 || index >= tabs_.size()) {
        repaint();
        return;
    }
    if (byClick && !owner_->AllowChange())
        return;
    const int previous = std::exchange(tabIndex_, index);
    ensureVisible_ = true;
    repaint();
    owner_->TabActivated(index);
    AccessibleTabSelected(owner_, previous, index);
}

// Scrolling to the active tab ends when it is drawn whole or nothing is left to scroll.
void TsuiTabControlTopPanel::UpdateLayout()
{
    const TabStripGeometry geometry{width(), leftMargin_, TabHeight(), ScrollButtonSize().width()};
    auto layOut = [&] {
        layout_ = LayoutTabs(tabs_, visible_, tabIndex_, firstShown_, geometry, owner_->font(), widths_);
    };
    layOut();
    if (!ensureVisible_)
        return;
    ensureVisible_ = false;
    while (layout_.lastWhole < tabIndex_ && firstShown_ < tabs_.size()) {
        ++firstShown_;
        layOut();
    }
}

void TsuiTabControlTopPanel::paintEvent(QPaintEvent*)
{
    UpdateLayout();
    QPixmap buffer = OffscreenBuffer(this);
    buffer.fill(palette().color(QPalette::Window));
    {
        QPainter painter(&buffer);
        PaintParentBackground(painter, owner_);
        TabStripLook look;
        look.size = size();
        look.tabs = tabs_;
        look.font = owner_->font();
        look.textColor = palette().color(QPalette::WindowText);
        look.borderColor = owner_->BorderColor();
        look.scrolled = firstShown_ != 0;
        look.pointer = pointer_;
        PaintTabStrip(painter, look, theme_, layout_);
    }
    QPainter(this).drawPixmap(0, 0, buffer);
}

int TsuiTabControlTopPanel::HotButtonAt(const QPoint& point) const
{
    if (!ScrollButtonsShown())
        return 0;
    if (PointInRect(point, NextScrollButtonRect(size(), ScrollButtonSize())))
        return 1;
    return PointInRect(point, PreviousScrollButtonRect(size(), ScrollButtonSize())) ? -1 : 0;
}

// The drawn tabs are hit by their stored widths (0 < y < tab height); a tab whose width
// was never stored (the last of kMaxTabs) cannot be hit and ends the walk.
int TsuiTabControlTopPanel::TabAt(const QPoint& point) const
{
    for (const TabCell& cell : layout_.cells) {
        const int w = widths_[size_t(cell.index)];
        if (w == -1)
            break;
        const int x = cell.rect.left();
        if (x < point.x() && point.x() < x + w && 0 < point.y() && point.y() < TabHeight())
            return cell.index;
    }
    return -1;
}

void TsuiTabControlTopPanel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    pointer_ = event->position().toPoint();
    UpdateLayout();
    const int hot = HotButtonAt(pointer_);
    if (hot == -1 || (hot == 1 && layout_.overflow)) {
        firstShown_ = std::clamp(firstShown_ + hot, 0, int(tabs_.size()));
        repaint();
        return;
    }
    const int tab = TabAt(pointer_);
    if (tab >= 0)
        ChangeTabIndex(tab, true);
}

void TsuiTabControlTopPanel::mouseMoveEvent(QMouseEvent* event)
{
    pointer_ = event->position().toPoint();
    if (ScrollButtonsShown())
        repaint();
}

void TsuiTabControlTopPanel::leaveEvent(QEvent*)
{
    pointer_ = QPoint(-1, -1);
    if (ScrollButtonsShown())
        repaint();
}

// ---------------------------------------------------------------------------------------

TsuiTab::TsuiTab(QWidget* parent)
    : QWidget(parent)
{
    InstallSkinAccessibility();
    // Every paint covers the frame area from an off-screen buffer; nothing is erased.
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(width(), 80);
    uiStyle_ = OwnerFormUIStyle(parent ? parent->window() : nullptr);
}

void TsuiTab::InstallTopPanel(TsuiTabControlTopPanel* strip)
{
    strip_ = strip;
    SetUIStyle(uiStyle_);
}

void TsuiTab::SetUIStyle(TsuiUIStyle style)
{
    uiStyle_ = style;
    strip_->SetFileTheme(FileTheme());
    strip_->SetUIStyle(style);
    UpdateChildStyles(style, FileTheme());
    TsuiUIStyle effective;
    const bool fromFile = FileThemeInUse(FileTheme(), style, effective);
    SetBorderColor(ThemeColor(FileTheme(), style, ThemeItem::ControlBorderColor));
    const TColor background = ThemeColor(FileTheme(), style, ThemeItem::ControlBackgroundColor);
    SetColor(!fromFile && style == WinXP ? clWhite : background);
    strip_->setGeometry(0, 0, width(), strip_->height());
    ChildAreaChanged();
    repaint();
}

void TsuiTab::SetFileTheme(TsuiFileTheme* fileTheme)
{
    fileTheme_.set(fileTheme, this, [this] { SetUIStyle(DeepBlue); });
    SetUIStyle(uiStyle_);
}

void TsuiTab::SetBorderColor(TColor color)
{
    borderColor_ = color;
    BorderColorChanged();
    repaint();
    strip_->repaint();
}

void TsuiTab::SetColor(TColor color)
{
    color_ = color;
    ColorChanged();
    repaint();
}

QRect TsuiTab::PageArea() const
{
    return RectLTRB(3, strip_->height() + 3, width() - 3, height() - 3);
}

bool TsuiTab::AllowChange()
{
    bool allow = true;
    Q_EMIT OnChanging(this, allow);
    return allow;
}

void TsuiTab::TabActivated(int index)
{
    Q_EMIT OnTabActive(this, index);
    Q_EMIT OnChange();
}

void TsuiTab::UpdateChildStyles(TsuiUIStyle style, TsuiFileTheme* fileTheme)
{
    ApplyStyleToChildren(this, style, fileTheme);
}

// Below the strip: Color inside a frame open at the top, where the strip's line closes it.
void TsuiTab::paintEvent(QPaintEvent*)
{
    QPixmap buffer = OffscreenBuffer(this);
    buffer.fill(palette().color(QPalette::Window));
    {
        QPainter painter(&buffer);
        const int top = strip_->height();
        const QColor border = ToQColor(borderColor_);
        painter.fillRect(RectLTRB(0, top, width(), height()), ToQColor(color_));
        painter.fillRect(RectLTRB(0, top, 1, height()), border);
        painter.fillRect(RectLTRB(0, height() - 1, width(), height()), border);
        painter.fillRect(RectLTRB(width() - 1, top, width(), height()), border);
    }
    QPainter(this).drawPixmap(0, 0, buffer);
}

void TsuiTab::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    strip_->setGeometry(0, 0, width(), strip_->height());
    ChildAreaChanged();
}

void TsuiTab::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        strip_->repaint();
}

} // namespace parvelle
