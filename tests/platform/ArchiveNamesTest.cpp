#include "platform/ArchiveNames.h"

#include <QTemporaryFile>
#include <gtest/gtest.h>
#include <lzma.h>

using ArchiveNames::Stored;

namespace {

QByteArray le(quint64 v, int bytes) {
    QByteArray out;
    for (int i = 0; i < bytes; ++i)
        out += char(v >> (8 * i) & 0xff);
    return out;
}

quint32 crc(const QByteArray &b) {
    return lzma_crc32(reinterpret_cast<const uint8_t *>(b.constData()), size_t(b.size()), 0);
}

// A stored zip whose central directory lists its entries last to first; `extra` goes into the local header.
QByteArray zipOf(const QList<std::pair<QByteArray, QByteArray>> &entries, const QByteArray &before = {}) {
    QByteArray out = before, central;
    QList<QByteArray> records;
    for (const auto &[name, extra] : entries) {
        const qint64 at = out.size() - before.size();
        out += "PK\3\4" + le(20, 2) + le(0x800, 2) + le(0, 2) + le(0, 4) + le(0, 4) + le(0, 4) + le(0, 4) +
               le(quint64(name.size()), 2) + le(quint64(extra.size()), 2) + name + extra;
        records.prepend("PK\1\2" + le(20, 2) + le(20, 2) + le(0x800, 2) + le(0, 2) + le(0, 4) + le(0, 4) +
                        le(0, 4) + le(0, 4) + le(quint64(name.size()), 2) + le(0, 2) + le(0, 2) + le(0, 2) +
                        le(0, 2) + le(0, 4) + le(quint64(at), 4) + name);
    }
    for (const QByteArray &r : records)
        central += r;
    const qint64 start = out.size() - before.size();
    return out + central + "PK\5\6" + le(0, 4) + le(quint64(entries.size()), 2) +
           le(quint64(entries.size()), 2) + le(quint64(central.size()), 4) + le(quint64(start), 4) + le(0, 2);
}

QByteArray unicodePath(const QByteArray &utf8, quint32 sum) {
    return le(0x7075, 2) + le(quint64(5 + utf8.size()), 2) + char(1) + le(sum, 4) + utf8;
}

// One tar header block with a right checksum unless `badSum`.
QByteArray header(const QByteArray &name, char type, qint64 size, const QByteArray &link = {},
                  const QByteArray &prefix = {}, bool badSum = false) {
    QByteArray b(512, '\0');
    b.replace(0, name.size(), name);
    b.replace(100, 7, "0000644");
    b.replace(124, 11, QByteArray::number(size, 8).rightJustified(11, '0'));
    b[156] = type;
    b.replace(157, link.size(), link);
    b.replace(257, 6, QByteArray("ustar\0", 6));
    b.replace(263, 2, "00");
    b.replace(345, prefix.size(), prefix);
    b.replace(148, 8, QByteArray(8, ' '));
    int sum = 0;
    for (char c : b)
        sum += uchar(c);
    b.replace(148, 7, QByteArray::number(sum + (badSum ? 1 : 0), 8).rightJustified(6, '0') + '\0');
    return b;
}

QByteArray padded(QByteArray data) {
    return data + QByteArray((512 - data.size() % 512) % 512, '\0');
}

QByteArray pax(const QList<std::pair<QByteArray, QByteArray>> &records) {
    QByteArray data;
    for (const auto &[key, value] : records) {
        const QByteArray body = " " + key + "=" + value + "\n";
        qsizetype length = body.size() + 1;
        while (QByteArray::number(length).size() + body.size() != length)
            ++length;
        data += QByteArray::number(length) + body;
    }
    return header("PaxHeader", 'x', data.size()) + padded(data);
}

} // namespace

// Names come from the local headers, in their order in the file, also behind data before the archive; a
// Unicode path field counts only while its checksum is the header name's.
TEST(ArchiveNames, ZipNamesAreTheLocalHeadersInTheirOrder) {
    const QByteArray nfd = "cafe\xcc\x81.txt", nfc = "caf\xc3\xa9.txt";
    const QByteArray zip = zipOf(
        {{nfd, {}}, {"a.txt", unicodePath(nfc, crc("a.txt"))}, {"b.txt", unicodePath(nfc, crc("b.txt") ^ 1)}},
        "#!/bin/sh\nexit 0\n");
    const auto names = ArchiveNames::zip(zip);
    ASSERT_TRUE(names);
    EXPECT_EQ(*names, (QList<Stored>{{nfd, {}}, {nfc, {}}, {"b.txt", {}}}));
    // A directory that claims more entries than it holds, or none at all, gives nothing.
    QByteArray lying = zip;
    lying[lying.size() - 12] = 9;
    EXPECT_FALSE(ArchiveNames::zip(lying));
    EXPECT_FALSE(ArchiveNames::zip(QByteArrayView("PK\3\4 not a zip")));
}

// The follower finds each entry's name as libarchive does (ustar prefix, GNU long names, pax records, a
// pax size that moves the next header), passes a block whose checksum is wrong, and reads the same in any
// pieces; the file reader finds the same.
TEST(ArchiveNames, TarNamesAreFollowedThroughEveryKindOfHeader) {
    const QByteArray longName = QByteArray(150, 'n') + "/\xcc\x81";
    const QByteArray tar = header("plain", '0', 3) + padded("abc") + header("name", '0', 0, {}, "pre") +
                           header("././@LongLink", 'L', longName.size() + 1) + padded(longName + '\0') +
                           header("cut", '0', 0) + header("junk", '0', 0, {}, {}, true) +
                           pax({{"path", "cafe\xcc\x81"}, {"linkpath", "zi\xcc\x88l"}}) +
                           header("ignored", '2', 0, "ziel") + pax({{"size", "600"}}) +
                           header("big", '0', 0) + padded(header("inside", '0', 0) + QByteArray(88, 'x')) +
                           header("last", '5', 0) + QByteArray(1024, '\0');
    const QList<Stored> want{{"plain", {}}, {"pre/name", {}}, {longName, {}}, {"cafe\xcc\x81", "zi\xcc\x88l"},
                             {"big", {}},   {"last", {}}};
    for (const qsizetype piece : {qsizetype(1), qsizetype(7), qsizetype(512), qsizetype(700), tar.size()}) {
        ArchiveNames::TarFollower follower;
        QList<Stored> found;
        for (qsizetype at = 0; at < tar.size(); at += piece) {
            follower.feed(QByteArrayView(tar).sliced(at, std::min(piece, tar.size() - at)));
            found += follower.take();
        }
        EXPECT_EQ(found, want) << piece;
        EXPECT_FALSE(follower.lost());
    }
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    file.write(tar);
    file.flush();
    EXPECT_EQ(ArchiveNames::tar(file.handle(), 1 << 20), want);
    EXPECT_EQ(ArchiveNames::tar(file.handle(), 0), want.mid(0, 1)); // no more names than the cap allows

    // An extension record beyond what is read: what follows is not known.
    ArchiveNames::TarFollower follower;
    follower.feed(header("huge", 'x', qint64(1) << 30));
    EXPECT_TRUE(follower.lost());
}
