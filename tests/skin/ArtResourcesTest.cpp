// The built-in skin bitmaps: every resource the catalogue names loads at the size
// its consumers expect, and magenta sits exactly where they draw transparently.
#include "ThemeTestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <cstdlib>
#include <map>

using namespace parvelle;

namespace {

constexpr QRgb kMagenta = 0xFF00FF;

const TsuiUIStyle kStyles[] = {MacOS, WinXP, DeepBlue, Protein, BlueGlass};

// Width x height and slice count of each image item, as its consumer uses it.
struct Expected {
    int width;
    int height;
    int slices;
};
const std::map<int, Expected>& ExpectedItems()
{
    static const std::map<int, Expected> items = {
        {ThemeItem::ButtonImage, {54, 21, 3}},
        {ThemeItem::CheckBoxImage, {52, 13, 4}},
        {ThemeItem::RadioButtonImage, {52, 13, 4}},
        {ThemeItem::TitleBarButtonImage, {378, 21, 18}},
        {ThemeItem::TitleBarLeftImage, {35, 29, 1}},
        {ThemeItem::TitleBarClientImage, {37, 29, 1}},
        {ThemeItem::TitleBarRightImage, {35, 29, 1}},
        {ThemeItem::ProgressBarImage, {6, 10, 1}},
        {ThemeItem::TrackBarBarImage, {45, 8, 1}},
        {ThemeItem::TrackBarSliderImage, {11, 21, 1}},
        {ThemeItem::TrackBarSliderVImage, {22, 11, 1}},
        {ThemeItem::ScrollBarButtonImage, {96, 17, 6}},
        {ThemeItem::ScrollBarSliderImage, {21, 16, 3}},
        {ThemeItem::CheckListBoxImage, {44, 11, 4}},
        {ThemeItem::ScrollButtonImage, {72, 18, 4}},
        {ThemeItem::TabControlTabImage, {18, 18, 2}},
        {ThemeItem::TabControlBarImage, {8, 1, 1}},
        {ThemeItem::SideChannelHandleImage, {8, 86, 1}},
        {ThemeItem::SideChannelBarImage, {1, 21, 1}},
    };
    return items;
}

QImage Item(TsuiUIStyle style, int item)
{
    QImage image;
    LoadBuiltInThemeBitmap(style, item, image);
    return image;
}

bool IsMagenta(const QImage& image, int x, int y)
{
    return (image.pixel(x, y) & 0xFFFFFF) == kMagenta;
}

int MagentaCount(const QImage& image)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += IsMagenta(image, x, y);
    return n;
}

// Slice origins of an item strip.
std::vector<int> SliceLefts(const QImage& image, int slices)
{
    std::vector<int> lefts;
    for (int i = 0; i < slices; ++i)
        lefts.push_back(i * image.width() / slices);
    return lefts;
}

class ArtResources : public ::testing::Test {
protected:
    void SetUp() override { skintest::EnsureApplication(); }
};

} // namespace

TEST_F(ArtResources, EveryImageItemOfEveryStyleLoadsAtItsConsumersSize)
{
    for (TsuiUIStyle style : kStyles) {
        for (int item = 1; item <= kThemeItemCount; ++item) {
            if (ThemeItemKindOf(item) != ikImage)
                continue;
            ASSERT_TRUE(ExpectedItems().count(item)) << "item " << item << " has no expected size";
            const Expected want = ExpectedItems().at(item);
            const QImage image = Item(style, item);
            const QString name = BuiltInThemeImageName(style, item);
            ASSERT_FALSE(image.isNull()) << qPrintable(name) << " does not load";
            EXPECT_EQ(image.size(), QSize(want.width, want.height)) << qPrintable(name);
            EXPECT_EQ(image.width() % want.slices, 0) << qPrintable(name) << " does not split evenly";
        }
    }
}

TEST_F(ArtResources, FixedNameBitmapsAndIconLoad)
{
    const std::map<QString, QSize> fixed = {
        {"MACOS_FORM_BACKGROUND", {8, 8}}, {"PROTEIN_FORM_BACKGROUND", {8, 8}},
        {"MACOS_MENU_BAR", {1, 22}},       {"MACOS_MENU_SELECT", {1, 21}},
        {"MENU_CHECKED", {16, 16}},        {"MAINICON", {16, 16}},
        {"MAINICON_32", {32, 32}},         {"MAINICON_48", {48, 48}},
    };
    for (const auto& [name, size] : fixed)
        EXPECT_EQ(LoadSkinBitmap(name).size(), size) << qPrintable(name);
}

TEST_F(ArtResources, ApplicationIconHasThreeSizesWithTransparentCorners)
{
    const QIcon icon = ApplicationIcon();
    EXPECT_EQ(icon.availableSizes(), QList<QSize>({{16, 16}, {32, 32}, {48, 48}}));
    for (int size : {16, 32, 48}) {
        const QImage image = icon.pixmap(size, size).toImage();
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << size;
        EXPECT_EQ(qAlpha(image.pixel(size / 2, size / 2)), 255) << size;
    }
}

