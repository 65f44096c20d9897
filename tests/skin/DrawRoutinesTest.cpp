// Drawing routines rendered off-screen and checked pixel by pixel.
#include "skin/SkinDraw.h"
#include "ThemeTestSupport.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPainter>
#include <QScreen>
#include <gtest/gtest.h>

using namespace parvelle;
using namespace skintest;

namespace {

constexpr TColor Sentinel = 0x00FF00;   // canvas colour that no test bitmap contains

// Bitmap 18 x 21 whose edge and middle strips (column 9, rows 10 and 11) are magenta, so
// only the corners leave pixels on the canvas.
QImage CornersOnlySkin()
{
    QImage skin = CoordinateImage(18, 21);
    for (int y = 0; y < 21; ++y)
        skin.setPixel(9, y, qRgb(255, 0, 255));
    for (int x = 0; x < 18; ++x) {
        skin.setPixel(x, 10, qRgb(255, 0, 255));
        skin.setPixel(x, 11, qRgb(255, 0, 255));
    }
    return skin;
}

QImage DrawSkin(const QImage& skin, int width, int height, bool transparent)
{
    QImage canvas = FilledImage(width, height, Sentinel);
    QPainter painter(&canvas);
    DrawStretchedSkin(skin, painter, QRect(0, 0, width, height), transparent);
    return canvas;
}

// Pixels of `canvas` inside `dest` equal those of `skin` starting at `from`.
void ExpectBlock(const QImage& canvas, const QRect& dest, const QImage& skin, QPoint from)
{
    for (int y = 0; y < dest.height(); ++y)
        for (int x = 0; x < dest.width(); ++x)
            ASSERT_EQ(PixelAt(canvas, dest.x() + x, dest.y() + y), PixelAt(skin, from.x() + x, from.y() + y))
                << "at " << dest.x() + x << "," << dest.y() + y;
}

int CountColor(const QImage& canvas, TColor color)
{
    int count = 0;
    for (int y = 0; y < canvas.height(); ++y)
        for (int x = 0; x < canvas.width(); ++x)
            count += PixelAt(canvas, x, y) == color;
    return count;
}

} // namespace

TEST(DrawStretchedSkin, SameSizeKeepsCornersAtNaturalSize)
{
    const QImage skin = CornersOnlySkin();
    const QImage canvas = DrawSkin(skin, 18, 21, false);
    ExpectBlock(canvas, QRect(0, 0, 9, 10), skin, {0, 0});     // top-left 9 x 10
    ExpectBlock(canvas, QRect(0, 12, 9, 9), skin, {0, 12});    // bottom-left 9 x 9
    ExpectBlock(canvas, QRect(10, 0, 8, 10), skin, {10, 0});   // top-right 8 x 10
    ExpectBlock(canvas, QRect(10, 12, 8, 9), skin, {10, 12});  // bottom-right 8 x 9
    // The magenta column 9 and rows 10-11 are the only pixels left untouched.
    EXPECT_EQ(CountColor(canvas, Sentinel), 21 + 2 * 18 - 2);
}

TEST(DrawStretchedSkin, SmallTargetCutsCornersKeepingOuterEdges)
{
    const QImage skin = CornersOnlySkin();
    const QImage canvas = DrawSkin(skin, 10, 10, false);
    ExpectBlock(canvas, QRect(0, 0, 5, 5), skin, {0, 0});      // top-left 5 x 5
    ExpectBlock(canvas, QRect(0, 6, 5, 4), skin, {0, 17});     // bottom-left 5 x 4
    ExpectBlock(canvas, QRect(6, 0, 4, 5), skin, {14, 0});     // top-right 4 x 5
    ExpectBlock(canvas, QRect(6, 6, 4, 4), skin, {14, 17});    // bottom-right 4 x 4
    // One-pixel strips remain between them: column 5 and row 5.
    EXPECT_EQ(CountColor(canvas, Sentinel), 10 + 10 - 1);
    EXPECT_EQ(PixelAt(canvas, 5, 2), Sentinel);
    EXPECT_EQ(PixelAt(canvas, 2, 5), Sentinel);
}

