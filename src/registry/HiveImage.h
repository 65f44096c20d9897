#pragma once
// The bytes of a new registry hive file built from any registry tree, and the stamp of the
// base block that every hive file starts with.
#include "RegistryStore.h"

#include <QByteArray>
#include <cstdint>

namespace parvelle {

// A regf file of format 1.3: base block, then hive bins holding every key of `tree` below
// its root with subkeys sorted as Windows sorts them, every value with its type and bytes,
// and one security descriptor shared by all keys. Key times come from the tree.
QByteArray BuildHiveImage(const RegistryStore& tree, uint64_t fileTime);

// Sets the last-written time of a base block (at least a log's copy of one) and its
// checksum.
void StampBaseBlock(char* header, uint64_t fileTime);

} // namespace parvelle
