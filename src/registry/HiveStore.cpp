#include "HiveStore.h"

#include "HiveImage.h"
#include "HiveLogs.h"
#include "MemoryStore.h"
#include "core/Errors.h"
#include "core/NativePath.h"
#include "core/QuietRead.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <numeric>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <thread>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace parvelle {

namespace {

struct HiveFileContent {
    QByteArray bytes;
    std::shared_ptr<MappedFile> mapping;   // the bytes' owner when mapped
};

// The most a hive image grows to: the hive bins' size is a 32-bit field.
constexpr qsizetype kLargestHive = qsizetype(regf::kBinsStart) + (qsizetype(1) << 32);

// The file mapped, so that reading it loads only the pages read and changing it copies
// only the pages changed; read into memory only when it cannot be mapped (then at most
// its first block when its size is unknown).
HiveFileContent openHiveFile(const QString& path)
{
    if (!PathExists(path))
        throw EHiveError(QStringLiteral("The hive file '%1' does not exist").arg(path));
    if (IsFolder(path))
        throw EHiveError(QStringLiteral("'%1' is a folder, not a hive file").arg(path));
    const int fd = OpenQuietly(path);
    QFile file;
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        throw EHiveError(QStringLiteral("Cannot read the hive file '%1': %2").arg(path, fd < 0 ? SystemErrorText() : file.errorString()));
    if (std::shared_ptr<MappedFile> mapping = MappedFile::map(file.handle(), file.size(), kLargestHive))
        return {mapping->bytes(), std::move(mapping)};
    const QByteArray bytes = file.read(file.size() > 0 ? file.size() : qint64(regf::kBinsStart));
    if (file.error() != QFileDevice::NoError)
        throw EHiveError(QStringLiteral("Cannot read the hive file '%1': %2").arg(path, file.errorString()));
    return {bytes, nullptr};
}

// A save writes the whole hive to a new file and renames it over the old one, which would
// leave other hard links of the file with the old contents.
QString hardLinksReason(nlink_t links)
{
    return QStringLiteral("the file has %1 hard links, which a save would separate (a save replaces the file)").arg(links);
}

// Why the file cannot be changed in place, or empty when it can.
QString fileReadOnlyReason(const QString& path)
{
    const QByteArray file = NativePath(path);
    struct stat st {};
    // Root passes access() for any file, so a file without write permission bits counts
    // as read-only too.
    if (::access(file.constData(), W_OK) != 0 || ::stat(file.constData(), &st) != 0
        || (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return QStringLiteral("the file is not writable");
    if (st.st_nlink > 1)
        return hardLinksReason(st.st_nlink);
    if (::access(NativePath(ParentFolder(path)).constData(), W_OK | X_OK) != 0)
        return QStringLiteral("its folder is not writable");
    return {};
}

const QString kSaveFailure = QStringLiteral("Cannot save the hive file '%1'");
const QString kNothingSaved = QStringLiteral("; nothing was saved");
const QString kChangedMeanwhile = QStringLiteral("The hive file '%1' was changed by another program after it was opened; open it again");

// Runs a file operation, its failures reported as failures of the hive.
template <class Operation>
auto asHiveError(Operation operation)
{
    try {
        return operation();
    } catch (const EInOutError& error) {
        throw EHiveError(error.message());
    }
}

// Writes a new file atomically; refuses to replace an existing one.
void createFile(const QString& filePath, const QByteArray& bytes)
{
    const QString target = AbsolutePath(filePath);
    if (PathExists(target) || IsSymLink(target))
        throw EHiveError(QStringLiteral("Cannot create the hive file '%1': the file already exists").arg(target));
    if (!IsFolder(ParentFolder(target)))
        throw EHiveError(QStringLiteral("Cannot create the hive file '%1': its folder does not exist").arg(target));
    asHiveError([&] { WriteNewFile(target, bytes, {QStringLiteral("Cannot create the hive file '%1'"), kNothingSaved}); });
}

// The reader's verdict on a hive made from `logs`, with the damage it named.
LogProblem ReplayedHiveDamage(const QStringList& logs, const EHiveError& error)
{
    LogProblem problem{logs.join(QStringLiteral(", ")), LogProblemKind::ReplayedHiveDamaged, {}, {}, {}, {},
                       QStringLiteral("the replayed hive is damaged: %1").arg(error.message())};
    if (const auto* damaged = dynamic_cast<const regf::EHiveDamage*>(&error)) {
        const regf::HiveDamage& damage = damaged->damage();
        problem.offset = damage.offset;
        problem.expected = damage.expected;
        problem.found = damage.found;
        problem.damage = damage.kind;
    }
    return problem;
}

} // namespace

FileIdentity HiveStore::identityOf(const QString& path)
{
    return FileIdentity::of(path, kIdentityHead);
}

// What the first change of a mapped image needs, worked out on two threads of their own,
// each through a reader of its own of the mapping: the image's bins checked and its free
// cells, and the subkey indexes of the keys given, their names read, each key's as soon
// as it is done. A result is taken once, when it is ready (or its thread ended without
// it). The mapping is only read: the threads are stopped before the image first changes.
class HiveStore::Preparation {
public:
    using Keys = std::vector<std::pair<NodeId, std::vector<NodeId>>>;   // a key and its subkeys

    Preparation(const std::shared_ptr<MappedFile>& mapping, const QString& path, Keys keys)
        : imageThread_([this, mapping, path] { prepareImage(mapping, path); })
    {
        try {
            namesThread_ = std::thread([this, mapping, path, keys = std::move(keys)]() mutable { prepareIndexes(mapping, path, std::move(keys)); });
        } catch (...) {
            stop();
            throw;
        }
    }
    ~Preparation() { stop(); }
    // Ends the work left, keeping what is done already.
    void stop()
    {
        cancelled_ = true;
        for (std::thread* thread : {&imageThread_, &namesThread_}) {
            if (thread->joinable())
                thread->join();
        }
    }
    std::optional<PreparedImage> takeImage()
    {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return imageDone_; });
        return std::exchange(image_, std::nullopt);
    }
    std::optional<ChildIndex> takeIndex(NodeId node)
    {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [&] { return indexesDone_ || indexes_.count(node) > 0; });
        const auto found = indexes_.find(node);
        if (found == indexes_.end())
            return std::nullopt;
        ChildIndex index = std::move(found->second);
        indexes_.erase(found);
        return index;
    }

