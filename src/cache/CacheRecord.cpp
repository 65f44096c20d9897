#include "CacheRecord.h"

#include <QStringDecoder>
#include <QtEndian>

namespace parvelle {

namespace {

struct FieldSpan {
    CacheRecord::Field field;
    int end;   // offset just past the field's last byte
};

constexpr FieldSpan kFields[] = {
    {CacheRecord::fRecordSize, 4}, {CacheRecord::fHasName, 8},  {CacheRecord::fInstallSize, 16},
    {CacheRecord::fLastUsed, 24},  {CacheRecord::fFrequency, 28},
};

template <typename T>
T readLittleEndian(const QByteArray& bytes, int offset)
{
    return qFromLittleEndian<T>(bytes.constData() + offset);
}

} // namespace

QString TextUpToZero(QByteArrayView utf16le)
{
    const auto unitAt = [utf16le](qsizetype i) { return qFromLittleEndian<char16_t>(utf16le.data() + 2 * i); };
    qsizetype length = 0;
    bool surrogates = false;
    for (; length < utf16le.size() / 2; ++length) {
        const char16_t unit = unitAt(length);
        if (unit == 0)
            break;
        surrogates |= QChar::isSurrogate(unit);
    }
    // Without surrogates the units are the text; a leading U+FEFF is part of it either way.
    if (surrogates) {
        QStringDecoder utf16(QStringDecoder::Utf16LE, QStringDecoder::Flag::ConvertInitialBom);
        return utf16.decode(utf16le.first(2 * length));
    }
    QString text(length, Qt::Uninitialized);
    qFromLittleEndian<char16_t>(utf16le.data(), length, text.data());
    return text;
}

CacheRecord DecodeCacheRecord(const QByteArray& value)
{
    CacheRecord record;
    for (const FieldSpan& span : kFields)
        if (value.size() >= span.end)
            record.decodedFields |= span.field;

    if (record.has(CacheRecord::fRecordSize))
        record.RecordSize = readLittleEndian<uint32_t>(value, 0);
    if (record.has(CacheRecord::fHasName))
        record.HasName = readLittleEndian<uint32_t>(value, 4) != 0;
    if (record.has(CacheRecord::fInstallSize))
        record.InstallSize = readLittleEndian<int64_t>(value, 8);
    if (record.has(CacheRecord::fLastUsed))
        record.LastUsed = readLittleEndian<uint64_t>(value, 16);
    if (record.has(CacheRecord::fFrequency)) {
        record.Frequency = readLittleEndian<int32_t>(value, 24);
        record.FilePath = TextUpToZero(QByteArrayView(value).sliced(kCacheRecordHeaderSize));
        record.decodedFields |= CacheRecord::fFilePath;
    }
    return record;
}

} // namespace parvelle
