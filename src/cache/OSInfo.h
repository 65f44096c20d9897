#pragma once
// Which Windows the open registry belongs to, and where that Windows keeps the cache.
#include "registry/Machine.h"
#include "registry/RootKeys.h"

#include <QString>
#include <cstdint>

namespace parvelle {

// Absolute key paths (under the root of the cache, and under HKEY_LOCAL_MACHINE).
inline const QString kArpCachePath =
    QStringLiteral("\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Management\\ARPCache");
inline const QString kUninstallPath = QStringLiteral("\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
inline const QString kNtVersionPath = QStringLiteral("\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
inline const QString kWin9xVersionPath = QStringLiteral("\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion");

// The path of one cache entry: the cache path, a backslash and the entry's name.
QString CacheEntryPath(const QString& name);

// -1..8 from the version recorded in the machine's SOFTWARE hive: NT "CurrentVersion"
// ("5.1"), else 9x "VersionNumber" ("4.10.2222") with "SubVersionNumber" (" A ").
// -1 when neither is found or the text is not a version.
int GetOSInfo(Machine& machine);

// The same mapping from version numbers, for either platform family.
int NtVersionInfo(int major, int minor);
int Win9xVersionInfo(int major, int minor, const QString& subVersion);

// GetOSInfo's result -> OSKind (0..8).
uint8_t OSKindFromInfo(int info);

// HKEY_CURRENT_USER for OSKind 8 (NT 6.0), else HKEY_LOCAL_MACHINE.
HKEY CacheRoot(uint8_t osKind);

} // namespace parvelle
