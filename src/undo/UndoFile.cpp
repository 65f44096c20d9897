#include "UndoFile.h"
#include "core/SafeFile.h"

#include "core/Errors.h"
#include "core/NativePath.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace parvelle {

namespace {

constexpr qint64 kReadPiece = 1024 * 1024;

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
            failRead(path, SystemErrorText());
        bytes.resize(used + got);
        if (got == 0)
            return bytes;
        if (bytes.size() > kMaxRegFileSize)
            failTooLarge(path);
    }
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
    RemoveStaleTemporaries(ParentFolder(path));
    const FileLock lock(path, lockWait, QStringLiteral("undo file"));
    const FileIdentity before = FileIdentity::of(path);
    if (!before.exists()) {
        PreparedFile(path, composed(compose, std::nullopt, path)).placeAsNew();
        return;
    }
    const FileDescriptor current(::open(NativePath(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat held {};
    if (current.get() < 0 || ::fstat(current.get(), &held) != 0)
        failWrite(path, SystemErrorText());
    if (!S_ISREG(held.st_mode))
        failWrite(path, QStringLiteral("it is not a regular file"));
    FileOptions options;
    options.mode = held.st_mode & 07777;
    PreparedFile file(path, composed(compose, readWhole(current.get(), path), path), options);
    Replacement replacement;
    replacement.add(file, before);
    const QString unflushed = replacement.place();
    if (!unflushed.isEmpty())
        failWrite(path, QStringLiteral("cannot sync its folder %1").arg(unflushed));
}

QByteArray ReadLimitedFile(const QString& path)
{
    // Not waiting for a writer: a FIFO opens at once and is refused with any other kind of file.
    const FileDescriptor file(::open(NativePath(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0)
        failRead(path, SystemErrorText());
    struct stat info {};
    if (::fstat(file.get(), &info) != 0)
        failRead(path, SystemErrorText());
    if (!S_ISREG(info.st_mode))
        failRead(path, QStringLiteral("it is not a regular file"));
    if (info.st_size > kMaxRegFileSize)
        failTooLarge(path);
    return readWhole(file.get(), path);
}

} // namespace parvelle
