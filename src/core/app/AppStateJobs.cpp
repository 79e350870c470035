// Toasts and the forwards to the job runner.
#include "core/app/AppState.h"
#include "core/app/JobRunner.h"

void AppState::show(const QString &text, bool error) {
    show(text, error ? ToastKind::error : ToastKind::success);
}

void AppState::show(const QString &text, ToastKind kind) {
    m_toasts.show(text, kind);
}
