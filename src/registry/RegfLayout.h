#pragma once
// The regf format's records, each field's place written once. A view is made over bytes
// whose length its check (whole(), fits(), ...) has proved; its accessors are then plain
// little-endian loads. Cell offsets are relative to the first hive bin; offsets of record
// fields are relative to the record's first byte (a cell's payload, after its size field).
#include "core/Errors.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtEndian>
#include <algorithm>
#include <cstdint>
#include <cstring>

namespace parvelle::regf {

constexpr uint32_t kPageSize = 0x1000;        // hive bins are whole pages
constexpr uint32_t kBinsStart = 0x1000;       // file offset of the first hive bin, after the base block
constexpr uint32_t kBinHeaderSize = 0x20;
constexpr uint32_t kNoCell = 0xFFFFFFFF;
constexpr uint32_t kCellSizeField = 4;        // signed: negative for a cell in use, positive for a free one
constexpr uint32_t kSmallestCell = 8;
constexpr uint32_t kCellAlignment = 8;        // every cell's size is a multiple
constexpr uint32_t kOffsetEntry = 4;          // one cell offset in a value list, segment list, li or ri
constexpr uint32_t kBigDataSegment = 16344;   // bytes of a value's data per "db" segment

inline uint16_t LoadU16(const char* at) { return qFromLittleEndian<uint16_t>(at); }
inline uint32_t LoadU32(const char* at) { return qFromLittleEndian<uint32_t>(at); }
inline int32_t LoadI32(const char* at) { return qFromLittleEndian<int32_t>(at); }
inline uint64_t LoadU64(const char* at) { return qFromLittleEndian<uint64_t>(at); }
inline void StoreU32(char* at, uint32_t value) { qToLittleEndian<uint32_t>(value, at); }
inline void StoreI32(char* at, int32_t value) { qToLittleEndian<int32_t>(value, at); }
inline void StoreU64(char* at, uint64_t value) { qToLittleEndian<uint64_t>(value, at); }

// A two- or four-letter signature at `at`.
template <size_t N>
bool HasSignature(const char* at, const char (&signature)[N])
{
    return std::memcmp(at, signature, N - 1) == 0;
}

// The file size of a cell holding `payload` bytes: with its size field, in steps of 8.
constexpr uint32_t CellSizeFor(uint32_t payload)
{
    return (payload + kCellSizeField + kCellAlignment - 1) / kCellAlignment * kCellAlignment;
}

// The payload of a cell in use: the bytes after its size field.
struct Cell {
    const char* data;
    uint32_t size;
};

// Bytes of one record; loads past `size` are caught in debug builds.
class RecordView {
public:
    explicit RecordView(Cell cell) : data_(cell.data), size_(cell.size) {}
    const char* data() const { return data_; }
    uint32_t size() const { return size_; }

protected:
    uint16_t u16(uint32_t at) const { Q_ASSERT(at + 2 <= size_); return LoadU16(data_ + at); }
    uint32_t u32(uint32_t at) const { Q_ASSERT(at + 4 <= size_); return LoadU32(data_ + at); }
    uint64_t u64(uint32_t at) const { Q_ASSERT(at + 8 <= size_); return LoadU64(data_ + at); }

    const char* data_;
    uint32_t size_;
};

// The base block at the start of a hive file (4 KiB) and the copy of its first 512 bytes
// at the start of a transaction log.
class BaseBlock {
public:
    static constexpr uint32_t kSequence1 = 0x04;
    static constexpr uint32_t kSequence2 = 0x08;   // equal to the first: cleanly written
    static constexpr uint32_t kTimestamp = 0x0C;
    static constexpr uint32_t kMajorVersion = 0x14;
    static constexpr uint32_t kMinorVersion = 0x18;
    static constexpr uint32_t kFileType = 0x1C;
    static constexpr uint32_t kFileFormat = 0x20;
    static constexpr uint32_t kRootCell = 0x24;
    static constexpr uint32_t kBinsSize = 0x28;
    static constexpr uint32_t kClustering = 0x2C;
    static constexpr uint32_t kFileName = 0x30;
    static constexpr uint32_t kFlags = 0x90;
    static constexpr uint32_t kTmId = 0x94;
    static constexpr uint32_t kGuidSignature = 0xA4;
    static constexpr uint32_t kChecksum = 0x1FC;   // of the bytes before it
    static constexpr uint32_t kLogCopySize = 0x200;
    static constexpr uint32_t kSize = kBinsStart;

    static constexpr uint32_t kMajor = 1;
    static constexpr uint32_t kDirectMemoryLoad = 1;   // the only file format
    static constexpr uint32_t kFlagLocked = 0x1;       // transactions were pending

    enum FileType : uint32_t { kPrimary = 0, kOldLog = 1, kOldestLog = 2, kNewLog = 6 };

