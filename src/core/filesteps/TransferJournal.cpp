#include "core/filesteps/TransferJournal.h"

#include "core/filesteps/TrashMemory.h"
#include "core/filesteps/CopyJob.h"
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

#include <algorithm>
#include <cerrno>
#include <functional>
#include <mutex>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace FileSteps::Journal {
namespace {

// A journal with nothing in flight starts afresh beyond this size.
// Each restart costs a flush of the parts' folder records again, so it is not made too often.
constexpr off_t restartBytes = 1 << 20;
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
    off_t torn = -1;             // where the journal ends whole, while a failed append is not cut off
    quint64 batches = 0;         // batch renames recorded so far
    quint64 parts = 0;           // part names given so far
    QSet<QByteArray> partsIn;    // folders whose record that parts may appear there is on stable storage
    QHash<QByteArray, int> open; // encoded path -> records about it not yet ended

    // A journal with nothing in flight starts afresh: no part of ours is on the disk then.
    void restart() {
        if (::ftruncate(fd, 0) == 0) partsIn.clear();
    }

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

// This process's token. The caller holds the lock.
const QByteArray &ownToken(State &s) {
    if (s.pid != ::getpid()) {
        // A forked child has a journal of its own.
        if (s.fd >= 0) ::close(s.fd);
        s.fd = -1;
        s.path.clear();
        s.token.clear();
        s.named = false;
        s.torn = -1;
        s.batches = 0;
        s.parts = 0;
        s.partsIn.clear();
        s.open.clear();
        s.pid = ::getpid();
    }
    if (s.token.isEmpty()) s.token = newToken();
    return s.token;
}

// This process's journal, made on first use; 0 or errno. The caller holds the lock.
int ready(State &s) {
    ownToken(s);
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
    }
    const off_t end = ::lseek(s.fd, 0, SEEK_END);
    int e = diskErrorForTests(false);
    if (!e) e = Posix::writeAll(s.fd, lines.constData(), lines.size());
    if (!e && durable) e = diskErrorForTests(true);
    if (!e && durable && Posix::retry([&] { return ::fdatasync(s.fd); }) != 0) e = errno;
    if (!e && durable && !s.named) {
        e = syncFolder(folder());
        s.named = e == 0;
    }
    if (e && end >= 0 && Posix::retry([&] { return ::ftruncate(s.fd, end); }) != 0) s.torn = end;
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

QByteArray keyOf(const QByteArray &bytes) {
    return bytes.toHex();
}

QByteArray keyOf(const QString &path) {
    const auto bytes = Posix::encode(path);
    return bytes ? keyOf(*bytes) : QByteArray();
}

// Appends a record and returns the token of the journal it went to; throws when it could not be
// written. Durable records are on stable storage when this returns.
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

// The clock the file systems stamp new items with: what is made after a record is never older.
QByteArray coarseNow() {
    timespec t{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &t);
    return QByteArray::number(qint64(t.tv_sec)) + ' ' + QByteArray::number(qint64(t.tv_nsec));
}

} // namespace

QByteArray partName(const QByteArray &folder) {
    State &s = state();
    std::lock_guard guard(s.lock);
    const QByteArray stem =
        (folder.endsWith('/') ? folder : folder + '/') + ".kestrin-part-" + ownToken(s).left(8) + '-';
    for (;;) {
        const QByteArray candidate = stem + QByteArray::number(++s.parts);
        struct stat st;
        if (::lstat(candidate.constData(), &st) != 0) return candidate;
    }
}

QByteArray beginPart(const QString &path) {
    return beginPart(Posix::encode(path).value_or(QByteArray()));
}

