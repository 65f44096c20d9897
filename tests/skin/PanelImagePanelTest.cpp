// TsuiImagePanel rendered off-screen and checked pixel by pixel.
#include "skin/ImagePanel.h"
#include "ThemeTestSupport.h"

#include <QPainter>
#include <gtest/gtest.h>

using namespace parvelle;

namespace {

const QRgb kRed = qRgb(0xFF, 0, 0);
const QRgb kGreen = qRgb(0, 0xC0, 0);
const QRgb kBlue = qRgb(0, 0, 0xFF);
const QRgb kYellow = qRgb(0xFF, 0xFF, 0);

// A parent that paints a pattern the panel can be checked against: each pixel's red and
// green encode its position, blue is 0x40.
class PatternParent : public QWidget {
public:
    PatternParent() { resize(60, 40); }
    static QRgb At(int x, int y) { return qRgb(x * 4 % 256, y * 4 % 256, 0x40); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QImage img(size(), QImage::Format_RGB32);
        for (int y = 0; y < height(); ++y)
            for (int x = 0; x < width(); ++x)
                img.setPixel(x, y, At(x, y));
        QPainter(this).drawImage(0, 0, img);
    }
};

QImage Render(QWidget& w)
{
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QRgb Rgb(const QImage& img, int x, int y)
{
    return img.pixel(x, y) | 0xFF000000;
}

// 4 x 4: red with a blue bottom row (its bottom-left pixel: the transparent colour) and one
// blue pixel in the middle.
QImage RedPictureWithBlueHoles()
{
    QImage img(4, 4, QImage::Format_RGB32);
    img.fill(kRed);
    for (int x = 0; x < 4; ++x)
        img.setPixel(x, 3, kBlue);
    img.setPixel(1, 1, kBlue);
    return img;
}

class ImagePanel : public ::testing::Test {
protected:
    // The application must exist before the parent widget below is constructed.
    struct Application {
        Application() { skintest::EnsureApplication(); }
    } application;
    PatternParent parent;
};

} // namespace

TEST_F(ImagePanel, TransparentPanelShowsItsParentWhereThePictureIsTransparent)
{
    TsuiImagePanel panel(&parent);
    panel.setGeometry(10, 5, 8, 8);
    panel.SetPicture(RedPictureWithBlueHoles());
    panel.SetTransparent(true);
    const QImage shot = Render(panel);
    EXPECT_EQ(Rgb(shot, 0, 0), kRed);
    EXPECT_EQ(Rgb(shot, 1, 1), PatternParent::At(11, 6));   // a transparent pixel inside
    EXPECT_EQ(Rgb(shot, 2, 3), PatternParent::At(12, 8));   // the transparent bottom row
    EXPECT_EQ(Rgb(shot, 6, 6), PatternParent::At(16, 11));  // beyond the picture
    panel.SetTransparent(false);
    EXPECT_EQ(Rgb(Render(panel), 1, 1), kBlue);
}

TEST_F(ImagePanel, OpaquePanelDrawsThePictureWholeAndItsColourAround)
{
    TsuiImagePanel panel(&parent);
    panel.setGeometry(10, 5, 8, 8);
    panel.SetColor(0x00FFFF);   // yellow in 0x00BBGGRR
    panel.SetPicture(RedPictureWithBlueHoles());
    const QImage shot = Render(panel);
    EXPECT_EQ(Rgb(shot, 1, 1), kBlue);
    EXPECT_EQ(Rgb(shot, 0, 3), kBlue);
    EXPECT_EQ(Rgb(shot, 6, 6), kYellow);
}

TEST_F(ImagePanel, TransparentPanelWithoutPictureShowsParentAndCaptionOnly)
{
    TsuiImagePanel panel(&parent);
    panel.setGeometry(4, 4, 50, 30);
    panel.SetTransparent(true);
    panel.SetCaption("Hi");
    const QImage shot = Render(panel);
    const QRect caption = panel.CaptionRect();
    ASSERT_FALSE(caption.isEmpty());
    int differing = 0;
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 50; ++x) {
            const bool parentPixel = Rgb(shot, x, y) == PatternParent::At(x + 4, y + 4);
            if (!caption.contains(x, y)) {
                ASSERT_TRUE(parentPixel) << x << "," << y;
            }
            differing += !parentPixel;
        }
    }
    EXPECT_GT(differing, 5);   // the caption's ink
}

TEST_F(ImagePanel, PanelWithoutPictureIsFilledWithItsColour)
{
    TsuiImagePanel panel(&parent);
    panel.setGeometry(0, 0, 12, 9);
    panel.SetColor(0xFF0000);   // blue
    const QImage shot = Render(panel);
    for (QPoint p : {QPoint(0, 0), QPoint(11, 8), QPoint(6, 4)})
        EXPECT_EQ(Rgb(shot, p.x(), p.y()), kBlue);
}

