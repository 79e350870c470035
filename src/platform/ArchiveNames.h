#pragma once

// The names a zip or tar archive stores, read by ourselves: libarchive hands out every name it reads as
// UTF-8 in composed form, so two names that differ only in their Unicode form would come out as one.
// Every reader here takes hostile input: sizes and counts are bounded, and what can't be read is nothing.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <algorithm>
#include <optional>

namespace ArchiveNames {

// The composed Unicode form of a name, as libarchive gives it; a name that is no UTF-8 is its own.
QByteArray composed(const QByteArray &name);

// One entry's name and, for a tar's link, its target, as the archive stores them.
struct Stored {
    QByteArray name, link;
    friend bool operator==(const Stored &, const Stored &) = default;
};

// A zip's names from its local headers (the Unicode path field where it belongs to the name), in the order
// of those headers in the file; nothing when the central directory can't be read.
std::optional<QList<Stored>> zip(int fd);
std::optional<QList<Stored>> zip(QByteArrayView whole);

// A tar file's names, its headers read where they lie and its data passed over; at most `cap` bytes of
// names (what lies beyond is not known).
QList<Stored> tar(int fd, qint64 cap);

// Follows a tar stream block by block as it is read and collects each entry's name and link target.
class TarFollower {
public:
    void feed(QByteArrayView bytes);
    // The entries found so far, taken out.
    QList<Stored> take();
    // A record larger than we read: later names are not known.
    bool lost() const { return m_lost; }
    // Bytes of data ahead that need not be fed: a reader of a file may pass over them instead.
    qint64 passable() const { return m_recordLeft > 0 ? 0 : m_skip; }
    void pass(qint64 bytes) { m_skip -= std::min(bytes, passable()); }

private:
    void header(const char *block);
    void extension(QByteArrayView data);
    QList<Stored> m_found;
    QByteArray m_block;         // part of a header block
    QByteArray m_record;        // an extension record's data being read
    qint64 m_skip = 0;          // data and padding still to pass
    qint64 m_recordLeft = 0;    // bytes of m_record still to come
    qint64 m_recordPadding = 0; // after the record
    char m_recordType = 0;
    bool m_sparseBlocks = false; // within a sparse file's map blocks
    qint64 m_sparseData = 0;     // its data after them
    std::optional<QByteArray> m_path, m_link;
    std::optional<qint64> m_size;
    bool m_lost = false;
};

} // namespace ArchiveNames
