#include "common/TestCommands.h"
#include "common/HeldJob.h"
#include "common/ScriptedDialogs.h"
#include "common/TestUtil.h"
#include "core/app/AppState.h"
#include "core/app/JobRunner.h"
#include "core/base/Defaults.h"
#include "core/model/PaneModel.h"
#include "core/model/TabGroup.h"
#include "ui/style/ButtonStyles.h"
#include "ui/app/AboutPanel.h"
#include "ui/help/ManualWindow.h"
#include "ui/inspector/FileInfoAppSection.h"
#include "ui/settings/SettingsWindow.h"
#include "ui/app/KeyMonitor.h"
#include "ui/window/ActionBar.h"
#include "ui/app/Commands.h"
#include "ui/window/MainWindow.h"
#include "ui/window/PaneArea.h"
#include "ui/window/SheetPresenter.h"
#include "ui/window/SplitHandles.h"
#include "ui/window/ToastView.h"
#include "ui/window/toolbar/MainToolbar.h"
#include "ui/window/toolbar/ToolbarButtons.h"

#include <QAbstractButton>
#include <QAction>
#include <QDialog>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QToolButton>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using TestUtil::LanguageScope;

namespace {

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override { TestUtil::freshSettings(); }
    static Services quick() {
        Services s;
        s.timings.toastMs = 200;
        s.timings.errorToastMs = 300;
        return s;
    }
};

QList<BarButton *> barButtons(ActionBar *bar, const QString &tip) {
    QList<BarButton *> out;
    for (BarButton *b : bar->findChildren<BarButton *>())
        if (b->accessibleName() == tip) out << b;
    return out;
}

} // namespace

TEST_F(WindowTest, TwoPanesOrOne) {
    AppState app(quick());
    MainWindow w(&app);
    w.show();
    PaneArea *area = w.paneArea();
    ASSERT_TRUE(area->leftView() && area->rightView());
    EXPECT_TRUE(area->splitHandle()->isVisible());
    // The two panes and the handle fill the area.
    EXPECT_EQ(area->leftView()->width() + 7 + area->rightView()->width(), area->width());

    app.sides().setActive(Side::right);
    app.settings().setDualPane(false);
    EXPECT_FALSE(area->rightView());
    EXPECT_FALSE(area->splitHandle()->isVisible());
    EXPECT_EQ(area->leftView()->width(), area->width());
    // In one-pane mode the bar has no transfer buttons.
    EXPECT_TRUE(barButtons(w.actionBar(), L("Auswahl links in den rechten Ordner kopieren"))[0]->isHidden());
}

TEST_F(WindowTest, ColumnsFollowTheirSwitches) {
    AppState app(quick());
    MainWindow w(&app);
    w.show();
    EXPECT_TRUE(w.sidebarColumn()->isVisible());
    EXPECT_FALSE(w.inspectorColumn()->isVisible());
    app.settings().setShowInspector(true);
    app.settings().setInspectorWidth(400);
    app.settings().setShowSidebar(false);
    QApplication::processEvents();
    EXPECT_TRUE(w.inspectorColumn()->isVisible());
    EXPECT_EQ(w.inspectorColumn()->width(), 400);
    EXPECT_FALSE(w.sidebarColumn()->isVisible());
}

