// The item menu and the pane background menu: what they offer for files, folders, mixed selections and
// items in the Trash, what they act on, and how right clicks reach them.
#include "common/TestCommands.h"
#include "ui/pane/PaneViewFixture.h"

#include "core/model/FileLoader.h"
#include "platform/TrashRoots.h"
#include "ui/app/Commands.h"
#include "ui/panecontent/ItemMenu.h"
#include "ui/panecontent/TagMenu.h"
#include "ui/panecontent/ViewMenus.h"
#include "core/app/Favorites.h"
#include "ui/window/MainWindow.h"
#include "ui/window/PaneArea.h"
#include "ui/window/SheetPresenter.h"
#include "ui/window/pane/PaneBackgroundMenu.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFileDialog>

namespace {

// The names (German keys) of a menu's entries in order, separators left out.
QStringList entries(const QMenu *menu) {
    QStringList out;
    for (const QAction *a : menu->actions())
        if (!a->isSeparator()) out << a->objectName();
    return out;
}

// An entry anywhere in the menu or its submenus; nullptr when there is none.
QAction *find(const QMenu *menu, const QString &name) {
    for (QAction *a : menu->actions()) {
        if (a->objectName() == name) return a;
        if (a->menu())
            if (QAction *found = find(a->menu(), name)) return found;
    }
    return nullptr;
}

QMenu *submenu(const QMenu *menu, const QString &name) {
    QAction *a = find(menu, name);
    return a ? a->menu() : nullptr;
}

class ItemMenuTest : public PaneViewTest::Fixture {
protected:
    void SetUp() override {
        Fixture::SetUp();
        // The sheets the menus look for exist, as in the main window.
        sheets = std::make_unique<SheetPresenter>(app->requests(), &host);
        for (auto sheet : {SheetPresenter::Sheet::info, SheetPresenter::Sheet::storage,
                           SheetPresenter::Sheet::batchRename})
            sheets->setFactory(sheet, [](QWidget *) { return nullptr; });
        testCommands(app.get()).setSheets(sheets.get());
        app->requests().quickLook = [this] { ++previews; };
        testCommands(app.get()).update();
        copied.clear();
        app->services().pasteboard.writeFiles = [this](const QStringList &paths, bool) { copied = paths; };
    }
    void TearDown() override {
        sheets.reset();
        Fixture::TearDown();
    }
    // The menu as a right click on the item opens it.
    std::unique_ptr<QMenu> menuFor(PaneModel *pane, const QString &path, bool dir = false) {
        const FileItem item = FileLoader::item(path);
        EXPECT_EQ(item.isDirectory, dir);
        pane->contextSelect(item);
        return std::unique_ptr<QMenu>(ItemMenu::build(parts->menus, pane, item));
    }

