#include "core/filesteps/PosixSteps.h"

#include "core/filesteps/HeldFolder.h"

#include "core/filesteps/TransferJournal.h"
#include "core/filesteps/TransferProgress.h"
#include "core/localisation/Lang.h"
#include "platform/FileCopy.h"
#include "platform/HeldTrash.h"
#include "platform/Posix.h"
#include "platform/Volumes.h"

#include <QMap>
#include <QSet>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace FileSteps {

namespace {

bool exists(const QString &path) {
    // A dangling link is an item too: its name is taken.
    struct stat st;
    return Posix::lstatPath(path, st);
}

qsizetype utf8Size(const QString &s) {
    return s.toUtf8().size();
}

// Drops whole characters (never half a surrogate pair) from the end of s.
void chopCharacter(QString &s) {
    if (s.size() >= 2 && s.back().isLowSurrogate() && s[s.size() - 2].isHighSurrogate())
        s.chop(2);
    else
        s.chop(1);
}

} // namespace

QString uniqueURL(const QString &name, const QString &folder, bool numbered) {
    const QString plain = Posix::childPath(folder, name);
    if (!exists(plain)) return plain;

    // A folder's name is whole, dots and all (as F2 takes it); the taken item tells the kind, since a copy
    // meets its own kind under its own name.
    struct stat taken;
    const bool isFolder = Posix::lstatPath(plain, taken) && S_ISDIR(taken.st_mode);
    const qsizetype dot = isFolder ? -1 : name.lastIndexOf(u'.');
    const bool hasExt = dot > 0 && dot < name.size() - 1;
    const QString stem = hasExt ? name.left(dot) : name;
    const QString ext = hasExt ? name.mid(dot + 1) : QString();

    long nameMax = -1;
    if (const auto f = Posix::encode(folder)) nameMax = ::pathconf(f->constData(), _PC_NAME_MAX);
    if (nameMax <= 0) nameMax = NAME_MAX;

    for (qint64 n = 1;; ++n) {
        QString suffix;
        if (numbered)
            suffix = u' ' + QString::number(n + 1);
        else if (n == 1)
            suffix = u' ' + L("Kopie");
        else
            suffix = u' ' + L("Kopie") + u' ' + QString::number(n);
        QString s = stem;
        QString e = ext;
        auto make = [&] { return e.isEmpty() ? s + suffix : s + suffix + u'.' + e; };
        // Too long for the file system with the suffix: shorten the stem, then the extension.
        while (utf8Size(make()) > nameMax && !s.isEmpty())
            chopCharacter(s);
        while (utf8Size(make()) > nameMax && !e.isEmpty())
            chopCharacter(e);
        const QString candidate = Posix::childPath(folder, make());
        if (!exists(candidate)) return candidate;
    }
}

void fail(int code) {
    throw FileError::fromErrno(code);
}

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

bool isMountPoint(int dirFd, const char *name, const struct stat &st, dev_t parentDev) {
    struct statx sx;
    if (::statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_BASIC_STATS, &sx) == 0 &&
        (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT))
        return sx.stx_attributes & STATX_ATTR_MOUNT_ROOT;
    return st.st_dev != parentDev;
}

