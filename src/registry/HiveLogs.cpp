#include "HiveLogs.h"

#include "RegfImage.h"
#include "RegfLayout.h"
#include "core/Errors.h"
#include "core/NativePath.h"
#include "core/QuietRead.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <optional>

namespace parvelle {

namespace {

using namespace regf;

constexpr qsizetype kLogHeader = BaseBlock::kLogCopySize;   // the base block copy at the start of a log
constexpr uint32_t kMaxBinsSize = 0x80000000u - kPageSize;   // cell offsets stay below 2^31
constexpr qsizetype kMaxLogFile = qsizetype(1) << 30;

void setU32(QByteArray& bytes, qsizetype at, uint32_t value) { StoreU32(bytes.data() + at, value); }

// a comes before b in the wrapping order of sequence numbers.
bool SerialBefore(uint32_t a, uint32_t b)
{
    const uint32_t distance = b - a;
    return distance >= 1 && distance <= 0x7FFFFFFF;
}

QString hex(qsizetype value)
{
    return QStringLiteral("0x%1").arg(value, 0, 16);
}


bool HasValidBaseBlock(const QByteArray& bytes)
{
    return BaseBlock::startsIn(bytes) && HasMatchingChecksum(bytes);
}

BaseBlock baseBlockOf(const QByteArray& bytes)
{
    return BaseBlock(bytes.constData());
}

// The fields that tie a log to its hive: versions, format and root cell, file name, GUIDs.
bool SameHive(const QByteArray& primary, const QByteArray& log)
{
    const auto same = [&](uint32_t from, uint32_t to) { return std::memcmp(primary.constData() + from, log.constData() + from, to - from) == 0; };
    return same(BaseBlock::kMajorVersion, BaseBlock::kFileType) && same(BaseBlock::kFileFormat, BaseBlock::kBinsSize)
           && same(BaseBlock::kFileName, BaseBlock::kFlags) && same(BaseBlock::kTmId, BaseBlock::kGuidSignature);
}

// What is wrong with a log or an entry, in words that follow its name, with the details.
struct Fault {
    LogProblemKind kind;
    QString what;
    std::optional<uint64_t> offset = {};
    std::optional<uint64_t> expected = {};
    std::optional<uint64_t> found = {};
};

Fault shrinkingFault(uint32_t before, uint32_t binsSize)
{
    return {LogProblemKind::Shrinking, QStringLiteral("shrinks the hive to %1 bytes of bins, below cells it still references").arg(hex(binsSize)),
            {}, before, binsSize};
}

struct PageRef {
    uint32_t offset;
    uint32_t size;
};

// One checked entry of a new-format log.
struct CheckedEntry {
    qsizetype at = 0;
    uint32_t size = 0;
    uint32_t flags = 0;
    uint32_t sequence = 0;
    uint32_t binsSize = 0;
    std::vector<PageRef> pages;
};

// A log whose base block copy is valid, with its format.
struct UsableLog {
    const HiveLog* log;
    bool newFormat;
    uint32_t sequence;
    uint64_t timestamp;
};

class LogReplayer {
public:
    LogReplayer(QByteArray primary, const std::vector<HiveLog>& logs) : logs_(logs)
    {
        result_.image = std::move(primary);
        result_.dirty = true;
        result_.anyLog = std::any_of(logs.begin(), logs.end(), [](const HiveLog& log) { return !log.bytes.isEmpty() || !log.error.isEmpty(); });
        primaryValid_ = HasValidBaseBlock(result_.image);
        binsSize_ = LoadU32(result_.image.constData() + BaseBlock::kBinsSize);
        qsizetype limit = std::max<qsizetype>(result_.image.size() - kBinsStart, 0);
        for (const HiveLog& log : logs)
            limit += log.bytes.size();
        limit_ = uint32_t(std::min<qsizetype>(limit, kMaxBinsSize)) / kPageSize * kPageSize;
    }

