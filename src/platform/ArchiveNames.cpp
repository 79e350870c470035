#include "platform/ArchiveNames.h"

#include <QString>

#include <lzma.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

namespace ArchiveNames {
namespace {

// Far above any real archive's central directory or extension record; beyond it, nothing is read.
constexpr qint64 centralCap = qint64(256) << 20, recordCap = qint64(16) << 20;
constexpr quint64 entryCap = 2'000'000;

quint16 u16(const char *p) {
    return quint16(uchar(p[0]) | uchar(p[1]) << 8);
}
quint32 u32(const char *p) {
    return quint32(u16(p)) | quint32(u16(p + 2)) << 16;
}
quint64 u64(const char *p) {
    return quint64(u32(p)) | quint64(u32(p + 4)) << 32;
}

// Bytes of a file or of memory by offset; fewer than asked at its end.
struct Source {
    qint64 size = 0;
    std::function<QByteArray(qint64, qint64)> at;
};

std::optional<QList<Stored>> zipFrom(const Source &s) {
    // The end record: within the last 64 KiB and its own 22 bytes, the last one whose comment fits.
    const qint64 tailLength = std::min<qint64>(s.size, 22 + 0xFFFF);
    const QByteArray tail = s.at(s.size - tailLength, tailLength);
    if (tail.size() != tailLength) return std::nullopt;
    qsizetype end = -1;
    for (qsizetype i = tail.size() - 22; i >= 0 && end < 0; --i)
        if (std::memcmp(tail.constData() + i, "PK\5\6", 4) == 0 &&
            i + 22 + u16(tail.constData() + i + 20) <= tail.size())
            end = i;
    if (end < 0) return std::nullopt;
    const char *e = tail.constData() + end;
    quint64 entries = u16(e + 10), centralSize = u32(e + 12), centralOffset = u32(e + 16);
    qint64 centralEnd = s.size - tailLength + end;
    if (centralEnd >= 20) {
        const QByteArray locator = s.at(centralEnd - 20, 20);
        if (locator.size() == 20 && locator.startsWith("PK\6\7")) {
            const quint64 at = u64(locator.constData() + 8);
            const QByteArray record = at < quint64(centralEnd) ? s.at(qint64(at), 56) : QByteArray();
            if (record.size() != 56 || !record.startsWith("PK\6\6")) return std::nullopt;
            entries = u64(record.constData() + 32);
            centralSize = u64(record.constData() + 40);
            centralOffset = u64(record.constData() + 48);
            centralEnd = qint64(at);
        }
    }
    if (entries > entryCap || centralSize > quint64(centralCap) || centralSize > quint64(centralEnd) ||
        centralOffset > quint64(centralEnd))
        return std::nullopt;
    const qint64 centralStart = centralEnd - qint64(centralSize);
    // What comes before the archive itself (a self-extracting one) moves every offset by as much.
    const qint64 shift = centralStart - qint64(centralOffset);
    const QByteArray central = s.at(centralStart, qint64(centralSize));
    if (central.size() != qint64(centralSize)) return std::nullopt;

    QList<qint64> offsets;
    qsizetype p = 0;
    for (quint64 i = 0; i < entries; ++i) {
        if (p + 46 > central.size() || std::memcmp(central.constData() + p, "PK\1\2", 4) != 0)
            return std::nullopt;
        const char *h = central.constData() + p;
        const qsizetype nameLength = u16(h + 28), extraLength = u16(h + 30), commentLength = u16(h + 32);
        if (p + 46 + nameLength + extraLength + commentLength > central.size()) return std::nullopt;
        quint64 local = u32(h + 42);
        if (local == 0xFFFFFFFF) {
            // The zip64 field holds, in this order, only the sizes that did not fit and then the offset.
            qsizetype skip = (u32(h + 24) == 0xFFFFFFFF ? 8 : 0) + (u32(h + 20) == 0xFFFFFFFF ? 8 : 0);
            const char *x = h + 46 + nameLength, *xEnd = x + extraLength;
            while (xEnd - x >= 4) {
                const quint16 id = u16(x), length = u16(x + 2);
                if (xEnd - x - 4 < length) break;
                if (id == 0x0001 && length >= skip + 8) local = u64(x + 4 + skip);
                x += 4 + length;
            }
        }
        if (local > quint64(centralStart)) return std::nullopt;
        offsets << qint64(local) + shift;
        p += 46 + nameLength + extraLength + commentLength;
    }
    // libarchive gives the entries in the order of their local headers.
    std::stable_sort(offsets.begin(), offsets.end());
    QList<Stored> out;
    out.reserve(offsets.size());
    for (const qint64 at : offsets) {
        if (at < 0) return std::nullopt;
        const QByteArray head = s.at(at, 30);
        if (head.size() != 30 || !head.startsWith("PK\3\4")) return std::nullopt;
        const qint64 nameLength = u16(head.constData() + 26), extraLength = u16(head.constData() + 28);
        const QByteArray rest = s.at(at + 30, nameLength + extraLength);
        if (rest.size() != nameLength + extraLength) return std::nullopt;
        Stored stored{rest.left(nameLength), {}};
        // The Unicode path field stands for the name only while its checksum is the name's.
        const char *x = rest.constData() + nameLength, *xEnd = rest.constData() + rest.size();
        while (xEnd - x >= 4) {
            const quint16 id = u16(x), length = u16(x + 2);
            if (xEnd - x - 4 < length) break;
            if (id == 0x7075 && length >= 5 && x[4] == 1 &&
                u32(x + 5) == lzma_crc32(reinterpret_cast<const uint8_t *>(stored.name.constData()),
                                         size_t(stored.name.size()), 0))
                stored.name = QByteArray(x + 9, length - 5);
            x += 4 + length;
        }
        out << stored;
    }
    return out;
}

QByteArray untilNul(QByteArrayView field) {
    const qsizetype nul = field.indexOf('\0');
    return (nul < 0 ? field : field.first(nul)).toByteArray();
}

// A tar number: octal, or base-256 when its first byte's top bit is set; -1 when it is neither.
qint64 tarNumber(QByteArrayView field) {
    if (field.isEmpty()) return -1;
    if (uchar(field[0]) & 0x80) {
        if (uchar(field[0]) != 0x80) return -1; // negative or too large
        quint64 v = 0;
        for (qsizetype i = 1; i < field.size(); ++i) {
            if (v >> 55) return -1;
            v = v << 8 | uchar(field[i]);
        }
        return qint64(v);
    }
    qsizetype i = 0;
    while (i < field.size() && (field[i] == ' ' || field[i] == '\0'))
        ++i;
    quint64 v = 0;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '7'; ++i) {
        if (v >> 60) return -1;
        v = v << 3 | quint64(field[i] - '0');
    }
    return qint64(v);
}

qint64 padding(qint64 size) {
    return (512 - size % 512) % 512;
}

} // namespace

