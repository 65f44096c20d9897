// The main window under real use: a hive changed by another program, failures reported
// as failures, large undo files, the table's conveniences.
#include "WindowFixture.h"

#include "app/window/RegistryJob.h"

#include "cache/CacheListing.h"
#include "cache/OSInfo.h"
#include "demo/DemoRegistry.h"
#include "registry/RegistrySources.h"
#include "core/SafeFile.h"
#include "registry/TNTRegistry.h"
#include "undo/UndoContext.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QListView>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStorageInfo>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>
#include <algorithm>
#include <unistd.h>

using namespace parvelle;
using namespace parvelle::test;

namespace {

bool EntryOnDisk(const TestRegistry& registry, const QString& name)
{
    const auto machine = registry.reopen();
    TNTRegistry reg(*machine);
    reg.SelectRoot(HKEY_LOCAL_MACHINE);
    return reg.OpenPath(CacheEntryPath(name), false);
}

QStringList KeyNames(const QTreeWidget* table)
{
    QStringList names;
    for (const QStringList& row : TableOf(table))
        names << row.value(ccKeyName);
    return names;
}

QStringList UndoFiles(const TestRegistry& registry)
{
    return QDir(registry.undoFolder()).entryList({QStringLiteral("*.reg")}, QDir::Files);
}

void WriteUndoFile(const TestRegistry& registry, const QByteArray& text)
{
    ASSERT_TRUE(QDir().mkpath(registry.undoFolder()));
    QFile file(registry.undoFolder() + QStringLiteral("/20210101-000000.reg"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

void SelectRow(QTreeWidget* table, const QString& name)
{
    const auto found = table->findItems(name, Qt::MatchExactly, ccKeyName);
    ASSERT_EQ(found.size(), 1) << name.toStdString();
    table->setCurrentItem(found.first());
}

class ChangedHiveTest : public WindowTest {
protected:
    // Removes an entry as another program would: its own copy of the hive, its own undo folder.
    void RemoveElsewhere(const QString& name)
    {
        const auto other = registry.reopen();
        TUndoContext context(*other, 6, otherUndo.path());
        ASSERT_TRUE(context.RemoveCacheEntry(name));
    }

    // Writes under a key (made if missing) as another program would.
    void WriteElsewhere(const QString& path, const std::function<void(TNTRegistry&)>& write)
    {
        const auto other = registry.reopen();
        TNTRegistry reg(*other);
        reg.SelectRoot(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(reg.OpenPath(path, true));
        write(reg);
        other->commit();
    }

    QTreeWidget* Table() const { return Find<QTreeWidget>(QStringLiteral("suiListView1")); }

    QTemporaryDir otherUndo;
};

} // namespace

TEST_F(ChangedHiveTest, RefreshAndRemovalWorkOnWhatIsOnDiskNow)
{
    Open();
    RemoveElsewhere(QStringLiteral("BetaTool"));
    Click(QStringLiteral("suiButton1"));
    EXPECT_EQ(KeyNames(Table()), (QStringList{QStringLiteral("AlphaApp"), QStringLiteral("GammaSuite")}));

    SelectRow(Table(), QStringLiteral("AlphaApp"));
    Click(QStringLiteral("suiButton3"));
    ASSERT_TRUE(messages.shown.empty()) << LastMessage().toStdString();
    EXPECT_FALSE(EntryOnDisk(registry, QStringLiteral("AlphaApp")));
    EXPECT_FALSE(EntryOnDisk(registry, QStringLiteral("BetaTool")));   // the other removal stays
    EXPECT_TRUE(EntryOnDisk(registry, QStringLiteral("GammaSuite")));
    EXPECT_EQ(KeyNames(Table()), QStringList{QStringLiteral("GammaSuite")});
    ASSERT_EQ(UndoFiles(registry).size(), 1);

    // An entry still listed here that another program has removed meanwhile.
    RemoveElsewhere(QStringLiteral("GammaSuite"));
    SelectRow(Table(), QStringLiteral("GammaSuite"));
    Click(QStringLiteral("suiButton3"));
    EXPECT_EQ(LastMessage(), QStringLiteral("'GammaSuite' is no longer in the cache: another program removed it"));
    EXPECT_TRUE(KeyNames(Table()).isEmpty());
    EXPECT_EQ(UndoFiles(registry).size(), 1);
}

TEST_F(ChangedHiveTest, RestoreCheckedWorksOnWhatIsOnDiskNow)
{
    Open();
    SelectRow(Table(), QStringLiteral("BetaTool"));
    Click(QStringLiteral("suiButton3"));
    RemoveElsewhere(QStringLiteral("GammaSuite"));
    ShowPage(4);
    WaitForUndoList();
    Click(QStringLiteral("Button1"));
    EXPECT_EQ(LastMessage(), QStringLiteral("Selected Keys Restored"));
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(EntryOnDisk(registry, QStringLiteral("BetaTool")));
    EXPECT_FALSE(EntryOnDisk(registry, QStringLiteral("GammaSuite")));
    EXPECT_EQ(KeyNames(Table()), (QStringList{QStringLiteral("AlphaApp"), QStringLiteral("BetaTool")}));
}

TEST_F(ChangedHiveTest, AHiveReplacedByADamagedFileStopsTheRemovalWithItsReason)
{
    Open();
    QFile hive(registry.hivePath());
    ASSERT_TRUE(hive.open(QIODevice::ReadOnly));
    const QByteArray good = hive.readAll();
    hive.close();
    ASSERT_TRUE(hive.open(QIODevice::WriteOnly | QIODevice::Truncate));
    hive.write(QByteArray(4096, 'x'));
    hive.close();

    SelectRow(Table(), QStringLiteral("AlphaApp"));
    Click(QStringLiteral("suiButton3"));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(LastMessage().contains(registry.hivePath())) << LastMessage().toStdString();
    EXPECT_TRUE(UndoFiles(registry).isEmpty());
    Click(QStringLiteral("suiButton1"));   // the table keeps what was read before
    EXPECT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(KeyNames(Table()).size(), 3);

    ASSERT_TRUE(hive.open(QIODevice::WriteOnly | QIODevice::Truncate));
    hive.write(good);
    hive.close();
    Click(QStringLiteral("suiButton3"));
    EXPECT_EQ(messages.shown.size(), 2u) << LastMessage().toStdString();
    EXPECT_FALSE(EntryOnDisk(registry, QStringLiteral("AlphaApp")));
    EXPECT_EQ(UndoFiles(registry).size(), 1);
}

TEST_F(ChangedHiveTest, F5ReadsTheCacheAgainWhenTheRegistryChanged)
{
    Open();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    // A mark on a row lasts as long as the row: with nothing changed, F5 keeps the rows.
    const auto markFirstRow = [this] { Table()->topLevelItem(0)->setData(ccKeyName, Qt::UserRole, true); };
    const auto firstRowMarked = [this] { return Table()->topLevelItem(0)->data(ccKeyName, Qt::UserRole).toBool(); };
    markFirstRow();
    QTest::keyClick(form.get(), Qt::Key_F5);
    EXPECT_TRUE(firstRowMarked());

    // Another program saves the hive and leaves the cache as it was: F5 reads it again and
    // keeps the rows.
    const QList<QStringList> before = TableOf(Table());
    WriteElsewhere(QStringLiteral("\\SOFTWARE\\Other"), [](TNTRegistry& reg) { reg.WriteDword(QStringLiteral("Saved"), 1); });
    QTest::keyClick(form.get(), Qt::Key_F5);
    EXPECT_TRUE(firstRowMarked());
    EXPECT_EQ(TableOf(Table()), before);

    // It changes a byte of one entry's record, puts another in Add/Remove and changes the
    // third's Changed value: each row shows its change, and only that.
    WriteElsewhere(CacheEntryPath(QStringLiteral("AlphaApp")), [](TNTRegistry& reg) {
        const QByteArray record = SlowInfoCacheRecord(QStringLiteral("C:\\Program Files\\Alpha\\alpha.exe"), 7);
        reg.WriteBytes(QStringLiteral("SlowInfoCache"), record.constData(), int(record.size()));
    });
    WriteElsewhere(kUninstallPath + QStringLiteral("\\BetaTool"), [](TNTRegistry&) {});
    WriteElsewhere(CacheEntryPath(QStringLiteral("GammaSuite")), [](TNTRegistry& reg) { reg.WriteDword(QStringLiteral("Changed"), 5); });
    QTest::keyClick(form.get(), Qt::Key_F5);
    QList<QStringList> expected = before;
    expected[0][ccFrequency] = QStringLiteral("occasionally (7)");
    expected[1][ccInAddRemove] = QStringLiteral("Yes");
    expected[2][ccChanged] = QStringLiteral("5");
    EXPECT_EQ(TableOf(Table()), expected);

    RemoveElsewhere(QStringLiteral("AlphaApp"));
    QTest::keyClick(form.get(), Qt::Key_F5);
    EXPECT_EQ(KeyNames(Table()), (QStringList{QStringLiteral("BetaTool"), QStringLiteral("GammaSuite")}));

    // A change made in this process, not by the window's buttons.
    markFirstRow();
    ASSERT_TRUE(TUndoContext(registry.machine(), 6, otherUndo.path()).RemoveCacheEntry(QStringLiteral("GammaSuite")));
    QTest::keyClick(form.get(), Qt::Key_F5);
    EXPECT_EQ(KeyNames(Table()), QStringList{QStringLiteral("BetaTool")});
    EXPECT_FALSE(firstRowMarked());
}

TEST(WindowProgram, HelpAndVersionAnswerWithoutOpeningTheWindow)
{
    const QString program = QStringLiteral(PARVELLE_BIN_DIR "/parvelle");
    for (const QString& option : {QStringLiteral("--help"), QStringLiteral("-h")}) {
        const ProcessRun run = RunProcess(program, {option});
        ASSERT_TRUE(run.finished) << option.toStdString();
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_TRUE(run.output.contains(QStringLiteral("--software"))) << run.output.toStdString();
        EXPECT_TRUE(run.output.contains(QStringLiteral("--screenshot"))) << run.output.toStdString();
    }
    const ProcessRun version = RunProcess(program, {QStringLiteral("--version")});
    ASSERT_TRUE(version.finished);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.output.startsWith(QStringLiteral("Parvelle "))) << version.output.toStdString();
}

TEST_F(WindowTest, RestoreCheckedThatRestoresNothingSaysSo)
{
    Open();
    SelectRow(Find<QTreeWidget>(QStringLiteral("suiListView1")), QStringLiteral("BetaTool"));
    Click(QStringLiteral("suiButton3"));
    ShowPage(4);
    const QString undoFile = registry.undoFolder() + QLatin1Char('/') + UndoFiles(registry).value(0);

    // The file lost its entries meanwhile.
    QFile file(undoFile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("Windows Registry Editor Version 5.00\r\n\r\n");
    file.close();
    Click(QStringLiteral("Button1"));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(LastMessage().contains(QStringLiteral("not an entry of the undo file"))) << LastMessage().toStdString();
    EXPECT_FALSE(EntryOnDisk(registry, QStringLiteral("BetaTool")));

    // The file is gone.
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\r\n\"v\"=\"1\"\r\n");
    file.close();
    form->BagEnter();
    WaitForUndoList();
    ASSERT_TRUE(QFile::remove(undoFile));
    Click(QStringLiteral("Button1"));
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_TRUE(LastMessage().contains(QStringLiteral("nothing was restored"))) << LastMessage().toStdString();
    EXPECT_FALSE(EntryOnDisk(registry, QStringLiteral("BetaTool")));
}

TEST_F(WindowTest, TheEditorSaysWhenTheKeyItWasSentToDoesNotExist)
{
    Open();
    const QString cacheKey = RootName(HKEY_LOCAL_MACHINE) + kArpCachePath + QLatin1Char('\\');
    form->OpenRegEdit(cacheKey + QStringLiteral("BetaTool"));
    auto* editor = qobject_cast<RegEditWindow*>(FindWindow(kRegEditClass));
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->Tree()->CurrentKeyPath(), cacheKey + QStringLiteral("BetaTool"));
    EXPECT_TRUE(editor->StatusBar()->currentMessage().isEmpty());

    // Show Key of an entry whose key was removed: the tree stops on a neighbour.
    SelectRow(Find<QTreeWidget>(QStringLiteral("suiListView1")), QStringLiteral("BetaTool"));
    Click(QStringLiteral("suiButton3"));
    ShowPage(4);
    auto* list = Find<QListView>(QStringLiteral("CheckListBox1"));
    list->setCurrentIndex(list->model()->index(0, 0));
    Click(QStringLiteral("Button5"));
    EXPECT_NE(editor->Tree()->CurrentKeyPath(), cacheKey + QStringLiteral("BetaTool"));
    EXPECT_EQ(editor->StatusBar()->currentMessage(), QStringLiteral("Key not found: ") + cacheKey + QStringLiteral("BetaTool"));

    // A name with a tab cannot be typed into the tree.
    form->OpenRegEdit(cacheKey + QStringLiteral("Alpha\tApp"));
    EXPECT_EQ(editor->StatusBar()->currentMessage(), QStringLiteral("Key not found: ") + cacheKey + QStringLiteral("Alpha\tApp"));
    EXPECT_TRUE(messages.shown.empty()) << LastMessage().toStdString();
}

TEST_F(WindowTest, ALargeUndoFileIsReadWithoutBlockingTheWindow)
{
    Open();
    ShowPage(4);
    // 20,000 values; one key path far longer than the rest, in the middle.
    QByteArray text = "Windows Registry Editor Version 5.00\r\n\r\n";
    const QString longKey = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\") + QString(300, QLatin1Char('W'));
    for (int key = 0; key < 1000; ++key) {
        text += "[" + (key == 500 ? longKey.toUtf8() : "HKEY_LOCAL_MACHINE\\SOFTWARE\\K" + QByteArray::number(key)) + "]\r\n";
        for (int value = 0; value < 20; ++value)
            text += "\"v" + QByteArray::number(value) + "\"=\"x\"\r\n";
        text += "\r\n";
    }
    WriteUndoFile(registry, text);
    form->BagEnter();
    EXPECT_TRUE(form->ReadingUndoList());   // the handler returned before the file was read
    EXPECT_EQ(Find<QLabel>(QStringLiteral("Label21"))->text(), QStringLiteral("Reading..."));
    EXPECT_FALSE(Find<TsuiButton>(QStringLiteral("Button1"))->isEnabled());
    WaitForUndoList();

    auto* list = Find<QListView>(QStringLiteral("CheckListBox1"));
    EXPECT_EQ(list->model()->rowCount(), 20000);
    EXPECT_EQ(CheckedCount(list), 20000);
    EXPECT_EQ(Find<QLabel>(QStringLiteral("Label21"))->text(), QStringLiteral("20000 Items"));
    EXPECT_TRUE(Find<TsuiButton>(QStringLiteral("Button1"))->isEnabled());
    // The list scrolls far enough to show the end of the longest entry.
    QApplication::processEvents();
    const int widest = list->fontMetrics().horizontalAdvance(longKey + QStringLiteral("\\\\:\"v0\""));
    EXPECT_GE(list->horizontalScrollBar()->maximum() + list->viewport()->width(), widest);

    // A newer choice wins over a read still running.
    form->BagEnter();
    form->findChild<QComboBox*>(QStringLiteral("ComboBox2"))->setEditText(QStringLiteral("none.reg"));
    form->BagEnter();
    WaitForUndoList();
    EXPECT_EQ(list->model()->rowCount(), 20000);
}

TEST_F(WindowTest, PrintingThatCannotBeWrittenSaysSoAndLeavesNoFile)
{
    WriteUndoFile(registry, "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n\"v\"=\"1\"\r\n");
    Open();
    ShowPage(4);
    printers.file = QStringLiteral("/dev/full");
    Click(QStringLiteral("Button2"));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(LastMessage(), QStringLiteral("Error Printing text."));

    // A good print replaces an earlier file whole, with no temporary file left beside it.
    QTemporaryDir dir;
    printers.file = dir.filePath(QStringLiteral("list.pdf"));
    Click(QStringLiteral("Button2"));
    Click(QStringLiteral("Button2"));
    EXPECT_EQ(messages.shown.size(), 1u) << LastMessage().toStdString();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("list.pdf")});
    QFile pdf(printers.file);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    const QByteArray bytes = pdf.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF"));
    EXPECT_TRUE(bytes.trimmed().endsWith("%%EOF"));
}

