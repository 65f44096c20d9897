#include "QuietRead.h"

#include "NativePath.h"

#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace parvelle {

int OpenQuietly(const QString& path, int flags)
{
    const QByteArray name = NativePath(path);
    flags |= O_RDONLY | O_CLOEXEC;
    const int fd = ::open(name.constData(), flags | O_NOATIME);
    if (fd >= 0 || errno != EPERM)
        return fd;
    return ::open(name.constData(), flags);   // not the owner: the access time may change
}

QStringList QuietFolderEntries(const QString& folder, EntryKind kind)
{
    const int fd = OpenQuietly(folder, O_DIRECTORY);
    if (fd < 0)
        return {};
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return {};
    }
    QStringList names;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), entry->d_name, &st, 0) != 0 && ::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (kind == EntryKind::Any || S_ISDIR(st.st_mode) == (kind == EntryKind::Folders))
            names.append(PathFromNative(name));
    }
    ::closedir(dir);
    names.sort(Qt::CaseInsensitive);
    return names;
}

} // namespace parvelle
