// parvelle-cli on a hive that was not closed cleanly: its logs applied for listing, the
// note on standard error, changes refused with the next command named, and recover.
#include "TestData.h"
#include "UndoTestSupport.h"

#include <QCryptographicHash>
#include <QDir>

using namespace parvelle;
using namespace parvelle::test;

namespace {

struct CliRun {
    int status = -1;
    QString out;
    QStringList errLines;
};

class DirtyHiveCli : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString hive;

    void SetUp() override
    {
        hive = UnpackTestHive("transactions_NTUSER.DAT", dir.filePath(QStringLiteral("transactions_NTUSER.DAT")));
        for (const char* log : {"transactions_ntuser.dat.log1", "transactions_ntuser.dat.log2"})
            UnpackTestHive(log, dir.filePath(QLatin1String(log)));
    }

    CliRun cli(const QStringList& arguments)
    {
        QProcess process;
        process.start(QStringLiteral(PARVELLE_BIN_DIR "/parvelle-cli"), arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts)};
    }

    // Every file of the folder with its digest.
    QStringList folderState()
    {
        QStringList state;
        for (const QFileInfo& file : QDir(dir.path()).entryInfoList(QDir::Files | QDir::Hidden))
            state << file.fileName() + u' ' + QString::fromLatin1(QCryptographicHash::hash(ReadAll(file.filePath()), QCryptographicHash::Sha256).toHex());
        return state;
    }
};

const QString kApplied = QStringLiteral("parvelle-cli: note: transactions_NTUSER.DAT: transaction logs applied: "
                                        "132 dirty pages from transactions_ntuser.dat.log1");

} // namespace

TEST_F(DirtyHiveCli, ListingNotesTheLogsOnceAndChangesAreRefused)
{
    const QStringList before = folderState();
    const CliRun first = cli({QStringLiteral("list"), QStringLiteral("--ntuser"), hive, QStringLiteral("--format"), QStringLiteral("json")});
    EXPECT_EQ(first.status, 0);
    EXPECT_EQ(first.errLines.count(kApplied), 1) << first.errLines.join(u'\n').toStdString();
    const CliRun second = cli({QStringLiteral("list"), QStringLiteral("--ntuser"), hive, QStringLiteral("--format"), QStringLiteral("json")});
    EXPECT_EQ(second.out, first.out);

    const QString undo = dir.filePath(QStringLiteral("undo"));
    QDir(dir.path()).mkdir(QStringLiteral("in"));
    const QString reg = dir.filePath(QStringLiteral("in/demo.reg"));
    WriteAll(reg, "Windows Registry Editor Version 5.00\r\n\r\n"
                  "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\App Management\\ARPCache\\Demo]\r\n"
                  "\"SlowInfoCache\"=hex:01,02\r\n\r\n");
    for (const QString& command : {QStringLiteral("import"), QStringLiteral("restore")}) {
        SCOPED_TRACE(command.toStdString());
        const CliRun refused = cli({command, reg, QStringLiteral("--ntuser"), hive, QStringLiteral("--undo-dir"), undo});
        EXPECT_EQ(refused.status, 1);
        ASSERT_FALSE(refused.errLines.isEmpty());
        EXPECT_TRUE(refused.errLines.last().contains(QStringLiteral("'parvelle-cli recover %1 NEW-FILE'").arg(hive)))
            << refused.errLines.last().toStdString();
    }
    EXPECT_TRUE(QDir(undo).entryList(QDir::Files).isEmpty());
    EXPECT_EQ(folderState(), before);
}

TEST_F(DirtyHiveCli, WithoutLogsTheListingSaysSoOnOneLine)
{
    QFile::remove(dir.filePath(QStringLiteral("transactions_ntuser.dat.log1")));
    QFile::remove(dir.filePath(QStringLiteral("transactions_ntuser.dat.log2")));
    const CliRun run = cli({QStringLiteral("list"), QStringLiteral("--ntuser"), hive});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.errLines.count(QStringLiteral("parvelle-cli: note: transactions_NTUSER.DAT: the hive was not closed cleanly "
                                                 "and has no transaction logs beside it; its last saved state is used")), 1)
        << run.errLines.join(u'\n').toStdString();
}

