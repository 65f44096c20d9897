#pragma once
// The exclusive advisory lock that every writer of a hive file takes, in any process: a
// lock file beside the hive (the hive itself is replaced on every save, so a lock on it
// would go with the old file). The holder writes its process id into the lock file and
// removes the file when it lets go.
#include <QByteArray>
#include <QString>
#include <chrono>
#include <cstdint>
#include <memory>

namespace parvelle {

class HiveLock {
public:
    // How long a second writer waits for the holder before it gives up.
    static constexpr std::chrono::milliseconds kWait{3000};

    // Waits up to `wait` for the lock of the hive file `hivePath`. Throws EHiveError,
    // naming the holder's process id when it is known, when the wait runs out.
    explicit HiveLock(const QString& hivePath, std::chrono::milliseconds wait = kWait);
    // The lock when it is free at once, else nullptr.
    static std::unique_ptr<HiveLock> tryTake(const QString& hivePath);
    HiveLock(const HiveLock&) = delete;
    HiveLock& operator=(const HiveLock&) = delete;
    ~HiveLock();

    // When the lock was taken, by the clock of the hive's file system (ns since 1970).
    int64_t takenAt() const { return takenAt_; }

private:
    explicit HiveLock(QByteArray lockPath) : lockPath_(std::move(lockPath)) {}
    // One attempt; true when the lock is held.
    bool attempt();
    // The process id the holder wrote into the lock file; 0 when unknown.
    int64_t holder() const;

    QByteArray lockPath_;
    int fd_ = -1;
    int64_t takenAt_ = 0;
};

} // namespace parvelle
