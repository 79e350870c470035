#include "core/filesteps/CopyJob.h"

#include "core/filesteps/PosixSteps.h"

#include "core/filesteps/TransferJournal.h"

#include "core/localisation/Lang.h"
#include "core/model/Tags.h"
#include "core/model/XattrPlist.h"
#include "platform/FileCopy.h"
#include "platform/Posix.h"
#include "platform/Xattr.h"

#include <QSet>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <optional>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace FileSteps {

namespace {

// Raised on the walk once a queued file has failed: the walk ends, the file's own error is the one
// that counts.
struct Halted {};

} // namespace

std::optional<mode_t> currentUmask() {
    const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    char text[4096];
    const ssize_t n = Posix::retry([&] { return ::read(fd, text, sizeof text - 1); });
    ::close(fd);
    if (n <= 0) return std::nullopt;
    text[n] = 0;
    const char *at = std::strstr(text, "\nUmask:");
    if (!at) return std::nullopt;
    char *end = nullptr;
    const unsigned long mask = std::strtoul(at + 7, &end, 8);
    if (end == at + 7 || mask > 0777) return std::nullopt;
    return mode_t(mask);
}

namespace {

// Whether an attribute holds an item's tags or its comment (each kept twice: as a list and as plain text).
bool holdsLabels(const QByteArray &attribute) {
    static const QList<QByteArray> names{Xattr::userName(FileOps::tagXattr()).toUtf8(), "user.xdg.tags",
                                         Xattr::userName(FileOps::commentXattr()).toUtf8(),
                                         "user.xdg.comment"};
    return names.contains(attribute);
}

// The entry of the folder dstDir that a volume blind to case takes `name` for; empty when there is none.
QByteArray caseTwin(int dstDir, const QByteArray &name) {
    struct stat there, twin;
    if (::fstatat(dstDir, name.constData(), &there, AT_SYMLINK_NOFOLLOW) != 0) return {};
    const QString wanted = QString::fromUtf8(name);
    try {
        for (const Entry &e : listEntries(dstDir))
            if (e.name != name && QString::fromUtf8(e.name).compare(wanted, Qt::CaseInsensitive) == 0 &&
                ::fstatat(dstDir, e.name.constData(), &twin, AT_SYMLINK_NOFOLLOW) == 0 &&
                sameInode(twin, there))
                return e.name;
    } catch (const FileError &) {
    }
    return {};
}

// Why the destination refused to make `name` in the folder dstDir: the drive's own limit where it is the
// cause, else what the system said. A link made where the volume has none fails with EPERM (FAT) or
// ENOSYS (exfat-fuse); a refused name with EINVAL, or with ENOENT while the folder is there (exfat-fuse).
[[noreturn]] void refusedMaking(int e, int dstDir, const QByteArray &name, bool link) {
    if (link && (e == EPERM || e == ENOSYS || e == ENOTSUP))
        throw FileError{EOPNOTSUPP, L("Dieses Laufwerk kann keine Links aufnehmen."), false};
    if (const QByteArray twin = e == EEXIST ? caseTwin(dstDir, name) : QByteArray(); !twin.isEmpty())
        throw FileError{
            EEXIST,
            LF("Der Name unterscheidet sich von „%@“ nur in der Groß- und Kleinschreibung, und das "
               "Ziel unterscheidet nicht zwischen Groß- und Kleinschreibung.",
               Posix::shown(twin)),
            false};
    struct stat folder;
    if (e == EINVAL || (e == ENOENT && ::fstat(dstDir, &folder) == 0 && folder.st_nlink > 0))
        throw nameRefused(name);
    fail(e);
}

} // namespace

// Files are copied by a small pool while one thread walks the tree. The walk makes every folder
// before it queues the files inside it; a folder gets its mode and times only once the last of its
// entries is in (so neither a read-only mode nor a new entry spoils them).
class CopyJob {
public:
    // A folder's files go to one copying thread, in ranges of at most this many: threads that make
    // entries in one folder at once mostly wait for its lock.
    static constexpr int batchFiles = 4096;
    static constexpr int maxQueued = copyThreads * 4;

