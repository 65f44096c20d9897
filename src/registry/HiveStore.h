#pragma once
// A registry hive file: read into memory, changed there and saved whole, atomically.
#include "HiveLogs.h"
#include "RegfEditor.h"
#include "RegistryStore.h"
#include "core/SafeFile.h"

#include <atomic>
#include <memory>
#include <thread>
#include <unordered_map>
#include <unordered_set>

namespace parvelle {

class HiveStore : public RegistryStore {
public:
    // How long a second writer waits for the hive's lock before it gives up.
    static constexpr std::chrono::milliseconds kLockWait{3000};
    enum class Access { Auto, ReadOnly };

    // Opens the hive writable when the file and its folder are writable, it has no other
    // hard link, it was closed cleanly and `access` allows it; read-only otherwise (see
    // readOnlyReason()). Opening reads only (without changing the file's access time where
    // permitted): nothing is locked, created or removed beside the hive until a change is
    // about to be made, when the temporary files left by a save that crashed go. A hive
    // not closed cleanly is read with its transaction logs replayed
    // in memory: those beside it, or `logPaths` when given. Throws EHiveError naming the
    // file when it is missing, unreadable or corrupt.
    explicit HiveStore(const QString& filePath, Access access = Access::Auto);
    HiveStore(const QString& filePath, Access access, const QStringList& logPaths);
    HiveStore(const HiveStore&) = delete;
    HiveStore& operator=(const HiveStore&) = delete;
    ~HiveStore() override;

    // Writes a new hive file holding the keys and values of `tree` (createEmpty: only a
    // root key); refuses to replace an existing file. Throws EHiveError.
    static void createFrom(const QString& filePath, const RegistryStore& tree);
    static void createEmpty(const QString& filePath);

    const QString& filePath() const { return filePath_; }

    // The hive was not closed cleanly and its logs could not bring it up to date.
    bool isDirty() const { return dirty_; }
    // What was wrong with its transaction logs when it was last read.
    const std::vector<LogProblem>& logProblems() const { return logProblems_; }
    // Writes the hive as read (its logs applied) into a new hive file `target`, clean and
    // without the bytes that followed the hive bins; refuses an existing file, a dirty hive
    // and one with damage anywhere it reaches. Throws EHiveError.
    void saveCleanCopy(const QString& target);

    NodeId root() const override;
    using RegistryStore::child;
    std::optional<NodeId> child(NodeId parent, QStringView name) const override;
    std::vector<NodeId> children(NodeId node) const override;
    QStringList childNames(NodeId node) const override;
    QString name(NodeId node) const override;
    uint64_t lastWriteTime(NodeId node) const override;
    std::vector<RegValue> values(NodeId node) const override;
    std::optional<RegValue> value(NodeId node, const QString& name) const override;
    QStringView nameView(NodeId node, NameBuffer& buffer) const override;
    void visitValues(NodeId node, const ValueVisitor& visit) const override;
    void visitKey(NodeId node, NameBuffer& buffer, QStringView& name, const ValueVisitor& visit) const override;
    void prefetch(NodeId node) const override { image_->prefetch(node); }

    NodeId addChild(NodeId parent, const QString& name) override;
    void deleteNode(NodeId node) override;
    void setValue(NodeId node, const RegValue& value) override;
    bool eraseValue(NodeId node, const QString& name) override;

    bool isWritable() const override { return readOnlyReason_.isEmpty(); }
    QString readOnlyReason() const override { return readOnlyReason_; }
    bool isModified() const override { return modified_; }
    // Atomic: under the hive's lock, a temp file beside the hive, fsync, rename, fsync
    // folder. Refuses, saving nothing, when another program changed the file since it
    // was read (checked again just before and after the rename) or the new file cannot
    // keep the hive's owner.
    void commit() override;
    std::unique_ptr<PreparedCommit> prepareCommit() override;
    std::unique_ptr<StoreLock> lockForChanges() override;
    // The copy of the file, its checks and free cells, and the names of the subkeys of the
    // keys listed so far that have many; taken by the first change, and by the first
    // lookup by name below such a key, once the file is found as read.
    void prepareForChanges() override;
    QString describe() const override { return filePath_; }
    bool reloadIfChangedOnDisk() override;
    std::unique_ptr<StoreLock> lockAndReload() override;
    void discardChanges() override { load(); }
    QString note() const override { return note_; }
    QStringList warnings() const override { return image_->keysInFreeCells(); }

private:
    static constexpr qsizetype kMaxKeyName = 255;      // Windows' limits
    static constexpr qsizetype kMaxValueName = 16383;

