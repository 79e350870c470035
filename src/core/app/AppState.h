#pragma once

#include "core/app/ColorScheme.h"
#include "core/app/DesktopHooks.h"
#include "core/app/KeyPress.h"
#include "core/app/Pasteboard.h"
#include "core/app/Toast.h"
#include "core/base/Dialogs.h"
#include "core/fileops/ArchiveFormat.h"
#include "core/fileops/FileActionContext.h"
#include "core/fileops/TransferProgress.h"
#include "core/fileops/UndoJournal.h"
#include "core/localisation/AppLanguage.h"
#include "core/model/Side.h"
#include "core/tools/CleanRule.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

class JobRunner;
class TabGroup;
class PaneModel;
class PaneHooks;
struct FileItem;
struct SyncStep;

using CompareRequest = InfoTarget;
using StorageRequest = InfoTarget;
enum class FeedbackKind { bug, idea, question, other };

// The one central state of the application: both pane sides, every application-wide setting, the sheet
// requests, the toast and the one job channel. Main thread only; it never opens a window itself.
// Each subsystem adds its operations in a source file of its own (AppState*.cpp).
class AppState : public QObject {
    Q_OBJECT
public:
    explicit AppState(Dialogs dialogs = {}, QObject *parent = nullptr);
    ~AppState() override;

    // Timings, injectable so tests don't wait for real seconds.
    struct Timing {
        int toastMs = 5000;
        int errorToastMs = 7000;
        int pollMs = 120;
        int firstStatusMs = 400;
        int rulesMs = 60000; // period of the automatic cleanup
    };
    static Timing &timing();

    Dialogs &dialogs() { return m_dialogs; }

    // Pane sides.
    TabGroup *leftTabs() const { return m_leftTabs; }
    TabGroup *rightTabs() const { return m_rightTabs; }
    TabGroup *tabs(Side side) const { return side == Side::left ? m_leftTabs : m_rightTabs; }
    PaneModel *left() const;
    PaneModel *right() const;
    PaneModel *activePane() const;

    // Published fields (each has a signal below).
    const Side &active() const { return m_active; }
    void setActive(const Side &value);
    const bool &dualPane() const { return m_dualPane; }
    void setDualPane(const bool &value);
    const bool &showSidebar() const { return m_showSidebar; }
    void setShowSidebar(const bool &value);
    const bool &showInspector() const { return m_showInspector; }
    void setShowInspector(const bool &value);
    const std::optional<Toast> &toast() const { return m_toast; }
    void setToast(const std::optional<Toast> &value);
    const std::optional<TransferStatus> &transferStatus() const;
    const std::optional<InfoTarget> &batchRenameTarget() const { return m_batchRenameTarget; }
    void setBatchRenameTarget(const std::optional<InfoTarget> &value);
    const std::optional<CompareRequest> &compareRequest() const { return m_compareRequest; }
    void setCompareRequest(const std::optional<CompareRequest> &value);
    const std::optional<StorageRequest> &storageRequest() const { return m_storageRequest; }
    void setStorageRequest(const std::optional<StorageRequest> &value);
    const bool &showRules() const { return m_showRules; }
    void setShowRules(const bool &value);
    const bool &showShortcuts() const { return m_showShortcuts; }
    void setShowShortcuts(const bool &value);
    const bool &showTerminalHelp() const { return m_showTerminalHelp; }
    void setShowTerminalHelp(const bool &value);
    const double &splitFraction() const { return m_splitFraction; }
    void setSplitFraction(const double &value);
    const double &inspectorWidth() const { return m_inspectorWidth; }
    void setInspectorWidth(const double &value);
    const bool &showToolbarEditor() const { return m_showToolbarEditor; }
    void setShowToolbarEditor(const bool &value);
    const bool &toolbarCompact() const { return m_toolbarCompact; }
    void setToolbarCompact(const bool &value);
    const QStringList &toolbarApps() const { return m_toolbarApps; }
    void setToolbarApps(const QStringList &value);
    const QStringList &quickFavorites() const { return m_quickFavorites; }
    void setQuickFavorites(const QStringList &value);
    const bool &showFavoritesEditor() const { return m_showFavoritesEditor; }
    void setShowFavoritesEditor(const bool &value);
    const bool &rulesAuto() const { return m_rulesAuto; }
    void setRulesAuto(const bool &value);
    // The cleanup rules in user order; every change is stored at once.
    const QList<CleanRule> &rules() const { return m_rules; }
    void setRules(const QList<CleanRule> &value);
    const QString &themeID() const { return m_themeID; }
    void setThemeID(const QString &value);
    const double &fontSize() const { return m_fontSize; }
    void setFontSize(const double &value);
    const QString &folderIcons() const { return m_folderIcons; }
    void setFolderIcons(const QString &value);
    const AppLanguage &language() const { return m_language; }
    void setLanguage(const AppLanguage &value);
    const std::optional<int> &manualSection() const { return m_manualSection; }
    void setManualSection(const std::optional<int> &value);
    const int &manualRequest() const { return m_manualRequest; }
    void setManualRequest(const int &value);
    const bool &showFeedback() const { return m_showFeedback; }
    void setShowFeedback(const bool &value);
    const QString &feedbackText() const { return m_feedbackText; }
    void setFeedbackText(const QString &value);
    const FeedbackKind &feedbackKind() const { return m_feedbackKind; }
    void setFeedbackKind(const FeedbackKind &value);
    const QString &appearance() const { return m_appearance; }
    void setAppearance(const QString &value);
    const bool &showHidden() const { return m_showHidden; }
    void setShowHidden(const bool &value);
    const std::optional<InfoTarget> &infoTarget() const { return m_infoTarget; }
    void setInfoTarget(const std::optional<InfoTarget> &value);
    const QSet<QString> &cutPaths() const { return m_cutPaths; }
    void setCutPaths(const QSet<QString> &value);

