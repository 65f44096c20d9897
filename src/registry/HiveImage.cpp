#include "HiveImage.h"

#include <QtEndian>
#include <algorithm>

namespace parvelle {

namespace {

constexpr int kPage = 4096;
constexpr int kBinHeader = 0x20;
constexpr int kChecksumOffset = 0x1FC;
constexpr uint32_t kNoCell = 0xFFFFFFFF;
constexpr int kLeafEntries = 500;   // subkeys per lf list; more go into an ri index

constexpr uint16_t kKeyHiveEntry = 0x0004;
constexpr uint16_t kKeyNoDelete = 0x0008;
constexpr uint16_t kKeyCompressedName = 0x0020;
constexpr uint16_t kValueCompressedName = 0x0001;

bool isLatin1(const QString& text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() <= 0xFF; });
}

// Names as Windows stores them: one byte per character when all fit, else UTF-16LE.
QByteArray storedName(const QString& name)
{
    if (isLatin1(name))
        return name.toLatin1();
    QByteArray bytes(2 * name.size(), '\0');
    for (qsizetype i = 0; i < name.size(); ++i)
        qToLittleEndian<char16_t>(name.at(i).unicode(), bytes.data() + 2 * i);
    return bytes;
}

// Self-relative descriptor: owner Administrators, group SYSTEM, a DACL granting
// Everyone full access to the key and its subkeys.
QByteArray securityDescriptor()
{
    const QByteArray everyone = QByteArray::fromHex("010100000000000100000000");
    const QByteArray administrators = QByteArray::fromHex("01020000000000052000000020020000");
    const QByteArray system = QByteArray::fromHex("010100000000000512000000");
    const QByteArray ace = QByteArray::fromHex("00021400" "3f000f00") + everyone;   // allow, inherit, KEY_ALL_ACCESS
    const QByteArray acl = QByteArray::fromHex("02001c00" "01000000") + ace;
    QByteArray header = QByteArray::fromHex("01000480");   // revision 1, self-relative, DACL present
    const auto offset = [](int at) {
        QByteArray bytes(4, '\0');
        qToLittleEndian<uint32_t>(uint32_t(at), bytes.data());
        return bytes;
    };
    const int daclAt = 20;
    const int ownerAt = daclAt + int(acl.size());
    const int groupAt = ownerAt + int(administrators.size());
    header += offset(ownerAt) + offset(groupAt) + offset(0) + offset(daclAt);
    return header + acl + administrators + system;
}

// Lays cells out in hive bins; offsets are relative to the first bin, as cell
// references are.
class CellWriter {
public:
    explicit CellWriter(uint64_t fileTime) : fileTime_(fileTime) {}

    // Reserves an allocated cell for `payload` bytes and returns its offset.
    uint32_t allocate(int payload)
    {
        const int size = (payload + 4 + 7) & ~7;
        if (binEnd_ - used_ < size) {
            closeBin();
            openBin(std::max(kPage, (size + kBinHeader + kPage - 1) / kPage * kPage));
        }
        const uint32_t at = uint32_t(used_);
        i32(at, -size);
        used_ += size;
        return at;
    }

    void u16(uint32_t cell, int at, uint16_t v) { qToLittleEndian(v, ptr(cell, at)); }
    void u32(uint32_t cell, int at, uint32_t v) { qToLittleEndian(v, ptr(cell, at)); }
    void u64(uint32_t cell, int at, uint64_t v) { qToLittleEndian(v, ptr(cell, at)); }
    void bytes(uint32_t cell, int at, const QByteArray& v) { bins_.replace(int(cell) + 4 + at, v.size(), v); }

    QByteArray finish()
    {
        closeBin();
        return bins_;
    }

private:
    char* ptr(uint32_t cell, int at) { return bins_.data() + cell + 4 + at; }
    void i32(uint32_t at, int32_t v) { qToLittleEndian(v, bins_.data() + at); }

    void openBin(int size)
    {
        binStart_ = int(bins_.size());
        bins_.append(QByteArray(size, '\0'));
        bins_.replace(binStart_, 4, "hbin");
        qToLittleEndian<uint32_t>(uint32_t(binStart_), bins_.data() + binStart_ + 4);
        qToLittleEndian<uint32_t>(uint32_t(size), bins_.data() + binStart_ + 8);
        qToLittleEndian<uint64_t>(fileTime_, bins_.data() + binStart_ + 0x14);
        used_ = binStart_ + kBinHeader;
        binEnd_ = binStart_ + size;
    }

