#pragma once

#include "core/model/FileItem.h"

#include <QList>
#include <optional>

// How a sorted list of items became the next one of the same folder: rows removed from the old list,
// rows inserted into the new one, and rows kept in place whose record changed. Removing, then inserting
// (both in ascending order) turns the old list into the new one, so views can update by ranges and keep
// their scroll position instead of laying out everything again.
struct ItemsDiff {
    QList<qsizetype> removed;  // rows of the old list, ascending
    QList<qsizetype> inserted; // rows of the new list, ascending
    QList<qsizetype> updated;  // rows of the new list whose item kept its place but changed
    QList<FileItem> before;    // the old list the rows refer to, filled in by whoever publishes the diff

    // None when the lists differ too much for ranges to pay off (a new folder, a re-sort), and for very
    // long lists, where matching every row costs more than laying the view out again (a change the watch
    // names is applied in place instead, whatever the length).
    static std::optional<ItemsDiff> between(const QList<FileItem> &before, const QList<FileItem> &after);
    static constexpr qsizetype maxRows = 10000;
};
