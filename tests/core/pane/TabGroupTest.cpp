#include "PaneTestUtil.h"

#include "core/app/AppState.h"
#include "core/app/JobRunner.h"
#include "core/app/Sides.h"
#include "core/model/TabGroup.h"

using namespace PaneTest;

namespace {
class TabGroups : public PaneFixture {
protected:
    // Three tabs on a, b, c; the given one selected.
    std::unique_ptr<TabGroup> three(int selected) {
        auto g = std::make_unique<TabGroup>(Side::right, a);
        g->newTab(b);
        g->newTab(c);
        g->select(selected);
        return g;
    }
    void SetUp() override {
        PaneFixture::SetUp();
        a = mkdir(QStringLiteral("a"));
        b = mkdir(QStringLiteral("b"));
        c = mkdir(QStringLiteral("c"));
    }
    QString a, b, c;
    RecordingHooks rec;
};
} // namespace

TEST_F(TabGroups, NewTabsAndClosing) {
    TabGroup g(Side::right, a);
    g.current()->go(b);
    g.setApp(&rec.hooks);
    g.newTab();
    ASSERT_EQ(g.tabs().size(), 2);
    EXPECT_EQ(g.index(), 1);
    EXPECT_EQ(g.current()->currentPath(), b); // only the folder is taken over
    EXPECT_TRUE(g.current()->backStack().isEmpty());
    EXPECT_EQ(g.current()->app(), &rec.hooks); // later tabs receive the core too
    EXPECT_EQ(rec.activated, QList<Side>{Side::right});

    TabGroup one(Side::left, a);
    one.close(0);
    EXPECT_EQ(one.tabs().size(), 1); // never the last
    // Closing keeps the tab that took the closed one's place, or the one before the last.
    for (const auto &[selected, closed, kept] : {std::array{1, 0, 1}, {1, 1, 2}, {2, 2, 1}}) {
        auto t = three(selected);
        PaneModel *keep = t->tabs()[kept];
        t->close(-1);
        t->close(3);
        t->close(closed);
        EXPECT_EQ(t->tabs().size(), 2);
        EXPECT_EQ(t->current(), keep) << selected << closed;
    }
}

TEST_F(TabGroups, SelectAndWrap) {
    auto g = three(2);
    g->setApp(&rec.hooks);
    g->select(-1);
    g->select(3);
    EXPECT_EQ(g->index(), 2);
    EXPECT_TRUE(rec.activated.isEmpty());
    QSignalSpy index(g.get(), &TabGroup::indexChanged);
    g->select(2); // the selected one again: still a change, still activates
    EXPECT_EQ(index.count(), 1);
    EXPECT_EQ(rec.activated.size(), 1);
    for (const auto &[step, want] : {std::pair{1, 0}, {-1, 2}, {-7, 1}}) {
        g->selectNext(step);
        EXPECT_EQ(g->index(), want) << step;
    }
}

TEST_F(TabGroups, ForwardsChangesOfOpenTabsOnly) {
    auto g = three(0);
    QSignalSpy changed(g.get(), &TabGroup::changed);
    g->tabs()[2]->setSelection({c + QStringLiteral("/x")}); // not the selected tab
    EXPECT_GE(changed.count(), 1);

    QPointer<PaneModel> closed = g->tabs()[2];
    g->close(2);
    changed.clear();
    closed->setSelection({});
    EXPECT_EQ(changed.count(), 0);
    EXPECT_FALSE(closed->isWatching()); // shut down
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(closed.isNull()); // and deleted
}

