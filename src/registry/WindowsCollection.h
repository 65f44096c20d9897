#pragma once
// The Windows installations of a collection: every folder below a root that holds
// Windows/System32/config/SOFTWARE, as triage tools and copies of disk images leave them,
// one folder per machine.
#include <QString>
#include <QStringList>

namespace parvelle {

struct WindowsCollection {
    QString root;                 // as given
    QStringList installations;    // folders relative to root ("." for root itself), '/' separators, sorted
    QStringList unreadable;       // "folder: reason" for every folder that could not be searched
    QStringList linksLeftOut;     // "link -> target" for links that lead out of root
};

// Searches `root` for installations; an installation's own folders are not searched
// further. Symbolic links are followed only while they stay inside root, and a folder
// reached twice is searched once. Throws EHiveError when root is not a folder.
WindowsCollection FindWindowsInstallations(const QString& root);

// `path` relative to `root` ("." for root itself), '/' separators; either may be relative
// to the current folder.
QString RelativeToRoot(const QString& root, const QString& path);

// `path` lies inside the real location of `root` once every symbolic link is resolved.
bool LiesInside(const QString& root, const QString& path);

} // namespace parvelle
