#include "core/base/Defaults.h"

#include "platform/PlistFormat.h"
#include "platform/Posix.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cerrno>
#include <cmath>
#include <memory>
#include <mutex>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Defaults {
namespace {

std::recursive_mutex g_mutex;
std::unique_ptr<QSettings> g_store;
QString g_setAside;
bool g_unreadable = false;

// What lies at the settings path.
enum class Found { nothing, file, unreadable, notAFile };

// Looked at without ever waiting on it: a FIFO would block an ordinary open until someone writes to it,
// and opening a device can do things of its own.
Found inspect(const QString &path) {
    const QByteArray bytes = QFile::encodeName(path);
    struct stat st {};
    if (::stat(bytes.constData(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR ? Found::nothing : Found::unreadable;
    if (!S_ISREG(st.st_mode)) return Found::notAFile;
    const int fd = ::open(bytes.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? Found::nothing : Found::unreadable;
    // It may have been swapped since the look.
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    return regular ? Found::file : Found::notAFile;
}

// Keeps the unreadable file for the user instead of overwriting it with defaults. A plain rename: it never
// falls back to copying (which would read a FIFO) nor replaces an earlier one set aside.
void setAside(const QString &path) {
    const QByteArray from = QFile::encodeName(path);
    const QString base = path + QStringLiteral(".unreadable-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    for (int n = 1; n < 100; ++n) {
        const QString to = n == 1 ? base : base + u'-' + QString::number(n);
        const int e =
            Posix::renameNoReplace(AT_FDCWD, from.constData(), AT_FDCWD, QFile::encodeName(to).constData());
        if (e == 0) {
            g_setAside = to;
            return;
        }
        if (e != EEXIST) return;
    }
}

// Where the settings live when their file can be neither read nor put aside: a private file for this run,
// so that nothing ever opens what lies at the real path.
QString standIn() {
    static QTemporaryDir dir;
    return dir.path() + QStringLiteral("/settings.plist");
}

// A run killed while it wrote the settings leaves their lock file behind, often empty, and QSettings would
// wait half a minute before it takes that for stale. A lock that no live process holds (a holder keeps it
// flock'ed) is removed, if it is still the file that was looked at.
void removeStaleLock(const QString &path) {
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const QByteArray name = QFile::encodeName(QFileInfo(path).fileName()) + ".lock";
    const int dir = ::open(folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    const int fd = ::openat(dir, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat st {
    }, now{};
    if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::fstatat(dir, name.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_dev == st.st_dev &&
        now.st_ino == st.st_ino)
        ::unlinkat(dir, name.constData(), 0);
    if (fd >= 0) ::close(fd);
    ::close(dir);
}

QSettings &store() {
    if (!g_store) {
        const QString path = filePath();
        QDir().mkpath(QFileInfo(path).absolutePath());
        removeStaleLock(path);
        switch (inspect(path)) {
        case Found::notAFile:
            setAside(path);
            break;
        case Found::unreadable:
            // Left as it is (QSettings will neither read nor write it); the user is told once.
            g_unreadable = true;
            break;
        default:
            break;
        }
        if (inspect(path) == Found::notAFile) {
            g_unreadable = true;
            g_store = std::make_unique<QSettings>(standIn(), PlistFormat::format());
            return *g_store;
        }
        g_store = std::make_unique<QSettings>(path, PlistFormat::format());
        if (g_store->status() == QSettings::FormatError) {
            g_store.reset();
            setAside(path);
            if (g_setAside.isEmpty()) g_unreadable = true;
            g_store = std::make_unique<QSettings>(path, PlistFormat::format());
        }
    }
    return *g_store;
}

// QSettings reads the file again when it changed on disk; something that is no file goes aside first.
void syncStore() {
    const QString path = filePath();
    if (store().fileName() == path && inspect(path) == Found::notAFile) {
        setAside(path);
        if (inspect(path) == Found::notAFile) return;
    }
    removeStaleLock(store().fileName());
    store().sync();
}

} // namespace

QString filePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/kestrin/settings.plist");
}

QString setAsidePath() {
    std::lock_guard lock(g_mutex);
    store();
    return g_setAside;
}

bool unreadable() {
    std::lock_guard lock(g_mutex);
    store();
    return g_unreadable;
}

QVariant value(const QString &key) {
    std::lock_guard lock(g_mutex);
    return store().value(key);
}

void setValue(const QString &key, const QVariant &v) {
    std::lock_guard lock(g_mutex);
    store().setValue(key, v);
    syncStore();
}

void remove(const QString &key) {
    std::lock_guard lock(g_mutex);
    store().remove(key);
    syncStore();
}

bool contains(const QString &key) {
    std::lock_guard lock(g_mutex);
    return store().contains(key);
}

std::optional<QString> stringValue(const QString &key) {
    const QVariant v = value(key);
    if (v.typeId() == QMetaType::QString) return v.toString();
    return std::nullopt;
}

std::optional<bool> boolValue(const QString &key) {
    const QVariant v = value(key);
    if (v.typeId() == QMetaType::Bool) return v.toBool();
    return std::nullopt;
}

std::optional<qint64> intValue(const QString &key) {
    const QVariant v = value(key);
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return v.toLongLong();
    default:
        return std::nullopt;
    }
}

std::optional<double> doubleValue(const QString &key) {
    const QVariant v = value(key);
    switch (v.typeId()) {
    case QMetaType::Double:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong: {
        // NaN passes every comparison-based bound, so it never leaves here; nor does an infinity.
        const double d = v.toDouble();
        if (!std::isfinite(d)) return std::nullopt;
        return d;
    }
    default:
        return std::nullopt;
    }
}

void resetForTests() {
    std::lock_guard lock(g_mutex);
    g_store.reset();
    g_setAside.clear();
    g_unreadable = false;
}

} // namespace Defaults
