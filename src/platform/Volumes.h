#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <sys/types.h>
#include <optional>
#include <vector>

struct Volume {
    QString mountPoint; // as text; for a name that is not UTF-8, its bytes written out (Posix::shown)
    QString source;     // device or remote source
    QString fsType;
    bool userMount = false;       // under /media, /run/media or /mnt: what the sidebar lists as a device
    QByteArray mountPointBytes{}; // the mount point as the system has it; empty: mountPoint's UTF-8
    // The bytes to give the system for the mount point.
    QByteArray pathBytes() const { return mountPointBytes.isEmpty() ? mountPoint.toUtf8() : mountPointBytes; }
};

namespace Volumes {

// Real file systems from /proc/self/mountinfo (no pseudo file systems), in mount order.
std::vector<Volume> mounted();
// The volumes a user mounted: real file systems, and tmpfs, mounted below one of roots (by default
// /media, /run/media and /mnt), in mount order.
QStringList defaultUserRoots();
std::vector<Volume> userVolumes(const QStringList &roots = defaultUserRoots());
// Every mount point, whatever its file system (only automounts, which a look would trigger, are left
// out): wherever an item can be trashed.
QStringList mountPoints();
// The mount point of the volume holding the folder at path (its nearest existing ancestor when path does
// not exist), found from where the path really leads: links in it are followed first, so that a linked
// folder is never taken for a volume's top. For an item that may be a link, ask about its folder.
QString mountPointOf(const QString &path);
// The path with every link resolved, as far as it exists; empty when it cannot be read.
QString realPath(const QString &path);
// The folder (or item) held at fd by the path the system has for it now, checked to lead to it; empty
// when it has none that does (removed, or outside this process's view).
QString heldPath(int fd);
// The device number of path or of its nearest existing ancestor; 0 when none can be read.
dev_t deviceOf(const QString &path);
bool sameVolume(const QString &a, const QString &b);

// One line of /proc/self/mountinfo: which folder of which file system shows where.
struct Mount {
    dev_t device = 0; // major:minor of the file system
    QString root;     // the folder of that file system seen at the mount point ("/" for a whole one)
    QString mountPoint;
    QString fsType;
    QString source;
    QByteArray mountPointBytes{}; // the mount point's own bytes
};
// Every mount of this process, pseudo file systems included, in mount order.
std::vector<Mount> mountTable();
// Tests read the table from another file, so that mounts other tests make meanwhile don't show (empty: the
// process's own).
void setMountInfoFile(const QString &path);
// The mount that shows the canonical path `path` (the last of several on the same point).
const Mount *mountShowing(const std::vector<Mount> &table, const QString &path);

// Undoes the octal escapes of mountinfo ("\040" for a space).
QString unescapeMountField(const QByteArray &field);
QByteArray unescapeMountBytes(const QByteArray &field);
// A path's bytes as text: itself when valid UTF-8, else with each stray byte written out as \xNN.
QString pathText(const QByteArray &bytes);

// Bytes free for the user on the file system at path (statvfs), nothing when it cannot be asked.
std::optional<qint64> freeBytes(const QByteArray &path);

} // namespace Volumes
