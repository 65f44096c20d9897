#include "FrameMouse.h"

#include "FormFrame.h"
#include "FrameHitTest.h"
#include "SkinDraw.h"
#include "TitleBar.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QStyleHints>
#include <QWindow>
#include <utility>
#include <xcb/xcb.h>

namespace parvelle {

namespace {

bool IsX11()
{
    return qGuiApp->nativeInterface<QNativeInterface::QX11Application>() != nullptr;
}

enum X11MoveAction : uint32_t { X11Move = 8, X11CancelMove = 11 };

// Sends the window manager a _NET_WM_MOVERESIZE request for the form, the pointer at Pointer.
void SendX11MoveRequest(QWidget* form, QPoint pointer, X11MoveAction action)
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11)
        return;
    xcb_connection_t* connection = x11->connection();
    static const xcb_atom_t moveResize = [connection] {
        const char name[] = "_NET_WM_MOVERESIZE";
        const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(connection, 0, sizeof name - 1, name);
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
        const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        free(reply);
        return atom;
    }();
    const QPoint at = pointer * form->devicePixelRatioF();
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = xcb_window_t(form->winId());
    message.type = moveResize;
    message.data.data32[0] = uint32_t(at.x());
    message.data.data32[1] = uint32_t(at.y());
    message.data.data32[2] = action;
    message.data.data32[3] = 1;
    message.data.data32[4] = 1;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_send_event(connection, 0, root, mask, reinterpret_cast<const char*>(&message));
    xcb_flush(connection);
}

// Restarts the X window manager's move of the form from where the drag began: Qt's request
// counts from the pointer's place at the first motion, so the form would lag by it.
void AnchorX11Move(QWidget* form, QPoint pressed)
{
    SendX11MoveRequest(form, pressed, X11CancelMove);
    SendX11MoveRequest(form, pressed, X11Move);
}

const QMouseEvent& Mouse(const QEvent* event)
{
    return *static_cast<const QMouseEvent*>(event);
}

// Has the window system move (no Edges) or resize the form from Press; false where it cannot.
bool StartSystemMoveResize(QWidget* form, Qt::Edges edges, const QMouseEvent& press)
{
    QWindow* window = form->windowHandle();
    if (!window || !(edges ? window->startSystemResize(edges) : window->startSystemMove()))
        return false;
    // A compositor keeps the button's release: the press ends here, or the widget pressed
    // would go on taking every mouse event until the next click.
    if (CompositorPlacesWindows())
        QCoreApplication::postEvent(window, new QMouseEvent(QEvent::MouseButtonRelease, press.scenePosition(),
                                                            press.scenePosition(), press.globalPosition(),
                                                            press.button(), press.buttons() & ~press.button(),
                                                            press.modifiers()));
    return true;
}

} // namespace

FrameMouse::FrameMouse(TsuiTitleBar* titleBar)
    : QObject(titleBar)
    , titleBar_(titleBar)
{
    titleBar->installEventFilter(this);
    if (titleBar->Frame())
        titleBar->Frame()->Form()->installEventFilter(this);
}

bool FrameMouse::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == titleBar_)
        return titleBarEvent(event);
    if (const TsuiForm* frame = titleBar_->Frame(); frame && watched == frame->Form())
        return formEvent(event);
    return false;
}

// The form's edges: the cursor shows the zone, a left press there resizes.
bool FrameMouse::formEvent(QEvent* event)
{
    const auto type = event->type();
    if (type != QEvent::MouseMove && type != QEvent::MouseButtonPress)
        return false;
    const TsuiForm* frame = titleBar_->Frame();
    QWidget* form = frame->Form();
    const QMouseEvent& mouse = Mouse(event);
    const int zone = frame->HitTest(mouse.globalPosition().toPoint());
    if (type == QEvent::MouseMove) {
        form->setCursor(HitTestCursor(zone));
        return false;
    }
    const Qt::Edges edges = HitTestEdges(zone);
    if (mouse.button() != Qt::LeftButton || !edges || !form->windowHandle())
        return false;
    StartSystemMoveResize(form, edges, mouse);
    return true;
}

