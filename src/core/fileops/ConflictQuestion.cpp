#include "core/fileops/ConflictQuestion.h"
#include "core/fileops/FileOps.h"
#include "core/filesteps/FileSteps.h"
#include "core/filesteps/HeldFolder.h"

#include "core/localisation/Lang.h"
#include "core/localisation/FileFmt.h"
#include "platform/Posix.h"

#include <QDateTime>
#include <initializer_list>
#include <map>
#include <optional>
#include <memory>

#include <fcntl.h>

namespace FileOps {

namespace {

QString infoOf(const struct stat &st) {
    QString text = S_ISDIR(st.st_mode) ? L("Ordner") : FileFmt::size(st.st_size);
    const QDateTime modified =
        QDateTime::fromMSecsSinceEpoch(qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000);
    text += QStringLiteral(" · ") + FileFmt::date().string(modified);
    return text;
}

using Held = std::shared_ptr<const FileSteps::HeldFolder>;

// The item `name` in a held folder, never through a link put in its place.
QString infoAt(const Held &folder, const QByteArray &name) {
    struct stat st;
    if (!folder || ::fstatat(folder->fd(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return QStringLiteral("–");
    return infoOf(st);
}

// The folder at `path`, held from this first look on; the one a pane showed or the first look held. Null
// where it cannot be held: the transfer then says why.
Held hold(const QString &path, const Shown &shown) {
    const auto bytes = FileSteps::PathBytes::of(path);
    if (!bytes) return nullptr;
    try {
        return std::make_shared<const FileSteps::HeldFolder>(holdChosen(*bytes, shown));
    } catch (const FileError &) {
        return nullptr;
    }
}

enum class Kind { file, folder, item };

Kind kindOf(const QString &path) {
    struct stat st;
    return Posix::lstatPath(path, st) && S_ISDIR(st.st_mode) ? Kind::folder : Kind::file;
}

// The kind of `name` in a held folder, never through a link put in its place.
Kind kindAt(const Held &folder, const QByteArray &name) {
    struct stat st;
    return folder && ::fstatat(folder->fd(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                   S_ISDIR(st.st_mode)
               ? Kind::folder
               : Kind::file;
}

// Folders, or "items" where a folder and a file meet.
Kind kindAt(std::initializer_list<std::pair<Held, QByteArray>> items) {
    std::optional<Kind> kind;
    for (const auto &[folder, name] : items) {
        const Kind k = kindAt(folder, name);
        if (kind && *kind != k) return Kind::item;
        kind = k;
    }
    return kind.value_or(Kind::file);
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
    Held destHeld;
    std::map<QString, Held> sources; // by the item's path
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
        const QByteArray bytes = FileSteps::PathBytes::of(p)->name();
        Alert question;
        question.style = Alert::Style::warning;
        question.message = LF("„%@“ gibt es im Zielordner schon.", name);
        question.informative = LF("Vorhanden: %@", infoAt(destHeld, bytes)) + u'\n' +
                               LF("Neu: %@", infoAt(sources[p], bytes)) + QStringLiteral("\n\n") +
                               L(replaceNote[int(kindAt({{destHeld, bytes}, {sources[p], bytes}}))]);
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

QString conflictInfo(const QString &path) {
    struct stat st;
    return Posix::lstatPath(path, st) ? infoOf(st) : QStringLiteral("–");
}

void askConflicts(const QStringList &paths, const QString &dest, bool move, const Dialogs &dialogs,
                  std::function<void(ConflictAnswers)> done, const Shown &shown) {
    auto round = std::make_shared<ConflictRound>();
    round->destHeld = hold(dest, shown);
    std::map<QString, Held> folders;
    QStringList sameFolder, conflicts;
    for (const QString &p : paths) {
        const auto bytes = FileSteps::PathBytes::of(p);
        if (!bytes) continue;
        const QString parent = bytes->parent().text();
        Held &from = folders[parent];
        if (!from) from = hold(parent, shown);
        round->sources[p] = from;
        // The same folder by name, or reached through a link: replacing would overwrite the item itself.
        const bool inDest =
            parent == dest || (round->destHeld && from && from->is(round->destHeld->identity()));
        // Another item in the place of one listed is not asked about; the transfer refuses it.
        struct stat st;
        const ItemId listed = shown.items.value(p);
        if (listed.known() && from &&
            (::fstatat(from->fd(), bytes->name().constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
             ItemId{quint64(st.st_dev), quint64(st.st_ino)} != listed))
            continue;
        if (inDest) {
            if (!move) sameFolder << p;
            continue;
        }
        if (round->destHeld &&
            ::fstatat(round->destHeld->fd(), bytes->name().constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
            conflicts << p;
    }

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
