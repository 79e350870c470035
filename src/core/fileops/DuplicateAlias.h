#pragma once

// New items next to the selected ones: copies under a free copy name, and aliases
// (symbolic links) named "<name> Alias".

#include <QString>
#include <QStringList>

struct FileActionContext;
struct ShownItem;
class TransferProgress;

namespace FileActions {

// From this many bytes on, a duplicate is a job with the progress banner and cancel.
constexpr qint64 largeDuplicateBytes = 100'000'000;

struct DuplicateResult {
    QStringList created;
    QStringList errors;
    bool cancelled = false;
};

// Blocking: copies each item beside itself, in its folder held as listed. A failed or cancelled copy leaves
// nothing behind.
DuplicateResult duplicateItems(const QList<ShownItem> &items, TransferProgress &progress);

void duplicate(const FileActionContext &ctx, const QStringList &paths, qint64 jobFrom = largeDuplicateBytes);
void makeAlias(const FileActionContext &ctx, const QStringList &paths);

} // namespace FileActions
