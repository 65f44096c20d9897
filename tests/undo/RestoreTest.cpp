// Restoring checked entries and importing whole .reg files into a memory registry.
#include "UndoTestSupport.h"
#include "core/Errors.h"
#include "undo/RegFile.h"
#include "undo/UndoText.h"

#include <QStringEncoder>

using namespace parvelle;
using namespace parvelle::test;

namespace {

class Restore : public ::testing::Test {
protected:
    QTemporaryDir dir;
    MemoryCacheMachine registry;

    MemoryStore& store() { return *registry.software; }
    TUndoContext context(uint8_t osKind)
    {
        return TUndoContext(registry.machine, osKind, dir.path(), FixedClock());
    }
    QString undoFile() const { return dir.filePath(QStringLiteral("20080303-140509.reg")); }
    QStringList cacheSnapshot()
    {
        return Snapshot(store(), *store().find(store().root(), kArpCacheBelowSoftware));
    }
    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(name);
        WriteAll(path, bytes);
        return path;
    }

    // An entry with every kind of value, awkward names, a default value and subkeys.
    void addRichEntry()
    {
        const NodeId entry = registry.cacheEntry(QStringLiteral("Rich \"App\""));
        store().setValue(entry, {QStringLiteral("SlowInfoCache"), REG_BINARY, Pattern(552)});
        store().setValue(entry, {QString(), REG_SZ, Utf16z(QStringLiteral("default"))});
        store().setValue(entry, {QStringLiteral("Changed"), REG_DWORD, Dword(0xFFFFFFFF)});
        store().setValue(entry, {QStringLiteral("say \"hi\""), REG_SZ, Utf16z(QStringLiteral("C:\\ \"q\"\r\n"))});
        store().setValue(entry, {QStringLiteral("back\\slash=eq"), REG_EXPAND_SZ, Utf16z(QStringLiteral("%SystemRoot%\\x"))});
        store().setValue(entry, {QStringLiteral("Grüße €"), REG_SZ, Utf16z(QStringLiteral("Œ ü"))});
        store().setValue(entry, {QStringLiteral("multi"), REG_MULTI_SZ, QByteArray("a\0\0\0b\0\0\0\0\0", 10)});
        store().setValue(entry, {QStringLiteral("qword"), REG_QWORD, Pattern(8)});
        store().setValue(entry, {QStringLiteral("none"), REG_NONE, QByteArray()});
        store().setValue(entry, {QStringLiteral("emptybin"), REG_BINARY, QByteArray()});
        store().setValue(entry, {QStringLiteral("emptystr"), REG_SZ, Utf16z(QString())});
        store().setValue(entry, {QStringLiteral("bigendian"), REG_DWORD_BIG_ENDIAN, Dword(5)});
        store().setValue(entry, {QStringLiteral("odd"), REG_SZ, QByteArray("A\0B", 3)});
        store().setValue(entry, {QStringLiteral("big"), REG_BINARY, Pattern(40000, 3, 1)});
        const NodeId sub = store().addChild(entry, QStringLiteral("Sub"));
        store().setValue(sub, {QStringLiteral("expand non-latin"), REG_EXPAND_SZ, Utf16z(QStringLiteral("€%X%"))});
        store().addChild(sub, QStringLiteral("Empty"));
    }

    QString failingRestore(const std::function<void()>& restore)
    {
        const QStringList before = Snapshot(store(), store().root());
        const int commits = store().commitCount();
        QString message = QStringLiteral("no error");
        try {
            restore();
        } catch (const EParvelleError& error) {
            message = error.message();
        }
        EXPECT_EQ(Snapshot(store(), store().root()), before);
        EXPECT_EQ(store().commitCount(), commits);
        return message;
    }
};

} // namespace

TEST_F(Restore, CheckedEntriesBringBackEveryValueAndKeyExactly)
{
    for (uint8_t kind : {uint8_t(0), uint8_t(5), uint8_t(6), uint8_t(8)}) {
        SCOPED_TRACE(int(kind));
        addRichEntry();
        const QStringList before = cacheSnapshot();
        TUndoContext undo(registry.machine, kind, dir.path(), FixedClock());
        // The entry lives under HKEY_LOCAL_MACHINE; remove it from there on every kind.
        ASSERT_TRUE(undo.RemoveRegistryKey(HKEY_LOCAL_MACHINE,
                                           kArpCacheKeyPath + QStringLiteral("Rich \"App\"")));
        ASSERT_NE(cacheSnapshot(), before);
        const QStringList entries = undo.UndoFolder().Load(QStringLiteral("20080303-140509.reg"));
        EXPECT_EQ(entries.size(), 14 + 1 + 1);   // values of the entry, of Sub, and Empty
        undo.RestoreChecked(undoFile(), entries);
        EXPECT_EQ(cacheSnapshot(), before);
        QFile::remove(undoFile());
        store().deleteNode(*store().find(store().root(), kArpCacheBelowSoftware + QStringLiteral("\\Rich \"App\"")));
    }
}

