// The main window driven through its real buttons, over a real hive file.
#include "WindowFixture.h"

#include "TestData.h"

#include "cache/CacheListing.h"
#include "cache/OSInfo.h"
#include "registry/TNTRegistry.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QScrollBar>
#include <QTreeWidget>

using namespace parvelle;
using namespace parvelle::test;

namespace {
const QString kEntryKey =
    QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Management\\ARPCache\\");

void SelectRow(QTreeWidget* view, const QString& name)
{
    const auto found = view->findItems(name, Qt::MatchExactly, 0);
    ASSERT_EQ(found.size(), 1) << name.toStdString();
    view->setCurrentItem(found.first());
}

bool CacheEntryExists(Machine& machine, const QString& name)
{
    TNTRegistry reg(machine);
    reg.SelectRoot(HKEY_LOCAL_MACHINE);
    return reg.OpenPath(QStringLiteral("\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Management\\ARPCache\\") + name, false);
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

void WriteFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}
} // namespace

TEST_F(WindowTest, StartsOnTheFilledCacheListWithCaptionsAndStatus)
{
    TForm1& window = Open();
    // The task bar names the hive; the skinned title bar keeps the caption alone.
    EXPECT_EQ(window.windowTitle(), QStringLiteral("SOFTWARE - Parvelle"));
    EXPECT_EQ(Find<TsuiForm>(QStringLiteral("suiForm1"))->Caption(), QStringLiteral("Parvelle"));
    auto* pages = Find<TsuiPageControl>(QStringLiteral("suiPageControl1"));
    EXPECT_EQ(pages->ActivePage()->PageIndex(), 1);
    const QStringList captions = {QStringLiteral("About Parvelle"), QStringLiteral("ARPCache List"),
                                  QStringLiteral("Other Programs"), QStringLiteral("Help"), QStringLiteral("Undo")};
    ASSERT_EQ(pages->PageCount(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(pages->Page(i)->Caption(), captions[i]);

    auto* table = Find<QTreeWidget>(QStringLiteral("suiListView1"));
    const auto rows = TableOf(table);
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0][ccKeyName], QStringLiteral("AlphaApp"));
    EXPECT_EQ(rows[0][ccInAddRemove], QStringLiteral("Yes"));
    EXPECT_EQ(rows[1][ccInAddRemove], QStringLiteral("No"));
    EXPECT_EQ(rows[1][ccFrequency], QStringLiteral("frequently (11)"));
    EXPECT_EQ(rows[0][ccFilePath], QStringLiteral("C:\\Program Files\\Alpha\\alpha.exe"));
    // Every cell as the command line's table writes it, Last Used too, which the window
    // writes only when a row is shown.
    const CacheListing listing = ListCache(registry.machine(), {}, luLocale);
    for (int row = 0; row < rows.size(); ++row)
        EXPECT_EQ(rows[row], listing.rows[size_t(row)].columns);
    EXPECT_FALSE(rows[0][ccLastUsed].isEmpty());
    EXPECT_EQ(window.OSKind(), 6);

    auto* status = Find<QLabel>(QStringLiteral("RegistryStatus"));
    EXPECT_TRUE(status->parentWidget()->toolTip().contains(registry.hivePath())) << status->parentWidget()->toolTip().toStdString();
    EXPECT_EQ(status->text(), QStringLiteral("[writable]  SOFTWARE"));
    EXPECT_FALSE(Find<TsuiButton>(QStringLiteral("Button3"))->isEnabled());
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(WindowTest, ControlsSitWhereTheyAreDesigned)
{
    TForm1& window = Open();
    EXPECT_EQ(window.size(), QSize(685, 422));
    EXPECT_EQ(Find(QStringLiteral("suiForm1"))->geometry(), QRect(3, 0, 679, 419));
    EXPECT_EQ(Find(QStringLiteral("suiPageControl1"))->geometry(), QRect(0, 29, 679, 390));
    for (int i = 0; i < 5; ++i) {
        ShowPage(i);
        QWidget* page = Find<TsuiPageControl>(QStringLiteral("suiPageControl1"))->Page(i);
        EXPECT_EQ(QRect(page->mapTo(Find(QStringLiteral("suiPageControl1")), QPoint(0, 0)), page->size()),
                  QRect(3, 22, 673, 365)) << i;
    }
    EXPECT_EQ(Find(QStringLiteral("suiListView1"))->geometry(), QRect(0, 0, 673, 341));
    EXPECT_EQ(Find(QStringLiteral("suiButton3"))->geometry(), QRect(464, 344, 201, 19));
    EXPECT_EQ(Find(QStringLiteral("CheckListBox1"))->geometry(), QRect(16, 112, 633, 185));
    EXPECT_EQ(Find(QStringLiteral("Button1"))->geometry(), QRect(496, 297, 153, 23));
    EXPECT_EQ(Find(QStringLiteral("ComboBox2"))->geometry(), QRect(248, 336, 217, 21));
    EXPECT_EQ(Find<TsuiButton>(QStringLiteral("Button3"))->Caption(), QStringLiteral("<<  &Delete this Undo List"));
    EXPECT_EQ(Find<QTreeWidget>(QStringLiteral("suiListView1"))->headerItem()->text(ccChanged), QStringLiteral("Changed"));

    // The help topics fit the scroll box's 1000-pixel content, without overlapping.
    QWidget* help = Find(QStringLiteral("ScrollBox1Content"));
    EXPECT_EQ(help->height(), 1000);
    const auto labels = help->findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 3 + 2 * 14);
    for (QLabel* label : labels) {
        EXPECT_LE(label->geometry().bottom(), 1000) << label->text().toStdString();
        for (QLabel* other : labels)
            EXPECT_TRUE(label == other || !label->geometry().intersects(other->geometry())) << label->text().toStdString();
    }

    window.resize(100, 422);
    EXPECT_EQ(window.width(), 150);
}

