#include "common/TestCommands.h"
#include "common/ScriptedDialogs.h"
#include "common/StuckReader.h"
#include "common/TestUtil.h"
#include "core/app/AppInfo.h"
#include "core/app/AppState.h"
#include "core/app/JobRunner.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneModel.h"
#include "core/model/TabGroup.h"
#include "platform/TrashRoots.h"
#include "ui/app/AboutPanel.h"
#include "ui/app/Commands.h"
#include "ui/app/MainMenuBar.h"
#include "core/fileops/ArchiveFormat.h"
#include "ui/style/AppIcons.h"
#include "ui/style/MenuAccessibility.h"
#include "ui/style/MenuLocalizer.h"
#include "ui/window/MainWindow.h"
#include "ui/window/SheetPresenter.h"
#include "ui/window/pane/PaneHeader.h"
#include "ui/style/ButtonStyles.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using TestUtil::LanguageScope;

namespace {

// Every entry of a menu and its submenus, depth first.
QList<QAction *> entries(QWidget *menu) {
    QList<QAction *> out;
    for (QAction *a : menu->actions())
        if (a->menu() && a->objectName().isEmpty())
            out += entries(a->menu());
        else if (!a->isSeparator())
            out << a;
    return out;
}

using TestUtil::unmarked;

// A core whose desktop, clipboard and windows only count what they are asked; every visible change counts.
class MenuBarTest : public ::testing::Test, protected ScriptedDialogs {
protected:
    void SetUp() override {
        TestUtil::freshSettings();
        root = dir.path();
        QDir(TrashRoots::homeTrash()).removeRecursively();
        QDir().mkpath(FileLoader::mainTrash());
        app = std::make_unique<AppState>(dialogs());
        app->services().trashFolders = [] { return QStringList{FileLoader::mainTrash()}; };
        auto count = [this] { ++effects; };
        auto none = [this]() -> std::optional<QString> { return ++effects, std::nullopt; };
        app->services().pasteboard.writeFiles = [count](const QStringList &, bool) { count(); };
        app->services().pasteboard.writeText = [count](const QString &) { count(); };
        app->services().desktop.terminal = [this] { return ++effects, std::optional<QString>("term"); };
        app->services().desktop.textEditor = app->services().desktop.terminal;
        app->services().desktop.openTerminal = [none](const QString &, const QString &) { return none(); };
        app->services().desktop.openInEditor = [none](const QString &, const QStringList &) {
            return none();
        };
        app->services().desktop.showItems =
            app->services().desktop.share = [none](const QStringList &) { return none(); };
        app->requests().quickLook = count;
        QObject::connect(&app->requests(), &WindowRequests::manualRequested, count);
        app->services().openFile = [this](const QString &) { return ++effects, true; };
        // What a command changes that the user sees; not the listings that come and go by themselves.
        QObject::connect(&app->sides(), &Sides::activeChanged, count);
        QObject::connect(&app->toasts(), &Toasts::toastChanged, count);
        QObject::connect(&app->settings(), &Settings::changed, [this](Settings::Key key) {
            using K = Settings::Key;
            if (key == K::dualPane || key == K::showSidebar || key == K::showInspector ||
                key == K::showHidden)
                ++effects;
        });
        QObject::connect(&app->requests(), &WindowRequests::changed, [this] {
            const WindowRequests &r = app->requests();
            if (r.compareRequest() || r.storageRequest() || r.showRules() || r.showShortcuts() ||
                r.showTerminalHelp() || r.showFeedback() || r.infoTarget())
                ++effects;
        });
        QObject::connect(&app->items(), &ItemCommands::iconsChanged, count);
        QObject::connect(&app->jobs(), &JobRunner::stateChanged, count);
        for (TabGroup *g : {app->sides().leftTabs(), app->sides().rightTabs()}) {
            QObject::connect(g, &TabGroup::tabsChanged, count);
            QObject::connect(g, &TabGroup::indexChanged, count);
        }
        commands = &testCommands(app.get());
        commands->attach(&host);
        bar = std::make_unique<MainMenuBar>(*commands, app->settings(), app->requests());
    }
    void TearDown() override {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w != &host && w->isVisible()) w->close();
        bar.reset();
        app.reset();
        QDir(TrashRoots::homeTrash()).removeRecursively(); // what the commands trashed
    }
    int seen() const {
        return effects + int(alerts.size() + textQuestions.size() + QApplication::topLevelWidgets().size()) +
               (host.isVisible() ? 0 : 1000);
    }