// Each button runs its own command; the transfer buttons carry their direction whichever side is active.
TEST_F(WindowTest, ActionBarButtonsRunTheirCommands) {
    const LanguageScope de(AppLanguage::de);
    QTemporaryDir a, b;
    for (const char *name : {"/a.txt", "/m.txt"})
        TestUtil::writeFile(a.path() + name, "x");
    for (const char *name : {"/b.txt", "/n.txt"})
        TestUtil::writeFile(b.path() + name, "x");
    AppState app(quick());
    QStringList written, shared;
    bool writtenCut = false;
    app.services().pasteboard.writeFiles = [&](const QStringList &paths, bool cut) {
        written = paths;
        writtenCut = cut;
    };
    app.services().desktop.share = [&](const QStringList &paths) -> std::optional<QString> {
        shared = paths;
        return std::nullopt;
    };
    app.services().dialogs.askText = [](const TextQuestion &, Dialogs::TextDone done) {
        done(QString("r.txt"));
    };
    app.left()->go(a.path());
    app.right()->go(b.path());
    QTRY_VERIFY_WITH_TIMEOUT(app.left()->items().size() == 2 && app.right()->items().size() == 2, 5000);
    ActionBar bar(app.settings(), testCommands(&app));
    bar.show();
    auto click = [&](const QString &name) {
        QList<QAbstractButton *> hits;
        for (QAbstractButton *button : bar.findChildren<QAbstractButton *>())
            if (button->accessibleName() == L(name)) hits << button;
        ASSERT_EQ(hits.size(), 1) << name.toStdString();
        ASSERT_TRUE(hits[0]->isEnabled()) << name.toStdString();
        hits[0]->click();
    };
    auto transfer = [&](const char *button, const QString &leftPick, const QString &rightPick) {
        app.left()->setSelection({leftPick});
        app.right()->setSelection({rightPick});
        click(button);
        QTRY_VERIFY_WITH_TIMEOUT(!app.jobs().progress(), 5000);
    };
    app.sides().setActive(Side::right);
    transfer("Auswahl rechts in den linken Ordner kopieren", a.path() + "/a.txt", b.path() + "/b.txt");
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(a.path() + "/b.txt"), 5000);
    EXPECT_FALSE(QFile::exists(b.path() + "/a.txt"));
    transfer("Auswahl links in den rechten Ordner kopieren", a.path() + "/a.txt", b.path() + "/b.txt");
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(b.path() + "/a.txt"), 5000);
    app.sides().setActive(Side::left);
    transfer("Auswahl rechts in den linken Ordner verschieben", a.path() + "/m.txt", b.path() + "/n.txt");
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(a.path() + "/n.txt") && !QFile::exists(b.path() + "/n.txt"), 5000);
    EXPECT_TRUE(QFile::exists(a.path() + "/m.txt"));
    transfer("Auswahl links in den rechten Ordner verschieben", a.path() + "/m.txt", b.path() + "/b.txt");
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(b.path() + "/m.txt") && !QFile::exists(a.path() + "/m.txt"), 5000);

    // The rest act on the active pane.
    const QString pick = a.path() + "/a.txt";
    app.left()->setSelection({pick});
    click("Kopieren (⌘C)");
    EXPECT_EQ(written, QStringList{pick});
    EXPECT_FALSE(writtenCut);
    click("Ausschneiden (⌘X)");
    EXPECT_TRUE(writtenCut);
    click("Teilen");
    EXPECT_EQ(shared, QStringList{pick});
    QSignalSpy icons(&app.items(), &ItemCommands::iconsChanged);
    click("Tags"); // opens the tag menu
    auto *tagMenu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    ASSERT_TRUE(tagMenu);
    tagMenu->actions().constFirst()->trigger();
    tagMenu->close();
    ASSERT_EQ(icons.size(), 1);
    EXPECT_EQ(icons[0][0].toStringList(), QStringList{pick});
    // The information sheet is offered only once it can be shown.
    QList<QAbstractButton *> info;
    for (QAbstractButton *button : bar.findChildren<QAbstractButton *>())
        if (button->accessibleName() == L("Informationen")) info << button;
    ASSERT_EQ(info.size(), 1);
    EXPECT_FALSE(info[0]->isEnabled());
    QWidget host;
    SheetPresenter sheets(app.requests(), &host);
    testCommands(&app).setSheets(&sheets);
    sheets.setFactory(SheetPresenter::Sheet::info, [](QWidget *parent) { return new QDialog(parent); });
    click("Informationen");
    ASSERT_TRUE(app.requests().infoTarget());
    EXPECT_EQ(app.requests().infoTarget()->paths, QStringList{pick});
    click("Einsetzen (⌘V)");
    EXPECT_EQ(app.toast()->text, "In der Zwischenablage liegen keine Dateien.");
    click("Umbenennen");
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(a.path() + "/r.txt"), 5000);
    click("Neuer Ordner");
    EXPECT_TRUE(QFileInfo(a.path() + "/Neuer Ordner").isDir());
}

TEST_F(WindowTest, ToastShowsAtTheBottomAndGoesAway) {
    AppState app(quick());
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
    Services services = quick();
    services.timings.jobQuietMs = 0;
    services.timings.jobPeriodMs = 10;
    AppState app(services);
    MainWindow w(&app);
    w.show();
    HeldJob busy;
    auto progress = busy.begin(app.jobs(), "Kopiere");
    progress->setTotal(100, 1);
    progress->add(40);
    app.show("Fertig.");
    QTRY_VERIFY_WITH_TIMEOUT(w.banner()->isVisible(), 2000);
    EXPECT_LT(w.banner()->geometry().bottom(), w.toastView()->geometry().center().y());
    busy.end();
    QTRY_VERIFY_WITH_TIMEOUT(!w.banner()->isVisible(), 2000);
}

