#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#undef signals

#include "platform/DesktopLaunch.h"

#include <QFile>
#include <QFileInfo>

namespace DesktopLaunch {

bool isDesktopEntry(const QString &path) {
    const QFileInfo info(path);
    return path.endsWith(QLatin1String(".desktop")) && info.isFile();
}

std::optional<QString> launch(const QString &path) {
    if (!isDesktopEntry(path)) return QStringLiteral("not a desktop entry");
    // Desktop entries are small; a huge one is no entry to trust.
    if (QFileInfo(path).size() > (qint64(1) << 20)) return QStringLiteral("not a desktop entry");
    GDesktopAppInfo *app = g_desktop_app_info_new_from_filename(QFile::encodeName(path).constData());
    if (!app) return QStringLiteral("not a desktop entry");
    GError *error = nullptr;
    const bool ok = g_app_info_launch(G_APP_INFO(app), nullptr, nullptr, &error);
    g_object_unref(app);
    if (ok) return std::nullopt;
    QString text = error ? QString::fromUtf8(error->message) : QStringLiteral("launch failed");
    if (error) g_error_free(error);
    return text;
}

} // namespace DesktopLaunch
