#include "core/fileops/TreeMeasure.h"

#include "core/filesteps/FileSteps.h"
#include "platform/Posix.h"

#include <QThreadPool>

#include <atomic>
#include <cstring>
#include <mutex>
#include <optional>
#include <set>

#include <dirent.h>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace FileOps {

namespace {

// Calls visit(stat) for every entry below the folder fd, without following links.
// Returns false when visit asked to stop.
template <typename Visit> bool walk(int dirFd, Visit &visit, int depth = 0) {
    if (depth > FileSteps::maxDepth) return true;
    const int fd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return true;
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return true;
    }
    bool go = true;
    while (go) {
        dirent *e = ::readdir(dir);
        if (!e) break;
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        struct stat st;
        if (::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            go = visit(nullptr);
            continue;
        }
        go = visit(&st);
        if (go && S_ISDIR(st.st_mode)) {
            const int sub =
                ::openat(::dirfd(dir), e->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub >= 0) {
                go = walk(sub, visit, depth + 1);
                ::close(sub);
            }
        }
    }
    ::closedir(dir);
    return go;
}

template <typename Visit> bool walkPath(const QString &path, Visit &visit, bool followTop = false) {
    const auto p = Posix::encode(path);
    if (!p) return true;
    const int fd = ::open(p->constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followTop ? 0 : O_NOFOLLOW));
    if (fd < 0) return true;
    const bool go = walk(fd, visit);
    ::close(fd);
    return go;
}

using Names = std::set<std::pair<dev_t, ino_t>>;

// The bytes a copy of the regular file `name` in the folder dirFd takes where holes stay holes: the blocks
// it holds, where it has holes its copy keeps (its drive reports them), else its size.
qint64 spaceOf(int dirFd, const char *name, const struct stat &st, bool holesStay) {
    const qint64 held = qint64(st.st_blocks) * 512;
    if (!holesStay || held >= st.st_size) return st.st_size;
    const int fd = ::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return st.st_size;
    const off_t hole = ::lseek(fd, 0, SEEK_HOLE);
    ::close(fd);
    return hole >= 0 && hole < st.st_size ? held : st.st_size;
}

