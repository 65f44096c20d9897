#pragma once
// The one way an error that escapes an event handler reaches the user: its message in
// a message box, after which the window goes on as before.
#include <QApplication>
#include <exception>
#include <functional>

namespace parvelle {

class MessageBoxService;

// The message of an exception (EParvelleError, std::exception or anything else).
QString EscapedErrorMessage(std::exception_ptr error);

// Runs handler; an exception it raises is shown through messages and swallowed.
void RunGuarded(MessageBoxService& messages, const std::function<void()>& handler);

// The application object: also shows what escapes any other event delivery.
class Application : public QApplication {
public:
    Application(int& argc, char** argv);
    ~Application() override;
    bool notify(QObject* receiver, QEvent* event) override;
    // Where escaped errors are shown; nullptr = a plain message box.
    void SetErrorMessages(MessageBoxService* messages) { messages_ = messages; }
    MessageBoxService* ErrorMessages() const { return messages_; }

private:
    MessageBoxService* messages_ = nullptr;
};

} // namespace parvelle
