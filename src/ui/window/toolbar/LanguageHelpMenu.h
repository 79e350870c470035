#pragma once

#include "ui/window/toolbar/ToolbarButtons.h"

class AppState;

// The globe of the toolbar: the four interface languages by their own names (the current one checked),
// then the manual.
class LanguageHelpMenu : public ToolbarMenuButton {
    Q_OBJECT
public:
    explicit LanguageHelpMenu(AppState *app, QWidget *parent = nullptr);
    // Builds the entries for the state of now; the menu does so each time it opens.
    void fill();

private:
    QPointer<AppState> m_app;
};
