#include "RegfImage.h"

#include "HiveCells.h"
#include "HiveImage.h"
#include "core/Errors.h"

#include <QtEndian>
#include <algorithm>
#include <cstring>
#include <unordered_set>

namespace parvelle {

namespace {

using namespace regf;

uint16_t u16(const char* at) { return qFromLittleEndian<uint16_t>(at); }
uint32_t u32(const char* at) { return qFromLittleEndian<uint32_t>(at); }

// Hive bins start and end on multiples of this; `binEnds_` keeps one entry per unit.
constexpr uint32_t kBinUnit = 0x1000;
constexpr uint32_t kBrokenBin = 1;   // never the end of a bin

// A key's path below the root, as messages show it.
QString shownPath(const QString& path)
{
    return path.isEmpty() ? QStringLiteral("\\") : path;
}

QString decodeName(const char* at, int length, bool compressed)
{
    if (compressed)
        return QString::fromLatin1(at, length);
    QString name(length / 2, Qt::Uninitialized);
    for (int i = 0; i < length / 2; ++i)
        name[i] = QChar(qFromLittleEndian<char16_t>(at + 2 * i));
    return name;
}

} // namespace

void PageTable::resize(uint32_t pages)
{
    size_ = std::max(size_, pages);
    blocks_.resize((size_ + kBlockPages - 1) / kBlockPages);
}

uint32_t PageTable::at(uint32_t page) const
{
    const auto& block = blocks_[page / kBlockPages];
    return block ? block[page % kBlockPages] : 0;
}

void PageTable::fill(uint32_t from, uint32_t to, uint32_t value)
{
    for (uint32_t page = from; page < to; ++page) {
        auto& block = blocks_[page / kBlockPages];
        if (!block)
            block = std::make_unique<uint32_t[]>(kBlockPages);
        block[page % kBlockPages] = value;
    }
}

RegfImage::RegfImage(QByteArray bytes, const QString& path, std::shared_ptr<const MappedFile> mapping)
    : bytes_(std::move(bytes)), mapping_(std::move(mapping)), path_(path)
{
    if (bytes_.size() < qsizetype(kBinsStart) || !bytes_.startsWith("regf"))
        throw EHiveError(QStringLiteral("'%1' is not a registry hive file (no 'regf' header)").arg(path_));
    const char* header = bytes_.constData();
    const uint32_t checksum = u32(header + 0x1FC);
    if (checksum != BaseBlockChecksum(bytes_) && checksum != BaseBlockXor(bytes_))
        damaged(QStringLiteral("the header checksum does not match"));
    if (u32(header + 0x1C) != 0)
        throw EHiveError(QStringLiteral("'%1' is a transaction log of a hive, not the hive itself").arg(path_));
    if (u32(header + 0x14) != 1)
        damaged(QStringLiteral("unknown format version %1.%2").arg(u32(header + 0x14)).arg(u32(header + 0x18)));
    sequence1_ = u32(header + 0x04);
    sequence2_ = u32(header + 0x08);
    minorVersion_ = u32(header + 0x18);
    binsSize_ = u32(header + 0x28);
    if (binsSize_ == 0 || binsSize_ % 0x1000 != 0 || qsizetype(kBinsStart) + binsSize_ > bytes_.size())
        damaged(QStringLiteral("the hive bins run past the end of the file"));
    root_ = NodeId(u32(header + 0x24)) + kBinsStart;
    children(root_);   // the root key and its subkey list, which every path goes through
    requireIntact();
}

bool RegfImage::startsWithBinSignature(uint32_t page) const
{
    return std::memcmp(bytes_.constData() + kBinsStart + page * kBinUnit, "hbin", 4) == 0;
}

uint32_t RegfImage::headerBinSize(uint32_t page) const
{
    const uint32_t bin = page * kBinUnit;
    const char* at = bytes_.constData() + kBinsStart + bin;
    const uint32_t size = u32(at + 8);
    const bool valid = startsWithBinSignature(page) && u32(at + 4) == bin && size >= kBinUnit && size % kBinUnit == 0
                       && size <= binsSize_ - bin;
    return valid ? size : 0;
}

uint32_t RegfImage::binStartCandidate(uint32_t page) const
{
    while (page > 0 && binEnds_.at(page) == 0 && !startsWithBinSignature(page))
        --page;
    return page;
}

uint32_t RegfImage::endOfBinBefore(uint32_t page) const
{
    // Only the bin's header counts, not whether its own neighbours meet it: one broken bin
    // fails the bins on either side of it, not every bin after it.
    const auto soundEnd = [this](uint32_t at) { return binEnds_.at(at) != 0 && binEnds_.at(at) != kBrokenBin; };
    uint32_t before = page - 1;
    while (before > 0 && !soundEnd(before) && !startsWithBinSignature(before))
        --before;
    if (soundEnd(before))
        return binEnds_.at(before);
    const uint32_t size = headerBinSize(before);
    return size == 0 ? 0 : before * kBinUnit + size;
}

uint32_t RegfImage::soundBinEnd(uint32_t page) const
{
    const uint32_t size = headerBinSize(page);
    if (size == 0)
        return 0;
    const uint32_t end = page * kBinUnit + size;
    const bool meetsNext = end == binsSize_ || headerBinSize(end / kBinUnit) != 0;
    const bool meetsPrevious = page == 0 || endOfBinBefore(page) == page * kBinUnit;
    return meetsNext && meetsPrevious ? end : 0;
}

void RegfImage::checkBinHolding(uint32_t page) const
{
    const uint32_t start = binStartCandidate(page);
    uint32_t brokenFrom = start + 1;   // a page checked before starts no bin that holds `page`
    if (binEnds_.at(start) == 0) {
        const uint32_t end = soundBinEnd(start);
        brokenFrom = end == 0 ? start : end / kBinUnit;
        binEnds_.fill(start, brokenFrom, end);
    }
    if (brokenFrom <= page)
        binEnds_.fill(brokenFrom, page + 1, kBrokenBin);
}

uint32_t RegfImage::binEnd(uint32_t offset) const
{
    const uint32_t page = offset / kBinUnit;
    if (page >= binEnds_.size())
        binEnds_.resize(binsSize_ / kBinUnit);   // first use, or bins added by a change
    if (binEnds_.at(page) == 0)
        checkBinHolding(page);
    if (binEnds_.at(page) == kBrokenBin)
        damaged(QStringLiteral("the hive bin holding offset 0x%1, or one beside it, is broken").arg(kBinsStart + page * kBinUnit, 0, 16));
    return binEnds_.at(page);
}

void RegfImage::checkAllBins() const
{
    if (allBinsChecked_)
        return;
    for (uint32_t bin = 0; bin < binsSize_;) {
        const uint32_t size = headerBinSize(bin / kBinUnit);
        if (size == 0)
            damaged(QStringLiteral("the hive bin at offset 0x%1 is broken").arg(kBinsStart + bin, 0, 16));
        bin += size;
    }
    requireIntact();
    allBinsChecked_ = true;
}

void RegfImage::checkReachableCells() const
{
    checkAllBins();
    std::unordered_set<uint32_t> securityChecked;
    std::vector<std::pair<NodeId, QString>> pending{{root_, QString()}};   // a key and its parent's path
    while (!pending.empty()) {
        const auto [key, parentPath] = std::move(pending.back());
        pending.pop_back();
        QString where = QStringLiteral("a subkey of '%1'").arg(shownPath(parentPath));
        try {
            const QString path = key == root_ ? QString() : parentPath + u'\\' + name(key);
            where = QStringLiteral("the key '%1'").arg(shownPath(path));
            const uint32_t security = u32(keyCell(key).data + 0x2C);
            if (securityChecked.insert(security).second)
                checkSecurity(security);
            values(key);
            for (NodeId kid : children(key))
                pending.emplace_back(kid, path);
        } catch (const EHiveShortenedError&) {
            throw;
        } catch (const EHiveError& error) {
            throw EHiveError(QStringLiteral("%1 (in %2)").arg(error.message(), where));
        }
    }
    const QStringList keys = keysInFreeCells();
    if (!keys.isEmpty())
        throw EHiveError(keys.first());
}

void RegfImage::makePrivateCopy()
{
    if (!mapping_)
        return;
    QByteArray copy(bytes_.constData(), bytes_.size());
    requireIntact();
    bytes_ = std::move(copy);
    mapping_.reset();
}

void RegfImage::requireIntact() const
{
    if (mapping_ && mapping_->wasCut())
        throw EHiveShortenedError(QStringLiteral("The hive file '%1' was shortened by another program while it was read").arg(path_));
}

void RegfImage::damaged(const QString& what) const
{
    requireIntact();
    throw EHiveError(QStringLiteral("The hive file '%1' is damaged: %2").arg(path_, what));
}

RegfImage::Cell RegfImage::cell(uint32_t offset) const
{
    if (offset >= binsSize_ || binsSize_ - offset < 8)
        damaged(QStringLiteral("a cell reference (0x%1) points outside the hive").arg(offset, 0, 16));
    const uint32_t end = binEnd(offset);
    const char* at = bytes_.constData() + kBinsStart + offset;
    const int32_t size = qFromLittleEndian<int32_t>(at);
    if (size >= 0 || uint32_t(-int64_t(size)) > end - offset || -size < 8)
        damaged(QStringLiteral("a cell reference (0x%1) points to a free or broken cell").arg(offset, 0, 16));
    return Cell{at + 4, uint32_t(-int64_t(size)) - 4};
}

RegfImage::Cell RegfImage::keyRecord(NodeId node, bool& markedFree) const
{
    if (node < kBinsStart || node - kBinsStart >= binsSize_ || binsSize_ - (node - kBinsStart) < 8)
        damaged(QStringLiteral("a key reference (0x%1) points outside the hive").arg(node, 0, 16));
    const uint32_t offset = uint32_t(node - kBinsStart);
    const uint32_t end = binEnd(offset);
    const char* at = bytes_.constData() + kBinsStart + offset;
    const int32_t size = qFromLittleEndian<int32_t>(at);
    const int64_t length = size < 0 ? -int64_t(size) : int64_t(size);
    if (length < 8 || length > int64_t(end - offset))
        damaged(QStringLiteral("the cell of the key at offset 0x%1 has a broken size (%2)").arg(node, 0, 16).arg(size));
    const Cell key{at + 4, uint32_t(length) - 4};
    if (key.size < 0x4C || std::memcmp(key.data, "nk", 2) != 0 || 0x4Cu + u16(key.data + 0x48) > key.size)
        damaged(QStringLiteral("the key at offset 0x%1 is broken").arg(node, 0, 16));
    // A key's cell is exactly as large as its record: a free cell larger than that holds
    // more than the key (free cells joined, or a hive bin replaced by an empty one).
    if (size > 0 && length != ((4 + 0x4C + u16(key.data + 0x48) + 7) & ~7))
        damaged(QStringLiteral("the key at offset 0x%1 lies in a free cell larger than the key").arg(node, 0, 16));
    markedFree = size > 0;
    return key;
}

RegfImage::Cell RegfImage::keyCell(NodeId node) const
{
    bool markedFree = false;
    const Cell key = keyRecord(node, markedFree);
    if (markedFree && keysInFreeCells_.count(node) == 0) {
        const QString name = decodeName(key.data + 0x4C, u16(key.data + 0x48), u16(key.data + 0x02) & kKeyCompressedName);
        keysInFreeCells_.emplace(node, QStringLiteral("The hive file '%1' is damaged: the key '%2' at offset 0x%3 lies in a cell "
                                                      "marked free; its record is intact and was read as it stands")
                                           .arg(path_, name).arg(node, 0, 16));
    }
    return key;
}

QStringList RegfImage::keysInFreeCells() const
{
    QStringList lines;
    for (const auto& [node, line] : keysInFreeCells_)
        lines.append(line);
    return lines;
}

QString RegfImage::name(NodeId node) const
{
    const Cell key = keyCell(node);
    QString decoded = decodeName(key.data + 0x4C, u16(key.data + 0x48), u16(key.data + 0x02) & kKeyCompressedName);
    requireIntact();
    return decoded;
}

std::optional<RegfImage::Cell> RegfImage::readableKey(NodeId node) const
{
    try {
        bool markedFree = false;
        return keyRecord(node, markedFree);
    } catch (const EHiveError&) {
        return std::nullopt;
    }
}

NodeId RegfImage::parent(NodeId node) const
{
    const NodeId parent = NodeId(u32(keyCell(node).data + 0x10)) + kBinsStart;
    requireIntact();
    return parent;
}

uint64_t RegfImage::timestamp(NodeId node) const
{
    const uint64_t time = qFromLittleEndian<uint64_t>(keyCell(node).data + 0x04);
    requireIntact();
    return time;
}

void RegfImage::collectSubkeys(uint32_t list, std::vector<NodeId>& into, int depth) const
{
    const Cell c = cell(list);
    const uint16_t count = u16(c.data + 2);
    const bool hashed = std::memcmp(c.data, "lf", 2) == 0 || std::memcmp(c.data, "lh", 2) == 0;
    const bool index = std::memcmp(c.data, "ri", 2) == 0;
    if (!hashed && !index && std::memcmp(c.data, "li", 2) != 0)
        damaged(QStringLiteral("unknown subkey list at offset 0x%1").arg(list + kBinsStart, 0, 16));
    const uint32_t stride = hashed ? 8 : 4;
    if (4u + count * stride > c.size || (index && depth > 0))
        damaged(QStringLiteral("the subkey list at offset 0x%1 is broken").arg(list + kBinsStart, 0, 16));
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t entry = u32(c.data + 4 + i * stride);
        if (index)
            collectSubkeys(entry, into, depth + 1);
        else
            into.push_back(NodeId(entry) + kBinsStart);
    }
}