    // Derived values.
    std::optional<ColorScheme> scheme() const;
    std::function<void()> openManualWindow;

    // Operations.
    void refreshAll();
    void openManual(std::optional<int> section);
    void show(const QString &text, bool error = false);
    // Refusals and notices of work left undone: the warning look.
    void show(const QString &text, ToastKind kind);
    void saveLastPaths();

    // The job channel: one long job at a time (forwards to the runner).
    JobRunner &jobs() const { return *m_jobs; }
    std::shared_ptr<TransferProgress> beginJob(const QString &title);
    void endJob();
    void cancelJob();
    std::shared_ptr<TransferProgress> currentProgress() const;

    // Transfers between panes.
    void transferSelection(Side from, bool move);
    // admitted runs once the job has been admitted (not when refused or cancelled at a question).
    void transfer(const QStringList &paths, const QString &destination, bool move,
                  std::function<void()> admitted = {});

    // The application-wide key monitor: true when the key was used. Ctrl+Shift+period toggles hidden
    // files; everything else goes to handleKey unless a modal question is up.
    bool keyDown(const KeyPress &press);
    bool handleKey(const KeyPress &press);

    // The undo journal and the file actions that record into it.
    UndoJournal &undoJournal() { return m_undo; }
    std::optional<QString> undoTitle() const { return m_undo.undoTitle(); }
    void record(const QString &title, const UndoAction &action);
    void undoLast();
    void putBack(const QStringList &paths);
    void compress(const QStringList &paths, ArchiveFormat format = ArchiveFormat::zip);
    void extract(const QStringList &paths);
    void duplicate(const QStringList &paths);
    void makeAlias(const QStringList &paths);
    // The hooks the file actions run with.
    FileActionContext fileActionContext();
    // What the window system provides: opening a file with its application (false when none took it),
    // the modifiers held now.
    std::function<bool(const QString &path)> openFile;
    // Opens a file with its application; says so in a toast when none opens it.
    void openWithApplication(const QString &path);
    std::function<Qt::KeyboardModifiers()> keyboardModifiers;

    // --- Commands: clipboard, item commands, eject, rename, new items, Trash.
    // The clipboard and the desktop services; the window fills the clipboard, tests fake both.
    Pasteboard pasteboard;
    DesktopHooks desktop = DesktopHooks::system();
    // Rebuilds the sidebar's device list (after an eject); filled by the window.
    std::function<void()> rebuildSidebar;
    // The trash folders that emptying clears (tests keep it to their own).
    std::function<QStringList()> trashFolders;
    // Delay of the second refresh after a rename; tests shorten it.
    int renameRefreshMs = 1200;

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
    // Shows or hides the preview of the active pane's selection; empty until the preview exists.
    std::function<void()> quickLook;
    QStringList contextPaths(PaneModel *pane, const FileItem &item);
    PaneModel *pane(Side side) const;
    TabGroup *group(Side side) const { return tabs(side); }

