#include "platform/HeldTrash.h"

#include "platform/Posix.h"
#include "platform/TrashRoots.h"

#include <QDateTime>
#include <QDir>

#include <cerrno>
#include <cstring>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace Trash {
namespace {

constexpr int pathFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

int failWith(int fd, int e) {
    if (fd >= 0) ::close(fd);
    errno = e;
    return -1;
}

// `name` in the folder `dir` as a folder of the user's own, not a link (made first with `create`).
// The descriptor, or -1 and errno (EPERM: a link, no folder, or another account's).
int ownFolderAt(int dir, const char *name, bool create, struct stat *out = nullptr) {
    const bool made = create && ::mkdirat(dir, name, 0700) == 0;
    if (create && !made && errno != EEXIST) return -1;
    const int fd = ::openat(dir, name, pathFlags | O_NOFOLLOW);
    if (fd < 0) return failWith(-1, errno == ENOTDIR || errno == ELOOP ? EPERM : errno);
    struct stat st;
    if (::fstat(fd, &st) != 0) return failWith(fd, errno);
    if (st.st_uid != ::getuid()) {
        // A drive that shows every item as one account's (mounted with uid=) holds no folder as ours:
        // the one just made goes again (only while empty).
        if (made) ::unlinkat(dir, name, AT_REMOVEDIR);
        return failWith(fd, EPERM);
    }
    if (out) *out = st;
    return fd;
}

// A shared <top>/.Trash in the top held at topFd: a real sticky folder that root or the owner of <top>
// made, so that nobody else can rename the user's folder inside it. -1 and errno otherwise.
int sharedTrashIn(int topFd) {
    struct stat topSt, st;
    const int fd = ::fstat(topFd, &topSt) == 0 ? ::openat(topFd, ".Trash", pathFlags | O_NOFOLLOW) : -1;
    if (fd < 0) return failWith(-1, errno == ENOTDIR || errno == ELOOP ? EPERM : errno);
    if (::fstat(fd, &st) != 0) return failWith(fd, errno);
    if (!(st.st_mode & S_ISVTX) || (st.st_uid != 0 && st.st_uid != topSt.st_uid)) return failWith(fd, EPERM);
    return fd;
}

int sharedTrashAt(const QByteArray &top) {
    const int topFd = ::open(top.constData(), pathFlags);
    if (topFd < 0) return -1;
    const int fd = sharedTrashIn(topFd);
    const int e = errno;
    ::close(topFd);
    errno = e;
    return fd;
}

int readable(int fd) {
    return ::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// The names in a folder held at fd, but "." and "..".
QList<QByteArray> namesIn(int fd) {
    QList<QByteArray> out;
    const int dirFd = fd < 0 ? -1 : readable(fd);
    if (dirFd < 0) return out;
    DIR *dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return out;
    }
    while (const dirent *entry = ::readdir(dir))
        if (std::strcmp(entry->d_name, ".") && std::strcmp(entry->d_name, "..")) out << entry->d_name;
    ::closedir(dir);
    return out;
}

QByteArray infoName(const QByteArray &name) {
    return name + ".trashinfo";
}

} // namespace

Held Held::open(const QString &root, bool create) {
    Held h;
    const QString clean = QDir::cleanPath(root);
    const auto bytes = Posix::encode(clean);
    if (!bytes || !bytes->startsWith('/') || bytes->size() < 2) {
        h.error_ = EINVAL;
        return h;
    }
    const qsizetype slash = bytes->lastIndexOf('/');
    const QByteArray parent = slash == 0 ? QByteArray("/") : bytes->left(slash);
    const QByteArray last = bytes->mid(slash + 1);
    const bool shared = last == QByteArray::number(::getuid()) &&
                        (parent == "/.Trash" || parent.endsWith("/.Trash")) &&
                        clean != TrashRoots::homeTrash();
    // The folder above the root is taken by its path, as the user's mount or home: links up to there are
    // the system's or the user's own.
    const int above = shared ? sharedTrashAt(parent.size() == 7 ? QByteArray("/") : parent.chopped(7))
                             : ::open(parent.constData(), pathFlags);
    return openIn(above, last, *bytes, create);
}

