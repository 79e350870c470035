#include "core/filesteps/HeldFolder.h"

#include "core/filesteps/StepHooks.h"
#include "core/localisation/Lang.h"
#include "platform/FileFlags.h"
#include "platform/Posix.h"

#include <atomic>
#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace FileSteps {

namespace {

std::atomic<bool> openat2On{true};

bool mountRoot(int fd) {
    struct statx sx;
    return ::statx(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &sx) == 0 &&
           (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) && (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT);
}

// Whether the descriptor, opened one step below a folder on `dev`, left that folder's mount.
bool crossed(int fd, dev_t dev) {
    struct stat st;
    return ::fstat(fd, &st) != 0 || st.st_dev != dev || mountRoot(fd);
}

int closeWith(int fd, int e) {
    ::close(fd);
    errno = e;
    return -1;
}

// Name by name, for kernels without openat2: no link is followed, no name leads up.
int openStepwise(int top, dev_t dev, const QByteArray &relative, int flags, mode_t mode, bool sameMount) {
    const QList<QByteArray> parts = relative.split('/');
    int fd = ::fcntl(top, F_DUPFD_CLOEXEC, 0);
    for (qsizetype i = 0; fd >= 0 && i < parts.size(); ++i) {
        const QByteArray &part = parts[i];
        if (part.isEmpty() || part == "." || part == "..") return closeWith(fd, EXDEV);
        const bool last = i == parts.size() - 1;
        const int next = last ? ::openat(fd, part.constData(), flags | O_NOFOLLOW | O_CLOEXEC, mode)
                              : ::openat(fd, part.constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0) {
            int e = errno;
            struct stat st;
            if ((e == ENOTDIR || e == ELOOP) &&
                ::fstatat(fd, part.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
                e = ELOOP;
            return closeWith(fd, e);
        }
        ::close(fd);
        fd = next;
        if (sameMount && crossed(fd, dev)) return closeWith(fd, EXDEV);
    }
    return fd;
}

} // namespace

void setOpenat2ForTests(bool on) {
    openat2On = on;
}

HeldFolder::HeldFolder(PathBytes path, int fd) : path_(std::move(path)), fd_(fd) {
    if (fd_ < 0) throw FileError::fromErrno(errno);
    if (::fstat(fd_, &st_) != 0) {
        const int e = errno;
        ::close(std::exchange(fd_, -1));
        throw FileError::fromErrno(e);
    }
}

HeldFolder::HeldFolder(const PathBytes &path)
    : HeldFolder(path, ::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)) {}

// The folder at `path`, which was shown as `shown`. The kernel's link protection refuses a link another
// account put there (in a sticky folder) with EACCES before any look of ours: that name is then no longer
// the folder shown, and is said so rather than as a lack of rights.
static int openShown(const PathBytes &path, const struct stat &shown) {
    const int fd = ::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0 || errno != EACCES) return fd;
    struct stat now;
    if (::lstat(path.c_str(), &now) == 0 &&
        (S_ISLNK(now.st_mode) || now.st_dev != shown.st_dev || now.st_ino != shown.st_ino))
        throw FileError{ESTALE, HeldFolder::refusalText(path.text()), false};
    errno = EACCES;
    return -1;
}

HeldFolder::HeldFolder(const PathBytes &path, const struct stat &shown)
    : HeldFolder(path, openShown(path, shown)) {
    if (!is(shown)) {
        const FileError refused = refusal();
        ::close(std::exchange(fd_, -1));
        throw refused;
    }
}

HeldFolder HeldFolder::ofShown(const ShownItem &item) {
    const PathBytes folder = PathBytes(item.path).parent();
    if (!item.folder.known()) return HeldFolder(folder);
    struct stat shown {};
    shown.st_dev = dev_t(item.folder.dev);
    shown.st_ino = ino_t(item.folder.ino);
    return HeldFolder(folder, shown);
}

HeldFolder::HeldFolder(HeldFolder &&o) noexcept
    : path_(o.path_), fd_(std::exchange(o.fd_, -1)), st_(o.st_), readable_(o.readable_.exchange(-1)),
      born_(o.born_.load()) {}

HeldFolder &HeldFolder::operator=(HeldFolder &&o) noexcept {
    if (this != &o) {
        if (fd_ >= 0) ::close(fd_);
        if (const int r = readable_.exchange(o.readable_.exchange(-1)); r >= 0) ::close(r);
        path_ = o.path_;
        fd_ = std::exchange(o.fd_, -1);
        st_ = o.st_;
        born_ = o.born_.load();
    }
    return *this;
}

