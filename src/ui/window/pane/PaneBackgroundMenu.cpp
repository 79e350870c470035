#include "ui/window/pane/PaneBackgroundMenu.h"

#include "core/app/Clipboard.h"
#include "core/app/ItemCommands.h"
#include "core/app/Sides.h"
#include "core/localisation/Lang.h"
#include "core/model/PaneModel.h"
#include "ui/app/Commands.h"
#include "ui/panecontent/ItemMenu.h"
#include "ui/panecontent/ViewMenus.h"
#include "ui/style/Symbols.h"
#include "ui/window/pane/SortMenus.h"

#include <QAction>
#include <QMenu>
#include <QPointer>

namespace PaneBackgroundMenu {

QMenu *build(const ViewMenus &menus, PaneModel *pane, QWidget *parent) {
    auto *menu = new QMenu(parent);
    if (!pane) return menu;
    const ViewMenus::Parts &parts = menus.parts();
    QPointer<PaneModel> p = pane;
    auto add = [menu](const char *key, const char *symbol, std::function<void()> act) {
        QAction *action = menu->addAction(ItemMenu::icon(symbol, menu), L(key));
        action->setObjectName(QString::fromUtf8(key));
        QObject::connect(action, &QAction::triggered, menu, std::move(act));
        return action;
    };
    // Makes this pane the active one, then runs the command on it.
    auto activated = [&sides = parts.sides, p](std::function<void()> act) {
        return [&sides, p, act = std::move(act)] {
            if (!p) return;
            sides.setActive(p->side());
            act();
        };
    };
    auto command = [&commands = parts.commands](const char *id) {
        if (QAction *c = commands.action(QString::fromUtf8(id)); c && c->isEnabled()) c->trigger();
    };

    // Into the folder shown, whatever is selected in it (the paste command would take a selected folder).
    add(K("Einsetzen"), "doc.on.clipboard",
        activated([&clipboard = parts.clipboard, p] { clipboard.paste(p->currentPath()); }));
    menu->addSeparator();
    add(Cmd::newFolder, "folder.badge.plus", activated([command] { command(Cmd::newFolder); }));
    add(Cmd::newFile, "doc.badge.plus", activated([command] { command(Cmd::newFile); }));
    menu->addSeparator();
    // The command would select the text of a focused search field instead.
    add(Cmd::selectAll, "checkmark.circle", activated([p] { p->selectAll(); }));
    QMenu *sort = menu->addMenu(ItemMenu::icon("arrow.up.arrow.down", menu), L("Sortieren nach"));
    sort->menuAction()->setObjectName(QStringLiteral("Sortieren nach"));
    SortMenuItems::fill(sort, pane);
    // This pane only, and the active side stays.
    add(Cmd::refresh, "arrow.clockwise", [p] {
        if (p) p->refresh();
    });
    if (QAction *storage = parts.commands.action(QString::fromUtf8(Cmd::storage));
        storage && storage->isEnabled())
        add(Cmd::storage, "chart.pie",
            activated([&items = parts.items, p] { items.openStorageAnalysis(p->currentPath()); }));
    return menu;
}

} // namespace PaneBackgroundMenu
