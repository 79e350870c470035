#include "platform/SettingsStore.h"

#include "platform/Plist.h"
#include "platform/PlistFormat.h"
#include "platform/Posix.h"

#include <QBuffer>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QUuid>
#include <cerrno>
#include <chrono>
#include <climits>
#include <optional>
#include <thread>

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

// The lock beside the file: a file flock'ed while a process reads and writes the settings, removed after.
// A lock nobody holds (a run was killed) is taken at once; a held one is waited on briefly.
class Lock {
public:
    Lock(int dir, const QByteArray &fileName) : m_dir(dir), m_name(fileName + ".lock") {
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            // Never opened when it is no regular file: opening a device can do things of its own.
            struct stat there {};
            if (::fstatat(dir, m_name.constData(), &there, AT_SYMLINK_NOFOLLOW) == 0 &&
                !S_ISREG(there.st_mode))
                break;
            m_fd = ::openat(dir, m_name.constData(),
                            O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
            struct stat st {
            }, now{};
            if (m_fd < 0 || ::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode) || !ownOrSystems(st.st_uid))
                break;
            const int r = Posix::retry([&] { return ::flock(m_fd, LOCK_EX | LOCK_NB); });
            // Its holder may have removed it meanwhile: then the lock is the one now at the name. A file
            // system without locks lets the write go ahead, as a lock file alone would.
            if ((r != 0 && errno != EWOULDBLOCK) ||
                (r == 0 && ::fstatat(dir, m_name.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
                 sameFile(now, st))) {
                m_held = true;
                return;
            }
            ::close(m_fd);
            m_fd = -1;
            if (clock.elapsed() > SettingsStore::kLockWaitMs) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
    }
    ~Lock() {
        if (m_fd < 0) return;
        struct stat st {
        }, now{};
        if (m_held && ::fstat(m_fd, &st) == 0 &&
            ::fstatat(m_dir, m_name.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(now, st))
            ::unlinkat(m_dir, m_name.constData(), 0);
        ::close(m_fd);
    }
    Lock(const Lock &) = delete;
    Lock &operator=(const Lock &) = delete;
    bool held() const { return m_held; }

private:
    int m_dir;
    QByteArray m_name;
    int m_fd = -1;
    bool m_held = false;
};

} // namespace

// The folder the file lies in, held, and its name there: the user's own links (and the system's) on the
// way and at the name followed, as the user made them; another account's refused.
struct SettingsStore::Place {
    int dir = -1;
    QByteArray folder, name;
    int error = 0; // ELOOP: refused
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
            if (::fstatat(dir, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(st.st_mode))
                return;
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
    }
    Place(const Place &) = delete;
    Place &operator=(const Place &) = delete;
};

SettingsStore::SettingsStore(const QString &path) : m_path(QFile::encodeName(path)) {
    sync();
}

void SettingsStore::setValue(const QString &key, const QVariant &value) {
    m_values.insert(key, value);
    m_changed.insert(key, value);
}

void SettingsStore::remove(const QString &key) {
    m_values.remove(key);
    m_changed.insert(key, std::nullopt);
}

// Keeps the unreadable file for the user instead of overwriting it. A plain rename in the held folder: it
// never replaces an earlier one set aside.
bool SettingsStore::setAside(const Place &place) {
    const QByteArray base =
        place.name + ".unreadable-" +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")).toLatin1();
    for (int n = 1; n < 100; ++n) {
        const QByteArray to = n == 1 ? base : base + '-' + QByteArray::number(n);
        const int e = Posix::renameNoReplace(place.dir, place.name.constData(), place.dir, to.constData());
        if (e == 0) {
            m_setAside = QFile::decodeName(place.folder + '/' + to);
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
    bool bad = !S_ISREG(st.st_mode);
    if (S_ISLNK(st.st_mode)) return Disk::unreadable; // swapped in since the place was found
    if (!bad) {
        const int fd = ::openat(place.dir, place.name.constData(),
                                O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) return errno == ENOENT ? Disk::missing : Disk::unreadable;
        // It may have been swapped since the look.
        bad = ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > Plist::kMaxBytes;
        const bool same = !bad && m_seenValid && sameFile(st, m_seen) && st.st_size == m_seen.st_size &&
                          st.st_mtim.tv_sec == m_seen.st_mtim.tv_sec &&
                          st.st_mtim.tv_nsec == m_seen.st_mtim.tv_nsec;
        QByteArray data = bad || same ? QByteArray() : Posix::readAtMost(fd, st.st_size + 1);
        ::close(fd);
        if (same) return Disk::same;
        if (!bad) {
            QBuffer buffer(&data);
            buffer.open(QIODevice::ReadOnly);
            QSettings::SettingsMap map;
            bad = data.size() > Plist::kMaxBytes || !PlistFormat::read(buffer, map);
            if (!bad) {
                out = map;
                m_seen = st;
                m_seenValid = true;
                return Disk::read;
            }
        }
    }
    return Disk::bad;
}

// A new file beside the name, flushed, renamed over the name, and the folder flushed. 0 or errno.
int SettingsStore::write(const Place &place, const QVariantMap &values) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (!PlistFormat::write(buffer, values)) return EINVAL;
    const QByteArray &data = buffer.data();
    struct stat old {};
    const bool had =
        ::fstatat(place.dir, place.name.constData(), &old, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(old.st_mode);
    const QByteArray temp = '.' + place.name.left(100) + '.' +
                            QUuid::createUuid().toString(QUuid::Id128).left(12).toLatin1() + ".part";
    const int fd =
        ::openat(place.dir, temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return errno;
    struct stat made {};
    int e = ::fstat(fd, &made) == 0 ? 0 : errno;
    if (!e && had && ::fchmod(fd, old.st_mode & 0777) != 0) e = errno;
    if (!e) e = Posix::writeAll(fd, data.constData(), data.size());
    if (!e && Posix::retry([&] { return ::fsync(fd); }) != 0) e = errno;
    if (!e && ::fstat(fd, &made) != 0) e = errno;
    ::close(fd);
    if (!e && ::renameat(place.dir, temp.constData(), place.dir, place.name.constData()) != 0) e = errno;
    if (e) {
        struct stat now {};
        if (::fstatat(place.dir, temp.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(now, made))
            ::unlinkat(place.dir, temp.constData(), 0);
        return e;
    }
    m_seen = made;
    m_seenValid = true;
    if (const int folder = ::openat(place.dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC); folder >= 0) {
        Posix::retry([&] { return ::fsync(folder); });
        ::close(folder);
    }
    return 0;
}

bool SettingsStore::sync() {
    // Reading needs neither the folder made nor the lock: a writer replaces the file whole.
    const bool writing = !m_changed.isEmpty();
    const Place place(m_path, writing);
    if (place.dir < 0 || place.error) {
        // A refused way, or a folder that can't be reached or made: nothing is read or written.
        m_unreadable = place.error == ELOOP;
        return !writing;
    }
    std::optional<Lock> lock;
    if (writing) lock.emplace(place.dir, place.name);
    QVariantMap disk;
    Disk found = readDisk(place, disk);
    if (found == Disk::bad && !lock) {
        lock.emplace(place.dir, place.name);
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
    case Disk::unreadable:
        m_unreadable = true;
        return !writing;
    }
    m_unreadable = false;
    m_disk = disk;
    for (auto it = m_changed.cbegin(); it != m_changed.cend(); ++it) {
        if (it.value())
            disk.insert(it.key(), *it.value());
        else
            disk.remove(it.key());
    }
    m_values = disk;
    if (!writing) return true;
    if (!held || write(place, disk) != 0) return false;
    m_disk = disk;
    m_changed.clear();
    return true;
}
