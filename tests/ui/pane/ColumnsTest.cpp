#include "PaneViewFixture.h"

#include "core/app/JobRunner.h"

#include "core/localisation/FileFmt.h"
#include "core/localisation/Lang.h"
#include "ui/panecontent/ColumnsContent.h"
#include "ui/panecontent/PreviewColumn.h"
#include "ui/style/ButtonStyles.h"

#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QMenu>
#include <QMutex>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSemaphore>
#include <QThreadPool>
#include <cerrno>
#include <map>

using namespace PaneViewTest;

namespace {
class ColumnsTest : public Fixture {
protected:
    void SetUp() override {
        Fixture::SetUp();
        ColumnsContent::setTimings({5, 5, 10});
        for (const char *f : {"a/b/c/deep.txt", "a/b/one.txt", "a/b/two.txt", "a/x/in-x.txt", "a/top.txt"})
            touch(QString::fromLatin1(f), "x");
        pane = app->left();
        open(pane, root + QStringLiteral("/a/b"));
        pane->setViewMode(ViewMode::columns);
        v = view(Side::left);
        v->resize(1400, 500);
        cols = v->content()->columns();
        ASSERT_TRUE(cols);
    }
    void TearDown() override {
        ColumnList::setLister({});
        ColumnsContent::setTimings({});
        Fixture::TearDown();
    }
    QString p(const char *rel) const { return root + u'/' + QString::fromLatin1(rel); }
    int rowIn(ColumnList *c, const char *rel) const { return c->listModel()->rowOf(p(rel)); }
    QPoint rowPoint(ColumnList *c, int row) const {
        return c->visualRect(c->listModel()->index(row)).center();
    }
    void waitLoaded(ColumnList *c, int rows) const {
        QTRY_VERIFY_WITH_TIMEOUT(c && c->listModel()->rowCount() == rows && !c->loading(), 5000);
    }
    PaneModel *pane = nullptr;
    PaneView *v = nullptr;
    ColumnsContent *cols = nullptr;
};
} // namespace

TEST(ColumnsGeometry, ColumnsShareTheWidthAndNeverGoNegative) {
    using G = ColumnsContent::Geometry;
    EXPECT_EQ(ColumnsContent::geometryFor(399), (G{2, 199}));
    EXPECT_EQ(ColumnsContent::geometryFor(400), (G{2, 200}));
    EXPECT_EQ(ColumnsContent::geometryFor(1000), (G{5, 200}));
    EXPECT_EQ(ColumnsContent::geometryFor(999), (G{4, 249}));
    for (int w : {-5, 0, 1, 2, 3})
        EXPECT_GE(ColumnsContent::geometryFor(w).columnWidth(), 0) << w;
    EXPECT_EQ(ColumnsContent::geometryFor(400).columnWidth(), 199);
    // With two columns in view the preview takes a third, never less than 120 points nor more than a column;
    // with more it is a column like the others.
    EXPECT_EQ(ColumnsContent::previewWidth(ColumnsContent::geometryFor(480)), 160);
    EXPECT_EQ(ColumnsContent::previewWidth(ColumnsContent::geometryFor(300)), 120);
    EXPECT_EQ(ColumnsContent::previewWidth(ColumnsContent::geometryFor(200)), 99);
    EXPECT_EQ(ColumnsContent::previewWidth(ColumnsContent::geometryFor(1000)), 199);
}

