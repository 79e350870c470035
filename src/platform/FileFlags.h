#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

#include <sys/stat.h>

// The inode facts that plain stat() doesn't give: birth time (statx) and the immutable flag
// (FS_IOC_GETFLAGS / FS_IOC_SETFLAGS).
namespace FileFlags {

// Nothing when the file system keeps no birth time or the item can't be read.
std::optional<QDateTime> birthTime(const QString &path);

// Nothing when the flags can't be read (no such item, a file system without them, a link).
std::optional<bool> immutable(const QString &path);
// The flag of the item `name` in the folder open at dirFd, opened there without following a link, and only
// while it is a file or folder that still is `expected` (device and inode as seen before). 0 on success,
// else errno: ESTALE for another item at the name, ENOTTY for what is no file or folder. Needs
// CAP_LINUX_IMMUTABLE in the caller's user namespace.
int setImmutable(int dirFd, const QByteArray &name, const struct stat &expected, bool on);
// Whether this process holds CAP_LINUX_IMMUTABLE (without it every change is refused).
bool canChangeImmutable();
// Whether the folder open at `dir` (for reading, not O_PATH) takes new names only (chattr +a): nothing in
// it can be renamed or removed. False where the flags can't be read.
bool appendOnly(int dir);

} // namespace FileFlags
