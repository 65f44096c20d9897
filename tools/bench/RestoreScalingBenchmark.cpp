// Restore Checked of every entry of an undo file against an import of the same file, as
// the file grows: build/bin/parvelle-bench-restore
//   - 1,000 and 4,000 cache entries of one value each, and 10,000 entries of 20 values
//     (200,000 value statements), each restored into and imported into a fresh copy of
//     the demo SOFTWARE hive, the commit included.
#include "BigUndoFile.h"
#include "cache/OSInfo.h"
#include "demo/DemoRegistry.h"
#include "registry/RegistrySources.h"
#include "undo/RegFile.h"
#include "undo/UndoContext.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>

namespace {

using namespace parvelle;

// Seconds one operation on a fresh copy of the demo hives takes.
double timeOn(const QString& folder, const std::function<void(TUndoContext&)>& operation)
{
    const DemoHives hives = MakeDemoRegistry(folder, false);
    RegistrySources sources;
    sources.software = hives.software;
    Machine machine = OpenRegistrySources(sources);
    TUndoContext undo(machine, OSKindFromInfo(GetOSInfo(machine)), folder + QStringLiteral("/undo"));
    QElapsedTimer timer;
    timer.start();
    operation(undo);
    return timer.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QTemporaryDir dir;
    const struct {
        int keys;
        int valuesPerKey;
    } sizes[] = {{1000, 1}, {4000, 1}, {10000, 20}};
    std::printf("%-34s %10s %10s %8s\n", "undo file", "restore", "import", "ratio");
    int round = 0;
    for (const auto& size : sizes) {
        const QString file = dir.filePath(QStringLiteral("%1x%2.reg").arg(size.keys).arg(size.valuesPerKey));
        bench::WriteBigUndoFile(file, size.keys, size.valuesPerKey);
        const QStringList entries = ListUndoEntries(ReadRegFile(file));
        const double restore = timeOn(dir.filePath(QString::number(++round)),
                                      [&](TUndoContext& undo) { undo.RestoreChecked(file, entries); });
        const double import = timeOn(dir.filePath(QString::number(++round)),
                                     [&](TUndoContext& undo) { undo.ImportFile(file); });
        std::printf("%6d entries x %2d values %-9s %9.3fs %9.3fs %7.1fx\n", size.keys, size.valuesPerKey, "", restore,
                    import, restore / import);
        std::fflush(stdout);
    }
    return 0;
}
