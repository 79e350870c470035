#pragma once

#include "core/app/Settings.h"
#include "core/fileops/ArchiveFormat.h"
#include "core/localisation/Lang.h"
#include "ui/window/SheetPresenter.h"

#include <QHash>
#include <QKeySequence>
#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class AppState;
class PaneModel;
class TabGroup;
class QAbstractButton;
class QAction;
class QMenu;
class QWidget;

// The ids of the commands: each is the German key of its title (for a title that switches, of the title
// it shows first).
namespace Cmd {
// Transfers between the panes.
inline constexpr const char *copyToLeft = K("Nach links kopieren");
inline constexpr const char *copyToRight = K("Nach rechts kopieren");
inline constexpr const char *moveToLeft = K("Nach links verschieben");
inline constexpr const char *moveToRight = K("Nach rechts verschieben");
inline constexpr const char *moveToOther = K("Ins andere Fenster verschieben"); // F6
// Items.
inline constexpr const char *newFolder = K("Neuer Ordner");
inline constexpr const char *newFile = K("Neue Datei");
inline constexpr const char *rename = K("Umbenennen");
inline constexpr const char *trash = K("In den Papierkorb …");
inline constexpr const char *emptyTrash = K("Papierkorb leeren …");
inline constexpr const char *undo = K("Rückgängig");
inline constexpr const char *quickLook = K("Schnellvorschau");
inline constexpr const char *open = K("Öffnen");
// Edit: the focused text field's own, otherwise the file commands.
inline constexpr const char *editUndo = K("Widerrufen");
inline constexpr const char *editRedo = K("Widerrufen umkehren");
inline constexpr const char *copy = K("Kopieren");
inline constexpr const char *cut = K("Ausschneiden");
inline constexpr const char *paste = K("Einfügen");
inline constexpr const char *selectAll = K("Alles auswählen");
inline constexpr const char *deselect = K("Auswahl aufheben");
// Selection.
inline constexpr const char *share = K("Teilen");
inline constexpr const char *tags = K("Tags");
inline constexpr const char *info = K("Informationen");
// The "Dateien" menu.
inline constexpr const char *goToFolder = K("Gehe zu Ordner …");
inline constexpr const char *duplicate = K("Duplizieren");
inline constexpr const char *compressZip = K("Komprimieren (ZIP)");
inline constexpr const char *compressAs = K("Komprimieren als"); // the submenu's title, not a command
inline constexpr const char *extract = K("Entpacken");
inline constexpr const char *alias = K("Alias erzeugen");
inline constexpr const char *putBack = K("Zurücklegen");
inline constexpr const char *copyPath = K("Pfad kopieren");
inline constexpr const char *terminal = K("Im Terminal öffnen");
inline constexpr const char *textEditor = K("Im Texteditor öffnen");
inline constexpr const char *showInFileManager = K("Im Dateimanager zeigen");
inline constexpr const char *compare = K("Ordner vergleichen und synchronisieren …");
inline constexpr const char *rules = K("Aufräum-Regeln …");
inline constexpr const char *storage = K("Speicheranalyse …");
inline constexpr const char *shortcuts = K("macOS-Tastenkürzel nachschauen …");
inline constexpr const char *terminalHelp = K("Terminal-Hilfe …");
inline constexpr const char *trashDiagnosis = K("Papierkorb-Diagnose …");
inline constexpr const char *activateLeft = K("Linkes Fenster aktivieren");
inline constexpr const char *activateRight = K("Rechtes Fenster aktivieren");
inline constexpr const char *otherSide = K("Anderes Fenster aktivieren");
// The keyboard's way to the window's parts: the search field, and round sidebar, panes and search field.
inline constexpr const char *searchField = K("Suchfeld aktivieren");
inline constexpr const char *nextPart = K("Nächsten Fensterbereich aktivieren");
inline constexpr const char *previousPart = K("Vorherigen Fensterbereich aktivieren");
inline constexpr const char *back = K("Zurück");
inline constexpr const char *forward = K("Vorwärts");
inline constexpr const char *up = K("Übergeordneter Ordner");
inline constexpr const char *refresh = K("Aktualisieren");
// View.
inline constexpr const char *asIcons = K("Als Symbole");
inline constexpr const char *asList = K("Als Liste");
inline constexpr const char *asColumns = K("Als Spalten");
inline constexpr const char *showHidden = K("Unsichtbare Dateien anzeigen");
inline constexpr const char *sidebar = K("Seitenleiste ausblenden");  // or "… einblenden"
inline constexpr const char *inspector = K("Info-Leiste ausblenden"); // or "… einblenden"
inline constexpr const char *dualPane = K("Nur ein Fenster zeigen");  // or "Zwei Fenster …"
inline constexpr const char *newTab = K("Neuer Tab");
inline constexpr const char *closeTab = K("Tab schließen");
inline constexpr const char *nextTab = K("Nächster Tab");
inline constexpr const char *previousTab = K("Vorheriger Tab");
// Help and the application.
inline constexpr const char *manual = K("Kestrin-Handbuch");
inline constexpr const char *feedback = K("Feedback senden");
inline constexpr const char *about = K("Über Kestrin");
inline constexpr const char *settings = K("Einstellungen …");
inline constexpr const char *closeWindow = K("Schließen");
inline constexpr const char *quit = K("Beenden");

// "Komprimieren als" holds one command per format but zip, titled with the format's title.
QString compressAsId(ArchiveFormat format);
} // namespace Cmd

