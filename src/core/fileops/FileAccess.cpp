#include "core/fileops/FileAccess.h"

#include "platform/Posix.h"

#include <QByteArray>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileAccess {

namespace {

QString userName(uid_t uid) {
    if (const passwd *p = ::getpwuid(uid); p && p->pw_name) return QString::fromLocal8Bit(p->pw_name);
    return QString::number(uid);
}

QString groupName(gid_t gid) {
    if (const group *g = ::getgrgid(gid); g && g->gr_name) return QString::fromLocal8Bit(g->gr_name);
    return QString::number(gid);
}

} // namespace

Facts read(const QString &path) {
    Facts f;
    struct stat st {};
    if (Posix::lstatPath(path, st)) f.isLink = S_ISLNK(st.st_mode);
    if (!Posix::statPath(path, st)) {
        f.err = errno ? errno : ENOENT;
        return f;
    }
    f.mode = st.st_mode & 07777;
    f.owner = userName(st.st_uid);
    f.group = groupName(st.st_gid);
    f.isDirectory = S_ISDIR(st.st_mode);
    return f;
}

mode_t withAccess(mode_t mode, int value, int shift) {
    return (mode & ~(mode_t(6) << shift)) | (mode_t(value & 6) << shift);
}

Written setAccess(const QString &path, int value, int shift) {
    const auto bytes = Posix::encode(path);
    if (!bytes) return {EILSEQ, 0};
    // The item is pinned first: the mode read and the mode written belong to the same item, even if the
    // name (or a link) is changed meanwhile.
    const int fd = Posix::retry([&] { return ::open(bytes->constData(), O_PATH | O_CLOEXEC); });
    if (fd < 0) return {errno, 0};
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        return {err, 0};
    }
    const mode_t old = st.st_mode & 07777;
    const mode_t wanted = withAccess(old, value, shift);
    const QByteArray pinned = "/proc/self/fd/" + QByteArray::number(fd);
    int rc = ::chmod(pinned.constData(), wanted);
    int err = rc == 0 ? 0 : errno;
    if (rc != 0 && err == ENOENT && ::access("/proc/self/fd", F_OK) != 0) {
        // Without /proc the name is all there is.
        rc = ::chmod(bytes->constData(), wanted);
        err = rc == 0 ? 0 : errno;
    }
    ::close(fd);
    return {err, err == 0 ? wanted : old};
}

} // namespace FileAccess
