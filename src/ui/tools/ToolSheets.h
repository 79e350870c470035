#pragma once

class AppState;
class SheetPresenter;

// Gives the sheet presenter the dialogs of folder compare and batch rename.
void registerToolSheets(AppState *app, SheetPresenter *sheets);
