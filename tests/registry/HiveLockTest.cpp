// One writer of a hive at a time, hard-linked hives, and the temporary files of a save
// that crashed.
#include "RegistryTestSupport.h"

#include "core/SafeFile.h"

#include <QDir>
#include <QFileInfo>

#include <atomic>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utime.h>

using namespace parvelle;
using namespace parvelle::test;
using namespace std::chrono_literals;

namespace {

class HiveWriting : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("hive"));

    void SetUp() override
    {
        HiveStore::createEmpty(path);
    }

    // A hivexsh script that adds the key "Theirs" and commits.
    QString hivexshScript() const
    {
        QFile file(dir.filePath(QStringLiteral("commands")));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("add Theirs\ncommit\n");
        return file.fileName();
    }

    QStringList folderFiles() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden); }

    bool hasKey(const QString& name) const
    {
        const HiveStore store(path, HiveStore::Access::ReadOnly);
        return store.child(store.root(), name).has_value();
    }
};

TEST_F(HiveWriting, ASecondWriterGivesUpNamingTheHolderAndChangesNothing)
{
    const QByteArray before = fileDigest(path);
    {
        const FileLock holder(path, HiveStore::kLockWait, QStringLiteral("hive file"));
        EXPECT_EQ(throwMessage([&] { FileLock second(path, 50ms, QStringLiteral("hive file")); }),
                  QStringLiteral("The hive file '%1' is being changed by another program (process %2); nothing was changed, try again later")
                      .arg(path)
                      .arg(::getpid()));
        EXPECT_EQ(FileLock::tryTake(path), nullptr);
    }
    EXPECT_EQ(fileDigest(path), before);
    EXPECT_EQ(folderFiles(), QStringList{"hive"});   // the lock file goes with the lock
    EXPECT_NE(FileLock::tryTake(path), nullptr);
}

TEST_F(HiveWriting, ACommitWaitsForTheHolderToFinish)
{
    HiveStore store(path);
    store.addChild(store.root(), QStringLiteral("Second"));
    std::atomic<bool> held = false;
    std::thread holder([&] {
        const FileLock lock(path, HiveStore::kLockWait, QStringLiteral("hive file"));
        held = true;
        std::this_thread::sleep_for(300ms);
    });
    while (!held)
        std::this_thread::yield();
    store.commit();
    holder.join();
    EXPECT_TRUE(hasKey(QStringLiteral("Second")));
}

TEST_F(HiveWriting, LockingForChangesRefusesAFileChangedSinceItWasRead)
{
    HiveStore late(path);
    {
        HiveStore early(path);
        early.addChild(early.root(), QStringLiteral("First"));
        early.commit();
    }
    EXPECT_EQ(throwMessage([&] { late.lockForChanges(); }),
              QStringLiteral("The hive file '%1' was changed by another program after it was opened; open it again").arg(path));
    // Nested users share the lock; it goes with the last.
    HiveStore fresh(path);
    std::unique_ptr<StoreLock> outer = fresh.lockForChanges();
    fresh.addChild(fresh.root(), QStringLiteral("Third"));
    std::unique_ptr<StoreLock> inner = fresh.lockForChanges();
    fresh.commit();
    inner.reset();
    EXPECT_EQ(FileLock::tryTake(path), nullptr);
    outer.reset();
    EXPECT_NE(FileLock::tryTake(path), nullptr);
    EXPECT_TRUE(hasKey(QStringLiteral("Third")));
}

TEST_F(HiveWriting, AHardLinkedHiveIsNotSavedOverItsLinks)
{
    const QString link = dir.filePath(QStringLiteral("link"));
    ASSERT_EQ(::link(QFile::encodeName(path).constData(), QFile::encodeName(link).constData()), 0);
    const QString reason = QStringLiteral("the file has 2 hard links, which a save would separate (a save replaces the file)");
    HiveStore linked(path);
    EXPECT_FALSE(linked.isWritable());
    EXPECT_EQ(linked.readOnlyReason(), reason);
    EXPECT_EQ(HiveStore(path, HiveStore::Access::ReadOnly).readOnlyReason(), QStringLiteral("it was opened read-only on request"));

    // A link made after the hive was opened stops the save too.
    ASSERT_TRUE(QFile::remove(link));
    HiveStore store(path);
    store.addChild(store.root(), QStringLiteral("Unsaved"));
    ASSERT_EQ(::link(QFile::encodeName(path).constData(), QFile::encodeName(link).constData()), 0);
    const QByteArray before = fileDigest(path);
    EXPECT_EQ(throwMessage([&] { store.commit(); }),
              QStringLiteral("Cannot save the hive file '%1': %2; nothing was saved").arg(path, reason));
    EXPECT_EQ(fileDigest(path), before);
    EXPECT_EQ(fileDigest(link), before);
    struct stat linkedFile {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &linkedFile), 0);
    EXPECT_EQ(linkedFile.st_nlink, 2u);
}

