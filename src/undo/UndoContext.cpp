#include "UndoContext.h"

#include "RegFile.h"
#include "UndoText.h"
#include "cache/OSInfo.h"
#include "registry/Errors.h"
#include "registry/TNTRegistry.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <fcntl.h>
#include <unistd.h>

namespace parvelle {

namespace {

QString fullPath(HKEY root, const QString& keyPath)
{
    return RootName(root) + RemoveSlash(keyPath);
}

// The hive locks one operation holds from before it reads what it records until after
// its commit.
using ChangeLocks = std::vector<std::unique_ptr<StoreLock>>;

// Throws unless the key (or, when it is missing, its nearest existing ancestor) lies in
// a hive that can be written, so that nothing is recorded or changed that cannot be.
// Then locks that hive against other writers, or throws when another program holds it
// or changed it since it was read.
void lockWritable(Machine& machine, HKEY root, const QString& keyPath, ChangeLocks& locks)
{
    const std::optional<KeyRef> rootRef = machine.rootKey(root);
    if (!rootRef)
        throw ERegistryException(QStringLiteral("Unknown root key for '%1'")
                                     .arg(fullPath(root, keyPath)));
    QString path = RemoveSlash(keyPath);
    if (path.startsWith(u'\\'))
        path.remove(0, 1);
    std::optional<KeyRef> key = machine.open(*rootRef, path);
    while (!key && !path.isEmpty()) {   // up to the root itself, a hive's root under HKEY_CURRENT_USER
        path.truncate(std::max<qsizetype>(path.lastIndexOf(u'\\'), 0));
        key = machine.open(*rootRef, path);
    }
    if (!key || !key->store)
        throw ERegistryException(QStringLiteral("No hive holds the key '%1'")
                                     .arg(fullPath(root, keyPath)));
    if (!machine.isWritable(*key))
        throw EHiveError(QStringLiteral("The key '%1' cannot be changed: %2")
                             .arg(fullPath(root, keyPath), key->store->readOnlyReason()));
    locks.push_back(key->store->lockForChanges());
}

void appendLines(QString& text, const QStringList& lines)
{
    for (const QString& line : lines)
        text += kCrLf + line;
}

// An empty line ends the entries of each key, as the registry editor writes its files:
// hivexregedit takes a key line only after an empty line and no value line after one,
// so hex entries get no empty line of their own.
void endSection(QString& text)
{
    text += kCrLf;
}

// Records the open key with its values and, depth first, its subkeys. Reads only.
void recordTree(TNTRegistry& reg, HKEY root, const QString& keyPath, QString& text)
{
    // Key lines have no escapes: a line break would split the line and lose the key.
    if (keyPath.contains(u'\r') || keyPath.contains(u'\n'))
        throw ERegistryException(QStringLiteral("The key '%1' cannot be recorded in an undo file: "
                                                "its name holds a line break")
                                     .arg(fullPath(root, keyPath)));
    text += kCrLf + KeyLine(root, keyPath);
    QStringList values;
    QStringList subkeys;
    reg.ListValues(values);
    reg.ListSubkeys(subkeys);
    for (const QString& name : std::as_const(values)) {
        const RawValue raw = reg.ReadRaw(name);
        appendLines(text, ValueEntryLines(name, raw.Type, raw.Data));
    }
    endSection(text);
    for (const QString& subkey : std::as_const(subkeys)) {
        const QString subPath = keyPath + u'\\' + subkey;
        if (!reg.OpenPath(subPath, false))
            throw ERegistryException(QStringLiteral("Cannot open the key '%1'")
                                         .arg(fullPath(root, subPath)));
        recordTree(reg, root, subPath, text);
    }
}

void syncToDisk(QFile& file)
{
    if (!file.flush() || ::fsync(file.handle()) != 0)
        throw EInOutError(QStringLiteral("Cannot write '%1': %2")
                              .arg(file.fileName(), file.errorString()));
}

void syncFolder(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// How an existing undo file continues: appended to (in its own encoding) or replaced.
struct ExistingFile {
    bool append = false;
    bool utf16 = false;
    bool endsWithLineEnd = true;
};

ExistingFile inspectExisting(const QString& path)
{
    QFile file(path);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly))
        throw EInOutError(QStringLiteral("Cannot read '%1': %2").arg(path, file.errorString()));
    const RegFileText head = DecodeRegFile(file.read(512));
    ExistingFile existing;
    existing.append = !head.lines.isEmpty() && IsHeaderLine(head.lines.first());
    existing.utf16 = head.utf16;
    if (existing.append) {
        const QByteArray lineEnd = existing.utf16 ? QByteArray("\n\0", 2) : QByteArray("\n");
        file.seek(std::max<qint64>(0, file.size() - lineEnd.size()));
        existing.endsWithLineEnd = file.read(lineEnd.size()) == lineEnd;
    }
    return existing;
}

QByteArray encoded(const QString& text, bool utf16)
{
    QStringEncoder encoder(utf16 ? QStringConverter::Utf16LE : QStringConverter::Utf8);
    return encoder.encode(text);
}

struct PlannedWrite {
    HKEY root = 0;
    QString path;           // with leading backslash
    bool keyOnly = false;
    QString valueName;
    ParsedData data;
};

// Writes one planned value (or creates the key of a key-only entry).
void applyWrite(TNTRegistry& reg, const PlannedWrite& write)
{
    reg.SelectRoot(write.root);
    // Creating is tried only for a missing key: it costs a scan of the siblings.
    if (!reg.OpenPath(write.path, false) && (write.data.erase || !reg.OpenPath(write.path, true))) {
        if (write.data.erase)
            return;   // nothing to erase in a key that does not exist
        throw ERegistryException(QStringLiteral("Cannot open or create the key '%1'")
                                     .arg(fullPath(write.root, write.path)));
    }
    if (write.data.erase)
        reg.EraseValue(write.valueName);
    else if (!write.keyOnly)
        reg.WriteRaw(write.valueName, write.data.type, write.data.data);
    reg.ClosePath();
}

} // namespace

