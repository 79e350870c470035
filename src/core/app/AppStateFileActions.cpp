// The file actions of the application core: undo, put back, archives, duplicate and alias.
#include "core/app/AppState.h"
#include "core/app/JobRunner.h"

#include "core/fileops/Archives.h"
#include "core/fileops/DuplicateAlias.h"
#include "core/fileops/PutBack.h"
#include "core/localisation/Lang.h"
#include "core/localisation/FileFmt.h"
#include "core/model/PaneModel.h"

FileActionContext AppState::fileActionContext() {
    QPointer<AppState> self(this);
    FileActionContext ctx;
    ctx.owner = this;
    ctx.show = [self](const QString &text, ToastKind kind) {
        if (self) self->show(text, kind);
    };
    ctx.refreshAll = [self] {
        if (self) self->sides().refreshAll();
    };
    ctx.beginJob = [self](const QString &title) { return self ? self->jobs().begin(title) : nullptr; };
    ctx.endJob = [self] {
        if (self) self->jobs().end();
    };
    ctx.record = [self](const QString &title, const UndoAction &action) {
        if (self) self->record(title, action);
    };
    ctx.select = [self](const QStringList &paths) {
        if (self) self->activePane()->setSelection(QSet<QString>(paths.cbegin(), paths.cend()));
    };
    if (m_services.dialogs.askFolder)
        ctx.chooseFolder = [self](const FolderQuestion &question, Dialogs::TextDone done) {
            if (!self) return done(std::nullopt);
            // The running job (put back) waits for this answer.
            self->jobs().setWaitingForAnswer(true);
            self->m_services.dialogs.folder(question,
                                            [self, done = std::move(done)](std::optional<QString> answer) {
                                                if (self) self->jobs().setWaitingForAnswer(false);
                                                done(std::move(answer));
                                            });
        };
    return ctx;
}

void AppState::record(const QString &title, const UndoAction &action) {
    m_undo.record(title, action);
}
void AppState::undoLast() {
    FileActions::undoLast(fileActionContext(), m_undo);
}
void AppState::putBack(const QStringList &paths) {
    FileActions::putBack(fileActionContext(), paths);
}
void AppState::compress(const QStringList &paths, ArchiveFormat format) {
    FileActions::compress(fileActionContext(), paths, format);
}
void AppState::extract(const QStringList &paths) {
    FileActions::extract(fileActionContext(), paths);
}
void AppState::duplicate(const QStringList &paths) {
    FileActions::duplicate(fileActionContext(), paths);
}
void AppState::makeAlias(const QStringList &paths) {
    FileActions::makeAlias(fileActionContext(), paths);
}

void AppState::recordTransfer(const TransferOutcome &outcome, bool move) {
    const QString count = FileFmt::count(outcome.pairs.size());
    if (move) {
        record(LF("%@ verschoben", count), UndoAction::makeMoved(outcome.pairs, outcome.replaced));
    } else {
        QStringList targets;
        for (const TransferPair &pair : outcome.pairs)
            targets << pair.to;
        record(LF("%@ kopiert", count), UndoAction::makeCreated(targets, outcome.replaced));
    }
}