HeldFolder::~HeldFolder() {
    if (fd_ >= 0) ::close(fd_);
    if (const int r = readable_.load(); r >= 0) ::close(r);
}

bool HeldFolder::stillAtPath() const {
    struct stat now;
    return ::stat(path_.c_str(), &now) == 0 && is(now);
}

void HeldFolder::check() const {
    if (!stillAtPath()) throw refusal();
}

FileError HeldFolder::refusal() const {
    return FileError{ESTALE, refusalText(path_.text()), false};
}

QString HeldFolder::refusalText(const QString &folder) {
    // clang-format off
    return LF("„%@“ ist nicht mehr der Ordner, der angezeigt wurde: Er wurde ersetzt oder verschoben. Was jetzt dort liegt, bleibt unberührt.",
              folder);
    // clang-format on
}

void HeldFolder::refuseAppendOnly() const {
    // Kept open only for a folder found to take renames: its flags are read once, not for every part.
    if (readable_.load() >= 0) return;
    const int readable = openReadable();
    if (readable < 0) return;
    if (!FileFlags::appendOnly(readable)) {
        if (int none = -1; !readable_.compare_exchange_strong(none, readable)) ::close(readable);
        return;
    }
    ::close(readable);
    // clang-format off
    throw FileError{EPERM, LF("Der Ordner „%@“ nimmt nur neue Objekte auf (nur anhängen): Darin lässt sich nichts umbenennen, ersetzen oder entfernen, daher legt Kestrin dort nichts ab.",
                              Posix::lastComponent(path_.text())), false};
    // clang-format on
}

bool HeldFolder::keepsBirthTimes() const {
    int known = born_.load(std::memory_order_relaxed);
    if (known < 0) {
        struct statx sx {};
        known = ::statx(fd_, "", AT_EMPTY_PATH, STATX_BTIME, &sx) == 0 && (sx.stx_mask & STATX_BTIME);
        born_.store(known, std::memory_order_relaxed);
    }
    return known == 1;
}

FileError HeldFolder::replaced(const QString &item) {
    return FileError{
        ESTALE,
        LF("An die Stelle von „%@“ ist inzwischen ein anderes Objekt getreten. Es bleibt unberührt.", item),
        false};
}

struct stat HeldFolder::expect(const QByteArray &name, const ItemId &listed, const QString &shownName) const {
    struct stat now;
    if (::fstatat(fd_, name.constData(), &now, AT_SYMLINK_NOFOLLOW) != 0) throw FileError::fromErrno(errno);
    if (listed.known() && (quint64(now.st_dev) != listed.dev || quint64(now.st_ino) != listed.ino))
        throw replaced(shownName);
    return now;
}

int HeldFolder::openReadable() const {
    return ::openat(fd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

int HeldFolder::openBeneath(const QByteArray &relative, int flags, mode_t mode, bool sameMount) const {
    if (relative.isEmpty() || relative.contains('\0') || relative.startsWith('/')) {
        errno = EINVAL;
        return -1;
    }
    open_how how{};
    how.flags = quint64(flags | O_NOFOLLOW | O_CLOEXEC);
    how.mode = flags & (O_CREAT | O_TMPFILE) ? mode : 0;
    how.resolve =
        RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS | (sameMount ? RESOLVE_NO_XDEV : 0);
    if (!openat2On) [[unlikely]]
        return openStepwise(fd_, st_.st_dev, relative, flags, mode, sameMount);
    for (int attempt = 0; attempt < 8; ++attempt) {
        const int fd = int(::syscall(SYS_openat2, fd_, relative.constData(), &how, sizeof how));
        if (fd >= 0) return fd;
        // EAGAIN: a rename or mount raced the walk.
        if (errno == EAGAIN) continue;
        if (errno != ENOSYS && errno != E2BIG) return -1;
        return openStepwise(fd_, st_.st_dev, relative, flags, mode, sameMount);
    }
    return -1;
}

HeldFolder HeldFolder::beneath(const QByteArray &relative, bool sameMount) const {
    return HeldFolder(pathOf(relative), openBeneath(relative, O_PATH | O_DIRECTORY, 0, sameMount));
}

PathBytes HeldFolder::pathOf(const QByteArray &relative) const {
    const QByteArray &p = path_.bytes();
    return PathBytes(p.endsWith('/') ? p + relative : p + '/' + relative);
}

} // namespace FileSteps
