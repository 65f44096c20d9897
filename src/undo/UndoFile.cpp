#include "UndoFile.h"
#include "registry/FilePlacement.h"

#include "registry/Errors.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace parvelle {

namespace {

constexpr int kMaxAttempts = 100;
constexpr qint64 kReadPiece = 1024 * 1024;

QString systemReason(int error = errno)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

[[noreturn]] void failWrite(const QString& path, const QString& reason)
{
    throw EInOutError(QStringLiteral("Cannot write '%1': %2").arg(path, reason));
}

[[noreturn]] void failRead(const QString& path, const QString& reason)
{
    throw EInOutError(QStringLiteral("Cannot read '%1': %2").arg(path, reason));
}

[[noreturn]] void failTooLarge(const QString& path)
{
    throw EInOutError(QStringLiteral("'%1' is larger than %2 MiB, more than any registry file this program reads")
                          .arg(path).arg(kMaxRegFileSize / (1024 * 1024)));
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

QByteArray readWhole(int fd, const QString& path)
{
    QByteArray bytes;
    for (;;) {
        const qsizetype used = bytes.size();
        bytes.resize(used + kReadPiece);
        const ssize_t got = ::read(fd, bytes.data() + used, kReadPiece);
        if (got < 0 && errno == EINTR) {
            bytes.resize(used);
            continue;
        }
        if (got < 0)
            failRead(path, systemReason());
        bytes.resize(used + got);
        if (got == 0)
            return bytes;
        if (bytes.size() > kMaxRegFileSize)
            failTooLarge(path);
    }
}

void writeWhole(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            throw errno;
        done += written;
    }
}

// A synced file with the bytes in the target's folder, under a hidden name that is no
// undo file's; removed again when anything fails.
QString writeTemporary(const QString& target, const QByteArray& bytes, mode_t mode)
{
    const QFileInfo info(target);
    QByteArray pattern = native(info.absolutePath() + QStringLiteral("/.") + info.fileName()
                                + QStringLiteral(".XXXXXX"));
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        failWrite(target, QStringLiteral("cannot create a temporary file in its folder: %1").arg(systemReason()));
    const FileDescriptor file(fd);
    try {
        writeWhole(fd, bytes);
        if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0)
            throw errno;
    } catch (int error) {
        ::unlink(pattern.constData());
        failWrite(target, systemReason(error));
    }
    return QFile::decodeName(pattern);
}

// Gives the temporary file the target's name unless a file of that name exists (then
// false). Filesystems without an exclusive rename get a hard link instead.
bool placeExclusively(const QString& temp, const QString& target)
{
    const QByteArray from = native(temp);
    const int error = RenameNoReplace(from, native(target));
    if (error == 0)
        return true;
    ::unlink(from.constData());
    if (error == EEXIST)
        return false;
    failWrite(target, systemReason(error));
}

void replaceWith(const QString& temp, const QString& target)
{
    if (::rename(native(temp).constData(), native(target).constData()) != 0) {
        const int error = errno;
        ::unlink(native(temp).constData());
        failWrite(target, systemReason(error));
    }
}

void syncFolderOf(const QString& target)
{
    const FileDescriptor folder(::open(native(QFileInfo(target).absolutePath()).constData(),
                                       O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0 || ::fsync(folder.get()) != 0)
        failWrite(target, QStringLiteral("cannot sync its folder: %1").arg(systemReason()));
}

void lockWithin(int fd, const QString& path, std::chrono::milliseconds wait)
{
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            failWrite(path, QStringLiteral("cannot lock it: %1").arg(systemReason()));
        if (std::chrono::steady_clock::now() >= deadline)
            failWrite(path, QStringLiteral("another process has been writing it for %1 s")
                                .arg(std::chrono::duration<double>(wait).count()));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// True when the path still names the file that `fd` holds (a writer may have put a new
// file in its place while we waited for the lock).
bool stillInPlace(int fd, const QString& path, struct stat& held)
{
    struct stat now {};
    return ::fstat(fd, &held) == 0 && ::stat(native(path).constData(), &now) == 0
        && now.st_dev == held.st_dev && now.st_ino == held.st_ino;
}

QByteArray composed(const UndoFileComposer& compose, const std::optional<QByteArray>& current,
                    const QString& path)
{
    QByteArray bytes = compose(current);
    if (bytes.size() > kMaxRegFileSize)
        failTooLarge(path);
    return bytes;
}

} // namespace

void PutUndoFile(const QString& path, const UndoFileComposer& compose, std::chrono::milliseconds lockWait)
{
    for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
        const FileDescriptor current(::open(native(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        if (current.get() < 0) {
            if (errno != ENOENT)
                failWrite(path, systemReason());
            const QString temp = writeTemporary(path, composed(compose, std::nullopt, path), 0644);
            if (!placeExclusively(temp, path))
                continue;   // another process put its file there first
            syncFolderOf(path);
            return;
        }
        lockWithin(current.get(), path, lockWait);
        struct stat held {};
        if (!stillInPlace(current.get(), path, held))
            continue;
        if (!S_ISREG(held.st_mode))
            failWrite(path, QStringLiteral("it is not a regular file"));
        const QByteArray bytes = composed(compose, readWhole(current.get(), path), path);
        replaceWith(writeTemporary(path, bytes, held.st_mode & 07777), path);
        syncFolderOf(path);
        return;
    }
    failWrite(path, QStringLiteral("other processes keep replacing it"));
}

QByteArray ReadLimitedFile(const QString& path)
{
    const FileDescriptor file(::open(native(path).constData(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0)
        failRead(path, systemReason());
    struct stat info {};
    if (::fstat(file.get(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > kMaxRegFileSize)
        failTooLarge(path);
    return readWhole(file.get(), path);
}

} // namespace parvelle
