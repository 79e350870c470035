#include "PaneViewFixture.h"

#include "core/model/FileLoader.h"
#include "ui/window/TabBar.h"
#include "ui/window/pane/Breadcrumbs.h"
#include "ui/window/pane/PaneHeader.h"
#include "ui/window/pane/PlainLinkButton.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>

using namespace PaneViewTest;

namespace {
class DropTest : public Fixture {
protected:
    void SetUp() override {
        Fixture::SetUp();
        touch(QStringLiteral("from/a.txt"), "a");
        touch(QStringLiteral("from/b.txt"), "b");
        touch(QStringLiteral("to/here.txt"), "h");
        mkdir(QStringLiteral("to/inbox"));
        open(app->left(), root + QStringLiteral("/from"));
        open(app->right(), root + QStringLiteral("/to"));
        l = view(Side::left);
        r = view(Side::right);
    }
    QString from(const char *n) const { return root + QStringLiteral("/from/") + QString::fromLatin1(n); }
    QString to(const char *n) const { return root + QStringLiteral("/to/") + QString::fromLatin1(n); }

    // What a drag of these left-pane items carries, as the list's own drag would start it.
    QMimeData *dragFromLeft(const QStringList &names) {
        QSet<QString> sel;
        for (const QString &n : names)
            sel.insert(root + QStringLiteral("/from/") + n);
        app->left()->setSelection(sel);
        const FileItem &first =
            app->left()->items()[rowOf(l, root + QStringLiteral("/from/") + names.first())];
        return app->left()->dragProvider(first);
    }
    // Hovers data over a point of a widget; returns whether it was accepted and with which action.
    static std::pair<bool, Qt::DropAction> hover(QWidget *w, QPoint at, const QMimeData *data,
                                                 Qt::KeyboardModifiers mods = {},
                                                 Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction) {
        QDragEnterEvent enter(at, offered, data, Qt::LeftButton, mods);
        QCoreApplication::sendEvent(w, &enter);
        QDragMoveEvent move(at, offered, data, Qt::LeftButton, mods);
        QCoreApplication::sendEvent(w, &move);
        return {move.isAccepted(), move.dropAction()};
    }
    static std::pair<bool, Qt::DropAction> drop(QWidget *w, QPoint at, const QMimeData *data,
                                                Qt::KeyboardModifiers mods = {},
                                                Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction) {
        QDropEvent ev(at, offered, data, Qt::LeftButton, mods);
        QCoreApplication::sendEvent(w, &ev);
        return {ev.isAccepted(), ev.dropAction()};
    }
    QPoint rowIn(PaneView *v, const QString &path) { return rowPoint(v, rowOf(v, path)); }

    PaneView *l = nullptr;
    PaneView *r = nullptr;
};
} // namespace

TEST_F(DropTest, DragOntoAFolderRowOfTheOtherPaneMoves) {
    std::unique_ptr<QMimeData> data(dragFromLeft({"a.txt", "b.txt"}));
    FileListView *target = listView(r);
    const QPoint inbox = rowIn(r, to("inbox"));
    const auto [accepted, action] = hover(target->viewport(), inbox, data.get());
    EXPECT_TRUE(accepted);
    EXPECT_EQ(action, Qt::MoveAction);
    EXPECT_EQ(target->targetRow(), rowOf(r, to("inbox")));
    EXPECT_FALSE(r->dropTargeted()); // the row takes it, not the pane

    // The copy key turns the proposal into a copy.
    EXPECT_EQ(hover(target->viewport(), inbox, data.get(), Qt::ControlModifier).second, Qt::CopyAction);

    EXPECT_TRUE(drop(target->viewport(), inbox, data.get()).first);
    EXPECT_EQ(target->targetRow(), -1);
    DragState::shared().endDrag(data.get());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(to("inbox/a.txt")) && QFileInfo::exists(to("inbox/b.txt")),
                             5000);
    QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(from("a.txt")) && !QFileInfo::exists(from("b.txt")), 5000);
}