TEST(DrawStretchedSkin, LargeTargetStretchesEdgesAndMiddle)
{
    const QImage skin = CoordinateImage(18, 21);
    const QImage canvas = DrawSkin(skin, 40, 50, true);
    ExpectBlock(canvas, QRect(0, 0, 9, 10), skin, {0, 0});
    ExpectBlock(canvas, QRect(32, 41, 8, 9), skin, {10, 12});
    EXPECT_EQ(PixelAt(canvas, 20, 0), PixelAt(skin, 9, 0));     // top edge
    EXPECT_EQ(PixelAt(canvas, 0, 25), PixelAt(skin, 0, 10));    // left edge
    EXPECT_EQ(PixelAt(canvas, 39, 25), PixelAt(skin, 17, 11));  // right edge
    EXPECT_EQ(PixelAt(canvas, 20, 25), PixelAt(skin, 9, 10));   // middle
    EXPECT_EQ(PixelAt(canvas, 20, 49), PixelAt(skin, 9, 20));   // bottom edge, bottom kept
    EXPECT_EQ(PixelAt(canvas, 20, 40), PixelAt(skin, 9, 11));
    EXPECT_EQ(CountColor(canvas, Sentinel), 0);
}

TEST(DrawStretchedSkin, MagentaCornersFollowTransparentFlag)
{
    QImage skin = CornersOnlySkin();
    skin.setPixel(0, 0, qRgb(255, 0, 255));
    skin.setPixel(17, 20, qRgb(255, 0, 255));
    const QImage opaque = DrawSkin(skin, 18, 21, false);
    EXPECT_EQ(PixelAt(opaque, 0, 0), clSkinTransparent);
    EXPECT_EQ(PixelAt(opaque, 17, 20), clSkinTransparent);
    const QImage masked = DrawSkin(skin, 18, 21, true);
    EXPECT_EQ(PixelAt(masked, 0, 0), Sentinel);
    EXPECT_EQ(PixelAt(masked, 17, 20), Sentinel);
    EXPECT_EQ(PixelAt(masked, 1, 0), PixelAt(skin, 1, 0));
    // Edges and middle are magenta in this skin: never drawn, whatever the flag.
    EXPECT_EQ(CountColor(opaque, clSkinTransparent), 2);
}

TEST(DrawStretchedSkin, OnePixelBitmapHasNoCornersOnlyAMiddle)
{
    const QImage pixel = FilledImage(1, 1, 0x123456);
    const QImage canvas = DrawSkin(pixel, 6, 6, false);
    EXPECT_EQ(CountColor(canvas, 0x123456), 6 * 5);   // middle ends one row above Bottom
    EXPECT_EQ(CountColor(canvas, Sentinel), 6);

    QImage none = FilledImage(4, 4, Sentinel);
    QPainter painter(&none);
    DrawStretchedSkin(QImage(), painter, QRect(0, 0, 4, 4), true);
    painter.end();
    EXPECT_EQ(CountColor(none, Sentinel), 16);
}

TEST(DrawThreeSliceBitmap, EndsAtNaturalSizeMiddleStretched)
{
    QImage graphic = CoordinateImage(9, 4);
    graphic.setPixel(0, 0, qRgb(255, 0, 255));
    QImage canvas = FilledImage(40, 12, Sentinel);
    QPainter painter(&canvas);
    DrawThreeSliceBitmap(graphic, painter, RectLTRB(10, 5, 30, 9), false);
    painter.end();
    EXPECT_EQ(PixelAt(canvas, 10, 5), Sentinel);                      // magenta corner masked
    EXPECT_EQ(PixelAt(canvas, 11, 5), PixelAt(graphic, 1, 0));        // part 1
    EXPECT_EQ(PixelAt(canvas, 27, 8), PixelAt(graphic, 6, 3));        // part 3 at Right - w
    EXPECT_EQ(PixelAt(canvas, 29, 8), PixelAt(graphic, 8, 3));
    EXPECT_EQ(PixelAt(canvas, 13, 6), PixelAt(graphic, 3, 1));        // middle stretched
    EXPECT_EQ(PixelAt(canvas, 26, 6), PixelAt(graphic, 5, 1));
    EXPECT_EQ(PixelAt(canvas, 30, 6), Sentinel);
    EXPECT_EQ(PixelAt(canvas, 20, 9), Sentinel);
}

