// TsuiButton: theme faces, auto-size, glyphs, focus per style, engraved disabled caption,
// and the keyboard rules of every push button.
#include "ButtonWidgetsSupport.h"
#include "skin/Buttons.h"

#include <functional>
#include <QLineEdit>
#include <QPainter>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <memory>

using namespace parvelle;
using namespace skintest;

namespace {

QImage Slice(TsuiUIStyle style, int index)
{
    QImage slice;
    LoadBuiltInThemeBitmap(style, ThemeItem::ButtonImage, slice, index, 3);
    return slice;
}

// A pixel of the top-left corner (drawn at natural size) where the three faces differ.
QPoint DistinguishingCornerPixel(TsuiUIStyle style)
{
    const QImage a = Slice(style, 1), b = Slice(style, 2), c = Slice(style, 3);
    for (int y = 0; y < a.height() / 2; ++y)
        for (int x = 0; x < a.width() / 2; ++x)
            if (a.pixel(x, y) != b.pixel(x, y) && b.pixel(x, y) != c.pixel(x, y) && a.pixel(x, y) != c.pixel(x, y)
                && PixelAt(a, x, y) != clSkinTransparent)
                return QPoint(x, y);
    return QPoint(-1, -1);
}

QFont SharpFont(int pixelSize, bool bold = false)
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

int CountColor(const QImage& image, TColor color, const QRect& area)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += PixelAt(image, x, y) == color;
    return count;
}

// 16 x 16 glyph: a transparent (top-left colour) border of one pixel around Colour.
QImage GlyphCell(TColor colour)
{
    QImage glyph = FilledImage(16, 16, 0x00FF00);
    QPainter(&glyph).fillRect(1, 1, 14, 14, ToQColor(colour));
    return glyph;
}

class PushButton : public ::testing::Test {
protected:
    TestForm form;
};

} // namespace

TEST_F(PushButton, NewButtonTakesItsFormsStyleAndTheThemesTransparency)
{
    TsuiButton plain(&form);
    EXPECT_EQ(plain.UIStyle(), DeepBlue);
    EXPECT_EQ(plain.size(), QSize(80, 27));
    EXPECT_TRUE(plain.TabStop());
    EXPECT_EQ(plain.FocusedRectMargin(), 2);
    EXPECT_EQ(plain.Spacing(), 4);
    EXPECT_EQ(plain.MouseContinuouslyDownInterval(), 100);

    TsuiForm skinned(&form);
    skinned.SetUIStyle(WinXP);
    TsuiButton onSkinnedForm(&form);
    EXPECT_EQ(onSkinnedForm.UIStyle(), WinXP);
    EXPECT_FALSE(onSkinnedForm.Transparent());
    onSkinnedForm.SetUIStyle(MacOS);
    EXPECT_TRUE(onSkinnedForm.Transparent());
    onSkinnedForm.SetUIStyle(BlueGlass);
    EXPECT_TRUE(onSkinnedForm.Transparent());
    onSkinnedForm.SetUIStyle(Protein);
    EXPECT_FALSE(onSkinnedForm.Transparent());
}

TEST_F(PushButton, AutoSizeTakesOneSliceOfTheBuiltInFace)
{
    TsuiButton button(&form);
    button.SetUIStyle(WinXP);
    button.SetAutoSize(true);
    EXPECT_EQ(button.size(), QSize(18, 21));

    // From a theme file: the built-in catalogue has no face, so 74 x 21 counts: 24 x 21.
    TsuiFileTheme theme(&form);
    TsuiButton themed(&form);
    themed.SetFileTheme(&theme);
    themed.SetUIStyle(FromThemeFile);
    themed.SetAutoSize(true);
    EXPECT_EQ(themed.size(), QSize(24, 21));
}