TEST_F(ColumnsTest, TheTrailIsHighlightedAndAnAncestorClickMovesThere) {
    pane->setSelection({p("a/b/c")});
    ColumnList *a = nullptr, *b = nullptr, *c = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT(
        (a = cols->column(p("a"))) && (b = cols->column(p("a/b"))) && (c = cols->column(p("a/b/c"))), 3000);
    EXPECT_EQ(cols->columns().last(), c);
    waitLoaded(a, 3);
    waitLoaded(b, 3);
    waitLoaded(c, 1);
    // The ancestor shows the way on, weakly; the current folder its selection, strongly; the selected
    // folder's own column nothing.
    using H = ColumnList::Highlight;
    EXPECT_EQ(a->highlight(rowIn(a, "a/b")), (H{true, false}));
    EXPECT_EQ(a->highlight(rowIn(a, "a/x")), H{});
    EXPECT_EQ(b->highlight(rowIn(b, "a/b/c")), (H{true, true}));
    EXPECT_FALSE(b->highlight(rowIn(b, "a/b/one.txt")).on);
    EXPECT_EQ(c->highlight(0), H{});
    EXPECT_FALSE(cols->preview());

    // A right click there selects as a click does: the columns after it close and the file shows.
    parts->menus.setItemMenu([](QWidget *, PaneModel *, const std::optional<FileItem> &) { return nullptr; });
    QTest::mouseClick(a->viewport(), Qt::LeftButton, Qt::MetaModifier, rowPoint(a, rowIn(a, "a/top.txt")));
    EXPECT_EQ(pane->currentPath(), p("a"));
    QTRY_VERIFY_WITH_TIMEOUT(cols->preview() && !cols->column(p("a/b")), 3000);

    // A click on another folder of the ancestor makes the ancestor current with that folder selected.
    QTest::mouseClick(a->viewport(), Qt::LeftButton, {}, rowPoint(a, rowIn(a, "a/x")));
    EXPECT_EQ(pane->currentPath(), p("a"));
    EXPECT_EQ(pane->selection(), QSet<QString>{p("a/x")});
    QTRY_VERIFY_WITH_TIMEOUT(cols->column(p("a/x")) && !cols->column(p("a/b")), 3000);
    EXPECT_EQ(cols->columns().last()->dir(), p("a/x"));

    // A file there shows the preview instead of another column.
    a = cols->column(p("a"));
    QTRY_VERIFY_WITH_TIMEOUT(rowIn(a, "a/top.txt") >= 0, 3000);
    QTest::mouseClick(a->viewport(), Qt::LeftButton, {}, rowPoint(a, rowIn(a, "a/top.txt")));
    QTRY_VERIFY_WITH_TIMEOUT(cols->preview() && !cols->column(p("a/x")), 3000);
    EXPECT_EQ(cols->preview()->item().path(), p("a/top.txt"));
}

TEST_F(ColumnsTest, ThePreviewFollowsOneSelectedFileAndShowsNamesAsText) {
    touch(QStringLiteral("a/b/Tom & <b>Jerry<i>.txt"), "hello");
    QTRY_VERIFY_WITH_TIMEOUT(pane->items().size() == 4, 5000);
    const QString odd = p("a/b/Tom & <b>Jerry<i>.txt");
    pane->setSelection({odd});
    QTRY_VERIFY_WITH_TIMEOUT(cols->preview(), 3000);
    PreviewColumn *preview = cols->preview();
    // The folder column before it has its room first: the preview is the narrower of the two.
    v->resize(480, 500);
    QTRY_VERIFY_WITH_TIMEOUT(cols->viewport()->width() <= 480, 3000);
    EXPECT_LT(preview->width(), cols->column(p("a/b"))->width());
    EXPECT_LE(preview->width() + cols->column(p("a/b"))->width(), cols->viewport()->width());
    EXPECT_EQ(preview->nameLabel()->text(), "Tom & <b>Jerry<i>.txt");
    // Its open button carries the open symbol before its title.
    auto *open = qobject_cast<LabelButton *>(preview->openButton());
    ASSERT_TRUE(open);
    EXPECT_EQ(open->symbol(), "arrow.up.forward.app");
    EXPECT_EQ(preview->nameLabel()->textFormat(), Qt::PlainText);
    ASSERT_EQ(preview->facts().size(), 3);
    EXPECT_EQ(preview->facts()[1].second, FileFmt::size(5));
    // Another file keeps the same column; two items show none.
    pane->setSelection({p("a/b/one.txt")});
    QTRY_COMPARE_WITH_TIMEOUT(cols->preview()->item().path(), p("a/b/one.txt"), 3000);
    EXPECT_EQ(cols->preview(), preview);
    pane->setSelection({p("a/b/one.txt"), p("a/b/two.txt")});
    QTRY_VERIFY_WITH_TIMEOUT(!cols->preview(), 3000);
    // Without a date there is no third fact.
    FileItem undated;
    undated.name = QStringLiteral("x");
    EXPECT_EQ(PreviewColumn::factsOf(undated).size(), 2);
}

