#pragma once
// Reading evidence without leaving a trace: files and folders are opened read-only, with
// O_NOATIME where the system permits it (to the file's owner and to a process that may
// change any file's times), so that reading them changes no access time.
#include <QString>
#include <QStringList>
#include <fcntl.h>

namespace parvelle {

// A file descriptor of `path` opened with `flags` (O_RDONLY and O_CLOEXEC added), or -1
// with errno set.
int OpenQuietly(const QString& path, int flags = 0);

enum class EntryKind { Files, Folders, Any };

// The names of a folder's entries of one kind (symbolic links followed; "Files" counts
// every entry that is not a folder, "Any" every entry), sorted ignoring letter case; empty
// when the folder cannot be read.
QStringList QuietFolderEntries(const QString& folder, EntryKind kind);

} // namespace parvelle
