// parvelle-cli: the cache listing and the undo operations without a window.
#include "CliCommands.h"
#include "app/common/RegistryOptions.h"
#include "core/NativePath.h"
#include "core/SafeFile.h"

#include <QCoreApplication>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

int main(int argc, char* argv[])
{
    // With standard output closed, the next file opened would take its descriptor and the
    // output would go into that file: nothing is done then. Checked before anything opens.
    const int outputError = ::fcntl(STDOUT_FILENO, F_GETFD) < 0 ? errno : 0;
    QCoreApplication application(argc, argv);
    parvelle::RemoveTemporariesOnSignals();
    parvelle::SetApplicationIdentity();
    QCoreApplication::setApplicationVersion(QStringLiteral(PARVELLE_VERSION));
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (outputError != 0) {
        err << "parvelle-cli: Cannot write the output: " << parvelle::SystemErrorText(outputError) << '\n';
        return 1;
    }
    const int status = parvelle::RunCli(parvelle::ArgumentsFromNative(argc, argv), out, err);
    out.flush();
    err.flush();
    return status;
}
