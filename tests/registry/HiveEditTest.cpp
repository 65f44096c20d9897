// Changes made to existing hives: read back by hivex and reglookup, in the record forms
// Windows expects for the hive's version, without growing the file on every commit, and
// refused as a whole when part of a damaged key cannot be freed.
#include "HiveDumps.h"
#include "RegistryTestSupport.h"

#include "registry/HiveImage.h"
#include "registry/RegfEditor.h"
#include "registry/RegfLayout.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <QtEndian>
#include <algorithm>
#include <map>

using namespace parvelle;
using namespace parvelle::test;
using regf::BaseBlock;
using regf::BigData;
using regf::BinHeader;
using regf::KeyNode;
using regf::SubkeyList;
using regf::ValueKey;

namespace {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

uint32_t at32(const QByteArray& file, uint32_t offset) { return qFromLittleEndian<uint32_t>(file.constData() + offset); }

// The payload of a cell, as a file offset.
uint32_t payload(uint32_t cell) { return regf::kBinsStart + cell + regf::kCellSizeField; }

// The record of the key at file offset `key`, as a file offset.
uint32_t keyRecord(NodeId key) { return uint32_t(key) + regf::kCellSizeField; }

// A real hive marked as cleanly closed, so that it opens writable.
// A hive whose key "Many" holds 2,000 subkeys "Entry 0" ..., each with a 600-byte value
// when asked.
void writeManyEntries(const QString& path, bool withValues)
{
    MemoryStore tree;
    const NodeId many = tree.addChild(tree.root(), QStringLiteral("Many"));
    for (int i = 0; i < 2000; ++i) {
        const NodeId entry = tree.addChild(many, QStringLiteral("Entry %1").arg(i));
        if (withValues)
            tree.setValue(entry, RegValue{QStringLiteral("v"), REG_BINARY, QByteArray(600, 'x')});
    }
    HiveStore::createFrom(path, tree);
}

QString cleanCopy(const QTemporaryDir& dir, const char* name)
{
    const QString path = unpackHive(dir, name);
    QByteArray bytes = readFile(path);
    regf::StoreU32(bytes.data() + BaseBlock::kSequence2, at32(bytes, BaseBlock::kSequence1));
    StampBaseBlock(bytes.data(), 1);
    writeFile(path, bytes);
    return path;
}

// The leaf kinds ("lf", "lh", ...) of a key's subkey list and each entry's second word
// (name hint or hash) by key cell.
struct SubkeyLeaves {
    QByteArrayList kinds;
    std::map<uint32_t, uint32_t> hints;
};

void readLeaves(const QByteArray& file, uint32_t list, SubkeyLeaves& leaves)
{
    const uint32_t at = payload(list);
    const QByteArray kind = file.mid(at, 2);
    const uint16_t count = regf::LoadU16(file.constData() + at + SubkeyList::kCount);
    for (uint32_t i = 0; i < count; ++i) {
        if (kind == "ri") {
            readLeaves(file, at32(file, at + SubkeyList::kEntries + regf::kOffsetEntry * i), leaves);
        } else {
            const uint32_t entry = at + SubkeyList::kEntries + SubkeyList::kHashedEntry * i;
            leaves.hints[at32(file, entry)] = at32(file, entry + regf::kOffsetEntry);
        }
    }
    if (kind != "ri")
        leaves.kinds << kind;
}

SubkeyLeaves subkeyLeaves(const QByteArray& file, NodeId key)
{
    SubkeyLeaves leaves;
    readLeaves(file, at32(file, keyRecord(key) + KeyNode::kSubkeyList), leaves);
    return leaves;
}

QStringList withoutPrefix(const QStringList& lines, const QString& prefix)
{
    QStringList kept;
    for (const QString& line : lines) {
        if (!line.startsWith(prefix))
            kept << line;
    }
    return kept;
}

TEST(HiveEdit, ChangesToAVersion15HiveReadBackInPeersInItsOwnRecordForms)
{
    QTemporaryDir dir;
    const QString path = cleanCopy(dir, "NTUSER_with_winscp.DAT");
    const QByteArray original = readFile(path);
    const QStringList before = hivexDump(path);
    QByteArray big(40000, '\0');
    for (int i = 0; i < big.size(); ++i)
        big[i] = char(i * 7 % 251);
    const QString added = QStringLiteral("\\Control Panel\\Parvelle Edit");
    NodeId controlPanel = 0;
    NodeId edit = 0;
    {
        HiveStore store(path);
        ASSERT_TRUE(store.isWritable()) << store.readOnlyReason().toStdString();
        controlPanel = *store.child(store.root(), QStringLiteral("Control Panel"));
        edit = store.addChild(controlPanel, QStringLiteral("Parvelle Edit"));
        for (int i = 0; i < 600; ++i)
            store.addChild(edit, QStringLiteral("Sub %1").arg(i));
        store.setValue(edit, RegValue{QStringLiteral("big"), REG_BINARY, big});
        store.deleteNode(*store.child(store.root(), QStringLiteral("Console")));
        store.commit();
    }
    const QStringList after = hivexDump(path);
    EXPECT_EQ(withoutPrefix(after, added), withoutPrefix(before, QStringLiteral("\\Console")));
    EXPECT_TRUE(after.contains(added + QStringLiteral(" : big = 3 ") + QString::fromLatin1(big.toHex())));
    EXPECT_EQ(after.filter(added + QStringLiteral("\\Sub ")).size(), 600);
    EXPECT_EQ(storeDump(HiveStore(path)), after);
    const QByteArray looked = RunTool(QStringLiteral("reglookup"), {QStringLiteral("-H"), QStringLiteral("-p"),
                                                                    QStringLiteral("/Control Panel/Parvelle Edit"), path});
    EXPECT_EQ(looked.count('\n'), 602);   // the key, its value, its subkeys

    // Windows' own hashes stay valid and new lists use hashed leaves, as in this version.
    const QByteArray saved = readFile(path);
    const SubkeyLeaves old = subkeyLeaves(original, controlPanel);
    const SubkeyLeaves now = subkeyLeaves(saved, controlPanel);
    ASSERT_FALSE(old.hints.empty());
    for (const auto& [cell, hash] : old.hints)
        EXPECT_EQ(now.hints.at(cell), hash);
    EXPECT_EQ(now.hints.size(), old.hints.size() + 1);
    EXPECT_EQ(now.kinds, QByteArrayList{"lh"});
    EXPECT_EQ(subkeyLeaves(saved, edit).kinds, (QByteArrayList{"lh", "lh"}));
    // Data beyond one segment is split into segments ("db").
    const uint32_t vk = at32(saved, payload(at32(saved, keyRecord(edit) + KeyNode::kValueList)));
    EXPECT_EQ(saved.mid(payload(at32(saved, payload(vk) + ValueKey::kData)), 2), QByteArray("db"));
}

TEST(HiveEdit, BytesAfterTheHiveBinsAreKept)
{
    QTemporaryDir dir;
    const QString path = unpackHive(dir, "NTUSER.DAT");   // its file is longer than its bins
    const QByteArray original = readFile(path);
    const qsizetype binsEnd = regf::kBinsStart + at32(original, BaseBlock::kBinsSize);
    ASSERT_GT(original.size(), binsEnd + 8192);
    {
        HiveStore store(path);
        store.setValue(store.addChild(store.root(), QStringLiteral("Parvelle")), RegValue{QStringLiteral("v"), REG_BINARY, QByteArray(5000, 'p')});
        store.commit();
    }
    const QByteArray saved = readFile(path);
    const qsizetype newBinsEnd = regf::kBinsStart + at32(saved, BaseBlock::kBinsSize);
    EXPECT_GT(newBinsEnd, binsEnd);   // the new bins took the first part of the rest
    EXPECT_EQ(saved.size(), original.size());
    EXPECT_EQ(saved.mid(newBinsEnd), original.mid(newBinsEnd));
    EXPECT_EQ(storeDump(HiveStore(path)), hivexDump(path));
}

// The same changes, to the file's private mapping or to a copy in memory, save the same
// bytes (but for the time stamps of the bins they add): the keys and values changed, the
// cells freed and taken, the new bins over the bytes after the old ones and the rest of
// those bytes.
TEST(HiveEdit, AMappedImageSavesTheBytesACopyInMemorySaves)
{
    QTemporaryDir dir;
    const QString path = unpackHive(dir, "NTUSER.DAT");   // its file is longer than its bins
    const QByteArray original = readFile(path);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    std::shared_ptr<MappedFile> mapping = MappedFile::map(file.handle(), file.size(), file.size() + (qsizetype(8) << 20));
    ASSERT_TRUE(mapping);
    const auto changedAndSaved = [&](ImageBytes bytes) {
        RegfEditor image(std::move(bytes), path);
        const NodeId root = image.root();
        std::map<QString, NodeId, decltype(&NameLess)> kids(&NameLess);
        for (const NodeId kid : image.children(root))
            kids.emplace(image.name(kid), kid);
        std::vector<NodeId> subtree{kids.at(QStringLiteral("Console"))};
        for (size_t i = 0; i < subtree.size(); ++i) {
            const std::vector<NodeId> below = image.children(subtree[i]);
            subtree.insert(subtree.end(), below.begin(), below.end());
        }
        image.freeKeys(subtree);
        kids.erase(QStringLiteral("Console"));
        const NodeId added = image.addKey(root, QStringLiteral("Parvelle"), 7);
        kids.emplace(QStringLiteral("Parvelle"), added);
        image.setValues(added, {RegValue{QStringLiteral("big"), REG_BINARY, QByteArray(40000, 'b')},
                                RegValue{QStringLiteral("small"), REG_DWORD, QByteArray(4, 's')}});
        std::vector<NodeId> order;
        QStringList names;
        for (const auto& [name, kid] : kids) {
            order.push_back(kid);
            names << name;
        }
        image.setSubkeys(root, order, names);
        image.setTimestamp(root, 9);
        QByteArray saved;
        for (const QByteArrayView piece : image.save(11))
            saved += piece.toByteArray();
        const uint32_t binsEnd = regf::kBinsStart + at32(saved, BaseBlock::kBinsSize);
        for (uint32_t bin = regf::kBinsStart + at32(original, BaseBlock::kBinsSize); bin < binsEnd; bin += at32(saved, bin + BinHeader::kSize))
            regf::StoreU64(saved.data() + bin + BinHeader::kTimestamp, 0);
        return saved;
    };
    const QByteArray fromMemory = changedAndSaved(ImageBytes(original));
    const QByteArray fromMapping = changedAndSaved(ImageBytes(mapping));
    EXPECT_GT(at32(fromMapping, BaseBlock::kBinsSize), at32(original, BaseBlock::kBinsSize));
    EXPECT_EQ(fromMapping.size(), original.size());
    EXPECT_TRUE(fromMapping == fromMemory);
    EXPECT_EQ(readFile(path), original);   // the mapping never writes through
}

TEST(HiveEdit, RepeatedCommitsReuseTheCellsTheyFreed)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("grow.hiv"));
    writeManyEntries(path, true);
    HiveStore store(path);
    const NodeId many = *store.child(store.root(), QStringLiteral("Many"));
    const auto round = [&](int n) {
        store.deleteNode(*store.child(many, QStringLiteral("Entry %1").arg(n)));
        store.addChild(many, QStringLiteral("Again %1").arg(n));
        for (int i = 1000; i < 1050; ++i)
            store.setValue(*store.child(many, QStringLiteral("Entry %1").arg(i)), RegValue{QStringLiteral("v"), REG_BINARY, QByteArray(600, char(n))});
        store.commit();
    };
    round(0);
    round(1);
    const qint64 settled = QFileInfo(path).size();
    for (int n = 2; n < 12; ++n)
        round(n);
    // Ten rounds rewrite about 450 KiB of lists and values; only the new key records stay.
    EXPECT_LE(QFileInfo(path).size(), settled + 8192);
    EXPECT_EQ(storeDump(HiveStore(path)), hivexDump(path));
}

