#include "core/localisation/SystemNames.h"

#include "core/localisation/Lang.h"

#include <QDir>
#include <QHash>
#include <QStandardPaths>
#include <atomic>
#include <mutex>

namespace SystemNames {
namespace {

struct Names {
    const char *key, *de, *en, *pl, *th;
};

// The folder-name tables of the four languages (the stand-in for the system's own tables).
const Names kNames[] = {
    {"Applications", "Programme", "Applications", "Aplikacje", "แอปพลิเคชัน"},
    {"Utilities", "Dienstprogramme", "Utilities", "Narzędzia", "ยูทิลิตี้"},
    {"Library", "Library", "Library", "Biblioteka", "คลัง"},
    {"System", "System", "System", "System", "ระบบ"},
    {"Users", "Benutzer", "Users", "Użytkownicy", "ผู้ใช้"},
    {"Shared", "Für alle Benutzer", "Shared", "Wspólne", "แชร์"},
    {"Desktop", "Schreibtisch", "Desktop", "Biurko", "เดสก์ท็อป"},
    {"Documents", "Dokumente", "Documents", "Dokumenty", "เอกสาร"},
    {"Downloads", "Downloads", "Downloads", "Pobrane", "ดาวน์โหลด"},
    {"Movies", "Filme", "Movies", "Filmy", "ภาพยนตร์"},
    {"Music", "Musik", "Music", "Muzyka", "เพลง"},
    {"Pictures", "Bilder", "Pictures", "Obrazy", "รูปภาพ"},
    {"Public", "Öffentlich", "Public", "Publiczny", "สาธารณะ"},
    {"Sites", "Websites", "Sites", "Witryny", "ไซต์"},
    {"Videos", "Videos", "Videos", "Wideo", "วิดีโอ"},
    {"Templates", "Vorlagen", "Templates", "Szablony", "แม่แบบ"},
};

std::mutex g_keysMutex;
std::atomic<const QHash<QString, QString> *> g_keys{nullptr};

std::mutex g_cacheMutex;
QHash<AppLanguage, QHash<QString, QString>> g_cache;

QString trimmed(QString path) {
    while (path.size() >= 2 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

const QHash<QString, QString> *buildKeys() {
    auto *keys = new QHash<QString, QString>();
    const char *fixed[][2] = {{"/Applications", "Applications"},
                              {"/Applications/Utilities", "Utilities"},
                              {"/Library", "Library"},
                              {"/System", "System"},
                              {"/Users", "Users"},
                              {"/Users/Shared", "Shared"}};
    for (auto &f : fixed)
        keys->insert(QString::fromUtf8(f[0]), QString::fromUtf8(f[1]));
    const QString home = trimmed(QDir::homePath());
    for (const char *k :
         {"Desktop", "Documents", "Downloads", "Movies", "Music", "Pictures", "Public", "Library", "Sites"})
        keys->insert(home + u'/' + QString::fromUtf8(k), QString::fromUtf8(k));
    // The XDG user folders wherever the user put them; one that is the home folder itself is not named.
    const std::pair<QStandardPaths::StandardLocation, const char *> xdg[] = {
        {QStandardPaths::DesktopLocation, "Desktop"},    {QStandardPaths::DocumentsLocation, "Documents"},
        {QStandardPaths::DownloadLocation, "Downloads"}, {QStandardPaths::MusicLocation, "Music"},
        {QStandardPaths::PicturesLocation, "Pictures"},  {QStandardPaths::MoviesLocation, "Videos"},
        {QStandardPaths::PublicShareLocation, "Public"}, {QStandardPaths::TemplatesLocation, "Templates"}};
    for (const auto &[loc, key] : xdg) {
        const QString p = trimmed(QStandardPaths::writableLocation(loc));
        if (!p.isEmpty() && p != home) keys->insert(p, QString::fromUtf8(key));
    }
    return keys;
}

// Built once; the lock is taken only while the table does not exist yet.
const QHash<QString, QString> *keys() {
    if (auto *k = g_keys.load(std::memory_order_acquire)) return k;
    std::lock_guard lock(g_keysMutex);
    if (!g_keys.load()) g_keys.store(buildKeys(), std::memory_order_release);
    return g_keys.load();
}

QHash<QString, QString> tableFor(AppLanguage lang) {
    QHash<QString, QString> table;
    for (const Names &n : kNames) {
        const char *v = lang == AppLanguage::de   ? n.de
                        : lang == AppLanguage::en ? n.en
                        : lang == AppLanguage::pl ? n.pl
                                                  : n.th;
        table.insert(QString::fromUtf8(n.key), QString::fromUtf8(v));
    }
    return table;
}

} // namespace

std::optional<QString> folderKey(const QString &path) {
    const auto *k = keys();
    const auto it = k->constFind(trimmed(path));
    if (it == k->constEnd()) return std::nullopt;
    return *it;
}

std::optional<QString> name(const QString &path) {
    const auto key = folderKey(path);
    if (!key) return std::nullopt;
    const AppLanguage lang = Lang::current();
    QHash<QString, QString> table;
    {
        std::lock_guard lock(g_cacheMutex);
        auto it = g_cache.find(lang);
        if (it == g_cache.end()) it = g_cache.insert(lang, tableFor(lang));
        table = *it;
    }
    const auto it = table.constFind(*key);
    if (it == table.constEnd()) return std::nullopt;
    return *it;
}

void resetForTests() {
    // The old table is left alive: another thread may still read it.
    std::lock_guard lock(g_keysMutex);
    g_keys.store(nullptr);
}

} // namespace SystemNames

QString localName(const QString &path) {
    if (auto n = SystemNames::name(path)) return *n;
    QString p = path;
    while (p.size() >= 2 && p.endsWith(u'/'))
        p.chop(1);
    if (p == u"/") return p;
    return p.mid(p.lastIndexOf(u'/') + 1);
}
