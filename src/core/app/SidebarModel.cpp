#include "core/app/SidebarModel.h"

#include "core/app/Settings.h"
#include "core/localisation/FileFmt.h"
#include "core/localisation/Lang.h"
#include "core/localisation/SystemNames.h"
#include "core/model/FileLoader.h"
#include "core/base/OpenQuestions.h"
#include "platform/MountWatch.h"
#include "platform/Posix.h"
#include "platform/Volumes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QStandardPaths>
#include <QHash>
#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

// What the builds of one model ask the file system that may hang: the volumes' free space by path, whether
// the user's favourites exist.
struct SidebarQuestions {
    OpenQuestions<QByteArray, std::optional<qint64>> free;
    OpenQuestions<QString, bool> exists;
};

namespace {

// Builds at once; each waits a bounded time for the volumes, so none stays for long.
constexpr int kMaxInFlight = 3;

// A build may end after the application object has gone; its lists are then posted nowhere.
std::mutex g_postMutex;
bool g_appGone = false;

void watchAppEnd() {
    static std::once_flag once;
    std::call_once(once, [] {
        qAddPostRoutine([] {
            std::lock_guard lock(g_postMutex);
            g_appGone = true;
        });
    });
}

bool exists(const QString &path) {
    return !path.isEmpty() && QFileInfo::exists(path);
}

SidebarItem entry(const QString &path, const QString &name, const QString &symbol, const QString &detail = {},
                  bool removable = false, bool ejectable = false) {
    SidebarItem i;
    i.path = path;
    i.name = name;
    i.symbol = symbol;
    i.detail = detail;
    i.removable = removable;
    i.ejectable = ejectable;
    return i;
}

// The free space of each path, each asked in a thread of its own; what has not answered by the deadline has
// none, and never holds up the others.
QList<std::optional<qint64>> askFreeSpace(const QList<QByteArray> &paths,
                                          const SidebarModel::Sources &sources,
                                          const std::shared_ptr<SidebarQuestions> &shared) {
    if (!sources.freeBytes) return QList<std::optional<qint64>>(paths.size());
    const auto asks = shared ? shared : std::make_shared<SidebarQuestions>();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(sources.answerMs);
    const QList<std::optional<std::optional<qint64>>> answers =
        asks->free.askAll(paths, sources.freeBytes, deadline);
    QList<std::optional<qint64>> out;
    for (const auto &a : answers)
        out.append(a ? *a : std::nullopt);
    return out;
}

bool listed(const QList<SidebarItem> &items, const QString &path) {
    return std::any_of(items.cbegin(), items.cend(), [&](const SidebarItem &i) { return i.path == path; });
}

} // namespace

bool SidebarModel::isSystemVolumeName(const QString &name) {
    static const QStringList names = {"Recovery", "Preboot",    "VM",      "Update",
                                      "xarts",    "iSCPreboot", "Hardware"};
    return names.contains(name) || name.startsWith(u"com.apple");
}

QList<SidebarItem> SidebarModel::standardFolders(const QString &home, bool media) {
    const std::pair<const char *, const char *> standard[] = {{"Desktop", "menubar.dock.rectangle"},
                                                              {"Documents", "doc"},
                                                              {"Downloads", "arrow.down.circle"},
                                                              {"Applications", "square.grid.2x2"},
                                                              {"Pictures", "photo"},
                                                              {"Videos", "film"},
                                                              {"Music", "music.note"}};
    QList<SidebarItem> out;
    for (const auto &[key, symbol] : standard) {
        if (!media && qstrcmp(key, "Pictures") == 0) break;
        const auto path = qstrcmp(key, "Applications") == 0
                              ? std::optional<QString>(QStringLiteral("/Applications"))
                              : SystemNames::userDir(QString::fromUtf8(key));
        if (!path || path->isEmpty() || FileLoader::norm(*path) == home) continue;
        out.append(entry(FileLoader::norm(*path), localName(*path), QString::fromUtf8(symbol)));
    }
    return out;
}

