// Moving to the Trash, deleting from it, emptying it, and the Trash diagnosis.
#include "core/app/TrashCommands.h"

#include "core/app/ItemCommands.h"
#include "core/app/JobRunner.h"
#include "core/app/Services.h"
#include "core/app/Sides.h"
#include "core/app/Toasts.h"
#include "core/fileops/UndoJournal.h"

#include "core/fileops/FileOps.h"
#include "core/localisation/Lang.h"
#include "core/localisation/FileFmt.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneModel.h"
#include "core/model/TabGroup.h"
#include "platform/Posix.h"
#include "platform/Sounds.h"
#include "platform/Trash.h"
#include "platform/TrashRoots.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QtConcurrent>

#include <unistd.h>

namespace {

// clang-format off
constexpr const char *noTrashText = K("Auf diesem Laufwerk gibt es keinen Papierkorb. Das Löschen ist endgültig und lässt sich nicht rückgängig machen.");
constexpr const char *refusedText = K("Diese Objekte gehören dem System oder einem anderen Benutzer. Kestrin darf sie nicht löschen. Zeige sie im Ordner; löschen lassen sie sich nur mit Administratorrechten.");
// clang-format on

// At most eight names, then how many more.
QString nameList(const QStringList &paths) {
    QStringList lines;
    for (qsizetype i = 0; i < std::min<qsizetype>(paths.size(), 8); ++i)
        lines << QStringLiteral("• ") + Posix::lastComponent(paths[i]);
    QString text = lines.join(u'\n');
    if (paths.size() > 8) text += u'\n' + LF("… und %d weitere", paths.size() - 8);
    return text;
}

QString firstError(const QStringList &errors) {
    QString text = errors.first();
    if (errors.size() > 1) text += LF(" (und %d weitere Fehler)", errors.size() - 1);
    return text;
}

// The one toast after a trash (and a permanent delete of what had no Trash).
void reportTrash(Sides &sides, Toasts &toasts, const FileOps::TrashResult &result,
                 const FileOps::DeleteResult &removed) {
    sides.refreshAll();
    const QStringList errors = result.errors + removed.errors;
    if (!errors.isEmpty()) {
        // Every failure is named or counted, and what did go is said too.
        QString text = firstError(errors);
        if (result.done > 0) text += u' ' + LF("%@ in den Papierkorb gelegt.", FileFmt::count(result.done));
        toasts.show(text, true);
        return;
    }
    if (result.cancelled) {
        toasts.show(LF("Abgebrochen. %@ in den Papierkorb gelegt; der Rest ist unverändert.",
                       FileFmt::count(result.done)),
                    ToastKind::warning);
        return;
    }
    // Whole sentences of each language: Thai, for one, ends without a full stop.
    if (result.done > 0 && removed.done >= 1)
        toasts.show(LF("%@ in den Papierkorb gelegt, %@ endgültig gelöscht.", FileFmt::count(result.done),
                       FileFmt::count(removed.done)));
    else if (result.done > 0)
        toasts.show(LF("%@ in den Papierkorb gelegt.", FileFmt::count(result.done)));
    else if (removed.done >= 1)
        toasts.show(LF("%@ endgültig gelöscht.", FileFmt::count(removed.done)));
    else
        toasts.show(K("Nichts gelöscht."), ToastKind::warning);
}

} // namespace

TrashCommands::TrashCommands(Sides &sides, JobRunner &jobs, UndoJournal &undo, Toasts &toasts,
                             ItemCommands &items, const Services &services, QObject *parent)
    : QObject(parent), m_sides(sides), m_jobs(jobs), m_undo(undo), m_toasts(toasts), m_items(items),
      m_services(services), m_lookup(services) {}

