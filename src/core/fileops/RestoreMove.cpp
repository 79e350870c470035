#include "core/fileops/RestoreMove.h"

#include "core/fileops/FileOps.h"
#include "core/filesteps/TransferProgress.h"
#include "core/filesteps/TrashMemory.h"
#include "core/filesteps/MoveFinish.h"
#include "platform/HeldTrash.h"
#include "platform/Posix.h"
#include "platform/Trash.h"
#include "platform/TrashRoots.h"

#include <QDir>

#include <algorithm>
#include <climits>
#include <utility>

#include <cerrno>

#include <fcntl.h>

#include <sys/stat.h>
#include <unistd.h>

namespace Restore {

QStringList normalized(const QStringList &paths) {
    QStringList out;
    out.reserve(paths.size());
    for (const QString &p : paths)
        out << QDir::cleanPath(p);
    return out;
}

bool exists(const QString &path) {
    struct stat st;
    return Posix::lstatPath(path, st);
}

bool isFolder(const QString &path) {
    struct stat st;
    return Posix::statPath(path, st) && S_ISDIR(st.st_mode);
}

QString name(const QString &path) {
    return Posix::lastComponent(path);
}

QString folder(const QString &path) {
    return Posix::parentOf(path);
}

std::optional<FileError> moveItem(const QString &from, const QString &to, TransferProgress &progress) {
    try {
        const int e = FileSteps::renameNoReplace(from, to);
        if (e == 0) return std::nullopt;
        if (e != EXDEV) return FileError::fromErrno(e);
        FileSteps::moveAcross(from, to, progress);
    } catch (const FileError &error) {
        return error;
    } catch (const CopyFailure &failure) {
        return failure.underlying;
    }
    return std::nullopt;
}

namespace {

// Name by name from the top, following only links owned by the user or the system. 0 and the folder's
// stat, or the errno (ELOOP for another's link or too many links).
int ownWay(const QByteArray &path, struct stat &st) {
    const int fd = Posix::openOwnWay(path);
    if (fd < 0) return errno;
    const int e = ::fstat(fd, &st) == 0 ? 0 : errno;
    ::close(fd);
    return e;
}

} // namespace

FileSteps::HeldFolder holdOrigin(const FileSteps::PathBytes &path) {
    struct stat st;
    if (const int e = ownWay(path.bytes(), st)) {
        if (e == ELOOP) throw FileError{ESTALE, FileSteps::HeldFolder::refusalText(path.text()), false};
        throw FileError::fromErrno(e);
    }
    // Held by its path, and only if that still leads where the own way led.
    return FileSteps::HeldFolder(path, st);
}

Placed moveToFreeName(const QString &from, const QString &folder, const QString &wanted,
                      TransferProgress &progress) {
    // A name taken between the look and the move is tried again with the next free one.
    for (int attempt = 0;; ++attempt) {
        const QString target = FileOps::uniqueURL(wanted, folder);
        auto error = moveItem(from, target, progress);
        if (!error) return {target, std::nullopt};
        if (error->code != EEXIST || attempt >= 20) return {QString(), error};
    }
}

QString message(const FileError &error, const QString &name) {
    // Our own sentences (a copy that differs, an original that stayed) are shown as they are.
    if (!error.description.isEmpty() && error.description != FileError::fromErrno(error.code).description)
        return error.description;
    return FileOps::explain(error, name);
}

namespace {

// The whole .trashinfo, read without following a link or waiting on a pipe; nothing when it is not a
// small regular file.
std::optional<QByteArray> readInfoFile(const QString &infoPath) {
    const auto bytes = Posix::encode(infoPath);
    if (!bytes) return std::nullopt;
    const qsizetype slash = bytes->lastIndexOf('/');
    const int folder =
        ::open(slash <= 0 ? "/" : bytes->left(slash).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return std::nullopt;
    std::optional<QByteArray> out = Trash::readInfoAt(folder, bytes->mid(slash + 1));
    ::close(folder);
    return out;
}

// "..", "." and empty components: none of them is in a description any program writes, and "." alone
// would name the volume's own top folder.
bool hasOddComponent(const QString &path) {
    const QStringList parts = (path.startsWith(u'/') ? path.mid(1) : path).split(u'/');
    return std::any_of(parts.cbegin(), parts.cend(),
                       [](const QString &p) { return p.isEmpty() || p == u"." || p == u".."; });
}

// The folder relative Path= values are relative to: $XDG_DATA_HOME for the home trash, the volume's top
// folder for <top>/.Trash-<uid> and <top>/.Trash/<uid>.
QString baseOf(const QString &root, bool home) {
    const QString base =
        !home && root.section(u'/', -2, -2) == u".Trash" ? folder(folder(root)) : folder(root);
    return base.isEmpty() ? QStringLiteral("/") : base;
}

} // namespace

std::optional<TrashInfo> readTrashInfo(const QString &inTrash) {
    const QString infoPath = Trash::infoFileFor(inTrash);
    if (infoPath.isEmpty()) return std::nullopt;
    const std::optional<QByteArray> data = readInfoFile(infoPath);
    if (!data) return std::nullopt;
    const std::optional<Trash::InfoText> text = Trash::parseInfo(*data);
    if (!text) return std::nullopt;
    // ".." could lead anywhere, "." could name the volume itself; freedesktop descriptions hold neither.
    if (hasOddComponent(text->path)) return TrashInfo{QString(), text->deleted};

    const QString root = TrashRoots::containing(inTrash);
    const bool home = root == TrashRoots::homeTrash();
    const QString top = baseOf(root, home);
    QString original = text->path;
    if (!original.startsWith(u'/')) original = Posix::childPath(top, original);
    // A volume's Trash holds only what lay on that volume, below its top folder.
    const bool acceptable = original != u"/" && (home || (isBelow(original, top) && original != top));
    return TrashInfo{acceptable ? original : QString(), text->deleted};
}

bool isBelow(const QString &path, const QString &top) {
    return top == u"/" ? path.startsWith(u'/') : Posix::isAtOrBelow(path, top);
}

QString volumeTopOf(const QString &inTrash) {
    const QString root = TrashRoots::containing(inTrash);
    if (root.isEmpty() || root == TrashRoots::homeTrash()) return {};
    return baseOf(root, false);
}

void forgetTrashed(const QString &inTrash) {
    TrashMemory::forget(inTrash);
    if (Trash::infoFileFor(inTrash).isEmpty()) return;
    const auto bytes = Posix::encode(inTrash);
    if (!bytes) return;
    // In the Trash's info folder as it is held, never through a link put in its place.
    const Trash::Held trash = Trash::Held::openListed(Posix::parentOf(inTrash));
    if (trash.valid()) trash.dropInfoOfGone(bytes->mid(bytes->lastIndexOf('/') + 1));
}

} // namespace Restore