TEST_F(WindowTest, RefreshTwiceGivesTheSameTable)
{
    Open();
    auto* table = Find<QTreeWidget>(QStringLiteral("suiListView1"));
    const auto first = TableOf(table);
    Click(QStringLiteral("suiButton1"));
    Click(QStringLiteral("suiButton1"));
    EXPECT_EQ(TableOf(table), first);
    EXPECT_EQ(first.size(), 3);
}

TEST_F(WindowTest, ButtonsWithoutASelectedRowOnlyAsk)
{
    Open();
    Click(QStringLiteral("suiButton3"));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QStringLiteral("You must select an item from the list"));
    EXPECT_EQ(messages.shown[0].title, AppTitle());
    Click(QStringLiteral("suiButton2"));
    EXPECT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(LastMessage(), QStringLiteral("You must select an item from the list"));
    EXPECT_EQ(FindWindow(kRegEditClass), nullptr);
    EXPECT_TRUE(CacheEntryExists(*registry.reopen(), QStringLiteral("AlphaApp")));
    EXPECT_TRUE(QDir(registry.undoFolder()).entryList({QStringLiteral("*.reg")}).isEmpty());
}

TEST_F(WindowTest, RemovingTheSelectedRowWritesTheUndoFileAndShowsIt)
{
    TForm1& window = Open();
    auto* table = Find<QTreeWidget>(QStringLiteral("suiListView1"));
    SelectRow(table, QStringLiteral("BetaTool"));
    Click(QStringLiteral("suiButton3"));
    ASSERT_TRUE(messages.shown.empty()) << LastMessage().toStdString();

    EXPECT_FALSE(CacheEntryExists(*registry.reopen(), QStringLiteral("BetaTool")));
    EXPECT_TRUE(CacheEntryExists(*registry.reopen(), QStringLiteral("AlphaApp")));
    EXPECT_TRUE(table->findItems(QStringLiteral("BetaTool"), Qt::MatchExactly, 0).isEmpty());
    EXPECT_EQ(table->topLevelItemCount(), 2);

    const QStringList files = QDir(registry.undoFolder()).entryList({QStringLiteral("*.reg")});
    ASSERT_EQ(files.size(), 1);
    EXPECT_EQ(files[0], window.UndoStamp() + QStringLiteral(".reg"));

    ShowPage(4);
    auto* combo = Find<QComboBox>(QStringLiteral("ComboBox2"));
    EXPECT_EQ(combo->currentText(), files[0]);
    auto* list = Find<QListView>(QStringLiteral("CheckListBox1"));
    const QStringList expected = {kEntryKey + QStringLiteral("BetaTool\\\\:\"SlowInfoCache\""),
                                  kEntryKey + QStringLiteral("BetaTool\\\\:\"Changed\"")};
    EXPECT_EQ(ListItems(list), expected);
    EXPECT_EQ(CheckedCount(list), 2);
    EXPECT_EQ(Find<QLabel>(QStringLiteral("Label21"))->text(), QStringLiteral("2 Items"));
    EXPECT_TRUE(Find<TsuiCheckBox>(QStringLiteral("suiCheckBox13"))->Checked());
    EXPECT_TRUE(Find<TsuiButton>(QStringLiteral("Button3"))->isEnabled());
}

