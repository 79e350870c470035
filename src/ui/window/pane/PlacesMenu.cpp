#include "ui/window/pane/PlacesMenu.h"

#include "core/app/ItemCommands.h"
#include "core/localisation/Lang.h"
#include "core/localisation/SystemNames.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneModel.h"
#include "platform/Volumes.h"
#include "ui/app/Commands.h"
#include "ui/style/Symbols.h"

#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QStandardPaths>
#include <algorithm>

namespace {

bool exists(const QString &path) {
    return !path.isEmpty() && QFileInfo::exists(path);
}

bool isSystemVolumeName(const QString &name) {
    static const QStringList names = {"Recovery", "Preboot",    "VM",      "Update",
                                      "xarts",    "iSCPreboot", "Hardware"};
    return names.contains(name) || name.startsWith(u"com.apple");
}

} // namespace

QList<PlacesMenu::Place> PlacesMenu::places(const QString &home, const QStringList &volumeMountPoints) {
    QList<Place> out;
    auto has = [&](const QString &path) {
        return std::any_of(out.cbegin(), out.cend(), [&](const Place &p) { return p.path == path; });
    };
    out.append({localName(home), QStringLiteral("house"), home});
    const QString icloud = home + QStringLiteral("/Library/Mobile Documents/com~apple~CloudDocs");
    if (exists(icloud)) out.append({QStringLiteral("iCloud Drive"), QStringLiteral("icloud"), icloud});
    const QString cloudStorage = home + QStringLiteral("/Library/CloudStorage");
    QStringList clouds =
        QDir(cloudStorage).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    std::sort(clouds.begin(), clouds.end());
    for (const QString &name : clouds) {
        if (name.startsWith(u'.')) continue;
        const QString path = cloudStorage + u'/' + name;
        out.append({localName(path), QStringLiteral("cloud"), path});
    }
    const QString dropbox = home + QStringLiteral("/Dropbox");
    if (std::none_of(out.cbegin(), out.cend(), [](const Place &p) { return p.name == u"Dropbox"; }) &&
        exists(dropbox))
        out.append({QStringLiteral("Dropbox"), QStringLiteral("cloud"), dropbox});
    // The desktop's own folders where the user keeps them, named in the interface language.
    const std::pair<const char *, const char *> standard[] = {
        {"Desktop", "menubar.dock.rectangle"}, {"Documents", "doc"}, {"Downloads", "arrow.down.circle"}};
    for (const auto &[key, symbol] : standard) {
        const auto dir = SystemNames::userDir(QString::fromUtf8(key));
        if (!dir) continue;
        const QString path = FileLoader::norm(*dir);
        if (path != home && exists(path) && !has(path))
            out.append({localName(path), QString::fromUtf8(symbol), path});
    }
    if (exists(QStringLiteral("/Applications")))
        out.append({L("Programme"), QStringLiteral("square.grid.2x2"), QStringLiteral("/Applications")});
    out.append({localName(QStringLiteral("/")), QStringLiteral("internaldrive"), QStringLiteral("/")});
    for (const QString &mountPoint : volumeMountPoints) {
        const QString path = FileLoader::norm(mountPoint);
        const QString name = localName(path);
        if (path == u"/" || isSystemVolumeName(name) || has(path)) continue;
        out.append({name, QStringLiteral("externaldrive"), path});
    }
    const QString pcloud = home + QStringLiteral("/pCloud Drive");
    if (exists(pcloud) && !has(pcloud))
        out.append({QStringLiteral("pCloud Drive"), QStringLiteral("externaldrive"), pcloud});
    return out;
}

QList<PlacesMenu::Place> PlacesMenu::places() const {
    QStringList mounts;
    for (const Volume &v : m_volumes ? m_volumes() : Volumes::userVolumes())
        mounts << v.mountPoint;
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
