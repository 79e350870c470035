// Keys of the Linux table, text fields that keep theirs, and the first steps of a new user.
#include "common/TestCommands.h"
#include "common/ScriptedDialogs.h"
#include "common/TestUtil.h"
#include "core/app/AppState.h"
#include "core/app/JobRunner.h"
#include "core/base/Defaults.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneModel.h"
#include "core/model/TabGroup.h"
#include "core/model/Tags.h"
#include "platform/TrashRoots.h"
#include "platform/Xattr.h"
#include "ui/app/AppDelegate.h"
#include "ui/app/Commands.h"
#include "ui/app/KeyMonitor.h"
#include "ui/app/MainMenuBar.h"
#include "core/app/FileInfoState.h"
#include "ui/inspector/FileInfoForm.h"
#include "ui/inspector/InspectorView.h"
#include "ui/settings/SettingsWindow.h"
#include "ui/sidebar/SidebarView.h"
#include "ui/style/MenuLocalizer.h"
#include "ui/style/ScreenFit.h"
#include "ui/window/MainWindow.h"
#include "ui/window/PaneArea.h"
#include "ui/window/toolbar/MainToolbar.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

using TestUtil::LanguageScope;

namespace {

struct Row {
    const char *keys;
    const char *id;
    QKeySequence key() const { return QKeySequence(QString::fromLatin1(keys)); }
};

// The table "Keys on Linux", one row per key.
const QList<Row> &linuxKeys() {
    static const QList<Row> rows{
        // clang-format off
        {"Ctrl+Z", Cmd::undo}, {"Ctrl+Shift+Z", Cmd::editRedo}, {"Ctrl+X", Cmd::cut}, {"Ctrl+C", Cmd::copy},
        {"Ctrl+V", Cmd::paste}, {"Ctrl+A", Cmd::selectAll}, {"Ctrl+Shift+N", Cmd::newFolder},
        {"Del", Cmd::trash}, {"Ctrl+Backspace", Cmd::trash}, {"Ctrl+Shift+Backspace", Cmd::emptyTrash},
        {"Ctrl+Y", Cmd::quickLook}, {"Space", Cmd::quickLook}, {"Ctrl+Shift+G", Cmd::goToFolder},
        {"Ctrl+L", Cmd::goToFolder}, {"Ctrl+D", Cmd::duplicate}, {"Ctrl+Shift+M", Cmd::alias},
        {"Ctrl+Alt+C", Cmd::copyPath}, {"Ctrl+Alt+Y", Cmd::compare}, {"Ctrl+Shift+Right", Cmd::copyToRight},
        {"Ctrl+Shift+Left", Cmd::copyToLeft}, {"Alt+Shift+Right", Cmd::moveToRight},
        {"Alt+Shift+Left", Cmd::moveToLeft}, {"F6", Cmd::moveToOther}, {"Ctrl+Alt+1", Cmd::activateLeft},
        {"Ctrl+Alt+2", Cmd::activateRight}, {"Return", Cmd::open}, {"Ctrl+Down", Cmd::open},
        {"F2", Cmd::rename}, {"Ctrl+[", Cmd::back}, {"Ctrl+]", Cmd::forward}, {"Ctrl+Up", Cmd::up},
        {"Alt+Left", Cmd::back}, {"Alt+Right", Cmd::forward}, {"Alt+Up", Cmd::up}, {"Backspace", Cmd::back},
        {"Ctrl+R", Cmd::refresh}, {"F5", Cmd::refresh}, {"Ctrl+?", Cmd::manual}, {"F1", Cmd::manual},
        {"Ctrl+1", Cmd::asIcons}, {"Ctrl+2", Cmd::asList}, {"Ctrl+3", Cmd::asColumns},
        {"Ctrl+Alt+S", Cmd::sidebar}, {"Ctrl+Alt+I", Cmd::inspector}, {"Ctrl+Alt+P", Cmd::dualPane},
        {"Ctrl+Shift+]", Cmd::nextTab}, {"Ctrl+Shift+[", Cmd::previousTab}, {"Ctrl+PgDown", Cmd::nextTab},
        {"Ctrl+PgUp", Cmd::previousTab}, {"Ctrl+,", Cmd::settings}, {"Ctrl+Q", Cmd::quit},
        {"Ctrl+W", Cmd::closeWindow}, {"Ctrl+Shift+.", Cmd::showHidden}, {"Ctrl+H", Cmd::showHidden},
        {"Ctrl+T", Cmd::newTab}, {"Ctrl+F", Cmd::searchField}, {"Ctrl+F6", Cmd::nextPart},
        {"Ctrl+Shift+F6", Cmd::previousPart},
        // clang-format on
    };
    return rows;
}

class KeysTest : public ::testing::Test, protected ScriptedDialogs {
protected:
    void SetUp() override {
        TestUtil::freshSettings();
        file = dir.path() + "/one/two/a.txt";
        QDir().mkpath(dir.path() + "/one/two");
        QDir().mkpath(dir.path() + "/other");
        TestUtil::writeFile(file, "a");
        TestUtil::writeFile(dir.path() + "/other/o.txt", "o");
        app = std::make_unique<AppState>(dialogs());
        app->requests().quickLook = [] {};
        app->services().pasteboard.writeFiles = [this](const QStringList &paths, bool) {
            clipboardFiles = paths;
        };
        app->services().trashFolders = [] { return QStringList{FileLoader::mainTrash()}; };
        app->settings().setDualPane(true);
    }
    void TearDown() override {
        window.reset();
        app.reset();
    }
    // The main window, shown and active, with the keys going through the monitor.
    void open() {
        window = std::make_unique<MainWindow>(app.get());
        monitor = std::make_unique<KeyMonitor>(*app, window->commands());
        // The window's preview would take the focus from the keys pressed after Ctrl+Y.
        app->requests().quickLook = [] {};
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        show(app->left(), dir.path() + "/one/two");
        show(app->right(), dir.path() + "/other");
    }
    static void show(PaneModel *pane, const QString &folder) {
        pane->go(folder, true, {});
        QTRY_VERIFY_WITH_TIMEOUT(pane->currentPath() == folder && !pane->items().isEmpty(), 5000);
    }
    static void press(const QKeySequence &key) {
        QWidget *to =
            QApplication::focusWidget() ? QApplication::focusWidget() : QApplication::activeWindow();
        QTest::keyClick(to, key[0].key(), key[0].keyboardModifiers());
    }

    QTemporaryDir dir;
    QString file;
    std::unique_ptr<AppState> app;
    std::unique_ptr<KeyMonitor> monitor;
    std::unique_ptr<MainWindow> window;
    QStringList clipboardFiles;
};

} // namespace