TEST_F(WindowTest, RestoreCheckedPutsTheValuesBack)
{
    const auto before = registry.reopen();
    TNTRegistry original(*before);
    original.SelectRoot(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(original.OpenPath(CacheEntryPath(QStringLiteral("BetaTool")), false));
    const RawValue record = original.ReadRaw(QStringLiteral("SlowInfoCache"));

    Open();
    SelectRow(Find<QTreeWidget>(QStringLiteral("suiListView1")), QStringLiteral("BetaTool"));
    Click(QStringLiteral("suiButton3"));
    ShowPage(4);
    Click(QStringLiteral("Button1"));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QStringLiteral("Selected Keys Restored"));
    EXPECT_EQ(messages.shown[0].title, QStringLiteral("Finished"));

    const auto after = registry.reopen();
    TNTRegistry restored(*after);
    restored.SelectRoot(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(restored.OpenPath(CacheEntryPath(QStringLiteral("BetaTool")), false));
    const RawValue back = restored.ReadRaw(QStringLiteral("SlowInfoCache"));
    EXPECT_EQ(back.type, uint32_t(REG_BINARY));
    EXPECT_EQ(back.data, record.data);
    EXPECT_EQ(Find<QTreeWidget>(QStringLiteral("suiListView1"))->topLevelItemCount(), 3);

    // An independent reader sees the restored value in the hive file.
    const QString lookup = QString::fromUtf8(RunTool(QStringLiteral("reglookup"),
        {QStringLiteral("-p"), QStringLiteral("/Microsoft/Windows/CurrentVersion/App Management/ARPCache/BetaTool"),
         registry.hivePath()}));
    EXPECT_TRUE(lookup.contains(QStringLiteral("SlowInfoCache,BINARY"))) << lookup.toStdString();
}

TEST_F(WindowTest, UncheckedEntriesAreNotRestored)
{
    Open();
    SelectRow(Find<QTreeWidget>(QStringLiteral("suiListView1")), QStringLiteral("BetaTool"));
    Click(QStringLiteral("suiButton3"));
    ShowPage(4);
    // "Check / Uncheck All" unchecks and checks every entry.
    auto* box = Find<TsuiCheckBox>(QStringLiteral("suiCheckBox13"));
    auto* list = Find<QListView>(QStringLiteral("CheckListBox1"));
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    EXPECT_EQ(CheckedCount(list), 0);
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    EXPECT_EQ(CheckedCount(list), 2);
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    // Nothing checked: nothing is written, and the message says so.
    const QByteArray hive = ReadFile(registry.hivePath());
    Click(QStringLiteral("Button1"));
    ASSERT_FALSE(messages.shown.empty());
    EXPECT_EQ(messages.shown.back().text, QStringLiteral("No key is checked; nothing was restored"));
    EXPECT_EQ(messages.shown.back().title, QStringLiteral("Nothing Restored"));
    EXPECT_EQ(ReadFile(registry.hivePath()), hive);
    EXPECT_EQ(CheckedCount(list), 0);
    SetChecked(list, 1, true);   // only "Changed"
    Click(QStringLiteral("Button1"));
    EXPECT_EQ(LastMessage(), QStringLiteral("Selected Keys Restored"));

    const auto after = registry.reopen();
    TNTRegistry reg(*after);
    reg.SelectRoot(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenPath(CacheEntryPath(QStringLiteral("BetaTool")), false));
    ValueInfo info;
    EXPECT_TRUE(reg.QueryValue(QStringLiteral("Changed"), info));
    EXPECT_FALSE(reg.QueryValue(QStringLiteral("SlowInfoCache"), info));
}

TEST_F(WindowTest, UndoPageButtonsFollowTheList)
{
    Open();
    ShowPage(4);
    auto enabled = [this](const char* name) { return Find<QWidget>(QString::fromLatin1(name))->isEnabled(); };
    // No undo file at all.
    EXPECT_EQ(Find<QLabel>(QStringLiteral("Label21"))->text(), QStringLiteral("0 Items"));
    for (const char* name : {"Button1", "Button2", "Button5", "Button12", "suiCheckBox13", "Button3"})
        EXPECT_FALSE(enabled(name)) << name;
    EXPECT_FALSE(Find<TsuiCheckBox>(QStringLiteral("suiCheckBox13"))->Checked());

    // A file holding only a header: listed, but nothing to act on.
    WriteFile(registry.undoFolder() + QStringLiteral("/20200101-000000.reg"), "REGEDIT4\r\n\r\n");
    Click(QStringLiteral("Button3"));   // still disabled: nothing happens
    form->BagEnter();
    WaitForUndoList();
    EXPECT_EQ(Find<QLabel>(QStringLiteral("Label21"))->text(), QStringLiteral("0 Items"));
    for (const char* name : {"Button1", "Button2", "Button5", "Button12", "suiCheckBox13"})
        EXPECT_FALSE(enabled(name)) << name;
    EXPECT_TRUE(enabled("Button3"));

    // A file with entries: everything but Show Key until an entry is selected.
    WriteFile(registry.undoFolder() + QStringLiteral("/20210101-000000.reg"),
              "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n\"x\"=\"1\"\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\B]\r\n");
    form->BagEnter();
    WaitForUndoList();
    EXPECT_EQ(Find<QLabel>(QStringLiteral("Label21"))->text(), QStringLiteral("2 Items"));
    for (const char* name : {"Button1", "Button2", "Button12", "suiCheckBox13", "Button3"})
        EXPECT_TRUE(enabled(name)) << name;
    EXPECT_FALSE(enabled("Button5"));
    auto* list = Find<QListView>(QStringLiteral("CheckListBox1"));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(1, 0)).center());
    EXPECT_TRUE(enabled("Button5"));
}

