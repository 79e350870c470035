#pragma once
// What the pane benchmarks share: their folders, a meter of main-thread stalls and waiting on the event loop.

#include "Bench.h"

#include "core/app/AppState.h"
#include "ui/app/Commands.h"
#include "ui/app/PaneWiring.h"

#include <QAbstractScrollArea>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QEvent>
#include <QScrollBar>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <ctime>

namespace Bench {
// A temporary root with the pane fixture of count files in it (see paneFixture); both go with it.
class TempPaneFixture {
public:
    explicit TempPaneFixture(int count) {
        if (m_tmp.isValid()) m_folders = paneFixture(m_tmp.path(), count);
    }
    // False when the root or a file could not be made.
    bool ok() const { return m_folders.has_value(); }
    QString root() const { return m_tmp.path(); }
    const QString &big() const { return m_folders->big; }
    const QString &small() const { return m_folders->small; }

private:
    TempDir m_tmp;
    std::optional<PaneFolders> m_folders;
};

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

// Paging: one page down and a full repaint of the viewport, 100 times a run, 5 runs; the time per page.
inline Stats pageTimes(QAbstractScrollArea *view) {
    Stats perPage;
    QScrollBar *bar = view->verticalScrollBar();
    for (int run = 0; run < 5; ++run) {
        bar->setValue(0);
        QCoreApplication::processEvents();
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 100; ++i) {
            bar->setValue(bar->value() + bar->pageStep());
            view->viewport()->repaint();
        }
        perPage.samples.push_back(t.nsecsElapsed() / 1e9 / 100);
    }
    return perPage;
}

// What a benchmark's pane view is given: an application state of its own, whose settings and data lie
// under root (never the user's), without a mount watch, and its command registry.
class PaneHost {
public:
    explicit PaneHost(const QString &root) {
        qputenv("XDG_CONFIG_HOME", (root + QStringLiteral("/config")).toLocal8Bit());
        qputenv("XDG_DATA_HOME", (root + QStringLiteral("/data")).toLocal8Bit());
        Services services;
        services.sidebar.watchMounts = false;
        services.sidebar.volumes = [] { return std::vector<Volume>(); };
        m_app = std::make_unique<AppState>(std::move(services));
        m_commands = std::make_unique<Commands>(*m_app);
    }
    ~PaneHost() { m_commands.reset(); }
    PaneParts parts() { return paneParts(*m_app, *m_commands); }

private:
    std::unique_ptr<AppState> m_app;
    std::unique_ptr<Commands> m_commands;
};

} // namespace Bench
