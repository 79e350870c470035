#include "ui/panecontent/ContextMenus.h"

#include "core/model/PaneModel.h"
#include "ui/panecontent/ItemMenu.h"
#include "ui/window/pane/PaneBackgroundMenu.h"

#include <QMenu>

namespace ContextMenus {

QMenu *popup(AppState *app, PaneModel *pane, const FileItem *item, const QPoint &globalPos, QWidget *view) {
    if (!app || !pane) return nullptr;
    QMenu *menu = nullptr;
    if (item) {
        // Context menus select first, so that what the menu says matches what it acts on.
        pane->contextSelect(*item);
        menu = ItemMenu::build(app, pane, *item, view);
    } else {
        menu = PaneBackgroundMenu::build(app, pane, view);
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(globalPos);
    return menu;
}

} // namespace ContextMenus
