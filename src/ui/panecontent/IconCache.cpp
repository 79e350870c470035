#include "ui/panecontent/IconCache.h"

#include "core/localisation/SystemNames.h"
#include "core/model/MimeKinds.h"
#include "platform/DisplayFile.h"
#include "platform/Posix.h"
#include "ui/style/DesktopAppIcon.h"
#include "ui/style/FolderTint.h"
#include "ui/style/Symbols.h"

#include <QApplication>
#include <QWidget>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QPainter>
#include <QSet>
#include <QStandardPaths>
#include <QThreadPool>
#include <QTimer>

namespace IconCache {

namespace {

// An icon as the theme names it, with the names to try in order and the bundled picture to fall back to.
struct Source {
    QStringList names;
    QString bundled;
};

struct SizedKey {
    QString key;
    int px;
    int dpr; // device pixel ratio x 100
    bool operator==(const SizedKey &) const = default;
};

size_t qHash(const SizedKey &k, size_t seed = 0) {
    return qHashMulti(seed, k.key, k.px, k.dpr);
}

struct Store {
    QHash<QString, Source> sources;      // icon key -> how to make it
    QHash<QString, QString> byExtension; // lower-case extension -> icon key
    QHash<QString, QString> specialDirs; // folder path -> icon key
    QHash<QString, QIcon> icons;         // icon key (also "tint|…", "appfolder|…") -> icon
    QHash<SizedKey, QPixmap> pixmaps;
    QSet<QString> entriesPending; // desktop entry keys being read
    quint64 generation = 0;       // raised by clear(), so a read from before is dropped
    int made = 0;
};

Store &store() {
    static Store s;
    return s;
}

QString bundledFile(const QString &name) {
    Symbols::registerBundled();
    return QStringLiteral(":/icons/files/") + name + QStringLiteral(".svg");
}

// The bundled picture for a MIME type, by its family.
QString bundledFor(const QMimeType &type) {
    const QString name = type.isValid() ? type.name() : QString();
    const QString generic = type.isValid() ? type.genericIconName() : QString();
    if (name.startsWith(u"image/")) return bundledFile(QStringLiteral("image"));
    if (name.startsWith(u"audio/")) return bundledFile(QStringLiteral("audio"));
    if (name.startsWith(u"video/")) return bundledFile(QStringLiteral("video"));
    if (name == u"application/pdf") return bundledFile(QStringLiteral("pdf"));
    if (generic == u"package-x-generic" || name.contains(u"compressed") || name.contains(u"archive") ||
        name.endsWith(u"zip") || name.endsWith(u"-tar"))
        return bundledFile(QStringLiteral("archive"));
    if (name == u"application/x-desktop" || generic == u"application-x-executable")
        return bundledFile(QStringLiteral("app"));
    if (generic.startsWith(u"x-office") || name.contains(u"opendocument") ||
        name.contains(u"officedocument") || name == u"application/msword" || name == u"application/rtf")
        return bundledFile(QStringLiteral("document"));
    if (name.startsWith(u"text/") || type.inherits(QStringLiteral("text/plain")))
        return bundledFile(QStringLiteral("text"));
    return bundledFile(QStringLiteral("generic"));
}

const QString &folderKey() {
    static const QString k = QStringLiteral("folder");
    return k;
}

void addSource(Store &s, const QString &key, const QStringList &names, const QString &bundled) {
    if (!s.sources.contains(key)) s.sources.insert(key, Source{names, bundled});
}

void ensureFolders(Store &s) {
    if (!s.specialDirs.isEmpty()) return;
    const QString folder = bundledFile(QStringLiteral("folder"));
    addSource(s, folderKey(), {folderKey()}, folder);
    // The user's own folders carry the theme's special folder icons, as the desktop shows them.
    const std::pair<const char *, const char *> special[] = {
        {"", "user-home"},
        {"Desktop", "user-desktop"},
        {"Documents", "folder-documents"},
        {"Downloads", "folder-download"},
        {"Music", "folder-music"},
        {"Pictures", "folder-pictures"},
        {"Videos", "folder-videos"},
    };
    for (const auto &[userFolder, name] : special) {
        const auto dir = *userFolder ? SystemNames::userDir(QString::fromUtf8(userFolder)) : QDir::homePath();
        const QString path = dir ? QDir::cleanPath(*dir) : QString();
        const QString key = QString::fromLatin1(name);
        if (path.isEmpty() || s.specialDirs.contains(path)) continue;
        s.specialDirs.insert(path, key);
        addSource(s, key, {key, folderKey()}, folder);
    }
    // A marker so the table is not built twice when no location resolves.
    s.specialDirs.insert(QString(), folderKey());
}

QString keyForExtension(Store &s, const QString &ext, const QString &name) {
    if (auto it = s.byExtension.constFind(ext); it != s.byExtension.constEnd()) return *it;
    const QMimeType type = MimeKinds::typeForName(name);
    QStringList names;
    if (type.isValid()) {
        names << type.iconName() << type.genericIconName();
        for (const QString &parent : type.parentMimeTypes())
            names << QString(parent).replace(u'/', u'-');
    }
    names << QStringLiteral("text-x-generic");
    names.removeDuplicates();
    names.removeAll(QString());
    const QString key = QStringLiteral("type|") + (type.isValid() ? type.name() : QStringLiteral("unknown"));
    addSource(s, key, names, bundledFor(type));
    s.byExtension.insert(ext, key);
    return key;
}

// What a desktop entry's Icon= gives: a theme name, or the picture of an absolute path read here.
struct EntryIcon {
    QString name;
    QImage image;
};

// Read in a worker from a descriptor checked to be a regular file, and bounded: a FIFO named *.desktop, a
// one-line entry of a gigabyte or an Icon= naming a FIFO never holds the window up.
EntryIcon readEntryIcon(const QString &path) {
    constexpr qint64 kEntryBytes = 64 * 1024;
    EntryIcon out;
    const std::optional<QByteArray> text = Posix::readForDisplay(path, kEntryBytes);
    if (!text) return out;
    bool inEntry = false;
    int lines = 0;
    for (const QByteArray &raw : text->split('\n')) {
        if (++lines > 400) break;
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[')) {
            if (inEntry) break;
            inEntry = line == "[Desktop Entry]";
        } else if (inEntry && line.startsWith("Icon=")) {
            out.name = QString::fromUtf8(line.sliced(5).trimmed());
            break;
        }
    }
    if (!out.name.startsWith(u'/')) return out;
    out.image = iconPicture(out.name, side * 2);
    out.name.clear();
    return out;
}

// Entries are read by a pool of their own that nobody waits for at quit.
QThreadPool &entryReaders() {
    static QThreadPool *pool = [] {
        auto *p = new QThreadPool;
        p->setMaxThreadCount(2);
        return p;
    }();
    return *pool;
}

// Every window draws again once, a little after icons of entries arrived.
void repaintSoon() {
    static QTimer *timer = [] {
        auto *t = new QTimer(QCoreApplication::instance());
        t->setSingleShot(true);
        t->setInterval(30);
        QObject::connect(t, &QTimer::timeout, [] {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (w->isVisible()) w->update();
        });
        return t;
    }();
    if (!timer->isActive()) timer->start();
}

// The key shown for an entry until its own icon is read.
QString entryPendingKey(Store &s) {
    const QString key = QStringLiteral("desktop|");
    if (!s.sources.contains(key))
        s.sources.insert(
            key, Source{{QStringLiteral("application-x-executable")}, bundledFile(QStringLiteral("app"))});
    return key;
}

void startEntryRead(Store &s, const QString &key, const QString &path) {
    if (s.entriesPending.contains(key)) return;
    s.entriesPending.insert(key);
    const quint64 generation = s.generation;
    QThreadPool *pool = &entryReaders();
    QObject *app = QCoreApplication::instance();
    pool->start([key, path, generation, app] {
        EntryIcon read = readEntryIcon(path);
        QMetaObject::invokeMethod(
            app,
            [key, generation, read = std::move(read)] {
                Store &s = store();
                if (generation != s.generation) return; // cleared meanwhile
                s.entriesPending.remove(key);
                QStringList names;
                if (!read.name.isEmpty() && !read.name.contains(u'/')) names << read.name;
                names << QStringLiteral("application-x-executable");
                s.sources.insert(key, Source{names, bundledFile(QStringLiteral("app"))});
                if (!read.image.isNull()) {
                    s.icons.insert(key, QIcon(QPixmap::fromImage(read.image)));
                    ++s.made;
                }
                repaintSoon();
            },
            Qt::QueuedConnection);
    });
}

// The key of an item's icon: a desktop entry's own icon, a special folder, a folder, else its type.
QString keyFor(const FileItem &item) {
    Store &s = store();
    if (item.isDirectory) {
        ensureFolders(s);
        return s.specialDirs.value(item.path(), folderKey());
    }
    const QString ext = MimeKinds::extensionKey(item.name);
    if (ext == u"desktop") {
        // An application entry shows the application's icon; the key follows the entry's version.
        const QString key = QStringLiteral("desktop|") + item.path() + u'|' +
                            QString::number(item.modified ? item.modified->toMSecsSinceEpoch() : -1);
        if (!s.sources.contains(key)) {
            startEntryRead(s, key, item.path());
            return entryPendingKey(s);
        }
        return key;
    }
    return keyForExtension(s, ext, item.name);
}

QIcon resolve(const QString &key) {
    Store &s = store();
    if (auto it = s.icons.constFind(key); it != s.icons.constEnd()) return *it;
    const Source src = s.sources.value(key);
    QIcon icon;
    for (const QString &name : src.names) {
        if (name.startsWith(u'/')) {
            if (QFileInfo::exists(name)) icon = QIcon(name);
        } else if (QIcon::hasThemeIcon(name)) {
            icon = QIcon::fromTheme(name);
        }
        if (!icon.isNull()) break;
    }
    if (icon.isNull())
        icon = QIcon(src.bundled.isEmpty() ? bundledFile(QStringLiteral("generic")) : src.bundled);
    ++s.made;
    s.icons.insert(key, icon);
    return icon;
}

QIcon tinted(const QString &baseKey, int number) {
    Store &s = store();
    const QString key = QStringLiteral("tint|") + baseKey + u'|' + QString::number(number);
    if (auto it = s.icons.constFind(key); it != s.icons.constEnd()) return *it;
    const QIcon base = resolve(baseKey);
    const QPixmap bitmap = base.pixmap(QSize(side, side));
    if (bitmap.isNull()) return base; // not stored: the next request tries again
    const QImage recoloured = FolderTint::tintPixels(bitmap.toImage(), number);
    if (recoloured.isNull()) return base;
    const QIcon icon(QPixmap::fromImage(recoloured));
    ++s.made;
    s.icons.insert(key, icon);
    return icon;
}

FileItem applicationItem(const QString &appPath) {
    FileItem app;
    app.setPath(appPath);
    app.name = QFileInfo(appPath).fileName();
    QFileInfo fi(appPath);
    app.isDirectory = fi.isDir();
    if (fi.exists()) app.modified = fi.lastModified();
    return app;
}

// The application's own icon: a desktop entry's Icon=, else the file's icon.
QIcon applicationIcon(const QString &appPath) {
    return resolve(keyFor(applicationItem(appPath)));
}

// The key its icon is stored under once read (keyFor gives the stand-in's until then).
QString applicationKey(const QString &appPath) {
    const FileItem app = applicationItem(appPath);
    return QStringLiteral("desktop|") + app.path() + u'|' +
           QString::number(app.modified ? app.modified->toMSecsSinceEpoch() : -1);
}

QImage badged(const QIcon &folder, const QIcon &app, int px) {
    QImage img(px, px, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    folder.paint(&p, QRect(0, 0, px, px));
    // The badge is 58 of 128 wide, centred across, its lower edge at a fifth of the height.
    const double edge = 58.0 * px / side;
    const double y = px - px * 0.2 - edge;
    app.paint(&p, QRectF((px - edge) / 2, y, edge, edge).toRect());
    return img;
}

QPixmap sized(const QString &key, const std::function<QIcon()> &make, int px, qreal dpr) {
    if (px <= 0 || !(dpr > 0)) return {};
    Store &s = store();
    const SizedKey sk{key, px, int(dpr * 100 + 0.5)};
    if (auto it = s.pixmaps.constFind(sk); it != s.pixmaps.constEnd()) return *it;
    // A few dozen types at a few sizes; a runaway number of keys only means a theme change or a bug.
    if (s.pixmaps.size() > 4096) s.pixmaps.clear();
    QPixmap pm = make().pixmap(QSize(px, px), dpr);
    s.pixmaps.insert(sk, pm);
    return pm;
}

} // namespace

QIcon icon(const QString &path) {
    const QFileInfo fi(path);
    FileItem item;
    item.setPath(QDir::cleanPath(path));
    item.name = fi.fileName();
    item.isDirectory = fi.isDir();
    if (fi.exists()) item.modified = fi.lastModified();
    return icon(item);
}

QIcon icon(const FileItem &item) {
    return resolve(keyFor(item));
}

QIcon tintedFolder(const QString &path, int number) {
    const QFileInfo fi(path);
    FileItem item;
    item.setPath(QDir::cleanPath(path));
    item.name = fi.fileName();
    item.isDirectory = fi.isDir();
    return tintedFolder(item, number);
}

QIcon tintedFolder(const FileItem &item, int number) {
    return tinted(keyFor(item), number);
}

QIcon appFolder(const QString &appPath) {
    Store &s = store();
    const QString key = QStringLiteral("appfolder|") + appPath;
    if (auto it = s.icons.constFind(key); it != s.icons.constEnd()) return *it;
    ensureFolders(s);
    const QIcon folder = resolve(folderKey());
    const QIcon app = applicationIcon(appPath);
    // Not kept while the application's own icon is still being read: it comes with the next drawing.
    const bool provisional =
        !s.entriesPending.isEmpty() && s.entriesPending.contains(applicationKey(appPath));
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(badged(folder, app, side)));
    icon.addPixmap(QPixmap::fromImage(badged(folder, app, side * 2)));
    ++s.made;
    if (!provisional) s.icons.insert(key, icon);
    return icon;
}

QPixmap iconPixmap(const FileItem &item, int px, qreal dpr) {
    const QString key = keyFor(item);
    return sized(
        key, [&] { return resolve(key); }, px, dpr);
}

QPixmap tintedFolderPixmap(const FileItem &item, int number, int px, qreal dpr) {
    const QString base = keyFor(item);
    // The sized cache shares the tint key, so a base icon without a bitmap is not remembered as tinted.
    const QString key = QStringLiteral("tint|") + base + u'|' + QString::number(number);
    if (!store().icons.contains(key)) {
        const QIcon made = tinted(base, number);
        if (!store().icons.contains(key)) return made.pixmap(QSize(px, px), dpr);
    }
    return sized(
        key, [&] { return tinted(base, number); }, px, dpr);
}

QPixmap appFolderPixmap(const QString &appPath, int px, qreal dpr) {
    const QString key = QStringLiteral("appfolder|") + appPath;
    if (!store().icons.contains(key)) {
        const QIcon made = appFolder(appPath);
        // A stand-in while the application's icon is read is not kept at any size either.
        if (!store().icons.contains(key)) return made.pixmap(QSize(px, px), dpr);
    }
    return sized(
        key, [&] { return appFolder(appPath); }, px, dpr);
}

QString iconName(const FileItem &item) {
    const QString key = keyFor(item);
    const Source src = store().sources.value(key);
    for (const QString &name : src.names)
        if (QIcon::hasThemeIcon(name)) return name;
    return QFileInfo(src.bundled).completeBaseName();
}

int madeCount() {
    return store().made;
}

void clear() {
    Store &s = store();
    s.icons.clear();
    s.pixmaps.clear();
    s.sources.clear();
    s.byExtension.clear();
    s.specialDirs.clear();
    s.entriesPending.clear();
    ++s.generation;
}

void waitForEntries() {
    while (!store().entriesPending.isEmpty()) {
        entryReaders().waitForDone();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

} // namespace IconCache