    // Two tabs on the left, a folder with history both ways, one file selected on each side.
    void prepare() {
        app->settings().setDualPane(true);
        app->sides().setActive(Side::left);
        host.show();
        if (app->sides().leftTabs()->tabs().size() < 2) app->sides().leftTabs()->newTab();
        const QString l = root + "/a/x/l.txt", r = root + "/b/b.txt";
        QDir().mkpath(root + "/a/x/y");
        QDir().mkpath(root + "/b");
        for (const QString &f : {l, r})
            if (!QFile::exists(f)) TestUtil::writeFile(f, "x");
        PaneModel *left = app->left();
        if (left->currentPath() != root + "/a/x" || !left->canGoBack() || !left->canGoForward()) {
            for (const QString &f : {root + "/a", root + "/a/x", root + "/a/x/y"})
                left->go(f, true, {});
            left->goBack();
        }
        app->right()->go(root + "/b", true, {});
        auto listed = [](PaneModel *pane, const QString &path) {
            const auto items = pane->items();
            return std::any_of(items.cbegin(), items.cend(),
                               [&](const FileItem &i) { return i.path() == path; });
        };
        QTRY_VERIFY_WITH_TIMEOUT(listed(left, l) && listed(app->right(), r), 5000);
        left->setSelection({l});
        app->right()->setSelection({r});
        if (app->undoJournal().entries().isEmpty()) {
            TestUtil::writeFile(root + "/made.txt", "m");
            app->undoJournal().record("Neu", UndoAction::makeCreated({root + "/made.txt"}));
        }
    }

    QTemporaryDir dir;
    QString root;
    std::unique_ptr<AppState> app;
    Commands *commands = nullptr;
    std::unique_ptr<MainMenuBar> bar;
    int effects = 0;
    QWidget host;
};

} // namespace

