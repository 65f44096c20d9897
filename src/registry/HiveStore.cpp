#include "HiveStore.h"

#include "EmptyHive.h"
#include "Errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <hivex.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace parvelle {

namespace {

constexpr qint64 kBaseBlockSize = 4096;

QString systemError(int error = errno)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray nativePath(const QString& path)
{
    return QFile::encodeName(path);
}

struct Header {
    uint32_t sequence1 = 0;
    uint32_t sequence2 = 0;
};

Header readHeader(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw EHiveError(QStringLiteral("The hive file '%1' does not exist").arg(path));
    if (info.isDir())
        throw EHiveError(QStringLiteral("'%1' is a folder, not a hive file").arg(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EHiveError(QStringLiteral("Cannot read the hive file '%1': %2").arg(path, file.errorString()));
    const QByteArray block = file.read(kBaseBlockSize);
    if (block.size() < kBaseBlockSize || !block.startsWith("regf"))
        throw EHiveError(QStringLiteral("'%1' is not a registry hive file (no 'regf' header)").arg(path));
    return Header{qFromLittleEndian<uint32_t>(block.constData() + 4),
                  qFromLittleEndian<uint32_t>(block.constData() + 8)};
}

// Why the file cannot be changed in place, or empty when it can.
QString fileReadOnlyReason(const QFileInfo& info)
{
    const QByteArray file = nativePath(info.absoluteFilePath());
    struct stat st {};
    // Root passes access() for any file, so a file without write permission bits counts
    // as read-only too.
    if (::access(file.constData(), W_OK) != 0 || ::stat(file.constData(), &st) != 0
        || (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return QStringLiteral("the file is not writable");
    if (::access(nativePath(info.absolutePath()).constData(), W_OK | X_OK) != 0)
        return QStringLiteral("its folder is not writable");
    return {};
}

// Creates a unique empty file beside `target` for an atomic replace.
QString makeTempBeside(const QString& target)
{
    const QFileInfo info(target);
    QByteArray pattern = nativePath(info.absolutePath() + QStringLiteral("/.") + info.fileName()
                                    + QStringLiteral(".parvelle-XXXXXX"));
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        throw EHiveError(QStringLiteral("Cannot save the hive file '%1': cannot create a temporary file in its folder: %2")
                             .arg(target, systemError()));
    ::close(fd);
    return QFile::decodeName(pattern);
}

// Makes `temp` durable with `mode` (and `owner` when given), then renames it over
// `target` and makes the rename durable. The temp file is removed on failure.
void replaceAtomically(const QString& temp, const QString& target, mode_t mode, const struct stat* owner)
{
    const QByteArray tempName = nativePath(temp);
    const auto failed = [&](const QString& step) {
        const QString reason = systemError();
        ::unlink(tempName.constData());
        throw EHiveError(QStringLiteral("Cannot save the hive file '%1': %2: %3").arg(target, step, reason));
    };
    const int fd = ::open(tempName.constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        failed(QStringLiteral("cannot reopen the temporary file"));
    if (owner && ::fchown(fd, owner->st_uid, owner->st_gid) != 0 && errno != EPERM) {
        ::close(fd);
        failed(QStringLiteral("cannot keep the file's owner"));
    }
    if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0) {
        ::close(fd);
        failed(QStringLiteral("cannot flush the temporary file"));
    }
    ::close(fd);
    if (::rename(tempName.constData(), nativePath(target).constData()) != 0)
        failed(QStringLiteral("cannot replace the file"));
    const int dir = ::open(nativePath(QFileInfo(target).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

QByteArray utf8Name(const QString& name)
{
    return name.toUtf8();
}

} // namespace

HiveStore::HiveStore(const QString& filePath, Access access)
{
    const QFileInfo given(filePath);
    filePath_ = given.exists() ? given.canonicalFilePath() : given.absoluteFilePath();
    const Header header = readHeader(filePath_);
    if (access == Access::ReadOnly)
        readOnlyReason_ = QStringLiteral("it was opened read-only on request");
    else if (header.sequence1 != header.sequence2)
        readOnlyReason_ = QStringLiteral("the hive was not cleanly closed (sequence numbers %1/%2); "
                                         "its transaction logs have not been replayed")
                              .arg(header.sequence1).arg(header.sequence2);
    else
        readOnlyReason_ = fileReadOnlyReason(QFileInfo(filePath_));

    hive_ = hivex_open(nativePath(filePath_).constData(), isWritable() ? HIVEX_OPEN_WRITE : 0);
    if (!hive_)
        throw EHiveError(QStringLiteral("The hive file '%1' is damaged or not a registry hive: %2")
                             .arg(filePath_, systemError()));
}

HiveStore::~HiveStore()
{
    if (hive_)
        hivex_close(hive_);
}

void HiveStore::createEmpty(const QString& filePath)
{
    const QString target = QFileInfo(filePath).absoluteFilePath();
    if (QFileInfo::exists(target))
        throw EHiveError(QStringLiteral("Cannot create the hive file '%1': the file already exists").arg(target));
    if (!QFileInfo(QFileInfo(target).absolutePath()).isDir())
        throw EHiveError(QStringLiteral("Cannot create the hive file '%1': its folder does not exist").arg(target));
    const QString temp = makeTempBeside(target);
    QFile file(temp);
    const QByteArray image = EmptyHiveImage(CurrentFileTime());
    if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size() || !file.flush()) {
        const QString reason = file.errorString();
        file.remove();
        throw EHiveError(QStringLiteral("Cannot create the hive file '%1': %2").arg(target, reason));
    }
    file.close();
    replaceAtomically(temp, target, 0644, nullptr);
}

void HiveStore::fail(const QString& what) const
{
    throw EHiveError(QStringLiteral("The hive file '%1' is damaged: %2 (%3)").arg(filePath_, what, systemError()));
}

bool HiveStore::isLive(NodeId node) const
{
    return node != 0 && deleted_.count(node) == 0;
}

void HiveStore::requireWritable(NodeId node) const
{
    if (!isWritable())
        throw EHiveError(QStringLiteral("The hive file '%1' is read-only: %2").arg(filePath_, readOnlyReason_));
    if (!isLive(node))
        throw EHiveError(QStringLiteral("The key no longer exists in '%1'").arg(filePath_));
}

NodeId HiveStore::root() const
{
    return hivex_root(hive_);
}

QString HiveStore::nodeName(NodeId node) const
{
    char* raw = hivex_node_name(hive_, node);
    if (!raw)
        fail(QStringLiteral("cannot read a key name"));
    const QString name = QString::fromUtf8(raw);
    std::free(raw);
    return name;
}

std::vector<NodeId> HiveStore::hivexChildren(NodeId node) const
{
    hive_node_h* raw = hivex_node_children(hive_, node);
    if (!raw)
        fail(QStringLiteral("cannot list the subkeys of '%1'").arg(nodeName(node)));
    std::vector<NodeId> ids;
    for (hive_node_h* it = raw; *it; ++it)
        ids.push_back(*it);
    std::free(raw);
    return ids;
}

const HiveStore::ChildIndex& HiveStore::childIndex(NodeId node) const
{
    const auto found = childIndexes_.find(node);
    if (found != childIndexes_.end())
        return found->second;
    ChildIndex index;
    index.order = hivexChildren(node);
    index.names.reserve(index.order.size());
    index.byFoldedName.reserve(qsizetype(index.order.size()));
    for (NodeId kid : index.order) {
        QString kidName = nodeName(kid);
        index.byFoldedName.insert(FoldedName(kidName), kid);
        index.names.emplace(kid, std::move(kidName));
    }
    return childIndexes_.emplace(node, std::move(index)).first->second;
}

std::optional<NodeId> HiveStore::child(NodeId parent, const QString& name) const
{
    if (!isLive(parent))
        return std::nullopt;
    const ChildIndex& index = childIndex(parent);
    const auto it = index.byFoldedName.constFind(FoldedName(name));
    if (it == index.byFoldedName.cend())
        return std::nullopt;
    return *it;
}

std::vector<NodeId> HiveStore::children(NodeId node) const
{
    return isLive(node) ? childIndex(node).order : std::vector<NodeId>{};
}

QStringList HiveStore::childNames(NodeId node) const
{
    QStringList names;
    if (!isLive(node))
        return names;
    const ChildIndex& index = childIndex(node);
    names.reserve(qsizetype(index.order.size()));
    for (NodeId kid : index.order)
        names.append(index.names.at(kid));
    return names;
}

QString HiveStore::name(NodeId node) const
{
    if (!isLive(node))
        return {};
    if (node == root())
        return nodeName(node);
    const hive_node_h parent = hivex_node_parent(hive_, node);
    const auto index = childIndexes_.find(parent);
    if (index != childIndexes_.end()) {
        const auto known = index->second.names.find(node);
        if (known != index->second.names.end())
            return known->second;
    }
    return nodeName(node);
}

uint64_t HiveStore::lastWriteTime(NodeId node) const
{
    if (!isLive(node))
        return 0;
    const int64_t time = hivex_node_timestamp(hive_, node);
    return time < 0 ? 0 : uint64_t(time);
}

const std::vector<HiveStore::ValueSlot>& HiveStore::valueSlots(NodeId node) const
{
    const auto found = valueIndexes_.find(node);
    if (found != valueIndexes_.end())
        return found->second;
    hive_value_h* raw = hivex_node_values(hive_, node);
    if (!raw)
        fail(QStringLiteral("cannot list the values of '%1'").arg(nodeName(node)));
    std::vector<ValueSlot> slots;
    for (hive_value_h* it = raw; *it; ++it) {
        char* key = hivex_value_key(hive_, *it);
        if (!key) {
            std::free(raw);
            fail(QStringLiteral("cannot read a value name of '%1'").arg(nodeName(node)));
        }
        slots.push_back({QString::fromUtf8(key), *it});
        std::free(key);
    }
    std::free(raw);
    return valueIndexes_.emplace(node, std::move(slots)).first->second;
}

RegValue HiveStore::readValue(const ValueSlot& slot) const
{
    hive_type type = hive_t_REG_NONE;
    size_t length = 0;
    char* data = hivex_value_value(hive_, slot.handle, &type, &length);
    if (!data)
        fail(QStringLiteral("cannot read the value '%1'").arg(slot.name));
    RegValue value{slot.name, uint32_t(type), QByteArray(data, qsizetype(length))};
    std::free(data);
    return value;
}

std::vector<RegValue> HiveStore::values(NodeId node) const
{
    std::vector<RegValue> result;
    if (!isLive(node))
        return result;
    for (const ValueSlot& slot : valueSlots(node))
        result.push_back(readValue(slot));
    return result;
}

std::optional<RegValue> HiveStore::value(NodeId node, const QString& name) const
{
    if (!isLive(node))
        return std::nullopt;
    for (const ValueSlot& slot : valueSlots(node)) {
        if (SameName(slot.name, name))
            return readValue(slot);
    }
    return std::nullopt;
}

NodeId HiveStore::addChild(NodeId parent, const QString& name)
{
    if (const std::optional<NodeId> existing = child(parent, name))
        return *existing;
    requireWritable(parent);
    if (name.isEmpty() || name.contains(QLatin1Char('\\')))
        throw EHiveError(QStringLiteral("Invalid key name '%1'").arg(name));
    const NodeId added = hivex_node_add_child(hive_, parent, utf8Name(name).constData());
    if (!added)
        throw EHiveError(QStringLiteral("Cannot add the key '%1' to '%2': %3").arg(name, filePath_, systemError()));
    modified_ = true;
    ChildIndex& index = childIndexes_[parent];
    index.order = hivexChildren(parent);   // hivex keeps subkeys sorted: take its order
    index.names.emplace(added, name);
    index.byFoldedName.insert(FoldedName(name), added);
    return added;
}

void HiveStore::collectSubtree(NodeId node, std::vector<NodeId>& ids) const
{
    ids.push_back(node);
    for (NodeId kid : hivexChildren(node))
        collectSubtree(kid, ids);
}

void HiveStore::deleteNode(NodeId node)
{
    requireWritable(node);
    if (node == root())
        throw EHiveError(QStringLiteral("The root key of '%1' cannot be deleted").arg(filePath_));
    const NodeId parent = hivex_node_parent(hive_, node);
    if (!parent)
        fail(QStringLiteral("cannot find the parent of '%1'").arg(nodeName(node)));
    std::vector<NodeId> subtree;
    collectSubtree(node, subtree);
    if (hivex_node_delete_child(hive_, node) != 0)
        throw EHiveError(QStringLiteral("Cannot delete a key of '%1': %2").arg(filePath_, systemError()));
    modified_ = true;
    for (NodeId gone : subtree) {
        childIndexes_.erase(gone);
        valueIndexes_.erase(gone);
        deleted_.insert(gone);
    }
    const auto index = childIndexes_.find(parent);
    if (index != childIndexes_.end()) {
        ChildIndex& siblings = index->second;
        const auto known = siblings.names.find(node);
        if (known != siblings.names.end()) {
            siblings.byFoldedName.remove(FoldedName(known->second));
            siblings.names.erase(known);
        }
        std::erase(siblings.order, node);
    }
}

void HiveStore::replaceValues(NodeId node, const std::vector<RegValue>& values)
{
    std::vector<QByteArray> keys;
    keys.reserve(values.size());
    std::vector<hive_set_value> entries;
    entries.reserve(values.size());
    for (const RegValue& v : values) {
        keys.push_back(utf8Name(v.name));
        entries.push_back(hive_set_value{keys.back().data(), hive_type(v.type), size_t(v.data.size()),
                                         const_cast<char*>(v.data.constData())});
    }
    valueIndexes_.erase(node);   // hivex rewrites the value list
    if (hivex_node_set_values(hive_, node, entries.size(), entries.data(), 0) != 0)
        throw EHiveError(QStringLiteral("Cannot write the values of a key of '%1': %2").arg(filePath_, systemError()));
    modified_ = true;
}

void HiveStore::setValue(NodeId node, const RegValue& value)
{
    requireWritable(node);
    std::vector<RegValue> all = values(node);
    const auto same = std::find_if(all.begin(), all.end(), [&](const RegValue& v) { return SameName(v.name, value.name); });
    if (same == all.end())
        all.push_back(value);
    else
        *same = value;
    replaceValues(node, all);
}

bool HiveStore::eraseValue(NodeId node, const QString& name)
{
    requireWritable(node);
    std::vector<RegValue> all = values(node);
    const auto same = std::find_if(all.begin(), all.end(), [&](const RegValue& v) { return SameName(v.name, name); });
    if (same == all.end())
        return false;
    all.erase(same);
    replaceValues(node, all);
    return true;
}

void HiveStore::commit()
{
    if (!modified_)
        return;
    if (!isWritable())
        throw EHiveError(QStringLiteral("The hive file '%1' is read-only: %2").arg(filePath_, readOnlyReason_));
    struct stat original {};
    if (::stat(nativePath(filePath_).constData(), &original) != 0)
        throw EHiveError(QStringLiteral("Cannot save the hive file '%1': %2").arg(filePath_, systemError()));
    const QString temp = makeTempBeside(filePath_);
    if (hivex_commit(hive_, nativePath(temp).constData(), 0) != 0) {
        const QString reason = systemError();
        ::unlink(nativePath(temp).constData());
        throw EHiveError(QStringLiteral("Cannot save the hive file '%1': %2").arg(filePath_, reason));
    }
    replaceAtomically(temp, filePath_, original.st_mode & 07777, &original);
    modified_ = false;
}

} // namespace parvelle
