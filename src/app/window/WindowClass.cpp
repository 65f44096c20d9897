#include "WindowClass.h"

#include <QApplication>
#include <QWidget>

namespace parvelle {

namespace {
constexpr char kClassProperty[] = "windowClass";
}

void SetWindowClass(QWidget* window, const QString& className)
{
    window->setProperty(kClassProperty, className);
}

QString WindowClassOf(const QWidget* window)
{
    return window->property(kClassProperty).toString();
}

QWidget* FindWindow(const QString& className)
{
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (WindowClassOf(window) == className)
            return window;
    }
    return nullptr;
}

QWidget* FindWindowEx(QWidget* parent, const QString& className)
{
    for (QWidget* child : parent->findChildren<QWidget*>()) {
        if (WindowClassOf(child) == className)
            return child;
    }
    return nullptr;
}

} // namespace parvelle
