#include "Printing.h"

#include "undo/PrintLayout.h"

#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QTemporaryFile>
#include <cstdio>

namespace parvelle {

namespace {
class FontMeasure : public TextMeasure {
public:
    explicit FontMeasure(const QFontMetrics& metrics) : metrics_(metrics) {}
    int textWidth(const QString& text) const override { return metrics_.horizontalAdvance(text); }
    int textHeight() const override { return metrics_.height(); }
    int averageCharWidth() const override { return metrics_.averageCharWidth(); }

private:
    QFontMetrics metrics_;
};
bool PaintLines(const QStringList& lines, QPrinter& printer)
{
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    const QFontMetrics metrics(painter.font(), &printer);
    const FontMeasure measure(metrics);
    const QRect area = printer.pageLayout().paintRectPixels(printer.resolution());
    const auto pages = PrintLayout::layOut(measure, area.width(), area.height(), lines);
    bool ok = true;
    for (size_t i = 0; i < pages.size() && ok; ++i) {
        if (i > 0)
            ok = printer.newPage();
        for (const PrintedPiece& piece : pages[i].pieces)
            painter.drawText(piece.x, piece.y + metrics.ascent(), piece.text);
    }
    return painter.end() && ok;
}

// The PDF writer does not report failed writes; a document cut short lacks its trailer.
bool EndsWithPdfTrailer(const QString& path)
{
    constexpr qint64 kTail = 16;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < kTail)
        return false;
    file.seek(file.size() - kTail);
    return file.read(kTail).contains("%%EOF");
}

// A regular file (or none yet) in a folder we may write to is replaced by a rename, so
// it is never left half-written.
bool CanReplaceByRename(const QFileInfo& target)
{
    const QFileInfo folder(target.absolutePath());
    return folder.isDir() && folder.isWritable() && (!target.exists() || (target.isFile() && !target.isSymLink()));
}

bool CopyInto(const QString& source, const QString& target)
{
    QFile in(source);
    QFile out(target);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray bytes = in.readAll();
    const bool written = out.write(bytes) == bytes.size() && out.flush();
    out.close();
    return written && out.error() == QFileDevice::NoError;
}

// Prints into a temporary file and hands it to the chosen file only when complete.
bool PrintToFile(const QStringList& lines, QPrinter& printer)
{
    const QString target = printer.outputFileName();
    const QFileInfo targetInfo(target);
    const bool rename = CanReplaceByRename(targetInfo);
    QTemporaryFile temp((rename ? targetInfo.absolutePath() : QDir::tempPath()) + QStringLiteral("/.print-XXXXXX.pdf"));
    if (!temp.open())
        return false;
    temp.close();
    printer.setOutputFileName(temp.fileName());
    const bool printed = PaintLines(lines, printer) && EndsWithPdfTrailer(temp.fileName());
    printer.setOutputFileName(target);
    if (!printed)
        return false;
    if (!rename)
        return CopyInto(temp.fileName(), target);
    temp.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    // rename(2) replaces an existing file in one step, which QFile::rename refuses to do.
    if (::rename(QFile::encodeName(temp.fileName()).constData(), QFile::encodeName(target).constData()) != 0)
        return false;
    temp.setAutoRemove(false);
    return true;
}
} // namespace

bool QtPrintDialogChooser::choose(QPrinter& printer)
{
    QPrintDialog dialog(&printer, owner_);
    return dialog.exec() == QDialog::Accepted;
}

bool PrintLines(const QStringList& lines, QPrinter& printer)
{
    return printer.outputFileName().isEmpty() ? PaintLines(lines, printer) : PrintToFile(lines, printer);
}

} // namespace parvelle