TEST_F(ImagePanel, StretchCoversTheClientAndTileRepeatsFromTheOrigin)
{
    QImage quad(2, 2, QImage::Format_RGB32);
    quad.setPixel(0, 0, kRed);
    quad.setPixel(1, 0, kGreen);
    quad.setPixel(0, 1, kBlue);
    quad.setPixel(1, 1, kYellow);
    TsuiImagePanel panel(&parent);
    panel.setGeometry(0, 0, 20, 10);
    panel.SetPicture(quad);
    panel.SetDrawStyle(suiStretch);
    QImage shot = Render(panel);
    EXPECT_EQ(Rgb(shot, 2, 2), kRed);
    EXPECT_EQ(Rgb(shot, 17, 2), kGreen);
    EXPECT_EQ(Rgb(shot, 2, 8), kBlue);
    EXPECT_EQ(Rgb(shot, 17, 8), kYellow);

    panel.SetDrawStyle(suiTile);
    shot = Render(panel);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x)
            ASSERT_EQ(Rgb(shot, x, y), quad.pixel(x % 2, y % 2) | 0xFF000000) << x << "," << y;
}

TEST_F(ImagePanel, AutoSizeFollowsThePictureWhereTheAlignmentAllows)
{
    const QImage picture(7, 5, QImage::Format_RGB32);
    TsuiImagePanel free(&parent);
    free.resize(30, 30);
    free.SetAutoSize(true);
    free.SetPicture(picture);
    EXPECT_EQ(free.size(), QSize(7, 5));

    // Aligned panels share the parent: the top one takes its row first, the left one the
    // rest of the left edge, the client one what remains.
    TsuiImagePanel left(&parent);
    left.SetAlign(alLeft);
    left.SetAutoSize(true);
    left.SetPicture(picture);
    EXPECT_EQ(left.geometry(), QRect(0, 0, 7, parent.height()));

    TsuiImagePanel top(&parent);
    top.SetAlign(alTop);
    top.SetPicture(picture);
    top.SetAutoSize(true);   // turning AutoSize on adjusts at once
    EXPECT_EQ(top.geometry(), QRect(0, 0, parent.width(), 5));
    EXPECT_EQ(left.geometry(), QRect(0, 5, 7, parent.height() - 5));

    TsuiImagePanel client(&parent);
    client.SetAlign(alClient);
    client.SetAutoSize(true);
    client.SetPicture(picture);
    EXPECT_EQ(client.geometry(), QRect(7, 5, parent.width() - 7, parent.height() - 5));
}

TEST_F(ImagePanel, ClientAlignedPanelFollowsItsParent)
{
    TsuiImagePanel panel(&parent);
    panel.SetAlign(alClient);
    parent.show();
    parent.resize(90, 70);
    EXPECT_EQ(panel.geometry(), QRect(0, 0, 90, 70));
}

TEST_F(ImagePanel, CaptionIsAlignedOrWrittenAtItsPosition)
{
    TsuiImagePanel panel(&parent);
    panel.setGeometry(0, 0, 200, 40);
    panel.SetCaption("Caption");
    panel.SetAlignment(taLeftJustify);
    Render(panel);
    EXPECT_EQ(panel.CaptionRect().left(), 0);
    EXPECT_NEAR(panel.CaptionRect().center().y(), 20, 2);

    panel.SetAlignment(taRightJustify);
    Render(panel);
    EXPECT_EQ(panel.CaptionRect().right(), 199);
    panel.resize(300, 40);   // placed with the panel's size, before any paint
    EXPECT_EQ(panel.CaptionRect().right(), 299);
    panel.resize(200, 40);

    panel.SetAlignment(taCenter);
    Render(panel);
    EXPECT_NEAR(panel.CaptionRect().center().x(), 100, 2);

    panel.SetCaptionPosition(QPoint(13, 7));
    Render(panel);
    EXPECT_EQ(panel.CaptionRect().topLeft(), QPoint(13, 7));
}

TEST_F(ImagePanel, BlankCaptionDrawsNothingAndAChangeReportsTheOldRectangle)
{
    TsuiImagePanel panel(&parent);
    panel.setGeometry(0, 0, 80, 20);
    panel.SetColor(0x000000);
    panel.SetCaption("   ");
    const QImage shot = Render(panel);
    EXPECT_TRUE(panel.CaptionRect().isEmpty());
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 80; ++x)
            ASSERT_EQ(Rgb(shot, x, y), qRgb(0, 0, 0));

    panel.SetCaption("Text");
    Render(panel);
    const QRect drawn = panel.CaptionRect();
    QRect reported;
    QObject::connect(&panel, &TsuiCustomPanel::CaptionChanged, [&](const QRect& r) { reported = r; });
    panel.SetCaption("Other");
    EXPECT_EQ(reported, drawn);
}

