#include "core/tools/FolderSync.h"

#include "core/fileops/FileOps.h"
#include "core/filesteps/TrashMemory.h"
#include "core/filesteps/CopyJob.h"
#include "core/localisation/Lang.h"
#include "platform/Posix.h"
#include "platform/Trash.h"

#include <QScopeGuard>
#include <QSet>
#include <QThreadPool>

#include <thread>

#include <algorithm>
#include <atomic>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>
#include <tuple>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FolderSync {

namespace {

FolderSync::Hook &afterCopy() {
    static FolderSync::Hook hook;
    return hook;
}

std::atomic<qsizetype> g_groupStepsForTests{0};

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
    const HeldFolder *folder = nullptr;
    QByteArray name;
    QString path; // for messages and the Trash's record
};

// The item is still what the compare saw (or still absent).
// seen, where given, receives what the look found.
void expectUnchanged(const std::optional<EntryFacts> &expected, const Place &at, const QString &rel,
                     struct stat *seen = nullptr) {
    int err = 0;
    const std::optional<EntryFacts> now = FolderCompare::factsAt(at.folder->fd(), at.name, &err, seen);
    if (err) throw FileError::fromErrno(err);
    // A folder's size and time follow what lies inside, or move on their own (ntfs-3g): a folder is
    // unchanged while it is the same folder.
    const bool sameFolder = now && expected && now->isDir() && expected->isDir() &&
                            now->dev == expected->dev && now->ino == expected->ino;
    if (now != expected && !sameFolder) throw Failure{LF("„%@“ wurde seit dem Vergleich geändert.", rel)};
}

QString changedText(const QString &rel) {
    return LF("„%@“ wurde seit dem Vergleich geändert.", rel);
}

QString noTrashText(const QString &rel) {
    return LF("„%@“ liegt auf einem Laufwerk ohne Papierkorb und bleibt unverändert.", rel);
}

// Steps are taken in groups, each kind of step of a group with one flush for all: every copy made, the
// target volumes flushed, every replacement and removal made. Each step holds its part and up to two
// folders open until its group ends, and two groups are on their way at once (one copied while the other
// is flushed and finished): a group takes a sixth of what the process may open, some kept for the
// copying threads and the rest of the program.
qsizetype groupSteps() {
    if (const qsizetype chosen = g_groupStepsForTests.load()) return chosen;
    struct rlimit limit {};
    const rlim_t open = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 ? limit.rlim_cur : 1024;
    return std::clamp<qsizetype>(qsizetype(std::min<rlim_t>(open, 1 << 16) / 6) - 100, 16, 2048);
}

// A desktop session starts programs with a soft open-file limit of 1,024 and a far higher hard one, for
// programs that hold many files to raise themselves: groups that small would flush the volume every few
// dozen files. Raised for the run alone (nothing of ours waits with select(), which it would break), and
// lowered again after it, so that programs started later get the session's limit.
class MoreOpenFiles {
public:
    MoreOpenFiles() {
        std::lock_guard guard(lock());
        Shared &s = shared();
        if (s.runs++ > 0) return;
        if (::getrlimit(RLIMIT_NOFILE, &s.was) != 0 || s.was.rlim_cur >= (1 << 16) ||
            s.was.rlim_max <= s.was.rlim_cur)
            return;
        struct rlimit raised = s.was;
        raised.rlim_cur = std::min<rlim_t>(s.was.rlim_max, 1 << 16);
        s.raised = ::setrlimit(RLIMIT_NOFILE, &raised) == 0;
    }
    // Lowered once the last run that holds it ends.
    ~MoreOpenFiles() {
        std::lock_guard guard(lock());
        Shared &s = shared();
        if (--s.runs == 0 && std::exchange(s.raised, false)) ::setrlimit(RLIMIT_NOFILE, &s.was);
    }
    MoreOpenFiles(const MoreOpenFiles &) = delete;
    MoreOpenFiles &operator=(const MoreOpenFiles &) = delete;

private:
    struct Shared {
        int runs = 0;
        struct rlimit was {};
        bool raised = false;
    };
    static std::mutex &lock() {
        static std::mutex m;
        return m;
    }
    static Shared &shared() {
        static Shared s;
        return s;
    }
};