    LogReplay run()
    {
        std::vector<UsableLog> usable = usableLogs();
        // New-format logs first; old ones only when those give nothing.
        std::vector<UsableLog> oldLogs;
        std::copy_if(usable.begin(), usable.end(), std::back_inserter(oldLogs), [](const UsableLog& l) { return !l.newFormat; });
        usable.erase(std::remove_if(usable.begin(), usable.end(), [](const UsableLog& l) { return !l.newFormat; }), usable.end());
        replayNewLogs(usable);
        if (!result_.applied)
            replayOldLogs(oldLogs);
        if (result_.applied)
            finishBaseBlock();
        return std::move(result_);
    }

private:
    std::vector<UsableLog> usableLogs()
    {
        std::vector<UsableLog> usable;
        for (const HiveLog& log : logs_) {
            if (!log.error.isEmpty()) {
                report(log.name, QStringLiteral("%1: %2").arg(log.name, log.error), {LogProblemKind::Unreadable, log.error});
                continue;
            }
            if (log.bytes.isEmpty())
                continue;
            if (const std::optional<Fault> fault = baseBlockFault(log.bytes)) {
                reportUnusable(log.name, *fault);
                continue;
            }
            const BaseBlock header = baseBlockOf(log.bytes);
            usable.push_back({&log, header.fileType() == BaseBlock::kNewLog, header.sequence1(), header.timestamp()});
        }
        return usable;
    }

    void report(const QString& log, const QString& sentence, const Fault& fault)
    {
        result_.problems.push_back({log, fault.kind, fault.offset, fault.expected, fault.found, std::nullopt, sentence});
    }

    void reportUnusable(const QString& log, const Fault& fault)
    {
        report(log, QStringLiteral("%1 is not usable: %2").arg(log, fault.what), fault);
    }

    std::optional<Fault> baseBlockFault(const QByteArray& log) const
    {
        if (!BaseBlock::startsIn(log))
            return Fault{LogProblemKind::NoHeader, QStringLiteral("no 'regf' header")};
        const BaseBlock header = baseBlockOf(log);
        if (header.storedChecksum() != BaseBlockChecksum(log))
            return Fault{LogProblemKind::HeaderChecksum, QStringLiteral("its header checksum does not match"),
                         BaseBlock::kChecksum, BaseBlockChecksum(log), header.storedChecksum()};
        if (header.sequence1() != header.sequence2())
            return Fault{LogProblemKind::HeaderIncomplete, QStringLiteral("its header is incomplete (sequence numbers differ)"),
                         BaseBlock::kSequence2, header.sequence1(), header.sequence2()};
        const uint32_t type = header.fileType();
        if (type != BaseBlock::kOldLog && type != BaseBlock::kOldestLog && type != BaseBlock::kNewLog)
            return Fault{LogProblemKind::NotALog, QStringLiteral("it is not a transaction log (file type %1)").arg(type),
                         BaseBlock::kFileType, std::nullopt, type};
        if (type != BaseBlock::kNewLog && !DirtyLog::startsIn(log))
            return Fault{LogProblemKind::NoDirtyBitmap, QStringLiteral("no dirty page bitmap"), DirtyLog::kSignature};
        if (primaryValid_ && !SameHive(result_.image, log))
            return Fault{LogProblemKind::OtherHive, QStringLiteral("it belongs to another hive")};
        return std::nullopt;
    }

    void replayNewLogs(std::vector<UsableLog> logs)
    {
        if (primaryValid_)
            replayChain(std::move(logs));
        else
            replayNewest(logs);
        if (result_.applied)
            replaceBrokenBins();
    }

    // The logs ordered by their first sequence number, each continuing where the previous
    // one ended; logs older than the hive are left out.
    void replayChain(std::vector<UsableLog> logs)
    {
        const uint32_t secondary = baseBlockOf(result_.image).sequence2();
        const auto stale = [&](const UsableLog& l) { return SerialBefore(l.sequence, secondary); };
        for (const UsableLog& log : logs) {
            if (stale(log))
                result_.skipped.append(QStringLiteral("%1 is older than the hive").arg(log.log->name));
        }
        logs.erase(std::remove_if(logs.begin(), logs.end(), stale), logs.end());
        std::stable_sort(logs.begin(), logs.end(), [](const UsableLog& a, const UsableLog& b) { return SerialBefore(a.sequence, b.sequence); });
        std::optional<uint32_t> reached;
        for (const UsableLog& log : logs) {
            if (reached && log.sequence != *reached + 1) {
                const QString& name = log.log->name;
                report(name, QStringLiteral("%1 does not continue at sequence number %2").arg(name).arg(*reached + 1),
                       {LogProblemKind::SequenceGap, {}, BaseBlock::kSequence1, *reached + 1, log.sequence});
                break;
            }
            if (applyEntries(*log.log, log.sequence) > 0)
                reached = result_.sequence;
            else if (reached)
                break;
        }
    }

