#pragma once

// Where tests and benchmarks act on the file-system steps: a hook at each step of a copy or move, and
// faults put in on purpose (no exchange, failing flushes, a failing disk).

#include <QString>

#include <functional>

namespace FileSteps {

// Steps of a copy or move at which tests act (a writer, a kill).
// oldItemOut: a replaced item has left its name; flushed: a copy's file system is on stable storage;
// toTrash: an item's Trash entry is on record, the item goes next; volumeFlush: the flush of a job's
// destination volume at the job's end begins (the path is the folder); privateFolderMade: a private work
// folder was made and is not yet held; privateFolderHeld: it is held and checked; unpacked: an archive was
// unpacked into this folder, nothing in it is tamed yet; walkEntering: a walk beneath a held folder is about
// to open this folder; trashEntryRenamed: an entry of a Trash has its new name, and its record both names.
enum class Step {
    chunkCopied,
    fileCopied,
    placed,
    sourceAside,
    fileRemoved,
    oldItemOut,
    flushed,
    toTrash,
    volumeFlush,
    privateFolderMade,
    privateFolderHeld,
    unpacked,
    walkEntering,
    trashEntryRenamed
};
using StepHook = std::function<void(Step, const QString &path)>;
void setStepHook(StepHook hook);

// False makes held folders open what lies beneath them name by name, as on kernels without openat2.
void setOpenat2ForTests(bool on);
// False makes a replace take the way of file systems that cannot exchange two names.
void setExchangeForTests(bool on);
// The flushes of `folder` fail with `error` (0: as the system answers).
void setFolderSyncErrorForTests(const QString &folder, int error);
// A failing disk. Every flush (and with `writesToo` every journal and copy write and every rename of
// these steps) fails with `error` from now on (0: healed).
void setDiskErrorForTests(int error, bool writesToo = true);
// How many flushes the failing disk has failed so far.
int failedFlushesForTests();

namespace Journal {
// Called with the journal's size each time its records are on stable storage.
void setFlushedHookForTests(std::function<void(qint64 size)> hook);
} // namespace Journal

} // namespace FileSteps
