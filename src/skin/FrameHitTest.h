#pragma once
// Where a skinned frame is grabbed: the window-frame hit-test codes of the resize zones
// along a form's edges and the title bar's top edge, and what they mean to the window
// manager (edges to resize) and to the user (cursor shape).
#include <QPoint>
#include <QSize>
#include <Qt>

namespace parvelle {

enum HitTestCode : int {
    HTTRANSPARENT = -1,
    HTNOWHERE = 0,
    HTCLIENT = 1,
    HTCAPTION = 2,
    HTLEFT = 10,
    HTRIGHT = 11,
    HTTOP = 12,
    HTTOPLEFT = 13,
    HTTOPRIGHT = 14,
    HTBOTTOM = 15,
    HTBOTTOMLEFT = 16,
    HTBOTTOMRIGHT = 17,
};

// The form's resize zone under the cursor: the cursor in screen coordinates, the form's
// client area by its screen origin and size. Previous (the toolkit's own result) stands
// when the form is maximised, is not sizeable, or the cursor is in no zone.
int FormHitTest(const QPoint& cursor, const QPoint& clientOrigin, const QSize& clientSize,
                bool sizeable, bool maximized, int previous);

// The title bar's top edge: the cursor in title bar coordinates and the form's client
// width. Previous stands unless the title bar sits on a sizeable frame of a form that is
// not maximised and the cursor is on its top four rows.
int TitleBarHitTest(const QPoint& cursor, int formClientWidth, bool sizeable, bool maximized,
                    int previous);

// The window edges a resize zone moves (none for other codes) and its cursor shape.
Qt::Edges HitTestEdges(int code);
Qt::CursorShape HitTestCursor(int code);

} // namespace parvelle
