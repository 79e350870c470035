#pragma once

// The file-system steps the tools and file operations call: removal, the no-replace rename, flushes,
// nesting checks and the Trash. Every step that renames, replaces, moves or deletes a user's item goes
// through these, the copy (CopyJob.h), the move (MoveFinish.h) and the journal (TransferJournal.h).
// What the steps use among themselves is in PosixSteps.h; what tests act on is in StepHooks.h.

#include "core/filesteps/HeldFolder.h"
#include "core/filesteps/PathBytes.h"
#include "core/filesteps/StepTypes.h"
#include "platform/Trash.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

#include <sys/stat.h>

class TransferProgress;
namespace Trash {
class Held;
}

namespace FileSteps {

// Folders nested deeper than this are refused: every level holds descriptors open.
constexpr int maxDepth = 256;
// Threads that copy the files of a tree beside the one that walks it: small files on a disk keep
// eight busy, each in folders of its own.
constexpr int copyThreads = 8;

inline bool sameInode(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Where a removal was refused for want of rights: the folder that kept its entry (relative to the removed
// item's folder, as `mount`; empty: that folder itself, which kept the item), its owner and whether we may
// write it, and how many entries went all the same.
struct Refusal {
    bool refused = false;
    QByteArray folder;
    uid_t owner = 0;
    bool writable = false;
    bool unreadable = false; // the folder would not be opened to list what is in it
    qsizetype gone = 0;
};

// Removes a file, link or whole folder without following links, and never inside another mounted file
// system or a bind mount: those stay with the folders holding them, and the answer is EXDEV (`mount`
// gets the first, relative to the path's folder). 0 or the first errno; `refusal` gets the first folder
// that refused to give up an entry, and the count of what went.
int removeTree(const PathBytes &path, QByteArray *mount = nullptr, Refusal *refusal = nullptr);
// Removes the folder at `path` only when it is empty (never a link). 0 or errno.
int removeEmptyFolder(const PathBytes &path);
// The same for the item `name` in `folder`, only while it is still the item `seen` (ESTALE otherwise).
int removeSeen(const HeldFolder &folder, const QByteArray &name, const struct stat &seen,
               QByteArray *mount = nullptr, Refusal *refusal = nullptr);
// The same for the item `name` in a Trash held from its listing on, with its .trashinfo.
int removeFromTrash(const Trash::Held &trash, const QByteArray &name, QByteArray *mount = nullptr,
                    Refusal *refusal = nullptr);
// The permission bits of the item open at `fd` (O_PATH will do), set on exactly that item and never by a
// name; a link itself has none to set (ELOOP). 0 or errno; ENOSYS without /proc, where no name of the
// descriptor exists.
int setModeOf(int fd, mode_t mode);
// rename with RENAME_NOREPLACE. 0 or errno.
int renameNoReplace(const PathBytes &from, const PathBytes &to);
// fsync of a folder, so that new entries in it are on stable storage. 0 or errno.
int syncFolder(const QString &folder);
// The same for a folder held open at `fd` (readable), known to tests' faults as `folder`.
int syncFolder(int fd, const QString &folder);
// What a batch changed in these folders goes to stable storage: an fsync of each, or one syncfs per
// file system where a batch touched many. 0 or the first errno; `failed` gets the folder it failed in.
int syncFolders(const QStringList &folders, QString *failed = nullptr);

// The end of a job: what it wrote onto the volumes of these folders goes to the drive, one syncfs per
// file system, while the progress says so; a stick may be pulled once this returns. 0 or the first errno;
// `failed` gets a folder on the volume that failed.
int flushVolumes(const QStringList &folders, TransferProgress &progress, QString *failed = nullptr);
// The volumes a job may write, each opened as the job starts: a write-back error is reported to a
// descriptor only when it was open before the error happened, so one opened for the last flush may miss
// what failed earlier.
class HeldFolder;
class JobVolumes {
public:
    JobVolumes() = default;
    JobVolumes(const JobVolumes &) = delete;
    JobVolumes &operator=(const JobVolumes &) = delete;
    ~JobVolumes();
    // The folder `folder`, held, whose volume the job may write.
    void open(const HeldFolder &folder);
    // As flushVolumes: one syncfs per volume of these folders, through the descriptor opened at the start
    // where there is one, and an fsync of each folder opened at the start.
    int flush(const QStringList &folders, TransferProgress &progress, QString *failed = nullptr);
    // One syncfs of the volume of `folder`, opened at the start, in the middle of the job (a group of
    // steps); 0 or errno, `failed` then gets the folder's path. `turn` picks one of the first two descriptors
    // opened on that volume: each hears of the errors since its own last flush, so groups whose writes
    // overlap another group's flush take turns and still hear of theirs.
    int flushVolume(const HeldFolder &folder, QString *failed = nullptr, int turn = 0);

private:
    struct Opened {
        QString folder;
        dev_t dev = 0;
        int fd = -1;
    };
    QList<Opened> opened_;
};
// The sentence for what a job wrote onto the volume of `folder` that did not reach the drive (errno `e`).
QString notSavedText(const QString &folder, int e);

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

// What moving one item to the Trash did. An item with mounts inside is never carried along with them:
// everything else in it goes piece by piece and the folders holding the mounts stay.
struct Trashed {
    Trash::Status status = Trash::Status::failed;
    int err = 0;
    QList<QPair<QString, QString>> moved; // original and place in the Trash, of each piece
    qsizetype mounts = 0;                 // mounted folders that stayed
    QString firstMount;                   // one of them, relative to the item's folder
    bool partOfTrash = false;             // refused: a Trash's own folder, or in a Trash already
};
// The item `name` in `folder`, remembered at `path`, to the Trash: the folder is not looked up again.
Trashed trashItem(const HeldFolder &folder, const QByteArray &name, const QString &path);
// Items to the Trash in one group: the records of all on stable storage with one flush, their info files
// with one flush of each Trash's volume. A folder goes alone, as trashItem takes it.
struct TrashAt {
    const HeldFolder *folder = nullptr;
    QByteArray name;
    QString path;
    Trashed result;
};
void trashAll(QList<TrashAt> &items);
// The sentence for the mounts that stayed; empty when none did.
QString mountsStayedText(const Trashed &t, const QString &name);
// The sentence for an item refused because it is part of a Trash.
QString partOfTrashText(const QString &name);

// Steps within held folders, each by name, never through a link.
// renameNoReplace of `fromName` in `from` to `toName` in `to`. 0 or errno.
int renameNoReplace(const HeldFolder &from, const QByteArray &fromName, const HeldFolder &to,
                    const QByteArray &toName);
// The held folder as a path the system resolves to exactly that folder, whatever its own path does now:
// for steps that take paths.
QString pinnedPath(const HeldFolder &folder);
// Whether the volume takes `other`, a spelling of the entry `name` (facts `item`) in the folder open at dirFd
// that differs only in letter case or Unicode form, for that entry: a lookup of `other` finds it though
// no name in `listed` (the folder's entries) is `other`. Nothing when the lookup fails otherwise.
std::optional<bool> findsUnder(int dirFd, const struct stat &item, const QString &name, const QString &other,
                               const QStringList &listed);
// Our marker on an item that waits under a hidden name, and off again; not on links, and nothing where
// the volume keeps no attributes.
void setPartMark(const HeldFolder &folder, const QByteArray &name, const QByteArray &mark);
void dropPartMark(const HeldFolder &folder, const QByteArray &name);

// A work folder of our own: made as `name` in `in` (0700) and held. What the name leads to right after must
// be a folder that is ours, 0700 and empty, else nothing of it is used: a FileError (`in`'s refusal for a
// link or a folder someone else put there).
HeldFolder makePrivateFolder(const HeldFolder &in, const QByteArray &name);

// What an unpacked archive brings that an ordinary user could not make goes before anyone sees the
// folder: devices, pipes and sockets are removed (and told in `left`), set-id and sticky bits cleared,
// foreign owners replaced, never through a link. In a group folder (setgid) its group and, on folders, its
// bit stay, as anything made there gets them. With `zipNames`, a name that is no UTF-8 is read as CP437,
// what a zip holds where its UTF-8 flag is unset. 0 or errno (then the folder must not be published).
struct LeftOut {
    static constexpr int named = 3;
    QStringList names; // the first few removed, relative to the folder
    int count = 0;
};
// Modes are taken down to what the umask allows, and each folder is open to us (u+rwx) while its
// contents are tamed. The top folder stays open to us: `topMode` gets the mode to give it once it is in
// place.
int tameUnpacked(const HeldFolder &folder, LeftOut &left, bool zipNames = false, mode_t *topMode = nullptr);
// Whether the folder's volume keeps owners and modes of its own (not FAT, exFAT, NTFS, FUSE, SMB).
bool keepsModes(const HeldFolder &folder);
// Removes `name` in `folder` with all it holds, only while it is still the item `made` (never through a
// link); folders of ours closed to us are opened up for it. 0, ESTALE when something else has the name,
// or errno.
int removeMade(const HeldFolder &folder, const QByteArray &name, const struct stat &made);
// Unlinks the entry `name` (no folder) of the folder open at dirFd, only while it is still the item `seen`.
// 0, ESTALE when something else has the name, or errno.
int unlinkSeen(int dirFd, const QByteArray &name, const struct stat &seen);
// `data` becomes the file `name` in `folder` in one step: written to a new file beside it (O_EXCL, never
// through a link), flushed and renamed over the name, so a link or file found there is replaced, never
// written through. A file that was there keeps its permissions. 0 or errno.
int writeFileAt(const HeldFolder &folder, const QByteArray &name, QByteArrayView data);

// One item met by walkBeneath: its path relative to the walk's folder, its stat, for a file or folder
// a descriptor open for reading (-1 for anything else), for a link its target.
struct Walked {
    QByteArray relative;
    struct stat st;
    int fd = -1;
    QByteArray linkTarget;
};
// Walks the items `names` of `folder` and all beneath them, each folder before its contents, holding every
// folder on the way: never through a link, never deeper than maxDepth, never into what changed between the
// listing and the open (the refusal). `visit` returns 0 to go on, else an errno that ends the walk.
// 0 or the first errno (`failed` gets the relative path it came at); a FileError for a refused folder.
int walkBeneath(const HeldFolder &folder, const QList<QByteArray> &names,
                const std::function<int(const Walked &)> &visit, QByteArray *failed = nullptr);

} // namespace FileSteps
