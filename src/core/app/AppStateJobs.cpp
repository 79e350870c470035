// Toasts and the forwards to the job runner.
#include "core/app/AppState.h"
#include "core/app/JobRunner.h"

#include "core/localisation/Lang.h"

void AppState::show(const QString &text, bool error) {
    show(text, error ? ToastKind::error : ToastKind::success);
}

void AppState::show(const QString &text, ToastKind kind) {
    setToast(Toast(L(text), kind));
    // Restarting the one timer cancels the previous toast's dismissal; a later toast is never removed early.
    m_toastTimer.start(kind == ToastKind::error ? timing().errorToastMs : timing().toastMs);
}

std::shared_ptr<TransferProgress> AppState::beginJob(const QString &title) {
    return m_jobs->begin(title);
}
void AppState::endJob() {
    m_jobs->end();
}
void AppState::cancelJob() {
    m_jobs->cancel();
}
std::shared_ptr<TransferProgress> AppState::currentProgress() const {
    return m_jobs->progress();
}
const std::optional<TransferStatus> &AppState::transferStatus() const {
    return m_jobs->status();
}
