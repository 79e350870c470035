#include "PaneTestUtil.h"

using namespace PaneTest;

namespace {
class PaneSettings : public PaneFixture {};
} // namespace

TEST_F(PaneSettings, StoredValuesPerSideAndUnknownOnes) {
    auto fresh = openPane(root);
    EXPECT_EQ(fresh->viewMode(), ViewMode::columns);
    EXPECT_EQ(fresh->sort(), SortKey::name);
    EXPECT_FALSE(Defaults::contains(QStringLiteral("view.left"))); // reading does not write back
    for (const QString &stored : {QStringLiteral("Liste"), QStringLiteral("Columns"), QString()}) {
        Defaults::setValue(QStringLiteral("view.left"), stored);
        EXPECT_EQ(PaneModel(Side::left, root).viewMode(), ViewMode::columns) << stored.toStdString();
    }
    Defaults::setValue(QStringLiteral("sort.right"), QStringLiteral("Name"));
    EXPECT_EQ(PaneModel(Side::right, root).sort(), SortKey::name);
    // A Boolean stored as text reads as absent.
    Defaults::setValue(QStringLiteral("sortReversed.right"), QStringLiteral("true"));
    EXPECT_FALSE(PaneModel(Side::right, root).sortReversed());

    {
        auto left = openPane(root, Side::left);
        left->setViewMode(ViewMode::list);
        left->setSort(SortKey::size);
        left->setSortReversed(true);
        Defaults::remove(QStringLiteral("view.left"));
        left->setViewMode(ViewMode::list); // the same value is written again
    }
    Defaults::resetForTests(); // read back from the store, not from memory
    PaneModel left(Side::left, root);
    EXPECT_EQ(left.viewMode(), ViewMode::list);
    EXPECT_EQ(left.sort(), SortKey::size);
    EXPECT_TRUE(left.sortReversed());
    EXPECT_EQ(PaneModel(Side::right, root).viewMode(), ViewMode::columns);
}

TEST_F(PaneSettings, ChooseSortWritesAndFlips) {
    auto pane = openPane(root);
    pane->chooseSort(SortKey::date);
    EXPECT_EQ(Defaults::stringValue(QStringLiteral("sort.left")), QStringLiteral("date"));
    EXPECT_EQ(pane->sortArrow(), QStringLiteral("↓"));
    pane->chooseSort(SortKey::date);
    EXPECT_EQ(Defaults::boolValue(QStringLiteral("sortReversed.left")), true);
    EXPECT_EQ(pane->sortArrow(), QStringLiteral("↑"));
    // Another key while reversed starts unreversed again.
    pane->chooseSort(SortKey::size);
    EXPECT_FALSE(pane->sortReversed());
    EXPECT_EQ(pane->sort(), SortKey::size);
}

TEST_F(PaneSettings, ResortRunsOffTheMainThreadAndReordersHits) {
    touch(root + QStringLiteral("/small"), "12345");
    touch(root + QStringLiteral("/big"), QByteArray(1000, 'x'));
    touch(root + QStringLiteral("/sub/bigger"), QByteArray(2000, 'x'));
    auto pane = openPane(root);
    EXPECT_EQ(names(pane->items()),
              (QStringList{QStringLiteral("sub"), QStringLiteral("big"), QStringLiteral("small")}));

    pane->setSearchText(QStringLiteral("b"));
    ASSERT_TRUE(waitUntil([&] { return pane->searchResults().has_value() && !pane->isSearching(); }));
    EXPECT_EQ(names(*pane->searchResults()),
              (QStringList{QStringLiteral("sub"), QStringLiteral("big"), QStringLiteral("bigger")}));

    const qint64 token = pane->refreshToken();
    QSignalSpy items(pane.get(), &PaneModel::itemsChanged);
    pane->setSort(SortKey::size);
    EXPECT_EQ(items.count(), 0); // not sorted on the main thread
    ASSERT_TRUE(waitUntil([&] { return pane->refreshToken() == token + 1; }));
    EXPECT_EQ(names(pane->items()),
              (QStringList{QStringLiteral("sub"), QStringLiteral("big"), QStringLiteral("small")}));
    EXPECT_EQ(names(*pane->searchResults()),
              (QStringList{QStringLiteral("sub"), QStringLiteral("bigger"), QStringLiteral("big")}));
    pane->setSortReversed(true);
    ASSERT_TRUE(waitUntil([&] { return pane->refreshToken() == token + 2; }));
    EXPECT_EQ(names(pane->items()),
              (QStringList{QStringLiteral("sub"), QStringLiteral("small"), QStringLiteral("big")}));
}

TEST_F(PaneSettings, ShutdownWithoutWatchStopsSearchAndRefresh) {
    PaneModel pane(Side::left, root + QStringLiteral("/missing"));
    EXPECT_FALSE(pane.isWatching());
    QSignalSpy walks(&pane, &PaneModel::searchWalkStarted);
    QSignalSpy listed(&pane, &PaneModel::listed);
    pane.setSearchText(QStringLiteral("x"));
    pane.externalChange();
    pane.shutdown();
    QTest::qWait(150);
    EXPECT_EQ(walks.count(), 0);
    EXPECT_EQ(listed.count(), 0); // the first listing was still running; its result is dropped too
}
