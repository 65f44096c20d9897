// HiveStore on real hive files, checked with the independent readers reglookup and
// hivexregedit.
#include "RegistryTestSupport.h"

#include "core/SafeFile.h"
#include "registry/HiveImage.h"
#include "registry/RegfLayout.h"
#include "registry/TNTRegistry.h"

#include <QDir>
#include <QFileDevice>
#include <QtEndian>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace parvelle;
using namespace parvelle::test;

namespace {

// reglookup's line for one value or key: "PATH,TYPE,VALUE".
QStringList reglookupLines(const QString& hive, const QString& prefix)
{
    const QByteArray out = RunTool(QStringLiteral("reglookup"), {QStringLiteral("-H"), QStringLiteral("-p"), prefix, hive});
    QStringList lines;
    for (const QByteArray& line : out.split('\n')) {
        if (!line.isEmpty())
            lines << QString::fromUtf8(line).section(QLatin1Char(','), 0, 2);
    }
    return lines;
}

QString exportKey(const QString& hive, const QString& key)
{
    return QString::fromUtf8(RunTool(QStringLiteral("hivexregedit"),
                                     {QStringLiteral("--export"), QStringLiteral("--prefix"), QStringLiteral("HKEY_TEST"), hive, key}));
}

class RealHive : public ::testing::Test {
protected:
    QTemporaryDir dir;
};

TEST_F(RealHive, WrittenCopyReadsBackExactlyInPeerTools)
{
    const QString path = unpackHive(dir, "NTUSER.DAT");
    {
        auto store = std::make_shared<HiveStore>(path);
        Machine machine;
        machine.mount(HKEY_CURRENT_USER, QString(), store);
        TNTRegistry reg(machine);
        ASSERT_TRUE(reg.OpenPath(QStringLiteral("Software\\Parvelle Test\\Sub"), true));
        ASSERT_TRUE(reg.OpenPath(QStringLiteral("\\Software\\Parvelle Test"), false));
        reg.WriteText(QStringLiteral("Text"), QStringLiteral("Hello"));
        reg.WriteExpandText(QStringLiteral("Expand"), QStringLiteral("%WINDIR%"));
        reg.WriteDword(QStringLiteral("Number"), 0x01020304);
        reg.WriteBytes(QStringLiteral("Bytes"), "\x00\xff\x10", 3);
        reg.WriteRaw(QStringLiteral("Multi"), REG_MULTI_SZ, QByteArray::fromHex("6100000062000000 0000"));
        reg.WriteRaw(QStringLiteral("Quad"), REG_QWORD, QByteArray::fromHex("0807060504030201"));
        reg.WriteText(QString(), QStringLiteral("default"));
        EXPECT_TRUE(reg.DeleteTree(QStringLiteral("\\Console")));
        machine.commit();
    }
    EXPECT_EQ(reglookupLines(path, QStringLiteral("/Software/Parvelle Test")),
              (QStringList{"/Software/Parvelle Test,KEY,", "/Software/Parvelle Test/Text,SZ,Hello",
                           "/Software/Parvelle Test/Expand,EXPAND_SZ,%25WINDIR%25",
                           "/Software/Parvelle Test/Number,DWORD,0x01020304", "/Software/Parvelle Test/Bytes,BINARY,%00%FF%10",
                           "/Software/Parvelle Test/Multi,MULTI_SZ,a|b", "/Software/Parvelle Test/Quad,QWORD,0x0102030405060708",
                           "/Software/Parvelle Test/,SZ,default", "/Software/Parvelle Test/Sub,KEY,"}));
    EXPECT_TRUE(reglookupLines(path, QStringLiteral("/Console")).isEmpty());

    const QString exported = exportKey(path, QStringLiteral("\\Software\\Parvelle Test"));
    for (const char* line : {"[HKEY_TEST\\Software\\Parvelle Test]", "\"Text\"=hex(1):48,00,65,00,6c,00,6c,00,6f,00,00,00",
                             "\"Number\"=dword:01020304", "\"Bytes\"=hex(3):00,ff,10", "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00",
                             "\"Quad\"=hex(b):08,07,06,05,04,03,02,01", "[HKEY_TEST\\Software\\Parvelle Test\\Sub]"})
        EXPECT_TRUE(exported.contains(QLatin1String(line))) << line << "\n" << exported.toStdString();

    HiveStore reread(path);
    const NodeId key = *reread.find(reread.root(), QStringLiteral("software\\parvelle test"));
    EXPECT_EQ(reread.value(key, QStringLiteral("bytes"))->data, QByteArray::fromHex("00ff10"));
}

TEST_F(RealHive, NonAsciiNamesSurviveInBothEncodings)
{
    const QString path = dir.filePath(QStringLiteral("names.hiv"));
    HiveStore::createEmpty(path);
    {
        HiveStore store(path);
        const NodeId latin = store.addChild(store.root(), QStringLiteral("Grüße"));
        store.addChild(store.root(), QStringLiteral("Check ✓"));
        store.setValue(latin, textValue(QStringLiteral("Größe ✓"), QStringLiteral("x")));
        store.commit();
    }
    HiveStore reread(path);
    EXPECT_EQ(reread.childNames(reread.root()), (QStringList{"Check ✓", "Grüße"}));
    const NodeId latin = *reread.child(reread.root(), QStringLiteral("GRÜßE"));
    EXPECT_EQ(reread.values(latin).at(0).name, QStringLiteral("Größe ✓"));
    // Windows stores Latin-1 names compressed and others as UTF-16LE.
    const QStringList lines = reglookupLines(path, QStringLiteral("/"));
    EXPECT_TRUE(lines.contains(QStringLiteral("/Gr%FC%DFe,KEY,"))) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("/Check %13',KEY,")) || lines.contains(QStringLiteral("/C%00h%00e%00c%00k%00 %00%13',KEY,")))
        << lines.join('\n').toStdString();
}

