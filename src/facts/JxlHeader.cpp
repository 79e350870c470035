#include "facts/ImageHeader.h"

#include <array>
#include <climits>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The size and metadata headers come first in the codestream; names of extra channels are their only
// long part, and these bytes hold a few of the longest.
constexpr qsizetype kMostHead = 64 * 1024;

// The codestream's fields, least significant bit first. Reading past the end gives zeros and marks it.
class BitReader {
public:
    explicit BitReader(const QByteArray &data) : m_data(data) {}

    quint64 bits(int n) {
        quint64 v = 0;
        for (int i = 0; i < n; ++i) {
            if (m_at >= quint64(m_data.size()) * 8) {
                m_over = true;
                return 0;
            }
            v |= quint64(quint8(m_data[qsizetype(m_at / 8)]) >> (m_at % 8) & 1) << i;
            ++m_at;
        }
        return v;
    }
    bool flag() { return bits(1) != 0; }
    void skip(quint64 n) {
        m_at += n;
        if (m_at > quint64(m_data.size()) * 8) m_over = true;
    }

    // One of four ways to code a number, chosen by two bits: a value alone (width 0) or a number of
    // bits plus an offset.
    struct Way {
        int width;
        quint64 offset;
    };
    quint64 u32(const std::array<Way, 4> &ways) {
        const Way &w = ways[bits(2)];
        return bits(w.width) + w.offset;
    }
    quint64 enumeration() { return u32({{{0, 0}, {0, 1}, {4, 2}, {6, 18}}}); }

    bool over() const { return m_over; }

private:
    const QByteArray &m_data;
    quint64 m_at = 0;
    bool m_over = false;
};

// Height and width of a size header, the width given outright or as a ratio of the height.
QSize sizeHeader(BitReader &r) {
    static constexpr std::array<std::pair<int, int>, 7> kRatios{
        {{1, 1}, {12, 10}, {4, 3}, {3, 2}, {16, 9}, {5, 4}, {2, 1}}};
    static constexpr std::array<BitReader::Way, 4> kSide{{{9, 1}, {13, 1}, {18, 1}, {30, 1}}};
    const bool small = r.flag();
    const quint64 height = small ? (r.bits(5) + 1) * 8 : r.u32(kSide);
    const quint64 ratio = r.bits(3);
    quint64 width = 0;
    if (ratio == 0)
        width = small ? (r.bits(5) + 1) * 8 : r.u32(kSide);
    else
        width = height * quint64(kRatios[ratio - 1].first) / quint64(kRatios[ratio - 1].second);
    if (width > INT_MAX || height > INT_MAX) return {};
    return QSize(int(width), int(height));
}

void skipPreview(BitReader &r) {
    static constexpr std::array<BitReader::Way, 4> kEights{{{0, 16}, {0, 32}, {5, 1}, {9, 33}}};
    static constexpr std::array<BitReader::Way, 4> kPixels{{{6, 1}, {8, 65}, {10, 321}, {12, 1345}}};
    const bool eights = r.flag();
    r.u32(eights ? kEights : kPixels);
    if (r.bits(3) == 0) r.u32(eights ? kEights : kPixels);
}

void skipAnimation(BitReader &r) {
    r.u32({{{0, 100}, {0, 1000}, {10, 1}, {30, 1}}});
    r.u32({{{0, 1}, {0, 1001}, {8, 1}, {10, 1}}});
    r.u32({{{0, 0}, {3, 0}, {16, 0}, {32, 0}}});
    r.flag();
}

void skipBitDepth(BitReader &r) {
    if (r.flag()) { // floating point
        r.u32({{{0, 32}, {0, 16}, {0, 24}, {6, 1}}});
        r.bits(4);
    } else {
        r.u32({{{0, 8}, {0, 10}, {0, 12}, {6, 1}}});
    }
}

