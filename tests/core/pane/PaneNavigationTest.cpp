#include "PaneTestUtil.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSemaphore>
#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>

using namespace PaneTest;

namespace {
class PaneNavigation : public PaneFixture {};
} // namespace

TEST_F(PaneNavigation, HistoryCrumbsAndUp) {
    const QString a = mkdir(QStringLiteral("a")), b = mkdir(QStringLiteral("b/y"));
    const QString parent = root + QStringLiteral("/b");
    auto pane = openPane(a);
    pane->go(b);
    // The folder already shown: no history entry, but a new selection and a new listing.
    QSignalSpy listed(pane.get(), &PaneModel::listed);
    pane->go(b + u'/', true, {b + QStringLiteral("/x")});
    EXPECT_EQ(pane->backStack(), QStringList{a});
    EXPECT_EQ(pane->selection(), QSet<QString>{b + QStringLiteral("/x")});
    EXPECT_TRUE(listed.wait(5000));
    EXPECT_EQ(pane->crumbs().last(), Crumb(b, QStringLiteral("y")));
    EXPECT_EQ(pane->chain()[pane->chain().size() - 2], parent);

    // Up selects the folder it came from, also after the listing arrives; back clears the selection.
    pane->goUp();
    EXPECT_EQ(pane->currentPath(), parent);
    ASSERT_TRUE(waitUntil([&] { return pane->items().size() == 1; }));
    EXPECT_EQ(pane->selection(), QSet<QString>{b});
    EXPECT_EQ(pane->columnDirs(), pane->chain() + QStringList{b});
    pane->goBack();
    pane->goBack();
    EXPECT_EQ(pane->currentPath(), a);
    EXPECT_EQ(pane->forwardStack(), (QStringList{parent, b}));
    EXPECT_TRUE(pane->selection().isEmpty());
    pane->goForward();
    pane->go(parent);
    EXPECT_TRUE(pane->forwardStack().isEmpty());
    EXPECT_EQ(pane->backStack(), (QStringList{a, b}));

    PaneModel top(Side::left, QStringLiteral("/"));
    top.goUp();
    top.goBack();
    EXPECT_EQ(top.currentPath(), QStringLiteral("/"));
    EXPECT_EQ(top.crumbs().size(), 1);
    // Outside every known root the trail walks the path from "/".
    EXPECT_EQ(PaneModel(Side::left, QStringLiteral("/proc/self")).chain(),
              (QStringList{QStringLiteral("/"), QStringLiteral("/proc"), QStringLiteral("/proc/self")}));
}

// The Trash is one crumb of its own, named in the interface language, not the hidden folders it lives in.
TEST_F(PaneNavigation, TrashTrailStartsAtTheTrash) {
    const QString trash = FileLoader::mainTrash();
    QDir().mkpath(trash + "/old");
    TestUtil::LanguageScope german(AppLanguage::de);
    PaneModel pane(Side::left, trash + "/old");
    EXPECT_EQ(pane.crumbs(), (QList<Crumb>{Crumb(trash, "Papierkorb"), Crumb(trash + "/old", "old")}));
}

