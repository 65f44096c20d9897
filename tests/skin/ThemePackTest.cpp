// Theme folders packed into theme files and unpacked again, with their error messages.
#include "theme/ThemePack.h"
#include "ThemeFileBytes.h"
#include "ThemeTestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

using namespace parvelle;
using namespace skintest;

namespace {

void Write(const QString& path, const QByteArray& content)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(content), content.size());
}

QByteArray Read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The message of the EParvelleError that `action` raises ("" when none).
template <typename Action>
std::string ErrorOf(Action action)
{
    try {
        action();
    } catch (const EParvelleError& error) {
        return error.what();
    }
    return "";
}

class ThemeFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        folder = dir.filePath("theme");
        QDir().mkpath(folder);
    }
    QString In(const QString& name) const { return folder + "/" + name; }
    void Values(const QByteArray& text) { Write(In("values.txt"), text); }

    QTemporaryDir dir;
    QString folder;
};

} // namespace

TEST_F(ThemeFolder, PackedFolderIsReadByTheFileTheme)
{
    const QImage strip = CoordinateImage(378, 21);
    Write(In("TitleBarButtonImage.bmp"), BmpBytes(strip));
    Values("# blue frame\n"
           "[Integers]\n"
           "FormBorderColor = 0xFF0000\r\n"
           "FormBorderWidthInt=-2\n"
           "\n"
           "[Booleans]\n"
           "ButtonTransparentBool=True\n"
           "TitleBarButtonTransparentBool=0\n"
           "[Texts]\n"
           "Author= A \\\\ B\\n\n");
    const QString out = dir.filePath("blue.theme");
    const ThemePackCounts counts = PackThemeFolder(folder, out).counts;
    EXPECT_EQ(counts.images, 1);
    EXPECT_EQ(counts.integers, 2);
    EXPECT_EQ(counts.booleans, 2);
    EXPECT_EQ(counts.texts, 1);

    TsuiFileTheme theme;
    theme.SetThemeFile(out);
    ASSERT_TRUE(theme.CanUse());
    EXPECT_EQ(theme.GetColor(ThemeItem::FormBorderColor), 0xFF0000u);
    EXPECT_EQ(theme.GetInt(ThemeItem::FormBorderWidthInt), -2);
    EXPECT_TRUE(theme.GetBool(ThemeItem::ButtonTransparentBool));
    EXPECT_FALSE(theme.GetBool(ThemeItem::TitleBarButtonTransparentBool));
    QImage slice;
    ASSERT_TRUE(theme.GetBitmapSlice(ThemeItem::TitleBarButtonImage, slice, 10, 18));
    EXPECT_EQ(slice, strip.copy(189, 0, 21, 21));
    EXPECT_EQ(theme.Manager().Reader()->Texts(), ThemeValues({{"Author", " A \\ B\n"}}));
}

TEST_F(ThemeFolder, UnpackThenPackGivesTheSameFile)
{
    Write(In("ButtonImage.bmp"), BmpBytes(CoordinateImage(54, 21)));
    Write(In("Extra.BMP"), BmpBytes(CoordinateImage(3, 3)));
    Values("[Integers]\nFormBackgroundColor=0xDEEBEF\nFormMinWidthInt=150\nBig=4294967295\n"
           "[Booleans]\nTitleBarButtonTransparentBool=7\n"
           "[Texts]\nNote=tab\\there\\r\\n\n");
    const QString first = dir.filePath("first.theme");
    PackThemeFolder(folder, first);

    const QString unpacked = dir.filePath("unpacked");
    const ThemeUnpackResult result = UnpackThemeFile(first, unpacked);
    EXPECT_TRUE(result.damageNote.isEmpty());
    EXPECT_EQ(result.counts.images, 2);
    EXPECT_EQ(result.counts.integers, 3);
    const QString values = QString::fromUtf8(Read(unpacked + "/values.txt"));
    EXPECT_TRUE(values.contains("FormBackgroundColor=0xDEEBEF\n"));
    EXPECT_TRUE(values.contains("Big=-1\n"));
    EXPECT_TRUE(values.contains("TitleBarButtonTransparentBool=7\n"));

    const QString second = dir.filePath("second.theme");
    PackThemeFolder(unpacked, second);
    EXPECT_EQ(Read(second), Read(first));
}

