#include "ui/panecontent/FileListModel.h"

#include <QThreadPool>
#include <utility>

namespace {

// Runs of consecutive rows, as (first, last) pairs in ascending order.
QList<std::pair<qsizetype, qsizetype>> runs(const QList<qsizetype> &rows) {
    QList<std::pair<qsizetype, qsizetype>> out;
    for (qsizetype r : rows) {
        if (!out.isEmpty() && out.last().second + 1 == r)
            out.last().second = r;
        else
            out.append({r, r});
    }
    return out;
}

} // namespace

void FileListModel::setItems(const QList<FileItem> &items, const ItemsDiff *diff) {
    // Same list object (no change of items): nothing to lay out again.
    if (items.constData() == m_items.constData() && items.size() == m_items.size()) return;
    if (diff && applyDiff(items, *diff)) return;
    beginResetModel();
    QList<FileItem> old = std::exchange(m_items, items);
    endResetModel();
    // Freeing a list of a million records takes the better part of 100 ms: not on the window's thread.
    if (old.size() > 5000 || !m_rows.isEmpty())
        QThreadPool::globalInstance()->start(
            [old = std::move(old), indexed = std::exchange(m_rows, {}).release()]() mutable {
                indexed.clear();
                old.clear();
            });
}

bool FileListModel::applyDiff(const QList<FileItem> &items, const ItemsDiff &diff) {
    const QList<FileItem> &before = diff.before;
    if (before.constData() != m_items.constData() || before.size() != m_items.size() ||
        before.size() - diff.removed.size() + diff.inserted.size() != items.size())
        return false;
    const auto removedRuns = runs(diff.removed);
    for (auto it = removedRuns.crbegin(); it != removedRuns.crend(); ++it) {
        beginRemoveRows({}, int(it->first), int(it->second));
        m_items.remove(it->first, it->second - it->first + 1);
        endRemoveRows();
    }
    // Inserting in ascending order: the rows above each run are already those of the new list.
    for (const auto &[first, last] : runs(diff.inserted)) {
        beginInsertRows({}, int(first), int(last));
        m_items.insert(first, last - first + 1, FileItem());
        for (qsizetype r = first; r <= last; ++r)
            m_items[r] = items[r];
        endInsertRows();
    }
    m_items = items; // the pane's own list again, so the next diff recognises it
    for (const auto &[first, last] : runs(diff.updated))
        emit dataChanged(index(int(first)), index(int(last)));
    return true;
}

int FileListModel::rowOf(const QString &path) const {
    if (!m_rows.covers(m_items)) m_rows = PathIndex(m_items);
    return int(m_rows.row(path));
}

int FileListModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(m_items.size());
}

QVariant FileListModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || index.row() >= m_items.size()) return {};
    const FileItem &item = m_items[index.row()];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return item.name;
    case PathRole:
        return item.path();
    default:
        return {};
    }
}

Qt::ItemFlags FileListModel::flags(const QModelIndex &index) const {
    // Selectable so that the view's selection can mirror the pane model's, which owns it.
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}
