#include "core/app/Favorites.h"

#include "core/app/AppState.h"
#include "core/localisation/FileFmt.h"
#include "core/localisation/Lang.h"
#include "core/localisation/SystemNames.h"
#include "core/model/PaneModel.h"
#include "platform/AppRegistry.h"
#include "platform/Posix.h"

#include <QFileInfo>
#include <algorithm>
#include <sys/stat.h>

namespace {

// Anything at the path, a link that points nowhere excluded (as the desktop's own existence test).
bool exists(const QString &path) {
    return !path.isEmpty() && QFileInfo::exists(path);
}

} // namespace

Favorites::Favorites(AppState &app, QObject *parent) : QObject(parent), m_app(app) {
    connect(&m_app.settings(), &Settings::changed, this, [this](Settings::Key key) {
        if (key == Settings::Key::quickFavorites) emit changed();
    });
}

QStringList Favorites::list() const {
    return m_app.settings().quickFavorites();
}

void Favorites::setList(const QStringList &paths) {
    m_app.settings().setQuickFavorites(paths);
}

int Favorites::addFavorites(const QStringList &paths, std::optional<int> at) {
    QStringList favorites = list();
    qsizetype position = at ? std::max(0, *at) : favorites.size();
    int added = 0;
    if (paths.isEmpty()) return 0;
    for (const QString &path : paths) {
        if (!exists(path)) continue;
        if (favorites.contains(path)) {
            m_app.show(LF("„%@“ ist schon in den Favoriten.", localName(path)));
            continue;
        }
        favorites.insert(std::min(position, favorites.size()), path);
        setList(favorites);
        ++position;
        ++added;
    }
    if (added >= 1) m_app.show(LF("%@ zu den Favoriten hinzugefügt.", FileFmt::count(added)));
    return added;
}

void Favorites::addFavoritesDialog() {
    FilesQuestion q;
    q.title = L("Ordner, Dateien oder Programme für die Favoriten wählen");
    q.message = L("Wähle den Ordner, die Datei oder das Programm. Oben rechts im Fenster kannst du suchen.");
    q.prompt = L("Hinzufügen");
    q.directory = m_app.activePane()->currentPath();
    QPointer<Favorites> self(this);
    m_app.services().dialogs.files(q, [self](const std::optional<QStringList> &paths) {
        if (self && paths) self->addFavorites(*paths);
    });
}

void Favorites::removeFavorite(const QString &path) {
    QStringList favorites = list();
    favorites.removeAll(path);
    setList(favorites);
}

void Favorites::moveFavorite(const QString &path, int index) {
    QStringList favorites = list();
    const qsizetype from = favorites.indexOf(path);
    if (from < 0) return;
    favorites.removeAt(from);
    favorites.insert(std::clamp<qsizetype>(index, 0, favorites.size()), path);
    setList(favorites);
}

void Favorites::toggle(const QStringList &paths) {
    const QStringList favorites = list();
    if (!paths.isEmpty() &&
        std::all_of(paths.cbegin(), paths.cend(), [&](const QString &p) { return favorites.contains(p); })) {
        QStringList rest = favorites;
        for (const QString &p : paths)
            rest.removeAll(p);
        setList(rest);
        return;
    }
    addFavorites(paths);
}

QString Favorites::favoriteTarget() const {
    return m_app.activePane()->targetFolder();
}

bool Favorites::favoriteTargetIsSelection() const {
    return m_app.activePane()->targetFolder() != m_app.activePane()->currentPath();
}

void Favorites::toggleFavoriteCurrent() {
    const QString target = favoriteTarget();
    const QString name = localName(target);
    if (contains(target)) {
        removeFavorite(target);
        m_app.show(LF("„%@“ aus den Favoriten entfernt.", name));
        return;
    }
    setList(list() << target);
    m_app.show(LF("„%@“ ist jetzt in den Favoriten.", name));
}

void Favorites::openFavorite(const QString &path) {
    if (!exists(path)) {
        m_app.show(LF("„%@“ gibt es nicht mehr. Entferne den Eintrag über „Favoriten bearbeiten …“.",
                      Posix::lastComponent(path)),
                   true);
        return;
    }
    if (PaneModel::isBrowsableFolder(path)) {
        m_app.activePane()->go(path, true, {});
        return;
    }
    // Only an entry of the application folders starts a program; any other .desktop file (a download, say)
    // is a document, which a double click shows as text.
    if (AppRegistry::isApplicationEntry(path) && m_app.services().desktop.launchEntry) {
        if (const std::optional<QString> error = m_app.services().desktop.launchEntry(path))
            m_app.show(*error, true);
        return;
    }
    m_app.items().openWithApplication(path);
}
