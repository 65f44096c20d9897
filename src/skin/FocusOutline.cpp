#include "FocusOutline.h"

#include "ButtonPaint.h"

#include <QAbstractScrollArea>
#include <QEvent>
#include <QPainter>

namespace parvelle {

namespace {

// Lies over the viewport, above it, and lets the mouse through; shown while the area
// has the focus.
class FocusOutline : public QWidget {
public:
    explicit FocusOutline(QAbstractScrollArea* area) : QWidget(area), area_(area)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        area->installEventFilter(this);
        area->viewport()->installEventFilter(this);
        Follow();
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::FocusIn:
        case QEvent::FocusOut:
        case QEvent::Move:
        case QEvent::Resize:
            Follow();
            break;
        default:
            break;
        }
        return false;
    }

    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        DrawFocusRectangle(painter, rect());
    }

private:
    void Follow()
    {
        setGeometry(area_->viewport()->geometry());
        setVisible(area_->hasFocus());
        raise();
    }

    QAbstractScrollArea* area_;
};

} // namespace

void ShowKeyboardFocus(QAbstractScrollArea* area)
{
    new FocusOutline(area);
}

} // namespace parvelle