TEST_F(WindowTest, ChoosingAnotherUndoFileLoadsIt)
{
    WriteFile(registry.undoFolder() + QStringLiteral("/20200101-000000.reg"),
              "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Old]\r\n");
    WriteFile(registry.undoFolder() + QStringLiteral("/20210101-000000.reg"),
              "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\New]\r\n@=\"v\"\r\n");
    Open();
    ShowPage(4);
    auto* combo = Find<QComboBox>(QStringLiteral("ComboBox2"));
    auto* list = Find<QListView>(QStringLiteral("CheckListBox1"));
    EXPECT_EQ(combo->currentText(), QStringLiteral("20210101-000000.reg"));
    EXPECT_EQ(ListItems(list), QStringList{QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\New\\\\:@")});
    combo->setCurrentIndex(0);
    WaitForUndoList();
    EXPECT_EQ(ListItems(list), QStringList{QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Old")});

    // A typed name that is not one of the files keeps the list, even a path outside.
    combo->setEditText(QStringLiteral("../SOFTWARE"));
    EXPECT_EQ(ListItems(list), QStringList{QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Old")});
    EXPECT_TRUE(messages.shown.empty()) << LastMessage().toStdString();
}

TEST_F(WindowTest, DeletingAnUndoListShowsTheNextNewest)
{
    WriteFile(registry.undoFolder() + QStringLiteral("/20200101-000000.reg"),
              "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Old]\r\n");
    WriteFile(registry.undoFolder() + QStringLiteral("/20210101-000000.reg"),
              "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\New]\r\n");
    Open();
    ShowPage(4);
    Click(QStringLiteral("Button3"));
    EXPECT_FALSE(QFile::exists(registry.undoFolder() + QStringLiteral("/20210101-000000.reg")));
    EXPECT_TRUE(QFile::exists(registry.undoFolder() + QStringLiteral("/20200101-000000.reg")));
    EXPECT_EQ(Find<QComboBox>(QStringLiteral("ComboBox2"))->currentText(), QStringLiteral("20200101-000000.reg"));
    EXPECT_EQ(ListItems(Find<QListView>(QStringLiteral("CheckListBox1"))),
              QStringList{QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Old")});

    Click(QStringLiteral("Button3"));
    EXPECT_EQ(Find<QComboBox>(QStringLiteral("ComboBox2"))->count(), 0);
    EXPECT_FALSE(Find<TsuiButton>(QStringLiteral("Button3"))->isEnabled());
    EXPECT_TRUE(QFile::exists(registry.hivePath()));
}

TEST_F(WindowTest, RestoreAllImportsTheWholeFile)
{
    Open();
    SelectRow(Find<QTreeWidget>(QStringLiteral("suiListView1")), QStringLiteral("GammaSuite"));
    Click(QStringLiteral("suiButton3"));
    ASSERT_FALSE(CacheEntryExists(*registry.reopen(), QStringLiteral("GammaSuite")));
    ShowPage(4);
    Click(QStringLiteral("Button12"));
    EXPECT_TRUE(messages.shown.empty()) << LastMessage().toStdString();
    EXPECT_TRUE(CacheEntryExists(*registry.reopen(), QStringLiteral("GammaSuite")));
    EXPECT_EQ(Find<QTreeWidget>(QStringLiteral("suiListView1"))->topLevelItemCount(), 3);
}

TEST_F(WindowTest, AcceleratorsOfTheUndoPage)
{
    Open();
    ShowPage(4);
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QTest::keyClick(form.get(), Qt::Key_L, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), Find<QComboBox>(QStringLiteral("ComboBox2")));

    WriteFile(registry.undoFolder() + QStringLiteral("/20210101-000000.reg"),
              "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n");
    form->BagEnter();
    WaitForUndoList();
    auto* list = Find<QListView>(QStringLiteral("CheckListBox1"));
    list->setCurrentIndex(list->model()->index(0, 0));
    ASSERT_TRUE(Find(QStringLiteral("Button5"))->isEnabled());
    list->setFocus();
    QTest::keyClick(list, Qt::Key_K, Qt::AltModifier);   // Show &Key (clicks once animated)
    EXPECT_TRUE(QTest::qWaitFor([] { return FindWindow(kRegEditClass) != nullptr; }));
    EXPECT_TRUE(messages.shown.empty()) << LastMessage().toStdString();
}

TEST_F(WindowTest, ShowKeyWithoutSelectionAsks)
{
    WriteFile(registry.undoFolder() + QStringLiteral("/20210101-000000.reg"),
              "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n");
    Open();
    form->Button5Click();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QStringLiteral("Select an Item"));
    EXPECT_EQ(messages.shown[0].title, QStringLiteral("Please select an item from the list"));
}

TEST(WindowStart, AMissingCacheKeyGivesAnEmptyTableWithoutMessage)
{
    EnsureApp();
    TestRegistry registry({});
    RecordingMessages messages;
    TForm1 window(registry.machine(), registry.undoFolder(), {&messages, nullptr, nullptr, {}});
    window.show();
    EXPECT_EQ(window.findChild<QTreeWidget*>(QStringLiteral("suiListView1"))->topLevelItemCount(), 0);
    EXPECT_EQ(window.OSKind(), 6);
    EXPECT_TRUE(messages.shown.empty());
}

TEST(WindowStart, TheStatusLineTellsWhatAHiveTransactionLogsDid)
{
    EnsureApp();
    QTemporaryDir dir;
    const QString hive = UnpackTestHive("transactions_NTUSER.DAT", dir.filePath(QStringLiteral("NTUSER.DAT")));
    UnpackTestHive("transactions_ntuser.dat.log1", dir.filePath(QStringLiteral("NTUSER.DAT.LOG1")));
    TestRegistry registry({});
    Machine machine;
    machine.mount(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE"), std::make_shared<HiveStore>(registry.hivePath()));
    machine.mount(HKEY_CURRENT_USER, QString(), std::make_shared<HiveStore>(hive));
    RecordingMessages messages;
    TForm1 window(machine, registry.undoFolder(), {&messages, nullptr, nullptr, {}});
    // The state and the file names first (the line is cut at its end); the whole paths in
    // the tooltip.
    const auto* status = window.findChild<QLabel*>(QStringLiteral("RegistryStatus"));
    const QString line = QStringLiteral("[read-only]  SOFTWARE, NTUSER.DAT  NTUSER.DAT: transaction logs applied: 132 dirty pages from NTUSER.DAT.LOG1");
    EXPECT_EQ(status->parentWidget()->toolTip(), QStringList({line, registry.hivePath(), hive}).join(QLatin1Char('\n')));
    EXPECT_TRUE(status->text().startsWith(QStringLiteral("[read-only]  SOFTWARE, NTUSER"))) << status->text().toStdString();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("SOFTWARE, NTUSER.DAT [read-only] - Parvelle"));
}

TEST(WindowErrors, RemovalOnAReadOnlyHiveShowsTheErrorAndKeepsEverything)
{
    EnsureApp();
    TestRegistry registry({{QStringLiteral("AlphaApp"), QStringLiteral("C:\\a.exe"), 1, false}});
    const QByteArray hiveBefore = [&] { QFile f(registry.hivePath()); f.open(QIODevice::ReadOnly); return f.readAll(); }();
    Machine readOnly;
    readOnly.mount(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE"),
                   std::make_shared<HiveStore>(registry.hivePath(), HiveStore::Access::ReadOnly));
    RecordingMessages messages;
    TForm1 window(readOnly, registry.undoFolder(), {&messages, nullptr, nullptr, {}});
    window.show();
    EXPECT_TRUE(window.findChild<QLabel*>(QStringLiteral("RegistryStatus"))->text().contains(QStringLiteral("[read-only]")));
    auto* table = window.findChild<QTreeWidget*>(QStringLiteral("suiListView1"));
    table->setCurrentItem(table->topLevelItem(0));
    ClickOnItsPage(window.findChild<QWidget*>(QStringLiteral("suiButton3")));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_FALSE(messages.shown[0].text.isEmpty());
    EXPECT_EQ(messages.shown[0].title, AppTitle());

    // Still usable, and nothing on disk changed.
    QTest::mouseClick(window.findChild<TsuiButton*>(QStringLiteral("suiButton1")), Qt::LeftButton);
    EXPECT_EQ(table->topLevelItemCount(), 1);
    EXPECT_EQ(messages.shown.size(), 1u);
    QFile after(registry.hivePath());
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), hiveBefore);
}

TEST(WindowErrors, AnUnwritableUndoFolderStopsTheRemovalBeforeAnythingIsDeleted)
{
    EnsureApp();
    TestRegistry registry({{QStringLiteral("AlphaApp"), QStringLiteral("C:\\a.exe"), 1, false}});
    QTemporaryDir dir;
    WriteFile(dir.filePath(QStringLiteral("plain-file")), "not a folder");
    RecordingMessages messages;
    TForm1 window(registry.machine(), dir.filePath(QStringLiteral("plain-file/undo")), {&messages, nullptr, nullptr, {}});
    window.show();
    auto* table = window.findChild<QTreeWidget*>(QStringLiteral("suiListView1"));
    table->setCurrentItem(table->topLevelItem(0));
    ClickOnItsPage(window.findChild<QWidget*>(QStringLiteral("suiButton3")));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(CacheEntryExists(*registry.reopen(), QStringLiteral("AlphaApp")));
    EXPECT_TRUE(CacheEntryExists(registry.machine(), QStringLiteral("AlphaApp")));
}

namespace {
class ThrowingObject : public QObject {
public:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::User)
            throw EInOutError(QStringLiteral("File not found: 'Bidi \u202Eexe.txt'\nline two"));
        return QObject::event(e);
    }
};
} // namespace

TEST(WindowErrors, AnErrorEscapingAnyEventIsShownAndTheLoopGoesOn)
{
    EnsureApp();
    auto* app = static_cast<Application*>(QApplication::instance());
    MessageBoxService* const before = app->ErrorMessages();
    RecordingMessages messages;
    app->SetErrorMessages(&messages);
    ThrowingObject target;
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QCoreApplication::processEvents();
    app->SetErrorMessages(before);
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0].text, QStringLiteral("File not found: 'Bidi \\u202Eexe.txt'\nline two"));
}

