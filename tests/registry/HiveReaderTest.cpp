// The hive reader and writer: cross-checked with hivex on real hives, whole trees written
// and read back, and damaged files that must fail with an error instead of a crash.
#include "HiveDumps.h"
#include "RegistryTestSupport.h"

#include "registry/HiveImage.h"
#include "registry/RegfImage.h"
#include "registry/RegfLayout.h"
#include "registry/TNTRegistry.h"

#include <QRandomGenerator>
#include <QtEndian>
#include <cstring>

using namespace parvelle;
using namespace parvelle::test;

namespace {

// The file offset of the record in the cell at file offset `cell`.
qsizetype recordOf(qsizetype cell)
{
    return cell + regf::kCellSizeField;
}

TEST(HiveReader, ReadsRealHivesExactlyAsHivexDoes)
{
    QTemporaryDir dir;
    for (const char* name : {"NTUSER.DAT", "ntuser_software_partial", "NTUSER_with_winscp.DAT"}) {
        const QString path = unpackHive(dir, name);
        const HiveStore store(path, HiveStore::Access::ReadOnly);
        const QStringList ours = storeDump(store);
        EXPECT_GT(ours.size(), 1000) << name;
        EXPECT_EQ(ours, hivexDump(path)) << name;
    }
}

// A tree with every shape the writer handles: many subkeys, names in both encodings,
// values inline, in a cell and large.
std::shared_ptr<MemoryStore> sampleTree()
{
    auto tree = std::make_shared<MemoryStore>();
    const NodeId many = tree->addChild(tree->root(), QStringLiteral("Many"));
    for (int i = 0; i < 1234; ++i)
        tree->setValue(tree->addChild(many, QStringLiteral("Entry %1").arg(i * 7919 % 1234)),
                       RegValue{QStringLiteral("n"), REG_DWORD, QByteArray::number(i).leftJustified(4, '\0', true)});
    const NodeId mixed = tree->addChild(tree->root(), QStringLiteral("Grüße ✓"));
    tree->addChild(tree->addChild(mixed, QStringLiteral("under_score")), QStringLiteral("Zed"));
    tree->setValue(mixed, RegValue{QString(), REG_SZ, textValue({}, QStringLiteral("default")).data});
    tree->setValue(mixed, RegValue{QStringLiteral("empty"), REG_BINARY, {}});
    tree->setValue(mixed, RegValue{QStringLiteral("three"), REG_BINARY, QByteArrayLiteral("abc")});
    tree->setValue(mixed, RegValue{QStringLiteral("Größe ✓"), REG_MULTI_SZ, QByteArray(600, 'm')});
    tree->setValue(mixed, RegValue{QStringLiteral("big"), REG_BINARY, QByteArray(70000, 'b')});
    tree->setValue(mixed, RegValue{QStringLiteral("odd"), 0x7777u, QByteArrayLiteral("12345")});
    return tree;
}

TEST(HiveWriter, WholeTreeReadsBackInEveryReader)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tree.hiv"));
    const auto tree = sampleTree();
    HiveStore::createFrom(path, *tree);

    const HiveStore store(path);
    EXPECT_TRUE(store.isWritable());
    EXPECT_EQ(storeDump(store), storeDump(*tree));
    EXPECT_EQ(hivexDump(path), storeDump(*tree));
    const QByteArray lookedUp = RunTool(QStringLiteral("reglookup"), {QStringLiteral("-H"), path});
    EXPECT_EQ(lookedUp.count("\n"), storeDump(*tree).size());
    EXPECT_TRUE(lookedUp.contains("/Many/Entry 1233,KEY,")) << lookedUp.left(300).toStdString();
    // A name beyond Latin-1 is stored as UTF-16LE, which reglookup shows byte by byte.
    EXPECT_TRUE(lookedUp.contains("/G%00r%00%FC%00%DF%00e%00 %00%13'/under_score/Zed,KEY,"));
}

TEST(HiveWriter, ChangedTreeReadsBackInHivex)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tree.hiv"));
    const auto tree = sampleTree();
    HiveStore::createFrom(path, *tree);
    {
        HiveStore store(path);
        const NodeId many = *store.child(store.root(), QStringLiteral("many"));
        const NodeId added = store.addChild(many, QStringLiteral("Entry 0500a"));   // into a split subkey list
        store.setValue(added, textValue(QStringLiteral("v"), QStringLiteral("new")));
        store.deleteNode(*store.child(many, QStringLiteral("Entry 17")));
        store.commit();
        tree->setValue(tree->addChild(*tree->child(tree->root(), QStringLiteral("Many")), QStringLiteral("Entry 0500a")),
                       textValue(QStringLiteral("v"), QStringLiteral("new")));
        tree->deleteNode(*tree->find(tree->root(), QStringLiteral("Many\\Entry 17")));
    }
    EXPECT_EQ(storeDump(HiveStore(path)), storeDump(*tree));
    EXPECT_EQ(hivexDump(path), storeDump(*tree));
}

