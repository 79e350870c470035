#pragma once

class AppState;
class PaneModel;
class QMenu;
class QWidget;

// The menu of a pane's empty area: commands on the folder shown rather than on items. Every entry but
// refresh and the sort keys first makes the pane's side the active one, so that the commands act here.
namespace PaneBackgroundMenu {
QMenu *build(AppState *app, PaneModel *pane, QWidget *parent = nullptr);
} // namespace PaneBackgroundMenu
