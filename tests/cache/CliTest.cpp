#include "HiveDamage.h"
#include "TestData.h"
#include "TestRegistry.h"
#include "cache/ListingFormats.h"
#include "core/QuietRead.h"
#include "registry/RegistrySources.h"
#include "registry/TNTRegistry.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <array>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>

using namespace parvelle;
using namespace parvelle::test;

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct CliResult {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs the built parvelle-cli with a private data folder.
class Cli : public ::testing::Test {
protected:
    // Runs with standard output sent to `outputFile` when one is given.
    CliResult run(const QStringList& arguments, const QString& outputFile = {})
    {
        QProcess process;
        if (!outputFile.isEmpty())
            process.setStandardOutputFile(outputFile);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("HOME"), home.path());
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(PARVELLE_BIN_DIR "/parvelle-cli"), arguments);
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
            return {};
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    // make-demo into a fresh folder; the hive options for it.
    QStringList makeDemo(bool vista)
    {
        const QString dir = home.filePath(vista ? QStringLiteral("vista") : QStringLiteral("xp"));
        QStringList arguments{QStringLiteral("make-demo"), dir};
        if (vista)
            arguments.append(QStringLiteral("--vista"));
        const CliResult made = run(arguments);
        EXPECT_EQ(made.exitCode, 0) << made.err.toStdString();
        return {QStringLiteral("--software"), dir + QStringLiteral("/SOFTWARE"), QStringLiteral("--ntuser"),
                dir + QStringLiteral("/NTUSER.DAT")};
    }

    // The same hives listed in this process.
    static CacheListing listIn(const QStringList& hiveOptions)
    {
        RegistrySources sources;
        sources.software = hiveOptions.at(1);
        sources.ntuser = hiveOptions.at(3);
        Machine machine = OpenRegistrySources(sources);
        return ListCache(machine);
    }

    // Adds a cache entry (under HKEY_LOCAL_MACHINE) to the hives of makeDemo(false).
    static void addCacheEntry(const QStringList& hiveOptions, const QString& name, const QString& filePath)
    {
        RegistrySources sources;
        sources.software = hiveOptions.at(1);
        sources.ntuser = hiveOptions.at(3);
        Machine machine = OpenRegistrySources(sources);
        TNTRegistry key(machine);
        key.SelectRoot(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(key.OpenPath(CacheEntryPath(name), true));
        const QByteArray data = record(552, 552, true, 1, fileTime(2006, 1, 2), 3, filePath);
        key.WriteBytes(QStringLiteral("SlowInfoCache"), data.constData(), int(data.size()));
        machine.commit();
    }

    // The line of the table that starts with `name`.
    static QString tableLine(const QString& table, const QString& name)
    {
        for (const QString& line : table.split(QLatin1Char('\n')))
            if (line.startsWith(name))
                return line;
        return {};
    }

    static void expectOneLineFailure(const CliResult& result, int exitCode, const QString& fragment)
    {
        EXPECT_EQ(result.exitCode, exitCode);
        EXPECT_TRUE(result.err.contains(fragment)) << result.err.toStdString();
        EXPECT_TRUE(result.out.isEmpty()) << result.out.toStdString();
        if (exitCode == 1) {
            EXPECT_EQ(result.err.count(QLatin1Char('\n')), 1) << result.err.toStdString();
        }
    }

    QTemporaryDir home;
};

} // namespace

TEST_F(Cli, CsvOfBothDemoKinds)
{
    for (const bool vista : {false, true}) {
        SCOPED_TRACE(vista ? "vista" : "xp");
        const QStringList hives = makeDemo(vista);
        const CliResult csv = run(QStringList{"list", "--format", "csv"} + hives);
        ASSERT_EQ(csv.exitCode, 0) << csv.err.toStdString();
        const QStringList lines = csv.out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        EXPECT_EQ(lines.first(), CacheColumnHeaders().join(QLatin1Char(',')));
        EXPECT_TRUE(lines.contains(QStringLiteral(
            "7-Zip 4.42,Yes,C:\\Program Files\\7-Zip\\7zFM.exe,frequently (12),2006-08-14T03:33:20Z,3801088,True,552,1")));
        EXPECT_TRUE(lines.contains(QStringLiteral(
            "Café Planner,Yes,C:\\Programme\\Café Planner\\CaféPlan.exe,occasionally (4),2006-11-23T09:12:00Z,1048576,True,552,")));
        EXPECT_EQ(csv.out, ListingAsCsv(listIn(hives)));
        EXPECT_EQ(lines.size(), qsizetype(listIn(hives).rows.size()) + 1);
    }
}

TEST_F(Cli, JsonOfTheVistaDemo)
{
    const QStringList hives = makeDemo(true);
    const CliResult json = run(QStringList{"list", "--format", "json"} + hives);
    ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();
    const QJsonObject document = QJsonDocument::fromJson(json.out.toUtf8()).object();
    EXPECT_EQ(document.value("OSKind").toInt(), 8);
    const QJsonArray entries = document.value("entries").toArray();
    EXPECT_EQ(entries.size(), qsizetype(listIn(hives).rows.size()));
    for (const QJsonValue& entry : entries) {
        const QJsonObject e = entry.toObject();
        if (e.value("KeyName").toString() != QStringLiteral("WinZip"))
            continue;
        EXPECT_TRUE(e.value("LastUsed").isNull());
        EXPECT_EQ(e.value("FrequencyText").toString(), QStringLiteral("rarely (0)"));
        EXPECT_EQ(e.value("InAddRemove"), QJsonValue(false));
        EXPECT_TRUE(e.value("Changed").isNull());
        return;
    }
    ADD_FAILURE() << "no WinZip entry";
}

