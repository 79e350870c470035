// kestrin-bench grid: an offscreen pane shows a folder of 100,000 files as an icon grid. Measures the time
// from the items being published to the first painted frame, the time per page scrolled, and the resident
// memory per item shown.
#include "Bench.h"
#include "PaneRig.h"

#include "core/model/PaneModel.h"
#include "ui/panecontent/IconGrid.h"
#include "ui/panecontent/Thumbs.h"
#include "ui/window/pane/PaneContent.h"
#include "ui/window/pane/PaneView.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <cstdio>

namespace {

int run(const QStringList &args) {
    const int count = Bench::filesArg(args, 100000);
    const Bench::TempPaneFixture fixture(count);
    if (!fixture.ok()) return 1;
    const QString &big = fixture.big(), &small = fixture.small();

    Bench::PaneHost host(fixture.root());
    PaneModel pane(Side::left, small);
    pane.setViewMode(ViewMode::icons);
    Bench::PaintClock *clock = nullptr;
    // Connected before the view: the clock starts when the items are published.
    QObject::connect(&pane, &PaneModel::itemsChanged, [&] {
        if (!clock || pane.items().size() != count || clock->paintedNs >= 0) return;
        clock->since.start();
        clock->armed = true;
    });
    PaneView view(&pane, host.parts());
    view.resize(900, 760);
    view.show();
    if (!Bench::waitUntil([&] { return pane.currentPath() == small && !pane.freeSpace().isEmpty(); }))
        return 1;
    pane.go(big);
    if (!Bench::waitUntil([&] { return view.content()->grid() != nullptr; })) return 1;
    IconGrid *grid = view.content()->grid();
    Bench::PaintClock paint(grid->viewport());
    bool laidOut = false;
    // Whether the frame the clock stops at shows cells (a batched layout may paint before any).
    class Probe : public QObject {
    public:
        Probe(IconGrid *g, Bench::PaintClock *c, bool *out) : m_grid(g), m_clock(c), m_out(out) {}
        bool eventFilter(QObject *, QEvent *e) override {
            if (e->type() == QEvent::Paint && m_clock->armed)
                *m_out = m_grid->indexAt(QPoint(IconGrid::minCell / 2, 20)).isValid();
            return false;
        }
        IconGrid *m_grid;
        Bench::PaintClock *m_clock;
        bool *m_out;
    } probe(grid, &paint, &laidOut);
    grid->viewport()->installEventFilter(&probe);
    clock = &paint;
    pane.go(small);
    if (!Bench::waitUntil([&] { return pane.currentPath() == small && pane.items().isEmpty(); })) return 1;
    Thumbs::waitForIdle();
    QCoreApplication::processEvents();
    const qint64 before = Bench::residentBytes();

    Bench::Stats firstFrame;
    qint64 after = 0;
    int withCells = 0;
    for (int round = 0; round < 5; ++round) {
        pane.go(small);
        if (!Bench::waitUntil([&] { return pane.currentPath() == small && pane.items().isEmpty(); }))
            return 1;
        Thumbs::waitForIdle();
        QCoreApplication::processEvents();
        paint.paintedNs = -1;
        paint.armed = false;
        pane.go(big);
        if (!Bench::waitUntil([&] { return paint.paintedNs >= 0 && grid->listModel()->rowCount() == count; }))
            return 1;
        firstFrame.samples.push_back(paint.paintedNs / 1e9);
        withCells += laidOut ? 1 : 0;
        if (round == 0) after = Bench::residentBytes();
    }

    // Thumbnails are asked for as the cells are painted.
    const Bench::Stats perPage = Bench::pageTimes(grid);
    const QScrollBar *bar = grid->verticalScrollBar();
    Thumbs::waitForIdle();
    const IconGrid::Columns columns = grid->currentColumns();
    Bench::spread(QStringLiteral("items published to first painted frame (target 150 ms)"), firstFrame, "ms",
                  1000);
    Bench::spread(QStringLiteral("one page down (%1 cells a row, %2 rows a page; target 16 ms)")
                      .arg(columns.count)
                      .arg(bar->pageStep() / std::max(1, grid->gridSize().height())),
                  perPage, "ms", 1000, 2);
    std::printf("first frames that showed cells: %d of %d\n", withCells, int(firstFrame.samples.size()));
    std::printf("resident memory per item shown: %.0f bytes (%.1f MB for %d items, records included)\n",
                double(after - before) / count, (after - before) / 1e6, count);
    return 0;
}

const Bench::Registration reg("grid",
                              "show a 100,000-file folder as an offscreen icon grid: first frame, paging, "
                              "memory; --files N; no reference; about 1 min",
                              run);

} // namespace
