// Replaying transaction logs: the real dirty user hive with its two logs, logs damaged in
// every way the reader checks, logs split and reordered, the old bitmap format, and the
// clean copy read back by hivex and reglookup.
#include "HiveDumps.h"
#include "RegistryTestSupport.h"
#include "registry/HiveImage.h"
#include "registry/HiveLogs.h"
#include "registry/RegfLayout.h"

#include <QtEndian>
#include <functional>

using namespace parvelle;
using namespace parvelle::test;

namespace {

using regf::BaseBlock;
using regf::BinHeader;
using regf::DirtyLog;
using regf::LogEntry;

constexpr qsizetype kBins = regf::kBinsStart;
constexpr qsizetype kLogHeader = BaseBlock::kLogCopySize;

uint32_t U32(const QByteArray& bytes, qsizetype at) { return qFromLittleEndian<uint32_t>(bytes.constData() + at); }
void SetU32(QByteArray& bytes, qsizetype at, uint32_t value) { qToLittleEndian<uint32_t>(value, bytes.data() + at); }

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

void Restamp(QByteArray& baseBlock)
{
    SetU32(baseBlock, BaseBlock::kChecksum, regf::BaseBlockChecksum(baseBlock));
}

// Offsets of the entries of a new-format log, following their sizes.
std::vector<qsizetype> EntryOffsets(const QByteArray& log)
{
    std::vector<qsizetype> offsets;
    for (qsizetype at = kLogHeader; LogEntry::startsAt(log, at); at += U32(log, at + LogEntry::kSize))
        offsets.push_back(at);
    return offsets;
}

// Recomputes both hashes of the entry at `at` after a change.
void Rehash(QByteArray& log, qsizetype at)
{
    const uint32_t size = U32(log, at + LogEntry::kSize);
    const uint64_t dataHash = Marvin32(kLogHashSeed, log.constData() + at + LogEntry::kPageRefs, size - LogEntry::kPageRefs);
    qToLittleEndian<uint64_t>(dataHash, log.data() + at + LogEntry::kDataHash);
    qToLittleEndian<uint64_t>(Marvin32(kLogHashSeed, log.constData() + at, LogEntry::kHeaderHash), log.data() + at + LogEntry::kHeaderHash);
}

// The hive bins of an image, as its base block sizes them.
QByteArray Bins(const QByteArray& image)
{
    return image.mid(kBins, U32(image, BaseBlock::kBinsSize));
}

int CountBins(const QByteArray& image)
{
    int count = 0;
    for (uint32_t at = 0; at < U32(image, BaseBlock::kBinsSize); at += U32(image, kBins + at + BinHeader::kSize), ++count) {
        if (image.mid(kBins + at, 4) != "hbin" || U32(image, kBins + at + BinHeader::kOffset) != at
            || U32(image, kBins + at + BinHeader::kSize) < regf::kPageSize)
            return -1;
    }
    return count;
}

// Changes the byte at relative offset `offset` in every page of every entry that writes it;
// false when none does.
bool SpoilEverywhere(QByteArray& log, uint32_t offset)
{
    bool spoilt = false;
    for (qsizetype entry : EntryOffsets(log)) {
        const uint32_t count = U32(log, entry + LogEntry::kPageCount);
        qsizetype data = entry + LogEntry::kPageRefs + LogEntry::kPageRef * count;
        for (uint32_t i = 0; i < count; ++i) {
            const qsizetype ref = entry + LogEntry::kPageRefs + LogEntry::kPageRef * i;
            const uint32_t page = U32(log, ref);
            const uint32_t size = U32(log, ref + LogEntry::kPageRefSize);
            if (page <= offset && offset < page + size) {
                log[data + (offset - page)] = 'X';
                Rehash(log, entry);
                spoilt = true;
            }
            data += size;
        }
    }
    return spoilt;
}

LogReplay Replay(const QByteArray& primary, std::vector<std::pair<QString, QByteArray>> logs)
{
    std::vector<HiveLog> files;
    for (auto& [name, bytes] : logs)
        files.push_back(HiveLog{name, bytes, {}});
    return ReplayHiveLogs(primary, files);
}

// The real dirty hive (sequence numbers 567/566) and its logs: LOG1 holds entries 566 to
// 588, LOG2 one entry older than the hive.
class DirtyHive : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        QTemporaryDir unpacked;
        primary_ = ReadFile(unpackHive(unpacked, "transactions_NTUSER.DAT"));
        log1_ = ReadFile(unpackHive(unpacked, "transactions_ntuser.dat.log1"));
        log2_ = ReadFile(unpackHive(unpacked, "transactions_ntuser.dat.log2"));
    }

    const QByteArray& primary() const { return primary_; }
    const QByteArray& log1() const { return log1_; }
    const QByteArray& log2() const { return log2_; }

    LogReplay replayLog1(const QByteArray& log) const { return Replay(primary_, {{QStringLiteral("NTUSER.DAT.LOG1"), log}}); }

    // The hive files in the test's folder, as Windows leaves them.
    QString placeFiles()
    {
        const QString hive = dir.filePath(QStringLiteral("NTUSER.DAT"));
        WriteFile(hive, primary_);
        WriteFile(dir.filePath(QStringLiteral("ntuser.dat.LOG1")), log1_);
        WriteFile(dir.filePath(QStringLiteral("NTUSER.DAT.log2")), log2_);
        return hive;
    }

    QTemporaryDir dir;