TEST_F(KeysTest, EveryKeyOfTheLinuxTableBelongsToItsCommand) {
    Commands *commands = &testCommands(app.get());
    for (const Row &row : linuxKeys()) {
        QStringList owners;
        for (QAction *a : commands->actions())
            if (a->shortcuts().contains(row.key()) || commands->monitorKeys(a).contains(row.key()))
                owners << a->objectName();
        EXPECT_EQ(owners, QStringList{QString::fromUtf8(row.id)}) << row.key().toString().toStdString();
    }
}

// Pressed in the window as a user would: each key of the window's own reaches its command; keys the
// monitor serves are taken before any shortcut.
TEST_F(KeysTest, EveryWindowKeyReachesItsCommand) {
    // Something in the Trash, so that emptying it can act.
    QDir().mkpath(FileLoader::mainTrash());
    TestUtil::writeFile(FileLoader::mainTrash() + "/t.txt", "t");
    open();
    Commands *commands = &window->commands();
    // These end the window or need a sheet or a text field; their keys are checked elsewhere.
    const QStringList skipped{Cmd::quit, Cmd::closeWindow, Cmd::compare, Cmd::editRedo, Cmd::settings};
    for (const Row &row : linuxKeys()) {
        QAction *a = commands->action(QString::fromUtf8(row.id));
        if (skipped.contains(QString::fromUtf8(row.id)) || !a->shortcuts().contains(row.key())) continue;
        app->sides().setActive(Side::left);
        if (app->sides().leftTabs()->tabs().size() < 2) app->sides().leftTabs()->newTab();
        if (!app->left()->canGoBack() || !app->left()->canGoForward()) {
            show(app->left(), dir.path() + "/one/two");
            show(app->left(), dir.path() + "/one");
            app->left()->goBack();
            app->left()->goBack();
            app->left()->goForward();
        }
        app->settings().setDualPane(true);
        QTRY_VERIFY_WITH_TIMEOUT(!app->left()->items().isEmpty(), 5000);
        app->left()->setSelection({app->left()->items().first().path()});
        app->right()->setSelection({dir.path() + "/other/o.txt"});
        window->paneArea()->setFocus();
        EXPECT_TRUE(a->isEnabled()) << row.id;
        QSignalSpy hits(a, &QAction::triggered);
        press(row.key());
        EXPECT_EQ(hits.size(), 1) << row.key().toString().toStdString() << " for " << row.id;
        QTRY_VERIFY_WITH_TIMEOUT(!app->jobs().progress(), 10000);
        alerts.clear();
    }
}

// Pressed in the window, each key the monitor serves triggers its command of the registry, once.
TEST_F(KeysTest, EveryMonitorKeyReachesItsCommand) {
    open();
    Commands *commands = &window->commands();
    for (QAction *a : commands->actions())
        for (const QKeySequence &key : commands->monitorKeys(a)) {
            if (app->sides().leftTabs()->tabs().size() < 2) app->sides().leftTabs()->newTab();
            app->sides().setActive(Side::left);
            app->settings().setDualPane(true);
            if (app->undoJournal().entries().isEmpty())
                app->undoJournal().record("Neu", UndoAction::makeCreated({dir.path() + "/made.txt"}));
            QTRY_VERIFY_WITH_TIMEOUT(!app->left()->items().isEmpty(), 5000);
            app->left()->setSelection({app->left()->items().first().path()});
            window->paneArea()->setFocus();
            ASSERT_TRUE(a->isEnabled()) << a->objectName().toStdString();
            QSignalSpy hits(a, &QAction::triggered);
            press(key);
            EXPECT_EQ(hits.size(), 1)
                << key.toString().toStdString() << " for " << a->objectName().toStdString();
            QTRY_VERIFY_WITH_TIMEOUT(!app->jobs().progress(), 10000);
            show(app->left(), dir.path() + "/one/two");
            alerts.clear();
        }
    app->settings().setShowHidden(false);
}

// Window commands act on the window that has the focus: Ctrl+W in the settings closes the settings and
// leaves the main window open; in the main window it closes that one.
TEST_F(KeysTest, CtrlWClosesTheFocusedWindow) {
    open();
    QWidget *settings = SettingsWindow::open(app.get());
    ASSERT_TRUE(settings);
    settings->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(settings));
    press(QKeySequence(QStringLiteral("Ctrl+W")));
    QTRY_VERIFY_WITH_TIMEOUT(!settings->isVisible(), 2000);
    EXPECT_TRUE(window->isVisible());
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    press(QKeySequence(QStringLiteral("Ctrl+W")));
    QTRY_VERIFY_WITH_TIMEOUT(!window->isVisible(), 2000);
}

