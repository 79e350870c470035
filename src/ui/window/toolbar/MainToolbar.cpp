#include "ui/window/toolbar/MainToolbar.h"

#include "core/app/AppState.h"
#include "core/app/ToolbarApps.h"
#include "core/app/Favorites.h"
#include "core/localisation/KeyHints.h"
#include "core/localisation/Lang.h"
#include "core/localisation/SystemNames.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneModel.h"
#include "core/model/ViewMode.h"
#include "ui/app/Commands.h"
#include "ui/style/AppIcons.h"
#include "ui/window/SheetPresenter.h"
#include "ui/window/toolbar/ActionsMenu.h"
#include "ui/window/toolbar/LanguageHelpMenu.h"
#include "ui/help/HelpChaptersMenu.h"
#include "ui/window/toolbar/SearchExtras.h"
#include "ui/window/toolbar/ToolbarHelp.h"
#include "ui/window/toolbar/ToolbarAppsStrip.h"
#include "ui/window/toolbar/ToolbarButtons.h"
#include "ui/style/Symbols.h"

#include <QAction>
#include <QApplication>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>

namespace {

// Names of files, folders and apps may hold '&', which a menu would take for a mnemonic.
QString literal(QString text) {
    return text.replace(u'&', QStringLiteral("&&"));
}

} // namespace

MainToolbar::MainToolbar(AppState *app, const SheetPresenter *sheets, QWidget *parent)
    : QToolBar(parent), m_app(app), m_sheets(sheets) {
    setObjectName(QStringLiteral("mainToolbar"));
    setMovable(false);
    setFloatable(false);
    setContextMenuPolicy(Qt::PreventContextMenu);
    build();
    if (m_app) {
        connect(&m_app->settings(), &Settings::changed, this, &MainToolbar::sync);
        connect(&m_app->sides(), &Sides::activeChanged, this, &MainToolbar::sync);
        connect(&m_app->sides(), &Sides::sideChanged, this, &MainToolbar::sync);
    }
    if (m_sheets) connect(m_sheets, &SheetPresenter::sheetsChanged, this, &MainToolbar::sync);
    sync();
}

ToolbarIconButton *MainToolbar::button(const char *name, const char *symbol, QAction *command) {
    auto *b = new ToolbarIconButton(QString::fromLatin1(symbol));
    b->setObjectName(QString::fromLatin1(name));
    b->setAction(command);
    return b;
}

QWidget *MainToolbar::item(const QString &name) const {
    return findChild<QWidget *>(name);
}

