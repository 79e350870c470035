#pragma once

#include "ui/window/toolbar/ToolbarButtons.h"

class Commands;
class Settings;
class WindowRequests;

// The globe of the toolbar: the four interface languages by their own names (the current one checked),
// then the manual.
class LanguageHelpMenu : public ToolbarMenuButton {
    Q_OBJECT
public:
    LanguageHelpMenu(Settings &settings, Commands &commands, WindowRequests &requests,
                     QWidget *parent = nullptr);
    // Builds the entries for the state of now; the menu does so each time it opens.
    void fill();

private:
    QPointer<Settings> m_settings;
    Commands &m_commands;
};
