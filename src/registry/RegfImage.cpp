#include "RegfImage.h"

#include "HiveCells.h"
#include "HiveImage.h"
#include "core/Errors.h"
#include "core/StartAside.h"

#include <QtEndian>
#include <algorithm>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <functional>
#include <unordered_set>

namespace parvelle {

namespace {

using namespace regf;

// No more keys than `binsSize` bytes of hive bins hold, one record without a name each.
constexpr uint32_t MostKeys(uint32_t binsSize)
{
    return binsSize / (kCellSizeField + KeyNode::kName);
}

// A key's path below the root, as messages show it.
QString shownPath(const QString& path)
{
    return path.isEmpty() ? QStringLiteral("\\") : path;
}

// A cell size field's bits, as a damage report shows them.
uint64_t sizeBits(int32_t size)
{
    return uint32_t(size);
}

// Runs check(from, to) over [0, count): in halves on two threads when there are many. When
// both halves fail, the first half's error is the one thrown, as on one thread.
void checkInHalves(size_t count, const std::function<void(size_t, size_t)>& check)
{
    constexpr size_t kManyForTwoThreads = 8192;
    const size_t half = count / 2;
    std::future<void> back = count >= kManyForTwoThreads ? StartAside([&] { check(half, count); }) : std::future<void>();
    try {
        check(0, back.valid() ? half : count);
    } catch (...) {
        if (back.valid())
            back.wait();
        throw;
    }
    if (back.valid())
        back.get();
}

// Latin-1 bytes widened to UTF-16 units, eight and then four at a time where the processor can.
void widenLatin1(const char* from, int length, char16_t* to)
{
    int i = 0;
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    for (; i + 8 <= length; i += 8) {
        const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(from + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), _mm_unpacklo_epi8(bytes, zero));
    }
    for (; i + 4 <= length; i += 4) {
        int32_t four;
        std::memcpy(&four, from + i, sizeof four);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(to + i), _mm_unpacklo_epi8(_mm_cvtsi32_si128(four), zero));
    }
#endif
    for (; i < length; ++i)
        to[i] = uchar(from[i]);
}

QStringView decodeName(const char* at, int length, bool compressed, NameBuffer& into)
{
    const int units = compressed ? length : length / 2;
    if (into.size() < units)
        into.resize(units);   // the buffer only grows: most names fit its first room
    char16_t* out = into.data();
    if (compressed)
        widenLatin1(at, length, out);
    else
        qFromLittleEndian<char16_t>(at, units, out);
    return QStringView(out, units);
}

QStringView keyName(const KeyNode& key, NameBuffer& into)
{
    return decodeName(key.name(), key.nameLength(), key.compressedName(), into);
}

} // namespace

void PageTable::resize(uint32_t pages)
{
    if (pages <= size_)
        return;
    auto grown = std::unique_ptr<uint32_t[], Free>(static_cast<uint32_t*>(std::calloc(pages, sizeof(uint32_t))));
    if (!grown)
        throw std::bad_alloc();
    std::copy_n(pages_.get(), size_, grown.get());
    pages_ = std::move(grown);
    size_ = pages;
}

void PageTable::fill(uint32_t from, uint32_t to, uint32_t value)
{
    for (uint32_t page = from; page < to; ++page)
        std::atomic_ref<uint32_t>(pages_[page]).store(value, std::memory_order_relaxed);
}

