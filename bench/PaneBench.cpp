// kestrin-bench pane: a pane opens a folder of 100,000 files (--files N), then picks up one file added
// from outside. No view is attached here; see view and scale for that.
#include "Bench.h"
#include "PaneRig.h"

#include "core/model/FolderWatch.h"
#include "core/model/PaneModel.h"

#include <QElapsedTimer>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

int run(const QStringList &args) {
    const int count = Bench::filesArg(args, 100000);
    const Bench::TempPaneFixture fixture(count);
    if (!fixture.ok()) return 1;
    const QString &big = fixture.big(), &small = fixture.small();

    Bench::StallMeter stalls;
    PaneModel pane(Side::left, small);
    if (!Bench::waitUntil([&] { return pane.items().isEmpty() && !pane.freeSpace().isEmpty(); })) return 1;

    bool ok = true;
    Bench::Stats openCpu;
    const Bench::TimedPair open = Bench::alternateWithCpu(
        5,
        [&] {
            pane.go(small);
            ok &= Bench::waitUntil([&] { return pane.currentPath() == small && pane.items().isEmpty(); });
            FolderWatch::shared().waitForIdle();
            stalls.start();
            const double cpu = Bench::processorSeconds();
            const double t = Bench::timeOf([&] {
                pane.go(big);
                ok &= Bench::waitUntil([&] { return pane.items().size() == count; });
            });
            openCpu.samples.push_back(Bench::processorSeconds() - cpu);
            stalls.stop();
            return t;
        },
        [&] {
            return Bench::timeOfCommand(QStringLiteral("ls"), {QStringLiteral("-l"), big});
        });
    if (!ok) return 1;
    Bench::processorReport(QStringLiteral("open %1 files").arg(count), openCpu, QStringLiteral("ls -l"),
                           open.theirsCpu);
    Bench::report(QStringLiteral("open %1 files").arg(count), open.ours, Bench::listingThreads(count),
                  QStringLiteral("ls -l"), open.theirs, 1);

    FolderWatch::shared().waitForIdle();
    Bench::Stats change;
    // A meter of its own: the openings' stalls are not the change's.
    Bench::StallMeter changing;
    changing.start();
    for (int i = 0; i < 5; ++i) {
        const QString added = big + QStringLiteral("/added-%1").arg(i);
        QElapsedTimer t;
        t.start();
        const int fd = ::open(added.toLocal8Bit().constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        if (fd < 0) return 1;
        ::close(fd);
        if (!Bench::waitUntil([&] { return pane.items().size() == count + i + 1; })) return 1;
        change.samples.push_back(t.nsecsElapsed() / 1e9);
    }
    changing.stop();
    Bench::spread(QStringLiteral("external change picked up (of which %1 ms debounce)")
                      .arg(PaneModel::timings().reloadDelayMs),
                  change, "ms", 1000);
    std::printf(
        "longest main-thread stall: %.1f ms (busy at most %.1f ms; the rest waiting for a processor)\n",
        changing.longestMs(), changing.longestBusyMs());
    return 0;
}

const Bench::Registration
    reg("pane",
        "open a 100,000-file folder in a pane, then pick up an external change; --files N; about 1 min", run);

} // namespace
