#include "PeerReaders.h"
#include "TestRegistry.h"
#include "registry/RegistrySources.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <set>

using namespace parvelle;
using namespace parvelle::test;

namespace {

struct DemoOnDisk {
    QTemporaryDir dir;
    DemoHives hives;
    MemoryMachine expected;   // the same registry written into memory

    explicit DemoOnDisk(bool vista)
    {
        hives = MakeDemoRegistry(dir.filePath(QStringLiteral("demo")), vista);
        FillDemoRegistry(expected.machine, vista);
    }

    CacheListing list() const
    {
        RegistrySources sources;
        sources.software = hives.software;
        sources.ntuser = hives.ntUser;
        Machine machine = OpenRegistrySources(sources);
        return ListCache(machine);
    }
};

QString typeName(uint32_t type)
{
    switch (type) {
    case REG_SZ: return QStringLiteral("SZ");
    case REG_EXPAND_SZ: return QStringLiteral("EXPAND_SZ");
    case REG_BINARY: return QStringLiteral("BINARY");
    case REG_DWORD: return QStringLiteral("DWORD");
    default: return QString::number(type);
    }
}

bool isAscii(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

void expectHivexregeditReads(const QString& hive, const RegistryStore& written)
{
    const HiveContents expected = contentsOf(written);
    const HiveContents exported = readWithHivexregedit(hive);
    ASSERT_FALSE(exported.empty()) << "hivexregedit read nothing from " << hive.toStdString();
    EXPECT_EQ(exported.size(), expected.size());
    for (const auto& [key, values] : expected) {
        const auto found = exported.find(key);
        ASSERT_NE(found, exported.end()) << "missing key " << key.toStdString();
        EXPECT_EQ(found->second, values) << "values of " << key.toStdString();
    }
}

void expectReglookupReads(const QString& hive, const RegistryStore& written)
{
    const auto lines = readWithReglookup(hive);
    size_t expectedLines = 0;
    for (const auto& [key, values] : contentsOf(written)) {
        ++expectedLines;
        const QByteArray keyPath = reglookupPath(key);
        ASSERT_TRUE(lines.count(keyPath)) << "missing key " << key.toStdString();
        EXPECT_EQ(lines.at(keyPath).first, "KEY");
        for (const auto& [name, typed] : values) {
            ++expectedLines;
            const auto& [type, data] = typed;
            const QByteArray path = (keyPath == "/" ? QByteArray() : keyPath) + '/' + storedName(name);
            ASSERT_TRUE(lines.count(path)) << "missing value " << path.toStdString();
            const auto& [shownType, shownData] = lines.at(path);
            EXPECT_EQ(QString::fromLatin1(shownType), typeName(type)) << path.toStdString();
            if (type == REG_BINARY) {
                EXPECT_EQ(shownData, data) << path.toStdString();
            }
            if (type == REG_DWORD) {
                EXPECT_EQ(shownData, QStringLiteral("0x%1").arg(qFromLittleEndian<uint32_t>(data.constData()), 8, 16, QLatin1Char('0')).toUpper().replace("0X", "0x").toLatin1());
            }
            const QString text = TextUpToZero(data);
            if ((type == REG_SZ || type == REG_EXPAND_SZ) && isAscii(text)) {
                EXPECT_EQ(shownData, text.toLatin1()) << path.toStdString();
            }
        }
    }
    EXPECT_EQ(lines.size(), expectedLines);
}

const CacheRow* rowNamed(const CacheListing& listing, const QString& name)
{
    return ListingMachine::row(listing, name);
}

} // namespace

TEST(DemoRegistryHives, PeersReadExactlyTheKeysTypesAndBytesWritten)
{
    for (const bool vista : {false, true}) {
        SCOPED_TRACE(vista ? "vista" : "xp");
        const DemoOnDisk demo(vista);
        expectHivexregeditReads(demo.hives.software, *demo.expected.software);
        expectHivexregeditReads(demo.hives.ntUser, *demo.expected.user);
        expectReglookupReads(demo.hives.software, *demo.expected.software);
        expectReglookupReads(demo.hives.ntUser, *demo.expected.user);
    }
}

TEST(DemoRegistryHives, RefusesToReplaceAnExistingHive)
{
    QTemporaryDir dir;
    QFile existing(dir.filePath(QStringLiteral("SOFTWARE")));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("keep me");
    existing.close();
    EXPECT_THROW(MakeDemoRegistry(dir.path(), false), EHiveError);
    ASSERT_TRUE(existing.open(QIODevice::ReadOnly));
    EXPECT_EQ(existing.readAll(), QByteArray("keep me"));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("NTUSER.DAT"))));
}