void TrashCommands::trashSelection() {
    PaneModel *pane = m_sides.activePane();
    const QStringList paths = pane->selectedPaths();
    if (paths.isEmpty()) {
        m_toasts.show(K("Nichts ausgewählt."), ToastKind::warning);
        return;
    }
    // Refused before any question: the answer could not be acted on.
    if (!m_jobs.admits()) return;
    if (std::all_of(paths.cbegin(), paths.cend(),
                    [](const QString &p) { return FileLoader::isInTrash(p); })) {
        deleteFromTrash(paths);
        return;
    }
    Alert question;
    question.style = Alert::Style::warning;
    question.message = FileOps::aboutItems(paths, K("„%@“ in den Papierkorb legen?"),
                                           K("%d Objekte in den Papierkorb legen?"));
    question.informative =
        nameList(paths) + QStringLiteral("\n\n") +
        LP("Du kannst es im Papierkorb wiederherstellen.|Du kannst sie im Papierkorb wiederherstellen.",
           paths.size());
    question.buttons = {{L("In den Papierkorb"), AlertRole::confirm}, {L("Abbrechen"), AlertRole::cancel}};
    QPointer<TrashCommands> self(this);
    QPointer<PaneModel> source(pane);
    // The items as the pane listed them: what its folder became since is refused, not trashed.
    QList<ShownItem> items;
    for (const QString &p : paths)
        items << pane->shown(p);
    m_services.dialogs.ask(question, [self, source, items](const AlertAnswer &answer) {
        if (self && answer.role == AlertRole::confirm) self->startTrash(items, source);
    });
}

void TrashCommands::trashDropped(const QStringList &paths) {
    // Items a pane lists go as it listed them; others (from another program) through the user's own links.
    QList<ShownItem> outside;
    for (const QString &p : paths)
        if (!FileLoader::isInTrash(p) && !FileLoader::isTrashFolder(p)) outside << m_sides.shown(p);
    if (outside.isEmpty() || !m_jobs.admits()) return;
    startTrash(outside, {});
}

void TrashCommands::startTrash(const QList<ShownItem> &items, QPointer<PaneModel> source) {
    m_jobs.run(
        K("Lege in den Papierkorb"),
        [items](TransferProgress &progress) { return FileOps::trash(items, &progress); },
        [this, source, items](const FileOps::TrashResult &result) {
            if (source) source->setSelection({});
            // What went is recorded even when the rest stayed behind a cancel.
            if (!result.moved.isEmpty())
                m_undo.record(
                    [n = result.moved.size()] {
                        return LF("%@ in den Papierkorb gelegt", FileFmt::count(n));
                    },
                    UndoAction::makeTrashed(result.moved));
            if (result.done >= 1) SystemSounds::play(SystemSounds::Kind::moveToTrash);
            if (result.noTrash.isEmpty() || result.cancelled) {
                reportTrash(m_sides, m_toasts, result, {});
                return;
            }
            const QStringList &rest = result.noTrash;
            // Deleted as listed too: a folder swapped while the question is up is refused.
            QList<ShownItem> restItems;
            for (const ShownItem &item : items)
                if (rest.contains(item.path)) restItems << item;
            Alert now;
            now.style = Alert::Style::critical;
            now.message =
                FileOps::aboutItems(rest, K("„%@“ sofort löschen?"), K("%d Objekte sofort löschen?"));
            now.informative = L(noTrashText) + QStringLiteral("\n\n") + nameList(rest);
            now.buttons = {{L("Abbrechen"), AlertRole::cancel},
                           {L("Sofort löschen"), AlertRole::destructive}};
            QPointer<TrashCommands> self(this);
            m_services.dialogs.ask(now, [self, restItems, result](const AlertAnswer &answer) {
                if (!self) return;
                if (answer.role != AlertRole::destructive) {
                    reportTrash(self->m_sides, self->m_toasts, result, {});
                    return;
                }
                // A job that began while the question was up refuses the delete with its own toast.
                self->m_jobs.run(
                    K("Lösche"),
                    [restItems](TransferProgress &progress) {
                        return FileOps::deleteListed(restItems, &progress);
                    },
                    [self, result](const FileOps::DeleteResult &removed) {
                        if (self) reportTrash(self->m_sides, self->m_toasts, result, removed);
                    });
            });
        });
}

void TrashCommands::deleteFromTrash(const QStringList &paths) {
    Alert question;
    question.style = Alert::Style::critical;
    question.message =
        FileOps::aboutItems(paths, K("„%@“ endgültig löschen?"), K("%d Objekte endgültig löschen?"));
    question.informative =
        nameList(paths) + QStringLiteral("\n\n") + L("Das lässt sich nicht rückgängig machen.");
    question.buttons = {{L("Abbrechen"), AlertRole::cancel},
                        {L("Endgültig löschen"), AlertRole::destructive}};
    QPointer<TrashCommands> self(this);
    QPointer<PaneModel> pane(m_sides.activePane());
    m_services.dialogs.ask(question, [self, pane, paths](const AlertAnswer &answer) {
        if (self && answer.role == AlertRole::destructive) self->startDeleteFromTrash(paths, pane);
    });
}