// Every command of the main window as one QAction, made once per main window (tests without a window make
// their own): the German key is the action's id (and, unless it says otherwise, its title; re-titled on a
// language change and by the menu re-titling wherever the action sits in a menu), with its keys, its
// symbol, its enabled rule and its trigger. Menus, buttons and toolbars take the actions from here instead
// of calling AppState themselves; what the registry knows of an action is one row of its table.
//
// Keys come in two kinds. The key monitor decides its keys (Ctrl+C, Return, Tab …) before any shortcut,
// so those are only shown with the action (after a tab in its title) and never registered as shortcuts;
// the action's own shortcuts are live while the action sits in the window given to attach().
//
// A command whose sheet is not built yet is disabled (never a click that does nothing): it asks the sheet
// presenter given to setSheets() and lights up once that sheet has its dialog.
class Commands : public QObject {
    Q_OBJECT
public:
    explicit Commands(AppState &app, QObject *parent = nullptr);
    ~Commands() override;

    QAction *action(const QString &id) const;
    const QList<QAction *> &actions() const { return m_actions; }

    // Keys the key monitor serves for an action (shown, not registered).
    QList<QKeySequence> monitorKeys(const QAction *action) const;
    // The action whose monitor key this is; null when none.
    QAction *byMonitorKey(const QKeySequence &key) const;
    // The enabled action that takes this key ahead of the command whose own key it is (closing a tab
    // before the window); null when none.
    QAction *aheadOf(const QKeySequence &key) const;
    // Whether the monitor serves the action's keys whatever has the focus, a text field too.
    bool inTextFields(const QAction *action) const;
    // Whether the action works on the active pane's items (its selection, its folder's contents): its keys
    // are meant for the files only while a pane has the focus. The menus still reach it from anywhere.
    bool actsOnFiles(const QAction *action) const;
    // Whether a key, of its own or of the monitor, belongs to such an action.
    bool forFiles(const QKeySequence &key) const;
    // The German key of an action's help text (tooltip); empty when it has none.
    QString helpKey(const QAction *action) const;
    // The Symbols name of an action; empty when it has none.
    QString symbol(const QAction *action) const;
    // The German key of the action's title now; empty for a title formed from data (undo, formats).
    QString titleKey(const QAction *action) const;
    // The help a toolbar button that is the action's face shows, in the current language, and the
    // manual chapter it belongs to (0 when the action has no face).
    QString faceHelp(const QAction *action) const;
    int faceChapter(const QAction *action) const;
    // Makes a button the face of an action: its help text and name are the action's (in the current
    // language), and a click runs before() (activating the button's pane, say) and then the action.
    void bindButton(QAbstractButton *button, QAction *action, std::function<void()> before = {}) const;

    // Makes the actions' own shortcuts live in a window; window commands (close, quit) act on it.
    void attach(QWidget *window);
    QWidget *window() const { return m_window; }
    // The presenter that decides which sheet commands can be offered.
    void setSheets(SheetPresenter *sheets);