// A side says once that it shows another pane when a tab is opened, chosen or closed, and nothing when the
// pane it shows stays: another tab closed, the same tab chosen, a selection or cursor change inside.
TEST_F(TabGroups, ASideSaysOnceWhenItShowsAnotherPane) {
    AppState app;
    Sides &sides = app.sides();
    TabGroup *right = sides.rightTabs();
    QSignalSpy shown(&sides, &Sides::currentPaneChanged);
    const auto count = [&](Side side) {
        int n = 0;
        for (const QList<QVariant> &args : std::as_const(shown))
            n += args.first().value<Side>() == side ? 1 : 100;
        shown.clear();
        return n;
    };
    right->newTab(b);
    right->newTab(c);
    EXPECT_EQ(count(Side::right), 2);
    sides.leftTabs()->newTab(c);
    EXPECT_EQ(count(Side::left), 1);
    right->select(1);
    EXPECT_EQ(count(Side::right), 1);
    right->select(1);
    EXPECT_EQ(count(Side::right), 0);

    PaneModel *pane = right->current();
    right->close(0); // before the shown tab
    EXPECT_EQ(right->current(), pane);
    EXPECT_EQ(count(Side::right), 0);
    right->close(0); // the shown tab
    EXPECT_EQ(count(Side::right), 1);

    right->current()->setSelection({c + QStringLiteral("/x")});
    right->current()->setCursor(c + QStringLiteral("/x"));
    right->current()->go(a);
    EXPECT_EQ(count(Side::right), 0);

    // The active pane: another side, or another tab of the active side; not the same side again, not the
    // other side's tabs.
    QSignalSpy active(&sides, &Sides::activePaneChanged);
    sides.setActive(Side::left);
    sides.setActive(Side::left);
    EXPECT_EQ(active.count(), 1);
    right->newTab(a); // makes the right side active
    EXPECT_EQ(active.count(), 2);
    sides.setActive(Side::left);
    active.clear();
    right->select(0);
    EXPECT_EQ(active.count(), 1); // selecting a tab activates its side
    sides.leftTabs()->select(1);  // the tab it showed: only the side changes
    EXPECT_EQ(active.count(), 2);
    sides.leftTabs()->select(0);
    EXPECT_EQ(active.count(), 3);
    right->close(1);
    EXPECT_EQ(active.count(), 3); // the right side is not active
}

TEST_F(TabGroups, NavigationResyncsOnceAndATransferListsOnlyItsFolders) {
    TestUtil::freshSettings();
    PaneModel::setTimings({60000, 40}); // no watch refresh during the test: only the transfer's own
    touch(a + QStringLiteral("/m.txt"), "x");
    AppState app;
    app.left()->go(a);
    app.sides().leftTabs()->newTab(c); // unrelated to the transfer
    app.right()->go(b);
    app.sides().rightTabs()->newTab(a); // a source's folder in a tab in the background
    app.sides().rightTabs()->select(0);
    PaneModel *source = app.sides().leftTabs()->tabs()[0], *unrelated = app.sides().leftTabs()->tabs()[1];
    PaneModel *destination = app.sides().rightTabs()->tabs()[0],
              *hiddenSource = app.sides().rightTabs()->tabs()[1];
    const auto shows = [](PaneModel *p, const QString &path, int n) {
        return p->currentPath() == path && p->items().size() == n && !p->freeSpace().isEmpty();
    };
    ASSERT_TRUE(waitUntil([&] {
        return shows(source, a, 1) && shows(hiddenSource, a, 1) && shows(unrelated, c, 0) &&
               shows(destination, b, 0);
    }));

    // A navigation sets several properties and re-syncs the window once.
    QSignalSpy windowSyncs(app.sides().rightTabs(), &TabGroup::changed);
    QSignalSpy paneSyncs(destination, &PaneModel::changed);
    destination->go(c);
    EXPECT_EQ(windowSyncs.count(), 1);
    EXPECT_EQ(paneSyncs.count(), 1);
    windowSyncs.clear();
    destination->goBack();
    EXPECT_EQ(windowSyncs.count(), 1);
    ASSERT_TRUE(waitUntil([&] { return shows(destination, b, 0); }));

    // The panes showing the destination or a source's folder list again, in any tab; others do not.
    const qint64 unrelatedToken = unrelated->refreshToken(), sourceToken = hiddenSource->refreshToken();
    QSignalSpy unrelatedListed(unrelated, &PaneModel::listed);
    app.transfers().transfer({a + QStringLiteral("/m.txt")}, b, true);
    ASSERT_TRUE(waitUntil([&] { return app.toast() && !app.jobs().progress(); }));
    EXPECT_GT(hiddenSource->refreshToken(), sourceToken);
    EXPECT_TRUE(waitUntil(
        [&] { return shows(destination, b, 1) && shows(source, a, 0) && shows(hiddenSource, a, 0); }));
    EXPECT_EQ(unrelated->refreshToken(), unrelatedToken);
    EXPECT_EQ(unrelatedListed.count(), 0);
}
