#include "core/filesteps/TransferJournal.h"

#include "core/filesteps/JournalRecords.h"
#include "core/filesteps/MoveFinish.h"
#include "core/filesteps/PosixSteps.h"
#include "core/localisation/Lang.h"
#include "platform/Posix.h"
#include "platform/Xdg.h"
#include "platform/Trash.h"

#include <QDir>
#include <QHash>
#include <QRandomGenerator>
#include <QSet>

#include <cerrno>
#include <functional>
#include <mutex>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/file.h>
#include <unistd.h>

// The writer of this process's journal: one file in the state folder, appended to under a lock from any
// thread, flushed where a step must not start before its record is on stable storage.

namespace FileSteps::Journal {
namespace {

// A journal with nothing in flight starts afresh beyond this size.
// Each restart costs a flush of the parts' folder records again, so it is not made too often.
constexpr off_t restartBytes = 1 << 20;

QString folder() {
    return Xdg::stateHome() + QStringLiteral("/kestrin/transfers");
}

// A folder of the state, held as the settings' folder is: reached through no other account's link, ours
// (or the system's, where nobody else may write), and made 0700. Its O_PATH descriptor, or -1 with errno.
int holdOwn(const QByteArray &path, bool make) {
    const int fd = Posix::openOwnWay(path, make);
    if (fd < 0) return -1;
    struct stat st;
    const uid_t me = ::geteuid();
    int e = ::fstat(fd, &st) != 0 ? errno : 0;
    if (!e && st.st_uid != me && (st.st_uid != 0 || (st.st_mode & 022))) e = EPERM;
    if (!e && st.st_uid == me && (st.st_mode & 07777) != 0700) e = setModeOf(fd, 0700);
    if (e) {
        ::close(fd);
        errno = e;
        return -1;
    }
    return fd;
}

// 0 when every folder above the one held at `fd`, up to the top, is the user's or the system's, as it
// lies now (links already resolved): the owner of a folder on the way could move what lies below it.
int ownWayUp(int fd) {
    struct stat top {
    }, st{};
    if (::stat("/", &top) != 0) return errno;
    const uid_t me = ::geteuid();
    int at = ::openat(fd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
    for (int depth = 0; at >= 0 && depth < 4096; ++depth) {
        int e = ::fstat(at, &st) != 0 ? errno : 0;
        if (!e && st.st_uid != me && st.st_uid != 0) e = EPERM;
        if (e || (st.st_dev == top.st_dev && st.st_ino == top.st_ino)) {
            ::close(at);
            return e;
        }
        const int up = ::openat(at, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
        ::close(at);
        at = up;
    }
    if (at < 0) return errno;
    ::close(at);
    return ELOOP;
}

struct State {
    std::mutex lock;
    pid_t pid = 0;
    int fd = -1;
    int dir = -1; // the records' folder, held
    QByteArray name;
    QByteArray token;
    bool named = false;     // the journal's name is on stable storage
    off_t torn = -1;        // where the journal ends whole, while a failed append is not cut off
    off_t end = -1;         // its length where known: every append is ours
    bool unflushed = false; // lines appended since the last flush
    // Part records of a group, written with the group's flush in one append: none of its parts is made
    // before that flush, so a line lost here guards nothing that exists.
    QByteArray grouped;
    quint64 batches = 0;         // batch renames recorded so far
    quint64 parts = 0;           // part names given so far
    QSet<QByteArray> partsIn;    // folders whose record that parts may appear there is on stable storage
    QHash<QByteArray, int> open; // encoded path -> records about it not yet ended
    QList<QByteArray> roots;     // the lines of running jobs' roots
    QSet<dev_t> volumes;         // device numbers whose file system is named by its id (or gives none)

    // A journal with nothing in flight starts afresh: no part of ours is on the disk then. The roots of
    // a job still running go on record again, on the disk with the next part's folder.
    void restart() {
        end = -1;
        if (::ftruncate(fd, 0) != 0) return;
        partsIn.clear();
        volumes.clear();
        const QByteArray lines = roots.join();
        if (Posix::writeAll(fd, lines.constData(), lines.size()) != 0)
            torn = 0;
        else
            end = lines.size();
    }

    // One journal for the life of the process: made and removed once, not for every item.
    ~State() {
        if (fd >= 0 && pid == Posix::ownPid() && open.isEmpty()) ::unlinkat(dir, name.constData(), 0);
    }
};

State &state() {
    static State s;
    return s;
}

QByteArray newToken() {
    quint64 words[2];
    QRandomGenerator::system()->fillRange(words);
    return QByteArray(reinterpret_cast<const char *>(words), sizeof words).toHex();
}

// This process's token. The caller holds the lock.
const QByteArray &ownToken(State &s) {
    if (s.pid != Posix::ownPid()) {
        // A forked child has a journal of its own.
        if (s.fd >= 0) ::close(s.fd);
        if (s.dir >= 0) ::close(s.dir);
        s.fd = -1;
        s.dir = -1;
        s.name.clear();
        s.token.clear();
        s.named = false;
        s.torn = -1;
        s.end = -1;
        s.grouped.clear();
        s.batches = 0;
        s.parts = 0;
        s.partsIn.clear();
        s.open.clear();
        s.roots.clear();
        s.volumes.clear();
        s.pid = Posix::ownPid();
    }
    if (s.token.isEmpty()) s.token = newToken();
    return s.token;
}

// This process's journal, made on first use; 0 or errno. The caller holds the lock.
int ready(State &s) {
    ownToken(s);
    if (s.fd >= 0) return 0;
    const int dir = openRecordsFolder(true);
    if (dir < 0) return errno;
    const QByteArray name = s.token + ".log";
    const int fd = ::openat(dir, name.constData(),
                            O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600);
    // Held while the process lives: a journal that can be locked is one of a transfer that ended.
    if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int e = errno;
        if (fd >= 0) {
            ::close(fd);
            ::unlinkat(dir, name.constData(), 0);
        }
        ::close(dir);
        return e;
    }
    if (s.dir >= 0) ::close(s.dir);
    s.fd = fd;
    s.dir = dir;
    s.name = name;
    s.named = false;
    s.end = 0;
    return 0;
}

std::function<void(qint64)> &flushedHook() {
    static std::function<void(qint64)> hook;
    return hook;
}

// Appends whole lines, on stable storage when durable; 0 or errno. A failed append is cut off again,
// so that the next record does not continue a torn line; while it cannot be, nothing is appended.
// The caller holds the lock.
int append(State &s, const QByteArray &lines, bool durable) {
    if (const int e = ready(s)) return e;
    if (s.torn >= 0) {
        if (Posix::retry([&] { return ::ftruncate(s.fd, s.torn); }) != 0) return errno;
        s.torn = -1;
        s.end = -1;
    }
    const off_t end = s.end >= 0 ? s.end : ::lseek(s.fd, 0, SEEK_END);
    s.end = -1;
    int e = writeErrorForTests();
    if (!e) e = Posix::writeAll(s.fd, lines.constData(), lines.size());
    if (!e && durable) e = Posix::flushData(s.fd);
    if (!e) s.unflushed = !durable;
    if (!e && durable && !s.named) {
        e = syncFolder(s.dir, folder());
        s.named = e == 0;
    }
    if (e && end >= 0 && Posix::retry([&] { return ::ftruncate(s.fd, end); }) != 0)
        s.torn = end;
    else if (end >= 0)
        s.end = e ? end : end + off_t(lines.size());
    if (!e && durable && flushedHook()) [[unlikely]]
        flushedHook()(qint64(::lseek(s.fd, 0, SEEK_END)));
    return e;
}

// What stops a step whose record could not be written; nothing has been touched yet.
FileError unwritable(int e) {
    return FileError{0,
                     LF("Das Protokoll im Statusordner „%@“ lässt sich nicht schreiben (%@). Ohne dieses "
                        "Protokoll ändert Kestrin nichts.",
                        folder(), Posix::errorText(e)),
                     false};
}

QByteArray number(qint64 n) {
    return QByteArray::number(n);
}

// The line that names the file system of `dev` by its own id, for the start to find its items by their
// inode numbers when the volume comes back under another device number; empty where the journal names it
// already or it gives none. `fd` is of a folder on `dev` (or of the item).
QByteArray volumeLine(int fd, dev_t dev) {
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_dev != dev) return {};
    const QByteArray id = volumeId(fd);
    return id.isEmpty() ? QByteArray() : "volume " + QByteArray::number(quint64(dev)) + ' ' + id + '\n';
}

QByteArray volumeLine(const PathBytes &folder, dev_t dev) {
    {
        State &s = state();
        std::lock_guard guard(s.lock);
        if (s.pid == Posix::ownPid() && s.volumes.contains(dev)) return {};
    }
    const Fd fd(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    return volumeLine(fd.get(), dev);
}

// Appends the records about `keys` and returns the token of the journal they went to; throws when they
// could not be written. Durable records are on stable storage when this returns. `volumes`: the device
// numbers the lines name, their file systems named by id in them where they give one.
QByteArray record(const QList<QByteArray> &keys, const QByteArray &lines, bool durable,
                  const QList<dev_t> &volumes = {}) {
    State &s = state();
    std::lock_guard guard(s.lock);
    if (const int e = append(s, lines, durable)) throw unwritable(e);
    for (const QByteArray &key : keys)
        ++s.open[key];
    for (const dev_t dev : volumes)
        s.volumes.insert(dev);
    return s.token;
}

QByteArray record(const QByteArray &key, const QByteArray &line, bool durable,
                  const QList<dev_t> &volumes = {}) {
    return record(QList<QByteArray>{key}, line, durable, volumes);
}

// Ends the records about `key`; a journal with none in flight starts afresh once it has grown.
// The caller holds the lock.
void close(State &s, const QByteArray &key) {
    if (s.fd < 0 || !s.open.remove(key)) return;
    if (s.open.isEmpty() && (s.end >= 0 ? s.end : ::lseek(s.fd, 0, SEEK_END)) > restartBytes) s.restart();
}

QByteArray identity(const struct stat &st) {
    return QByteArray::number(quint64(st.st_dev)) + ' ' + QByteArray::number(quint64(st.st_ino));
}

// The clock the file systems stamp new items with: what is made after a record is never older.
QByteArray coarseNow() {
    timespec t{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &t);
    return QByteArray::number(qint64(t.tv_sec)) + ' ' + QByteArray::number(qint64(t.tv_nsec));
}

} // namespace

PathBytes partName(const PathBytes &folder, int fd) {
    State &s = state();
    std::lock_guard guard(s.lock);
    const QByteArray stem = ".kestrin-part-" + ownToken(s).left(8) + '-';
    for (;;) {
        const QByteArray name = stem + QByteArray::number(++s.parts);
        const PathBytes candidate = folder.child(name);
        struct stat st;
        if ((fd >= 0 ? ::fstatat(fd, name.constData(), &st, AT_SYMLINK_NOFOLLOW)
                     : ::lstat(candidate.c_str(), &st)) != 0)
            return candidate;
    }
}

namespace {

// The folder's device and inode, after a space: the start finds it by them if the user renames it.
QByteArray folderIdentity(const PathBytes &folder) {
    struct stat st;
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? ' ' + identity(st) : QByteArray();
}

QByteArray beginPart(const PathBytes &path, bool group, const PathBytes *copyOf = nullptr) {
    const QByteArray key = keyOf(path), in = keyOf(path.parent());
    const QByteArray now = coarseNow(),
                     line = "part " + key + ' ' + now + (copyOf ? ' ' + keyOf(*copyOf) : QByteArray()) + '\n';
    State &s = state();
    std::lock_guard guard(s.lock);
    // The part's own record need not reach the disk: the start finds the part by its name in a folder
    // on record, so only the first part in each folder waits for a flush (in a group, the group's).
    const bool first = !s.partsIn.contains(in);
    if (group && !first) {
        s.grouped += line;
    } else {
        const QByteArray lines =
            (group ? std::exchange(s.grouped, {}) : QByteArray()) +
            (first ? "parts " + in + ' ' + now + folderIdentity(path.parent()) + '\n' + line : line);
        if (const int e = append(s, lines, first && !group)) throw unwritable(e);
    }
    if (first) s.partsIn.insert(in);
    ++s.open[key];
    return s.token;
}

} // namespace

QByteArray beginPart(const PathBytes &path, const PathBytes *copyOf) {
    return beginPart(path, false, copyOf);
}

QByteArray beginPartOfGroup(const PathBytes &path, const PathBytes *copyOf) {
    return beginPart(path, true, copyOf);
}

void flush() {
    State &s = state();
    std::lock_guard guard(s.lock);
    int e = ready(s);
    if (!e && !s.grouped.isEmpty()) e = append(s, std::exchange(s.grouped, {}), false);
    if (!e && !s.unflushed && s.named) return;
    if (!e && s.torn >= 0) e = EIO;
    if (!e) e = writeErrorForTests();
    if (!e) e = Posix::flushData(s.fd);
    if (!e && !s.named) {
        e = syncFolder(s.dir, folder());
        s.named = e == 0;
    }
    if (e) {
        // Which folders' lines reached the disk is unknown: each is recorded and flushed again.
        s.partsIn.clear();
        throw unwritable(e);
    }
    s.unflushed = false;
    if (flushedHook()) [[unlikely]]
        flushedHook()(qint64(::lseek(s.fd, 0, SEEK_END)));
}

void partMade(const PathBytes &path, int fd, qint64 most) {
    struct stat st;
    struct statx sx {};
    if (::fstat(fd, &st) != 0) return;
    const bool born = ::statx(fd, "", AT_EMPTY_PATH, STATX_BTIME, &sx) == 0 && (sx.stx_mask & STATX_BTIME);
    // The part's record again, with the identity of what was made.
    const QByteArray key = keyOf(path);
    const QByteArray volume = volumeLine(fd, st.st_dev);
    const QByteArray line = "part " + key + ' ' + coarseNow() + ' ' + identity(st) + ' ' + number(most) +
                            ' ' + number(born ? sx.stx_btime.tv_sec : 0) + ' ' +
                            number(born ? sx.stx_btime.tv_nsec : 0) + '\n';
    State &s = state();
    std::lock_guard guard(s.lock);
    if (append(s, (s.volumes.contains(st.st_dev) ? QByteArray() : volume) + line, false) == 0)
        s.volumes.insert(st.st_dev);
}

Roots::Roots(const QStringList &roots) {
    QByteArray line = "roots";
    for (const QString &root : roots) {
        const auto bytes = PathBytes::of(root);
        if (!bytes) throw unwritable(EILSEQ);
        line += ' ' + keyOf(*bytes);
    }
    line += '\n';
    State &s = state();
    std::lock_guard guard(s.lock);
    if (const int e = append(s, line, true)) throw unwritable(e);
    s.roots << line;
    line_ = line;
}

Roots::~Roots() {
    State &s = state();
    std::lock_guard guard(s.lock);
    s.roots.removeOne(line_);
}

namespace {

void beginReplace(const PathBytes &part, const PathBytes &named, const struct stat &old, bool durable) {
    const QByteArray key = keyOf(part);
    record(key,
           volumeLine(named.parent(), old.st_dev) + "replace " + key + ' ' + keyOf(named) + ' ' +
               identity(old) + '\n',
           durable, {old.st_dev});
}

} // namespace

void beginReplace(const PathBytes &part, const PathBytes &named, const struct stat &old) {
    beginReplace(part, named, old, true);
}

void beginReplaceOfGroup(const PathBytes &part, const PathBytes &named, const struct stat &old) {
    beginReplace(part, named, old, false);
}

void beginAside(const PathBytes &aside, const PathBytes &source, const struct stat &st) {
    const QByteArray key = keyOf(aside);
    record(key,
           volumeLine(source.parent(), st.st_dev) + "aside " + key + ' ' + keyOf(source) + ' ' +
               identity(st) + '\n',
           true, {st.st_dev});
}

RenameBatch newRenameBatch() {
    State &s = state();
    std::lock_guard guard(s.lock);
    // The items of one batch are settled together: a number that sets them apart from earlier batches.
    const QByteArray &token = ownToken(s);
    return RenameBatch{QString::fromLatin1(token.left(8)), ++s.batches};
}

QString RenameBatch::hiddenName(qsizetype index) const {
    return QStringLiteral(".dravendel-%1-%2-%3").arg(token).arg(number).arg(index);
}

QByteArray beginRenames(const RenameBatch &of, const QList<Rename> &renames) {
    {
        State &s = state();
        std::lock_guard guard(s.lock);
        // A forked child numbers its own batches afresh.
        if (s.pid != Posix::ownPid() || QString::fromLatin1(s.token.left(8)) != of.token)
            throw unwritable(ESTALE);
    }
    const QByteArray batch = QByteArray::number(of.number);
    QByteArray lines;
    QList<QByteArray> keys;
    QList<dev_t> volumes;
    for (const Rename &r : renames) {
        const QByteArray key = keyOf(r.hidden);
        if (!volumes.contains(r.st.st_dev)) {
            lines += volumeLine(PathBytes(r.from).parent(), r.st.st_dev);
            volumes << r.st.st_dev;
        }
        lines += "rename " + key + ' ' + keyOf(r.from) + ' ' + keyOf(r.to) + ' ' + identity(r.st) + ' ' +
                 batch + '\n';
        keys << key;
    }
    // One flush for the whole batch.
    return record(keys, lines, !keys.isEmpty(), volumes);
}

void endBatch(const QList<Rename> &renames) {
    State &s = state();
    std::lock_guard guard(s.lock);
    // Never after a torn line, which it would continue.
    if (s.fd < 0 || s.pid != Posix::ownPid() || s.torn >= 0) return;
    QByteArray lines;
    for (const Rename &r : renames)
        if (const QByteArray key = keyOf(r.hidden); !s.open.contains(key)) lines += "end " + key + '\n';
    s.end = -1;
    if (!lines.isEmpty()) Posix::writeAll(s.fd, lines.constData(), lines.size());
}

void beginPlace(const PathBytes &part, const PathBytes &to, const struct stat &copy) {
    const QByteArray key = keyOf(part);
    record(key,
           volumeLine(part.parent(), copy.st_dev) + "placed " + key + ' ' + keyOf(to) + ' ' + identity(copy) +
               '\n',
           false, {copy.st_dev});
}

void beginMove(const PathBytes &part, const PathBytes &to, const PathBytes &source, const struct stat &st,
               const struct stat &copy) {
    const QByteArray key = keyOf(part);
    const QByteArray volumes =
        volumeLine(part.parent(), copy.st_dev) +
        (st.st_dev == copy.st_dev ? QByteArray() : volumeLine(source.parent(), st.st_dev));
    record(key,
           volumes + "moved " + key + ' ' + keyOf(to) + ' ' + keyOf(source) + ' ' + identity(copy) + ' ' +
               identity(st) + ' ' + number(st.st_size) + ' ' + number(st.st_mtim.tv_sec) + ' ' +
               number(st.st_mtim.tv_nsec) + ' ' + number(st.st_ctim.tv_sec) + ' ' +
               number(st.st_ctim.tv_nsec) + '\n',
           true, {copy.st_dev, st.st_dev});
}

void end(const PathBytes &path) {
    const QByteArray key = keyOf(path);
    State &s = state();
    std::lock_guard guard(s.lock);
    // Not written: a record whose item has gone from its name is settled by finding nothing there,
    // and hidden names are never used twice by one process.
    close(s, key);
}

void endMove(const PathBytes &part) {
    const QByteArray key = keyOf(part);
    State &s = state();
    std::lock_guard guard(s.lock);
    if (s.fd < 0 || !s.open.contains(key)) return;
    // A move's record would speak again whatever became of its part: it is ended in the journal too.
    const QByteArray line = "end " + key + '\n';
    s.end = -1;
    Posix::writeAll(s.fd, line.constData(), line.size());
    close(s, key);
}

void Scope::handTo(Unflushed &later, const QString &folder) {
    if (path_) later.add(folder, *path_);
    path_.reset();
}

void Unflushed::add(const QString &folder, const PathBytes &path) {
    touched(folder);
    paths_ << path;
}

void Unflushed::touched(const QString &folder) {
    if (!folder.isEmpty() && !seen_.contains(folder)) {
        seen_.insert(folder);
        folders_ << folder;
    }
}

int Unflushed::end(QString *failed) {
    if (const int e = syncFolders(folders_, failed)) return e;
    for (const PathBytes &path : std::as_const(paths_))
        Journal::end(path);
    folders_.clear();
    seen_.clear();
    paths_.clear();
    return 0;
}

QString notFlushedText(const QString &folder, int e) {
    return LF("Die Änderungen in „%@“ sind nicht sicher auf dem Laufwerk gespeichert (%@). Kestrin prüft "
              "sie beim nächsten Start.",
              folder, Posix::errorText(e));
}

void setFlushedHookForTests(std::function<void(qint64)> hook) {
    flushedHook() = std::move(hook);
}

QString recordsFolder() {
    return folder();
}

int openRecordsFolder(bool make) {
    const auto app = Posix::encode(Xdg::stateHome() + QStringLiteral("/kestrin"));
    if (!app) {
        errno = EILSEQ;
        return -1;
    }
    // The app's folder too: whoever may write there could put another folder in place of the records'.
    int fd = holdOwn(*app, make);
    if (fd >= 0) {
        ::close(fd);
        fd = holdOwn(*app + "/transfers", make);
    }
    if (fd < 0) return -1;
    int e = ownWayUp(fd);
    const int dir = e ? -1 : ::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (!e && dir < 0) e = errno;
    ::close(fd);
    errno = e;
    return dir;
}

FileError notRecorded(int e) {
    return unwritable(e);
}

namespace {

// The move to the Trash that `move` makes, given the hook that puts each info file on record first:
// on stable storage, since the flush of the info file may carry the journal's new length to the disk
// without its bytes, and an info file whose record is lost can't be told from the user's.
template <typename Move> Trash::Result recordedTrash(const QString &path, Move move) {
    QList<QByteArray> keys;
    const Trash::Result r = move([&](const QByteArray &info, const QByteArray &entry, QByteArray &mark) {
        try {
            const QByteArray key = keyOf(info);
            // The mark proves the info file ours where the journal's lines about it are lost.
            mark = record(key, "info " + key + ' ' + keyOf(entry) + ' ' + coarseNow() + '\n', true);
            keys << key;
            reached(Step::toTrash, path.toUtf8());
            return true;
        } catch (const FileError &) {
            return false;
        }
    });
    // The info file is with its item now, or gone again.
    State &s = state();
    std::lock_guard guard(s.lock);
    for (const QByteArray &key : keys)
        close(s, key);
    return r;
}

} // namespace

QList<Trash::Result> trashAllRecorded(const QList<Trash::Item> &items) {
    QList<QByteArray> keys;
    const QList<Trash::Result> r = Trash::moveAllToTrash(
        items,
        [&](const QByteArray &info, const QByteArray &entry, QByteArray &mark) {
            try {
                const QByteArray key = keyOf(info);
                mark = record(key, "info " + key + ' ' + keyOf(entry) + ' ' + coarseNow() + '\n', false);
                keys << key;
                reached(Step::toTrash, entry);
                return true;
            } catch (const FileError &) {
                return false;
            }
        },
        [] {
            try {
                flush();
                return 0;
            } catch (const FileError &) {
                return EIO;
            }
        },
        carryToTrash);
    State &s = state();
    std::lock_guard guard(s.lock);
    for (const QByteArray &key : keys)
        close(s, key);
    return r;
}

Trash::Result trashRecorded(const QString &path, const QString &shownAs) {
    return recordedTrash(path, [&](const Trash::InfoHook &hook) {
        return Trash::moveToTrash(path, shownAs, hook, carryToTrash);
    });
}

Trash::Result trashRecorded(int dirFd, const QByteArray &name, const QString &path) {
    return recordedTrash(path, [&](const Trash::InfoHook &hook) {
        return Trash::moveToTrash(dirFd, name, path, hook, carryToTrash);
    });
}

} // namespace FileSteps::Journal
