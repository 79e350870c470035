// The cleanup rules: their list, the run as a job, and the minute loop.
#include "core/app/AppState.h"
#include "core/app/JobRunner.h"

#include "core/localisation/FileFmt.h"
#include "core/localisation/Lang.h"
#include "core/tools/RulesEngine.h"

void AppState::loadRules() {
    if (!m_cleanupRules.load())
        show(K("Die gespeicherten Aufräum-Regeln ließen sich nicht lesen. Sie bleiben aufbewahrt; die Liste "
               "beginnt leer."),
             true);
    m_rulesTask.setSingleShot(false);
    connect(&m_rulesTask, &QTimer::timeout, this, [this] { runRules(true); });
    startRulesTimer();
}

void AppState::startRulesTimer() {
    m_rulesTask.stop();
    if (!m_settings.rulesAuto()) return;
    // The first automatic run comes one period after the start, never at once.
    m_rulesTask.start(m_services.timings.rulesMs);
}

void AppState::runRules(bool silent) {
    QList<CleanRule> active;
    for (const CleanRule &rule : m_cleanupRules.rules())
        if (rule.enabled && rule.isValid()) active << rule;
    if (active.isEmpty()) {
        if (!silent) show(K("Keine aktive, vollständige Regel. Öffne „Aufräum-Regeln“ und lege eine an."));
        return;
    }
    if (silent && m_jobs.busy()) return;
    QPointer<AppState> self(this);
    m_jobs.run(
        K("Räume auf"), [active](TransferProgress &progress) { return RulesEngine::run(active, progress); },
        [self, silent](const RulesEngine::RunResult &result) {
            if (!self) return;
            const qsizetype moved = result.moved.size(), trashed = result.trashed.size();
            if (moved + trashed >= 1) {
                self->m_sides.refreshAll();
                // One entry brings back both the moved and the trashed files.
                UndoAction action = UndoAction::makeMoved(result.moved);
                action.trashed = result.trashed;
                const auto title = [moved, trashed] {
                    return trashed == 0 ? LF("Aufräumen: %@ verschoben", FileFmt::count(moved))
                           : moved == 0
                               ? LF("Aufräumen: %@ in den Papierkorb gelegt", FileFmt::count(trashed))
                               : LF("Aufräumen: %@ verschoben, %@ in den Papierkorb gelegt",
                                    FileFmt::count(moved), FileFmt::count(trashed));
                };
                self->m_undo.record(title, action);
            }
            if (const auto report = RulesEngine::report(result, silent))
                self->show(report->text, report->error);
        });
}
