// The menu bar a skinned frame builds from a skinned main menu.
#include "skin/FormFrame.h"
#include "ThemeTestSupport.h"

#include <QCursor>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace parvelle;
using skintest::PixelAt;

namespace {

class MenuBarTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QCursor::setPos(-5000, -5000);
        form.setGeometry(100, 80, 400, 300);
        frame = new TsuiForm(&form);
        frame->SetUIStyle(WinXP);
        menu = new TsuiMainMenu(&form);   // attaches itself to the form's frame
        file = menu->addMenu("&File");
        open = file->addAction("Open");
        open->setShortcut(QKeySequence("Ctrl+O"));
        menu->addMenu("&Edit");
    }

    QList<QToolButton*> Buttons() const
    {
        QList<QToolButton*> buttons = frame->MenuBar()->findChildren<QToolButton*>();
        std::sort(buttons.begin(), buttons.end(), [](auto* a, auto* b) { return a->x() < b->x(); });
        return buttons;
    }

    QImage Shot(QWidget* widget) const { return widget->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    struct Application {
        Application() { skintest::EnsureApplication(); }
    } application;   // before the form
    QWidget form;
    TsuiForm* frame = nullptr;
    TsuiMainMenu* menu = nullptr;
    QMenu* file = nullptr;
    QAction* open = nullptr;
};

} // namespace

TEST_F(MenuBarTest, ButtonsFollowTheTopLevelItemsBelowTheTitleBar)
{
    ASSERT_EQ(frame->Menu(), menu);
    EXPECT_EQ(menu->Form(), frame);
    QWidget* bar = frame->MenuBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->geometry(), QRect(0, 29, frame->width(), 22));
    form.show();
    QList<QToolButton*> buttons = Buttons();
    ASSERT_EQ(buttons.size(), 2);
    EXPECT_EQ(buttons[0]->text(), "&File");
    EXPECT_EQ(buttons[1]->text(), "&Edit");

    menu->actions().at(1)->setEnabled(false);
    EXPECT_FALSE(Buttons()[1]->isEnabled());
    menu->addMenu("&Help");
    EXPECT_EQ(Buttons().size(), 3);
    frame->SetMenuBarHeight(30);
    EXPECT_EQ(bar->height(), 30);
}

TEST_F(MenuBarTest, WinXPBarAndHotButtonColours)
{
    form.show();
    frame->SetMenuBarColor(0x00FFFF);
    QWidget* bar = frame->MenuBar();
    QToolButton* button = Buttons()[0];
    const QRect r = button->geometry();
    EXPECT_EQ(PixelAt(Shot(bar), r.right() + 40, 10), 0x00FFFFu);
    button->setAttribute(Qt::WA_UnderMouse);
    const QImage hot = Shot(button);
    EXPECT_EQ(PixelAt(hot, 0, 0), 0xC66931u);            // MenuSelectedBorderColor
    EXPECT_EQ(PixelAt(hot, 2, 2), 0xEFD3C6u);            // MenuSelectedBackgroundColor
    EXPECT_EQ(PixelAt(hot, hot.width() - 1, 5), 0xC66931u);
}

TEST_F(MenuBarTest, MacOSDrawsTheMenuBitmaps)
{
    frame->SetUIStyle(MacOS);
    form.show();
    QWidget* bar = frame->MenuBar();
    const QImage barBitmap = LoadSkinBitmap("MACOS_MENU_BAR").convertToFormat(QImage::Format_RGB32);
    const QImage shot = Shot(bar);
    EXPECT_EQ(shot.pixel(shot.width() - 5, 3), barBitmap.pixel(0, 3 * barBitmap.height() / bar->height()));
    QToolButton* button = Buttons()[0];
    button->setAttribute(Qt::WA_UnderMouse);
    const QImage select = LoadSkinBitmap("MACOS_MENU_SELECT").convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(Shot(button).pixel(1, 0), select.pixel(0, 0));
}

TEST_F(MenuBarTest, MenuShortcutsWorkOnTheFormAndTheBarGoesWithTheMenu)
{
    form.show();
    QApplication::setActiveWindow(&form);
    int opened = 0;
    QObject::connect(open, &QAction::triggered, [&] { ++opened; });
    QTest::keyClick(&form, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(opened, 1);
    open->setEnabled(false);
    QTest::keyClick(&form, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(opened, 1);

    frame->SetMenu(nullptr);
    EXPECT_EQ(frame->MenuBar(), nullptr);
    EXPECT_EQ(menu->Form(), nullptr);
    frame->SetMenu(menu);
    ASSERT_NE(frame->MenuBar(), nullptr);
    delete menu;
    EXPECT_EQ(frame->Menu(), nullptr);
    EXPECT_EQ(frame->MenuBar(), nullptr);
}
