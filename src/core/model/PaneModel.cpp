#include "core/model/PaneModel.h"
#include "core/model/PaneWork.h"

#include "core/base/Defaults.h"
#include "core/localisation/Lang.h"
#include "core/localisation/SystemNames.h"
#include "core/model/DragState.h"
#include "core/localisation/FileFmt.h"
#include "core/model/FileLoader.h"
#include "core/model/FolderWatch.h"
#include "core/model/LocationRoots.h"
#include "platform/Posix.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <QMimeData>
#include <QStorageInfo>
#include <QThreadPool>
#include <QTimer>
#include <algorithm>
#include <limits>

struct PaneModel::ListResult {
    FileLoader::Listing listing;
    std::optional<qint64> freeBytes;
    std::optional<ItemsDiff> diff; // against the items shown when the listing started
    quint64 diffBase = 0;          // the version of those items
    bool incremental = false;      // the shown items with some entries updated: only valid on diffBase
    std::optional<FileLoader::MergePlan> plan; // with incremental: the change, to be made in place
};

namespace {

PaneModel::Timings g_timings;
PaneModel::Backend g_backend;

QString settingsKey(const char *prefix, Side side) {
    return QString::fromLatin1(prefix) + rawValue(side);
}

} // namespace

namespace PaneWork {

PaneModel::Backend backend() {
    PaneModel::Backend b = g_backend;
    if (!b.list) b.list = [](const QString &path) { return FileLoader::list(path); };
    if (!b.search)
        b.search = [](const QString &root, const QString &query, const SearchFilter &filter,
                      const CancelFlag &flag, int limit, bool *cutShort, QStringList *folders) {
            return FileLoader::search(root, query, filter, flag, limit, cutShort, folders);
        };
    return b;
}

QString standardised(const QString &path) {
    return FileLoader::norm(QDir::isRelativePath(path) ? QDir::current().absoluteFilePath(path) : path);
}

} // namespace PaneWork

using namespace PaneWork;

PaneModel::Timings PaneModel::timings() {
    return g_timings;
}

void PaneModel::setTimings(const Timings &t) {
    g_timings = t;
}

void PaneModel::setBackend(const Backend &b) {
    g_backend = b;
}

PaneModel::PaneModel(Side side, const QString &start, QObject *parent)
    : QObject(parent), m_side(side), m_searchFlag(std::make_shared<CancelFlag>()) {
    m_currentPath = standardised(start);
    const QString view = Defaults::stringValue(settingsKey("view.", side)).value_or(QString());
    m_viewMode = view == u"icons" ? ViewMode::icons : view == u"list" ? ViewMode::list : ViewMode::columns;
    m_sort = sortKeyFromRaw(Defaults::stringValue(settingsKey("sort.", side)).value_or(QString()))
                 .value_or(SortKey::name);
    m_sortReversed = Defaults::boolValue(settingsKey("sortReversed.", side)).value_or(false);

    m_pendingReload = new QTimer(this);
    m_pendingReload->setSingleShot(true);
    connect(m_pendingReload, &QTimer::timeout, this, [this] {
        if (m_shutDown) return;
        raiseRefreshToken();
        const bool all = std::exchange(m_changedAll, false);
        const QStringList names(m_changedNames.cbegin(), m_changedNames.cend());
        m_changedNames.clear();
        if (all || names.isEmpty() || !update(names)) reload();
    });
    m_searchTask = new QTimer(this);
    m_searchTask->setSingleShot(true);
    connect(m_searchTask, &QTimer::timeout, this, &PaneModel::startSearchWalk);
    // Other programs' changes below a search shown: one walk again after the pause of a burst.
    m_searchedChanged = new QTimer(this);
    m_searchedChanged->setSingleShot(true);
    connect(m_searchedChanged, &QTimer::timeout, this, &PaneModel::searchAgain);
    connect(&FolderWatch::shared(), &FolderWatch::folderChanged, this,
            [this](const QString &path, const QStringList &names) {
                if (!m_watchedPath.isEmpty() && path == m_watchedPath) noteChanges(names);
                if (!m_shutDown && m_searchWatched.contains(path))
                    m_searchedChanged->start(g_timings.reloadDelayMs);
            });

    updateCrumbs();
    startMonitor();
    reload();
}

PaneModel::~PaneModel() {
    shutdown();
}

// ---- published state ----

