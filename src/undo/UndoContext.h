#pragma once
// Removal of registry keys with an undo file, restoring from undo files, importing .reg
// files. Every operation locks the hives against other writers and reads again those another
// program changed before it reads what it records, and commits the machine once, at its
// end, under those locks.
#include "RegFile.h"
#include "UndoFolder.h"
#include "registry/TNTRegistry.h"
#include "registry/Machine.h"
#include "registry/RootKeys.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

namespace parvelle {

class TUndoContext {
public:
    using Clock = std::function<QDateTime()>;   // local time
    // Told, on the operation's thread, what a change is doing: its step, and in a step
    // over many statements how many of how many are done (total 0: the step does not count).
    using Progress = std::function<void(const QString& step, qint64 done, qint64 total)>;

    TUndoContext(Machine& machine, uint8_t osKind, const QString& undoFolder,
                 Clock clock = [] { return QDateTime::currentDateTime(); });

    uint8_t OSKind() const { return osKind_; }
    const TUndoFolder& UndoFolder() const { return folder_; }
    // Stamp of the last removal, "yyyymmdd-hhnnss"; empty before the first.
    const QString& UndoStamp() const { return undoStamp_; }
    // Full path of the undo file of the last removal.
    QString UndoFilePath() const;
    void SetProgress(Progress progress) { progress_ = std::move(progress); }

    // Removes the cache entry of that key name (HKEY_CURRENT_USER on OS kind 8, else
    // HKEY_LOCAL_MACHINE). False when the entry does not exist. Throws
    // EParvelleError for a name that is empty or holds a backslash.
    bool RemoveCacheEntry(const QString& name);
    // Removes several entries as one operation: one stamp, every entry recorded in one
    // flushed write before the first is deleted, one commit at the end. Returns the
    // names that did not exist. Throws, removing nothing, when any entry cannot be
    // recorded.
    QStringList RemoveCacheEntries(const QStringList& names);
    // Records the whole key tree in the undo file, flushed to disk, then deletes the
    // key and commits. False (nothing written or removed) when the key cannot be
    // opened. Throws, leaving the registry untouched, when anything of the tree cannot
    // be read, the key is read-only, or the undo file cannot be written.
    bool RemoveRegistryKey(HKEY root, const QString& keyPath);
    // The same for one value of a key; false when the key or value does not exist.
    bool RemoveRegistryValue(HKEY root, const QString& keyPath, const QString& valueName);

    // Appends the text (leading line ends dropped) to the undo file of the current
    // stamp, creating it with header and empty line when it is missing or has no
    // header. The file is put in place whole and synced (see PutUndoFile); text outside
    // ASCII makes it UTF-16 under the 5.00 header, Windows-1252 under REGEDIT4. Throws
    // EInOutError, leaving the file as it was.
    void WriteReg(const QString& text);

    // Writes back the values of the checked entries from the undo file (every matching
    // value line in file order; a key-only entry creates its key). The whole file is
    // checked before the first write: a damaged file, or an entry the file does not
    // hold, throws and restores nothing. Returns the number of values and keys written.
    int RestoreChecked(const QString& undoFilePath, const QStringList& checkedEntries);
    // Applies a whole .reg file as the registry editor imports it. What it will delete or
    // overwrite is first recorded in an undo file of the current stamp, like a removal's
    // (none when it changes nothing that exists). Returns the number of statements applied.
    int ImportFile(const QString& regFilePath);
    // The undo file the last import wrote; empty when it recorded nothing.
    const QString& ImportUndoFile() const { return importUndoFile_; }

private:
    void stampNow();
    void report(const QString& step) const;
    // Reports the count of one step now and then, not at each of many thousands.
    void reportCount(const QString& step, qint64 done, qint64 total) const;
    // Locks and reads again the changed stores, reporting the wait for another program.
    std::vector<std::unique_ptr<StoreLock>> lockStores() const;
    // Commits the machine, reporting the save; a refused commit drops the changes.
    void commit() const;
    // Applies the changes and commits them, all or nothing: a failure part-way drops
    // what was applied before it, in memory too.
    void applyAndCommit(const std::function<void()>& apply) const;
    // Writes the undo file of an import (see ImportFile).
    void recordImport(TNTRegistry& reg, const std::vector<RegStatement>& statements, const QString& regFilePath);
    // Writes the undo text, made for the header of the file it goes into, as WriteReg.
    void writeUndo(const std::function<QString(bool regedit4)>& text);
    void requireCacheEntryName(const QString& name) const;
    // Records the existing keys in one undo write, then deletes them and commits.
    // Returns the key paths that do not exist.
    QStringList removeKeys(HKEY root, const QStringList& keyPaths);

    Machine& machine_;
    uint8_t osKind_;
    TUndoFolder folder_;
    Clock clock_;
    Progress progress_;
    QString undoStamp_;
    QString importUndoFile_;
};

} // namespace parvelle