// Ctrl+C, Ctrl+V, Ctrl+Z and Ctrl+A belong to a text field with the focus, not to the files.
TEST_F(KeysTest, TextFieldsKeepTheirEditingKeys) {
    open();
    TestUtil::writeFile(dir.path() + "/made", "m");
    app->undoJournal().record("Neu", UndoAction::makeCreated({dir.path() + "/made"}));
    app->left()->setSelection({file});
    QLineEdit *search = window->searchField();
    search->setFocus();
    ASSERT_TRUE(search->hasFocus());
    QTest::keyClicks(search, "abc");
    QTest::keyClick(search, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(search->selectedText(), "abc");
    QTest::keyClick(search, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(search, Qt::Key_X, Qt::ControlModifier);
    EXPECT_TRUE(clipboardFiles.isEmpty());
    EXPECT_EQ(search->text(), "");
    QTest::keyClick(search, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(search->text(), "abc");
    QTest::keyClick(search, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(search->text(), "");
    EXPECT_EQ(app->left()->selection(), QSet<QString>{file}); // Ctrl+A selected no files
    EXPECT_TRUE(QFile::exists(dir.path() + "/made"));         // Ctrl+Z undid no file
    EXPECT_EQ(app->undoJournal().entries().size(), 1);

    // The Edit menu's entries go to the field as well, and redo is there while the field can redo.
    Commands *commands = &window->commands();
    EXPECT_TRUE(commands->action(Cmd::editRedo)->isEnabled());
    commands->action(Cmd::editRedo)->trigger();
    EXPECT_EQ(search->text(), "abc");
    commands->action(Cmd::editUndo)->trigger();
    EXPECT_EQ(search->text(), "");
    EXPECT_TRUE(QFile::exists(dir.path() + "/made"));
    commands->action(Cmd::paste)->trigger();
    EXPECT_EQ(search->text(), "abc");
    commands->action(Cmd::selectAll)->trigger();
    commands->action(Cmd::copy)->trigger();
    EXPECT_TRUE(clipboardFiles.isEmpty());
    // Delete and Backspace edit the text too: nothing goes to the Trash, the pane does not go back.
    search->clear();
    QTest::keyClicks(search, "xy");
    QTest::keyClick(search, Qt::Key_Left);
    QTest::keyClick(search, Qt::Key_Delete);
    QTest::keyClick(search, Qt::Key_Backspace);
    EXPECT_EQ(search->text(), "");
    EXPECT_TRUE(alerts.isEmpty());
    EXPECT_EQ(app->left()->currentPath(), dir.path() + "/one/two");
    // Back at the panes the same entries mean the files.
    window->paneArea()->setFocus();
    EXPECT_FALSE(commands->action(Cmd::editRedo)->isEnabled());
    commands->action(Cmd::copy)->trigger();
    EXPECT_EQ(clipboardFiles, QStringList{file});
}

// The commands' keys go through the monitor to the registry: Ctrl+Shift+period whatever has the focus,
// nothing while a modal question is up.
TEST_F(KeysTest, HiddenFilesShortcutAndModalQuestions) {
    const LanguageScope de(AppLanguage::de);
    KeyMonitor monitor(*app, testCommands(app.get()));
    app->settings().setShowHidden(false); // whatever an earlier test of this program left
    KeyPress toggle{Qt::Key_Greater, Qt::ControlModifier | Qt::ShiftModifier, ">", true, false};
    EXPECT_TRUE(monitor.keyDown(toggle)); // even while a text field has the focus
    EXPECT_TRUE(app->settings().showHidden());
    app->settings().save(); // written after a pause; now
    EXPECT_EQ(Defaults::boolValue("showHidden"), true);
    EXPECT_EQ(app->toast()->text, "Unsichtbare Dateien werden angezeigt.");
    app->settings().setShowHidden(true); // unchanged value still toasts and writes
    EXPECT_EQ(app->toast()->text, "Unsichtbare Dateien werden angezeigt.");
    app->settings().setShowHidden(false);

    KeyPress down{Qt::Key_Down, Qt::NoModifier, {}, false, true};
    EXPECT_FALSE(monitor.keyDown(down)); // a modal question is up: browser keys are left alone
    KeyPress copy{Qt::Key_C, Qt::ControlModifier, "c", false, true};
    EXPECT_FALSE(monitor.keyDown(copy));
    KeyPress altDown{Qt::Key_Down, Qt::AltModifier, {}, false, false};
    EXPECT_FALSE(monitor.keyDown(altDown));
    toggle.modalOpen = true; // taken, and nothing happens
    EXPECT_TRUE(monitor.keyDown(toggle));
    EXPECT_FALSE(app->settings().showHidden());
}

TEST_F(KeysTest, KeysDriveTheActivePane) {
    KeyMonitor monitor(*app, testCommands(app.get()));
    QTemporaryDir fruit;
    for (const char *n : {"apple", "banana", "cherry", "cherry.pie", "czytanie 1", "czytanie 3"})
        TestUtil::writeFile(fruit.path() + "/" + n, "x");
    show(app->left(), fruit.path());
    const QString path = fruit.path();
    EXPECT_TRUE(monitor.keyDown({Qt::Key_Down, Qt::NoModifier, {}, false, false}));
    EXPECT_EQ(app->left()->selectedPaths(), QStringList{path + "/apple"});
    EXPECT_TRUE(monitor.keyDown({Qt::Key_C, Qt::NoModifier, "c", false, false}));
    EXPECT_EQ(app->left()->selectedPaths(), QStringList{path + "/cherry"});
    for (const char *typed : {"h", "e", "r", "r", "y", "."}) // a name's dot is typed too
        EXPECT_TRUE(
            monitor.keyDown({*typed == '.' ? int(Qt::Key_Period) : Qt::Key_A + (*typed - 'a'), {}, typed}));
    EXPECT_EQ(app->left()->selectedPaths(), QStringList{path + "/cherry.pie"});
    // A space within a run is part of the name; after the run's pause it is the preview's key again.
    int previews = 0;
    app->requests().quickLook = [&previews] { ++previews; };
    testCommands(app.get()).update();
    const auto pause = [&] {
        app->services().timings.typeSelectMs = 0;
        QTest::qWait(5);
    };
    pause();
    EXPECT_TRUE(monitor.keyDown({Qt::Key_Space, Qt::NoModifier, " "}));
    EXPECT_EQ(previews, 1);
    for (const QChar c : QStringLiteral("czytanie 3")) {
        EXPECT_TRUE(monitor.keyDown({c.toUpper().unicode(), Qt::NoModifier, QString(c)}));
        app->services().timings.typeSelectMs = 60'000; // begun: no slow machine's pause ends the run
    }
    EXPECT_EQ(app->left()->selectedPaths(), QStringList{path + "/czytanie 3"});
    EXPECT_EQ(previews, 1);
    pause();
    EXPECT_TRUE(monitor.keyDown({Qt::Key_Space, Qt::NoModifier, " "}));
    EXPECT_EQ(previews, 2);
    EXPECT_TRUE(monitor.keyDown({Qt::Key_Escape, Qt::NoModifier, {}, false, false}));
    EXPECT_TRUE(app->left()->selection().isEmpty());
    EXPECT_FALSE(monitor.keyDown({Qt::Key_Escape, Qt::NoModifier, {}, false, false}));
    EXPECT_TRUE(monitor.keyDown({Qt::Key_Tab, Qt::NoModifier, {}, false, false}));
    EXPECT_EQ(app->sides().active(), Side::right);
    EXPECT_TRUE(monitor.keyDown({Qt::Key_Backtab, Qt::ShiftModifier, {}, false, false}));
    EXPECT_EQ(app->sides().active(), Side::left);
    EXPECT_TRUE(monitor.keyDown({Qt::Key_Tab, Qt::NoModifier, {}, false, false}));
    app->settings().setDualPane(false);
    // One pane: the key and the menu entry alike leave the sides as they are.
    EXPECT_FALSE(monitor.keyDown({Qt::Key_Tab, Qt::NoModifier, {}, false, false}));
    EXPECT_FALSE(testCommands(app.get()).action(Cmd::otherSide)->isEnabled());
    // Ctrl+W with one tab is left to the window; with two it closes the current one.
    EXPECT_FALSE(monitor.keyDown({Qt::Key_W, Qt::ControlModifier, "w", false, false}));
    EXPECT_TRUE(monitor.keyDown({Qt::Key_T, Qt::ControlModifier, "t", false, false}));
    EXPECT_EQ(app->sides().rightTabs()->tabs().size(), 2);
    EXPECT_TRUE(monitor.keyDown({Qt::Key_W, Qt::ControlModifier, "w", false, false}));
    EXPECT_EQ(app->sides().rightTabs()->tabs().size(), 1);
}

// Enter and Ctrl+Down open the selection (with none they go on); Space previews once there is a preview.
TEST_F(KeysTest, KeysOpenAndPreview) {
    KeyMonitor monitor(*app, testCommands(app.get()));
    QStringList opened;
    app->services().openFile = [&opened](const QString &path) { return opened << path, true; };
    app->requests().quickLook = nullptr;
    testCommands(app.get()).update();
    const QString folder = dir.path() + "/k", a = folder + "/a.txt";
    QDir().mkpath(folder);
    TestUtil::writeFile(a, "a");
    show(app->left(), folder);
    auto key = [&monitor](int k, Qt::KeyboardModifiers mods = {}) {
        KeyPress p;
        p.key = k;
        p.modifiers = mods;
        return monitor.keyDown(p);
    };
    EXPECT_FALSE(key(Qt::Key_Return));
    app->left()->setSelection({a});
    EXPECT_TRUE(key(Qt::Key_Return) && key(Qt::Key_Enter, Qt::KeypadModifier) &&
                key(Qt::Key_Down, Qt::ControlModifier));
    EXPECT_EQ(opened, (QStringList{a, a, a}));
    EXPECT_FALSE(key(Qt::Key_Space));
    int previews = 0;
    app->requests().quickLook = [&previews] { ++previews; };
    testCommands(app.get()).update(); // the preview's hook was filled
    EXPECT_TRUE(key(Qt::Key_Space));
    EXPECT_EQ(previews, 1);
}

// A new user's first steps: select a file, press Delete, find it in the Trash, press Ctrl+Z, find it back.
TEST_F(KeysTest, DeleteThenUndoBringsTheFileBack) {
    const LanguageScope de(AppLanguage::de);
    QDir(TrashRoots::homeTrash()).removeRecursively();
    QDir().mkpath(FileLoader::mainTrash());
    open();
    app->left()->setSelection({file});
    window->paneArea()->setFocus();
    answers = {AlertRole::confirm};
    press(QKeySequence(Qt::Key_Delete));
    ASSERT_EQ(alerts.size(), 1);
    EXPECT_EQ(alerts.first().message, "„a.txt“ in den Papierkorb legen?");
    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(file) && !app->jobs().progress(), 5000);
    EXPECT_TRUE(QFile::exists(FileLoader::mainTrash() + "/a.txt"));

    press(QKeySequence(Qt::CTRL | Qt::Key_Z));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(file) && !app->jobs().progress(), 5000);
    EXPECT_FALSE(QFile::exists(FileLoader::mainTrash() + "/a.txt"));
    EXPECT_TRUE(app->undoJournal().entries().isEmpty());
}

// F10 opens the first menu of the menu bar and Alt with a title's mnemonic that title's menu; Shift+F10 and
// the menu key open the menu of the selection at the cursor (the background menu with nothing selected)
// in every view; an open menu takes the arrows, Enter and Escape.
TEST_F(KeysTest, MenusOpenByKeys) {
    open();
    auto *bar = qobject_cast<MainMenuBar *>(window->menuBar());
    ASSERT_TRUE(bar);
    auto popup = [] { return qobject_cast<QMenu *>(QApplication::activePopupWidget()); };
    auto closeMenus = [&] {
        while (QMenu *menu = popup())
            QTest::keyClick(menu, Qt::Key_Escape);
        // The menu bar may keep the keys after its menu closed.
        if (bar->hasFocus()) QTest::keyClick(bar, Qt::Key_Escape);
        window->paneArea()->setFocus();
    };
    window->paneArea()->setFocus();
    press(QKeySequence(Qt::Key_F10));
    QTRY_VERIFY_WITH_TIMEOUT(popup() == bar->fileMenu(), 3000);
    closeMenus();
    QTRY_VERIFY_WITH_TIMEOUT(!popup(), 3000);
    for (QMenu *menu : {bar->filesMenu(), bar->helpMenu()}) {
        const QKeySequence mnemonic = QKeySequence::mnemonic(menu->menuAction()->text());
        ASSERT_FALSE(mnemonic.isEmpty()) << menu->title().toStdString();
        press(mnemonic);
        QTRY_VERIFY_WITH_TIMEOUT(popup() == menu, 3000);
        closeMenus();
    }

    QStringList opened;
    app->services().openFile = [&opened](const QString &path) { return opened << path, true; };
    PaneModel *pane = app->left();
    int rounds = 0;
    for (ViewMode mode : {ViewMode::list, ViewMode::icons, ViewMode::columns}) {
        SCOPED_TRACE(int(mode));
        app->sides().setActive(Side::left);
        pane->setViewMode(mode);
        show(pane, dir.path() + "/one/two");
        pane->setSelection({file});
        pane->setCursor(file);
        window->paneArea()->setFocus();
        press(QKeySequence(Qt::SHIFT | Qt::Key_F10));
        QTRY_VERIFY_WITH_TIMEOUT(popup(), 3000);
        ASSERT_FALSE(popup()->actions().isEmpty());
        EXPECT_EQ(popup()->actions().first()->objectName(), Cmd::open);
        // Down to the first entry, Enter: the file opens.
        QTest::keyClick(popup(), Qt::Key_Down);
        QTest::keyClick(popup(), Qt::Key_Return);
        ++rounds;
        QTRY_COMPARE_WITH_TIMEOUT(opened.size(), rounds, 3000);
        EXPECT_EQ(opened.last(), file);
        QTRY_VERIFY_WITH_TIMEOUT(!popup(), 3000);

        pane->setSelection({});
        window->paneArea()->setFocus();
        press(QKeySequence(Qt::Key_Menu));
        QTRY_VERIFY_WITH_TIMEOUT(popup(), 3000);
        EXPECT_NE(popup()->actions().first()->objectName(), Cmd::open); // the background menu
        QTest::keyClick(popup(), Qt::Key_Escape);
        QTRY_VERIFY_WITH_TIMEOUT(!popup(), 3000);
    }
}

// After F10 and Escape the menu bar keeps the focus, and with it every key: the arrows, Return and Space
// open its menus, nothing reaches the files; neither the menu key nor a right click offers the window's
// own menu, whose one entry would hide the toolbar for good.
TEST_F(KeysTest, TheMenuBarInKeyboardModeKeepsEveryKey) {
    open();
    auto *bar = qobject_cast<MainMenuBar *>(window->menuBar());
    ASSERT_TRUE(bar);
    QStringList opened;
    app->services().openFile = [&opened](const QString &path) { return opened << path, true; };
    auto popup = [] { return qobject_cast<QMenu *>(QApplication::activePopupWidget()); };
    // Any other menu that opens is noted and closed (Qt's own one runs an event loop of its own).
    QStringList strangers;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        QMenu *m = popup();
        if (!m || m == bar->fileMenu() || m == bar->editMenu()) return;
        strangers << QString::number(m->actions().size()) + " entries";
        m->close();
    });
    watch.start(20);
    app->sides().setActive(Side::left);
    app->left()->setSelection({file});
    app->left()->setCursor(file);
    window->paneArea()->setFocus();
    const QImage unmarked = bar->grab().toImage();
    press(QKeySequence(Qt::Key_F10));
    QTRY_VERIFY_WITH_TIMEOUT(popup() == bar->fileMenu(), 3000);
    QTest::keyClick(popup(), Qt::Key_Escape);
    QTRY_VERIFY_WITH_TIMEOUT(!popup(), 3000);
    ASSERT_TRUE(bar->hasFocus());
    // The title the arrows are on shows.
    EXPECT_NE(bar->grab().toImage(), unmarked);
    for (int key : {Qt::Key_Down, Qt::Key_Return, Qt::Key_Space}) {
        press(QKeySequence(key));
        QTRY_VERIFY_WITH_TIMEOUT(popup() == bar->fileMenu(), 3000);
        QTest::keyClick(popup(), Qt::Key_Escape);
        QTRY_VERIFY_WITH_TIMEOUT(!popup(), 3000);
        EXPECT_TRUE(bar->hasFocus());
    }
    press(QKeySequence(Qt::Key_Right));
    press(QKeySequence(Qt::Key_Down));
    QTRY_VERIFY_WITH_TIMEOUT(popup() == bar->editMenu(), 3000);
    QTest::keyClick(popup(), Qt::Key_Escape);
    QTRY_VERIFY_WITH_TIMEOUT(!popup(), 3000);
    press(QKeySequence(Qt::Key_Delete));
    press(QKeySequence(Qt::CTRL | Qt::Key_A));
    // The menu key as the X11 platform delivers it: the key, then a menu request of the keyboard to the
    // window, which hands it to the focus widget.
    press(QKeySequence(Qt::Key_Menu));
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(4, 4), window->mapToGlobal(QPoint(4, 4)));
    QApplication::sendEvent(window->windowHandle(), &menuKey);
    QTest::qWait(100);
    EXPECT_TRUE(strangers.isEmpty()) << strangers.join(", ").toStdString();
    EXPECT_TRUE(alerts.isEmpty());
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_EQ(app->left()->selection(), QSet<QString>{file});
    // Escape leaves the bar; the selection stays.
    if (bar->hasFocus()) press(QKeySequence(Qt::Key_Escape));
    QTRY_VERIFY_WITH_TIMEOUT(!bar->hasFocus(), 3000);
    EXPECT_EQ(app->left()->selection(), QSet<QString>{file});
    // A right click on the bar and on the toolbar.
    for (QWidget *on : {static_cast<QWidget *>(bar), static_cast<QWidget *>(window->toolbar())}) {
        const QPoint at = on->mapTo(window.get(), QPoint(on->width() - 8, on->height() / 2));
        QTest::mouseClick(window->windowHandle(), Qt::RightButton, {}, at);
        QTest::qWait(100);
    }
    EXPECT_TRUE(strangers.isEmpty()) << strangers.join(", ").toStdString();
    EXPECT_TRUE(window->toolbar()->isVisible());
}