PaneModel::ChangeBatch::~ChangeBatch() {
    if (--m_model->m_batchDepth > 0 || !m_model->m_changePending) return;
    m_model->m_changePending = false;
    emit m_model->changed();
}

void PaneModel::notifyChanged() {
    if (m_batchDepth > 0)
        m_changePending = true;
    else
        emit changed();
}

qsizetype PaneModel::visibleRow(const QString &path) const {
    const QList<FileItem> &list = visibleItems();
    if (m_patching) return PathIndex::scan(list, path); // no index may share the list while it changes
    return m_rowIndex.row(list, path);
}

ShownItem PaneModel::shown(const QString &path) const {
    ShownItem out{path, {}, {}};
    if (const qsizetype row = visibleRow(path); row >= 0) out.item = visibleItems()[row].identity();
    if (!m_itemsPath.isEmpty() && Posix::parentOf(path) == m_itemsPath) out.folder = m_itemsFolder;
    return out;
}

// A view passes the list it shows, which is normally the visible list itself.
qsizetype PaneModel::rowIn(const QList<FileItem> &list, const QString &path) const {
    const QList<FileItem> &visible = visibleItems();
    if (list.constData() == visible.constData() && list.size() == visible.size()) return visibleRow(path);
    return PathIndex::scan(list, path);
}

void PaneModel::setViewMode(ViewMode mode) {
    Defaults::setValue(settingsKey("view.", m_side), rawValue(mode));
    publish(m_viewMode, mode, &PaneModel::viewModeChanged);
}

void PaneModel::setSort(SortKey key) {
    Defaults::setValue(settingsKey("sort.", m_side), rawValue(key));
    publish(m_sort, key, &PaneModel::sortChanged);
    resort();
}

void PaneModel::setSortReversed(bool reversed) {
    Defaults::setValue(settingsKey("sortReversed.", m_side), reversed);
    publish(m_sortReversed, reversed, &PaneModel::sortReversedChanged);
    resort();
}

void PaneModel::setItems(QList<FileItem> items, std::optional<ItemsDiff> diff) {
    QList<FileItem> old = std::exchange(m_items, std::move(items));
    ++m_itemsVersion;
    if (diff) diff->before = old;
    m_itemsDiff = std::move(diff);
    emit itemsChanged();
    m_itemsDiff.reset(); // only valid for the views updating now; drops its share of the old list
    notifyChanged();
    // Freeing a listing of 100,000 records takes tens of milliseconds; let a worker do it, with the
    // row index that may refer to it.
    if (old.size() > 5000)
        QThreadPool::globalInstance()->start(
            [old = std::move(old), indexed = m_rowIndex.release()]() mutable {
                indexed.clear();
                old.clear();
            });
}

void PaneModel::patchItems(FileLoader::MergePlan plan) {
    // Only the rows that go can take a selected item with them, unless it comes back.
    QSet<QString> gone;
    if (!m_selection.isEmpty()) {
        for (const qsizetype row : plan.drop)
            if (const QString p = std::as_const(m_items)[row].path(); m_selection.contains(p)) gone.insert(p);
        for (const FileItem &r : std::as_const(plan.records))
            gone.remove(r.path());
    }
    // The index's share of the list goes first, or the first step would copy a million records.
    (void)m_rowIndex.release();
    m_patching = true;
    emit patchStarting();
    FileLoader::applyPlan(m_items, std::move(plan),
                          [this](const FileLoader::MergeStep &step) { emit patchStep(step); });
    m_patching = false;
    ++m_itemsVersion;
    m_itemsDiff.reset();
    emit patchDone();
    emit itemsChanged();
    notifyChanged();
    if (!gone.isEmpty()) unselectUnlisted(gone);
}

void PaneModel::setErrorText(const std::optional<QString> &text) {
    publish(m_errorText, text, &PaneModel::errorTextChanged);
}

void PaneModel::setFreeSpace(const QString &text) {
    publish(m_freeSpace, text, &PaneModel::freeSpaceChanged);
}

void PaneModel::setCurrentPath(const QString &path) {
    publish(m_currentPath, path, &PaneModel::currentPathChanged);
}

void PaneModel::setCrumbs(const QList<Crumb> &crumbs) {
    // A refresh builds them again; only a new name or place is news.
    if (crumbs == m_crumbs) return;
    publish(m_crumbs, crumbs, &PaneModel::crumbsChanged);
}