TEST_F(Restore, ImportOfTheUndoFileBringsBackTheSameTree)
{
    for (uint8_t kind : {uint8_t(0), uint8_t(6)}) {
        SCOPED_TRACE(int(kind));
        addRichEntry();
        const QStringList before = cacheSnapshot();
        TUndoContext undo = context(kind);
        ASSERT_TRUE(undo.RemoveCacheEntry(QStringLiteral("Rich \"App\"")));
        undo.ImportFile(undoFile());
        EXPECT_EQ(cacheSnapshot(), before);
        QFile::remove(undoFile());
        store().deleteNode(*store().find(store().root(), kArpCacheBelowSoftware + QStringLiteral("\\Rich \"App\"")));
    }
}

TEST_F(Restore, OnlyTheCheckedValuesAndMissingParentsAreCreated)
{
    addRichEntry();
    TUndoContext undo = context(0);
    ASSERT_TRUE(undo.RemoveCacheEntry(QStringLiteral("Rich \"App\"")));
    store().deleteNode(*store().find(store().root(), QStringLiteral("Microsoft")));
    const QString key = QStringLiteral("HKEY_LOCAL_MACHINE") + kArpCacheKeyPath + QStringLiteral("Rich \"App\"");
    EXPECT_EQ(undo.RestoreChecked(undoFile(), {key + QStringLiteral("\\\\:@"),
                                               key + QStringLiteral("\\\\:\"slowinfocache\"")}), 2);
    const NodeId entry = *store().find(store().root(), kArpCacheBelowSoftware + QStringLiteral("\\Rich \"App\""));
    EXPECT_EQ(store().values(entry).size(), 2u);
    EXPECT_EQ(store().value(entry, QString())->data, Utf16z(QStringLiteral("default")));
    EXPECT_EQ(store().value(entry, QStringLiteral("SlowInfoCache"))->data, Pattern(552));
    EXPECT_TRUE(store().children(entry).empty());
    EXPECT_EQ(store().commitCount(), 2);   // the removal, then the restore once
}

TEST_F(Restore, KeyDeletionsOfAFileAreNotWrittenBack)
{
    const QString path = writeFile(QStringLiteral("del.reg"),
        "REGEDIT4\r\n\r\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone]\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kept]\r\n\"v\"=dword:00000001\r\n\"w\"=-\r\n\r\n");
    const QStringList entries = ListUndoEntries(ReadRegFile(path));
    ASSERT_EQ(entries.size(), 3);
    EXPECT_EQ(context(0).RestoreChecked(path, entries), 2);
    EXPECT_FALSE(store().find(store().root(), QStringLiteral("Gone")).has_value());
    const NodeId kept = *store().find(store().root(), QStringLiteral("Kept"));
    EXPECT_EQ(store().value(kept, QStringLiteral("v"))->data, Dword(1));
    EXPECT_FALSE(store().value(kept, QStringLiteral("w")).has_value());
}

TEST_F(Restore, NoCheckedEntryWritesNothing)
{
    const QString path = writeFile(QStringLiteral("a.reg"), "REGEDIT4\r\n");
    const QStringList before = Snapshot(store(), store().root());
    EXPECT_EQ(context(0).RestoreChecked(path, {}), 0);
    EXPECT_EQ(Snapshot(store(), store().root()), before);
}

TEST_F(Restore, FilesOfTheOriginalProgramComeBackAsItRestoredThem)
{
    const QString key = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Old");
    const QString path = writeFile(QStringLiteral("old.reg"),
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[hkey_local_machine\\SOFTWARE\\Old]\r\n"
        "\"Bare\"=-5\r\n"
        "\"Quoted\"=\"42\"\r\n"
        "\"Exp\"=hex(2):25,00,41,00,25,00,00,00\r\n\r\n"
        "\"Bin\"=hex:01,02,\\\r\n03\r\n\r\n");
    const QString lowerKey = QStringLiteral("hkey_local_machine\\SOFTWARE\\Old");
    TUndoContext undo = context(6);
    undo.RestoreChecked(path, ListUndoEntries(ReadRegFile(path)));
    const NodeId old = *store().find(store().root(), QStringLiteral("Old"));
    EXPECT_EQ(store().value(old, QStringLiteral("Bare"))->data, Dword(uint32_t(-5)));
    EXPECT_EQ(store().value(old, QStringLiteral("Bare"))->type, REG_DWORD);
    EXPECT_EQ(store().value(old, QStringLiteral("Quoted"))->type, REG_SZ);
    EXPECT_EQ(store().value(old, QStringLiteral("Exp"))->data, Utf16z(QStringLiteral("%A%")));
    EXPECT_EQ(store().value(old, QStringLiteral("Bin"))->data, QByteArray("\x01\x02\x03", 3));
    // The key line must match the entry exactly: the upper-case spelling is no entry.
    EXPECT_THROW(undo.RestoreChecked(path, {key + QStringLiteral("\\\\:\"Bare\"")}), EParvelleError);
    EXPECT_EQ(ListUndoEntries(ReadRegFile(path)).first(), lowerKey + QStringLiteral("\\\\:\"Bare\""));
}

