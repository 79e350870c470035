#pragma once

#include "core/app/CleanupRules.h"
#include "core/app/Clipboard.h"
#include "core/app/FileActionCommands.h"
#include "core/app/ItemCommands.h"
#include "core/app/JobRunner.h"
#include "core/app/KeyPress.h"
#include "core/app/RenameCommands.h"
#include "core/app/Services.h"
#include "core/app/Settings.h"
#include "core/app/Sides.h"
#include "core/app/Toasts.h"
#include "core/app/Transfers.h"
#include "core/app/TrashCommands.h"
#include "core/app/WindowRequests.h"
#include "core/fileops/UndoJournal.h"
#include "core/localisation/AppLanguage.h"
#include "core/model/Side.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>

class Favorites;
class SidebarModel;
class PaneModel;
class PaneHooks;
class TabGroup;

// The application state: it builds its parts at start (settings, pane sides, window requests, toasts, the
// one job channel, the undo journal and the command groups), hands them out, and holds start-up,
// shut-down and the cleanup loop. Main thread only; it never opens a window itself.
class AppState : public QObject {
    Q_OBJECT
public:
    explicit AppState(Services services = {}, QObject *parent = nullptr);
    ~AppState() override;

    Services &services() { return m_services; }
    Settings &settings() { return m_settings; }
    Sides &sides() { return m_sides; }
    WindowRequests &requests() { return m_requests; }
    Toasts &toasts() { return m_toasts; }
    SidebarModel &sidebar() const { return *m_sidebar; }
    Favorites &favorites() const { return *m_favorites; }
    // The job channel: one long job at a time.
    JobRunner &jobs() { return m_jobs; }
    UndoJournal &undoJournal() { return m_undo; }

    // The item commands, by concern.
    Transfers &transfers() { return m_transfers; }
    Clipboard &clipboard() { return m_clipboard; }
    const Clipboard &clipboard() const { return m_clipboard; }
    ItemCommands &items() { return m_items; }
    RenameCommands &renames() { return m_renames; }
    TrashCommands &trash() { return m_trash; }
    FileActionCommands &fileActions() { return m_fileActions; }

    // The panes the commands use most.
    PaneModel *left() const { return m_sides.left(); }
    PaneModel *right() const { return m_sides.right(); }
    PaneModel *activePane() const { return m_sides.activePane(); }
    // The toast.
    const std::optional<Toast> &toast() const { return m_toasts.toast(); }
    void show(const QString &text, bool error = false) { m_toasts.show(text, error); }
    // Refusals and notices of work left undone: the warning look.
    void show(const QString &text, ToastKind kind) { m_toasts.show(text, kind); }

    // A path handed over at start (a folder, a file, or a file: URL): a folder opens in the active pane, a
    // file's folder opens with the file selected; anything else is told and the panes stay as they were.
    void openGiven(const QString &given, const QString &workingDir);

    // The keys of the browser that are no command: moving through the list and type-to-select. True when
    // the key was used; nothing while a modal question is up.
    bool keyDown(const KeyPress &press);
    // Whether a type-to-select run is going (its last key within the pause): a space then belongs to the
    // name typed, not to the preview.
    bool typingName() const;

    // Cleanup: all enabled, complete rules as one job (silent for the timer's runs), and the minute loop
    // that runs while rulesAuto is on.
    void runRules(bool silent);
    // The cleanup rules in user order; every change is stored at once.
    CleanupRules &cleanupRules() { return m_cleanupRules; }
    bool rulesTimerActive() const { return m_rulesTask.isActive(); }

    // What the settings file said at start: the path it was put aside to when it could not be read.
    QString settingsSetAside() const { return m_settingsSetAside; }
    // Why the settings could not be written (an errno of Defaults), as a sentence.
    static QString settingsTrouble(int error);
    // At quit: writes every setting not yet written, waiting at most about waitMs for another running
    // copy's lock. Empty when all are in the file; else what to tell the user.
    QString finishSettings(int waitMs);

private:
    void buildSides();
    void loadRules();
    // (Re)starts the minute loop of the cleanup while rulesAuto is on.
    void startRulesTimer();
    // What a changed setting does beyond itself.
    void settingChanged(Settings::Key key);

    // The parts, in the order they are built (and gone in reverse).
    Services m_services;
    Settings m_settings;
    Toasts m_toasts;
    WindowRequests m_requests;
    Sides m_sides;
    PaneHooks *m_hooks = nullptr;
    UndoJournal m_undo;
    JobRunner m_jobs;
    Transfers m_transfers;
    Clipboard m_clipboard;
    RenameCommands m_renames;
    ItemCommands m_items;
    TrashCommands m_trash;
    FileActionCommands m_fileActions;

    SidebarModel *m_sidebar = nullptr;
    Favorites *m_favorites = nullptr;
    CleanupRules m_cleanupRules;
    QTimer m_rulesTask;
    QString m_settingsSetAside;
    QString m_typeBuffer;
    qint64 m_typeTime = 0;
};
