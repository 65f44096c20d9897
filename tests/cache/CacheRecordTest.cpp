#include "cache/CacheRecord.h"
#include "TestRegistry.h"

#include <QStringDecoder>
#include <gtest/gtest.h>

using namespace parvelle;
using namespace parvelle::test;

namespace {

QByteArray normalRecord()
{
    return record(552, 552, 1, 4096, 0x01C6BF4DB6A7A000ULL, 5, QStringLiteral("C:\\Program Files\\App\\app.exe"));
}

} // namespace

TEST(CacheRecordFields, DecodesEachFixedFieldLittleEndian)
{
    QByteArray data(552, '\0');
    data.replace(0, 4, bytes({0x28, 0x02, 0x00, 0x00}));
    data.replace(4, 4, bytes({0x01, 0x00, 0x00, 0x00}));
    data.replace(8, 8, bytes({0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));
    data.replace(16, 8, bytes({0x00, 0xA0, 0xA7, 0xB6, 0x4D, 0xBF, 0xC6, 0x01}));
    data.replace(24, 4, bytes({0xFF, 0xFF, 0xFF, 0xFF}));
    const CacheRecord r = DecodeCacheRecord(data);
    EXPECT_EQ(r.RecordSize, 552u);
    EXPECT_TRUE(r.HasName);
    EXPECT_EQ(r.InstallSize, 4096);
    EXPECT_EQ(r.LastUsed, 0x01C6BF4DB6A7A000ULL);
    EXPECT_EQ(r.Frequency, -1);
    EXPECT_EQ(r.FilePath, QString());
}

TEST(CacheRecordFields, HasNameIsAnyNonZeroFlag)
{
    QByteArray data = normalRecord();
    data.replace(4, 4, bytes({0x00, 0x00, 0x00, 0x00}));
    EXPECT_FALSE(DecodeCacheRecord(data).HasName);
    data.replace(4, 4, bytes({0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_TRUE(DecodeCacheRecord(data).HasName);
    data.replace(4, 4, bytes({0x00, 0x00, 0x00, 0x80}));
    EXPECT_TRUE(DecodeCacheRecord(data).HasName);
}

TEST(CacheRecordFields, AllOnesInstallSizeIsMinusOne)
{
    QByteArray data = normalRecord();
    data.replace(8, 8, QByteArray(8, '\xFF'));
    EXPECT_EQ(DecodeCacheRecord(data).InstallSize, -1);
}

TEST(CacheRecordPath, ReadsUtf16UpToFirstZeroCharacter)
{
    QByteArray data(552, '\0');
    const QByteArray path = bytes({'C', 0, ':', 0, '\\', 0, 'a', 0, '.', 0, 'e', 0, 'x', 0, 'e', 0});
    data.replace(28, path.size(), path);
    EXPECT_EQ(DecodeCacheRecord(data).FilePath, QStringLiteral("C:\\a.exe"));
}

TEST(CacheRecordPath, StrayBytesAfterTheTerminatorAreNotAppended)
{
    QByteArray data(552, '\0');
    data.replace(28, 4, bytes({'X', 0, 'Y', 0}));
    data.replace(40, 6, bytes({'g', 'a', 'r', 'b', 0x01, 0x7F}));
    data[551] = 'Z';
    EXPECT_EQ(DecodeCacheRecord(data).FilePath, QStringLiteral("XY"));
}

TEST(CacheRecordPath, KeepsCharactersAbove255)
{
    const QString path = QStringLiteral("C:\\Café\\Αρχείο\\日本.exe");
    EXPECT_EQ(DecodeCacheRecord(record(552, 552, 1, 0, 0, 0, path)).FilePath, path);
}

TEST(CacheRecordPath, ZeroByteInsideACharacterDoesNotEndThePath)
{
    // U+0100 is stored as 00 01: only a whole zero character ends the text.
    QByteArray data(552, '\0');
    data.replace(28, 6, bytes({'A', 0, 0x00, 0x01, 'B', 0}));
    EXPECT_EQ(DecodeCacheRecord(data).FilePath, QString::fromUtf16(u"A\u0100B"));
}

TEST(CacheRecordPath, PathFillingTheWholeValueHasNoTerminator)
{
    QByteArray data(34, '\0');
    data.replace(28, 6, bytes({'a', 0, 'b', 0, 'c', 0}));
    EXPECT_EQ(DecodeCacheRecord(data).FilePath, QStringLiteral("abc"));
    data.append('d');   // a trailing odd byte is not half a character
    EXPECT_EQ(DecodeCacheRecord(data).FilePath, QStringLiteral("abc"));
}

TEST(CacheRecordSizes, LongerValueDecodesLikeA552ByteOne)
{
    const QByteArray normal = normalRecord();
    QByteArray longer = normal + QByteArray(48, '\0');
    longer[560] = 'Q';   // after the path's terminator: not part of the path
    const CacheRecord a = DecodeCacheRecord(normal);
    const CacheRecord b = DecodeCacheRecord(longer);
    EXPECT_EQ(a.RecordSize, b.RecordSize);
    EXPECT_EQ(a.HasName, b.HasName);
    EXPECT_EQ(a.InstallSize, b.InstallSize);
    EXPECT_EQ(a.LastUsed, b.LastUsed);
    EXPECT_EQ(a.Frequency, b.Frequency);
    EXPECT_EQ(a.FilePath, b.FilePath);
    EXPECT_EQ(b.decodedFields, a.decodedFields);
}

TEST(CacheRecordSizes, ValueBeyond32KiBIsDecodedInFull)
{
    const QString path = QString(20000, QLatin1Char('p'));
    const QByteArray data = record(40100, 40100, 1, 7, 0, 3, path);
    const CacheRecord r = DecodeCacheRecord(data);
    EXPECT_EQ(r.RecordSize, 40100u);
    EXPECT_EQ(r.FilePath, path);
}

TEST(CacheRecordSizes, ShortValueDecodesOnlyTheFieldsItHoldsWhole)
{
    struct Case {
        int size;
        uint8_t fields;
    };
    const uint8_t all = CacheRecord::fRecordSize | CacheRecord::fHasName | CacheRecord::fInstallSize
                        | CacheRecord::fLastUsed | CacheRecord::fFrequency | CacheRecord::fFilePath;
    for (const Case c : {Case{0, 0}, Case{3, 0}, Case{4, CacheRecord::fRecordSize},
                         Case{8, CacheRecord::fRecordSize | CacheRecord::fHasName},
                         Case{20, CacheRecord::fRecordSize | CacheRecord::fHasName | CacheRecord::fInstallSize},
                         Case{27, all & ~(CacheRecord::fFrequency | CacheRecord::fFilePath)}, Case{28, all}}) {
        const CacheRecord r = DecodeCacheRecord(normalRecord().left(c.size));
        EXPECT_EQ(r.decodedFields, c.fields) << "size " << c.size;
        EXPECT_EQ(r.FilePath, QString()) << "size " << c.size;
    }
}

TEST(CacheRecordSizes, UnreachedFieldsAreZeroNotLeftovers)
{
    const CacheRecord full = DecodeCacheRecord(normalRecord());
    ASSERT_EQ(full.Frequency, 5);
    const CacheRecord shortOne = DecodeCacheRecord(bytes({0x14, 0, 0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(shortOne.RecordSize, 20u);
    EXPECT_TRUE(shortOne.HasName);
    EXPECT_EQ(shortOne.InstallSize, 0);
    EXPECT_EQ(shortOne.LastUsed, 0u);
    EXPECT_EQ(shortOne.Frequency, 0);
}

TEST(CacheRecordText, AgreesWithQtsUtf16Decoder)
{
    // Plain texts are copied unit by unit, texts with surrogates go through Qt's decoder;
    // the decoder, keeping a leading U+FEFF as stored, is the reference for every case.
    const auto bytes = [](std::initializer_list<char16_t> units) {
        QByteArray out;
        for (char16_t u : units)
            out.append(char(u & 0xFF)).append(char(u >> 8));
        return out;
    };
    const QList<QByteArray> inputs = {
        QByteArray(),
        QByteArray(1, 'A'),
        bytes({u'C', u':', u'\\', u'é', u'日'}),
        bytes({u'a', u'b', 0, u'c'}),
        bytes({u'a', u'b'}) + 'x',
        bytes({0xFEFF, u'a'}),
        bytes({0xFEFF, 0xD801, 0xDC37}),
        bytes({u'a', 0xFEFF}),
        bytes({0xFFFE, u'a'}),
        bytes({0xD801, 0xDC37, u'z'}),
        bytes({u'a', 0xD801}),
        bytes({0xDC37, u'a'}),
        bytes({0xD801, 0, 0xDC37}),
    };
    EXPECT_EQ(TextUpToZero(bytes({0xFEFF, u'a'})), QStringLiteral("\uFEFFa"));
    for (const QByteArray& input : inputs) {
        QByteArrayView upToZero = input;
        for (qsizetype i = 0; i + 1 < input.size(); i += 2)
            if (input[i] == 0 && input[i + 1] == 0) {
                upToZero = upToZero.first(i);
                break;
            }
        if (upToZero.size() % 2)
            upToZero.chop(1);
        QStringDecoder utf16(QStringDecoder::Utf16LE, QStringDecoder::Flag::ConvertInitialBom);
        const QString expected = utf16.decode(upToZero);
        EXPECT_EQ(TextUpToZero(input), expected) << input.toHex().toStdString();
    }
}

TEST(CacheRecordText, AValueDecodesToItsOwnRecordAndToNoOtherOne)
{
    const auto withBytes = [](QByteArray value, int at, const QByteArray& replacement) {
        return value.replace(at, replacement.size(), replacement);
    };
    const QByteArray header = normalRecord().left(28);
    const QList<QByteArray> values = {
        normalRecord(),
        withBytes(normalRecord(), 24, bytes({6})),                  // another frequency
        withBytes(normalRecord(), 30, bytes({'/'})),                // another path character
        withBytes(normalRecord(), 100, bytes({'x', 'y'})),          // stray bytes after the path
        normalRecord().left(0), normalRecord().left(8), normalRecord().left(27), normalRecord().left(28),
        header + bytes({'a', 0, 'b', 0}),                           // no terminator
        header + bytes({'a', 0, 'b', 0, 0, 0}),
        header + bytes({'a', 0, 'b', 0, 'c'}),                      // an odd byte
        header + bytes({'a', 0, 'b', 0, 'c', 0}),
        header + bytes({0x01, 0xD8, 0x37, 0xDC, 'z', 0}),           // a surrogate pair
        header + bytes({0x01, 0xD8, 0x38, 0xDC, 'z', 0}),
        header + bytes({0x01, 0xD8, 'z', 0, 0, 0}),                 // a lone surrogate
    };
    const auto same = [](const CacheRecord& a, const CacheRecord& b) {
        return a.decodedFields == b.decodedFields && a.RecordSize == b.RecordSize && a.HasName == b.HasName
               && a.InstallSize == b.InstallSize && a.LastUsed == b.LastUsed && a.Frequency == b.Frequency
               && a.FilePath == b.FilePath;
    };
    for (const QByteArray& value : values) {
        for (const QByteArray& other : values)
            EXPECT_EQ(DecodesTo(value, DecodeCacheRecord(other)), same(DecodeCacheRecord(value), DecodeCacheRecord(other)))
                << value.toHex().toStdString() << " / " << other.toHex().toStdString();
    }
}