// Push-button faces go through DrawStretchedSkin: magenta is transparent in the edges and
// middle always, in the corners only for styles whose ButtonTransparentBool is set.
TEST_F(ArtResources, ButtonFacesHaveMagentaCornersOnlyInTransparentStyles)
{
    for (TsuiUIStyle style : kStyles) {
        const QImage face = Item(style, ThemeItem::ButtonImage);
        const bool transparent = GetBuiltInThemeBool(style, ThemeItem::ButtonTransparentBool);
        for (int left : SliceLefts(face, 3)) {
            EXPECT_EQ(IsMagenta(face, left, 0), transparent) << int(style) << " slice at " << left;
            EXPECT_EQ(IsMagenta(face, left + 17, 20), transparent) << int(style) << " slice at " << left;
            // The middle row, stretched into the edges and the middle, is face, never a hole.
            for (int x = left + 2; x < left + 16; ++x)
                EXPECT_FALSE(IsMagenta(face, x, 10)) << int(style) << " x " << x;
        }
        if (!transparent) {
            EXPECT_EQ(MagentaCount(face), 0) << int(style);
        }
    }
}

// Caption buttons use automatic transparency (the bottom-left pixel's colour) when the style's
// TitleBarButtonTransparentBool is set; the opaque ones carry the title bar behind them.
TEST_F(ArtResources, CaptionButtonsAreTransparentOrSitSeamlesslyOnTheTitleBar)
{
    for (TsuiUIStyle style : kStyles) {
        const QImage strip = Item(style, ThemeItem::TitleBarButtonImage);
        const bool transparent = GetBuiltInThemeBool(style, ThemeItem::TitleBarButtonTransparentBool);
        const QImage client = Item(style, ThemeItem::TitleBarClientImage);
        const int top = GetBuiltInThemeInt(style, ThemeItem::TitleBarButtonTopInt);
        for (int left : SliceLefts(strip, 18)) {
            EXPECT_EQ(IsMagenta(strip, left, 20), transparent) << int(style) << " slice at " << left;
            if (transparent)
                continue;
            for (int y = 0; y < 21; ++y)
                EXPECT_EQ(strip.pixel(left, y), client.pixel(10, top + y))
                    << int(style) << " slice at " << left << " row " << y;
        }
        if (!transparent) {
            EXPECT_EQ(MagentaCount(strip), 0) << int(style);
        }
    }
}

TEST_F(ArtResources, OpaquelyDrawnBitmapsHoldNoMagenta)
{
    const int opaque[] = {ThemeItem::CheckBoxImage,       ThemeItem::TitleBarLeftImage,
                          ThemeItem::TitleBarClientImage, ThemeItem::TitleBarRightImage,
                          ThemeItem::ScrollBarSliderImage, ThemeItem::CheckListBoxImage,
                          ThemeItem::TabControlBarImage,  ThemeItem::ProgressBarImage};
    for (TsuiUIStyle style : kStyles)
        for (int item : opaque)
            EXPECT_EQ(MagentaCount(Item(style, item)), 0) << int(style) << " item " << item;
    for (const char* name : {"MACOS_FORM_BACKGROUND", "PROTEIN_FORM_BACKGROUND", "MACOS_MENU_BAR",
                             "MACOS_MENU_SELECT", "MENU_CHECKED"})
        EXPECT_EQ(MagentaCount(LoadSkinBitmap(name)), 0) << name;
}

// Tabs are masked by their top-left pixel, scroll bar arrows (image buttons) by their
// top-left pixel also after rotation, strip scroll buttons by their bottom-left pixel.
TEST_F(ArtResources, KeyPixelsOfMaskedBitmapsAreMagenta)
{
    for (TsuiUIStyle style : kStyles) {
        const QImage tabs = Item(style, ThemeItem::TabControlTabImage);
        for (int left : SliceLefts(tabs, 2))
            EXPECT_TRUE(IsMagenta(tabs, left, 0)) << int(style);
        const QImage arrows = Item(style, ThemeItem::ScrollBarButtonImage);
        for (int left : SliceLefts(arrows, 6)) {
            EXPECT_TRUE(IsMagenta(arrows, left, 0)) << int(style);
            EXPECT_TRUE(IsMagenta(arrows, left + 15, 0)) << int(style);
        }
        const QImage strip = Item(style, ThemeItem::ScrollButtonImage);
        for (int left : SliceLefts(strip, 4))
            EXPECT_TRUE(IsMagenta(strip, left, 17)) << int(style);
    }
}

