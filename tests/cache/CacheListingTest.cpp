#include "cache/CacheListing.h"
#include "cache/OSInfo.h"
#include "demo/DemoRegistry.h"
#include "registry/RegfLayout.h"
#include "registry/MemoryStore.h"
#include "registry/RegistrySources.h"
#include "TestRegistry.h"

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>

using namespace parvelle;
using namespace parvelle::test;

namespace {

QByteArray plainRecord(int32_t frequency = 1, uint64_t lastUsed = 0)
{
    return record(552, 552, 1, 1234, lastUsed, frequency, QStringLiteral("C:\\p.exe"));
}

QStringList names(const CacheListing& listing)
{
    QStringList out;
    for (const CacheRow& r : listing.rows)
        out.append(r.KeyName);
    return out;
}

// Subkeys enumerated against Windows's order, as in a hive written by a tool that sorts
// otherwise.
class ReversedSubkeys : public MemoryStore {
public:
    std::vector<NodeId> children(NodeId node) const override
    {
        std::vector<NodeId> kids = MemoryStore::children(node);
        std::reverse(kids.begin(), kids.end());
        return kids;
    }
};

} // namespace

TEST(CacheListingColumns, NineColumnTextsOfAFullRecord)
{
    ListingMachine m;
    const uint64_t used = fileTime(2006, 8, 14, 3, 33, 20);
    m.addEntry(QStringLiteral("Café Planner"),
               record(552, 552, 1, 3801088, used, 12, QStringLiteral("C:\\Programme\\Café\\café.exe")));
    m.entry(QStringLiteral("Café Planner")).WriteDword(QStringLiteral("Changed"), 7);
    m.addUninstall(QStringLiteral("Café Planner"));

    const CacheListing listing = ListCache(m.machine);
    EXPECT_EQ(listing.osKind, 6);
    EXPECT_TRUE(listing.cacheFound);
    ASSERT_EQ(listing.rows.size(), 1u);
    const CacheRow& row = listing.rows.front();
    EXPECT_EQ(row.columns, (QStringList{QStringLiteral("Café Planner"), QStringLiteral("Yes"),
                                        QStringLiteral("C:\\Programme\\Café\\café.exe"), QStringLiteral("frequently (12)"),
                                        LastUsedFormatter().text(used), QStringLiteral("3801088"),
                                        QStringLiteral("True"), QStringLiteral("552"), QStringLiteral("7")}));
    EXPECT_EQ(row.record.Frequency, 12);
    EXPECT_EQ(row.record.LastUsed, used);
    EXPECT_EQ(row.Changed, QStringLiteral("7"));
    EXPECT_TRUE(row.InAddRemove);
}

TEST(CacheListingColumns, FrequencyWords)
{
    const std::pair<int32_t, const char*> cases[] = {
        {-1, "rarely (-1)"},        {0, "rarely (0)"},           {2, "rarely (2)"},
        {3, "occasionally (3)"},    {10, "occasionally (10)"},   {11, "frequently (11)"},
        {30, "frequently (30)"},    {-2, "frequently (-2)"},     {INT32_MIN, "frequently (-2147483648)"},
    };
    for (const auto& [n, text] : cases)
        EXPECT_EQ(FrequencyText(n), QString::fromLatin1(text));
}

TEST(CacheListingColumns, NumbersHaveNoSeparatorsAndFlagsAreWords)
{
    ListingMachine m;
    QByteArray data = record(552, 4294967295u, 0, -1, 0, 0, QString());
    m.addEntry(QStringLiteral("Big"), data);
    putLittleEndian<int64_t>(data, 8, 123456789012345LL);
    m.addEntry(QStringLiteral("Bigger"), data);
    const CacheListing listing = ListCache(m.machine);
    ASSERT_EQ(listing.rows.size(), 2u);
    EXPECT_EQ(listing.rows[0].columns[ccInstallSize], QStringLiteral("-1"));
    EXPECT_EQ(listing.rows[0].columns[ccDataSize], QStringLiteral("4294967295"));
    EXPECT_EQ(listing.rows[0].columns[ccHasName], QStringLiteral("False"));
    EXPECT_EQ(listing.rows[0].columns[ccInAddRemove], QStringLiteral("No"));
    EXPECT_EQ(listing.rows[1].columns[ccInstallSize], QStringLiteral("123456789012345"));
}

