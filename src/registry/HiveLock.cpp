#include "HiveLock.h"

#include "Errors.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace parvelle {

namespace {

QByteArray lockPathOf(const QString& hivePath)
{
    const QFileInfo hive(hivePath);
    return QFile::encodeName(hive.absolutePath() + QStringLiteral("/.") + hive.fileName()
                             + QStringLiteral(".parvelle-lock"));
}

[[noreturn]] void cannotLock(const QByteArray& lockPath, int error)
{
    throw EHiveError(QStringLiteral("Cannot take the lock '%1' of the hive file beside it: %2")
                         .arg(QFile::decodeName(lockPath), QString::fromLocal8Bit(std::strerror(error))));
}

int64_t nanoseconds(const struct timespec& time)
{
    return int64_t(time.tv_sec) * 1000000000 + time.tv_nsec;
}

} // namespace

HiveLock::HiveLock(const QString& hivePath, std::chrono::milliseconds wait) : lockPath_(lockPathOf(hivePath))
{
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (!attempt()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            const int64_t pid = holder();
            const QString who = pid > 0 ? QStringLiteral("another program (process %1)").arg(pid)
                                        : QStringLiteral("another program");
            throw EHiveError(QStringLiteral("The hive file '%1' is being changed by %2; nothing was changed, try again later")
                                 .arg(hivePath, who));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::unique_ptr<HiveLock> HiveLock::tryTake(const QString& hivePath)
{
    std::unique_ptr<HiveLock> lock(new HiveLock(lockPathOf(hivePath)));
    try {
        return lock->attempt() ? std::move(lock) : nullptr;
    } catch (const EHiveError&) {
        return nullptr;
    }
}

bool HiveLock::attempt()
{
    int fd = ::open(lockPath_.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EACCES)
        fd = ::open(lockPath_.constData(), O_RDONLY | O_CLOEXEC);   // another user's lock file
    if (fd < 0)
        cannotLock(lockPath_, errno);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK)
            return false;
        cannotLock(lockPath_, error);
    }
    struct stat held {};
    struct stat named {};
    // The previous holder removes the file as it lets go: a lock on a removed file is no lock.
    if (::fstat(fd, &held) != 0 || ::stat(lockPath_.constData(), &named) != 0 || held.st_ino != named.st_ino
        || held.st_dev != named.st_dev) {
        ::close(fd);
        return false;
    }
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
    if (::ftruncate(fd, 0) == 0 && ::pwrite(fd, pid.constData(), size_t(pid.size()), 0) == pid.size())
        ::fstat(fd, &held);
    fd_ = fd;
    takenAt_ = nanoseconds(held.st_mtim);
    return true;
}

int64_t HiveLock::holder() const
{
    QFile file(QFile::decodeName(lockPath_));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return file.read(32).trimmed().toLongLong();
}

HiveLock::~HiveLock()
{
    if (fd_ < 0)
        return;
    ::unlink(lockPath_.constData());
    ::close(fd_);
}

} // namespace parvelle
