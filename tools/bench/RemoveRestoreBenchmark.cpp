// Removes 1,000 entries from a generated SOFTWARE hive of 20,000 cache entries and puts
// them back, timing each way: build/bin/parvelle-bench-undo
//   - one removal of the 1,000 entries (one undo file, one commit),
//   - Restore Checked of every entry of that undo file, and an import of it,
//   - 1,000 single removals, each its own operation with its own commit.
#include "cache/CacheListing.h"
#include "cache/OSInfo.h"
#include "demo/DemoRegistry.h"
#include "registry/RegistrySources.h"
#include "undo/RegFile.h"
#include "undo/UndoContext.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>

namespace {

using namespace parvelle;

constexpr int kEntries = 20000;
constexpr int kRemoved = 1000;

QStringList removedNames()
{
    QStringList names;
    for (int i = 0; i < kRemoved; ++i)
        names << QStringLiteral("Program %1").arg(i * (kEntries / kRemoved), 5, 10, QLatin1Char('0'));
    return names;
}

double secondsOf(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1e9;
}

// A fresh copy of the big hive, opened writable, with its undo context.
struct Session {
    Machine machine;
    std::unique_ptr<TUndoContext> undo;

    Session(const QString& hive, const QString& undoFolder)
    {
        RegistrySources sources;
        sources.software = hive;
        machine = OpenRegistrySources(sources);
        const QDateTime fixed = QDateTime::currentDateTime();
        undo = std::make_unique<TUndoContext>(machine, OSKindFromInfo(GetOSInfo(machine)), undoFolder,
                                              [fixed] { return fixed; });
    }
    size_t rows() { return ListCache(machine).rows.size(); }
};

void report(const char* what, Session& session, const std::function<void()>& work)
{
    const double seconds = secondsOf(work);
    std::printf("%-52s %9.3f s   (%zu cache entries after)\n", what, seconds, session.rows());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QTemporaryDir dir;
    const QString original = MakeBigCacheHive(dir.path(), kEntries);
    const QStringList names = removedNames();
    std::printf("hive: %d entries, %lld bytes; removing %d\n", kEntries,
                static_cast<long long>(QFile(original).size()), kRemoved);

    const QString batchHive = dir.filePath(QStringLiteral("batch"));
    QFile::copy(original, batchHive);
    QString undoFile;
    {
        Session session(batchHive, dir.filePath(QStringLiteral("undo-batch")));
        report("remove 1,000 entries as one operation", session,
               [&] { session.undo->RemoveCacheEntries(names); });
        undoFile = session.undo->UndoFilePath();
        const QStringList entries = ListUndoEntries(ReadRegFile(undoFile));
        report("restore checked (every entry of the undo file)", session,
               [&] { session.undo->RestoreChecked(undoFile, entries); });
    }
    {
        const QString importHive = dir.filePath(QStringLiteral("import"));
        QFile::copy(original, importHive);
        Session session(importHive, dir.filePath(QStringLiteral("undo-import")));
        session.undo->RemoveCacheEntries(names);
        report("import of the undo file", session,
               [&] { session.undo->ImportFile(session.undo->UndoFilePath()); });
    }
    {
        const QString singleHive = dir.filePath(QStringLiteral("single"));
        QFile::copy(original, singleHive);
        Session session(singleHive, dir.filePath(QStringLiteral("undo-single")));
        report("1,000 single removals, each committed", session,
               [&] { for (const QString& name : names) session.undo->RemoveCacheEntry(name); });
    }
    return 0;
}
