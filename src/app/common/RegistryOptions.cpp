#include "RegistryOptions.h"

#include "core/NativePath.h"
#include "demo/DemoRegistry.h"
#include "registry/RegistrySources.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace parvelle {

namespace {

const QString kSoftware = QStringLiteral("software");
const QString kSystem = QStringLiteral("system");
const QString kNtUser = QStringLiteral("ntuser");
const QString kWindows = QStringLiteral("windows");
const QString kUser = QStringLiteral("user");
const QString kReadOnly = QStringLiteral("read-only");
const QString kUndoDir = QStringLiteral("undo-dir");

QString makeFolder(const QString& path)
{
    if (!MakeFolders(path))
        throw EInOutError(QStringLiteral("Cannot create the folder '%1'").arg(QDir::toNativeSeparators(path)));
    return path;
}

bool hasDemoHives(const QString& folder)
{
    const QDir dir(folder);
    return PathExists(dir.filePath(QStringLiteral("SOFTWARE"))) && PathExists(dir.filePath(QStringLiteral("NTUSER.DAT")));
}

// Writes the demo hives into a temporary folder beside `folder` and renames it into place,
// so that an interrupted first run never leaves half a demo registry.
void createDemoRegistry(const QString& folder)
{
    const QFileInfo target(folder);
    QTemporaryDir staging(makeFolder(target.absolutePath()) + QStringLiteral("/.demo-XXXXXX"));
    if (!staging.isValid())
        throw EInOutError(QStringLiteral("Cannot create a folder in '%1'").arg(QDir::toNativeSeparators(target.absolutePath())));
    MakeDemoRegistry(staging.path(), false);
    if (!QDir().rename(staging.path(), target.absoluteFilePath()) && !hasDemoHives(folder))
        throw EInOutError(QStringLiteral("Cannot create the demo registry in '%1'").arg(QDir::toNativeSeparators(folder)));
}

} // namespace

bool RegistryOptions::hasSource() const
{
    return !software.isEmpty() || !system.isEmpty() || !ntUser.isEmpty() || !windows.isEmpty();
}

void SetApplicationIdentity()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Parvelle"));
    QCoreApplication::setApplicationName(QStringLiteral("Parvelle"));
}

void AddRegistryOptions(QCommandLineParser& parser)
{
    parser.addOptions({
        {kSoftware, QStringLiteral("The SOFTWARE hive (HKEY_LOCAL_MACHINE\\SOFTWARE)."), QStringLiteral("FILE")},
        {kSystem, QStringLiteral("The SYSTEM hive (HKEY_LOCAL_MACHINE\\SYSTEM)."), QStringLiteral("FILE")},
        {kNtUser, QStringLiteral("A user's NTUSER.DAT (HKEY_CURRENT_USER)."), QStringLiteral("FILE")},
        {kWindows, QStringLiteral("A Windows installation whose hives are found by name."), QStringLiteral("DIR")},
        {kUser, QStringLiteral("The profile to use with --windows."), QStringLiteral("NAME")},
        {kReadOnly, QStringLiteral("Open every hive read-only.")},
        {kUndoDir, QStringLiteral("The folder of the undo files."), QStringLiteral("DIR")},
    });
}

void ParseCommandLine(QCommandLineParser& parser, const QStringList& arguments)
{
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    if (!parser.parse(arguments))
        throw EUsageError(parser.errorText());
    for (const QString& option : {kSoftware, kSystem, kNtUser, kWindows, kUser, kUndoDir})
        if (parser.optionNames().contains(option) && parser.values(option).size() > 1)
            throw EUsageError(QStringLiteral("--%1 given more than once").arg(option));
    if (parser.optionNames().contains(kUser) && !parser.optionNames().contains(kWindows))
        throw EUsageError(QStringLiteral("--user needs --windows"));
}

RegistryOptions RegistryOptionsFrom(const QCommandLineParser& parser)
{
    RegistryOptions options;
    options.software = parser.value(kSoftware);
    options.system = parser.value(kSystem);
    options.ntUser = parser.value(kNtUser);
    options.windows = parser.value(kWindows);
    options.user = parser.value(kUser);
    options.readOnly = parser.isSet(kReadOnly);
    options.undoDir = parser.value(kUndoDir);
    return options;
}

QString UserDataFolder()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (folder.isEmpty())
        throw EInOutError(QStringLiteral("The system names no folder for the user's data"));
    return makeFolder(folder);
}

QString DemoRegistryFolder()
{
    return QDir(UserDataFolder()).filePath(QStringLiteral("demo"));
}

std::unique_ptr<Machine> OpenRegistry(const RegistryOptions& options)
{
    RegistrySources sources;
    sources.software = options.software;
    sources.system = options.system;
    sources.ntuser = options.ntUser;
    sources.windowsDir = options.windows;
    sources.user = options.user;
    sources.readOnly = options.readOnly;
    if (!options.hasSource()) {
        const QString demo = DemoRegistryFolder();
        if (!hasDemoHives(demo))
            createDemoRegistry(demo);
        sources.software = QDir(demo).filePath(QStringLiteral("SOFTWARE"));
        sources.ntuser = QDir(demo).filePath(QStringLiteral("NTUSER.DAT"));
    }
    return std::make_unique<Machine>(OpenRegistrySources(sources));
}

QString UndoFolder(const RegistryOptions& options)
{
    // Read-only work never writes an undo file: the folder is not created for it.
    if (!options.undoDir.isEmpty())
        return options.readOnly ? options.undoDir : makeFolder(options.undoDir);
    const QString programFolder = QCoreApplication::applicationDirPath();
    if (!programFolder.isEmpty() && IsWritable(programFolder) && !IsSystemProgramFolder(programFolder))
        return programFolder;
    return options.readOnly ? QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) : UserDataFolder();
}

bool IsSystemProgramFolder(const QString& folder)
{
    static const QStringList systemFolders{QStringLiteral("/usr/bin"), QStringLiteral("/usr/sbin"), QStringLiteral("/usr/games"),
                                           QStringLiteral("/bin"), QStringLiteral("/sbin")};
    const QString canonical = CanonicalPath(folder);
    return systemFolders.contains(QDir::cleanPath(folder)) || (!canonical.isEmpty() && systemFolders.contains(canonical));
}

} // namespace parvelle