TEST(DrawThreeSliceBitmap, MaskFromCornerUsesTopLeftColour)
{
    QImage graphic = CoordinateImage(6, 2);
    const QRgb corner = graphic.pixel(0, 0);
    graphic.setPixel(5, 1, corner);
    graphic.setPixel(2, 1, qRgb(255, 0, 255));   // magenta is plain colour under this mask
    QImage canvas = FilledImage(8, 2, Sentinel);
    QPainter painter(&canvas);
    DrawThreeSliceBitmap(graphic, painter, QRect(0, 0, 8, 2), true);
    painter.end();
    EXPECT_EQ(PixelAt(canvas, 0, 0), Sentinel);
    EXPECT_EQ(PixelAt(canvas, 7, 1), Sentinel);
    EXPECT_EQ(PixelAt(canvas, 2, 1), clSkinTransparent);
}

TEST(ExtractBitmapSlice, CutsEqualWidthSlices)
{
    const QImage strip = CoordinateImage(378, 21);
    QImage slice;
    ExtractBitmapSlice(strip, slice, 18, 10);
    ASSERT_EQ(slice.size(), QSize(21, 21));
    ExpectBlock(slice, QRect(0, 0, 21, 21), strip, {189, 0});

    QImage whole;
    ExtractBitmapSlice(strip, whole, 1, 1);
    EXPECT_EQ(whole, strip);

    QImage untouched = FilledImage(2, 2, Sentinel);
    ExtractBitmapSlice(strip, untouched, 0, 1);
    ExtractBitmapSlice(strip, untouched, 18, 19);
    ExtractBitmapSlice(strip, untouched, 18, 0);
    EXPECT_EQ(untouched, FilledImage(2, 2, Sentinel));
}

TEST(RotateBitmap, TwoByOneTurnsBothWays)
{
    constexpr TColor A = 0x112233, B = 0x445566;
    QImage bitmap(2, 1, QImage::Format_RGB32);
    bitmap.setPixel(0, 0, ToQColor(A).rgb());
    bitmap.setPixel(1, 0, ToQColor(B).rgb());

    QImage left = bitmap;
    RotateBitmapLeft(left);
    ASSERT_EQ(left.size(), QSize(1, 2));
    EXPECT_EQ(PixelAt(left, 0, 0), B);
    EXPECT_EQ(PixelAt(left, 0, 1), A);

    QImage right = bitmap;
    RotateBitmapRight(right);
    ASSERT_EQ(right.size(), QSize(1, 2));
    EXPECT_EQ(PixelAt(right, 0, 0), A);
    EXPECT_EQ(PixelAt(right, 0, 1), B);
}

TEST(RotateBitmap, LeftThenRightRestoresAnyBitmap)
{
    const QImage original = CoordinateImage(5, 3);
    QImage bitmap = original;
    RotateBitmapLeft(bitmap);
    EXPECT_EQ(bitmap.size(), QSize(3, 5));
    EXPECT_EQ(PixelAt(bitmap, 0, 0), PixelAt(original, 4, 0));   // old top edge is the left edge
    RotateBitmapRight(bitmap);
    EXPECT_EQ(bitmap, original);

    // Bitmaps with a colour table (8-bit BMP files of theme files) keep their colours.
    const QImage indexed = original.convertToFormat(QImage::Format_Indexed8);
    QImage turned = indexed;
    RotateBitmapRight(turned);
    EXPECT_EQ(PixelAt(turned, 2, 0), PixelAt(indexed, 0, 0));
    EXPECT_EQ(PixelAt(turned, 0, 4), PixelAt(indexed, 4, 2));
}

