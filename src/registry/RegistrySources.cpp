#include "RegistrySources.h"

#include "HiveStore.h"
#include "core/Errors.h"
#include "core/NativePath.h"
#include "core/QuietRead.h"

#include <QDir>
#include <QFileInfo>
#include <map>

namespace parvelle {

namespace {

// The entry of `dir` named `name` ignoring letter case, or empty.
QString entryIgnoringCase(const QString& dir, const QString& name, EntryKind kind)
{
    const QStringList entries = QuietFolderEntries(dir, kind);
    for (const QString& entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return QDir(dir).filePath(entry);
    }
    return {};
}

// Follows `parts` from `dir`, each matched ignoring letter case; the last one is a file.
QString pathIgnoringCase(const QString& dir, const QStringList& parts)
{
    QString at = dir;
    for (qsizetype i = 0; i < parts.size() && !at.isEmpty(); ++i) {
        const bool last = i == parts.size() - 1;
        at = entryIgnoringCase(at, parts[i], last ? EntryKind::Files : EntryKind::Folders);
    }
    return at;
}

QString softwareHiveOf(const QString& windowsFolder)
{
    return pathIgnoringCase(windowsFolder, {QStringLiteral("System32"), QStringLiteral("config"), QStringLiteral("SOFTWARE")});
}

// The Windows (or WINNT) folder in `dir` that holds a SOFTWARE hive, or empty.
QString windowsFolderIn(const QString& dir)
{
    for (const QString& windows : {QStringLiteral("Windows"), QStringLiteral("WINNT")}) {
        const QString folder = entryIgnoringCase(dir, windows, EntryKind::Folders);
        if (!folder.isEmpty() && !softwareHiveOf(folder).isEmpty())
            return folder;
    }
    return {};
}

QString findSystemFolder(const QString& dir)
{
    if (!softwareHiveOf(dir).isEmpty())
        return dir;   // `dir` is the Windows folder itself
    return windowsFolderIn(dir);
}

bool isBuiltInProfile(const QString& name)
{
    static const QStringList builtIn{"Default", "Default User", "All Users", "Public",
                                     "LocalService", "NetworkService", "defaultuser0"};
    return builtIn.contains(name, Qt::CaseInsensitive);
}

// Profile folder name -> its NTUSER.DAT, for every profile that has one.
std::map<QString, QString> userProfiles(const QString& dir)
{
    std::map<QString, QString> profiles;
    for (const QString& home : {QStringLiteral("Users"), QStringLiteral("Documents and Settings")}) {
        const QString homes = entryIgnoringCase(dir, home, EntryKind::Folders);
        if (homes.isEmpty())
            continue;
        for (const QString& profile : QuietFolderEntries(homes, EntryKind::Folders)) {
            const QString ntuser = pathIgnoringCase(QDir(homes).filePath(profile), {QStringLiteral("NTUSER.DAT")});
            if (!ntuser.isEmpty())
                profiles.emplace(profile, ntuser);
        }
    }
    return profiles;
}

QStringList profileNames(const std::map<QString, QString>& profiles, bool withBuiltIn)
{
    QStringList names;
    for (const auto& [name, path] : profiles) {
        if (withBuiltIn || !isBuiltInProfile(name))
            names.append(name);
    }
    return names;
}

} // namespace

bool HoldsWindowsInstallation(const QString& dir)
{
    return !windowsFolderIn(dir).isEmpty();
}

WindowsHives FindWindowsHives(const QString& dir, const QString& user)
{
    if (!IsFolder(dir))
        throw EHiveError(QStringLiteral("The Windows folder '%1' does not exist").arg(dir));
    const QString systemFolder = findSystemFolder(dir);
    if (systemFolder.isEmpty())
        throw EHiveError(QStringLiteral("No Windows installation found in '%1' (looked for Windows/System32/config/SOFTWARE)").arg(dir));
    WindowsHives hives;
    hives.software = softwareHiveOf(systemFolder);
    hives.system = pathIgnoringCase(systemFolder, {QStringLiteral("System32"), QStringLiteral("config"), QStringLiteral("SYSTEM")});

    const QString driveRoot = CanonicalPath(systemFolder) == CanonicalPath(dir) ? ParentFolder(systemFolder) : dir;
    hives.profiles = userProfiles(driveRoot);
    const std::map<QString, QString>& profiles = hives.profiles;
    if (!user.isEmpty()) {
        for (const auto& [name, path] : profiles) {
            if (name.compare(user, Qt::CaseInsensitive) == 0) {
                hives.ntuser = path;
                hives.user = name;
                return hives;
            }
        }
        throw EHiveError(QStringLiteral("The user '%1' has no NTUSER.DAT in '%2'; profiles found: %3")
                             .arg(user, driveRoot, profileNames(profiles, true).join(QStringLiteral(", "))));
    }
    const QStringList candidates = profileNames(profiles, false);
    if (candidates.size() > 1)
        hives.ntuserUnchosen = QStringLiteral("Several user profiles in '%1' have an NTUSER.DAT: %2; choose one with --user")
                                   .arg(driveRoot, candidates.join(QStringLiteral(", ")));
    else if (candidates.size() == 1) {
        hives.user = candidates.first();
        hives.ntuser = profiles.at(hives.user);
    }
    return hives;
}

Machine OpenRegistrySources(const RegistrySources& sources)
{
    if (sources.isEmpty())
        throw EHiveError(QStringLiteral("No registry hive was named"));
    QString software = sources.software;
    QString system = sources.system;
    QString ntuser = sources.ntuser;
    QString user = sources.user;
    QString ntuserUnchosen;
    if (!sources.windowsDir.isEmpty()) {
        const WindowsHives found = FindWindowsHives(sources.windowsDir, sources.user);
        software = software.isEmpty() ? found.software : software;
        system = system.isEmpty() ? found.system : system;
        if (ntuser.isEmpty()) {
            ntuser = found.ntuser;
            user = found.user;
            ntuserUnchosen = found.ntuserUnchosen;
        }
    }
    if (user.isEmpty() && !ntuser.isEmpty())
        user = QFileInfo(ParentFolder(ntuser)).fileName();
    if (user.isEmpty())
        user = QStringLiteral("User");

    // A file named twice is opened once, so two handles never write the same hive.
    std::map<QString, std::shared_ptr<RegistryStore>> opened;
    const auto open = [&](const QString& path) {
        const QString key = PathExists(path) ? CanonicalPath(path) : path;
        auto& store = opened[key];
        if (!store)
            store = std::make_shared<HiveStore>(path, sources.readOnly ? HiveStore::Access::ReadOnly : HiveStore::Access::Auto);
        return store;
    };
    Machine machine;
    if (!software.isEmpty())
        machine.mount(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE"), open(software));
    if (!system.isEmpty())
        machine.mount(HKEY_LOCAL_MACHINE, QStringLiteral("SYSTEM"), open(system));
    if (!ntuser.isEmpty()) {
        machine.mount(HKEY_CURRENT_USER, QString(), open(ntuser));
        machine.mount(HKEY_USERS, user, open(ntuser));
    } else if (!ntuserUnchosen.isEmpty()) {
        machine.setUnmountedReason(HKEY_CURRENT_USER, ntuserUnchosen);
    }
    return machine;
}

} // namespace parvelle
