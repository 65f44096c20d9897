// Layout of printed lines: wrapping, line gaps, page breaks, tabs and form feeds.
#include "undo/PrintLayout.h"

#include <gtest/gtest.h>

using namespace parvelle;

namespace {
// Every character 10 units wide (a surrogate pair is one character), lines 12 high.
class FixedMeasure : public TextMeasure {
public:
    int textWidth(const QString& text) const override
    {
        int chars = 0;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (!text[i].isLowSurrogate())
                ++chars;
        }
        return 10 * chars;
    }
    int textHeight() const override { return 12; }
    int averageCharWidth() const override { return 10; }
};

const FixedMeasure kMeasure;

std::vector<PrintedPage> Lay(const QStringList& lines, int width = 100, int height = 1000)
{
    return PrintLayout::layOut(kMeasure, width, height, lines);
}
} // namespace

TEST(PrintLayout, LinesStartAtTopLeftAndAdvanceByTextHeightPlusTwo)
{
    const auto pages = Lay({QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")});
    ASSERT_EQ(pages.size(), 1u);
    ASSERT_EQ(pages[0].pieces.size(), 3u);
    EXPECT_EQ(pages[0].pieces[0].x, 0);
    EXPECT_EQ(pages[0].pieces[0].y, 0);
    EXPECT_EQ(pages[0].pieces[1].y, 14);
    EXPECT_EQ(pages[0].pieces[2].y, 28);
    EXPECT_EQ(pages[0].pieces[2].text, QStringLiteral("three"));
}

TEST(PrintLayout, EmptyLineAdvancesByTheCharacterHeightOnly)
{
    const auto pages = Lay({QStringLiteral("a"), QString(), QStringLiteral("b")});
    ASSERT_EQ(pages[0].pieces.size(), 2u);
    EXPECT_EQ(pages[0].pieces[1].y, 14 + 12);
}

TEST(PrintLayout, OverWideLineContinuesOnTheNextLine)
{
    const auto pages = Lay({QStringLiteral("abcdefghijklmnopqrstuvwxy"), QStringLiteral("next")});
    ASSERT_EQ(pages[0].pieces.size(), 4u);
    EXPECT_EQ(pages[0].pieces[0].text, QStringLiteral("abcdefghij"));
    EXPECT_EQ(pages[0].pieces[1].text, QStringLiteral("klmnopqrst"));
    EXPECT_EQ(pages[0].pieces[2].text, QStringLiteral("uvwxy"));
    EXPECT_EQ(pages[0].pieces[2].x, 0);
    EXPECT_EQ(pages[0].pieces[2].y, 28);
    EXPECT_EQ(pages[0].pieces[3].y, 42);
}

TEST(PrintLayout, WrappingNeverSplitsASurrogatePair)
{
    const QString clef = QString::fromUtf8("\xF0\x9D\x84\x9E");   // one character, two code units
    const QString line = QStringLiteral("abcdefghi") + clef + QStringLiteral("z");
    const auto pages = Lay({line});
    ASSERT_EQ(pages[0].pieces.size(), 2u);
    EXPECT_EQ(pages[0].pieces[0].text, QStringLiteral("abcdefghi") + clef);
    EXPECT_EQ(pages[0].pieces[1].text, QStringLiteral("z"));

    // A page one character wide still moves on, one whole character per line.
    const auto narrow = Lay({clef + clef}, 5);
    ASSERT_EQ(narrow[0].pieces.size(), 2u);
    EXPECT_EQ(narrow[0].pieces[0].text, clef);
    EXPECT_EQ(narrow[0].pieces[1].text, clef);
}

TEST(PrintLayout, NewPageWhenPositionPassesPageHeightMinusTwoLineHeights)
{
    // Page 100 high, lines 14: after line k the position is 14k; a break comes once
    // 14k > 100 - 28, i.e. after the sixth line.
    QStringList lines;
    for (int i = 0; i < 8; ++i)
        lines.append(QStringLiteral("line %1").arg(i));
    const auto pages = Lay(lines, 100, 100);
    ASSERT_EQ(pages.size(), 2u);
    ASSERT_EQ(pages[0].pieces.size(), 6u);
    EXPECT_EQ(pages[0].pieces.back().y, 70);
    ASSERT_EQ(pages[1].pieces.size(), 2u);
    EXPECT_EQ(pages[1].pieces[0].text, QStringLiteral("line 6"));
    EXPECT_EQ(pages[1].pieces[0].y, 0);
}

TEST(PrintLayout, EmptyLinesBreakOnlyPastThePageHeight)
{
    QStringList lines(9, QString());
    lines.append(QStringLiteral("last"));
    // Nine empty lines reach 108 > 100: a new page, without reserving two line heights.
    const auto pages = Lay(lines, 100, 100);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_TRUE(pages[0].pieces.empty());
    ASSERT_EQ(pages[1].pieces.size(), 1u);
    EXPECT_EQ(pages[1].pieces[0].y, 0);

    const auto eight = Lay(QStringList(8, QString()) << QStringLiteral("last"), 100, 100);
    ASSERT_EQ(eight.size(), 1u);
    EXPECT_EQ(eight[0].pieces[0].y, 96);
}

TEST(PrintLayout, TabsMoveToStopsEveryEightAverageCharacters)
{
    const auto pages = Lay({QStringLiteral("ab\tc\t\td")}, 1000);
    ASSERT_EQ(pages[0].pieces.size(), 3u);
    EXPECT_EQ(pages[0].pieces[1].text, QStringLiteral("c"));
    EXPECT_EQ(pages[0].pieces[1].x, 80);
    EXPECT_EQ(pages[0].pieces[2].x, 240);

    // A tab stop at or past the page width continues at the start of the next line.
    const auto wrapped = Lay({QStringLiteral("abcdefghi\tj")}, 150);
    ASSERT_EQ(wrapped[0].pieces.size(), 2u);
    EXPECT_EQ(wrapped[0].pieces[1].x, 0);
    EXPECT_EQ(wrapped[0].pieces[1].y, 14);
}

TEST(PrintLayout, FormFeedStartsANewPageAndCarriageReturnDrawsNothing)
{
    const auto pages = Lay({QStringLiteral("first"), QStringLiteral("\fsecond\r"), QStringLiteral("third")});
    ASSERT_EQ(pages.size(), 2u);
    ASSERT_EQ(pages[0].pieces.size(), 1u);
    ASSERT_EQ(pages[1].pieces.size(), 2u);
    EXPECT_EQ(pages[1].pieces[0].text, QStringLiteral("second"));
    EXPECT_EQ(pages[1].pieces[0].y, 0);
    EXPECT_EQ(pages[1].pieces[1].y, 14);

    // Two form feeds in a row leave a blank page between.
    EXPECT_EQ(Lay({QStringLiteral("a\f\fb")}).size(), 3u);
}

TEST(PrintLayout, ABreakAtTheEndAddsNoBlankPage)
{
    QStringList lines;
    for (int i = 0; i < 6; ++i)
        lines.append(QStringLiteral("x"));
    EXPECT_EQ(Lay(lines, 100, 100).size(), 1u);
}
