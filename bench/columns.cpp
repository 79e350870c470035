// kestrin-bench columns: a trail of 5 folders of 20,000 files each in an offscreen columns view. Measures
// the time from going to the deepest folder to every column listed and painted (reference: ls -l of the
// same five folders), and checks that the current folder is listed by the pane only.
#include "Bench.h"
#include "PaneRig.h"

#include "core/model/PaneModel.h"
#include "ui/panecontent/ColumnsContent.h"
#include "ui/window/pane/PaneContent.h"
#include "ui/window/pane/PaneView.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QDir>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

int run(const QStringList &args) {
    const int count = Bench::filesArg(args, 20000);
    const Bench::TempPaneFixture fixture(0);
    if (!fixture.ok()) return 1;
    QStringList trail;
    QString dir = fixture.root() + QStringLiteral("/t1");
    for (int level = 1; level <= 5; ++level) {
        QDir().mkpath(dir);
        trail << dir;
        // The next folder of the trail is one of the entries.
        for (int i = level < 5 ? 1 : 0; i < count; ++i) {
            const QByteArray name =
                (dir + QStringLiteral("/file-%1.txt").arg(i, 6, 10, QLatin1Char('0'))).toLocal8Bit();
            const int fd = ::open(name.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            if (fd < 0) return 1;
            ::close(fd);
        }
        dir += QStringLiteral("/t%1").arg(level + 1);
    }
    const QString deepest = trail.last();

    QAtomicInt currentListed = 0;
    ColumnList::setLister([&](const QString &d) {
        if (d == deepest) currentListed.fetchAndAddRelaxed(1);
        return FileLoader::list(d);
    });
    Bench::PaneHost host(fixture.root());
    PaneModel pane(Side::left, fixture.small());
    pane.setViewMode(ViewMode::columns);
    PaneView view(&pane, host.parts());
    view.resize(1400, 760);
    view.show();
    if (!Bench::waitUntil([&] { return !pane.freeSpace().isEmpty(); })) return 1;
    ColumnsContent *cols = view.content()->columns();
    if (!cols) return 1;

    const auto allListed = [&] {
        for (int i = 0; i < trail.size(); ++i) {
            ColumnList *c = cols->column(trail[i]);
            if (!c || c->loading() || c->listModel()->rowCount() != count) return false;
        }
        return true;
    };
    bool ok = true;
    const Bench::Pair t = Bench::alternate(
        5,
        [&] {
            pane.go(fixture.small());
            ok &= Bench::waitUntil(
                [&] { return pane.currentPath() == fixture.small() && !cols->column(trail[0]); });
            QCoreApplication::processEvents();
            return Bench::timeOf([&] {
                pane.go(deepest);
                ok &= Bench::waitUntil(allListed);
                view.repaint(); // every column on screen painted
            });
        },
        [&] {
            return Bench::timeOfCommand(QStringLiteral("ls"), QStringList{QStringLiteral("-l")} + trail);
        });
    ColumnList::setLister({});
    if (!ok) return 1;
    std::printf("listings of the current folder by its column: %d (the pane lists it once)\n",
                int(currentListed.loadRelaxed()));
    Bench::report(
        QStringLiteral("go to the 5th folder, all columns listed and painted (%1 files each)").arg(count),
        t.ours, Bench::listingThreads(count), QStringLiteral("ls -l"), t.theirs, 1);
    return 0;
}

const Bench::Registration
    reg("columns",
        "a trail of 5 folders of 20,000 files in an offscreen columns view, from going "
        "there to all columns painted (reference: ls -l); --files N; about half a minute",
        run);

} // namespace
