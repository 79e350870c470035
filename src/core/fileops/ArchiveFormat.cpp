// GIO before any Qt header: Qt's signals macro breaks it.
#include <gio/gio.h>

#include "core/fileops/ArchiveFormat.h"

#include "core/localisation/Lang.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QSet>

namespace Archive {
namespace {

struct Row {
    ArchiveFormat format;
    const char *raw;
    const char *ext;
};

constexpr Row rows[] = {
    {ArchiveFormat::zip, "zip", ".zip"},
    {ArchiveFormat::sevenZip, "sevenZip", ".7z"},
    {ArchiveFormat::sevenZipSmall, "sevenZipSmall", ".7z"},
    {ArchiveFormat::tarGz, "tarGz", ".tar.gz"},
    {ArchiveFormat::tarBz2, "tarBz2", ".tar.bz2"},
    {ArchiveFormat::tarXz, "tarXz", ".tar.xz"},
    {ArchiveFormat::tar, "tar", ".tar"},
};

const Row &row(ArchiveFormat format) {
    return rows[int(format)];
}

const QSet<QString> &compressedExtensions() {
    static const QSet<QString> set = [] {
        const char *list[] = {"mp4",  "m4v",  "mov",  "mkv",  "avi", "webm", "mpg", "mpeg", "wmv",
                              "flv",  "3gp",  "mts",  "m2ts", "jpg", "jpeg", "png", "heic", "heif",
                              "gif",  "webp", "avif", "jxl",  "mp3", "m4a",  "aac", "ogg",  "opus",
                              "flac", "wma",  "zip",  "rar",  "7z",  "gz",   "bz2", "xz",   "tgz",
                              "tbz2", "txz",  "dmg",  "pkg",  "ipa", "apk",  "jar"};
        QSet<QString> s;
        s.reserve(int(std::size(list)));
        for (const char *e : list)
            s.insert(QString::fromLatin1(e));
        return s;
    }();
    return set;
}

// Longer compound endings stand before the shorter ones they end with.
constexpr const char *extractSuffixes[] = {".tar.gz", ".tar.bz2", ".tar.xz", ".tgz", ".tbz2", ".tbz",
                                           ".txz",    ".tar",     ".zip",    ".7z",  ".rar"};

std::optional<QString> matchingSuffix(const QString &name) {
    const QString lower = name.toLower();
    for (const char *s : extractSuffixes) {
        const QString suffix = QString::fromLatin1(s);
        if (lower.endsWith(suffix)) return suffix;
    }
    return std::nullopt;
}

// The extension after the last dot of a name; empty for none and for a leading dot only.
QString pathExtension(const QString &name) {
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 ? name.mid(dot + 1) : QString();
}

bool compressedFile(const QString &path) {
    return compressedExtensions().contains(pathExtension(QFileInfo(path).fileName()).toLower());
}

std::optional<QString> gioDefaultApp(const QString &path) {
    const QByteArray name = QFileInfo(path).fileName().toUtf8();
    gboolean uncertain = false;
    gchar *type = g_content_type_guess(name.constData(), nullptr, 0, &uncertain);
    if (!type) return std::nullopt;
    GAppInfo *app = g_app_info_get_default_for_type(type, FALSE);
    g_free(type);
    if (!app) return std::nullopt;
    const char *id = g_app_info_get_id(app);
    const QString result = id ? QString::fromUtf8(id) : QString();
    g_object_unref(app);
    return result;
}

} // namespace

QString rawValue(ArchiveFormat format) {
    return QString::fromLatin1(row(format).raw);
}

std::optional<ArchiveFormat> fromRaw(const QString &raw) {
    for (const Row &r : rows)
        if (raw == QLatin1String(r.raw)) return r.format;
    return std::nullopt;
}

QString ext(ArchiveFormat format) {
    return QString::fromLatin1(row(format).ext);
}

QString title(ArchiveFormat format) {
    switch (format) {
    case ArchiveFormat::zip:
        return QStringLiteral("ZIP");
    case ArchiveFormat::sevenZip:
        return QStringLiteral("7z");
    case ArchiveFormat::sevenZipSmall:
        return L("7z stark komprimiert");
    case ArchiveFormat::tarGz:
        return QStringLiteral("TAR.GZ");
    case ArchiveFormat::tarBz2:
        return QStringLiteral("TAR.BZ2");
    case ArchiveFormat::tarXz:
        return QStringLiteral("TAR.XZ");
    case ArchiveFormat::tar:
        return QStringLiteral("TAR");
    }
    return {};
}

QStringList tarArguments(ArchiveFormat format, bool bundled) {
    const QString sevenZip = QStringLiteral("7zip");
    switch (format) {
    case ArchiveFormat::zip:
        return {};
    case ArchiveFormat::sevenZip:
        return {QStringLiteral("--format"), sevenZip, QStringLiteral("--options"),
                bundled ? QStringLiteral("7zip:compression=copy")
                        : QStringLiteral("7zip:compression=deflate"),
                QStringLiteral("-cf")};
    case ArchiveFormat::sevenZipSmall:
        return {QStringLiteral("--format"), sevenZip, QStringLiteral("--options"),
                bundled ? QStringLiteral("7zip:compression=copy") : QStringLiteral("7zip:compression=lzma2"),
                QStringLiteral("-cf")};
    case ArchiveFormat::tarGz:
        if (bundled)
            return {QStringLiteral("--options"), QStringLiteral("gzip:compression-level=1"),
                    QStringLiteral("-czf")};
        return {QStringLiteral("-czf")};
    case ArchiveFormat::tarBz2:
        return {QStringLiteral("-cjf")};
    case ArchiveFormat::tarXz:
        return {QStringLiteral("-cJf")};
    case ArchiveFormat::tar:
        return {QStringLiteral("-cf")};
    }
    return {};
}

ArchiveFormat bundledEquivalent(ArchiveFormat format) {
    return format == ArchiveFormat::tarBz2 || format == ArchiveFormat::tarXz ? ArchiveFormat::tar : format;
}

const QList<ArchiveFormat> &allCases() {
    static const QList<ArchiveFormat> all = {
        ArchiveFormat::zip,   ArchiveFormat::sevenZip, ArchiveFormat::sevenZipSmall,
        ArchiveFormat::tarGz, ArchiveFormat::tarBz2,   ArchiveFormat::tarXz,
        ArchiveFormat::tar};
    return all;
}

const QList<ArchiveFormat> &otherFormats() {
    static const QList<ArchiveFormat> other = allCases().mid(1);
    return other;
}

bool allAlreadyCompressed(const QStringList &paths) {
    if (paths.isEmpty()) return false;
    constexpr qsizetype entryLimit = 100000;
    qsizetype files = 0;
    for (const QString &path : paths) {
        const QFileInfo info(path); // follows links
        if (!info.exists()) return false;
        if (!info.isDir()) {
            if (!compressedFile(path)) return false;
            ++files;
            continue;
        }
        QDirIterator it(path, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        qsizetype entries = 0;
        while (it.hasNext()) {
            const QString entry = it.next();
            if (++entries > entryLimit) return false;
            const QFileInfo e(entry);
            if (e.exists() && e.isDir()) continue;
            if (!compressedFile(entry)) return false;
            ++files;
        }
    }
    return files >= 1;
}

bool canExtract(const QString &name) {
    return matchingSuffix(name).has_value();
}

bool isZip(const QString &name) {
    return name.toLower().endsWith(QLatin1String(".zip"));
}

QString formatLabel(const QString &name) {
    if (const auto suffix = matchingSuffix(name)) return suffix->mid(1);
    return pathExtension(name).toLower();
}

QString strippedName(const QString &name) {
    const auto suffix = matchingSuffix(name);
    if (!suffix) return name;
    const QString stripped = name.left(name.size() - suffix->size());
    return stripped.isEmpty() ? name : stripped;
}

bool prefersKestrinExtraction(const QString &path, const DefaultAppLookup &lookup) {
    const QString lower = QFileInfo(path).fileName().toLower();
    if (!lower.endsWith(QLatin1String(".7z")) && !lower.endsWith(QLatin1String(".rar"))) return false;
    const std::optional<QString> app = lookup ? lookup(path) : gioDefaultApp(path);
    return !app.has_value();
}

} // namespace Archive
