// parvelle-cli remove / undo / restore / import on the demo hives, run as a user would.
#include "TestData.h"
#include "UndoTestSupport.h"


using namespace parvelle;
using namespace parvelle::test;

namespace {

struct CliResult {
    int status = -1;
    QString out;
    QString err;
};

class UndoCli : public ::testing::Test {
protected:
    QTemporaryDir dir;

    void SetUp() override
    {
        ASSERT_EQ(cli({QStringLiteral("make-demo"), dir.filePath(QStringLiteral("demo"))}).status, 0);
    }

    CliResult cli(const QStringList& arguments)
    {
        QProcess process;
        process.start(QStringLiteral(PARVELLE_BIN_DIR "/parvelle-cli"), arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    // Runs a command on the demo registry with the test's undo folder.
    CliResult onDemo(const QString& command, const QStringList& arguments = {})
    {
        const QStringList options{QStringLiteral("--software"), software(), QStringLiteral("--ntuser"),
                                  dir.filePath(QStringLiteral("demo/NTUSER.DAT")), QStringLiteral("--undo-dir"),
                                  undoFolder()};
        const QStringList words = command.split(u' ');
        return cli(words + options + arguments);
    }

    QString software() const { return dir.filePath(QStringLiteral("demo/SOFTWARE")); }
    QString undoFolder() const { return dir.filePath(QStringLiteral("undo")); }
    QStringList cacheNames()
    {
        QStringList names;
        const QStringList rows = onDemo(QStringLiteral("list --format csv")).out.split(u'\n', Qt::SkipEmptyParts);
        for (const QString& row : rows.mid(1))
            names << row.section(u',', 0, 0);
        return names;
    }
};

const QString kCafe = QStringLiteral("Café Planner");

} // namespace

TEST_F(UndoCli, RemoveListShowRestoreAndImport)
{
    const QStringList before = cacheNames();
    ASSERT_TRUE(before.contains(kCafe));
    ASSERT_TRUE(before.contains(QStringLiteral("7-Zip 4.42")));
    const QStringList hiveBefore = HiveListing(software());

    const CliResult removed = onDemo(QStringLiteral("remove"), {kCafe, QStringLiteral("7-Zip 4.42")});
    EXPECT_EQ(removed.status, 0) << removed.err.toStdString();
    EXPECT_TRUE(removed.out.startsWith(QStringLiteral("Removed 'Café Planner'; undo file "))) << removed.out.toStdString();
    QStringList after = cacheNames();
    EXPECT_FALSE(after.contains(kCafe));
    EXPECT_EQ(after.size(), before.size() - 2);

    const QStringList files = onDemo(QStringLiteral("undo list")).out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(files.size(), 1);
    const QStringList entries = onDemo(QStringLiteral("undo show"), {files[0]}).out.split(u'\n', Qt::SkipEmptyParts);
    const QString cafeKey = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\"
                                           "App Management\\ARPCache\\") + kCafe;
    EXPECT_TRUE(entries.contains(cafeKey + QStringLiteral("\\\\:\"SlowInfoCache\""))) << entries.join(u'\n').toStdString();

    const CliResult restored = onDemo(QStringLiteral("restore"), {files[0], QStringLiteral("--entry"),
                                                                  cafeKey + QStringLiteral("\\\\:\"SlowInfoCache\"")});
    EXPECT_EQ(restored.status, 0) << restored.err.toStdString();
    after = cacheNames();
    EXPECT_TRUE(after.contains(kCafe));
    EXPECT_FALSE(after.contains(QStringLiteral("7-Zip 4.42")));

