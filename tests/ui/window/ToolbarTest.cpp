#include "common/TestUtil.h"
#include "core/app/AppState.h"
#include "core/fileops/ArchiveFormat.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneModel.h"
#include "core/model/Tags.h"
#include "core/model/TabGroup.h"
#include "ui/app/Commands.h"
#include "ui/panecontent/TagMenu.h"
#include "ui/style/ButtonStyles.h"
#include "ui/window/ActionBar.h"
#include "ui/window/MainWindow.h"
#include "ui/window/SheetPresenter.h"
#include "ui/window/toolbar/ActionsMenu.h"
#include "ui/window/toolbar/LanguageHelpMenu.h"
#include "ui/window/toolbar/MainToolbar.h"
#include "ui/window/toolbar/SearchExtras.h"
#include "ui/window/toolbar/ToolbarHelp.h"
#include "ui/window/toolbar/ToolbarButtons.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using TestUtil::LanguageScope;

namespace {

class ToolbarTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestUtil::freshSettings();
        ASSERT_TRUE(dir.isValid());
        file = dir.path() + "/a.txt";
        TestUtil::writeFile(file, "a");
        QDir().mkpath(dir.path() + "/sub");
        app = std::make_unique<AppState>();
        app->left()->go(dir.path());
        app->right()->go(dir.path());
        window = std::make_unique<MainWindow>(app.get());
        window->show();
        bar = window->toolbar();
        ASSERT_TRUE(bar);
    }
    void TearDown() override {
        window.reset();
        app.reset();
    }
    template <typename T = QWidget> T *item(const char *name) const {
        auto *w = qobject_cast<T *>(bar->item(QString::fromLatin1(name)));
        EXPECT_TRUE(w) << name;
        return w;
    }
    QMenu *actionsMenu() const {
        bar->actionsMenu()->fill();
        return bar->actionsMenu()->menu();
    }
    static QAction *entry(QMenu *menu, const QString &title) {
        for (QAction *a : menu->actions())
            if (a->text() == title) return a;
        return nullptr;
    }
    // The commands only record that they fired: the walks below reach every command without running
    // what they do (questions, a terminal, the Trash).
    void recordCommands() {
        for (QAction *a : window->commands().actions()) {
            QObject::disconnect(a, &QAction::triggered, nullptr, nullptr);
            QObject::connect(a, &QAction::triggered, a, [this, a] { fired << a->objectName(); });
        }
    }
    static QStringList titles(QMenu *menu) {
        QStringList out;
        for (QAction *a : menu->actions())
            out << (a->isSeparator() ? QStringLiteral("--") : a->text());
        return out;
    }

    QTemporaryDir dir;
    QString file;
    std::unique_ptr<AppState> app;
    std::unique_ptr<MainWindow> window;
    MainToolbar *bar = nullptr;
    QStringList fired;
};

} // namespace

// Each push button triggers its own registry command, and no other.
TEST_F(ToolbarTest, EveryButtonReachesItsCommand) {
    // Something in the Trash, so that emptying it can act.
    QDir().mkpath(FileLoader::mainTrash());
    TestUtil::writeFile(FileLoader::mainTrash() + "/t.txt", "t");
    app->left()->go(dir.path() + "/sub");
    app->left()->goBack();
    app->left()->setSelection({file});
    // What the Trash holds is looked up off the window's thread.
    QTRY_VERIFY_WITH_TIMEOUT(app->trash().lookup().anyFull(), 5000);
    const QList<std::pair<const char *, QString>> expected = {
        {"sidebar", Cmd::sidebar},     {"back", Cmd::back},           {"forward", Cmd::forward},
        {"view.icons", Cmd::asIcons},  {"view.list", Cmd::asList},    {"view.columns", Cmd::asColumns},
        {"hidden", Cmd::showHidden},   {"refresh", Cmd::refresh},     {"newFile", Cmd::newFile},
        {"newFolder", Cmd::newFolder}, {"trash", Cmd::trash},         {"emptyTrash", Cmd::emptyTrash},
        {"dualPane", Cmd::dualPane},   {"inspector", Cmd::inspector},
    };
    const QList<ToolbarIconButton *> buttons = bar->findChildren<ToolbarIconButton *>();
    EXPECT_EQ(buttons.size(), expected.size());
    recordCommands();
    for (const auto &[name, id] : expected) {
        auto *b = item<ToolbarIconButton>(name);
        if (!b) continue;
        ASSERT_TRUE(b->isEnabled()) << name;
        fired.clear();
        b->click();
        EXPECT_EQ(fired, QStringList{id}) << name;
    }
    fired.clear();
    item<QAbstractButton>("settings")->click();
    EXPECT_EQ(fired, QStringList{Cmd::settings});
}