// Whether anything was mounted or unmounted since the last look, without a walk of a path: the kernel
// marks the mount table of the process as changed for every reader that watches it.
class MountWatch {
public:
    MountWatch() : fd_(::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC)) {}
    ~MountWatch() {
        if (fd_ >= 0) ::close(fd_);
    }
    MountWatch(const MountWatch &) = delete;
    MountWatch &operator=(const MountWatch &) = delete;
    // True where it cannot be told.
    bool changed() const {
        if (fd_ < 0) return true;
        pollfd p{fd_, POLLPRI, 0};
        return ::poll(&p, 1, 0) != 0 || (p.revents & (POLLERR | POLLPRI));
    }

private:
    int fd_;
};

// One step of a group on its way.
struct Pending {
    qsizetype index = 0;
    const SyncStep *step = nullptr;
    bool onLeft = false; // the side it writes to
    bool copy = false;
    Place from, to;
    std::unique_ptr<FileSteps::PartCopy> part;
    std::optional<QString> error; // the step failed
    bool done = false;
    bool dropped = false; // not taken: the run was cancelled before its copy was complete
};

// A group of steps: made and copied on the run's thread, then flushed and finished on another while the
// next group is copied.
struct Group {
    std::vector<Pending> steps;
    // The folders its steps are in, each held once for all its items (side, relative path).
    std::map<std::pair<bool, QByteArray>, std::unique_ptr<HeldFolder>> held;
    qsizetype none = 0; // steps with nothing to do
    QStringList ended;  // what ended the run as the group was made
    bool finish = true; // its copies are to be flushed and take their names
    int turn = 0;       // which of the volumes' descriptors flushes it
};

struct Runner {
    const QString &left;
    const QString &right;
    const Roots &roots;
    const HeldFolder &leftHeld;
    const HeldFolder &rightHeld;
    TransferProgress &progress;
    SyncResult &result;
    FileSteps::JobVolumes &volumes;
    FileSteps::Journal::Unflushed replaced{}; // their records end with the run, once flushed
    QStringList written{};                    // the roots whose volumes the run changed
    std::atomic<bool> cancelled{false};
    std::atomic<bool> ended{false}; // a group's end found a root gone
    qsizetype passedOver = 0;       // special files inside the folders copied, and the first few
    QStringList specials{};
    MountWatch mounts{};

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

    Place placeOf(Group &g, bool onLeft, const QString &rel) {
        Place at;
        const HeldFolder &root = onLeft ? leftHeld : rightHeld;
        at.folder = &root;
        at.path = Posix::childPath(onLeft ? left : right, rel);
        const FileSteps::PathBytes bytes(rel);
        at.name = bytes.name();
        const qsizetype slash = bytes.bytes().lastIndexOf('/');
        if (slash < 0) return at;
        const QByteArray folder = bytes.bytes().left(slash);
        std::unique_ptr<HeldFolder> &below = g.held[{onLeft, folder}];
        if (!below) {
            try {
                below = std::make_unique<HeldFolder>(root.beneath(folder));
            } catch (const FileError &e) {
                g.held.erase({onLeft, folder});
                // A folder on the way that is a link now was swapped since the compare.
                if (e.code == ELOOP || e.code == EXDEV || e.code == ENOTDIR)
                    throw Failure{HeldFolder::refusalText(root.pathOf(folder).text())};
                throw;
            }
        }
        at.folder = below.get();
        return at;
    }

    // The message of a step that failed with the exception in flight.
    QString failureText(const Pending &p) const {
        const HeldFolder &target = p.onLeft ? leftHeld : rightHeld;
        const QString &rel = p.step->row.id;
        try {
            throw;
        } catch (const Failure &f) {
            return f.text;
        } catch (const FileError &e) {
            return FileOps::explain(FileSteps::withFullText(e, target.fd()), rel);
        } catch (const CopyFailure &f) {
            return FileOps::describe(CopyFailure{f.path, FileSteps::withFullText(f.underlying, target.fd())},
                                     rel);
        }
    }