private:
    // Makes results ready under the lock and tells the waiting.
    template <class Change>
    void publish(Change change)
    {
        {
            const std::lock_guard lock(mutex_);
            change();
        }
        ready_.notify_all();
    }

    void prepareImage(const std::shared_ptr<MappedFile>& mapping, const QString& path) noexcept
    {
        constexpr qsizetype kPiece = qsizetype(8) << 20;
        std::optional<PreparedImage> image;
        try {
            for (qsizetype done = 0; done < mapping->size() && !cancelled_; done += kPiece)
                mapping->prefetch(done, kPiece);   // the checks read every page
            const RegfImage reader(ImageBytes(mapping), path);
            reader.checkAllBins();
            image = PreparedImage{reader.cellsMarkedFree()};
        } catch (...) {
            // A damaged or vanished file: the first change finds it and says so.
        }
        publish([&] {
            image_ = std::move(image);
            imageDone_ = true;
        });
    }

    void prepareIndexes(const std::shared_ptr<MappedFile>& mapping, const QString& path, Keys keys) noexcept
    {
        try {
            const RegfImage reader(ImageBytes(mapping), path);
            // The key with most subkeys first: in the hives this program serves, the
            // cache's key, whose entries change.
            std::sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) { return a.second.size() > b.second.size(); });
            for (const auto& [node, order] : keys) {
                ChildIndex index;
                index.order = reader.children(node);
                if (index.order != order)
                    continue;
                if (!readNames(reader, index, &cancelled_) || !indexNames(index, &cancelled_))
                    break;
                if (!reader.keysInFreeCells().isEmpty())
                    break;   // the store's own reading notes such keys
                // Left for the change to sort, when it is not sorted already.
                index.inWindowsOrder = std::is_sorted(index.names.cbegin(), index.names.cend(), NameLess);
                publish([&] { indexes_.emplace(node, std::move(index)); });
            }
        } catch (...) {
            // As above.
        }
        publish([this] { indexesDone_ = true; });
    }

    std::atomic<bool> cancelled_ = false;
    std::mutex mutex_;
    std::condition_variable ready_;
    bool imageDone_ = false;
    bool indexesDone_ = false;
    std::optional<PreparedImage> image_;
    std::unordered_map<NodeId, ChildIndex> indexes_;
    std::thread imageThread_;   // last: they start once the members above exist
    std::thread namesThread_;
};

