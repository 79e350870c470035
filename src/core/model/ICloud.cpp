#include "core/model/ICloud.h"

#include "core/localisation/SystemNames.h"
#include "core/model/FileLoader.h"
#include "platform/DirReader.h"
#include "platform/Posix.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <algorithm>

namespace ICloud {

namespace {

bool isDir(const QString &path) {
    DirReader::Stat st;
    return DirReader::statOf(path, true, st) && st.isDir();
}

bool exists(const QString &path) {
    DirReader::Stat st;
    return DirReader::statOf(path, true, st);
}

bool isSymlink(const QString &path) {
    DirReader::Stat st;
    return DirReader::statOf(path, false, st) && st.isLink();
}

std::optional<QDateTime> modified(const QString &path) {
    DirReader::Stat st;
    if (!DirReader::statOf(path, true, st) || !st.hasMtime) return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(st.mtimeMs(), Qt::UTC);
}

FileItem folderRecord(const QString &path, const QString &name, const std::optional<QString> &iconPath) {
    FileItem f;
    f.setPath(path);
    f.name = name;
    f.isDirectory = true;
    f.size = 0;
    f.modified = modified(path);
    f.kind = QStringLiteral("Ordner");
    f.setIconPath(iconPath);
    return f;
}

} // namespace

const QString &containers() {
    static const QString p = QDir::homePath() + QStringLiteral("/Library/Mobile Documents");
    return p;
}

const QString &root() {
    static const QString p = containers() + QStringLiteral("/com~apple~CloudDocs");
    return p;
}

QList<AppLibrary> appLibraries() {
    QDir dir(containers());
    if (!dir.exists()) return {};
    QStringList names =
        dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    std::sort(names.begin(), names.end());
    QList<AppLibrary> out;
    for (const QString &name : names) {
        if (name == u"com~apple~CloudDocs" || name.startsWith(u'.')) continue;
        const QString p = containers() + u'/' + name;
        if (!isDir(p)) continue;
        // Hidden means a leading dot here, which the names above already leave out.
        const QString target =
            exists(p + QStringLiteral("/Documents")) ? p + QStringLiteral("/Documents") : p;
        // No owner lookup by bundle identifier on this system: the container keeps its own name.
        const std::optional<QString> appPath;
        QString display = localName(p);
        if (display.contains(u'~') && appPath) display = localName(*appPath);
        out << AppLibrary{FileLoader::norm(target), display, appPath};
    }
    return out;
}

QList<FileItem> virtualItems(const QList<FileItem> &existing) {
    QSet<QString> taken;
    for (const FileItem &i : existing)
        taken.insert(i.name.toLower());
    QList<FileItem> out;
    const QString home = QDir::homePath();
    for (const char *suffix : {"/Desktop", "/Documents"}) {
        if (!isSymlink(root() + QLatin1String(suffix))) continue;
        const QString path = home + QLatin1String(suffix);
        const QString name = localName(path);
        if (taken.contains(name.toLower())) continue;
        taken.insert(name.toLower());
        out << folderRecord(path, name, std::nullopt);
    }
    for (const AppLibrary &lib : appLibraries()) {
        if (taken.contains(lib.name.toLower())) continue;
        taken.insert(lib.name.toLower());
        out << folderRecord(lib.path, lib.name, lib.appPath);
    }
    return out;
}

QList<Crumb> subTrail(const QString &path, const QString &base) {
    QList<Crumb> out;
    QString running = base;
    for (const QString &piece : path.mid(base.size()).split(u'/', Qt::SkipEmptyParts)) {
        running += u'/' + piece;
        out << Crumb{running, localName(running)};
    }
    return out;
}

std::optional<QList<Crumb>> crumbs(const QString &path) {
    QList<Crumb> trail{Crumb{root(), QStringLiteral("iCloud Drive")}};
    if (Posix::isAtOrBelow(path, root())) return trail + subTrail(path, root());
    if (path.startsWith(containers() + u'/')) {
        for (const AppLibrary &lib : appLibraries()) {
            if (!Posix::isAtOrBelow(path, lib.path)) continue;
            trail << Crumb{lib.path, lib.name};
            return trail + subTrail(path, lib.path);
        }
    }
    return std::nullopt;
}

} // namespace ICloud