namespace {
// The first row, from the top of the tab strip down, whose pixel in column x is not the
// strip's background.
int FirstDrawnRow(const QImage& image, int x, int stripTop, QColor background)
{
    for (int y = stripTop; y < stripTop + 22; ++y) {
        if (image.pixelColor(x, y) != background)
            return y;
    }
    return -1;
}
} // namespace

TEST_F(WindowTest, TheSkinnedWindowDrawsItsWinXPFrameTabsAndListBorder)
{
    Open();
    const QImage image = WindowImage(*form);
    ASSERT_EQ(image.size(), QSize(685, 422));
    // The frame's border strips (0xC82C00) on the left, right and bottom; the rounded top
    // corners are outside the window.
    for (QPoint border : {QPoint(0, 100), QPoint(2, 300), QPoint(682, 100), QPoint(684, 300), QPoint(342, 421)})
        EXPECT_EQ(image.pixelColor(border), QColor(0, 44, 200)) << border.x() << "," << border.y();
    EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0);
    EXPECT_EQ(image.pixelColor(684, 0).alpha(), 0);

    // The list view's outer ring in 0x686868, the inner one in its cream colour.
    const QPoint list = Find(QStringLiteral("suiListView1"))->mapTo(form.get(), QPoint(0, 0));
    EXPECT_EQ(list, QPoint(3 + 0 + 3, 0 + 29 + 22));
    for (QPoint ring : {list + QPoint(0, 200), list + QPoint(672, 200), list + QPoint(300, 340)})
        EXPECT_EQ(image.pixelColor(ring), QColor(104, 104, 104)) << ring.x() << "," << ring.y();
    EXPECT_EQ(image.pixelColor(list + QPoint(1, 200)), QColor(255, 251, 240));

    // Five whole tabs without scroll buttons; the active one sits a pixel lower.
    auto* pages = Find<TsuiPageControl>(QStringLiteral("suiPageControl1"));
    const TabLayout& tabs = pages->TopPanel()->Layout();
    EXPECT_FALSE(tabs.overflow);
    ASSERT_EQ(tabs.lastWhole, 4);
    const QRect strip(pages->TopPanel()->mapTo(form.get(), QPoint(0, 0)), pages->TopPanel()->size());
    const QColor background = image.pixelColor(strip.right() - 2, strip.top());   // right of the tabs
    const auto tabTop = [&](int index) {
        return FirstDrawnRow(image, strip.left() + tabs.cells[index].rect.center().x(), strip.top(), background);
    };
    EXPECT_EQ(tabTop(0), strip.top());
    EXPECT_EQ(tabTop(1), tabTop(0) + 1);
    EXPECT_EQ(tabTop(1), tabTop(2) + 1);
}