TEST_F(RealHive, SavedHiveKeepsTheNewWriteTimes)
{
    const QString path = unpackHive(dir, "NTUSER.DAT");
    const uint64_t before = CurrentFileTime();
    {
        HiveStore store(path);
        const NodeId console = *store.child(store.root(), QStringLiteral("Console"));
        store.setValue(console, textValue(QStringLiteral("Stamped"), QStringLiteral("x")));
        store.addChild(store.root(), QStringLiteral("Brand New"));
        store.commit();
    }
    const uint64_t after = CurrentFileTime();
    const HiveStore reread(path);
    for (const char* name : {"Console", "Brand New"}) {
        const uint64_t time = reread.lastWriteTime(*reread.child(reread.root(), QLatin1String(name)));
        EXPECT_GE(time, before) << name;
        EXPECT_LE(time, after) << name;
    }
    EXPECT_LT(reread.lastWriteTime(*reread.child(reread.root(), QStringLiteral("Environment"))), before);
    EXPECT_FALSE(reglookupLines(path, QStringLiteral("/Brand New")).isEmpty());   // header still valid for peers
}

TEST_F(RealHive, CorruptMissingAndForeignFilesGiveClearErrors)
{
    const QString corrupt = unpackHive(dir, "corrupted_system_hive");
    const QByteArray before = fileDigest(corrupt);
    QString message = throwMessage([&] { HiveStore store(corrupt); });
    EXPECT_TRUE(message.contains(corrupt) && message.contains(QStringLiteral("damaged"))) << message.toStdString();
    EXPECT_EQ(fileDigest(corrupt), before);

    const QString missing = dir.filePath(QStringLiteral("absent"));
    message = throwMessage([&] { HiveStore store(missing); });
    EXPECT_EQ(message, QStringLiteral("The hive file '%1' does not exist").arg(missing));

    const QString text = dir.filePath(QStringLiteral("notes.txt"));
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("regf is not enough");
    file.close();
    message = throwMessage([&] { HiveStore store(text); });
    EXPECT_TRUE(message.contains(text) && message.contains(QStringLiteral("not a registry hive"))) << message.toStdString();

    const QString log = unpackHive(dir, "transactions_ntuser.dat.log1");
    message = throwMessage([&] { HiveStore store(log); });
    EXPECT_EQ(message, QStringLiteral("'%1' is a transaction log of a hive, not the hive itself").arg(log));
}

