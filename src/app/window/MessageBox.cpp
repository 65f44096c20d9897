#include "MessageBox.h"

#include <QGuiApplication>
#include <QMessageBox>

namespace parvelle {

void QtMessageBox::show(const QString& text, const QString& title)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, owner_);
    box.exec();
}

QString AppTitle()
{
    return QGuiApplication::applicationDisplayName();
}

} // namespace parvelle