void TrashCommands::startDeleteFromTrash(const QStringList &paths, QPointer<PaneModel> pane) {
    m_jobs.run(
        K("Lösche"),
        [paths](TransferProgress &progress) { return FileOps::deletePermanently(paths, &progress); },
        [this, pane](const FileOps::DeleteResult &result) {
            if (pane) pane->setSelection({});
            m_sides.refreshAll();
            if (!result.errors.isEmpty()) {
                m_toasts.show(firstError(result.errors), true);
                if (!result.denied.isEmpty()) askToShowInFolder(result.denied);
                return;
            }
            if (result.cancelled)
                m_toasts.show(LF("Abgebrochen. %@ endgültig gelöscht; der Rest ist unverändert.",
                                 FileFmt::count(result.done)),
                              ToastKind::warning);
            else
                m_toasts.show(LF("%@ endgültig gelöscht.", FileFmt::count(result.done)));
        });
}

// The refused items are shown selected, in the desktop's file manager or in the active pane.
void TrashCommands::askToShowInFolder(const QStringList &paths) {
    Alert question;
    question.style = Alert::Style::warning;
    question.message = L("Im Ordner zeigen?");
    question.informative = L(refusedText);
    question.buttons = {{L("Abbrechen"), AlertRole::cancel}, {L("Im Ordner zeigen"), AlertRole::confirm}};
    QPointer<TrashCommands> self(this);
    m_services.dialogs.ask(question, [self, paths](const AlertAnswer &answer) {
        if (self && answer.role == AlertRole::confirm) self->m_items.showInFileManager(paths);
    });
}

void TrashCommands::emptyTrash() {
    if (!m_jobs.admits()) return;
    // Shared by the question and the counting; the count may come before the question is up or after it
    // has closed.
    struct Found {
        FileOps::TrashListing listing;
        bool arrived = false;
        bool open = true;
        bool enabled = false; // the red button could be pressed
        std::function<void(const QString &, bool)> update;
        void apply() {
            if (!open || !update || !arrived) return;
            const qsizetype count = listing.entries.size();
            enabled = count > 0;
            if (count == 0)
                update(L("Der Papierkorb ist leer.") + QStringLiteral("\n "), false);
            else
                update(LP("%d Objekt wird endgültig gelöscht. Das lässt sich nicht rückgängig machen.|"
                          "%d Objekte werden endgültig gelöscht. Das lässt sich nicht rückgängig machen.",
                          count, count),
                       true);
        }
    };
    const auto found = std::make_shared<Found>();

    Alert question;
    question.style = Alert::Style::critical;
    question.message = L("Papierkorb leeren?");
    question.informative = L("Papierkorb wird gelesen …") + QStringLiteral("\n ");
    question.buttons = {{L("Abbrechen"), AlertRole::cancel},
                        {L("Papierkorb leeren"), AlertRole::destructive}};
    question.disabled = AlertRole::destructive;
    question.onShown = [found](std::function<void(const QString &, bool)> update) {
        found->update = std::move(update);
        found->apply();
    };

    // The folders too are looked up off the window's thread: any mount may hold one. They stay held
    // until they are emptied.
    whenDone(this, QtConcurrent::run([source = m_services.trashFolders] {
                 return FileOps::listTrashes(source ? source() : FileLoader::allTrashFolders());
             }),
             [found](const FileOps::TrashListing &listing) {
                 found->listing = listing;
                 found->arrived = true;
                 found->apply();
             });
    QPointer<TrashCommands> self(this);
    m_services.dialogs.ask(question, [self, found](const AlertAnswer &answer) {
        found->open = false;
        found->update = nullptr;
        if (!self || answer.role != AlertRole::destructive || !found->enabled ||
            found->listing.entries.isEmpty())
            return;
        self->startEmptyTrash(found->listing);
    });
}

