// The window on large caches: build/bin/parvelle-bench-window [RUNS] [removals|f5]
// ("removals": only the removal rows; "f5": only the F5 rows)
// Start-up: each run is a whole `parvelle --software HIVE --screenshot FILE` process on the
// offscreen platform, timed from its start to its exit. It exits once the window is shown
// with its table filled, rendered and saved, so each figure is an upper bound on the time
// until a user sees the filled table. The hives are those of parvelle-bench, one holding
// only the cache and one of about 100 MiB, as a real SOFTWARE hive is, and one of 100,000
// cache entries. `parvelle --version` (the process without a window) is timed for
// comparison. Minimum and median of RUNS runs (default 11), after one run that warms the
// file cache.
// Use: the window on the 100,000 entries, in this process: a scroll step (a wheel notch
// and a page down), a sort by a header click, F5 (with nothing changed, after another
// program gave the hive a new time stamp, and after it wrote a new hive file), the removal
// of one entry (the first in a new window, picked at once or a second before, and a later
// one; and the first once more, picked at once in a window opened after the disk was
// synced and the machine left idle for 3 s, when memory freed before may have gone back to
// the system); each timed from the input until the table is painted again.
#include "app/window/Form1.h"
#include "cache/CacheListing.h"
#include "demo/DemoRegistry.h"
#include "registry/RegistrySources.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHeaderView>
#include <QImage>
#include <QProcess>
#include <QSaveFile>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTreeWidget>
#include <functional>
#include <algorithm>
#include <ctime>
#include <cstdio>
#include <stdexcept>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace parvelle;

constexpr int kEntries = 5000;
constexpr int kManyEntries = 100000;
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

Timing timingOf(std::vector<double> seconds)
{
    std::sort(seconds.begin(), seconds.end());
    const size_t middle = seconds.size() / 2;
    const double median = seconds.size() % 2 ? seconds[middle] : (seconds[middle - 1] + seconds[middle]) / 2;
    return {seconds.front(), median};
}