void RegfImage::prefetchKeys(const std::vector<NodeId>& keys) const
{
    constexpr size_t kFewKeys = 64;                // read as they come
    constexpr qsizetype kMostBytesPerKey = 16384;  // keys farther apart: pages of others between
    if (!mapping_ || keys.size() < kFewKeys)
        return;
    const auto [first, last] = std::minmax_element(keys.begin(), keys.end());
    const qsizetype span = qsizetype(*last - *first) + kBinUnit;
    if (span <= qsizetype(keys.size()) * kMostBytesPerKey)
        mapping_->prefetch(qsizetype(*first), span);
}

std::vector<NodeId> RegfImage::children(NodeId node) const
{
    const Cell key = keyCell(node);
    std::vector<NodeId> kids;
    const uint32_t count = u32(key.data + 0x14);
    const uint32_t list = u32(key.data + 0x1C);
    if (count == 0 || list == kNoCell) {
        requireIntact();
        return kids;
    }
    kids.reserve(std::min(count, binsSize_ / 0x50));   // no more keys than the smallest key cells fit
    collectSubkeys(list, kids, 0);
    if (kids.size() != count)
        damaged(QStringLiteral("the key at offset 0x%1 lists %2 subkeys instead of %3").arg(node, 0, 16).arg(kids.size()).arg(count));
    prefetchKeys(kids);
    // A subkey must name its key as parent, never be the root and be listed once: then
    // every key is reached once and walks of the tree end. A damaged subkey is listed all
    // the same, so that its siblings stay readable; every read of it raises its damage.
    for (NodeId kid : kids) {
        const std::optional<Cell> record = readableKey(kid);
        if (kid == root_ || (record && NodeId(u32(record->data + 0x10)) + kBinsStart != node))
            damaged(QStringLiteral("the key at offset 0x%1 is listed under a key that is not its parent").arg(kid, 0, 16));
    }
    std::vector<NodeId> sortedCopy;   // needed only when the keys are not in file order already
    const std::vector<NodeId>* sorted = &kids;
    if (!std::is_sorted(kids.begin(), kids.end())) {
        sortedCopy = kids;
        std::sort(sortedCopy.begin(), sortedCopy.end());
        sorted = &sortedCopy;
    }
    if (const auto twice = std::adjacent_find(sorted->begin(), sorted->end()); twice != sorted->end())
        damaged(QStringLiteral("the key at offset 0x%1 is listed twice").arg(*twice, 0, 16));
    requireIntact();
    return kids;
}

