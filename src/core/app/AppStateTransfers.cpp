// Copies and moves between panes: conflict question, the job, and one toast at the end.
#include "core/app/AppState.h"

#include "core/fileops/ConflictQuestion.h"
#include "core/fileops/FileOps.h"
#include "core/localisation/Lang.h"
#include "core/localisation/SystemNames.h"
#include "core/model/FileFmt.h"
#include "core/model/PaneModel.h"
#include "core/model/TabGroup.h"

#include <QtConcurrent>

std::optional<QHash<QString, ConflictChoice>> AppState::askConflicts(const QStringList &paths,
                                                                     const QString &destination, bool move) {
    return FileOps::askConflicts(paths, destination, move, m_dialogs);
}

void AppState::transferSelection(Side from, bool move) {
    PaneModel *source = tabs(from)->current();
    const QStringList paths = source->selectedPaths();
    if (paths.isEmpty()) {
        show(LF("Nichts ausgewählt. Wähle zuerst Dateien im %@ Fenster.",
                L(from == Side::left ? K("linken") : K("rechten"))));
        return;
    }
    PaneModel *target = tabs(from == Side::left ? Side::right : Side::left)->current();
    transfer(paths, target->targetFolder(), move);
}

namespace {

QString resultToast(const TransferOutcome &outcome, qsizetype sources, qsizetype skips, bool move,
                    const QString &destination, bool &isError) {
    isError = false;
    if (outcome.cancelled)
        return LF("Abgebrochen. %@ von %@ waren schon fertig; Unvollständiges wurde entfernt.",
                  FileFmt::count(outcome.done), QString::number(sources));
    if (!outcome.errors.isEmpty()) {
        isError = true;
        QString text = outcome.errors.first();
        if (outcome.errors.size() > 1)
            text += LF(" (+%@ weitere Fehler)", QString::number(outcome.errors.size() - 1));
        return text;
    }
    if (outcome.done == 0 && skips == 0)
        return L("Quelle und Ziel sind derselbe Ordner. Mit ⌘ gedrückt wird kopiert.");
    if (outcome.done == 0) return LF("Alles übersprungen (%@).", FileFmt::count(skips));
    if (skips > 0)
        return LF("%@ erledigt, %@ übersprungen.", FileFmt::count(outcome.done), FileFmt::count(skips));
    return move ? LF("%@ verschoben → %@", FileFmt::count(outcome.done), localName(destination))
                : LF("%@ kopiert → %@", FileFmt::count(outcome.done), localName(destination));
}

} // namespace

void AppState::transfer(const QStringList &paths, const QString &destination, bool move) {
    if (paths.isEmpty()) return;
    const auto answers = askConflicts(paths, destination, move);
    if (!answers) {
        show(K("Abgebrochen. Es wurde nichts verändert."));
        return;
    }
    const auto progress = beginJob(move ? K("Verschiebe") : K("Kopiere"));
    if (!progress) return;

    QPointer<AppState> self(this);
    const QHash<QString, ConflictChoice> resolutions = *answers;
    using Watcher = QFutureWatcher<TransferOutcome>;
    auto *watcher = new Watcher(this);
    connect(watcher, &Watcher::finished, this, [self, watcher, paths, destination, move, resolutions] {
        watcher->deleteLater();
        if (!self) return;
        const TransferOutcome outcome = watcher->result();
        const qsizetype skips = std::count(resolutions.cbegin(), resolutions.cend(), ConflictChoice::skip);
        self->endJob();
        self->refreshAll();
        if (!outcome.created.isEmpty()) {
            const QSet<QString> made(outcome.created.cbegin(), outcome.created.cend());
            for (TabGroup *group : {self->leftTabs(), self->rightTabs()})
                if (PaneModel *pane = group->current(); pane->currentPath() == destination) pane->setSelection(made);
        }
        if (!outcome.pairs.isEmpty()) self->recordTransfer(outcome, move);
        bool isError = false;
        const QString text = resultToast(outcome, paths.size(), skips, move, destination, isError);
        self->show(text, isError);
    });
    watcher->setFuture(QtConcurrent::run([paths, destination, move, progress, resolutions] {
        return FileOps::runWithProgress(paths, destination, move, *progress, resolutions);
    }));
}
