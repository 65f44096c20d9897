#pragma once
// Runs bytes through the transaction log replay as logs of a small dirty hive, then reads
// the replayed hive. Bad input may only end the replay early or raise EHiveError from the
// reader; anything else (a crash, a read outside a buffer, another exception) is a fault.
#include "core/Errors.h"
#include "registry/HiveImage.h"
#include "registry/HiveLogs.h"
#include "registry/MemoryStore.h"
#include "registry/RegfImage.h"

#include <QtEndian>
#include <algorithm>

namespace parvelle::test {

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
    for (qsizetype bin = 0x1000, binSize = 0; bin + 32 <= hive.size() && (binSize = LogU32(hive, bin + 8)) > 0; bin += binSize) {
        for (qsizetype cell = bin + 32, size = 0; cell + 16 <= bin + binSize; cell += size) {
            const int32_t stored = qFromLittleEndian<int32_t>(hive.constData() + cell);
            size = std::abs(stored);
            if (size == 0)
                break;
            if (stored < 0 && hive.mid(cell + 4, 2) == "nk")
                qToLittleEndian<uint64_t>(kTime, hive.data() + cell + 8);
        }
    }
    return hive;
}

// The hive the logs belong to: sequence numbers 2/1, so its logs start at 1.
inline const QByteArray& DirtySmallHive()
{
    static const QByteArray hive = [] {
        QByteArray bytes = SmallHive(10);
        qToLittleEndian<uint32_t>(2, bytes.data() + 4);
        qToLittleEndian<uint32_t>(BaseBlockChecksum(bytes), bytes.data() + 508);
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
    if (log.size() < 512)
        return;
    qToLittleEndian<uint32_t>(BaseBlockChecksum(log), log.data() + 508);
    for (qsizetype at = 512; log.size() - at >= 40 && log.mid(at, 4) == "HvLE";) {
        const uint32_t size = LogU32(log, at + 4);
        if (size < 40 || size > log.size() - at)
            break;
        qToLittleEndian<uint64_t>(Marvin32(kLogHashSeed, log.constData() + at + 40, size - 40), log.data() + at + 24);
        qToLittleEndian<uint64_t>(Marvin32(kLogHashSeed, log.constData() + at, 32), log.data() + at + 32);
        at += std::max<uint32_t>(size, 512);
    }
}

// A log header for the dirty hive: its base block copy with the given type and sequence.
inline QByteArray LogHeader(const QByteArray& hive, uint32_t type, uint32_t sequence, uint32_t binsSize)
{
    QByteArray header = hive.left(512);
    qToLittleEndian<uint32_t>(sequence, header.data() + 4);
    qToLittleEndian<uint32_t>(sequence, header.data() + 8);
    qToLittleEndian<uint32_t>(type, header.data() + 28);
    qToLittleEndian<uint32_t>(binsSize, header.data() + 40);
    return header;
}

// Seed logs taking the dirty hive to a bigger one: new format with two entries, and the
// old bitmap format.
inline std::vector<std::pair<QString, QByteArray>> SeedLogs()
{
    const QByteArray& hive = DirtySmallHive();
    const QByteArray& target = SeedTarget();
    const uint32_t size = LogU32(target, 40);
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
            const auto differs = [&](uint32_t run) { return target.mid(0x1000 + run, 64) != hive.mid(0x1000 + run, 64).leftJustified(64, '\0'); };
            if (!differs(at)) {
                at += 64;
                continue;
            }
            uint32_t end = at + 64;
            while (end < to && differs(end))
                end += 64;
            refs += le(at) + le(end - at);
            data += target.mid(0x1000 + at, end - at);
            ++count;
            at = end;
        }
        QByteArray bytes = "HvLE" + le(0) + le(0) + le(sequence) + le(size) + le(count) + QByteArray(16, '\0') + refs + data;
        bytes.append(QByteArray((512 - bytes.size() % 512) % 512, '\0'));
        qToLittleEndian<uint32_t>(uint32_t(bytes.size()), bytes.data() + 4);
        return bytes;
    };
    QByteArray newLog = LogHeader(hive, 6, 1, size) + entry(1, 0, size - 0x1000) + entry(2, size - 0x1000, size);
    SealLog(newLog);

    QByteArray bitmap(size / 0x1000, '\0');
    QByteArray pages;
    for (uint32_t page = 0; page < size / 512; ++page) {
        if (target.mid(0x1000 + page * 512, 512) != hive.mid(0x1000 + page * 512, 512).leftJustified(512, '\0')) {
            bitmap[page / 8] = char(bitmap[page / 8] | (1 << (page % 8)));
            pages += target.mid(0x1000 + page * 512, 512);
        }
    }
    QByteArray oldLog = LogHeader(hive, 1, 2, size) + "DIRT" + bitmap;
    oldLog.append(QByteArray((512 - oldLog.size() % 512) % 512, '\0'));
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
    if ((mode & 2) && log.size() >= 552) {
        const qsizetype split = 512 + std::clamp<qsizetype>(LogU32(log, 516), 40, log.size() - 512);
        QByteArray second = log.left(512) + log.mid(split);
        log.truncate(split);
        if (second.size() >= 528)
            second.replace(4, 4, second.mid(524, 4)).replace(8, 4, second.mid(524, 4));
        if (mode & 1)
            SealLog(second);
        logs.push_back(HiveLog{QStringLiteral("H.LOG2"), second, {}});
    }
    if (mode & 1)
        SealLog(log);
    logs.insert(logs.begin(), HiveLog{QStringLiteral("H.LOG1"), log, {}});
    QByteArray hive = dirty;
    if (mode & 4)
        hive[100] = char(hive[100] ^ 1);
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
