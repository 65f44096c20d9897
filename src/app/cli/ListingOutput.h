#pragma once
// One registry's cache listing in the text form asked for, written as it is read.
#include "cache/ListingFormats.h"
#include "registry/Machine.h"

#include <QString>
#include <QStringList>
#include <functional>

namespace parvelle {

// lfSources: a collection's sources, one a line (the installation folder, a tab, the profile
// where the cache is a user's), not their entries.
enum ListingFormat { lfTable, lfCsv, lfJson, lfJsonl, lfSources };

// "table", "csv", "json" or "jsonl"; throws EUsageError for any other name.
ListingFormat ListingFormatNamed(const QString& name);

struct ListedSource {
    size_t rows = 0;
    QStringList messages;   // "note: ..." and "warning: ..." lines for standard error
};

using TextWrite = std::function<void(QStringView)>;

// Lists the cache of `machine` and hands the text to `write` as it is made. With a source
// (required by JSON Lines) every row names it, JSON is that source's element of a
// document of several sources, and CSV rows come without the header.
ListedSource WriteListing(Machine& machine, ListingFormat format, const RowSource* source, const TextWrite& write);

// The source of a registry's cache: `folder` (the installation as given, or empty), the
// hive that holds the cache (below the folder as given) and, when it is a user's, the
// profile.
RowSource SourceOfRegistry(Machine& machine, const QString& folder);

} // namespace parvelle
