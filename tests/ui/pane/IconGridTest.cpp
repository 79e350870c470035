#include "PaneViewFixture.h"

#include "core/app/JobRunner.h"
#include "ui/panecontent/ColumnsContent.h"
#include "ui/panecontent/IconGrid.h"
#include "ui/panecontent/ViewMenus.h"

#include <QDropEvent>
#include <QImage>
#include <QMimeData>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>

using namespace PaneViewTest;

namespace {
class IconGridTest : public Fixture {
protected:
    void SetUp() override {
        Fixture::SetUp();
        for (int i = 0; i < 30; ++i)
            touch(QStringLiteral("grid/f%1.txt").arg(i, 2, 10, QLatin1Char('0')), "x");
        mkdir(QStringLiteral("grid/sub"));
        pane = app->left();
        open(pane, root + QStringLiteral("/grid"));
        pane->setViewMode(ViewMode::icons);
        v = view(Side::left);
        grid = v->content()->grid();
        ASSERT_TRUE(grid);
        QTRY_COMPARE_WITH_TIMEOUT(grid->listModel()->rowCount(), 31, 3000);
    }
    QString path(const QString &n) const { return root + QStringLiteral("/grid/") + n; }
    QPoint cellPoint(const QString &n) const {
        return grid->cellRect(grid->listModel()->rowOf(path(n))).center();
    }
    PaneModel *pane = nullptr;
    PaneView *v = nullptr;
    IconGrid *grid = nullptr;
};
} // namespace

TEST(IconGridMath, ColumnsFitTheWidthInsideThePadding) {
    // n cells of at least 92 with 6 between them; they share what is left equally.
    EXPECT_EQ(IconGrid::columns(40), (IconGrid::Columns{1, 92}));
    EXPECT_EQ(IconGrid::columns(92), (IconGrid::Columns{1, 92}));
    EXPECT_EQ(IconGrid::columns(189).count, 1);
    EXPECT_EQ(IconGrid::columns(190), (IconGrid::Columns{2, 92}));
    EXPECT_EQ(IconGrid::columns(300), (IconGrid::Columns{3, 96}));
    EXPECT_EQ(IconGrid::columns(1000).count, 10);
    EXPECT_DOUBLE_EQ(IconGrid::columns(1000).cell, (1000 - 9 * 6) / 10.0);
    // Taller text makes taller cells, never shorter than the picture, two lines and the dots need.
    QFont base;
    int previous = 0;
    for (double pt : {10.0, 13.0, 18.0, 24.0}) {
        const int h = IconGrid::cellHeight(UIScale{pt}, base);
        EXPECT_GE(h, 6 + 56 + 4 + 30 + 4 + 9 + 6);
        EXPECT_GE(h, previous);
        previous = h;
    }
}

// A name too wide for one line breaks before its extension and keeps it whole.
TEST(IconGridMath, NamesBreakBeforeTheirExtension) {
    QFont font;
    font.setPixelSize(13);
    const QFontMetrics fm(font);
    const int width = fm.horizontalAdvance("README.tx") + 1; // "README.txt" does not fit
    ASSERT_LT(width, fm.horizontalAdvance("README.txt"));
    EXPECT_EQ(IconGrid::nameLines("README.txt", font, width), (QStringList{"README", ".txt"}));
    EXPECT_EQ(IconGrid::nameLines("Notes.final.md", font, fm.horizontalAdvance("Notes.final.m") + 1),
              (QStringList{"Notes.final", ".md"}));
    // A name without an extension, or one that fits, is left as it was.
    EXPECT_EQ(IconGrid::nameLines("README.txt", font, 1000), QStringList{"README.txt"});
}

TEST_F(IconGridTest, CellsOfOneRowFillTheWidthAtEverySize) {
    for (int width : {260, 480, 700, 1013}) {
        v->resize(width, 500);
        QTest::qWait(30);
        const int n = grid->currentColumns().count;
        ASSERT_GE(n, 1);
        // The n-th cell starts the second row, and the first row lies inside the view.
        const QRect first = grid->cellRect(0), last = grid->cellRect(n - 1), next = grid->cellRect(n);
        EXPECT_EQ(last.top(), first.top()) << width;
        EXPECT_GT(next.top(), first.top()) << width;
        EXPECT_LE(last.right(), grid->viewport()->width()) << width;
        EXPECT_EQ(n, IconGrid::columns(grid->viewport()->width() - IconGrid::spacing).count) << width;
    }
}

