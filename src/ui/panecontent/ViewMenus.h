#pragma once

#include "core/model/FileItem.h"

#include <QPoint>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class Clipboard;
class Commands;
class ItemCommands;
class PaneModel;
class QMenu;
class QWidget;
class RenameCommands;
class Sides;

// The menus that hang on a pane's views: the item menu for a clicked item, the pane's background menu
// for its empty area, and the parts their entries call. A cheap handle: copies share one set of parts,
// fills and builders, so every view of the window shows the same menus (and tests may put builders of
// their own in place after the views are made).
class ViewMenus {
public:
    struct Parts {
        Commands &commands;
        ItemCommands &items;
        RenameCommands &renames;
        Clipboard &clipboard;
        Sides &sides;
    };
    // A part of the item menu that another module provides: it fills menu for the paths, and runs pick
    // before it acts (pick selects the clicked item). With no filler the part is absent.
    using Filler =
        std::function<void(QMenu *menu, const QStringList &paths, const std::function<void()> &pick)>;
    using Builder =
        std::function<QMenu *(QWidget *parent, PaneModel *model, const std::optional<FileItem> &item)>;

    explicit ViewMenus(Parts parts);

    const Parts &parts() const;
    // Fills the "Öffnen mit" submenu; a submenu left empty is not shown.
    const Filler &openWith() const;
    void setOpenWith(Filler fill);
    // Adds the favourites entry to the menu itself, where it belongs among the entries.
    const Filler &favourites() const;
    void setFavourites(Filler fill);
    // In place of the item or background menu (none: the menus every pane view shows).
    void setItemMenu(Builder builder);
    void setBackgroundMenu(Builder builder);

    // The menu for item (none: the empty area). The caller owns it.
    QMenu *build(QWidget *parent, PaneModel *model, const std::optional<FileItem> &item) const;
    // Builds and opens it at global; it deletes itself once closed.
    void popup(QWidget *parent, PaneModel *model, const std::optional<FileItem> &item,
               const QPoint &global) const;

private:
    struct Shared;
    std::shared_ptr<Shared> d;
};
