#pragma once

#include "ui/settings/SettingsView.h"

#include <QPointer>
#include <QWidget>

class AppState;
class SettingsCommands;

// The settings window: its seven pages, rebuilt whole when the language changes. It holds the settings'
// commands (resets, backup and restore), which run on the whole state.
class SettingsWindow : public QWidget {
    Q_OBJECT
public:
    explicit SettingsWindow(AppState *app);
    static SettingsWindow *open(AppState *app);
    SettingsView *view() const { return m_view; }

private:
    void rebuild();
    QPointer<AppState> m_app;
    SettingsCommands *m_commands = nullptr;
    QPointer<SettingsView> m_view;
};
