// Theme files: writer and reader round trip, damaged directories, the file theme component.
#include "skin/ThemeFile.h"
#include "ThemeFileBytes.h"
#include "ThemeTestSupport.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUuid>
#include <QtEndian>
#include <gtest/gtest.h>

using namespace parvelle;
using namespace skintest;

namespace {

QString WriteFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        ADD_FAILURE() << "cannot write " << path.toStdString();
    return path;
}

} // namespace

TEST(ThemeFileWriter, RoundTripOfAllFourKinds)
{
    const QByteArray bmp = BmpBytes(CoordinateImage(6, 4));
    const QByteArray file = BuildThemeFile({
        {"ButtonImage", teImage, bmp},
        {"FormBorderWidthInt", teInteger, ThemeIntegerData(-5)},
        {"ButtonTransparentBool", teBoolean, ThemeBooleanData(true)},
        {"Author", teText, "Parvelle tests"},
    });
    EXPECT_EQ(qFromLittleEndian<uint32_t>(file.constData() + 12), 24u);
    // Four entries and the terminating one, 77 bytes each, end the file.
    const uint32_t directory = qFromLittleEndian<uint32_t>(file.constData() + 20);
    EXPECT_EQ(file.size(), qsizetype(directory) + 5 * 77);
    EXPECT_EQ(qFromLittleEndian<uint32_t>(file.constData() + file.size() - 4), 0u);

    const TsuiThemeFileReader reader(file);
    ASSERT_NE(reader.GetStream("buttonimage"), nullptr);
    EXPECT_EQ(*reader.GetStream("ButtonImage"), bmp);
    EXPECT_EQ(reader.GetInt("FormBorderWidthInt"), -5);
    EXPECT_TRUE(reader.GetBool("BUTTONTRANSPARENTBOOL"));
    EXPECT_EQ(reader.Texts(), ThemeValues({{"Author", "Parvelle tests"}}));
    EXPECT_EQ(reader.Integers(), ThemeValues({{"FormBorderWidthInt", "-5"}}));
    EXPECT_EQ(reader.Booleans(), ThemeValues({{"ButtonTransparentBool", "1"}}));
    EXPECT_TRUE(reader.DamageNote().isEmpty());
}

TEST(ThemeFileWriter, RejectsNamesThatDoNotFitTheField)
{
    EXPECT_THROW(BuildThemeFile({{"", teInteger, ThemeIntegerData(1)}}), EParvelleError);
    EXPECT_THROW(BuildThemeFile({{QString(65, 'a'), teInteger, ThemeIntegerData(1)}}),
                 EParvelleError);
    EXPECT_THROW(BuildThemeFile({{QString::fromUtf8("Farbe\u20AC"), teInteger, ThemeIntegerData(1)}}),
                 EParvelleError);
    // A name of exactly 64 characters fills the field without a terminating zero.
    const TsuiThemeFileReader reader(BuildThemeFile({{QString(64, 'b'), teInteger, ThemeIntegerData(9)}}));
    EXPECT_EQ(reader.GetInt(QString(64, 'b')), 9);
}

TEST(ThemeFileReader, DirectoryOfOneEntryYieldsNothing)
{
    const TsuiThemeFileReader empty(BuildThemeFile({}));
    EXPECT_EQ(empty.EntryCount(), 0);
    EXPECT_TRUE(empty.DamageNote().isEmpty());

    // A single entry that looks real but ends the chain is not processed either.
    ThemeBytes bytes;
    bytes.entry(bytes.first(), "FormBorderWidthInt", teInteger, bytes.appendData(ThemeIntegerData(4)), 4, 0);
    const TsuiThemeFileReader single(bytes.content);
    EXPECT_EQ(single.EntryCount(), 0);
    EXPECT_EQ(single.GetInt("FormBorderWidthInt"), -1);
}

TEST(ThemeFileReader, MissingOrNonNumericValues)
{
    ThemeBytes bytes;
    const uint32_t two = bytes.appendData(QByteArray(1, '\2'));
    const uint32_t zero = bytes.appendData(QByteArray(1, '\0'));
    const uint32_t e1 = bytes.nextEntryOffset(0), e2 = bytes.nextEntryOffset(1),
                   e3 = bytes.nextEntryOffset(2), e4 = bytes.nextEntryOffset(3);
    bytes.entry(e1, "TwoBool", teBoolean, two, 1, e2);
    bytes.entry(e2, "ZeroBool", teBoolean, zero, 1, e3);
    bytes.entry(e3, "twobool", teBoolean, zero, 1, e4);   // later duplicate: ignored
    bytes.entry(e4, "", 0, 0, 0, 0);
    bytes.setFirst(e1);
    const TsuiThemeFileReader reader(bytes.content);
    EXPECT_TRUE(reader.GetBool("TwoBool"));
    EXPECT_FALSE(reader.GetBool("ZeroBool"));
    EXPECT_FALSE(reader.GetBool("Missing"));
    EXPECT_EQ(reader.GetInt("Missing"), -1);
    EXPECT_EQ(reader.GetInt("TwoBool"), -1);   // booleans are not integers
    EXPECT_EQ(reader.GetStream("TwoBool"), nullptr);
}

