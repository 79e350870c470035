#include "ui/panecontent/ViewMenus.h"

#include "ui/panecontent/ItemMenu.h"
#include "ui/window/pane/PaneBackgroundMenu.h"

#include <QMenu>

struct ViewMenus::Shared {
    Parts parts;
    Filler openWith, favourites;
    Builder item, background;
};

ViewMenus::ViewMenus(Parts parts) : d(std::make_shared<Shared>(Shared{parts, {}, {}, {}, {}})) {}

const ViewMenus::Parts &ViewMenus::parts() const {
    return d->parts;
}

const ViewMenus::Filler &ViewMenus::openWith() const {
    return d->openWith;
}

void ViewMenus::setOpenWith(Filler fill) {
    d->openWith = std::move(fill);
}

const ViewMenus::Filler &ViewMenus::favourites() const {
    return d->favourites;
}

void ViewMenus::setFavourites(Filler fill) {
    d->favourites = std::move(fill);
}

void ViewMenus::setItemMenu(Builder builder) {
    d->item = std::move(builder);
}

void ViewMenus::setBackgroundMenu(Builder builder) {
    d->background = std::move(builder);
}

QMenu *ViewMenus::build(QWidget *parent, PaneModel *model, const std::optional<FileItem> &item) const {
    const Builder &b = item ? d->item : d->background;
    if (b) return b(parent, model, item);
    if (!model) return nullptr;
    return item ? ItemMenu::build(*this, model, *item, parent)
                : PaneBackgroundMenu::build(*this, model, parent);
}

void ViewMenus::popup(QWidget *parent, PaneModel *model, const std::optional<FileItem> &item,
                      const QPoint &global) const {
    QMenu *menu = build(parent, model, item);
    if (!menu) return;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(global);
}