    void closeBin()
    {
        if (binEnd_ > used_)
            i32(uint32_t(used_), binEnd_ - used_);   // the rest of the bin is one free cell
        used_ = binEnd_;
    }

    QByteArray bins_;
    uint64_t fileTime_;
    int binStart_ = 0;
    int used_ = 0;
    int binEnd_ = 0;
};

class TreeWriter {
public:
    TreeWriter(const RegistryStore& tree, uint64_t fileTime) : tree_(tree), cells_(fileTime) {}

    QByteArray write(uint32_t& rootCell)
    {
        const QByteArray sd = securityDescriptor();
        security_ = cells_.allocate(0x14 + int(sd.size()));
        rootCell = writeKey(tree_.root(), 0, true);
        cells_.bytes(security_, 0, "sk");
        cells_.u32(security_, 0x04, security_);   // the only descriptor links to itself
        cells_.u32(security_, 0x08, security_);
        cells_.u32(security_, 0x0C, keyCount_);
        cells_.u32(security_, 0x10, uint32_t(sd.size()));
        cells_.bytes(security_, 0x14, sd);
        return cells_.finish();
    }

private:
    struct Child {
        QString name;
        QString upper;   // sort key of NameLess, computed once
        uint32_t cell;
    };

    uint32_t writeKey(NodeId node, uint32_t parentCell, bool isRoot)
    {
        const QString name = isRoot ? QStringLiteral("ROOT") : tree_.name(node);
        const QByteArray stored = storedName(name);
        const uint32_t nk = cells_.allocate(0x4C + int(stored.size()));
        ++keyCount_;

        std::vector<Child> kids;
        uint32_t maxChildName = 0;
        for (NodeId kid : tree_.children(node)) {
            const QString kidName = tree_.name(kid);
            maxChildName = std::max(maxChildName, uint32_t(2 * kidName.size()));
            kids.push_back({kidName, kidName.toUpper(), writeKey(kid, nk, false)});
        }
        std::sort(kids.begin(), kids.end(), [](const Child& a, const Child& b) { return a.upper < b.upper; });

        const std::vector<RegValue> values = tree_.values(node);
        uint32_t maxValueName = 0;
        uint32_t maxData = 0;
        for (const RegValue& v : values) {
            maxValueName = std::max(maxValueName, uint32_t(2 * v.name.size()));
            maxData = std::max(maxData, uint32_t(v.data.size()));
        }

        cells_.bytes(nk, 0, "nk");
        cells_.u16(nk, 0x02, uint16_t((isRoot ? kKeyHiveEntry | kKeyNoDelete : 0) | (isLatin1(name) ? kKeyCompressedName : 0)));
        cells_.u64(nk, 0x04, tree_.lastWriteTime(node));
        cells_.u32(nk, 0x10, parentCell);
        cells_.u32(nk, 0x14, uint32_t(kids.size()));
        cells_.u32(nk, 0x1C, kids.empty() ? kNoCell : writeSubkeyList(kids));
        cells_.u32(nk, 0x20, kNoCell);
        cells_.u32(nk, 0x24, uint32_t(values.size()));
        cells_.u32(nk, 0x28, values.empty() ? kNoCell : writeValueList(values));
        cells_.u32(nk, 0x2C, security_);
        cells_.u32(nk, 0x30, kNoCell);
        cells_.u32(nk, 0x34, maxChildName);
        cells_.u32(nk, 0x3C, maxValueName);
        cells_.u32(nk, 0x40, maxData);
        cells_.u16(nk, 0x48, uint16_t(stored.size()));
        cells_.bytes(nk, 0x4C, stored);
        return nk;
    }

    uint32_t writeLeaf(const std::vector<Child>& kids, size_t from, size_t to)
    {
        const uint32_t lf = cells_.allocate(4 + 8 * int(to - from));
        cells_.bytes(lf, 0, "lf");
        cells_.u16(lf, 2, uint16_t(to - from));
        for (size_t i = from; i < to; ++i) {
            const int at = 4 + 8 * int(i - from);
            cells_.u32(lf, at, kids[i].cell);
            QByteArray hint(4, '\0');   // the name's first four characters
            for (int c = 0; c < 4 && c < kids[i].name.size(); ++c)
                hint[c] = kids[i].name.at(c).unicode() <= 0xFF ? char(kids[i].name.at(c).unicode()) : '\0';
            cells_.bytes(lf, at + 4, hint);
        }
        return lf;
    }

