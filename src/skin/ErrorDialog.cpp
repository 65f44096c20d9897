#include "ErrorDialog.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace parvelle {

namespace {
ErrorDialogHandler& Handler()
{
    static ErrorDialogHandler handler;
    return handler;
}
} // namespace

void ShowErrorDialog(const QString& text)
{
    if (Handler()) {
        Handler()(text);
        return;
    }
    QMessageBox::critical(nullptr, QCoreApplication::applicationName(), text, QMessageBox::Ok);
}

ErrorDialogHandler SetErrorDialogHandler(ErrorDialogHandler handler)
{
    return std::exchange(Handler(), std::move(handler));
}

} // namespace parvelle
