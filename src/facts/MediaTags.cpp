#include "facts/MediaTags.h"

#include "facts/ImageHeader.h"

#include <QByteArray>
#include <QDateTime>
#include <QTimeZone>
#include <cstring>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The NUL-separated texts of an ID3v2.4 text frame in its encoding; none for an encoding it has not.
std::optional<QStringList> id3Texts(char encoding, const QByteArray &data) {
    QStringList names;
    switch (encoding) {
    case 0: // Latin-1
        for (const QByteArray &part : data.split('\0'))
            names << QString::fromLatin1(part);
        return names;
    case 3: // UTF-8
        for (const QByteArray &part : data.split('\0'))
            names << QString::fromUtf8(part);
        return names;
    case 1:   // UTF-16 with a byte-order mark
    case 2: { // UTF-16 big-endian
        QString all;
        const bool big = encoding == 2;
        for (qsizetype i = 0; i + 1 < data.size(); i += 2)
            all += QChar(big ? char16_t(quint8(data[i]) << 8 | quint8(data[i + 1]))
                             : char16_t(quint8(data[i + 1]) << 8 | quint8(data[i])));
        for (QString part : all.split(QChar(0))) {
            // A mark of its own before each name: the order of the bytes, not a character.
            if (part.startsWith(QChar(0xFFFE))) {
                for (QChar &c : part)
                    c = QChar(char16_t(c.unicode() >> 8 | c.unicode() << 8));
            }
            if (part.startsWith(QChar(0xFEFF))) part.remove(0, 1);
            names << part;
        }
        return names;
    }
    default:
        return std::nullopt;
    }
}

// Unsynchronised bytes: a zero was put after every 0xFF that could pass for the start of a frame.
QByteArray resynchronised(const QByteArray &data) {
    QByteArray out;
    out.reserve(data.size());
    for (qsizetype i = 0; i < data.size(); ++i) {
        out += data[i];
        if (quint8(data[i]) == 0xFF && i + 1 < data.size() && data[i + 1] == '\0') ++i;
    }
    return out;
}

} // namespace

Id3Tag id3Tag(int fd) {
    // No text we show comes near this; a frame larger than it is passed by.
    constexpr qint64 kMostText = 64 * 1024;
    // A tag unsynchronised as a whole (before 2.4) has to be read to be walked: only its head is.
    constexpr qint64 kMostUnsynchronised = 1024 * 1024;
    Id3Tag tag;
    char head[10];
    struct stat st {};
    if (::pread(fd, head, sizeof head, 0) != ssize_t(sizeof head) || std::memcmp(head, "ID3", 3) != 0 ||
        ::fstat(fd, &st) != 0)
        return tag;
    const int version = head[3];
    const quint8 flags = quint8(head[5]);
    if (version < 2 || version > 4) return tag;
    const auto syncsafe = [](const char *p) {
        return qint64(quint8(p[0]) & 0x7f) << 21 | qint64(quint8(p[1]) & 0x7f) << 14 |
               qint64(quint8(p[2]) & 0x7f) << 7 | qint64(quint8(p[3]) & 0x7f);
    };
    const auto plain = [](const char *p, int bytes) {
        qint64 v = 0;
        for (int i = 0; i < bytes; ++i)
            v = v << 8 | quint8(p[i]);
        return v;
    };
    const qint64 size = syncsafe(head + 6);
    const qint64 end = 10 + size + (version == 4 && (flags & 0x10) ? 10 : 0);
    if (end > qint64(st.st_size)) return tag; // not a tag we can trust to skip
    tag.end = end;

    // The frames, from the file or from the resynchronised head of the tag.
    const bool whole = version < 4 && (flags & 0x80);
    QByteArray buffer;
    if (whole) {
        buffer.resize(std::min(size, kMostUnsynchronised));
        if (::pread(fd, buffer.data(), size_t(buffer.size()), 10) != ssize_t(buffer.size())) return tag;
        buffer = resynchronised(buffer);
    }
    const qint64 limit = whole ? buffer.size() : size;
    const auto readTag = [&](qint64 at, qint64 n) -> QByteArray {
        if (at < 0 || n < 0 || n > limit - at) return {};
        if (whole) return buffer.mid(at, n);
        QByteArray out(n, '\0');
        if (::pread(fd, out.data(), size_t(n), off_t(10 + at)) != ssize_t(n)) return {};
        return out;
    };
    qint64 at = 0;
    if (flags & 0x40 && version > 2) { // extended header
        const QByteArray ext = readTag(0, 4);
        if (ext.size() != 4) return tag;
        at = version == 4 ? syncsafe(ext.constData()) : 4 + plain(ext.constData(), 4);
    }
    const int idSize = version == 2 ? 3 : 4, headSize = version == 2 ? 6 : 10;
    QString year, dayMonth, hourMinute; // before 2.4 the date is kept in three frames
    for (int n = 0; n < 4096 && at + headSize <= limit; ++n) {
        const QByteArray fh = readTag(at, headSize);
        if (fh.size() != headSize || fh[0] == '\0') break; // padding
        const QByteArray id = fh.left(idSize);
        const qint64 length = version == 2   ? plain(fh.constData() + 3, 3)
                              : version == 3 ? plain(fh.constData() + 4, 4)
                                             : syncsafe(fh.constData() + 4);
        const qint64 body = at + headSize;
        if (length > limit - body) break;
        at = body + length;
        const quint8 format = version == 2 ? 0 : quint8(fh[9]);
        static const QList<QByteArray> wanted{"TIT2", "TPE1", "TDRC", "TYER", "TDAT", "TIME",
                                              "TT2",  "TP1",  "TYE",  "TDA",  "TIM"};
        if (!wanted.contains(id) || length < 2 || length > kMostText) continue;
        QByteArray data = readTag(body, length);
        qint64 skip = 0;
        if (version == 3) {
            if (format & 0xC0) continue; // compressed or encrypted
            if (format & 0x20) skip = 1; // group
        } else if (version == 4) {
            if (format & 0x0C) continue;  // compressed or encrypted
            if (format & 0x40) skip += 1; // group
            if (format & 0x01) skip += 4; // the length before any unsynchronisation
        }
        data = data.mid(skip);
        if (version == 4 && ((format & 0x02) || (flags & 0x80))) data = resynchronised(data);
        if (data.size() < 2) continue;
        const std::optional<QStringList> texts = id3Texts(data[0], data.mid(1));
        if (!texts) continue;
        QStringList values;
        for (const QString &t : *texts)
            if (!t.trimmed().isEmpty()) values << t.trimmed();
        if (values.isEmpty()) continue;
        if (id == "TIT2" || id == "TT2")
            tag.title = values.first();
        else if (id == "TPE1" || id == "TP1")
            // Before 2.4 one text: several artists are the library's to split, and it does not.
            tag.artists = version == 4 ? values : QStringList{values.first()};
        else if (id == "TDRC")
            tag.date = values.first();
        else if (id == "TYER" || id == "TYE")
            year = values.first();
        else if (id == "TDAT" || id == "TDA")
            dayMonth = values.first();
        else
            hourMinute = values.first();
    }
    if (tag.date.isEmpty() && year.size() == 4 && dayMonth.size() == 4) {
        tag.date = year + u'-' + dayMonth.mid(2, 2) + u'-' + dayMonth.left(2);
        if (hourMinute.size() == 4) tag.date += u'T' + hourMinute.left(2) + u':' + hourMinute.mid(2, 2);
    }
    return tag;
}

