// The window on temporary copies of the demo registries, and the program's start-up.
#include "TestData.h"
#include "AppTestSupport.h"
#include "app/common/RegistryOptions.h"
#include "app/window/Form1.h"
#include "app/window/RegEditWindow.h"
#include "app/window/WindowClass.h"
#include "cache/CacheListing.h"
#include "demo/DemoRegistry.h"
#include "skin/Buttons.h"

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace parvelle;
using namespace parvelle::test;

namespace {
QList<QStringList> TableOf(const TForm1& form)
{
    return test::TableOf(form.findChild<QTreeWidget*>(QStringLiteral("suiListView1")));
}

void Click(const TForm1& form, const char* name)
{
    ClickOnItsPage(form.findChild<TsuiButton*>(QString::fromLatin1(name)));
    EXPECT_TRUE(QTest::qWaitFor([&form] { return !form.ReadingUndoList(); }, 20000));
}

class DemoWindow {
public:
    explicit DemoWindow(bool vista)
    {
        EnsureApp();
        const DemoHives hives = MakeDemoRegistry(dir.filePath(QStringLiteral("demo")), vista);
        RegistryOptions options;
        options.software = hives.software;
        options.ntUser = hives.ntUser;
        machine = OpenRegistry(options);
        undoFolder = dir.filePath(QStringLiteral("undo"));
        QDir().mkpath(undoFolder);
        form = std::make_unique<TForm1>(*machine, undoFolder, Form1Services{&messages, nullptr, nullptr, {}});
        form->show();
        EXPECT_TRUE(QTest::qWaitFor([this] { return !form->ReadingUndoList(); }, 20000));
    }
    void Select(const QString& name)
    {
        auto* view = form->findChild<QTreeWidget*>(QStringLiteral("suiListView1"));
        const auto found = view->findItems(name, Qt::MatchExactly, 0);
        ASSERT_EQ(found.size(), 1) << name.toStdString();
        view->setCurrentItem(found.first());
    }

    QTemporaryDir dir;
    std::unique_ptr<Machine> machine;
    QString undoFolder;
    RecordingMessages messages;
    std::unique_ptr<TForm1> form;
};
} // namespace

TEST(DemoRegistryWindow, RemoveAndRestoreCheckedGiveBackTheSameTable)
{
    DemoWindow demo(false);
    const auto before = TableOf(*demo.form);
    ASSERT_GT(before.size(), 20);
    Click(*demo.form, "suiButton1");
    EXPECT_EQ(TableOf(*demo.form), before);

    const QString name = QString::fromUtf8("日本語ワープロ 3");
    demo.Select(name);
    Click(*demo.form, "suiButton3");
    EXPECT_EQ(TableOf(*demo.form).size(), before.size() - 1);
    const QStringList files = QDir(demo.undoFolder).entryList({QStringLiteral("*.reg")});
    ASSERT_EQ(files.size(), 1);
    QFile undo(demo.undoFolder + QLatin1Char('/') + files[0]);
    ASSERT_TRUE(undo.open(QIODevice::ReadOnly));
    // Text outside ASCII under the 5.00 header: UTF-16LE with a byte-order mark.
    const QByteArray bytes = undo.readAll();
    ASSERT_TRUE(bytes.startsWith("\xFF\xFE"));
    const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2),
                                            (bytes.size() - 2) / 2);
    EXPECT_TRUE(text.startsWith(QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("ARPCache\\") + name + QStringLiteral("]\r\n")));

    Click(*demo.form, "Button1");
    EXPECT_EQ(demo.messages.shown.size(), 1u);
    EXPECT_EQ(TableOf(*demo.form), before);
}

TEST(DemoRegistryWindow, RowsAreAsHighWhateverTheFirstHoldsAndPageDownMovesAPage)
{
    DemoWindow demo(false);
    auto* table = demo.form->findChild<QTreeWidget*>(QStringLiteral("suiListView1"));
    const int latinFirst = table->visualItemRect(table->topLevelItem(0)).height();
    QHeaderView* header = table->header();
    const QPoint keyName(header->sectionViewportPosition(ccKeyName) + 10, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, keyName);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, keyName);   // descending
    ASSERT_TRUE(table->topLevelItem(0)->text(ccKeyName).startsWith(QString::fromUtf8("日本語")));
    EXPECT_EQ(table->visualItemRect(table->topLevelItem(0)).height(), latinFirst);

    // From the top, as the keyboard reaches the table: PageDown moves to the page's last row.
    demo.form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(demo.form.get()));
    table->setCurrentItem(nullptr);
    table->setFocus(Qt::TabFocusReason);
    QTest::keyClick(table, Qt::Key_PageDown);
    const int perPage = table->viewport()->height() / latinFirst;
    EXPECT_GE(table->indexOfTopLevelItem(table->currentItem()), perPage - 1);
}