QList<SidebarItem> SidebarModel::fixedFavorites(const QString &home, const QList<SidebarItem> &standard) {
    QList<SidebarItem> fav;
    fav.append(entry(home, localName(home), QStringLiteral("house")));
    const QString icloud = home + QStringLiteral("/Library/Mobile Documents/com~apple~CloudDocs");
    if (exists(icloud)) fav.append(entry(icloud, QStringLiteral("iCloud Drive"), QStringLiteral("icloud")));
    const QString cloudStorage = home + QStringLiteral("/Library/CloudStorage");
    QStringList clouds =
        QDir(cloudStorage).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    std::sort(clouds.begin(), clouds.end());
    for (const QString &name : clouds) {
        if (name.startsWith(u'.')) continue;
        const QString path = cloudStorage + u'/' + name;
        fav.append(entry(path, localName(path), QStringLiteral("cloud")));
    }
    // The home Dropbox gives way to a cloud folder of that name.
    const QString dropbox = home + QStringLiteral("/Dropbox");
    if (std::none_of(fav.cbegin(), fav.cend(), [](const SidebarItem &i) { return i.name == u"Dropbox"; }) &&
        exists(dropbox))
        fav.append(entry(dropbox, QStringLiteral("Dropbox"), QStringLiteral("cloud")));
    for (const SidebarItem &s : standard)
        if (exists(s.path) && !listed(fav, s.path)) fav.append(s);
    return fav;
}

SidebarModel::Sources SidebarModel::systemSources() {
    Sources s;
    s.volumes = [] { return Volumes::userVolumes(); };
    s.freeBytes = &Volumes::freeBytes;
    return s;
}

SidebarModel::SidebarModel(Settings &settings, Sources sources, QObject *parent)
    : QObject(parent), m_settings(settings), m_sources(std::move(sources)) {
    m_userFavorites = m_settings.userFavorites();
    const QStringList hidden = m_settings.hiddenFavorites();
    m_hiddenFavorites = QSet<QString>(hidden.cbegin(), hidden.cend());
    m_asks = std::make_shared<SidebarQuestions>();
    watchAppEnd();
    m_settle.setSingleShot(true);
    connect(&m_settle, &QTimer::timeout, this, &SidebarModel::rebuild);
    if (m_sources.watchMounts) {
        m_mounts = new MountWatch(this);
        connect(m_mounts, &MountWatch::mountsChanged, this, [this] { m_settle.start(m_sources.settleMs); });
    }
    rebuild();
}

SidebarModel::~SidebarModel() = default;

SidebarModel::Inputs SidebarModel::inputs() const {
    Inputs in;
    in.home = FileLoader::norm(m_sources.home.isEmpty() ? QDir::homePath() : m_sources.home);
    in.trash = FileLoader::mainTrash();
    in.userFavorites = m_userFavorites;
    in.hidden = m_hiddenFavorites;
    in.sources = m_sources;
    in.asks = m_asks;
    in.standard = standardFolders(FileLoader::norm(QDir::homePath()), true);
    return in;
}

namespace {

// The root file system, the volumes the user mounted by the mount table's own paths (no look at a volume
// here: a dead one would hang the build) with their free space, then the pCloud Drive folder.
QList<SidebarItem> listDevices(const SidebarModel::Inputs &in) {
    QList<SidebarItem> out{
        entry(QStringLiteral("/"), localName(QStringLiteral("/")), QStringLiteral("internaldrive"))};
    QList<QByteArray> asked{QByteArrayLiteral("/")};
    const std::vector<Volume> volumes = in.sources.volumes ? in.sources.volumes() : std::vector<Volume>();
    for (const Volume &v : volumes) {
        const QByteArray bytes = v.pathBytes();
        const bool text = Posix::decode(bytes).has_value();
        const QString path = text ? FileLoader::norm(v.mountPoint) : v.mountPoint;
        const QString name = text ? localName(path) : Posix::shown(bytes.mid(bytes.lastIndexOf('/') + 1));
        if (path == u"/" || SidebarModel::isSystemVolumeName(name) || listed(out, path)) continue;
        SidebarItem item = entry(path, name, QStringLiteral("externaldrive"), {}, false, true);
        if (!text) item.pathBytes = bytes;
        out.append(item);
        asked.append(bytes);
    }
    const QList<std::optional<qint64>> free = askFreeSpace(asked, in.sources, in.asks);
    for (qsizetype i = 0; i < free.size(); ++i)
        if (free[i] && *free[i] >= 1) out[i].detail = FileFmt::size(*free[i]);
    const QString pcloud = in.home + QStringLiteral("/pCloud Drive");
    if (exists(pcloud) && !listed(out, pcloud))
        out.append(
            entry(pcloud, QStringLiteral("pCloud Drive"), QStringLiteral("externaldrive"), {}, false, true));
    return out;
}

// The fixed favourites but those hidden, then the user's own. On a volume that does not answer a favourite
// is listed as it is; one that is gone stays stored and shows again once it exists.
QList<SidebarItem> listFavorites(const SidebarModel::Inputs &in) {
    QList<SidebarItem> fav = SidebarModel::fixedFavorites(in.home, in.standard);
    fav.erase(
        std::remove_if(fav.begin(), fav.end(),
                       [&](const SidebarItem &i) { return in.hidden.contains(FileLoader::norm(i.path)); }),
        fav.end());
    const auto asks = in.asks ? in.asks : std::make_shared<SidebarQuestions>();
    const QList<std::optional<bool>> present = asks->exists.askAll(
        in.userFavorites, [](const QString &path) { return exists(path); },
        std::chrono::steady_clock::now() + std::chrono::milliseconds(in.sources.answerMs));
    for (qsizetype k = 0; k < in.userFavorites.size(); ++k) {
        const QString &path = in.userFavorites[k];
        if (present[k].value_or(true) && !listed(fav, path))
            fav.append(entry(path, localName(path), QStringLiteral("folder"), {}, true, false));
    }
    return fav;
}

} // namespace