    // The first half of a step: its places looked at, and for a copy its part on record.
    void prepare(Group &g, Pending &p) {
        const SyncStep &s = *p.step;
        const QString &rel = s.row.id;
        const bool trash = s.action == SyncAction::trashLeft || s.action == SyncAction::trashRight;
        p.onLeft = s.action == SyncAction::toLeft || s.action == SyncAction::trashLeft;
        p.copy = !trash;
        const std::optional<EntryFacts> &expected = p.onLeft ? s.row.leftFacts : s.row.rightFacts;
        if (trash) {
            if (!expected) throw Failure{changedText(rel)};
            p.to = placeOf(g, p.onLeft, rel);
            expectUnchanged(expected, p.to, rel);
            writes(p.onLeft);
            return;
        }
        const std::optional<EntryFacts> &shown = p.onLeft ? s.row.rightFacts : s.row.leftFacts;
        if (!shown) throw Failure{changedText(rel)};
        p.from = placeOf(g, !p.onLeft, rel);
        p.to = placeOf(g, p.onLeft, rel);
        expectUnchanged(expected, p.to, rel);
        writes(p.onLeft);
        // A new small file only ever takes a free name (place() below): its bytes prove its part ours.
        const bool byBytes =
            !expected && S_ISREG(shown->type) && shown->size <= FileSteps::Journal::provenByBytes;
        const std::optional<FileSteps::PathBytes> source =
            byBytes ? std::optional(p.from.folder->pathOf(p.from.name)) : std::nullopt;
        p.part = std::make_unique<FileSteps::PartCopy>(*p.to.folder, true, source ? &*source : nullptr);
    }

    // Copying threads for the steps of different folders, each with a copy job of its own; the places of
    // a group's new items are taken on others, beside the next group's copies.
    QThreadPool copying{}, placing{};
    std::mutex jobsLock{};
    std::vector<FileSteps::CopyJobPtr> jobs{};

    // The steps of each folder in order, folders at once; one folder's on this thread.
    static void eachFolder(QThreadPool &pool, const std::vector<Pending *> &steps, int most,
                           const std::function<void(const std::vector<Pending *> &)> &take) {
        std::vector<std::vector<Pending *>> byFolder;
        std::map<const HeldFolder *, size_t> slot;
        for (Pending *p : steps) {
            const auto [at, added] = slot.try_emplace(p->to.folder, byFolder.size());
            if (added) byFolder.emplace_back();
            byFolder[at->second].push_back(p);
        }
        if (byFolder.size() == 1) take(byFolder.front());
        if (byFolder.size() <= 1) return;
        // A few threads, each taking the next folder when it is free: not a task to start and end for
        // each folder of a group spread over many.
        const int threads = int(std::min<size_t>(size_t(most), byFolder.size()));
        pool.setMaxThreadCount(threads);
        std::atomic<size_t> next{0};
        for (int t = 0; t < threads; ++t)
            pool.start([&next, &byFolder, &take] {
                for (size_t i = next++; i < byFolder.size(); i = next++)
                    take(byFolder[i]);
            });
        pool.waitForDone();
    }

    // The copy of one step on a thread of the pool; what ends the run is kept in `ended`.
    void copyOn(Pending &p, FileSteps::CopyJob &with, std::atomic<bool> &stop, std::exception_ptr &ended) {
        if (stop || progress.isCancelled()) {
            p.dropped = true;
            p.part.reset();
            return;
        }
        progress.setItem(p.index + 1, p.step->row.id);
        try {
            copy(p, with);
        } catch (const CancelledError &) {
            p.dropped = true;
            p.part.reset();
            stop = true;
        } catch (const RootGone &) {
            std::lock_guard guard(jobsLock);
            if (!ended) ended = std::current_exception();
            stop = true;
        } catch (...) {
            p.error = failureText(p);
            p.part.reset();
        }
    }

    // The group's copies: each folder's in order, folders at once (threads that make entries in one folder
    // mostly wait for its lock).
    void copyAll(std::vector<Pending> &group) {
        std::vector<Pending *> copies;
        for (Pending &p : group)
            if (p.copy && !p.error) copies.push_back(&p);
        std::atomic<bool> stop{false};
        std::exception_ptr ended;
        eachFolder(copying, copies, FileSteps::copyThreads, [&](const std::vector<Pending *> &folder) {
            FileSteps::CopyJobPtr own;
            {
                std::lock_guard guard(jobsLock);
                if (!jobs.empty()) {
                    own = std::move(jobs.back());
                    jobs.pop_back();
                }
            }
            if (!own) own = FileSteps::newCopyJob(progress);
            for (Pending *p : folder)
                copyOn(*p, *own, stop, ended);
            std::lock_guard guard(jobsLock);
            jobs.push_back(std::move(own));
        });
        if (ended) std::rethrow_exception(ended);
    }

