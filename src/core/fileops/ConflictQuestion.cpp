#include "core/fileops/ConflictQuestion.h"
#include "core/fileops/FileOps.h"
#include "core/filesteps/FileSteps.h"

#include "core/localisation/Lang.h"
#include "core/localisation/FileFmt.h"
#include "platform/Posix.h"

#include <QDateTime>
#include <memory>

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

namespace {

enum class Kind { file, folder, item };

Kind kindOf(const QString &path) {
    struct stat st;
    return Posix::lstatPath(path, st) && S_ISDIR(st.st_mode) ? Kind::folder : Kind::file;
}

// Files, folders, or "items" where both kinds meet.
Kind kindOf(const QStringList &paths) {
    std::optional<Kind> kind;
    for (const QString &p : paths) {
        const Kind k = kindOf(p);
        if (kind && *kind != k) return Kind::item;
        kind = k;
    }
    return kind.value_or(Kind::file);
}

// The conflicts still to be asked, answered one by one; ticking the check box answers the rest alike.
struct ConflictRound : std::enable_shared_from_this<ConflictRound> {
    QStringList conflicts;
    QString dest;
    Dialogs dialogs;
    std::function<void(ConflictAnswers)> done;
    QHash<QString, ConflictChoice> answers;
    qsizetype next = 0;

    void askNext() {
        if (next >= conflicts.size()) {
            done(answers);
            return;
        }
        static const char *const replaceNote[] = {
            K("Beim Ersetzen kommt die vorhandene Datei in den Papierkorb."),
            K("Beim Ersetzen kommt der vorhandene Ordner in den Papierkorb."),
            K("Beim Ersetzen kommt das vorhandene Objekt in den Papierkorb.")};
        const QString &p = conflicts[next];
        const QString name = Posix::lastComponent(p);
        const QString target = Posix::childPath(dest, name);
        Alert question;
        question.style = Alert::Style::warning;
        question.message = LF("„%@“ gibt es im Zielordner schon.", name);
        question.informative = LF("Vorhanden: %@", conflictInfo(target)) + u'\n' +
                               LF("Neu: %@", conflictInfo(p)) + QStringLiteral("\n\n") +
                               L(replaceNote[int(kindOf({target, p}))]);
        question.buttons = {{L("Beide behalten"), AlertRole::keepBoth},
                            {L("Ersetzen"), AlertRole::replace},
                            {L("Überspringen"), AlertRole::skip},
                            {L("Abbrechen"), AlertRole::cancel}};
        const bool more = conflicts.size() - next >= 2;
        if (more) question.checkBox = L("Für alle weiteren Konflikte übernehmen");
        dialogs.ask(question, [self = shared_from_this(), more](const AlertAnswer &answer) {
            self->answered(answer, more);
        });
    }

    void answered(const AlertAnswer &answer, bool more) {
        ConflictChoice choice;
        switch (answer.role) {
        case AlertRole::keepBoth:
            choice = ConflictChoice::keepBoth;
            break;
        case AlertRole::replace:
            choice = ConflictChoice::replace;
            break;
        case AlertRole::skip:
            choice = ConflictChoice::skip;
            break;
        default:
            done(std::nullopt);
            return;
        }
        answers.insert(conflicts[next++], choice);
        if (more && answer.checked)
            for (; next < conflicts.size(); ++next)
                answers.insert(conflicts[next], choice);
        askNext();
    }
};

} // namespace

void askConflicts(const QStringList &paths, const QString &dest, bool move, const Dialogs &dialogs,
                  std::function<void(ConflictAnswers)> done) {
    struct stat destSt;
    const bool destOk = Posix::statPath(dest, destSt);
    QStringList sameFolder, conflicts;
    for (const QString &p : paths) {
        const QString parent = Posix::parentOf(p);
        struct stat parentSt;
        // The same folder by name, or reached through a link: replacing would overwrite the item itself.
        const bool inDest = parent == dest || (destOk && Posix::statPath(parent, parentSt) &&
                                               FileSteps::sameInode(parentSt, destSt));
        if (inDest) {
            if (!move) sameFolder << p;
            continue;
        }
        const QString target = Posix::childPath(dest, Posix::lastComponent(p));
        struct stat st;
        if (target != p && Posix::lstatPath(target, st)) conflicts << p;
    }

    auto round = std::make_shared<ConflictRound>();
    round->conflicts = conflicts;
    round->dest = dest;
    round->dialogs = dialogs;
    round->done = std::move(done);
    if (sameFolder.isEmpty()) {
        round->askNext();
        return;
    }
    Alert notice;
    notice.style = Alert::Style::informational;
    notice.message = FileOps::aboutItems(sameFolder, K("„%@“ liegt schon in diesem Ordner."),
                                         K("%d Objekte liegen schon in diesem Ordner."));
    // clang-format off
    static const char *const selfNote[] = {
        K("Ersetzen ist hier nicht möglich, weil sich die Datei dabei selbst überschreiben würde. Es kann nur eine Kopie mit neuem Namen angelegt werden."),
        K("Ersetzen ist hier nicht möglich, weil sich der Ordner dabei selbst überschreiben würde. Es kann nur eine Kopie mit neuem Namen angelegt werden."),
        K("Ersetzen ist hier nicht möglich, weil sich das Objekt dabei selbst überschreiben würde. Es kann nur eine Kopie mit neuem Namen angelegt werden.")};
    // clang-format on
    notice.informative = L(selfNote[int(kindOf(sameFolder))]);
    notice.buttons = {{L("Kopie anlegen"), AlertRole::confirm}, {L("Abbrechen"), AlertRole::cancel}};
    dialogs.ask(notice, [round](const AlertAnswer &answer) {
        if (answer.role == AlertRole::confirm)
            round->askNext();
        else
            round->done(std::nullopt);
    });
}

} // namespace FileOps
