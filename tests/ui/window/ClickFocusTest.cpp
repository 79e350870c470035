// Where the keys go after the mouse: a drop, a click on a sidebar place, a click in the inspector.
#include "common/ScriptedDialogs.h"
#include "common/TestUtil.h"
#include "core/app/AppState.h"
#include "core/app/JobRunner.h"
#include "core/model/DragState.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneModel.h"
#include "platform/TrashRoots.h"
#include "ui/app/KeyMonitor.h"
#include "ui/app/QtPasteboard.h"
#include "ui/inspector/InspectorParts.h"
#include "ui/panecontent/ListView.h"
#include "ui/sidebar/SidebarView.h"
#include "ui/window/MainWindow.h"
#include "ui/window/PaneArea.h"
#include "ui/window/pane/PaneContent.h"
#include "ui/window/pane/PaneView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class ClickFocusTest : public ::testing::Test, protected ScriptedDialogs {
protected:
    void SetUp() override {
        TestUtil::freshSettings();
        DragState::shared().clear();
        QDir(TrashRoots::homeTrash()).removeRecursively();
        QDir().mkpath(FileLoader::mainTrash());
        left = dir.path() + "/one";
        right = dir.path() + "/other";
        QDir().mkpath(left);
        QDir().mkpath(right);
        for (const char *name : {"a.txt", "b.txt", "c.txt"})
            TestUtil::writeFile(left + "/" + name, "x");
        TestUtil::writeFile(right + "/o.txt", "o");
        app = std::make_unique<AppState>(dialogs());
        app->services().pasteboard = makeQtPasteboard();
        app->services().trashFolders = [] { return QStringList{FileLoader::mainTrash()}; };
        app->services().timings.jobPeriodMs = 20;
        app->services().timings.jobQuietMs = 50;
        app->settings().setDualPane(true);
        app->settings().setShowSidebar(true);
        app->settings().setShowInspector(true);
        app->sidebar().toggleFavorite(right);
        window = std::make_unique<MainWindow>(app.get());
        monitor = std::make_unique<KeyMonitor>(*app, window->commands());
        window->resize(1300, 700);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        show(app->left(), left);
        show(app->right(), right);
        app->sides().setActive(Side::left);
        window->paneArea()->setFocus();
    }
    void TearDown() override {
        monitor.reset();
        window.reset();
        app.reset();
        DragState::shared().clear();
    }
    static void show(PaneModel *pane, const QString &folder) {
        pane->setViewMode(ViewMode::list);
        pane->go(folder, true, {});
        QTRY_VERIFY_WITH_TIMEOUT(pane->currentPath() == folder && !pane->items().isEmpty(), 5000);
    }
    static void press(int key, Qt::KeyboardModifiers mods = {}) {
        QWidget *to =
            QApplication::focusWidget() ? QApplication::focusWidget() : QApplication::activeWindow();
        QTest::keyClick(to, Qt::Key(key), mods);
    }
    FileListView *list(Side side) const {
        QWidget *v = side == Side::left ? window->paneArea()->leftView() : window->paneArea()->rightView();
        return static_cast<PaneView *>(v)->content()->list()->view();
    }
    // The keys reach the active pane: arrows, Ctrl+A, F2 and Delete act on its files.
    void expectKeysOnThePane(PaneModel *pane) {
        EXPECT_TRUE(window->paneArea()->hasFocus());
        pane->setSelection({});
        press(Qt::Key_Down);
        EXPECT_EQ(pane->selection().size(), 1);
        press(Qt::Key_A, Qt::ControlModifier);
        EXPECT_EQ(pane->selection().size(), pane->items().size());
        pane->setSelection({pane->items().first().path()});
        const qsizetype asked = textQuestions.size();
        press(Qt::Key_F2); // closed unanswered
        EXPECT_EQ(textQuestions.size(), asked + 1);
        const qsizetype alerted = alerts.size();
        press(Qt::Key_Delete); // closed unanswered
        EXPECT_EQ(alerts.size(), alerted + 1);
    }

    QTemporaryDir dir;
    QString left, right;
    std::unique_ptr<AppState> app;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<KeyMonitor> monitor;
};

} // namespace