// Ctrl+F leads to the search field, Escape (and Return once hits are shown) back to the files; Ctrl+F6 and
// Ctrl+Shift+F6 go round the sidebar, the panes and the search field; in the sidebar the arrows move
// through the places and Enter opens one.
TEST_F(KeysTest, CtrlFAndCtrlF6LeadToEveryPartOfTheWindow) {
    app->settings().setShowSidebar(true);
    app->sidebar().toggleFavorite(dir.path() + "/other");
    open();
    auto *view = qobject_cast<SidebarView *>(window->sidebarColumn());
    ASSERT_TRUE(view);
    QTRY_VERIFY_WITH_TIMEOUT(view->row(dir.path() + "/other"), 5000);
    QLineEdit *search = window->searchField();
    PaneModel *left = app->left();
    app->sides().setActive(Side::left);
    window->paneArea()->setFocus();
    press(QKeySequence(Qt::CTRL | Qt::Key_F));
    ASSERT_TRUE(search->hasFocus());
    press(QKeySequence(Qt::Key_A));
    EXPECT_EQ(search->text(), "a");
    EXPECT_EQ(left->searchText(), "a");
    press(QKeySequence(Qt::Key_Escape));
    EXPECT_TRUE(window->paneArea()->hasFocus());
    press(QKeySequence(Qt::CTRL | Qt::Key_F));
    ASSERT_TRUE(search->hasFocus());
    press(QKeySequence(Qt::Key_Return));
    EXPECT_TRUE(window->paneArea()->hasFocus());
    // With the first hit selected, for the next key.
    QTRY_COMPARE_WITH_TIMEOUT(left->selection(), QSet<QString>{file}, 3000);
    EXPECT_EQ(left->cursor(), file);
    left->setSearchText({});

    using Part = MainWindow::Part;
    const Part ahead[] = {Part::rightPane, Part::search, Part::sidebar, Part::leftPane};
    for (Part part : ahead) {
        press(QKeySequence(Qt::CTRL | Qt::Key_F6));
        EXPECT_EQ(window->focusedPart(), part);
    }
    EXPECT_EQ(app->sides().active(), Side::left);
    EXPECT_TRUE(window->paneArea()->hasFocus());
    press(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F6));
    ASSERT_EQ(window->focusedPart(), Part::sidebar);
    auto *sidebar = qobject_cast<SidebarView *>(window->sidebarColumn());
    ASSERT_TRUE(sidebar);
    const QList<SidebarRow *> rows = sidebar->rows();
    // No row shows the pane's folder: the first one takes the focus.
    EXPECT_EQ(QApplication::focusWidget(), rows.value(0));

    // Down to the favourite, Enter: it opens in the active pane, whose selection the keys left alone.
    const qsizetype to = rows.indexOf(sidebar->row(dir.path() + "/other"));
    ASSERT_GT(to, 0);
    left->setSelection({file});
    press(QKeySequence(Qt::Key_End));
    press(QKeySequence(Qt::Key_Home));
    for (qsizetype i = 0; i < to; ++i)
        press(QKeySequence(Qt::Key_Down));
    EXPECT_EQ(QApplication::focusWidget(), rows[to]);
    EXPECT_EQ(left->selection(), QSet<QString>{file});
    // F10 opens the menu bar from here too.
    press(QKeySequence(Qt::Key_F10));
    auto *bar = qobject_cast<MainMenuBar *>(window->menuBar());
    QTRY_VERIFY_WITH_TIMEOUT(QApplication::activePopupWidget() == bar->fileMenu(), 3000);
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    QTRY_VERIFY_WITH_TIMEOUT(!QApplication::activePopupWidget(), 3000);
    press(QKeySequence(Qt::Key_Escape));
    QTRY_COMPARE_WITH_TIMEOUT(QApplication::focusWidget(), rows[to], 3000);
    press(QKeySequence(Qt::Key_Return));
    QTRY_COMPARE_WITH_TIMEOUT(left->currentPath(), dir.path() + "/other", 3000);
    EXPECT_EQ(window->focusedPart(), Part::sidebar);
    press(QKeySequence(Qt::CTRL | Qt::Key_F6));
    EXPECT_TRUE(window->paneArea()->hasFocus());
    // Back in the sidebar, the row of the shown folder has the focus.
    press(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F6));
    EXPECT_EQ(QApplication::focusWidget(), sidebar->row(dir.path() + "/other"));
}