HiveStore::HiveStore(const QString& filePath, Access access) : HiveStore(filePath, access, FindHiveLogs(filePath))
{
}

HiveStore::HiveStore(const QString& filePath, Access access, const QStringList& logPaths)
    : access_(access), logPaths_(logPaths)
{
    const QString canonical = CanonicalPath(filePath);
    filePath_ = canonical.isEmpty() ? AbsolutePath(filePath) : canonical;
    load();
}

HiveStore::~HiveStore() = default;

void HiveStore::load()
{
    preparation_.reset();
    // The identity is taken first: a change during the read shows at the next check.
    const FileIdentity identity = identityOf(filePath_);
    LogReplay replay;
    std::unique_ptr<RegfEditor> image = readWithLogs(replay);
    if (access_ == Access::ReadOnly)
        readOnlyReason_ = QStringLiteral("it was opened read-only on request");
    else if (replay.applied)
        readOnlyReason_ = QStringLiteral("its transaction logs were applied in memory only; write the recovered hive "
                                         "to a new file with 'parvelle-cli recover %1 NEW-FILE' and open that")
                              .arg(filePath_);
    else if (image->sequence1() != image->sequence2())
        readOnlyReason_ = QStringLiteral("the hive was not cleanly closed (sequence numbers %1/%2); "
                                         "its transaction logs have not been replayed")
                              .arg(image->sequence1()).arg(image->sequence2());
    else
        readOnlyReason_ = fileReadOnlyReason(filePath_);
    dirty_ = replay.dirty && !replay.applied;
    note_ = replay.dirty ? QStringLiteral("%1: %2").arg(QFileInfo(filePath_).fileName(), replay.note()) : QString();
    logProblems_ = std::move(replay.problems);
    release(std::exchange(image_, std::move(image)));
    identity_ = identity;
    modified_ = false;
    deleted_.clear();
    childIndexes_.clear();
    changedSubkeys_.clear();
    changedValues_.clear();
    writeTimes_.clear();
    countReading();
}

void HiveStore::release(std::unique_ptr<RegfEditor> old)
{
    if (!old)
        return;
    try {
        releasing_ = std::jthread([old = std::move(old)]() mutable { old.reset(); });   // joins the one before
    } catch (const std::system_error&) {   // no thread to be had: `old` goes here
    }
}

bool HiveStore::reloadIfChangedOnDisk()
{
    if (modified_)
        return false;   // commit() refuses to overwrite the other program's file
    const FileIdentity now = identityOf(filePath_);
    if (now.size < 0 || now == identity_)
        return false;
    load();
    return true;
}

std::unique_ptr<StoreLock> HiveStore::lockAndReload()
{
    std::unique_ptr<StoreLock> held = isWritable() ? holdLock() : nullptr;
    reloadIfChangedOnDisk();
    return held;
}

// One user of the hive's lock; the last one to go lets it go.
class HiveStore::HeldLock : public StoreLock {
public:
    explicit HeldLock(HiveStore& store) : store_(store) { ++store_.lockUsers_; }
    ~HeldLock() override
    {
        if (--store_.lockUsers_ == 0)
            store_.lock_.reset();
    }

private:
    HiveStore& store_;
};

void HiveStore::throwMissing() const
{
    throw EHiveError(QStringLiteral("The hive file '%1' no longer exists; nothing was saved").arg(filePath_));
}

std::unique_ptr<StoreLock> HiveStore::holdLock()
{
    if (!lock_ && !PathExists(filePath_))
        throwMissing();   // rather than failing to put a lock file beside it
    if (!lock_) {
        lock_ = asHiveError([&] { return std::make_unique<FileLock>(filePath_, kLockWait, QStringLiteral("hive file")); });
        RemoveStaleTemporaries(filePath_, *lock_);   // only a change, about to be made, tidies beside the hive
    }
    return std::make_unique<HeldLock>(*this);
}

std::unique_ptr<StoreLock> HiveStore::lockForChanges()
{
    if (!isWritable())
        return nullptr;
    std::unique_ptr<StoreLock> held = holdLock();
    readyForChanges();
    return held;
}