TEST(CacheListingDates, LastUsedTexts)
{
    const LastUsedFormatter c{QLocale::c()};
    EXPECT_EQ(c.text(0), QStringLiteral("No Date Given"));
    EXPECT_EQ(c.text(fileTime(2006, 8, 14, 3, 33, 20)), QStringLiteral("14 Aug 2006 03:33:20 UTC"));
    EXPECT_EQ(c.text(fileTime(2006, 8, 14)), QStringLiteral("14 Aug 2006"));
    // High half 0, low half not 0: a time on the first day.
    EXPECT_EQ(c.text(0x00000000FFFFFFFFULL), QStringLiteral("1 Jan 1601 00:07:09 UTC"));
    EXPECT_EQ(c.text(fileTime(9999, 12, 31, 23, 59, 59)), QStringLiteral("31 Dec 9999 23:59:59 UTC"));
    EXPECT_EQ(c.text(fileTime(9999, 12, 31, 23, 59, 59) + 10'000'000ULL),
              QStringLiteral("Out of range (FILETIME 2650467744000000000)"));
    EXPECT_EQ(c.text(0x8000000000000000ULL), QStringLiteral("Out of range (FILETIME 9223372036854775808)"));
    EXPECT_EQ(c.text(~0ULL), QStringLiteral("Out of range (FILETIME 18446744073709551615)"));

    // Four-digit years in every locale, also where the short format has two.
    const LastUsedFormatter german{QLocale(QLocale::German, QLocale::Germany)};
    EXPECT_TRUE(german.text(fileTime(2006, 8, 14, 3, 33, 20)).startsWith(QStringLiteral("14.08.2006 03:33:20")));
    const LastUsedFormatter american{QLocale(QLocale::English, QLocale::UnitedStates)};
    EXPECT_EQ(american.text(fileTime(1601, 1, 2)), QStringLiteral("1/2/1601"));
    const LastUsedFormatter chinese{QLocale(QLocale::Chinese, QLocale::China)};
    EXPECT_EQ(chinese.text(fileTime(1601, 1, 2)), QStringLiteral("1601/1/2"));
}

TEST(CacheListingDates, IsoTextsInUtc)
{
    EXPECT_EQ(FileTimeToIso(fileTime(2006, 8, 14, 3, 33, 20)), QStringLiteral("2006-08-14T03:33:20Z"));
    EXPECT_EQ(FileTimeToIso(fileTime(2006, 8, 14, 3, 33, 20) + 9'999'999), QStringLiteral("2006-08-14T03:33:20Z"));
    EXPECT_EQ(FileTimeToIso(0), QString());
    EXPECT_EQ(FileTimeToIso(0x8000000000000000ULL), QString());
}

TEST(CacheListingDates, IsoTextsAgreeWithQtAcrossTheRange)
{
    // The ISO text is written digit by digit; Qt's calendar is the reference.
    const std::vector<uint64_t> times = {
        1,
        fileTime(1601, 1, 1, 23, 59, 59),
        fileTime(1604, 2, 29, 12),
        fileTime(1700, 3, 1),
        fileTime(1900, 2, 28, 23, 59, 59),
        fileTime(2000, 2, 29, 0, 0, 1),
        fileTime(2038, 1, 19, 3, 14, 8),
        fileTime(9999, 12, 31, 23, 59, 59) + 9'999'999,
    };
    for (const uint64_t time : times)
        EXPECT_EQ(FileTimeToIso(time), FileTimeToUtc(time)->toString(Qt::ISODate)) << time;
    for (uint64_t time = 0x0123456789ABCDEFULL; time < fileTime(9999, 1, 1); time += 0x0003A5C0DE4F1B7DULL)
        EXPECT_EQ(FileTimeToIso(time), FileTimeToUtc(time)->toString(Qt::ISODate)) << time;
    EXPECT_EQ(FileTimeToIso(fileTime(9999, 12, 31, 23, 59, 59) + 10'000'000ULL), QString());
    EXPECT_EQ(FileTimeToIso(~0ULL), QString());
}

