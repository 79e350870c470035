// Start-up of the two pane sides, remembering their folders, and the application-wide key monitor.
#include "core/app/AppState.h"

#include "core/base/Background.h"
#include "core/base/Defaults.h"
#include "core/localisation/Lang.h"
#include "core/fileops/ArchiveFormat.h"
#include "core/fileops/FileOps.h"
#include "core/model/PaneHooks.h"
#include "core/model/PaneModel.h"
#include "core/model/TabGroup.h"
#include "platform/Posix.h"

#include <QDir>
#include <QFileInfo>
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
                 const QString first = left.setAside.isEmpty() ? left.parts.first() : left.setAside.first();
                 Alert alert;
                 alert.style = Alert::Style::warning;
                 alert.message = FileOps::leftoversText(left);
                 alert.buttons = {{L("Zeigen"), AlertRole::confirm}, {L("OK"), AlertRole::cancel}};
                 app->dialogs().ask(alert, [app = QPointer<AppState>(app), first](AlertAnswer answer) {
                     if (!app || answer.role != AlertRole::confirm || !existsAnything(first)) return;
                     app->setShowHidden(true); // its name is a hidden one
                     app->activePane()->go(Posix::parentOf(first), true, {first});
                 });
             });
}

} // namespace

void AppState::buildSides() {
    const QString home = QDir::homePath();
    const bool startAtHome = Defaults::stringValue(QStringLiteral("startFolder")) == QStringLiteral("home");
    auto startFolder = [&](const char *key) {
        if (startAtHome) return home;
        const auto stored = Defaults::stringValue(QString::fromLatin1(key));
        return stored && existsAnything(*stored) ? *stored : home;
    };
    m_leftTabs = new TabGroup(Side::left, startFolder("lastPath.left"), this);
    m_rightTabs = new TabGroup(Side::right, startFolder("lastPath.right"), this);

    m_hooks = new PaneHooks(this);
    m_hooks->setActive = [this](Side side) { setActive(side); };
    m_hooks->transfer = [this](const QStringList &paths, const QString &to, bool move) {
        transfer(paths, to, move);
    };
    m_hooks->extract = [this](const QStringList &paths) { extract(paths); };
    m_hooks->show = [this](const QString &text, bool error) { show(text, error); };
    m_hooks->prefersExtraction = [](const QString &path) { return Archive::prefersKestrinExtraction(path); };
    m_hooks->openFile = [this](const QString &path) { openWithApplication(path); };
    m_hooks->modifiers = [this] { return keyboardModifiers ? keyboardModifiers() : Qt::KeyboardModifiers(); };
    m_leftTabs->setApp(m_hooks);
    m_rightTabs->setApp(m_hooks);

    // More than five toolbar applications: the rest become star favourites.
    if (m_toolbarApps.size() > 5) {
        const QStringList extra = m_toolbarApps.mid(5);
        setToolbarApps(m_toolbarApps.mid(0, 5));
        QStringList favorites = m_quickFavorites;
        for (const QString &app : extra)
            if (!favorites.contains(app)) favorites << app;
        setQuickFavorites(favorites);
    }

    for (TabGroup *group : {m_leftTabs, m_rightTabs}) {
        connect(group, &TabGroup::changed, this, &AppState::changed);
        // One turn later, so the new folder is in place when it is remembered.
        connect(group, &TabGroup::changed, this,
                [this] { QMetaObject::invokeMethod(this, &AppState::saveLastPaths, Qt::QueuedConnection); });
    }
    settleLeftovers(this);
}

PaneModel *AppState::left() const {
    return m_leftTabs->current();
}
PaneModel *AppState::right() const {
    return m_rightTabs->current();
}
PaneModel *AppState::activePane() const {
    return tabs(m_active)->current();
}

void AppState::saveLastPaths() {
    const std::pair<const char *, PaneModel *> sides[] = {{"lastPath.left", left()},
                                                          {"lastPath.right", right()}};
    for (const auto &[key, pane] : sides) {
        const QString path = pane->currentPath();
        if (Defaults::stringValue(QString::fromLatin1(key)) != path)
            Defaults::setValue(QString::fromLatin1(key), path);
    }
}

bool AppState::keyDown(const KeyPress &press) {
    const Qt::KeyboardModifiers mods =
        press.modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    // Ctrl+Shift+period shows or hides hidden files, whatever has the focus; layouts put the period's
    // shifted character on different keys.
    const bool period =
        press.key == Qt::Key_Period || press.key == Qt::Key_Greater || press.key == Qt::Key_Colon;
    if (period && mods == (Qt::ControlModifier | Qt::ShiftModifier)) {
        if (!press.modalOpen) setShowHidden(!m_showHidden);
        return true;
    }
    // File clipboard: Ctrl+C, Ctrl+X and Ctrl+V act on the panes unless a text field has the focus; while a
    // modal question is up they do nothing here.
    if (mods == Qt::ControlModifier &&
        (press.key == Qt::Key_C || press.key == Qt::Key_X || press.key == Qt::Key_V)) {
        if (press.modalOpen) return false;
        if (!press.textHasFocus) {
            if (press.key == Qt::Key_V) {
                paste(activePane()->targetFolder());
                return true;
            }
            const QStringList paths = activePane()->selectedPaths();
            if (paths.isEmpty()) return false;
            if (press.key == Qt::Key_C)
                copyToClipboard(paths);
            else
                cutToClipboard(paths);
            return true;
        }
    }
    if (press.modalOpen) return false;
    return handleKey(press);
}
