// A hive is mapped, not read: listing its cache brings in the pages of the cache, not those
// of everything else a large hive holds. Counted as the pages of the file this process has
// mapped in (Rss of its mappings in /proc/self/smaps), which is what reading costs in memory.
#include "TestRegistry.h"
#include "registry/RegistrySources.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace parvelle::test {
namespace {

// Bytes of `path` this process has mapped in.
qint64 residentBytesOf(const QString& path)
{
    QFile smaps(QStringLiteral("/proc/self/smaps"));
    if (!smaps.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    const QByteArray target = QFile::encodeName(QFileInfo(path).canonicalFilePath());
    bool inMapping = false;
    qint64 kiB = 0;
    for (const QByteArray& line : smaps.readAll().split('\n')) {   // a /proc file has no size: read to its end
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (!fields.first().endsWith(':'))   // a mapping: addresses, permissions, offset, device, inode, path
            inMapping = fields.size() >= 6 && fields.last() == target;
        else if (inMapping && fields.first() == "Rss:")
            kiB += fields.value(1).toLongLong();
    }
    return kiB * 1024;
}

TEST(MappedListing, ReadsThePagesOfTheCacheNotTheRestOfTheHive)
{
    QTemporaryDir dir;
    const QString hive = MakeBigCacheHive(dir.path(), 20, qint64(32) << 20);   // the other data follows the cache
    RegistrySources sources;
    sources.software = hive;
    sources.readOnly = true;
    Machine machine = OpenRegistrySources(sources);
    EXPECT_EQ(ListCache(machine).rows.size(), 20u);
    const qint64 resident = residentBytesOf(hive);
    ASSERT_GT(resident, 0) << "the hive is not mapped";
    // The kernel maps a file in blocks of up to 2 MiB around the pages read.
    EXPECT_LT(resident, QFileInfo(hive).size() / 4);
}

} // namespace
} // namespace parvelle::test
