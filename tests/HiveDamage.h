#pragma once
// Damages a key or a hive bin of a real hive file, as a failing disk or a faulty tool leaves one.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtEndian>

#include <stdexcept>

namespace parvelle::test {

// Overwrites the "nk" signature of the key `name` below the key `parentName` (both stored
// with one byte per letter), so that every read of that key fails. Throws when either key
// is not found or the file cannot be written.
inline void BreakKeyCell(const QString& hivePath, const QByteArray& parentName, const QByteArray& name)
{
    constexpr qsizetype kBins = 0x1000;
    constexpr qsizetype kNameAt = 0x4C;      // from the signature
    constexpr qsizetype kNameLength = 0x48;
    constexpr qsizetype kParent = 0x10;
    QFile file(hivePath);
    if (!file.open(QIODevice::ReadWrite))
        throw std::runtime_error("cannot open " + hivePath.toStdString());
    QByteArray bytes = file.readAll();
    // The signature of the key with that name (and that parent, when one is given), or -1.
    const auto keyNamed = [&bytes](const QByteArray& wanted, qsizetype parent) {
        for (qsizetype at = bytes.indexOf(wanted); at >= 0; at = bytes.indexOf(wanted, at + 1)) {
            const qsizetype key = at - kNameAt;
            if (key < kBins || bytes.mid(key, 2) != "nk"
                || qFromLittleEndian<uint16_t>(bytes.constData() + key + kNameLength) != wanted.size())
                continue;
            // The parent field holds the offset of the parent's cell (its size field) from the bins.
            if (parent < 0 || qFromLittleEndian<uint32_t>(bytes.constData() + key + kParent) + kBins == parent - 4)
                return key;
        }
        return qsizetype(-1);
    };
    const qsizetype parent = keyNamed(parentName, -1);
    const qsizetype key = parent < 0 ? -1 : keyNamed(name, parent);
    if (key < 0)
        throw std::runtime_error("no key " + name.toStdString() + " below " + parentName.toStdString());
    bytes.replace(key, 2, "xx");
    if (!file.seek(0) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + hivePath.toStdString());
}

// Overwrites the signature of the hive bin that holds the point `fraction` (0 to 1) of the
// way through the hive bins, as a failing disk leaves one. Returns the bin's file offset;
// throws when the file cannot be read or written or its bins do not chain.
inline qsizetype BreakHiveBin(const QString& hivePath, double fraction)
{
    constexpr qsizetype kBins = 0x1000;
    QFile file(hivePath);
    if (!file.open(QIODevice::ReadWrite) || file.size() < 2 * kBins)
        throw std::runtime_error("cannot open " + hivePath.toStdString());
    const QByteArray bytes = file.readAll();
    const auto u32 = [&bytes](qsizetype at) { return qFromLittleEndian<uint32_t>(bytes.constData() + at); };
    const qsizetype binsSize = u32(0x28);
    const qsizetype target = kBins + qsizetype(double(binsSize) * fraction);
    for (qsizetype bin = kBins; bin < kBins + binsSize && bytes.mid(bin, 4) == "hbin" && u32(bin + 8) > 0; bin += u32(bin + 8)) {
        if (target < bin + u32(bin + 8)) {
            if (!file.seek(bin) || file.write(QByteArray(4, '\0')) != 4)
                throw std::runtime_error("cannot write " + hivePath.toStdString());
            return bin;
        }
    }
    throw std::runtime_error("the hive bins of " + hivePath.toStdString() + " do not chain");
}

} // namespace parvelle::test
