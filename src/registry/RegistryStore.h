#pragma once
// One registry tree (a hive file, or memory for tests) addressed by node handles.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVarLengthArray>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace parvelle {

// Windows value type numbers.
enum RegType : uint32_t {
    REG_NONE = 0, REG_SZ = 1, REG_EXPAND_SZ = 2, REG_BINARY = 3, REG_DWORD = 4,
    REG_DWORD_BIG_ENDIAN = 5, REG_LINK = 6, REG_MULTI_SZ = 7, REG_RESOURCE_LIST = 8,
    REG_FULL_RESOURCE_DESCRIPTOR = 9, REG_RESOURCE_REQUIREMENTS_LIST = 10, REG_QWORD = 11,
};

// "REG_SZ", ... as the registry editor names the type; an unknown type in hexadecimal.
QString ValueTypeName(uint32_t type);

struct RegValue {
    QString name;       // empty = the key's default value
    uint32_t type = REG_NONE;
    QByteArray data;    // bytes exactly as stored (strings are UTF-16LE)
};

using NodeId = uint64_t;   // 0 is never a valid node

// How many keys ahead a walk over many keys asks for their memory (RegistryStore::prefetch).
constexpr size_t kPrefetchAhead = 2;

// Room for a name read without a string of its own: a key's name fits in it.
using NameBuffer = QVarLengthArray<char16_t, 256>;
// Takes one value of a key: its name, its type and its bytes, all valid during the call.
using ValueVisitor = std::function<void(QStringView name, uint32_t type, QByteArrayView data)>;

// The current time as a Windows FILETIME (100 ns units since 1601-01-01 UTC).
uint64_t CurrentFileTime();

// One UTF-16 unit upper-cased as Windows does it for names: one unit to one unit (ß and
// the halves of a surrogate pair stay as they are), and no other character becomes an
// ASCII letter (dotless i, long s).
char16_t UpcaseBeyondAscii(char16_t unit);
inline char16_t UpcaseUnit(char16_t unit)
{
    if (unit < 0x80)   // inline: names are mostly ASCII, and compared by the thousand
        return unit >= u'a' && unit <= u'z' ? char16_t(unit - (u'a' - u'A')) : unit;
    return UpcaseBeyondAscii(unit);
}
// Key and value names compare unit by unit after UpcaseUnit, as Windows compares them;
// NameHash agrees with SameName.
bool SameName(QStringView a, QStringView b);
size_t NameHash(QStringView name);
// The order in which Windows keeps sibling keys and looks them up by bisection: by the
// upper-cased units as numbers, a name before any longer name it begins.
bool NameLess(QStringView a, QStringView b);
// That order as a comparison: negative, zero (the same name) or positive.
int NameCompare(QStringView a, QStringView b);

struct NameHasher {
    using is_transparent = void;
    size_t operator()(QStringView name) const { return NameHash(name); }
};
struct NameEqual {
    using is_transparent = void;
    bool operator()(QStringView a, QStringView b) const { return SameName(a, b); }
};
template <typename T>
using NameMap = std::unordered_map<QString, T, NameHasher, NameEqual>;

// Held by one operation that reads, records and then changes a store: no other process
// changes the store's file meanwhile. Released when destroyed.
class StoreLock {
public:
    virtual ~StoreLock() = default;
};

class Replacement;

// A store's commit made ready: its new file written and synced beside the old one, the
// store's lock held. Destroying it before placed() drops the new file.
class PreparedCommit {
public:
    virtual ~PreparedCommit() = default;
    virtual void addTo(Replacement& replacement) = 0;
    virtual void placed() = 0;   // the new file is in place
};

// Contract shared by HiveStore and MemoryStore:
// - names compare case-insensitively (as Windows does) and keep their stored spelling;
// - subkeys enumerate in stored order, which is sorted by name ignoring letter case as a
//   hive keeps them (a new subkey is inserted at its place); values in stored order (a new
//   one is appended);
// - node handles stay valid until their key (or an ancestor) is deleted; after that they
//   read as empty and refuse writes;
// - a key whose values or subkeys change gets the current time as its last write time;
// - write operations throw EHiveError when the store is read-only;
// - a subkey whose key cell is damaged is still enumerated, with an empty name; reading it
//   raises EHiveError, and the subkeys of its parent are not changed; a lookup by name that
//   does not find the name among the readable subkeys raises EHiveError, for the damaged
//   one may be it;
// - changes reach the disk only through commit();
// - nameView(), visitValues(), visitKey() and prefetch() may be called on several threads
//   at once while the store is not changed.
class RegistryStore {
public:
    virtual ~RegistryStore() = default;

