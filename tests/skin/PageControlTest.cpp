// Tab strip layout and drawing from the theme bitmaps, scrolling, clicks, and the page
// control's page list and events; real widgets rendered off-screen.
#include "ButtonWidgetsSupport.h"
#include "skin/Buttons.h"
#include "skin/CheckBox.h"
#include "skin/PageControl.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace parvelle;
using namespace skintest;

namespace {

// The abstract tab control with the plain strip, as a tab control of its own.
class TabControl : public TsuiTab {
public:
    explicit TabControl(QWidget* parent)
        : TsuiTab(parent)
    {
        InstallTopPanel(new TsuiTabControlTopPanel(this));
    }
};

QFont TabFont()
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    return font;
}

std::array<bool, kMaxTabs> AllVisible()
{
    std::array<bool, kMaxTabs> visible;
    visible.fill(true);
    return visible;
}

QStringList Captions(int count, const QString& caption)
{
    QStringList tabs;
    for (int i = 0; i < count; ++i)
        tabs.append(caption);
    return tabs;
}

// The image's opaque pixels (neither transparent nor magenta) are found at Origin in the shot.
::testing::AssertionResult ShowsImageAt(const QImage& shot, const QImage& image, QPoint origin, int columns)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < columns; ++x) {
            const TColor expected = PixelAt(image, x, y);
            if (expected == clSkinTransparent || qAlpha(image.pixel(x, y)) == 0)
                continue;
            if (PixelAt(shot, origin.x() + x, origin.y() + y) != expected)
                return ::testing::AssertionFailure() << "differs at " << origin.x() + x << "," << origin.y() + y;
        }
    return ::testing::AssertionSuccess();
}

class TabMeasure : public WithApplication {};
// A WinXP tab control of 200 x 80 on a shown form, and its tab strip.
class TabStripWidget : public WithApplication {
protected:
    TestForm form;
    TabControl control{&form};
    TsuiTabControlTopPanel* strip = control.TopPanel();

    TabStripWidget()
    {
        control.SetUIStyle(WinXP);
        control.setGeometry(0, 0, 200, 80);
        form.show();
    }
};

// The main window's page control: 679 x 390, WinXP, five pages.
class MainPageControl : public ::testing::Test {
protected:
    TestForm form;
    TsuiPageControl control{&form};
    QList<TsuiTabSheet*> pages;

    MainPageControl()
    {
        control.SetUIStyle(WinXP);
        control.setFont(TabFont());
        control.setGeometry(0, 0, 679, 390);
        for (const char* caption : {"About Parvelle", "ARPCache List", "Other Programs", "Help", "Undo"}) {
            auto* page = new TsuiTabSheet(&control);
            page->SetCaption(QString::fromLatin1(caption));
            pages.append(page);
        }
        control.SetActivePage(pages[1]);
        form.show();   // resize events arrive at once
    }
};

} // namespace

TEST_F(TabMeasure, EmptyCaptionIs80WideAndACaptionItsTextPlus20)
{
    std::array<int, kMaxTabs> widths;
    widths.fill(-1);
    const TabStripGeometry geometry{600, 10, 18, 18};
    const QStringList tabs{QString(), QStringLiteral("i"), QStringLiteral("Hidden"), QStringLiteral("Help")};
    auto visible = AllVisible();
    visible[2] = false;
    const TabLayout layout = LayoutTabs(tabs, visible, 0, 0, geometry, TabFont(), widths);
    const QFontMetrics metrics(TabFont());
    EXPECT_EQ(widths[0], 80);
    EXPECT_EQ(widths[1], std::max(metrics.horizontalAdvance(QStringLiteral("i")) + 20, 15));
    EXPECT_GE(widths[1], 15);
    EXPECT_EQ(widths[2], 0);
    EXPECT_EQ(widths[3], metrics.horizontalAdvance(QStringLiteral("Help")) + 20);
    EXPECT_EQ(widths[4], -1) << "never measured";
    ASSERT_EQ(layout.cells.size(), 3);
    EXPECT_EQ(layout.cells[0].rect, RectLTRB(10, 1, 90, 19)) << "the active tab a pixel lower";
    EXPECT_EQ(layout.cells[1].rect, RectLTRB(90, 0, 90 + widths[1], 18));
    EXPECT_EQ(layout.cells[2].index, 3);
    EXPECT_EQ(layout.cells[2].rect.left(), 90 + widths[1]) << "a hidden tab takes no room";
    EXPECT_FALSE(layout.overflow);
    EXPECT_EQ(layout.lastWhole, 3);
}

