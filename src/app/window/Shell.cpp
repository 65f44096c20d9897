#include "Shell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace parvelle {

int QtShell::shellExecute(const QString& target)
{
    QUrl url(target);
    if (url.scheme().isEmpty() || QFileInfo(target).isAbsolute()) {
        if (!QFileInfo::exists(target))
            return kShellFileNotFound;
        url = QUrl::fromLocalFile(target);
    }
    return QDesktopServices::openUrl(url) ? kShellSuccess : kShellNoAssociation;
}

QString ShellErrorMessage(int code)
{
    switch (code) {
    case 0: return QStringLiteral("The operating system is out of memory or resources.");
    case 2: return QStringLiteral("The specified file was not found.");
    case 3: return QStringLiteral("The specified path was not found.");
    case 5: return QStringLiteral("Windows 95 only: The operating system denied access to the specified file.");
    case 8: return QStringLiteral("Windows 95 only: There was not enough memory to complete the operation.");
    case 11: return QStringLiteral("The .EXE file is invalid (non-Win32 .EXE or error in .EXE image).");
    case 26: return QStringLiteral("A sharing violation occurred.");
    case 27: return QStringLiteral("The filename association is incomplete or invalid.");
    case 28: return QStringLiteral("The DDE transaction could not be completed because the request timed out.");
    case 29: return QStringLiteral("The DDE transaction failed.");
    case 30: return QStringLiteral("The DDE transaction could not be completed because other DDE transactions were being processed.");
    // Links are the only targets, and xdg-open (xdg-utils) hands them to the browser.
    case 31: return QStringLiteral("No program to open web pages is installed.");
    case 32: return QStringLiteral("Windows 95 only: The specified dynamic-link library was not found.");
    default: return QStringLiteral("A ShellExecute Error occurred.");
    }
}

} // namespace parvelle
