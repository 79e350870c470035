// Start-up of the two pane sides and the application-wide key monitor.
#include "core/app/AppState.h"

#include "core/base/Background.h"
#include "core/base/Defaults.h"
#include "core/localisation/Lang.h"
#include "core/fileops/ArchiveFormat.h"
#include "core/fileops/FileOps.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneHooks.h"
#include "core/model/PaneModel.h"
#include "core/model/TabGroup.h"
#include "platform/Posix.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <QtConcurrent>
#include <sys/stat.h>

namespace {

bool existsAnything(const QString &path) {
    struct stat st {};
    return !path.isEmpty() && Posix::lstatPath(path, st);
}

// What interrupted transfers left is settled off the main thread; what stayed is told once, with a
// way to show it.
void settleLeftovers(AppState *app) {
    whenDone(app, QtConcurrent::run([] { return FileOps::recoverTransfers(); }),
             [app](const FileOps::Leftovers &left) {
                 if (left.isEmpty()) return;
                 const QString first = left.first();
                 Alert alert;
                 alert.style = Alert::Style::warning;
                 alert.message = FileOps::leftoversText(left);
                 alert.buttons = {{L("Zeigen"), AlertRole::confirm}, {L("OK"), AlertRole::cancel}};
                 app->services().dialogs.ask(
                     alert, [app = QPointer<AppState>(app), first](AlertAnswer answer) {
                         if (!app || answer.role != AlertRole::confirm || !existsAnything(first)) return;
                         app->settings().setShowHidden(true); // its name is a hidden one
                         app->activePane()->go(Posix::parentOf(first), true, {first});
                     });
             });
}

// The home folder as "~", as a user types it.
QString shortened(const QString &path) {
    const QString home = FileLoader::norm(QDir::homePath());
    if (path == home) return QStringLiteral("~");
    if (home != u"/" && path.startsWith(home + u'/')) return u'~' + path.mid(home.size());
    return path;
}

} // namespace

void AppState::openGiven(const QString &given, const QString &workingDir) {
    const QUrl url = QUrl::fromUserInput(given, workingDir, QUrl::AssumeLocalFile);
    const QString path = url.isLocalFile() ? FileLoader::norm(url.toLocalFile()) : given;
    struct stat st {};
    if (url.isLocalFile() && Posix::statPath(path, st)) {
        if (S_ISDIR(st.st_mode))
            activePane()->go(path);
        else
            activePane()->go(Posix::parentOf(path), true, {path});
        return;
    }
    show(LF("Der Ordner „%@“ wurde nicht gefunden.", shortened(path)), true);
}

void AppState::buildSides() {
    m_hooks = new PaneHooks(this);
    m_hooks->setActive = [this](Side side) { m_sides.setActive(side); };
    m_hooks->transfer = [this](const QStringList &paths, const QString &to, bool move) {
        m_transfers.transfer(paths, to, move);
    };
    m_hooks->trash = [this](const QStringList &paths) { m_trash.trashDropped(paths); };
    m_hooks->extract = [this](const QStringList &paths) { m_fileActions.extract(paths); };
    m_hooks->show = [this](const QString &text, bool error) { show(text, error); };
    m_hooks->canExtract = [](const QString &name) { return Archive::canExtract(name); };
    m_hooks->prefersExtraction = [](const QString &path) { return Archive::prefersKestrinExtraction(path); };
    m_hooks->openFile = [this](const QString &path) { m_items.openWithApplication(path); };
    m_hooks->modifiers = [this] {
        return m_services.keyboardModifiers ? m_services.keyboardModifiers() : Qt::KeyboardModifiers();
    };
    m_sides.setHooks(m_hooks);

    // More than five toolbar applications: the rest become star favourites, stored at once.
    const QStringList apps = m_settings.toolbarApps();
    if (apps.size() > 5) {
        m_settings.setToolbarApps(apps.mid(0, 5));
        QStringList favorites = m_settings.quickFavorites();
        for (const QString &app : apps.mid(5))
            if (!favorites.contains(app)) favorites << app;
        m_settings.setQuickFavorites(favorites);
        m_settings.save();
    }
    settleLeftovers(this);
}
