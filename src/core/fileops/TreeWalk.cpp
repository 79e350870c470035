#include "core/fileops/TreeWalk.h"

#include "platform/Posix.h"

#include <QDir>

#include <cerrno>
#include <cstring>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace FileOps::detail {

QByteArray bytesOf(const QString &path) {
    auto bytes = Posix::encode(path);
    if (!bytes || bytes->isEmpty()) throw FileError::fromErrno(EILSEQ);
    return *bytes;
}

QString textOf(const QByteArray &bytes) {
    // Only for messages.
    return Posix::shown(bytes);
}

bool liesInside(const QString &to, const struct stat &folder) {
    const auto p = Posix::encode(to);
    if (!p) return false;
    int fd = ::open(p->constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool inside = false;
    // Walk up through ".." (which the kernel resolves across mounts) to the root.
    for (int depth = 0; depth < 4096; ++depth) {
        struct stat st;
        if (::fstat(fd, &st) != 0) break;
        if (sameInode(st, folder)) {
            inside = true;
            break;
        }
        const int up = ::openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (up < 0) break;
        struct stat upSt;
        const bool atRoot = ::fstat(up, &upSt) == 0 && sameInode(upSt, st);
        ::close(fd);
        fd = up;
        if (atRoot) break;
    }
    ::close(fd);
    return inside;
}

namespace {

int removeAt(int dirFd, const char *name) {
    if (::unlinkat(dirFd, name, 0) == 0) return 0;
    if (errno != EISDIR && errno != EPERM) return errno == ENOENT ? 0 : errno;
    const int unlinkErr = errno;
    const int fd = ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return errno == ENOTDIR ? unlinkErr : errno;
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        const int e = errno;
        ::close(fd);
        return e;
    }
    std::vector<QByteArray> names;
    while (dirent *e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        names.emplace_back(e->d_name);
    }
    int first = 0;
    for (const QByteArray &n : names) {
        const int e = removeAt(::dirfd(dir), n.constData());
        if (e && !first) first = e;
    }
    ::closedir(dir);
    if (::unlinkat(dirFd, name, AT_REMOVEDIR) != 0 && errno != ENOENT && !first) first = errno;
    return first;
}

} // namespace

int removeTree(const QString &path) {
    const auto p = Posix::encode(path);
    if (!p) return EILSEQ;
    return removeTree(*p);
}

int removeTree(const QByteArray &path) {
    if (path.isEmpty() || path.contains('\0')) return EINVAL;
    return removeAt(AT_FDCWD, path.constData());
}

int renameNoReplace(const QString &from, const QString &to) {
    const auto a = Posix::encode(from);
    const auto b = Posix::encode(to);
    if (!a || !b) return EILSEQ;
    if (::renameat2(AT_FDCWD, a->constData(), AT_FDCWD, b->constData(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL) return errno;
    // File systems without RENAME_NOREPLACE say EINVAL: look first, then rename plainly.
    struct stat st;
    if (::lstat(b->constData(), &st) == 0) return EEXIST;
    if (errno != ENOENT) return errno;
    return ::rename(a->constData(), b->constData()) == 0 ? 0 : errno;
}

int syncFolder(const QString &folder) {
    const auto p = Posix::encode(folder);
    if (!p) return EILSEQ;
    const int fd = ::open(p->constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    int e = 0;
    if (Posix::retry([&] { return ::fsync(fd); }) != 0 && errno != EINVAL && errno != EROFS) e = errno;
    ::close(fd);
    return e;
}

} // namespace FileOps::detail
