#include "core/filesteps/JournalRecords.h"

#include "core/filesteps/PosixSteps.h"
#include "core/filesteps/TransferJournal.h"
#include "core/filesteps/TrashMemory.h"
#include "platform/FileCopy.h"
#include "platform/HeldTrash.h"
#include "platform/Posix.h"
#include "platform/Trash.h"
#include "platform/TrashRoots.h"

#include <QHash>
#include <QMap>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/xattr.h>
#include <unistd.h>

// What an interrupted transfer left is settled from its journal at the next start: each record is
// judged by what is on the disk now, and nothing it does not name, or whose marker is not ours, is
// taken for a leftover.

namespace FileSteps::Journal {
namespace {

// More of them are not read at one start, but named.
constexpr int maxJournals = 256;

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

// Made no earlier than `at` (by its birth time where the file system keeps one; `born` tells whether it
// does).
bool bornSince(const QString &path, const timespec &at, bool *born = nullptr) {
    const auto bytes = Posix::encode(path);
    struct statx sx {};
    if (!bytes ||
        ::statx(AT_FDCWD, bytes->constData(), AT_SYMLINK_NOFOLLOW, STATX_BTIME | STATX_CTIME, &sx) != 0)
        return false;
    if (born) *born = sx.stx_mask & STATX_BTIME;
    const statx_timestamp &t = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_ctime;
    // A volume that keeps whole seconds or two (sshfs, FAT) cuts the time down: compared as cut.
    if (t.tv_nsec == 0) return t.tv_sec >= at.tv_sec - (at.tv_sec & 1);
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

// Killed between the link and the unlink of a rename on a volume that refuses the rename flag: the file
// is under `extra` and `kept` alike. The extra name goes, which loses nothing; false where that is not so.
bool dropSecondName(const QString &extra, const QString &kept, const Record &r) {
    struct stat a, b;
    if (!Posix::lstatPath(kept, b) || !sameItem(b, r) || S_ISDIR(b.st_mode) || !Posix::lstatPath(extra, a) ||
        !sameItem(a, r))
        return false;
    return removeFileIf(extra, a) == 0;
}

// Whether two names hold regular files alike in size and every byte: a second name of one file on a
// volume that numbers a link anew (sshfs), as the link fallback of a rename leaves it when killed.
// `prefix`: `a` holds the first bytes of `b`, and at most `most`; a block of it lost on the way to the
// disk (a power cut, a failing drive) reads back as zeros and is taken as `b`'s.
bool sameContent(const QString &a, const QString &b, bool prefix = false, qint64 most = 0) {
    const auto aBytes = Posix::encode(a), bBytes = Posix::encode(b);
    struct stat sa, sb;
    // Never opened unless regular files: a device may act on an open.
    if (!aBytes || !bBytes || !Posix::lstatPath(a, sa) || !Posix::lstatPath(b, sb) || !S_ISREG(sa.st_mode) ||
        !S_ISREG(sb.st_mode))
        return false;
    Fd fa(::open(aBytes->constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    Fd fb(::open(bBytes->constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fa.get() < 0 || fb.get() < 0 || ::fstat(fa.get(), &sa) != 0 || ::fstat(fb.get(), &sb) != 0 ||
        !S_ISREG(sa.st_mode) || !S_ISREG(sb.st_mode) ||
        (prefix ? sa.st_size > sb.st_size || sa.st_size > most : sa.st_size != sb.st_size))
        return false;
    constexpr size_t chunk = 1 << 16;
    // The unit a write is lost in: the volume's block, where it divides the chunk.
    const size_t block = prefix && sa.st_blksize >= 512 && size_t(sa.st_blksize) <= chunk &&
                                 (sa.st_blksize & (sa.st_blksize - 1)) == 0
                             ? size_t(sa.st_blksize)
                             : chunk;
    std::vector<char> bufA(chunk), bufB(chunk);
    const auto lost = [&](size_t from, size_t n) {
        return std::all_of(bufA.begin() + qsizetype(from), bufA.begin() + qsizetype(from + n),
                           [](char c) { return c == 0; });
    };
    for (off_t at = 0; at < sa.st_size;) {
        const ssize_t n = Posix::retry([&] { return ::pread(fa.get(), bufA.data(), chunk, at); });
        if (n <= 0 || Posix::retry([&] { return ::pread(fb.get(), bufB.data(), size_t(n), at); }) != n)
            return false;
        for (size_t from = 0; from < size_t(n); from += block) {
            const size_t len = std::min(block, size_t(n) - from);
            if (std::memcmp(bufA.data() + from, bufB.data() + from, len) != 0 && !(prefix && lost(from, len)))
                return false;
        }
        at += n;
    }
    return true;
}

// Whether a copy's time is the original's as the copy's volume keeps it: whole, or cut to 100 ns
// (NTFS), 10 ms (exFAT), a second (sshfs) or two (FAT).
bool keptAs(const timespec &copy, const timespec &original) {
    if (sameTime(copy, original)) return true;
    for (const long step : {100L, 10'000'000L})
        if (copy.tv_sec == original.tv_sec && copy.tv_nsec == original.tv_nsec - original.tv_nsec % step)
            return true;
    return copy.tv_nsec == 0 &&
           (copy.tv_sec == original.tv_sec || copy.tv_sec == original.tv_sec - (original.tv_sec & 1));
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
        if (st.st_size != copy.st_size || !keptAs(copy.st_mtim, st.st_mtim)) {
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

// An unmarked part cut off before its marker came: made since its record, and still holding nothing, as
// the marker comes before any content. Anything that holds something is proven ours only by its marker or
// by its identity on record: another program may have put it under the name since. A small copy that was
// to take a free name carries no marker: it is ours where it holds nothing but the first bytes of the file
// its record names, unless a record exchanged it with another item (`exchanged`).
bool unmarkedButOurs(const Record &r, const struct stat &st, bool exchanged) {
    if (r.at.tv_sec == 0 || !bornSince(r.path, r.at)) return false;
    if ((S_ISREG(st.st_mode) && st.st_size == 0) || (S_ISDIR(st.st_mode) && emptyFolder(r.path))) return true;
    return !exchanged && !r.other.isEmpty() && S_ISREG(st.st_mode) &&
           sameContent(r.path, r.other, true, provenByBytes);
}

// A part on a volume that keeps no marker: ours when it is the very item its record says was made
// (device, inode, birth time), and holds no more than it could have.
bool madeAsRecorded(const Record &r, const struct stat &st) {
    if (!r.made || !sameItem(st, r)) return false;
    if (r.size < 0 ? !S_ISDIR(st.st_mode) : !S_ISREG(st.st_mode) || st.st_size > r.size) return false;
    const auto bytes = Posix::encode(r.path);
    struct statx sx {};
    if (!bytes || ::statx(AT_FDCWD, bytes->constData(), AT_SYMLINK_NOFOLLOW, STATX_BTIME, &sx) != 0)
        return false;
    const bool born = sx.stx_mask & STATX_BTIME;
    if (r.born.tv_sec == 0 && r.born.tv_nsec == 0) return !born;
    return born && sx.stx_btime.tv_sec == r.born.tv_sec && long(sx.stx_btime.tv_nsec) == r.born.tv_nsec;
}

// An item of a batch rename no longer under its hidden name keeps no marker of ours under its old or
// its new name.
void unmarkRenamed(const Record &r, const QByteArray &token) {
    struct stat st;
    if (Posix::lstatPath(r.path, st)) return;
    for (const QString &name : {r.other, r.renamedTo})
        if (Posix::lstatPath(name, st) && sameItem(st, r) && markOf(name, token) == Mark::ours) unmark(name);
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
    // Where the copy never took the name, the part's earlier record settles what is left of it: the
    // name may not have reached the disk, or the step never began.
    struct stat copy;
    if (!Posix::lstatPath(r.to, copy)) return Outcome::notMine;
    // A move's copy that took its name by a link the volume numbered anew (sshfs) is known by its bytes:
    // the original goes only when it is as it was copied, and the name holds all of it.
    if (!sameItem(copy, r) && (r.kind != "moved" || !sameContent(r.other, r.to))) return Outcome::notMine;
    if (markOf(r.to, token) == Mark::ours) unmark(r.to);
    return r.kind == "moved" ? settleMove(r, copy) : Outcome::settled;
}

// A move's record speaks whatever became of its part: it decides between the original and the copy,
// once the part's other records are settled.
Outcome settleMoves(const std::vector<const Record *> &about, const QByteArray &token, Outcome outcome) {
    for (const Record *r : about)
        if (r->kind == "moved" && settleMine(*r, token) == Outcome::pending) outcome = Outcome::pending;
    return outcome;
}

// A part that bears our marker goes. One that cannot (a folder that lets nothing go) stays on record and
// is named at every start until it can.
Outcome removeOurs(const QString &path, bool report, Leftovers &left) {
    if (removeTree(path) == 0) return Outcome::settled;
    if (report && !left.stuck.contains(path)) left.stuck << path;
    return Outcome::pending;
}

// What `left` gets is what cannot be settled on its own (only when reporting). `whole`: the journal read
// without a line it could not; else a lost line may have been the replace that put the old item under the
// part's name, and the birth time proves nothing. `exchanged`: a record about the part's name is a replace.
Outcome settleRecord(const Record &r, const QByteArray &token, bool report, bool whole, bool exchanged,
                     Leftovers &left) {
    if (r.kind == "moved") return Outcome::notMine; // settled after the others about the part
    if (r.kind == "placed" || r.kind == "info") return settleMine(r, token);
    // The new item took the name: killed before its marker came off, whatever became of the old one.
    if (r.kind == "replace" && markOf(r.other, token) == Mark::ours) unmark(r.other);
    struct stat st;
    if (!Posix::lstatPath(r.path, st)) return Outcome::settled; // nothing left under the name
    if (r.kind == "aside") {
        // The original of a move: its name back, or say where it is.
        if (!sameItem(st, r)) return Outcome::notMine;
        if (dropSecondName(r.path, r.other, r) || renameNoReplace(r.path, r.other) == 0)
            return Outcome::settled;
        if (!report) return Outcome::pending;
        left.setAside << r.path;
        return Outcome::settled;
    }
    if (r.kind == "rename") return Outcome::notMine; // settled with its batch
    const Mark mark = partShaped(r.path, st) ? markOf(r.path, token) : Mark::other;
    if (r.kind == "replace") {
        struct stat named;
        if (mark == Mark::ours) {
            // The complete copy: it takes the name when the old item went, else it goes.
            if (!Posix::lstatPath(r.other, named) && renameNoReplace(r.path, r.other) == 0) {
                unmark(r.other);
                return Outcome::settled;
            }
            return removeOurs(r.path, report, left);
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
        return removeOurs(r.path, report, left);
    case Mark::other:
        return Outcome::notMine;
    case Mark::none:
    case Mark::unsupported:
        if ((whole && unmarkedButOurs(r, st, exchanged)) || madeAsRecorded(r, st))
            return removeOurs(r.path, report, left);
        if (!report) return Outcome::pending;
        left.parts << r.path;
        return Outcome::settled;
    }
    return Outcome::settled;
}

// Whether a folder holds an item under exactly the bytes of a name: on a volume that ignores case,
// "a.jpg" also finds "a.JPG", which is another name for the batch. Each folder is listed once.
class StoredNames {
public:
    bool holds(const QString &path) {
        const auto bytes = PathBytes::of(path);
        if (!bytes) return false;
        const QString folder = Posix::parentOf(path);
        auto names = byFolder_.find(folder);
        if (names == byFolder_.end()) names = byFolder_.insert(folder, list(folder));
        // A folder that cannot be listed says nothing against the lookup.
        return !names->has_value() || (*names)->contains(bytes->name());
    }

private:
    static std::optional<QSet<QByteArray>> list(const QString &folder) {
        const auto bytes = Posix::encode(folder);
        Fd fd(bytes ? ::open(bytes->constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1);
        if (fd.get() < 0) return std::nullopt;
        try {
            const std::vector<QByteArray> names = listNames(fd.get());
            return QSet<QByteArray>(names.cbegin(), names.cend());
        } catch (const FileError &) {
            return std::nullopt;
        }
    }
    QHash<QString, std::optional<QSet<QByteArray>>> byFolder_;
};

// A name the volume does not take (characters, length, encoding), as opposed to one that is held.
bool nameRefused(int e, const QString &hidden) {
    if (e == EINVAL || e == ENAMETOOLONG || e == EILSEQ) return true;
    // Some drivers answer a refused name as if the folder were missing.
    struct stat st;
    return e == ENOENT && Posix::lstatPath(hidden, st);
}

// One batch rename's items still under hidden names. When any item of the batch holds its new name, the
// batch had reached its second phase and every item takes its new name; else every item takes its old
// one, so one item's name is never given to another. A name that is held, or that the volume refuses,
// sends the item to its other name; only where items outside the batch hold both does it stay hidden.
// False while an item is left for the next start.
bool settleBatch(const std::vector<const Record *> &batch, const QByteArray &token, Leftovers &left) {
    QSet<QPair<quint64, quint64>> items;
    std::vector<const Record *> hidden, unmatched, atOld;
    bool secondPhase = false;
    StoredNames stored;
    for (const Record *r : batch) {
        unmarkRenamed(*r, token);
        items.insert({quint64(r->dev), quint64(r->ino)});
        struct stat st;
        // By the name as the folder keeps it: before its rename, "a.JPG" is found as "a.jpg" too.
        if (!secondPhase && Posix::lstatPath(r->renamedTo, st) && sameItem(st, *r) &&
            stored.holds(r->renamedTo))
            secondPhase = true;
        if (!Posix::lstatPath(r->path, st)) {
            // Never under its hidden name (a folder its drive copies instead) or back under its old one.
            if (Posix::lstatPath(r->other, st) && sameItem(st, *r) && stored.holds(r->other))
                atOld.push_back(r);
            continue;
        }
        if (sameItem(st, *r) && markOf(r->path, token) != Mark::other)
            hidden.push_back(r);
        else
            unmatched.push_back(r);
    }
    auto ofBatch = [&](const QString &path) {
        struct stat st;
        return Posix::lstatPath(path, st) && items.contains({quint64(st.st_dev), quint64(st.st_ino)});
    };
    // Told once: the others of its batch have their new names.
    if (secondPhase)
        for (const Record *r : atOld)
            left.oldNames << r->other;
    bool all = true;
    struct stat st;
    for (const Record *r : unmatched) {
        // A hidden name that is not the item it was given: where a link shows a new inode number, the
        // second name of an item that still has its old or new one. Any other is named, never touched.
        bool dropped = false;
        for (const QString &name : {r->other, r->renamedTo}) {
            struct stat item, extra;
            if (dropped || !Posix::lstatPath(name, item) || !sameItem(item, *r) ||
                !Posix::lstatPath(r->path, extra) || !sameContent(r->path, name))
                continue;
            dropped = removeFileIf(r->path, extra) == 0;
            if (dropped && markOf(name, token) == Mark::ours) unmark(name);
        }
        if (!dropped) {
            left.unmatched << r->path;
            all = false; // named again at each start while it is there
        }
    }
    for (const Record *r : hidden) {
        const QString &first = secondPhase ? r->renamedTo : r->other;
        const QString &second = secondPhase ? r->other : r->renamedTo;
        // Killed between the link and the unlink of the rename fallback: the item is under two names.
        if (dropSecondName(r->path, first, *r)) {
            if (markOf(first, token) == Mark::ours) unmark(first);
            continue;
        }
        int e = renameNoReplace(r->path, first);
        const bool firstRefused = nameRefused(e, r->path);
        if (e == EEXIST || firstRefused) e = renameNoReplace(r->path, second);
        if (e == 0) {
            unmark(Posix::lstatPath(first, st) && sameItem(st, *r) ? first : second);
            continue;
        }
        if (e != EEXIST && !nameRefused(e, r->path)) {
            all = false; // tried again at the next start
            continue;
        }
        if (!ofBatch(second) && firstRefused) {
            left.refused << r->path; // the one name it may have is someone else's now
            continue;
        }
        if (!ofBatch(second) && !ofBatch(first)) {
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
                           const QByteArray &token, bool whole, Leftovers &left) {
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
        if (settleRecord(r, token, true, whole, false, left) == Outcome::pending) all = false;
    }
    return all;
}

// At most this many folders beneath the roots of a damaged journal's jobs are looked through.
constexpr qsizetype maxWalked = 65536;

// Where a journal's lines are lost, what they spoke of is found by the journal's token once its readable
// records are settled: in `folders`, which those records name, and beneath `roots`, those of its jobs. A
// part bearing our marker goes, as its record would have it. Without it, nothing proves the item ours,
// though it may be the old item of a replace whose record is lost: it is named, never moved. Our marker
// comes off everything else. False while one is left for the next start.
bool settleBeneath(const QSet<QString> &folders, const QSet<QString> &roots, const QByteArray &token,
                   Leftovers &left) {
    QSet<QString> told;
    for (const QStringList *list : {&left.parts, &left.setAside, &left.stuck})
        for (const QString &path : *list)
            told.insert(path);
    QList<QPair<QString, int>> queue;
    for (const QString &root : roots)
        queue.append({root, 0});
    for (const QString &folder : folders)
        queue.append({folder, maxDepth});
    QSet<QPair<quint64, quint64>> seen;
    const QByteArray stem = ".kestrin-part-" + token.left(8) + '-';
    bool all = true;
    for (qsizetype i = 0; i < queue.size() && i < maxWalked; ++i) {
        const auto [folder, depth] = queue[i];
        const auto bytes = Posix::encode(folder);
        Fd fd(bytes ? ::open(bytes->constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC) : -1);
        struct stat here;
        if (fd.get() < 0 || ::fstat(fd.get(), &here) != 0 ||
            seen.contains({quint64(here.st_dev), quint64(here.st_ino)}))
            continue;
        seen.insert({quint64(here.st_dev), quint64(here.st_ino)});
        std::vector<QByteArray> names;
        try {
            names = listNames(fd.get());
        } catch (const FileError &) {
            continue;
        }
        for (const QByteArray &name : names) {
            struct stat st;
            const auto text = Posix::decode(name);
            if (!text || ::fstatat(fd.get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
            const QString path = Posix::childPath(folder, *text);
            const QByteArray rest = name.mid(stem.size());
            const bool part =
                name.startsWith(stem) && !rest.isEmpty() && rest.size() <= 19 &&
                std::all_of(rest.cbegin(), rest.cend(), [](char c) { return c >= '0' && c <= '9'; });
            if (!part) {
                if (S_ISDIR(st.st_mode) && depth < maxDepth && st.st_dev == here.st_dev)
                    queue.append({path, depth + 1});
                if (!S_ISLNK(st.st_mode) && markOf(path, token) == Mark::ours) unmark(path);
                continue;
            }
            if (st.st_uid != ::geteuid()) continue;
            const Mark mark = markOf(path, token);
            if (mark == Mark::ours) {
                if (!told.contains(path) && removeTree(path) != 0) {
                    all = false;
                    left.stuck << path;
                }
                continue;
            }
            if (mark == Mark::other) continue;
            // Unmarked, and no record holds its identity: named, whatever took the part's place.
            if (!told.contains(path)) left.unrecorded << path;
        }
    }
    return all;
}

// Where the journal's `info` lines are lost, the info files its process made for items on their way to
// a Trash are found in every Trash: an info file whose item is in `files` is a Trash item like any. One
// whose item never came goes when it bears this journal's mark. Without a mark (the drive keeps none, or
// the kill came before it), one of ours by owner that was born since the journal is named, never removed:
// another program may have made it. False while one of ours is left for the next start.
bool settleTrashInfos(const QSet<QByteArray> &known, const QByteArray &token,
                      const std::optional<timespec> &since, Leftovers &left) {
    bool all = true;
    for (const QString &root : TrashRoots::all()) {
        const Trash::Held trash = Trash::Held::open(root, false);
        if (!trash.valid() || trash.info() < 0) continue;
        Fd list(::openat(trash.info(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        std::vector<QByteArray> names;
        try {
            if (list.get() >= 0) names = listNames(list.get());
        } catch (const FileError &) {
            continue;
        }
        const QString infoFolder = root + QStringLiteral("/info");
        qsizetype looked = 0;
        for (const QByteArray &name : names) {
            if (!name.endsWith(".trashinfo") || name.size() <= 10 || ++looked > maxWalked) continue;
            const auto text = Posix::decode(name);
            struct stat st, entry;
            if (!text || ::fstatat(trash.info(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
                !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
                continue;
            const QString path = Posix::childPath(infoFolder, *text);
            // A record that was read settled it already.
            if (known.contains(keyOf(path))) continue;
            // Opened without blocking, since another program may swap anything in meanwhile.
            Fd fd(::openat(trash.info(), name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
            struct stat opened;
            if (fd.get() < 0 || ::fstat(fd.get(), &opened) != 0 || !sameInode(opened, st)) continue;
            char value[64];
            const ssize_t n = ::fgetxattr(fd.get(), FileCopy::partMark, value, sizeof value);
            const bool unmarked = n < 0 && (errno == ENODATA || errno == ENOTSUP);
            const bool ours = n >= 0 && QByteArray(value, n) == token;
            if (::fstatat(trash.files(), name.chopped(10).constData(), &entry, AT_SYMLINK_NOFOLLOW) == 0) {
                if (ours) ::fremovexattr(fd.get(), FileCopy::partMark);
                continue;
            }
            if (ours) {
                struct stat now;
                if (::fstatat(trash.info(), name.constData(), &now, AT_SYMLINK_NOFOLLOW) != 0 ||
                    !sameInode(now, st) || ::unlinkat(trash.info(), name.constData(), 0) != 0)
                    all = false;
                continue;
            }
            if (unmarked && since && bornSince(path, *since) && !left.unrecorded.contains(path))
                left.unrecorded << path;
        }
    }
    return all;
}

// When the journal open at fd was made, where its drive keeps birth times.
std::optional<timespec> bornAt(int fd) {
    struct statx sx {};
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_BTIME, &sx) != 0 || !(sx.stx_mask & STATX_BTIME))
        return std::nullopt;
    return timespec{time_t(sx.stx_btime.tv_sec), long(sx.stx_btime.tv_nsec)};
}

// A volume mounted again after a power cut may come back under another device number. Where the records
// name its file system by id, an item is looked for under the number that the folder the record speaks of
// has now, if that folder's file system has the id on record; else by the number on record.
void renumber(std::vector<Record> &records, const QHash<quint64, QByteArray> &volumes) {
    if (volumes.isEmpty()) return;
    QHash<QString, std::pair<dev_t, QByteArray>> now; // a folder's device number and file system id
    auto numberNow = [&](const QString &path, dev_t was) {
        const QByteArray id = volumes.value(quint64(was));
        if (id.isEmpty() || path.isEmpty()) return was;
        const QString folder = Posix::parentOf(path);
        auto in = now.constFind(folder);
        if (in == now.cend()) {
            if (now.size() >= maxFolders) return was;
            const auto bytes = Posix::encode(folder);
            const Fd fd(bytes ? ::open(bytes->constData(), O_PATH | O_DIRECTORY | O_CLOEXEC) : -1);
            struct stat st;
            in = now.insert(folder, fd.get() >= 0 && ::fstat(fd.get(), &st) == 0
                                        ? std::pair{st.st_dev, volumeId(fd.get())}
                                        : std::pair{dev_t(0), QByteArray()});
        }
        return in->second == id ? in->first : was;
    };
    for (Record &r : records) {
        if (r.ino) r.dev = numberNow(r.path, r.dev);
        if (r.srcIno) r.srcDev = numberNow(r.other, r.srcDev);
    }
}

// Records whose item waits under a hidden name until the start settles it.
bool hides(const QByteArray &kind) {
    return kind == "part" || kind == "replace" || kind == "aside" || kind == "rename";
}

// No folder at the path (nothing there, or something else), as opposed to one that can't be looked at.
bool noFolderAt(const QString &path) {
    struct stat st;
    if (Posix::statPath(path, st)) return !S_ISDIR(st.st_mode);
    return errno == ENOENT || errno == ENOTDIR;
}

// The folder at or above the item's own that is gone from its path while the one above it is there: the
// user renamed or moved it since the kill, or its volume is away. Empty when the item's folder is there.
QString goneFolder(const QString &path) {
    QString folder = Posix::parentOf(path);
    if (!noFolderAt(folder)) return {};
    for (int depth = 0; depth < maxDepth; ++depth) {
        const QString above = Posix::parentOf(folder);
        if (above.isEmpty() || above == folder) return {};
        if (!noFolderAt(above)) return folder;
        folder = above;
    }
    return {};
}

// At most this many entries beside a gone folder are looked at for where it went.
constexpr qsizetype maxBeside = 4096;

// What proves a folder beside a gone one to be it: a folder on record at a path below it (or the gone
// folder itself) with its identity, an item of a record with its identity, or a part of ours by its marker.
struct Proof {
    QString below; // the path below the gone folder, "" or beginning with '/'
    dev_t dev = 0;
    ino_t ino = 0; // 0: our marker proves it
};

// Where the folder `gone` is now: the one folder beside it that something proves to be it. Empty where
// none does, or more than one.
QString foundBeside(const QString &gone, const QList<Proof> &proofs, const QByteArray &token) {
    const QString above = Posix::parentOf(gone);
    const auto bytes = Posix::encode(above);
    const Fd fd(bytes ? ::open(bytes->constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1);
    std::vector<QByteArray> names;
    try {
        if (fd.get() >= 0) names = listNames(fd.get());
    } catch (const FileError &) {
        return {};
    }
    QString found;
    for (size_t i = 0; i < names.size() && i < size_t(maxBeside); ++i) {
        struct stat st;
        const auto text = Posix::decode(names[i]);
        if (!text || ::fstatat(fd.get(), names[i].constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISDIR(st.st_mode))
            continue;
        const QString folder = Posix::childPath(above, *text);
        const bool proven = std::any_of(proofs.cbegin(), proofs.cend(), [&](const Proof &p) {
            struct stat item;
            const QString candidate = folder + p.below;
            if (!Posix::lstatPath(candidate, item)) return false;
            return p.ino ? item.st_dev == p.dev && item.st_ino == p.ino
                         : partShaped(candidate, item) && markOf(candidate, token) == Mark::ours;
        });
        if (!proven) continue;
        if (!found.isEmpty()) return {}; // two alike: neither is taken for it
        found = folder;
    }
    return found;
}

// Records whose item's folder is gone from its path are settled where that folder is found again beside
// its old place. The keys of those whose folder is not found: they stay on record, and are told, since
// what they hide stays hidden until the folder is back.
QSet<QByteArray> followMovedFolders(Parser &parser, const QByteArray &token) {
    QHash<QString, QList<Proof>> gone; // each gone folder, with what would prove it
    const auto below = [](const QString &path, const QString &folder) {
        return path == folder || path.startsWith(folder + u'/');
    };
    for (const Record &r : parser.records) {
        struct stat st;
        if (r.ended || !hides(r.kind) || Posix::lstatPath(r.path, st)) continue;
        const QString folder = goneFolder(r.path);
        if (folder.isEmpty() || (!gone.contains(folder) && gone.size() >= maxFolders)) continue;
        QList<Proof> &proofs = gone[folder];
        for (const QString *path : {&r.path, &r.other, &r.renamedTo})
            if (below(*path, folder) && (r.ino || (path == &r.path && r.kind == "part")) &&
                proofs.size() < maxFolders)
                proofs.append({path->mid(folder.size()), r.dev, r.ino});
    }
    QHash<QString, QString> movedTo; // gone → where it is now; empty when not found
    for (auto g = gone.begin(); g != gone.end(); ++g) {
        for (auto id = parser.folderIds.cbegin(); id != parser.folderIds.cend(); ++id)
            if (below(id.key(), g.key())) g->prepend({id.key().mid(g.key().size()), id->first, id->second});
        movedTo.insert(g.key(), foundBeside(g.key(), *g, token));
    }
    const auto follow = [&movedTo, &below](QString &path) {
        for (auto m = movedTo.cbegin(); m != movedTo.cend(); ++m)
            if (!m->isEmpty() && below(path, m.key())) {
                path = *m + path.mid(m.key().size());
                return true;
            }
        return false;
    };
    QSet<QByteArray> kept;
    for (Record &r : parser.records) {
        for (QString *path : {&r.other, &r.renamedTo, &r.to})
            follow(*path);
        if (follow(r.path)) {
            if (const auto bytes = Posix::encode(r.path)) r.key = bytes->toHex();
        } else if (!r.ended && hides(r.kind) && movedTo.contains(goneFolder(r.path))) {
            kept.insert(r.key);
        }
    }
    const auto followAll = [&follow](QSet<QString> &paths) {
        QSet<QString> out;
        for (QString path : paths) {
            follow(path);
            out.insert(path);
        }
        paths = out;
    };
    followAll(parser.folders);
    followAll(parser.roots);
    QHash<QString, timespec> partsIn;
    for (auto in = parser.partsIn.cbegin(); in != parser.partsIn.cend(); ++in) {
        QString folder = in.key();
        follow(folder);
        partsIn.insert(folder, in.value());
    }
    parser.partsIn = partsIn;
    return kept;
}

// A journal that is not to be read: not ours, or not readable.
bool refused(int fd, struct stat &st) {
    return fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid();
}

void settleJournal(int dirFd, const QByteArray &name, const QString &partsIn, Leftovers &left) {
    const QString shownAs = recordsFolder() + u'/' + QString::fromLatin1(name);
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
    renumber(parser.records, parser.volumes);
    const QSet<QByteArray> kept = partsIn.isEmpty() ? followMovedFolders(parser, token) : QSet<QByteArray>();
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
    // Told at the first start that finds its folder gone, and kept on record without a word after that:
    // the folder may have been deleted, and a word at every start could not be silenced.
    const auto tellAway = [&](const Record &r) {
        if (parser.told.contains(r.key) || left.away.size() >= maxFolders) return;
        left.away << r.path;
        parser.told.insert(r.key);
        const QByteArray line = "told " + r.key + '\n';
        Posix::writeAll(fd.get(), line.constData(), line.size());
    };
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
        if (kept.contains(key)) {
            all = false;
            tellAway(*about[0]);
            continue;
        }
        Outcome outcome = Outcome::notMine;
        const bool exchanged =
            std::any_of(about.cbegin(), about.cend(), [](const Record *r) { return r->kind == "replace"; });
        for (const Record *r : about)
            if ((outcome = settleRecord(*r, token, partsIn.isEmpty(), parser.unreadable == 0, exchanged,
                                        left)) != Outcome::notMine)
                break;
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
        for (const std::vector<const Record *> &batch : batches) {
            const auto away = std::find_if(batch.cbegin(), batch.cend(),
                                           [&kept](const Record *r) { return kept.contains(r->key); });
            if (away == batch.cend()) {
                all = settleBatch(batch, token, left) && all;
                continue;
            }
            all = false;
            tellAway(**away);
        }
        for (auto in = parser.partsIn.cbegin(); in != parser.partsIn.cend(); ++in)
            all = settleUnrecordedParts(in.key(), in.value(), known, token, parser.unreadable == 0, left) &&
                  all;
        // Before the walk below, which takes our mark off whatever is no part. Once a start kept the
        // journal for a folder that was gone, its info files were looked at then: the user's made since
        // are not named again at every start.
        if (parser.told.isEmpty()) all = settleTrashInfos(known, token, bornAt(fd.get()), left) && all;
        // A journal cut at a line's end reads whole: the roots of a sync are looked through either way.
        if (parser.unreadable || !parser.roots.isEmpty()) {
            QSet<QString> named = folders;
            for (const Record &r : records)
                for (const QString &path : {r.path, r.other, r.to})
                    if (!path.isEmpty() && named.size() < maxFolders) named.insert(Posix::parentOf(path));
            for (auto in = parser.partsIn.cbegin(); in != parser.partsIn.cend(); ++in)
                if (named.size() < maxFolders) named.insert(in.key());
            all = settleBeneath(named, parser.roots, token, left) && all;
        }
    }
    if (all) ::unlinkat(dirFd, name.constData(), 0);
}

} // namespace

Leftovers settle(const QString &partsIn) {
    Leftovers left;
    // Never read where another account could have put a journal of its own making.
    Fd dirFd(openRecordsFolder(false));
    if (dirFd.get() < 0) return left;
    std::vector<QByteArray> names;
    if (DIR *dir = ::fdopendir(::fcntl(dirFd.get(), F_DUPFD_CLOEXEC, 0))) {
        static const QRegularExpression form(QStringLiteral("^[0-9a-f]{32}\\.log$"));
        while (dirent *e = ::readdir(dir)) {
            if (!form.match(QString::fromLatin1(e->d_name)).hasMatch()) continue;
            if (names.size() < size_t(maxJournals))
                names.emplace_back(e->d_name);
            else if (partsIn.isEmpty() && left.journals.size() < maxJournals)
                left.journals << recordsFolder() + u'/' + QString::fromLatin1(e->d_name);
        }
        ::closedir(dir);
    }
    // This process's own journal is locked through another descriptor: passed over like any running one.
    for (const QByteArray &name : names) {
        try {
            settleJournal(dirFd.get(), name, partsIn, left);
        } catch (const FileError &) {
            // A step refused a name the journal gave: it stays for the next start, and is named.
            if (partsIn.isEmpty()) left.journals << recordsFolder() + u'/' + QString::fromLatin1(name);
        }
    }
    return left;
}

} // namespace FileSteps::Journal
