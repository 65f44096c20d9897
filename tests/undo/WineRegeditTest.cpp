// Wine's registry editor imports our undo files (regedit /s) and exports the keys again:
// names outside ASCII, expandable and multi-strings come back exactly under both headers.
#include "UndoTestSupport.h"
#include "undo/RegFile.h"
#include "undo/UndoText.h"

#include <QDir>
#include <QStandardPaths>
#include <memory>

using namespace parvelle;
using namespace parvelle::test;

namespace {

const QString kEntry = QStringLiteral("Programme Ünïcödé");

// One Wine prefix for the test binary's run: its first start takes most of the time.
class WineRegedit : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("wine")).isEmpty())
            return;
        prefixFolder_ = std::make_unique<QTemporaryDir>();
    }
    static void TearDownTestSuite()
    {
        if (prefixFolder_)
            QProcess::execute(QStringLiteral("wineserver"), {QStringLiteral("-k")});   // the prefix's server
        prefixFolder_.reset();
    }

    void SetUp() override
    {
        if (!prefixFolder_)
            GTEST_SKIP() << "wine is not installed (apt-get install wine)";
        qputenv("WINEPREFIX", QFile::encodeName(prefixFolder_->filePath(QStringLiteral("prefix"))));
        qputenv("WINEDEBUG", "-all");
        qputenv("WINEDLLOVERRIDES", "mscoree,mshtml=");
    }

    // Runs Wine's regedit with the arguments; a file argument is given as a Windows path.
    static void regedit(const QStringList& arguments)
    {
        RunTool(QStringLiteral("wine"), QStringList{QStringLiteral("regedit")} + arguments);
    }
    static QString windowsPath(const QString& path)
    {
        return QStringLiteral("Z:") + QDir::toNativeSeparators(path).replace(u'/', u'\\');
    }

    static inline std::unique_ptr<QTemporaryDir> prefixFolder_;
    QTemporaryDir dir;
};

void AddEntry(MemoryStore& store, NodeId entry)
{
    store.setValue(entry, {QStringLiteral("Nämé"), REG_SZ, Utf16z(QStringLiteral("Wërt € \"q\" C:\\"))});
    store.setValue(entry, {QStringLiteral("Päth"), REG_EXPAND_SZ, Utf16z(QStringLiteral("%SystemRoot%\\Sÿstem32"))});
    store.setValue(entry, {QStringLiteral("Lïst"), REG_MULTI_SZ,
                           Utf16z(QStringLiteral("ä")) + Utf16z(QStringLiteral("%b%")) + QByteArray(2, '\0')});
    store.setValue(entry, {QStringLiteral("SlowInfoCache"), REG_BINARY, Pattern(552)});
    store.setValue(entry, {QStringLiteral("Changed"), REG_DWORD, Dword(0x80000001)});
    store.setValue(entry, {QString(), REG_SZ, Utf16z(QStringLiteral("défaut"))});
    store.setValue(store.addChild(entry, QStringLiteral("Ünter")),
                   {QStringLiteral("Zeilen"), REG_SZ, Utf16z(QStringLiteral("1\r\n2"))});
}

} // namespace

TEST_F(WineRegedit, ImportsAndExportsUndoFilesOfBothHeadersExactly)
{
    // OS kind 5: the 5.00 header (UTF-16), the entry under HKEY_LOCAL_MACHINE; OS kind 8:
    // REGEDIT4 (Windows-1252), under HKEY_CURRENT_USER.
    for (const uint8_t osKind : {uint8_t(5), uint8_t(8)}) {
        SCOPED_TRACE(int(osKind));
        const bool underUser = osKind == 8;
        MemoryCacheMachine registry;
        MemoryStore& store = underUser ? *registry.user : *registry.software;
        AddEntry(store, registry.cacheEntry(kEntry, underUser));
        const QString below = (underUser ? QStringLiteral("Software\\") : QString()) + kArpCacheBelowSoftware
                              + u'\\' + kEntry;
        QStringList before = Snapshot(store, *store.find(store.root(), below));
        before.sort();

        const QString undoFolder = dir.filePath(QString::number(osKind));
        TUndoContext undo(registry.machine, osKind, undoFolder, FixedClock());
        ASSERT_TRUE(undo.RemoveCacheEntry(kEntry));
        const QByteArray written = ReadAll(undo.UndoFilePath());
        EXPECT_EQ(written.startsWith("\xFF\xFE"), !underUser);
        EXPECT_EQ(written.startsWith("REGEDIT4\r\n"), underUser);

        regedit({QStringLiteral("/s"), windowsPath(undo.UndoFilePath())});
        const QString exported = dir.filePath(QStringLiteral("exported-%1.reg").arg(osKind));
        const QString key = (underUser ? QStringLiteral("HKEY_CURRENT_USER\\")
                                       : QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\")) + below;
        regedit({QStringLiteral("/e"), windowsPath(exported), key});

        // What Wine stored, read back through its own export, into an empty registry.
        MemoryCacheMachine copy;
        TUndoContext(copy.machine, osKind, undoFolder, FixedClock()).ImportFile(exported);
        MemoryStore& copied = underUser ? *copy.user : *copy.software;
        const std::optional<NodeId> entry = copied.find(copied.root(), below);
        ASSERT_TRUE(entry.has_value()) << ReadRegFile(exported).lines.join(u'\n').toStdString();
        // Wine lists values in an order of its own: compared as sets of lines.
        QStringList after = Snapshot(copied, *entry);
        after.sort();
        EXPECT_EQ(after, before);
    }
}
