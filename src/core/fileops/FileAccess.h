#pragma once

#include "core/model/FileItem.h"

#include <QString>

#include <sys/types.h>

// Read and write access of one permission class (owner, group, others) of an item. Links are followed:
// what is shown and what is changed is always the item the link leads to.
namespace FileAccess {

struct Facts {
    int err = 0;     // errno when the item (or the target of a link) could not be read
    mode_t mode = 0; // permission bits with set-user-ID, set-group-ID and sticky
    QString owner, group;
    bool isDirectory = false;
    bool isLink = false;
};
Facts read(const QString &path);

// The mode with the read and write bits of the class at shift (6, 3 or 0) set to value (6, 4, 2 or 0);
// every other bit stays.
mode_t withAccess(mode_t mode, int value, int shift);

struct Written {
    int err = 0;       // 0 on success, else errno
    mode_t mode = 0;   // the mode the item has now: the new one, or after a failure the one found
    mode_t before = 0; // the mode it had just before the change
};
// Starts from the item's mode of now (not an older reading) and changes it on the very item it read. That
// item is looked up in its folder, held, and must be `expected` (what the path led to when its facts were
// read); anything else there now, a link swapped in too, is left alone: ESTALE.
Written setAccess(const QString &path, const ItemId &expected, int value, int shift);
// Takes back what a change from `from` to `to` did, on the same held item: only the bits that change
// touched return to `from`, so whatever else was changed since stays.
Written restoreAccess(const QString &path, const ItemId &expected, mode_t from, mode_t to);

} // namespace FileAccess