TEST(WindowStart, AnEmptyListSaysWhyInTheStatusLine)
{
    EnsureApp();
    RecordingMessages messages;
    {
        TestRegistry registry({});
        TForm1 window(registry.machine(), registry.undoFolder(), {&messages, nullptr, nullptr, {}});
        window.show();
        const auto* status = window.findChild<QLabel*>(QStringLiteral("RegistryStatus"));
        const QString note = QStringLiteral("This registry has no key HKEY_LOCAL_MACHINE") + kArpCachePath;
        EXPECT_TRUE(status->text().startsWith(note.left(24))) << status->text().toStdString();
        EXPECT_TRUE(status->parentWidget()->toolTip().contains(note)) << status->parentWidget()->toolTip().toStdString();
        EXPECT_TRUE(status->parentWidget()->toolTip().contains(registry.hivePath())) << status->parentWidget()->toolTip().toStdString();
    }
    QTemporaryDir dir;
    const DemoHives vista = MakeDemoRegistry(dir.filePath(QStringLiteral("demo")), true);
    RegistrySources sources;
    sources.software = vista.software;
    Machine machine = OpenRegistrySources(sources);
    TForm1 window(machine, dir.filePath(QStringLiteral("undo")), {&messages, nullptr, nullptr, {}});
    window.show();
    EXPECT_EQ(window.findChild<QTreeWidget*>(QStringLiteral("suiListView1"))->topLevelItemCount(), 0);
    EXPECT_TRUE(window.findChild<QLabel*>(QStringLiteral("RegistryStatus"))->parentWidget()->toolTip().contains(
        QStringLiteral("The cache of this Windows is in HKEY_CURRENT_USER: open a user's NTUSER.DAT too")));
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(WindowTest, DeletingAnUndoListPutsItInTheTrash)
{
    const QString name = QStringLiteral("20210101-000000.reg");
    WriteUndoFile(registry, "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n");
    Open();
    ShowPage(4);
    Click(QStringLiteral("Button3"));
    EXPECT_TRUE(UndoFiles(registry).isEmpty());

    const QString homeTrash = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Trash");
    const QString topTrash = QStorageInfo(registry.undoFolder()).rootPath() + QStringLiteral("/.Trash-")
        + QString::number(::getuid());
    QStringList trashed;
    for (const QString& trash : {homeTrash, topTrash}) {
        for (const QString& entry : QDir(trash + QStringLiteral("/files")).entryList({name.left(15) + QLatin1Char('*')})) {
            const QString info = trash + QStringLiteral("/info/") + entry + QStringLiteral(".trashinfo");
            if (QFile(info).open(QIODevice::ReadOnly) && QSettings(info, QSettings::IniFormat).value(QStringLiteral("Trash Info/Path")).toString()
                    == registry.undoFolder() + QLatin1Char('/') + name) {
                trashed << trash + QStringLiteral("/files/") + entry;
                QFile::remove(info);
            }
        }
    }
    ASSERT_EQ(trashed.size(), 1);
    QFile kept(trashed.first());
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_TRUE(kept.readAll().contains("[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]"));
    kept.remove();
}

TEST_F(WindowTest, TheCacheTableShowsCutTextsAndFitsColumnsOnDoubleClick)
{
    Open();
    auto* table = Find<QTreeWidget>(QStringLiteral("suiListView1"));
    const QString fullPath = QStringLiteral("C:\\Program Files\\Alpha\\alpha.exe");
    const auto hover = [table](int column) {
        const QRect cell = table->visualRect(table->model()->index(0, column));
        QHelpEvent help(QEvent::ToolTip, cell.center(), table->viewport()->mapToGlobal(cell.center()));
        QApplication::sendEvent(table->viewport(), &help);
    };
    table->setColumnWidth(ccKeyName, 200);
    hover(ccKeyName);
    EXPECT_FALSE(QToolTip::isVisible());
    table->setColumnWidth(ccFilePath, 40);
    hover(ccFilePath);
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), fullPath);
    QToolTip::hideText();

    // Double-clicking the divider after a column fits the column to its widest text.
    QHeaderView* header = table->header();
    const int divider = header->sectionViewportPosition(ccFilePath) + header->sectionSize(ccFilePath) - 1;
    QTest::mouseDClick(header->viewport(), Qt::LeftButton, {}, QPoint(divider, header->height() / 2));
    EXPECT_GE(table->columnWidth(ccFilePath), table->fontMetrics().horizontalAdvance(fullPath));
}

