#include "app/common/RegistryOptions.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace parvelle;

namespace {

QCommandLineParser& parse(QCommandLineParser& parser, const QStringList& arguments)
{
    AddRegistryOptions(parser);
    ParseCommandLine(parser, QStringList{QStringLiteral("parvelle-cli list")} + arguments);
    return parser;
}

} // namespace

TEST(RegistryOptions, EveryOptionReachesItsField)
{
    QCommandLineParser parser;
    const RegistryOptions options = RegistryOptionsFrom(parse(parser, {
        "--software", "/m/SOFTWARE", "--system", "/m/SYSTEM", "--ntuser", "/m/NTUSER.DAT",
        "--windows", "/mnt/c", "--user", "Bob", "--read-only", "--undo-dir", "/u"}));
    EXPECT_EQ(options.software, QStringLiteral("/m/SOFTWARE"));
    EXPECT_EQ(options.system, QStringLiteral("/m/SYSTEM"));
    EXPECT_EQ(options.ntUser, QStringLiteral("/m/NTUSER.DAT"));
    EXPECT_EQ(options.windows, QStringLiteral("/mnt/c"));
    EXPECT_EQ(options.user, QStringLiteral("Bob"));
    EXPECT_TRUE(options.readOnly);
    EXPECT_EQ(options.undoDir, QStringLiteral("/u"));
    EXPECT_TRUE(options.hasSource());

    QCommandLineParser none;
    EXPECT_FALSE(RegistryOptionsFrom(parse(none, {"--read-only", "--undo-dir", "/u"})).hasSource());
}

TEST(RegistryOptions, BadCommandLinesAreUsageErrors)
{
    for (const QStringList& arguments : {QStringList{"--user", "Bob"}, QStringList{"--software", "a", "--software", "b"},
                                         QStringList{"--no-such-option"}, QStringList{"--software"}}) {
        QCommandLineParser parser;
        EXPECT_THROW(parse(parser, arguments), EUsageError) << arguments.join(' ').toStdString();
    }
}

TEST(RegistryOptions, UndoFolderChoice)
{
    int argc = 1;
    char name[] = "cache_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);

    QTemporaryDir dir;
    RegistryOptions options;
    options.undoDir = dir.filePath(QStringLiteral("a/b"));
    EXPECT_EQ(UndoFolder(options), options.undoDir);
    EXPECT_TRUE(QFileInfo(options.undoDir).isDir());

    options.undoDir.clear();
    ASSERT_TRUE(QFileInfo(QCoreApplication::applicationDirPath()).isWritable());
    EXPECT_EQ(UndoFolder(options), QCoreApplication::applicationDirPath());

    // A packaged program run as root would otherwise write its undo files into /usr/bin.
    for (const char* folder : {"/usr/bin", "/usr/bin/", "/bin", "/usr/sbin"})
        EXPECT_TRUE(IsSystemProgramFolder(QString::fromLatin1(folder))) << folder;
    for (const char* folder : {"/usr/local/bin", "/opt/parvelle", "/home/ann/.local/bin", "/usr/bin/parvelle"})
        EXPECT_FALSE(IsSystemProgramFolder(QString::fromLatin1(folder))) << folder;
}
