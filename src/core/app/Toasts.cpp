#include "core/app/Toasts.h"

#include "core/localisation/Lang.h"

Toasts::Toasts(const Services::Timings &timings, QObject *parent) : QObject(parent), m_timings(timings) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { setToast(std::nullopt); });
}

void Toasts::show(const QString &text, bool error) {
    show(text, error ? ToastKind::error : ToastKind::success);
}

void Toasts::show(const QString &text, ToastKind kind) {
    setToast(Toast(L(text), kind));
    // Restarting the one timer cancels the previous toast's dismissal; a later toast is never removed early.
    m_timer.start(kind == ToastKind::error ? m_timings.errorToastMs : m_timings.toastMs);
}

void Toasts::setToast(const std::optional<Toast> &value) {
    m_toast = value;
    emit toastChanged();
}
