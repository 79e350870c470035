#include "platform/Xattr.h"

#include "platform/Posix.h"

#include <atomic>
#include <cstring>
#include <functional>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace Xattr {
namespace {

template <typename SizeFn, typename ReadFn> Result read(SizeFn sizeOf, ReadFn readInto) {
    Result r;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const ssize_t size = sizeOf();
        if (size < 0) break;
        r.value.resize(size);
        const ssize_t got = size ? readInto(r.value.data(), size_t(size)) : 0;
        if (got >= 0) {
            r.value.resize(got);
            r.status = Status::ok;
            return r;
        }
        if (errno != ERANGE) break; // grew between the two calls: ask once more
    }
    r.value.clear();
    r.err = errno;
    if (r.err == ENODATA)
        r.status = Status::absent, r.err = 0;
    else if (r.err == ENOTSUP)
        r.status = Status::unsupported;
    else
        r.status = Status::error;
    return r;
}

std::optional<QStringList> splitNames(const QByteArray &buf) {
    QStringList names;
    for (const QByteArray &n : buf.split('\0'))
        if (!n.isEmpty()) names << QString::fromUtf8(n);
    return names;
}

template <typename SizeFn, typename ReadFn>
std::optional<QStringList> readList(SizeFn sizeOf, ReadFn readInto) {
    Result r = read(sizeOf, readInto);
    if (r.status == Status::ok) return splitNames(r.value);
    if (r.status == Status::unsupported) return QStringList();
    return std::nullopt;
}

QString g_failing;
int g_failWith = 0;

int injected(const QString &name) {
    return g_failWith && name == g_failing ? g_failWith : 0;
}

std::function<void()> g_between;

// The item at a path, looked up once: every call of one operation reaches that item, whatever takes its
// name meanwhile. A link at the name is followed only when it is the user's own or the system's; a link
// another account owns (swapped in for the item) is refused with ELOOP.
class Item {
public:
    // `held`: the item's folder, held by the caller (-1: looked up by its path here).
    explicit Item(const QString &path, int held = -1) {
        const auto bytes = Posix::encode(path);
        if (!bytes || bytes->isEmpty()) {
            err_ = EILSEQ;
            return;
        }
        const qsizetype slash = bytes->lastIndexOf('/');
        const QByteArray folder = slash < 0    ? QByteArray(".")
                                  : slash == 0 ? QByteArray("/")
                                               : bytes->left(slash);
        const QByteArray name = bytes->mid(slash + 1);
        const bool proc = ::access("/proc/self/fd", F_OK) == 0;
        if (held >= 0 && (!proc || name.isEmpty() || name == "." || name == "..")) {
            err_ = proc ? EINVAL : ENOSYS; // a held folder is never left for a name
            return;
        }
        if (!proc || name.isEmpty() || name == "." || name == "..") {
            path_ = *bytes; // nothing to pin it by: the name is all there is
            return;
        }
        const int dir = held >= 0 ? held : Posix::retry([&] {
            return ::open(folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        });
        if (dir < 0) {
            err_ = errno;
            return;
        }
        fd_ = Posix::retry([&] { return ::openat(dir, name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC); });
        struct stat link;
        if (fd_ < 0 || ::fstat(fd_, &link) != 0) {
            err_ = errno;
        } else if (S_ISLNK(link.st_mode)) {
            ::close(std::exchange(fd_, -1));
            err_ = ELOOP;
            struct stat still;
            if (link.st_uid == ::geteuid() || link.st_uid == 0) {
                fd_ = Posix::retry([&] { return ::openat(dir, name.constData(), O_PATH | O_CLOEXEC); });
                // Followed from the link that was looked at, not from one put in its place meanwhile.
                if (fd_ >= 0 && ::fstatat(dir, name.constData(), &still, AT_SYMLINK_NOFOLLOW) == 0 &&
                    still.st_dev == link.st_dev && still.st_ino == link.st_ino)
                    err_ = 0;
                else if (fd_ >= 0)
                    ::close(std::exchange(fd_, -1));
            }
        }
        if (dir != held) ::close(dir);
        if (!err_) path_ = "/proc/self/fd/" + QByteArray::number(fd_);
    }
    ~Item() {
        if (fd_ >= 0) ::close(fd_);
    }
    Item(const Item &) = delete;
    Item &operator=(const Item &) = delete;

    int error() const { return err_; }
    const char *path() const { return path_.constData(); }

private:
    int fd_ = -1;
    int err_ = 0;
    QByteArray path_;
};

Result get(const Item &item, const QString &name) {
    if (item.error()) return Result{Status::error, {}, item.error()};
    const QByteArray n = name.toUtf8();
    return read([&] { return getxattr(item.path(), n.constData(), nullptr, 0); },
                [&](char *buf, size_t size) { return getxattr(item.path(), n.constData(), buf, size); });
}

int set(const Item &item, const QString &name, const QByteArray &value) {
    if (item.error()) return item.error();
    if (int err = injected(name)) return err;
    return setxattr(item.path(), name.toUtf8().constData(), value.constData(), size_t(value.size()), 0) == 0
               ? 0
               : errno;
}

int remove(const Item &item, const QString &name) {
    if (item.error()) return item.error();
    if (int err = injected(name)) return err;
    if (removexattr(item.path(), name.toUtf8().constData()) == 0 || errno == ENODATA) return 0;
    return errno;
}

} // namespace

QString userName(const QString &macName) {
    return QStringLiteral("user.") + macName;
}

Result get(const QString &path, const QString &name, int folder) {
    return get(Item(path, folder), name);
}

