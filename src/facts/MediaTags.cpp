#include "facts/MediaTags.h"

#include "facts/ImageHeader.h"

#include <QByteArray>
#include <QDateTime>
#include <QRegularExpression>
#include <QTimeZone>
#include <algorithm>
#include <cstring>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

namespace {

// No text we show comes near this; a frame, comment or item larger than it is passed by.
constexpr qint64 kMostText = 64 * 1024;

quint32 le32(const unsigned char *p) {
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

// A zlib stream inflated to at most `most` bytes; nothing when it is damaged or would be larger.
std::optional<QByteArray> inflated(const QByteArray &data, qint64 most) {
    QByteArray out(qsizetype(most), '\0');
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return std::nullopt;
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = uInt(out.size());
    const int result = inflate(&z, Z_FINISH);
    const qsizetype n = out.size() - qsizetype(z.avail_out);
    inflateEnd(&z);
    if (result != Z_STREAM_END) return std::nullopt;
    out.resize(n);
    return out;
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

// The bytes of a packet or block that lies in pieces across the file (an Ogg packet over its pages),
// read by their offset within it.
class Pieces {
public:
    void add(qint64 fileAt, qint64 size) {
        if (!m_list.empty() && m_list.back().fileAt + m_list.back().size == fileAt)
            m_list.back().size += size;
        else
            m_list.push_back({m_size, fileAt, size});
        m_size += size;
    }
    qint64 size() const { return m_size; }
    // All n bytes from `at` on, or none.
    QByteArray read(int fd, qint64 at, qint64 n) const {
        if (at < 0 || n < 0 || n > m_size - at) return {};
        QByteArray out(qsizetype(n), '\0');
        auto piece = std::upper_bound(m_list.begin(), m_list.end(), at,
                                      [](qint64 v, const Piece &p) { return v < p.at; });
        for (qint64 done = 0; done < n; ++piece) {
            const Piece &p = *(piece - 1);
            const qint64 from = at + done - p.at, take = std::min(n - done, p.size - from);
            if (::pread(fd, out.data() + done, size_t(take), off_t(p.fileAt + from)) != ssize_t(take))
                return {};
            done += take;
        }
        return out;
    }

private:
    struct Piece {
        qint64 at, fileAt, size;
    };
    std::vector<Piece> m_list;
    qint64 m_size = 0;
};

// A Vorbis comment block ("TITLE=…", "ARTIST=…", one entry each) from `at` in its pieces, with the
// artists as the library would pick them: the performers where there are any, else the artists. Long
// entries (pictures) are passed by unread.
NamedTags commentTags(int fd, const Pieces &block, qint64 at) {
    const auto u32 = [&](qint64 pos) -> qint64 {
        const QByteArray b = block.read(fd, pos, 4);
        return b.size() == 4 ? qint64(le32(reinterpret_cast<const unsigned char *>(b.constData()))) : -1;
    };
    const qint64 vendor = u32(at);
    if (vendor < 0) return {};
    at += 4 + vendor;
    const qint64 entries = u32(at);
    at += 4;
    NamedTags tags;
    QStringList performers;
    for (qint64 i = 0; i < entries && i < 65536; ++i) {
        const qint64 length = u32(at);
        if (length < 0 || length > block.size() - at - 4) break;
        const qint64 body = at + 4;
        at = body + length;
        const QByteArray head = block.read(fd, body, std::min<qint64>(length, 10));
        const qsizetype eq = head.indexOf('=');
        if (eq < 0 || length > kMostText) continue;
        const QByteArray key = head.left(eq).toUpper();
        if (key != "TITLE" && key != "ARTIST" && key != "PERFORMER") continue;
        const QString name = QString::fromUtf8(block.read(fd, body + eq + 1, length - eq - 1)).trimmed();
        if (name.isEmpty()) continue;
        if (key == "ARTIST")
            tags.artists << name;
        else if (key == "PERFORMER")
            performers << name;
        else if (tags.title.isEmpty())
            tags.title = name;
    }
    if (!performers.isEmpty()) tags.artists = performers;
    return tags;
}

} // namespace

Id3Tag id3Tag(int fd) {
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
        bool compressed = false;
        if (version == 3) {
            if (format & 0x40) continue; // encrypted
            compressed = format & 0x80;
            if (compressed) skip += 4;    // the length inflated
            if (format & 0x20) skip += 1; // group
        } else if (version == 4) {
            if (format & 0x04) continue; // encrypted
            compressed = format & 0x08;
            if (format & 0x40) skip += 1; // group
            if (format & 0x01) skip += 4; // the length before any unsynchronisation and compression
        }
        data = data.mid(skip);
        if (version == 4 && ((format & 0x02) || (flags & 0x80))) data = resynchronised(data);
        if (compressed) {
            const std::optional<QByteArray> whole = inflated(data, kMostText);
            if (!whole) continue;
            data = *whole;
        }
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
        else if (id == "TDRC") {
            tag.date = values.first();
            tag.utc = true;
        } else if (id == "TYER" || id == "TYE")
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
    // The tags of a meta box: its item list, and the names of its items where they are named by keys.
    const auto itemsOf = [&](const IsoBox &meta) -> std::pair<std::optional<IsoBox>, std::optional<IsoBox>> {
        // A full box, but QuickTime's has no version and flags: its first child follows at once.
        char peek[8];
        const bool bare =
            ::pread(fd, peek, 8, off_t(meta.body)) == 8 && std::memcmp(peek + 4, "hdlr", 4) == 0;
        const int64_t first = meta.body + (bare ? 0 : 4);
        return {isoChild(fd, meta, first, "ilst"), isoChild(fd, meta, first, "keys")};
    };
    const auto value = [&](const IsoBox &ilst, const char *type) -> QString {
        const auto item = isoChild(fd, ilst, ilst.body, type);
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

    // ©nam, ©ART, ©day (the copyright sign in Latin-1), from the first list that has each: a writer may
    // leave a user data box of its own beside the one with the tags.
    const auto fill = [&](const IsoBox &ilst) {
        if (tags.title.isEmpty()) tags.title = value(ilst, "\251nam");
        if (tags.artist.isEmpty()) tags.artist = value(ilst, "\251ART");
        if (tags.date.isEmpty()) tags.date = value(ilst, "\251day");
    };
    // The keys a phone writes: each item of the list is named by the number of its key, from one on.
    QString title, author, artist, created;
    const auto named = [&](const IsoBox &ilst, const IsoBox &keys) {
        unsigned char head[8];
        if (keys.end - keys.body < 8 || ::pread(fd, head, 8, off_t(keys.body)) != 8) return;
        const quint32 count =
            quint32(head[4]) << 24 | quint32(head[5]) << 16 | quint32(head[6]) << 8 | head[7];
        int64_t at = keys.body + 8;
        for (quint32 index = 1; index <= count && index <= 4096 && at + 8 <= keys.end; ++index) {
            unsigned char entry[8 + 64];
            if (::pread(fd, entry, 8, off_t(at)) != 8) break;
            const int64_t size =
                int64_t(entry[0]) << 24 | int64_t(entry[1]) << 16 | int64_t(entry[2]) << 8 | entry[3];
            if (size < 8 || size > keys.end - at) break;
            const int64_t nameSize = size - 8;
            at += size;
            if (std::memcmp(entry + 4, "mdta", 4) != 0 || nameSize > 64 ||
                ::pread(fd, entry + 8, size_t(nameSize), off_t(at - nameSize)) != ssize_t(nameSize))
                continue;
            const QByteArray name(reinterpret_cast<const char *>(entry + 8), qsizetype(nameSize));
            QString *wanted = name == "com.apple.quicktime.title"          ? &title
                              : name == "com.apple.quicktime.author"       ? &author
                              : name == "com.apple.quicktime.artist"       ? &artist
                              : name == "com.apple.quicktime.creationdate" ? &created
                                                                           : nullptr;
            if (!wanted || !wanted->isEmpty()) continue;
            const char type[4] = {char(index >> 24), char(index >> 16), char(index >> 8), char(index)};
            *wanted = value(ilst, type);
        }
    };
    // Phones keep their meta box in the movie box, other writers in its user data.
    const auto read = [&](const IsoBox &meta) {
        const auto [ilst, keys] = itemsOf(meta);
        if (ilst) fill(*ilst);
        if (ilst && keys) named(*ilst, *keys);
    };
    auto udta = isoChild(fd, *moov, moov->body, "udta");
    for (int n = 0; udta && n < 16; ++n, udta = isoChild(fd, *moov, udta->end, "udta"))
        if (const auto meta = isoChild(fd, *udta, udta->body, "meta")) read(*meta);
    if (const auto meta = isoChild(fd, *moov, moov->body, "meta")) read(*meta);
    if (tags.title.isEmpty()) tags.title = title;
    if (tags.artist.isEmpty()) tags.artist = artist.isEmpty() ? author : artist;
    // "2021-06-05T14:03:07+0200": the time where it was taken, with its offset.
    QString when = created;
    static const QRegularExpression offset(QStringLiteral("([+-]\\d\\d)(\\d\\d)$"));
    when.replace(offset, QStringLiteral("\\1:\\2"));
    const QDateTime dt = QDateTime::fromString(when, Qt::ISODate);
    if (dt.isValid() && when.size() > 19) tags.recorded = dt.toString(Qt::ISODate);
    return tags;
}

NamedTags vorbisTags(int fd) {
    unsigned char h[27 + 255];
    if (::pread(fd, h, 4, 0) != 4) return {};
    if (std::memcmp(h, "fLaC", 4) == 0) {
        struct stat st {};
        if (::fstat(fd, &st) != 0) return {};
        // The metadata blocks by their headers: a picture of any size is stepped over.
        qint64 at = 4;
        for (int n = 0; n < 1024 && ::pread(fd, h, 4, off_t(at)) == 4; ++n) {
            const qint64 length = qint64(h[1]) << 16 | qint64(h[2]) << 8 | h[3];
            if ((h[0] & 0x7F) == 4) {
                Pieces block;
                block.add(at + 4, std::min<qint64>(length, qint64(st.st_size) - at - 4));
                return commentTags(fd, block, 0);
            }
            if (h[0] & 0x80) break; // the last block
            at += 4 + length;
        }
        return {};
    }
    if (std::memcmp(h, "OggS", 4) != 0) return {};
    // The first two packets of the first stream, gathered from its pages' segments; other streams' pages
    // between them are passed by.
    Pieces packets[2];
    int packet = 0;
    std::optional<quint32> serial;
    qint64 at = 0;
    for (int pages = 0; pages < 32768 && packet < 2; ++pages) {
        if (::pread(fd, h, 27, off_t(at)) != 27 || std::memcmp(h, "OggS", 4) != 0 || h[4] != 0) break;
        const int segments = h[26];
        if (::pread(fd, h + 27, size_t(segments), off_t(at + 27)) != segments) break;
        const quint32 pageSerial = le32(h + 14);
        const bool ours = !serial || *serial == pageSerial;
        if (!serial) serial = pageSerial;
        qint64 body = at + 27 + segments;
        for (int i = 0; i < segments; ++i) {
            const int lace = h[27 + i];
            if (ours && packet < 2) {
                packets[packet].add(body, lace);
                if (lace < 255) ++packet;
            }
            body += lace;
        }
        at = body;
    }
    if (packet < 2) return {};
    const QByteArray first = packets[0].read(fd, 0, std::min<qint64>(packets[0].size(), 8));
    const QByteArray second = packets[1].read(fd, 0, std::min<qint64>(packets[1].size(), 8));
    if (first.startsWith("\x01vorbis") && second.startsWith("\x03vorbis"))
        return commentTags(fd, packets[1], 7);
    if (first.startsWith("OpusHead") && second.startsWith("OpusTags")) return commentTags(fd, packets[1], 8);
    // FLAC in Ogg: the second packet is a metadata block, the comments first among them.
    if (first.startsWith("\x7F"
                         "FLAC") &&
        second.size() >= 4 && (quint8(second[0]) & 0x7F) == 4)
        return commentTags(fd, packets[1], 4);
    return {};
}

NamedTags apeTag(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return {};
    qint64 end = qint64(st.st_size);
    char id3v1[3];
    if (end >= 128 && ::pread(fd, id3v1, 3, off_t(end - 128)) == 3 && std::memcmp(id3v1, "TAG", 3) == 0)
        end -= 128;
    unsigned char footer[32];
    if (end < 32 || ::pread(fd, footer, 32, off_t(end - 32)) != 32 || std::memcmp(footer, "APETAGEX", 8) != 0)
        return {};
    const qint64 size = le32(footer + 12), count = le32(footer + 16);
    const qint64 itemsEnd = end - 32;
    qint64 at = end - size; // the size counts the items and the footer
    if (size < 32 || at < 0) return {};
    NamedTags tags;
    for (qint64 n = 0; n < count && n < 4096 && at + 10 <= itemsEnd; ++n) {
        unsigned char item[8 + 256];
        const qint64 want = std::min<qint64>(sizeof item, itemsEnd - at);
        if (::pread(fd, item, size_t(want), off_t(at)) != want) break;
        const qint64 length = le32(item);
        const auto *nul = static_cast<const unsigned char *>(std::memchr(item + 8, 0, size_t(want - 8)));
        if (!nul) break;
        const QByteArray key = QByteArray(reinterpret_cast<const char *>(item + 8), nul - item - 8).toLower();
        const qint64 value = at + (nul - item) + 1;
        if (length > itemsEnd - value) break;
        at = value + length;
        const bool text = (le32(item + 4) & 0x06) == 0;
        if (!text || length > kMostText || (key != "title" && key != "artist")) continue;
        QByteArray bytes(qsizetype(length), '\0');
        if (::pread(fd, bytes.data(), size_t(length), off_t(value)) != ssize_t(length)) break;
        QStringList values; // several, separated by NULs
        for (const QByteArray &part : bytes.split('\0'))
            if (const QString v = QString::fromUtf8(part).trimmed(); !v.isEmpty()) values << v;
        if (values.isEmpty()) continue;
        if (key == "title")
            tags.title = values.first();
        else
            tags.artists = values;
    }
    return tags;
}

std::optional<double> wavpackSeconds(int fd, qint64 at) {
    unsigned char h[32];
    if (::pread(fd, h, sizeof h, off_t(at)) != ssize_t(sizeof h) || std::memcmp(h, "wvpk", 4) != 0)
        return std::nullopt;
    const int version = h[8] | h[9] << 8;
    const quint32 low = le32(h + 12), flags = le32(h + 24);
    // All ones: a length not known when the header was written. DSD and rates of their own are not
    // told by the header alone.
    if (version < 0x402 || version > 0x410 || low == 0xFFFFFFFF || (flags & 0x80000000)) return std::nullopt;
    static constexpr int kRates[] = {6000,  8000,  9600,  11025, 12000, 16000, 22050, 24000,
                                     32000, 44100, 48000, 64000, 88200, 96000, 192000};
    const quint32 rate = flags >> 23 & 0x0F;
    if (rate >= std::size(kRates)) return std::nullopt;
    const quint64 samples = quint64(h[11]) << 32 | low;
    if (samples == 0) return std::nullopt;
    return double(samples) / kRates[rate];
}