    EXPECT_EQ(onDemo(QStringLiteral("import"), {dir.filePath(QStringLiteral("undo/")) + files[0]}).status, 0);
    EXPECT_EQ(cacheNames(), before);
    EXPECT_EQ(HiveListing(software()), hiveBefore);
}

TEST_F(UndoCli, FailuresAreReportedWithAStatusAndLeaveTheHive)
{
    const QByteArray hiveBefore = ReadAll(software());
    const CliResult missing = onDemo(QStringLiteral("remove"), {QStringLiteral("No Such Program")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, QStringLiteral("No cache entry named 'No Such Program'\n"));

    const CliResult readOnly = onDemo(QStringLiteral("remove"), {QStringLiteral("--read-only"), kCafe});
    EXPECT_EQ(readOnly.status, 1);
    EXPECT_TRUE(readOnly.err.contains(QStringLiteral("cannot be changed"))) << readOnly.err.toStdString();

    const CliResult outside = onDemo(QStringLiteral("undo show"), {QStringLiteral("..")});
    EXPECT_EQ(outside.status, 1);
    EXPECT_TRUE(outside.err.contains(QStringLiteral("is not the name of a file in the undo folder")));

    EXPECT_EQ(onDemo(QStringLiteral("undo"), {QStringLiteral("frobnicate")}).status, 2);
    EXPECT_EQ(onDemo(QStringLiteral("restore")).status, 2);
    EXPECT_EQ(ReadAll(software()), hiveBefore);
    EXPECT_TRUE(onDemo(QStringLiteral("undo list")).out.isEmpty());
}

TEST_F(UndoCli, RestoreTakesOnlyEntriesOfTheFileAndListingCreatesNoFolder)
{
    const QByteArray hiveBefore = ReadAll(software());
    ASSERT_EQ(onDemo(QStringLiteral("remove"), {kCafe}).status, 0);
    const QString file = onDemo(QStringLiteral("undo list")).out.trimmed();
    const QByteArray hiveRemoved = ReadAll(software());
    const QString elsewhere = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Not In The File");
    const CliResult refused = onDemo(QStringLiteral("restore"), {file, QStringLiteral("--entry"), elsewhere});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("'%1' is not an entry of the undo file").arg(elsewhere)))
        << refused.err.toStdString();
    EXPECT_EQ(ReadAll(software()), hiveRemoved);
    WriteAll(QDir(undoFolder()).filePath(QStringLiteral("empty.reg")), "Windows Registry Editor Version 5.00\r\n\r\n");
    const CliResult empty = onDemo(QStringLiteral("restore"), {QStringLiteral("empty.reg")});
    EXPECT_EQ(empty.status, 0) << empty.err.toStdString();
    EXPECT_EQ(empty.out, QStringLiteral("The undo file has no entries; nothing was restored\n"));
    EXPECT_EQ(ReadAll(software()), hiveRemoved);
    ASSERT_EQ(onDemo(QStringLiteral("restore"), {file}).status, 0);
    EXPECT_NE(ReadAll(software()), hiveBefore);   // restored, in cells of its own
    EXPECT_TRUE(cacheNames().contains(kCafe));

    const QString missingFolder = dir.filePath(QStringLiteral("never"));
    const CliResult listed = cli({QStringLiteral("undo"), QStringLiteral("list"), QStringLiteral("--read-only"),
                                  QStringLiteral("--undo-dir"), missingFolder});
    EXPECT_EQ(listed.status, 0) << listed.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(missingFolder));
}

TEST_F(UndoCli, AFullDiskRefusesTheRemovalAndLeavesNoFragment)
{
    // A private 64 KiB file system for the undo folder; the entry's record needs 3 MB.
    if (QProcess::execute(QStringLiteral("unshare"), {QStringLiteral("--user"), QStringLiteral("--map-root-user"),
                                                      QStringLiteral("--mount"), QStringLiteral("true")}) != 0)
        GTEST_SKIP() << "unshare cannot make a private mount here";
    const QString big = dir.filePath(QStringLiteral("big.reg"));
    WriteAll(big, "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Management\\"
                  "ARPCache\\Big]\r\n\"Data\"=hex:" + QByteArray(999000, 'A').toHex(',').toUpper() + "\r\n");
    ASSERT_EQ(onDemo(QStringLiteral("import"), {big}).status, 0);
    const QByteArray hiveBefore = ReadAll(software());
    QDir().mkpath(undoFolder());
    QProcess process;
    process.start(QStringLiteral("unshare"),
                  {QStringLiteral("--user"), QStringLiteral("--map-root-user"), QStringLiteral("--mount"),
                   QStringLiteral("sh"), QStringLiteral("-c"),
                   QStringLiteral("mount -t tmpfs -o size=64k tmpfs \"$1\" && \"$0\" remove Big --software \"$2\" "
                                  "--undo-dir \"$1\"; status=$?; ls -A \"$1\"; exit $status"),
                   QStringLiteral(PARVELLE_BIN_DIR "/parvelle-cli"), undoFolder(), software()});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 1);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    EXPECT_TRUE(err.contains(QStringLiteral("No space left on device"))) << err.toStdString();
    EXPECT_EQ(process.readAllStandardOutput(), QByteArray());   // no undo file, no temporary file
    EXPECT_EQ(ReadAll(software()), hiveBefore);
}

