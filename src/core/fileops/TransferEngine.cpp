#include "core/fileops/FileOps.h"
#include "core/fileops/RestoreMove.h"
#include "core/filesteps/TransferJournal.h"
#include "core/filesteps/TrashMemory.h"
#include "core/filesteps/MoveFinish.h"
#include "core/filesteps/PosixSteps.h"

#include "core/localisation/Lang.h"
#include "core/localisation/FileFmt.h"
#include "platform/FileCopy.h"
#include "platform/Posix.h"
#include "platform/Trash.h"

#include <QDir>
#include <QSet>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileOps {
namespace {

using namespace FileSteps;

using Identity = std::pair<dev_t, ino_t>;

Identity identityOf(const struct stat &st) {
    return {st.st_dev, st.st_ino};
}

// The first few items by name, and how many more of `total` (-1: all are in paths).
QString firstNamed(const QStringList &paths, qsizetype total = -1) {
    QStringList names;
    for (const QString &path : paths.mid(0, 3))
        names << Posix::lastComponent(path);
    return FileFmt::firstNamed(names, total < 0 ? paths.size() : total);
}

} // namespace

QString passedOverText(const QStringList &first, qsizetype count) {
    QStringList names;
    for (const QString &path : first.mid(0, 3))
        names << Posix::lastComponent(path);
    const QString list = FileFmt::firstNamedAndMore(names, count);
    // clang-format off
    return LP("Pipes, Sockets und Geräte lassen sich nicht kopieren. %d solches Objekt wurde übergangen: %@.|Pipes, Sockets und Geräte lassen sich nicht kopieren. %d solche Objekte wurden übergangen: %@.",
              count, count, list);
    // clang-format on
}

