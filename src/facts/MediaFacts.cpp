#include "facts/MediaTags.h"
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