private:
    static inline QByteArray primary_;
    static inline QByteArray log1_;
    static inline QByteArray log2_;
};

} // namespace

TEST(Marvin32, KnownVectors)
{
    QByteArray counting;
    for (int i = 0; i < 32; ++i)
        counting.append(char(i));
    const struct {
        uint64_t seed;
        QByteArray input;
        uint64_t hash;
    } vectors[] = {
        {0x004FB61A001BDBCC, {}, 0x30ED35C100CD3C7D},
        {0x004FB61A001BDBCC, QByteArray::fromHex("AF"), 0x48E73FC77D75DDC1},
        {0x004FB61A001BDBCC, QByteArray::fromHex("E70F"), 0xB5F6E1FC485DBFF8},
        {0x004FB61A001BDBCC, QByteArray::fromHex("37F495"), 0xF0B07C789B8CF7E8},
        {0x004FB61A001BDBCC, QByteArray::fromHex("8642DC59"), 0x7008F2E87E9CF556},
        {kLogHashSeed, {}, 0xB39EFCA403966E08},
        {kLogHashSeed, QByteArray(32, '\0'), 0xDA91A06AC5359223},
        {kLogHashSeed, counting, 0xC64FEEE425C2E24C},
        {kLogHashSeed, QByteArray(512, '\0'), 0x3800A6F5E77BD25C},
    };
    for (const auto& v : vectors)
        EXPECT_EQ(Marvin32(v.seed, v.input.constData(), size_t(v.input.size())), v.hash) << v.input.toHex().toStdString();
}

TEST_F(DirtyHive, LogsAreFoundInAnyLetterCaseAndReplayedInOrder)
{
    const QString hive = placeFiles();
    WriteFile(dir.filePath(QStringLiteral("NTUSER.DAT.LOG")), {});
    EXPECT_EQ(FindHiveLogs(hive), (QStringList{dir.filePath(QStringLiteral("ntuser.dat.LOG1")), dir.filePath(QStringLiteral("NTUSER.DAT.log2")),
                                               dir.filePath(QStringLiteral("NTUSER.DAT.LOG"))}));

    const LogReplay replay = ReplayHiveLogFiles(primary(), FindHiveLogs(hive));
    EXPECT_TRUE(replay.dirty && replay.applied);
    EXPECT_EQ(replay.logsUsed, QStringList{QStringLiteral("ntuser.dat.LOG1")});
    EXPECT_EQ(replay.pages, 132u);
    EXPECT_EQ(replay.sequence, 588u);
    EXPECT_EQ(replay.note(), QStringLiteral("transaction logs applied: 132 dirty pages from ntuser.dat.LOG1"));
    EXPECT_EQ(U32(replay.image, BaseBlock::kSequence1), 588u);
    EXPECT_EQ(U32(replay.image, BaseBlock::kSequence2), 588u);
    EXPECT_EQ(U32(replay.image, BaseBlock::kBinsSize), 0xE2000u);
    EXPECT_EQ(U32(replay.image, BaseBlock::kChecksum), regf::BaseBlockChecksum(replay.image));
    EXPECT_EQ(CountBins(replay.image), 179);
    EXPECT_EQ(replay.image.left(4), primary().left(4));
    EXPECT_EQ(replay.image.mid(kLogHeader, kBins - kLogHeader), primary().mid(kLogHeader, kBins - kLogHeader));

    // LOG2 alone is older than the hive: the hive is used as it is.
    const LogReplay stale = Replay(primary(), {{QStringLiteral("NTUSER.DAT.LOG2"), log2()}});
    EXPECT_FALSE(stale.applied);
    EXPECT_EQ(stale.image, primary());
    EXPECT_EQ(stale.note(), QStringLiteral("transaction logs not applied, the hive's last saved state is used (NTUSER.DAT.LOG2 is older than the hive)"));
}