    virtual NodeId root() const = 0;
    virtual std::optional<NodeId> child(NodeId parent, QStringView name) const = 0;
    std::optional<NodeId> child(NodeId parent, const QString& name) const { return child(parent, QStringView(name)); }
    virtual std::vector<NodeId> children(NodeId node) const = 0;
    virtual QStringList childNames(NodeId node) const;              // names of children(), same order
    virtual QString name(NodeId node) const = 0;
    virtual uint64_t lastWriteTime(NodeId node) const = 0;   // FILETIME
    virtual std::vector<RegValue> values(NodeId node) const = 0;
    virtual std::optional<RegValue> value(NodeId node, const QString& name) const = 0;
    // As name() and values(), for reading many keys: the name read into `buffer` (the view
    // is valid while it is and the store is unchanged) and the values shown to `visit`
    // where they lie, failing as name() and values() fail.
    virtual QStringView nameView(NodeId node, NameBuffer& buffer) const;
    virtual void visitValues(NodeId node, const ValueVisitor& visit) const;
    // Both at one reading of the key: `name` is set before the values are visited, and
    // stays set when one of them fails.
    virtual void visitKey(NodeId node, NameBuffer& buffer, QStringView& name, const ValueVisitor& visit) const;
    // A hint that the key is read soon, for walks over many keys: its memory is asked for
    // ahead where that helps.
    virtual void prefetch(NodeId) const {}

    virtual NodeId addChild(NodeId parent, const QString& name) = 0;      // existing child: returned as is
    virtual void deleteNode(NodeId node) = 0;                            // with its whole subtree; not the root
    virtual void setValue(NodeId node, const RegValue& value) = 0;        // replaces a value of that name
    virtual bool eraseValue(NodeId node, const QString& name) = 0;        // false when missing

    virtual bool isWritable() const = 0;
    virtual QString readOnlyReason() const = 0;   // empty when writable
    virtual bool isModified() const = 0;          // changes not yet committed
    virtual void commit() = 0;                    // throws EHiveError; no-op when unmodified
    // The first half of a commit of several stores together (see CommitTogether); a store
    // without a file commits here and returns nullptr.
    virtual std::unique_ptr<PreparedCommit> prepareCommit()
    {
        commit();
        return nullptr;
    }
    // Locks the store's file against other writers until the lock is destroyed, after
    // checking that the file still holds what the store read; throws EHiveError when
    // another writer keeps it or changed it. Nothing to lock (memory, read-only): nullptr.
    virtual std::unique_ptr<StoreLock> lockForChanges() { return nullptr; }
    // Works out ahead, on a thread of its own, what the first change would otherwise do
    // then (for a hive file: its whole-file checks and copy): for a program about to wait
    // for its user. The results serve only while the file is as read.
    virtual void prepareForChanges() {}
    virtual QString describe() const = 0;         // file path or "memory"
    virtual QString note() const { return {}; }   // how it was opened, when worth telling (one line)
    // Damage read past so far (a key whose cell is marked free, read as it stands), one
    // line each; the store is then not changed.
    virtual QStringList warnings() const { return {}; }

    // Reads the store again from its file when another program changed the file since it
    // was read and no change is pending here; true when it did. Node handles taken before
    // a reload are void. Throws EHiveError (keeping the old contents) when the changed file
    // cannot be read.
    virtual bool reloadIfChangedOnDisk() { return false; }
    // Locks the store's file against other writers (nullptr when there is nothing to
    // lock), then reads it again as reloadIfChangedOnDisk does: an operation that starts
    // so works on what the file holds now, and nobody changes it until the lock goes.
    virtual std::unique_ptr<StoreLock> lockAndReload()
    {
        reloadIfChangedOnDisk();
        return nullptr;
    }
    // Drops the changes not yet committed by reading the file again (after a failed
    // commit, so that the store shows what the file holds). Throws EHiveError, keeping
    // the changes, when the file cannot be read.
    virtual void discardChanges() {}

    // Resolves a backslash-separated path below `from` (empty path = `from`).
    std::optional<NodeId> find(NodeId from, const QString& path) const;

    // Counts what changed the store's contents: every change made here and every reading
    // of its file. What was read from the store while the count stayed is still true.
    uint64_t revision() const { return revision_; }
    // Counts the readings of its file alone (the first one included).
    uint64_t readings() const { return readings_; }

protected:
    void countChange() { ++revision_; }
    void countReading()
    {
        ++revision_;
        ++readings_;
    }

private:
    uint64_t revision_ = 0;
    uint64_t readings_ = 0;
};

// Commits the modified stores all or none: every new file is written and synced first,
// then they are put in place; when one cannot be, those already placed are put back.
// Throws EHiveError saying what was saved (nothing, unless a file could not be put back).
void CommitTogether(const std::vector<RegistryStore*>& stores);

} // namespace parvelle
