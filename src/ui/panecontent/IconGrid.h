#pragma once

#include "core/model/ItemsDiff.h"
#include "ui/panecontent/ItemView.h"
#include "ui/panecontent/Thumbs.h"
#include "ui/style/UIScale.h"

#include <QHash>
#include <QImage>
#include <QStyledItemDelegate>
#include <functional>

// The icons mode of a pane: the items as equal cells, row by row, each with its thumbnail, name and tag
// dots. One flowing list view; nothing per item but what is painted.
class IconGrid : public ItemView {
    Q_OBJECT
public:
    static constexpr double minCell = 92, spacing = 6, padding = 10, thumbEdge = 52, thumbFrame = 56;

    // How many cells fit side by side in the width inside the padding, and how wide each then is.
    struct Columns {
        int count = 1;
        double cell = minCell;
        bool operator==(const Columns &) const = default;
    };
    static Columns columns(double innerWidth);
    // The height of every cell (the same for one- and two-line names), without the spacing below it.
    static int cellHeight(const UIScale &ui, const QFont &base);
    static QFont nameFont(const UIScale &ui, const QFont &base);
    // A name in at most two lines of width, shortened in the middle when it needs more.
    static QStringList nameLines(const QString &name, const QFont &font, int width);

    IconGrid(PaneModel *model, Sides &sides, Clipboard &clipboard, const ViewMenus &menus,
             QWidget *parent = nullptr);

    void setItems(const QList<FileItem> &items, const ItemsDiff *diff = nullptr);
    // The pane's drop target, used over the empty area.
    std::function<FolderDropTarget()> paneDrop;
    Columns currentColumns() const { return m_columns; }
    // The painted cell of a row (without the spacing), in viewport coordinates.
    QRect cellRect(int row) const;
    // The thumbnail the cell of a row shows now; null: its icon.
    QImage shownThumb(int row) const;
    // The picture to paint for a row: the shown thumbnail, or asks for it and gives null meanwhile.
    QImage thumbFor(int row);
    // A thumbnail result for key (normally from Thumbs; tests hand in late ones).
    void thumbArrived(const Thumbs::Key &key, const QImage &image);
    int pendingThumbs() const { return int(m_pending.size()); }

protected:
    void itemClicked(int row, Qt::KeyboardModifiers modifiers, int count) override;
    bool rowSelected(int row) const override;
    void selectedFromView(const QSet<QString> &paths) override;
    FolderDropTarget dropTarget(int row) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void scaleChanged() override;

private:
    void relayout();
    void scrollToCursor();
    void dropHiddenRequests();
    struct Shown {
        Thumbs::Key key;
        QImage image;
    };
    QHash<QString, Shown> m_thumbs;        // by path, only for cells painted lately
    QHash<QString, Thumbs::Key> m_pending; // asked for and not answered yet
    Columns m_columns;
};

class IconGridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit IconGridDelegate(IconGrid *grid);
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    IconGrid *m_grid;
};
