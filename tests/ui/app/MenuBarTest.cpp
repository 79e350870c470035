#include "common/ScriptedDialogs.h"
#include "common/TestUtil.h"
#include "core/app/AppInfo.h"
#include "core/app/AppState.h"
#include "core/app/JobRunner.h"
#include "core/localisation/Translations.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneModel.h"
#include "core/model/TabGroup.h"
#include "platform/TrashRoots.h"
#include "ui/app/AboutPanel.h"
#include "ui/app/Commands.h"
#include "ui/app/MainMenuBar.h"
#include "ui/window/SheetPresenter.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using TestUtil::LanguageScope;

namespace {

// Every entry of a menu and its submenus, depth first; submenus themselves are not entries.
QList<QAction *> entries(QWidget *menu) {
    QList<QAction *> out;
    for (QAction *a : menu->actions()) {
        if (a->isSeparator()) continue;
        if (a->menu() && !Commands::symbol(a).size() && a->objectName().isEmpty())
            out += entries(a->menu());
        else
            out << a;
    }
    return out;
}

QStringList sheetIds() {
    return {Cmd::info,      Cmd::compare,      Cmd::rules,   Cmd::storage,
            Cmd::shortcuts, Cmd::terminalHelp, Cmd::feedback};
}

class MenuBarTest : public ::testing::Test, protected ScriptedDialogs {
protected:
    void SetUp() override {
        TestUtil::freshSettings();
        AppState::timing().toastMs = 60000;
        root = dir.path();
        for (const char *name : {"/a/x/y", "/b"})
            QDir().mkpath(root + name);
        TestUtil::writeFile(root + "/a/x/y/a.txt", "a");
        TestUtil::writeFile(root + "/b/b.txt", "b");
        QDir(TrashRoots::homeTrash()).removeRecursively();
        QDir().mkpath(FileLoader::mainTrash());

        app = std::make_unique<AppState>(dialogs());
        app->trashFolders = [] { return QStringList{FileLoader::mainTrash()}; };
        Pasteboard p;
        p.writeFiles = [this](const QStringList &, bool) { ++effects; };
        p.writeText = [this](const QString &) { ++effects; };
        p.readFiles = [] { return std::optional<QStringList>(); };
        p.changeCount = [] { return qint64(0); };
        app->pasteboard = p;
        auto hook = [this] {
            ++effects;
            return std::optional<QString>();
        };
        app->desktop.terminal = [this] {
            ++effects;
            return std::optional<QString>("term");
        };
        app->desktop.openTerminal = [hook](const QString &, const QString &) { return hook(); };
        app->desktop.textEditor = [this] {
            ++effects;
            return std::optional<QString>("editor");
        };
        app->desktop.openInEditor = [hook](const QString &, const QStringList &) { return hook(); };
        app->desktop.showItems = [hook](const QStringList &) { return hook(); };
        app->desktop.share = [hook](const QStringList &) { return hook(); };
        app->openManualWindow = [this] { ++effects; };
        app->openFile = [this](const QString &) { return ++effects, true; };
        app->quickLook = [this] { ++effects; };
        // What a command changes that the user sees; not the listings that come and go by themselves.
        for (auto signal : {&AppState::activeChanged, &AppState::dualPaneChanged, &AppState::showSidebarChanged,
                            &AppState::showInspectorChanged, &AppState::toastChanged,
                            &AppState::batchRenameTargetChanged, &AppState::compareRequestChanged,
                            &AppState::storageRequestChanged, &AppState::showRulesChanged,
                            &AppState::showShortcutsChanged, &AppState::showTerminalHelpChanged,
                            &AppState::showFeedbackChanged, &AppState::showHiddenChanged,
                            &AppState::infoTargetChanged})
            QObject::connect(app.get(), signal, [this] { ++effects; });
        QObject::connect(app.get(), &AppState::iconsChanged, [this] { ++effects; });
        QObject::connect(&app->jobs(), &JobRunner::stateChanged, [this] { ++effects; });
        for (TabGroup *g : {app->leftTabs(), app->rightTabs()}) {
            QObject::connect(g, &TabGroup::tabsChanged, [this] { ++effects; });
            QObject::connect(g, &TabGroup::indexChanged, [this] { ++effects; });
        }
        commands = Commands::of(app.get());
        host.installEventFilter(&closes);
        commands->attach(&host);
        bar = std::make_unique<MainMenuBar>(app.get());
    }
    void TearDown() override {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (qobject_cast<AboutPanel *>(w) || w->windowTitle() == u"Einstellungen") w->close();
        bar.reset();
        app.reset();
        AppState::timing() = AppState::Timing{};
    }

