// Finding the hives of a Windows installation and mounting them.
#include "RegistryTestSupport.h"

#include "registry/RegistrySources.h"
#include "registry/TNTRegistry.h"

#include <QDir>

using namespace parvelle;
using namespace parvelle::test;

namespace {

class InstallationTree : public ::testing::Test {
protected:
    // Creates an empty hive at `relative` below the installation root.
    QString hive(const QString& relative)
    {
        const QString path = dir.filePath(relative);
        EXPECT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
        HiveStore::createEmpty(path);
        return path;
    }

    QTemporaryDir dir;
};

TEST_F(InstallationTree, FindsHivesIgnoringLetterCaseAndSkipsBuiltInProfiles)
{
    const QString software = hive(QStringLiteral("WINDOWS/system32/CONFIG/software"));
    const QString system = hive(QStringLiteral("WINDOWS/system32/CONFIG/System"));
    const QString alice = hive(QStringLiteral("users/Alice/ntuser.dat"));
    hive(QStringLiteral("users/Default/NTUSER.DAT"));
    QDir().mkpath(dir.filePath(QStringLiteral("users/Public")));

    const WindowsHives found = FindWindowsHives(dir.path(), QString());
    EXPECT_EQ(found.software, software);
    EXPECT_EQ(found.system, system);
    EXPECT_EQ(found.ntuser, alice);
    EXPECT_EQ(found.user, QStringLiteral("Alice"));
    // The Windows folder itself works as well.
    EXPECT_EQ(FindWindowsHives(dir.filePath(QStringLiteral("WINDOWS")), QString()).ntuser, alice);
}

TEST_F(InstallationTree, SeveralProfilesNeedAUserNameOnlyForTheUserHive)
{
    hive(QStringLiteral("Windows/System32/config/SOFTWARE"));
    hive(QStringLiteral("Users/Alice/NTUSER.DAT"));
    const QString bob = hive(QStringLiteral("Users/Bob/NTUSER.DAT"));

    const WindowsHives unchosen = FindWindowsHives(dir.path(), QString());
    EXPECT_TRUE(unchosen.ntuser.isEmpty());
    EXPECT_TRUE(unchosen.ntuserUnchosen.contains(QStringLiteral("Alice, Bob"))) << unchosen.ntuserUnchosen.toStdString();
    EXPECT_TRUE(unchosen.ntuserUnchosen.contains(QStringLiteral("--user"))) << unchosen.ntuserUnchosen.toStdString();

    RegistrySources sources;
    sources.windowsDir = dir.path();
    Machine machine = OpenRegistrySources(sources);
    TNTRegistry reg(machine);
    reg.SelectRoot(HKEY_LOCAL_MACHINE);
    EXPECT_TRUE(reg.OpenPath(QStringLiteral("\\SOFTWARE"), false));
    reg.SelectRoot(HKEY_CURRENT_USER);
    const QString message = throwMessage([&] { reg.OpenPath(QStringLiteral("\\Software"), true); });
    EXPECT_TRUE(message.contains(QStringLiteral("choose one with --user"))) << message.toStdString();

    EXPECT_EQ(FindWindowsHives(dir.path(), QStringLiteral("BOB")).ntuser, bob);
    const QString unknown = throwMessage([&] { FindWindowsHives(dir.path(), QStringLiteral("Carol")); });
    EXPECT_TRUE(unknown.contains(QStringLiteral("'Carol'")) && unknown.contains(QStringLiteral("Bob"))) << unknown.toStdString();
}

TEST_F(InstallationTree, XpProfilesAndMissingPieces)
{
    hive(QStringLiteral("WINDOWS/system32/config/software"));
    const QString bob = hive(QStringLiteral("Documents and Settings/Bob/NTUSER.DAT"));
    hive(QStringLiteral("Documents and Settings/Default User/NTUSER.DAT"));
    hive(QStringLiteral("Documents and Settings/LocalService/NTUSER.DAT"));
    const WindowsHives found = FindWindowsHives(dir.path(), QString());
    EXPECT_EQ(found.ntuser, bob);
    EXPECT_TRUE(found.system.isEmpty());

    QTemporaryDir empty;
    const QString message = throwMessage([&] { FindWindowsHives(empty.path(), QString()); });
    EXPECT_TRUE(message.contains(empty.path()) && message.contains(QStringLiteral("SOFTWARE"))) << message.toStdString();
}

TEST_F(InstallationTree, MachineMountsEachHiveOnceAtItsPlace)
{
    hive(QStringLiteral("Windows/System32/config/SOFTWARE"));
    hive(QStringLiteral("Windows/System32/config/SYSTEM"));
    hive(QStringLiteral("Users/Alice/NTUSER.DAT"));
    RegistrySources sources;
    sources.windowsDir = dir.path();
    Machine machine = OpenRegistrySources(sources);

    TNTRegistry reg(machine);
    ASSERT_TRUE(reg.OpenPath(QStringLiteral("Software\\Written"), true));   // HKEY_CURRENT_USER
    reg.WriteDword(QStringLiteral("v"), 5);
    reg.SelectRoot(HKEY_USERS);
    ASSERT_TRUE(reg.OpenPath(QStringLiteral("Alice\\Software\\Written"), false));
    EXPECT_EQ(reg.ReadDword(QStringLiteral("v")), 5);
    reg.SelectRoot(HKEY_LOCAL_MACHINE);
    EXPECT_TRUE(reg.SubkeyExists(QStringLiteral("SOFTWARE")));
    EXPECT_TRUE(reg.SubkeyExists(QStringLiteral("SYSTEM")));
    EXPECT_EQ(machine.mounts().size(), 4u);
    EXPECT_EQ(machine.mounts()[2].store, machine.mounts()[3].store);
    machine.commit();
}

TEST_F(InstallationTree, ExplicitFilesReadOnlyAndMissingFiles)
{
    RegistrySources sources;
    sources.software = hive(QStringLiteral("SOFTWARE"));
    sources.ntuser = hive(QStringLiteral("profile/NTUSER.DAT"));
    sources.readOnly = true;
    Machine machine = OpenRegistrySources(sources);
    for (const Machine::Mount& m : machine.mounts())
        EXPECT_FALSE(m.store->isWritable());
    TNTRegistry reg(machine);
    reg.SelectRoot(HKEY_USERS);
    EXPECT_TRUE(reg.SubkeyExists(QStringLiteral("profile")));

    sources.system = dir.filePath(QStringLiteral("nowhere/SYSTEM"));
    const QString message = throwMessage([&] { OpenRegistrySources(sources); });
    EXPECT_TRUE(message.contains(sources.system) && message.contains(QStringLiteral("does not exist"))) << message.toStdString();
    EXPECT_THROW(OpenRegistrySources(RegistrySources{}), EHiveError);
}

} // namespace