TEST_F(Restore, MalformedDataStopsBeforeAnyWrite)
{
    const QString path = writeFile(QStringLiteral("bad.reg"),
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bad]\r\n\"good\"=\"x\"\r\n\"bad\"=hex:01,ZZ\r\n");
    TUndoContext undo = context(0);
    const QStringList entries = ListUndoEntries(ReadRegFile(path));
    EXPECT_EQ(failingRestore([&] { undo.RestoreChecked(path, entries); }),
              QStringLiteral("'%1' cannot be restored: Line 5: 'ZZ' is not a valid integer value").arg(path));
    EXPECT_EQ(failingRestore([&] { undo.ImportFile(path); }),
              QStringLiteral("Line 5: 'ZZ' is not a valid integer value"));
}

TEST_F(Restore, AReadOnlyHiveIsReportedBeforeAnyWrite)
{
    const QString path = writeFile(QStringLiteral("ro.reg"),
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\New\\Deep]\r\n\"v\"=\"x\"\r\n");
    store().setReadOnly(QStringLiteral("opened read-only"));
    TUndoContext undo = context(0);
    const QString expected = QStringLiteral("The key 'HKEY_LOCAL_MACHINE\\SOFTWARE\\New\\Deep' cannot be "
                                            "changed: opened read-only");
    EXPECT_EQ(failingRestore([&] { undo.RestoreChecked(path, ListUndoEntries(ReadRegFile(path))); }), expected);
    EXPECT_EQ(failingRestore([&] { undo.ImportFile(path); }), expected);
}

TEST_F(Restore, EntriesOutsideAnyHiveAreReported)
{
    const QString path = writeFile(QStringLiteral("x.reg"), "REGEDIT4\r\n\r\n[HKEY_USERS\\S-1]\r\n\"v\"=\"x\"\r\n");
    TUndoContext undo = context(0);
    EXPECT_EQ(failingRestore([&] { undo.RestoreChecked(path, {QStringLiteral("HKEY_USERS\\S-1\\\\:\"v\"")}); }),
              QStringLiteral("No hive holds the key 'HKEY_USERS\\S-1'"));
    EXPECT_EQ(failingRestore([&] { undo.RestoreChecked(path, {QStringLiteral("NOROOT\\S-1\\\\:\"v\"")}); }),
              QStringLiteral("'NOROOT\\S-1' does not name a key below a root key"));
    EXPECT_THROW(undo.RestoreChecked(dir.filePath(QStringLiteral("missing.reg")), {}), EInOutError);
}

TEST_F(Restore, ImportAppliesDeletionsAndCreatesParentsFromAUtf16File)
{
    const NodeId old = MakeKey(store(), QStringLiteral("Old\\Child"));
    store().setValue(old, {QStringLiteral("x"), REG_SZ, Utf16z(QStringLiteral("x"))});
    const NodeId keep = MakeKey(store(), QStringLiteral("Keep"));
    store().setValue(keep, {QStringLiteral("drop"), REG_SZ, Utf16z(QStringLiteral("1"))});
    store().setValue(keep, {QStringLiteral("stay"), REG_SZ, Utf16z(QStringLiteral("2"))});
    const QString text = QStringLiteral(
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "; exported\r\n"
        "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Old]\r\n\r\n"
        "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\NeverThere]\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Keep]\r\n"
        "\"drop\"=-\r\n"
        "\"absent\"=-\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\B\\Ünï]\r\n"
        "\"m\"=hex(7):41,00,00,00,\\\r\n"
        "  00,00\r\n"
        "@=\"€\"\r\n");
    QStringEncoder utf16(QStringConverter::Utf16LE);
    const QString path = writeFile(QStringLiteral("u16.reg"), QByteArray("\xFF\xFE") + QByteArray(utf16.encode(text)));
    const QStringList before = Snapshot(store(), store().root());
    TUndoContext undo = context(0);
    EXPECT_EQ(undo.ImportFile(path), 8);
    EXPECT_FALSE(store().find(store().root(), QStringLiteral("Old")).has_value());
    EXPECT_FALSE(store().value(keep, QStringLiteral("drop")).has_value());
    EXPECT_TRUE(store().value(keep, QStringLiteral("stay")).has_value());
    const NodeId created = *store().find(store().root(), QStringLiteral("A\\B\\Ünï"));
    EXPECT_EQ(store().value(created, QStringLiteral("m"))->data, QByteArray("A\0\0\0\0\0", 6));
    EXPECT_EQ(store().value(created, QStringLiteral("m"))->type, REG_MULTI_SZ);
    EXPECT_EQ(store().value(created, QString())->data, Utf16z(QStringLiteral("€")));
    EXPECT_EQ(store().commitCount(), 1);

    // What it deleted or overwrote was recorded first, and comes back from that record.
    EXPECT_EQ(undo.ImportUndoFile(), undoFile());
    const QStringList recorded = ListUndoEntries(ReadRegFile(undoFile()));
    EXPECT_EQ(recorded, (QStringList{QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Old"),
                                     QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Old\\Child\\\\:\"x\""),
                                     QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Keep\\\\:\"drop\"")}));
    undo.RestoreChecked(undoFile(), recorded);
    store().deleteNode(*store().find(store().root(), QStringLiteral("A")));
    QStringList restored = Snapshot(store(), store().root());
    restored.sort();   // a value put back comes after those that stayed
    QStringList expected = before;
    expected.sort();
    EXPECT_EQ(restored, expected);
}