TEST_F(Cli, TableIsTheDefault)
{
    const QStringList hives = makeDemo(false);
    const CliResult table = run(QStringList{"list"} + hives);
    ASSERT_EQ(table.exitCode, 0) << table.err.toStdString();
    EXPECT_EQ(table.out, ListingAsTable(listIn(hives)));
    for (const QString& header : CacheColumnHeaders())
        EXPECT_TRUE(table.out.section(QLatin1Char('\n'), 0, 0).contains(header));
}

TEST_F(Cli, WithoutHivesTheDemoRegistryIsCreatedOnceAndListed)
{
    const CliResult first = run({"list", "--format", "csv"});
    ASSERT_EQ(first.exitCode, 0) << first.err.toStdString();
    const QString software = home.filePath(QStringLiteral("data/Parvelle/Parvelle/demo/SOFTWARE"));
    ASSERT_TRUE(QFileInfo::exists(software));
    const QDateTime written = QFileInfo(software).lastModified();
    EXPECT_GE(first.out.count(QStringLiteral("\r\n")), 26);
    const CliResult second = run({"list", "--format", "csv"});
    EXPECT_EQ(second.out, first.out);
    EXPECT_EQ(QFileInfo(software).lastModified(), written);
}

TEST_F(Cli, UsageErrorsExitWithTwo)
{
    expectOneLineFailure(run({"list", "--format", "xml"}), 2, QStringLiteral("unknown format 'xml'"));
    expectOneLineFailure(run({"list", "--bogus"}), 2, QStringLiteral("bogus"));
    expectOneLineFailure(run({"list", "extra"}), 2, QStringLiteral("unexpected argument 'extra'"));
    expectOneLineFailure(run({"list", "--user", "bob"}), 2, QStringLiteral("--user needs --windows"));
    expectOneLineFailure(run({"frobnicate"}), 2, QStringLiteral("unknown command 'frobnicate'"));
    expectOneLineFailure(run({}), 2, QStringLiteral("no command given"));
    expectOneLineFailure(run({"make-demo"}), 2, QStringLiteral("missing folder"));
}

TEST_F(Cli, HelpExitsWithZero)
{
    const CliResult help = run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains(QStringLiteral("list [--format table|csv|json|jsonl] [--collection ROOT [-j N] [--sources]]")));
    const CliResult listHelp = run({"list", "--help"});
    EXPECT_EQ(listHelp.exitCode, 0);
    EXPECT_TRUE(listHelp.out.contains(QStringLiteral("--software")));
}

TEST_F(Cli, BadHivesFailWithOneLine)
{
    const QString missing = home.filePath(QStringLiteral("no/SOFTWARE"));
    expectOneLineFailure(run({"list", "--software", missing}), 1, QStringLiteral("no/SOFTWARE"));

    const QString corrupt = home.filePath(QStringLiteral("SYSTEM-corrupt"));
    UnpackTestHive("corrupted_system_hive", corrupt);
    const QByteArray before = [&] { QFile f(corrupt); f.open(QIODevice::ReadOnly); return f.readAll(); }();
    ASSERT_FALSE(before.isEmpty());
    expectOneLineFailure(run({"list", "--software", corrupt}), 1, QStringLiteral("SYSTEM-corrupt"));
    QFile after(corrupt);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), before);
}

// A hive bin is checked when a reading first reaches it: damage far from the cache leaves the
// listing whole, while a change or a recovered copy, which writes the whole hive, is refused
// before anything is recorded or written.
TEST_F(Cli, ADamagedBinFarFromTheCacheIsListedButNeverWritten)
{
    const QString hive = MakeBigCacheHive(home.filePath(QStringLiteral("big")), 20, qint64(4) << 20);
    const QString undoDir = home.filePath(QStringLiteral("undo"));
    const QStringList options{QStringLiteral("--software"), hive, QStringLiteral("--undo-dir"), undoDir};
    const QStringList listCsv = QStringList{"list", "--format", "csv"} + options;
    const CliResult intact = run(listCsv);
    ASSERT_EQ(intact.exitCode, 0) << intact.err.toStdString();

    const qsizetype bin = BreakHiveBin(hive, 0.75);
    const QByteArray damaged = [&] { QFile f(hive); f.open(QIODevice::ReadOnly); return f.readAll(); }();
    const CliResult listed = run(listCsv);
    EXPECT_EQ(listed.exitCode, 0) << listed.err.toStdString();
    EXPECT_EQ(listed.out, intact.out);
    EXPECT_EQ(listed.out.count(QStringLiteral("\r\n")), 21);

    const QString brokenBin = QStringLiteral("the hive bin at offset 0x%1 is broken").arg(bin, 0, 16);
    expectOneLineFailure(run(QStringList{"remove", "Program 00003"} + options), 1, brokenBin);
    EXPECT_TRUE(QDir(undoDir).entryList(QDir::Files).isEmpty());
    const QString recovered = home.filePath(QStringLiteral("recovered"));
    expectOneLineFailure(run({"recover", hive, recovered}), 1, brokenBin);
    EXPECT_FALSE(QFileInfo::exists(recovered));
    QFile after(hive);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), damaged);
}

TEST_F(Cli, MakeDemoKeepsExistingHives)
{
    makeDemo(false);
    const QString software = home.filePath(QStringLiteral("xp/SOFTWARE"));
    const QByteArray before = [&] { QFile f(software); f.open(QIODevice::ReadOnly); return f.readAll(); }();
    expectOneLineFailure(run({"make-demo", home.filePath(QStringLiteral("xp"))}), 1, QStringLiteral("already exists"));
    QFile after(software);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), before);
}