TEST_F(WindowTest, ALargerWindowGivesTheTableTheRoomWithTheButtonsBelowIt)
{
    TForm1& window = Open();
    window.resize(685 + 200, 422 + 100);
    QApplication::processEvents();
    EXPECT_EQ(Find(QStringLiteral("suiListView1"))->geometry(), QRect(0, 0, 673 + 200, 341 + 100));
    EXPECT_EQ(Find(QStringLiteral("suiButton1"))->geometry(), QRect(8, 344 + 100, 97, 19));
    EXPECT_EQ(Find(QStringLiteral("suiButton2"))->geometry(), QRect(272 + 100, 344 + 100, 129, 19));
    EXPECT_EQ(Find(QStringLiteral("suiButton3"))->geometry(), QRect(464 + 200, 344 + 100, 201, 19));

    // The Undo page alike: the list takes the room, its rows of controls stay below it.
    EXPECT_EQ(Find(QStringLiteral("CheckListBox1"))->geometry(), QRect(16, 112, 633 + 200, 185 + 100));
    EXPECT_EQ(Find(QStringLiteral("Button2"))->geometry().topLeft(), QPoint(16, 297 + 100));
    EXPECT_EQ(Find(QStringLiteral("Button1"))->geometry().bottomRight(), QPoint(648 + 200, 319 + 100));
    EXPECT_EQ(Find(QStringLiteral("ComboBox2"))->geometry(), QRect(248 + 100, 336 + 100, 217, 21));

    window.resize(685, 422);
    QApplication::processEvents();
    EXPECT_EQ(Find(QStringLiteral("suiListView1"))->geometry(), QRect(0, 0, 673, 341));
    EXPECT_EQ(Find(QStringLiteral("suiButton2"))->geometry(), QRect(272, 344, 129, 19));
    EXPECT_EQ(Find(QStringLiteral("suiButton3"))->geometry(), QRect(464, 344, 201, 19));
    EXPECT_EQ(Find(QStringLiteral("Button1"))->geometry(), QRect(496, 297, 153, 23));
}

namespace {
// The part of a page its controls show in: the page less the scroll bars it shows.
QRect PageView(const QWidget* page)
{
    QRect view = page->rect();
    for (const QScrollBar* bar : page->findChildren<QScrollBar*>(Qt::FindDirectChildrenOnly)) {
        if (bar->isHidden())
            continue;
        if (bar->orientation() == Qt::Horizontal)
            view.setBottom(std::min(view.bottom(), bar->y() - 1));
        else
            view.setRight(std::min(view.right(), bar->x() - 1));
    }
    return view;
}
} // namespace