TEST(WindowText, ControlCharactersAndBidiControlsInNamesAreShownEscapedAndStillReachTheirKeys)
{
    EnsureApp();
    const QString bidi = QStringLiteral("Bidi \u202Eexe.txt");
    const QString escape = QStringLiteral("Esc \x1B[31mred");
    TestRegistry registry({{bidi, QStringLiteral("C:\\a.exe"), 3, false}, {escape, QStringLiteral("C:\\b.exe"), 3, false}});
    RecordingMessages messages;
    TForm1 window(registry.machine(), registry.undoFolder(), {&messages, nullptr, nullptr, {}});
    window.show();
    // What a view draws for the text of an index.
    const auto shown = [](const QAbstractItemView* view, const QModelIndex& index) {
        const auto* delegate = qobject_cast<const QStyledItemDelegate*>(view->itemDelegate());
        return delegate ? delegate->displayText(index.data(), QLocale()) : index.data().toString();
    };
    auto* table = window.findChild<QTreeWidget*>(QStringLiteral("suiListView1"));
    ASSERT_EQ(table->topLevelItemCount(), 2);
    EXPECT_EQ(shown(table, table->model()->index(0, ccKeyName)), QStringLiteral("Bidi \\u202Eexe.txt"));
    EXPECT_EQ(shown(table, table->model()->index(1, ccKeyName)), QStringLiteral("Esc \\x1B[31mred"));

    // Removed by its real name; the Undo page's line escaped and wide enough to scroll to its end.
    table->setCurrentItem(table->topLevelItem(0));
    ClickOnItsPage(window.findChild<QWidget*>(QStringLiteral("suiButton3")));
    ASSERT_TRUE(QTest::qWaitFor([&window] { return !window.ReadingUndoList(); }, 20000));
    EXPECT_FALSE(EntryOnDisk(registry, bidi));
    auto* list = window.findChild<QListView*>(QStringLiteral("CheckListBox1"));
    const QString value = QStringLiteral("\\Bidi \\u202Eexe.txt\\\\:\"SlowInfoCache\"");
    int found = 0;
    for (int row = 0; row < list->model()->rowCount(); ++row) {
        const QModelIndex line = list->model()->index(row, 0);
        if (!shown(list, line).endsWith(value))
            continue;
        ++found;
        EXPECT_GE(list->visualRect(line).width(), list->fontMetrics().horizontalAdvance(shown(list, line)));
    }
    EXPECT_EQ(found, 1);

    // Restored, and shown by the editor, whose tree escapes it too.
    ClickOnItsPage(window.findChild<QWidget*>(QStringLiteral("Button1")));   // Restore Checked
    ASSERT_TRUE(EntryOnDisk(registry, bidi));
    const QString path = RootName(HKEY_LOCAL_MACHINE) + CacheEntryPath(bidi);
    window.OpenRegEdit(path);
    auto* editor = qobject_cast<RegEditWindow*>(FindWindow(kRegEditClass));
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->Tree()->CurrentKeyPath(), path);
    EXPECT_EQ(shown(editor->Tree(), editor->Tree()->currentIndex()), QStringLiteral("Bidi \\u202Eexe.txt"));
    EXPECT_EQ(messages.shown.size(), 1u);   // "Selected Keys Restored"
}

