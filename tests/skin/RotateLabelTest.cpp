// TRotateLabel: escapement rules, the text origin in every quadrant, and the drawn text's
// place, 3-D copies and colours checked on real renders.
#include "ButtonWidgetsSupport.h"
#include "skin/RotateLabel.h"

#include <QPainter>
#include <cmath>
#include <gtest/gtest.h>

using namespace parvelle;
using namespace skintest;

namespace {

constexpr TColor Paper = 0x563412;   // none of the system colours

QFont SharpFont(int pixelSize)
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(pixelSize);
    font.setBold(true);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

RotateLabelLook Look(int escapement, QSize size, TAlignment alignment = taLeftJustify)
{
    RotateLabelLook look;
    look.size = size;
    look.caption = QStringLiteral("HHHH");
    look.font = SharpFont(20);
    look.color = ToQColor(Paper);
    look.escapement = escapement;
    look.textStyle = tsNone;
    look.alignment = alignment;
    return look;
}

QImage Render(const RotateLabelLook& look)
{
    QImage canvas = FilledImage(look.size.width(), look.size.height(), 0x00FF00);
    QPainter painter(&canvas);
    PaintRotateLabel(painter, look);
    return canvas;
}

// Bounding box of the pixels in Colour.
QRect InkOf(const QImage& image, TColor colour)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (PixelAt(image, x, y) == colour)
                box |= QRect(x, y, 1, 1);
    return box;
}

int TextWidth()
{
    return QFontMetrics(SharpFont(20)).horizontalAdvance(QStringLiteral("HHHH"));
}

int TextHeight()
{
    return QFontMetrics(SharpFont(20)).height();
}

class RotateLabel : public WithApplication {};

} // namespace

TEST_F(RotateLabel, EscapementIsKeptWithinZeroTo360)
{
    EXPECT_EQ(NormalizedEscapement(-10), 350);
    EXPECT_EQ(NormalizedEscapement(-370), 350);
    EXPECT_EQ(NormalizedEscapement(-360), 0);
    EXPECT_EQ(NormalizedEscapement(360), 360);
    EXPECT_EQ(NormalizedEscapement(361), 1);
    EXPECT_EQ(NormalizedEscapement(720), 360);
    EXPECT_EQ(NormalizedEscapement(45), 45);

    TestForm form;
    TRotateLabel label(&form);
    EXPECT_EQ(label.Escapement(), 45);
    EXPECT_EQ(label.TextStyle(), tsRaised);
    EXPECT_EQ(label.font().family(), QStringLiteral("Arial"));
    label.SetEscapement(-10);
    EXPECT_EQ(label.Escapement(), 350);
}

TEST_F(RotateLabel, OriginPutsTheTurnedCellsTopLeftCornerAtTheRectangle)
{
    const int w = 100, h = 20;
    EXPECT_EQ(RotatedTextOrigin(45, w, h), QPoint(0, int(std::trunc(std::sin(M_PI / 4) * w))));
    EXPECT_EQ(RotatedTextOrigin(90, w, h), QPoint(0, 100));
    EXPECT_EQ(RotatedTextOrigin(180, w, h), QPoint(100, 20));
    EXPECT_EQ(RotatedTextOrigin(270, w, h), QPoint(20, 0));
    EXPECT_EQ(RotatedTextOrigin(350, w, h), QPoint(int(std::trunc(std::sin(M_PI / 18) * h)), 0));
    EXPECT_EQ(RotatedTextOrigin(135, w, h), QPoint(70, 84));   // 70.7 and 70.7 + 14.1
    EXPECT_EQ(RotatedTextOrigin(225, w, h), QPoint(84, 14));
    EXPECT_EQ(RotatedTextSize(270, w, h), QSize(20, 100));
    EXPECT_EQ(RotatedTextSize(45, w, h), QSize(70 + 14, 70 + 14));
}

TEST_F(RotateLabel, At270CentredTheTextRunsDownACentredColumn)
{
    const QImage shot = Render(Look(270, QSize(33, 120), taCenter));
    const QRect ink = InkOf(shot, clBlack);
    const int h = TextHeight();
    const int left = (33 - h) / 2;
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_GE(ink.left(), left);
    EXPECT_LT(ink.right(), left + h);
    EXPECT_LT(ink.top(), 4) << "from the top";
    EXPECT_GT(ink.height(), ink.width()) << "running downward";
    EXPECT_LE(ink.bottom(), TextWidth());
}

