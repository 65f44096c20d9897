// Removal of cache entries: the undo file written before anything is deleted.
#include "UndoTestSupport.h"
#include "core/Errors.h"
#include "undo/RegFile.h"
#include "undo/UndoText.h"

#include <QDir>

using namespace parvelle;
using namespace parvelle::test;

namespace {

class Removal : public ::testing::Test {
protected:
    QTemporaryDir dir;
    MemoryCacheMachine registry;

    TUndoContext context(uint8_t osKind, const QString& folder = QString())
    {
        return TUndoContext(registry.machine, osKind, folder.isEmpty() ? dir.path() : folder,
                            FixedClock());
    }
    QString undoFile() const { return dir.filePath(QStringLiteral("20080303-140509.reg")); }
    void addSampleApp()
    {
        registry.software->setValue(registry.cacheEntry(QStringLiteral("SampleApp")),
                                    {QStringLiteral("SlowInfoCache"), REG_BINARY, Pattern(552)});
    }
    void addSecondApp()
    {
        const NodeId second = registry.cacheEntry(QStringLiteral("Second App"));
        registry.software->setValue(second, {QStringLiteral("Changed"), REG_DWORD, Dword(42)});
        registry.software->setValue(second, {QStringLiteral("Path"), REG_SZ,
                                             Utf16z(QStringLiteral("C:\\Program Files\\Second\\"))});
    }
    bool cacheEntryExists(const QString& name) const
    {
        return registry.software->find(registry.software->root(),
                                       kArpCacheBelowSoftware + u'\\' + name).has_value();
    }

    // Runs a removal that must fail; returns its message and checks that the hive
    // and the undo folder are untouched.
    QString failingRemoval(TUndoContext& undo, const QString& name)
    {
        const QStringList before = Snapshot(*registry.software, registry.software->root());
        QString message = QStringLiteral("no error");
        try {
            undo.RemoveCacheEntry(name);
        } catch (const EParvelleError& error) {
            message = error.message();
        }
        EXPECT_EQ(Snapshot(*registry.software, registry.software->root()), before);
        EXPECT_EQ(registry.software->commitCount(), 0);
        EXPECT_FALSE(QFile::exists(undoFile()));
        return message;
    }
};

// A hive that notes, at each deletion, what the undo file holds at that moment.
class WatchedStore : public MemoryStore {
public:
    explicit WatchedStore(QString undoFile) : undoFile_(std::move(undoFile)) {}
    const QByteArrayList& FileAtDeletions() const { return fileAtDeletions_; }

    void deleteNode(NodeId node) override
    {
        note();
        MemoryStore::deleteNode(node);
    }
    bool eraseValue(NodeId node, const QString& name) override
    {
        note();
        return MemoryStore::eraseValue(node, name);
    }

private:
    void note() { fileAtDeletions_ << (QFile::exists(undoFile_) ? ReadAll(undoFile_) : "no undo file"); }

    QString undoFile_;
    QByteArrayList fileAtDeletions_;
};

} // namespace

