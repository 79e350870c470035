#pragma once

// The file-system steps on path bytes (hidden names, the exchange, removal, flushes, mount and
// identity checks) that the copy, the move and every tool share. For the file operations above
// them, not for other subsystems.

#include "core/filesteps/StepTypes.h"
#include "platform/Posix.h"
#include "platform/Trash.h"

#include <QByteArray>
#include <QString>
#include <QList>
#include <QPair>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

#include <sys/stat.h>

namespace FileSteps {

// Folders nested deeper than this are refused: every level holds descriptors open.
constexpr int maxDepth = 256;
// Threads that copy the files of a tree beside the one that walks it: small files on a disk keep
// eight busy, each in folders of its own.
constexpr int copyThreads = 8;

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

[[noreturn]] void fail(int code);

struct Entry {
    QByteArray name;
    unsigned char type; // as the folder tells it (DT_*); DT_UNKNOWN where it does not
};
// The entries of a folder, read at once so that no directory stream stays open while
// the children are copied.
std::vector<Entry> listEntries(int dirFd);
std::vector<QByteArray> listNames(int dirFd);

inline bool sameTime(const timespec &a, const timespec &b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Whether the folder `name` in dirFd (stat st, in a folder on device parentDev) is where another
// file system or a bind mount is mounted.
bool isMountPoint(int dirFd, const char *name, const struct stat &st, dev_t parentDev);

// Opens the folder holding `path` and returns the last component as bytes.
Fd openParent(const QString &path, QByteArray &name);
Fd openParent(const QByteArray &path, QByteArray &name);

// A free hidden name in `folder`: "part" for a copy that is not in place yet, "gone" for
// an original on its way out.
QString hiddenName(const QString &folder, const char *kind);
// The same in the folder's bytes, for a caller that carries them.
QByteArray hiddenName(const QByteArray &folder, const char *kind);
// Removes the copies in `folder` that an interrupted transfer left under a part name (those
// the journal names and their marker proves ours).
void removeStaleParts(const QString &folder);

// Removes a file, link or whole folder without following links. 0 or the first errno.
int removeTree(const QString &path);
int removeTree(const QByteArray &path);
// Swaps the names of two items in one step (RENAME_EXCHANGE). 0 or errno; EINVAL, ENOTSUP or
// ENOSYS where the file system cannot.
int exchangeNames(const QString &a, const QString &b);
// rename with RENAME_NOREPLACE. 0 or errno.
int renameNoReplace(const QString &from, const QString &to);
int renameNoReplace(const QByteArray &from, const QByteArray &to);
// fsync of a folder, so that new entries in it are on stable storage. 0 or errno.
int syncFolder(const QString &folder);
// What a batch changed in these folders goes to stable storage: an fsync of each, or one syncfs per
// file system where a batch touched many. 0 or the first errno; `failed` gets the folder it failed in.
int syncFolders(const QStringList &folders, QString *failed = nullptr);

// Whether one folder is the other or lies inside it, by identity: up through ".." from each, and
// through the mount table, so that links and bind mounts of either's subfolders are caught.
bool foldersNested(const QString &a, const QString &b);

// How a replacement went.
struct Replaced {
    enum class How {
        done,     // the part has the name; the old item is in the Trash (inTrash)
        nameFree, // the old item went meanwhile: nothing was done
        failed,   // both are where they were (error)
        kept,     // the old item waits under the hidden name, or is in the Trash with the part left
                  // beside its name: the journal settles them at the next start
    } how = How::failed;
    FileError error;
    bool noTrash = false; // the volume has no Trash we may use
    QString inTrash;
};
// The complete part `part` (journalled) takes the name `named` of the item `old`, and the old item goes
// to the Trash from the hidden name: in one exchange where the file system can, so the name is never
// empty; elsewhere the old item goes first and the journal gives the name to the part after a crash in
// between.
Replaced replaceWithPart(const QString &part, const QString &named, const struct stat &old);

// What moving one item to the Trash did. An item with mounts inside is never carried along with them:
// everything else in it goes piece by piece and the folders holding the mounts stay.
struct Trashed {
    Trash::Status status = Trash::Status::failed;
    int err = 0;
    QList<QPair<QString, QString>> moved; // original and place in the Trash, of each piece
    qsizetype mounts = 0;                 // mounted folders that stayed
    QString firstMount;                   // one of them, relative to the item's folder
};
Trashed trashItem(const QString &path, const QString &shownAs = {});
// The sentence for the mounts that stayed; empty when none did.
QString mountsStayedText(const Trashed &t, const QString &name);

// Steps of a copy or move at which tests act (a writer, a kill).
// oldItemOut: a replaced item has left its name; flushed: a copy's file system is on stable storage.
enum class Step { chunkCopied, fileCopied, placed, sourceAside, fileRemoved, oldItemOut, flushed };
using StepHook = std::function<void(Step, const QString &path)>;
void setStepHook(StepHook hook);
void reached(Step step, const QByteArray &path);
// Tests only: false makes a replace take the way of file systems that cannot exchange two names.
void setExchangeForTests(bool on);
// Tests only: the flushes of `folder` fail with `error` (0: as the system answers).
void setFolderSyncErrorForTests(const QString &folder, int error);
// Tests only: a failing disk. Every flush (and with `writesToo` every journal and copy write and every
// rename of these steps) fails with `error` from now on (0: healed).
void setDiskErrorForTests(int error, bool writesToo = true);
// The error a write (flush: false) or a flush must fail with while a test fails the disk; 0 otherwise.
int diskErrorForTests(bool flush);
// How many flushes the failing disk has failed so far.
int failedFlushesForTests();

} // namespace FileSteps