TEST_F(Cli, VistaSoftwareAloneListsNothingAndSaysWhere)
{
    const QStringList hives = makeDemo(true);
    const CliResult csv = run({"list", "--format", "csv", hives.at(0), hives.at(1)});
    EXPECT_EQ(csv.exitCode, 0);
    EXPECT_EQ(csv.out, CacheColumnHeaders().join(QLatin1Char(',')) + QStringLiteral("\r\n"));
    EXPECT_TRUE(csv.err.contains(QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Management\\ARPCache")))
        << csv.err.toStdString();
}

TEST_F(Cli, OutputThatCannotBeWrittenFailsInEveryCommand)
{
    const QStringList hives = makeDemo(false);
    const QString undoDir = home.filePath(QStringLiteral("undo"));
    const QStringList withUndo = hives + QStringList{QStringLiteral("--undo-dir"), undoDir};
    const QString full = QStringLiteral("/dev/full");
    const QList<QStringList> commands{
        {"--help"},
        {"list", "--help"},
        QStringList{"list"} + hives,
        QStringList{"list", "--format", "csv"} + hives,
        QStringList{"list", "--format", "json"} + hives,
        {"make-demo", home.filePath(QStringLiteral("another"))},
        QStringList{"remove", "7-Zip 4.42"} + withUndo,
        QStringList{"undo", "list"} + withUndo,
    };
    for (const QStringList& arguments : commands) {
        SCOPED_TRACE(arguments.join(QLatin1Char(' ')).toStdString());
        expectOneLineFailure(run(arguments, full), 1, QStringLiteral("Cannot write the output: No space left on device"));
    }
    // A recovered hive already in place is a success, with the failure warned about.
    const QString recovered = home.filePath(QStringLiteral("recovered"));
    const CliResult recover = run({"recover", hives.at(1), recovered}, full);
    EXPECT_EQ(recover.exitCode, 0);
    EXPECT_EQ(recover.err, QStringLiteral("parvelle-cli: warning: Cannot write the output: No space left on device; '%1' was written\n")
                               .arg(recovered));
    EXPECT_EQ(fileBytes(recovered), fileBytes(hives.at(1)));

    const QStringList undoFiles = QDir(undoDir).entryList(QDir::Files);
    ASSERT_EQ(undoFiles.size(), 1);
    expectOneLineFailure(run(QStringList{"undo", "show", undoFiles.first()} + withUndo, full), 1,
                         QStringLiteral("Cannot write the output"));
    expectOneLineFailure(run(QStringList{"restore", undoFiles.first()} + withUndo, full), 1,
                         QStringLiteral("Cannot write the output"));

    // Standard output closed: said so, and nothing done (no file takes its descriptor).
    const QByteArray before = fileBytes(hives.at(1));
    for (const QStringList& arguments : {QStringList{"list"} + hives, QStringList{"remove", "QuickTime"} + withUndo}) {
        QProcess closed;
        closed.start(QStringLiteral("sh"), QStringList{"-c", "exec \"$0\" \"$@\" >&-", PARVELLE_BIN_DIR "/parvelle-cli"} + arguments);
        ASSERT_TRUE(closed.waitForFinished(60000));
        EXPECT_EQ(closed.exitCode(), 1);
        EXPECT_EQ(QString::fromUtf8(closed.readAllStandardError()), QStringLiteral("parvelle-cli: Cannot write the output: Bad file descriptor\n"));
    }
    EXPECT_EQ(fileBytes(hives.at(1)), before);
    EXPECT_EQ(QDir(undoDir).entryList(QDir::Files), undoFiles);
}

TEST_F(Cli, JsonParsesStrictlyWhateverTheNamesHold)
{
    const QStringList hives = makeDemo(false);
    addCacheEntry(hives, QStringLiteral("Lone") + QChar(0xD800) + QStringLiteral("High\"\x01\t"),
                  QStringLiteral("C:\\lone") + QChar(0xDC00) + QStringLiteral("low.exe"));
    const QString json = home.filePath(QStringLiteral("listing.json"));
    ASSERT_EQ(run(QStringList{"list", "--format", "json"} + hives, json).exitCode, 0);

    QProcess jq;
    jq.setStandardInputFile(json);
    jq.start(QStringLiteral("jq"), {QStringLiteral("-r"), QStringLiteral(".entries[] | select(.KeyName | startswith(\"Lone\")) | .KeyName, .FilePath")});
    ASSERT_TRUE(jq.waitForFinished(10000));
    EXPECT_EQ(jq.exitCode(), 0) << jq.readAllStandardError().toStdString();
    EXPECT_EQ(QString::fromUtf8(jq.readAllStandardOutput()),
              QStringLiteral("Lone\uFFFDHigh\"\x01\t\nC:\\lone\uFFFDlow.exe\n"));
}

TEST_F(Cli, TableAndMessagesShowControlCharactersEscaped)
{
    const QStringList hives = makeDemo(false);
    addCacheEntry(hives, QStringLiteral("Evil\x1b[2J\r\nNext\u202Eexe.txt") + QChar(0), QStringLiteral("C:\\a\tb\x07.exe"));
    const CliResult table = run(QStringList{"list"} + hives);
    ASSERT_EQ(table.exitCode, 0) << table.err.toStdString();
    for (const QChar unsafe : {QChar(0x1b), QChar(u'\r'), QChar(0), QChar(0x202E), QChar(u'\t'), QChar(0x07)})
        EXPECT_FALSE(table.out.contains(unsafe)) << int(unsafe.unicode());
    const QString line = tableLine(table.out, QStringLiteral("Evil"));
    EXPECT_TRUE(line.startsWith(QStringLiteral("Evil\\x1B[2J\\x0D\\x0ANext\\u202Eexe.txt\\x00 "))) << line.toStdString();
    EXPECT_TRUE(line.contains(QStringLiteral(" C:\\a\\x09b\\x07.exe "))) << line.toStdString();

    const CliResult missing = run(QStringList{"remove", QStringLiteral("Nope\x1b]0;owned\x07")} + hives);
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err, QStringLiteral("No cache entry named 'Nope\\x1B]0;owned\\x07'\n"));
}

TEST_F(Cli, TableColumnsAreMeasuredInTerminalCellsAndLongCellsCut)
{
    const QStringList hives = makeDemo(false);
    const QString wideName = QStringLiteral("中文程序");   // eight cells
    addCacheEntry(hives, wideName, QStringLiteral("C:\\") + QString(200, QLatin1Char('x')) + QStringLiteral(".exe"));
    const CliResult table = run(QStringList{"list"} + hives);
    ASSERT_EQ(table.exitCode, 0) << table.err.toStdString();
    const QString header = table.out.section(QLatin1Char('\n'), 0, 0);
    const QString line = tableLine(table.out, wideName);
    ASSERT_FALSE(line.isEmpty());
    const qsizetype padding = line.indexOf(QLatin1String("No")) - wideName.size();
    EXPECT_EQ(header.indexOf(QLatin1String("In Add/Remove")), 8 + padding);

    const qsizetype pathColumn = header.indexOf(QLatin1String("File Path"));
    const qsizetype nextColumn = header.indexOf(QLatin1String("Frequency"));
    EXPECT_LT(nextColumn - pathColumn, 80);
    const QString cell = line.mid(line.indexOf(QLatin1String("C:\\x")));
    EXPECT_TRUE(cell.section(QLatin1Char(' '), 0, 0).endsWith(QStringLiteral("…"))) << line.toStdString();
    EXPECT_EQ(line.indexOf(QLatin1String("occasionally (3)")) + 8 - wideName.size(), nextColumn);
}

TEST_F(Cli, CommandHelpNamesTheCommand)
{
    EXPECT_EQ(run({"list", "--help"}).out.section(QLatin1Char('\n'), 0, 0), QStringLiteral("Usage: parvelle-cli list [options]"));
    EXPECT_TRUE(run({"undo", "--help"}).out.startsWith(QStringLiteral("Usage: parvelle-cli undo [options] list | show FILE\n")));
}

TEST_F(Cli, ImportCreatesAKeyDirectlyUnderTheUserHivesRoot)
{
    const QStringList hives = makeDemo(false);
    const QString regFile = home.filePath(QStringLiteral("top.reg"));
    QFile file(regFile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\NewTopKey]\r\n\"Value\"=\"x\"\r\n\r\n");
    file.close();
    const CliResult imported = run(QStringList{"import", regFile} + hives);
    EXPECT_EQ(imported.exitCode, 0) << imported.err.toStdString();

    RegistrySources sources;
    sources.ntuser = hives.at(3);
    Machine machine = OpenRegistrySources(sources);
    TNTRegistry key(machine);
    key.SelectRoot(HKEY_CURRENT_USER);
    ASSERT_TRUE(key.OpenPath(QStringLiteral("\\NewTopKey"), false));
    EXPECT_EQ(key.ReadText(QStringLiteral("Value")), QStringLiteral("x"));

    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\NewTopKey]\r\n\r\n");
    file.close();
    expectOneLineFailure(run(QStringList{"import", regFile} + hives), 1,
                         QStringLiteral("No hive holds the key 'HKEY_LOCAL_MACHINE\\NewTopKey'"));
}

