#include "facts/Rows.h"

#include <MediaInfo/MediaInfo.h>
#include <QDateTime>
#include <QStringList>
#include <QTimeZone>
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
    if (utc) {
        dt.setTimeZone(QTimeZone::utc());
        return dt.toString(Qt::ISODate);
    }
    return value;
}

// The library reads from our descriptor, going where it asks, but no more than a few mebibytes in all:
// a huge file is never read through, whatever its headers say.
bool feed(MI::MediaInfo &info, int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size <= 0) return false;
    const ZenLib::int64u size = ZenLib::int64u(st.st_size);
    constexpr qint64 kBudget = 16 * 1024 * 1024;
    std::vector<unsigned char> buf(256 * 1024);
    info.Open_Buffer_Init(size, 0);
    ZenLib::int64u at = 0;
    for (qint64 fed = 0; fed < kBudget && at < size;) {
        const ssize_t n = ::pread(fd, buf.data(), buf.size(), off_t(at));
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
    MI::MediaInfo info;
    // The headers are enough: a long file is never read through.
    info.Option(__T("ParseSpeed"), __T("0"));
    info.Option(__T("Internet"), __T("No"));
    if (!feed(info, fd)) return;

    const QString title = text(info.Get(MI::Stream_General, 0, __T("Title")));
    if (!title.isEmpty()) rows.set(Rows::title, title);
    // The artist, wherever the container keeps it (RIFF files name theirs the director).
    for (const MI::Char *field : {__T("Performer"), __T("Director"), __T("Composer")}) {
        const QString who = text(info.Get(MI::Stream_General, 0, field));
        if (!who.isEmpty()) {
            rows.set(Rows::authors, who);
            break;
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
    if (!codecs.isEmpty()) rows.set(Rows::codecs, codecs.join(QStringLiteral(", ")));

    for (const MI::Char *field : {__T("Recorded_Date"), __T("Encoded_Date"), __T("Tagged_Date")}) {
        if (const auto date = mediaDate(text(info.Get(MI::Stream_General, 0, field)))) {
            rows.set(Rows::captured, *date);
            break;
        }
    }
    info.Close();
}
