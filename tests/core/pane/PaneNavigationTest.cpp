#include "PaneTestUtil.h"

#include <QElapsedTimer>
#include <QSemaphore>
#include <atomic>

using namespace PaneTest;

namespace {
class PaneNavigation : public PaneFixture {};
} // namespace

TEST_F(PaneNavigation, HistoryStacks) {
    const QString a = mkdir(QStringLiteral("a")), b = mkdir(QStringLiteral("b")),
                  c = mkdir(QStringLiteral("c"));
    auto pane = openPane(a);
    pane->go(b);
    pane->go(c);
    EXPECT_EQ(pane->backStack(), (QStringList{a, b}));
    EXPECT_TRUE(pane->canGoBack());
    EXPECT_FALSE(pane->canGoForward());

    // The folder already shown: no history entry, but a new selection and a new listing.
    QSignalSpy listed(pane.get(), &PaneModel::listed);
    pane->go(c + u'/', true, {c + QStringLiteral("/x")});
    EXPECT_EQ(pane->backStack(), (QStringList{a, b}));
    EXPECT_EQ(pane->selection(), QSet<QString>{c + QStringLiteral("/x")});
    EXPECT_EQ(pane->anchor(), c + QStringLiteral("/x"));
    EXPECT_TRUE(listed.wait(5000));

    pane->goBack();
    pane->goBack();
    EXPECT_EQ(pane->currentPath(), a);
    EXPECT_EQ(pane->forwardStack(), (QStringList{c, b}));
    EXPECT_TRUE(pane->selection().isEmpty());
    pane->goForward();
    EXPECT_EQ(pane->currentPath(), b);
    EXPECT_EQ(pane->backStack(), QStringList{a});
    pane->go(c);
    EXPECT_TRUE(pane->forwardStack().isEmpty());
    EXPECT_EQ(pane->backStack(), (QStringList{a, b}));

    PaneModel fresh(Side::left, a);
    fresh.goBack();
    fresh.goForward();
    EXPECT_EQ(fresh.currentPath(), a);
    EXPECT_TRUE(fresh.backStack().isEmpty() && fresh.forwardStack().isEmpty());
}

TEST_F(PaneNavigation, CrumbsUpAndColumns) {
    const QString x = mkdir(QStringLiteral("x/y"));
    touch(root + QStringLiteral("/x/file.txt"), "hi");
    auto pane = openPane(x);
    ASSERT_GE(pane->crumbs().size(), 3);
    EXPECT_EQ(pane->crumbs().last(), Crumb(x, QStringLiteral("y")));
    EXPECT_EQ(pane->chain().last(), x);
    EXPECT_EQ(pane->chain()[pane->chain().size() - 2], root + QStringLiteral("/x"));
    EXPECT_TRUE(pane->canGoUp());

    pane->goUp();
    EXPECT_EQ(pane->currentPath(), root + QStringLiteral("/x"));
    EXPECT_EQ(pane->selection(), QSet<QString>{x});
    EXPECT_EQ(pane->anchor(), x);
    ASSERT_TRUE(waitUntil([&] { return pane->items().size() == 2; }));
    EXPECT_EQ(pane->selection(), QSet<QString>{x}); // still there after the listing
    EXPECT_EQ(pane->columnDirs(), pane->chain() + QStringList{x});
    pane->setSelection({root + QStringLiteral("/x/file.txt")});
    EXPECT_EQ(pane->columnDirs(), pane->chain());
    pane->goBack();
    EXPECT_EQ(pane->currentPath(), x);
    EXPECT_TRUE(pane->selection().isEmpty());

    PaneModel top(Side::left, QStringLiteral("/"));
    EXPECT_EQ(top.crumbs().size(), 1);
    EXPECT_EQ(top.crumbs().first().first, QStringLiteral("/"));
    top.goUp();
    EXPECT_EQ(top.currentPath(), QStringLiteral("/"));
    EXPECT_TRUE(top.backStack().isEmpty());

    // Outside every known root the trail walks the path from "/".
    PaneModel outside(Side::left, QStringLiteral("/proc/self"));
    EXPECT_EQ(outside.chain(),
              (QStringList{QStringLiteral("/"), QStringLiteral("/proc"), QStringLiteral("/proc/self")}));

    EXPECT_TRUE(PaneModel::isBrowsableFolder(x));
    EXPECT_FALSE(PaneModel::isBrowsableFolder(root + QStringLiteral("/x/file.txt")));
    EXPECT_FALSE(PaneModel::isBrowsableFolder(root + QStringLiteral("/nothing")));
}

TEST_F(PaneNavigation, ListingErrorsAndSelectionPruning) {
    touch(root + QStringLiteral("/keep"));
    touch(root + QStringLiteral("/gone"));
    auto pane = openPane(root);
    EXPECT_FALSE(pane->errorText().has_value());
    EXPECT_TRUE(pane->freeSpace().startsWith(L("Frei:") + u' ')) << pane->freeSpace().toStdString();
    pane->setSelection({root + QStringLiteral("/keep"), root + QStringLiteral("/gone")});
    QFile::remove(root + QStringLiteral("/gone"));
    QSignalSpy listed(pane.get(), &PaneModel::listed);
    pane->refresh();
    ASSERT_TRUE(listed.wait(5000));
    EXPECT_EQ(pane->selection(), QSet<QString>{root + QStringLiteral("/keep")});

    // Unchanged selection: not assigned again.
    QSignalSpy selection(pane.get(), &PaneModel::selectionChanged);
    pane->refresh();
    ASSERT_TRUE(listed.wait(5000));
    EXPECT_EQ(selection.count(), 0);

    // A folder that vanished: no items, a sentence, and nothing selected that can't be seen.
    QDir(root).removeRecursively();
    pane->refresh();
    ASSERT_TRUE(listed.wait(5000));
    EXPECT_TRUE(pane->items().isEmpty());
    ASSERT_TRUE(pane->errorText().has_value());
    EXPECT_FALSE(pane->errorText()->isEmpty());
    EXPECT_TRUE(pane->selection().isEmpty());
    EXPECT_TRUE(pane->freeSpace().isEmpty());
}