    // Without a trustworthy base block only the newest log is used, with its base block.
    void replayNewest(const std::vector<UsableLog>& logs)
    {
        const auto newest = std::max_element(logs.begin(), logs.end(), [](const UsableLog& a, const UsableLog& b) { return SerialBefore(a.sequence, b.sequence); });
        if (newest == logs.end())
            return;
        const QByteArray saved = result_.image.left(kBinsStart);
        const uint32_t savedSize = binsSize_;
        takeBaseBlockOf(*newest->log);
        if (applyEntries(*newest->log, newest->sequence) == 0) {
            result_.image.replace(0, saved.size(), saved);
            binsSize_ = savedSize;
        }
    }

    // Applies the entries of one log from `expected` on; returns how many were applied.
    int applyEntries(const HiveLog& log, uint32_t expected)
    {
        int applied = 0;
        for (qsizetype at = kLogHeader;;) {
            std::optional<Fault> fault;
            const std::optional<CheckedEntry> entry = readEntry(log.bytes, at, expected, fault);
            if (entry && cutsOffCells(log.bytes, *entry))
                fault = shrinkingFault(binsSize_, entry->binsSize);
            if (fault) {
                fault->offset = uint64_t(at);
                report(log.name, QStringLiteral("%1: the entry at offset %2 %3").arg(log.name, hex(at), fault->what), *fault);
            }
            if (!entry || fault)
                break;
            applyEntry(log.bytes, *entry);
            ++applied;
            expected = entry->sequence + 1;
            at += entry->size;
        }
        if (applied > 0)
            result_.logsUsed.append(log.name);
        return applied;
    }

    // The entry at `at` when it passes every check; otherwise nothing, with `fault` left
    // empty for the ordinary end of the log (no entry, or one left from an earlier cycle).
    std::optional<CheckedEntry> readEntry(const QByteArray& log, qsizetype at, uint32_t expected, std::optional<Fault>& fault) const
    {
        if (!LogEntry::startsAt(log, at))
            return std::nullopt;
        const LogEntry header(log.constData() + at);
        if (const uint64_t hash = Marvin32(kLogHashSeed, log.constData() + at, LogEntry::kHeaderHash); hash != header.headerHash()) {
            fault = Fault{LogProblemKind::EntryHeaderHash, QStringLiteral("fails its header hash"), {}, hash, header.headerHash()};
            return std::nullopt;
        }
        CheckedEntry entry;
        entry.at = at;
        entry.size = header.size();
        entry.flags = header.flags();
        entry.sequence = header.sequence();
        entry.binsSize = header.binsSize();
        const uint32_t count = header.pageCount();
        if (entry.size < kLogHeader || entry.size % kLogHeader != 0 || entry.size > log.size() - at) {
            fault = Fault{LogProblemKind::EntryPastLog, QStringLiteral("runs past the end of the log (size %1)").arg(hex(entry.size)),
                          {}, uint64_t(log.size() - at), entry.size};
            return std::nullopt;
        }
        if ((fault = hiveSizeFault(entry.binsSize))) {
            fault->what.prepend(QStringLiteral("declares "));
            return std::nullopt;
        }
        const uint32_t room = (entry.size - LogEntry::kPageRefs) / LogEntry::kPageRef;
        if (count == 0 || count > room) {
            fault = Fault{LogProblemKind::EntryPageTable, QStringLiteral("has a broken page table (%1 pages)").arg(count), {}, room, count};
            return std::nullopt;
        }
        uint64_t dataSize = 0;
        entry.pages.reserve(count);
        for (uint32_t i = 0; i < count; ++i) {
            const PageRef page{header.pageOffset(i), header.pageSize(i)};
            if (uint64_t(page.offset) + page.size > entry.binsSize) {
                fault = Fault{LogProblemKind::EntryPagePastHive, QStringLiteral("has a page past the end of the hive (offset %1)").arg(hex(page.offset)),
                              {}, entry.binsSize, page.offset};
                return std::nullopt;
            }
            dataSize += page.size;
            entry.pages.push_back(page);
        }
        if (const uint64_t needed = LogEntry::kPageRefs + LogEntry::kPageRef * uint64_t(count) + dataSize; needed > entry.size) {
            fault = Fault{LogProblemKind::EntryPageData, QStringLiteral("has more page data than room for it"), {}, entry.size, needed};
            return std::nullopt;
        }
        const char* hashed = log.constData() + at + LogEntry::kPageRefs;
        if (const uint64_t hash = Marvin32(kLogHashSeed, hashed, entry.size - LogEntry::kPageRefs); hash != header.dataHash()) {
            fault = Fault{LogProblemKind::EntryDataHash, QStringLiteral("fails its data hash"), {}, hash, header.dataHash()};
            return std::nullopt;
        }
        if (entry.sequence != expected) {
            if (!SerialBefore(entry.sequence, expected))
                fault = Fault{LogProblemKind::EntrySequence, QStringLiteral("has sequence number %1 instead of %2").arg(entry.sequence).arg(expected),
                              {}, expected, entry.sequence};
            return std::nullopt;
        }
        return entry;
    }

