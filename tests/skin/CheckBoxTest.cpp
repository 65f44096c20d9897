// TsuiCheckBox: glyph slices, auto-size, caption, focus, and toggling by mouse, keys,
// accelerator and program; Tab through a row of skinned controls.
#include "ButtonWidgetsSupport.h"
#include "skin/Buttons.h"
#include "skin/CheckBox.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace parvelle;
using namespace skintest;

namespace {

QImage GlyphSlice(TsuiUIStyle style, int index)
{
    QImage slice;
    LoadBuiltInThemeBitmap(style, ThemeItem::CheckBoxImage, slice, index, 4);
    return slice;
}

// The glyph drawn at (1, (height - 13) / 2) equals the slice, pixel for pixel.
bool ShowsSlice(QWidget& box, int index)
{
    const QImage shot = Shot(box);
    const QImage slice = GlyphSlice(WinXP, index);
    const int top = (box.height() - slice.height()) / 2;
    for (int y = 0; y < slice.height(); ++y)
        for (int x = 0; x < slice.width(); ++x)
            if (PixelAt(shot, 1 + x, top + y) != PixelAt(slice, x, y))
                return false;
    return true;
}

QFont MainWindowFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(11);
    return font;
}

class CheckBox : public ::testing::Test {
protected:
    TestForm form;
    TsuiCheckBox box{&form};
    CheckBox() { box.SetUIStyle(WinXP); }
};

} // namespace

TEST_F(CheckBox, NewBoxIsUncheckedOpaqueAutoSizedAndReachedByTab)
{
    TsuiCheckBox fresh(&form);
    EXPECT_EQ(fresh.size(), QSize(93, 17));
    EXPECT_FALSE(fresh.Checked());
    EXPECT_FALSE(fresh.Transparent());
    EXPECT_TRUE(fresh.AutoSize());
    EXPECT_TRUE(fresh.TabStop());
    EXPECT_EQ(fresh.UIStyle(), DeepBlue);
}

TEST_F(CheckBox, AutoSizeWithTheMainWindowFontIsTwentyPixelsHigh)
{
    box.setFont(MainWindowFont());
    box.SetCaption(QStringLiteral("Check / Uncheck All"));
    // Windows' Arial has a 14-pixel line at 11 px, so the box is 20 high there; Liberation
    // Sans, its stand-in here, has a 12-pixel line, so 18.
    const QFontMetrics metrics(MainWindowFont());
    EXPECT_EQ(box.height(), std::max(metrics.height() + 2, 13) + 4);
    EXPECT_EQ(box.width(), 13 + metrics.horizontalAdvance(QStringLiteral("Check / Uncheck All")) + 8);

    box.SetCaption(QStringLiteral("&Go"));
    EXPECT_EQ(box.width(), 13 + metrics.horizontalAdvance(QStringLiteral("Go")) + 8)
        << "the accelerator's & takes no room";
    box.SetAutoSize(false);
    box.SetCaption(QStringLiteral("A much longer caption"));
    EXPECT_EQ(box.width(), 13 + metrics.horizontalAdvance(QStringLiteral("Go")) + 8);
}

TEST_F(CheckBox, GlyphSliceFollowsCheckedAndEnabled)
{
    EXPECT_TRUE(ShowsSlice(box, 2));
    box.SetChecked(true);
    EXPECT_TRUE(ShowsSlice(box, 1));
    box.setEnabled(false);
    EXPECT_TRUE(ShowsSlice(box, 3));
    box.SetChecked(false);
    EXPECT_TRUE(ShowsSlice(box, 4));
}

TEST_F(CheckBox, DisabledCaptionKeepsItsColour)
{
    box.SetCaption(QStringLiteral("HHHH"));
    box.resize(80, 20);
    const QImage enabled = Shot(box);
    box.setEnabled(false);
    const QImage disabled = Shot(box);
    for (int y = 0; y < 20; ++y)
        for (int x = 15; x < 80; ++x)
            ASSERT_EQ(enabled.pixel(x, y), disabled.pixel(x, y)) << x << "," << y;
}

TEST_F(CheckBox, EveryChangeOfCheckedSignalsOnceAndGrayedUnchecks)
{
    QSignalSpy clicks(&box, &TsuiCheckBox::OnClick);
    box.SetChecked(true);
    EXPECT_EQ(clicks.count(), 1);
    box.SetChecked(true);
    EXPECT_EQ(clicks.count(), 1) << "no change, no signal";
    EXPECT_EQ(box.State(), cbChecked);
    box.SetState(cbGrayed);
    EXPECT_FALSE(box.Checked());
    EXPECT_EQ(box.State(), cbUnchecked);
    EXPECT_EQ(clicks.count(), 2);
}