TEST_F(PushButton, FaceFollowsMouseStatesAndDisabledShowsTheNormalFace)
{
    TsuiButton button(&form);
    button.SetUIStyle(WinXP);
    const QPoint p = DistinguishingCornerPixel(WinXP);
    ASSERT_GE(p.x(), 0) << "the WinXP faces differ somewhere in their top-left corner";
    auto face = [&] { return PixelAt(Shot(button), p.x(), p.y()); };
    EXPECT_EQ(face(), PixelAt(Slice(WinXP, 1), p.x(), p.y()));
    Enter(button);
    EXPECT_EQ(face(), PixelAt(Slice(WinXP, 2), p.x(), p.y()));
    Press(button, QPoint(5, 5));
    EXPECT_EQ(face(), PixelAt(Slice(WinXP, 3), p.x(), p.y()));
    button.setEnabled(false);
    EXPECT_EQ(face(), PixelAt(Slice(WinXP, 1), p.x(), p.y()));
}

TEST_F(PushButton, DestroyedFileThemeFallsBackToDeepBlue)
{
    TsuiButton button(&form);
    auto theme = std::make_unique<TsuiFileTheme>();
    button.SetFileTheme(theme.get());
    button.SetUIStyle(FromThemeFile);
    theme.reset();
    EXPECT_EQ(button.FileTheme(), nullptr);
    EXPECT_EQ(button.UIStyle(), DeepBlue);
}

namespace {

// A plain 60 x 30 button face with the caption "HH" in a sharp 20-pixel bold font, on green,
// as `change` leaves its look.
QImage RenderCaptionButton(const std::function<void(ButtonLook&)>& change)
{
    ButtonLook look;
    look.size = QSize(60, 30);
    look.caption = QStringLiteral("HH");
    look.font = SharpFont(20, true);
    change(look);
    QImage canvas = FilledImage(60, 30, 0x00FF00);
    QPainter painter(&canvas);
    PaintSkinButton(painter, look, SkinButtonLook{});
    return canvas;
}

} // namespace

TEST_F(PushButton, DisabledCaptionIsEngravedWhiteUnderGrey)
{
    const QImage enabled = RenderCaptionButton([](ButtonLook&) {});
    const QImage disabled = RenderCaptionButton([](ButtonLook& look) { look.enabled = false; });
    const QRect all(0, 0, 60, 30);
    EXPECT_GT(CountColor(enabled, clBlack, all), 20);
    EXPECT_EQ(CountColor(disabled, clBlack, all), 0);
    const int grey = CountColor(disabled, clGray, all);
    EXPECT_EQ(grey, CountColor(enabled, clBlack, all)) << "grey text where the enabled text was";
    // The white copy shows one pixel right of and below the grey one's last columns.
    EXPECT_GT(CountColor(disabled, clWhite, all), 0);
    for (int y = 0; y < 29; ++y)
        for (int x = 0; x < 59; ++x)
            if (PixelAt(enabled, x, y) == clBlack && PixelAt(enabled, x + 1, y + 1) != clBlack) {
                ASSERT_EQ(PixelAt(disabled, x + 1, y + 1), clWhite) << x + 1 << "," << y + 1;
            }
}

TEST_F(PushButton, PressedCaptionMovesOnePixel)
{
    const QImage up = RenderCaptionButton([](ButtonLook&) {});
    const QImage down = RenderCaptionButton([](ButtonLook& look) { look.pressed = true; });
    for (int y = 0; y < 29; ++y)
        for (int x = 0; x < 59; ++x)
            ASSERT_EQ(PixelAt(up, x, y), PixelAt(down, x + 1, y + 1)) << x << "," << y;
}

