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

class TsuiFrameMouse : public QObject {
public:
    // Watches the title bar, and its form's edges when the title bar is on a skinned frame.
    explicit TsuiFrameMouse(TsuiTitleBar* titleBar);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool FormEvent(QEvent* event);
    bool TitleBarEvent(QEvent* event);
    void Press(const QMouseEvent& event);
    void Move(const QMouseEvent& event);
    void StartMove(const QPoint& pointer);
    void FollowPointer(const QPoint& pointer);
    // The resize zone of the title bar's top edge at Position (title bar coordinates).
    int TopEdgeZone(const QPoint& position) const;

    TsuiTitleBar* titleBar_;
    bool dragPending_ = false;   // pressed on the empty title bar: a move may follow
    QPoint dragPointer_;         // the pointer's last place while the form follows it
    std::optional<ulong> lastPress_;   // when the empty title bar was last pressed (event time)
};

} // namespace parvelle