QByteArray beginPart(const QByteArray &path) {
    const QByteArray key = keyOf(path);
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray in = slash > 0 ? path.left(slash) : QByteArrayLiteral("/");
    const QByteArray now = coarseNow(), line = "part " + key + ' ' + now + '\n';
    State &s = state();
    std::lock_guard guard(s.lock);
    if (key.isEmpty()) throw unwritable(EILSEQ);
    // The part's own record need not reach the disk: the start finds the part by its name in a folder
    // on record, so only the first part in each folder waits for a flush.
    const bool first = !s.partsIn.contains(in);
    if (const int e = append(s, first ? "parts " + keyOf(in) + ' ' + now + '\n' + line : line, first))
        throw unwritable(e);
    if (first) s.partsIn.insert(in);
    ++s.open[key];
    return s.token;
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
    State &s = state();
    std::lock_guard guard(s.lock);
    // A forked child numbers its own batches afresh.
    if (s.pid != ::getpid() || QString::fromLatin1(s.token.left(8)) != of.token) throw unwritable(ESTALE);
    const QByteArray batch = QByteArray::number(of.number);
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
    end(Posix::encode(path).value_or(QByteArray()));
}

void Scope::set(const QString &path) {
    set(Posix::encode(path).value_or(QByteArray()));
}

void Scope::handTo(Unflushed &later, const QString &folder) {
    if (set_) later.add(folder, path_);
    set_ = false;
}

void Unflushed::add(const QString &folder, const QByteArray &path) {
    touched(folder);
    paths_ << path;
}

void Unflushed::add(const QString &folder, const QString &path) {
    add(folder, Posix::encode(path).value_or(QByteArray()));
}

void Unflushed::touched(const QString &folder) {
    if (!folder.isEmpty() && !seen_.contains(folder)) {
        seen_.insert(folder);
        folders_ << folder;
    }
}

