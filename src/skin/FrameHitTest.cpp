#include "FrameHitTest.h"

namespace parvelle {

int FormHitTest(const QPoint& cursor, const QPoint& clientOrigin, const QSize& clientSize,
                bool sizeable, bool maximized, int previous)
{
    if (maximized || !sizeable)
        return previous;
    const int x = cursor.x() - clientOrigin.x(), y = cursor.y() - clientOrigin.y();
    const int cw = clientSize.width(), ch = clientSize.height();
    if (x <= 4 && y <= 4)
        return HTTOPLEFT;
    if (x > cw - 5 && y < 5)
        return HTTOPRIGHT;
    if (x > cw - 5 && y > ch - 5)
        return HTBOTTOMRIGHT;
    if (x < 5 && y > ch - 5)
        return HTBOTTOMLEFT;
    if (x <= 4)
        return HTLEFT;
    if (y <= 4)
        return HTTOP;
    if (x > cw - 5)
        return HTRIGHT;
    if (y > ch - 5)
        return HTBOTTOM;
    return previous;
}

int TitleBarHitTest(const QPoint& cursor, int formClientWidth, bool sizeable, bool maximized,
                    int previous)
{
    if (maximized || !sizeable || cursor.y() > 4)
        return previous;
    if (cursor.x() <= 4)
        return HTTOPLEFT;
    if (cursor.x() > formClientWidth - 5)
        return HTTOPRIGHT;
    return HTTOP;
}

Qt::Edges HitTestEdges(int code)
{
    switch (code) {
    case HTLEFT: return Qt::LeftEdge;
    case HTRIGHT: return Qt::RightEdge;
    case HTTOP: return Qt::TopEdge;
    case HTBOTTOM: return Qt::BottomEdge;
    case HTTOPLEFT: return Qt::TopEdge | Qt::LeftEdge;
    case HTTOPRIGHT: return Qt::TopEdge | Qt::RightEdge;
    case HTBOTTOMLEFT: return Qt::BottomEdge | Qt::LeftEdge;
    case HTBOTTOMRIGHT: return Qt::BottomEdge | Qt::RightEdge;
    default: return {};
    }
}

Qt::CursorShape HitTestCursor(int code)
{
    switch (code) {
    case HTLEFT:
    case HTRIGHT: return Qt::SizeHorCursor;
    case HTTOP:
    case HTBOTTOM: return Qt::SizeVerCursor;
    case HTTOPLEFT:
    case HTBOTTOMRIGHT: return Qt::SizeFDiagCursor;
    case HTTOPRIGHT:
    case HTBOTTOMLEFT: return Qt::SizeBDiagCursor;
    default: return Qt::ArrowCursor;
    }
}

} // namespace parvelle