QByteArray composed(const QByteArray &name) {
    // Most names are ASCII, which has one form; every entry of an archive and of its folders comes here.
    if (std::all_of(name.cbegin(), name.cend(), [](char c) { return uchar(c) < 0x80; })) return name;
    const QString text = QString::fromUtf8(name);
    if (text.toUtf8() != name) return name;
    return text.normalized(QString::NormalizationForm_C).toUtf8();
}

std::optional<QList<Stored>> zip(QByteArrayView whole) {
    return zipFrom({whole.size(), [whole](qint64 at, qint64 length) {
                        if (at < 0 || at >= whole.size() || length <= 0) return QByteArray();
                        return whole.sliced(at, std::min(length, whole.size() - at)).toByteArray();
                    }});
}

std::optional<QList<Stored>> zip(int fd) {
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return zipFrom({st.st_size, [fd](qint64 at, qint64 length) {
                        QByteArray out;
                        if (at < 0 || length <= 0 || length > centralCap) return out;
                        out.resize(length);
                        qint64 got = 0;
                        while (got < length) {
                            const ssize_t n = ::pread(fd, out.data() + got, size_t(length - got), at + got);
                            if (n < 0 && errno == EINTR) continue;
                            if (n <= 0) break;
                            got += n;
                        }
                        out.resize(got);
                        return out;
                    }});
}