TEST_F(PaneNavigation, ListingErrorsAndSelectionPruning) {
    touch(root + QStringLiteral("/keep"));
    touch(root + QStringLiteral("/gone"));
    auto pane = openPane(root);
    EXPECT_FALSE(pane->freeSpace().isEmpty());
    pane->setSelection({root + QStringLiteral("/keep"), root + QStringLiteral("/gone")});
    QFile::remove(root + QStringLiteral("/gone"));
    QSignalSpy listed(pane.get(), &PaneModel::listed);
    pane->refresh();
    ASSERT_TRUE(listed.wait(5000));
    EXPECT_EQ(pane->selection(), QSet<QString>{root + QStringLiteral("/keep")});

    // A move told after the listing took its item away still takes the selection along.
    QFile::rename(root + QStringLiteral("/keep"), root + QStringLiteral("/kept"));
    pane->refresh();
    ASSERT_TRUE(listed.wait(5000));
    EXPECT_TRUE(pane->selection().isEmpty());
    pane->followMove(root + QStringLiteral("/keep"), root + QStringLiteral("/kept"));
    EXPECT_EQ(pane->selection(), QSet<QString>{root + QStringLiteral("/kept")});

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
    EXPECT_FALSE(pane->errorText().value_or(QString()).isEmpty());
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
    EXPECT_TRUE(pane.items().first().path().startsWith(other + u'/'));
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

TEST_F(PaneNavigation, ListingOfTheShownFolderPublishesWhatChanged) {
    QList<FileItem> listing;
    for (const char *n : {"a", "b", "c", "d"})
        listing << fileItem(root + u'/' + QLatin1String(n), false, 1);
    PaneModel::setBackend({[&](const QString &) { return FileLoader::Listing{listing, {}, {}, {}}; }, {}});
    PaneModel pane(Side::left, root);
    QSignalSpy listed(&pane, &PaneModel::listed);
    ASSERT_TRUE(listed.wait(5000));
    std::optional<ItemsDiff> seen;
    int published = 0;
    QObject::connect(&pane, &PaneModel::itemsChanged, [&] {
        ++published;
        seen = pane.itemsDiff() ? std::optional<ItemsDiff>(*pane.itemsDiff()) : std::nullopt;
    });
    const QList<FileItem> before = pane.items();

    // b gone, e new, c grown: the rows say so against the list shown before.
    listing.removeAt(1);
    listing[1].size = 9;
    listing << fileItem(root + QStringLiteral("/e"), false, 1);
    pane.refresh();
    ASSERT_TRUE(listed.wait(5000));
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->removed, QList<qsizetype>{1});
    EXPECT_EQ(seen->inserted, QList<qsizetype>{3});
    EXPECT_EQ(seen->updated, QList<qsizetype>{1});
    EXPECT_EQ(seen->before.constData(), before.constData());
    EXPECT_FALSE(pane.itemsDiff()); // only while the change is published

    // Another folder, or a sort that moves every row: a new list, no rows.
    pane.setSortReversed(true);
    ASSERT_TRUE(waitUntil([&] { return published == 2; }));
    EXPECT_FALSE(seen);
    pane.go(mkdir(QStringLiteral("other")));
    ASSERT_TRUE(listed.wait(5000));
    EXPECT_EQ(published, 3);
    EXPECT_FALSE(seen);
}

TEST_F(PaneNavigation, WatchDebouncesFollowsThePaneAndIsShared) {
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

    // Real changes arrive through the watch, which follows the pane and stops with it.
    const QString other = mkdir(QStringLiteral("other"));
    pane->go(other);
    ASSERT_TRUE(listed.wait(5000));
    const int before = listed.count();
    touch(root + QStringLiteral("/ignored.txt"));
    touch(other + QStringLiteral("/seen.txt"));
    ASSERT_TRUE(waitUntil([&] { return pane->items().size() == 1; }));
    EXPECT_EQ(listed.count(), before + 1);
    openPane(other, Side::right).reset(); // another pane leaving must not end this one's watch
    touch(other + QStringLiteral("/two.txt"));
    ASSERT_TRUE(waitUntil([&] { return pane->items().size() == 2; }));
    pane->shutdown();
    EXPECT_FALSE(pane->isWatching());
    touch(other + QStringLiteral("/late.txt"));
    QTest::qWait(200);
    EXPECT_EQ(pane->items().size(), 2);

    // A folder deleted and made again is watched again by the next pane that opens it.
    auto first = openPane(other);
    QDir(other).removeRecursively();
    ASSERT_TRUE(waitUntil([&] { return first->errorText().has_value(); }));
    QDir().mkpath(other);
    auto again = openPane(other, Side::right);
    touch(other + QStringLiteral("/back.txt"));
    EXPECT_TRUE(waitUntil([&] { return again->items().size() == 1; }));
}

