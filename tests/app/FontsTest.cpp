// The window's fonts: names in any script are drawn with real glyphs.
#include "AppTestSupport.h"
#include "app/window/Fonts.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

using namespace parvelle;
using namespace parvelle::test;

namespace {
QImage Rendered(const QFont& font, const QString& text)
{
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(image.rect(), Qt::AlignCenter, text);
    return image;
}
} // namespace

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