// A drag moves the panes as it goes and writes the setting once, when it ends.
TEST_F(WindowTest, SplitHandleDragShowsAtOnceAndWritesTheSettingAtItsEnd) {
    AppState app(quick());
    MainWindow w(&app);
    w.show();
    SplitHandle *handle = w.paneArea()->splitHandle();
    QTest::mouseDClick(handle, Qt::LeftButton);
    app.settings().save(); // written after a pause; now
    EXPECT_EQ(Defaults::doubleValue("splitFraction"), 0.5);
    const int avail = w.paneArea()->width() - 7;
    QSignalSpy written(&app.settings(), &Settings::changed);
    const QPoint start(3, 100);
    const QPointF origin = handle->mapToGlobal(QPointF(start)); // the handle moves, the pointer's path not
    QTest::mousePress(handle, Qt::LeftButton, Qt::NoModifier, start);
    for (int dx : {40, 70, 100}) {
        QMouseEvent move(QEvent::MouseMove, QPointF(start + QPoint(dx, 0)), origin + QPointF(dx, 0),
                         Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(handle, &move);
        EXPECT_NEAR(w.paneArea()->leftView()->width(), avail / 2 + dx, 2.0);
    }
    EXPECT_EQ(written.count(), 0);
    QTest::mouseRelease(handle, Qt::LeftButton, Qt::NoModifier, start + QPoint(100, 0));
    EXPECT_EQ(written.count(), 1);
    EXPECT_NEAR(app.settings().splitFraction(), 0.5 + 100.0 / avail, 0.001);
    app.settings().save();
    EXPECT_EQ(Defaults::doubleValue("splitFraction"), app.settings().splitFraction());
    // The left pane stays where the drag left it.
    EXPECT_NEAR(w.paneArea()->leftView()->width(), avail * app.settings().splitFraction(), 1.0);
}

TEST_F(WindowTest, SheetsOpenFromFlagsAndResetThemWhenClosed) {
    AppState app(quick());
    MainWindow w(&app);
    w.show();
    int made = 0;
    w.sheets()->setFactory(SheetPresenter::Sheet::rules, [&](QWidget *parent) {
        ++made;
        return new QDialog(parent);
    });
    app.requests().setShowRules(true);
    ASSERT_TRUE(w.sheets()->current());
    EXPECT_EQ(made, 1);
    EXPECT_EQ(w.sheets()->current()->windowModality(), Qt::WindowModal);
    w.sheets()->current()->reject();
    EXPECT_FALSE(app.requests().showRules());
    // A sheet nothing can show yet is closed again at once.
    {
        WindowRequests requests;
        QWidget host;
        SheetPresenter bare(requests, &host);
        requests.setShowShortcuts(true);
        EXPECT_FALSE(requests.showShortcuts());
    }
    // A new request with the same paths is a new request.
    w.sheets()->setFactory(SheetPresenter::Sheet::info, [&](QWidget *parent) {
        ++made;
        return new QDialog(parent);
    });
    app.requests().setInfoTarget(InfoTarget({"/tmp"}));
    app.requests().setInfoTarget(InfoTarget({"/tmp"}));
    EXPECT_EQ(made, 3);
}

TEST_F(WindowTest, LanguageChangeRebuildsTheContent) {
    const LanguageScope keep(Lang::current());
    AppState app(quick());
    MainWindow w(&app);
    w.show();
    app.settings().setLanguage(AppLanguage::de);
    EXPECT_EQ(w.searchField()->placeholderText(), "Suchen");
    app.settings().setLanguage(AppLanguage::en);
    EXPECT_EQ(w.searchField()->placeholderText(), L("Suchen"));
    EXPECT_TRUE(w.paneArea()->leftView());
}

TEST_F(WindowTest, KeysReachTheCoreBeforeTheWindowShortcuts) {
    AppState app(quick());
    MainWindow w(&app);
    KeyMonitor monitor(app, w.commands());
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    app.sides().leftTabs()->newTab();
    ASSERT_EQ(app.sides().leftTabs()->tabs().size(), 2);
    // Keys go where the user types: the focused widget, the pane area at start.
    QWidget *focus = QApplication::focusWidget();
    ASSERT_EQ(focus, w.paneArea());
    // With two tabs Ctrl+W closes the tab, not the window.
    QTest::keyClick(focus, Qt::Key_W, Qt::ControlModifier);
    EXPECT_EQ(app.sides().leftTabs()->tabs().size(), 1);
    EXPECT_TRUE(w.isVisible());
    // Ctrl+Shift+period toggles hidden files once per press.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Greater, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(app.settings().showHidden());
    // A command's own key fires once the monitor lets it pass.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_H, Qt::ControlModifier);
    EXPECT_FALSE(app.settings().showHidden());
    // With one tab left Ctrl+W goes on to the window, which closes.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(w.isVisible());
    app.settings().setShowHidden(false);
}

// Each window makes its registry and hands it to its parts, also to those rebuilt for a new language;
// closing one window leaves the other's commands working.
TEST_F(WindowTest, EachWindowHandsOutItsOwnRegistry) {
    const LanguageScope keep(Lang::current());
    AppState app(quick());
    auto first = std::make_unique<MainWindow>(&app);
    MainWindow second(&app);
    ASSERT_NE(&first->commands(), &second.commands());
    app.settings().setLanguage(AppLanguage::en);
    for (MainWindow *w : {first.get(), &second}) {
        auto *back = qobject_cast<ToolbarIconButton *>(w->toolbar()->item("back"));
        ASSERT_TRUE(back);
        EXPECT_EQ(back->action(), w->commands().action(Cmd::back));
        const QMenu *file = w->menuBar()->actions().constFirst()->menu();
        ASSERT_TRUE(file);
        EXPECT_TRUE(file->actions().contains(w->commands().action(Cmd::newFolder)));
        EXPECT_TRUE(w->actions().contains(w->commands().action(Cmd::refresh)));
    }
    first.reset();
    TabGroup *side = app.sides().tabs(app.sides().active());
    const qsizetype tabs = side->tabs().size();
    second.commands().action(Cmd::newTab)->trigger();
    EXPECT_EQ(side->tabs().size(), tabs + 1);
}

// Ctrl+W, Ctrl+Q and Ctrl+Z work from the sheets too, the Information sheet with its fields included:
// Ctrl+W closes the sheet, Ctrl+Q the window, Ctrl+Z undoes a permission change made there (its menu
// shows the file's mode again) unless a text field with the focus takes it for its text.
TEST_F(WindowTest, CloseQuitAndUndoKeysWorkWhileASheetIsOpen) {
    QTemporaryDir dir;
    const QString file = dir.path() + "/a.txt";
    TestUtil::writeFile(file, "a");
    for (const Qt::Key key : {Qt::Key_W, Qt::Key_Q, Qt::Key_Z}) {
        AppState app(quick());
        MainWindow w(&app);
        KeyMonitor monitor(app, w.commands());
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        app.requests().setInfoTarget(InfoTarget({file}));
        QDialog *sheet = w.sheets()->current();
        ASSERT_TRUE(sheet);
        sheet->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(sheet));
        QWidget *focus = sheet->focusWidget() ? sheet->focusWidget() : sheet;
        if (key == Qt::Key_Z) {
            auto *section = sheet->findChild<FileInfoAppSection *>();
            QTRY_VERIFY(section->isLoaded());
            section->setAccess(6, 0);
            auto *field = sheet->findChild<QLineEdit *>();
            field->setFocus();
            QTest::keyClick(field, key, Qt::ControlModifier);
            ASSERT_EQ(app.undoJournal().entries().size(), 1);
            (focus = sheet->findChild<QComboBox *>("access0"))->setFocus();
        }
        QTest::keyClick(focus, key, Qt::ControlModifier);
        if (key == Qt::Key_W) {
            EXPECT_FALSE(sheet->isVisible());
            EXPECT_FALSE(app.requests().infoTarget());
        } else if (key == Qt::Key_Q) {
            EXPECT_FALSE(w.isVisible());
        } else {
            QTRY_VERIFY(qobject_cast<QComboBox *>(focus)->currentData().toInt() != 6);
            EXPECT_TRUE(app.undoJournal().entries().isEmpty());
        }
    }
}

// Ctrl+Q from any window takes the main window's road: asked first while a job runs, then all close.
TEST_F(WindowTest, QuitKeyEndsTheProgramFromEveryWindow) {
    for (int row = 0; row < 3; ++row) {
        ScriptedDialogs script;
        AppState app(script.dialogs());
        MainWindow w(&app);
        KeyMonitor monitor(app, w.commands());
        w.show();
        const QPointer<QWidget> other = row == 0   ? static_cast<QWidget *>(SettingsWindow::open(&app))
                                        : row == 1 ? static_cast<QWidget *>(AboutPanel::openPanel())
                                                   : ManualWindow::open(app.settings(), app.requests());
        ASSERT_TRUE(QTest::qWaitForWindowActive(other));
        HeldJob busy;
        busy.begin(app.jobs(), "Kopiere");
        for (const bool asked : {true, false}) {
            QTest::keyClick(other, Qt::Key_Q, Qt::ControlModifier);
            EXPECT_EQ(w.isVisible(), asked);
            EXPECT_EQ(other && other->isVisible(), asked) << row;
            busy.end();
        }
        EXPECT_EQ(script.alerts.size(), 1);
    }
}
