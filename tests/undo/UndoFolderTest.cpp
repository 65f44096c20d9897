// The undo folder: listing, loading, deleting, and names confined to the folder.
#include "UndoTestSupport.h"
#include "core/Errors.h"
#include "undo/UndoFolder.h"

#include <QDir>

using namespace parvelle;
using namespace parvelle::test;

TEST(UndoFolder, ListsRegFilesSortedWithTheNewestLast)
{
    QTemporaryDir dir;
    for (const char* name : {"20080303-140509.reg", "20071231-235959.reg", ".hidden.reg", "Other.REG",
                             "notes.txt", "20090101-000000.reg", "back\\slash.reg"})
        WriteAll(dir.filePath(QString::fromLatin1(name)), "REGEDIT4\r\n");
    QDir(dir.path()).mkdir(QStringLiteral("folder.reg"));
    const TUndoFolder folder(dir.path());
    EXPECT_EQ(folder.List(), (QStringList{QStringLiteral(".hidden.reg"), QStringLiteral("20071231-235959.reg"),
                                          QStringLiteral("20080303-140509.reg"), QStringLiteral("20090101-000000.reg"),
                                          QStringLiteral("Other.REG")}));
    QFile::remove(dir.filePath(QStringLiteral("Other.REG")));
    EXPECT_EQ(folder.Newest(), QStringLiteral("20090101-000000.reg"));
    EXPECT_TRUE(TUndoFolder(dir.filePath(QStringLiteral("missing"))).List().isEmpty());
    EXPECT_TRUE(TUndoFolder(dir.filePath(QStringLiteral("missing"))).Newest().isEmpty());
}

TEST(UndoFolder, LoadsAndDeletesByBareName)
{
    QTemporaryDir dir;
    WriteAll(dir.filePath(QStringLiteral("a.reg")), "REGEDIT4\r\n\r\n[HKEY_USERS\\K]\r\n\"v\"=\"1\"\r\n");
    const TUndoFolder folder(dir.path());
    EXPECT_EQ(folder.Load(QStringLiteral("a.reg")), QStringList{QStringLiteral("HKEY_USERS\\K\\\\:\"v\"")});
    EXPECT_TRUE(folder.Delete(QStringLiteral("a.reg")));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("a.reg"))));
    EXPECT_FALSE(folder.Delete(QStringLiteral("a.reg")));
    EXPECT_THROW(folder.Load(QStringLiteral("a.reg")), EInOutError);
}

TEST(UndoFolder, NamesCannotLeaveTheFolder)
{
    QTemporaryDir dir;
    QDir(dir.path()).mkdir(QStringLiteral("undo"));
    const QString outside = dir.filePath(QStringLiteral("outside.reg"));
    WriteAll(outside, "REGEDIT4\r\n");
    const TUndoFolder folder(dir.filePath(QStringLiteral("undo")));
    for (const QString& name : {QStringLiteral("../outside.reg"), QStringLiteral(".."), QStringLiteral("."),
                                QStringLiteral("sub/x.reg"), QStringLiteral("..\\outside.reg"), outside, QString(),
                                QStringLiteral("parvelle"), QStringLiteral("a.reg.txt")}) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_THROW(folder.PathOf(name), EInOutError);
        EXPECT_THROW(folder.Delete(name), EInOutError);
        EXPECT_THROW(folder.Load(name), EInOutError);
    }
    EXPECT_TRUE(QFile::exists(outside));
    EXPECT_EQ(folder.PathOf(QStringLiteral("a..b.reg")), dir.filePath(QStringLiteral("undo/a..b.reg")));
    EXPECT_EQ(folder.PathOf(QStringLiteral("Old.REG")), dir.filePath(QStringLiteral("undo/Old.REG")));
}
