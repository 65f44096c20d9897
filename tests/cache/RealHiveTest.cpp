#include "TestData.h"
#include "PeerReaders.h"
#include "TestRegistry.h"
#include "registry/HiveStore.h"
#include "registry/RegistrySources.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace parvelle;
using namespace parvelle::test;

// Cache entries added to a copy of a real hive (its Uninstall key is real data), written,
// reopened and listed.
TEST(RealHiveListing, AddRemoveCheckOnRealUninstallKeys)
{
    QTemporaryDir dir;
    const QString hive = dir.filePath(QStringLiteral("SOFTWARE"));
    UnpackTestHive("ntuser_software_partial", hive);
    RegistrySources sources;
    sources.software = hive;
    {
        Machine machine = OpenRegistrySources(sources);
        TNTRegistry registry(machine);
        registry.SelectRoot(HKEY_LOCAL_MACHINE);
        for (const char* name : {"GitKraken", "Long Gone Tool"}) {
            ASSERT_TRUE(registry.OpenPath(CacheEntryPath(QString::fromLatin1(name)), true));
            const QByteArray data = record(552, 552, true, 1024, fileTime(2019, 5, 16, 8, 22, 57), 4, "C:\\x.exe");
            registry.WriteBytes(QStringLiteral("SlowInfoCache"), data.constData(), int(data.size()));
        }
        machine.commit();
    }

    Machine reopened = OpenRegistrySources(sources);
    const CacheListing listing = ListCache(reopened);
    EXPECT_EQ(listing.osKind, 0);   // no version recorded in this hive: a failed query
    ASSERT_EQ(listing.rows.size(), 2u);
    EXPECT_EQ(listing.rows[0].columns.mid(0, 2), (QStringList{"GitKraken", "Yes"}));
    EXPECT_EQ(listing.rows[1].columns.mid(0, 2), (QStringList{"Long Gone Tool", "No"}));

    const auto lines = readWithReglookup(hive);
    EXPECT_TRUE(lines.count("/Microsoft/Windows/CurrentVersion/Uninstall/gitkraken"));
    const auto written = lines.find("/Microsoft/Windows/CurrentVersion/App Management/ARPCache/GitKraken/SlowInfoCache");
    ASSERT_NE(written, lines.end());
    EXPECT_EQ(written->second.first, "BINARY");
}
