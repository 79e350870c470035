#pragma once

#include <QString>
#include <QStringList>
#include <sys/types.h>
#include <vector>

struct Volume {
    QString mountPoint;
    QString source; // device or remote source
    QString fsType;
    bool userMount = false; // under /media, /run/media or /mnt: what the sidebar lists as a device
};

namespace Volumes {

// Real file systems from /proc/self/mountinfo (no pseudo file systems), in mount order.
std::vector<Volume> mounted();
// Every mount point, whatever its file system (only automounts, which a look would trigger, are left
// out): wherever an item can be trashed.
QStringList mountPoints();
// The mount point of the volume holding path (its nearest existing ancestor when path does not exist).
QString mountPointOf(const QString &path);
// The device number of path or of its nearest existing ancestor; 0 when none can be read.
dev_t deviceOf(const QString &path);
bool sameVolume(const QString &a, const QString &b);

// Undoes the octal escapes of mountinfo ("\040" for a space).
QString unescapeMountField(const QByteArray &field);

} // namespace Volumes
