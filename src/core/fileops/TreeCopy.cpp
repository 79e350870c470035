#include "core/fileops/FileOps.h"
#include "core/fileops/TransferJournal.h"
#include "core/fileops/TreeWalk.h"

#include "core/localisation/Lang.h"
#include "platform/FileCopy.h"
#include "platform/Posix.h"

#include <QThreadPool>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <unordered_set>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace FileOps {
namespace detail {

namespace {

[[noreturn]] void fail(int code) {
    throw FileError::fromErrno(code);
}

struct Entry {
    QByteArray name;
    unsigned char type; // as the folder tells it (DT_*); DT_UNKNOWN where it does not
};

// The entries of a folder, read at once so that no directory stream stays open while
// the children are copied.
std::vector<Entry> listEntries(int dirFd) {
    const int fd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) fail(errno);
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        const int e = errno;
        ::close(fd);
        fail(e);
    }
    std::vector<Entry> entries;
    errno = 0;
    while (dirent *e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            entries.push_back({QByteArray(e->d_name), e->d_type});
        errno = 0;
    }
    const int e = errno;
    ::closedir(dir);
    if (e) fail(e);
    return entries;
}

std::vector<QByteArray> listNames(int dirFd) {
    std::vector<QByteArray> names;
    for (Entry &e : listEntries(dirFd))
        names.push_back(std::move(e.name));
    return names;
}

bool sameTime(const timespec &a, const timespec &b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Whether the folder `name` in dirFd (stat st, in a folder on device parentDev) is where another
// file system or a bind mount is mounted.
bool isMountPoint(int dirFd, const char *name, const struct stat &st, dev_t parentDev) {
    struct statx sx;
    if (::statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_BASIC_STATS, &sx) == 0 &&
        (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT))
        return sx.stx_attributes & STATX_ATTR_MOUNT_ROOT;
    return st.st_dev != parentDev;
}

// Raised on the walk once a queued file has failed: the walk ends, the file's own error is the one
// that counts.
struct Halted {};

} // namespace

// Files are copied by a small pool while one thread walks the tree. The walk makes every folder
// before it queues the files inside it; a folder gets its mode and times only once the last of its
// entries is in (so neither a read-only mode nor a new entry spoils them).
class CopyJob {
public:
    // Files handed to a copying thread at once, and batches queued at most.
    static constexpr int batchFiles = 8;
    static constexpr int maxQueued = copyThreads * 4;

    explicit CopyJob(TransferProgress &p) : progress(p) { pool_.setMaxThreadCount(copyThreads); }
    ~CopyJob() { pool_.waitForDone(); }

    TransferProgress &progress;
    FileCopy::Session session; // the walk's own; each copying thread has one too
    CopyReport *report = nullptr;
    bool syncEachFile = false;

    // Starts the copy of one item into report.
    void begin(CopyReport &r, bool sync) {
        report = &r;
        syncEachFile = sync;
        ancestors_.clear();
        linked_.clear();
        halted_ = false;
        error_ = nullptr;
    }
    void copyEntry(int srcDir, const QByteArray &srcName, int dstDir, const QByteArray &dstName,
                   const QByteArray &srcPath, const QByteArray &dstPath, bool root);
    // Stops the queued copies: the first failure is the one finish() throws.
    void halt(std::exception_ptr e) {
        std::lock_guard guard(lock_);
        if (!error_) error_ = std::move(e);
        halted_ = true;
    }
    // Waits until no queued file is left, then throws the first failure, if any.
    void finish() {
        std::unique_lock guard(lock_);
        idle_.wait(guard, [&] { return queued_ == 0; });
        if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
    }

private:
    // A folder of the copy whose entries are not all in yet.
    struct Folder {
        Fd src, dst;
        struct stat st {};
        QByteArray srcPath, dstPath;
        dev_t dstDev = 0;
        bool handsDownAcl = true; // files made in dst get an ACL from it
        Folder *parent = nullptr;
        // The walk's hold, one per queued batch of its files and one per subfolder.
        std::atomic<int> pending{1};
    };
    // The walk's hold on a folder, let go on every way out; a folder left by an error gets no metadata.
    class Hold {
    public:
        Hold(CopyJob &job, Folder *f) : job_(job), f_(f) {}
        Hold(const Hold &) = delete;
        Hold &operator=(const Hold &) = delete;
        ~Hold() {
            if (std::uncaught_exceptions() > exceptions_) job_.halted_ = true;
            job_.release(f_);
        }

