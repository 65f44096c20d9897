#pragma once
// Windows are found by a class name, as desktop windows are found by theirs.
#include <QString>

class QWidget;

namespace parvelle {

void SetWindowClass(QWidget* window, const QString& className);
QString WindowClassOf(const QWidget* window);
// The first visible-or-hidden top-level window of that class, or nullptr.
QWidget* FindWindow(const QString& className);
// The first descendant of parent of that class, or nullptr.
QWidget* FindWindowEx(QWidget* parent, const QString& className);

} // namespace parvelle
