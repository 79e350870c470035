#pragma once

// Renames many items at once: first every item out of the way under a hidden temporary name in its own
// folder, then each into its new name, never replacing anything. So names can be swapped or passed
// along within one batch. Used by batch rename and by its undo.

#include "core/fileops/TransferOutcome.h"
#include "core/filesteps/TransferProgress.h"
#include "core/model/FileItem.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace FileOps {

struct TwoPhaseReport {
    QList<TransferPair> done; // from: old path, to: new path
    // Each of `done` as renamed: its new path and the identities of its folder and of itself, for an undo.
    QList<ShownItem> renamedAs;
    QStringList errors;      // one sentence per item that did not get its new name
    QStringList whereabouts; // those of errors whose item is under neither of its names now
    bool cancelled = false;  // stopped before moving further items out of the way
};

// Around each rename, with the paths it is about and the rename itself (which throws a FileError): tests
// put in a failure instead, a kill, or a change of the folder before it.
using RenameStep =
    std::function<void(const QString &from, const QString &to, const std::function<void()> &rename)>;

// What the user is told of `error` about the item `name`: our own sentences (a refused folder, a replaced
// item) as they are, the system's said of the item.
QString errorSentence(const FileError &error, const QString &name);

// A rename of the item at `path` refused because `name` is taken beside it: in a Trash said of the Trash,
// as its view names it, never of the folder it lies in.
QString nameTakenText(const QString &name, const QString &path);

// The first error, every error in whereabouts in full, and how many more there are.
QString errorSummary(const QStringList &errors, const QStringList &whereabouts);

// pairs: from (old path) and to (new path, in the same folder). Unchanged pairs must be left out. Each
// folder is held from the start: every step is within it, and none is taken once its path leads elsewhere.
// `shown`, where given, is each item at its old name as it was last seen, in the order of `pairs`: an item
// whose folder or whose self is known and no longer that is refused and left alone.
TwoPhaseReport renameInTwoPhases(const QList<TransferPair> &pairs, TransferProgress *progress = nullptr,
                                 const RenameStep &around = {}, const QList<ShownItem> &shown = {});

} // namespace FileOps
