#include "core/fileops/FileOps.h"
#include "core/fileops/TwoPhaseRename.h"
#include "core/fileops/TreeMeasure.h"
#include "core/filesteps/CopyJob.h"
#include "core/filesteps/FileSteps.h"
#include "core/filesteps/MoveFinish.h"

#include "core/localisation/Lang.h"
#include "platform/Posix.h"

#include <QDir>
#include <QScopeGuard>

#include <cerrno>
#include <climits>
#include <functional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileOps {
namespace {

bool exists(const QString &path) {
    // A dangling link is an item too: its name is taken.
    struct stat st;
    return Posix::lstatPath(path, st);
}

} // namespace

bool sameVolume(const QString &a, const QString &b) {
    struct stat sa, sb;
    const bool okA = Posix::statPath(a, sa);
    const bool okB = Posix::statPath(b, sb);
    return okA && okB && sa.st_dev == sb.st_dev;
}

SizeCount totalSize(const QStringList &paths) {
    SizeCount sum;
    for (const QString &path : paths) {
        struct stat st;
        if (!Posix::statPath(path, st)) continue;
        if (S_ISDIR(st.st_mode)) {
            const TreeStats t = detail::regularFilesBelow(path);
            sum.bytes += t.bytes;
            sum.files += t.files;
            continue;
        }
        sum.bytes += st.st_size;
        ++sum.files;
    }
    return sum;
}

