#include "core/fileops/FileOps.h"
#include "core/fileops/TreeWalk.h"

#include "core/localisation/Lang.h"
#include "platform/FileCopy.h"
#include "platform/Posix.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace FileOps {
namespace detail {

namespace {

// A descriptor closed on every way out.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    Fd(Fd &&o) noexcept : fd_(o.release()) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

[[noreturn]] void fail(int code) {
    throw FileError::fromErrno(code);
}

// The names of a folder, read at once so that no directory stream stays open while
// the children are copied.
std::vector<QByteArray> listNames(int dirFd) {
    const int fd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) fail(errno);
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        const int e = errno;
        ::close(fd);
        fail(e);
    }
    std::vector<QByteArray> names;
    errno = 0;
    while (dirent *e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.emplace_back(e->d_name);
        errno = 0;
    }
    const int e = errno;
    ::closedir(dir);
    if (e) fail(e);
    return names;
}

bool sameTime(const timespec &a, const timespec &b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

} // namespace

class CopyJob {
public:
    explicit CopyJob(TransferProgress &p) : progress(p) {}

    TransferProgress &progress;
    FileCopy::Session session;
    CopyReport *report = nullptr;
    bool syncEachFile = false;
    std::vector<std::pair<dev_t, ino_t>> ancestors;

    void copyEntry(int srcDir, const QByteArray &srcName, int dstDir, const QByteArray &dstName,
                   const QByteArray &srcPath, bool root);
    void copyFile(int srcDir, const QByteArray &srcName, int dstDir, const QByteArray &dstName,
                  const QByteArray &srcPath, bool root);
};

