#pragma once

#include "core/model/FileItem.h"
#include "ui/panecontent/ViewMenus.h"

#include <QIcon>
#include <QStringList>
#include <functional>

class Favorites;
class PaneModel;
class QMenu;
class QWidget;

// The context menu of an item in a pane. It acts on the pane's selection when the clicked item is part of
// it, else on the item alone (choosing an entry then makes the item the only selection). Entries that do
// not apply are left out, and so are commands that cannot run here (a sheet not built yet).
class ItemMenu {
public:
    // The menu for item in pane, with the parts, open-with and favourites fills of menus; no parent
    // widget unless given; the caller pops it up.
    static QMenu *build(const ViewMenus &menus, PaneModel *pane, const FileItem &item,
                        QWidget *parent = nullptr);
    // The entry "Zu Favoriten hinzufügen", which adds the menu's paths to favorites.
    static ViewMenus::Filler favouritesFill(Favorites &favorites);

    // The paths an item's menu shows for: the selection when it holds the item, else the item alone. In
    // no particular order (sorting a large selection would hold the menu up).
    static QStringList menuPaths(const PaneModel &pane, const FileItem &item);
    // A symbol for an entry of a context menu, in the menu's text colour (dark themes included).
    static QIcon icon(const char *symbol, const QWidget *menu);

    // Whether every path lies in a trash folder: then deleting is for good and putting back applies.
    // Stops at the first path outside.
    static bool allInTrash(const QStringList &paths);
};
