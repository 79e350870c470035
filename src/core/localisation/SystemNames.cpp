#include "core/localisation/SystemNames.h"

#include "core/localisation/Lang.h"
#include "platform/TrashRoots.h"
#include "platform/Xdg.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <algorithm>
#include <atomic>
#include <mutex>

namespace SystemNames {
namespace {

// The desktop's folder names in user-dirs.dirs and their folder keys.
const std::pair<const char *, const char *> kXdgNames[] = {
    {"DESKTOP", "Desktop"},    {"DOCUMENTS", "Documents"}, {"DOWNLOAD", "Downloads"},
    {"MUSIC", "Music"},        {"PICTURES", "Pictures"},   {"VIDEOS", "Videos"},
    {"PUBLICSHARE", "Public"}, {"TEMPLATES", "Templates"}};

std::mutex g_keysMutex;
std::atomic<const QHash<QString, QString> *> g_keys{nullptr};

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
    // The desktop's user folders wherever the user put them, and the Trash.
    for (const auto &[xdg, key] : kXdgNames) {
        if (const auto p = userDir(QString::fromUtf8(key))) keys->insert(trimmed(*p), QString::fromUtf8(key));
    }
    keys->insert(trimmed(TrashRoots::homeTrash() + QStringLiteral("/files")), QStringLiteral("Trash"));
    return keys;
}

// Built once; the lock is taken only while the table does not exist yet.
const QHash<QString, QString> *keys() {
    if (auto *k = g_keys.load(std::memory_order_acquire)) return k;
    std::lock_guard lock(g_keysMutex);
    if (!g_keys.load()) g_keys.store(buildKeys(), std::memory_order_release);
    return g_keys.load();
}

} // namespace

QHash<QString, QString> parseUserDirs(QByteArrayView text, const QString &home) {
    constexpr qsizetype kMaxBytes = 64 * 1024;
    QHash<QString, QString> out;
    const QByteArrayView all = text.first(std::min(text.size(), kMaxBytes));
    for (QByteArrayView line : QByteArray::fromRawData(all.data(), all.size()).split('\n')) {
        line = line.trimmed();
        if (!line.startsWith("XDG_")) continue;
        const qsizetype eq = line.indexOf('=');
        // "XDG_" and "_DIR" may not overlap ("XDG_DIR=" names nothing).
        if (eq < 8 || !line.first(eq).endsWith("_DIR")) continue;
        const QByteArrayView name = line.sliced(4, eq - 4 - 4);
        const char *key = nullptr;
        for (const auto &[xdg, k] : kXdgNames)
            if (name == xdg) key = k;
        QByteArrayView value = line.sliced(eq + 1);
        if (!key || value.size() < 2 || !value.startsWith('"')) continue;
        // Up to the closing quote; a backslash takes the next byte as it is.
        QByteArray raw;
        bool closed = false;
        for (qsizetype i = 1; i < value.size(); ++i) {
            const char c = value[i];
            if (c == '"') {
                closed = true;
                break;
            }
            if (c == '\\' && i + 1 < value.size()) {
                raw += value[++i];
                continue;
            }
            raw += c;
        }
        if (!closed) continue;
        QString path;
        if (raw.startsWith("$HOME")) {
            const QByteArray rest = raw.mid(5);
            if (!rest.isEmpty() && !rest.startsWith('/')) continue; // "$HOMEX" is no path
            path = home + QString::fromUtf8(rest);
        } else if (raw.startsWith('/')) {
            path = QString::fromUtf8(raw);
        } else {
            continue;
        }
        path = QDir::cleanPath(path);
        // A folder set to the home itself is switched off: an empty path.
        out.insert(QString::fromUtf8(key), path == QDir::cleanPath(home) ? QString() : path);
    }
    return out;
}

std::optional<QString> userDir(const QString &key) {
    const QString home = trimmed(QDir::homePath());
    QFile file(Xdg::configHome() + QStringLiteral("/user-dirs.dirs"));
    if (file.open(QIODevice::ReadOnly)) {
        const QHash<QString, QString> dirs = parseUserDirs(file.read(64 * 1024), home);
        if (const auto it = dirs.constFind(key); it != dirs.constEnd())
            return it->isEmpty() ? std::nullopt : std::optional<QString>(*it);
    }
    return home + u'/' + key;
}

std::optional<QString> folderKey(const QString &path) {
    const auto *k = keys();
    const auto it = k->constFind(trimmed(path));
    if (it == k->constEnd()) return std::nullopt;
    return *it;
}

std::optional<QString> name(const QString &path) {
    // On Linux a user folder's name on disk is already its name in the user's language (the desktop's
    // tools rename them), so it is shown as it is. Only the Trash lives in a folder whose name ("files")
    // is none to show.
    if (folderKey(path) != QStringLiteral("Trash")) return std::nullopt;
    return L("Papierkorb");
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