TEST_F(ThemeFolder, FaultsNameTheirFileAndLine)
{
    const QString out = dir.filePath("out.theme");
    auto pack = [&] { PackThemeFolder(folder, out); };
    Values("FormMinWidthInt=1\n");
    EXPECT_EQ(ErrorOf(pack), "values.txt line 1: value before any section");
    Values("[Integers]\n[Colours]\n");
    EXPECT_EQ(ErrorOf(pack), "values.txt line 2: unknown section [Colours]");
    Values("[Integers]\nFormMinWidthInt=wide\n");
    EXPECT_EQ(ErrorOf(pack), "values.txt line 2: 'wide' is not a 32-bit integer");
    Values("[Integers]\nFormMinWidthInt=4294967296\n");
    EXPECT_EQ(ErrorOf(pack), "values.txt line 2: '4294967296' is not a 32-bit integer");
    Values("[Integers]\nFormBorderColor=0xFFFFFFFFFFFFFFFF\n");
    EXPECT_EQ(ErrorOf(pack), "values.txt line 2: '0xFFFFFFFFFFFFFFFF' is not a 32-bit integer");
    Values("[Integers]\nButtonImage=1\n");
    EXPECT_EQ(ErrorOf(pack), "values.txt line 2: ButtonImage belongs in ButtonImage.bmp");
    Values("[Booleans]\nFormBorderColor=1\n");
    EXPECT_EQ(ErrorOf(pack), "values.txt line 2: FormBorderColor belongs under [Integers]");
    Values("[Booleans]\nButtonTransparentBool=256\n");
    EXPECT_EQ(ErrorOf(pack), "values.txt line 2: '256' is not True, False or 0-255");
    Values("[Integers]\nFormMinWidthInt=1\nformminwidthint=2\n");
    EXPECT_EQ(ErrorOf(pack), "values.txt line 3: formminwidthint appears twice");
    Values("[Texts]\nNote=\\q\n");
    EXPECT_EQ(ErrorOf(pack), "values.txt line 2: unknown escape '\\q'");
    Values("[Integers]\nno equals sign\n");
    EXPECT_EQ(ErrorOf(pack), "values.txt line 2: expected Name=Value");
    Values("");
    Write(In("FormBorderColor.bmp"), BmpBytes(CoordinateImage(2, 2)));
    EXPECT_EQ(ErrorOf(pack), "FormBorderColor.bmp: FormBorderColor belongs under [Integers]");
    QFile::remove(In("FormBorderColor.bmp"));
    Write(In("ButtonImage.bmp"), "BM but not a bitmap");
    EXPECT_EQ(ErrorOf(pack), "ButtonImage.bmp is not a BMP file");
    EXPECT_FALSE(QFile::exists(out));   // no fault leaves a theme file behind
    EXPECT_EQ(ErrorOf([&] { PackThemeFolder(dir.filePath("missing"), out); }),
              "Theme folder '" + dir.filePath("missing").toStdString() + "' does not exist");
}

TEST_F(ThemeFolder, PackNamesWhatItSkipsAndRefusesAnEmptyTheme)
{
    const QString out = dir.filePath("out.theme");
    Write(In(".hidden.bmp"), BmpBytes(CoordinateImage(2, 2)));
    Write(In("notes.md"), "mine");
    Write(In("Values.TXT"), "[Integers]\nFormMinWidthInt=1\n");
    QDir(folder).mkdir("more");
    EXPECT_EQ(ErrorOf([&] { PackThemeFolder(folder, out); }),
              "Theme folder '" + folder.toStdString() + "' holds no <Entry>.bmp file and no value in values.txt: "
              "no theme file written");
    EXPECT_FALSE(QFile::exists(out));

    Write(In("ButtonImage.bmp"), BmpBytes(CoordinateImage(6, 3)));
    const ThemePackResult result = PackThemeFolder(folder, out);
    EXPECT_EQ(result.counts.images, 1);
    EXPECT_EQ(result.counts.integers, 0);
    EXPECT_EQ(result.skipped, QStringList({".hidden.bmp: hidden file",
                                           "Values.TXT: the values file must be named values.txt",
                                           "more: folder", "notes.md: neither <Entry>.bmp nor values.txt"}));
    EXPECT_EQ(TsuiThemeFileReader(out).EntryCount(), 1);
}