void MainToolbar::build() {
    Commands *commands = Commands::of(m_app);
    auto command = [commands](const QString &id) { return commands ? commands->action(id) : nullptr; };

    // One row of our own, so the search field is what gives way when the window is narrow.
    auto *content = new QWidget(this);
    content->setObjectName(QStringLiteral("toolbarContent"));
    content->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto *row = new QHBoxLayout(content);
    row->setContentsMargins(0, 0, 4, 0);
    row->setSpacing(2);

    // Navigation: title image, sidebar, back and forward.
    auto *titleImage = new QLabel(content);
    titleImage->setObjectName(QStringLiteral("titleImage"));
    titleImage->setPixmap(AppIcons::appIcon().pixmap(28, 28));
    titleImage->setContentsMargins(4, 0, 18, 0);
    row->addWidget(titleImage);

    ToolbarIconButton *sidebar = button("sidebar", "sidebar.left", command(Cmd::sidebar));
    toolbarHelp(sidebar, &m_app->requests(), K("Seitenleiste ein- oder ausblenden"), 2);
    row->addWidget(sidebar);
    auto *history = new QHBoxLayout;
    history->setSpacing(10);
    m_back = button("back", "chevron.left", command(Cmd::back));
    toolbarHelp(m_back, &m_app->requests(), K("Zurück (⌘[)"), 2);
    m_forward = button("forward", "chevron.right", command(Cmd::forward));
    toolbarHelp(m_forward, &m_app->requests(), K("Vorwärts (⌘])"), 2);
    history->addWidget(m_back);
    history->addWidget(m_forward);
    row->addSpacing(4);
    row->addLayout(history);
    row->addStretch(1);

    // The trailing group. First the help chapters menu, which its own part places here.
    auto *helpHolder = new QWidget(content);
    helpHolder->setObjectName(QStringLiteral("helpChaptersSlot"));
    m_helpSlot = new QHBoxLayout(helpHolder);
    m_helpSlot->setContentsMargins(0, 0, 0, 0);
    m_helpSlot->setSpacing(0);
    m_helpSlot->addWidget(new HelpChaptersMenu(m_app->requests(), m_app->settings(), helpHolder));
    row->addWidget(helpHolder);

    auto *modes = new QHBoxLayout;
    modes->setSpacing(0);
    const QString modeIds[] = {Cmd::asIcons, Cmd::asList, Cmd::asColumns};
    for (size_t i = 0; i < ViewModes::allCases.size(); ++i) {
        const ViewMode mode = ViewModes::allCases[i];
        auto *b = new ToolbarIconButton(symbol(mode), content);
        b->setObjectName(QStringLiteral("view.") + rawValue(mode));
        b->setAction(command(modeIds[i]));
        // The number is the mode's place in the list, as in its key.
        toolbarHelp(b, &m_app->requests(),
                    KeyHints::linuxize(title(mode) + QStringLiteral(" (⌘%1)").arg(i + 1), Lang::current()),
                    2);
        modes->addWidget(b);
        m_viewModes << b;
    }
    row->addLayout(modes);

    m_favorites = new ToolbarMenuButton(QStringLiteral("star"), content);
    m_favorites->setObjectName(QStringLiteral("favoritesMenu"));
    m_favorites->setMenu(new QMenu(m_favorites));
    connect(m_favorites->menu(), &QMenu::aboutToShow, this, &MainToolbar::fillFavorites);
    toolbarHelp(m_favorites, &m_app->requests(),
                K("Favoriten: Ordner, Dateien und Programme öffnen, hinzufügen oder entfernen"), 7);
    row->addWidget(m_favorites);

    m_hidden = button("hidden", "eye.slash", command(Cmd::showHidden));
    toolbarHelp(m_hidden, &m_app->requests(), K("Unsichtbare Dateien ein- oder ausblenden (⇧⌘.)"), 2);
    row->addWidget(m_hidden);

    m_lookup = new ToolbarMenuButton(QStringLiteral("keyboard"), content);
    m_lookup->setObjectName(QStringLiteral("lookupMenu"));
    m_lookup->setMenu(new QMenu(m_lookup));
    connect(m_lookup->menu(), &QMenu::aboutToShow, this, &MainToolbar::fillLookup);
    toolbarHelp(m_lookup, &m_app->requests(), K("Nachschlagen: macOS-Tastenkürzel und Terminal-Befehle"), 12);
    row->addWidget(m_lookup);

    // The toolbar apps: the strip's buttons, then its customise menu.
    auto *strip = new ToolbarAppsStrip(m_app, content);
    m_apps = strip;
    m_appsRow = strip->row();
    m_appsMenu = new ToolbarMenuButton(QStringLiteral("plus.app"), m_apps);
    m_appsMenu->setObjectName(QStringLiteral("appsMenu"));
    m_appsMenu->setMenu(new QMenu(m_appsMenu));
    connect(m_appsMenu->menu(), &QMenu::aboutToShow, this, &MainToolbar::fillApps);
    toolbarHelp(
        m_appsMenu, &m_app->requests(),
        LF("Leiste anpassen: Apps hinzufügen, anordnen, entfernen (bis zu %@). Programme lassen sich auch "
           "hierher ziehen.",
           "5"),
        7);
    m_appsRow->addWidget(m_appsMenu);
    toolbarHelpContext(m_apps, &m_app->requests(), 7);
    row->addWidget(m_apps);

    m_actions = new ActionsMenu(m_app, m_sheets, content);
    row->addWidget(m_actions);

    ToolbarIconButton *refresh = button("refresh", "arrow.clockwise", command(Cmd::refresh));
    toolbarHelp(refresh, &m_app->requests(), K("Aktualisieren (⌘R)"), 2);
    ToolbarIconButton *newFile = button("newFile", "doc.badge.plus", command(Cmd::newFile));
    toolbarHelp(newFile, &m_app->requests(), K("Neue Datei"), 4);
    ToolbarIconButton *newFolder = button("newFolder", "folder.badge.plus", command(Cmd::newFolder));
    toolbarHelp(newFolder, &m_app->requests(), K("Neuer Ordner (⇧⌘N)"), 4);
    m_trash = button("trash", "trash", nullptr);
    // Never disabled: without a selection the operation itself says what is missing, which the command
    // (disabled then) would not get to say.
    QPointer<AppState> app = m_app;
    m_trash->setAction(command(Cmd::trash), [app] {
        if (app) app->trash().trashSelection();
    });
    toolbarHelp(m_trash, &m_app->requests(),
                K("In den Papierkorb legen (⌦); im Papierkorb: endgültig löschen"), 5);
    ToolbarIconButton *empty = button("emptyTrash", "trash.slash", command(Cmd::emptyTrash));
    toolbarHelp(empty, &m_app->requests(), K("Papierkorb leeren …"), 5);
    m_dual = button("dualPane", "rectangle.split.2x1.fill", command(Cmd::dualPane));
    m_inspector = button("inspector", "sidebar.right", command(Cmd::inspector));
    toolbarHelp(m_inspector, &m_app->requests(), K("Info-Leiste ein- oder ausblenden"), 8);
    for (QWidget *w :
         std::initializer_list<QWidget *>{refresh, newFile, newFolder, m_trash, empty, m_dual, m_inspector})
        row->addWidget(w);

    m_language = new LanguageHelpMenu(m_app, content);
    row->addWidget(m_language);

    auto *gear = new SettingsGearButton(content);
    gear->setObjectName(QStringLiteral("settings"));
    gear->setFocusPolicy(Qt::NoFocus);
    if (QAction *settings = command(Cmd::settings))
        connect(gear, &QAbstractButton::clicked, settings, &QAction::trigger);
    else
        gear->setEnabled(false);
    toolbarHelpContext(gear, &m_app->requests(), 11);
    row->addWidget(gear);

    m_extras = new SearchExtras(m_app, content);
    row->addSpacing(4);
    row->addWidget(m_extras);

    // The search field searches the active pane; switching sides shows that pane's own text.
    m_search = new QLineEdit(content);
    m_search->setObjectName(QStringLiteral("search"));
    m_search->setClearButtonEnabled(true);
    m_search->setPlaceholderText(L("Suchen"));
    m_search->setAccessibleName(L("Suchen"));
    // The field's own clear button says what it does.
    for (QToolButton *clear : m_search->findChildren<QToolButton *>())
        clear->setAccessibleName(L("Suchtext löschen"));
    m_search->setMinimumWidth(90);
    m_search->setMaximumWidth(240);
    m_search->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(m_search, &QLineEdit::textEdited, this, [this](const QString &text) {
        if (m_app) m_app->activePane()->setSearchText(text);
    });
    row->addSpacing(4);
    row->addWidget(m_search, 1);

    addWidget(content);
}

