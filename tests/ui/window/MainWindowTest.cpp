#include "common/TestUtil.h"
#include "core/app/AppState.h"
#include "core/app/Defaults.h"
#include "core/model/PaneModel.h"
#include "core/model/TabGroup.h"
#include "ui/style/ButtonStyles.h"
#include "ui/app/KeyMonitor.h"
#include "ui/window/ActionBar.h"
#include "ui/window/MainWindow.h"
#include "ui/window/PaneArea.h"
#include "ui/window/SheetPresenter.h"
#include "ui/window/SplitHandles.h"
#include "ui/window/ToastView.h"

#include <QAbstractButton>
#include <QDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using TestUtil::LanguageScope;

namespace {

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestUtil::freshSettings();
        AppState::timing().toastMs = 200;
        AppState::timing().errorToastMs = 300;
    }
    void TearDown() override { AppState::timing() = AppState::Timing{}; }
};

QList<BarButton *> barButtons(ActionBar *bar, const QString &tip) {
    QList<BarButton *> out;
    for (BarButton *b : bar->findChildren<BarButton *>())
        if (b->accessibleName() == tip) out << b;
    return out;
}

} // namespace

TEST_F(WindowTest, TwoPanesOrOne) {
    AppState app;
    MainWindow w(&app);
    w.show();
    PaneArea *area = w.paneArea();
    ASSERT_TRUE(area->leftView() && area->rightView());
    EXPECT_TRUE(area->splitHandle()->isVisible());
    // The two panes and the handle fill the area.
    EXPECT_EQ(area->leftView()->width() + 7 + area->rightView()->width(), area->width());

    app.setActive(Side::right);
    app.setDualPane(false);
    EXPECT_FALSE(area->rightView());
    EXPECT_FALSE(area->splitHandle()->isVisible());
    EXPECT_EQ(area->leftView()->width(), area->width());
    // In one-pane mode the bar has no transfer buttons.
    EXPECT_TRUE(barButtons(w.actionBar(), L("Auswahl links in den rechten Ordner kopieren"))[0]->isHidden());
}

TEST_F(WindowTest, ColumnsFollowTheirSwitches) {
    AppState app;
    MainWindow w(&app);
    w.show();
    EXPECT_TRUE(w.sidebarColumn()->isVisible());
    EXPECT_FALSE(w.inspectorColumn()->isVisible());
    app.setShowInspector(true);
    app.setInspectorWidth(400);
    app.setShowSidebar(false);
    QApplication::processEvents();
    EXPECT_TRUE(w.inspectorColumn()->isVisible());
    EXPECT_EQ(w.inspectorColumn()->width(), 400);
    EXPECT_FALSE(w.sidebarColumn()->isVisible());
}

