#pragma once

class AppState;
class SheetPresenter;

// Gives the presenter the dialogs of the cleanup rules and of the storage analysis.
namespace ToolSheets {
void install(SheetPresenter *presenter, AppState *app);
}