    uint32_t writeSubkeyList(const std::vector<Child>& kids)
    {
        if (kids.size() <= size_t(kLeafEntries))
            return writeLeaf(kids, 0, kids.size());
        std::vector<uint32_t> leaves;
        for (size_t from = 0; from < kids.size(); from += kLeafEntries)
            leaves.push_back(writeLeaf(kids, from, std::min(kids.size(), from + kLeafEntries)));
        const uint32_t ri = cells_.allocate(4 + 4 * int(leaves.size()));
        cells_.bytes(ri, 0, "ri");
        cells_.u16(ri, 2, uint16_t(leaves.size()));
        for (size_t i = 0; i < leaves.size(); ++i)
            cells_.u32(ri, 4 + 4 * int(i), leaves[i]);
        return ri;
    }

    uint32_t writeValue(const RegValue& value)
    {
        const QByteArray stored = storedName(value.name);
        const uint32_t vk = cells_.allocate(0x14 + int(stored.size()));
        cells_.bytes(vk, 0, "vk");
        cells_.u16(vk, 0x02, uint16_t(stored.size()));
        const uint32_t size = uint32_t(value.data.size());
        if (size <= 4) {
            cells_.u32(vk, 0x04, size | 0x80000000u);   // small data sits in the offset field
            cells_.bytes(vk, 0x08, value.data);
        } else {
            const uint32_t data = cells_.allocate(int(size));
            cells_.bytes(data, 0, value.data);
            cells_.u32(vk, 0x04, size);
            cells_.u32(vk, 0x08, data);
        }
        cells_.u32(vk, 0x0C, value.type);
        cells_.u16(vk, 0x10, isLatin1(value.name) ? kValueCompressedName : 0);
        cells_.bytes(vk, 0x14, stored);
        return vk;
    }

    uint32_t writeValueList(const std::vector<RegValue>& values)
    {
        std::vector<uint32_t> cells;
        for (const RegValue& v : values)
            cells.push_back(writeValue(v));
        const uint32_t list = cells_.allocate(4 * int(cells.size()));
        for (size_t i = 0; i < cells.size(); ++i)
            cells_.u32(list, 4 * int(i), cells[i]);
        return list;
    }

    const RegistryStore& tree_;
    CellWriter cells_;
    uint32_t security_ = 0;
    uint32_t keyCount_ = 0;
};

QByteArray baseBlock(uint64_t fileTime, uint32_t rootCell, uint32_t binsSize)
{
    QByteArray block(kPage, '\0');
    char* at = block.data();
    block.replace(0, 4, "regf");
    qToLittleEndian<uint32_t>(1, at + 0x04);          // primary sequence number
    qToLittleEndian<uint32_t>(1, at + 0x08);          // secondary, equal: cleanly closed
    qToLittleEndian<uint32_t>(1, at + 0x14);          // format 1.3
    qToLittleEndian<uint32_t>(3, at + 0x18);
    qToLittleEndian<uint32_t>(0, at + 0x1C);          // primary file
    qToLittleEndian<uint32_t>(1, at + 0x20);          // direct memory load
    qToLittleEndian<uint32_t>(rootCell, at + 0x24);
    qToLittleEndian<uint32_t>(binsSize, at + 0x28);
    qToLittleEndian<uint32_t>(1, at + 0x2C);          // clustering factor
    StampBaseBlock(block, fileTime);
    return block;
}

} // namespace

uint32_t BaseBlockXor(const QByteArray& image)
{
    uint32_t sum = 0;
    for (int at = 0; at < kChecksumOffset; at += 4)
        sum ^= qFromLittleEndian<uint32_t>(image.constData() + at);
    return sum;
}

void StampBaseBlock(QByteArray& header, uint64_t fileTime)
{
    // hivex checks the plain XOR while Windows adjusts the sums 0 and ~0; a stamp one
    // tick later avoids the two sums on which they disagree.
    for (;; ++fileTime) {
        qToLittleEndian<uint64_t>(fileTime, header.data() + 0x0C);
        if (BaseBlockXor(header) == BaseBlockChecksum(header))
            break;
    }
    qToLittleEndian<uint32_t>(BaseBlockChecksum(header), header.data() + kChecksumOffset);
}

uint32_t BaseBlockChecksum(const QByteArray& image)
{
    const uint32_t sum = BaseBlockXor(image);
    if (sum == 0xFFFFFFFF)
        return 0xFFFFFFFE;
    return sum == 0 ? 1 : sum;
}

QByteArray BuildHiveImage(const RegistryStore& tree, uint64_t fileTime)
{
    uint32_t rootCell = 0;
    const QByteArray bins = TreeWriter(tree, fileTime).write(rootCell);
    return baseBlock(fileTime, rootCell, uint32_t(bins.size())) + bins;
}

} // namespace parvelle
