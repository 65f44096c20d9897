#include "HiveCells.h"

#include <QtEndian>
#include <algorithm>

namespace parvelle::regf {

namespace {

constexpr size_t kLeafEntries = 500;   // subkeys per leaf; more go into an ri index

// The second half of a leaf entry: the first four name characters (lf) or a hash of the
// upper-case name (lh).
QByteArray leafHint(const QString& name, bool hash)
{
    QByteArray hint(4, '\0');
    if (hash) {
        uint32_t sum = 0;
        for (QChar c : name)
            sum = sum * 37 + UpcaseUnit(c.unicode());
        qToLittleEndian<uint32_t>(sum, hint.data());
    } else {
        for (int c = 0; c < 4 && c < name.size(); ++c)
            hint[c] = name.at(c).unicode() <= 0xFF ? char(name.at(c).unicode()) : '\0';
    }
    return hint;
}

uint32_t writeLeaf(CellWriter& cells, const std::vector<SubkeyEntry>& kids, size_t from, size_t to, bool hash)
{
    const uint32_t leaf = cells.allocate(SubkeyList::kEntries + SubkeyList::kHashedEntry * uint32_t(to - from));
    cells.bytes(leaf, 0, hash ? "lh" : "lf");
    cells.u16(leaf, SubkeyList::kCount, uint16_t(to - from));
    for (size_t i = from; i < to; ++i) {
        const uint32_t at = SubkeyList::kEntries + SubkeyList::kHashedEntry * uint32_t(i - from);
        cells.u32(leaf, at, kids[i].cell);
        cells.bytes(leaf, at + kOffsetEntry, leafHint(kids[i].name, hash));
    }
    return leaf;
}

uint32_t writeOffsetList(CellWriter& cells, const std::vector<uint32_t>& offsets)
{
    const uint32_t list = cells.allocate(kOffsetEntry * uint32_t(offsets.size()));
    for (size_t i = 0; i < offsets.size(); ++i)
        cells.u32(list, kOffsetEntry * uint32_t(i), offsets[i]);
    return list;
}

uint32_t writeData(CellWriter& cells, const QByteArray& data, bool bigDataSegments)
{
    const uint32_t size = uint32_t(data.size());
    if (!bigDataSegments || size <= kBigDataSegment) {
        const uint32_t cell = cells.allocate(size);
        cells.bytes(cell, 0, data);
        return cell;
    }
    // Segments follow each other in the file, as reglookup expects: cells of equal size
    // are taken, then filled in file order, and the last one is cut to its part. Like a
    // full segment (16,344 bytes in a cell of 16,352), each keeps four bytes beyond its
    // part: reglookup reads a segment as its cell less eight bytes.
    constexpr uint32_t kSegmentSlack = 4;
    std::vector<uint32_t> segments((size + kBigDataSegment - 1) / kBigDataSegment);
    for (uint32_t& segment : segments)
        segment = cells.allocate(kBigDataSegment + kSegmentSlack);
    std::sort(segments.begin(), segments.end());
    for (size_t i = 0; i < segments.size(); ++i)
        cells.bytes(segments[i], 0, data.mid(qsizetype(i * kBigDataSegment), kBigDataSegment));
    cells.shrink(segments.back(), size - uint32_t(segments.size() - 1) * kBigDataSegment + kSegmentSlack);
    const uint32_t list = writeOffsetList(cells, segments);
    const uint32_t db = cells.allocate(BigData::kSize);
    cells.bytes(db, 0, "db");
    cells.u16(db, BigData::kSegmentCount, uint16_t(segments.size()));
    cells.u32(db, BigData::kSegmentList, list);
    return db;
}

uint32_t writeValue(CellWriter& cells, const RegValue& value, bool bigDataSegments)
{
    const QByteArray stored = StoredName(value.name);
    const uint32_t vk = cells.allocate(ValueKey::kName + uint32_t(stored.size()));
    cells.bytes(vk, 0, "vk");
    cells.u16(vk, ValueKey::kNameLength, uint16_t(stored.size()));
    const uint32_t size = uint32_t(value.data.size());
    if (size <= ValueKey::kMaxInlineData) {
        cells.u32(vk, ValueKey::kDataLength, size | ValueKey::kDataInline);   // small data sits in the offset field
        cells.bytes(vk, ValueKey::kData, value.data);
    } else {
        const uint32_t data = writeData(cells, value.data, bigDataSegments);
        cells.u32(vk, ValueKey::kDataLength, size);
        cells.u32(vk, ValueKey::kData, data);
    }
    cells.u32(vk, ValueKey::kType, value.type);
    cells.u16(vk, ValueKey::kFlags, IsLatin1(value.name) ? ValueKey::kCompressedName : 0);
    cells.bytes(vk, ValueKey::kName, stored);
    return vk;
}

} // namespace

bool IsLatin1(const QString& text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() <= 0xFF; });
}

