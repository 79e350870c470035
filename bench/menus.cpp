// kestrin-bench menus: a pane of 100,000 files, all selected. Measures a right click on one of them up to
// the item menu and its tag submenu both painted, and separately how long the submenu's checkmarks take to
// be known (in the background): once with untagged files (the summary stops at the first), once with
// every file tagged (every file counts).
#include "Bench.h"
#include "PaneRig.h"

#include "core/app/AppState.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneModel.h"
#include "core/model/Tags.h"
#include "ui/panecontent/ContextMenus.h"
#include "ui/panecontent/TagMenu.h"
#include "ui/app/Commands.h"
#include "ui/app/PaneWiring.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QPaintEvent>
#include <algorithm>
#include <cstdio>

namespace {

// Notes when a widget paints.
class Painted : public QObject {
public:
    explicit Painted(QWidget *w) { w->installEventFilter(this); }
    bool done = false;

protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Paint) done = true;
        return false;
    }
};

int run(const QStringList &args) {
    const int count = Bench::filesArg(args, 100000);
    const Bench::TempPaneFixture fixture(count);
    if (!fixture.ok()) return 1;
    qputenv("HOME", fixture.root().toLocal8Bit());
    qputenv("XDG_DATA_HOME", (fixture.root() + QStringLiteral("/data")).toLocal8Bit());

    AppState app;
    Commands commands(app);
    const PaneParts parts = paneParts(app, commands);
    PaneModel *pane = app.left();
    pane->go(fixture.big(), true);
    if (!Bench::waitUntil([&] { return pane->items().size() == count; })) return 1;
    pane->selectAll();
    FileItem item = pane->items()[count / 2];
    QWidget host;
    host.resize(800, 600);
    host.show();

    // Seven right clicks; false when a menu did not show.
    auto measure = [&](const char *label, Bench::Stats &open) {
        Bench::Stats marks;
        for (int round = 0; round < 7; ++round) {
            QElapsedTimer t;
            t.start();
            QMenu *menu =
                ContextMenus::popup(parts.menus, pane, &item, host.mapToGlobal(QPoint(100, 100)), &host);
            auto *tags = menu->findChild<TagMenu *>();
            if (!tags) return false;
            bool read = false;
            QObject::connect(tags, &TagMenu::marksRead, [&read] { read = true; });
            Painted menuPainted(menu), tagsPainted(tags);
            tags->popup(host.mapToGlobal(QPoint(300, 200)));
            if (!Bench::waitUntil([&] { return menuPainted.done && tagsPainted.done; }, 20000)) return false;
            open.samples.push_back(t.nsecsElapsed() / 1e9);
            if (!Bench::waitUntil([&] { return read; }, 60000)) return false;
            marks.samples.push_back(t.nsecsElapsed() / 1e9);
            tags->close();
            menu->close();
            QCoreApplication::processEvents();
        }
        Bench::spread(QStringLiteral("%1: item menu and tag submenu painted").arg(label), open, "ms", 1000.0);
        Bench::spread(QStringLiteral("%1: tag marks known").arg(label), marks, "ms", 1000.0);
        return true;
    };
    std::printf("selected: %d\n", int(pane->selection().size()));
    // What pane changes cost the command registry: rules evaluated by a refresh of the listing and by a
    // cursor move, and the time of one evaluation of every rule with everything selected.
    {
        const quint64 before = commands.evaluations();
        int listed = 0;
        QObject::connect(pane, &PaneModel::listed, [&listed] { ++listed; });
        pane->refresh();
        if (!Bench::waitUntil([&] { return listed > 0; })) return 1;
        pane->setCursor(pane->items()[count / 3].path());
        std::printf("commands evaluated by a refresh and a cursor move: %llu of %lld\n",
                    static_cast<unsigned long long>(commands.evaluations() - before),
                    static_cast<long long>(commands.actions().size()));
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 20; ++i)
            commands.update();
        std::printf("one evaluation of every command, %d selected: %.2f ms\n", int(pane->selection().size()),
                    t.nsecsElapsed() / 1e6 / 20);
    }
    Bench::Stats untagged, tagged;
    if (!measure("no tags", untagged)) return 1;
    // Every file carries the same tag: its mark is known only once every file was read.
    bool canTag = true;
    for (const FileItem &i : pane->items())
        if (FileOps::setTagNames({QStringLiteral("Rot")}, i.path())) {
            canTag = false;
            break;
        }
    // The menu is opened on a listing that shows the tags, as after any change of them.
    if (canTag) {
        pane->refresh();
        if (!Bench::waitUntil(
                [&] {
                    return std::all_of(pane->items().cbegin(), pane->items().cend(),
                                       [](const FileItem &i) { return !i.tags().isEmpty(); });
                },
                60000))
            return 1;
    }
    if (canTag && !measure("all tagged \"Rot\"", tagged)) return 1;
    if (!canTag) std::printf("all tagged: skipped (no user attributes on this file system)\n");
    // Everything selected lies in the Trash: the delete wording looks at every path.
    QSet<QString> trashed;
    for (int i = 0; i < count; ++i)
        trashed.insert(FileLoader::mainTrash() +
                       QStringLiteral("/file-%1.txt").arg(i, 6, 10, QLatin1Char('0')));
    pane->setSelection(trashed);
    item.setPath(*trashed.constBegin());
    item.name = item.path().section(u'/', -1);
    Bench::Stats inTrash;
    if (!measure("in the Trash", inTrash)) return 1;
    double worst = 0;
    for (const Bench::Stats *s : {&untagged, &tagged, &inTrash})
        if (s->ok()) worst = std::max(worst, s->median());
    const bool ok = worst <= 0.100;
    std::printf("goal: ≤ 100 ms: %s\n", ok ? "met" : "missed");
    return 0;
}

const Bench::Registration
    reg("menus",
        "the item menu with its tag submenu, 100,000 items selected: right click to both "
        "painted, and until the tag marks are known; --files N; no reference; about half a minute",
        run);

} // namespace
