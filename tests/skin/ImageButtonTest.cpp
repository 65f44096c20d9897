// TsuiImageButton and the push-button behaviour it shares with TsuiButton: real widgets
// driven by real events, rendered off-screen, auto-repeat on a manual clock.
#include "ButtonWidgetsSupport.h"
#include "ManualClock.h"
#include "skin/Buttons.h"

#include <QDialog>
#include <QLineEdit>
#include <QPainter>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace parvelle;
using namespace skintest;

namespace {

constexpr TColor Key = 0xFF0000;     // the pictures' top-left (transparent) colour
constexpr TColor Red = 0x0000FF;
constexpr TColor Green = 0x00FF00;
constexpr TColor Yellow = 0x00FFFF;
constexpr TColor Grey = 0x777777;

// 10 x 10 in one colour, with the key colour at the top-left corner and in the middle.
QImage Picture(TColor color, QSize size = QSize(10, 10))
{
    QImage image = FilledImage(size.width(), size.height(), color);
    image.setPixel(0, 0, ToQColor(Key).rgb());
    image.setPixel(5, 5, ToQColor(Key).rgb());
    return image;
}

class ImageButton : public ::testing::Test {
protected:
    TestForm form;
    TsuiImageButton button{&form};

    ImageButton()
    {
        button.setGeometry(10, 10, 10, 10);
        button.SetPicNormal(Picture(Red));
        button.SetPicMouseOn(Picture(Green));
        button.SetPicMouseDown(Picture(Yellow));
    }
    TColor Face() { return PixelAt(Shot(button), 2, 2); }
};

} // namespace

TEST_F(ImageButton, EachStateShowsItsPictureWithTheTopLeftColourTransparent)
{
    const QImage normal = Shot(button);
    EXPECT_EQ(PixelAt(normal, 2, 2), Red);
    EXPECT_EQ(PixelAt(normal, 0, 0), FormColor);
    EXPECT_EQ(PixelAt(normal, 5, 5), FormColor);

    Enter(button);
    EXPECT_EQ(Face(), Green);
    Press(button, QPoint(3, 3));
    EXPECT_EQ(Face(), Yellow);
    Release(button, QPoint(3, 3));
    EXPECT_EQ(Face(), Green);
    Leave(button);
    EXPECT_EQ(Face(), Red);

    button.setEnabled(false);
    EXPECT_EQ(Face(), Red) << "no disabled picture: the normal one";
    button.SetPicDisabled(Picture(Grey));
    EXPECT_EQ(Face(), Grey);
}

TEST_F(ImageButton, MissingStatePicturesFallBackToNormalAndNoPictureDrawsNothing)
{
    TsuiImageButton bare(&form);
    bare.setGeometry(0, 0, 10, 10);
    bare.SetPicMouseDown(Picture(Yellow));
    Enter(bare);
    EXPECT_EQ(PixelAt(Shot(bare), 2, 2), FormColor);
    Press(bare, QPoint(2, 2));
    EXPECT_EQ(PixelAt(Shot(bare), 2, 2), Yellow);
    bare.SetPicNormal(Picture(Red));
    Release(bare, QPoint(2, 2));
    EXPECT_EQ(PixelAt(Shot(bare), 2, 2), Red) << "mouse over without its own picture";
}

TEST_F(ImageButton, StretchScalesThePictureAndAutoSizeTakesItsSize)
{
    button.resize(20, 20);
    QImage shot = Shot(button);
    EXPECT_EQ(PixelAt(shot, 4, 4), Red);
    EXPECT_EQ(PixelAt(shot, 15, 15), FormColor) << "natural size";
    EXPECT_EQ(PixelAt(shot, 11, 11), FormColor) << "the key pixel (5, 5) stays 1 x 1";
    button.SetStretch(true);
    shot = Shot(button);
    EXPECT_EQ(PixelAt(shot, 15, 15), Red);
    EXPECT_EQ(PixelAt(shot, 11, 11), FormColor) << "the key pixel (5, 5) stretched to (10..11)";

    button.SetAutoSize(true);
    EXPECT_EQ(button.size(), QSize(10, 10));
    button.SetPicNormal(Picture(Red, QSize(7, 12)));
    EXPECT_EQ(button.size(), QSize(7, 12));

    TsuiImageButton orphan;   // no parent: AutoSize waits
    orphan.SetAutoSize(true);
    orphan.SetPicNormal(Picture(Red, QSize(7, 12)));
    EXPECT_EQ(orphan.size(), QSize(80, 27));
}

TEST_F(ImageButton, StyleReadsFromThemeFileWhateverIsWritten)
{
    button.SetUIStyle(WinXP);
    EXPECT_EQ(button.UIStyle(), FromThemeFile);
    EXPECT_EQ(GetPublishedProperty(&button, QStringLiteral("UIStyle")).value<TsuiUIStyle>(), FromThemeFile);
}

