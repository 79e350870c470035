#pragma once

#include "core/model/FileItem.h"
#include "core/model/ItemsDiff.h"
#include "core/model/PathIndex.h"

#include <QAbstractListModel>
#include <QList>

// The rows of a list over a pane's visible items. It shares the pane's list (implicitly shared, so a
// copy costs nothing) and holds no other per-row data; the row delegate draws from the items.
class FileListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { PathRole = Qt::UserRole + 1 };

    using QAbstractListModel::QAbstractListModel;

    // A new list. With a diff from the list shown now (a folder that changed a little), rows are removed
    // and inserted by ranges and the view keeps its place; otherwise the view lays itself out again.
    void setItems(const QList<FileItem> &items, const ItemsDiff *diff = nullptr);
    const QList<FileItem> &items() const { return m_items; }
    const FileItem &item(int row) const { return m_items.at(row); }
    // The row of a path; -1 when it is not in the list.
    int rowOf(const QString &path) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    bool applyDiff(const QList<FileItem> &items, const ItemsDiff &diff);

    QList<FileItem> m_items;
    mutable PathIndex m_rows; // built when first asked after a change
};
