#include "CacheRecord.h"

#include <QStringDecoder>
#include <QSysInfo>
#include <QtEndian>
#include <cstring>

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

// The fields of a value but its FilePath (marked decoded when the value reaches it).
CacheRecord decodeFixedFields(const QByteArray& value)
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
        record.decodedFields |= CacheRecord::fFilePath;
    }
    return record;
}

// Whether TextUpToZero(utf16le) is `text`.
bool textUpToZeroIs(QByteArrayView utf16le, const QString& text)
{
    const qsizetype units = utf16le.size() / 2;
    // Mostly the same units, which then are the text: a decoded text holds no lone surrogate.
    if (QSysInfo::ByteOrder == QSysInfo::LittleEndian && text.size() <= units
        && std::memcmp(utf16le.data(), text.utf16(), 2 * size_t(text.size())) == 0)
        return text.size() == units || qFromLittleEndian<char16_t>(utf16le.data() + 2 * text.size()) == 0;
    qsizetype i = 0;
    for (; i < units; ++i) {
        const char16_t unit = qFromLittleEndian<char16_t>(utf16le.data() + 2 * i);
        if (unit == 0)
            break;
        if (QChar::isSurrogate(unit))   // decoded, not copied
            return TextUpToZero(utf16le) == text;
        if (i >= text.size() || text.at(i).unicode() != unit)
            return false;
    }
    return i == text.size();
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
    CacheRecord record = decodeFixedFields(value);
    if (record.has(CacheRecord::fFilePath))
        record.FilePath = TextUpToZero(QByteArrayView(value).sliced(kCacheRecordHeaderSize));
    return record;
}

bool DecodesTo(const QByteArray& value, const CacheRecord& record)
{
    const CacheRecord fixed = decodeFixedFields(value);
    if (fixed.decodedFields != record.decodedFields || fixed.RecordSize != record.RecordSize
        || fixed.HasName != record.HasName || fixed.InstallSize != record.InstallSize
        || fixed.LastUsed != record.LastUsed || fixed.Frequency != record.Frequency)
        return false;
    if (!fixed.has(CacheRecord::fFilePath))
        return record.FilePath.isNull();
    return textUpToZeroIs(QByteArrayView(value).sliced(kCacheRecordHeaderSize), record.FilePath);
}

} // namespace parvelle
