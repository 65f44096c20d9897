// Several parvelle-cli processes changing one hive, and saves that cannot keep the hive's
// owner or flush its folder: every removal is applied with its undo record or refused
// with nothing changed.
#include "UndoTestSupport.h"

#include "registry/HiveStore.h"
#include "undo/RegFile.h"

#include <QDir>
#include <QStandardPaths>
#include <sys/stat.h>
#include <unistd.h>

using namespace parvelle;
using namespace parvelle::test;

namespace {

struct CliRun {
    int status = -1;
    QString err;
};

QString cliPath()
{
    return QStringLiteral(PARVELLE_BIN_DIR "/parvelle-cli");
}

CliRun finish(QProcess& process)
{
    EXPECT_TRUE(process.waitForFinished(60000));
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardError())};
}

// The values of one cache entry in a SOFTWARE hive, or nothing when it is gone.
std::optional<std::vector<RegValue>> cacheEntry(const QString& software, const QString& name)
{
    const HiveStore store(software, HiveStore::Access::ReadOnly);
    const std::optional<NodeId> entry = store.find(store.root(), kArpCacheBelowSoftware + u'\\' + name);
    if (!entry)
        return std::nullopt;
    return store.values(*entry);
}

// The SlowInfoCache data recorded for the entry in any undo file of the folder.
QList<QByteArray> recordedRecords(const QString& undoFolder, const QString& name)
{
    QList<QByteArray> records;
    const QString keyPath = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\") + kArpCacheBelowSoftware + u'\\' + name;
    const QDir folder(undoFolder);
    for (const QString& file : folder.entryList({QStringLiteral("*.reg")}, QDir::Files)) {
        const RegFileText text = ReadRegFile(folder.filePath(file));
        for (const QString& data : FindValueTexts(text, keyPath, QStringLiteral("\"SlowInfoCache\"")))
            records << ParseValueData(data).data;
    }
    return records;
}

QByteArray slowInfoCache(const std::vector<RegValue>& values)
{
    for (const RegValue& value : values) {
        if (value.name == QLatin1String("SlowInfoCache"))
            return value.data;
    }
    return {};
}

class HiveWriters : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString demo = dir.filePath(QStringLiteral("demo"));

    void SetUp() override
    {
        QProcess make;
        make.start(cliPath(), {QStringLiteral("make-demo"), demo});
        ASSERT_EQ(finish(make).status, 0);
    }

    // A copy of the demo hives in a folder of its own.
    QString copyDemo(const QString& name)
    {
        const QString folder = dir.filePath(name);
        EXPECT_TRUE(QDir().mkpath(folder));
        for (const char* hive : {"SOFTWARE", "NTUSER.DAT"})
            EXPECT_TRUE(QFile::copy(demo + u'/' + QLatin1String(hive), folder + u'/' + QLatin1String(hive)));
        return folder;
    }

    static QStringList options(const QString& folder)
    {
        return {QStringLiteral("--software"), folder + QStringLiteral("/SOFTWARE"), QStringLiteral("--ntuser"),
                folder + QStringLiteral("/NTUSER.DAT"), QStringLiteral("--undo-dir"), folder + QStringLiteral("/undo")};
    }
};

