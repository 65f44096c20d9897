#pragma once
// Shared by the skinned-control tests: a form with a known background, real input events
// sent to widgets, and renders of widgets off-screen.
#include "ThemeTestSupport.h"

#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

namespace skintest {

constexpr TColor FormColor = 0x332211;   // no skin bitmap uses it

inline QImage Shot(QWidget& widget)
{
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

struct ApplicationFirst {
    ApplicationFirst() { EnsureApplication(); }
};

// Tests that measure text need the application's fonts.
class WithApplication : public ::testing::Test, private ApplicationFirst {};

// A top-level form painted in FormColor.
class TestForm : private ApplicationFirst, public QWidget {
public:
    TestForm()
    {
        QPalette palette;
        palette.setColor(QPalette::Window, parvelle::ToQColor(FormColor));
        setPalette(palette);
        setAutoFillBackground(true);
        resize(300, 200);
    }

    // Shown and active, so that focus, Tab and accelerators work.
    void activate()
    {
        show();
        activateWindow();
        QApplication::setActiveWindow(this);
        (void)QTest::qWaitForWindowActive(this);
    }
};

inline void SendMouse(QWidget& widget, QEvent::Type type, Qt::MouseButton button, QPoint at,
                      Qt::MouseButtons held)
{
    QMouseEvent event(type, QPointF(at), widget.mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

inline void Press(QWidget& widget, QPoint at, Qt::MouseButton button = Qt::LeftButton)
{
    SendMouse(widget, QEvent::MouseButtonPress, button, at, button);
}

inline void Release(QWidget& widget, QPoint at, Qt::MouseButton button = Qt::LeftButton)
{
    SendMouse(widget, QEvent::MouseButtonRelease, button, at, Qt::NoButton);
}

inline void DragTo(QWidget& widget, QPoint at)
{
    SendMouse(widget, QEvent::MouseMove, Qt::NoButton, at, Qt::LeftButton);
}

inline void Enter(QWidget& widget)
{
    QEnterEvent event(QPointF(1, 1), QPointF(1, 1), widget.mapToGlobal(QPointF(1, 1)));
    QApplication::sendEvent(&widget, &event);
}

inline void Leave(QWidget& widget)
{
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(&widget, &event);
}

} // namespace skintest
