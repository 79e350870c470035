#include "ui/panecontent/FileListModel.h"

void FileListModel::setItems(const QList<FileItem> &items) {
    // Same list object (no change of items): nothing to lay out again.
    if (items.constData() == m_items.constData() && items.size() == m_items.size()) return;
    beginResetModel();
    m_items = items;
    endResetModel();
}

int FileListModel::rowOf(const QString &path) const {
    for (qsizetype i = 0; i < m_items.size(); ++i)
        if (m_items[i].path == path) return int(i);
    return -1;
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
        return item.path;
    default:
        return {};
    }
}

Qt::ItemFlags FileListModel::flags(const QModelIndex &index) const {
    // Not selectable by the view: the pane model owns the selection.
    return index.isValid() ? Qt::ItemIsEnabled : Qt::NoItemFlags;
}