RegfImage::RegfImage(ImageBytes bytes, const QString& path)
    : bytes_(std::move(bytes)), path_(path)
{
    if (bytes_.size() < qsizetype(BaseBlock::kSize) || !BaseBlock::startsIn(bytes_.view()))
        throw EHiveError(QStringLiteral("'%1' is not a registry hive file (no 'regf' header)").arg(path_));
    const BaseBlock header(bytes_.constData());
    if (!HasMatchingChecksum(bytes_.view()))
        damaged(QStringLiteral("the header checksum does not match"),
                DamageKind::BaseBlockChecksum, BaseBlock::kChecksum, BaseBlockChecksum(bytes_.view()), header.storedChecksum());
    if (header.fileType() != BaseBlock::kPrimary)
        throw EHiveError(QStringLiteral("'%1' is a transaction log of a hive, not the hive itself").arg(path_));
    if (header.majorVersion() != BaseBlock::kMajor)
        damaged(QStringLiteral("unknown format version %1.%2").arg(header.majorVersion()).arg(header.minorVersion()),
                DamageKind::FormatVersion, BaseBlock::kMajorVersion, BaseBlock::kMajor, header.majorVersion());
    sequence1_ = header.sequence1();
    sequence2_ = header.sequence2();
    minorVersion_ = header.minorVersion();
    binsSize_ = header.binsSize();
    if (binsSize_ == 0 || binsSize_ % kPageSize != 0 || qsizetype(kBinsStart) + binsSize_ > bytes_.size())
        damaged(QStringLiteral("the hive bins run past the end of the file"),
                DamageKind::BinsSize, BaseBlock::kBinsSize, uint64_t(bytes_.size() - kBinsStart) / kPageSize * kPageSize, binsSize_);
    binEnds_.resize(binsSize_ / kPageSize);
    root_ = NodeId(header.rootCell()) + kBinsStart;
    children(root_);   // the root key and its subkey list, which every path goes through
    requireIntact();
}

bool RegfImage::startsWithBinSignature(uint32_t page) const
{
    return BinHeader::startsAt(bins() + page * kPageSize);
}

BinHeaderCheck RegfImage::binHeader(uint32_t page) const
{
    return CheckBinHeader(bins(), page * kPageSize, binsSize_);
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
    const uint32_t size = binHeader(before).size;
    return size == 0 ? 0 : before * kPageSize + size;
}

uint32_t RegfImage::soundBinEnd(uint32_t page) const
{
    const uint32_t size = binHeader(page).size;
    if (size == 0)
        return 0;
    const uint32_t end = page * kPageSize + size;
    const bool meetsNext = end == binsSize_ || binHeader(end / kPageSize).size != 0;
    const bool meetsPrevious = page == 0 || endOfBinBefore(page) == page * kPageSize;
    return meetsNext && meetsPrevious ? end : 0;
}

void RegfImage::checkBinHolding(uint32_t page) const
{
    const uint32_t start = binStartCandidate(page);
    uint32_t brokenFrom = start + 1;   // a page checked before starts no bin that holds `page`
    if (binEnds_.at(start) == 0) {
        const uint32_t end = soundBinEnd(start);
        brokenFrom = end == 0 ? start : end / kPageSize;
        binEnds_.fill(start, brokenFrom, end);
    }
    if (brokenFrom <= page)
        binEnds_.fill(brokenFrom, page + 1, kBrokenBin);
}

uint32_t RegfImage::uncheckedOrBrokenBinEnd(uint32_t offset) const
{
    const uint32_t page = offset / kPageSize;
    uint32_t end = binEnds_.at(page);
    if (end == 0) {
        checkBinHolding(page);
        end = binEnds_.at(page);
    }
    if (end == kBrokenBin)
        brokenBin(page);
    return end;
}

void RegfImage::brokenBin(uint32_t page) const
{
    const HiveDamage damage = brokenBinNear(page);
    damaged(QStringLiteral("the hive bin holding offset 0x%1, or one beside it, is broken").arg(kBinsStart + page * kPageSize, 0, 16),
            damage.kind, damage.offset, damage.expected, damage.found);
}

HiveDamage RegfImage::brokenBinNear(uint32_t page) const
{
    const uint32_t start = binStartCandidate(page);
    BinHeaderCheck check = binHeader(start);
    uint32_t bin = start * kPageSize;
    if (check.size != 0) {
        const uint32_t previousEnd = start == 0 ? 0 : endOfBinBefore(start);
        if (previousEnd != bin)   // the bin before does not end where this one starts
            return {DamageKind::HiveBin, kBinsStart + bin + BinHeader::kOffset, previousEnd, bin};
        bin += check.size;
        check = bin < binsSize_ ? binHeader(bin / kPageSize) : check;
    }
    return {DamageKind::HiveBin, kBinsStart + bin + check.field, check.expected, check.found};
}