Held Held::openAt(int topFd, const QByteArray &topPath, bool shared, bool create) {
    const QByteArray uid = QByteArray::number(::getuid());
    const QByteArray top = topPath == "/" ? QByteArray() : topPath;
    const int above = shared ? sharedTrashIn(topFd) : ::openat(topFd, ".", pathFlags);
    return openIn(above, shared ? uid : ".Trash-" + uid, top + (shared ? "/.Trash/" : "/.Trash-") + uid,
                  create);
}

Held Held::openIn(int above, const QByteArray &last, const QByteArray &rootPath, bool create) {
    Held h;
    if (above < 0) {
        h.error_ = errno;
        return h;
    }
    h.root_ = ownFolderAt(above, last.constData(), create, &h.rootSt_);
    h.error_ = errno;
    ::close(above);
    if (h.root_ < 0) return h;
    const int files = ownFolderAt(h.root_, "files", create);
    if (files < 0) {
        h.error_ = errno;
        return h;
    }
    h.info_ = ownFolderAt(h.root_, "info", create);
    if (h.info_ < 0 && (create || errno != ENOENT)) {
        h.error_ = errno;
        ::close(files);
        return h;
    }
    h.files_ = files;
    h.filesPath_ = rootPath + "/files";
    h.error_ = 0;
    return h;
}

Held Held::openListed(const QString &folder) {
    const QString clean = QDir::cleanPath(folder);
    if (clean.endsWith(QStringLiteral("/files"))) return open(clean.chopped(6), false);
    Held h;
    const auto bytes = Posix::encode(clean);
    if (!bytes || !bytes->startsWith('/') || bytes->size() < 2) {
        h.error_ = EINVAL;
        return h;
    }
    const qsizetype slash = bytes->lastIndexOf('/');
    const int above = ::open(slash == 0 ? "/" : bytes->left(slash).constData(), pathFlags);
    if (above < 0) {
        h.error_ = errno;
        return h;
    }
    h.files_ = ownFolderAt(above, bytes->mid(slash + 1).constData(), false, &h.rootSt_);
    h.error_ = h.files_ < 0 ? errno : 0;
    ::close(above);
    if (h.files_ >= 0) h.filesPath_ = *bytes;
    return h;
}

Held::Held(Held &&o) noexcept
    : root_(std::exchange(o.root_, -1)), files_(std::exchange(o.files_, -1)),
      info_(std::exchange(o.info_, -1)), error_(o.error_), rootSt_(o.rootSt_),
      filesPath_(std::move(o.filesPath_)) {}

Held &Held::operator=(Held &&o) noexcept {
    std::swap(root_, o.root_);
    std::swap(files_, o.files_);
    std::swap(info_, o.info_);
    error_ = o.error_;
    rootSt_ = o.rootSt_;
    filesPath_ = o.filesPath_;
    return *this;
}

Held::~Held() {
    for (int fd : {root_, files_, info_})
        if (fd >= 0) ::close(fd);
}

QList<QByteArray> Held::names() const {
    QList<QByteArray> out = namesIn(files_);
    out.removeAll(QByteArrayLiteral(".DS_Store"));
    return out;
}

void Held::dropInfoOfGone(const QByteArray &name) const {
    struct stat st;
    if (info_ < 0 || ::fstatat(files_, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) return;
    ::unlinkat(info_, infoName(name).constData(), 0);
}

void Held::dropOrphanInfos() const {
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (const QByteArray &info : namesIn(info_)) {
        if (!info.endsWith(".trashinfo")) continue;
        struct stat st;
        if (::fstatat(files_, info.chopped(10).constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) continue;
        if (::fstatat(info_, info.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || now - st.st_mtime < 60)
            continue;
        ::unlinkat(info_, info.constData(), 0);
    }
}

} // namespace Trash
