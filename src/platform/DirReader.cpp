#include "platform/DirReader.h"

#include "platform/Posix.h"

#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace DirReader {

namespace {
constexpr size_t kBufferSize = 256 * 1024;

bool isDotOrDotDot(const char *n) {
    return n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0));
}
} // namespace

Dir::Dir(const QByteArray &path, bool noFollow) {
    int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    if (noFollow) flags |= O_NOFOLLOW;
    do {
        m_fd = ::open(path.constData(), flags);
    } while (m_fd < 0 && errno == EINTR);
    if (m_fd < 0) m_error = errno;
}

Dir::Dir(int parentFd, const char *name) {
    do {
        m_fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    } while (m_fd < 0 && errno == EINTR);
    if (m_fd < 0) m_error = errno;
}

Dir::~Dir() {
    if (m_fd >= 0) ::close(m_fd);
}

bool Dir::readAll(Batch &batch) {
    if (m_fd < 0) return false;
    // One buffer per thread: listings of huge folders reuse it instead of allocating each time.
    thread_local std::vector<char> buffer(kBufferSize);
    for (;;) {
        const ssize_t n = ::getdents64(m_fd, buffer.data(), buffer.size());
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            m_error = errno;
            return false;
        }
        for (ssize_t pos = 0; pos < n;) {
            const auto *d = reinterpret_cast<const dirent64 *>(buffer.data() + pos);
            pos += d->d_reclen;
            if (isDotOrDotDot(d->d_name)) continue;
            const size_t len = std::strlen(d->d_name);
            Entry e;
            e.offset = uint32_t(batch.names.size());
            e.length = uint16_t(len);
            e.type = d->d_type;
            batch.names.insert(batch.names.end(), d->d_name, d->d_name + len + 1);
            batch.entries.push_back(e);
        }
    }
}

static void fill(const struct statx &sx, Stat &out) {
    out.mode = sx.stx_mode;
    out.size = (sx.stx_mask & STATX_SIZE) ? int64_t(sx.stx_size) : 0;
    out.hasMtime = sx.stx_mask & STATX_MTIME;
    out.mtimeSec = sx.stx_mtime.tv_sec;
    out.mtimeNsec = sx.stx_mtime.tv_nsec;
    out.hasBtime = sx.stx_mask & STATX_BTIME;
    out.btimeSec = sx.stx_btime.tv_sec;
    out.btimeNsec = sx.stx_btime.tv_nsec;
    out.hasAtime = sx.stx_mask & STATX_ATIME;
    out.atimeSec = sx.stx_atime.tv_sec;
    out.atimeNsec = sx.stx_atime.tv_nsec;
    out.uid = sx.stx_uid;
    out.gid = sx.stx_gid;
    out.dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    out.ino = (sx.stx_mask & STATX_INO) ? sx.stx_ino : 0;
}

int statAt(int dirFd, const char *name, bool follow, Stat &out) {
    struct statx sx;
    const int flags = (follow ? 0 : AT_SYMLINK_NOFOLLOW) | AT_NO_AUTOMOUNT | AT_STATX_SYNC_AS_STAT;
    const unsigned mask = STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_MTIME | STATX_BTIME | STATX_ATIME |
                          STATX_UID | STATX_GID | STATX_INO;
    int r;
    do {
        r = ::statx(dirFd, name, flags, mask, &sx);
    } while (r < 0 && errno == EINTR);
    if (r < 0) return errno;
    fill(sx, out);
    return 0;
}

int statPath(const QByteArray &path, bool follow, Stat &out) {
    return statAt(AT_FDCWD, path.constData(), follow, out);
}

bool statOf(const QString &path, bool follow, Stat &out) {
    const auto bytes = Posix::encode(path);
    return bytes && statPath(*bytes, follow, out) == 0;
}

} // namespace DirReader