void MainToolbar::sync() {
    if (!m_app) return;
    PaneModel *pane = m_app->activePane();
    for (size_t i = 0; i < ViewModes::allCases.size() && i < size_t(m_viewModes.size()); ++i)
        m_viewModes[qsizetype(i)]->setSelected(pane->viewMode() == ViewModes::allCases[i]);
    m_favorites->setSymbol(m_app->settings().quickFavorites().contains(pane->targetFolder())
                               ? QStringLiteral("star.fill")
                               : QStringLiteral("star"));
    // Shows the state, never drawn as selected.
    m_hidden->setSymbol(m_app->settings().showHidden() ? QStringLiteral("eye") : QStringLiteral("eye.slash"));
    // Never disabled: without a selection the command says what is missing.
    m_trash->setDimmed(pane->selection().isEmpty());
    const bool dual = m_app->settings().dualPane();
    m_dual->setSymbol(dual ? QStringLiteral("rectangle.split.2x1.fill")
                           : QStringLiteral("rectangle.split.2x1"));
    toolbarHelp(m_dual, &m_app->requests(),
                dual ? K("Nur ein Fenster zeigen") : K("Zwei Fenster nebeneinander zeigen"), 1);
    m_inspector->setSelected(m_app->settings().showInspector());
    m_appsRow->setSpacing(m_app->settings().toolbarCompact() ? 2 : 6);
}

