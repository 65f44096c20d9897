// Removal and restore on a copy of a real user hive, checked with reglookup and
// hivexregedit, the Debian tools that read and write hives independently of us.
#include "TestData.h"
#include "UndoTestSupport.h"
#include "core/Errors.h"
#include "registry/HiveStore.h"
#include "undo/RegFile.h"

#include <QDir>
#include <QThread>
#include <QStandardPaths>
#include <QtEndian>
#include <unistd.h>

using namespace parvelle;
using namespace parvelle::test;

namespace {

const QString kCacheBelowUser = QStringLiteral("Software\\") + kArpCacheBelowSoftware;

// Rows only one of the listings holds, marked "-" (only before) or "+" (only after).
QStringList Differences(const QStringList& before, const QStringList& after)
{
    QStringList differences;
    for (const QString& row : before)
        if (!after.contains(row))
            differences << u'-' + row;
    for (const QString& row : after)
        if (!before.contains(row))
            differences << u'+' + row;
    return differences;
}

// Every key, value type and data byte of the cache key (reglookup prints strings decoded).
QStringList CacheBytes(const QString& hivePath)
{
    const HiveStore hive(hivePath, HiveStore::Access::ReadOnly);
    return Snapshot(hive, *hive.find(hive.root(), kCacheBelowUser));
}

// Makes a folder read-only for this process while it lives. Root ignores permissions,
// so a root process acts as the user "nobody" meanwhile (files opened before stay open).
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const QString& path)
    {
        QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup
                                        | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
        actingAsNobody_ = ::geteuid() == 0 && ::seteuid(kNobody) == 0;
    }
    ~ReadOnlyFolder()
    {
        if (actingAsNobody_) {
            EXPECT_EQ(::seteuid(0), 0);
        }
    }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

private:
    static constexpr uid_t kNobody = 65534;
    bool actingAsNobody_ = false;
};

class HiveRoundTrip : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString original;   // the real hive with cache entries added

    void SetUp() override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("reglookup")).isEmpty())
            GTEST_SKIP() << "reglookup is not installed";
        original = dir.filePath(QStringLiteral("NTUSER.DAT"));
        test::UnpackTestHive("NTUSER.DAT", original);
        HiveStore hive(original);
        addEntries(hive);
        hive.commit();
    }

    static void addEntries(HiveStore& hive)
    {
        const NodeId rich = MakeKey(hive, kCacheBelowUser + QStringLiteral("\\Rich Äpp"));
        hive.setValue(rich, {QStringLiteral("SlowInfoCache"), REG_BINARY, Pattern(552)});
        hive.setValue(rich, {QStringLiteral("Changed"), REG_DWORD, Dword(0x80000001)});
        hive.setValue(rich, {QString(), REG_SZ, Utf16z(QStringLiteral("default ü"))});
        hive.setValue(rich, {QStringLiteral("q\"uote"), REG_SZ, Utf16z(QStringLiteral("C:\\dir\\"))});
        hive.setValue(rich, {QStringLiteral("back\\slash"), REG_EXPAND_SZ, Utf16z(QStringLiteral("%ProgramFiles%\\€"))});
        hive.setValue(rich, {QStringLiteral("a=b"), REG_MULTI_SZ, QByteArray("x\0\0\0y\0\0\0\0\0", 10)});
        hive.setValue(rich, {QStringLiteral("Œmega"), REG_QWORD, Pattern(8)});
        hive.setValue(rich, {QStringLiteral("empty"), REG_BINARY, QByteArray()});
        hive.setValue(rich, {QStringLiteral("emptystr"), REG_SZ, Utf16z(QString())});
        hive.setValue(rich, {QStringLiteral("none"), REG_NONE, QByteArray("\x01", 1)});
        hive.setValue(rich, {QStringLiteral("big endian"), REG_DWORD_BIG_ENDIAN, QByteArray("\0\0\0\x05", 4)});
        hive.setValue(rich, {QStringLiteral("resources"), REG_RESOURCE_LIST, Pattern(30)});
        hive.setValue(rich, {QStringLiteral("unknown kind"), 0x20, Pattern(3)});
        hive.setValue(rich, {QStringLiteral("emptyexpand"), REG_EXPAND_SZ, Utf16z(QString())});
        hive.setValue(rich, {QStringLiteral("emptymulti"), REG_MULTI_SZ, QByteArray(2, '\0')});
        const NodeId sub = hive.addChild(rich, QStringLiteral("Sub"));
        hive.setValue(sub, {QStringLiteral("line"), REG_SZ, Utf16z(QStringLiteral("1\r\n2"))});
        hive.addChild(sub, QStringLiteral("Empty"));
        const NodeId plain = MakeKey(hive, kCacheBelowUser + QStringLiteral("\\Plain"));
        hive.setValue(plain, {QStringLiteral("SlowInfoCache"), REG_BINARY, Pattern(20)});
    }

    QString copyOf(const QString& name)
    {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(QFile::copy(original, path));
        return path;
    }

    // Removes both entries from a copy of the user hive, with an undo file in
    // `undoFolder` of the OS kind's header; returns the copy's path.
    QString removedCopy(const QString& name, const QString& undoFolder, uint8_t osKind = 8)
    {
        const QString path = copyOf(name);
        Machine machine;
        machine.mount(HKEY_CURRENT_USER, QString(), std::make_shared<HiveStore>(path));
        TUndoContext undo(machine, osKind, undoFolder, FixedClock());
        for (const QString& entry : {QStringLiteral("Rich Äpp"), QStringLiteral("Plain")})
            EXPECT_TRUE(undo.RemoveRegistryKey(HKEY_CURRENT_USER, u'\\' + kCacheBelowUser + u'\\' + entry));
        return path;
    }
};

} // namespace

