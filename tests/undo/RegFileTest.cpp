// Reading .reg files: encodings, the listing of entries, value data, whole-file parsing.
#include "UndoTestSupport.h"
#include "core/Errors.h"
#include "undo/RegFile.h"
#include "undo/UndoText.h"

#include <QStringEncoder>

using namespace parvelle;
using namespace parvelle::test;

namespace {

RegFileText Lines(const QStringList& lines)
{
    return DecodeRegFile((lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8());
}

const QString kKey = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\X");

QString ConversionMessage(const QString& dataText)
{
    try {
        ParseValueData(dataText);
    } catch (const EConvertError& error) {
        return error.message();
    }
    return QStringLiteral("no error");
}

} // namespace

TEST(DecodeRegFile, ReadsEveryEncodingTheRegistryEditorWrites)
{
    const QString text = QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Ä€]\r\n\"n\"=\"ü\"\r\n");
    QStringEncoder utf16(QStringConverter::Utf16LE);
    const QByteArray asUtf16 = QByteArray("\xFF\xFE") + QByteArray(utf16.encode(text));
    const QByteArray asUtf8Bom = QByteArray("\xEF\xBB\xBF") + text.toUtf8();
    for (const QByteArray& bytes : {asUtf16, asUtf8Bom, text.toUtf8()}) {
        const RegFileText file = DecodeRegFile(bytes);
        ASSERT_EQ(file.lines.size(), 4);
        EXPECT_EQ(file.lines[0], kHeaderVersion5);
        EXPECT_EQ(file.lines[2], QStringLiteral("[HKEY_CURRENT_USER\\Ä€]"));
        EXPECT_EQ(file.lines[3], QStringLiteral("\"n\"=\"ü\""));
    }
    EXPECT_TRUE(DecodeRegFile(asUtf16).utf16);
}

TEST(DecodeRegFile, OldAnsiFilesAreWindows1252)
{
    const RegFileText file = DecodeRegFile(QByteArray("REGEDIT4\r\n\r\n[HKEY_USERS\\Caf\xE9 \x80]\r\n"));
    ASSERT_EQ(file.lines.size(), 3);
    EXPECT_EQ(file.lines[2], QStringLiteral("[HKEY_USERS\\Café €]"));
}

TEST(ListUndoEntries, KeysValuesAndNameParts)
{
    const QStringList entries = ListUndoEntries(Lines({
        QStringLiteral("whatever the first line holds"), QString(),
        u'[' + kKey + u']',
        QStringLiteral("\"SlowInfoCache\"=hex:01,02,\\"),
        QStringLiteral("03"),
        QString(),
        QStringLiteral("@=\"default\""),
        QStringLiteral("\"Text\"=\"a=b\""),
        QStringLiteral("\"na\\\"me=x\"=dword:00000001"),
        QStringLiteral("; a comment"),
        u'[' + kKey + QStringLiteral("\\Empty]"),
    }));
    EXPECT_EQ(entries, (QStringList{
        kKey + QStringLiteral("\\\\:\"SlowInfoCache\""),
        kKey + QStringLiteral("\\\\:@"),
        kKey + QStringLiteral("\\\\:\"Text\""),
        kKey + QStringLiteral("\\\\:\"na\\\"me=x\""),
        kKey + QStringLiteral("\\Empty"),
    }));
}

TEST(ListUndoEntries, KeyOnlySectionsFollowedByTheSameKey)
{
    const QString line = u'[' + kKey + u']';
    EXPECT_EQ(ListUndoEntries(Lines({kHeaderRegedit4, line, line})), QStringList{kKey});
    EXPECT_EQ(ListUndoEntries(Lines({kHeaderRegedit4, line, line, QStringLiteral("\"v\"=\"1\"")})),
              QStringList{kKey + QStringLiteral("\\\\:\"v\"")});
    EXPECT_EQ(ListUndoEntries(Lines({kHeaderRegedit4, line, QStringLiteral("[HKEY_USERS\\Y]")})),
              (QStringList{kKey, QStringLiteral("HKEY_USERS\\Y")}));
    EXPECT_TRUE(ListUndoEntries(Lines({kHeaderRegedit4})).isEmpty());
    EXPECT_TRUE(ListUndoEntries(DecodeRegFile(QByteArray())).isEmpty());
}

