#pragma once

// Stateless file operations shared by the whole program. Safe from any thread.

#include "core/filesteps/HeldFolder.h"
#include "core/filesteps/StepTypes.h"
#include "core/fileops/TransferOutcome.h"
#include "core/filesteps/TransferProgress.h"
#include "platform/HeldTrash.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace FileOps {

// --- basics

using FileSteps::uniqueURL;

bool sameVolume(const QString &a, const QString &b);

struct SizeCount {
    qint64 bytes = 0;
    qsizetype files = 0;
};
SizeCount totalSize(const QStringList &paths);

// Renames without ever replacing an existing item; throws FileError.
void rename(const QString &from, const QString &to);
// The same from `fromName` in the held folder `from` to `toName` in `to`; `name` is the item's name for
// messages. Where the drive refuses the rename with EXDEV, the item moves by a verified copy, or with
// `byCopy` false the EXDEV is thrown and nothing is done.
void rename(const FileSteps::HeldFolder &from, const QByteArray &fromName, const FileSteps::HeldFolder &to,
            const QByteArray &toName, const QString &name, bool byCopy = true);
// Renames a listed item within its folder, which must still be the folder listed, and the item the
// item listed; throws FileError (EEXIST when `newName` is taken). The item as renamed: its new path and
// the identities of its folder and of itself.
ShownItem rename(const ShownItem &item, const QString &newName);
// Makes an empty folder or file under the first free numbered form of `name` in `folder`, held as the
// pane listed it (`shown`; zero: held as it is now). Its path; throws FileError.
QString createIn(const QString &folder, const ItemId &shown, const QString &name, bool isFolder);

// --- tree copy

// Copies a file, link or folder tree to `target`, which must not exist. Throws
// CancelledError, CopyFailure for a failing file, FileError for folders and links.
// With flush, the copy is on stable storage when this returns.
void copyTree(const QString &source, const QString &target, TransferProgress &progress, bool flush);
void copyFileChunked(const QString &source, const QString &target, TransferProgress &progress, bool flush);

qint64 totalBytes(const QStringList &paths);
std::optional<qint64> totalBytes(const QStringList &paths, TransferProgress &progress);
// The same for items named in held folders, a file with several names among them once; nothing when
// cancelled. With needed, it gets the space their copy takes: where holesStay (the target keeps holes), the
// blocks a sparse file holds rather than its size. With onDevice, the part of that space that lies on the
// device `device` (what a clone there may copy without taking space).
std::optional<qint64> totalBytesAt(const QList<QPair<const FileSteps::HeldFolder *, QByteArray>> &items,
                                   TransferProgress &progress, dev_t device = 0, qint64 *onDevice = nullptr,
                                   qint64 *needed = nullptr, bool holesStay = false);

struct TreeStats {
    qsizetype files = 0;   // every non-folder entry: files, links, special files
    qint64 bytes = 0;      // sizes of the regular files
    qsizetype special = 0; // pipes, sockets, devices among them
    friend bool operator==(const TreeStats &, const TreeStats &) = default;
};
TreeStats treeStats(const QString &path);

std::optional<qint64> freeBytes(const QString &path);

// --- errors

using FileSteps::describe;
using FileSteps::explain;
// A question about items: the `one` key with the item's name for a single item, else `many` with their count.
QString aboutItems(const QStringList &paths, const char *one, const char *many);
using FileSteps::isPermissionDenied;

// --- transfer engine

// The first look of a transfer at the destination and the sources' folders that no pane listed (a
// favourite, another program's drop, the command line): each is held through the user's own links only,
// and from then on the transfer acts in it only while it is that folder.
void holdUnlisted(const QStringList &paths, const QString &dest, Shown &shown);
// The folder `path` as a transfer holds it: the one listed or held at the first look, else reached
// through the user's own links. Throws the FileError that refuses it.
FileSteps::HeldFolder holdChosen(const FileSteps::PathBytes &path, const Shown &shown);

// The job ends with one flush of the destination's volume (without flushAtEnd, its caller flushes once
// for all its runs).
// With `shown`, the destination and the sources' folders found there must still be those folders; the
// others are reached through the user's own links only.
TransferOutcome runWithProgress(const QStringList &paths, const QString &to, bool move,
                                TransferProgress &progress,
                                const QHash<QString, ConflictChoice> &resolutions = {},
                                bool flushAtEnd = true, const Shown &shown = {});
// Once for a batch: how many pipes, sockets and devices inside copied folders stayed behind, the first
// few (paths) by name.
QString passedOverText(const QStringList &first, qsizetype count);

// --- what interrupted transfers left

using FileSteps::Leftovers;
// Settles what the journal says interrupted transfers left: removes their incomplete copies,
// finishes replacements, gives set-aside originals their names back. Removes nothing else.
Leftovers recoverTransfers();
// One sentence about what stayed; empty when nothing did.
QString leftoversText(const Leftovers &left);

// --- trash and permanent delete

// With a progress these count items (done and total) and stop before the next item once it is cancelled;
// what was not reached yet stays where it is.
struct TrashResult {
    qsizetype done = 0;
    QStringList errors;
    QStringList noTrash;
    QList<TrashedPair> moved;
    bool cancelled = false;
};
// Each item goes only while its folder is still the folder listed and it the item listed; a folder that no
// pane listed (a drop from another program, an undo, a rule) is reached through the user's own links only.
TrashResult trash(const QList<ShownItem> &items, TransferProgress *progress = nullptr);
// Items no pane lists, by their paths alone.
QList<ShownItem> unlisted(const QStringList &paths);

struct DeleteResult {
    qsizetype done = 0;
    QStringList errors;
    QStringList denied;
    bool cancelled = false;
};
// Items in a Trash, each with its .trashinfo through the Trash's own folders.
DeleteResult deletePermanently(const QStringList &paths, TransferProgress *progress = nullptr);
// Items as listed (what the Trash could not take), each only while its folder and itself are still those
// listed; a folder no pane listed is reached through the user's own links only.
DeleteResult deleteListed(const QList<ShownItem> &items, TransferProgress *progress = nullptr);
// An item in a Trash whose folders are held from its listing to its deletion.
struct TrashedEntry {
    std::shared_ptr<const Trash::Held> trash;
    QByteArray name; // in its files folder; need not be valid UTF-8
    QByteArray path() const { return trash->filesPath() + '/' + name; }
};
// What the Trash view's folders hold, each folder held from now on (one that is not to be trusted
// counts as empty).
struct TrashListing {
    QList<std::shared_ptr<const Trash::Held>> trashes;
    QList<TrashedEntry> entries;
};
TrashListing listTrashes(const QStringList &folders);
// Deletes the items for good, each with its .trashinfo, relative to the held folders.
struct TrashDeleteResult {
    qsizetype done = 0;
    QStringList errors;
    QList<TrashedEntry> denied;
    bool cancelled = false;
};
TrashDeleteResult deleteTrashed(const QList<TrashedEntry> &entries, TransferProgress *progress = nullptr);

} // namespace FileOps