void PaneModel::setBackStack(const QStringList &stack) {
    publish(m_backStack, stack, &PaneModel::backStackChanged);
}

void PaneModel::setForwardStack(const QStringList &stack) {
    publish(m_forwardStack, stack, &PaneModel::forwardStackChanged);
}

void PaneModel::raiseRefreshToken() {
    publish(m_refreshToken, m_refreshToken + 1, &PaneModel::refreshTokenChanged);
}

// ---- settings, sorting, lifetime ----

QUrl PaneModel::currentURL() const {
    return QUrl::fromLocalFile(m_currentPath.endsWith(u'/') ? m_currentPath : m_currentPath + u'/');
}

QString PaneModel::sortArrow() const {
    return startsAscending(m_sort) != m_sortReversed ? QStringLiteral("↑") : QStringLiteral("↓");
}

void PaneModel::chooseSort(SortKey key) {
    ChangeBatch batch(this);
    if (key != m_sort) {
        setSortReversed(false);
        setSort(key);
    } else {
        setSortReversed(!m_sortReversed);
    }
}

// Sorting a large folder takes too long for the main thread; only the newest re-sort is applied, and
// only to the lists it started from (a listing or search that arrived meanwhile was sorted already).
void PaneModel::resort() {
    const quint64 generation = ++m_sortGeneration;
    const SortKey key = m_sort;
    const bool reversed = m_sortReversed;
    const quint64 itemsVersion = m_itemsVersion;
    const quint64 resultsVersion = m_resultsVersion;
    struct Sorted {
        QList<FileItem> items;
        std::optional<QList<FileItem>> results;
    };
    inWorker<Sorted>(
        this,
        [items = m_items, results = m_searchResults, key, reversed] {
            Sorted s;
            s.items = FileLoader::sorted(items, key, reversed);
            if (results) s.results = FileLoader::sorted(*results, key, reversed);
            return s;
        },
        [this, generation, itemsVersion, resultsVersion](Sorted s) {
            if (generation != m_sortGeneration) return;
            ChangeBatch batch(this);
            if (m_itemsVersion == itemsVersion) setItems(std::move(s.items));
            if (s.results && m_resultsVersion == resultsVersion) setSearchResults(std::move(s.results));
            raiseRefreshToken();
        });
}

void PaneModel::shutdown() {
    stopMonitor();
    watchSearched({});
    m_searchedChanged->stop();
    m_searchFlag->setCancelled();
    m_searchTask->stop();
    m_pendingReload->stop();
    m_shutDown = true;
}

// ---- navigation, watch, reload ----

void PaneModel::go(const QString &to, bool record, const QSet<QString> &select) {
    const QString target = standardised(to);
    ChangeBatch batch(this);
    if (record && target != m_currentPath) {
        setBackStack(m_backStack + QStringList{m_currentPath});
        setForwardStack({});
    }
    // The search is reset before the new selection is set: clearing shown hits prunes the selection.
    setSearchFilter(SearchFilter{});
    setSearchText(QString());
    if (target != m_currentPath) m_shownUnrepresentable.clear();
    setCurrentPath(target);
    setSelection(select);
    m_anchor = select.isEmpty() ? std::nullopt : std::optional<QString>(*select.begin());
    updateCrumbs();
    startMonitor();
    reload();
}

void PaneModel::goBack() {
    if (m_backStack.isEmpty()) return;
    ChangeBatch batch(this);
    QStringList back = m_backStack;
    const QString entry = back.takeLast();
    setBackStack(back);
    setForwardStack(m_forwardStack + QStringList{m_currentPath});
    go(entry, false, {});
}

void PaneModel::goForward() {
    if (m_forwardStack.isEmpty()) return;
    ChangeBatch batch(this);
    QStringList forward = m_forwardStack;
    const QString entry = forward.takeLast();
    setForwardStack(forward);
    setBackStack(m_backStack + QStringList{m_currentPath});
    go(entry, false, {});
}

void PaneModel::goUp() {
    if (m_crumbs.size() < 2) return;
    // The previous crumb, which may be a known location rather than the file-system parent.
    go(m_crumbs[m_crumbs.size() - 2].first, true, {m_currentPath});
}

