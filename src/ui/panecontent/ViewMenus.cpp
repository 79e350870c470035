#include "ui/panecontent/ViewMenus.h"

#include "ui/panecontent/ItemMenu.h"
#include "ui/window/pane/PaneBackgroundMenu.h"

#include <QMenu>

namespace ViewMenus {
namespace {
Builder &itemBuilder() {
    static Builder b;
    return b;
}
Builder &backgroundBuilder() {
    static Builder b;
    return b;
}
} // namespace

void setItemMenu(Builder builder) {
    itemBuilder() = std::move(builder);
}

void setBackgroundMenu(Builder builder) {
    backgroundBuilder() = std::move(builder);
}

QMenu *build(QWidget *parent, PaneModel *model, AppState *app, const std::optional<FileItem> &item) {
    const Builder &b = item ? itemBuilder() : backgroundBuilder();
    if (b) return b(parent, model, app, item);
    if (!app || !model) return nullptr;
    // The menus every pane view shows.
    return item ? ItemMenu::build(app, model, *item, parent) : PaneBackgroundMenu::build(app, model, parent);
}

void popup(QWidget *parent, PaneModel *model, AppState *app, const std::optional<FileItem> &item,
           const QPoint &global) {
    QMenu *menu = build(parent, model, app, item);
    if (!menu) return;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(global);
}

} // namespace ViewMenus
