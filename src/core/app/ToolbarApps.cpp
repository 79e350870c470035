#include "core/app/ToolbarApps.h"

#include "core/app/AppState.h"
#include "core/localisation/FileFmt.h"
#include "core/localisation/Lang.h"
#include "core/model/OpenWithApp.h"
#include "core/model/PaneModel.h"
#include "platform/AppRegistry.h"
#include "platform/Posix.h"

#include <QFileInfo>

namespace {

const char *limitText() {
    return K("Mehr als %@ Apps passen nicht in die Leiste. Entferne zuerst eine über „Leiste anpassen …“.");
}

QString limitMessage() {
    return LF(limitText(), ToolbarApps::maxToolbarApps);
}

// The panels start in the user's own application folder when there is one, else in the system's.
QString startFolder() {
    const QStringList folders = AppRegistry::applicationFolders();
    for (const QString &folder : folders)
        if (QFileInfo(folder).isDir()) return folder;
    return QStringLiteral("/usr/share/applications");
}

} // namespace

QString toolbarAppName(const QString &path) {
    if (const auto app = OpenWithApp::of(path)) return app->name;
    const QString name = Posix::lastComponent(path);
    return name.endsWith(QLatin1String(".desktop")) ? name.chopped(8) : name;
}

ToolbarApps::ToolbarApps(AppState *app) : QObject(app), m_app(app) {
    setObjectName(QStringLiteral("toolbarApps"));
    launcher = [](const QString &appPath, const QStringList &paths) {
        return OpenWith::launch(appPath, paths);
    };
}

ToolbarApps *ToolbarApps::of(AppState *app) {
    if (!app) return nullptr;
    if (auto *existing =
            app->findChild<ToolbarApps *>(QStringLiteral("toolbarApps"), Qt::FindDirectChildrenOnly))
        return existing;
    return new ToolbarApps(app);
}

QStringList ToolbarApps::apps() const {
    return m_app ? m_app->settings().toolbarApps() : QStringList();
}

void ToolbarApps::setApps(const QStringList &apps) {
    if (m_app) m_app->settings().setToolbarApps(apps);
}

void ToolbarApps::addToolbarApp() {
    if (!m_app) return;
    if (full()) {
        m_app->show(limitMessage(), false);
        return;
    }
    if (!choose) return;
    QPointer<ToolbarApps> self(this);
    choose({L("App für die Leiste wählen"), startFolder(), true}, [self](const QStringList &chosen) {
        if (!self || !self->m_app) return;
        QStringList list = self->apps();
        for (const QString &path : chosen) {
            if (list.size() >= maxToolbarApps || list.contains(path)) continue;
            // The panel can wander off to a download: its Exec line could be anything.
            if (!AppRegistry::isApplicationEntry(path)) {
                self->m_app->show(L(OpenWith::notAnAppText()), true);
                continue;
            }
            list << path;
        }
        if (list != self->apps()) self->setApps(list);
    });
}

void ToolbarApps::replaceToolbarApp(const QString &path) {
    if (!m_app || !apps().contains(path) || !choose) return;
    QPointer<ToolbarApps> self(this);
    choose({L("Neue App für diesen Platz wählen"), startFolder(), false},
           [self, path](const QStringList &chosen) {
               if (!self || !self->m_app || chosen.isEmpty()) return;
               const QString app = chosen.first();
               QStringList list = self->apps();
               // The slot is looked up again: the list may have changed while the panel was up.
               const qsizetype slot = list.indexOf(path);
               if (slot < 0) return;
               if (!AppRegistry::isApplicationEntry(app)) {
                   self->m_app->show(L(OpenWith::notAnAppText()), true);
                   return;
               }
               const qsizetype at = list.indexOf(app);
               if (at >= 0 && at != slot) {
                   self->m_app->show(LF("„%@“ ist schon in der Leiste.", toolbarAppName(app)), false);
                   return;
               }
               list[slot] = app;
               self->setApps(list);
           });
}

void ToolbarApps::removeToolbarApp(const QString &path) {
    QStringList list = apps();
    if (list.removeAll(path) > 0) setApps(list);
}

void ToolbarApps::moveToolbarApp(const QString &path, int index) {
    QStringList list = apps();
    const qsizetype from = list.indexOf(path);
    if (from < 0) return;
    list.removeAt(from);
    list.insert(std::clamp<qsizetype>(index, 0, list.size()), path);
    setApps(list);
}

int ToolbarApps::addToolbarApps(const QStringList &paths, std::optional<int> index) {
    if (!m_app) return 0;
    QStringList wanted;
    for (const QString &path : paths)
        if (AppRegistry::isApplicationEntry(path)) wanted << path;
    if (wanted.isEmpty()) {
        m_app->show(L(OpenWith::notAnAppText()), true);
        return 0;
    }
    QStringList list = apps();
    qsizetype at = index ? std::max(0, *index) : list.size();
    int added = 0;
    bool limited = false;
    for (const QString &path : wanted) {
        if (list.contains(path)) {
            m_app->show(LF("„%@“ ist schon in der Leiste.", toolbarAppName(path)), false);
            continue;
        }
        if (list.size() >= maxToolbarApps) {
            limited = true;
            break;
        }
        list.insert(std::min(at, list.size()), path);
        ++at;
        ++added;
    }
    if (added > 0) setApps(list);
    const QString summary = LF("%@ zur Leiste hinzugefügt.", FileFmt::count(added));
    // One toast for both, so the limit is not hidden at once by the summary that follows it.
    if (limited)
        m_app->show(added > 0 ? summary + u' ' + limitMessage() : limitMessage(), true);
    else if (added > 0)
        m_app->show(summary, false);
    return added;
}

void ToolbarApps::launchToolbarApp(const QString &path) {
    if (!m_app) return;
    if (!QFileInfo::exists(path)) {
        m_app->show(LF("„%@“ gibt es nicht mehr. Entferne das Symbol über „Leiste anpassen …“.",
                       Posix::lastComponent(path)),
                    true);
        return;
    }
    openFiles(m_app->activePane()->selectedPaths(), path);
}

void ToolbarApps::openFiles(const QStringList &paths, const QString &app) {
    if (!m_app || !launcher) return;
    if (const auto error = launcher(app, paths)) m_app->show(*error, true);
}
