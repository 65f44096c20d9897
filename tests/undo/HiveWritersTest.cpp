// Several parvelle-cli processes changing one hive, and saves that cannot keep the hive's
// owner or flush its folder: every removal is applied with its undo record or refused
// with nothing changed.
#include "UndoTestSupport.h"

#include "registry/HiveStore.h"
#include "undo/RegFile.h"

#include <QDir>
#include <QStandardPaths>
#include <algorithm>
#include <functional>
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

// The data recorded for the value in any undo file of the folder.
QList<QByteArray> recordedData(const QString& undoFolder, const QString& keyPath, const QString& valueName)
{
    QList<QByteArray> records;
    const QDir folder(undoFolder);
    for (const QString& file : folder.entryList({QStringLiteral("*.reg")}, QDir::Files)) {
        const RegFileText text = ReadRegFile(folder.filePath(file));
        for (const QString& data : FindValueTexts(text, keyPath, u'"' + valueName + u'"'))
            records << ParseValueData(data).data;
    }
    return records;
}

QString cacheKeyPath(const QString& name)
{
    return QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\") + kArpCacheBelowSoftware + u'\\' + name;
}

// The SlowInfoCache data recorded for the entry in any undo file of the folder.
QList<QByteArray> recordedRecords(const QString& undoFolder, const QString& name)
{
    return recordedData(undoFolder, cacheKeyPath(name), QStringLiteral("SlowInfoCache"));
}