// Every entry is a registry command, and every enabled one does something the user can see; those that
// would open a sheet not built yet are off until their sheet can be shown.
TEST_F(MenuBarTest, EveryMenuEntryReachesItsCommand) {
    const LanguageScope de(AppLanguage::de);
    QList<QAction *> all;
    for (QMenu *menu : {bar->fileMenu(), bar->editMenu(), bar->filesMenu(), bar->viewMenu(), bar->helpMenu()})
        all += entries(menu);
    // The manual's chapters are the help menu's own entries, tested with it.
    all.removeIf([this](QAction *a) {
        return bar->chaptersMenu()->actions().contains(a) || bar->languageMenu()->actions().contains(a);
    });
    ASSERT_GT(all.size(), 60);
    using Sheet = SheetPresenter::Sheet;
    const QMap<QString, Sheet> sheetOf{
        {Cmd::info, Sheet::info},           {Cmd::compare, Sheet::compare},
        {Cmd::rules, Sheet::rules},         {Cmd::storage, Sheet::storage},
        {Cmd::shortcuts, Sheet::shortcuts}, {Cmd::terminalHelp, Sheet::terminalHelp},
        {Cmd::feedback, Sheet::feedback}};
    QWidget window;
    SheetPresenter sheets(app->requests(), &window);
    commands->setSheets(&sheets);
    for (const bool withSheets : {false, true}) {
        for (QAction *a : all) {
            const QString id = a->objectName();
            EXPECT_TRUE(commands->actions().contains(a)) << id.toStdString();
            if (withSheets && !sheetOf.contains(id)) continue;
            prepare();
            // What Extract, Put Back and Empty Trash need to act: an archive, an item in the Trash.
            const QString trashed = FileLoader::mainTrash() + "/p.txt";
            if (id == Cmd::extract) {
                TestUtil::writeFile(root + "/a/x/z.zip", "not really");
                app->left()->setSelection({root + "/a/x/l.txt", root + "/a/x/z.zip"});
            }
            if (id == Cmd::putBack || id == Cmd::emptyTrash) {
                QDir().mkpath(FileLoader::mainTrash() + "/../info");
                TestUtil::writeFile(trashed, "p");
                TestUtil::writeFile(FileLoader::mainTrash() + "/../info/p.txt.trashinfo",
                                    "[Trash Info]\nPath=" + (root + "/back/p.txt").toUtf8() +
                                        "\nDeletionDate=2026-01-01T00:00:00\n");
                if (id == Cmd::putBack) app->left()->setSelection({trashed});
                // The Trash changed behind the program's back; it is looked at again off the window's thread.
                app->trash().lookup().refresh();
                commands->update();
                if (id == Cmd::emptyTrash) QTRY_VERIFY_WITH_TIMEOUT(a->isEnabled(), 5000);
            }
            // Off: a sheet that is not there, or a redo the file journal does not have.
            if ((!withSheets && sheetOf.contains(id)) || id == Cmd::editRedo) {
                EXPECT_FALSE(a->isEnabled()) << id.toStdString();
                continue;
            }
            ASSERT_TRUE(a->isEnabled()) << id.toStdString();
            QTest::qWait(30); // the listings settle; from now on the pane's own changes count
            QList<QMetaObject::Connection> watched;
            for (auto signal :
                 {&PaneModel::viewModeChanged, &PaneModel::currentPathChanged, &PaneModel::selectionChanged})
                watched << QObject::connect(app->left(), signal, [this] { ++effects; });
            if (id == Cmd::refresh)
                watched << QObject::connect(app->left(), &PaneModel::refreshTokenChanged,
                                            [this] { ++effects; });
            const int before = seen();
            a->trigger();
            QTRY_VERIFY2_WITH_TIMEOUT(seen() > before, qPrintable(id + " did nothing"), 2000);
            EXPECT_GT(seen(), before) << id.toStdString() << " did nothing";
            for (const auto &c : watched)
                QObject::disconnect(c);
            QTRY_VERIFY_WITH_TIMEOUT(!app->jobs().progress(), 20000);
            if (sheets.current()) sheets.current()->reject();
        }
        for (Sheet s : sheetOf)
            sheets.setFactory(s, [](QWidget *parent) { return new QDialog(parent); });
    }
}

