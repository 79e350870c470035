#pragma once

// The errors of file operations. A FileError is what the system said (an errno and
// its text); the two others tell a cancelled job and a failing file inside a tree.

#include <QString>

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