void RegfImage::checkAllBins() const
{
    if (allBinsChecked_)
        return;
    for (uint32_t bin = 0; bin < binsSize_;) {
        const BinHeaderCheck check = binHeader(bin / kPageSize);
        if (check.size == 0)
            damaged(QStringLiteral("the hive bin at offset 0x%1 is broken").arg(kBinsStart + bin, 0, 16),
                    DamageKind::HiveBin, kBinsStart + bin + check.field, check.expected, check.found);
        bin += check.size;
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
            const uint32_t security = KeyNode(keyCell(key)).security();
            if (securityChecked.insert(security).second)
                checkSecurity(security);
            values(key);
            for (NodeId kid : children(key))
                pending.emplace_back(kid, path);
        } catch (const EHiveDamage& error) {
            throw EHiveDamage(QStringLiteral("%1 (in %2)").arg(error.message(), where), error.damage());
        }
    }
    const std::lock_guard taken(keysInFreeCellsTaken_);
    if (!keysInFreeCells_.empty()) {
        const auto& [node, line] = *keysInFreeCells_.begin();
        const int32_t size = LoadI32(bytes_.constData() + node);
        throw EHiveDamage(line, {DamageKind::KeyInFreeCell, node, sizeBits(-size), sizeBits(size)});
    }
}

std::vector<FreeCell> RegfImage::cellsMarkedFree() const
{
    std::vector<FreeCell> cells;
    for (uint32_t bin = 0; bin < binsSize_;) {
        const uint32_t binEnd = bin + LoadU32(bins() + bin + BinHeader::kSize);   // checked by checkAllBins()
        for (uint32_t at = bin + kBinHeaderSize; binEnd - at >= kSmallestCell;) {
            const int32_t size = LoadI32(bins() + at);
            const uint32_t length = uint32_t(size < 0 ? -int64_t(size) : size);
            if (length < kSmallestCell || length % kCellAlignment != 0 || length > binEnd - at)
                break;   // a damaged bin: its cells are left alone
            if (size > 0)
                cells.push_back({at, length});
            at += length;
        }
        bin = binEnd;
    }
    return cells;
}

void RegfImage::requireIntact() const
{
    if (mapping() && mapping()->wasCut())
        throw EHiveShortenedError(QStringLiteral("The hive file '%1' was shortened by another program while it was read").arg(path_));
}

void RegfImage::damaged(const QString& what, DamageKind kind, uint64_t offset, uint64_t expected, uint64_t found) const
{
    requireIntact();
    throw EHiveDamage(QStringLiteral("The hive file '%1' is damaged: %2").arg(path_, what), {kind, offset, expected, found});
}

RegfImage::Cell RegfImage::cell(uint32_t offset) const
{
    if (offset >= binsSize_ || binsSize_ - offset < kSmallestCell)
        damaged(QStringLiteral("a cell reference (0x%1) points outside the hive").arg(offset, 0, 16),
                DamageKind::CellReference, kBinsStart + uint64_t(offset), binsSize_ - kSmallestCell, offset);
    const uint32_t end = binEnd(offset);
    const char* at = bins() + offset;
    const int32_t size = LoadI32(at);
    if (size >= 0 || uint32_t(-int64_t(size)) > end - offset || -size < int32_t(kSmallestCell))
        brokenCell(offset, end);
    return Cell{at + kCellSizeField, uint32_t(-int64_t(size)) - kCellSizeField};
}

void RegfImage::brokenCell(uint32_t offset, uint32_t end) const
{
    damaged(QStringLiteral("a cell reference (0x%1) points to a free or broken cell").arg(offset, 0, 16),
            DamageKind::CellReference, kBinsStart + uint64_t(offset), end - offset, sizeBits(LoadI32(bins() + offset)));
}

RegfImage::Cell RegfImage::keyRecord(NodeId node, bool& markedFree) const
{
    if (node < kBinsStart || node - kBinsStart >= binsSize_ || binsSize_ - (node - kBinsStart) < kSmallestCell)
        damaged(QStringLiteral("a key reference (0x%1) points outside the hive").arg(node, 0, 16),
                DamageKind::CellReference, node, kBinsStart + binsSize_ - kSmallestCell, node);
    const uint32_t offset = uint32_t(node - kBinsStart);
    const uint32_t end = binEnd(offset);
    const char* at = bins() + offset;
    const int32_t size = LoadI32(at);
    const int64_t length = size < 0 ? -int64_t(size) : int64_t(size);
    const KeyNode key(Cell{at + kCellSizeField, uint32_t(length) - kCellSizeField});
    // A key's cell is exactly as large as its record: a free cell larger than that holds
    // more than the key (free cells joined, or a hive bin replaced by an empty one).
    if (length < kSmallestCell || length > int64_t(end - offset) || !key.whole() || (size > 0 && length != key.cellSize()))
        brokenKey(node, end);
    markedFree = size > 0;
    return Cell{key.data(), key.size()};
}