TEST_F(ToolbarTest, StatesFollowTheActivePaneAndTheSettings) {
    PaneModel *pane = app->activePane();
    // Exactly the pane's view mode is selected; its help names its place in the list.
    pane->setViewMode(ViewMode::list);
    EXPECT_FALSE(item<ToolbarIconButton>("view.icons")->selected());
    EXPECT_TRUE(item<ToolbarIconButton>("view.list")->selected());
    EXPECT_FALSE(item<ToolbarIconButton>("view.columns")->selected());
    EXPECT_TRUE(ToolbarHelp::text(item("view.columns")).endsWith("+3)"));
    EXPECT_EQ(ToolbarHelp::chapter(item("view.columns")), 2);

    // Hidden files: the eye shows the state and is never drawn selected.
    auto *hidden = item<ToolbarIconButton>("hidden");
    app->settings().setShowHidden(false);
    EXPECT_EQ(hidden->symbol(), "eye.slash");
    app->settings().setShowHidden(true);
    EXPECT_EQ(hidden->symbol(), "eye");
    EXPECT_FALSE(hidden->selected());

    // The trash button is only dimmed without a selection; a click reaches the operation, which says
    // that nothing is selected (the command itself is off then).
    auto *trash = item<ToolbarIconButton>("trash");
    pane->setSelection({file});
    EXPECT_DOUBLE_EQ(trash->look().opacity, 1.0);
    pane->setSelection({});
    EXPECT_DOUBLE_EQ(trash->look().opacity, 0.5);
    ASSERT_TRUE(trash->isEnabled());
    trash->click();
    ASSERT_TRUE(app->toast());
    EXPECT_EQ(app->toast()->text, L("Nichts ausgewählt."));

    // One or two panes: symbol and help change together.
    auto *dual = item<ToolbarIconButton>("dualPane");
    app->settings().setDualPane(false);
    EXPECT_EQ(ToolbarHelp::text(dual), L("Zwei Fenster nebeneinander zeigen"));
    EXPECT_EQ(dual->symbol(), "rectangle.split.2x1");
    EXPECT_EQ(ToolbarHelp::chapter(dual), 1);
    app->settings().setDualPane(true);
    EXPECT_EQ(ToolbarHelp::text(dual), L("Nur ein Fenster zeigen"));
    EXPECT_EQ(dual->symbol(), "rectangle.split.2x1.fill");

    // The inspector button is selected while the inspector shows.
    for (bool shown : {true, false}) {
        app->settings().setShowInspector(shown);
        EXPECT_EQ(item<ToolbarIconButton>("inspector")->selected(), shown);
    }

    // The star fills when the target folder is a favourite.
    auto *star = item<ToolbarMenuButton>("favoritesMenu");
    pane->setSelection({});
    app->settings().setQuickFavorites({pane->currentPath()});
    EXPECT_EQ(star->symbol(), "star.fill");
    app->settings().setQuickFavorites({});
    EXPECT_EQ(star->symbol(), "star");
}

