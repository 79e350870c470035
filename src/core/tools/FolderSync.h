#pragma once

// Running a sync plan: copies are made under a hidden, journalled name beside the destination and
// take its place in one exchange; replaced and surplus items go to the Trash. Runs on a worker thread;
// touches no application state.

#include "core/fileops/TransferOutcome.h"
#include "core/filesteps/TransferProgress.h"
#include "core/tools/FolderCompare.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

struct SyncStep {
    CompareRow row;
    SyncAction action = SyncAction::none;
};

struct SyncResult {
    qsizetype done = 0;
    QStringList errors; // one message per failed step, in step order
    bool cancelled = false;
    QList<FileOps::TrashedPair> trashed; // what the run moved to a Trash (its origins are remembered)
    QString passedOver; // the pipes, sockets and devices that copied folders left behind; empty: none
};

namespace FolderSync {

// What a plan would trash outright and what it would replace, for the question before it runs.
struct Counts {
    qsizetype trash = 0;
    qsizetype replace = 0;
    qsizetype copy = 0; // copies where the other side has nothing yet
};
Counts counts(const QList<SyncStep> &steps);

// Test seam: called after a copy is complete under its hidden name, before the old item goes.
using Hook = std::function<void(const QString &tempPath)>;
void setAfterCopyHook(Hook hook);
// Test seam: steps per group (0: as many as the open-file limit allows).
void setGroupStepsForTests(qsizetype steps);

// The roots as the compare read them (CompareResult::leftId, rightId): a run refuses roots that are
// no longer those folders.
struct Roots {
    std::optional<RootId> left, right;
};

SyncResult run(const QString &left, const QString &right, const QList<SyncStep> &steps,
               TransferProgress &progress, const Roots &roots = {});

} // namespace FolderSync
