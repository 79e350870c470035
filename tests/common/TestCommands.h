#pragma once

#include "core/app/AppState.h"
#include "ui/app/Commands.h"
#include "ui/app/PaneWiring.h"

// The command registry of a test's application state when no main window holds one: made once, gone
// with the state (before its tab groups, whose teardown would reach the enabled rules).
inline Commands &testCommands(AppState *app) {
    if (auto *found = app->findChild<Commands *>(QString(), Qt::FindDirectChildrenOnly)) return *found;
    auto *commands = new Commands(*app, app);
    QObject::connect(app, &QObject::destroyed, commands, [commands] { delete commands; });
    return *commands;
}

// What a test's pane views are given: the test's registry and no open-with or favourites entries.
inline PaneParts testPaneParts(AppState *app) {
    return paneParts(*app, testCommands(app));
}