QByteArray RegfImage::valueData(uint32_t length, uint32_t offset) const
{
    if (length & 0x80000000u) {   // up to 4 bytes kept in the offset field itself
        length &= 0x7FFFFFFFu;
        if (length > 4)
            damaged(QStringLiteral("a value claims %1 bytes of inline data").arg(length));
        char inline_[4];
        qToLittleEndian<uint32_t>(offset, inline_);
        return QByteArray(inline_, length);
    }
    if (length == 0)
        return {};
    const Cell data = cell(offset);
    if (length <= data.size)
        return QByteArray(data.data, length);
    if (std::memcmp(data.data, "db", 2) != 0 || data.size < 8)
        damaged(QStringLiteral("a value's data (%1 bytes) does not fit its cell").arg(length));
    const uint16_t segments = u16(data.data + 2);
    const Cell list = cell(u32(data.data + 4));
    if (segments * 4u > list.size)
        damaged(QStringLiteral("a big data list is broken"));
    if (length > segments * kBigDataSegment)
        damaged(QStringLiteral("a big value is longer than its segments"));
    QByteArray bytes;
    bytes.reserve(std::min(length, binsSize_));
    for (uint32_t i = 0; i < segments && uint32_t(bytes.size()) < length; ++i) {
        const Cell segment = cell(u32(list.data + 4 * i));
        bytes.append(segment.data, std::min({segment.size, kBigDataSegment, length - uint32_t(bytes.size())}));
    }
    if (uint32_t(bytes.size()) != length)
        damaged(QStringLiteral("a big value is shorter than its length"));
    return bytes;
}

