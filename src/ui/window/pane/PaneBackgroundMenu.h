#pragma once

class PaneModel;
class QMenu;
class QWidget;
class ViewMenus;

// The menu of a pane's empty area: commands on the folder shown rather than on items. Every entry but
// refresh and the sort keys first makes the pane's side the active one, so that the commands act here.
namespace PaneBackgroundMenu {
QMenu *build(const ViewMenus &menus, PaneModel *pane, QWidget *parent = nullptr);
} // namespace PaneBackgroundMenu