TEST_F(Cli, SeveralProfilesNeedUserOnlyWhenTheCacheIsInTheUserHive)
{
    for (const bool vista : {false, true}) {
        SCOPED_TRACE(vista ? "vista" : "xp");
        const QStringList hives = makeDemo(vista);
        const QDir installation(home.filePath(vista ? QStringLiteral("c-vista") : QStringLiteral("c-xp")));
        ASSERT_TRUE(installation.mkpath(QStringLiteral("Windows/System32/config")));
        ASSERT_TRUE(QFile::copy(hives.at(1), installation.filePath(QStringLiteral("Windows/System32/config/SOFTWARE"))));
        for (const QString& profile : {QStringLiteral("Alice"), QStringLiteral("Bob")}) {
            ASSERT_TRUE(installation.mkpath(QStringLiteral("Users/") + profile));
            ASSERT_TRUE(QFile::copy(hives.at(3), installation.filePath(QStringLiteral("Users/%1/NTUSER.DAT").arg(profile))));
        }
        const QStringList windows{QStringLiteral("--windows"), installation.path()};
        const CliResult csv = run(QStringList{"list", "--format", "csv"} + windows);
        if (vista) {
            expectOneLineFailure(csv, 1, QStringLiteral("Alice, Bob; choose one with --user"));
        } else {
            EXPECT_EQ(csv.exitCode, 0) << csv.err.toStdString();
            EXPECT_EQ(csv.out, ListingAsCsv(listIn(hives)));
        }
        const CliResult bob = run(QStringList{"list", "--format", "csv", "--user", "bob"} + windows);
        EXPECT_EQ(bob.exitCode, 0) << bob.err.toStdString();
        EXPECT_EQ(bob.out, ListingAsCsv(listIn(hives)));
    }
}

TEST_F(Cli, UserHiveAloneListsItsOwnCacheWithANote)
{
    const QStringList hives = makeDemo(true);
    const CliResult csv = run({"list", "--format", "csv", hives.at(2), hives.at(3)});
    EXPECT_EQ(csv.exitCode, 0) << csv.err.toStdString();
    EXPECT_EQ(csv.err, QStringLiteral("parvelle-cli: note: without a SOFTWARE hive the Windows version is unknown; "
                                      "the cache of HKEY_CURRENT_USER is listed\n"));
    // The same entries as with the SOFTWARE hive, none of them found in its Uninstall key.
    CacheListing expected = listIn(hives);
    ASSERT_FALSE(expected.rows.empty());
    for (CacheRow& row : expected.rows) {
        row.InAddRemove = false;
        row.columns[ccInAddRemove] = InAddRemoveText(false);
    }
    EXPECT_EQ(csv.out, ListingAsCsv(expected));

    // What is listed there is what remove takes away.
    const QString name = expected.rows.front().columns[ccKeyName];
    const CliResult removed = run({"remove", name, hives.at(2), hives.at(3), "--undo-dir", home.filePath("undo")});
    EXPECT_EQ(removed.exitCode, 0) << removed.err.toStdString();
    const CliResult after = run({"list", "--format", "csv", hives.at(2), hives.at(3)});
    EXPECT_EQ(after.out.count(u'\n'), csv.out.count(u'\n') - 1);
    EXPECT_FALSE(after.out.contains(name));
}