TEST_F(WindowTest, ActionBarCopiesTheSelectionOfItsSourceSide) {
    const LanguageScope de(AppLanguage::de);
    QTemporaryDir a, b;
    TestUtil::writeFile(a.path() + "/x.txt", "x");
    AppState app;
    MainWindow w(&app);
    w.show();
    app.left()->go(a.path());
    app.right()->go(b.path());
    QTRY_VERIFY_WITH_TIMEOUT(!app.left()->items().isEmpty(), 5000);

    auto *toRight = barButtons(w.actionBar(), "Auswahl links in den rechten Ordner kopieren").value(0);
    auto *toLeft = barButtons(w.actionBar(), "Auswahl rechts in den linken Ordner kopieren").value(0);
    ASSERT_TRUE(toRight && toLeft);
    EXPECT_FALSE(toRight->isEnabled());
    app.left()->setSelection({a.path() + "/x.txt"});
    // The right side is active, yet the left-to-right buttons follow the left selection.
    app.setActive(Side::right);
    EXPECT_TRUE(toRight->isEnabled());
    EXPECT_FALSE(toLeft->isEnabled());
    toRight->click();
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(b.path() + "/x.txt") && !app.currentProgress(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(w.toastView()->isVisible(), 2000);
    EXPECT_TRUE(w.toastView()->toast().text.startsWith("1 Objekt kopiert"));
}

TEST_F(WindowTest, ToastShowsAtTheBottomAndGoesAway) {
    AppState app;
    MainWindow w(&app);
    w.show();
    app.show("Fertig.");
    ToastView *toast = w.toastView();
    ASSERT_TRUE(toast->isVisible());
    EXPECT_TRUE(toast->testAttribute(Qt::WA_TransparentForMouseEvents));
    const QWidget *root = w.centralWidget();
    EXPECT_GT(toast->geometry().center().y(), root->height() * 3 / 4);
    EXPECT_LE(toast->width(), ToastView::kMaxWidth + 24);
    QTRY_VERIFY_WITH_TIMEOUT(!toast->isVisible(), 2000);
}

TEST_F(WindowTest, BannerFloatsAboveTheToast) {
    AppState::timing().firstStatusMs = 0;
    AppState::timing().pollMs = 10;
    AppState app;
    MainWindow w(&app);
    w.show();
    auto progress = app.beginJob("Kopiere");
    progress->setTotal(100, 1);
    progress->add(40);
    app.show("Fertig.");
    QTRY_VERIFY_WITH_TIMEOUT(w.banner()->isVisible(), 2000);
    EXPECT_LT(w.banner()->geometry().bottom(), w.toastView()->geometry().center().y());
    app.endJob();
    QTRY_VERIFY_WITH_TIMEOUT(!w.banner()->isVisible(), 2000);
}

TEST_F(WindowTest, SplitHandleWritesTheSetting) {
    AppState app;
    MainWindow w(&app);
    w.show();
    SplitHandle *handle = w.paneArea()->splitHandle();
    QTest::mouseDClick(handle, Qt::LeftButton);
    EXPECT_EQ(Defaults::doubleValue("splitFraction"), 0.5);
    const QPoint start(3, 100);
    QTest::mousePress(handle, Qt::LeftButton, Qt::NoModifier, start);
    QMouseEvent move(QEvent::MouseMove, QPointF(start + QPoint(100, 0)),
                     handle->mapToGlobal(QPointF(start + QPoint(100, 0))), Qt::LeftButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(handle, &move);
    QTest::mouseRelease(handle, Qt::LeftButton, Qt::NoModifier, start + QPoint(100, 0));
    EXPECT_GT(app.splitFraction(), 0.5);
    EXPECT_EQ(Defaults::doubleValue("splitFraction"), app.splitFraction());
    // The left pane followed.
    const int avail = w.paneArea()->width() - 7;
    EXPECT_NEAR(w.paneArea()->leftView()->width(), avail * app.splitFraction(), 1.0);
}

TEST_F(WindowTest, SheetsOpenFromFlagsAndResetThemWhenClosed) {
    AppState app;
    MainWindow w(&app);
    w.show();
    int made = 0;
    w.sheets()->setFactory(SheetPresenter::Sheet::rules, [&](QWidget *parent) {
        ++made;
        return new QDialog(parent);
    });
    app.setShowRules(true);
    ASSERT_TRUE(w.sheets()->current());
    EXPECT_EQ(made, 1);
    EXPECT_EQ(w.sheets()->current()->windowModality(), Qt::WindowModal);
    w.sheets()->current()->reject();
    EXPECT_FALSE(app.showRules());
    // A sheet nothing can show yet is closed again at once.
    app.setShowShortcuts(true);
    EXPECT_FALSE(app.showShortcuts());
    // A new request with the same paths is a new request.
    w.sheets()->setFactory(SheetPresenter::Sheet::info, [&](QWidget *parent) {
        ++made;
        return new QDialog(parent);
    });
    app.setInfoTarget(InfoTarget({"/tmp"}));
    app.setInfoTarget(InfoTarget({"/tmp"}));
    EXPECT_EQ(made, 3);
}

TEST_F(WindowTest, LanguageChangeRebuildsTheContent) {
    const LanguageScope keep(Lang::current());
    AppState app;
    MainWindow w(&app);
    w.show();
    app.setLanguage(AppLanguage::de);
    EXPECT_EQ(w.searchField()->placeholderText(), "Suchen");
    app.setLanguage(AppLanguage::en);
    EXPECT_EQ(w.searchField()->placeholderText(), L("Suchen"));
    EXPECT_TRUE(w.paneArea()->leftView());
}

TEST_F(WindowTest, KeysReachTheCoreBeforeTheWindowShortcuts) {
    AppState app;
    KeyMonitor monitor(&app);
    MainWindow w(&app);
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    app.leftTabs()->newTab();
    ASSERT_EQ(app.leftTabs()->tabs().size(), 2);
    // Keys go where the user types: the focused widget, the pane area at start.
    QWidget *focus = QApplication::focusWidget();
    ASSERT_EQ(focus, w.paneArea());
    // With two tabs Ctrl+W closes the tab, not the window.
    QTest::keyClick(focus, Qt::Key_W, Qt::ControlModifier);
    EXPECT_EQ(app.leftTabs()->tabs().size(), 1);
    EXPECT_TRUE(w.isVisible());
    // Ctrl+Shift+period toggles hidden files once per press.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Greater, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(app.showHidden());
    // With one tab left Ctrl+W goes on to the window, which closes.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(w.isVisible());
    app.setShowHidden(false);
}
