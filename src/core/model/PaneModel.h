#pragma once

#include "core/model/CancelFlag.h"
#include "core/model/FileItem.h"
#include "core/model/PathIndex.h"
#include "core/model/FileLoader.h"
#include "core/model/ICloud.h"
#include "core/model/ItemsDiff.h"
#include "core/model/PaneHooks.h"
#include "core/model/SearchFilter.h"
#include "core/model/Side.h"
#include "core/model/SortKey.h"
#include "core/model/ViewMode.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <optional>

class QMimeData;
class QTimer;

// What commands ask of a selection, kept in step with it so that asking costs nothing however many items
// are selected.
struct SelectionSummary {
    qsizetype count = 0;
    qsizetype archives = 0;     // items whose name is one of an archive we can unpack
    qsizetype outsideTrash = 0; // items that lie in no Trash
    friend bool operator==(const SelectionSummary &, const SelectionSummary &) = default;
};

// The model of one pane tab: folder, items, selection, history, crumbs, search, view settings and the
// watch on the shown folder. Main thread only; listing, sorting and search run in workers and only the
// newest result of each is applied. Every published property has its own signal; changed() follows them,
// once per operation (a navigation sets several properties but re-syncs its observers once).
class PaneModel : public QObject {
    Q_OBJECT
public:
    // Debounce durations; tests shorten them.
    struct Timings {
        int reloadDelayMs = 300; // refresh after the last event of the folder watch
        int searchDelayMs = 250; // search after the last change of text or filter
    };
    static Timings timings();
    static void setTimings(const Timings &t);
    static constexpr int searchLimit = 400;

    // The file-system work the pane runs in workers; tests replace it to control order and timing.
    struct Backend {
        std::function<FileLoader::Listing(const QString &path)> list;
        std::function<QList<FileItem>(const QString &root, const QString &query, const SearchFilter &filter,
                                      const CancelFlag &flag, int limit, bool *cutShort,
                                      QStringList *folders)>
            search;
    };
    static void setBackend(const Backend &backend); // empty members use FileLoader

    PaneModel(Side side, const QString &start, QObject *parent = nullptr);
    ~PaneModel() override;

    Side side() const { return m_side; }
    PaneHooks *app() const { return m_app; }
    void setApp(PaneHooks *app);

    // Published state.
    const QString &currentPath() const { return m_currentPath; }
    const QList<FileItem> &items() const { return m_items; }
    const QSet<QString> &selection() const { return m_selection; }
    void setSelection(const QSet<QString> &selection);
    // Counted when first asked after a change that nobody read; kept in step while it is being read.
    const SelectionSummary &selectionSummary() const;
    const QString &searchText() const { return m_searchText; }
    void setSearchText(const QString &text);
    const SearchFilter &searchFilter() const { return m_searchFilter; }
    void setSearchFilter(const SearchFilter &filter);
    const std::optional<QList<FileItem>> &searchResults() const { return m_searchResults; }
    bool isSearching() const { return m_isSearching; }
    // Whether the hits shown are from a walk that stopped at its budget of entries before it was done.
    bool searchCutShort() const { return m_searchCutShort; }
    const std::optional<QString> &errorText() const { return m_errorText; }
    const QString &freeSpace() const { return m_freeSpace; }
    const QList<Crumb> &crumbs() const { return m_crumbs; }
    const QStringList &backStack() const { return m_backStack; }
    const QStringList &forwardStack() const { return m_forwardStack; }
    qint64 refreshToken() const { return m_refreshToken; }
    ViewMode viewMode() const { return m_viewMode; }
    void setViewMode(ViewMode mode);
    SortKey sort() const { return m_sort; }
    void setSort(SortKey key);
    bool sortReversed() const { return m_sortReversed; }
    void setSortReversed(bool reversed);
    const std::optional<QString> &cursor() const { return m_cursor; }
    void setCursor(const std::optional<QString> &cursor);
    const std::optional<QString> &anchor() const { return m_anchor; }