    // A hive size that is not whole pages, or more than the hive file and all its logs hold.
    std::optional<Fault> hiveSizeFault(uint32_t binsSize) const
    {
        if (binsSize >= kPageSize && binsSize % kPageSize == 0 && binsSize <= limit_)
            return std::nullopt;
        return Fault{LogProblemKind::HiveSize, QStringLiteral("an impossible hive size (%1)").arg(hex(binsSize)), {}, limit_, binsSize};
    }

    // Whether `entry` shrinks the hive while the hive after it still reaches cells past its
    // new end. Damage that the shrinking does not cause is left to the reader to report.
    bool cutsOffCells(const QByteArray& log, const CheckedEntry& entry) const
    {
        if (entry.binsSize >= binsSize_)
            return false;
        LogReplayer after(*this);
        after.applyEntry(log, entry);
        return after.shrinkingCutOffCells(binsSize_);
    }

    // Whether the hive as replayed, shrunk from `binsSize` bytes of bins, reaches cells past
    // its end that it reached before.
    bool shrinkingCutOffCells(uint32_t binsSize) const
    {
        return binsSize_ < binsSize && !reachesOnlyCellsWithin(binsSize_) && reachesOnlyCellsWithin(binsSize);
    }

    // Whether the hive as replayed so far, with `binsSize` bytes of bins, reaches only sound
    // cells from its root.
    bool reachesOnlyCellsWithin(uint32_t binsSize) const
    {
        LogReplayer finished(*this);
        finished.binsSize_ = binsSize;
        finished.finishBaseBlock();
        try {
            RegfImage(finished.result_.image, QString()).checkReachableCells();
            return true;
        } catch (const EHiveError&) {
            return false;
        }
    }

    void applyEntry(const QByteArray& log, const CheckedEntry& entry)
    {
        resizeBins(entry.binsSize);
        const char* data = log.constData() + entry.at + LogEntry::kPageRefs + LogEntry::kPageRef * qsizetype(entry.pages.size());
        for (const PageRef& page : entry.pages) {
            copyPage(page.offset, data, page.size);
            data += page.size;
        }
        const uint32_t flags = baseBlockOf(result_.image).flags();
        setU32(result_.image, BaseBlock::kFlags, (flags & ~BaseBlock::kFlagLocked) | (entry.flags & BaseBlock::kFlagLocked));
        result_.pages += uint32_t(entry.pages.size());
        result_.sequence = entry.sequence;
        result_.applied = true;
    }

    // The hive bins become `size` bytes; bytes they newly cover start as zeros.
    void resizeBins(uint32_t size)
    {
        const qsizetype end = kBinsStart + qsizetype(size);
        if (size > binsSize_) {
            const qsizetype from = std::min(kBinsStart + qsizetype(binsSize_), result_.image.size());
            std::memset(result_.image.data() + from, 0, std::min(end, result_.image.size()) - from);
        }
        if (result_.image.size() < end)
            result_.image.resize(end, '\0');
        binsSize_ = size;
    }