    // Titles, help texts and key hints in the current language.
    void retitle();
    // Enabled and checked states and the titles that follow the state; runs on every change of the
    // application's state, and by hand after a hook (quickLook) was filled. A pane's change re-evaluates
    // only the commands that read what changed (its selection, its place, its view), a setting's change
    // only those that read that setting.
    void update();
    // How many commands had their state evaluated so far (a measure of the work changes cause).
    quint64 evaluations() const { return m_evaluations; }

    // A title carrying a file, folder or app name for a menu or button: its '&' shows as the character.
    static QString literalTitle(const QString &text);
    // A key as menus and hints show it, with the key names of the language ("Strg+Umschalt+N").
    static QString keyText(const QKeySequence &key);

    // The text widget that edit commands go to: the focus widget when it is a text field or editor.
    static QWidget *focusedText();

private:
    enum class When { always, selection, leftSelection, rightSelection };
    // What of a pane a command's state reads (and the focused text field's edit state).
    // trashAnswer: a new answer of the Trash lookup.
    enum PaneFact : unsigned {
        selection = 1,
        place = 2,
        view = 4,
        textField = 8,
        listing = 16,
        trashAnswer = 32
    };
    // How a group describes a command it adds.
    struct ActionDef {
        const char *id;
        const char *symbol = nullptr;
        const char *help = nullptr;
        QList<QKeySequence> keys = {};        // live shortcuts
        QList<QKeySequence> monitorKeys = {}; // decided by the key monitor
        When when = When::always;
        Qt::ShortcutContext context = Qt::WindowShortcut;
        const char *title = nullptr; // the German key of the title when it is not the id
    };
    // What the registry knows of one action.
    struct Entry {
        QString titleKey; // empty while the title is formed from data
        QString help;
        QString symbol;
        QList<QKeySequence> monitorKeys;
        QList<QKeySequence> aheadKeys; // keys it takes ahead of the command whose own they are
        bool inTextFields = false;
        bool onFiles = false; // see actsOnFiles()
        When when = When::always;
        std::function<bool()> rule;             // further condition of the enabled state
        std::function<bool()> checked;          // for switches
        std::function<QString()> followedTitle; // a title key that follows the state
        std::function<QString()> formed;        // a title formed from data, shown as it is
        unsigned paneFacts = 0;                 // PaneFact bits its rule, check and title read
        QList<Settings::Key> settings;          // the settings they read
        const char *face = nullptr;             // the German key of its toolbar button's help
        std::function<QString()> formedFace;    // or that help formed now
        int chapter = 0;                        // the manual chapter of that button
    };

    // The groups of commands, in the order menus and the key monitor meet them.
    void addTransfers();
    void addItems();
    void addTrashAndUndo();
    void addEdit();
    void addFilesMenu();
    void addNavigation();
    void addHistory();
    void addTabs();
    void addViews();
    void addApp();

    QAction *add(const ActionDef &def, std::function<void()> run);
    Entry &entry(const QAction *action);
    const Entry *find(const QAction *action) const;
    // Gives an action's toolbar button its help key and chapter.
    void face(QAction *action, const char *help, int chapter);
    void needsSheet(QAction *action, SheetPresenter::Sheet sheet);
    void buildTagMenu(QAction *tags);
    void watchState();
    void watchPanes();
    void applyTitle(QAction *action);
    // Re-evaluates the commands that read one of these pane facts.
    void updateFor(unsigned facts);
    // Re-evaluates the commands an entry test picks.
    void updateWhere(const std::function<bool(const Entry &)> &picked);
    // Follows the edit state of the text field with the focus.
    void watchText();
    void evaluate(QAction *action, const Entry &entry, bool left, bool right, bool active);
    // What the commands act on: the active pane, its selection, the active side's tabs.
    PaneModel *pane() const;
    QStringList selected() const;
    TabGroup *group() const;

    QPointer<AppState> m_app;
    QPointer<QWidget> m_window;
    QPointer<SheetPresenter> m_sheets;
    QList<QAction *> m_actions;
    QHash<const QAction *, Entry> m_entries;
    std::unique_ptr<QMenu> m_tagMenu;
    QList<QMetaObject::Connection> m_paneConnections;
    QMetaObject::Connection m_textConnection;
    QMetaObject::Connection m_sheetsChanged;
    quint64 m_evaluations = 0;
};
