// kestrin-bench pane: a pane opens a folder of 100,000 files, then picks up one file added from outside.
#include "Bench.h"

#include "core/model/PaneModel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

namespace {

// Longest gap between ticks of a 1 ms timer while it runs: how long the main thread was blocked.
class StallMeter {
public:
    StallMeter() {
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_longest = std::max(m_longest, m_since.nsecsElapsed() / 1000000.0);
            m_since.restart();
        });
    }
    // Only while the pane works; the reference tool blocks the main thread on purpose.
    void start() {
        m_since.start();
        m_timer.start();
    }
    void stop() { m_timer.stop(); }
    double longestMs() const { return m_longest; }

private:
    QTimer m_timer;
    QElapsedTimer m_since;
    double m_longest = 0;
};

// Runs the event loop until pred holds (checked after every signal of the pane); false after 60 s.
bool waitFor(PaneModel &pane, const std::function<bool()> &pred) {
    if (pred()) return true;
    QEventLoop loop;
    QObject::connect(&pane, &PaneModel::changed, &loop, [&] {
        if (pred()) loop.quit();
    });
    QTimer::singleShot(60000, &loop, [&] { loop.exit(1); });
    return loop.exec() == 0;
}

int run(const QStringList &args) {
    const int count = args.isEmpty() ? 100000 : args[0].toInt();
    QTemporaryDir tmp;
    if (!tmp.isValid()) return 1;
    const auto folders = Bench::paneFixture(tmp.path(), count);
    if (!folders) return 1;
    const QString &big = folders->big, &small = folders->small;

    StallMeter stalls;
    PaneModel pane(Side::left, small);
    if (!waitFor(pane, [&] { return pane.items().isEmpty() && !pane.freeSpace().isEmpty(); })) return 1;

    stalls.start();
    const double open = Bench::bestOf(3, [&] {
        pane.go(small);
        waitFor(pane, [&] { return pane.currentPath() == small && pane.items().isEmpty(); });
        pane.go(big);
        waitFor(pane, [&] { return pane.items().size() == count; });
    });
    stalls.stop();
    const double ls = Bench::bestOfCommand(3, QStringLiteral("ls"), {QStringLiteral("-l"), big});
    Bench::report(QStringLiteral("open %1 files").arg(count), open, QStringLiteral("ls -l"), ls);

    double change = 1e9;
    stalls.start();
    for (int i = 0; i < 3; ++i) {
        const QString added = big + QStringLiteral("/added-%1").arg(i);
        QElapsedTimer t;
        t.start();
        const int fd = ::open(added.toLocal8Bit().constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        if (fd < 0) return 1;
        ::close(fd);
        waitFor(pane, [&] { return pane.items().size() == count + i + 1; });
        change = std::min(change, t.nsecsElapsed() / 1e9);
    }
    std::printf("external change picked up: %.4f s (of which %.3f s debounce)\n", change,
                PaneModel::timings().reloadDelayMs / 1000.0);
    std::printf("longest main-thread stall: %.1f ms\n", stalls.longestMs());
    return 0;
}

const Bench::Registration reg("pane", "open a 100,000-file folder in a pane, then pick up an external change",
                              run);

} // namespace