TEST_F(Cli, DamagedCacheEntryIsMarkedAndTheOthersListed)
{
    const QStringList hives = makeDemo(false);
    const qsizetype entries = qsizetype(listIn(hives).rows.size());
    BreakKeyCell(hives.at(1), "ARPCache", "Ad-Aware SE Personal");
    const QByteArray damaged = fileBytes(hives.at(1));

    const CliResult csv = run(QStringList{"list", "--format", "csv"} + hives);
    EXPECT_EQ(csv.exitCode, 0) << csv.err.toStdString();
    const QStringList lines = csv.out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    EXPECT_EQ(lines.size(), entries + 1);
    EXPECT_TRUE(lines.contains(QStringLiteral("<unreadable name>,No,<damaged key>,,,,,,"))) << csv.out.toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral(
        "7-Zip 4.42,Yes,C:\\Program Files\\7-Zip\\7zFM.exe,frequently (12),2006-08-14T03:33:20Z,3801088,True,552,1")));
    EXPECT_EQ(csv.err.count(QLatin1Char('\n')), 1);
    EXPECT_TRUE(csv.err.startsWith(QStringLiteral("parvelle-cli: warning: entry listed without its record, <unreadable name>: "
                                                  "The hive file")) && csv.err.contains(QStringLiteral("is broken")))
        << csv.err.toStdString();

    const CliResult json = run(QStringList{"list", "--format", "json"} + hives);
    const QJsonArray rows = QJsonDocument::fromJson(json.out.toUtf8()).object().value("entries").toArray();
    ASSERT_EQ(rows.size(), entries);
    const auto marked = std::count_if(rows.begin(), rows.end(), [](const QJsonValue& r) { return r.toObject().value("Damage").isString(); });
    EXPECT_EQ(marked, 1);

    expectOneLineFailure(run(QStringList{"remove", "7-Zip 4.42"} + hives + QStringList{"--undo-dir", home.filePath("undo")}), 1,
                         QStringLiteral("Cannot delete the key '") + RootName(HKEY_LOCAL_MACHINE) + CacheEntryPath("7-Zip 4.42"));
    EXPECT_EQ(fileBytes(hives.at(1)), damaged);
}

TEST_F(Cli, DamagedUninstallSubkeyMakesUnfoundAnswersUnknown)
{
    const QStringList hives = makeDemo(false);
    const CacheListing before = listIn(hives);
    BreakKeyCell(hives.at(1), "Uninstall", "7-Zip 4.42");

    const CliResult csv = run(QStringList{"list", "--format", "csv"} + hives);
    EXPECT_EQ(csv.exitCode, 0) << csv.err.toStdString();
    const QStringList lines = csv.out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), qsizetype(before.rows.size()) + 1);
    for (size_t i = 0; i < before.rows.size(); ++i) {
        const CacheRow& row = before.rows[i];
        const bool stillFound = row.InAddRemove && row.KeyName != QStringLiteral("7-Zip 4.42");
        EXPECT_EQ(lines.at(qsizetype(i) + 1).section(QLatin1Char(','), 1, 1), stillFound ? QStringLiteral("Yes") : QStringLiteral("Unknown"))
            << row.KeyName.toStdString();
    }
    EXPECT_EQ(csv.err.count(QLatin1Char('\n')), 1);
    EXPECT_TRUE(csv.err.contains(QStringLiteral("Uninstall key being damaged"))) << csv.err.toStdString();
}

