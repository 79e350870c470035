#include "core/fileops/UndoJournal.h"
#include "core/fileops/TwoPhaseRename.h"

#include "core/fileops/FileAccess.h"
#include "core/fileops/FileActionContext.h"
#include "core/fileops/RestoreMove.h"
#include "core/localisation/Lang.h"
#include "core/localisation/FileFmt.h"

#include "core/filesteps/FileSteps.h"
#include "core/filesteps/HeldFolder.h"
#include "platform/Posix.h"
#include "platform/Trash.h"

#include <QDir>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>

void UndoJournal::record(const QString &title, const UndoAction &action) {
    entries_.append(UndoEntry{title, action, {}});
    ++recorded_;
    if (entries_.size() > limit) entries_.remove(0, entries_.size() - limit);
    emit changed();
}

void UndoJournal::record(const UndoTitle &title, const UndoAction &action) {
    record(title(), action);
    entries_.last().titleNow = title;
}

std::optional<QString> UndoJournal::undoTitle() const {
    if (entries_.isEmpty()) return std::nullopt;
    return entries_.last().text();
}

void UndoJournal::putBack(const UndoEntry &entry, quint64 mark) {
    // Below the entries recorded since it was taken, so that the order of undoing stays.
    const qsizetype since = qsizetype(std::min<quint64>(recorded_ - mark, quint64(entries_.size())));
    entries_.insert(entries_.size() - since, entry);
    if (entries_.size() > limit) entries_.remove(0, entries_.size() - limit);
    emit changed();
}

std::optional<UndoEntry> UndoJournal::takeLast() {
    if (entries_.isEmpty()) return std::nullopt;
    UndoEntry entry = entries_.takeLast();
    emit changed();
    return entry;
}

