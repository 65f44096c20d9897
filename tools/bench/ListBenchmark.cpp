// Lists the cache of a generated SOFTWARE hive with 20,000 entries, opening the hive each
// time: in this process (as the window does), with the CSV text (as list --format csv
// does), with the JSON text, with the table text (as list does), and as whole parvelle-cli
// runs. Then whole parvelle-cli runs on a hive of about 100 MiB, each beside a
// parvelle-cli --help, with the peak memory of each. Last, collections of generated
// installations listed by one list --collection -j 2 and by a shell loop of single runs.
#include "cache/ListingFormats.h"
#include "cache/CacheListing.h"
#include "demo/DemoRegistry.h"
#include "registry/RegistrySources.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <vector>


namespace {

constexpr int kEntries = 20000;

const QString& bigHive()
{
    static QTemporaryDir dir;
    static const QString software = parvelle::MakeBigCacheHive(dir.path(), kEntries);
    return software;
}

parvelle::Machine openReadOnly(const QString& software)
{
    parvelle::RegistrySources sources;
    sources.software = software;
    sources.readOnly = true;
    return parvelle::OpenRegistrySources(sources);
}

// The window lists with locale dates; CSV and JSON runs with ISO dates only.
parvelle::CacheListing openAndList(parvelle::LastUsedStyle lastUsedColumn = parvelle::luLocale)
{
    parvelle::Machine machine = openReadOnly(bigHive());
    return parvelle::ListCache(machine, {}, lastUsedColumn);
}

// As list --format csv: each row written as it is read; the characters written.
qsizetype streamCsv(parvelle::Machine& machine)
{
    qsizetype written = 0;
    parvelle::CsvWriter csv(parvelle::luIso, [&written](QStringView piece) { written += piece.size(); });
    parvelle::StreamCache(machine, [&csv](parvelle::CacheRow&& row) { csv.add(row); }, parvelle::luIso);
    csv.finish();
    return written;
}

// As list --format json: each entry written as it is read; the characters written.
qsizetype streamJson(parvelle::Machine& machine)
{
    qsizetype written = 0;
    parvelle::JsonWriter json(parvelle::jsDocument, parvelle::luIso, parvelle::CacheOSKind(machine), nullptr,
                              [&written](QStringView piece) { written += piece.size(); });
    parvelle::StreamCache(machine, [&json](parvelle::CacheRow&& row) { json.add(row); }, parvelle::luIso);
    json.finish();
    return written;
}

void BM_OpenAndList(benchmark::State& state)
{
    bigHive();
    for (auto _ : state) {
        const parvelle::CacheListing listing = openAndList();
        if (listing.rows.size() != size_t(kEntries))
            state.SkipWithError("wrong row count");
        benchmark::DoNotOptimize(listing.rows.data());
    }
}

void BM_OpenListAndCsv(benchmark::State& state)
{
    bigHive();
    for (auto _ : state) {
        parvelle::Machine machine = openReadOnly(bigHive());
        benchmark::DoNotOptimize(streamCsv(machine));
    }
}

void BM_OpenListAndJson(benchmark::State& state)
{
    bigHive();
    for (auto _ : state) {
        parvelle::Machine machine = openReadOnly(bigHive());
        benchmark::DoNotOptimize(streamJson(machine));
    }
}

// A SOFTWARE hive of about 100 MiB with 5,000 cache entries, as real ones hold much besides
// the cache: a whole parvelle-cli list compared with parvelle-cli --help.
constexpr int kLargeHiveEntries = 5000;
constexpr qint64 kLargeHiveFiller = qint64(64) << 20;

const QString& largeHive()
{
    static QTemporaryDir dir;
    static const QString software = parvelle::MakeBigCacheHive(dir.path(), kLargeHiveEntries, kLargeHiveFiller);
    return software;
}

// One parvelle-cli process, its output thrown away; false when it fails.
bool runCli(const QStringList& arguments)
{
    QProcess cli;
    cli.setStandardOutputFile(QProcess::nullDevice());
    cli.start(QStringLiteral(PARVELLE_BIN_DIR "/parvelle-cli"), arguments);
    return cli.waitForFinished(60000) && cli.exitStatus() == QProcess::NormalExit && cli.exitCode() == 0;
}

// The peak resident memory (mapped file pages included) of one parvelle-cli process, in
// MiB, through time(1): a child's peak starts at its parent's size, and time is small.
double peakMiB(const QStringList& arguments)
{
    QTemporaryDir dir;
    const QString report = dir.filePath(QStringLiteral("peak"));
    QProcess time;
    time.setStandardOutputFile(QProcess::nullDevice());
    time.start(QStringLiteral("/usr/bin/time"),
               QStringList{"-f", "%M", "-o", report, PARVELLE_BIN_DIR "/parvelle-cli"} + arguments);
    if (!time.waitForFinished(60000) || time.exitCode() != 0)
        return -1;
    QFile file(report);
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toDouble() / 1024 : -1;
}

void timeCli(benchmark::State& state, const QStringList& arguments)
{
    for (auto _ : state) {
        if (!runCli(arguments))
            state.SkipWithError("parvelle-cli failed");
    }
    state.counters["peak_MiB"] = peakMiB(arguments);
}

// Resident pages of this process's mapping of `path`: the pages a reading touched.
double mappedMiB(const QString& path)
{
    QFile smaps(QStringLiteral("/proc/self/smaps"));
    if (!smaps.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    const QByteArray target = QFile::encodeName(QFileInfo(path).canonicalFilePath());
    bool inMapping = false;
    double kiB = 0;
    for (const QByteArray& line : smaps.readAll().split('\n')) {   // a /proc file has no size: read to its end
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (!fields.first().endsWith(':'))   // a mapping: addresses, permissions, offset, device, inode, path
            inMapping = fields.size() >= 6 && fields.last() == target;
        else if (inMapping && fields.first() == "Rss:")
            kiB += fields.value(1).toDouble();
    }
    return kiB / 1024;
}

// The table escapes, measures and cuts every cell for the terminal.
void BM_OpenListAndTable(benchmark::State& state)
{
    bigHive();
    for (auto _ : state) {
        const QString table = parvelle::ListingAsTable(openAndList());
        benchmark::DoNotOptimize(table.constData());
    }
}

void BM_CliListCsv(benchmark::State& state)
{
    timeCli(state, {"list", "--format", "csv", "--read-only", "--software", bigHive()});
}

void BM_CliListJson(benchmark::State& state)
{
    timeCli(state, {"list", "--format", "json", "--read-only", "--software", bigHive()});
}

void BM_CliHelp(benchmark::State& state)
{
    timeCli(state, {"--help"});
}

double milliseconds(const QStringList& arguments)
{
    QElapsedTimer timer;
    timer.start();
    return runCli(arguments) ? double(timer.nsecsElapsed()) / 1e6 : -1;
}

double median(std::vector<double> values)
{
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

// Each listing is timed right after a --help, so that both meet the machine in the same
// state (on a shared virtual machine it drifts by milliseconds within a minute); the time
// shown is the listing's, over_help_ms the difference of the two medians. The pages of the
// hive the listing touched are measured by the same listing in this process; the whole
// process's peak less those is what the listing itself takes.
void BM_CliListCsvLargeHive(benchmark::State& state)
{
    const QString hive = largeHive();
    const QStringList list{"list", "--format", "csv", "--read-only", "--software", hive};
    std::vector<double> helpTimes;
    std::vector<double> listTimes;
    for (auto _ : state) {
        helpTimes.push_back(milliseconds({"--help"}));
        listTimes.push_back(milliseconds(list));
        if (helpTimes.back() < 0 || listTimes.back() < 0)
            state.SkipWithError("parvelle-cli failed");
        state.SetIterationTime(listTimes.back() / 1e3);
    }
    state.counters["hive_MiB"] = double(QFileInfo(hive).size()) / (1 << 20);
    state.counters["help_ms"] = median(helpTimes);
    state.counters["over_help_ms"] = median(listTimes) - median(helpTimes);
    state.counters["peak_MiB"] = peakMiB(list);
    parvelle::Machine machine = openReadOnly(hive);
    benchmark::DoNotOptimize(streamCsv(machine));
    state.counters["touched_hive_MiB"] = mappedMiB(hive);
}

// A collection of `count` installations host0000/C, host0001/C, ..., each a copy of one
// generated SOFTWARE hive with `entries` cache entries and `otherBytes` besides.
QString makeCollection(const QString& root, int count, int entries, qint64 otherBytes)
{
    const QString software = parvelle::MakeBigCacheHive(root + QStringLiteral("/model"), entries, otherBytes);
    for (int i = 0; i < count; ++i) {
        const QString config = root + QStringLiteral("/collection/host%1/C/Windows/System32/config").arg(i, 4, 10, QLatin1Char('0'));
        if (!QDir().mkpath(config) || !QFile::copy(software, config + QStringLiteral("/SOFTWARE")))
            return {};
    }
    QFile::remove(software);
    return root + QStringLiteral("/collection");
}

// Times list --collection -j 2 against a shell loop of one list --windows run per
// installation (both CSV, output thrown away), the loop once, the collection at each
// iteration; then the collection once with -j 1, and the peak memory of its run.
void timeCollection(benchmark::State& state, int count, int entries, qint64 otherBytes)
{
    QTemporaryDir dir;
    const QString root = makeCollection(dir.path(), count, entries, otherBytes);
    if (root.isEmpty()) {
        state.SkipWithError("cannot write the collection");
        return;
    }
    const QStringList collection{"list", "--format", "csv", "--collection", root, "-j", "2"};
    QElapsedTimer timer;
    timer.start();
    QProcess loop;
    loop.setStandardOutputFile(QProcess::nullDevice());
    loop.start(QStringLiteral("sh"), {"-c", "for d in \"$2\"/*/C; do \"$1\" list --format csv --windows \"$d\" || exit 1; done",
                                      "sh", PARVELLE_BIN_DIR "/parvelle-cli", root});
    if (!loop.waitForFinished(-1) || loop.exitCode() != 0)
        state.SkipWithError("the shell loop failed");
    const double loopMs = double(timer.nsecsElapsed()) / 1e6;
    std::vector<double> times;
    for (auto _ : state) {
        times.push_back(milliseconds(collection));
        if (times.back() < 0)
            state.SkipWithError("parvelle-cli failed");
        state.SetIterationTime(times.back() / 1e3);
    }
    QStringList oneAtATime = collection;
    oneAtATime.last() = QStringLiteral("1");
    state.counters["installations"] = count;
    state.counters["j1_ms"] = milliseconds(oneAtATime);
    state.counters["shell_loop_ms"] = loopMs;
    state.counters["speedup"] = loopMs / median(times);
    state.counters["peak_MiB"] = peakMiB(collection);
}

// A few dozen installations with 2,000 cache entries and 16 MiB besides in each SOFTWARE hive.
void BM_CollectionFewDozen(benchmark::State& state)
{
    timeCollection(state, 36, 2000, qint64(16) << 20);
}

// 1,000 installations with 200 cache entries each.
void BM_CollectionThousand(benchmark::State& state)
{
    timeCollection(state, 1000, 200, 0);
}

BENCHMARK(BM_OpenAndList)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_OpenListAndCsv)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_OpenListAndJson)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_OpenListAndTable)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_CliListCsv)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_CliListJson)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_CliHelp)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_CliListCsvLargeHive)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(4.0);
BENCHMARK(BM_CollectionFewDozen)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
BENCHMARK(BM_CollectionThousand)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
