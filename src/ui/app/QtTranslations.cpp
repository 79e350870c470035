#include "ui/app/QtTranslations.h"

#include "core/app/Settings.h"
#include "core/localisation/Lang.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

namespace QtTranslations {
namespace {

QPointer<QTranslator> g_translator;

void load() {
    if (g_translator) {
        QCoreApplication::removeTranslator(g_translator);
        delete g_translator;
    }
    const QString lang = AppLanguages::rawValue(Lang::current());
    auto *t = new QTranslator(QCoreApplication::instance());
    // qt_<lang> bundles qtbase and the other modules where the system has it; qtbase_<lang> alone otherwise.
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (t->load(QStringLiteral("qt_") + lang, dir) || t->load(QStringLiteral("qtbase_") + lang, dir)) {
        QCoreApplication::installTranslator(t);
        g_translator = t;
    } else {
        delete t;
    }
}

} // namespace

void follow(Settings *settings) {
    load();
    if (!settings) return;
    QObject::connect(settings, &Settings::changed, QCoreApplication::instance(), [](Settings::Key key) {
        if (key == Settings::Key::language) load();
    });
}

bool loaded() {
    return g_translator != nullptr;
}

} // namespace QtTranslations