TEST_F(HiveWriters, ConcurrentRemovalsAreAppliedWithTheirRecordOrRefusedWithNothingChanged)
{
    const QStringList names{QStringLiteral("7-Zip 4.42"), QStringLiteral("WinZip")};
    const QString pristine = demo + QStringLiteral("/SOFTWARE");
    std::map<QString, QByteArray> original;
    for (const QString& name : names)
        original[name] = slowInfoCache(*cacheEntry(pristine, name));
    int applied = 0;
    int refused = 0;
    for (int round = 0; round < 12; ++round) {
        const QString folder = copyDemo(QStringLiteral("round%1").arg(round));
        QProcess first;
        QProcess second;
        first.start(cliPath(), QStringList{QStringLiteral("remove"), names[0]} + options(folder));
        second.start(cliPath(), QStringList{QStringLiteral("remove"), names[1]} + options(folder));
        const CliRun runs[] = {finish(first), finish(second)};
        for (int i = 0; i < 2; ++i) {
            const QString& name = names[i];
            const auto entry = cacheEntry(folder + QStringLiteral("/SOFTWARE"), name);
            const QList<QByteArray> records = recordedRecords(folder + QStringLiteral("/undo"), name);
            if (runs[i].status == 0) {
                ++applied;
                EXPECT_FALSE(entry.has_value()) << "round " << round << ": " << name.toStdString();
                EXPECT_EQ(records, QList<QByteArray>{original[name]}) << "round " << round << ": " << name.toStdString();
            } else {
                ++refused;
                EXPECT_EQ(runs[i].status, 1);
                EXPECT_TRUE(runs[i].err.contains(QStringLiteral("changed by another program"))
                            || runs[i].err.contains(QStringLiteral("is being changed by another program")))
                    << runs[i].err.toStdString();
                ASSERT_TRUE(entry.has_value()) << "round " << round << ": " << name.toStdString();
                EXPECT_EQ(slowInfoCache(*entry), original[name]);
                EXPECT_TRUE(records.isEmpty()) << "round " << round << ": " << name.toStdString();
            }
        }
        EXPECT_TRUE(runs[0].status == 0 || runs[1].status == 0) << "round " << round << ": neither removal was applied";
    }
    EXPECT_GE(applied, 12);
    EXPECT_EQ(applied + refused, 24);
}

TEST_F(HiveWriters, RemovalsFromTwoHivesAtOnceShareTheUndoFolder)
{
    const QString undoFolder = dir.filePath(QStringLiteral("shared undo"));
    const QStringList names{QStringLiteral("7-Zip 4.42"), QStringLiteral("WinZip")};
    const QByteArray original = slowInfoCache(*cacheEntry(demo + QStringLiteral("/SOFTWARE"), names[0]));
    for (int round = 0; round < 6; ++round) {
        QProcess runs[2];
        QStringList folders;
        for (int i = 0; i < 2; ++i) {
            folders << copyDemo(QStringLiteral("round%1-%2").arg(round).arg(i));
            QStringList arguments = QStringList{QStringLiteral("remove"), names[i]} + options(folders[i]);
            arguments.last() = undoFolder;
            runs[i].start(cliPath(), arguments);
        }
        for (int i = 0; i < 2; ++i) {
            const CliRun run = finish(runs[i]);
            EXPECT_EQ(run.status, 0) << run.err.toStdString();
            EXPECT_FALSE(cacheEntry(folders[i] + QStringLiteral("/SOFTWARE"), names[i]).has_value());
        }
        // Every record of every round is kept, whichever undo file (stamp) it went to.
        EXPECT_EQ(recordedRecords(undoFolder, names[0]).size(), round + 1);
        EXPECT_EQ(recordedRecords(undoFolder, names[0]).count(original), round + 1);
        EXPECT_EQ(recordedRecords(undoFolder, names[1]).size(), round + 1);
    }
}

// The hidden files parvelle's writers leave in a folder (temporaries, locks).
QStringList leftovers(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral(".*parvelle-*")}, QDir::Files | QDir::Hidden);
}

