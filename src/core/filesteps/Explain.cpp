#include "core/filesteps/StepTypes.h"

#include "core/localisation/Lang.h"
#include "platform/Posix.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <sys/statvfs.h>

FileError FileError::fromErrno(int code) {
    return FileError{code, Posix::errorText(code), false};
}

namespace {

// Sentences for the further errors copying, moving, deleting and renaming can meet.
const char *sentenceFor(int code) {
    switch (code) {
    case EEXIST:
    case ENOTEMPTY:
        return K("„%@“: Am Ziel gibt es schon ein Objekt mit diesem Namen.");
    case EISDIR:
        return K("„%@“: Hier wird eine Datei erwartet, aber es ist ein Ordner.");
    case ENOTDIR:
        return K("„%@“: Ein Teil des Pfads ist kein Ordner.");
    case EXDEV:
        return K("„%@“: Quelle und Ziel liegen auf verschiedenen Laufwerken.");
    case EIO:
        return K("„%@“: Lese- oder Schreibfehler des Laufwerks. Das Laufwerk ist vielleicht beschädigt oder "
                 "wurde getrennt.");
    case ELOOP:
        return K("„%@“: Zu viele verkettete symbolische Links.");
    case EMLINK:
        return K("„%@“: Das Ziel nimmt keine weiteren Einträge oder Links auf.");
    case EFBIG:
        return K("„%@“: Die Datei ist zu groß für das Dateisystem des Ziels.");
    case EINVAL:
    case EILSEQ:
        return K("„%@“: Der Name oder der Vorgang ist auf diesem Laufwerk nicht möglich.");
    case ETXTBSY:
        return K("„%@“: Das Programm läuft gerade und kann nicht geändert werden.");
    case ENOTSUP:
        return K("„%@“: Das Dateisystem unterstützt diesen Vorgang nicht.");
    case ENOMEM:
    case EMFILE:
    case ENFILE:
        return K(
            "„%@“: Dem System fehlen gerade Mittel dafür. Schließe andere Programme und versuche es noch "
            "einmal.");
    case ENODATA:
    case E2BIG:
    case ERANGE:
        return K("„%@“: Die Zusatzinformationen der Datei ließen sich nicht übernehmen.");
    case ESTALE:
    case ENOTCONN:
    case ENXIO:
    case ENODEV:
    case ETIMEDOUT:
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ENETDOWN:
    case ENETUNREACH:
    case ECONNABORTED:
    case ECONNRESET:
    case ECONNREFUSED:
        return K("„%@“: Das Laufwerk ist nicht mehr erreichbar.");
    case EAGAIN:
    case EINTR:
        return K("„%@“: Der Vorgang wurde unterbrochen. Versuche es noch einmal.");
    case ECANCELED:
        return K("„%@“: Der Vorgang wurde abgebrochen.");
    case EBADF:
    case EFAULT:
        return K("„%@“: Die Datei ließ sich nicht öffnen.");
    default:
        return nullptr;
    }
}

} // namespace

namespace FileSteps {

FileError nameRefused(const QByteArray &name) {
    // FAT and exFAT refuse these, besides control characters.
    const bool fatRefuses =
        std::any_of(name.cbegin(), name.cend(), [](char c) { return c && std::strchr(":?*\"<>|\\", c); });
    if (fatRefuses)
        return FileError{
            EINVAL, L("Dieses Laufwerk kann keine Namen mit Zeichen wie : ? * \" < > aufnehmen."), false};
    return FileError{EINVAL, L("Dieser Name ist auf diesem Laufwerk nicht möglich."), false};
}

bool isPermissionDenied(const FileError &error) {
    return error.code == EPERM || error.code == EACCES;
}

QString fullText(int code, int fd) {
    if (code == EDQUOT) return L("Das Kontingent (Quota) auf diesem Laufwerk ist aufgebraucht.");
    // Bytes left but no entry for another item: a volume made for few, large files.
    struct statvfs vfs {};
    if (fd >= 0 && ::fstatvfs(fd, &vfs) == 0 && vfs.f_files > 0 && vfs.f_favail == 0 && vfs.f_bavail > 0)
        return L("Das Laufwerk kann keine weiteren Objekte aufnehmen: Alle Einträge seines Dateisystems sind "
                 "belegt, obwohl noch Speicherplatz frei ist.");
    return L("Nicht genug freier Speicherplatz auf dem Ziel.");
}

FileError withFullText(const FileError &error, int fd) {
    if (error.code != ENOSPC && error.code != EDQUOT) return error;
    return FileError{error.code, fullText(error.code, fd), error.renameNotApplied};
}

QString explain(const FileError &error, const QString &name) {
    // A text of our own (a refusal, a full volume told apart) says more than any sentence for its number.
    const bool own = !error.description.isEmpty() && error.description != Posix::errorText(error.code);
    switch (error.code) {
    case EPERM:
    case EACCES:
        if (own) return LF("„%@“: %@", name, error.description);
        // clang-format off
        return LF("„%@“: Keine Berechtigung. Prüfe die Zugriffsrechte. Geschützte Orte kann nur ein Administrator ändern.",
                  name);
        // clang-format on
    case ENOSPC:
    case EDQUOT:
        if (own) return LF("„%@“: %@", name, error.description);
        if (error.code == EDQUOT) return LF("„%@“: %@", name, fullText(EDQUOT));
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
        break;
    }
    // A text of our own (a description the engine wrote) says more than any sentence for its number.
    const QString system = Posix::errorText(error.code);
    if (!error.description.isEmpty() && (error.code == 0 || error.description != system))
        return LF("„%@“: %@", name, error.description);
    if (const char *sentence = sentenceFor(error.code)) return LF(sentence, name);
    // Unforeseen: our sentence, the system's words only as a detail after it.
    return LF("„%@“: Der Vorgang ist fehlgeschlagen (Fehler %@: %@).", name, QString::number(error.code),
              system);
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

} // namespace FileSteps