    void eject(const QString &path, const QString &name);
    void renameSelection();
    void newFolder(const std::optional<QString> &in = std::nullopt);
    void newFile(const std::optional<QString> &in = std::nullopt);

    void trashSelection();
    void emptyTrash();
    void trashDiagnosis();
    // The diagnosis text (twelve lines); the raw listing of one folder with POSIX calls.
    static QString diagnosisText();
    static QString rawListing(const QString &path);
    // --- end of commands

    // Cleanup: all enabled, complete rules as one job (silent for the timer's runs), and the minute loop
    // that runs while rulesAuto is on.
    void runRules(bool silent);
    void startRulesTimer();
    bool rulesTimerActive() const { return m_rulesTask.isActive(); }

    // What the settings file said at start: the path it was put aside to when it could not be read.
    QString settingsSetAside() const { return m_settingsSetAside; }

signals:
    void changed();
    void activeChanged();
    void dualPaneChanged();
    void showSidebarChanged();
    void showInspectorChanged();
    void toastChanged();
    void batchRenameTargetChanged();
    void compareRequestChanged();
    void storageRequestChanged();
    void showRulesChanged();
    void showShortcutsChanged();
    void showTerminalHelpChanged();
    void splitFractionChanged();
    void inspectorWidthChanged();
    void showToolbarEditorChanged();
    void toolbarCompactChanged();
    void toolbarAppsChanged();
    void quickFavoritesChanged();
    void showFavoritesEditorChanged();
    void rulesAutoChanged();
    void rulesChanged();
    void themeIDChanged();
    void fontSizeChanged();
    void folderIconsChanged();
    void languageChanged();
    void manualSectionChanged();
    void manualRequestChanged();
    void showFeedbackChanged();
    void feedbackTextChanged();
    void feedbackKindChanged();
    void appearanceChanged();
    void showHiddenChanged();
    void infoTargetChanged();
    void cutPathsChanged();

    // --- Commands: these items' icons (with their tag colours) must be drawn anew.
    void iconsChanged(const QStringList &paths);

private:
    // The transfer once its conflicts are answered.
    void startTransfer(const QStringList &paths, const QString &destination, bool move,
                       const QHash<QString, ConflictChoice> &resolutions,
                       const std::function<void()> &admitted);
    template <typename T> void publish(T &field, const T &value, void (AppState::*signal)()) {
        field = value;
        emit(this->*signal)();
        emit changed();
    }
    void readSettings();
    void loadRules();
    void buildSides();
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

    Dialogs m_dialogs;
    PaneHooks *m_hooks = nullptr;
    UndoJournal m_undo;
    TabGroup *m_leftTabs = nullptr;
    TabGroup *m_rightTabs = nullptr;
    Side m_active{};
    bool m_dualPane{};
    bool m_showSidebar{};
    bool m_showInspector{};
    std::optional<Toast> m_toast{};
    std::optional<InfoTarget> m_batchRenameTarget{};
    std::optional<CompareRequest> m_compareRequest{};
    std::optional<StorageRequest> m_storageRequest{};
    bool m_showRules{};
    bool m_showShortcuts{};
    bool m_showTerminalHelp{};
    double m_splitFraction{};
    double m_inspectorWidth{};
    bool m_showToolbarEditor{};
    bool m_toolbarCompact{};
    QStringList m_toolbarApps{};
    QStringList m_quickFavorites{};
    bool m_showFavoritesEditor{};
    bool m_rulesAuto{};
    QList<CleanRule> m_rules;
    // Stored rules that could not be read, kept aside before the first save.
    std::optional<QByteArray> m_rulesUnreadable;
    QTimer m_rulesTask;
    QString m_themeID{};
    double m_fontSize{};
    QString m_folderIcons{};
    AppLanguage m_language{};
    std::optional<int> m_manualSection{};
    int m_manualRequest{};
    bool m_showFeedback{};
    QString m_feedbackText{};
    FeedbackKind m_feedbackKind{};
    QString m_appearance{};
    bool m_showHidden{};
    std::optional<InfoTarget> m_infoTarget{};
    QSet<QString> m_cutPaths{};

    JobRunner *m_jobs = nullptr;
    QTimer m_toastTimer;
    QString m_settingsSetAside;
    QString m_typeBuffer;
    qint64 m_typeTime = 0;
};