int Unflushed::end(QString *failed) {
    if (const int e = syncFolders(folders_, failed)) return e;
    for (const QByteArray &path : std::as_const(paths_))
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

void end(const QByteArray &path) {
    const QByteArray key = keyOf(path);
    State &s = state();
    std::lock_guard guard(s.lock);
    // Not written: a record whose item has gone from its name is settled by finding nothing there,
    // and hidden names are never used twice by one process.
    if (s.fd < 0 || !s.open.remove(key)) return;
    if (s.open.isEmpty() && ::lseek(s.fd, 0, SEEK_END) > restartBytes) s.restart();
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
    // Of parts, placed copies, moves and Trash entries.
    QString to;       // where a copy took its name; the entry a .trashinfo is for
    dev_t srcDev = 0; // a moved original as it was copied
    ino_t srcIno = 0; //
    qint64 size = 0;  //
    timespec mtime{}; //
    timespec ctime{}; //
    timespec at{};    // when a part or an info file was recorded (0: not known)
};

// What an unreadable line of a batch rename still tells: its hidden, old and new name where they are
// whole (the fields after them began), else the folder its hidden name is in.
struct Salvaged {
    QString hidden, from, to;
};

bool parseMine(const QList<QByteArray> &f, Record &r);
bool parseTime(const QByteArray &sec, const QByteArray &nsec, timespec &t);

std::optional<QString> pathOf(const QByteArray &hex) {
    static const QRegularExpression hexOnly(QStringLiteral("^(?:[0-9a-f]{2})+$"));
    if (hex.size() > 16384 || !hexOnly.match(QString::fromLatin1(hex)).hasMatch()) return std::nullopt;
    const QByteArray bytes = QByteArray::fromHex(hex);
    if (!bytes.startsWith('/') || bytes.contains('\0')) return std::nullopt;
    return Posix::decode(bytes);
}

// At most this many folders are looked through for items of batches whose records are lost.
constexpr qsizetype maxFolders = 4096;

// More records than any transfer of ours leaves open: a journal with more is named, not read on.
constexpr size_t maxRecords = size_t(1) << 23;

// The records of one journal, taken a line at a time. A line that is no record is counted, never
// passed over in silence: what a batch rename's line still tells is kept.
struct Parser {
    std::vector<Record> records;
    QHash<QByteArray, std::vector<size_t>> open;
    qsizetype unreadable = 0;
    QHash<QString, timespec> partsIn; // folders where parts may be, and since when
    std::vector<Salvaged> salvaged;
    QSet<QString> folders; // of hidden names the unreadable lines began to tell

    // torn: the journal's last line, cut short where it ends; a line garbled elsewhere tells no name.
    void line(const QByteArray &line, bool torn = false) {
        if (!record(line)) {
            ++unreadable;
            salvage(line, torn);
        }
    }
    bool record(const QByteArray &line) {
        const QList<QByteArray> f = line.split(' ');
        if (f.size() == 2 && f[0] == "end") {
            for (const size_t at : open.take(f[1]))
                records[at].ended = true;
            return pathOf(f[1]).has_value();
        }
        if (f.size() == 4 && f[0] == "parts") {
            const auto in = pathOf(f[1]);
            timespec at{};
            if (!in || !parseTime(f[2], f[3], at)) return false;
            const auto known = partsIn.constFind(*in);
            if (known == partsIn.cend() ? partsIn.size() < maxFolders
                                        : at.tv_sec < known->tv_sec ||
                                              (at.tv_sec == known->tv_sec && at.tv_nsec < known->tv_nsec))
                partsIn.insert(*in, at);
            return true;
        }
        if (Record mine; parseMine(f, mine)) {
            open[mine.key].push_back(records.size());
            records.push_back(mine);
            return true;
        }
        const bool rename = f.size() == 7 && f[0] == "rename";
        const bool two = rename || (f.size() == 5 && (f[0] == "replace" || f[0] == "aside"));
        if (!two && !(f.size() == 2 && f[0] == "part")) return false;
        Record r;
        r.kind = f[0];
        r.key = f[1];
        const auto path = pathOf(f[1]);
        if (!path) return false;
        r.path = *path;
        if (two) {
            bool devOk = false, inoOk = false;
            const auto other = pathOf(f[2]);
            const qsizetype at = rename ? 4 : 3;
            r.dev = dev_t(f[at].toULongLong(&devOk));
            r.ino = ino_t(f[at + 1].toULongLong(&inoOk));
            if (!other || !devOk || !inoOk) return false;
            r.other = *other;
            if (rename) {
                bool batchOk = false;
                const auto to = pathOf(f[3]);
                r.batch = f[6].toULongLong(&batchOk);
                if (!to || !batchOk) return false;
                r.renamedTo = *to;
            }
        }
        open[r.key].push_back(records.size());
        records.push_back(r);
        return true;
    }
    // A torn or garbled rename line: the names of a torn one where each is followed by the next field,
    // else the folder of its hidden name once that name has begun.
    void salvage(const QByteArray &line, bool torn) {
        const QList<QByteArray> f = line.split(' ');
        if (f.size() < 2 || f[0] != "rename") return;
        if (torn && f.size() >= 5) {
            const auto hidden = pathOf(f[1]), from = pathOf(f[2]), to = pathOf(f[3]);
            if (hidden && from && to && salvaged.size() < maxRecords) {
                salvaged.push_back({*hidden, *from, *to});
                return;
            }
        }
        static const QRegularExpression hexOnly(QStringLiteral("^[0-9a-f]*$"));
        QByteArray hex = f[1].left(16384);
        hex.truncate(hex.size() & ~qsizetype(1));
        if (!hexOnly.match(QString::fromLatin1(hex)).hasMatch()) return;
        const QByteArray begun = QByteArray::fromHex(hex);
        const qsizetype slash = begun.lastIndexOf('/');
        const QByteArray rest = begun.mid(slash + 1), form = ".dravendel-";
        if (slash <= 0 || rest.isEmpty() || !form.startsWith(rest.left(form.size()))) return;
        if (const auto folder = pathOf(hex.left(2 * slash)); folder && folders.size() < maxFolders)
            folders.insert(*folder);
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
        if (n == 0) {
            // A torn last line is no record, but it may be the rest of a journal cut short.
            if (overlong || !pending.isEmpty()) parser.line(pending, true);
            return 0;
        }
        qsizetype from = 0;
        for (qsizetype nl; (nl = chunk.indexOf('\n', from)) >= 0 && nl < n; from = nl + 1) {
            pending.append(chunk.constData() + from, nl - from);
            if (overlong || pending.size() > maxLine)
                ++parser.unreadable;
            else
                parser.line(pending);
            if (parser.records.size() > maxRecords) return EFBIG;
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
    static const QRegularExpression form(QStringLiteral("^\\.kestrin-part-[0-9a-f]{1,10}-[0-9]{1,20}$"));
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

Outcome settleMine(const Record &r, const QByteArray &token);
Outcome settleMoves(const std::vector<const Record *> &about, const QByteArray &token, Outcome outcome);
bool unmarkedButOurs(const Record &r, const struct stat &st);
void unmarkRenamed(const Record &r, const QByteArray &token);

// What `left` gets is what cannot be settled on its own (only when reporting).
Outcome settleRecord(const Record &r, const QByteArray &token, bool report, Leftovers &left) {
    if (r.kind == "moved") return Outcome::notMine; // settled after the others about the part
    if (r.kind == "placed" || r.kind == "info") return settleMine(r, token);
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
        const Trash::Result trashed = trashRecorded(r.path, r.other);
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
        if (unmarkedButOurs(r, st)) return removeTree(r.path) == 0 ? Outcome::settled : Outcome::pending;
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
        unmarkRenamed(*r, token);
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

// The batch of a hidden name that this journal's batch renames give (".dravendel-", the first eight
// digits of the journal's token, the batch's number and the item's); false for any other name.
bool ofBatches(const QString &name, const QByteArray &token, quint64 &batch) {
    static const QRegularExpression form(
        QStringLiteral("^\\.dravendel-([0-9a-fA-F]{8})-([0-9]{1,19})-([0-9]{1,19})$"));
    const QRegularExpressionMatch m = form.match(name);
    if (!m.hasMatch() || m.captured(1).toLatin1().toLower() != token.left(8)) return false;
    bool ok = false;
    batch = m.captured(2).toULongLong(&ok);
    return ok;
}

// Torn rename records whose item under the hidden name bears this journal's marker: settled with their
// batch like whole ones, the item's identity taken from what the marker proves ours. An item gone
// from the hidden name keeps no marker of ours under its old or new name.
std::vector<Record> adopt(const std::vector<Salvaged> &salvaged, const QSet<QByteArray> &known,
                          const QByteArray &token) {
    std::vector<Record> adopted;
    for (const Salvaged &s : salvaged) {
        const QString folder = Posix::parentOf(s.hidden);
        quint64 batch = 0;
        const QByteArray key = keyOf(s.hidden);
        if (!ofBatches(Posix::lastComponent(s.hidden), token, batch) || Posix::parentOf(s.from) != folder ||
            Posix::parentOf(s.to) != folder || key.isEmpty() || known.contains(key))
            continue;
        struct stat st;
        if (!Posix::lstatPath(s.hidden, st)) {
            for (const QString &name : {s.from, s.to})
                if (markOf(name, token) == Mark::ours) unmark(name);
            continue;
        }
        if (markOf(s.hidden, token) != Mark::ours) continue;
        Record r;
        r.kind = "rename";
        r.key = key;
        r.path = s.hidden;
        r.other = s.from;
        r.renamedTo = s.to;
        r.dev = st.st_dev;
        r.ino = st.st_ino;
        r.batch = batch;
        adopted.push_back(r);
    }
    return adopted;
}

// Items under hidden names of this journal's batch renames in `folders` that no record names: the
// marker proves them ours, but where they belong is lost with their records. Named, never touched.
bool findLost(const QSet<QString> &folders, const QSet<QByteArray> &known, const QByteArray &token,
              Leftovers &left) {
    QStringList lost;
    for (const QString &folder : folders) {
        const auto bytes = Posix::encode(folder);
        Fd fd(bytes ? ::open(bytes->constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1);
        std::vector<QByteArray> names;
        try {
            if (fd.get() >= 0) names = listNames(fd.get());
        } catch (const FileError &) {
        }
        quint64 batch = 0;
        for (const QByteArray &name : names) {
            if (!name.startsWith(".dravendel-") || !ofBatches(QString::fromLatin1(name), token, batch))
                continue;
            const QString path = Posix::childPath(folder, QString::fromLatin1(name));
            if (!known.contains(keyOf(path)) && markOf(path, token) == Mark::ours) lost << path;
        }
    }
    lost.sort();
    left.lost << lost;
    return !lost.isEmpty();
}

// Parts in `folder` under names this journal's process gave, whose own records are lost (they are not
// flushed one by one): settled as their records would be, as made no earlier than the folder's record.
// False while one is left for the next start.
bool settleUnrecordedParts(const QString &folder, const timespec &since, const QSet<QByteArray> &known,
                           const QByteArray &token, Leftovers &left) {
    const auto bytes = Posix::encode(folder);
    Fd fd(bytes ? ::open(bytes->constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1);
    if (fd.get() < 0) return !bytes || errno == ENOENT || errno == ENOTDIR; // the folder went
    std::vector<QByteArray> names;
    try {
        names = listNames(fd.get());
    } catch (const FileError &) {
        return false;
    }
    const QByteArray stem = ".kestrin-part-" + token.left(8) + '-';
    bool all = true;
    for (const QByteArray &name : names) {
        const QByteArray rest = name.mid(stem.size());
        if (!name.startsWith(stem) || rest.isEmpty() || rest.size() > 19 ||
            std::any_of(rest.cbegin(), rest.cend(), [](char c) { return c < '0' || c > '9'; }))
            continue;
        Record r;
        r.kind = "part";
        r.path = Posix::childPath(folder, QString::fromLatin1(name));
        r.key = keyOf(r.path);
        r.at = since;
        if (r.key.isEmpty() || known.contains(r.key)) continue;
        if (settleRecord(r, token, true, left) == Outcome::pending) all = false;
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
    // A line that is no record is told: what it was about may be left under a hidden name.
    bool all = parser.unreadable == 0;
    if (!all && partsIn.isEmpty()) left.damaged << shownAs;
    QSet<QByteArray> known;
    QSet<QString> folders = parser.folders;
    for (const Record &r : records) {
        known.insert(r.key);
        if (r.kind == "rename" && folders.size() < maxFolders) folders.insert(Posix::parentOf(r.path));
    }
    std::vector<Record> adopted;
    if (partsIn.isEmpty()) {
        for (const Salvaged &s : parser.salvaged)
            if (folders.size() < maxFolders) folders.insert(Posix::parentOf(s.hidden));
        adopted = adopt(parser.salvaged, known, token);
        for (const Record &r : adopted)
            known.insert(r.key);
        if (findLost(folders, known, token, left)) all = false;
    }

    // The records about one name, the latest first: it tells what the name holds now, and an
    // earlier one speaks only when the latest finds an item that is not its own.
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
    for (const Record &r : adopted)
        batches[r.batch].push_back(&r);
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
        if (outcome != Outcome::pending) outcome = settleMoves(about, token, outcome);
        if (outcome == Outcome::pending) {
            all = false;
            continue;
        }
        if (!partsIn.isEmpty()) {
            const QByteArray line = "end " + key + '\n';
            Posix::writeAll(fd.get(), line.constData(), line.size());
        }
    }
    if (!partsIn.isEmpty()) {
        // Parts whose own records are lost are looked for at the next start.
        if (!parser.partsIn.isEmpty()) all = false;
    } else {
        for (const std::vector<const Record *> &batch : batches)
            all = settleBatch(batch, token, left) && all;
        for (auto in = parser.partsIn.cbegin(); in != parser.partsIn.cend(); ++in)
            all = settleUnrecordedParts(in.key(), in.value(), known, token, left) && all;
    }
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

// --- where a complete copy takes its name; moves to another volume; Trash entries

namespace {

// Appends one record; false with errno set when it is not written (or, if durable, not on stable
// storage). A line only partly written is taken back so the next one starts a line of its own.
bool write(const QByteArray &key, const QByteArray &line, bool durable) {
    State &s = state();
    std::lock_guard guard(s.lock);
    if (key.isEmpty()) {
        errno = EILSEQ;
        return false;
    }
    if (const int e = append(s, line, durable)) {
        errno = e;
        return false;
    }
    ++s.open[key];
    return true;
}

QByteArray number(qint64 n) {
    return QByteArray::number(n);
}

bool parseTime(const QByteArray &sec, const QByteArray &nsec, timespec &t) {
    bool a = false, b = false;
    t.tv_sec = time_t(sec.toLongLong(&a));
    t.tv_nsec = long(nsec.toLong(&b));
    return a && b && t.tv_nsec >= 0 && t.tv_nsec < 1000000000;
}

bool parseId(const QByteArray &dev, const QByteArray &ino, dev_t &d, ino_t &i) {
    bool a = false, b = false;
    d = dev_t(dev.toULongLong(&a));
    i = ino_t(ino.toULongLong(&b));
    return a && b;
}

// part PATH SEC NSEC · placed PART TO DEV INO · moved PART TO SOURCE DEV INO SRCDEV SRCINO SIZE MSEC MNSEC
// CSEC CNSEC · info INFO ENTRY SEC NSEC
bool parseMine(const QList<QByteArray> &f, Record &r) {
    const bool part = f.size() == 4 && f[0] == "part";
    const bool placed = f.size() == 5 && f[0] == "placed";
    const bool moved = f.size() == 13 && f[0] == "moved";
    const bool info = f.size() == 5 && f[0] == "info";
    if (!part && !placed && !moved && !info) return false;
    const auto path = pathOf(f[1]);
    if (!path) return false;
    r.kind = f[0];
    r.key = f[1];
    r.path = *path;
    if (part) return parseTime(f[2], f[3], r.at);
    const auto to = pathOf(f[2]);
    if (!to) return false;
    r.to = *to;
    if (info) return parseTime(f[3], f[4], r.at);
    if (!parseId(f[3 + moved], f[4 + moved], r.dev, r.ino)) return false;
    if (placed) return true;
    const auto source = pathOf(f[3]);
    bool sized = false;
    r.size = f[8].toLongLong(&sized);
    if (!source || !sized || !parseId(f[6], f[7], r.srcDev, r.srcIno) || !parseTime(f[9], f[10], r.mtime) ||
        !parseTime(f[11], f[12], r.ctime))
        return false;
    r.other = *source;
    return true;
}

// Made no earlier than `at` (by its birth time where the file system keeps one).
bool bornSince(const QString &path, const timespec &at) {
    const auto bytes = Posix::encode(path);
    struct statx sx {};
    if (!bytes ||
        ::statx(AT_FDCWD, bytes->constData(), AT_SYMLINK_NOFOLLOW, STATX_BTIME | STATX_CTIME, &sx) != 0)
        return false;
    const statx_timestamp &t = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_ctime;
    return t.tv_sec > at.tv_sec || (t.tv_sec == at.tv_sec && long(t.tv_nsec) >= at.tv_nsec);
}

bool emptyFolder(const QString &path) {
    const auto bytes = Posix::encode(path);
    if (!bytes) return false;
    Fd fd(::open(bytes->constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    try {
        return fd.get() >= 0 && listNames(fd.get()).empty();
    } catch (const FileError &) {
        return false;
    }
}

// Removes the file `path` if it still is the item `st`. 0 or errno.
int removeFileIf(const QString &path, const struct stat &st) {
    QByteArray name;
    try {
        const Fd parent = openParent(path, name);
        struct stat now;
        if (::fstatat(parent.get(), name.constData(), &now, AT_SYMLINK_NOFOLLOW) != 0) return errno;
        if (!sameInode(now, st)) return EBUSY;
        return ::unlinkat(parent.get(), name.constData(), 0) == 0 ? 0 : errno;
    } catch (const FileError &e) {
        return e.code;
    }
}

// How an original folder compares with its copy, entry by entry (type, size, modification time):
// whether each side holds nothing the other lacks. Mounted folders and pipes, sockets and devices,
// which a move leaves where they are, do not count. With `remove`, the original's entries alike
// their copies go, and its folders that end up empty.
struct Alike {
    bool sourceCovered = true, copyCovered = true;
    int error = 0;
};

void compare(int src, int dst, int depth, bool remove, Alike &a) {
    struct stat here;
    std::vector<QByteArray> names, copies;
    try {
        if (::fstat(src, &here) != 0 || depth > maxDepth) throw FileError{ELOOP, {}, false};
        names = listNames(src);
        copies = listNames(dst);
    } catch (const FileError &) {
        a.sourceCovered = a.copyCovered = false;
        return;
    }
    for (const QByteArray &name : names) {
        struct stat st, copy;
        if (::fstatat(src, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        const bool dir = S_ISDIR(st.st_mode);
        if (dir ? isMountPoint(src, name.constData(), st, here.st_dev)
                : !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
            continue;
        if (::fstatat(dst, name.constData(), &copy, AT_SYMLINK_NOFOLLOW) != 0 ||
            (copy.st_mode & S_IFMT) != (st.st_mode & S_IFMT)) {
            a.sourceCovered = false;
            continue;
        }
        if (dir) {
            Fd s(::openat(src, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            Fd d(::openat(dst, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (s.get() < 0 || d.get() < 0) {
                a.sourceCovered = a.copyCovered = false;
                continue;
            }
            compare(s.get(), d.get(), depth + 1, remove, a);
            if (remove && ::unlinkat(src, name.constData(), AT_REMOVEDIR) != 0 && errno != ENOTEMPTY &&
                errno != EEXIST && !a.error)
                a.error = errno;
            continue;
        }
        if (st.st_size != copy.st_size || !sameTime(st.st_mtim, copy.st_mtim)) {
            a.sourceCovered = a.copyCovered = false;
            continue;
        }
        if (remove && ::unlinkat(src, name.constData(), 0) != 0 && errno != ENOENT && !a.error)
            a.error = errno;
    }
    for (const QByteArray &name : copies) {
        struct stat st;
        if (::fstatat(src, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) a.copyCovered = false;
    }
}

// A move killed after its copy took the name: the original goes when it is as it was copied,
// else the copy goes; exactly one of them stays. A folder partly deleted already loses what is
// alike its copy, like a move that ran to its end.
Outcome settleMove(const Record &r, const struct stat &copy) {
    struct stat src;
    if (!Posix::lstatPath(r.other, src) || src.st_dev != r.srcDev || src.st_ino != r.srcIno)
        return Outcome::settled; // the original went
    int e = 0;
    if (!S_ISDIR(src.st_mode)) {
        const bool asCopied = (src.st_mode & S_IFMT) == (copy.st_mode & S_IFMT) && src.st_size == r.size &&
                              copy.st_size == r.size && sameTime(src.st_mtim, r.mtime) &&
                              sameTime(src.st_ctim, r.ctime);
        e = asCopied ? removeFileIf(r.other, src) : removeTree(r.to);
        return e == 0 ? Outcome::settled : Outcome::pending;
    }
    const auto srcBytes = Posix::encode(r.other), dstBytes = Posix::encode(r.to);
    if (!srcBytes || !dstBytes) return Outcome::pending;
    Fd s(::open(srcBytes->constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    Fd d(::open(dstBytes->constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat sNow, dNow;
    if (s.get() < 0 || d.get() < 0 || ::fstat(s.get(), &sNow) != 0 || ::fstat(d.get(), &dNow) != 0 ||
        !sameInode(sNow, src) || !sameInode(dNow, copy))
        return Outcome::pending;
    Alike a;
    compare(s.get(), d.get(), 1, false, a);
    if (!a.sourceCovered && a.copyCovered) return removeTree(r.to) == 0 ? Outcome::settled : Outcome::pending;
    Alike removed;
    compare(s.get(), d.get(), 1, true, removed);
    if (::rmdir(srcBytes->constData()) != 0 && errno != ENOTEMPTY && errno != EEXIST && !removed.error)
        removed.error = errno;
    return removed.error ? Outcome::pending : Outcome::settled;
}

// An unmarked part is ours when it was made after its record and holds nothing yet: the marker
// comes before any content.
bool unmarkedButOurs(const Record &r, const struct stat &st) {
    if (r.at.tv_sec == 0 || !bornSince(r.path, r.at)) return false;
    return (S_ISREG(st.st_mode) && st.st_size == 0) || S_ISLNK(st.st_mode) ||
           (S_ISDIR(st.st_mode) && emptyFolder(r.path));
}

// An item of a batch rename no longer under its hidden name keeps no marker of ours under its old or
// its new name.
void unmarkRenamed(const Record &r, const QByteArray &token) {
    struct stat st;
    if (Posix::lstatPath(r.path, st)) return;
    for (const QString &name : {r.other, r.renamedTo})
        if (Posix::lstatPath(name, st) && sameItem(st, r) && markOf(name, token) == Mark::ours) unmark(name);
}

// A move's record speaks whatever became of its part: it decides between the original and the copy,
// once the part's other records are settled.
Outcome settleMoves(const std::vector<const Record *> &about, const QByteArray &token, Outcome outcome) {
    for (const Record *r : about)
        if (r->kind == "moved" && settleMine(*r, token) == Outcome::pending) outcome = Outcome::pending;
    return outcome;
}

Outcome settleMine(const Record &r, const QByteArray &token) {
    struct stat st;
    if (r.kind == "info") {
        // An info file whose item never came.
        struct stat entry;
        if (!Posix::lstatPath(r.path, st) || Posix::lstatPath(r.to, entry)) return Outcome::settled;
        if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || !bornSince(r.path, r.at))
            return Outcome::notMine;
        return removeFileIf(r.path, st) == 0 ? Outcome::settled : Outcome::pending;
    }
    // The part's own records settle it where it never took the name.
    struct stat copy;
    if (!Posix::lstatPath(r.to, copy) || !sameItem(copy, r)) return Outcome::settled;
    if (markOf(r.to, token) == Mark::ours) unmark(r.to);
    return r.kind == "moved" ? settleMove(r, copy) : Outcome::settled;
}

} // namespace

bool beginPlace(const QString &part, const QString &to, const struct stat &copy) {
    const auto a = Posix::encode(part), b = Posix::encode(to);
    return beginPlace(a.value_or(QByteArray()), b.value_or(QByteArray()), copy);
}

bool beginPlace(const QByteArray &part, const QByteArray &to, const struct stat &copy) {
    const QByteArray key = keyOf(part), dest = keyOf(to);
    if (dest.isEmpty()) {
        errno = EILSEQ;
        return false;
    }
    return write(key, "placed " + key + ' ' + dest + ' ' + identity(copy) + '\n', false);
}

bool beginMove(const QString &part, const QString &to, const QString &source, const struct stat &st,
               const struct stat &copy) {
    const QByteArray key = keyOf(part), dest = keyOf(to), from = keyOf(source);
    if (dest.isEmpty() || from.isEmpty()) {
        errno = EILSEQ;
        return false;
    }
    return write(key,
                 "moved " + key + ' ' + dest + ' ' + from + ' ' + identity(copy) + ' ' + identity(st) + ' ' +
                     number(st.st_size) + ' ' + number(st.st_mtim.tv_sec) + ' ' + number(st.st_mtim.tv_nsec) +
                     ' ' + number(st.st_ctim.tv_sec) + ' ' + number(st.st_ctim.tv_nsec) + '\n',
                 true);
}

void endMove(const QString &part) {
    const QByteArray key = keyOf(part);
    {
        State &s = state();
        std::lock_guard guard(s.lock);
        if (s.fd < 0 || !s.open.contains(key)) return;
        const QByteArray line = "end " + key + '\n';
        Posix::writeAll(s.fd, line.constData(), line.size());
    }
    end(part);
}

void setFlushedHookForTests(std::function<void(qint64)> hook) {
    flushedHook() = std::move(hook);
}

qsizetype countRecords(int fd) {
    Parser parser;
    return readRecords(fd, parser) == 0 ? qsizetype(parser.records.size()) : -1;
}

QString recordsFolder() {
    return folder();
}

FileError notRecorded(int e) {
    return unwritable(e);
}

Trash::Result trashRecorded(const QString &path, const QString &shownAs) {
    QList<QByteArray> keys;
    const Trash::Result r =
        Trash::moveToTrash(path, shownAs, [&](const QByteArray &info, const QByteArray &entry) {
            const QByteArray key = info.toHex();
            if (!write(key, "info " + key + ' ' + entry.toHex() + ' ' + coarseNow() + '\n', false))
                return false;
            keys << key;
            return true;
        });
    // The info file is with its item now, or gone again.
    State &s = state();
    std::lock_guard guard(s.lock);
    for (const QByteArray &key : keys)
        s.open.remove(key);
    if (!keys.isEmpty() && s.open.isEmpty() && ::lseek(s.fd, 0, SEEK_END) > restartBytes) s.restart();
    return r;
}

} // namespace FileSteps::Journal
