#pragma once

// Internals of the file operations: descriptor-based tree work on path bytes, shared
// by the tree copy, the transfer engine and the trash code. Not for other subsystems.

#include "core/fileops/FileError.h"
#include "core/fileops/FileOps.h"
#include "platform/Posix.h"

#include <QByteArray>
#include <QStringList>

#include <memory>
#include <QString>

#include <sys/stat.h>

namespace FileOps::detail {

// The bytes of a path, or a FileError for a name that cannot be named to the system.
QByteArray bytesOf(const QString &path);
QString textOf(const QByteArray &bytes);

inline bool sameInode(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether `to` is `folder` or lies anywhere below it, by device and inode of every
// parent of `to` (so a link or bind mount into the folder is caught too).
bool liesInside(const QString &to, const struct stat &folder);

// What a tree copy did, beyond its success.
struct CopyReport {
    bool createdRoot = false; // the target item is ours (remove it on failure)
    qsizetype passedOver = 0; // pipes, sockets, devices not carried
    QStringList unstable;     // files that changed while they were copied
};

class CopyJob;
struct CopyJobDeleter {
    void operator()(CopyJob *job) const;
};
using CopyJobPtr = std::unique_ptr<CopyJob, CopyJobDeleter>;
// One per transfer: the chunk buffer and file-system capabilities survive across items.
CopyJobPtr newCopyJob(TransferProgress &progress);
void copyTree(CopyJob &job, const QString &source, const QString &target, bool flush, CopyReport &report);

// Regular files and their bytes below a folder (a link to a folder is followed at the top only).
TreeStats regularFilesBelow(const QString &folder);

// Moves one item to another volume: copy, flush, verify, then remove the original.
// Throws like copyTree; a copy that differs, or an original that will not go, is a FileError.
void moveAcross(const QString &from, const QString &to, TransferProgress &progress);

// Why a finished copy must not replace its original; empty when it may.
QString verifyCopy(const QString &source, const QString &target, const CopyReport &report,
                   const QString &name);

// Removes a file, link or whole folder without following links. 0 or the first errno.
int removeTree(const QString &path);
int removeTree(const QByteArray &path);
// rename with RENAME_NOREPLACE. 0 or errno.
int renameNoReplace(const QString &from, const QString &to);
// fsync of a folder, so that new entries in it are on stable storage. 0 or errno.
int syncFolder(const QString &folder);

} // namespace FileOps::detail
