#include "NativePath.h"

#include <QDir>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace parvelle {

namespace {

constexpr char16_t kFirstByteMark = 0xDC80;   // stands for the byte 0x80
constexpr char16_t kLastByteMark = 0xDCFF;

// The length of the valid UTF-8 sequence at `at` (none with overlong forms, surrogates or
// code points above U+10FFFF), or 0.
int validSequence(const unsigned char* at, qsizetype left, char32_t& code)
{
    const unsigned char lead = at[0];
    int length = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, code = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, code = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, code = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (left < length)
        return 0;
    for (int i = 1; i < length; ++i) {
        if ((at[i] & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (at[i] & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

bool statOf(const QString& path, struct stat& st, bool followLinks)
{
    const QByteArray native = NativePath(path);
    return (followLinks ? ::stat(native.constData(), &st) : ::lstat(native.constData(), &st)) == 0;
}

QString currentFolder()
{
    const std::unique_ptr<char, decltype(&std::free)> folder(::getcwd(nullptr, 0), &std::free);
    return folder ? PathFromNative(folder.get()) : QStringLiteral("/");
}

} // namespace

int PathByteOf(char16_t c)
{
    return c >= kFirstByteMark && c <= kLastByteMark ? int(c - 0xDC00) : -1;
}

QByteArray NativePath(QStringView path)
{
    if (std::none_of(path.begin(), path.end(), [](QChar c) { return PathByteOf(c.unicode()) >= 0; }))
        return path.toUtf8();
    QByteArray bytes;
    bytes.reserve(path.size() * 3);
    qsizetype plain = 0;   // start of the characters not yet written
    for (qsizetype i = 0; i <= path.size(); ++i) {
        const int byte = i < path.size() ? PathByteOf(path[i].unicode()) : -1;
        const bool escapedByte = byte >= 0 && !(i > 0 && path[i - 1].isHighSurrogate());
        if (i < path.size() && !escapedByte)
            continue;
        bytes += path.sliced(plain, i - plain).toUtf8();
        if (i < path.size())
            bytes += char(byte);
        plain = i + 1;
    }
    return bytes;
}

QString PathFromNative(QByteArrayView bytes)
{
    if (bytes.isValidUtf8())
        return QString::fromUtf8(bytes);
    QString path;
    path.reserve(bytes.size());
    const auto* at = reinterpret_cast<const unsigned char*>(bytes.data());
    for (qsizetype i = 0; i < bytes.size();) {
        char32_t code = 0;
        if (at[i] < 0x80) {
            path += QChar(char16_t(at[i++]));
        } else if (const int length = validSequence(at + i, bytes.size() - i, code); length > 0) {
            path += QString::fromUcs4(&code, 1);
            i += length;
        } else {
            path += QChar(char16_t(0xDC00 + at[i++]));
        }
    }
    return path;
}

QStringList ArgumentsFromNative(int argc, const char* const* argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << PathFromNative(argv[i]);
    return arguments;
}

bool PathExists(const QString& path)
{
    struct stat st {};
    return !path.isEmpty() && statOf(path, st, true);
}

bool IsFolder(const QString& path)
{
    struct stat st {};
    return !path.isEmpty() && statOf(path, st, true) && S_ISDIR(st.st_mode);
}

bool IsFile(const QString& path)
{
    struct stat st {};
    return !path.isEmpty() && statOf(path, st, true) && S_ISREG(st.st_mode);
}

bool IsSymLink(const QString& path)
{
    struct stat st {};
    return !path.isEmpty() && statOf(path, st, false) && S_ISLNK(st.st_mode);
}

bool IsWritable(const QString& path)
{
    return !path.isEmpty() && ::access(NativePath(path).constData(), W_OK) == 0;
}

QString AbsolutePath(const QString& path)
{
    if (path.isEmpty())
        return {};
    return QDir::cleanPath(path.startsWith(u'/') ? path : currentFolder() + u'/' + path);
}

QString ParentFolder(const QString& path)
{
    const QString absolute = AbsolutePath(path);
    const qsizetype slash = absolute.lastIndexOf(u'/');
    return slash <= 0 ? QStringLiteral("/") : absolute.left(slash);
}

QString CanonicalPath(const QString& path)
{
    if (path.isEmpty())
        return {};
    const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(NativePath(path).constData(), nullptr), &std::free);
    return resolved ? PathFromNative(resolved.get()) : QString();
}

QString SymLinkTarget(const QString& path)
{
    QByteArray target(PATH_MAX, '\0');
    const ssize_t size = ::readlink(NativePath(path).constData(), target.data(), size_t(target.size()));
    if (size <= 0)
        return {};
    const QString named = PathFromNative(QByteArrayView(target.constData(), size));
    return named.startsWith(u'/') ? QDir::cleanPath(named) : AbsolutePath(ParentFolder(path) + u'/' + named);
}

bool MakeFolders(const QString& path)
{
    const QString absolute = AbsolutePath(path);
    if (absolute.isEmpty())
        return false;
    if (IsFolder(absolute))
        return true;
    if (absolute != QLatin1String("/") && !MakeFolders(ParentFolder(absolute)))
        return false;
    return ::mkdir(NativePath(absolute).constData(), 0777) == 0 || (errno == EEXIST && IsFolder(absolute));
}

bool OpenFile(QFile& file, const QString& path, QIODevice::OpenMode mode)
{
    int flags = O_RDONLY;
    if (mode.testFlag(QIODevice::ReadWrite))
        flags = O_RDWR | O_CREAT;
    else if (mode.testFlag(QIODevice::WriteOnly))
        flags = O_WRONLY | O_CREAT | O_TRUNC;
    const int fd = ::open(NativePath(path).constData(), flags | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    if (file.open(fd, mode, QFileDevice::AutoCloseHandle))
        return true;
    ::close(fd);
    errno = EIO;
    return false;
}

} // namespace parvelle