TEST(HiveEdit, LaterSessionsReuseTheFreeCellsOfTheFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sessions.hiv"));
    writeManyEntries(path, false);
    const auto session = [&](int n) {
        HiveStore store(path);
        const NodeId many = *store.child(store.root(), QStringLiteral("Many"));
        store.deleteNode(*store.child(many, QStringLiteral("Entry %1").arg(n)));
        store.setValue(store.addChild(many, QStringLiteral("Again %1").arg(n)), RegValue{QStringLiteral("v"), REG_BINARY, QByteArray(600, 'v')});
        store.commit();
    };
    session(0);
    session(1);
    const qint64 settled = QFileInfo(path).size();
    for (int n = 2; n < 10; ++n)
        session(n);
    // Each session writes a new 16 KiB subkey list in place of the old one.
    EXPECT_LE(QFileInfo(path).size(), settled + 8192);
    EXPECT_EQ(storeDump(HiveStore(path)), hivexDump(path));
}

TEST(HiveEdit, DeletingADamagedTreeChangesNothing)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("damaged.hiv"));
    {
        MemoryStore tree;
        const NodeId a = tree.addChild(tree.root(), QStringLiteral("A"));
        tree.setValue(a, textValue(QStringLiteral("kept"), QStringLiteral("value of A")));
        tree.setValue(tree.addChild(a, QStringLiteral("B")), textValue(QStringLiteral("v"), QStringLiteral("value of B")));
        HiveStore::createFrom(path, tree);
    }
    {
        // B's value list points outside the hive.
        QByteArray bytes = readFile(path);
        const HiveStore reader(path);
        const NodeId b = *reader.find(reader.root(), QStringLiteral("A\\B"));
        regf::StoreU32(bytes.data() + keyRecord(b) + KeyNode::kValueList, 0x7FFFFFF0);
        writeFile(path, bytes);
    }
    const QByteArray digest = fileDigest(path);
    HiveStore store(path);
    const NodeId a = *store.child(store.root(), QStringLiteral("A"));
    const QString message = throwMessage([&] { store.deleteNode(a); });
    EXPECT_TRUE(message.contains(QStringLiteral("is damaged"))) << message.toStdString();
    EXPECT_EQ(store.childNames(store.root()), QStringList{"A"});
    EXPECT_EQ(store.value(a, QStringLiteral("kept"))->data, textValue({}, QStringLiteral("value of A")).data);
    EXPECT_FALSE(store.isModified());
    store.commit();
    EXPECT_EQ(fileDigest(path), digest);
}

