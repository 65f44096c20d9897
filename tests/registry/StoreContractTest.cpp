// The contract every RegistryStore keeps, run against MemoryStore and HiveStore alike.
#include "RegistryTestSupport.h"

#include <algorithm>

using namespace parvelle;
using namespace parvelle::test;

namespace {

class StoreContract : public ::testing::TestWithParam<StoreKind> {
protected:
    StoreMaker maker;
    std::shared_ptr<RegistryStore> store = maker.make(GetParam());

    QStringList childNames(NodeId node) const
    {
        QStringList names;
        for (NodeId kid : store->children(node))
            names.append(store->name(kid));
        return names;
    }
    QStringList valueNames(NodeId node) const
    {
        QStringList names;
        for (const RegValue& v : store->values(node))
            names.append(v.name);
        return names;
    }
};

TEST(NameComparison, UnitsAreUpperCasedOneByOneAsWindowsDoesAndHashesAgree)
{
    const std::vector<std::pair<QString, QString>> same = {
        {QStringLiteral("SlowInfoCache"), QStringLiteral("SLOWINFOCACHE")}, {QStringLiteral("Äpfel"), QStringLiteral("äPFEL")},
        {QStringLiteral("straße"), QStringLiteral("STRAßE")},   // ß has no one-unit upper case
        {QStringLiteral("i"), QStringLiteral("I")},
        {QStringLiteral("\u03C2"), QStringLiteral("\u03C3")},   // final and medial sigma are both Σ
        {QStringLiteral("\u03C2"), QStringLiteral("\u03A3")},
        {QStringLiteral("Program 00012 Tool"), QStringLiteral("Program 00012 TOOL")},   // alike for long stretches
    };
    const std::vector<std::pair<QString, QString>> different = {
        {QStringLiteral("straße"), QStringLiteral("STRASSE")}, {QStringLiteral("ß"), QStringLiteral("ss")},
        {QStringLiteral("\u0131"), QStringLiteral("I")},   // dotless i does not become an ASCII letter
        {QStringLiteral("\u0131"), QStringLiteral("i")},
        {QStringLiteral("\u0130"), QStringLiteral("i")},   // nor does dotted capital I become one
        {QStringLiteral("\u0130"), QStringLiteral("I")},
        {QStringLiteral("\u212A"), QStringLiteral("K")},   // the Kelvin sign is no letter K
        {QStringLiteral("\u212A"), QStringLiteral("k")},
        {QStringLiteral("\u017F"), QStringLiteral("S")},   // nor is the long s an S
        {QStringLiteral("𐐀"), QStringLiteral("𐐨")},   // each half of a surrogate pair stays as it is
        {QStringLiteral("Changed"), QStringLiteral("Change@")}, {QStringLiteral("a"), QString()},
        {QStringLiteral("Program 00012"), QStringLiteral("Program 00013")}, {QStringLiteral("Programme"), QStringLiteral("program")},
        {QStringLiteral("Program Files A"), QStringLiteral("PROGRAM files b")},
    };
    for (const auto& [a, b] : same) {
        EXPECT_TRUE(SameName(a, b)) << a.toStdString() << " / " << b.toStdString();
        EXPECT_EQ(NameHash(a), NameHash(b)) << a.toStdString() << " / " << b.toStdString();
        EXPECT_FALSE(NameLess(a, b) || NameLess(b, a)) << a.toStdString() << " / " << b.toStdString();
        EXPECT_EQ(NameCompare(a, b), 0) << a.toStdString() << " / " << b.toStdString();
    }
    for (const auto& [a, b] : different) {
        EXPECT_FALSE(SameName(a, b)) << a.toStdString() << " / " << b.toStdString();
        EXPECT_NE(NameLess(a, b), NameLess(b, a)) << a.toStdString() << " / " << b.toStdString();
        EXPECT_EQ(NameCompare(a, b) < 0, NameLess(a, b)) << a.toStdString() << " / " << b.toStdString();
        EXPECT_EQ(NameCompare(b, a) < 0, NameLess(b, a)) << a.toStdString() << " / " << b.toStdString();
    }
}

// Names in the order of their upper-cased UTF-16 units, the order in which Windows looks
// keys up by bisection.
const QStringList kWindowsOrder = {
    QStringLiteral("a"), QStringLiteral("B"), QStringLiteral("i"), QStringLiteral("Ia"), QStringLiteral("K"),
    QStringLiteral("SS"), QStringLiteral("Z"), QStringLiteral("ß"), QStringLiteral("\u0130"), QStringLiteral("\u0131"),
    QStringLiteral("\u017F"), QStringLiteral("\u03C2"), QStringLiteral("\u212A"), QStringLiteral("𐐀"), QStringLiteral("𐐨"),
    QStringLiteral("\uFF21"),
};

TEST(NameComparison, SortsByUpperCasedUnitsWithSurrogatesBeforeTheEndOfThePlane)
{
    QStringList names = kWindowsOrder;
    std::reverse(names.begin(), names.end());
    std::sort(names.begin(), names.end(), NameLess);
    EXPECT_EQ(names, kWindowsOrder);
}

TEST_P(StoreContract, KeysThatWindowsTellsApartStayApartAndSorted)
{
    const NodeId root = store->root();
    QStringList shuffled = kWindowsOrder;
    std::rotate(shuffled.begin(), shuffled.begin() + 7, shuffled.end());
    for (const QString& name : shuffled)
        store->addChild(root, name);
    store->commit();
    EXPECT_EQ(store->childNames(root), kWindowsOrder);
    for (const QString& name : kWindowsOrder)
        EXPECT_EQ(store->name(*store->child(root, name)), name) << name.toStdString();
}

TEST_P(StoreContract, NewStoreHasAnEmptyRoot)
{
    EXPECT_NE(store->root(), 0u);
    EXPECT_TRUE(store->children(store->root()).empty());
    EXPECT_TRUE(store->values(store->root()).empty());
    EXPECT_TRUE(store->isWritable());
    EXPECT_TRUE(store->readOnlyReason().isEmpty());
    EXPECT_FALSE(store->isModified());
}

TEST_P(StoreContract, NamesMatchIgnoringCaseAndKeepTheirSpelling)
{
    const NodeId key = store->addChild(store->root(), QStringLiteral("Äpfel Key"));
    EXPECT_EQ(store->addChild(store->root(), QStringLiteral("äPFEL key")), key);
    EXPECT_EQ(store->child(store->root(), QStringLiteral("ÄPFEL KEY")), key);
    EXPECT_EQ(store->name(key), QStringLiteral("Äpfel Key"));
    NameBuffer buffer;
    EXPECT_EQ(store->nameView(key, buffer), QStringLiteral("Äpfel Key"));
    EXPECT_EQ(store->children(store->root()).size(), 1u);
    EXPECT_FALSE(store->child(store->root(), QStringLiteral("Äpfel")).has_value());

    store->setValue(key, textValue(QStringLiteral("Größe"), QStringLiteral("x")));
    ASSERT_TRUE(store->value(key, QStringLiteral("GRÖSSE")).has_value() || store->value(key, QStringLiteral("größe")).has_value());
    EXPECT_EQ(store->value(key, QStringLiteral("größe"))->name, QStringLiteral("Größe"));
}

TEST_P(StoreContract, SubkeysEnumerateSortedAndValuesInWriteOrder)
{
    const NodeId root = store->root();
    for (const char* name : {"delta", "Alpha", "charlie", "Bravo"})
        store->addChild(root, QLatin1String(name));
    EXPECT_EQ(childNames(root), (QStringList{"Alpha", "Bravo", "charlie", "delta"}));
    EXPECT_EQ(store->childNames(root), childNames(root));

    for (const char* name : {"zulu", "", "Mike", "alpha"})
        store->setValue(root, RegValue{QLatin1String(name), REG_DWORD, QByteArray(4, '\1')});
    EXPECT_EQ(valueNames(root), (QStringList{"zulu", "", "Mike", "alpha"}));

    store->setValue(root, RegValue{QStringLiteral("MIKE"), REG_BINARY, QByteArrayLiteral("\x01\x02")});
    EXPECT_EQ(valueNames(root), (QStringList{"zulu", "", "MIKE", "alpha"}));
    EXPECT_EQ(store->value(root, QStringLiteral("mike"))->type, uint32_t(REG_BINARY));
}

TEST_P(StoreContract, ValuesKeepTypeNumberAndExactBytes)
{
    const NodeId key = store->addChild(store->root(), QStringLiteral("Values"));
    std::vector<RegValue> written;
    for (uint32_t type = REG_NONE; type <= REG_QWORD; ++type)
        written.push_back({QStringLiteral("type%1").arg(type), type, QByteArray::fromHex("00ff10800001") + QByteArray(int(type), char(type))});
    written.push_back({QStringLiteral("empty"), REG_BINARY, QByteArray()});
    written.push_back({QStringLiteral("odd type"), 0x12345u, QByteArrayLiteral("abc")});
    written.push_back({QStringLiteral("big"), REG_BINARY, QByteArray(20000, '\x5A')});
    written.push_back({QString(), REG_SZ, textValue({}, QStringLiteral("default")).data});
    written.push_back({QString(300, u'n'), REG_DWORD, QByteArrayLiteral("\x01\x02\x03\x04")});
    for (const RegValue& v : written)
        store->setValue(key, v);
    // Read as a list and one by one where they lie, alone and with the key's name, before
    // the save and after it.
    const auto visitor = [](std::vector<RegValue>& values) {
        return [&values](QStringView name, uint32_t type, QByteArrayView data) { values.push_back({name.toString(), type, data.toByteArray()}); };
    };
    const auto visited = [&] {
        std::vector<RegValue> values;
        store->visitValues(key, visitor(values));
        return values;
    };
    const auto visitedWithName = [&] {
        std::vector<RegValue> values;
        NameBuffer buffer;
        QStringView name;
        store->visitKey(key, buffer, name, visitor(values));
        EXPECT_EQ(name, QStringLiteral("Values"));
        return values;
    };
    for (int saved = 0; saved < 2; ++saved, store->commit()) {
        for (const std::vector<RegValue>& read : {store->values(key), visited(), visitedWithName()}) {
            ASSERT_EQ(read.size(), written.size());
            for (size_t i = 0; i < written.size(); ++i) {
                EXPECT_EQ(read[i].name, written[i].name);
                EXPECT_EQ(read[i].type, written[i].type) << written[i].name.toStdString();
                EXPECT_EQ(read[i].data, written[i].data) << written[i].name.toStdString();
            }
        }
    }
}

TEST_P(StoreContract, EraseValueRemovesOnlyThatValue)
{
    const NodeId key = store->addChild(store->root(), QStringLiteral("K"));
    store->setValue(key, textValue(QStringLiteral("a"), QStringLiteral("1")));
    store->setValue(key, textValue(QStringLiteral("b"), QStringLiteral("2")));
    store->setValue(key, textValue(QStringLiteral("c"), QStringLiteral("3")));
    EXPECT_FALSE(store->eraseValue(key, QStringLiteral("missing")));
    EXPECT_TRUE(store->eraseValue(key, QStringLiteral("B")));
    EXPECT_EQ(valueNames(key), (QStringList{"a", "c"}));
    EXPECT_EQ(store->value(key, QStringLiteral("c"))->data, textValue({}, QStringLiteral("3")).data);
}

TEST_P(StoreContract, DeleteNodeRemovesTheWholeSubtreeOnly)
{
    const NodeId root = store->root();
    const NodeId doomed = store->addChild(root, QStringLiteral("Doomed"));
    const NodeId kept = store->addChild(root, QStringLiteral("Kept"));
    const NodeId grandchild = store->addChild(store->addChild(doomed, QStringLiteral("Child")), QStringLiteral("Grandchild"));
    store->setValue(grandchild, textValue(QStringLiteral("v"), QStringLiteral("x")));
    store->setValue(kept, textValue(QStringLiteral("v"), QStringLiteral("kept")));

    store->deleteNode(doomed);
    EXPECT_EQ(childNames(root), QStringList{"Kept"});
    EXPECT_FALSE(store->child(root, QStringLiteral("doomed")).has_value());
    EXPECT_EQ(store->value(kept, QStringLiteral("v"))->data, textValue({}, QStringLiteral("kept")).data);
    // Handles of the deleted keys read as empty and refuse writes.
    EXPECT_TRUE(store->children(doomed).empty());
    EXPECT_FALSE(store->value(grandchild, QStringLiteral("v")).has_value());
    EXPECT_THROW(store->setValue(grandchild, textValue(QStringLiteral("v"), QStringLiteral("y"))), EHiveError);
    // A new key of the same name is a different, empty, writable key; the old handle
    // stays dead.
    const NodeId again = store->addChild(root, QStringLiteral("doomed"));
    EXPECT_NE(again, doomed);
    EXPECT_TRUE(store->children(again).empty());
    store->setValue(again, textValue(QStringLiteral("v"), QStringLiteral("new")));
    EXPECT_THROW(store->setValue(doomed, textValue(QStringLiteral("v"), QStringLiteral("y"))), EHiveError);
    EXPECT_FALSE(store->value(doomed, QStringLiteral("v")).has_value());
    EXPECT_THROW(store->deleteNode(root), EHiveError);
}

TEST_P(StoreContract, FindResolvesBackslashPaths)
{
    const NodeId c = store->addChild(store->addChild(store->addChild(store->root(), "A"), "B"), "C");
    EXPECT_EQ(store->find(store->root(), QStringLiteral("a\\b\\c")), c);
    EXPECT_EQ(store->find(c, QString()), c);
    EXPECT_FALSE(store->find(store->root(), QStringLiteral("A\\X\\C")).has_value());
}

TEST_P(StoreContract, ReadOnlyStoreRefusesEveryWriteAndKeepsItsData)
{
    std::shared_ptr<RegistryStore> ro = maker.makeReadOnly(GetParam(), [](RegistryStore& s) {
        s.setValue(s.addChild(s.root(), QStringLiteral("Key")), textValue(QStringLiteral("v"), QStringLiteral("x")));
    });
    EXPECT_FALSE(ro->isWritable());
    EXPECT_FALSE(ro->readOnlyReason().isEmpty());
    const NodeId key = *ro->child(ro->root(), QStringLiteral("key"));
    EXPECT_THROW(ro->addChild(ro->root(), QStringLiteral("New")), EHiveError);
    EXPECT_THROW(ro->setValue(key, textValue(QStringLiteral("v"), QStringLiteral("y"))), EHiveError);
    EXPECT_THROW(ro->eraseValue(key, QStringLiteral("v")), EHiveError);
    EXPECT_THROW(ro->deleteNode(key), EHiveError);
    EXPECT_EQ(ro->addChild(ro->root(), QStringLiteral("KEY")), key);   // an existing key needs no write
    EXPECT_EQ(ro->value(key, QStringLiteral("v"))->data, textValue({}, QStringLiteral("x")).data);
    EXPECT_FALSE(ro->isModified());
}

TEST_P(StoreContract, CommitClearsModifiedAndKeepsHandles)
{
    const NodeId key = store->addChild(store->root(), QStringLiteral("Key"));
    EXPECT_TRUE(store->isModified());
    store->commit();
    EXPECT_FALSE(store->isModified());
    store->setValue(key, textValue(QStringLiteral("after"), QStringLiteral("commit")));
    EXPECT_EQ(store->value(key, QStringLiteral("after"))->data, textValue({}, QStringLiteral("commit")).data);
    EXPECT_TRUE(store->isModified());
}

TEST_P(StoreContract, ChangesStampTheKeysWriteTime)
{
    const uint64_t before = CurrentFileTime();
    const NodeId parent = store->addChild(store->root(), QStringLiteral("Parent"));
    const NodeId key = store->addChild(parent, QStringLiteral("Key"));
    store->setValue(key, textValue(QStringLiteral("v"), QStringLiteral("x")));
    const uint64_t after = CurrentFileTime();
    for (NodeId stamped : {parent, key}) {
        EXPECT_GE(store->lastWriteTime(stamped), before);
        EXPECT_LE(store->lastWriteTime(stamped), after);
    }
}

INSTANTIATE_TEST_SUITE_P(BothStores, StoreContract, ::testing::Values(StoreKind::Memory, StoreKind::Hive), storeKindName);

} // namespace
