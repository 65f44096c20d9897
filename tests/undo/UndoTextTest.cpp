// The value entries and escaping of undo files.
#include "UndoTestSupport.h"
#include "registry/RegistryStore.h"
#include "undo/UndoText.h"

using namespace parvelle;
using namespace parvelle::test;

TEST(ConvertSt, EscapesBackslashQuoteAndLineBreaksOnly)
{
    EXPECT_EQ(ConvertSt(QStringLiteral("C:\\")), QStringLiteral("C:\\\\"));
    EXPECT_EQ(ConvertSt(QStringLiteral("say \"hi\"\r\n\tä")),
              QStringLiteral("say \\\"hi\\\"\\r\\n\tä"));
}

TEST(ConvertSt, UnescapeInvertsItAndKeepsOtherBackslashes)
{
    const QString text = QStringLiteral("a\\b\"c\r\nd\\");
    EXPECT_EQ(UnescapeSt(ConvertSt(text)), text);
    EXPECT_EQ(UnescapeSt(QStringLiteral("x\\ty\\")), QStringLiteral("x\\ty\\"));
}

TEST(ValueEntry, StringsDefaultValueAndEscapedNames)
{
    EXPECT_EQ(ValueEntryLines(QStringLiteral("Path"), REG_SZ, Utf16z(QStringLiteral("C:\\"))),
              QStringList{QStringLiteral("\"Path\"=\"C:\\\\\"")});
    EXPECT_EQ(ValueEntryLines(QString(), REG_SZ, Utf16z(QStringLiteral("x"))),
              QStringList{QStringLiteral("@=\"x\"")});
    EXPECT_EQ(ValueEntryLines(QStringLiteral("a\"b\\c=d"), REG_SZ, Utf16z(QString())),
              QStringList{QStringLiteral("\"a\\\"b\\\\c=d\"=\"\"")});
}

TEST(ValueEntry, StringsWithLineBreaksKeepTheirBytes)
{
    EXPECT_EQ(ValueEntryLines(QStringLiteral("Zeilen"), REG_SZ, Utf16z(QStringLiteral("1\r\n2"))),
              QStringList{QStringLiteral("\"Zeilen\"=hex(1):31,00,0D,00,0A,00,32,00,00,00")});
}

TEST(ValueEntry, StringBytesThatAreNotPlainTextKeepEveryByteAsHex1)
{
    const QByteArray unterminated("A\0B\0", 4);
    EXPECT_EQ(ValueEntryLines(QStringLiteral("s"), REG_SZ, unterminated),
              QStringList{QStringLiteral("\"s\"=hex(1):41,00,42,00")});
    const QByteArray loneSurrogate("\0\xD8\0\0", 4);   // no UTF-8 form: quoting would change it
    EXPECT_EQ(ValueEntryLines(QStringLiteral("s"), REG_SZ, loneSurrogate).first(),
              QStringLiteral("\"s\"=hex(1):00,D8,00,00"));
    const QByteArray odd("A\0\0", 3);
    EXPECT_EQ(ValueEntryLines(QStringLiteral("s"), REG_SZ, odd).first(),
              QStringLiteral("\"s\"=hex(1):41,00,00"));
}

TEST(ValueEntry, DwordIsWrittenAsEightLowerCaseHexDigits)
{
    EXPECT_EQ(ValueEntryLines(QStringLiteral("Changed"), REG_DWORD, Dword(0xFFFFFFFF)),
              QStringList{QStringLiteral("\"Changed\"=dword:ffffffff")});
    EXPECT_EQ(ValueEntryLines(QStringLiteral("n"), REG_DWORD, Dword(42)),
              QStringList{QStringLiteral("\"n\"=dword:0000002a")});
    // A DWORD value whose data is not four bytes keeps its bytes.
    EXPECT_EQ(ValueEntryLines(QStringLiteral("n"), REG_DWORD, QByteArray("\x01\x02", 2)).first(),
              QStringLiteral("\"n\"=hex(4):01,02"));
}

