#pragma once
// Error dialogs of the skinned components: a message with an OK button. Tests and
// programs without a screen replace the dialog by a handler of their own.
#include <QString>
#include <functional>

namespace parvelle {

using ErrorDialogHandler = std::function<void(const QString& text)>;

// Shows the text in an error dialog (or hands it to the installed handler).
void ShowErrorDialog(const QString& text);

// Installs a handler in place of the dialog; an empty one brings the dialog back.
// Returns the handler it replaces.
ErrorDialogHandler SetErrorDialogHandler(ErrorDialogHandler handler);

} // namespace parvelle
