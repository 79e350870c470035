#include "core/app/SettingsCommands.h"

#include "core/app/AppState.h"
#include "core/app/JobRunner.h"
#include "core/app/SettingsBackup.h"
#include "core/base/Background.h"
#include "core/fileops/RestoreMove.h"
#include "core/filesteps/FileSteps.h"
#include "core/localisation/Lang.h"
#include "platform/DisplayFile.h"
#include "platform/Plist.h"
#include "platform/Posix.h"
#include "platform/Relaunch.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QtConcurrent>

#include <cerrno>
#include <climits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

SettingsCommands::SettingsCommands(AppState *app, QObject *parent) : QObject(parent), m_app(app) {
    restart = [] {
        Relaunch::startSuccessor(); // a failed start still ends this one: the settings file was replaced
        QCoreApplication::quit();
    };
}

bool SettingsCommands::admitted() const {
    return m_app && m_app->jobs().admits();
}

void SettingsCommands::confirmReset(const QString &title, const QString &detail, const QString &button,
                                    std::function<void()> then) {
    if (!m_app) return;
    Alert alert;
    alert.style = Alert::Style::warning;
    alert.message = title;
    alert.informative = detail;
    alert.buttons = {{L("Abbrechen"), AlertRole::cancel}, {button, AlertRole::confirm}};
    m_app->services().dialogs.ask(alert, [app = m_app, then = std::move(then)](AlertAnswer answer) {
        if (app && answer.role == AlertRole::confirm) then();
    });
}

void SettingsCommands::resetPage(Settings::Reset group, const char *title, const char *detail) {
    if (!admitted()) return;
    confirmReset(L(title), L(detail), L("Zurücksetzen"), [app = m_app, group] {
        // A job may have begun while the question was up.
        if (!app->jobs().admits()) return;
        app->settings().reset(group);
        app->show(K("Der Bereich wurde zurückgesetzt."));
    });
}

void SettingsCommands::removeAllToolbarApps() {
    if (!admitted()) return;
    confirmReset(L("Alle Apps aus der Leiste entfernen?"),
                 L("Es werden nur die Verknüpfungen in der Leiste entfernt. Die Programme selbst bleiben "
                   "auf deinem Computer."),
                 L("Entfernen"), [app = m_app] {
                     if (!app->jobs().admits()) return;
                     app->settings().setToolbarApps({});
                     app->show(K("Die Apps wurden aus der Leiste entfernt."));
                 });
}

void SettingsCommands::resetAll() {
    if (!admitted()) return;
    confirmReset(
        L("Wirklich alle Einstellungen zurücksetzen?"),
        L("Betroffen sind: Sprache, Erscheinungsbild, Farben, Schriftgröße, Ordnersymbole, "
          "Fensteraufbau und -breiten, Symbolleiste mit allen Apps, unsichtbare Dateien und "
          "automatisches Aufräumen. Nicht betroffen sind deine Dateien, Favoriten und Aufräum-Regeln. "
          "Das lässt sich nicht rückgängig machen."),
        L("Alles zurücksetzen"), [app = m_app] {
            if (!app->jobs().admits()) return;
            using R = Settings::Reset;
            for (R group : {R::general, R::appearance, R::window, R::toolbarLook, R::toolbarApps, R::file})
                app->settings().reset(group);
            app->show(K("Alle Einstellungen wurden zurückgesetzt."));
        });
}

