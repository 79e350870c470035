#include "ui/style/EnvironmentValues.h"

#include "core/base/Defaults.h"

#include <QWidget>

EnvironmentValues::EnvironmentValues(QWidget *root) : QObject(root) {}

// A direct child of its root, so it can never outlive it or be found after it is gone.
static EnvironmentValues *attached(const QWidget *w) {
    return w->findChild<EnvironmentValues *>(QString(), Qt::FindDirectChildrenOnly);
}

EnvironmentValues *EnvironmentValues::install(QWidget *root) {
    if (EnvironmentValues *existing = attached(root)) return existing;
    return new EnvironmentValues(root);
}

EnvironmentValues *EnvironmentValues::of(const QWidget *w) {
    for (; w; w = w->parentWidget())
        if (EnvironmentValues *env = attached(w)) return env;
    return nullptr;
}

AppTheme EnvironmentValues::appTheme(const QWidget *w) {
    const EnvironmentValues *env = of(w);
    return env ? env->m_theme : AppTheme::all().front();
}

UIScale EnvironmentValues::ui(const QWidget *w) {
    const EnvironmentValues *env = of(w);
    return env ? env->m_ui : UIScale();
}

AppTheme EnvironmentValues::themeFromSettings() {
    return AppTheme::named(Defaults::stringValue("theme").value_or("nebula"));
}

UIScale EnvironmentValues::uiFromSettings() {
    UIScale ui;
    const double font = Defaults::doubleValue("fontSize").value_or(0);
    // Out of range gives the default, not the nearer bound.
    ui.font = font >= 10 && font <= 18 ? font : 13;
    ui.finderFolders = Defaults::stringValue("folderIcons").value_or("finder") == QLatin1String("finder");
    return ui;
}

void EnvironmentValues::applySettings() {
    setAppTheme(themeFromSettings());
    setUi(uiFromSettings());
}

void EnvironmentValues::setAppTheme(const AppTheme &theme) {
    if (theme == m_theme) return;
    m_theme = theme;
    emit appThemeChanged();
}

void EnvironmentValues::setUi(const UIScale &ui) {
    if (ui == m_ui) return;
    m_ui = ui;
    emit uiChanged();
}
