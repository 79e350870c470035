#include "core/tools/FolderSync.h"

#include "core/fileops/FileOps.h"
#include "core/filesteps/TrashMemory.h"
#include "core/filesteps/CopyJob.h"
#include "core/localisation/Lang.h"
#include "platform/Posix.h"
#include "platform/Trash.h"

#include <unistd.h>

namespace FolderSync {

namespace {

FolderSync::Hook &afterCopy() {
    static FolderSync::Hook hook;
    return hook;
}

// A step that cannot go on, with the sentence that says why.
struct Failure {
    QString text;
};
// The run cannot go on: a root is no longer the folder the compare read.
struct RootGone {
    QString text;
};

QString rootGoneText(const QString &root) {
    return LF("„%@“ ist nicht mehr der Ordner des Vergleichs. Bitte erneut vergleichen.", root);
}

// The item is still what the compare saw (or still absent).
void expectUnchanged(const std::optional<EntryFacts> &expected, const QString &path, const QString &rel) {
    int err = 0;
    const std::optional<EntryFacts> now = FolderCompare::facts(path, &err);
    if (err) throw FileError::fromErrno(err);
    if (now != expected) throw Failure{LF("„%@“ wurde seit dem Vergleich geändert.", rel)};
}

struct Runner {
    const QString &left;
    const QString &right;
    const Roots &roots;
    TransferProgress &progress;
    SyncResult &result;
    FileSteps::CopyJobPtr job = FileSteps::newCopyJob(progress);
    FileSteps::Journal::Unflushed replaced{}; // their records end with the run, once flushed
    QStringList written{};                    // the roots whose volumes the run changed

    void writes(bool onLeft) {
        const QString &root = onLeft ? left : right;
        if (!written.contains(root)) written << root;
    }

    // Before anything is written on a side: a volume unmounted during the run leaves its mount point
    // behind, and the same path would then write onto the disk beneath it.
    void expectRoot(bool onLeft) const {
        const std::optional<RootId> &id = onLeft ? roots.left : roots.right;
        const QString &root = onLeft ? left : right;
        if (id && FolderCompare::rootId(root) != id) throw RootGone{rootGoneText(root)};
    }

    void toTrash(const QString &path, const QString &rel) {
        const FileSteps::Trashed t = FileSteps::trashItem(path);
        for (const auto &[original, inTrash] : t.moved) {
            result.trashed << FileOps::TrashedPair{original, inTrash};
            // Said at the end when the way to the Trash did not reach the disk.
            replaced.touched(Posix::parentOf(original));
            replaced.touched(Posix::parentOf(inTrash));
        }
        switch (t.status) {
        case Trash::Status::moved:
            if (t.mounts) throw Failure{FileSteps::mountsStayedText(t, rel)};
            return;
        case Trash::Status::noTrash:
            throw Failure{LF("„%@“ liegt auf einem Laufwerk ohne Papierkorb und bleibt unverändert.", rel)};
        case Trash::Status::failed:
            break;
        }
        throw FileError::fromErrno(t.err);
    }

    void copy(const QString &source, const QString &dest, const std::optional<EntryFacts> &expected,
              const QString &rel, bool intoLeft) {
        expectRoot(intoLeft);
        expectUnchanged(expected, dest, rel);
        writes(intoLeft);
        FileSteps::PartCopy part(Posix::parentOf(dest));
        // What replaces an item is on stable storage before that item goes.
        part.copy(*job, source, expected.has_value());
        if (!part.made())
            throw Failure{LF("„%@“: Pipes, Sockets und Geräte lassen sich nicht kopieren.", rel)};
        if (afterCopy()) afterCopy()(part.path());
        if (progress.isCancelled()) throw CancelledError{};
        expectRoot(intoLeft);
        if (!expected) {
            if (const int e = part.place(dest)) throw FileError::fromErrno(e);
            return;
        }
        // The copy may have taken long: look again right before the old item goes.
        expectUnchanged(expected, dest, rel);
        struct stat old;
        if (const int e = Posix::lstatError(dest, old)) throw FileError::fromErrno(e);
        if (old.st_dev != expected->dev || old.st_ino != expected->ino)
            throw Failure{LF("„%@“ wurde seit dem Vergleich geändert.", rel)};
        const FileSteps::Replaced r = part.replace(dest, old);
        if (!r.inTrash.isEmpty()) result.trashed << FileOps::TrashedPair{dest, r.inTrash};
        switch (r.how) {
        case FileSteps::Replaced::How::done:
            // The old item's way to the Trash is on the disk before the record goes.
            part.handTo(replaced);
            replaced.touched(Posix::parentOf(r.inTrash));
            return;
        case FileSteps::Replaced::How::nameFree:
            throw Failure{LF("„%@“ wurde seit dem Vergleich geändert.", rel)};
        case FileSteps::Replaced::How::failed:
        case FileSteps::Replaced::How::kept:
            break;
        }
        if (r.noTrash)
            throw Failure{LF("„%@“ liegt auf einem Laufwerk ohne Papierkorb und bleibt unverändert.", rel)};
        throw r.error;
    }

