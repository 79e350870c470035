#include "core/help/HelpClock.h"

#include <QTimer>

quint64 TimerHelpClock::after(int ms, std::function<void()> fn) {
    const quint64 handle = ++m_next;
    auto *timer = new QTimer(this);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, [this, handle, timer, fn = std::move(fn)] {
        // Spent before it runs, so a cancel from inside fn finds nothing to stop.
        m_pending.remove(handle);
        timer->deleteLater();
        fn();
    });
    m_pending.insert(handle, timer);
    timer->start(ms);
    return handle;
}

void TimerHelpClock::cancel(quint64 handle) {
    if (QTimer *timer = m_pending.take(handle)) {
        timer->stop();
        timer->deleteLater();
    }
}
