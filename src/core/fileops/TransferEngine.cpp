#include "core/fileops/FileOps.h"
#include "core/fileops/TrashMemory.h"
#include "core/fileops/TreeWalk.h"

#include "core/localisation/Lang.h"
#include "core/localisation/FileFmt.h"
#include "platform/Posix.h"
#include "platform/Trash.h"

#include <QSet>

#include <atomic>
#include <cerrno>
#include <set>
#include <utility>

#include <unistd.h>

namespace FileOps {
namespace {

using namespace detail;

using Identity = std::pair<dev_t, ino_t>;

Identity identityOf(const struct stat &st) {
    return {st.st_dev, st.st_ino};
}

QString noTrashText() {
    return L("Auf diesem Laufwerk gibt es keinen Papierkorb.");
}

class Engine {
public:
    Engine(const QStringList &paths, const QString &to, bool move, TransferProgress &progress,
           const QHash<QString, ConflictChoice> &resolutions)
        : paths_(paths), to_(to), move_(move), progress_(progress), resolutions_(resolutions),
          job_(newCopyJob(progress)) {}

    TransferOutcome run();

private:
    enum class Step { next, stop };
    Step item(const QString &path, bool sameVolume);
    void fail(const QString &message) { out_.errors << message; }

    const QStringList &paths_;
    const QString to_;
    const bool move_;
    TransferProgress &progress_;
    const QHash<QString, ConflictChoice> &resolutions_;
    CopyJobPtr job_;
    TransferOutcome out_;
    std::set<Identity> made_; // what this batch put into the destination
    struct stat destSt {};
    bool destOk_ = false;
    bool aclDropped_ = false;
};

TransferOutcome Engine::run() {
    destOk_ = Posix::statPath(to_, destSt);
    // One answer per item: it decides both the measuring and the way of copying.
    QList<bool> same;
    QStringList byteCopies;
    for (const QString &path : paths_) {
        struct stat st;
        const bool s = destOk_ && Posix::lstatPath(path, st) && st.st_dev == destSt.st_dev;
        same << s;
        // Only a move within one volume is a rename; every other item is copied byte by byte
        // (or cloned) with progress.
        // Items the user skips are not counted against the free space.
        const bool skipped = resolutions_.value(path, ConflictChoice::keepBoth) == ConflictChoice::skip;
        if (!(s && move_) && !skipped) byteCopies << path;
    }

    if (!byteCopies.isEmpty()) {
        progress_.setItem(0, L("Berechne Umfang …"));
        removeStaleParts(to_);
    }
    const std::optional<qint64> bytes = totalBytes(byteCopies, progress_);
    if (!bytes) {
        out_.cancelled = true;
        return out_;
    }
    progress_.setTotal(*bytes, paths_.size());
    if (*bytes >= 1) {
        const std::optional<qint64> free = freeBytes(to_);
        if (free && *free < *bytes) {
            out_.errors << LF("Nicht genug freier Speicherplatz auf dem Ziel: %@ nötig, %@ frei.",
                              FileFmt::size(*bytes), FileFmt::size(*free));
            return out_;
        }
    }

    for (qsizetype i = 0; i < paths_.size(); ++i) {
        if (progress_.isCancelled()) {
            out_.cancelled = true;
            break;
        }
        progress_.setItem(i + 1, Posix::lastComponent(paths_[i]));
        if (item(paths_[i], same[i]) == Step::stop) break;
    }
    if (aclDropped_) {
        // Said once for the batch, not for every file.
        // clang-format off
        out_.errors << L("Das Ziel kann keine Zugriffslisten (ACLs) speichern. Die Kopien haben nur die einfachen Rechte, und nie mehr, als das Original erlaubte.");
        // clang-format on
    }
    return out_;
}

Engine::Step Engine::item(const QString &path, bool sameVolume) {
    const QString name = Posix::lastComponent(path);
    struct stat src;
    if (const int e = Posix::lstatError(path, src)) {
        fail(explain(FileError::fromErrno(e), name));
        return Step::next;
    }

    // Into itself: by text, and by device and inode of every parent of the destination.
    if (to_ == path || to_.startsWith(path + u'/') || (S_ISDIR(src.st_mode) && liesInside(to_, path, src))) {
        fail(LF("„%@“ kann nicht in sich selbst abgelegt werden.", name));
        return Step::next;
    }

    // Moving an item into the folder it already lies in does nothing.
    const QString parent = Posix::parentOf(path);
    struct stat parentSt;
    if (move_ &&
        (parent == to_ || (destOk_ && Posix::statPath(parent, parentSt) && sameInode(parentSt, destSt)))) {
        ++out_.skipped;
        return Step::next;
    }

    const auto choice = resolutions_.constFind(path);
    if (choice != resolutions_.cend() && *choice == ConflictChoice::skip) {
        ++out_.skipped;
        return Step::next;
    }

    const QString named = Posix::childPath(to_, name);
    QString target;
    bool replacing = false;
    if (choice != resolutions_.cend() && *choice == ConflictChoice::replace) {
        struct stat old;
        if (!Posix::lstatPath(named, old)) {
            target = named; // the old item went meanwhile: nothing to replace
        } else if (sameInode(old, src)) {
            // The destination reaches the source itself through another path.
            if (move_) {
                ++out_.skipped;
                return Step::next;
            }
            target = uniqueURL(name, to_);
        } else if (made_.count(identityOf(old))) {
            // Never replace what this batch has just put there.
            target = uniqueURL(name, to_);
        } else {
            target = named;
            replacing = true;
        }
    } else {
        target = uniqueURL(name, to_);
    }

    // Copies are made under a hidden name and take their real name only when complete; so is
    // a replacement renamed here, while the old item stays until then.
    const bool renaming = sameVolume && move_;
    QString placeAt = replacing || !renaming ? hiddenName(to_, "part") : target;
    bool renamed = false;
    CopyReport report;
    report.remember = move_;
    try {
        if (renaming) {
            // EXDEV (e.g. across a bind mount): copy after all.
            const int e = renameNoReplace(path, placeAt);
            if (e == 0)
                renamed = true;
            else if (e != EXDEV)
                throw FileError::fromErrno(e);
        }
        if (!renamed) {
            if (placeAt == target) placeAt = hiddenName(to_, "part");
            copyTree(*job_, path, placeAt, move_, report);
        }
    } catch (const CancelledError &) {
        if (report.createdRoot) removeTree(placeAt);
        out_.cancelled = true;
        return Step::stop;
    } catch (const CopyFailure &f) {
        if (report.createdRoot) removeTree(placeAt);
        fail(describe(f, name));
        return Step::next;
    } catch (const FileError &e) {
        if (report.createdRoot) removeTree(placeAt);
        fail(describe(e, name));
        return Step::next;
    }
    aclDropped_ = aclDropped_ || report.aclDropped;

    // Puts things back as they were before this item.
    auto undoPlace = [&] {
        if (renamed)
            renameNoReplace(placeAt, path);
        else
            removeTree(placeAt);
    };

    QString changedText;
    if (!renamed) {
        if (!report.createdRoot) {
            // Nothing the copy can carry (a pipe, a socket, a device).
            fail(LF("„%@“: Pipes, Sockets und Geräte lassen sich nicht kopieren.", name));
            return Step::next;
        }
        if (move_ && !S_ISDIR(src.st_mode) && !report.unstable.isEmpty()) {
            removeTree(placeAt);
            fail(LF("„%@“ wurde während des Verschiebens geändert und bleibt am alten Ort.", name));
            return Step::next;
        }
        if (!move_ && !report.unstable.isEmpty()) {
            // The copy is kept, but it may hold a state the file never had.
            const QString inner = Posix::lastComponent(report.unstable.first());
            changedText = LF(
                "„%@“ wurde während des Kopierens geändert. Die Kopie ist womöglich unvollständig.", inner);
            if (inner != name) changedText += u' ' + LF("(in „%@“)", name);
        }
    }

    if (replacing) {
        const Trash::Result trashed = Trash::moveToTrash(named);
        if (trashed.status != Trash::Status::moved) {
            undoPlace();
            const FileError e = trashed.status == Trash::Status::noTrash
                                    ? FileError{EOPNOTSUPP, noTrashText(), false}
                                    : FileError::fromErrno(trashed.err);
            fail(explain(e, name));
            return Step::next;
        }
        TrashMemory::remember(named, trashed.inTrash);
        if (const int e = renameNoReplace(placeAt, named)) {
            // Something took the name meanwhile: bring the old item back where it was.
            if (renameNoReplace(trashed.inTrash, named) == 0) {
                TrashMemory::forget(trashed.inTrash);
                if (const QString info = Trash::infoFileFor(trashed.inTrash); !info.isEmpty())
                    removeTree(info);
            }
            undoPlace();
            fail(explain(FileError::fromErrno(e), name));
            return Step::next;
        }
    } else if (!renamed) {
        // A name taken meanwhile: the next free one.
        int e = 0;
        for (int attempt = 0; (e = renameNoReplace(placeAt, target)) == EEXIST && attempt < 20; ++attempt)
            target = uniqueURL(name, to_);
        if (e) {
            removeTree(placeAt);
            fail(explain(FileError::fromErrno(e), name));
            return Step::next;
        }
    }
    report.held.reset();

    if (move_ && !renamed) {
        reached(detail::Step::placed, bytesOf(target));
        syncFolder(to_); // the copy's name is on stable storage before the original goes
        const Leftover left = finishMove(path, target, report);
        if (const QString text = leftoverText(left, name); !text.isEmpty()) {
            struct stat kept;
            if (Posix::lstatPath(target, kept)) {
                made_.insert(identityOf(kept));
                out_.created << target;
            }
            fail(text);
            return Step::next;
        }
    }

    struct stat made;
    if (Posix::lstatPath(target, made)) made_.insert(identityOf(made));
    ++out_.done;
    out_.created << target;
    out_.pairs << TransferPair{path, target};
    if (!changedText.isEmpty()) fail(changedText);
    return Step::next;
}

} // namespace

TransferOutcome runWithProgress(const QStringList &paths, const QString &to, bool move,
                                TransferProgress &progress,
                                const QHash<QString, ConflictChoice> &resolutions) {
    if (paths.isEmpty()) {
        progress.setTotal(0, 0);
        return {};
    }
    Engine engine(paths, to, move, progress, resolutions);
    return engine.run();
}

} // namespace FileOps