    // Bytes starting with "regf" that hold at least a log's copy of a base block.
    static bool startsIn(QByteArrayView bytes) { return bytes.size() >= kLogCopySize && bytes.startsWith("regf"); }

    // `data` holds at least kLogCopySize bytes.
    explicit BaseBlock(const char* data) : data_(data) {}
    uint32_t sequence1() const { return LoadU32(data_ + kSequence1); }
    uint32_t sequence2() const { return LoadU32(data_ + kSequence2); }
    uint64_t timestamp() const { return LoadU64(data_ + kTimestamp); }
    uint32_t majorVersion() const { return LoadU32(data_ + kMajorVersion); }
    uint32_t minorVersion() const { return LoadU32(data_ + kMinorVersion); }
    uint32_t fileType() const { return LoadU32(data_ + kFileType); }
    uint32_t rootCell() const { return LoadU32(data_ + kRootCell); }
    uint32_t binsSize() const { return LoadU32(data_ + kBinsSize); }
    uint32_t flags() const { return LoadU32(data_ + kFlags); }
    uint32_t storedChecksum() const { return LoadU32(data_ + kChecksum); }

private:
    const char* data_;
};

// XOR of the base block's double words before its checksum, and the checksum Windows
// stores (the same, except that 0 becomes 1 and 0xFFFFFFFF becomes 0xFFFFFFFE). `block`
// holds at least BaseBlock::kChecksum bytes.
uint32_t BaseBlockXor(QByteArrayView block);
uint32_t BaseBlockChecksum(QByteArrayView block);
// The stored checksum is Windows' or, as hivex writes it, the plain XOR.
bool HasMatchingChecksum(QByteArrayView block);
void StoreChecksum(char* block);

// The header of each hive bin.
class BinHeader {
public:
    static constexpr uint32_t kOffset = 0x04;   // of the bin itself, from the first bin
    static constexpr uint32_t kSize = 0x08;     // whole pages
    static constexpr uint32_t kTimestamp = 0x14;

    static bool startsAt(const char* at) { return HasSignature(at, "hbin"); }
    // Writes the whole header of the bin at `offset`.
    static void write(char* at, uint32_t offset, uint32_t size, uint64_t time);
};

// The check of one hive bin header: its signature, its own offset, and a size of whole
// pages that stays within the hive bins. `found` and `expected` name the first field that
// fails, at `field` in the header.
struct BinHeaderCheck {
    uint32_t size = 0;   // the bin's size when the header is sound, else 0
    uint32_t field = 0;
    uint64_t expected = 0;
    uint64_t found = 0;
};

// `bins` is the first hive bin; `bin` (a page boundary below `binsSize`) the checked one.
inline BinHeaderCheck CheckBinHeader(const char* bins, uint32_t bin, uint32_t binsSize)
{
    const char* at = bins + bin;
    const uint32_t offset = LoadU32(at + BinHeader::kOffset);
    const uint32_t size = LoadU32(at + BinHeader::kSize);
    if (!BinHeader::startsAt(at))
        return {0, 0, LoadU32("hbin"), LoadU32(at)};
    if (offset != bin)
        return {0, BinHeader::kOffset, bin, offset};
    if (size < kPageSize || size % kPageSize != 0 || size > binsSize - bin)
        return {0, BinHeader::kSize, std::min(binsSize - bin, std::max(kPageSize, size / kPageSize * kPageSize)), size};
    return {size};
}

// A key ("nk").
class KeyNode : public RecordView {
public:
    static constexpr uint32_t kFlags = 0x02;
    static constexpr uint32_t kTimestamp = 0x04;
    static constexpr uint32_t kParent = 0x10;
    static constexpr uint32_t kSubkeyCount = 0x14;
    static constexpr uint32_t kVolatileSubkeyCount = 0x18;
    static constexpr uint32_t kSubkeyList = 0x1C;
    static constexpr uint32_t kVolatileSubkeyList = 0x20;
    static constexpr uint32_t kValueCount = 0x24;
    static constexpr uint32_t kValueList = 0x28;
    static constexpr uint32_t kSecurity = 0x2C;
    static constexpr uint32_t kClassName = 0x30;
    static constexpr uint32_t kLongestSubkeyName = 0x34;   // low half; the high half holds flags
    static constexpr uint32_t kLongestClassName = 0x38;
    static constexpr uint32_t kLongestValueName = 0x3C;
    static constexpr uint32_t kLongestValueData = 0x40;
    static constexpr uint32_t kNameLength = 0x48;
    static constexpr uint32_t kClassNameLength = 0x4A;
    static constexpr uint32_t kName = 0x4C;

    static constexpr uint16_t kHiveEntry = 0x0004;
    static constexpr uint16_t kNoDelete = 0x0008;
    static constexpr uint16_t kCompressedName = 0x0020;

