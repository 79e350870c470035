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
#include <QSet>
#include <QUrl>

#include <algorithm>
#include <memory>
#include <vector>
#include <cerrno>
#include <climits>
#include <cstring>

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

struct Root {
    QString path;
    QString topdir; // empty for the home trash
    Held held;
};

// The real path of the folder held at dirFd, by which a volume's Trash and its record are found: the path
// given may reach it through a linked folder, which is no volume's top. The given path's folder where the
// held one has no path the system can name.
QString realFolder(const QString &held, const QString &path) {
    return held.isEmpty() ? QFileInfo(path).path() : held;
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

// The Trash for an item on device dev in `folder`, held, or an errno (ENOTSUP: there is none).
int findRoot(const QString &folder, dev_t dev, Root &root) {
    const QString home = TrashRoots::homeTrash();
    // The home trash serves its own volume (that of its nearest existing folder); make it on first use.
    if (const dev_t homeDev = Volumes::deviceOf(home); homeDev != 0 && homeDev == dev) {
        if (!QDir().mkpath(QFileInfo(home).path())) return EACCES;
        root = Root{home, {}, Held::open(home, true)};
        return root.held.valid() ? 0 : root.held.error() == EROFS ? EROFS : ENOTSUP;
    }
    const QString mount = Volumes::mountPointOf(folder);
    if (mount.isEmpty()) return ENOTSUP;
    const QString top = mount == u"/" ? QString() : mount;
    const QString uid = QString::number(::getuid());
    // A mount point that cannot be named to the system has no Trash we may find.
    if (!Posix::encode(top)) return ENOTSUP;
    // The top found by its path must be the held folder's volume.
    struct stat topSt {};
    if (!Posix::lstatPath(mount, topSt) || topSt.st_dev != dev) return ENOTSUP;

    root = Root{top + QStringLiteral("/.Trash/") + uid, mount,
                Held::open(top + QStringLiteral("/.Trash/") + uid, true)};
    if (root.held.valid() && root.held.rootStat().st_dev == dev) return 0;
    root = Root{top + QStringLiteral("/.Trash-") + uid, mount,
                Held::open(top + QStringLiteral("/.Trash-") + uid, true)};
    if (root.held.valid() && root.held.rootStat().st_dev == dev) return 0;
    return root.held.error() == EROFS ? EROFS : ENOTSUP;
}

// The record's Path of an item remembered at `origin`: in the home trash that path; in a volume's Trash
// the item's real place, below the volume's top (relative to it), under the name it is remembered by.
std::optional<QByteArray> storedPath(const Root &root, const QString &folder, const QByteArray &origin) {
    if (root.topdir.isEmpty()) return origin;
    const auto real = Posix::encode(folder);
    const auto topdir = Posix::encode(root.topdir);
    if (!real || !topdir) return std::nullopt;
    const QByteArray name = origin.mid(origin.lastIndexOf('/') + 1);
    const QByteArray place = (*real == "/" ? QByteArray() : *real) + '/' + name;
    if (root.topdir == u"/") return place;
    const QByteArray top = *topdir + '/';
    return place.startsWith(top) ? place.mid(top.size()) : origin;
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
    // The held folder's path, read once: both the refusal and the Trash's place go by it.
    const QString held = Volumes::heldPath(dirFd);
    if (inATrash(dirFd, held, name, st)) return partOfTrash();

    // From here on the Trash's folders are held: one swapped for a link meanwhile takes nothing.
    Root root;
    if (mountTop(dirFd, name, st.st_dev)) return noTrash();
    const QString folder = realFolder(held, path);
    if (const int e = findRoot(folder, st.st_dev, root)) return e == ENOTSUP ? noTrash() : failed(e);
    const auto rootEncoded = Posix::encode(root.path);
    if (!rootEncoded || rootEncoded->isEmpty()) return failed(EILSEQ);
    const QByteArray &rootBytes = *rootEncoded;
    const QByteArray filesDir = rootBytes + "/files";
    const QByteArray infoDir = rootBytes + "/info";
    const int files = root.held.files(), infoFd = root.held.info();

    // Paths in a volume's Trash are kept relative to its top folder.
    const std::optional<QByteArray> stored = storedPath(root, folder, *origin);
    if (!stored) return failed(EILSEQ);
    const QByteArray info =
        "[Trash Info]\nPath=" + encodePath(*stored) + "\nDeletionDate=" +
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

// The Trash of an item on `dev` among those met so far, found and held on first use.
GroupRoot &groupRoot(std::vector<std::unique_ptr<GroupRoot>> &roots, const QString &folder, dev_t dev) {
    for (const auto &r : roots)
        if (r->dev == dev) return *r;
    auto &r = *roots.emplace_back(std::make_unique<GroupRoot>());
    r.dev = dev;
    r.err = findRoot(folder, dev, r.root);
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
    QSet<QByteArray> chosen; // info names given to an item of this call
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
        const QString folder = realFolder(held, item.path);
        GroupRoot &r = groupRoot(roots, folder, g.st.st_dev);
        g.root =
            int(std::find_if(roots.cbegin(), roots.cend(), [&](const auto &x) { return x.get() == &r; }) -
                roots.cbegin());
        if (r.err) {
            out[i] = r.err == ENOTSUP ? noTrash() : failed(r.err);
            continue;
        }
        const std::optional<QByteArray> stored = storedPath(r.root, folder, *origin);
        if (!stored) {
            out[i] = failed(EILSEQ);
            continue;
        }
        g.text = "[Trash Info]\nPath=" + encodePath(*stored) + "\nDeletionDate=" + date + "\n";
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
