#pragma once

// A file-system step: a move to another volume, and how it removes its original.

#include "core/filesteps/CopyJob.h"

namespace FileSteps {

// What stayed of an original after a move to another volume.
struct Leftover {
    int error = 0;         // a deletion failed (errno); the copy stays
    QString why;           // what kept it from starting, where the errno alone would mislead
    qsizetype changed = 0; // files changed or added since their copy began
    QString firstChanged;  // one of them, relative to the original's folder
    qsizetype special = 0; // pipes, sockets, devices
    QStringList specials;  // the first few of them, relative to the original's folder
    qsizetype mounts = 0;  // folders where something is mounted: they stay with what they show
    QString firstMount;    // one of them, relative to the original's folder
    QString keptAt;        // where the rest of the original is now (empty: all gone)
    int unflushed = 0;     // what changed in the original's folder did not reach the disk (errno)
    qsizetype removed = 0; // entries of the original that went
    qsizetype stayed = 0;  // entries that stayed by themselves (not folders that only hold them)
    // The first few of them, relative to the original's folder.
    QStringList firstStayed;
};
// Ends a move once the copy of `source` has its real name at `target`: sets the original
// aside under a hidden name, deletes each entry that was copied and is unchanged since,
// and gives the rest its name back. Copies of changed files leave the target again. What changed in
// the original's folder is flushed with `later`'s records, or here; so is the record of the original
// set aside ended.
Leftover finishMove(const QString &source, const QString &target, CopyReport &report,
                    Journal::Unflushed *later = nullptr);
// The same for `name` in the held folder `from`, whose copy is `targetName` in the held folder `into`.
// Nothing goes while `from` is not at its path any more: the refusal is what stayed then.
Leftover finishMove(const HeldFolder &from, const QByteArray &name, const HeldFolder &into,
                    const QByteArray &targetName, CopyReport &report, Journal::Unflushed *later = nullptr);
// The sentence for what stayed behind; empty when nothing did.
QString leftoverText(const Leftover &left, const QString &name);
// A move's copy that came without some of the original's security attributes (file capabilities, labels)
// does not replace it: the sentence why the original stays, empty when the copy has them all.
QString securityKeptText(const CopyReport &report, const QString &name);

// The sentence for a step refused because its record could not be written (errno e): nothing changed.
QString unrecordedText(const QString &name, int e);
// The copy of a move at `part` takes the name `to` next. Its record, on stable storage first, lets the
// next start leave exactly one of the copy and the original `source` (whose stat was `st` before its
// copy began). Empty, or the sentence why the move goes no further; `copy` gets the copy's stat.
QString recordMove(const QString &part, const QString &to, const QString &source, const struct stat &st,
                   struct stat &copy);
// The copy of a move (stat `copy`) took the name `to`: the folder that holds it goes to stable storage
// before the original may go. Empty, or the sentence why the original stays; the copy goes again then,
// and the move's record must stay for the next start.
QString flushPlaced(const QString &to, const struct stat &copy, const QString &name);

// Moves one item to another volume: copy, flush, put in place, then remove the original.
// Throws like copyTree; an original that will not go (wholly) is a FileError.
void moveAcross(const QString &from, const QString &to, TransferProgress &progress);
// The same for `fromName` in the held folder `fromFolder`, to `toName` in the held folder `into`.
void moveAcross(const HeldFolder &fromFolder, const QByteArray &fromName, const HeldFolder &into,
                const QByteArray &toName, TransferProgress &progress);
// The Trash's way for an item its drive will not rename into the Trash on the same device: moves `name`
// of the folder open at dirFd to the path `entry` as moveAcross does. 0 or errno.
int carryToTrash(int dirFd, const QByteArray &name, int filesFd, const QByteArray &entry);

} // namespace FileSteps