// Each kind of damage to each key on the way to the cache and to Uninstall: a key in a cell
// marked free, its record intact, is read as it stands with one warning naming it; a key that
// cannot be read fails the listing naming its offset, never an empty listing; an unreadable
// Uninstall key makes every In Add/Remove answer Unknown, with one warning. Recovery refuses
// every one of them.
TEST_F(Cli, DamageOnTheWayToTheCacheIsReadThroughOrNamed)
{
    const QStringList hives = makeDemo(false);
    const QStringList listCsv = QStringList{"list", "--format", "csv"} + hives;
    const CliResult intact = run(listCsv);
    ASSERT_EQ(intact.exitCode, 0) << intact.err.toStdString();
    const QByteArray pristine = fileBytes(hives.at(1));
    const std::pair<const char*, const char*> path[] = {
        {"ROOT", "Microsoft"}, {"Microsoft", "Windows"}, {"Microsoft\\Windows", "CurrentVersion"},
        {"Windows\\CurrentVersion", "App Management"}, {"App Management", "ARPCache"}, {"Windows\\CurrentVersion", "Uninstall"}};
    for (const auto& [parent, key] : path) {
        for (const KeyDamage damage : {KeyDamage::Signature, KeyDamage::MarkedFree, KeyDamage::CellSize}) {
            SCOPED_TRACE(std::string(key) + " " + KeyDamageName(damage));
            QFile file(hives.at(1));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(pristine) == pristine.size());
            file.close();
            const QString offset = QStringLiteral("at offset 0x%1").arg(BreakKeyCell(hives.at(1), parent, key, damage), 0, 16);
            const CliResult listed = run(listCsv);
            if (damage == KeyDamage::MarkedFree) {
                EXPECT_EQ(listed.exitCode, 0);
                EXPECT_EQ(listed.out, intact.out);
                EXPECT_EQ(listed.err.count(QLatin1Char('\n')), 1) << listed.err.toStdString();
                EXPECT_TRUE(listed.err.startsWith(QStringLiteral("parvelle-cli: warning: "))
                            && listed.err.contains(QStringLiteral("'%1' ").arg(QLatin1String(key)) + offset)
                            && listed.err.contains(QStringLiteral("marked free"))) << listed.err.toStdString();
            } else if (QLatin1String(key) == QLatin1String("Uninstall")) {
                EXPECT_EQ(listed.exitCode, 0);
                const QStringList lines = listed.out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
                EXPECT_EQ(lines.size(), intact.out.count(QStringLiteral("\r\n")));
                for (const QString& line : lines.mid(1))
                    EXPECT_EQ(line.section(QLatin1Char(','), 1, 1), QStringLiteral("Unknown")) << line.toStdString();
                EXPECT_EQ(listed.err.count(QLatin1Char('\n')), 1) << listed.err.toStdString();
                EXPECT_TRUE(listed.err.contains(QStringLiteral("Uninstall key being damaged")) && listed.err.contains(offset))
                    << listed.err.toStdString();
            } else {
                expectOneLineFailure(listed, 1, offset);
            }
            // A recovered copy is checked whole: any damage refuses it, naming the key, or its
            // parent when its name cannot be read.
            const QString recovered = home.filePath(QStringLiteral("recovered"));
            const CliResult refused = run({"recover", hives.at(1), recovered});
            expectOneLineFailure(refused, 1, offset);
            const QString named = damage == KeyDamage::MarkedFree ? QStringLiteral("'%1' ").arg(QLatin1String(key))
                                  : QLatin1String(parent) == QLatin1String("ROOT") ? QStringLiteral("in a subkey of '\\')")
                                                                                  : QStringLiteral("\\%1')").arg(QLatin1String(parent));
            EXPECT_TRUE(refused.err.contains(named) && refused.err.contains(QStringLiteral("nothing was written")))
                << refused.err.toStdString();
            EXPECT_FALSE(QFileInfo::exists(recovered));
        }
    }
}

namespace {

// Every time of the folder and of each entry in it, by name; the folder is read without
// changing its access time.
std::map<QString, std::array<timespec, 3>> folderTimes(const QString& folder)
{
    std::map<QString, std::array<timespec, 3>> times;
    const QStringList names = QuietFolderEntries(folder, EntryKind::Files) + QuietFolderEntries(folder, EntryKind::Folders);
    for (const QString& name : names + QStringList{"."}) {
        struct stat st {};
        if (::lstat(QFile::encodeName(QDir(folder).filePath(name)).constData(), &st) == 0)
            times[name] = {st.st_atim, st.st_mtim, st.st_ctim};
    }
    return times;
}

bool operator==(const timespec& a, const timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

} // namespace

// A folder of evidence (a dirty user hive with its logs, a crashed save's temporary file)
// whose access times are older than its modification times, so that any read the system
// stamps shows: the reading commands leave every entry and time as it was.
TEST_F(Cli, ReadingCommandsLeaveTheEvidenceFolderAsItWas)
{
    const QStringList demo = makeDemo(false);
    const QString evidence = home.filePath(QStringLiteral("evidence"));
    ASSERT_TRUE(QDir().mkpath(evidence));
    const QString software = evidence + QStringLiteral("/SOFTWARE");
    const QString ntuser = evidence + QStringLiteral("/NTUSER.DAT");
    ASSERT_TRUE(QFile::copy(demo.at(1), software));
    UnpackTestHive("transactions_NTUSER.DAT", ntuser);
    UnpackTestHive("transactions_ntuser.dat.log1", ntuser + QStringLiteral(".LOG1"));
    UnpackTestHive("transactions_ntuser.dat.log2", ntuser + QStringLiteral(".LOG2"));
    QFile crashed(evidence + QStringLiteral("/.SOFTWARE.parvelle-a1B2c3"));
    ASSERT_TRUE(crashed.open(QIODevice::WriteOnly) && crashed.write("x") == 1);
    crashed.close();
    const QString undoFile = home.filePath(QStringLiteral("20080303-140509.reg"));
    QFile reg(undoFile);
    ASSERT_TRUE(reg.open(QIODevice::WriteOnly) && reg.write("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n\"V\"=\"1\"\r\n") > 0);
    reg.close();
    const QStringList hives{QStringLiteral("--software"), software, QStringLiteral("--ntuser"), ntuser};
    const QStringList undoDir{QStringLiteral("--undo-dir"), evidence + QStringLiteral("/undo")};
    for (const QStringList& command : {QStringList{"list"} + hives, QStringList{"list", "--format", "csv"} + hives,
                                       QStringList{"list", "--format", "json"} + hives, QStringList{"undo", "list"} + undoDir,
                                       QStringList{"undo", "show", undoFile} + undoDir,
                                       QStringList{"recover", ntuser, home.filePath(QStringLiteral("recovered"))}}) {
        SCOPED_TRACE(command.join(u' ').toStdString());
        for (const auto& entry : folderTimes(evidence)) {
            const timespec stamps[2] = {{1000000000, 0}, {1100000000, 0}};   // accessed before modified
            ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(QDir(evidence).filePath(entry.first)).constData(), stamps,
                                  AT_SYMLINK_NOFOLLOW), 0);
        }
        const auto before = folderTimes(evidence);
        const CliResult result = run(command);
        EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
        const auto after = folderTimes(evidence);
        ASSERT_EQ(after.size(), before.size());
        for (const auto& [name, times] : before) {
            const auto now = after.find(name);
            ASSERT_NE(now, after.end()) << name.toStdString();
            for (int i = 0; i < 3; ++i)
                EXPECT_TRUE(now->second[i] == times[i]) << name.toStdString() << " (time " << i << ")";
        }
    }
}