TEST(ListUndoEntries, DeletionsAreListed)
{
    EXPECT_EQ(ListUndoEntries(Lines({kHeaderVersion5, QStringLiteral("[-HKEY_USERS\\Gone]"),
                                     u'[' + kKey + u']', QStringLiteral("\"old\"=-")})),
              (QStringList{QStringLiteral("-HKEY_USERS\\Gone"), kKey + QStringLiteral("\\\\:\"old\"")}));
}

TEST(SplitUndoEntry, AtTheFirstDoubleBackslashColon)
{
    const UndoEntry value = SplitUndoEntry(kKey + QStringLiteral("\\\\:\"a\\\\:b\""));
    EXPECT_EQ(value.keyPath, kKey);
    EXPECT_EQ(value.namePart, QStringLiteral("\"a\\\\:b\""));
    EXPECT_EQ(SplitUndoEntry(kKey).keyPath, kKey);
    EXPECT_TRUE(SplitUndoEntry(kKey).namePart.isEmpty());
}

TEST(FindValueTexts, EveryMatchingLineOfEveryMatchingSectionWithContinuations)
{
    const RegFileText file = Lines({
        kHeaderRegedit4, QString(),
        u'[' + kKey + u']',
        QStringLiteral("\"Data\"=hex:01,02,\\"),
        QStringLiteral("  03,04"),
        QString(),
        QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\x]"),   // letter case differs: another key line
        QStringLiteral("\"Data\"=hex:FF"),
        u'[' + kKey + u']',
        QStringLiteral("\"DATA\"=\"C:\\\\\""),
        QStringLiteral("\"DataX\"=\"no\""),
    });
    EXPECT_EQ(FindValueTexts(file, kKey, QStringLiteral("\"Data\"")),
              (QStringList{QStringLiteral("hex:01,02,03,04"), QStringLiteral("\"C:\\\\\"")}));
    EXPECT_TRUE(FindValueTexts(file, kKey, QStringLiteral("@")).isEmpty());
}

TEST(ParseValueData, StringsUnescapedAndEndingInBackslash)
{
    EXPECT_EQ(ParseValueData(QStringLiteral("\"C:\\\\\"")).data, Utf16z(QStringLiteral("C:\\")));
    EXPECT_EQ(ParseValueData(QStringLiteral("\"a\\r\\nb\\\"\"")).data,
              Utf16z(QStringLiteral("a\r\nb\"")));
    EXPECT_EQ(ParseValueData(QStringLiteral("\"\"")).type, REG_SZ);
}

TEST(ParseValueData, NumbersInEveryForm)
{
    EXPECT_EQ(ParseValueData(QStringLiteral("dword:0000002a")).data, Dword(42));
    EXPECT_EQ(ParseValueData(QStringLiteral("DWORD:FFFFFFFF")).data, Dword(0xFFFFFFFF));
    EXPECT_EQ(ParseValueData(QStringLiteral("-1")).data, Dword(0xFFFFFFFF));
    EXPECT_EQ(ParseValueData(QStringLiteral("4294967295")).data, Dword(0xFFFFFFFF));
    EXPECT_EQ(ParseValueData(QStringLiteral("123")).type, REG_DWORD);
    // The quoted decimal of old files is indistinguishable from a string.
    EXPECT_EQ(ParseValueData(QStringLiteral("\"123\"")).type, REG_SZ);
}