    void copyPage(uint32_t offset, const char* data, uint32_t size)
    {
        std::memcpy(result_.image.data() + kBinsStart + offset, data, size);
        const uint32_t last = (offset + size + kPageSize - 1) / kPageSize;
        if (touched_.size() < last)
            touched_.resize(last, false);
        for (uint32_t page = offset / kPageSize; page < last; ++page)
            touched_[page] = true;
    }

    // The size of the valid hive bin at `bin`, or 0 when its header is broken.
    uint32_t validBinSize(uint32_t bin) const
    {
        return CheckBinHeader(result_.image.constData() + kBinsStart, bin, binsSize_).size;
    }

    // The offset of the first broken hive bin, or binsSize_ when the chain is whole.
    uint32_t firstBrokenBin() const
    {
        uint32_t bin = 0;
        for (uint32_t size = 0; bin < binsSize_ && (size = validBinSize(bin)) != 0;)
            bin += size;
        return bin;
    }

    bool isTouched(uint32_t offset) const
    {
        return offset / kPageSize < touched_.size() && touched_[offset / kPageSize];
    }

    // A bin broken by a log page is replaced by an empty one, as Windows does; a broken
    // bin the logs did not touch is left for the reader to report.
    void replaceBrokenBins()
    {
        int replaced = 0;
        std::optional<uint32_t> firstReplaced;
        for (uint32_t bin = 0; bin < binsSize_;) {
            uint32_t size = validBinSize(bin);
            if (size == 0) {
                if (!isTouched(bin))
                    break;
                if (!firstReplaced)
                    firstReplaced = bin;
                writeEmptyBin(bin);
                size = kPageSize;
                ++replaced;
            }
            bin += size;
        }
        if (replaced > 0)
            report(result_.logsUsed.join(QStringLiteral(", ")), QStringLiteral("%1 damaged hive bins replaced by empty ones").arg(replaced),
                   {LogProblemKind::BinsReplaced, {}, kBinsStart + *firstReplaced, std::nullopt, uint64_t(replaced)});
    }

    void writeEmptyBin(uint32_t bin)
    {
        char* at = result_.image.data() + kBinsStart + bin;
        BinHeader::write(at, bin, kPageSize, 0);
        StoreI32(at + kBinHeaderSize, int32_t(kPageSize - kBinHeaderSize));   // one free cell
    }

    // Old format: one log, whose timestamp matches the hive's; a newer one only when none
    // matches.
    void replayOldLogs(std::vector<UsableLog> logs)
    {
        // A primary whose base block is broken keeps its last write time in the first bin.
        const qsizetype reference = primaryValid_ ? BaseBlock::kTimestamp : kBinsStart + BinHeader::kTimestamp;
        if (result_.image.size() < reference + qsizetype(sizeof(uint64_t)))
            return;
        const uint64_t hiveTime = LoadU64(result_.image.constData() + reference);
        std::vector<UsableLog> candidates;
        for (const UsableLog& log : logs) {
            if (log.timestamp == hiveTime)
                candidates.push_back(log);
            else if (log.timestamp < hiveTime)
                result_.skipped.append(QStringLiteral("%1 is older than the hive").arg(log.log->name));
        }
        std::vector<UsableLog> newer;
        std::copy_if(logs.begin(), logs.end(), std::back_inserter(newer), [&](const UsableLog& l) { return l.timestamp > hiveTime; });
        std::stable_sort(newer.begin(), newer.end(), [](const UsableLog& a, const UsableLog& b) { return a.timestamp > b.timestamp; });
        candidates.insert(candidates.end(), newer.begin(), newer.end());
        for (const UsableLog& log : candidates) {
            if (applyOldLog(*log.log)) {
                const QString& name = log.log->name;
                if (log.timestamp != hiveTime)
                    report(name, QStringLiteral("%1 is newer than the hive's last write").arg(name),
                           {LogProblemKind::NewerThanHive, {}, BaseBlock::kTimestamp, hiveTime, log.timestamp});
                return;
            }
        }
    }

