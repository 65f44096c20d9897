#include "Machine.h"

#include "core/Errors.h"

#include <QStringTokenizer>
#include <algorithm>
#include <set>

namespace parvelle {

namespace {

QString joinPath(const QString& parent, const QString& child)
{
    return parent.isEmpty() ? child : parent + QLatin1Char('\\') + child;
}

// True when `inner` is `outer` itself or lies below it (letter case ignored).
bool isSameOrBelow(const QString& inner, const QString& outer)
{
    if (outer.isEmpty())
        return true;
    return SameName(inner, outer)
        || (inner.size() > outer.size() && inner.at(outer.size()) == QLatin1Char('\\')
            && SameName(inner.left(outer.size()), outer));
}

QStringList splitPath(const QString& path)
{
    return path.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
}

// The path without empty components (doubled, leading or trailing backslashes).
QString cleanPath(const QString& path)
{
    const bool clean = !path.startsWith(QLatin1Char('\\')) && !path.endsWith(QLatin1Char('\\'))
        && !path.contains(QLatin1String("\\\\"));
    return clean ? path : splitPath(path).join(QLatin1Char('\\'));
}

} // namespace

void Machine::mount(HKEY root, const QString& path, std::shared_ptr<RegistryStore> store)
{
    if (RootName(root).isEmpty())
        throw EParvelleError(QStringLiteral("Cannot mount a registry under an unknown root key"));
    if (!store)
        throw EParvelleError(QStringLiteral("Cannot mount a missing registry"));
    const QString clean = splitPath(path).join(QLatin1Char('\\'));
    for (const Mount& m : mounts_) {
        if (m.root == root && (isSameOrBelow(clean, m.path) || isSameOrBelow(m.path, clean)))
            throw EParvelleError(QStringLiteral("Cannot mount '%1' at %2: it overlaps '%3'")
                                     .arg(store->describe(), joinPath(RootName(root), clean),
                                          m.store->describe()));
    }
    mounts_.push_back({root, clean, std::move(store)});
}

void Machine::setUnmountedReason(HKEY root, const QString& reason)
{
    unmountedReasons_[root] = reason;
}

const Machine::Mount* Machine::mountAt(HKEY root, const QString& path) const
{
    for (const Mount& m : mounts_) {
        if (m.root == root && SameName(m.path, path))
            return &m;
    }
    return nullptr;
}

bool Machine::hasMountBelow(HKEY root, const QString& path) const
{
    for (const Mount& m : mounts_) {
        if (m.root == root && isSameOrBelow(m.path, path) && !SameName(m.path, path))
            return true;
    }
    return false;
}

std::optional<KeyRef> Machine::rootKey(HKEY root) const
{
    if (RootName(root).isEmpty())
        return std::nullopt;
    if (const Mount* m = mountAt(root, QString()))
        return KeyRef{root, QString(), m->store.get(), m->store->root()};
    return KeyRef{root, QString(), nullptr, 0};
}

bool Machine::descend(KeyRef& key, QStringView name) const
{
    if (key.store) {
        const std::optional<NodeId> node = key.store->child(key.node, name);
        if (!node)
            return false;
        key.node = *node;
        return true;   // the caller sets the final path once
    }
    const QString next = joinPath(key.path, name.toString());
    if (const Mount* m = mountAt(key.root, next)) {
        key.store = m->store.get();
        key.node = m->store->root();
    } else if (!hasMountBelow(key.root, next)) {
        if (const auto reason = unmountedReasons_.find(key.root); reason != unmountedReasons_.end())
            throw EHiveError(reason->second);
        return false;
    }
    key.path = next;
    return true;
}

std::optional<KeyRef> Machine::open(const KeyRef& base, const QString& path) const
{
    KeyRef key = base;
    for (QStringView part : QStringTokenizer(path, u'\\', Qt::SkipEmptyParts)) {
        if (!descend(key, part))
            return std::nullopt;
    }
    key.path = joinPath(base.path, cleanPath(path));
    return key;
}

std::optional<KeyRef> Machine::create(const KeyRef& base, const QString& path)
{
    KeyRef key = base;
    for (QStringView part : QStringTokenizer(path, u'\\', Qt::SkipEmptyParts)) {
        if (descend(key, part))
            continue;
        if (!key.store || !key.store->isWritable())
            return std::nullopt;   // not under a root, a virtual key or in a read-only hive
        key.node = key.store->addChild(key.node, part.toString());
    }
    key.path = joinPath(base.path, cleanPath(path));
    return key;
}

QStringList Machine::subkeyNames(const KeyRef& key) const
{
    QStringList names;
    if (key.store)
        return key.store->childNames(key.node);
    for (const Mount& m : mounts_) {
        if (m.root != key.root || SameName(m.path, key.path) || !isSameOrBelow(m.path, key.path))
            continue;
        const QString below = key.path.isEmpty() ? m.path : m.path.mid(key.path.size() + 1);
        const QString first = below.section(QLatin1Char('\\'), 0, 0);
        const bool known = std::any_of(names.cbegin(), names.cend(),
                                       [&](const QString& n) { return SameName(n, first); });
        if (!known)
            names.append(first);
    }
    std::sort(names.begin(), names.end(), NameLess);
    return names;
}

bool Machine::isWritable(const KeyRef& key) const
{
    return key.store && key.store->isWritable();
}

template <class Visit>
void Machine::forEachStore(Visit visit) const
{
    std::set<RegistryStore*> done;
    for (const Mount& m : mounts_) {
        if (done.insert(m.store.get()).second)
            visit(*m.store);
    }
}

QStringList Machine::notes() const
{
    QStringList notes;
    forEachStore([&notes](const RegistryStore& store) { notes.append(store.note()); });
    notes.removeAll(QString());
    notes.removeDuplicates();
    return notes;
}

QStringList Machine::warnings() const
{
    QStringList warnings;
    forEachStore([&warnings](const RegistryStore& store) { warnings.append(store.warnings()); });
    return warnings;
}

void Machine::reloadChangedStores()
{
    forEachStore([](RegistryStore& store) { store.reloadIfChangedOnDisk(); });
}

std::vector<std::unique_ptr<StoreLock>> Machine::lockAndReloadStores()
{
    std::vector<std::unique_ptr<StoreLock>> locks;
    forEachStore([&locks](RegistryStore& store) {
        if (std::unique_ptr<StoreLock> lock = store.lockAndReload())
            locks.push_back(std::move(lock));
    });
    return locks;
}

void Machine::prepareForChanges()
{
    forEachStore([](RegistryStore& store) { store.prepareForChanges(); });
}

uint64_t Machine::revision() const
{
    uint64_t sum = 0;
    forEachStore([&sum](const RegistryStore& store) { sum += store.revision(); });
    return sum;
}

uint64_t Machine::readings() const
{
    uint64_t sum = 0;
    forEachStore([&sum](const RegistryStore& store) { sum += store.readings(); });
    return sum;
}

void Machine::discardChanges()
{
    forEachStore([](RegistryStore& store) {
        if (store.isModified())
            store.discardChanges();
    });
}

void Machine::commit()
{
    std::vector<RegistryStore*> stores;
    forEachStore([&stores](RegistryStore& store) { stores.push_back(&store); });
    CommitTogether(stores);
}

} // namespace parvelle
