#include "TestData.h"
#include "TestRegistry.h"
#include "app/common/ListingFormats.h"
#include "registry/RegistrySources.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace parvelle;
using namespace parvelle::test;

namespace {

struct CliResult {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs the built parvelle-cli with a private data folder.
class Cli : public ::testing::Test {
protected:
    CliResult run(const QStringList& arguments)
    {
        QProcess process;
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

    static void expectOneLineFailure(const CliResult& result, int exitCode, const QString& fragment)
    {
        EXPECT_EQ(result.exitCode, exitCode);
        EXPECT_TRUE(result.err.contains(fragment)) << result.err.toStdString();
        EXPECT_TRUE(result.out.isEmpty()) << result.out.toStdString();
        if (exitCode == 1)
            EXPECT_EQ(result.err.count(QLatin1Char('\n')), 1) << result.err.toStdString();
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
        EXPECT_EQ(lines.size(), qsizetype(listIn(hives).Rows.size()) + 1);
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
    EXPECT_EQ(entries.size(), qsizetype(listIn(hives).Rows.size()));
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
    EXPECT_TRUE(help.out.contains(QStringLiteral("list [--format table|csv|json]")));
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
