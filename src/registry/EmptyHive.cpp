#include "EmptyHive.h"

#include <QtEndian>

namespace parvelle {

namespace {

constexpr int kBlockSize = 4096;
constexpr int kChecksumOffset = 0x1FC;
constexpr uint32_t kNoCell = 0xFFFFFFFF;

// Offsets below are relative to the first hive bin, as cell references are.
constexpr uint32_t kRootCell = 0x20;
constexpr uint32_t kRootCellSize = 88;                      // 4 + 0x4C + "ROOT", 8-aligned
constexpr uint32_t kSecurityCell = kRootCell + kRootCellSize;
constexpr uint32_t kSecurityCellSize = 104;                 // 4 + 0x14 + 76, 8-aligned
constexpr uint32_t kFreeCell = kSecurityCell + kSecurityCellSize;

constexpr uint16_t kKeyHiveEntry = 0x0004;
constexpr uint16_t kKeyNoDelete = 0x0008;
constexpr uint16_t kKeyCompressedName = 0x0020;

class Writer {
public:
    explicit Writer(QByteArray& bytes) : bytes_(bytes) {}
    void u16(int at, uint16_t v) { qToLittleEndian(v, bytes_.data() + at); }
    void u32(int at, uint32_t v) { qToLittleEndian(v, bytes_.data() + at); }
    void u64(int at, uint64_t v) { qToLittleEndian(v, bytes_.data() + at); }
    void i32(int at, int32_t v) { qToLittleEndian(v, bytes_.data() + at); }
    void bytes(int at, const QByteArray& v) { bytes_.replace(at, v.size(), v); }

private:
    QByteArray& bytes_;
};

uint32_t xorOfBaseBlock(const QByteArray& image)
{
    uint32_t sum = 0;
    for (int at = 0; at < kChecksumOffset; at += 4)
        sum ^= qFromLittleEndian<uint32_t>(image.constData() + at);
    return sum;
}

// Self-relative descriptor: owner Administrators, group SYSTEM, a DACL granting
// Everyone full access to the key and its subkeys.
QByteArray securityDescriptor()
{
    const QByteArray everyone = QByteArray::fromHex("010100000000000100000000");
    const QByteArray administrators = QByteArray::fromHex("01020000000000052000000020020000");
    const QByteArray system = QByteArray::fromHex("010100000000000512000000");
    QByteArray ace = QByteArray::fromHex("0002") + QByteArray(2, '\0') + QByteArray(4, '\0') + everyone;
    Writer(ace).u16(2, uint16_t(ace.size()));
    Writer(ace).u32(4, 0x000F003F);   // KEY_ALL_ACCESS
    QByteArray acl = QByteArray::fromHex("0200") + QByteArray(2, '\0') + QByteArray::fromHex("01000000") + ace;
    Writer(acl).u16(2, uint16_t(acl.size()));

    QByteArray sd(20, '\0');
    Writer w(sd);
    sd[0] = 1;                                  // revision
    w.u16(2, 0x8004);                           // self-relative, DACL present
    const uint32_t daclAt = 20;
    const uint32_t ownerAt = daclAt + uint32_t(acl.size());
    const uint32_t groupAt = ownerAt + uint32_t(administrators.size());
    w.u32(4, ownerAt);
    w.u32(8, groupAt);
    w.u32(16, daclAt);
    return sd + acl + administrators + system;
}

void writeBaseBlock(QByteArray& image, uint64_t fileTime)
{
    Writer w(image);
    w.bytes(0, "regf");
    w.u32(0x04, 1);            // primary sequence number
    w.u32(0x08, 1);            // secondary sequence number, equal: cleanly closed
    w.u64(0x0C, fileTime);
    w.u32(0x14, 1);            // major version
    w.u32(0x18, 3);            // minor version
    w.u32(0x1C, 0);            // primary file
    w.u32(0x20, 1);            // direct memory load
    w.u32(0x24, kRootCell);
    w.u32(0x28, kBlockSize);   // size of the hive bins
    w.u32(0x2C, 1);            // clustering factor
    w.u32(kChecksumOffset, BaseBlockChecksum(image));
}

void writeBin(QByteArray& image, uint64_t fileTime)
{
    Writer w(image);
    const int bin = kBlockSize;
    w.bytes(bin, "hbin");
    w.u32(bin + 0x04, 0);
    w.u32(bin + 0x08, kBlockSize);
    w.u64(bin + 0x14, fileTime);

    const int nk = bin + int(kRootCell);
    w.i32(nk, -int32_t(kRootCellSize));
    w.bytes(nk + 0x04, "nk");
    w.u16(nk + 0x06, kKeyHiveEntry | kKeyNoDelete | kKeyCompressedName);
    w.u64(nk + 0x08, fileTime);
    w.u32(nk + 0x20, kNoCell);              // subkey list
    w.u32(nk + 0x24, kNoCell);              // volatile subkey list
    w.u32(nk + 0x2C, kNoCell);              // value list
    w.u32(nk + 0x30, kSecurityCell);
    w.u32(nk + 0x34, kNoCell);              // class name
    w.u16(nk + 0x4C, 4);                    // name length
    w.bytes(nk + 0x50, "ROOT");

    const QByteArray sd = securityDescriptor();
    const int sk = bin + int(kSecurityCell);
    w.i32(sk, -int32_t(kSecurityCellSize));
    w.bytes(sk + 0x04, "sk");
    w.u32(sk + 0x08, kSecurityCell);        // the only descriptor links to itself
    w.u32(sk + 0x0C, kSecurityCell);
    w.u32(sk + 0x10, 1);                    // used by the root key
    w.u32(sk + 0x14, uint32_t(sd.size()));
    w.bytes(sk + 0x18, sd);

    w.i32(bin + int(kFreeCell), int32_t(kBlockSize - kFreeCell));   // the rest is free
}

} // namespace

uint32_t BaseBlockChecksum(const QByteArray& image)
{
    const uint32_t sum = xorOfBaseBlock(image);
    if (sum == 0xFFFFFFFF)
        return 0xFFFFFFFE;
    return sum == 0 ? 1 : sum;
}

QByteArray EmptyHiveImage(uint64_t fileTime)
{
    QByteArray image(2 * kBlockSize, '\0');
    writeBin(image, fileTime);
    // hivex checks the plain XOR while Windows adjusts the values 0 and ~0; a stamp one
    // tick later avoids the two checksums on which they disagree.
    for (;; ++fileTime) {
        writeBaseBlock(image, fileTime);
        if (xorOfBaseBlock(image) == BaseBlockChecksum(image))
            break;
    }
    return image;
}

} // namespace parvelle
