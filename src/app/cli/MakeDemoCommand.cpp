// parvelle-cli make-demo: writes the demo hives into a folder.
#include "CliCommands.h"
#include "app/common/RegistryOptions.h"
#include "demo/DemoRegistry.h"


namespace parvelle {

namespace {

int RunMakeDemo(CliContext& context)
{
    QCommandLineParser parser;
    const QCommandLineOption vista(QStringLiteral("vista"),
                                   QStringLiteral("A Vista machine (version 6.0, the cache in NTUSER.DAT)."));
    parser.addOption(vista);
    parser.addPositionalArgument(QStringLiteral("DIR"), QStringLiteral("Folder for SOFTWARE and NTUSER.DAT."));
    if (ParseCliArguments(parser, context, QStringLiteral("Writes the hives of a demo registry.")))
        return 0;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1)
        throw EUsageError(positional.isEmpty() ? QStringLiteral("missing folder")
                                               : QStringLiteral("unexpected argument '%1'").arg(positional.at(1)));

    const DemoHives hives = MakeDemoRegistry(positional.first(), parser.isSet(vista));
    WriteLine(context, hives.software);
    WriteLine(context, hives.ntUser);
    return 0;
}

const CliCommandRegistration kMakeDemo{{QStringLiteral("make-demo"), QStringLiteral("make-demo DIR [--vista]"),
                                        QStringLiteral("Write the demo hives SOFTWARE and NTUSER.DAT into DIR."),
                                        RunMakeDemo}};

} // namespace

} // namespace parvelle
