#pragma once
// Putting an undo file in place so that it is always complete or absent, and never
// overwrites what another process wrote.
#include <QByteArray>
#include <QString>
#include <chrono>
#include <functional>
#include <optional>

namespace parvelle {

// The whole new content of the file from its current content (nullopt when there is no
// file yet). May throw to refuse the write; nothing is changed then.
using UndoFileComposer = std::function<QByteArray(const std::optional<QByteArray>& current)>;

// Under the file's lock (waiting up to `lockWait` for another writer), writes the
// composed content to a temporary file in the file's folder, syncs it and puts it in
// place (SafeFile): a new file never replaces one that appeared meanwhile, an existing
// one is replaced only while it is as read. Temporaries of killed writers in the folder
// are removed first. Throws EInOutError with the system's reason; a failed write leaves
// no trace.
void PutUndoFile(const QString& path, const UndoFileComposer& compose,
                 std::chrono::milliseconds lockWait = std::chrono::seconds(10));

// The largest file the readers take: larger input is refused, not read.
inline constexpr qint64 kMaxRegFileSize = 128LL * 1024 * 1024;

// Reads a whole regular file of at most kMaxRegFileSize bytes. Throws EInOutError when it
// cannot be read, is larger, or is no regular file (a FIFO or a device is never waited on).
QByteArray ReadLimitedFile(const QString& path);

} // namespace parvelle
