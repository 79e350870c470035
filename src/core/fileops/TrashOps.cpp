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

DeleteResult deletePermanently(const QStringList &paths) {
    DeleteResult result;
    for (const QString &path : paths) {
        const QString name = Posix::lastComponent(path);
        // Known before the item goes: afterwards its Trash can no longer be told.
        const QString info = Trash::infoFileFor(path);
        struct stat st;
        int e = Posix::lstatError(path, st);
        if (e == 0) e = detail::removeTree(path);
        if (e == 0) {
            ++result.done;
            if (!info.isEmpty()) {
                if (const auto p = Posix::encode(info)) ::unlink(p->constData());
            }
            continue;
        }
        const FileError error = FileError::fromErrno(e);
        if (isPermissionDenied(error)) {
            result.denied << path;
            // clang-format off
            result.errors << LF("„%@“ gehört dem System (nur „root“ hat Rechte). Kestrin darf es nicht löschen; das geht nur mit Administratorrechten.",
                                name);
            // clang-format on
        } else {
            result.errors << explain(error, name);
        }
    }
    return result;
}

} // namespace FileOps
