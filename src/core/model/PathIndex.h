#pragma once

#include "core/model/FileItem.h"

#include <QFuture>
#include <QList>
#include <QStringView>
#include <vector>

// The rows of a list by path, built without making a single path: a record keeps its path as folder and
// name, and a million of them would otherwise cost a million strings. The index holds a share of the list,
// so the rows it names stay what they were. The first row of a path wins.
class PathIndex {
public:
    PathIndex() = default;
    explicit PathIndex(const QList<FileItem> &list);

    // True when the index was made for this very list (the same shared data).
    bool covers(const QList<FileItem> &list) const {
        return list.constData() == m_list.constData() && list.size() == m_list.size();
    }
    qsizetype row(QStringView path) const;
    qsizetype row(const FileItem &item) const;
    bool isEmpty() const { return m_list.isEmpty(); }
    // Hands its share of the list over, leaving the index empty (to be freed elsewhere).
    QList<FileItem> release();

    // The same for a path and for a record whose path() is that path, however the record splits it.
    static size_t hashOf(QStringView path);
    static size_t hashOf(const FileItem &item);
    static bool samePlace(const FileItem &a, const FileItem &b);
    // The first row of path by looking at every row: no index, no share of the list taken.
    static qsizetype scan(const QList<FileItem> &list, QStringView path);

private:
    template <class Same> qsizetype find(size_t hash, const Same &same) const;

    QList<FileItem> m_list;
    std::vector<qint32> m_slots; // rows, -1 where empty; open addressing at most half full
    size_t m_mask = 0;
};

// Rows of whichever list is asked about. A short list gets its index at once; a long one is scanned
// (a million records in a few milliseconds) while its index is built on a worker, so that no lookup
// holds up the window for the index's sake.
class RowLookup {
public:
    static constexpr qsizetype indexAtOnceBelow = 20000;

    qsizetype row(const QList<FileItem> &list, QStringView path);
    // Hands the share of the list held by the index over (to be freed elsewhere) and forgets it.
    QList<FileItem> release();
    bool indexed(const QList<FileItem> &list) const { return m_index.covers(list); }

private:
    PathIndex m_index;
    QFuture<PathIndex> m_pending;
    const FileItem *m_pendingData = nullptr; // the list the pending index is for
    qsizetype m_pendingSize = -1;
};