TEST(DemoRegistryListing, EveryColumnInEachForm)
{
    const DemoOnDisk demo(false);
    const CacheListing listing = demo.list();
    EXPECT_EQ(listing.osKind, 6);
    EXPECT_GE(listing.rows.size(), 25u);
    EXPECT_TRUE(listing.unreadable.isEmpty());

    std::set<QString> inAddRemove, hasName, dataSizes, installSizes;
    std::set<int32_t> frequencies;
    bool noDate = false, dateOnly = false, dateAndTime = false, aboveLatin1 = false;
    bool changedText = false, changedNumber = false, changedEmpty = false;
    for (const CacheRow& row : listing.rows) {
        inAddRemove.insert(row.columns[ccInAddRemove]);
        hasName.insert(row.columns[ccHasName]);
        dataSizes.insert(row.columns[ccDataSize]);
        installSizes.insert(row.columns[ccInstallSize]);
        if (row.record.has(CacheRecord::fFrequency))
            frequencies.insert(row.record.Frequency);
        const QString& lastUsed = row.columns[ccLastUsed];
        noDate |= lastUsed == kNoDateGiven;
        dateAndTime |= lastUsed.contains(QLatin1Char(':'));
        dateOnly |= !lastUsed.isEmpty() && lastUsed != kNoDateGiven && !lastUsed.contains(QLatin1Char(':'));
        const QString& path = row.columns[ccFilePath];
        aboveLatin1 |= std::any_of(path.begin(), path.end(), [](QChar c) { return c.unicode() > 0xFF; });
        bool isNumber = false;
        row.columns[ccChanged].toInt(&isNumber);
        changedNumber |= isNumber;
        changedText |= !row.columns[ccChanged].isEmpty() && !isNumber;
        changedEmpty |= row.columns[ccChanged].isEmpty();
    }
    EXPECT_EQ(inAddRemove, (std::set<QString>{"Yes", "No"}));
    EXPECT_EQ(hasName, (std::set<QString>{"True", "False"}));
    EXPECT_TRUE(dataSizes.count("552") && dataSizes.count("600") && dataSizes.count("20"));
    EXPECT_TRUE(installSizes.count("-1"));
    EXPECT_TRUE(frequencies.count(-2) && frequencies.count(-1) && frequencies.count(2) && frequencies.count(3)
                && frequencies.count(10) && frequencies.count(11) && frequencies.count(30) && *frequencies.rbegin() > 30);
    EXPECT_TRUE(noDate && dateOnly && dateAndTime);
    EXPECT_TRUE(aboveLatin1);
    EXPECT_TRUE(changedNumber && changedText && changedEmpty);

    // Entries that show the fixed faults and the rare forms.
    EXPECT_EQ(rowNamed(listing, QStringLiteral("Tweak UI 2.10"))->columns[ccFilePath],
              QStringLiteral("C:\\WINDOWS\\system32\\tweakui.exe"));
    EXPECT_EQ(rowNamed(listing, QStringLiteral("DAEMON Tools"))->columns[ccLastUsed],
              QStringLiteral("Out of range (FILETIME 9223372036854775807)"));
    EXPECT_EQ(rowNamed(listing, QStringLiteral("Old Game Launcher"))->columns[ccChanged], QStringLiteral("42"));
    EXPECT_EQ(rowNamed(listing, QStringLiteral("QuickTime"))->columns[ccChanged], QStringLiteral("-1"));
    EXPECT_EQ(rowNamed(listing, QStringLiteral("Google Earth"))->record.LastUsed >> 32, 0u);
    EXPECT_EQ(rowNamed(listing, QStringLiteral("Legacy Backup 1.2"))->columns,
              (QStringList{"Legacy Backup 1.2", "No", "", "", "", "262144", "True", "20", ""}));
    EXPECT_EQ(rowNamed(listing, QStringLiteral("日本語ワープロ 3"))->columns[ccFilePath],
              QStringLiteral("C:\\Program Files\\日本語ワープロ\\wp3.exe"));
    EXPECT_EQ(rowNamed(listing, QStringLiteral("HP Photosmart Essential")), nullptr);
}

TEST(DemoRegistryListing, TheRowlessEntryAndTheEntryWithASubkeyExist)
{
    DemoOnDisk demo(false);
    TNTRegistry registry(demo.expected.machine);
    registry.SelectRoot(HKEY_LOCAL_MACHINE);
    for (const char* name : {"HP Photosmart Essential", "Microsoft .NET Framework 2.0\\Components"})
        EXPECT_TRUE(registry.SubkeyExists(CacheEntryPath(QString::fromUtf8(name)))) << name;
    ASSERT_TRUE(registry.OpenPath(CacheEntryPath(QStringLiteral("Microsoft .NET Framework 2.0")), false));
    EXPECT_EQ(registry.ValueKind(QString()), dkString);
    EXPECT_EQ(registry.ValueKind(QStringLiteral("SlowInfoCache")), dkBinary);
}

TEST(DemoRegistryListing, VistaKeepsTheCacheInTheUserHive)
{
    const DemoOnDisk xp(false);
    const DemoOnDisk vista(true);
    const CacheListing xpRows = xp.list();
    const CacheListing vistaRows = vista.list();
    EXPECT_EQ(vistaRows.osKind, 8);
    ASSERT_EQ(vistaRows.rows.size(), xpRows.rows.size());
    for (size_t i = 0; i < xpRows.rows.size(); ++i)
        EXPECT_EQ(vistaRows.rows[i].columns, xpRows.rows[i].columns);
    EXPECT_FALSE(contentsOf(*vista.expected.software).count(QStringLiteral("\\Microsoft\\Windows\\CurrentVersion\\App Management")));
    EXPECT_TRUE(contentsOf(*vista.expected.user).count(QStringLiteral("\\Software\\Microsoft\\Windows\\CurrentVersion\\App Management\\ARPCache")));
}

TEST(DemoRegistryBigHive, ListsEveryGeneratedEntry)
{
    QTemporaryDir dir;
    const QString software = MakeBigCacheHive(dir.path(), 1200);
    RegistrySources sources;
    sources.software = software;
    Machine machine = OpenRegistrySources(sources);
    const CacheListing listing = ListCache(machine);
    ASSERT_EQ(listing.rows.size(), 1200u);
    EXPECT_EQ(listing.rows.front().KeyName, QStringLiteral("Program 00000"));
    EXPECT_EQ(listing.rows.back().KeyName, QStringLiteral("Program 01199"));
    EXPECT_EQ(std::count_if(listing.rows.begin(), listing.rows.end(), [](const CacheRow& r) { return r.InAddRemove; }), 600);
    const auto lines = readWithReglookup(software);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const auto& line) { return line.first.endsWith("/SlowInfoCache"); }), 1200);
}