TEST_F(DirtyHiveCli, RecoverWritesANewCleanHiveAndNothingElse)
{
    const QStringList before = folderState();
    const QString out = dir.filePath(QStringLiteral("recovered.dat"));
    const CliRun recovered = cli({QStringLiteral("recover"), hive, out});
    EXPECT_EQ(recovered.status, 0) << recovered.errLines.join(u'\n').toStdString();
    EXPECT_EQ(recovered.errLines, QStringList{kApplied});
    EXPECT_EQ(ReadAll(out).mid(4, 8), QByteArray::fromHex("4c0200004c020000"));   // 588/588

    // hivexsh and reglookup read it; it lists as the hive with its logs does.
    QProcess hivexsh;
    hivexsh.start(QStringLiteral("hivexsh"), {out});
    hivexsh.write("cd Software\\Microsoft\\Payment\nls\nquit\n");
    hivexsh.closeWriteChannel();
    ASSERT_TRUE(hivexsh.waitForFinished(60000));
    EXPECT_EQ(hivexsh.exitCode(), 0);
    EXPECT_EQ(hivexsh.readAllStandardError(), QByteArray());
    EXPECT_TRUE(hivexsh.readAllStandardOutput().contains("PaymentApps"));
    EXPECT_FALSE(HiveListing(out).filter(QStringLiteral("/Software/Microsoft/Payment/PaymentApps,")).isEmpty());
    const QString listing = cli({QStringLiteral("list"), QStringLiteral("--ntuser"), hive, QStringLiteral("--format"), QStringLiteral("csv")}).out;
    const CliRun clean = cli({QStringLiteral("list"), QStringLiteral("--ntuser"), out, QStringLiteral("--format"), QStringLiteral("csv")});
    EXPECT_EQ(clean.out, listing);
    EXPECT_TRUE(clean.errLines.filter(QStringLiteral("transaction logs")).isEmpty());

    // Never over an existing file, the hive and its logs included.
    const QByteArray written = ReadAll(out);
    for (const QString& target : {out, hive, dir.filePath(QStringLiteral("transactions_ntuser.dat.log1"))}) {
        const CliRun refused = cli({QStringLiteral("recover"), hive, target});
        EXPECT_EQ(refused.status, 1);
        EXPECT_TRUE(refused.errLines.last().contains(QStringLiteral("already exists"))) << refused.errLines.last().toStdString();
    }
    EXPECT_EQ(ReadAll(out), written);
    QFile::remove(out);
    EXPECT_EQ(folderState(), before);
}

TEST_F(DirtyHiveCli, RecoverTakesLogsFromElsewhereAndFailsWithoutAUsableOne)
{
    QDir(dir.path()).mkdir(QStringLiteral("logs"));
    const QString moved = dir.filePath(QStringLiteral("logs/saved.log"));
    ASSERT_TRUE(QFile::rename(dir.filePath(QStringLiteral("transactions_ntuser.dat.log1")), moved));

    const QString out = dir.filePath(QStringLiteral("out"));
    const CliRun stale = cli({QStringLiteral("recover"), hive, out});
    EXPECT_EQ(stale.status, 1);
    EXPECT_TRUE(stale.errLines.last().contains(QStringLiteral("nothing was written"))) << stale.errLines.last().toStdString();
    EXPECT_TRUE(stale.errLines.first().contains(QStringLiteral("transactions_ntuser.dat.log2 is older than the hive")))
        << stale.errLines.first().toStdString();
    EXPECT_FALSE(QFileInfo::exists(out));

    const QString missing = dir.filePath(QStringLiteral("logs/missing.log"));
    const CliRun lacking = cli({QStringLiteral("recover"), hive, out, QStringLiteral("--log"), moved, QStringLiteral("--log"), missing});
    EXPECT_EQ(lacking.status, 1);
    EXPECT_EQ(lacking.errLines, QStringList{QStringLiteral("parvelle-cli: Cannot read the transaction log '%1': No such file or directory; "
                                                           "nothing was written").arg(missing)});
    EXPECT_FALSE(QFileInfo::exists(out));

    const CliRun named = cli({QStringLiteral("recover"), hive, out, QStringLiteral("--log"), moved});
    EXPECT_EQ(named.status, 0) << named.errLines.join(u'\n').toStdString();
    EXPECT_EQ(named.errLines, QStringList{QStringLiteral("parvelle-cli: note: transactions_NTUSER.DAT: transaction logs applied: "
                                                         "132 dirty pages from saved.log")});

    const QString clean = UnpackTestHive("NTUSER.DAT", dir.filePath(QStringLiteral("clean")));
    const CliRun copied = cli({QStringLiteral("recover"), clean, dir.filePath(QStringLiteral("clean-copy"))});
    EXPECT_EQ(copied.status, 0);
    EXPECT_TRUE(copied.errLines.isEmpty());
    EXPECT_EQ(HiveListing(dir.filePath(QStringLiteral("clean-copy"))), HiveListing(clean));
}