    // Two tabs on the left, a folder with history both ways and a file selected on each side.
    void prepare() {
        app->setDualPane(true);
        app->setActive(Side::left);
        if (app->leftTabs()->tabs().size() < 2) app->leftTabs()->newTab();
        const QString l = root + "/a/x/l.txt", r = root + "/b/b.txt";
        QDir().mkpath(root + "/a/x/y");
        QDir().mkpath(root + "/b");
        if (!QFile::exists(l)) TestUtil::writeFile(l, "l");
        if (!QFile::exists(r)) TestUtil::writeFile(r, "r");
        PaneModel *left = app->left();
        if (left->currentPath() != root + "/a/x" || !left->canGoBack() || !left->canGoForward()) {
            for (const QString &f : {root + "/a", root + "/a/x", root + "/a/x/y"})
                left->go(f, true, {});
            left->goBack();
        }
        app->right()->go(root + "/b", true, {});
        auto listed = [](PaneModel *pane, const QString &path) {
            for (const FileItem &item : pane->items())
                if (item.path == path) return true;
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(listed(left, l) && listed(app->right(), r), 5000);
        left->setSelection({l});
        app->right()->setSelection({r});
        if (app->undoJournal().entries().isEmpty()) {
            TestUtil::writeFile(root + "/made.txt", "m");
            app->record("Neu", UndoAction::makeCreated({root + "/made.txt"}));
        }
    }

    QTemporaryDir dir;
    QString root;
    std::unique_ptr<AppState> app;
    Commands *commands = nullptr;
    std::unique_ptr<MainMenuBar> bar;
    int effects = 0;
    QWidget host;
    struct CloseCounter : QObject {
        int count = 0;
        bool eventFilter(QObject *, QEvent *e) override {
            if (e->type() == QEvent::Close) ++count;
            return false;
        }
    } closes;
};

} // namespace

// Every entry is a registry command, and every one that is enabled does something the user can see; the
// ones that would open a sheet not built yet are off until their sheet can be shown.
TEST_F(MenuBarTest, EveryMenuEntryReachesItsCommand) {
    const LanguageScope de(AppLanguage::de);
    QList<QAction *> all;
    for (QMenu *menu : {bar->fileMenu(), bar->editMenu(), bar->filesMenu(), bar->viewMenu(), bar->helpMenu()})
        all += entries(menu);
    ASSERT_GT(all.size(), 60);
    for (QAction *a : all)
        EXPECT_TRUE(commands->actions().contains(a)) << a->text().toStdString();

    QWidget window;
    SheetPresenter sheets(app.get(), &window);
    commands->setSheets(&sheets);
    for (int round = 0; round < 2; ++round) {
        for (QAction *a : all) {
            const QString id = a->objectName();
            prepare();
            const bool sheet = sheetIds().contains(id);
            if (round == 0 && sheet) {
                EXPECT_FALSE(a->isEnabled()) << id.toStdString() << " offers a sheet that is not there";
                continue;
            }
            if (round == 1 && !sheet) continue;
            // The file journal has no redo: it belongs to a text field with something to redo.
            if (id == Cmd::editRedo) {
                EXPECT_FALSE(a->isEnabled());
                continue;
            }
            ASSERT_TRUE(a->isEnabled()) << id.toStdString();
            // The pane's own changes count from now on, once the listings have settled.
            QTest::qWait(30);
            PaneModel *pane = app->left();
            QList<QMetaObject::Connection> watched;
            for (auto signal : {&PaneModel::viewModeChanged, &PaneModel::currentPathChanged,
                                &PaneModel::selectionChanged})
                watched << QObject::connect(pane, signal, [this] { ++effects; });
            if (id == Cmd::refresh)
                watched << QObject::connect(pane, &PaneModel::refreshTokenChanged, [this] { ++effects; });
            const int before = effects + int(alerts.size() + textQuestions.size()) + closes.count +
                               int(QApplication::topLevelWidgets().size());
            a->trigger();
            QTRY_VERIFY_WITH_TIMEOUT(effects + int(alerts.size() + textQuestions.size()) + closes.count +
                                             int(QApplication::topLevelWidgets().size()) >
                                         before,
                                     2000);
            EXPECT_GT(effects + int(alerts.size() + textQuestions.size()) + closes.count +
                          int(QApplication::topLevelWidgets().size()),
                      before)
                << id.toStdString() << " did nothing";
            for (const auto &c : watched)
                QObject::disconnect(c);
            QTRY_VERIFY_WITH_TIMEOUT(!app->currentProgress(), 20000);
            if (sheets.current()) sheets.current()->reject();
        }
        for (auto s : {SheetPresenter::Sheet::info, SheetPresenter::Sheet::compare, SheetPresenter::Sheet::rules,
                       SheetPresenter::Sheet::storage, SheetPresenter::Sheet::shortcuts,
                       SheetPresenter::Sheet::terminalHelp, SheetPresenter::Sheet::feedback})
            sheets.setFactory(s, [](QWidget *parent) { return new QDialog(parent); });
    }
}

TEST_F(MenuBarTest, StatesFollowTheSelectionTheJournalAndTheSettings) {
    const LanguageScope de(AppLanguage::de);
    commands->retitle();
    QAction *undo = commands->action(Cmd::undo), *editUndo = commands->action(Cmd::editUndo);
    // One rule for every undo entry: nothing in the journal, nothing to offer.
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_FALSE(editUndo->isEnabled());
    EXPECT_EQ(undo->text(), "Rückgängig\tStrg+Z");
    // A name with "&" shows the character, not a mnemonic.
    app->record("„R&D“ umbenannt", UndoAction::makeCreated({root + "/b/b.txt"}));
    EXPECT_TRUE(undo->isEnabled() && editUndo->isEnabled());
    EXPECT_EQ(undo->text(), "Rückgängig: „R&&D“ umbenannt\tStrg+Z");
    app->undoJournal().takeLast();
    EXPECT_FALSE(undo->isEnabled());

    // Selection commands follow the active pane.
    QAction *trash = commands->action(Cmd::trash), *rename = commands->action(Cmd::rename);
    app->left()->go(root + "/b", true, {});
    QTRY_VERIFY_WITH_TIMEOUT(app->left()->items().size() == 1, 5000);
    EXPECT_FALSE(trash->isEnabled());
    app->left()->setSelection({root + "/b/b.txt"});
    EXPECT_TRUE(trash->isEnabled() && rename->isEnabled());
    // Several items are renamed in a sheet not built yet.
    TestUtil::writeFile(root + "/b/c.txt", "c");
    app->left()->setSelection({root + "/b/b.txt", root + "/b/c.txt"});
    EXPECT_FALSE(rename->isEnabled());

    // Switches carry the setting in their title or check mark.
    QAction *sidebar = commands->action(Cmd::sidebar), *dual = commands->action(Cmd::dualPane);
    app->setShowSidebar(true);
    EXPECT_EQ(sidebar->text(), "Seitenleiste ausblenden\tStrg+Alt+S");
    sidebar->trigger();
    EXPECT_FALSE(app->showSidebar());
    EXPECT_EQ(sidebar->text(), "Seitenleiste einblenden\tStrg+Alt+S");
    app->setDualPane(false);
    EXPECT_TRUE(dual->text().startsWith("Zwei Fenster nebeneinander zeigen"));
    EXPECT_FALSE(commands->action(Cmd::activateRight)->isEnabled());
    app->setDualPane(true);
    EXPECT_TRUE(dual->text().startsWith("Nur ein Fenster zeigen"));
    app->left()->setViewMode(ViewMode::columns);
    EXPECT_TRUE(commands->action(Cmd::asColumns)->isChecked());
    EXPECT_FALSE(commands->action(Cmd::asList)->isChecked());
    app->setShowHidden(true);
    EXPECT_TRUE(commands->action(Cmd::showHidden)->isChecked());
    app->setShowHidden(false);

    // The language re-titles menus and entries, formed titles included.
    app->setLanguage(AppLanguage::en);
    EXPECT_EQ(bar->fileMenu()->title(), "File");
    EXPECT_EQ(bar->helpMenu()->title(), "Help");
    EXPECT_TRUE(sidebar->text().startsWith("Show Sidebar"));
    EXPECT_TRUE(undo->text().startsWith("Undo\t"));
    app->setLanguage(AppLanguage::de);
}

TEST_F(MenuBarTest, LinuxPlacesAndTheChapterAnchor) {
    auto has = [](QMenu *menu, const char *id) {
        for (QAction *a : menu->actions())
            if (a->objectName() == QString::fromUtf8(id)) return true;
        return false;
    };
    EXPECT_TRUE(has(bar->fileMenu(), Cmd::quit));
    EXPECT_TRUE(has(bar->editMenu(), Cmd::settings));
    EXPECT_TRUE(has(bar->helpMenu(), Cmd::about));
    ASSERT_TRUE(bar->helpChaptersAnchor());
    EXPECT_EQ(bar->helpMenu()->actions().indexOf(bar->helpChaptersAnchor()), 1);
    // No macOS names in any title.
    for (const LanguageScope &lang : {LanguageScope(AppLanguage::de)})
        (void)lang;
    for (AppLanguage lang : AppLanguages::allCases) {
        const LanguageScope scope(lang);
        commands->retitle();
        for (QAction *a : commands->actions())
            for (const char *word : {"TextEdit", "Finder", "⌘", "⌥", "für macOS"})
                EXPECT_FALSE(a->text().contains(QString::fromUtf8(word)) ||
                             a->toolTip().contains(QString::fromUtf8(word)))
                    << a->text().toStdString() << " / " << a->toolTip().toStdString();
    }
}

TEST_F(MenuBarTest, AboutShowsTheFactsAndTheLongDateOfTheLanguage) {
    EXPECT_EQ(AppInfo::name, "Kestrin");
    EXPECT_EQ(AppInfo::version, "1.04");
    EXPECT_EQ(AppInfo::date().date(), QDate(2026, 11, 5));
    EXPECT_EQ(AppInfo::date().time(), QTime(12, 0));
    const QMap<AppLanguage, QString> dates{{AppLanguage::de, "5. November 2026"},
                                            {AppLanguage::en, "November 5, 2026"},
                                            {AppLanguage::pl, "5 listopada 2026"},
                                            {AppLanguage::th, "5 พฤศจิกายน 2026"}};
    for (auto it = dates.cbegin(); it != dates.cend(); ++it) {
        const LanguageScope scope(it.key());
        EXPECT_EQ(AppInfo::dateText(), it.value()) << AppLanguages::rawValue(it.key()).toStdString();
    }
    {
        const LanguageScope en(AppLanguage::en);
        commands->action(Cmd::about)->trigger();
        AboutPanel *panel = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *p = qobject_cast<AboutPanel *>(w)) panel = p;
        ASSERT_TRUE(panel);
        EXPECT_EQ(panel->windowTitle(), "About Kestrin");
        const QString credits = panel->findChild<QLabel *>("aboutCredits")->text();
        EXPECT_TRUE(credits.contains("File manager for Linux"));
        EXPECT_TRUE(credits.contains("Developer: <b>Kestrin-Projekt</b>"));
        EXPECT_TRUE(credits.contains(dates[AppLanguage::en]));
        EXPECT_EQ(panel->findChild<QLabel *>("aboutVersion")->text(), "Version 1.04 (" + AppInfo::serial + ")");
    }
    // Opened again in another language: built afresh.
    const LanguageScope de(AppLanguage::de);
    commands->action(Cmd::about)->trigger();
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *p = qobject_cast<AboutPanel *>(w)) {
            EXPECT_EQ(p->windowTitle(), "Über Kestrin");
            EXPECT_TRUE(p->findChild<QLabel *>("aboutCredits")->text().contains(dates[AppLanguage::de]));
        }
}
