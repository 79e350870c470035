#include "PaneTestUtil.h"

#include "core/model/FolderWatch.h"

#include <QFile>
#include <QSemaphore>
#include <QThread>
#include <atomic>
#include <mutex>

using namespace PaneTest;

namespace {
class PaneSearch : public PaneFixture {
protected:
    // A search backend that records its queries and can hold a walk until released.
    struct Recorder {
        std::mutex lock;
        QStringList queries;
        std::atomic<bool> hold{false};
        std::atomic<bool> sawCancel{false};
        QStringList all() {
            std::lock_guard g(lock);
            return queries;
        }
    };
    void useRecorder(Recorder &r) {
        PaneModel::setBackend({{},
                               [&r](const QString &root, const QString &query, const SearchFilter &filter,
                                    const CancelFlag &flag, int limit, bool *cutShort, QStringList *folders) {
                                   {
                                       std::lock_guard g(r.lock);
                                       r.queries << query;
                                   }
                                   while (r.hold && !flag.cancelled())
                                       QThread::msleep(2);
                                   if (flag.cancelled()) r.sawCancel = true;
                                   return FileLoader::search(root, query, filter, flag, limit, cutShort,
                                                             folders);
                               }});
    }
};
} // namespace

TEST_F(PaneSearch, TypingIsDebouncedIntoOneWalk) {
    touch(root + QStringLiteral("/report.txt"));
    touch(root + QStringLiteral("/sub/annual-REPORT.pdf"));
    touch(root + QStringLiteral("/rep-ort.txt"));
    Recorder rec;
    useRecorder(rec);
    auto pane = openPane(root);
    QSignalSpy walks(pane.get(), &PaneModel::searchWalkStarted);
    pane->setSearchText(QStringLiteral("re"));
    pane->setSearchText(QStringLiteral("rep"));
    pane->setSearchText(QStringLiteral("repo"));
    EXPECT_TRUE(pane->isSearching());
    EXPECT_FALSE(pane->searchResults().has_value());
    ASSERT_TRUE(waitUntil([&] { return pane->searchResults().has_value(); }));
    EXPECT_FALSE(pane->isSearching());
    EXPECT_EQ(walks.count(), 1);
    EXPECT_EQ(rec.all(), QStringList{QStringLiteral("repo")});
    EXPECT_EQ(names(pane->visibleItems()),
              (QStringList{QStringLiteral("annual-REPORT.pdf"), QStringLiteral("report.txt")}));

    // The same text again changes nothing.
    pane->setSearchText(QStringLiteral("repo"));
    QTest::qWait(120);
    EXPECT_EQ(walks.count(), 1);
    EXPECT_FALSE(pane->isSearching());
}

TEST_F(PaneSearch, WhiteSpaceIsTrimmedEntirely) {
    touch(root + QStringLiteral("/alpha"));
    Recorder rec;
    useRecorder(rec);
    auto pane = openPane(root);
    pane->setSearchText(QStringLiteral("   \t"));
    EXPECT_FALSE(pane->isSearching());
    pane->setSearchText(QStringLiteral(" alp\n")); // pasted with its line break
    ASSERT_TRUE(waitUntil([&] { return pane->searchResults().has_value(); }));
    EXPECT_EQ(rec.all(), QStringList{QStringLiteral("alp")});
    EXPECT_EQ(pane->searchResults()->size(), 1);

    // Spaces only with a filter: the filter alone decides.
    SearchFilter folders;
    folders.kind = SearchKind::folders;
    mkdir(QStringLiteral("x/y"));
    pane->setSearchText(QStringLiteral("  "));
    pane->setSearchFilter(folders);
    ASSERT_TRUE(waitUntil([&] { return pane->searchResults().has_value() && !pane->isSearching(); }));
    EXPECT_EQ(rec.all().last(), QString());
    EXPECT_EQ(paths(*pane->searchResults()),
              (QStringList{root + QStringLiteral("/x"), root + QStringLiteral("/x/y")}));
}

