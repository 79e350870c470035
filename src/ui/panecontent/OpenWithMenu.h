#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class Toasts;
class QMenu;
class QWidget;

// The "Öffnen mit" submenu of the item menu: the applications for the first path (the default one first
// and marked, then the recommended ones, then the others; 40 at most), a divider and "Andere …", which
// lets the user pick an application entry. The chosen application gets all paths; onPick runs first.
namespace OpenWithMenu {

// A new submenu under parent, titled and with its symbol; its entries are made each time it opens.
QMenu *build(Toasts &toasts, const QStringList &paths, QWidget *parent, std::function<void()> onPick = {});
// Replaces the entries of menu with those for the paths of now.
void fill(QMenu *menu, Toasts &toasts, const QStringList &paths, std::function<void()> onPick = {});

} // namespace OpenWithMenu
