#pragma once

#include <QPointer>
#include <QWidget>

class AppState;

// The manual window "Kestrin-Handbuch" (at most one): shows the manual of the interface language.
class ManualWindow : public QWidget {
    Q_OBJECT
public:
    explicit ManualWindow(AppState *app);
    // Opens the one manual window, or brings the open one forward.
    static ManualWindow *open(AppState *app);

private:
    void rebuild();
    QPointer<AppState> m_app;
};

// The settings window; its pages come with the settings subsystem.
class SettingsWindow : public QWidget {
    Q_OBJECT
public:
    explicit SettingsWindow(AppState *app);
    static SettingsWindow *open(AppState *app);

private:
    void rebuild();
    QPointer<AppState> m_app;
};