bool hivexOpens(const QString& path)
{
    hive_h* h = hivex_open(QFile::encodeName(path).constData(), 0);
    if (h)
        hivex_close(h);
    return h != nullptr;
}

TEST(HiveEdit, ChangesToRandomlyDamagedHivesFailCleanly)
{
    MemoryStore tree;
    const NodeId key = tree.addChild(tree.root(), QStringLiteral("A"));
    for (int i = 0; i < 30; ++i)
        tree.setValue(tree.addChild(key, QStringLiteral("K%1").arg(i)), RegValue{QStringLiteral("v"), REG_BINARY, QByteArray(i * 20, 'x')});
    const QByteArray clean = BuildHiveImage(tree, 1);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fuzzed.hiv"));
    QRandomGenerator random(8122026);
    int failures = 0;
    int saved = 0;
    for (int round = 0; round < 300; ++round) {
        QByteArray damaged = clean;
        for (int flips = 0; flips < 6; ++flips)
            damaged[int(regf::kBinsStart + random.bounded(uint32_t(clean.size() - regf::kBinsStart)))] = char(random.bounded(256));
        QFile::remove(path);
        writeFile(path, damaged);
        try {
            HiveStore store(path);
            const NodeId a = *store.child(store.root(), QStringLiteral("A"));
            const std::vector<NodeId> kids = store.children(a);
            for (size_t i = 0; i < kids.size(); i += 3)
                store.deleteNode(kids[i]);
            store.setValue(store.addChild(a, QStringLiteral("New")), textValue(QStringLiteral("v"), QStringLiteral("x")));
            store.eraseValue(kids.at(1), QStringLiteral("v"));
            const QStringList expected = storeDump(store);
            const bool hivexReadsInput = hivexOpens(path);
            store.commit();
            EXPECT_EQ(storeDump(HiveStore(path)), expected);
            EXPECT_TRUE(hivexOpens(path) || !hivexReadsInput);
            ++saved;
        } catch (const EHiveError& e) {
            EXPECT_TRUE(e.message().contains(QStringLiteral("is damaged"))) << e.what();
            ++failures;
        } catch (const std::bad_optional_access&) {   // the damage hid key A
            ++failures;
        }
    }
    EXPECT_GT(failures, 0);
    EXPECT_GT(saved, 0);
}

