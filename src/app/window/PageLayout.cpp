#include "PageLayout.h"

#include <QApplication>
#include <QLabel>
#include <QResizeEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <algorithm>
#include <utility>

namespace parvelle {

namespace {
// One direction of an anchored control: its designed start and length and the page's
// designed length; returns the start and length for the page's length now.
std::pair<int, int> Anchored(int start, int length, int design, int now, bool near, bool far)
{
    if (near && far)
        return {start, length + now - design};
    if (far)
        return {start + now - design, length};
    if (near)
        return {start, length};
    return {start + (now - design) / 2, length};
}

// One spread control: its designed start and length within the designed span of the
// spread controls, whose end moves with the page's far edge.
std::pair<int, int> Spread(int start, int length, std::pair<int, int> span, int growth)
{
    const auto [from, to] = span;
    const auto scaled = [from, to, growth](int x) {
        return from + int((qint64(x - from) * (to - from + growth) + (to - from) / 2) / (to - from));
    };
    return {scaled(start), scaled(start + length) - scaled(start)};
}

// The width a control's text needs: a word-wrapped label's text within its height, a
// label's or button's caption on one line; 0 for other controls.
int TextWidth(const QWidget* control, int height)
{
    if (const auto* label = qobject_cast<const QLabel*>(control)) {
        if (!label->wordWrap())
            return label->sizeHint().width();
        int least = 1;
        int most = std::max(1, label->width());
        while (least < most) {
            const int middle = (least + most) / 2;
            if (label->heightForWidth(middle) <= height)
                most = middle;
            else
                least = middle + 1;
        }
        return least;
    }
    const QVariant caption = control->property("Caption");
    if (caption.typeId() != QMetaType::QString)
        return 0;
    constexpr int kButtonMargin = 8;
    return control->fontMetrics().horizontalAdvance(QString(caption.toString()).remove(QLatin1Char('&')))
        + 2 * kButtonMargin;
}
} // namespace

PageLayout::PageLayout(QWidget* page, QSize design)
    : QObject(page), page_(page), design_(design)
{
    for (QWidget* child : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!child->isWindow())
            controls_.push_back({child, child->geometry(), akLeft | akTop, QSize()});
    }
    horizontal_ = new QScrollBar(Qt::Horizontal, page);
    vertical_ = new QScrollBar(Qt::Vertical, page);
    for (QScrollBar* bar : {horizontal_, vertical_}) {
        bar->setObjectName(page->objectName() + (bar == horizontal_ ? QStringLiteral("HScroll") : QStringLiteral("VScroll")));
        bar->setFocusPolicy(Qt::NoFocus);
        bar->hide();
        connect(bar, &QScrollBar::valueChanged, this, &PageLayout::Place);
    }
    page->installEventFilter(this);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now && page_->isAncestorOf(now))
            ScrollIntoView(now);
    });
    FindFloor();
}

void PageLayout::Anchor(QWidget* control, int anchors, QSize minimum)
{
    for (Control& c : controls_) {
        if (c.widget != control)
            continue;
        c.anchors = anchors;
        const bool widens = (anchors & akSpreadX) || ((anchors & akLeft) && (anchors & akRight));
        const bool heightens = (anchors & akTop) && (anchors & akBottom);
        c.minimum = QSize(minimum.width() > 0 || !widens ? minimum.width() : TextWidth(control, c.designed.height()),
                          heightens ? minimum.height() : 0);
    }
    spreadSpan_ = {design_.width(), 0};
    for (const Control& c : controls_) {
        if (c.anchors & akSpreadX)
            spreadSpan_ = {std::min(spreadSpan_.first, c.designed.left()), std::max(spreadSpan_.second, c.designed.right() + 1)};
    }
    FindFloor();
}

