#include "ListView.h"

#include <QEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <cstdlib>

namespace parvelle {

namespace {

constexpr int kBorderWidth = 2;
constexpr int kAttachedSmallChange = 5;

// Length in pixels of the thumb the style draws for the bar.
int ThumbLength(const QScrollBar* bar)
{
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.subControls = QStyle::SC_All;
    option.orientation = bar->orientation();
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.sliderPosition = bar->sliderPosition();
    option.sliderValue = bar->value();
    option.singleStep = bar->singleStep();
    option.pageStep = bar->pageStep();
    const QRect thumb =
        bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, bar);
    return bar->orientation() == Qt::Vertical ? thumb.height() : thumb.width();
}

} // namespace

TsuiListView::TsuiListView(QWidget* parent)
    : QTreeWidget(parent)
{
    // A plain frame as wide as the border ring, painted over in the skin's colours.
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(kBorderWidth);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    for (QScrollBar* system : {verticalScrollBar(), horizontalScrollBar()}) {
        connect(system, &QScrollBar::valueChanged, this, &TsuiListView::SyncScrollBars);
        connect(system, &QScrollBar::rangeChanged, this, &TsuiListView::SyncScrollBars);
    }
    uiStyle_ = OwnerFormUIStyle(parent ? parent->window() : nullptr);
    SetUIStyle(uiStyle_);
}

void TsuiListView::SetFileTheme(TsuiFileTheme* fileTheme)
{
    fileTheme_.set(fileTheme, this, [this] { SetUIStyle(DeepBlue); });
    SetUIStyle(uiStyle_);
}

void TsuiListView::SetUIStyle(TsuiUIStyle style)
{
    uiStyle_ = style;
    TsuiUIStyle effective = style;
    const bool fromFile = FileThemeInUse(FileTheme(), style, effective);
    borderColor_ = ThemeColor(FileTheme(), style, ThemeItem::ControlBorderColor);
    for (TsuiScrollBar* bar : {VScrollBar(), HScrollBar()})
        if (bar)
            bar->SetUIStyle(fromFile ? FromThemeFile : effective);
    update();
}

void TsuiListView::SetBorderColor(TColor color)
{
    borderColor_ = color;
    update();
}

TColor TsuiListView::Color() const
{
    return ToTColor(palette().color(QPalette::Base));
}

void TsuiListView::SetColor(TColor color)
{
    QPalette colours = palette();
    colours.setColor(QPalette::Base, ToQColor(color));
    setPalette(colours);
}

void TsuiListView::SetVScrollBar(TsuiScrollBar* bar)
{
    Attach(v_, bar, suiVertical);
}

void TsuiListView::SetHScrollBar(TsuiScrollBar* bar)
{
    Attach(h_, bar, suiHorizontal);
}

void TsuiListView::Attach(Attached& slot, TsuiScrollBar* bar, TsuiProgressBarOrientation orientation)
{
    if (slot.bar == bar)
        return;
    if (slot.bar) {
        disconnect(slot.onChange);
        slot.bar->SetLineButton(0);
        slot.bar->SetMax(100);
        slot.bar->setEnabled(true);
    }
    slot.bar = bar;
    if (!bar)
        return;
    bar->SetSmallChange(kAttachedSmallChange);
    bar->SetOrientation(orientation);
    slot.onChange = connect(bar, &TsuiScrollBar::OnChange, this,
                            orientation == suiVertical ? &TsuiListView::VScrollBarChanged
                                                       : &TsuiListView::HScrollBarChanged);
    bar->raise();
    PlaceScrollBars();
}

void TsuiListView::PlaceScrollBars()
{
    const QRect list = geometry();
    if (TsuiScrollBar* bar = HScrollBar()) {
        if (list.height() < bar->height()) {
            bar->move(bar->x(), list.y());
        } else {
            const int vertical = Shown(VScrollBar()) ? VScrollBar()->width() : 0;
            bar->setGeometry(list.x() + 1, list.y() + list.height() - bar->height() - 2,
                             list.width() - vertical - 2, bar->height());
        }
    }
    if (TsuiScrollBar* bar = VScrollBar()) {
        if (list.width() < bar->width()) {
            bar->move(list.x(), bar->y());
        } else {
            const int horizontal = Shown(HScrollBar()) ? HScrollBar()->height() : 0;
            bar->setGeometry(list.x() + list.width() - bar->width() - 2, list.y() + 1,
                             bar->width(), list.height() - horizontal - 2);
        }
    }
    SyncScrollBars();
}

void TsuiListView::SyncScrollBars()
{
    syncing_ = true;
    if (VScrollBar())
        SyncBar(VScrollBar(), verticalScrollBar());
    if (HScrollBar())
        SyncBar(HScrollBar(), horizontalScrollBar());
    syncing_ = false;
}

void TsuiListView::SyncBar(TsuiScrollBar* skinned, const QScrollBar* system)
{
    // What the list shows of its own bar (it hides it a moment later, after the range).
    const Qt::ScrollBarPolicy policy =
        system->orientation() == Qt::Vertical ? verticalScrollBarPolicy() : horizontalScrollBarPolicy();
    const bool available = policy != Qt::ScrollBarAlwaysOff && system->isEnabled()
                           && system->maximum() > system->minimum();
    skinned->SetLineButton(available ? ThumbLength(system) : 0);
    skinned->setEnabled(available);
    skinned->setVisible(available);
    skinned->SetMax(system->maximum());
    skinned->SetMin(system->minimum());
    skinned->SetPosition(system->value());
}

void TsuiListView::VScrollBarChanged()
{
    if (syncing_)
        return;
    // One position is one row: step the list's own bar row by row.
    const int delta = VScrollBar()->PositionDelta();
    const auto step = delta > 0 ? QAbstractSlider::SliderSingleStepAdd : QAbstractSlider::SliderSingleStepSub;
    for (int i = 0; i < std::abs(delta); ++i)
        verticalScrollBar()->triggerAction(step);
    viewport()->update();
}

void TsuiListView::HScrollBarChanged()
{
    if (syncing_)
        return;
    QScrollBar* system = horizontalScrollBar();
    system->setValue(system->value() + HScrollBar()->PositionDelta());
}

QModelIndex TsuiListView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    const bool paging = action == MovePageDown || action == MovePageUp || action == MoveHome || action == MoveEnd;
    if (paging && !currentIndex().isValid()) {
        const QModelIndex top = indexAt(QPoint(0, 0));
        if (top.isValid())
            selectionModel()->setCurrentIndex(top, QItemSelectionModel::NoUpdate);
    }
    return QTreeWidget::moveCursor(action, modifiers);
}

bool TsuiListView::event(QEvent* event)
{
    const bool handled = QTreeWidget::event(event);
    if (event->type() == QEvent::Paint) {
        QPainter painter(this);
        DrawControlBorder(this, painter, borderColor_, Color(), true);
    }
    return handled;
}

void TsuiListView::resizeEvent(QResizeEvent* event)
{
    QTreeWidget::resizeEvent(event);
    PlaceScrollBars();
}

void TsuiListView::moveEvent(QMoveEvent* event)
{
    QTreeWidget::moveEvent(event);
    PlaceScrollBars();
}

void TsuiListView::changeEvent(QEvent* event)
{
    QTreeWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        SyncScrollBars();
}

} // namespace parvelle
