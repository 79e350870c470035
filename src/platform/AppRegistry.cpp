#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#undef signals

#include "platform/AppRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace AppRegistry {

namespace {

// A desktop entry is a few kilobytes; anything far larger is not one.
constexpr qint64 kMaxEntryBytes = 1024 * 1024;

QString homeData() {
    const QString home = qEnvironmentVariable("XDG_DATA_HOME");
    return home.isEmpty() ? QDir::homePath() + QStringLiteral("/.local/share") : home;
}

// Where flatpak keeps what its exported entries link to.
QStringList flatpakRoots() {
    return {QDir::cleanPath(homeData() + QStringLiteral("/flatpak")), QStringLiteral("/var/lib/flatpak")};
}

bool isBelow(const QString &path, const QString &folder) {
    return path.startsWith(folder.endsWith(u'/') ? folder : folder + u'/');
}

QString fileOf(GAppInfo *app) {
    if (!app || !G_IS_DESKTOP_APP_INFO(app)) return {};
    const char *file = g_desktop_app_info_get_filename(G_DESKTOP_APP_INFO(app));
    return file ? QFile::decodeName(file) : QString();
}

QStringList filesOf(GList *apps) {
    QStringList files;
    for (GList *l = apps; l; l = l->next) {
        const QString file = fileOf(G_APP_INFO(l->data));
        if (!file.isEmpty() && !files.contains(file) && isApplicationEntry(file)) files << file;
    }
    g_list_free_full(apps, g_object_unref);
    return files;
}

QString takeError(GError *error) {
    if (!error) return {};
    QString text = QString::fromUtf8(error->message);
    g_error_free(error);
    return text;
}

// The entry as GIO reads it, only for a file inside the application folders.
GAppInfo *load(const QString &desktopFile) {
    if (!isApplicationEntry(desktopFile)) return nullptr;
    GDesktopAppInfo *info = g_desktop_app_info_new_from_filename(QFile::encodeName(desktopFile).constData());
    return info ? G_APP_INFO(info) : nullptr;
}

} // namespace

QStringList applicationFolders() {
    QStringList folders{QDir::cleanPath(homeData() + QStringLiteral("/applications"))};
    QString dirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dirs.isEmpty()) dirs = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString &dir : dirs.split(u':', Qt::SkipEmptyParts))
        folders << QDir::cleanPath(dir + QStringLiteral("/applications"));
    for (const QString &root : flatpakRoots())
        folders << root + QStringLiteral("/exports/share/applications");
    folders.removeDuplicates();
    return folders;
}

bool isApplicationEntry(const QString &path) {
    if (!path.startsWith(u'/') || !path.endsWith(QLatin1String(".desktop"))) return false;
    const QFileInfo info(path);
    if (!info.isFile()) return false;
    const QString clean = QDir::cleanPath(path);
    const QString target = info.canonicalFilePath();
    const QStringList folders = applicationFolders();
    bool listed = false;
    for (const QString &folder : folders)
        listed = listed || isBelow(clean, folder);
    if (!listed) return false;
    // A link in an application folder counts only when its target is in one as well (flatpak's exports
    // link into flatpak's own tree).
    for (QString folder : folders + flatpakRoots()) {
        const QString real = QFileInfo(folder).canonicalFilePath();
        if (!real.isEmpty() && isBelow(target, real)) return true;
    }
    return false;
}

QString contentType(const QString &path, bool sniff) {
    GFile *file = g_file_new_for_path(QFile::encodeName(path).constData());
    const char *attribute =
        sniff ? G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE : G_FILE_ATTRIBUTE_STANDARD_FAST_CONTENT_TYPE;
    QString type;
    if (GFileInfo *info = g_file_query_info(file, attribute, G_FILE_QUERY_INFO_NONE, nullptr, nullptr)) {
        if (const char *value = g_file_info_get_attribute_string(info, attribute))
            type = QString::fromUtf8(value);
        g_object_unref(info);
    }
    g_object_unref(file);
    return type;
}

bool isRunnableType(const QString &contentType) {
    if (contentType.isEmpty()) return false;
    const QByteArray type = contentType.toUtf8();
    static const char *const runnable[] = {"application/x-executable",
                                           "application/x-sharedlib",
                                           "application/x-shellscript",
                                           "application/x-desktop",
                                           "application/x-ms-dos-executable",
                                           "application/x-msdownload",
                                           "application/x-msi",
                                           "application/x-appimage",
                                           "application/x-java-archive",
                                           "application/x-perl",
                                           "text/x-python",
                                           "text/x-python3",
                                           "application/x-ruby",
                                           "application/x-csh",
                                           "application/x-pie-executable",
                                           "application/vnd.microsoft.portable-executable"};
    for (const char *r : runnable)
        if (g_content_type_is_a(type.constData(), r)) return true;
    // Other types the system marks as executable, except plain text, which only might be a script.
    return g_content_type_can_be_executable(type.constData()) &&
           !g_content_type_is_a(type.constData(), "text/plain");
}

