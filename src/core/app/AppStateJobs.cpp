// Toasts and the forwards to the job runner.
#include "core/app/AppState.h"
#include "core/app/JobRunner.h"

void AppState::show(const QString &text, bool error) {
    m_toasts.show(text, error);
}
