#include "PaneTestUtil.h"

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
