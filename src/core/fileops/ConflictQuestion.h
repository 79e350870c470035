#pragma once

// The question before a copy or move: what to do with every item whose name is
// already taken in the destination folder.

#include "core/base/Dialogs.h"
#include "core/fileops/TransferOutcome.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

namespace FileOps {

// One answer per conflicting source path (keyed by the path as given); nothing when the
// user cancelled. Main thread: it runs modal alerts through `dialogs`.
std::optional<QHash<QString, ConflictChoice>> askConflicts(const QStringList &paths, const QString &dest,
                                                           bool move, const Dialogs &dialogs);

// The one-line description of an item in the question: size or "Ordner", and its date.
QString conflictInfo(const QString &path);

} // namespace FileOps