TEST_F(RealHive, DirtyHivesOpenReadOnlyWithTheReason)
{
    for (const auto& [name, numbers] : {std::pair{"NTUSER_with_winscp.DAT", "5161/5160"}, std::pair{"transactions_NTUSER.DAT", "567/566"}}) {
        const QString path = unpackHive(dir, name);
        const QByteArray before = fileDigest(path);
        auto store = std::make_shared<HiveStore>(path);
        EXPECT_FALSE(store->isWritable());
        EXPECT_EQ(store->readOnlyReason(),
                  QStringLiteral("the hive was not cleanly closed (sequence numbers %1); its transaction logs have not been replayed").arg(QLatin1String(numbers)));
        EXPECT_FALSE(store->childNames(store->root()).isEmpty());
        Machine machine;
        machine.mount(HKEY_CURRENT_USER, QString(), store);
        TNTRegistry reg(machine);
        ASSERT_TRUE(reg.OpenPath(QStringLiteral("Software\\Microsoft"), false));
        EXPECT_EQ(throwMessage([&] { reg.WriteText(QStringLiteral("x"), QStringLiteral("y")); }), QStringLiteral("Failed to set data for 'x'"));
        EXPECT_FALSE(reg.DeleteTree(QStringLiteral("Windows")));
        machine.commit();
        EXPECT_EQ(fileDigest(path), before);
    }
    auto winscp = std::make_shared<HiveStore>(dir.filePath(QStringLiteral("NTUSER_with_winscp.DAT")));
    EXPECT_TRUE(winscp->find(winscp->root(), QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall")).has_value());
}

TEST_F(RealHive, ReadOnlyFileOpensReadOnly)
{
    const QString path = unpackHive(dir, "NTUSER.DAT");
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    auto store = std::make_shared<HiveStore>(path);
    EXPECT_FALSE(store->isWritable());
    EXPECT_EQ(store->readOnlyReason(), QStringLiteral("the file is not writable"));
    Machine machine;
    machine.mount(HKEY_CURRENT_USER, QString(), store);
    TNTRegistry reg(machine);
    ASSERT_TRUE(reg.OpenPath(QStringLiteral("Console"), false));
    EXPECT_EQ(throwMessage([&] { reg.WriteDword(QStringLiteral("FontSize"), 1); }), QStringLiteral("Failed to set data for 'FontSize'"));

    HiveStore requested(unpackHive(dir, "ntuser_software_partial"), HiveStore::Access::ReadOnly);
    EXPECT_FALSE(requested.isWritable());
    EXPECT_FALSE(requested.readOnlyReason().isEmpty());
}

TEST_F(RealHive, CommitKeepsPermissionsAndLeavesNoTempFiles)
{
    const QString path = unpackHive(dir, "NTUSER.DAT");
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0640), 0);
    HiveStore store(path);
    store.addChild(store.root(), QStringLiteral("Added"));
    store.commit();
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"NTUSER.DAT"});
    EXPECT_TRUE(HiveStore(path).child(HiveStore(path).root(), QStringLiteral("added")).has_value());
}

TEST_F(RealHive, FailedCommitLeavesTheOriginalIntact)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("place")));
    const QString path = unpackHive(dir, "NTUSER.DAT");
    const QString inPlace = dir.filePath(QStringLiteral("place/NTUSER.DAT"));
    ASSERT_TRUE(QFile::rename(path, inPlace));
    const QByteArray before = fileDigest(inPlace);
    HiveStore store(inPlace);
    store.addChild(store.root(), QStringLiteral("Unsaved"));
    // The hive's folder disappears (an unplugged disk, say) before the commit.
    ASSERT_TRUE(QDir(dir.path()).rename(QStringLiteral("place"), QStringLiteral("moved")));
    const QString message = throwMessage([&] { store.commit(); });
    EXPECT_EQ(message, QStringLiteral("The hive file '%1' no longer exists; nothing was saved").arg(inPlace));
    EXPECT_TRUE(store.isModified());
    const QString moved = dir.filePath(QStringLiteral("moved/NTUSER.DAT"));
    EXPECT_EQ(fileDigest(moved), before);
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("moved"))).entryList(QDir::Files | QDir::Hidden), QStringList{"NTUSER.DAT"});
}

