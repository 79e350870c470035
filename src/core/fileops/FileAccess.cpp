#include "core/fileops/FileAccess.h"

#include "core/filesteps/FileSteps.h"
#include "core/filesteps/HeldFolder.h"
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

namespace {

template <typename Change> Written changeMode(const QString &path, const ItemId &expected, Change change) {
    const auto bytes = FileSteps::PathBytes::of(path);
    if (!bytes) return {EILSEQ, 0, 0};
    int fd = -1;
    try {
        const FileSteps::HeldFolder folder(bytes->parent());
        // A link at the name is followed: what is shown and changed is what it leads to.
        fd = Posix::retry(
            [&] { return ::openat(folder.fd(), bytes->name().constData(), O_PATH | O_CLOEXEC); });
    } catch (const FileError &e) {
        return {e.code ? e.code : EIO, 0, 0};
    }
    if (fd < 0) return {errno, 0, 0};
    struct stat st {};
    int err = ::fstat(fd, &st) == 0 ? 0 : errno;
    if (err == 0 &&
        (!expected.known() || quint64(st.st_dev) != expected.dev || quint64(st.st_ino) != expected.ino))
        err = ESTALE;
    const mode_t old = st.st_mode & 07777;
    const mode_t wanted = change(old);
    if (err == 0) err = FileSteps::setModeOf(fd, wanted);
    ::close(fd);
    if (err == ESTALE) return {err, 0, 0};
    return {err, err == 0 ? wanted : old, old};
}

} // namespace

Written setAccess(const QString &path, const ItemId &expected, int value, int shift) {
    return changeMode(path, expected, [&](mode_t old) { return withAccess(old, value, shift); });
}

Written restoreAccess(const QString &path, const ItemId &expected, mode_t from, mode_t to) {
    const mode_t changed = (from ^ to) & 07777;
    return changeMode(path, expected,
                      [&](mode_t now) { return mode_t((now & ~changed) | (from & changed)); });
}

} // namespace FileAccess