TEST(CacheListingDates, IsoStyleListingCarriesIsoLastUsedTexts)
{
    ListingMachine m;
    m.addEntry(QStringLiteral("A"), plainRecord(1, fileTime(2007, 1, 2, 3, 4, 5)));
    m.addEntry(QStringLiteral("B"), plainRecord(1, 0));
    m.addEntry(QStringLiteral("C"), record(20, 20, true, 7, 0, 0, QString()));   // no Last Used field
    const CacheListing locale = ListCache(m.machine);
    const CacheListing iso = ListCache(m.machine, {}, luIso);
    EXPECT_EQ(locale.lastUsedColumn, luLocale);
    EXPECT_EQ(iso.lastUsedColumn, luIso);
    ASSERT_EQ(iso.rows.size(), 3u);
    EXPECT_EQ(iso.rows[0].columns[ccLastUsed], QStringLiteral("2007-01-02T03:04:05Z"));
    EXPECT_EQ(iso.rows[1].columns[ccLastUsed], QString());
    EXPECT_EQ(iso.rows[2].columns[ccLastUsed], QString());
    for (size_t i = 0; i < iso.rows.size(); ++i)
        for (int c = 0; c < ccColumnCount; ++c)
            if (c != ccLastUsed) {
                EXPECT_EQ(iso.rows[i].columns[c], locale.rows[i].columns[c]) << i << ' ' << c;
            }
}

TEST(CacheListingDates, DateBeyond9999DoesNotEndTheListing)
{
    ListingMachine m;
    m.addEntry(QStringLiteral("A"), plainRecord(1, fileTime(2007, 1, 2, 3, 4, 5)));
    m.addEntry(QStringLiteral("B"), plainRecord(1, 0x7FFFFFFFFFFFFFFFULL));
    m.addEntry(QStringLiteral("C"), plainRecord(1, fileTime(2008, 1, 2)));
    const CacheListing listing = ListCache(m.machine);
    ASSERT_EQ(listing.rows.size(), 3u);
    EXPECT_EQ(listing.rows[1].columns[ccLastUsed], QStringLiteral("Out of range (FILETIME 9223372036854775807)"));
    EXPECT_EQ(listing.rows[2].columns[ccLastUsed], LastUsedFormatter().text(fileTime(2008, 1, 2)));
}

TEST(CacheListingRoot, Nt60ReadsTheUserHiveOthersTheMachine)
{
    for (const auto& [version, expectedKind, userRoot] :
         {std::tuple{"6.0", 8, true}, std::tuple{"5.1", 6, false}, std::tuple{"6.1", 0, false}}) {
        ListingMachine m(QString::fromLatin1(version));
        m.addEntry(QStringLiteral("InUser"), plainRecord(), HKEY_CURRENT_USER);
        m.addEntry(QStringLiteral("InMachine"), plainRecord(), HKEY_LOCAL_MACHINE);
        const CacheListing listing = ListCache(m.machine);
        EXPECT_EQ(listing.osKind, expectedKind) << version;
        EXPECT_EQ(names(listing), QStringList{userRoot ? "InUser" : "InMachine"}) << version;
    }
}

TEST(CacheListingRoot, UninstallIsCheckedUnderTheMachineAlsoForAUserCache)
{
    ListingMachine m(QStringLiteral("6.0"));
    m.addEntry(QStringLiteral("Listed"), plainRecord());
    m.addEntry(QStringLiteral("Gone"), plainRecord());
    m.addEntry(QStringLiteral("OnlyUser"), plainRecord());
    m.addUninstall(QStringLiteral("LISTED"));
    m.keyAt(HKEY_CURRENT_USER, kUninstallPath + QStringLiteral("\\OnlyUser"));
    const CacheListing listing = ListCache(m.machine);
    EXPECT_TRUE(m.row(listing, QStringLiteral("Listed"))->InAddRemove);
    EXPECT_FALSE(m.row(listing, QStringLiteral("Gone"))->InAddRemove);
    EXPECT_FALSE(m.row(listing, QStringLiteral("OnlyUser"))->InAddRemove);
}

