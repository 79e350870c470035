#include "ui/window/pane/PlacesMenu.h"

#include "core/app/ItemCommands.h"
#include "core/app/SidebarModel.h"
#include "core/localisation/Lang.h"
#include "core/localisation/SystemNames.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneModel.h"
#include "platform/Posix.h"
#include "platform/Volumes.h"
#include "ui/app/Commands.h"
#include "ui/style/Symbols.h"

#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QStandardPaths>
#include <algorithm>

QList<PlacesMenu::Place> PlacesMenu::places(const QString &home, const QStringList &volumeMountPoints) {
    QList<Place> out;
    auto has = [&](const QString &path) {
        return std::any_of(out.cbegin(), out.cend(), [&](const Place &p) { return p.path == path; });
    };
    for (const SidebarItem &i :
         SidebarModel::fixedFavorites(home, SidebarModel::standardFolders(home, false)))
        out.append({i.name, i.symbol, i.path});
    out.append({localName(QStringLiteral("/")), QStringLiteral("internaldrive"), QStringLiteral("/")});
    for (const QString &mountPoint : volumeMountPoints) {
        const QString path = FileLoader::norm(mountPoint);
        const QString name = localName(path);
        if (path == u"/" || SidebarModel::isSystemVolumeName(name) || has(path)) continue;
        out.append({name, QStringLiteral("externaldrive"), path});
    }
    const QString pcloud = home + QStringLiteral("/pCloud Drive");
    if (QFileInfo::exists(pcloud) && !has(pcloud))
        out.append({QStringLiteral("pCloud Drive"), QStringLiteral("externaldrive"), pcloud});
    return out;
}

QList<PlacesMenu::Place> PlacesMenu::places() const {
    QStringList mounts;
    for (const Volume &v : m_volumes ? m_volumes() : Volumes::userVolumes())
        // A mount point whose name is not UTF-8 has no path a pane can go to: its shown text is another one.
        if (Posix::decode(v.pathBytes())) mounts << v.mountPoint;
    return places(FileLoader::norm(QDir::homePath()), mounts);
}

PlacesMenu::PlacesMenu(PaneModel *model, ItemCommands &items, VolumeList volumes, QWidget *parent)
    : QToolButton(parent), m_model(model), m_items(&items), m_volumes(std::move(volumes)) {
    setObjectName(QStringLiteral("placesMenu"));
    setIcon(Symbols::icon(QStringLiteral("sidebar.left")));
    setIconSize(QSize(14, 14));
    setFixedSize(26, 24);
    setAutoRaise(true);
    setFocusPolicy(Qt::NoFocus);
    setPopupMode(QToolButton::InstantPopup);
    setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0; }"));
    setToolTip(L("Orte: Benutzerordner, Laufwerke, Programme …"));
    setAccessibleName(toolTip());
    setMenu(new QMenu(this));
    connect(menu(), &QMenu::aboutToShow, this, &PlacesMenu::fill);
}

void PlacesMenu::fill() {
    QMenu *m = menu();
    m->clear();
    QAction *goTo =
        m->addAction(Symbols::icon(QStringLiteral("arrow.right.to.line")), L("Gehe zu Ordner …  (⇧⌘G)"));
    goTo->setObjectName(QStringLiteral("goToFolder"));
    connect(goTo, &QAction::triggered, this, [this] {
        if (m_items && m_model) m_items->goToFolder(m_model);
    });
    m->addSeparator();
    for (const Place &place : places()) {
        QString text = place.name;
        QAction *a = m->addAction(Symbols::icon(place.symbol), text.replace(u'&', QStringLiteral("&&")));
        a->setObjectName(place.path);
        connect(a, &QAction::triggered, this, [this, path = place.path] {
            if (m_model) m_model->go(path, true, {});
        });
    }
}