QByteArray StoredName(const QString& name)
{
    if (IsLatin1(name))
        return name.toLatin1();
    QByteArray bytes(2 * name.size(), '\0');
    for (qsizetype i = 0; i < name.size(); ++i)
        qToLittleEndian<char16_t>(name.at(i).unicode(), bytes.data() + 2 * i);
    return bytes;
}

int32_t CellWriter::sizeOf(uint32_t cell) const
{
    return LoadI32(file_.constData() + kBinsStart + cell);
}

void CellWriter::setSize(uint32_t cell, int32_t size)
{
    if (sizeOf(cell) != size)   // a page of a mapped image is copied only when it changes
        StoreI32(file_.data() + kBinsStart + cell, size);
}

void CellWriter::removeFree(std::map<uint32_t, uint32_t>::iterator free)
{
    freeBySize_.erase({free->second, free->first});
    freeAt_.erase(free);
}

void CellWriter::addFree(uint32_t cell, uint32_t size)
{
    const auto next = freeAt_.find(cell + size);
    if (next != freeAt_.end()) {
        size += next->second;
        removeFree(next);
    }
    const auto after = freeAt_.lower_bound(cell);
    if (after != freeAt_.begin()) {
        const auto previous = std::prev(after);
        if (previous->first + previous->second == cell) {
            cell = previous->first;
            size += previous->second;
            removeFree(previous);
        }
    }
    setSize(cell, int32_t(size));
    freeAt_.emplace(cell, size);
    freeBySize_.emplace(size, cell);
}

// The smallest free cell that fits, split when the rest can be a cell of its own.
uint32_t CellWriter::allocate(uint32_t payload)
{
    const uint32_t size = CellSizeFor(payload);
    auto fit = freeBySize_.lower_bound({size, 0});
    if (fit == freeBySize_.end()) {
        openBin(std::max(kPageSize, (size + kBinHeaderSize + kPageSize - 1) / kPageSize * kPageSize));
        fit = freeBySize_.lower_bound({size, 0});
    }
    const auto [cellSize, at] = *fit;
    removeFree(freeAt_.find(at));
    const uint32_t taken = cellSize - size >= kSmallestCell ? size : cellSize;
    if (taken < cellSize)
        addFree(at + taken, cellSize - taken);
    setSize(at, -int32_t(taken));
    std::fill_n(file_.data() + kBinsStart + at + kCellSizeField, taken - kCellSizeField, '\0');
    return at;
}

void CellWriter::shrink(uint32_t cell, uint32_t payload)
{
    const uint32_t size = uint32_t(-sizeOf(cell));
    const uint32_t kept = CellSizeFor(payload);
    if (size - kept < kSmallestCell)
        return;
    setSize(cell, -int32_t(kept));
    addFree(cell + kept, size - kept);
}

void CellWriter::release(uint32_t cell, bool reusable)
{
    const int32_t size = sizeOf(cell);
    if (size >= 0)
        return;   // already free
    setSize(cell, -size);
    if (reusable)
        addFree(cell, uint32_t(-size));
}

void CellWriter::openBin(uint32_t size)
{
    const uint32_t start = binsSize();
    file_.resize(file_.size() + qsizetype(size));
    BinHeader::write(file_.data() + kBinsStart + start, start, size, binTime_);
    addFree(start + kBinHeaderSize, size - kBinHeaderSize);
}

char* CellWriter::ptr(uint32_t cell, uint32_t at)
{
    return file_.data() + kBinsStart + cell + kCellSizeField + at;
}

uint32_t CellWriter::u32At(uint32_t cell, uint32_t at) const
{
    return LoadU32(file_.constData() + kBinsStart + cell + kCellSizeField + at);
}

void CellWriter::u16(uint32_t cell, uint32_t at, uint16_t v) { qToLittleEndian(v, ptr(cell, at)); }
void CellWriter::u32(uint32_t cell, uint32_t at, uint32_t v) { qToLittleEndian(v, ptr(cell, at)); }
void CellWriter::u64(uint32_t cell, uint32_t at, uint64_t v) { qToLittleEndian(v, ptr(cell, at)); }
void CellWriter::bytes(uint32_t cell, uint32_t at, const QByteArray& v) { std::copy(v.cbegin(), v.cend(), ptr(cell, at)); }

