// Undo files on disk: complete or absent, never written over another writer's file, and
// in the encoding the registry editor reads under each header.
#include "UndoTestSupport.h"
#include "core/Errors.h"
#include "undo/RegFile.h"
#include "undo/UndoFile.h"
#include "undo/UndoText.h"

#include <QDir>
#include <QRegularExpression>
#include <QThread>
#include <thread>
#include <sys/stat.h>

using namespace parvelle;
using namespace parvelle::test;

namespace {

QByteArray Appended(const std::optional<QByteArray>& current, const QByteArray& line)
{
    return current.value_or(QByteArray()) + line;
}

QStringList FolderEntries(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

class UndoFileEncoding : public ::testing::Test {
protected:
    QTemporaryDir dir;
    MemoryCacheMachine registry;

    QString undoFile() const { return dir.filePath(QStringLiteral("20080303-140509.reg")); }
    // A cache entry with names and texts outside ASCII, an expandable and a multi-string.
    void addEntry(const QString& name, const QString& valueName = QStringLiteral("Nämé"))
    {
        const NodeId entry = registry.cacheEntry(name);
        registry.software->setValue(entry, {valueName, REG_SZ, Utf16z(QStringLiteral("Wërt €"))});
        registry.software->setValue(entry, {QStringLiteral("Päth"), REG_EXPAND_SZ,
                                            Utf16z(QStringLiteral("%SystemRoot%\\Sÿstem32"))});
        registry.software->setValue(entry, {QStringLiteral("Lïst"), REG_MULTI_SZ,
                                            Utf16z(QStringLiteral("ä")) + Utf16z(QStringLiteral("b")) + QByteArray(2, '\0')});
    }
    QStringList cacheSnapshot() const
    {
        return Snapshot(*registry.software, *registry.software->find(registry.software->root(), kArpCacheBelowSoftware));
    }
    // Removes and restores the entry; the cache must come back exactly.
    void roundTrip(uint8_t osKind, const QString& name)
    {
        const QStringList before = cacheSnapshot();
        TUndoContext undo(registry.machine, osKind, dir.path(), FixedClock());
        ASSERT_TRUE(undo.RemoveCacheEntry(name));
        ASSERT_NE(cacheSnapshot(), before);
        undo.RestoreChecked(undoFile(), ListUndoEntries(ReadRegFile(undoFile())));
        EXPECT_EQ(cacheSnapshot(), before);
    }
};

} // namespace

TEST(PutUndoFile, AFailedCompositionLeavesNothingBehind)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.reg"));
    EXPECT_THROW(PutUndoFile(path, [](const std::optional<QByteArray>&) -> QByteArray {
                     throw EInOutError(QStringLiteral("refused"));
                 }),
                 EInOutError);
    EXPECT_TRUE(FolderEntries(dir.path()).isEmpty());

    WriteAll(path, "REGEDIT4\r\n");
    EXPECT_THROW(PutUndoFile(path, [](const std::optional<QByteArray>&) -> QByteArray {
                     throw EInOutError(QStringLiteral("refused"));
                 }),
                 EInOutError);
    EXPECT_EQ(FolderEntries(dir.path()), QStringList{QStringLiteral("a.reg")});
    EXPECT_EQ(ReadAll(path), "REGEDIT4\r\n");
}

TEST(PutUndoFile, ConcurrentWritersEachKeepTheirTextAndNoneIsLost)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("20080303-140509.reg"));
    std::vector<std::thread> writers;
    for (int i = 0; i < 8; ++i) {
        writers.emplace_back([&path, i] {
            for (int round = 0; round < 10; ++round) {
                const QByteArray line = QByteArray::number(i * 100 + round) + '\n';
                PutUndoFile(path, [&](const std::optional<QByteArray>& current) { return Appended(current, line); });
            }
        });
    }
    for (std::thread& writer : writers)
        writer.join();
    QList<QByteArray> lines = ReadAll(path).split('\n');
    lines.removeLast();
    EXPECT_EQ(lines.size(), 80);
    for (int i = 0; i < 8; ++i)
        for (int round = 0; round < 10; ++round)
            EXPECT_TRUE(lines.contains(QByteArray::number(i * 100 + round))) << i << ' ' << round;
    EXPECT_EQ(FolderEntries(dir.path()), QStringList{QStringLiteral("20080303-140509.reg")});
}

TEST(PutUndoFile, AnAppendWaitsForTheLockOfAnotherProcess)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("u.reg"));
    WriteAll(path, "first\n");
    // Another process holds the file's lock while it adds a line.
    const QString lock = dir.filePath(QStringLiteral(".u.reg.parvelle-lock"));
    QProcess holder;
    holder.start(QStringLiteral("flock"), {lock, QStringLiteral("sh"), QStringLiteral("-c"),
                                           QStringLiteral("echo locked; sleep 0.5; echo second >> \"$0\""), path});
    ASSERT_TRUE(holder.waitForReadyRead(10000));
    PutUndoFile(path, [](const std::optional<QByteArray>& current) { return Appended(current, "third\n"); });
    ASSERT_TRUE(holder.waitForFinished(10000));
    EXPECT_EQ(ReadAll(path), "first\nsecond\nthird\n");

    holder.start(QStringLiteral("flock"), {lock, QStringLiteral("sleep"), QStringLiteral("5")});
    ASSERT_TRUE(holder.waitForStarted());
    QThread::msleep(300);
    EXPECT_THROW(PutUndoFile(path, [](const std::optional<QByteArray>& current) { return Appended(current, "x"); },
                             std::chrono::milliseconds(200)),
                 EInOutError);
    holder.kill();
    holder.waitForFinished();
    EXPECT_EQ(ReadAll(path), "first\nsecond\nthird\n");
}

