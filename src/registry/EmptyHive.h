#pragma once
// The bytes of a new, empty registry hive file (hivex cannot create one).
#include <QByteArray>
#include <cstdint>

namespace parvelle {

// A 4096-byte base block and one 4096-byte hive bin holding the root key (named "ROOT")
// and its security descriptor. `fileTime` stamps the header, bin and root key.
QByteArray EmptyHiveImage(uint64_t fileTime);

// XOR of the base block's first 127 double words, as Windows checks it.
uint32_t BaseBlockChecksum(const QByteArray& image);

} // namespace parvelle
