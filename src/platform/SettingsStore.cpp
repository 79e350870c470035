#include "platform/SettingsStore.h"

#include "platform/Plist.h"
#include "platform/PlistFormat.h"
#include "platform/Posix.h"

#include <QBuffer>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <optional>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr int maxLinks = 40;

bool sameFile(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool ownOrSystems(uid_t uid) {
    return uid == ::geteuid() || uid == 0;
}

// The lock: flock on the held settings folder itself. No file to plant, to leave behind or to find of
// the wrong kind; it goes with the process that held it, however that ended.
class FolderLock {
public:
    FolderLock(int dir, int waitMs) {
        m_fd = ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (m_fd < 0) return;
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) break;
            if (errno == EINTR) continue;
            // A file system without locks lets the write go ahead, as it always did.
            if (errno != EWOULDBLOCK) break;
            if (clock.elapsed() >= waitMs) {
                ::close(m_fd);
                m_fd = -1;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        m_held = true;
    }
    ~FolderLock() {
        if (m_fd >= 0) ::close(m_fd);
    }
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;
    bool held() const { return m_held; }

private:
    int m_fd = -1;
    bool m_held = false;
};

// Names this store gives its own files beside the settings: "." name "." pid "-" token suffix.
QByteArray ownName(const QByteArray &name, const char *suffix) {
    return '.' + name.left(100) + '.' + QByteArray::number(::getpid()) + '-' +
           QByteArray::number(QRandomGenerator::global()->generate(), 16) + suffix;
}

bool isOwnName(const QByteArray &entry, const QByteArray &name, const QByteArray &suffix) {
    const QByteArray head = '.' + name.left(100) + '.';
    if (!entry.startsWith(head) || !entry.endsWith(suffix)) return false;
    const QByteArray middle = entry.mid(head.size(), entry.size() - head.size() - suffix.size());
    const qsizetype dash = middle.indexOf('-');
    if (dash <= 0 || dash == middle.size() - 1) return false;
    bool pid = false, token = false;
    middle.left(dash).toUInt(&pid);
    middle.mid(dash + 1).toUInt(&token, 16);
    return pid && token;
}

// Our files of that kind in the folder: regular files of this account under our name, one link each.
QList<QByteArray> ownFiles(int dir, const QByteArray &name, const QByteArray &suffix) {
    QList<QByteArray> out;
    const int fd = ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return out;
    DIR *d = ::fdopendir(fd);
    if (!d) {
        ::close(fd);
        return out;
    }
    while (const dirent *e = ::readdir(d)) {
        const QByteArray entry(e->d_name);
        struct stat st {};
        if (isOwnName(entry, name, suffix) && ::fstatat(dir, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && st.st_nlink == 1)
            out << entry;
        if (out.size() >= 1000) break;
    }
    ::closedir(d);
    return out;
}

// A file of `data` at `name` (which must be free) in the folder, flushed before it gets the name. Made
// nameless where the volume allows (a kill then leaves nothing behind), else under the name. 0 or errno.
int makeFile(int dir, const QByteArray &name, const QByteArray &data, mode_t mode, struct stat *made) {
    int fd = ::openat(dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    const bool nameless = fd >= 0;
    if (!nameless) {
        fd = ::openat(dir, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) return errno;
    }
    int e = ::fchmod(fd, mode) == 0 ? 0 : errno;
    if (!e) e = Posix::writeAll(fd, data.constData(), data.size());
    // Renamed over the settings before its data is on the disk, a power cut could leave them empty.
    if (!e) e = Posix::flushFile(fd);
    if (!e && ::fstat(fd, made) != 0) e = errno;
    if (!e && nameless) {
        const QByteArray proc = "/proc/self/fd/" + QByteArray::number(fd);
        if (::linkat(AT_FDCWD, proc.constData(), dir, name.constData(), AT_SYMLINK_FOLLOW) != 0) e = errno;
    }
    ::close(fd);
    if (e && !nameless) {
        struct stat now {};
        if (::fstatat(dir, name.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(now, *made))
            ::unlinkat(dir, name.constData(), 0);
    }
    return e;
}

QByteArray encode(const QVariantMap &values) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (!PlistFormat::write(buffer, values)) return {};
    return buffer.data();
}

// A regular file in the folder, read whole when it is no larger than the reader takes; nothing else is
// opened (a FIFO would block, a device can do things of its own).
std::optional<QByteArray> readRegular(int dir, const QByteArray &name, struct stat &st, bool &bad) {
    const int fd = ::openat(dir, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    // It may have been swapped since the look.
    bad = ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > Plist::kMaxBytes;
    QByteArray data = bad ? QByteArray() : Posix::readAtMost(fd, st.st_size + 1);
    ::close(fd);
    bad = bad || data.size() > Plist::kMaxBytes;
    return data;
}

std::optional<QVariantMap> parse(QByteArray data) {
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QSettings::SettingsMap map;
    if (!PlistFormat::read(buffer, map)) return std::nullopt;
    return map;
}

const QString setKey = QStringLiteral("set"), removedKey = QStringLiteral("removed");

} // namespace

// The folder the file lies in, held, and its name there: the user's own links (and the system's) on the
// way and at the name followed, as the user made them; another account's refused. The folder of the path
// as given stays held too: the lock is taken there, and a link at the name is set aside there.
struct SettingsStore::Place {
    int dir = -1, home = -1;
    QByteArray folder, name, homeFolder, homeName;
    bool linked = false; // the name at home is a link
    int error = 0;       // ELOOP: refused
    // With `make`, a missing folder of the settings is made.
    Place(QByteArray path, bool make) {
        for (int links = 0;; ++links) {
            const qsizetype slash = path.lastIndexOf('/');
            folder = path.left(slash);
            name = path.mid(slash + 1);
            if (dir >= 0) ::close(dir);
            dir = Posix::openOwnWay(folder, make && links == 0);
            struct stat st {};
            if (dir < 0 || ::fstat(dir, &st) != 0) {
                error = errno;
                return;
            }
            if (!ownOrSystems(st.st_uid)) {
                error = ELOOP;
                return;
            }
            if (links == 0) {
                home = ::fcntl(dir, F_DUPFD_CLOEXEC, 0);
                homeFolder = folder;
                homeName = name;
            }
            if (::fstatat(dir, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(st.st_mode))
                return;
            linked = true;
            char target[PATH_MAX];
            const ssize_t n = ::readlinkat(dir, name.constData(), target, sizeof target);
            if (!ownOrSystems(st.st_uid) || links >= maxLinks || n <= 0 || size_t(n) >= sizeof target) {
                error = ELOOP;
                return;
            }
            path = target[0] == '/' ? QByteArray(target, n) : folder + '/' + QByteArray(target, n);
        }
    }
    ~Place() {
        if (dir >= 0) ::close(dir);
        if (home >= 0) ::close(home);
    }
    Place(const Place &) = delete;
    Place &operator=(const Place &) = delete;
};

SettingsStore::SettingsStore(const QString &path) : m_path(QFile::encodeName(path)) {
    sync(0);
}

QVariant SettingsStore::value(const QString &key) const {
    std::lock_guard memory(m_memory);
    return m_values.value(key);
}

bool SettingsStore::contains(const QString &key) const {
    std::lock_guard memory(m_memory);
    return m_values.contains(key);
}

void SettingsStore::setValue(const QString &key, const QVariant &value) {
    std::lock_guard memory(m_memory);
    m_values.insert(key, value);
    m_changed.insert(key, value);
    m_generation.insert(key, ++m_counter);
}

void SettingsStore::remove(const QString &key) {
    std::lock_guard memory(m_memory);
    m_values.remove(key);
    m_changed.insert(key, std::nullopt);
    m_generation.insert(key, ++m_counter);
}

QStringList SettingsStore::unsaved() const {
    std::lock_guard memory(m_memory);
    return m_changed.keys();
}

int SettingsStore::error() const {
    std::lock_guard memory(m_memory);
    return m_error;
}

QString SettingsStore::setAsidePath() const {
    std::lock_guard memory(m_memory);
    return m_setAside;
}

bool SettingsStore::unreadable() const {
    std::lock_guard memory(m_memory);
    return m_unreadable;
}

// Keeps the unreadable file for the user instead of overwriting it. A plain rename of the name in the
// folder of the path as given: a link there is renamed itself, never what it leads to (which may be the
// user's dotfiles or a device). Never replaces an earlier one set aside.
bool SettingsStore::setAside(const Place &place) {
    const QByteArray base =
        place.homeName + ".unreadable-" +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")).toLatin1();
    for (int n = 1; n < 100; ++n) {
        const QByteArray to = n == 1 ? base : base + '-' + QByteArray::number(n);
        const int e =
            Posix::renameNoReplace(place.home, place.homeName.constData(), place.home, to.constData());
        if (e == 0) {
            std::lock_guard memory(m_memory);
            m_setAside = QFile::decodeName(place.homeFolder + '/' + to);
            return true;
        }
        if (e != EEXIST) return false;
    }
    return false;
}

// What the file holds now, into `out`. Nothing is opened that is no regular file: a FIFO would block an
// ordinary open until someone writes to it, and opening a device can do things of its own.
SettingsStore::Disk SettingsStore::readDisk(const Place &place, QVariantMap &out) {
    struct stat st {};
    if (::fstatat(place.dir, place.name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? Disk::missing : Disk::unreadable;
    if (S_ISLNK(st.st_mode)) return Disk::unreadable; // swapped in since the place was found
    if (!S_ISREG(st.st_mode)) return Disk::bad;
    const int fd = ::openat(place.dir, place.name.constData(),
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? Disk::missing : Disk::unreadable;
    // It may have been swapped since the look. The change time too: a rewrite in place keeps inode and
    // size, and may set the modification time back.
    bool bad = ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > Plist::kMaxBytes;
    const bool same =
        !bad && m_seenValid && sameFile(st, m_seen) && st.st_size == m_seen.st_size &&
        st.st_mtim.tv_sec == m_seen.st_mtim.tv_sec && st.st_mtim.tv_nsec == m_seen.st_mtim.tv_nsec &&
        st.st_ctim.tv_sec == m_seen.st_ctim.tv_sec && st.st_ctim.tv_nsec == m_seen.st_ctim.tv_nsec;
    QByteArray data = bad || same ? QByteArray() : Posix::readAtMost(fd, st.st_size + 1);
    ::close(fd);
    if (same) return Disk::same;
    if (bad || data.size() > Plist::kMaxBytes) return Disk::bad;
    const std::optional<QVariantMap> map = parse(data);
    if (!map) return Disk::bad;
    out = *map;
    m_seen = st;
    m_seenValid = true;
    return Disk::read;
}

// The values written beside the name and renamed over it, and the folder flushed. 0 or errno; EFBIG for a
// file larger than the reader takes, which would have it set aside at the next start.
int SettingsStore::write(int dir, const QByteArray &name, const QVariantMap &values, struct stat *made) {
    const QByteArray data = encode(values);
    if (data.isEmpty() && !values.isEmpty()) return EINVAL;
    if (data.size() > Plist::kMaxBytes) return EFBIG;
    struct stat old {};
    const bool had = ::fstatat(dir, name.constData(), &old, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(old.st_mode);
    const QByteArray temp = ownName(name, ".part");
    if (const int e = makeFile(dir, temp, data, had ? old.st_mode & 0777 : 0600, made)) return e;
    if (::renameat(dir, temp.constData(), dir, name.constData()) != 0) {
        const int e = errno;
        struct stat now {};
        if (::fstatat(dir, temp.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(now, *made))
            ::unlinkat(dir, temp.constData(), 0);
        return e;
    }
    // The rename is on the disk only once the folder is: until then a power cut may bring the old back.
    const int folder = ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return errno;
    const int e = Posix::flushFile(folder);
    ::close(folder);
    return e;
}

bool SettingsStore::sync(int lockWaitMs, const QVariantMap &extra) {
    std::lock_guard one(m_syncing);
    Changes changes;
    quint64 upTo = 0;
    {
        std::lock_guard memory(m_memory);
        changes = m_changed;
        upTo = m_counter;
    }
    bool writing = !changes.isEmpty() || !extra.isEmpty();
    // Reading needs neither the folder made nor the lock: a writer replaces the file whole.
    const Place place(m_path, writing);
    if (place.dir < 0 || place.error) {
        // A refused way, or a folder that can't be reached or made: nothing is read or written.
        std::lock_guard memory(m_memory);
        m_unreadable = place.error == ELOOP;
        if (writing) m_error = place.error ? place.error : ENOENT;
        return !writing;
    }
    // The start takes the lock only when it is free, for the leftovers of earlier runs.
    std::optional<FolderLock> lock;
    if (writing || lockWaitMs == 0) lock.emplace(place.home, lockWaitMs);
    QList<QByteArray> kept;
    QList<QPair<QByteArray, struct stat>> pending;
    if (lock && lock->held()) {
        // Every writer makes its parts while it holds the lock: the ones there now were left by a writer
        // that is gone.
        for (const QByteArray &part : ownFiles(place.dir, place.name, ".part"))
            ::unlinkat(place.dir, part.constData(), 0);
        kept = ownFiles(place.home, place.homeName, ".pending");
        writing = writing || !kept.isEmpty();
    }
    QVariantMap disk;
    Disk found = readDisk(place, disk);
    if (found == Disk::bad && !(lock && lock->held())) {
        lock.reset();
        lock.emplace(place.home, std::max(lockWaitMs, kLockWaitMs));
        found = readDisk(place, disk); // another process may have set it aside meanwhile
    }
    const bool held = lock && lock->held();
    if (found == Disk::bad) found = held && setAside(place) ? Disk::setAside : Disk::unreadable;
    switch (found) {
    case Disk::setAside: // nothing of what was known is lost with it
        m_seenValid = false;
        [[fallthrough]];
    case Disk::same:
        disk = m_disk;
        break;
    case Disk::read:
        break;
    case Disk::missing:
        m_seenValid = false;
        break;
    case Disk::bad:
    case Disk::unreadable: {
        std::lock_guard memory(m_memory);
        m_unreadable = true;
        if (writing) m_error = EACCES;
        return !writing;
    }
    }
    m_disk = disk;
    // What an earlier run could not write goes under this run's changes, oldest first.
    QList<QPair<struct stat, QVariantMap>> earlier;
    for (const QByteArray &name : kept) {
        struct stat st {};
        bool bad = false;
        const std::optional<QByteArray> data = readRegular(place.home, name, st, bad);
        const std::optional<QVariantMap> map = data && !bad ? parse(*data) : std::nullopt;
        if (!map) continue;
        pending << qMakePair(name, st);
        earlier << qMakePair(st, *map);
    }
    std::sort(earlier.begin(), earlier.end(), [](const auto &a, const auto &b) {
        return std::tie(a.first.st_mtim.tv_sec, a.first.st_mtim.tv_nsec) <
               std::tie(b.first.st_mtim.tv_sec, b.first.st_mtim.tv_nsec);
    });
    for (const auto &[st, map] : earlier) {
        const QVariantMap set = map.value(setKey).toMap();
        for (auto it = set.cbegin(); it != set.cend(); ++it)
            disk.insert(it.key(), it.value());
        for (const QVariant &key : map.value(removedKey).toList())
            disk.remove(key.toString());
    }
    for (auto it = changes.cbegin(); it != changes.cend(); ++it) {
        if (it.value())
            disk.insert(it.key(), *it.value());
        else
            disk.remove(it.key());
    }
    for (auto it = extra.cbegin(); it != extra.cend(); ++it) {
        if (it.value().isValid())
            disk.insert(it.key(), it.value());
        else
            disk.remove(it.key());
    }
    int e = 0;
    struct stat made {};
    if (writing) e = held ? write(place.dir, place.name, disk, &made) : EWOULDBLOCK;
    std::lock_guard memory(m_memory);
    m_unreadable = false;
    if (e) {
        m_error = e;
        disk = m_disk; // the file as it is, this run's changes laid over it below
    } else if (writing) {
        m_error = 0;
        m_disk = disk;
        m_seen = made;
        m_seenValid = true;
        // Written: what changed again meanwhile stays for the next sync.
        for (auto it = m_generation.begin(); it != m_generation.end();) {
            if (it.value() <= upTo) {
                m_changed.remove(it.key());
                it = m_generation.erase(it);
            } else {
                ++it;
            }
        }
        for (const auto &[name, st] : pending) {
            struct stat now {};
            if (::fstatat(place.home, name.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(now, st))
                ::unlinkat(place.home, name.constData(), 0);
        }
    }
    for (auto it = m_changed.cbegin(); it != m_changed.cend(); ++it) {
        if (it.value())
            disk.insert(it.key(), *it.value());
        else
            disk.remove(it.key());
    }
    m_values = disk;
    return e == 0;
}

bool SettingsStore::keepUnsaved() {
    QVariantMap set;
    QVariantList removed;
    {
        std::lock_guard memory(m_memory);
        for (auto it = m_changed.cbegin(); it != m_changed.cend(); ++it) {
            if (it.value())
                set.insert(it.key(), *it.value());
            else
                removed << it.key();
        }
    }
    if (set.isEmpty() && removed.isEmpty()) return true;
    const Place place(m_path, true);
    if (place.home < 0 || place.error) return false;
    const QByteArray data = encode({{setKey, set}, {removedKey, removed}});
    if (data.isEmpty() || data.size() > Plist::kMaxBytes) return false;
    struct stat made {};
    if (makeFile(place.home, ownName(place.homeName, ".pending"), data, 0600, &made) != 0) return false;
    const int folder = ::openat(place.home, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int e = folder < 0 ? errno : Posix::flushFile(folder);
    if (folder >= 0) ::close(folder);
    return e == 0;
}
