#include "TestRegistry.h"
#include "cache/TerminalText.h"
#include "core/NativePath.h"

#include <gtest/gtest.h>

using namespace parvelle;

TEST(TerminalText, ControlAndBidiCharactersAreEscapedVisibly)
{
    EXPECT_EQ(TerminalText(u"a\x1b[31mb"), QStringLiteral("a\\x1B[31mb"));
    EXPECT_EQ(TerminalText(QStringView(u"n\0l\r\n\t", 6)), QStringLiteral("n\\x00l\\x0D\\x0A\\x09"));
    EXPECT_EQ(TerminalText(u"del\x7f c1\x85 \x9b"), QStringLiteral("del\\x7F c1\\x85 \\x9B"));
    EXPECT_EQ(TerminalText(u"exe\u202Etxt\u2066\u200F\u2028"), QStringLiteral("exe\\u202Etxt\\u2066\\u200F\\u2028"));
    EXPECT_EQ(TerminalText(u"\uFEFFzero\u200Bwidth\u2060soft\u00AD"), QStringLiteral("\\uFEFFzero\\u200Bwidth\\u2060soft\\xAD"));
    EXPECT_EQ(TerminalText(u"C:\\Program Files\\Café 中文 \U0001F600"), QStringLiteral("C:\\Program Files\\Café 中文 \U0001F600"));
}

TEST(TerminalText, UnpairedSurrogatesBecomeReplacementCharacters)
{
    const QString text = QStringLiteral("a") + QChar(0xD800) + QStringLiteral("b") + QChar(0xDC00) + QStringLiteral("\U0001F600")
                         + QChar(0xD83D);
    EXPECT_EQ(WithoutLoneSurrogates(text), QStringLiteral("a\uFFFDb\uFFFD\U0001F600\uFFFD"));
    EXPECT_EQ(TerminalText(text), QStringLiteral("a\uFFFDb\uFFFD\U0001F600\uFFFD"));
}

TEST(TerminalText, FileNameBytesThatAreNotUtf8ComeBackWholeAndShowEscaped)
{
    const QByteArray names[] = {
        "caf\xE9",              // Latin-1
        "\xC3\xA9t\xC3",        // UTF-8, then a sequence cut short
        "\xC0\xAF",             // an overlong "/"
        "\xED\xB3\xA9",         // a surrogate written as UTF-8
        "\xF4\x90\x80\x80",     // past U+10FFFF
        "\xF0\x9F\x98\x80 ok",  // valid: U+1F600
    };
    for (const QByteArray& name : names)
        EXPECT_EQ(NativePath(PathFromNative(name)), name) << name.toHex().constData();
    EXPECT_EQ(PathFromNative("\xC3\xA9t\xC3"), QStringLiteral("ét") + QChar(0xDCC3));
    EXPECT_EQ(TerminalText(PathFromNative("/tmp/caf\xE9/\x1B")), QStringLiteral("/tmp/caf\\xE9/\\x1B"));
    EXPECT_EQ(TerminalText(PathFromNative("\xED\xB3\xA9")), QStringLiteral("\\xED\\xB3\\xA9"));
}

TEST(TerminalText, CellsCountWideCharactersTwiceAndMarksNever)
{
    EXPECT_EQ(TerminalCells(u"abc"), 3);
    EXPECT_EQ(TerminalCells(u"中文"), 4);
    EXPECT_EQ(TerminalCells(u"한글ｶﾀ"), 6);   // full-width Hangul, half-width katakana
    EXPECT_EQ(TerminalCells(u"e\u0301\u200B"), 1);
    EXPECT_EQ(TerminalCells(u"\U0001F600"), 2);
}

TEST(TerminalText, FitCutsWholeCharactersAndEndsWithAnEllipsis)
{
    EXPECT_EQ(FitToCells(QStringLiteral("short"), 5), QStringLiteral("short"));
    EXPECT_EQ(FitToCells(QStringLiteral("toolong"), 5), QStringLiteral("tool…"));
    EXPECT_EQ(FitToCells(QStringLiteral("中文中文"), 6), QStringLiteral("中文…"));
    EXPECT_EQ(FitToCells(QStringLiteral("中文中文"), 4), QStringLiteral("中…"));
    EXPECT_EQ(FitToCells(QStringLiteral("e\u0301e\u0301e\u0301e\u0301"), 3), QStringLiteral("e\u0301e\u0301…"));
    EXPECT_EQ(FitToCells(QStringLiteral("\U0001F600\U0001F600"), 3), QStringLiteral("\U0001F600…"));
}
