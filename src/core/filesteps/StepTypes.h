#pragma once

// What the file-system steps and the file operations above them share: the errors of file operations,
// what interrupted transfers left, free names and the sentences for errors. A FileError is what the
// system said (an errno and its text); the two others tell a cancelled job and a failing file inside a
// tree.

#include <QByteArray>
#include <QString>
#include <QStringList>

struct FileError {
    int code = 0;                  // errno; 0 when the system gave none
    QString description;           // shown after the item name when no better sentence exists
    bool renameNotApplied = false; // the volume said yes to a rename but kept the old name

    static FileError fromErrno(int code);
};

struct CancelledError {};

struct CopyFailure {
    QString path; // source path of the file whose copy failed
    FileError underlying;
};

namespace FileSteps {

// Items an interrupted transfer left under hidden names that could not be settled on their own.
struct Leftovers {
    QStringList setAside;     // originals of folder moves whose name is taken again
    QStringList parts;        // copies on file systems that keep no marker of ours
    QStringList renamed;      // items of a batch rename whose old and new names are both taken again
    QStringList refused;      // items of a batch rename whose new name the volume refuses, the old one taken
    QStringList renamedAside; // items of a batch rename under a free name: items of the batch hold theirs
    QStringList journals;     // journals that could not be read, so what they name is not settled
    QStringList lost;         // items of a batch rename whose records are lost: where they belong is unknown
    QStringList damaged;      // journals with lines that are no records: what those named is not settled
    QStringList unmatched;    // hidden names of a batch rename that the volume no longer shows as their item
    QStringList unrecorded; // items under our part names whose records are lost: where they belong is unknown
    QStringList oldNames;   // items of a batch rename under their old names while others of it took new ones
    QStringList stuck;      // parts of ours that could not be removed (a folder that lets nothing go)
    QStringList away;       // items under hidden names in a folder gone from its path: kept on record
    bool isEmpty() const {
        return setAside.isEmpty() && parts.isEmpty() && renamed.isEmpty() && refused.isEmpty() &&
               renamedAside.isEmpty() && journals.isEmpty() && lost.isEmpty() && damaged.isEmpty() &&
               unmatched.isEmpty() && unrecorded.isEmpty() && oldNames.isEmpty() && stuck.isEmpty() &&
               away.isEmpty();
    }
    QString first() const {
        for (const QStringList *list : {&setAside, &parts, &renamed, &refused, &renamedAside, &journals,
                                        &lost, &damaged, &unmatched, &unrecorded, &oldNames, &stuck, &away})
            if (!list->isEmpty()) return list->first();
        return {};
    }
};

// A path in `folder` at which no item exists: `name` itself, else the name with the
// copy word (or, when numbered, " 2", " 3" …). Names are shortened at character
// boundaries when the suffix would make them longer than the folder's file system allows.
QString uniqueURL(const QString &name, const QString &folder, bool numbered = false);

QString explain(const FileError &error, const QString &name);
// Why a volume takes no more (ENOSPC, EDQUOT), without an item's name: its quota is used up, it has no
// entry left for another item (`fd`, a descriptor on it, tells), or no space.
QString fullText(int code, int fd = -1);
// `error` with that sentence as its text where it says the volume of `fd` is full.
FileError withFullText(const FileError &error, int fd);
QString describe(const FileError &error, const QString &name);
QString describe(const CopyFailure &error, const QString &name);
bool isPermissionDenied(const FileError &error);
// The error of a name the drive refused (it says EINVAL, exfat-fuse ENOENT), with the drive's limit as its
// reason.
FileError nameRefused(const QByteArray &name);

} // namespace FileSteps
