// Content facts of files as common tools write them, made here byte by byte, and of files that grow,
// lie about themselves or carry huge metadata.
#include "common/TestPdf.h"
#include "FormatFiles.h"
#include "common/TestUtil.h"
#include "core/localisation/FileFmt.h"
#include "core/model/FullDetails.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QtEndian>
#include <array>
#include <atomic>
#include <cstring>
#include <gtest/gtest.h>
#include <optional>
#include <thread>

namespace {

using namespace FormatFiles;

// --- FLAC: silence in constant frames of 576 samples at 8 kHz, with a title and an artist.
quint8 crc8(const QByteArray &bytes) {
    quint8 crc = 0;
    for (char c : bytes) {
        crc ^= quint8(c);
        for (int i = 0; i < 8; ++i)
            crc = quint8(crc & 0x80 ? (crc << 1) ^ 0x07 : crc << 1);
    }
    return crc;
}
quint16 crc16(const QByteArray &bytes) {
    quint16 crc = 0;
    for (char c : bytes) {
        crc ^= quint16(quint8(c) << 8);
        for (int i = 0; i < 8; ++i)
            crc = quint16(crc & 0x8000 ? (crc << 1) ^ 0x8005 : crc << 1);
    }
    return crc;
}
// The frames of `samples` of silence, 576 to a frame.
QList<QByteArray> flacFrames(quint64 samples) {
    QList<QByteArray> frames;
    for (quint64 n = 0; n * 576 < samples; ++n) {
        QByteArray frame("\xff\xf8\x24\x08", 4);
        if (n < 0x80)
            frame += char(n);
        else if (n < 0x800)
            frame += char(0xC0 | n >> 6) + QByteArray(1, char(0x80 | (n & 0x3F)));
        else
            frame += char(0xE0 | n >> 12) + QByteArray(1, char(0x80 | ((n >> 6) & 0x3F))) +
                     QByteArray(1, char(0x80 | (n & 0x3F)));
        frame += char(crc8(frame));
        frame += QByteArray(3, '\0'); // one constant subframe of value 0
        frames << frame + be(crc16(frame), 2);
    }
    return frames;
}
QByteArray flacBlock(int type, bool last, const QByteArray &body) {
    return char((last ? 0x80 : 0) | type) + be(quint64(body.size()), 3) + body;
}
QByteArray flacInfo(quint64 samples) {
    return be(576, 2) + be(576, 2) + be(11, 3) + be(13, 3) +
           be(quint64(8000) << 44 | quint64(15) << 36 | samples, 8) + QByteArray(16, '\0');
}
QByteArray vorbisComments(const QList<QByteArray> &tags) {
    QByteArray comments = le(4, 4) + "test" + le(quint64(tags.size()), 4);
    for (const QByteArray &c : tags)
        comments += le(quint64(c.size()), 4) + c;
    return comments;
}
// With a cover picture of `picture` bytes before the comments, as taggers put it.
QByteArray flac(int seconds, const QList<QByteArray> &tags = {"TITLE=Stille", "ARTIST=Niemand"},
                qsizetype picture = 0) {
    const quint64 samples = quint64(seconds) * 8000;
    QByteArray out = "fLaC" + flacBlock(0, false, flacInfo(samples));
    if (picture > 0) out += flacBlock(6, false, QByteArray(picture, '\x55'));
    out += flacBlock(4, false, vorbisComments(tags)) + flacBlock(1, true, QByteArray(8192, '\0'));
    return out + flacFrames(samples).join();
}

// --- MP3: an ID3v2.4 tag, then silent frames (MPEG-1 layer III, 128 kbit/s, 44.1 kHz, mono).
QByteArray syncsafe(quint32 n) {
    return QByteArray(1, char(n >> 21 & 0x7f)) + char(n >> 14 & 0x7f) + char(n >> 7 & 0x7f) + char(n & 0x7f);
}
QByteArray id3Frame(const char *id, const QByteArray &utf8) {
    const QByteArray body = '\x03' + utf8;
    return QByteArray(id) + syncsafe(quint32(body.size())) + QByteArray(2, '\0') + body;
}
QByteArray mp3Frames(int n) {
    return (QByteArray("\xff\xfb\x90\xc0", 4) + QByteArray(413, '\0')).repeated(n);
}
QByteArray mp3(const QByteArray &title, const QByteArray &artists, const QByteArray &date) {
    const QByteArray tag = id3Frame("TIT2", title) + id3Frame("TPE1", artists) + id3Frame("TDRC", date);
    return "ID3\x04" + QByteArray(2, '\0') + syncsafe(quint32(tag.size())) + tag + mp3Frames(200);
}
// A cover picture of some megabytes as music shops sell them: a JPEG's head and noise.
QByteArray cover(int bytes) {
    QByteArray noise(bytes, '\0');
    quint32 x = 1;
    for (char &c : noise)
        c = char((x = x * 1664525 + 1013904223) >> 24);
    return "\x03image/jpeg" + QByteArray("\0\x03\0\xff\xd8\xff\xe0", 7) + noise;
}
// Version 2.3: frame sizes in plain bytes, the date in three frames.
QByteArray mp3v23(const QByteArray &picture) {
    const auto frame = [](const char *id, const QByteArray &body) {
        return QByteArray(id) + be(quint64(body.size()), 4) + QByteArray(2, '\0') + body;
    };
    const auto text = [&](const char *id, const QByteArray &latin1) { return frame(id, '\0' + latin1); };
    const QByteArray tag = text("TIT2", "Alt") + text("TPE1", "Anna") + frame("APIC", picture) +
                           text("TYER", "2021") + text("TDAT", "0506") + text("TIME", "1403");
    return "ID3\x03" + QByteArray(2, '\0') + syncsafe(quint32(tag.size())) + tag + mp3Frames(200);
}

// --- M4B: one AAC track of `samples` frames of 1024 at 44.1 kHz, its index (a size for each frame) in
// the movie box, tags at the box's end; the movie box before or after the frames.
QByteArray box(const char *type, const QByteArray &body) {
    return be(quint64(body.size()) + 8, 4) + type + body;
}
// The tags as iTunes keeps them, in UTF-8 (kind 1) or UTF-16 (kind 2).
QByteArray itunesTags(int kind) {
    const auto item = [&](const char *type, const QString &text) {
        QByteArray bytes;
        if (kind == 1)
            bytes = text.toUtf8();
        else
            for (QChar c : text)
                bytes += be(c.unicode(), 2);
        return box(type, box("data", be(quint64(kind), 4) + be(0, 4) + bytes));
    };
    const QByteArray ilst = box("ilst", item("\251nam", "Hörbuch") + item("\251ART", "Anna Autorin") +
                                            item("\251day", "2021-06-05"));
    return box("udta",
               box("meta", be(0, 4) + box("hdlr", be(0, 8) + "mdirappl" + QByteArray(9, '\0')) + ilst));
}
QByteArray m4b(quint32 samples, bool indexFirst, const QByteArray &tags = itunesTags(1)) {
    const QByteArray ftyp = box("ftyp", "M4B " + be(0, 4) + "M4B isommp42");
    const QByteArray mvhd =
        box("mvhd", be(0, 4) + be(0, 8) + be(1000, 4) + be(quint64(samples) * 1024 * 1000 / 44100, 4) +
                        be(0x10000, 4) + be(0x100, 2) + QByteArray(10, '\0') + be(0x10000, 4) +
                        QByteArray(12, '\0') + be(0x10000, 4) + QByteArray(12, '\0') + be(0x40000000, 4) +
                        QByteArray(24, '\0') + be(2, 4));
    const QByteArray tkhd =
        box("tkhd", be(3, 4) + be(0, 8) + be(1, 4) + be(0, 4) +
                        be(quint64(samples) * 1024 * 1000 / 44100, 4) + QByteArray(8, '\0') + be(0, 4) +
                        be(0x100, 2) + be(0, 2) + be(0x10000, 4) + QByteArray(12, '\0') + be(0x10000, 4) +
                        QByteArray(12, '\0') + be(0x40000000, 4) + be(0, 8));
    const QByteArray mdhd = box("mdhd", be(0, 4) + be(0, 8) + be(44100, 4) + be(quint64(samples) * 1024, 4) +
                                            be(0x55c4, 2) + be(0, 2));
    const QByteArray hdlr = box("hdlr", be(0, 8) + "soun" + QByteArray(12, '\0') + "Sound" + '\0');
    const QByteArray esds =
        box("esds", be(0, 4) + QByteArray::fromHex("03190000000411401500000000000000000000000502"
                                                   "121006800000000000000000000000000000"));
    const QByteArray mp4a = box("mp4a", QByteArray(6, '\0') + be(1, 2) + be(0, 8) + be(2, 2) + be(16, 2) +
                                            be(0, 4) + be(44100u << 16, 4) + esds);
    const QByteArray stsd = box("stsd", be(0, 4) + be(1, 4) + mp4a);
    const QByteArray stts = box("stts", be(0, 4) + be(1, 4) + be(samples, 4) + be(1024, 4));
    const QByteArray stsc = box("stsc", be(0, 4) + be(1, 4) + be(1, 4) + be(samples, 4) + be(1, 4));
    const QByteArray stsz = box("stsz", be(0, 4) + be(0, 4) + be(samples, 4) + be(1, 4).repeated(samples));
    const QByteArray &udta = tags;
    const auto moov = [&](quint64 dataAt) {
        const QByteArray stbl =
            box("stbl", stsd + stts + stsc + stsz + box("stco", be(0, 4) + be(1, 4) + be(dataAt, 4)));
        const QByteArray minf =
            box("minf", box("smhd", be(0, 8)) +
                            box("dinf", box("dref", be(0, 4) + be(1, 4) + box("url ", be(1, 4)))) + stbl);
        return box("moov", mvhd + box("trak", tkhd + box("mdia", mdhd + hdlr + minf)) + udta);
    };
    const QByteArray mdat = box("mdat", QByteArray(samples, '\0'));
    if (!indexFirst) return ftyp + mdat + moov(ftyp.size() + 8);
    const quint64 moovSize = quint64(moov(0).size());
    return ftyp + moov(ftyp.size() + moovSize + 8) + mdat;
}

// --- MPEG transport stream: the MPEG audio frames above on one PID, each in a PES packet with its time
// stamp, the clock on the same PID, spread over the wanted seconds with null packets up to the wanted size.
quint32 mpegCrc(const QByteArray &bytes, quint32 crc = 0xFFFFFFFF) {
    for (char c : bytes) {
        crc ^= quint32(quint8(c)) << 24;
        for (int i = 0; i < 8; ++i)
            crc = crc & 0x80000000 ? (crc << 1) ^ 0x04C11DB7 : crc << 1;
    }
    return crc;
}
QByteArray tsPackets(int pid, const QByteArray &payload, std::optional<quint64> pcr, int &counter) {
    QByteArray out;
    for (qsizetype at = 0; at < payload.size();) {
        QByteArray field; // the adaptation field after its length
        if (at == 0 && pcr) field = '\x10' + be(*pcr << 15 | 0x7E00, 6);
        bool adapt = !field.isEmpty();
        qsizetype room = 184 - (adapt ? 1 + field.size() : 0);
        const qsizetype left = payload.size() - at;
        if (left < room) { // stuffing fills the packet
            const qsizetype size = 183 - left;
            if (field.isEmpty() && size > 0) field = QByteArray(1, '\0');
            field += QByteArray(size - field.size(), '\xff');
            adapt = true;
            room = left;
        }
        out += QByteArray(1, '\x47') + char((at == 0 ? 0x40 : 0) | pid >> 8) + char(pid & 0xff) +
               char((adapt ? 0x30 : 0x10) | (counter++ & 0x0f));
        if (adapt) out += char(field.size()) + field;
        out += payload.mid(at, room);
        at += room;
    }
    return out;
}
QByteArray psi(const QByteArray &body) {
    const QByteArray section = body.left(1) + be(0xB000 | quint64(body.size() - 1 + 4), 2) + body.mid(1);
    return '\0' + section + be(mpegCrc(section), 4);
}
QByteArray transportStream(double seconds, qint64 bytes = 0) {
    constexpr int kPmt = 0x1000, kAudio = 0x100;
    const QByteArray pat =
        psi(QByteArray(1, '\0') + be(1, 2) + QByteArray("\xc1\0\0", 3) + be(1, 2) + be(0xE000 | kPmt, 2));
    const QByteArray pmt =
        psi(QByteArray(1, '\x02') + be(1, 2) + QByteArray("\xc1\0\0", 3) + be(0xE000 | kAudio, 2) +
            QByteArray("\xf0\0\x03", 3) + be(0xE000 | kAudio, 2) + QByteArray("\xf0\0", 2));
    const QByteArray null = "\x47\x1f\xff\x10" + QByteArray(184, '\xff');
    const int frames = int(seconds * 44100 / 1152) + 1;
    const qint64 fillers = std::max<qint64>(0, bytes / 188 - qint64(frames) * 3) / frames;
    int counters[3] = {};
    QByteArray out;
    for (int i = 0; i < frames; ++i) {
        if (i % 20 == 0) out += tsPackets(0, pat, {}, counters[0]) + tsPackets(kPmt, pmt, {}, counters[1]);
        const quint64 t = quint64(i) * 1152 * 90000 / 44100;
        const QByteArray stamp = QByteArray(1, char(0x21 | (t >> 29 & 0x0E))) +
                                 be((t >> 14 & 0xFFFE) | 1, 2) + be((t << 1 & 0xFFFE) | 1, 2);
        const QByteArray frame = mp3Frames(1);
        const QByteArray pes =
            QByteArray("\0\0\1\xc0", 4) + be(quint64(frame.size() + 8), 2) + "\x80\x80\x05" + stamp + frame;
        out += tsPackets(kAudio, pes, t, counters[2]) + null.repeated(fillers);
    }
    return out;
}

// --- Ogg Opus: the two header packets with the tags, then silent packets of 20 ms on one page.
QByteArray oggRaw(int type, quint64 granule, quint32 sequence, const QByteArray &lacing,
                  const QByteArray &body) {
    QByteArray page = "OggS" + QByteArray(1, '\0') + char(type) + le(granule, 8) + le(7, 4) +
                      le(sequence, 4) + le(0, 4) + char(lacing.size()) + lacing + body;
    const QByteArray crc = le(mpegCrc(page, 0), 4);
    return page.replace(22, 4, crc);
}
QByteArray oggPage(int type, quint64 granule, quint32 sequence, const QList<QByteArray> &packets) {
    QByteArray lacing, body;
    for (const QByteArray &p : packets) {
        lacing += QByteArray(p.size() / 255, '\xff') + char(p.size() % 255);
        body += p;
    }
    return oggRaw(type, granule, sequence, lacing, body);
}
// One packet over as many pages as it takes (255 segments at most on a page), from page `sequence` on.
QByteArray oggPacket(quint32 &sequence, const QByteArray &packet) {
    constexpr qsizetype kPage = 255 * 255;
    QByteArray out;
    qsizetype at = 0;
    for (; packet.size() - at >= kPage; at += kPage)
        out += oggRaw(at ? 1 : 0, ~quint64(0), sequence++, QByteArray(255, '\xff'), packet.mid(at, kPage));
    const qsizetype left = packet.size() - at;
    return out + oggRaw(at ? 1 : 0, 0, sequence++, QByteArray(left / 255, '\xff') + char(left % 255),
                        packet.mid(at));
}
QByteArray opus(const QList<QByteArray> &tags) {
    const QByteArray head = "OpusHead\x01\x01" + le(0, 2) + le(48000, 4) + le(0, 2) + '\0';
    quint32 sequence = 1;
    QByteArray out = oggPage(2, 0, 0, {head}) + oggPacket(sequence, "OpusTags" + vorbisComments(tags));
    return out + oggPage(4, 96000, sequence, QList<QByteArray>(100, QByteArray("\xf8\xff\xfe")));
}
// FLAC in Ogg: the stream's header with its information block, the comments, the frames.
QByteArray oggFlac(int seconds, const QList<QByteArray> &tags) {
    const quint64 samples = quint64(seconds) * 8000;
    const QByteArray head = "\x7f"
                            "FLAC\x01" +
                            QByteArray(1, '\0') + be(1, 2) + "fLaC" + flacBlock(0, false, flacInfo(samples));
    QByteArray out = oggPage(2, 0, 0, {head}) + oggPage(0, 0, 1, {flacBlock(4, true, vorbisComments(tags))});
    const QList<QByteArray> frames = flacFrames(samples);
    for (qsizetype i = 0; i < frames.size(); i += 200) {
        const QList<QByteArray> some = frames.mid(i, 200);
        const bool last = i + 200 >= frames.size();
        out += oggPage(last ? 4 : 0, std::min<quint64>(quint64(i + some.size()) * 576, samples),
                       quint32(2 + i / 200), some);
    }
    return out;
}

// --- ASF: the header alone, with a play duration and the creation date a writer leaves without one (its
// zero, in the format's own count of time since 1601, is the Unix epoch).
QByteArray guid(const char *hex) {
    const QByteArray b = QByteArray::fromHex(hex);
    return le(qFromBigEndian<quint32>(b.constData()), 4) + le(qFromBigEndian<quint16>(b.constData() + 4), 2) +
           le(qFromBigEndian<quint16>(b.constData() + 6), 2) + b.mid(8);
}
QByteArray asf(quint64 created) {
    const QByteArray props = guid("8CABDCA1A94711CF8EE400C00C205365") + le(104, 8) + QByteArray(16, '\1') +
                             le(0, 8) + le(created, 8) + le(0, 8) + le(30'000'000 + 30'000'000, 8) +
                             le(30'000'000, 8) + le(3000, 8) + le(2, 4) + le(3200, 4) + le(3200, 4) +
                             le(128000, 4);
    return guid("75B22630668E11CFA6D900AA0062CE6C") + le(30 + quint64(props.size()), 8) + le(1, 4) +
           "\x01\x02" + props;
}

// --- Matroska: one sound track and a tag for the whole file.
QByteArray element(quint32 id, const QByteArray &body) {
    QByteArray ids = be(id, 4);
    while (ids.startsWith('\0'))
        ids.remove(0, 1);
    return ids + '\x01' + be(quint64(body.size()), 7) + body;
}
QByteArray uintElement(quint32 id, quint64 v) {
    return element(id, be(v, 8));
}
QByteArray floatElement(quint32 id, double v) {
    quint64 bits;
    std::memcpy(&bits, &v, 8);
    return element(id, be(bits, 8));
}
QByteArray mkv(const QByteArray &artist) {
    const QByteArray header =
        element(0x1A45DFA3, uintElement(0x4286, 1) + uintElement(0x42F7, 1) + uintElement(0x42F2, 4) +
                                uintElement(0x42F3, 8) + element(0x4282, "matroska") +
                                uintElement(0x4287, 4) + uintElement(0x4285, 2));
    const QByteArray info = element(0x1549A966, uintElement(0x2AD7B1, 1000000) + element(0x4D80, "test") +
                                                    element(0x5741, "test") + floatElement(0x4489, 3000));
    const QByteArray audio =
        element(0xE1, floatElement(0xB5, 8000) + uintElement(0x9F, 1) + uintElement(0x6264, 16));
    const QByteArray tracks =
        element(0x1654AE6B, element(0xAE, uintElement(0xD7, 1) + uintElement(0x73C5, 1) +
                                              uintElement(0x83, 2) + element(0x86, "A_PCM/INT/LIT") + audio));
    const QByteArray tags =
        element(0x1254C367,
                element(0x7373, element(0x63C0, uintElement(0x68CA, 50)) +
                                    element(0x67C8, element(0x45A3, "ARTIST") + element(0x4487, artist))));
    return header + element(0x18538067, info + tracks + tags);
}

// --- TIFF, uncompressed, one strip; photometric 1 (grey), 2 (RGB), 5 (CMYK) or 8 (CIELab).
QByteArray tiff(int w, int h, int photometric, int samples) {
    const QList<std::array<quint32, 3>> tags{{256, 3, quint32(w)},
                                             {257, 3, quint32(h)},
                                             {258, 3, 8},
                                             {259, 3, 1},
                                             {262, 3, quint32(photometric)},
                                             {273, 4, 0},
                                             {277, 3, quint32(samples)},
                                             {278, 3, quint32(h)},
                                             {279, 4, quint32(w * h * samples)},
                                             {284, 3, 1}};
    const quint32 ifdEnd = 8 + 2 + quint32(tags.size()) * 12 + 4;
    const quint32 bpsAt = ifdEnd, pixelsAt = ifdEnd + quint32(samples) * 2;
    QByteArray out = QByteArray("II*\0", 4) + le(8, 4) + le(quint64(tags.size()), 2);
    for (const auto &[tag, type, value] : tags) {
        const quint32 count = tag == 258 ? quint32(samples) : 1;
        quint32 v = tag == 273 ? pixelsAt : value;
        if (tag == 258 && samples > 2) v = bpsAt;
        out += le(tag, 2) + le(type, 2) + le(count, 4) +
               (type == 3 && !(tag == 258 && samples > 2)
                    ? le(v, 2) + (tag == 258 && samples == 2 ? le(8, 2) : le(0, 2))
                    : le(v, 4));
    }
    out += le(0, 4);
    for (int i = 0; i < samples; ++i)
        out += le(8, 2);
    return out + QByteArray(w * h * samples, '\x60');
}

// --- WebP, lossless: the header with the size, and no picture worth decoding.
QByteArray webp(int w, int h) {
    const QByteArray vp8l = '\x2f' + le(quint32(w - 1) | quint32(h - 1) << 14, 4) + QByteArray(7, '\0');
    const QByteArray body = "WEBP" + QByteArray("VP8L") + le(quint64(vp8l.size()), 4) + vp8l;
    return "RIFF" + le(quint64(body.size()), 4) + body;
}

// --- PNG of any colour type, with an optional chunk before the pixels.
quint32 crc32(const QByteArray &bytes) {
    quint32 crc = 0xFFFFFFFF;
    for (char c : bytes) {
        crc ^= quint8(c);
        for (int i = 0; i < 8; ++i)
            crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320 : crc >> 1;
    }
    return ~crc;
}
QByteArray pngChunk(const char *type, const QByteArray &data) {
    return be(quint64(data.size()), 4) + type + data + be(crc32(type + data), 4);
}
QByteArray png(int w, int h, int colourType, int channels, const QByteArray &extra = {}) {
    const QByteArray row = '\0' + QByteArray(w * channels, '\x80');
    return "\x89PNG\r\n\x1a\n" +
           pngChunk("IHDR",
                    be(quint64(w), 4) + be(quint64(h), 4) + '\x08' + char(colourType) + QByteArray(3, '\0')) +
           extra + pngChunk("IDAT", qCompress(row.repeated(h), 9).mid(4)) + pngChunk("IEND", {});
}

// --- ID3v2.4 frames with format flags (0x08 compressed, 0x02 unsynchronised, 0x01 with a data length), and
// a tag whose size says `off` bytes more or less than its frames take.
QByteArray id3Frame24(const char *id, quint8 format, const QByteArray &data) {
    return QByteArray(id) + syncsafe(quint32(data.size())) + '\0' + char(format) + data;
}
QByteArray mp3v24(const QByteArray &frames, int off = 0) {
    return "ID3\x04" + QByteArray(2, '\0') + syncsafe(quint32(frames.size() + off)) + frames + mp3Frames(200);
}

// --- WavPack: blocks of a second each, as encoders write them, the first header with the whole length.
QByteArray wavpack(quint32 samples) {
    QByteArray out;
    for (quint32 at = 0; at < samples; at += 44100) {
        const QByteArray bits = QByteArray("\x0a\x02", 2) + QByteArray(4, '\0');
        out += "wvpk" + le(24 + quint64(bits.size()), 4) + le(0x410, 2) + QByteArray(2, '\0') +
               le(at == 0 ? samples : 0, 4) + le(at, 4) + le(std::min(44100u, samples - at), 4) +
               le(0x04bc1805, 4) + le(0, 4) + bits; // 16 bits, 44.1 kHz
    }
    return out;
}

// --- A phone's tags: named keys, the list's items numbered after them.
QByteArray keysMeta(const QList<std::pair<QByteArray, QByteArray>> &values) {
    QByteArray keys = be(0, 4) + be(quint64(values.size()), 4), items;
    for (qsizetype i = 0; i < values.size(); ++i) {
        keys += be(quint64(values[i].first.size()) + 8, 4) + "mdta" + values[i].first;
        // A box named by a number, which has no name to spell.
        const QByteArray data = box("data", be(1, 4) + be(0, 4) + values[i].second);
        items += be(quint64(data.size()) + 8, 4) + be(quint64(i) + 1, 4) + data;
    }
    return box("meta", box("hdlr", be(0, 8) + "mdta" + QByteArray(13, '\0')) + box("keys", keys) +
                           box("ilst", items));
}

// --- TTA: the header and its index, frames of nothing, and what follows them.
QByteArray tta(int seconds, const QByteArray &tail) {
    const quint32 samples = quint32(seconds) * 44100, frameSamples = 44100 * 256 / 245;
    QByteArray header = "TTA1" + le(1, 2) + le(1, 2) + le(16, 2) + le(44100, 4) + le(samples, 4);
    header += le(crc32(header), 4);
    QByteArray index;
    const quint32 frames = (samples + frameSamples - 1) / frameSamples;
    for (quint32 i = 0; i < frames; ++i)
        index += le(100, 4);
    index += le(crc32(index), 4);
    return header + index + QByteArray(100 * int(frames), '\0') + tail;
}
// An APEv2 tag of text items, with its footer.
QByteArray apeTag(const QList<std::pair<QByteArray, QByteArray>> &items) {
    QByteArray body;
    for (const auto &[key, value] : items)
        body += le(quint64(value.size()), 4) + le(0, 4) + key + '\0' + value;
    return body + "APETAGEX" + le(2000, 4) + le(quint64(body.size()) + 32, 4) + le(quint64(items.size()), 4) +
           le(0, 4) + QByteArray(8, '\0');
}

// --- CAF: 16-bit PCM at 8 kHz.
QByteArray caf(int seconds) {
    const double rate = 8000;
    quint64 bits;
    std::memcpy(&bits, &rate, 8);
    const QByteArray desc = be(bits, 8) + "lpcm" + be(2, 4) + be(2, 4) + be(1, 4) + be(1, 4) + be(16, 4);
    const qsizetype bytes = seconds * 8000 * 2;
    return "caff" + be(1, 2) + be(0, 2) + "desc" + be(quint64(desc.size()), 8) + desc + "data" +
           be(quint64(bytes) + 4, 8) + be(0, 4) + QByteArray(bytes, '\0');
}

// Local time as in New York, for the test and the helper it starts.
class NewYorkTime {
public:
    NewYorkTime() : m_had(qEnvironmentVariableIsSet("TZ")), m_old(qgetenv("TZ")) {
        qputenv("TZ", "EST5EDT,M3.2.0,M11.1.0");
        tzset();
    }
    ~NewYorkTime() {
        if (m_had)
            qputenv("TZ", m_old);
        else
            qunsetenv("TZ");
        tzset();
    }

private:
    bool m_had;
    QByteArray m_old;
};

using TestPdf::fromObjects;
const QByteArray kPage = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] >>";