bool isA(const QString &contentType, const QString &other) {
    if (contentType.isEmpty() || other.isEmpty()) return false;
    return g_content_type_is_a(contentType.toUtf8().constData(), other.toUtf8().constData());
}

std::optional<Entry> entry(const QString &desktopFile, const QString &language) {
    if (!isApplicationEntry(desktopFile) || QFileInfo(desktopFile).size() > kMaxEntryBytes)
        return std::nullopt;
    GKeyFile *keys = g_key_file_new();
    std::optional<Entry> result;
    const char *group = G_KEY_FILE_DESKTOP_GROUP;
    if (g_key_file_load_from_file(keys, QFile::encodeName(desktopFile).constData(), G_KEY_FILE_NONE,
                                  nullptr)) {
        gchar *type = g_key_file_get_string(keys, group, G_KEY_FILE_DESKTOP_KEY_TYPE, nullptr);
        const bool app = type && qstrcmp(type, G_KEY_FILE_DESKTOP_TYPE_APPLICATION) == 0;
        g_free(type);
        const bool hidden = g_key_file_get_boolean(keys, group, G_KEY_FILE_DESKTOP_KEY_HIDDEN, nullptr);
        if (app && !hidden) {
            Entry e;
            e.file = desktopFile;
            const QByteArray lang = language.toUtf8();
            if (gchar *name =
                    g_key_file_get_locale_string(keys, group, G_KEY_FILE_DESKTOP_KEY_NAME,
                                                 lang.isEmpty() ? nullptr : lang.constData(), nullptr)) {
                e.name = QString::fromUtf8(name).trimmed();
                g_free(name);
            }
            if (e.name.isEmpty()) e.name = QFileInfo(desktopFile).completeBaseName();
            if (gchar *icon = g_key_file_get_string(keys, group, G_KEY_FILE_DESKTOP_KEY_ICON, nullptr)) {
                e.icon = QString::fromUtf8(icon).trimmed();
                g_free(icon);
            }
            result = e;
        }
    }
    g_key_file_free(keys);
    return result;
}

std::optional<QString> defaultFor(const QString &contentType) {
    if (contentType.isEmpty()) return std::nullopt;
    GAppInfo *app = g_app_info_get_default_for_type(contentType.toUtf8().constData(), FALSE);
    if (!app) return std::nullopt;
    const QString file = fileOf(app);
    g_object_unref(app);
    if (file.isEmpty() || !isApplicationEntry(file)) return std::nullopt;
    return file;
}

QStringList recommendedFor(const QString &contentType) {
    if (contentType.isEmpty()) return {};
    return filesOf(g_app_info_get_recommended_for_type(contentType.toUtf8().constData()));
}

QStringList allFor(const QString &contentType) {
    if (contentType.isEmpty()) return {};
    return filesOf(g_app_info_get_all_for_type(contentType.toUtf8().constData()));
}

LaunchResult launch(const QString &desktopFile, const QStringList &paths) {
    if (!QFileInfo::exists(desktopFile)) return {LaunchError::noSuchApplication, {}};
    GAppInfo *app = load(desktopFile);
    if (!app) return {LaunchError::notAnApplication, {}};
    GList *uris = nullptr;
    for (const QString &path : paths)
        uris = g_list_append(uris,
                             g_strdup(QUrl::fromLocalFile(path).toEncoded(QUrl::FullyEncoded).constData()));
    GError *error = nullptr;
    const bool ok = g_app_info_launch_uris(app, uris, nullptr, &error);
    g_list_free_full(uris, g_free);
    g_object_unref(app);
    if (ok) return {};
    return {LaunchError::failed, takeError(error)};
}

std::optional<QString> setDefaultFor(const QString &desktopFile, const QString &contentType) {
    GAppInfo *app = load(desktopFile);
    if (!app) return QStringLiteral("%1: not an application").arg(desktopFile);
    GError *error = nullptr;
    const bool ok = g_app_info_set_as_default_for_type(app, contentType.toUtf8().constData(), &error);
    g_object_unref(app);
    if (ok) return std::nullopt;
    return takeError(error);
}

} // namespace AppRegistry