void MainToolbar::fillFavorites() {
    QMenu *m = m_favorites->menu();
    m->clear();
    if (!m_app) return;
    const QStringList favorites = m_app->settings().quickFavorites();
    if (favorites.isEmpty()) m->addAction(L("Noch keine Favoriten"))->setEnabled(false);
    QFileIconProvider icons;
    for (const QString &path : favorites) {
        QAction *a = m->addAction(icons.icon(QFileInfo(path)), literal(localName(path)));
        a->setObjectName(path);
        QPointer<AppState> app = m_app;
        // A folder opens in the active pane, anything else with its application.
        connect(a, &QAction::triggered, this, [app, path] {
            if (app) app->favorites().openFavorite(path);
        });
    }
    m->addSeparator();
    QAction *search = m->addAction(L("Ordner, Datei oder Programm suchen und hinzufügen …"));
    search->setObjectName(QStringLiteral("addFavorites"));
    connect(search, &QAction::triggered, this, [this] {
        if (m_app) m_app->favorites().addFavoritesDialog();
    });
    PaneModel *pane = m_app->activePane();
    const QString target = pane->targetFolder();
    const bool known = favorites.contains(target);
    const bool selection = target != pane->currentPath();
    const char *text = known ? (selection ? K("Markierten Ordner aus den Favoriten entfernen")
                                          : K("Aktuellen Ordner aus den Favoriten entfernen"))
                             : (selection ? K("Markierten Ordner zu den Favoriten hinzufügen")
                                          : K("Aktuellen Ordner zu den Favoriten hinzufügen"));
    QAction *toggle =
        m->addAction(Symbols::icon(known ? QStringLiteral("star.slash") : QStringLiteral("star")), L(text));
    toggle->setObjectName(QStringLiteral("toggleFavorite"));
    connect(toggle, &QAction::triggered, this, [this] {
        if (m_app) m_app->favorites().toggleFavoriteCurrent();
    });
    QAction *edit = m->addAction(L("Favoriten bearbeiten …"));
    edit->setObjectName(QStringLiteral("editFavorites"));
    edit->setEnabled(m_sheets && m_sheets->canShow(SheetPresenter::Sheet::favoritesEditor));
    connect(edit, &QAction::triggered, this, [this] {
        if (m_app) m_app->requests().setShowFavoritesEditor(true);
    });
}

void MainToolbar::fillLookup() {
    QMenu *m = m_lookup->menu();
    m->clear();
    Commands *commands = Commands::of(m_app);
    if (!commands) return;
    using Sheet = SheetPresenter::Sheet;
    struct Lookup {
        const char *title, *symbol;
        QString command;
        Sheet sheet;
    };
    for (const Lookup &l :
         {Lookup{K("macOS-Tastenkürzel nachschauen …"), "keyboard", Cmd::shortcuts, Sheet::shortcuts},
          Lookup{K("Terminal-Hilfe …"), "terminal", Cmd::terminalHelp, Sheet::terminalHelp}}) {
        QAction *command = commands->action(l.command);
        QAction *a = m->addAction(Symbols::icon(QString::fromLatin1(l.symbol)), L(l.title));
        a->setObjectName(l.command);
        a->setEnabled(command && command->isEnabled() && m_sheets && m_sheets->canShow(l.sheet));
        QPointer<QAction> target = command;
        connect(a, &QAction::triggered, this, [target] {
            if (target) target->trigger();
        });
    }
}

void MainToolbar::fillApps() {
    QMenu *m = m_appsMenu->menu();
    m->clear();
    if (!m_app) return;
    QAction *add = m->addAction(L("App hinzufügen …"));
    add->setObjectName(QStringLiteral("addApp"));
    add->setEnabled(m_app->settings().toolbarApps().size() < ToolbarApps::maxToolbarApps);
    connect(add, &QAction::triggered, this, [this] {
        if (ToolbarApps *apps = ToolbarApps::of(m_app)) apps->addToolbarApp();
    });
    QAction *edit = m->addAction(L("Leiste anpassen …"));
    edit->setObjectName(QStringLiteral("editToolbar"));
    edit->setEnabled(m_sheets && m_sheets->canShow(SheetPresenter::Sheet::toolbarEditor));
    connect(edit, &QAction::triggered, this, [this] {
        if (m_app) m_app->requests().setShowToolbarEditor(true);
    });
    m->addSeparator();
    QAction *compact = m->addAction(L("Kompakte Leiste (nur Symbole)"));
    compact->setObjectName(QStringLiteral("compact"));
    compact->setCheckable(true);
    compact->setChecked(m_app->settings().toolbarCompact());
    connect(compact, &QAction::triggered, this, [this](bool on) {
        if (m_app) m_app->settings().setToolbarCompact(on);
    });
}