    explicit CopyJob(TransferProgress &p) : progress(p) { pool_.setMaxThreadCount(copyThreads); }
    ~CopyJob() { pool_.waitForDone(); }

    TransferProgress &progress;
    FileCopy::Session session; // the walk's own; each copying thread has one too
    CopyReport *report = nullptr;
    bool syncEachFile = false;

    // Starts the copy of one item (to `target`) into report.
    void begin(CopyReport &r, const PathBytes &target, const struct stat &into, bool sync) {
        report = &r;
        target_ = target.bytes();
        targetDev_ = into.st_dev;
        syncEachFile = sync;
        ancestors_.clear();
        halted_ = false;
        error_ = nullptr;
        // Facts of the job, not of each file or item.
        if (!factsKnown_) {
            known_ = FileCopy::Known::ours();
            umask_ = currentUmask();
            factsKnown_ = true;
        }
        targetGid_ = known_.gidIn(into);
    }
    // The folder the next item goes into: whether it hands an ACL down to what is made in it, looked at
    // once for each folder the job copies into.
    void into(const HeldFolder &folder) {
        const Identity id{folder.identity().st_dev, folder.identity().st_ino};
        if (const auto known = aclInto_.find(id); known != aclInto_.end()) {
            rootAcl_ = known->second;
            return;
        }
        const Fd dir(folder.openReadable());
        rootAcl_ = dir.get() < 0 || FileCopy::handsDownAcl(dir.get());
        if (dir.get() >= 0) aclInto_.emplace(id, rootAcl_);
    }
    // seen: the source's stat, where the caller took it just now.
    void copyEntry(int srcDir, const QByteArray &srcName, int dstDir, const QByteArray &dstName,
                   const QByteArray &srcPath, bool root, const struct stat *seen = nullptr);
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
        mutable std::shared_ptr<Fd> linkDir; // dst for the links to a first copy in it; made under linkLock_
        struct stat st {};
        QByteArray srcPath;
        dev_t dstDev = 0;
        gid_t gid = 0;            // the group of what is made in dst
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
                const QByteArray &srcPath, const struct stat &st, bool root);
    void entry(Folder *parent, int srcDir, const QByteArray &srcName, int dstDir, const QByteArray &dstName,
               const QByteArray &srcPath, bool root, const struct stat *seen = nullptr);
    void entryOf(Folder *parent, int srcDir, const QByteArray &srcName, int dstDir, const QByteArray &dstName,
                 const QByteArray &srcPath, bool root, const struct stat *seen);
    void copyRegular(FileCopy::Session &s, int srcDir, const QByteArray &srcName, int dstDir,
                     const QByteArray &dstName, const QByteArray &srcPath, bool root,
                     const Folder *in = nullptr);
    void copyFile(FileCopy::Session &s, int srcDir, const QByteArray &srcName, int dstDir,
                  const QByteArray &dstName, const QByteArray &srcPath, bool root, const Folder *in);
    Fd createFile(int dstDir, const QByteArray &dstName, const struct stat &before, bool root,
                  const Folder *in, mode_t &made);
    qint64 copyContents(FileCopy::Session &s, int src, int dst, const struct stat &before, const Folder *in,
                        const QByteArray &srcPath);
    bool copiedAsItIs(int src, int dstDir, const QByteArray &dstName, const struct stat &before,
                      qint64 copied, const QByteArray &srcPath);
    void queue(Folder *f, std::vector<QByteArray> names);
    void copyBatch(FileCopy::Session &s, Folder *f, const std::vector<QByteArray> &names);
    void release(Folder *f) {
        while (f && f->pending.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            Folder *up = f->parent;
            if (!up && !halted_) letGoOfMark(f->dst.get(), f->st, -1);
            // A folder is given an ACL by its parent only where that hands one down.
            if (!halted_)
                metadata(f->src.get(), f->dst.get(), f->st, f->srcPath, gidIn(up), !up || up->handsDownAcl);
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
    void passOver(const QByteArray &srcPath) {
        std::lock_guard guard(reportLock_);
        if (report->specials.size() < 3) report->specials << Posix::shown(srcPath);
        ++report->passedOver;
    }
    // The new root carries our marker until it has its real name: it proves the copy ours to the
    // clean-up after a crash. Where the volume keeps no marker, the root's identity goes on record
    // instead; `most` is the size it cannot outgrow (-1: a folder).
    void hold(int fd, qint64 most) {
        report->held = std::make_shared<Fd>(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
        if (!report->mark.isEmpty() &&
            ::fsetxattr(fd, FileCopy::partMark, report->mark.constData(), size_t(report->mark.size()), 0) !=
                0 &&
            errno == ENOTSUP)
            Journal::partMade(PathBytes(target_), fd, most);
    }
    // The root's mode may forbid its owner to take the marker off once it has its name (a read-only
    // file or folder): the marker goes before that mode comes, its identity on record in its stead.
    void letGoOfMark(int fd, const struct stat &st, qint64 most) {
        if (report->mark.isEmpty() || (st.st_mode & S_IWUSR) ||
            ::fgetxattr(fd, FileCopy::partMark, nullptr, 0) < 0)
            return;
        Journal::partMade(PathBytes(target_), fd, most);
        if (::fremovexattr(fd, FileCopy::partMark) == 0) report->mark.clear();
    }
    // The group of what is made in the copy's folder f (nullptr: the folder the item goes into).
    gid_t gidIn(const Folder *f) const { return f ? f->gid : targetGid_; }
    void metadata(int src, int dst, const struct stat &st, const QByteArray &srcPath, gid_t gid,
                  bool mayInherit = true, mode_t made = mode_t(-1)) {
        FileCopy::Known known = known_;
        known.gid = gid;
        known.made = made;
        const FileCopy::Metadata m = FileCopy::copyMetadata(src, dst, st, mayInherit, known);
        const bool labelsLost = std::any_of(m.refused.cbegin(), m.refused.cend(), holdsLabels);
        if (m.aclDropped || labelsLost || !m.securityLeft.isEmpty()) {
            std::lock_guard guard(reportLock_);
            report->aclDropped = report->aclDropped || m.aclDropped;
            if (labelsLost) report->labelsLost << Posix::shown(srcPath);
            if (!m.securityLeft.isEmpty()) report->securityLost << Posix::shown(srcPath);
            for (const QByteArray &name : m.securityLeft)
                if (!report->securityNames.contains(QString::fromUtf8(name)))
                    report->securityNames << QString::fromUtf8(name);
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
    // Where the first name of each file with several links went, to link the others to it: its
    // folder, held, and its name there; or, for an item of its own (its name changes once it is
    // complete), the copy itself, held. With the size and time it was copied at.
    struct FirstCopy {
        std::shared_ptr<Fd> dir;
        QByteArray name;
        off_t size = 0;
        timespec mtime{};
    };
    bool linkToFirst(const FirstCopy &first, int dstDir, const QByteArray &dstName) const {
        if (!first.name.isEmpty())
            return ::linkat(first.dir->get(), first.name.constData(), dstDir, dstName.constData(), 0) == 0;
        const QByteArray held = "/proc/self/fd/" + QByteArray::number(first.dir->get());
        return ::linkat(AT_FDCWD, held.constData(), dstDir, dstName.constData(), AT_SYMLINK_FOLLOW) == 0;
    }
    std::mutex linkLock_; // held through the copy of a file with several names
    std::mutex mapLock_;  // held while linked_ is read or written
    std::unordered_map<Identity, FirstCopy, IdentityHash> linked_; // for the whole job
    // Once the job has a first copy: a move has taken the other names of the file away meanwhile.
    std::atomic<bool> anyLinked_{false};
    FileCopy::Known known_;
    std::optional<mode_t> umask_;
    bool factsKnown_ = false;
    QByteArray target_;   // the item's copy
    dev_t targetDev_ = 0; // the device of the folder it goes into
    gid_t targetGid_ = 0; // the group of what is made there
    bool rootAcl_ = true; // that folder hands down an ACL (or may)
    std::unordered_map<Identity, bool, IdentityHash> aclInto_;
};

void CopyJob::copyEntry(int srcDir, const QByteArray &srcName, int dstDir, const QByteArray &dstName,
                        const QByteArray &srcPath, bool root, const struct stat *seen) {
    entry(nullptr, srcDir, srcName, dstDir, dstName, srcPath, root, seen);
}

void CopyJob::entry(Folder *parent, int srcDir, const QByteArray &srcName, int dstDir,
                    const QByteArray &dstName, const QByteArray &srcPath, bool root,
                    const struct stat *seen) {
    try {
        entryOf(parent, srcDir, srcName, dstDir, dstName, srcPath, root, seen);
    } catch (const FileError &e) {
        // Inside a tree the failing item is named, not only the tree; too deep a tree or one that holds
        // itself (ELOOP) is the whole tree's fault.
        if (root || e.code == ELOOP) throw;
        throw CopyFailure{Posix::shown(srcPath), e};
    }
}

void CopyJob::entryOf(Folder *parent, int srcDir, const QByteArray &srcName, int dstDir,
                      const QByteArray &dstName, const QByteArray &srcPath, bool root,
                      const struct stat *seen) {
    struct stat st;
    if (seen)
        st = *seen;
    else if (::fstatat(srcDir, srcName.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        fail(errno);

    if (S_ISDIR(st.st_mode)) {
        folder(parent, srcDir, srcName, dstDir, dstName, srcPath, st, root);
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
        if (::symlinkat(text.constData(), dstDir, dstName.constData()) != 0)
            refusedMaking(errno, dstDir, dstName, true);
        if (root) report->createdRoot = true;
        FileCopy::Known known = known_;
        known.gid = gidIn(parent);
        FileCopy::copyLinkMetadata(dstDir, dstName.constData(), st, known);
        remember(st, qsizetype(st.st_size) == text.size());
        return;
    }

    if (S_ISREG(st.st_mode)) {
        copyRegular(session, srcDir, srcName, dstDir, dstName, srcPath, root);
        return;
    }

    // Pipes, sockets and devices are not carried.
    passOver(srcPath);
}

void CopyJob::folder(Folder *parent, int srcDir, const QByteArray &srcName, int dstDir,
                     const QByteArray &dstName, const QByteArray &srcPath, const struct stat &st, bool root) {
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
    f->parent = parent;
    if (parent) parent->pending.fetch_add(1, std::memory_order_relaxed);
    Hold held(*this, f);
    f->src.reset(::openat(srcDir, srcName.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (f->src.get() < 0) fail(errno);
    // Private until the children are in; the real mode comes with the metadata.
    if (::mkdirat(dstDir, dstName.constData(), 0700) != 0) refusedMaking(errno, dstDir, dstName, false);
    if (root) report->createdRoot = true;
    f->dst.reset(::openat(dstDir, dstName.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (f->dst.get() < 0) fail(errno);
    if (root) hold(f->dst.get(), -1);
    struct stat dstSt;
    const bool seen = ::fstat(f->dst.get(), &dstSt) == 0;
    f->dstDev = seen ? dstSt.st_dev : 0;
    f->gid = seen ? known_.gidIn(dstSt) : known_.gid;
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
            entry(f, f->src.get(), e.name, f->dst.get(), e.name, srcPath + '/' + e.name, false);
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
            copyRegular(s, f->src.get(), name, f->dst.get(), name, f->srcPath + '/' + name, false, f);
        } catch (...) {
            halt(std::current_exception());
        }
    }
}

void CopyJob::copyRegular(FileCopy::Session &s, int srcDir, const QByteArray &srcName, int dstDir,
                          const QByteArray &dstName, const QByteArray &srcPath, bool root, const Folder *in) {
    try {
        copyFile(s, srcDir, srcName, dstDir, dstName, srcPath, root, in);
    } catch (const FileError &e) {
        throw CopyFailure{Posix::shown(srcPath), e};
    }
}

void CopyJob::copyFile(FileCopy::Session &s, int srcDir, const QByteArray &srcName, int dstDir,
                       const QByteArray &dstName, const QByteArray &srcPath, bool root, const Folder *in) {
    // O_NONBLOCK: an entry swapped for a pipe meanwhile must not hang the job.
    Fd src(::openat(srcDir, srcName.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (src.get() < 0) fail(errno);
    struct stat before;
    if (::fstat(src.get(), &before) != 0) fail(errno);
    if (!S_ISREG(before.st_mode)) {
        passOver(srcPath);
        return;
    }
    // Names of one file stay names of one file: the first is copied, the others are linked to
    // that copy, while the file is as it was copied. One at a time, so that no name looks for a copy
    // still being made; a file with one name left (a move took the others) makes no copy another name
    // waits for, and only looks.
    std::unique_lock<std::mutex> linking;
    if (before.st_nlink > 1 || anyLinked_.load(std::memory_order_relaxed)) {
        if (before.st_nlink > 1) linking = std::unique_lock(linkLock_);
        std::unique_lock looking(mapLock_);
        const auto first = linked_.find({before.st_dev, before.st_ino});
        if (first != linked_.end() && first->second.size == before.st_size &&
            sameTime(first->second.mtime, before.st_mtim) && linkToFirst(first->second, dstDir, dstName)) {
            looking.unlock();
            if (root) {
                // Another item's copy: it takes no marker of ours, its identity is on record instead.
                report->createdRoot = true;
                const Fd made(::openat(dstDir, dstName.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
                if (made.get() >= 0) Journal::partMade(PathBytes(target_), made.get(), before.st_size);
            }
            remember(before, true);
            return;
        }
    }
    if (progress.isCancelled()) throw CancelledError{};
    mode_t made = mode_t(-1);
    Fd dst = createFile(dstDir, dstName, before, root, in, made);
    const qint64 copied = copyContents(s, src.get(), dst.get(), before, in, srcPath);
    if (root) letGoOfMark(dst.get(), before, before.st_size);
    metadata(src.get(), dst.get(), before, srcPath, gidIn(in), in ? in->handsDownAcl : rootAcl_, made);
    const bool stable = copiedAsItIs(src.get(), dstDir, dstName, before, copied, srcPath);
    remember(before, stable);

    if (const int c = FileCopy::closeChecked(dst.release())) fail(c);
    if (before.st_nlink > 1 && stable) {
        // One descriptor per folder that holds first copies, kept while the job links to them.
        std::shared_ptr<Fd> own, &dir = in ? in->linkDir : own;
        if (!root && !dir) dir = std::make_shared<Fd>(::fcntl(dstDir, F_DUPFD_CLOEXEC, 0));
        const std::shared_ptr<Fd> &held = root ? report->held : dir;
        if (held && held->get() >= 0) {
            std::lock_guard looking(mapLock_);
            linked_[{before.st_dev, before.st_ino}] = {held, root ? QByteArray() : dstName, before.st_size,
                                                       before.st_mtim};
            anyLinked_.store(true, std::memory_order_relaxed);
        }
    }
    reached(Step::fileCopied, srcPath);
}

// Made private, unless the file keeps the owner and group it is made with and plain rights that let us
// write it (attributes follow the data): then it is made with them, and needs no change of mode afterwards.
// Where the folder hands down an ACL, the rights made depend on it: private again. made: the rights it got,
// where known.
Fd CopyJob::createFile(int dstDir, const QByteArray &dstName, const struct stat &before, bool root,
                       const Folder *in, mode_t &made) {
    const mode_t rights = before.st_mode & 0777;
    const bool plain = umask_ && !(in ? in->handsDownAcl : rootAcl_) && (before.st_mode & 07000) == 0 &&
                       (rights & S_IWUSR) && before.st_uid == known_.uid && before.st_gid == gidIn(in);
    const mode_t createMode = plain ? rights : 0600;
    Fd dst(::openat(dstDir, dstName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    createMode));
    if (dst.get() < 0) refusedMaking(errno, dstDir, dstName, false);
    made = umask_ ? mode_t(createMode & ~*umask_) : mode_t(-1);
    if (root) {
        report->createdRoot = true;
        // Without our marker it is held only for other names of its file to link to.
        if (!report->mark.isEmpty() || before.st_nlink > 1) hold(dst.get(), before.st_size);
    }
    return dst;
}

// The bytes, flushed when asked; how many were copied.
qint64 CopyJob::copyContents(FileCopy::Session &s, int src, int dst, const struct stat &before,
                             const Folder *in, const QByteArray &srcPath) {
    const dev_t dstDev = in ? in->dstDev : targetDev_;
    qint64 copied = 0;
    const int e = FileCopy::copyData(
        src, dst, before, dstDev, s,
        [this, &srcPath](qint64 n) {
            progress.add(n);
            reached(Step::chunkCopied, srcPath);
            return !progress.isCancelled();
        },
        &copied);
    if (e == ECANCELED) throw CancelledError{};
    if (e) fail(e);
    if (const int failing = writeErrorForTests()) [[unlikely]]
        fail(failing);
    if (const int f = syncEachFile ? Posix::flushFile(dst) : 0; f && f != EINVAL && f != ENOTSUP) fail(f);
    return copied;
}

// A file that changed while it was read is copied as read and reported; a move must not trust it.
bool CopyJob::copiedAsItIs(int src, int dstDir, const QByteArray &dstName, const struct stat &before,
                           qint64 copied, const QByteArray &srcPath) {
    struct stat after;
    const bool sameSizeAndTime = ::fstat(src, &after) == 0 && after.st_size == copied &&
                                 before.st_size == copied && sameTime(after.st_mtim, before.st_mtim);
    bool stable = sameSizeAndTime && sameTime(after.st_ctim, before.st_ctim);
    // Renaming or linking another name of a file changes its ctime alone: for a copy the bytes decide.
    // A move keeps the stricter rule, since its original goes.
    if (sameSizeAndTime && !stable && !report->remember) stable = sameBytes(src, dstDir, dstName, copied);
    if (!stable) {
        std::lock_guard guard(reportLock_);
        report->unstable << Posix::shown(srcPath);
    }
    return stable;
}

void unmark(CopyReport &report) {
    if (report.held && report.held->get() >= 0 && !report.mark.isEmpty())
        ::fremovexattr(report.held->get(), FileCopy::partMark);
}

CopyJobPtr newCopyJob(TransferProgress &progress) {
    return CopyJobPtr(new CopyJob(progress));
}

void CopyJobDeleter::operator()(CopyJob *job) const {
    delete job;
}

namespace {

void copyRoot(CopyJob &job, const HeldFolder &from, const QByteArray &srcName, const HeldFolder &into,
              const QByteArray &dstName, bool flush, bool syncEachFile, CopyReport &report,
              const struct stat *shown, bool check) {
    if (srcName.isEmpty() || srcName == "." || srcName == ".." || srcName.contains('/')) fail(EINVAL);
    // Folders held just now for this copy alone need no second look.
    if (check) {
        from.check();
        into.check();
    }
    // The source must be what was read before: a folder swapped meanwhile holds another item by that name.
    struct stat now;
    if (shown && (::fstatat(from.fd(), srcName.constData(), &now, AT_SYMLINK_NOFOLLOW) != 0 ||
                  !sameInode(now, *shown)))
        throw from.refusal();
    // Opened before the copy writes: a write-back error is reported only to descriptors open then.
    Fd dstDir(flush ? into.openReadable() : -1);
    if (flush && dstDir.get() < 0) fail(errno);
    job.begin(report, into.pathOf(dstName), into.identity(), syncEachFile);
    job.into(into);
    try {
        job.copyEntry(from.fd(), srcName, into.fd(), dstName, from.pathOf(srcName).bytes(), true,
                      shown ? &now : nullptr);
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
        if (const int e = Posix::flushFileSystem(dstDir.get())) fail(e);
        reached(Step::flushed, into.pathOf(dstName).bytes());
    }
}

} // namespace

void copyTree(CopyJob &job, const PathBytes &source, const PathBytes &target, bool flush, CopyReport &report,
              bool syncEachFile) {
    const HeldFolder from(source.parent()), into(target.parent());
    copyRoot(job, from, source.name(), into, target.name(), flush, syncEachFile, report, nullptr, false);
}

void copyTree(CopyJob &job, const HeldFolder &from, const QByteArray &sourceName, const HeldFolder &into,
              const QByteArray &targetName, bool flush, CopyReport &report, const struct stat *shown,
              bool foldersChecked) {
    copyRoot(job, from, sourceName, into, targetName, flush, false, report, shown, !foldersChecked);
}

// The hidden name is made in bytes, from the folder's.
PartCopy::PartCopy(const HeldFolder &folder, bool inGroup, const PathBytes *copyOf)
    : folder_(folder), bytes_(Journal::partName(folder.path(), folder.fd())), name_(bytes_.name()),
      path_(Posix::shown(bytes_.bytes())) {
    // Nothing is made or recorded where it could not go again.
    folder.refuseAppendOnly();
    if (copyOf && !folder.keepsBirthTimes()) copyOf = nullptr;
    report_.mark = inGroup ? Journal::beginPartOfGroup(bytes_, copyOf) : Journal::beginPart(bytes_, copyOf);
    // Two calls per file spared: a marker set, then taken off once the copy has its name.
    if (copyOf) report_.mark.clear();
    recorded_.set(bytes_);
}

void PartCopy::record(const PathBytes &to) {
    struct stat copy;
    if (::fstatat(folder_.fd(), name_.constData(), &copy, AT_SYMLINK_NOFOLLOW) != 0)
        throw FileError::fromErrno(errno);
    Journal::beginPlace(bytes_, to, copy);
}

PartCopy::~PartCopy() {
    // The record goes once the part is gone on the disk too.
    if (!placed_ && report_.createdRoot &&
        (removeTreeAt(folder_.fd(), name_) != 0 || syncFolder(folder_.path().text()) != 0))
        recorded_.keep();
}

void PartCopy::handTo(Journal::Unflushed &later) {
    recorded_.handTo(later, folder_.path().text());
}

void PartCopy::copy(CopyJob &job, const HeldFolder &from, const QByteArray &name, const struct stat &shown,
                    bool flush, bool foldersChecked) {
    copyTree(job, from, name, folder_, name_, flush, report_, &shown, foldersChecked);
}

int PartCopy::place(const QByteArray &to) {
    record(folder_.pathOf(to));
    const int e = renameNoReplaceAt(folder_.fd(), name_, folder_.fd(), to);
    if (e == 0) {
        placed_ = true;
        unmark(report_);
    }
    return e;
}

Replaced PartCopy::replace(const QByteArray &named, const struct stat &old) {
    const PathBytes target = folder_.pathOf(named);
    try {
        record(target);
    } catch (const FileError &e) {
        Replaced refused;
        refused.error = e;
        return refused;
    }
    Replaced r = replaceWithPart(path_, target.text(), old, &folder_);
    settled(r);
    return r;
}

void PartCopy::settled(const Replaced &r) {
    switch (r.how) {
    case Replaced::How::done:
        placed_ = true;
        unmark(report_);
        break;
    case Replaced::How::kept:
        placed_ = true; // the old item is under the part's name now, or the part waits beside the name
        recorded_.keep();
        break;
    case Replaced::How::nameFree:
    case Replaced::How::failed:
        break;
    }
}

void PartCopy::replaceAll(QList<InGroup> &items, QList<TrashAt> &alsoTrash) {
    // Each record, then one flush for all.
    QList<InGroup *> recorded;
    QSet<const HeldFolder *> checked;
    for (InGroup &g : items) {
        PartCopy &p = *g.part;
        try {
            if (!checked.contains(&p.folder_)) p.folder_.check();
            checked.insert(&p.folder_);
            const PathBytes target = p.folder_.pathOf(g.named);
            p.record(target);
            Journal::beginReplaceOfGroup(p.bytes_, target, g.old);
            recorded << &g;
        } catch (const FileError &e) {
            g.result.error = e;
        }
    }
    if (recorded.isEmpty() && alsoTrash.isEmpty()) return;
    try {
        if (!recorded.isEmpty()) Journal::flush();
    } catch (const FileError &e) {
        for (InGroup *g : std::as_const(recorded))
            g->result.error = e;
        recorded.clear();
    }
    // The exchanges: each old item waits under its part's name for the Trash.
    QList<InGroup *> exchanged;
    QList<TrashAt> trash;
    for (InGroup *g : std::as_const(recorded)) {
        PartCopy &p = *g->part;
        const int e = exchangeNamesAt(p.folder_.fd(), p.name_, g->named);
        if (e == ENOENT) {
            g->result.how = Replaced::How::nameFree;
        } else if (e == 0) {
            reached(Step::oldItemOut, p.folder_.pathOf(g->named).bytes());
            exchanged << g;
        } else if (e == EINVAL || e == ENOTSUP || e == EOPNOTSUPP || e == ENOSYS || e == EXDEV) {
            // No exchange here: the old item goes first, alone.
            g->result = replaceWithPart(p.path_, p.folder_.pathOf(g->named).text(), g->old, &p.folder_, true);
            p.settled(g->result);
        } else {
            g->result.error = FileError::fromErrno(e);
        }
    }
    // Only from folders still at their paths, which the Trash records.
    QSet<const HeldFolder *> moved;
    checked.clear();
    for (InGroup *g : std::as_const(exchanged)) {
        const HeldFolder &f = g->part->folder_;
        if (!checked.contains(&f) && !f.stillAtPath()) moved.insert(&f);
        checked.insert(&f);
        if (!moved.contains(&f)) trash << TrashAt{&f, g->part->name_, f.pathOf(g->named).text(), {}};
    }
    const qsizetype own = trash.size();
    trash << alsoTrash;
    trashAll(trash);
    for (qsizetype i = own; i < trash.size(); ++i)
        alsoTrash[i - own].result = trash[i].result;
    qsizetype at = 0;
    for (InGroup *g : std::as_const(exchanged)) {
        PartCopy &p = *g->part;
        Replaced &r = g->result;
        if (moved.contains(&p.folder_)) {
            r.error = p.folder_.refusal();
        } else {
            const Trashed &t = trash[at++].result;
            if (t.status == Trash::Status::moved) {
                r.how = Replaced::How::done;
                r.inTrash = t.moved.value(0).second;
                p.settled(r);
                continue;
            }
            r.error = trashError(Trash::Result{t.status, t.err, {}, t.partOfTrash},
                                 p.folder_.pathOf(g->named).text());
            r.noTrash = t.status == Trash::Status::noTrash;
        }
        // The old item takes its name back, or the journal sends it to the Trash at the next start.
        r.how = exchangeNamesAt(p.folder_.fd(), p.name_, g->named) == 0 ? Replaced::How::failed
                                                                        : Replaced::How::kept;
        p.settled(r);
    }
}

} // namespace FileSteps
