#include "platform/SevenZipNames.h"

#include "platform/Posix.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <lzma.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace SevenZipNames {

namespace {

constexpr quint64 kSignatureBytes = 32;
// 7-Zip writes one level of encoded header; a few more cost nothing and a loop of them ends here.
constexpr int kMaxLevels = 4;
// Far above what any coder chain uses (BCJ2 has four inputs); it also keeps the stream sums from wrapping.
constexpr quint64 kMaxStreams = 32;

// Property ids of the header.
enum : quint64 {
    kEnd = 0x00,
    kHeader = 0x01,
    kArchiveProperties = 0x02,
    kAdditionalStreamsInfo = 0x03,
    kMainStreamsInfo = 0x04,
    kFilesInfo = 0x05,
    kPackInfo = 0x06,
    kUnpackInfo = 0x07,
    kSubStreamsInfo = 0x08,
    kSize = 0x09,
    kCrc = 0x0A,
    kFolder = 0x0B,
    kCodersUnpackSize = 0x0C,
    kNumUnpackStream = 0x0D,
    kName = 0x11,
    kEncodedHeader = 0x17,
};

quint32 le32(const uchar *p) {
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

quint64 le64(const uchar *p) {
    return quint64(le32(p)) | quint64(le32(p + 4)) << 32;
}

quint32 crc32(QByteArrayView bytes) {
    return lzma_crc32(reinterpret_cast<const uint8_t *>(bytes.data()), size_t(bytes.size()), 0);
}

// Reads forward through header bytes; every read checks what is left first.
class Cursor {
public:
    explicit Cursor(QByteArrayView bytes)
        : m_p(reinterpret_cast<const uchar *>(bytes.data())), m_left(quint64(bytes.size())) {}

    bool byte(quint8 &b) {
        if (m_left == 0) return false;
        b = *m_p++;
        --m_left;
        return true;
    }

    bool bytes(quint64 n, const uchar *&at) {
        if (n > m_left) return false;
        at = m_p;
        m_p += n;
        m_left -= n;
        return true;
    }

    // The variable-length number: the leading one bits of the first byte count the little-endian bytes
    // that follow, its remaining bits are the value's highest.
    bool number(quint64 &v) {
        quint8 first;
        if (!byte(first)) return false;
        int extra = 0;
        quint8 mask = 0x80;
        while (extra < 8 && (first & mask)) {
            ++extra;
            mask >>= 1;
        }
        const uchar *rest;
        if (!bytes(quint64(extra), rest)) return false;
        quint64 low = 0;
        for (int i = 0; i < extra; ++i)
            low |= quint64(rest[i]) << (8 * i);
        const quint64 high = extra < 8 ? quint64(first & (mask - 1)) : 0;
        v = extra < 8 ? low | high << (8 * extra) : low;
        return true;
    }

    // A number that is at most `most`.
    bool number(quint64 &v, quint64 most) { return number(v) && v <= most; }

private:
    const uchar *m_p;
    quint64 m_left;
};

// A digest list for n items: a byte saying all are there or a bit for each, then a CRC for each one
// that is. Handed to `take` one by one, so a long list costs no memory. n is a count already bounded:
// pack streams whose sizes were read, folders or substreams.
bool readDigests(Cursor &c, quint64 n, const std::function<void(quint64, quint32)> &take) {
    quint8 all;
    if (!c.byte(all)) return false;
    const uchar *bits = nullptr;
    quint64 present = n;
    if (all == 0) {
        if (!c.bytes((n + 7) / 8, bits)) return false;
        present = 0;
        for (quint64 i = 0; i < n; ++i)
            present += bits[i / 8] >> (7 - i % 8) & 1;
    }
    const uchar *crcs;
    if (!c.bytes(present * 4, crcs)) return false;
    for (quint64 i = 0, k = 0; i < n; ++i)
        if (!bits || (bits[i / 8] >> (7 - i % 8) & 1)) take(i, le32(crcs + 4 * k++));
    return true;
}

struct Coder {
    QByteArrayView id, properties;
};

// What skipping a folder's sizes and digests needs; only the first folder's coder is kept, as an encoded
// header has one folder with one coder.
struct Folder {
    quint64 coders = 0, inStreams = 0, outStreams = 0, unpackSize = 0, substreams = 1;
    std::optional<quint32> crc;
};

struct Streams {
    quint64 packPos = 0, packStreams = 0, firstPackSize = 0;
    std::optional<quint32> firstPackCrc;
    std::vector<Folder> folders;
    Coder firstCoder;
};

bool readFolder(Cursor &c, Folder &f, Coder *first) {
    if (!c.number(f.coders) || f.coders == 0) return false;
    for (quint64 i = 0; i < f.coders; ++i) {
        quint8 flags;
        const uchar *id;
        // The top bits once meant alternative methods; nothing writes them now.
        if (!c.byte(flags) || (flags & 0xC0) || !c.bytes(flags & 0x0F, id)) return false;
        quint64 in = 1, out = 1;
        if ((flags & 0x10) && (!c.number(in) || !c.number(out))) return false;
        if (in > kMaxStreams - f.inStreams || out > kMaxStreams - f.outStreams) return false;
        f.inStreams += in;
        f.outStreams += out;
        quint64 size = 0;
        const uchar *properties = nullptr;
        if ((flags & 0x20) && (!c.number(size) || !c.bytes(size, properties))) return false;
        if (i == 0 && first) {
            first->id = QByteArrayView(id, flags & 0x0F);
            first->properties = QByteArrayView(properties, qsizetype(size));
        }
    }
    // Every output but the folder's last feeds another coder's input; the inputs left over are packed.
    if (f.outStreams == 0 || f.inStreams < f.outStreams) return false;
    const quint64 bindPairs = f.outStreams - 1, packed = f.inStreams - bindPairs;
    quint64 index;
    for (quint64 i = 0; i < bindPairs; ++i)
        if (!c.number(index, f.inStreams - 1) || !c.number(index, f.outStreams - 1)) return false;
    if (packed > 1)
        for (quint64 i = 0; i < packed; ++i)
            if (!c.number(index, f.inStreams - 1)) return false;
    return true;
}

bool readPackInfo(Cursor &c, Streams &s) {
    quint64 id, size;
    if (!c.number(s.packPos) || !c.number(s.packStreams) || !c.number(id) || id != kSize) return false;
    for (quint64 i = 0; i < s.packStreams; ++i) {
        if (!c.number(size)) return false;
        if (i == 0) s.firstPackSize = size;
    }
    if (!c.number(id)) return false;
    if (id == kCrc) {
        const auto take = [&](quint64 i, quint32 crc) {
            if (i == 0) s.firstPackCrc = crc;
        };
        if (!readDigests(c, s.packStreams, take) || !c.number(id)) return false;
    }
    return id == kEnd;
}

bool readUnpackInfo(Cursor &c, Streams &s) {
    quint64 id, count;
    quint8 external;
    // Folders kept in another stream are something 7-Zip itself refuses.
    if (!c.number(id) || id != kFolder || !c.number(count, kMaxFiles) || !c.byte(external) || external != 0)
        return false;
    for (quint64 i = 0; i < count; ++i) {
        Folder f;
        if (!readFolder(c, f, i == 0 ? &s.firstCoder : nullptr)) return false;
        s.folders.push_back(f);
    }
    if (!c.number(id) || id != kCodersUnpackSize) return false;
    for (Folder &f : s.folders)
        for (quint64 i = 0; i < f.outStreams; ++i) {
            quint64 size;
            if (!c.number(size)) return false;
            if (i == 0) f.unpackSize = size;
        }
    if (!c.number(id)) return false;
    if (id == kCrc) {
        const auto take = [&](quint64 i, quint32 crc) { s.folders[i].crc = crc; };
        if (!readDigests(c, s.folders.size(), take) || !c.number(id)) return false;
    }
    return id == kEnd;
}

bool readSubStreams(Cursor &c, Streams &s) {
    quint64 id;
    if (!c.number(id)) return false;
    if (id == kNumUnpackStream) {
        quint64 total = 0;
        for (Folder &f : s.folders) {
            if (!c.number(f.substreams, kMaxFiles - total)) return false;
            total += f.substreams;
        }
        if (!c.number(id)) return false;
    }
    if (id == kSize) {
        quint64 size;
        for (const Folder &f : s.folders)
            for (quint64 i = 1; i < f.substreams; ++i)
                if (!c.number(size)) return false;
        if (!c.number(id)) return false;
    }
    if (id == kCrc) {
        // A folder's one stream has its digest with the folder already.
        quint64 n = 0;
        for (const Folder &f : s.folders)
            if (f.substreams != 1 || !f.crc) n += f.substreams;
        if (!readDigests(c, n, [](quint64, quint32) {}) || !c.number(id)) return false;
    }
    return id == kEnd;
}

bool readStreams(Cursor &c, Streams &s) {
    quint64 id;
    if (!c.number(id)) return false;
    if (id == kPackInfo && (!readPackInfo(c, s) || !c.number(id))) return false;
    if (id == kUnpackInfo && (!readUnpackInfo(c, s) || !c.number(id))) return false;
    if (id == kSubStreamsInfo && (!readSubStreams(c, s) || !c.number(id))) return false;
    return id == kEnd;
}

void appendUtf8(std::string &out, char32_t u) {
    if (u < 0x80) {
        out += char(u);
    } else if (u < 0x800) {
        out += char(0xC0 | u >> 6);
        out += char(0x80 | (u & 0x3F));
    } else if (u < 0x10000) {
        out += char(0xE0 | u >> 12);
        out += char(0x80 | (u >> 6 & 0x3F));
        out += char(0x80 | (u & 0x3F));
    } else {
        out += char(0xF0 | u >> 18);
        out += char(0x80 | (u >> 12 & 0x3F));
        out += char(0x80 | (u >> 6 & 0x3F));
        out += char(0x80 | (u & 0x3F));
    }
}

// The kName property: an external flag (names in another stream, which nothing writes), then each name
// in UTF-16LE ending in a NUL, one for each file.
std::optional<QList<QByteArray>> readNames(QByteArrayView data, quint64 files) {
    if (data.isEmpty() || data.front() != 0 || (data.size() - 1) % 2 != 0) return std::nullopt;
    const auto *p = reinterpret_cast<const uchar *>(data.data()) + 1;
    const qsizetype units = (data.size() - 1) / 2;
    // Each name takes at least its NUL, so the list can be sized before reading them.
    if (files > quint64(units)) return std::nullopt;
    QList<QByteArray> names;
    names.reserve(qsizetype(files));
    std::string name;
    for (qsizetype i = 0; i < units; ++i) {
        char32_t u = char32_t(p[2 * i] | p[2 * i + 1] << 8);
        if (u == 0) {
            names.append(QByteArray(name.data(), qsizetype(name.size())));
            name.clear();
            continue;
        }
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
            const char32_t low = char32_t(p[2 * i + 2] | p[2 * i + 3] << 8);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF) u = 0xFFFD;
        appendUtf8(name, u);
        if (qsizetype(name.size()) > kMaxNameBytes) return std::nullopt;
    }
    if (!name.empty() || quint64(names.size()) != files) return std::nullopt;
    return names;
}

// A list of properties, each with its size, up to its end; `each` sees every one and may refuse it.
template <typename Each> bool readProperties(Cursor &c, Each each) {
    for (;;) {
        quint64 type, size;
        const uchar *data;
        if (!c.number(type)) return false;
        if (type == kEnd) return true;
        if (!c.number(size) || !c.bytes(size, data)) return false;
        if (!each(type, QByteArrayView(data, qsizetype(size)))) return false;
    }
}

std::optional<QList<QByteArray>> readFiles(Cursor &c) {
    quint64 files;
    if (!c.number(files, kMaxFiles)) return std::nullopt;
    std::optional<QList<QByteArray>> names;
    const bool read = readProperties(c, [&](quint64 type, QByteArrayView data) {
        if (type != kName) return true;
        if (names) return false; // a second list of names
        names = readNames(data, files);
        return names.has_value();
    });
    if (!read) return std::nullopt;
    if (!names && files == 0) return QList<QByteArray>();
    return names;
}

std::optional<QList<QByteArray>> readHeader(Cursor &c) {
    quint64 id;
    if (!c.number(id)) return std::nullopt;
    if (id == kArchiveProperties &&
        (!readProperties(c, [](quint64, QByteArrayView) { return true; }) || !c.number(id)))
        return std::nullopt;
    for (const quint64 streams : {kAdditionalStreamsInfo, kMainStreamsInfo}) {
        if (id != streams) continue;
        Streams s;
        if (!readStreams(c, s) || !c.number(id)) return std::nullopt;
    }
    QList<QByteArray> names;
    if (id == kFilesInfo) {
        auto files = readFiles(c);
        if (!files || !c.number(id)) return std::nullopt;
        names = std::move(*files);
    }
    if (id != kEnd) return std::nullopt;
    return names;
}

using Source = std::function<std::optional<QByteArray>(quint64 offset, quint64 size)>;

// Room for more of `size` bytes after what `bytes` holds: as much again (64 KiB at first), so memory follows
// what really arrives or is decoded rather than a size the header claims. The length of the new room.
qsizetype grow(QByteArray &bytes, quint64 size) {
    const qsizetype have = bytes.size();
    const auto room =
        qsizetype(std::min<quint64>(size - quint64(have), std::max<qsizetype>(have, 64 * 1024)));
    // Exactly this much: resize alone would round the block up to the next power of two.
    bytes.reserve(have + room);
    bytes.resize(have + room);
    return room;
}

// One pass of liblzma's raw decoder to exactly `size` bytes; `reached` says how far it got.
std::optional<QByteArray> decodeOnce(const lzma_filter *filters, const QByteArray &packed, quint64 size,
                                     quint64 &reached) {
    lzma_stream z = LZMA_STREAM_INIT;
    if (lzma_raw_decoder(&z, filters) != LZMA_OK) return std::nullopt;
    QByteArray out;
    z.next_in = reinterpret_cast<const uint8_t *>(packed.constData());
    z.avail_in = size_t(packed.size());
    // LZMA in 7z has no end marker: it ends when the size is reached.
    while (quint64(out.size()) < size) {
        const qsizetype have = out.size(), room = grow(out, size);
        z.next_out = reinterpret_cast<uint8_t *>(out.data()) + have;
        z.avail_out = size_t(room);
        const lzma_ret ret = lzma_code(&z, LZMA_FINISH);
        out.resize(have + room - qsizetype(z.avail_out));
        if (ret != LZMA_OK) break;
    }
    lzma_end(&z);
    reached = quint64(out.size());
    if (reached != size) return std::nullopt;
    return out;
}

// LZMA or LZMA2. The properties may ask for a dictionary of up to 4 GiB, which liblzma allocates before it
// decodes a byte. No match reaches back further than the output so far: start with a small dictionary and
// again with a larger one only when decoding failed after filling it.
std::optional<QByteArray> decodeLzma(lzma_vli filterId, const Coder &coder, const QByteArray &packed,
                                     quint64 size) {
    lzma_filter filters[2] = {{filterId, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
    if (lzma_properties_decode(&filters[0], nullptr,
                               reinterpret_cast<const uint8_t *>(coder.properties.data()),
                               size_t(coder.properties.size())) != LZMA_OK)
        return std::nullopt;
    auto *options = static_cast<lzma_options_lzma *>(filters[0].options);
    const quint64 wanted = std::min<quint64>(options->dict_size, std::max<quint64>(size, LZMA_DICT_SIZE_MIN));
    quint64 dict = std::min<quint64>(wanted, 256 * 1024);
    std::optional<QByteArray> out;
    for (;;) {
        options->dict_size = quint32(dict);
        quint64 reached = 0;
        out = decodeOnce(filters, packed, size, reached);
        if (out || dict == wanted || reached < dict) break;
        dict = std::min(wanted, dict * 8);
    }
    std::free(filters[0].options);
    return out;
}

// After kEncodedHeader: the streams info of one packed stream, one folder, one coder, unpacked here.
std::optional<QByteArray> unpackHeader(Cursor &c, const Source &source) {
    Streams s;
    if (!readStreams(c, s) || s.packStreams != 1 || s.folders.size() != 1) return std::nullopt;
    const Folder &f = s.folders.front();
    if (f.coders != 1 || f.inStreams != 1 || f.outStreams != 1) return std::nullopt;
    if (s.firstPackSize > kMaxHeaderBytes || f.unpackSize > kMaxHeaderBytes) return std::nullopt;
    if (s.packPos > std::numeric_limits<quint64>::max() - kSignatureBytes - s.firstPackSize)
        return std::nullopt;
    const auto packed = source(kSignatureBytes + s.packPos, s.firstPackSize);
    if (!packed || (s.firstPackCrc && crc32(*packed) != *s.firstPackCrc)) return std::nullopt;
    std::optional<QByteArray> out;
    const QByteArrayView id = s.firstCoder.id;
    if (id == QByteArrayView("\x00", 1))
        out = quint64(packed->size()) == f.unpackSize ? packed : std::nullopt;
    else if (id == QByteArrayView("\x03\x01\x01", 3))
        out = decodeLzma(LZMA_FILTER_LZMA1, s.firstCoder, *packed, f.unpackSize);
    else if (id == QByteArrayView("\x21", 1))
        out = decodeLzma(LZMA_FILTER_LZMA2, s.firstCoder, *packed, f.unpackSize);
    if (!out || (f.crc && crc32(*out) != *f.crc)) return std::nullopt;
    return out;
}

std::optional<QList<QByteArray>> readArchive(const Source &source) {
    static const uchar kMagic[6] = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};
    const auto start = source(0, kSignatureBytes);
    if (!start) return std::nullopt;
    const auto *s = reinterpret_cast<const uchar *>(start->constData());
    // Only the major version matters: a new minor one stays readable.
    if (std::memcmp(s, kMagic, sizeof kMagic) != 0 || s[6] != 0) return std::nullopt;
    if (le32(s + 8) != crc32(start->sliced(12, 20))) return std::nullopt;
    const quint64 offset = le64(s + 12), size = le64(s + 20);
    const quint32 sum = le32(s + 28);
    // An archive without entries has no header at all.
    if (size == 0) return offset == 0 && sum == 0 ? std::optional(QList<QByteArray>()) : std::nullopt;
    if (size > kMaxHeaderBytes || offset > std::numeric_limits<quint64>::max() - kSignatureBytes - size)
        return std::nullopt;
    auto header = source(kSignatureBytes + offset, size);
    if (!header || crc32(*header) != sum) return std::nullopt;
    for (int level = 0;; ++level) {
        Cursor c(*header);
        quint64 id;
        if (!c.number(id)) return std::nullopt;
        if (id == kHeader) return readHeader(c);
        if (id != kEncodedHeader || level == kMaxLevels) return std::nullopt;
        header = unpackHeader(c, source);
        if (!header) return std::nullopt;
    }
}

// Bytes of the file at an offset, read a piece at a time.
std::optional<QByteArray> readAt(int fd, quint64 offset, quint64 size) {
    QByteArray bytes;
    while (quint64(bytes.size()) < size) {
        const qsizetype have = bytes.size(), piece = grow(bytes, size);
        const ssize_t n = Posix::retry(
            [&] { return ::pread(fd, bytes.data() + have, size_t(piece), off_t(offset + quint64(have))); });
        if (n <= 0) return std::nullopt;
        bytes.resize(have + qsizetype(n));
    }
    return bytes;
}

} // namespace

std::optional<QList<QByteArray>> read(int fd) {
    return readArchive([fd](quint64 offset, quint64 size) { return readAt(fd, offset, size); });
}

std::optional<QList<QByteArray>> read(QByteArrayView whole) {
    return readArchive([whole](quint64 offset, quint64 size) -> std::optional<QByteArray> {
        const auto total = quint64(whole.size());
        if (offset > total || size > total - offset) return std::nullopt;
        return QByteArray::fromRawData(whole.data() + offset, qsizetype(size));
    });
}

} // namespace SevenZipNames