TEST_F(MenuBarTest, StatesFollowTheSelectionTheJournalAndTheSettings) {
    const LanguageScope de(AppLanguage::de);
    commands->retitle();
    MenuLocalizer::walk(bar.get()); // the bar was made in the language before
    QAction *undo = commands->action(Cmd::undo), *editUndo = commands->action(Cmd::editUndo);
    // One rule for every undo entry: nothing in the journal, nothing to offer.
    EXPECT_FALSE(undo->isEnabled() || editUndo->isEnabled());
    EXPECT_EQ(unmarked(undo->text()), "Rückgängig\tStrg+Z");
    // A name with "&" shows the character, not a mnemonic.
    app->undoJournal().record("„R&D“ umbenannt", UndoAction::makeCreated({root + "/x"}));
    EXPECT_TRUE(undo->isEnabled() && editUndo->isEnabled());
    EXPECT_EQ(unmarked(undo->text()), "Rückgängig: „R&&D“ umbenannt\tStrg+Z");
    app->undoJournal().takeLast();
    EXPECT_FALSE(undo->isEnabled());

    // Selection commands follow the active pane; several items are renamed in a sheet not built yet.
    QAction *trash = commands->action(Cmd::trash), *rename = commands->action(Cmd::rename);
    EXPECT_FALSE(trash->isEnabled());
    app->left()->setSelection({root + "/b"});
    EXPECT_TRUE(trash->isEnabled() && rename->isEnabled());
    app->left()->setSelection({root + "/b", root + "/c"});
    EXPECT_FALSE(rename->isEnabled());
    // "Komprimieren als" greys with "Komprimieren (ZIP)", not only the entries inside it.
    QMenu *formats = nullptr;
    for (QMenu *m : bar->findChildren<QMenu *>())
        if (m->actions().contains(commands->action(Cmd::compressAsId(Archive::otherFormats().first()))))
            formats = m;
    ASSERT_TRUE(formats);
    app->left()->setSelection({});
    EXPECT_FALSE(formats->menuAction()->isEnabled() || commands->action(Cmd::compressZip)->isEnabled());
    app->left()->setSelection({root + "/b"});
    EXPECT_TRUE(formats->menuAction()->isEnabled() && commands->action(Cmd::compressZip)->isEnabled());

    // Entries that could not act are off: Extract without an archive, Put Back outside the Trash, Empty
    // Trash with nothing in it; the Trash header's buttons follow the same rules.
    QAction *extract = commands->action(Cmd::extract), *putBack = commands->action(Cmd::putBack),
            *emptyTrash = commands->action(Cmd::emptyTrash);
    app->left()->setSelection({root + "/a.txt"});
    EXPECT_FALSE(extract->isEnabled() || putBack->isEnabled() || emptyTrash->isEnabled());
    app->left()->setSelection({root + "/a.txt", root + "/a.zip"});
    EXPECT_TRUE(extract->isEnabled());
    const QString trashed = FileLoader::mainTrash() + "/t.txt";
    PaneHeader header(app->left(), testPaneParts(app.get()));
    app->left()->go(FileLoader::mainTrash(), true, {});
    QTRY_VERIFY_WITH_TIMEOUT(header.inTrash(), 5000);
    EXPECT_FALSE(header.putBackButton()->isEnabled() || header.emptyTrashButton()->isEnabled());
    TestUtil::writeFile(trashed, "t");
    app->left()->refresh();
    QTRY_VERIFY_WITH_TIMEOUT(app->left()->items().size() == 1, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(emptyTrash->isEnabled() && header.emptyTrashButton()->isEnabled(), 5000);
    app->left()->setSelection({trashed});
    EXPECT_TRUE(putBack->isEnabled() && header.putBackButton()->isEnabled());
    app->left()->goBack();

    // Switches carry the setting in their title or check mark.
    QAction *sidebar = commands->action(Cmd::sidebar), *dual = commands->action(Cmd::dualPane);
    app->settings().setShowSidebar(true);
    EXPECT_EQ(unmarked(sidebar->text()), "Seitenleiste ausblenden\tStrg+Alt+S");
    sidebar->trigger();
    EXPECT_EQ(unmarked(sidebar->text()), "Seitenleiste einblenden\tStrg+Alt+S");
    app->settings().setDualPane(false);
    EXPECT_TRUE(unmarked(dual->text()).startsWith("Zwei Fenster nebeneinander zeigen"));
    EXPECT_FALSE(commands->action(Cmd::activateRight)->isEnabled());
    app->left()->setViewMode(ViewMode::columns);
    EXPECT_TRUE(commands->action(Cmd::asColumns)->isChecked());
    EXPECT_FALSE(commands->action(Cmd::asList)->isChecked());

    // The language re-titles menus and entries, formed titles included, before the call returns.
    ASSERT_EQ(unmarked(bar->fileMenu()->title()), "Datei");
    app->settings().setLanguage(AppLanguage::en);
    EXPECT_EQ(unmarked(bar->fileMenu()->title()), "File");
    EXPECT_TRUE(unmarked(sidebar->text()).startsWith("Show Sidebar"));
    EXPECT_TRUE(unmarked(undo->text()).startsWith("Undo\t"));
    app->settings().setLanguage(AppLanguage::de);
    EXPECT_EQ(unmarked(bar->fileMenu()->title()), "Datei");
}

// A mount that never answers: what the Trash holds is looked up off the window's thread, which goes on
// with the last answer and takes the next one when it comes.
TEST_F(MenuBarTest, AMountThatNeverAnswersHoldsNoCommandBack) {
    const QString fifo = root + "/stuck";
    ASSERT_TRUE(StuckReader::makeFifo(fifo));
    const QString files = FileLoader::mainTrash();
    QTRY_VERIFY_WITH_TIMEOUT(app->trash().lookup().folders() == QStringList{files}, 5000);
    TestUtil::writeFile(files + "/t.txt", "t");
    app->services().trashFolders = [fifo, files] {
        QFile stuck(fifo);
        stuck.open(QIODevice::ReadOnly); // waits for a writer
        return QStringList{files};
    };
    QAction *emptyTrash = commands->action(Cmd::emptyTrash);
    {
        StuckReader::Watchdog watchdog(fifo, 2000);
        app->left()->go(root, true, {});
        commands->update();
        app->trash().emptyTrash();
        EXPECT_FALSE(emptyTrash->isEnabled());
        EXPECT_FALSE(watchdog.fired());
    }
    // The mount answers at last.
    app->services().trashFolders = [files] { return QStringList{files}; };
    QElapsedTimer timer, after;
    timer.start();
    while (timer.elapsed() < 5000 && !(after.isValid() && after.elapsed() > 300)) {
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
        QTest::qWait(10);
        if (emptyTrash->isEnabled() && !after.isValid()) after.start();
    }
    EXPECT_TRUE(emptyTrash->isEnabled());
}

// In each language the titles of the menu bar and of its menus have mnemonics that no other entry of
// its menu has: a letter of the title where it is written in Latin letters, else one after it, in
// brackets and never a digit.
TEST_F(MenuBarTest, EveryTitleHasAMnemonicOfItsOwnInEveryLanguage) {
    for (AppLanguage lang : AppLanguages::allCases) {
        const LanguageScope scope(lang);
        commands->retitle();
        app->settings().setShowSidebar(!app->settings().showSidebar()); // a title that switches
        emit bar->chaptersMenu()->aboutToShow();
        MenuLocalizer::walk(bar.get());
        QList<QWidget *> menus{bar.get()};
        for (qsizetype i = 0; i < menus.size(); ++i) {
            QHash<QKeySequence, QString> owner;
            for (QAction *a : menus[i]->actions()) {
                if (a->isSeparator() || !a->isVisible()) continue;
                const QKeySequence key = QKeySequence::mnemonic(a->text());
                // A title in Latin letters marks one of its own (or none); only one without adds one after
                // it.
                const QString title = a->text().section(u'\t', 0, 0);
                static const QRegularExpression added(QStringLiteral(" \\(&[A-Z0-9]\\)$"));
                const QString before = title.left(title.indexOf(added));
                const bool latin = std::any_of(before.begin(), before.end(),
                                               [](QChar c) { return c.script() == QChar::Script_Latin; });
                if (latin) {
                    EXPECT_FALSE(title.contains(added)) << int(lang) << " " << title.toStdString();
                }
                EXPECT_FALSE(title.contains(QRegularExpression(QStringLiteral("\\(&[0-9]\\)$"))))
                    << int(lang) << " " << title.toStdString();
                // Thai titles take the letters in turn; the Files menu has more entries than letters.
                if ((lang == AppLanguage::th && menus[i] != bar->filesMenu()) || i == 0) {
                    EXPECT_FALSE(key.isEmpty()) << int(lang) << " " << a->text().toStdString();
                }
                if (key.isEmpty()) {
                    if (a->menu()) menus << a->menu();
                    continue;
                }
                EXPECT_FALSE(owner.contains(key)) << int(lang) << " " << a->text().toStdString() << " and "
                                                  << owner.value(key).toStdString();
                owner.insert(key, a->text());
                if (a->menu()) menus << a->menu();
            }
        }
        // The bar, its five menus, "Komprimieren als", the languages and the chapters.
        EXPECT_EQ(menus.size(), 9);
    }
}

// A screen reader reads an entry's title without the mnemonic and without the keys the menu shows after
// it; those are the entry's accelerator.
TEST_F(MenuBarTest, ScreenReadersReadTitlesWithoutTheKeys) {
    const LanguageScope de(AppLanguage::de);
    MenuAccessibility::install();
    commands->retitle();
    MenuLocalizer::walk(bar.get());
    QAction *newFolder = commands->action(Cmd::newFolder);
    ASSERT_TRUE(newFolder->text().contains(u'\t'));
    QAccessibleInterface *menu = QAccessible::queryAccessibleInterface(bar->fileMenu());
    ASSERT_TRUE(menu);
    QAccessibleInterface *entry = menu->child(int(bar->fileMenu()->actions().indexOf(newFolder)));
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->role(), QAccessible::MenuItem);
    EXPECT_EQ(entry->text(QAccessible::Name), "Neuer Ordner");
    EXPECT_EQ(entry->text(QAccessible::Accelerator), "Strg+Umschalt+N");
    QAccessibleInterface *title = QAccessible::queryAccessibleInterface(bar.get())->child(0);
    ASSERT_TRUE(title);
    EXPECT_EQ(title->text(QAccessible::Name), "Datei");
    EXPECT_EQ(title->childCount(), 1);
}

