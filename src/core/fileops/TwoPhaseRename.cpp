#include "core/fileops/TwoPhaseRename.h"

#include "core/fileops/FileOps.h"
#include "core/filesteps/FileSteps.h"
#include "core/filesteps/TransferJournal.h"
#include "core/localisation/Lang.h"
#include "platform/Posix.h"
#include "platform/TrashRoots.h"

#include <QHash>

#include <memory>

#include <fcntl.h>
#include <sys/stat.h>

namespace FileOps {

namespace {

using FileSteps::HeldFolder;

// Our own sentences (a refused folder, a replaced item) stand as they are; the system's would name the
// hidden name, so the item is named instead.
bool ours(const FileError &error) {
    return error.code == ESTALE && !error.description.isEmpty();
}

// One item of the batch: its folder held from the start, its names in it, and what it was when planned.
struct Item {
    TransferPair pair;
    std::shared_ptr<HeldFolder> folder, into; // of its old and new name; null when not held (`error`)
    FileError error;
    QByteArray from, to, hidden;
    struct stat st {};
    QString name() const { return Posix::lastComponent(pair.from); }

    // Right before a step: the folder is still the one shown, and `current` (a name in it) still the
    // item planned.
    void expect(const QByteArray &current) const {
        if (!folder || !into) throw error;
        folder->check();
        if (into != folder) into->check();
        struct stat now;
        if (::fstatat(folder->fd(), current.constData(), &now, AT_SYMLINK_NOFOLLOW) != 0)
            throw FileError::fromErrno(errno);
        if (now.st_dev != st.st_dev || now.st_ino != st.st_ino) throw HeldFolder::replaced(name());
    }

