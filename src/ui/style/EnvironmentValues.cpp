#include "ui/style/EnvironmentValues.h"

#include "core/base/Defaults.h"

#include <QEvent>
#include <QPointer>
#include <QWidget>

namespace {

// Runs one widget's update for the window's values and its palette.
class Follower : public QObject {
public:
    Follower(QWidget *w, std::function<void()> f) : QObject(w), m_w(w), m_f(std::move(f)) {
        w->installEventFilter(this);
        attach();
        run();
    }

    bool eventFilter(QObject *watched, QEvent *event) override {
        if (watched == m_w) {
            const QEvent::Type t = event->type();
            if (t == QEvent::Show || t == QEvent::ParentChange) {
                if (attach()) run();
            } else if (t == QEvent::PaletteChange) {
                run();
            }
        }
        return false;
    }

private:
    // True when the window's values were found anew.
    bool attach() {
        EnvironmentValues *env = EnvironmentValues::of(m_w);
        if (env == m_env) return false;
        if (m_env) disconnect(m_env, nullptr, this, nullptr);
        m_env = env;
        if (!env) return false;
        connect(env, &EnvironmentValues::uiChanged, this, &Follower::run);
        connect(env, &EnvironmentValues::appThemeChanged, this, &Follower::run);
        return true;
    }
    void run() {
        if (m_running) return; // the update may itself change a palette
        m_running = true;
        m_f();
        m_running = false;
    }

    QWidget *m_w;
    std::function<void()> m_f;
    QPointer<EnvironmentValues> m_env;
    bool m_running = false;
};

} // namespace

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

void EnvironmentValues::follow(QWidget *w, std::function<void()> f) {
    new Follower(w, std::move(f));
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
