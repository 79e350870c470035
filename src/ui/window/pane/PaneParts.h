#pragma once

#include "platform/Volumes.h"
#include "ui/panecontent/ViewMenus.h"

#include <functional>
#include <vector>

class Clipboard;
class Commands;
class ItemCommands;
class Settings;
class Sides;

// What a pane view and its children use of the window: the sides, the settings, the clipboard, the
// command registry, the item commands, where the places menu finds the mounted volumes, and the menus of
// the item views.
struct PaneParts {
    Sides &sides;
    Settings &settings;
    Clipboard &clipboard;
    Commands &commands;
    ItemCommands &items;
    // None: the user's volumes of this machine.
    std::function<std::vector<Volume>()> volumes;
    ViewMenus menus;
};