TEST(ParseValueData, HexForms)
{
    EXPECT_EQ(ParseValueData(QStringLiteral("hex:")).data, QByteArray());
    const ParsedData binary = ParseValueData(QStringLiteral("HEX:0a,Ff, 01"));
    EXPECT_EQ(binary.type, REG_BINARY);
    EXPECT_EQ(binary.data, QByteArray("\x0A\xFF\x01", 3));
    const ParsedData qword = ParseValueData(QStringLiteral("hex(b):01,00,00,00,00,00,00,00"));
    EXPECT_EQ(qword.type, REG_QWORD);
    EXPECT_EQ(qword.data.size(), 8);
    EXPECT_EQ(ParseValueData(QStringLiteral("hex(7):61,00,00,00,00,00")).data,
              QByteArray("a\0\0\0\0\0", 6));
}

TEST(ParseValueData, ExpandStringsAsStoredOrInTheOneBytePerCharacterForm)
{
    EXPECT_EQ(ParseValueData(QStringLiteral("hex(2):25,00,41,00,25,00,00,00")).data,
              Utf16z(QStringLiteral("%A%")));
    EXPECT_EQ(ParseValueData(QStringLiteral("hex(2):AC,20,00,00")).data, Utf16z(QStringLiteral("€")));
    EXPECT_EQ(ParseValueData(QStringLiteral("hex(2):00,00")).data, Utf16z(QString()));
    EXPECT_EQ(ParseValueData(QStringLiteral("hex(2):41,00,42")).data, QByteArray("A\0B", 3));
    EXPECT_EQ(ParseValueData(QStringLiteral("hex(2):")).data, QByteArray());
    // Older files: one byte per character and one zero byte, UTF-8 or Windows-1252.
    EXPECT_EQ(ParseValueData(QStringLiteral("hex(2):25,41,25,00")).data, Utf16z(QStringLiteral("%A%")));
    EXPECT_EQ(ParseValueData(QStringLiteral("hex(2):E2,82,AC,00")).data, Utf16z(QStringLiteral("€")));
    EXPECT_EQ(ParseValueData(QStringLiteral("hex(2):E9,80,00")).data, Utf16z(QStringLiteral("é€")));
    EXPECT_EQ(ParseValueData(QStringLiteral("hex(2):00")).data, Utf16z(QString()));
}

TEST(ParseValueData, DeletionForm)
{
    EXPECT_TRUE(ParseValueData(QStringLiteral("-")).erase);
    EXPECT_FALSE(ParseValueData(QStringLiteral("\"-\"")).erase);
}

TEST(ParseValueData, MalformedDataIsNotAValidInteger)
{
    EXPECT_EQ(ConversionMessage(QStringLiteral("hex:01,ZZ")), QStringLiteral("'ZZ' is not a valid integer value"));
    EXPECT_EQ(ConversionMessage(QStringLiteral("hex:123")), QStringLiteral("'123' is not a valid integer value"));
    EXPECT_EQ(ConversionMessage(QStringLiteral("12x")), QStringLiteral("'12x' is not a valid integer value"));
    EXPECT_EQ(ConversionMessage(QStringLiteral("4294967296")),
              QStringLiteral("'4294967296' is not a valid integer value"));
    EXPECT_EQ(ConversionMessage(QStringLiteral("dword:123456789")),
              QStringLiteral("'123456789' is not a valid integer value"));
    EXPECT_EQ(ConversionMessage(QStringLiteral("hex(q):00")), QStringLiteral("'q' is not a valid integer value"));
    EXPECT_EQ(ConversionMessage(QString()), QStringLiteral("'' is not a valid integer value"));
}

TEST(RootStToRoot, RecognisesRootNamesInAnyCaseOnlyBeforeABackslash)
{
    QString path = QStringLiteral("hkey_local_machine\\SOFTWARE\\X");
    EXPECT_EQ(RootStToRoot(path), HKEY_LOCAL_MACHINE);
    EXPECT_EQ(path, QStringLiteral("\\SOFTWARE\\X"));
    path = QStringLiteral("HKEY_CURRENT_CONFIG");
    EXPECT_EQ(RootStToRoot(path), HKEY_CURRENT_CONFIG);
    EXPECT_TRUE(path.isEmpty());
    path = QStringLiteral("HKEY_USERSX\\a");
    EXPECT_EQ(RootStToRoot(path), 0u);
    EXPECT_EQ(path, QStringLiteral("HKEY_USERSX\\a"));
    path = QStringLiteral("HKLM\\a");
    EXPECT_EQ(RootStToRoot(path), 0u);
}

