#pragma once

#include "core/fileops/ArchiveFormat.h"
#include "core/fileops/FileActionContext.h"

#include <QObject>
#include <QStringList>

class JobRunner;
class Sides;
class Toasts;
class UndoJournal;
struct Dialogs;

// Undo, put back, archives, duplicate and alias: the file actions, run with this application's job
// channel, toasts, panes and undo journal. Main thread only.
class FileActionCommands : public QObject {
    Q_OBJECT
public:
    FileActionCommands(Sides &sides, JobRunner &jobs, UndoJournal &undo, Toasts &toasts,
                       const Dialogs &dialogs, QObject *parent = nullptr);

    void undoLast();
    void putBack(const QStringList &paths);
    void compress(const QStringList &paths, ArchiveFormat format = ArchiveFormat::zip);
    void extract(const QStringList &paths);
    void duplicate(const QStringList &paths);
    void makeAlias(const QStringList &paths);

private:
    // The hooks the file actions run with.
    FileActionContext context();

    Sides &m_sides;
    JobRunner &m_jobs;
    UndoJournal &m_undo;
    Toasts &m_toasts;
    const Dialogs &m_dialogs;
};