TEST_F(Restore, ACutFileRestoresNothingAndNamesTheLine)
{
    addRichEntry();
    TUndoContext undo = context(0);
    ASSERT_TRUE(undo.RemoveCacheEntry(QStringLiteral("Rich \"App\"")));
    const QByteArray whole = ReadAll(undoFile());
    const QStringList entries = ListUndoEntries(ReadRegFile(undoFile()));
    // Cut inside the 40,000-byte value: after a continuation mark, and inside a byte.
    const qsizetype value = whole.indexOf("\"big\"=hex:");
    const qsizetype lineEnd = whole.indexOf("\\\r\n", value + 5000) + 1;
    for (const auto& [cut, why] : {std::pair{lineEnd, QStringLiteral("the data continues past the end of the file")},
                                   std::pair{lineEnd + 3, QStringLiteral("is not a valid integer value")}}) {
        const QString path = writeFile(QStringLiteral("cut.reg"), whole.left(cut));
        const QString message = failingRestore([&] { undo.RestoreChecked(path, entries); });
        EXPECT_TRUE(message.startsWith(QStringLiteral("'%1' cannot be restored: Line ").arg(path))) << message.toStdString();
        EXPECT_TRUE(message.endsWith(why)) << message.toStdString();
    }
}

TEST_F(Restore, OnlyEntriesOfTheFileAreRestored)
{
    const QString path = writeFile(QStringLiteral("e.reg"),
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kept]\r\n\"v\"=dword:00000001\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Empty]\r\n\r\n");
    TUndoContext undo = context(0);
    for (const QString& entry : {QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Elsewhere"),
                                 QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Kept"),
                                 QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Kept\\\\:\"w\"")}) {
        EXPECT_EQ(failingRestore([&] {
                      undo.RestoreChecked(path, {QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Empty"), entry});
                  }),
                  QStringLiteral("'%1' is not an entry of the undo file '%2'").arg(entry, path));
    }
    EXPECT_EQ(undo.RestoreChecked(path, {QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Empty")}), 1);
    EXPECT_TRUE(store().find(store().root(), QStringLiteral("Empty")).has_value());
}

TEST_F(Restore, NamesThatDifferOnlyUnderUnicodeCaseFoldingStayApart)
{
    // Windows upper-cases each unit on its own: none of these pairs is one name.
    const QStringList names{QStringLiteral("k"), QStringLiteral("\u212A"), QStringLiteral("\u00DF"),
                            QStringLiteral("\u1E9E"), QStringLiteral("\u03A9"), QStringLiteral("\u2126")};
    QString text = QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Fold]\r\n");
    for (const QString& name : names)
        text += QStringLiteral("\"%1\"=\"data of %1\"\r\n").arg(name);
    const QString path = writeFile(QStringLiteral("fold.reg"), text.toUtf8());
    context(5).RestoreChecked(path, ListUndoEntries(ReadRegFile(path)));
    const NodeId key = *store().find(store().root(), QStringLiteral("Fold"));
    EXPECT_EQ(store().values(key).size(), size_t(names.size()));
    for (const QString& name : names)
        EXPECT_EQ(store().value(key, name)->data, Utf16z(QStringLiteral("data of ") + name)) << name.toStdString();
}
