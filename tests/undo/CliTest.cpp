// parvelle-cli remove / undo / restore / import on the demo hives, run as a user would.
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
