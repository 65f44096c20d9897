#include "TerminalText.h"

#include "core/NativePath.h"

#include <QTextBoundaryFinder>
#include <algorithm>
#include <iterator>

namespace parvelle {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
const QString kEllipsis = QStringLiteral("…");

struct Range {
    char32_t first;
    char32_t last;
};

// East Asian wide and full-width characters (and the emoji blocks terminals draw wide).
constexpr Range kWide[] = {
    {0x1100, 0x115F},   {0x2329, 0x232A},   {0x2E80, 0x303E},   {0x3041, 0x33FF},
    {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xA960, 0xA97F},
    {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},
    {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF},
    {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

// Characters that move the cursor or end a line on a terminal; with the format characters
// (bidirectional controls, zero-width characters, U+FEFF), which reorder the text or hide.
constexpr Range kUnsafe[] = {
    {0x00, 0x1F}, {0x7F, 0x9F}, {0x2028, 0x2029},
};


template <size_t N>
bool inRanges(const Range (&ranges)[N], char32_t c)
{
    const auto after = std::upper_bound(std::begin(ranges), std::end(ranges), c,
                                        [](char32_t value, const Range& r) { return value < r.first; });
    return after != std::begin(ranges) && c <= std::prev(after)->last;
}

bool isUnsafe(char32_t c)
{
    return inRanges(kUnsafe, c) || QChar::category(c) == QChar::Other_Format;
}

// Printable ASCII only: nothing to escape, one cell per character (most names and paths).
bool isPlainAscii(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7F; });
}

// Calls `visit` with every code point of the text, an unpaired surrogate as itself.
template <typename Visit>
void forEachCodePoint(QStringView text, Visit visit)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            visit(QChar::surrogateToUcs4(c, text[i + 1]));
            ++i;
        } else {
            visit(char32_t(c.unicode()));
        }
    }
}

char32_t withoutSurrogate(char32_t c)
{
    return QChar::isSurrogate(c) ? kReplacement : c;
}

void appendCodePoint(QString& out, char32_t c)
{
    if (QChar::requiresSurrogates(c)) {
        out += QChar(QChar::highSurrogate(c));
        out += QChar(QChar::lowSurrogate(c));
    } else {
        out += QChar(char16_t(c));
    }
}

// "\x1B" for a character up to U+00FF, "\u202E" above.
QString escapeOf(char32_t c)
{
    const bool small = c <= 0xFF;
    const QString digits = QString::number(uint(c), 16).toUpper().rightJustified(small ? 2 : 4, QLatin1Char('0'));
    return (small ? QStringLiteral("\\x") : QStringLiteral("\\u")) + digits;
}

int cellsOf(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_Enclosing:
    case QChar::Other_Format:
        return 0;
    default:
        return inRanges(kWide, c) ? 2 : 1;
    }
}

} // namespace

QString TerminalText(QStringView text)
{
    if (isPlainAscii(text))
        return text.toString();
    QString out;
    out.reserve(text.size());
    forEachCodePoint(text, [&out](char32_t c) {
        if (const int pathByte = c <= 0xFFFF ? PathByteOf(char16_t(c)) : -1; pathByte >= 0)
            out += escapeOf(char32_t(pathByte));
        else if (isUnsafe(withoutSurrogate(c)))
            out += escapeOf(c);
        else
            appendCodePoint(out, withoutSurrogate(c));
    });
    return out;
}

QString WithoutLoneSurrogates(QStringView text)
{
    QString out;
    out.reserve(text.size());
    forEachCodePoint(text, [&out](char32_t c) { appendCodePoint(out, withoutSurrogate(c)); });
    return out;
}

int TerminalCells(QStringView text)
{
    if (isPlainAscii(text))
        return int(text.size());
    int cells = 0;
    forEachCodePoint(text, [&cells](char32_t c) { cells += cellsOf(withoutSurrogate(c)); });
    return cells;
}

QString FitToCells(const QString& text, int cells)
{
    if (TerminalCells(text) <= cells)
        return text;
    const int room = cells - TerminalCells(kEllipsis);
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    qsizetype kept = 0;
    int used = 0;
    for (qsizetype end = graphemes.toNextBoundary(); end > 0; end = graphemes.toNextBoundary()) {
        const int width = TerminalCells(QStringView(text).sliced(kept, end - kept));
        if (used + width > room)
            break;
        used += width;
        kept = end;
    }
    return text.first(kept) + kEllipsis;
}

} // namespace parvelle
