// The Undo page with a 200,000-value undo file: build/bin/parvelle-bench-undo-page
//   - how long after the window is shown its list holds every entry,
//   - the longest time the window's event loop went without turning meanwhile (a timer
//     asks every 10 ms), that is how long the window stopped answering,
//   - a Refresh with that file unchanged.
#include "BigUndoFile.h"
#include "app/window/Form1.h"
#include "demo/DemoRegistry.h"
#include "registry/RegistrySources.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

namespace {

using namespace parvelle;

constexpr int kKeys = 10000;
constexpr int kValuesPerKey = 20;

// Runs the event loop until the Undo page's list is read; returns the seconds it took
// and the longest stall of the loop in milliseconds.
std::pair<double, qint64> waitForList(TForm1& form, const std::function<void()>& start)
{
    QElapsedTimer total;
    QElapsedTimer sinceTick;
    qint64 longestStall = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestStall = std::max(longestStall, sinceTick.restart());
    });
    total.start();
    sinceTick.start();
    ticker.start(10);
    start();
    longestStall = std::max(longestStall, sinceTick.restart());
    while (form.ReadingUndoList())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    longestStall = std::max(longestStall, sinceTick.elapsed());
    return {total.nsecsElapsed() / 1e9, longestStall};
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const DemoHives hives = MakeDemoRegistry(dir.filePath(QStringLiteral("demo")), false);
    RegistrySources sources;
    sources.software = hives.software;
    Machine machine = OpenRegistrySources(sources);
    const QString undoFolder = dir.filePath(QStringLiteral("undo"));
    QDir().mkpath(undoFolder);
    bench::WriteBigUndoFile(undoFolder + QStringLiteral("/20260101-000000.reg"), kKeys, kValuesPerKey);

    TForm1 form(machine, undoFolder);
    form.setAttribute(Qt::WA_DontShowOnScreen);
    const auto [shown, shownStall] = waitForList(form, [&] { form.show(); });
    const int rows = form.findChild<QAbstractItemView*>(QStringLiteral("CheckListBox1"))->model()->rowCount();
    std::printf("Undo page, %d entries: filled %.2f s after show, longest stall %lld ms\n", rows, shown,
                static_cast<long long>(shownStall));
    const auto [refreshed, refreshStall] = waitForList(form, [&] { form.FormShow(); });
    std::printf("Refresh with that file unchanged: %.2f s, longest stall %lld ms\n", refreshed,
                static_cast<long long>(refreshStall));
    return rows == kKeys * kValuesPerKey ? 0 : 1;
}
