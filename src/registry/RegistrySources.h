#pragma once
// Which hive files make up the registry to work on, and the Machine built from them.
#include "Machine.h"

#include <QString>
#include <QStringList>
#include <map>

namespace parvelle {

struct RegistrySources {
    QString software;     // SOFTWARE hive -> HKEY_LOCAL_MACHINE\SOFTWARE
    QString system;       // SYSTEM hive -> HKEY_LOCAL_MACHINE\SYSTEM
    QString ntuser;       // NTUSER.DAT -> HKEY_CURRENT_USER and HKEY_USERS\<user>
    QString windowsDir;   // an installation whose hives are found by name (explicit files win)
    QString user;         // profile to take from windowsDir; the HKEY_USERS name
    bool readOnly = false;

    bool isEmpty() const { return software.isEmpty() && system.isEmpty() && ntuser.isEmpty() && windowsDir.isEmpty(); }
};

// The hive files of an installation, letter case ignored at every level.
struct WindowsHives {
    QString software;
    QString system;       // empty when the installation has none
    QString ntuser;       // empty when no user profile has one
    QString user;         // the profile folder's name
    QString ntuserUnchosen;   // why no NTUSER.DAT was taken though profiles have one (several fit)
    std::map<QString, QString> profiles;   // every profile folder with an NTUSER.DAT -> that file
};

// `dir` holds a Windows (or WINNT) folder with System32/config/SOFTWARE, letter case ignored.
bool HoldsWindowsInstallation(const QString& dir);

// Finds SOFTWARE and SYSTEM under Windows/System32/config (or WINNT; `dir` may also be the
// Windows folder itself) and the NTUSER.DAT of `user` under Users or Documents and Settings.
// Without `user` the only profile with an NTUSER.DAT is taken (the built-in Default, Public,
// All Users, LocalService and NetworkService profiles do not count).
// When several profiles would fit none is taken and ntuserUnchosen says so, listing them.
// Throws EHiveError when SOFTWARE is missing or the user has no profile.
WindowsHives FindWindowsHives(const QString& dir, const QString& user);

// Opens every hive named (read-only when asked) and mounts it. Throws EHiveError for a
// missing or corrupt file and when nothing is named at all. When an installation has several
// profiles and none is chosen, HKEY_CURRENT_USER stays empty and a key under it fails to open
// with the reason.
Machine OpenRegistrySources(const RegistrySources& sources);

} // namespace parvelle
