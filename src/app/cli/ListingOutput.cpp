#include "ListingOutput.h"

#include "app/common/RegistryOptions.h"
#include "cache/OSInfo.h"
#include "core/NativePath.h"

#include <QDir>
#include <algorithm>

namespace parvelle {

namespace {

// How the hives were opened (their transaction logs).
QStringList openingNotes(const Machine& machine)
{
    QStringList messages;
    for (const QString& note : machine.notes())
        messages.append(QStringLiteral("note: ") + note);
    return messages;
}

QStringList listingMessages(const Machine& machine, const CacheListing& listing)
{
    QStringList messages = openingNotes(machine);
    if (listing.versionUnknown)
        messages.append(QStringLiteral("note: without a SOFTWARE hive the Windows version is unknown; "
                                       "the cache of HKEY_CURRENT_USER is listed"));
    if (!listing.cacheFound)
        messages.append(QStringLiteral("note: this registry has no key ") + RootName(listing.root) + kArpCachePath);
    for (const QString& damage : machine.warnings())
        messages.append(QStringLiteral("warning: ") + damage);
    for (const QString& entry : listing.unreadable)
        messages.append(QStringLiteral("warning: entry listed without its record, ") + entry);
    if (!listing.uninstallDamage.isEmpty())
        messages.append(QStringLiteral("warning: In Add/Remove is Unknown for programs not found, the "
                                       "Uninstall key being damaged: ") + listing.uninstallDamage);
    return messages;
}

// Streams the rows through a writer with add() and finish().
template <class Writer>
CacheListing streamThrough(Machine& machine, Writer& writer, size_t& rows)
{
    CacheListing listing = StreamCache(machine, [&](CacheRow&& row) { writer.add(row); ++rows; }, luIso);
    writer.finish();
    return listing;
}

const Machine::Mount* mountAt(const Machine& machine, HKEY root, bool atRoot)
{
    const auto& mounts = machine.mounts();
    const auto found = std::find_if(mounts.begin(), mounts.end(), [&](const Machine::Mount& m) {
        return m.root == root && (atRoot ? m.path.isEmpty() : m.path.compare(QStringLiteral("SOFTWARE"), Qt::CaseInsensitive) == 0);
    });
    return found == mounts.end() ? nullptr : &*found;
}

} // namespace

ListingFormat ListingFormatNamed(const QString& name)
{
    static const QStringList names{QStringLiteral("table"), QStringLiteral("csv"), QStringLiteral("json"), QStringLiteral("jsonl")};
    const qsizetype index = names.indexOf(name);
    if (index < 0)
        throw EUsageError(QStringLiteral("unknown format '%1' (table, csv, json or jsonl)").arg(name));
    return ListingFormat(index);
}

ListedSource WriteListing(Machine& machine, ListingFormat format, const RowSource* source, const TextWrite& write)
{
    ListedSource listed;
    CacheListing listing;
    switch (format) {
    case lfTable:
        listing = ListCache(machine, {}, luLocale);
        listed.rows = listing.rows.size();
        write(ListingAsTable(listing, source));
        break;
    case lfCsv: {
        CsvWriter csv(luIso, write, source);
        listing = streamThrough(machine, csv, listed.rows);
        break;
    }
    case lfJson:
    case lfJsonl: {
        const JsonShape shape = format == lfJsonl ? jsLines : source ? jsSource : jsDocument;
        JsonWriter json(shape, luIso, CacheOSKind(machine), source, write);
        listing = streamThrough(machine, json, listed.rows);
        break;
    }
    case lfSources:
        write(source->source + QLatin1Char('\t') + source->user + QLatin1Char('\n'));
        return {0, openingNotes(machine)};
    }
    listed.messages = listingMessages(machine, listing);
    return listed;
}

RowSource SourceOfRegistry(Machine& machine, const QString& folder)
{
    const bool userCache = CacheRoot(CacheOSKind(machine)) == HKEY_CURRENT_USER;
    RowSource source;
    source.source = folder.isEmpty() ? QString() : QDir::cleanPath(folder);
    const Machine::Mount* hive = mountAt(machine, userCache ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, userCache);
    // The hive named the way the folder was: relative to where it was given when it was.
    if (hive)
        source.hive = folder.isEmpty() ? hive->store->describe()
                                       : QDir::cleanPath(folder + QLatin1Char('/') + QDir(AbsolutePath(folder)).relativeFilePath(hive->store->describe()));
    if (userCache && hive) {
        const auto& mounts = machine.mounts();
        const auto user = std::find_if(mounts.begin(), mounts.end(), [](const Machine::Mount& m) { return m.root == HKEY_USERS; });
        if (user != mounts.end())
            source.user = user->path;
    }
    return source;
}

} // namespace parvelle
