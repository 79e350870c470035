#include "platform/Trash.h"

#include "platform/FileCopy.h"
#include "platform/HeldTrash.h"
#include "platform/Posix.h"
#include "platform/TrashRoots.h"
#include "platform/Volumes.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QHash>
#include <QSet>
#include <QUrl>

#include <algorithm>
#include <memory>
#include <vector>
#include <cerrno>
#include <climits>
#include <cstring>
#include <utility>

#include <dirent.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace Trash {
namespace {

constexpr qsizetype infoSuffixLength = 10; // ".trashinfo"

Result failed(int err) {
    return Result{Status::failed, err, {}};
}
Result noTrash() {
    return Result{Status::noTrash, 0, {}};
}

// A folder held at fd: its new entries go to stable storage.
int flushFolder(int fd) {
    const int dir = ::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return errno;
    const int e = Posix::flushFile(dir);
    ::close(dir);
    return e == EINVAL ? 0 : e;
}

// Cuts a UTF-8 name to at most max bytes without splitting a character.
QByteArray cutUtf8(const QByteArray &s, qsizetype max) {
    if (s.size() <= max) return s;
    qsizetype n = max;
    while (n > 0 && (uchar(s[n]) & 0xC0) == 0x80)
        --n;
    return s.left(n);
}

QByteArray candidate(const QByteArray &name, int n, qsizetype max) {
    const qsizetype dot = name.lastIndexOf('.');
    QByteArray stem = dot > 0 ? name.left(dot) : name;
    QByteArray ext = dot > 0 ? name.mid(dot) : QByteArray();
    if (ext.size() > max / 2) {
        stem = name;
        ext.clear();
    }
    const QByteArray suffix = n == 1 ? QByteArray() : "_" + QByteArray::number(n);
    return cutUtf8(stem, max - suffix.size() - ext.size()) + suffix + ext;
}

// The top of the volume, or of the bind mount, that shows a held folder: held, with its identity and the
// path the system names it by.
struct Top {
    int fd = -1;
    struct stat st {};
    QByteArray path;
    Top() = default;
    Top(Top &&o) noexcept : fd(std::exchange(o.fd, -1)), st(o.st), path(std::move(o.path)) {}
    Top &operator=(Top &&o) noexcept {
        std::swap(fd, o.fd);
        st = o.st;
        path = o.path;
        return *this;
    }
    ~Top() {
        if (fd >= 0) ::close(fd);
    }
};

struct Root {
    QString path;
    QString topdir; // empty for the home trash
    Held held;
    Top top; // a volume's Trash: the top it was found from
};

std::function<void()> beforeLookup; // tests only

// The path the system has now for what is held at fd, unchecked; empty when it has none.
QByteArray fdPath(int fd) {
    char link[PATH_MAX];
    const QByteArray proc = "/proc/self/fd/" + QByteArray::number(fd);
    const ssize_t n = ::readlink(proc.constData(), link, sizeof link);
    return n > 0 && n < ssize_t(sizeof link) && link[0] == '/' ? QByteArray(link, n) : QByteArray();
}

int statxOf(int fd, struct statx &sx) {
    return ::statx(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_INO | STATX_MNT_ID,
                   &sx) == 0
               ? 0
               : errno;
}

// The top of the mount that shows the folder held at dirFd, found from that folder by identity: up through
// ".." until the file system or the mount changes, or ".." is the folder itself. A path read before, which
// another account may since have pointed elsewhere by a link, plays no part. 0 or errno.
int heldTop(int dirFd, Top &top) {
    int fd = ::openat(dirFd, ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    for (int depth = 0; depth < 4096; ++depth) {
        struct statx at {
        }, above{};
        if (const int e = statxOf(fd, at)) {
            ::close(fd);
            return e;
        }
        const bool mountRoot =
            (at.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) && (at.stx_attributes & STATX_ATTR_MOUNT_ROOT);
        const int up = mountRoot ? -1 : ::openat(fd, "..", O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (!mountRoot && (up < 0 || statxOf(up, above) != 0)) {
            const int e = errno;
            if (up >= 0) ::close(up);
            ::close(fd);
            return e;
        }
        if (mountRoot || above.stx_dev_major != at.stx_dev_major || above.stx_dev_minor != at.stx_dev_minor ||
            ((at.stx_mask & above.stx_mask & STATX_MNT_ID) && at.stx_mnt_id != above.stx_mnt_id) ||
            above.stx_ino == at.stx_ino) {
            if (up >= 0) ::close(up);
            top.fd = fd;
            top.path = fdPath(fd);
            return ::fstat(fd, &top.st) == 0 ? (top.path.isEmpty() ? ENOENT : 0) : errno;
        }
        ::close(fd);
        fd = up;
    }
    ::close(fd);
    return ELOOP;
}

// Whether `relative` (names, no link, no "..") leads from the folder held at topFd to the one held at dirFd.
bool leadsTo(int topFd, const QByteArray &relative, int dirFd) {
    struct stat want, got;
    int fd = ::openat(topFd, ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    for (const QByteArray &part : relative.split('/')) {
        if (fd < 0 || relative.isEmpty()) break;
        const int next = part.isEmpty() || part == "." || part == ".."
                             ? -1
                             : ::openat(fd, part.constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ::close(fd);
        fd = next;
    }
    const bool same = fd >= 0 && ::fstat(fd, &got) == 0 && ::fstat(dirFd, &want) == 0 &&
                      got.st_dev == want.st_dev && got.st_ino == want.st_ino;
    if (fd >= 0) ::close(fd);
    return same;
}

// The item `name` on device dev in the folder held at dirFd is a mount point: the top of its own volume,
// which keeps its Trash inside it. No Trash is looked for (nor made) for it.
bool mountTop(int dirFd, const QByteArray &name, dev_t dev) {
    struct statx stx {};
    struct stat held {};
    return ::fstat(dirFd, &held) != 0 || held.st_dev != dev ||
           (::statx(dirFd, name.constData(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, 0, &stx) == 0 &&
            (stx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) &&
            (stx.stx_attributes & STATX_ATTR_MOUNT_ROOT));
}

// The item `name` of the folder held at dirFd (st: the item itself) is a Trash's own folder or lies in
// one: its info files moved into its files, or a second record leading into it, would leave the entries
// with nothing to put them back by. The folder as the system names it now, and the home trash by identity
// too, which a linked home folder reaches under another path.
bool inATrash(int dirFd, const QString &folder, const QByteArray &name, const struct stat &st) {
    const auto child = Posix::decode(name);
    if (!folder.isEmpty() && child && TrashRoots::isInTrash(Posix::childPath(folder, *child))) return true;
    struct stat home;
    if (!Posix::lstatPath(TrashRoots::homeTrash(), home) || home.st_dev != st.st_dev) return false;
    const auto isHome = [&](const struct stat &s) {
        return s.st_dev == home.st_dev && s.st_ino == home.st_ino;
    };
    if (isHome(st)) return true;
    bool found = false;
    for (int fd = ::openat(dirFd, ".", O_PATH | O_DIRECTORY | O_CLOEXEC); fd >= 0;) {
        struct stat at, above;
        const int up = ::fstat(fd, &at) == 0 && at.st_dev == home.st_dev && !(found = isHome(at))
                           ? ::openat(fd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC)
                           : -1;
        ::close(fd);
        fd = up;
        // The top of the volume is its own parent.
        if (fd >= 0 && ::fstat(fd, &above) == 0 && above.st_dev == at.st_dev && above.st_ino == at.st_ino) {
            ::close(fd);
            fd = -1;
        }
    }
    return found;
}

Result partOfTrash() {
    return Result{Status::failed, EINVAL, {}, true};
}

// The home trash serves its own volume (that of its nearest existing folder).
bool homeServes(dev_t dev) {
    const dev_t homeDev = Volumes::deviceOf(TrashRoots::homeTrash());
    return homeDev != 0 && homeDev == dev;
}

// The home trash, held (made on first use), or an errno (ENOTSUP: there is none).
int homeRoot(Root &root) {
    const QString home = TrashRoots::homeTrash();
    if (!QDir().mkpath(QFileInfo(home).path())) return EACCES;
    root = Root{home, {}, Held::open(home, true), {}};
    return root.held.valid() ? 0 : root.held.error() == EROFS ? EROFS : ENOTSUP;
}

// The Trash of the volume whose top is `top` for an item on device dev, looked up from the top held, or an
// errno (ENOTSUP: there is none).
int volumeRoot(Top &&top, dev_t dev, Root &root) {
    // A top that cannot be named, or on another device than the item, has no Trash we may find.
    const std::optional<QString> mount = Posix::decode(top.path);
    if (!mount || top.st.st_dev != dev) return ENOTSUP;
    const QString base = *mount == u"/" ? QString() : *mount;
    const QString uid = QString::number(::getuid());
    for (const bool shared : {true, false}) {
        root = Root{base + (shared ? QStringLiteral("/.Trash/") : QStringLiteral("/.Trash-")) + uid,
                    *mount,
                    Held::openAt(top.fd, top.path, shared, true),
                    {}};
        if (root.held.valid() && root.held.rootStat().st_dev == dev) {
            root.top = std::move(top);
            return 0;
        }
    }
    return root.held.error() == EROFS ? EROFS : ENOTSUP;
}

// The Trash for an item on device dev in the folder held at dirFd, held, or an errno (ENOTSUP: there is
// none). A volume's Trash is looked up from the top the held folder lies below.
int findRoot(int dirFd, dev_t dev, Root &root) {
    if (homeServes(dev)) return homeRoot(root);
    Top top;
    if (heldTop(dirFd, top) != 0) return ENOTSUP;
    return volumeRoot(std::move(top), dev, root);
}

// The record's Path of an item remembered at `origin` in the folder held at dirFd: in the home trash that
// path; in a volume's Trash the held folder's place below the top the Trash was found from (relative to it),
// checked to lead back to that folder, under the name the item is remembered by. 0, or EAGAIN when the
// folder keeps moving, so that no record names a wrong place.
int storedPath(const Root &root, int dirFd, const QByteArray &origin, QByteArray &out) {
    if (root.topdir.isEmpty()) {
        out = origin;
        return 0;
    }
    const QByteArray name = origin.mid(origin.lastIndexOf('/') + 1);
    const QByteArray &top = root.top.path;
    for (int tries = 0; tries < 3; ++tries) {
        const QByteArray held = fdPath(dirFd);
        QByteArray relative;
        if (held != top) {
            const QByteArray above = top == "/" ? top : top + '/';
            if (!held.startsWith(above)) continue;
            relative = held.mid(above.size());
        }
        if (!leadsTo(root.top.fd, relative, dirFd)) continue;
        const QByteArray place = relative.isEmpty() ? name : relative + '/' + name;
        out = top == "/" ? '/' + place : place;
        return 0;
    }
    return EAGAIN;
}

// The info file `name` in the info folder held at infoFd is with its item now: the mark that proved it
// ours while the item was on its way comes off.
void unmarkInfo(int infoFd, const QByteArray &name) {
    const int fd = ::openat(infoFd, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    ::fremovexattr(fd, FileCopy::partMark);
    ::close(fd);
}

} // namespace

QByteArray encodePath(const QByteArray &path) {
    return QUrl::toPercentEncoding(QString::fromUtf8(path), "/");
}

Result moveToTrash(const QString &path, const QString &shownAs, const InfoHook &beforeInfo,
                   const CarryHook &carry) {
    const auto bytes = Posix::encode(path);
    if (!bytes || !bytes->startsWith('/')) return failed(EINVAL);
    const qsizetype slash = bytes->lastIndexOf('/');
    const int dirFd =
        ::open(slash == 0 ? "/" : bytes->left(slash).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return failed(errno);
    const Result r =
        moveToTrash(dirFd, bytes->mid(slash + 1), shownAs.isEmpty() ? path : shownAs, beforeInfo, carry);
    ::close(dirFd);
    return r;
}

Result moveToTrash(int dirFd, const QByteArray &name, const QString &path, const InfoHook &beforeInfo,
                   const CarryHook &carry) {
    const auto origin = Posix::encode(path);
    if (!origin || !origin->startsWith('/') || name.isEmpty() || name.contains('/') || name == "." ||
        name == "..")
        return failed(EINVAL);
    struct stat st;
    if (::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) return failed(errno);
    // The held folder's path, read once, for the refusal; the Trash's place goes by identity.
    const QString held = Volumes::heldPath(dirFd);
    if (inATrash(dirFd, held, name, st)) return partOfTrash();

    if (beforeLookup) beforeLookup();

    // From here on the Trash's folders are held: one swapped for a link meanwhile takes nothing.
    Root root;
    if (mountTop(dirFd, name, st.st_dev)) return noTrash();
    if (const int e = findRoot(dirFd, st.st_dev, root)) return e == ENOTSUP ? noTrash() : failed(e);
    const auto rootEncoded = Posix::encode(root.path);
    if (!rootEncoded || rootEncoded->isEmpty()) return failed(EILSEQ);
    const QByteArray &rootBytes = *rootEncoded;
    const QByteArray filesDir = rootBytes + "/files";
    const QByteArray infoDir = rootBytes + "/info";
    const int files = root.held.files(), infoFd = root.held.info();

    // Paths in a volume's Trash are kept relative to its top folder.
    QByteArray stored;
    if (const int e = storedPath(root, dirFd, *origin, stored)) return failed(e);
    const QByteArray info =
        "[Trash Info]\nPath=" + encodePath(stored) + "\nDeletionDate=" +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toUtf8() + "\n";

    const QByteArray entryName = origin->mid(origin->lastIndexOf('/') + 1);
    long nameMax = ::fpathconf(infoFd, _PC_NAME_MAX);
    if (nameMax <= 0) nameMax = NAME_MAX;
    const qsizetype max = qsizetype(nameMax) - infoSuffixLength;

    for (int n = 1; n < 100000; ++n) {
        const QByteArray cand = candidate(entryName, n, max);
        const QByteArray target = filesDir + '/' + cand;
        struct stat taken;
        if (::fstatat(files, cand.constData(), &taken, AT_SYMLINK_NOFOLLOW) == 0) continue;
        const QByteArray infoName = cand + ".trashinfo";
        const QByteArray infoPath = infoDir + '/' + infoName;
        QByteArray mark;
        if (beforeInfo && !beforeInfo(infoPath, target, mark)) return failed(errno ? errno : EIO);
        const int fd = ::openat(infoFd, infoName.constData(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return failed(errno);
        }
        // Before any content: a drive without attributes just keeps none.
        if (!mark.isEmpty()) ::fsetxattr(fd, FileCopy::partMark, mark.constData(), size_t(mark.size()), 0);
        int e = Posix::writeAll(fd, info.constData(), info.size());
        // The info file is whole on the disk before its item can be there: else a power cut may leave
        // the item in the Trash with an empty info, which nothing can put back.
        if (!e) e = Posix::flushData(fd);
        if (::close(fd) != 0 && !e && errno != EINTR) e = errno;
        if (!e) e = flushFolder(infoFd);
        if (e) {
            ::unlinkat(infoFd, infoName.constData(), 0);
            return failed(e);
        }
        e = Posix::renameNoReplace(dirFd, name.constData(), files, cand.constData(), &st);
        // The Trash is on the item's device (findRoot): EXDEV here is the drive refusing this rename
        // (overlayfs), not another volume, and the item goes over by a copy.
        const bool carried = e == EXDEV && carry;
        if (carried) e = carry(dirFd, name, files, cand);
        if (e) {
            // A copy that has the entry's name keeps its info file; what stayed behind is an error.
            if (carried && ::fstatat(files, cand.constData(), &taken, AT_SYMLINK_NOFOLLOW) == 0) {
                if (!mark.isEmpty()) unmarkInfo(infoFd, infoName);
                return Result{Status::failed, e, QString::fromUtf8(target)};
            }
            ::unlinkat(infoFd, infoName.constData(), 0);
            if (e == EEXIST && !carried) continue;
            return e == EXDEV && !carried ? noTrash() : failed(e);
        }
        if (!mark.isEmpty()) unmarkInfo(infoFd, infoName);
        return Result{Status::moved, 0, QString::fromUtf8(target)};
    }
    return failed(EEXIST);
}

namespace {

// One item of moveAllToTrash on its way.
struct Going {
    struct stat st {};
    int root = -1; // index of its Trash
    QByteArray cand, infoName, mark, text;
    int fd = -1;        // its info file while it is written and flushed
    bool alone = false; // goes the way of moveToTrash after the others
};

// A Trash of moveAllToTrash, held, with a descriptor that can flush its volume, opened before any info
// file is written (a flush reports write-back errors only to descriptors open before them).
struct GroupRoot {
    dev_t dev = 0;
    bool home = false;
    dev_t topDev = 0; // a volume's Trash: one per top (a bind mount's too)
    ino_t topIno = 0;
    int err = 0;
    Root root;
    QByteArray files, info;
    int flushFd = -1;
    bool eachFile = false; // FUSE: a flush of the file system may not reach the drive
    GroupRoot() = default;
    GroupRoot(const GroupRoot &) = delete;
    GroupRoot &operator=(const GroupRoot &) = delete;
    ~GroupRoot() {
        if (flushFd >= 0) ::close(flushFd);
    }
};

// The Trash of an item on `dev` in the folder held at dirFd among those met so far (the home trash, or
// one per top), found and held on first use.
GroupRoot &groupRoot(std::vector<std::unique_ptr<GroupRoot>> &roots, int dirFd, dev_t dev) {
    const bool home = homeServes(dev);
    Top top;
    const int topErr = home ? 0 : heldTop(dirFd, top);
    for (const auto &r : roots)
        if (r->dev == dev && r->home == home && r->topDev == top.st.st_dev && r->topIno == top.st.st_ino)
            return *r;
    auto &r = *roots.emplace_back(std::make_unique<GroupRoot>());
    r.dev = dev;
    r.home = home;
    r.topDev = top.st.st_dev;
    r.topIno = top.st.st_ino;
    r.err = home ? homeRoot(r.root) : topErr ? ENOTSUP : volumeRoot(std::move(top), dev, r.root);
    const auto bytes = r.err ? std::nullopt : Posix::encode(r.root.path);
    if (!r.err && (!bytes || bytes->isEmpty())) r.err = EILSEQ;
    if (r.err) return r;
    r.files = *bytes + "/files";
    r.info = *bytes + "/info";
    r.flushFd = ::openat(r.root.held.info(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct statfs fs {};
    if (r.flushFd < 0)
        r.err = errno;
    else
        r.eachFile = ::fstatfs(r.flushFd, &fs) != 0 || fs.f_type == 0x65735546;
    return r;
}

} // namespace

QList<Result> moveAllToTrash(const QList<Item> &items, const InfoHook &beforeInfo,
                             const std::function<int()> &recorded, const CarryHook &carry) {
    QList<Result> out(items.size(), failed(EIO));
    std::vector<Going> going(size_t(items.size()));
    std::vector<std::unique_ptr<GroupRoot>> roots;
    QHash<int, int> rootOfFolder; // by the held folder's descriptor: its top is looked for once
    QSet<QByteArray> chosen;      // info names given to an item of this call
    const QByteArray date =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toUtf8();
    const auto drop = [&](Going &g, int e) {
        if (g.fd >= 0) ::close(g.fd);
        g.fd = -1;
        ::unlinkat(roots[size_t(g.root)]->root.held.info(), g.infoName.constData(), 0);
        g.cand.clear();
        return failed(e);
    };
    // Each item's Trash and free names, and its record.
    bool any = false;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const Item &item = items[i];
        Going &g = going[size_t(i)];
        const auto origin = Posix::encode(item.path);
        if (!origin || !origin->startsWith('/') || item.name.isEmpty() || item.name.contains('/') ||
            item.name == "." || item.name == "..") {
            out[i] = failed(EINVAL);
            continue;
        }
        if (::fstatat(item.dirFd, item.name.constData(), &g.st, AT_SYMLINK_NOFOLLOW) != 0) {
            out[i] = failed(errno);
            continue;
        }
        const QString held = Volumes::heldPath(item.dirFd);
        if (inATrash(item.dirFd, held, item.name, g.st)) {
            out[i] = partOfTrash();
            continue;
        }
        if (mountTop(item.dirFd, item.name, g.st.st_dev)) {
            out[i] = noTrash();
            continue;
        }
        if (beforeLookup) beforeLookup();
        if (const auto known = rootOfFolder.constFind(item.dirFd); known != rootOfFolder.cend()) {
            g.root = *known;
        } else {
            GroupRoot &found = groupRoot(roots, item.dirFd, g.st.st_dev);
            g.root = int(
                std::find_if(roots.cbegin(), roots.cend(), [&](const auto &x) { return x.get() == &found; }) -
                roots.cbegin());
            rootOfFolder.insert(item.dirFd, g.root);
        }
        GroupRoot &r = *roots[size_t(g.root)];
        if (r.err) {
            out[i] = r.err == ENOTSUP ? noTrash() : failed(r.err);
            continue;
        }
        QByteArray stored;
        if (const int e = storedPath(r.root, item.dirFd, *origin, stored)) {
            out[i] = failed(e);
            continue;
        }
        g.text = "[Trash Info]\nPath=" + encodePath(stored) + "\nDeletionDate=" + date + "\n";
        const QByteArray entryName = origin->mid(origin->lastIndexOf('/') + 1);
        const int files = r.root.held.files(), infoFd = r.root.held.info();
        long nameMax = ::fpathconf(infoFd, _PC_NAME_MAX);
        if (nameMax <= 0) nameMax = NAME_MAX;
        for (int n = 1; n < 100000 && g.cand.isEmpty(); ++n) {
            const QByteArray cand = candidate(entryName, n, qsizetype(nameMax) - infoSuffixLength);
            const QByteArray infoName = cand + ".trashinfo";
            struct stat taken;
            if (chosen.contains(r.info + '/' + infoName) ||
                ::fstatat(files, cand.constData(), &taken, AT_SYMLINK_NOFOLLOW) == 0 ||
                ::fstatat(infoFd, infoName.constData(), &taken, AT_SYMLINK_NOFOLLOW) == 0)
                continue;
            g.cand = cand;
            g.infoName = infoName;
        }
        if (g.cand.isEmpty()) {
            out[i] = failed(EEXIST);
            continue;
        }
        chosen.insert(r.info + '/' + g.infoName);
        if (beforeInfo && !beforeInfo(r.info + '/' + g.infoName, r.files + '/' + g.cand, g.mark)) {
            out[i] = failed(errno ? errno : EIO);
            g.cand.clear();
            continue;
        }
        any = true;
    }
    // No info file before its record is on the disk.
    if (const int e = any && recorded ? recorded() : 0) {
        for (qsizetype i = 0; i < items.size(); ++i)
            if (!going[size_t(i)].cand.isEmpty()) out[i] = failed(e);
        return out;
    }
    for (qsizetype i = 0; i < items.size(); ++i) {
        Going &g = going[size_t(i)];
        if (g.cand.isEmpty()) continue;
        g.fd = ::openat(roots[size_t(g.root)]->root.held.info(), g.infoName.constData(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (g.fd < 0) {
            // Taken meanwhile: it goes alone, under another name.
            g.alone = errno == EEXIST;
            out[i] = failed(errno);
            g.cand.clear();
            continue;
        }
        if (!g.mark.isEmpty())
            ::fsetxattr(g.fd, FileCopy::partMark, g.mark.constData(), size_t(g.mark.size()), 0);
        if (const int e = Posix::writeAll(g.fd, g.text.constData(), g.text.size())) out[i] = drop(g, e);
    }
    // Every info file whole on the disk before its item can be there.
    for (qsizetype k = 0; k < qsizetype(roots.size()); ++k) {
        GroupRoot &r = *roots[size_t(k)];
        if (r.err) continue;
        int e = 0;
        bool written = false;
        for (Going &g : going)
            if (g.root == k && g.fd >= 0) {
                written = true;
                if (!e && r.eachFile) e = Posix::flushData(g.fd);
            }
        if (written && !e) e = r.eachFile ? Posix::flushFile(r.flushFd) : Posix::flushFileSystem(r.flushFd);
        if (e == EINVAL && r.eachFile) e = 0;
        for (qsizetype i = 0; i < items.size(); ++i) {
            Going &g = going[size_t(i)];
            if (g.root != k || g.fd < 0) continue;
            if (e) {
                out[i] = drop(g, e);
                continue;
            }
            if (::close(g.fd) != 0 && errno != EINTR) {
                g.fd = -1;
                out[i] = drop(g, errno);
            }
            g.fd = -1;
        }
    }
    for (qsizetype i = 0; i < items.size(); ++i) {
        Going &g = going[size_t(i)];
        if (g.cand.isEmpty()) continue;
        const GroupRoot &r = *roots[size_t(g.root)];
        const Item &item = items[i];
        int e = Posix::renameNoReplace(item.dirFd, item.name.constData(), r.root.held.files(),
                                       g.cand.constData(), &g.st);
        const bool carried = e == EXDEV && carry;
        if (carried) e = carry(item.dirFd, item.name, r.root.held.files(), g.cand);
        const QString target = QString::fromUtf8(r.files + '/' + g.cand);
        struct stat taken;
        if (e && carried &&
            ::fstatat(r.root.held.files(), g.cand.constData(), &taken, AT_SYMLINK_NOFOLLOW) == 0) {
            if (!g.mark.isEmpty()) unmarkInfo(r.root.held.info(), g.infoName);
            out[i] = Result{Status::failed, e, target};
        } else if (e) {
            out[i] = e == EXDEV && !carried ? (drop(g, e), noTrash()) : drop(g, e);
            g.alone = e == EEXIST && !carried;
        } else {
            if (!g.mark.isEmpty()) unmarkInfo(r.root.held.info(), g.infoName);
            out[i] = Result{Status::moved, 0, target};
        }
    }
    // One at a time, each info file only once its own record is on the disk.
    const InfoHook durable = [&](const QByteArray &info, const QByteArray &entry, QByteArray &mark) {
        return beforeInfo(info, entry, mark) && recorded() == 0;
    };
    for (qsizetype i = 0; i < items.size(); ++i)
        if (going[size_t(i)].alone)
            out[i] = moveToTrash(items[i].dirFd, items[i].name, items[i].path, durable, carry);
    return out;
}

void setBeforeLookupForTests(std::function<void()> hook) {
    beforeLookup = std::move(hook);
}

QString infoFileFor(const QString &trashedPath) {
    const auto bytes = Posix::encode(QDir::cleanPath(trashedPath));
    return bytes ? QString::fromUtf8(infoFileForRaw(*bytes)) : QString();
}

QByteArray infoFileForRaw(const QByteArray &trashedPath) {
    const qsizetype slash = trashedPath.lastIndexOf('/');
    if (slash < 0 || slash + 1 == trashedPath.size()) return {};
    const std::optional<QString> folder = Posix::decode(trashedPath.left(slash));
    if (!folder || *folder != QDir::cleanPath(*folder)) return {};
    const QString root = TrashRoots::containing(*folder);
    if (root.isEmpty() || *folder != root + QStringLiteral("/files")) return {};
    const QByteArray name = trashedPath.mid(slash + 1);
    if (name == "." || name == "..") return {};
    const auto rootBytes = Posix::encode(root);
    return rootBytes ? *rootBytes + "/info/" + name + ".trashinfo" : QByteArray();
}

std::optional<InfoText> parseInfo(QByteArrayView text) {
    if (text.size() > infoLimit) return std::nullopt;
    bool inGroup = false, seenPath = false;
    QByteArray path;
    QDateTime deleted;
    for (QByteArrayView rest = text; !rest.isEmpty();) {
        const qsizetype nl = rest.indexOf('\n');
        const QByteArrayView line = (nl < 0 ? rest : rest.first(nl)).trimmed();
        rest = nl < 0 ? QByteArrayView() : rest.sliced(nl + 1);
        if (line.startsWith('[')) {
            inGroup = line == "[Trash Info]";
        } else if (inGroup && line.startsWith("Path=") && !seenPath) {
            seenPath = true;
            path = QByteArray::fromPercentEncoding(line.sliced(5).toByteArray());
        } else if (inGroup && line.startsWith("DeletionDate=")) {
            deleted = QDateTime::fromString(QString::fromLatin1(line.sliced(13)), Qt::ISODate);
        }
    }
    if (path.isEmpty() || path.contains('\0')) return std::nullopt;
    std::optional<QString> decoded = Posix::decode(path);
    if (!decoded) return std::nullopt;
    return InfoText{*decoded, deleted};
}

std::optional<QByteArray> withName(QByteArrayView record, const QByteArray &name) {
    if (!parseInfo(record) || name.isEmpty() || name.contains('/') || name == "." || name == "..")
        return std::nullopt;
    QByteArray out;
    bool inGroup = false, done = false;
    for (QByteArrayView rest = record; !rest.isEmpty();) {
        const qsizetype nl = rest.indexOf('\n');
        const QByteArrayView line = nl < 0 ? rest : rest.first(nl + 1);
        rest = rest.sliced(line.size());
        const QByteArrayView bare = line.trimmed();
        if (bare.startsWith('[')) inGroup = bare == "[Trash Info]";
        if (!inGroup || done || !bare.startsWith("Path=")) {
            out += line;
            continue;
        }
        // The folder as written, untouched; only the last name is new.
        done = true;
        QByteArray path = QByteArray::fromPercentEncoding(bare.sliced(5).toByteArray());
        while (path.size() > 1 && path.endsWith('/'))
            path.chop(1);
        const qsizetype slash = path.lastIndexOf('/');
        const QByteArray folder = slash < 0 ? QByteArray() : path.left(slash + 1);
        out += "Path=" + (folder + name).toPercentEncoding("/") + '\n';
    }
    return out;
}

std::optional<QByteArray> readInfoAt(int infoFd, const QByteArray &name) {
    if (infoFd < 0 || name.isEmpty() || name.contains('/')) return std::nullopt;
    const int fd = ::openat(infoFd, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat st;
    std::optional<QByteArray> out;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= infoLimit) {
        const QByteArray data = Posix::readAtMost(fd, qsizetype(st.st_size) + 1);
        if (data.size() <= infoLimit) out = data;
    }
    ::close(fd);
    return out;
}

QString shownName(const QString &entry, const QString &had) {
    if (had.isEmpty() || had == u"." || had == u".." || had.contains(u'/')) return entry;
    return had;
}

QString shownNameAt(int infoFd, const QByteArray &entry, const QString &entryName) {
    const std::optional<QByteArray> data = readInfoAt(infoFd, entry + ".trashinfo");
    const std::optional<InfoText> text = data ? parseInfo(*data) : std::nullopt;
    if (!text) return entryName;
    QStringView path(text->path);
    while (path.endsWith(u'/'))
        path.chop(1);
    return shownName(entryName, path.sliced(path.lastIndexOf(u'/') + 1).toString());
}

Listing list(const QString &folder) {
    Listing out;
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir) {
        out.error = errno;
        return out;
    }
    while (const dirent *entry = ::readdir(dir)) {
        if (!std::strcmp(entry->d_name, ".") || !std::strcmp(entry->d_name, "..")) continue;
        out.names << Posix::shown(entry->d_name, qsizetype(std::strlen(entry->d_name)));
    }
    ::closedir(dir);
    std::sort(out.names.begin(), out.names.end());
    return out;
}

int accessError(const QString &folder) {
    return ::access(QFile::encodeName(folder).constData(), R_OK | X_OK) == 0 ? 0 : errno;
}

} // namespace Trash