    bool applyOldLog(const HiveLog& log)
    {
        const QByteArray& bytes = log.bytes;
        const uint32_t binsSize = baseBlockOf(bytes).binsSize();
        const auto reject = [&](const Fault& fault) {
            reportUnusable(log.name, fault);
            return false;
        };
        if (std::optional<Fault> size = hiveSizeFault(binsSize)) {
            size->what.prepend(QStringLiteral("it declares "));
            size->offset = BaseBlock::kBinsSize;
            return reject(*size);
        }
        constexpr qsizetype bitmap = DirtyLog::kBitmap;
        constexpr uint32_t kOldPage = DirtyLog::kPage;
        const qsizetype bitmapBytes = DirtyLog::bitmapBytes(binsSize);
        const auto logSize = uint64_t(bytes.size());
        if (bytes.size() < bitmap + bitmapBytes)
            return reject({LogProblemKind::BitmapCutShort, QStringLiteral("its dirty page bitmap is cut short"), {}, uint64_t(bitmap + bitmapBytes), logSize});
        qsizetype dirty = 0;
        for (qsizetype i = 0; i < bitmapBytes; ++i)
            dirty += std::popcount(uint8_t(bytes[bitmap + i]));
        const qsizetype pagesAt = DirtyLog::pagesStart(binsSize);
        if (bytes.size() - pagesAt < dirty * kOldPage)
            return reject({LogProblemKind::PagesCutShort, QStringLiteral("it holds fewer dirty pages than its bitmap lists"), {},
                           uint64_t(pagesAt + dirty * kOldPage), logSize});

        const QByteArray before = result_.image;
        const uint32_t binsBefore = binsSize_;
        const std::vector<bool> touchedBefore = touched_;
        resizeBins(binsSize);
        const char* page = bytes.constData() + pagesAt;
        for (uint32_t bit = 0; bit < binsSize / kOldPage; ++bit) {
            if (uint8_t(bytes[bitmap + bit / 8]) & (1u << (bit % 8))) {
                copyPage(bit * kOldPage, page, kOldPage);
                page += kOldPage;
            }
        }
        std::optional<Fault> fault;
        if (const uint32_t broken = firstBrokenBin(); broken < binsSize_) {
            const BinHeaderCheck check = CheckBinHeader(result_.image.constData() + kBinsStart, broken, binsSize_);
            fault = Fault{LogProblemKind::BinBroken, QStringLiteral("it leaves the hive bin at offset %1 broken").arg(hex(kBinsStart + broken)),
                          kBinsStart + broken, check.expected, check.found};
        } else if (shrinkingCutOffCells(binsBefore)) {
            fault = shrinkingFault(binsBefore, binsSize_);
            fault->what.prepend(QStringLiteral("it "));
            fault->offset = BaseBlock::kBinsSize;
        }
        if (fault) {
            result_.image = before;
            binsSize_ = binsBefore;
            touched_ = touchedBefore;
            return reject(*fault);
        }
        if (!primaryValid_)
            takeBaseBlockOf(log);
        result_.pages = uint32_t(dirty);
        result_.sequence = baseBlockOf(bytes).sequence1();
        result_.logsUsed.append(log.name);
        result_.applied = true;
        return true;
    }

    // The primary's base block cannot be trusted: the log's copy takes its place.
    void takeBaseBlockOf(const HiveLog& log)
    {
        std::memcpy(result_.image.data(), log.bytes.constData(), kLogHeader);
        std::memset(result_.image.data() + kLogHeader, 0, kBinsStart - kLogHeader);
        binsSize_ = baseBlockOf(log.bytes).binsSize();
    }

    void finishBaseBlock()
    {
        setU32(result_.image, BaseBlock::kSequence1, result_.sequence);
        setU32(result_.image, BaseBlock::kSequence2, result_.sequence);
        setU32(result_.image, BaseBlock::kFileType, BaseBlock::kPrimary);
        setU32(result_.image, BaseBlock::kBinsSize, binsSize_);
        StoreChecksum(result_.image.data());
    }

