#include "ui/window/pane/PaneCommands.h"

#include "core/app/AppState.h"
#include "core/localisation/Lang.h"

#include <QClipboard>
#include <QGuiApplication>

PaneCommands &PaneCommands::shared() {
    static PaneCommands commands;
    return commands;
}

void PaneCommands::copyPaths(AppState *app, const QStringList &paths) {
    if (paths.isEmpty()) return;
    if (shared().copyPath) {
        shared().copyPath(app, paths);
        return;
    }
    QGuiApplication::clipboard()->setText(paths.join(u'\n'));
    if (!app) return;
    app->setCutPaths({});
    if (paths.size() == 1)
        app->show(L("Pfad kopiert: ") + paths.first());
    else
        app->show(QString::number(paths.size()) + L(" Pfade kopiert."));
}