Timing timeRuns(const QStringList& arguments, int runs)
{
    timeRun(arguments);
    std::vector<double> seconds;
    for (int run = 0; run < runs; ++run)
        seconds.push_back(timeRun(arguments));
    return timingOf(std::move(seconds));
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

// Wall and CPU seconds of one action.
struct Cost {
    double wall;
    double cpu;
};

// Minimum and median wall time, and median CPU time, of several costs: the CPU time tells
// the work apart from the waits of a machine shared with other work.
void printCosts(const char* label, std::vector<Cost> costs)
{
    std::vector<double> wall;
    std::vector<double> cpu;
    for (const Cost& cost : costs) {
        wall.push_back(cost.wall);
        cpu.push_back(cost.cpu);
    }
    const Timing w = timingOf(std::move(wall));
    std::printf("  %-46s %6.1f ms %6.1f ms %6.1f ms\n", label, w.minimum * 1e3, w.median * 1e3, timingOf(std::move(cpu)).median * 1e3);
}

// The window of this process on a hive, its table painted after each action timed.
class WindowInUse {
public:
    explicit WindowInUse(const QString& hive)
        : machine_(openSoftware(hive))
        , form_(machine_, undo_.path())
        , table_(form_.findChild<QTreeWidget*>(QStringLiteral("suiListView1")))
    {
        form_.setAttribute(Qt::WA_DontShowOnScreen);
    }

    // From `action` until the table is painted again.
    Cost cost(const std::function<void()>& action)
    {
        QElapsedTimer timer;
        timer.start();
        const std::clock_t cpu = std::clock();
        action();
        QApplication::processEvents();
        table_->viewport()->repaint();
        return {timer.nsecsElapsed() / 1e9, double(std::clock() - cpu) / CLOCKS_PER_SEC};
    }

    std::vector<Cost> costs(int runs, const std::function<void()>& action)
    {
        std::vector<Cost> all;
        for (int run = 0; run < runs; ++run)
            all.push_back(cost(action));
        return all;
    }

    TForm1& form() { return form_; }
    QTreeWidget& table() { return *table_; }

    void clickHeader(int column)
    {
        QHeaderView* header = table_->header();
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }

private:
    static Machine openSoftware(const QString& hive)
    {
        RegistrySources sources;
        sources.software = hive;
        return OpenRegistrySources(sources);
    }

    QTemporaryDir undo_;
    Machine machine_;
    TForm1 form_;
    QTreeWidget* table_;
};

// F5 with nothing changed, after another program gave the hive a new time stamp, and
// after it wrote a new hive file.
void reportRefreshes(WindowInUse& window, const QString& hive, int runs)
{
    printCosts("F5 (Refresh)", window.costs(runs, [&] { window.form().FormShow(); }));
    // A new time stamp is all it takes to make the hive count as changed by another program.
    const QByteArray hivePath = QFile::encodeName(hive);
    const auto touchHive = [&] {
        if (::utimensat(AT_FDCWD, hivePath.constData(), nullptr, 0) != 0)
            throw std::runtime_error("cannot touch " + hive.toStdString());
    };
    printCosts("F5 after another program saved the hive", window.costs(runs, [&] {
        touchHive();
        window.form().FormShow();
    }));
    // As another program saves a new file in one write (as hivex does), synced and renamed
    // over the hive; timed from F5 on.
    QFile original(hive);
    if (!original.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + hive.toStdString());
    const QByteArray bytes = original.readAll();
    std::vector<Cost> replaced;
    for (int run = 0; run < runs; ++run) {
        QSaveFile file(hive);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
            throw std::runtime_error("cannot replace " + hive.toStdString());
        replaced.push_back(window.cost([&] { window.form().FormShow(); }));
    }
    printCosts("F5 after another program wrote a new hive file", replaced);
}

void reportUse(const QString& hive, int runs)
{
    WindowInUse window(hive);
    std::printf("window in use, 100,000 cache entries, %d runs:       minimum    median  CPU median\n", runs);
    printCosts("show, table filled and painted", {window.cost([&] { window.form().show(); })});
    QTreeWidget& table = window.table();
    if (table.topLevelItemCount() != kManyEntries)
        throw std::runtime_error("the table does not hold every entry");
    QWidget* viewport = table.viewport();
    const QPoint middle = viewport->rect().center();
    printCosts("scroll step: one wheel notch down", window.costs(runs, [&] {
        QWheelEvent wheel(middle, viewport->mapToGlobal(middle), {}, {0, -120}, Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &wheel);
    }));
    table.setFocus();
    printCosts("scroll step: Page Down", window.costs(runs, [&] { QTest::keyClick(&table, Qt::Key_PageDown); }));
    // Page Down picks an entry, and the hive's first change is prepared on a thread of its
    // own meanwhile (reportRemovals times what it saves): the sorts are timed after it.
    QTest::qWait(1000);
    // A column's first sort works its order out; the reversal and later sorts reuse it.
    std::vector<Cost> firstSorts;
    std::vector<Cost> reversals;
    for (const int column : {ccKeyName, ccInAddRemove, ccFilePath, ccFrequency, ccLastUsed, ccInstallSize, ccHasName,
                             ccDataSize, ccChanged}) {
        firstSorts.push_back(window.cost([&] { window.clickHeader(column); }));
        reversals.push_back(window.cost([&] { window.clickHeader(column); }));
    }
    printCosts("sort: a column's first header click", firstSorts);
    printCosts("sort: the second click, reversing", reversals);
    reportRefreshes(window, hive, runs);
}

// Each run opens a new window (after a sync and `settleS` seconds, when given) and
// removes two entries, each picked `idleMs` before its removal, as a user reaching Remove:
// the first change of the hive, and a later one.
void reportRemovals(const QString& hive, int runs, int idleMs, bool printLater, int settleS = 0)
{
    std::vector<Cost> first;
    std::vector<Cost> later;
    for (int run = 0; run < runs; ++run) {
        if (settleS > 0) {
            ::sync();
            QThread::sleep(settleS);
        }
        WindowInUse window(hive);
        window.form().show();
        QTreeWidget& table = window.table();
        const int rows = table.topLevelItemCount();
        const auto removePickedRow = [&] {
            window.form().suiButton3Click();
            while (window.form().ChangeRunning())   // the removal runs on a worker thread
                QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        };
        for (std::vector<Cost>* costs : {&first, &later}) {
            table.setCurrentItem(table.topLevelItem(table.topLevelItemCount() / 2));
            QTest::qWait(idleMs);
            costs->push_back(window.cost(removePickedRow));
        }
        if (table.topLevelItemCount() != rows - 2)
            throw std::runtime_error("the removals did not leave the table one row shorter each");
    }
    printCosts(qPrintable(settleS > 0 ? QStringLiteral("remove one entry: the first, %1 s after a sync").arg(settleS)
                                      : QStringLiteral("remove one entry: the first, picked %1 s before").arg(idleMs / 1000.0)),
               first);
    if (printLater)
        printCosts("remove one entry: a later one", later);
}

void reportAllRemovals(const QString& hive, int runs)
{
    constexpr int kSettleS = 3;
    reportRemovals(hive, runs, 0, false);
    reportRemovals(hive, runs, 1000, true);
    reportRemovals(hive, runs, 0, false, kSettleS);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const int runs = arguments.size() > 1 ? arguments[1].toInt() : 11;
    const QString only = arguments.size() > 2 ? arguments[2] : QString();
    if (runs < 1 || arguments.size() > 3 || !(only.isEmpty() || only == u"removals" || only == u"f5")) {
        std::fprintf(stderr, "usage: parvelle-bench-window [RUNS] [removals|f5]\n");
        return 2;
    }
    try {
        QTemporaryDir dir;
        const QString many = MakeBigCacheHive(dir.filePath(QStringLiteral("many")), kManyEntries);
        if (!only.isEmpty()) {
            std::printf("window in use, 100,000 cache entries, %d runs:       minimum    median  CPU median\n", runs);
            if (only == u"removals") {
                reportAllRemovals(many, runs);
            } else {
                WindowInUse window(many);
                window.form().show();
                reportRefreshes(window, many, runs);
            }
            return 0;
        }
        const QString cacheOnly = MakeBigCacheHive(dir.filePath(QStringLiteral("small")), kEntries);
        const QString large = MakeBigCacheHive(dir.filePath(QStringLiteral("large")), kEntries, kLargeHiveFiller);
        const QString screenshot = dir.filePath(QStringLiteral("window.png"));
        std::printf("parvelle, process start to exit, %d runs each:       minimum    median\n", runs);
        reportWindowOn(QStringLiteral("window, 5,000 cache entries"), cacheOnly, screenshot, runs);
        reportWindowOn(QStringLiteral("window, 5,000 cache entries"), large, screenshot, runs);
        reportWindowOn(QStringLiteral("window, 100,000 cache entries"), many, screenshot, runs);
        const Timing version = timeRuns({QStringLiteral("--version")}, runs);
        std::printf("  %-46s %6.3f s  %6.3f s\n", "--version, no window", version.minimum, version.median);
        reportUse(many, runs);
        reportAllRemovals(many, runs);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "parvelle-bench-window: %s\n", e.what());
        return 1;
    }
    return 0;
}
