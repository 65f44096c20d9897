// TsuiScrollBar and its track: layout from the WinXP images, thumb length, range and
// position rules, page and arrow repeat on a manual clock, thumb dragging, keys, painting.
#include "ButtonWidgetsSupport.h"
#include "ManualClock.h"
#include "skin/ScrollBar.h"

#include <QKeyEvent>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace parvelle;
using namespace skintest;

namespace {

class ScrollBar : public ::testing::Test {
protected:
    TestForm form;
    TsuiScrollBar bar{&form};
    ManualClock clock;

    ScrollBar()
    {
        bar.SetUIStyle(WinXP);
        bar.SetRepeatClock(&clock);
        // Hidden widgets get their resize events only when shown.
        form.show();
        bar.setGeometry(0, 0, 200, 16);
    }
    TsuiScrollTrackBar& track() { return bar.Track(); }
    const QWidget& thumb() { return track().Thumb(); }
    void MakeVertical(int height)
    {
        bar.SetOrientation(suiVertical);
        bar.setGeometry(0, 0, 16, height);
    }
    void Key(int key)
    {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(&track(), &event);
    }
};

} // namespace

TEST_F(ScrollBar, WinXPPartsAreLaidOutFromTheTurnedArrowImages)
{
    // Arrow slices are 16 x 17 drawn for a vertical bar; turned, they are 17 wide.
    EXPECT_EQ(bar.height(), 16);
    EXPECT_EQ(bar.BackButton().geometry(), QRect(0, 0, 17, 16));
    EXPECT_EQ(bar.ForwardButton().geometry(), QRect(183, 0, 17, 16));
    EXPECT_EQ(track().geometry(), QRect(17, 0, 166, 16));

    MakeVertical(300);
    EXPECT_EQ(bar.width(), 16);
    EXPECT_EQ(bar.BackButton().geometry(), QRect(0, 0, 16, 17));
    EXPECT_EQ(bar.ForwardButton().geometry(), QRect(0, 283, 16, 17));
    // One pixel shorter than the space between the arrows.
    EXPECT_EQ(track().geometry(), QRect(0, 17, 16, 265));
}

TEST_F(ScrollBar, ThumbLengthFollowsPageSizeOrLineButton)
{
    // PageSize 2 is below 10: the thumb is 10% of the 166-pixel track.
    EXPECT_EQ(bar.PageSize(), 2);
    EXPECT_EQ(thumb().size(), QSize(16, 16));
    bar.SetPageSize(50);
    EXPECT_EQ(thumb().width(), 83);
    bar.SetPageSize(101);   // above Max: ignored, the thumb keeps its length
    EXPECT_EQ(bar.PageSize(), 50);
    EXPECT_EQ(thumb().width(), 83);

    bar.SetLineButton(5);
    EXPECT_EQ(bar.LineButton(), 18);
    EXPECT_EQ(thumb().width(), 18);
    bar.SetLineButton(167);   // longer than the space between the arrows
    EXPECT_EQ(bar.LineButton(), 18);
    bar.SetLineButton(166);
    EXPECT_EQ(thumb().width(), 166);
}

TEST_F(ScrollBar, RangeChangesClampPositionAndReportTheDelta)
{
    QSignalSpy changes(&bar, &TsuiScrollBar::OnChange);
    bar.SetPosition(80);
    ASSERT_EQ(changes.size(), 1);
    EXPECT_EQ(bar.PositionDelta(), 80);

    bar.SetMax(50);
    EXPECT_EQ(bar.Position(), 50);
    ASSERT_EQ(changes.size(), 2);
    EXPECT_EQ(bar.PositionDelta(), -30);

    bar.SetMin(70);   // above Max: becomes Max
    EXPECT_EQ(bar.Min(), 50);
    bar.SetPosition(10);
    EXPECT_EQ(bar.Position(), 50);
    EXPECT_EQ(changes.size(), 2);   // no real change, no event

    bar.SetLargeChange(-1);
    EXPECT_EQ(bar.PageSize(), 2);
}

TEST_F(ScrollBar, ThumbOriginAndPositionAtRoundHalvesToEven)
{
    bar.SetMax(10);
    bar.SetPosition(5);
    // Track 166, thumb 16: 5 x 150 / 10.
    EXPECT_EQ(thumb().pos(), QPoint(75, 0));

    bar.SetMax(1);
    bar.SetPosition(0);
    // Free length 150, range 1: a pointer 75 past the thumb's half is exactly half way.
    EXPECT_EQ(track().PositionAt(QPoint(8 + 75, 5)), 0);
    EXPECT_EQ(track().PositionAt(QPoint(8 + 76, 5)), 1);
    bar.SetMax(3);
    EXPECT_EQ(track().PositionAt(QPoint(8 + 125, 5)), 2);   // 2.5 rounds down to 2
    EXPECT_EQ(track().PositionAt(QPoint(8 + 25, 5)), 0);    // 0.5 rounds down to 0
    EXPECT_EQ(track().PositionAt(QPoint(8 + 75, 5)), 2);    // 1.5 rounds up to 2
}