namespace {
// Once the items went: the info files left without one go, and what the folders still hold is counted.
qsizetype tidy(const FileOps::TrashListing &listing) {
    qsizetype left = 0;
    for (const auto &trash : listing.trashes) {
        trash->dropOrphanInfos();
        left += trash->names().size();
    }
    return left;
}
} // namespace

void TrashCommands::startEmptyTrash(const FileOps::TrashListing &listing) {
    struct Emptied {
        FileOps::TrashDeleteResult result;
        qsizetype left = 0; // what the trash folders still hold afterwards
    };
    m_jobs.run(
        K("Leere den Papierkorb"),
        [listing](TransferProgress &progress) {
            Emptied emptied{FileOps::deleteTrashed(listing.entries, &progress), 0};
            emptied.left = tidy(listing);
            return emptied;
        },
        [this, listing](const Emptied &emptied) {
            const FileOps::TrashDeleteResult &result = emptied.result;
            m_sides.left()->setSelection({});
            m_sides.right()->setSelection({});
            m_sides.refreshAll();
            if (!result.errors.isEmpty()) {
                m_toasts.show(firstError(result.errors), true);
                // Only names the system can be given as text go to the administrator's delete.
                FileOps::TrashListing denied{listing.trashes, {}};
                for (const FileOps::TrashedEntry &entry : result.denied)
                    if (Posix::decode(entry.path())) denied.entries << entry;
                if (!denied.entries.isEmpty()) askToEmptyAsAdmin(denied);
                return;
            }
            if (result.done > 0) SystemSounds::play(SystemSounds::Kind::emptyTrash);
            if (emptied.left > 0)
                m_toasts.show(LF("%@ gelöscht. Noch im Papierkorb: %@.", FileFmt::count(result.done),
                                 FileFmt::count(emptied.left)),
                              ToastKind::warning);
            else
                m_toasts.show(LF("Papierkorb geleert: %@ gelöscht.", FileFmt::count(result.done)));
        });
}

// What we may not delete goes with administrator rights; the system asks for the password.
void TrashCommands::askToEmptyAsAdmin(const FileOps::TrashListing &denied) {
    Alert question;
    question.style = Alert::Style::warning;
    question.message = L("Den Rest mit Administratorrechten löschen?");
    // clang-format off
    question.informative = LP("%@ im Papierkorb gehört dem System oder einem anderen Benutzer. Kestrin darf es nicht löschen. Mit Administratorrechten geht es; das System fragt dich dann nach deinem Passwort.|%@ im Papierkorb gehören dem System oder einem anderen Benutzer. Kestrin darf sie nicht löschen. Mit Administratorrechten geht es; das System fragt dich dann nach deinem Passwort.",
                              denied.entries.size(), FileFmt::count(denied.entries.size()));
    // clang-format on
    question.buttons = {{L("Abbrechen"), AlertRole::cancel},
                        {L("Mit Administratorrechten löschen"), AlertRole::destructive}};
    QPointer<TrashCommands> self(this);
    m_services.dialogs.ask(question, [self, denied](const AlertAnswer &answer) {
        if (self && answer.role == AlertRole::destructive) self->startAdminEmpty(denied);
    });
}

void TrashCommands::startAdminEmpty(const FileOps::TrashListing &denied) {
    const auto work = m_services.desktop.deleteAsAdmin;
    struct AdminResult {
        std::optional<QString> error;
        qsizetype left = 0; // what the trash folders still hold afterwards
    };
    const bool started = m_jobs.run(
        K("Leere den Papierkorb"),
        [work, denied](TransferProgress &) -> AdminResult {
            if (!work) return {QString(), 0};
            QStringList paths;
            for (const FileOps::TrashedEntry &entry : denied.entries)
                paths << *Posix::decode(entry.path());
            AdminResult result{work(paths), 0};
            // The descriptions of what is gone are ours to remove.
            for (const FileOps::TrashedEntry &entry : denied.entries)
                entry.trash->dropInfoOfGone(entry.name);
            result.left = tidy(denied);
            return result;
        },
        [this](const AdminResult &result) {
            m_sides.refreshAll();
            if (result.error) {
                m_toasts.show(LF("Der Rest des Papierkorbs ließ sich nicht löschen: %@", *result.error),
                              true);
                return;
            }
            // Names the system can't be given as text never reach the administrator's delete.
            if (result.left > 0) {
                m_toasts.show(LF("Der Rest des Papierkorbs ließ sich nicht löschen: %@",
                                 LF("Noch im Papierkorb: %@.", FileFmt::count(result.left))),
                              true);
                return;
            }
            SystemSounds::play(SystemSounds::Kind::emptyTrash);
            m_toasts.show(K("Papierkorb mit Administratorrechten geleert."));
        });
    if (started) m_toasts.show(K("Der Rest des Papierkorbs wird mit Administratorrechten gelöscht …"));
}

