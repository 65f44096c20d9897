// parvelle-cli list: the cache of the chosen registry as a table, CSV or JSON.
#include "CliCommands.h"
#include "app/common/ListingFormats.h"
#include "app/common/RegistryOptions.h"
#include "cache/OSInfo.h"

#include <algorithm>

namespace parvelle {

namespace {

// Writes a long text in slices (never splitting a surrogate pair): the stream converts
// and writes each one, instead of first copying the whole text into its buffer.
void writeInSlices(QTextStream& out, QStringView text)
{
    constexpr qsizetype kSlice = 1 << 16;
    while (!text.isEmpty()) {
        qsizetype size = std::min(kSlice, text.size());
        if (size < text.size() && text.at(size - 1).isHighSurrogate())
            --size;
        out << text.first(size);
        text = text.sliced(size);
    }
}

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
    // CSV and JSON show Last Used in ISO form only: the locale text is left unmade.
    const CacheListing listing = ListCache(*machine, {}, kind == QLatin1String("table") ? luLocale : luIso);
    if (!listing.CacheFound)
        context.err << "parvelle-cli: note: this registry has no key " << RootName(CacheRoot(listing.OSKind))
                    << kArpCachePath << '\n';
    for (const QString& entry : listing.Unreadable)
        context.err << "parvelle-cli: warning: entry not listed, " << entry << '\n';
    if (kind == QLatin1String("csv"))
        WriteListingAsCsv(listing, [&context](QStringView piece) { context.out << piece; });
    else if (kind == QLatin1String("json"))
        writeInSlices(context.out, QString::fromUtf8(ListingAsJson(listing)));
    else
        writeInSlices(context.out, ListingAsTable(listing));
    return 0;
}

const CliCommandRegistration kList{{QStringLiteral("list"), QStringLiteral("list [--format table|csv|json]"),
                                    QStringLiteral("Show the ARPCache entries with their decoded records."), RunList}};

} // namespace

} // namespace parvelle