TEST_F(TabMeasure, TabCrossingTheRoomIsCutAndEndsTheStrip)
{
    std::array<int, kMaxTabs> widths;
    widths.fill(-1);
    // 200 wide, scroll buttons 18: room up to 200 - 36 - 2 = 162 (the last tab: 190).
    const TabLayout layout = LayoutTabs(Captions(5, QString()), AllVisible(), 0, 0, TabStripGeometry{200, 10, 18, 18},
                                        TabFont(), widths);
    ASSERT_EQ(layout.cells.size(), 2);
    EXPECT_EQ(layout.cells[1].rect, RectLTRB(90, 0, 162, 18));
    EXPECT_TRUE(layout.cells[1].cut);
    EXPECT_EQ(widths[1], 72) << "an inactive cut tab keeps its cut width";
    EXPECT_EQ(widths[2], -1);
    EXPECT_EQ(layout.lastWhole, 0);
    EXPECT_TRUE(layout.overflow);

    // Scrolled by two: tabs 2, 3 and the last one (which may reach 190) fit.
    const TabLayout scrolled = LayoutTabs(Captions(4, QString()), AllVisible(), 0, 2, TabStripGeometry{200, 10, 18, 18},
                                          TabFont(), widths);
    EXPECT_EQ(scrolled.cells.size(), 2);
    EXPECT_EQ(scrolled.cells[1].rect, RectLTRB(90, 0, 170, 18));
    EXPECT_FALSE(scrolled.overflow);
}

TEST_F(MainPageControl, PagesFillTheFramedAreaBelowTheStrip)
{
    EXPECT_EQ(control.TopPanel()->height(), 19) << "an 18-pixel tab and a 1-pixel line";
    for (TsuiTabSheet* page : pages)
        EXPECT_EQ(page->geometry(), QRect(3, 22, 673, 365));
    EXPECT_EQ(control.Color(), clWhite) << "the WinXP control is white";
    EXPECT_EQ(control.BorderColor(), 0x686868u);
    EXPECT_EQ(pages[0]->Color(), clWhite);
    EXPECT_EQ(control.ActivePage(), pages[1]);
    EXPECT_TRUE(pages[1]->isEnabled());
    EXPECT_FALSE(pages[0]->isEnabled()) << "inactive pages stay behind, disabled";

    const QImage shot = Shot(control);
    EXPECT_EQ(PixelAt(shot, 0, 200), 0x686868u);
    EXPECT_EQ(PixelAt(shot, 678, 200), 0x686868u);
    EXPECT_EQ(PixelAt(shot, 300, 389), 0x686868u);
    EXPECT_EQ(PixelAt(shot, 2, 200), clWhite) << "the 3-pixel inset shows the control's colour";
}

