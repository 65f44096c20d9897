#pragma once
// Plain message boxes with a text, a title and an OK button.
#include <QString>

class QWidget;

namespace parvelle {

class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;
    virtual void show(const QString& text, const QString& title) = 0;
};

class QtMessageBox : public MessageBoxService {
public:
    explicit QtMessageBox(QWidget* owner) : owner_(owner) {}
    void show(const QString& text, const QString& title) override;

private:
    QWidget* owner_;
};

// The title of the program's plain messages: the application's name.
QString AppTitle();

} // namespace parvelle
