// kestrin-bench view: an offscreen pane shows a folder of 100,000 files. Measures the time from the items
// being published to the first painted frame of the list, the time to page through the list, and the
// resident memory per item shown.
#include "Bench.h"

#include "core/model/PaneModel.h"
#include "ui/panecontent/ListView.h"
#include "ui/window/pane/PaneContent.h"
#include "ui/window/pane/PaneView.h"

#include <QCoreApplication>
#include <QEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>

namespace {

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

bool waitFor(const std::function<bool()> &pred) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > 60000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

int run(const QStringList &args) {
    const int count = args.isEmpty() ? 100000 : args[0].toInt();
    QTemporaryDir tmp;
    if (!tmp.isValid()) return 1;
    const auto folders = Bench::paneFixture(tmp.path(), count);
    if (!folders) return 1;
    const QString &big = folders->big, &small = folders->small;

    PaneModel pane(Side::left, small);
    pane.setViewMode(ViewMode::list);
    // Connected before the view, so it runs before the view takes the new items.
    PaintClock *clock = nullptr;
    QObject::connect(&pane, &PaneModel::itemsChanged, [&] {
        if (!clock || pane.items().size() != count) return;
        clock->since.start();
        clock->paintedNs = -1;
        clock->armed = true;
    });
    PaneView view(&pane, nullptr);
    view.resize(900, 760);
    view.show();
    FileListView *list = view.content()->list()->view();
    PaintClock paint(list->viewport());
    clock = &paint;
    if (!waitFor([&] { return pane.currentPath() == small && !pane.freeSpace().isEmpty(); })) return 1;
    QCoreApplication::processEvents();
    const qint64 before = Bench::residentBytes();

    qint64 after = 0;
    double firstFrame = 1e9;
    QElapsedTimer total;
    double opened = 1e9;
    for (int i = 0; i < 3; ++i) {
        pane.go(small);
        if (!waitFor([&] { return pane.currentPath() == small && pane.items().isEmpty(); })) return 1;
        QCoreApplication::processEvents();
        paint.paintedNs = -1;
        total.start();
        pane.go(big);
        if (!waitFor([&] { return paint.paintedNs >= 0 && list->listModel()->rowCount() == count; }))
            return 1;
        opened = std::min(opened, total.nsecsElapsed() / 1e9);
        firstFrame = std::min(firstFrame, paint.paintedNs / 1e9);
        // The first showing; later rounds also hold listings still being freed.
        if (i == 0) after = Bench::residentBytes();
    }

    // Paging: one page down and a full repaint of the rows, 100 times.
    double perPage = 1e9;
    QScrollBar *bar = list->verticalScrollBar();
    for (int run = 0; run < 3; ++run) {
        bar->setValue(0);
        QCoreApplication::processEvents();
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 100; ++i) {
            bar->setValue(bar->value() + bar->pageStep());
            list->viewport()->repaint();
        }
        perPage = std::min(perPage, t.nsecsElapsed() / 1e9 / 100);
    }

    std::printf("items published to first painted frame: %.1f ms (target 150 ms)\n", firstFrame * 1000);
    std::printf("one page down: %.2f ms (target 16 ms; %d rows a page)\n", perPage * 1000,
                bar->pageStep() / std::max(1, list->rowRect(0).height()));
    std::printf("resident memory per item shown: %.0f bytes (%.1f MB for %d items, records included)\n",
                double(after - before) / count, (after - before) / 1e6, count);
    const double ls = Bench::bestOfCommand(3, QStringLiteral("ls"), {QStringLiteral("-l"), big});
    Bench::report(QStringLiteral("open and paint %1 files").arg(count), opened, QStringLiteral("ls -l"), ls);
    return 0;
}

const Bench::Registration
    reg("view", "show a 100,000-file folder in an offscreen pane: first frame, paging, memory", run);

} // namespace
