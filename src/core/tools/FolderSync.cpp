#include "core/tools/FolderSync.h"

#include "core/fileops/FileOps.h"
#include "core/filesteps/TrashMemory.h"
#include "core/filesteps/CopyJob.h"
#include "core/localisation/Lang.h"
#include "platform/Posix.h"
#include "platform/Trash.h"

#include <optional>
#include <tuple>

#include <fcntl.h>
#include <sys/stat.h>
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

using FileSteps::HeldFolder;

// Where an entry of a row lies on one side: its folder held beneath the side's root, reached without
// following any link, and its name there.
struct Place {
    const HeldFolder *root = nullptr;
    std::optional<HeldFolder> below;
    QByteArray name;
    QString path; // for messages and the Trash's record
    const HeldFolder &folder() const { return below ? *below : *root; }
};

// The item is still what the compare saw (or still absent).
void expectUnchanged(const std::optional<EntryFacts> &expected, const Place &at, const QString &rel) {
    int err = 0;
    const std::optional<EntryFacts> now = FolderCompare::factsAt(at.folder().fd(), at.name, &err);
    if (err) throw FileError::fromErrno(err);
    // A folder's size and time follow what lies inside, or move on their own (ntfs-3g): a folder is
    // unchanged while it is the same folder.
    const bool sameFolder = now && expected && now->isDir() && expected->isDir() &&
                            now->dev == expected->dev && now->ino == expected->ino;
    if (now != expected && !sameFolder) throw Failure{LF("„%@“ wurde seit dem Vergleich geändert.", rel)};
}

struct Runner {
    const QString &left;
    const QString &right;
    const Roots &roots;
    const HeldFolder &leftHeld;
    const HeldFolder &rightHeld;
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
    // behind, and the same path would then write onto the disk beneath it; a root swapped for a link
    // leads elsewhere.
    void expectRoot(bool onLeft) const {
        const std::optional<RootId> &id = onLeft ? roots.left : roots.right;
        const QString &root = onLeft ? left : right;
        // One look at the path: still the folder held, and the one the compare read.
        const std::optional<RootId> now = FolderCompare::rootId(root);
        if (!now || !(onLeft ? leftHeld : rightHeld).is(now->dev, now->ino) || (id && now != id))
            throw RootGone{rootGoneText(root)};
    }

    Place placeOf(bool onLeft, const QString &rel) const {
        Place at;
        at.root = onLeft ? &leftHeld : &rightHeld;
        at.path = Posix::childPath(onLeft ? left : right, rel);
        const FileSteps::PathBytes bytes(rel);
        at.name = bytes.name();
        const qsizetype slash = bytes.bytes().lastIndexOf('/');
        if (slash < 0) return at;
        const QByteArray folder = bytes.bytes().left(slash);
        try {
            at.below.emplace(at.root->beneath(folder));
        } catch (const FileError &e) {
            // A folder on the way that is a link now was swapped since the compare.
            if (e.code == ELOOP || e.code == EXDEV || e.code == ENOTDIR)
                throw Failure{HeldFolder::refusalText(at.root->pathOf(folder).text())};
            throw;
        }
        return at;
    }