    using RecordView::RecordView;
    // The signature, and a name within the record.
    bool whole() const { return size_ >= kName && HasSignature(data_, "nk") && kName + nameLength() <= size_; }
    // The cell size of a whole record: a key's cell is exactly as large as its record.
    uint32_t cellSize() const { return CellSizeFor(kName + nameLength()); }

    uint16_t flags() const { return u16(kFlags); }
    uint64_t timestamp() const { return u64(kTimestamp); }
    uint32_t parent() const { return u32(kParent); }
    uint32_t subkeyCount() const { return u32(kSubkeyCount); }
    uint32_t subkeyList() const { return u32(kSubkeyList); }
    uint32_t valueCount() const { return u32(kValueCount); }
    uint32_t valueList() const { return u32(kValueList); }
    uint32_t security() const { return u32(kSecurity); }
    uint32_t className() const { return u32(kClassName); }
    uint16_t classNameLength() const { return u16(kClassNameLength); }
    uint16_t nameLength() const { return LoadU16(data_ + kNameLength); }
    const char* name() const { return data_ + kName; }
    bool compressedName() const { return flags() & kCompressedName; }
};

// A value ("vk").
class ValueKey : public RecordView {
public:
    static constexpr uint32_t kNameLength = 0x02;
    static constexpr uint32_t kDataLength = 0x04;
    static constexpr uint32_t kData = 0x08;       // a cell, or up to four bytes of data
    static constexpr uint32_t kType = 0x0C;
    static constexpr uint32_t kFlags = 0x10;
    static constexpr uint32_t kName = 0x14;

    static constexpr uint32_t kDataInline = 0x80000000u;   // in the length: data in the data field
    static constexpr uint32_t kMaxInlineData = 4;
    static constexpr uint16_t kCompressedName = 0x0001;

    using RecordView::RecordView;
    bool whole() const { return size_ >= kName && HasSignature(data_, "vk") && kName + nameLength() <= size_; }
    // The data length and data fields, without the rest of the record.
    bool holdsDataFields() const { return size_ >= kType; }

    uint16_t nameLength() const { return LoadU16(data_ + kNameLength); }
    uint32_t dataLength() const { return u32(kDataLength); }
    uint32_t dataField() const { return u32(kData); }   // a cell, unless the data is inline
    uint32_t type() const { return u32(kType); }
    uint16_t flags() const { return u16(kFlags); }
    const char* name() const { return data_ + kName; }
    bool compressedName() const { return flags() & kCompressedName; }
};

// A security descriptor ("sk"), in a ring of all the hive's descriptors.
class SecurityKey : public RecordView {
public:
    static constexpr uint32_t kNext = 0x04;
    static constexpr uint32_t kPrevious = 0x08;
    static constexpr uint32_t kReferences = 0x0C;
    static constexpr uint32_t kDescriptorSize = 0x10;
    static constexpr uint32_t kDescriptor = 0x14;

    using RecordView::RecordView;
    bool whole() const { return size_ >= kDescriptor && HasSignature(data_, "sk"); }
    uint32_t next() const { return u32(kNext); }
    uint32_t previous() const { return u32(kPrevious); }
    uint32_t references() const { return u32(kReferences); }
};

// A subkey list: a leaf of keys ("lf" with name hints, "lh" with name hashes, "li" with
// offsets only) or an index of leaves ("ri").
class SubkeyList : public RecordView {
public:
    static constexpr uint32_t kCount = 0x02;
    static constexpr uint32_t kEntries = 0x04;
    static constexpr uint32_t kHashedEntry = 8;   // a cell and its hint or hash, in lf and lh

    enum class Kind { Unknown, Hashed, Plain, Index };

    using RecordView::RecordView;
    // The signature and count of a list of at least kEntries bytes: a cell in use has 4.
    Kind kind() const
    {
        if (HasSignature(data_, "lf") || HasSignature(data_, "lh"))
            return Kind::Hashed;
        if (HasSignature(data_, "ri"))
            return Kind::Index;
        return HasSignature(data_, "li") ? Kind::Plain : Kind::Unknown;
    }
    bool isIndex() const { return HasSignature(data_, "ri"); }
    uint16_t count() const { return LoadU16(data_ + kCount); }
    static uint32_t stride(Kind kind) { return kind == Kind::Hashed ? kHashedEntry : kOffsetEntry; }
    // Every entry lies within the record.
    bool fits(Kind kind) const { return kEntries + count() * stride(kind) <= size_; }
    uint32_t entry(uint32_t i, Kind kind) const { return u32(kEntries + i * stride(kind)); }
};

// A list of cell offsets without a header: a key's values, or the segments of big data.
class OffsetList : public RecordView {
public:
    using RecordView::RecordView;
    bool fits(uint32_t count) const { return count <= size_ / kOffsetEntry; }
    uint32_t entry(uint32_t i) const { return u32(i * kOffsetEntry); }
};

// Big data ("db", formats 1.4 and later): a value's data in segments of kBigDataSegment.
class BigData : public RecordView {
public:
    static constexpr uint32_t kSegmentCount = 0x02;
    static constexpr uint32_t kSegmentList = 0x04;
    static constexpr uint32_t kSize = 0x08;

