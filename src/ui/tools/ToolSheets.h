#pragma once

class AppState;
class SheetPresenter;

// Gives the presenter the dialogs of folder compare, batch rename, the cleanup rules and the storage
// analysis.
namespace ToolSheets {
void install(SheetPresenter *presenter, AppState *app);
}