TEST(DemoRegistryWindow, OnVistaTheCacheLivesUnderTheCurrentUser)
{
    DemoWindow demo(true);
    EXPECT_EQ(demo.form->OSKind(), 8);
    const auto rows = TableOf(*demo.form);
    ASSERT_FALSE(rows.isEmpty());
    demo.Select(rows.first().first());
    Click(*demo.form, "suiButton2");
    auto* editor = static_cast<RegEditWindow*>(FindWindow(kRegEditClass));
    ASSERT_NE(editor, nullptr);
    // The editor shows the names as stored ("Software" in a user hive); keys match in any case.
    const QString expected =
        QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Management\\ARPCache\\")
        + rows.first().first();
    EXPECT_EQ(editor->Tree()->CurrentKeyPath().compare(expected, Qt::CaseInsensitive), 0)
        << editor->Tree()->CurrentKeyPath().toStdString();

    Click(*demo.form, "suiButton3");
    const QStringList files = QDir(demo.undoFolder).entryList({QStringLiteral("*.reg")});
    ASSERT_EQ(files.size(), 1);
    QFile undo(demo.undoFolder + QLatin1Char('/') + files[0]);
    ASSERT_TRUE(undo.open(QIODevice::ReadOnly));
    const QByteArray text = undo.readAll();
    EXPECT_TRUE(text.startsWith("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\")) << text.left(80).toStdString();
    EXPECT_TRUE(demo.messages.shown.empty());
}

namespace {
ProcessRun RunParvelle(const QStringList& arguments)
{
    return RunProcess(QStringLiteral(PARVELLE_BIN_DIR "/parvelle"), arguments);
}

QColor Pixel(const QImage& image, int x, int y)
{
    return image.pixelColor(x, y);
}
} // namespace

TEST(ParvelleProgram, ScreenshotShowsTheDesignedColours)
{
    QTemporaryDir dir;
    const DemoHives hives = MakeDemoRegistry(dir.filePath(QStringLiteral("demo")), false);
    const QString png = dir.filePath(QStringLiteral("shot.png"));
    const ProcessRun run = RunParvelle({QStringLiteral("--software"), hives.software, QStringLiteral("--ntuser"), hives.ntUser,
                                        QStringLiteral("--undo-dir"), dir.path(), QStringLiteral("--screenshot"), png});
    ASSERT_TRUE(run.finished) << "killed after the time limit";
    ASSERT_FALSE(run.crashed);
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    const QImage image(png);
    ASSERT_EQ(image.size(), QSize(685, 422));
    // The whole frameless window: its border strips, and the rounded corners cut away.
    for (QPoint border : {QPoint(1, 200), QPoint(683, 200), QPoint(300, 420)})
        EXPECT_EQ(Pixel(image, border.x(), border.y()), QColor(0, 44, 200)) << border.x() << "," << border.y();
    EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0);
    EXPECT_EQ(image.pixelColor(684, 0).alpha(), 0);
    EXPECT_EQ(image.pixelColor(342, 0).alpha(), 255);
    // The list view's empty area (below the rows) is cream; the page around the buttons white.
    EXPECT_EQ(Pixel(image, 3 + 3 + 600, 29 + 22 + 335), QColor(255, 251, 240));
    EXPECT_EQ(Pixel(image, 3 + 3 + 200, 29 + 22 + 350), QColor(Qt::white));

    // At fractional scales the border is as wide on the right and at the bottom as on the
    // left.
    for (const char* scale : {"1.25", "1.5", "1.75"}) {
        QProcessEnvironment scaled = QProcessEnvironment::systemEnvironment();
        scaled.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        scaled.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::fromLatin1(scale));
        const ProcessRun large = RunProcess(QStringLiteral(PARVELLE_BIN_DIR "/parvelle"),
                                            {QStringLiteral("--software"), hives.software, QStringLiteral("--ntuser"), hives.ntUser,
                                             QStringLiteral("--undo-dir"), dir.path(), QStringLiteral("--screenshot"), png},
                                            scaled);
        ASSERT_EQ(large.exitCode, 0) << large.errors.toStdString();
        const QImage device(png);
        ASSERT_GE(device.width(), 856) << scale;
        const auto borderRun = [&device](QPoint from, QPoint step) {
            int run = 0;
            for (QPoint at = from; device.valid(at) && device.pixelColor(at) == QColor(0, 44, 200); at += step)
                ++run;
            return run;
        };
        const int middle = device.height() / 2;
        const int left = borderRun(QPoint(0, middle), QPoint(1, 0));
        EXPECT_GE(left, 3) << scale;
        EXPECT_EQ(borderRun(QPoint(device.width() - 1, middle), QPoint(-1, 0)), left) << scale;
        EXPECT_EQ(borderRun(QPoint(device.width() / 2, device.height() - 1), QPoint(0, -1)), left) << scale;
    }

    // Another skin changes the title bar, not the designed colours of the page.
    const ProcessRun macos = RunParvelle({QStringLiteral("--software"), hives.software, QStringLiteral("--ntuser"), hives.ntUser,
                                          QStringLiteral("--undo-dir"), dir.path(), QStringLiteral("--skin"),
                                          QStringLiteral("macos"), QStringLiteral("--screenshot"), png});
    ASSERT_EQ(macos.exitCode, 0) << macos.errors.toStdString();
    const QImage other(png);
    EXPECT_NE(Pixel(other, 342, 10), Pixel(image, 342, 10));
    EXPECT_EQ(Pixel(other, 3 + 3 + 600, 29 + 22 + 335), QColor(255, 251, 240));
}