namespace {

FileError notApplied(const QString &name) {
    return FileError{ENOENT, LF("Das Laufwerk hat das Umbenennen von „%@“ nicht übernommen.", name), true};
}

// `into`: a descriptor of the folder it was to go to, whose volume may be out of entries rather than space.
FileError notRenamed(int e, const QString &name, int into = -1) {
    return FileError{e,
                     LF("„%@“ ließ sich nicht umbenennen.", name) + u' ' +
                         explain(FileSteps::withFullText(FileError::fromErrno(e), into), name),
                     false};
}

// Whether the item `seen` is still `name` in `from` and the folder `to` is still there.
bool stillThere(const FileSteps::HeldFolder &from, const QByteArray &name, const struct stat &seen,
                const FileSteps::HeldFolder &to) {
    struct stat now, folder;
    // Only words hang on it: a FUSE driver that numbers the item anew after the failed rename (exfat-fuse)
    // still shows it with its type, size and time.
    const auto alike = [&] {
        return (now.st_mode & S_IFMT) == (seen.st_mode & S_IFMT) && now.st_size == seen.st_size &&
               now.st_mtim.tv_sec == seen.st_mtim.tv_sec && now.st_mtim.tv_nsec == seen.st_mtim.tv_nsec;
    };
    return ::fstatat(from.fd(), name.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
           (FileSteps::sameInode(now, seen) || alike()) && ::fstat(to.fd(), &folder) == 0 &&
           folder.st_nlink > 0;
}

} // namespace

namespace {

// A verified copy, then the original goes; throws the rename's error.
template <class Move>
void moveByCopy(const QString &name, Move move, const std::function<bool()> &placed, int into) {
    int e = 0;
    try {
        TransferProgress progress;
        move(progress);
    } catch (const FileError &error) {
        // Our own sentence (what stayed of the original) says more than the error code.
        if (error.renameNotApplied || error.description != FileError::fromErrno(error.code).description)
            throw;
        e = error.code;
    } catch (const CopyFailure &failure) {
        e = failure.underlying.code;
    } catch (const CancelledError &) {
        e = ECANCELED;
    }
    if (e) throw notRenamed(e, name, into);
    if (!placed()) throw notApplied(name);
}

void renameNamed(const QString &from, const QString &to, const QString &name) {
    const int e = FileSteps::renameNoReplace(from, to);
    if (e == EXDEV) {
        // Another volume, or a folder its drive will not rename (overlayfs).
        const auto folder = Posix::encode(Posix::parentOf(to));
        const int into = folder ? ::open(folder->constData(), O_PATH | O_DIRECTORY | O_CLOEXEC) : -1;
        const auto closed = qScopeGuard([into] {
            if (into >= 0) ::close(into);
        });
        moveByCopy(
            name, [&](TransferProgress &progress) { FileSteps::moveAcross(from, to, progress); },
            [&] { return exists(to); }, into);
        return;
    }
    if (e == 0 && !exists(to)) throw notApplied(name);
    if (e) throw notRenamed(e, name);
}

} // namespace

void rename(const QString &from, const QString &to) {
    renameNamed(from, to, Posix::lastComponent(from));
}

void rename(const FileSteps::HeldFolder &from, const QByteArray &fromName, const FileSteps::HeldFolder &to,
            const QByteArray &toName, const QString &name, bool byCopy) {
    // Seen before: a driver that refuses the new name with ENOENT (exfat-fuse) is told from an item gone.
    struct stat before;
    const bool seen = ::fstatat(from.fd(), fromName.constData(), &before, AT_SYMLINK_NOFOLLOW) == 0;
    const int e = FileSteps::renameNoReplace(from, fromName, to, toName);
    struct stat st;
    const auto placed = [&] { return ::fstatat(to.fd(), toName.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0; };
    if (e == 0 && !placed()) throw notApplied(name);
    if (e == EXDEV && byCopy) {
        // Another volume, or a folder its drive will not rename (overlayfs): within the held folders, so
        // that no name on the way is looked up again.
        moveByCopy(
            name,
            [&](TransferProgress &progress) { FileSteps::moveAcross(from, fromName, to, toName, progress); },
            placed, to.fd());
    } else if (e == ENOENT && seen && stillThere(from, fromName, before, to)) {
        throw FileError{EINVAL,
                        LF("„%@“ ließ sich nicht umbenennen.", name) + u' ' +
                            explain(FileSteps::nameRefused(toName), Posix::shown(toName)),
                        false};
    } else if (e) {
        throw notRenamed(e, name);
    }
}

namespace {

// On a volume that ignores case, the new name of a case-only rename finds the item itself.
bool findsItself(const FileSteps::HeldFolder &folder, const struct stat &item, const QString &oldName,
                 const QString &newName) {
    const QDir listed(FileSteps::pinnedPath(folder));
    if (!listed.exists()) return false;
    const QStringList names =
        listed.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    return FileSteps::findsUnder(folder.fd(), item, oldName, newName, names).value_or(false);
}

} // namespace

ShownItem rename(const ShownItem &item, const QString &newName) {
    const FileSteps::PathBytes path(item.path);
    const QString name = Posix::lastComponent(item.path);
    const auto to = Posix::encode(newName);
    if (!to || to->isEmpty() || to->contains('/')) throw FileError::fromErrno(EILSEQ);
    const auto folder = FileSteps::HeldFolder::ofShown(item);
    const struct stat self = folder.expect(path.name(), item.item, name);
    if (struct stat st; ::fstatat(folder.fd(), to->constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!findsItself(folder, self, name, newName)) throw FileError::fromErrno(EEXIST);
        // Through a hidden name, as a batch does: a driver may take the new name for the old one.
        const QString newPath = Posix::childPath(Posix::parentOf(item.path), newName);
        const TwoPhaseReport report =
            renameInTwoPhases({TransferPair{item.path, newPath}}, nullptr, {}, {item});
        if (!report.errors.isEmpty())
            throw FileError{0, errorSummary(report.errors, report.whereabouts), false};
        return report.renamedAs.value(0, ShownItem{newPath, item.folder, {}});
    }
    rename(folder, path.name(), folder, *to, name);
    ShownItem renamed{Posix::childPath(Posix::parentOf(item.path), newName),
                      {quint64(folder.identity().st_dev), quint64(folder.identity().st_ino)},
                      {}};
    // A copy across layers has an identity of its own; unknown when it cannot be read.
    if (struct stat st; ::fstatat(folder.fd(), to->constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        renamed.item = {quint64(st.st_dev), quint64(st.st_ino)};
    return renamed;
}

QString createIn(const QString &folder, const ItemId &shown, const QString &name, bool isFolder) {
    const auto held = FileSteps::HeldFolder::ofShown(ShownItem{Posix::childPath(folder, name), shown, {}});
    // A name taken between the look and the creation is followed by the next free one.
    for (int attempt = 0;; ++attempt) {
        const QString free = Posix::lastComponent(uniqueURL(name, FileSteps::pinnedPath(held), true));
        const auto leaf = Posix::encode(free);
        if (!leaf) throw FileError::fromErrno(EILSEQ);
        int e = 0;
        if (isFolder) {
            e = ::mkdirat(held.fd(), leaf->constData(), 0777) == 0 ? 0 : errno;
        } else {
            const int fd = ::openat(held.fd(), leaf->constData(),
                                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            e = fd < 0 ? errno : 0;
            if (fd >= 0) ::close(fd);
        }
        if (e == 0) return Posix::childPath(folder, free);
        if (e != EEXIST || attempt >= 20) throw FileSteps::withFullText(FileError::fromErrno(e), held.fd());
    }
}

void copyTree(const QString &source, const QString &target, TransferProgress &progress, bool flush) {
    auto job = FileSteps::newCopyJob(progress);
    FileSteps::CopyReport report;
    FileSteps::copyTree(*job, source, target, flush, report);
}

void copyFileChunked(const QString &source, const QString &target, TransferProgress &progress, bool flush) {
    struct stat st;
    if (!Posix::lstatPath(source, st)) throw FileError::fromErrno(errno);
    if (!S_ISREG(st.st_mode)) throw FileError::fromErrno(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    auto job = FileSteps::newCopyJob(progress);
    FileSteps::CopyReport report;
    try {
        FileSteps::copyTree(*job, source, target, false, report, flush);
    } catch (const CopyFailure &f) {
        throw f.underlying;
    }
    if (flush) {
        if (const int e = FileSteps::syncFolder(Posix::parentOf(target))) throw FileError::fromErrno(e);
    }
}

QString aboutItems(const QStringList &paths, const char *one, const char *many) {
    return paths.size() == 1 ? LF(one, Posix::lastComponent(paths.first())) : LF(many, int(paths.size()));
}

} // namespace FileOps
