#include "core/app/Sides.h"

#include "core/base/Defaults.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneModel.h"
#include "core/model/TabGroup.h"
#include "platform/Posix.h"

#include <QDir>
#include <cerrno>
#include <sys/stat.h>

namespace {

bool existsAnything(const QString &path) {
    struct stat st {};
    return !path.isEmpty() && Posix::lstatPath(path, st);
}

} // namespace

Sides::Sides(QObject *parent) : QObject(parent) {
    const QString home = QDir::homePath();
    const bool startAtHome = Defaults::stringValue(QStringLiteral("startFolder")) == QStringLiteral("home");
    auto startFolder = [&](const char *key) {
        if (startAtHome) return home;
        const auto stored = Defaults::stringValue(QString::fromLatin1(key));
        return stored && existsAnything(*stored) ? *stored : home;
    };
    m_left = new TabGroup(Side::left, startFolder("lastPath.left"), this);
    m_right = new TabGroup(Side::right, startFolder("lastPath.right"), this);
    for (TabGroup *group : {m_left, m_right}) {
        const Side side = group == m_left ? Side::left : Side::right;
        m_current[int(side)] = group->current();
        auto follow = [this, side, group] {
            if (m_current[int(side)] == group->current()) return;
            m_current[int(side)] = group->current();
            emit currentPaneChanged(side);
            if (side == m_active) emit activePaneChanged();
        };
        connect(group, &TabGroup::indexChanged, this, follow);
        connect(group, &TabGroup::tabsChanged, this, follow);
        // One turn later, so the new folder is in place when it is remembered.
        connect(group, &TabGroup::changed, this,
                [this] { QMetaObject::invokeMethod(this, &Sides::saveLastPaths, Qt::QueuedConnection); });
    }
}

ShownItem Sides::shown(const QString &path) const {
    const Side other = m_active == Side::left ? Side::right : Side::left;
    for (const Side side : {m_active, other})
        if (const PaneModel *p = pane(side))
            if (ShownItem item = p->shown(path); item.item.known() || item.folder.known()) return item;
    return ShownItem{path, {}, {}};
}

PaneModel *Sides::left() const {
    return m_left->current();
}
PaneModel *Sides::right() const {
    return m_right->current();
}
PaneModel *Sides::pane(Side side) const {
    return tabs(side)->current();
}

void Sides::setActive(Side value) {
    const bool other = value != m_active;
    m_active = value;
    emit activeChanged();
    if (other) emit activePaneChanged();
}

void Sides::setHooks(PaneHooks *hooks) {
    m_left->setApp(hooks);
    m_right->setApp(hooks);
}

void Sides::refreshAll() {
    for (TabGroup *group : {m_left, m_right})
        for (PaneModel *pane : group->tabs())
            pane->refresh();
}

void Sides::followMove(const QString &from, const QString &to) {
    if (FileLoader::isInTrash(to)) return;
    for (TabGroup *group : {m_left, m_right})
        for (PaneModel *pane : group->tabs())
            pane->followMove(from, to);
}

bool Sides::forgetGone(const QString &path) {
    if (struct stat st{}; Posix::lstatPath(path, st) || errno != ENOENT) return false;
    for (TabGroup *group : {m_left, m_right})
        for (PaneModel *pane : group->tabs())
            if (pane->visibleRow(path) >= 0) pane->forgetGone(path);
    return true;
}

void Sides::saveLastPaths() {
    const std::pair<const char *, PaneModel *> sides[] = {{"lastPath.left", left()},
                                                          {"lastPath.right", right()}};
    for (const auto &[key, pane] : sides) {
        const QString path = pane->currentPath();
        if (Defaults::stringValue(QString::fromLatin1(key)) != path)
            Defaults::setValue(QString::fromLatin1(key), path);
    }
}
