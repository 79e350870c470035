#pragma once

#include "core/app/AppState.h"
#include "ui/app/Commands.h"

// The command registry of a test's application state when no main window holds one: made once, gone
// with the state (before its tab groups, whose teardown would reach the enabled rules).
inline Commands &testCommands(AppState *app) {
    if (auto *found = app->findChild<Commands *>(QString(), Qt::FindDirectChildrenOnly)) return *found;
    auto *commands = new Commands(*app, app);
    QObject::connect(app, &QObject::destroyed, commands, [commands] { delete commands; });
    return *commands;
}
