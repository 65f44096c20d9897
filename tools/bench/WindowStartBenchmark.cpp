// Start-up of the window on SOFTWARE hives with 5,000 cache entries:
//   build/bin/parvelle-bench-window [RUNS]
// Each run is a whole `parvelle --software HIVE --screenshot FILE` process on the offscreen
// platform, timed from its start to its exit. It exits once the window is shown with its
// table filled, rendered and saved, so each figure is an upper bound on the time until a
// user sees the filled table. The hives are those of parvelle-bench: one holding only the
// cache and one of about 100 MiB, as a real SOFTWARE hive is. `parvelle --version` (the
// process without a window) is timed for comparison. Minimum and median of RUNS runs
// (default 11), after one run that warms the file cache.
#include "demo/DemoRegistry.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <vector>

namespace {

constexpr int kEntries = 5000;
constexpr qint64 kLargeHiveFiller = qint64(64) << 20;

// Seconds one whole parvelle process took; throws when it fails.
double timeRun(const QStringList& arguments)
{
    QProcess window;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    window.setProcessEnvironment(environment);
    window.setStandardOutputFile(QProcess::nullDevice());
    window.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    window.start(QStringLiteral(PARVELLE_BIN_DIR "/parvelle"), arguments);
    if (!window.waitForFinished(60000) || window.exitStatus() != QProcess::NormalExit || window.exitCode() != 0)
        throw std::runtime_error("parvelle " + arguments.join(QLatin1Char(' ')).toStdString() + " failed");
    return timer.nsecsElapsed() / 1e9;
}

struct Timing {
    double minimum;
    double median;
};

Timing timeRuns(const QStringList& arguments, int runs)
{
    timeRun(arguments);
    std::vector<double> seconds;
    for (int run = 0; run < runs; ++run)
        seconds.push_back(timeRun(arguments));
    std::sort(seconds.begin(), seconds.end());
    const size_t middle = seconds.size() / 2;
    const double median = seconds.size() % 2 ? seconds[middle] : (seconds[middle - 1] + seconds[middle]) / 2;
    return {seconds.front(), median};
}

// Times the window on `hive` and checks that the run saved a picture of the window.
void reportWindowOn(const QString& label, const QString& hive, const QString& screenshot, int runs)
{
    QFile::remove(screenshot);
    const Timing timing = timeRuns({QStringLiteral("--software"), hive, QStringLiteral("--screenshot"), screenshot}, runs);
    if (QImage(screenshot).isNull())
        throw std::runtime_error("parvelle saved no screenshot of " + hive.toStdString());
    std::printf("  %-46s %6.3f s  %6.3f s\n",
                qPrintable(QStringLiteral("%1 (%2 MiB)").arg(label).arg(QFileInfo(hive).size() / 1048576.0, 0, 'f', 1)),
                timing.minimum, timing.median);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int runs = app.arguments().size() > 1 ? app.arguments()[1].toInt() : 11;
    if (runs < 1) {
        std::fprintf(stderr, "usage: parvelle-bench-window [RUNS]\n");
        return 2;
    }
    try {
        QTemporaryDir dir;
        const QString cacheOnly = parvelle::MakeBigCacheHive(dir.filePath(QStringLiteral("small")), kEntries);
        const QString large = parvelle::MakeBigCacheHive(dir.filePath(QStringLiteral("large")), kEntries, kLargeHiveFiller);
        const QString screenshot = dir.filePath(QStringLiteral("window.png"));
        std::printf("parvelle, process start to exit, %d runs each:       minimum    median\n", runs);
        reportWindowOn(QStringLiteral("window, 5,000 cache entries"), cacheOnly, screenshot, runs);
        reportWindowOn(QStringLiteral("window, 5,000 cache entries"), large, screenshot, runs);
        const Timing version = timeRuns({QStringLiteral("--version")}, runs);
        std::printf("  %-46s %6.3f s  %6.3f s\n", "--version, no window", version.minimum, version.median);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "parvelle-bench-window: %s\n", e.what());
        return 1;
    }
    return 0;
}
