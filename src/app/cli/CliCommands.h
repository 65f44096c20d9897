#pragma once
// The command table of parvelle-cli. A command registers itself with one line in its own
// source file:
//     static const CliCommandRegistration kList{{"list", "list [--format table|csv|json]", "...", RunList}};
#include "registry/Machine.h"

#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <functional>
#include <vector>

namespace parvelle {

struct CliContext {
    QStringList arguments;   // "parvelle-cli NAME" first, then the command's own arguments
    QTextStream& out;
    QTextStream& err;
};

struct CliCommand {
    QString name;       // the first argument that selects it ("list")
    QString synopsis;   // "list [--format table|csv|json]"
    QString summary;    // one line for --help
    // Returns the exit status; throws EUsageError (status 2) or EParvelleError (status 1).
    std::function<int(CliContext&)> run;
};

class CliCommandRegistration {
public:
    explicit CliCommandRegistration(CliCommand command);
};

// Every registered command, sorted by name.
std::vector<CliCommand> CliCommands();

// Adds -h/--help, parses the context's arguments (EUsageError on
// failure) and prints the command's help when asked; true when help was printed.
bool ParseCliArguments(QCommandLineParser& parser, CliContext& context, const QString& description);

// Writes a long text to standard output in slices (never splitting a surrogate pair), so
// that the stream never copies it whole, a file name that is not UTF-8 as its bytes;
// throws EInOutError as soon as a write fails.
// Whatever a command prints is also checked once at its end.
void WriteOutput(CliContext& context, QStringView text);

// Flushes standard output; throws EInOutError when it could not be written.
void FlushOutput(QTextStream& out);

// One line of standard output: exact in a file or pipe (a file name that is not UTF-8 as
// its bytes), control characters and such bytes shown escaped on a terminal.
void WriteLine(CliContext& context, const QString& line);

// The stream writes to a terminal.
bool IsTerminal(const QTextStream& stream);

// One line on standard error, control characters shown escaped.
void WriteMessage(CliContext& context, const QString& message);

// Writes the registry's notes (a hive's transaction logs) to standard error, one line each.
void PrintRegistryNotes(CliContext& context, const Machine& machine);

// Runs parvelle-cli with its arguments (program name first); returns the exit status.
int RunCli(const QStringList& arguments, QTextStream& out, QTextStream& err);

} // namespace parvelle
