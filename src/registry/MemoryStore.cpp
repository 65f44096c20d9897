#include "MemoryStore.h"

#include "core/Errors.h"

#include <algorithm>

namespace parvelle {

MemoryStore::MemoryStore()
{
    Node root;
    root.lastWrite = CurrentFileTime();
    nodes_.emplace(kRootNode, std::move(root));
}

const MemoryStore::Node* MemoryStore::node(NodeId id) const
{
    const auto it = nodes_.find(id);
    return it == nodes_.end() ? nullptr : &it->second;
}

MemoryStore::Node& MemoryStore::writableNode(NodeId id)
{
    if (!isWritable())
        throw EHiveError(QStringLiteral("The registry in memory is read-only: %1").arg(readOnlyReason_));
    const auto it = nodes_.find(id);
    if (it == nodes_.end())
        throw EHiveError(QStringLiteral("The key no longer exists"));
    return it->second;
}

void MemoryStore::touch(Node& node)
{
    node.lastWrite = CurrentFileTime();
    modified_ = true;
    countChange();
}

void MemoryStore::throwIfUnreadable(NodeId node, const QString& name) const
{
    const auto marked = unreadable_.find(node);
    if (marked != unreadable_.end()
        && std::any_of(marked->second.cbegin(), marked->second.cend(), [&](const QString& n) { return SameName(n, name); }))
        throw EHiveError(QStringLiteral("The value '%1' cannot be read").arg(name));
}

std::optional<NodeId> MemoryStore::child(NodeId parent, QStringView name) const
{
    const Node* p = node(parent);
    if (!p)
        return std::nullopt;
    const auto it = p->childByName.find(name);
    if (it == p->childByName.end())
        return std::nullopt;
    return it->second;
}

std::vector<NodeId> MemoryStore::children(NodeId id) const
{
    const Node* n = node(id);
    return n ? n->children : std::vector<NodeId>{};
}

QString MemoryStore::name(NodeId id) const
{
    const Node* n = node(id);
    return n ? n->name : QString();
}

uint64_t MemoryStore::lastWriteTime(NodeId id) const
{
    const Node* n = node(id);
    return n ? n->lastWrite : 0;
}

std::vector<RegValue> MemoryStore::values(NodeId id) const
{
    const Node* n = node(id);
    if (!n)
        return {};
    for (const RegValue& v : n->values)
        throwIfUnreadable(id, v.name);
    return n->values;
}

std::optional<RegValue> MemoryStore::value(NodeId id, const QString& name) const
{
    const Node* n = node(id);
    if (!n)
        return std::nullopt;
    for (const RegValue& v : n->values) {
        if (SameName(v.name, name)) {
            throwIfUnreadable(id, name);
            return v;
        }
    }
    return std::nullopt;
}

NodeId MemoryStore::addChild(NodeId parent, const QString& name)
{
    if (const std::optional<NodeId> existing = child(parent, name))
        return *existing;
    if (name.isEmpty() || name.contains(QLatin1Char('\\')))
        throw EHiveError(QStringLiteral("Invalid key name '%1'").arg(name));
    Node& p = writableNode(parent);
    const NodeId id = nextId_++;
    Node n;
    n.name = name;
    n.parent = parent;
    n.lastWrite = CurrentFileTime();
    const auto place = std::lower_bound(p.children.begin(), p.children.end(), name,
        [this](NodeId sibling, const QString& key) {
            return NameLess(nodes_.at(sibling).name, key);
        });
    p.children.insert(place, id);
    p.childByName.emplace(name, id);
    touch(p);
    nodes_.emplace(id, std::move(n));
    return id;
}

void MemoryStore::forgetSubtree(NodeId id)
{
    std::vector<NodeId> pending{id};   // no recursion, however deep the tree
    while (!pending.empty()) {
        const auto it = nodes_.find(pending.back());
        pending.pop_back();
        if (it == nodes_.end())
            continue;
        pending.insert(pending.end(), it->second.children.begin(), it->second.children.end());
        nodes_.erase(it);
    }
}

void MemoryStore::deleteNode(NodeId id)
{
    if (id == kRootNode)
        throw EHiveError(QStringLiteral("The root key of a registry cannot be deleted"));
    Node& n = writableNode(id);
    Node& p = nodes_.at(n.parent);
    p.children.erase(std::find(p.children.begin(), p.children.end(), id));
    p.childByName.erase(n.name);
    touch(p);
    forgetSubtree(id);
}

void MemoryStore::setValue(NodeId id, const RegValue& value)
{
    Node& n = writableNode(id);
    const auto same = std::find_if(n.values.begin(), n.values.end(),
        [&](const RegValue& v) { return SameName(v.name, value.name); });
    if (same == n.values.end())
        n.values.push_back(value);
    else
        *same = value;
    touch(n);
}

bool MemoryStore::eraseValue(NodeId id, const QString& name)
{
    Node& n = writableNode(id);
    const auto same = std::find_if(n.values.begin(), n.values.end(),
        [&](const RegValue& v) { return SameName(v.name, name); });
    if (same == n.values.end())
        return false;
    n.values.erase(same);
    touch(n);
    return true;
}

void MemoryStore::commit()
{
    if (!modified_)
        return;
    if (!commitFailure_.isEmpty())
        throw EHiveError(commitFailure_);
    modified_ = false;
    ++commitCount_;
}

std::unique_ptr<PreparedCommit> MemoryStore::prepareCommit()
{
    // Nothing to write: it fails here or not at all.
    class Prepared : public PreparedCommit {
    public:
        explicit Prepared(MemoryStore& store) : store_(store) {}
        void addTo(Replacement&) override {}
        void placed() override { store_.commit(); }

    private:
        MemoryStore& store_;
    };
    if (modified_ && !commitFailure_.isEmpty())
        throw EHiveError(commitFailure_);
    return std::make_unique<Prepared>(*this);
}

void MemoryStore::setReadOnly(const QString& reason)
{
    readOnlyReason_ = reason;
}

void MemoryStore::setValueUnreadable(NodeId node, const QString& name, bool unreadable)
{
    QStringList& names = unreadable_[node];
    names.removeIf([&](const QString& n) { return SameName(n, name); });
    if (unreadable)
        names.append(name);
    countChange();
}

void MemoryStore::setCommitFailure(const QString& message)
{
    commitFailure_ = message;
}

} // namespace parvelle
