#pragma once

// Moving items to the freedesktop Trash of their volume: the home trash, or
// <mount>/.Trash/<uid>, or <mount>/.Trash-<uid>. The .trashinfo is written first
// (O_EXCL) and flushed with its folder, then the item is renamed into files/, so an entry is never
// without its origin, not even after a power cut; a flush that fails leaves the item where it was.

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace Trash {

enum class Status {
    moved,
    noTrash, // the item's volume has no Trash we may use; the item is untouched
    failed,  // err tells why; the item is untouched
};

struct Result {
    Status status = Status::failed;
    int err = 0;
    QString inTrash; // where the item is now, when moved
    // failed: the item is a Trash's own folder (the Trash, files, info) or lies in one
    bool partOfTrash = false;
};

// shownAs: the place the item is to be remembered at, when it lies under another name for the moment
// (the Trash entry takes that name and origin).
// beforeInfo: told the .trashinfo and the entry it is for before the info file is made; false refuses
// (errno tells why). It may set `mark`: the info file carries it (as FileCopy::partMark) until its item
// is in the Trash, so that an info file whose item never came proves whose it is.
using InfoHook = std::function<bool(const QByteArray &info, const QByteArray &entry, QByteArray &mark)>;
// carry: where the drive refuses to rename the item into a Trash on the same device (EXDEV, as
// overlayfs does for a folder of its lower layer), moves the item `name` of the folder open at dirFd to
// `entry` in the Trash's files folder open at filesFd by a verified copy and removal; 0 or errno. Without
// it, or when it fails before the copy has the entry's name, the item stays and the info file goes.
using CarryHook = std::function<int(int dirFd, const QByteArray &name, int filesFd, const QByteArray &entry)>;
Result moveToTrash(const QString &path, const QString &shownAs = {}, const InfoHook &beforeInfo = {},
                   const CarryHook &carry = {});
// The item `name` in the folder open at dirFd, which is to be remembered at `path`: the folder is not
// looked up again by its path, so a link put in its place meanwhile leads nowhere else.
Result moveToTrash(int dirFd, const QByteArray &name, const QString &path, const InfoHook &beforeInfo = {},
                   const CarryHook &carry = {});

// Several items to their Trash with one flush for all their info files, not two each: every info file is
// written once `recorded` (called once, before the first is made; 0 or errno) has put on stable storage
// what beforeInfo recorded, then all are on the disk (one flush of each Trash's volume), then the items go.
// One result per item, in order.
struct Item {
    int dirFd = -1;
    QByteArray name;
    QString path;
};
QList<Result> moveAllToTrash(const QList<Item> &items, const InfoHook &beforeInfo,
                             const std::function<int()> &recorded, const CarryHook &carry = {});

// Called between holding an item's folder and looking up its Trash, for tests that change the folder's
// surroundings meanwhile (empty: nothing).
void setBeforeLookupForTests(std::function<void()> hook);

// The .trashinfo describing an item that lies directly in a Trash's files folder; empty otherwise.
QString infoFileFor(const QString &trashedPath);
// The same for a path given as bytes (its name need not be valid UTF-8); empty otherwise.
QByteArray infoFileForRaw(const QByteArray &trashedPath);

// --- records (.trashinfo) as any program, or a hostile one, may have written them

// Records are a few hundred bytes; anything much larger is not one.
constexpr qsizetype infoLimit = 64 * 1024;
// The text of a record: the Path= value as written (decoded; absolute or relative) and the deletion date.
struct InfoText {
    QString path;
    QDateTime deleted; // invalid when absent or unreadable
};
// Nothing when it is not a record (no Path=, not UTF-8, larger than infoLimit).
std::optional<InfoText> parseInfo(QByteArrayView text);
// The record with the last name of its Path= replaced by `name` (its folder and every other line kept),
// for an entry renamed in its Trash; nothing when it is not a record.
std::optional<QByteArray> withName(QByteArrayView record, const QByteArray &name);
// The record `name` of the info folder held at infoFd, read without following a link or waiting on a
// pipe; nothing when it is not a regular file of at most infoLimit bytes.
std::optional<QByteArray> readInfoAt(int infoFd, const QByteArray &name);
// The name an entry of a files folder is shown and put back under: the last name of its record's Path,
// which a rename in the Trash keeps up to date; the entry's own name where the record names none.
QString shownName(const QString &entry, const QString &had);
// shownName for the entry `entry` (named `entryName`) of the files folder whose info folder is held at
// infoFd; the entry's own name where it has no record that can be read.
QString shownNameAt(int infoFd, const QByteArray &entry, const QString &entryName);

// A folder's names as the system lists them (shown readable, sorted), or the errno of opening it.
struct Listing {
    int error = 0;
    QStringList names;
};
Listing list(const QString &folder);
// 0 when the folder may be listed and entered, else the errno saying why not.
int accessError(const QString &folder);

} // namespace Trash
