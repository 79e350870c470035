#include "ui/style/EnvironmentValues.h"

#include "core/app/Defaults.h"

#include <QPointer>
#include <QWidget>

static constexpr const char *envProperty = "kestrinEnvironment";

EnvironmentValues::EnvironmentValues(QWidget *root) : QObject(root) {
    root->setProperty(envProperty, QVariant::fromValue(static_cast<QObject *>(this)));
}

EnvironmentValues *EnvironmentValues::install(QWidget *root) {
    if (auto *existing = qobject_cast<EnvironmentValues *>(root->property(envProperty).value<QObject *>()))
        return existing;
    return new EnvironmentValues(root);
}

EnvironmentValues *EnvironmentValues::of(const QWidget *w) {
    for (; w; w = w->parentWidget()) {
        const QVariant v = w->property(envProperty);
        if (v.isValid())
            if (auto *env = qobject_cast<EnvironmentValues *>(v.value<QObject *>())) return env;
    }
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