TEST_F(DropTest, CtrlDropCopiesAndAFileRowMeansThePaneFolder) {
    std::unique_ptr<QMimeData> data(dragFromLeft({"a.txt"}));
    FileListView *target = listView(r);
    const QPoint file = rowIn(r, to("here.txt"));
    EXPECT_TRUE(hover(target->viewport(), file, data.get(), Qt::ControlModifier).first);
    EXPECT_EQ(target->targetRow(), -1); // a file row is never highlighted
    EXPECT_TRUE(drop(target->viewport(), file, data.get(), Qt::ControlModifier).first);
    DragState::shared().endDrag(data.get());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(to("a.txt")), 5000);
    EXPECT_TRUE(QFileInfo::exists(from("a.txt")));
}

TEST_F(DropTest, ForeignDropsAreAnsweredWithWhatWasDone) {
    // Text alone is refused everywhere.
    QMimeData text;
    text.setText(QStringLiteral("hello"));
    EXPECT_FALSE(hover(listView(r)->viewport(), rowIn(r, to("inbox")), &text).first);
    EXPECT_FALSE(hover(r->header(), QPoint(5, 5), &text).first);
    EXPECT_FALSE(r->dropTargeted());

    // Another program's file URLs offered for a move on the same volume: we move them and say so.
    QMimeData foreign;
    foreign.setUrls({QUrl::fromLocalFile(from("b.txt"))});
    EXPECT_EQ(hover(listView(r)->viewport(), rowIn(r, to("inbox")), &foreign),
              std::make_pair(true, Qt::MoveAction));
    const auto [accepted, action] = drop(listView(r)->viewport(), rowIn(r, to("inbox")), &foreign);
    EXPECT_TRUE(accepted);
    EXPECT_EQ(action, Qt::MoveAction);
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(to("inbox/b.txt")), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(from("b.txt")), 5000);
}

TEST_F(DropTest, TheWholePaneTakesDropsIntoItsFolder) {
    std::unique_ptr<QMimeData> data(dragFromLeft({"a.txt"}));
    // Over the header the pane itself is the target and shows its border.
    EXPECT_TRUE(hover(r->header(), QPoint(5, 5), data.get()).first);
    EXPECT_TRUE(r->dropTargeted());
    QDragLeaveEvent leave;
    QCoreApplication::sendEvent(r->header(), &leave);
    EXPECT_FALSE(r->dropTargeted());

    // Columns put drops into the one selected folder; the list always into the folder shown.
    app->right()->setSelection({to("inbox")});
    EXPECT_EQ(r->dropDestination(), root + QStringLiteral("/to"));
    app->right()->setViewMode(ViewMode::columns);
    EXPECT_EQ(r->dropDestination(), to("inbox"));
    app->right()->setSelection({to("here.txt")});
    EXPECT_EQ(r->dropDestination(), root + QStringLiteral("/to"));
    app->right()->setViewMode(ViewMode::list);

    // Below the rows of the list the pane's target takes the drop.
    FileListView *target = listView(r);
    const QPoint below(40, target->viewport()->height() - 5);
    EXPECT_TRUE(hover(target->viewport(), below, data.get()).first);
    EXPECT_TRUE(r->dropTargeted());
    EXPECT_TRUE(drop(target->viewport(), below, data.get()).first);
    EXPECT_FALSE(r->dropTargeted());
    DragState::shared().endDrag(data.get());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(to("a.txt")), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(from("a.txt")), 5000);
}

// A drop anywhere on a pane, its header too, makes its side the active one.
TEST_F(DropTest, ADropMakesItsPaneActive) {
    app->sides().setActive(Side::left);
    std::unique_ptr<QMimeData> data(dragFromLeft({"a.txt"}));
    EXPECT_FALSE(drop(r->header(), QPoint(5, 5), data.get(), {}, Qt::IgnoreAction).first);
    EXPECT_EQ(app->sides().active(), Side::left); // refused: nothing changes
    EXPECT_TRUE(hover(r->header(), QPoint(5, 5), data.get(), Qt::ControlModifier).first);
    EXPECT_TRUE(drop(r->header(), QPoint(5, 5), data.get(), Qt::ControlModifier).first);
    EXPECT_EQ(app->sides().active(), Side::right);
    DragState::shared().endDrag(data.get());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(to("a.txt")) && !app->jobs().progress(), 5000);
}