Fd openParent(const PathBytes &path, QByteArray &name) {
    name = path.name();
    if (name.isEmpty() || name == "." || name == "..") fail(EINVAL);
    Fd fd(::open(path.parent().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0) fail(errno);
    return fd;
}

void Fd::reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

namespace {

// Whether `path` (canonical) or any folder on it, from the one ending at `from` down, is `folder`.
bool onPath(const QString &path, qsizetype from, const struct stat &folder) {
    auto is = [&](const QString &p) {
        struct stat st;
        return Posix::statPath(p, st) && sameInode(st, folder);
    };
    if (is(from == 0 ? QStringLiteral("/") : path.left(from))) return true;
    for (qsizetype at = path.indexOf(u'/', from + 1); at > 0; at = path.indexOf(u'/', at + 1))
        if (is(path.left(at))) return true;
    return is(path);
}

QString canonical(const QString &path) {
    const auto p = Posix::encode(path);
    if (!p) return path;
    char *real = ::realpath(p->constData(), nullptr);
    if (!real) return path;
    const QString out = QString::fromUtf8(real);
    ::free(real);
    return out;
}

// The place `path` shows, as a path inside its file system.
QString inFileSystem(const Volumes::Mount &m, const QString &path) {
    const QString rest = m.mountPoint == u"/" ? path : path.mid(m.mountPoint.size());
    return m.root == u"/" ? (rest.isEmpty() ? QStringLiteral("/") : rest)
                          : m.root + (rest == u"/" ? QString() : rest);
}

} // namespace

bool liesInside(const QString &to, const QString &source, const struct stat &folder) {
    const QString realTo = canonical(to);
    if (onPath(realTo, 0, folder)) return true;
    // A bind mount of a folder inside the source shows it elsewhere: look at the same place
    // through the mount that shows the source.
    const std::vector<Volumes::Mount> table = Volumes::mountTable();
    const QString realSource = canonical(source);
    const Volumes::Mount *mTo = Volumes::mountShowing(table, realTo);
    const Volumes::Mount *mSource = Volumes::mountShowing(table, realSource);
    if (!mTo || !mSource || mTo->device != mSource->device) return false;
    const QString fsTo = inFileSystem(*mTo, realTo);
    if (Posix::isAtOrBelow(fsTo, inFileSystem(*mSource, realSource))) return true;
    if (!Posix::isAtOrBelow(fsTo, mSource->root) && mSource->root != u"/") return false;
    const QString rest = mSource->root == u"/" ? fsTo : fsTo.mid(mSource->root.size());
    const QString seen = mSource->mountPoint == u"/" ? (rest.isEmpty() ? QStringLiteral("/") : rest)
                                                     : mSource->mountPoint + rest;
    return onPath(seen, mSource->mountPoint == u"/" ? 0 : mSource->mountPoint.size(), folder);
}

namespace {

StepHook &hook() {
    static StepHook h;
    return h;
}

} // namespace

void setStepHook(StepHook h) {
    hook() = std::move(h);
}

void reached(Step step, const QByteArray &path) {
    if (hook()) [[unlikely]] {
        // Copies run on several threads; the hooks of tests and benchmarks see one step at a time. A hook
        // may take steps itself (send an item to the Trash, say).
        static std::recursive_mutex one;
        std::lock_guard guard(one);
        hook()(step, Posix::shown(path));
    }
}

PathBytes hiddenName(const PathBytes &folder, const char *kind) {
    static std::atomic<unsigned> counter{0};
    const QByteArray stem = QByteArray(".kestrin-") + kind + '-' + QByteArray::number(::getpid()) + '-';
    for (;;) {
        const PathBytes candidate =
            folder.child(stem + QByteArray::number(counter.fetch_add(1, std::memory_order_relaxed)));
        struct stat st;
        if (::lstat(candidate.c_str(), &st) != 0) return candidate;
    }
}

void removeStaleParts(const QString &folder) {
    Journal::settle(folder);
}

namespace {

std::atomic<bool> exchangeOn{true};

} // namespace

void setExchangeForTests(bool on) {
    exchangeOn = on;
}

int exchangeNames(const PathBytes &a, const PathBytes &b) {
    return exchangeNamesAt(AT_FDCWD, a.bytes(), b.bytes());
}

int exchangeNamesAt(int dir, const QByteArray &a, const QByteArray &b) {
    if (!exchangeOn) return EINVAL;
    if (const int e = writeErrorForTests()) [[unlikely]]
        return e;
    return ::renameat2(dir, a.constData(), dir, b.constData(), RENAME_EXCHANGE) == 0 ? 0 : errno;
}

namespace {

// The folder at dirFd (AT_FDCWD: the folder of the path `name`) refused to give up its entry `name`, which
// lies at `rel`: it goes on record, with its owner and whether we may write it, unless one did before.
void noteRefusal(Refusal *refusal, int dirFd, const char *name, const QByteArray &rel) {
    if (!refusal || refusal->refused) return;
    refusal->refused = true;
    const qsizetype slash = rel.lastIndexOf('/');
    refusal->folder = slash < 0 ? QByteArray() : rel.left(slash);
    QByteArray parent(".");
    if (dirFd == AT_FDCWD) {
        const QByteArray path(name);
        const qsizetype at = path.lastIndexOf('/');
        parent = at < 0 ? QByteArray(".") : at == 0 ? QByteArray("/") : path.left(at);
    }
    struct stat st {};
    if (::fstatat(dirFd, parent.constData(), &st, 0) == 0) refusal->owner = st.st_uid;
    refusal->writable = ::faccessat(dirFd, parent.constData(), W_OK, AT_EACCESS) == 0;
}

// Never into another mounted file system or a bind mount: what is mounted inside stays, and so do the
// folders holding it (`mount` gets the first, relative to where the removal began).
int removeAt(int dirFd, const char *name, dev_t dev, QByteArray *mount, const QByteArray &rel,
             Refusal *refusal, int depth = 0) {
    const auto refused = [&](int e) {
        if (e == EACCES || e == EPERM) noteRefusal(refusal, dirFd, name, rel);
        return e;
    };
    const auto went = [&] {
        if (refusal) ++refusal->gone;
        return 0;
    };
    if (::unlinkat(dirFd, name, 0) == 0) return depth > 0 ? went() : 0;
    if (errno != EISDIR && errno != EPERM) return errno == ENOENT ? 0 : refused(errno);
    const int unlinkErr = errno;
    if (depth > maxDepth) return ELOOP;
    struct stat st;
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT ? 0 : errno;
    if (!S_ISDIR(st.st_mode)) return refused(unlinkErr);
    if (isMountPoint(dirFd, name, st, depth == 0 ? st.st_dev : dev)) {
        if (mount && mount->isEmpty()) *mount = rel;
        return EXDEV;
    }
    const int fd = ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && (errno == EACCES || errno == EPERM) && refusal && !refusal->refused) {
        // The folder itself keeps what is in it.
        const int e = errno;
        refusal->refused = refusal->unreadable = true;
        refusal->folder = rel;
        refusal->owner = st.st_uid;
        refusal->writable = ::faccessat(dirFd, name, W_OK, AT_EACCESS) == 0;
        return e;
    }
    if (fd < 0) return errno == ENOTDIR ? unlinkErr : errno;
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        const int e = errno;
        ::close(fd);
        return e;
    }
    std::vector<QByteArray> names;
    while (dirent *e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        names.emplace_back(e->d_name);
    }
    int first = 0;
    for (const QByteArray &n : names) {
        const int e =
            removeAt(::dirfd(dir), n.constData(), st.st_dev, mount, rel + '/' + n, refusal, depth + 1);
        // A mount met anywhere below is what the caller hears of.
        if (e && (!first || e == EXDEV)) first = e;
    }
    ::closedir(dir);
    if (::unlinkat(dirFd, name, AT_REMOVEDIR) == 0) {
        if (depth > 0) went();
    } else if (errno != ENOENT && !first) {
        first = refused(errno);
    }
    return first;
}

} // namespace