    // Under its new name: what the undo expects to find there. A copy has an identity of its own;
    // unknown when it cannot be read.
    ShownItem renamed() const {
        const struct stat &in = into->identity();
        ShownItem as{pair.to, {quint64(in.st_dev), quint64(in.st_ino)}, {}};
        if (struct stat now; ::fstatat(into->fd(), to.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0)
            as.item = {quint64(now.st_dev), quint64(now.st_ino)};
        return as;
    }
};

struct Aside {
    qsizetype index;
    // Its drive will not rename it even within its folder (a folder of overlayfs's lower layer): it
    // stays under its old name until a verified copy takes the new one, after the other items.
    bool byCopy = false;
};

// Each rename, with the step of tests around it.
struct Around {
    const RenameStep &test;
    void operator()(const QString &from, const QString &to, const std::function<void()> &rename) const {
        if (test)
            test(from, to, rename);
        else
            rename();
    }
};

// An item seen before (its folder, itself) that is no longer what was seen is left alone with the refusal.
void refuseUnlike(Item &item, const ShownItem &seen) {
    if (!item.folder || !item.into) return;
    const auto same = [](const ItemId &id, const struct stat &st) {
        return quint64(st.st_dev) == id.dev && quint64(st.st_ino) == id.ino;
    };
    if (seen.folder.known() && !same(seen.folder, item.folder->identity()))
        item.error = item.folder->refusal();
    else if (seen.item.known() && item.st.st_ino != 0 && !same(seen.item, item.st))
        item.error = HeldFolder::replaced(item.name());
    else
        return;
    item.folder.reset();
    item.into.reset();
}

// Each folder is held once for the whole batch.
QList<Item> holdFolders(const QList<TransferPair> &pairs, const QList<ShownItem> &shown,
                        const FileSteps::Journal::RenameBatch &batch) {
    QHash<QString, std::shared_ptr<HeldFolder>> held;
    QHash<QString, FileError> refused;
    const auto hold = [&](const QString &folder, Item &item) {
        if (!held.contains(folder) && !refused.contains(folder)) {
            try {
                held.insert(folder, std::make_shared<HeldFolder>(FileSteps::PathBytes(folder)));
            } catch (const FileError &e) {
                refused.insert(folder, e);
            }
        }
        if (refused.contains(folder)) item.error = refused.value(folder);
        return held.value(folder);
    };
    QList<Item> items;
    items.reserve(pairs.size());
    for (qsizetype i = 0; i < pairs.size(); ++i) {
        Item item{pairs[i], {}, {}, {}, {}, {}, {}, {}};
        item.folder = hold(Posix::parentOf(item.pair.from), item);
        item.into = hold(Posix::parentOf(item.pair.to), item);
        const auto from = FileSteps::PathBytes::of(item.pair.from),
                   to = FileSteps::PathBytes::of(item.pair.to);
        if (from && to) {
            item.from = from->name();
            item.to = to->name();
        }
        item.hidden = batch.hiddenName(i).toUtf8();
        if (item.folder) ::fstatat(item.folder->fd(), item.from.constData(), &item.st, AT_SYMLINK_NOFOLLOW);
        if (i < shown.size()) refuseUnlike(item, shown[i]);
        items << item;
    }
    return items;
}

// Every hidden name with its old and new one is on record before the first rename, so that the next
// start gives each item a name again after a crash.
QList<FileSteps::Journal::Rename> plan(const QList<Item> &items) {
    QList<FileSteps::Journal::Rename> planned;
    planned.reserve(items.size());
    for (const Item &item : items)
        planned << FileSteps::Journal::Rename{
            Posix::childPath(Posix::parentOf(item.pair.from), QString::fromUtf8(item.hidden)), item.pair.from,
            item.pair.to, item.st};
    return planned;
}

// Every item out of the way; the marker goes with the item. A cancel stops here, before anything has
// its new name.
QList<Aside> moveAside(const QList<Item> &items, const QList<FileSteps::Journal::Rename> &planned,
                       const QByteArray &mark, TransferProgress *progress, const Around &around,
                       TwoPhaseReport &report) {
    QList<Aside> aside;
    qsizetype reached = 0;
    for (qsizetype i = 0; i < items.size(); ++i, reached = i) {
        const Item &item = items[i];
        if (progress) {
            if (progress->isCancelled()) {
                report.cancelled = true;
                break;
            }
            progress->setItem(i + 1, item.name());
        }
        const QString &temp = planned[i].hidden;
        try {
            item.expect(item.from);
            FileSteps::setPartMark(*item.folder, item.from, mark);
            try {
                around(item.pair.from, temp, [&] {
                    item.expect(item.from);
                    rename(*item.folder, item.from, *item.folder, item.hidden, item.name(), false);
                });
            } catch (const FileError &e) {
                FileSteps::dropPartMark(*item.folder, item.from);
                // Never a copy under the hidden name: nothing of it is made until its new name is free.
                if (e.code != EXDEV) throw;
                // Its record stays while it is copied: killed meanwhile, the start names it under its old
                // name beside the others under their new ones.
                aside << Aside{i, true};
                if (progress) progress->add(1);
                continue;
            }
            aside << Aside{i};
        } catch (const FileError &e) {
            FileSteps::Journal::end(temp);
            report.errors << errorSentence(e, item.name());
        }
        if (progress) progress->add(1);
    }
    for (qsizetype i = reached; i < planned.size(); ++i)
        FileSteps::Journal::end(planned[i].hidden);
    return aside;
}

// An item that cannot take its new name goes back, or beside it under a free name, in its own folder
// whatever its path leads to now; where it is now when that is not its old name (empty when it is), and
// false when it is left under the hidden name.
bool putBack(const Item &item, const Around &around, QString &whereabouts) {
    const HeldFolder &folder = *item.folder;
    const QString oldName = item.name();
    const QString hidden = Posix::childPath(Posix::parentOf(item.pair.from), QString::fromUtf8(item.hidden));
    try {
        around(hidden, item.pair.from, [&] { rename(folder, item.hidden, folder, item.from, oldName); });
        FileSteps::dropPartMark(folder, item.from);
        return true;
    } catch (const FileError &) {
    }
    // A free name in the held folder itself, by its descriptor.
    const QString free = Posix::lastComponent(uniqueURL(oldName, FileSteps::pinnedPath(folder), true));
    try {
        around(hidden, Posix::childPath(Posix::parentOf(item.pair.from), free),
               [&] { rename(folder, item.hidden, folder, free.toUtf8(), oldName); });
        FileSteps::dropPartMark(folder, free.toUtf8());
        whereabouts = LF("„%@“ liegt jetzt unter „%@“.", oldName, free);
        return true;
    } catch (const FileError &) {
        whereabouts =
            LF("„%@“ liegt noch unter dem versteckten Namen „%@“.", oldName, QString::fromUtf8(item.hidden));
        return false;
    }
}

// Into place, never left hidden silently. Left under the hidden name, the record stays for the next start;
// else it ends with the batch's, once their folders are flushed.
void putInPlace(const Item &item, const QString &temp, const Around &around, TwoPhaseReport &report,
                FileSteps::Journal::Unflushed &renamed) {
    bool settled = true;
    try {
        around(temp, item.pair.to, [&] {
            item.expect(item.hidden);
            rename(*item.folder, item.hidden, *item.into, item.to, item.name());
        });
        FileSteps::dropPartMark(*item.into, item.to);
        report.done << item.pair;
        report.renamedAs << item.renamed();
    } catch (const FileError &e) {
        // The system's sentence would name the hidden name; the user knows the item by its old one.
        const QString why =
            ours(e) ? e.description : explain(FileError::fromErrno(e.code ? e.code : EIO), item.name());
        QString whereabouts;
        settled = putBack(item, around, whereabouts);
        // One sentence per item, saying where it went.
        if (whereabouts.isEmpty()) {
            report.errors << why;
        } else {
            report.errors << why + u' ' + whereabouts;
            report.whereabouts << report.errors.last();
        }
    }
    if (settled) renamed.add(Posix::parentOf(item.pair.from), temp);
}

// An item its drive will not rename: copied to its new name and verified before the original goes, or
// left whole under its old name.
void copyInPlace(const Item &item, const QString &temp, const Around &around, TwoPhaseReport &report) {
    FileSteps::Journal::Scope recorded;
    recorded.set(temp);
    try {
        around(item.pair.from, item.pair.to, [&] {
            item.expect(item.from);
            // A name taken already is told before anything is copied.
            struct stat taken;
            if (::fstatat(item.into->fd(), item.to.constData(), &taken, AT_SYMLINK_NOFOLLOW) == 0 &&
                !FileSteps::sameInode(taken, item.st))
                throw FileError::fromErrno(EEXIST);
            rename(*item.folder, item.from, *item.into, item.to, item.name());
        });
        report.done << item.pair;
        report.renamedAs << item.renamed();
    } catch (const FileError &e) {
        report.errors << errorSentence(e, item.name());
    }
}

} // namespace

QString errorSentence(const FileError &error, const QString &name) {
    const bool plain =
        error.description.isEmpty() || error.description == FileError::fromErrno(error.code).description;
    return plain ? explain(error, name) : error.description;
}

QString nameTakenText(const QString &name, const QString &path) {
    if (TrashRoots::isInTrash(path)) return LF("„%@“ gibt es schon im Papierkorb.", name);
    return LF("„%@“ gibt es schon in diesem Ordner.", name);
}

QString errorSummary(const QStringList &errors, const QStringList &whereabouts) {
    if (errors.isEmpty()) return {};
    QString text = errors.first();
    qsizetype shown = 1;
    bool firstSeen = false;
    for (const QString &w : whereabouts) {
        if (!firstSeen && w == errors.first()) {
            firstSeen = true;
            continue;
        }
        text += u' ' + w;
        ++shown;
    }
    if (errors.size() > shown)
        text += LP(" (+%d weitere)| (+%d weitere)", errors.size() - shown, int(errors.size() - shown));
    return text;
}

TwoPhaseReport renameInTwoPhases(const QList<TransferPair> &pairs, TransferProgress *progress,
                                 const RenameStep &around, const QList<ShownItem> &shown) {
    TwoPhaseReport report;
    if (progress) progress->setTotal(pairs.size() * 2, pairs.size());
    const FileSteps::Journal::RenameBatch batch = FileSteps::Journal::newRenameBatch();
    const QList<Item> items = holdFolders(pairs, shown, batch);
    const QList<FileSteps::Journal::Rename> planned = plan(items);
    QByteArray mark;
    try {
        mark = FileSteps::Journal::beginRenames(batch, planned);
    } catch (const FileError &e) {
        // Nothing renamed. A name the system cannot be given is said with the item it belongs to.
        QString why = e.description;
        for (const TransferPair &p : pairs)
            if (!FileSteps::PathBytes::of(p.from) || !FileSteps::PathBytes::of(p.to)) {
                why = explain(FileError::fromErrno(EILSEQ), Posix::lastComponent(p.to));
                break;
            }
        report.errors << why;
        return report;
    }
    FileSteps::Journal::Unflushed renamed;
    const QList<Aside> aside = moveAside(items, planned, mark, progress, Around{around}, report);
    for (const Aside &a : aside) {
        if (a.byCopy) continue;
        putInPlace(items[a.index], planned[a.index].hidden, Around{around}, report, renamed);
        if (progress) progress->add(1);
    }
    // Copies last: no item waits under a hidden name while one is made.
    for (const Aside &a : aside) {
        if (!a.byCopy) continue;
        copyInPlace(items[a.index], planned[a.index].hidden, Around{around}, report);
        if (progress) progress->add(1);
    }
    // The records go only once the new names are on the disk: a crash before then is settled by them.
    QString folder;
    if (const int e = renamed.end(&folder))
        report.errors.prepend(FileSteps::Journal::notFlushedText(folder, e));
    FileSteps::Journal::endBatch(planned);
    return report;
}

} // namespace FileOps