    // Derived values.
    QUrl currentURL() const;
    bool canGoBack() const { return !m_backStack.isEmpty(); }
    bool canGoForward() const { return !m_forwardStack.isEmpty(); }
    bool canGoUp() const { return m_crumbs.size() > 1; }
    // The search hits while a search is shown, else the folder items.
    const QList<FileItem> &visibleItems() const { return m_searchResults ? *m_searchResults : m_items; }
    // The row of a path in visibleItems(), -1 when absent; hashed, built once per list.
    qsizetype visibleRow(const QString &path) const;
    // A shown item with the identities this pane listed for it and its folder (zero where it listed none).
    ShownItem shown(const QString &path) const;
    // While itemsChanged() is emitted: how the previous items became the new ones, when the new listing
    // is of the same folder and close to the old one. Null otherwise.
    const ItemsDiff *itemsDiff() const { return m_itemsDiff ? &*m_itemsDiff : nullptr; }
    QString sortArrow() const;
    QStringList chain() const;
    QStringList columnDirs() const;
    QStringList selectedPaths() const;
    QString targetFolder() const;
    // Device and inode of `folder` as this pane listed it, when it shows the folder's items.
    std::optional<ItemId> shownFolder(const QString &folder) const;
    std::optional<QString> previewPath() const;
    QString footerText() const;
    bool isWatching() const { return !m_watchedPath.isEmpty(); }

    // Settings and lifetime.
    void chooseSort(SortKey key);
    void shutdown();

    // Navigation.
    void go(const QString &to, bool record = true, const QSet<QString> &select = {});
    void goBack();
    void goForward();
    void goUp();
    // Lists the folder again and runs a shown search again (after the typing's pause, which takes several
    // refreshes as one); the hits stay until the new ones replace them, and the selection keeps what is
    // found again.
    void refresh();
    void reload();
    // The program moved or renamed `from` to `to`: a pane at or below it goes along, with its selection and
    // search; a search that may have held the item runs again.
    void followMove(const QString &from, const QString &to);
    void externalChange();
    // A command found this shown item gone: its hit goes at once; a listing is made again.
    void forgetGone(const QString &path);
    static bool isBrowsableFolder(const QString &path);

    // Selection. Ctrl stands for the Command key; clickCount above 1 is a double click.
    void click(const FileItem &item, const QList<FileItem> &ordered, Qt::KeyboardModifiers modifiers,
               int clickCount = 1);
    void columnClick(const QString &dir, const FileItem &item, const QList<FileItem> &ordered,
                     Qt::KeyboardModifiers modifiers, int clickCount = 1);
    void contextSelect(const FileItem &item);
    void openItem(const FileItem &item);
    void moveSelection(int delta, bool extend);
    void selectAll();
    void selectByPrefix(const QString &prefix);

    // Drag and drop. The drag's data carries every dragged file's URL; the caller (the drag) owns it.
    QMimeData *dragProvider(const FileItem &item);
    // copyHeld: whether the copy key (Ctrl) is held, when the caller knows; else it is asked of the hooks.
    bool handleDrop(const QMimeData *data, const QString &into, std::optional<bool> copyHeld = std::nullopt);

signals:
    void currentPathChanged();
    void itemsChanged();
    // A small change applied to items() where they are, row by row: between patchStarting and patchDone
    // items() is the list being changed, and each step is told before and after it is made. A view that
    // shows these items follows the steps instead of holding a share of the list (which would copy it).
    void patchStarting();
    void patchStep(const FileLoader::MergeStep &step);
    void patchDone();
    void selectionChanged();
    void searchTextChanged();
    void searchFilterChanged();
    void searchResultsChanged();
    void isSearchingChanged();
    void searchCutShortChanged();
    void errorTextChanged();
    void freeSpaceChanged();
    void crumbsChanged();
    void backStackChanged();
    void forwardStackChanged();
    void refreshTokenChanged();
    void viewModeChanged();
    void sortChanged();
    void sortReversedChanged();
    void cursorChanged();
    void changed();
    // A listing of the shown folder was applied (items or error).
    void listed();
    // A background search walk started for this query.
    void searchWalkStarted(const QString &query);

private:
    struct ListResult;
    // Holds back changed() until the outermost operation ends, then emits it once if anything changed.
    class ChangeBatch {
    public:
        explicit ChangeBatch(PaneModel *m) : m_model(m) { ++m->m_batchDepth; }
        ~ChangeBatch();
        ChangeBatch(const ChangeBatch &) = delete;
        ChangeBatch &operator=(const ChangeBatch &) = delete;

