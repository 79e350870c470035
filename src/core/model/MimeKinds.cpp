#include "core/model/MimeKinds.h"

#include "core/localisation/Lang.h"

#include <QHash>
#include <QLocale>
#include <QMimeDatabase>
#include <QMutex>

namespace MimeKinds {

namespace {
struct Cache {
    QMutex lock;
    QString localeName; // descriptions follow the default locale; a change empties the cache
    QHash<QString, QMimeType> types;
    QHash<QString, QString> kinds;
};

Cache &cache() {
    static Cache c;
    return c;
}

void checkLocale(Cache &c) {
    Lang::current(); // read first: from then on Qt's default locale is the interface language
    const QString name = QLocale().name();
    if (name != c.localeName) {
        c.localeName = name;
        c.kinds.clear();
    }
}

// By the names of the shared MIME database; aliases and older names too, as systems report either.
// What runs beside the program classes below: scripts, launchers and shortcuts.
const char *const kRunnable[] = {
    "application/x-desktop",
    "application/x-java-jnlp-file",
    "application/x-shellscript",
    "application/x-sh",
    "application/x-csh",
    "application/x-perl",
    "text/x-python",
    "text/x-python3",
    "application/x-python-bytecode",
    "application/x-ruby",
    "application/x-php",
    "text/tcl",
    "text/x-tcl",
    "application/x-ms-shortcut",
    "application/x-ms-application",
    "application/x-bat",
    "application/vnd.flatpak.ref",
    "application/vnd.flatpak.repo",
};

// Real program classes: executables, shared libraries, installers and packages. A type below one of them
// is run by whatever handles it. The type database marks a script by putting it below the executables.
const char *const kProgramClass[] = {
    "application/x-executable",
    "application/x-sharedlib",
    "application/x-pie-executable",
    "application/x-ms-dos-executable",
    "application/x-msdownload",
    "application/vnd.microsoft.portable-executable",
    "application/x-ms-ne-executable",
    "application/x-msi",
    "application/vnd.debian.binary-package",
    "application/x-deb",
    "application/x-rpm",
    "application/x-redhat-package-manager",
    "application/vnd.appimage",
    "application/x-appimage",
    "application/x-iso9660-appimage",
    "application/vnd.flatpak",
    "application/vnd.snap",
    "application/x-java-archive",
};

// Data the type database files below a script (JSON below JavaScript): nothing of it runs, and neither
// does anything below it (notebooks, 3D scenes …).
const char *const kDataBelowScripts[] = {
    "application/json",
};

bool listed(const QString &name, const auto &list) {
    for (const char *entry : list)
        if (name == QLatin1String(entry)) return true;
    return false;
}

bool executable(const QString &name) {
    return listed(name, kProgramClass) || listed(name, kRunnable);
}

bool isCompressionSuffix(QStringView s) {
    return s == u"gz" || s == u"bz2" || s == u"xz" || s == u"zst" || s == u"lz" || s == u"lzma" || s == u"z";
}
} // namespace

QString extensionKey(const QString &fileName) {
    const qsizetype dot = fileName.lastIndexOf(u'.');
    if (dot < 0 || dot == fileName.size() - 1) return {};
    QString ext = fileName.mid(dot + 1).toLower();
    // "x.tar.gz" is a tar archive, not only a gzip stream.
    if (isCompressionSuffix(ext) && dot > 0) {
        const qsizetype prev = fileName.lastIndexOf(u'.', dot - 1);
        if (prev >= 0 && fileName.mid(prev + 1, dot - prev - 1).compare(u"tar", Qt::CaseInsensitive) == 0)
            ext = QStringLiteral("tar.") + ext;
    }
    return ext;
}

static QMimeType lookup(Cache &c, const QString &ext) {
    auto it = c.types.constFind(ext);
    if (it != c.types.constEnd()) return *it;
    QMimeDatabase db;
    QMimeType t = db.mimeTypeForFile(QStringLiteral("x.") + ext, QMimeDatabase::MatchExtension);
    if (t.isDefault()) t = QMimeType();
    c.types.insert(ext, t);
    return t;
}

QMimeType typeForName(const QString &fileName) {
    const QString ext = extensionKey(fileName);
    if (ext.isEmpty()) return {};
    Cache &c = cache();
    QMutexLocker locker(&c.lock);
    return lookup(c, ext);
}

QString kindForFile(const QString &fileName) {
    const QString ext = extensionKey(fileName);
    Cache &c = cache();
    QMutexLocker locker(&c.lock);
    checkLocale(c);
    auto it = c.kinds.constFind(ext);
    if (it != c.kinds.constEnd()) return *it;
    QMimeType t = ext.isEmpty() ? QMimeType() : lookup(c, ext);
    if (!t.isValid()) t = QMimeDatabase().mimeTypeForName(QStringLiteral("application/octet-stream"));
    const QString kind = t.comment();
    c.kinds.insert(ext, kind);
    return kind;
}

QString kindForMimeName(const char *mimeName) {
    const QString key = QLatin1Char('/') + QLatin1String(mimeName); // never clashes with an extension
    Cache &c = cache();
    QMutexLocker locker(&c.lock);
    checkLocale(c);
    auto it = c.kinds.constFind(key);
    if (it != c.kinds.constEnd()) return *it;
    const QString kind = QMimeDatabase().mimeTypeForName(QLatin1String(mimeName)).comment();
    c.kinds.insert(key, kind);
    return kind;
}

bool isExecutableType(const QString &mimeName) {
    if (mimeName.isEmpty()) return false;
    if (executable(mimeName)) return true;
    const QMimeDatabase db;
    const QMimeType type = db.mimeTypeForName(mimeName);
    if (!type.isValid()) return false;
    if (executable(type.name())) return true;
    for (const QString &alias : type.aliases())
        if (executable(alias)) return true;
    // Every ancestor, however deep, but only real programs count there, and the walk stops at data.
    if (listed(type.name(), kDataBelowScripts)) return false;
    QStringList todo = type.parentMimeTypes();
    QStringList seen;
    while (!todo.isEmpty() && seen.size() < 64) {
        const QString name = todo.takeFirst();
        if (seen.contains(name)) continue;
        seen << name;
        if (listed(name, kDataBelowScripts)) continue;
        if (listed(name, kProgramClass)) return true;
        todo << db.mimeTypeForName(name).parentMimeTypes();
    }
    return false;
}

} // namespace MimeKinds
