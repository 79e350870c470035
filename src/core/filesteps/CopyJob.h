#pragma once

// A file-system step: the copy of one item (a file or a whole tree), its files
// copied by a small pool while one thread walks the tree.

#include "core/filesteps/FileSteps.h"
#include "core/filesteps/HeldFolder.h"
#include "core/filesteps/TransferJournal.h"
#include "core/filesteps/TransferProgress.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <unordered_map>

namespace FileSteps {

class Fd;

// An entry as it was when its copy began: it may leave the source only while it still is.
struct Seen {
    off_t size = 0;
    timespec mtime{}, ctime{};
    mode_t type = 0;
    bool stable = true; // false: it changed while it was copied
};
struct Identity {
    dev_t dev;
    ino_t ino;
    friend bool operator==(const Identity &, const Identity &) = default;
};
struct IdentityHash {
    size_t operator()(const Identity &i) const { return std::hash<ino_t>()(i.ino) * 31 + size_t(i.dev); }
};

// What a tree copy did, beyond its success.
struct CopyReport {
    bool remember = false;     // record every copied file (a move needs it)
    bool createdRoot = false;  // the target item is ours (remove it on failure)
    qsizetype passedOver = 0;  // pipes, sockets, devices not carried
    QStringList specials;      // the first few of them
    QStringList unstable;      // files that changed while they were copied
    bool aclDropped = false;   // the target took no ACL; it got narrower mode bits instead
    QStringList labelsLost;    // items whose tags or comment the target did not take
    QStringList securityLost;  // items that came without some of their security attributes
    QStringList securityNames; // which attributes those were, each once
    std::shared_ptr<Fd> held;  // the new root, open while it has no real name yet
    QByteArray mark;           // the marker value the new root gets while it has no real name
    std::unordered_map<Identity, Seen, IdentityHash> copied;
};

class CopyJob;
struct CopyJobDeleter {
    void operator()(CopyJob *job) const;
};
using CopyJobPtr = std::unique_ptr<CopyJob, CopyJobDeleter>;
// One per transfer: the chunk buffer, file-system capabilities and the first copies of files with several
// names survive across items, so that names of one file among the chosen items stay names of one copy.
CopyJobPtr newCopyJob(TransferProgress &progress);
// syncEachFile: every file is flushed as it is written.
void copyTree(CopyJob &job, const PathBytes &source, const PathBytes &target, bool flush, CopyReport &report,
              bool syncEachFile = false);
// The same for `sourceName` in the held folder `from`, copied as `targetName` into the held folder `into`.
// Both must still be at their paths (foldersChecked: the caller found them there just now), and with
// `shown` the source must still be the item whose stat that was: else the folder's refusal is thrown.
void copyTree(CopyJob &job, const HeldFolder &from, const QByteArray &sourceName, const HeldFolder &into,
              const QByteArray &targetName, bool flush, CopyReport &report,
              const struct stat *shown = nullptr, bool foldersChecked = false);
// Takes the marker off a copy that has its real name now.
void unmark(CopyReport &report);

// A copy made under a hidden part name, on record in the journal and marked as ours until it has its
// real name, so that the next start removes it after a crash; removed on every other way out.
class PartCopy {
public:
    // In the held folder `folder`, which outlives it; every step of it is by name in that folder. Throws a
    // FileError when the journal cannot take the record; nothing is made then.
    // inGroup: its record is not yet on stable storage; nothing may be copied before Journal::flush().
    // copyOf: it is a copy of that regular file of at most Journal::provenByBytes, and
    // takes a free name (place()), never another item's: where the volume keeps birth times, the next
    // start knows it for ours by its bytes, and it carries no marker.
    explicit PartCopy(const HeldFolder &folder, bool inGroup = false, const PathBytes *copyOf = nullptr);
    PartCopy(const PartCopy &) = delete;
    PartCopy &operator=(const PartCopy &) = delete;
    ~PartCopy();
    // Throws like copyTree: `name` in the held folder `from`, which must still be the item `shown`.
    // flush: the copy is on stable storage when this returns. foldersChecked as for copyTree.
    void copy(CopyJob &job, const HeldFolder &from, const QByteArray &name, const struct stat &shown,
              bool flush, bool foldersChecked = false);
    const QString &path() const { return path_; }
    // False: there was nothing to copy (a pipe, a socket, a device).
    bool made() const { return report_.createdRoot; }
    // What the copy left out: pipes, sockets and devices inside a copied folder, the first few by path.
    qsizetype passedOver() const { return report_.passedOver; }
    const QStringList &specials() const { return report_.specials; }
    // Takes the free name `to` in the folder; 0 or errno. Throws a FileError when the journal cannot take
    // the record.
    int place(const QByteArray &to);
    // Takes the name `named` of the item `old` in the folder, which goes to the Trash.
    Replaced replace(const QByteArray &named, const struct stat &old);
    // Its record ends with `later`'s, once the folder it took a name in is flushed.
    void handTo(Journal::Unflushed &later);

    // One replacement of a group (replaceAll): the part takes the name `named` of the item `old`.
    struct InGroup {
        PartCopy *part = nullptr;
        QByteArray named;
        struct stat old {};
        Replaced result;
    };
    // Replacements made together, with one flush for each kind of step rather than for each item: every
    // record, then every exchange, then every old item and the items `alsoTrash` to the Trash. Where a
    // folder cannot exchange two names, its items go as replace() takes them.
    static void replaceAll(QList<InGroup> &items, QList<TrashAt> &alsoTrash);

private:
    // Where the copy goes next, on record; throws like the journal.
    void record(const PathBytes &to);
    // What a replacement's outcome leaves to the part and its record.
    void settled(const Replaced &r);

    const HeldFolder &folder_;
    PathBytes bytes_;
    QByteArray name_; // bytes_'s name in the folder
    QString path_;    // bytes_ as text
    CopyReport report_;
    Journal::Scope recorded_;
    bool placed_ = false;
};

} // namespace FileSteps