// Linux has no application menu, and no title speaks of programs of another system.
TEST_F(MenuBarTest, LinuxPlacesAndWording) {
    EXPECT_TRUE(bar->fileMenu()->actions().contains(commands->action(Cmd::quit)));
    EXPECT_TRUE(bar->editMenu()->actions().contains(commands->action(Cmd::settings)));
    EXPECT_TRUE(bar->helpMenu()->actions().contains(commands->action(Cmd::about)));
    // The manual's chapters follow the manual entry: "Handbuch öffnen" and the thirteen chapters.
    EXPECT_EQ(bar->helpMenu()->actions().indexOf(bar->chaptersMenu()->menuAction()), 1);
    emit bar->chaptersMenu()->aboutToShow();
    qsizetype entries = 0;
    for (QAction *a : bar->chaptersMenu()->actions())
        entries += a->isVisible() && !a->isSeparator();
    EXPECT_EQ(entries, 14);
    // The toolbar's language menu is in the menu bar too, where keys reach it.
    const LanguageScope keep(Lang::current());
    app->settings().setLanguage(AppLanguage::de);
    for (const char *lang : {"en", "de"}) {
        emit bar->languageMenu()->aboutToShow();
        QAction *choice = bar->languageMenu()->findChild<QAction *>(QString::fromLatin1(lang));
        ASSERT_TRUE(choice);
        EXPECT_FALSE(choice->isChecked());
        choice->trigger();
        EXPECT_EQ(AppLanguages::rawValue(app->settings().language()), lang);
    }
    for (AppLanguage lang : AppLanguages::allCases) {
        const LanguageScope scope(lang);
        commands->retitle();
        for (QAction *a : commands->actions())
            for (const char *word : {"TextEdit", "Finder", "⌘", "⌥", "für macOS"})
                EXPECT_FALSE((a->text() + a->toolTip()).contains(QString::fromUtf8(word)))
                    << a->text().toStdString();
    }
    // The English Files menu in Title Case throughout, as the other menus are.
    const LanguageScope english(AppLanguage::en);
    commands->retitle();
    MenuLocalizer::walk(bar.get());
    const QStringList minor{"and", "in", "the", "to"};
    for (QAction *a : bar->filesMenu()->actions())
        for (const QString &word :
             a->text().section(u'\t', 0, 0).remove(u'&').split(u' ', Qt::SkipEmptyParts))
            EXPECT_TRUE(!word[0].isLower() || word != word.toLower() || minor.contains(word))
                << qPrintable(a->text());
}

