#include "ui/style/EnvironmentValues.h"

#include "core/app/Settings.h"

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

static QVariant setting(const Settings *live, Settings::Key key) {
    return live ? live->value(key) : Settings::stored(key);
}

AppTheme EnvironmentValues::themeFromSettings(const Settings *live) {
    return AppTheme::named(setting(live, Settings::Key::themeID).toString());
}

UIScale EnvironmentValues::uiFromSettings(const Settings *live) {
    UIScale ui;
    ui.font = setting(live, Settings::Key::fontSize).toDouble();
    ui.finderFolders = setting(live, Settings::Key::folderIcons).toString() == QLatin1String("finder");
    return ui;
}

void EnvironmentValues::applySettings(const Settings *live) {
    setAppTheme(themeFromSettings(live));
    setUi(uiFromSettings(live));
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
