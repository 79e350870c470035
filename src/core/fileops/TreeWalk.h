#pragma once

// Internals of the file operations: descriptor-based tree work on path bytes, shared
// by the tree copy, the transfer engine and the trash code. Not for other subsystems.

#include "core/fileops/FileError.h"
#include "core/fileops/FileOps.h"
#include "platform/Posix.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <unordered_map>

#include <sys/stat.h>

namespace FileOps::detail {

// Folders nested deeper than this are refused: every level holds descriptors open.
constexpr int maxDepth = 256;
// Threads that copy the files of a tree beside the one that walks it.
constexpr int copyThreads = 4;

// The bytes of a path, or a FileError for a name that cannot be named to the system.
QByteArray bytesOf(const QString &path);
QString textOf(const QByteArray &bytes);

inline bool sameInode(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether `to` is the folder `source` (whose stat is `folder`) or lies anywhere below it:
// by device and inode of every folder on the canonical path of `to`, and of that path as
// the source's mount shows it, so links and bind mounts into the folder are caught.
bool liesInside(const QString &to, const QString &source, const struct stat &folder);

// A descriptor closed on every way out.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    Fd(Fd &&o) noexcept : fd_(o.release()) {}
    Fd &operator=(Fd &&o) noexcept {
        reset(o.release());
        return *this;
    }
    ~Fd() { reset(); }
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1);

private:
    int fd_;
};

// An entry as it was when its copy began: it may leave the source only while it still is.
struct Seen {
    off_t size = 0;
    timespec mtime{}, ctime{};
    mode_t type = 0;
    bool stable = true; // false: it changed while it was copied
};
struct Identity {
    dev_t dev;
    ino_t ino;
    friend bool operator==(const Identity &, const Identity &) = default;
};
struct IdentityHash {
    size_t operator()(const Identity &i) const { return std::hash<ino_t>()(i.ino) * 31 + size_t(i.dev); }
};

// What a tree copy did, beyond its success.
struct CopyReport {
    bool remember = false;    // record every copied file (a move needs it)
    bool createdRoot = false; // the target item is ours (remove it on failure)
    qsizetype passedOver = 0; // pipes, sockets, devices not carried
    QStringList unstable;     // files that changed while they were copied
    bool aclDropped = false;  // the target took no ACL; it got narrower mode bits instead
    Fd held;                  // the new root, open while it has no real name yet
    QByteArray mark;          // the marker value the new root gets while it has no real name
    std::unordered_map<Identity, Seen, IdentityHash> copied;
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

// A free hidden name in `folder`: "part" for a copy that is not in place yet, "gone" for
// an original on its way out.
QString hiddenName(const QString &folder, const char *kind);
// Removes the copies in `folder` that an interrupted transfer left under a part name (those
// the journal names and their marker proves ours).
void removeStaleParts(const QString &folder);
// Takes the marker off a copy that has its real name now.
void unmark(CopyReport &report);

// What stayed of an original after a move to another volume.
struct Leftover {
    int error = 0;         // a deletion failed (errno); the copy stays
    qsizetype changed = 0; // files changed or added since their copy began
    QString firstChanged;  // one of them, relative to the original's folder
    qsizetype special = 0; // pipes, sockets, devices
    qsizetype mounts = 0;  // folders where something is mounted: they stay with what they show
    QString firstMount;    // one of them, relative to the original's folder
    QString keptAt;        // where the rest of the original is now (empty: all gone)
};
// Ends a move once the copy of `source` has its real name at `target`: sets the original
// aside under a hidden name, deletes each entry that was copied and is unchanged since,
// and gives the rest its name back. Copies of changed files leave the target again.
Leftover finishMove(const QString &source, const QString &target, CopyReport &report);
// The sentence for what stayed behind; empty when nothing did.
QString leftoverText(const Leftover &left, const QString &name);

// Moves one item to another volume: copy, flush, put in place, then remove the original.
// Throws like copyTree; an original that will not go (wholly) is a FileError.
void moveAcross(const QString &from, const QString &to, TransferProgress &progress);

// Removes a file, link or whole folder without following links. 0 or the first errno.
int removeTree(const QString &path);
int removeTree(const QByteArray &path);
// Swaps the names of two items in one step (RENAME_EXCHANGE). 0 or errno; EINVAL, ENOTSUP or
// ENOSYS where the file system cannot.
int exchangeNames(const QString &a, const QString &b);
// rename with RENAME_NOREPLACE. 0 or errno.
int renameNoReplace(const QString &from, const QString &to);
// fsync of a folder, so that new entries in it are on stable storage. 0 or errno.
int syncFolder(const QString &folder);

// Steps of a copy or move at which tests act (a writer, a kill).
// oldItemOut: a replaced item has left its name.
enum class Step { chunkCopied, fileCopied, placed, sourceAside, fileRemoved, oldItemOut };
using StepHook = std::function<void(Step, const QString &path)>;
void setStepHook(StepHook hook);
void reached(Step step, const QByteArray &path);
// Tests only: false makes a replace take the way of file systems that cannot exchange two names.
void setExchangeForTests(bool on);

} // namespace FileOps::detail
