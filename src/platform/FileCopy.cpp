#include "platform/FileCopy.h"

#include "platform/Posix.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/vfs.h>
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

// Copies data and leaves holes. Offsets are explicit, so a refusal of SEEK_DATA (-1)
// lets the caller start over with the plain loop.
int copySparse(int src, int dst, Session &session, const ChunkHook &chunk, qint64 *copied) {
    char *buf = session.buffer();
    off_t pos = 0;
    for (;;) {
        off_t data = ::lseek(src, pos, SEEK_DATA);
        if (data < 0) {
            if (errno != ENXIO) return pos == 0 && (errno == EINVAL || errno == ENOTSUP) ? -1 : errno;
            data = std::max<off_t>(pos, ::lseek(src, 0, SEEK_END)); // a hole up to the end
        }
        if (data > pos) {
            *copied += data - pos;
            if (!chunk(data - pos)) return ECANCELED;
            pos = data;
        }
        const off_t end = ::lseek(src, data, SEEK_HOLE);
        if (end < 0 && errno != ENXIO) return errno;
        if (end <= data) break;
        while (pos < end) {
            const ssize_t r = ::pread(src, buf, size_t(std::min<off_t>(chunkSize, end - pos)), pos);
            if (r < 0) {
                if (errno == EINTR) continue;
                return errno;
            }
            if (r == 0) break; // shrank meanwhile
            if (::lseek(dst, pos, SEEK_SET) < 0) return errno;
            if (const int e = Posix::writeAll(dst, buf, r)) return e;
            pos += r;
            *copied += r;
            if (!chunk(r)) return ECANCELED;
        }
        if (pos < end) break;
    }
    return ::ftruncate(dst, pos) == 0 ? 0 : errno;
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

    // Fewer blocks than bytes: there are holes to keep.
    if (srcStat.st_size > 0 && qint64(srcStat.st_blocks) * 512 < srcStat.st_size) {
        const int e = copySparse(src, dst, session, chunk, copied);
        if (e != -1) return e;
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

bool clonesInto(int dir, int sample) {
    constexpr qint64 probeBytes = 64 << 10; // a whole number of blocks on every volume that clones
    const int probe = ::openat(dir, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (probe < 0) return false;
    const int from = sample >= 0 ? sample : ::openat(dir, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    // The start of the sample is enough to learn whether the pair clones (a whole large file would cost
    // as much as its real clone); a small file goes whole, up to its unaligned end.
    struct stat st;
    const bool small = from >= 0 && ::fstat(from, &st) == 0 && st.st_size <= probeBytes;
    struct file_clone_range range {};
    range.src_fd = from;
    range.src_length = small ? 0 : probeBytes;
    int r = -1;
    while (from >= 0 && (r = ::ioctl(probe, FICLONERANGE, &range)) < 0 && errno == EINTR) {
    }
    if (from >= 0 && from != sample) ::close(from);
    ::close(probe);
    return r == 0;
}

bool keepsHoles(int dir) {
    struct statfs fs;
    if (::fstatfs(dir, &fs) != 0) return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0xEF53:     // ext2, ext3, ext4
    case 0x9123683E: // btrfs
    case 0x58465342: // XFS
    case 0x01021994: // tmpfs
    case 0xF2F52010: // F2FS
    case 0x2FC12FC1: // ZFS
    case 0xCA451A4E: // bcachefs
    case 0x794C7630: // overlayfs
        return true;
    default:
        return false; // FAT and exFAT fill holes; FUSE and network volumes may
    }
}

namespace {

constexpr char aclAccess[] = "system.posix_acl_access";
constexpr char aclDefault[] = "system.posix_acl_default";

// The NUL-separated attribute names of an open item; empty when it has none.
QByteArray attributeNames(int fd) {
    char names[4096];
    const ssize_t len = ::flistxattr(fd, names, sizeof names);
    if (len >= 0) return QByteArray(names, len);
    if (errno != ERANGE) return {};
    const ssize_t need = ::flistxattr(fd, nullptr, 0);
    if (need <= 0 || need > (ssize_t(1) << 20)) return {};
    QByteArray big(need, Qt::Uninitialized);
    const ssize_t got = ::flistxattr(fd, big.data(), size_t(need));
    return got < 0 ? QByteArray() : big.left(got);
}

std::optional<QByteArray> attribute(int fd, const char *name) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        const ssize_t size = ::fgetxattr(fd, name, nullptr, 0);
        if (size < 0 || size > (ssize_t(1) << 20)) return std::nullopt;
        QByteArray value(size, Qt::Uninitialized);
        const ssize_t got = size ? ::fgetxattr(fd, name, value.data(), size_t(size)) : 0;
        if (got >= 0) return value.left(got);
        if (errno != ERANGE) return std::nullopt;
    }
    return std::nullopt;
}

} // namespace

std::optional<mode_t> modeWithinAcl(const QByteArray &acl, mode_t mode) {
    // Header: version 2 (le32); entries: tag (le16), perm (le16), id (le32).
    auto le = [&](qsizetype at, int bytes) {
        quint32 v = 0;
        for (int i = bytes - 1; i >= 0; --i)
            v = (v << 8) | quint8(acl[at + i]);
        return v;
    };
    if (acl.size() < 4 || (acl.size() - 4) % 8 != 0 || acl.size() > 4 + 8 * 4096 || le(0, 4) != 2)
        return std::nullopt;
    int owner = -1, group = -1, other = -1, mask = 7;
    for (qsizetype at = 4; at < acl.size(); at += 8) {
        const int perm = int(le(at + 2, 2) & 7);
        switch (le(at, 2)) {
        case 0x01:
            owner = perm;
            break;
        case 0x04:
            group = perm;
            break;
        case 0x10:
            mask = perm;
            break;
        case 0x20:
            other = perm;
            break;
        default:
            break; // named users and groups have no place in the mode bits
        }
    }
    if (owner < 0 || group < 0 || other < 0) return std::nullopt;
    const mode_t bits = mode_t(owner << 6 | (group & mask) << 3 | other);
    return (mode & 07000) | (bits & mode & 0777);
}

namespace {
// The access ACL `acl` whose owning group's entry lets through no more than its entry for others; nullopt
// for a malformed value.
std::optional<QByteArray> groupAsOthers(QByteArray acl) {
    if (acl.size() < 4 || (acl.size() - 4) % 8 != 0) return std::nullopt;
    qsizetype group = -1, other = -1;
    for (qsizetype at = 4; at < acl.size(); at += 8) {
        const int tag = quint8(acl[at]) | quint8(acl[at + 1]) << 8;
        if (tag == 0x04) group = at + 2;
        if (tag == 0x20) other = at + 2;
    }
    if (group < 0 || other < 0) return std::nullopt;
    acl[group] = char(acl[group] & acl[other] & 7);
    return acl;
}
} // namespace

bool handsDownAcl(int dir) {
    return ::fgetxattr(dir, aclDefault, nullptr, 0) >= 0 || (errno != ENODATA && errno != ENOTSUP);
}

Known Known::ours() {
    Known k;
    k.uid = ::geteuid();
    k.gid = ::getegid();
    return k;
}

gid_t Known::gidIn(const struct stat &folder) const {
    return (folder.st_mode & S_ISGID) ? folder.st_gid : gid;
}

namespace {
// Whether st's owner differs from the effective ids (those known, else asked).
bool otherOwner(const struct stat &st, const Known &known) {
    const uid_t uid = known.uid != uid_t(-1) ? known.uid : ::geteuid();
    const gid_t gid = known.gid != gid_t(-1) ? known.gid : ::getegid();
    return st.st_uid != uid || st.st_gid != gid;
}
} // namespace

Metadata copyMetadata(int src, int dst, const struct stat &st, bool mayInherit, const Known &known) {
    Metadata result;
    // Attributes first: a read-only mode would refuse them afterwards.
    const QByteArray names = attributeNames(src);
    std::optional<QByteArray> access, defaults;
    std::vector<std::pair<QByteArray, QByteArray>> security;
    for (qsizetype i = 0; i < names.size();) {
        const qsizetype end = names.indexOf('\0', i);
        const QByteArray name = names.mid(i, (end < 0 ? names.size() : end) - i);
        i = end < 0 ? names.size() : end + 1;
        if (name == aclAccess)
            access = attribute(src, aclAccess);
        else if (name == aclDefault)
            defaults = attribute(src, aclDefault);
        else if (name.startsWith("user.") && name != partMark) {
            if (const auto value = attribute(src, name.constData());
                value &&
                ::fsetxattr(dst, name.constData(), value->constData(), size_t(value->size()), 0) != 0)
                result.refused << name;
        } else if (name.startsWith("security.")) {
            if (const auto value = attribute(src, name.constData()))
                security.emplace_back(name, *value);
            else
                result.securityLeft << name;
        }
    }
    // Rights handed down by the destination folder's default ACL are not the source's.
    if (mayInherit && (!access || !defaults)) {
        const QByteArray inherited = attributeNames(dst);
        if (!access && inherited.contains(aclAccess)) ::fremovexattr(dst, aclAccess);
        if (!defaults && inherited.contains(aclDefault)) ::fremovexattr(dst, aclDefault);
    }

    mode_t mode = st.st_mode & 07777;
    bool chowned = false, groupLost = false;
    if (otherOwner(st, known)) {
        chowned = true;
        if (::fchown(dst, st.st_uid, st.st_gid) != 0) {
            // Not permitted: keep our ownership, and never hand out set-id bits for it.
            // Another group than the source's: it may do only what anyone could.
            if ((groupLost = ::fchown(dst, uid_t(-1), st.st_gid) != 0))
                mode &= ~mode_t(S_ISGID | 070) | mode_t((mode & 07) << 3);
            mode &= ~mode_t(S_ISUID);
        }
    }
    // A change of owner clears set-id bits, so the mode is set again after one.
    if (chowned || mode != known.made) ::fchmod(dst, mode);
    if (access && groupLost) access = groupAsOthers(*access);
    // The ACL sets the permission bits itself (the group bits become its mask).
    if (access && ::fsetxattr(dst, aclAccess, access->constData(), size_t(access->size()), 0) != 0) {
        // The mask limits the group, so the mode's group bits may say more than anyone had.
        ::fchmod(dst, modeWithinAcl(*access, mode).value_or(mode & ~mode_t(077)));
        result.aclDropped = true;
    }
    if (defaults && ::fsetxattr(dst, aclDefault, defaults->constData(), size_t(defaults->size()), 0) != 0)
        result.aclDropped = true;
    // A change of owner or of the data clears file capabilities: they come after both. Setting them takes
    // privileges (CAP_SETFCAP, CAP_SYS_ADMIN) that the caller is told are missing.
    for (const auto &[name, value] : security)
        if (::fsetxattr(dst, name.constData(), value.constData(), size_t(value.size()), 0) != 0)
            result.securityLeft << name;

    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(dst, times);
    return result;
}

void copyLinkMetadata(int dirFd, const char *name, const struct stat &st, const Known &known) {
    if (otherOwner(st, known)) ::fchownat(dirFd, name, st.st_uid, st.st_gid, AT_SYMLINK_NOFOLLOW);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::utimensat(dirFd, name, times, AT_SYMLINK_NOFOLLOW);
}

int closeChecked(int fd) {
    // On Linux the descriptor is gone even when close reports EINTR: never retry.
    if (::close(fd) != 0 && errno != EINTR) return errno;
    return 0;
}

} // namespace FileCopy