TUndoContext::TUndoContext(Machine& machine, uint8_t osKind, const QString& undoFolder,
                           Clock clock)
    : machine_(machine), osKind_(osKind), folder_(undoFolder), clock_(std::move(clock))
{
}

QString TUndoContext::UndoFilePath() const
{
    return QDir(folder_.Folder()).filePath(undoStamp_ + QStringLiteral(".reg"));
}

void TUndoContext::stampNow()
{
    undoStamp_ = UndoStampOf(clock_());
}

void TUndoContext::requireCacheEntryName(const QString& name) const
{
    if (name.isEmpty())
        throw EParvelleError(QStringLiteral("You must select an item from the list"));
    if (name.contains(u'\\'))
        throw EParvelleError(QStringLiteral("'%1' is not the name of a cache entry").arg(name));
}

bool TUndoContext::RemoveCacheEntry(const QString& name)
{
    requireCacheEntryName(name);
    return RemoveRegistryKey(CacheRoot(osKind_), CacheEntryPath(name));
}

QStringList TUndoContext::RemoveCacheEntries(const QStringList& names)
{
    QStringList paths;
    for (const QString& name : names) {
        requireCacheEntryName(name);
        paths << CacheEntryPath(name);
    }
    stampNow();
    const QStringList missingPaths = removeKeys(CacheRoot(osKind_), paths);
    QStringList missing;
    for (const QString& name : names) {
        if (missingPaths.contains(CacheEntryPath(name)))
            missing << name;
    }
    return missing;
}

bool TUndoContext::RemoveRegistryKey(HKEY root, const QString& keyPath)
{
    stampNow();
    return removeKeys(root, {keyPath}).isEmpty();
}

QStringList TUndoContext::removeKeys(HKEY root, const QStringList& keyPaths)
{
    QStringList missing;
    QStringList found;
    QString text;
    ChangeLocks locks;
    TNTRegistry reg(machine_);
    reg.SelectRoot(root);
    for (const QString& keyPath : keyPaths) {
        const QString path = RemoveSlash(keyPath);
        if (found.contains(path, Qt::CaseInsensitive))
            continue;   // named twice
        if (!reg.OpenPath(path, false)) {
            missing << keyPath;
            continue;
        }
        lockWritable(machine_, root, path, locks);
        recordTree(reg, root, path, text);
        reg.ClosePath();
        found << path;
    }
    if (found.isEmpty())
        return missing;
    WriteReg(text);
    try {
        for (const QString& path : std::as_const(found)) {
            if (!reg.DeleteTree(path))
                throw ERegistryException(QStringLiteral("Cannot delete the key '%1'")
                                             .arg(fullPath(root, path)));
        }
    } catch (...) {
        machine_.commit();   // the keys deleted before the failure are recorded already
        throw;
    }
    machine_.commit();
    return missing;
}

