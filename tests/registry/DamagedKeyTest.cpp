// A hive with one damaged key: its siblings stay readable and nothing near it is rewritten.
#include "HiveDamage.h"
#include "RegistryTestSupport.h"

using namespace parvelle;
using namespace parvelle::test;

namespace {

const QString kParent = QStringLiteral("Parent");
const QStringList kKids{QStringLiteral("Alpha-key"), QStringLiteral("Beta-key"), QStringLiteral("Gamma-key")};

// A hive with Parent\Alpha-key, Beta-key and Gamma-key (each with a value), Beta-key
// damaged; `offset` is set to Beta-key's.
QString hiveWithABrokenKey(const QTemporaryDir& dir, KeyDamage damage = KeyDamage::Signature, qsizetype* offset = nullptr)
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
    const qsizetype at = BreakKeyCell(path, kParent.toLatin1(), kKids.at(1).toLatin1(), damage);
    if (offset)
        *offset = at;
    return path;
}

} // namespace

// A key in a cell marked free, its record intact, is read as it stands and noted, and the
// hive is then not changed; a key whose record cannot be read is listed unnamed and raises
// its damage, and a lookup that misses among its siblings cannot answer "absent".
TEST(DamagedKey, IsReadAsItStandsOrRaisesItsDamageWhileItsSiblingsRead)
{
    struct Row {
        KeyDamage damage;
        const char* raised;   // nullptr: read as it stands
    };
    for (const Row& row : {Row{KeyDamage::Signature, "is broken"}, Row{KeyDamage::CellSize, "has a broken size"},
                           Row{KeyDamage::MarkedFree, nullptr}}) {
        SCOPED_TRACE(KeyDamageName(row.damage));
        QTemporaryDir dir;
        qsizetype offset = 0;
        const QString path = hiveWithABrokenKey(dir, row.damage, &offset);
        const QString where = QStringLiteral("at offset 0x%1").arg(offset, 0, 16);
        HiveStore store(path);
        const NodeId parent = *store.child(store.root(), kParent);
        const std::vector<NodeId> kids = store.children(parent);
        ASSERT_EQ(kids.size(), 3u);
        EXPECT_EQ(store.values(kids[2]).size(), 1u);
        EXPECT_EQ(store.child(parent, kKids.at(2)), kids[2]);
        if (!row.raised) {
            EXPECT_EQ(store.childNames(parent), kKids);
            EXPECT_EQ(store.values(kids[1]).size(), 1u);
            EXPECT_FALSE(store.child(parent, QStringLiteral("Absent")));
            const QStringList warnings = store.warnings();
            ASSERT_EQ(warnings.size(), 1);
            EXPECT_TRUE(warnings.first().contains(QStringLiteral("'Beta-key' ") + where)
                        && warnings.first().contains(QStringLiteral("marked free"))) << warnings.first().toStdString();
            const QString refused = throwMessage([&] { store.setValue(kids[0], {QStringLiteral("More"), REG_DWORD, QByteArray(4, '\1')}); });
            EXPECT_TRUE(refused.startsWith(warnings.first())) << refused.toStdString();
            EXPECT_FALSE(store.isModified());
            continue;
        }
        EXPECT_EQ(store.childNames(parent), (QStringList{kKids.at(0), QString(), kKids.at(2)}));
        const QString damage = throwMessage([&] { store.name(kids[1]); });
        EXPECT_TRUE(damage.contains(path) && damage.contains(row.raised) && damage.contains(where)) << damage.toStdString();
        EXPECT_THROW(store.values(kids[1]), EHiveError);
        for (const QString& name : {kKids.at(1), QStringLiteral("Absent")}) {
            const QString lookup = throwMessage([&] { store.child(parent, name); });
            EXPECT_TRUE(lookup.contains(QLatin1Char('\'') + name + QLatin1Char('\'')) && lookup.contains(damage)) << lookup.toStdString();
        }
        EXPECT_TRUE(store.warnings().isEmpty());
    }
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
