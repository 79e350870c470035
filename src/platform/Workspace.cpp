#include <gio/gio.h>
#undef signals

#include "platform/Workspace.h"

#include "platform/Xdg.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <QUrlQuery>

namespace Workspace {

QString desktopId(const QString &desktopFile) {
    if (!desktopFile.endsWith(QLatin1String(".desktop")) || !QFileInfo(desktopFile).isFile()) return {};
    const QString clean = QDir::cleanPath(desktopFile);
    // The folders the desktop searches, as GIO does (not Qt's, which tests redirect).
    const QString home = Xdg::dataHome();
    QString dirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dirs.isEmpty()) dirs = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString &dir : QStringList{home} + dirs.split(u':', Qt::SkipEmptyParts)) {
        const QString root = QDir::cleanPath(dir) + QStringLiteral("/applications/");
        if (clean.startsWith(root)) return clean.mid(root.size()).replace(u'/', u'-');
    }
    return {};
}

namespace {

QString takeError(GError *error, const QString &fallback = {}) {
    if (!error) return fallback;
    QString text = QString::fromUtf8(error->message);
    g_error_free(error);
    return text;
}

} // namespace

std::optional<QString> defaultTextEditor() {
    GAppInfo *app = g_app_info_get_default_for_type("text/plain", FALSE);
    if (!app) return std::nullopt;
    const char *id = g_app_info_get_id(app);
    std::optional<QString> result;
    if (id) result = QString::fromUtf8(id);
    g_object_unref(app);
    return result;
}

std::optional<QString> openWith(const QString &appId, const QStringList &paths) {
    GAppInfo *app = nullptr;
    GList *all = g_app_info_get_all();
    for (GList *l = all; l; l = l->next) {
        const char *id = g_app_info_get_id(G_APP_INFO(l->data));
        if (id && appId == QString::fromUtf8(id)) {
            app = G_APP_INFO(g_object_ref(l->data));
            break;
        }
    }
    g_list_free_full(all, g_object_unref);
    if (!app) return noSuchApplication();
    GList *files = nullptr;
    for (const QString &path : paths)
        files = g_list_append(files, g_file_new_for_path(QFile::encodeName(path).constData()));
    GError *error = nullptr;
    const bool ok = g_app_info_launch(app, files, nullptr, &error);
    g_list_free_full(files, g_object_unref);
    g_object_unref(app);
    if (ok) return std::nullopt;
    return takeError(error, appId);
}

std::optional<QString> showItems(const QStringList &paths) {
    if (paths.isEmpty()) return std::nullopt;
    // Without a session bus GIO would try to launch one.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return QStringLiteral("no session bus");
    GError *error = nullptr;
    GDBusConnection *bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!bus) return takeError(error, QStringLiteral("session bus"));
    GVariantBuilder uris;
    g_variant_builder_init(&uris, G_VARIANT_TYPE("as"));
    for (const QString &path : paths)
        g_variant_builder_add(&uris, "s",
                              QUrl::fromLocalFile(path).toEncoded(QUrl::FullyEncoded).constData());
    // Not auto-started: without a running file manager the call fails at once instead of waiting.
    GVariant *reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1", "org.freedesktop.FileManager1",
        "ShowItems", g_variant_new("(ass)", &uris, ""), nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START, 3000,
        nullptr, &error);
    g_object_unref(bus);
    if (!reply) return takeError(error, QStringLiteral("org.freedesktop.FileManager1"));
    g_variant_unref(reply);
    return std::nullopt;
}

std::optional<QString> composeMail(const QStringList &paths) {
    if (const QString tool = QStandardPaths::findExecutable(QStringLiteral("xdg-email")); !tool.isEmpty()) {
        QStringList args;
        for (const QString &path : paths)
            args << QStringLiteral("--attach") << path;
        if (QProcess::startDetached(tool, args)) return std::nullopt;
    }
    QUrl url(QStringLiteral("mailto:"));
    QUrlQuery query;
    for (const QString &path : paths)
        query.addQueryItem(QStringLiteral("attach"),
                           QString::fromUtf8(QUrl::fromLocalFile(path).toEncoded(QUrl::FullyEncoded)));
    url.setQuery(query);
    GError *error = nullptr;
    if (g_app_info_launch_default_for_uri(url.toEncoded().constData(), nullptr, &error)) return std::nullopt;
    return takeError(error, QStringLiteral("mailto"));
}

} // namespace Workspace