// The bytes of the regular files below one folder; its subfolders are read by a few threads at once.
class Measure {
public:
    // links: the files with several names counted so far, where they count once for more than one folder.
    explicit Measure(TransferProgress *progress, dev_t device = 0, Names *links = nullptr,
                     bool holesStay = false)
        : progress_(progress), device_(device), holesStay_(holesStay), links_(links ? *links : own_) {
        pool_.setMaxThreadCount(FileSteps::copyThreads);
    }
    // Nothing when cancelled.
    std::optional<qint64> below(const QString &folder) {
        const auto p = Posix::encode(folder);
        return p ? below(AT_FDCWD, *p) : 0;
    }
    std::optional<qint64> below(int dirFd, const QByteArray &name) {
        const int fd = ::openat(dirFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) return 0;
        walk(fd, 0);
        pool_.waitForDone();
        if (stop_) return std::nullopt;
        return sum_.load();
    }
    // Of the last sum, the space its copy takes, and the part of that on the device given.
    qint64 needed() const { return needed_.load(); }
    qint64 onDevice() const { return onDevice_.load(); }

private:
    // Takes the descriptor.
    void walk(int fd, int depth) {
        if (depth > FileSteps::maxDepth) {
            ::close(fd);
            return;
        }
        DIR *dir = ::fdopendir(fd);
        if (!dir) {
            ::close(fd);
            return;
        }
        qint64 sum = 0, needed = 0, onDevice = 0;
        while (dirent *e = ::readdir(dir)) {
            if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
            if (stop_ || (progress_ && progress_->isCancelled())) {
                stop_ = true;
                break;
            }
            // Only regular files have a size that counts; the type the folder tells spares the others a stat.
            const unsigned char type = e->d_type;
            if (type != DT_REG && type != DT_DIR && type != DT_UNKNOWN) continue;
            struct stat st {};
            if (type != DT_DIR && ::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
            if (type != DT_DIR && S_ISREG(st.st_mode)) {
                if (st.st_nlink < 2 || firstName(st)) {
                    sum += st.st_size; // a file with several names is copied once
                    const qint64 space = spaceOf(::dirfd(dir), e->d_name, st, holesStay_);
                    needed += space;
                    if (st.st_dev == device_) onDevice += space;
                }
            } else if (type == DT_DIR || S_ISDIR(st.st_mode)) {
                const int sub =
                    ::openat(::dirfd(dir), e->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                if (sub < 0) continue;
                if (queued_.fetch_add(1) < 4 * FileSteps::copyThreads) {
                    pool_.start([this, sub, depth] {
                        walk(sub, depth + 1);
                        --queued_;
                    });
                } else {
                    --queued_;
                    walk(sub, depth + 1);
                }
            }
        }
        ::closedir(dir);
        sum_ += sum;
        needed_ += needed;
        onDevice_ += onDevice;
    }
    bool firstName(const struct stat &st) {
        std::lock_guard guard(linksLock_);
        return links_.insert({st.st_dev, st.st_ino}).second;
    }

    TransferProgress *progress_;
    const dev_t device_;
    const bool holesStay_;
    QThreadPool pool_;
    std::atomic<qint64> sum_{0}, needed_{0}, onDevice_{0};
    std::atomic<bool> stop_{false};
    std::atomic<int> queued_{0};
    std::mutex linksLock_;
    Names own_;
    Names &links_;
};

std::optional<qint64> measure(const QStringList &paths, TransferProgress *progress) {
    qint64 sum = 0;
    for (const QString &path : paths) {
        if (progress && progress->isCancelled()) return std::nullopt;
        struct stat st;
        if (!Posix::lstatPath(path, st)) continue;
        if (!S_ISDIR(st.st_mode)) {
            sum += st.st_size;
            continue;
        }
        const std::optional<qint64> below = Measure(progress).below(path);
        if (!below) return std::nullopt;
        sum += *below;
    }
    return sum;
}

} // namespace

std::optional<qint64> totalBytesAt(const QList<QPair<const FileSteps::HeldFolder *, QByteArray>> &items,
                                   TransferProgress &progress, dev_t device, qint64 *onDevice, qint64 *needed,
                                   bool holesStay) {
    qint64 sum = 0, space = 0, there = 0;
    Names links; // the job copies a file with several names once, whichever items hold them
    for (const auto &[folder, name] : items) {
        if (progress.isCancelled()) return std::nullopt;
        struct stat st;
        if (::fstatat(folder->fd(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISDIR(st.st_mode)) {
            if (S_ISREG(st.st_mode) && st.st_nlink > 1 && !links.insert({st.st_dev, st.st_ino}).second)
                continue;
            sum += st.st_size;
            const qint64 takes =
                S_ISREG(st.st_mode) ? spaceOf(folder->fd(), name.constData(), st, holesStay) : st.st_size;
            space += takes;
            if (S_ISREG(st.st_mode) && st.st_dev == device) there += takes;
            continue;
        }
        Measure measure(&progress, device, &links, holesStay);
        const std::optional<qint64> below = measure.below(folder->fd(), name);
        if (!below) return std::nullopt;
        sum += *below;
        space += measure.needed();
        there += measure.onDevice();
    }
    if (onDevice) *onDevice = there;
    if (needed) *needed = space;
    return sum;
}

qint64 totalBytes(const QStringList &paths) {
    return measure(paths, nullptr).value_or(0);
}

std::optional<qint64> totalBytes(const QStringList &paths, TransferProgress &progress) {
    return measure(paths, &progress);
}

TreeStats treeStats(const QString &path) {
    TreeStats stats;
    struct stat st;
    if (!Posix::lstatPath(path, st)) return stats;
    auto count = [&](const struct stat &s) {
        ++stats.files;
        if (S_ISREG(s.st_mode))
            stats.bytes += s.st_size;
        else if (!S_ISLNK(s.st_mode))
            ++stats.special;
    };
    if (!S_ISDIR(st.st_mode)) {
        count(st);
        return stats;
    }
    auto visit = [&](const struct stat *s) {
        if (s && !S_ISDIR(s->st_mode)) count(*s);
        return true;
    };
    walkPath(path, visit);
    return stats;
}

namespace detail {

TreeStats regularFilesBelow(const QString &folder) {
    TreeStats stats;
    auto visit = [&](const struct stat *s) {
        if (s && S_ISREG(s->st_mode)) {
            ++stats.files;
            stats.bytes += s->st_size;
        }
        return true;
    };
    walkPath(folder, visit, true);
    return stats;
}

} // namespace detail

std::optional<qint64> freeBytes(const QString &path) {
    const auto p = Posix::encode(path);
    struct statvfs vfs;
    if (!p || ::statvfs(p->constData(), &vfs) != 0) return std::nullopt;
    const qint64 avail = qint64(vfs.f_bavail) * qint64(vfs.f_frsize);
    return avail > 0 ? std::optional<qint64>(avail) : std::nullopt;
}

} // namespace FileOps