    const std::vector<HiveLog>& logs_;
    LogReplay result_;
    bool primaryValid_ = false;
    uint32_t binsSize_ = 0;
    uint32_t limit_ = 0;             // no hive grows beyond its file and all its logs
    std::vector<bool> touched_;      // per 4 KiB page of the bins: written from a log
};

} // namespace

uint64_t Marvin32(uint64_t seed, const char* data, size_t size)
{
    uint32_t lo = uint32_t(seed);
    uint32_t hi = uint32_t(seed >> 32);
    const auto mix = [&] {
        hi ^= lo;
        lo = std::rotl(lo, 20) + hi;
        hi = std::rotl(hi, 9) ^ lo;
        lo = std::rotl(lo, 27) + hi;
        hi = std::rotl(hi, 19);
    };
    size_t at = 0;
    for (; size - at >= 4; at += 4) {
        lo += LoadU32(data + at);
        mix();
    }
    const size_t rest = size - at;
    uint32_t tail = 0x80u << (8 * rest);
    for (size_t i = 0; i < rest; ++i)
        tail |= uint32_t(uint8_t(data[at + i])) << (8 * i);
    lo += tail;
    mix();
    mix();
    return uint64_t(hi) << 32 | lo;
}

bool IsDirtyHive(const QByteArray& image)
{
    if (image.size() < kBinsStart || !BaseBlock::startsIn(image))
        return false;
    const BaseBlock header = baseBlockOf(image);
    return !HasValidBaseBlock(image) || header.sequence1() != header.sequence2();
}

QStringList FindHiveLogs(const QString& hivePath)
{
    const QFileInfo hive(hivePath);
    const QDir folder(ParentFolder(hivePath));
    const QStringList entries = QuietFolderEntries(folder.path(), EntryKind::Files);
    QStringList logs;
    for (const QString& suffix : {QStringLiteral(".LOG1"), QStringLiteral(".LOG2"), QStringLiteral(".LOG")}) {
        for (const QString& entry : entries) {
            if (entry.compare(hive.fileName() + suffix, Qt::CaseInsensitive) == 0)
                logs.append(folder.filePath(entry));
        }
    }
    return logs;
}

std::vector<HiveLog> ReadHiveLogs(const QStringList& paths)
{
    std::vector<HiveLog> logs;
    for (const QString& path : paths) {
        HiveLog log{QFileInfo(path).fileName(), {}, {}};
        const int fd = OpenQuietly(path);
        QFile file;
        if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
            log.error = QStringLiteral("cannot be read: %1").arg(fd < 0 ? SystemErrorText() : file.errorString());
        else if (file.size() > kMaxLogFile)
            log.error = QStringLiteral("is too large for a transaction log");
        else
            log.bytes = file.readAll();
        if (log.error.isEmpty() && file.error() != QFileDevice::NoError)
            log.error = QStringLiteral("cannot be read: %1").arg(file.errorString());
        logs.push_back(std::move(log));
    }
    return logs;
}

LogReplay ReplayHiveLogs(QByteArray primary, const std::vector<HiveLog>& logs)
{
    if (!IsDirtyHive(primary)) {
        LogReplay clean;
        clean.image = std::move(primary);
        return clean;
    }
    return LogReplayer(std::move(primary), logs).run();
}

LogReplay ReplayHiveLogFiles(QByteArray primary, const QStringList& logPaths)
{
    const std::vector<HiveLog> logs = IsDirtyHive(primary) ? ReadHiveLogs(logPaths) : std::vector<HiveLog>{};
    return ReplayHiveLogs(std::move(primary), logs);
}

QString LogReplay::note() const
{
    if (!dirty)
        return {};
    QString text;
    if (applied)
        text = QStringLiteral("transaction logs applied: %1 dirty pages from %2").arg(pages).arg(logsUsed.join(QStringLiteral(", ")));
    else if (!anyLog)
        return QStringLiteral("the hive was not closed cleanly and has no transaction logs beside it; its last saved state is used");
    else
        text = QStringLiteral("transaction logs not applied, the hive's last saved state is used");
    const QStringList reasons = applied ? problemTexts() : problemTexts() + skipped;
    if (!reasons.isEmpty())
        text += QStringLiteral(" (%1)").arg(reasons.join(QStringLiteral("; ")));
    return text;
}

QStringList LogReplay::problemTexts() const
{
    QStringList texts;
    for (const LogProblem& problem : problems)
        texts.append(problem.text);
    return texts;
}

QByteArray CleanHiveFile(const QByteArray& image)
{
    return image.left(kBinsStart + qsizetype(baseBlockOf(image).binsSize()));
}

} // namespace parvelle
