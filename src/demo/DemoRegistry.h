#pragma once
// Deterministic registries for the demo, the tests and the benchmark.
#include "cache/CacheRecord.h"
#include "registry/Machine.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace parvelle {

struct DemoHives {
    QString software;   // <dir>/SOFTWARE
    QString ntUser;     // <dir>/NTUSER.DAT
};

// Writes SOFTWARE and NTUSER.DAT of an XP machine (version 5.1, the cache in SOFTWARE) or,
// with `vista`, of a Vista machine (6.0, the cache in NTUSER.DAT) into `dir` (created when
// missing). Refuses to replace an existing hive (EHiveError).
DemoHives MakeDemoRegistry(const QString& dir, bool vista);

// Writes the demo registry's keys and values into a machine whose HKEY_LOCAL_MACHINE\SOFTWARE
// and HKEY_CURRENT_USER are mounted (what MakeDemoRegistry writes into its hives).
void FillDemoRegistry(Machine& machine, bool vista);

// Writes <dir>/SOFTWARE of an XP machine with `entries` cache entries "Program 00000", ...
// (552-byte records; every other one also under Uninstall) and, as a real SOFTWARE hive
// holds much besides the cache, keys under Classes holding about `otherBytes` of data.
// Returns its path.
QString MakeBigCacheHive(const QString& dir, int entries, qint64 otherBytes = 0);

// A SlowInfoCache value of `size` bytes: the fields of `record` that fit, its FilePath as
// UTF-16LE (cut to the space left), zeros elsewhere. DecodedFields is not used.
QByteArray EncodeCacheRecord(const CacheRecord& record, int size);

// The FILETIME of a UTC date and time.
uint64_t FileTimeOfUtc(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

} // namespace parvelle