    // Subkeys of one key, built on first use; their names are read, and indexed, only when
    // asked for: a listing that goes through the keys in order needs neither.
    struct ChildIndex {
        std::vector<NodeId> order;
        mutable QStringList names;   // in the same order; empty for a damaged key
        mutable QString damage;      // why a subkey is unreadable (the first one); empty when none is
        mutable bool namesRead = false;
        mutable NameMap<NodeId> byName;   // built on the first lookup by name
        mutable bool byNameBuilt = false;
        bool inWindowsOrder = false;   // checked, and sorted when it was not
    };
    // Puts a list read from a file into Windows' order before it is changed, should a
    // tool that sorts otherwise have written it.
    static void sortLikeWindows(ChildIndex& index);
    // Reads the names of the index's subkeys, noting the first damage; indexes them. Both
    // give up, returning false, once `cancelled` turns true.
    static bool readNames(const RegfImage& image, ChildIndex& index, const std::atomic<bool>* cancelled = nullptr);
    static bool indexNames(const ChildIndex& index, const std::atomic<bool>* cancelled = nullptr);
    static bool isCancelled(const std::atomic<bool>* cancelled, qsizetype done);   // checked every so many
    // Keys with at least so many subkeys get their names read ahead (prepareForChanges).
    static constexpr size_t kManySubkeys = 1000;
    static constexpr qsizetype kIdentityHead = 12;   // signature and both sequence numbers
    static FileIdentity identityOf(const QString& path);

    class HeldLock;
    class PreparedSave;
    class Preparation;
    // The hive's lock for one user; taken from other processes on the first.
    std::unique_ptr<StoreLock> holdLock();

    // Reads the file into a new image, dropping every change not committed, and decides
    // whether it may be written.
    void load();
    // Frees an image no longer read on a thread of its own: when another program replaced
    // the file, the last mapping of the old one frees its pages, tens of milliseconds for
    // a large hive.
    void release(std::unique_ptr<RegfEditor> old);
    // The file read into a new image, with its transaction logs replayed when it is dirty;
    // the saved state when the replayed one is broken.
    std::unique_ptr<RegfEditor> readWithLogs(LogReplay& replay) const;
    const ChildIndex& childIndex(NodeId node) const;
    const ChildIndex& namedChildIndex(NodeId node) const;   // with the names read
    const NameMap<NodeId>& namesIndex(NodeId node) const;
    // Refuses to overwrite a file that another program replaced or changed meanwhile.
    void requireUnchangedOnDisk() const;
    // Refuses when the file the image maps (which the hive's name may no longer give, after
    // a save) was changed since it was read: the image's pages not yet copied are its own.
    void requireMappedFileAsRead() const;
    [[noreturn]] void throwMissing() const;
    bool isLive(NodeId node) const;
    bool valuesAsRead(NodeId node) const;   // live, its values not changed here
    void requireWritable(NodeId node);
    // Before the first change and under the lock: the file is as read, and its image
    // (the prepared copy, when there is one) whole and free of keys in free cells.
    void readyForChanges();
    // Throws while a key was read from a cell marked free: a change could reuse that cell.
    void requireNoKeysInFreeCells() const;
    void requireIntactSubkeys(NodeId node) const;   // throws while a subkey of node is damaged
    // A key whose values or subkeys change gets the current time, as Windows stamps it.
    void touch(NodeId node);
    void changeValues(NodeId node, std::vector<RegValue> values);
    void collectSubtree(NodeId node, std::vector<NodeId>& ids) const;
    // Writes the pending changes into the image: each changed key's lists once.
    void applyChanges();

    QString filePath_;
    Access access_;
    QStringList logPaths_;
    FileIdentity identity_;
    std::unique_ptr<RegfEditor> image_;
    QString readOnlyReason_;
    QString note_;
    std::vector<LogProblem> logProblems_;
    bool dirty_ = false;
    bool modified_ = false;
    std::unique_ptr<FileLock> lock_;
    int lockUsers_ = 0;
    std::unordered_set<NodeId> deleted_;
    mutable std::unordered_map<NodeId, ChildIndex> childIndexes_;
    // Changes not yet in the image.
    std::unordered_set<NodeId> changedSubkeys_;
    std::unordered_map<NodeId, std::vector<RegValue>> changedValues_;
    std::unordered_map<NodeId, uint64_t> writeTimes_;
    std::unique_ptr<Preparation> preparation_;   // for the current reading of the file
    std::jthread releasing_;   // an image read before, being freed
};

} // namespace parvelle