TEST_F(Cli, UndoLinesAreExactInAPipeAndEscapedOnATerminal)
{
    const QStringList hives = makeDemo(false);
    const QString name = QStringLiteral("Bold\x1b[1mName");
    addCacheEntry(hives, name, QStringLiteral("C:\\b.exe"));
    const QStringList undo = hives + QStringList{QStringLiteral("--undo-dir"), home.filePath(QStringLiteral("undo"))};
    const CliResult removed = run(QStringList{"remove", name} + undo);
    ASSERT_EQ(removed.exitCode, 0) << removed.err.toStdString();
    EXPECT_TRUE(removed.out.startsWith(QStringLiteral("Removed '") + name + QStringLiteral("'")));
    const QString undoFile = QDir(home.filePath(QStringLiteral("undo"))).entryList(QDir::Files).value(0);
    const QStringList show = QStringList{"undo", "show", undoFile} + undo;
    EXPECT_TRUE(run(show).out.contains(name));

    // The same command with a terminal as its output.
    QStringList quoted{QStringLiteral(PARVELLE_BIN_DIR "/parvelle-cli")};
    for (const QString& argument : show)
        quoted.append(QLatin1Char('\'') + argument + QLatin1Char('\''));
    QProcess script;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    script.setProcessEnvironment(env);
    script.start(QStringLiteral("script"), {QStringLiteral("-qec"), quoted.join(QLatin1Char(' ')), QStringLiteral("/dev/null")});
    ASSERT_TRUE(script.waitForFinished(60000));
    const QString onTerminal = QString::fromUtf8(script.readAllStandardOutput());
    EXPECT_EQ(script.exitCode(), 0) << onTerminal.toStdString();
    EXPECT_TRUE(onTerminal.contains(QStringLiteral("Bold\\x1B[1mName"))) << onTerminal.toStdString();
    EXPECT_FALSE(onTerminal.contains(QChar(0x1b))) << onTerminal.toStdString();
}

namespace {

// Every file and folder below `root` with its size and modification time, links not followed.
QStringList folderSnapshot(const QString& root)
{
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo entry(it.next());
        entries.append(QStringLiteral("%1 %2 %3").arg(entry.filePath()).arg(entry.size()).arg(entry.lastModified().toMSecsSinceEpoch()));
    }
    entries.sort();
    return entries;
}

void copyInto(const QString& from, const QDir& root, const QString& to)
{
    ASSERT_TRUE(root.mkpath(QFileInfo(root.filePath(to)).path()));
    ASSERT_TRUE(QFile::copy(from, root.filePath(to))) << to.toStdString();
}

// The CSV rows of a listing, each led by its source's fields.
QStringList rowsWithSource(const CacheListing& listing, const QString& source, const QString& hive, const QString& user)
{
    QStringList rows = ListingAsCsv(listing).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts).mid(1);
    for (QString& row : rows)
        row.prepend(QStringList{source, hive, user}.join(QLatin1Char(',')) + QLatin1Char(','));
    return rows;
}

} // namespace

// A collection of machines as triage tools leave them: an XP installation below a drive
// folder, a Vista one in other letter cases whose caches are per user (one user hive dirty,
// with its transaction log), a corrupt one, a link out of the collection and an unrelated folder.
class CliCollection : public Cli {
protected:
    void SetUp() override
    {
        xp = makeDemo(false);
        vista = makeDemo(true);
        QDir(home.path()).mkpath(QStringLiteral("collection"));
        root = QDir(home.filePath(QStringLiteral("collection")));
        copyInto(xp.at(1), root, QStringLiteral("alpha/C/Windows/System32/config/SOFTWARE"));
        copyInto(xp.at(3), root, QStringLiteral("alpha/C/Documents and Settings/Owner/NTUSER.DAT"));
        copyInto(vista.at(1), root, QStringLiteral("beta/windows/system32/CONFIG/software"));
        copyInto(vista.at(3), root, QStringLiteral("beta/users/alice/ntuser.dat"));
        const QString bob = QStringLiteral("beta/DOCUMENTS AND SETTINGS/Bob/");
        ASSERT_TRUE(root.mkpath(bob));
        UnpackTestHive("transactions_NTUSER.DAT", root.filePath(bob + QStringLiteral("NTUSER.DAT")));
        UnpackTestHive("transactions_ntuser.dat.log1", root.filePath(bob + QStringLiteral("NTUSER.DAT.LOG1")));
        ASSERT_TRUE(root.mkpath(QStringLiteral("gamma/WINDOWS/system32/config")));
        UnpackTestHive("corrupted_system_hive", root.filePath(QStringLiteral("gamma/WINDOWS/system32/config/software")));
        ASSERT_TRUE(root.mkpath(QStringLiteral("notes/empty")));
        copyInto(xp.at(1), QDir(home.path()), QStringLiteral("outside/Windows/System32/config/SOFTWARE"));
        ASSERT_TRUE(QFile::link(home.filePath(QStringLiteral("outside")), root.filePath(QStringLiteral("notes/outside"))));
    }

    QStringList xp;
    QStringList vista;
    QDir root;
};

