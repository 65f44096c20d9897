#include "ControlAlign.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QSet>
#include <QVariant>
#include <QWidget>
#include <algorithm>

namespace parvelle {

namespace {

constexpr char kAlignProperty[] = "parvelle_align";

// Realigns a parent when it, or one of its aligned children, changes size or visibility.
class AlignWatcher : public QObject {
public:
    using QObject::QObject;

    static AlignWatcher* Instance()
    {
        static QPointer<AlignWatcher> watcher;
        if (!watcher)
            watcher = new AlignWatcher(QCoreApplication::instance());
        return watcher;
    }

    void Watch(QWidget* widget)
    {
        if (widget) {
            widget->removeEventFilter(this);   // installed once
            widget->installEventFilter(this);
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!watched->isWidgetType())
            return false;
        auto* widget = static_cast<QWidget*>(watched);
        switch (event->type()) {
        case QEvent::Resize:
        case QEvent::ChildRemoved:
            AlignControls(widget);
            [[fallthrough]];
        case QEvent::ShowToParent:
        case QEvent::HideToParent:
            if (ControlAlign(widget) != alNone)
                AlignControls(widget->parentWidget());
            break;
        case QEvent::ParentChange:
            if (ControlAlign(widget) != alNone) {
                Watch(widget->parentWidget());
                AlignControls(widget->parentWidget());
            }
            break;
        default: break;
        }
        return false;
    }
};

// Position along the child's own edge, nearest to that edge first.
int EdgeOrder(const QWidget* child, TAlign align)
{
    const QRect g = child->geometry();
    switch (align) {
    case alTop: return g.top();
    case alBottom: return -(g.y() + g.height());
    case alLeft: return g.left();
    case alRight: return -(g.x() + g.width());
    default: return 0;
    }
}

// The child's place at its edge of Area; Area shrinks by what the child takes.
QRect TakeFromArea(QRect& area, const QWidget* child, TAlign align)
{
    const int w = std::min(child->width(), std::max(0, area.width()));
    const int h = std::min(child->height(), std::max(0, area.height()));
    QRect place;
    switch (align) {
    case alTop:
        place = QRect(area.left(), area.top(), area.width(), child->height());
        area.setTop(area.top() + h);
        break;
    case alBottom:
        place = QRect(area.left(), area.y() + area.height() - child->height(), area.width(), child->height());
        area.setHeight(area.height() - h);
        break;
    case alLeft:
        place = QRect(area.left(), area.top(), child->width(), area.height());
        area.setLeft(area.left() + w);
        break;
    case alRight:
        place = QRect(area.x() + area.width() - child->width(), area.top(), child->width(), area.height());
        area.setWidth(area.width() - w);
        break;
    case alClient: place = area; break;
    case alNone: break;
    }
    if (place.width() < 0)
        place.setWidth(0);
    if (place.height() < 0)
        place.setHeight(0);
    return place;
}

} // namespace

void SetControlAlign(QWidget* control, TAlign align)
{
    control->setProperty(kAlignProperty, int(align));
    AlignWatcher::Instance()->Watch(control);
    AlignWatcher::Instance()->Watch(control->parentWidget());
    AlignControls(control->parentWidget());
}

TAlign ControlAlign(const QWidget* control)
{
    return control ? TAlign(control->property(kAlignProperty).toInt()) : alNone;
}

void AlignControls(QWidget* parent)
{
    static QSet<QWidget*> aligning;   // placing the children resizes them: no nested runs
    if (!parent || aligning.contains(parent))
        return;
    aligning.insert(parent);
    QRect area = parent->contentsRect();
    for (TAlign align : {alTop, alBottom, alLeft, alRight, alClient}) {
        QList<QWidget*> children;
        for (QObject* object : parent->children()) {
            auto* child = qobject_cast<QWidget*>(object);
            if (child && !child->isWindow() && !child->isHidden() && ControlAlign(child) == align)
                children.append(child);
        }
        std::stable_sort(children.begin(), children.end(), [align](QWidget* a, QWidget* b) {
            return EdgeOrder(a, align) < EdgeOrder(b, align);
        });
        for (QWidget* child : std::as_const(children))
            child->setGeometry(TakeFromArea(area, child, align));
    }
    aligning.remove(parent);
}

} // namespace parvelle
