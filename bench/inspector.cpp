// The inspector on 10,000 selected items in a folder where one file is rewritten every 0.3 s: time from
// the selection to the shown summary, and how many size walks ever run at once.
#include "Bench.h"
#include "PaneRig.h"

#include "core/app/AppState.h"
#include "core/model/MultiSummary.h"
#include "core/model/PaneModel.h"
#include "core/model/SizeWalk.h"
#include "ui/inspector/InspectorView.h"
#include "ui/inspector/MultiInspector.h"

#include <QElapsedTimer>
#include <QFile>
#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <cstdio>

namespace {

// Runs the event loop until done() or the timeout; false on timeout.
template <typename F> bool waitFor(F done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(200);
    }
    return true;
}
void wait(int ms) {
    waitFor([] { return false; }, ms);
}

int run(const QStringList &args) {
    const int count = Bench::filesArg(args, 10000);
    const Bench::TempPaneFixture fixture(count);
    if (!fixture.ok()) return 1;
    std::printf("fixture: %d files, one rewritten every 0.3 s\n", count);

    AppState app;
    PaneModel *pane = app.activePane();
    pane->go(fixture.big(), false);
    if (!waitFor([&] { return pane->items().size() >= count; }, 60000)) return 1;
    InspectorView view(app.sides(), app.items(), app.toasts());
    view.resize(290, 800);
    view.show();

    // The busy file: the pane's folder watch refreshes it all the time.
    const QString busy = fixture.big() + QStringLiteral("/busy.txt");
    int writes = 0;
    QTimer writer;
    QObject::connect(&writer, &QTimer::timeout, [&] {
        QFile f(busy);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(QByteArray::number(++writes));
    });
    writer.start(300);
    // Writes every 0.3 s keep restarting the watch's own 0.3 s debounce; reloads as often as the watch
    // allows are made here, the worst case for the inspector.
    QTimer reloads;
    QObject::connect(&reloads, &QTimer::timeout, pane, &PaneModel::refresh);
    reloads.start(300);
    wait(700);

    QSet<QString> all, allButOne;
    for (const FileItem &item : pane->items())
        if (!item.name.startsWith(QStringLiteral("busy"))) all.insert(item.path());
    allButOne = all;
    allButOne.remove(*all.begin());

    SizeWalk::resetRunningMost();
    Bench::Stats summary;
    for (int i = 0; i < 6; ++i) {
        QElapsedTimer clock;
        clock.start();
        pane->setSelection(i % 2 ? allButOne : all);
        if (!waitFor([&] { return view.multi() && view.multi()->summary().has_value(); }, 10000)) return 1;
        summary.samples.push_back(clock.nsecsElapsed() / 1e9);
        wait(300);
    }
    Bench::spread(QStringLiteral("selection to summary"), summary, "ms", 1000.0);

    // Left alone while the folder keeps changing: the summary stays, nothing is read again.
    MultiInspector *shown = view.multi();
    const qint64 tokenBefore = pane->refreshToken();
    wait(3000);
    std::printf("pane refreshes meanwhile: %lld, summary kept: %s\n", pane->refreshToken() - tokenBefore,
                view.multi() == shown ? "yes" : "no");
    std::printf("size walks at once, at most: %d\n", SizeWalk::runningMost());
    writer.stop();
    reloads.stop();
    const bool ok =
        summary.ok() && summary.max() <= 0.2 && SizeWalk::runningMost() <= 1 && view.multi() == shown;
    std::printf("%s\n", ok ? "within bounds (≤ 200 ms, one walk)" : "OUT OF BOUNDS");

    // A large selection: what each change costs the window's thread, until its summary is shown.
    const int large = [&] {
        const qsizetype at = args.indexOf(QStringLiteral("--large"));
        return at >= 0 ? std::max(2, args.value(at + 1).toInt()) : 100000;
    }();
    const Bench::TempPaneFixture many(large);
    if (!many.ok()) return 1;
    pane->go(many.big(), false);
    if (!waitFor([&] { return pane->items().size() >= large; }, 120000)) return 1;
    QSet<QString> every, everyButOne;
    for (const FileItem &item : pane->items())
        every.insert(item.path());
    everyButOne = every;
    everyButOne.remove(*every.begin());
    wait(300);
    Bench::Stats onThread, stall;
    for (int i = 0; i < 6; ++i) {
        Bench::StallMeter one;
        one.start();
        const double cpu = Bench::StallMeter::threadCpuMs();
        pane->setSelection(i % 2 ? everyButOne : every);
        onThread.samples.push_back((Bench::StallMeter::threadCpuMs() - cpu) / 1000);
        if (!waitFor([&] { return view.multi() && view.multi()->summary().has_value(); }, 60000)) return 1;
        one.stop();
        stall.samples.push_back(one.longestMs() / 1000);
        wait(200);
    }
    Bench::spread(QStringLiteral("%1 selected: window thread's time per selection change").arg(large),
                  onThread, "ms", 1000.0);
    Bench::spread(QStringLiteral("%1 selected: longest stall until the summary is shown").arg(large), stall,
                  "ms", 1000.0);
    const bool largeOk = onThread.max() <= 0.016;
    std::printf("%s\n",
                largeOk ? "within bounds (≤ 16 ms per change)" : "OUT OF BOUNDS (> 16 ms per change)");
    return ok && largeOk ? 0 : 1;
}

const Bench::Registration reg(
    "inspector",
    "inspector summary of 10,000 selected items in a busy folder, then the window thread's time per change "
    "of 100,000 selected (--files N, --large N; no reference); about 1 min",
    run);

} // namespace