int removeTree(const PathBytes &path, QByteArray *mount, Refusal *refusal) {
    return removeAt(AT_FDCWD, path.c_str(), 0, mount, path.name(), refusal);
}

int removeTreeAt(int dirFd, const QByteArray &name, QByteArray *mount, Refusal *refusal) {
    return removeAt(dirFd, name.constData(), 0, mount, name, refusal);
}

int removeEmptyFolder(const PathBytes &path) {
    const int parent = ::open(path.parent().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0) return errno;
    const int e = ::unlinkat(parent, path.name().constData(), AT_REMOVEDIR) == 0 ? 0 : errno;
    ::close(parent);
    return e;
}

int removeSeen(const HeldFolder &folder, const QByteArray &name, const struct stat &seen, QByteArray *mount,
               Refusal *refusal) {
    struct stat st;
    if (::fstatat(folder.fd(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) return errno;
    if (!sameInode(st, seen)) return ESTALE;
    const int dir = folder.openReadable();
    if (dir < 0) return errno;
    const int e = removeTreeAt(dir, name, mount, refusal);
    ::close(dir);
    return e;
}

int removeFromTrash(const Trash::Held &trash, const QByteArray &name, QByteArray *mount, Refusal *refusal) {
    if (name.isEmpty() || name.contains('/') || name.contains('\0') || name == "." || name == "..")
        return EINVAL;
    struct stat st;
    if (::fstatat(trash.files(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) return errno;
    if (const int e = removeTreeAt(trash.files(), name, mount, refusal)) return e;
    if (trash.info() >= 0) ::unlinkat(trash.info(), (name + ".trashinfo").constData(), 0);
    return 0;
}

int setModeOf(int fd, mode_t mode) {
    struct stat st;
    if (::fstat(fd, &st) != 0) return errno;
    if (S_ISLNK(st.st_mode)) return ELOOP;
    // fchmod refuses an O_PATH descriptor; its /proc name reaches the very item it holds.
    const QByteArray pinned = "/proc/self/fd/" + QByteArray::number(fd);
    if (::chmod(pinned.constData(), mode) == 0) return 0;
    const int e = errno;
    return e == ENOENT && ::access("/proc/self/fd", F_OK) != 0 ? ENOSYS : e;
}

int renameNoReplaceAt(int fromDir, const QByteArray &from, int toDir, const QByteArray &to) {
    const char *a = from.constData(), *b = to.constData();
    if (const int e = writeErrorForTests()) [[unlikely]]
        return e;
    // Where the volume refuses the flag, still never over another item.
    return Posix::renameNoReplace(fromDir, a, toDir, b);
}

int renameNoReplace(const PathBytes &from, const PathBytes &to) {
    // Within a Trash's files folder (a rename the next start settles), the held step takes the entry's
    // record along.
    if (const PathBytes folder = from.parent(); folder.bytes().endsWith("/files") &&
                                                folder.bytes() == to.parent().bytes() &&
                                                !Trash::infoFileForRaw(from.bytes()).isEmpty()) {
        try {
            const HeldFolder held(folder);
            return renameNoReplace(held, from.name(), held, to.name());
        } catch (const FileError &e) {
            return e.code ? e.code : EIO;
        }
    }
    return renameNoReplaceAt(AT_FDCWD, from.bytes(), AT_FDCWD, to.bytes());
}

namespace {

struct SyncFault {
    std::mutex lock;
    QString folder;
    std::atomic<int> error{0};
    std::atomic<int> writes{0};
};

SyncFault &syncFault() {
    static SyncFault f;
    return f;
}

// The error a test puts in for flushes of `folder`; 0 when there is none.
int faultFor(const QString &folder) {
    SyncFault &f = syncFault();
    if (f.error) [[unlikely]] {
        std::lock_guard guard(f.lock);
        if (f.error && f.folder == folder) return f.error;
    }
    return 0;
}

} // namespace

void setFolderSyncErrorForTests(const QString &folder, int error) {
    SyncFault &f = syncFault();
    std::lock_guard guard(f.lock);
    f.folder = folder;
    f.error = error;
}

void setDiskErrorForTests(int error, bool writesToo) {
    syncFault().writes = writesToo ? error : 0;
    Posix::setFlushErrorForTests(error);
}

int writeErrorForTests() {
    return syncFault().writes.load(std::memory_order_relaxed);
}

int failedFlushesForTests() {
    return Posix::failedFlushesForTests();
}

int syncFolder(const QString &folder) {
    if (const int e = faultFor(folder)) return e;
    const auto p = Posix::encode(folder);
    if (!p) return EILSEQ;
    const int fd = ::open(p->constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    int e = Posix::flushFile(fd);
    if (e == EINVAL || e == EROFS) e = 0;
    ::close(fd);
    return e;
}

int syncFolder(int fd, const QString &folder) {
    if (const int e = faultFor(folder)) return e;
    const int e = Posix::flushFile(fd);
    return e == EINVAL || e == EROFS ? 0 : e;
}

int syncFolders(const QStringList &folders, QString *failed) {
    // Beyond this many folders on one file system, one syncfs is cheaper than an fsync of each.
    constexpr qsizetype fewFolders = 4;
    QMap<dev_t, QStringList> byDevice;
    for (const QString &folder : QSet<QString>(folders.cbegin(), folders.cend())) {
        struct stat st;
        if (Posix::statPath(folder, st)) byDevice[st.st_dev] << folder;
    }
    for (const QStringList &same : std::as_const(byDevice)) {
        int e = 0;
        QString at = same.first();
        for (const QString &folder : same)
            if (!e && (e = faultFor(folder))) at = folder;
        if (!e && same.size() <= fewFolders) {
            for (const QString &folder : same)
                if ((e = syncFolder(folder))) {
                    at = folder;
                    break;
                }
        } else if (!e) {
            const auto p = Posix::encode(at);
            const int fd = p ? ::open(p->constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
            if (fd < 0) e = p ? errno : EILSEQ;
            if (fd >= 0) e = Posix::flushFileSystem(fd);
            if (fd >= 0) ::close(fd);
        }
        if (e) {
            if (failed) *failed = at;
            return e;
        }
    }
    return 0;
}

int flushVolumes(const QStringList &folders, TransferProgress &progress, QString *failed) {
    return JobVolumes().flush(folders, progress, failed);
}

JobVolumes::~JobVolumes() {
    for (const Opened &o : std::as_const(opened_))
        ::close(o.fd);
}

void JobVolumes::open(const HeldFolder &folder) {
    const int fd = folder.openReadable();
    if (fd >= 0) opened_ << Opened{folder.path().text(), folder.identity().st_dev, fd};
}

int JobVolumes::flush(const QStringList &folders, TransferProgress &progress, QString *failed) {
    QSet<dev_t> flushed;
    int first = 0;
    for (const QString &folder : folders) {
        struct stat st;
        if (!Posix::statPath(folder, st) || flushed.contains(st.st_dev)) continue;
        flushed.insert(st.st_dev);
        progress.setItem(progress.snapshot().index, L("Wird auf das Laufwerk geschrieben …"));
        const auto p = Posix::encode(folder);
        if (p) reached(Step::volumeFlush, *p);
        int e = faultFor(folder);
        // Folders open since the start hear of every write-back error on their volume since then.
        for (const Opened &o : std::as_const(opened_))
            if (!e && o.dev == st.st_dev) {
                e = Posix::flushFile(o.fd);
                if (e == EINVAL || e == EROFS) e = 0;
            }
        if (!e) {
            const auto since = std::find_if(opened_.cbegin(), opened_.cend(),
                                            [&](const Opened &o) { return o.dev == st.st_dev; });
            Fd fresh(since != opened_.cend() || !p
                         ? -1
                         : ::open(p->constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            const int fd = since != opened_.cend() ? since->fd : fresh.get();
            // It reports the write-back errors of every file the job wrote there.
            e = fd >= 0 ? Posix::flushFileSystem(fd) : p ? errno : EILSEQ;
        }
        if (e && !first) {
            first = e;
            if (failed) *failed = folder;
        }
    }
    return first;
}

int JobVolumes::flushVolume(const HeldFolder &folder, QString *failed, int turn) {
    QList<int> on;
    for (const Opened &o : std::as_const(opened_))
        if (o.dev == folder.identity().st_dev) on << o.fd;
    Fd fresh(on.isEmpty() ? folder.openReadable() : -1);
    const int fd = on.isEmpty() ? fresh.get() : on[turn % std::min<qsizetype>(2, on.size())];
    const int e = fd >= 0 ? Posix::flushFileSystem(fd) : errno;
    if (!e) reached(Step::flushed, folder.path().bytes() + "/.");
    if (e && failed) *failed = folder.path().text();
    return e;
}

QString notSavedText(const QString &folder, int e) {
    return LF("Was nach „%@“ übertragen wurde, ist nicht sicher auf dem Laufwerk gespeichert (%@). Es kann "
              "dort unvollständig sein.",
              folder, Posix::errorText(e));
}

} // namespace FileSteps

namespace FileSteps {

namespace {

// Up from `from` through "..", looking for `target`; bounded, and ends at the file system's root.
bool above(const QByteArray &from, const struct stat &target) {
    Fd fd(::open(from.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    for (int i = 0; fd.get() >= 0 && i < 4096; ++i) {
        struct stat st;
        if (::fstat(fd.get(), &st) != 0) break;
        if (sameInode(st, target)) return true;
        Fd up(::openat(fd.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
        struct stat su;
        if (up.get() < 0 || ::fstat(up.get(), &su) != 0 || sameInode(su, st)) break;
        fd = std::move(up);
    }
    return false;
}

} // namespace

FileError trashError(const Trash::Result &trashed, const QString &path) {
    if (trashed.partOfTrash)
        return FileError{trashed.err, partOfTrashText(Posix::lastComponent(path)), false};
    return trashed.status == Trash::Status::noTrash
               ? FileError{EOPNOTSUPP, L("Auf diesem Laufwerk gibt es keinen Papierkorb."), false}
               : FileError::fromErrno(trashed.err);
}

bool foldersNested(const QString &a, const QString &b) {
    const std::optional<QByteArray> pa = Posix::encode(a), pb = Posix::encode(b);
    if (!pa || !pb) return false;
    struct stat sa, sb;
    if (::stat(pa->constData(), &sa) != 0 || ::stat(pb->constData(), &sb) != 0) return false;
    return above(*pa, sb) || above(*pb, sa) || liesInside(b, a, sa) || liesInside(a, b, sb);
}

Replaced replaceWithPart(const QString &part, const QString &named, const struct stat &old,
                         const HeldFolder *in, bool recorded) {
    Replaced out;
    // Each name once: in the held folder, or the whole path.
    const QByteArray partAt = in ? PathBytes(part).name() : PathBytes(part).bytes();
    const QByteArray namedAt = in ? PathBytes(named).name() : PathBytes(named).bytes();
    const int dir = in ? in->fd() : AT_FDCWD;
    const auto moved = [&] { return in && !in->stillAtPath(); };
    try {
        if (in) in->check();
        if (!recorded) Journal::beginReplace(part, named, old);
    } catch (const FileError &e) {
        out.error = e; // both stay where they are
        return out;
    }
    const int e = exchangeNamesAt(dir, partAt, namedAt);
    if (e == ENOENT) {
        out.how = Replaced::How::nameFree;
        return out;
    }
    if (e == 0) {
        // The old item lies under the hidden name now.
        reached(Step::oldItemOut, PathBytes(named).bytes());
        // Only while the path still leads to the held folder; the Trash takes it from that folder.
        const bool gone = moved();
        const Trash::Result trashed = gone ? Trash::Result{}
                                      : in ? Journal::trashRecorded(dir, partAt, named)
                                           : Journal::trashRecorded(part, named);
        if (trashed.status == Trash::Status::moved) {
            out.how = Replaced::How::done;
            out.inTrash = trashed.inTrash;
            return out;
        }
        out.error = gone ? in->refusal() : trashError(trashed, named);
        out.noTrash = trashed.status == Trash::Status::noTrash;
        // The old item takes its name back, or the journal sends it to the Trash at the next start.
        out.how = exchangeNamesAt(dir, partAt, namedAt) == 0 ? Replaced::How::failed : Replaced::How::kept;
        return out;
    }
    // EXDEV between two names of one folder: the drive will not rename the old item (a folder of
    // overlayfs's lower layer); the Trash takes it by a copy then.
    if (e != EINVAL && e != ENOTSUP && e != EOPNOTSUPP && e != ENOSYS && e != EXDEV) {
        out.error = FileError::fromErrno(e);
        return out;
    }
    // No exchange here: the old item goes first; after a crash in between, the journal gives the name
    // to the part.
    if (moved()) {
        out.error = in->refusal();
        return out;
    }
    const Trash::Result trashed =
        in ? Journal::trashRecorded(dir, namedAt, named) : Journal::trashRecorded(named);
    if (trashed.status != Trash::Status::moved) {
        out.error = trashError(trashed, named);
        out.noTrash = trashed.status == Trash::Status::noTrash;
        return out;
    }
    reached(Step::oldItemOut, PathBytes(named).bytes());
    if (const int r = renameNoReplaceAt(dir, partAt, dir, namedAt)) {
        // Something took the name meanwhile: the old item comes back where it was.
        if (renameNoReplaceAt(AT_FDCWD, PathBytes(trashed.inTrash).bytes(), dir, namedAt) == 0) {
            if (const QString info = Trash::infoFileFor(trashed.inTrash); !info.isEmpty()) removeTree(info);
        } else {
            // It stays in the Trash; the part stays on record, to take the name at the next start if it
            // is free then.
            out.inTrash = trashed.inTrash;
            out.how = Replaced::How::kept;
        }
        out.error = FileError::fromErrno(r);
        return out;
    }
    out.how = Replaced::How::done;
    out.inTrash = trashed.inTrash;
    return out;
}

namespace {

struct PieceTrash {
    const QStringList &mountPoints; // canonical, each strictly below the item
    Trashed &out;
    QString top; // the item's folder, for relative names

    void refuse(int e) {
        if (out.status != Trash::Status::moved) return;
        out.status = Trash::Status::failed;
        out.err = e;
    }

    bool holdsMount(const QString &real) const {
        for (const QString &m : mountPoints)
            if (Posix::isAtOrBelow(m, real)) return true;
        return false;
    }
    // The children of the folder open at fd, shown at `path` (real path `real`).
    void children(int fd, const QString &path, const QString &real, dev_t dev, int depth) {
        std::vector<QByteArray> names;
        try {
            names = listNames(fd);
        } catch (const FileError &) {
            return;
        }
        for (const QByteArray &n : names) {
            // A name that is no text stays: as text it would name another item.
            const auto name = Posix::decode(n);
            if (!name) {
                refuse(EILSEQ);
                continue;
            }
            one(fd, n, Posix::childPath(path, *name), Posix::childPath(real, *name), dev, depth + 1);
        }
    }
    // Each piece relative to the folder it was listed in: never again by its path, which a link may
    // have taken meanwhile.
    void one(int dirFd, const QByteArray &name, const QString &path, const QString &real, dev_t parentDev,
             int depth) {
        struct stat st;
        const bool seen = ::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
        if (mountPoints.contains(real) ||
            (seen && S_ISDIR(st.st_mode) && isMountPoint(dirFd, name.constData(), st, parentDev))) {
            if (out.mounts++ == 0) out.firstMount = path.mid(top.size() + 1);
            return;
        }
        if (!holdsMount(real) || !seen || !S_ISDIR(st.st_mode)) {
            const Trash::Result r = Journal::trashRecorded(dirFd, name, path);
            if (r.status == Trash::Status::moved)
                out.moved << qMakePair(path, r.inTrash);
            else if (out.status == Trash::Status::moved) {
                out.status = r.status;
                out.err = r.err;
            }
            return;
        }
        if (depth >= maxDepth) return;
        Fd fd(::openat(dirFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (fd.get() >= 0) children(fd.get(), path, real, st.st_dev, depth);
    }
};

// The real path of `name` in the folder open at dirFd, as the system shows that folder.
QString realPathOf(int dirFd, const QByteArray &name) {
    char buf[PATH_MAX];
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(dirFd);
    const ssize_t n = ::readlink(link.constData(), buf, sizeof buf);
    if (n <= 0 || size_t(n) >= sizeof buf || buf[0] != '/') return {};
    const auto folder = Posix::decode(buf, n);
    const auto child = Posix::decode(name);
    return folder && child ? Posix::childPath(*folder, *child) : QString();
}

} // namespace

Trashed trashItem(int dirFd, const QByteArray &name, const QString &path) {
    Trashed out;
    struct stat st;
    QStringList inside;
    const QString real =
        ::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)
            ? realPathOf(dirFd, name)
            : QString();
    if (!real.isEmpty())
        for (const Volumes::Mount &m : Volumes::mountTable())
            if (m.mountPoint != real && Posix::isAtOrBelow(m.mountPoint, real)) inside << m.mountPoint;
    if (inside.isEmpty()) {
        const Trash::Result r = Journal::trashRecorded(dirFd, name, path);
        out.status = r.status;
        out.err = r.err;
        out.partOfTrash = r.partOfTrash;
        if (r.status == Trash::Status::moved) out.moved << qMakePair(path, r.inTrash);
        return out;
    }
    out.status = Trash::Status::moved;
    PieceTrash pieces{inside, out, Posix::parentOf(path)};
    Fd fd(::openat(dirFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() >= 0) pieces.children(fd.get(), path, real, st.st_dev, 0);
    return out;
}

void trashAll(QList<TrashAt> &items) {
    QList<Trash::Item> group;
    QList<TrashAt *> of;
    for (TrashAt &item : items) {
        struct stat st;
        if (::fstatat(item.folder->fd(), item.name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISDIR(st.st_mode)) {
            // It may hold mounts, which stay.
            item.result = trashItem(*item.folder, item.name, item.path);
            continue;
        }
        group << Trash::Item{item.folder->fd(), item.name, item.path};
        of << &item;
    }
    if (group.isEmpty()) return;
    const QList<Trash::Result> done = Journal::trashAllRecorded(group);
    for (qsizetype i = 0; i < of.size(); ++i) {
        Trashed &t = of[i]->result;
        t.status = done[i].status;
        t.err = done[i].err;
        t.partOfTrash = done[i].partOfTrash;
        if (done[i].status == Trash::Status::moved) t.moved << qMakePair(of[i]->path, done[i].inTrash);
    }
}

QString mountsStayedText(const Trashed &t, const QString &name) {
    // clang-format off
    if (t.mounts == 1)
        return LF("„%@“ enthält den eingehängten Ordner „%@“. Er bleibt mit seinem Inhalt am alten Ort, alles andere liegt im Papierkorb.",
                  name, t.firstMount);
    if (t.mounts > 1)
        return LF("„%@“ enthält %d eingehängte Ordner, darunter „%@“. Sie bleiben mit ihrem Inhalt am alten Ort, alles andere liegt im Papierkorb.",
                  name, int(t.mounts), t.firstMount);
    // clang-format on
    return {};
}

QString partOfTrashText(const QString &name) {
    return LF("„%@“ gehört zum Papierkorb und lässt sich nicht in den Papierkorb legen.", name);
}

} // namespace FileSteps
