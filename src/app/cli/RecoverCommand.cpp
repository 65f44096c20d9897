// parvelle-cli recover: a hive that was not closed cleanly, with its transaction logs
// applied, written as a new clean hive file.
#include "CliCommands.h"
#include "app/common/RegistryOptions.h"
#include "core/QuietRead.h"
#include "registry/HiveLogs.h"
#include "registry/HiveStore.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace parvelle {

namespace {

// A log named by the user that cannot be read would leave pages of the hive unrecovered
// without a word: refused before anything is written.
void requireReadable(const QString& logPath)
{
    const int fd = OpenQuietly(logPath);
    if (fd < 0)
        throw EInOutError(QStringLiteral("Cannot read the transaction log '%1': %2; nothing was written")
                              .arg(logPath, SystemErrorText()));
    ::close(fd);
}

// Once OUT is in place the recovery succeeded: a confirmation that cannot be printed is
// only warned about, so that the status never claims that nothing was written.
void confirmWritten(CliContext& context, const QString& out)
{
    try {
        WriteLine(context, out);
        FlushOutput(context.out);
    } catch (const EInOutError& error) {
        context.out.resetStatus();
        WriteMessage(context, QStringLiteral("parvelle-cli: warning: %1; '%2' was written").arg(error.message(), out));
    }
}

int RunRecover(CliContext& context)
{
    QCommandLineParser parser;
    const QCommandLineOption log(QStringLiteral("log"),
                                 QStringLiteral("A transaction log of HIVE (repeatable); the logs beside HIVE are then not looked for."),
                                 QStringLiteral("FILE"));
    parser.addOption(log);
    parser.addPositionalArgument(QStringLiteral("HIVE"), QStringLiteral("The hive file; it and its logs are only read."));
    parser.addPositionalArgument(QStringLiteral("OUT"), QStringLiteral("The new hive file; it must not exist."));
    if (ParseCliArguments(parser, context, QStringLiteral("Writes a hive with its transaction logs applied as a new, clean hive file.")))
        return 0;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 2)
        throw EUsageError(positional.size() < 2 ? QStringLiteral("HIVE and OUT are needed")
                                                : QStringLiteral("unexpected argument '%1'").arg(positional.at(2)));

    const QStringList logs = parser.isSet(log) ? parser.values(log) : FindHiveLogs(positional[0]);
    for (const QString& named : parser.values(log))
        requireReadable(named);
    HiveStore hive(positional[0], HiveStore::Access::ReadOnly, logs);
    if (!hive.note().isEmpty())
        WriteMessage(context, QStringLiteral("parvelle-cli: note: ") + hive.note());
    hive.saveCleanCopy(positional[1]);
    confirmWritten(context, positional[1]);
    return 0;
}

const CliCommandRegistration kRecover{{QStringLiteral("recover"), QStringLiteral("recover HIVE OUT [--log FILE]..."),
                                       QStringLiteral("Write HIVE with its transaction logs applied as a new, clean hive file OUT."),
                                       RunRecover}};

} // namespace

} // namespace parvelle