TEST_F(MenuBarTest, AboutShowsTheFactsAndTheLongDateOfTheLanguage) {
    EXPECT_EQ(AppInfo::date(), QDateTime(QDate(2026, 11, 5), QTime(12, 0)));
    const QMap<AppLanguage, QString> dates{{AppLanguage::de, "5. November 2026"},
                                           {AppLanguage::en, "November 5, 2026"},
                                           {AppLanguage::pl, "5 listopada 2026"},
                                           {AppLanguage::th, "5 พฤศจิกายน 2026"}};
    for (AppLanguage lang : {AppLanguage::en, AppLanguage::pl, AppLanguage::th, AppLanguage::de}) {
        const LanguageScope scope(lang);
        EXPECT_EQ(AppInfo::dateText(), dates[lang]);
        // Opened again in another language: built afresh.
        commands->action(Cmd::about)->trigger();
        AboutPanel *panel = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *p = qobject_cast<AboutPanel *>(w)) panel = p;
        ASSERT_TRUE(panel);
        EXPECT_EQ(panel->windowTitle(), L("Über Kestrin"));
        const QString credits = panel->findChild<QLabel *>("aboutCredits")->text();
        EXPECT_TRUE(credits.contains(dates[lang]));
        EXPECT_TRUE(credits.contains(L("Entwickler") + ": <b>" + L("Kestrin-Projekt") + "</b>"));
        // Developer and motto speak the language too; the panel shows Kestrin's own icon.
        EXPECT_EQ(credits.contains("Kestrin-Projekt"), lang == AppLanguage::de);
        EXPECT_EQ(credits.contains("Gedanke"), lang == AppLanguage::de);
        const QLabel *icon = panel->findChild<QLabel *>("aboutIcon");
        ASSERT_TRUE(icon);
        EXPECT_EQ(icon->pixmap().toImage().pixel(32, 32),
                  AppIcons::appIcon().pixmap(64, 64).toImage().pixel(32, 32));
        EXPECT_EQ(credits.contains("File manager for Linux"), lang == AppLanguage::en);
        EXPECT_EQ(panel->findChild<QLabel *>("aboutVersion")->text(),
                  LF("Version %@", "1.04") + " (" + AppInfo::serial + ")");
    }
}

