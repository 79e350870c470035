#pragma once

// What a copy or move batch did; the caller reports it, selects the new items and
// records the undo entry from it.

#include "core/filesteps/StepTypes.h"
#include "core/model/FileItem.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <sys/stat.h>

struct TransferPair {
    QString from;
    QString to;
    friend bool operator==(const TransferPair &, const TransferPair &) = default;
};

namespace FileOps {
// An item sent to a Trash: where it was, and where it lies there now.
struct TrashedPair {
    QString original;
    QString inTrash;
    friend bool operator==(const TrashedPair &, const TrashedPair &) = default;
};
// Folders and items as the panes listed them (device and inode), by path: a transfer acts in such a
// folder, and on such an item, only while it is the one the user was shown.
// Folders that no pane listed were held at the first look through the user's own links: their identity
// is among `folders`, and those that could not be held so are refused, for the whole transfer, as then.
struct Shown {
    QHash<QString, struct stat> folders;
    QHash<QString, ItemId> items;
    QHash<QString, FileError> refused;
};
} // namespace FileOps

struct TransferOutcome {
    qsizetype done = 0;
    QStringList created;
    QStringList errors;
    // The names of the items that were not transferred, in order; each has its own sentence in errors.
    QStringList failed;
    // Of those, the items whose copy is complete at the destination while their original stayed (whole or
    // in part): they were copied, not left untransferred.
    QStringList copiedOnly;
    qsizetype skipped = 0;
    bool cancelled = false;
    QList<TransferPair> pairs;
    // Moves that left part of an item at its old place (pipes, mounts, files changed meanwhile): what went
    // is at `to`, the rest still at `from`.
    QList<TransferPair> partly;
    // Every item the batch replaced, as the engine sent it to a Trash; the undo brings them back.
    QList<FileOps::TrashedPair> replaced;

    friend bool operator==(const TransferOutcome &, const TransferOutcome &) = default;
};

enum class ConflictChoice { replace, skip, keepBoth };
