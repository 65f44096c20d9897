#pragma once
// The one place where an error that escapes an event handler is shown to the user.
#include <QApplication>
#include <exception>
#include <functional>

namespace parvelle {

class MessageBoxService;

// Where escaped errors are shown; nullptr restores the default (a QtMessageBox).
void SetErrorMessages(MessageBoxService* messages);

// Shows the message of the exception being handled (call inside a catch block).
void ShowEscapedError(std::exception_ptr error);

// Runs handler; an exception it raises is shown and swallowed, so the window stays usable.
void RunGuarded(const std::function<void()>& handler);

// The application object: also catches what escapes any event delivery.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv) : QApplication(argc, argv) {}
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace parvelle