// Lowers the size limit of files this process writes, for the lifetime of the object.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);   // a write past the limit fails instead
        rlimit lowered = saved_;
        lowered.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = nullptr;
};

TEST_F(RealHive, CommitThatCannotWriteLeavesTheOriginalAndCanBeRetried)
{
    const QString path = unpackHive(dir, "NTUSER.DAT");
    const QByteArray before = fileDigest(path);
    HiveStore store(path);
    store.addChild(store.root(), QStringLiteral("Pending"));
    {
        const FileSizeLimit limit(64 * 1024);   // the new hive file cannot be written whole
        const QString message = throwMessage([&] { store.commit(); });
        EXPECT_TRUE(message.startsWith(QStringLiteral("Cannot save the hive file '%1'").arg(path))) << message.toStdString();
    }
    EXPECT_EQ(fileDigest(path), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"NTUSER.DAT"});
    EXPECT_TRUE(store.isModified());
    store.commit();
    EXPECT_TRUE(HiveStore(path).child(HiveStore(path).root(), QStringLiteral("pending")).has_value());
}

TEST_F(RealHive, NewEmptyHiveIsReadByEveryPeer)
{
    const QString path = dir.filePath(QStringLiteral("empty.hiv"));
    HiveStore::createEmpty(path);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray image = file.readAll();
    EXPECT_EQ(image.size(), 8192);
    EXPECT_EQ(regf::BaseBlock(image.constData()).storedChecksum(), regf::BaseBlockChecksum(image));
    EXPECT_EQ(reglookupLines(path, QStringLiteral("/")), QStringList{"/,KEY,"});
    EXPECT_TRUE(exportKey(path, QStringLiteral("\\")).contains(QLatin1String("[HKEY_TEST\\]")));
    const QString script = dir.filePath(QStringLiteral("commands"));
    QFile commands(script);
    ASSERT_TRUE(commands.open(QIODevice::WriteOnly));
    commands.write("lsval\nadd Child\ncd Child\nsetval 1\nName\nstring:text\ncommit\n");
    commands.close();
    RunTool(QStringLiteral("hivexsh"), {QStringLiteral("-w"), QStringLiteral("-f"), script, path});
    EXPECT_EQ(reglookupLines(path, QStringLiteral("/")), (QStringList{"/,KEY,", "/Child,KEY,", "/Child/Name,SZ,text"}));

    const QByteArray before = fileDigest(path);
    const QString message = throwMessage([&] { HiveStore::createEmpty(path); });
    EXPECT_TRUE(message.contains(QStringLiteral("already exists"))) << message.toStdString();
    EXPECT_EQ(fileDigest(path), before);
    EXPECT_THROW(HiveStore::createEmpty(dir.filePath(QStringLiteral("no/such/folder/hive"))), EHiveError);
}

// A new file (a recovered hive, an undo file) is put in place only where no file is:
// one that appears after the existence check stays as it is.
TEST(FilePlacement, ANewFileNeverReplacesOneThatAppeared)
{
    QTemporaryDir dir;
    const auto write = [&](const char* name, const QByteArray& bytes) {
        QFile file(dir.filePath(QLatin1String(name)));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return QFile::encodeName(file.fileName());
    };
    const QByteArray temp = write("temp", "new"), target = write("target", "there first");
    EXPECT_EQ(RenameNoReplace(temp, target), EEXIST);
    EXPECT_EQ(fileDigest(QFile::decodeName(target)), QCryptographicHash::hash("there first", QCryptographicHash::Sha256));
    EXPECT_TRUE(QFile::exists(QFile::decodeName(temp)));

    const QByteArray fresh = QFile::encodeName(dir.filePath(QStringLiteral("fresh")));
    EXPECT_EQ(RenameNoReplace(temp, fresh), 0);
    EXPECT_FALSE(QFile::exists(QFile::decodeName(temp)));
    EXPECT_EQ(fileDigest(QFile::decodeName(fresh)), QCryptographicHash::hash("new", QCryptographicHash::Sha256));
}

} // namespace
