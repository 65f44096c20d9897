#include "HiveImage.h"

#include "HiveCells.h"

#include <QtEndian>
#include <algorithm>

namespace parvelle {

namespace {

using namespace regf;

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
    TreeWriter(const RegistryStore& tree, ImageBytes& file, uint64_t fileTime)
        : tree_(tree), cells_(file, fileTime)
    {
    }

    // Writes every cell and returns the root key's cell.
    uint32_t write()
    {
        const QByteArray sd = securityDescriptor();
        security_ = cells_.allocate(SecurityKey::kDescriptor + uint32_t(sd.size()));
        const uint32_t root = writeKey(tree_.root(), 0, true);
        cells_.bytes(security_, 0, "sk");
        cells_.u32(security_, SecurityKey::kNext, security_);   // the only descriptor links to itself
        cells_.u32(security_, SecurityKey::kPrevious, security_);
        cells_.u32(security_, SecurityKey::kReferences, keyCount_);
        cells_.u32(security_, SecurityKey::kDescriptorSize, uint32_t(sd.size()));
        cells_.bytes(security_, SecurityKey::kDescriptor, sd);
        return root;
    }

    uint32_t binsSize() const { return cells_.binsSize(); }

private:
    uint32_t writeKey(NodeId node, uint32_t parentCell, bool isRoot)
    {
        const uint32_t nk = WriteKey(cells_, isRoot ? QStringLiteral("ROOT") : tree_.name(node), parentCell, security_,
                                     tree_.lastWriteTime(node), isRoot ? KeyNode::kHiveEntry | KeyNode::kNoDelete : 0);
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
    QByteArray block(BaseBlock::kSize, '\0');
    char* at = block.data();
    block.replace(0, 4, "regf");
    StoreU32(at + BaseBlock::kSequence1, 1);
    StoreU32(at + BaseBlock::kSequence2, 1);   // equal: cleanly closed
    StoreU32(at + BaseBlock::kMajorVersion, BaseBlock::kMajor);
    StoreU32(at + BaseBlock::kMinorVersion, 3);
    StoreU32(at + BaseBlock::kFileType, BaseBlock::kPrimary);
    StoreU32(at + BaseBlock::kFileFormat, BaseBlock::kDirectMemoryLoad);
    StoreU32(at + BaseBlock::kRootCell, rootCell);
    StoreU32(at + BaseBlock::kBinsSize, binsSize);
    StoreU32(at + BaseBlock::kClustering, 1);
    StampBaseBlock(block.data(), fileTime);
    return block;
}

} // namespace

void StampBaseBlock(char* header, uint64_t fileTime)
{
    // hivex checks the plain XOR while Windows adjusts the sums 0 and ~0; a stamp one
    // tick later avoids the two sums on which they disagree.
    const QByteArrayView block(header, BaseBlock::kSize);
    for (;; ++fileTime) {
        StoreU64(header + BaseBlock::kTimestamp, fileTime);
        if (BaseBlockXor(block) == BaseBlockChecksum(block))
            break;
    }
    StoreChecksum(header);
}

QByteArray BuildHiveImage(const RegistryStore& tree, uint64_t fileTime)
{
    ImageBytes file(QByteArray(BaseBlock::kSize, '\0'));
    TreeWriter writer(tree, file, fileTime);
    const uint32_t rootCell = writer.write();
    const QByteArray header = baseBlock(fileTime, rootCell, writer.binsSize());
    std::copy(header.cbegin(), header.cend(), file.data());
    return file.view().toByteArray();
}

} // namespace parvelle