// A button that is a command's face shows the help the registry keeps for it, with its chapter.
TEST_F(ToolbarTest, CommandButtonsShowTheHelpTheRegistryKeeps) {
    const Commands &commands = window->commands();
    const QList<std::pair<const char *, std::pair<const char *, int>>> expected = {
        {"sidebar", {"Seitenleiste ein- oder ausblenden", 2}},
        {"back", {"Zurück (⌘[)", 2}},
        {"forward", {"Vorwärts (⌘])", 2}},
        {"hidden", {"Unsichtbare Dateien ein- oder ausblenden (⇧⌘.)", 2}},
        {"refresh", {"Aktualisieren (⌘R)", 2}},
        {"newFile", {"Neue Datei", 4}},
        {"newFolder", {"Neuer Ordner (⇧⌘N)", 4}},
        {"trash", {"In den Papierkorb legen (⌦); im Papierkorb: endgültig löschen", 5}},
        {"emptyTrash", {"Papierkorb leeren …", 5}},
        {"inspector", {"Info-Leiste ein- oder ausblenden", 8}},
    };
    for (const auto &[name, help] : expected) {
        auto *b = item<ToolbarIconButton>(name);
        ASSERT_TRUE(b && b->action()) << name;
        EXPECT_EQ(ToolbarHelp::text(b), L(help.first)) << name;
        EXPECT_EQ(ToolbarHelp::chapter(b), help.second) << name;
        EXPECT_EQ(commands.faceHelp(b->action()), ToolbarHelp::text(b)) << name;
        EXPECT_EQ(commands.faceChapter(b->action()), help.second) << name;
    }
}

// The active side shows another tab (closing one keeps the side active): the toolbar and the search field
// follow that tab's pane, and the closed tab's changes no longer reach them.
TEST_F(ToolbarTest, StatesFollowTheShownTabOfTheActiveSide) {
    PaneModel *first = app->activePane();
    TabGroup *side = app->sides().tabs(app->sides().active());
    side->newTab(dir.path());
    PaneModel *other = app->activePane();
    ASSERT_NE(other, first);
    auto *trash = item<ToolbarIconButton>("trash");
    other->setSelection({file});
    EXPECT_DOUBLE_EQ(trash->look().opacity, 1.0);
    side->close(side->index());
    ASSERT_EQ(app->activePane(), first);
    EXPECT_DOUBLE_EQ(trash->look().opacity, 0.5);
    first->setViewMode(ViewMode::columns);
    EXPECT_TRUE(item<ToolbarIconButton>("view.columns")->selected());
    first->setSelection({file});
    EXPECT_DOUBLE_EQ(trash->look().opacity, 1.0);
    first->setSearchText("a");
    EXPECT_EQ(window->searchField()->text(), "a");
}