TEST_F(ColumnsTest, TheCurrentFolderIsListedByThePaneAlone) {
    QMutex lock;
    QStringList listed;
    ColumnList::setLister([&](const QString &dir) {
        QMutexLocker g(&lock);
        listed << dir;
        return FileLoader::list(dir);
    });
    pane->go(p("a/b/c"));
    QTRY_VERIFY_WITH_TIMEOUT(
        cols->column(p("a/b/c")) && cols->column(p("a/b/c"))->listModel()->rowCount() == 1, 5000);
    QTest::qWait(50);
    QMutexLocker g(&lock);
    EXPECT_FALSE(listed.contains(p("a/b/c")));
}

TEST_F(ColumnsTest, OnlyTheNewestLoadOfAColumnIsShown) {
    // Each listing waits until the test lets it finish, and names its rows after the order it began in.
    std::map<int, QSemaphore *> gates;
    QMutex lock;
    int started = 0;
    QSemaphore g1, g2, g3;
    gates = {{1, &g1}, {2, &g2}, {3, &g3}};
    // Three listings wait at once, each on a pool thread (a 2-core machine has two), and none may be
    // left waiting when a check fails.
    QThreadPool *pool = QThreadPool::globalInstance();
    const int threads = pool->maxThreadCount();
    pool->setMaxThreadCount(std::max(threads, 4));
    ColumnList::setLister([&](const QString &dir) {
        int n;
        {
            QMutexLocker l(&lock);
            n = ++started;
        }
        gates.at(n)->acquire();
        FileLoader::Listing out;
        FileItem item;
        item.setPath(dir + QStringLiteral("/load%1").arg(n));
        item.name = QStringLiteral("load%1").arg(n);
        out.items = {item};
        return out;
    });
    ColumnList column(pane, app->sides(), app->clipboard(), parts->menus, p("a"));
    const auto openAll = qScopeGuard([&] {
        g1.release(2);
        g2.release(2);
        g3.release(2);
        pool->waitForDone();
        pool->setMaxThreadCount(threads);
    });
    column.setKey({p("a"), 0, SortKey::name, false});
    QTRY_COMPARE_WITH_TIMEOUT(started, 1, 3000);
    column.setKey({p("a/x"), 0, SortKey::name, false}); // another folder
    QTRY_COMPARE_WITH_TIMEOUT(started, 2, 3000);
    column.setKey({p("a"), 1, SortKey::name, false}); // back again, refreshed
    QTRY_COMPARE_WITH_TIMEOUT(started, 3, 3000);

    g3.release();
    QTRY_COMPARE_WITH_TIMEOUT(column.listModel()->rowCount(), 1, 3000);
    EXPECT_EQ(column.listModel()->item(0).name, "load3");
    // The listing of the folder shown before, and then the oldest one of this folder, come in late.
    g2.release();
    g1.release();
    QThreadPool::globalInstance()->waitForDone();
    QTest::qWait(30);
    EXPECT_EQ(column.listModel()->item(0).name, "load3");
}

TEST_F(ColumnsTest, OnlyADeniedAccessReadsAsNoAccess) {
    EXPECT_EQ(ColumnList::failureFor({EACCES, p("a")}), L("Kein Zugriff auf diesen Ordner."));
    EXPECT_EQ(ColumnList::failureFor({EPERM, p("a")}), L("Kein Zugriff auf diesen Ordner."));
    ColumnList::setLister([](const QString &dir) {
        FileLoader::Listing out;
        out.error = FileLoader::Error{ENOENT, dir};
        return out;
    });
    ColumnList column(pane, app->sides(), app->clipboard(), parts->menus, p("gone"));
    column.setKey({p("gone"), 0, SortKey::name, false});
    QTRY_VERIFY_WITH_TIMEOUT(column.failed(), 3000);
    EXPECT_EQ(column.failureText(), L("Dieser Ordner existiert nicht."));
    EXPECT_EQ(column.listModel()->rowCount(), 0);
}