void HiveStore::prepareForChanges()
{
    if (preparation_ || !isWritable() || modified_ || !image_->readsMappedFile())
        return;
    Preparation::Keys keys;
    for (const auto& [node, index] : childIndexes_) {
        if (!index.namesRead && index.order.size() >= kManySubkeys)
            keys.emplace_back(node, index.order);
    }
    try {
        preparation_ = std::make_unique<Preparation>(image_->mapping(), filePath_, std::move(keys));
    } catch (const std::system_error&) {
        // No thread to be had: the first change does the work itself.
    }
}

void HiveStore::readyForChanges()
{
    if (!modified_)
        requireUnchangedOnDisk();
    // Prepared after the file was read, which it still is: on the file's bytes.
    if (preparation_) {
        if (std::optional<PreparedImage> prepared = preparation_->takeImage())
            image_->usePrepared(std::move(*prepared));
    }
    image_->checkAllBins();   // a save writes the whole hive: no change to a damaged one
    requireNoKeysInFreeCells();
}

void HiveStore::createEmpty(const QString& filePath)
{
    createFrom(filePath, MemoryStore());
}

void HiveStore::createFrom(const QString& filePath, const RegistryStore& tree)
{
    createFile(filePath, BuildHiveImage(tree, CurrentFileTime()));
}

std::unique_ptr<RegfEditor> HiveStore::readWithLogs(LogReplay& replay) const
{
    HiveFileContent content = openHiveFile(filePath_);
    const QByteArray saved = IsDirtyHive(content.bytes) ? content.bytes : QByteArray();   // kept only to fall back on
    replay = ReplayHiveLogFiles(std::move(content.bytes), logPaths_);
    // The file as it is: its mapping when it has one.
    const auto fileBytes = [&](QByteArray bytes) { return content.mapping ? ImageBytes(content.mapping) : ImageBytes(std::move(bytes)); };
    try {
        // A replayed image is a copy of its own.
        return std::make_unique<RegfEditor>(replay.applied ? ImageBytes(std::move(replay.image)) : fileBytes(std::move(replay.image)), filePath_);
    } catch (const EHiveError& error) {
        if (!replay.applied)
            throw EHiveError(replay.dirty ? QStringLiteral("%1 (%2)").arg(error.message(), replay.note()) : error.message());
        // Valid log entries that still leave a broken hive: the saved state is used.
        replay.applied = false;
        replay.problems = {ReplayedHiveDamage(replay.logsUsed, error)};
        return std::make_unique<RegfEditor>(fileBytes(saved), filePath_);
    }
}

void HiveStore::saveCleanCopy(const QString& target)
{
    if (dirty_)
        throw EHiveError(QStringLiteral("The hive file '%1' was not closed cleanly and no transaction log brings it up "
                                        "to date; nothing was written").arg(filePath_));
    try {
        image_->checkReachableCells();
    } catch (const EHiveShortenedError&) {
        throw;
    } catch (const EHiveError& error) {
        throw EHiveError(error.message() + QStringLiteral("; nothing was written"));
    }
    const QByteArray clean = CleanHiveFile(image_->bytes().toByteArray());
    image_->requireIntact();
    createFile(target, clean);
}

bool HiveStore::isLive(NodeId node) const
{
    return node != 0 && (deleted_.empty() || deleted_.count(node) == 0);   // mostly empty: no hashing then
}

void HiveStore::requireWritable(NodeId node)
{
    if (!isWritable())
        throw EHiveError(QStringLiteral("The hive file '%1' is read-only: %2").arg(filePath_, readOnlyReason_));
    if (!isLive(node))
        throw EHiveError(QStringLiteral("The key no longer exists in '%1'").arg(filePath_));
    readyForChanges();
    if (preparation_)
        preparation_->stop();   // it reads the mapping, which the change writes
}

void HiveStore::requireNoKeysInFreeCells() const
{
    const QStringList keys = image_->keysInFreeCells();
    if (!keys.isEmpty())
        throw EHiveError(QStringLiteral("%1; nothing is changed in a hive so damaged").arg(keys.first()));
}

void HiveStore::requireIntactSubkeys(NodeId node) const
{
    const QString& damage = namedChildIndex(node).damage;
    if (!damage.isEmpty())
        throw EHiveError(QStringLiteral("The subkeys of a key are not changed while one of them is damaged: %1").arg(damage));
}