TEST_F(CliCollection, ListsEveryInstallationAndUserInOrderReadingOnly)
{
    const QStringList before = folderSnapshot(root.path());
    const QByteArray searched = QFile::encodeName(root.filePath(QStringLiteral("notes")));
    const timespec accessedBeforeModified[2] = {{1000000000, 0}, {0, UTIME_OMIT}};
    ASSERT_EQ(::utimensat(AT_FDCWD, searched.constData(), accessedBeforeModified, 0), 0);
    const QStringList listCsv{"list", "--collection", root.path(), "--format", "csv"};
    const CliResult csv = run(listCsv + QStringList{"-j", "3"});
    struct stat afterSearch {};
    ASSERT_EQ(::stat(searched.constData(), &afterSearch), 0);
    EXPECT_EQ(afterSearch.st_atim.tv_sec, 1000000000) << "a searched folder's access time changed";
    EXPECT_EQ(csv.exitCode, 1);
    QStringList expected{CsvHeaderWithSource().trimmed()};
    expected += rowsWithSource(listIn(xp), "alpha/C", "alpha/C/Windows/System32/config/SOFTWARE", "");
    expected += rowsWithSource(listIn(vista), "beta", "beta/users/alice/ntuser.dat", "alice");
    EXPECT_EQ(csv.out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts), expected);
    const QStringList messages = csv.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_TRUE(messages.first().startsWith(QStringLiteral("parvelle-cli: note: link not followed out of the collection: notes/outside -> ")));
    EXPECT_TRUE(messages.contains(QStringLiteral("parvelle-cli: beta, user Bob: note: NTUSER.DAT: transaction logs applied: "
                                                 "132 dirty pages from NTUSER.DAT.LOG1"))) << csv.err.toStdString();
    EXPECT_TRUE(csv.err.contains(QStringLiteral("parvelle-cli: gamma: failed: "))) << csv.err.toStdString();
    EXPECT_EQ(messages.last(), QStringLiteral("parvelle-cli: 1 of 4 sources failed"));
    EXPECT_EQ(run(listCsv + QStringList{"-j", "1"}).out, csv.out);

    const QString table = run({"list", "--collection", root.path()}).out;
    EXPECT_TRUE(table.contains(QRegularExpression(QStringLiteral("^Source +Hive +User +KeyName")))) << table.toStdString();
    EXPECT_TRUE(table.contains(QStringLiteral("beta/users/alice/ntuser.dat  alice ")));

    // JSON names the failed source with its error; JSON Lines carry the timeline's fields.
    const QJsonArray sources = QJsonDocument::fromJson(run({"list", "--collection", root.path(), "--format", "json"}).out.toUtf8())
                                   .object().value("sources").toArray();
    ASSERT_EQ(sources.size(), 4);
    EXPECT_EQ(sources.at(1).toObject().value("User").toString(), QStringLiteral("Bob"));
    EXPECT_EQ(sources.at(2).toObject().value("entries").toArray().size(), qsizetype(listIn(vista).rows.size()));
    EXPECT_TRUE(sources.at(3).toObject().value("Error").toString().contains(QStringLiteral("software")));
    const CliResult jsonl = run({"list", "--collection", root.path(), "--format", "jsonl"});
    const QJsonObject sevenZip = QJsonDocument::fromJson(jsonl.out.section(QLatin1Char('\n'), 0, 0).toUtf8()).object();
    EXPECT_EQ(sevenZip.value("Source").toString(), QStringLiteral("alpha/C"));
    EXPECT_TRUE(sevenZip.value("User").isNull());
    EXPECT_EQ(sevenZip.value("datetime").toString(), sevenZip.value("LastUsed").toString());
    EXPECT_EQ(sevenZip.value("timestamp_desc").toString(), QStringLiteral("Last Used"));
    EXPECT_EQ(sevenZip.value("message").toString(),
              sevenZip.value("KeyName").toString() + " | " + sevenZip.value("FilePath").toString() + " | "
                  + sevenZip.value("FrequencyText").toString());

    // On a terminal a progress line is drawn on standard error and cleared at the end.
    QProcess script;
    script.start(QStringLiteral("script"), {QStringLiteral("-qec"),
                                            QStringLiteral(PARVELLE_BIN_DIR "/parvelle-cli list --format csv --collection '%1' -j 2 >/dev/null")
                                                .arg(root.path()),
                                            QStringLiteral("/dev/null")});
    ASSERT_TRUE(script.waitForFinished(60000));
    const QString terminal = QString::fromUtf8(script.readAllStandardOutput());
    EXPECT_TRUE(terminal.contains(QStringLiteral("3 of 3 installations, %1 rows").arg(expected.size() - 1))) << terminal.toStdString();
    EXPECT_TRUE(terminal.contains(QStringLiteral("\r\x1b[Kparvelle-cli: 1 of 4 sources failed"))) << terminal.toStdString();

    EXPECT_EQ(folderSnapshot(root.path()), before);
}

// A collection split into one listing per source as --sources names them, run by GNU
// parallel, gives the rows the collection gives.
TEST_F(CliCollection, PerSourceRunsThroughGnuParallelAddUpToTheCollection)
{
    const QString sources = home.filePath(QStringLiteral("sources"));
    const CliResult listed = run({"list", "--collection", root.path(), "--sources"}, sources);
    EXPECT_EQ(listed.exitCode, 1);   // the corrupt installation
    QFile written(sources);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), QByteArray("alpha/C\t\nbeta\tBob\nbeta\talice\n"));
    QProcess parallel;
    parallel.setWorkingDirectory(root.path());
    parallel.start(QStringLiteral("parallel"), {"--will-cite", "--colsep", "\t", "-j", "2", PARVELLE_BIN_DIR "/parvelle-cli", "list",
                                                "--format", "jsonl", "--windows", "{1}", "--user", "{2}", "::::", sources});
    ASSERT_TRUE(parallel.waitForFinished(60000)) << "GNU parallel (Debian's parallel) is needed";
    EXPECT_EQ(parallel.exitCode(), 0) << parallel.readAllStandardError().toStdString();
    QStringList perSource = QString::fromUtf8(parallel.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);

    QProcess collection;
    collection.setWorkingDirectory(root.path());
    collection.start(QStringLiteral(PARVELLE_BIN_DIR "/parvelle-cli"), {"list", "--format", "jsonl", "--collection", "."});
    ASSERT_TRUE(collection.waitForFinished(60000));
    QStringList whole = QString::fromUtf8(collection.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_EQ(whole.size(), qsizetype(listIn(xp).rows.size() + listIn(vista).rows.size()));
    perSource.sort();
    whole.sort();
    EXPECT_EQ(perSource, whole);
}