    private:
        CopyJob &job_;
        Folder *f_;
        const int exceptions_ = std::uncaught_exceptions();
    };

    void folder(Folder *parent, int srcDir, const QByteArray &srcName, int dstDir, const QByteArray &dstName,
                const QByteArray &srcPath, const QByteArray &dstPath, const struct stat &st, bool root);
    void entry(Folder *parent, int srcDir, const QByteArray &srcName, int dstDir, const QByteArray &dstName,
               const QByteArray &srcPath, const QByteArray &dstPath, bool root);
    void copyRegular(FileCopy::Session &s, int srcDir, const QByteArray &srcName, int dstDir,
                     const QByteArray &dstName, const QByteArray &srcPath, const QByteArray &dstPath,
                     bool root, const Folder *in = nullptr);
    void copyFile(FileCopy::Session &s, int srcDir, const QByteArray &srcName, int dstDir,
                  const QByteArray &dstName, const QByteArray &srcPath, const QByteArray &dstPath, bool root,
                  const Folder *in);
    void queue(Folder *f, std::vector<QByteArray> names);
    void copyBatch(FileCopy::Session &s, Folder *f, const std::vector<QByteArray> &names);
    void release(Folder *f) {
        while (f && f->pending.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            Folder *up = f->parent;
            // A folder is given an ACL by its parent only where that hands one down.
            if (!halted_) metadata(f->src.get(), f->dst.get(), f->st, !up || up->handsDownAcl);
            delete f;
            f = up;
        }
    }