namespace {
// Counts the events of one type a widget gets while a condition holds.
class EventsWhile : public QObject {
public:
    EventsWhile(QWidget* watched, QEvent::Type type, std::function<bool()> condition)
        : type_(type), condition_(std::move(condition))
    {
        watched->installEventFilter(this);
    }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == type_ && condition_())
            ++count;
        return false;
    }

private:
    QEvent::Type type_;
    std::function<bool()> condition_;
};

// Enabled, or to be once its page is shown.
bool EnabledOnItsPage(const QWidget* control)
{
    return control->isEnabledTo(control->parentWidget());
}

const QStringList kChangingControls{QStringLiteral("suiButton1"), QStringLiteral("suiButton2"), QStringLiteral("suiButton3"),
                                    QStringLiteral("Button1"),    QStringLiteral("Button12"),   QStringLiteral("Button3")};
} // namespace

// 200,000 values restored beside the window: a timer fires and the status line, showing the
// count, is painted while they are written; the controls that change the registry wait for
// the end; the result is applied once.
TEST_F(WindowTest, ALongRestoreLeavesTheWindowAnsweringAndIsAppliedOnce)
{
    Open();
    ShowPage(4);
    constexpr int kKeys = 10000;
    constexpr int kValues = 20;
    QByteArray text = "Windows Registry Editor Version 5.00\r\n\r\n";
    for (int key = 0; key < kKeys; ++key) {
        text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Restored\\K" + QByteArray::number(key) + "]\r\n";
        for (int value = 0; value < kValues; ++value)
            text += "\"v" + QByteArray::number(value) + "\"=\"x\"\r\n";
        text += "\r\n";
    }
    WriteUndoFile(registry, text);
    form->BagEnter();
    WaitForUndoList();

    auto* job = Find<RegistryJob>(QString());
    QSignalSpy finished(job, &RegistryJob::Finished);
    QSignalSpy progress(job, &RegistryJob::Progress);
    const auto running = [this] { return form->ChangeRunning(); };
    EventsWhile paints(Find(QStringLiteral("RegistryStatus")), QEvent::Paint, running);
    int ticks = 0;
    QStringList enabledWhileRunning;
    QTimer timer;
    timer.callOnTimeout([&] {
        if (!running())
            return;
        ++ticks;
        for (const QString& name : kChangingControls)
            if (EnabledOnItsPage(Find(name)))
                enabledWhileRunning << name;
    });
    timer.start(0);
    Click(QStringLiteral("Button1"));   // Restore Checked, every entry checked
    timer.stop();
    EXPECT_GT(ticks, 0);
    EXPECT_GT(paints.count, 0);
    EXPECT_EQ(enabledWhileRunning, QStringList());

    // The counts went up to every value, each reported once.
    QList<qint64> counts;
    for (const QList<QVariant>& report : progress)
        if (report.at(0).toString() == QLatin1String("Restoring"))
            counts << report.at(1).toLongLong();
    EXPECT_GT(counts.size(), 1);
    EXPECT_TRUE(std::is_sorted(counts.begin(), counts.end()) && std::adjacent_find(counts.begin(), counts.end()) == counts.end());
    EXPECT_EQ(counts.value(counts.size() - 1), kKeys * kValues);

    QCoreApplication::processEvents();
    EXPECT_EQ(finished.size(), 1);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QStringLiteral("Selected Keys Restored"));
    const auto machine = registry.reopen();
    TNTRegistry reg(*machine);
    reg.SelectRoot(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenPath(QStringLiteral("\\SOFTWARE\\Restored\\K%1").arg(kKeys - 1), false));
    QStringList values;
    reg.ListValues(values);
    EXPECT_EQ(values.size(), kValues);
    EXPECT_TRUE(Find<QLabel>(QStringLiteral("RegistryStatus"))->text().startsWith(QStringLiteral("[writable]")));
    for (const QString& name : kChangingControls)
        EXPECT_TRUE(EnabledOnItsPage(Find(name))) << name.toStdString();
}