NodeId HiveStore::root() const
{
    return image_->root();
}

const HiveStore::ChildIndex& HiveStore::childIndex(NodeId node) const
{
    const auto found = childIndexes_.find(node);
    if (found != childIndexes_.end())
        return found->second;
    ChildIndex index;
    index.order = image_->children(node);
    return childIndexes_.emplace(node, std::move(index)).first->second;
}

bool HiveStore::readNames(const RegfImage& image, ChildIndex& index, const std::atomic<bool>* cancelled)
{
    QStringList names;
    QString damage;
    names.reserve(qsizetype(index.order.size()));
    for (NodeId kid : index.order) {
        if (isCancelled(cancelled, names.size()))
            return false;
        try {
            names.append(image.name(kid));
        } catch (const EHiveShortenedError&) {
            throw;
        } catch (const EHiveError& e) {
            names.append(QString());
            if (damage.isEmpty())
                damage = e.message();
        }
    }
    index.names = std::move(names);
    index.damage = std::move(damage);
    index.namesRead = true;
    return true;
}

bool HiveStore::indexNames(const ChildIndex& index, const std::atomic<bool>* cancelled)
{
    if (index.byNameBuilt)
        return true;
    index.byName.reserve(index.order.size());
    for (size_t i = 0; i < index.order.size(); ++i) {
        if (isCancelled(cancelled, qsizetype(i)))
            return false;
        if (!index.names.at(qsizetype(i)).isEmpty())   // a damaged subkey has no name to find
            index.byName.emplace(index.names.at(qsizetype(i)), index.order[i]);
    }
    index.byNameBuilt = true;
    return true;
}

bool HiveStore::isCancelled(const std::atomic<bool>* cancelled, qsizetype done)
{
    constexpr qsizetype kBetweenChecks = 1024;
    return cancelled && done % kBetweenChecks == 0 && cancelled->load();
}

const HiveStore::ChildIndex& HiveStore::namedChildIndex(NodeId node) const
{
    if (childIndex(node).namesRead)
        return childIndexes_.at(node);
    ChildIndex& index = childIndexes_.at(node);
    if (preparation_) {
        std::optional<ChildIndex> prepared = preparation_->takeIndex(node);
        if (prepared && prepared->order == index.order)
            return index = std::move(*prepared);
    }
    readNames(*image_, index);
    return index;
}

const NameMap<NodeId>& HiveStore::namesIndex(NodeId node) const
{
    const ChildIndex& index = namedChildIndex(node);
    indexNames(index);
    return index.byName;
}

std::optional<NodeId> HiveStore::child(NodeId parent, QStringView name) const
{
    if (!isLive(parent))
        return std::nullopt;
    const NameMap<NodeId>& byName = namesIndex(parent);
    const auto it = byName.find(name);
    if (it != byName.end())
        return it->second;
    const QString& damage = childIndex(parent).damage;
    if (!damage.isEmpty())
        throw EHiveError(QStringLiteral("Cannot tell whether the key '%1' exists: a key beside it is damaged (%2)")
                             .arg(name.toString(), damage));
    return std::nullopt;
}

std::vector<NodeId> HiveStore::children(NodeId node) const
{
    return isLive(node) ? childIndex(node).order : std::vector<NodeId>{};
}

QStringList HiveStore::childNames(NodeId node) const
{
    return isLive(node) ? namedChildIndex(node).names : QStringList();
}

QString HiveStore::name(NodeId node) const
{
    return isLive(node) ? image_->name(node) : QString();
}

QStringView HiveStore::nameView(NodeId node, NameBuffer& buffer) const
{
    return isLive(node) ? image_->nameView(node, buffer) : QStringView();
}

uint64_t HiveStore::lastWriteTime(NodeId node) const
{
    if (!isLive(node))
        return 0;
    const auto written = writeTimes_.find(node);
    return written != writeTimes_.end() ? written->second : image_->timestamp(node);
}

std::vector<RegValue> HiveStore::values(NodeId node) const
{
    if (!isLive(node))
        return {};
    const auto changed = changedValues_.find(node);
    return changed != changedValues_.end() ? changed->second : image_->values(node);
}

bool HiveStore::valuesAsRead(NodeId node) const
{
    return isLive(node) && (changedValues_.empty() || changedValues_.count(node) == 0);
}

