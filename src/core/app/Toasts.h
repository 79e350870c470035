#pragma once

#include "core/app/Services.h"
#include "core/app/Toast.h"

#include <QObject>
#include <QTimer>
#include <optional>

// The one toast near the bottom of the window and its dismissal. Main thread only.
class Toasts : public QObject {
    Q_OBJECT
public:
    // The timings are read at every toast, so tests may shorten them.
    explicit Toasts(const Services::Timings &timings, QObject *parent = nullptr);

    // Shows a text (a German key or already translated) for a while.
    void show(const QString &text, bool error = false);
    // Refusals and notices of work left undone take the warning look.
    void show(const QString &text, ToastKind kind);
    const std::optional<Toast> &toast() const { return m_toast; }
    void setToast(const std::optional<Toast> &value);

signals:
    void toastChanged();

private:
    const Services::Timings &m_timings;
    std::optional<Toast> m_toast;
    QTimer m_timer;
};
