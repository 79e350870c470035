#include "PaneViewFixture.h"

#include "core/localisation/Lang.h"
#include "core/model/FileLoader.h"
#include "ui/style/WheelGuard.h"
#include "ui/window/pane/PlainLinkButton.h"

#include <QLabel>
#include <QScrollBar>
#include <QSignalSpy>

using namespace PaneViewTest;

namespace {
class ListViewTest : public Fixture {
protected:
    void SetUp() override {
        Fixture::SetUp();
        for (const char *n : {"a.txt", "b.txt", "c.txt", "d.txt"})
            touch(QStringLiteral("files/") + QString::fromLatin1(n), "x");
        mkdir(QStringLiteral("files/sub"));
        open(app->left(), root + QStringLiteral("/files"));
        pane = app->left();
        v = view(Side::left);
        list = listView(v);
    }
    QString file(const char *n) const { return root + QStringLiteral("/files/") + QString::fromLatin1(n); }
    void click(const char *n, Qt::KeyboardModifiers mods = {}) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, mods, rowPoint(v, rowOf(v, file(n))));
    }
    PaneModel *pane = nullptr;
    PaneView *v = nullptr;
    FileListView *list = nullptr;
};
} // namespace

TEST_F(ListViewTest, ClicksReachThePaneModelAndRepaintWithoutReset) {
    QSignalSpy resets(list->listModel(), &QAbstractItemModel::modelReset);
    ASSERT_EQ(list->listModel()->rowCount(), 5);
    EXPECT_EQ(list->listModel()->item(0).name, "sub"); // folders first
    app->sides().setActive(Side::right);

    click("b.txt");
    EXPECT_EQ(app->sides().active(), Side::left);
    click("d.txt", Qt::ControlModifier);
    EXPECT_EQ(pane->selection(), (QSet<QString>{file("b.txt"), file("d.txt")}));
    click("a.txt");
    click("c.txt", Qt::ShiftModifier);
    EXPECT_EQ(pane->selection(), (QSet<QString>{file("a.txt"), file("b.txt"), file("c.txt")}));

    // A click below the rows clears the selection.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(40, list->viewport()->height() - 5));
    EXPECT_TRUE(pane->selection().isEmpty());
    pane->selectAll();
    EXPECT_EQ(resets.count(), 0);
}

TEST_F(ListViewTest, DoubleClickOpensAFolderAndCtrlDoubleClickDoesNot) {
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                       rowPoint(v, rowOf(v, file("sub"))));
    EXPECT_EQ(pane->currentPath(), root + QStringLiteral("/files"));

    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rowPoint(v, rowOf(v, file("sub"))));
    EXPECT_EQ(pane->currentPath(), file("sub"));
}

TEST_F(ListViewTest, HeaderClickSortsAndMovesTheArrow) {
    ListContent *content = v->content()->list();
    QTest::mouseClick(content->headerButton(SortKey::name), Qt::LeftButton);
    EXPECT_EQ(content->headerButton(SortKey::name)->plainText(), "Name ↓");
    QTRY_COMPARE_WITH_TIMEOUT(list->listModel()->item(1).name, QString("d.txt"), 3000);
    QTest::mouseClick(content->headerButton(SortKey::date), Qt::LeftButton);
    EXPECT_EQ(pane->sort(), SortKey::date);
    EXPECT_EQ(content->headerButton(SortKey::name)->plainText(), "Name");
}

