#include "UndoContext.h"

#include "RegFile.h"
#include "UndoFile.h"
#include "UndoText.h"
#include "cache/OSInfo.h"
#include "core/Errors.h"
#include "registry/TNTRegistry.h"

#include <QDir>
#include <QThread>
#include <QTime>
#include <QSet>
#include <algorithm>
#include <unordered_set>

namespace parvelle {

namespace {

const QString kReading = QStringLiteral("Reading the file");
const QString kRestoring = QStringLiteral("Restoring");

QString fullPath(HKEY root, const QString& keyPath)
{
    return RootName(root) + RemoveSlash(keyPath);
}

// The hive locks one operation holds from before it reads what it records until after
// its commit.
using ChangeLocks = std::vector<std::unique_ptr<StoreLock>>;

// The stores an operation changes, each locked for changes once.
struct WriteLocks {
    std::unordered_set<RegistryStore*> stores;
    ChangeLocks held;
};

// Throws unless the key (or, when it is missing, its nearest existing ancestor) lies in
// a hive that can be written, so that nothing is recorded or changed that cannot be.
// Then locks that hive against other writers, or throws when another program holds it
// or changed it since it was read.
void lockWritable(Machine& machine, HKEY root, const QString& keyPath, WriteLocks& locks)
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
    if (locks.stores.insert(key->store).second)
        locks.held.push_back(key->store->lockForChanges());
}

// The key path with every name spelled as the registry stores it (the path opens).
QString storedPath(const Machine& machine, HKEY root, const QString& keyPath)
{
    std::optional<KeyRef> key = machine.rootKey(root);
    QString stored;
    for (const QString& part : keyPath.split(u'\\', Qt::SkipEmptyParts)) {
        const KeyRef parent = *key;
        key = machine.open(parent, part);
        if (!key)
            throw ERegistryException(QStringLiteral("Cannot open the key '%1'").arg(fullPath(root, keyPath)));
        QString name = part;
        if (key->store && key->node != key->store->root()) {
            name = key->store->name(key->node);
        } else {
            for (const QString& mounted : machine.subkeyNames(parent))
                if (SameName(mounted, part))
                    name = mounted;
        }
        stored += u'\\' + name;
    }
    return stored;
}

// The name of the open key's value as the registry stores it (the name matches it).
QString storedValueName(TNTRegistry& reg, const QString& valueName)
{
    QStringList names;
    reg.ListValues(names);
    const auto stored = std::find_if(names.cbegin(), names.cend(), [&](const QString& name) {
        return SameName(name, valueName);
    });
    return stored == names.cend() ? valueName : *stored;
}

// Throws unless the key can be written to an undo file and imported again as it is:
// key lines have no escapes, and Windows limits names and depth.
void requireRecordable(HKEY root, const QString& keyPath)
{
    constexpr qsizetype kMaxKeyDepth = 512;
    constexpr qsizetype kMaxKeyNameLength = 255;
    const auto refuse = [&](const QString& why) {
        throw ERegistryException(QStringLiteral("The key '%1' cannot be recorded in an undo file: %2")
                                     .arg(QuotedForMessage(fullPath(root, keyPath)), why));
    };
    if (keyPath.contains(u'\r') || keyPath.contains(u'\n'))
        refuse(QStringLiteral("its name holds a line break"));
    if (keyPath.contains(QChar(0)))
        refuse(QStringLiteral("its name holds a zero character"));
    const QStringList names = keyPath.split(u'\\', Qt::SkipEmptyParts);
    if (names.size() > kMaxKeyDepth)
        refuse(QStringLiteral("it is more than %1 levels deep, deeper than Windows allows").arg(kMaxKeyDepth));
    if (names.last().size() > kMaxKeyNameLength)
        refuse(QStringLiteral("its name is %1 characters long; Windows allows at most %2")
                   .arg(names.last().size()).arg(kMaxKeyNameLength));
}

// Drops the changes not committed, so that every hive shows what its file holds.
void discardQuietly(Machine& machine)
{
    try {
        machine.discardChanges();
    } catch (const EHiveError&) {
        // The file cannot be read now: the changes stay pending, and the next
        // operation's commit reports the file again.
    }
}

// Commits the operation; when a hive refuses, its changes are dropped and the refusal
// is raised.
void commitOrDiscard(Machine& machine)
{
    try {
        machine.commit();
    } catch (const EHiveError&) {
        discardQuietly(machine);
        throw;
    }
}

// "Cannot delete the key '...'", with the store's reason when it gave one.
ERegistryException deleteFailure(const TNTRegistry& reg, HKEY root, const QString& path)
{
    QString message = QStringLiteral("Cannot delete the key '%1'").arg(fullPath(root, path));
    if (!reg.LastStoreError().isEmpty())
        message += QStringLiteral(": ") + reg.LastStoreError();
    return ERegistryException(message);
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

// Appends the value's entry, after checking that the readers take back exactly this
// name and data from it.
void recordValue(const QString& keyName, const QString& name, const RawValue& raw, bool regedit4, QString& text)
{
    const QStringList lines = ValueEntryLines(name, raw.type, raw.data, regedit4);
    bool exact = false;
    try {
        const ParsedEntry parsed = ParseValueLines(lines, regedit4);
        exact = parsed.valueName == name && !parsed.data.erase && parsed.data.type == raw.type
            && parsed.data.data == raw.data;
    } catch (const EConvertError&) {
    }
    if (!exact)
        throw ERegistryException(QStringLiteral("The value '%1' of '%2' cannot be recorded exactly in an undo file")
                                     .arg(QuotedForMessage(name), QuotedForMessage(keyName)));
    appendLines(text, lines);
}

// Records the key with its values and, depth first, its subkeys, each key before its
// subkeys. Reads only; the walk keeps its own stack, however deep the tree.
void recordTree(TNTRegistry& reg, HKEY root, const QString& keyPath, bool regedit4, QString& text)
{
    std::vector<QString> pending{keyPath};
    while (!pending.empty()) {
        const QString path = std::move(pending.back());
        pending.pop_back();
        requireRecordable(root, path);
        if (!reg.OpenPath(path, false))
            throw ERegistryException(QStringLiteral("Cannot open the key '%1'").arg(fullPath(root, path)));
        text += kCrLf + KeyLine(root, path);
        QStringList values;
        QStringList subkeys;
        reg.ListValues(values);
        reg.ListSubkeys(subkeys);
        for (const QString& name : std::as_const(values))
            recordValue(fullPath(root, path), name, reg.ReadRaw(name), regedit4, text);
        endSection(text);
        for (auto subkey = subkeys.crbegin(); subkey != subkeys.crend(); ++subkey)
            pending.push_back(path + u'\\' + *subkey);
    }
}

// The text without its leading line ends.
QString undoBody(const QString& text)
{
    qsizetype start = 0;
    while (start < text.size() && (text[start] == u'\r' || text[start] == u'\n'))
        ++start;
    return text.mid(start);
}

// The whole new undo file: the current one with the text appended (in its own encoding
// where that can hold the text), or a new file with header and empty line. The text is
// made for the header of the file it goes into.
QByteArray composeUndoFile(const std::optional<QByteArray>& current,
                           const QString& newHeader, const std::function<QString(bool regedit4)>& text)
{
    if (current) {
        const RegFileText existing = DecodeRegFile(*current);
        if (!existing.lines.isEmpty() && IsHeaderLine(existing.lines.first())) {
            const bool regedit4 = HasRegedit4Header(existing);
            const QString body = undoBody(text(regedit4));
            const QByteArray lineEnd = existing.utf16 ? QByteArray("\n\0", 2) : QByteArray("\n");
            const QString added = (current->endsWith(lineEnd) ? QString() : kCrLf) + body + kCrLf;
            if (existing.utf16)
                return *current + Utf16Bytes(added);
            if (IsAscii(added))
                return *current + added.toLatin1();
            // Text outside ASCII: the whole file in the encoding its header calls for.
            return EncodeUndoText(existing.lines.join(kCrLf) + kCrLf + body + kCrLf, regedit4);
        }
    }
    const bool regedit4 = newHeader == kHeaderRegedit4;
    return EncodeUndoText(newHeader + kCrLf + kCrLf + undoBody(text(regedit4)) + kCrLf, regedit4);
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

void TUndoContext::report(const QString& step) const
{
    if (progress_)
        progress_(step, 0, 0);
}

void TUndoContext::reportCount(const QString& step, qint64 done, qint64 total) const
{
    constexpr qint64 kCountStride = 1000;
    if (progress_ && (done % kCountStride == 0 || done == total))
        progress_(step, done, total);
}

ChangeLocks TUndoContext::lockStores() const
{
    report(QStringLiteral("Locking the hive files"));
    return machine_.lockAndReloadStores();
}

void TUndoContext::commit() const
{
    report(QStringLiteral("Saving"));
    commitOrDiscard(machine_);
}

void TUndoContext::applyAndCommit(const std::function<void()>& apply) const
{
    try {
        apply();
    } catch (...) {
        discardQuietly(machine_);
        throw;
    }
    commit();
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
    const ChangeLocks held = lockStores();
    QStringList missing;
    QStringList found;
    WriteLocks locks;
    TNTRegistry reg(machine_);
    reg.SelectRoot(root);
    for (const QString& keyPath : keyPaths) {
        if (!reg.OpenPath(RemoveSlash(keyPath), false)) {
            missing << keyPath;
            continue;
        }
        const QString path = storedPath(machine_, root, RemoveSlash(keyPath));
        if (found.contains(path))
            continue;   // named twice
        lockWritable(machine_, root, path, locks);
        found << path;
    }
    if (found.isEmpty())
        return missing;
    writeUndo([&](bool regedit4) {
        QString text;
        for (const QString& path : std::as_const(found))
            recordTree(reg, root, path, regedit4, text);
        return text;
    });
    try {
        for (const QString& path : std::as_const(found)) {
            if (!reg.DeleteTree(path))
                throw deleteFailure(reg, root, path);
        }
    } catch (...) {
        commit();   // the keys deleted before the failure are recorded already
        throw;
    }
    commit();
    return missing;
}

bool TUndoContext::RemoveRegistryValue(HKEY root, const QString& keyPath,
                                       const QString& valueName)
{
    stampNow();
    const ChangeLocks held = lockStores();
    TNTRegistry reg(machine_);
    reg.SelectRoot(root);
    ValueInfo info;
    if (!reg.OpenPath(RemoveSlash(keyPath), false) || !reg.QueryValue(valueName, info))
        return false;
    const QString path = storedPath(machine_, root, RemoveSlash(keyPath));
    WriteLocks locks;
    lockWritable(machine_, root, path, locks);
    requireRecordable(root, path);
    const QString storedName = storedValueName(reg, valueName);
    writeUndo([&](bool regedit4) {
        QString text = kCrLf + KeyLine(root, path);
        recordValue(fullPath(root, path), storedName, reg.ReadRaw(storedName), regedit4, text);
        endSection(text);
        return text;
    });
    if (!reg.EraseValue(storedName))
        throw ERegistryException(QStringLiteral("Cannot delete the value '%1'").arg(storedName));
    commit();
    return true;
}

void TUndoContext::WriteReg(const QString& text)
{
    writeUndo([&](bool) { return text; });
}

void TUndoContext::writeUndo(const std::function<QString(bool regedit4)>& text)
{
    if (!MakeFolders(folder_.Folder()))
        throw EInOutError(QStringLiteral("Cannot create the undo folder '%1'")
                              .arg(folder_.Folder()));
    const QString path = UndoFilePath();
    report(QStringLiteral("Writing the undo file"));
    PutUndoFile(path, [&](const std::optional<QByteArray>& current) {
        if (current && !current->isEmpty() && !IsHeaderLine(DecodeRegFile(*current).lines.first()))
            throw EInOutError(QStringLiteral("Cannot write '%1': the file is not an undo file; it was left as it is").arg(path));
        return composeUndoFile(current, HeaderFor(osKind_), text);
    });
}

int TUndoContext::RestoreChecked(const QString& undoFilePath, const QStringList& checkedEntries)
{
    report(kReading);
    const RegFileText file = ReadRegFile(undoFilePath);
    try {
        ParseRegStatements(file);   // a damaged or cut file restores nothing
    } catch (const EConvertError& error) {
        throw EConvertError(QStringLiteral("'%1' cannot be restored: %2").arg(undoFilePath, error.message()));
    }
    const bool regedit4 = HasRegedit4Header(file);
    const QStringList entries = ListUndoEntries(file);
    const QSet<QString> listed(entries.cbegin(), entries.cend());
    const ValueLineIndex values(file);
    const ChangeLocks held = lockStores();
    std::vector<PlannedWrite> plan;
    for (const QString& entry : checkedEntries) {
        const UndoEntry parts = SplitUndoEntry(entry);
        if (parts.keyPath.startsWith(u'-'))
            continue;   // a key deletion of the file: nothing to write back
        QString path = parts.keyPath;
        const HKEY root = RootStToRoot(path);
        if (root == 0 || RemoveSlash(path).isEmpty())
            throw ERegistryException(QStringLiteral("'%1' does not name a key below a root key")
                                         .arg(QuotedForMessage(parts.keyPath)));
        path = RemoveSlash(path);
        const QStringList texts = parts.namePart.isEmpty() ? QStringList()
                                                           : values.valueTexts(parts.keyPath, parts.namePart);
        if (parts.namePart.isEmpty() ? !listed.contains(entry) : texts.isEmpty())
            throw EParvelleError(QStringLiteral("'%1' is not an entry of the undo file '%2'")
                                     .arg(QuotedForMessage(entry), undoFilePath));
        if (parts.namePart.isEmpty())
            plan.push_back({root, path, true, {}, {}});
        const QString valueName = ValueNameOf(parts.namePart);
        for (const QString& dataText : texts)
            plan.push_back({root, path, false, valueName, ParseValueData(dataText, regedit4)});
    }
    WriteLocks locks;
    for (const PlannedWrite& write : plan)
        lockWritable(machine_, write.root, write.path, locks);
    TNTRegistry reg(machine_);
    applyAndCommit([&] {
        for (size_t i = 0; i < plan.size(); ++i) {
            applyWrite(reg, plan[i]);
            reportCount(kRestoring, qint64(i + 1), qint64(plan.size()));
        }
    });
    return static_cast<int>(plan.size());
}

void TUndoContext::recordImport(TNTRegistry& reg, const std::vector<RegStatement>& statements, const QString& regFilePath)
{
    importUndoFile_.clear();
    QSet<QString> recorded;   // key paths, and key paths with "\\:" and a value name upper-cased
    std::vector<const RegStatement*> recording;
    const QString checking = QStringLiteral("Finding what it replaces");
    qint64 checked = 0;
    for (const RegStatement& statement : statements) {
        reportCount(checking, ++checked, qint64(statements.size()));
        const QString path = u'\\' + statement.keyPath;
        reg.SelectRoot(statement.root);
        ValueInfo info;
        const bool exists = statement.kind == RegStatement::DeleteKey
            ? reg.OpenPath(path, false)
            : statement.kind != RegStatement::CreateKey && reg.OpenPath(path, false) && reg.QueryValue(statement.valueName, info);
        if (!exists)
            continue;   // nothing there to delete or overwrite
        QString upcased = statement.valueName;
        for (QChar& unit : upcased)
            unit = QChar(UpcaseUnit(unit.unicode()));
        const QString id = fullPath(statement.root, storedPath(machine_, statement.root, path))
            + (statement.kind == RegStatement::DeleteKey ? QString() : QStringLiteral("\\\\:") + upcased);
        if (!recorded.contains(id)) {
            recorded.insert(id);
            recording.push_back(&statement);
        }
    }
    if (recording.empty())
        return;
    stampNow();
    const auto isImported = [&] { return AbsolutePath(UndoFilePath()) == AbsolutePath(regFilePath); };
    if (isImported()) {
        // The file imported was written this second: its record goes into the next second's.
        QThread::msleep(1000 - QTime::currentTime().msec());
        stampNow();
    }
    if (isImported())
        throw EInOutError(QStringLiteral("The record of this import would go into '%1', the file imported; "
                                         "nothing was changed, try again in a second").arg(regFilePath));
    writeUndo([&](bool regedit4) {
        QString text;
        for (const RegStatement* statement : recording) {
            reg.SelectRoot(statement->root);
            const QString path = storedPath(machine_, statement->root, u'\\' + statement->keyPath);
            if (statement->kind == RegStatement::DeleteKey) {
                recordTree(reg, statement->root, path, regedit4, text);
                continue;
            }
            requireRecordable(statement->root, path);
            reg.OpenPath(path, false);
            text += kCrLf + KeyLine(statement->root, path);
            recordValue(fullPath(statement->root, path), storedValueName(reg, statement->valueName),
                        reg.ReadRaw(statement->valueName), regedit4, text);
            endSection(text);
        }
        return text;
    });
    importUndoFile_ = UndoFilePath();
}

int TUndoContext::ImportFile(const QString& regFilePath)
{
    report(kReading);
    std::vector<RegStatement> statements = ParseRegStatements(ReadRegFile(regFilePath));
    std::erase_if(statements, [](const RegStatement& s) {
        return s.kind == RegStatement::CreateKey && s.keyPath.isEmpty();   // a root exists
    });
    const ChangeLocks held = lockStores();
    WriteLocks locks;
    for (const RegStatement& statement : statements)
        lockWritable(machine_, statement.root, u'\\' + statement.keyPath, locks);
    TNTRegistry reg(machine_);
    recordImport(reg, statements, regFilePath);
    qint64 done = 0;
    applyAndCommit([&] {
        for (const RegStatement& statement : statements) {
            const QString path = u'\\' + statement.keyPath;
            if (statement.kind == RegStatement::DeleteKey) {
                reg.SelectRoot(statement.root);
                if (reg.SubkeyExists(path) && !reg.DeleteTree(path))
                    throw deleteFailure(reg, statement.root, path);
            } else {
                applyWrite(reg, {statement.root, path, statement.kind == RegStatement::CreateKey,
                                 statement.valueName, {statement.kind == RegStatement::EraseValue,
                                                       statement.type, statement.data}});
            }
            reportCount(kRestoring, ++done, qint64(statements.size()));
        }
    });
    return static_cast<int>(statements.size());
}

} // namespace parvelle
