#include "platform/Trash.h"

#include "platform/Posix.h"
#include "platform/TrashRoots.h"
#include "platform/Volumes.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include <dirent.h>

#include <fcntl.h>
#include <sys/stat.h>
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

bool lstatBytes(const QByteArray &p, struct stat &st) {
    return ::lstat(p.constData(), &st) == 0;
}

// A folder we own that is really a folder (not a link), made when missing.
int ensureOwnDir(const QByteArray &p) {
    const bool made = ::mkdir(p.constData(), 0700) == 0;
    if (!made && errno != EEXIST) return errno;
    struct stat st;
    if (!lstatBytes(p, st)) return errno;
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) {
        // A drive that shows every item as one account's (mounted with uid=) holds no folder as ours:
        // the one just made goes again (only while empty).
        if (made) ::rmdir(p.constData());
        return EPERM;
    }
    return 0;
}

int flushFolder(const QByteArray &p) {
    const int fd = ::open(p.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    const int e = Posix::flushFile(fd);
    ::close(fd);
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
};

// The Trash for an item on device dev, or an errno (ENOTSUP: there is none).
int findRoot(const QString &path, dev_t dev, Root &root) {
    const QString home = TrashRoots::homeTrash();
    struct stat st {};
    // The home trash serves its own volume (that of its nearest existing folder); make it on first use.
    if (const dev_t homeDev = Volumes::deviceOf(home); homeDev != 0 && homeDev == dev) {
        if (!QDir().mkpath(home)) return EACCES;
        root = Root{home, {}};
        return 0;
    }
    const QString parent = QFileInfo(path).path();
    const QString mount = Volumes::mountPointOf(parent);
    if (mount.isEmpty()) return ENOTSUP;
    const QString top = mount == u"/" ? QString() : mount;
    const QByteArray uid = QByteArray::number(::getuid());
    // A mount point that cannot be named to the system has no Trash we may find.
    const auto topEncoded = Posix::encode(top);
    if (!topEncoded) return ENOTSUP;
    const QByteArray &topBytes = *topEncoded;

    // A shared .Trash counts only as a sticky folder that is not a link.
    const QByteArray shared = topBytes + "/.Trash";
    if (lstatBytes(shared, st) && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        const QByteArray own = shared + '/' + uid;
        if (ensureOwnDir(own) == 0 && lstatBytes(own, st) && st.st_dev == dev) {
            root = Root{QString::fromUtf8(own), mount};
            return 0;
        }
    }
    const QByteArray own = topBytes + "/.Trash-" + uid;
    const int e = ensureOwnDir(own);
    if (e == EROFS) return EROFS;
    if (e || !lstatBytes(own, st) || st.st_dev != dev) return ENOTSUP;
    root = Root{QString::fromUtf8(own), mount};
    return 0;
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

    Root root;
    if (const int e = findRoot(path, st.st_dev, root)) return e == ENOTSUP ? noTrash() : failed(e);
    const auto rootEncoded = Posix::encode(root.path);
    if (!rootEncoded || rootEncoded->isEmpty()) return failed(EILSEQ);
    const QByteArray &rootBytes = *rootEncoded;
    const QByteArray filesDir = rootBytes + "/files";
    const QByteArray infoDir = rootBytes + "/info";
    for (const QByteArray &d : {rootBytes, filesDir, infoDir})
        if (const int e = ensureOwnDir(d)) return e == EROFS ? failed(e) : noTrash();

    // Paths in a volume's Trash are kept relative to its top folder.
    QByteArray stored = *origin;
    if (!root.topdir.isEmpty() && root.topdir != u"/") {
        const auto topdir = Posix::encode(root.topdir);
        if (!topdir) return failed(EILSEQ);
        const QByteArray top = *topdir + '/';
        if (stored.startsWith(top)) stored = stored.mid(top.size());
    }
    const QByteArray info =
        "[Trash Info]\nPath=" + encodePath(stored) + "\nDeletionDate=" +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toUtf8() + "\n";

    const QByteArray entryName = origin->mid(origin->lastIndexOf('/') + 1);
    long nameMax = ::pathconf(infoDir.constData(), _PC_NAME_MAX);
    if (nameMax <= 0) nameMax = NAME_MAX;
    const qsizetype max = qsizetype(nameMax) - infoSuffixLength;

    for (int n = 1; n < 100000; ++n) {
        const QByteArray cand = candidate(entryName, n, max);
        const QByteArray target = filesDir + '/' + cand;
        struct stat taken;
        if (lstatBytes(target, taken)) continue;
        const QByteArray infoPath = infoDir + '/' + cand + ".trashinfo";
        if (beforeInfo && !beforeInfo(infoPath, target)) return failed(errno ? errno : EIO);
        const int fd = ::open(infoPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return failed(errno);
        }
        int e = Posix::writeAll(fd, info.constData(), info.size());
        // The info file is whole on the disk before its item can be there: else a power cut may leave
        // the item in the Trash with an empty info, which nothing can put back.
        if (!e) e = Posix::flushData(fd);
        if (::close(fd) != 0 && !e && errno != EINTR) e = errno;
        if (!e) e = flushFolder(infoDir);
        if (e) {
            ::unlink(infoPath.constData());
            return failed(e);
        }
        e = Posix::renameNoReplace(dirFd, name.constData(), AT_FDCWD, target.constData(), &st);
        // The Trash is on the item's device (findRoot): EXDEV here is the drive refusing this rename
        // (overlayfs), not another volume, and the item goes over by a copy.
        const bool carried = e == EXDEV && carry;
        if (carried) e = carry(dirFd, name, target);
        if (e) {
            // A copy that has the entry's name keeps its info file; what stayed behind is an error.
            if (carried && lstatBytes(target, taken))
                return Result{Status::failed, e, QString::fromUtf8(target)};
            ::unlink(infoPath.constData());
            if (e == EEXIST && !carried) continue;
            return e == EXDEV && !carried ? noTrash() : failed(e);
        }
        return Result{Status::moved, 0, QString::fromUtf8(target)};
    }
    return failed(EEXIST);
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

QList<QByteArray> entries(const QString &folder) {
    QList<QByteArray> out;
    const auto bytes = Posix::encode(folder);
    if (!bytes) return out;
    DIR *dir = ::opendir(bytes->constData());
    if (!dir) return out;
    while (const dirent *entry = ::readdir(dir)) {
        const char *name = entry->d_name;
        if (!std::strcmp(name, ".") || !std::strcmp(name, "..") || !std::strcmp(name, ".DS_Store")) continue;
        out << *bytes + '/' + name;
    }
    ::closedir(dir);
    return out;
}

QList<QByteArray> contents(const QStringList &folders) {
    QList<QByteArray> out;
    for (const QString &folder : folders)
        out += entries(folder);
    return out;
}

void dropOrphanInfos(const QStringList &folders) {
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (const QString &folder : folders) {
        if (!folder.endsWith(QStringLiteral("/files"))) continue;
        const auto files = Posix::encode(folder);
        if (!files) continue;
        for (const QByteArray &info : entries(folder.chopped(6) + QStringLiteral("/info"))) {
            if (!info.endsWith(".trashinfo")) continue;
            const QByteArray name = info.mid(info.lastIndexOf('/') + 1).chopped(infoSuffixLength);
            struct stat st {};
            if (lstatBytes(*files + '/' + name, st)) continue;
            if (!lstatBytes(info, st) || now - st.st_mtime < 60) continue;
            ::unlink(info.constData());
        }
    }
}

void dropInfoOfGone(const QString &trashedPath) {
    struct stat st {};
    const QString info = infoFileFor(trashedPath);
    if (info.isEmpty() || Posix::lstatPath(trashedPath, st)) return;
    if (const auto bytes = Posix::encode(info)) ::unlink(bytes->constData());
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