TEST_F(IconGridTest, ClicksAndRightClicksGoToThePaneModel) {
    QSignalSpy resets(grid->listModel(), &QAbstractItemModel::modelReset);
    app->sides().setActive(Side::right);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cellPoint("f03.txt"));
    EXPECT_EQ(app->sides().active(), Side::left);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::ShiftModifier, cellPoint("f05.txt"));
    EXPECT_EQ(pane->selection().size(), 3);
    EXPECT_EQ(resets.count(), 0);
    // A plain press on one of them drags all three.
    EXPECT_EQ(dragFrom(grid, cellPoint("f04.txt")),
              (QStringList{path("f03.txt"), path("f04.txt"), path("f05.txt")}));
    EXPECT_EQ(dragFrom(grid, cellPoint("f05.txt"), Qt::ControlModifier).size(), 3); // a copy of them all

    // A right click selects its item and opens the item menu for it; the empty area its own menu.
    std::optional<FileItem> asked;
    int background = 0;
    parts->menus.setItemMenu([&](QWidget *, PaneModel *, const std::optional<FileItem> &item) {
        asked = item;
        return nullptr;
    });
    parts->menus.setBackgroundMenu([&](QWidget *, PaneModel *, const std::optional<FileItem> &) {
        ++background;
        return nullptr;
    });
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::MetaModifier, cellPoint("f10.txt"));
    EXPECT_EQ(pane->selection(), QSet<QString>{path("f10.txt")});
    ASSERT_TRUE(asked);
    EXPECT_EQ(asked->path(), path("f10.txt"));
    const QPoint corner(grid->viewport()->width() - 2, grid->viewport()->height() - 2);
    QContextMenuEvent empty(QContextMenuEvent::Mouse, corner, grid->viewport()->mapToGlobal(corner));
    grid->setItems(grid->listModel()->items().mid(0, 3));
    QApplication::sendEvent(grid->viewport(), &empty);
    EXPECT_EQ(background, 1);

    // A double click opens a folder.
    grid->setItems(pane->items());
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cellPoint("sub"));
    EXPECT_EQ(pane->currentPath(), path("sub"));
}

TEST_F(IconGridTest, ALateThumbnailNeverLandsOnAnotherVersionAndAFolderLosesItsPicture) {
    QImage red(40, 40, QImage::Format_RGB32);
    red.fill(Qt::red);
    ASSERT_TRUE(red.save(path("pic.png")));
    QTRY_VERIFY_WITH_TIMEOUT(grid->listModel()->rowOf(path("pic.png")) >= 0, 5000);
    const auto row = [&] { return grid->listModel()->rowOf(path("pic.png")); };
    grid->scrollTo(grid->listModel()->index(row()));
    QTRY_VERIFY_WITH_TIMEOUT(!grid->shownThumb(row()).isNull(), 5000);
    const Thumbs::Key before = *Thumbs::keyFor(grid->listModel()->item(row()), IconGrid::thumbEdge);

    // The file changes; the picture of its earlier version arrives late.
    QImage blue(60, 30, QImage::Format_RGB32);
    blue.fill(Qt::blue);
    ASSERT_TRUE(blue.save(path("pic.png")));
    pane->refresh();
    QTRY_VERIFY_WITH_TIMEOUT(Thumbs::keyFor(grid->listModel()->item(row()), IconGrid::thumbEdge) != before,
                             5000);
    QImage stale(8, 8, QImage::Format_RGB32);
    stale.fill(Qt::green);
    grid->thumbArrived(before, stale);
    EXPECT_NE(grid->shownThumb(row()).cacheKey(), stale.cacheKey());

    // Changed again, seen only by the watch (the row is changed where it is): the old picture goes too.
    QTRY_VERIFY_WITH_TIMEOUT(!grid->shownThumb(row()).isNull(), 5000);
    const qint64 blueKey = grid->shownThumb(row()).cacheKey();
    QImage white(30, 60, QImage::Format_RGB32);
    white.fill(Qt::white);
    ASSERT_TRUE(white.save(path("pic.png")));
    QTRY_VERIFY_WITH_TIMEOUT(grid->shownThumb(row()).cacheKey() != blueKey, 5000);

    // A folder of the same name takes its place: no picture.
    QTRY_VERIFY_WITH_TIMEOUT(!grid->shownThumb(row()).isNull(), 5000);
    QFile::remove(path("pic.png"));
    mkdir(QStringLiteral("grid/pic.png"));
    pane->refresh();
    QTRY_VERIFY_WITH_TIMEOUT(row() >= 0 && grid->listModel()->item(row()).isDirectory, 5000);
    EXPECT_TRUE(grid->shownThumb(row()).isNull());
}

