#pragma once

// Moving items to the freedesktop Trash of their volume: the home trash, or
// <mount>/.Trash/<uid>, or <mount>/.Trash-<uid>. The .trashinfo is written first
// (O_EXCL) and flushed with its folder, then the item is renamed into files/, so an entry is never
// without its origin, not even after a power cut; a flush that fails leaves the item where it was.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace Trash {

enum class Status {
    moved,
    noTrash, // the item's volume has no Trash we may use; the item is untouched
    failed,  // err tells why; the item is untouched
};

struct Result {
    Status status = Status::failed;
    int err = 0;
    QString inTrash; // where the item is now, when moved
};

// shownAs: the place the item is to be remembered at, when it lies under another name for the moment
// (the Trash entry takes that name and origin).
// beforeInfo: told the .trashinfo and the entry it is for before the info file is made; false refuses
// (errno tells why).
using InfoHook = std::function<bool(const QByteArray &info, const QByteArray &entry)>;
Result moveToTrash(const QString &path, const QString &shownAs = {}, const InfoHook &beforeInfo = {});
// The item `name` in the folder open at dirFd, which is to be remembered at `path`: the folder is not
// looked up again by its path, so a link put in its place meanwhile leads nowhere else.
Result moveToTrash(int dirFd, const QByteArray &name, const QString &path, const InfoHook &beforeInfo = {});

// The .trashinfo describing an item that lies directly in a Trash's files folder; empty otherwise.
QString infoFileFor(const QString &trashedPath);
// The same for a path given as bytes (its name need not be valid UTF-8); empty otherwise.
QByteArray infoFileForRaw(const QByteArray &trashedPath);

// A folder's names as the system lists them (shown readable, sorted), or the errno of opening it.
struct Listing {
    int error = 0;
    QStringList names;
};
Listing list(const QString &folder);
// 0 when the folder may be listed and entered, else the errno saying why not.
int accessError(const QString &folder);

} // namespace Trash
