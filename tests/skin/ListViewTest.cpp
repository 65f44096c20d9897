// TsuiListView: the border ring in the theme's colours, and skinned scroll bars placed over
// the list and kept in step with it both ways.
#include "ButtonWidgetsSupport.h"
#include "skin/ListView.h"

#include <QScrollBar>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace parvelle;
using namespace skintest;

namespace {

constexpr TColor Cream = 0xF0FBFF;
constexpr TColor Red = 0x0000FF;

class ListView : public ::testing::Test {
protected:
    TestForm form;
    TsuiListView list{&form};
    TsuiScrollBar bar{&form};

    ListView()
    {
        form.resize(400, 400);
        list.setGeometry(10, 20, 200, 150);
        list.setHeaderLabels({"Name", "Size"});
        list.SetColor(Cream);
        list.SetUIStyle(WinXP);
        bar.SetUIStyle(WinXP);
        form.show();
    }
    void AddRows(int count)
    {
        for (int row = 0; row < count; ++row)
            list.addTopLevelItem(new QTreeWidgetItem({QString("row %1").arg(row), "1"}));
        QApplication::processEvents();
    }
    int TopRow() { return list.indexAt(QPoint(5, 5)).row(); }
};

} // namespace

TEST_F(ListView, BorderIsAThemeRingAroundARingOfTheListColour)
{
    EXPECT_EQ(list.contentsRect(), QRect(2, 2, 196, 146));
    const QImage shot = Shot(list);
    for (const QPoint& p : {QPoint(0, 0), QPoint(199, 0), QPoint(0, 149), QPoint(199, 149), QPoint(100, 0),
                            QPoint(0, 75), QPoint(199, 75), QPoint(100, 149)})
        EXPECT_EQ(PixelAt(shot, p.x(), p.y()), 0x686868u) << p.x() << "," << p.y();
    for (const QPoint& p : {QPoint(1, 1), QPoint(198, 1), QPoint(1, 148), QPoint(198, 148), QPoint(100, 148)})
        EXPECT_EQ(PixelAt(shot, p.x(), p.y()), Cream) << p.x() << "," << p.y();
}

TEST_F(ListView, BorderColourComesFromTheStyleUntilSetByHand)
{
    list.SetBorderColor(Red);
    EXPECT_EQ(PixelAt(Shot(list), 0, 0), Red);
    list.SetUIStyle(WinXP);
    EXPECT_EQ(list.BorderColor(), 0x686868u);
    list.SetVScrollBar(&bar);
    list.SetUIStyle(MacOS);
    EXPECT_EQ(list.BorderColor(), 0x7F7F7Fu);
    EXPECT_EQ(bar.UIStyle(), MacOS);
    EXPECT_EQ(bar.Color(), 0xC9C9C9u);
    list.SetUIStyle(Protein);
    EXPECT_EQ(list.BorderColor(), clBlack);
    list.SetFileTheme(nullptr);   // writes the style again
    EXPECT_EQ(list.BorderColor(), clBlack);
}

TEST_F(ListView, AttachedVerticalBarLiesInsideTheBorderAndFollowsTheList)
{
    AddRows(100);
    list.SetVScrollBar(&bar);
    EXPECT_EQ(bar.Orientation(), suiVertical);
    EXPECT_EQ(bar.SmallChange(), 5);
    EXPECT_EQ(bar.geometry(), QRect(10 + 200 - 16 - 2, 21, 16, 148));
    ASSERT_TRUE(bar.isVisible());
    EXPECT_EQ(bar.Max(), list.verticalScrollBar()->maximum());
    EXPECT_GE(bar.LineButton(), 18);

    list.verticalScrollBar()->setValue(10);
    EXPECT_EQ(bar.Position(), 10);
    EXPECT_EQ(TopRow(), 10);   // no feedback from the bar's own change

    list.setGeometry(30, 20, 200, 100);
    EXPECT_EQ(bar.geometry(), QRect(30 + 200 - 16 - 2, 21, 16, 98));
}

TEST_F(ListView, MovingTheSkinnedBarScrollsOneRowPerPosition)
{
    AddRows(100);
    list.SetVScrollBar(&bar);
    ASSERT_EQ(TopRow(), 0);
    bar.SetPosition(3);
    EXPECT_EQ(TopRow(), 3);
    EXPECT_EQ(list.verticalScrollBar()->value(), 3);
    bar.SetPosition(1);
    EXPECT_EQ(TopRow(), 1);
}

TEST_F(ListView, BarOfAListWithoutScrollingIsHiddenAndDisabled)
{
    AddRows(2);
    list.SetVScrollBar(&bar);
    EXPECT_FALSE(bar.isVisible());
    EXPECT_FALSE(bar.isEnabled());
    EXPECT_EQ(bar.LineButton(), 0);

    AddRows(100);
    EXPECT_TRUE(bar.isVisible());
    EXPECT_TRUE(bar.isEnabled());
}

TEST_F(ListView, NarrowListOnlyMovesItsVerticalBar)
{
    bar.SetOrientation(suiVertical);
    bar.setGeometry(300, 50, 16, 120);
    list.setGeometry(10, 20, 10, 150);
    list.SetVScrollBar(&bar);
    EXPECT_EQ(bar.geometry(), QRect(10, 50, 16, 120));
}

TEST_F(ListView, ReleasedBarIsNeutralAndNoLongerScrolls)
{
    AddRows(100);
    list.SetVScrollBar(&bar);
    list.verticalScrollBar()->setValue(20);
    list.SetVScrollBar(nullptr);
    EXPECT_EQ(bar.LineButton(), 0);
    EXPECT_EQ(bar.Max(), 100);
    EXPECT_TRUE(bar.isEnabled());
    bar.SetPosition(50);
    EXPECT_EQ(TopRow(), 20);
}

TEST_F(ListView, HorizontalBarScrollsByPixelsAndLeavesRoomForTheVerticalOne)
{
    list.setColumnWidth(0, 600);
    AddRows(100);
    TsuiScrollBar across(&form);
    list.SetVScrollBar(&bar);
    list.SetHScrollBar(&across);
    list.PlaceScrollBars();
    EXPECT_EQ(across.geometry(), QRect(11, 20 + 150 - 16 - 2, 200 - 16 - 2, 16));
    across.SetPosition(40);
    EXPECT_EQ(list.horizontalScrollBar()->value(), 40);
}

TEST_F(ListView, DestroyedBarIsForgotten)
{
    auto* gone = new TsuiScrollBar(&form);
    list.SetHScrollBar(gone);
    delete gone;
    EXPECT_EQ(list.HScrollBar(), nullptr);
    list.PlaceScrollBars();
}
