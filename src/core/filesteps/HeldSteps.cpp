#include "core/filesteps/PosixSteps.h"

#include "core/filesteps/HeldFolder.h"
#include "core/filesteps/TrashMemory.h"
#include "core/localisation/Lang.h"
#include "platform/FileCopy.h"
#include "platform/HeldTrash.h"
#include "platform/Posix.h"
#include "platform/Trash.h"

#include <QDir>
#include <QRandomGenerator>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include <dirent.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/statfs.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace FileSteps {

namespace {

// The item `name` in `folder`, never through a link, as a path the system resolves to exactly that item.
class Pinned {
public:
    Pinned(const HeldFolder &folder, const QByteArray &name)
        : fd_(::openat(folder.fd(), name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC)) {
        struct stat st;
        // A link takes no attributes of ours; the magic path would name the link itself.
        if (fd_.get() >= 0 && (::fstat(fd_.get(), &st) != 0 || S_ISLNK(st.st_mode))) fd_.reset();
    }
    bool valid() const { return fd_.get() >= 0; }
    QByteArray path() const { return "/proc/self/fd/" + QByteArray::number(fd_.get()); }

private:
    Fd fd_;
};

} // namespace

namespace {

// The Trash whose files folder `folder` is, held with its info folder; invalid for any other folder.
Trash::Held trashOf(const HeldFolder &folder) {
    const QByteArray &bytes = folder.path().bytes();
    if (!bytes.endsWith("/files") || Trash::infoFileForRaw(bytes + "/-").isEmpty()) return {};
    Trash::Held trash = Trash::Held::openListed(folder.path().text());
    struct stat st;
    if (!trash.valid() || trash.info() < 0 || ::fstat(trash.files(), &st) != 0 || !folder.is(st)) return {};
    return trash;
}

// The folder held at fd (O_PATH) on stable storage; 0 or errno.
int flushHeld(int fd, const QByteArray &path) {
    const int dir = ::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return errno;
    const int e = syncFolder(dir, QString::fromUtf8(path));
    ::close(dir);
    return e;
}

// A record of its own for the entry `to`: `text` written anew, or where the old record is no record we can
// read, a second name of it (a link, or a copy where the drive has none); on stable storage. 0 or errno.
int newRecord(int info, const QByteArray &from, const QByteArray &to, const std::optional<QByteArray> &text) {
    if (!text && ::linkat(info, from.constData(), info, to.constData(), 0) == 0) return 0;
    if (!text && errno == EEXIST) return EEXIST;
    const std::optional<QByteArray> data = text ? text : Trash::readInfoAt(info, from);
    if (!data) return EIO;
    const int fd = ::openat(info, to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return errno;
    int e = Posix::writeAll(fd, data->constData(), data->size());
    if (!e) e = Posix::flushData(fd);
    if (::close(fd) != 0 && !e && errno != EINTR) e = errno;
    if (e) ::unlinkat(info, to.constData(), 0);
    return e;
}

// Where a renamed entry came from stays known under its new name, so that Put Back can say the name it
// had: from our memory of the old entry, else from its old record (a relative Path is below the volume's
// top folder, or $XDG_DATA_HOME for the home trash).
void rememberRenamed(const HeldFolder &files, const QByteArray &from, const QByteArray &to,
                     const std::optional<Trash::InfoText> &record) {
    const auto oldPath = Posix::decode(files.pathOf(from).bytes());
    const auto newPath = Posix::decode(files.pathOf(to).bytes());
    if (!oldPath || !newPath) return;
    std::optional<QString> origin = TrashMemory::origin(*oldPath);
    if (!origin && record) {
        const QString root = Posix::parentOf(Posix::parentOf(*newPath));
        const QString up = Posix::parentOf(root);
        const QString base = Posix::lastComponent(up) == u".Trash" ? Posix::parentOf(up) : up;
        origin = record->path.startsWith(u'/') ? record->path : Posix::childPath(base, record->path);
    }
    // A record leading elsewhere ("..") is Put Back's to refuse, not ours to remember.
    if (!origin || QDir::cleanPath(*origin) != *origin) return;
    TrashMemory::forget(*oldPath);
    TrashMemory::remember(*origin, *newPath);
}

// An entry of a Trash takes a new name, and its record (.trashinfo) goes with it, saying the new name in
// its Path (same folder): Put Back goes where the record says, and so do other programs. The new record is
// on stable storage before the item takes its name, and the old one goes only once that name is: wherever
// a kill comes, the item has its record under its name, and what is left over is a record without an
// item, which emptying the Trash removes.
int renameWithRecord(const Trash::Held &trash, const HeldFolder &files, const QByteArray &from,
                     const QByteArray &to) {
    const int info = trash.info();
    const QByteArray oldRecord = from + ".trashinfo", toRecord = to + ".trashinfo";
    const QByteArray infoPath = files.path().bytes().chopped(5) + "info";
    struct stat record, taken, named;
    if (::fstatat(info, oldRecord.constData(), &record, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(record.st_mode))
        return renameNoReplaceAt(files.fd(), from, files.fd(), to);
    const std::optional<QByteArray> old = Trash::readInfoAt(info, oldRecord);
    const std::optional<QByteArray> text = old ? Trash::withName(*old, to) : std::nullopt;
    // A record under the new name stays, unless no item has that name and it is the very record this
    // rename writes, left by one that was killed before its item moved.
    if (::fstatat(info, toRecord.constData(), &taken, AT_SYMLINK_NOFOLLOW) == 0 &&
        (::fstatat(files.fd(), to.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 ||
         !(text ? Trash::readInfoAt(info, toRecord) == text : sameInode(taken, record)) ||
         ::unlinkat(info, toRecord.constData(), 0) != 0))
        return EEXIST;
    if (const int e = writeErrorForTests()) [[unlikely]]
        return e;
    int e = newRecord(info, oldRecord, toRecord, text);
    if (e) return e;
    if ((e = flushHeld(info, infoPath)) || (e = renameNoReplaceAt(files.fd(), from, files.fd(), to))) {
        ::unlinkat(info, toRecord.constData(), 0);
        return e;
    }
    reached(Step::trashEntryRenamed, files.pathOf(to).bytes());
    if (flushHeld(files.fd(), files.path().bytes()) == 0 && ::unlinkat(info, oldRecord.constData(), 0) == 0)
        flushHeld(info, infoPath);
    rememberRenamed(files, from, to, old ? Trash::parseInfo(*old) : std::nullopt);
    return 0;
}

} // namespace

int renameNoReplace(const HeldFolder &from, const QByteArray &fromName, const HeldFolder &to,
                    const QByteArray &toName) {
    // Within a Trash's files folder, the entry's record goes along: else Put Back would not find it.
    if (from.is(to.identity()))
        if (const Trash::Held trash = trashOf(from); trash.valid())
            return renameWithRecord(trash, from, fromName, toName);
    return renameNoReplaceAt(from.fd(), fromName, to.fd(), toName);
}

QString pinnedPath(const HeldFolder &folder) {
    return QStringLiteral("/proc/self/fd/") + QString::number(folder.fd());
}

std::optional<bool> findsUnder(int dirFd, const struct stat &item, const QString &name, const QString &other,
                               const QStringList &listed) {
    const std::optional<QByteArray> bytes = Posix::encode(other);
    struct stat found;
    if (!bytes || ::fstatat(dirFd, bytes->constData(), &found, AT_SYMLINK_NOFOLLOW) != 0)
        return bytes && errno == ENOENT ? std::optional(false) : std::nullopt;
    if (listed.contains(other)) return false;
    // A FUSE driver numbers each name of an item apart: there the names' folded forms tell.
    const auto folded = [](const QString &n) {
        return n.normalized(QString::NormalizationForm_C).toCaseFolded();
    };
    return sameInode(found, item) || folded(name) == folded(other);
}

void setPartMark(const HeldFolder &folder, const QByteArray &name, const QByteArray &mark) {
    if (const Pinned item(folder, name); item.valid() && !mark.isEmpty())
        ::setxattr(item.path().constData(), FileCopy::partMark, mark.constData(), size_t(mark.size()), 0);
}

void dropPartMark(const HeldFolder &folder, const QByteArray &name) {
    if (const Pinned item(folder, name); item.valid())
        ::removexattr(item.path().constData(), FileCopy::partMark);
}

Trashed trashItem(const HeldFolder &folder, const QByteArray &name, const QString &path) {
    return trashItem(folder.fd(), name, path);
}

namespace {

void openUpAt(int dirFd, const QByteArray &name, int depth);

// Whether the file system keeps owners and modes of each item.
bool keepsOwners(__fsword_t type) {
    switch (type) {
    case 0x4d44:     // FAT
    case 0x2011BAB0: // exFAT
    case 0x5346544e: // NTFS
    case 0x65735546: // FUSE
    case 0xFF534D42: // CIFS
    case 0xFE534D42: // SMB2
    case 0x517B:     // SMB
        return false;
    default:
        return true;
    }
}

} // namespace

bool keepsModes(const HeldFolder &folder) {
    struct statfs fs {};
    return ::fstatfs(folder.fd(), &fs) == 0 && keepsOwners(fs.f_type);
}

HeldFolder makePrivateFolder(const HeldFolder &in, const QByteArray &name) {
    if (::mkdirat(in.fd(), name.constData(), 0700) != 0) throw FileError::fromErrno(errno);
    reached(Step::privateFolderMade, in.pathOf(name).bytes());
    // In a folder others may write to, the name may lead elsewhere by now: only our own new folder will do.
    // Volumes without owners and modes of their own (FAT, exFAT, NTFS, SMB, most FUSE) show every folder
    // alike, and hold no links another account could plant. In a group folder (setgid) the new folder
    // inherits that bit: nobody else can set a bit on our folder, so it is no sign of a swap.
    const int fd = ::openat(in.fd(), name.constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    struct statfs fs {};
    const bool seen = fd >= 0 && ::fstat(fd, &st) == 0 && ::fstatfs(fd, &fs) == 0;
    const bool ours =
        seen && (keepsOwners(fs.f_type) ? st.st_uid == ::geteuid() && (st.st_mode & 07777 & ~S_ISGID) == 0700
                                        : st.st_uid == in.identity().st_uid);
    if (fd >= 0) ::close(fd);
    // clang-format off
    const FileError replaced{ESTALE, LF("Der Arbeitsordner in „%@“ wurde gleich nach dem Anlegen ersetzt. Kestrin hat darin nichts gelesen oder geändert.", in.path().text()), false};
    // clang-format on
    if (!ours) throw replaced;
    HeldFolder held = in.beneath(name);
    if (!held.is(st)) throw replaced;
    const int list = held.openReadable();
    bool empty = false;
    if (list >= 0) {
        try {
            empty = listNames(list).empty();
        } catch (const FileError &) {
        }
        ::close(list);
    }
    if (!empty) throw replaced;
    reached(Step::privateFolderHeld, held.path().bytes());
    return held;
}

int removeMade(const HeldFolder &folder, const QByteArray &name, const struct stat &made) {
    struct stat st;
    if (::fstatat(folder.fd(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) return errno;
    if (!sameInode(st, made)) return ESTALE;
    const int dir = folder.openReadable();
    if (dir < 0) return errno;
    int e = removeTreeAt(dir, name);
    if (e == EACCES && S_ISDIR(st.st_mode)) { // a folder of ours closed to us, as an archive may ask
        openUpAt(dir, name, 0);
        e = removeTreeAt(dir, name);
    }
    ::close(dir);
    return e;
}

int unlinkSeen(int dirFd, const QByteArray &name, const struct stat &seen) {
    struct stat st;
    if (::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) return errno;
    if (!sameInode(st, seen) || S_ISDIR(st.st_mode)) return ESTALE;
    return ::unlinkat(dirFd, name.constData(), 0) == 0 ? 0 : errno;
}

namespace {

// A writer's part beside `name`: "." name "." pid "-" token ".part", locked by its writer while it lives.
QByteArray partHead(const QByteArray &name) {
    return '.' + name.left(100) + '.';
}

bool isPartOf(const QByteArray &entry, const QByteArray &name) {
    const QByteArray head = partHead(name);
    if (!entry.startsWith(head) || !entry.endsWith(".part")) return false;
    const QByteArray middle = entry.mid(head.size(), entry.size() - head.size() - 5);
    const qsizetype dash = middle.indexOf('-');
    bool pid = false, token = false;
    middle.left(dash).toUInt(&pid);
    middle.mid(dash + 1).toULongLong(&token, 16);
    return dash > 0 && pid && token;
}

// Parts of `name` that a killed writer left: a regular file of this account under the part name, one
// link, that nobody holds locked (its writer does until it is done; a kill lets go).
void removeStaleParts(const HeldFolder &folder, const QByteArray &name) {
    const int list = folder.openReadable();
    if (list < 0) return;
    DIR *d = ::fdopendir(list);
    if (!d) {
        ::close(list);
        return;
    }
    int looked = 0;
    while (const dirent *e = ::readdir(d)) {
        if (++looked > 100000) break;
        struct stat st {
        }, now{};
        if (!isPartOf(e->d_name, name) || ::fstatat(folder.fd(), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || st.st_nlink != 1)
            continue;
        Fd fd(::openat(folder.fd(), e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (fd.get() < 0 || ::fstat(fd.get(), &now) != 0 || !sameInode(now, st) ||
            ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        removeMade(folder, e->d_name, st);
    }
    ::closedir(d);
}

} // namespace

int writeFileAt(const HeldFolder &folder, const QByteArray &name, QByteArrayView data) {
    removeStaleParts(folder, name);
    struct stat old {};
    const bool had = ::fstatat(folder.fd(), name.constData(), &old, AT_SYMLINK_NOFOLLOW) == 0;
    const QByteArray temp = partHead(name) + QByteArray::number(::getpid()) + '-' +
                            QByteArray::number(QRandomGenerator::global()->generate64() | 1, 16) + ".part";
    Fd fd(folder.openBeneath(temp, O_WRONLY | O_CREAT | O_EXCL, 0666));
    if (fd.get() < 0) return errno;
    // Held while it is written: a later writer takes it for a killed one's only once the lock is free.
    ::flock(fd.get(), LOCK_EX | LOCK_NB);
    struct stat made {};
    int e = ::fstat(fd.get(), &made) == 0 ? 0 : errno;
    if (!e && had && S_ISREG(old.st_mode) && ::fchmod(fd.get(), old.st_mode & 0777) != 0) e = errno;
    if (!e) e = Posix::writeAll(fd.get(), data.data(), data.size());
    if (!e) e = Posix::flushFile(fd.get());
    if (!e && ::renameat(folder.fd(), temp.constData(), folder.fd(), name.constData()) != 0) e = errno;
    if (e) {
        removeMade(folder, temp, made);
        return e;
    }
    // The rename is on the disk only once the folder is.
    const int dir = folder.openReadable();
    if (dir < 0) return 0; // a folder this account may write but not read: flushed as far as it can be
    e = Posix::flushFile(dir);
    ::close(dir);
    return e;
}

namespace {

struct WalkState {
    const std::function<int(const Walked &)> &visit;
    QByteArray *failed;
};

int walkItem(const WalkState &w, const HeldFolder &top, int dirFd, const QByteArray &name,
             const QByteArray &relative, int depth);

int walkOne(const WalkState &w, const HeldFolder &top, int dirFd, const QByteArray &name,
            const QByteArray &relative, int depth) {
    if (depth > maxDepth) return ELOOP;
    Walked item;
    item.relative = relative;
    if (::fstatat(dirFd, name.constData(), &item.st, AT_SYMLINK_NOFOLLOW) != 0) return errno;
    const bool folder = S_ISDIR(item.st.st_mode), file = S_ISREG(item.st.st_mode);
    if (S_ISLNK(item.st.st_mode)) {
        char target[PATH_MAX];
        const ssize_t n = ::readlinkat(dirFd, name.constData(), target, sizeof target);
        if (n < 0) return errno;
        if (size_t(n) >= sizeof target) return ENAMETOOLONG;
        item.linkTarget = QByteArray(target, n);
    }
    if (!folder && !file) return w.visit(item);
    if (folder) reached(Step::walkEntering, top.pathOf(relative).bytes());
    const int flags = folder ? O_RDONLY | O_DIRECTORY : O_RDONLY | O_NONBLOCK | O_NOCTTY;
    Fd fd(::openat(dirFd, name.constData(), flags | O_NOFOLLOW | O_CLOEXEC));
    struct stat now;
    if (fd.get() < 0 || ::fstat(fd.get(), &now) != 0 || !sameInode(now, item.st)) {
        if (folder) throw FileError{ESTALE, HeldFolder::refusalText(top.pathOf(relative).text()), false};
        return fd.get() < 0 ? errno : ESTALE;
    }
    item.fd = fd.get();
    if (const int e = w.visit(item)) return e;
    if (!folder) return 0;
    std::vector<QByteArray> names;
    try {
        names = listNames(fd.get());
    } catch (const FileError &error) {
        return error.code ? error.code : EIO;
    }
    std::sort(names.begin(), names.end());
    for (const QByteArray &child : names)
        if (const int e = walkItem(w, top, fd.get(), child, relative + '/' + child, depth + 1)) return e;
    return 0;
}

// The same, noting where the walk failed.
int walkItem(const WalkState &w, const HeldFolder &top, int dirFd, const QByteArray &name,
             const QByteArray &relative, int depth) {
    const int e = walkOne(w, top, dirFd, name, relative, depth);
    if (e && w.failed && w.failed->isEmpty()) *w.failed = relative;
    return e;
}

// The name of an entry a zip tool made of a name without the UTF-8 flag: the zip format says CP437 (DOS,
// Windows), but many tools write UTF-8 there all the same, so only a name that is no UTF-8 is read as
// CP437. The tool's name stays where the readable one is taken or too long.
QByteArray zipName(int dirFd, const QByteArray &name) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    (void)QString(utf8(name)); // decoded only to learn whether it is UTF-8
    if (!utf8.hasError()) return name;
    QStringDecoder dos("IBM437", QStringDecoder::Flag::Stateless);
    if (!dos.isValid()) return name;
    const QByteArray readable = QString(dos(name)).toUtf8();
    return renameNoReplaceAt(dirFd, name, dirFd, readable) == 0 ? readable : name;
}

// The entries of the folder open at dirFd (`relative` below the unpacked one), tamed, and below them.
// `modes`: the volume keeps modes, which are then taken down to what the umask `mask` allows; elsewhere only
// set-id and sticky bits the volume shows go.
int tameAt(int dirFd, int depth, const QByteArray &relative, LeftOut &left, bool zipNames, bool modes,
           mode_t mask) {
    if (depth > 256) return ELOOP;
    const int fd = ::dup(dirFd);
    DIR *dir = fd < 0 ? nullptr : ::fdopendir(fd);
    if (!dir) {
        if (fd >= 0) ::close(fd);
        return errno ? errno : EIO;
    }
    std::vector<QByteArray> names;
    while (const dirent *e = ::readdir(dir))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.emplace_back(e->d_name);
    ::closedir(dir);
    std::sort(names.begin(), names.end()); // what is left out is told in a fixed order
    // In a group folder (setgid) whatever anyone makes takes its group, and a folder its bit: so it stays.
    struct stat here;
    if (::fstat(dirFd, &here) != 0) return errno;
    const bool group = here.st_mode & S_ISGID;
    const uid_t uid = ::geteuid();
    const gid_t gid = group ? here.st_gid : ::getegid();
    for (QByteArray name : names) {
        if (zipNames) name = zipName(dirFd, name);
        struct stat st;
        if (::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) return errno;
        if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode) && !S_ISLNK(st.st_mode)) {
            if (const int e = unlinkSeen(dirFd, name, st)) return e;
            if (left.count++ < LeftOut::named) left.names << Posix::shown(relative + name);
            continue;
        }
        // A volume that keeps no owners shows every item as the mount's, and refuses to change that.
        if (modes && (st.st_uid != uid || st.st_gid != gid) &&
            ::fchownat(dirFd, name.constData(), uid, gid, AT_SYMLINK_NOFOLLOW) != 0)
            return errno;
        if (S_ISLNK(st.st_mode)) continue;
        const mode_t kept = group && S_ISDIR(st.st_mode) ? S_ISGID : 0;
        // Whatever the archive asked, the user can open and read what was unpacked for them.
        const mode_t ownerMay = S_IRUSR | (S_ISDIR(st.st_mode) ? S_IXUSR : 0);
        const mode_t final =
            modes ? (st.st_mode & 0777 & ~mask) | kept | ownerMay : st.st_mode & (0777 | kept);
        if (S_ISDIR(st.st_mode)) {
            // Open to us while its contents are tamed, whatever the archive asked; its own mode comes last.
            const mode_t open = modes ? (st.st_mode & 0777) | kept | S_IRWXU : final;
            if ((st.st_mode & 07777) != open && ::fchmodat(dirFd, name.constData(), open, 0) != 0)
                return errno;
            const int sub =
                ::openat(dirFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub < 0) return errno;
            const int e = tameAt(sub, depth + 1, relative + name + '/', left, zipNames, modes, mask);
            ::close(sub);
            if (e) return e;
            st.st_mode = (st.st_mode & ~07777) | open;
        }
        if ((st.st_mode & 07777) != final && ::fchmodat(dirFd, name.constData(), final, 0) != 0) return errno;
    }
    return 0;
}

// Gives u+rwx to the folders of this account at and below `name` in the folder open at dirFd, never
// through a link, so that what an archive's odd modes closed can be removed.
void openUpAt(int dirFd, const QByteArray &name, int depth) {
    struct stat st;
    if (depth > maxDepth || ::fstatat(dirFd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return;
    if ((st.st_mode & S_IRWXU) != S_IRWXU &&
        ::fchmodat(dirFd, name.constData(), (st.st_mode & 07777) | S_IRWXU, 0) != 0)
        return;
    const int fd = ::openat(dirFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat now;
    if (fd < 0) return;
    if (::fstat(fd, &now) == 0 && sameInode(now, st)) try {
            for (const QByteArray &child : listNames(fd))
                openUpAt(fd, child, depth + 1);
        } catch (const FileError &) {
        }
    ::close(fd);
}

} // namespace

int tameUnpacked(const HeldFolder &folder, LeftOut &left, bool zipNames, mode_t *topMode) {
    reached(Step::unpacked, folder.path().bytes());
    const int fd = folder.openReadable();
    if (fd < 0) return errno;
    struct stat st {
    }, above{};
    int e = ::fstat(fd, &st) == 0 && ::fstatat(fd, "..", &above, 0) == 0 ? 0 : errno;
    const mode_t kept = above.st_mode & S_ISGID;
    const mode_t mask = currentUmask().value_or(022);
    const bool modes = keepsModes(folder);
    // The top stays open to us until it is in place (a folder without write access can't move).
    const mode_t open = modes ? (st.st_mode & 0777) | kept | S_IRWXU : st.st_mode & (0777 | kept);
    if (!e && (st.st_mode & 07777) != open && ::fchmod(fd, open) != 0) e = errno;
    if (!e) e = tameAt(fd, 0, {}, left, zipNames, modes, mask);
    if (!e && topMode) *topMode = modes ? (st.st_mode & 0777 & ~mask) | kept | S_IRUSR | S_IXUSR : open;
    ::close(fd);
    return e;
}

int walkBeneath(const HeldFolder &folder, const QList<QByteArray> &names,
                const std::function<int(const Walked &)> &visit, QByteArray *failed) {
    const WalkState w{visit, failed};
    for (const QByteArray &name : names) {
        if (name.isEmpty() || name.contains('/') || name == "." || name == "..") return EINVAL;
        if (const int e = walkItem(w, folder, folder.fd(), name, name, 0)) return e;
    }
    return 0;
}

} // namespace FileSteps