void PaneModel::refresh() {
    raiseRefreshToken();
    // The crumbs' names may have changed with the folder (the language switches by a refresh).
    updateCrumbs();
    reload();
    searchAgain();
}

void PaneModel::followMove(const QString &from, const QString &to) {
    const QString source = FileLoader::norm(from), target = FileLoader::norm(to);
    if (m_shutDown || source == target) return;
    const auto along = [&](const QString &p) {
        return Posix::isAtOrBelow(p, source) ? target + p.mid(source.size()) : p;
    };
    ChangeBatch batch(this);
    // A selected folder shows as a column, and a selected item stays selected when the pane lists it again.
    QSet<QString> selection;
    for (const QString &p : std::as_const(m_selection))
        selection.insert(along(p));
    // The listing may have taken the item away before the move that took it was told (a watch quicker
    // than the job's end): while nothing else is chosen, it is followed all the same.
    if (m_selection.isEmpty() && m_unlistedAt.isValid() && m_unlistedAt.elapsed() < 10000)
        for (const QString &p : std::as_const(m_unlisted))
            if (Posix::isAtOrBelow(p, source)) selection.insert(along(p));
    if (selection != m_selection) setSelection(selection);
    // Back and Forward lead to where those folders are now.
    for (auto [stack, set] : {std::pair{&m_backStack, &PaneModel::setBackStack},
                              std::pair{&m_forwardStack, &PaneModel::setForwardStack}}) {
        QStringList moved;
        for (const QString &p : std::as_const(*stack))
            moved << along(p);
        if (moved != *stack) (this->*set)(moved);
    }
    if (!Posix::isAtOrBelow(m_currentPath, source)) {
        // Hits below the searched folder went or came.
        if (Posix::isAtOrBelow(source, m_currentPath) || Posix::isAtOrBelow(target, m_currentPath))
            searchAgain();
        return;
    }
    setCurrentPath(along(m_currentPath));
    updateCrumbs();
    startMonitor();
    reload();
    searchAgain();
}

QStringList PaneModel::chain() const {
    QStringList out;
    out.reserve(m_crumbs.size());
    for (const Crumb &c : m_crumbs)
        out << c.first;
    return out;
}

QStringList PaneModel::columnDirs() const {
    QStringList dirs = chain();
    if (m_selection.size() == 1 && isBrowsableFolder(*m_selection.begin())) dirs << *m_selection.begin();
    return dirs;
}

bool PaneModel::isBrowsableFolder(const QString &path) {
    // There are no packages here: every folder can be entered.
    const QFileInfo info(path);
    return info.exists() && info.isDir();
}

void PaneModel::updateCrumbs() {
    if (auto trail = ICloud::crumbs(m_currentPath)) {
        setCrumbs(*trail);
        return;
    }
    // The Trash is one place of its own, not the hidden folders it lives in.
    const QString trash = FileLoader::mainTrash();
    if (Posix::isAtOrBelow(m_currentPath, trash)) {
        setCrumbs(QList<Crumb>{Crumb{trash, localName(trash)}} + ICloud::subTrail(m_currentPath, trash));
        return;
    }
    if (auto trail = LocationRoots::crumbs(m_currentPath)) {
        setCrumbs(*trail);
        return;
    }
    QList<Crumb> trail;
    QString running;
    const QStringList parts = m_currentPath.split(u'/', Qt::SkipEmptyParts);
    if (m_currentPath.startsWith(u'/')) {
        running = QStringLiteral("/");
        trail << Crumb{running, localName(running)};
    }
    for (const QString &part : parts) {
        running = running.isEmpty() ? part : running == u"/" ? running + part : running + u'/' + part;
        trail << Crumb{running, localName(running)};
    }
    setCrumbs(trail);
}

void PaneModel::startMonitor() {
    stopMonitor();
    if (!QFileInfo(m_currentPath).isDir()) return; // nothing to watch; the pane still lists on demand
    if (FolderWatch::shared().add(m_currentPath)) m_watchedPath = m_currentPath;
}

void PaneModel::stopMonitor() {
    if (m_watchedPath.isEmpty()) return;
    FolderWatch::shared().remove(m_watchedPath);
    m_watchedPath.clear();
}

void PaneModel::externalChange() {
    noteChanges({});
}