    QWidget host;
    std::unique_ptr<SheetPresenter> sheets;
    int previews = 0;
    QStringList copied;
};

TEST_F(ItemMenuTest, FileAndFolderMenusOfferWhatAppliesInTheirOrder) {
    const QString file = touch("a/Notiz.txt"), folder = mkdir("a/Fotos");
    auto m = menuFor(app->left(), file);
    EXPECT_EQ(
        entries(m.get()),
        (QStringList{"Öffnen", "Schnellvorschau", "Informationen", "Ausschneiden", "Kopieren", "Einsetzen",
                     "Nach rechts kopieren", "Nach rechts verschieben", "Umbenennen …", "In den Papierkorb …",
                     "Duplizieren und Archivieren", "Teilen und Markieren", "Pfad und Dateimanager"}));
    EXPECT_EQ(entries(submenu(m.get(), "Duplizieren und Archivieren")),
              (QStringList{"Duplizieren", "Komprimieren (ZIP)", "Komprimieren als", "Alias erzeugen"}));
    EXPECT_EQ(entries(submenu(m.get(), "Komprimieren als")).size(), 6);
    EXPECT_EQ(entries(submenu(m.get(), "Teilen und Markieren")), (QStringList{"Teilen …", "Tags"}));
    EXPECT_EQ(entries(submenu(m.get(), "Pfad und Dateimanager")),
              (QStringList{"Pfad kopieren", "Im Dateimanager zeigen"}));
    // An archive can be unpacked, whatever the case of its suffix.
    auto zip = menuFor(app->left(), touch("a/Alt.ZIP"));
    EXPECT_TRUE(find(zip.get(), "Entpacken"));
    EXPECT_FALSE(find(m.get(), "Entpacken"));

    // The right pane's folder: a tab, the storage analysis, pasting into it, transfers to the left.
    auto f = menuFor(app->right(), folder, true);
    const QStringList names = entries(f.get());
    EXPECT_EQ(names.mid(0, 5), (QStringList{"Öffnen", "In neuem Tab öffnen", "Schnellvorschau",
                                            "Informationen", "Speicheranalyse …"}));
    EXPECT_TRUE(names.contains("Nach links kopieren") && names.contains("Nach links verschieben"));
    EXPECT_FALSE(names.contains("Nach rechts kopieren"));
    EXPECT_EQ(find(f.get(), "In „%@“ einsetzen")->text(), "In „Fotos“ einsetzen");
    EXPECT_FALSE(names.contains("Zurücklegen"));
    // Pasting is offered only with files on the clipboard.
    EXPECT_FALSE(find(f.get(), "In „%@“ einsetzen")->isEnabled() || find(m.get(), "Einsetzen")->isEnabled());
    app->services().pasteboard.readFiles = [file] { return std::optional(PasteboardFiles{{file}, false}); };
    EXPECT_TRUE(find(menuFor(app->right(), folder, true).get(), "In „%@“ einsetzen")->isEnabled());
    EXPECT_TRUE(find(menuFor(app->left(), file).get(), "Einsetzen")->isEnabled());
}

TEST_F(ItemMenuTest, AMixedSelectionReachesTheHooksWhichAddTheirParts) {
    const QString file = touch("h/a.txt"), folder = mkdir("h/Ordner");
    app->left()->setSelection({file, folder});
    QStringList given;
    parts->menus.setOpenWith([&given](QMenu *menu, const QStringList &paths, const std::function<void()> &) {
        given = paths;
        menu->addAction("Editor");
    });
    parts->menus.setFavourites([](QMenu *menu, const QStringList &, const std::function<void()> &) {
        menu->addAction("fav")->setObjectName("fav");
    });
    // Clicked on the folder: its own entries, and the parts get the whole selection.
    const QStringList names = entries(menuFor(app->left(), folder, true).get());
    EXPECT_EQ(names.mid(0, 3), (QStringList{"Öffnen", "Öffnen mit", "In neuem Tab öffnen"}));
    EXPECT_EQ(names.indexOf("fav") + 1, names.indexOf("Umbenennen …"));
    given.sort();
    EXPECT_EQ(given, (QStringList{folder, file}));
    parts->menus.setOpenWith([](QMenu *, const QStringList &, const std::function<void()> &) {});
    EXPECT_FALSE(entries(menuFor(app->left(), file).get()).contains("Öffnen mit"));
}

TEST_F(ItemMenuTest, EntriesActOnTheSelectionOrOnTheClickedItemAlone) {
    const QString a = touch("s/a.txt"), b = touch("s/b.txt"), c = touch("s/c.txt");
    open(app->left(), root + "/s");
    app->sides().setActive(Side::right);
    app->left()->setSelection({a, b});
    // A selected item: the whole selection.
    auto m = menuFor(app->left(), b);
    find(m.get(), "Kopieren")->trigger();
    copied.sort();
    EXPECT_EQ(copied, (QStringList{a, b}));
    // An item outside it: that item alone, which becomes the selection.
    auto n = menuFor(app->left(), c);
    app->left()->setSelection({a, b}); // the menu stays open while something else changes the selection
    find(n.get(), "Kopieren")->trigger();
    EXPECT_EQ(copied, QStringList{c});
    EXPECT_EQ(app->left()->selection(), QSet<QString>{c});
    // Quick Look selects first and runs the command.
    find(menuFor(app->left(), a).get(), "Schnellvorschau")->trigger();
    EXPECT_EQ(previews, 1);
    EXPECT_EQ(app->left()->selection(), QSet<QString>{a});
}

TEST_F(ItemMenuTest, DeleteWordingAndPutBackFollowEveryPathNotTheClickedOne) {
    const QString inTrash = FileLoader::mainTrash() + "/alt.txt",
                  other = FileLoader::mainTrash() + "/alt2.txt";
    ASSERT_TRUE(TestUtil::writeFile(inTrash, "x"));
    ASSERT_TRUE(TestUtil::writeFile(other, "x"));
    const QString outside = touch("t/neu.txt");
    // Clicked in the Trash, but the selection also holds an item outside it: it goes to the Trash.
    app->left()->setSelection({inTrash, outside});
    auto mixed = menuFor(app->left(), inTrash);
    EXPECT_TRUE(find(mixed.get(), "In den Papierkorb …"));
    EXPECT_FALSE(find(mixed.get(), "Endgültig löschen …"));
    EXPECT_FALSE(find(mixed.get(), "Zurücklegen") || find(mixed.get(), "Papierkorb leeren …"));
    // Everything in the Trash: deleted for good, with putting back and emptying.
    app->left()->setSelection({inTrash, other});
    auto trash = menuFor(app->left(), inTrash);
    const QStringList names = entries(trash.get());
    const auto at = names.indexOf("Endgültig löschen …");
    ASSERT_GE(at, 0);
    EXPECT_EQ(names.mid(at, 3), (QStringList{"Endgültig löschen …", "Zurücklegen", "Papierkorb leeren …"}));
    EXPECT_EQ(find(trash.get(), "Endgültig löschen …")->text(), L("Endgültig löschen …"));
    // Beside a trash's "files" folder, siblings are in the Trash but "files" itself is not.
    const QString root = TrashRoots::homeTrash();
    EXPECT_TRUE(ItemMenu::allInTrash({root + "/stray", inTrash}));
    EXPECT_FALSE(ItemMenu::allInTrash({root + "/stray", root + "/files"}));
    EXPECT_FALSE(ItemMenu::allInTrash({}));
    // A user folder that merely looks like a trash is an ordinary folder.
    const QString lookalike = touch("u/.Trash/x.txt");
    EXPECT_TRUE(find(menuFor(app->left(), lookalike).get(), "In den Papierkorb …"));
}

TEST_F(ItemMenuTest, NamesWithAmpersandsAreTextNotMnemonics) {
    const QString folder = mkdir("Tom & Jerry");
    auto m = menuFor(app->left(), folder, true);
    QAction *paste = find(m.get(), "In „%@“ einsetzen");
    ASSERT_TRUE(paste);
    EXPECT_EQ(paste->text(), "In „Tom && Jerry“ einsetzen");
    EXPECT_EQ(paste->iconText(), "In „Tom & Jerry“ einsetzen");
}

TEST_F(ItemMenuTest, BackgroundMenuActsOnItsOwnPane) {
    const QString sub = mkdir("bg/Unterordner");
    open(app->right(), root + "/bg");
    app->sides().setActive(Side::left);
    std::unique_ptr<QMenu> m(PaneBackgroundMenu::build(parts->menus, app->right()));
    EXPECT_EQ(entries(m.get()), (QStringList{"Einsetzen", "Neuer Ordner", "Neue Datei", "Alles auswählen",
                                             "Sortieren nach", "Aktualisieren", "Speicheranalyse …"}));
    EXPECT_EQ(entries(submenu(m.get(), "Sortieren nach")).size(), 6);
    // Refreshing leaves the other pane active.
    find(m.get(), "Aktualisieren")->trigger();
    EXPECT_EQ(app->sides().active(), Side::left);
    // Pasting goes into the folder shown, even with a folder selected in it.
    const QString source = touch("elsewhere/x.txt");
    app->services().pasteboard.readFiles = [source] {
        return std::optional<PasteboardFiles>({QStringList{source}, false});
    };
    app->right()->setSelection({sub});
    find(m.get(), "Einsetzen")->trigger();
    EXPECT_EQ(app->sides().active(), Side::right);
    QTRY_VERIFY_WITH_TIMEOUT(TestUtil::exists(root + "/bg/x.txt"), 5000);
    EXPECT_FALSE(TestUtil::exists(sub + "/x.txt"));
    // A new folder in the pane the menu belongs to.
    app->sides().setActive(Side::left);
    find(m.get(), "Neuer Ordner")->trigger();
    EXPECT_EQ(app->sides().active(), Side::right);
    QTRY_VERIFY_WITH_TIMEOUT(QDir(root + "/bg").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size() == 2,
                             3000);
    find(m.get(), "Alles auswählen")->trigger();
    EXPECT_EQ(app->right()->selection().size(), app->right()->items().size());
}

TEST_F(ItemMenuTest, RightClicksOpenTheItemMenuOrTheBackgroundMenu) {
    const QString a = touch("rc/a.txt");
    touch("rc/b.txt");
    open(app->left(), root + "/rc");
    PaneView *v = view(Side::left);
    FileListView *list = listView(v);
    const QPoint onRow = rowPoint(v, rowOf(v, a));
    QContextMenuEvent onItem(QContextMenuEvent::Mouse, onRow, list->viewport()->mapToGlobal(onRow));
    QApplication::sendEvent(list->viewport(), &onItem);
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    ASSERT_TRUE(menu);
    EXPECT_TRUE(find(menu, "Öffnen"));
    EXPECT_EQ(app->left()->selection(), QSet<QString>{a});
    menu->close();
    QTRY_VERIFY(!QApplication::activePopupWidget());

    const QPoint empty(40, list->viewport()->height() - 5);
    QContextMenuEvent onSpace(QContextMenuEvent::Mouse, empty, list->viewport()->mapToGlobal(empty));
    QApplication::sendEvent(list->viewport(), &onSpace);
    menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    ASSERT_TRUE(menu);
    EXPECT_TRUE(find(menu, "Neuer Ordner"));
    EXPECT_FALSE(find(menu, "Öffnen"));
    menu->close();
}

} // namespace