TEST(ParvelleProgram, ACorruptHiveOrAnUnusableUndoFolderEndsWithAClearMessage)
{
    QTemporaryDir dir;
    const QString hive = dir.filePath(QStringLiteral("SYSTEM"));
    test::UnpackTestHive("corrupted_system_hive", hive);
    const ProcessRun run = RunParvelle({QStringLiteral("--software"), hive, QStringLiteral("--screenshot"), dir.filePath(QStringLiteral("x.png"))});
    ASSERT_TRUE(run.finished) << "killed after the time limit";
    EXPECT_FALSE(run.crashed);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.errors.contains(hive)) << run.errors.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("x.png"))));

    const ProcessRun usage = RunParvelle({QStringLiteral("--page"), QStringLiteral("9"), QStringLiteral("--screenshot"), dir.filePath(QStringLiteral("x.png"))});
    EXPECT_EQ(usage.exitCode, 2);
    EXPECT_TRUE(usage.errors.contains(QStringLiteral("--page")));
    const ProcessRun unknownSkin = RunParvelle({QStringLiteral("--skin"), QStringLiteral("aqua"), QStringLiteral("--screenshot"),
                                                dir.filePath(QStringLiteral("x.png"))});
    EXPECT_EQ(unknownSkin.exitCode, 2);
    EXPECT_TRUE(unknownSkin.errors.contains(QStringLiteral("unknown skin \"aqua\""))) << unknownSkin.errors.toStdString();
    const ProcessRun stray = RunParvelle({QStringLiteral("SOFTWARE"), QStringLiteral("--screenshot"), dir.filePath(QStringLiteral("x.png"))});
    EXPECT_EQ(stray.exitCode, 2);
    EXPECT_TRUE(stray.errors.contains(QStringLiteral("unexpected argument \"SOFTWARE\""))) << stray.errors.toStdString();

    // An undo folder that cannot be made is reported like a bad hive.
    const QString plainFile = dir.filePath(QStringLiteral("plain-file"));
    QFile(plainFile).open(QIODevice::WriteOnly);
    const DemoHives hives = MakeDemoRegistry(dir.filePath(QStringLiteral("demo")), false);
    const ProcessRun badUndo = RunParvelle({QStringLiteral("--software"), hives.software, QStringLiteral("--undo-dir"),
                                            plainFile + QStringLiteral("/undo"), QStringLiteral("--screenshot"),
                                            dir.filePath(QStringLiteral("x.png"))});
    ASSERT_TRUE(badUndo.finished) << "killed after the time limit";
    EXPECT_FALSE(badUndo.crashed) << badUndo.errors.toStdString();
    EXPECT_EQ(badUndo.exitCode, 1);
    EXPECT_TRUE(badUndo.errors.contains(QStringLiteral("plain-file/undo"))) << badUndo.errors.toStdString();
}

TEST(ParvelleProgram, WithoutADisplayTheWindowFailsWithAMessageAndAScreenshotStillWorks)
{
    QTemporaryDir dir;
    QProcessEnvironment headless = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        headless.remove(QString::fromLatin1(name));
    headless.insert(QStringLiteral("XDG_DATA_HOME"), dir.path());
    const QString program = QStringLiteral(PARVELLE_BIN_DIR "/parvelle");

    const ProcessRun window = RunProcess(program, {QStringLiteral("--undo-dir"), dir.path()}, headless);
    ASSERT_TRUE(window.finished) << "killed after the time limit";
    EXPECT_FALSE(window.crashed);
    EXPECT_EQ(window.exitCode, 1);
    EXPECT_TRUE(window.errors.contains(QStringLiteral("parvelle: cannot open the window"))) << window.errors.toStdString();

    const QString png = dir.filePath(QStringLiteral("shot.png"));
    const ProcessRun shot = RunProcess(program, {QStringLiteral("--undo-dir"), dir.path(), QStringLiteral("--screenshot"), png}, headless);
    EXPECT_EQ(shot.exitCode, 0) << shot.errors.toStdString();
    EXPECT_EQ(QImage(png).size(), QSize(685, 422));
}