namespace {

// A parent that paints column x in colour (x, y, 0x77) and a child that paints itself red.
class GradientParent : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        for (int y = 0; y < height(); ++y)
            for (int x = 0; x < width(); ++x)
                painter.fillRect(x, y, 1, 1, QColor(x % 256, y % 256, 0x77));
    }
};

class RedChild : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), Qt::red); }
};

} // namespace

TEST(ImageTransparency, BottomLeftColourIsTransparentUnlessTheImageHasAlpha)
{
    QImage image = FilledImage(3, 2, 0x0000FF);
    image.setPixel(0, 1, qRgb(0, 0, 0xFF));   // bottom-left: blue
    image.setPixel(2, 0, qRgb(0, 0, 0xFF));
    const QImage masked = AutoTransparent(image);
    EXPECT_EQ(qAlpha(masked.pixel(0, 1)), 0);
    EXPECT_EQ(qAlpha(masked.pixel(2, 0)), 0);
    EXPECT_EQ(masked.pixel(1, 0), qRgb(0xFF, 0, 0));

    QImage withAlpha(2, 2, QImage::Format_ARGB32);
    withAlpha.fill(qRgba(10, 20, 30, 255));
    EXPECT_EQ(AutoTransparent(withAlpha), withAlpha);
    EXPECT_TRUE(AutoTransparent(QImage()).isNull());
}

TEST(GreyedImage, InkInShadowWithAHighlightOffsetByOnePixel)
{
    EnsureApplication();
    // 3 x 3 white with a black centre and one magenta pixel made transparent.
    QImage image = FilledImage(3, 3, clWhite);
    image.setPixel(1, 1, qRgb(0, 0, 0));
    image.setPixel(0, 0, qRgb(255, 0, 255));
    QImage canvas = FilledImage(6, 6, Sentinel);
    QPainter painter(&canvas);
    DrawGreyedImage(painter, QPoint(1, 1), MaskedWithColor(image, clSkinTransparent));
    painter.end();
    EXPECT_EQ(PixelAt(canvas, 2, 2), ColorToRGB(clBtnShadow));
    EXPECT_EQ(PixelAt(canvas, 3, 3), ColorToRGB(clBtnHighlight));
    EXPECT_EQ(CountColor(canvas, Sentinel), 34);   // white and transparent pixels draw nothing
}

TEST(PaintParentBackground, ParentPaintsShiftedByControlPosition)
{
    EnsureApplication();
    GradientParent parent;
    parent.resize(100, 60);
    RedChild child(&parent);
    child.setGeometry(30, 20, 20, 10);
    RedChild sibling(&parent);
    sibling.setGeometry(35, 22, 5, 5);

    QImage canvas = FilledImage(20, 10, Sentinel);
    QPainter painter(&canvas);
    PaintParentBackground(painter, &child);
    painter.end();
    EXPECT_EQ(PixelAt(canvas, 0, 0), ToTColor(QColor(30, 20, 0x77)));
    EXPECT_EQ(PixelAt(canvas, 19, 9), ToTColor(QColor(49, 29, 0x77)));
    EXPECT_EQ(PixelAt(canvas, 6, 3), ToTColor(QColor(36, 23, 0x77)));   // no sibling drawn
}

TEST(PaintParentBackground, ClippedToParentAndNothingWithoutParent)
{
    EnsureApplication();
    GradientParent parent;
    parent.resize(40, 40);
    RedChild child(&parent);
    child.setGeometry(30, 30, 20, 20);   // half outside its parent

    QImage canvas = FilledImage(20, 20, Sentinel);
    QPainter painter(&canvas);
    PaintParentBackground(painter, &child);
    EXPECT_EQ(PixelAt(canvas, 9, 9), ToTColor(QColor(39, 39, 0x77)));
    EXPECT_EQ(PixelAt(canvas, 10, 5), Sentinel);
    EXPECT_EQ(PixelAt(canvas, 5, 10), Sentinel);

    RedChild orphan;
    orphan.resize(20, 20);
    QImage untouched = FilledImage(20, 20, Sentinel);
    QPainter orphanPainter(&untouched);
    PaintParentBackground(orphanPainter, &orphan);
    orphanPainter.end();
    EXPECT_EQ(CountColor(untouched, Sentinel), 400);
}