void RegfImage::brokenKey(NodeId node, uint32_t end) const
{
    const uint32_t room = end - uint32_t(node - kBinsStart);
    const int32_t size = LoadI32(bytes_.constData() + node);
    const int64_t length = size < 0 ? -int64_t(size) : int64_t(size);
    if (length < kSmallestCell || length > room)
        damaged(QStringLiteral("the cell of the key at offset 0x%1 has a broken size (%2)").arg(node, 0, 16).arg(size),
                DamageKind::KeyCell, node, room, uint64_t(length));
    const KeyNode key(Cell{bytes_.constData() + node + kCellSizeField, uint32_t(length) - kCellSizeField});
    if (!key.whole())
        damaged(QStringLiteral("the key at offset 0x%1 is broken").arg(node, 0, 16),
                DamageKind::KeyRecord, node + kCellSizeField, LoadU16("nk"), LoadU16(key.data()));
    damaged(QStringLiteral("the key at offset 0x%1 lies in a free cell larger than the key").arg(node, 0, 16),
            DamageKind::KeyInFreeCell, node, key.cellSize(), uint64_t(length));
}

RegfImage::Cell RegfImage::keyCell(NodeId node) const
{
    bool markedFree = false;
    const Cell key = keyRecord(node, markedFree);
    if (!markedFree)
        return key;
    const std::lock_guard taken(keysInFreeCellsTaken_);
    if (keysInFreeCells_.count(node) == 0) {
        NameBuffer buffer;
        const QString name = keyName(KeyNode(key), buffer).toString();
        keysInFreeCells_.emplace(node, QStringLiteral("The hive file '%1' is damaged: the key '%2' at offset 0x%3 lies in a cell "
                                                      "marked free; its record is intact and was read as it stands")
                                           .arg(path_, name).arg(node, 0, 16));
    }
    return key;
}

QStringList RegfImage::keysInFreeCells() const
{
    const std::lock_guard taken(keysInFreeCellsTaken_);
    QStringList lines;
    for (const auto& [node, line] : keysInFreeCells_)
        lines.append(line);
    return lines;
}

QString RegfImage::name(NodeId node) const
{
    NameBuffer buffer;
    return nameView(node, buffer).toString();
}

QStringView RegfImage::nameView(NodeId node, NameBuffer& buffer) const
{
    const QStringView decoded = keyName(KeyNode(keyCell(node)), buffer);
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
    const NodeId parent = NodeId(KeyNode(keyCell(node)).parent()) + kBinsStart;
    requireIntact();
    return parent;
}

uint64_t RegfImage::timestamp(NodeId node) const
{
    const uint64_t time = KeyNode(keyCell(node)).timestamp();
    requireIntact();
    return time;
}

