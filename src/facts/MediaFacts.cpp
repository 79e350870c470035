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

// A text the library puts where it could not read a value ("UTF-16 encoding not yet supported"): no value.
bool placeholder(const QString &value) {
    return value.contains(QStringLiteral("not yet supported"), Qt::CaseInsensitive);
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
    // A time of version 2.4 is in UTC; a day alone stays a day.
    const std::optional<QString> id3Date =
        mediaDate(id3.utc && id3.date.size() > 10 ? id3.date + QStringLiteral(" UTC") : id3.date);
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
    const auto general = [&](const MI::Char *field) {
        const QString value = text(info.Get(MI::Stream_General, 0, field));
        return placeholder(value) ? QString() : value;
    };
    const MovieTags movie = movieTags(fd);
    // Our own readers first: the library joins several artists with slashes, as if they were one name,
    // and misses tags it was not shown (an APE tag at the end, a comment block after a large picture).
    const NamedTags vorbis = vorbisTags(fd), ape = apeTag(fd);

    if (id3.title.isEmpty()) {
        for (const QString &title : {movie.title, vorbis.title, ape.title, general(__T("Title"))}) {
            if (!title.isEmpty()) {
                rows.set(Rows::title, title);
                break;
            }
        }
    }
    // The artist, wherever the container keeps it (RIFF files name theirs the director, Matroska's tag
    // keeps its own name).
    if (id3.artists.isEmpty()) {
        const QStringList artists = !vorbis.artists.isEmpty() ? vorbis.artists : ape.artists;
        if (!artists.isEmpty())
            rows.set(Rows::authors, artists.join(QStringLiteral(", ")));
        else
            for (const QString &who : {movie.artist, general(__T("Performer")), general(__T("ARTIST")),
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

    // WavPack tells its length in its first block's header, which the library may not follow.
    bool okDuration = false;
    const double ms = text(info.Get(MI::Stream_General, 0, __T("Duration"))).toDouble(&okDuration);
    if (const std::optional<double> seconds = wavpackSeconds(fd, id3.end))
        rows.set(Rows::duration, QString::number(*seconds, 'f', 3));
    else if (okDuration)
        rows.set(Rows::duration, QString::number(ms / 1000.0, 'f', 3));

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

    if (!id3Date && !movie.recorded.isEmpty()) {
        rows.set(Rows::captured, movie.recorded);
    } else if (!id3Date) {
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
