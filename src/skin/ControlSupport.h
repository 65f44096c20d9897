#pragma once
// Small pieces every skinned control shares.
#include "ThemeFile.h"

#include <QMetaObject>
#include <QPointer>
#include <functional>

class QWidget;

namespace parvelle {

// A control's FileTheme: not owned; when the theme component is destroyed the link clears
// itself and calls Gone (the control then falls back to DeepBlue).
class FileThemeLink {
public:
    TsuiFileTheme* get() const { return theme_; }
    void set(TsuiFileTheme* theme, QObject* context, std::function<void()> gone);

private:
    QPointer<TsuiFileTheme> theme_;
    QMetaObject::Connection gone_;
};

// Space and the two Enter keys press buttons and toggle check boxes.
bool IsActivationKey(int key);

// Alt with the letter after "&" in Caption as the control's window-wide shortcut, replacing
// the one it had (ShortcutId); returns the new id, 0 when the caption has no accelerator.
int GrabAccelerator(QWidget* control, int shortcutId, const QString& caption);

} // namespace parvelle