TEST_F(PaneSearch, NewerSearchSupersedesAndClearingCancels) {
    touch(root + QStringLiteral("/one"));
    touch(root + QStringLiteral("/two"));
    Recorder rec;
    useRecorder(rec);
    auto pane = openPane(root);
    QSignalSpy results(pane.get(), &PaneModel::searchResultsChanged);

    rec.hold = true;
    pane->setSearchText(QStringLiteral("one"));
    ASSERT_TRUE(waitUntil([&] { return rec.all().size() == 1; }));
    // A newer text stops the running walk at once; only its own hits are ever published.
    pane->setSearchText(QStringLiteral("two"));
    EXPECT_TRUE(waitUntil([&] { return rec.sawCancel.load(); }));
    rec.hold = false;
    ASSERT_TRUE(waitUntil([&] { return pane->searchResults().has_value(); }));
    EXPECT_EQ(names(*pane->searchResults()), QStringList{QStringLiteral("two")});
    QTest::qWait(100);
    EXPECT_EQ(results.count(), 1);

    // Clearing while a walk runs: stops it, drops the hits, not searching any more, all at once.
    rec.hold = true;
    rec.sawCancel = false;
    pane->setSearchText(QStringLiteral("on"));
    ASSERT_TRUE(waitUntil([&] { return rec.all().size() == 3; }));
    EXPECT_TRUE(pane->searchResults().has_value()); // the previous hits stay while the next one runs
    pane->setSearchText(QString());
    EXPECT_FALSE(pane->searchResults().has_value());
    EXPECT_FALSE(pane->isSearching());
    EXPECT_TRUE(waitUntil([&] { return rec.sawCancel.load(); }));
    rec.hold = false;
    QTest::qWait(100);
    EXPECT_FALSE(pane->searchResults().has_value());
}

TEST_F(PaneSearch, LeavingTheFolderClearsTheSearch) {
    touch(root + QStringLiteral("/a.txt"));
    auto pane = openPane(root);
    SearchFilter f;
    f.subfolders = false;
    pane->setSearchFilter(f);
    pane->setSearchText(QStringLiteral("a"));
    ASSERT_TRUE(waitUntil([&] { return pane->searchResults().has_value(); }));
    pane->go(mkdir(QStringLiteral("elsewhere")));
    EXPECT_EQ(pane->searchText(), QString());
    EXPECT_EQ(pane->searchFilter(), SearchFilter{});
    EXPECT_FALSE(pane->searchResults().has_value());
}

TEST_F(PaneSearch, AWalkCutShortByItsBudgetIsToldUntilTheNextOneCompletes) {
    touch(root + QStringLiteral("/cut.txt"));
    touch(root + QStringLiteral("/whole.txt"));
    PaneModel::setBackend({{},
                           [](const QString &root, const QString &query, const SearchFilter &filter,
                              const CancelFlag &flag, int limit, bool *cutShort, QStringList *folders) {
                               QList<FileItem> hits =
                                   FileLoader::search(root, query, filter, flag, limit, cutShort, folders);
                               if (cutShort && query == u"cut") *cutShort = true;
                               return hits;
                           }});
    auto pane = openPane(root);
    QSignalSpy told(pane.get(), &PaneModel::searchCutShortChanged);
    pane->setSearchText(QStringLiteral("cut"));
    ASSERT_TRUE(waitUntil([&] { return pane->searchResults().has_value(); }));
    EXPECT_TRUE(pane->searchCutShort());
    EXPECT_EQ(told.count(), 1);
    // A search that looked everywhere says nothing, nor does the folder once the search is cleared.
    pane->setSearchText(QStringLiteral("whole"));
    ASSERT_TRUE(waitUntil([&] { return !pane->isSearching() && pane->searchResults()->size() == 1; }));
    EXPECT_FALSE(pane->searchCutShort());
    pane->setSearchText(QStringLiteral("cut"));
    ASSERT_TRUE(waitUntil([&] { return pane->searchCutShort(); }));
    pane->setSearchText(QString());
    EXPECT_FALSE(pane->searchCutShort());
    EXPECT_FALSE(pane->searchResults().has_value());
}

// Other programs' changes anywhere in the searched tree run a shown search again, once for a burst, with
// the selection kept.
TEST_F(PaneSearch, ChangesBelowTheSearchRunItAgainOnce) {
    for (const char *made : {"/report-old.txt", "/d/x.txt", "/e/f/y.txt"})
        touch(root + QString::fromLatin1(made));
    auto pane = openPane(root);
    pane->setSearchText(QStringLiteral("report"));
    ASSERT_TRUE(waitUntil([&] { return pane->searchResults().has_value() && !pane->isSearching(); }));
    pane->setSelection({root + QStringLiteral("/report-old.txt")});
    FolderWatch::shared().waitForIdle();
    QSignalSpy walks(pane.get(), &PaneModel::searchWalkStarted);
    for (const char *made : {"/report-top.txt", "/d/report-new.txt", "/e/f/report-5.txt"})
        touch(root + QString::fromLatin1(made));
    const auto shown = [&](qsizetype n) { return !pane->isSearching() && pane->visibleItems().size() == n; };
    ASSERT_TRUE(waitUntil([&] { return shown(4); }));
    QTest::qWait(150);
    EXPECT_EQ(walks.count(), 1);
    EXPECT_EQ(pane->selection(), QSet<QString>{root + QStringLiteral("/report-old.txt")});
    ASSERT_TRUE(QFile::remove(root + QStringLiteral("/e/f/report-5.txt")));
    EXPECT_TRUE(waitUntil([&] { return shown(3); }));
}