    void remember(const struct stat &st, bool stable) {
        if (!report->remember) return;
        std::lock_guard guard(reportLock_);
        report->copied[{st.st_dev, st.st_ino}] =
            Seen{st.st_size, st.st_mtim, st.st_ctim, mode_t(st.st_mode & S_IFMT), stable};
    }
    void passOver() {
        std::lock_guard guard(reportLock_);
        ++report->passedOver;
    }
    // The new root carries our marker until it has its real name: it proves the copy ours to the
    // clean-up after a crash.
    void hold(int fd) {
        report->held.reset(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
        if (!report->mark.isEmpty())
            ::fsetxattr(fd, FileCopy::partMark, report->mark.constData(), size_t(report->mark.size()), 0);
    }
    void metadata(int src, int dst, const struct stat &st, bool mayInherit = true) {
        if (FileCopy::copyMetadata(src, dst, st, mayInherit).aclDropped) {
            std::lock_guard guard(reportLock_);
            report->aclDropped = true;
        }
    }
    // Whether the copy holds exactly the source's bytes now, both read again chunk by chunk. Anything
    // unreadable or short counts as different.
    bool sameBytes(int src, int dstDir, const QByteArray &dstName, qint64 size) {
        Fd dst(::openat(dstDir, dstName.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (dst.get() < 0) return false;
        constexpr qint64 chunk = 1 << 20;
        std::vector<char> a(size_t(std::min(chunk, size))), b(a.size());
        for (qint64 at = 0; at < size;) {
            if (progress.isCancelled()) throw CancelledError{};
            const qint64 want = std::min<qint64>(qint64(a.size()), size - at);
            const ssize_t x = Posix::retry([&] { return ::pread(src, a.data(), size_t(want), at); });
            const ssize_t y = Posix::retry([&] { return ::pread(dst.get(), b.data(), size_t(want), at); });
            if (x != want || y != want || std::memcmp(a.data(), b.data(), size_t(want)) != 0) return false;
            at += want;
        }
        return true;
    }

    QThreadPool pool_;
    std::mutex lock_; // queued_, error_
    std::condition_variable idle_;
    int queued_ = 0;
    std::exception_ptr error_;
    std::atomic<bool> halted_{false};
    std::mutex reportLock_;
    std::vector<std::pair<dev_t, ino_t>> ancestors_; // the walk's own
    // Where the first name of each file with several links went, to link the others to it.
    std::mutex linkLock_;
    std::unordered_map<Identity, QByteArray, IdentityHash> linked_;
};

void CopyJob::copyEntry(int srcDir, const QByteArray &srcName, int dstDir, const QByteArray &dstName,
                        const QByteArray &srcPath, const QByteArray &dstPath, bool root) {
    entry(nullptr, srcDir, srcName, dstDir, dstName, srcPath, dstPath, root);
}

void CopyJob::entry(Folder *parent, int srcDir, const QByteArray &srcName, int dstDir,
                    const QByteArray &dstName, const QByteArray &srcPath, const QByteArray &dstPath,
                    bool root) {
    struct stat st;
    if (::fstatat(srcDir, srcName.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) fail(errno);

    if (S_ISDIR(st.st_mode)) {
        folder(parent, srcDir, srcName, dstDir, dstName, srcPath, dstPath, st, root);
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
        remember(st, qsizetype(st.st_size) == text.size());
        return;
    }

    if (S_ISREG(st.st_mode)) {
        copyRegular(session, srcDir, srcName, dstDir, dstName, srcPath, dstPath, root);
        return;
    }

    // Pipes, sockets and devices are not carried.
    passOver();
}

void CopyJob::folder(Folder *parent, int srcDir, const QByteArray &srcName, int dstDir,
                     const QByteArray &dstName, const QByteArray &srcPath, const QByteArray &dstPath,
                     const struct stat &st, bool root) {
    // A move leaves what is mounted inside the folder where it is.
    if (report->remember && !root && isMountPoint(srcDir, srcName.constData(), st, ancestors_.back().first))
        return;
    // A bind mount of a parent inside the tree would make it endless.
    for (const auto &a : ancestors_)
        if (a.first == st.st_dev && a.second == st.st_ino)
            throw FileError{ELOOP, L("Der Ordner enthält sich selbst (über eine Einhängung)."), false};
    if (ancestors_.size() >= size_t(maxDepth))
        throw FileError{ELOOP, LF("Die Ordner sind zu tief verschachtelt (mehr als %d Ebenen).", maxDepth),
                        false};
    auto *f = new Folder;
    f->st = st;
    f->srcPath = srcPath;
    f->dstPath = dstPath;
    f->parent = parent;
    if (parent) parent->pending.fetch_add(1, std::memory_order_relaxed);
    Hold held(*this, f);
    f->src.reset(::openat(srcDir, srcName.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (f->src.get() < 0) fail(errno);
    // Private until the children are in; the real mode comes with the metadata.
    if (::mkdirat(dstDir, dstName.constData(), 0700) != 0) fail(errno);
    if (root) report->createdRoot = true;
    f->dst.reset(::openat(dstDir, dstName.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (f->dst.get() < 0) fail(errno);
    if (root) hold(f->dst.get());
    struct stat dstSt;
    f->dstDev = ::fstat(f->dst.get(), &dstSt) == 0 ? dstSt.st_dev : 0;
    f->handsDownAcl = FileCopy::handsDownAcl(f->dst.get());
    const std::vector<Entry> entries = listEntries(f->src.get());
    ancestors_.emplace_back(st.st_dev, st.st_ino);
    std::vector<QByteArray> batch;
    for (const Entry &e : entries) {
        if (progress.isCancelled()) throw CancelledError{};
        if (halted_) throw Halted{};
        unsigned char type = e.type;
        if (type == DT_UNKNOWN) {
            struct stat s;
            if (::fstatat(f->src.get(), e.name.constData(), &s, AT_SYMLINK_NOFOLLOW) == 0)
                type = IFTODT(s.st_mode);
        }
        if (type != DT_REG) {
            entry(f, f->src.get(), e.name, f->dst.get(), e.name, srcPath + '/' + e.name,
                  dstPath + '/' + e.name, false);
            continue;
        }
        batch.push_back(e.name);
        if (batch.size() == size_t(batchFiles)) queue(f, std::exchange(batch, {}));
    }
    if (!batch.empty()) queue(f, std::move(batch));
    ancestors_.pop_back();
}

void CopyJob::queue(Folder *f, std::vector<QByteArray> names) {
    bool room;
    {
        std::lock_guard guard(lock_);
        room = queued_ < maxQueued;
        queued_ += room;
    }
    if (!room) {
        // The copying threads have enough to do: the walk copies this batch itself.
        copyBatch(session, f, names);
        return;
    }
    f->pending.fetch_add(1, std::memory_order_relaxed);
    pool_.start([this, f, names = std::move(names)] {
        thread_local FileCopy::Session own;
        copyBatch(own, f, names);
        release(f);
        std::lock_guard guard(lock_);
        if (--queued_ == 0) idle_.notify_all();
    });
}

void CopyJob::copyBatch(FileCopy::Session &s, Folder *f, const std::vector<QByteArray> &names) {
    for (const QByteArray &name : names) {
        if (halted_) return;
        try {
            copyRegular(s, f->src.get(), name, f->dst.get(), name, f->srcPath + '/' + name,
                        f->dstPath + '/' + name, false, f);
        } catch (...) {
            halt(std::current_exception());
        }
    }
}

void CopyJob::copyRegular(FileCopy::Session &s, int srcDir, const QByteArray &srcName, int dstDir,
                          const QByteArray &dstName, const QByteArray &srcPath, const QByteArray &dstPath,
                          bool root, const Folder *in) {
    try {
        copyFile(s, srcDir, srcName, dstDir, dstName, srcPath, dstPath, root, in);
    } catch (const FileError &e) {
        throw CopyFailure{textOf(srcPath), e};
    }
}

void CopyJob::copyFile(FileCopy::Session &s, int srcDir, const QByteArray &srcName, int dstDir,
                       const QByteArray &dstName, const QByteArray &srcPath, const QByteArray &dstPath,
                       bool root, const Folder *in) {
    // O_NONBLOCK: an entry swapped for a pipe meanwhile must not hang the job.
    Fd src(::openat(srcDir, srcName.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (src.get() < 0) fail(errno);
    struct stat before;
    if (::fstat(src.get(), &before) != 0) fail(errno);
    if (!S_ISREG(before.st_mode)) {
        passOver();
        return;
    }
    // Names of one file stay names of one file: the first is copied, the others are linked to
    // that copy. One at a time, so that no name looks for a copy still being made.
    std::unique_lock<std::mutex> linking;
    if (before.st_nlink > 1) {
        linking = std::unique_lock(linkLock_);
        const auto first = linked_.find({before.st_dev, before.st_ino});
        if (!root && first != linked_.end() &&
            ::linkat(AT_FDCWD, first->second.constData(), dstDir, dstName.constData(), 0) == 0)
            return;
    }
    if (progress.isCancelled()) throw CancelledError{};
    Fd dst(::openat(dstDir, dstName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (dst.get() < 0) fail(errno);
    if (root) {
        report->createdRoot = true;
        hold(dst.get());
    }

    dev_t dstDev = in ? in->dstDev : 0;
    if (!in) {
        struct stat dstStat;
        if (::fstat(dst.get(), &dstStat) == 0) dstDev = dstStat.st_dev;
    }
    qint64 copied = 0;
    const int e = FileCopy::copyData(
        src.get(), dst.get(), before, dstDev, s,
        [this, &srcPath](qint64 n) {
            progress.add(n);
            reached(Step::chunkCopied, srcPath);
            return !progress.isCancelled();
        },
        &copied);
    if (e == ECANCELED) throw CancelledError{};
    if (e) fail(e);
    if (syncEachFile && Posix::retry([&] { return ::fsync(dst.get()); }) != 0 && errno != EINVAL &&
        errno != ENOTSUP)
        fail(errno);
    metadata(src.get(), dst.get(), before, !in || in->handsDownAcl);

    // A file that changed while it was read is copied as read; a move must not trust it.
    struct stat after;
    const bool sameSizeAndTime = ::fstat(src.get(), &after) == 0 && after.st_size == copied &&
                                 before.st_size == copied && sameTime(after.st_mtim, before.st_mtim);
    bool stable = sameSizeAndTime && sameTime(after.st_ctim, before.st_ctim);
    // Renaming or linking another name of a file changes its ctime alone: for a copy the bytes decide.
    // A move keeps the stricter rule, since its original goes.
    if (sameSizeAndTime && !stable && !report->remember)
        stable = sameBytes(src.get(), dstDir, dstName, copied);
    if (!stable) {
        std::lock_guard guard(reportLock_);
        report->unstable << textOf(srcPath);
    }
    remember(before, stable);

    if (const int c = FileCopy::closeChecked(dst.release())) fail(c);
    if (before.st_nlink > 1) linked_[{before.st_dev, before.st_ino}] = dstPath;
    reached(Step::fileCopied, srcPath);
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
    job.begin(report, syncEachFile);
    try {
        job.copyEntry(srcDir.get(), srcName, dstDir.get(), dstName, bytesOf(source), bytesOf(target), true);
    } catch (const Halted &) {
        // a queued file failed first: finish() throws its error
    } catch (...) {
        job.halt(std::current_exception());
    }
    // No queued file is still being written when the caller removes or renames the copy.
    job.finish();
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
    if (depth > detail::maxDepth) return true;
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

// The bytes of the regular files below one folder; its subfolders are read by a few threads at once.
class Measure {
public:
    explicit Measure(TransferProgress *progress) : progress_(progress) {
        pool_.setMaxThreadCount(detail::copyThreads);
    }
    // Nothing when cancelled.
    std::optional<qint64> below(const QString &folder) {
        const auto p = Posix::encode(folder);
        if (!p) return 0;
        const int fd = ::open(p->constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) return 0;
        walk(fd, 0);
        pool_.waitForDone();
        if (stop_) return std::nullopt;
        return sum_.load();
    }

private:
    // Takes the descriptor.
    void walk(int fd, int depth) {
        if (depth > detail::maxDepth) {
            ::close(fd);
            return;
        }
        DIR *dir = ::fdopendir(fd);
        if (!dir) {
            ::close(fd);
            return;
        }
        qint64 sum = 0;
        while (dirent *e = ::readdir(dir)) {
            if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
            if (stop_ || (progress_ && progress_->isCancelled())) {
                stop_ = true;
                break;
            }
            // Only regular files have a size that counts; the type the folder tells spares the others a stat.
            const unsigned char type = e->d_type;
            if (type != DT_REG && type != DT_DIR && type != DT_UNKNOWN) continue;
            struct stat st {};
            if (type != DT_DIR && ::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
            if (type != DT_DIR && S_ISREG(st.st_mode)) {
                if (st.st_nlink < 2 || firstName(st.st_ino))
                    sum += st.st_size; // a file with several names is copied once
            } else if (type == DT_DIR || S_ISDIR(st.st_mode)) {
                const int sub =
                    ::openat(::dirfd(dir), e->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                if (sub < 0) continue;
                if (queued_.fetch_add(1) < 4 * detail::copyThreads) {
                    pool_.start([this, sub, depth] {
                        walk(sub, depth + 1);
                        --queued_;
                    });
                } else {
                    --queued_;
                    walk(sub, depth + 1);
                }
            }
        }
        ::closedir(dir);
        sum_ += sum;
    }
    bool firstName(ino_t ino) {
        std::lock_guard guard(linksLock_);
        return links_.insert(ino).second;
    }

    TransferProgress *progress_;
    QThreadPool pool_;
    std::atomic<qint64> sum_{0};
    std::atomic<bool> stop_{false};
    std::atomic<int> queued_{0};
    std::mutex linksLock_;
    std::unordered_set<ino_t> links_;
};

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
        const std::optional<qint64> below = Measure(progress).below(path);
        if (!below) return std::nullopt;
        sum += *below;
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

namespace {

bool unchanged(const struct stat &st, const Seen &seen) {
    return seen.stable && mode_t(st.st_mode & S_IFMT) == seen.type && st.st_size == seen.size &&
           sameTime(st.st_mtim, seen.mtime) && sameTime(st.st_ctim, seen.ctime);
}

// Deletes what a move copied from the original, entry by entry, each checked right before.
class Remover {
public:
    Remover(CopyReport &report, Leftover &left, const QByteArray &folder)
        : report_(report), left_(left), folder_(folder) {}

    // One file, link or special entry; its copy is dstName in dstDir (-1: no copy).
    void entry(int srcDir, const char *srcName, int dstDir, const char *dstName, const struct stat &st,
               const QByteArray &rel) {
        if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
            ++left_.special;
            return;
        }
        const auto seen = report_.copied.find({st.st_dev, st.st_ino});
        struct stat copy;
        const bool hasCopy = dstDir >= 0 && ::fstatat(dstDir, dstName, &copy, AT_SYMLINK_NOFOLLOW) == 0 &&
                             (copy.st_mode & S_IFMT) == (st.st_mode & S_IFMT);
        if (seen == report_.copied.end() || !hasCopy || !unchanged(st, seen->second) ||
            (S_ISREG(st.st_mode) && copy.st_size != st.st_size)) {
            keep(rel);
            // Its copy holds an older or torn state: only the original counts now.
            if (hasCopy && seen != report_.copied.end()) ::unlinkat(dstDir, dstName, 0);
            return;
        }
        if (st.st_nlink > 1) {
            // Its other names see the lower link count as a new change time.
            Fd fd(::openat(srcDir, srcName, O_PATH | O_NOFOLLOW | O_CLOEXEC));
            if (!unlink(srcDir, srcName)) return;
            struct stat after;
            Seen &s = seen->second;
            if (fd.get() >= 0 && ::fstat(fd.get(), &after) == 0 && after.st_size == s.size &&
                sameTime(after.st_mtim, s.mtime))
                s.ctime = after.st_ctim;
            else
                s.stable = false;
        } else if (!unlink(srcDir, srcName)) {
            return;
        }
        reached(Step::fileRemoved, folder_ + rel);
    }

    void below(int srcDir, int dstDir, const QByteArray &rel, int depth) {
        struct stat here;
        if (::fstat(srcDir, &here) != 0) {
            error(errno);
            return;
        }
        std::vector<QByteArray> names;
        try {
            names = listNames(srcDir);
        } catch (const FileError &e) {
            error(e.code);
            return;
        }
        for (const QByteArray &name : names) {
            const QByteArray sub = rel + '/' + name;
            struct stat st;
            if (::fstatat(srcDir, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno != ENOENT) error(errno);
                continue;
            }
            if (!S_ISDIR(st.st_mode)) {
                entry(srcDir, name.constData(), dstDir, name.constData(), st, sub);
                continue;
            }
            // Never delete on another file system than the original's, nor through a bind mount.
            if (isMountPoint(srcDir, name.constData(), st, here.st_dev)) {
                if (left_.mounts++ == 0) left_.firstMount = textOf(sub);
                continue;
            }
            Fd src(::openat(srcDir, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            Fd dst(dstDir < 0
                       ? -1
                       : ::openat(dstDir, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (src.get() < 0 || depth >= maxDepth) {
                error(src.get() < 0 ? errno : ELOOP);
                continue;
            }
            if (dst.get() < 0) {
                keep(sub); // made after its folder was copied
                continue;
            }
            below(src.get(), dst.get(), sub, depth + 1);
            // A folder that still holds something stays.
            if (::unlinkat(srcDir, name.constData(), AT_REMOVEDIR) != 0 && errno != ENOTEMPTY &&
                errno != EEXIST && errno != ENOENT)
                error(errno);
        }
    }

private:
    void keep(const QByteArray &rel) {
        if (left_.changed++ == 0) left_.firstChanged = textOf(rel);
    }
    void error(int e) {
        if (!left_.error) left_.error = e;
    }
    bool unlink(int dirFd, const char *name) {
        if (::unlinkat(dirFd, name, 0) == 0 || errno == ENOENT) return true;
        error(errno);
        return false;
    }

    CopyReport &report_;
    Leftover &left_;
    const QByteArray folder_;
};

} // namespace

Leftover finishMove(const QString &source, const QString &target, CopyReport &report) {
    Leftover left;
    const QString folder = Posix::parentOf(source);
    QByteArray name, targetName;
    Fd parent, targetParent;
    try {
        parent = openParent(source, name);
        targetParent = openParent(target, targetName);
    } catch (const FileError &e) {
        left.error = e.code;
        return left;
    }
    Remover remover(report, left, bytesOf(folder) + '/');
    struct stat st;
    if (::fstatat(parent.get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        left.error = errno;
        return left;
    }
    if (!S_ISDIR(st.st_mode)) {
        // One name goes at once: there is no half-deleted state to hide.
        remover.entry(parent.get(), name.constData(), targetParent.get(), targetName.constData(), st, name);
        if (left.changed) left.keptAt = source;
        return left;
    }

    // Aside first: an interruption leaves the whole original or none of it under its name.
    const QString aside = hiddenName(folder, "gone");
    Journal::Scope recorded;
    Journal::beginAside(aside, source, st);
    recorded.set(aside);
    if (const int e = renameNoReplace(source, aside)) {
        left.error = e;
        return left;
    }
    const QByteArray asideName = bytesOf(Posix::lastComponent(aside));
    reached(Step::sourceAside, bytesOf(aside));
    {
        Fd src(
            ::openat(parent.get(), asideName.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        Fd dst(::openat(targetParent.get(), targetName.constData(),
                        O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (src.get() >= 0)
            remover.below(src.get(), dst.get(), name, 1);
        else
            left.error = errno;
    }
    if (::unlinkat(parent.get(), asideName.constData(), AT_REMOVEDIR) == 0) return left;
    if (errno != ENOTEMPTY && errno != EEXIST && !left.error) left.error = errno;
    // What stays takes its name back.
    left.keptAt = source;
    for (int attempt = 0; renameNoReplace(aside, left.keptAt) == EEXIST && attempt < 20; ++attempt)
        left.keptAt = uniqueURL(Posix::lastComponent(source), folder);
    if (!Posix::lstatPath(left.keptAt, st)) left.keptAt = aside;
    return left;
}

QString leftoverText(const Leftover &left, const QString &name) {
    // clang-format off
    if (left.error)
        return LF("„%@“ wurde kopiert, aber das Original ließ sich nicht löschen. Die Kopie bleibt erhalten. %@",
                  name, explain(FileError::fromErrno(left.error), name));
    QStringList parts;
    if (left.changed == 1)
        parts << LF("„%@“ wurde während des Verschiebens geändert und bleibt am alten Ort.", left.firstChanged);
    else if (left.changed > 1)
        parts << LF("%d Dateien wurden während des Verschiebens geändert und bleiben am alten Ort, darunter „%@“.",
                    int(left.changed), left.firstChanged);
    if (left.special > 0)
        parts << LF("„%@“ enthält Pipes, Sockets oder Geräte. Sie bleiben mit ihren Ordnern am alten Ort, alles andere wurde verschoben.",
                    name);
    if (left.mounts == 1)
        parts << LF("„%@“ enthält den eingehängten Ordner „%@“. Er bleibt mit seinem Inhalt am alten Ort, alles andere wurde verschoben.",
                    name, left.firstMount);
    else if (left.mounts > 1)
        parts << LF("„%@“ enthält %d eingehängte Ordner, darunter „%@“. Sie bleiben mit ihrem Inhalt am alten Ort, alles andere wurde verschoben.",
                    name, int(left.mounts), left.firstMount);
    // clang-format on
    return parts.join(u' ');
}

void moveAcross(const QString &from, const QString &to, TransferProgress &progress) {
    const QString name = Posix::lastComponent(from);
    const QString folder = Posix::parentOf(to);
    auto job = newCopyJob(progress);
    CopyReport report;
    report.remember = true;
    const QString part = hiddenName(folder, "part");
    Journal::Scope recorded;
    report.mark = Journal::beginPart(part);
    recorded.set(part);
    try {
        copyTree(*job, from, part, true, report);
    } catch (...) {
        if (report.createdRoot) removeTree(part);
        throw;
    }
    if (!report.createdRoot)
        throw FileError{EOPNOTSUPP, LF("„%@“: Pipes, Sockets und Geräte lassen sich nicht kopieren.", name),
                        false};
    if (const int e = renameNoReplace(part, to)) {
        removeTree(part);
        throw FileError::fromErrno(e);
    }
    unmark(report);
    reached(Step::placed, bytesOf(to));
    syncFolder(folder);
    const Leftover left = finishMove(from, to, report);
    const QString text = leftoverText(left, name);
    if (!text.isEmpty()) throw FileError{left.error ? left.error : EBUSY, text, false};
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