// Without a selection the entries on the selection are disabled and the others stay enabled; every entry
// reaches its command.
TEST_F(ToolbarTest, ActionsMenuEnablesBySelectionAndReachesItsCommands) {
    // Every sheet and the preview can be shown here, so only the selection decides.
    for (auto sheet : {SheetPresenter::Sheet::info, SheetPresenter::Sheet::compare,
                       SheetPresenter::Sheet::rules, SheetPresenter::Sheet::storage})
        window->sheets()->setFactory(sheet, [](QWidget *parent) { return new QDialog(parent); });
    app->requests().quickLook = [] {};
    // Something in the Trash, so that emptying it can act; that is looked up off the window's thread.
    TestUtil::writeFile(FileLoader::mainTrash() + "/t.txt", "t");
    app->trash().lookup().refresh();
    QTRY_VERIFY_WITH_TIMEOUT(app->trash().lookup().anyFull(), 5000);
    const QStringList onSelection = {L("Umbenennen …"),       L("Ausschneiden"), L("Kopieren"),
                                     L("Teilen …"),           L("Tags"),         L("Informationen"),
                                     L("Schnellvorschau"),    L("Duplizieren"),  L("Komprimieren (ZIP)"),
                                     L("Komprimieren als"),   L("Entpacken"),    L("Alias erzeugen"),
                                     L("In den Papierkorb …")};
    app->left()->setSelection({});
    QMenu *menu = actionsMenu();
    EXPECT_EQ(titles(menu).count("--"), 6);
    EXPECT_EQ(menu->actions().size(), 32);
    for (QAction *a : menu->actions()) {
        if (a->isSeparator() || a->text() == L("Rückgängig")) continue;
        EXPECT_EQ(a->isEnabled(), !onSelection.contains(a->text())) << a->text().toStdString();
    }

    // An archive among the selection, so that Extract can act.
    TestUtil::writeFile(dir.path() + "/b.zip", "z");
    app->left()->refresh();
    QTRY_VERIFY_WITH_TIMEOUT(app->left()->visibleRow(dir.path() + "/b.zip") >= 0, 5000);
    app->left()->setSelection({file, dir.path() + "/b.zip"});
    app->undoJournal().record("x", UndoAction::makeCreated({file}));
    menu = actionsMenu();
    // The clipboard entries act on the files, also while a text field has the focus.
    QStringList copied;
    app->services().pasteboard.writeFiles = [&copied](const QStringList &paths, bool) { copied = paths; };
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    window->searchField()->setFocus();
    window->searchField()->setText("typed");
    window->searchField()->selectAll();
    ASSERT_EQ(QApplication::focusWidget(), window->searchField());
    entry(menu, L("Kopieren"))->trigger();
    EXPECT_EQ(QSet<QString>(copied.begin(), copied.end()), (QSet<QString>{file, dir.path() + "/b.zip"}));

    recordCommands();
    // Each entry but the clipboard's fires the command of its title, and only that one.
    const QHash<QString, QString> commandOf = {{L("Neuer Ordner"), Cmd::newFolder},
                                               {L("Neue Datei"), Cmd::newFile},
                                               {L("Neuer Tab"), Cmd::newTab},
                                               {L("Umbenennen …"), Cmd::rename},
                                               {L("Teilen …"), Cmd::share},
                                               {L("Informationen"), Cmd::info},
                                               {L("Gehe zu Ordner …"), Cmd::goToFolder},
                                               {L("Schnellvorschau"), Cmd::quickLook},
                                               {L("Duplizieren"), Cmd::duplicate},
                                               {L("Komprimieren (ZIP)"), Cmd::compressZip},
                                               {L("Entpacken"), Cmd::extract},
                                               {L("Alias erzeugen"), Cmd::alias},
                                               {L("Im Terminal öffnen"), Cmd::terminal},
                                               {L("Im Texteditor öffnen"), Cmd::textEditor},
                                               {L("Ordner vergleichen und synchronisieren …"), Cmd::compare},
                                               {L("Aufräum-Regeln …"), Cmd::rules},
                                               {L("Speicheranalyse …"), Cmd::storage},
                                               {LF("Rückgängig: %@", "x"), Cmd::undo},
                                               {L("In den Papierkorb …"), Cmd::trash},
                                               {L("Papierkorb leeren …"), Cmd::emptyTrash}};
    int walked = 0;
    for (QAction *a : menu->actions()) {
        if (a->isSeparator() || a->menu()) continue;
        EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();
        fired.clear();
        a->trigger();
        if (commandOf.contains(a->text())) {
            EXPECT_EQ(fired, QStringList{commandOf.value(a->text())}) << a->text().toStdString();
            ++walked;
        }
    }
    EXPECT_EQ(walked, commandOf.size());

    // Each archive format of the submenu fires its own command.
    QMenu *formats = entry(menu, L("Komprimieren als"))->menu();
    ASSERT_EQ(formats->actions().size(), Archive::otherFormats().size());
    for (qsizetype i = 0; i < formats->actions().size(); ++i) {
        fired.clear();
        formats->actions()[i]->trigger();
        EXPECT_EQ(fired, QStringList{Cmd::compressAsId(Archive::otherFormats()[i])});
    }
    // The tag entries are the tag command's, the sort entries the pane's sort keys.
    EXPECT_EQ(entry(menu, L("Tags"))->menu()->actions(),
              window->commands().action(Cmd::tags)->menu()->actions());
    EXPECT_FALSE(entry(menu, L("Sortieren nach"))->menu()->isEmpty());
}

