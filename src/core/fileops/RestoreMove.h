#pragma once

// Moving items back where they were (undo, put back): never over an existing item,
// and across volumes only by a verified copy before the original goes.

#include "core/filesteps/HeldFolder.h"
#include "core/filesteps/StepTypes.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

class TransferProgress;

namespace Restore {

// The paths as the actions work on them: absolute, without "." or ".." or a trailing slash.
QStringList normalized(const QStringList &paths);

// Whether anything (a broken link too) is at the path.
bool exists(const QString &path);
bool isFolder(const QString &path);
QString name(const QString &path);
QString folder(const QString &path);

// Nothing on success, else why not. Throws CancelledError when the job is cancelled during a
// copy across volumes (the partial copy is gone by then).
std::optional<FileError> moveItem(const QString &from, const QString &to, TransferProgress &progress);

// The folder `path` (absolute), held: reached through links the user or the system owns only, since a
// link another account put in place of a folder of a shared place must not lead an item elsewhere.
// Throws a FileError: ENOENT or ENOTDIR when it is missing, the folder's refusal for such a link.
FileSteps::HeldFolder holdOrigin(const FileSteps::PathBytes &path);

// Moves `from` into `folder` under `wanted` or, when that is taken, the next free copy name.
// The path it went to, or the error.
struct Placed {
    QString path;
    std::optional<FileError> error;
};
Placed moveToFreeName(const QString &from, const QString &folder, const QString &wanted,
                      TransferProgress &progress);

// The sentence for a failed move of the item called `name`.
QString message(const FileError &error, const QString &name);

// What a Trash item's .trashinfo says: the original path and when the item was trashed.
struct TrashInfo {
    QString original; // absolute; empty when the place named is not acceptable ("..", "." or an empty
                      // component, another volume, the volume's top folder itself)
    QDateTime deleted;
};
// Nothing when the item has no .trashinfo or it cannot be read.
std::optional<TrashInfo> readTrashInfo(const QString &inTrash);
// The top folder of the volume whose trash holds the item: it may go back only below it, never through a
// link that leads off the volume. Empty for the home trash and for what is in no Trash.
QString volumeTopOf(const QString &inTrash);
// Whether path is top or lies below it, by text alone; everything absolute lies below "/".
bool isBelow(const QString &path, const QString &top);
// Forgets an item that has left the Trash: its .trashinfo and our record of its origin.
void forgetTrashed(const QString &inTrash);

} // namespace Restore