TEST_F(ListViewTest, CursorScrollsAndAFewAddedOrRemovedFilesUpdateRowsInPlace) {
    for (int i = 0; i < 1000; ++i)
        touch(QStringLiteral("many/f%1").arg(i, 4, 10, QLatin1Char('0')));
    open(pane, root + QStringLiteral("/many"));
    FileListModel *rows = list->listModel();
    QTRY_COMPARE_WITH_TIMEOUT(rows->rowCount(), 1000, 3000);
    const auto many = [&](const char *n) { return root + QStringLiteral("/many/") + QString::fromLatin1(n); };
    // The wheel scrolls the list; the cursor scrolls only to rows of the list. A long list lays out in
    // batches: until they are done there is nothing to scroll.
    QTRY_VERIFY_WITH_TIMEOUT(list->verticalScrollBar()->maximum() > 0, 3000);
    WheelGuard::install();
    QWheelEvent wheel(QPointF(5, 5), QPointF(), {}, {0, -120}, Qt::NoButton, {}, Qt::NoScrollPhase, false);
    QApplication::sendEvent(list->viewport(), &wheel);
    EXPECT_GT(list->verticalScrollBar()->value(), 0);
    list->verticalScrollBar()->setValue(0);
    pane->setCursor(root + QStringLiteral("/elsewhere"));
    EXPECT_EQ(list->verticalScrollBar()->value(), 0);
    pane->setSelection({many("f0500"), many("f0501")});
    pane->setCursor(many("f0500"));
    const int scrolled = list->verticalScrollBar()->value();
    ASSERT_GT(scrolled, 0);
    EXPECT_TRUE(list->viewport()->rect().contains(list->rowRect(500).center()));
    QSignalSpy resets(rows, &QAbstractItemModel::modelReset);
    QSignalSpy inserted(rows, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(rows, &QAbstractItemModel::rowsRemoved);

    // Below the shown rows, so the shown ones stay where they are.
    touch(QStringLiteral("many/f0900a"));
    touch(QStringLiteral("many/f0950a"));
    QFile::remove(many("f0800"));
    QFile::remove(many("f0801"));
    QTRY_VERIFY_WITH_TIMEOUT(rows->rowOf(many("f0950a")) == 950 && rows->rowOf(many("f0800")) < 0, 5000);
    EXPECT_EQ(rows->rowCount(), 1000);
    EXPECT_EQ(resets.count(), 0);
    const auto rowsIn = [](const QSignalSpy &spy) {
        int n = 0;
        for (const QList<QVariant> &args : spy)
            n += args[2].toInt() - args[1].toInt() + 1;
        return n;
    };
    EXPECT_EQ(rowsIn(inserted), 2);
    EXPECT_EQ(rowsIn(removed), 2);
    EXPECT_EQ(rows->items(), pane->items());
    EXPECT_EQ(list->verticalScrollBar()->value(), scrolled);
    EXPECT_EQ(pane->selection(), (QSet<QString>{many("f0500"), many("f0501")}));
}

TEST_F(ListViewTest, SearchHitsShowAsListWhateverTheMode) {
    pane->setViewMode(ViewMode::icons);
    pane->setSearchText(QStringLiteral("b."));
    QTRY_VERIFY_WITH_TIMEOUT(pane->searchResults().has_value(), 5000);
    EXPECT_EQ(v->content()->decision().kind, PaneContent::Decision::Kind::list);
    EXPECT_TRUE(list->showParent());
    EXPECT_EQ(list->listModel()->rowCount(), 1);
}

TEST_F(ListViewTest, HitsOfASearchCutShortSayItUnderneath) {
    struct Restore {
        ~Restore() { PaneModel::setBackend({}); }
    } restore;
    PaneModel::setBackend({{},
                           [](const QString &root, const QString &query, const SearchFilter &filter,
                              const CancelFlag &flag, int limit, bool *cutShort, QStringList *folders) {
                               QList<FileItem> hits =
                                   FileLoader::search(root, query, filter, flag, limit, cutShort, folders);
                               *cutShort = query == u"b.";
                               return hits;
                           }});
    QLabel *note = v->content()->list()->cutShortNote();
    pane->setSearchText(QStringLiteral("b."));
    QTRY_VERIFY_WITH_TIMEOUT(pane->searchResults().has_value() && !pane->isSearching(), 5000);
    EXPECT_TRUE(note->isVisible());
    EXPECT_EQ(note->text(),
              LF("Die Suche wurde nach %d Einträgen beendet; weitere Treffer sind möglich.", 80000));
    EXPECT_NE(note->text(),
              QStringLiteral("Die Suche wurde nach %d Einträgen beendet; weitere Treffer sind möglich."));
    pane->setSearchText(QStringLiteral("c."));
    QTRY_VERIFY_WITH_TIMEOUT(!pane->isSearching() && pane->searchResults()->size() == 1 &&
                                 pane->searchResults()->first().name == u"c.txt",
                             5000);
    EXPECT_FALSE(note->isVisible());
    // Back in the folder the note is gone.
    pane->setSearchText(QStringLiteral("b."));
    QTRY_VERIFY_WITH_TIMEOUT(note->isVisible(), 5000);
    pane->setSearchText(QString());
    QTRY_VERIFY_WITH_TIMEOUT(!pane->searchResults().has_value(), 5000);
    EXPECT_FALSE(note->isVisible());
}

TEST_F(ListViewTest, RightClickSelectsFirstAndDragsEndTheirRecord) {
    click("a.txt");
    click("b.txt", Qt::ControlModifier);
    // On a selected item the selection stays; on another it becomes that item alone.
    QTest::mousePress(list->viewport(), Qt::RightButton, {}, rowPoint(v, rowOf(v, file("b.txt"))));
    EXPECT_EQ(pane->selection(), (QSet<QString>{file("a.txt"), file("b.txt")}));
    QTest::mouseRelease(list->viewport(), Qt::RightButton, {}, rowPoint(v, rowOf(v, file("b.txt"))));
    QTest::mousePress(list->viewport(), Qt::RightButton, {}, rowPoint(v, rowOf(v, file("d.txt"))));
    EXPECT_EQ(pane->selection(), QSet<QString>{file("d.txt")});
    QTest::mouseRelease(list->viewport(), Qt::RightButton, {}, rowPoint(v, rowOf(v, file("d.txt"))));

    // A drag that ends without a drop leaves no recorded paths behind.
    const QPoint start = rowPoint(v, rowOf(v, file("c.txt")));
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, start);
    app->sides().setActive(Side::right);
    QMouseEvent move(QEvent::MouseMove, start + QPoint(0, 30),
                     list->viewport()->mapToGlobal(start + QPoint(0, 30)), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(list->viewport(), &move);
    EXPECT_EQ(app->sides().active(), Side::left); // the drag started from the pane model
    EXPECT_EQ(pane->selection(), QSet<QString>{file("c.txt")});
    EXPECT_TRUE(DragState::shared().paths.isEmpty());
    EXPECT_TRUE(DragState::shared().dragId().isEmpty());
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, start + QPoint(0, 30));

    // A plain press on one of several selected items drags them all; a click leaves it alone selected.
    click("a.txt");
    click("b.txt", Qt::ControlModifier);
    click("d.txt", Qt::ControlModifier);
    EXPECT_EQ(dragFrom(list, rowPoint(v, rowOf(v, file("b.txt")))),
              (QStringList{file("a.txt"), file("b.txt"), file("d.txt")}));
    click("d.txt");
    EXPECT_EQ(pane->selection(), QSet<QString>{file("d.txt")});
    // With Ctrl from the press too, showing how many; a Ctrl click alone takes the item out.
    QPixmap one, three;
    dragFrom(list, rowPoint(v, rowOf(v, file("d.txt"))), {}, &one);
    click("a.txt", Qt::ControlModifier);
    click("b.txt", Qt::ControlModifier);
    EXPECT_EQ(dragFrom(list, rowPoint(v, rowOf(v, file("b.txt"))), Qt::ControlModifier, &three).size(), 3);
    EXPECT_GT(three.width(), one.width());
    click("b.txt", Qt::ControlModifier);
    EXPECT_EQ(pane->selection().size(), 2);
}