uint16_t at16(const QByteArray& file, uint32_t offset) { return qFromLittleEndian<uint16_t>(file.constData() + offset); }

// Every key record and value record of a hive file as stored, by key path and by key path
// with the value's stored name.
struct StoredRecords {
    std::map<QString, QByteArray> keys;
    std::map<QString, QByteArray> values;
};

void collectRecords(const HiveStore& store, const QByteArray& file, NodeId node, const QString& path, StoredRecords& out)
{
    const uint32_t nk = keyRecord(node);
    out.keys[path] = file.mid(nk, KeyNode::kName + at16(file, nk + KeyNode::kNameLength));
    const uint32_t count = at32(file, nk + KeyNode::kValueCount);
    const uint32_t list = count ? payload(at32(file, nk + KeyNode::kValueList)) : 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t vk = payload(at32(file, list + regf::kOffsetEntry * i));
        const QByteArray record = file.mid(vk, ValueKey::kName + at16(file, vk + ValueKey::kNameLength));
        out.values[path + QStringLiteral(" : ") + QString::fromLatin1(record.mid(ValueKey::kName).toHex())] = record;
    }
    for (NodeId kid : store.children(node))
        collectRecords(store, file, kid, path + u'\\' + store.name(kid), out);
}

StoredRecords storedRecords(const QString& path)
{
    const HiveStore store(path, HiveStore::Access::ReadOnly);
    StoredRecords records;
    collectRecords(store, readFile(path), store.root(), QString(), records);
    return records;
}

