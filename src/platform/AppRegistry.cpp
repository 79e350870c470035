#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#undef signals

#include "platform/AppRegistry.h"

#include "platform/Posix.h"
#include "platform/Xdg.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

namespace AppRegistry {

namespace {

// A desktop entry is a few kilobytes; anything far larger is not one.
constexpr qint64 kMaxEntryBytes = 1024 * 1024;

QString homeData() {
    return Xdg::dataHome();
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

// The entry as GIO reads it, only for an application entry.
GAppInfo *load(const QString &desktopFile) {
    if (!isApplicationEntry(desktopFile)) return nullptr;
    GDesktopAppInfo *info = g_desktop_app_info_new_from_filename(QFile::encodeName(desktopFile).constData());
    return info ? G_APP_INFO(info) : nullptr;
}

// The file an entry's path stands for when that path lies in an application folder and, after its links
// are resolved, still does (flatpak's exports link into flatpak's own tree). Asks the file system only
// for paths that pass by their text.
std::optional<QString> placed(const QString &path) {
    if (!path.startsWith(u'/') || !path.endsWith(QLatin1String(".desktop"))) return std::nullopt;
    const QString clean = QDir::cleanPath(path);
    const QStringList folders = applicationFolders();
    if (std::none_of(folders.cbegin(), folders.cend(), [&](const QString &f) { return isBelow(clean, f); }))
        return std::nullopt;
    const QString target = QFileInfo(path).canonicalFilePath();
    if (target.isEmpty()) return std::nullopt;
    for (const QString &folder : folders + flatpakRoots()) {
        const QString real = QFileInfo(folder).canonicalFilePath();
        if (!real.isEmpty() && isBelow(target, real)) return target;
    }
    return std::nullopt;
}

// A regular file of at most an entry's size, read without waiting on a FIFO or device put in its place.
std::optional<QByteArray> readBounded(const QString &path) {
    const std::optional<QByteArray> name = Posix::encode(path);
    if (!name) return std::nullopt;
    const int fd = Posix::retry(
        [&] { return ::open(name->constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW); });
    if (fd < 0) return std::nullopt;
    struct stat st {};
    std::optional<QByteArray> out;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxEntryBytes) {
        // Room for what fstat said and one byte more; a file that grows meanwhile gets the whole bound.
        QByteArray bytes(qsizetype(st.st_size) + 1, Qt::Uninitialized);
        qsizetype got = 0;
        for (;;) {
            if (got == bytes.size()) {
                if (got > kMaxEntryBytes) break;
                bytes.resize(qsizetype(kMaxEntryBytes) + 1);
            }
            const ssize_t n =
                Posix::retry([&] { return ::read(fd, bytes.data() + got, size_t(bytes.size() - got)); });
            if (n <= 0) {
                if (n == 0) out = bytes.left(got);
                break;
            }
            got += n;
        }
    }
    ::close(fd);
    return out;
}

// The facts of an entry in an application folder; nothing for any other path.
std::optional<EntryFacts> placedFacts(const QString &path, const QString &language) {
    const std::optional<QString> target = placed(path);
    if (!target) return std::nullopt;
    const std::optional<QByteArray> bytes = readBounded(*target);
    if (!bytes) return std::nullopt;
    return readEntry(*bytes, language);
}

bool isLaunchable(const EntryFacts &facts) {
    return facts.type == QLatin1String(G_KEY_FILE_DESKTOP_TYPE_APPLICATION) && !facts.hidden;
}

bool installed(const QString &program) {
    if (program.isEmpty()) return true;
    gchar *found = g_find_program_in_path(QFile::encodeName(program).constData());
    const bool there = found != nullptr;
    g_free(found);
    return there;
}

// Whether the program an entry names (TryExec, else the first word of Exec) is missing.
bool programMissing(const EntryFacts &facts) {
    if (!installed(facts.tryExec)) return true;
    gchar **argv = nullptr;
    if (!g_shell_parse_argv(facts.exec.toUtf8().constData(), nullptr, &argv, nullptr)) return false;
    const bool missing = argv && argv[0] && !installed(QString::fromUtf8(argv[0]));
    g_strfreev(argv);
    return missing;
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
    const std::optional<EntryFacts> facts = placedFacts(path, {});
    return facts && isLaunchable(*facts);
}

std::optional<EntryFacts> readEntry(const QByteArray &bytes, const QString &language) {
    if (bytes.size() > kMaxEntryBytes) return std::nullopt;
    GKeyFile *keys = g_key_file_new();
    std::optional<EntryFacts> result;
    const char *group = G_KEY_FILE_DESKTOP_GROUP;
    // Translations kept: the interface language need not be the system's.
    if (g_key_file_load_from_data(keys, bytes.constData(), gsize(bytes.size()), G_KEY_FILE_KEEP_TRANSLATIONS,
                                  nullptr) &&
        g_key_file_has_group(keys, group)) {
        const auto text = [&](const char *key) {
            gchar *value = g_key_file_get_string(keys, group, key, nullptr);
            QString out = value ? QString::fromUtf8(value).trimmed() : QString();
            g_free(value);
            return out;
        };
        EntryFacts f;
        f.type = text(G_KEY_FILE_DESKTOP_KEY_TYPE);
        const QByteArray lang = language.toUtf8();
        if (gchar *name =
                g_key_file_get_locale_string(keys, group, G_KEY_FILE_DESKTOP_KEY_NAME,
                                             lang.isEmpty() ? nullptr : lang.constData(), nullptr)) {
            f.name = QString::fromUtf8(name).trimmed();
            g_free(name);
        }
        f.icon = text(G_KEY_FILE_DESKTOP_KEY_ICON);
        f.exec = text(G_KEY_FILE_DESKTOP_KEY_EXEC);
        f.tryExec = text(G_KEY_FILE_DESKTOP_KEY_TRY_EXEC);
        f.hidden = g_key_file_get_boolean(keys, group, G_KEY_FILE_DESKTOP_KEY_HIDDEN, nullptr);
        f.noDisplay = g_key_file_get_boolean(keys, group, G_KEY_FILE_DESKTOP_KEY_NO_DISPLAY, nullptr);
        result = f;
    }
    g_key_file_free(keys);
    return result;
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

bool isA(const QString &contentType, const QString &other) {
    if (contentType.isEmpty() || other.isEmpty()) return false;
    return g_content_type_is_a(contentType.toUtf8().constData(), other.toUtf8().constData());
}

std::optional<Entry> entry(const QString &desktopFile, const QString &language) {
    const std::optional<EntryFacts> facts = placedFacts(desktopFile, language);
    if (!facts || !isLaunchable(*facts)) return std::nullopt;
    Entry e;
    e.file = desktopFile;
    e.name = facts->name.isEmpty() ? QFileInfo(desktopFile).completeBaseName() : facts->name;
    e.icon = facts->icon;
    e.noDisplay = facts->noDisplay;
    return e;
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
    const std::optional<EntryFacts> facts = placedFacts(desktopFile, {});
    if (!facts || !isLaunchable(*facts)) return {LaunchError::notAnApplication, {}};
    GDesktopAppInfo *info = g_desktop_app_info_new_from_filename(QFile::encodeName(desktopFile).constData());
    // GIO refuses an entry whose program isn't installed; that is worth saying apart.
    if (!info)
        return {programMissing(*facts) ? LaunchError::programMissing : LaunchError::notAnApplication, {}};
    GAppInfo *app = G_APP_INFO(info);
    GList *uris = nullptr;
    for (const QString &path : paths)
        uris = g_list_append(uris,
                             g_strdup(QUrl::fromLocalFile(path).toEncoded(QUrl::FullyEncoded).constData()));
    GError *error = nullptr;
    const bool ok = g_app_info_launch_uris(app, uris, nullptr, &error);
    g_list_free_full(uris, g_free);
    g_object_unref(app);
    if (ok) return {};
    const QString detail = takeError(error);
    if (programMissing(*facts)) return {LaunchError::programMissing, {}};
    return {LaunchError::failed, detail};
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
