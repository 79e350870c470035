#include "core/model/ItemsDiff.h"

#include "core/model/PathIndex.h"

#include <vector>

std::optional<ItemsDiff> ItemsDiff::between(const QList<FileItem> &before, const QList<FileItem> &after) {
    if (before.isEmpty() || after.isEmpty() || before.size() > maxRows || after.size() > maxRows)
        return std::nullopt;
    const PathIndex rowInAfter(after);
    // Keep old items in their order while they appear further down the new list; an item that moved up
    // past kept ones counts as removed and inserted again.
    ItemsDiff diff;
    std::vector<bool> kept(size_t(after.size()), false);
    qsizetype lastKept = -1;
    for (qsizetype i = 0; i < before.size(); ++i) {
        const qsizetype j = rowInAfter.row(before[i]);
        if (j > lastKept) {
            kept[size_t(j)] = true;
            lastKept = j;
            if (!(before[i] == after[j])) diff.updated << j;
        } else {
            diff.removed << i;
        }
    }
    for (qsizetype j = 0; j < after.size(); ++j)
        if (!kept[size_t(j)]) diff.inserted << j;
    // Many scattered changes cost more as ranges than one new layout.
    const qsizetype changes = diff.removed.size() + diff.inserted.size();
    if (changes > 512 || changes > after.size() / 2 + 1) return std::nullopt;
    return diff;
}