// The Tags submenu marks the tags of the selection of each opening, not of an earlier one; openings leave
// no submenus behind.
TEST_F(ToolbarTest, ActionsMenuTagsFollowEachOpening) {
    auto *tagMenu = qobject_cast<TagMenu *>(window->commands().action(Cmd::tags)->menu());
    ASSERT_TRUE(tagMenu);
    // The marks come from the listing, which shows the tag once the folder carries it.
    const QString red = dir.path() + "/sub";
    if (FileOps::setTagNames({"Rot"}, red)) GTEST_SKIP() << "no user attributes here";
    PaneModel *pane = app->left();
    pane->refresh();
    QTRY_VERIFY(pane->visibleRow(red) >= 0 && !pane->items()[pane->visibleRow(red)].tags().isEmpty());
    for (const QString &path : {red, file, red}) {
        app->left()->setSelection({path});
        QMenu *tags = entry(actionsMenu(), L("Tags"))->menu();
        ASSERT_TRUE(tags);
        QSignalSpy read(tagMenu, &TagMenu::marksRead);
        tags->popup(QPoint(0, 0));
        EXPECT_TRUE(read.size() == 1 || read.wait(5000)) << path.toStdString();
        EXPECT_EQ(!tagMenu->entry("Rot")->icon().isNull(), path == red) << path.toStdString();
        tags->hide();
    }
    const qsizetype submenus = bar->actionsMenu()->menu()->findChildren<QMenu *>().size();
    for (int i = 0; i < 10; ++i)
        actionsMenu();
    EXPECT_EQ(bar->actionsMenu()->menu()->findChildren<QMenu *>().size(), submenus);
}

// Every control a screen reader reaches in the toolbar and in the inspector has a name: the search field's
// clear button and the comment field too.
TEST_F(ToolbarTest, EveryControlHasAnAccessibleName) {
    app->settings().setShowInspector(true);
    app->left()->setSelection({file});
    window->searchField()->setText("a");
    QStringList unnamed;
    std::function<void(QAccessibleInterface *, int)> walk = [&](QAccessibleInterface *node, int depth) {
        if (!node || depth > 40) return;
        const QAccessible::Role role = node->role();
        const bool control = role == QAccessible::Button || role == QAccessible::CheckBox ||
                             role == QAccessible::RadioButton || role == QAccessible::ButtonMenu ||
                             role == QAccessible::ButtonDropDown || role == QAccessible::EditableText ||
                             role == QAccessible::ComboBox;
        if (control && !node->state().invisible && node->text(QAccessible::Name).trimmed().isEmpty())
            unnamed << QString::fromLatin1(node->object() ? node->object()->metaObject()->className() : "?") +
                           u' ' + (node->object() ? node->object()->objectName() : QString());
        for (int i = 0; i < node->childCount(); ++i)
            walk(node->child(i), depth + 1);
    };
    QTRY_VERIFY_WITH_TIMEOUT(window->inspectorColumn() && window->inspectorColumn()->isVisible(), 3000);
    walk(QAccessible::queryAccessibleInterface(bar), 0);
    walk(QAccessible::queryAccessibleInterface(window->inspectorColumn()), 0);
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(", ").toStdString();
}

// An entry whose sheet is not there yet is disabled instead of asking in vain.
TEST_F(ToolbarTest, EntriesOfSheetsNotBuiltAreDisabled) {
    app->left()->setSelection({file});
    QMenu *menu = actionsMenu();
    // The window brings the sheets of information, compare, the cleanup rules and the storage analysis along.
    for (const char *title : {K("Informationen"), K("Ordner vergleichen und synchronisieren …"),
                              K("Aufräum-Regeln …"), K("Speicheranalyse …")})
        EXPECT_TRUE(entry(menu, L(title))->isEnabled()) << title;
    window->sheets()->setFactory(SheetPresenter::Sheet::info,
                                 [](QWidget *parent) { return new QDialog(parent); });
    EXPECT_TRUE(entry(actionsMenu(), L("Informationen"))->isEnabled());

    auto *lookup = item<ToolbarMenuButton>("lookupMenu");
    bar->fillLookup();
    // The window brings the shortcut reference and the Terminal help along.
    EXPECT_TRUE(lookup->menu()->actions().at(0)->isEnabled());
    EXPECT_TRUE(lookup->menu()->actions().at(1)->isEnabled());
}

// The undo entry follows the journal: disabled and plain while it is empty, titled after its newest entry
// (a name with '&' shown as written) and enabled otherwise.
TEST_F(ToolbarTest, UndoEntryFollowsTheJournal) {
    QMenu *menu = actionsMenu();
    QAction *undo = menu->actions().at(menu->actions().size() - 4);
    EXPECT_EQ(undo->text(), L("Rückgängig"));
    EXPECT_FALSE(undo->isEnabled());
    app->undoJournal().record("Kopieren von „A & B“", UndoAction::makeCreated({file}));
    menu = actionsMenu();
    undo = menu->actions().at(menu->actions().size() - 4);
    EXPECT_EQ(undo->text(), LF("Rückgängig: %@", "Kopieren von „A && B“"));
    EXPECT_TRUE(undo->isEnabled());
    EXPECT_EQ(ActionsMenu::command(undo)->objectName(), Cmd::undo);
}