TEST_F(PushButton, GlyphOfTwoSquaresShowsTheSecondWhenDisabledOneSquareIsGreyed)
{
    QImage pair(32, 16, QImage::Format_RGB32);
    {
        QPainter painter(&pair);
        painter.drawImage(0, 0, GlyphCell(0x0000FF));    // enabled: red
        painter.drawImage(16, 0, GlyphCell(0xFF0000));   // disabled: blue
    }
    TsuiButton button(&form);
    button.SetUIStyle(WinXP);
    button.SetGlyph(pair);
    // No caption: glyph at ((80 - 16 - 0 - 4) / 2, (27 - 16) / 2) = (30, 5).
    QImage shot = Shot(button);
    EXPECT_EQ(PixelAt(shot, 31, 6), 0x0000FFu);
    EXPECT_EQ(PixelAt(shot, 44, 19), 0x0000FFu);
    EXPECT_NE(PixelAt(shot, 45, 20), 0x0000FFu);
    EXPECT_NE(PixelAt(shot, 30, 5), 0x00FF00u) << "the top-left colour is transparent";
    EXPECT_NE(PixelAt(shot, 47, 6), 0x0000FFu) << "one 16-pixel image, not 32";
    button.setEnabled(false);
    shot = Shot(button);
    EXPECT_EQ(PixelAt(shot, 31, 6), 0xFF0000u) << "the second image, not greyed";

    button.SetGlyph(GlyphCell(0x0000FF));
    shot = Shot(button);
    EXPECT_EQ(PixelAt(shot, 31, 6), ColorToRGB(clBtnShadow)) << "one image: greyed";
    EXPECT_EQ(PixelAt(shot, 45, 20), ColorToRGB(clBtnHighlight)) << "with its light copy below right";

    button.setEnabled(true);
    Press(button, QPoint(5, 5));
    shot = Shot(button);
    EXPECT_NE(PixelAt(shot, 31, 6), 0x0000FFu) << "pressed: one pixel right and down";
    EXPECT_EQ(PixelAt(shot, 45, 20), 0x0000FFu);
}

TEST(GlyphPlacement, EachLayoutPlacesGlyphAndCaptionTruncatingTowardZero)
{
    const QSize client(80, 27), glyph(16, 16), text(30, 13);
    EXPECT_EQ(PlaceGlyph(blGlyphLeft, client, glyph, text, 4).glyph, QPoint(15, 5));
    EXPECT_EQ(PlaceGlyph(blGlyphLeft, client, glyph, text, 4).caption, QPoint(35, 7));
    EXPECT_EQ(PlaceGlyph(blGlyphRight, client, glyph, text, 4).glyph, QPoint(49, 5));
    EXPECT_EQ(PlaceGlyph(blGlyphRight, client, glyph, text, 4).caption, QPoint(15, 7));
    EXPECT_EQ(PlaceGlyph(blGlyphTop, client, glyph, text, 4).glyph, QPoint(32, -3));
    EXPECT_EQ(PlaceGlyph(blGlyphTop, client, glyph, text, 4).caption, QPoint(25, 17));
    EXPECT_EQ(PlaceGlyph(blGlyphBottom, client, glyph, text, 4).glyph, QPoint(32, 14));
    EXPECT_EQ(PlaceGlyph(blGlyphBottom, client, glyph, text, 4).caption, QPoint(25, -3));
    // (10 - 16 - 0 - 1) / 2 = -3 (toward zero), not -4.
    EXPECT_EQ(PlaceGlyph(blGlyphLeft, QSize(10, 10), glyph, QSize(0, 0), 1).glyph, QPoint(-3, -3));
}

TEST_F(PushButton, FocusIsADottedRectangleExceptInMacOSAndBlueGlassWhereTheCaptionTurnsBold)
{
    form.activate();
    auto focusedDiffers = [&](TsuiUIStyle style, const QString& caption) {
        TsuiButton button(&form);
        button.SetUIStyle(style);
        button.SetCaption(caption);
        button.setFont(SharpFont(12));
        button.show();
        const QImage unfocused = Shot(button);
        button.setFocus();
        EXPECT_TRUE(button.hasFocus());
        const QImage focused = Shot(button);
        QRegion changed;
        for (int y = 0; y < 27; ++y)
            for (int x = 0; x < 80; ++x)
                if (unfocused.pixel(x, y) != focused.pixel(x, y))
                    changed += QRect(x, y, 1, 1);
        return changed;
    };
    for (TsuiUIStyle style : {WinXP, DeepBlue, Protein}) {
        const QRegion changed = focusedDiffers(style, QString());
        EXPECT_TRUE(changed.boundingRect() == QRect(2, 2, 76, 23)) << int(style) << ": the rectangle at margin 2";
    }
    for (TsuiUIStyle style : {MacOS, BlueGlass}) {
        EXPECT_TRUE(focusedDiffers(style, QString()).isEmpty()) << int(style) << ": never a rectangle";
        const QRect changed = focusedDiffers(style, QStringLiteral("OK")).boundingRect();
        EXPECT_FALSE(changed.isEmpty()) << int(style) << ": the bold caption";
        EXPECT_TRUE(QRect(10, 5, 60, 17).contains(changed)) << int(style);
    }
}