TEST_F(WindowTest, AtAnySizeThePagesControlsKeepApartAndTheKeyboardReachesEach)
{
    TForm1& window = Open();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    auto* pages = Find<TsuiPageControl>(QStringLiteral("suiPageControl1"));
    for (int width : {150, 230, 300, 420, 557, 600, 685, 900}) {
        for (int height : {50, 130, 260, 422, 700}) {
            window.resize(width, height);
            for (int index = 0; index < pages->PageCount(); ++index) {
                ShowPage(index);
                QApplication::processEvents();
                QWidget* page = pages->Page(index);
                const QRect view = PageView(page);
                const std::string where = std::to_string(window.width()) + "x" + std::to_string(window.height())
                    + " page " + std::to_string(index) + ": ";
                QList<QWidget*> controls;
                for (QWidget* control : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                    if (!control->isHidden() && !qobject_cast<QScrollBar*>(control))
                        controls.append(control);
                }
                for (qsizetype i = 0; i < controls.size(); ++i) {
                    for (qsizetype j = i + 1; j < controls.size(); ++j)
                        EXPECT_FALSE((controls[i]->geometry() & view).intersects(controls[j]->geometry() & view))
                            << where << controls[i]->objectName().toStdString() << " overlaps "
                            << controls[j]->objectName().toStdString();
                }
                if (view.isEmpty())
                    continue;
                // Tabbing to a control scrolls it into view.
                for (QWidget* control : controls) {
                    if (!(control->focusPolicy() & Qt::TabFocus) || !control->isEnabled())
                        continue;
                    control->setFocus(Qt::TabFocusReason);
                    EXPECT_TRUE(control->geometry().intersects(view)) << where << control->objectName().toStdString();
                }
            }
        }
    }
}

TEST_F(WindowTest, TheThemeManagerRestylesItsTwelveComponentsAndLeavesTheRotatedLabels)
{
    Open();
    auto* manager = form->findChild<TsuiThemeManager*>(QStringLiteral("suiThemeManager1"));
    ASSERT_NE(manager, nullptr);
    const QStringList listed = {QStringLiteral("suiForm1"), QStringLiteral("suiPageControl1"), QStringLiteral("suiListView1"),
                                QStringLiteral("suiButton1"), QStringLiteral("suiButton2"), QStringLiteral("suiButton3"),
                                QStringLiteral("Button2"), QStringLiteral("Button5"), QStringLiteral("Button12"),
                                QStringLiteral("Button1"), QStringLiteral("Button3"), QStringLiteral("suiCheckBox13")};
    EXPECT_EQ(manager->CompList(), listed);
    EXPECT_EQ(manager->UIStyle(), WinXP);
    const auto styleOf = [this](const QString& name) { return Find<QObject>(name)->property("UIStyle").value<TsuiUIStyle>(); };
    for (const QString& name : listed)
        EXPECT_EQ(styleOf(name), WinXP) << name.toStdString();

    ShowPage(2);
    QList<QImage> labels;
    for (const char* name : {"RotateLabel1", "RotateLabel2", "RotateLabel3", "RotateLabel4"})
        labels.append(Find(QString::fromLatin1(name))->grab().toImage());
    manager->SetUIStyle(Protein);
    for (const QString& name : listed)
        EXPECT_EQ(styleOf(name), Protein) << name.toStdString();
    int index = 0;
    for (const char* name : {"RotateLabel1", "RotateLabel2", "RotateLabel3", "RotateLabel4"})
        EXPECT_EQ(Find(QString::fromLatin1(name))->grab().toImage(), labels[index++]) << name;
}