void PaneModel::noteChanges(const QStringList &names) {
    if (m_shutDown) return;
    // Past a few thousand names a new listing is cheaper than looking each one up.
    constexpr qsizetype kMostNames = 2000;
    if (names.isEmpty() || m_changedNames.size() + names.size() > kMostNames) {
        m_changedAll = true;
        m_changedNames.clear();
    } else if (!m_changedAll) {
        for (const QString &n : names)
            m_changedNames.insert(n);
    }
    m_pendingReload->start(g_timings.reloadDelayMs);
}

// Re-reads only the named entries of the folder shown and merges them into its sorted items; false when
// a whole listing is needed instead.
bool PaneModel::update(const QStringList &names) {
    const QString path = m_currentPath;
    if (path != m_itemsPath || m_errorText || m_listGeneration != m_appliedListGeneration) return false;
    // Dates that are not in the records would have to be read anew for every row.
    if (m_sort == SortKey::created || m_sort == SortKey::lastOpened) return false;
    // Listings that merge other folders in.
    if (path == FileLoader::norm(FileLoader::mainTrash()) || path == ICloud::root()) return false;
    const quint64 generation = ++m_listGeneration;
    const SortKey key = m_sort;
    const bool reversed = m_sortReversed;
    inWorker<ListResult>(
        this,
        [list = backend().list, path, names, before = m_items, beforeVersion = m_itemsVersion,
         unrepresentable = m_shownUnrepresentable, key, reversed]() mutable {
            ListResult r;
            QList<FileItem> records;
            if (FileLoader::entries(path, names, records)) {
                r.plan = FileLoader::mergePlan(before, path, names, std::move(records), key, reversed);
                r.listing.unrepresentable = unrepresentable;
                r.incremental = true;
            } else {
                r.listing = list(path); // the folder went away: its error
                if (!r.listing.error)
                    r.listing.items = FileLoader::sorted(std::move(r.listing.items), key, reversed);
            }
            if (!r.listing.error && !r.plan) r.diff = ItemsDiff::between(before, r.listing.items);
            r.diffBase = beforeVersion;
            before = {}; // the main thread's list is its own again when the result arrives
            const QStorageInfo volume(path);
            if (volume.isValid() && volume.isReady() && volume.bytesAvailable() >= 0)
                r.freeBytes = volume.bytesAvailable();
            return r;
        },
        [this, generation, path, key, reversed](ListResult r) {
            applyListing(generation, path, key, reversed, std::move(r));
        });
    return true;
}

void PaneModel::reload() {
    if (m_shutDown) return;
    const QString path = m_currentPath;
    const quint64 generation = ++m_listGeneration;
    const SortKey key = m_sort;
    const bool reversed = m_sortReversed;
    // A listing of the folder already shown (a watch event, a refresh) is compared with what is shown.
    const QList<FileItem> before = path == m_itemsPath ? m_items : QList<FileItem>();
    const quint64 beforeVersion = m_itemsVersion;
    inWorker<ListResult>(
        this,
        [list = backend().list, path, key, reversed, before, beforeVersion] {
            ListResult r;
            // The watch first: a change it doesn't report yet, the listing must already see.
            FolderWatch::shared().waitUntilWatched(path, 2000);
            r.listing = list(path);
            if (!r.listing.error) {
                r.listing.items = FileLoader::sorted(std::move(r.listing.items), key, reversed);
                r.diff = ItemsDiff::between(before, r.listing.items);
                r.diffBase = beforeVersion;
            }
            const QStorageInfo volume(path);
            if (volume.isValid() && volume.isReady() && volume.bytesAvailable() >= 0)
                r.freeBytes = volume.bytesAvailable();
            return r;
        },
        [this, generation, path, key, reversed](ListResult r) {
            applyListing(generation, path, key, reversed, std::move(r));
        });
}

// The sort order changed while listing: sort again off the main thread before showing.
void PaneModel::resortListing(quint64 generation, const QString &path, ListResult result) {
    const SortKey nowKey = m_sort;
    const bool nowReversed = m_sortReversed;
    inWorker<ListResult>(
        this,
        [result = std::move(result), nowKey, nowReversed]() mutable {
            ListResult r = std::move(result);
            r.diff.reset();
            r.incremental = false;
            r.listing.items = FileLoader::sorted(std::move(r.listing.items), nowKey, nowReversed);
            return r;
        },
        [this, generation, path, nowKey, nowReversed](ListResult r) {
            applyListing(generation, path, nowKey, nowReversed, std::move(r));
        });
}

