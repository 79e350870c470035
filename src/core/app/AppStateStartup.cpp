// Start-up of the two pane sides and the application-wide key monitor.
#include "core/app/AppState.h"

#include "core/base/Defaults.h"
#include "core/localisation/Lang.h"
#include "core/fileops/ArchiveFormat.h"
#include "core/model/PaneHooks.h"
#include "core/model/PaneModel.h"
#include "core/model/TabGroup.h"
#include "platform/Posix.h"

#include <QDir>
#include <QFileInfo>
#include <sys/stat.h>

void AppState::buildSides() {
    m_hooks = new PaneHooks(this);
    m_hooks->setActive = [this](Side side) { m_sides.setActive(side); };
    m_hooks->transfer = [this](const QStringList &paths, const QString &to, bool move) {
        transfer(paths, to, move);
    };
    m_hooks->extract = [this](const QStringList &paths) { extract(paths); };
    m_hooks->show = [this](const QString &text, bool error) { show(text, error); };
    m_hooks->prefersExtraction = [](const QString &path) { return Archive::prefersKestrinExtraction(path); };
    m_hooks->openFile = [this](const QString &path) { openWithApplication(path); };
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
}

bool AppState::keyDown(const KeyPress &press) {
    // The commands' keys are the registry's (the key monitor triggers them); these are the browser's own.
    if (press.modalOpen) return false;
    return handleKey(press);
}
