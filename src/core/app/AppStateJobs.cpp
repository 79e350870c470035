// Toasts.
#include "core/app/AppState.h"

#include "core/localisation/Lang.h"

void AppState::show(const QString &text, bool error) {
    setToast(Toast(L(text), error));
    // Restarting the one timer cancels the previous toast's dismissal; a later toast is never removed early.
    m_toastTimer.start(error ? timing().errorToastMs : timing().toastMs);
}