TEST_F(HiveRoundTrip, RestoreAndImportGiveBackTheHiveExactly)
{
    const QStringList before = HiveListing(original);
    ASSERT_GT(before.size(), 1000);
    for (const auto& [viaImport, osKind] : {std::pair{false, 8}, std::pair{true, 8}, std::pair{false, 5},
                                            std::pair{true, 5}}) {
        SCOPED_TRACE(viaImport ? "import" : "restore");
        SCOPED_TRACE(osKind);
        const QString name = QStringLiteral("%1-%2").arg(viaImport).arg(osKind);
        const QString undoFolder = dir.filePath(name);
        const QString path = removedCopy(name + QStringLiteral(".DAT"), undoFolder, uint8_t(osKind));
        const QStringList removed = HiveListing(path);
        EXPECT_EQ(removed.size(), before.size() - 21);   // 4 keys, 17 values
        Machine machine;
        machine.mount(HKEY_CURRENT_USER, QString(), std::make_shared<HiveStore>(path));
        TUndoContext undo(machine, 8, undoFolder, FixedClock());
        const QString undoFile = undo.UndoFolder().PathOf(undo.UndoFolder().Newest());
        if (viaImport)
            undo.ImportFile(undoFile);
        else
            undo.RestoreChecked(undoFile, undo.UndoFolder().Load(undo.UndoFolder().Newest()));
        const QStringList after = HiveListing(path);
        EXPECT_EQ(Differences(before, after), QStringList());
        EXPECT_EQ(after, before);
        EXPECT_EQ(CacheBytes(path), CacheBytes(original));
    }
}

TEST_F(HiveRoundTrip, TheRegistryEditorsImporterReadsOurUndoFiles)
{
    if (QStandardPaths::findExecutable(QStringLiteral("hivexregedit")).isEmpty())
        GTEST_SKIP() << "hivexregedit is not installed";
    const QStringList before = HiveListing(original);
    // A file of the 5.00 header: text outside ASCII makes it UTF-16, which hivexregedit
    // reads after the conversion to UTF-8 of docs/saving-and-undo.md, and then only with
    // Perl's switch.
    const QString path = removedCopy(QStringLiteral("merge.DAT"), dir.filePath(QStringLiteral("undo")), 5);
    const QString undoFile = dir.filePath(QStringLiteral("undo/20080303-140509.reg"));
    ASSERT_TRUE(ReadAll(undoFile).startsWith("\xFF\xFE"));
    const QString converted = dir.filePath(QStringLiteral("utf8.reg"));
    RunTool(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("iconv -f UTF-16 -t UTF-8 \"$0\" > \"$1\""),
                                   undoFile, converted});
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PERL_UNICODE"), QStringLiteral("SD"));
    RunTool(QStringLiteral("hivexregedit"), {QStringLiteral("--merge"), QStringLiteral("--prefix"),
                                             QStringLiteral("HKEY_CURRENT_USER"), path, converted},
            environment);
    EXPECT_EQ(Differences(before, HiveListing(path)), QStringList());
    EXPECT_EQ(CacheBytes(path), CacheBytes(original));
}