TEST(CacheListingRoot, UninstallNamesCompareAsWindowsComparesThem)
{
    ListingMachine m;
    const QStringList entries{QStringLiteral("Straße Tool"), QStringLiteral("\u212Aelvin Calc"), QStringLiteral("D\u0131ff")};
    for (const QString& name : entries)
        m.addEntry(name, plainRecord());
    // The same name for Windows, a plain K instead of the Kelvin sign, a dotted i for a dotless one.
    for (const char* name : {"STRAßE TOOL", "Kelvin Calc", "DIFF"})
        m.addUninstall(QString::fromUtf8(name));
    const CacheListing listing = ListCache(m.machine);
    EXPECT_TRUE(m.row(listing, entries[0])->InAddRemove);
    EXPECT_FALSE(m.row(listing, entries[1])->InAddRemove);
    EXPECT_FALSE(m.row(listing, entries[2])->InAddRemove);
}

TEST(CacheListingRoot, UninstallAnswersDoNotDependOnTheOrderOfEitherList)
{
    for (const bool backwards : {true, false}) {
        Machine machine;
        machine.mount(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE"),
                      backwards ? std::make_shared<ReversedSubkeys>() : std::make_shared<MemoryStore>());
        TNTRegistry key(machine);
        key.SelectRoot(HKEY_LOCAL_MACHINE);
        const QStringList installed{QStringLiteral("b"), QStringLiteral("C"), QStringLiteral("D"), QStringLiteral("f"),
                                    QStringLiteral("H"), QStringLiteral("i")};
        for (const QString& name : installed)
            ASSERT_TRUE(key.OpenPath(kUninstallPath + QLatin1Char('\\') + name, true));
        for (const char* name : {"A", "B", "c", "d", "E", "F", "g", "h", "i"}) {
            ASSERT_TRUE(key.OpenPath(CacheEntryPath(QString::fromLatin1(name)), true));
            key.WriteBytes(QStringLiteral("SlowInfoCache"), plainRecord().constData(), int(plainRecord().size()));
        }
        const CacheListing listing = ListCache(machine);
        ASSERT_EQ(names(listing).first(), backwards ? QStringLiteral("i") : QStringLiteral("A"));
        for (const CacheRow& row : listing.rows)
            EXPECT_EQ(row.InAddRemove, installed.contains(row.KeyName, Qt::CaseInsensitive)) << row.KeyName.toStdString();
    }
}

TEST(CacheListingRoot, MissingCacheGivesNoRowsAndStillCallsBagEnter)
{
    ListingMachine m;
    int calls = 0;
    const CacheListing listing = ListCache(m.machine, [&] { ++calls; });
    EXPECT_FALSE(listing.cacheFound);
    EXPECT_TRUE(listing.rows.empty());
    EXPECT_EQ(calls, 1);
}

TEST(CacheListingChanged, EachValueKind)
{
    ListingMachine m;
    const QString changed = QStringLiteral("Changed");
    auto add = [&](const char* name, uint32_t type, const QByteArray& data) {
        m.addEntry(QString::fromLatin1(name), plainRecord());
        m.entry(QString::fromLatin1(name)).WriteRaw(changed, type, data);
    };
    add("a-dword", REG_DWORD, bytes({0xFF, 0xFF, 0xFF, 0xFF}));
    add("b-long-dword", REG_DWORD, bytes({0x2A, 0, 0, 0, 0x99, 0x99, 0x99, 0x99}));
    add("c-short-dword", REG_DWORD, bytes({0x2A, 0}));
    add("d-string", REG_SZ, bytes({'2', 0, '0', 0, '0', 0, '6', 0, 0, 0, 'x', 0}));
    add("e-empty-string", REG_SZ, QByteArray());
    add("f-expand", REG_EXPAND_SZ, bytes({'%', 0, 'x', 0, 0, 0}));
    add("g-binary", REG_BINARY, bytes({1, 0, 0, 0}));
    add("h-big-endian", REG_DWORD_BIG_ENDIAN, bytes({0, 0, 0, 1}));
    m.addEntry(QStringLiteral("i-missing"), plainRecord());

    const CacheListing listing = ListCache(m.machine);
    ASSERT_EQ(listing.rows.size(), 9u);
    const std::optional<QString> expected[] = {
        QStringLiteral("-1"), QStringLiteral("42"), std::nullopt, QStringLiteral("2006"), QString(),
        std::nullopt, std::nullopt, std::nullopt, std::nullopt,
    };
    for (size_t i = 0; i < listing.rows.size(); ++i) {
        EXPECT_EQ(listing.rows[i].Changed, expected[i]) << listing.rows[i].KeyName.toStdString();
        EXPECT_EQ(listing.rows[i].columns[ccChanged], expected[i].value_or(QString()));
    }
}