namespace FileActions {
namespace {

// An item that cannot go back because its old name is held: counted, as the user may free the name.
QString alreadyThereText(const QString &name, UndoReport &report) {
    ++report.taken;
    return LF("„%@“ gibt es am alten Ort schon.", name);
}

// Whether the old name `other` finds the item itself (`self`, now named `name`), as on a volume that ignores
// letter case: then the way back is a case-only rename, not a name taken.
bool findsItself(const FileSteps::HeldFolder &folder, const struct stat &self, const QString &name,
                 const QString &other) {
    const QStringList listed =
        QDir(FileSteps::pinnedPath(folder))
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    return FileSteps::findsUnder(folder.fd(), self, name, other, listed).value_or(false);
}

// Brings back the items that the reversed items had replaced, where their place is free again.
void restoreReplaced(const QList<FileOps::TrashedPair> &replaced, const QSet<QString> &freed,
                     TransferProgress &progress, UndoReport &report) {
    for (const FileOps::TrashedPair &pair : replaced) {
        if (!freed.contains(pair.original) || !Restore::exists(pair.inTrash)) continue;
        if (Restore::exists(pair.original)) continue; // taken again meanwhile: it stays in the Trash
        if (auto error = Restore::moveItem(pair.inTrash, pair.original, progress))
            report.errors << Restore::message(*error, Restore::name(pair.original));
        else
            Restore::forgetTrashed(pair.inTrash);
    }
}

void reverseMoves(const UndoAction &action, TransferProgress &progress, UndoReport &report) {
    QSet<QString> freed;
    for (qsizetype i = action.pairs.size() - 1; i >= 0; --i) {
        if (progress.isCancelled()) {
            report.cancelled = true;
            break;
        }
        const TransferPair &pair = action.pairs[i];
        if (!Restore::exists(pair.to)) {
            report.errors << LF("„%@“ ist nicht mehr da.", Restore::name(pair.to));
            continue;
        }
        if (!Trash::infoFileFor(pair.from).isEmpty()) {
            // Back into the Trash (the undo of a put back): as a move to the Trash, so that the
            // item gets its description again and may take another name there.
            const FileOps::TrashResult trashed = FileOps::trash(FileOps::unlisted({pair.to}));
            report.errors << trashed.errors;
            if (!trashed.noTrash.isEmpty())
                report.errors << LF("%d Objekt(e) liegen auf einem Laufwerk ohne Papierkorb und bleiben.", 1);
            report.done += trashed.done;
            continue;
        }
        if (Restore::exists(pair.from)) {
            report.errors << alreadyThereText(Restore::name(pair.from), report);
            continue;
        }
        if (auto error = Restore::moveItem(pair.to, pair.from, progress)) {
            report.errors << Restore::message(*error, Restore::name(pair.to));
            continue;
        }
        ++report.done;
        report.moved << TransferPair{pair.to, pair.from};
        freed.insert(pair.to);
    }
    restoreReplaced(action.replaced, freed, progress, report);
}

// What a move took from a folder that kept some of its items goes back into it, entry by entry; a name
// taken at the old place keeps its entry where it is. True only once all went back and the folder the move
// made is gone, empty: what was put into it meanwhile keeps it at the new place.
bool mergeBack(const QString &to, const QString &from, TransferProgress &progress, UndoReport &report) {
    bool whole = true;
    const QStringList names =
        QDir(to).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        if (progress.isCancelled()) {
            report.cancelled = true;
            return false;
        }
        const QString there = Posix::childPath(to, name), back = Posix::childPath(from, name);
        struct stat a, b;
        if (Posix::lstatPath(back, b)) {
            if (S_ISDIR(b.st_mode) && Posix::lstatPath(there, a) && S_ISDIR(a.st_mode)) {
                whole = mergeBack(there, back, progress, report) && whole;
                continue;
            }
            report.errors << alreadyThereText(name, report);
            whole = false;
        } else if (auto error = Restore::moveItem(there, back, progress)) {
            report.errors << Restore::message(*error, name);
            whole = false;
        }
    }
    if (!whole) return false;
    const auto bytes = FileSteps::PathBytes::of(to);
    const int e = bytes ? FileSteps::removeEmptyFolder(*bytes) : EILSEQ;
    if (e == ENOTEMPTY || e == EEXIST)
        report.errors << LF("„%@“ bleibt am neuen Ort: Darin liegt inzwischen etwas Neues.",
                            Restore::name(to));
    else if (e)
        report.errors << Restore::message(FileError::fromErrno(e), Restore::name(to));
    return e == 0;
}

void reverseParts(const UndoAction &action, TransferProgress &progress, UndoReport &report) {
    for (const TransferPair &pair : action.partly) {
        if (report.cancelled) break;
        if (!Restore::exists(pair.to)) {
            report.errors << LF("„%@“ ist nicht mehr da.", Restore::name(pair.to));
            continue;
        }
        // What stayed may have gone meanwhile: then the whole item goes back.
        std::optional<FileError> error;
        if (!Restore::exists(pair.from))
            error = Restore::moveItem(pair.to, pair.from, progress);
        else if (!Restore::isFolder(pair.from) || !Restore::isFolder(pair.to))
            error = FileError::fromErrno(EEXIST);
        else if (!mergeBack(pair.to, pair.from, progress, report))
            continue;
        if (error) {
            report.errors << (error->code == EEXIST ? alreadyThereText(Restore::name(pair.from), report)
                                                    : Restore::message(*error, Restore::name(pair.to)));
            continue;
        }
        ++report.done;
        report.moved << TransferPair{pair.to, pair.from};
    }
}

void reverseCreated(const UndoAction &action, TransferProgress &progress, UndoReport &report) {
    QStringList present;
    // A creation whose items are gone is not undone, and says so, as a rename or trash would.
    for (const QString &path : action.paths)
        if (Restore::exists(path))
            present << path;
        else
            report.errors << LF("„%@“ ist nicht mehr da.", Restore::name(path));
    const FileOps::TrashResult trashed = FileOps::trash(FileOps::unlisted(present));
    report.done = trashed.done;
    report.errors << trashed.errors;
    if (!trashed.noTrash.isEmpty())
        report.errors << LF("%d Objekt(e) liegen auf einem Laufwerk ohne Papierkorb und bleiben.",
                            trashed.noTrash.size());
    QSet<QString> freed;
    for (const FileOps::TrashedPair &pair : trashed.moved)
        freed.insert(pair.original);
    restoreReplaced(action.replaced, freed, progress, report);
}

void reverseTrashed(const UndoAction &action, TransferProgress &progress, UndoReport &report) {
    for (const FileOps::TrashedPair &pair : action.trashed) {
        if (progress.isCancelled()) {
            report.cancelled = true;
            break;
        }
        const QString name = Restore::name(pair.original);
        if (!Restore::exists(pair.inTrash)) {
            report.errors << LF("„%@“ ist nicht mehr im Papierkorb.", name);
            continue;
        }
        const Restore::Placed placed =
            Restore::moveToFreeName(pair.inTrash, Restore::folder(pair.original), name, progress);
        if (placed.error) {
            report.errors << Restore::message(*placed.error, name);
            continue;
        }
        ++report.done;
        // Out of the Trash: its .trashinfo and our record would only mislead a later put back.
        Restore::forgetTrashed(pair.inTrash);
    }
}

// Each folder as the rename left it, held once before anything in it is looked at.
class FoldersAsRenamed {
public:
    // The folder of `as`, which must still be the one the rename left where that is known; else the refusal.
    const FileSteps::HeldFolder &of(const ShownItem &as) {
        const QString key = Posix::parentOf(as.path) + u'\n' + QString::number(as.folder.dev) + u':' +
                            QString::number(as.folder.ino);
        auto it = held_.find(key);
        if (it == held_.end()) {
            Held h;
            try {
                h.folder = std::make_shared<FileSteps::HeldFolder>(FileSteps::HeldFolder::ofShown(as));
            } catch (const FileError &e) {
                h.error = e;
            }
            it = held_.insert(key, h);
        }
        if (!it->folder) throw it->error;
        return *it->folder;
    }

private:
    struct Held {
        std::shared_ptr<FileSteps::HeldFolder> folder;
        FileError error;
    };
    QHash<QString, Held> held_;
};

// The same two phases as the rename itself, so swaps and chains within one batch go back whole. Each
// item is looked for only in its folder as the rename left it: a folder swapped since is refused before
// anything in it is looked at.
void reverseRenames(const UndoAction &action, TransferProgress &progress, UndoReport &report) {
    QSet<QString> leaving;
    for (const TransferPair &p : action.pairs)
        leaving.insert(p.to);
    FoldersAsRenamed folders;
    QList<TransferPair> back;
    QList<ShownItem> seen; // each item as the rename left it, where known
    for (qsizetype i = 0; i < action.pairs.size(); ++i) {
        const TransferPair &p = action.pairs[i];
        const ShownItem as = i < action.renamedAs.size() ? action.renamedAs[i] : ShownItem{p.to, {}, {}};
        const QString name = Restore::name(p.to);
        try {
            // A rename stays within its folder: both names are in the one held.
            const FileSteps::HeldFolder &folder = folders.of(as);
            struct stat self;
            try {
                self = folder.expect(FileSteps::PathBytes(p.to).name(), as.item, name);
            } catch (const FileError &e) {
                if (e.code != ENOENT && e.code != ENOTDIR) throw;
                report.errors << LF("„%@“ ist nicht mehr da.", name);
                continue;
            }
            // An old name that another item of the batch holds now is freed by the first phase; one that
            // finds the item itself goes back through a hidden name as well.
            struct stat st;
            if (!leaving.contains(p.from) &&
                ::fstatat(folder.fd(), FileSteps::PathBytes(p.from).name().constData(), &st,
                          AT_SYMLINK_NOFOLLOW) == 0 &&
                !findsItself(folder, self, name, Restore::name(p.from))) {
                report.errors << alreadyThereText(Restore::name(p.from), report);
                continue;
            }
        } catch (const FileError &e) {
            report.errors << FileOps::errorSentence(e, name);
            continue;
        }
        back << TransferPair{p.to, p.from};
        seen << as;
    }
    const FileOps::TwoPhaseReport r = FileOps::renameInTwoPhases(back, &progress, {}, seen);
    report.done += r.done.size();
    report.moved << r.done;
    report.errors << r.errors;
    report.whereabouts << r.whereabouts;
    report.cancelled = report.cancelled || r.cancelled;
}

// Each item is changed only while it is still the one the change was made on.
void reverseAccess(const UndoAction &action, UndoReport &report) {
    for (const UndoAction::AccessChange &c : action.access) {
        const FileAccess::Written w =
            FileAccess::restoreAccess(c.item.path, c.item.item, mode_t(c.from), mode_t(c.to));
        const QString name = Restore::name(c.item.path);
        if (w.err == 0)
            ++report.done;
        else if (w.err == ESTALE || w.err == ENOENT)
            report.errors << LF("„%@“ ist nicht mehr da.", name);
        else
            report.errors << LF("Zugriffsrechte ließen sich nicht ändern: %@",
                                FileOps::explain(FileError::fromErrno(w.err), name));
    }
}

} // namespace

