#include "HiveImage.h"

#include "HiveCells.h"

#include <QtEndian>
#include <algorithm>

namespace parvelle {

namespace {

using namespace regf;

constexpr int kPage = 4096;
constexpr int kChecksumOffset = 0x1FC;

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

class TreeWriter {
public:
    TreeWriter(const RegistryStore& tree, QByteArray& file, uint64_t fileTime)
        : tree_(tree), cells_(file, fileTime)
    {
    }

    // Writes every cell and returns the root key's cell.
    uint32_t write()
    {
        const QByteArray sd = securityDescriptor();
        security_ = cells_.allocate(0x14 + uint32_t(sd.size()));
        const uint32_t root = writeKey(tree_.root(), 0, true);
        cells_.bytes(security_, 0, "sk");
        cells_.u32(security_, 0x04, security_);   // the only descriptor links to itself
        cells_.u32(security_, 0x08, security_);
        cells_.u32(security_, 0x0C, keyCount_);
        cells_.u32(security_, 0x10, uint32_t(sd.size()));
        cells_.bytes(security_, 0x14, sd);
        return root;
    }

    uint32_t binsSize() const { return cells_.binsSize(); }

private:
    uint32_t writeKey(NodeId node, uint32_t parentCell, bool isRoot)
    {
        const uint32_t nk = WriteKey(cells_, isRoot ? QStringLiteral("ROOT") : tree_.name(node), parentCell, security_,
                                     tree_.lastWriteTime(node), isRoot ? kKeyHiveEntry | kKeyNoDelete : 0);
        ++keyCount_;
        std::vector<SubkeyEntry> sorted;
        for (NodeId kid : tree_.children(node))
            sorted.push_back(SubkeyEntry{tree_.name(kid), writeKey(kid, nk, false)});
        std::stable_sort(sorted.begin(), sorted.end(), [](const SubkeyEntry& a, const SubkeyEntry& b) { return NameLess(a.name, b.name); });
        SetKeySubkeys(cells_, nk, sorted, false);
        SetKeyValues(cells_, nk, tree_.values(node), false);
        return nk;
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
    QByteArray file(kPage, '\0');
    TreeWriter writer(tree, file, fileTime);
    const uint32_t rootCell = writer.write();
    file.replace(0, kPage, baseBlock(fileTime, rootCell, writer.binsSize()));
    return file;
}

} // namespace parvelle