QList<Stored> tar(int fd, qint64 cap) {
    TarFollower follower;
    QList<Stored> out;
    qint64 at = 0, kept = 0;
    char block[512];
    while (!follower.lost() && kept <= cap) {
        if (const qint64 over = follower.passable()) {
            follower.pass(over);
            at += over;
            continue;
        }
        const ssize_t n = ::pread(fd, block, sizeof block, at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        follower.feed(QByteArrayView(block, n));
        at += n;
        for (const Stored &s : follower.take()) {
            kept += s.name.size() + s.link.size();
            out << s;
        }
    }
    return out;
}

void TarFollower::feed(QByteArrayView bytes) {
    while (!bytes.isEmpty() && !m_lost) {
        if (m_skip > 0) {
            const qint64 n = std::min<qint64>(m_skip, bytes.size());
            m_skip -= n;
            bytes = bytes.sliced(n);
        } else if (m_recordLeft > 0) {
            const qint64 n = std::min<qint64>(m_recordLeft, bytes.size());
            m_record.append(bytes.first(n));
            m_recordLeft -= n;
            bytes = bytes.sliced(n);
            if (m_recordLeft == 0) {
                extension(m_record);
                m_record.clear();
                m_skip = m_recordPadding;
            }
        } else {
            const qsizetype n = std::min<qsizetype>(512 - m_block.size(), bytes.size());
            m_block.append(bytes.first(n));
            bytes = bytes.sliced(n);
            if (m_block.size() == 512) {
                const QByteArray block = std::exchange(m_block, {});
                header(block.constData());
            }
        }
    }
}

QList<Stored> TarFollower::take() {
    return std::exchange(m_found, {});
}

void TarFollower::header(const char *b) {
    if (m_sparseBlocks) { // a sparse file's map goes on in blocks of its own
        m_sparseBlocks = b[504] != 0;
        if (!m_sparseBlocks) m_skip = std::exchange(m_sparseData, 0);
        return;
    }
    const QByteArrayView block(b, 512);
    // An empty block ends the archive; one whose checksum is wrong is passed, as libarchive does.
    qint64 sum = 0, signedSum = 0;
    for (int i = 0; i < 512; ++i) {
        const bool field = i >= 148 && i < 156;
        sum += field ? ' ' : uchar(b[i]);
        signedSum += field ? ' ' : static_cast<signed char>(b[i]);
    }
    if (sum == 8 * ' ') return;
    const qint64 stated = tarNumber(block.sliced(148, 8));
    if (stated != sum && stated != signedSum) return;
    const qint64 size = tarNumber(block.sliced(124, 12));
    if (size < 0) {
        m_lost = true;
        return;
    }
    const char type = b[156];
    if (QByteArrayView("xXLK").contains(type)) {
        if (size > recordCap) {
            m_lost = true;
            return;
        }
        m_recordType = type;
        m_recordLeft = size;
        m_recordPadding = padding(size);
        if (size == 0) extension({});
        return;
    }
    if (QByteArrayView("gVA").contains(type)) { // no entries of their own
        m_skip = size + padding(size);
        return;
    }
    Stored stored;
    if (m_path) {
        stored.name = *m_path;
    } else {
        stored.name = untilNul(block.sliced(0, 100));
        const QByteArray prefix = block.sliced(257, 6) == QByteArrayView("ustar\0", 6)
                                      ? untilNul(block.sliced(345, 155))
                                      : QByteArray();
        if (!prefix.isEmpty()) stored.name = prefix + '/' + stored.name;
    }
    stored.link = m_link.value_or(untilNul(block.sliced(157, 100)));
    const qint64 data = m_size.value_or(size);
    m_path.reset();
    m_link.reset();
    m_size.reset();
    if (data < 0 || data > std::numeric_limits<qint64>::max() / 2) {
        m_lost = true;
        return;
    }
    m_found << stored;
    // Links, devices, folders and pipes carry no data, whatever their size says.
    if (QByteArrayView("123456").contains(type)) return;
    if (type == 'S' && b[482] != 0) {
        m_sparseBlocks = true;
        m_sparseData = data + padding(data);
        return;
    }
    m_skip = data + padding(data);
}

void TarFollower::extension(QByteArrayView data) {
    if (m_recordType == 'L' || m_recordType == 'K') {
        (m_recordType == 'L' ? m_path : m_link) = untilNul(data);
        return;
    }
    // Records of "<length> <key>=<value>\n"; a malformed one ends the reading.
    while (!data.isEmpty()) {
        qsizetype digits = 0;
        qint64 length = 0;
        while (digits < data.size() && digits < 12 && data[digits] >= '0' && data[digits] <= '9')
            length = length * 10 + (data[digits++] - '0');
        if (digits == 0 || digits >= data.size() || data[digits] != ' ' || length <= digits + 1 ||
            length > data.size() || data[length - 1] != '\n')
            return;
        const QByteArrayView record = data.sliced(digits + 1, length - digits - 2);
        data = data.sliced(length);
        const qsizetype eq = record.indexOf('=');
        if (eq < 0) return;
        const QByteArrayView key = record.first(eq);
        const QByteArray value = record.sliced(eq + 1).toByteArray();
        if (key == "path" || key == "GNU.sparse.name")
            m_path = value;
        else if (key == "linkpath")
            m_link = value;
        else if (key == "size") {
            bool ok = false;
            const qint64 size = value.toLongLong(&ok);
            if (ok && size >= 0) m_size = size;
        }
    }
}

} // namespace ArchiveNames
