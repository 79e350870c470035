#pragma once

#include "core/model/FileItem.h"

#include <QIcon>
#include <QStringList>
#include <functional>

class AppState;
class PaneModel;
class QMenu;
class QWidget;

// The context menu of an item in a pane. It acts on the pane's selection when the clicked item is part of
// it, else on the item alone (choosing an entry then makes the item the only selection). Entries that do
// not apply are left out, and so are commands that cannot run here (a sheet not built yet).
class ItemMenu {
public:
    // A part of the menu that another module provides: it fills menu for the paths, and runs pick before
    // it acts (pick selects the clicked item). With no provider the part is absent.
    using Filler =
        std::function<void(QMenu *menu, const QStringList &paths, const std::function<void()> &pick)>;
    // Fills the "Öffnen mit" submenu; a submenu left empty is not shown.
    static inline Filler openWith;
    // Adds the favourites entry to the menu itself, where it belongs among the entries.
    static inline Filler favourites;

    // The menu for item in pane, with no parent widget unless given; the caller pops it up.
    static QMenu *build(AppState *app, PaneModel *pane, const FileItem &item, QWidget *parent = nullptr);

    // The paths an item's menu shows for: the selection when it holds the item, else the item alone. In
    // no particular order (sorting a large selection would hold the menu up).
    static QStringList menuPaths(const PaneModel &pane, const FileItem &item);
    // A symbol for an entry of a context menu, in the menu's text colour (dark themes included).
    static QIcon icon(const char *symbol, const QWidget *menu);

    // Whether every path lies in a trash folder: then deleting is for good and putting back applies.
    // Stops at the first path outside.
    static bool allInTrash(const QStringList &paths);
};
