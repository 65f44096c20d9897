// The pictures of docs/ against a fresh drawing by the programs that made them: a change of
// the look that was not drawn again into docs/ fails here.
#include "AppTestSupport.h"

#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <algorithm>

using namespace parvelle::test;

namespace {

// Font rendering may shade an edge pixel a little differently on another machine; a pixel
// counts as changed only beyond this in some channel, and a few such pixels are allowed.
constexpr int kShadeTolerance = 48;
constexpr qsizetype kChangedPixelsPerMillion = 200;

struct PictureChange {
    qsizetype pixels = 0;
    QRect bounds;
};

PictureChange ChangedPixels(const QImage& kept, const QImage& fresh)
{
    const QImage a = kept.convertToFormat(QImage::Format_ARGB32);
    const QImage b = fresh.convertToFormat(QImage::Format_ARGB32);
    PictureChange change;
    for (int y = 0; y < a.height(); ++y) {
        const auto* rowA = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* rowB = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = rowA[x];
            const QRgb q = rowB[x];
            const int shade = std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                        std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
            if (shade > kShadeTolerance) {
                ++change.pixels;
                change.bounds |= QRect(x, y, 1, 1);
            }
        }
    }
    return change;
}

TEST(DocPictures, EachMatchesAFreshDrawing)
{
    QTemporaryDir fresh;
    const ProcessRun drawing = RunProcess(QStringLiteral("sh"),
        {QStringLiteral(PARVELLE_SOURCE_DIR "/tools/docs-pictures.sh"), QStringLiteral(PARVELLE_BIN_DIR), fresh.path()});
    ASSERT_TRUE(drawing.finished && drawing.exitCode == 0) << drawing.errors.toStdString();

    const QDir docs(QStringLiteral(PARVELLE_SOURCE_DIR "/docs"));
    const QStringList pictures = docs.entryList({QStringLiteral("*.png")}, QDir::Files);
    ASSERT_FALSE(pictures.isEmpty());
    EXPECT_EQ(QDir(fresh.path()).entryList({QStringLiteral("*.png")}, QDir::Files), pictures)
        << "every picture of docs/ is drawn by tools/docs-pictures.sh, and only those";
    for (const QString& name : pictures) {
        SCOPED_TRACE(name.toStdString());
        const QImage kept(docs.filePath(name));
        const QImage redrawn(QDir(fresh.path()).filePath(name));
        ASSERT_FALSE(redrawn.isNull()) << "not drawn by tools/docs-pictures.sh";
        ASSERT_EQ(kept.size(), redrawn.size()) << "redraw docs/ with the docs-pictures target";
        const PictureChange change = ChangedPixels(kept, redrawn);
        const QRect& at = change.bounds;
        EXPECT_LE(change.pixels * 1'000'000, kChangedPixelsPerMillion * kept.width() * kept.height())
            << change.pixels << " pixels changed within " << at.width() << "x" << at.height() << "+" << at.x() << "+"
            << at.y() << "; redraw docs/ with the docs-pictures target";
    }
}

} // namespace