TEST_F(MainPageControl, AllFiveTabsFitWithoutScrollButtonsAndTheActiveOneIsLower)
{
    TsuiTabControlTopPanel* strip = control.TopPanel();
    strip->UpdateLayout();
    EXPECT_FALSE(strip->Overflow());
    ASSERT_EQ(strip->Layout().cells.size(), 5);
    const QImage shot = Shot(*strip);
    TabStripTheme theme = LoadTabStripTheme(nullptr, WinXP);
    const QRect active = strip->Layout().cells[1].rect;
    const QRect inactive = strip->Layout().cells[0].rect;
    EXPECT_EQ(active.top(), 1);
    EXPECT_EQ(inactive.top(), 0);
    EXPECT_TRUE(ShowsImageAt(shot, theme.activeTab, active.topLeft(), theme.activeTab.width() / 3));
    EXPECT_TRUE(ShowsImageAt(shot, theme.inactiveTab, inactive.topLeft(), theme.inactiveTab.width() / 3));
    // No scroll button at the right end: the line and the border only.
    const QRect next = NextScrollButtonRect(strip->size(), strip->ScrollButtonSize());
    EXPECT_FALSE(ShowsImageAt(shot, theme.scrollButtons[0], next.topLeft(), next.width()));
}

TEST_F(TabStripWidget, OverflowingTabsShowScrollButtonsThatScrollWithinBounds)
{
    strip->SetTabs(Captions(5, QString()));
    strip->UpdateLayout();
    ASSERT_TRUE(strip->Overflow());
    const TabStripTheme theme = LoadTabStripTheme(nullptr, WinXP);
    const QRect next = NextScrollButtonRect(strip->size(), strip->ScrollButtonSize());
    const QRect previous = PreviousScrollButtonRect(strip->size(), strip->ScrollButtonSize());
    EXPECT_EQ(next.topLeft(), QPoint(180, 0));
    EXPECT_EQ(previous.topLeft(), QPoint(162, 0));
    const QImage shot = Shot(*strip);
    EXPECT_TRUE(ShowsImageAt(shot, AutoTransparent(theme.scrollButtons[0]), next.topLeft(), 18));
    EXPECT_TRUE(ShowsImageAt(shot, AutoTransparent(theme.scrollButtons[2]), previous.topLeft(), 18));

    SendMouse(*strip, QEvent::MouseMove, Qt::NoButton, next.center(), Qt::NoButton);
    EXPECT_TRUE(ShowsImageAt(Shot(*strip), AutoTransparent(theme.scrollButtons[1]), next.topLeft(), 18))
        << "hot under the pointer";
    EXPECT_TRUE(ShowsImageAt(Shot(*strip), AutoTransparent(theme.scrollButtons[2]), previous.topLeft(), 18));

    Press(*strip, previous.center());
    EXPECT_EQ(strip->FirstShownTab(), 0) << "never below 0";
    for (int i = 0; i < 10; ++i)
        Press(*strip, next.center());
    EXPECT_EQ(strip->FirstShownTab(), 3) << "next only while the tabs overflow";
    EXPECT_EQ(strip->TabIndex(), 0) << "scrolling selects nothing";
    Press(*strip, previous.center());
    EXPECT_EQ(strip->FirstShownTab(), 2);
}

TEST_F(TabStripWidget, SelectingATabBeyondTheStripScrollsUntilItIsWhole)
{
    strip->SetTabs(Captions(6, QString()));
    strip->SetTabIndex(4);
    strip->UpdateLayout();
    EXPECT_EQ(strip->FirstShownTab(), 4) << "tab 4 is whole only when drawn first (10..90)";
    EXPECT_GE(strip->Layout().lastWhole, 4);
    strip->SetTabs(Captions(2, QString()));
    strip->UpdateLayout();
    EXPECT_EQ(strip->FirstShownTab(), 1) << "fewer tabs: not scrolled past the last";
    EXPECT_EQ(strip->Layout().cells.size(), 1);
}

TEST_F(TabStripWidget, AClickHitsTheTabDrawnThereWhenTabsBeforeAreHiddenAndScrolled)
{
    strip->SetTabs(Captions(5, QString()));
    strip->SetTabVisible(0, false);
    strip->UpdateLayout();
    Press(*strip, NextScrollButtonRect(strip->size(), strip->ScrollButtonSize()).center());
    strip->UpdateLayout();
    ASSERT_EQ(strip->Layout().cells.first().index, 2) << "the first shown visible tab is tab 2";
    Press(*strip, QPoint(50, 9));
    EXPECT_EQ(strip->TabIndex(), 2);
}