TEST(ReadLimitedFile, EndlessOrHugeInputIsRefusedWithAMessage)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("fifo.reg"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& path : {QStringLiteral("/dev/zero"), fifo}) {
        try {
            ReadRegFile(path);   // a FIFO without a writer would block a reader that waits
            ADD_FAILURE() << "no error";
        } catch (const EInOutError& error) {
            EXPECT_EQ(error.message(), QStringLiteral("Cannot read '%1': it is not a regular file").arg(path));
        }
    }
    QFile sparse(dir.filePath(QStringLiteral("huge.reg")));
    ASSERT_TRUE(sparse.open(QIODevice::WriteOnly));
    ASSERT_TRUE(sparse.resize(3LL * 1024 * 1024 * 1024));
    sparse.close();
    EXPECT_THROW(ReadRegFile(sparse.fileName()), EInOutError);
}

TEST_F(UndoFileEncoding, Version5FilesOutsideAsciiAreUtf16WithAByteOrderMark)
{
    addEntry(QStringLiteral("Programme Ünïcödé"), QStringLiteral("Ωmega"));
    roundTrip(5, QStringLiteral("Programme Ünïcödé"));
    const QByteArray bytes = ReadAll(undoFile());
    ASSERT_TRUE(bytes.startsWith("\xFF\xFE"));
    const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2),
                                            (bytes.size() - 2) / 2);
    EXPECT_TRUE(text.startsWith(kHeaderVersion5 + QStringLiteral("\r\n\r\n[HKEY_LOCAL_MACHINE")));
    EXPECT_TRUE(text.contains(QStringLiteral("ARPCache\\Programme Ünïcödé]\r\n\"Ωmega\"=\"Wërt €\"\r\n")));
    EXPECT_FALSE(text.contains(QRegularExpression(QStringLiteral("[^\\r]\\n"))));
}

TEST_F(UndoFileEncoding, Regedit4FilesAreWindows1252WithTextInHexDataOneBytePerCharacter)
{
    addEntry(QStringLiteral("Programme Ünïcödé"));
    roundTrip(0, QStringLiteral("Programme Ünïcödé"));
    const QByteArray bytes = ReadAll(undoFile());
    EXPECT_TRUE(bytes.startsWith("REGEDIT4\r\n\r\n"));
    EXPECT_TRUE(bytes.contains("ARPCache\\Programme \xDCn\xEF" "c\xF6" "d\xE9]\r\n\"N\xE4m\xE9\"=\"W\xEBrt \x80\"\r\n"));
    // "%SystemRoot%\Sÿstem32" and "ä", "b": one byte per character, as the registry editor reads them.
    EXPECT_TRUE(bytes.contains("\"P\xE4th\"=hex(2):25,53,79,73,74,65,6D,52,6F,6F,74,25,5C,53,FF,73,74,65,6D,33,32,00\r\n"));
    EXPECT_TRUE(bytes.contains("\"L\xEFst\"=hex(7):E4,00,62,00,00\r\n"));
}

TEST_F(UndoFileEncoding, Regedit4RefusesANameOutsideWindows1252AndRemovesNothing)
{
    addEntry(QStringLiteral("Programme Ωmega"));
    const QStringList before = cacheSnapshot();
    TUndoContext undo(registry.machine, 0, dir.path(), FixedClock());
    try {
        undo.RemoveCacheEntry(QStringLiteral("Programme Ωmega"));
        ADD_FAILURE() << "no error";
    } catch (const EInOutError& error) {
        EXPECT_TRUE(error.message().startsWith(QStringLiteral("This line cannot be written in Windows-1252")))
            << error.message().toStdString();
        EXPECT_TRUE(error.message().contains(QStringLiteral("Programme Ωmega]"))) << error.message().toStdString();
    }
    EXPECT_EQ(cacheSnapshot(), before);
    EXPECT_TRUE(FolderEntries(dir.path()).isEmpty());
    EXPECT_EQ(registry.software->commitCount(), 0);
}

TEST_F(UndoFileEncoding, AppendingOutsideAsciiRewritesTheWholeFileInOneEncoding)
{
    registry.software->setValue(registry.cacheEntry(QStringLiteral("First")),
                                {QStringLiteral("v"), REG_DWORD, Dword(1)});
    addEntry(QStringLiteral("Zwëite"));
    TUndoContext undo(registry.machine, 5, dir.path(), FixedClock());
    ASSERT_TRUE(undo.RemoveCacheEntry(QStringLiteral("First")));
    const QByteArray ascii = ReadAll(undoFile());
    ASSERT_FALSE(ascii.startsWith("\xFF\xFE"));
    ASSERT_TRUE(undo.RemoveCacheEntry(QStringLiteral("Zwëite")));
    const RegFileText file = ReadRegFile(undoFile());
    EXPECT_TRUE(file.utf16);
    // The first removal's text, unchanged, in the new encoding.
    EXPECT_EQ(file.lines.join(QStringLiteral("\r\n")).left(ascii.size() - 2), QString::fromLatin1(ascii).chopped(2));
    EXPECT_EQ(ListUndoEntries(file).size(), 4);
}