TEST_F(ToolbarTest, LanguageMenuListsTheLanguagesByTheirOwnNames) {
    const LanguageScope keep(Lang::current());
    app->settings().setLanguage(AppLanguage::en);
    auto *globe = qobject_cast<LanguageHelpMenu *>(window->toolbar()->item("languageHelpMenu"));
    ASSERT_TRUE(globe);
    globe->fill();
    QMenu *menu = globe->menu();
    EXPECT_EQ(titles(menu), (QStringList{"Deutsch", "English", "Polski", "ไทย", "--", "Open Manual"}));
    for (QAction *a : menu->actions())
        EXPECT_EQ(!a->icon().isNull(), a->text() == "English") << a->text().toStdString();
    EXPECT_EQ(ToolbarHelp::chapter(globe), 11);

    int opened = 0;
    QObject::connect(&app->requests(), &WindowRequests::manualRequested, [&opened] { ++opened; });
    menu->actions().last()->trigger();
    EXPECT_EQ(opened, 1);
    EXPECT_FALSE(app->requests().manualSection().has_value());

    // Choosing a language rebuilds the toolbar in it; the checkmark moves.
    menu->actions().at(2)->trigger();
    EXPECT_EQ(app->settings().language(), AppLanguage::pl);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    globe = qobject_cast<LanguageHelpMenu *>(window->toolbar()->item("languageHelpMenu"));
    globe->fill();
    EXPECT_EQ(globe->menu()->actions().at(0)->text(), "Deutsch");
    EXPECT_FALSE(globe->menu()->actions().at(2)->icon().isNull());
    EXPECT_TRUE(globe->menu()->actions().at(1)->icon().isNull());
    EXPECT_EQ(window->searchField()->placeholderText(), L("Suchen"));
    EXPECT_EQ(window->findChildren<MainToolbar *>().size(), 1);
}

TEST_F(ToolbarTest, SearchExtrasFollowTheActivePaneAndItsFilter) {
    SearchExtras *extras = bar->searchExtras();
    PaneModel *left = app->left();
    EXPECT_TRUE(extras->endSearch()->isHidden());
    EXPECT_EQ(extras->filterMenu()->symbol(), "line.3.horizontal.decrease.circle");

    // Turning subfolders off alone makes the filter active; a choice writes its own field only.
    extras->filterMenu()->fill();
    QMenu *menu = extras->filterMenu()->menu();
    EXPECT_FALSE(menu->findChild<QAction *>("reset")->isEnabled());
    menu->findChild<QAction *>("subfolders")->trigger();
    menu->findChild<QAction *>("size2")->trigger();
    EXPECT_EQ(left->searchFilter(), (SearchFilter{SearchKind::all, SearchSize::mb10, SearchAge::any, false}));
    EXPECT_EQ(extras->filterMenu()->symbol(), "line.3.horizontal.decrease.circle.fill");
    EXPECT_FALSE(extras->endSearch()->isHidden());
    extras->filterMenu()->fill();
    EXPECT_TRUE(menu->findChild<QAction *>("reset")->isEnabled());
    EXPECT_TRUE(menu->findChild<QAction *>("size2")->isChecked());
    EXPECT_FALSE(menu->findChild<QAction *>("size0")->isChecked());

    // The other side shows its own state at once; the end-search button clears text and filter.
    app->sides().setActive(Side::right);
    EXPECT_TRUE(extras->endSearch()->isHidden());
    EXPECT_EQ(extras->filterMenu()->symbol(), "line.3.horizontal.decrease.circle");
    app->right()->setSearchText("a");
    EXPECT_FALSE(extras->endSearch()->isHidden());
    app->sides().setActive(Side::left);
    extras->endSearch()->click();
    EXPECT_EQ(left->searchFilter(), SearchFilter{});
    EXPECT_EQ(app->right()->searchText(), "a");
    EXPECT_TRUE(extras->endSearch()->isHidden());
}

