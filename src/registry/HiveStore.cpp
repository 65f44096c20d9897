#include "HiveStore.h"

#include "HiveImage.h"
#include "MemoryStore.h"
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

QString systemError(int error = errno)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray nativePath(const QString& path)
{
    return QFile::encodeName(path);
}

// The whole file, read in one go.
QByteArray readHiveFile(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw EHiveError(QStringLiteral("The hive file '%1' does not exist").arg(path));
    if (info.isDir())
        throw EHiveError(QStringLiteral("'%1' is a folder, not a hive file").arg(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EHiveError(QStringLiteral("Cannot read the hive file '%1': %2").arg(path, file.errorString()));
    QByteArray bytes(file.size(), Qt::Uninitialized);
    if (file.read(bytes.data(), bytes.size()) != bytes.size())
        throw EHiveError(QStringLiteral("Cannot read the hive file '%1': %2").arg(path, file.errorString()));
    return bytes;
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

} // namespace

HiveStore::FileIdentity HiveStore::identityOf(const QString& path)
{
    struct stat st {};
    if (::stat(nativePath(path).constData(), &st) != 0)
        return {};
    return FileIdentity{uint64_t(st.st_dev), uint64_t(st.st_ino), int64_t(st.st_size),
                        int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

HiveStore::HiveStore(const QString& filePath, Access access)
{
    const QFileInfo given(filePath);
    filePath_ = given.exists() ? given.canonicalFilePath() : given.absoluteFilePath();
    identity_ = identityOf(filePath_);
    image_ = std::make_unique<RegfImage>(readHiveFile(filePath_), filePath_);
    root_ = image_->root();
    if (access == Access::ReadOnly)
        readOnlyReason_ = QStringLiteral("it was opened read-only on request");
    else if (image_->sequence1() != image_->sequence2())
        readOnlyReason_ = QStringLiteral("the hive was not cleanly closed (sequence numbers %1/%2); "
                                         "its transaction logs have not been replayed")
                              .arg(image_->sequence1()).arg(image_->sequence2());
    else
        readOnlyReason_ = fileReadOnlyReason(QFileInfo(filePath_));
}

HiveStore::~HiveStore()
{
    if (hive_)
        hivex_close(hive_);
}

void HiveStore::createEmpty(const QString& filePath)
{
    createFrom(filePath, MemoryStore());
}

void HiveStore::createFrom(const QString& filePath, const RegistryStore& tree)
{
    const QString target = QFileInfo(filePath).absoluteFilePath();
    if (QFileInfo::exists(target))
        throw EHiveError(QStringLiteral("Cannot create the hive file '%1': the file already exists").arg(target));
    if (!QFileInfo(QFileInfo(target).absolutePath()).isDir())
        throw EHiveError(QStringLiteral("Cannot create the hive file '%1': its folder does not exist").arg(target));
    const QString temp = makeTempBeside(target);
    QFile file(temp);
    const QByteArray image = BuildHiveImage(tree, CurrentFileTime());
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
    return root_;
}

hive_h* HiveStore::writableHive(NodeId node)
{
    requireWritable(node);
    if (hive_)
        return hive_;
    requireUnchangedOnDisk();
    hive_ = hivex_open(nativePath(filePath_).constData(), HIVEX_OPEN_WRITE);
    if (!hive_)
        throw EHiveError(QStringLiteral("The hive file '%1' is damaged or not a registry hive: %2").arg(filePath_, systemError()));
    image_.reset();   // from now on hivex holds the current state
    return hive_;
}

QString HiveStore::rawName(NodeId node) const
{
    if (image_)
        return image_->name(node);
    char* raw = hivex_node_name(hive_, node);
    if (!raw)
        fail(QStringLiteral("cannot read a key name"));
    const QString name = QString::fromUtf8(raw);
    std::free(raw);
    return name;
}

std::vector<NodeId> HiveStore::rawChildren(NodeId node) const
{
    if (image_)
        return image_->children(node);
    hive_node_h* raw = hivex_node_children(hive_, node);
    if (!raw)
        fail(QStringLiteral("cannot list the subkeys of '%1'").arg(name(node)));
    std::vector<NodeId> ids;
    for (hive_node_h* it = raw; *it; ++it)
        ids.push_back(*it);
    std::free(raw);
    return ids;
}

std::vector<RegValue> HiveStore::rawValues(NodeId node) const
{
    if (image_)
        return image_->values(node);
    hive_value_h* handles = hivex_node_values(hive_, node);
    if (!handles)
        fail(QStringLiteral("cannot list the values of '%1'").arg(name(node)));
    std::vector<RegValue> values;
    const auto readAll = [&] {
        for (hive_value_h* it = handles; *it; ++it) {
            char* key = hivex_value_key(hive_, *it);
            if (!key)
                fail(QStringLiteral("cannot read a value name of '%1'").arg(name(node)));
            RegValue value{QString::fromUtf8(key), REG_NONE, {}};
            std::free(key);
            hive_type type = hive_t_REG_NONE;
            size_t length = 0;
            char* data = hivex_value_value(hive_, *it, &type, &length);
            if (!data)
                fail(QStringLiteral("cannot read the value '%1'").arg(value.name));
            value.type = uint32_t(type);
            value.data = QByteArray(data, qsizetype(length));
            std::free(data);
            values.push_back(std::move(value));
        }
    };
    try {
        readAll();
    } catch (...) {
        std::free(handles);
        throw;
    }
    std::free(handles);
    return values;
}

const HiveStore::ChildIndex& HiveStore::childIndex(NodeId node) const
{
    const auto found = childIndexes_.find(node);
    if (found != childIndexes_.end())
        return found->second;
    ChildIndex index;
    index.order = rawChildren(node);
    index.names.reserve(qsizetype(index.order.size()));
    index.byName.reserve(index.order.size());
    for (NodeId kid : index.order) {
        index.names.append(rawName(kid));
        index.byName.emplace(index.names.back(), kid);
    }
    return childIndexes_.emplace(node, std::move(index)).first->second;
}

std::optional<NodeId> HiveStore::child(NodeId parent, QStringView name) const
{
    if (!isLive(parent))
        return std::nullopt;
    const ChildIndex& index = childIndex(parent);
    const auto it = index.byName.find(name);
    if (it == index.byName.end())
        return std::nullopt;
    return it->second;
}

std::vector<NodeId> HiveStore::children(NodeId node) const
{
    return isLive(node) ? childIndex(node).order : std::vector<NodeId>{};
}

QStringList HiveStore::childNames(NodeId node) const
{
    return isLive(node) ? childIndex(node).names : QStringList();
}

QString HiveStore::name(NodeId node) const
{
    return isLive(node) ? rawName(node) : QString();
}

uint64_t HiveStore::lastWriteTime(NodeId node) const
{
    if (!isLive(node))
        return 0;
    const auto written = writeTimes_.find(node);
    if (written != writeTimes_.end())
        return written->second;
    if (image_)
        return image_->timestamp(node);
    const int64_t time = hivex_node_timestamp(hive_, node);
    return time < 0 ? 0 : uint64_t(time);
}

const std::vector<RegValue>& HiveStore::cachedValues(NodeId node) const
{
    const auto found = valueCache_.find(node);
    if (found != valueCache_.end())
        return found->second;
    return valueCache_.emplace(node, rawValues(node)).first->second;
}

std::vector<RegValue> HiveStore::values(NodeId node) const
{
    if (!isLive(node))
        return {};
    return image_ ? image_->values(node) : cachedValues(node);
}

std::optional<RegValue> HiveStore::value(NodeId node, const QString& name) const
{
    if (!isLive(node))
        return std::nullopt;
    for (RegValue& v : values(node)) {
        if (SameName(v.name, name))
            return std::move(v);
    }
    return std::nullopt;
}

NodeId HiveStore::addChild(NodeId parent, const QString& name)
{
    if (const std::optional<NodeId> existing = child(parent, name))
        return *existing;
    if (name.isEmpty() || name.contains(QLatin1Char('\\')))
        throw EHiveError(QStringLiteral("Invalid key name '%1'").arg(name));
    hive_h* hive = writableHive(parent);
    const NodeId added = hivex_node_add_child(hive, parent, name.toUtf8().constData());
    if (!added)
        throw EHiveError(QStringLiteral("Cannot add the key '%1' to '%2': %3").arg(name, filePath_, systemError()));
    touch(parent);
    touch(added);
    ChildIndex& index = childIndexes_.at(parent);   // built by the child() lookup above
    std::unordered_map<NodeId, QString> known;
    for (size_t i = 0; i < index.order.size(); ++i)
        known.emplace(index.order[i], index.names[qsizetype(i)]);
    known.emplace(added, name);
    index.order = rawChildren(parent);   // hivex keeps subkeys sorted: take its order
    index.names.clear();
    for (NodeId kid : index.order) {
        const auto it = known.find(kid);
        index.names.append(it != known.end() ? it->second : rawName(kid));
    }
    index.byName.emplace(name, added);
    return added;
}

void HiveStore::collectSubtree(NodeId node, std::vector<NodeId>& ids) const
{
    ids.push_back(node);
    for (NodeId kid : rawChildren(node))
        collectSubtree(kid, ids);
}

void HiveStore::deleteNode(NodeId node)
{
    if (node == root())
        throw EHiveError(QStringLiteral("The root key of '%1' cannot be deleted").arg(filePath_));
    hive_h* hive = writableHive(node);
    const NodeId parent = hivex_node_parent(hive, node);
    if (!parent)
        fail(QStringLiteral("cannot find the parent of '%1'").arg(name(node)));
    const QString deletedName = name(node);
    std::vector<NodeId> subtree;
    collectSubtree(node, subtree);
    if (hivex_node_delete_child(hive, node) != 0)
        throw EHiveError(QStringLiteral("Cannot delete a key of '%1': %2").arg(filePath_, systemError()));
    touch(parent);
    for (NodeId gone : subtree) {
        childIndexes_.erase(gone);
        valueCache_.erase(gone);
        writeTimes_.erase(gone);
        deleted_.insert(gone);
    }
    const auto index = childIndexes_.find(parent);
    if (index != childIndexes_.end()) {
        ChildIndex& siblings = index->second;
        const auto at = std::find(siblings.order.begin(), siblings.order.end(), node);
        if (at != siblings.order.end()) {
            siblings.names.removeAt(at - siblings.order.begin());
            siblings.order.erase(at);
        }
        siblings.byName.erase(deletedName);
    }
}

void HiveStore::replaceValues(NodeId node, const std::vector<RegValue>& values)
{
    std::vector<QByteArray> keys;
    keys.reserve(values.size());
    std::vector<hive_set_value> entries;
    entries.reserve(values.size());
    for (const RegValue& v : values) {
        keys.push_back(v.name.toUtf8());
        entries.push_back(hive_set_value{keys.back().data(), hive_type(v.type), size_t(v.data.size()),
                                         const_cast<char*>(v.data.constData())});
    }
    if (hivex_node_set_values(writableHive(node), node, entries.size(), entries.data(), 0) != 0) {
        valueCache_.erase(node);
        throw EHiveError(QStringLiteral("Cannot write the values of a key of '%1': %2").arg(filePath_, systemError()));
    }
    valueCache_[node] = values;   // hivex stores them exactly as given
    touch(node);
}

void HiveStore::setValue(NodeId node, const RegValue& value)
{
    writableHive(node);
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
    writableHive(node);
    std::vector<RegValue> all = values(node);
    const auto same = std::find_if(all.begin(), all.end(), [&](const RegValue& v) { return SameName(v.name, name); });
    if (same == all.end())
        return false;
    all.erase(same);
    replaceValues(node, all);
    return true;
}

void HiveStore::touch(NodeId node)
{
    writeTimes_[node] = CurrentFileTime();
    modified_ = true;
}

bool HiveStore::stampWriteTimes(const QString& file) const
{
    QFile out(file);
    if (!out.open(QIODevice::ReadWrite))
        return false;
    QByteArray header = out.read(0x200);
    if (header.size() != 0x200)
        return false;
    StampBaseBlock(header, CurrentFileTime());
    bool written = out.seek(0) && out.write(header) == header.size();
    for (const auto& [node, time] : writeTimes_) {
        char stamp[8];
        qToLittleEndian<uint64_t>(time, stamp);
        written = written && out.seek(qint64(node) + 8) && out.write(stamp, 8) == 8;   // nk: size, "nk", flags, time
    }
    return written && out.flush();
}

void HiveStore::requireUnchangedOnDisk() const
{
    const FileIdentity now = identityOf(filePath_);
    if (now.size < 0)
        throw EHiveError(QStringLiteral("The hive file '%1' no longer exists; nothing was saved").arg(filePath_));
    if (!(now == identity_))
        throw EHiveError(QStringLiteral("The hive file '%1' was changed by another program after it was opened; open it again")
                             .arg(filePath_));
}

void HiveStore::commit()
{
    if (!modified_)
        return;
    if (!isWritable())
        throw EHiveError(QStringLiteral("The hive file '%1' is read-only: %2").arg(filePath_, readOnlyReason_));
    requireUnchangedOnDisk();
    struct stat original {};
    if (::stat(nativePath(filePath_).constData(), &original) != 0)
        throw EHiveError(QStringLiteral("Cannot save the hive file '%1': %2").arg(filePath_, systemError()));
    const QString temp = makeTempBeside(filePath_);
    if (hivex_commit(hive_, nativePath(temp).constData(), 0) != 0 || !stampWriteTimes(temp)) {
        const QString reason = systemError();
        ::unlink(nativePath(temp).constData());
        throw EHiveError(QStringLiteral("Cannot save the hive file '%1': %2").arg(filePath_, reason));
    }
    replaceAtomically(temp, filePath_, original.st_mode & 07777, &original);
    identity_ = identityOf(filePath_);
    modified_ = false;
}

} // namespace parvelle
