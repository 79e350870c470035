#include "platform/TrashRoots.h"

#include "platform/Posix.h"
#include "platform/Volumes.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <sys/stat.h>
#include <unistd.h>

namespace TrashRoots {
namespace {

bool isRealDir(const QString &path) {
    struct stat st {};
    return Posix::lstatPath(path, st) && S_ISDIR(st.st_mode);
}

} // namespace

QString homeTrash() {
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || !data.startsWith(u'/')) data = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir::cleanPath(data + QStringLiteral("/Trash"));
}

QStringList volumeTrashes(const QString &mountPoint) {
    QStringList out;
    const QString uid = QString::number(getuid());
    const QString top = mountPoint == u"/" ? QString() : mountPoint;
    const QString shared = top + QStringLiteral("/.Trash");
    struct stat st {};
    // A shared .Trash must be a sticky folder and not a link, or anyone could redirect our deletions.
    if (Posix::lstatPath(shared, st) && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) &&
        isRealDir(shared + u'/' + uid))
        out << shared + u'/' + uid;
    const QString own = top + QStringLiteral("/.Trash-") + uid;
    if (isRealDir(own)) out << own;
    return out;
}

QStringList all() {
    QStringList out{homeTrash()};
    for (const QString &mount : Volumes::mountPoints())
        for (const QString &t : volumeTrashes(mount))
            if (!out.contains(t)) out << t;
    return out;
}

QString rootFor(const QString &path) {
    const QString home = homeTrash();
    if (Volumes::sameVolume(path, home) || Volumes::sameVolume(path, QFileInfo(home).path())) return home;
    const dev_t dev = Volumes::deviceOf(path);
    if (dev == 0) return {};
    const QString mount = Volumes::mountPointOf(path);
    const QStringList existing = volumeTrashes(mount);
    if (!existing.isEmpty()) return existing.first();
    return (mount == u"/" ? QString() : mount) + QStringLiteral("/.Trash-") + QString::number(getuid());
}

QString containing(const QString &path) {
    const QString clean = QDir::cleanPath(path);
    const QString home = homeTrash();
    if (Posix::isAtOrBelow(clean, home)) return home;
    // Only the trash folders of the volume that holds the path can contain it.
    if (!clean.contains(QStringLiteral("/.Trash"))) return {};
    const QString mount = Volumes::mountPointOf(clean);
    for (const QString &t : volumeTrashes(mount))
        if (Posix::isAtOrBelow(clean, t)) return t;
    return {};
}

} // namespace TrashRoots
