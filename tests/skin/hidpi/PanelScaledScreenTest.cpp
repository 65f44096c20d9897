// Skinned painting on a screen scaled by 2: the off-screen buffer has the screen's pixel
// density, so text is drawn at device resolution while skin bitmaps are scaled as a whole.
#include "skin/FormFrame.h"
#include "skin/ImagePanel.h"
#include "skin/TitleBar.h"

#include <QApplication>
#include <QFont>
#include <gtest/gtest.h>

using namespace parvelle;

namespace {

// The scale must be set before the application object exists; this binary runs alone.
QApplication& ScaledApplication()
{
    static int argc = 1;
    static char name[] = "skin_hidpi_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_SCALE_FACTOR", "2");
        return new QApplication(argc, argv);
    }();
    return *app;
}

// Whether every 2 x 2 block of device pixels in Rect (logical coordinates) is one colour,
// as it is when a ratio-1 picture was blown up.
bool Blocky(const QImage& shot, const QRect& rect)
{
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const QRgb c = shot.pixel(2 * x, 2 * y);
            if (shot.pixel(2 * x + 1, 2 * y) != c || shot.pixel(2 * x, 2 * y + 1) != c
                || shot.pixel(2 * x + 1, 2 * y + 1) != c)
                return false;
        }
    }
    return true;
}

} // namespace

TEST(ScaledScreen, CaptionIsDrawnAtDeviceResolution)
{
    ScaledApplication();
    TsuiImagePanel panel;
    panel.resize(120, 40);
    ASSERT_EQ(panel.devicePixelRatioF(), 2.0);
    panel.SetColor(clWhite);
    panel.setFont(QFont(QStringLiteral("DejaVu Sans"), 12));
    panel.SetCaption(QStringLiteral("Sharp text"));
    const QImage shot = panel.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shot.size(), QSize(240, 80));
    ASSERT_FALSE(panel.CaptionRect().isEmpty());
    EXPECT_FALSE(Blocky(shot, panel.CaptionRect()));
}

TEST(ScaledScreen, PictureIsScaledAsAWhole)
{
    ScaledApplication();
    QImage picture(4, 3, QImage::Format_RGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            picture.setPixel(x, y, qRgb(60 * x, 80 * y, 0x33));
    TsuiImagePanel panel;
    panel.resize(4, 3);
    panel.SetPicture(picture);
    const QImage shot = panel.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shot.size(), QSize(8, 6));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(shot.pixel(x, y), picture.pixel(x / 2, y / 2)) << x << "," << y;
}

TEST(ScaledScreen, TitleBarIconIsTheLargerPicture)
{
    ScaledApplication();
    QWidget form;
    form.resize(300, 120);
    auto* frame = new TsuiForm(&form);
    frame->SetUIStyle(WinXP);
    frame->SetTitleBarDrawAppIcon(true);
    form.show();
    TsuiTitleBar* bar = frame->TitleBar();
    const QRect icon = bar->Arrange(bar->width()).icon;
    ASSERT_FALSE(icon.isEmpty());
    // The 16-pixel picture blown up would fill every 2 x 2 block with one colour.
    const QImage shot = bar->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_FALSE(Blocky(shot, icon));
}
