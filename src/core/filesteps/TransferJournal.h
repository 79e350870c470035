#pragma once

// A record, in the state folder, of what running transfers keep under hidden names: copies not yet in
// place, replaced items on their way to the Trash, originals set aside while a move deletes them, items
// of a batch rename. What an interrupted transfer left is settled from it; nothing it does not name is
// ever taken for such a leftover. A step beneath the file operations; safe from any thread.
//
// Every begin function throws a FileError when its record could not be written or, where it must be,
// flushed (code 0, its description naming the state folder and the reason), and when a path it is given
// cannot be named to the system (EILSEQ): the step it guards must not start then.

#include "core/filesteps/PathBytes.h"
#include "core/filesteps/StepTypes.h"
#include "platform/Trash.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

#include <sys/stat.h>

namespace FileSteps::Journal {

// --- copies under part names, replaced items, originals set aside

// A name in `folder` for a part of this process: ".kestrin-part-", the first eight hexadecimal digits
// of the journal's token, "-" and a number; unique by construction, and free when given. `fd`: the folder
// held, where it is.
PathBytes partName(const PathBytes &folder, int fd = -1);
// Recorded before the part `path` (a name partName gave) is made, so that no part outlasts what the
// next start needs to remove it: the first part in a folder puts on stable storage that parts of this
// journal may appear there; the next start looks for them by their names. The value the part's marker
// attribute gets.
QByteArray beginPart(const PathBytes &path, const PathBytes *copyOf = nullptr);
// The same for a group of parts: the lines are appended, and the caller makes none of the parts before
// flush() has put them on stable storage. `copyOf` (for both): the part is a copy of that file and will only
// take a free name; the next start takes it for ours by its bytes, so it need carry no marker.
QByteArray beginPartOfGroup(const PathBytes &path, const PathBytes *copyOf = nullptr);
// The most a part proven ours by its bytes holds: a copy of a larger file carries the marker, so that the
// next start reads no more than this of each.
constexpr qint64 provenByBytes = 1 << 20;
// Where the volume keeps no marker: the part `path`, just made and open at `fd`, is on record by what
// proves it ours instead (device, inode, birth time, and `most`, the size it cannot outgrow; -1 for a
// folder). Not flushed; where it cannot be written, the next start names the part and leaves it.
void partMade(const PathBytes &path, int fd, qint64 most);
// Recorded on stable storage before the complete part `part` takes the place of `named`, where the item
// `old` is.
void beginReplace(const PathBytes &part, const PathBytes &named, const struct stat &old);
// The same for one replacement of a group: appended, on stable storage only once flush() returns.
void beginReplaceOfGroup(const PathBytes &part, const PathBytes &named, const struct stat &old);
// What was appended so far goes to stable storage (one flush for a group of records). Throws as the begin
// functions; the records of the group must then guard no step.
void flush();
// Recorded on stable storage before the item `source` (whose stat is `st`) goes aside as `aside`.
void beginAside(const PathBytes &aside, const PathBytes &source, const struct stat &st);
// Before the complete part `part` (whose stat is `copy`) takes the free name `to`: the next start then
// takes our marker off what holds the name.
void beginPlace(const PathBytes &part, const PathBytes &to, const struct stat &copy);
// The same for the copy of a move, on stable storage before the copy takes the name: the next start
// leaves exactly one of the original `source` (whose stat is `st`) and the copy.
void beginMove(const PathBytes &part, const PathBytes &to, const PathBytes &source, const struct stat &st,
               const struct stat &copy);
// The move that placed `part` is over, whatever became of its original.
void endMove(const PathBytes &part);

// A job that may leave parts anywhere beneath its folders `roots` (a sync): on record and on stable
// storage before it changes anything, kept in the journal while the job runs. Where the lines after it
// are lost, the next start looks beneath these folders for what carries the journal's token. Throws as
// the begin functions.
class Roots {
public:
    explicit Roots(const QStringList &roots);
    Roots(const Roots &) = delete;
    Roots &operator=(const Roots &) = delete;
    ~Roots();

private:
    QByteArray line_;
};

// --- batch renames

// One item of a batch rename: `from` (whose stat is `st`) waits under `hidden` before it takes `to`.
struct Rename {
    QString hidden, from, to;
    struct stat st {};
};
// A batch rename of this process: its hidden names are unique by construction, never guessed.
struct RenameBatch {
    QString token;      // the first eight hexadecimal digits of this process's journal token
    quint64 number = 0; // the batch's number in this process
    // ".dravendel-", the token, "-", the batch's number, "-" and the item's index in the batch.
    QString hiddenName(qsizetype index) const;
};
RenameBatch newRenameBatch();
// Recorded on stable storage at once, before the first rename; the value of the items' marker.
QByteArray beginRenames(const RenameBatch &batch, const QList<Rename> &renames);
// The batch ran to its end and told what became of its items: the records of those that are settled end
// in the journal too. Their records find items by inode number under their old and new names, where a
// later item (the user's own rename back, a new file given a freed number) would otherwise pass for half
// of a rename, or an item the job told of would be told again.
void endBatch(const QList<Rename> &renames);

// --- ending records

// What was recorded about `path` is settled: nothing of ours is left under that name.
void end(const PathBytes &path);

// Ends the records about one path when it goes out of scope.
class Scope {
public:
    Scope() = default;
    Scope(const Scope &) = delete;
    Scope &operator=(const Scope &) = delete;
    ~Scope() {
        if (path_) end(*path_);
    }
    void set(const PathBytes &path) { path_ = path; }
    // Left to the next start.
    void keep() { path_.reset(); }
    // Ended with others once `folder`, where its steps changed something, is flushed.
    void handTo(class Unflushed &later, const QString &folder);

private:
    std::optional<PathBytes> path_;
};

// Records whose steps are done but may not be on stable storage yet. They end together, once the
// folders those steps changed are flushed (one flush for a whole batch); else they stay for the next
// start, which settles them again.
class Unflushed {
public:
    void add(const QString &folder, const PathBytes &path);
    // A folder that the steps of these records changed as well.
    void touched(const QString &folder);
    bool isEmpty() const { return folders_.isEmpty(); }
    // 0, or the errno of the flush that failed; `failed` then gets the folder, and the records stay.
    int end(QString *failed = nullptr);

private:
    QStringList folders_;
    QSet<QString> seen_;
    QList<PathBytes> paths_;
};

// The sentence for changes in `folder` that did not reach the disk (errno `e`).
QString notFlushedText(const QString &folder, int e);

// --- the Trash, the state folder, errors

// Moves `path` to the Trash with its .trashinfo on record before it is written, so that the next start
// removes an info file whose item never followed it.
Trash::Result trashRecorded(const QString &path, const QString &shownAs = {});
// The same for the item `name` in the folder open at dirFd, remembered at `path`.
Trash::Result trashRecorded(int dirFd, const QByteArray &name, const QString &path);
// Several items to their Trashes as trashRecorded does, their records on stable storage with one flush
// and their info files with one flush of each Trash's volume.
QList<Trash::Result> trashAllRecorded(const QList<Trash::Item> &items);
// The folder the records are kept in.
QString recordsFolder();
// That folder, held (O_RDONLY): reached through no other account's folder or link (the user's own and the
// system's are fine), the user's own, 0700; made when missing with `make`. The descriptor, or -1 with
// errno (EPERM: another account's folder).
int openRecordsFolder(bool make);
// The error that stops a step whose record could not be written (errno `e`); it names the state folder.
FileError notRecorded(int e);

// --- the next start

// Settles the records of transfers that no longer run. With a folder, only copies begun in that folder;
// without, a journal that cannot be read, or holds lines that are no records, is named in the result,
// and so are items under hidden names of its batch renames that no record names.
Leftovers settle(const QString &partsIn = {});
// The records of the journal open at `fd`, read as the start reads them; -1 where the start names the
// journal unreadable instead. For the fuzz program.
qsizetype countRecords(int fd);

} // namespace FileSteps::Journal
