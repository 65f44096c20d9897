#pragma once
// A Windows machine's registry made of hive files mounted under the root keys.
#include "RegistryStore.h"
#include "RootKeys.h"

#include <QStringList>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace parvelle {

// A key of the machine: a node of a mounted store, or a virtual key (a root, or a key
// above a mount point such as HKEY_LOCAL_MACHINE) that only lists mount points.
struct KeyRef {
    HKEY root = 0;
    QString path;                    // below the root, no leading backslash
    RegistryStore* store = nullptr;  // nullptr for a virtual key
    NodeId node = 0;
};

class Machine {
public:
    struct Mount {
        HKEY root;
        QString path;                // "" (the root itself), "SOFTWARE", "SYSTEM", ...
        std::shared_ptr<RegistryStore> store;
    };

    // Throws EParvelleError for an unknown root or a path overlapping another mount.
    void mount(HKEY root, const QString& path, std::shared_ptr<RegistryStore> store);
    const std::vector<Mount>& mounts() const { return mounts_; }
    // Why no hive is mounted under a root that could have one (several user profiles and
    // none chosen): opening a key below that root then throws EHiveError with the reason.
    void setUnmountedReason(HKEY root, const QString& reason);
    // The stores' notes on how they were opened (a hive's transaction logs), each once.
    QStringList notes() const;
    // The stores' warnings of damage read past (see RegistryStore::warnings), each once.
    QStringList warnings() const;

    // Key resolution; paths are relative to the base, components separated by '\\',
    // letter case ignored. Throws EHiveError below a root with an unmounted reason.
    std::optional<KeyRef> rootKey(HKEY root) const;
    std::optional<KeyRef> open(const KeyRef& base, const QString& path) const;
    // Opens, creating missing keys; nullopt where a key would have to be created directly
    // under a root or a virtual key, or in a read-only store. Throws EHiveError when the
    // store fails to add a key (a damaged hive, or one changed by another program).
    std::optional<KeyRef> create(const KeyRef& base, const QString& path);
    QStringList subkeyNames(const KeyRef& key) const;
    bool isWritable(const KeyRef& key) const;

    // Reads again every store whose file another program changed since it was read (see
    // RegistryStore::reloadIfChangedOnDisk); key references taken before are void then.
    void reloadChangedStores();
    // The same under each store's lock against other writers, held until the returned
    // locks are destroyed.
    std::vector<std::unique_ptr<StoreLock>> lockAndReloadStores();
    // Has every store work out ahead what its first change needs (see
    // RegistryStore::prepareForChanges).
    void prepareForChanges();
    // The sums of the stores' RegistryStore::revision() and readings(): a listing made
    // when the revision was what it is now still shows the machine as it is.
    uint64_t revision() const;
    uint64_t readings() const;

    // Drops the uncommitted changes of every store (see RegistryStore::discardChanges).
    void discardChanges();

    // Commits every store with uncommitted changes, all or none (CommitTogether).
    void commit();

private:
    // Calls visit(RegistryStore&) once per store, however often it is mounted.
    template <class Visit>
    void forEachStore(Visit visit) const;
    const Mount* mountAt(HKEY root, const QString& path) const;
    bool hasMountBelow(HKEY root, const QString& path) const;
    // Moves `key` down to its subkey `name` (a mount point included); false when missing.
    // Keeps `key.path` only while the key is virtual.
    bool descend(KeyRef& key, QStringView name) const;

    std::vector<Mount> mounts_;
    std::map<HKEY, QString> unmountedReasons_;
};

} // namespace parvelle