void HiveStore::visitValues(NodeId node, const ValueVisitor& visit) const
{
    if (valuesAsRead(node))
        image_->visitValues(node, visit);
    else
        RegistryStore::visitValues(node, visit);   // none, or those changed here
}

void HiveStore::visitKey(NodeId node, NameBuffer& buffer, QStringView& name, const ValueVisitor& visit) const
{
    if (valuesAsRead(node))
        image_->visitKey(node, buffer, name, visit);
    else
        RegistryStore::visitKey(node, buffer, name, visit);
}

std::optional<RegValue> HiveStore::value(NodeId node, const QString& name) const
{
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
    if (name.isEmpty() || name.size() > kMaxKeyName || name.contains(QLatin1Char('\\')))
        throw EHiveError(QStringLiteral("Invalid key name '%1'").arg(name));
    requireWritable(parent);
    requireIntactSubkeys(parent);
    const NodeId added = image_->addKey(parent, name, CurrentFileTime());
    ChildIndex& index = childIndexes_.at(parent);   // built by the child() lookup above
    sortLikeWindows(index);
    const auto at = std::lower_bound(index.names.cbegin(), index.names.cend(), name, NameLess) - index.names.cbegin();
    index.order.insert(index.order.begin() + at, added);
    index.names.insert(at, name);
    index.byName.emplace(name, added);
    changedSubkeys_.insert(parent);
    touch(parent);
    touch(added);
    return added;
}

void HiveStore::sortLikeWindows(ChildIndex& index)
{
    if (index.inWindowsOrder)
        return;
    index.inWindowsOrder = true;
    if (std::is_sorted(index.names.cbegin(), index.names.cend(), NameLess))
        return;
    std::vector<qsizetype> positions(index.order.size());
    std::iota(positions.begin(), positions.end(), 0);
    std::stable_sort(positions.begin(), positions.end(),
                     [&](qsizetype a, qsizetype b) { return NameLess(index.names.at(a), index.names.at(b)); });
    std::vector<NodeId> order;
    QStringList names;
    for (qsizetype at : positions) {
        order.push_back(index.order[size_t(at)]);
        names.append(index.names.at(at));
    }
    index.order = std::move(order);
    index.names = std::move(names);
}

void HiveStore::collectSubtree(NodeId node, std::vector<NodeId>& ids) const
{
    // A stack of its own: a crafted hive may nest keys deeper than the call stack goes.
    std::vector<NodeId> pending{node};
    while (!pending.empty()) {
        const NodeId next = pending.back();
        pending.pop_back();
        ids.push_back(next);
        const std::vector<NodeId>& kids = childIndex(next).order;
        pending.insert(pending.end(), kids.rbegin(), kids.rend());
    }
}

void HiveStore::deleteNode(NodeId node)
{
    if (node == root())
        throw EHiveError(QStringLiteral("The root key of '%1' cannot be deleted").arg(filePath_));
    requireWritable(node);
    const NodeId parent = image_->parent(node);
    requireIntactSubkeys(parent);   // also reads the index before the image changes
    std::vector<NodeId> subtree;
    collectSubtree(node, subtree);
    image_->freeKeys(subtree);
    ChildIndex& siblings = childIndexes_.at(parent);
    const auto at = std::find(siblings.order.begin(), siblings.order.end(), node);
    if (at != siblings.order.end()) {
        siblings.byName.erase(siblings.names.at(at - siblings.order.begin()));
        siblings.names.removeAt(at - siblings.order.begin());
        siblings.order.erase(at);
    }
    for (NodeId gone : subtree) {
        childIndexes_.erase(gone);
        changedSubkeys_.erase(gone);
        changedValues_.erase(gone);
        writeTimes_.erase(gone);
        deleted_.insert(gone);
    }
    changedSubkeys_.insert(parent);
    touch(parent);
}

void HiveStore::changeValues(NodeId node, std::vector<RegValue> values)
{
    changedValues_[node] = std::move(values);
    touch(node);
}

void HiveStore::setValue(NodeId node, const RegValue& value)
{
    if (value.name.size() > kMaxValueName)
        throw EHiveError(QStringLiteral("The value name '%1...' is too long").arg(value.name.left(40)));
    requireWritable(node);
    std::vector<RegValue> all = values(node);
    const auto same = std::find_if(all.begin(), all.end(), [&](const RegValue& v) { return SameName(v.name, value.name); });
    if (same == all.end())
        all.push_back(value);
    else
        *same = value;
    changeValues(node, std::move(all));
}