// A key record with the fields a change of its subkeys or values rewrites zeroed: the
// time, subkey count and list, the subkey name length (the lower half of its word),
// value count and list, value name and data lengths.
QByteArray withoutRewrittenFields(QByteArray nk)
{
    for (const auto& [at, length] : {std::pair{KeyNode::kTimestamp, 8}, {KeyNode::kSubkeyCount, 4}, {KeyNode::kSubkeyList, 4},
                                     {KeyNode::kValueCount, 4}, {KeyNode::kValueList, 4}, {KeyNode::kLongestSubkeyName, 2},
                                     {KeyNode::kLongestValueName, 4}, {KeyNode::kLongestValueData, 4}})
        nk.replace(at, length, QByteArray(length, '\0'));
    return nk;
}

TEST(HiveEdit, FieldsTheWriterDoesNotOwnComeBackBitForBit)
{
    QTemporaryDir dir;
    const QString path = unpackHive(dir, "NTUSER.DAT");
    const QString accessibility = QStringLiteral("\\Control Panel\\Accessibility");
    const QString desktop = QStringLiteral("\\Control Panel\\Desktop");
    const StoredRecords before = storedRecords(path);
    // Virtualisation, user and debug flags in the upper half of the subkey name length.
    ASSERT_EQ(at32(before.keys.at(accessibility), KeyNode::kLongestSubkeyName), 0x10026u);
    {
        HiveStore store(path);
        const NodeId key = *store.find(store.root(), accessibility);
        store.addChild(key, QStringLiteral("Parvelle"));
        store.deleteNode(*store.child(key, QStringLiteral("Blind Access")));
        store.setValue(*store.find(store.root(), desktop), textValue(QStringLiteral("Parvelle"), QStringLiteral("added")));
        store.commit();
    }
    const StoredRecords after = storedRecords(path);
    EXPECT_EQ(at32(after.keys.at(accessibility), KeyNode::kLongestSubkeyName), 0x10026u);
    int compared = 0;
    for (const auto& [key, record] : before.keys) {
        if (!after.keys.count(key))
            continue;   // deleted
        const bool changed = key == accessibility || key == desktop;
        EXPECT_EQ(changed ? withoutRewrittenFields(after.keys.at(key)) : after.keys.at(key),
                  changed ? withoutRewrittenFields(record) : record)
            << key.toStdString();
        ++compared;
    }
    const QString deleted = accessibility + QStringLiteral("\\Blind Access :");
    for (const auto& [value, record] : before.values) {
        if (!value.startsWith(deleted)) {
            ASSERT_TRUE(after.values.count(value)) << value.toStdString();
            EXPECT_EQ(after.values.at(value), record) << value.toStdString();
        }
    }
    EXPECT_GT(compared, 1000);
    EXPECT_EQ(after.keys.size(), before.keys.size());   // one key added, one deleted
    EXPECT_EQ(storeDump(HiveStore(path)), hivexDump(path));
}

// The bytes of the allocated cells of a hive file.
qint64 liveBytes(const QByteArray& file)
{
    qint64 live = 0;
    const uint32_t binsEnd = regf::kBinsStart + at32(file, BaseBlock::kBinsSize);
    for (uint32_t bin = regf::kBinsStart; bin < binsEnd; bin += at32(file, bin + BinHeader::kSize)) {
        for (uint32_t cell = bin + regf::kBinHeaderSize; cell < bin + at32(file, bin + BinHeader::kSize);) {
            const int32_t size = regf::LoadI32(file.constData() + cell);
            live += size < 0 ? -size : 0;
            cell += uint32_t(size < 0 ? -size : size);
        }
    }
    return live;
}