QRect PageLayout::PlaceAt(const Control& control, QSize content) const
{
    const QRect& d = control.designed;
    const int anchors = control.anchors;
    const auto [x, width] = anchors & akSpreadX
        ? Spread(d.x(), d.width(), spreadSpan_, content.width() - design_.width())
        : Anchored(d.x(), d.width(), design_.width(), content.width(), anchors & akLeft, anchors & akRight);
    const auto [y, height] = Anchored(d.y(), d.height(), design_.height(), content.height(), anchors & akTop,
                                      anchors & akBottom);
    return QRect(x, y, std::max(width, 0), std::max(height, 0));
}

bool PageLayout::FitsAt(QSize content) const
{
    const QRect area(QPoint(0, 0), content);
    std::vector<QRect> placed;
    for (const Control& control : controls_) {
        if (control.widget->isHidden())
            continue;
        const QRect rect = PlaceAt(control, content);
        if (!area.contains(rect) || rect.width() < control.minimum.width() || rect.height() < control.minimum.height())
            return false;
        for (const QRect& other : placed) {
            if (rect.intersects(other))
                return false;
        }
        placed.push_back(rect);
    }
    return true;
}

void PageLayout::FindFloor()
{
    QSize floor = design_;
    while (floor.width() > 1 && FitsAt(floor - QSize(1, 0)))
        floor.rwidth()--;
    while (floor.height() > 1 && FitsAt(floor - QSize(0, 1)))
        floor.rheight()--;
    floor_ = floor;
    Place();
}

void PageLayout::Place()
{
    const QSize page = page_->size();
    const int barWidth = vertical_->sizeHint().width();
    const int barHeight = horizontal_->sizeHint().height();
    bool across = page.width() < floor_.width();
    bool down = page.height() < floor_.height() || (across && page.height() - barHeight < floor_.height());
    across = across || (down && page.width() - barWidth < floor_.width());
    const QSize view(std::max(0, page.width() - (down ? barWidth : 0)),
                     std::max(0, page.height() - (across ? barHeight : 0)));
    const QSize content = view.expandedTo(floor_);
    {
        const QSignalBlocker blockAcross(horizontal_);
        const QSignalBlocker blockDown(vertical_);
        horizontal_->setRange(0, content.width() - view.width());
        horizontal_->setPageStep(std::max(1, view.width()));
        horizontal_->setGeometry(0, view.height(), view.width(), barHeight);
        vertical_->setRange(0, content.height() - view.height());
        vertical_->setPageStep(std::max(1, view.height()));
        vertical_->setGeometry(view.width(), 0, barWidth, view.height());
    }
    horizontal_->setVisible(across);
    vertical_->setVisible(down);
    horizontal_->raise();
    vertical_->raise();
    const QPoint offset(horizontal_->value(), vertical_->value());
    for (const Control& control : controls_)
        control.widget->setGeometry(PlaceAt(control, content).translated(-offset));
}

void PageLayout::ScrollIntoView(QWidget* focused)
{
    const auto control = std::find_if(controls_.begin(), controls_.end(), [focused](const Control& c) {
        return c.widget == focused || c.widget->isAncestorOf(focused);
    });
    if (control == controls_.end())
        return;
    const QRect shown = control->widget->geometry();
    const auto into = [](QScrollBar* bar, int start, int end, int view) {
        if (end > view)
            bar->setValue(bar->value() + std::min(start, end - view));
        else if (start < 0)
            bar->setValue(bar->value() + start);
    };
    into(horizontal_, shown.left(), shown.right() + 1, horizontal_->width());
    into(vertical_, shown.top(), shown.bottom() + 1, vertical_->height());
}

bool PageLayout::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != page_)
        return false;
    if (event->type() == QEvent::Resize)
        Place();
    else if (event->type() == QEvent::Wheel && (vertical_->isVisible() || horizontal_->isVisible()))
        return QApplication::sendEvent(vertical_->isVisible() ? vertical_ : horizontal_, event);
    return false;
}

} // namespace parvelle