UndoReport reverse(const UndoAction &action, TransferProgress &progress) {
    UndoReport report;
    report.total = action.pairs.size() + action.paths.size() + action.trashed.size() + action.access.size() +
                   action.partly.size();
    try {
        switch (action.kind) {
        case UndoAction::Kind::moved:
            reverseMoves(action, progress, report);
            if (!report.cancelled) reverseParts(action, progress, report);
            // A cleanup run records its moves and the files it put in the Trash as one entry.
            if (!action.trashed.isEmpty() && !report.cancelled) reverseTrashed(action, progress, report);
            break;
        case UndoAction::Kind::renamed:
            reverseRenames(action, progress, report);
            break;
        case UndoAction::Kind::created:
            reverseCreated(action, progress, report);
            break;
        case UndoAction::Kind::trashed:
            reverseTrashed(action, progress, report);
            break;
        case UndoAction::Kind::access:
            reverseAccess(action, report);
            break;
        }
    } catch (const CancelledError &) {
        report.cancelled = true;
    }
    return report;
}

QString undoToast(const QString &title, const UndoReport &report, bool *error) {
    *error = !report.errors.isEmpty();
    if (report.errors.isEmpty()) {
        if (report.cancelled) return L("Abgebrochen. Unvollständiges wurde entfernt.");
        // The title counts the entry's items already; a count of its own only says what was left over.
        if (report.done == report.total) return LF("Rückgängig gemacht: %@.", title);
        return LF("Rückgängig gemacht: %@ (%@).", title, FileFmt::count(report.done));
    }
    return L("Rückgängig:") + u' ' + FileOps::errorSummary(report.errors, report.whereabouts);
}