bool HiveStore::eraseValue(NodeId node, const QString& name)
{
    requireWritable(node);
    std::vector<RegValue> all = values(node);
    const auto same = std::find_if(all.begin(), all.end(), [&](const RegValue& v) { return SameName(v.name, name); });
    if (same == all.end())
        return false;
    all.erase(same);
    changeValues(node, std::move(all));
    return true;
}

void HiveStore::touch(NodeId node)
{
    writeTimes_[node] = CurrentFileTime();
    modified_ = true;
    countChange();
}

void HiveStore::requireUnchangedOnDisk() const
{
    const FileIdentity now = identityOf(filePath_);
    if (now.size < 0)
        throwMissing();
    if (!(now == identity_))
        throw EHiveError(QStringLiteral("The hive file '%1' was changed by another program after it was opened; open it again")
                             .arg(filePath_));
}

void HiveStore::applyChanges()
{
    for (NodeId parent : changedSubkeys_) {
        ChildIndex& index = childIndexes_.at(parent);   // built by the change
        sortLikeWindows(index);
        image_->setSubkeys(parent, index.order, index.names);
    }
    for (const auto& [node, values] : changedValues_)
        image_->setValues(node, values);
    for (const auto& [node, time] : writeTimes_)
        image_->setTimestamp(node, time);
    changedSubkeys_.clear();
    changedValues_.clear();
    writeTimes_.clear();
}

// A save made ready: the hive's new file synced beside it, the hive's lock held.
class HiveStore::PreparedSave : public PreparedCommit {
public:
    PreparedSave(HiveStore& store, std::unique_ptr<StoreLock> lock, const std::vector<QByteArrayView>& pieces,
                 const FileOptions& options)
        : store_(store), lock_(std::move(lock)), file_(asHiveError([&] { return PreparedFile(store.filePath_, pieces, options); }))
    {
    }
    void addTo(Replacement& replacement) override { replacement.add(file_, store_.identity_, kIdentityHead); }
    void placed() override
    {
        store_.identity_ = identityOf(store_.filePath_);
        store_.modified_ = false;
    }

private:
    HiveStore& store_;
    std::unique_ptr<StoreLock> lock_;
    PreparedFile file_;
};

std::unique_ptr<PreparedCommit> HiveStore::prepareCommit()
{
    if (!modified_)
        return nullptr;
    if (!isWritable())
        throw EHiveError(QStringLiteral("The hive file '%1' is read-only: %2").arg(filePath_, readOnlyReason_));
    std::unique_ptr<StoreLock> held = holdLock();
    requireUnchangedOnDisk();
    requireNoKeysInFreeCells();
    struct stat original {};
    if (::stat(NativePath(filePath_).constData(), &original) != 0)
        throw EHiveError(QStringLiteral("Cannot save the hive file '%1': %2").arg(filePath_, SystemErrorText()));
    if (original.st_nlink > 1)
        throw EHiveError(QStringLiteral("Cannot save the hive file '%1': %2; nothing was saved")
                             .arg(filePath_, hardLinksReason(original.st_nlink)));
    applyChanges();
    FileOptions options{kSaveFailure, kNothingSaved, kChangedMeanwhile, mode_t(original.st_mode & 07777), true,
                        original.st_uid, original.st_gid};
    std::unique_ptr<PreparedCommit> save;
    try {
        save = std::make_unique<PreparedSave>(*this, std::move(held), image_->save(CurrentFileTime()), options);
    } catch (const EHiveError&) {
        requireMappedFileAsRead();   // a write that failed as the file changed says so
        throw;
    }
    requireMappedFileAsRead();   // what was written is the file as read with the changes
    return save;
}

void HiveStore::requireMappedFileAsRead() const
{
    const std::shared_ptr<MappedFile>& mapping = image_->mapping();
    if (mapping && (mapping->wasCut() || mapping->changedSinceMapped()))
        throw EHiveError(kChangedMeanwhile.arg(filePath_));
}

void HiveStore::commit()
{
    CommitTogether({this});
}

} // namespace parvelle
