#include "ErrorHandler.h"

#include "MessageBox.h"
#include "registry/Errors.h"

namespace parvelle {

namespace {
MessageBoxService* g_messages = nullptr;

QString MessageOf(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const EParvelleError& e) {
        return e.message();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}
} // namespace

void SetErrorMessages(MessageBoxService* messages)
{
    g_messages = messages;
}

void ShowEscapedError(std::exception_ptr error)
{
    const QString text = MessageOf(error);
    if (g_messages) {
        g_messages->Show(text, AppTitle());
        return;
    }
    QtMessageBox(QApplication::activeWindow()).Show(text, AppTitle());
}

void RunGuarded(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (...) {
        ShowEscapedError(std::current_exception());
    }
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowEscapedError(std::current_exception());
        return false;
    }
}

} // namespace parvelle
