#include "core/tools/FolderSync.h"

#include "core/fileops/FileOps.h"
#include "core/fileops/TrashMemory.h"
#include "core/fileops/TwoPhaseRename.h"
#include "core/fileops/FileSteps.h"
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

// The item is still what the compare saw (or still absent).
void expectUnchanged(const std::optional<EntryFacts> &expected, const QString &path, const QString &rel) {
    int err = 0;
    const std::optional<EntryFacts> now = FolderCompare::facts(path, &err);
    if (err) throw FileError::fromErrno(err);
    if (now != expected) throw Failure{LF("„%@“ wurde seit dem Vergleich geändert.", rel)};
}

// A free hidden name beside `dest`; the copy made under it is ours alone to remove.
QString freeTemp(const QString &dest) {
    const QString folder = Posix::parentOf(dest);
    for (int i = 0; i < 16; ++i) {
        const QString temp = Posix::childPath(folder, tempName());
        struct stat st;
        if (Posix::lstatError(temp, st) == ENOENT) return temp;
    }
    throw FileError::fromErrno(EEXIST);
}

struct Runner {
    const QString &left;
    const QString &right;
    TransferProgress &progress;
    SyncResult &result;

    std::optional<FileOps::TrashedPair> toTrash(const QString &path, const QString &rel) {
        const Trash::Result r = Trash::moveToTrash(path);
        switch (r.status) {
        case Trash::Status::moved:
            result.trashed << FileOps::TrashedPair{path, r.inTrash};
            return result.trashed.last();
        case Trash::Status::noTrash:
            throw Failure{LF("„%@“ liegt auf einem Laufwerk ohne Papierkorb und bleibt unverändert.", rel)};
        case Trash::Status::failed:
            break;
        }
        throw FileError::fromErrno(r.err);
    }

    void copy(const QString &source, const QString &dest, const std::optional<EntryFacts> &expected,
              const QString &rel) {
        expectUnchanged(expected, dest, rel);
        const QString temp = freeTemp(dest);
        try {
            FileOps::copyTree(source, temp, progress, false);
            if (afterCopy()) afterCopy()(temp);
            if (progress.isCancelled()) throw CancelledError{};
            std::optional<FileOps::TrashedPair> old;
            if (expected) {
                // The copy may have taken long: look again right before the old item goes.
                expectUnchanged(expected, dest, rel);
                old = toTrash(dest, rel);
            }
            if (const int e = FileOps::detail::renameNoReplace(temp, dest)) {
                if (old) {
                    // Put the old item back where it was; it left the Trash, so its entry there goes too.
                    const QString info = Trash::infoFileFor(old->inTrash);
                    if (FileOps::detail::renameNoReplace(old->inTrash, dest) == 0) {
                        if (!info.isEmpty()) FileOps::detail::removeTree(info);
                        result.trashed.removeLast();
                    }
                }
                throw FileError::fromErrno(e);
            }
        } catch (...) {
            FileOps::detail::removeTree(temp);
            throw;
        }
    }

    void step(const SyncStep &s) {
        const QString rel = s.row.id;
        const QString l = Posix::childPath(left, rel), r = Posix::childPath(right, rel);
        switch (s.action) {
        case SyncAction::toRight:
            copy(l, r, s.row.rightFacts, rel);
            break;
        case SyncAction::toLeft:
            copy(r, l, s.row.leftFacts, rel);
            break;
        case SyncAction::trashLeft:
        case SyncAction::trashRight: {
            const bool onLeft = s.action == SyncAction::trashLeft;
            const std::optional<EntryFacts> &expected = onLeft ? s.row.leftFacts : s.row.rightFacts;
            if (!expected) throw Failure{LF("„%@“ wurde seit dem Vergleich geändert.", rel)};
            expectUnchanged(expected, onLeft ? l : r, rel);
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
    }
    return c;
}

QString tempName() {
    return FileOps::renameTempName();
}

void setAfterCopyHook(Hook hook) {
    afterCopy() = std::move(hook);
}

SyncResult run(const QString &left, const QString &right, const QList<SyncStep> &steps,
               TransferProgress &progress) {
    SyncResult result;
    QStringList sources;
    for (const SyncStep &s : steps) {
        if (s.action == SyncAction::toRight) sources << Posix::childPath(left, s.row.id);
        if (s.action == SyncAction::toLeft) sources << Posix::childPath(right, s.row.id);
    }
    progress.setTotal(FileOps::totalBytes(sources), steps.size());
    Runner runner{left, right, progress, result};
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
        } catch (const Failure &f) {
            result.errors << f.text;
        } catch (const FileError &e) {
            result.errors << FileOps::explain(e, steps[i].row.id);
        } catch (const CopyFailure &f) {
            result.errors << FileOps::describe(f, steps[i].row.id);
        }
    }
    // One write of the origins for the whole run.
    QList<QPair<QString, QString>> origins;
    for (const FileOps::TrashedPair &p : result.trashed)
        origins << qMakePair(p.original, p.inTrash);
    if (!origins.isEmpty()) TrashMemory::rememberAll(origins);
    return result;
}

} // namespace FolderSync
