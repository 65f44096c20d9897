#pragma once
// Damages a key or a hive bin of a real hive file, as a failing disk or a faulty tool leaves one.
#include "registry/RegfLayout.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <stdexcept>

namespace parvelle::test {

// How a key cell is damaged: its "nk" signature overwritten, its cell marked free (the
// record left intact), or its cell size field made to run past its hive bin.
enum class KeyDamage { Signature, MarkedFree, CellSize };

inline const char* KeyDamageName(KeyDamage damage)
{
    switch (damage) {
    case KeyDamage::Signature: return "Signature";
    case KeyDamage::MarkedFree: return "MarkedFree";
    case KeyDamage::CellSize: return "CellSize";
    }
    return "";
}

// Damages the key `name` below the key `parentPath` (names stored with one byte per letter,
// separated by backslashes, from any key of the first name down) and returns the key's file
// offset. Throws when a key is not found or the file cannot be written.
inline qsizetype BreakKeyCell(const QString& hivePath, const QByteArray& parentPath, const QByteArray& name,
                              KeyDamage damage = KeyDamage::Signature)
{
    using regf::KeyNode;
    QFile file(hivePath);
    if (!file.open(QIODevice::ReadWrite))
        throw std::runtime_error("cannot open " + hivePath.toStdString());
    QByteArray bytes = file.readAll();
    // The signature of the key with that name (and that parent, when one is given), or -1.
    const auto keyNamed = [&bytes](const QByteArray& wanted, qsizetype parent) {
        for (qsizetype at = bytes.indexOf(wanted); at >= 0; at = bytes.indexOf(wanted, at + 1)) {
            const qsizetype key = at - KeyNode::kName;
            if (key < regf::kBinsStart || bytes.mid(key, 2) != "nk"
                || regf::LoadU16(bytes.constData() + key + KeyNode::kNameLength) != wanted.size())
                continue;
            // The parent field holds the offset of the parent's cell (its size field) from the bins.
            const qsizetype parentCell = regf::LoadU32(bytes.constData() + key + KeyNode::kParent) + regf::kBinsStart;
            if (parent < 0 || parentCell == parent - regf::kCellSizeField)
                return key;
        }
        return qsizetype(-1);
    };
    qsizetype key = -1;
    for (const QByteArray& step : parentPath.split('\\') + QList<QByteArray>{name}) {
        key = keyNamed(step, key);
        if (key < 0)
            throw std::runtime_error("no key " + name.toStdString() + " below " + parentPath.toStdString());
    }
    char* size = bytes.data() + key - regf::kCellSizeField;
    switch (damage) {
    case KeyDamage::Signature:
        bytes.replace(key, 2, "xx");
        break;
    case KeyDamage::MarkedFree:
        regf::StoreI32(size, -regf::LoadI32(size));
        break;
    case KeyDamage::CellSize:
        regf::StoreI32(size, -0x40000000);   // far past any hive bin
        break;
    }
    if (!file.seek(0) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + hivePath.toStdString());
    return key - regf::kCellSizeField;
}

// Overwrites the signature of the hive bin that holds the point `fraction` (0 to 1) of the
// way through the hive bins, as a failing disk leaves one. Returns the bin's file offset;
// throws when the file cannot be read or written or its bins do not chain.
inline qsizetype BreakHiveBin(const QString& hivePath, double fraction)
{
    constexpr qsizetype kBins = regf::kBinsStart;
    QFile file(hivePath);
    if (!file.open(QIODevice::ReadWrite) || file.size() < kBins + regf::kPageSize)
        throw std::runtime_error("cannot open " + hivePath.toStdString());
    const QByteArray bytes = file.readAll();
    const qsizetype binsSize = regf::BaseBlock(bytes.constData()).binsSize();
    const qsizetype target = kBins + qsizetype(double(binsSize) * fraction);
    const auto binSize = [&bytes](qsizetype bin) { return qsizetype(regf::LoadU32(bytes.constData() + bin + regf::BinHeader::kSize)); };
    for (qsizetype bin = kBins; bin < kBins + binsSize && regf::BinHeader::startsAt(bytes.constData() + bin) && binSize(bin) > 0;
         bin += binSize(bin)) {
        if (target < bin + binSize(bin)) {
            if (!file.seek(bin) || file.write(QByteArray(4, '\0')) != 4)
                throw std::runtime_error("cannot write " + hivePath.toStdString());
            return bin;
        }
    }
    throw std::runtime_error("the hive bins of " + hivePath.toStdString() + " do not chain");
}

} // namespace parvelle::test
