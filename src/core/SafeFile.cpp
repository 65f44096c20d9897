#include "SafeFile.h"

#include "Errors.h"
#include "NativePath.h"
#include "QuietRead.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <set>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace parvelle {

namespace {

int64_t nanoseconds(const struct timespec& time)
{
    return int64_t(time.tv_sec) * 1000000000 + time.tv_nsec;
}

// Hidden names beside the target: ".NAME.parvelle-lock" and ".NAME.parvelle-XXXXXX".
const QString kTemporaryMark = QStringLiteral(".parvelle-");
constexpr qsizetype kTemporaryRandomPart = 6;

QString besideTarget(const QString& target, const QString& suffix)
{
    return ParentFolder(target) + QStringLiteral("/.") + QFileInfo(target).fileName() + kTemporaryMark + suffix;
}

// The target a temporary's or a lock file's name belongs to, or empty for any other name.
QString ownerOfHiddenFile(const QString& name, bool& isLock)
{
    static const QString lockSuffix = kTemporaryMark + QStringLiteral("lock");
    isLock = name.endsWith(lockSuffix);
    const qsizetype mark = isLock ? name.size() - lockSuffix.size() : name.size() - kTemporaryRandomPart - kTemporaryMark.size();
    if (!name.startsWith(u'.') || mark < 2 || name.mid(mark, kTemporaryMark.size()) != kTemporaryMark)
        return {};
    return name.mid(1, mark - 1);
}

// The temporaries being written, for a signal to remove: fixed slots, each a path owned
// by its PreparedFile, taken and given back without locks.
constexpr int kSignalSlots = 16;
std::array<std::atomic<const char*>, kSignalSlots> gTemporaries{};

int registerTemporary(const char* path)
{
    for (int slot = 0; slot < kSignalSlots; ++slot) {
        const char* empty = nullptr;
        if (gTemporaries[size_t(slot)].compare_exchange_strong(empty, path))
            return slot;
    }
    return -1;   // not removed on a signal; the next writer there removes it
}

void unregisterTemporary(int slot)
{
    if (slot >= 0)
        gTemporaries[size_t(slot)].store(nullptr);
}

extern "C" void removeTemporariesAndEnd(int signal)
{
    for (std::atomic<const char*>& slot : gTemporaries) {
        if (const char* path = slot.exchange(nullptr))
            ::unlink(path);
    }
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

std::function<void(const QString&)>& beforeReplacingHook()
{
    static std::function<void(const QString&)> hook;
    return hook;
}

// Puts `temporary` in the place of `target` and the old target under the temporary's
// name, in one step where the file system can exchange names. Returns 0 or the errno.
int swapIn(const QByteArray& temporary, const QByteArray& target)
{
    if (::renameat2(AT_FDCWD, temporary.constData(), AT_FDCWD, target.constData(), RENAME_EXCHANGE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return errno;
    // Without an exchange, the old file is linked to a name of its own first.
    QByteArray old = temporary.left(temporary.size() - kTemporaryRandomPart) + QByteArray(kTemporaryRandomPart, 'X');
    const int fd = ::mkostemp(old.data(), O_CLOEXEC);
    if (fd < 0)
        return errno;
    ::close(fd);
    if (::unlink(old.constData()) != 0 || ::link(target.constData(), old.constData()) != 0)
        return errno;
    if (::rename(temporary.constData(), target.constData()) != 0) {
        const int error = errno;
        ::unlink(old.constData());
        return error;
    }
    ::rename(old.constData(), temporary.constData());   // should it fail, the check after the swap refuses
    return 0;
}

// Writes all of `bytes`; 0 or the errno of the failure.
int writeAll(int fd, const char* bytes, qsizetype size, qsizetype& done)
{
    while (done < size) {
        const ssize_t written = ::write(fd, bytes + done, size_t(size - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return written < 0 ? errno : ENOSPC;
        done += written;
    }
    return 0;
}

bool setDirect(int fd, bool direct)
{
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, direct ? flags | O_DIRECT : flags & ~O_DIRECT) == 0;
}

// Writes the pieces one after the other from the file's start; 0 or the errno of the
// failure. Whole pages, page-aligned in memory and in the file, are written directly
// (O_DIRECT) unless the file system refuses that (EINVAL), then through the page cache.
int writePieces(int fd, const std::vector<QByteArrayView>& pieces)
{
    const auto page = qsizetype(::sysconf(_SC_PAGESIZE));
    const auto aligned = [page](qsizetype n) { return n % page == 0; };
    qsizetype offset = 0;
    bool mayGoDirect = true;
    for (const QByteArrayView piece : pieces) {
        qsizetype done = 0;
        const qsizetype pages = piece.size() / page * page;
        if (mayGoDirect && pages > 0 && aligned(offset) && aligned(qsizetype(reinterpret_cast<uintptr_t>(piece.data())))) {
            int error = setDirect(fd, true) ? writeAll(fd, piece.data(), pages, done) : EINVAL;
            if (!setDirect(fd, false) && error == 0)
                error = errno;
            if (error != 0 && error != EINVAL)
                return error;
            mayGoDirect = error == 0;
        }
        if (const int error = writeAll(fd, piece.data(), piece.size(), done))
            return error;
        offset += piece.size();
    }
    return 0;
}

} // namespace

FileDescriptor::~FileDescriptor()
{
    if (fd_ >= 0)
        ::close(fd_);
}

// ---- FileIdentity

FileIdentity FileIdentity::of(const QString& path, qsizetype headBytes)
{
    FileIdentity identity;
    const FileDescriptor file(OpenQuietly(path, O_NONBLOCK));   // reading the head changes no access time
    struct stat st {};
    if (file.get() < 0 || ::fstat(file.get(), &st) != 0)
        return identity;
    identity.device = st.st_dev;
    identity.inode = st.st_ino;
    identity.size = st.st_size;
    identity.modified = nanoseconds(st.st_mtim);
    if (headBytes > 0 && S_ISREG(st.st_mode)) {
        identity.head.resize(headBytes);
        const ssize_t got = ::pread(file.get(), identity.head.data(), size_t(headBytes), 0);
        identity.head.resize(got > 0 ? got : 0);
    }
    return identity;
}

// ---- FileLock

FileLock::FileLock(const QString& target, std::chrono::milliseconds wait, const QString& what)
    : lockPath_(NativePath(besideTarget(target, QStringLiteral("lock"))))
{
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (!attempt(what)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            const int64_t pid = holder();
            const QString who = pid > 0 ? QStringLiteral("another program (process %1)").arg(pid)
                                        : QStringLiteral("another program");
            throw EInOutError(QStringLiteral("The %1 '%2' is being changed by %3; nothing was changed, try again later")
                                  .arg(what, target, who));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::unique_ptr<FileLock> FileLock::tryTake(const QString& target)
{
    std::unique_ptr<FileLock> lock(new FileLock(NativePath(besideTarget(target, QStringLiteral("lock")))));
    try {
        return lock->attempt(QStringLiteral("file")) ? std::move(lock) : nullptr;
    } catch (const EInOutError&) {
        return nullptr;
    }
}

bool FileLock::attempt(const QString& what)
{
    int fd = ::open(lockPath_.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EACCES) {
        fd = ::open(lockPath_.constData(), O_RDONLY | O_CLOEXEC);   // another user's lock file
        if (fd < 0 && errno == ENOENT)
            errno = EACCES;   // none: the folder is not writable
    }
    const auto cannotLock = [&](int error) {
        throw EInOutError(QStringLiteral("Cannot take the lock '%1' of the %2 beside it: %3")
                              .arg(PathFromNative(lockPath_), what, SystemErrorText(error)));
    };
    if (fd < 0)
        cannotLock(errno);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK || error == EINTR)
            return false;
        cannotLock(error);
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

int64_t FileLock::holder() const
{
    QFile file;
    if (!OpenFile(file, PathFromNative(lockPath_), QIODevice::ReadOnly))
        return 0;
    return file.read(32).trimmed().toLongLong();
}

FileLock::~FileLock()
{
    if (fd_ < 0)
        return;
    ::unlink(lockPath_.constData());
    ::close(fd_);
}

// ---- PreparedFile

PreparedFile::PreparedFile(const QString& target, const QByteArray& bytes, FileOptions options)
    : PreparedFile(target, std::vector<QByteArrayView>{bytes}, std::move(options))
{
}

PreparedFile::PreparedFile(const QString& target, const std::vector<QByteArrayView>& pieces, FileOptions options)
    : target_(AbsolutePath(target)), options_(std::move(options))
{
    QByteArray pattern = NativePath(besideTarget(target_, QString(kTemporaryRandomPart, u'X')));
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        fail(QStringLiteral("cannot create a temporary file in its folder"), errno);
    temporary_ = pattern;
    registered_ = registerTemporary(temporary_.constData());
    const FileDescriptor file(fd);
    if (const int error = writePieces(fd, pieces))
        fail(QStringLiteral("cannot write the temporary file"), error);
    if (options_.keepOwner && ::fchown(fd, options_.ownerUser, options_.ownerGroup) != 0) {
        struct stat written {};
        if (::fstat(fd, &written) != 0 || written.st_uid != options_.ownerUser || written.st_gid != options_.ownerGroup)
            fail(QStringLiteral("the new file cannot keep the owner (user %1, group %2)")
                     .arg(options_.ownerUser).arg(options_.ownerGroup), errno);
    }
    if (::fchmod(fd, options_.mode) != 0 || ::fsync(fd) != 0)
        fail(QStringLiteral("cannot flush the temporary file"), errno);
}

PreparedFile::~PreparedFile()
{
    unregisterTemporary(registered_);
    if (!temporary_.isEmpty())
        ::unlink(temporary_.constData());
}

void PreparedFile::fail(const QString& step, int error) const
{
    unregisterTemporary(registered_);
    if (!temporary_.isEmpty())
        ::unlink(temporary_.constData());
    throw EInOutError(QStringLiteral("%1: %2: %3%4").arg(options_.failure.arg(target_), step, SystemErrorText(error),
                                                        options_.unchanged));
}

void PreparedFile::placeAsNew()
{
    const FileDescriptor folder(::open(NativePath(ParentFolder(target_)).constData(),
                                   O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0)
        fail(QStringLiteral("cannot open its folder to flush the rename"), errno);
    if (const auto& hook = beforeReplacingHook())
        hook(target_);
    const int error = RenameNoReplace(temporary_, NativePath(target_));
    if (error == EEXIST)
        fail(QStringLiteral("another file of that name appeared"), error);
    if (error != 0)
        fail(QStringLiteral("cannot create the file"), error);
    unregisterTemporary(registered_);
    registered_ = -1;
    temporary_.clear();
    if (::fsync(folder.get()) != 0)
        throw EInOutError(QStringLiteral("%1: cannot sync its folder: %2").arg(options_.failure.arg(target_), SystemErrorText(errno)));
}

// ---- Replacement

void Replacement::add(PreparedFile& file, const FileIdentity& expected, qsizetype headBytes)
{
    planned_.push_back({&file, expected, headBytes});
}

QString Replacement::place()
{
    // Opened first, so that a folder that cannot be synced changes nothing.
    std::map<QString, std::unique_ptr<FileDescriptor>> folders;
    for (const Planned& plan : planned_) {
        const QString folder = ParentFolder(plan.file->target());
        if (folders.count(folder))
            continue;
        auto fd = std::make_unique<FileDescriptor>(::open(NativePath(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (fd->get() < 0)
            plan.file->fail(QStringLiteral("cannot open its folder to flush the rename"), errno);
        folders.emplace(folder, std::move(fd));
    }
    // A replaced target's old file keeps the temporary's name until every file is in.
    std::vector<PreparedFile*> replaced;
    const auto refuse = [&](const QString& message) {
        QStringList kept;
        for (auto it = replaced.rbegin(); it != replaced.rend(); ++it) {
            PreparedFile& done = **it;
            if (::rename(done.temporary_.constData(), NativePath(done.target()).constData()) == 0)
                done.temporary_.clear();
            else
                kept << QStringLiteral("'%1' was replaced nonetheless: it could not be put back (%2)")
                            .arg(done.target(), SystemErrorText(errno));
        }
        throw EInOutError(kept.isEmpty() ? message : message + QStringLiteral("; ") + kept.join(u"; "));
    };
    for (const Planned& plan : planned_) {
        PreparedFile& file = *plan.file;
        const auto changed = [&] { return file.options_.changed.arg(file.target()); };
        if (const auto& hook = beforeReplacingHook())
            hook(file.target());
        if (!(FileIdentity::of(file.target(), plan.headBytes) == plan.expected))
            refuse(changed());
        const int error = swapIn(file.temporary_, NativePath(file.target()));
        if (error != 0)
            refuse(QStringLiteral("%1: cannot replace the file: %2%3")
                       .arg(file.options_.failure.arg(file.target()), SystemErrorText(error), file.options_.unchanged));
        replaced.push_back(&file);
        // What was replaced must be what was checked, should another writer have stepped in.
        if (!(FileIdentity::of(PathFromNative(file.temporary_), plan.headBytes) == plan.expected))
            refuse(changed());
    }
    for (PreparedFile* file : replaced) {
        ::unlink(file->temporary_.constData());
        unregisterTemporary(file->registered_);
        file->registered_ = -1;
        file->temporary_.clear();
    }
    for (const auto& [folder, fd] : folders) {
        if (::fsync(fd->get()) != 0)
            return QStringLiteral("'%1': %2").arg(folder, SystemErrorText(errno));
    }
    return {};
}

// ---- cleanup and whole-file writes

namespace {

// Removes the temporaries of `name` in `folder` that are older than its lock.
void removeOlderThan(const QDir& folder, const QString& name, const QStringList& entries, const FileLock& lock)
{
    for (const QString& entry : entries) {
        bool isLock = false;
        if (ownerOfHiddenFile(entry, isLock) != name || isLock)
            continue;
        const QByteArray path = NativePath(folder.filePath(entry));
        struct stat st {};
        // A writer holds the lock while its temporary exists: one older than the lock is left over.
        if (::lstat(path.constData(), &st) == 0 && S_ISREG(st.st_mode) && nanoseconds(st.st_mtim) < lock.takenAt())
            ::unlink(path.constData());
    }
}

} // namespace

void RemoveStaleTemporaries(const QString& target)
{
    const QFileInfo info(target);
    const bool wholeFolder = IsFolder(target);
    const QDir folder(wholeFolder ? AbsolutePath(target) : ParentFolder(target));
    const QStringList entries = QuietFolderEntries(folder.path(), EntryKind::Files);
    std::set<QString> owners;
    for (const QString& entry : entries) {
        bool isLock = false;
        const QString owner = ownerOfHiddenFile(entry, isLock);
        if (!owner.isEmpty() && (wholeFolder || owner == info.fileName()))
            owners.insert(owner);
    }
    for (const QString& owner : owners) {
        // Taking the lock and letting it go removes a lock file left behind as well.
        if (const std::unique_ptr<FileLock> lock = FileLock::tryTake(folder.filePath(owner)))
            removeOlderThan(folder, owner, entries, *lock);
    }
}

void RemoveStaleTemporaries(const QString& target, const FileLock& held)
{
    const QString folder = ParentFolder(target);
    removeOlderThan(QDir(folder), QFileInfo(target).fileName(), QuietFolderEntries(folder, EntryKind::Files), held);
}

namespace {

constexpr std::chrono::milliseconds kOutputLockWait{3000};

void placeOver(const QString& target, const QByteArray& bytes, FileOptions options, bool mayReplace)
{
    RemoveStaleTemporaries(ParentFolder(target));
    const FileLock lock(target, kOutputLockWait, QStringLiteral("file"));
    const FileIdentity before = FileIdentity::of(target);
    struct stat st {};
    if (before.exists() || ::lstat(NativePath(target).constData(), &st) == 0) {
        if (!mayReplace)
            throw EInOutError(QStringLiteral("%1: the file already exists").arg(options.failure.arg(target)));
        if (::stat(NativePath(target).constData(), &st) != 0 || !S_ISREG(st.st_mode))
            throw EInOutError(QStringLiteral("%1: it is not a regular file").arg(options.failure.arg(target)));
        options.mode = st.st_mode & 07777;
        PreparedFile file(target, bytes, options);
        Replacement replacement;
        replacement.add(file, before);
        const QString unflushed = replacement.place();
        if (!unflushed.isEmpty())
            throw EInOutError(QStringLiteral("%1: cannot sync its folder %2").arg(options.failure.arg(target), unflushed));
        return;
    }
    PreparedFile(target, bytes, std::move(options)).placeAsNew();
}

} // namespace

void WriteNewFile(const QString& target, const QByteArray& bytes, FileOptions options)
{
    placeOver(target, bytes, std::move(options), false);
}

void ReplaceFile(const QString& target, const QByteArray& bytes, FileOptions options)
{
    placeOver(target, bytes, std::move(options), true);
}

int RenameNoReplace(const QByteArray& from, const QByteArray& to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return errno;
    if (::link(from.constData(), to.constData()) != 0)
        return errno;
    ::unlink(from.constData());
    return 0;
}

void RemoveTemporariesOnSignals()
{
    struct sigaction action {};
    action.sa_handler = removeTemporariesAndEnd;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

namespace test {
void SetBeforeReplacing(std::function<void(const QString& target)> hook)
{
    beforeReplacingHook() = std::move(hook);
}
} // namespace test

} // namespace parvelle