// The data of a value in a hive file, or nothing when the value or its key is missing.
std::optional<QByteArray> valueData(const QString& hive, const QString& keyPath, const QString& valueName)
{
    const HiveStore store(hive, HiveStore::Access::ReadOnly);
    const std::optional<NodeId> key = store.find(store.root(), keyPath);
    if (!key)
        return std::nullopt;
    const std::optional<RegValue> value = store.value(*key, valueName);
    return value ? std::optional<QByteArray>(value->data) : std::nullopt;
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

// One value a killed operation changes: where it is, what it holds once changed (nothing:
// removed with its key), and the key path its undo record names.
struct KilledChange {
    QString hive;
    QString keyPath;
    QString valueName;
    std::optional<QByteArray> changed;
    QString recordedKey;
};

// An operation the crash-point test kills; its changes in the order their hives are saved.
struct KilledOperation {
    QString name;
    QStringList arguments;
    std::vector<KilledChange> changes;
    QStringList nextArguments;   // the next writer's, which repeats it when it is the same
};

// A removal and a two-hive import killed at every step of their undo writes and saves
// (strace kills them at the Nth call of each system call those steps make, for every N
// they reach): every hive is whole, and each value is as it was or changed, a later hive
// changed only after the earlier ones (a kill between the two renames leaves SOFTWARE new
// and NTUSER.DAT old, and repeating the import completes it); the undo record is whole or
// absent, and there once anything changed. The next writer in both folders clears what the
// killed one left.
TEST_F(HiveWriters, AWriterKilledAtAnyStepLeavesWholeHivesChangedInOrderAndEveryChangeRecorded)
{
    if (QStandardPaths::findExecutable(QStringLiteral("strace")).isEmpty())
        GTEST_SKIP() << "needs strace";
    const QString importFile = dir.filePath(QStringLiteral("import.reg"));
    WriteAll(importFile, "Windows Registry Editor Version 5.00\r\n\r\n[" + cacheKeyPath(QStringLiteral("7-Zip 4.42")).toUtf8()
                             + "]\r\n\"SlowInfoCache\"=hex:01,02,03\r\n\r\n"
                               "[HKEY_CURRENT_USER\\Control Panel\\International]\r\n\"sShortDate\"=\"yyyy-MM-dd\"\r\n");
    const KilledChange cacheEntry{QStringLiteral("SOFTWARE"), kArpCacheBelowSoftware + QStringLiteral("\\7-Zip 4.42"),
                                  QStringLiteral("SlowInfoCache"), std::nullopt, cacheKeyPath(QStringLiteral("7-Zip 4.42"))};
    KilledChange cacheRecord = cacheEntry;
    cacheRecord.changed = QByteArray::fromHex("010203");
    const KilledChange dateFormat{QStringLiteral("NTUSER.DAT"), QStringLiteral("Control Panel\\International"),
                                  QStringLiteral("sShortDate"), Utf16z(QStringLiteral("yyyy-MM-dd")),
                                  QStringLiteral("HKEY_CURRENT_USER\\Control Panel\\International")};
    const std::vector<KilledOperation> operations{
        {QStringLiteral("remove"), {QStringLiteral("remove"), QStringLiteral("7-Zip 4.42")}, {cacheEntry},
         {QStringLiteral("remove"), QStringLiteral("WinZip")}},
        {QStringLiteral("import"), {QStringLiteral("import"), importFile}, {cacheRecord, dateFormat},
         {QStringLiteral("import"), importFile}},
    };
    for (const KilledOperation& operation : operations) {
        std::vector<QByteArray> original;
        for (const KilledChange& change : operation.changes)
            original.push_back(*valueData(demo + u'/' + change.hive, change.keyPath, change.valueName));
        // Each change, made or not, and the undo records of it (once; a repeated import may
        // have recorded it twice).
        const auto check = [&](const QString& folder, const QString& where, bool repeated) {
            std::vector<bool> made;
            for (size_t i = 0; i < operation.changes.size(); ++i) {
                const KilledChange& change = operation.changes[i];
                std::optional<QByteArray> now;
                EXPECT_NO_THROW(now = valueData(folder + u'/' + change.hive, change.keyPath, change.valueName))
                    << where.toStdString();
                made.push_back(now == change.changed);
                if (!made.back()) {
                    EXPECT_EQ(now, original[i]) << where.toStdString() << " " << change.valueName.toStdString();
                }
            }
            for (size_t i = 0; i < operation.changes.size(); ++i) {
                const KilledChange& change = operation.changes[i];
                const QList<QByteArray> records = recordedData(folder + QStringLiteral("/undo"), change.recordedKey, change.valueName);
                if (made.front()) {
                    EXPECT_TRUE(repeated ? records.contains(original[i]) : records.count(original[i]) == 1)
                        << where.toStdString() << " " << change.valueName.toStdString();
                } else {
                    EXPECT_TRUE(records.isEmpty() || records == QList<QByteArray>{original[i]}) << where.toStdString();
                }
            }
            EXPECT_TRUE(std::is_sorted(made.begin(), made.end(), std::greater<>())) << where.toStdString();
            return made;
        };
        int killed = 0;
        int halfway = 0;
        for (const char* call : {"write", "fsync", "fchmod", "renameat2", "unlink", "flock"}) {
            for (int n = 1;; ++n) {
                const QString folder = copyDemo(QStringLiteral("%1-%2-%3").arg(operation.name, QLatin1String(call)).arg(n));
                const QString where = QStringLiteral("%1 killed at %2 #%3").arg(operation.name, QLatin1String(call)).arg(n);
                QProcess traced;
                traced.start(QStringLiteral("strace"), QStringList{QStringLiteral("-f"), QStringLiteral("-qq"), QStringLiteral("-o"),
                                                                   QStringLiteral("/dev/null"), QStringLiteral("-e"),
                                                                   QStringLiteral("inject=%1:signal=KILL:when=%2").arg(QLatin1String(call)).arg(n),
                                                                   cliPath()}
                                                           + operation.arguments + options(folder));
                const CliRun run = finish(traced);
                const std::vector<bool> made = check(folder, where, false);
                if (made.front() != made.back())
                    ++halfway;
                QProcess next;
                next.start(cliPath(), operation.nextArguments + options(folder));
                EXPECT_EQ(finish(next).status, 0) << where.toStdString();
                if (operation.nextArguments == operation.arguments) {
                    EXPECT_EQ(check(folder, where + QStringLiteral(", then repeated"), true), std::vector<bool>(made.size(), true));
                }
                EXPECT_EQ(leftovers(folder) + leftovers(folder + QStringLiteral("/undo")), QStringList()) << where.toStdString();
                if (run.status == 0)
                    break;   // the run got past every such call
                ++killed;
                ASSERT_LT(n, 100) << where.toStdString();
            }
        }
        EXPECT_GT(killed, 10) << operation.name.toStdString();
        EXPECT_EQ(halfway > 0, operation.changes.size() > 1) << operation.name.toStdString();
    }
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
