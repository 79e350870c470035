#include "platform/Posix.h"

#include <QList>
#include <QSet>
#include <atomic>
#include <mutex>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <pthread.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>

#include <unistd.h>

namespace Posix {
namespace {

// Length of the valid UTF-8 character at s (n bytes left), or 0: no overlong forms, no surrogates.
qsizetype validAt(const uchar *s, qsizetype n) {
    const uchar c = s[0];
    if (c < 0x80) return c != 0;
    qsizetype len;
    char32_t cp, min;
    if ((c & 0xE0) == 0xC0) {
        len = 2, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4, cp = c & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (n < len) return 0;
    for (qsizetype k = 1; k < len; ++k) {
        if ((s[k] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (s[k] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

} // namespace

std::optional<QByteArray> encode(const QString &path) {
    QByteArray bytes = path.toUtf8();
    if (bytes.contains('\0') || QString::fromUtf8(bytes) != path) return std::nullopt;
    return bytes;
}

std::optional<QString> decode(const char *bytes, qsizetype len) {
    const auto *u = reinterpret_cast<const uchar *>(bytes);
    for (qsizetype i = 0, step; i < len; i += step)
        if ((step = validAt(u + i, len - i)) == 0) return std::nullopt;
    QString s = QString::fromUtf8(bytes, len);
    const QByteArray back = s.toUtf8();
    if (back.size() != len || std::memcmp(back.constData(), bytes, size_t(len)) != 0) return std::nullopt;
    return s;
}

QString shown(const char *bytes, qsizetype len) {
    const auto *u = reinterpret_cast<const uchar *>(bytes);
    QString out;
    qsizetype run = 0; // start of the valid stretch not yet appended
    for (qsizetype i = 0; i < len;) {
        const qsizetype step = validAt(u + i, len - i);
        if (step) {
            i += step;
            continue;
        }
        out += QString::fromUtf8(bytes + run, i - run);
        static constexpr char hex[] = "0123456789ABCDEF";
        out += QLatin1String("\\x") + QLatin1Char(hex[u[i] >> 4]) + QLatin1Char(hex[u[i] & 15]);
        run = ++i;
    }
    out += QString::fromUtf8(bytes + run, len - run);
    return out;
}

bool lstatPath(const QString &path, struct stat &st) {
    const auto p = encode(path);
    return p && ::lstat(p->constData(), &st) == 0;
}

bool statPath(const QString &path, struct stat &st) {
    const auto p = encode(path);
    return p && ::stat(p->constData(), &st) == 0;
}

int lstatError(const QString &path, struct stat &st) {
    const auto p = encode(path);
    if (!p) return EILSEQ;
    return ::lstat(p->constData(), &st) == 0 ? 0 : errno;
}

QString lastComponent(const QString &path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? path : path.mid(slash + 1);
}

QString parentOf(const QString &path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0) return QString();
    return slash == 0 ? QStringLiteral("/") : path.left(slash);
}

QString childPath(const QString &folder, const QString &name) {
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

bool isAtOrBelow(const QString &path, const QString &folder) {
    return path == folder ||
           (path.startsWith(folder) && path.size() > folder.size() && path[folder.size()] == u'/');
}

QString errorText(int err) {
    char buf[256];
    // GNU strerror_r returns the text, which need not be in buf.
    return QString::fromLocal8Bit(::strerror_r(err, buf, sizeof buf));
}

int openOwnWay(const QByteArray &path, bool make) {
    constexpr int maxLinks = 40;
    const uid_t me = ::geteuid();
    int dir = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    QList<QByteArray> rest = path.split('/');
    for (int links = 0; dir >= 0 && !rest.isEmpty();) {
        const QByteArray part = rest.takeFirst();
        if (part.isEmpty() || part == ".") continue;
        int next = ::openat(dir, part.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0 && errno == ENOENT && make && part != "..") {
            if (::mkdirat(dir, part.constData(), 0700) == 0 || errno == EEXIST)
                next = ::openat(dir, part.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        }
        struct stat st;
        int e = next < 0 || ::fstat(next, &st) != 0 ? errno : 0;
        if (!e && S_ISDIR(st.st_mode)) {
            ::close(dir);
            dir = next;
            continue;
        }
        char target[PATH_MAX];
        ssize_t n = 0;
        if (!e && !S_ISLNK(st.st_mode))
            e = ENOTDIR;
        else if (!e && ((st.st_uid != me && st.st_uid != 0) || ++links > maxLinks))
            e = ELOOP;
        else if (!e &&
                 ((n = ::readlinkat(next, "", target, sizeof target)) <= 0 || size_t(n) >= sizeof target))
            e = ELOOP;
        if (next >= 0) ::close(next);
        if (e) {
            ::close(dir);
            errno = e;
            return -1;
        }
        rest = QByteArray(target, n).split('/') + rest;
        if (target[0] == '/') {
            ::close(dir);
            dir = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
        }
    }
    return dir;
}

QByteArray readAtMost(int fd, qsizetype most) {
    QByteArray data(most, Qt::Uninitialized);
    qsizetype got = 0;
    for (ssize_t n;
         got < most && (n = retry([&] { return ::read(fd, data.data() + got, size_t(most - got)); })) > 0;)
        got += n;
    data.truncate(got);
    return data;
}

namespace {
std::atomic<pid_t> knownPid{0};
} // namespace

pid_t ownPid() {
    static const bool forgottenInChildren = [] {
        ::pthread_atfork(nullptr, nullptr, [] { knownPid.store(0, std::memory_order_relaxed); });
        return true;
    }();
    (void)forgottenInChildren;
    pid_t pid = knownPid.load(std::memory_order_relaxed);
    if (pid == 0) {
        pid = ::getpid();
        knownPid.store(pid, std::memory_order_relaxed);
    }
    return pid;
}

int writeAll(int fd, const char *data, qint64 n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, data, size_t(n));
        if (w < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (w == 0) return EIO;
        data += w;
        n -= w;
    }
    return 0;
}

namespace {

bool sameItem(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether two names show one file as alike in all that a link shares: type, size, owner, times.
bool sameLook(const struct stat &a, const struct stat &b) {
    return a.st_mode == b.st_mode && a.st_size == b.st_size && a.st_uid == b.st_uid &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// Volumes, by device, where a hard link shows another inode number than its item (sshfs): handing an
// item over by link and unlink would change its identity there, which every later check goes by.
std::mutex renumberingMutex;
QSet<dev_t> renumbering;

bool linksRenumber(dev_t dev) {
    const std::lock_guard lock(renumberingMutex);
    return renumbering.contains(dev);
}

void noteLinksRenumber(dev_t dev) {
    const std::lock_guard lock(renumberingMutex);
    renumbering.insert(dev);
}

std::atomic<int> flushFault{0}, flushesFailed{0}, flushChosen{0}, flushesSeen{0};

// The fault in place of the system's answer, else the call's own.
template <typename F> int flushed(F call) {
    if (const int e = flushFault.load(std::memory_order_relaxed)) [[unlikely]] {
        const int chosen = flushChosen.load();
        if (chosen == 0 || ++flushesSeen == chosen) {
            ++flushesFailed;
            return e;
        }
    }
    return retry(call) == 0 ? 0 : errno;
}

} // namespace

namespace {

constexpr int lookInstead = -1;

// The item handed over by a link and the old name's removal: 0 or errno, lookInstead where the volume
// takes no links or numbers a link anew.
int byLink(int fromDir, const char *from, int toDir, const char *to, const struct stat &item) {
    // A link fails on a taken name by itself, so nothing can come in between.
    if (::linkat(fromDir, from, toDir, to, 0) != 0)
        return errno == EPERM || errno == ENOTSUP || errno == ENOSYS || errno == EMLINK ? lookInstead : errno;
    struct stat now, made;
    if (::fstatat(toDir, to, &made, AT_SYMLINK_NOFOLLOW) == 0 && !sameItem(made, item)) {
        // The link goes again (alike the item under the old name, so the one just made), and the item is
        // renamed after a look, which keeps its number.
        noteLinksRenumber(item.st_dev);
        if (::fstatat(fromDir, from, &now, AT_SYMLINK_NOFOLLOW) != 0 || !sameItem(now, item) ||
            !sameLook(now, made))
            return EBUSY;
        return ::unlinkat(toDir, to, 0) == 0 ? lookInstead : errno;
    }
    // Another item under the old name meanwhile: ours has only the new one now.
    if (::fstatat(fromDir, from, &now, AT_SYMLINK_NOFOLLOW) != 0 || !sameItem(now, item)) return 0;
    if (::unlinkat(fromDir, from, 0) == 0) return 0;
    const int e = errno;
    if (::fstatat(toDir, to, &now, AT_SYMLINK_NOFOLLOW) == 0 && sameItem(now, item)) ::unlinkat(toDir, to, 0);
    return e;
}

} // namespace

int renameNoReplace(int fromDir, const char *from, int toDir, const char *to, const struct stat *expected) {
    if (::renameat2(fromDir, from, toDir, to, RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOTSUP && errno != ENOSYS) return errno;
    struct stat item;
    if (::fstatat(fromDir, from, &item, AT_SYMLINK_NOFOLLOW) != 0) return errno;
    if (expected && !sameItem(item, *expected)) return ENOENT;
    if (!S_ISDIR(item.st_mode) && !linksRenumber(item.st_dev)) {
        if (const int e = byLink(fromDir, from, toDir, to, item); e != lookInstead) return e;
    }
    struct stat taken;
    if (::fstatat(toDir, to, &taken, AT_SYMLINK_NOFOLLOW) == 0) return EEXIST;
    if (errno != ENOENT) return errno;
    struct stat now;
    if (::fstatat(fromDir, from, &now, AT_SYMLINK_NOFOLLOW) != 0) return errno;
    if (!sameItem(now, item)) return ENOENT;
    return ::renameat(fromDir, from, toDir, to) == 0 ? 0 : errno;
}

int flushData(int fd) {
    return flushed([fd] { return ::fdatasync(fd); });
}

int flushFile(int fd) {
    return flushed([fd] { return ::fsync(fd); });
}

int flushFileSystem(int fd) {
    return flushed([fd] { return ::syncfs(fd); });
}

void setFlushErrorForTests(int error, int only) {
    flushChosen = only;
    flushesSeen = 0;
    flushFault = error;
}

int failedFlushesForTests() {
    return flushesFailed;
}

QString errorName(int err) {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 32))
    if (const char *name = strerrorname_np(err)) return QString::fromLatin1(name);
#endif
    return QStringLiteral("E%1").arg(err);
}

} // namespace Posix

namespace Posix {

int openFolderBeneath(const QString &top, const QString &relative) {
    const auto topBytes = encode(top);
    const auto relBytes = encode(relative.isEmpty() ? QStringLiteral(".") : relative);
    if (!topBytes || !relBytes) {
        errno = EILSEQ;
        return -1;
    }
    const int topFd = ::open(topBytes->constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (topFd < 0) return -1;
    open_how how{};
    how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_XDEV | RESOLVE_NO_SYMLINKS;
    int fd = int(::syscall(SYS_openat2, topFd, relBytes->constData(), &how, sizeof how));
    // Kernels before 5.6, and a last name that is a link in a sticky folder, where the kernel's link
    // protection answers EACCES before the walk's own ELOOP: step by step, refusing every link and every
    // change of file system, so that a link is refused as a link either way.
    if (fd < 0 && (errno == ENOSYS || errno == EACCES)) {
        struct stat topSt {};
        fd = ::fstat(topFd, &topSt) == 0 ? ::dup(topFd) : -1;
        for (const QByteArray &part : relBytes->split('/')) {
            if (fd < 0 || part == ".") continue;
            struct stat st {};
            int e = 0;
            if (part.isEmpty() || part == "..")
                e = EXDEV;
            else if (::fstatat(fd, part.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
                e = errno;
            else if (S_ISLNK(st.st_mode))
                e = ELOOP;
            else if (!S_ISDIR(st.st_mode))
                e = ENOTDIR;
            else if (st.st_dev != topSt.st_dev)
                e = EXDEV;
            const int next =
                e ? -1 : ::openat(fd, part.constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (!e && next < 0) e = errno;
            ::close(fd);
            fd = next;
            errno = e;
        }
    }
    const int e = errno;
    ::close(topFd);
    errno = e;
    return fd;
}

} // namespace Posix
