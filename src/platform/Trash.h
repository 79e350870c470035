#pragma once

// Moving items to the freedesktop Trash of their volume: the home trash, or
// <mount>/.Trash/<uid>, or <mount>/.Trash-<uid>. The .trashinfo is written first
// (O_EXCL), then the item is renamed into files/, so an entry is never without its origin.

#include <QString>

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
Result moveToTrash(const QString &path, const QString &shownAs = {});

// The .trashinfo describing an item that lies directly in a Trash's files folder; empty otherwise.
QString infoFileFor(const QString &trashedPath);
// The same for a path given as bytes (its name need not be valid UTF-8); empty otherwise.
QByteArray infoFileForRaw(const QByteArray &trashedPath);

} // namespace Trash
