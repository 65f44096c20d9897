#pragma once
// The decoded SlowInfoCache record of one ARPCache entry.
#include <QByteArray>
#include <QString>
#include <cstdint>

namespace parvelle {

struct CacheRecord {
    // The fixed fields, in record order; a short record reaches only a prefix of them.
    enum Field : uint8_t {
        fRecordSize = 1 << 0,    // bytes 0..3
        fHasName = 1 << 1,       // bytes 4..7
        fInstallSize = 1 << 2,   // bytes 8..15
        fLastUsed = 1 << 3,      // bytes 16..23
        fFrequency = 1 << 4,     // bytes 24..27
        fFilePath = 1 << 5,      // bytes 28..
    };

    uint32_t RecordSize = 0;
    bool HasName = false;
    int64_t InstallSize = 0;
    uint64_t LastUsed = 0;       // FILETIME; 0 = no date
    int32_t Frequency = 0;
    QString FilePath;
    uint8_t decodedFields = 0;   // Field bits of the fields the value reached

    bool has(Field field) const { return (decodedFields & field) != 0; }
};

// Decodes a SlowInfoCache value of any length. Integers are little-endian. FilePath is
// the UTF-16LE text from byte 28 up to its first zero character (or the end of the value).
// A value shorter than 28 bytes decodes only the fields that lie wholly inside it.
CacheRecord DecodeCacheRecord(const QByteArray& value);
// Whether the value decodes to that record, found without decoding its text.
bool DecodesTo(const QByteArray& value, const CacheRecord& record);

// UTF-16LE text up to its first zero character (or the end); a trailing odd byte is ignored.
QString TextUpToZero(QByteArrayView utf16le);

// The layout the decoder reads; also used to build records (demo registry, tests).
constexpr int kCacheRecordHeaderSize = 28;
constexpr int kCacheRecordNormalSize = 552;

} // namespace parvelle