TEST_F(RotateLabel, At45TheTextStartsAtTheLeftEdgeBelowTheTopAndRises)
{
    const QImage shot = Render(Look(45, QSize(120, 120)));
    const QRect ink = InkOf(shot, clBlack);
    const int dy = int(std::trunc(0.70710678 * TextWidth()));
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_LE(ink.left(), 4);
    EXPECT_LE(ink.bottom(), dy + int(0.7072 * TextHeight()) + 1);
    EXPECT_GT(ink.bottom(), dy - 4) << "begins about " << dy << " below the top";
    // Rising: the ink at the left lies lower than the ink at the right.
    auto lowestInkIn = [&](int x0, int x1) {
        int lowest = -1;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = x0; x < x1; ++x)
                if (PixelAt(shot, x, y) == clBlack)
                    lowest = y;
        return lowest;
    };
    EXPECT_GT(lowestInkIn(ink.left(), ink.left() + 10), lowestInkIn(ink.right() - 10, ink.right() + 1));
}

TEST_F(RotateLabel, At350TheTextFallsSlightlyToTheRight)
{
    const QImage shot = Render(Look(350, QSize(140, 60)));
    const QRect ink = InkOf(shot, clBlack);
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_LE(ink.left(), int(std::trunc(std::sin(M_PI / 18) * TextHeight())) + 3);
    EXPECT_LE(ink.top(), 8);
    auto topInkIn = [&](int x0, int x1) {
        for (int y = 0; y < shot.height(); ++y)
            for (int x = x0; x < x1; ++x)
                if (PixelAt(shot, x, y) == clBlack)
                    return y;
        return -1;
    };
    EXPECT_GT(topInkIn(ink.right() - 10, ink.right() + 1), topInkIn(ink.left(), ink.left() + 10) + 5);
}

TEST_F(RotateLabel, AtZeroTheTextIsLaidOutLikeALabel)
{
    RotateLabelLook look = Look(0, QSize(200, 60), taCenter);
    QImage shot = Render(look);
    QRect ink = InkOf(shot, clBlack);
    EXPECT_NEAR(ink.center().x(), 100, 2) << "centred";
    EXPECT_LT(ink.top(), 8) << "top-aligned";

    look.alignment = taLeftJustify;
    look.caption = QStringLiteral("HHHH HHHH HHHH HHHH");
    look.size = QSize(120, 80);
    look.wordWrap = true;
    ink = InkOf(Render(look), clBlack);
    EXPECT_GT(ink.height(), 2 * TextHeight()) << "wrapped onto several lines";

    look.wordWrap = false;
    look.caption = QStringLiteral("&H");
    const QRect underlined = InkOf(Render(look), clBlack);
    look.showAccelChar = false;
    const QRect literal = InkOf(Render(look), clBlack);
    EXPECT_LT(underlined.width(), literal.width()) << "the & becomes an underline, not a character";
}

TEST_F(RotateLabel, RaisedAndRecessedSwapTheLightAndDarkCopies)
{
    RotateLabelLook look = Look(0, QSize(120, 40));
    look.textStyle = tsRaised;
    const QImage raised = Render(look);
    look.textStyle = tsRecessed;
    const QImage recessed = Render(look);
    const QRect text = InkOf(raised, clBlack);
    const TColor shadow = ColorToRGB(clBtnShadow), light = ColorToRGB(clBtnHighlight);
    ASSERT_NE(shadow, light);
    // Right of and below the text: the copy moved (+1, +1).
    EXPECT_EQ(InkOf(raised, shadow).bottomRight(), text.bottomRight() + QPoint(1, 1));
    EXPECT_EQ(InkOf(raised, light).topLeft(), text.topLeft() - QPoint(1, 1));
    EXPECT_EQ(InkOf(recessed, light).bottomRight(), text.bottomRight() + QPoint(1, 1));
    EXPECT_EQ(InkOf(recessed, shadow).topLeft(), text.topLeft() - QPoint(1, 1));

    look.enabled = false;
    const QImage disabled = Render(look);
    EXPECT_TRUE(InkOf(disabled, clBlack).isEmpty());
    EXPECT_FALSE(InkOf(disabled, ColorToRGB(clGrayText)).isEmpty());
    EXPECT_EQ(InkOf(disabled, light).bottomRight(), text.bottomRight() + QPoint(1, 1)) << "copies unchanged";
}

TEST_F(RotateLabel, AutoSizeTakesTheTurnedTextsSize)
{
    TestForm form;
    TRotateLabel label(&form);
    label.setFont(SharpFont(20));
    label.SetCaption(QStringLiteral("HHHH"));
    label.SetEscapement(270);
    EXPECT_EQ(label.size(), RotatedTextSize(270, TextWidth(), TextHeight()));
    label.SetAutoSize(false);
    label.SetEscapement(0);
    EXPECT_EQ(label.size(), QSize(TextHeight(), TextWidth()));
}
