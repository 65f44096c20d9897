// parvelle-cli list: the cache of the chosen registry, or of every installation of a
// collection, as a table, CSV, JSON or JSON Lines.
#include "CliCommands.h"
#include "CollectionListing.h"
#include "ListingOutput.h"
#include "app/common/RegistryOptions.h"

#include <QThread>

namespace parvelle {

namespace {

constexpr int kMaxJobs = 1024;

int jobCount(const QCommandLineParser& parser, const QCommandLineOption& jobs)
{
    if (!parser.isSet(jobs))
        return QThread::idealThreadCount();
    bool number = false;
    const int count = parser.value(jobs).toInt(&number);
    if (!number || count < 1 || count > kMaxJobs)
        throw EUsageError(QStringLiteral("-j needs a number from 1 to %1").arg(kMaxJobs));
    return count;
}

int listOneRegistry(CliContext& context, RegistryOptions options, ListingFormat format)
{
    options.readOnly = true;   // a listing writes nothing, beside the hives or elsewhere
    const std::unique_ptr<Machine> machine = OpenRegistry(options);
    // JSON Lines name the source on every row, also when it is the only one.
    const std::optional<RowSource> source = format == lfJsonl ? std::optional(SourceOfRegistry(*machine, options.windows))
                                                              : std::nullopt;
    const ListedSource listed = WriteListing(*machine, format, source ? &*source : nullptr,
                                             [&context](QStringView piece) { WriteOutput(context, piece); });
    for (const QString& message : listed.messages)
        WriteMessage(context, QStringLiteral("parvelle-cli: ") + message);
    return 0;
}

int RunList(CliContext& context)
{
    QCommandLineParser parser;
    const QCommandLineOption format(QStringLiteral("format"), QStringLiteral("table (default), csv, json or jsonl (JSON Lines)."),
                                    QStringLiteral("FORMAT"), QStringLiteral("table"));
    const QCommandLineOption collection(QStringLiteral("collection"),
                                        QStringLiteral("Every Windows installation below ROOT, one folder per machine; "
                                                       "every hive is only read."),
                                        QStringLiteral("ROOT"));
    const QCommandLineOption jobs(QStringList{QStringLiteral("j"), QStringLiteral("jobs")},
                                  QStringLiteral("Installations listed at once with --collection (default: the number of cores)."),
                                  QStringLiteral("N"));
    const QCommandLineOption sources(QStringLiteral("sources"),
                                     QStringLiteral("With --collection: each source on a line (its folder, a tab, the profile "
                                                    "where the cache is a user's) instead of its entries."));
    parser.addOptions({format, collection, jobs, sources});
    AddRegistryOptions(parser);
    if (ParseCliArguments(parser, context, QStringLiteral("Lists the ARPCache entries of the registry.")))
        return 0;
    if (!parser.positionalArguments().isEmpty())
        throw EUsageError(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
    if (parser.isSet(sources) && parser.isSet(format))
        throw EUsageError(QStringLiteral("--sources takes no --format"));
    const ListingFormat kind = parser.isSet(sources) ? lfSources : ListingFormatNamed(parser.value(format));
    const RegistryOptions options = RegistryOptionsFrom(parser);
    if (!parser.isSet(collection)) {
        if (parser.isSet(jobs) || parser.isSet(sources))
            throw EUsageError(QStringLiteral("-j and --sources need --collection"));
        return listOneRegistry(context, options, kind);
    }
    if (options.hasSource() || !options.undoDir.isEmpty())
        throw EUsageError(QStringLiteral("--collection takes no hive, --windows or --undo-dir"));
    return ListCollection(context, parser.value(collection), kind, jobCount(parser, jobs));
}

const CliCommandRegistration kList{{QStringLiteral("list"),
                                    QStringLiteral("list [--format table|csv|json|jsonl] [--collection ROOT [-j N] [--sources]]"),
                                    QStringLiteral("Show the ARPCache entries with their decoded records."), RunList}};

} // namespace

} // namespace parvelle