    void toTrash(const Place &at, const QString &rel) {
        const FileSteps::Trashed t = FileSteps::trashItem(at.folder(), at.name, at.path);
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

    void copy(const SyncStep &s, bool intoLeft) {
        const QString &rel = s.row.id;
        const std::optional<EntryFacts> &expected = intoLeft ? s.row.leftFacts : s.row.rightFacts;
        const std::optional<EntryFacts> &shown = intoLeft ? s.row.rightFacts : s.row.leftFacts;
        if (!shown) throw Failure{LF("„%@“ wurde seit dem Vergleich geändert.", rel)};
        expectRoot(!intoLeft);
        expectRoot(intoLeft);
        // Held just now, beneath the roots looked at just now.
        const Place from = placeOf(!intoLeft, rel), to = placeOf(intoLeft, rel);
        expectUnchanged(expected, to, rel);
        writes(intoLeft);
        FileSteps::PartCopy part(to.folder());
        // The source must be the item the compare read; what replaces an item is on stable storage
        // before that item goes.
        struct stat source {};
        source.st_dev = shown->dev;
        source.st_ino = shown->ino;
        try {
            part.copy(*job, from.folder(), from.name, source, expected.has_value(), true);
        } catch (const FileError &e) {
            if (e.code != ESTALE) throw;
            // A held folder refused: a root's is the end of the run.
            expectRoot(!intoLeft);
            expectRoot(intoLeft);
            throw Failure{e.description};
        }
        if (!part.made())
            throw Failure{LF("„%@“: Pipes, Sockets und Geräte lassen sich nicht kopieren.", rel)};
        if (afterCopy()) afterCopy()(part.path());
        if (progress.isCancelled()) throw CancelledError{};
        expectRoot(intoLeft);
        if (!expected) {
            if (const int e = part.place(to.name)) throw FileError::fromErrno(e);
            return;
        }
        // The copy may have taken long: look again right before the old item goes.
        expectUnchanged(expected, to, rel);
        struct stat old;
        if (::fstatat(to.folder().fd(), to.name.constData(), &old, AT_SYMLINK_NOFOLLOW) != 0)
            throw FileError::fromErrno(errno);
        if (old.st_dev != expected->dev || old.st_ino != expected->ino)
            throw Failure{LF("„%@“ wurde seit dem Vergleich geändert.", rel)};
        const FileSteps::Replaced r = part.replace(to.name, old);
        if (!r.inTrash.isEmpty()) result.trashed << FileOps::TrashedPair{to.path, r.inTrash};
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
        switch (s.action) {
        case SyncAction::toRight:
            copy(s, false);
            break;
        case SyncAction::toLeft:
            copy(s, true);
            break;
        case SyncAction::trashLeft:
        case SyncAction::trashRight: {
            const bool onLeft = s.action == SyncAction::trashLeft;
            const std::optional<EntryFacts> &expected = onLeft ? s.row.leftFacts : s.row.rightFacts;
            if (!expected) throw Failure{LF("„%@“ wurde seit dem Vergleich geändert.", rel)};
            expectRoot(onLeft);
            const Place at = placeOf(onLeft, rel);
            expectUnchanged(expected, at, rel);
            writes(onLeft);
            toTrash(at, rel);
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
    // The sizes the compare read: no second walk of what it walked; a folder's is measured.
    qint64 bytes = 0;
    QStringList folders;
    for (const SyncStep &s : steps) {
        const bool toRight = s.action == SyncAction::toRight;
        const std::optional<EntryFacts> &source = toRight ? s.row.leftFacts : s.row.rightFacts;
        if ((!toRight && s.action != SyncAction::toLeft) || !source) continue;
        if (source->isDir())
            folders << Posix::childPath(toRight ? left : right, s.row.id);
        else
            bytes += source->size;
    }
    // Each root held for the whole run, and only the folder the compare read.
    std::optional<HeldFolder> leftHeld, rightHeld;
    for (auto [held, root, id] :
         {std::tuple{&leftHeld, left, roots.left}, std::tuple{&rightHeld, right, roots.right}}) {
        try {
            held->emplace(FileSteps::PathBytes(root));
        } catch (const FileError &) {
        }
        if (!*held ||
            (id && ((*held)->identity().st_dev != id->dev || (*held)->identity().st_ino != id->ino))) {
            result.errors << rootGoneText(root);
            return result;
        }
    }
    // Opened before anything is written: the last flush hears of every write-back error since.
    FileSteps::JobVolumes volumes;
    volumes.open(*leftHeld);
    volumes.open(*rightHeld);
    // Where the journal's later lines are lost, the next start looks beneath the roots for our parts.
    std::optional<FileSteps::Journal::Roots> onRecord;
    try {
        onRecord.emplace(QStringList{left, right});
    } catch (const FileError &e) {
        result.errors << e.description;
        return result;
    }
    progress.setTotal(bytes + FileOps::totalBytes(folders), steps.size());
    Runner runner{left, right, roots, *leftHeld, *rightHeld, progress, result};
    // The side a step writes to: a volume out of entries is told apart from one out of space.
    const auto target = [&](const SyncStep &s) -> const HeldFolder & {
        return s.action == SyncAction::toLeft || s.action == SyncAction::trashLeft ? *leftHeld : *rightHeld;
    };
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
            result.errors << FileOps::explain(FileSteps::withFullText(e, target(steps[i]).fd()),
                                              steps[i].row.id);
        } catch (const CopyFailure &f) {
            result.errors << FileOps::describe(
                CopyFailure{f.path, FileSteps::withFullText(f.underlying, target(steps[i]).fd())},
                steps[i].row.id);
        }
    }
    QString unflushed;
    if (const int e = runner.replaced.end(&unflushed))
        result.errors << FileSteps::Journal::notFlushedText(unflushed, e);
    // Done only once it is on the drives.
    QString unsaved;
    if (const int e = volumes.flush(runner.written, progress, &unsaved))
        result.errors << FileSteps::notSavedText(unsaved, e);
    // One write of the origins for the whole run.
    QList<QPair<QString, QString>> origins;
    for (const FileOps::TrashedPair &p : result.trashed)
        origins << qMakePair(p.original, p.inTrash);
    if (!origins.isEmpty()) TrashMemory::rememberAll(origins);
    return result;
}

} // namespace FolderSync
