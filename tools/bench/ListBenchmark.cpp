// Lists the cache of a generated SOFTWARE hive with 20,000 entries, opening the hive each
// time: in this process (as the window does), with the CSV text (as list --format csv
// does), and as a whole parvelle-cli run.
#include "cache/ListingFormats.h"
#include "cache/CacheListing.h"
#include "demo/DemoRegistry.h"
#include "registry/RegistrySources.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

constexpr int kEntries = 20000;

const QString& bigHive()
{
    static QTemporaryDir dir;
    static const QString software = parvelle::MakeBigCacheHive(dir.path(), kEntries);
    return software;
}

// The window lists with locale dates; CSV and JSON runs with ISO dates only.
parvelle::CacheListing openAndList(parvelle::LastUsedStyle lastUsedColumn = parvelle::luLocale)
{
    parvelle::RegistrySources sources;
    sources.software = bigHive();
    sources.readOnly = true;
    parvelle::Machine machine = parvelle::OpenRegistrySources(sources);
    return parvelle::ListCache(machine, {}, lastUsedColumn);
}

void BM_OpenAndList(benchmark::State& state)
{
    bigHive();
    for (auto _ : state) {
        const parvelle::CacheListing listing = openAndList();
        if (listing.Rows.size() != size_t(kEntries))
            state.SkipWithError("wrong row count");
        benchmark::DoNotOptimize(listing.Rows.data());
    }
}

void BM_OpenListAndCsv(benchmark::State& state)
{
    bigHive();
    for (auto _ : state) {
        const QString csv = parvelle::ListingAsCsv(openAndList(parvelle::luIso));
        benchmark::DoNotOptimize(csv.constData());
    }
}

void BM_CliListCsv(benchmark::State& state)
{
    bigHive();
    for (auto _ : state) {
        QProcess cli;
        cli.start(QStringLiteral(PARVELLE_BIN_DIR "/parvelle-cli"),
                  {"list", "--format", "csv", "--read-only", "--software", bigHive()});
        if (!cli.waitForFinished(60000) || cli.exitCode() != 0)
            state.SkipWithError("parvelle-cli failed");
        benchmark::DoNotOptimize(cli.readAllStandardOutput().size());
    }
}

BENCHMARK(BM_OpenAndList)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_OpenListAndCsv)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_CliListCsv)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
