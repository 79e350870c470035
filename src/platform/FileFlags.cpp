#include "platform/FileFlags.h"

#include "platform/Posix.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/capability.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace FileFlags {

namespace {

// O_NONBLOCK so a FIFO doesn't hang the open; links are never followed to another item's flags.
int openForFlags(const QString &path) {
    const auto bytes = Posix::encode(path);
    if (!bytes) return -1;
    struct stat st {};
    if (::lstat(bytes->constData(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))) {
        errno = ENOTTY;
        return -1;
    }
    return Posix::retry(
        [&] { return ::open(bytes->constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC); });
}

} // namespace

std::optional<QDateTime> birthTime(const QString &path) {
    const auto bytes = Posix::encode(path);
    if (!bytes) return std::nullopt;
    struct statx sx {};
    if (::statx(AT_FDCWD, bytes->constData(), AT_SYMLINK_NOFOLLOW, STATX_BTIME, &sx) != 0)
        return std::nullopt;
    if (!(sx.stx_mask & STATX_BTIME)) return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(qint64(sx.stx_btime.tv_sec) * 1000 +
                                          sx.stx_btime.tv_nsec / 1000000);
}

std::optional<bool> immutable(const QString &path) {
    const int fd = openForFlags(path);
    if (fd < 0) return std::nullopt;
    int flags = 0;
    const int rc = ::ioctl(fd, FS_IOC_GETFLAGS, &flags);
    ::close(fd);
    if (rc != 0) return std::nullopt;
    return (flags & FS_IMMUTABLE_FL) != 0;
}

int setImmutable(int dirFd, const QByteArray &name, const struct stat &expected, bool on) {
    if (!(S_ISREG(expected.st_mode) || S_ISDIR(expected.st_mode))) return ENOTTY;
    const int fd = Posix::retry(
        [&] { return ::openat(dirFd, name.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC); });
    if (fd < 0) return errno == ELOOP ? ESTALE : errno;
    struct stat st {};
    int err = ::fstat(fd, &st) == 0 ? 0 : errno;
    // Swapped between the look and the open: the item there now is not the one meant.
    if (!err && (st.st_dev != expected.st_dev || st.st_ino != expected.st_ino)) err = ESTALE;
    int flags = 0;
    if (!err && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) err = errno;
    if (!err) {
        const int wanted = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        if (wanted != flags && ::ioctl(fd, FS_IOC_SETFLAGS, &wanted) != 0) err = errno;
    }
    ::close(fd);
    return err;
}

bool appendOnly(int dir) {
    int flags = 0;
    return ::ioctl(dir, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_APPEND_FL);
}

bool canChangeImmutable() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (::syscall(SYS_capget, &header, data) != 0) return false;
    return (data[CAP_LINUX_IMMUTABLE / 32].effective & (1u << (CAP_LINUX_IMMUTABLE % 32))) != 0;
}

} // namespace FileFlags
