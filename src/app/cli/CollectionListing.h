#pragma once
// parvelle-cli list --collection: the caches of every Windows installation below a folder.
#include "CliCommands.h"
#include "ListingOutput.h"

namespace parvelle {

// Lists every installation found below `root` (every profile's cache where the cache is
// per user), `jobs` installations at once, in the order of their folders whatever `jobs`
// is; every hive is only read. Returns the exit status: 1 when a source failed or a
// folder could not be searched, after a summary line.
int ListCollection(CliContext& context, const QString& root, ListingFormat format, int jobs);

} // namespace parvelle