bool TUndoContext::RemoveRegistryValue(HKEY root, const QString& keyPath,
                                       const QString& valueName)
{
    stampNow();
    const QString path = RemoveSlash(keyPath);
    TNTRegistry reg(machine_);
    reg.SelectRoot(root);
    ValueInfo info;
    if (!reg.OpenPath(path, false) || !reg.QueryValue(valueName, info))
        return false;
    ChangeLocks locks;
    lockWritable(machine_, root, path, locks);
    const RawValue raw = reg.ReadRaw(valueName);
    QString text = kCrLf + KeyLine(root, path);
    appendLines(text, ValueEntryLines(valueName, raw.Type, raw.Data));
    endSection(text);
    WriteReg(text);
    if (!reg.EraseValue(valueName))
        throw ERegistryException(QStringLiteral("Cannot delete the value '%1'").arg(valueName));
    machine_.commit();
    return true;
}

void TUndoContext::WriteReg(const QString& text)
{
    qsizetype start = 0;
    while (start < text.size() && (text[start] == u'\r' || text[start] == u'\n'))
        ++start;
    const QString body = text.mid(start);
    if (!QDir().mkpath(folder_.Folder()))
        throw EInOutError(QStringLiteral("Cannot create the undo folder '%1'")
                              .arg(folder_.Folder()));
    const QString path = UndoFilePath();
    const ExistingFile existing = inspectExisting(path);
    QString out;
    if (existing.append)
        out = (existing.endsWithLineEnd ? QString() : kCrLf) + body + kCrLf;
    else
        out = HeaderFor(osKind_) + kCrLf + kCrLf + body + kCrLf;
    QFile file(path);
    const auto mode = existing.append ? QIODevice::Append : QIODevice::WriteOnly | QIODevice::Truncate;
    if (!file.open(mode))
        throw EInOutError(QStringLiteral("Cannot write '%1': %2").arg(path, file.errorString()));
    const QByteArray bytes = encoded(out, existing.append && existing.utf16);
    if (file.write(bytes) != bytes.size())
        throw EInOutError(QStringLiteral("Cannot write '%1': %2").arg(path, file.errorString()));
    syncToDisk(file);
    file.close();
    if (!existing.append)
        syncFolder(folder_.Folder());
}

int TUndoContext::RestoreChecked(const QString& undoFilePath, const QStringList& checkedEntries)
{
    const RegFileText file = ReadRegFile(undoFilePath);
    std::vector<PlannedWrite> plan;
    for (const QString& entry : checkedEntries) {
        const UndoEntry parts = SplitUndoEntry(entry);
        if (parts.keyPath.startsWith(u'-'))
            continue;   // a key deletion of the file: nothing to write back
        QString path = parts.keyPath;
        const HKEY root = RootStToRoot(path);
        if (root == 0 || RemoveSlash(path).isEmpty())
            throw ERegistryException(QStringLiteral("'%1' does not name a key below a root key")
                                         .arg(parts.keyPath));
        path = RemoveSlash(path);
        if (parts.namePart.isEmpty()) {
            plan.push_back({root, path, true, {}, {}});
            continue;
        }
        const QString valueName = ValueNameOf(parts.namePart);
        const QStringList texts = FindValueTexts(file, parts.keyPath, parts.namePart);
        for (const QString& dataText : texts)
            plan.push_back({root, path, false, valueName, ParseValueData(dataText)});
    }
    ChangeLocks locks;
    for (const PlannedWrite& write : plan)
        lockWritable(machine_, write.root, write.path, locks);
    TNTRegistry reg(machine_);
    for (const PlannedWrite& write : plan)
        applyWrite(reg, write);
    machine_.commit();
    return static_cast<int>(plan.size());
}

int TUndoContext::ImportFile(const QString& regFilePath)
{
    std::vector<RegStatement> statements = ParseRegStatements(ReadRegFile(regFilePath));
    std::erase_if(statements, [](const RegStatement& s) {
        return s.kind == RegStatement::CreateKey && s.keyPath.isEmpty();   // a root exists
    });
    ChangeLocks locks;
    for (const RegStatement& statement : statements)
        lockWritable(machine_, statement.root, u'\\' + statement.keyPath, locks);
    TNTRegistry reg(machine_);
    int applied = 0;
    for (const RegStatement& statement : statements) {
        const QString path = u'\\' + statement.keyPath;
        if (statement.kind == RegStatement::DeleteKey) {
            reg.SelectRoot(statement.root);
            if (reg.SubkeyExists(path) && !reg.DeleteTree(path))
                throw ERegistryException(QStringLiteral("Cannot delete the key '%1'")
                                             .arg(fullPath(statement.root, path)));
        } else {
            applyWrite(reg, {statement.root, path, statement.kind == RegStatement::CreateKey,
                             statement.valueName, {statement.kind == RegStatement::EraseValue,
                                                   statement.type, statement.data}});
        }
        ++applied;
    }
    machine_.commit();
    return applied;
}

} // namespace parvelle
