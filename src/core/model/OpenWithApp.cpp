#include "core/model/OpenWithApp.h"

#include "core/localisation/AppLanguage.h"
#include "core/localisation/Lang.h"
#include "core/model/MimeKinds.h"
#include "core/model/XattrPlist.h"
#include "platform/AppRegistry.h"

#include <QCollator>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

std::optional<OpenWithApp> OpenWithApp::of(const QString &desktopFile) {
    const auto entry = AppRegistry::entry(desktopFile, AppLanguages::rawValue(Lang::current()));
    if (!entry) return std::nullopt;
    OpenWithApp app;
    app.path = entry->file;
    app.name = entry->name;
    app.icon = entry->icon;
    return app;
}

QList<OpenWithApp> OpenWithApp::arrange(QList<OpenWithApp> apps, int limit) {
    QSet<QString> seen;
    QList<OpenWithApp> unique;
    for (const OpenWithApp &app : apps)
        if (!seen.contains(app.path)) {
            seen.insert(app.path);
            unique << app;
        }
    // Names as file names are ordered: natural, without case ("Tool 2" before "Tool 10").
    QCollator collator(AppLanguages::locale(Lang::current()));
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    auto rank = [](const OpenWithApp &a) { return a.isDefault ? 0 : a.recommended ? 1 : 2; };
    std::stable_sort(unique.begin(), unique.end(), [&](const OpenWithApp &a, const OpenWithApp &b) {
        if (rank(a) != rank(b)) return rank(a) < rank(b);
        return collator.compare(a.name, b.name) < 0;
    });
    if (unique.size() > limit) unique.resize(std::max(0, limit));
    return unique;
}

QList<OpenWithApp> OpenWithApp::list(const QString &path, int limit) {
    const QString type = AppRegistry::contentType(path, true);
    if (type.isEmpty()) return {};
    const std::optional<QString> fallback = AppRegistry::defaultFor(type);
    const QStringList recommended = AppRegistry::recommendedFor(type);
    QList<OpenWithApp> apps;
    for (const QString &file : AppRegistry::allFor(type)) {
        const auto entry = AppRegistry::entry(file, AppLanguages::rawValue(Lang::current()));
        // Entries that ask not to be shown (helpers, settings pages) are not offered.
        if (!entry || entry->noDisplay) continue;
        OpenWithApp app{entry->file, entry->name, entry->icon};
        app.isDefault = fallback && *fallback == file;
        app.recommended = recommended.contains(file);
        apps << app;
    }
    return arrange(std::move(apps), limit);
}

namespace OpenWith {

const char *notAnAppText() {
    return K("Das ist keine App. Ziehe ein Programm (Endung .desktop) hierher.");
}

std::optional<QString> launch(const QString &desktopFile, const QStringList &paths) {
    const AppRegistry::LaunchResult result = AppRegistry::launch(desktopFile, paths);
    const std::optional<OpenWithApp> app = OpenWithApp::of(desktopFile);
    const QString name = app ? app->name : QFileInfo(desktopFile).completeBaseName();
    switch (result.error) {
    case AppRegistry::LaunchError::none:
        return std::nullopt;
    case AppRegistry::LaunchError::noSuchApplication:
        return LF("%@ wurde nicht gefunden.", name);
    case AppRegistry::LaunchError::notAnApplication:
        return L(notAnAppText());
    case AppRegistry::LaunchError::programMissing:
        return LF("Das Programm von „%@“ ist nicht installiert.", name);
    case AppRegistry::LaunchError::failed:
        break;
    }
    return LF("%@: %@", name, result.detail.isEmpty() ? L("unbekannter Fehler") : result.detail);
}

Opened openDocument(const QString &path) {
    const QString type = AppRegistry::contentType(path, true);
    if (MimeKinds::isExecutableType(type)) {
        // Its own handler would run it. A script or launcher file is text: the text editor shows it. A
        // binary has nothing to show.
        if (!AppRegistry::isA(type, QStringLiteral("text/plain"))) return Opened::program;
        const auto editor = AppRegistry::defaultFor(QStringLiteral("text/plain"));
        if (!editor) return Opened::noApplication;
        return AppRegistry::launch(*editor, {path}).error == AppRegistry::LaunchError::none
                   ? Opened::opened
                   : Opened::noApplication;
    }
    // The choice for this one file counts only when it names a real application entry.
    if (const auto chosen = FileOps::openWithOverride(path);
        chosen && AppRegistry::isApplicationEntry(*chosen))
        if (AppRegistry::launch(*chosen, {path}).error == AppRegistry::LaunchError::none)
            return Opened::opened;
    const auto app = AppRegistry::defaultFor(type);
    if (!app) return Opened::noApplication;
    return AppRegistry::launch(*app, {path}).error == AppRegistry::LaunchError::none ? Opened::opened
                                                                                     : Opened::noApplication;
}

} // namespace OpenWith