TEST_F(PaneNavigation, OlderSlowerListingNeverOverwritesNewer) {
    std::atomic<int> calls{0};
    std::atomic<bool> blockNext{false};
    QSemaphore entered, release;
    PaneModel::setBackend({[&](const QString &path) {
                               const int n = ++calls;
                               if (blockNext.exchange(false)) {
                                   entered.release();
                                   release.acquire();
                               }
                               FileLoader::Listing l;
                               l.items << fileItem(path + QStringLiteral("/listing") + QString::number(n));
                               return l;
                           },
                           {}});
    PaneModel pane(Side::left, root);
    QSignalSpy listed(&pane, &PaneModel::listed);
    ASSERT_TRUE(listed.wait(5000));
    blockNext = true;
    pane.reload(); // the slow, older request
    ASSERT_TRUE(entered.tryAcquire(1, 5000));
    pane.reload(); // the newer one, fast
    ASSERT_TRUE(listed.wait(5000));
    EXPECT_EQ(names(pane.items()), QStringList{QStringLiteral("listing3")});
    release.release();
    QTest::qWait(150);
    EXPECT_EQ(names(pane.items()), QStringList{QStringLiteral("listing3")});
    EXPECT_EQ(listed.count(), 2);

    // A listing for a folder the pane has left is dropped as well.
    const QString other = mkdir(QStringLiteral("other"));
    pane.reload();
    pane.go(other);
    ASSERT_TRUE(listed.wait(5000));
    QTest::qWait(100);
    ASSERT_EQ(pane.items().size(), 1);
    EXPECT_TRUE(pane.items().first().path.startsWith(other + u'/'));
}

TEST_F(PaneNavigation, SortChangeDuringListingStillShowsNewOrder) {
    QSemaphore gate;
    PaneModel::setBackend({[&](const QString &path) {
                               gate.acquire();
                               FileLoader::Listing l;
                               l.items << fileItem(path + QStringLiteral("/a"), false, 1)
                                       << fileItem(path + QStringLiteral("/b"), false, 50);
                               return l;
                           },
                           {}});
    PaneModel pane(Side::left, root);
    pane.setSort(SortKey::size); // while the first listing is still running
    gate.release();
    ASSERT_TRUE(waitUntil([&] { return pane.items().size() == 2; }));
    EXPECT_EQ(names(pane.items()), (QStringList{QStringLiteral("b"), QStringLiteral("a")}));
}

TEST_F(PaneNavigation, WatchDebouncesBurstsIntoOneRefresh) {
    auto pane = openPane(root);
    ASSERT_TRUE(pane->isWatching());
    QSignalSpy listed(pane.get(), &PaneModel::listed);
    const qint64 token = pane->refreshToken();
    QElapsedTimer sinceLast;
    for (int i = 0; i < 3; ++i) {
        pane->externalChange();
        sinceLast.start();
        QTest::qWait(20);
    }
    ASSERT_TRUE(listed.wait(5000));
    EXPECT_GE(sinceLast.elapsed(), 55); // 60 ms after the third event, not after the first
    QTest::qWait(150);
    EXPECT_EQ(listed.count(), 1);
    EXPECT_EQ(pane->refreshToken(), token + 1);

    // Real changes arrive through the watch.
    touch(root + QStringLiteral("/new.txt"));
    ASSERT_TRUE(waitUntil([&] { return paths(pane->items()).contains(root + QStringLiteral("/new.txt")); }));
    QFile::remove(root + QStringLiteral("/new.txt"));
    ASSERT_TRUE(waitUntil([&] { return pane->items().isEmpty(); }));

    // The watch follows the pane and stops with it.
    const QString other = mkdir(QStringLiteral("other"));
    pane->go(other);
    ASSERT_TRUE(listed.wait(5000));
    const int before = listed.count();
    touch(root + QStringLiteral("/ignored.txt"));
    touch(other + QStringLiteral("/seen.txt"));
    ASSERT_TRUE(waitUntil([&] { return pane->items().size() == 1; }));
    EXPECT_EQ(listed.count(), before + 1);
    pane->shutdown();
    EXPECT_FALSE(pane->isWatching());
    touch(other + QStringLiteral("/late.txt"));
    QTest::qWait(200);
    EXPECT_EQ(pane->items().size(), 1);
}

TEST_F(PaneNavigation, TwoPanesOnOneFolderBothWatch) {
    auto a = openPane(root);
    auto b = openPane(root, Side::right);
    a.reset(); // one pane leaving must not end the other's watch
    touch(root + QStringLiteral("/f"));
    ASSERT_TRUE(waitUntil([&] { return b->items().size() == 1; }));
}
