#include "facts/ImageHeader.h"
#include "facts/Rows.h"

#include <MediaInfo/MediaInfo.h>
#include <QDateTime>
#include <QStringList>
#include <QTimeZone>
#include <cstring>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace MI = MediaInfoLib;

namespace {

QString text(const MI::String &s) {
    return QString::fromStdWString(s).trimmed();
}

// "2021-06-05 14:03:07 UTC" or "UTC 2021-06-05 14:03:07" (either order, by library version) as ISO text.
std::optional<QString> mediaDate(QString value) {
    bool utc = false;
    if (value.startsWith(QStringLiteral("UTC "))) {
        utc = true;
        value = value.mid(4);
    } else if (value.endsWith(QStringLiteral(" UTC"))) {
        utc = true;
        value.chop(4);
    }
    value = value.trimmed();
    if (value.size() >= 19 && value[10] == u' ') value[10] = u'T';
    value = value.left(19);
    QDateTime dt = QDateTime::fromString(value, Qt::ISODate);
    if (!dt.isValid()) return std::nullopt;
    // A file written without a date holds zero there: the start of its format's count of time (Unix,
    // QuickTime, Windows), no day anything was recorded.
    if (dt.time() == QTime(0, 0) &&
        (dt.date() == QDate(1970, 1, 1) || dt.date() == QDate(1904, 1, 1) || dt.date() == QDate(1601, 1, 1)))
        return std::nullopt;
    if (utc) {
        dt.setTimeZone(QTimeZone::utc());
        return dt.toString(Qt::ISODate);
    }
    return value;
}

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

// What an ID3v2 tag at the start of the file says, and where the stream after it begins. Frames are
// found by their headers: the pictures among them are stepped over, never read.
struct Id3Tag {
    qint64 end = 0; // none: 0
    QString title;
    QStringList artists; // version 2.4 keeps several in one frame, separated by NULs
    QString date;
};

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

// The artists of a Vorbis comment block ("ARTIST=…", one entry each), as the library would pick them:
// the performers where there are any, else the artists.
QStringList vorbisCommentArtists(const QByteArray &block) {
    const auto u32 = [&](qsizetype at) -> qint64 {
        if (at < 0 || at + 4 > block.size()) return -1;
        return qint64(quint8(block[at])) | qint64(quint8(block[at + 1])) << 8 |
               qint64(quint8(block[at + 2])) << 16 | qint64(quint8(block[at + 3])) << 24;
    };
    const qint64 vendor = u32(0);
    if (vendor < 0 || vendor > block.size()) return {};
    qsizetype at = 4 + vendor;
    const qint64 entries = u32(at);
    at += 4;
    QStringList artists, performers;
    for (qint64 i = 0; i < entries; ++i) {
        const qint64 length = u32(at);
        if (length < 0 || length > block.size() - at - 4) break;
        const QByteArray entry = block.mid(at + 4, length);
        at += 4 + length;
        const qsizetype eq = entry.indexOf('=');
        if (eq < 0) continue;
        const QByteArray key = entry.left(eq).toUpper();
        const QString name = QString::fromUtf8(entry.mid(eq + 1)).trimmed();
        if (name.isEmpty()) continue;
        if (key == "ARTIST")
            artists << name;
        else if (key == "PERFORMER")
            performers << name;
    }
    return performers.isEmpty() ? artists : performers;
}

// The Vorbis comments at the start of a FLAC or Ogg file (Vorbis, Opus, FLAC in Ogg): the library joins
// several artists with slashes, as if they were one name.
QStringList vorbisArtists(int fd) {
    // Cover pictures may stand among the comments; what lies beyond this is not read.
    constexpr qsizetype kMost = 1024 * 1024;
    char magic[4];
    if (::pread(fd, magic, sizeof magic, 0) != ssize_t(sizeof magic) ||
        (std::memcmp(magic, "fLaC", 4) != 0 && std::memcmp(magic, "OggS", 4) != 0))
        return {};
    QByteArray head(kMost, '\0');
    const ssize_t n = ::pread(fd, head.data(), size_t(head.size()), 0);
    head.resize(n > 0 ? n : 0);
    if (head.startsWith("fLaC")) {
        for (qsizetype at = 4; at + 4 <= head.size();) {
            const quint8 type = quint8(head[at]);
            const qsizetype length = qsizetype(quint8(head[at + 1])) << 16 |
                                     qsizetype(quint8(head[at + 2])) << 8 | qsizetype(quint8(head[at + 3]));
            if ((type & 0x7F) == 4) return vorbisCommentArtists(head.mid(at + 4, length));
            if (type & 0x80) break; // the last block
            at += 4 + length;
        }
        return {};
    }
    // Ogg: the packets of the first stream, from its pages' segments, until the comment packet is whole.
    QList<QByteArray> packets{QByteArray()};
    std::optional<QByteArray> serial;
    for (qsizetype at = 0; at + 27 <= head.size() && packets.size() <= 2;) {
        if (head.mid(at, 4) != "OggS") return {};
        const int segments = quint8(head[at + 26]);
        const qsizetype table = at + 27;
        if (table + segments > head.size()) break;
        qsizetype body = table + segments;
        const QByteArray pageSerial = head.mid(at + 14, 4);
        const bool ours = !serial || *serial == pageSerial;
        if (!serial) serial = pageSerial;
        for (int i = 0; i < segments; ++i) {
            const int lace = quint8(head[table + i]);
            if (ours && packets.size() <= 2) {
                packets.last() += head.mid(body, lace);
                if (lace < 255) packets << QByteArray();
            }
            body += lace;
        }
        at = body;
    }
    if (packets.size() < 3) return {};
    const QByteArray &first = packets[0], &comment = packets[1];
    if (first.startsWith("\x01vorbis") && comment.startsWith("\x03vorbis"))
        return vorbisCommentArtists(comment.mid(7));
    if (first.startsWith("OpusHead") && comment.startsWith("OpusTags"))
        return vorbisCommentArtists(comment.mid(8));
    // FLAC in Ogg: the second packet is a metadata block, the comments first among them.
    if (first.startsWith("\x7F"
                         "FLAC") &&
        comment.size() >= 4 && (quint8(comment[0]) & 0x7F) == 4)
        return vorbisCommentArtists(comment.mid(4));
    return {};
}

// What the movie box of an MP4-family file (M4A, M4B, MOV) tells in its tags and header, found by seeking
// from box to box: the box may be larger than the library is given (the index of a long audiobook), and
// its tags come last.
struct MovieTags {
    QString title, artist, date, created;
};

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

// What the library is given of one file at most.
constexpr qint64 kBudget = 16 * 1024 * 1024;

// The library reads from our descriptor, going where it asks, but no more than a few mebibytes in all:
// a huge file is never read through, whatever its headers say. It is shown the file from `base` on, as
// if that were all of it.
bool feed(MI::MediaInfo &info, int fd, qint64 base) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size <= base) return false;
    const ZenLib::int64u size = ZenLib::int64u(st.st_size - base);
    // Small pieces: given a large first piece, the library takes some streams for others (a long
    // silent FLAC for AAC); its own reader goes in pieces of this size too.
    std::vector<unsigned char> buf(64 * 1024);
    info.Open_Buffer_Init(size, 0);
    ZenLib::int64u at = 0;
    for (qint64 fed = 0; fed < kBudget && at < size;) {
        // Never past the size declared: a file that grows while it is read (a download, a recording)
        // would otherwise hand the library more than it was told of, and it gives up.
        const size_t want = size_t(std::min<ZenLib::int64u>(buf.size(), size - at));
        const ssize_t n = ::pread(fd, buf.data(), want, off_t(base + qint64(at)));
        if (n <= 0) break;
        fed += n;
        at += ZenLib::int64u(n);
        if (info.Open_Buffer_Continue(buf.data(), size_t(n)) & 0x08) break; // done
        const ZenLib::int64u next = info.Open_Buffer_Continue_GoTo_Get();
        if (next != ZenLib::int64u(-1)) {
            if (next >= size) break;
            at = next;
            info.Open_Buffer_Init(size, at);
        }
    }
    info.Open_Buffer_Finalize();
    return info.Count_Get(MI::Stream_General) > 0;
}

} // namespace

