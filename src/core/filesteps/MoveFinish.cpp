#include "core/filesteps/MoveFinish.h"

#include "core/filesteps/PosixSteps.h"
#include "core/filesteps/TransferJournal.h"

#include "core/localisation/FileFmt.h"
#include "core/localisation/Lang.h"
#include "platform/Posix.h"

#include <cerrno>
#include <climits>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace FileSteps {

namespace {

bool unchanged(const struct stat &st, const Seen &seen) {
    return seen.stable && mode_t(st.st_mode & S_IFMT) == seen.type && st.st_size == seen.size &&
           sameTime(st.st_mtim, seen.mtime) && sameTime(st.st_ctim, seen.ctime);
}

// Deletes what a move copied from the original, entry by entry, each checked right before.
class Remover {
public:
    Remover(CopyReport &report, Leftover &left, const QByteArray &folder)
        : report_(report), left_(left), folder_(folder) {}

    // One file, link or special entry; its copy is dstName in dstDir (-1: no copy).
    void entry(int srcDir, const char *srcName, int dstDir, const char *dstName, const struct stat &st,
               const QByteArray &rel) {
        if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
            if (left_.special++ < 3) left_.specials << Posix::shown(rel);
            stay(rel);
            return;
        }
        const auto seen = report_.copied.find({st.st_dev, st.st_ino});
        struct stat copy;
        const bool hasCopy = dstDir >= 0 && ::fstatat(dstDir, dstName, &copy, AT_SYMLINK_NOFOLLOW) == 0 &&
                             (copy.st_mode & S_IFMT) == (st.st_mode & S_IFMT);
        if (seen == report_.copied.end() || !hasCopy || !unchanged(st, seen->second) ||
            (S_ISREG(st.st_mode) && copy.st_size != st.st_size)) {
            keep(rel);
            // Its copy holds an older or torn state: only the original counts now.
            if (hasCopy && seen != report_.copied.end()) ::unlinkat(dstDir, dstName, 0);
            return;
        }
        if (st.st_nlink > 1) {
            // Its other names see the lower link count as a new change time.
            Fd fd(::openat(srcDir, srcName, O_PATH | O_NOFOLLOW | O_CLOEXEC));
            if (!unlink(srcDir, srcName, rel)) return;
            struct stat after;
            Seen &s = seen->second;
            if (fd.get() >= 0 && ::fstat(fd.get(), &after) == 0 && after.st_size == s.size &&
                sameTime(after.st_mtim, s.mtime))
                s.ctime = after.st_ctim;
            else
                s.stable = false;
        } else if (!unlink(srcDir, srcName, rel)) {
            return;
        }
        reached(Step::fileRemoved, folder_ + rel);
    }

