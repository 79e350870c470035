#include "ui/window/toolbar/MainToolbar.h"

#include "core/app/Clipboard.h"
#include "core/app/Settings.h"
#include "core/app/Sides.h"
#include "core/app/TrashCommands.h"
#include "core/app/WindowRequests.h"
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
#include <algorithm>

namespace {

// Names of files, folders and apps may hold '&', which a menu would take for a mnemonic.
QString literal(QString text) {
    return text.replace(u'&', QStringLiteral("&&"));
}

} // namespace

MainToolbar::MainToolbar(const ToolbarParts &parts, Commands &commands, const SheetPresenter *sheets,
                         QWidget *parent)
    : QToolBar(parent), m_parts(parts), m_commands(commands), m_sheets(sheets) {
    setObjectName(QStringLiteral("mainToolbar"));
    setMovable(false);
    setFloatable(false);
    setContextMenuPolicy(Qt::PreventContextMenu);
    build();
    connect(&m_parts.settings, &Settings::changed, this, &MainToolbar::sync);
    // The active pane's view, place and selection; a cursor move or a listing changes nothing here.
    connect(&m_parts.sides, &Sides::activePaneChanged, this, &MainToolbar::followPane);
    if (m_sheets) connect(m_sheets, &SheetPresenter::sheetsChanged, this, &MainToolbar::sync);
    followPane();
}

void MainToolbar::followPane() {
    for (const auto &c : std::as_const(m_paneConnections))
        disconnect(c);
    m_paneConnections.clear();
    PaneModel *pane = m_parts.sides.activePane();
    for (auto signal :
         {&PaneModel::viewModeChanged, &PaneModel::selectionChanged, &PaneModel::currentPathChanged})
        m_paneConnections << connect(pane, signal, this, &MainToolbar::sync);
    sync();
}

ToolbarIconButton *MainToolbar::button(const QString &name, const QString &symbol, QAction *command) {
    auto *b = new ToolbarIconButton(symbol);
    b->setObjectName(name);
    b->setAction(command);
    return b;
}

// A button that is the face of a command: its help and chapter are the command's.
ToolbarIconButton *MainToolbar::face(const QString &name, const QString &symbol, const char *id) {
    QAction *command = m_commands.action(QString::fromUtf8(id));
    ToolbarIconButton *b = button(name, symbol, command);
    toolbarHelp(b, &m_parts.requests, m_commands.faceHelp(command), m_commands.faceChapter(command));
    return b;
}