bool FrameMouse::titleBarEvent(QEvent* event)
{
    const auto type = event->type();
    if (type == QEvent::Leave) {
        titleBar_->SetHotButton(-1, titleBar_->ButtonDown());
        return false;
    }
    if (type == QEvent::MouseMove) {
        pointerMoved(Mouse(event));
        return true;
    }
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease
        && type != QEvent::MouseButtonDblClick)
        return false;
    const QMouseEvent& mouse = Mouse(event);
    if (mouse.button() != Qt::LeftButton)
        return false;
    const int button = titleBar_->Arrange(titleBar_->width()).buttonAt(mouse.position().toPoint());
    switch (type) {
    case QEvent::MouseButtonPress:
        x11MoveRequested_ = false;
        titleBar_->SetHotButton(button, button >= 0);
        if (button < 0)
            emptyBarPressed(mouse);
        break;
    case QEvent::MouseButtonRelease:
        dragPending_ = false;
        cancelUngrabbedX11Move(mouse.globalPosition().toPoint());
        titleBar_->SetHotButton(button, false);
        titleBar_->ClickButton(button);
        break;
    default:
        dragPending_ = false;
        titleBar_->DoubleClickButton(button);
        break;
    }
    return true;
}

// A press on the empty title bar: its top edge resizes the form, the rest moves it. The
// second press of a double click does neither: the double click that follows maximises.
void FrameMouse::emptyBarPressed(const QMouseEvent& event)
{
    const ulong interval = QGuiApplication::styleHints()->mouseDoubleClickInterval();
    const bool secondClick = lastPress_ && event.timestamp() - *lastPress_ < interval;
    lastPress_ = event.timestamp();
    QWidget* form = titleBar_->Form();
    if (!form || form->isMaximized() || secondClick)
        return;
    const Qt::Edges edges = HitTestEdges(topEdgeZone(event.position().toPoint()));
    if (edges)
        StartSystemMoveResize(form, edges, event);
    else
        startMove(event);
}

void FrameMouse::pointerMoved(const QMouseEvent& event)
{
    const QPoint position = event.position().toPoint();
    titleBar_->setCursor(HitTestCursor(topEdgeZone(position)));
    if (dragPending_ && (event.buttons() & Qt::LeftButton))
        followPointer(event.globalPosition().toPoint());
    titleBar_->SetHotButton(titleBar_->Arrange(titleBar_->width()).buttonAt(position), titleBar_->ButtonDown());
}

// The compositor or window manager moves the form, counting the pointer's way from the
// press so that no motion is lost. Where the platform lets a program start the move at the
// press it starts there. X window managers start it at the first motion, as their pointer
// grab would take the second click of a double click, and are then told the press's place.
// Where nothing moves windows, the form follows every motion itself.
void FrameMouse::startMove(const QMouseEvent& press)
{
    if (!IsX11() && StartSystemMoveResize(titleBar_->Form(), {}, press))
        return;
    dragPending_ = true;
    dragPointer_ = press.globalPosition().toPoint();
}

void FrameMouse::followPointer(const QPoint& pointer)
{
    QWidget* form = titleBar_->Form();
    if (!form)
        return;
    if (IsX11() && form->windowHandle() && form->windowHandle()->startSystemMove()) {
        AnchorX11Move(form, dragPointer_);
        dragPending_ = false;
        x11MoveRequested_ = true;
        return;
    }
    form->move(form->pos() + pointer - dragPointer_);
    dragPointer_ = pointer;
}

// A release that reaches the form after a move was asked for came before the window
// manager grabbed the pointer: without a cancel it would move the form until the next click.
void FrameMouse::cancelUngrabbedX11Move(const QPoint& pointer)
{
    if (std::exchange(x11MoveRequested_, false))
        SendX11MoveRequest(titleBar_->Form(), pointer, X11CancelMove);
}

int FrameMouse::topEdgeZone(const QPoint& position) const
{
    const TsuiForm* frame = titleBar_->Frame();
    const QWidget* form = titleBar_->Form();
    if (!frame || !form)
        return HTCLIENT;
    return TitleBarHitTest(position, form->width(), frame->InitialSizeable(), form->isMaximized(), HTCLIENT);
}

} // namespace parvelle