// A listing applies only while the pane still shows its folder and no newer listing has been applied,
// so a slow, older listing never overwrites a newer one.
void PaneModel::applyListing(quint64 generation, const QString &path, SortKey key, bool reversed,
                             ListResult result) {
    if (m_shutDown || generation <= m_appliedListGeneration || path != m_currentPath) return;
    if (result.incremental && result.diffBase != m_itemsVersion) {
        // Merged into items that are no longer shown: list the folder instead.
        reload();
        return;
    }
    if (result.plan && (key != m_sort || reversed != m_sortReversed)) {
        reload(); // the plan is for the old order
        return;
    }
    if (!result.listing.error && (key != m_sort || reversed != m_sortReversed)) {
        resortListing(generation, path, std::move(result));
        return;
    }
    m_appliedListGeneration = generation;
    ChangeBatch batch(this);
    bool patched = false;
    // A listing merged in place keeps the folder it was read from; the same path read again may be
    // another folder.
    if (path != m_itemsPath || !result.plan) m_itemsFolder = result.listing.folder;
    m_itemsPath = path;
    if (result.listing.error) {
        setItems({});
        const QString text = FileLoader::describe(*result.listing.error);
        if (m_errorText != text) setErrorText(text);
    } else {
        // The diff holds only while the items it was computed against are still shown.
        if (result.diff && result.diffBase != m_itemsVersion) result.diff.reset();
        if (result.plan) {
            patchItems(std::move(*result.plan)); // keeps the selection to what is still there
            patched = true;
        } else {
            setItems(std::move(result.listing.items), std::move(result.diff));
        }
        if (m_errorText) setErrorText(std::nullopt);
    }
    // Also after a failed listing: commands must not act on entries that are no longer shown. Hits shown
    // instead are pruned by their own search.
    if (!patched && !m_searchResults) pruneSelectionToVisible();
    const QString free = result.freeBytes ? L("Frei:") + u' ' + FileFmt::size(*result.freeBytes) : QString();
    if (free != m_freeSpace) setFreeSpace(free);

    const QStringList &leftOut = result.listing.unrepresentable;
    if (leftOut != m_shownUnrepresentable) {
        m_shownUnrepresentable = leftOut;
        if (!leftOut.isEmpty() && m_app && m_app->show)
            m_app->show(FileLoader::describeUnrepresentable(leftOut), true);
    }
    emit listed();
}

// ---- drag and drop ----

void PaneModel::activateSide() {
    if (m_app && m_app->setActive) m_app->setActive(m_side);
}

Qt::KeyboardModifiers PaneModel::heldModifiers() const {
    return m_app && m_app->modifiers ? m_app->modifiers() : Qt::KeyboardModifiers();
}

QMimeData *PaneModel::dragProvider(const FileItem &item) {
    activateSide();
    QStringList paths;
    if (m_viewMode != ViewMode::columns) {
        if (!m_selection.contains(item.path())) setSelection({item.path()});
        paths = selectedPaths();
    } else {
        // In columns the selection decides which columns show, so an unselected item is dragged alone.
        paths =
            m_selection.contains(item.path()) ? selectedPaths() : QStringList{FileLoader::norm(item.path())};
    }
    return DragState::shared().beginDrag(paths);
}

bool PaneModel::handleDrop(const QMimeData *data, const QString &into, std::optional<bool> copyHeld) {
    if (!data || data->formats().isEmpty()) return false;
    const bool copy = copyHeld.value_or(bool(heldModifiers() & Qt::ControlModifier));
    DragState &drag = DragState::shared();
    const QStringList paths = drag.dropPaths(data);
    if (paths.isEmpty()) return true;
    const QString destination = standardised(into);
    drag.clear();
    // Into the Trash itself: trashed as the command does, never a plain move that no record could
    // put back.
    if (FileLoader::isTrashFolder(destination)) {
        QTimer::singleShot(0, this, [this, paths] {
            if (m_app && m_app->trash) m_app->trash(paths);
        });
        return true;
    }
    const bool move = DragState::movesOnDrop(paths, destination, copy);
    // The transfer may ask questions; start it after the drop has returned to the window system.
    QTimer::singleShot(0, this, [this, paths, destination, move] {
        if (m_app && m_app->transfer) m_app->transfer(paths, destination, move);
    });
    return true;
}