    // The copy under the part's name, not yet flushed.
    void copy(Pending &p, FileSteps::CopyJob &with) {
        const std::optional<EntryFacts> &shown = p.onLeft ? p.step->row.rightFacts : p.step->row.leftFacts;
        // The source must be the item the compare read.
        struct stat source {};
        source.st_dev = shown->dev;
        source.st_ino = shown->ino;
        try {
            p.part->copy(with, *p.from.folder, p.from.name, source, false, true);
        } catch (const FileError &e) {
            if (e.code != ESTALE) throw;
            // A held folder refused: a root's is the end of the run.
            expectRoot(!p.onLeft);
            expectRoot(p.onLeft);
            throw Failure{e.description};
        }
        if (!p.part->made())
            throw Failure{LF("„%@“: Pipes, Sockets und Geräte lassen sich nicht kopieren.", p.step->row.id)};
        if (afterCopy()) afterCopy()(p.part->path());
        if (progress.isCancelled()) throw CancelledError{};
        // A volume unmounted meanwhile ends the run at once; every other change of a root is found before
        // the group's copies take a name (end), and its parts go then.
        if (mounts.changed()) {
            expectRoot(true);
            expectRoot(false);
        }
    }

    // The group's copies to stable storage: one flush of each volume written to.
    void flushCopies(std::vector<Pending> &group, int turn) {
        for (const bool onLeft : {true, false}) {
            const HeldFolder &root = onLeft ? leftHeld : rightHeld;
            if (onLeft && leftHeld.identity().st_dev == rightHeld.identity().st_dev) continue;
            bool any = false;
            for (const Pending &p : std::as_const(group))
                any =
                    any || (p.copy && !p.error && !p.dropped &&
                            (p.onLeft == onLeft ||
                             root.identity().st_dev == (p.onLeft ? leftHeld : rightHeld).identity().st_dev));
            if (!any) continue;
            QString failed;
            const int e = volumes.flushVolume(root, &failed, turn);
            for (Pending &p : group)
                if (e && p.copy && !p.error && !p.dropped &&
                    (p.onLeft ? leftHeld : rightHeld).identity().st_dev == root.identity().st_dev)
                    p.error = FileSteps::notSavedText(failed, e);
        }
    }

    // A new item takes its free name; its folder still where the compare saw it, looked at once for all
    // its items.
    void place(Pending &p, bool &folderChecked) {
        try {
            if (!folderChecked) p.to.folder->check();
            folderChecked = true;
            if (const int e = p.part->place(p.to.name)) throw FileError::fromErrno(e);
            p.done = true;
        } catch (...) {
            p.error = failureText(p);
        }
    }