TEST(ValueEntry, OtherKindsAreHexOfTheirTypeNumberWithAllBytes)
{
    const QByteArray multi("a\0\0\0b\0\0\0\0\0", 10);   // "a", "b", end of list
    EXPECT_EQ(ValueEntryLines(QStringLiteral("m"), REG_MULTI_SZ, multi).first(),
              QStringLiteral("\"m\"=hex(7):61,00,00,00,62,00,00,00,00,00"));
    EXPECT_EQ(ValueEntryLines(QStringLiteral("q"), REG_QWORD, QByteArray(8, '\x11')).first(),
              QStringLiteral("\"q\"=hex(b):11,11,11,11,11,11,11,11"));
    EXPECT_EQ(ValueEntryLines(QStringLiteral("z"), REG_NONE, QByteArray()),
              QStringList{QStringLiteral("\"z\"=hex(0):")});
    EXPECT_EQ(ValueEntryLines(QStringLiteral("u"), 0x1234, QByteArray("\xAB", 1)).first(),
              QStringLiteral("\"u\"=hex(1234):AB"));
}

TEST(ValueEntry, EmptyBinaryAndEmptyExpandString)
{
    EXPECT_EQ(ValueEntryLines(QStringLiteral("b"), REG_BINARY, QByteArray()),
              QStringList{QStringLiteral("\"b\"=hex:")});
    EXPECT_EQ(ValueEntryLines(QStringLiteral("e"), REG_EXPAND_SZ, Utf16z(QString())),
              QStringList{QStringLiteral("\"e\"=hex(2):00,00")});
}

TEST(ValueEntry, ExpandStringsAreTheirStoredUtf16Bytes)
{
    EXPECT_EQ(ValueEntryLines(QStringLiteral("e"), REG_EXPAND_SZ, Utf16z(QStringLiteral("%A%"))).first(),
              QStringLiteral("\"e\"=hex(2):25,00,41,00,25,00,00,00"));
    EXPECT_EQ(ValueEntryLines(QStringLiteral("e"), REG_EXPAND_SZ, Utf16z(QStringLiteral("€"))).first(),
              QStringLiteral("\"e\"=hex(2):AC,20,00,00"));
}

TEST(ValueEntryWrapping, NineteenBytesFitTheFirstLineTwentyNeedAContinuation)
{
    const QStringList nineteen =
        ValueEntryLines(QStringLiteral("SlowInfoCache"), REG_BINARY, Pattern(19));
    ASSERT_EQ(nineteen.size(), 1);
    EXPECT_EQ(nineteen[0].size(), 20 + 19 * 3 - 1);
    EXPECT_FALSE(nineteen[0].endsWith(u'\\'));

    const QStringList twenty =
        ValueEntryLines(QStringLiteral("SlowInfoCache"), REG_BINARY, Pattern(20));
    ASSERT_EQ(twenty.size(), 2);
    EXPECT_EQ(twenty[0].size(), 78);
    EXPECT_TRUE(twenty[0].endsWith(QStringLiteral(",\\")));
    EXPECT_EQ(twenty[1], QStringLiteral("%1").arg(static_cast<uint8_t>(Pattern(20)[19]), 2, 16,
                                                  QLatin1Char('0')).toUpper());
}

TEST(ValueEntryWrapping, FiveHundredFiftyTwoBytesFillTwentyTwoLines)
{
    const QStringList lines =
        ValueEntryLines(QStringLiteral("SlowInfoCache"), REG_BINARY, Pattern(552));
    ASSERT_EQ(lines.size(), 22);
    EXPECT_EQ(lines[0].size(), 78);
    for (int i = 1; i < 21; ++i)
        EXPECT_EQ(lines[i].size(), 79) << i;
    EXPECT_EQ(lines[21].size(), 38);
}

TEST(ValueEntryWrapping, ExpandStringWrapsByCharacterAndNeverBeforeTheTerminator)
{
    const QString text(13 * 3, u'x');
    const QStringList lines =
        ValueEntryLines(QStringLiteral("e"), REG_EXPAND_SZ, Utf16z(text));
    for (const QString& line : lines.mid(0, lines.size() - 1)) {
        EXPECT_TRUE(line.endsWith(QStringLiteral("00,\\"))) << line.toStdString();
        EXPECT_LE(line.size(), 79);
    }
    EXPECT_TRUE(lines.last().endsWith(QStringLiteral("78,00,00,00")));
    QString joined;
    for (const QString& line : lines)
        joined += line.endsWith(u'\\') ? line.chopped(1) : line;
    EXPECT_EQ(joined.count(QStringLiteral("78,00")), text.size());
}

TEST(HeaderFor, Version5OnlyForKindsFiveAndSix)
{
    for (uint8_t kind = 0; kind <= 8; ++kind)
        EXPECT_EQ(HeaderFor(kind), kind == 5 || kind == 6 ? kHeaderVersion5 : kHeaderRegedit4) << int(kind);
}