// Favourites show their names as written, '&' included; the add-or-remove entry names what it would do
// and does it; the editor can be opened.
TEST_F(ToolbarTest, FavoritesMenu) {
    bar->fillFavorites();
    QMenu *menu = item<ToolbarMenuButton>("favoritesMenu")->menu();
    ASSERT_FALSE(menu->actions().isEmpty());
    EXPECT_EQ(menu->actions().at(0)->text(), L("Noch keine Favoriten"));
    EXPECT_FALSE(menu->actions().at(0)->isEnabled());

    const QString odd = dir.path() + "/A & B";
    QDir().mkpath(odd);
    app->settings().setQuickFavorites({odd});
    bar->fillFavorites();
    QAction *fav = menu->actions().at(0);
    EXPECT_EQ(fav->text(), "A && B");
    EXPECT_EQ(fav->iconText(), "A & B");
    fav->trigger();
    EXPECT_EQ(app->activePane()->currentPath(), odd);
    bar->fillFavorites();
    auto *toggle = menu->findChild<QAction *>("toggleFavorite");
    ASSERT_TRUE(toggle);
    EXPECT_EQ(toggle->text(), L("Aktuellen Ordner aus den Favoriten entfernen"));
    app->activePane()->go(dir.path());
    app->activePane()->setSelection({dir.path() + "/sub"});
    bar->fillFavorites();
    EXPECT_EQ(menu->findChild<QAction *>("toggleFavorite")->text(),
              L("Markierten Ordner zu den Favoriten hinzufügen"));
    menu->findChild<QAction *>("toggleFavorite")->trigger();
    EXPECT_EQ(app->settings().quickFavorites(), (QStringList{odd, dir.path() + "/sub"}));
    EXPECT_TRUE(menu->findChild<QAction *>("editFavorites")->isEnabled());
}

TEST_F(ToolbarTest, CompactSettingChangesOnlyTheAppsStrip) {
    auto *strip = item("appsStrip");
    app->settings().setToolbarCompact(false);
    const int wide = strip->layout()->spacing();
    bar->fillApps();
    QMenu *menu = item<ToolbarMenuButton>("appsMenu")->menu();
    QAction *compact = menu->findChild<QAction *>("compact");
    ASSERT_TRUE(compact);
    EXPECT_FALSE(compact->isChecked());
    compact->trigger();
    EXPECT_TRUE(app->settings().toolbarCompact());
    EXPECT_LT(strip->layout()->spacing(), wide);
    EXPECT_TRUE(menu->findChild<QAction *>("editToolbar")->isEnabled());
    // Adding is there until the strip holds five.
    EXPECT_TRUE(menu->findChild<QAction *>("addApp")->isEnabled());
    app->settings().setToolbarApps({"/a.desktop", "/b.desktop", "/c.desktop", "/d.desktop", "/e.desktop"});
    bar->fillApps();
    EXPECT_FALSE(menu->findChild<QAction *>("addApp")->isEnabled());
}

// At the smallest window every item is shown whole, side by side, in each language and text size.
TEST_F(ToolbarTest, EverythingFitsTheSmallestWindow) {
    const LanguageScope keep(Lang::current());
    for (AppLanguage lang : {AppLanguage::de, AppLanguage::en, AppLanguage::th}) {
        for (double font : {13.0, 18.0}) {
            app->settings().setLanguage(lang);
            app->settings().setFontSize(font);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            window->resize(MainWindow::kMinimumSize);
            QCoreApplication::processEvents();
            MainToolbar *tb = window->toolbar();
            const QRect area = tb->rect();
            QList<QRect> taken;
            for (QWidget *w : tb->findChildren<QWidget *>()) {
                if (!w->isVisible() || w->parentWidget() != tb->item("toolbarContent")) continue;
                const QRect r(w->mapTo(tb, QPoint(0, 0)), w->size());
                EXPECT_TRUE(area.contains(r)) << w->objectName().toStdString() << " in " << int(lang);
                EXPECT_GE(r.width(), w->minimumSizeHint().width()) << w->objectName().toStdString();
                for (const QRect &other : taken)
                    EXPECT_FALSE(other.intersects(r)) << w->objectName().toStdString();
                taken << r;
            }
            EXPECT_LE(window->width(), MainWindow::kMinimumSize.width());
        }
    }
}

