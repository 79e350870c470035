#pragma once

#include "ui/style/AppTheme.h"
#include "ui/style/UIScale.h"

#include <QObject>
#include <functional>

class QWidget;

// The theme and size scale of one window. A window root owns one; views find the nearest one
// up their parent chain and fall back to the defaults (first theme, UIScale()) outside any root.
class EnvironmentValues : public QObject {
    Q_OBJECT
public:
    // Attaches a new set of values to root (or returns the one it already has).
    static EnvironmentValues *install(QWidget *root);
    // The nearest values of w or its ancestors; nullptr when none.
    static EnvironmentValues *of(const QWidget *w);
    static AppTheme appTheme(const QWidget *w);
    static UIScale ui(const QWidget *w);

    // Calls f now, whenever w's window changes its theme or scale and whenever w's palette changes (light or
    // dark), so texts and sizes set by hand follow them. A widget built before it has a window finds it
    // when it is first shown.
    static void follow(QWidget *w, std::function<void()> f);

    // The values the settings ask for: "theme", "fontSize" (10 to 18, else 13), "folderIcons".
    static AppTheme themeFromSettings();
    static UIScale uiFromSettings();
    // Sets both values from the settings; a window root calls it at creation and after they change.
    void applySettings();

    const AppTheme &appTheme() const { return m_theme; }
    const UIScale &ui() const { return m_ui; }
    // Setting an equal value emits nothing, so dependants don't redraw.
    void setAppTheme(const AppTheme &theme);
    void setUi(const UIScale &ui);

signals:
    void appThemeChanged();
    void uiChanged();

private:
    explicit EnvironmentValues(QWidget *root);
    AppTheme m_theme = AppTheme::all().front();
    UIScale m_ui;
};