// Another writer steps in between the moment our new file is ready and its rename.
class SteppingIn {
public:
    explicit SteppingIn(std::function<void(const QString& target)> writer) { test::SetBeforeReplacing(std::move(writer)); }
    ~SteppingIn() { test::SetBeforeReplacing({}); }
};

TEST_F(HiveWriting, AChangeByAnotherProgramDuringTheSaveIsNeverOverwritten)
{
    const QString script = hivexshScript();
    const QString copy = dir.filePath(QStringLiteral("copy"));
    const std::vector<std::pair<const char*, std::function<void()>>> writers{
        {"hivexsh -w, in place", [&] { RunTool(QStringLiteral("hivexsh"), {QStringLiteral("-w"), QStringLiteral("-f"), script, path}); }},
        {"a copy moved over it", [&] {
             RunTool(QStringLiteral("cp"), {path, copy});
             RunTool(QStringLiteral("hivexsh"), {QStringLiteral("-w"), QStringLiteral("-f"), script, copy});
             ASSERT_TRUE(::rename(QFile::encodeName(copy).constData(), QFile::encodeName(path).constData()) == 0);
         }},
    };
    for (const auto& [how, write] : writers) {
        HiveStore::createEmpty(dir.filePath(QStringLiteral("fresh")));
        ASSERT_EQ(::rename(QFile::encodeName(dir.filePath(QStringLiteral("fresh"))).constData(), QFile::encodeName(path).constData()), 0);
        HiveStore store(path);
        store.addChild(store.root(), QStringLiteral("Ours"));
        QString message;
        {
            const SteppingIn other([&](const QString&) { write(); });
            message = throwMessage([&] { store.commit(); });
        }
        EXPECT_EQ(message, QStringLiteral("The hive file '%1' was changed by another program after it was opened; open it again").arg(path)) << how;
        EXPECT_TRUE(hasKey(QStringLiteral("Theirs"))) << how;
        EXPECT_FALSE(hasKey(QStringLiteral("Ours"))) << how;
        EXPECT_EQ(folderFiles(), (QStringList{"commands", "hive"})) << how;
        EXPECT_TRUE(store.isModified()) << how;
    }
}

TEST_F(HiveWriting, TwoHivesAreSavedBothOrNeither)
{
    const QString other = dir.filePath(QStringLiteral("other"));
    HiveStore::createEmpty(other);
    const QString script = hivexshScript();
    const QByteArray before = fileDigest(path);
    HiveStore first(path);
    HiveStore second(other);
    first.addChild(first.root(), QStringLiteral("One"));
    second.addChild(second.root(), QStringLiteral("Two"));
    QString message;
    {
        // The second hive is changed by another program once the first is in place.
        const SteppingIn writer([&](const QString& target) {
            if (target == other)
                RunTool(QStringLiteral("hivexsh"), {QStringLiteral("-w"), QStringLiteral("-f"), script, other});
        });
        message = throwMessage([&] { CommitTogether({&first, &second}); });
    }
    EXPECT_EQ(message, QStringLiteral("The hive file '%1' was changed by another program after it was opened; open it again").arg(other));
    EXPECT_EQ(fileDigest(path), before);   // put back
    EXPECT_TRUE(first.isModified());
    EXPECT_TRUE(second.isModified());
    EXPECT_EQ(folderFiles(), (QStringList{"commands", "hive", "other"}));
    CommitTogether({&first});
    EXPECT_TRUE(hasKey(QStringLiteral("One")));
}

void writeTemporary(const QString& path, time_t modified)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'h'));
    file.close();
    const utimbuf times{modified, modified};
    ASSERT_EQ(::utime(QFile::encodeName(path).constData(), &times), 0);
}

TEST_F(HiveWriting, OnlyAChangeRemovesStaleTemporariesOfThatHive)
{
    const time_t now = ::time(nullptr);
    const QString crashed = QStringLiteral(".hive.parvelle-a1B2c3");
    writeTemporary(dir.filePath(crashed), now - 3600);
    const QStringList others{QStringLiteral(".hive.parvelle-a1B2c"), QStringLiteral(".other.parvelle-a1B2c3"),
                             QStringLiteral(".hive.parvelle-newer1")};
    for (const QString& name : others)
        writeTemporary(dir.filePath(name), name == others.last() ? now + 3600 : now - 3600);
    const QStringList before = folderFiles();

    HiveStore readOnly(path, HiveStore::Access::ReadOnly);
    HiveStore store(path);
    ASSERT_TRUE(store.isWritable());
    EXPECT_EQ(folderFiles(), before);   // opening, even writable, locks and tidies nothing
    {
        const std::unique_ptr<StoreLock> change = store.lockForChanges();
        EXPECT_FALSE(QFile::exists(dir.filePath(crashed)));
    }
    for (const QString& name : others)
        EXPECT_TRUE(QFile::exists(dir.filePath(name))) << name.toStdString();
}

} // namespace
