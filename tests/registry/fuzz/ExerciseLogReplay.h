#pragma once
// Runs bytes through the transaction log replay as logs of a small dirty hive, then reads
// the replayed hive. Bad input may only end the replay early or raise EHiveError from the
// reader; anything else (a crash, a read outside a buffer, another exception) is a fault.
#include "core/Errors.h"
#include "registry/HiveImage.h"
#include "registry/HiveLogs.h"
#include "registry/MemoryStore.h"
#include "registry/RegfImage.h"
#include "registry/RegfLayout.h"

#include <QtEndian>
#include <algorithm>

namespace parvelle::test {

using regf::BaseBlock;
using regf::LogEntry;
constexpr qsizetype kLogStart = BaseBlock::kLogCopySize;   // the first entry, after the base block copy

inline uint32_t LogU32(const QByteArray& bytes, qsizetype at)
{
    return qFromLittleEndian<uint32_t>(bytes.constData() + at);
}

// A hive of `keys` keys with a value each, the same in every run: every key gets the
// hive's fixed time.
inline QByteArray SmallHive(int keys)
{
    constexpr uint64_t kTime = 0x01D5000000000000;
    MemoryStore tree;
    for (int i = 0; i < keys; ++i) {
        const NodeId key = tree.addChild(tree.root(), QStringLiteral("Key%1").arg(i));
        tree.setValue(key, RegValue{QStringLiteral("Data"), REG_BINARY, QByteArray(40 + i, char('a' + i % 26))});
    }
    QByteArray hive = BuildHiveImage(tree, kTime);
    constexpr qsizetype kHeader = regf::kBinHeaderSize;
    for (qsizetype bin = regf::kBinsStart, binSize = 0;
         bin + kHeader <= hive.size() && (binSize = LogU32(hive, bin + regf::BinHeader::kSize)) > 0; bin += binSize) {
        for (qsizetype cell = bin + kHeader, size = 0; cell + 16 <= bin + binSize; cell += size) {
            const int32_t stored = regf::LoadI32(hive.constData() + cell);
            size = std::abs(stored);
            if (size == 0)
                break;
            const qsizetype record = cell + regf::kCellSizeField;
            if (stored < 0 && hive.mid(record, 2) == "nk")
                regf::StoreU64(hive.data() + record + regf::KeyNode::kTimestamp, kTime);
        }
    }
    return hive;
}

// The hive the logs belong to: sequence numbers 2/1, so its logs start at 1.
inline const QByteArray& DirtySmallHive()
{
    static const QByteArray hive = [] {
        QByteArray bytes = SmallHive(10);
        regf::StoreU32(bytes.data() + BaseBlock::kSequence1, 2);
        regf::StoreChecksum(bytes.data());
        return bytes;
    }();
    return hive;
}

// The state the seed logs bring it to.
inline const QByteArray& SeedTarget()
{
    static const QByteArray target = SmallHive(40);
    return target;
}

// Gives a log a right header checksum and right hashes for every entry it has, so that
// fuzzing gets past them.
inline void SealLog(QByteArray& log)
{
    if (log.size() < kLogStart)
        return;
    regf::StoreChecksum(log.data());
    for (qsizetype at = kLogStart; LogEntry::startsAt(log, at);) {
        const uint32_t size = LogU32(log, at + LogEntry::kSize);
        if (size < LogEntry::kPageRefs || size > log.size() - at)
            break;
        const char* entry = log.constData() + at;
        regf::StoreU64(log.data() + at + LogEntry::kDataHash, Marvin32(kLogHashSeed, entry + LogEntry::kPageRefs, size - LogEntry::kPageRefs));
        regf::StoreU64(log.data() + at + LogEntry::kHeaderHash, Marvin32(kLogHashSeed, entry, LogEntry::kHeaderHash));
        at += std::max<uint32_t>(size, kLogStart);
    }
}

// A log header for the dirty hive: its base block copy with the given type and sequence.
inline QByteArray LogHeader(const QByteArray& hive, uint32_t type, uint32_t sequence, uint32_t binsSize)
{
    QByteArray header = hive.left(kLogStart);
    regf::StoreU32(header.data() + BaseBlock::kSequence1, sequence);
    regf::StoreU32(header.data() + BaseBlock::kSequence2, sequence);
    regf::StoreU32(header.data() + BaseBlock::kFileType, type);
    regf::StoreU32(header.data() + BaseBlock::kBinsSize, binsSize);
    return header;
}

// Seed logs taking the dirty hive to a bigger one: new format with two entries, and the
// old bitmap format.
inline std::vector<std::pair<QString, QByteArray>> SeedLogs()
{
    const QByteArray& hive = DirtySmallHive();
    const QByteArray& target = SeedTarget();
    const uint32_t size = LogU32(target, BaseBlock::kBinsSize);
    constexpr qsizetype kBins = regf::kBinsStart;
    const auto le = [](uint32_t value) {
        QByteArray bytes(4, '\0');
        qToLittleEndian<uint32_t>(value, bytes.data());
        return bytes;
    };
    // References to the 64-byte runs in [from, to) where the target differs from the hive
    // (zeros past its end), so that the seeds stay small.
    const auto entry = [&](uint32_t sequence, uint32_t from, uint32_t to) {
        QByteArray refs;
        QByteArray data;
        uint32_t count = 0;
        for (uint32_t at = from; at < to;) {
            const auto differs = [&](uint32_t run) { return target.mid(kBins + run, 64) != hive.mid(kBins + run, 64).leftJustified(64, '\0'); };
            if (!differs(at)) {
                at += 64;
                continue;
            }
            uint32_t end = at + 64;
            while (end < to && differs(end))
                end += 64;
            refs += le(at) + le(end - at);
            data += target.mid(kBins + at, end - at);
            ++count;
            at = end;
        }
        QByteArray bytes = "HvLE" + le(0) + le(0) + le(sequence) + le(size) + le(count) + QByteArray(16, '\0') + refs + data;
        bytes.append(QByteArray((kLogStart - bytes.size() % kLogStart) % kLogStart, '\0'));
        regf::StoreU32(bytes.data() + LogEntry::kSize, uint32_t(bytes.size()));
        return bytes;
    };
    const uint32_t lastPage = size - regf::kPageSize;
    QByteArray newLog = LogHeader(hive, BaseBlock::kNewLog, 1, size) + entry(1, 0, lastPage) + entry(2, lastPage, size);
    SealLog(newLog);

    constexpr uint32_t kPage = regf::DirtyLog::kPage;
    QByteArray bitmap(size / (8 * kPage), '\0');
    QByteArray pages;
    for (uint32_t page = 0; page < size / kPage; ++page) {
        if (target.mid(kBins + page * kPage, kPage) != hive.mid(kBins + page * kPage, kPage).leftJustified(kPage, '\0')) {
            bitmap[page / 8] = char(bitmap[page / 8] | (1 << (page % 8)));
            pages += target.mid(kBins + page * kPage, kPage);
        }
    }
    QByteArray oldLog = LogHeader(hive, BaseBlock::kOldLog, 2, size) + "DIRT" + bitmap;
    oldLog.append(QByteArray((kPage - oldLog.size() % kPage) % kPage, '\0'));
    oldLog += pages;
    SealLog(oldLog);
    // The first byte of a fuzz input chooses the mode (see ExerciseLogReplay).
    return {{QStringLiteral("new"), '\x01' + newLog}, {QStringLiteral("old"), '\x01' + oldLog},
            {QStringLiteral("new-split"), '\x03' + newLog}, {QStringLiteral("new-bad-base-block"), '\x05' + newLog}};
}

// The first byte chooses: bit 0 seals the log, bit 1 splits it after its first entry into
// two logs (the second gets the first's header, numbered as its own first entry), bit 2
// spoils the hive's checksum.
inline LogReplay ExerciseLogReplay(const QByteArray& input)
{
    const QByteArray& dirty = DirtySmallHive();
    if (input.isEmpty())
        return {};
    const uint8_t mode = uint8_t(input[0]);
    QByteArray log = input.mid(1);
    std::vector<HiveLog> logs;
    if ((mode & 2) && log.size() >= kLogStart + LogEntry::kPageRefs) {
        const qsizetype firstSize = LogU32(log, kLogStart + LogEntry::kSize);
        const qsizetype split = kLogStart + std::clamp<qsizetype>(firstSize, LogEntry::kPageRefs, log.size() - kLogStart);
        QByteArray second = log.left(kLogStart) + log.mid(split);
        log.truncate(split);
        // The second log's header takes the sequence number of its first entry.
        const qsizetype sequence = kLogStart + LogEntry::kSequence;
        if (second.size() >= sequence + 4)
            second.replace(BaseBlock::kSequence1, 4, second.mid(sequence, 4)).replace(BaseBlock::kSequence2, 4, second.mid(sequence, 4));
        if (mode & 1)
            SealLog(second);
        logs.push_back(HiveLog{QStringLiteral("H.LOG2"), second, {}});
    }
    if (mode & 1)
        SealLog(log);
    logs.insert(logs.begin(), HiveLog{QStringLiteral("H.LOG1"), log, {}});
    QByteArray hive = dirty;
    if (mode & 4)
        hive[BaseBlock::kFileName] = char(hive[BaseBlock::kFileName] ^ 1);
    LogReplay replay = ReplayHiveLogs(hive, logs);
    try {
        const RegfImage image(replay.image, QStringLiteral("replayed"));
        for (NodeId key : image.children(image.root()))
            image.values(key);
    } catch (const EHiveError&) {
    }
    return replay;
}

} // namespace parvelle::test