TEST(HiveEdit, ManyCyclesOfValuesOfVaryingSizesStayCloseToTheLiveData)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cycles.hiv"));
    HiveStore::createEmpty(path);
    QRandomGenerator random(20261208);
    HiveStore store(path);
    const NodeId key = store.addChild(store.root(), QStringLiteral("Data"));
    int next = 0;
    qint64 mostLive = 0;
    for (int cycle = 0; cycle < 40; ++cycle) {
        for (const RegValue& value : store.values(key)) {
            if (random.bounded(2))
                store.eraseValue(key, value.name);
        }
        for (int i = 0; i < 20; ++i)
            store.setValue(key, RegValue{QStringLiteral("v%1").arg(next++), REG_BINARY, QByteArray(int(random.bounded(8, 12000)), 'd')});
        store.commit();
        mostLive = std::max(mostLive, liveBytes(readFile(path)));
    }
    // The file never shrinks, so the most data it held at once is the measure.
    EXPECT_LE(QFileInfo(path).size(), mostLive + mostLive / 3) << "most live data " << mostLive;
    EXPECT_EQ(storeDump(HiveStore(path)), hivexDump(path));
}

// reglookup's text of a binary value: printable bytes as they are, others as %XX.
QByteArray reglookupBytes(const QByteArray& text)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() + 0) {
            bytes.append(char(text.mid(i + 1, 2).toInt(nullptr, 16)));
            i += 2;
        } else {
            bytes.append(text[i]);
        }
    }
    return bytes;
}

TEST(HiveEdit, BigValuesKeepTheirSegmentsInFileOrderForEveryReader)
{
    QTemporaryDir dir;
    const QString path = cleanCopy(dir, "NTUSER_with_winscp.DAT");
    const QList<int> sizes{16345, 16349, 40000, 70001};   // last segments of 1, 5, 7,312 and 4,625 bytes
    const auto pattern = [](int size) {
        QByteArray data(size, '\0');
        for (int i = 0; i < size; ++i)
            data[i] = char('A' + (i / 7 + i / 16344) % 26);   // printable, different in every segment
        return data;
    };
    NodeId key = 0;
    {
        HiveStore store(path);
        key = store.addChild(*store.child(store.root(), QStringLiteral("Control Panel")), QStringLiteral("Parvelle Big"));
        for (int size : sizes)
            store.setValue(key, RegValue{QStringLiteral("v%1").arg(size), REG_BINARY, pattern(size)});
        store.commit();
    }
    const QByteArray file = readFile(path);
    const uint32_t list = payload(at32(file, keyRecord(key) + KeyNode::kValueList));
    for (int i = 0; i < sizes.size(); ++i) {
        const uint32_t db = payload(at32(file, payload(at32(file, list + regf::kOffsetEntry * i)) + ValueKey::kData));
        ASSERT_EQ(file.mid(db, 2), QByteArray("db"));
        const uint16_t count = regf::LoadU16(file.constData() + db + BigData::kSegmentCount);
        const uint32_t segments = payload(at32(file, db + BigData::kSegmentList));
        const auto segment = [&](uint32_t s) { return at32(file, segments + regf::kOffsetEntry * s); };
        for (uint16_t s = 1; s < count; ++s)
            EXPECT_LT(segment(s - 1), segment(s)) << sizes[i];
    }
    const HiveStore reread(path);
    for (int size : sizes) {
        const QString name = QStringLiteral("v%1").arg(size);
        EXPECT_EQ(reread.value(key, name)->data, pattern(size)) << size;
        const QByteArray looked = RunTool(QStringLiteral("reglookup"), {QStringLiteral("-H"), QStringLiteral("-p"),
                                                                        QStringLiteral("/Control Panel/Parvelle Big/") + name, path});
        EXPECT_EQ(reglookupBytes(looked.split(',').value(2)), pattern(size)) << size;
    }
    const QString script = dir.filePath(QStringLiteral("lsval"));
    writeFile(script, "cd \\Control Panel\\Parvelle Big\nlsval\n");
    const QString listed = QString::fromLatin1(RunTool(QStringLiteral("hivexsh"), {QStringLiteral("-f"), script, path}));
    for (int size : sizes) {
        EXPECT_TRUE(listed.contains(QStringLiteral("\"v%1\"=hex(3):%2\n").arg(size).arg(QString::fromLatin1(pattern(size).toHex(',')))))
            << size;
    }
}

} // namespace
