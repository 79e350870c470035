#include "ui/style/OwnWindow.h"

#include "core/app/Settings.h"
#include "ui/style/EnvironmentValues.h"
#include "ui/style/AppStyle.h"
#include "ui/style/WheelGuard.h"

#include <QLayout>
#include <cmath>

void OwnWindow::followLooks(QWidget *w, Settings *settings) {
    EnvironmentValues *env = EnvironmentValues::install(w);
    AppStyle::install();
    WheelGuard::install();
    const auto apply = [w, env, settings = QPointer<Settings>(settings)] {
        env->applySettings(settings);
        QFont f = w->font();
        f.setPixelSize(int(std::lround(env->ui().font)));
        w->setFont(f);
    };
    apply();
    if (!settings) return;
    QObject::connect(settings, &Settings::changed, w, [apply](Settings::Key key) {
        if (Settings::changesLook(key)) apply();
    });
}

void OwnWindow::clearLayout(QWidget *w) {
    delete w->layout();
    const QObjectList children = w->children();
    for (QObject *child : children)
        if (child->isWidgetType()) delete child;
}
