#pragma once

#include "core/model/FileItem.h"
#include "ui/panecontent/FileListModel.h"
#include "ui/panecontent/FolderDropTarget.h"
#include "ui/panecontent/ViewMenus.h"
#include "ui/style/AppTheme.h"

#include <QListView>
#include <QPixmap>
#include <QPointer>
#include <optional>

class Clipboard;
class PaneModel;
class Sides;

// What the icon grid and the folder columns share: a list view over items that paints itself, takes no
// keys and no selection of its own, and turns clicks, drags, drops and right clicks into pane-model calls.
class ItemView : public QListView {
    Q_OBJECT
public:
    ItemView(PaneModel *model, Sides &sides, Clipboard &clipboard, const ViewMenus &menus,
             QWidget *parent = nullptr);

    FileListModel *listModel() const { return m_list; }
    PaneModel *paneModel() const { return m_model; }
    // Items cut to the clipboard are drawn faded.
    bool isCut(const QString &path) const;
    const ViewMenus &menus() const { return m_menus; }
    // The row under a viewport point, -1 over the empty area.
    virtual int rowAt(const QPoint &pos) const;
    int hoverRow() const { return m_hoverRow; }
    int targetRow() const { return m_targetRow; }
    virtual void updateRow(int row);
    // The view's own selection follows what the view draws as selected, so screen readers see it and
    // can change it through the view's accessible table.
    void mirrorSelection();
    // What a drag of count items shows under the pointer: the item's image, and for several a second
    // one behind it and a badge with the number.
    static QPixmap dragImage(const QPixmap &image, int count, const AppTheme &theme, const QFont &font);

protected:
    // Whether a row is drawn as selected.
    virtual bool rowSelected(int row) const = 0;
    // True when rowSelected means "in the pane's selection": then the selected rows are looked up by
    // path instead of making the path of every row of a long list.
    virtual bool showsPaneSelection() const { return true; }
    // Rows selected through the view (a screen reader), as paths.
    virtual void selectedFromView(const QSet<QString> &paths) = 0;
    // A primary click on a row; count above 1 is a double click.
    virtual void itemClicked(int row, Qt::KeyboardModifiers modifiers, int count) = 0;
    // The drop target of a row, or of the empty area for -1.
    virtual FolderDropTarget dropTarget(int row) = 0;
    // A right click on a row (after it was selected) or on the empty area (-1).
    virtual void openMenu(int row, const QPoint &global);
    // A click on the empty area: clears the selection and makes the pane active.
    virtual void emptyClicked();
    // Before a row's menu opens: selects the row, so that the menu acts on what was clicked.
    virtual void menuSelect(int row);
    // The tooltip (rich text) at a viewport point over a row; empty: none.
    virtual QString toolTipAt(int row, const QPoint &pos) const;
    void setTargetRow(int row);
    // Follows the scale and theme of the window the view is shown in: repaints on either change, after
    // scaleChanged on a new scale. True when the window's values are newly followed.
    bool followEnvironment();
    virtual void scaleChanged() {}
    // The pointer's rows no longer stand for anything once the items are replaced.
    void forgetRows() { m_pressRow = m_hoverRow = m_targetRow = -1; }

    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    // A view shown after another one (a switch of view) brings the cursor's item into view once laid out.
    void showEvent(QShowEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void startDrag(Qt::DropActions supportedActions) override;

    QPointer<PaneModel> m_model;
    QPointer<Sides> m_sides;
    QPointer<Clipboard> m_clipboard;
    ViewMenus m_menus;
    FileListModel *m_list;

private:
    void setHoverRow(int row);
    void viewSelectionChanged();
    bool m_mirroring = false;
    int m_hoverRow = -1;
    int m_targetRow = -1;
    int m_pressRow = -1;
    QPoint m_pressPos;
    // The item of a press on the selection, clicked (with Ctrl: toggled) at the release unless a drag
    // started.
    std::optional<QString> m_pendingClick;
    Qt::KeyboardModifiers m_pendingModifiers;
    bool m_emptyTargeted = false;
    QPointer<QObject> m_env;
};
