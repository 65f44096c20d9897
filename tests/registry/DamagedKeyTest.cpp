// A hive with one damaged key: its siblings stay readable and nothing near it is rewritten.
#include "HiveDamage.h"
#include "RegistryTestSupport.h"

using namespace parvelle;
using namespace parvelle::test;

namespace {

const QString kParent = QStringLiteral("Parent");
const QStringList kKids{QStringLiteral("Alpha-key"), QStringLiteral("Beta-key"), QStringLiteral("Gamma-key")};

// A hive with Parent\Alpha-key, Beta-key and Gamma-key (each with a value), Beta-key broken.
QString hiveWithABrokenKey(const QTemporaryDir& dir)
{
    const QString path = dir.filePath(QStringLiteral("damaged"));
    HiveStore::createEmpty(path);
    {
        HiveStore store(path);
        const NodeId parent = store.addChild(store.root(), kParent);
        for (const QString& kid : kKids)
            store.setValue(store.addChild(parent, kid), {QStringLiteral("Name"), REG_SZ, QByteArray("x\0", 2)});
        store.commit();
    }
    BreakKeyCell(path, kParent.toLatin1(), kKids.at(1).toLatin1());
    return path;
}

} // namespace

TEST(DamagedKey, IsListedUnnamedAndRaisesItsDamageWhileItsSiblingsRead)
{
    QTemporaryDir dir;
    const QString path = hiveWithABrokenKey(dir);
    HiveStore store(path);
    const NodeId parent = *store.child(store.root(), kParent);
    const std::vector<NodeId> kids = store.children(parent);
    ASSERT_EQ(kids.size(), 3u);
    EXPECT_EQ(store.childNames(parent), (QStringList{kKids.at(0), QString(), kKids.at(2)}));
    EXPECT_FALSE(store.child(parent, kKids.at(1)));
    const QString damage = throwMessage([&] { store.name(kids[1]); });
    EXPECT_TRUE(damage.contains(path) && damage.contains(QStringLiteral("is broken"))) << damage.toStdString();
    EXPECT_THROW(store.values(kids[1]), EHiveError);
    EXPECT_EQ(store.values(kids[2]).size(), 1u);
    EXPECT_EQ(store.child(parent, kKids.at(2)), kids[2]);
}

TEST(DamagedKey, ItsParentsSubkeysAreNotChangedAndTheRestIsSaved)
{
    QTemporaryDir dir;
    const QString path = hiveWithABrokenKey(dir);
    const QByteArray before = fileDigest(path);
    {
        HiveStore store(path);
        const NodeId parent = *store.child(store.root(), kParent);
        const NodeId alpha = *store.child(parent, kKids.at(0));
        for (const auto& change : std::initializer_list<std::function<void()>>{
                 [&] { store.addChild(parent, QStringLiteral("Delta-key")); },
                 [&] { store.deleteNode(alpha); },
                 [&] { store.deleteNode(parent); }}) {
            const QString message = throwMessage(change);
            EXPECT_TRUE(message.contains(QStringLiteral("is broken"))) << message.toStdString();
        }
        EXPECT_FALSE(store.isModified());
        EXPECT_EQ(fileDigest(path), before);

        store.setValue(alpha, {QStringLiteral("More"), REG_DWORD, QByteArray(4, '\1')});
        store.addChild(store.root(), QStringLiteral("Elsewhere"));
        store.commit();
    }
    HiveStore reread(path);
    const NodeId parent = *reread.child(reread.root(), kParent);
    EXPECT_EQ(reread.childNames(parent), (QStringList{kKids.at(0), QString(), kKids.at(2)}));
    EXPECT_EQ(reread.values(*reread.child(parent, kKids.at(0))).size(), 2u);
    EXPECT_TRUE(reread.child(reread.root(), QStringLiteral("Elsewhere")));
    EXPECT_THROW(reread.name(reread.children(parent)[1]), EHiveError);
}

// Subkeys are enumerated without reading their names: a change found that way is refused
// all the same.
TEST(DamagedKey, ASiblingReachedByEnumerationIsNotDeletedEither)
{
    QTemporaryDir dir;
    const QString path = hiveWithABrokenKey(dir);
    HiveStore store(path);
    const std::vector<NodeId> kids = store.children(*store.child(store.root(), kParent));
    ASSERT_EQ(kids.size(), 3u);
    const QString message = throwMessage([&] { store.deleteNode(kids[0]); });
    EXPECT_TRUE(message.contains(QStringLiteral("is broken"))) << message.toStdString();
    EXPECT_FALSE(store.isModified());
}
