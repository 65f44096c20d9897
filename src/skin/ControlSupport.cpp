#include "ControlSupport.h"

#include <QKeySequence>
#include <QWidget>

namespace parvelle {

void FileThemeLink::set(TsuiFileTheme* theme, QObject* context, std::function<void()> gone)
{
    QObject::disconnect(gone_);
    theme_ = theme;
    if (!theme)
        return;
    gone_ = QObject::connect(theme, &QObject::destroyed, context, [this, gone = std::move(gone)] {
        theme_ = nullptr;
        gone();
    });
}

bool IsActivationKey(int key)
{
    return key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter;
}

int GrabAccelerator(QWidget* control, int shortcutId, const QString& caption)
{
    if (shortcutId != 0)
        control->releaseShortcut(shortcutId);
    const QKeySequence accelerator = QKeySequence::mnemonic(caption);
    return accelerator.isEmpty() ? 0 : control->grabShortcut(accelerator);
}

} // namespace parvelle
