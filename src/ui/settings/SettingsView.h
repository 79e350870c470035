#pragma once

#include <QPointer>
#include <QTabWidget>

class AppState;
class SettingsCommands;
class SettingsPage;

// The settings window's content: seven pages in tabs, 600 wide; the height follows the page shown.
class SettingsView : public QTabWidget {
    Q_OBJECT
public:
    static constexpr int width = 600;
    explicit SettingsView(AppState *app, QWidget *parent = nullptr);
    SettingsPage *page(int index) const;
    SettingsCommands *commands() const { return m_commands; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

private:
    QPointer<AppState> m_app;
    SettingsCommands *m_commands;
};