// The inspector's name field takes the keys by Ctrl+F6 and gives them back to the files: Escape takes back
// what was typed, Enter renames, and Ctrl+Z then undoes the rename rather than the typing. A window that
// goes (as at quit) with a name typed says nothing into itself.
TEST_F(KeysTest, TheInspectorsFieldsTakeAndGiveBackTheKeys) {
    app->settings().setShowSidebar(false);
    app->settings().setShowInspector(true);
    open();
    const QString o = dir.path() + "/other/o.txt";
    const QString made = dir.path() + "/other/p:q.txt";
    app->sides().setActive(Side::right);
    window->focusPart(MainWindow::Part::rightPane);
    app->right()->setSelection({o});
    auto *inspector = qobject_cast<InspectorView *>(window->inspectorColumn());
    ASSERT_TRUE(inspector && inspector->form());
    QTRY_VERIFY_WITH_TIMEOUT(inspector->form()->state()->loaded(), 5000);
    QLineEdit *name = inspector->form()->nameField();

    press(QKeySequence(Qt::CTRL | Qt::Key_F6));
    EXPECT_EQ(window->focusedPart(), MainWindow::Part::inspector);
    ASSERT_TRUE(name->hasFocus());
    QTest::keyClicks(name, "p/q.txt");
    press(QKeySequence(Qt::Key_Escape));
    EXPECT_EQ(name->text(), "o.txt");
    EXPECT_TRUE(window->paneArea()->hasFocus());
    EXPECT_EQ(app->right()->selection(), QSet<QString>{o}); // Escape was no deselect of the files

    press(QKeySequence(Qt::CTRL | Qt::Key_F6));
    ASSERT_TRUE(name->hasFocus());
    QTest::keyClicks(name, "p/q.txt");
    press(QKeySequence(Qt::Key_Return));
    EXPECT_TRUE(QFile::exists(made));
    EXPECT_EQ(name->text(), "p:q.txt");
    EXPECT_TRUE(window->paneArea()->hasFocus());
    press(QKeySequence(Qt::CTRL | Qt::Key_Z));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(o) && !QFile::exists(made) && !app->jobs().progress(), 5000);

    app->right()->setSelection({o});
    QTRY_VERIFY_WITH_TIMEOUT(inspector->form() && inspector->form()->state()->path() == o, 5000);
    // Tags typed and left by Tab are written.
    QLineEdit *tags = inspector->form()->tagsField();
    tags->setFocus(Qt::MouseFocusReason);
    QTest::keyClicks(tags, "Blau");
    press(QKeySequence(Qt::Key_Tab));
    EXPECT_FALSE(tags->hasFocus());
    // Escape takes back what was typed there: leaving the field then changes nothing.
    tags->setFocus(Qt::MouseFocusReason);
    QTest::keyClicks(tags, ", Rot");
    press(QKeySequence(Qt::Key_Escape));
    EXPECT_FALSE(tags->hasFocus());
    if (Xattr::set(o, "user.probe", "1") == 0) {
        // The tags as written (read back after the Tab, maybe only now).
        QTRY_COMPARE_WITH_TIMEOUT(tags->text(), QString("Blau"), 5000);
        EXPECT_EQ(FileOps::tags(o), QStringList{"Blau"});
    }
    window->focusPart(MainWindow::Part::rightPane);
    press(QKeySequence(Qt::CTRL | Qt::Key_F6));
    name = inspector->form()->nameField();
    ASSERT_TRUE(name->hasFocus());
    QTest::keyClicks(name, "never.txt");
    monitor.reset();
    window.reset();
    EXPECT_FALSE(app->toast() && app->toast()->text.contains("never.txt")) << qPrintable(app->toast()->text);
    EXPECT_TRUE(QFile::exists(o));
}