TEST(ParseRegStatements, EveryStatementKindInOrder)
{
    const std::vector<RegStatement> statements = ParseRegStatements(Lines({
        kHeaderVersion5, QString(),
        QStringLiteral("[-HKEY_CURRENT_USER\\Old]"),
        QStringLiteral("\"ignored\"=\"under a deleted key\""),
        QStringLiteral("[HKEY_CURRENT_USER\\New\\Deep]"),
        QStringLiteral("@=\"d\""),
        QStringLiteral("\"gone\"=-"),
        QStringLiteral("\"e\"=hex(2):41,00,00,00"),
    }));
    ASSERT_EQ(statements.size(), 5u);
    EXPECT_EQ(statements[0].kind, RegStatement::DeleteKey);
    EXPECT_EQ(statements[0].keyPath, QStringLiteral("Old"));
    EXPECT_EQ(statements[1].kind, RegStatement::CreateKey);
    EXPECT_EQ(statements[1].root, HKEY_CURRENT_USER);
    EXPECT_EQ(statements[1].keyPath, QStringLiteral("New\\Deep"));
    EXPECT_EQ(statements[2].kind, RegStatement::SetValue);
    EXPECT_TRUE(statements[2].valueName.isEmpty());
    EXPECT_EQ(statements[3].kind, RegStatement::EraseValue);
    EXPECT_EQ(statements[3].valueName, QStringLiteral("gone"));
    EXPECT_EQ(statements[4].type, REG_EXPAND_SZ);
    EXPECT_EQ(statements[4].data, Utf16z(QStringLiteral("A")));
    EXPECT_EQ(statements[4].line, 8);
}

TEST(ParseRegStatements, RejectsWhatTheRegistryEditorWouldNotImport)
{
    const auto message = [](const QStringList& lines) {
        try {
            ParseRegStatements(Lines(lines));
        } catch (const EConvertError& error) {
            return error.message();
        }
        return QStringLiteral("no error");
    };
    EXPECT_TRUE(message({QStringLiteral("hello")}).startsWith(QStringLiteral("Not a registry file")));
    EXPECT_EQ(message({kHeaderRegedit4, QStringLiteral("\"v\"=\"1\"")}),
              QStringLiteral("Line 2: value outside of a key section"));
    EXPECT_EQ(message({kHeaderRegedit4, QStringLiteral("[HKEY_NOWHERE\\A]")}),
              QStringLiteral("Line 2: unknown root key in [HKEY_NOWHERE\\A]"));
    EXPECT_EQ(message({kHeaderRegedit4, QStringLiteral("[HKEY_USERS\\A]"), QStringLiteral("\"v\"=hex:G1")}),
              QStringLiteral("Line 3: 'G1' is not a valid integer value"));
    EXPECT_EQ(message({kHeaderRegedit4, QStringLiteral("[HKEY_USERS\\A]"), QStringLiteral("junk")}),
              QStringLiteral("Line 3 is neither a key nor a value: junk"));
}