TEST(HiveWriter, RefusesToReplaceAFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("precious"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("keep me");
    file.close();
    EXPECT_THROW(HiveStore::createFrom(path, *sampleTree()), EHiveError);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("keep me"));
}

// Every key and value of a store read, whatever the outcome.
void readEverything(const RegistryStore& store, NodeId node, int depth)
{
    store.name(node);
    store.lastWriteTime(node);
    store.values(node);
    if (depth < 8) {
        for (NodeId kid : store.children(node))
            readEverything(store, kid, depth + 1);
    }
}

TEST(HiveReader, DamagedBytesGiveErrorsNotCrashes)
{
    MemoryStore tree;
    const NodeId key = tree.addChild(tree.addChild(tree.root(), QStringLiteral("A")), QStringLiteral("B"));
    for (int i = 0; i < 40; ++i)
        tree.setValue(tree.addChild(key, QStringLiteral("K%1").arg(i)), RegValue{QStringLiteral("v"), REG_BINARY, QByteArray(i * 10, 'x')});
    const QByteArray clean = BuildHiveImage(tree, 1);
    QRandomGenerator random(20261208);
    int failures = 0;
    for (int round = 0; round < 400; ++round) {
        QByteArray damaged = clean;
        for (int flips = 0; flips < 8; ++flips)
            damaged[int(regf::kBinsStart + random.bounded(uint32_t(clean.size() - regf::kBinsStart)))] = char(random.bounded(256));
        try {
            const RegfImage image(damaged, QStringLiteral("damaged"));
            std::function<void(NodeId, int)> walk = [&](NodeId node, int depth) {
                image.name(node);
                image.values(node);
                if (depth < 8) {
                    for (NodeId kid : image.children(node))
                        walk(kid, depth + 1);
                }
            };
            walk(image.root(), 0);
        } catch (const EHiveError& e) {
            EXPECT_TRUE(e.message().startsWith(QStringLiteral("The hive file 'damaged' is damaged: "))) << e.what();
            ++failures;
        }
    }
    EXPECT_GT(failures, 0);

    QByteArray badHeader = clean;
    badHeader[regf::BaseBlock::kFileName] = 'x';   // inside the checksummed header
    try {
        RegfImage image(badHeader, QStringLiteral("h"));
        ADD_FAILURE() << "a changed header was read";
    } catch (const regf::EHiveDamage& e) {
        EXPECT_EQ(e.message(), QStringLiteral("The hive file 'h' is damaged: the header checksum does not match"));
        EXPECT_EQ(e.damage().kind, regf::DamageKind::BaseBlockChecksum);
        EXPECT_EQ(e.damage().offset, regf::BaseBlock::kChecksum);
        EXPECT_EQ(e.damage().expected, regf::BaseBlockChecksum(badHeader));
        EXPECT_EQ(e.damage().found, regf::BaseBlock(clean.constData()).storedChecksum());
    }
    EXPECT_THROW(RegfImage(clean.left(regf::kBinsStart + regf::kPageSize / 2), QStringLiteral("short")), EHiveError);
}

TEST(HiveReader, KeyListedUnderItselfIsRefused)
{
    MemoryStore tree;
    tree.addChild(tree.addChild(tree.root(), QStringLiteral("A")), QStringLiteral("B"));
    QByteArray bytes = BuildHiveImage(tree, 1);
    const RegfImage clean(bytes, QStringLiteral("loop"));
    const NodeId a = clean.children(clean.root()).at(0);
    // Point A's only subkey entry back at A itself.
    const uint32_t list = regf::LoadU32(bytes.constData() + recordOf(a) + regf::KeyNode::kSubkeyList);
    regf::StoreU32(bytes.data() + recordOf(regf::kBinsStart + list) + regf::SubkeyList::kEntries, uint32_t(a - regf::kBinsStart));
    const RegfImage looped(bytes, QStringLiteral("loop"));
    try {
        looped.children(a);
        ADD_FAILURE() << "a key listed under itself was read";
    } catch (const regf::EHiveDamage& e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("not its parent"))) << e.what();
        EXPECT_EQ(e.damage().kind, regf::DamageKind::SubkeyParent);
        EXPECT_EQ(e.damage().offset, recordOf(a) + regf::KeyNode::kParent);
        EXPECT_EQ(e.damage().expected, a - regf::kBinsStart);   // A lists itself: it should be its own parent
        EXPECT_EQ(e.damage().found, clean.root() - regf::kBinsStart);
    }
}

