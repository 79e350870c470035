// Copies and moves between panes: conflict question, the job, and one toast at the end.
#include "core/app/Transfers.h"

#include "core/app/JobRunner.h"
#include "core/app/ListedSelection.h"
#include "core/app/Sides.h"
#include "core/app/Toasts.h"
#include "core/base/Dialogs.h"
#include "core/fileops/UndoJournal.h"
#include "core/tools/FolderSync.h"

#include "core/fileops/ConflictQuestion.h"
#include "core/fileops/FileOps.h"
#include "core/filesteps/PathBytes.h"
#include "core/localisation/Lang.h"
#include "core/localisation/SystemNames.h"
#include "core/localisation/FileFmt.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneModel.h"
#include "core/model/TabGroup.h"
#include "platform/Posix.h"

#include <QFileInfo>
#include <algorithm>

Transfers::Transfers(Sides &sides, JobRunner &jobs, UndoJournal &undo, Toasts &toasts, const Dialogs &dialogs,
                     QObject *parent)
    : QObject(parent), m_sides(sides), m_jobs(jobs), m_undo(undo), m_toasts(toasts), m_dialogs(dialogs) {}

void Transfers::transferSelection(Side from, bool move) {
    if (!m_jobs.admits()) return;
    PaneModel *source = m_sides.tabs(from)->current();
    const QStringList paths = source->selectedPaths();
    if (paths.isEmpty()) {
        m_toasts.show(LF("Nichts ausgewählt. Wähle zuerst Dateien im %@ Fenster.",
                         L(from == Side::left ? K("linken") : K("rechten"))),
                      ToastKind::warning);
        return;
    }
    PaneModel *target = m_sides.tabs(from == Side::left ? Side::right : Side::left)->current();
    transfer(paths, target->targetFolder(), move);
}

