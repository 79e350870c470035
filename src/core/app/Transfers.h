#pragma once

#include "core/fileops/TransferOutcome.h"
#include "core/model/Side.h"
#include "core/tools/FolderSync.h"

#include <QHash>
#include <QObject>
#include <QStringList>
#include <functional>

class JobRunner;
class Sides;
class Toasts;
class UndoJournal;
struct Dialogs;
struct SyncStep;

// Copies and moves between the panes and the folder sync of the compare: the conflict question, the one
// job, the undo entry and one toast at the end. Main thread only.
class Transfers : public QObject {
    Q_OBJECT
public:
    Transfers(Sides &sides, JobRunner &jobs, UndoJournal &undo, Toasts &toasts, const Dialogs &dialogs,
              QObject *parent = nullptr);

    // The selection of one side to the folder of the other.
    void transferSelection(Side from, bool move);
    // admitted runs once the job has been admitted (not when refused or cancelled at a question).
    void transfer(const QStringList &paths, const QString &destination, bool move,
                  std::function<void()> admitted = {});
    // Runs the ticked steps of a compare as the one job (asking first when items go to the Trash or are
    // replaced); completion runs on the main thread after the result toast, only when the job ran.
    // roots: the roots as the compare read them; the run refuses roots that changed since. leftOut: the
    // compare's rows no step can act on, named in the outcome.
    void runSync(const QString &left, const QString &right, const QList<SyncStep> &steps,
                 std::function<void()> completion, const FolderSync::Roots &roots = {},
                 const QStringList &leftOut = {});

private:
    // The transfer once its conflicts are answered.
    void startTransfer(const QStringList &paths, const QString &destination, bool move,
                       const QHash<QString, ConflictChoice> &resolutions,
                       const std::function<void()> &admitted, const FileOps::Shown &shown);
    // The destination and the sources' folders as the panes that show them listed them.
    FileOps::Shown shownFolders(const QStringList &paths, const QString &destination) const;
    void recordTransfer(const TransferOutcome &outcome, bool move);

    Sides &m_sides;
    JobRunner &m_jobs;
    UndoJournal &m_undo;
    Toasts &m_toasts;
    const Dialogs &m_dialogs;
};
