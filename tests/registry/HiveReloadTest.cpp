// A hive file changed by another program while it is open: read again when nothing is
// pending, kept when the new file cannot be read, pending changes dropped on request.
#include "RegistryTestSupport.h"

#include "registry/Machine.h"

#include <cstdio>

using namespace parvelle;
using namespace parvelle::test;

namespace {

class HiveReloadTest : public ::testing::Test {
protected:
    HiveReloadTest() : path(dir.filePath(QStringLiteral("SOFTWARE")))
    {
        MemoryStore tree;
        tree.addChild(tree.root(), QStringLiteral("Alpha"));
        tree.addChild(tree.root(), QStringLiteral("Beta"));
        HiveStore::createFrom(path, tree);
        store = std::make_unique<HiveStore>(path);
    }

    // What another program does: its own store on the file, one change, one save.
    void AddKeyElsewhere(const QString& name)
    {
        HiveStore other(path);
        other.addChild(other.root(), name);
        other.commit();
    }

    QTemporaryDir dir;
    QString path;
    std::unique_ptr<HiveStore> store;
};

} // namespace

TEST_F(HiveReloadTest, AChangedFileIsReadAgainAndThenSavedOverCleanly)
{
    EXPECT_FALSE(store->reloadIfChangedOnDisk());
    AddKeyElsewhere(QStringLiteral("Gamma"));
    EXPECT_TRUE(throwMessage([&] { store->lockForChanges(); }).contains(QStringLiteral("changed by another program")));
    EXPECT_TRUE(store->reloadIfChangedOnDisk());
    EXPECT_EQ(store->childNames(store->root()),
              (QStringList{QStringLiteral("Alpha"), QStringLiteral("Beta"), QStringLiteral("Gamma")}));
    EXPECT_NO_THROW(store->lockForChanges());

    store->addChild(store->root(), QStringLiteral("Delta"));
    store->commit();
    EXPECT_EQ(HiveStore(path).childNames(HiveStore(path).root()).size(), 4);
}

TEST_F(HiveReloadTest, RevisionCountsEveryChangeAndEveryReading)
{
    const uint64_t read = store->revision();
    EXPECT_EQ(store->readings(), 1u);
    EXPECT_FALSE(store->reloadIfChangedOnDisk());
    EXPECT_EQ(store->revision(), read);

    store->addChild(store->root(), QStringLiteral("Delta"));
    const uint64_t changed = store->revision();
    EXPECT_GT(changed, read);
    store->commit();   // its own save is no change to read again
    EXPECT_FALSE(store->reloadIfChangedOnDisk());
    EXPECT_EQ(store->revision(), changed);
    EXPECT_EQ(store->readings(), 1u);

    AddKeyElsewhere(QStringLiteral("Gamma"));
    EXPECT_TRUE(store->reloadIfChangedOnDisk());
    EXPECT_GT(store->revision(), changed);
    EXPECT_EQ(store->readings(), 2u);
}

TEST_F(HiveReloadTest, PendingChangesAreKeptUntilDiscarded)
{
    store->deleteNode(*store->child(store->root(), QStringLiteral("Alpha")));
    AddKeyElsewhere(QStringLiteral("Gamma"));
    EXPECT_FALSE(store->reloadIfChangedOnDisk());
    EXPECT_EQ(store->childNames(store->root()), QStringList{QStringLiteral("Beta")});
    EXPECT_TRUE(throwMessage([&] { store->commit(); }).contains(QStringLiteral("changed by another program")));

    store->discardChanges();
    EXPECT_FALSE(store->isModified());
    EXPECT_EQ(store->childNames(store->root()),
              (QStringList{QStringLiteral("Alpha"), QStringLiteral("Beta"), QStringLiteral("Gamma")}));
}

TEST_F(HiveReloadTest, ADamagedReplacementKeepsWhatWasRead)
{
    // Put in place as savers do, by a rename: the file that was read stays intact.
    QFile file(path + QStringLiteral(".new"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(8192, '\0'));
    file.close();
    ASSERT_EQ(::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(path).constData()), 0);
    EXPECT_THROW(store->reloadIfChangedOnDisk(), EHiveError);
    EXPECT_EQ(store->childNames(store->root()), (QStringList{QStringLiteral("Alpha"), QStringLiteral("Beta")}));
    EXPECT_THROW(store->lockForChanges(), EHiveError);
}