namespace {

QString doneText(qsizetype done, bool move, const QString &destination) {
    return move ? LF("%@ verschoben → %@", FileFmt::count(done), localName(destination))
                : LF("%@ kopiert → %@", FileFmt::count(done), localName(destination));
}

QString resultToast(const TransferOutcome &outcome, qsizetype sources, qsizetype skips, bool move,
                    const QString &destination, ToastKind &kind) {
    // Whatever was left undone is reported with the warning look.
    kind = ToastKind::warning;
    if (outcome.cancelled)
        return LP("Abgebrochen. %@ von %@ war schon fertig; Unvollständiges wurde entfernt.|Abgebrochen. %@ "
                  "von %@ waren schon fertig; Unvollständiges wurde entfernt.",
                  outcome.done, FileFmt::count(outcome.done), localNumber(sources));
    if (!outcome.errors.isEmpty()) {
        kind = ToastKind::error;
        QString text = outcome.errors.first();
        // The other items that failed by name, the first few, then how many more: a failure is never
        // hidden in a count behind another item's message.
        // Each by what happened to it: a copy left whole at the destination was not "not transferred".
        QStringList copiedOnly = outcome.copiedOnly, notTransferred, copied;
        if (!outcome.failed.isEmpty()) copiedOnly.removeOne(outcome.failed.first());
        for (const QString &name : outcome.failed.mid(1))
            (copiedOnly.removeOne(name) ? copied : notTransferred) << name;
        if (!notTransferred.isEmpty())
            text += u' ' + LF("Auch nicht übertragen: %@.", FileFmt::firstNamed(notTransferred));
        if (!copied.isEmpty())
            text += u' ' + LF("Auch kopiert, aber nicht (ganz) vom alten Ort entfernt: %@.",
                              FileFmt::firstNamed(copied));
        if (const qsizetype more = outcome.errors.size() - std::max<qsizetype>(1, outcome.failed.size());
            more > 0)
            text += LF(" (+%@ weitere Fehler)", localNumber(more));
        // What went through is said too: a refused item never hides that the others went.
        if (outcome.done > 0) text += u' ' + doneText(outcome.done, move, destination);
        return text;
    }
    if (outcome.done == 0 && skips == 0)
        return L("Quelle und Ziel sind derselbe Ordner. Mit ⌘ gedrückt wird kopiert.");
    if (outcome.done == 0) return LF("Alles übersprungen (%@).", FileFmt::count(skips));
    if (skips > 0)
        return move ? LF("%@ verschoben, %@ übersprungen.", FileFmt::count(outcome.done),
                         FileFmt::count(skips))
                    : LF("%@ kopiert, %@ übersprungen.", FileFmt::count(outcome.done), FileFmt::count(skips));
    kind = ToastKind::success;
    return doneText(outcome.done, move, destination);
}

// Lists again the panes, in every tab of both sides, that show one of the folders: as their folder or,
// in columns, as one of the columns, or that search a folder above one. Other panes keep their listing.
void refreshPanesShowing(const QList<TabGroup *> &groups, const QSet<QString> &folders) {
    for (TabGroup *group : groups)
        for (PaneModel *pane : group->tabs()) {
            const QStringList shown =
                pane->viewMode() == ViewMode::columns ? pane->columnDirs() : QStringList{pane->currentPath()};
            const auto searched = [&](const QString &f) {
                return (pane->searchResults() || pane->isSearching()) &&
                       Posix::isAtOrBelow(f, pane->currentPath());
            };
            if (std::any_of(shown.cbegin(), shown.cend(),
                            [&](const QString &f) { return folders.contains(f); }) ||
                std::any_of(folders.cbegin(), folders.cend(), searched))
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

void Transfers::transfer(const QStringList &paths, const QString &destination, bool move,
                         std::function<void()> admitted) {
    if (paths.isEmpty()) return;
    // Refused before any question: the answers could not be acted on.
    if (!m_jobs.admits()) return;
    QPointer<Transfers> self(this);
    // What the user looked at when choosing: the question and the job act only in those folders. The
    // folders no pane listed are held now, through the user's own links, and only those from then on.
    FileOps::Shown shown = shownFolders(paths, destination);
    FileOps::holdUnlisted(paths, destination, shown);
    FileOps::askConflicts(
        paths, destination, move, m_dialogs,
        [self, paths, destination, move, admitted, shown](auto answers) {
            if (!self) return;
            if (!answers)
                self->m_toasts.show(K("Abgebrochen. Es wurde nichts verändert."), ToastKind::warning);
            else
                self->startTransfer(paths, destination, move, *answers, admitted, shown);
        },
        shown);
}

FileOps::Shown Transfers::shownFolders(const QStringList &paths, const QString &destination) const {
    QStringList folders{destination};
    for (const QString &p : paths)
        if (const auto bytes = FileSteps::PathBytes::of(p);
            bytes && !folders.contains(bytes->parent().text()))
            folders << bytes->parent().text();
    // The panes in front first: a tab behind may hold an older listing of the same path.
    QList<PaneModel *> panes{m_sides.leftTabs()->current(), m_sides.rightTabs()->current()};
    for (TabGroup *group : {m_sides.leftTabs(), m_sides.rightTabs()})
        panes += group->tabs();
    FileOps::Shown shown;
    for (const QString &folder : folders)
        for (const PaneModel *pane : panes)
            if (const auto id = pane ? pane->shownFolder(folder) : std::nullopt) {
                struct stat st {};
                st.st_dev = id->dev;
                st.st_ino = id->ino;
                shown.folders.insert(folder, st);
                break;
            }
    // Each item as the pane that listed it saw it.
    for (const QString &p : paths)
        for (const PaneModel *pane : panes)
            if (const ItemId id = pane ? pane->shown(p).item : ItemId{}; id.known()) {
                shown.items.insert(p, id);
                break;
            }
    return shown;
}

void Transfers::startTransfer(const QStringList &paths, const QString &destination, bool move,
                              const QHash<QString, ConflictChoice> &resolutions,
                              const std::function<void()> &admitted, const FileOps::Shown &shown) {
    QPointer<Transfers> self(this);
    const bool started = m_jobs.run(
        move ? K("Verschiebe") : K("Kopiere"),
        [paths, destination, move, resolutions, shown](TransferProgress &progress) {
            return FileOps::runWithProgress(paths, destination, move, progress, resolutions, true, shown);
        },
        [self, paths, destination, move, resolutions](const TransferOutcome &outcome) {
            if (!self) return;
            const qsizetype skips =
                std::count(resolutions.cbegin(), resolutions.cend(), ConflictChoice::skip);
            if (move)
                for (const TransferPair &pair : outcome.pairs)
                    self->m_sides.followMove(pair.from, pair.to);
            refreshPanesShowing({self->m_sides.leftTabs(), self->m_sides.rightTabs()},
                                touchedFolders(paths, destination, outcome));
            if (!outcome.created.isEmpty()) {
                // Selected in every pane that shows the destination; the active side stays where it is.
                const QString into = FileLoader::norm(destination);
                QSet<QString> made;
                QString first;
                for (const QString &path : outcome.created)
                    if (const QString p = FileLoader::norm(path); QFileInfo(p).path() == into) {
                        made.insert(p);
                        if (first.isEmpty()) first = p;
                    }
                const Side active = self->m_sides.active();
                for (TabGroup *group : {self->m_sides.leftTabs(), self->m_sides.rightTabs()})
                    for (PaneModel *pane : group->tabs())
                        if (FileLoader::norm(pane->currentPath()) == into)
                            ListedSelection::select(pane, made, first);
                if (self->m_sides.active() != active) self->m_sides.setActive(active);
            }
            if (!outcome.pairs.isEmpty() || !outcome.partly.isEmpty()) self->recordTransfer(outcome, move);
            ToastKind kind = ToastKind::success;
            const QString text = resultToast(outcome, paths.size(), skips, move, destination, kind);
            self->m_toasts.show(text, kind);
        });
    if (started && admitted) admitted();
}

void Transfers::recordTransfer(const TransferOutcome &outcome, bool move) {
    // One item is named: "Undo: 1 item moved" would leave the user guessing which.
    const qsizetype n = outcome.pairs.size() + outcome.partly.size();
    const QString one = Posix::lastComponent((outcome.pairs + outcome.partly).first().from);
    const auto count = [n, one] { return n == 1 ? LF("„%@“", one) : FileFmt::count(n); };
    if (move) {
        m_undo.record([count] { return LF("%@ verschoben", count()); },
                      UndoAction::makeMoved(outcome.pairs, outcome.replaced, outcome.partly));
    } else {
        QStringList targets;
        for (const TransferPair &pair : outcome.pairs)
            targets << pair.to;
        m_undo.record([count] { return LF("%@ kopiert", count()); },
                      UndoAction::makeCreated(targets, outcome.replaced));
    }
}

void Transfers::runSync(const QString &left, const QString &right, const QList<SyncStep> &steps,
                        std::function<void()> completion, const FolderSync::Roots &roots,
                        const QStringList &leftOut) {
    if (steps.isEmpty() || !m_jobs.admits()) return;
    QPointer<Transfers> self(this);
    const auto start = [self, left, right, steps, completion, roots, leftOut] {
        if (!self) return;
        const qsizetype total = steps.size();
        self->m_jobs.run(
            K("Synchronisiere"),
            [left, right, steps, roots](TransferProgress &progress) {
                return FolderSync::run(left, right, steps, progress, roots);
            },
            [self, total, completion, leftOut](const SyncResult &r) {
                if (!self) return;
                self->m_sides.refreshAll();
                // Never "synced" alone while rows of the compare stayed as they were, or special files
                // inside copied folders were left out.
                const QString notSynced = FolderCompare::leftOutText(leftOut);
                const auto withLeftOut = [&](QString text) {
                    for (const QString &more : {r.passedOver, notSynced})
                        if (!more.isEmpty()) text += u' ' + more;
                    return text;
                };
                if (r.cancelled) {
                    self->m_toasts.show(withLeftOut(
                        LP("Abgebrochen. %@ von %@ Schritten war schon erledigt.|Abgebrochen. %@ von %@ "
                           "Schritten waren schon erledigt.",
                           r.done, r.done, total)));
                } else if (!r.errors.isEmpty()) {
                    QString text = r.errors.first();
                    if (r.errors.size() > 1)
                        text += LP(" (+%d weitere)| (+%d weitere)", r.errors.size() - 1, r.errors.size() - 1);
                    self->m_toasts.show(withLeftOut(text), true);
                } else {
                    const QString text =
                        LP("Synchronisiert: %d Schritt. Überschriebenes und Gelöschtes liegt "
                           "im Papierkorb.|Synchronisiert: %d Schritte. Überschriebenes und "
                           "Gelöschtes liegt im Papierkorb.",
                           r.done, r.done);
                    self->m_toasts.show(withLeftOut(text), notSynced.isEmpty() && r.passedOver.isEmpty()
                                                               ? ToastKind::success
                                                               : ToastKind::warning);
                }
                if (completion) completion();
            });
    };
    const FolderSync::Counts counts = FolderSync::counts(steps);
    if (counts.trash == 0 && counts.replace == 0) {
        start();
        return;
    }
    // Nothing goes to the Trash or is replaced without the user's word.
    Alert alert;
    alert.style = Alert::Style::warning;
    alert.message = L("Ordner synchronisieren?");
    QStringList parts;
    if (counts.copy > 0)
        parts << LP("%d Objekt wird kopiert.|%d Objekte werden kopiert.", counts.copy, counts.copy);
    if (counts.trash > 0)
        parts << LP("%d Objekt kommt in den Papierkorb.|%d Objekte kommen in den Papierkorb.", counts.trash,
                    counts.trash);
    if (counts.replace > 0)
        parts << LP("%d Objekt wird ersetzt; das Alte liegt danach im Papierkorb.|%d Objekte werden ersetzt; "
                    "das Alte liegt danach im Papierkorb.",
                    counts.replace, counts.replace);
    alert.informative = parts.join(u' ');
    alert.buttons = {{L("Synchronisieren"), AlertRole::destructive}, {L("Abbrechen"), AlertRole::cancel}};
    m_dialogs.ask(alert, [start](AlertAnswer answer) {
        if (answer.role == AlertRole::destructive) start();
    });
}
