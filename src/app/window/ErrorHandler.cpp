#include "ErrorHandler.h"

#include "MessageBox.h"
#include "cache/TerminalText.h"
#include "core/Errors.h"

namespace parvelle {

namespace {

QString ErrorMessage(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const EParvelleError& e) {
        return e.message();
    } catch (const std::bad_alloc&) {
        return OutOfMemoryMessage();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

} // namespace

// Names from a hive in the message are shown escaped, line by line, as the table shows them.
QString EscapedErrorMessage(std::exception_ptr error)
{
    QStringList lines = ErrorMessage(error).split(QLatin1Char('\n'));
    for (QString& line : lines)
        line = TerminalText(line);
    return lines.join(QLatin1Char('\n'));
}

void RunGuarded(MessageBoxService& messages, const std::function<void()>& handler)
{
    try {
        handler();
    } catch (...) {
        messages.show(EscapedErrorMessage(std::current_exception()), AppTitle());
    }
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

Application::~Application() = default;

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        const QString message = EscapedErrorMessage(std::current_exception());
        if (messages_)
            messages_->show(message, AppTitle());
        else
            QtMessageBox(activeWindow()).show(message, AppTitle());
        return false;
    }
}

} // namespace parvelle
