#pragma once
// The skinned frame's mouse, in one event filter on its title bar and its form: the cursor
// over the resize zones, resizing and moving the form through the window manager (the form
// follows the pointer itself where none moves windows), and the title bar's buttons.
#include <QObject>
#include <QPoint>
#include <optional>

class QMouseEvent;

namespace parvelle {

class TsuiTitleBar;

class FrameMouse : public QObject {
public:
    // Watches the title bar, and its form's edges when the title bar is on a skinned frame.
    explicit FrameMouse(TsuiTitleBar* titleBar);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool formEvent(QEvent* event);
    bool titleBarEvent(QEvent* event);
    void emptyBarPressed(const QMouseEvent& event);
    void pointerMoved(const QMouseEvent& event);
    void startMove(const QMouseEvent& press);
    void followPointer(const QPoint& pointer);
    void cancelUngrabbedX11Move(const QPoint& pointer);
    // The resize zone of the title bar's top edge at Position (title bar coordinates).
    int topEdgeZone(const QPoint& position) const;

    TsuiTitleBar* titleBar_;
    bool dragPending_ = false;   // pressed on the empty title bar: a move may follow
    QPoint dragPointer_;         // the pointer's last place while the form follows it
    bool x11MoveRequested_ = false;   // the X window manager was asked to move the form
    std::optional<ulong> lastPress_;   // when the empty title bar was last pressed (event time)
};

} // namespace parvelle