// Keys act on what has the focus. On a sidebar row or a toolbar button the keys of the commands on the
// files leave the pane's selection alone; Shift+F10 opens the row's own menu; undo and the window's keys
// work from anywhere; the menus still act on the pane the keys last served.
TEST_F(KeysTest, KeysOnTheFilesActOnlyFromAPane) {
    app->settings().setShowSidebar(true);
    // More than the selected file, so that selecting all or moving down would change the selection.
    TestUtil::writeFile(dir.path() + "/one/two/b.txt", "b");
    TestUtil::writeFile(dir.path() + "/one/two/c.txt", "c");
    open();
    QTRY_COMPARE_WITH_TIMEOUT(app->left()->items().size(), 3, 5000);
    auto *sidebar = qobject_cast<SidebarView *>(window->sidebarColumn());
    ASSERT_TRUE(sidebar);
    const QString folder = dir.path() + "/one/two";
    PaneModel *left = app->left();
    app->sides().setActive(Side::left);
    auto popup = [] { return qobject_cast<QMenu *>(QApplication::activePopupWidget()); };
    QWidget *button = window->toolbar()->item(QStringLiteral("sidebar"));
    ASSERT_TRUE(button);
    for (QWidget *part : {static_cast<QWidget *>(nullptr), button}) {
        SCOPED_TRACE(part ? "toolbar" : "sidebar");
        left->setSelection({file});
        if (part)
            part->setFocus(Qt::TabFocusReason);
        else
            window->focusPart(MainWindow::Part::sidebar);
        ASSERT_FALSE(window->paneArea()->hasFocus());
        for (const QKeySequence &key :
             {QKeySequence(Qt::Key_Delete), QKeySequence(Qt::Key_F2), QKeySequence(Qt::CTRL | Qt::Key_D),
              QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Right),
              QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N), QKeySequence(Qt::CTRL | Qt::Key_A),
              QKeySequence(Qt::Key_Down)})
            press(key);
        QTest::qWait(200);
        EXPECT_TRUE(alerts.isEmpty());
        EXPECT_TRUE(textQuestions.isEmpty());
        EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                  (QStringList{"a.txt", "b.txt", "c.txt"}));
        EXPECT_FALSE(QFileInfo::exists(dir.path() + "/other/a.txt"));
        EXPECT_EQ(left->selection(), QSet<QString>{file});
        EXPECT_FALSE(app->jobs().progress());
        // Undo is the window's: it works here.
        app->undoJournal().record("Neu", UndoAction::makeCreated({dir.path() + "/made.txt"}));
        QSignalSpy undone(window->commands().action(Cmd::undo), &QAction::triggered);
        press(QKeySequence(Qt::CTRL | Qt::Key_Z));
        EXPECT_EQ(undone.size(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!app->jobs().progress(), 5000);
        alerts.clear();
    }

    // Shift+F10 on a row opens what its right click offers.
    QTRY_VERIFY_WITH_TIMEOUT(!sidebar->rows().isEmpty(), 5000);
    window->focusPart(MainWindow::Part::sidebar);
    press(QKeySequence(Qt::SHIFT | Qt::Key_F10));
    QTRY_VERIFY_WITH_TIMEOUT(popup(), 3000);
    EXPECT_EQ(popup()->actions().first()->objectName(), "newTab");
    QTest::keyClick(popup(), Qt::Key_Escape);
    QTRY_VERIFY_WITH_TIMEOUT(!popup(), 3000);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));

    // A menu entry chosen while the sidebar has the focus acts on the active pane.
    window->focusPart(MainWindow::Part::sidebar);
    window->commands().action(Cmd::duplicate)->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(QDir(folder).entryList(QDir::Files).size() == 4 && !app->jobs().progress(),
                             5000);
    // Back in the pane the same key acts on the files.
    window->focusPart(MainWindow::Part::leftPane);
    left->setSelection({file});
    press(QKeySequence(Qt::Key_F2));
    EXPECT_EQ(textQuestions.size(), 1);
}