TEST_F(TabStripWidget, CutTabCaptionIsLeftAligned)
{
    QFont sharp(QStringLiteral("Liberation Sans"));
    sharp.setPixelSize(12);
    sharp.setStyleStrategy(QFont::NoAntialias);
    control.setFont(sharp);
    strip->SetTabs({QString(), QStringLiteral("WWWWWWWWWW")});
    strip->UpdateLayout();
    ASSERT_TRUE(strip->Layout().cells[1].cut);
    const QImage shot = Shot(*strip);
    // The first black text pixel right of the tab's left end piece (9 pixels).
    int firstInk = 200;
    for (int x = 99; x < 162 && firstInk == 200; ++x)
        for (int y = 2; y < 16; ++y)
            if (PixelAt(shot, x, y) == clBlack) {
                firstInk = x;
                break;
            }
    EXPECT_GE(firstInk, 100) << "10 pixels in from the tab's left edge";
    EXPECT_LE(firstInk, 102);
}

TEST_F(TabStripWidget, HoldsSixtyFourTabsAndTheLastCannotBeClicked)
{
    control.setFont(TabFont());
    control.setGeometry(0, 0, 3000, 80);
    strip->SetTabs(Captions(70, QStringLiteral("x")));
    EXPECT_EQ(strip->Tabs().size(), kMaxTabs);
    strip->UpdateLayout();
    ASSERT_EQ(strip->Layout().cells.size(), kMaxTabs) << "all drawn";
    EXPECT_EQ(strip->TabWidth(63), -1);

    const QRect tab62 = strip->Layout().cells[62].rect;
    const QRect tab63 = strip->Layout().cells[63].rect;
    Press(*strip, tab63.center());
    EXPECT_EQ(strip->TabIndex(), 0);
    Press(*strip, tab62.center());
    EXPECT_EQ(strip->TabIndex(), 62);
}

TEST_F(MainPageControl, ClickingTheActiveTabChangesNothingAndARefusalKeepsThePage)
{
    TsuiTabControlTopPanel* strip = control.TopPanel();
    strip->UpdateLayout();
    QSignalSpy changes(&control, &TsuiTab::OnChange);
    int asked = 0;
    bool allow = true;
    QObject::connect(&control, &TsuiTab::OnChanging, [&](QObject*, bool& allowChange) {
        ++asked;
        allowChange = allow;
    });
    Press(*strip, strip->Layout().cells[1].rect.center());
    EXPECT_EQ(changes.count(), 0);
    EXPECT_EQ(asked, 0);

    allow = false;
    Press(*strip, strip->Layout().cells[3].rect.center());
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(changes.count(), 0);
    EXPECT_EQ(control.ActivePage(), pages[1]);
    EXPECT_EQ(strip->TabIndex(), 1);
}

TEST_F(MainPageControl, ClickingATabShowsItsPageAndTheProgramIsNeverAsked)
{
    TsuiTabControlTopPanel* strip = control.TopPanel();
    strip->UpdateLayout();
    int asked = 0;
    QObject::connect(&control, &TsuiTab::OnChanging, [&](QObject*, bool&) { ++asked; });
    QSignalSpy active(&control, &TsuiTab::OnTabActive);
    Press(*strip, strip->Layout().cells[3].rect.center());
    EXPECT_EQ(control.ActivePage(), pages[3]);
    EXPECT_EQ(asked, 1);
    ASSERT_EQ(active.count(), 1);
    EXPECT_EQ(active[0][1].toInt(), 3);
    strip->SetTabIndex(0);
    EXPECT_EQ(control.ActivePage(), pages[0]);
    EXPECT_EQ(asked, 1) << "a change by the program is not asked about";
    strip->SetTabIndex(7);
    EXPECT_EQ(strip->TabIndex(), 0) << "out of range: ignored";
}