namespace {

// A Replace that would put the item itself in the Trash: a link to what it replaces, or another name of it.
QString sameItemText(const QString &path, const QString &named, const struct stat &old) {
    return S_ISDIR(old.st_mode) ? LF("„%@“ und „%@“ sind derselbe Ordner. Nichts wurde ersetzt.", path, named)
                                : LF("„%@“ und „%@“ sind dieselbe Datei. Nichts wurde ersetzt.", path, named);
}

// Once for the batch: which items came without their tags or comment, the first few by name.
QString labelsLostText(const QStringList &paths) {
    const QString list = firstNamed(paths);
    // clang-format off
    return LP("Das Ziel kann keine Tags und Kommentare speichern. %d Objekt kam ohne sie an: %@.|Das Ziel kann keine Tags und Kommentare speichern. %d Objekte kamen ohne sie an: %@.",
              paths.size(), paths.size(), list);
    // clang-format on
}

// Once for the batch: which copies came without some security attributes (file capabilities, labels).
QString securityLostText(const QStringList &paths, const QStringList &attributes) {
    const QString list = firstNamed(paths);
    // clang-format off
    return LP("Sicherheitsattribute (%@) ließen sich am Ziel nicht setzen: Dazu fehlen die Rechte, oder das Laufwerk kann sie nicht speichern. %d Objekt kam ohne sie an: %@.|Sicherheitsattribute (%@) ließen sich am Ziel nicht setzen: Dazu fehlen die Rechte, oder das Laufwerk kann sie nicht speichern. %d Objekte kamen ohne sie an: %@.",
              paths.size(), attributes.join(QStringLiteral(", ")), paths.size(), list);
    // clang-format on
}

// The entry of a folder that holds `name` under another spelling, where the volume tells no case apart.
QString otherSpelling(const QString &folder, const QString &name) {
    for (const QString &entry :
         QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        if (entry != name && entry.compare(name, Qt::CaseInsensitive) == 0) return entry;
    return {};
}

class Engine {
public:
    Engine(const QStringList &paths, const QString &to, bool move, TransferProgress &progress,
           const QHash<QString, ConflictChoice> &resolutions, bool flushAtEnd, const Shown &shown)
        : paths_(paths), to_(to), move_(move), progress_(progress), resolutions_(resolutions),
          job_(newCopyJob(progress)), flushAtEnd_(flushAtEnd), shown_(shown) {}

    TransferOutcome run();

private:
    // After each step of an item: on with it, on with the next item, or stop the batch.
    enum class Step { proceed, next, stop };

    // One source item on its way into the destination.
    struct Item {
        QString path, name;
        std::optional<PathBytes> source;        // path, encoded once
        std::shared_ptr<const HeldFolder> from; // the folder it is in, held
        QByteArray sourceName;                  // its name there, and in the destination
        bool sameVolume = false;
        struct stat src {};
        QString named;                   // its own name in the destination
        QString target;                  // the name it gets there
        bool replacing = false;          // target is named, and the item there goes to the Trash
        QString placeAt;                 // where it lies until it takes the target's name
        std::optional<PathBytes> part;   // the hidden name of its copy
        std::optional<PathBytes> placed; // the free name it took
        bool renamed = false;            // moved by a rename: placeAt holds the source itself
        CopyReport report;
        QString changedText;     // a copy that may hold a state the file never had
        QString sameNameAs;      // another spelling of its name that holds it on a case-blind volume
        Journal::Scope recorded; // placeAt, while the journal names it
        struct stat copy {};     // the complete copy, once it takes a name
    };

    Step item(const QString &path, const std::optional<PathBytes> &bytes, bool sameVolume);
    Step readSource(Item &it);
    Step checkDestination(Item &it);
    Step checkInsideItself(Item &it);
    Step skipIfInPlace(Item &it);
    Step resolveConflict(Item &it);
    Step placeCopy(Item &it);
    Step checkCopy(Item &it);
    bool leadsTo(const Item &it, const struct stat &old) const;
    Step giveName(Item &it);
    Step replaceOld(Item &it);
    Step takeFreeName(Item &it);
    Step takeName(Item &it);
    Step verifyAndFinishMove(Item &it);
    QString recordPlace(Item &it, const QString &to);
    void newPart(Item &it);
    void succeed(const Item &it);
    void undoPlace(Item &it);
    void dropCopy(Item &it);
    // The name of `path` in the destination, which holds it.
    static QByteArray nameIn(const QString &path) { return PathBytes(path).name(); }
    FileError placeError(const Item &it, int e) const;

    // The folder at `path`, held: the one a pane showed or the first look held, else by the user's own links.
    HeldFolder hold(const PathBytes &path) const { return holdChosen(path, shown_); }
    std::shared_ptr<const HeldFolder> holdSource(const PathBytes &folder, FileError &why);
    bool clonesHere(const QList<QPair<const HeldFolder *, QByteArray>> &items) const;

    // The item's failure first, then where what it left stays.
    Step fail(const QString &message) {
        out_.errors << message << leftBehind_;
        leftBehind_.clear();
        return Step::next;
    }
    Step skip() {
        ++out_.skipped;
        return Step::next;
    }

    const QStringList &paths_;
    const QString to_;
    const bool move_;
    TransferProgress &progress_;
    const QHash<QString, ConflictChoice> &resolutions_;
    CopyJobPtr job_;
    const bool flushAtEnd_;
    const Shown &shown_;
    TransferOutcome out_;
    QStringList changed_;     // copies kept that may be incomplete: reported after the items that failed
    std::set<Identity> made_; // what this batch put into the destination
    struct stat destSt {};
    std::optional<PathBytes> destBytes_; // to_, encoded once for the batch
    std::optional<HeldFolder> dest_;     // to_, held for the batch
    JobVolumes volumes_;                 // dest_'s volume, opened as the batch starts
    FileError destError_;                // why it could not be held
    // The folders the items are in, each held once for the batch (null: it could not be, and why).
    std::map<QByteArray, std::shared_ptr<const HeldFolder>> sources_;
    std::map<QByteArray, FileError> sourceErrors_;
    bool destOk_ = false;
    bool aclDropped_ = false;
    QStringList labelsLost_;                   // copies made without their tags or comment
    QStringList securityLost_, securityNames_; // copies made without some security attributes, and which
    QStringList passedOver_;                   // the first few special files left out of copied folders
    qsizetype passedOverCount_ = 0;            // and how many
    Journal::Unflushed later_; // replaced items and originals set aside: their records end with the batch
    QStringList leftBehind_;   // parts of the item at hand that could not go
};

TransferOutcome Engine::run() {
    destBytes_ = PathBytes::of(to_);
    if (destBytes_) try {
            dest_.emplace(hold(*destBytes_));
            destSt = dest_->identity();
            // Before anything is written: the flushes hear of every write-back error since.
            volumes_.open(*dest_);
        } catch (const FileError &e) {
            destError_ = e;
            // Not the folder the user chose: nothing is looked at in what lies there now.
            if (e.code == ESTALE) {
                out_.errors << e.description;
                return out_;
            }
        }
    destOk_ = dest_.has_value();
    // One answer per item: it decides both the measuring and the way of copying. The sources are
    // looked at in their folders, held from here on.
    QList<bool> same;
    QList<std::optional<PathBytes>> encoded;
    QList<QPair<const HeldFolder *, QByteArray>> byteCopies;
    for (const QString &path : paths_) {
        struct stat st;
        encoded << PathBytes::of(path);
        FileError why;
        const std::shared_ptr<const HeldFolder> from =
            encoded.back() ? holdSource(encoded.back()->parent(), why) : nullptr;
        const QByteArray name = encoded.back() ? encoded.back()->name() : QByteArray();
        const bool found = from && ::fstatat(from->fd(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
        const bool s = destOk_ && found && st.st_dev == destSt.st_dev;
        // Another item in the place of one listed is not measured either; it is refused below.
        const ItemId listed = shown_.items.value(path);
        if (found && listed.known() && ItemId{quint64(st.st_dev), quint64(st.st_ino)} != listed) {
            same << false;
            continue;
        }
        same << s;
        // Only a move within one volume is a rename; every other item is copied byte by byte
        // (or cloned) with progress.
        // Items the user skips are not counted against the free space.
        const bool skipped = resolutions_.value(path, ConflictChoice::keepBoth) == ConflictChoice::skip;
        if (from && !(s && move_) && !skipped) byteCopies.append({from.get(), name});
    }

    if (!byteCopies.isEmpty()) {
        progress_.setItem(0, L("Berechne Umfang …"));
        removeStaleParts(to_);
    }
    // What a clone copies within the destination's volume takes no space there, nor do holes that stay holes.
    qint64 cloned = 0, space = 0;
    const std::optional<qint64> bytes = totalBytesAt(byteCopies, progress_, destSt.st_dev, &cloned, &space,
                                                     dest_ && FileCopy::keepsHoles(dest_->fd()));
    if (!bytes) {
        out_.cancelled = true;
        return out_;
    }
    progress_.setTotal(*bytes, paths_.size());
    if (cloned > 0 && (!dest_ || !clonesHere(byteCopies))) cloned = 0;
    if (const qint64 needed = space - cloned; needed >= 1) {
        const std::optional<qint64> free = freeBytes(to_);
        if (free && *free < needed) {
            out_.errors << LF("Nicht genug freier Speicherplatz auf dem Ziel: %@ nötig, %@ frei.",
                              FileFmt::size(needed), FileFmt::size(*free));
            return out_;
        }
    }

    for (qsizetype i = 0; i < paths_.size(); ++i) {
        if (progress_.isCancelled()) {
            out_.cancelled = true;
            break;
        }
        progress_.setItem(i + 1, Posix::lastComponent(paths_[i]));
        const qsizetype errors = out_.errors.size(), done = out_.done;
        const Step step = item(paths_[i], encoded[i], same[i]);
        // Each failed item by its own name, so the report can name it.
        if (out_.errors.size() > errors && out_.done == done) out_.failed << Posix::lastComponent(paths_[i]);
        if (step == Step::stop) break;
    }
    QString unflushed;
    if (const int e = later_.end(&unflushed)) out_.errors << Journal::notFlushedText(unflushed, e);
    // Done only once it is on the drive: a stick may be pulled then.
    if (flushAtEnd_ && (out_.done > 0 || !out_.created.isEmpty()))
        if (const int e = volumes_.flush({to_}, progress_)) out_.errors << notSavedText(to_, e);
    out_.errors << changed_;
    if (aclDropped_) {
        // Said once for the batch, not for every file.
        // clang-format off
        out_.errors << L("Das Ziel kann keine Zugriffslisten (ACLs) speichern. Die Kopien haben nur die einfachen Rechte, und nie mehr, als das Original erlaubte.");
        // clang-format on
    }
    if (!labelsLost_.isEmpty()) out_.errors << labelsLostText(labelsLost_);
    if (!securityLost_.isEmpty()) out_.errors << securityLostText(securityLost_, securityNames_);
    if (passedOverCount_ > 0) out_.errors << passedOverText(passedOver_, passedOverCount_);
    return out_;
}

Engine::Step Engine::item(const QString &path, const std::optional<PathBytes> &bytes, bool sameVolume) {
    Item it;
    it.path = path;
    it.name = Posix::lastComponent(path);
    it.sameVolume = sameVolume;
    // A name the system cannot be given, here or in the destination, is refused before any step.
    if (!bytes || !destBytes_) return fail(explain(FileError::fromErrno(EILSEQ), it.name));
    if (!dest_) {
        // The destination's absence is no fault of the item: said as the folder it is.
        if (destError_.code == ENOENT || destError_.code == ENOTDIR) {
            QString folder = to_;
            while (folder.size() > 1 && folder.endsWith(u'/'))
                folder.chop(1);
            return fail(LF("Den Zielordner „%@“ gibt es nicht.", Posix::lastComponent(folder)));
        }
        return fail(explain(destError_, it.name));
    }
    it.source = bytes;
    for (const auto step : {&Engine::readSource, &Engine::checkInsideItself, &Engine::skipIfInPlace,
                            &Engine::checkDestination, &Engine::resolveConflict, &Engine::placeCopy,
                            &Engine::checkCopy, &Engine::giveName, &Engine::verifyAndFinishMove})
        if (const Step s = (this->*step)(it); s != Step::proceed) {
            out_.errors << leftBehind_;
            leftBehind_.clear();
            return s;
        }
    succeed(it);
    return Step::next;
}

// Whether the destination's volume clones the items on it: tried with the first file among them that has
// data (a file of a folder stands for its folder), else with an empty file.
bool Engine::clonesHere(const QList<QPair<const HeldFolder *, QByteArray>> &items) const {
    for (const auto &[folder, name] : items) {
        struct stat st;
        if (::fstatat(folder->fd(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            st.st_dev != destSt.st_dev || !S_ISREG(st.st_mode) || st.st_size == 0)
            continue;
        const int fd =
            ::openat(folder->fd(), name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        const bool clones = FileCopy::clonesInto(dest_->fd(), fd);
        ::close(fd);
        return clones;
    }
    return FileCopy::clonesInto(dest_->fd());
}

// Held once for the batch, from the first look on.
std::shared_ptr<const HeldFolder> Engine::holdSource(const PathBytes &folder, FileError &why) {
    if (const auto known = sources_.find(folder.bytes()); known != sources_.end()) {
        if (!known->second) why = sourceErrors_[folder.bytes()];
        return known->second;
    }
    std::shared_ptr<const HeldFolder> &held = sources_[folder.bytes()];
    try {
        held = std::make_shared<const HeldFolder>(hold(folder));
    } catch (const FileError &e) {
        sourceErrors_[folder.bytes()] = why = e;
    }
    return held;
}

// Read in its folder, held since the first look, and still the one at its path.
Engine::Step Engine::readSource(Item &it) {
    it.sourceName = it.source->name();
    try {
        FileError why;
        it.from = holdSource(it.source->parent(), why);
        if (!it.from) throw why;
        it.from->check();
    } catch (const FileError &e) {
        return fail(explain(e, it.name));
    }
    try {
        // The item the pane listed, where it listed one.
        it.src = it.from->expect(it.sourceName, shown_.items.value(it.path), it.name);
    } catch (const FileError &e) {
        return fail(e.code == ESTALE ? e.description : explain(e, it.name));
    }
    return Step::proceed;
}

// A destination swapped since the batch began takes nothing more; what is there now stays untouched.
Engine::Step Engine::checkDestination(Item &) {
    if (dest_->stillAtPath()) return Step::proceed;
    out_.errors << dest_->refusal().description;
    return Step::stop;
}

// By text, and by device and inode of every parent of the destination.
Engine::Step Engine::checkInsideItself(Item &it) {
    if (to_ == it.path || to_.startsWith(it.path + u'/') ||
        (S_ISDIR(it.src.st_mode) && liesInside(to_, it.path, it.src)))
        return fail(LF("„%@“ kann nicht in sich selbst abgelegt werden.", it.name));
    return Step::proceed;
}

// Moving an item into the folder it already lies in does nothing.
Engine::Step Engine::skipIfInPlace(Item &it) {
    if (!move_) return Step::proceed;
    if (Posix::parentOf(it.path) == to_ || it.from->is(destSt)) return skip();
    return Step::proceed;
}

Engine::Step Engine::resolveConflict(Item &it) {
    const auto choice = resolutions_.constFind(it.path);
    const bool answered = choice != resolutions_.cend();
    if (answered && *choice == ConflictChoice::skip) return skip();

    it.named = Posix::childPath(to_, it.name);
    if (!answered || *choice != ConflictChoice::replace) {
        it.target = uniqueURL(it.name, to_);
        // No one was asked, so the name was free: an item of this batch holds it in another spelling.
        if (!answered && it.target != it.named) it.sameNameAs = otherSpelling(to_, it.name);
        return Step::proceed;
    }
    struct stat old;
    if (::fstatat(dest_->fd(), it.sourceName.constData(), &old, AT_SYMLINK_NOFOLLOW) != 0) {
        it.target = it.named; // the old item went meanwhile: nothing to replace
    } else if (sameInode(old, it.src) || leadsTo(it, old)) {
        // The destination reaches the source itself through another path: a copy beside it. Elsewhere
        // the old item is the source under another name, or what the incoming link leads to.
        if (!it.from->is(destSt)) return fail(sameItemText(it.path, it.named, old));
        if (move_) return skip();
        it.target = uniqueURL(it.name, to_);
    } else if (made_.count(identityOf(old))) {
        // Never replace what this batch has just put there.
        it.target = uniqueURL(it.name, to_);
    } else {
        it.target = it.named;
        it.replacing = true;
    }
    return Step::proceed;
}

// Whether the item is a link that leads (through any further links) to `old`.
bool Engine::leadsTo(const Item &it, const struct stat &old) const {
    struct stat to;
    return S_ISLNK(it.src.st_mode) && ::fstatat(it.from->fd(), it.sourceName.constData(), &to, 0) == 0 &&
           sameInode(to, old);
}

// Copies are made under a hidden name and take their real name only when complete; so is
// a replacement renamed here, while the old item stays until then.
Engine::Step Engine::placeCopy(Item &it) {
    const bool renaming = it.sameVolume && move_;
    if (it.replacing || !renaming)
        newPart(it);
    else
        it.placeAt = it.target;
    it.report.remember = move_;
    auto dropPart = [&] {
        if (it.report.createdRoot) dropCopy(it);
    };
    try {
        if (renaming) {
            // Under a hidden name the source itself is on record, so that it gets its name back
            // after a crash.
            if (it.replacing) {
                dest_->refuseAppendOnly();
                Journal::beginAside(it.placeAt, it.path, it.src);
                it.recorded.set(it.placeAt);
            }
            // EXDEV (e.g. across a bind mount): copy after all.
            it.from->check();
            dest_->check();
            const int e = renameNoReplaceAt(it.from->fd(), it.sourceName, dest_->fd(), nameIn(it.placeAt));
            if (e == 0)
                it.renamed = true;
            else if (e != EXDEV)
                throw FileError::fromErrno(e);
        }
        if (!it.renamed) {
            dest_->refuseAppendOnly();
            if (it.placeAt == it.target) newPart(it);
            it.report.mark = Journal::beginPart(*it.part);
            it.recorded.set(*it.part);
            copyTree(*job_, *it.from, it.sourceName, *dest_, it.part->name(), move_, it.report, &it.src);
        }
    } catch (const CancelledError &) {
        dropPart();
        out_.cancelled = true;
        return Step::stop;
    } catch (const CopyFailure &f) {
        // Said while the volume is as full as the copy found it.
        const QString why = describe(CopyFailure{f.path, withFullText(f.underlying, dest_->fd())}, it.name);
        dropPart();
        return fail(why);
    } catch (const FileError &e) {
        const QString why = describe(withFullText(e, dest_->fd()), it.name);
        dropPart();
        return fail(why);
    }
    aclDropped_ = aclDropped_ || it.report.aclDropped;
    return Step::proceed;
}

Engine::Step Engine::checkCopy(Item &it) {
    if (it.renamed) return Step::proceed;
    if (!it.report.createdRoot) {
        // Nothing the copy can carry (a pipe, a socket, a device).
        return fail(LF("„%@“: Pipes, Sockets und Geräte lassen sich nicht kopieren.", it.name));
    }
    if (const QString kept = move_ ? securityKeptText(it.report, it.name) : QString(); !kept.isEmpty()) {
        // Its original would be the last to hold them: it stays.
        dropCopy(it);
        return fail(kept);
    }
    if (it.report.unstable.isEmpty()) return Step::proceed;
    if (move_ && !S_ISDIR(it.src.st_mode)) {
        dropCopy(it);
        return fail(LF("„%@“ wurde während des Verschiebens geändert und bleibt am alten Ort.", it.name));
    }
    if (!move_) {
        // The copy is kept, but it may hold a state the file never had.
        const QString inner = Posix::lastComponent(it.report.unstable.first());
        it.changedText =
            LF("„%@“ wurde während des Kopierens geändert. Die Kopie ist womöglich unvollständig.", inner);
        if (inner != it.name) it.changedText += u' ' + LF("(in „%@“)", it.name);
    }
    return Step::proceed;
}

// A hidden name for the item's copy, made in bytes from the destination's.
void Engine::newPart(Item &it) {
    it.part = Journal::partName(*destBytes_);
    it.placeAt = Posix::childPath(to_, QString::fromLatin1(it.part->name()));
}

// Puts things back as they were before this item. What could not be undone, or not flushed, stays on
// record for the next start.
void Engine::undoPlace(Item &it) {
    if (!it.renamed) return dropCopy(it);
    if (renameNoReplaceAt(dest_->fd(), nameIn(it.placeAt), it.from->fd(), it.sourceName) != 0 ||
        syncFolders({to_, Posix::parentOf(it.path)}) != 0)
        it.recorded.keep();
}

// The item's copy goes again; its record only once that is on the disk.
void Engine::dropCopy(Item &it) {
    const QByteArray part = nameIn(it.placeAt);
    const int e = removeTreeAt(dest_->fd(), part);
    // A part that stays (the folder lets nothing go) is named, like any other leftover.
    if (e != 0 && e != ENOENT)
        leftBehind_ << LF("„%@“ liegt noch unter dem versteckten Namen „%@“.", it.name, Posix::shown(part));
    if (e != 0 || syncFolder(to_) != 0) it.recorded.keep();
}

Engine::Step Engine::giveName(Item &it) {
    if (!dest_->stillAtPath()) {
        undoPlace(it);
        return checkDestination(it);
    }
    const Step s = it.replacing ? replaceOld(it) : it.renamed ? Step::proceed : takeFreeName(it);
    if (s == Step::proceed) {
        if (move_ && !it.renamed)
            reached(FileSteps::Step::placed, (it.placed ? *it.placed : PathBytes(it.target)).bytes());
        unmark(it.report);
        it.report.held.reset();
    }
    return s;
}

// The replacement and the old item swap names in one step, and the old item goes to the Trash
// from its hidden name: the name is never empty.
Engine::Step Engine::replaceOld(Item &it) {
    struct stat old;
    if (::fstatat(dest_->fd(), it.sourceName.constData(), &old, AT_SYMLINK_NOFOLLOW) != 0)
        return takeName(it); // it went meanwhile
    if (const QString refused = recordPlace(it, it.named); !refused.isEmpty()) {
        undoPlace(it);
        return fail(refused);
    }
    const Replaced r = replaceWithPart(it.placeAt, it.named, old, &*dest_);
    if (!r.inTrash.isEmpty()) TrashMemory::remember(it.named, r.inTrash);
    switch (r.how) {
    case Replaced::How::nameFree:
        return takeName(it);
    case Replaced::How::done:
        out_.replaced << TrashedPair{it.named, r.inTrash};
        // The old item's way to the Trash is on the disk before its record goes.
        it.recorded.handTo(later_, to_);
        later_.touched(Posix::parentOf(r.inTrash));
        return Step::proceed;
    case Replaced::How::kept:
        it.recorded.keep(); // the journal settles the old item and the part at the next start
        return fail(explain(r.error, it.name));
    case Replaced::How::failed:
        break;
    }
    undoPlace(it);
    return fail(explain(r.error, it.name));
}

// Nothing is under the name any more.
Engine::Step Engine::takeName(Item &it) {
    if (const QString refused = recordPlace(it, it.named); !refused.isEmpty()) {
        undoPlace(it);
        return fail(refused);
    }
    if (const int e = renameNoReplaceAt(dest_->fd(), nameIn(it.placeAt), dest_->fd(), it.sourceName)) {
        undoPlace(it);
        return fail(explain(FileError::fromErrno(e), it.name));
    }
    return Step::proceed;
}

// A name taken meanwhile: the next free one.
Engine::Step Engine::takeFreeName(Item &it) {
    int e = 0;
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (const QString refused = recordPlace(it, it.target); !refused.isEmpty()) {
            dropCopy(it);
            return fail(refused);
        }
        it.placed = PathBytes(it.target);
        if ((e = renameNoReplaceAt(dest_->fd(), it.part->name(), dest_->fd(), it.placed->name())) != EEXIST)
            break;
        it.target = uniqueURL(it.name, to_);
    }
    if (e) {
        const FileError why = placeError(it, e);
        it.placed.reset();
        dropCopy(it);
        return fail(explain(why, it.name));
    }
    return Step::proceed;
}

// A copy that cannot take its name while it and the folder are there: the drive refuses the name
// (exfat-fuse says ENOENT for it).
FileError Engine::placeError(const Item &it, int e) const {
    struct stat st;
    if ((e == EINVAL || e == ENOENT) && it.part && ::lstat(it.part->c_str(), &st) == 0 && destBytes_ &&
        ::stat(destBytes_->c_str(), &st) == 0)
        return nameRefused(it.name.toUtf8());
    return FileError::fromErrno(e);
}

// A move by copy: the original goes only file by file, each one unchanged since its copy.
Engine::Step Engine::verifyAndFinishMove(Item &it) {
    if (!move_ || it.renamed) return Step::proceed;
    // The copy's name is on stable storage before the original goes.
    if (const QString kept = flushPlaced(it.target, it.copy, it.name); !kept.isEmpty()) {
        it.recorded.keep();
        return fail(kept);
    }
    const Leftover left = finishMove(*it.from, it.sourceName, *dest_, nameIn(it.target), it.report, &later_);
    Journal::endMove(it.placeAt);
    if (const QString text = leftoverText(left, it.name); !text.isEmpty()) {
        struct stat kept;
        if (Posix::lstatPath(it.target, kept)) {
            made_.insert(identityOf(kept));
            out_.created << it.target;
            out_.copiedOnly << it.name;
            // What went can go back into what stayed; an original none of whose entries went lost nothing.
            if (left.keptAt == it.path && (!left.error || left.removed > 0))
                out_.partly << TransferPair{it.path, it.target};
        }
        return fail(text);
    }
    return Step::proceed;
}

// Before a complete copy takes the name `to`: on record, so that the next start finds where it went
// (a move's on stable storage). Empty, or the sentence why the item goes no further.
QString Engine::recordPlace(Item &it, const QString &to) {
    if (it.renamed) return {}; // the source itself, under the journal's aside record
    if (move_) return recordMove(it.placeAt, to, it.path, it.src, it.copy);
    if (::fstatat(dest_->fd(), it.part->name().constData(), &it.copy, AT_SYMLINK_NOFOLLOW) != 0)
        return unrecordedText(it.name, errno);
    try {
        Journal::beginPlace(*it.part, to, it.copy);
    } catch (const FileError &e) {
        return explain(e, it.name);
    }
    return {};
}

void Engine::succeed(const Item &it) {
    struct stat made;
    if (it.placed ? ::lstat(it.placed->c_str(), &made) == 0 : Posix::lstatPath(it.target, made))
        made_.insert(identityOf(made));
    ++out_.done;
    out_.created << it.target;
    out_.pairs << TransferPair{it.path, it.target};
    if (!it.changedText.isEmpty()) changed_ << it.changedText;
    if (!it.sameNameAs.isEmpty()) {
        // clang-format off
        changed_ << LF("„%@“ heißt am Ziel „%@“: Dieses Laufwerk unterscheidet nicht zwischen Groß- und Kleinschreibung, und „%@“ gibt es dort schon.",
                       it.name, Posix::lastComponent(it.target), it.sameNameAs);
        // clang-format on
    }
    labelsLost_ << it.report.labelsLost;
    securityLost_ << it.report.securityLost;
    for (const QString &name : it.report.securityNames)
        if (!securityNames_.contains(name)) securityNames_ << name;
    passedOverCount_ += it.report.passedOver;
    passedOver_ << it.report.specials.mid(0, 3 - std::min<qsizetype>(3, passedOver_.size()));
}

} // namespace

Leftovers recoverTransfers() {
    return FileSteps::Journal::settle();
}

namespace {

// What an item left under a hidden name holds, for the user to judge it by.
QString holds(const QString &path) {
    struct stat st;
    if (!Posix::lstatPath(path, st)) return {};
    return S_ISDIR(st.st_mode) ? L("Ordner") : FileFmt::size(qint64(st.st_size));
}

QString hiddenText(const Leftovers &left) {
    const qsizetype count = left.setAside.size() + left.parts.size() + left.renamed.size() +
                            left.refused.size() + left.unrecorded.size() + left.stuck.size() +
                            left.away.size();
    if (count == 0) return {};
    const QString first = !left.setAside.isEmpty()     ? left.setAside.first()
                          : !left.parts.isEmpty()      ? left.parts.first()
                          : !left.renamed.isEmpty()    ? left.renamed.first()
                          : !left.refused.isEmpty()    ? left.refused.first()
                          : !left.unrecorded.isEmpty() ? left.unrecorded.first()
                          : !left.stuck.isEmpty()      ? left.stuck.first()
                                                       : left.away.first();
    const QString name = Posix::lastComponent(first), folder = Posix::parentOf(first);
    // clang-format off
    if (count > 1)
        return LF("Abgebrochene Übertragungen haben %d Objekte unter verborgenen Namen hinterlassen, darunter „%@“ in „%@“.",
                  int(count), name, folder);
    if (!left.renamed.isEmpty())
        return LF("Ein Objekt einer abgebrochenen Umbenennung liegt noch als „%@“ in „%@“, weil sein alter und sein neuer Name wieder vergeben sind.",
                  name, folder);
    if (!left.refused.isEmpty())
        return LF("Ein Objekt einer abgebrochenen Umbenennung liegt noch als „%@“ in „%@“, weil das Laufwerk seinen neuen Namen nicht annimmt und sein alter wieder vergeben ist.",
                  name, folder);
    if (!left.unrecorded.isEmpty())
        return LF("Eine abgebrochene Übertragung hat „%@“ in „%@“ hinterlassen (%@). Ihr Eintrag im Protokoll ist verloren, daher bleibt es, wie es ist.",
                  name, folder, holds(first));
    if (!left.stuck.isEmpty())
        return LF("Eine abgebrochene Kopie liegt noch als „%@“ in „%@“ und ließ sich nicht entfernen. Kestrin versucht es bei jedem Start wieder.",
                  name, folder);
    if (!left.away.isEmpty())
        return LF("Eine abgebrochene Übertragung hat „%@“ in „%@“ hinterlassen, doch dieser Ordner ist nicht mehr dort. Der Eintrag bleibt im Protokoll: Sobald der Ordner wieder da ist, räumt Kestrin beim Start auf.",
                  name, folder);
    if (!left.setAside.isEmpty())
        return LF("Das Original eines abgebrochenen Verschiebens liegt als „%@“ in „%@“, weil sein Name wieder vergeben ist.",
                  name, folder);
    return LF("Eine abgebrochene Kopie liegt noch als „%@“ in „%@“. Das Laufwerk kann nicht kennzeichnen, dass sie von Kestrin stammt; sie wird daher nicht gelöscht.",
              name, folder);
    // clang-format on
}

QString renamedAsideText(const QStringList &paths) {
    if (paths.isEmpty()) return {};
    const QString name = Posix::lastComponent(paths.first()), folder = Posix::parentOf(paths.first());
    // clang-format off
    if (paths.size() > 1)
        return LF("%d Objekte einer abgebrochenen Umbenennung haben freie Namen bekommen, weil Objekte derselben Umbenennung ihre alten und neuen Namen tragen, darunter „%@“ in „%@“.",
                  int(paths.size()), name, folder);
    return LF("Ein Objekt einer abgebrochenen Umbenennung heißt jetzt „%@“ in „%@“, weil Objekte derselben Umbenennung seinen alten und seinen neuen Namen tragen.",
              name, folder);
    // clang-format on
}

QString journalsText(const QStringList &paths) {
    if (paths.isEmpty()) return {};
    const QString name = Posix::lastComponent(paths.first()), folder = Posix::parentOf(paths.first());
    // clang-format off
    if (paths.size() > 1)
        return LF("%d Protokolle abgebrochener Übertragungen lassen sich nicht lesen, darunter „%@“ in „%@“. Was sie unter verborgenen Namen hinterlassen haben, bleibt, wie es ist.",
                  int(paths.size()), name, folder);
    return LF("Das Protokoll „%@“ in „%@“ lässt sich nicht lesen. Was die abgebrochene Übertragung unter verborgenen Namen hinterlassen hat, bleibt, wie es ist.",
              name, folder);
    // clang-format on
}

QString lostText(const QStringList &paths) {
    if (paths.isEmpty()) return {};
    const QString name = Posix::lastComponent(paths.first()), folder = Posix::parentOf(paths.first());
    // clang-format off
    if (paths.size() > 1)
        return LF("%d Objekte einer abgebrochenen Umbenennung liegen noch unter verborgenen Namen, darunter „%@“ in „%@“. Ihre Einträge im Protokoll sind verloren, daher sind ihre alten und neuen Namen unbekannt.",
                  int(paths.size()), name, folder);
    return LF("Ein Objekt einer abgebrochenen Umbenennung liegt noch als „%@“ in „%@“. Sein Eintrag im Protokoll ist verloren, daher sind sein alter und sein neuer Name unbekannt.",
              name, folder);
    // clang-format on
}

QString unmatchedText(const QStringList &paths) {
    if (paths.isEmpty()) return {};
    const QString name = Posix::lastComponent(paths.first()), folder = Posix::parentOf(paths.first());
    // clang-format off
    if (paths.size() > 1)
        return LF("%d Objekte einer abgebrochenen Umbenennung liegen noch unter verborgenen Namen, darunter „%@“ in „%@“. Das Laufwerk zeigt sie nicht mehr als dieselben Objekte wie vor dem Abbruch, daher bleiben sie, wie sie sind.",
                  int(paths.size()), name, folder);
    return LF("Ein Objekt einer abgebrochenen Umbenennung liegt noch als „%@“ in „%@“. Das Laufwerk zeigt es nicht mehr als dasselbe Objekt wie vor dem Abbruch, daher bleibt es, wie es ist.",
              name, folder);
    // clang-format on
}

QString damagedText(const QStringList &paths) {
    if (paths.isEmpty()) return {};
    const QString name = Posix::lastComponent(paths.first()), folder = Posix::parentOf(paths.first());
    // clang-format off
    if (paths.size() > 1)
        return LF("%d Protokolle abgebrochener Übertragungen sind beschädigt, darunter „%@“ in „%@“. Was in ihren unlesbaren Zeilen stand, bleibt unter verborgenen Namen, wie es ist.",
                  int(paths.size()), name, folder);
    return LF("Das Protokoll „%@“ in „%@“ ist beschädigt. Was in seinen unlesbaren Zeilen stand, bleibt unter verborgenen Namen, wie es ist.",
              name, folder);
    // clang-format on
}

QString oldNamesText(const QStringList &paths) {
    if (paths.isEmpty()) return {};
    const QString name = Posix::lastComponent(paths.first()), folder = Posix::parentOf(paths.first());
    // clang-format off
    if (paths.size() > 1)
        return LF("%d Objekte einer abgebrochenen Umbenennung tragen noch ihre alten Namen, während die anderen ihre neuen tragen, darunter „%@“ in „%@“.",
                  int(paths.size()), name, folder);
    return LF("Ein Objekt einer abgebrochenen Umbenennung heißt noch „%@“ in „%@“, während die anderen Objekte ihre neuen Namen tragen.",
              name, folder);
    // clang-format on
}

} // namespace

QString leftoversText(const Leftovers &left) {
    QStringList sentences;
    for (const QString &text :
         {hiddenText(left), renamedAsideText(left.renamedAside), oldNamesText(left.oldNames),
          lostText(left.lost), unmatchedText(left.unmatched), journalsText(left.journals),
          damagedText(left.damaged)})
        if (!text.isEmpty()) sentences << text;
    return sentences.join(u' ');
}

void holdUnlisted(const QStringList &paths, const QString &dest, Shown &shown) {
    QStringList folders{dest};
    for (const QString &p : paths)
        if (const auto bytes = PathBytes::of(p); bytes && !folders.contains(bytes->parent().text()))
            folders << bytes->parent().text();
    for (const QString &folder : folders) {
        if (shown.folders.contains(folder) || shown.refused.contains(folder)) continue;
        try {
            shown.folders.insert(folder, Restore::holdOrigin(folder).identity());
        } catch (const FileError &e) {
            shown.refused.insert(folder, e);
        }
    }
}

HeldFolder holdChosen(const PathBytes &path, const Shown &shown) {
    const QString key = path.text();
    if (const auto seen = shown.folders.constFind(key); seen != shown.folders.cend())
        return HeldFolder(path, *seen);
    if (const auto refused = shown.refused.constFind(key); refused != shown.refused.cend()) throw *refused;
    // Nothing listed it and no first look held it: another account's link on the way leads nowhere.
    return Restore::holdOrigin(path);
}

TransferOutcome runWithProgress(const QStringList &paths, const QString &to, bool move,
                                TransferProgress &progress, const QHash<QString, ConflictChoice> &resolutions,
                                bool flushAtEnd, const Shown &shown) {
    if (paths.isEmpty()) {
        progress.setTotal(0, 0);
        return {};
    }
    Engine engine(paths, to, move, progress, resolutions, flushAtEnd, shown);
    return engine.run();
}

} // namespace FileOps