// A removal killed at every step of its undo write and its save (strace kills it at the
// Nth call of each system call those steps make, for every N it reaches): the hive is
// whole and holds the entry, or the entry is gone and recorded; the next writer in both
// folders clears what the killed one left.
TEST_F(HiveWriters, AWriterKilledAtAnyStepLeavesAWholeHiveAndEveryRemovalRecorded)
{
    if (QStandardPaths::findExecutable(QStringLiteral("strace")).isEmpty())
        GTEST_SKIP() << "needs strace";
    const QString name = QStringLiteral("7-Zip 4.42");
    const QByteArray original = slowInfoCache(*cacheEntry(demo + QStringLiteral("/SOFTWARE"), name));
    int killed = 0;
    for (const char* call : {"write", "fsync", "fchmod", "renameat2", "unlink", "flock"}) {
        for (int n = 1;; ++n) {
            const QString folder = copyDemo(QStringLiteral("%1-%2").arg(QLatin1String(call)).arg(n));
            const QString where = QStringLiteral("killed at %1 #%2").arg(QLatin1String(call)).arg(n);
            QProcess traced;
            traced.start(QStringLiteral("strace"), QStringList{QStringLiteral("-f"), QStringLiteral("-qq"), QStringLiteral("-o"),
                                                               QStringLiteral("/dev/null"), QStringLiteral("-e"),
                                                               QStringLiteral("inject=%1:signal=KILL:when=%2").arg(QLatin1String(call)).arg(n),
                                                               cliPath(), QStringLiteral("remove"), name}
                                                       + options(folder));
            const CliRun run = finish(traced);
            const QString software = folder + QStringLiteral("/SOFTWARE");
            std::optional<std::vector<RegValue>> entry;
            ASSERT_NO_THROW(entry = cacheEntry(software, name)) << where.toStdString();
            const QList<QByteArray> records = recordedRecords(folder + QStringLiteral("/undo"), name);
            if (entry)
                EXPECT_EQ(slowInfoCache(*entry), original) << where.toStdString();
            else
                EXPECT_EQ(records, QList<QByteArray>{original}) << where.toStdString();
            QProcess next;
            next.start(cliPath(), QStringList{QStringLiteral("remove"), QStringLiteral("WinZip")} + options(folder));
            EXPECT_EQ(finish(next).status, 0) << where.toStdString();
            EXPECT_EQ(leftovers(folder) + leftovers(folder + QStringLiteral("/undo")), QStringList()) << where.toStdString();
            if (run.status == 0)
                break;   // the run got past every such call
            ++killed;
            ASSERT_LT(n, 60) << call;
        }
    }
    EXPECT_GT(killed, 10);
}

// Runs parvelle-cli as the unprivileged user "nobody"; needs root to set up.
class UnprivilegedSave : public HiveWriters {
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root to run parvelle-cli as another user";
        HiveWriters::SetUp();
        ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    }

    static CliRun runAsNobody(const QStringList& arguments)
    {
        QProcess process;
        process.start(QStringLiteral("setpriv"), QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                                             QStringLiteral("--clear-groups"), cliPath()}
                                                     + arguments);
        return finish(process);
    }

    // A .reg file that adds one value to the SOFTWARE hive.
    QString importFile()
    {
        const QString path = dir.filePath(QStringLiteral("add.reg"));
        WriteAll(path, "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Parvelle]\r\n\"v\"=\"x\"\r\n");
        return path;
    }

    static void chownTo(const QString& path, uid_t user)
    {
        ASSERT_EQ(::chown(QFile::encodeName(path).constData(), user, user), 0);
    }
};

TEST_F(UnprivilegedSave, AHiveWhoseOwnerCannotBeKeptIsNotReplaced)
{
    const QString folder = copyDemo(QStringLiteral("shared"));
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0777), 0);
    const QString software = folder + QStringLiteral("/SOFTWARE");
    ASSERT_EQ(::chmod(QFile::encodeName(software).constData(), 0666), 0);   // root's, writable by all
    const QByteArray before = ReadAll(software);
    const CliRun run = runAsNobody(QStringList{QStringLiteral("import"), importFile()} + options(folder));
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("the new file cannot keep the owner (user 0, group 0)"))
                && run.err.contains(QStringLiteral("nothing was saved")))
        << run.err.toStdString();
    EXPECT_EQ(ReadAll(software), before);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(software).constData(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), (QStringList{"NTUSER.DAT", "SOFTWARE"}));
}

TEST_F(UnprivilegedSave, AFolderThatCannotBeFlushedRefusesTheSave)
{
    const QString folder = copyDemo(QStringLiteral("blind"));
    const QString software = folder + QStringLiteral("/SOFTWARE");
    for (const QString& hive : {software, folder + QStringLiteral("/NTUSER.DAT")})
        chownTo(hive, 65534);
    // Files can be made and renamed there, but the folder cannot be opened to flush it.
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0333), 0);
    const QByteArray before = ReadAll(software);
    const CliRun run = runAsNobody(QStringList{QStringLiteral("import"), importFile()} + options(folder));
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("cannot open its folder to flush the rename"))) << run.err.toStdString();
    EXPECT_EQ(ReadAll(software), before);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), (QStringList{"NTUSER.DAT", "SOFTWARE"}));
}

} // namespace
