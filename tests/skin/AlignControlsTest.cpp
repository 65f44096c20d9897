// Alignment of child controls: stacking along the edges, realigning after size changes.
#include "skin/ControlAlign.h"
#include "skin/ImagePanel.h"
#include "ThemeTestSupport.h"

#include <QWidget>
#include <gtest/gtest.h>

using namespace parvelle;

namespace {

class AlignControlsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        skintest::EnsureApplication();
        parent = std::make_unique<QWidget>();
        parent->resize(200, 100);
    }

    QWidget* Child(TAlign align, QSize size)
    {
        auto* child = new QWidget(parent.get());
        child->resize(size);
        SetControlAlign(child, align);
        return child;
    }

    std::unique_ptr<QWidget> parent;
};

} // namespace

TEST_F(AlignControlsTest, EdgesAreStackedAndTheClientTakesTheRest)
{
    QWidget* client = Child(alClient, {5, 5});   // created first, placed last
    QWidget* top1 = Child(alTop, {10, 20});
    QWidget* top2 = Child(alTop, {10, 15});
    QWidget* bottom = Child(alBottom, {10, 10});
    QWidget* left = Child(alLeft, {30, 10});
    QWidget* right = Child(alRight, {25, 10});
    EXPECT_EQ(top1->geometry(), QRect(0, 0, 200, 20));
    EXPECT_EQ(top2->geometry(), QRect(0, 20, 200, 15));
    EXPECT_EQ(bottom->geometry(), QRect(0, 90, 200, 10));
    EXPECT_EQ(left->geometry(), QRect(0, 35, 30, 55));
    EXPECT_EQ(right->geometry(), QRect(175, 35, 25, 55));
    EXPECT_EQ(client->geometry(), QRect(30, 35, 145, 55));
}

TEST_F(AlignControlsTest, HiddenChildrenTakeNoRoomAndShowingOneRealigns)
{
    QWidget* top = Child(alTop, {10, 20});
    QWidget* client = Child(alClient, {5, 5});
    top->hide();
    EXPECT_EQ(client->geometry(), QRect(0, 0, 200, 100));
    top->show();
    EXPECT_EQ(client->geometry(), QRect(0, 20, 200, 80));
}

TEST_F(AlignControlsTest, ResizingTheShownParentRealignsItsChildren)
{
    QWidget* right = Child(alRight, {25, 10});
    QWidget* client = Child(alClient, {5, 5});
    parent->show();
    parent->resize(300, 60);
    EXPECT_EQ(right->geometry(), QRect(275, 0, 25, 60));
    EXPECT_EQ(client->geometry(), QRect(0, 0, 275, 60));
}

TEST_F(AlignControlsTest, TopChildrenKeepTheirOrderAlongTheEdge)
{
    QWidget* first = Child(alTop, {10, 20});
    QWidget* second = Child(alTop, {10, 15});
    second->move(0, -1);   // moved above the other: it goes first
    AlignControls(parent.get());
    EXPECT_EQ(second->geometry(), QRect(0, 0, 200, 15));
    EXPECT_EQ(first->geometry(), QRect(0, 15, 200, 20));
}

TEST_F(AlignControlsTest, AutoSizedRightPanelStaysAtTheRightEdge)
{
    auto* panel = new TsuiImagePanel(parent.get());
    panel->SetAlign(alRight);
    QWidget* client = Child(alClient, {5, 5});
    panel->SetAutoSize(true);
    panel->SetPicture(QImage(40, 10, QImage::Format_RGB32));
    EXPECT_EQ(panel->geometry(), QRect(160, 0, 40, 100));
    EXPECT_EQ(client->geometry(), QRect(0, 0, 160, 100));
}

TEST_F(AlignControlsTest, ChildMovedToAnotherParentAlignsThere)
{
    QWidget* child = Child(alClient, {5, 5});
    QWidget other;
    other.resize(70, 30);
    child->setParent(&other);
    EXPECT_EQ(child->geometry(), QRect(0, 0, 70, 30));
    child->setParent(nullptr);
    delete child;
}