void RegfImage::collectSubkeys(uint32_t list, std::vector<NodeId>& into, int depth) const
{
    const SubkeyList subkeys(cell(list));
    const SubkeyList::Kind kind = subkeys.kind();
    if (kind == SubkeyList::Kind::Unknown)
        damaged(QStringLiteral("unknown subkey list at offset 0x%1").arg(list + kBinsStart, 0, 16),
                DamageKind::SubkeyList, list + kBinsStart + kCellSizeField, LoadU16("lf"), LoadU16(subkeys.data()));
    const bool index = kind == SubkeyList::Kind::Index;
    if (!subkeys.fits(kind) || (index && depth > 0))
        damaged(QStringLiteral("the subkey list at offset 0x%1 is broken").arg(list + kBinsStart, 0, 16),
                DamageKind::SubkeyList, list + kBinsStart + kCellSizeField + SubkeyList::kCount,
                 index && depth > 0 ? 0 : (subkeys.size() - SubkeyList::kEntries) / SubkeyList::stride(kind), subkeys.count());
    for (uint32_t i = 0; i < subkeys.count(); ++i) {
        const uint32_t entry = subkeys.entry(i, kind);
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
    if (!mapping() || keys.size() < kFewKeys)
        return;
    const auto [first, last] = std::minmax_element(keys.begin(), keys.end());
    const qsizetype span = qsizetype(*last - *first) + kPageSize;
    if (span <= qsizetype(keys.size()) * kMostBytesPerKey)
        mapping()->prefetch(qsizetype(*first), span);
}

std::vector<NodeId> RegfImage::children(NodeId node) const
{
    const KeyNode key(keyCell(node));
    std::vector<NodeId> kids;
    const uint32_t count = key.subkeyCount();
    const uint32_t list = key.subkeyList();
    if (count == 0 || list == kNoCell) {
        requireIntact();
        return kids;
    }
    kids.reserve(std::min(count, MostKeys(binsSize_)));
    collectSubkeys(list, kids, 0);
    if (kids.size() != count)
        damaged(QStringLiteral("the key at offset 0x%1 lists %2 subkeys instead of %3").arg(node, 0, 16).arg(kids.size()).arg(count),
                DamageKind::SubkeyCount, node + kCellSizeField + KeyNode::kSubkeyCount, kids.size(), count);
    prefetchKeys(kids);
    // A subkey must name its key as parent, never be the root and be listed once: then
    // every key is reached once and walks of the tree end. A damaged subkey is listed all
    // the same, so that its siblings stay readable; every read of it raises its damage.
    checkInHalves(kids.size(), [&](size_t from, size_t to) {
        for (size_t i = from; i < to; ++i) {
            const NodeId kid = kids[i];
            if (i + kPrefetchAhead < to)
                prefetch(kids[i + kPrefetchAhead]);
            const std::optional<Cell> record = readableKey(kid);
            const NodeId parent = record ? NodeId(KeyNode(*record).parent()) + kBinsStart : node;
            if (kid == root_ || parent != node)
                damaged(QStringLiteral("the key at offset 0x%1 is listed under a key that is not its parent").arg(kid, 0, 16),
                        DamageKind::SubkeyParent, kid + kCellSizeField + KeyNode::kParent, node - kBinsStart, parent - kBinsStart);
        }
    });
    std::vector<NodeId> sortedCopy;   // needed only when the keys are not in file order already
    const std::vector<NodeId>* sorted = &kids;
    if (!std::is_sorted(kids.begin(), kids.end())) {
        sortedCopy = kids;
        std::sort(sortedCopy.begin(), sortedCopy.end());
        sorted = &sortedCopy;
    }
    if (const auto twice = std::adjacent_find(sorted->begin(), sorted->end()); twice != sorted->end())
        damaged(QStringLiteral("the key at offset 0x%1 is listed twice").arg(*twice, 0, 16),
                DamageKind::SubkeyListedTwice, list + kBinsStart, 1, 2);
    requireIntact();
    return kids;
}

QByteArrayView RegfImage::valueData(uint32_t vkOffset, const ValueKey& vk, QByteArray& gathered) const
{
    uint32_t length = vk.dataLength();
    const uint32_t offset = vk.dataField();
    const uint64_t at = offset + kBinsStart + kCellSizeField;
    if (length & ValueKey::kDataInline) {   // up to 4 bytes kept in the offset field itself
        length &= ~ValueKey::kDataInline;
        if (length > ValueKey::kMaxInlineData)
            damaged(QStringLiteral("a value claims %1 bytes of inline data").arg(length),
                    DamageKind::ValueData, vkOffset + kBinsStart + kCellSizeField + ValueKey::kDataLength, ValueKey::kMaxInlineData, length);
        return QByteArrayView(vk.data() + ValueKey::kData, length);
    }
    if (length == 0)
        return {};
    const Cell data = cell(offset);
    if (length <= data.size)
        return QByteArrayView(data.data, length);
    const BigData big(data);
    if (!big.whole())
        damaged(QStringLiteral("a value's data (%1 bytes) does not fit its cell").arg(length),
                DamageKind::ValueData, at, data.size, length);
    const uint16_t segments = big.segmentCount();
    const OffsetList list(cell(big.segmentList()));
    if (!list.fits(segments))
        damaged(QStringLiteral("a big data list is broken"),
                DamageKind::ValueData, at + BigData::kSegmentCount, list.size() / kOffsetEntry, segments);
    if (length > segments * kBigDataSegment)
        damaged(QStringLiteral("a big value is longer than its segments"),
                DamageKind::ValueData, at + BigData::kSegmentCount, (length + kBigDataSegment - 1) / kBigDataSegment, segments);
    QByteArray& bytes = gathered;
    bytes.clear();
    bytes.reserve(std::min(length, binsSize_));
    for (uint32_t i = 0; i < segments && uint32_t(bytes.size()) < length; ++i) {
        const Cell segment = cell(list.entry(i));
        bytes.append(segment.data, std::min({segment.size, kBigDataSegment, length - uint32_t(bytes.size())}));
    }
    if (uint32_t(bytes.size()) != length)
        damaged(QStringLiteral("a big value is shorter than its length"), DamageKind::ValueData, at, length, uint64_t(bytes.size()));
    return bytes;
}

RegfImage::Cell RegfImage::securityCell(uint32_t offset) const
{
    const Cell sk = cell(offset);
    if (!SecurityKey(sk).whole())
        damaged(QStringLiteral("the security record at offset 0x%1 is broken").arg(offset + kBinsStart, 0, 16),
                DamageKind::SecurityRecord, offset + kBinsStart + kCellSizeField, LoadU16("sk"), LoadU16(sk.data));
    return sk;
}

void RegfImage::checkSecurity(uint32_t offset) const
{
    const SecurityKey sk(securityCell(offset));
    securityCell(sk.next());
    securityCell(sk.previous());
}

void RegfImage::visitValue(uint32_t vkOffset, NameBuffer& name, QByteArray& gathered, const ValueVisitor& visit) const
{
    const ValueKey vk(cell(vkOffset));
    if (!vk.whole())
        brokenValue(vkOffset);
    visit(decodeName(vk.name(), vk.nameLength(), vk.compressedName(), name), vk.type(), valueData(vkOffset, vk, gathered));
}

RegValue RegfImage::readValue(uint32_t vkOffset) const
{
    NameBuffer name;
    QByteArray gathered;
    RegValue value;
    visitValue(vkOffset, name, gathered, [&value](QStringView n, uint32_t type, QByteArrayView data) {
        value = RegValue{n.toString(), type, data.toByteArray()};
    });
    return value;
}

void RegfImage::brokenValue(uint32_t vkOffset) const
{
    damaged(QStringLiteral("the value at offset 0x%1 is broken").arg(vkOffset + kBinsStart, 0, 16), DamageKind::ValueRecord,
            vkOffset + kBinsStart + kCellSizeField, LoadU16("vk"), LoadU16(bins() + vkOffset + kCellSizeField));
}

void RegfImage::brokenValueList(NodeId node, const OffsetList& list, uint32_t count) const
{
    damaged(QStringLiteral("the value list of the key at offset 0x%1 is broken").arg(node, 0, 16), DamageKind::ValueList,
            node + kCellSizeField + KeyNode::kValueCount, list.size() / kOffsetEntry, count);
}

void RegfImage::visitValues(NodeId node, const ValueVisitor& visit) const
{
    visitValuesOf(node, KeyNode(keyCell(node)), visit);
}

void RegfImage::visitKey(NodeId node, NameBuffer& buffer, QStringView& name, const ValueVisitor& visit) const
{
    const KeyNode key(keyCell(node));
    name = keyName(key, buffer);
    visitValuesOf(node, key, visit);
}

void RegfImage::visitValuesOf(NodeId node, const KeyNode& key, const ValueVisitor& visit) const
{
    const uint32_t count = key.valueCount();
    if (count != 0) {
        const OffsetList list(cell(key.valueList()));
        if (!list.fits(count))
            brokenValueList(node, list, count);
        NameBuffer name;
        QByteArray gathered;
        for (uint32_t i = 0; i < count; ++i)
            visitValue(list.entry(i), name, gathered, visit);
    }
    requireIntact();
}

std::vector<RegValue> RegfImage::values(NodeId node) const
{
    std::vector<RegValue> result;
    visitValues(node, [&result](QStringView name, uint32_t type, QByteArrayView data) {
        result.push_back(RegValue{name.toString(), type, data.toByteArray()});
    });
    return result;
}

} // namespace parvelle
