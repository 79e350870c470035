#include "core/fileops/FileOps.h"
#include "core/fileops/TreeWalk.h"

#include "core/localisation/Lang.h"
#include "platform/Posix.h"

#include <cerrno>

FileError FileError::fromErrno(int code) {
    return FileError{code, Posix::errorText(code), false};
}

namespace FileOps {

bool isPermissionDenied(const FileError &error) {
    return error.code == EPERM || error.code == EACCES;
}

QString explain(const FileError &error, const QString &name) {
    switch (error.code) {
    case EPERM:
    case EACCES:
        // clang-format off
        return LF("„%@“: Keine Berechtigung. Prüfe die Zugriffsrechte. Geschützte Orte kann nur ein Administrator ändern.",
                  name);
        // clang-format on
    case ENOSPC:
    case EDQUOT:
        return LF("„%@“: Nicht genug freier Speicherplatz auf dem Ziel.", name);
    case EROFS:
        return LF("„%@“: Das Ziel ist schreibgeschützt.", name);
    case ENOENT:
        return LF("„%@“: Die Datei gibt es nicht mehr oder sie wurde verschoben.", name);
    case ENAMETOOLONG:
        return LF("„%@“: Der Name ist zu lang für dieses Laufwerk.", name);
    case EBUSY:
        return LF("„%@“: Die Datei wird gerade von einem Programm benutzt.", name);
    default:
        return LF("„%@“: %@", name, error.description);
    }
}

QString describe(const FileError &error, const QString &name) {
    return explain(error, name);
}

QString describe(const CopyFailure &error, const QString &name) {
    const QString inner = Posix::lastComponent(error.path);
    const QString sentence = explain(error.underlying, inner);
    if (inner == name) return sentence;
    return sentence + u' ' + LF("(in „%@“)", name);
}

} // namespace FileOps
