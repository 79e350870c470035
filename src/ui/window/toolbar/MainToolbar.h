#pragma once

#include <QPointer>
#include <QToolBar>

class ActionsMenu;
class Clipboard;
class Commands;
class Favorites;
class Settings;
class Sides;
class ToolbarApps;
class TrashCommands;
class UndoJournal;
class WindowRequests;
class IconButton;
class LanguageHelpMenu;
class QHBoxLayout;
class QLineEdit;
class SearchExtras;
class SheetPresenter;
class ToolbarIconButton;
class ToolbarMenuButton;

// What the toolbar shows and runs besides the commands.
struct ToolbarParts {
    Settings &settings;
    Sides &sides;
    WindowRequests &requests;
    Favorites &favorites;
    TrashCommands &trash; // its button acts without a selection too, to say what is missing
    Clipboard &clipboard;
    UndoJournal &journal;
    ToolbarApps &apps;
};

// The main window's toolbar: navigation at the leading edge; the view, file and window tools, the
// language menu, settings and the search at the trailing edge. It stores nothing: symbols, selected and
// enabled states follow the settings and the active pane. Built anew for a language change.
class MainToolbar : public QToolBar {
    Q_OBJECT
public:
    MainToolbar(const ToolbarParts &parts, Commands &commands, const SheetPresenter *sheets,
                QWidget *parent = nullptr);

    QLineEdit *searchField() const { return m_search; }
    // Where the help chapters menu goes: the first item of the trailing group.
    QHBoxLayout *helpChaptersSlot() const { return m_helpSlot; }
    // An item by its object name ("back", "trash", "favoritesMenu" …), for tests and the screenshots.
    QWidget *item(const QString &name) const;
    ActionsMenu *actionsMenu() const { return m_actions; }
    SearchExtras *searchExtras() const { return m_extras; }

    // Symbols, selected, dimmed and enabled states from the state of now.
    void sync();
    // Builds the entries of the favourites, lookup and apps menus for the state of now.
    void fillFavorites();
    void fillLookup();
    void fillApps();

protected:
    bool focusNextPrevChild(bool next) override;

private:
    ToolbarIconButton *button(const QString &name, const QString &symbol, QAction *command);
    ToolbarIconButton *face(const QString &name, const QString &symbol, const char *id);
    ToolbarMenuButton *menuButton(const char *name, const char *symbol, QWidget *parent,
                                  void (MainToolbar::*fill)());
    void build();
    void buildNavigation(QWidget *content, QHBoxLayout *row);
    void buildViewTools(QWidget *content, QHBoxLayout *row);
    void buildApps(QWidget *content, QHBoxLayout *row);
    void buildFileTools(QWidget *content, QHBoxLayout *row);
    void buildSearch(QWidget *content, QHBoxLayout *row);
    // Follows the active pane's view, place and selection.
    void followPane();

    ToolbarParts m_parts;
    Commands &m_commands;
    QList<QMetaObject::Connection> m_paneConnections;
    QPointer<const SheetPresenter> m_sheets;
    QLineEdit *m_search = nullptr;
    QHBoxLayout *m_helpSlot = nullptr;
    QHBoxLayout *m_appsRow = nullptr;
    QWidget *m_apps = nullptr;
    ToolbarIconButton *m_back = nullptr, *m_forward = nullptr, *m_hidden = nullptr, *m_trash = nullptr,
                      *m_dual = nullptr, *m_inspector = nullptr;
    QList<ToolbarIconButton *> m_viewModes;
    ToolbarMenuButton *m_favorites = nullptr, *m_lookup = nullptr, *m_appsMenu = nullptr;
    ActionsMenu *m_actions = nullptr;
    LanguageHelpMenu *m_language = nullptr;
    SearchExtras *m_extras = nullptr;
};
