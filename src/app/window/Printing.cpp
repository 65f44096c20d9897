#include "Printing.h"

#include "undo/PrintLayout.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

namespace parvelle {

namespace {
class FontMeasure : public TextMeasure {
public:
    explicit FontMeasure(const QFontMetrics& metrics) : metrics_(metrics) {}
    int TextWidth(const QString& text) const override { return metrics_.horizontalAdvance(text); }
    int TextHeight() const override { return metrics_.height(); }
    int AverageCharWidth() const override { return metrics_.averageCharWidth(); }

private:
    QFontMetrics metrics_;
};
} // namespace

bool QtPrintDialogChooser::Choose(QPrinter& printer)
{
    QPrintDialog dialog(&printer, owner_);
    return dialog.exec() == QDialog::Accepted;
}

bool PrintLines(const QStringList& lines, QPrinter& printer)
{
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    const QFontMetrics metrics(painter.font(), &printer);
    const FontMeasure measure(metrics);
    const QRect area = printer.pageLayout().paintRectPixels(printer.resolution());
    const auto pages = PrintLayout::LayOut(measure, area.width(), area.height(), lines);
    bool ok = true;
    for (size_t i = 0; i < pages.size() && ok; ++i) {
        if (i > 0)
            ok = printer.newPage();
        for (const PrintedPiece& piece : pages[i].pieces)
            painter.drawText(piece.x, piece.y + metrics.ascent(), piece.text);
    }
    return painter.end() && ok;
}

} // namespace parvelle
