// Folder sync from the compare sheet: one job over the ticked steps.
#include "core/app/AppState.h"
#include "core/app/JobRunner.h"

#include "core/localisation/Lang.h"
#include "core/tools/FolderSync.h"

void AppState::runSync(const QString &left, const QString &right, const QList<SyncStep> &steps,
                       std::function<void()> completion) {
    if (steps.isEmpty() || !jobs().admits()) return;
    QPointer<AppState> self(this);
    const auto start = [self, left, right, steps, completion] {
        if (!self) return;
        const qsizetype total = steps.size();
        self->jobs().run(
            K("Synchronisiere"),
            [left, right, steps](TransferProgress &progress) {
                return FolderSync::run(left, right, steps, progress);
            },
            [self, total, completion](const SyncResult &r) {
                if (!self) return;
                self->refreshAll();
                if (r.cancelled) {
                    self->show(LF("Abgebrochen. %@ von %@ Schritten waren schon erledigt.",
                                  QString::number(r.done), QString::number(total)));
                } else if (!r.errors.isEmpty()) {
                    QString text = r.errors.first();
                    if (r.errors.size() > 1) text += LF(" (+%d weitere)", r.errors.size() - 1);
                    self->show(text, true);
                } else {
                    self->show(
                        LF("Synchronisiert: %@ Schritte. Überschriebenes und Gelöschtes liegt im Papierkorb.",
                           QString::number(r.done)));
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
    alert.informative = LF("%d Objekte kommen in den Papierkorb, %d werden ersetzt (das Alte liegt danach im "
                           "Papierkorb).",
                           counts.trash, counts.replace);
    alert.buttons = {{L("Synchronisieren"), AlertRole::destructive}, {L("Abbrechen"), AlertRole::cancel}};
    m_services.dialogs.ask(alert, [start](AlertAnswer answer) {
        if (answer.role == AlertRole::destructive) start();
    });
}