QString TrashCommands::rawListing(const QString &path) {
    const Trash::Listing listing = Trash::list(path);
    if (listing.error)
        return LF("opendir-Fehler: %@ (errno %@)", Posix::errorText(listing.error),
                  QString::number(listing.error));
    return LF("%@ Einträge: %@", listing.names.size(), listing.names.mid(0, 25).join(QStringLiteral(", ")));
}

namespace {
QString refusalText(const TrashRoots::Refused &refused) {
    using R = TrashRoots::Refusal;
    switch (refused.reason) {
    case R::link:
        return L("ein symbolischer Link");
    case R::notFolder:
        return L("kein Ordner");
    case R::foreignOwner:
        return LF("gehört einem anderen Benutzer (uid %@)", QString::number(refused.owner));
    case R::sharedNotFolder:
        return L(".Trash ist kein echter Ordner");
    case R::sharedNotSticky:
        return L(".Trash hat kein Sticky-Bit");
    case R::sharedForeignOwner:
        return LF(".Trash gehört einem anderen Benutzer (uid %@)", QString::number(refused.owner));
    case R::none:
        break;
    }
    return {};
}
} // namespace

// In the interface language; paths, error numbers and listings stay as they are for a bug report.
QString TrashCommands::diagnosisText() {
    const QString trash = TrashRoots::homeTrash();
    const QString files = trash + QStringLiteral("/files");
    const QString uid = QString::number(::getuid());
    QStringList lines;
    lines << LF("Papierkorb %@", trash);
    lines << QStringLiteral("• POSIX readdir: ") + rawListing(files);
    {
        const int denied = Trash::accessError(files);
        if (denied == 0 && QFileInfo(files).isDir()) {
            const auto filter = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
            lines << LF("• QDir: %@ Einträge", QDir(files).entryList(filter).size());
        } else {
            lines << LF("• QDir-Fehler: %@", Posix::errorText(denied ? denied : ENOTDIR));
        }
    }
    for (const QString &other : {QStringLiteral("/.Trash-") + uid, QStringLiteral("/.Trash/") + uid})
        lines << QStringLiteral("• ") + other + QStringLiteral(": ") + rawListing(other);
    // Would-be trash folders another user could have made are never used: each is named once.
    for (const TrashRoots::Refused &refused : TrashRoots::refused())
        lines << LF("• %@: nicht verwendet, %@", refused.path, refusalText(refused));
    lines << QString();
    lines << L("Test geschützter Ordner (nur mit Administratorrechten lesbar)");
    for (const QString &guarded :
         {QStringLiteral("/root"), QStringLiteral("/etc/ssl/private"), QStringLiteral("/var/lib/sudo")})
        lines << QStringLiteral("• ") + Posix::lastComponent(guarded) + QStringLiteral(": ") +
                     rawListing(guarded);
    lines << QString();
    lines << LF("Programm: %@", QCoreApplication::applicationFilePath());
    return lines.join(u'\n');
}

void TrashCommands::trashDiagnosis() {
    const QString text = diagnosisText();
    Alert alert;
    alert.style = Alert::Style::warning;
    alert.message = L("Papierkorb-Diagnose");
    alert.informative = text;
    alert.buttons = {{L("Text kopieren"), AlertRole::confirm}, {L("Schließen"), AlertRole::cancel}};
    QPointer<TrashCommands> self(this);
    m_services.dialogs.ask(alert, [self, text](const AlertAnswer &answer) {
        if (self && answer.role == AlertRole::confirm) self->m_services.pasteboard.setText(text);
    });
}