MovieTags movieTags(int fd) {
    MovieTags tags;
    struct stat st {};
    char first[8];
    if (::fstat(fd, &st) != 0 || ::pread(fd, first, 8, 0) != 8) return tags;
    static const QList<QByteArray> starts{"ftyp", "moov", "mdat", "free", "skip", "wide"};
    if (!starts.contains(QByteArray(first + 4, 4))) return tags;
    const IsoBox file{{}, 0, int64_t(st.st_size)};
    const auto moov = isoChild(fd, file, 0, "moov");
    if (!moov) return tags;
    // Seconds since 1904 in the movie header, as the library shows them: a date in UTC.
    if (const auto mvhd = isoChild(fd, *moov, moov->body, "mvhd")) {
        unsigned char h[12];
        if (mvhd->end - mvhd->body >= 12 && ::pread(fd, h, 12, off_t(mvhd->body)) == 12) {
            quint64 seconds = 0;
            for (int i = 4; i < (h[0] == 1 ? 12 : 8); ++i)
                seconds = seconds << 8 | h[i];
            if (seconds > 0 && seconds < (quint64(1) << 40))
                tags.created = QDateTime(QDate(1904, 1, 1), QTime(0, 0), QTimeZone::utc())
                                   .addSecs(qint64(seconds))
                                   .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'"));
        }
    }
    auto meta = std::optional<IsoBox>();
    if (const auto udta = isoChild(fd, *moov, moov->body, "udta"))
        meta = isoChild(fd, *udta, udta->body, "meta");
    if (!meta) meta = isoChild(fd, *moov, moov->body, "meta");
    if (!meta) return tags;
    // A full box, but QuickTime's has no version and flags: its first child follows at once.
    char peek[8];
    const bool bare = ::pread(fd, peek, 8, off_t(meta->body)) == 8 && std::memcmp(peek + 4, "hdlr", 4) == 0;
    const auto ilst = isoChild(fd, *meta, meta->body + (bare ? 0 : 4), "ilst");
    if (!ilst) return tags;
    const auto value = [&](const char *type) -> QString {
        const auto item = isoChild(fd, *ilst, ilst->body, type);
        const auto data = item ? isoChild(fd, *item, item->body, "data") : std::nullopt;
        if (!data || data->end - data->body < 8 || data->end - data->body > 64 * 1024 + 8) return {};
        QByteArray bytes(qsizetype(data->end - data->body), '\0');
        if (::pread(fd, bytes.data(), size_t(bytes.size()), off_t(data->body)) != ssize_t(bytes.size()))
            return {};
        const int kind = quint8(bytes[1]) << 16 | quint8(bytes[2]) << 8 | quint8(bytes[3]);
        bytes.remove(0, 8); // kind and locale
        if (kind == 1) return QString::fromUtf8(bytes).trimmed();
        if (kind == 2) {
            QString text;
            for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
                text += QChar(char16_t(quint8(bytes[i]) << 8 | quint8(bytes[i + 1])));
            return text.trimmed();
        }
        return {};
    };
    // ©nam, ©ART, ©day: the copyright sign in Latin-1.
    tags.title = value("\251nam");
    tags.artist = value("\251ART");
    tags.date = value("\251day");
    return tags;
}
