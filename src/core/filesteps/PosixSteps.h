#pragma once

// Inside the file-system steps: descriptors, folder listings, hidden names, the exchange, mount and
// identity checks. For the copy, the move, the journal and the transfer engine, not for the tools.

#include "core/filesteps/FileSteps.h"
#include "core/filesteps/HeldFolder.h"
#include "core/filesteps/StepHooks.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

#include <sys/stat.h>

namespace FileSteps {

// The process's umask as the system reports it, without setting it (setting it to read it would
// give the other threads' new files the wrong rights for a moment); nullopt when it can't be read.
std::optional<mode_t> currentUmask();

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

// Whether `to` is the folder `source` (whose stat is `folder`) or lies anywhere below it:
// by device and inode of every folder on the canonical path of `to`, and of that path as
// the source's mount shows it, so links and bind mounts into the folder are caught.
bool liesInside(const QString &to, const QString &source, const struct stat &folder);

// Opens the folder holding `path` and returns the last component as bytes.
Fd openParent(const PathBytes &path, QByteArray &name);

// A free hidden name in `folder` for an original on its way out ("gone").
PathBytes hiddenName(const PathBytes &folder, const char *kind);
// Removes the copies in `folder` that an interrupted transfer left under a part name (those
// the journal names and their marker proves ours).
void removeStaleParts(const QString &folder);

// Swaps the names of two items in one step (RENAME_EXCHANGE). 0 or errno; EINVAL, ENOTSUP or
// ENOSYS where the file system cannot.
int exchangeNames(const PathBytes &a, const PathBytes &b);
int exchangeNamesAt(int dir, const QByteArray &a, const QByteArray &b);
// renameNoReplace and removeTree for names in folders held open.
int renameNoReplaceAt(int fromDir, const QByteArray &from, int toDir, const QByteArray &to);
int removeTreeAt(int dirFd, const QByteArray &name, QByteArray *mount = nullptr, Refusal *refusal = nullptr);

// The complete part `part` (journalled) takes the name `named` of the item `old`, and the old item goes
// to the Trash from the hidden name: in one exchange where the file system can, so the name is never
// empty; elsewhere the old item goes first and the journal gives the name to the part after a crash in
// between. With `in`, both names are in that held folder, and it must still be at its path.
// recorded: its record is on stable storage already.
Replaced replaceWithPart(const QString &part, const QString &named, const struct stat &old,
                         const HeldFolder *in = nullptr, bool recorded = false);
// The Trash's refusal of the item at `path` as an error.
FileError trashError(const Trash::Result &trashed, const QString &path);

// trashItem for the item `name` in the folder open at dirFd, remembered at `path`.
Trashed trashItem(int dirFd, const QByteArray &name, const QString &path);

// Tells the hook of tests and benchmarks that `step` was reached at the path with these bytes.
void reached(Step step, const QByteArray &path);
// The error a write must fail with while a test fails the disk; 0 otherwise. Flushes fail inside
// Posix's flush calls.
int writeErrorForTests();

} // namespace FileSteps