    // The second half: the parts take their names, the replaced and surplus items go to the Trash.
    void finish(std::vector<Pending> &group) {
        // A source folder mounted over or swapped since its copies were made from the folder held: the
        // user now sees other items there. Its steps stop and say so, as a target folder's do.
        std::map<const HeldFolder *, bool> sourceHere;
        for (Pending &p : group) {
            if (p.error || p.dropped || !p.copy) continue;
            const auto [at, added] = sourceHere.try_emplace(p.from.folder, true);
            if (added) at->second = p.from.folder->stillAtPath();
            if (at->second) continue;
            try {
                throw p.from.folder->refusal();
            } catch (...) {
                p.error = failureText(p);
            }
        }
        std::vector<Pending *> fresh;
        for (Pending &p : group) {
            const std::optional<EntryFacts> &expected =
                p.onLeft ? p.step->row.leftFacts : p.step->row.rightFacts;
            if (!p.error && !p.dropped && p.copy && !expected) fresh.push_back(&p);
        }
        // Each name is put on record under the journal's one lock first: two threads keep it busy.
        eachFolder(placing, fresh, 2, [this](const std::vector<Pending *> &folder) {
            bool checked = false;
            for (Pending *p : folder)
                place(*p, checked);
        });
        QList<FileSteps::PartCopy::InGroup> replacing;
        QList<Pending *> replacingOf, trashOf;
        QList<FileSteps::TrashAt> trash;
        QSet<const HeldFolder *> checked;
        for (Pending &p : group) {
            if (p.error || p.dropped || p.done) continue;
            const SyncStep &s = *p.step;
            const QString &rel = s.row.id;
            const std::optional<EntryFacts> &expected = p.onLeft ? s.row.leftFacts : s.row.rightFacts;
            try {
                // Its folder still where the compare saw it, looked at once for all its items.
                if (!checked.contains(p.to.folder)) p.to.folder->check();
                checked.insert(p.to.folder);
                // Looked at again right before the old item goes.
                struct stat old;
                expectUnchanged(expected, p.to, rel, &old);
                if (!p.copy) {
                    trash << FileSteps::TrashAt{p.to.folder, p.to.name, p.to.path, {}};
                    trashOf << &p;
                    continue;
                }
                if (old.st_dev != expected->dev || old.st_ino != expected->ino)
                    throw Failure{changedText(rel)};
                replacing << FileSteps::PartCopy::InGroup{p.part.get(), p.to.name, old, {}};
                replacingOf << &p;
            } catch (...) {
                p.error = failureText(p);
            }
        }
        FileSteps::PartCopy::replaceAll(replacing, trash);
        for (qsizetype i = 0; i < trash.size(); ++i)
            trashed(*trashOf[i], trash[i].result);
        for (qsizetype i = 0; i < replacing.size(); ++i)
            replacedBy(*replacingOf[i], replacing[i].result);
    }

    void trashed(Pending &p, const FileSteps::Trashed &t) {
        const QString &rel = p.step->row.id;
        for (const auto &[original, inTrash] : t.moved) {
            result.trashed << FileOps::TrashedPair{original, inTrash};
            // Said at the end when the way to the Trash did not reach the disk.
            replaced.touched(Posix::parentOf(original));
            replaced.touched(Posix::parentOf(inTrash));
        }
        switch (t.status) {
        case Trash::Status::moved:
            if (t.mounts)
                p.error = FileSteps::mountsStayedText(t, rel);
            else
                p.done = true;
            return;
        case Trash::Status::noTrash:
            p.error = noTrashText(rel);
            return;
        case Trash::Status::failed:
            if (t.partOfTrash) {
                p.error = FileSteps::partOfTrashText(rel);
                return;
            }
            try {
                throw FileError::fromErrno(t.err);
            } catch (...) {
                p.error = failureText(p);
            }
            return;
        }
    }

    void replacedBy(Pending &p, const FileSteps::Replaced &r) {
        const QString &rel = p.step->row.id;
        if (!r.inTrash.isEmpty()) result.trashed << FileOps::TrashedPair{p.to.path, r.inTrash};
        switch (r.how) {
        case FileSteps::Replaced::How::done:
            // The old item's way to the Trash is on the disk before the record goes.
            p.part->handTo(replaced);
            replaced.touched(Posix::parentOf(r.inTrash));
            p.done = true;
            return;
        case FileSteps::Replaced::How::nameFree:
            p.error = changedText(rel);
            return;
        case FileSteps::Replaced::How::failed:
        case FileSteps::Replaced::How::kept:
            break;
        }
        if (r.noTrash) {
            p.error = noTrashText(rel);
            return;
        }
        try {
            throw r.error;
        } catch (...) {
            p.error = failureText(p);
        }
    }

