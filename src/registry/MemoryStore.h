#pragma once
// A registry tree held in memory: the store of unit tests, with switches for fault tests.
#include "RegistryStore.h"

#include <unordered_map>

namespace parvelle {

class MemoryStore : public RegistryStore {
public:
    MemoryStore();

    NodeId root() const override { return kRootNode; }
    using RegistryStore::child;
    std::optional<NodeId> child(NodeId parent, QStringView name) const override;
    std::vector<NodeId> children(NodeId node) const override;
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
    void commit() override;
    std::unique_ptr<PreparedCommit> prepareCommit() override;
    QString describe() const override { return QStringLiteral("memory"); }

    // Fault switches for tests.
    void setReadOnly(const QString& reason);            // empty reason = writable again
    void setValueUnreadable(NodeId node, const QString& name, bool unreadable = true);
    void setCommitFailure(const QString& message);      // empty = commits succeed
    int commitCount() const { return commitCount_; }

private:
    static constexpr NodeId kRootNode = 1;

    struct Node {
        QString name;
        NodeId parent = 0;
        std::vector<NodeId> children;       // sorted by upper-case name
        NameMap<NodeId> childByName;
        std::vector<RegValue> values;
        uint64_t lastWrite = 0;
    };

    const Node* node(NodeId id) const;
    Node& writableNode(NodeId id);
    void touch(Node& node);
    void throwIfUnreadable(NodeId node, const QString& name) const;
    void forgetSubtree(NodeId id);

    std::unordered_map<NodeId, Node> nodes_;
    NodeId nextId_ = kRootNode + 1;
    std::unordered_map<NodeId, QStringList> unreadable_;
    QString readOnlyReason_;
    QString commitFailure_;
    bool modified_ = false;
    int commitCount_ = 0;
};

} // namespace parvelle