using FileFormats = FormatFiles::Fixture;

} // namespace

TEST_F(FileFormats, LongSilentFlacIsFlac) {
    EXPECT_EQ(rowsOf(write("stille.flac", flac(1000))),
              (QStringList{"Titel=Stille", "Autoren=Niemand", "Dauer=16:40", "Codecs=FLAC"}));
}

// Every artist of the tag, a day without a time as the day alone, a title cut instead of lost.
TEST_F(FileFormats, ArtistsDatesAndTitlesAsTaggedAndBounded) {
    const QString day = FileFmt::date().dateString(QDateTime(QDate(2021, 6, 5), QTime(0, 0)));
    EXPECT_EQ(rowsOf(write("zwei.mp3", mp3("Zwei", QByteArray("Anna\0Ben", 8), "2021-06-05"))),
              (QStringList{"Titel=Zwei", "Autoren=Anna, Ben", "Dauer=0:05", "Codecs=MPEG Audio",
                           "Aufnahme=" + day}));
    EXPECT_EQ(rowsOf(write("lied.mkv", mkv("Anna Artist"))),
              (QStringList{"Autoren=Anna Artist", "Dauer=0:03", "Codecs=PCM"}));

    // A control character goes, the rest stays; a long title ends in "…" within what the app takes.
    const QByteArray title = "Ab\xc2\x85"
                             "c" +
                             QByteArray(3000, 'x');
    const QStringList rows = rowsOf(write("lang.mp3", mp3(title, "Anna", "2021-06-05")));
    ASSERT_FALSE(rows.isEmpty());
    EXPECT_EQ(rows.first(), "Titel=Abc" + QString(2042, u'x') + QChar(0x2026));
}

