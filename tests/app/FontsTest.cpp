// The window's fonts: names in any script are drawn with real glyphs.
#include "AppTestSupport.h"
#include "app/window/Fonts.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

using namespace parvelle;
using namespace parvelle::test;

namespace {
QImage Rendered(const QFont& font, const QString& text, QSize size = QSize(40, 30))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(image.rect(), Qt::AlignCenter, text);
    return image;
}

// Darkness summed over every pixel: how much ink a text leaves.
qint64 Ink(const QImage& image)
{
    qint64 ink = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            ink += 255 - qGray(image.pixel(x, y));
    }
    return ink;
}
} // namespace

TEST(WindowFonts, BoldTextHasHeavierStrokes)
{
    EnsureApp();
    RegisterWindowFonts();
    const QString text = QStringLiteral("KeyName In Add/Remove");
    for (const QString& family : {QStringLiteral("MS Sans Serif"), QStringLiteral("Tahoma"), QStringLiteral("Arial")}) {
        const qint64 regular = Ink(Rendered(DesignFont(family, 11), text, QSize(200, 20)));
        const qint64 bold = Ink(Rendered(DesignFont(family, 11, true), text, QSize(200, 20)));
        EXPECT_GT(bold, regular * 5 / 4) << family.toStdString();
    }
}

// A missing glyph is drawn as the same empty box for every character, so two different
// characters that render alike have no glyph in any font the family falls back to.
TEST(WindowFonts, CjkNamesFallBackToAFontWithTheirGlyphs)
{
    EnsureApp();
    RegisterWindowFonts();
    const QStringList families = {QStringLiteral("MS Sans Serif"), QStringLiteral("Tahoma"), QStringLiteral("Arial"),
                                  QStringLiteral("Arial Narrow")};
    for (const QString& family : families) {
        const QFont font = DesignFont(family, 11);
        const QImage ni = Rendered(font, QString::fromUtf8("日"));
        EXPECT_NE(ni, Rendered(font, QString::fromUtf8("本"))) << family.toStdString();
        EXPECT_NE(ni, Rendered(font, QString::fromUtf8("ワ"))) << family.toStdString();
        EXPECT_NE(ni, Rendered(font, QString::fromUtf8("한"))) << family.toStdString();
        EXPECT_NE(ni, Rendered(font, QString())) << family.toStdString();
    }
}