TEST(DrawControlBorder, OuterAndInnerRings)
{
    EnsureApplication();
    QWidget control;
    control.resize(10, 8);
    QImage canvas = FilledImage(10, 8, Sentinel);
    QPainter painter(&canvas);
    DrawControlBorder(&control, painter, 0x0000FF, 0xFF0000, true);
    painter.end();
    EXPECT_EQ(PixelAt(canvas, 0, 0), 0x0000FFu);
    EXPECT_EQ(PixelAt(canvas, 9, 7), 0x0000FFu);
    EXPECT_EQ(PixelAt(canvas, 5, 7), 0x0000FFu);
    EXPECT_EQ(PixelAt(canvas, 1, 1), 0xFF0000u);
    EXPECT_EQ(PixelAt(canvas, 8, 6), 0xFF0000u);
    EXPECT_EQ(PixelAt(canvas, 2, 2), Sentinel);
    EXPECT_EQ(CountColor(canvas, 0x0000FF), 2 * 10 + 2 * 6);
    EXPECT_EQ(CountColor(canvas, 0xFF0000), 2 * 8 + 2 * 4);

    QImage outerOnly = FilledImage(10, 8, Sentinel);
    QPainter outerPainter(&outerOnly);
    DrawControlBorder(&control, outerPainter, clBtnFace, 0xFF0000, false);
    outerPainter.end();
    EXPECT_EQ(PixelAt(outerOnly, 0, 3), ColorToRGB(clBtnFace));
    EXPECT_EQ(PixelAt(outerOnly, 1, 1), Sentinel);
}

TEST(TileDrawPicture, TilesFromCanvasOriginPastRect)
{
    const QImage picture = CoordinateImage(3, 2);
    QImage canvas = FilledImage(20, 20, Sentinel);
    QPainter painter(&canvas);
    TileDrawPicture(painter, picture, QRect(0, 0, 7, 5));
    painter.end();
    EXPECT_EQ(PixelAt(canvas, 11, 7), PixelAt(picture, 2, 1));   // tile at (9, 6)
    EXPECT_EQ(PixelAt(canvas, 4, 3), PixelAt(picture, 1, 1));
    EXPECT_EQ(PixelAt(canvas, 12, 0), Sentinel);
    EXPECT_EQ(PixelAt(canvas, 0, 8), Sentinel);
}

TEST(TileDrawPicture, EmptyPictureDrawsNothing)
{
    QImage canvas = FilledImage(5, 5, Sentinel);
    QPainter painter(&canvas);
    TileDrawPicture(painter, QImage(), QRect(0, 0, 5, 5));
    TileDrawPicture(painter, QImage(0, 3, QImage::Format_RGB32), QRect(0, 0, 5, 5));
    painter.end();
    EXPECT_EQ(CountColor(canvas, Sentinel), 25);
}

TEST(RectangleHelpers, PointInRectIncludesAllFourEdges)
{
    const QRect rect = RectLTRB(2, 3, 7, 7);
    EXPECT_TRUE(PointInRect({2, 3}, rect));
    EXPECT_TRUE(PointInRect({7, 7}, rect));
    EXPECT_TRUE(PointInRect({7, 3}, rect));
    EXPECT_TRUE(PointInRect({2, 7}, rect));
    EXPECT_FALSE(PointInRect({8, 5}, rect));
    EXPECT_FALSE(PointInRect({5, 8}, rect));
    EXPECT_FALSE(CoordsInRect(1, 5, rect));
    EXPECT_FALSE(CoordsInRect(5, 2, rect));
}

TEST(RectangleHelpers, ControlPlacement)
{
    EnsureApplication();
    QWidget control;
    SetControlBoundsRect(&control, RectLTRB(5, 6, 25, 16));
    EXPECT_EQ(control.geometry(), QRect(5, 6, 20, 10));
    SetControlPosition(&control, QPoint(-3, 40));
    EXPECT_EQ(control.geometry(), QRect(-3, 40, 20, 10));
    EXPECT_EQ(GetDesktopWorkArea(), QGuiApplication::primaryScreen()->availableGeometry());
}

