#include "core/model/SearchFilter.h"

#include "core/localisation/Lang.h"
#include "core/model/MimeKinds.h"

#include <QCalendar>

QString rawValue(SearchKind k) {
    switch (k) {
    case SearchKind::all:
        return QStringLiteral("all");
    case SearchKind::folders:
        return QStringLiteral("folders");
    case SearchKind::documents:
        return QStringLiteral("documents");
    case SearchKind::images:
        return QStringLiteral("images");
    case SearchKind::audio:
        return QStringLiteral("audio");
    case SearchKind::video:
        return QStringLiteral("video");
    case SearchKind::archives:
        return QStringLiteral("archives");
    case SearchKind::apps:
        return QStringLiteral("apps");
    }
    return {};
}

std::optional<SearchKind> searchKindFromRaw(const QString &raw) {
    for (SearchKind k : SearchKinds::allCases)
        if (rawValue(k) == raw) return k;
    return std::nullopt;
}

QString title(SearchKind k) {
    switch (k) {
    case SearchKind::all:
        return L("Alle Arten");
    case SearchKind::folders:
        return L("Ordner");
    case SearchKind::documents:
        return L("Dokumente");
    case SearchKind::images:
        return L("Bilder");
    case SearchKind::audio:
        return L("Audio");
    case SearchKind::video:
        return L("Filme");
    case SearchKind::archives:
        return L("Archive");
    case SearchKind::apps:
        return L("Programme");
    }
    return {};
}

namespace {

bool inheritsAny(const QMimeType &t, std::initializer_list<const char *> names) {
    for (const char *n : names)
        if (t.inherits(QLatin1String(n))) return true;
    return false;
}

bool hasTopLevel(const QMimeType &t, QLatin1String prefix) {
    if (t.name().startsWith(prefix)) return true;
    const QStringList parents = t.allAncestors();
    for (const QString &p : parents)
        if (p.startsWith(prefix)) return true;
    return false;
}

bool isDocument(const QMimeType &t) {
    return inheritsAny(t, {"application/pdf"}) || hasTopLevel(t, QLatin1String("text/")) ||
           inheritsAny(t, {"application/vnd.oasis.opendocument.presentation", "application/vnd.ms-powerpoint",
                           "application/vnd.openxmlformats-officedocument.presentationml.presentation",
                           "application/vnd.apple.keynote", "application/vnd.oasis.opendocument.spreadsheet",
                           "application/vnd.ms-excel",
                           "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet",
                           "application/vnd.apple.numbers", "application/rtf", "text/rtf"});
}

bool isArchive(const QMimeType &t) {
    return inheritsAny(t, {"application/zip",       "application/x-tar",      "application/gzip",
                           "application/x-bzip",    "application/x-bzip2",    "application/x-xz",
                           "application/zstd",      "application/x-lzma",     "application/x-7z-compressed",
                           "application/vnd.rar",   "application/x-rar",      "application/x-compressed-tar",
                           "application/x-archive", "application/x-cpio",     "application/x-apple-diskimage",
                           "application/x-lzip",    "application/x-compress", "application/x-iso9660-image",
                           "application/x-xar",     "application/x-stuffit"});
}

} // namespace

bool matches(SearchKind k, const QString &name, bool isDirectory, bool isPackage) {
    const QString ext = MimeKinds::extensionKey(name);
    switch (k) {
    case SearchKind::all:
        return true;
    case SearchKind::folders:
        return isDirectory;
    case SearchKind::apps:
        return isPackage && ext == u"app";
    default:
        break;
    }
    if (isDirectory || isPackage || ext.isEmpty()) return false;
    const QMimeType t = MimeKinds::typeForName(name);
    switch (k) {
    case SearchKind::documents: {
        if (t.isValid() && isDocument(t)) return true;
        static const QStringList docs{"doc", "docx", "pages", "numbers", "key",
                                      "odt", "ods",  "odp",   "md",      "epub"};
        return docs.contains(ext);
    }
    case SearchKind::images:
        return t.isValid() && hasTopLevel(t, QLatin1String("image/"));
    case SearchKind::audio:
        return t.isValid() && hasTopLevel(t, QLatin1String("audio/"));
    case SearchKind::video:
        return t.isValid() && hasTopLevel(t, QLatin1String("video/"));
    case SearchKind::archives:
        return t.isValid() && isArchive(t);
    default:
        return false;
    }
}

std::optional<SearchSize> searchSizeFromRaw(int raw) {
    if (raw < 0 || raw > 4) return std::nullopt;
    return SearchSize(raw);
}

QString title(SearchSize s) {
    switch (s) {
    case SearchSize::any:
        return L("Beliebige Größe");
    case SearchSize::mb1:
        return L("Über 1 MB");
    case SearchSize::mb10:
        return L("Über 10 MB");
    case SearchSize::mb100:
        return L("Über 100 MB");
    case SearchSize::gb1:
        return L("Über 1 GB");
    }
    return {};
}

qint64 minBytes(SearchSize s) {
    switch (s) {
    case SearchSize::any:
        return 0;
    case SearchSize::mb1:
        return 1'000'000;
    case SearchSize::mb10:
        return 10'000'000;
    case SearchSize::mb100:
        return 100'000'000;
    case SearchSize::gb1:
        return 1'000'000'000;
    }
    return 0;
}

std::optional<SearchAge> searchAgeFromRaw(int raw) {
    if (raw < 0 || raw > 4) return std::nullopt;
    return SearchAge(raw);
}

QString title(SearchAge a) {
    switch (a) {
    case SearchAge::any:
        return L("Beliebiges Datum");
    case SearchAge::today:
        return L("Heute geändert");
    case SearchAge::week:
        return L("In den letzten 7 Tagen");
    case SearchAge::month:
        return L("In den letzten 30 Tagen");
    case SearchAge::year:
        return L("In diesem Jahr");
    }
    return {};
}

std::optional<QDateTime> cutoff(SearchAge a, const QDateTime &now) {
    const QDateTime local = now.toLocalTime();
    const QDate today = local.date();
    switch (a) {
    case SearchAge::any:
        return std::nullopt;
    case SearchAge::today:
        return today.startOfDay();
    case SearchAge::week: {
        const QDateTime d = local.addDays(-7);
        return d.isValid() ? std::optional(d) : std::nullopt;
    }
    case SearchAge::month: {
        const QDateTime d = local.addDays(-30);
        return d.isValid() ? std::optional(d) : std::nullopt;
    }
    case SearchAge::year:
        return QDate(today.year(), 1, 1).startOfDay();
    }
    return std::nullopt;
}

std::optional<QDateTime> cutoff(SearchAge a) {
    return cutoff(a, QDateTime::currentDateTime());
}
