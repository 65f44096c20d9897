#pragma once
// Every file this program writes whole (hives, undo files, recovered hives, theme files)
// goes through here: written to a hidden temporary beside its target and synced, checked
// once more, then renamed into place; several files are placed all or none. A writer
// holds the target's lock (FileLock) while its temporary exists, which is how the next
// writer tells a temporary left by a killed one. Errors are EInOutError.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <sys/types.h>
#include <vector>

namespace parvelle {

// A file descriptor closed when it goes out of scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor();
    int get() const { return fd_; }

private:
    int fd_;
};

// What tells one state of a file from another without reading it whole.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = -1;       // -1: there is no such file
    int64_t modified = 0;    // ns since 1970
    QByteArray head;         // its first bytes, as many as asked for
    bool operator==(const FileIdentity&) const = default;
    bool exists() const { return size >= 0; }

    // `headBytes` of the file's start are read too (a hive's sequence numbers change
    // with every save, whatever its time stamp says).
    static FileIdentity of(const QString& path, qsizetype headBytes = 0);
};

// The exclusive advisory lock of a file that is replaced whole, taken by every writer in
// any process: a lock file beside it (a lock on the file itself would go with the old
// file), holding the holder's process id and removed when it lets go.
class FileLock {
public:
    // Waits up to `wait`; `what` names the kind of file in messages ("hive file"). Throws
    // EInOutError, naming the holder's process id when known, when the wait runs out.
    FileLock(const QString& target, std::chrono::milliseconds wait, const QString& what);
    // The lock when it is free at once, else nullptr.
    static std::unique_ptr<FileLock> tryTake(const QString& target);
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();

    // When the lock was taken, by the clock of the file's file system (ns since 1970).
    int64_t takenAt() const { return takenAt_; }

private:
    explicit FileLock(QByteArray lockPath) : lockPath_(std::move(lockPath)) {}
    bool attempt(const QString& what);
    int64_t holder() const;

    QByteArray lockPath_;
    int fd_ = -1;
    int64_t takenAt_ = 0;
};

// How a new file is made. "%1" stands for the target in the messages: `failure` starts
// every message ("Cannot save the hive file '%1'"), `unchanged` ends those of a failure
// that left the target as it was, `changed` tells that another program changed it.
struct FileOptions {
    QString failure = QStringLiteral("Cannot write '%1'");
    QString unchanged;
    QString changed = QStringLiteral("'%1' was changed by another program meanwhile; it was left as it is");
    mode_t mode = 0644;
    bool keepOwner = false;   // the new file gets the owner and group of `owner`
    uid_t ownerUser = 0;
    gid_t ownerGroup = 0;
};

// A new content of `target`, written and synced into a hidden temporary beside it
// (".NAME.parvelle-XXXXXX"). The caller holds the target's FileLock until the object is
// gone. Destroying it removes the temporary (or, after a replacement, the old file).
class PreparedFile {
public:
    // Throws, leaving nothing behind, when the temporary cannot be written whole.
    PreparedFile(const QString& target, const QByteArray& bytes, FileOptions options = {});
    // The file made of `pieces` one after the other. Whole pages at page boundaries go to
    // the disk without passing through the page cache where the file system allows it,
    // so that a large file does not first take its size in new memory.
    PreparedFile(const QString& target, const std::vector<QByteArrayView>& pieces, FileOptions options = {});
    PreparedFile(const PreparedFile&) = delete;
    PreparedFile& operator=(const PreparedFile&) = delete;
    ~PreparedFile();

    const QString& target() const { return target_; }
    // Gives the temporary the target's name where no file is; refuses, removing the
    // temporary, when one appeared. Then syncs the folder.
    void placeAsNew();

private:
    friend class Replacement;
    [[noreturn]] void fail(const QString& step, int error) const;

    QString target_;
    FileOptions options_;
    QByteArray temporary_;   // native path; empty once nothing is left there
    int registered_ = -1;    // slot in the list a signal empties
};

// Puts prepared files in place of their targets, all or none: each target is checked to
// be still as expected just before its file goes in, and after; when one cannot be
// replaced, those already replaced are put back. Then the folders are synced.
class Replacement {
public:
    // `expected`: the target as read before its new content was made.
    void add(PreparedFile& file, const FileIdentity& expected, qsizetype headBytes = 0);
    // Throws, every target as it was, naming the file that failed and why (its
    // `changed` message for a target another program changed meanwhile). Returns the
    // folder that could not be synced after the files were placed and why (empty when
    // every one was).
    [[nodiscard]] QString place();

private:
    struct Planned {
        PreparedFile* file;
        FileIdentity expected;
        qsizetype headBytes;
    };
    std::vector<Planned> planned_;
};

// Removes the temporaries and lock files that writers of `target` (or of any file of the
// folder, when `target` names a folder) left when they were killed: temporaries older
// than their target's lock, taken here while it is free.
void RemoveStaleTemporaries(const QString& target);
// The same for `target` alone, whose lock the caller holds.
void RemoveStaleTemporaries(const QString& target, const FileLock& held);

// A new file `target` with `bytes`, under its lock: never replaces one (EInOutError).
void WriteNewFile(const QString& target, const QByteArray& bytes, FileOptions options = {});
// `target` replaced by `bytes` (or made), under its lock; keeps its permissions.
void ReplaceFile(const QString& target, const QByteArray& bytes, FileOptions options = {});

// Renames `from` to `to` unless a file `to` exists; filesystems without an exclusive
// rename get a hard link instead. Returns 0, or the errno of the failure (EEXIST when `to`
// exists); `from` is left where it was when it fails.
int RenameNoReplace(const QByteArray& from, const QByteArray& to);

// SIGINT, SIGTERM and SIGHUP remove the temporaries being written before the process ends.
void RemoveTemporariesOnSignals();

namespace test {
// Called just before each target is replaced (tests make another writer step in there).
void SetBeforeReplacing(std::function<void(const QString& target)> hook);
}

} // namespace parvelle
