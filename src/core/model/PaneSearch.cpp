#include "core/model/PaneModel.h"
#include "core/model/PaneWork.h"

#include "core/model/FolderWatch.h"

#include <QTimer>

// The search of a pane: its text and filter, the debounced walk in a worker, and the hits in the pane's
// order.

using namespace PaneWork;

void PaneModel::setSearchText(const QString &text) {
    if (text == m_searchText) return;
    publish(m_searchText, text, &PaneModel::searchTextChanged);
    scheduleSearch();
}

void PaneModel::setSearchFilter(const SearchFilter &filter) {
    if (filter == m_searchFilter) return;
    publish(m_searchFilter, filter, &PaneModel::searchFilterChanged);
    scheduleSearch();
}

void PaneModel::setSearchResults(std::optional<QList<FileItem>> results) {
    ++m_resultsVersion;
    publish(m_searchResults, std::move(results), &PaneModel::searchResultsChanged);
}

void PaneModel::setSearchCutShort(bool cutShort) {
    publish(m_searchCutShort, cutShort, &PaneModel::searchCutShortChanged);
}

void PaneModel::setIsSearching(bool searching) {
    publish(m_isSearching, searching, &PaneModel::isSearchingChanged);
}

void PaneModel::searchAgain() {
    if (m_searchResults || m_isSearching) scheduleSearch();
}

void PaneModel::scheduleSearch() {
    // Supersede the older search before anything else: stop its timer and its walk.
    m_searchTask->stop();
    m_searchFlag->setCancelled();
    ++m_searchGeneration;
    // All white space, a pasted line break included.
    const QString query = m_searchText.trimmed();
    if (query.isEmpty() && !m_searchFilter.isActive()) {
        watchSearched({});
        m_searchedChanged->stop();
        const bool wasShown = m_searchResults.has_value();
        if (m_searchCutShort) setSearchCutShort(false);
        if (wasShown) setSearchResults(std::nullopt);
        if (m_isSearching) setIsSearching(false);
        if (wasShown) pruneSelectionToVisible();
        return;
    }
    if (!m_isSearching) setIsSearching(true);
    m_searchRoot = m_currentPath;
    m_searchQuery = query;
    m_searchFlag = std::make_shared<CancelFlag>();
    if (!m_shutDown) m_searchTask->start(timings().searchDelayMs);
}

void PaneModel::startSearchWalk() {
    if (m_shutDown) return;
    const quint64 generation = m_searchGeneration;
    const CancelFlagPtr flag = m_searchFlag;
    const QString root = m_searchRoot;
    const QString query = m_searchQuery;
    const SearchFilter filter = m_searchFilter;
    const SortKey key = m_sort;
    const bool reversed = m_sortReversed;
    emit searchWalkStarted(query);
    struct Found {
        QList<FileItem> hits;
        bool cutShort = false;
        QStringList folders;
    };
    inWorker<Found>(
        this,
        [search = backend().search, root, query, filter, flag, key, reversed] {
            Found found;
            QList<FileItem> hits =
                search(root, query, filter, *flag, searchLimit, &found.cutShort, &found.folders);
            if (flag->cancelled()) return Found();
            found.hits = FileLoader::sorted(std::move(hits), key, reversed);
            return found;
        },
        [this, generation, flag, key, reversed](Found found) {
            publishSearch(generation, flag, key, reversed, std::move(found.hits), found.cutShort,
                          found.folders);
        });
}

void PaneModel::publishSearch(quint64 generation, const CancelFlagPtr &flag, SortKey key, bool reversed,
                              QList<FileItem> hits, bool cutShort, const QStringList &folders) {
    if (m_shutDown || generation != m_searchGeneration || flag->cancelled()) return;
    if (key != m_sort || reversed != m_sortReversed) {
        // The order changed during the walk; the hits are shown in the order the pane shows now.
        const SortKey nowKey = m_sort;
        const bool nowReversed = m_sortReversed;
        inWorker<QList<FileItem>>(
            this, [hits, nowKey, nowReversed] { return FileLoader::sorted(hits, nowKey, nowReversed); },
            [this, generation, flag, nowKey, nowReversed, cutShort, folders](QList<FileItem> sorted) {
                publishSearch(generation, flag, nowKey, nowReversed, std::move(sorted), cutShort, folders);
            });
        return;
    }
    ChangeBatch batch(this);
    if (cutShort != m_searchCutShort) setSearchCutShort(cutShort);
    setSearchResults(std::move(hits));
    setIsSearching(false);
    pruneSelectionToVisible();
    watchSearched(folders);
}

void PaneModel::watchSearched(const QStringList &folders) {
    // The new watches first, so that a folder in both keeps its watch throughout.
    QSet<QString> watched;
    for (const QString &folder : folders)
        if (!watched.contains(folder) && FolderWatch::shared().add(folder)) watched.insert(folder);
    for (const QString &folder : std::as_const(m_searchWatched))
        FolderWatch::shared().remove(folder);
    m_searchWatched = std::move(watched);
}

void PaneModel::forgetGone(const QString &path) {
    if (!m_searchResults) {
        reload();
        return;
    }
    QList<FileItem> hits = *m_searchResults;
    if (hits.removeIf([&path](const FileItem &item) { return item.isAt(path); }) == 0) return;
    ChangeBatch batch(this);
    setSearchResults(std::move(hits));
    pruneSelectionToVisible();
}