TEST_F(ScrollBar, PressesOnAnEmptyRangeLeaveThePositionAlone)
{
    bar.SetMax(0);
    EXPECT_EQ(thumb().pos().x(), 0);
    QSignalSpy changes(&bar, &TsuiScrollBar::OnChange);
    Press(track(), QPoint(100, 8));
    clock.advance(500);
    Release(track(), QPoint(100, 8));
    EXPECT_EQ(bar.Position(), 0);
    EXPECT_TRUE(changes.isEmpty());
}

TEST_F(ScrollBar, HeldTrackPagesOnceThenThreePagesPerTickHorizontally)
{
    bar.SetPageSize(5);
    Press(track(), QPoint(160, 8));
    EXPECT_EQ(bar.Position(), 5);
    clock.advance(100);
    EXPECT_EQ(bar.Position(), 20);
    clock.advance(100);
    EXPECT_EQ(bar.Position(), 35);
    Release(track(), QPoint(160, 8));
    EXPECT_FALSE(track().PageRepeating());
    clock.advance(300);
    EXPECT_EQ(bar.Position(), 35);

    // Towards the start, never past the pointer.
    Press(track(), QPoint(10, 8));
    EXPECT_EQ(bar.Position(), 30);
    clock.advance(1000);
    EXPECT_EQ(bar.Position(), track().PositionAt(QPoint(10, 8)));
    Release(track(), QPoint(10, 8));
}

TEST_F(ScrollBar, HeldVerticalTrackPagesOncePerTick)
{
    MakeVertical(300);
    bar.SetPageSize(5);
    Press(track(), QPoint(8, 200));
    EXPECT_EQ(bar.Position(), 5);
    clock.advance(200);
    EXPECT_EQ(bar.Position(), 15);
    // Leaving the track stops the repeat.
    DragTo(track(), QPoint(40, 200));
    clock.advance(200);
    EXPECT_EQ(bar.Position(), 15);
    Release(track(), QPoint(40, 200));
}

TEST_F(ScrollBar, ArrowsStepBySmallChangeOnlyWhileHeld)
{
    bar.SetSmallChange(3);
    Press(bar.ForwardButton(), QPoint(5, 5));
    clock.advance(50);
    Release(bar.ForwardButton(), QPoint(5, 5));
    EXPECT_EQ(bar.Position(), 0);

    Press(bar.ForwardButton(), QPoint(5, 5));
    clock.advance(300);
    Release(bar.ForwardButton(), QPoint(5, 5));
    EXPECT_EQ(bar.Position(), 9);

    Press(bar.BackButton(), QPoint(5, 5));
    clock.advance(1000);
    Release(bar.BackButton(), QPoint(5, 5));
    EXPECT_EQ(bar.Position(), 0);
}

TEST_F(ScrollBar, DraggedThumbFollowsThePointerAndPinsAtTheEnds)
{
    QSignalSpy changes(&bar, &TsuiScrollBar::OnChange);
    Press(track(), QPoint(8, 8));   // on the thumb
    EXPECT_TRUE(track().Dragging());
    DragTo(track(), QPoint(8 + 75, 8));
    EXPECT_EQ(bar.Position(), 50);
    EXPECT_EQ(thumb().pos().x(), 75);
    DragTo(track(), QPoint(400, 8));
    EXPECT_EQ(bar.Position(), 100);
    const qsizetype atEnd = changes.size();
    DragTo(track(), QPoint(600, 8));
    EXPECT_EQ(changes.size(), atEnd);
    DragTo(track(), QPoint(-300, 8));
    EXPECT_EQ(bar.Position(), 0);
    EXPECT_EQ(bar.PositionDelta(), -100);
    DragTo(track(), QPoint(-400, 8));
    EXPECT_EQ(changes.size(), atEnd + 1);
    Release(track(), QPoint(-400, 8));
    EXPECT_FALSE(track().Dragging());
}

TEST_F(ScrollBar, KeysMoveByLinePageAndToTheEnds)
{
    bar.SetPageSize(10);
    Key(Qt::Key_End);
    EXPECT_EQ(bar.Position(), 100);
    Key(Qt::Key_PageUp);
    EXPECT_EQ(bar.Position(), 90);
    Key(Qt::Key_Left);
    Key(Qt::Key_Up);
    EXPECT_EQ(bar.Position(), 88);
    Key(Qt::Key_Home);
    Key(Qt::Key_Up);
    EXPECT_EQ(bar.Position(), 0);
    Key(Qt::Key_PageDown);
    Key(Qt::Key_Down);
    EXPECT_EQ(bar.Position(), 11);
}

TEST_F(ScrollBar, PaintsTheTrackColourAndTheThemeThumb)
{
    MakeVertical(200);
    QImage pieces;
    LoadBuiltInThemeBitmap(WinXP, ThemeItem::ScrollBarSliderImage, pieces, 2, 3);
    RotateBitmapRight(pieces);
    const QImage shot = Shot(bar);
    EXPECT_EQ(PixelAt(shot, 8, 150), 0xF9F9F9u);
    // The middle piece stretched along the thumb (rows 17 + 7 onwards).
    const int thumbMiddle = 17 + thumb().height() / 2;
    for (int x = 0; x < 16; ++x)
        EXPECT_EQ(PixelAt(shot, x, thumbMiddle), PixelAt(pieces, x, 3)) << x;
}

TEST_F(ScrollBar, ZeroSizedBarHidesItself)
{
    ASSERT_TRUE(bar.isVisible());
    bar.resize(0, 16);
    EXPECT_FALSE(bar.isVisible());
}