void readMedia(int fd, Rows &rows) {
    // An ID3v2 tag is read here and the library starts after it: it is slow on large cover pictures
    // and, within our memory limit, may not finish them. What the tag says is set before the library is
    // asked, should it fail.
    const Id3Tag id3 = id3Tag(fd);
    if (!id3.title.isEmpty()) rows.set(Rows::title, id3.title);
    if (!id3.artists.isEmpty()) rows.set(Rows::authors, id3.artists.join(QStringLiteral(", ")));
    const std::optional<QString> id3Date = mediaDate(id3.date);
    if (id3Date) rows.set(Rows::captured, *id3Date);

    MI::MediaInfo info;
    // The headers are enough: a long file is never read through.
    info.Option(__T("ParseSpeed"), __T("0"));
    info.Option(__T("Internet"), __T("No"));
    // A transport stream's duration needs its last time stamps. The library reads the head up to this
    // offset and then asks for a part of that size before the end (or reads on, in a file not much
    // larger): both must fit the budget, or it ends in the head and the duration is that of the head.
    info.Option(__T("MpegTs_MaximumOffset"), QString::number(kBudget / 2).toStdWString());
    if (!feed(info, fd, id3.end)) return;
    const auto general = [&](const MI::Char *field) { return text(info.Get(MI::Stream_General, 0, field)); };
    const MovieTags movie = movieTags(fd);

    if (id3.title.isEmpty()) {
        QString title = general(__T("Title"));
        if (title.isEmpty()) title = movie.title;
        if (!title.isEmpty()) rows.set(Rows::title, title);
    }
    // The artist, wherever the container keeps it (RIFF files name theirs the director, Matroska's tag
    // keeps its own name).
    if (id3.artists.isEmpty()) {
        const QStringList artists = vorbisArtists(fd);
        if (!artists.isEmpty())
            rows.set(Rows::authors, artists.join(QStringLiteral(", ")));
        else
            for (const QString &who : {general(__T("Performer")), general(__T("ARTIST")), movie.artist,
                                       general(__T("Director")), general(__T("Composer"))}) {
                if (!who.isEmpty()) {
                    rows.set(Rows::authors, who);
                    break;
                }
            }
    }

    const size_t videos = info.Count_Get(MI::Stream_Video);
    if (videos > 0) {
        bool okW = false, okH = false;
        const qint64 w = text(info.Get(MI::Stream_Video, 0, __T("Width"))).toLongLong(&okW);
        const qint64 h = text(info.Get(MI::Stream_Video, 0, __T("Height"))).toLongLong(&okH);
        if (okW && okH && w > 0 && h > 0)
            rows.set(Rows::dimensions, QString::number(w) + QChar(0x00D7) + QString::number(h));
    }

    bool okDuration = false;
    const double ms = text(info.Get(MI::Stream_General, 0, __T("Duration"))).toDouble(&okDuration);
    if (okDuration) rows.set(Rows::duration, QString::number(ms / 1000.0, 'f', 3));

    QStringList codecs;
    for (const MI::stream_t kind : {MI::Stream_Video, MI::Stream_Audio, MI::Stream_Text}) {
        const size_t n = std::min<size_t>(info.Count_Get(kind), 64);
        for (size_t i = 0; i < n; ++i) {
            const QString format = text(info.Get(kind, i, __T("Format")));
            if (!format.isEmpty()) codecs << format;
        }
    }
    // Text alone is no recording: a document or subtitles the library recognised under a media name.
    if (videos + info.Count_Get(MI::Stream_Audio) > 0 && !codecs.isEmpty())
        rows.set(Rows::codecs, codecs.join(QStringLiteral(", ")));

    if (!id3Date) {
        for (const QString &when : {general(__T("Recorded_Date")), movie.date, general(__T("Encoded_Date")),
                                    movie.created, general(__T("Tagged_Date"))}) {
            if (const auto date = mediaDate(when)) {
                rows.set(Rows::captured, *date);
                break;
            }
        }
    }
    info.Close();
}
