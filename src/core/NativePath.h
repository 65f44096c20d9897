#pragma once
// File names on Linux are bytes, not always UTF-8 (a Latin-1 name such as "caf\xE9" from an
// old disk). A path is a QString here in which each byte that is not part of valid UTF-8
// stands as the lone surrogate U+DC00 + byte, so that every name the system gives, and
// every argument of a command line, comes back to exactly its bytes. Qt's own file classes
// would replace those bytes (QFile::encodeName), so every path that reaches the system goes
// through NativePath and the calls below.
#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace parvelle {

// The bytes of a path for open(), stat() and the like.
QByteArray NativePath(QStringView path);
// A path from the bytes the system gave (a folder entry, an argument).
QString PathFromNative(QByteArrayView bytes);
// A command line's arguments, each decoded as a path.
QStringList ArgumentsFromNative(int argc, const char* const* argv);

// The byte a path's character stands for when it stands for one that is not UTF-8, else -1.
int PathByteOf(char16_t c);

bool PathExists(const QString& path);   // symbolic links followed
bool IsFolder(const QString& path);     // symbolic links followed
bool IsFile(const QString& path);       // a regular file, symbolic links followed
bool IsSymLink(const QString& path);
bool IsWritable(const QString& path);

// The path made absolute against the current folder and cleaned of "." and ".." (no
// symbolic link resolved).
QString AbsolutePath(const QString& path);
// The folder holding `path`, made absolute.
QString ParentFolder(const QString& path);
// The absolute path with every symbolic link resolved, or empty when it does not exist.
QString CanonicalPath(const QString& path);
// Where a symbolic link points, made absolute; empty when `path` is no link.
QString SymLinkTarget(const QString& path);

// Creates the folder and those above it that are missing; false when it cannot.
bool MakeFolders(const QString& path);

// Opens `file` on `path`; false (errno set) when it cannot be opened. `mode` is ReadOnly,
// WriteOnly (the file is created, and truncated) or ReadWrite.
bool OpenFile(QFile& file, const QString& path, QIODevice::OpenMode mode);

} // namespace parvelle