// Kestrin's own icon: drawn from its SVG, on every window, at the start of the toolbar and in the
// feedback sheet.
TEST(AppIconsTest, KestrinsIconIsOnEveryWindowTheToolbarAndTheFeedbackSheet) {
    const QIcon icon = AppIcons::appIcon();
    ASSERT_FALSE(icon.isNull());
    for (int size : {16, 48, 256}) {
        const QImage image = icon.pixmap(size, size).toImage();
        EXPECT_EQ(image.size(), QSize(size, size));
        EXPECT_GT(qAlpha(image.pixel(size / 2, size / 2)), 200) << size; // drawn, not blank
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << size;                 // a rounded tile
    }
    AppState app;
    MainWindow w(&app);
    const QRgb middle = icon.pixmap(32, 32).toImage().pixel(16, 16);
    EXPECT_EQ(QApplication::windowIcon().pixmap(32, 32).toImage().pixel(16, 16), middle);
    EXPECT_EQ(w.windowIcon().pixmap(32, 32).toImage().pixel(16, 16), middle);
    const QLabel *title = w.findChild<QLabel *>("titleImage");
    ASSERT_TRUE(title);
    EXPECT_FALSE(title->pixmap().isNull());
    app.requests().setShowFeedback(true);
    QApplication::processEvents();
    ASSERT_TRUE(w.sheets()->current());
    const QLabel *feedback = w.sheets()->current()->findChild<QLabel *>("feedbackIcon");
    ASSERT_TRUE(feedback);
    EXPECT_GT(qAlpha(feedback->pixmap().toImage().pixel(22, 22)), 200);
    w.sheets()->current()->reject();
}

TEST(AppIconsTest, WithoutTheTitleSymbolTheApplicationIconStandsIn) {
    QPixmap own(16, 16);
    own.fill(Qt::red);
    QApplication::setWindowIcon(QIcon(own));
    QTemporaryDir dir;
    TestUtil::writeFile(dir.path() + "/broken.png", "not a picture");
    QImage blue(8, 8, QImage::Format_RGB32);
    blue.fill(Qt::blue);
    ASSERT_TRUE(blue.save(dir.path() + "/t.png"));
    auto colour = [](const QString &path) {
        return AppIcons::titleSymbolFrom(path).pixmap(8).toImage().pixel(3, 3);
    };
    EXPECT_EQ(colour(":/nicht-da.png"), QColor(Qt::red).rgb());
    EXPECT_EQ(colour(dir.path() + "/broken.png"), QColor(Qt::red).rgb());
    EXPECT_EQ(colour(dir.path() + "/t.png"), QColor(Qt::blue).rgb());
    QApplication::setWindowIcon(QIcon());
}
