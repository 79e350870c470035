#pragma once

#include "core/app/TrashLookup.h"
#include "core/fileops/FileOps.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>

class ItemCommands;
class JobRunner;
class PaneModel;
class Sides;
class Toasts;
class UndoJournal;
struct Services;

// Moving to the Trash, deleting from it for good, emptying it (the rest with administrator rights), and
// the Trash diagnosis. Nothing is deleted without the confirming answer to its question. Main thread only.
class TrashCommands : public QObject {
    Q_OBJECT
public:
    TrashCommands(Sides &sides, JobRunner &jobs, UndoJournal &undo, Toasts &toasts, ItemCommands &items,
                  const Services &services, QObject *parent = nullptr);

    // The active pane's selection: to the Trash, or deleted for good when all of it is in the Trash.
    void trashSelection();
    // Files dropped on the Trash: into the trash as the one job, with no question (items already in a
    // trash stay where they are).
    void trashDropped(const QStringList &paths);
    void emptyTrash();
    // Whether the Trash holds anything, as last looked up off the window's thread.
    TrashLookup &lookup() { return m_lookup; }
    void trashDiagnosis();
    // The diagnosis text (twelve lines); the raw listing of one folder with POSIX calls.
    static QString diagnosisText();
    static QString rawListing(const QString &path);

private:
    void deleteFromTrash(const QStringList &paths);
    void askToShowInFolder(const QStringList &paths);
    void askToEmptyAsAdmin(const FileOps::TrashListing &denied);
    // The work after each question was answered.
    void startTrash(const QList<ShownItem> &items, QPointer<PaneModel> source);
    void startDeleteFromTrash(const QStringList &paths, QPointer<PaneModel> pane);
    void startEmptyTrash(const FileOps::TrashListing &listing);
    void startAdminEmpty(const FileOps::TrashListing &denied);

    Sides &m_sides;
    JobRunner &m_jobs;
    UndoJournal &m_undo;
    Toasts &m_toasts;
    ItemCommands &m_items;
    const Services &m_services;
    TrashLookup m_lookup;
};
