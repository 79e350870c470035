#include "ui/app/PaneWiring.h"

#include "core/app/AppState.h"
#include "core/app/SidebarModel.h"
#include "ui/panecontent/ItemMenu.h"
#include "ui/panecontent/OpenWithMenu.h"

#include <QPointer>

PaneParts paneParts(AppState &app, Commands &commands) {
    const ViewMenus menus({commands, app.items(), app.renames(), app.clipboard(), app.sides()});
    // Asked each time the places menu opens, as the sidebar asks.
    auto volumes = [state = QPointer<AppState>(&app)] {
        const auto &list = state ? state->services().sidebar.volumes : nullptr;
        return list ? list() : Volumes::userVolumes();
    };
    return {app.sides(), app.settings(), app.clipboard(), commands, app.items(), volumes, menus};
}

PaneParts windowPaneParts(AppState &app, Commands &commands) {
    PaneParts parts = paneParts(app, commands);
    parts.menus.setOpenWith([toasts = QPointer<Toasts>(&app.toasts())](QMenu *menu, const QStringList &paths,
                                                                       const std::function<void()> &pick) {
        if (toasts) OpenWithMenu::fill(menu, *toasts, paths, pick);
    });
    parts.menus.setFavourites(ItemMenu::favouritesFill(app.favorites()));
    return parts;
}