uint32_t WriteSubkeyList(CellWriter& cells, const std::vector<SubkeyEntry>& sorted, bool hashLeaves)
{
    if (sorted.size() <= kLeafEntries)
        return writeLeaf(cells, sorted, 0, sorted.size(), hashLeaves);
    std::vector<uint32_t> leaves;
    for (size_t from = 0; from < sorted.size(); from += kLeafEntries)
        leaves.push_back(writeLeaf(cells, sorted, from, std::min(sorted.size(), from + kLeafEntries), hashLeaves));
    const uint32_t ri = cells.allocate(SubkeyList::kEntries + kOffsetEntry * uint32_t(leaves.size()));
    cells.bytes(ri, 0, "ri");
    cells.u16(ri, SubkeyList::kCount, uint16_t(leaves.size()));
    for (size_t i = 0; i < leaves.size(); ++i)
        cells.u32(ri, SubkeyList::kEntries + kOffsetEntry * uint32_t(i), leaves[i]);
    return ri;
}

uint32_t WriteValueList(CellWriter& cells, const std::vector<RegValue>& values, bool bigDataSegments,
                        const std::vector<uint32_t>& kept)
{
    std::vector<uint32_t> vks;
    for (size_t i = 0; i < values.size(); ++i)
        vks.push_back(i < kept.size() && kept[i] != kNoCell ? kept[i] : writeValue(cells, values[i], bigDataSegments));
    return writeOffsetList(cells, vks);
}

uint32_t WriteKey(CellWriter& cells, const QString& name, uint32_t parent, uint32_t security, uint64_t time,
                  uint16_t flags)
{
    const QByteArray stored = StoredName(name);
    const uint32_t nk = cells.allocate(KeyNode::kName + uint32_t(stored.size()));
    cells.bytes(nk, 0, "nk");
    cells.u16(nk, KeyNode::kFlags, uint16_t(flags | (IsLatin1(name) ? KeyNode::kCompressedName : 0)));
    cells.u64(nk, KeyNode::kTimestamp, time);
    cells.u32(nk, KeyNode::kParent, parent);
    cells.u32(nk, KeyNode::kSubkeyList, kNoCell);
    cells.u32(nk, KeyNode::kVolatileSubkeyList, kNoCell);
    cells.u32(nk, KeyNode::kValueList, kNoCell);
    cells.u32(nk, KeyNode::kSecurity, security);
    cells.u32(nk, KeyNode::kClassName, kNoCell);
    cells.u16(nk, KeyNode::kNameLength, uint16_t(stored.size()));
    cells.bytes(nk, KeyNode::kName, stored);
    return nk;
}

uint32_t SetKeySubkeys(CellWriter& cells, uint32_t nk, const std::vector<SubkeyEntry>& sorted, bool hashLeaves)
{
    uint32_t longest = 0;
    for (const SubkeyEntry& kid : sorted)
        longest = std::max(longest, uint32_t(2 * kid.name.size()));
    const uint32_t list = sorted.empty() ? kNoCell : WriteSubkeyList(cells, sorted, hashLeaves);
    cells.u32(nk, KeyNode::kSubkeyCount, uint32_t(sorted.size()));
    cells.u32(nk, KeyNode::kSubkeyList, list);
    // The upper half of the word holds the key's virtualisation, user and debug flags.
    const uint32_t flags = cells.u32At(nk, KeyNode::kLongestSubkeyName) & 0xFFFF0000u;
    cells.u32(nk, KeyNode::kLongestSubkeyName, flags | std::min(longest, 0xFFFFu));
    return list;
}

uint32_t SetKeyValues(CellWriter& cells, uint32_t nk, const std::vector<RegValue>& values, bool bigDataSegments,
                      const std::vector<uint32_t>& kept)
{
    uint32_t longestName = 0;
    uint32_t longestData = 0;
    for (const RegValue& v : values) {
        longestName = std::max(longestName, uint32_t(2 * v.name.size()));
        longestData = std::max(longestData, uint32_t(v.data.size()));
    }
    const uint32_t list = values.empty() ? kNoCell : WriteValueList(cells, values, bigDataSegments, kept);
    cells.u32(nk, KeyNode::kValueCount, uint32_t(values.size()));
    cells.u32(nk, KeyNode::kValueList, list);
    cells.u32(nk, KeyNode::kLongestValueName, longestName);
    cells.u32(nk, KeyNode::kLongestValueData, longestData);
    return list;
}

} // namespace parvelle::regf
