// TNTRegistry on a Machine whose hives are MemoryStores or HiveStores.
#include "RegistryTestSupport.h"

#include "registry/TNTRegistry.h"

using namespace parvelle;
using namespace parvelle::test;

namespace {

class RegistryOps : public ::testing::TestWithParam<StoreKind> {
protected:
    RegistryOps()
    {
        machine.mount(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE"), software);
        machine.mount(HKEY_LOCAL_MACHINE, QStringLiteral("SYSTEM"), system);
        machine.mount(HKEY_CURRENT_USER, QString(), user);
        reg.SelectRoot(HKEY_LOCAL_MACHINE);
    }

    NodeId softwareKey(const QString& path) { return *software->find(software->root(), path); }

    void setRaw(const QString& keyPath, const QString& name, uint32_t type, const QByteArray& data)
    {
        ASSERT_TRUE(reg.OpenPath(QStringLiteral("\\SOFTWARE\\") + keyPath, true));
        reg.WriteRaw(name, type, data);
    }

    // Every key path and value of a store, to prove an operation changed nothing.
    static QStringList dump(const RegistryStore& store, NodeId node, const QString& path = QString())
    {
        QStringList lines{path};
        for (const RegValue& v : store.values(node))
            lines << path + QStringLiteral(":") + v.name + QString::number(v.type) + QString::fromLatin1(v.data.toHex());
        for (NodeId kid : store.children(node))
            lines << dump(store, kid, path + QStringLiteral("\\") + store.name(kid));
        return lines;
    }

    StoreMaker maker;
    std::shared_ptr<RegistryStore> software = maker.make(GetParam());
    std::shared_ptr<RegistryStore> system = maker.make(GetParam());
    std::shared_ptr<RegistryStore> user = maker.make(GetParam());
    Machine machine;
    TNTRegistry reg{machine};
};

TEST_P(RegistryOps, StartsAtCurrentUserWithNoKeyOpen)
{
    TNTRegistry fresh(machine);
    EXPECT_EQ(fresh.RootHandle(), HKEY_CURRENT_USER);
    EXPECT_FALSE(fresh.HasOpenKey());
    EXPECT_TRUE(fresh.KeyPath().isEmpty());
}

TEST_P(RegistryOps, AbsoluteAndRelativePathsComposeKeyPath)
{
    ASSERT_TRUE(reg.OpenPath(QStringLiteral("\\SOFTWARE\\A\\B"), true));
    ASSERT_TRUE(reg.OpenPath(QStringLiteral("\\SOFTWARE\\Other"), true));
    EXPECT_EQ(reg.KeyPath(), QStringLiteral("SOFTWARE\\Other"));

    ASSERT_TRUE(reg.OpenPath(QStringLiteral("\\SOFTWARE\\A"), false));
    ASSERT_TRUE(reg.OpenPath(QStringLiteral("B"), false));   // resolved under the open key
    EXPECT_EQ(reg.KeyPath(), QStringLiteral("SOFTWARE\\A\\B"));
    reg.WriteText(QStringLiteral("where"), QStringLiteral("A\\B"));
    EXPECT_TRUE(software->value(softwareKey(QStringLiteral("A\\B")), QStringLiteral("where")).has_value());

    ASSERT_TRUE(reg.OpenPath(QString(), false));   // the open key itself
    EXPECT_EQ(reg.KeyPath(), QStringLiteral("SOFTWARE\\A\\B"));
    ASSERT_TRUE(reg.OpenPath(QStringLiteral("\\"), false));   // the root
    EXPECT_TRUE(reg.KeyPath().isEmpty());
    ASSERT_TRUE(reg.OpenPath(QStringLiteral("SOFTWARE"), false));
    EXPECT_EQ(reg.KeyPath(), QStringLiteral("SOFTWARE"));   // no leading backslash

    reg.ClosePath();
    ASSERT_TRUE(reg.OpenPath(QStringLiteral("SOFTWARE\\A"), false));   // relative to the root
    EXPECT_EQ(reg.KeyPath(), QStringLiteral("SOFTWARE\\A"));
}

TEST_P(RegistryOps, FailedOpenLeavesTheOpenKeyUnchanged)
{
    ASSERT_TRUE(reg.OpenPath(QStringLiteral("\\SOFTWARE\\A"), true));
    EXPECT_FALSE(reg.OpenPath(QStringLiteral("Missing"), false));
    EXPECT_FALSE(reg.OpenPath(QStringLiteral("\\SOFTWARE\\Missing"), false));
    EXPECT_EQ(reg.KeyPath(), QStringLiteral("SOFTWARE\\A"));
    reg.WriteDword(QStringLiteral("still"), 7);
    EXPECT_TRUE(software->value(softwareKey(QStringLiteral("A")), QStringLiteral("still")).has_value());
    EXPECT_FALSE(software->child(softwareKey(QStringLiteral("A")), QStringLiteral("Missing")).has_value());
}

TEST_P(RegistryOps, OpenPathWithCreationMakesEveryMissingKey)
{
    ASSERT_TRUE(reg.OpenPath(QStringLiteral("\\SOFTWARE\\New\\Deep\\Key"), true));
    EXPECT_TRUE(software->find(software->root(), QStringLiteral("New\\Deep\\Key")).has_value());
    EXPECT_TRUE(reg.SubkeyExists(QStringLiteral("\\SOFTWARE\\NEW\\deep")));
}

TEST_P(RegistryOps, SelectRootClosesTheKeyOnlyForAnotherRoot)
{
    ASSERT_TRUE(reg.OpenPath(QStringLiteral("\\SOFTWARE\\A"), true));
    reg.SelectRoot(HKEY_LOCAL_MACHINE);
    EXPECT_TRUE(reg.HasOpenKey());
    EXPECT_EQ(reg.KeyPath(), QStringLiteral("SOFTWARE\\A"));
    reg.SelectRoot(HKEY_CURRENT_USER);
    EXPECT_FALSE(reg.HasOpenKey());
    EXPECT_TRUE(reg.KeyPath().isEmpty());
    ASSERT_TRUE(reg.OpenPath(QStringLiteral("Software\\Mine"), true));   // lands in the user hive
    EXPECT_TRUE(user->find(user->root(), QStringLiteral("Software\\Mine")).has_value());
}

TEST_P(RegistryOps, VirtualKeysListMountPointsAndRefuseNewKeys)
{
    ASSERT_TRUE(reg.OpenPath(QString(), false));
    QStringList names;
    reg.ListSubkeys(names);
    EXPECT_EQ(names, (QStringList{"SOFTWARE", "SYSTEM"}));
    EXPECT_FALSE(reg.OpenPath(QStringLiteral("\\Hardware"), true));   // not directly under a root
    EXPECT_FALSE(reg.SubkeyExists(QStringLiteral("\\Hardware")));
    EXPECT_THROW(reg.WriteText(QStringLiteral("x"), QStringLiteral("y")), ERegistryException);
    EXPECT_FALSE(reg.DeleteTree(QStringLiteral("\\SOFTWARE")));   // a mount point is no key to delete
    EXPECT_TRUE(reg.SubkeyExists(QStringLiteral("\\software")));
    EXPECT_EQ(RootName(HKEY_LOCAL_MACHINE), QStringLiteral("HKEY_LOCAL_MACHINE"));
    EXPECT_EQ(RootFromName(QStringLiteral("hkey_users")), HKEY_USERS);
    EXPECT_EQ(RootFromName(QStringLiteral("HKLM")), 0u);
}

TEST_P(RegistryOps, ReadOnlyHiveOpensButRefusesWrites)
{
    std::shared_ptr<RegistryStore> ro = maker.makeReadOnly(GetParam(), [](RegistryStore& s) {
        const NodeId key = s.addChild(s.addChild(s.root(), QStringLiteral("Locked")), QStringLiteral("Sub"));
        s.setValue(key, textValue(QStringLiteral("Name"), QStringLiteral("kept")));
    });
    Machine m;
    m.mount(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE"), ro);
    TNTRegistry r(m);
    r.SelectRoot(HKEY_LOCAL_MACHINE);
    const QStringList before = dump(*ro, ro->root());

    ASSERT_TRUE(r.OpenPath(QStringLiteral("\\SOFTWARE\\Locked\\Sub"), false));
    EXPECT_EQ(r.ReadText(QStringLiteral("Name")), QStringLiteral("kept"));
    EXPECT_EQ(throwMessage([&] { r.WriteText(QStringLiteral("Name"), QStringLiteral("new")); }),
              QStringLiteral("Failed to set data for 'Name'"));
    EXPECT_EQ(throwMessage([&] { r.WriteDword(QStringLiteral("D"), 1); }), QStringLiteral("Failed to set data for 'D'"));
    EXPECT_EQ(throwMessage([&] { r.WriteBytes(QStringLiteral("B"), "ab", 2); }), QStringLiteral("Failed to set data for 'B'"));
    EXPECT_FALSE(r.EraseValue(QStringLiteral("Name")));
    EXPECT_FALSE(r.DeleteTree(QStringLiteral("\\SOFTWARE\\Locked")));
    EXPECT_FALSE(r.OpenPath(QStringLiteral("New"), true));
    EXPECT_EQ(r.KeyPath(), QStringLiteral("SOFTWARE\\Locked\\Sub"));
    EXPECT_TRUE(r.OpenPath(QStringLiteral("\\SOFTWARE\\Locked"), true));   // existing: opened as it is
    EXPECT_EQ(dump(*ro, ro->root()), before);
}

TEST_P(RegistryOps, TextIsUtf16WithOneTerminatingZero)
{
    ASSERT_TRUE(reg.OpenPath(QStringLiteral("\\SOFTWARE\\T"), true));
    reg.WriteText(QStringLiteral("plain"), QStringLiteral("Ab€"));
    reg.WriteExpandText(QStringLiteral("expand"), QStringLiteral("%SystemRoot%"));
    const RawValue plain = reg.ReadRaw(QStringLiteral("plain"));
    EXPECT_EQ(plain.type, uint32_t(REG_SZ));
    EXPECT_EQ(plain.data, QByteArray::fromHex("41006200ac200000"));
    EXPECT_EQ(reg.ReadText(QStringLiteral("PLAIN")), QStringLiteral("Ab€"));
    EXPECT_EQ(reg.ValueKind(QStringLiteral("expand")), dkExpandString);
    EXPECT_EQ(reg.ReadText(QStringLiteral("expand")), QStringLiteral("%SystemRoot%"));
    EXPECT_EQ(reg.ValueSize(QStringLiteral("expand")), 26);

    reg.WriteRaw(QStringLiteral("stray"), REG_SZ, QByteArray::fromHex("480069000000580059005a"));   // zero, junk, odd byte
    EXPECT_EQ(reg.ReadText(QStringLiteral("stray")), QStringLiteral("Hi"));
    reg.WriteRaw(QStringLiteral("unterminated"), REG_SZ, QByteArray::fromHex("4f004b0021"));
    EXPECT_EQ(reg.ReadText(QStringLiteral("unterminated")), QStringLiteral("OK"));
}

TEST_P(RegistryOps, ReadTextByKind)
{
    ASSERT_TRUE(reg.OpenPath(QStringLiteral("\\SOFTWARE\\T"), true));
    reg.WriteRaw(QStringLiteral("multi"), REG_MULTI_SZ, textValue({}, QStringLiteral("first")).data + textValue({}, QStringLiteral("second")).data + QByteArray(2, '\0'));
    EXPECT_EQ(reg.ReadText(QStringLiteral("multi")), QStringLiteral("first"));
    reg.WriteBytes(QStringLiteral("bin"), "\x41\x00", 2);
    EXPECT_EQ(throwMessage([&] { reg.ReadText(QStringLiteral("bin")); }), QStringLiteral("Invalid data type for 'bin'"));
    EXPECT_EQ(reg.ReadText(QStringLiteral("missing")), QString());
    reg.WriteRaw(QStringLiteral("empty"), REG_BINARY, QByteArray());
    EXPECT_EQ(reg.ReadText(QStringLiteral("empty")), QString());   // no data: no type check
}

TEST_P(RegistryOps, ReadDwordNeedsAFittingDword)
{
    ASSERT_TRUE(reg.OpenPath(QStringLiteral("\\SOFTWARE\\D"), true));
    reg.WriteDword(QStringLiteral("neg"), -2);
    EXPECT_EQ(reg.ReadRaw(QStringLiteral("neg")).data, QByteArray::fromHex("feffffff"));
    EXPECT_EQ(reg.ReadDword(QStringLiteral("neg")), -2);
    EXPECT_EQ(throwMessage([&] { reg.ReadDword(QStringLiteral("missing")); }), QStringLiteral("Failed to get data for 'missing'"));
    reg.WriteRaw(QStringLiteral("long"), REG_DWORD, QByteArray::fromHex("0102030405"));
    EXPECT_EQ(throwMessage([&] { reg.ReadDword(QStringLiteral("long")); }), QStringLiteral("Failed to get data for 'long'"));
    reg.WriteRaw(QStringLiteral("text"), REG_SZ, QByteArray::fromHex("41000000"));
    EXPECT_EQ(throwMessage([&] { reg.ReadDword(QStringLiteral("text")); }), QStringLiteral("Invalid data type for 'text'"));
    reg.WriteRaw(QStringLiteral("short"), REG_DWORD, QByteArray::fromHex("3412"));
    EXPECT_EQ(reg.ReadDword(QStringLiteral("short")), 0x1234);   // zero-extended, never garbage
}

TEST_P(RegistryOps, ReadBytesNeedsBinaryThatFits)
{
    ASSERT_TRUE(reg.OpenPath(QStringLiteral("\\SOFTWARE\\B"), true));
    const QByteArray data = QByteArray::fromHex("00112233445566");
    reg.WriteBytes(QStringLiteral("rec"), data.constData(), int(data.size()));
    EXPECT_EQ(reg.ValueKind(QStringLiteral("rec")), dkBinary);
    char buffer[16] = {};
    EXPECT_EQ(reg.ReadBytes(QStringLiteral("rec"), buffer, int(sizeof buffer)), 7);
    EXPECT_EQ(QByteArray(buffer, 7), data);
    char exact[7] = {};
    EXPECT_EQ(reg.ReadBytes(QStringLiteral("rec"), exact, 7), 7);
    char small[6] = {};
    EXPECT_EQ(throwMessage([&] { reg.ReadBytes(QStringLiteral("rec"), small, 6); }), QStringLiteral("Invalid data type for 'rec'"));
    EXPECT_EQ(reg.ReadBytes(QStringLiteral("missing"), buffer, 16), 0);
    reg.WriteDword(QStringLiteral("dw"), 1);
    EXPECT_EQ(throwMessage([&] { reg.ReadBytes(QStringLiteral("dw"), buffer, 16); }), QStringLiteral("Invalid data type for 'dw'"));
}

TEST_P(RegistryOps, KindTableMapsEveryTypeBothWays)
{
    const std::vector<std::pair<uint32_t, DataKind>> table{
        {REG_NONE, dkNone}, {REG_SZ, dkString}, {REG_EXPAND_SZ, dkExpandString}, {REG_BINARY, dkBinary},
        {REG_DWORD, dkDword}, {REG_DWORD_BIG_ENDIAN, dkDwordBigEndian}, {REG_LINK, dkLink},
        {REG_MULTI_SZ, dkMultiString}, {REG_RESOURCE_LIST, dkResourceList},
        {REG_FULL_RESOURCE_DESCRIPTOR, dkFullResourceDescriptor},
        {REG_RESOURCE_REQUIREMENTS_LIST, dkResourceRequirementsList}};
    ASSERT_TRUE(reg.OpenPath(QStringLiteral("\\SOFTWARE\\Kinds"), true));
    for (const auto& [type, kind] : table) {
        EXPECT_EQ(KindOfType(type), kind);
        EXPECT_EQ(TypeOfKind(kind), type);
        reg.WriteRaw(QStringLiteral("t%1").arg(type), type, QByteArray(3, 'x'));
        ValueInfo info;
        ASSERT_TRUE(reg.QueryValue(QStringLiteral("t%1").arg(type), info));
        EXPECT_EQ(info.kind, kind);
        EXPECT_EQ(info.size, 3);
    }
    EXPECT_EQ(TypeOfKind(dkDwordLittleEndian), uint32_t(REG_DWORD));
    EXPECT_EQ(TypeOfKind(dkUnknown), uint32_t(REG_NONE));
    reg.WriteRaw(QStringLiteral("qword"), REG_QWORD, QByteArray(8, '\1'));
    EXPECT_EQ(reg.ValueKind(QStringLiteral("qword")), dkUnknown);
    EXPECT_EQ(reg.ReadRaw(QStringLiteral("qword")).type, uint32_t(REG_QWORD));
    EXPECT_EQ(reg.ValueKind(QStringLiteral("missing")), dkUnknown);
    EXPECT_EQ(reg.ValueSize(QStringLiteral("missing")), -1);
    ValueInfo info{dkBinary, 5};
    EXPECT_FALSE(reg.QueryValue(QStringLiteral("missing"), info));
    EXPECT_EQ(info.kind, dkUnknown);
    EXPECT_EQ(info.size, 0);
}

TEST_P(RegistryOps, DeleteTreeRemovesKeysWithNestedSubkeys)
{
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 3; ++j)
            setRaw(QStringLiteral("Tree\\Sub%1\\Inner%2\\Leaf").arg(i).arg(j), QStringLiteral("v"), REG_DWORD, QByteArray(4, '\0'));
    }
    setRaw(QStringLiteral("Neighbour"), QStringLiteral("v"), REG_DWORD, QByteArray(4, '\0'));
    ASSERT_TRUE(reg.OpenPath(QStringLiteral("\\SOFTWARE"), false));
    EXPECT_TRUE(reg.DeleteTree(QStringLiteral("Tree")));
    EXPECT_FALSE(reg.SubkeyExists(QStringLiteral("Tree")));
    EXPECT_FALSE(software->child(software->root(), QStringLiteral("Tree")).has_value());
    EXPECT_TRUE(reg.SubkeyExists(QStringLiteral("\\SOFTWARE\\Neighbour")));
    EXPECT_FALSE(reg.DeleteTree(QStringLiteral("Tree")));
    EXPECT_EQ(reg.KeyPath(), QStringLiteral("SOFTWARE"));
}

TEST_P(RegistryOps, SubkeyExistsNeverCreates)
{
    setRaw(QStringLiteral("Present"), QStringLiteral("v"), REG_SZ, textValue({}, QStringLiteral("x")).data);
    machine.commit();
    const QStringList before = dump(*software, software->root());
    EXPECT_FALSE(reg.SubkeyExists(QStringLiteral("\\SOFTWARE\\Absent")));
    EXPECT_FALSE(reg.SubkeyExists(QStringLiteral("\\SOFTWARE\\Present\\Absent\\Deeper")));
    EXPECT_TRUE(reg.SubkeyExists(QStringLiteral("\\SOFTWARE\\present")));
    EXPECT_EQ(dump(*software, software->root()), before);
    EXPECT_FALSE(software->isModified());
}

TEST_P(RegistryOps, ListsAndCountsOfTheOpenKey)
{
    ASSERT_TRUE(reg.OpenPath(QStringLiteral("\\SOFTWARE\\Counted"), true));
    reg.WriteText(QString(), QStringLiteral("default"));
    reg.WriteDword(QStringLiteral("LongestValueName"), 1);
    reg.WriteRaw(QStringLiteral("data"), REG_BINARY, QByteArray(300, '\0'));
    ASSERT_TRUE(reg.OpenPath(QStringLiteral("Child\\Grand"), true));
    ASSERT_TRUE(reg.OpenPath(QStringLiteral("\\SOFTWARE\\Counted\\AnotherChild"), true));
    ASSERT_TRUE(reg.OpenPath(QStringLiteral("\\SOFTWARE\\Counted"), false));

    KeyCounts counts;
    ASSERT_TRUE(reg.QueryKeyCounts(counts));
    EXPECT_EQ(counts.subkeyCount, 2u);
    EXPECT_EQ(counts.maxSubkeyNameLength, 12u);
    EXPECT_EQ(counts.valueCount, 3u);
    EXPECT_EQ(counts.maxValueNameLength, 16u);
    EXPECT_EQ(counts.maxDataLength, 300u);
    QStringList list{"stale"};
    reg.ListSubkeys(list);
    EXPECT_EQ(list, (QStringList{"AnotherChild", "Child"}));
    reg.ListValues(list);
    EXPECT_EQ(list, (QStringList{"", "LongestValueName", "data"}));
    EXPECT_TRUE(reg.EraseValue(QStringLiteral("data")));
    EXPECT_FALSE(reg.EraseValue(QStringLiteral("data")));

    reg.ClosePath();
    EXPECT_FALSE(reg.QueryKeyCounts(counts));
    reg.ListValues(list);
    EXPECT_TRUE(list.isEmpty());
    EXPECT_EQ(throwMessage([&] { reg.ReadRaw(QStringLiteral("x")); }), QStringLiteral("Failed to get data for 'x'"));
}

TEST_P(RegistryOps, KeyDeletedUnderTheOpenKeyFailsCleanly)
{
    ASSERT_TRUE(reg.OpenPath(QStringLiteral("\\SOFTWARE\\Gone\\Open"), true));
    reg.WriteDword(QStringLiteral("v"), 1);
    EXPECT_TRUE(reg.DeleteTree(QStringLiteral("\\SOFTWARE\\Gone")));
    EXPECT_EQ(reg.ValueSize(QStringLiteral("v")), -1);
    EXPECT_EQ(throwMessage([&] { reg.WriteDword(QStringLiteral("v"), 2); }), QStringLiteral("Failed to set data for 'v'"));
    QStringList list;
    reg.ListSubkeys(list);
    EXPECT_TRUE(list.isEmpty());
}

TEST_P(RegistryOps, MachineCommitReachesEveryModifiedStore)
{
    setRaw(QStringLiteral("K"), QStringLiteral("v"), REG_DWORD, QByteArray(4, '\0'));
    reg.SelectRoot(HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenPath(QStringLiteral("K"), true));
    reg.WriteDword(QStringLiteral("v"), 1);
    EXPECT_TRUE(software->isModified());
    EXPECT_TRUE(user->isModified());
    EXPECT_FALSE(system->isModified());
    machine.commit();
    EXPECT_FALSE(software->isModified());
    EXPECT_FALSE(user->isModified());
}

INSTANTIATE_TEST_SUITE_P(BothStores, RegistryOps, ::testing::Values(StoreKind::Memory, StoreKind::Hive), storeKindName);

TEST(MachineMounts, OverlappingOrUnknownMountsAreRefused)
{
    Machine m;
    m.mount(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE"), std::make_shared<MemoryStore>());
    EXPECT_THROW(m.mount(HKEY_LOCAL_MACHINE, QStringLiteral("software\\Classes"), std::make_shared<MemoryStore>()), EParvelleError);
    EXPECT_THROW(m.mount(HKEY_LOCAL_MACHINE, QString(), std::make_shared<MemoryStore>()), EParvelleError);
    EXPECT_THROW(m.mount(0x1234, QStringLiteral("X"), std::make_shared<MemoryStore>()), EParvelleError);
    m.mount(HKEY_USERS, QStringLiteral("Alice"), std::make_shared<MemoryStore>());
    EXPECT_FALSE(m.rootKey(0x1234).has_value());
    const std::optional<KeyRef> users = m.rootKey(HKEY_USERS);
    ASSERT_TRUE(users.has_value());
    EXPECT_EQ(users->store, nullptr);
    EXPECT_EQ(m.subkeyNames(*users), QStringList{"Alice"});
}

TEST(MachineMounts, DeepMountPointsAreReachedThroughVirtualKeys)
{
    Machine m;
    auto store = std::make_shared<MemoryStore>();
    store->addChild(store->root(), QStringLiteral("Inside"));
    m.mount(HKEY_USERS, QStringLiteral("S-1-5-21\\Classes"), store);
    TNTRegistry r(m);
    r.SelectRoot(HKEY_USERS);
    EXPECT_TRUE(r.SubkeyExists(QStringLiteral("s-1-5-21")));
    ASSERT_TRUE(r.OpenPath(QStringLiteral("S-1-5-21\\CLASSES\\inside"), false));
    EXPECT_EQ(r.KeyPath(), QStringLiteral("S-1-5-21\\CLASSES\\inside"));
    EXPECT_FALSE(r.OpenPath(QStringLiteral("\\S-1-5-21\\Other"), true));
}

TEST(MachineMounts, AFailedCommitCommitsNoOtherStore)
{
    Machine m;
    auto healthy = std::make_shared<MemoryStore>();
    auto failing = std::make_shared<MemoryStore>();
    m.mount(HKEY_CURRENT_USER, QString(), healthy);
    m.mount(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE"), failing);
    failing->addChild(failing->root(), QStringLiteral("a"));
    healthy->addChild(healthy->root(), QStringLiteral("b"));
    failing->setCommitFailure(QStringLiteral("disk full"));
    EXPECT_EQ(throwMessage([&] { m.commit(); }), QStringLiteral("disk full"));
    EXPECT_TRUE(failing->isModified());
    EXPECT_TRUE(healthy->isModified());
    EXPECT_EQ(healthy->commitCount(), 0);
}

TEST(MemoryStoreFaults, UnreadableValueRaisesAHiveError)
{
    MemoryStore store;
    const NodeId key = store.addChild(store.root(), QStringLiteral("K"));
    store.setValue(key, textValue(QStringLiteral("bad"), QStringLiteral("x")));
    store.setValueUnreadable(key, QStringLiteral("BAD"));
    EXPECT_THROW(store.value(key, QStringLiteral("bad")), EHiveError);
    EXPECT_THROW(store.values(key), EHiveError);
    store.setValueUnreadable(key, QStringLiteral("bad"), false);
    EXPECT_TRUE(store.value(key, QStringLiteral("bad")).has_value());
}

} // namespace
