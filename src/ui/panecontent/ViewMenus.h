#pragma once

#include "core/model/FileItem.h"

#include <QPoint>
#include <functional>
#include <optional>

class AppState;
class PaneModel;
class QMenu;
class QWidget;

// The one road of a right click in the grid and the columns to the menus that hang on a pane: the item
// menu for a clicked item, the pane's background menu for its empty area. Tests may set builders of
// their own in their place.
namespace ViewMenus {

using Builder = std::function<QMenu *(QWidget *parent, PaneModel *model, AppState *app,
                                      const std::optional<FileItem> &item)>;
void setItemMenu(Builder builder);
void setBackgroundMenu(Builder builder);

// The menu for item (none: the empty area). The caller owns it.
QMenu *build(QWidget *parent, PaneModel *model, AppState *app, const std::optional<FileItem> &item);
// Builds and opens it at global; it deletes itself once closed.
void popup(QWidget *parent, PaneModel *model, AppState *app, const std::optional<FileItem> &item,
           const QPoint &global);

} // namespace ViewMenus
