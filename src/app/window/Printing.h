#pragma once
// Printing plain text lines through the platform's print dialog and printer.
#include <QStringList>

class QPrinter;
class QWidget;

namespace parvelle {

// Lets the user pick and set up a printer; false when cancelled.
class PrinterChooser {
public:
    virtual ~PrinterChooser() = default;
    virtual bool choose(QPrinter& printer) = 0;
};

class QtPrintDialogChooser : public PrinterChooser {
public:
    explicit QtPrintDialogChooser(QWidget* owner) : owner_(owner) {}
    bool choose(QPrinter& printer) override;

private:
    QWidget* owner_;
};

// Prints the lines, each followed by a line break, in the printer's default font from
// the top left of the printable area. False when the printer output fails; output to a
// file then leaves that file as it was (no half-written document).
bool PrintLines(const QStringList& lines, QPrinter& printer);

} // namespace parvelle