TEST_F(ArtResources, MenuCheckMarkIsDarkOnWhite)
{
    const QImage mark = LoadSkinBitmap("MENU_CHECKED");
    EXPECT_EQ(mark.pixel(0, 0) & 0xFFFFFF, 0xFFFFFFu);
    int ink = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            ink += qGray(mark.pixel(x, y)) < 80;
    EXPECT_GT(ink, 10);
}

TEST_F(ArtResources, StylesLookDifferentAndFollowTheirCatalogueColours)
{
    // WinXP's title bar ends in its strong blue border colour.
    const QImage xp = Item(WinXP, ThemeItem::TitleBarClientImage);
    EXPECT_EQ(ToTColor(xp.pixel(5, 28)), GetBuiltInThemeColor(WinXP, ThemeItem::FormBorderColor));
    // MacOS is light grey, DeepBlue dark.
    EXPECT_GT(qGray(Item(MacOS, ThemeItem::TitleBarClientImage).pixel(5, 14)), 180);
    EXPECT_LT(qGray(Item(DeepBlue, ThemeItem::TitleBarClientImage).pixel(5, 14)), 70);
    // The tab line is each style's control border colour.
    for (TsuiUIStyle style : kStyles)
        EXPECT_EQ(ToTColor(Item(style, ThemeItem::TabControlBarImage).pixel(3, 0)),
                  GetBuiltInThemeColor(style, ThemeItem::ControlBorderColor));
}

namespace {

const QString kGenerator = QStringLiteral(PARVELLE_BIN_DIR "/parvelle-artgen");

struct RunResult {
    int exitCode;
    QString errors;
};

RunResult RunGenerator(const QStringList& args)
{
    QProcess run;
    run.start(kGenerator, args);
    if (!run.waitForFinished(60000))
        return {-1, QStringLiteral("timed out")};
    return {run.exitStatus() == QProcess::NormalExit ? run.exitCode() : -1,
            QString::fromLocal8Bit(run.readAllStandardError())};
}

} // namespace

// Whether two drawings agree: same size, magenta in the same places, and every other
// channel within one or two levels (Qt's antialiasing rounds differently per CPU's
// vector instructions).
bool SameDrawing(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return false;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y) & 0xFFFFFF, q = b.pixel(x, y) & 0xFFFFFF;
            if ((p == kMagenta) != (q == kMagenta) || std::abs(qRed(p) - qRed(q)) > 2
                || std::abs(qGreen(p) - qGreen(q)) > 2 || std::abs(qBlue(p) - qBlue(q)) > 2)
                return false;
        }
    return true;
}

// The checked-in bitmaps are what the generator draws.
TEST_F(ArtResources, CheckedInArtworkMatchesTheGenerator)
{
    ASSERT_TRUE(QFile::exists(kGenerator)) << "parvelle-artgen is not built";
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    const RunResult run = RunGenerator({out.path()});
    ASSERT_EQ(run.exitCode, 0) << qPrintable(run.errors);
    const QDir checkedIn(QStringLiteral(PARVELLE_SOURCE_DIR "/src/skin/resources"));
    const QStringList drawn = QDir(out.path()).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(drawn, checkedIn.entryList(QDir::Files, QDir::Name));
    for (const QString& file : drawn) {
        const QString generated = QDir(out.path()).filePath(file), kept = checkedIn.filePath(file);
        if (file.endsWith(QLatin1String(".bmp"))) {
            const QImage a(generated), b(kept);
            ASSERT_FALSE(a.isNull() || b.isNull()) << qPrintable(file);
            EXPECT_TRUE(SameDrawing(a, b)) << qPrintable(file) << " differs from the generator's";
        } else {
            QFile a(generated), b(kept);
            ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly)) << qPrintable(file);
            EXPECT_TRUE(a.readAll() == b.readAll()) << qPrintable(file) << " differs from the generator's";
        }
    }
}

TEST_F(ArtResources, GeneratorDrawsAContactSheetAndRefusesBadOutput)
{
    ASSERT_TRUE(QFile::exists(kGenerator)) << "parvelle-artgen is not built";
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    const QString sheet = QDir(out.path()).filePath("sheet.png");
    ASSERT_EQ(RunGenerator({QDir(out.path()).filePath("art"), "--contact-sheet", sheet}).exitCode, 0);
    const QImage image(sheet);
    EXPECT_EQ(image.width(), 1240);
    EXPECT_GT(image.height(), 2000);

    QFile blocker(QDir(out.path()).filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const RunResult bad = RunGenerator({QDir(out.path()).filePath("file/sub")});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_TRUE(bad.errors.contains("cannot create")) << qPrintable(bad.errors);
    const RunResult usage = RunGenerator({out.path(), "--bogus"});
    EXPECT_EQ(usage.exitCode, 1);
    EXPECT_TRUE(usage.errors.contains("usage")) << qPrintable(usage.errors);
}
