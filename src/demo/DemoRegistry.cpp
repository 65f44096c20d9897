#include "DemoRegistry.h"

#include "cache/OSInfo.h"
#include "core/NativePath.h"
#include "registry/HiveStore.h"
#include "registry/MemoryStore.h"
#include "registry/TNTRegistry.h"

#include <QDateTime>
#include <QDir>
#include <QtEndian>
#include <functional>
#include <memory>
#include <unistd.h>
#include <vector>

namespace parvelle {

namespace {

enum class Changed { None, Dword, LongDword, String, ExpandString, Binary };

struct DemoEntry {
    QString name;
    bool inUninstall;
    QString path;
    int32_t frequency;
    uint64_t lastUsed;
    int64_t installSize;
    bool hasName;
    int size;            // bytes of the SlowInfoCache value
    Changed changed;
    uint32_t changedNumber = 0;
    QString changedText = {};
};

// Together they show every column in each form it takes.
std::vector<DemoEntry> demoEntries()
{
    const uint64_t noDate = 0;
    return {
        {"7-Zip 4.42", true, "C:\\Program Files\\7-Zip\\7zFM.exe", 12, FileTimeOfUtc(2006, 8, 14, 3, 33, 20), 3801088, true, 552, Changed::Dword, 1},
        {"Mozilla Firefox (2.0.0.6)", true, "C:\\Program Files\\Mozilla Firefox\\firefox.exe", 30, FileTimeOfUtc(2007, 9, 2, 18, 45, 10), 24653824, true, 552, Changed::Dword, 0},
        {"Café Planner", true, "C:\\Programme\\Café Planner\\CaféPlan.exe", 4, FileTimeOfUtc(2006, 11, 23, 9, 12, 0), 1048576, true, 552, Changed::None},
        {"Αρχειοθέτης Pro", false, "C:\\Program Files\\Αρχειοθέτης\\arxeio.exe", 7, FileTimeOfUtc(2007, 2, 10, 21, 0, 5), 2097152, true, 552, Changed::String, 0, "2007-02-10"},
        {"日本語ワープロ 3", true, "C:\\Program Files\\日本語ワープロ\\wp3.exe", 1, FileTimeOfUtc(2007, 5, 5, 12, 30, 0), 8650752, true, 552, Changed::None},
        {"Adobe Reader 7.0.8", true, "C:\\Program Files\\Adobe\\Acrobat 7.0\\Reader\\AcroRd32.exe", -1, FileTimeOfUtc(2006, 6, 1, 8, 0, 0), 53608448, true, 552, Changed::Dword, 1},
        {"WinZip", false, "C:\\Program Files\\WinZip\\WINZIP32.EXE", 0, noDate, 5242880, true, 552, Changed::None},
        {"Paint Shop Pro 7", false, "C:\\Program Files\\Jasc Software Inc\\Paint Shop Pro 7\\psp.exe", 2, FileTimeOfUtc(2005, 12, 24, 15, 15, 15), 41943040, true, 552, Changed::Binary},
        {"OpenOffice.org 2.0", true, "C:\\Program Files\\OpenOffice.org 2.0\\program\\soffice.exe", 10, FileTimeOfUtc(2006, 10, 3), 304087040, true, 552, Changed::Dword, 0},
        {"J2SE Runtime Environment 5.0 Update 9", true, "C:\\Program Files\\Java\\jre1.5.0_09\\bin\\javaw.exe", 11, FileTimeOfUtc(2006, 12, 1, 10, 10, 10), 130023424, true, 552, Changed::None},
        {"QuickTime", true, "C:\\Program Files\\QuickTime\\QuickTimePlayer.exe", -2, FileTimeOfUtc(2007, 1, 15, 19, 20, 21), 62914560, true, 552, Changed::Dword, 0xFFFFFFFFu},
        {"Winamp", true, "C:\\Program Files\\Winamp\\winamp.exe", 45, FileTimeOfUtc(2007, 6, 30, 23, 59, 59), 10485760, true, 552, Changed::None},
        {"InstallShield_{7F2A3D8E-1C52-4B2A-9A63-0D1E5E3A1B90}", false, "", -1, noDate, -1, false, 552, Changed::None},
        {"{90110409-6000-11D3-8CFE-0150048383C9}", true, "C:\\Program Files\\Microsoft Office\\OFFICE11\\WINWORD.EXE", 28, FileTimeOfUtc(2007, 3, 12, 14, 2, 33), 484442112, true, 600, Changed::Dword, 1},
        {"Legacy Backup 1.2", false, "", 0, noDate, 262144, true, 20, Changed::None},
        {"Nero 7 Ultra Edition", true, "C:\\Program Files\\Nero\\Nero 7\\Core\\nero.exe", 3, FileTimeOfUtc(2006, 9, 9, 9, 9, 9), 367001600, true, 552, Changed::String, 0, "Update 7.5.1.1"},
        {"Skype™ 3.5", true, "C:\\Program Files\\Skype\\Phone\\Skype.exe", 22, FileTimeOfUtc(2007, 8, 1, 7, 45, 0), 22020096, true, 552, Changed::None},
        {"VLC media player 0.8.6", true, "C:\\Program Files\\VideoLAN\\VLC\\vlc.exe", 6, FileTimeOfUtc(2007, 4, 20, 22, 10, 30), 36700160, true, 552, Changed::ExpandString, 0, "%ProgramFiles%\\VideoLAN"},
        {"Spybot - Search & Destroy", true, "C:\\Program Files\\Spybot - Search & Destroy\\SpybotSD.exe", 8, FileTimeOfUtc(2007, 7, 7), 16777216, true, 552, Changed::Dword, 0},
        {"Tweak UI 2.10", false, "C:\\WINDOWS\\system32\\tweakui.exe", 5, FileTimeOfUtc(2005, 3, 3, 3, 3, 3), 598016, true, 552, Changed::None},
        {"DAEMON Tools", false, "C:\\Program Files\\DAEMON Tools\\daemon.exe", 5, 0x7FFFFFFFFFFFFFFFULL, 1572864, true, 552, Changed::None},
        {"Old Game Launcher", false, "D:\\Games\\Launcher\\launch.exe", 31, FileTimeOfUtc(2004, 2, 29, 16, 0, 1), 734003200, true, 552, Changed::LongDword, 0x2A},
        {"Google Earth", true, "C:\\Program Files\\Google\\Google Earth\\googleearth.exe", 9, 0x0000000012345678ULL, 57671680, true, 552, Changed::None},
        {"Microsoft .NET Framework 2.0", true, "C:\\WINDOWS\\Microsoft.NET\\Framework\\v2.0.50727\\dfsvc.exe", 0, FileTimeOfUtc(2006, 5, 17, 11, 11, 11), 220200960, true, 552, Changed::Dword, 0},
        {"Picasa 2", true, "C:\\Program Files\\Picasa2\\Picasa2.exe", 31, FileTimeOfUtc(2007, 10, 31, 20, 0, 0), 14680064, true, 552, Changed::String, 0, "Yes"},
        {"Ad-Aware SE Personal", false, "C:\\Program Files\\Lavasoft\\Ad-Aware SE Personal\\Ad-Aware.exe", 0, FileTimeOfUtc(2006, 2, 14, 6, 30, 0), 4194304, true, 552, Changed::None},
        {"Forté Agent 3.3", true, "C:\\Program Files\\Agent\\agent.exe", 14, FileTimeOfUtc(2006, 7, 4, 4, 4, 4), 6291456, true, 552, Changed::Binary},
    };
}

const QString kNetFramework = QStringLiteral("Microsoft .NET Framework 2.0");
const QString kStrayBytesEntry = QStringLiteral("Tweak UI 2.10");

// Programs only under Uninstall (hotfixes and the like have no cache entry).
const QStringList kUninstallOnly = {QStringLiteral("KB915800"), QStringLiteral("Windows Media Format Runtime")};

QByteArray entryRecord(const DemoEntry& e)
{
    CacheRecord fields;
    fields.RecordSize = static_cast<uint32_t>(e.size);
    fields.HasName = e.hasName;
    fields.InstallSize = e.installSize;
    fields.LastUsed = e.lastUsed;
    fields.Frequency = e.frequency;
    fields.FilePath = e.path;
    QByteArray data = EncodeCacheRecord(fields, e.size);
    if (e.name == kStrayBytesEntry)   // left-overs of a longer path after the terminator
        data.replace(400, 10, QByteArray("o\0l\0d\0.\0e\0", 10));
    return data;
}

void writeBytes(TNTRegistry& key, const QString& name, const QByteArray& data)
{
    key.WriteBytes(name, data.constData(), int(data.size()));
}

void writeChanged(TNTRegistry& key, const DemoEntry& e)
{
    const QString name = QStringLiteral("Changed");
    QByteArray number(4, '\0');
    qToLittleEndian<uint32_t>(e.changedNumber, number.data());
    switch (e.changed) {
    case Changed::None:
        break;
    case Changed::Dword:
        key.WriteDword(name, static_cast<int32_t>(e.changedNumber));
        break;
    case Changed::LongDword:
        key.WriteRaw(name, REG_DWORD, number + QByteArray("\x01\x02\x03\x04", 4));
        break;
    case Changed::String:
        key.WriteText(name, e.changedText);
        break;
    case Changed::ExpandString:
        key.WriteExpandText(name, e.changedText);
        break;
    case Changed::Binary:
        writeBytes(key, name, number);
        break;
    }
}

// Opens (creating) an absolute path under a root, or throws.
void open(TNTRegistry& key, HKEY root, const QString& path)
{
    key.SelectRoot(root);
    if (!key.OpenPath(path, true))
        throw EHiveError(QStringLiteral("Cannot create '%1\\%2'").arg(RootName(root), path));
}

void writeVersion(Machine& machine, const QString& version, const QString& product, const QString& build)
{
    TNTRegistry key(machine);
    open(key, HKEY_LOCAL_MACHINE, kNtVersionPath);
    key.WriteText(QStringLiteral("CurrentVersion"), version);
    key.WriteText(QStringLiteral("CurrentBuildNumber"), build);
    key.WriteText(QStringLiteral("ProductName"), product);
    key.WriteText(QStringLiteral("RegisteredOwner"), QStringLiteral("Demo User"));
    key.WriteExpandText(QStringLiteral("SystemRoot"), QStringLiteral("C:\\WINDOWS"));
}

void writeUninstall(Machine& machine, const QString& name, const QString& displayName)
{
    TNTRegistry key(machine);
    open(key, HKEY_LOCAL_MACHINE, kUninstallPath + QLatin1Char('\\') + name);
    key.WriteText(QStringLiteral("DisplayName"), displayName);
    key.WriteExpandText(QStringLiteral("UninstallString"),
                        QStringLiteral("\"%ProgramFiles%\\%1\\uninstall.exe\"").arg(displayName));
}

void writeDemoEntry(Machine& machine, HKEY cacheRoot, const DemoEntry& e)
{
    TNTRegistry key(machine);
    open(key, cacheRoot, CacheEntryPath(e.name));
    writeBytes(key, QStringLiteral("SlowInfoCache"), entryRecord(e));
    writeChanged(key, e);
    if (e.name == kNetFramework) {
        key.WriteText(QString(), QStringLiteral(".NET Framework 2.0 (x86)"));
        if (!key.OpenPath(QStringLiteral("Components"), true))
            throw EHiveError(QStringLiteral("Cannot create a subkey of '%1'").arg(e.name));
        key.WriteDword(QStringLiteral("Installed"), 1);
        key.WriteText(QStringLiteral("Version"), QStringLiteral("2.0.50727.42"));
    }
    if (e.inUninstall)
        writeUninstall(machine, e.name, e.name);
}

// An entry that gives no row: a key with no record at all.
void writeRowlessEntry(Machine& machine, HKEY cacheRoot)
{
    TNTRegistry key(machine);
    open(key, cacheRoot, CacheEntryPath(QStringLiteral("HP Photosmart Essential")));
    key.WriteDword(QStringLiteral("Changed"), 1);
}

void writeUserHive(Machine& machine)
{
    TNTRegistry key(machine);
    open(key, HKEY_CURRENT_USER, QStringLiteral("\\Software\\Microsoft\\Windows\\CurrentVersion"));
    open(key, HKEY_CURRENT_USER, QStringLiteral("\\Environment"));
    key.WriteExpandText(QStringLiteral("TEMP"), QStringLiteral("%USERPROFILE%\\Local Settings\\Temp"));
    open(key, HKEY_CURRENT_USER, QStringLiteral("\\Control Panel\\International"));
    key.WriteText(QStringLiteral("sShortDate"), QStringLiteral("M/d/yyyy"));
    key.WriteText(QStringLiteral("sTimeFormat"), QStringLiteral("h:mm:ss tt"));
}

// New empty hives at the paths, mounted as HKLM\SOFTWARE and HKEY_CURRENT_USER; the hive
// files are removed again when `fill` fails.
void writeHives(const QString& software, const QString& ntUser, const std::function<void(Machine&)>& fill)
{
    for (const QString& path : {software, ntUser})
        if (!path.isEmpty() && PathExists(path))
            throw EHiveError(QStringLiteral("'%1' already exists").arg(QDir::toNativeSeparators(path)));
    QStringList created;
    try {
        Machine machine;
        HiveStore::createEmpty(software);
        created.append(software);
        machine.mount(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE"), std::make_shared<HiveStore>(software));
        if (!ntUser.isEmpty()) {
            HiveStore::createEmpty(ntUser);
            created.append(ntUser);
            machine.mount(HKEY_CURRENT_USER, QString(), std::make_shared<HiveStore>(ntUser));
        }
        fill(machine);
        machine.commit();
    } catch (...) {
        for (const QString& path : created)
            ::unlink(NativePath(path).constData());
        throw;
    }
}

void makeFolder(const QString& dir)
{
    if (!MakeFolders(dir))
        throw EInOutError(QStringLiteral("Cannot create the folder '%1'").arg(QDir::toNativeSeparators(dir)));
}

} // namespace

uint64_t FileTimeOfUtc(int year, int month, int day, int hour, int minute, int second)
{
    constexpr int64_t kUnixEpochInFileTimeMs = 11644473600000LL;
    const QDateTime utc(QDate(year, month, day), QTime(hour, minute, second), Qt::UTC);
    return static_cast<uint64_t>(utc.toMSecsSinceEpoch() + kUnixEpochInFileTimeMs) * 10000u;
}

QByteArray EncodeCacheRecord(const CacheRecord& record, int size)
{
    QByteArray data(std::max(size, 0), '\0');
    char* p = data.data();
    auto put = [&](int offset, auto value) {
        if (offset + int(sizeof(value)) <= size)
            qToLittleEndian(value, p + offset);
    };
    put(0, record.RecordSize);
    put(4, uint32_t(record.HasName ? 1 : 0));
    put(8, record.InstallSize);
    put(16, record.LastUsed);
    put(24, record.Frequency);
    for (int i = 0; i < record.FilePath.size(); ++i)
        put(kCacheRecordHeaderSize + 2 * i, record.FilePath.at(i).unicode());
    return data;
}

void FillDemoRegistry(Machine& machine, bool vista)
{
    const HKEY cacheRoot = vista ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    if (vista)
        writeVersion(machine, QStringLiteral("6.0"), QStringLiteral("Windows Vista (TM) Business"), QStringLiteral("6000"));
    else
        writeVersion(machine, QStringLiteral("5.1"), QStringLiteral("Microsoft Windows XP"), QStringLiteral("2600"));
    writeUserHive(machine);
    for (const DemoEntry& entry : demoEntries())
        writeDemoEntry(machine, cacheRoot, entry);
    writeRowlessEntry(machine, cacheRoot);
    for (const QString& name : kUninstallOnly)
        writeUninstall(machine, name, name);
}

DemoHives MakeDemoRegistry(const QString& dir, bool vista)
{
    makeFolder(dir);
    const DemoHives hives{QDir(dir).filePath(QStringLiteral("SOFTWARE")), QDir(dir).filePath(QStringLiteral("NTUSER.DAT"))};
    writeHives(hives.software, hives.ntUser, [vista](Machine& machine) { FillDemoRegistry(machine, vista); });
    return hives;
}

namespace {

// Keys "Classes\Type 00000", ... with one 8 KiB value each, about `bytes` in all.
void writeOtherData(RegistryStore& software, qint64 bytes)
{
    constexpr qsizetype kValueSize = 8192;
    if (bytes <= 0)
        return;
    const NodeId classes = software.addChild(software.root(), QStringLiteral("Classes"));
    for (qint64 i = 0; i * kValueSize < bytes; ++i) {
        const NodeId key = software.addChild(classes, QStringLiteral("Type %1").arg(i, 5, 10, QLatin1Char('0')));
        software.setValue(key, RegValue{QStringLiteral("Data"), REG_BINARY, QByteArray(kValueSize, char('A' + i % 26))});
    }
}

} // namespace

QString MakeBigCacheHive(const QString& dir, int entries, qint64 otherBytes)
{
    makeFolder(dir);
    const QString software = QDir(dir).filePath(QStringLiteral("SOFTWARE"));
    // Filled in memory and written whole: hivex would rewrite the cache key's subkey list
    // for every entry added.
    const auto tree = std::make_shared<MemoryStore>();
    Machine machine;
    machine.mount(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE"), tree);
    writeVersion(machine, QStringLiteral("5.1"), QStringLiteral("Microsoft Windows XP"), QStringLiteral("2600"));
    for (int i = 0; i < entries; ++i) {
        const QString name = QStringLiteral("Program %1").arg(i, 5, 10, QLatin1Char('0'));
        const DemoEntry entry{name, i % 2 == 0, QStringLiteral("C:\\Program Files\\%1\\app.exe").arg(name),
                              i % 40 - 1, FileTimeOfUtc(2006, 1, 1) + uint64_t(i) * 6'000'000'000ULL,
                              int64_t(i) * 4096, true, kCacheRecordNormalSize, Changed::Dword, uint32_t(i)};
        writeDemoEntry(machine, HKEY_LOCAL_MACHINE, entry);
    }
    writeOtherData(*tree, otherBytes);
    HiveStore::createFrom(software, *tree);
    return software;
}

} // namespace parvelle