TEST_F(HiveRoundTrip, AReadOnlyHiveFileIsLeftUnchanged)
{
    const QString path = copyOf(QStringLiteral("ro.DAT"));
    const QByteArray bytes = ReadAll(path);
    Machine machine;
    machine.mount(HKEY_CURRENT_USER, QString(), std::make_shared<HiveStore>(path, HiveStore::Access::ReadOnly));
    TUndoContext undo(machine, 8, dir.filePath(QStringLiteral("undo")), FixedClock());
    try {
        undo.RemoveCacheEntry(QStringLiteral("Plain"));
        ADD_FAILURE() << "a read-only hive was changed";
    } catch (const EParvelleError& error) {
        EXPECT_TRUE(error.message().startsWith(QStringLiteral("The key 'HKEY_CURRENT_USER")))
            << error.what();
    }
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("undo/20080303-140509.reg"))));
    EXPECT_EQ(ReadAll(path), bytes);
}

TEST_F(HiveRoundTrip, AValueThatCannotBeReadLeavesTheHiveFileUnchanged)
{
    const QString path = copyOf(QStringLiteral("unreadable.DAT"));
    QByteArray bytes = ReadAll(path);
    // Every record of the value (freed older copies too) gets data outside the hive; the
    // name follows a 20-byte header that holds the data's offset at byte 8.
    int damaged = 0;
    for (qsizetype name = bytes.indexOf("resources"); name >= 20; name = bytes.indexOf("resources", name + 1)) {
        if (bytes.mid(name - 20, 2) == "vk") {
            qToLittleEndian<quint32>(0x7FFFFFF0, bytes.data() + name - 12);
            ++damaged;
        }
    }
    ASSERT_GT(damaged, 0);
    WriteAll(path, bytes);
    Machine machine;
    machine.mount(HKEY_CURRENT_USER, QString(), std::make_shared<HiveStore>(path));
    TUndoContext undo(machine, 8, dir.filePath(QStringLiteral("undo")), FixedClock());
    EXPECT_THROW(undo.RemoveCacheEntry(QStringLiteral("Rich Äpp")), EParvelleError);
    EXPECT_EQ(ReadAll(path), bytes);
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("undo/20080303-140509.reg"))));
}

TEST_F(HiveRoundTrip, AnUnusableUndoFolderLeavesTheHiveFileUnchanged)
{
    const QString path = copyOf(QStringLiteral("folder.DAT"));
    const QByteArray bytes = ReadAll(path);
    const QString blocked = dir.filePath(QStringLiteral("blocked"));
    WriteAll(blocked, "a file where the undo folder should be");
    Machine machine;
    machine.mount(HKEY_CURRENT_USER, QString(), std::make_shared<HiveStore>(path));
    TUndoContext undo(machine, 8, blocked + QStringLiteral("/undo"), FixedClock());
    EXPECT_THROW(undo.RemoveCacheEntry(QStringLiteral("Rich Äpp")), EInOutError);
    EXPECT_EQ(ReadAll(path), bytes);
    EXPECT_EQ(ReadAll(blocked), QByteArray("a file where the undo folder should be"));
}

