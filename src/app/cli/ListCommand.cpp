// parvelle-cli list: the cache of the chosen registry as a table, CSV or JSON.
#include "CliCommands.h"
#include "cache/ListingFormats.h"
#include "app/common/RegistryOptions.h"
#include "cache/OSInfo.h"

namespace parvelle {

namespace {

int RunList(CliContext& context)
{
    QCommandLineParser parser;
    const QCommandLineOption format(QStringLiteral("format"), QStringLiteral("table (default), csv or json."),
                                    QStringLiteral("FORMAT"), QStringLiteral("table"));
    parser.addOption(format);
    AddRegistryOptions(parser);
    if (ParseCliArguments(parser, context, QStringLiteral("Lists the ARPCache entries of the registry.")))
        return 0;
    if (!parser.positionalArguments().isEmpty())
        throw EUsageError(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
    const QString kind = parser.value(format);
    if (kind != QLatin1String("table") && kind != QLatin1String("csv") && kind != QLatin1String("json"))
        throw EUsageError(QStringLiteral("unknown format '%1' (table, csv or json)").arg(kind));

    const std::unique_ptr<Machine> machine = OpenRegistry(RegistryOptionsFrom(parser));
    PrintRegistryNotes(context, *machine);
    const auto write = [&context](QStringView piece) { WriteOutput(context, piece); };
    // CSV and JSON show Last Used in ISO form only: the locale text is left unmade. CSV rows
    // are written as they are read, never held all at once.
    std::optional<CsvWriter> csv;
    if (kind == QLatin1String("csv"))
        csv.emplace(luIso, write);
    const CacheListing listing = csv ? StreamCache(*machine, [&csv](CacheRow&& row) { csv->add(row); }, luIso)
                                     : ListCache(*machine, {}, kind == QLatin1String("table") ? luLocale : luIso);
    if (listing.VersionUnknown)
        WriteMessage(context, QStringLiteral("parvelle-cli: note: without a SOFTWARE hive the Windows version is unknown; "
                                             "the cache of HKEY_CURRENT_USER is listed"));
    if (!listing.CacheFound)
        WriteMessage(context, QStringLiteral("parvelle-cli: note: this registry has no key ") + RootName(listing.Root) + kArpCachePath);
    for (const QString& damage : machine->warnings())
        WriteMessage(context, QStringLiteral("parvelle-cli: warning: ") + damage);
    for (const QString& entry : listing.Unreadable)
        WriteMessage(context, QStringLiteral("parvelle-cli: warning: damaged entry listed without its record, ") + entry);
    if (!listing.UninstallDamage.isEmpty())
        WriteMessage(context, QStringLiteral("parvelle-cli: warning: In Add/Remove is Unknown for programs not found, the "
                                             "Uninstall key being damaged: ") + listing.UninstallDamage);
    if (csv)
        csv->finish();
    else if (kind == QLatin1String("json"))
        write(QString::fromUtf8(ListingAsJson(listing)));
    else
        write(ListingAsTable(listing));
    return 0;
}

const CliCommandRegistration kList{{QStringLiteral("list"), QStringLiteral("list [--format table|csv|json]"),
                                    QStringLiteral("Show the ARPCache entries with their decoded records."), RunList}};

} // namespace

} // namespace parvelle