TEST_F(UndoCli, PathsThatAreNotUtf8OpenAsTheirBytes)
{
    // $E is the byte 0xE9 ("é" in Latin-1), which is not UTF-8: every name below holds it.
    UnpackTestHive("transactions_NTUSER.DAT", dir.filePath(QStringLiteral("dirty")));
    UnpackTestHive("transactions_ntuser.dat.log1", dir.filePath(QStringLiteral("log")));
    const auto shell = [&](const QString& script) {
        QProcess process;
        process.setWorkingDirectory(dir.path());
        process.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("E=$(printf '\\351'); ") + script,
                                             QStringLiteral(PARVELLE_BIN_DIR "/parvelle-cli"),
                                             QStringLiteral(PARVELLE_BIN_DIR "/parvelle")});
        EXPECT_TRUE(process.waitForFinished(120000));
        return std::tuple{process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
    };
    ASSERT_EQ(std::get<0>(shell(QStringLiteral(
                  "mkdir -p \"caf$E/undo$E\" \"col/caf$E/Windows/System32/config\" \"col/caf$E/Users/caf$E\" \"theme$E\" && "
                  "cp demo/SOFTWARE \"caf$E/hive$E\" && cp demo/NTUSER.DAT \"caf$E/user$E\" && "
                  "cp demo/SOFTWARE \"col/caf$E/Windows/System32/config/SOFTWARE\" && "
                  "cp demo/NTUSER.DAT \"col/caf$E/Users/caf$E/NTUSER.DAT\" && "
                  "cp dirty \"caf$E/dirty$E\" && cp log \"caf$E/dirty$E.LOG1\" && cp log \"caf$E/log$E\" && "
                  "printf '[Integers]\\nFormMinWidthInt=150\\n' > \"theme$E/values.txt\" && "
                  "printf 'REGEDIT4\\r\\n\\r\\n[HKEY_LOCAL_MACHINE\\\\SOFTWARE\\\\Imported]\\r\\n\"V\"=\"1\"\\r\\n' > \"caf$E/in$E.reg\""))),
              0);
    const QString onHive = QStringLiteral(" --software \"caf$E/hive$E\" --undo-dir \"caf$E/undo$E\"");
    const struct {
        const char* path;
        QString script;   // $0 is parvelle-cli, $1 the window
        int status;
        QByteArray out;   // a part of standard output, exact in a pipe
        QByteArray err;   // a part of standard error, where such bytes are shown escaped
    } rows[] = {
        {"hives", QStringLiteral("\"$0\" list --format csv --software \"caf$E/hive$E\" --ntuser \"caf$E/user$E\""), 0, "7-Zip 4.42", ""},
        {"hives in the C locale", QStringLiteral("LC_ALL=C LANG=C \"$0\" list --format csv --software \"caf$E/hive$E\""), 0, "7-Zip 4.42", ""},
        {"Windows folder and profile", QStringLiteral("\"$0\" list --format csv --windows \"col/caf$E\""), 0, "7-Zip 4.42", ""},
        {"collection", QStringLiteral("\"$0\" list --collection col"), 0, "caf\\xE9", ""},
        {"logs found beside the hive", QStringLiteral("\"$0\" list --format csv --ntuser \"caf$E/dirty$E\""), 0, "",
         "dirty pages from dirty\\xE9.LOG1"},
        {"recover --log and OUT", QStringLiteral("\"$0\" recover \"caf$E/dirty$E\" \"caf$E/out$E\" --log \"caf$E/log$E\" && "
                                                 "test -s \"caf$E/out$E\""), 0, "caf\xE9/out\xE9\n", "dirty pages from log\\xE9"},
        {"undo folder and file", QStringLiteral("\"$0\" remove '7-Zip 4.42'") + onHive + QStringLiteral(" >/dev/null && "
                                                "mv \"caf$E/undo$E\"/*.reg \"caf$E/undo$E/caf$E.reg\" && \"$0\" undo list") + onHive
                                     + QStringLiteral(" && \"$0\" undo show \"caf$E.reg\"") + onHive,
         0, "caf\xE9.reg\nHKEY_LOCAL_MACHINE\\SOFTWARE\\", ""},
        {"import", QStringLiteral("\"$0\" import \"caf$E/in$E.reg\"") + onHive, 0, "from caf\xE9/in\xE9.reg\n", ""},
        {"theme folder and file", QStringLiteral("\"$0\" theme-pack \"theme$E\" \"caf$E/theme$E\" >/dev/null && "
                                                 "\"$0\" theme-unpack \"caf$E/theme$E\" \"caf$E/unpacked$E\" && "
                                                 "cat \"caf$E/unpacked$E/values.txt\""), 0, "FormMinWidthInt=150", ""},
        {"window", QStringLiteral("\"$1\" --screenshot \"caf$E/shot$E.png\"") + onHive + QStringLiteral(" && test -s \"caf$E/shot$E.png\""),
         0, "", ""},
        {"a missing file named in the message", QStringLiteral("\"$0\" list --software \"caf$E/none$E\""), 1, "",
         "caf\\xE9/none\\xE9' does not exist"},
    };
    for (const auto& row : rows) {
        const auto [status, out, err] = shell(row.script);
        EXPECT_EQ(status, row.status) << row.path << ": " << err.toStdString();
        EXPECT_TRUE(out.contains(row.out)) << row.path << ": " << out.toStdString();
        EXPECT_TRUE(err.contains(row.err)) << row.path << ": " << err.toStdString();
    }
    shell(QStringLiteral("rm -rf \"caf$E\" col \"theme$E\""));   // QTemporaryDir cannot remove such names
}