// --- Keyboard ------------------------------------------------------------------------

TEST_F(PushButton, SpaceShowsThePressedFaceAndClicksOnRelease)
{
    form.activate();
    TsuiButton button(&form);
    button.SetUIStyle(WinXP);
    button.show();
    button.setFocus();
    QSignalSpy clicks(&button, &TsuiCustomButton::OnClick);

    QTest::keyRelease(&button, Qt::Key_Space);
    EXPECT_EQ(clicks.count(), 0) << "a release without its press";
    QTest::keyPress(&button, Qt::Key_Space);
    EXPECT_TRUE(button.State().pressed());
    EXPECT_EQ(clicks.count(), 0);
    QKeyEvent heldDown(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), true);
    QApplication::sendEvent(&button, &heldDown);
    EXPECT_EQ(clicks.count(), 0) << "the key's auto-repeat is no release";
    QTest::keyRelease(&button, Qt::Key_Space);
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_FALSE(button.State().pressed());

    QTest::keyClick(&button, Qt::Key_Return);
    EXPECT_EQ(clicks.count(), 2) << "Enter on the focused button";
}

TEST_F(PushButton, EnterClicksTheDefaultButtonAndEscapeTheCancelButtonWithoutModifiers)
{
    form.activate();
    QLineEdit edit(&form);
    TsuiButton ok(&form), cancel(&form);
    ok.SetDefault(true);
    cancel.SetCancel(true);
    edit.show();
    ok.show();
    cancel.show();
    edit.setFocus();
    QSignalSpy okClicks(&ok, &TsuiCustomButton::OnClick);
    QSignalSpy cancelClicks(&cancel, &TsuiCustomButton::OnClick);

    QTest::keyClick(&edit, Qt::Key_Return);
    QTest::keyClick(&edit, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(okClicks.count(), 2);
    for (Qt::KeyboardModifier held : {Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier}) {
        QTest::keyClick(&edit, Qt::Key_Return, held);
        QTest::keyClick(&edit, Qt::Key_Escape, held);
    }
    EXPECT_EQ(okClicks.count(), 2);
    EXPECT_EQ(cancelClicks.count(), 0);
    QTest::keyClick(&edit, Qt::Key_Escape);
    EXPECT_EQ(cancelClicks.count(), 1);
    EXPECT_EQ(okClicks.count(), 2);

    ok.setEnabled(false);
    QTest::keyClick(&edit, Qt::Key_Return);
    EXPECT_EQ(okClicks.count(), 2) << "a disabled default button";
}

TEST_F(PushButton, AltAndTheAcceleratorLetterClicksAnEnabledButton)
{
    form.activate();
    QLineEdit edit(&form);
    TsuiButton button(&form);
    button.SetCaption(QStringLiteral("&Restore All"));
    edit.show();
    button.show();
    edit.setFocus();
    QSignalSpy clicks(&button, &TsuiCustomButton::OnClick);
    QTest::keyClick(&edit, Qt::Key_R, Qt::AltModifier);
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_TRUE(button.hasFocus()) << "the click takes the focus";
    button.SetCaption(QStringLiteral("Re&move"));
    edit.setFocus();
    QTest::keyClick(&edit, Qt::Key_R, Qt::AltModifier);
    EXPECT_EQ(clicks.count(), 1) << "the old accelerator is gone";
    QTest::keyClick(&edit, Qt::Key_M, Qt::AltModifier);
    EXPECT_EQ(clicks.count(), 2);
    button.setEnabled(false);
    QTest::keyClick(&edit, Qt::Key_M, Qt::AltModifier);
    EXPECT_EQ(clicks.count(), 2);
}