    void step(const SyncStep &s) {
        const QString rel = s.row.id;
        const QString l = Posix::childPath(left, rel), r = Posix::childPath(right, rel);
        switch (s.action) {
        case SyncAction::toRight:
            copy(l, r, s.row.rightFacts, rel, false);
            break;
        case SyncAction::toLeft:
            copy(r, l, s.row.leftFacts, rel, true);
            break;
        case SyncAction::trashLeft:
        case SyncAction::trashRight: {
            const bool onLeft = s.action == SyncAction::trashLeft;
            const std::optional<EntryFacts> &expected = onLeft ? s.row.leftFacts : s.row.rightFacts;
            if (!expected) throw Failure{LF("„%@“ wurde seit dem Vergleich geändert.", rel)};
            expectRoot(onLeft);
            expectUnchanged(expected, onLeft ? l : r, rel);
            writes(onLeft);
            toTrash(onLeft ? l : r, rel);
            break;
        }
        case SyncAction::none:
            break;
        }
    }
};

} // namespace

Counts counts(const QList<SyncStep> &steps) {
    Counts c;
    for (const SyncStep &s : steps) {
        if (s.action == SyncAction::trashLeft || s.action == SyncAction::trashRight) ++c.trash;
        if ((s.action == SyncAction::toRight && s.row.rightFacts) ||
            (s.action == SyncAction::toLeft && s.row.leftFacts))
            ++c.replace;
        else if (s.action == SyncAction::toRight || s.action == SyncAction::toLeft)
            ++c.copy;
    }
    return c;
}

void setAfterCopyHook(Hook hook) {
    afterCopy() = std::move(hook);
}

SyncResult run(const QString &left, const QString &right, const QList<SyncStep> &steps,
               TransferProgress &progress, const Roots &roots) {
    SyncResult result;
    // A volume that went or changed since the compare would be written under another folder's name.
    for (const auto &[root, id] : {std::pair{left, roots.left}, std::pair{right, roots.right}}) {
        if (id && FolderCompare::rootId(root) != id) {
            result.errors << rootGoneText(root);
            return result;
        }
    }
    if (FolderCompare::nested(left, right)) {
        result.errors << L("Ein Ordner liegt im anderen.");
        return result;
    }
    QStringList sources;
    for (const SyncStep &s : steps) {
        if (s.action == SyncAction::toRight) sources << Posix::childPath(left, s.row.id);
        if (s.action == SyncAction::toLeft) sources << Posix::childPath(right, s.row.id);
    }
    progress.setTotal(FileOps::totalBytes(sources), steps.size());
    Runner runner{left, right, roots, progress, result};
    for (qsizetype i = 0; i < steps.size(); ++i) {
        if (progress.isCancelled()) {
            result.cancelled = true;
            break;
        }
        progress.setItem(i + 1, steps[i].row.id);
        try {
            runner.step(steps[i]);
            ++result.done;
        } catch (const CancelledError &) {
            result.cancelled = true;
            break;
        } catch (const RootGone &g) {
            result.errors << g.text;
            break;
        } catch (const Failure &f) {
            result.errors << f.text;
        } catch (const FileError &e) {
            result.errors << FileOps::explain(e, steps[i].row.id);
        } catch (const CopyFailure &f) {
            result.errors << FileOps::describe(f, steps[i].row.id);
        }
    }
    QString unflushed;
    if (const int e = runner.replaced.end(&unflushed))
        result.errors << FileSteps::Journal::notFlushedText(unflushed, e);
    // Done only once it is on the drives.
    QString unsaved;
    if (const int e = FileSteps::flushVolumes(runner.written, progress, &unsaved))
        result.errors << FileSteps::notSavedText(unsaved, e);
    // One write of the origins for the whole run.
    QList<QPair<QString, QString>> origins;
    for (const FileOps::TrashedPair &p : result.trashed)
        origins << qMakePair(p.original, p.inTrash);
    if (!origins.isEmpty()) TrashMemory::rememberAll(origins);
    return result;
}

} // namespace FolderSync