TEST(RemovalOrder, TheUndoFileIsCompleteBeforeTheFirstDeletion)
{
    QTemporaryDir dir;
    auto store = std::make_shared<WatchedStore>(dir.filePath(QStringLiteral("20080303-140509.reg")));
    Machine machine;
    machine.mount(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE"), store);
    const NodeId entry = MakeKey(*store, kArpCacheBelowSoftware + QStringLiteral("\\SampleApp"));
    store->setValue(entry, {QStringLiteral("SlowInfoCache"), REG_BINARY, Pattern(552)});
    store->setValue(MakeKey(*store, QStringLiteral("Other")), {QStringLiteral("v"), REG_DWORD, Dword(1)});
    TUndoContext undo(machine, 0, dir.path(), FixedClock());
    ASSERT_TRUE(undo.RemoveCacheEntry(QStringLiteral("SampleApp")));
    ASSERT_EQ(store->FileAtDeletions().size(), 1);
    EXPECT_EQ(store->FileAtDeletions()[0], ReadAll(Golden(QStringLiteral("slowinfo_regedit4.reg"))));

    ASSERT_TRUE(undo.RemoveRegistryValue(HKEY_LOCAL_MACHINE, QStringLiteral("\\SOFTWARE\\Other"), QStringLiteral("v")));
    ASSERT_EQ(store->FileAtDeletions().size(), 2);
    EXPECT_TRUE(store->FileAtDeletions()[1].endsWith(
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\r\n\"v\"=dword:00000001\r\n\r\n"));
}

TEST_F(Removal, OnlySlowInfoCacheGivesTheGoldenFileInBothHeaders)
{
    for (const auto& [kind, golden] : {std::pair{uint8_t(0), "slowinfo_regedit4.reg"},
                                       std::pair{uint8_t(5), "slowinfo_version5.reg"}}) {
        addSampleApp();
        TUndoContext undo = context(kind);
        ASSERT_TRUE(undo.RemoveCacheEntry(QStringLiteral("SampleApp")));
        EXPECT_EQ(undo.UndoStamp(), QStringLiteral("20080303-140509"));
        EXPECT_EQ(ReadAll(undoFile()), ReadAll(Golden(QString::fromLatin1(golden)))) << golden;
        EXPECT_FALSE(cacheEntryExists(QStringLiteral("SampleApp")));
        QFile::remove(undoFile());
    }
    EXPECT_EQ(registry.software->commitCount(), 2);
}

TEST_F(Removal, TwoRemovalsInOneSecondShareOneFile)
{
    addSampleApp();
    addSecondApp();
    TUndoContext undo = context(0);
    ASSERT_TRUE(undo.RemoveCacheEntry(QStringLiteral("SampleApp")));
    ASSERT_TRUE(undo.RemoveCacheEntry(QStringLiteral("Second App")));
    EXPECT_EQ(ReadAll(undoFile()), ReadAll(Golden(QStringLiteral("two_removals_regedit4.reg"))));
}

TEST_F(Removal, ARemovalInTheNextSecondStartsItsOwnFile)
{
    addSampleApp();
    addSecondApp();
    QDateTime time = QDateTime::fromString(QStringLiteral("20080303-140509"), QStringLiteral("yyyyMMdd-HHmmss"));
    TUndoContext undo(registry.machine, 0, dir.path(), [&time] { return time; });
    ASSERT_TRUE(undo.RemoveCacheEntry(QStringLiteral("SampleApp")));
    time = time.addSecs(1);
    ASSERT_TRUE(undo.RemoveCacheEntry(QStringLiteral("Second App")));
    EXPECT_EQ(undo.UndoStamp(), QStringLiteral("20080303-140510"));
    EXPECT_EQ(ReadAll(undoFile()), ReadAll(Golden(QStringLiteral("slowinfo_regedit4.reg"))));
    EXPECT_EQ(ReadRegFile(undo.UndoFilePath()).lines.first(), kHeaderRegedit4);
}

TEST_F(Removal, SeveralEntriesAsOneOperationCommitOnce)
{
    addSampleApp();
    addSecondApp();
    TUndoContext undo = context(0);
    EXPECT_EQ(undo.RemoveCacheEntries({QStringLiteral("SampleApp"), QStringLiteral("Gone"),
                                       QStringLiteral("Second App")}),
              QStringList{QStringLiteral("Gone")});
    EXPECT_EQ(ReadAll(undoFile()), ReadAll(Golden(QStringLiteral("two_removals_regedit4.reg"))));
    EXPECT_EQ(registry.software->commitCount(), 1);
    EXPECT_FALSE(cacheEntryExists(QStringLiteral("Second App")));
}

TEST_F(Removal, AnEntryOfABatchThatCannotBeRecordedStopsTheWholeBatch)
{
    addSampleApp();
    const NodeId locked = registry.cacheEntry(QStringLiteral("Locked"));
    registry.software->setValue(locked, {QStringLiteral("x"), REG_SZ, Utf16z(QStringLiteral("x"))});
    registry.software->setValueUnreadable(locked, QStringLiteral("x"));
    EXPECT_THROW(context(0).RemoveCacheEntries({QStringLiteral("SampleApp"), QStringLiteral("Locked")}), EHiveError);
    EXPECT_TRUE(cacheEntryExists(QStringLiteral("SampleApp")));
    EXPECT_TRUE(cacheEntryExists(QStringLiteral("Locked")));
    EXPECT_FALSE(QFile::exists(undoFile()));
    EXPECT_EQ(registry.software->commitCount(), 0);
}

TEST_F(Removal, AnEntryNamedTwiceInABatchIsRemovedOnce)
{
    addSampleApp();
    EXPECT_TRUE(context(0).RemoveCacheEntries({QStringLiteral("SampleApp"), QStringLiteral("sampleapp")}).isEmpty());
    EXPECT_EQ(ReadAll(undoFile()), ReadAll(Golden(QStringLiteral("slowinfo_regedit4.reg"))));
    EXPECT_FALSE(cacheEntryExists(QStringLiteral("SampleApp")));
}

TEST_F(Removal, AnExistingFileThatIsNoUndoFileIsNeverOverwritten)
{
    addSampleApp();
    WriteAll(undoFile(), "not an undo file\r\n[HKEY_USERS\\x]\r\n");
    EXPECT_THROW(
        try { context(0).RemoveCacheEntry(QStringLiteral("SampleApp")); } catch (const EInOutError& error) {
            EXPECT_EQ(error.message(),
                      QStringLiteral("Cannot write '%1': the file is not an undo file; it was left as it is").arg(undoFile()));
            throw;
        },
        EInOutError);
    EXPECT_TRUE(registry.software->find(registry.software->root(), kArpCacheBelowSoftware + QStringLiteral("\\SampleApp")));
    EXPECT_EQ(ReadAll(undoFile()), "not an undo file\r\n[HKEY_USERS\\x]\r\n");
    WriteAll(undoFile(), "");   // an empty file holds nothing to keep
    ASSERT_TRUE(context(0).RemoveCacheEntry(QStringLiteral("SampleApp")));
    EXPECT_EQ(ReadAll(undoFile()), ReadAll(Golden(QStringLiteral("slowinfo_regedit4.reg"))));
}

TEST_F(Removal, AppendsToAHeaderInAnyCaseAndCompletesAMissingLineEnd)
{
    addSampleApp();
    WriteAll(undoFile(), "regedit4");
    ASSERT_TRUE(context(5).RemoveCacheEntry(QStringLiteral("SampleApp")));
    const QByteArray golden = ReadAll(Golden(QStringLiteral("slowinfo_regedit4.reg")));
    EXPECT_EQ(ReadAll(undoFile()), "regedit4\r\n" + golden.mid(QByteArray("REGEDIT4\r\n\r\n").size()));
}

TEST_F(Removal, AppendsToAUtf16FileInItsOwnEncoding)
{
    registry.software->setValue(registry.cacheEntry(QStringLiteral("Ünï")),
                                {QStringLiteral("n"), REG_DWORD, Dword(1)});
    const QString existing = QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n");
    WriteAll(undoFile(), QByteArray("\xFF\xFE") + QByteArray(reinterpret_cast<const char*>(existing.utf16()),
                                                               existing.size() * 2));
    ASSERT_TRUE(context(0).RemoveCacheEntry(QStringLiteral("Ünï")));
    const RegFileText file = ReadRegFile(undoFile());
    EXPECT_TRUE(file.utf16);
    EXPECT_EQ(file.lines, (QStringList{kHeaderVersion5, QString(),
                                       QStringLiteral("[HKEY_LOCAL_MACHINE") + kArpCacheKeyPath + QStringLiteral("Ünï]"),
                                       QStringLiteral("\"n\"=dword:00000001"), QString()}));
}

TEST_F(Removal, KeysAreRecordedDepthFirstWithValuesInEnumerationOrder)
{
    MemoryStore& store = *registry.software;
    const NodeId entry = registry.cacheEntry(QStringLiteral("App"));
    store.setValue(entry, {QStringLiteral("Z"), REG_BINARY, QByteArray("\x01\xAB", 2)});
    store.setValue(entry, {QStringLiteral("A"), REG_SZ, Utf16z(QStringLiteral("a"))});
    const NodeId b = store.addChild(entry, QStringLiteral("B"));
    store.setValue(b, {QString(), REG_DWORD, Dword(1)});
    store.addChild(store.addChild(entry, QStringLiteral("A")), QStringLiteral("Inner"));
    ASSERT_TRUE(context(0).RemoveCacheEntry(QStringLiteral("App")));

    const QString key = QStringLiteral("HKEY_LOCAL_MACHINE") + kArpCacheKeyPath + QStringLiteral("App");
    const RegFileText file = ReadRegFile(undoFile());
    EXPECT_EQ(file.lines, (QStringList{
        kHeaderRegedit4, QString(),
        // One empty line ends each key's entries, also after hex data: the registry
        // editor's importer (hivexregedit) takes a key line only after an empty line and
        // no value line after one.
        u'[' + key + u']', QStringLiteral("\"Z\"=hex:01,AB"), QStringLiteral("\"A\"=\"a\""), QString(),
        u'[' + key + QStringLiteral("\\A]"), QString(),
        u'[' + key + QStringLiteral("\\A\\Inner]"), QString(),
        u'[' + key + QStringLiteral("\\B]"), QStringLiteral("@=dword:00000001"), QString(),
    }));
    EXPECT_FALSE(cacheEntryExists(QStringLiteral("App")));
    EXPECT_TRUE(cacheEntryExists(QString()));   // the cache key itself stays
}

TEST_F(Removal, KindEightUsesTheUserHiveAndRegedit4)
{
    registry.user->setValue(registry.cacheEntry(QStringLiteral("Vista"), true),
                            {QStringLiteral("Changed"), REG_DWORD, Dword(7)});
    ASSERT_TRUE(context(8).RemoveCacheEntry(QStringLiteral("Vista")));
    const RegFileText file = ReadRegFile(undoFile());
    ASSERT_EQ(file.lines.size(), 5);
    EXPECT_EQ(file.lines[0], kHeaderRegedit4);
    // Recorded as the hive spells it ("Software"), not as the removal named it.
    EXPECT_EQ(file.lines[2], QStringLiteral("[HKEY_CURRENT_USER\\Software\\") + kArpCacheBelowSoftware
                                 + QStringLiteral("\\Vista]"));
    EXPECT_EQ(registry.user->commitCount(), 1);
}

TEST_F(Removal, AMissingEntryRemovesNothingAndWritesNoFile)
{
    TUndoContext undo = context(0);
    EXPECT_FALSE(undo.RemoveCacheEntry(QStringLiteral("Nobody")));
    EXPECT_FALSE(QFile::exists(undoFile()));
    EXPECT_EQ(registry.software->commitCount(), 0);
}

TEST_F(Removal, NamesThatLeaveTheCacheKeyAreRefused)
{
    addSampleApp();
    TUndoContext undo = context(0);
    EXPECT_EQ(failingRemoval(undo, QStringLiteral("SampleApp\\..")),
              QStringLiteral("'SampleApp\\..' is not the name of a cache entry"));
    EXPECT_EQ(failingRemoval(undo, QString()), QStringLiteral("You must select an item from the list"));
}

TEST_F(Removal, AnUnusableUndoFolderLeavesTheRegistryUntouched)
{
    addSampleApp();
    const QString blocked = dir.filePath(QStringLiteral("blocked"));
    WriteAll(blocked, "a file where the folder should be");
    TUndoContext undo = context(0, blocked + QStringLiteral("/undo"));
    EXPECT_EQ(failingRemoval(undo, QStringLiteral("SampleApp")),
              QStringLiteral("Cannot create the undo folder '%1/undo'").arg(blocked));
}

TEST_F(Removal, AValueThatCannotBeReadLeavesTheRegistryUntouched)
{
    addSampleApp();
    const NodeId sub = registry.software->addChild(registry.cacheEntry(QStringLiteral("SampleApp")),
                                                   QStringLiteral("Sub"));
    registry.software->setValue(sub, {QStringLiteral("Broken"), REG_SZ, Utf16z(QStringLiteral("x"))});
    registry.software->setValueUnreadable(sub, QStringLiteral("Broken"));
    TUndoContext undo = context(0);
    const NodeId entry = registry.cacheEntry(QStringLiteral("SampleApp"));
    try {
        undo.RemoveCacheEntry(QStringLiteral("SampleApp"));
        ADD_FAILURE() << "the removal of an unreadable value succeeded";
    } catch (const EParvelleError& error) {
        EXPECT_TRUE(error.message().contains(QStringLiteral("Broken"))) << error.what();
    }
    EXPECT_FALSE(QFile::exists(undoFile()));
    EXPECT_EQ(registry.software->commitCount(), 0);
    EXPECT_EQ(registry.software->value(entry, QStringLiteral("SlowInfoCache"))->data, Pattern(552));
    EXPECT_EQ(registry.software->child(entry, QStringLiteral("Sub")), sub);

    // Nothing of the failed removal is carried into the next one.
    registry.software->setValueUnreadable(sub, QStringLiteral("Broken"), false);
    registry.software->deleteNode(sub);
    ASSERT_TRUE(undo.RemoveCacheEntry(QStringLiteral("SampleApp")));
    EXPECT_EQ(ReadAll(undoFile()), ReadAll(Golden(QStringLiteral("slowinfo_regedit4.reg"))));
}

TEST_F(Removal, AKeyWhoseNameHoldsALineBreakIsRefusedBeforeAnythingIsRecorded)
{
    addSampleApp();
    registry.software->addChild(registry.cacheEntry(QStringLiteral("SampleApp")), QStringLiteral("two\nlines"));
    TUndoContext undo = context(0);
    EXPECT_EQ(failingRemoval(undo, QStringLiteral("SampleApp")),
              QStringLiteral("The key 'HKEY_LOCAL_MACHINE%1SampleApp\\two\nlines' cannot be recorded in an "
                             "undo file: its name holds a line break").arg(kArpCacheKeyPath));
}

TEST_F(Removal, AReadOnlyHiveIsReportedBeforeAnythingIsRecorded)
{
    addSampleApp();
    registry.software->setReadOnly(QStringLiteral("the hive file is read-only"));
    TUndoContext undo = context(0);
    EXPECT_EQ(failingRemoval(undo, QStringLiteral("SampleApp")),
              QStringLiteral("The key 'HKEY_LOCAL_MACHINE%1SampleApp' cannot be changed: "
                             "the hive file is read-only").arg(kArpCacheKeyPath));
}

TEST_F(Removal, AFailedCommitLeavesACompleteUndoFile)
{
    addSampleApp();
    registry.software->setCommitFailure(QStringLiteral("disk full"));
    EXPECT_THROW(context(0).RemoveCacheEntry(QStringLiteral("SampleApp")), EHiveError);
    EXPECT_EQ(ReadAll(undoFile()), ReadAll(Golden(QStringLiteral("slowinfo_regedit4.reg"))));
}

TEST_F(Removal, OneValueIsRecordedUnderItsKeyAndDeleted)
{
    addSampleApp();
    registry.software->setValue(registry.cacheEntry(QStringLiteral("SampleApp")),
                                {QStringLiteral("Changed"), REG_DWORD, Dword(3)});
    TUndoContext undo = context(0);
    const QString key = kArpCacheKeyPath + QStringLiteral("SampleApp");
    ASSERT_TRUE(undo.RemoveRegistryValue(HKEY_LOCAL_MACHINE, key, QStringLiteral("Changed")));
    EXPECT_FALSE(undo.RemoveRegistryValue(HKEY_LOCAL_MACHINE, key, QStringLiteral("Changed")));
    EXPECT_EQ(ReadRegFile(undoFile()).lines.mid(2),
              (QStringList{QStringLiteral("[HKEY_LOCAL_MACHINE") + key + u']',
                           QStringLiteral("\"Changed\"=dword:00000003"), QString()}));
    EXPECT_TRUE(registry.software->value(registry.cacheEntry(QStringLiteral("SampleApp")),
                                         QStringLiteral("SlowInfoCache")).has_value());
}

TEST_F(Removal, KeysAreRecordedUnderTheirStoredNamesNotAsTyped)
{
    registry.software->setValue(registry.cacheEntry(QStringLiteral("Plain")),
                                {QStringLiteral("Changed"), REG_DWORD, Dword(7)});
    TUndoContext undo = context(0);
    ASSERT_TRUE(undo.RemoveCacheEntry(QStringLiteral("plain")));
    const RegFileText file = ReadRegFile(undoFile());
    EXPECT_EQ(file.lines[2], QStringLiteral("[HKEY_LOCAL_MACHINE") + kArpCacheKeyPath + QStringLiteral("Plain]"));
}

// Windows tells "k" from the Kelvin sign; the value removed and recorded is the one named.
TEST_F(Removal, AValueIsFoundByWindowsNameComparison)
{
    const NodeId entry = registry.cacheEntry(QStringLiteral("SampleApp"));
    registry.software->setValue(entry, {QStringLiteral("k"), REG_DWORD, Dword(1)});
    registry.software->setValue(entry, {QString(QChar(0x212A)), REG_DWORD, Dword(2)});
    TUndoContext undo = context(5);
    ASSERT_TRUE(undo.RemoveRegistryValue(HKEY_LOCAL_MACHINE, kArpCacheKeyPath + QStringLiteral("SampleApp"),
                                         QString(QChar(0x212A))));
    EXPECT_TRUE(registry.software->value(entry, QStringLiteral("k")).has_value());
    EXPECT_FALSE(registry.software->value(entry, QString(QChar(0x212A))).has_value());
    EXPECT_TRUE(ReadRegFile(undoFile()).lines.contains(QStringLiteral("\"\u212A\"=dword:00000002")));
}

TEST_F(Removal, KeysWindowsCannotHoldAreRefusedBeforeAnythingIsRemoved)
{
    const NodeId longName = registry.cacheEntry(QStringLiteral("Long"));
    registry.software->addChild(longName, QString(256, u'n'));
    TUndoContext undo = context(0);
    const QString longPath = QStringLiteral("HKEY_LOCAL_MACHINE") + kArpCacheKeyPath + QStringLiteral("Long\\")
                             + QString(256, u'n');
    EXPECT_EQ(failingRemoval(undo, QStringLiteral("Long")),
              QStringLiteral("The key '%1...' cannot be recorded in an undo file: its name is 256 characters long; "
                             "Windows allows at most 255").arg(longPath.left(200)));

    // 100,000 levels: refused at the first level past Windows' 512, by a walk without
    // recursion (the registry is compared by its cache key's entries, not walked).
    NodeId node = registry.cacheEntry(QStringLiteral("Deep"));
    for (int level = 0; level < 100000; ++level)
        node = registry.software->addChild(node, QStringLiteral("d"));
    const NodeId cache = *registry.software->find(registry.software->root(), kArpCacheBelowSoftware);
    const std::vector<NodeId> entries = registry.software->children(cache);
    try {
        undo.RemoveCacheEntry(QStringLiteral("Deep"));
        ADD_FAILURE() << "no error";
    } catch (const ERegistryException& error) {
        EXPECT_TRUE(error.message().endsWith(QStringLiteral("cannot be recorded in an undo file: it is more than 512 "
                                                            "levels deep, deeper than Windows allows")))
            << error.message().toStdString();
    }
    EXPECT_EQ(registry.software->children(cache), entries);
    EXPECT_EQ(registry.software->commitCount(), 0);
    EXPECT_FALSE(QFile::exists(undoFile()));
}