namespace {

// The chosen file in its held folder: the folder reached through no link another account put on the way,
// and the name itself no such link. Links of the user's own (or the system's) lead on, as the chooser
// showed them.
struct Chosen {
    std::optional<FileSteps::HeldFolder> folder;
    QByteArray name;
    QString refusal; // why not, as a sentence
};

Chosen holdChosen(const QString &chosen) {
    Chosen c;
    QString path = chosen;
    try {
        for (int links = 0;; ++links) {
            const FileSteps::PathBytes bytes(path);
            c.folder.emplace(Restore::holdOrigin(bytes.parent().text()));
            c.name = bytes.name();
            struct stat st;
            if (::fstatat(c.folder->fd(), c.name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
                !S_ISLNK(st.st_mode))
                return c;
            if ((st.st_uid != ::geteuid() && st.st_uid != 0) || links >= 40) {
                c.refusal = LF("„%@“ ist ein Link, der einem anderen Konto gehört. Kestrin folgt ihm nicht: "
                               "Es wurde nichts gelesen oder geschrieben.",
                               chosen);
                return c;
            }
            char target[PATH_MAX];
            const ssize_t n = ::readlinkat(c.folder->fd(), c.name.constData(), target, sizeof target);
            if (n <= 0 || size_t(n) >= sizeof target)
                throw FileError::fromErrno(n < 0 ? errno : ENAMETOOLONG);
            const std::optional<QString> to = Posix::decode(QByteArray(target, n));
            if (!to) throw FileError::fromErrno(EILSEQ);
            path = QDir::cleanPath(to->startsWith(u'/') ? *to : bytes.parent().text() + u'/' + *to);
        }
    } catch (const FileError &error) {
        c.refusal = Restore::message(error, QFileInfo(chosen).fileName());
    }
    return c;
}

// Why a backup could not be written (errno e); a full disk in our words.
QString errorOf(int e, const QString &pinned, const QString &name, qint64 needed) {
    const QStorageInfo disk(pinned);
    if (e == ENOSPC || e == EDQUOT || (disk.isValid() && disk.bytesAvailable() < needed))
        return L("Nicht genug freier Speicherplatz auf dem Ziel.");
    return FileSteps::explain(FileError::fromErrno(e), name);
}

} // namespace

void SettingsCommands::backupSettings() {
    if (!m_app) return;
    FileQuestion q;
    q.save = true;
    q.title = L("Einstellungen sichern");
    q.message = L("Wähle einen sicheren Ort, zum Beispiel einen Cloud-Ordner oder ein externes Laufwerk, "
                  "damit die Datei eine Neuinstallation des Systems übersteht.");
    q.prompt = L("Sichern");
    q.fileName = SettingsBackup::fileName(QDate::currentDate());
    q.nameFilters = {QStringLiteral("*.plist")};
    m_app->services().dialogs.file(q, [app = m_app](std::optional<QString> path) {
        if (!app || !path || path->isEmpty()) return;
        app->settings().save(); // what waits for the debounced save belongs in the backup
        const QByteArray bytes = SettingsBackup::encode();
        QString error;
        if (bytes.isEmpty()) {
            error = L("Die Einstellungen ließen sich nicht umwandeln.");
        } else if (const Chosen chosen = holdChosen(*path); !chosen.refusal.isEmpty()) {
            error = chosen.refusal;
        } else if (const int e = FileSteps::writeFileAt(*chosen.folder, chosen.name, bytes)) {
            error =
                errorOf(e, FileSteps::pinnedPath(*chosen.folder), QFileInfo(*path).fileName(), bytes.size());
        }
        if (!error.isEmpty()) {
            app->show(LF("Sichern fehlgeschlagen: %@", error), true);
            return;
        }
        app->show(LF("Einstellungen gesichert: %@", QFileInfo(*path).fileName()));
    });
}

void SettingsCommands::restoreSettings() {
    if (!admitted()) return;
    FileQuestion q;
    q.title = L("Einstellungen wiederherstellen");
    q.message = L("Wähle die Sicherungsdatei von Kestrin.");
    q.prompt = L("Öffnen");
    q.nameFilters = {QStringLiteral("*.plist")};
    // The answers may come after the settings window (and this) went away.
    m_app->services().dialogs.file(q, [app = m_app, restart = restart](std::optional<QString> path) {
        if (app && path && !path->isEmpty()) restoreFrom(app, restart, *path);
    });
}

namespace {
// A regular file of bounded size in its held folder, read without waiting on a FIFO or device the chooser
// might name: checked on the open descriptor, so a name swapped after a look is never read.
std::optional<QByteArray> readBackup(const Chosen &chosen) {
    const Posix::DisplayFile file(FileSteps::pinnedPath(*chosen.folder).toUtf8() + '/' + chosen.name);
    if (!file.isOpen()) return std::nullopt;
    QByteArray bytes = file.read(Plist::kMaxBytes + 1);
    if (bytes.size() > Plist::kMaxBytes) return std::nullopt;
    return bytes;
}

struct Read {
    std::optional<SettingsBackup::Contents> contents;
    QString refusal;
};

// The question about a backup read, or the alert that it is none.
void askRestore(QPointer<AppState> app, std::function<void()> restart, const Read &read) {
    if (!app) return;
    if (!read.refusal.isEmpty()) {
        app->show(read.refusal, true);
        return;
    }
    std::optional<SettingsBackup::Contents> contents = read.contents;
    if (!contents) {
        Alert alert;
        alert.style = Alert::Style::warning;
        alert.message = L("Das ist keine Sicherung von Kestrin.");
        alert.informative = L("Die Datei lässt sich nicht lesen oder stammt nicht aus Kestrin. Es wurde "
                              "nichts geändert.");
        alert.buttons = {{L("OK"), AlertRole::confirm}};
        app->services().dialogs.ask(alert, [](AlertAnswer) {});
        return;
    }
    SettingsBackup::guardRules(*contents, app->cleanupRules().rules());
    const QLocale locale = AppLanguages::locale(Lang::current());
    const QDateTime created = contents->created.toLocalTime();
    const QString when = locale.toString(created.date(), QLocale::LongFormat) + u' ' +
                         locale.toString(created.time(), QLocale::ShortFormat);
    Alert alert;
    alert.message = L("Einstellungen wiederherstellen?");
    alert.informative =
        LF("Sicherung vom %@ (Version %@) mit %@ Einstellungen. Deine jetzigen Einstellungen "
           "werden ersetzt. Kestrin startet danach neu. Die Sicherungsdatei bleibt unverändert.",
           when, contents->appVersion, contents->settings.size());
    alert.buttons = {{L("Abbrechen"), AlertRole::cancel}, {L("Wiederherstellen"), AlertRole::confirm}};
    app->services().dialogs.ask(alert, [app, restart, c = *contents](AlertAnswer answer) {
        if (!app || answer.role != AlertRole::confirm) return;
        if (!app->jobs().admits()) return;
        app->settings().save();
        // The running instance must not write its older values over the restored ones.
        app->settings().freeze();
        // One write, off the window's thread: another running copy may hold the lock for a while.
        whenDone(app.data(),
                 QtConcurrent::run([c] { return SettingsBackup::apply(c, SettingsCommands::restoreWaitMs); }),
                 [app, restart](int error) {
                     if (!app) return;
                     if (error) {
                         app->settings().thaw();
                         app->show(LF("Die Einstellungen wurden nicht wiederhergestellt: %@ Es wurde nichts "
                                      "geändert.",
                                      AppState::settingsTrouble(error)),
                                   true);
                         return;
                     }
                     // Only now the file holds the backup.
                     if (restart) restart();
                 });
    });
}

} // namespace

void SettingsCommands::restoreFrom(QPointer<AppState> app, std::function<void()> restart,
                                   const QString &path) {
    if (!app) return;
    // A large list takes a moment to read and check; the window goes on meanwhile.
    whenDone(app.data(), QtConcurrent::run([path]() -> Read {
                 const Chosen chosen = holdChosen(path);
                 if (!chosen.refusal.isEmpty()) return {std::nullopt, chosen.refusal};
                 const std::optional<QByteArray> bytes = readBackup(chosen);
                 if (!bytes) return {};
                 return {SettingsBackup::decode(*bytes), {}};
             }),
             [app, restart](const Read &read) { askRestore(app, restart, read); });
}

void SettingsCommands::relaunch() {
    if (!admitted()) return;
    if (restart) restart();
}
