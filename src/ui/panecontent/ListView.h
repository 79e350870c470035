#pragma once

#include "core/model/PaneModel.h"
#include "core/model/FileItem.h"
#include "core/model/SortKey.h"
#include "ui/panecontent/FileListModel.h"
#include "ui/panecontent/FolderDropTarget.h"
#include "ui/panecontent/ItemView.h"
#include "ui/style/AppTheme.h"
#include "ui/style/UIScale.h"

#include <QListView>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QWidget>
#include <functional>
#include <optional>

class PaneModel;
class PlainLinkButton;
class QLabel;

// The rows of the list: a plain list view that paints every row itself and turns mouse gestures into
// pane-model calls. It neither selects nor handles keys: the pane model owns the selection and the
// application's key handler owns the keys.
class FileListView : public ItemView {
    Q_OBJECT
public:
    FileListView(PaneModel *model, Sides &sides, Clipboard &clipboard, const ViewMenus &menus,
                 QWidget *parent = nullptr);
    // Rows laid out in one go; longer lists are laid out in batches of this many.
    static constexpr int kBatch = 50000;

    bool showParent() const { return m_showParent; }
    void setItems(const QList<FileItem> &items, bool showParent, const ItemsDiff *diff = nullptr);
    // The drop target of the pane, used where the pointer is over no row.
    std::function<FolderDropTarget()> paneDrop;

    // The rectangle of a row in viewport coordinates.
    QRect rowRect(int row) const { return visualRect(m_list->index(row)); }
    // Scrolls the cursor's row into view when it is in the list.
    void scrollToCursor();
    // The row's drop target: a folder row takes the drop itself, a file row puts it in the pane's folder.
    FolderDropTarget rowDrop(int row);

    // Rows all have one height, so the row under a point is a division.
    int rowAt(const QPoint &pos) const override;
    // A row's highlight spans the viewport's width.
    void updateRow(int row) override;

protected:
    bool rowSelected(int row) const override;
    void selectedFromView(const QSet<QString> &paths) override;
    void itemClicked(int row, Qt::KeyboardModifiers modifiers, int count) override;
    FolderDropTarget dropTarget(int row) override;
    void openMenu(int row, const QPoint &global) override;
    void menuSelect(int row) override;
    QString toolTipAt(int row, const QPoint &pos) const override;

    void mousePressEvent(QMouseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void scaleChanged() override;

private:
    bool m_showParent = false;
    std::optional<QString> m_pendingCursor; // the cursor's item, scrolled to when it arrives
};

// Paints one row: icon, name (shortened in the middle), tag dots, the parent folder of a search hit,
// date and size, over the selection, hover and drop highlight; cut items are dimmed.
class FileRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit FileRowDelegate(FileListView *view);
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // The date and size widths at the base size of 13; the columns grow with the scale and the language.
    static constexpr int dateWidth = 128, sizeWidth = 64, spacing = 8, inset = 8, stackInset = 6;

    // The date and size columns for the width of a row's content. The name keeps at least nameMinimum:
    // first the date drops its time, then the size column goes, then the date column (width 0: hidden).
    struct Columns {
        int date = 0;
        int size = 0;
        bool dateOnly = false;
        bool operator==(const Columns &) const = default;
    };
    static Columns columns(int contentWidth, const UIScale &ui, const QFont &base);
    static int nameMinimum(const UIScale &ui);

    // Where the parts of a row go; rowRect spans the viewport's width.
    struct Layout {
        QRect row; // the highlight
        QRectF icon;
        QRect name;
        QString nameText; // shortened in the middle to fit
        QRectF tags;      // empty without coloured tags
        QRect parent;     // search hits only
        QString parentText;
        QRect date;
        QRect size;
        bool dateOnly = false;
        QFont nameFont;
        QFont smallFont;
    };
    static Layout layout(const FileItem &item, const QRect &rowRect, const UIScale &ui, const QFont &base,
                         bool showParent);
    // The texts of the date and size columns.
    static QString dateText(const FileItem &item, bool dateOnly = false);
    static QString sizeText(const FileItem &item);
    // Secondary texts (date, size, parent folder), readable on a plain and a selected row; the two
    // ends of the selection's tint on the list's background.
    static QColor secondaryColor(const QPalette &palette, const AppTheme &theme);
    static QList<QColor> selectedBackgrounds(const QPalette &palette, const AppTheme &theme);

private:
    FileListView *m_view;
};

// The list mode of a pane and the look of every search result: three sorting header buttons over the
// rows.
class ListContent : public QWidget {
    Q_OBJECT
public:
    ListContent(PaneModel *model, Sides &sides, Clipboard &clipboard, const ViewMenus &menus,
                QWidget *parent = nullptr);

    void setItems(const QList<FileItem> &items, bool showParent, const ItemsDiff *diff = nullptr);
    FileListView *view() const { return m_view; }
    // The line under search hits that says the search stopped before it had looked everywhere.
    QLabel *cutShortNote() const { return m_cutShort; }
    PlainLinkButton *headerButton(SortKey key) const;
    // The text of a header button: its title and, for the key in force, a blank and the arrow.
    static QString headerTitle(const QString &titleKey, SortKey key, SortKey current, const QString &arrow);

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void updateHeader();
    void layoutHeader();
    void updateCutShort();

    QPointer<PaneModel> m_model;
    FileListView *m_view;
    QWidget *m_header;
    PlainLinkButton *m_name;
    PlainLinkButton *m_date;
    PlainLinkButton *m_size;
    QLabel *m_cutShort;
    bool m_showsHits = false;
    QPointer<QObject> m_env;
};
