#include "CliCommands.h"

#include "app/common/RegistryOptions.h"
#include "cache/TerminalText.h"
#include "core/Errors.h"

#include <QCoreApplication>
#include <QFileDevice>
#include <algorithm>
#include <new>
#include <unistd.h>

namespace parvelle {

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

std::vector<CliCommand>& commandTable()
{
    static std::vector<CliCommand> table;
    return table;
}

QString programUsage(const QString& program)
{
    QString usage = QStringLiteral("Usage: %1 COMMAND [options]\n\nCommands:\n").arg(program);
    for (const CliCommand& command : CliCommands())
        usage += QStringLiteral("  %1\n      %2\n").arg(command.synopsis, command.summary);
    usage += QStringLiteral(
        "\nRegistry options (every command that reads the registry):\n"
        "  --software FILE  --system FILE  --ntuser FILE  --windows DIR [--user NAME]\n"
        "  --read-only  --undo-dir DIR\n"
        "Without a hive or --windows, the demo registry in the user's data folder is used.\n"
        "'%1 COMMAND --help' describes one command; '%1 --version' tells the version.\n").arg(program);
    return usage;
}

// Text for standard output. A file name that is not UTF-8 goes out as its bytes, which the
// stream would replace.
void writeSlice(QTextStream& out, QStringView text)
{
    if (std::none_of(text.begin(), text.end(), [](QChar c) { return PathByteOf(c.unicode()) >= 0; })) {
        out << text;
        return;
    }
    FlushOutput(out);
    const QByteArray bytes = NativePath(text);
    if (out.device()->write(bytes) != bytes.size())
        throw EInOutError(QStringLiteral("Cannot write the output: %1").arg(out.device()->errorString()));
}

// A message on one line, control characters shown escaped: texts from a hive may hold any.
QString oneLine(const QString& message)
{
    return TerminalText(message.trimmed());
}

// The help of one command, its usage line naming the command instead of the program's path.
QString commandHelp(const QCommandLineParser& parser, const CliContext& context)
{
    const QString usage = QStringLiteral("Usage: ");
    const QString generated = usage + QCoreApplication::arguments().value(0);
    QString help = parser.helpText();
    if (help.startsWith(generated))
        help.replace(0, generated.size(), usage + context.arguments.first());
    return help;
}

int runCommand(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    const QString program = QStringLiteral("parvelle-cli");
    const QString name = arguments.value(1);
    if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
        out << programUsage(program);
        return 0;
    }
    if (name == QLatin1String("--version") || name == QLatin1String("-v")) {
        out << program << ' ' << QCoreApplication::applicationVersion() << '\n';
        return 0;
    }
    const std::vector<CliCommand> commands = CliCommands();
    const auto command = std::find_if(commands.begin(), commands.end(), [&](const CliCommand& c) { return c.name == name; });
    if (command == commands.end()) {
        err << (name.isEmpty() ? QStringLiteral("%1: no command given").arg(program)
                               : QStringLiteral("%1: unknown command '%2'").arg(program, oneLine(name)))
            << "\n" << programUsage(program);
        return kExitUsage;
    }
    CliContext context{QStringList{program + QLatin1Char(' ') + name} + arguments.mid(2), out, err};
    try {
        return command->run(context);
    } catch (const EUsageError& e) {
        err << program << ' ' << name << ": " << oneLine(e.message()) << "\n"
            << "Try '" << program << ' ' << name << " --help'.\n";
        return kExitUsage;
    }
}

} // namespace

void FlushOutput(QTextStream& out)
{
    out.flush();
    if (out.status() == QTextStream::Ok)
        return;
    const QString reason = out.device() ? out.device()->errorString() : QString();
    throw EInOutError(QStringLiteral("Cannot write the output: %1").arg(reason.isEmpty() ? QStringLiteral("write failed") : reason));
}

bool IsTerminal(const QTextStream& stream)
{
    const auto* file = qobject_cast<const QFileDevice*>(stream.device());
    return file && file->handle() >= 0 && ::isatty(file->handle());
}

CliCommandRegistration::CliCommandRegistration(CliCommand command)
{
    commandTable().push_back(std::move(command));
}

std::vector<CliCommand> CliCommands()
{
    std::vector<CliCommand> commands = commandTable();
    std::sort(commands.begin(), commands.end(), [](const CliCommand& a, const CliCommand& b) { return a.name < b.name; });
    return commands;
}

bool ParseCliArguments(QCommandLineParser& parser, CliContext& context, const QString& description)
{
    parser.setApplicationDescription(description);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
    parser.addOption(help);
    ParseCommandLine(parser, context.arguments);
    if (!parser.isSet(help))
        return false;
    context.out << commandHelp(parser, context);
    return true;
}

void WriteOutput(CliContext& context, QStringView text)
{
    constexpr qsizetype kSlice = 1 << 16;
    while (!text.isEmpty()) {
        qsizetype size = std::min(kSlice, text.size());
        if (size < text.size() && text.at(size - 1).isHighSurrogate())
            --size;
        writeSlice(context.out, text.first(size));
        text = text.sliced(size);
        if (context.out.status() != QTextStream::Ok)
            FlushOutput(context.out);
    }
}

void WriteLine(CliContext& context, const QString& line)
{
    if (IsTerminal(context.out))
        context.out << TerminalText(line) << '\n';
    else
        WriteOutput(context, line + u'\n');
}

void WriteMessage(CliContext& context, const QString& message)
{
    context.err << oneLine(message) << '\n';
}

void PrintRegistryNotes(CliContext& context, const Machine& machine)
{
    for (const QString& note : machine.notes())
        WriteMessage(context, QStringLiteral("parvelle-cli: note: ") + note);
}

int RunCli(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    try {
        const int status = runCommand(arguments, out, err);
        FlushOutput(out);
        return status;
    } catch (const std::bad_alloc&) {
        err << "parvelle-cli: " << OutOfMemoryMessage() << "\n";
        return kExitFailure;
    } catch (const std::exception& e) {
        err << "parvelle-cli: " << oneLine(PathFromNative(e.what())) << "\n";
        return kExitFailure;
    }
}

} // namespace parvelle