std::optional<ImageHeader> fromCodestream(const QByteArray &code) {
    if (code.size() < 3 || quint8(code[0]) != 0xFF || quint8(code[1]) != 0x0A) return std::nullopt;
    const QByteArray rest = code.mid(2);
    BitReader r(rest);
    ImageHeader h;
    h.size = sizeHeader(r);
    int orientation = 1;
    bool black = false;
    quint64 space = 0;  // RGB
    if (!r.flag()) {    // not all defaults
        if (r.flag()) { // extra fields
            orientation = int(r.bits(3)) + 1;
            if (r.flag()) sizeHeader(r); // intrinsic size
            if (r.flag()) skipPreview(r);
            if (r.flag()) skipAnimation(r);
        }
        skipBitDepth(r);
        r.flag(); // 16-bit buffers suffice
        const quint64 extras = r.u32({{{0, 0}, {0, 1}, {4, 2}, {12, 1}}});
        for (quint64 i = 0; i < extras && !r.over(); ++i) {
            if (r.flag()) continue; // an alpha channel with all defaults
            const quint64 type = r.enumeration();
            skipBitDepth(r);
            r.u32({{{0, 0}, {0, 3}, {0, 4}, {3, 1}}});                 // scaled down by
            r.skip(8 * r.u32({{{0, 0}, {4, 0}, {5, 16}, {10, 48}}}));  // name
            if (type == 0) r.flag();                                   // alpha: premultiplied
            if (type == 2) r.skip(4 * 16);                             // spot colour
            if (type == 5) r.u32({{{0, 1}, {2, 0}, {4, 3}, {8, 19}}}); // colour filter array
            black = black || type == 4;
        }
        r.flag();        // XYB
        if (!r.flag()) { // colour encoding not all defaults
            r.flag();    // an ICC profile follows the headers
            space = r.enumeration();
        }
    }
    if (r.over() || h.size.isEmpty()) return std::nullopt;
    if (black)
        h.model = QStringLiteral("CMYK");
    else if (space == 1)
        h.model = QStringLiteral("Gray");
    else if (space == 0 || space == 2) // XYB is a coding of RGB
        h.model = QStringLiteral("RGB");
    // Shown turned: a quarter turn, with or without a mirror, swaps the sides.
    if (orientation >= 5) h.size.transpose();
    return h;
}

QByteArray readHead(int fd, int64_t at, int64_t end) {
    if (end <= at) return {};
    QByteArray out(qsizetype(std::min<int64_t>(end - at, kMostHead)), '\0');
    const ssize_t n = ::pread(fd, out.data(), size_t(out.size()), off_t(at));
    out.resize(n > 0 ? n : 0);
    return out;
}

} // namespace

std::optional<ImageHeader> jxlHeader(int fd) {
    unsigned char magic[12];
    struct stat st {};
    if (::pread(fd, magic, sizeof magic, 0) < 2 || ::fstat(fd, &st) != 0) return std::nullopt;
    if (magic[0] == 0xFF && magic[1] == 0x0A) return fromCodestream(readHead(fd, 0, st.st_size));
    if (std::memcmp(magic, "\0\0\0\x0cJXL \r\n\x87\n", 12) != 0) return std::nullopt;
    // The container: the codestream whole, or its parts, each after its index.
    const IsoBox file{{}, 0, int64_t(st.st_size)};
    if (const auto whole = isoChild(fd, file, 12, "jxlc"))
        return fromCodestream(readHead(fd, whole->body, whole->end));
    // Parts may be as small as a writer likes: the head is joined from as many as it takes.
    QByteArray head;
    auto part = isoChild(fd, file, 12, "jxlp");
    for (int n = 0; part && head.size() < kMostHead && n < 4096; ++n) {
        head += readHead(fd, part->body + 4, part->end).left(kMostHead - head.size());
        part = isoChild(fd, file, part->end, "jxlp");
    }
    return head.isEmpty() ? std::nullopt : fromCodestream(head);
}
