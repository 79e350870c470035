#include "ui/app/SceneWindows.h"

#include "core/app/AppState.h"
#include "core/help/ManualChapters.h"
#include "core/localisation/Lang.h"
#include "ui/style/EnvironmentValues.h"

#include <QFile>
#include <QLabel>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {
template <typename W> W *openOne(QPointer<W> &slot, AppState *app) {
    if (!slot) {
        slot = new W(app);
        slot->setAttribute(Qt::WA_DeleteOnClose);
    }
    slot->show();
    slot->raise();
    slot->activateWindow();
    return slot;
}
void clearLayout(QWidget *w) {
    delete w->layout();
    for (QObject *child : w->children())
        if (child->isWidgetType()) delete child;
}
} // namespace

ManualWindow::ManualWindow(AppState *app) : QWidget(nullptr, Qt::Window), m_app(app) {
    setWindowTitle(QStringLiteral("Kestrin-Handbuch"));
    resize(820, 780);
    EnvironmentValues::install(this)->applySettings(app ? &app->settings() : nullptr);
    rebuild();
    if (app)
        connect(&app->settings(), &Settings::changed, this, [this](Settings::Key key) {
            if (key == Settings::Key::language) rebuild();
        });
}

ManualWindow *ManualWindow::open(AppState *app) {
    static QPointer<ManualWindow> one;
    return openOne(one, app);
}

void ManualWindow::rebuild() {
    clearLayout(this);
    auto *layout = new QVBoxLayout(this);
    const QString lang = AppLanguages::rawValue(Lang::current());
    QFile file(ManualChapters::path(Lang::current()));
    if (file.open(QIODevice::ReadOnly)) {
        auto *text = new QTextBrowser(this);
        text->setMarkdown(QString::fromUtf8(file.readAll()));
        layout->addWidget(text);
    } else {
        auto *missing = new QLabel(LF("Handbuch-Datei nicht gefunden (Handbuch/manual.%@.md).", lang), this);
        missing->setTextFormat(Qt::PlainText);
        missing->setAlignment(Qt::AlignCenter);
        layout->addWidget(missing);
    }
}

SettingsWindow::SettingsWindow(AppState *app) : QWidget(nullptr, Qt::Window), m_app(app) {
    resize(640, 480);
    EnvironmentValues::install(this)->applySettings(app ? &app->settings() : nullptr);
    rebuild();
    if (app)
        connect(&app->settings(), &Settings::changed, this, [this](Settings::Key key) {
            if (key == Settings::Key::language) rebuild();
        });
}

SettingsWindow *SettingsWindow::open(AppState *app) {
    static QPointer<SettingsWindow> one;
    return openOne(one, app);
}

void SettingsWindow::rebuild() {
    setWindowTitle(L("Einstellungen"));
    clearLayout(this);
    new QVBoxLayout(this);
}