TEST_F(DirtyHive, StoreShowsTheRecoveredStateReadOnlyAndItsCleanCopyReadsTheSameEverywhere)
{
    const QString hive = placeFiles();
    const QByteArray before = fileDigest(hive) + fileDigest(dir.filePath(QStringLiteral("ntuser.dat.LOG1")));
    HiveStore store(hive);
    EXPECT_FALSE(store.isWritable());
    EXPECT_TRUE(store.readOnlyReason().contains(QStringLiteral("'parvelle-cli recover %1 NEW-FILE'").arg(store.filePath())))
        << store.readOnlyReason().toStdString();
    EXPECT_EQ(store.note(), QStringLiteral("NTUSER.DAT: transaction logs applied: 132 dirty pages from ntuser.dat.LOG1"));
    EXPECT_THROW(store.setValue(store.root(), RegValue{QStringLiteral("x"), REG_DWORD, QByteArray(4, '\0')}), EHiveError);

    const QString copy = dir.filePath(QStringLiteral("recovered"));
    store.saveCleanCopy(copy);
    EXPECT_EQ(fileDigest(hive) + fileDigest(dir.filePath(QStringLiteral("ntuser.dat.LOG1"))), before);
    EXPECT_EQ(QFileInfo(copy).size(), kBins + 0xE2000);
    EXPECT_EQ(IsDirtyHive(ReadFile(copy)), false);
    EXPECT_THROW(store.saveCleanCopy(copy), EHiveError);
    EXPECT_THROW(store.saveCleanCopy(hive), EHiveError);

    QStringList ours;
    dumpStore(store, store.root(), QString(), ours);
    EXPECT_EQ(hivexDump(copy), ours);
    HiveStore reopened(copy);
    EXPECT_TRUE(reopened.isWritable());
    EXPECT_TRUE(reopened.note().isEmpty());
    QStringList again;
    dumpStore(reopened, reopened.root(), QString(), again);
    EXPECT_EQ(again, ours);

    // reglookup agrees on every key and value, and finds those only the logs had.
    const auto keysAndValues = [](const QString& path) {
        QProcess reglookup;
        reglookup.start(QStringLiteral("reglookup"), {path});
        EXPECT_TRUE(reglookup.waitForFinished(60000));
        EXPECT_EQ(reglookup.exitCode(), 0);
        QSet<QString> lines;
        for (const QByteArray& line : reglookup.readAllStandardOutput().split('\n').mid(1))
            if (!line.isEmpty())
                lines.insert(QString::fromUtf8(line).section(u',', 0, 1));
        return lines;
    };
    const QSet<QString> recovered = keysAndValues(copy);
    const QSet<QString> saved = keysAndValues(hive);
    qsizetype keys = 0;
    for (const QString& line : ours)
        keys += line.contains(QStringLiteral(" : ")) ? 0 : 1;
    EXPECT_EQ(recovered.size(), ours.size());
    EXPECT_EQ(std::count_if(recovered.begin(), recovered.end(), [](const QString& l) { return l.endsWith(QStringLiteral(",KEY")); }), keys);
    for (const QString& onlyInLogs : {QStringLiteral("/Software/Microsoft/Payment/PaymentApps,KEY"),
                                      QStringLiteral("/Software/Microsoft/OneDrive/StandaloneUpdaterSafeMode,DWORD")}) {
        EXPECT_TRUE(recovered.contains(onlyInLogs)) << onlyInLogs.toStdString();
        EXPECT_FALSE(saved.contains(onlyInLogs)) << onlyInLogs.toStdString();
    }
    EXPECT_TRUE(store.find(store.root(), QStringLiteral("Software\\Microsoft\\Payment\\PaymentApps")).has_value());
    EXPECT_GT((recovered - saved).size(), 500);
}

TEST_F(DirtyHive, CleanHiveIgnoresItsLogsAndCopiesUnchanged)
{
    const QString hive = unpackHive(dir, "NTUSER.DAT");
    WriteFile(hive + QStringLiteral(".LOG1"), log1());
    HiveStore store(hive);
    EXPECT_TRUE(store.isWritable());
    EXPECT_TRUE(store.note().isEmpty());
    const QString copy = dir.filePath(QStringLiteral("copy"));
    store.saveCleanCopy(copy);
    EXPECT_EQ(hivexDump(copy), hivexDump(hive));
    EXPECT_EQ(ReadFile(copy), ReadFile(hive).left(QFileInfo(copy).size()));
}

