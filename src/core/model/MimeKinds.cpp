#include "core/model/MimeKinds.h"

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
    const QString name = QLocale().name();
    if (name != c.localeName) {
        c.localeName = name;
        c.kinds.clear();
    }
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

} // namespace MimeKinds
