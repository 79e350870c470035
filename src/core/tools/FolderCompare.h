#pragma once

// Folder compare: two folder trees walked side by side, every difference classified by presence, kind,
// size and modification time. Attributes only; no file is ever opened.

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

#include <sys/stat.h>
#include <sys/types.h>

// The facts of one entry on one side, as the walk read them (lstat: a link is not followed).
struct EntryFacts {
    mode_t type = 0; // S_IFMT bits
    qint64 size = 0;
    qint64 timeNs = 0; // modification time, nanoseconds since the epoch
    dev_t dev = 0;
    ino_t ino = 0;
    bool isDir() const;
    friend bool operator==(const EntryFacts &, const EntryFacts &) = default;
};

struct CompareRow {
    enum class Status {
        onlyLeft,
        onlyRight,
        leftNewer,
        rightNewer,
        different,
        // Rows that are shown but never synchronised:
        unreadable, // a side could not be read (folder not listable, entry not readable, too deep)
        conflict,   // names that are one name on a case-folding or normalising file system
        badName,    // a name that is not valid UTF-8 and so cannot be handled without turning into another
        special,    // a pipe, socket or device on a side: no copy can be made of it
    };

    QString id; // path relative to both roots, "/"-joined
    bool isDir = false;
    Status status = Status::different;
    std::optional<qint64> leftSize;
    std::optional<qint64> rightSize;
    std::optional<QDateTime> leftDate;
    std::optional<QDateTime> rightDate;
    // What was read on each side; a sync step checks the item still matches before it acts.
    std::optional<EntryFacts> leftFacts;
    std::optional<EntryFacts> rightFacts;
    // Why a row without action is one (German key, already formatted); empty for ordinary rows.
    QString note;

    friend bool operator==(const CompareRow &, const CompareRow &) = default;
};

enum class SyncMode { leftToRight = 0, both = 1, rightToLeft = 2 };

namespace SyncModes {
inline constexpr SyncMode allCases[] = {SyncMode::leftToRight, SyncMode::both, SyncMode::rightToLeft};
const char *title(SyncMode mode);
std::optional<SyncMode> fromRaw(int raw);
} // namespace SyncModes

enum class SyncAction { toRight, toLeft, trashLeft, trashRight, none };

// Which folder a root was when the compare read it: a volume that went or changed in between is
// another one, even under the same path.
struct RootId {
    dev_t dev = 0;
    ino_t ino = 0;
    quint64 mount = 0; // the mount's id; 0 where the system does not tell
    friend bool operator==(const RootId &, const RootId &) = default;
};

struct CompareResult {
    QList<CompareRow> rows;
    // Set when the compare could not run at all (a root not readable, roots inside each other).
    QString error;
    bool cancelled = false;
    std::optional<RootId> leftId, rightId;
};

namespace FolderCompare {

// Entry names the walk never lists (besides every name beginning with "._").
bool isIgnored(const QString &name);

// Folders nested deeper than this below the roots are reported, not entered.
inline constexpr int maxDepth = 64;

// Walks both trees; may be called from any thread. isCancelled is asked before every entry.
CompareResult scan(const QString &left, const QString &right, const std::function<bool()> &isCancelled);

SyncAction action(const CompareRow &row, SyncMode mode, bool deleteExtra);
// Why a row that differs is left alone in this mode, for the row itself (a German key); empty for others.
const char *keptReason(const CompareRow &row, SyncMode mode);

// The rows no sync acts on in any mode (unreadable, clashing or unusable names), for its outcome to name.
QStringList leftOut(const QList<CompareRow> &rows);
// The sentence that names them, the first few by their place; empty when there are none.
QString leftOutText(const QStringList &ids);

// Whether one folder is the other or lies inside it, by identity (links and bind mounts included).
bool nested(const QString &a, const QString &b);

// The identity of a root folder (links followed); absent when it cannot be read.
std::optional<RootId> rootId(const QString &path);

// The current facts of one entry; absent when it does not exist, errno in *err otherwise when unreadable.
std::optional<EntryFacts> facts(const QString &path, int *err = nullptr);
// The same for `name` in the folder open at dirFd.
// seen, where given, receives what the look found.
std::optional<EntryFacts> factsAt(int dirFd, const QByteArray &name, int *err = nullptr,
                                  struct stat *seen = nullptr);

QDateTime date(qint64 timeNs);

} // namespace FolderCompare
