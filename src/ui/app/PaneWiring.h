#pragma once

#include "ui/window/pane/PaneParts.h"

class AppState;
class Commands;

// The parts of the application state a pane view is given, with the window's command registry.
PaneParts paneParts(AppState &app, Commands &commands);
// The same for the main window, whose item menus also offer "Öffnen mit" and the favourites entry.
PaneParts windowPaneParts(AppState &app, Commands &commands);