Result get(int fd, const QString &name) {
    const QByteArray n = name.toUtf8();
    return read([&] { return fgetxattr(fd, n.constData(), nullptr, 0); },
                [&](char *buf, size_t size) { return fgetxattr(fd, n.constData(), buf, size); });
}

int set(const QString &path, const QString &name, const QByteArray &value, int folder) {
    return set(Item(path, folder), name, value);
}

int set(int fd, const QString &name, const QByteArray &value) {
    if (int err = injected(name)) return err;
    return fsetxattr(fd, name.toUtf8().constData(), value.constData(), size_t(value.size()), 0) == 0 ? 0
                                                                                                     : errno;
}

int remove(const QString &path, const QString &name, int folder) {
    return remove(Item(path, folder), name);
}

int setBoth(const QString &path, const QString &first, const std::optional<QByteArray> &firstValue,
            const QString &second, const std::optional<QByteArray> &secondValue, int folder) {
    // One look for all four calls: both attributes, and an undone first one, go to the same item.
    const Item item(path, folder);
    const auto write = [&](const QString &name, const std::optional<QByteArray> &value) {
        return value ? set(item, name, *value) : remove(item, name);
    };
    const Result old = get(item, first);
    if (old.status == Status::error) return old.err;
    if (int err = write(first, firstValue)) return err;
    if (g_between) g_between();
    if (int err = write(second, secondValue)) {
        write(first, old.status == Status::ok ? std::optional<QByteArray>(old.value) : std::nullopt);
        return err;
    }
    return 0;
}

void setBetweenWritesForTests(std::function<void()> hook) {
    g_between = std::move(hook);
}

void failWritesForTests(const QString &name, int err) {
    g_failing = name;
    g_failWith = err;
}

std::optional<QStringList> list(const QString &path) {
    const auto p = Posix::encode(path);
    if (!p) return std::nullopt;
    return readList([&] { return listxattr(p->constData(), nullptr, 0); },
                    [&](char *buf, size_t size) { return listxattr(p->constData(), buf, size); });
}

std::optional<QStringList> list(int fd) {
    return readList([&] { return flistxattr(fd, nullptr, 0); },
                    [&](char *buf, size_t size) { return flistxattr(fd, buf, size); });
}

std::optional<QByteArray> listRaw(const char *path) {
    char buf[1024];
    const ssize_t n = Posix::retry([&] { return listxattr(path, buf, sizeof buf); });
    if (n >= 0) return QByteArray(buf, n);
    if (errno == ENOTSUP) return QByteArray();
    if (errno != ERANGE) return std::nullopt;
    Result r = read([&] { return listxattr(path, nullptr, 0); },
                    [&](char *b, size_t size) { return listxattr(path, b, size); });
    if (r.status == Status::ok) return r.value;
    if (r.status == Status::unsupported || r.status == Status::absent) return QByteArray();
    return std::nullopt;
}

namespace {

#if defined(__x86_64__) || defined(__aarch64__)
// listxattrat and getxattrat (Linux 6.13); not in the C library's headers yet. The numbers are the same on
// both.
constexpr long kGetXattrAt = 464;
constexpr long kListXattrAt = 465;
#endif
std::atomic<bool> g_atMissing{false};

// getxattrat's argument block.
struct XattrArgs {
    alignas(8) quint64 value = 0;
    quint32 size = 0;
    quint32 flags = 0;
};

} // namespace

void setAtCallsMissingForTests(bool missing) {
    g_atMissing.store(missing, std::memory_order_relaxed);
}

std::optional<QByteArray> listRawAt(int dirFd, const char *name, const char *path) {
#if defined(__x86_64__) || defined(__aarch64__)
    if (dirFd >= 0 && !g_atMissing.load(std::memory_order_relaxed)) {
        char buf[1024];
        const ssize_t n =
            Posix::retry([&] { return ssize_t(::syscall(kListXattrAt, dirFd, name, 0u, buf, sizeof buf)); });
        if (n >= 0) return QByteArray(buf, n);
        if (errno == ENOTSUP) return QByteArray();
        if (errno == ENOSYS) g_atMissing.store(true, std::memory_order_relaxed);
        // A longer list, or anything unusual: the path call below tells it apart.
    }
#else
    (void)dirFd;
    (void)name;
#endif
    return listRaw(path);
}

Result getAt(int dirFd, const char *name, const char *attr, const char *path) {
#if defined(__x86_64__) || defined(__aarch64__)
    if (dirFd >= 0 && !g_atMissing.load(std::memory_order_relaxed)) {
        const auto call = [&](char *buf, size_t size) {
            XattrArgs args;
            args.value = quint64(reinterpret_cast<quintptr>(buf));
            args.size = quint32(size);
            return Posix::retry(
                [&] { return ssize_t(::syscall(kGetXattrAt, dirFd, name, 0u, attr, &args, sizeof args)); });
        };
        Result r = read([&] { return call(nullptr, 0); }, call);
        if (r.status != Status::error || r.err != ENOSYS) return r;
        g_atMissing.store(true, std::memory_order_relaxed);
    }
#else
    (void)dirFd;
    (void)name;
#endif
    return read([&] { return getxattr(path, attr, nullptr, 0); },
                [&](char *buf, size_t size) { return getxattr(path, attr, buf, size); });
}

bool listHas(const QByteArray &rawList, const char *name) {
    const qsizetype len = qsizetype(std::strlen(name));
    for (qsizetype pos = 0; pos < rawList.size();) {
        const qsizetype end = rawList.indexOf('\0', pos);
        const qsizetype stop = end < 0 ? rawList.size() : end;
        if (stop - pos == len && std::memcmp(rawList.constData() + pos, name, size_t(len)) == 0) return true;
        pos = stop + 1;
    }
    return false;
}

} // namespace Xattr
