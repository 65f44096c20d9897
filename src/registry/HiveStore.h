#pragma once
// A registry hive file: read from its bytes in memory, changed and saved through hivex.
#include "RegfImage.h"
#include "RegistryStore.h"

#include <memory>
#include <unordered_map>
#include <unordered_set>

struct hive_h;

namespace parvelle {

class HiveStore : public RegistryStore {
public:
    enum class Access { Auto, ReadOnly };

    // Opens the hive writable when the file and its folder are writable, it was closed
    // cleanly and `access` allows it; read-only otherwise (see readOnlyReason()).
    // Throws EHiveError naming the file when it is missing, unreadable or corrupt.
    explicit HiveStore(const QString& filePath, Access access = Access::Auto);
    ~HiveStore() override;
    HiveStore(const HiveStore&) = delete;
    HiveStore& operator=(const HiveStore&) = delete;

    // Writes a new hive file holding the keys and values of `tree` (createEmpty: only a
    // root key); refuses to replace an existing file. Throws EHiveError.
    static void createFrom(const QString& filePath, const RegistryStore& tree);
    static void createEmpty(const QString& filePath);

    const QString& filePath() const { return filePath_; }

    NodeId root() const override;
    using RegistryStore::child;
    std::optional<NodeId> child(NodeId parent, QStringView name) const override;
    std::vector<NodeId> children(NodeId node) const override;
    QStringList childNames(NodeId node) const override;
    QString name(NodeId node) const override;
    uint64_t lastWriteTime(NodeId node) const override;
    std::vector<RegValue> values(NodeId node) const override;
    std::optional<RegValue> value(NodeId node, const QString& name) const override;

    NodeId addChild(NodeId parent, const QString& name) override;
    void deleteNode(NodeId node) override;
    void setValue(NodeId node, const RegValue& value) override;
    bool eraseValue(NodeId node, const QString& name) override;

    bool isWritable() const override { return readOnlyReason_.isEmpty(); }
    QString readOnlyReason() const override { return readOnlyReason_; }
    bool isModified() const override { return modified_; }
    void commit() override;   // atomic: temp file beside the hive, fsync, rename, fsync folder
    QString describe() const override { return filePath_; }

private:
    // Subkeys of one key with an index by name, built on first use.
    struct ChildIndex {
        std::vector<NodeId> order;
        QStringList names;   // in the same order
        NameMap<NodeId> byName;
    };
    struct FileIdentity {
        uint64_t device = 0;
        uint64_t inode = 0;
        int64_t size = -1;
        int64_t modified = 0;
        bool operator==(const FileIdentity&) const = default;
    };
    static FileIdentity identityOf(const QString& path);

    const ChildIndex& childIndex(NodeId node) const;
    // Values of one key read through hivex, kept after the first read.
    const std::vector<RegValue>& cachedValues(NodeId node) const;
    // Reads from the file image until the first write opens hivex, then from hivex.
    std::vector<NodeId> rawChildren(NodeId node) const;
    QString rawName(NodeId node) const;
    std::vector<RegValue> rawValues(NodeId node) const;
    hive_h* writableHive(NodeId node);
    // Refuses to overwrite a file that another program replaced or changed meanwhile.
    void requireUnchangedOnDisk() const;
    // Windows stamps a key when its values or subkeys change; hivex does not, so the
    // times are kept here and written into the saved file.
    void touch(NodeId node);
    bool stampWriteTimes(const QString& file) const;
    bool isLive(NodeId node) const;
    void requireWritable(NodeId node) const;
    void replaceValues(NodeId node, const std::vector<RegValue>& values);
    void collectSubtree(NodeId node, std::vector<NodeId>& ids) const;
    [[noreturn]] void fail(const QString& what) const;

    QString filePath_;
    FileIdentity identity_;
    std::unique_ptr<RegfImage> image_;
    NodeId root_ = 0;
    hive_h* hive_ = nullptr;
    QString readOnlyReason_;
    bool modified_ = false;
    std::unordered_set<NodeId> deleted_;
    mutable std::unordered_map<NodeId, ChildIndex> childIndexes_;
    mutable std::unordered_map<NodeId, std::vector<RegValue>> valueCache_;
    std::unordered_map<NodeId, uint64_t> writeTimes_;
};

} // namespace parvelle
