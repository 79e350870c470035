#include "core/fileops/FileOps.h"
#include "core/fileops/TrashMemory.h"
#include "core/fileops/TreeWalk.h"

#include "core/localisation/Lang.h"
#include "platform/Posix.h"
#include "platform/Trash.h"

#include <cerrno>

#include <unistd.h>

namespace FileOps {

TrashResult trash(const QStringList &paths) {
    TrashResult result;
    QList<QPair<QString, QString>> remembered;
    for (const QString &path : paths) {
        const Trash::Result r = Trash::moveToTrash(path);
        switch (r.status) {
        case Trash::Status::moved:
            ++result.done;
            result.moved << TrashedPair{path, r.inTrash};
            remembered << qMakePair(path, r.inTrash);
            break;
        case Trash::Status::noTrash:
            result.noTrash << path;
            break;
        case Trash::Status::failed:
            result.errors << explain(FileError::fromErrno(r.err), Posix::lastComponent(path));
            break;
        }
    }
    TrashMemory::rememberAll(remembered);
    return result;
}

namespace {

// One item for good, with its .trashinfo when it lay in a Trash. 0 or errno.
int deleteOne(const QByteArray &path) {
    // Known before the item goes: afterwards its Trash can no longer be told.
    const QByteArray info = Trash::infoFileForRaw(path);
    struct stat st;
    if (::lstat(path.constData(), &st) != 0) return errno;
    if (const int e = detail::removeTree(path)) return e;
    if (!info.isEmpty()) ::unlink(info.constData());
    return 0;
}

// clang-format off
constexpr const char *deniedText = K("„%@“ gehört dem System (nur „root“ hat Rechte). Kestrin darf es nicht löschen; das geht nur mit Administratorrechten.");
// clang-format on

// Counts the item and words a failure; true when it was refused for lack of rights.
bool account(int e, const QString &name, qsizetype &done, QStringList &errors) {
    if (e == 0) {
        ++done;
        return false;
    }
    const FileError error = FileError::fromErrno(e);
    if (isPermissionDenied(error)) {
        errors << LF(deniedText, name);
        return true;
    }
    errors << explain(error, name);
    return false;
}

} // namespace

DeleteResult deletePermanently(const QStringList &paths) {
    DeleteResult result;
    for (const QString &path : paths) {
        const auto bytes = Posix::encode(path);
        const int e = bytes && !bytes->isEmpty() ? deleteOne(*bytes) : EILSEQ;
        if (account(e, Posix::lastComponent(path), result.done, result.errors)) result.denied << path;
    }
    return result;
}

RawDeleteResult deleteRawPermanently(const QList<QByteArray> &paths) {
    RawDeleteResult result;
    for (const QByteArray &path : paths) {
        const int e = path.isEmpty() || path.contains('\0') ? EINVAL : deleteOne(path);
        if (account(e, Posix::shown(path.mid(path.lastIndexOf('/') + 1)), result.done, result.errors))
            result.denied << path;
    }
    return result;
}

} // namespace FileOps
