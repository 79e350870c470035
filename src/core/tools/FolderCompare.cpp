#include "core/tools/FolderCompare.h"

#include "core/filesteps/FileSteps.h"
#include "core/localisation/AppLanguage.h"
#include "core/localisation/FileFmt.h"
#include "core/localisation/Lang.h"
#include "platform/Posix.h"

#include <QCollator>
#include <QHash>
#include <QLocale>
#include <QTimeZone>

#include <algorithm>
#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

bool EntryFacts::isDir() const {
    return S_ISDIR(type);
}

namespace SyncModes {

const char *title(SyncMode mode) {
    switch (mode) {
    case SyncMode::leftToRight:
        return K("Links → Rechts");
    case SyncMode::both:
        return K("Beidseitig (Neueres gewinnt)");
    case SyncMode::rightToLeft:
        return K("Rechts → Links");
    }
    return "";
}

std::optional<SyncMode> fromRaw(int raw) {
    if (raw < 0 || raw > 2) return std::nullopt;
    return static_cast<SyncMode>(raw);
}

} // namespace SyncModes

namespace FolderCompare {

namespace {

constexpr qint64 toleranceNs = 2'000'000'000;

struct Listing {
    int err = 0; // 0 when the folder could be listed
    QStringList names;
    QStringList badNames; // shown forms of names that are not valid UTF-8
};

// The entries of an open folder; the descriptor stays open for the caller.
Listing list(int fd) {
    Listing out;
    const int own = fd < 0 ? -1 : ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    DIR *dir = own < 0 ? nullptr : ::fdopendir(own);
    if (!dir) {
        out.err = fd < 0 ? EBADF : errno;
        if (own >= 0) ::close(own);
        return out;
    }
    ::rewinddir(dir);
    errno = 0;
    while (const dirent *e = ::readdir(dir)) {
        const char *n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
        const qsizetype len = qsizetype(std::strlen(n));
        const std::optional<QString> name = Posix::decode(n, len);
        if (!name) {
            out.badNames << Posix::shown(n, len);
            continue;
        }
        if (isIgnored(*name)) continue;
        out.names << *name;
    }
    if (errno != 0) out.err = errno;
    ::closedir(dir);
    return out;
}

// A folder below an open one, without following a link; -1 with errno when it cannot be opened.
int openBelow(int parent, const QString &name) {
    return ::openat(parent, name.toUtf8().constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

EntryFacts factsOf(const struct stat &st) {
    EntryFacts f;
    f.type = st.st_mode & S_IFMT;
    f.size = st.st_size;
    f.timeNs = qint64(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    f.dev = st.st_dev;
    f.ino = st.st_ino;
    return f;
}

// The key under which names clash on a file system that folds case or normalises.
QString foldKey(const QString &name) {
    return name.normalized(QString::NormalizationForm_C).toCaseFolded();
}

// Whether the volume of the folder open at fd takes two names that differ only in letter case (byCase), or
// only in Unicode form, for one. Asked of the folder's own entries first: a spelling no entry is stored
// under, looked up. Else its case-folding flag and its file system; one not known to keep such names
// apart counts as folding, so that its clashes stay rows of their own.
bool foldsNames(int fd, const QStringList &names, bool byCase) {
    if (unsigned flags = 0; ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_CASEFOLD_FL))
        return true;
    int asked = 0;
    for (const QString &name : names) {
        QString other;
        if (byCase) {
            for (const QString &c : {name.toUpper(), name.toLower()})
                if (c != name && !names.contains(c)) {
                    other = c;
                    break;
                }
        } else {
            for (const QString &c : {name.normalized(QString::NormalizationForm_D),
                                     name.normalized(QString::NormalizationForm_C)})
                if (c != name && !names.contains(c)) {
                    other = c;
                    break;
                }
        }
        if (other.isEmpty()) continue;
        struct stat item;
        if (::fstatat(fd, name.toUtf8().constData(), &item, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (const std::optional<bool> finds = FileSteps::findsUnder(fd, item, name, other, names))
            return *finds;
        if (++asked == 8) break;
    }
    struct statfs fs;
    if (::fstatfs(fd, &fs) != 0) return true;
    switch (quint32(fs.f_type)) {
    case 0xEF53:     // ext2, ext3, ext4
    case 0x9123683E: // btrfs
    case 0x58465342: // XFS
    case 0x01021994: // tmpfs
    case 0xF2F52010: // F2FS
    case 0x794C7630: // overlayfs
    case 0x2FC12FC1: // ZFS
    case 0xCA451A4E: // bcachefs
    case 0x6969:     // NFS
        return false;
    default:
        return true;
    }
}

struct Side {
    std::optional<EntryFacts> facts;
    int err = 0; // errno when the entry exists but cannot be read
};

struct Walker {
    QString left, right;
    const std::function<bool()> &isCancelled;
    QCollator collator;
    QList<CompareRow> rows;
    bool cancelled = false;
    QString error;
    // A folder met on one side that is the other side's root: a bind mount shows one tree inside the other.
    std::pair<dev_t, ino_t> leftRoot{}, rightRoot{};

    bool stop() {
        if (!error.isEmpty()) return true;
        if (!cancelled && isCancelled && isCancelled()) cancelled = true;
        return cancelled;
    }

    static QString join(const QString &root, const QString &rel) {
        return rel.isEmpty() ? root : Posix::childPath(root, rel);
    }

    static Side read(const QString &path) {
        Side s;
        s.facts = facts(path, &s.err);
        return s;
    }
    // An entry of an open folder (the name is valid UTF-8, so its bytes are its UTF-8 form).
    static Side read(int dirFd, const QString &name) {
        Side s;
        struct stat st;
        if (::fstatat(dirFd, name.toUtf8().constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
            s.facts = factsOf(st);
        else if (errno != ENOENT)
            s.err = errno;
        return s;
    }

    static void fill(CompareRow &row, const Side &l, const Side &r) {
        if (l.facts) {
            row.leftFacts = l.facts;
            row.leftSize = l.facts->size;
            row.leftDate = date(l.facts->timeNs);
        }
        if (r.facts) {
            row.rightFacts = r.facts;
            row.rightSize = r.facts->size;
            row.rightDate = date(r.facts->timeNs);
        }
    }

    void add(const QString &id, CompareRow::Status status, const Side &l, const Side &r, bool isDir,
             const QString &note = {}) {
        CompareRow row;
        row.id = id;
        row.status = status;
        row.isDir = isDir;
        row.note = note;
        fill(row, l, r);
        rows << row;
    }

    static bool isRoot(const Side &s, const std::pair<dev_t, ino_t> &root) {
        return s.facts && s.facts->isDir() && s.facts->dev == root.first && s.facts->ino == root.second;
    }

    static QString unreadableNote(int err) { return LF("Nicht lesbar: %@", Posix::errorText(err)); }

    // Walks the folder pair rel, open as lfd and rfd (-1 with errno when it could not be opened).
    void walk(const QString &rel, int depth, int lfd, int rfd, int openErr) {
        if (stop()) return;
        Listing l = list(lfd), r = list(rfd);
        if (openErr) l.err = openErr;
        if (l.err || r.err) {
            const QString note = unreadableNote(l.err ? l.err : r.err);
            if (rel.isEmpty())
                error = note;
            else
                add(rel, CompareRow::Status::unreadable, read(join(left, rel)), read(join(right, rel)), true,
                    note);
            return;
        }
        const auto child = [&](const QString &name) { return rel.isEmpty() ? name : rel + u'/' + name; };

        // Names that cannot be read as text are reported, never silently dropped.
        QStringList bad = l.badNames + r.badNames;
        bad.removeDuplicates();
        for (const QString &shown : bad)
            add(child(shown), CompareRow::Status::badName, {}, {}, false,
                L("Name ist kein gültiges UTF-8 und wird nicht abgeglichen"));

        QStringList names = l.names + r.names;
        names.removeDuplicates();
        QHash<QString, QStringList> folded;
        for (const QString &n : names)
            folded[foldKey(n)] << n;
        // Names one only by letter case or Unicode form are one where either side's volume takes them for
        // one (asked once a folder, and only when such names meet); elsewhere they are items of their own.
        std::optional<bool> folds[2][2]; // [left, right][by case, by form]
        const auto foldedOnEither = [&](bool byCase) {
            for (int side = 0; side < 2; ++side) {
                std::optional<bool> &f = folds[side][byCase ? 0 : 1];
                if (!f) f = side == 0 ? foldsNames(lfd, l.names, byCase) : foldsNames(rfd, r.names, byCase);
                if (*f) return true;
            }
            return false;
        };
        QHash<QString, bool> clashes;
        const auto clash = [&](const QString &name) {
            const QString key = foldKey(name);
            const QStringList &same = folded[key];
            if (same.size() < 2) return false;
            if (const auto it = clashes.constFind(key); it != clashes.cend()) return *it;
            QStringList forms;
            for (const QString &n : same)
                forms << n.normalized(QString::NormalizationForm_C);
            forms.removeDuplicates();
            const bool byCase = forms.size() > 1, byForm = forms.size() < same.size();
            return clashes[key] = (byCase && foldedOnEither(true)) || (byForm && foldedOnEither(false));
        };

        for (const QString &name : collated(names)) {
            if (stop()) return;
            const QString id = child(name);
            const Side ls = read(lfd, name);
            const Side rs = read(rfd, name);
            if (ls.err || rs.err) {
                const bool dir = (ls.facts && ls.facts->isDir()) || (rs.facts && rs.facts->isDir());
                add(id, CompareRow::Status::unreadable, ls, rs, dir,
                    unreadableNote(ls.err ? ls.err : rs.err));
                continue;
            }
            if (!ls.facts && !rs.facts) continue;
            if (isRoot(ls, rightRoot) || isRoot(rs, leftRoot)) {
                error = L("Ein Ordner liegt im anderen.");
                return;
            }
            if (clash(name)) {
                const bool dir = (ls.facts ? ls.facts : rs.facts)->isDir();
                add(id, CompareRow::Status::conflict, ls, rs, dir,
                    L("Namen unterscheiden sich nur in Groß-/Kleinschreibung oder Unicode-Form"));
                continue;
            }
            if (ls.facts && rs.facts && ls.facts->isDir() && rs.facts->isDir())
                descend(id, name, ls, rs, depth + 1, lfd, rfd);
            else
                addEntry(id, ls, rs);
        }
    }

    // The names in the collator's order, equal keys by their code points.
    QStringList collated(const QStringList &names) const {
        struct Keyed {
            QCollatorSortKey key;
            QString name;
        };
        std::vector<Keyed> keyed;
        keyed.reserve(size_t(names.size()));
        for (const QString &n : names)
            keyed.push_back({collator.sortKey(n), n});
        std::sort(keyed.begin(), keyed.end(), [](const Keyed &a, const Keyed &b) {
            const int c = a.key.compare(b.key);
            return c != 0 ? c < 0 : a.name < b.name;
        });
        QStringList out;
        out.reserve(names.size());
        for (const Keyed &k : keyed)
            out << k.name;
        return out;
    }

    // An entry on one side only, or on both and no pair of folders: the same, different, or newer on one
    // side.
    void addEntry(const QString &id, const Side &ls, const Side &rs) {
        // Never an empty document to copy: a row of its own, shown and left alone.
        const auto special = [](const Side &s) {
            return s.facts && !S_ISREG(s.facts->type) && !S_ISDIR(s.facts->type) && !S_ISLNK(s.facts->type);
        };
        if (special(ls) || special(rs)) {
            add(id, CompareRow::Status::special, ls, rs, false,
                L("Pipe, Socket oder Gerät – wird nicht abgeglichen"));
            return;
        }
        if (!rs.facts) {
            add(id, CompareRow::Status::onlyLeft, ls, rs, ls.facts->isDir());
            return;
        }
        if (!ls.facts) {
            add(id, CompareRow::Status::onlyRight, ls, rs, rs.facts->isDir());
            return;
        }
        const EntryFacts &a = *ls.facts, &b = *rs.facts;
        if (a.isDir() != b.isDir() || a.type != b.type) {
            // A folder against a file, or a link against a file: never the same entry.
            add(id, CompareRow::Status::different, ls, rs, false);
            return;
        }
        const qint64 dt = a.timeNs - b.timeNs;
        if (dt >= -toleranceNs && dt <= toleranceNs) {
            if (a.size != b.size) add(id, CompareRow::Status::different, ls, rs, false);
            return;
        }
        add(id, dt > 0 ? CompareRow::Status::leftNewer : CompareRow::Status::rightNewer, ls, rs, false);
    }

    // Into a folder present on both sides; one that cannot be listed on either side becomes one
    // unreadable row, so the other side's entries never look one-sided.
    void descend(const QString &id, const QString &name, const Side &ls, const Side &rs, int depth,
                 int lparent, int rparent) {
        if (depth > maxDepth) {
            add(id, CompareRow::Status::unreadable, ls, rs, true, L("Zu tief verschachtelt"));
            return;
        }
        const int lfd = openBelow(lparent, name);
        int err = lfd < 0 ? errno : 0;
        const int rfd = openBelow(rparent, name);
        if (rfd < 0 && !err) err = errno;
        walk(id, depth, lfd, rfd, err);
        if (lfd >= 0) ::close(lfd);
        if (rfd >= 0) ::close(rfd);
    }
};

QString rootError(const QString &root) {
    const std::optional<QByteArray> p = Posix::encode(root);
    int err = EILSEQ;
    if (p) {
        DIR *dir = ::opendir(p->constData());
        if (dir) {
            ::closedir(dir);
            return {};
        }
        err = errno;
    }
    return LF("Der Ordner „%@“ lässt sich nicht lesen: %@", root, Posix::errorText(err));
}

} // namespace

bool isIgnored(const QString &name) {
    static const QStringList ignored{QStringLiteral(".DS_Store"),       QStringLiteral(".Trash"),
                                     QStringLiteral(".Spotlight-V100"), QStringLiteral(".fseventsd"),
                                     QStringLiteral(".localized"),      QStringLiteral(".TemporaryItems")};
    return name.startsWith(QLatin1String("._")) || ignored.contains(name);
}

QDateTime date(qint64 timeNs) {
    return QDateTime::fromMSecsSinceEpoch(timeNs / 1'000'000, QTimeZone::utc());
}

std::optional<EntryFacts> facts(const QString &path, int *err) {
    if (err) *err = 0;
    struct stat st;
    const int e = Posix::lstatError(path, st);
    if (e == ENOENT) return std::nullopt;
    if (e) {
        if (err) *err = e;
        return std::nullopt;
    }
    return factsOf(st);
}

std::optional<EntryFacts> factsAt(int dirFd, const QByteArray &name, int *err, struct stat *seen) {
    if (err) *err = 0;
    struct stat own;
    struct stat &st = seen ? *seen : own;
    if (::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) return factsOf(st);
    if (err && errno != ENOENT) *err = errno;
    return std::nullopt;
}

QStringList leftOut(const QList<CompareRow> &rows) {
    QStringList ids;
    for (const CompareRow &row : rows)
        if (row.status == CompareRow::Status::unreadable || row.status == CompareRow::Status::conflict ||
            row.status == CompareRow::Status::badName || row.status == CompareRow::Status::special)
            ids << row.id;
    return ids;
}

QString leftOutText(const QStringList &ids) {
    if (ids.isEmpty()) return {};
    const QString list = FileFmt::firstNamed(ids);
    // clang-format off
    return LP("Ausgelassen: %d Zeile, die sich nicht synchronisieren lässt: %@.|Ausgelassen: %d Zeilen, die sich nicht synchronisieren lassen: %@.",
              ids.size(), ids.size(), list);
    // clang-format on
}

bool nested(const QString &a, const QString &b) {
    return FileSteps::foldersNested(a, b);
}

std::optional<RootId> rootId(const QString &path) {
    const std::optional<QByteArray> p = Posix::encode(path);
    struct statx sx;
    if (!p || ::statx(AT_FDCWD, p->constData(), AT_NO_AUTOMOUNT, STATX_INO | STATX_MNT_ID, &sx) != 0)
        return std::nullopt;
    RootId id;
    id.dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    id.ino = sx.stx_ino;
    if (sx.stx_mask & STATX_MNT_ID) id.mount = sx.stx_mnt_id;
    return id;
}

CompareResult scan(const QString &left, const QString &right, const std::function<bool()> &isCancelled) {
    CompareResult result;
    for (const QString &root : {left, right}) {
        result.error = rootError(root);
        if (!result.error.isEmpty()) return result;
    }
    if (nested(left, right)) {
        result.error = L("Ein Ordner liegt im anderen.");
        return result;
    }
    result.leftId = rootId(left);
    result.rightId = rootId(right);
    Walker w{left, right, isCancelled, QCollator(AppLanguages::locale(Lang::current())), {}, false, {}};
    if (result.leftId) w.leftRoot = {result.leftId->dev, result.leftId->ino};
    if (result.rightId) w.rightRoot = {result.rightId->dev, result.rightId->ino};
    w.collator.setNumericMode(true);
    w.collator.setCaseSensitivity(Qt::CaseInsensitive);
    const std::optional<QByteArray> lp = Posix::encode(left), rp = Posix::encode(right);
    const int lfd = lp ? ::open(lp->constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    int err = lfd < 0 ? (lp ? errno : EILSEQ) : 0;
    const int rfd = rp ? ::open(rp->constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    if (rfd < 0 && !err) err = rp ? errno : EILSEQ;
    w.walk(QString(), 0, lfd, rfd, err);
    if (lfd >= 0) ::close(lfd);
    if (rfd >= 0) ::close(rfd);
    result.rows = std::move(w.rows);
    result.cancelled = w.cancelled;
    if (!w.error.isEmpty()) {
        result.rows.clear();
        result.error = w.error;
    }
    return result;
}

const char *keptReason(const CompareRow &row, SyncMode mode) {
    // A one-way sync never puts an older file over a newer one, mirror or not.
    const bool newerOnTarget =
        (mode == SyncMode::leftToRight && row.status == CompareRow::Status::rightNewer) ||
        (mode == SyncMode::rightToLeft && row.status == CompareRow::Status::leftNewer);
    return newerOnTarget ? K("Auf dem Ziel neuer – bleibt, wie es ist") : "";
}

SyncAction action(const CompareRow &row, SyncMode mode, bool deleteExtra) {
    using S = CompareRow::Status;
    using A = SyncAction;
    const bool ltr = mode == SyncMode::leftToRight, both = mode == SyncMode::both;
    switch (row.status) {
    case S::onlyLeft:
        return ltr || both ? A::toRight : (deleteExtra ? A::trashLeft : A::none);
    case S::onlyRight:
        return both || !ltr ? A::toLeft : (deleteExtra ? A::trashRight : A::none);
    case S::leftNewer:
        return ltr || both ? A::toRight : A::none;
    case S::rightNewer:
        return ltr ? A::none : A::toLeft;
    case S::different:
        return ltr ? A::toRight : (both ? A::none : A::toLeft);
    case S::unreadable:
    case S::conflict:
    case S::badName:
    case S::special:
        return A::none;
    }
    return A::none;
}

} // namespace FolderCompare