TEST_F(CheckBox, ClickTogglesAndADoubleClickTogglesTwice)
{
    QSignalSpy clicks(&box, &TsuiCheckBox::OnClick);
    Press(box, QPoint(3, 3));
    Release(box, QPoint(3, 3));
    EXPECT_TRUE(box.Checked());
    Press(box, QPoint(3, 3));
    Release(box, QPoint(3, 3));
    SendMouse(box, QEvent::MouseButtonDblClick, Qt::LeftButton, QPoint(3, 3), Qt::LeftButton);
    Release(box, QPoint(3, 3));
    EXPECT_TRUE(box.Checked());
    EXPECT_EQ(clicks.count(), 3);
    Press(box, QPoint(3, 3));
    Release(box, QPoint(200, 3));
    EXPECT_TRUE(box.Checked()) << "released outside";
    Press(box, QPoint(3, 3), Qt::RightButton);
    Release(box, QPoint(3, 3), Qt::RightButton);
    EXPECT_TRUE(box.Checked()) << "right button";
}

TEST_F(CheckBox, SpaceAndEnterToggleOnReleaseWithoutReachingTheDefaultButton)
{
    form.activate();
    TsuiButton ok(&form);
    ok.SetDefault(true);
    ok.show();
    box.show();
    box.setFocus();
    QSignalSpy okClicks(&ok, &TsuiCustomButton::OnClick);
    QTest::keyPress(&box, Qt::Key_Space);
    EXPECT_FALSE(box.Checked());
    QTest::keyRelease(&box, Qt::Key_Space);
    EXPECT_TRUE(box.Checked());
    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_FALSE(box.Checked());
    EXPECT_EQ(okClicks.count(), 0);
    QTest::keyRelease(&box, Qt::Key_Space);
    EXPECT_FALSE(box.Checked()) << "a release whose press was elsewhere";
    box.setEnabled(false);
    QTest::keyClick(&box, Qt::Key_Space);
    EXPECT_FALSE(box.Checked());
}

TEST_F(CheckBox, AcceleratorTogglesAndTakesTheFocus)
{
    form.activate();
    QLineEdit edit(&form);
    edit.show();
    box.show();
    box.SetCaption(QStringLiteral("Check / Uncheck &All"));
    edit.setFocus();
    QTest::keyClick(&edit, Qt::Key_A, Qt::AltModifier);
    EXPECT_TRUE(box.Checked());
    EXPECT_TRUE(box.hasFocus());
    box.setEnabled(false);
    QTest::keyClick(&edit, Qt::Key_A, Qt::AltModifier);
    EXPECT_TRUE(box.Checked());
}

TEST_F(CheckBox, FocusRectangleSurroundsTheCaption)
{
    form.activate();
    box.setFont(MainWindowFont());
    box.SetCaption(QStringLiteral("Go"));
    box.show();
    box.clearFocus();   // activation gave it the focus
    const QImage before = Shot(box);
    box.setFocus();
    ASSERT_TRUE(box.hasFocus());
    const QImage after = Shot(box);
    QRect changed;
    for (int y = 0; y < box.height(); ++y)
        for (int x = 0; x < box.width(); ++x)
            if (before.pixel(x, y) != after.pixel(x, y))
                changed |= QRect(x, y, 1, 1);
    // L - 1 = 13 + 4 - 1, T = (height - line) / 2, to (width, T + line + 2).
    const int line = QFontMetrics(MainWindowFont()).height();
    const int top = (box.height() - line) / 2;
    EXPECT_EQ(changed, RectLTRB(16, top, box.width(), top + line + 2));
}

TEST(Keyboard, TabMovesThroughButtonsAndTheCheckBoxAndEachShowsItsFocus)
{
    TestForm form;
    TsuiButton first(&form), second(&form);
    TsuiCheckBox box(&form);
    first.setGeometry(0, 0, 80, 27);
    second.setGeometry(0, 30, 80, 27);
    box.move(0, 60);
    form.activate();
    first.setFocus();
    QTest::keyClick(&first, Qt::Key_Tab);
    EXPECT_TRUE(second.hasFocus());
    QTest::keyClick(&second, Qt::Key_Tab);
    EXPECT_TRUE(box.hasFocus());
    QTest::keyClick(&box, Qt::Key_Tab);
    EXPECT_TRUE(first.hasFocus());

    box.SetTabStop(false);
    QTest::keyClick(&first, Qt::Key_Tab);
    QTest::keyClick(&second, Qt::Key_Tab);
    EXPECT_TRUE(first.hasFocus()) << "without TabStop the box is skipped";
}