TEST_F(DirtyHive, WithoutUsableLogsTheSavedStateIsUsedAndNoCopyIsWritten)
{
    const QString hive = dir.filePath(QStringLiteral("NTUSER.DAT"));
    WriteFile(hive, primary());
    HiveStore alone(hive);
    EXPECT_EQ(alone.note(), QStringLiteral("NTUSER.DAT: the hive was not closed cleanly and has no transaction logs beside it; its last saved state is used"));
    EXPECT_TRUE(alone.isDirty());
    EXPECT_TRUE(alone.readOnlyReason().contains(QStringLiteral("567/566")));
    EXPECT_THROW(alone.saveCleanCopy(dir.filePath(QStringLiteral("out"))), EHiveError);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("out"))));

    QByteArray damaged = log1();
    damaged[600] = char(damaged[600] ^ 1);   // inside the first entry: its hash fails
    WriteFile(dir.filePath(QStringLiteral("elsewhere.log")), damaged);
    HiveStore named(hive, HiveStore::Access::Auto, {dir.filePath(QStringLiteral("elsewhere.log"))});
    EXPECT_TRUE(named.isDirty());
    EXPECT_EQ(named.note(), QStringLiteral("NTUSER.DAT: transaction logs not applied, the hive's last saved state is used "
                                           "(elsewhere.log: the entry at offset 0x200 fails its data hash)"));
}

// A log damaged at entry k gives the hive as of the entry before, and says why.
TEST_F(DirtyHive, DamagedEntriesEndTheReplayWhereTheyStand)
{
    const std::vector<qsizetype> entries = EntryOffsets(log1());
    ASSERT_EQ(entries.size(), 23u);
    const struct {
        const char* name;
        int entry;
        std::function<void(QByteArray&, qsizetype)> damage;
        const char* message;   // empty: an ordinary end of the log
        LogProblemKind kind = LogProblemKind::Unreadable;
    } cases[] = {
        {"truncated", 5, [](QByteArray& log, qsizetype at) { log.truncate(at + 1000); }, "runs past the end of the log", LogProblemKind::EntryPastLog},
        {"data hash", 3, [](QByteArray& log, qsizetype at) { log[at + 5000] = char(log[at + 5000] ^ 0x40); }, "fails its data hash", LogProblemKind::EntryDataHash},
        {"header hash", 7, [](QByteArray& log, qsizetype at) { log[at + LogEntry::kSequence + 1] ^= 1; }, "fails its header hash", LogProblemKind::EntryHeaderHash},
        {"page past the end", 2, [](QByteArray& log, qsizetype at) { SetU32(log, at + LogEntry::kPageRefs, 0x7FFFF000); Rehash(log, at); }, "page past the end of the hive", LogProblemKind::EntryPagePastHive},
        {"huge hive size", 4, [](QByteArray& log, qsizetype at) { SetU32(log, at + LogEntry::kBinsSize, 0x7FFFF000); Rehash(log, at); }, "impossible hive size", LogProblemKind::HiveSize},
        {"unaligned hive size", 4, [](QByteArray& log, qsizetype at) { SetU32(log, at + LogEntry::kBinsSize, 0xE2001); Rehash(log, at); }, "impossible hive size", LogProblemKind::HiveSize},
        {"huge page count", 8, [](QByteArray& log, qsizetype at) { SetU32(log, at + LogEntry::kPageCount, 0x10000000); Rehash(log, at); }, "broken page table", LogProblemKind::EntryPageTable},
        {"no pages", 8, [](QByteArray& log, qsizetype at) { SetU32(log, at + LogEntry::kPageCount, 0); Rehash(log, at); }, "broken page table", LogProblemKind::EntryPageTable},
        {"huge page", 9, [](QByteArray& log, qsizetype at) { SetU32(log, at + LogEntry::kPageRefs + LogEntry::kPageRefSize, 0x7FFFF000); SetU32(log, at + LogEntry::kPageRefs, 0); Rehash(log, at); }, "past the end of the hive", LogProblemKind::EntryPagePastHive},
        {"huge entry size", 6, [](QByteArray& log, qsizetype at) { SetU32(log, at + LogEntry::kSize, 0xFFFFFE00); qToLittleEndian<uint64_t>(Marvin32(kLogHashSeed, log.constData() + at, LogEntry::kHeaderHash), log.data() + at + LogEntry::kHeaderHash); }, "runs past the end of the log", LogProblemKind::EntryPastLog},
        {"gap in sequence", 6, [](QByteArray& log, qsizetype at) { SetU32(log, at + LogEntry::kSequence, U32(log, at + LogEntry::kSequence) + 5); Rehash(log, at); }, "has sequence number 577 instead of 572", LogProblemKind::EntrySequence},
        {"leftover entry", 6, [](QByteArray& log, qsizetype at) { SetU32(log, at + LogEntry::kSequence, 500); Rehash(log, at); }, ""},
        {"unsigned", 10, [](QByteArray& log, qsizetype at) { log[at] = 'h'; }, ""},
        // Valid hashes, but keys still lie past the new end: the first bin boundary from
        // 0xD6000 on, above the entry's own pages.
        {"shrinks below its cells", 17, [&](QByteArray& log, qsizetype at) {
             const QByteArray replayed = replayLog1(log.left(entries[18])).image;
             uint32_t cut = 0;
             while (cut < 0xD6000)
                 cut += U32(replayed, kBins + cut + BinHeader::kSize);
             ASSERT_LT(cut, U32(replayed, BaseBlock::kBinsSize));
             SetU32(log, at + LogEntry::kBinsSize, cut);
             Rehash(log, at);
         }, "shrinks the hive to 0x", LogProblemKind::Shrinking},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray log = log1();
        c.damage(log, entries[size_t(c.entry)]);
        const LogReplay replay = replayLog1(log);
        const LogReplay expected = replayLog1(log1().left(entries[size_t(c.entry)]));
        EXPECT_EQ(replay.sequence, 566u + uint32_t(c.entry) - 1);
        EXPECT_EQ(U32(replay.image, BaseBlock::kSequence1), replay.sequence);
        EXPECT_TRUE(replay.image == expected.image);
        EXPECT_EQ(CountBins(replay.image), CountBins(expected.image));
        if (*c.message) {
            ASSERT_EQ(replay.problems.size(), 1u);
            const LogProblem& problem = replay.problems[0];
            EXPECT_TRUE(problem.text.startsWith(QStringLiteral("NTUSER.DAT.LOG1: the entry at offset 0x%1 ").arg(entries[size_t(c.entry)], 0, 16)))
                << problem.text.toStdString();
            EXPECT_TRUE(problem.text.contains(QLatin1String(c.message))) << problem.text.toStdString();
            EXPECT_TRUE(replay.note().contains(problem.text));
            EXPECT_EQ(problem.log, QStringLiteral("NTUSER.DAT.LOG1"));
            EXPECT_EQ(problem.kind, c.kind);
            EXPECT_EQ(problem.offset, uint64_t(entries[size_t(c.entry)]));
            ASSERT_TRUE(problem.expected && problem.found);
            EXPECT_NE(*problem.expected, *problem.found);
        } else {
            EXPECT_TRUE(replay.problems.empty()) << replay.problemTexts().join(u';').toStdString();
        }
    }
}