TEST_F(ListViewTest, ColumnTitlesLineUpWithTheRows) {
    ListContent *content = v->content()->list();
    const int right = list->viewport()->width() - FileRowDelegate::stackInset - FileRowDelegate::inset;
    EXPECT_EQ(content->headerButton(SortKey::size)->geometry().right() + 1, right);
    EXPECT_EQ(content->headerButton(SortKey::date)->geometry().width(), FileRowDelegate::dateWidth);
    EXPECT_EQ(content->headerButton(SortKey::date)->geometry().right() + 1 + FileRowDelegate::spacing,
              content->headerButton(SortKey::size)->geometry().left());
}

TEST_F(ListViewTest, RowLayoutShortensNamesAndPlacesTagsAndParent) {
    FileItem item;
    item.setPath(file("x"));
    item.name = QString(200, u'a') + QStringLiteral("-end.pdf");
    const QRect row(0, 0, 600, 24);
    const UIScale ui;
    FileRowDelegate::Layout l = FileRowDelegate::layout(item, row, ui, QFont(), false);
    EXPECT_TRUE(l.nameText.startsWith(QStringLiteral("aaa")) &&
                l.nameText.endsWith(QStringLiteral("-end.pdf")));
    EXPECT_TRUE(l.nameText.contains(QChar(0x2026)));
    EXPECT_LE(l.name.right(), l.date.left() - FileRowDelegate::spacing - 6);

    // A search hit names its folder after the tag dots.
    item.name = QStringLiteral("short.txt");
    item.setTags({QStringLiteral("Rot\n6")});
    l = FileRowDelegate::layout(item, row, ui, QFont(), true);
    ASSERT_FALSE(l.tags.isEmpty());
    EXPECT_GT(l.tags.left(), l.name.left());
    EXPECT_EQ(l.parentText, "in files");
    EXPECT_GT(l.parent.left(), l.tags.right());
    EXPECT_LT(l.parent.right(), l.date.left());
}
