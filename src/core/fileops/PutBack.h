#pragma once

// Putting Trash items back where they came from.

#include "core/fileops/TransferOutcome.h"

#include <QString>
#include <QStringList>

#include <optional>

struct FileActionContext;
class TransferProgress;

namespace FileActions {

// Where a Trash item came from: its .trashinfo, or, only when it has none, our own record.
std::optional<QString> trashOrigin(const QString &inTrash);

struct PutBackReport {
    QList<TransferPair> moved; // from the Trash path to where the item is now
    // Items whose name was taken where they went back: {the name asked for, the name they took}.
    QList<QPair<QString, QString>> renamed;
    // Items renamed in the Trash, back under that name: {the name they had before, the name they took}.
    QList<QPair<QString, QString>> renamedInTrash;
    QStringList errors;
    QStringList unresolved; // items whose old folder is unknown or gone
    bool cancelled = false;
};

// Moves each item back to its origin (blocking). Items without a usable origin end in unresolved.
PutBackReport putBackToOrigins(const QStringList &inTrash, TransferProgress &progress);
// Moves each item into the chosen folder (blocking).
PutBackReport putBackInto(const QStringList &inTrash, const QString &folder, TransferProgress &progress);

// Puts the selected Trash items back, asking for a folder for those whose old place is unknown.
void putBack(const FileActionContext &ctx, const QStringList &paths);

} // namespace FileActions
