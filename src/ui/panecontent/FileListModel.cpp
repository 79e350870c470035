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
    if (m_followed) stopFollowing();
    // Same list object (no change of items): nothing to lay out again.
    if (items.constData() == m_items.constData() && items.size() == m_items.size()) return;
    if (diff && applyDiff(items, *diff)) return;
    beginResetModel();
    QList<FileItem> old = std::exchange(m_items, items);
    endResetModel();
    // Freeing a list of a million records takes the better part of 100 ms: not on the window's thread.
    QList<FileItem> indexed = m_rows.release();
    if (old.size() > 5000 || !indexed.isEmpty())
        QThreadPool::globalInstance()->start([old = std::move(old), indexed = std::move(indexed)]() mutable {
            indexed.clear();
            old.clear();
        });
}

bool FileListModel::applyDiff(const QList<FileItem> &items, const ItemsDiff &diff) {
    const QList<FileItem> &before = diff.before;
    if (before.constData() != m_items.constData() || before.size() != m_items.size() ||
        before.size() - diff.removed.size() + diff.inserted.size() != items.size())
        return false;
    m_pieces = {Piece{&m_items, 0, m_items.size()}};
    m_pieceRows = m_items.size();
    const auto removedRuns = runs(diff.removed);
    for (auto it = removedRuns.crbegin(); it != removedRuns.crend(); ++it) {
        const qsizetype count = it->second - it->first + 1;
        beginRemoveRows({}, int(it->first), int(it->second));
        const size_t from = pieceAt(it->first);
        const size_t to = pieceAt(it->second + 1);
        m_pieces.erase(m_pieces.begin() + qsizetype(from), m_pieces.begin() + qsizetype(to));
        m_pieceRows -= count;
        endRemoveRows();
    }
    // Inserting in ascending order: the rows above each run are already those of the new list.
    for (const auto &[first, last] : runs(diff.inserted)) {
        beginInsertRows({}, int(first), int(last));
        const size_t at = pieceAt(first);
        m_pieces.insert(m_pieces.begin() + qsizetype(at), Piece{&items, first, last - first + 1});
        m_pieceRows += last - first + 1;
        endInsertRows();
    }
    m_pieces.clear();
    m_items = items; // the pane's own list again, so the next diff recognises it
    for (const auto &[first, last] : runs(diff.updated))
        emit dataChanged(index(int(first)), index(int(last)));
    return true;
}

size_t FileListModel::pieceAt(qsizetype row) {
    qsizetype start = 0;
    for (size_t i = 0; i < m_pieces.size(); ++i) {
        Piece &p = m_pieces[i];
        if (row == start) return i;
        if (row < start + p.count) {
            const qsizetype head = row - start;
            const Piece tail{p.from, p.start + head, p.count - head};
            p.count = head;
            m_pieces.insert(m_pieces.begin() + qsizetype(i) + 1, tail);
            return i + 1;
        }
        start += p.count;
    }
    return m_pieces.size();
}

const FileItem &FileListModel::pieceItem(qsizetype row) const {
    for (const Piece &p : m_pieces) {
        if (row < p.count) return p.from->at(p.start + row);
        row -= p.count;
    }
    return m_items.at(row); // not reached: the view asks only for rows it has
}

bool FileListModel::follow(const QList<FileItem> *list) {
    if (m_followed || list->constData() != m_items.constData() || list->size() != m_items.size())
        return false;
    m_followed = list;
    (void)m_rows.release();
    m_items = {};
    return true;
}

void FileListModel::followStep(const FileLoader::MergeStep &step) {
    if (!m_followed) return;
    if (!step.done) {
        if (step.insert)
            beginInsertRows({}, int(step.first), int(step.last));
        else
            beginRemoveRows({}, int(step.first), int(step.last));
    } else {
        if (step.insert)
            endInsertRows();
        else
            endRemoveRows();
    }
}

void FileListModel::stopFollowing() {
    if (!m_followed) return;
    m_items = *m_followed;
    m_followed = nullptr;
}

int FileListModel::rowOf(const QString &path) const {
    if (!m_pieces.empty() || m_followed) { // between the steps of a diff: rare, and few rows change
        for (int row = 0; row < rowCount(); ++row)
            if (item(row).isAt(path)) return row;
        return -1;
    }
    return int(m_rows.row(m_items, path));
}

int FileListModel::rowCount(const QModelIndex &parent) const {
    if (parent.isValid()) return 0;
    if (m_followed) return int(m_followed->size());
    return int(m_pieces.empty() ? m_items.size() : m_pieceRows);
}

QVariant FileListModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const FileItem &item = this->item(index.row());
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
