// Copies and moves between panes: conflict question, the job, and one toast at the end.
#include "core/app/AppState.h"
#include "core/app/JobRunner.h"

#include "core/fileops/ConflictQuestion.h"
#include "core/fileops/FileOps.h"
#include "core/localisation/Lang.h"
#include "core/localisation/SystemNames.h"
#include "core/localisation/FileFmt.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneModel.h"
#include "core/model/TabGroup.h"

#include <QFileInfo>
#include <algorithm>

void AppState::transferSelection(Side from, bool move) {
    if (!m_jobs->admits()) return;
    PaneModel *source = tabs(from)->current();
    const QStringList paths = source->selectedPaths();
    if (paths.isEmpty()) {
        show(LF("Nichts ausgewählt. Wähle zuerst Dateien im %@ Fenster.",
                L(from == Side::left ? K("linken") : K("rechten"))),
             ToastKind::warning);
        return;
    }
    PaneModel *target = tabs(from == Side::left ? Side::right : Side::left)->current();
    transfer(paths, target->targetFolder(), move);
}

namespace {

QString resultToast(const TransferOutcome &outcome, qsizetype sources, qsizetype skips, bool move,
                    const QString &destination, ToastKind &kind) {
    // Whatever was left undone is reported with the warning look.
    kind = ToastKind::warning;
    if (outcome.cancelled)
        return LF("Abgebrochen. %@ von %@ waren schon fertig; Unvollständiges wurde entfernt.",
                  FileFmt::count(outcome.done), localNumber(sources));
    if (!outcome.errors.isEmpty()) {
        kind = ToastKind::error;
        QString text = outcome.errors.first();
        // The other items that failed by name, the first few, then how many more: a failure is never
        // hidden in a count behind another item's message.
        if (outcome.failed.size() > 1) {
            constexpr qsizetype named = 3;
            QStringList names;
            for (const QString &name : outcome.failed.mid(1, named))
                names << LF("„%@“", name);
            QString list = names.join(QStringLiteral(", "));
            if (outcome.failed.size() - 1 > named)
                list += LF(" und %@", FileFmt::count(outcome.failed.size() - 1 - named));
            text += u' ' + LF("Auch nicht übertragen: %@.", list);
        }
        if (const qsizetype more = outcome.errors.size() - std::max<qsizetype>(1, outcome.failed.size());
            more > 0)
            text += LF(" (+%@ weitere Fehler)", localNumber(more));
        return text;
    }
    if (outcome.done == 0 && skips == 0)
        return L("Quelle und Ziel sind derselbe Ordner. Mit ⌘ gedrückt wird kopiert.");
    if (outcome.done == 0) return LF("Alles übersprungen (%@).", FileFmt::count(skips));
    if (skips > 0)
        return LF("%@ erledigt, %@ übersprungen.", FileFmt::count(outcome.done), FileFmt::count(skips));
    kind = ToastKind::success;
    return move ? LF("%@ verschoben → %@", FileFmt::count(outcome.done), localName(destination))
                : LF("%@ kopiert → %@", FileFmt::count(outcome.done), localName(destination));
}

// Lists again the panes, in every tab of both sides, that show one of the folders: as their folder or,
// in columns, as one of the columns. Other panes keep their listing.
void refreshPanesShowing(const QList<TabGroup *> &groups, const QSet<QString> &folders) {
    for (TabGroup *group : groups)
        for (PaneModel *pane : group->tabs()) {
            const QStringList shown =
                pane->viewMode() == ViewMode::columns ? pane->columnDirs() : QStringList{pane->currentPath()};
            if (std::any_of(shown.cbegin(), shown.cend(),
                            [&](const QString &f) { return folders.contains(f); }))
                pane->refresh();
        }
}

// The destination, the folders the sources were in (a move empties those) and the Trash folders that
// took replaced items.
QSet<QString> touchedFolders(const QStringList &paths, const QString &destination,
                             const TransferOutcome &outcome) {
    QSet<QString> folders{FileLoader::norm(destination)};
    for (const QString &p : paths)
        folders.insert(FileLoader::norm(QFileInfo(FileLoader::norm(p)).path()));
    for (const FileOps::TrashedPair &pair : outcome.replaced)
        folders.insert(FileLoader::norm(QFileInfo(pair.inTrash).path()));
    return folders;
}

} // namespace

void AppState::transfer(const QStringList &paths, const QString &destination, bool move,
                        std::function<void()> admitted) {
    if (paths.isEmpty()) return;
    // Refused before any question: the answers could not be acted on.
    if (!m_jobs->admits()) return;
    QPointer<AppState> self(this);
    FileOps::askConflicts(paths, destination, move, m_services.dialogs,
                          [self, paths, destination, move, admitted](auto answers) {
                              if (!self) return;
                              if (!answers)
                                  self->show(K("Abgebrochen. Es wurde nichts verändert."),
                                             ToastKind::warning);
                              else
                                  self->startTransfer(paths, destination, move, *answers, admitted);
                          });
}

void AppState::startTransfer(const QStringList &paths, const QString &destination, bool move,
                             const QHash<QString, ConflictChoice> &resolutions,
                             const std::function<void()> &admitted) {
    QPointer<AppState> self(this);
    const bool started = m_jobs->run(
        move ? K("Verschiebe") : K("Kopiere"),
        [paths, destination, move, resolutions](TransferProgress &progress) {
            return FileOps::runWithProgress(paths, destination, move, progress, resolutions);
        },
        [self, paths, destination, move, resolutions](const TransferOutcome &outcome) {
            if (!self) return;
            const qsizetype skips =
                std::count(resolutions.cbegin(), resolutions.cend(), ConflictChoice::skip);
            refreshPanesShowing({self->sides().leftTabs(), self->sides().rightTabs()},
                                touchedFolders(paths, destination, outcome));
            if (!outcome.created.isEmpty()) {
                const QSet<QString> made(outcome.created.cbegin(), outcome.created.cend());
                for (TabGroup *group : {self->sides().leftTabs(), self->sides().rightTabs()})
                    if (PaneModel *pane = group->current(); pane->currentPath() == destination)
                        pane->setSelection(made);
            }
            if (!outcome.pairs.isEmpty()) self->recordTransfer(outcome, move);
            ToastKind kind = ToastKind::success;
            const QString text = resultToast(outcome, paths.size(), skips, move, destination, kind);
            self->show(text, kind);
        });
    if (started && admitted) admitted();
}