RegfImage::Cell RegfImage::securityCell(uint32_t offset) const
{
    const Cell sk = cell(offset);
    if (sk.size < 0x14 || std::memcmp(sk.data, "sk", 2) != 0)
        damaged(QStringLiteral("the security record at offset 0x%1 is broken").arg(offset + kBinsStart, 0, 16));
    return sk;
}

void RegfImage::checkSecurity(uint32_t offset) const
{
    const Cell sk = securityCell(offset);
    securityCell(u32(sk.data + 0x04));
    securityCell(u32(sk.data + 0x08));
}

RegValue RegfImage::readValue(uint32_t vkOffset) const
{
    const Cell vk = cell(vkOffset);
    if (vk.size < 0x14 || std::memcmp(vk.data, "vk", 2) != 0 || 0x14u + u16(vk.data + 2) > vk.size)
        damaged(QStringLiteral("the value at offset 0x%1 is broken").arg(vkOffset + kBinsStart, 0, 16));
    return RegValue{decodeName(vk.data + 0x14, u16(vk.data + 2), u16(vk.data + 0x10) & kValueCompressedName),
                    u32(vk.data + 0x0C), valueData(u32(vk.data + 4), u32(vk.data + 8))};
}

std::vector<RegValue> RegfImage::values(NodeId node) const
{
    const Cell key = keyCell(node);
    std::vector<RegValue> result;
    const uint32_t count = u32(key.data + 0x24);
    if (count == 0) {
        requireIntact();
        return result;
    }
    const Cell list = cell(u32(key.data + 0x28));
    if (count > list.size / 4)
        damaged(QStringLiteral("the value list of the key at offset 0x%1 is broken").arg(node, 0, 16));
    result.reserve(count);
    for (uint32_t i = 0; i < count; ++i)
        result.push_back(readValue(u32(list.data + 4 * i)));
    requireIntact();
    return result;
}

} // namespace parvelle