// An entry without a record is left out; one whose record is of another type is listed,
// marked with the reason, rather than dropped without a word.
TEST(CacheListingEntries, EntriesWithoutABinaryRecordAreLeftOutOrMarked)
{
    ListingMachine m;
    m.addEntry(QStringLiteral("1 good"), plainRecord());
    m.entry(QStringLiteral("2 string")).WriteText(QStringLiteral("SlowInfoCache"), QStringLiteral("text"));
    m.entry(QStringLiteral("2 string")).WriteDword(QStringLiteral("Changed"), 7);
    m.entry(QStringLiteral("3 none")).WriteDword(QStringLiteral("Changed"), 1);
    m.entry(QStringLiteral("4 dword")).WriteDword(QStringLiteral("SlowInfoCache"), 1);
    m.addEntry(QStringLiteral("5 empty"), QByteArray());
    const CacheListing listing = ListCache(m.machine);
    EXPECT_EQ(names(listing), (QStringList{"1 good", "2 string", "4 dword", "5 empty"}));
    EXPECT_EQ(listing.rows[1].columns, (QStringList{"2 string", "No", kRecordNotBinary, "", "", "", "", "", "7"}));
    EXPECT_EQ(listing.unreadable, (QStringList{"2 string: its SlowInfoCache value is of type REG_SZ, not binary",
                                               "4 dword: its SlowInfoCache value is of type REG_DWORD, not binary"}));
}

TEST(CacheListingEntries, ShortRecordLeavesUnreachedColumnsEmpty)
{
    ListingMachine m;
    m.addEntry(QStringLiteral("a full"), record(552, 552, 1, 99, fileTime(2006, 1, 1, 1, 1, 1), 7, "C:\\x.exe"));
    m.addEntry(QStringLiteral("b twenty"), record(20, 20, 1, 512, 0, 0, QString()));
    m.addEntry(QStringLiteral("c empty"), QByteArray());
    const CacheListing listing = ListCache(m.machine);
    ASSERT_EQ(listing.rows.size(), 3u);
    EXPECT_EQ(listing.rows[1].columns, (QStringList{"b twenty", "No", "", "", "", "512", "True", "20", ""}));
    EXPECT_EQ(listing.rows[2].columns, (QStringList{"c empty", "No", "", "", "", "", "", "", ""}));
}