// A tab that is not shown takes drops into its own folder and is shown once a drag rests on it; the list the
// drag came from stays until the drag is over. A crumb takes drops into its folder, with the copy key too.
TEST_F(DropTest, ADropOntoATabOrACrumbGoesIntoItsFolder) {
    const int delay = TabButton::showDelayMs();
    TabButton::showDelayMs() = 50;
    const QString other = mkdir(QStringLiteral("other"));
    TabGroup *tabs = app->sides().leftTabs();
    tabs->newTab(other);
    tabs->select(0);
    // The pane as the window has it: showing whichever tab is current.
    PaneView window(tabs, *parts);
    window.resize(700, 500);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTRY_VERIFY_WITH_TIMEOUT(rowOf(l, from("b.txt")) >= 0 && rowOf(&window, from("b.txt")) >= 0, 5000);
    ASSERT_NE(window.tabBar(), nullptr);
    TabButton *otherTab = static_cast<TabBar *>(window.tabBar())->buttons().at(1);

    // From the shown tab onto the other one, dropped at once: into its folder, the tab still behind.
    std::unique_ptr<QMimeData> data(dragFromLeft({"a.txt"}));
    app->sides().setActive(Side::right);
    EXPECT_EQ(hover(otherTab, QPoint(5, 5), data.get()), std::make_pair(true, Qt::MoveAction));
    EXPECT_TRUE(otherTab->isDropTargeted());
    EXPECT_FALSE(l->dropTargeted());
    EXPECT_TRUE(drop(otherTab, QPoint(5, 5), data.get()).first);
    DragState::shared().endDrag(data.get());
    EXPECT_EQ(tabs->index(), 0);
    EXPECT_EQ(app->sides().active(), Side::left);
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(other + QStringLiteral("/a.txt")) && !app->jobs().progress(),
                             5000);
    EXPECT_FALSE(QFileInfo::exists(from("a.txt")));

    // Resting on it shows it; the list the drag started from lives on while the drag runs.
    data.reset(dragFromLeft({"b.txt"}));
    QPointer<FileListView> source = listView(&window);
    QPointer<QDrag> running = new QDrag(source.data()); // stands for the drag in progress
    EXPECT_TRUE(hover(otherTab, QPoint(5, 5), data.get()).first);
    EXPECT_EQ(tabs->index(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(tabs->index(), 1, 2000);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(source.isNull());
    EXPECT_TRUE(drop(otherTab, QPoint(5, 5), data.get()).first);
    DragState::shared().endDrag(data.get());
    delete running;
    QTRY_VERIFY_WITH_TIMEOUT(source.isNull(), 2000);
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(other + QStringLiteral("/b.txt")) && !app->jobs().progress(),
                             5000);

    // A drag that passes over a tab without resting there leaves it behind.
    TabButton *firstTab = static_cast<TabBar *>(window.tabBar())->buttons().at(0);
    QMimeData foreign;
    foreign.setUrls({QUrl::fromLocalFile(to("here.txt"))});
    EXPECT_TRUE(hover(firstTab, QPoint(5, 5), &foreign).first);
    QDragLeaveEvent leave;
    QCoreApplication::sendEvent(firstTab, &leave);
    EXPECT_FALSE(firstTab->isDropTargeted());
    QTest::qWait(TabButton::showDelayMs() * 2);
    EXPECT_EQ(tabs->index(), 1);
    TabButton::showDelayMs() = delay;

    // Onto the crumb of the right pane's enclosing folder, with the copy key: copied there.
    const QList<Crumb> &crumbs = app->right()->crumbs();
    qsizetype at = -1;
    for (qsizetype i = 0; i < crumbs.size(); ++i)
        if (FileLoader::norm(crumbs[i].first) == FileLoader::norm(root)) at = i;
    ASSERT_GE(at, 0);
    PlainLinkButton *crumb = r->header()->breadcrumbs()->buttons().at(at);
    EXPECT_EQ(hover(crumb, QPoint(3, 3), &foreign, Qt::ControlModifier),
              std::make_pair(true, Qt::CopyAction));
    EXPECT_TRUE(crumb->isDropTargeted());
    EXPECT_FALSE(r->dropTargeted());
    app->sides().setActive(Side::left);
    EXPECT_TRUE(drop(crumb, QPoint(3, 3), &foreign, Qt::ControlModifier).first);
    EXPECT_FALSE(crumb->isDropTargeted());
    EXPECT_EQ(app->sides().active(), Side::right);
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(root + QStringLiteral("/here.txt")) && !app->jobs().progress(),
                             5000);
    EXPECT_TRUE(QFileInfo::exists(to("here.txt")));
}