TEST_F(ColumnsTest, ScrollingToTheEndIsOneSequenceThatRestarts) {
    pane->go(p("a/b/c"));
    QTRY_VERIFY_WITH_TIMEOUT(cols->column(p("a/b/c")), 3000);
    v->resize(500, 400); // more columns than fit
    QTRY_VERIFY_WITH_TIMEOUT(!cols->scrollPending(), 3000);
    QTest::qWait(30);
    const int before = cols->scrollSteps();
    cols->horizontalScrollBar()->setValue(0);
    for (int i = 0; i < 5; ++i)
        cols->scrollToEnd();
    QTRY_VERIFY_WITH_TIMEOUT(!cols->scrollPending(), 3000);
    EXPECT_EQ(cols->scrollSteps() - before, 2); // one animated scroll and the final one
    EXPECT_GT(cols->horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(cols->horizontalScrollBar()->value(), cols->horizontalScrollBar()->maximum());
    // Going away with a scroll pending leaves nothing behind that fires.
    cols->scrollToEnd();
    left.reset();
    QTest::qWait(40);
}

TEST_F(ColumnsTest, TheBackgroundMenuOfAnAncestorActsOnThatFolder) {
    ColumnList *a = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((a = cols->column(p("a"))), 3000);
    std::unique_ptr<QMenu> menu(ColumnBackgroundMenu::build(nullptr, pane, parts->menus, p("a")));
    QStringList entries;
    for (QAction *action : menu->actions())
        entries << (action->isSeparator() ? QStringLiteral("-") : action->objectName());
    EXPECT_EQ(entries, (QStringList{"Einsetzen", "-", "Neuer Ordner", "Neue Datei", "-", "Sortieren nach",
                                    "Aktualisieren", "Speicheranalyse …"}));
    app->sides().setActive(Side::right);
    menu->actions()[2]->trigger();
    EXPECT_EQ(app->sides().active(), Side::left);
    QTRY_VERIFY_WITH_TIMEOUT(QDir(p("a")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size() == 3, 3000);
    EXPECT_EQ(QDir(p("a/b")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
}

TEST_F(ColumnsTest, OnlyARealTrashSaysItIsEmpty) {
    mkdir(QStringLiteral("mine/.Trash"));
    open(pane, p("mine/.Trash"));
    EXPECT_EQ(PaneContent::decide(*pane).text, L("Dieser Ordner ist leer."));
    const TestUtil::OnlyMounts none; // the home trash alone
    QDir().mkpath(FileLoader::mainTrash());
    open(pane, FileLoader::mainTrash());
    EXPECT_EQ(PaneContent::decide(*pane).symbol, "trash");
}

TEST_F(ColumnsTest, AFolderRowTakesADropAndAFileRowHandsItToTheColumnsFolder) {
    const QString outside = touch(QStringLiteral("elsewhere/x.txt"), "x");
    const QString other = touch(QStringLiteral("elsewhere/y.txt"), "y");
    ColumnList *a = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((a = cols->column(p("a"))) && a->listModel()->rowCount() == 3, 3000);
    const auto dropOn = [&](const char *row, const QString &file) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(file)});
        const QPoint at = rowPoint(a, rowIn(a, row));
        const auto actions = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(at, actions, &data, Qt::LeftButton, Qt::ControlModifier);
        QCoreApplication::sendEvent(a->viewport(), &enter);
        QDropEvent drop(at, actions, &data, Qt::LeftButton, Qt::ControlModifier);
        QCoreApplication::sendEvent(a->viewport(), &drop);
        EXPECT_TRUE(drop.isAccepted()) << row;
    };
    // The ancestor's file row drops into the ancestor, not into the pane's current folder.
    dropOn("a/top.txt", outside);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(p("a/x.txt")), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!app->jobs().busy(), 5000);
    dropOn("a/x", other);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(p("a/x/y.txt")), 5000);
}

// A plain press on one of several selected items of the current folder drags them all.
TEST_F(ColumnsTest, APressOnTheSelectionDragsItWhole) {
    pane->setSelection({p("a/b/one.txt"), p("a/b/two.txt")});
    ColumnList *b = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((b = cols->column(p("a/b"))) && b->listModel()->rowCount() == 3, 3000);
    EXPECT_EQ(dragFrom(b, rowPoint(b, rowIn(b, "a/b/two.txt"))),
              (QStringList{p("a/b/one.txt"), p("a/b/two.txt")}));
    EXPECT_EQ(dragFrom(b, rowPoint(b, rowIn(b, "a/b/two.txt")), Qt::ControlModifier).size(), 2); // a copy
}
