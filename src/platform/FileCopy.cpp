#include "platform/FileCopy.h"

#include "platform/Posix.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace FileCopy {

char *Session::buffer() {
    if (!buffer_) buffer_.reset(new char[chunkSize]);
    return buffer_.get();
}

bool Session::cloneRefused(dev_t from, dev_t to) const {
    return std::find(cloneRefused_.begin(), cloneRefused_.end(), std::make_pair(from, to)) !=
           cloneRefused_.end();
}

void Session::refuseClone(dev_t from, dev_t to) {
    if (!cloneRefused(from, to)) cloneRefused_.emplace_back(from, to);
}

namespace {

bool unsupported(int e) {
    return e == EXDEV || e == ENOSYS || e == EOPNOTSUPP || e == ENOTSUP || e == EINVAL || e == ENOTTY ||
           e == EBADF;
}

int readWrite(int src, int dst, Session &session, const ChunkHook &chunk, qint64 *copied) {
    char *buf = session.buffer();
    for (;;) {
        const ssize_t r = ::read(src, buf, size_t(chunkSize));
        if (r < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (r == 0) return 0;
        if (const int e = Posix::writeAll(dst, buf, r)) return e;
        *copied += r;
        if (!chunk(r)) return ECANCELED;
    }
}

} // namespace

int copyData(int src, int dst, const struct stat &srcStat, dev_t dstDev, Session &session,
             const ChunkHook &chunk, qint64 *copied) {
    *copied = 0;
    // A clone shares the blocks and takes no time; only a file with data is worth it.
    if (srcStat.st_size > 0 && !session.cloneRefused(srcStat.st_dev, dstDev)) {
        int r;
        do
            r = ::ioctl(dst, FICLONE, src);
        while (r < 0 && errno == EINTR);
        if (r == 0) {
            struct stat after;
            if (::fstat(dst, &after) == 0) {
                *copied = after.st_size;
                ::lseek(src, 0, SEEK_END);
                ::lseek(dst, 0, SEEK_END);
                return chunk(after.st_size) ? 0 : ECANCELED;
            }
            // Could not see what the clone did: start again with a plain copy.
            if (::ftruncate(dst, 0) != 0) return errno;
        } else if (unsupported(errno)) {
            session.refuseClone(srcStat.st_dev, dstDev);
        } else {
            return errno;
        }
    }

    // Read-ahead as wide as the kernel allows, as cp does.
    if (srcStat.st_size > chunkSize) ::posix_fadvise(src, 0, 0, POSIX_FADV_SEQUENTIAL);

    if (!session.rangeRefused) {
        for (;;) {
            const ssize_t n = ::copy_file_range(src, nullptr, dst, nullptr, size_t(chunkSize), 0);
            if (n < 0) {
                if (errno == EINTR) continue;
                if (errno == ENOSYS) session.rangeRefused = true;
                if (unsupported(errno)) break; // the plain loop goes on from the same offsets
                return errno;
            }
            if (n == 0) {
                // Some file systems (proc, sys) report 0 for files that do have data;
                // an empty start is confirmed by a plain read.
                if (*copied == 0) break;
                return 0;
            }
            *copied += n;
            if (!chunk(n)) return ECANCELED;
        }
    }
    return readWrite(src, dst, session, chunk, copied);
}

void copyMetadata(int src, int dst, const struct stat &st) {
    // Attributes first: a read-only mode would refuse them afterwards.
    char names[4096];
    ssize_t len = ::flistxattr(src, names, sizeof names);
    std::unique_ptr<char[]> bigNames;
    if (len < 0 && errno == ERANGE) {
        const ssize_t need = ::flistxattr(src, nullptr, 0);
        if (need > 0) {
            bigNames.reset(new char[need]);
            len = ::flistxattr(src, bigNames.get(), size_t(need));
        }
    }
    const char *list = bigNames ? bigNames.get() : names;
    std::vector<char> value;
    for (ssize_t i = 0; len > 0 && i < len; i += ssize_t(std::strlen(list + i)) + 1) {
        const char *name = list + i;
        if (std::strncmp(name, "user.", 5) != 0) continue;
        const ssize_t size = ::fgetxattr(src, name, nullptr, 0);
        if (size < 0) continue;
        value.resize(size_t(size) + 1);
        const ssize_t got = ::fgetxattr(src, name, value.data(), value.size());
        if (got >= 0) ::fsetxattr(dst, name, value.data(), size_t(got), 0);
    }

    mode_t mode = st.st_mode & 07777;
    if (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) {
        if (::fchown(dst, st.st_uid, st.st_gid) != 0) {
            // Not permitted: keep our ownership, and never hand out set-id bits for it.
            if (::fchown(dst, uid_t(-1), st.st_gid) != 0) mode &= ~mode_t(S_ISGID);
            mode &= ~mode_t(S_ISUID);
        }
    }
    ::fchmod(dst, mode);

    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(dst, times);
}

void copyLinkMetadata(int dirFd, const char *name, const struct stat &st) {
    if (st.st_uid != ::geteuid() || st.st_gid != ::getegid())
        ::fchownat(dirFd, name, st.st_uid, st.st_gid, AT_SYMLINK_NOFOLLOW);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::utimensat(dirFd, name, times, AT_SYMLINK_NOFOLLOW);
}

int closeChecked(int fd) {
    // On Linux the descriptor is gone even when close reports EINTR: never retry.
    if (::close(fd) != 0 && errno != EINTR) return errno;
    return 0;
}

} // namespace FileCopy