    void below(int srcDir, int dstDir, const QByteArray &rel, int depth) {
        struct stat here;
        if (::fstat(srcDir, &here) != 0) {
            error(errno, rel);
            return;
        }
        std::vector<QByteArray> names;
        try {
            names = listNames(srcDir);
        } catch (const FileError &e) {
            error(e.code, rel);
            return;
        }
        for (const QByteArray &name : names) {
            const QByteArray sub = rel + '/' + name;
            struct stat st;
            if (::fstatat(srcDir, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno != ENOENT) error(errno, sub);
                continue;
            }
            if (!S_ISDIR(st.st_mode)) {
                entry(srcDir, name.constData(), dstDir, name.constData(), st, sub);
                continue;
            }
            // Never delete on another file system than the original's, nor through a bind mount.
            if (isMountPoint(srcDir, name.constData(), st, here.st_dev)) {
                if (left_.mounts++ == 0) left_.firstMount = Posix::shown(sub);
                stay(sub);
                continue;
            }
            Fd src(::openat(srcDir, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            Fd dst(dstDir < 0
                       ? -1
                       : ::openat(dstDir, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (src.get() < 0 || depth >= maxDepth) {
                error(src.get() < 0 ? errno : ELOOP, sub);
                continue;
            }
            if (dst.get() < 0) {
                keep(sub); // made after its folder was copied
                continue;
            }
            below(src.get(), dst.get(), sub, depth + 1);
            // A folder that still holds something stays.
            if (::unlinkat(srcDir, name.constData(), AT_REMOVEDIR) == 0)
                ++left_.removed;
            else if (errno != ENOTEMPTY && errno != EEXIST && errno != ENOENT)
                error(errno, sub);
        }
    }

private:
    void keep(const QByteArray &rel) {
        if (left_.changed++ == 0) left_.firstChanged = Posix::shown(rel);
        stay(rel);
    }
    void stay(const QByteArray &rel) {
        if (left_.stayed++ < 3) left_.firstStayed << Posix::shown(rel);
    }
    // rel stays, for the reason e.
    void error(int e, const QByteArray &rel) {
        if (!left_.error) left_.error = e;
        stay(rel);
    }
    bool unlink(int dirFd, const char *name, const QByteArray &rel) {
        if (::unlinkat(dirFd, name, 0) == 0 || errno == ENOENT) {
            ++left_.removed;
            return true;
        }
        error(errno, rel);
        return false;
    }

    CopyReport &report_;
    Leftover &left_;
    const QByteArray folder_;
};

} // namespace

Leftover finishMove(const QString &source, const QString &target, CopyReport &report,
                    Journal::Unflushed *later) {
    try {
        const PathBytes from(source), to(target);
        return finishMove(HeldFolder(from.parent()), from.name(), HeldFolder(to.parent()), to.name(), report,
                          later);
    } catch (const FileError &e) {
        Leftover left;
        left.error = e.code;
        return left;
    }
}

Leftover finishMove(const HeldFolder &from, const QByteArray &name, const HeldFolder &into,
                    const QByteArray &targetName, CopyReport &report, Journal::Unflushed *later) {
    Leftover left;
    const QString folder = from.path().text(), source = from.pathOf(name).text();
    // Nothing is deleted in a folder that is no longer the one the copy was made from.
    const auto refused = [&] {
        if (from.stillAtPath()) return false;
        left.error = ESTALE;
        left.why = from.refusal().description;
        return true;
    };
    if (refused()) return left;
    const int parent = from.fd();
    Remover remover(report, left, from.path().bytes() + '/');
    struct stat st;
    if (::fstatat(parent, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        left.error = errno;
        return left;
    }
    if (!S_ISDIR(st.st_mode)) {
        // One name goes at once: there is no half-deleted state to hide.
        remover.entry(parent, name.constData(), into.fd(), targetName.constData(), st, name);
        if (left.changed) left.keptAt = source;
        if (later)
            later->touched(folder);
        else
            left.unflushed = syncFolder(folder);
        return left;
    }

    // Aside first: an interruption leaves the whole original or none of it under its name.
    const PathBytes aside = hiddenName(from.path(), "gone");
    const QByteArray asideName = aside.name();
    const QString asideText = aside.text();
    Journal::Scope recorded;
    try {
        Journal::beginAside(aside, source, st);
    } catch (const FileError &e) {
        left.error = EIO;
        left.why = e.description;
        return left;
    }
    recorded.set(aside);
    if (refused()) return left;
    QByteArray removing = asideName;
    if (const int e = renameNoReplaceAt(parent, name, parent, asideName)) {
        // A folder that its drive will not rename even within its own folder (overlayfs's lower layer)
        // goes where it is: the move's record lets the next start finish a removal cut short.
        if (e != EXDEV) {
            left.error = e;
            return left;
        }
        removing = name;
    } else {
        reached(Step::sourceAside, aside.bytes());
    }
    {
        Fd src(::openat(parent, removing.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        Fd dst(::openat(into.fd(), targetName.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (src.get() >= 0)
            remover.below(src.get(), dst.get(), name, 1);
        else
            left.error = errno;
    }
    // The folder itself would not go, empty or not.
    const auto refusedItself = [&](int e) {
        if (!left.error) left.error = e;
        if (left.stayed++ < 3) left.firstStayed << Posix::shown(name);
    };
    if (removing == name) {
        if (::unlinkat(parent, name.constData(), AT_REMOVEDIR) != 0) {
            const int e = errno;
            if (e != ENOTEMPTY && e != EEXIST && e != ENOENT) refusedItself(e);
            if (e != ENOENT) left.keptAt = source;
        }
    } else if (::unlinkat(parent, asideName.constData(), AT_REMOVEDIR) != 0) {
        if (errno != ENOTEMPTY && errno != EEXIST) refusedItself(errno);
        // What stays takes its name back.
        QByteArray kept = name;
        for (int attempt = 0; renameNoReplaceAt(parent, asideName, parent, kept) == EEXIST && attempt < 20;
             ++attempt)
            kept = PathBytes(uniqueURL(Posix::shown(name), folder)).name();
        left.keptAt = ::fstatat(parent, kept.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0
                          ? from.pathOf(kept).text()
                          : asideText;
        // Still hidden: the next start gives it a name, or tells where it is.
        if (left.keptAt == asideText) recorded.keep();
    }
    // The record goes once the hidden name is gone on the disk too.
    if (later)
        recorded.handTo(*later, folder);
    else if ((left.unflushed = syncFolder(folder)))
        recorded.keep();
    return left;
}

QString leftoverText(const Leftover &left, const QString &name) {
    // clang-format off
    const auto why = [&] {
        return explain(left.why.isEmpty() ? FileError::fromErrno(left.error) : FileError{0, left.why, false}, name);
    };
    // What went of the original is gone for good: the copy is all there is of it now.
    if (left.error && left.removed > 0 && left.stayed > 0)
        return LF("„%@“ wurde kopiert, aber das Original ließ sich nur teilweise löschen. Am alten Ort ist davon noch übrig: %@. Die Kopie ist vollständig und bleibt erhalten. %@",
                  name, FileFmt::firstNamed(left.firstStayed, left.stayed), why());
    if (left.error)
        return LF("„%@“ wurde kopiert, aber das Original ließ sich nicht löschen. Die Kopie bleibt erhalten. %@",
                  name, why());
    QStringList parts;
    if (left.changed == 1)
        parts << LF("„%@“ wurde während des Verschiebens geändert und bleibt am alten Ort.", left.firstChanged);
    else if (left.changed > 1)
        parts << LF("%d Dateien wurden während des Verschiebens geändert und bleiben am alten Ort, darunter „%@“.",
                    int(left.changed), left.firstChanged);
    if (left.special > 0)
        parts << LP("„%@“ enthält %d Pipe, Socket oder Gerät: %@. Es bleibt mit seinem Ordner am alten Ort, alles andere wurde verschoben.|„%@“ enthält %d Pipes, Sockets oder Geräte: %@. Sie bleiben mit ihren Ordnern am alten Ort, alles andere wurde verschoben.",
                    left.special, name, left.special, FileFmt::firstNamedAndMore(left.specials, left.special));
    if (left.mounts == 1)
        parts << LF("„%@“ enthält den eingehängten Ordner „%@“. Er bleibt mit seinem Inhalt am alten Ort, alles andere wurde verschoben.",
                    name, left.firstMount);
    else if (left.mounts > 1)
        parts << LF("„%@“ enthält %d eingehängte Ordner, darunter „%@“. Sie bleiben mit ihrem Inhalt am alten Ort, alles andere wurde verschoben.",
                    name, int(left.mounts), left.firstMount);
    // clang-format on
    return parts.join(u' ');
}

QString securityKeptText(const CopyReport &report, const QString &name) {
    if (report.securityLost.isEmpty()) return {};
    // clang-format off
    return LF("„%@“ bleibt am alten Ort: Seine Sicherheitsattribute (%@) ließen sich am Ziel nicht setzen, und verschoben verlöre es sie. Kopiere es, wenn es ohne sie ankommen darf.",
              name, report.securityNames.join(QStringLiteral(", ")));
    // clang-format on
}

QString unrecordedText(const QString &name, int e) {
    return explain(Journal::notRecorded(e ? e : EIO), name);
}

QString recordMove(const QString &part, const QString &to, const QString &source, const struct stat &st,
                   struct stat &copy) {
    const QString name = Posix::lastComponent(source);
    if (!Posix::lstatPath(part, copy)) return unrecordedText(name, errno);
    try {
        Journal::beginMove(part, to, source, st, copy);
    } catch (const FileError &e) {
        return explain(e, name);
    }
    return {};
}

QString flushPlaced(const QString &to, const struct stat &copy, const QString &name) {
    const int e = syncFolder(Posix::parentOf(to));
    if (e == 0) return {};
    // Its name may not outlast a crash: the original stays whole, and the copy, ours by its identity,
    // goes again. Neither step is sure to reach the disk: the record stays for the next start.
    struct stat now;
    if (Posix::lstatPath(to, now) && sameInode(now, copy)) removeTree(to);
    return LF("„%@“ wurde nicht verschoben: Das Ziel hat die Kopie nicht sicher gespeichert. Das Original "
              "bleibt erhalten.",
              name) +
           u' ' + explain(FileError::fromErrno(e), name);
}

void moveAcross(const QString &from, const QString &to, TransferProgress &progress) {
    // Each path is encoded once; both folders are held from here on.
    const PathBytes fromBytes(from), toBytes(to);
    const HeldFolder fromFolder(fromBytes.parent()), into(toBytes.parent());
    moveAcross(fromFolder, fromBytes.name(), into, toBytes.name(), progress);
}

void moveAcross(const HeldFolder &fromFolder, const QByteArray &fromName, const HeldFolder &into,
                const QByteArray &toName, TransferProgress &progress) {
    const QString from = fromFolder.pathOf(fromName).text(), to = into.pathOf(toName).text();
    const QString name = Posix::lastComponent(from);
    const QString folder = into.path().text();
    into.refuseAppendOnly();
    // The part's hidden name is made in bytes from its folder's.
    const PathBytes partBytes = Journal::partName(into.path());
    const QString part = Posix::childPath(folder, QString::fromLatin1(partBytes.name()));
    struct stat source;
    if (::fstatat(fromFolder.fd(), fromName.constData(), &source, AT_SYMLINK_NOFOLLOW) != 0)
        throw FileError::fromErrno(errno);
    auto job = newCopyJob(progress);
    CopyReport report;
    report.remember = true;
    Journal::Scope recorded;
    report.mark = Journal::beginPart(partBytes);
    recorded.set(partBytes);
    // The part goes again; its record only once that is on the disk.
    const auto drop = [&] {
        if (removeTreeAt(into.fd(), partBytes.name()) != 0 || syncFolder(folder) != 0) recorded.keep();
    };
    try {
        copyTree(*job, fromFolder, fromName, into, partBytes.name(), true, report, &source);
    } catch (...) {
        if (report.createdRoot) drop();
        throw;
    }
    if (!report.createdRoot)
        throw FileError{EOPNOTSUPP, LF("„%@“: Pipes, Sockets und Geräte lassen sich nicht kopieren.", name),
                        false};
    if (const QString kept = securityKeptText(report, name); !kept.isEmpty()) {
        drop();
        throw FileError{EPERM, kept, false};
    }
    struct stat copy;
    if (const QString refused = recordMove(part, to, from, source, copy); !refused.isEmpty()) {
        drop();
        throw FileError{EIO, refused, false};
    }
    if (!into.stillAtPath()) {
        drop();
        throw into.refusal();
    }
    if (const int e = renameNoReplaceAt(into.fd(), partBytes.name(), into.fd(), toName)) {
        drop();
        throw FileError::fromErrno(e);
    }
    reached(Step::placed, into.pathOf(toName).bytes());
    unmark(report);
    if (const QString kept = flushPlaced(to, copy, name); !kept.isEmpty()) {
        recorded.keep();
        throw FileError{EIO, kept, false};
    }
    const Leftover left = finishMove(fromFolder, fromName, into, toName, report);
    // Left to the next start while the original's removal may not be on the disk.
    if (left.unflushed)
        recorded.keep();
    else
        Journal::endMove(partBytes);
    const QString text = leftoverText(left, name);
    if (!text.isEmpty()) throw FileError{left.error ? left.error : EBUSY, text, false};
    if (left.unflushed)
        throw FileError{EIO, Journal::notFlushedText(Posix::parentOf(from), left.unflushed), false};
}

int carryToTrash(int dirFd, const QByteArray &name, int filesFd, const QByteArray &entry) {
    try {
        // The folders the Trash holds, as HeldFolders: by their paths now, and only while those lead to them.
        const auto heldOf = [](int fd) {
            struct stat held;
            char buf[PATH_MAX];
            const QByteArray link = "/proc/self/fd/" + QByteArray::number(fd);
            const ssize_t n = ::readlink(link.constData(), buf, sizeof buf);
            if (::fstat(fd, &held) != 0 || n <= 0 || size_t(n) >= sizeof buf || buf[0] != '/')
                throw FileError{EBADF, {}};
            return HeldFolder(PathBytes(QByteArray(buf, int(n))), held);
        };
        const HeldFolder from = heldOf(dirFd);
        const HeldFolder into = heldOf(filesFd);
        TransferProgress progress;
        moveAcross(from, name, into, entry, progress);
        return 0;
    } catch (const FileError &e) {
        return e.code ? e.code : EIO;
    } catch (const CopyFailure &f) {
        return f.underlying.code ? f.underlying.code : EIO;
    } catch (const CancelledError &) {
        return ECANCELED;
    }
}

} // namespace FileSteps
