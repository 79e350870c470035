// kestrin-bench scale: one folder of 1,000,000 files (--files N) on a tmpfs when we are root, shown in an
// offscreen pane with its list view: open-to-first-frame against ls -l, the longest main-thread stall,
// the time until one file added from outside is shown, and the resident bytes per item.
#include "Bench.h"
#include "PaneRig.h"

#include "core/model/FolderWatch.h"
#include "core/model/PaneModel.h"
#include "ui/panecontent/ListView.h"
#include "ui/window/pane/PaneContent.h"
#include "ui/window/pane/PaneView.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Lets workers finish freeing what the last round left behind.
void settle() {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 300)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

int run(const QStringList &args) {
    const int count = Bench::filesArg(args, 1000000);
    Bench::TempDir tmp;
    if (!tmp.isValid()) return 1;
    QString base = tmp.path();
    const QString fs = base + QStringLiteral("/fs");
    const bool tmpfs = Bench::mountTmpfs(fs, QStringLiteral("4g"));
    if (tmpfs) base = fs;
    std::printf("file system: %s\n", tmpfs ? "tmpfs" : "the temporary folder's (not root: no tmpfs)");
    QElapsedTimer made;
    made.start();
    const auto folders = Bench::paneFixture(base, count);
    if (!folders) {
        if (tmpfs) Bench::unmount(fs);
        return 1;
    }
    std::printf("fixture made in %.1f s\n", made.elapsed() / 1000.0);
    const QString &big = folders->big, &small = folders->small;
    int rc = 0;
    {
        Bench::PaneHost host(tmp.path());
        PaneModel pane(Side::left, small);
        pane.setViewMode(ViewMode::list);
        Bench::PaintClock *clock = nullptr;
        QObject::connect(&pane, &PaneModel::itemsChanged, [&] {
            if (clock && pane.items().size() == count && clock->paintedNs < 0) clock->armed = true;
        });
        PaneView view(&pane, host.parts());
        view.resize(900, 760);
        view.show();
        FileListView *list = view.content()->list()->view();
        Bench::PaintClock paint(list->viewport());
        clock = &paint;
        if (!Bench::waitUntil([&] { return pane.currentPath() == small && !pane.freeSpace().isEmpty(); }))
            return 1;
        settle();
        const qint64 before = Bench::residentBytes();

        Bench::StallMeter stalls;
        qint64 after = 0, peak = 0;
        int round = 0;
        bool ok = true;
        Bench::Stats openCpu;
        const Bench::TimedPair open = Bench::alternateWithCpu(
            3,
            [&] {
                pane.go(small);
                ok &= Bench::waitUntil([&] { return pane.currentPath() == small && pane.items().isEmpty(); });
                FolderWatch::shared().waitForIdle();
                settle();
                paint.paintedNs = -1;
                paint.armed = false;
                stalls.start();
                const double cpu = Bench::processorSeconds();
                paint.since.start();
                pane.go(big);
                ok &= Bench::waitUntil(
                    [&] { return paint.paintedNs >= 0 && list->listModel()->rowCount() == count; });
                openCpu.samples.push_back(Bench::processorSeconds() - cpu);
                // The watch is added meanwhile; its cost belongs to the opening.
                FolderWatch::shared().waitForIdle();
                QCoreApplication::processEvents();
                stalls.stop();
                if (round++ == 0) {
                    settle();
                    after = Bench::residentBytes();
                    peak = Bench::peakResidentBytes();
                }
                return paint.paintedNs / 1e9;
            },
            [&] {
                return Bench::timeOfCommand(QStringLiteral("ls"), {QStringLiteral("-l"), big});
            });
        if (!ok) return 1;
        const double openStall = stalls.longestMs();
        const double openBusy = stalls.longestBusyMs();

        Bench::Stats update;
        settle();
        const qint64 beforeUpdates = Bench::residentBytes();
        Bench::resetPeak();
        // A meter of its own: the opening's stalls are not the updates'.
        Bench::StallMeter updating;
        updating.start();
        // The goal holds for the worst run: several of them.
        Bench::Stats updateStalls;
        for (int i = 0; i < 8; ++i) {
            Bench::StallMeter one;
            one.start();
            const QString added = big + QStringLiteral("/new-%1.txt").arg(i);
            QElapsedTimer t;
            t.start();
            const int fd = ::open(QFile::encodeName(added).constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            if (fd < 0) return 1;
            ::close(fd);
            if (!Bench::waitUntil([&] { return list->listModel()->rowCount() == count + i + 1; })) return 1;
            update.samples.push_back(t.nsecsElapsed() / 1e9);
            settle();
            one.stop();
            updateStalls.samples.push_back(one.longestMs() / 1000);
        }
        updating.stop();
        const qint64 updatePeak = Bench::peakResidentBytes();

        std::printf("stall %.0f ms\n", openStall);
        std::printf(
            "of which the main thread was busy at most %.0f ms (the rest it waited for a processor)\n",
            openBusy);
        std::printf("update %.0f ms\n", update.median() * 1000);
        std::printf("bytes per item %.0f\n", double(after - before) / count);
        // The process's largest size: before the first opening it was that of the empty pane.
        std::printf("peak bytes per item while opening %.0f\n",
                    double(std::max(peak, after) - before) / count);
        // The records are changed where they are: an update holds no second copy of the list.
        std::printf("bytes per item added at the peak of an update %.1f\n",
                    double(updatePeak - beforeUpdates) / count);
        Bench::spread(
            QStringLiteral("one added file shown (debounce %1 ms)").arg(PaneModel::timings().reloadDelayMs),
            update, "ms", 1000);
        std::printf("longest main-thread stall while updating: %.1f ms (busy at most %.1f ms)\n",
                    updating.longestMs(), updating.longestBusyMs());
        Bench::spread(QStringLiteral("main-thread stall per update"), updateStalls, "ms", 1000);
        std::printf("max over %zu runs: update %.0f ms (goal 500), stall %.1f ms (goal 16)\n",
                    update.samples.size(), update.max() * 1000, updateStalls.max() * 1000);
        Bench::processorReport(QStringLiteral("open %1 files to the first frame").arg(count), openCpu,
                               QStringLiteral("ls -l"), open.theirsCpu);
        Bench::report(QStringLiteral("open %1 files to the first frame").arg(count), open.ours,
                      Bench::listingThreads(count), QStringLiteral("ls -l"), open.theirs, 1);
        pane.shutdown();
    }
    if (tmpfs) {
        Bench::unmount(fs);
    }
    return rc;
}

const Bench::Registration reg("scale",
                              "a folder of 1,000,000 files (tmpfs when root) in a pane with its list view: "
                              "open to first frame against ls -l, stall, update, bytes per item; --files N; "
                              "about 3 min",
                              run);

} // namespace