    // The first half of the steps [from, to), on the run's thread: their places looked at, their records
    // written, their copies made. False: the run ends after this group (cancelled, or a root is gone).
    bool start(Group &g, const QList<SyncStep> &steps, qsizetype from, qsizetype to) {
        g.steps.reserve(to - from);
        bool goOn = true;
        try {
            expectRoot(true);
            expectRoot(false);
            // Each step's places and part record; the records on stable storage before any part is made.
            for (qsizetype i = from; i < to; ++i) {
                if (steps[i].action == SyncAction::none) {
                    ++g.none;
                    continue;
                }
                Pending &p = g.steps.emplace_back();
                p.index = i;
                p.step = &steps[i];
                try {
                    prepare(g, p);
                } catch (const RootGone &) {
                    throw;
                } catch (const CancelledError &) {
                    throw;
                } catch (...) {
                    p.error = failureText(p);
                    p.part.reset();
                }
            }
            FileSteps::Journal::flush();
            copyAll(g.steps);
            // Cancelled: the steps whose copies are complete are taken, the rest are not.
            bool cut = false;
            for (Pending &p : g.steps) {
                cut = cut || p.dropped;
                if (cut && !p.done) {
                    p.dropped = true;
                    p.part.reset();
                }
            }
            if (cut || progress.isCancelled()) {
                cancelled = true;
                goOn = false;
            }
        } catch (const CancelledError &) {
            cancelled = true;
            g.finish = false;
            goOn = false;
        } catch (const RootGone &gone) {
            g.ended << gone.text;
            g.finish = false;
            goOn = false;
        } catch (const FileError &e) {
            // The journal refused the group's records: none of its steps began.
            for (Pending &p : g.steps)
                if (!p.error && !p.done) p.error = e.description;
            g.finish = false;
        }
        return goOn;
    }

    // The second half, beside the next group's copies: every copy on the disk before any old item leaves
    // its place, then the names taken and the old items trashed; what the group did counted.
    void end(Group &g) {
        try {
            if (g.finish) {
                flushCopies(g.steps, g.turn);
                expectRoot(true);
                expectRoot(false);
                finish(g.steps);
            }
        } catch (const CancelledError &) {
            cancelled = true;
        } catch (const RootGone &gone) {
            g.ended << gone.text;
            ended = true;
        }
        result.done += g.none;
        result.errors << g.ended;
        for (const Pending &p : std::as_const(g.steps)) {
            if (p.dropped) continue;
            if (p.done) {
                ++result.done;
                if (p.part) {
                    passedOver += p.part->passedOver();
                    specials << p.part->specials().mid(0, 3 - std::min<qsizetype>(3, specials.size()));
                }
            } else if (p.error) {
                result.errors << *p.error;
            }
        }
        // The parts that did not take a name go with their records.
        g.steps.clear();
        g.held.clear();
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

void setGroupStepsForTests(qsizetype steps) {
    g_groupStepsForTests = steps;
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
    // Opened before anything is written: the last flush hears of every write-back error since. Each root's
    // volume through two descriptors, one for every other group: a group copied while the one before is
    // flushed may have its write-back errors told to that flush, and hears of them again through its own.
    FileSteps::JobVolumes volumes;
    for (int twice = 0; twice < 2; ++twice) {
        volumes.open(*leftHeld);
        volumes.open(*rightHeld);
    }
    // Where the journal's later lines are lost, the next start looks beneath the roots for our parts.
    std::optional<FileSteps::Journal::Roots> onRecord;
    try {
        onRecord.emplace(QStringList{left, right});
    } catch (const FileError &e) {
        result.errors << e.description;
        return result;
    }
    progress.setTotal(bytes + FileOps::totalBytes(folders), steps.size());
    const MoreOpenFiles moreOpenFiles;
    Runner runner{left, right, roots, *leftHeld, *rightHeld, progress, result, volumes};
    const qsizetype size = groupSteps();
    std::thread ending;
    std::exception_ptr endFailed;
    const auto waitForEnd = [&] {
        if (ending.joinable()) ending.join();
    };
    const auto waitOnEveryWayOut = qScopeGuard(waitForEnd);
    int turn = 0;
    for (qsizetype i = 0; i < steps.size(); i += size) {
        if (progress.isCancelled()) runner.cancelled = true;
        if (runner.cancelled || runner.ended) break;
        auto group = std::make_unique<Group>();
        group->turn = turn++;
        const bool goOn = runner.start(*group, steps, i, std::min(steps.size(), i + size));
        waitForEnd();
        // The group before found a root gone: this one is not taken, its parts go.
        if (runner.ended || endFailed) break;
        ending = std::thread([&runner, &endFailed, group = std::move(group)] {
            try {
                runner.end(*group);
            } catch (...) {
                endFailed = std::current_exception();
            }
        });
        if (!goOn) break;
    }
    waitForEnd();
    if (endFailed) std::rethrow_exception(endFailed);
    result.cancelled = runner.cancelled;
    if (runner.passedOver > 0)
        result.passedOver = FileOps::passedOverText(runner.specials, runner.passedOver);
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