TEST(CacheListingEntries, RowsFollowTheEnumerationOrder)
{
    ListingMachine m;
    for (const char* name : {"zeta", "Alpha", "mid", "beta"})
        m.addEntry(QString::fromLatin1(name), plainRecord());
    TNTRegistry cache(m.machine);
    cache.SelectRoot(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(cache.OpenPath(kArpCachePath, false));
    QStringList enumerated;
    cache.ListSubkeys(enumerated);
    EXPECT_EQ(names(ListCache(m.machine)), enumerated);
}

TEST(CacheListingEntries, RefreshTwiceGivesTheSameRows)
{
    ListingMachine m;
    for (int i = 0; i < 5; ++i)
        m.addEntry(QStringLiteral("Program %1").arg(i), plainRecord(i, fileTime(2006, 1, 1 + i, i)));
    m.addUninstall(QStringLiteral("Program 3"));
    const CacheListing first = ListCache(m.machine);
    const CacheListing second = ListCache(m.machine);
    ASSERT_EQ(first.rows.size(), 5u);
    ASSERT_EQ(second.rows.size(), first.rows.size());
    for (size_t i = 0; i < first.rows.size(); ++i)
        EXPECT_EQ(first.rows[i].columns, second.rows[i].columns);
}

TEST(CacheListingEntries, UnreadableEntryIsMarkedAndTheOthersListed)
{
    ListingMachine m;
    m.addEntry(QStringLiteral("a"), plainRecord());
    m.addEntry(QStringLiteral("b"), plainRecord());
    m.addEntry(QStringLiteral("c"), plainRecord());
    TNTRegistry& b = m.entry(QStringLiteral("b"));
    const KeyRef key = *m.machine.open(*m.machine.rootKey(HKEY_LOCAL_MACHINE), b.KeyPath());
    m.software->setValueUnreadable(key.node, QStringLiteral("SlowInfoCache"));
    int calls = 0;
    const CacheListing listing = ListCache(m.machine, [&] { ++calls; });
    EXPECT_EQ(names(listing), (QStringList{"a", "b", "c"}));
    EXPECT_EQ(listing.rows[1].columns, (QStringList{"b", "No", kDamagedEntry, "", "", "", "", "", ""}));
    EXPECT_FALSE(listing.rows[1].damage.isEmpty());
    EXPECT_TRUE(listing.rows[0].damage.isEmpty() && listing.rows[2].damage.isEmpty());
    ASSERT_EQ(listing.unreadable.size(), 1);
    EXPECT_EQ(listing.unreadable.first(), QStringLiteral("b: ") + listing.rows[1].damage);
    EXPECT_EQ(calls, 1);
}

TEST(CacheListingEntries, RecordLongerThan32KiBIsListedInFull)
{
    ListingMachine m;
    const QString path = QStringLiteral("C:\\") + QString(18000, QLatin1Char('x'));
    m.addEntry(QStringLiteral("Huge"), record(40000, 552, true, 1, 0, 4, path));
    m.addEntry(QStringLiteral("Next"), plainRecord());
    const CacheListing listing = ListCache(m.machine);
    ASSERT_EQ(names(listing), (QStringList{"Huge", "Next"}));
    EXPECT_EQ(listing.rows[0].columns[ccFilePath], path);
    EXPECT_EQ(listing.rows[0].columns[ccDataSize], QStringLiteral("552"));
}

TEST(CacheListingStream, RowsGoToTheSinkInOrderAndAreNotKept)
{
    ListingMachine m;
    for (const char* name : {"zeta", "Alpha", "mid"})
        m.addEntry(QString::fromLatin1(name), plainRecord());
    TNTRegistry& mid = m.entry(QStringLiteral("mid"));
    m.software->setValueUnreadable(m.machine.open(*m.machine.rootKey(HKEY_LOCAL_MACHINE), mid.KeyPath())->node,
                                   QStringLiteral("SlowInfoCache"));
    const CacheListing kept = ListCache(m.machine, {}, luIso);
    std::vector<CacheRow> streamed;
    const CacheListing listing = StreamCache(m.machine, [&](CacheRow&& row) { streamed.push_back(std::move(row)); }, luIso);
    EXPECT_TRUE(listing.rows.empty());
    ASSERT_EQ(streamed.size(), kept.rows.size());
    for (size_t i = 0; i < streamed.size(); ++i)
        EXPECT_EQ(streamed[i].columns, kept.rows[i].columns);
    EXPECT_EQ(listing.unreadable, kept.unreadable);
    EXPECT_EQ(listing.unreadable.size(), 1);
}

TEST(CacheListingStream, ASinkThatFailsEndsTheListingInsteadOfMarkingAnEntry)
{
    ListingMachine m;
    for (const char* name : {"a", "b", "c"})
        m.addEntry(QString::fromLatin1(name), plainRecord());
    int rows = 0;
    const auto failOnSecond = [&rows](CacheRow&&) {
        if (++rows == 2)
            throw EInOutError(QStringLiteral("Cannot write the output: No space left on device"));
    };
    EXPECT_THROW(StreamCache(m.machine, failOnSecond, luIso), EInOutError);
    EXPECT_EQ(rows, 2);
}

// A long listing is read on two threads, in blocks taken from either end: it gives the
// rows that a listing streamed in order gives (Last Used in the locale's formats, as the
// command line's table writes it), and its rows serve the next listing after another
// program changed entries in blocks at either end and removed one.
TEST(CacheListingStream, ALongListingReadOnTwoThreadsIsTheListingInOrder)
{
    constexpr int kEntries = 12000;   // blocks enough for each thread to take several
    QTemporaryDir dir;
    const QString software = MakeBigCacheHive(dir.path(), kEntries);
    const auto open = [&software](bool readOnly) {
        RegistrySources sources;
        sources.software = software;
        sources.readOnly = readOnly;
        return OpenRegistrySources(sources);
    };
    const auto columns = [](const std::vector<CacheRow>& rows) {
        QList<QStringList> texts;
        for (const CacheRow& row : rows)
            texts.append(row.columns);
        return texts;
    };
    const auto streamed = [&columns](Machine& machine) {
        std::vector<CacheRow> rows;
        StreamCache(machine, [&](CacheRow&& row) { rows.push_back(std::move(row)); }, luLocale);
        return columns(rows);
    };
    Machine machine = open(true);
    CacheRowReuse reuse;
    CacheListing listing = ListCache(machine, {}, luLocale, &reuse);
    ASSERT_EQ(listing.rows.size(), size_t(kEntries));
    EXPECT_EQ(columns(listing.rows), streamed(machine));

    Machine other = open(false);
    const auto entryKey = [&other](int i) {
        return *other.open(*other.rootKey(HKEY_LOCAL_MACHINE),
                           CacheEntryPath(QStringLiteral("Program %1").arg(i, 5, 10, QLatin1Char('0'))).mid(1));
    };
    for (const int i : {10, 11000}) {
        const KeyRef key = entryKey(i);
        key.store->setValue(key.node, RegValue{QStringLiteral("Changed"), REG_DWORD, QByteArray::fromHex("ffffffff")});
    }
    const KeyRef gone = entryKey(7000);
    gone.store->deleteNode(gone.node);
    gone.store->commit();

    const QList<QStringList> before = columns(listing.rows);   // sharing the texts of the rows
    reuse.keep(std::move(listing));
    const CacheListing again = ListCache(machine, {}, luLocale, &reuse);
    ASSERT_EQ(again.rows.size(), size_t(kEntries - 1));
    EXPECT_EQ(columns(again.rows), streamed(machine));
    EXPECT_EQ(again.rows[10].columns[ccChanged], QStringLiteral("-1"));
    EXPECT_EQ(again.rows[10999].columns[ccChanged], QStringLiteral("-1"));
    // Every other row is the kept one, on either side of a block's start and of the removed entry.
    for (const size_t row : {0, 11, 2047, 2048, 6143, 6144, 6999, 7000, 10239, 10240, 11998}) {
        const size_t was = row < 7000 ? row : row + 1;
        EXPECT_EQ(again.rows[row].columns.constData(), before[qsizetype(was)].constData()) << row;
    }
    EXPECT_NE(again.rows[10].columns.constData(), before[10].constData());
}

// A hive another program rewrites in place while it is listed: the listing fails, naming
// the change, instead of showing every entry after it as damaged.
TEST(CacheListingStream, AHiveShortenedWhileListedFailsTheListing)
{
    QTemporaryDir dir;
    const QString software = MakeBigCacheHive(dir.path(), 300);
    RegistrySources sources;
    sources.software = software;
    sources.readOnly = true;
    Machine machine = OpenRegistrySources(sources);
    int rows = 0;
    const auto shortenAfterFirst = [&](CacheRow&&) {
        if (++rows == 1) {
            ASSERT_TRUE(QFile::resize(software, regf::kBinsStart));   // the hive bins gone, as an in-place rewrite starts
        }
    };
    try {
        StreamCache(machine, shortenAfterFirst, luIso);
        ADD_FAILURE() << "the listing went on over " << rows << " rows";
    } catch (const EHiveError& error) {
        EXPECT_TRUE(error.message().contains(QStringLiteral("was shortened by another program"))) << error.message().toStdString();
    }
    EXPECT_EQ(rows, 1);
}
