#pragma once

#include "core/localisation/Lang.h"

#include <QKeySequence>
#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

class AppState;
class QAction;
class QMenu;
class QWidget;

// The ids of the commands: each is the German key of its title.
namespace Cmd {
inline constexpr const char *copyToLeft = K("Nach links kopieren");
inline constexpr const char *copyToRight = K("Nach rechts kopieren");
inline constexpr const char *moveToLeft = K("Nach links verschieben");
inline constexpr const char *moveToRight = K("Nach rechts verschieben");
inline constexpr const char *newFolder = K("Neuer Ordner");
inline constexpr const char *rename = K("Umbenennen");
inline constexpr const char *copy = K("Kopieren");
inline constexpr const char *cut = K("Ausschneiden");
inline constexpr const char *paste = K("Einfügen");
inline constexpr const char *selectAll = K("Alles auswählen");
inline constexpr const char *deselect = K("Auswahl aufheben");
inline constexpr const char *share = K("Teilen");
inline constexpr const char *tags = K("Tags");
inline constexpr const char *info = K("Informationen");
inline constexpr const char *copyPath = K("Pfad kopieren");
inline constexpr const char *goToFolder = K("Gehe zu Ordner …");
inline constexpr const char *emptyTrash = K("Papierkorb leeren …");
inline constexpr const char *showHidden = K("Unsichtbare Dateien anzeigen");
inline constexpr const char *otherSide = K("Anderes Fenster aktivieren");
inline constexpr const char *newTab = K("Neuer Tab");
inline constexpr const char *closeTab = K("Tab schließen");
inline constexpr const char *closeWindow = K("Schließen");
inline constexpr const char *settings = K("Einstellungen …");
inline constexpr const char *quit = K("Beenden");
} // namespace Cmd

// Every command of the main window as one QAction, made once per application state: the German key is
// the action's id and title (re-titled on a language change, and by the menu re-titling wherever the
// action sits in a menu), with its keys, its symbol, its enabled rule and its trigger. Buttons, menus and
// toolbars take the actions from here instead of calling AppState themselves.
//
// Keys come in two kinds. The key monitor decides its keys (Ctrl+C, Return, Tab …) before any shortcut,
// so those are only shown with the action (after a tab in its title) and never registered as shortcuts;
// the action's own shortcuts are live while the action sits in the window given to attach().
class Commands : public QObject {
    Q_OBJECT
public:
    // The registry of an application state, made on first use and gone with the state.
    static Commands *of(AppState *app);
    ~Commands() override;

    QAction *action(const QString &id) const;
    const QList<QAction *> &actions() const { return m_actions; }

    // Keys the key monitor serves for an action (shown, not registered).
    static QList<QKeySequence> monitorKeys(const QAction *action);
    // The German key of an action's help text (tooltip); empty when it has none.
    static QString helpKey(const QAction *action);
    // The Symbols name of an action; empty when it has none.
    static QString symbol(const QAction *action);

    // Makes the actions' own shortcuts live in a window; window commands (close, quit) act on it.
    void attach(QWidget *window);
    QWidget *window() const { return m_window; }

    // Titles, help texts and key hints in the current language.
    void retitle();

private:
    enum class When { always, selection, leftSelection, rightSelection };
    struct Entry {
        const char *id;
        const char *symbol = nullptr;
        const char *help = nullptr;
        QList<QKeySequence> keys = {};        // live shortcuts
        QList<QKeySequence> monitorKeys = {}; // decided by the key monitor
        When when = When::always;
        Qt::ShortcutContext context = Qt::WindowShortcut;
    };

    explicit Commands(AppState *app);
    QAction *add(const Entry &entry, std::function<void()> run);
    void buildTagMenu(QAction *tags);
    void watchPanes();
    void updateEnabled();

    QPointer<AppState> m_app;
    QPointer<QWidget> m_window;
    QList<QAction *> m_actions;
    QList<When> m_when;
    std::unique_ptr<QMenu> m_tagMenu;
    QMetaObject::Connection m_leftSelection, m_rightSelection;
};