TEST_F(ThemeFolder, UnpackOfAFileThatIsNoThemeLeavesNoFolder)
{
    const QString file = dir.filePath("photo.jpg");
    Write(file, QByteArray("\xFF\xD8\xFF\xE0 not a theme at all"));
    const QString target = dir.filePath("out");
    EXPECT_EQ(ErrorOf([&] { UnpackThemeFile(file, target); }),
              "'" + file.toStdString() + "' is not a theme file: the header holds no directory offset");
    EXPECT_FALSE(QFileInfo::exists(target));
}

// A write that fails part-way (here: past the process's file size limit) takes back the
// files already written and the folder it made.
TEST_F(ThemeFolder, UnpackThatFailsPartWayRemovesWhatItWrote)
{
    const QString file = dir.filePath("big.theme");
    Write(file, BuildThemeFile({{"A", teImage, QByteArray(100, 'a')}, {"B", teImage, QByteArray(100000, 'b')}}));
    const QString target = dir.filePath("out");
    const auto previousSignal = std::signal(SIGXFSZ, SIG_IGN);
    rlimit previousLimit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previousLimit), 0);
    rlimit small = previousLimit;
    small.rlim_cur = 50000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string error = ErrorOf([&] { UnpackThemeFile(file, target); });
    setrlimit(RLIMIT_FSIZE, &previousLimit);
    std::signal(SIGXFSZ, previousSignal);
    EXPECT_TRUE(error.starts_with("Cannot write '" + target.toStdString() + "/B.bmp'")) << error;
    EXPECT_FALSE(QFileInfo::exists(target));
}

TEST_F(ThemeFolder, UnpackNeverOverwritesAndRejectsHostileNames)
{
    const QString file = dir.filePath("t.theme");
    Write(file, ValidTheme());
    Write(In("keep.txt"), "mine");
    EXPECT_EQ(ErrorOf([&] { UnpackThemeFile(file, folder); }),
              "Folder '" + folder.toStdString() + "' is not empty");
    EXPECT_EQ(Read(In("keep.txt")), "mine");

    for (const QByteArray& name : {QByteArray("../escape"), QByteArray(".."), QByteArray("a\\b")}) {
        ThemeBytes bytes;
        const uint32_t data = bytes.appendData(BmpBytes(CoordinateImage(2, 2)));
        const uint32_t e1 = bytes.nextEntryOffset(0), e2 = bytes.nextEntryOffset(1);
        bytes.setFirst(e1);
        bytes.entry(e1, name, teImage, data, uint32_t(bytes.content.size() - data), e2);
        bytes.entry(e2, "", 0, 0, 0, 0);
        const QString hostile = dir.filePath("hostile.theme");
        Write(hostile, bytes.content);
        const QString target = dir.filePath("out-" + QString::number(qHash(name)));
        EXPECT_NE(ErrorOf([&] { UnpackThemeFile(hostile, target); }), "") << name.constData();
        EXPECT_FALSE(QFileInfo::exists(target));   // nothing written at all
    }
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("escape.bmp")));
}

TEST_F(ThemeFolder, UnpackOfADamagedFileKeepsWhatWasRead)
{
    const QString file = dir.filePath("damaged.theme");
    Write(file, LoopingChain(2));
    const QString target = dir.filePath("out");
    const ThemeUnpackResult result = UnpackThemeFile(file, target);
    EXPECT_FALSE(result.damageNote.isEmpty());
    EXPECT_EQ(result.counts.integers, 2);
    EXPECT_EQ(Read(target + "/values.txt"), "[Integers]\nItem0=1\nItem1=1\n");
}