TEST(ParseRegStatements, RefusesCutOrMalformedInputNamingTheLine)
{
    const auto message = [](const QStringList& lines) {
        try {
            ParseRegStatements(Lines(QStringList{kHeaderRegedit4, QStringLiteral("[HKEY_USERS\\A]")} + lines));
        } catch (const EConvertError& error) {
            return error.message();
        }
        return QStringLiteral("no error");
    };
    EXPECT_EQ(message({QStringLiteral("[HKEY_USERS\\A\\B")}),
              QStringLiteral("Line 3: key line without closing bracket: [HKEY_USERS\\A\\B"));
    EXPECT_EQ(message({QStringLiteral("\"v\"=\"abc")}),
              QStringLiteral("Line 3: a string without its closing quote: \"abc"));
    EXPECT_EQ(message({QStringLiteral("\"v\"=\"x\\\"")}),
              QStringLiteral("Line 3: a string without its closing quote: \"x\\\""));
    EXPECT_EQ(message({QStringLiteral("\"v\"=\"abc\" junk")}),
              QStringLiteral("Line 3: text after the closing quote: \"abc\" junk"));
    EXPECT_EQ(message({QStringLiteral("\"v\"=hex:01,0")}), QStringLiteral("Line 3: '0' is not a valid integer value"));
    EXPECT_EQ(message({QStringLiteral("\"v\"=hex:01,\\"), QStringLiteral("02,\\")}),
              QStringLiteral("Line 3: the data continues past the end of the file"));
    EXPECT_EQ(message({QStringLiteral("\"v\"=dword:+0000001")}), QStringLiteral("Line 3: '+0000001' is not a valid integer value"));
    EXPECT_EQ(message({QStringLiteral("\"v\"=+5")}), QStringLiteral("Line 3: '+5' is not a valid integer value"));
    EXPECT_EQ(message({QStringLiteral("\"v\"=hex:+1")}), QStringLiteral("Line 3: '+1' is not a valid integer value"));
    EXPECT_EQ(message({QStringLiteral("[HKEY_USERS\\A") + QChar(0) + QStringLiteral("B]")}),
              QStringLiteral("Line 3: a key name holds a zero character"));
    // Windows' limits: 512 levels, 255 characters a name.
    QStringList deep(512, QStringLiteral("k"));
    EXPECT_EQ(message({QStringLiteral("[HKEY_USERS\\") + deep.join(u'\\') + u']'}), QStringLiteral("no error"));
    deep << QStringLiteral("k");
    EXPECT_EQ(message({QStringLiteral("[HKEY_USERS\\") + deep.join(u'\\') + u']'}),
              QStringLiteral("Line 3: the key is 513 levels deep; Windows allows at most 512"));
    EXPECT_EQ(message({QStringLiteral("[HKEY_USERS\\") + QString(256, u'n') + u']'}),
              QStringLiteral("Line 3: a key name is 256 characters long; Windows allows at most 255"));
    // A long offending line is quoted by its first 200 characters only.
    const QString longLine = QStringLiteral("junk") + QString(5000, u'x');
    EXPECT_EQ(message({longLine}), QStringLiteral("Line 3 is neither a key nor a value: ") + longLine.left(200)
                                       + QStringLiteral("..."));
}

TEST(ParseValueData, Regedit4TextInHexDataIsOneWindows1252BytePerCharacter)
{
    EXPECT_EQ(ParseValueData(QStringLiteral("hex(2):25,41,FF,25,00"), true).data, Utf16z(QStringLiteral("%Aÿ%")));
    EXPECT_EQ(ParseValueData(QStringLiteral("hex(1):80,0D,0A,00"), true).data, Utf16z(QStringLiteral("€\r\n")));
    EXPECT_EQ(ParseValueData(QStringLiteral("hex(7):E4,00,62,00,00"), true).data,
              Utf16z(QStringLiteral("ä")) + Utf16z(QStringLiteral("b")) + QByteArray(2, '\0'));
    // The stored UTF-16 bytes that files of every header held so far are still read as such.
    EXPECT_EQ(ParseValueData(QStringLiteral("hex(7):61,00,00,00,00,00"), true).data, QByteArray("a\0\0\0\0\0", 6));
    EXPECT_EQ(ParseValueData(QStringLiteral("hex(2):25,00,41,00,00,00"), true).data, Utf16z(QStringLiteral("%A")));
    EXPECT_EQ(ParseValueData(QStringLiteral("hex(1):41,00,00,00"), true).data, Utf16z(QStringLiteral("A")));
    EXPECT_EQ(ParseValueData(QStringLiteral("hex(1):80,00"), false).data, QByteArray("\x80\0", 2));
}