// Another program holds the hive's lock: while the restore waits for it the window answers,
// says what it waits for and stays open when asked to close; then it reports the wait that
// ran out, having restored nothing, and closes.
TEST_F(WindowTest, ARestoreWaitingForAnotherProgramsLockLeavesTheWindowAnsweringThenReports)
{
    Open();
    SelectRow(Find<QTreeWidget>(QStringLiteral("suiListView1")), QStringLiteral("BetaTool"));
    Click(QStringLiteral("suiButton3"));
    ShowPage(4);
    const FileLock otherProgram(registry.hivePath(), std::chrono::milliseconds(0), QStringLiteral("hive file"));
    QSignalSpy finished(Find<RegistryJob>(QString()), &RegistryJob::Finished);
    int ticks = 0;
    bool closed = false;
    QString shown;
    QTimer timer;
    timer.callOnTimeout([&] {
        if (!form->ChangeRunning())
            return;
        if (ticks++ == 0)
            closed = form->close();
        shown = Find(QStringLiteral("suiForm1"))->findChild<QLabel*>(QStringLiteral("RegistryStatus"))->parentWidget()->toolTip();
    });
    timer.start(0);
    Click(QStringLiteral("Button1"));
    timer.stop();
    EXPECT_GT(ticks, 0);
    EXPECT_FALSE(closed);
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Locking the hive files...")) && shown.contains(QStringLiteral("closes")))
        << shown.toStdString();
    EXPECT_EQ(finished.size(), 1);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(LastMessage().contains(QStringLiteral("is being changed by another program (process %1)").arg(::getpid())))
        << LastMessage().toStdString();
    EXPECT_FALSE(EntryOnDisk(registry, QStringLiteral("BetaTool")));
    EXPECT_FALSE(form->isVisible());
}

