// parvelle-cli: the cache listing and the undo operations without a window.
#include "CliCommands.h"
#include "app/common/RegistryOptions.h"
#include "registry/SafeFile.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    parvelle::RemoveTemporariesOnSignals();
    parvelle::SetApplicationIdentity();
    QCoreApplication::setApplicationVersion(QStringLiteral(PARVELLE_VERSION));
    QTextStream out(stdout);
    QTextStream err(stderr);
    const int status = parvelle::RunCli(application.arguments(), out, err);
    out.flush();
    err.flush();
    return status;
}
