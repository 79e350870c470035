#pragma once

#include "core/app/CleanupRules.h"
#include "core/app/KeyPress.h"
#include "core/app/Services.h"
#include "core/app/Settings.h"
#include "core/app/Sides.h"
#include "core/app/Toasts.h"
#include "core/app/WindowRequests.h"
#include "core/fileops/ArchiveFormat.h"
#include "core/fileops/FileActionContext.h"
#include "core/fileops/TransferProgress.h"
#include "core/fileops/UndoJournal.h"
#include "core/localisation/AppLanguage.h"
#include "core/model/Side.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

class Favorites;
class JobRunner;
class SidebarModel;
class PaneModel;
class PaneHooks;
class TabGroup;
struct FileItem;
struct SyncStep;

// The application state: it builds its parts at start (settings, pane sides, window requests, toasts, the
// one job channel and the undo journal), hands them out, and holds the item commands. Main thread only; it
// never opens a window itself. Each subsystem adds its operations in a source file of its own
// (AppState*.cpp).
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

    // The panes the commands use most.
    PaneModel *left() const { return m_sides.left(); }
    PaneModel *right() const { return m_sides.right(); }
    PaneModel *activePane() const { return m_sides.activePane(); }
    // The toast.
    const std::optional<Toast> &toast() const { return m_toasts.toast(); }
    void show(const QString &text, bool error = false);
    // Refusals and notices of work left undone: the warning look.
    void show(const QString &text, ToastKind kind);
    const QSet<QString> &cutPaths() const { return m_cutPaths; }

    // The job channel: one long job at a time.
    JobRunner &jobs() const { return *m_jobs; }

    // Transfers between panes.
    void transferSelection(Side from, bool move);
    // admitted runs once the job has been admitted (not when refused or cancelled at a question).
    void transfer(const QStringList &paths, const QString &destination, bool move,
                  std::function<void()> admitted = {});

    // The keys of the browser that are no command: moving through the list, type-to-select, Ctrl+W on a
    // side with several tabs. True when the key was used; nothing while a modal question is up.
    bool keyDown(const KeyPress &press);

    // The undo journal and the file actions that record into it.
    UndoJournal &undoJournal() { return m_undo; }
    void record(const QString &title, const UndoAction &action);
    void undoLast();
    void putBack(const QStringList &paths);
    void compress(const QStringList &paths, ArchiveFormat format = ArchiveFormat::zip);
    void extract(const QStringList &paths);
    void duplicate(const QStringList &paths);
    void makeAlias(const QStringList &paths);
    // Opens a file with its application; says so in a toast when none opens it.
    void openWithApplication(const QString &path);

    // --- Commands: clipboard, item commands, eject, rename, new items, Trash.
    std::optional<qint64> cutChangeCount() const { return m_cutChangeCount; }
    bool cutInForce(const QStringList &paths) const;
    void copyToClipboard(const QStringList &paths);
    void cutToClipboard(const QStringList &paths);
    void paste(const QString &folder);

    void openSelection();
    void share(const QStringList &paths);
    void toggleTag(const QString &tag, const QStringList &paths);
    void clearTags(const QStringList &paths);
    void showInfo(const QStringList &paths);
    void goToFolder(PaneModel *pane = nullptr);
    void copyPath(const QStringList &paths);
    void openFolderInTerminal();
    void openInTextEdit();
    // Shows the items selected in the desktop's file manager, else in the active pane.
    void showInFileManager(const QStringList &paths);
    // The sheets of the folder compare (both panes' folders) and of the storage analysis (the active
    // pane's folder when no path is given).
    void openCompare();
    // Runs the ticked steps of a compare as the one job (asking first when items go to the Trash or are
    // replaced); completion runs on the main thread after the result toast, only when the job ran.
    void runSync(const QString &left, const QString &right, const QList<SyncStep> &steps,
                 std::function<void()> completion);
    void openStorageAnalysis(const std::optional<QString> &path = std::nullopt);
    QStringList contextPaths(PaneModel *pane, const FileItem &item);

    void eject(const QString &path, const QString &name);
    void renameSelection();
    void newFolder(const std::optional<QString> &in = std::nullopt);
    void newFile(const std::optional<QString> &in = std::nullopt);

    void trashSelection();
    // Files dropped on the Trash: into the trash as the one job, with no question (items already in a
    // trash stay where they are).
    void trashDropped(const QStringList &paths);
    void emptyTrash();
    void trashDiagnosis();
    // The diagnosis text (twelve lines); the raw listing of one folder with POSIX calls.
    static QString diagnosisText();
    static QString rawListing(const QString &path);
    // --- end of commands

    // Cleanup: all enabled, complete rules as one job (silent for the timer's runs), and the minute loop
    // that runs while rulesAuto is on.
    void runRules(bool silent);
    // The cleanup rules in user order; every change is stored at once.
    CleanupRules &cleanupRules() { return m_cleanupRules; }
    bool rulesTimerActive() const { return m_rulesTask.isActive(); }

    // What the settings file said at start: the path it was put aside to when it could not be read.
    QString settingsSetAside() const { return m_settingsSetAside; }

signals:
    void cutPathsChanged();
    // The mounted volumes changed (after an eject): the sidebar lists its devices anew.
    void devicesChanged();

    // --- Commands: these items' icons (with their tag colours) must be drawn anew.
    void iconsChanged(const QStringList &paths);

private:
    // The transfer once its conflicts are answered.
    void startTransfer(const QStringList &paths, const QString &destination, bool move,
                       const QHash<QString, ConflictChoice> &resolutions,
                       const std::function<void()> &admitted);
    void buildSides();
    void loadRules();
    // The hooks the file actions run with.
    FileActionContext fileActionContext();
    // (Re)starts the minute loop of the cleanup while rulesAuto is on.
    void startRulesTimer();
    bool handleKey(const KeyPress &press);
    // What a changed setting does beyond itself.
    void settingChanged(Settings::Key key);
    // Shorthands of the commands.
    TabGroup *tabs(Side side) const { return m_sides.tabs(side); }
    void refreshAll() { m_sides.refreshAll(); }
    void setCutPaths(const QSet<QString> &value);
    void recordTransfer(const TransferOutcome &outcome, bool move);

    // --- Commands (private)
    void clearCut();
    void deleteFromTrash(const QStringList &paths);
    void offerShowInFolder(const QStringList &paths);
    void offerAdminEmpty(const QStringList &denied, const QStringList &folders);
    // The work after each question was answered.
    void startTrash(const QStringList &paths, QPointer<PaneModel> source);
    void startDeleteFromTrash(const QStringList &paths, QPointer<PaneModel> pane);
    void startEmptyTrash(const QList<QByteArray> &paths, const QStringList &folders);
    void startAdminEmpty(const QStringList &denied, const QStringList &folders);
    void renameItem(PaneModel *pane, const QString &path, const QString &answer);
    void goToTypedFolder(PaneModel *pane, const QString &answer);
    std::optional<qint64> m_cutChangeCount;
    // --- end of commands

    // The parts, in the order they are built.
    Services m_services;
    Settings m_settings;
    Toasts m_toasts;
    WindowRequests m_requests;
    Sides m_sides;
    PaneHooks *m_hooks = nullptr;
    UndoJournal m_undo;
    QSet<QString> m_cutPaths;

    JobRunner *m_jobs = nullptr;
    SidebarModel *m_sidebar = nullptr;
    Favorites *m_favorites = nullptr;
    CleanupRules m_cleanupRules;
    QTimer m_rulesTask;
    QString m_settingsSetAside;
    QString m_typeBuffer;
    qint64 m_typeTime = 0;
};