TEST_F(DirtyHive, LogsThatCannotBeTrustedAreNotUsed)
{
    const struct {
        const char* name;
        std::function<void(QByteArray&)> damage;
        const char* message;
        LogProblemKind kind;
        std::optional<uint64_t> offset;
    } cases[] = {
        {"signature", [](QByteArray& log) { log[3] = 'x'; }, "no 'regf' header", LogProblemKind::NoHeader, {}},
        {"checksum", [](QByteArray& log) { log[100] = char(log[100] ^ 1); }, "checksum does not match", LogProblemKind::HeaderChecksum, BaseBlock::kChecksum},
        {"half-written header", [](QByteArray& log) { SetU32(log, BaseBlock::kSequence2, U32(log, BaseBlock::kSequence2) - 1); Restamp(log); }, "sequence numbers differ", LogProblemKind::HeaderIncomplete, BaseBlock::kSequence2},
        {"primary hive", [](QByteArray& log) { SetU32(log, BaseBlock::kFileType, BaseBlock::kPrimary); Restamp(log); }, "not a transaction log", LogProblemKind::NotALog, BaseBlock::kFileType},
        {"another hive", [](QByteArray& log) { log[BaseBlock::kFileName + 2] = 'X'; Restamp(log); }, "belongs to another hive", LogProblemKind::OtherHive, {}},
        {"short", [](QByteArray& log) { log.truncate(300); }, "no 'regf' header", LogProblemKind::NoHeader, {}},
        {"old format without bitmap", [](QByteArray& log) { SetU32(log, BaseBlock::kFileType, BaseBlock::kOldLog); Restamp(log); }, "no dirty page bitmap", LogProblemKind::NoDirtyBitmap, DirtyLog::kSignature},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray log = log1();
        c.damage(log);
        const LogReplay replay = replayLog1(log);
        EXPECT_FALSE(replay.applied);
        EXPECT_TRUE(replay.image == primary());
        ASSERT_EQ(replay.problems.size(), 1u);
        const LogProblem& problem = replay.problems[0];
        EXPECT_TRUE(problem.text.startsWith(QStringLiteral("NTUSER.DAT.LOG1 is not usable: "))) << problem.text.toStdString();
        EXPECT_TRUE(problem.text.contains(QLatin1String(c.message))) << problem.text.toStdString();
        EXPECT_EQ(problem.log, QStringLiteral("NTUSER.DAT.LOG1"));
        EXPECT_EQ(problem.kind, c.kind);
        EXPECT_EQ(problem.offset, c.offset);
        if (problem.expected && problem.found) {
            EXPECT_NE(*problem.expected, *problem.found);
        }
    }
}