TEST(HiveReader, AKeyOfALongListUnderAnotherParentIsTheFirstInTheListReported)
{
    // Long lists are checked in two halves at once: the report is the one a check in order makes.
    MemoryStore tree;
    const NodeId many = tree.addChild(tree.root(), QStringLiteral("Many"));
    for (int i = 0; i < 10000; ++i)
        tree.addChild(many, QStringLiteral("k%1").arg(i, 5, 10, QLatin1Char('0')));
    QByteArray bytes = BuildHiveImage(tree, 1);
    const RegfImage clean(bytes, QStringLiteral("h"));
    const NodeId parent = clean.children(clean.root()).at(0);
    const std::vector<NodeId> kids = clean.children(parent);
    for (const size_t moved : {size_t(9000), size_t(100)}) {
        regf::StoreU32(bytes.data() + recordOf(kids[moved]) + regf::KeyNode::kParent, uint32_t(clean.root() - regf::kBinsStart));
        const RegfImage damaged(bytes, QStringLiteral("h"));
        try {
            damaged.children(parent);
            ADD_FAILURE() << "a key under another parent was read";
        } catch (const regf::EHiveDamage& e) {
            EXPECT_EQ(e.damage().kind, regf::DamageKind::SubkeyParent);
            EXPECT_EQ(e.damage().offset, recordOf(kids[moved]) + regf::KeyNode::kParent) << moved;
        }
    }
}

TEST(HiveReader, RootOrTwiceListedSubkeysAreRefused)
{
    MemoryStore tree;
    const NodeId a = tree.addChild(tree.root(), QStringLiteral("A"));
    tree.addChild(a, QStringLiteral("B"));
    tree.addChild(a, QStringLiteral("C"));
    const QByteArray clean = BuildHiveImage(tree, 1);
    const RegfImage image(clean, QStringLiteral("h"));
    const NodeId root = image.root();
    const NodeId aCell = image.children(root).at(0);
    const uint32_t list = recordOf(regf::kBinsStart + regf::LoadU32(clean.constData() + recordOf(aCell) + regf::KeyNode::kSubkeyList));
    const auto entry = [&](int i) { return list + regf::SubkeyList::kEntries + regf::SubkeyList::kHashedEntry * i; };

    // The root listed under A, with A as its parent: a cycle through the root.
    QByteArray cycle = clean;
    regf::StoreU32(cycle.data() + entry(0), uint32_t(root - regf::kBinsStart));
    regf::StoreU32(cycle.data() + recordOf(root) + regf::KeyNode::kParent, uint32_t(aCell - regf::kBinsStart));
    EXPECT_THROW(RegfImage(cycle, QStringLiteral("h")).children(aCell), EHiveError);

    QByteArray twice = clean;
    std::memcpy(twice.data() + entry(1), twice.constData() + entry(0), regf::kOffsetEntry);
    const QString message = throwMessage([&] { RegfImage(twice, QStringLiteral("h")).children(aCell); });
    EXPECT_TRUE(message.contains(QStringLiteral("listed twice"))) << message.toStdString();
}

TEST(HiveReader, HiveChangedOnDiskIsNotOverwritten)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("hive"));
    HiveStore::createFrom(path, *sampleTree());
    HiveStore store(path);
    const NodeId many = *store.child(store.root(), QStringLiteral("Many"));
    // Another program rewrites the file after we read it.
    ASSERT_TRUE(QFile::remove(path));
    MemoryStore other;
    other.addChild(other.root(), QStringLiteral("Theirs"));
    HiveStore::createFrom(path, other);
    const QByteArray theirs = fileDigest(path);
    const QString message = throwMessage([&] { store.addChild(many, QStringLiteral("Mine")); });
    EXPECT_TRUE(message.contains(QStringLiteral("changed by another program"))) << message.toStdString();
    EXPECT_EQ(fileDigest(path), theirs);
}

TEST(HiveReader, OpenPathReportsAHiveThatCannotTakeTheNewKey)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("hive"));
    HiveStore::createEmpty(path);
    Machine machine;
    machine.mount(HKEY_CURRENT_USER, QString(), std::make_shared<HiveStore>(path));
    ASSERT_TRUE(QFile::remove(path));
    HiveStore::createEmpty(path);   // replaced behind our back
    TNTRegistry reg(machine);
    EXPECT_TRUE(reg.OpenPath(QString(), true));   // existing keys still open
    const QString message = throwMessage([&] { reg.OpenPath(QStringLiteral("Software\\New"), true); });
    EXPECT_TRUE(message.contains(QStringLiteral("changed by another program"))) << message.toStdString();
    EXPECT_TRUE(reg.KeyPath().isEmpty());
}

TEST(HiveReader, CommitDoesNotOverwriteAFileChangedMeanwhile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("hive"));
    HiveStore::createEmpty(path);
    HiveStore store(path);
    store.addChild(store.root(), QStringLiteral("First"));
    store.commit();
    store.addChild(store.root(), QStringLiteral("Second"));
    ASSERT_TRUE(QFile::remove(path));
    MemoryStore other;
    other.addChild(other.root(), QStringLiteral("Theirs"));
    HiveStore::createFrom(path, other);
    const QByteArray theirs = fileDigest(path);
    EXPECT_THROW(store.commit(), EHiveError);
    EXPECT_EQ(fileDigest(path), theirs);
    EXPECT_TRUE(store.isModified());
}

} // namespace
