#pragma once

// The question before a copy or move: what to do with every item whose name is
// already taken in the destination folder.

#include "core/base/Dialogs.h"
#include "core/fileops/TransferOutcome.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace FileOps {

using ConflictAnswers = std::optional<QHash<QString, ConflictChoice>>;

// Calls `done` with one answer per conflicting source path (keyed by the path as given), or nothing when
// the user cancelled. Main thread: the conflicts are asked one after another through `dialogs`.
// The destination and the sources' folders are held from this first look on; with `shown`, only while
// they are the folders the panes showed or its first look held (else nothing is asked, and the transfer
// refuses); the others through the user's own links only.
void askConflicts(const QStringList &paths, const QString &dest, bool move, const Dialogs &dialogs,
                  std::function<void(ConflictAnswers)> done, const Shown &shown = {});

// The one-line description of an item in the question: size or "Ordner", and its date.
QString conflictInfo(const QString &path);

} // namespace FileOps