    using RecordView::RecordView;
    bool whole() const { return size_ >= kSize && HasSignature(data_, "db"); }
    uint16_t segmentCount() const { return u16(kSegmentCount); }
    uint32_t segmentList() const { return u32(kSegmentList); }
};

// A transaction log of the new format: the base block copy, then entries ("HvLE") from
// BaseBlock::kLogCopySize on, each a header, a table of dirty page references and the pages.
class LogEntry {
public:
    static constexpr uint32_t kSize = 0x04;        // of the whole entry, in steps of kLogCopySize
    static constexpr uint32_t kFlags = 0x08;       // the base block's flags
    static constexpr uint32_t kSequence = 0x0C;
    static constexpr uint32_t kBinsSize = 0x10;
    static constexpr uint32_t kPageCount = 0x14;
    static constexpr uint32_t kDataHash = 0x18;    // of the bytes from kPageRefs to the end
    static constexpr uint32_t kHeaderHash = 0x20;  // of the bytes before it
    static constexpr uint32_t kPageRefs = 0x28;
    static constexpr uint32_t kPageRef = 8;        // a relative offset and a size
    static constexpr uint32_t kPageRefSize = 4;

    // The entry's header (kPageRefs bytes) lies at `at` in `log`.
    static bool startsAt(QByteArrayView log, qsizetype at) { return log.size() - at >= kPageRefs && HasSignature(log.data() + at, "HvLE"); }

    explicit LogEntry(const char* data) : data_(data) {}
    uint32_t size() const { return LoadU32(data_ + kSize); }
    uint32_t flags() const { return LoadU32(data_ + kFlags); }
    uint32_t sequence() const { return LoadU32(data_ + kSequence); }
    uint32_t binsSize() const { return LoadU32(data_ + kBinsSize); }
    uint32_t pageCount() const { return LoadU32(data_ + kPageCount); }
    uint64_t dataHash() const { return LoadU64(data_ + kDataHash); }
    uint64_t headerHash() const { return LoadU64(data_ + kHeaderHash); }
    // Within the page table, whose room the caller checked.
    uint32_t pageOffset(uint32_t i) const { return LoadU32(data_ + kPageRefs + i * kPageRef); }
    uint32_t pageSize(uint32_t i) const { return LoadU32(data_ + kPageRefs + i * kPageRef + kPageRefSize); }

private:
    const char* data_;
};

// A transaction log of the old format: the base block copy, "DIRT", a bitmap of dirty
// 512-byte pages of the hive bins, then those pages from the next 512-byte boundary on.
struct DirtyLog {
    static constexpr uint32_t kSignature = BaseBlock::kLogCopySize;
    static constexpr uint32_t kBitmap = kSignature + 4;
    static constexpr uint32_t kPage = 512;   // one bit of the bitmap

    static bool startsIn(QByteArrayView log) { return log.size() >= kBitmap && HasSignature(log.data() + kSignature, "DIRT"); }
    // Bytes of the bitmap for `binsSize` bytes of hive bins, and where the pages start.
    static qsizetype bitmapBytes(uint32_t binsSize) { return binsSize / (8 * kPage); }
    static qsizetype pagesStart(uint32_t binsSize) { return (kBitmap + bitmapBytes(binsSize) + kPage - 1) / kPage * kPage; }
};

// What a check of the hive found damaged.
enum class DamageKind {
    BaseBlockChecksum,
    FormatVersion,
    BinsSize,
    HiveBin,
    CellReference,   // a reference outside the hive bins, or to a free or broken cell
    KeyCell,         // the size of a key's cell
    KeyRecord,
    KeyInFreeCell,
    SubkeyList,
    SubkeyCount,
    SubkeyParent,
    SubkeyListedTwice,
    ValueList,
    ValueRecord,
    ValueData,
    SecurityRecord,
};

// The damage a check found: what, the file offset of the field found wrong, and the values
// compared: the one the format or the rest of the hive calls for (or the bound the field
// must stay within), and the one in the file. Cell sizes are given as their 32 bits.
struct HiveDamage {
    DamageKind kind;
    uint64_t offset;
    uint64_t expected;
    uint64_t found;
};

// Damage of a hive, with its details beside the sentence for the user.
class EHiveDamage : public EHiveError {
public:
    EHiveDamage(const QString& message, HiveDamage damage) : EHiveError(message), damage_(damage) {}
    const HiveDamage& damage() const { return damage_; }

private:
    HiveDamage damage_;
};

} // namespace parvelle::regf
