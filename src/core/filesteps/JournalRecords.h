#pragma once

// Inside the journal: its records as the start reads them back, shared by the reader and the settling.
// Every line names paths by the hexadecimal digits of their bytes.

#include "core/filesteps/PathBytes.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

#include <sys/stat.h>

namespace FileSteps::Journal {

// The length of a journal's token, the name of its file before ".log".
constexpr qsizetype tokenLength = 32;
// At most this many folders are looked through for items of batches whose records are lost.
constexpr qsizetype maxFolders = 4096;
// More records than any transfer of ours leaves open: a journal with more is named, not read on.
constexpr size_t maxRecords = size_t(1) << 23;

// How a path is named in a record.
inline QByteArray keyOf(const PathBytes &path) {
    return path.bytes().toHex();
}
// The id a file system gives itself (statfs), which it keeps when its volume comes back under another
// device number after a power cut (a loop device, a stick, a network or FUSE mount); empty where it gives
// none. `fd` may be an O_PATH descriptor.
QByteArray volumeId(int fd);

// The path a record names, or nullopt for a field that names none (not hexadecimal, not absolute, too
// long, or bytes that are no text).
std::optional<QString> pathOf(const QByteArray &hex);

struct Record {
    QByteArray kind, key;
    QString path, other; // other: of a part that takes a free name, the file it copies
    QString renamedTo;   // a batch rename's new name
    quint64 batch = 0;   // a batch rename's number in its journal
    dev_t dev = 0;
    ino_t ino = 0;
    bool ended = false;
    // Of parts, placed copies, moves and Trash entries.
    QString to;       // where a copy took its name; the entry a .trashinfo is for
    dev_t srcDev = 0; // a moved original as it was copied
    ino_t srcIno = 0; //
    qint64 size = 0;  //
    timespec mtime{}; //
    timespec ctime{}; //
    timespec at{};    // when a part or an info file was recorded (0: not known)
    // Of a part on a volume that keeps no marker: dev, ino and size (the most it holds, -1 for a
    // folder) are of what was made, and when it was born (0: the volume keeps no birth time).
    bool made = false;
    timespec born{};
};

// What an unreadable line of a batch rename still tells: its hidden, old and new name where they are
// whole (the fields after them began), else the folder its hidden name is in.
struct Salvaged {
    QString hidden, from, to;
};

// The records of one journal, taken a line at a time. A line that is no record is counted, never
// passed over in silence: what a batch rename's line still tells is kept.
struct Parser {
    std::vector<Record> records;
    QHash<QByteArray, std::vector<size_t>> open;
    qsizetype unreadable = 0;
    QHash<QString, timespec> partsIn;                  // folders where parts may be, and since when
    QHash<QString, std::pair<dev_t, ino_t>> folderIds; // and what each folder was
    std::vector<Salvaged> salvaged;
    QSet<QString> folders; // of hidden names the unreadable lines began to tell
    QSet<QString> roots;   // beneath which jobs may have left parts
    QSet<QByteArray> told; // keys of records whose folder was gone, told once already
    // The file system's id of each device number the records give, empty where two ids were given
    // for one number.
    QHash<quint64, QByteArray> volumes;

    // torn: the journal's last line, cut short where it ends; a line garbled elsewhere tells no name.
    void line(const QByteArray &line, bool torn = false);

private:
    bool record(const QByteArray &line);
    void salvage(const QByteArray &line, bool torn);
};

// Every complete line of the journal open at `fd`, however long the journal; 0 or errno (EFBIG for one
// with more than maxRecords records). Only one line is held at a time beside the records.
int readRecords(int fd, Parser &parser);

} // namespace FileSteps::Journal