TEST_F(ImageButton, FocusRectangleOnlyWithDrawFocused)
{
    ButtonLook look;
    look.size = QSize(12, 12);
    look.focused = true;
    look.focusedRectMargin = 2;
    auto render = [&](FocusLook focus) {
        QImage canvas = FilledImage(12, 12, clWhite);
        QPainter painter(&canvas);
        look.focus = focus;
        PaintImageButton(painter, look, ImageButtonLook{});
        return canvas;
    };
    const QImage plain = render(FocusLook::None);
    const QImage focused = render(FocusLook::DottedRect);
    EXPECT_EQ(plain, FilledImage(12, 12, clWhite));
    // Dotted: every other pixel of the outline (2, 2)..(9, 9) inverted, nothing else.
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x) {
            const bool outline = (x == 2 || x == 9 || y == 2 || y == 9) && x >= 2 && x <= 9 && y >= 2 && y <= 9;
            const TColor expected = outline && (x + y) % 2 == 0 ? clBlack : clWhite;
            ASSERT_EQ(PixelAt(focused, x, y), expected) << x << "," << y;
        }

    TsuiImageButton widget;
    EXPECT_EQ(widget.DrawFocused(), false);
}

// --- Behaviour shared by every push button -------------------------------------------

TEST_F(ImageButton, HeldLeftButtonRepeatsEveryIntervalUntilReleaseOrLeave)
{
    ManualClock clock;
    button.SetRepeatClock(&clock);
    QSignalSpy ticks(&button, &TsuiCustomButton::OnMouseContinuouslyDown);
    Enter(button);
    Press(button, QPoint(3, 3));
    clock.advance(99);
    EXPECT_EQ(ticks.count(), 0);
    clock.advance(1);
    EXPECT_EQ(ticks.count(), 1) << "first tick one interval after the press";
    clock.advance(250);
    EXPECT_EQ(ticks.count(), 3);
    Press(button, QPoint(3, 3));   // a second press while it runs starts no second timer
    EXPECT_EQ(clock.started(), 1);
    Release(button, QPoint(3, 3));
    EXPECT_EQ(clock.running(), 0);
    clock.advance(500);
    EXPECT_EQ(ticks.count(), 3);

    Press(button, QPoint(3, 3));
    clock.advance(100);
    Leave(button);
    clock.advance(500);
    EXPECT_EQ(ticks.count(), 4) << "leaving ends auto-repeat";

    button.SetMouseContinuouslyDownInterval(-5);
    Press(button, QPoint(3, 3));
    EXPECT_EQ(clock.lastInterval(), 0) << "a negative interval counts as 0";
}

TEST_F(ImageButton, RightPressChangesNothingButIsReported)
{
    ManualClock clock;
    button.SetRepeatClock(&clock);
    QSignalSpy downs(&button, &TsuiCustomButton::OnMouseDown);
    QSignalSpy clicks(&button, &TsuiCustomButton::OnClick);
    Press(button, QPoint(3, 3), Qt::RightButton);
    EXPECT_EQ(downs.count(), 1);
    EXPECT_EQ(Face(), Red);
    EXPECT_EQ(clock.started(), 0);
    Release(button, QPoint(3, 3), Qt::RightButton);
    EXPECT_EQ(clicks.count(), 0);
}

TEST_F(ImageButton, ReleaseOutsideGivesNoClickAndTheFaceTurnsNormalOnLeaving)
{
    ManualClock clock;
    button.SetRepeatClock(&clock);
    QSignalSpy clicks(&button, &TsuiCustomButton::OnClick);
    Enter(button);
    Press(button, QPoint(3, 3));
    DragTo(button, QPoint(10, 10));   // on the far edge still counts as inside
    EXPECT_EQ(Face(), Yellow);
    DragTo(button, QPoint(11, 3));
    EXPECT_EQ(Face(), Red);
    EXPECT_FALSE(button.State().mouseOver());
    Release(button, QPoint(11, 3));
    EXPECT_EQ(clicks.count(), 0);
    EXPECT_EQ(clock.running(), 0) << "the release ends auto-repeat";

    Press(button, QPoint(3, 3));
    Release(button, QPoint(4, 4));
    EXPECT_EQ(clicks.count(), 1);
    Release(button, QPoint(4, 4));
    EXPECT_EQ(clicks.count(), 1) << "a release without its press";
}

TEST_F(ImageButton, DoubleClickClicksTwice)
{
    QSignalSpy clicks(&button, &TsuiCustomButton::OnClick);
    Press(button, QPoint(3, 3));
    Release(button, QPoint(3, 3));
    SendMouse(button, QEvent::MouseButtonDblClick, Qt::LeftButton, QPoint(3, 3), Qt::LeftButton);
    Release(button, QPoint(3, 3));
    EXPECT_EQ(clicks.count(), 2);
}

TEST_F(ImageButton, ModalResultClosesTheDialogAfterTheClick)
{
    QDialog dialog;
    TsuiImageButton ok(&dialog);
    ok.SetModalResult(QDialog::Accepted);
    bool openDuringClick = false;
    QObject::connect(&ok, &TsuiCustomButton::OnClick, [&] { openDuringClick = dialog.isVisible(); });
    dialog.show();
    ok.Click();
    EXPECT_TRUE(openDuringClick);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}
