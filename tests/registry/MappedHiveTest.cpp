// Hives read through a mapping of the file: only what is read is loaded and checked, a file
// shortened under the mapping gives an error instead of SIGBUS, and a file that is no hive
// is refused from its first block whatever its size.
#include "HiveDamage.h"
#include "RegistryTestSupport.h"
#include "registry/MappedFile.h"

#include <csignal>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace parvelle::test {
namespace {

// A hive of `keys` keys with a 2 KiB value each: enough pages to cut most of them away.
QString writeHive(const QTemporaryDir& dir, int keys)
{
    MemoryStore tree;
    for (int i = 0; i < keys; ++i) {
        const NodeId key = tree.addChild(tree.root(), QStringLiteral("Key %1").arg(i));
        tree.setValue(key, RegValue{QStringLiteral("Data"), REG_BINARY, QByteArray(2048, char('a' + i % 26))});
    }
    const QString path = dir.filePath(QStringLiteral("hive"));
    HiveStore::createFrom(path, tree);
    return path;
}

// Reads every key and value of the store.
void readAll(const HiveStore& store)
{
    for (const NodeId key : store.children(store.root())) {
        store.name(key);
        store.values(key);
    }
}

void shorten(const QString& path, qint64 size)
{
    QFile file(path);
    ASSERT_TRUE(file.resize(size));
}

TEST(MappedFile, PagesCutFromTheFileReadAsZerosAndAreReported)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("data"));
    const long page = ::sysconf(_SC_PAGESIZE);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_EQ(file.write(QByteArray(4 * page, 'x')), 4 * page);
    ASSERT_TRUE(file.flush());
    const std::unique_ptr<MappedFile> mapping = MappedFile::map(file.handle(), file.size());
    ASSERT_TRUE(mapping);
    const QByteArray bytes = mapping->bytes();
    EXPECT_EQ(bytes.at(3 * page), 'x');
    EXPECT_FALSE(mapping->wasCut());

    ASSERT_TRUE(file.resize(page));
    mapping->prefetch(0, 4 * page);          // only a hint, and no bus error either
    EXPECT_FALSE(mapping->wasCut());
    EXPECT_EQ(bytes.at(0), 'x');             // still in the file
    EXPECT_EQ(bytes.at(2 * page + 5), '\0');   // gone: zeros, no SIGBUS
    EXPECT_TRUE(mapping->wasCut());
}

// The handler stands aside for bus errors that are not in a guarded mapping.
TEST(MappedFileDeathTest, OtherBusErrorsStillEndTheProgram)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("data"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_EQ(file.write(QByteArray(8192, 'x')), 8192);
    ASSERT_TRUE(file.flush());
    const std::unique_ptr<MappedFile> guarded = MappedFile::map(file.handle(), file.size());
    ASSERT_TRUE(guarded);
    EXPECT_EXIT(
        {
            void* plain = ::mmap(nullptr, 8192, PROT_READ, MAP_PRIVATE, file.handle(), 0);
            (void)file.resize(0);
            std::_Exit(static_cast<volatile const char*>(plain)[4096]);
        },
        ::testing::KilledBySignal(SIGBUS), "");
    EXPECT_EXIT(std::raise(SIGBUS), ::testing::KilledBySignal(SIGBUS), "");
}

// The base block and the first page of the hive bins: what is left as an in-place rewrite starts.
constexpr qsizetype kCutSize = regf::kBinsStart + regf::kPageSize;

TEST(MappedHive, AHiveShortenedWhileOpenGivesAnErrorNotACrash)
{
    QTemporaryDir dir;
    const QString path = writeHive(dir, 200);
    HiveStore store(path, HiveStore::Access::ReadOnly);
    ASSERT_EQ(store.children(store.root()).size(), 200u);

    shorten(path, kCutSize);
    const QString message = throwMessage([&] { readAll(store); });
    EXPECT_TRUE(message.contains(QStringLiteral("was shortened by another program"))) << message.toStdString();
}

TEST(MappedHive, AShortenedHiveIsNeitherChangedNorSaved)
{
    enum class Cut { BeforeAnything, AfterPreparing, AfterTheFirstChange };   // the last: while pages are being copied
    for (const Cut cut : {Cut::BeforeAnything, Cut::AfterPreparing, Cut::AfterTheFirstChange}) {
        QTemporaryDir dir;
        const QString path = writeHive(dir, 200);
        HiveStore store(path);
        const NodeId key = store.children(store.root()).front();
        if (cut == Cut::AfterPreparing)
            store.prepareForChanges();
        const RegValue value{QStringLiteral("New"), REG_DWORD, QByteArray(4, '\1')};
        if (cut == Cut::AfterTheFirstChange)
            store.setValue(key, value);
        shorten(path, kCutSize);
        EXPECT_THROW(
            {
                store.setValue(store.children(store.root()).back(), value);
                store.commit();
            },
            EHiveError);
        EXPECT_EQ(QFileInfo(path).size(), kCutSize);
    }
}

