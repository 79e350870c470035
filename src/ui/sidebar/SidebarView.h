#pragma once

#include "core/app/SidebarModel.h"
#include "ui/panecontent/FolderDropTarget.h"

#include <QPointer>
#include <QScrollArea>
#include <QWidget>

class IconButton;
class ItemCommands;
class PaneModel;
class QMenu;
class QMimeData;
class QVBoxLayout;
class Sides;
class Toasts;
class TrashCommands;

// What the sidebar works on: its entries, the panes it opens them in and the commands its rows call.
struct SidebarParts {
    SidebarModel &model;
    Sides &sides;
    ItemCommands &items;
    TrashCommands &trash;
    Toasts &toasts;
};

// One entry of the sidebar: icon, name, free space, eject button. A click opens it in the active pane;
// files dropped on it move or copy there (the Trash row trashes them); a right click shows its menu.
class SidebarRow : public QWidget {
    Q_OBJECT
public:
    SidebarRow(const SidebarParts &parts, const SidebarItem &item, QWidget *parent = nullptr);

    const SidebarItem &item() const { return m_item; }
    bool isCurrent() const;
    bool targeted() const { return m_targeted; }
    bool hovered() const { return m_hover; }
    IconButton *ejectButton() const { return m_eject; }
    // What a drop of these files does here; copy: copy them, else move them where the volumes allow.
    bool drop(const QMimeData *data, bool copy);
    // The drop rule of the pane views, for this row (the Trash row trashes).
    FolderDropTarget dropTarget();
    // The row's context menu, built anew (the caller owns it).
    QMenu *makeMenu(QWidget *parent);
    // Opens the entry in the active pane, as a click does.
    void open();
    QSize sizeHint() const override;

signals:
    // Opened by a click of the mouse (not by a key).
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    bool isTrash() const;
    SidebarParts m_parts;
    SidebarItem m_item;
    IconButton *m_eject = nullptr;
    bool m_hover = false;
    bool m_targeted = false;
};

// The sidebar column: the sections "Geräte", "Favoriten" and "Orte" with a row per entry; the row of the
// active pane's folder is drawn as current.
class SidebarView : public QScrollArea {
    Q_OBJECT
public:
    SidebarView(SidebarModel &model, Sides &sides, ItemCommands &items, TrashCommands &trash, Toasts &toasts,
                QWidget *parent = nullptr);

    QList<SidebarRow *> rows() const;
    SidebarRow *row(const QString &path) const;
    // Gives the keyboard focus to the row of the active pane's folder, or else to the first row; the
    // arrows then move through the rows and Enter opens one.
    void focusEntry();

signals:
    // A row was opened by a click: the keys then belong to the pane that shows it.
    void placeClicked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void rebuildRows();
    // Repaints the rows when the folder of the active pane changes, and follows the active pane.
    void watchActivePane();
    SidebarParts m_parts;
    QPointer<PaneModel> m_pane;
    QMetaObject::Connection m_paneFolder;
    QWidget *m_content = nullptr;
    QVBoxLayout *m_stack = nullptr;
};