// Tab in a pane switches the panes. From the search field Tab and Shift+Tab go round the toolbar's buttons,
// each showing the focus; Space, Return and Down open a button's menu, where the arrows and Return work;
// Escape closes it, and once more leads back to the files. Nothing of this acts on the files.
TEST_F(KeysTest, TabGoesRoundTheToolbarFromTheSearchField) {
    open();
    int looks = 0;
    app->requests().quickLook = [&looks] { ++looks; };
    MainToolbar *toolbar = window->toolbar();
    auto *star = qobject_cast<QToolButton *>(toolbar->item(QStringLiteral("favoritesMenu")));
    ASSERT_TRUE(star);
    QLineEdit *search = window->searchField();
    PaneModel *left = app->left();
    app->sides().setActive(Side::left);
    window->paneArea()->setFocus();
    left->setSelection({file});
    press(QKeySequence(Qt::Key_Tab));
    EXPECT_EQ(app->sides().active(), Side::right);
    press(QKeySequence(Qt::Key_Tab));
    EXPECT_EQ(app->sides().active(), Side::left);
    ASSERT_TRUE(window->paneArea()->hasFocus());

    press(QKeySequence(Qt::CTRL | Qt::Key_F));
    ASSERT_TRUE(search->hasFocus());
    // The search field is a text field: the keys that work in every field work there.
    const bool hidden = app->settings().showHidden();
    press(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Period));
    EXPECT_NE(app->settings().showHidden(), hidden);
    QList<QWidget *> round;
    QList<QImage> focused;
    for (int i = 0; i < 60 && (round.isEmpty() || QApplication::focusWidget() != search); ++i) {
        press(QKeySequence(Qt::Key_Tab));
        QWidget *at = QApplication::focusWidget();
        if (at == search) break;
        ASSERT_TRUE(at && toolbar->isAncestorOf(at));
        ASSERT_FALSE(round.contains(at)) << at->objectName().toStdString();
        round << at;
        focused << at->grab().toImage();
    }
    EXPECT_EQ(QApplication::focusWidget(), search);
    EXPECT_TRUE(round.contains(star));
    EXPECT_TRUE(round.contains(toolbar->item(QStringLiteral("sidebar"))));
    EXPECT_TRUE(round.contains(toolbar->item(QStringLiteral("trash"))));
    EXPECT_EQ(app->sides().active(), Side::left);
    for (qsizetype i = 0; i < round.size(); ++i)
        EXPECT_FALSE(round[i]->grab().toImage() == focused[i])
            << "no focus mark on " << round[i]->objectName().toStdString();
    // Backwards the same way, to the star.
    for (qsizetype i = round.size() - 1; i >= 0 && QApplication::focusWidget() != star; --i) {
        press(QKeySequence(Qt::SHIFT | Qt::Key_Backtab));
        ASSERT_EQ(QApplication::focusWidget(), round[i]);
    }
    ASSERT_TRUE(star->hasFocus());

    // Each key opens the star's menu; in it Down, Down and Return add the pane's folder to the favourites.
    const QString target = left->targetFolder();
    for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Down}) {
        SCOPED_TRACE(int(key));
        QMenu *opened = nullptr;
        QTimer inMenu;
        inMenu.setSingleShot(true);
        QObject::connect(&inMenu, &QTimer::timeout, [&] {
            opened = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            if (!opened) return;
            // The platform's news of the popup's showing comes as an event of its own; handled after the
            // popup closed, it would leave the focus with the closed popup.
            QCoreApplication::processEvents();
            if (key == Qt::Key_Down) {
                QTest::keyClick(opened, Qt::Key_Down);
                QTest::keyClick(opened, Qt::Key_Down);
                EXPECT_EQ(opened->activeAction()->objectName(), "toggleFavorite");
                QTest::keyClick(opened, Qt::Key_Return);
            } else {
                QTest::keyClick(opened, Qt::Key_Escape);
            }
        });
        inMenu.start(100);
        press(QKeySequence(key));
        QTRY_VERIFY_WITH_TIMEOUT(!inMenu.isActive() && !QApplication::activePopupWidget(), 3000);
        EXPECT_EQ(opened, star->menu());
        QTRY_VERIFY_WITH_TIMEOUT(star->hasFocus(), 2000);
    }
    EXPECT_TRUE(app->settings().quickFavorites().contains(target));
    EXPECT_EQ(looks, 0);
    EXPECT_EQ(left->selection(), QSet<QString>{file});
    EXPECT_TRUE(alerts.isEmpty());

    press(QKeySequence(Qt::Key_Escape));
    EXPECT_TRUE(window->paneArea()->hasFocus());
    EXPECT_EQ(left->selection(), QSet<QString>{file});
    press(QKeySequence(Qt::Key_Tab));
    EXPECT_EQ(app->sides().active(), Side::right);
}