void undoLast(const FileActionContext &ctx, UndoJournal &journal) {
    if (!journal.undoTitle()) {
        ctx.warn(K("Es gibt nichts rückgängig zu machen."));
        return;
    }
    // A refused job leaves the entry where it is: nothing has been reversed.
    ctx.job(K("Mache rückgängig"), [ctx, &journal](const JobChannel::Step &step) {
        const quint64 mark = journal.recorded();
        const UndoEntry entry = *journal.takeLast();
        step.progress().setItem(0, entry.text());
        step.then([action = entry.action](TransferProgress &progress) { return reverse(action, progress); },
                  [ctx, entry, mark, &journal, title = entry.text()](const UndoReport &report,
                                                                     const JobChannel::Step &at) {
                      at.end();
                      // Refused whole for old names that are taken, nothing moved: the entry stays, to be
                      // tried again once they are free. One whose items are gone would only block the rest.
                      if (report.done == 0 && report.taken > 0 && report.taken == report.errors.size() &&
                          report.whereabouts.isEmpty() && report.moved.isEmpty() && !report.cancelled)
                          journal.putBack(entry, mark);
                      for (const TransferPair &pair : report.moved)
                          if (ctx.followMove) ctx.followMove(pair.from, pair.to);
                      ctx.refresh();
                      bool error = false;
                      const QString text = undoToast(title, report, &error);
                      ctx.toast(text, error);
                  });
    });
}

} // namespace FileActions
