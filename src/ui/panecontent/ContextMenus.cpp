#include "ui/panecontent/ContextMenus.h"

#include "core/model/PaneModel.h"
#include "ui/panecontent/ColumnsContent.h"
#include "ui/panecontent/ItemMenu.h"
#include "ui/panecontent/ItemView.h"
#include "ui/panecontent/ViewMenus.h"
#include "ui/window/pane/PaneBackgroundMenu.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QMenu>

namespace ContextMenus {

QMenu *popup(const ViewMenus &menus, PaneModel *pane, const FileItem *item, const QPoint &globalPos,
             QWidget *view) {
    if (!pane) return nullptr;
    QMenu *menu = nullptr;
    if (item) {
        // Context menus select first, so that what the menu says matches what it acts on.
        pane->contextSelect(*item);
        menu = ItemMenu::build(menus, pane, *item, view);
    } else {
        menu = PaneBackgroundMenu::build(menus, pane, view);
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(globalPos);
    return menu;
}

bool openByKey(QWidget *window, PaneModel *pane) {
    if (!window || !pane) return false;
    // In columns only the current folder's column holds the selection.
    ItemView *view = nullptr;
    const auto views = window->findChildren<ItemView *>();
    for (ItemView *v : views) {
        if (v->paneModel() != pane || !v->isVisible()) continue;
        auto *column = qobject_cast<ColumnList *>(v);
        if (!column || column->dir() == pane->currentPath()) {
            view = v;
            break;
        }
    }
    if (!view) return false;
    QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(),
                            view->viewport()->mapToGlobal(view->viewport()->rect().topLeft() + QPoint(8, 8)));
    QCoreApplication::sendEvent(view, &event);
    return true;
}

} // namespace ContextMenus
