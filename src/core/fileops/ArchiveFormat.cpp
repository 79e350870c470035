// GIO before any Qt header: Qt's signals macro breaks it.
#include <gio/gio.h>

#include "core/fileops/ArchiveFormat.h"

#include "core/localisation/Lang.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QSet>

#include <cstring>
#include <limits>

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
    // Asked for every item of large selections: nothing is copied unless a suffix matches.
    for (const char *s : extractSuffixes)
        if (name.endsWith(QLatin1StringView(s), Qt::CaseInsensitive)) return QString::fromLatin1(s);
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

ArchiveWriter::Setup writerSetup(ArchiveFormat format, bool bundled) {
    // A tar is what bsdtar writes by default: ustar, with pax records only where ustar can't say it.
    const QByteArray tar = "paxr";
    switch (format) {
    case ArchiveFormat::zip:
        // Names marked as UTF-8, so that every reader shows the same names.
        return {"zip", {}, bundled ? "zip:compression=store,zip:hdrcharset=UTF-8" : "zip:hdrcharset=UTF-8"};
    case ArchiveFormat::sevenZip:
        return {"7zip", {}, bundled ? "7zip:compression=copy" : "7zip:compression=deflate"};
    case ArchiveFormat::sevenZipSmall:
        return {"7zip", {}, bundled ? "7zip:compression=copy" : "7zip:compression=lzma2"};
    case ArchiveFormat::tarGz:
        return {tar, "gzip", bundled ? "gzip:compression-level=1" : QByteArray()};
    case ArchiveFormat::tarBz2:
        return {tar, "bzip2", {}};
    case ArchiveFormat::tarXz:
        return {tar, "xz", {}};
    case ArchiveFormat::tar:
        return {tar, {}, {}};
    }
    return {tar, {}, {}};
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

bool listsCheaply(const QString &name) {
    const QString lower = name.toLower();
    for (const char *s : {".zip", ".7z", ".rar", ".tar"})
        if (lower.endsWith(QLatin1String(s))) return true;
    return false;
}

namespace {

// Enough for mode, links, owner, group and size, however wide bsdtar pads them; with names, for the
// longest name a folder can hold with every byte escaped, and its link target.
constexpr qsizetype lineKeep = 512, namedLineKeep = 64 * 1024;
constexpr qint64 sizeCap = std::numeric_limits<qint64>::max() / 2;

// A name as bsdtar printed it, its escapes undone: "\\", "\n" and the like, "\ooo" for other bytes.
QByteArray unescaped(QByteArrayView text) {
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        const char *const from = "abfnrtv", *const to = "\a\b\f\n\r\t\v";
        if (const char *at = std::strchr(from, c); at && c) {
            out += to[at - from];
        } else if (c >= '0' && c <= '3' && i + 2 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '7' &&
                   text[i + 2] >= '0' && text[i + 2] <= '7') {
            out += char((c - '0') << 6 | (text[i + 1] - '0') << 3 | (text[i + 2] - '0'));
            i += 2;
        } else {
            out += c; // "\\" and anything unknown: the character itself
        }
    }
    return out;
}

} // namespace

void ListingReader::feed(QByteArrayView chunk) {
    const qsizetype keep = m_keepNames ? namedLineKeep : lineKeep;
    while (!chunk.isEmpty()) {
        const qsizetype nl = chunk.indexOf('\n');
        const QByteArrayView part = nl < 0 ? chunk : chunk.first(nl);
        if (m_line.size() + part.size() > keep) m_lineCut = true;
        if (m_line.size() < keep) m_line += part.first(std::min(part.size(), keep - m_line.size()));
        if (nl < 0) return;
        line(m_line);
        m_line.clear();
        m_lineCut = false;
        chunk = chunk.sliced(nl + 1);
    }
}

void ListingReader::finish() {
    if (!m_line.isEmpty()) line(m_line);
    m_line.clear();
    m_lineCut = false;
}

void ListingReader::line(QByteArrayView text) {
    if (text.trimmed().isEmpty()) return;
    ++m_entries;
    // "-rw-r--r--  1 1000 1000 1234 Dec  7 01:00 name": eight fields, one space, the name.
    QByteArrayView fields[8];
    qsizetype n = 0, nameAt = -1;
    for (qsizetype i = 0; i < text.size() && n < 8;) {
        while (i < text.size() && text[i] == ' ')
            ++i;
        const qsizetype start = i;
        while (i < text.size() && text[i] != ' ')
            ++i;
        if (i > start) fields[n++] = text.sliced(start, i - start);
        if (n == 8 && i < text.size()) nameAt = i + 1;
    }
    if (m_keepNames && m_namesComplete) {
        m_nameBytes += text.size();
        if (nameAt < 0 || nameAt >= text.size() || m_lineCut || m_named.size() >= nameLimit ||
            m_nameBytes > nameBytesLimit) {
            m_namesComplete = false;
        } else {
            QByteArrayView name = text.sliced(nameAt);
            const char kind = fields[0].isEmpty() ? '?' : fields[0][0];
            const char *const after = kind == 'l' ? " -> " : kind == 'h' ? " link to " : nullptr;
            if (const qsizetype cut = after ? name.indexOf(after) : -1; cut >= 0) name = name.first(cut);
            m_named.append({unescaped(name), kind});
        }
    }
    const auto number = [](QByteArrayView f) {
        bool ok = !f.isEmpty() && f.size() <= 18;
        for (char c : f)
            ok = ok && c >= '0' && c <= '9';
        return ok ? f.toLongLong() : -1;
    };
    // "-rw-r--r--  1 1000 1000 1234 …": the mode, then links, owner and group as numbers, then the size
    // (major,minor for devices).
    if (n < 5 || fields[0].size() < 10 || number(fields[1]) < 0 || number(fields[2]) < 0 ||
        number(fields[3]) < 0) {
        ++m_unreadable;
        return;
    }
    switch (fields[0][0]) {
    case '-': {
        const qint64 size = number(fields[4]);
        if (size < 0) {
            ++m_unreadable;
            return;
        }
        m_bytes = std::min(sizeCap, m_bytes + size);
        return;
    }
    case 'c':
    case 'b':
    case 'p':
    case 's':
        ++m_special;
        return;
    default: // folders, links, hard links: no room of their own
        return;
    }
}

ListingReader parseListing(QByteArrayView text, bool keepNames) {
    ListingReader reader(keepNames);
    reader.feed(text);
    reader.finish();
    return reader;
}

bool prefersKestrinExtraction(const QString &path, const DefaultAppLookup &lookup) {
    const QString lower = QFileInfo(path).fileName().toLower();
    if (!lower.endsWith(QLatin1String(".7z")) && !lower.endsWith(QLatin1String(".rar"))) return false;
    const std::optional<QString> app = lookup ? lookup(path) : gioDefaultApp(path);
    return !app.has_value();
}

} // namespace Archive
