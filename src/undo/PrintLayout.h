#pragma once
// Device-independent layout of plain text lines on printed pages: wrapping at the page
// width, line gaps, page breaks, tab stops and form feeds. Measuring is left to the
// caller, so this needs no font or paint device.
#include <QString>
#include <QStringList>
#include <vector>

namespace parvelle {

// Measures text in the output's font, in device units.
class TextMeasure {
public:
    virtual ~TextMeasure() = default;
    virtual int textWidth(const QString& text) const = 0;
    virtual int textHeight() const = 0;          // height of one line of text
    virtual int averageCharWidth() const = 0;
};

struct PrintedPiece {
    int x = 0;
    int y = 0;      // top of the text
    QString text;
};

struct PrintedPage {
    std::vector<PrintedPiece> pieces;
};

class PrintLayout {
public:
    PrintLayout(const TextMeasure& measure, int pageWidth, int pageHeight);

    // Writes text at the current position: '\n' ends a line, '\t' moves to the next
    // tab stop, '\f' starts a new page, '\r' draws nothing.
    void write(const QString& text);
    void writeLine(const QString& line) { write(line + QLatin1Char('\n')); }

    // The pages drawn so far; a page break with nothing drawn after it adds no page.
    const std::vector<PrintedPage>& pages() const { return pages_; }

    // Every line followed by a line break, laid out from the top left of page one.
    static std::vector<PrintedPage> layOut(const TextMeasure& measure, int pageWidth,
                                           int pageHeight, const QStringList& lines);

private:
    void drawRun(QString run);
    int fittingLength(const QString& run, int available) const;
    void tab();
    void newLine();
    void breakPage();
    PrintedPage& currentPage();

    const TextMeasure& measure_;
    int pageWidth_;
    int pageHeight_;
    int x_ = 0;
    int y_ = 0;
    bool drewOnLine_ = false;
    bool pageBreakPending_ = false;
    std::vector<PrintedPage> pages_{1};
};

} // namespace parvelle