// A recording still being written: its rows are those of what was there when it was looked at.
TEST_F(FileFormats, AGrowingFileStillGivesItsRows) {
    const QString path = write("aufnahme.mp3", mp3("Live", "Anna", "2021-06-05"));
    std::atomic<bool> stop = false;
    std::thread writer([&] {
        QFile file(path);
        if (!file.open(QIODevice::Append)) return;
        while (!stop) {
            file.write(mp3Frames(8));
            file.flush();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    for (int i = 0; i < 5; ++i) {
        const QStringList rows = rowsOf(path);
        EXPECT_TRUE(rows.contains("Titel=Live")) << rows.join(u'|').toStdString();
        EXPECT_TRUE(rows.contains("Codecs=MPEG Audio")) << rows.join(u'|').toStdString();
    }
    stop = true;
    writer.join();
}

TEST_F(FileFormats, TiffWebpAndGreyWithAlpha) {
    EXPECT_EQ(rowsOf(write("rgb.tif", tiff(40, 30, 2, 3))), (QStringList{"Auflösung=40×30", "Farbraum=RGB"}));
    EXPECT_EQ(rowsOf(write("druck.tif", tiff(40, 30, 5, 4))),
              (QStringList{"Auflösung=40×30", "Farbraum=CMYK"}));
    EXPECT_EQ(rowsOf(write("grau.tif", tiff(40, 30, 1, 1))),
              (QStringList{"Auflösung=40×30", "Farbraum=Gray"}));
    EXPECT_EQ(rowsOf(write("lab.tif", tiff(40, 30, 8, 3))), (QStringList{"Auflösung=40×30", "Farbraum=Lab"}));
    EXPECT_EQ(rowsOf(write("bild.webp", webp(40, 30))), (QStringList{"Auflösung=40×30", "Farbraum=RGB"}));
    EXPECT_EQ(rowsOf(write("grau.png", png(40, 30, 0, 1))),
              (QStringList{"Auflösung=40×30", "Farbraum=Gray"}));
    EXPECT_EQ(rowsOf(write("grau-alpha.png", png(40, 30, 4, 2))),
              (QStringList{"Auflösung=40×30", "Farbraum=Gray"}));
}

// 60 MB of metadata before the pixels: the size and colour are in the header all the same.
TEST_F(FileFormats, HugeMetadataCostsOnlyItsOwnRows) {
    const QByteArray xmp = "XML:com.adobe.xmp" + QByteArray(5, '\0') +
                           "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">" + QByteArray(60 << 20, 'A') +
                           "</x:xmpmeta>";
    EXPECT_EQ(rowsOf(write("xmp.png", png(40, 30, 2, 3, pngChunk("iTXt", xmp)))),
              (QStringList{"Auflösung=40×30", "Farbraum=RGB"}));

    QByteArray jpeg;
    {
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        QImage grey(40, 30, QImage::Format_Grayscale8);
        grey.fill(90);
        ASSERT_TRUE(grey.save(&buffer, "JPEG"));
    }
    const QByteArray app1 =
        "\xff\xe1" + be(65535, 2) + "http://ns.adobe.com/xmp/extension/" + QByteArray(65499, 'B');
    jpeg.insert(2, app1.repeated(960));
    EXPECT_EQ(rowsOf(write("app1.jpg", jpeg)), (QStringList{"Auflösung=40×30", "Farbraum=Gray"}));
}

// The pages are those the tree leads to, whatever its counts say; a tree that leads in circles has none.
TEST_F(FileFormats, PagesAreCountedInTheTree) {
    auto pageRow = [](const QString &path) {
        for (const QString &row : rowsOf(path))
            if (row.startsWith(u"Seiten=")) return row;
        return QStringLiteral("<none>");
    };
    EXPECT_EQ(pageRow(write("null.pdf", fromObjects({"<< /Type /Catalog /Pages 2 0 R >>",
                                                     "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 0 >>",
                                                     kPage, kPage, kPage}))),
              QStringLiteral("Seiten=3"));
    EXPECT_EQ(pageRow(write("zweig.pdf",
                            fromObjects({"<< /Type /Catalog /Pages 2 0 R >>",
                                         "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 9 >>", kPage,
                                         "<< /Type /Pages /Parent 2 0 R /Kids [5 0 R 6 0 R] /Count 1 >>",
                                         kPage, kPage}))),
              QStringLiteral("Seiten=3"));
    EXPECT_EQ(
        pageRow(write("kreis.pdf", fromObjects({"<< /Type /Catalog /Pages 2 0 R >>",
                                                "<< /Type /Pages /Kids [3 0 R 2 0 R] /Count 2 >>", kPage}))),
        QStringLiteral("<none>"));
    EXPECT_EQ(pageRow(write("doppelt.pdf",
                            fromObjects({"<< /Type /Catalog /Pages 2 0 R >>",
                                         "<< /Type /Pages /Kids [3 0 R 3 0 R] /Count 2 >>", kPage}))),
              QStringLiteral("<none>"));

    // Encrypted, yet nothing refused: not "restricted".
    const QString qpdf = QStandardPaths::findExecutable(QStringLiteral("qpdf"));
    if (qpdf.isEmpty()) GTEST_SKIP() << "qpdf is not installed";
    const QString plain =
        write("offen.pdf", fromObjects({"<< /Type /Catalog /Pages 2 0 R >>",
                                        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>", kPage}));
    const QString open = dir.path() + "/verschluesselt.pdf";
    ASSERT_EQ(QProcess::execute(qpdf, {"--encrypt", "", "besitzer", "256", "--", plain, open}), 0);
    EXPECT_TRUE(rowsOf(open).contains("Sicherheit=Verschlüsselt")) << rowsOf(open).join(u'|').toStdString();
}

// ".ts" names a Linguist text and a transport stream: the content tells which. A stream longer than the
// library may read from its head shows the duration from its last time stamps.
TEST_F(FileFormats, TransportStreamsByContentAndToTheirEnd) {
    const QStringList clip{"Dauer=0:02", "Codecs=MPEG Audio"};
    EXPECT_EQ(rowsOf(write("clip.ts", transportStream(2))), clip);
    EXPECT_EQ(rowsOf(write("clip.m2ts", transportStream(2))), clip);
    EXPECT_TRUE(rowsOf(write("app_de.ts", "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!DOCTYPE TS>\n"
                                          "<TS version=\"2.1\" language=\"de\">\n</TS>\n"))
                    .isEmpty());
    EXPECT_EQ(rowsOf(write("lang.ts", transportStream(40, 24 << 20))),
              (QStringList{"Dauer=0:40", "Codecs=MPEG Audio"}));
}

// Several artists in Vorbis comments, one entry each, are listed as the ID3 ones are.
TEST_F(FileFormats, VorbisCommentArtistsAreListed) {
    EXPECT_EQ(rowsOf(write("duett.flac", flac(2, {"TITLE=Duett", "ARTIST=Anna", "ARTIST=Ben"}))),
              (QStringList{"Titel=Duett", "Autoren=Anna, Ben", "Dauer=0:02", "Codecs=FLAC"}));
    EXPECT_EQ(rowsOf(write("duett.opus", opus({"title=Duett", "artist=Anna", "artist=Ben"}))),
              (QStringList{"Titel=Duett", "Autoren=Anna, Ben", "Dauer=0:02", "Codecs=Opus"}));
}

// A date field holding its format's zero is no date.
TEST_F(FileFormats, ZeroDateIsNoDate) {
    EXPECT_EQ(rowsOf(write("ohne.wmv", asf(116444736000000000))), QStringList{"Dauer=0:03"});
    const QString when =
        FileFmt::date().string(QDateTime(QDate(2021, 6, 5), QTime(14, 3, 7), QTimeZone::utc()));
    EXPECT_EQ(rowsOf(write("mit.wmv", asf(132673753870000000))),
              (QStringList{"Dauer=0:03", "Aufnahme=" + when}));
}

// Document texts in UTF-8 (PDF 2.0) beside UTF-16; control characters of either range go from a row.
TEST_F(FileFormats, PdfTextsInUtf8AndUtf16) {
    const QList<QByteArray> pages{"<< /Type /Catalog /Pages 2 0 R >>",
                                  "<< /Type /Pages /Kids [3 0 R] /Count 1 >>", kPage};
    const QString utf8 = write(
        "utf8.pdf",
        fromObjects(pages + QList<QByteArray>{"<< /Title <EFBBBF" +
                                              QStringLiteral("Sprawozdanie Łódzkie, ß í").toUtf8().toHex() +
                                              "> /Author (Anna) >>"},
                    "/Info 4 0 R"));
    EXPECT_EQ(rowsOf(utf8).mid(0, 2), (QStringList{"Titel=Sprawozdanie Łódzkie, ß í", "Autoren=Anna"}));
    // NEL, A, BEL, b, APC, c
    const QString utf16 = write(
        "utf16.pdf",
        fromObjects(pages + QList<QByteArray>{"<< /Title <FEFF0085004100070062009F0063> >>"}, "/Info 4 0 R"));
    EXPECT_EQ(rowsOf(utf16).value(0), "Titel=Abc");
    // A, LINE SEPARATOR, b, PARAGRAPH SEPARATOR, c
    const QString separators =
        write("lines.pdf", fromObjects(pages + QList<QByteArray>{"<< /Title <FEFF00412028006220290063> >>"},
                                       "/Info 4 0 R"));
    EXPECT_EQ(rowsOf(separators).value(0), "Titel=Abc");
}

// A document that grows while it is read: its rows are those of what was there when it was looked at.
// What a writer adds is the tail of an update, which the libraries scan a line at a time: megabytes of it
// still give the rows within the helper's time.
TEST_F(FileFormats, AGrowingPdfStillGivesItsRows) {
    const QByteArray document =
        fromObjects({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>", kPage,
                     "<< /Title (Bericht) >>"},
                    "/Info 4 0 R");
    const QByteArray tail = QByteArray("trailer << /Size 5 /Root 1 0 R >>\n").repeated(500);
    const QStringList appended = rowsOf(write("angehängt.pdf", document + tail.repeated(700)));
    EXPECT_TRUE(appended.contains("Titel=Bericht") && appended.contains("Seiten=1"))
        << appended.join(u'|').toStdString();

    const QString path = write("wachsend.pdf", document);
    std::atomic<bool> stop = false;
    std::thread writer([&] {
        QFile file(path);
        if (!file.open(QIODevice::Append)) return;
        // Bounded, so that a reader starting late has no more to scan than above.
        for (qint64 written = 0; !stop && written < (12 << 20); written += tail.size()) {
            file.write(tail);
            file.flush();
            std::this_thread::sleep_for(std::chrono::microseconds(700));
        }
    });
    for (int i = 0; i < 2; ++i) {
        const QStringList rows = rowsOf(path);
        EXPECT_TRUE(rows.contains("Titel=Bericht")) << rows.join(u'|').toStdString();
        EXPECT_TRUE(rows.contains("Seiten=1")) << rows.join(u'|').toStdString();
    }
    stop = true;
    writer.join();
}

// A cover of megabytes in the ID3 tag costs the rows nothing, nor much time: the frames after it are
// what the library reads.
TEST_F(FileFormats, Mp3WithALargeCover) {
    const QString day = FileFmt::date().dateString(QDateTime(QDate(2021, 6, 5), QTime(0, 0)));
    const QByteArray picture = cover(5 << 20);
    const QByteArray tag = id3Frame("TIT2", "Groß") + id3Frame("TPE1", QByteArray("Anna\0Ben", 8)) +
                           id3Frame("TDRC", "2021-06-05") + "APIC" + syncsafe(quint32(picture.size())) +
                           QByteArray(2, '\0') + picture;
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(rowsOf(write("cover.mp3", "ID3\x04" + QByteArray(2, '\0') + syncsafe(quint32(tag.size())) +
                                            tag + mp3Frames(200))),
              (QStringList{"Titel=Groß", "Autoren=Anna, Ben", "Dauer=0:05", "Codecs=MPEG Audio",
                           "Aufnahme=" + day}));
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(
        rowsOf(write("alt.mp3", mp3v23(cover(3 << 20)))),
        (QStringList{"Titel=Alt", "Autoren=Anna", "Dauer=0:05", "Codecs=MPEG Audio",
                     "Aufnahme=" + FileFmt::date().string(QDateTime(QDate(2021, 6, 5), QTime(14, 3)))}));
}

// Thirty hours of an audiobook: the tags at the end of an index of 18 MB, the index before or after the
// sound.
TEST_F(FileFormats, LongAudiobookTags) {
    const QString day = FileFmt::date().dateString(QDateTime(QDate(2021, 6, 5), QTime(0, 0)));
    for (const bool indexFirst : {true, false}) {
        const QStringList rows = rowsOf(write("buch.m4b", m4b(30 * 3600 * 44100LL / 1024, indexFirst)));
        EXPECT_EQ(rows, (QStringList{"Titel=Hörbuch", "Autoren=Anna Autorin", "Dauer=1800:00", "Codecs=AAC",
                                     "Aufnahme=" + day}))
            << indexFirst;
    }
}

// A document under a sound's name is no recording: no codec row for what the library took it for.
TEST_F(FileFormats, DocumentNamedAsSoundHasNoCodecs) {
    EXPECT_EQ(
        rowsOf(write("dokument.flac", fromObjects({"<< /Type /Catalog /Pages 2 0 R >>",
                                                   "<< /Type /Pages /Kids [3 0 R] /Count 1 >>", kPage}))),
        QStringList{});
}

// Version 2.4 keeps times in UTC; the three date frames before it name no zone and stay local time.
TEST_F(FileFormats, Id3TimesAreUtcFromVersion24On) {
    const NewYorkTime newYork;
    const QString utc =
        FileFmt::date().string(QDateTime(QDate(2020, 5, 6), QTime(7, 8, 9), QTimeZone::utc()));
    EXPECT_EQ(rowsOf(write("zeit.mp3", mp3("Zeit", "Anna", "2020-05-06T07:08:09"))).value(4),
              "Aufnahme=" + utc);
    EXPECT_EQ(rowsOf(write("tag.mp3", mp3("Zeit", "Anna", "2020-05-06"))).value(4),
              "Aufnahme=" + FileFmt::date().dateString(QDateTime(QDate(2020, 5, 6), QTime(0, 0))));
    EXPECT_EQ(rowsOf(write("alt.mp3", mp3v23(cover(1000)))).value(4),
              "Aufnahme=" + FileFmt::date().string(QDateTime(QDate(2021, 6, 5), QTime(14, 3))));
}

// The frames of a tag in every shape writers give them: the title is read in each, the sound after it.
TEST_F(FileFormats, Id3FramesInEveryShape) {
    const QByteArray title = '\x03' + QByteArray("Gepackt");
    const QByteArray artist = id3Frame("TPE1", "Anna");
    const QList<std::pair<QByteArray, QString>> cases{
        // compressed, with the length it inflates to
        {mp3v24(id3Frame24("TIT2", 0x09, syncsafe(quint32(title.size())) + qCompress(title).mid(4)) + artist),
         "Gepackt"},
        // a data length before the text alone
        {mp3v24(id3Frame24("TIT2", 0x01, syncsafe(6) + "\x03Lang") + artist), "Lang"},
        // unsynchronised: a zero after each 0xFF that could pass for a sync ("ÿà" in Latin-1)
        {mp3v24(id3Frame24("TIT2", 0x02, QByteArray("\0x\xff\0\xe0y", 6)) + artist), "xÿày"},
        // a size some bytes larger or smaller than its frames
        {mp3v24(id3Frame("TIT2", "Weit") + artist, 3), "Weit"},
        {mp3v24(artist + id3Frame("TIT2", "Knapp"), -3), ""}};
    for (const auto &[bytes, name] : cases) {
        QStringList expected{"Autoren=Anna", "Dauer=0:05", "Codecs=MPEG Audio"};
        if (!name.isEmpty()) expected.prepend("Titel=" + name);
        EXPECT_EQ(rowsOf(write("form.mp3", bytes)), expected) << name.toStdString();
    }
    // A compressed frame that would inflate past what a title takes is passed by.
    const QByteArray huge = '\x03' + QByteArray(1 << 20, 'x');
    EXPECT_EQ(
        rowsOf(write("bombe.mp3", mp3v24(id3Frame24("TIT2", 0x09,
                                                    syncsafe(quint32(huge.size())) + qCompress(huge).mid(4)) +
                                         artist))),
        (QStringList{"Autoren=Anna", "Dauer=0:05", "Codecs=MPEG Audio"}));
}

// The length of a WavPack file is in its first block's header.
TEST_F(FileFormats, WavPackLengthFromItsFirstBlock) {
    EXPECT_EQ(rowsOf(write("ton.wv", wavpack(185220))), (QStringList{"Dauer=0:04", "Codecs=WavPack"}));
}

// Tags in UTF-16 are read; the library's word that it cannot is no value.
TEST_F(FileFormats, Utf16TagsAreReadNotStandedIn) {
    EXPECT_EQ(
        rowsOf(write("buch.m4a", m4b(2 * 44100 / 1024, true, itunesTags(2)))),
        (QStringList{"Titel=Hörbuch", "Autoren=Anna Autorin", "Dauer=0:02", "Codecs=AAC",
                     "Aufnahme=" + FileFmt::date().dateString(QDateTime(QDate(2021, 6, 5), QTime(0, 0)))}));
}

// The comments after a cover of megabytes, in a FLAC block or over Ogg pages.
TEST_F(FileFormats, ArtistsAfterALargeCover) {
    const QList<QByteArray> tags{"TITLE=Duett", "ARTIST=Anna", "ARTIST=Ben"};
    const QStringList rows{"Titel=Duett", "Autoren=Anna, Ben", "Dauer=0:02"};
    EXPECT_EQ(rowsOf(write("bild.flac", flac(2, tags, 10'800'000))), rows + QStringList{"Codecs=FLAC"});
    const QByteArray picture = "METADATA_BLOCK_PICTURE=" + QByteArray(3'000'000, '\0').toBase64();
    EXPECT_EQ(rowsOf(write("bild.opus", opus({tags[0], picture, tags[1], tags[2]}))),
              rows + QStringList{"Codecs=Opus"});
}

// A phone's video keeps its title, author and time (with its offset) under named keys, in the movie box.
TEST_F(FileFormats, PhoneVideoKeys) {
    const NewYorkTime newYork;
    const QByteArray meta = keysMeta({{"com.apple.quicktime.make", "Telefon"},
                                      {"com.apple.quicktime.title", "Urlaub"},
                                      {"com.apple.quicktime.author", "Anna"},
                                      {"com.apple.quicktime.creationdate", "2021-06-05T14:03:07+0200"}});
    const QDateTime when(QDate(2021, 6, 5), QTime(14, 3, 7), QTimeZone(2 * 3600));
    const QStringList rows{"Titel=Urlaub", "Autoren=Anna", "Dauer=0:02", "Codecs=AAC",
                           "Aufnahme=" + FileFmt::date().string(when)};
    EXPECT_EQ(rowsOf(write("clip.mov", m4b(2 * 44100 / 1024, true, meta))), rows);
    // Other writers put the same box into the user data.
    EXPECT_EQ(rowsOf(write("film.mov", m4b(2 * 44100 / 1024, true, box("udta", meta)))), rows);
}

// Containers the type database names as something else or not at all are read by their content.
TEST_F(FileFormats, ContainersKnownByContent) {
    EXPECT_EQ(rowsOf(write("ton.caf", caf(2))), (QStringList{"Dauer=0:02", "Codecs=PCM"}));
    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (ffmpeg.isEmpty()) GTEST_SKIP() << "ffmpeg is not installed";
    const QString mxf = dir.path() + "/film.mxf";
    ASSERT_EQ(QProcess::execute(ffmpeg, {"-v", "error", "-f", "lavfi", "-i",
                                         "testsrc=size=64x48:rate=25:duration=2", "-c:v", "mpeg2video", mxf}),
              0);
    EXPECT_EQ(rowsOf(mxf), (QStringList{"Auflösung=64×48", "Dauer=0:02", "Codecs=MPEG Video"}));
}

// Tags the library does not give: the comment block of FLAC in Ogg, an APE tag after TTA's frames.
TEST_F(FileFormats, TagsTheLibraryMisses) {
    EXPECT_EQ(rowsOf(write("duett.oga", oggFlac(2, {"TITLE=Duett", "ARTIST=Anna", "ARTIST=Ben"}))),
              (QStringList{"Titel=Duett", "Autoren=Anna, Ben", "Dauer=0:02", "Codecs=FLAC"}));
    EXPECT_EQ(rowsOf(write("band.tta",
                           tta(3, apeTag({{"Title", "Band"}, {"Artist", QByteArray("Anna\0Ben", 8)}})))),
              (QStringList{"Titel=Band", "Autoren=Anna, Ben", "Dauer=0:03", "Codecs=TTA"}));
}

// A download cut in its movie box, which now runs past the end of the file: the tags it still holds,
// and none from the part that is cut.
TEST_F(FileFormats, BoxPastTheEndOfTheFile) {
    const QByteArray whole = m4b(2 * 44100 / 1024, false);
    for (int cut : {2, 5, 20})
        EXPECT_EQ(rowsOf(write("kurz.m4b", whole.left(whole.size() - cut))),
                  (QStringList{"Titel=Hörbuch", "Autoren=Anna Autorin", "Dauer=0:02", "Codecs=AAC"}))
            << cut;
}
