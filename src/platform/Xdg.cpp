#include <gio/gio.h>

#include "platform/Xdg.h"

#include "platform/Posix.h"

#include <QDir>

namespace Xdg {
namespace {

QString base(const char *variable, QLatin1String belowHome) {
    const QString set = qEnvironmentVariable(variable);
    if (set.startsWith(u'/')) return set;
    QString home = QDir::homePath();
    if (home.endsWith(u'/')) home.chop(1);
    return home + belowHome;
}

} // namespace

QString configHome() {
    return base("XDG_CONFIG_HOME", QLatin1String("/.config"));
}

QString dataHome() {
    return base("XDG_DATA_HOME", QLatin1String("/.local/share"));
}

QString stateHome() {
    return base("XDG_STATE_HOME", QLatin1String("/.local/state"));
}

QString cacheHome() {
    return base("XDG_CACHE_HOME", QLatin1String("/.cache"));
}

QByteArray fileUri(const QString &path) {
    const auto bytes = Posix::encode(path);
    if (!bytes || !bytes->startsWith('/')) return {};
    gchar *uri = g_filename_to_uri(bytes->constData(), nullptr, nullptr);
    const QByteArray out(uri);
    g_free(uri);
    return out;
}

} // namespace Xdg