void CopyJob::copyEntry(int srcDir, const QByteArray &srcName, int dstDir, const QByteArray &dstName,
                        const QByteArray &srcPath, bool root) {
    struct stat st;
    if (::fstatat(srcDir, srcName.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) fail(errno);

    if (S_ISDIR(st.st_mode)) {
        // A bind mount of a parent inside the tree would make it endless.
        for (const auto &a : ancestors)
            if (a.first == st.st_dev && a.second == st.st_ino) fail(ELOOP);
        Fd src(::openat(srcDir, srcName.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (src.get() < 0) fail(errno);
        // Private until the children are in; the real mode comes with the metadata.
        if (::mkdirat(dstDir, dstName.constData(), 0700) != 0) fail(errno);
        if (root) report->createdRoot = true;
        Fd dst(::openat(dstDir, dstName.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (dst.get() < 0) fail(errno);
        const std::vector<QByteArray> names = listNames(src.get());
        ancestors.emplace_back(st.st_dev, st.st_ino);
        for (const QByteArray &name : names) {
            if (progress.isCancelled()) throw CancelledError{};
            copyEntry(src.get(), name, dst.get(), name, srcPath + '/' + name, false);
        }
        ancestors.pop_back();
        FileCopy::copyMetadata(src.get(), dst.get(), st);
        return;
    }

    if (S_ISLNK(st.st_mode)) {
        QByteArray text(qsizetype(st.st_size) + 1, Qt::Uninitialized);
        for (;;) {
            const ssize_t n = ::readlinkat(srcDir, srcName.constData(), text.data(), size_t(text.size()));
            if (n < 0) fail(errno);
            if (n < text.size()) {
                text.truncate(n);
                break;
            }
            text.resize(text.size() * 2); // the link changed meanwhile
        }
        if (::symlinkat(text.constData(), dstDir, dstName.constData()) != 0) fail(errno);
        if (root) report->createdRoot = true;
        FileCopy::copyLinkMetadata(dstDir, dstName.constData(), st);
        return;
    }

    if (S_ISREG(st.st_mode)) {
        try {
            copyFile(srcDir, srcName, dstDir, dstName, srcPath, root);
        } catch (const FileError &e) {
            throw CopyFailure{textOf(srcPath), e};
        }
        return;
    }

    // Pipes, sockets and devices are not carried.
    ++report->passedOver;
}

void CopyJob::copyFile(int srcDir, const QByteArray &srcName, int dstDir, const QByteArray &dstName,
                       const QByteArray &srcPath, bool root) {
    // O_NONBLOCK: an entry swapped for a pipe meanwhile must not hang the job.
    Fd src(::openat(srcDir, srcName.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (src.get() < 0) fail(errno);
    struct stat before;
    if (::fstat(src.get(), &before) != 0) fail(errno);
    if (!S_ISREG(before.st_mode)) {
        ++report->passedOver;
        return;
    }
    if (progress.isCancelled()) throw CancelledError{};
    Fd dst(::openat(dstDir, dstName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (dst.get() < 0) fail(errno);
    if (root) report->createdRoot = true;

    struct stat dstStat;
    const dev_t dstDev = ::fstat(dst.get(), &dstStat) == 0 ? dstStat.st_dev : 0;
    qint64 copied = 0;
    const int e = FileCopy::copyData(
        src.get(), dst.get(), before, dstDev, session,
        [this](qint64 n) {
            progress.add(n);
            return !progress.isCancelled();
        },
        &copied);
    if (e == ECANCELED) throw CancelledError{};
    if (e) fail(e);
    if (syncEachFile && Posix::retry([&] { return ::fsync(dst.get()); }) != 0 && errno != EINVAL &&
        errno != ENOTSUP)
        fail(errno);
    FileCopy::copyMetadata(src.get(), dst.get(), before);

    // A file that changed while it was read is copied as read; a move must not trust it.
    struct stat after;
    if (::fstat(src.get(), &after) != 0 || after.st_size != copied || before.st_size != copied ||
        !sameTime(after.st_mtim, before.st_mtim))
        report->unstable << textOf(srcPath);

    if (const int c = FileCopy::closeChecked(dst.release())) fail(c);
}

CopyJobPtr newCopyJob(TransferProgress &progress) {
    return CopyJobPtr(new CopyJob(progress));
}

void CopyJobDeleter::operator()(CopyJob *job) const {
    delete job;
}

namespace {

// Opens the folder holding `path` and returns the last component as bytes.
Fd openParent(const QString &path, QByteArray &name) {
    const QByteArray bytes = bytesOf(path);
    const qsizetype slash = bytes.lastIndexOf('/');
    name = slash < 0 ? bytes : bytes.mid(slash + 1);
    const QByteArray parent = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : bytes.left(slash);
    if (name.isEmpty() || name == "." || name == "..") fail(EINVAL);
    Fd fd(::open(parent.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0) fail(errno);
    return fd;
}

void copyRoot(CopyJob &job, const QString &source, const QString &target, bool flush, bool syncEachFile,
              CopyReport &report) {
    QByteArray srcName, dstName;
    Fd srcDir = openParent(source, srcName);
    Fd dstDir = openParent(target, dstName);
    job.report = &report;
    job.syncEachFile = syncEachFile;
    job.ancestors.clear();
    job.copyEntry(srcDir.get(), srcName, dstDir.get(), dstName, bytesOf(source), true);
    if (flush) {
        // One flush of the whole target file system carries the data and the new
        // folder entries; it reports write-back errors of any file of the copy.
        if (Posix::retry([&] { return ::syncfs(dstDir.get()); }) != 0) fail(errno);
    }
}

} // namespace

void copyTree(CopyJob &job, const QString &source, const QString &target, bool flush, CopyReport &report) {
    copyRoot(job, source, target, flush, false, report);
}

} // namespace detail

void copyTree(const QString &source, const QString &target, TransferProgress &progress, bool flush) {
    auto job = detail::newCopyJob(progress);
    detail::CopyReport report;
    detail::copyTree(*job, source, target, flush, report);
}

void copyFileChunked(const QString &source, const QString &target, TransferProgress &progress, bool flush) {
    struct stat st;
    if (!Posix::lstatPath(source, st)) throw FileError::fromErrno(errno);
    if (!S_ISREG(st.st_mode)) throw FileError::fromErrno(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    auto job = detail::newCopyJob(progress);
    detail::CopyReport report;
    try {
        detail::copyRoot(*job, source, target, false, flush, report);
    } catch (const CopyFailure &f) {
        throw f.underlying;
    }
    if (flush) {
        if (const int e = detail::syncFolder(Posix::parentOf(target))) throw FileError::fromErrno(e);
    }
}

namespace {

// Calls visit(stat) for every entry below the folder fd, without following links.
// Returns false when visit asked to stop.
template <typename Visit> bool walk(int dirFd, Visit &visit, int depth = 0) {
    if (depth > 4096) return true;
    const int fd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return true;
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return true;
    }
    bool go = true;
    while (go) {
        dirent *e = ::readdir(dir);
        if (!e) break;
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        struct stat st;
        if (::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            go = visit(nullptr);
            continue;
        }
        go = visit(&st);
        if (go && S_ISDIR(st.st_mode)) {
            const int sub =
                ::openat(::dirfd(dir), e->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub >= 0) {
                go = walk(sub, visit, depth + 1);
                ::close(sub);
            }
        }
    }
    ::closedir(dir);
    return go;
}

template <typename Visit> bool walkPath(const QString &path, Visit &visit, bool followTop = false) {
    const auto p = Posix::encode(path);
    if (!p) return true;
    const int fd = ::open(p->constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followTop ? 0 : O_NOFOLLOW));
    if (fd < 0) return true;
    const bool go = walk(fd, visit);
    ::close(fd);
    return go;
}

std::optional<qint64> measure(const QStringList &paths, TransferProgress *progress) {
    qint64 sum = 0;
    for (const QString &path : paths) {
        if (progress && progress->isCancelled()) return std::nullopt;
        struct stat st;
        if (!Posix::lstatPath(path, st)) continue;
        if (!S_ISDIR(st.st_mode)) {
            sum += st.st_size;
            continue;
        }
        auto visit = [&](const struct stat *s) {
            if (progress && progress->isCancelled()) return false;
            if (s && S_ISREG(s->st_mode)) sum += s->st_size;
            return true;
        };
        if (!walkPath(path, visit)) return std::nullopt;
    }
    return sum;
}

} // namespace

qint64 totalBytes(const QStringList &paths) {
    return measure(paths, nullptr).value_or(0);
}

std::optional<qint64> totalBytes(const QStringList &paths, TransferProgress &progress) {
    return measure(paths, &progress);
}

TreeStats treeStats(const QString &path) {
    TreeStats stats;
    struct stat st;
    if (!Posix::lstatPath(path, st)) return stats;
    auto count = [&](const struct stat &s) {
        ++stats.files;
        if (S_ISREG(s.st_mode))
            stats.bytes += s.st_size;
        else if (!S_ISLNK(s.st_mode))
            ++stats.special;
    };
    if (!S_ISDIR(st.st_mode)) {
        count(st);
        return stats;
    }
    auto visit = [&](const struct stat *s) {
        if (s && !S_ISDIR(s->st_mode)) count(*s);
        return true;
    };
    walkPath(path, visit);
    return stats;
}

namespace detail {

TreeStats regularFilesBelow(const QString &folder) {
    TreeStats stats;
    auto visit = [&](const struct stat *s) {
        if (s && S_ISREG(s->st_mode)) {
            ++stats.files;
            stats.bytes += s->st_size;
        }
        return true;
    };
    walkPath(folder, visit, true);
    return stats;
}

QString verifyCopy(const QString &source, const QString &target, const CopyReport &report,
                   const QString &name) {
    // clang-format off
    if (report.passedOver > 0)
        return LF("„%@“ enthält Pipes, Sockets oder Geräte, die sich nicht kopieren lassen. Das Original wurde nicht gelöscht.", name);
    if (!report.unstable.isEmpty() || treeStats(source) != treeStats(target))
        return LF("„%@“: Die Kopie stimmt nicht mit dem Original überein. Das Original wurde nicht gelöscht. Kopiere die Datei stattdessen und lösche das Original selbst.", name);
    // clang-format on
    return {};
}

void moveAcross(const QString &from, const QString &to, TransferProgress &progress) {
    const QString name = Posix::lastComponent(from);
    auto job = newCopyJob(progress);
    CopyReport report;
    try {
        copyTree(*job, from, to, true, report);
    } catch (...) {
        if (report.createdRoot) removeTree(to);
        throw;
    }
    const QString mismatch = verifyCopy(from, to, report, name);
    if (!mismatch.isEmpty()) {
        removeTree(to);
        throw FileError{EIO, mismatch, false};
    }
    if (const int e = removeTree(from))
        throw FileError{
            e,
            LF("„%@“ wurde kopiert, aber das Original ließ sich nicht löschen. Die Kopie bleibt erhalten. %@",
               name, explain(FileError::fromErrno(e), name)),
            false};
}

} // namespace detail

std::optional<qint64> freeBytes(const QString &path) {
    const auto p = Posix::encode(path);
    struct statvfs vfs;
    if (!p || ::statvfs(p->constData(), &vfs) != 0) return std::nullopt;
    const qint64 avail = qint64(vfs.f_bavail) * qint64(vfs.f_frsize);
    return avail > 0 ? std::optional<qint64>(avail) : std::nullopt;
}

} // namespace FileOps
