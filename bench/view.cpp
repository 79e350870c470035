// kestrin-bench view: an offscreen pane shows a folder of 100,000 files. Measures the time from the folder
// being opened to the first painted frame of its rows, the longest main-thread stall meanwhile with the
// list view attached, the time to page through the list, and the resident memory per item shown.
#include "Bench.h"
#include "PaneRig.h"

#include "core/model/FolderWatch.h"
#include "core/model/PaneModel.h"
#include "ui/panecontent/ListView.h"
#include "ui/window/pane/PaneContent.h"
#include "ui/window/pane/PaneView.h"

#include <QCoreApplication>
#include <QEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <cstdio>

namespace {

bool waitFor(const std::function<bool()> &pred) {
    return Bench::waitUntil(pred, 120000);
}

int run(const QStringList &args) {
    const int count = Bench::filesArg(args, 100000);
    const Bench::TempPaneFixture fixture(count);
    if (!fixture.ok()) return 1;
    const QString &big = fixture.big(), &small = fixture.small();

    Bench::PaneHost host(fixture.root());
    PaneModel pane(Side::left, small);
    pane.setViewMode(ViewMode::list);
    // Connected before the view, so the clock is armed before the view takes the new items; the clock
    // itself runs from the moment the folder is opened.
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
    if (!waitFor([&] { return pane.currentPath() == small && !pane.freeSpace().isEmpty(); })) return 1;
    QCoreApplication::processEvents();
    const qint64 before = Bench::residentBytes();

    Bench::StallMeter stalls;
    qint64 after = 0;
    int round = 0;
    bool ok = true;
    Bench::Stats firstFrame;
    const Bench::Pair open = Bench::alternate(
        5,
        [&] {
            pane.go(small);
            ok &= waitFor([&] { return pane.currentPath() == small && pane.items().isEmpty(); });
            FolderWatch::shared().waitForIdle();
            QCoreApplication::processEvents();
            // From the moment the folder is opened to the first frame that shows its rows.
            paint.since.start();
            paint.paintedNs = -1;
            paint.armed = false;
            stalls.start();
            pane.go(big);
            ok &= waitFor([&] { return paint.paintedNs >= 0 && list->listModel()->rowCount() == count; });
            stalls.stop();
            const double t = paint.paintedNs / 1e9;
            firstFrame.samples.push_back(t);
            // The first showing; later rounds also hold listings still being freed.
            if (round++ == 0) after = Bench::residentBytes();
            return t;
        },
        [&] {
            return Bench::timeOfCommand(QStringLiteral("ls"), {QStringLiteral("-l"), big});
        });
    if (!ok) return 1;

    const Bench::Stats perPage = Bench::pageTimes(list);
    const QScrollBar *bar = list->verticalScrollBar();

    Bench::spread(QStringLiteral("folder opened to first painted frame"), firstFrame, "ms", 1000);
    std::printf(
        "longest main-thread stall, list view attached: %.1f ms (busy at most %.1f ms; target 16 ms)\n",
        stalls.longestMs(), stalls.longestBusyMs());
    Bench::spread(QStringLiteral("one page down (%1 rows a page; target 16 ms)")
                      .arg(bar->pageStep() / std::max(1, list->rowRect(0).height())),
                  perPage, "ms", 1000, 2);
    std::printf("resident memory per item shown: %.0f bytes (%.1f MB for %d items, records included)\n",
                double(after - before) / count, (after - before) / 1e6, count);
    Bench::report(QStringLiteral("open and paint %1 files").arg(count), open.ours,
                  Bench::listingThreads(count), QStringLiteral("ls -l"), open.theirs, 1);
    return 0;
}

const Bench::Registration reg("view",
                              "show a 100,000-file folder in an offscreen pane: first frame, stall, paging, "
                              "memory; --files N; about 1 min",
                              run);

} // namespace
