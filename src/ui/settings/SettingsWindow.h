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
    ~SettingsWindow() override;
    static SettingsWindow *open(AppState *app);
    SettingsView *view() const { return m_view; }

protected:
    // Ctrl+Tab and Ctrl+PgDn show the next page, Ctrl+Shift+Tab and Ctrl+PgUp the previous one (round the
    // pages); Escape closes the window.
    void keyPressEvent(QKeyEvent *event) override;
    // A click gives the focus to the control clicked; a click elsewhere takes it from the control that had
    // it.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Shows the page step pages on and gives the focus to its first control.
    void turnPage(int step);
    // Gives the focus to the first control of the page shown (its help button comes last), marked; in a
    // row of choices, to the chosen one.
    void focusPage();
    void rebuild();
    QPointer<AppState> m_app;
    SettingsCommands *m_commands = nullptr;
    QPointer<SettingsView> m_view;
};
