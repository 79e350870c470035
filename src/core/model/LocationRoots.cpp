#include "core/model/LocationRoots.h"

#include "core/localisation/SystemNames.h"
#include "platform/Posix.h"
#include "platform/Volumes.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace LocationRoots {

namespace {

QStringList sortedNames(const QString &folder) {
    QDir dir(folder);
    if (!dir.exists()) return {};
    QStringList names =
        dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    std::sort(names.begin(), names.end());
    return names;
}

bool isPrefixOf(const QString &base, const QString &path) {
    if (base == u"/") return path.startsWith(u'/');
    return Posix::isAtOrBelow(path, base);
}

} // namespace

QList<Crumb> roots() {
    QList<Crumb> out;
    const QString home = QDir::homePath();
    const QString cloud = home + QStringLiteral("/Library/CloudStorage");
    for (const QString &name : sortedNames(cloud))
        if (!name.startsWith(u'.')) out << Crumb{cloud + u'/' + name, localName(cloud + u'/' + name)};
    const QString pcloud = home + QStringLiteral("/pCloud Drive");
    if (QFileInfo::exists(pcloud)) out << Crumb{pcloud, QStringLiteral("pCloud Drive")};
    const QString homes = Posix::parentOf(home);
    out << Crumb{homes, localName(homes)};
    for (const QString &name : sortedNames(QStringLiteral("/Volumes"))) {
        const QString p = QStringLiteral("/Volumes/") + name;
        if (QFileInfo(p).canonicalFilePath() == u"/") continue;
        out << Crumb{p, name};
    }
    // Removable and user-mounted volumes, named after their mount folder.
    for (const Volume &v : Volumes::mounted())
        if (v.userMount && v.mountPoint != u"/") {
            const QString name = v.mountPoint.section(u'/', -1);
            out << Crumb{v.mountPoint, name.isEmpty() ? v.mountPoint : name};
        }
    return out;
}

std::optional<QList<Crumb>> crumbs(const QString &path) {
    for (const Crumb &r : roots()) {
        if (!isPrefixOf(r.first, path)) continue;
        return QList<Crumb>{r} + ICloud::subTrail(path, r.first == u"/" ? QString() : r.first);
    }
    return std::nullopt;
}

} // namespace LocationRoots