// After a save the image still maps the file it replaced: a program writing into that old
// file (through a descriptor it kept) makes the next save refuse, rather than mixing its
// bytes into the hive.
TEST(MappedHive, TheReplacedFileWrittenAfterASaveIsRefusedAtTheNextOne)
{
    QTemporaryDir dir;
    const QString path = writeHive(dir, 200);
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::ReadWrite));
    HiveStore store(path);
    const std::vector<NodeId> keys = store.children(store.root());
    store.deleteNode(keys.front());
    store.commit();
    const QByteArray saved = fileDigest(path);
    ASSERT_TRUE(old.seek(old.size() / 2));
    ASSERT_EQ(old.write(QByteArray(8192, 'z')), 8192);
    ASSERT_TRUE(old.flush());
    old.close();
    store.deleteNode(keys.back());
    const QString message = throwMessage([&] { store.commit(); });
    EXPECT_TRUE(message.contains(QStringLiteral("was changed by another program"))) << message.toStdString();
    EXPECT_EQ(fileDigest(path), saved);
}

// The first change takes what was prepared ahead (the checked copy of the file, the names
// of the listed keys) only while the file is as it was read.
TEST(MappedHive, WhatIsPreparedForChangesServesOnlyTheFileAsRead)
{
    QTemporaryDir dir;
    const QString path = writeHive(dir, 1200);
    HiveStore store(path);
    store.children(store.root());   // listed: the names are read ahead
    store.prepareForChanges();
    {
        HiveStore other(path);
        other.deleteNode(*other.child(other.root(), QStringLiteral("Key 7")));
        other.commit();
    }
    EXPECT_THROW(store.lockForChanges(), EHiveError);
    ASSERT_TRUE(store.reloadIfChangedOnDisk());
    store.children(store.root());
    store.prepareForChanges();
    store.deleteNode(*store.child(store.root(), QStringLiteral("Key 8")));
    store.commit();
    const HiveStore reread(path, HiveStore::Access::ReadOnly);
    EXPECT_EQ(reread.children(reread.root()).size(), 1198u);
    EXPECT_FALSE(reread.child(reread.root(), QStringLiteral("Key 7")));
    EXPECT_FALSE(reread.child(reread.root(), QStringLiteral("Key 8")));
    EXPECT_EQ(reread.values(*reread.child(reread.root(), QStringLiteral("Key 9"))).front().data, QByteArray(2048, 'j'));
}

TEST(MappedHive, ChangesGoToACopyAndTheFileIsReplacedOnSave)
{
    QTemporaryDir dir;
    const QString path = writeHive(dir, 50);
    const QByteArray before = fileDigest(path);
    HiveStore store(path);
    const NodeId key = store.children(store.root()).front();
    store.setValue(key, RegValue{QStringLiteral("New"), REG_DWORD, QByteArray(4, '\1')});
    EXPECT_EQ(fileDigest(path), before);   // the mapping is never written through
    store.commit();
    HiveStore reread(path);
    EXPECT_TRUE(reread.value(reread.children(reread.root()).front(), QStringLiteral("New")));
    EXPECT_EQ(reread.children(reread.root()).size(), 50u);
}

// A hive bin is checked when a key in it is first read: the keys in a broken bin, or next to
// it, fail with that reason and the others read; a change, which saves the whole hive, is
// refused before anything changes.
TEST(MappedHive, ABrokenBinFailsTheKeysReadFromItAndEveryChange)
{
    QTemporaryDir dir;
    const QString path = writeHive(dir, 200);
    BreakHiveBin(path, 0.5);
    const QByteArray before = fileDigest(path);
    HiveStore store(path);
    const std::vector<NodeId> keys = store.children(store.root());
    ASSERT_EQ(keys.size(), 200u);
    int readable = 0;
    for (const NodeId key : keys) {
        try {
            store.values(key);
            ++readable;
        } catch (const EHiveError& e) {
            EXPECT_TRUE(e.message().contains(QStringLiteral("is broken"))) << e.message().toStdString();
        }
    }
    EXPECT_GT(readable, 190);   // all but the keys with a cell in that bin or next to it
    EXPECT_LT(readable, 200);

    const NodeId intact = keys.front();
    ASSERT_NO_THROW(store.values(intact));
    for (const bool prepared : {false, true}) {   // checked at the change, or ahead
        if (prepared)
            store.prepareForChanges();
        const QString refused = throwMessage([&] { store.setValue(intact, RegValue{QStringLiteral("New"), REG_DWORD, QByteArray(4, '\1')}); });
        EXPECT_TRUE(refused.contains(QStringLiteral("is broken"))) << refused.toStdString();
        EXPECT_FALSE(store.isModified());
    }
    EXPECT_EQ(fileDigest(path), before);
}

// A file given by mistake is refused from its header without reading the rest: a sparse
// file of 6 GiB is never read into memory.
TEST(MappedHive, AHugeFileThatIsNoHiveIsRefusedFromItsHeader)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("disk.img"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write("not a hive"), 10);
    ASSERT_TRUE(file.resize(qint64(6) << 30));
    file.close();
    const QString message = throwMessage([&] { HiveStore store(path, HiveStore::Access::ReadOnly); });
    EXPECT_TRUE(message.contains(QStringLiteral("is not a registry hive file"))) << message.toStdString();
}

} // namespace
} // namespace parvelle::test
