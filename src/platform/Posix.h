#pragma once

#include <QByteArray>
#include <QString>
#include <cerrno>
#include <optional>

#include <sys/stat.h>

// The one place where paths turn into bytes for system calls and back.
namespace Posix {

// The bytes of a path; nullopt when it does not survive the round trip (a lone surrogate, say).
std::optional<QByteArray> encode(const QString &path);
// A name read from the file system; nullopt when its bytes are not valid UTF-8 and so cannot be shown
// without turning into another name.
std::optional<QString> decode(const char *bytes, qsizetype len);
inline std::optional<QString> decode(const QByteArray &b) {
    return decode(b.constData(), b.size());
}
// A name for messages: the name itself when it is valid UTF-8, else with every byte that is not part
// of a valid character written as \xNN, so it never reads like another (real) name.
QString shown(const char *bytes, qsizetype len);
inline QString shown(const QByteArray &b) {
    return shown(b.constData(), b.size());
}

// lstat / stat of a path; false also for a name that cannot be given to the system.
bool lstatPath(const QString &path, struct stat &st);
bool statPath(const QString &path, struct stat &st);
// 0, or why the item cannot be read (EILSEQ for a name the system cannot be given).
int lstatError(const QString &path, struct stat &st);

// The text after the last slash (the whole path when there is none).
QString lastComponent(const QString &path);
// The path up to the last slash: "/" for an item at the top, empty when there is no slash.
QString parentOf(const QString &path);

// name inside folder, without a second slash when folder ends in one.
QString childPath(const QString &folder, const QString &name);
// Whether path is folder itself or lies below it, by text alone (no links followed).
bool isAtOrBelow(const QString &path, const QString &folder);

// The system's own sentence for an errno value ("No such file or directory").
QString errorText(int err);
// The symbolic name of an errno value ("ENOENT"); "E<number>" for unknown ones.
QString errorName(int err);

// The folder `relative` (slash-separated, no "." or "..", empty for top itself) below the folder `top`,
// opened as an O_PATH descriptor without following any link (a folder on the way may have been swapped for
// one) or crossing into another mounted file system: the folder is then pinned, whatever happens to the
// names later. The descriptor, or -1 with errno: ENOENT/ENOTDIR when a folder on the way is missing, ELOOP
// when one is a link, EXDEV when the way leaves top.
int openFolderBeneath(const QString &top, const QString &relative);

// The folder `path` (absolute), reached name by name from the top and opened O_PATH. A link on the way
// leads on only when the user or the system owns it, as one the user made would; another account's link
// is refused with ELOOP. With `make`, a missing folder on the way is made (mode 0700) and held at once.
// The descriptor, or -1 with errno.
int openOwnWay(const QByteArray &path, bool make = false);

// rename with RENAME_NOREPLACE, relative to two folders (AT_FDCWD for paths). Where the file system
// refuses the flag (FUSE, NFS, SMB), still never over another item: a hard link then the old name's
// removal where the volume has links that keep the item's inode number, else a check that the target is
// free and the source still the item (`expected`, else what `from` named at the call) right before a
// plain rename. A volume whose links show a new number (sshfs) is known by its first link. 0 or errno.
int renameNoReplace(int fromDir, const char *from, int toDir, const char *to,
                    const struct stat *expected = nullptr);

// Reads from fd until its end or `most` bytes, again after EINTR and short reads.
QByteArray readAtMost(int fd, qsizetype most);

// Writes all of data, again after EINTR and short writes. 0 or errno (EIO when nothing could be written).
int writeAll(int fd, const char *data, qint64 n);

// Flushes, again after EINTR: a file's data (fdatasync), a file or folder (fsync), a whole file system
// (syncfs). 0 or errno; a fault a test puts in is their answer in place of the system's.
int flushData(int fd);
int flushFile(int fd);
int flushFileSystem(int fd);
// Every flush above fails with `error` from now on (0: the system answers again); with `only`, just the
// only-th flush from now does.
void setFlushErrorForTests(int error, int only = 0);
// How many flushes the fault has failed so far.
int failedFlushesForTests();

// This process's id, asked of the system once (and again in a forked child): steps ask for it per item.
pid_t ownPid();

// Runs a system call again while it fails with EINTR.
template <typename F> auto retry(F f) {
    decltype(f()) r;
    do {
        r = f();
    } while (r == -1 && errno == EINTR);
    return r;
}

} // namespace Posix
