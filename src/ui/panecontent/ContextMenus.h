#pragma once

#include "core/model/FileItem.h"

#include <QPoint>

class PaneModel;
class QMenu;
class QWidget;
class ViewMenus;

// Where every view of a pane's items sends its right clicks (and Meta+clicks, and the menu key): on an
// item, the item is selected first and the item menu opens; on empty space, the pane's background menu.
namespace ContextMenus {
// item: the clicked item, nullptr for empty space. The menu pops up at globalPos, belongs to view and is
// deleted once closed.
QMenu *popup(const ViewMenus &menus, PaneModel *pane, const FileItem *item, const QPoint &globalPos,
             QWidget *view);
// The menu key's menu: the view of window that shows pane's folder opens the menu of the selection at
// the cursor row (of a selected row when the cursor is elsewhere), or the background menu when nothing
// is selected. False when no such view is shown.
bool openByKey(QWidget *window, PaneModel *pane);
} // namespace ContextMenus
