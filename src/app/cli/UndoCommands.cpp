// parvelle-cli remove / undo list / undo show / restore / import.
#include "CliCommands.h"
#include "app/common/RegistryOptions.h"
#include "cache/CacheListing.h"
#include "undo/RegFile.h"
#include "undo/UndoContext.h"


namespace parvelle {

namespace {

// The registry and undo folder chosen by the options, with the OS kind of that registry.
struct OpenedRegistry {
    std::unique_ptr<Machine> machine;
    std::unique_ptr<TUndoContext> undo;
};

OpenedRegistry OpenWithUndo(const QCommandLineParser& parser, CliContext& context)
{
    const RegistryOptions options = RegistryOptionsFrom(parser);
    OpenedRegistry opened;
    opened.machine = OpenRegistry(options);
    PrintRegistryNotes(context, *opened.machine);
    const uint8_t osKind = CacheOSKind(*opened.machine);
    opened.undo = std::make_unique<TUndoContext>(*opened.machine, osKind, UndoFolder(options));
    return opened;
}

// Parses the command's arguments; false when help was printed.
bool Parse(QCommandLineParser& parser, CliContext& context, const QString& description,
           const QString& positional, const QString& positionalHelp)
{
    AddRegistryOptions(parser);
    parser.addPositionalArgument(positional, positionalHelp);
    return !ParseCliArguments(parser, context, description);
}

QStringList RequirePositionals(const QCommandLineParser& parser, qsizetype count, const QString& what)
{
    const QStringList positionals = parser.positionalArguments();
    if (positionals.size() < count)
        throw EUsageError(QStringLiteral("missing %1").arg(what));
    return positionals;
}

void RequireExactly(const QStringList& positionals, qsizetype count)
{
    if (positionals.size() > count)
        throw EUsageError(QStringLiteral("unexpected argument '%1'").arg(positionals[count]));
}

// A bare name is a file of the undo folder; anything with a folder part is a path.
QString UndoFileArgument(const TUndoFolder& folder, const QString& argument)
{
    if (argument.contains(u'/'))
        return argument;
    return folder.PathOf(argument);
}

int RunRemove(CliContext& context)
{
    QCommandLineParser parser;
    if (!Parse(parser, context, QStringLiteral("Removes cache entries, recording them in an undo file."),
               QStringLiteral("NAME..."), QStringLiteral("Key names of the cache entries.")))
        return 0;
    const QStringList names = RequirePositionals(parser, 1, QStringLiteral("the name of a cache entry"));
    OpenedRegistry opened = OpenWithUndo(parser, context);
    const QStringList missing = opened.undo->RemoveCacheEntries(names);
    for (const QString& name : names) {
        if (missing.contains(name))
            WriteMessage(context, QStringLiteral("No cache entry named '%1'").arg(name));
        else
            WriteLine(context, QStringLiteral("Removed '%1'; undo file %2")
                                   .arg(name, opened.undo->UndoFilePath()));
    }
    return missing.isEmpty() ? 0 : 1;
}

int RunUndo(CliContext& context)
{
    QCommandLineParser parser;
    if (!Parse(parser, context, QStringLiteral("Lists the undo files, or the entries of one."),
               QStringLiteral("list | show FILE"),
               QStringLiteral("'list': the undo files, newest last; 'show FILE': its entries.")))
        return 0;
    const QStringList positionals = RequirePositionals(parser, 1, QStringLiteral("'list' or 'show FILE'"));
    RegistryOptions options = RegistryOptionsFrom(parser);
    options.readOnly = true;   // reading undo files creates no folder
    const TUndoFolder folder(UndoFolder(options));
    if (positionals[0] == u"list") {
        RequireExactly(positionals, 1);
        for (const QString& name : folder.List())
            WriteLine(context, name);
        return 0;
    }
    if (positionals[0] != u"show")
        throw EUsageError(QStringLiteral("unknown undo command '%1' (list or show)").arg(positionals[0]));
    RequirePositionals(parser, 2, QStringLiteral("the undo file to show"));
    RequireExactly(positionals, 2);
    for (const QString& entry : ListUndoEntries(ReadRegFile(UndoFileArgument(folder, positionals[1]))))
        WriteLine(context, entry);
    return 0;
}

int RunRestore(CliContext& context)
{
    QCommandLineParser parser;
    const QCommandLineOption entryOption(QStringLiteral("entry"),
                                         QStringLiteral("An entry to restore (repeatable); all when none is given."),
                                         QStringLiteral("TEXT"));
    parser.addOption(entryOption);
    if (!Parse(parser, context, QStringLiteral("Writes the values of an undo file's entries back."),
               QStringLiteral("FILE"), QStringLiteral("An undo file: a name in the undo folder, or a path.")))
        return 0;
    const QStringList positionals = RequirePositionals(parser, 1, QStringLiteral("the undo file"));
    RequireExactly(positionals, 1);
    OpenedRegistry opened = OpenWithUndo(parser, context);
    const QString path = UndoFileArgument(opened.undo->UndoFolder(), positionals[0]);
    QStringList entries = parser.values(entryOption);
    if (entries.isEmpty())
        entries = ListUndoEntries(ReadRegFile(path));
    if (entries.isEmpty()) {
        context.out << QStringLiteral("The undo file has no entries; nothing was restored\n");
        return 0;
    }
    const int written = opened.undo->RestoreChecked(path, entries);
    context.out << QStringLiteral("Selected Keys Restored (%1 written)\n").arg(written);
    return 0;
}

int RunImport(CliContext& context)
{
    QCommandLineParser parser;
    if (!Parse(parser, context, QStringLiteral("Applies a whole .reg file to the registry, as the registry editor imports it."),
               QStringLiteral("FILE"), QStringLiteral("A .reg file: a name in the undo folder, or a path.")))
        return 0;
    const QStringList positionals = RequirePositionals(parser, 1, QStringLiteral("the .reg file"));
    RequireExactly(positionals, 1);
    OpenedRegistry opened = OpenWithUndo(parser, context);
    const QString path = UndoFileArgument(opened.undo->UndoFolder(), positionals[0]);
    const int applied = opened.undo->ImportFile(path);
    WriteLine(context, QStringLiteral("Imported %1 statements from %2").arg(applied).arg(path));
    if (!opened.undo->ImportUndoFile().isEmpty())
        WriteLine(context, QStringLiteral("What it deleted or overwrote is recorded in %1").arg(opened.undo->ImportUndoFile()));
    return 0;
}

const CliCommandRegistration kRemove{{QStringLiteral("remove"), QStringLiteral("remove NAME..."),
                                      QStringLiteral("Remove cache entries, recording them in an undo file."), RunRemove}};
const CliCommandRegistration kUndo{{QStringLiteral("undo"), QStringLiteral("undo list | undo show FILE"),
                                    QStringLiteral("List the undo files, or the entries of one."), RunUndo}};
const CliCommandRegistration kRestore{{QStringLiteral("restore"), QStringLiteral("restore FILE [--entry TEXT]..."),
                                       QStringLiteral("Restore the entries of an undo file (all when none given)."), RunRestore}};
const CliCommandRegistration kImport{{QStringLiteral("import"), QStringLiteral("import FILE"),
                                      QStringLiteral("Apply a whole .reg file to the registry."), RunImport}};

} // namespace

} // namespace parvelle