SidebarModel::Lists SidebarModel::build(const Inputs &in) {
    Lists out;
    out.devices = listDevices(in);
    out.favorites = listFavorites(in);
    out.places.append(entry(in.trash, QStringLiteral("Papierkorb"), QStringLiteral("trash")));
    out.places.last().nameIsKey = true;
    return out;
}

void SidebarModel::rebuild() {
    m_wanted = true;
    if (m_inFlight >= kMaxInFlight) return; // the next finished build starts it
    startBuild();
}

void SidebarModel::startBuild() {
    m_wanted = false;
    ++m_inFlight;
    const quint64 generation = ++m_generation;
    QPointer<SidebarModel> self(this);
    // A plain thread, never waited for: one stuck on a dead mount must not hold up quitting.
    std::thread([in = inputs(), generation, self] {
        Lists lists = build(in);
        std::lock_guard lock(g_postMutex);
        if (QCoreApplication *app = QCoreApplication::instance(); app && !g_appGone)
            QMetaObject::invokeMethod(
                app,
                [self, generation, lists = std::move(lists)] {
                    if (self) self->apply(generation, lists);
                },
                Qt::QueuedConnection);
    }).detach();
}

void SidebarModel::apply(quint64 generation, const Lists &lists) {
    --m_inFlight;
    const bool newer = generation > m_applied;
    if (newer) m_applied = generation;
    const bool differs = newer && (lists.devices != m_lists.devices || lists.favorites != m_lists.favorites ||
                                   lists.places != m_lists.places);
    if (differs) m_lists = lists;
    if (m_wanted && m_inFlight < kMaxInFlight) startBuild();
    if (differs) emit changed();
}

bool SidebarModel::isFavorite(const QString &path) const {
    const QString p = FileLoader::norm(path);
    return std::any_of(m_lists.favorites.cbegin(), m_lists.favorites.cend(),
                       [&](const SidebarItem &i) { return FileLoader::norm(i.path) == p; });
}

bool SidebarModel::toggleFavorite(const QString &path) {
    const QString p = FileLoader::norm(path);
    bool shown;
    if (m_userFavorites.contains(p)) {
        m_userFavorites.removeAll(p);
        shown = false;
    } else if (isFavorite(p)) {
        m_hiddenFavorites.insert(p);
        shown = false;
    } else if (m_hiddenFavorites.contains(p)) {
        m_hiddenFavorites.remove(p);
        shown = true;
    } else {
        m_userFavorites.append(p);
        shown = true;
    }
    m_settings.setUserFavorites(m_userFavorites);
    QStringList hidden(m_hiddenFavorites.cbegin(), m_hiddenFavorites.cend());
    hidden.sort();
    m_settings.setHiddenFavorites(hidden);
    rebuild();
    return shown;
}