// The entries of LOG1 split over two logs, as Windows does when it swaps them: the logs
// are ordered by their first sequence number, whatever their names.
TEST_F(DirtyHive, SplitLogsAreChainedBySequenceNumber)
{
    const std::vector<qsizetype> entries = EntryOffsets(log1());
    const qsizetype split = entries[10];
    const qsizetype end = entries.back() + U32(log1(), entries.back() + LogEntry::kSize);
    const QByteArray first = log1().left(split);
    const auto second = [&](uint32_t sequence) {
        QByteArray header = log1().left(kLogHeader);
        SetU32(header, BaseBlock::kSequence1, sequence);
        SetU32(header, BaseBlock::kSequence2, sequence);
        Restamp(header);
        return header + log1().mid(split, end - split);
    };
    const LogReplay whole = replayLog1(log1());

    const LogReplay chained = Replay(primary(), {{QStringLiteral("H.LOG1"), second(576)}, {QStringLiteral("H.LOG2"), first}});
    EXPECT_EQ(chained.logsUsed, (QStringList{QStringLiteral("H.LOG2"), QStringLiteral("H.LOG1")}));
    EXPECT_EQ(chained.sequence, 588u);
    EXPECT_EQ(chained.pages, 132u);
    EXPECT_TRUE(chained.image == whole.image);

    // A second log that does not continue the first is not applied.
    const LogReplay gap = Replay(primary(), {{QStringLiteral("H.LOG1"), second(577)}, {QStringLiteral("H.LOG2"), first}});
    EXPECT_EQ(gap.sequence, 575u);
    EXPECT_EQ(gap.logsUsed, QStringList{QStringLiteral("H.LOG2")});
    EXPECT_TRUE(gap.image == replayLog1(first).image);
    ASSERT_EQ(gap.problems.size(), 1u);
    const LogProblem& problem = gap.problems[0];
    EXPECT_EQ(problem.text, QStringLiteral("H.LOG1 does not continue at sequence number 576"));
    EXPECT_EQ(problem.log, QStringLiteral("H.LOG1"));
    EXPECT_EQ(problem.kind, LogProblemKind::SequenceGap);
    EXPECT_EQ(problem.offset, uint64_t(BaseBlock::kSequence1));
    EXPECT_EQ(problem.expected, 576u);
    EXPECT_EQ(problem.found, 577u);
}

TEST_F(DirtyHive, BadBaseBlockIsTakenFromTheNewestLog)
{
    QByteArray broken = primary();
    broken[BaseBlock::kFileName] ^= 0x20;   // the checksum no longer matches
    const LogReplay replay = Replay(broken, {{QStringLiteral("H.LOG1"), log1()}, {QStringLiteral("H.LOG2"), log2()}});
    const LogReplay normal = replayLog1(log1());
    EXPECT_TRUE(replay.applied);
    EXPECT_EQ(replay.logsUsed, QStringList{QStringLiteral("H.LOG1")});
    EXPECT_TRUE(Bins(replay.image) == Bins(normal.image));
    EXPECT_EQ(replay.image.left(kLogHeader), normal.image.left(kLogHeader));   // the log's copy equals the primary's there
    EXPECT_EQ(replay.image.mid(kLogHeader, kBins - kLogHeader), QByteArray(kBins - kLogHeader, '\0'));
}

