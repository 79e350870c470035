#pragma once
// What the pane benchmarks share: a meter of main-thread stalls and waiting on the event loop.

#include "Bench.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <functional>
#include <ctime>

namespace Bench {
// Notes when the list's viewport has finished painting: the paint is run from inside the filter so the
// time taken after it is exact.
class PaintClock : public QObject {
public:
    explicit PaintClock(QWidget *viewport) : m_viewport(viewport) { viewport->installEventFilter(this); }
    QElapsedTimer since;
    qint64 paintedNs = -1;
    bool armed = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (watched != m_viewport || event->type() != QEvent::Paint || m_inside || !armed) return false;
        m_inside = true;
        QCoreApplication::sendEvent(watched, event);
        m_inside = false;
        paintedNs = since.nsecsElapsed();
        armed = false;
        return true;
    }

private:
    QWidget *m_viewport;
    bool m_inside = false;
};

// Longest gap between ticks of a 1 ms timer while it runs: how long the main thread was blocked.
class StallMeter {
public:
    StallMeter() {
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const double gap = m_since.nsecsElapsed() / 1000000.0;
            const double cpu = threadCpuMs();
            m_longestBusy = std::max(m_longestBusy, cpu - m_cpuAt);
            m_cpuAt = cpu;
            m_longest = std::max(m_longest, gap);
            m_since.restart();
        });
    }
    // Only while our side works; the reference tool blocks the main thread on purpose.
    void start() {
        m_since.start();
        m_cpuAt = threadCpuMs();
        m_timer.start();
    }
    void stop() { m_timer.stop(); }
    double longestMs() const { return m_longest; }
    // The most CPU time the main thread used between two ticks: the stall without the time it waited
    // for a processor that other programs had.
    double longestBusyMs() const { return m_longestBusy; }
    static double threadCpuMs() {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_since;
    double m_longest = 0;
    double m_longestBusy = 0;
    double m_cpuAt = 0;
};

// Runs the event loop until pred holds; false after timeoutMs.
inline bool waitUntil(const std::function<bool()> &pred, int timeoutMs = 120000) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 1);
    }
    return true;
}

} // namespace Bench
