#include "core/fileops/ConflictQuestion.h"
#include "core/fileops/TreeWalk.h"

#include "core/localisation/Lang.h"
#include "core/localisation/FileFmt.h"
#include "platform/Posix.h"

#include <QDateTime>

namespace FileOps {

QString conflictInfo(const QString &path) {
    struct stat st;
    if (!Posix::lstatPath(path, st)) return QStringLiteral("–");
    QString text = S_ISDIR(st.st_mode) ? L("Ordner") : FileFmt::size(st.st_size);
    const QDateTime modified =
        QDateTime::fromMSecsSinceEpoch(qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000);
    text += QStringLiteral(" · ") + FileFmt::date().string(modified);
    return text;
}

std::optional<QHash<QString, ConflictChoice>> askConflicts(const QStringList &paths, const QString &dest,
                                                           bool move, const Dialogs &dialogs) {
    struct stat destSt;
    const bool destOk = Posix::statPath(dest, destSt);
    QStringList sameFolder, conflicts;
    for (const QString &p : paths) {
        const QString parent = Posix::parentOf(p);
        struct stat parentSt;
        // The same folder by name, or reached through a link: replacing would overwrite the item itself.
        const bool inDest = parent == dest || (destOk && Posix::statPath(parent, parentSt) &&
                                               detail::sameInode(parentSt, destSt));
        if (inDest) {
            if (!move) sameFolder << p;
            continue;
        }
        const QString target = Posix::childPath(dest, Posix::lastComponent(p));
        struct stat st;
        if (target != p && Posix::lstatPath(target, st)) conflicts << p;
    }

    if (!sameFolder.isEmpty()) {
        Alert notice;
        notice.style = Alert::Style::informational;
        notice.message =
            sameFolder.size() == 1
                ? LF("„%@“ liegt schon in diesem Ordner.", Posix::lastComponent(sameFolder.first()))
                : LF("%d Objekte liegen schon in diesem Ordner.", sameFolder.size());
        // clang-format off
        notice.informative = L("Ersetzen ist hier nicht möglich, weil sich die Datei dabei selbst überschreiben würde. Es kann nur eine Kopie mit neuem Namen angelegt werden.");
        // clang-format on
        notice.buttons = {L("Kopie anlegen"), L("Abbrechen")};
        if (dialogs.ask(notice).button != 0) return std::nullopt;
    }

    QHash<QString, ConflictChoice> answers;
    std::optional<ConflictChoice> forAll;
    for (qsizetype i = 0; i < conflicts.size(); ++i) {
        const QString &p = conflicts[i];
        if (forAll) {
            answers.insert(p, *forAll);
            continue;
        }
        const QString name = Posix::lastComponent(p);
        const QString target = Posix::childPath(dest, name);
        Alert question;
        question.style = Alert::Style::warning;
        question.message = LF("„%@“ gibt es im Zielordner schon.", name);
        question.informative = LF("Vorhanden: %@", conflictInfo(target)) + u'\n' +
                               LF("Neu: %@", conflictInfo(p)) + QStringLiteral("\n\n") +
                               L("Beim Ersetzen kommt die vorhandene Datei in den Papierkorb.");
        question.buttons = {L("Beide behalten"), L("Ersetzen"), L("Überspringen"), L("Abbrechen")};
        const bool more = conflicts.size() - i >= 2;
        if (more) question.checkBox = L("Für alle weiteren Konflikte übernehmen");
        const AlertAnswer answer = dialogs.ask(question);
        ConflictChoice choice;
        switch (answer.button) {
        case 0:
            choice = ConflictChoice::keepBoth;
            break;
        case 1:
            choice = ConflictChoice::replace;
            break;
        case 2:
            choice = ConflictChoice::skip;
            break;
        default:
            return std::nullopt;
        }
        answers.insert(p, choice);
        if (more && answer.checked) forAll = choice;
    }
    return answers;
}

} // namespace FileOps