TEST(ThemeFileReader, UnknownEntryTypesAreSkipped)
{
    ThemeBytes bytes;
    const uint32_t value = bytes.appendData(ThemeIntegerData(77));
    const uint32_t e1 = bytes.nextEntryOffset(0), e2 = bytes.nextEntryOffset(1),
                   e3 = bytes.nextEntryOffset(2);
    bytes.entry(e1, "Strange", 9, 0xFFFFFFF0, 0xFFFFFFFF, e2);   // never looked at
    bytes.entry(e2, "FormMinWidthInt", teInteger, value, 4, e3);
    bytes.entry(e3, "", 0, 0, 0, 0);
    bytes.setFirst(e1);
    const TsuiThemeFileReader reader(bytes.content);
    EXPECT_EQ(reader.GetInt("FormMinWidthInt"), 77);
    EXPECT_EQ(reader.EntryCount(), 1);
    EXPECT_TRUE(reader.DamageNote().isEmpty());
}

// Entries may name one data block: every one is read, and they share its bytes, so that
// many entries over one large block cost no more memory than the block.
TEST(ThemeFileReader, EntriesSharingADataBlockAreAllRead)
{
    const TsuiThemeFileReader images(EntriesOverData(2000, 4000, 0));
    EXPECT_TRUE(images.DamageNote().isEmpty());
    ASSERT_EQ(images.EntryCount(), 2000);
    EXPECT_EQ(images.ImageData(1999), QByteArray(4000, 'x'));
    EXPECT_EQ(images.ImageData(0).constData(), images.ImageData(1999).constData());

    const TsuiThemeFileReader texts(EntriesOverData(2000, 4000, 0, teText));
    ASSERT_EQ(texts.Texts().size(), 2000);
    EXPECT_EQ(texts.Texts().last().second, QString(4000, 'x'));
    EXPECT_EQ(texts.Texts().first().second.constData(), texts.Texts().last().second.constData());
}

// Each damage ends the read with the entries read before it; a header length above 24
// reads the first 24 bytes.
TEST(ThemeFileReader, DamagedDirectoriesEndTheReadEarly)
{
    for (const SeedFile& seed : SeedThemeFiles()) {
        const TsuiThemeFileReader reader(seed.content);
        EXPECT_EQ(reader.EntryCount(), seed.entriesKept) << seed.name;
        EXPECT_EQ(!reader.DamageNote().isEmpty(), seed.damaged) << seed.name;
        EXPECT_TRUE(SurvivesRewrite(reader)) << seed.name;
    }
    EXPECT_EQ(TsuiThemeFileReader(WithHeaderLength(ValidTheme(), 25)).GetInt("FormBorderWidthInt"), 3);
}

TEST(ThemeFileReader, FileErrors)
{
    QTemporaryDir dir;
    EXPECT_THROW(TsuiThemeFileReader(dir.filePath("missing.theme")), EInOutError);
    QFile huge(dir.filePath("huge.theme"));   // sparse: takes no room on disk
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly) && huge.resize(kMaxSkinFileSize + 1));
    huge.close();
    EXPECT_THROW(TsuiThemeFileReader(huge.fileName()), EInOutError);
}

TEST(FileThemeMgr, MissingFileReleasesThePreviousReader)
{
    QTemporaryDir dir;
    const QString path = WriteFile(dir.filePath("a.theme"), ValidTheme());
    TsuiFileThemeMgr mgr;
    EXPECT_EQ(mgr.GetInt(ThemeItem::FormBorderWidthInt), 0);   // no reader yet
    ASSERT_TRUE(mgr.LoadThemeFile(path));
    EXPECT_EQ(mgr.GetInt(ThemeItem::FormBorderWidthInt), 3);
    EXPECT_FALSE(mgr.LoadThemeFile(dir.filePath("gone.theme")));
    EXPECT_EQ(mgr.Reader(), nullptr);
    EXPECT_FALSE(mgr.LoadThemeFile(dir.path()));   // a folder is no theme file
}