// Tab and Shift+Tab go round the buttons and the search field in the order they are shown. A button that
// is disabled or hidden while it has the focus hands it to its neighbour.
bool MainToolbar::focusNextPrevChild(bool next) {
    QWidget *focus = QApplication::focusWidget();
    QList<QWidget *> stops;
    for (QWidget *w : findChildren<QWidget *>())
        if (w == focus ||
            ((w == m_search || (w->focusPolicy() & Qt::TabFocus)) && w->isVisible() && w->isEnabled()))
            stops << w;
    std::stable_sort(stops.begin(), stops.end(), [this](const QWidget *a, const QWidget *b) {
        return a->mapTo(this, QPoint()).x() < b->mapTo(this, QPoint()).x();
    });
    const qsizetype at = stops.indexOf(focus);
    if (at < 0 || stops.size() < 2) return QToolBar::focusNextPrevChild(next);
    const qsizetype n = stops.size();
    stops[(at + n + (next ? 1 : -1)) % n]->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

QWidget *MainToolbar::item(const QString &name) const {
    return findChild<QWidget *>(name);
}

void MainToolbar::build() {
    // One row of our own, so the search field is what gives way when the window is narrow.
    auto *content = new QWidget(this);
    content->setObjectName(QStringLiteral("toolbarContent"));
    content->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto *row = new QHBoxLayout(content);
    row->setContentsMargins(0, 0, 4, 0);
    row->setSpacing(2);
    buildNavigation(content, row);
    buildViewTools(content, row);
    buildApps(content, row);
    buildFileTools(content, row);
    buildSearch(content, row);
    addWidget(content);
}

// Navigation: title image, sidebar, back and forward.
void MainToolbar::buildNavigation(QWidget *content, QHBoxLayout *row) {
    auto *titleImage = new QLabel(content);
    titleImage->setObjectName(QStringLiteral("titleImage"));
    titleImage->setPixmap(AppIcons::appIcon().pixmap(28, 28));
    titleImage->setContentsMargins(4, 0, 18, 0);
    row->addWidget(titleImage);

    row->addWidget(face(QStringLiteral("sidebar"), QStringLiteral("sidebar.left"), Cmd::sidebar));
    auto *history = new QHBoxLayout;
    history->setSpacing(10);
    m_back = face(QStringLiteral("back"), QStringLiteral("chevron.left"), Cmd::back);
    m_forward = face(QStringLiteral("forward"), QStringLiteral("chevron.right"), Cmd::forward);
    history->addWidget(m_back);
    history->addWidget(m_forward);
    row->addSpacing(4);
    row->addLayout(history);
    row->addStretch(1);
}

// The trailing group: the help chapters menu (which its own part places here), the view modes,
// favourites, hidden files and the lookups.
void MainToolbar::buildViewTools(QWidget *content, QHBoxLayout *row) {
    auto *helpHolder = new QWidget(content);
    helpHolder->setObjectName(QStringLiteral("helpChaptersSlot"));
    m_helpSlot = new QHBoxLayout(helpHolder);
    m_helpSlot->setContentsMargins(0, 0, 0, 0);
    m_helpSlot->setSpacing(0);
    m_helpSlot->addWidget(new HelpChaptersMenu(m_parts.requests, m_parts.settings, helpHolder));
    row->addWidget(helpHolder);

    auto *modes = new QHBoxLayout;
    modes->setSpacing(0);
    const char *modeIds[] = {Cmd::asIcons, Cmd::asList, Cmd::asColumns};
    for (size_t i = 0; i < ViewModes::allCases.size(); ++i) {
        const ViewMode mode = ViewModes::allCases[i];
        ToolbarIconButton *b = face(QStringLiteral("view.") + rawValue(mode), symbol(mode), modeIds[i]);
        b->setParent(content);
        modes->addWidget(b);
        m_viewModes << b;
    }
    row->addLayout(modes);

    m_favorites = menuButton("favoritesMenu", "star", content, &MainToolbar::fillFavorites);
    toolbarHelp(m_favorites, &m_parts.requests,
                K("Favoriten: Ordner, Dateien und Programme öffnen, hinzufügen oder entfernen"), 7);
    row->addWidget(m_favorites);
    m_hidden = face(QStringLiteral("hidden"), QStringLiteral("eye.slash"), Cmd::showHidden);
    row->addWidget(m_hidden);
    m_lookup = menuButton("lookupMenu", "keyboard", content, &MainToolbar::fillLookup);
    toolbarHelp(m_lookup, &m_parts.requests, K("Nachschlagen: macOS-Tastenkürzel und Terminal-Befehle"), 12);
    row->addWidget(m_lookup);
}

ToolbarMenuButton *MainToolbar::menuButton(const char *name, const char *symbol, QWidget *parent,
                                           void (MainToolbar::*fill)()) {
    auto *b = new ToolbarMenuButton(QString::fromLatin1(symbol), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setMenu(new QMenu(b));
    connect(b->menu(), &QMenu::aboutToShow, this, fill);
    return b;
}

// The toolbar apps: the strip's buttons, then its customise menu.
void MainToolbar::buildApps(QWidget *content, QHBoxLayout *row) {
    auto *strip = new ToolbarAppsStrip(m_parts.settings, m_parts.requests, m_parts.apps, content);
    m_apps = strip;
    m_appsRow = strip->row();
    m_appsMenu = menuButton("appsMenu", "plus.app", m_apps, &MainToolbar::fillApps);
    toolbarHelp(
        m_appsMenu, &m_parts.requests,
        LF("Leiste anpassen: Apps hinzufügen, anordnen, entfernen (bis zu %@). Programme lassen sich auch "
           "hierher ziehen.",
           "5"),
        7);
    m_appsRow->addWidget(m_appsMenu);
    toolbarHelpContext(m_apps, &m_parts.requests, 7);
    row->addWidget(m_apps);
}

// The actions menu and the tools on files and the window's panels.
void MainToolbar::buildFileTools(QWidget *content, QHBoxLayout *row) {
    m_actions = new ActionsMenu(m_commands, m_parts.sides, m_parts.clipboard, m_parts.journal,
                                m_parts.requests, m_sheets, content);
    row->addWidget(m_actions);

    ToolbarIconButton *refresh =
        face(QStringLiteral("refresh"), QStringLiteral("arrow.clockwise"), Cmd::refresh);
    ToolbarIconButton *newFile =
        face(QStringLiteral("newFile"), QStringLiteral("doc.badge.plus"), Cmd::newFile);
    ToolbarIconButton *newFolder =
        face(QStringLiteral("newFolder"), QStringLiteral("folder.badge.plus"), Cmd::newFolder);
    m_trash = face(QStringLiteral("trash"), QStringLiteral("trash"), Cmd::trash);
    // Never disabled: without a selection the operation itself says what is missing, which the command
    // (disabled then) would not get to say.
    QPointer<TrashCommands> trash = &m_parts.trash;
    m_trash->setAction(m_commands.action(Cmd::trash), [trash] {
        if (trash) trash->trashSelection();
    });
    ToolbarIconButton *empty =
        face(QStringLiteral("emptyTrash"), QStringLiteral("trash.slash"), Cmd::emptyTrash);
    m_dual = button(QStringLiteral("dualPane"), QStringLiteral("rectangle.split.2x1.fill"),
                    m_commands.action(Cmd::dualPane));
    m_inspector = face(QStringLiteral("inspector"), QStringLiteral("sidebar.right"), Cmd::inspector);
    for (QWidget *w :
         std::initializer_list<QWidget *>{refresh, newFile, newFolder, m_trash, empty, m_dual, m_inspector})
        row->addWidget(w);

    m_language = new LanguageHelpMenu(m_parts.settings, m_commands, m_parts.requests, content);
    row->addWidget(m_language);

    auto *gear = new SettingsGearButton(content);
    gear->setObjectName(QStringLiteral("settings"));
    gear->setFocusPolicy(Qt::TabFocus);
    if (QAction *settings = m_commands.action(Cmd::settings))
        connect(gear, &QAbstractButton::clicked, settings, &QAction::trigger);
    else
        gear->setEnabled(false);
    toolbarHelpContext(gear, &m_parts.requests, 11);
    row->addWidget(gear);
}

// The search field searches the active pane; switching sides shows that pane's own text.
void MainToolbar::buildSearch(QWidget *content, QHBoxLayout *row) {
    m_extras = new SearchExtras(m_parts.sides, m_parts.requests, content);
    row->addSpacing(4);
    row->addWidget(m_extras);

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
    connect(m_search, &QLineEdit::textEdited, this,
            [this](const QString &text) { m_parts.sides.activePane()->setSearchText(text); });
    row->addSpacing(4);
    row->addWidget(m_search, 1);
}

void MainToolbar::sync() {
    PaneModel *pane = m_parts.sides.activePane();
    for (size_t i = 0; i < ViewModes::allCases.size() && i < size_t(m_viewModes.size()); ++i)
        m_viewModes[qsizetype(i)]->setSelected(pane->viewMode() == ViewModes::allCases[i]);
    m_favorites->setSymbol(m_parts.settings.quickFavorites().contains(pane->targetFolder())
                               ? QStringLiteral("star.fill")
                               : QStringLiteral("star"));
    // Shows the state, never drawn as selected.
    m_hidden->setSymbol(m_parts.settings.showHidden() ? QStringLiteral("eye") : QStringLiteral("eye.slash"));
    // Never disabled: without a selection the command says what is missing.
    m_trash->setDimmed(pane->selection().isEmpty());
    const bool dual = m_parts.settings.dualPane();
    m_dual->setSymbol(dual ? QStringLiteral("rectangle.split.2x1.fill")
                           : QStringLiteral("rectangle.split.2x1"));
    QAction *dualCommand = m_commands.action(Cmd::dualPane);
    toolbarHelp(m_dual, &m_parts.requests, m_commands.faceHelp(dualCommand),
                m_commands.faceChapter(dualCommand));
    m_inspector->setSelected(m_parts.settings.showInspector());
    m_appsRow->setSpacing(m_parts.settings.toolbarCompact() ? 2 : 6);
}

void MainToolbar::fillFavorites() {
    QMenu *m = m_favorites->menu();
    m->clear();
    const QStringList favorites = m_parts.settings.quickFavorites();
    if (favorites.isEmpty()) m->addAction(L("Noch keine Favoriten"))->setEnabled(false);
    QFileIconProvider icons;
    for (const QString &path : favorites) {
        QAction *a = m->addAction(icons.icon(QFileInfo(path)), literal(localName(path)));
        a->setObjectName(path);
        QPointer<Favorites> open = &m_parts.favorites;
        // A folder opens in the active pane, anything else with its application.
        connect(a, &QAction::triggered, this, [open, path] {
            if (open) open->openFavorite(path);
        });
    }
    m->addSeparator();
    QAction *search = m->addAction(L("Ordner, Datei oder Programm suchen und hinzufügen …"));
    search->setObjectName(QStringLiteral("addFavorites"));
    connect(search, &QAction::triggered, this, [this] { m_parts.favorites.addFavoritesDialog(); });
    PaneModel *pane = m_parts.sides.activePane();
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
    connect(toggle, &QAction::triggered, this, [this] { m_parts.favorites.toggleFavoriteCurrent(); });
    QAction *edit = m->addAction(L("Favoriten bearbeiten …"));
    edit->setObjectName(QStringLiteral("editFavorites"));
    edit->setEnabled(m_sheets && m_sheets->canShow(SheetPresenter::Sheet::favoritesEditor));
    connect(edit, &QAction::triggered, this, [this] { m_parts.requests.setShowFavoritesEditor(true); });
}

void MainToolbar::fillLookup() {
    QMenu *m = m_lookup->menu();
    m->clear();
    using Sheet = SheetPresenter::Sheet;
    struct Lookup {
        const char *title, *symbol;
        QString command;
        Sheet sheet;
    };
    for (const Lookup &l :
         {Lookup{K("macOS-Tastenkürzel nachschauen …"), "keyboard", Cmd::shortcuts, Sheet::shortcuts},
          Lookup{K("Terminal-Hilfe …"), "terminal", Cmd::terminalHelp, Sheet::terminalHelp}}) {
        QAction *command = m_commands.action(l.command);
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
    QAction *add = m->addAction(L("App hinzufügen …"));
    add->setObjectName(QStringLiteral("addApp"));
    add->setEnabled(m_parts.settings.toolbarApps().size() < ToolbarApps::maxToolbarApps);
    connect(add, &QAction::triggered, this, [this] { m_parts.apps.addToolbarApp(); });
    QAction *edit = m->addAction(L("Leiste anpassen …"));
    edit->setObjectName(QStringLiteral("editToolbar"));
    edit->setEnabled(m_sheets && m_sheets->canShow(SheetPresenter::Sheet::toolbarEditor));
    connect(edit, &QAction::triggered, this, [this] { m_parts.requests.setShowToolbarEditor(true); });
    m->addSeparator();
    QAction *compact = m->addAction(L("Kompakte Leiste (nur Symbole)"));
    compact->setObjectName(QStringLiteral("compact"));
    compact->setCheckable(true);
    compact->setChecked(m_parts.settings.toolbarCompact());
    connect(compact, &QAction::triggered, this, [this](bool on) { m_parts.settings.setToolbarCompact(on); });
}
