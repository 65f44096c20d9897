#pragma once
// The bytes of a new registry hive file built from any registry tree, and the checksum of
// the base block that every hive file starts with.
#include "RegistryStore.h"

#include <QByteArray>
#include <cstdint>

namespace parvelle {

// A regf file of format 1.3: base block, then hive bins holding every key of `tree` below
// its root with subkeys sorted as Windows sorts them, every value with its type and bytes,
// and one security descriptor shared by all keys. Key times come from the tree.
QByteArray BuildHiveImage(const RegistryStore& tree, uint64_t fileTime);

// XOR of the base block's first 127 double words, and the checksum Windows stores (the
// same, except that 0 becomes 1 and 0xFFFFFFFF becomes 0xFFFFFFFE).
uint32_t BaseBlockXor(const QByteArray& image);
uint32_t BaseBlockChecksum(const QByteArray& image);

// Sets the last-written time of a base block (at least its first 0x200 bytes) and its
// checksum.
void StampBaseBlock(QByteArray& header, uint64_t fileTime);

} // namespace parvelle