TEST(PublishedProperties, FoundByNameIgnoringCase)
{
    EnsureApplication();
    StyledControl styled;
    StyleOnlyControl styleOnly;
    EXPECT_TRUE(HasPublishedProperty(&styled, "UIStyle"));
    EXPECT_TRUE(HasPublishedProperty(&styled, "filetheme"));
    EXPECT_FALSE(HasPublishedProperty(&styleOnly, "FileTheme"));
    EXPECT_FALSE(HasPublishedProperty(nullptr, "UIStyle"));

    SetPublishedProperty(&styled, "uistyle", QVariant::fromValue(WinXP));
    EXPECT_EQ(styled.UIStyle(), WinXP);
    SetPublishedProperty(&styled, "UIStyle", 4);   // a plain number converts too
    EXPECT_EQ(styled.UIStyle(), Protein);
    EXPECT_THROW(SetPublishedProperty(&styleOnly, "FileTheme", QVariant()), EPropertyError);
    EXPECT_FALSE(styleOnly.property("FileTheme").isValid());   // no dynamic property made
}

TEST(PublishedProperties, AComponentsOwnNameHidesTheWidgetsPropertyOfTheSameName)
{
    EnsureApplication();
    SizedControl control;
    control.resize(30, 20);
    SetPublishedProperty(&control, "Width", 140);
    SetPublishedProperty(&control, "height", 90);
    EXPECT_EQ(control.Width(), 140);
    EXPECT_EQ(control.Height(), 90);
    EXPECT_EQ(GetPublishedProperty(&control, "Width").toInt(), 140);
    EXPECT_EQ(GetPublishedProperty(&control, "HEIGHT").toInt(), 90);
    EXPECT_EQ(control.size(), QSize(30, 20));
    // Without a declaration of its own, the widget's property is the one found.
    QWidget plain;
    plain.resize(30, 20);
    EXPECT_EQ(GetPublishedProperty(&plain, "Width").toInt(), 30);
}

TEST(ApplyStyleToChildren, DirectChildrenWithBothPropertiesOnly)
{
    EnsureApplication();
    QWidget frame;
    TsuiFileTheme theme;
    theme.setObjectName("theme1");
    StyledControl first(&frame, "first");
    StyleOnlyControl styleOnly(&frame, "styleOnly");
    StyledControl grandChild(&first, "grandChild");
    StyledControl second(&frame, "second");

    ApplyStyleToChildren(&frame, MacOS, &theme);
    EXPECT_EQ(first.writes, QStringList({"FileTheme=theme1", "UIStyle=1"}));
    EXPECT_EQ(second.writes, QStringList({"FileTheme=theme1", "UIStyle=1"}));
    EXPECT_EQ(styleOnly.UIStyle(), DeepBlue);
    EXPECT_TRUE(grandChild.writes.isEmpty());
}

TEST(IsFormActive, MainFormAndMdiRules)
{
    EnsureApplication();
    QWidget form;
    SetApplicationMainForm(nullptr);
    EXPECT_FALSE(IsFormActive(&form));   // never shown, so never active
    EXPECT_FALSE(IsFormActive(nullptr));

    QWidget mdiParent;
    auto* area = new QMdiArea(&mdiParent);
    auto* child = new QWidget;
    area->addSubWindow(child);
    SetApplicationMainForm(&mdiParent);
    EXPECT_TRUE(IsFormActive(&mdiParent));   // an MDI main form always counts
    mdiParent.show();
    mdiParent.activateWindow();
    QApplication::processEvents();
    ASSERT_EQ(QGuiApplication::applicationState(), Qt::ApplicationActive);
    EXPECT_TRUE(IsFormActive(nullptr));
    QWidget other;
    EXPECT_FALSE(IsFormActive(&other));
    area->setActiveSubWindow(area->subWindowList().first());
    EXPECT_TRUE(IsFormActive(child));        // the MDI client's active child
    SetApplicationMainForm(nullptr);
}