TEST_F(PaneNavigation, WatchedChangesUpdateOnlyTheNamedEntries) {
    // Full listings are counted: a change the watch names must not cost one.
    std::atomic<int> listings{0};
    PaneModel::setBackend({[&](const QString &path) {
                               ++listings;
                               return FileLoader::list(path);
                           },
                           {}});
    for (int i = 0; i < 40; ++i)
        touch(root + QStringLiteral("/file %1.txt").arg(i));
    mkdir(QStringLiteral("Ordner"));
    auto pane = openPane(root);
    ASSERT_EQ(listings, 1);
    const auto sameAsListing = [&] {
        return paths(pane->items()) ==
               paths(FileLoader::sorted(FileLoader::list(root).items, pane->sort(), pane->sortReversed()));
    };
    pane->setSelection({root + QStringLiteral("/file 3.txt"), root + QStringLiteral("/file 4.txt")});

    // Added at the top and the end of the files and among the folders, renamed, removed, and a
    // selected file removed.
    touch(root + QStringLiteral("/000 first.txt"));
    touch(root + QStringLiteral("/zzz last.txt"));
    mkdir(QStringLiteral("Neu"));
    ASSERT_TRUE(QFile::rename(root + QStringLiteral("/file 7.txt"), root + QStringLiteral("/seven.txt")));
    ASSERT_TRUE(QFile::remove(root + QStringLiteral("/file 0.txt")));
    ASSERT_TRUE(QFile::remove(root + QStringLiteral("/file 3.txt")));
    ASSERT_TRUE(waitUntil(sameAsListing));
    EXPECT_EQ(pane->items().size(), 42);
    EXPECT_EQ(pane->selection(), QSet<QString>{root + QStringLiteral("/file 4.txt")});

    // A selected file that changes stays selected; the change is made where the items are, step by step.
    int steps = 0;
    QObject::connect(pane.get(), &PaneModel::patchStep, [&] { ++steps; });
    ASSERT_TRUE(TestUtil::writeFile(root + QStringLiteral("/file 4.txt"), "grown"));
    const auto sizeOfFour = [&] {
        const qsizetype row = pane->visibleRow(root + QStringLiteral("/file 4.txt"));
        return row < 0 ? -1 : pane->items()[row].size;
    };
    ASSERT_TRUE(waitUntil([&] { return steps >= 4 && sizeOfFour() == 5; })) << sizeOfFour();
    EXPECT_TRUE(sameAsListing());
    EXPECT_EQ(pane->selection(), QSet<QString>{root + QStringLiteral("/file 4.txt")});

    // A changed date moves a file to the top of the files (below the two folders) when sorted by date:
    // the newest in the natural direction, the oldest reversed.
    pane->setSort(SortKey::date);
    ASSERT_TRUE(waitUntil(sameAsListing));
    for (bool reversed : {false, true}) {
        pane->setSortReversed(reversed);
        const QString moved = root + QStringLiteral("/file %1.txt").arg(reversed ? 30 : 20);
        const time_t when = reversed ? 10 : 4'000'000'000;
        struct timespec ts[2] = {{when, 0}, {when, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(moved).constData(), ts, 0), 0);
        ASSERT_TRUE(waitUntil([&] { return pane->items().size() > 2 && pane->items()[2].path() == moved; }))
            << (reversed ? "reversed" : "natural");
        EXPECT_TRUE(sameAsListing());
    }
    EXPECT_EQ(listings, 1);

    // When the watch can't say what changed, or the user asks, the folder is listed again.
    pane->externalChange();
    ASSERT_TRUE(waitUntil([&] { return listings == 2; }));
    pane->refresh();
    ASSERT_TRUE(waitUntil([&] { return listings == 3; }));
}