TEST_F(MainPageControl, SettingActivePageHidesTheOldAndShowsTheNewTwice)
{
    QSignalSpy hidden(pages[1], &TsuiTabSheet::OnHide);
    QSignalSpy shown(pages[4], &TsuiTabSheet::OnShow);
    QSignalSpy active(&control, &TsuiTab::OnTabActive);
    QSignalSpy changes(&control, &TsuiTab::OnChange);
    control.SetActivePage(pages[4]);
    EXPECT_EQ(hidden.count(), 1);
    EXPECT_EQ(active.count(), 1);
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(shown.count(), 2);
    EXPECT_EQ(control.TopPanel()->TabIndex(), 4);
    EXPECT_FALSE(pages[1]->isEnabled());
    EXPECT_FALSE(pages[1]->isHidden()) << "disabled, not hidden";
}

TEST_F(MainPageControl, HidingTheActiveTabActivatesTheNearestVisiblePageBeforeElseAfter)
{
    pages[0]->SetTabVisible(false);
    EXPECT_EQ(control.ActivePage(), pages[1]);
    pages[1]->SetTabVisible(false);
    EXPECT_EQ(control.ActivePage(), pages[2]) << "none before is shown";
    control.SetActivePage(pages[4]);
    pages[3]->SetTabVisible(false);
    pages[4]->SetTabVisible(false);
    EXPECT_EQ(control.ActivePage(), pages[2]);
    EXPECT_FALSE(control.TopPanel()->TabVisible(4));
    control.TopPanel()->UpdateLayout();
    EXPECT_EQ(control.TopPanel()->TabWidth(4), 0);
}

TEST_F(MainPageControl, RemovingAPageActivatesTheOneBeforeAndTheFirstLeavesNone)
{
    pages[2]->SetTabVisible(false);
    control.SetActivePage(pages[3]);
    delete pages[3];
    pages.removeAt(3);
    EXPECT_EQ(control.PageCount(), 4);
    EXPECT_EQ(control.ActivePage(), pages[2]);
    EXPECT_EQ(control.TopPanel()->Tabs(),
              (QStringList{QStringLiteral("About Parvelle"), QStringLiteral("ARPCache List"),
                           QStringLiteral("Other Programs"), QStringLiteral("Undo")}));
    EXPECT_EQ(pages[3]->PageIndex(), 3);
    EXPECT_FALSE(control.TopPanel()->TabVisible(2)) << "the hidden tab's flag moves with it";
    EXPECT_TRUE(control.TopPanel()->TabVisible(3));

    control.SetActivePage(pages[0]);
    pages[0]->SetPageControl(nullptr);
    EXPECT_EQ(control.ActivePage(), nullptr);
    EXPECT_EQ(control.PageCount(), 3);
}

TEST_F(MainPageControl, PageIndexMovesThePageAndItsTab)
{
    pages[4]->SetPageIndex(0);
    EXPECT_EQ(control.Page(0), pages[4]);
    EXPECT_EQ(control.TopPanel()->Tabs().first(), QStringLiteral("Undo"));
    EXPECT_EQ(control.ActivePage(), pages[4]);
    pages[4]->SetPageIndex(9);
    EXPECT_EQ(pages[4]->PageIndex(), 0) << "out of range: ignored";
    pages[2]->SetCaption(QStringLiteral("Renamed"));
    EXPECT_EQ(control.TopPanel()->Tabs()[3], QStringLiteral("Renamed"));
}

TEST_F(MainPageControl, StyleReachesThePagesChildren)
{
    TsuiButton button(pages[2]);
    TsuiCheckBox box(pages[2]);
    control.SetUIStyle(MacOS);
    EXPECT_EQ(button.UIStyle(), MacOS);
    EXPECT_EQ(box.UIStyle(), MacOS);
    EXPECT_EQ(control.Color(), 0xE7E7E7u);
    EXPECT_EQ(pages[2]->Color(), 0xE7E7E7u);
    EXPECT_EQ(pages[2]->BorderColor(), 0x7F7F7Fu);
}
