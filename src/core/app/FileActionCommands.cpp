// The file actions of the application core: undo, put back, archives, duplicate and alias.
#include "core/app/FileActionCommands.h"

#include "core/app/JobRunner.h"
#include "core/app/Sides.h"
#include "core/app/Toasts.h"
#include "core/base/Dialogs.h"
#include "core/fileops/Archives.h"
#include "core/fileops/DuplicateAlias.h"
#include "core/fileops/PutBack.h"
#include "core/fileops/UndoJournal.h"
#include "core/model/PaneModel.h"

FileActionCommands::FileActionCommands(Sides &sides, JobRunner &jobs, UndoJournal &undo, Toasts &toasts,
                                       const Dialogs &dialogs, QObject *parent)
    : QObject(parent), m_sides(sides), m_jobs(jobs), m_undo(undo), m_toasts(toasts), m_dialogs(dialogs) {}

FileActionContext FileActionCommands::context() {
    QPointer<FileActionCommands> self(this);
    FileActionContext ctx;
    ctx.owner = this;
    ctx.jobs = &m_jobs;
    ctx.show = [self](const QString &text, ToastKind kind) {
        if (self) self->m_toasts.show(text, kind);
    };
    ctx.refreshAll = [self] {
        if (self) self->m_sides.refreshAll();
    };
    ctx.followMove = [self](const QString &from, const QString &to) {
        if (self) self->m_sides.followMove(from, to);
    };
    ctx.record = [self](const UndoTitle &title, const UndoAction &action) {
        if (self) self->m_undo.record(title, action);
    };
    ctx.select = [self](const QStringList &paths) {
        if (self) self->m_sides.activePane()->setSelection(QSet<QString>(paths.cbegin(), paths.cend()));
    };
    ctx.shown = [self](const QString &path) {
        return self ? self->m_sides.activePane()->shown(path) : ShownItem{path, {}, {}};
    };
    if (m_dialogs.askFolder)
        ctx.chooseFolder = [self](const FolderQuestion &question, Dialogs::TextDone done) {
            if (!self) return done(std::nullopt);
            self->m_dialogs.folder(question, std::move(done));
        };
    return ctx;
}

void FileActionCommands::undoLast() {
    FileActions::undoLast(context(), m_undo);
}
void FileActionCommands::putBack(const QStringList &paths) {
    FileActions::putBack(context(), paths);
}
void FileActionCommands::compress(const QStringList &paths, ArchiveFormat format) {
    FileActions::compress(context(), paths, format);
}
void FileActionCommands::extract(const QStringList &paths) {
    FileActions::extract(context(), paths);
}
void FileActionCommands::duplicate(const QStringList &paths) {
    FileActions::duplicate(context(), paths);
}
void FileActionCommands::makeAlias(const QStringList &paths) {
    FileActions::makeAlias(context(), paths);
}