    private:
        PaneModel *m_model;
    };
    void notifyChanged();
    // Sets one published property, then tells its own signal and the batch, in that order.
    template <typename T, typename V> void publish(T &field, V &&value, void (PaneModel::*signal)()) {
        field = std::forward<V>(value);
        (this->*signal)(); // emits it
        notifyChanged();
    }
    qsizetype rowIn(const QList<FileItem> &list, const QString &path) const;
    void updateCrumbs();
    void startMonitor();
    void stopMonitor();
    void noteChanges(const QStringList &names);
    bool update(const QStringList &names);
    void applyListing(quint64 generation, const QString &path, SortKey key, bool reversed, ListResult result);
    void resortListing(quint64 generation, const QString &path, ListResult result);
    void resort();
    void scheduleSearch();
    void searchAgain();
    void startSearchWalk();
    void publishSearch(quint64 generation, const CancelFlagPtr &flag, SortKey key, bool reversed,
                       QList<FileItem> hits, bool cutShort, const QStringList &folders);
    // Watches the folders of the search shown, in place of those watched for it before.
    void watchSearched(const QStringList &folders);
    void pruneSelectionToVisible();
    SelectionSummary summaryAfter(const QSet<QString> &next) const;
    void activateSide();
    Qt::KeyboardModifiers heldModifiers() const;

    void setItems(QList<FileItem> items, std::optional<ItemsDiff> diff = std::nullopt);
    void patchItems(FileLoader::MergePlan plan);
    void setSearchResults(std::optional<QList<FileItem>> results);
    void setIsSearching(bool searching);
    void setSearchCutShort(bool cutShort);
    void setErrorText(const std::optional<QString> &text);
    void setFreeSpace(const QString &text);
    void setCurrentPath(const QString &path);
    void setCrumbs(const QList<Crumb> &crumbs);
    void setBackStack(const QStringList &stack);
    void setForwardStack(const QStringList &stack);
    void raiseRefreshToken();
    void unselectUnlisted(const QSet<QString> &gone);

    const Side m_side;
    QPointer<PaneHooks> m_app;
    QString m_currentPath;
    QList<FileItem> m_items;
    QSet<QString> m_selection;
    // Selected paths the last listing took away, and when: a move told just after still takes them along.
    QSet<QString> m_unlisted;
    QElapsedTimer m_unlistedAt;
    mutable SelectionSummary m_summary;
    mutable bool m_summaryKnown = true; // of the empty selection
    mutable bool m_summaryRead = false; // since the selection's last change
    QString m_searchText;
    SearchFilter m_searchFilter;
    std::optional<QList<FileItem>> m_searchResults;
    bool m_isSearching = false;
    bool m_searchCutShort = false;
    std::optional<QString> m_errorText;
    QString m_freeSpace;
    QList<Crumb> m_crumbs;
    QStringList m_backStack;
    QStringList m_forwardStack;
    qint64 m_refreshToken = 0;
    ViewMode m_viewMode = ViewMode::columns;
    SortKey m_sort = SortKey::name;
    bool m_sortReversed = false;
    std::optional<QString> m_anchor;
    std::optional<QString> m_cursor;

    int m_batchDepth = 0;
    bool m_changePending = false;
    std::optional<ItemsDiff> m_itemsDiff;
    bool m_patching = false;
    QString m_itemsPath;  // the folder m_items was listed from
    ItemId m_itemsFolder; // and its identity when it was read
    // The path-to-row index of one visible list, kept with a reference to that list.
    mutable RowLookup m_rowIndex;

    QString m_watchedPath; // empty: no watch
    QTimer *m_pendingReload = nullptr;
    // What the watch reported since the last refresh: entry names, or anything at all.
    QSet<QString> m_changedNames;
    bool m_changedAll = false;
    QTimer *m_searchTask = nullptr;
    CancelFlagPtr m_searchFlag;
    // The searched folders watched while hits are shown, and the pause after their changes.
    QSet<QString> m_searchWatched;
    QTimer *m_searchedChanged = nullptr;
    bool m_shutDown = false;

    // Generation counters: a worker's result applies only when it is still the newest of its kind.
    quint64 m_listGeneration = 0;
    quint64 m_appliedListGeneration = 0;
    quint64 m_sortGeneration = 0;
    quint64 m_searchGeneration = 0;
    quint64 m_itemsVersion = 0;
    quint64 m_resultsVersion = 0;
    // The search captured when it was scheduled, started when the debounce ends.
    QString m_searchRoot;
    QString m_searchQuery;
    QStringList m_shownUnrepresentable; // the left-out names last reported for this folder
};