// A Ctrl+drop from the left pane onto the right one: the right pane becomes the active one, with the copy
// selected, so that Delete asks about the copy and trashes it, not the original.
TEST_F(ClickFocusTest, ADropMakesItsPaneActiveWithWhatWasDropped) {
    const QString original = left + "/a.txt", copy = right + "/a.txt";
    app->left()->setSelection({original});
    app->right()->setSelection({right + "/o.txt"});
    std::unique_ptr<QMimeData> data(app->left()->dragProvider(app->left()->items()[0]));
    QWidget *target = list(Side::right)->viewport();
    const QPoint below(40, target->height() - 5);
    QDragEnterEvent enter(below, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton,
                          Qt::ControlModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDropEvent drop(below, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, Qt::ControlModifier);
    QCoreApplication::sendEvent(target, &drop);
    ASSERT_TRUE(drop.isAccepted());
    DragState::shared().endDrag(data.get());
    EXPECT_EQ(app->sides().active(), Side::right);
    EXPECT_TRUE(window->paneArea()->hasFocus());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(copy) && !app->jobs().progress(), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(app->right()->selection(), QSet<QString>{copy}, 3000);
    EXPECT_EQ(app->sides().active(), Side::right);

    answers = {AlertAnswer{AlertRole::confirm}};
    press(Qt::Key_Delete);
    ASSERT_EQ(alerts.size(), 1);
    EXPECT_TRUE(alerts.first().message.contains("a.txt"));
    QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(copy) && !app->jobs().progress(), 5000);
    EXPECT_TRUE(QFileInfo::exists(original));
}

// Click a file, Ctrl+C, click a place in the sidebar: the keys belong to the pane that shows the place,
// where Ctrl+V pastes; a click on the sidebar's empty room leaves them there.
TEST_F(ClickFocusTest, AClickOnASidebarPlaceLeavesTheKeysWithItsPane) {
    auto *sidebar = qobject_cast<SidebarView *>(window->sidebarColumn());
    ASSERT_TRUE(sidebar);
    QTRY_VERIFY_WITH_TIMEOUT(sidebar->row(right) && sidebar->row(right)->isVisible(), 5000);
    app->left()->setSelection({left + "/b.txt"});
    press(Qt::Key_C, Qt::ControlModifier);
    // Wherever the keys were before, a sidebar row among them.
    sidebar->focusEntry();
    ASSERT_FALSE(window->paneArea()->hasFocus());
    QTest::mouseClick(sidebar->row(right), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(app->left()->currentPath(), right, 3000);
    EXPECT_TRUE(window->paneArea()->hasFocus());
    press(Qt::Key_V, Qt::ControlModifier);
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(right + "/b.txt") && !app->jobs().progress(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(app->left()->items().size() == 2, 3000);
    expectKeysOnThePane(app->left());

    // The room below the rows and the section titles take no keys.
    const QPoint empty(sidebar->viewport()->width() / 2, sidebar->viewport()->height() - 3);
    QTest::mouseClick(sidebar->viewport(), Qt::LeftButton, {}, empty);
    EXPECT_TRUE(window->paneArea()->hasFocus());
}

// A click anywhere in the inspector leaves the keys with the pane, or gives them to a control that shows
// that it has them (a field with its cursor); never to the column itself.
TEST_F(ClickFocusTest, AClickInTheInspectorNeverStrandsTheKeys) {
    app->left()->setSelection({left + "/a.txt"});
    QWidget *inspector = window->inspectorColumn();
    QTRY_VERIFY_WITH_TIMEOUT(!inspector->findChildren<InspectorRow *>().isEmpty(), 5000);
    // Over the texts and the room between them (a control takes its own click).
    auto control = [inspector](QWidget *w) {
        for (; w && w != inspector; w = w->parentWidget())
            if (qobject_cast<QAbstractButton *>(w) || qobject_cast<QComboBox *>(w) ||
                qobject_cast<QLineEdit *>(w) || qobject_cast<QPlainTextEdit *>(w))
                return true;
        return false;
    };
    int clicks = 0;
    for (int x : {10, inspector->width() / 2, inspector->width() - 20})
        for (int y = 5; y < inspector->height(); y += 9) {
            const QPoint at(x, y);
            QWidget *under = inspector->childAt(at);
            if (control(under)) continue;
            window->paneArea()->setFocus();
            QTest::mouseClick(under ? under : inspector, Qt::LeftButton, {},
                              under ? under->mapFrom(inspector, at) : at);
            ++clicks;
            QCoreApplication::processEvents();
            QWidget *focus = QApplication::focusWidget();
            EXPECT_EQ(focus, window->paneArea())
                << x << "," << y << ": the keys went to "
                << (focus ? focus->metaObject()->className() : "none") << " from a click on "
                << (under ? under->metaObject()->className() : "the column");
        }
    EXPECT_GT(clicks, 20);
    // A value's text selected with the mouse keeps the keys, for copying it.
    QLabel *value = inspector->findChildren<InspectorRow *>().constFirst()->valueLabel();
    QTest::mouseDClick(value, Qt::LeftButton, {}, QPoint(value->width() - 5, value->height() / 2));
    QCoreApplication::processEvents();
    EXPECT_TRUE(value->hasSelectedText());
    EXPECT_TRUE(value->hasFocus());
    window->paneArea()->setFocus();
    expectKeysOnThePane(app->left());
}
