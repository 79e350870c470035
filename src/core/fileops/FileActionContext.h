#pragma once

// What the file actions (undo, put back, archives, duplicate, alias) need of the
// application core. The core fills these hooks; tests fill them with recorders.
// Every hook is called on the thread of `owner` (the main thread).

#include "core/base/Background.h"
#include "core/base/Dialogs.h"
#include "core/base/ToastKind.h"
#include "core/fileops/JobChannel.h"
#include "core/filesteps/TransferProgress.h"
#include "core/fileops/UndoJournal.h"
#include "core/model/FileItem.h"

#include <QDir>
#include <QFuture>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QtConcurrent/QtConcurrentRun>

#include <functional>
#include <memory>
#include <optional>

struct FileActionContext {
    // Raises a toast; the text is a German key or a text already formed with LF.
    std::function<void(const QString &text, ToastKind kind)> show;
    std::function<void()> refreshAll;
    // The action moved or renamed an item: panes showing it, or a folder below it, go along.
    std::function<void(const QString &from, const QString &to)> followMove;
    // The one job channel; without it no action that needs a job runs.
    JobChannel *jobs = nullptr;
    std::function<void(const UndoTitle &title, const UndoAction &action)> record;
    // Makes these paths the selection of the active pane.
    std::function<void(const QStringList &paths)> select;
    // Asks for a folder and calls back with it, or with nothing when the user cancelled.
    std::function<void(const FolderQuestion &, Dialogs::TextDone)> chooseFolder;
    // What the active pane listed of a path: the identities a change checks before it acts.
    std::function<ShownItem(const QString &path)> shown;
    // Results of background work come back to this object's thread; they are dropped once it is gone.
    QPointer<QObject> owner;
    // Period of the elapsed-time text while compressing.
    int tickMs = 1000;

    void toast(const QString &text, bool error = false) const {
        if (show) show(text, error ? ToastKind::error : ToastKind::success);
    }
    void warn(const QString &text) const {
        if (show) show(text, ToastKind::warning);
    }
    void refresh() const {
        if (refreshAll) refreshAll();
    }
    // Runs the action's job in steps (see JobChannel::run); false when refused or without a channel.
    template <typename First> bool job(const QString &title, First first) const {
        return jobs && jobs->run(title, std::move(first));
    }
    void journal(const UndoTitle &title, const UndoAction &action) const {
        if (record) record(title, action);
    }
    void selectPaths(const QStringList &paths) const {
        if (select) select(paths);
    }
    QList<ShownItem> listed(const QStringList &paths) const {
        QList<ShownItem> out;
        for (const QString &p : paths)
            out << (shown ? shown(p) : ShownItem{p, {}, {}});
        return out;
    }
};

namespace FileActions {

// Selects the new items and records them for undo under title; nothing when none was made.
inline void selectCreated(const FileActionContext &ctx, const QStringList &created, const UndoTitle &title) {
    if (created.isEmpty()) return;
    QStringList made;
    for (const QString &p : created)
        made << QDir::cleanPath(p);
    ctx.selectPaths(made);
    ctx.journal(title, UndoAction::makeCreated(made));
}

// Runs work on the thread pool and then done(result) on the owner's thread.
template <typename Work, typename Done>
void inBackground(const FileActionContext &ctx, Work work, Done done) {
    QObject *owner = ctx.owner.data();
    if (!owner) {
        done(work()); // no thread to come back to: at least the job ends and reports
        return;
    }
    whenDone(owner, QtConcurrent::run(std::move(work)), std::move(done));
}

} // namespace FileActions