TEST_F(IconGridTest, AFolderCellTakesADropAndAFileCellHandsItToThePanesFolder) {
    const QString outside = touch(QStringLiteral("elsewhere/x.txt"), "x");
    const QString other = touch(QStringLiteral("elsewhere/y.txt"), "y");
    const auto dragged = [](const QString &file) {
        auto *data = new QMimeData;
        data->setUrls({QUrl::fromLocalFile(file)});
        return std::unique_ptr<QMimeData>(data);
    };
    const auto send = [&](QEvent::Type type, const QString &cell, const QMimeData *data) {
        const QPoint at = cellPoint(cell);
        if (type == QEvent::Drop) {
            QDropEvent ev(at, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::ControlModifier);
            QCoreApplication::sendEvent(grid->viewport(), &ev);
            return;
        }
        QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::ControlModifier);
        QCoreApplication::sendEvent(grid->viewport(), &enter);
        QDragMoveEvent ev(at, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::ControlModifier);
        QCoreApplication::sendEvent(grid->viewport(), &ev);
    };
    auto x = dragged(outside), y = dragged(other);
    // Each drop starts its copy once the drop has returned; the copy's end is the event to wait for.
    QSignalSpy ended(&app->jobs(), &JobRunner::finished);
    send(QEvent::DragMove, "sub", x.get());
    EXPECT_EQ(grid->targetRow(), grid->listModel()->rowOf(path("sub")));
    send(QEvent::DragMove, "f01.txt", x.get());
    EXPECT_EQ(grid->targetRow(), -1); // a file is never lit up
    send(QEvent::Drop, "f01.txt", x.get());
    QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 5000);
    EXPECT_TRUE(QFile::exists(path("x.txt")));
    // The copy is listed and selected, which scrolls it into view and the folder cell out of it: the
    // next drag goes where the folder cell is then.
    QTRY_VERIFY_WITH_TIMEOUT(grid->listModel()->rowOf(path("x.txt")) >= 0, 5000);
    EXPECT_EQ(pane->selection(), QSet<QString>{path("x.txt")});
    grid->scrollTo(grid->listModel()->index(grid->listModel()->rowOf(path("sub"))));
    ASSERT_TRUE(grid->viewport()->rect().contains(cellPoint("sub")));
    send(QEvent::DragMove, "sub", y.get());
    send(QEvent::Drop, "sub", y.get());
    QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 2, 5000);
    EXPECT_TRUE(QFile::exists(path("sub/y.txt")));
    EXPECT_FALSE(QFile::exists(path("y.txt")));
}

TEST_F(IconGridTest, TheCursorScrollsItsCellIntoViewAndOnlyThen) {
    for (int i = 30; i < 300; ++i)
        touch(QStringLiteral("grid/f%1.txt").arg(i, 3, 10, QLatin1Char('0')), "x");
    pane->refresh();
    QTRY_COMPARE_WITH_TIMEOUT(grid->listModel()->rowCount(), 301, 5000);
    QScrollBar *bar = grid->verticalScrollBar();
    bar->setValue(0);
    pane->setCursor(root + QStringLiteral("/elsewhere/f250.txt"));
    EXPECT_EQ(bar->value(), 0);
    pane->setCursor(path("f250.txt"));
    EXPECT_GT(bar->value(), 0);
    EXPECT_TRUE(
        grid->viewport()->rect().contains(grid->cellRect(grid->listModel()->rowOf(path("f250.txt")))));
}

// Every switch of view keeps the cursor's item in view, also when the view is laid out for its width only
// as it shows.
TEST_F(IconGridTest, EverySwitchOfViewKeepsTheCursorInView) {
    for (int i = 30; i < 300; ++i)
        touch(QStringLiteral("grid/f%1.txt").arg(i, 3, 10, QLatin1Char('0')), "x");
    pane->refresh();
    QTRY_COMPARE_WITH_TIMEOUT(grid->listModel()->rowCount(), 301, 5000);
    const QString chosen = path("f250.txt");
    pane->setViewMode(ViewMode::list);
    pane->setSelection({chosen});
    pane->setCursor(chosen);
    auto inView = [&](ItemView *view) {
        const int row = view->listModel()->rowOf(chosen);
        return row >= 0 && view->isVisible() &&
               view->viewport()->rect().intersects(view->visualRect(view->listModel()->index(row)));
    };
    for (ViewMode mode : {ViewMode::icons, ViewMode::list, ViewMode::columns, ViewMode::icons}) {
        pane->setViewMode(mode);
        ItemView *view = mode == ViewMode::icons ? static_cast<ItemView *>(grid)
                         : mode == ViewMode::list
                             ? static_cast<ItemView *>(listView(v))
                             : static_cast<ItemView *>(v->content()->columns()
                                                           ? v->content()->columns()->column(root + "/grid")
                                                           : nullptr);
        ASSERT_TRUE(view) << int(mode);
        QTRY_VERIFY_WITH_TIMEOUT(inView(view), 3000);
        // Scrolled away and back again, so that the next switch starts from the top.
        if (mode != ViewMode::columns) view->verticalScrollBar()->setValue(0);
    }
}