TEST_F(HiveRoundTrip, AReadOnlyUndoFolderLeavesTheHiveFileUnchanged)
{
    const QString path = copyOf(QStringLiteral("rofolder.DAT"));
    const QByteArray bytes = ReadAll(path);
    const QString undoFolder = dir.filePath(QStringLiteral("read-only undo"));
    ASSERT_TRUE(QDir().mkpath(undoFolder));
    // The hive's folder stays writable for the user acting below, who locks the hive there.
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                          | QFile::WriteGroup | QFile::ExeGroup | QFile::WriteOther | QFile::ExeOther);
    Machine machine;
    machine.mount(HKEY_CURRENT_USER, QString(), std::make_shared<HiveStore>(path));
    TUndoContext undo(machine, 8, undoFolder, FixedClock());
    QString message = QStringLiteral("no error");
    {
        const ReadOnlyFolder readOnly(undoFolder);
        try {
            undo.RemoveCacheEntry(QStringLiteral("Rich Äpp"));
        } catch (const EInOutError& error) {
            message = error.message();
        }
    }
    EXPECT_EQ(message, QStringLiteral("Cannot take the lock '%1/.20080303-140509.reg.parvelle-lock' of the undo file beside it: Permission denied").arg(undoFolder));
    EXPECT_EQ(ReadAll(path), bytes);
    EXPECT_TRUE(QDir(undoFolder).isEmpty());
}

TEST_F(HiveRoundTrip, ATreeOfAnyDepthIsWalkedWithoutRecursion)
{
    const QString path = copyOf(QStringLiteral("deep.DAT"));
    {
        HiveStore hive(path);
        NodeId node = MakeKey(hive, QStringLiteral("Deep"));
        for (int level = 0; level < 100000; ++level)
            node = hive.addChild(node, QStringLiteral("d"));
        hive.commit();
    }
    const QString regFile = dir.filePath(QStringLiteral("delete.reg"));
    WriteAll(regFile, "REGEDIT4\r\n\r\n[-HKEY_CURRENT_USER\\Deep]\r\n");
    Machine machine;
    const auto hive = std::make_shared<HiveStore>(path);
    machine.mount(HKEY_CURRENT_USER, QString(), hive);
    TUndoContext undo(machine, 8, dir.filePath(QStringLiteral("undo")), FixedClock());
    // On a small stack: a walk that recursed once per level would overflow it. The import
    // cannot record a tree deeper than Windows allows, so it deletes nothing.
    QString message;
    std::unique_ptr<QThread> thread(QThread::create([&] {
        try {
            undo.ImportFile(regFile);
        } catch (const EParvelleError& error) {
            message = error.message();
        }
        hive->deleteNode(*hive->find(hive->root(), QStringLiteral("Deep")));
        hive->commit();
    }));
    thread->setStackSize(512 * 1024);
    thread->start();
    ASSERT_TRUE(thread->wait(QDeadlineTimer(120000)));
    EXPECT_TRUE(message.endsWith(QStringLiteral("cannot be recorded in an undo file: it is more than 512 levels deep, "
                                                "deeper than Windows allows")))
        << message.toStdString();
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("undo/20080303-140509.reg"))));
    EXPECT_EQ(HiveListing(path), HiveListing(original));
}

TEST_F(HiveRoundTrip, ARestoreOrImportThatFailsPartWayLeavesMemoryAsItWas)
{
    const QString path = copyOf(QStringLiteral("failing.DAT"));
    const QByteArray bytes = ReadAll(path);
    // The second value's name is longer than Windows allows: it fails once the first is in.
    const QString file = dir.filePath(QStringLiteral("failing.reg"));
    WriteAll(file, "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Added]\r\n\"v\"=\"x\"\r\n\"" + QByteArray(16384, 'n')
                       + "\"=\"y\"\r\n");
    Machine machine;
    const auto hive = std::make_shared<HiveStore>(path);
    machine.mount(HKEY_CURRENT_USER, QString(), hive);
    TUndoContext undo(machine, 8, dir.filePath(QStringLiteral("undo")), FixedClock());
    const std::vector<std::function<void()>> operations{
        [&] { undo.RestoreChecked(file, ListUndoEntries(ReadRegFile(file))); },
        [&] { undo.ImportFile(file); },
    };
    for (const auto& operation : operations) {
        EXPECT_THROW(operation(), EParvelleError);
        EXPECT_FALSE(hive->isModified());
        EXPECT_FALSE(hive->find(hive->root(), QStringLiteral("Software\\Added")).has_value());
        EXPECT_EQ(ReadAll(path), bytes);
    }
}
