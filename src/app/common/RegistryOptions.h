#pragma once
// The options that choose a registry and the undo folder, shared by parvelle and parvelle-cli.
#include "core/Errors.h"
#include "registry/Machine.h"

#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <memory>

namespace parvelle {

// A command line that cannot be understood; front ends exit with status 2.
class EUsageError : public EParvelleError {
    using EParvelleError::EParvelleError;
};

struct RegistryOptions {
    QString software;   // --software FILE
    QString system;     // --system FILE
    QString ntUser;     // --ntuser FILE
    QString windows;    // --windows DIR
    QString user;       // --user NAME (with --windows)
    bool readOnly = false;
    QString undoDir;    // --undo-dir DIR

    bool hasSource() const;   // any hive or installation named
};

// Names the application (org "Parvelle") so that both front ends share their data folder.
void SetApplicationIdentity();

// Declares the registry options on a parser.
void AddRegistryOptions(QCommandLineParser& parser);
// Parses `arguments` (program name first); throws EUsageError with the parser's message,
// or for --user without --windows.
void ParseCommandLine(QCommandLineParser& parser, const QStringList& arguments);
RegistryOptions RegistryOptionsFrom(const QCommandLineParser& parser);

// The per-user data folder (created when missing).
QString UserDataFolder();
// Where the demo registry lives when no source is given.
QString DemoRegistryFolder();

// The registry the options name, or the demo registry (created on first use).
// Throws EParvelleError (EHiveError for a missing or corrupt hive).
std::unique_ptr<Machine> OpenRegistry(const RegistryOptions& options);

// --undo-dir, else the executable's folder when writable and not a system folder of
// programs, else the per-user data folder.
QString UndoFolder(const RegistryOptions& options);

// Whether `folder` is one the system's packages own (/usr/bin and the like), where files of
// a user's work do not belong even when it is writable (as root).
bool IsSystemProgramFolder(const QString& folder);

} // namespace parvelle