TEST_F(DirtyHive, BinsBrokenByValidPagesAreReplacedByEmptyOnes)
{
    const QByteArray whole = replayLog1(log1()).image;
    // The last bin of the grown hive, written by the log: its header spoilt in the log.
    uint32_t lastBin = 0;
    for (uint32_t at = 0; at < U32(whole, BaseBlock::kBinsSize); at += U32(whole, kBins + at + BinHeader::kSize))
        lastBin = at;
    QByteArray log = log1();
    const bool spoilt = SpoilEverywhere(log, lastBin);
    ASSERT_TRUE(spoilt);
    const LogReplay replay = replayLog1(log);
    EXPECT_EQ(replay.sequence, 588u);
    EXPECT_GE(CountBins(replay.image), 179);
    EXPECT_EQ(replay.image.mid(kBins + lastBin, 4), "hbin");
    EXPECT_EQ(U32(replay.image, kBins + lastBin + BinHeader::kOffset), lastBin);
    EXPECT_EQ(U32(replay.image, kBins + lastBin + BinHeader::kSize), regf::kPageSize);
    EXPECT_EQ(U32(replay.image, kBins + lastBin + regf::kBinHeaderSize), regf::kPageSize - regf::kBinHeaderSize);   // one free cell
    ASSERT_FALSE(replay.problems.empty());
    const LogProblem& problem = replay.problems.back();
    EXPECT_TRUE(problem.text.endsWith(QStringLiteral("damaged hive bins replaced by empty ones")));
    EXPECT_EQ(problem.kind, LogProblemKind::BinsReplaced);
    EXPECT_EQ(problem.log, QStringLiteral("NTUSER.DAT.LOG1"));
    EXPECT_EQ(problem.offset, uint64_t(kBins + lastBin));
    EXPECT_EQ(problem.text, QStringLiteral("%1 damaged hive bins replaced by empty ones").arg(*problem.found));
    EXPECT_TRUE(replay.image.left(kBins + lastBin) == whole.left(kBins + lastBin));
}

TEST_F(DirtyHive, AReplayThatBreaksTheHiveFallsBackOnTheSavedState)
{
    const QString hive = placeFiles();
    QByteArray log = log1();
    ASSERT_TRUE(SpoilEverywhere(log, 0));   // the first bin, which holds the root key
    WriteFile(dir.filePath(QStringLiteral("ntuser.dat.LOG1")), log);
    HiveStore store(hive);
    EXPECT_TRUE(store.isDirty());
    EXPECT_TRUE(store.note().startsWith(QStringLiteral("NTUSER.DAT: transaction logs not applied, the hive's last saved state is used "
                                                       "(the replayed hive is damaged: ")))
        << store.note().toStdString();
    ASSERT_EQ(store.logProblems().size(), 1u);
    const LogProblem& problem = store.logProblems()[0];
    EXPECT_TRUE(store.note().contains(QStringLiteral("(%1").arg(problem.text))) << problem.text.toStdString();
    EXPECT_EQ(problem.log, QStringLiteral("ntuser.dat.LOG1"));
    EXPECT_EQ(problem.kind, LogProblemKind::ReplayedHiveDamaged);
    // The first bin was replaced by an empty one: the root key now lies in its free cell.
    EXPECT_EQ(problem.damage, regf::DamageKind::KeyInFreeCell);
    EXPECT_EQ(problem.offset, 0x1020u);
    EXPECT_TRUE(problem.expected && problem.found);
    QStringList ours;
    dumpStore(store, store.root(), QString(), ours);
    EXPECT_EQ(ours, hivexDump(hive));
}

// Old logs (a bitmap of dirty 512-byte pages) made from the same change: the hive as
// saved and as recovered from LOG1. Old systems stamp the hive's last write time, which
// tells whether a log belongs to the saved state.
class OldLog : public DirtyHive {
protected:
    static constexpr uint64_t kHiveTime = 0x01D294F6CCF6F3F0;

    void SetUp() override
    {
        hive = primary();
        qToLittleEndian<uint64_t>(kHiveTime, hive.data() + BaseBlock::kTimestamp);
        Restamp(hive);
    }

    QByteArray makeOldLog(uint64_t timestamp)
    {
        const QByteArray target = replayLog1(log1()).image;
        constexpr uint32_t kPage = DirtyLog::kPage;
        const uint32_t size = U32(target, BaseBlock::kBinsSize);
        QByteArray header = hive.left(kLogHeader);
        SetU32(header, BaseBlock::kSequence2, U32(hive, BaseBlock::kSequence1));
        qToLittleEndian<uint64_t>(timestamp, header.data() + BaseBlock::kTimestamp);
        SetU32(header, BaseBlock::kFileType, BaseBlock::kOldLog);
        SetU32(header, BaseBlock::kBinsSize, size);
        Restamp(header);
        QByteArray bitmap(size / (8 * kPage), '\0');
        QByteArray pages;
        const QByteArray saved = Bins(hive);
        for (uint32_t page = 0; page < size / kPage; ++page) {
            const QByteArray now = target.mid(kBins + page * kPage, kPage);
            if (now != saved.mid(page * kPage, kPage)) {
                bitmap[page / 8] = char(bitmap[page / 8] | (1 << (page % 8)));
                pages += now;
                ++dirtyPages;
            }
        }
        QByteArray log = header + "DIRT" + bitmap;
        log.append(QByteArray((kPage - log.size() % kPage) % kPage, '\x5A'));   // leftovers before the pages
        return log + pages + QByteArray(1024, '\x33');
    }

