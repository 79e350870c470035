#pragma once

#include "core/model/FileItem.h"
#include "core/model/FileLoader.h"
#include "core/model/ItemsDiff.h"
#include "core/model/PathIndex.h"

#include <QAbstractListModel>
#include <QList>
#include <vector>

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
    const QList<FileItem> &items() const { return m_followed ? *m_followed : m_items; }
    const FileItem &item(int row) const {
        if (m_followed) return m_followed->at(row);
        return m_pieces.empty() ? m_items.at(row) : pieceItem(row);
    }
    // Follows the list shown, which its owner is about to change where it is, step by step: the model lets
    // go of its share, so that the change copies nothing, and turns each step into row signals. False
    // when the model shows another list.
    bool follow(const QList<FileItem> *list);
    bool following() const { return m_followed != nullptr; }
    void followStep(const FileLoader::MergeStep &step);
    void stopFollowing(); // shares the changed list again
    // The row of a path; -1 when it is not in the list.
    int rowOf(const QString &path) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    bool applyDiff(const QList<FileItem> &items, const ItemsDiff &diff);
    // While a diff is applied, the rows between its steps are runs of the old and the new list,
    // described rather than built: a million records are never held a second time.
    struct Piece {
        const QList<FileItem> *from;
        qsizetype start, count;
    };
    size_t pieceAt(qsizetype row);
    const FileItem &pieceItem(qsizetype row) const;
    std::vector<Piece> m_pieces; // empty outside applyDiff
    qsizetype m_pieceRows = 0;

    QList<FileItem> m_items;
    const QList<FileItem> *m_followed = nullptr;
    mutable RowLookup m_rows;
};