// Pressed in the window, in every view: a new folder and a renamed item take the cursor and the selection
// and keep them while the listings settle, so the next F2 or Delete acts on them.
TEST_F(KeysTest, NewAndRenamedItemsAreSelectedForTheNextKey) {
    QDir(TrashRoots::homeTrash()).removeRecursively();
    QDir().mkpath(FileLoader::mainTrash());
    open();
    app->services().timings.renameRefreshMs = 50;
    const QString folder = dir.path() + "/one/two";
    PaneModel *pane = app->left();
    int round = 0;
    for (ViewMode mode : {ViewMode::list, ViewMode::icons, ViewMode::columns}) {
        SCOPED_TRACE(int(mode));
        show(pane, folder);
        app->sides().setActive(Side::left);
        pane->setViewMode(mode);
        window->paneArea()->setFocus();
        const QStringList before = QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        press(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
        QString made;
        QTRY_VERIFY_WITH_TIMEOUT(
            QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size() > before.size(), 5000);
        for (const QString &name : QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            if (!before.contains(name)) made = folder + "/" + name;
        QTRY_VERIFY_WITH_TIMEOUT(pane->visibleRow(made) >= 0, 5000);
        QTest::qWait(400); // the listings the new folder set off
        EXPECT_EQ(pane->selection(), QSet<QString>{made});
        EXPECT_EQ(pane->cursor(), made);
        EXPECT_EQ(app->sides().active(), Side::left);

        const QString renamed = folder + "/renamed" + QString::number(++round);
        textAnswers = {renamed.section(u'/', -1)};
        press(QKeySequence(Qt::Key_F2));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(renamed) && pane->visibleRow(renamed) >= 0, 5000);
        QTest::qWait(400);
        EXPECT_EQ(pane->selection(), QSet<QString>{renamed});
        EXPECT_EQ(pane->cursor(), renamed);

        answers = {AlertRole::confirm};
        press(QKeySequence(Qt::Key_Delete));
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(renamed) && !app->jobs().progress(), 5000);
        alerts.clear();
    }
}

// A copy by keys to the other side: what was made is selected in every pane that shows the destination,
// whatever its view, and the keys stay with the side the user is on.
TEST_F(KeysTest, ACopyToTheOtherSideSelectsWhatItMadeThere) {
    open();
    const QString to = dir.path() + "/other";
    app->sides().rightTabs()->newTab(to);
    QList<PaneModel *> showing = app->sides().rightTabs()->tabs();
    int round = 0;
    for (ViewMode mode : {ViewMode::list, ViewMode::icons, ViewMode::columns}) {
        SCOPED_TRACE(int(mode));
        for (PaneModel *p : showing)
            p->setViewMode(mode);
        const QString source = dir.path() + "/one/two/c" + QString::number(++round) + ".txt";
        TestUtil::writeFile(source, "c");
        show(app->left(), dir.path() + "/one/two");
        QTRY_VERIFY_WITH_TIMEOUT(app->left()->visibleRow(source) >= 0, 5000);
        app->sides().setActive(Side::left);
        app->left()->setSelection({source});
        window->paneArea()->setFocus();
        press(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Right));
        const QString copy = to + "/" + source.section(u'/', -1);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(copy) && !app->jobs().progress(), 5000);
        for (PaneModel *p : showing)
            QTRY_VERIFY_WITH_TIMEOUT(p->visibleRow(copy) >= 0, 5000);
        QTest::qWait(400);
        for (PaneModel *p : showing)
            EXPECT_EQ(p->selection(), QSet<QString>{copy});
        EXPECT_EQ(app->sides().active(), Side::left);
    }
}

// The main window settles unseen and then fades in, once; other windows show at once.
TEST(AppDelegateTest, TheMainWindowFadesInOnceAfterSettling) {
    ASSERT_TRUE(AppDelegate::canFade()); // the test platform can
    const AppDelegate::Timings kept = AppDelegate::timings();
    AppDelegate::timings() = {60, 40};
    AppDelegate delegate;
    QWidget main, other;
    main.setWindowTitle("Kestrin");
    other.setWindowTitle("Kestrin-Handbuch");
    main.show();
    other.show();
    EXPECT_EQ(main.windowOpacity(), 0.0);
    EXPECT_EQ(other.windowOpacity(), 1.0);
    QTest::qWait(30);
    EXPECT_EQ(main.windowOpacity(), 0.0); // still settling
    QTRY_COMPARE_WITH_TIMEOUT(main.windowOpacity(), 1.0, 2000);
    main.hide();
    main.show();
    EXPECT_EQ(main.windowOpacity(), 1.0);
    AppDelegate::timings() = kept;
}

// A dialog of a window at the screen's edge lies on the screen: after the window manager placed it (here
// centred on its window, partly off the screen) and after the program made it taller than the screen.
// Once placed, the user may still move it partly off the screen.
TEST(AppDelegateTest, ADialogOfAWindowAtTheScreensEdgeLiesOnTheScreen) {
    const AppDelegate::Timings kept = AppDelegate::timings();
    AppDelegate::timings() = {60, 40, 300};
    AppDelegate delegate;
    const QRect screen = ScreenFit::visible();
    QWidget main;
    main.setWindowTitle("Kestrin");
    main.show();
    QTest::qWait(20); // fitted once; then the user moves it partly off the screen
    main.setGeometry(screen.right() - 250, screen.bottom() - 200, 600, 400);
    QDialog dialog(&main);
    dialog.resize(400, 300);
    dialog.open();
    dialog.move(main.geometry().center() - QPoint(200, 150));
    QTRY_VERIFY_WITH_TIMEOUT(screen.contains(dialog.frameGeometry()), 2000);

    QTest::qWait(AppDelegate::timings().placingMs + 50);
    dialog.resize(400, screen.height() + 100);
    QTRY_VERIFY_WITH_TIMEOUT(screen.contains(dialog.frameGeometry()), 2000);
    AppDelegate::timings() = kept;
}

TEST(AppDelegateTest, AMainWindowIsFittedOnceAndActivationOnlyRetitlesMenus) {
    AppDelegate delegate;
    const QRect screen = ScreenFit::visible();
    QWidget main, other;
    main.setWindowTitle("Kestrin");
    other.setWindowTitle("Kestrin-Handbuch");
    for (QWidget *w : {&main, &other})
        w->resize(screen.width() + 300, screen.height() + 300);
    main.show();
    // Already before the window manager places it, with room left for its title bar.
    EXPECT_LE(main.height(), screen.height() - ScreenFit::defaultHeightMargin);
    other.show();
    QTRY_VERIFY_WITH_TIMEOUT(screen.contains(main.frameGeometry()) || screen.contains(main.geometry()), 2000);
    QTRY_VERIFY_WITH_TIMEOUT(screen.contains(other.frameGeometry()), 2000); // every other window too
    QTest::qWait(20);                                                       // the fit after placing
    // Made larger by the user and shown again: left as it is.
    main.hide();
    main.resize(screen.width() + 100, main.height());
    main.show();
    QTest::qWait(20);
    EXPECT_EQ(main.width(), screen.width() + 100);

    MenuLocalizer::setDelay(std::chrono::milliseconds(1));
    const int passes = MenuLocalizer::passCount();
    delegate.activated();
    QTRY_VERIFY_WITH_TIMEOUT(MenuLocalizer::passCount() > passes, 2000);
    MenuLocalizer::setDelay(std::chrono::milliseconds(250));
}
