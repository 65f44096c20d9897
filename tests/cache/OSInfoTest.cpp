#include "cache/OSInfo.h"
#include "TestRegistry.h"

#include <gtest/gtest.h>

using namespace parvelle;
using namespace parvelle::test;

namespace {

int osInfoOfNt(const QString& version)
{
    MemoryMachine m;
    m.keyAt(HKEY_LOCAL_MACHINE, kNtVersionPath)->WriteText(QStringLiteral("CurrentVersion"), version);
    return GetOSInfo(m.machine);
}

int osInfoOf9x(const QString& version, const QString& subVersion)
{
    MemoryMachine m;
    auto key = m.keyAt(HKEY_LOCAL_MACHINE, kWin9xVersionPath);
    key->WriteText(QStringLiteral("VersionNumber"), version);
    key->WriteText(QStringLiteral("SubVersionNumber"), subVersion);
    return GetOSInfo(m.machine);
}

} // namespace

TEST(GetOSInfo, NtVersionsFromTheSoftwareHive)
{
    EXPECT_EQ(osInfoOfNt(QStringLiteral("3.51")), 4);
    EXPECT_EQ(osInfoOfNt(QStringLiteral("4.0")), 4);
    EXPECT_EQ(osInfoOfNt(QStringLiteral("5.0")), 5);
    EXPECT_EQ(osInfoOfNt(QStringLiteral("5.1")), 6);
    EXPECT_EQ(osInfoOfNt(QStringLiteral("5.2")), 7);
    EXPECT_EQ(osInfoOfNt(QStringLiteral("6.0")), 8);
    EXPECT_EQ(osInfoOfNt(QStringLiteral("6.1")), -1);
    EXPECT_EQ(osInfoOfNt(QStringLiteral("6.3")), -1);
    EXPECT_EQ(osInfoOfNt(QStringLiteral("5.3")), -1);
    EXPECT_EQ(osInfoOfNt(QStringLiteral("Windows")), -1);
}

TEST(GetOSInfo, Win9xVersionsFromTheSoftwareHive)
{
    EXPECT_EQ(osInfoOf9x(QStringLiteral("4.00.950"), QStringLiteral("")), 0);
    EXPECT_EQ(osInfoOf9x(QStringLiteral("4.10.1998"), QStringLiteral("")), 1);
    EXPECT_EQ(osInfoOf9x(QStringLiteral("4.10.2222"), QStringLiteral(" A ")), 2);
    EXPECT_EQ(osInfoOf9x(QStringLiteral("4.10.2222"), QStringLiteral("A")), 1);
    EXPECT_EQ(osInfoOf9x(QStringLiteral("4.90.3000"), QStringLiteral(" ")), 3);
    EXPECT_EQ(osInfoOf9x(QStringLiteral("4.03.1214"), QStringLiteral(" B ")), -1);
}

TEST(GetOSInfo, NothingToReadIsAFailedQuery)
{
    MemoryMachine empty;
    EXPECT_EQ(GetOSInfo(empty.machine), -1);

    Machine userOnly;
    userOnly.mount(HKEY_CURRENT_USER, QString(), std::make_shared<MemoryStore>());
    EXPECT_EQ(GetOSInfo(userOnly), -1);

    MemoryMachine binaryVersion;
    binaryVersion.keyAt(HKEY_LOCAL_MACHINE, kNtVersionPath)
        ->WriteBytes(QStringLiteral("CurrentVersion"), "5.1", 3);
    EXPECT_EQ(GetOSInfo(binaryVersion.machine), -1);
}

TEST(GetOSInfo, NtKeyWithoutVersionFallsBackTo9x)
{
    MemoryMachine m;
    m.keyAt(HKEY_LOCAL_MACHINE, kNtVersionPath)->WriteText(QStringLiteral("RegisteredOwner"), QStringLiteral("x"));
    m.keyAt(HKEY_LOCAL_MACHINE, kWin9xVersionPath)->WriteText(QStringLiteral("VersionNumber"), QStringLiteral("4.90.3000"));
    EXPECT_EQ(GetOSInfo(m.machine), 3);
}

TEST(OSKind, FromOSInfo)
{
    EXPECT_EQ(OSKindFromInfo(-1), 0);
    EXPECT_EQ(OSKindFromInfo(0), 1);
    EXPECT_EQ(OSKindFromInfo(1), 2);
    EXPECT_EQ(OSKindFromInfo(2), 2);
    for (int info = 3; info <= 8; ++info)
        EXPECT_EQ(OSKindFromInfo(info), info);
}

TEST(OSKind, CacheRootIsTheUserOnlyForNt60)
{
    EXPECT_EQ(CacheRoot(8), HKEY_CURRENT_USER);
    for (uint8_t kind : {0, 1, 2, 3, 4, 5, 6, 7})
        EXPECT_EQ(CacheRoot(kind), HKEY_LOCAL_MACHINE) << int(kind);
}