// The action bar at the bottom: at the smallest window its buttons show their symbols alone rather than
// being cut off; with room they show their titles again.
TEST_F(ToolbarTest, ActionBarButtonsAreNeverCutOff) {
    // With the toolbar above it, the action bar at the smallest window keeps every button inside it and
    // apart from the others (the titles give way instead).
    ActionBar *actions = window->actionBar();
    window->resize(MainWindow::kMinimumSize);
    QCoreApplication::processEvents();
    QList<QRect> seen;
    for (QWidget *w : actions->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!w->isVisible()) continue;
        EXPECT_TRUE(actions->rect().contains(w->geometry())) << w->accessibleName().toStdString();
        for (const QRect &other : std::as_const(seen))
            EXPECT_FALSE(other.intersects(w->geometry())) << w->accessibleName().toStdString();
        seen << w->geometry();
    }
    // Titles are whole or left out, then all of them, with the name in the tooltip; with room all show.
    for (AppLanguage lang : {AppLanguage::de, AppLanguage::th}) {
        TestUtil::LanguageScope scope(lang);
        const QList<LabelButton *> titled = actions->findChildren<LabelButton *>();
        ASSERT_FALSE(titled.isEmpty());
        for (QSize size : {MainWindow::kMinimumSize, MainWindow::kDefaultSize}) {
            window->resize(size);
            QCoreApplication::processEvents();
            QSet<bool> symbolAlone;
            for (LabelButton *b : titled) {
                if (!b->isVisible()) continue;
                const QString shown = b->shownText();
                EXPECT_TRUE(shown.isEmpty() || shown == L(b->key())) << shown.toStdString();
                if (shown.isEmpty()) {
                    EXPECT_FALSE(b->toolTip().isEmpty()) << b->key().toStdString();
                }
                symbolAlone << shown.isEmpty();
            }
            EXPECT_EQ(symbolAlone.size(), 1) << "some titles shown, others not, at " << size.width();
            if (size == MainWindow::kDefaultSize) {
                EXPECT_EQ(symbolAlone, QSet<bool>{false});
            }
        }
    }
    window->resize(MainWindow::kDefaultSize);
}

// Tab goes round the enabled buttons only: a disabled one would take no focus and hold the round up.
TEST_F(ToolbarTest, TabGoesRoundTheEnabledButtonsOnly) {
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QLineEdit *search = window->searchField();
    search->setFocus();
    QList<QWidget *> round;
    for (int i = 0; i < 60; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget *at = QApplication::focusWidget();
        if (at == search || round.contains(at)) break;
        round << at;
    }
    EXPECT_EQ(QApplication::focusWidget(), search);
    QWidget *forward = item("forward");
    ASSERT_FALSE(forward->isEnabled()); // nowhere to go forward to
    EXPECT_FALSE(round.contains(forward));
    EXPECT_TRUE(round.contains(item("back")));
    for (QWidget *w : std::as_const(round))
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
}

// The button with the focus is disabled: its neighbour in the round takes the focus, and Tab goes on
// round the enabled buttons from there.
TEST_F(ToolbarTest, AFocusedButtonThatIsDisabledHandsTheFocusToItsNeighbour) {
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    PaneModel *pane = app->activePane();
    pane->go(dir.path() + "/sub");
    QWidget *back = item("back");
    ASSERT_TRUE(back->isEnabled());
    back->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(QApplication::focusWidget(), back);
    for (int i = 0; i < 5 && back->isEnabled(); ++i)
        pane->goBack();
    ASSERT_FALSE(back->isEnabled());
    EXPECT_EQ(QApplication::focusWidget(), item("forward"));

    // The last stop before the search field: the round goes on to the field, not out of the toolbar.
    QWidget *last = item("searchFilterMenu");
    last->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(QApplication::focusWidget(), last);
    last->setEnabled(false);
    EXPECT_EQ(QApplication::focusWidget(), window->searchField());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), item("sidebar"));
    last->setEnabled(true);
}
