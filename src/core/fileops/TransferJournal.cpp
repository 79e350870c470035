#include "core/fileops/TransferJournal.h"

#include "core/fileops/TrashMemory.h"
#include "core/fileops/CopyJob.h"
#include "core/localisation/Lang.h"
#include "platform/FileCopy.h"
#include "platform/Posix.h"
#include "platform/Trash.h"

#include <QDir>
#include <QHash>
#include <QMap>
#include <QSet>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <mutex>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace FileOps::detail::Journal {
namespace {

// A journal with nothing in flight starts afresh beyond this size.
constexpr off_t restartBytes = 64 << 10;
// More of them are not read at one start, but named.
constexpr int maxJournals = 256;
constexpr qsizetype tokenLength = 32;

QString folder() {
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (!base.startsWith(u'/')) base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/kestrin/transfers");
}

struct State {
    std::mutex lock;
    pid_t pid = 0;
    int fd = -1;
    QByteArray path;
    QByteArray token;
    bool named = false;          // the journal's name is on stable storage
    quint64 batches = 0;         // batch renames recorded so far
    QHash<QByteArray, int> open; // encoded path -> records about it not yet ended

    // One journal for the life of the process: made and removed once, not for every item.
    ~State() {
        if (fd >= 0 && pid == ::getpid() && open.isEmpty()) ::unlink(path.constData());
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

// This process's journal, made on first use; 0 or errno. The caller holds the lock.
int ready(State &s) {
    if (s.pid != ::getpid()) {
        // A forked child has a journal of its own.
        if (s.fd >= 0) ::close(s.fd);
        s.fd = -1;
        s.path.clear();
        s.token.clear();
        s.named = false;
        s.open.clear();
        s.pid = ::getpid();
    }
    if (s.token.isEmpty()) s.token = newToken();
    if (s.fd >= 0) return 0;
    const QString dir = folder();
    const auto dirBytes = Posix::encode(dir);
    const auto path = Posix::encode(dir + u'/' + QString::fromLatin1(s.token) + QStringLiteral(".log"));
    if (!dirBytes || !path) return EILSEQ;
    if (!QDir().mkpath(dir)) return ::mkdir(dirBytes->constData(), 0700) == 0 ? EIO : errno;
    ::chmod(dirBytes->constData(), 0700);
    const int fd =
        ::open(path->constData(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return errno;
    // Held while the process lives: a journal that can be locked is one of a transfer that ended.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int e = errno;
        ::close(fd);
        ::unlink(path->constData());
        return e;
    }
    s.fd = fd;
    s.path = *path;
    s.named = false;
    return 0;
}

// Appends whole lines, on stable storage when durable; 0 or errno. A failed append is cut off again,
// so that the next record does not continue a torn line. The caller holds the lock.
int append(State &s, const QByteArray &lines, bool durable) {
    if (const int e = ready(s)) return e;
    const off_t end = ::lseek(s.fd, 0, SEEK_END);
    int e = Posix::writeAll(s.fd, lines.constData(), lines.size());
    if (!e && durable && Posix::retry([&] { return ::fdatasync(s.fd); }) != 0) e = errno;
    if (!e && durable && !s.named) {
        e = syncFolder(folder());
        s.named = e == 0;
    }
    if (e && end >= 0) Posix::retry([&] { return ::ftruncate(s.fd, end); });
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

QByteArray keyOf(const QString &path) {
    const auto bytes = Posix::encode(path);
    return bytes ? bytes->toHex() : QByteArray();
}

// Appends a record and returns the token of the journal it went to; throws when it could not be
// written. Durable records are on stable storage when this returns (those of copies need not be: a
// lost one only leaves a copy in place after a crash of the machine).
QByteArray record(const QByteArray &key, const QByteArray &line, bool durable) {
    State &s = state();
    std::lock_guard guard(s.lock);
    if (key.isEmpty()) throw unwritable(EILSEQ);
    if (const int e = append(s, line, durable)) throw unwritable(e);
    ++s.open[key];
    return s.token;
}

QByteArray identity(const struct stat &st) {
    return QByteArray::number(quint64(st.st_dev)) + ' ' + QByteArray::number(quint64(st.st_ino));
}

} // namespace

QByteArray beginPart(const QString &path) {
    const QByteArray key = keyOf(path);
    return record(key, "part " + key + '\n', false);
}

void beginReplace(const QString &part, const QString &named, const struct stat &old) {
    const QByteArray key = keyOf(part), other = keyOf(named);
    if (other.isEmpty()) throw unwritable(EILSEQ);
    record(key, "replace " + key + ' ' + other + ' ' + identity(old) + '\n', true);
}

void beginAside(const QString &aside, const QString &source, const struct stat &st) {
    const QByteArray key = keyOf(aside), other = keyOf(source);
    if (other.isEmpty()) throw unwritable(EILSEQ);
    record(key, "aside " + key + ' ' + other + ' ' + identity(st) + '\n', true);
}

QByteArray beginRenames(const QList<Rename> &renames) {
    State &s = state();
    std::lock_guard guard(s.lock);
    // The items of one batch are settled together: a number that sets them apart from earlier batches.
    const QByteArray batch = QByteArray::number(++s.batches);
    QByteArray lines;
    QList<QByteArray> keys;
    for (const Rename &r : renames) {
        const QByteArray key = keyOf(r.hidden), from = keyOf(r.from), to = keyOf(r.to);
        if (key.isEmpty() || from.isEmpty() || to.isEmpty()) throw unwritable(EILSEQ);
        lines += "rename " + key + ' ' + from + ' ' + to + ' ' + identity(r.st) + ' ' + batch + '\n';
        keys << key;
    }
    if (keys.isEmpty()) return s.token;
    // One flush for the whole batch.
    if (const int e = append(s, lines, true)) throw unwritable(e);
    for (const QByteArray &key : keys)
        ++s.open[key];
    return s.token;
}

void end(const QString &path) {
    const QByteArray key = keyOf(path);
    State &s = state();
    std::lock_guard guard(s.lock);
    // Not written: a record whose item has gone from its name is settled by finding nothing there,
    // and hidden names are never used twice by one process.
    if (s.fd < 0 || !s.open.remove(key)) return;
    if (s.open.isEmpty() && ::lseek(s.fd, 0, SEEK_END) > restartBytes) ::ftruncate(s.fd, 0);
}

namespace {

struct Record {
    QByteArray kind, key;
    QString path, other;
    QString renamedTo; // a batch rename's new name
    quint64 batch = 0; // a batch rename's number in its journal
    dev_t dev = 0;
    ino_t ino = 0;
    bool ended = false;
};

std::optional<QString> pathOf(const QByteArray &hex) {
    static const QRegularExpression hexOnly(QStringLiteral("^(?:[0-9a-f]{2})+$"));
    if (hex.size() > 16384 || !hexOnly.match(QString::fromLatin1(hex)).hasMatch()) return std::nullopt;
    const QByteArray bytes = QByteArray::fromHex(hex);
    if (!bytes.startsWith('/') || bytes.contains('\0')) return std::nullopt;
    return Posix::decode(bytes);
}

// The records of one journal, taken a line at a time.
struct Parser {
    std::vector<Record> records;
    QHash<QByteArray, std::vector<size_t>> open;

    void line(const QByteArray &line) {
        const QList<QByteArray> f = line.split(' ');
        if (f.size() == 2 && f[0] == "end") {
            for (const size_t at : open.take(f[1]))
                records[at].ended = true;
            return;
        }
        const bool rename = f.size() == 7 && f[0] == "rename";
        const bool two = rename || (f.size() == 5 && (f[0] == "replace" || f[0] == "aside"));
        if (!two && !(f.size() == 2 && f[0] == "part")) return;
        Record r;
        r.kind = f[0];
        r.key = f[1];
        const auto path = pathOf(f[1]);
        if (!path) return;
        r.path = *path;
        if (two) {
            bool devOk = false, inoOk = false;
            const auto other = pathOf(f[2]);
            const qsizetype at = rename ? 4 : 3;
            r.dev = dev_t(f[at].toULongLong(&devOk));
            r.ino = ino_t(f[at + 1].toULongLong(&inoOk));
            if (!other || !devOk || !inoOk) return;
            r.other = *other;
            if (rename) {
                bool batchOk = false;
                const auto to = pathOf(f[3]);
                r.batch = f[6].toULongLong(&batchOk);
                if (!to || !batchOk) return;
                r.renamedTo = *to;
            }
        }
        open[r.key].push_back(records.size());
        records.push_back(r);
    }
};

// The longest line a record can have (three paths at their longest); longer ones are no records.
constexpr qsizetype maxLine = 64 << 10;

// Every complete line of the journal open at `fd`, however long the journal; 0 or errno. Only one
// line is held at a time beside the records.
int readRecords(int fd, Parser &parser) {
    QByteArray chunk(maxLine, Qt::Uninitialized);
    QByteArray pending;
    bool overlong = false;
    for (;;) {
        const ssize_t n = Posix::retry([&] { return ::read(fd, chunk.data(), size_t(chunk.size())); });
        if (n < 0) return errno;
        if (n == 0) return 0; // a torn last line is no record
        qsizetype from = 0;
        for (qsizetype nl; (nl = chunk.indexOf('\n', from)) >= 0 && nl < n; from = nl + 1) {
            pending.append(chunk.constData() + from, nl - from);
            if (!overlong && pending.size() <= maxLine) parser.line(pending);
            pending.clear();
            overlong = false;
        }
        if (!overlong) pending.append(chunk.constData() + from, n - from);
        if (pending.size() > maxLine) {
            overlong = true;
            pending.clear();
        }
    }
}

enum class Mark { ours, none, unsupported, other };

Mark markOf(const QString &path, const QByteArray &token) {
    const auto bytes = Posix::encode(path);
    if (!bytes) return Mark::other;
    char value[64];
    const ssize_t n = ::lgetxattr(bytes->constData(), FileCopy::partMark, value, sizeof value);
    if (n < 0) return errno == ENODATA ? Mark::none : errno == ENOTSUP ? Mark::unsupported : Mark::other;
    return QByteArray(value, n) == token ? Mark::ours : Mark::other;
}

void unmark(const QString &path) {
    if (const auto bytes = Posix::encode(path)) ::lremovexattr(bytes->constData(), FileCopy::partMark);
}

// A part by its name and owner; whether it is ours the marker tells.
bool partShaped(const QString &path, const struct stat &st) {
    static const QRegularExpression form(QStringLiteral("^\\.kestrin-part-[0-9]+-[0-9]+$"));
    return st.st_uid == ::geteuid() && form.match(Posix::lastComponent(path)).hasMatch();
}

bool sameItem(const struct stat &st, const Record &r) {
    return st.st_dev == r.dev && st.st_ino == r.ino;
}

enum class Outcome {
    settled, // done, or nothing of ours is there
    notMine, // the item under the name is not the one this record speaks of
    pending, // to be tried again later
};

// What `left` gets is what cannot be settled on its own (only when reporting).
Outcome settleRecord(const Record &r, const QByteArray &token, bool report, Leftovers &left) {
    struct stat st;
    if (!Posix::lstatPath(r.path, st)) return Outcome::settled; // nothing left under the name
    if (r.kind == "aside") {
        // The original of a move: its name back, or say where it is.
        if (!sameItem(st, r)) return Outcome::notMine;
        if (renameNoReplace(r.path, r.other) == 0) return Outcome::settled;
        if (!report) return Outcome::pending;
        left.setAside << r.path;
        return Outcome::settled;
    }
    if (r.kind == "rename") return Outcome::notMine; // settled with its batch
    const Mark mark = partShaped(r.path, st) ? markOf(r.path, token) : Mark::other;
    if (r.kind == "replace") {
        if (markOf(r.other, token) == Mark::ours) unmark(r.other); // the new item took the name
        struct stat named;
        if (mark == Mark::ours) {
            // The complete copy: it takes the name when the old item went, else it goes.
            if (!Posix::lstatPath(r.other, named) && renameNoReplace(r.path, r.other) == 0) {
                unmark(r.other);
                return Outcome::settled;
            }
            return removeTree(r.path) == 0 ? Outcome::settled : Outcome::pending;
        }
        if (!sameItem(st, r)) return Outcome::notMine;
        // The old item, exchanged for its replacement: on to the Trash as was meant.
        const Trash::Result trashed = Trash::moveToTrash(r.path, r.other);
        if (trashed.status != Trash::Status::moved) return Outcome::pending;
        TrashMemory::remember(r.other, trashed.inTrash);
        return Outcome::settled;
    }
    switch (mark) {
    case Mark::ours:
        return removeTree(r.path) == 0 ? Outcome::settled : Outcome::pending;
    case Mark::other:
        return Outcome::notMine;
    case Mark::none:
    case Mark::unsupported:
        if (!report) return Outcome::pending;
        left.parts << r.path;
        return Outcome::settled;
    }
    return Outcome::settled;
}

// One batch rename's items still under hidden names. When any item of the batch holds its new name, the
// batch had reached its second phase and every item takes its new name; else every item takes its old
// one, so one item's name is never given to another. A name that is held sends the item to its other
// name; only where items outside the batch hold both does it stay hidden. False while an item is left
// for the next start.
bool settleBatch(const std::vector<const Record *> &batch, const QByteArray &token, Leftovers &left) {
    QSet<QPair<quint64, quint64>> items;
    std::vector<const Record *> hidden;
    bool secondPhase = false;
    for (const Record *r : batch) {
        items.insert({quint64(r->dev), quint64(r->ino)});
        struct stat st;
        if (Posix::lstatPath(r->renamedTo, st) && sameItem(st, *r)) secondPhase = true;
        if (Posix::lstatPath(r->path, st) && sameItem(st, *r) && markOf(r->path, token) != Mark::other)
            hidden.push_back(r);
    }
    auto ofBatch = [&](const QString &path) {
        struct stat st;
        return Posix::lstatPath(path, st) && items.contains({quint64(st.st_dev), quint64(st.st_ino)});
    };
    bool all = true;
    struct stat st;
    for (const Record *r : hidden) {
        const QString &first = secondPhase ? r->renamedTo : r->other;
        const QString &second = secondPhase ? r->other : r->renamedTo;
        int e = renameNoReplace(r->path, first);
        if (e == EEXIST) e = renameNoReplace(r->path, second);
        if (e == 0) {
            unmark(Posix::lstatPath(first, st) && sameItem(st, *r) ? first : second);
            continue;
        }
        if (e != EEXIST) {
            all = false; // tried again at the next start
            continue;
        }
        if (!ofBatch(first) && !ofBatch(second)) {
            left.renamed << r->path; // both names are someone else's now
            continue;
        }
        // Another item of the batch holds a name this one needs: a free one beside its old name.
        const QString folder = Posix::parentOf(r->other);
        const QString free = uniqueURL(Posix::lastComponent(r->other), folder, true);
        if (renameNoReplace(r->path, free) == 0) {
            unmark(free);
            left.renamedAside << free;
        } else {
            all = false;
        }
    }
    return all;
}

// A journal that is not to be read: not ours, or not readable.
bool refused(int fd, struct stat &st) {
    return fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid();
}

void settleJournal(int dirFd, const QByteArray &name, const QString &partsIn, Leftovers &left) {
    const QString shownAs = folder() + u'/' + QString::fromLatin1(name);
    Fd fd(::openat(dirFd, name.constData(), O_RDWR | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st;
    if (fd.get() < 0 && errno == ENOENT) return; // settled meanwhile by another start
    if (refused(fd.get(), st)) {
        if (partsIn.isEmpty()) left.journals << shownAs;
        return;
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return; // its transfer still runs
    Parser parser;
    if (readRecords(fd.get(), parser) != 0) {
        if (partsIn.isEmpty()) left.journals << shownAs;
        return;
    }
    const QByteArray token = name.left(tokenLength);
    const std::vector<Record> &records = parser.records;

    // The records about one name, the latest first: it tells what the name holds now, and an
    // earlier one speaks only when the latest finds an item that is not its own.
    bool all = true;
    QList<QByteArray> keys;
    QHash<QByteArray, std::vector<const Record *>> byKey;
    QMap<quint64, std::vector<const Record *>> batches;
    for (auto r = records.crbegin(); r != records.crend(); ++r) {
        if (r->ended) continue;
        auto &about = byKey[r->key];
        if (about.empty()) {
            keys << r->key;
            // Hidden names of batch renames are never used again.
            if (r->kind == "rename") batches[r->batch].push_back(&*r);
        }
        about.push_back(&*r);
    }
    for (const QByteArray &key : keys) {
        const std::vector<const Record *> &about = byKey[key];
        // At the start of a transfer: only copies begun in its folder that are nothing else.
        if (!partsIn.isEmpty() &&
            (about.size() != 1 || about[0]->kind != "part" || Posix::parentOf(about[0]->path) != partsIn)) {
            all = false;
            continue;
        }
        if (about[0]->kind == "rename") continue;
        Outcome outcome = Outcome::notMine;
        for (const Record *r : about)
            if ((outcome = settleRecord(*r, token, partsIn.isEmpty(), left)) != Outcome::notMine) break;
        if (outcome == Outcome::pending) {
            all = false;
            continue;
        }
        if (!partsIn.isEmpty()) {
            const QByteArray line = "end " + key + '\n';
            Posix::writeAll(fd.get(), line.constData(), line.size());
        }
    }
    if (partsIn.isEmpty())
        for (const std::vector<const Record *> &batch : batches)
            all = settleBatch(batch, token, left) && all;
    if (all) ::unlinkat(dirFd, name.constData(), 0);
}

} // namespace

Leftovers settle(const QString &partsIn) {
    Leftovers left;
    const auto dirPath = Posix::encode(folder());
    if (!dirPath) return left;
    Fd dirFd(::open(dirPath->constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (dirFd.get() < 0) return left;
    std::vector<QByteArray> names;
    if (DIR *dir = ::fdopendir(::fcntl(dirFd.get(), F_DUPFD_CLOEXEC, 0))) {
        static const QRegularExpression form(QStringLiteral("^[0-9a-f]{32}\\.log$"));
        while (dirent *e = ::readdir(dir)) {
            if (!form.match(QString::fromLatin1(e->d_name)).hasMatch()) continue;
            if (names.size() < size_t(maxJournals))
                names.emplace_back(e->d_name);
            else if (partsIn.isEmpty() && left.journals.size() < maxJournals)
                left.journals << folder() + u'/' + QString::fromLatin1(e->d_name);
        }
        ::closedir(dir);
    }
    // This process's own journal is locked through another descriptor: passed over like any running one.
    for (const QByteArray &name : names)
        settleJournal(dirFd.get(), name, partsIn, left);
    return left;
}

} // namespace FileOps::detail::Journal