// A Restore All or Restore Checked that fails after its first value leaves no row behind after
// F5, and the next removal saves nothing of it.
TEST_F(WindowTest, AFailedRestoreLeavesNoPhantomRowAndTheNextRemovalSavesNothingOfIt)
{
    Open();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    // The second value's name is longer than Windows allows: it fails once the first is in.
    WriteUndoFile(registry, "Windows Registry Editor Version 5.00\r\n\r\n["
                                + (RootName(HKEY_LOCAL_MACHINE) + CacheEntryPath(QStringLiteral("Phantom"))).toUtf8()
                                + "]\r\n\"v\"=\"x\"\r\n\"" + QByteArray(16384, 'n') + "\"=\"y\"\r\n");
    auto* table = Find<QTreeWidget>(QStringLiteral("suiListView1"));
    size_t failures = 0;
    for (const char* button : {"Button12", "Button1"}) {
        form->BagEnter();
        WaitForUndoList();
        Click(QLatin1String(button));
        EXPECT_EQ(messages.shown.size(), ++failures) << button;
        QTest::keyClick(form.get(), Qt::Key_F5);
        EXPECT_EQ(KeyNames(table), (QStringList{QStringLiteral("AlphaApp"), QStringLiteral("BetaTool"), QStringLiteral("GammaSuite")}))
            << button;
    }
    SelectRow(table, QStringLiteral("AlphaApp"));
    Click(QStringLiteral("suiButton3"));
    EXPECT_EQ(messages.shown.size(), failures);
    EXPECT_FALSE(EntryOnDisk(registry, QStringLiteral("AlphaApp")));
    EXPECT_FALSE(EntryOnDisk(registry, QStringLiteral("Phantom")));
    EXPECT_TRUE(EntryOnDisk(registry, QStringLiteral("BetaTool")));
}
