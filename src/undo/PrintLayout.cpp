#include "PrintLayout.h"

#include <algorithm>

namespace parvelle {

namespace {
constexpr int kLineGap = 2;
constexpr int kTabStopChars = 8;

bool IsControl(QChar c)
{
    return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char('\t')
        || c == QLatin1Char('\f');
}

// Code units of the first character of text (a surrogate pair is one character).
int FirstCharLength(const QString& text)
{
    return text.size() >= 2 && text[0].isHighSurrogate() && text[1].isLowSurrogate() ? 2 : 1;
}
} // namespace

PrintLayout::PrintLayout(const TextMeasure& measure, int pageWidth, int pageHeight)
    : measure_(measure), pageWidth_(pageWidth), pageHeight_(pageHeight)
{
}

std::vector<PrintedPage> PrintLayout::layOut(const TextMeasure& measure, int pageWidth,
                                             int pageHeight, const QStringList& lines)
{
    PrintLayout layout(measure, pageWidth, pageHeight);
    for (const QString& line : lines)
        layout.writeLine(line);
    return layout.pages();
}

void PrintLayout::write(const QString& text)
{
    QString run;
    for (QChar c : text) {
        if (!IsControl(c)) {
            run.append(c);
            continue;
        }
        drawRun(run);
        run.clear();
        if (c == QLatin1Char('\n'))
            newLine();
        else if (c == QLatin1Char('\t'))
            tab();
        else if (c == QLatin1Char('\f'))
            breakPage();
    }
    drawRun(run);
}

void PrintLayout::drawRun(QString run)
{
    while (!run.isEmpty()) {
        int length = fittingLength(run, pageWidth_ - x_);
        if (length == 0 && x_ > 0) {
            newLine();
            continue;
        }
        // Not even one character fits on an empty line: draw it anyway, so wrapping
        // always makes progress.
        if (length == 0)
            length = FirstCharLength(run);
        const QString piece = run.left(length);
        currentPage().pieces.push_back({x_, y_, piece});
        x_ += measure_.textWidth(piece);
        drewOnLine_ = true;
        run.remove(0, length);
        if (!run.isEmpty())
            newLine();
    }
}

// The longest prefix of run that fits in the available width, never ending between
// the two halves of a surrogate pair.
int PrintLayout::fittingLength(const QString& run, int available) const
{
    if (available <= 0)
        return 0;
    int low = 0;
    int high = int(run.size());
    while (low < high) {
        const int middle = (low + high + 1) / 2;
        if (measure_.textWidth(run.left(middle)) <= available)
            low = middle;
        else
            high = middle - 1;
    }
    if (low > 0 && low < run.size() && run[low - 1].isHighSurrogate())
        --low;
    return low;
}

void PrintLayout::tab()
{
    const int stop = kTabStopChars * measure_.averageCharWidth();
    if (stop <= 0)
        return;
    x_ = (x_ / stop + 1) * stop;
    if (x_ >= pageWidth_)
        newLine();
}

void PrintLayout::newLine()
{
    const int textHeight = measure_.textHeight();
    const int used = drewOnLine_ ? textHeight + kLineGap : textHeight;
    const int reserve = drewOnLine_ ? 2 * used : 0;
    x_ = 0;
    y_ += used;
    drewOnLine_ = false;
    if (y_ > pageHeight_ - reserve) {
        pageBreakPending_ = true;
        y_ = 0;
    }
}

void PrintLayout::breakPage()
{
    currentPage();   // a form feed after another one still leaves a blank page
    pageBreakPending_ = true;
    x_ = 0;
    y_ = 0;
    drewOnLine_ = false;
}

PrintedPage& PrintLayout::currentPage()
{
    if (pageBreakPending_) {
        pages_.emplace_back();
        pageBreakPending_ = false;
    }
    return pages_.back();
}

} // namespace parvelle
