#include "platform/Volumes.h"

#include "platform/Posix.h"

#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSet>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace Volumes {
namespace {

// One step up; nothing above the root.
QString parentOf(const QString &path) {
    if (path == u"/" || path.isEmpty()) return {};
    const QString up = Posix::parentOf(path);
    return up.isEmpty() ? QStringLiteral("/") : up;
}

// The path itself or its nearest existing ancestor, with its stat.
QString existingAncestor(QString path, struct stat &st) {
    while (!path.isEmpty()) {
        if (Posix::statPath(path, st)) return path;
        path = parentOf(path);
    }
    return {};
}

bool isPseudo(const QString &type) {
    static const QSet<QString> pseudo = {
        "proc",      "sysfs",           "cgroup",      "cgroup2",  "devpts", "devtmpfs",   "securityfs",
        "debugfs",   "tracefs",         "configfs",    "fusectl",  "pstore", "bpf",        "mqueue",
        "hugetlbfs", "autofs",          "binfmt_misc", "efivarfs", "nsfs",   "rpc_pipefs", "ramfs",
        "squashfs",  "fuse.gvfsd-fuse", "fuse.portal", "overlay"};
    return pseudo.contains(type);
}

bool isUserPlace(const QString &mountPoint) {
    return mountPoint.startsWith(u"/media/") || mountPoint.startsWith(u"/run/media/") ||
           mountPoint.startsWith(u"/mnt/");
}

} // namespace

QString unescapeMountField(const QByteArray &field) {
    return QString::fromUtf8(unescapeMountBytes(field));
}

QString pathText(const QByteArray &bytes) {
    if (auto text = Posix::decode(bytes)) return *text;
    return Posix::shown(bytes);
}

std::optional<qint64> freeBytes(const QByteArray &path) {
    struct statvfs st {};
    if (path.isEmpty() || path.contains('\0') ||
        Posix::retry([&] { return ::statvfs(path.constData(), &st); }) != 0)
        return std::nullopt;
    return qint64(st.f_bavail) * qint64(st.f_frsize);
}

QByteArray unescapeMountBytes(const QByteArray &field) {
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int v = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out += char(v);
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

namespace {

std::vector<Volume> allMounts() {
    std::vector<Volume> out;
    for (const Mount &m : mountTable())
        out.push_back({m.mountPoint, m.source, m.fsType, isUserPlace(m.mountPoint), m.mountPointBytes});
    return out;
}

} // namespace

std::vector<Volume> mounted() {
    std::vector<Volume> out;
    for (Volume &v : allMounts()) {
        // tmpfs counts only where a user mounted it; elsewhere it is the system's scratch space.
        if (isPseudo(v.fsType) || (v.fsType == u"tmpfs" && !v.userMount)) continue;
        out.push_back(std::move(v));
    }
    return out;
}

QStringList defaultUserRoots() {
    return {QStringLiteral("/media"), QStringLiteral("/run/media"), QStringLiteral("/mnt")};
}

std::vector<Volume> userVolumes(const QStringList &roots) {
    std::vector<Volume> out;
    for (Volume &v : allMounts()) {
        if (isPseudo(v.fsType)) continue;
        const bool below = std::any_of(roots.cbegin(), roots.cend(), [&](const QString &root) {
            return v.mountPoint != root && Posix::isAtOrBelow(v.mountPoint, root);
        });
        if (below) out.push_back(std::move(v));
    }
    return out;
}

QStringList mountPoints() {
    QStringList out;
    for (const Volume &v : allMounts())
        if (v.fsType != u"autofs" && !out.contains(v.mountPoint)) out << v.mountPoint;
    return out;
}

namespace {
QMutex mountInfoLock;
QString mountInfoFile; // empty: the process's own table
} // namespace

void setMountInfoFile(const QString &path) {
    const QMutexLocker lock(&mountInfoLock);
    mountInfoFile = path;
}

std::vector<Mount> mountTable() {
    std::vector<Mount> out;
    QString file;
    {
        const QMutexLocker lock(&mountInfoLock);
        file = mountInfoFile.isEmpty() ? QStringLiteral("/proc/self/mountinfo") : mountInfoFile;
    }
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return out;
    // Kernel text, but bounded all the same; read by pieces, since asking for 16 MiB at once allocates them.
    QByteArray text;
    while (text.size() < (qint64(16) << 20)) {
        const QByteArray piece = f.read(64 * 1024);
        if (piece.isEmpty()) break;
        text += piece;
    }
    const QList<QByteArray> lines = text.split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype dash = fields.indexOf("-");
        if (fields.size() < 5 || dash < 0 || dash + 2 >= fields.size()) continue;
        const QList<QByteArray> mm = fields[2].split(':');
        bool okMajor = false, okMinor = false;
        const uint major = mm.size() == 2 ? mm[0].toUInt(&okMajor) : 0;
        const uint minor = mm.size() == 2 ? mm[1].toUInt(&okMinor) : 0;
        if (!okMajor || !okMinor) continue;
        const QByteArray point = unescapeMountBytes(fields[4]);
        out.push_back({makedev(major, minor), unescapeMountField(fields[3]), pathText(point),
                       QString::fromUtf8(fields[dash + 1]), unescapeMountField(fields[dash + 2]), point});
    }
    return out;
}

const Mount *mountShowing(const std::vector<Mount> &table, const QString &path) {
    const Mount *best = nullptr;
    for (const Mount &m : table)
        if (Posix::isAtOrBelow(path, m.mountPoint) || m.mountPoint == u"/")
            if (!best || m.mountPoint.size() >= best->mountPoint.size()) best = &m;
    return best;
}

dev_t deviceOf(const QString &path) {
    struct stat st {};
    return existingAncestor(path, st).isEmpty() ? 0 : st.st_dev;
}

QString realPath(const QString &path) {
    const auto bytes = Posix::encode(path);
    if (!bytes) return {};
    char *real = ::realpath(bytes->constData(), nullptr);
    if (!real) return {};
    const std::optional<QString> text = Posix::decode(QByteArray(real));
    ::free(real);
    return text.value_or(QString());
}

QString heldPath(int fd) {
    char link[PATH_MAX];
    const QByteArray proc = "/proc/self/fd/" + QByteArray::number(fd);
    const ssize_t n = ::readlink(proc.constData(), link, sizeof link);
    struct stat held {
    }, named{};
    if (n <= 0 || n >= ssize_t(sizeof link) || link[0] != '/' || ::fstat(fd, &held) != 0) return {};
    const QByteArray path(link, n);
    // A removed folder is named with " (deleted)"; another mount namespace's by what this one can't reach.
    if (::lstat(path.constData(), &named) != 0 || named.st_dev != held.st_dev || named.st_ino != held.st_ino)
        return {};
    return Posix::decode(path).value_or(QString());
}

QString mountPointOf(const QString &path) {
    struct stat st {};
    const QString existing = existingAncestor(path, st);
    if (existing.isEmpty()) return QStringLiteral("/");
    // Walked up through the real parents, which hold no link: the path as typed may reach the folder
    // through a link from another volume.
    const QString real = realPath(existing);
    QString cur = real.isEmpty() ? existing : real;
    const dev_t dev = st.st_dev;
    for (;;) {
        const QString parent = parentOf(cur);
        struct stat pst {};
        if (parent.isEmpty() || !Posix::lstatPath(parent, pst) || pst.st_dev != dev) return cur;
        cur = parent;
    }
}

bool sameVolume(const QString &a, const QString &b) {
    const dev_t da = deviceOf(a), db = deviceOf(b);
    return da != 0 && da == db;
}

} // namespace Volumes