TEST(FileTheme, BitmapsAndSlicesFromImageEntries)
{
    QTemporaryDir dir;
    const QImage strip = CoordinateImage(378, 21);
    const QString path = WriteFile(dir.filePath("t.theme"), BuildThemeFile({
        {"TitleBarButtonImage", teImage, BmpBytes(strip)},
        {"ButtonImage", teImage, "not a bitmap"},
    }));
    TsuiFileTheme theme;
    EXPECT_EQ(theme.GetInt(ThemeItem::FormBorderWidthInt), 0);
    EXPECT_EQ(theme.GetColor(ThemeItem::FormBorderColor), 0u);
    EXPECT_FALSE(theme.GetBool(ThemeItem::ButtonTransparentBool));
    theme.SetThemeFile(path);
    ASSERT_TRUE(theme.CanUse());

    QImage whole;
    ASSERT_TRUE(theme.GetBitmap(ThemeItem::TitleBarButtonImage, whole));
    EXPECT_EQ(whole.size(), QSize(378, 21));
    QImage slice;
    ASSERT_TRUE(theme.GetBitmapSlice(ThemeItem::TitleBarButtonImage, slice, 10, 18));
    ASSERT_EQ(slice.size(), QSize(21, 21));
    EXPECT_EQ(PixelAt(slice, 0, 0), PixelAt(strip, 189, 0));
    EXPECT_EQ(PixelAt(slice, 20, 20), PixelAt(strip, 209, 20));

    const QImage before = FilledImage(2, 2, 0x123456);
    QImage unchanged = before;
    EXPECT_FALSE(theme.GetBitmap(ThemeItem::ButtonImage, unchanged));       // not a BMP
    EXPECT_FALSE(theme.GetBitmap(ThemeItem::CheckBoxImage, unchanged));     // no entry
    EXPECT_EQ(unchanged, before);
}

TEST(FileTheme, MissingFileChangesNothing)
{
    QTemporaryDir dir;
    const QString path = WriteFile(dir.filePath("a.theme"), ValidTheme());
    TsuiFileTheme theme;
    theme.SetThemeFile(path);
    theme.SetThemeFile(dir.filePath("missing-" + QUuid::createUuid().toString(QUuid::Id128)));
    EXPECT_EQ(theme.ThemeFile(), path);
    EXPECT_TRUE(theme.CanUse());
    EXPECT_EQ(theme.GetInt(ThemeItem::FormBorderWidthInt), 3);
}

TEST(FileTheme, UnreadableFileLeavesItUnusable)
{
    if (!QFileInfo("/proc/self/clear_refs").isFile())
        GTEST_SKIP() << "no file here that exists but cannot be read";
    QTemporaryDir dir;
    TsuiFileTheme theme;
    theme.SetThemeFile(WriteFile(dir.filePath("a.theme"), ValidTheme()));
    EXPECT_THROW(theme.SetThemeFile("/proc/self/clear_refs"), EInOutError);
    EXPECT_EQ(theme.ThemeFile(), "/proc/self/clear_refs");
    EXPECT_FALSE(theme.CanUse());
    EXPECT_EQ(theme.GetInt(ThemeItem::FormBorderWidthInt), 0);
}

TEST(FileTheme, BareNameIsFoundInTheExecutablesFolder)
{
    EnsureApplication();
    const QString name = "parvelle-test-" + QUuid::createUuid().toString(QUuid::Id128) + ".theme";
    const QString inProgramFolder = QCoreApplication::applicationDirPath() + "/" + name;
    WriteFile(inProgramFolder, ValidTheme());
    struct Remove {
        QString path;
        ~Remove() { QFile::remove(path); }
    } remove{inProgramFolder};

    TsuiFileTheme theme;
    theme.SetThemeFile(name);
    EXPECT_EQ(theme.ThemeFile(), inProgramFolder);
    EXPECT_TRUE(theme.CanUse());

    TsuiFileTheme windowsPath;
    windowsPath.SetThemeFile("C:\\Program Files\\Old\\" + name);
    EXPECT_EQ(windowsPath.ThemeFile(), inProgramFolder);
}

TEST(FileTheme, ReadingReloadsTheFormsSkinnedUsers)
{
    EnsureApplication();
    QTemporaryDir dir;
    const QString first = WriteFile(dir.filePath("first.theme"), ValidTheme());
    const QString second = WriteFile(dir.filePath("second.theme"), ValidTheme());
    QWidget form;
    auto* theme = new TsuiFileTheme(&form);
    theme->setObjectName("theme");
    TsuiFileTheme otherTheme;
    QWidget panel(&form);
    TsuiStyledControl user(&panel, "user");            // nested: still owned by the form
    StyledControl plainUser(&form, "plainUser");       // class name without "Tsui"
    TsuiStyledControl otherUser(&form, "otherUser");
    user.SetFileTheme(theme);
    plainUser.SetFileTheme(theme);
    otherUser.SetFileTheme(&otherTheme);
    user.writes.clear();
    plainUser.writes.clear();
    otherUser.writes.clear();

    theme->SetThemeFile(first);
    EXPECT_EQ(user.writes, QStringList{"FileTheme=theme"});
    EXPECT_TRUE(plainUser.writes.isEmpty());
    EXPECT_TRUE(otherUser.writes.isEmpty());

    theme->SetThemeFile(first);   // the same value: nothing happens
    EXPECT_EQ(user.writes.size(), 1);
    theme->SetThemeFile(second);
    EXPECT_EQ(user.writes.size(), 2);
}