TEST_F(WindowTest, CtrlTabAndCtrlPageKeysSwitchPagesRoundTheTabs)
{
    Open();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    auto* pages = Find<TsuiPageControl>(QStringLiteral("suiPageControl1"));
    auto* table = Find<QTreeWidget>(QStringLiteral("suiListView1"));
    table->setFocus();
    ASSERT_EQ(pages->ActivePage()->PageIndex(), 1);
    QTest::keyClick(table, Qt::Key_Tab, Qt::ControlModifier);   // not taken by the table
    EXPECT_EQ(pages->ActivePage()->PageIndex(), 2);
    QTest::keyClick(form.get(), Qt::Key_PageDown, Qt::ControlModifier);
    QTest::keyClick(form.get(), Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(pages->ActivePage()->PageIndex(), 4);
    QTest::keyClick(form.get(), Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(pages->ActivePage()->PageIndex(), 0);
    QTest::keyClick(form.get(), Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(pages->ActivePage()->PageIndex(), 4);
    QTest::keyClick(form.get(), Qt::Key_PageUp, Qt::ControlModifier);
    EXPECT_EQ(pages->ActivePage()->PageIndex(), 3);
}

namespace {
QStringList KeyNames(const QTreeWidget* table)
{
    QStringList names;
    for (int row = 0; row < table->topLevelItemCount(); ++row)
        names << table->topLevelItem(row)->text(ccKeyName);
    return names;
}

void ClickHeader(QTreeWidget* table, int column)
{
    QHeaderView* header = table->header();
    const QPoint middle(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, middle);
}
} // namespace

TEST_F(WindowTest, HeaderClicksSortByValueAndRefreshBringsBackTheRegistryOrder)
{
    // Changed texts that sort otherwise as text: 12, +5 and -3.
    TNTRegistry reg(registry.machine());
    reg.SelectRoot(HKEY_LOCAL_MACHINE);
    for (const auto& [name, changed] : {std::pair("AlphaApp", "12"), std::pair("BetaTool", "+5"), std::pair("GammaSuite", "-3")}) {
        ASSERT_TRUE(reg.OpenPath(CacheEntryPath(QString::fromLatin1(name)), false));
        reg.WriteText(QStringLiteral("Changed"), QString::fromLatin1(changed));
    }
    registry.machine().commit();
    Open();
    auto* table = Find<QTreeWidget>(QStringLiteral("suiListView1"));
    const QStringList registryOrder{QStringLiteral("AlphaApp"), QStringLiteral("BetaTool"), QStringLiteral("GammaSuite")};
    ASSERT_EQ(KeyNames(table), registryOrder);

    // Frequencies -1, 3 and 11: as text they would sort "frequently", "occasionally", "rarely".
    // The selected row stays selected and current, wherever it moves; the view shows the order.
    table->setCurrentItem(table->topLevelItem(1));
    ClickHeader(table, ccFrequency);
    EXPECT_EQ(KeyNames(table), (QStringList{QStringLiteral("GammaSuite"), QStringLiteral("AlphaApp"), QStringLiteral("BetaTool")}));
    EXPECT_EQ(table->itemAt(table->viewport()->rect().topLeft())->text(ccKeyName), QStringLiteral("GammaSuite"));
    EXPECT_EQ(table->currentItem()->text(ccKeyName), QStringLiteral("BetaTool"));
    EXPECT_EQ(table->selectedItems(), QList<QTreeWidgetItem*>{table->currentItem()});
    // The column, sized to its caption, widens for the arrow beside it.
    EXPECT_GE(table->columnWidth(ccFrequency), table->header()->sectionSizeHint(ccFrequency));
    ClickHeader(table, ccFrequency);
    EXPECT_EQ(KeyNames(table), (QStringList{QStringLiteral("BetaTool"), QStringLiteral("AlphaApp"), QStringLiteral("GammaSuite")}));
    EXPECT_TRUE(table->header()->isSortIndicatorShown());

    Click(QStringLiteral("suiButton1"));   // Refresh
    EXPECT_EQ(KeyNames(table), registryOrder);
    EXPECT_FALSE(table->header()->isSortIndicatorShown());

    ClickHeader(table, ccKeyName);
    EXPECT_EQ(KeyNames(table), registryOrder);
    ClickHeader(table, ccKeyName);
    EXPECT_EQ(KeyNames(table), (QStringList{QStringLiteral("GammaSuite"), QStringLiteral("BetaTool"), QStringLiteral("AlphaApp")}));
    ClickHeader(table, ccChanged);
    EXPECT_EQ(KeyNames(table), (QStringList{QStringLiteral("GammaSuite"), QStringLiteral("BetaTool"), QStringLiteral("AlphaApp")}));
}

TEST_F(WindowTest, ARemovalLeavesTheTableAsAFreshListingWould)
{
    Open();
    auto* table = Find<QTreeWidget>(QStringLiteral("suiListView1"));
    ClickHeader(table, ccFrequency);
    table->setCurrentItem(table->findItems(QStringLiteral("AlphaApp"), Qt::MatchExactly).first());
    Click(QStringLiteral("suiButton3"));
    ASSERT_TRUE(messages.shown.empty()) << LastMessage().toStdString();
    EXPECT_FALSE(table->header()->isSortIndicatorShown());
    EXPECT_EQ(table->currentItem(), nullptr);
    EXPECT_TRUE(table->selectedItems().isEmpty());

    const auto machine = registry.reopen();
    TForm1 fresh(*machine, registry.undoFolder(), Form1Services{&messages, &shell, &printers, {}});
    fresh.show();
    const auto* freshTable = fresh.findChild<QTreeWidget*>(QStringLiteral("suiListView1"));
    EXPECT_EQ(TableOf(table), TableOf(freshTable));
    EXPECT_EQ(TableOf(table).size(), 2);
    EXPECT_EQ(freshTable->currentItem(), nullptr);

    // The rows left sort as before, by an order already worked out and by a new one.
    ClickHeader(table, ccFrequency);
    EXPECT_EQ(KeyNames(table), (QStringList{QStringLiteral("GammaSuite"), QStringLiteral("BetaTool")}));
    ClickHeader(table, ccKeyName);
    ClickHeader(table, ccKeyName);
    EXPECT_EQ(KeyNames(table), (QStringList{QStringLiteral("GammaSuite"), QStringLiteral("BetaTool")}));
}

TEST_F(WindowTest, WindowCarriesTheApplicationIconInItsThreeSizes)
{
    Open();
    EXPECT_EQ(form->windowIcon().availableSizes(), (QList<QSize>{QSize(16, 16), QSize(32, 32), QSize(48, 48)}));
}
