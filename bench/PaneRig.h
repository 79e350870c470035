#pragma once
// What the pane benchmarks share: a meter of main-thread stalls and waiting on the event loop.

#include "Bench.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <functional>

namespace Bench {

// Longest gap between ticks of a 1 ms timer while it runs: how long the main thread was blocked. Also
// notes the largest resident size seen, every 10 ms.
class StallMeter {
public:
    StallMeter() {
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_longest = std::max(m_longest, m_since.nsecsElapsed() / 1000000.0);
            m_since.restart();
            if (m_sampled.elapsed() >= 10) {
                m_peak = std::max(m_peak, residentBytes());
                m_sampled.restart();
            }
        });
    }
    // Only while our side works; the reference tool blocks the main thread on purpose.
    void start() {
        m_since.start();
        m_sampled.start();
        m_timer.start();
    }
    void stop() { m_timer.stop(); }
    double longestMs() const { return m_longest; }
    qint64 peakBytes() const { return m_peak; }
    void resetPeak() { m_peak = 0; }

private:
    QTimer m_timer;
    QElapsedTimer m_since, m_sampled;
    double m_longest = 0;
    qint64 m_peak = 0;
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