// The main window gives the item menu its "Öffnen mit" submenu and the favourites entry.
TEST_F(ItemMenuTest, TheMainWindowFillsTheOpenWithAndFavouritesParts) {
    const QString file = touch("w/Notizen.txt");
    MainWindow window(app.get());
    auto *pane = window.paneArea()->findChild<PaneView *>();
    ASSERT_TRUE(pane);
    app->left()->contextSelect(FileLoader::item(file));
    std::unique_ptr<QMenu> menu(
        ItemMenu::build(pane->parts().menus, app->left(), FileLoader::item(file), pane));
    QMenu *openWith = submenu(menu.get(), "Öffnen mit");
    ASSERT_TRUE(openWith);
    const QList<QAction *> apps = openWith->actions();
    const auto other = std::find_if(apps.begin(), apps.end(),
                                    [](const QAction *a) { return a->objectName() == "otherApp"; });
    ASSERT_NE(other, apps.end());
    QAction *favourite = find(menu.get(), "Zu Favoriten hinzufügen");
    ASSERT_TRUE(favourite);
    favourite->trigger();
    QTRY_VERIFY(app->favorites().contains(file));
    // The panel outlives the menu, which goes once an entry is chosen: it belongs to the window.
    TestUtil::LanguageScope en(AppLanguage::en);
    (*other)->trigger();
    menu.reset();
    auto *chooser = window.findChild<QFileDialog *>("appChooser");
    ASSERT_TRUE(chooser);
    EXPECT_EQ(chooser->parentWidget(), &window);
    EXPECT_EQ(chooser->labelText(QFileDialog::Accept), "Open");
}

// The grid and the columns open the same menus as the list.
TEST_F(ItemMenuTest, EveryViewOpensTheItemAndBackgroundMenus) {
    const QString file = touch("v/a.txt");
    const std::unique_ptr<QMenu> item(parts->menus.build(&host, app->left(), FileLoader::item(file)));
    ASSERT_TRUE(item);
    EXPECT_EQ(entries(item.get()).value(0), "Öffnen");
    const std::unique_ptr<QMenu> background(parts->menus.build(&host, app->left(), std::nullopt));
    ASSERT_TRUE(background);
    EXPECT_FALSE(entries(background.get()).contains("Öffnen"));
}