    QByteArray hive;
    uint32_t dirtyPages = 0;
};

TEST_F(OldLog, DirtyPagesOfTheMatchingLogAreApplied)
{
    const QByteArray log = makeOldLog(kHiveTime);
    const LogReplay replay = Replay(hive, {{QStringLiteral("H.LOG2"), log1().left(kLogHeader)}, {QStringLiteral("H.LOG"), log}});
    EXPECT_TRUE(replay.applied);
    EXPECT_TRUE(replay.problems.empty()) << replay.problemTexts().join(u';').toStdString();
    EXPECT_EQ(replay.logsUsed, QStringList{QStringLiteral("H.LOG")});
    EXPECT_EQ(replay.pages, dirtyPages);
    EXPECT_TRUE(Bins(replay.image) == Bins(replayLog1(log1()).image));
    EXPECT_EQ(U32(replay.image, BaseBlock::kSequence1), 567u);
    EXPECT_EQ(U32(replay.image, BaseBlock::kSequence2), 567u);
    EXPECT_EQ(U32(replay.image, BaseBlock::kFileType), uint32_t(BaseBlock::kPrimary));
    EXPECT_EQ(U32(replay.image, BaseBlock::kChecksum), regf::BaseBlockChecksum(replay.image));
}

TEST_F(OldLog, TimestampDecidesWhetherTheLogApplies)
{
    const LogReplay older = Replay(hive, {{QStringLiteral("H.LOG1"), makeOldLog(kHiveTime - 1)}});
    EXPECT_FALSE(older.applied);
    EXPECT_TRUE(older.image == hive);
    EXPECT_EQ(older.skipped, QStringList{QStringLiteral("H.LOG1 is older than the hive")});

    const LogReplay newer = Replay(hive, {{QStringLiteral("H.LOG1"), makeOldLog(kHiveTime + 1)}});
    EXPECT_TRUE(newer.applied);
    EXPECT_EQ(newer.problemTexts(), QStringList{QStringLiteral("H.LOG1 is newer than the hive's last write")});
    EXPECT_EQ(newer.problems[0].kind, LogProblemKind::NewerThanHive);
    EXPECT_EQ(newer.problems[0].offset, uint64_t(BaseBlock::kTimestamp));
    EXPECT_EQ(newer.problems[0].expected, kHiveTime);
    EXPECT_EQ(newer.problems[0].found, kHiveTime + 1);

    // The matching log wins over a newer one.
    const LogReplay both = Replay(hive, {{QStringLiteral("H.LOG1"), makeOldLog(kHiveTime + 1)}, {QStringLiteral("H.LOG2"), makeOldLog(kHiveTime)}});
    EXPECT_EQ(both.logsUsed, QStringList{QStringLiteral("H.LOG2")});
}

TEST_F(OldLog, ShortOrBinBreakingLogsAreRejectedWhole)
{
    const QByteArray log = makeOldLog(kHiveTime);
    const qsizetype pagesAt = DirtyLog::pagesStart(U32(log, BaseBlock::kBinsSize));
    const struct {
        const char* name;
        QByteArray log;
        const char* message;
        LogProblemKind kind;
    } cases[] = {
        {"pages cut short", log.left(pagesAt + (dirtyPages - 1) * DirtyLog::kPage), "fewer dirty pages than its bitmap lists", LogProblemKind::PagesCutShort},
        {"bitmap cut short", log.left(DirtyLog::kBitmap + 14), "bitmap is cut short", LogProblemKind::BitmapCutShort},
        {"bin header spoilt", QByteArray(log).replace(pagesAt, 4, "hbiX"), "leaves the hive bin at offset 0x1000 broken", LogProblemKind::BinBroken},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const LogReplay replay = Replay(hive, {{QStringLiteral("H.LOG1"), c.log}});
        EXPECT_FALSE(replay.applied);
        EXPECT_TRUE(replay.image == hive);
        ASSERT_EQ(replay.problems.size(), 1u);
        const LogProblem& problem = replay.problems[0];
        EXPECT_TRUE(problem.text.contains(QLatin1String(c.message))) << problem.text.toStdString();
        EXPECT_EQ(problem.kind, c.kind);
        ASSERT_TRUE(problem.expected && problem.found);
        EXPECT_NE(*problem.expected, *problem.found);
    }
}
