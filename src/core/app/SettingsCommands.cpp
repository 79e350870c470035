#include "core/app/SettingsCommands.h"

#include "core/app/AppState.h"
#include "core/app/JobRunner.h"
#include "core/app/SettingsBackup.h"
#include "core/base/Background.h"
#include "core/localisation/Lang.h"
#include "platform/DisplayFile.h"
#include "platform/Plist.h"
#include "platform/Relaunch.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStorageInfo>
#include <QtConcurrent>

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
// Why a backup could not be written; a full disk in our words (the file only says "Unknown error"
// once its commit has given up).
QString errorOf(const QSaveFile &file, const QString &path, qint64 needed) {
    const QStorageInfo disk(QFileInfo(path).absolutePath());
    if (file.error() == QFileDevice::ResourceError || (disk.isValid() && disk.bytesAvailable() < needed))
        return L("Nicht genug freier Speicherplatz auf dem Ziel.");
    return file.errorString();
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
        QSaveFile file(*path);
        QString error;
        if (bytes.isEmpty())
            error = L("Die Einstellungen ließen sich nicht umwandeln.");
        else if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
            error = errorOf(file, *path, bytes.size());
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
// A regular file of bounded size, read without waiting on a FIFO or device the chooser might name: checked
// on the open descriptor, so a name swapped after a look is never read.
std::optional<QByteArray> readBackup(const QString &path) {
    std::optional<QByteArray> bytes = Posix::readForDisplay(path, Plist::kMaxBytes + 1, true);
    if (!bytes || bytes->size() > Plist::kMaxBytes) return std::nullopt;
    return bytes;
}

// The question about a backup read, or the alert that it is none.
void askRestore(QPointer<AppState> app, std::function<void()> restart,
                std::optional<SettingsBackup::Contents> contents) {
    if (!app) return;
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
        SettingsBackup::apply(c);
        // The running instance must not write its older values over the restored ones.
        app->settings().freeze();
        if (restart) restart();
    });
}

} // namespace

void SettingsCommands::restoreFrom(QPointer<AppState> app, std::function<void()> restart,
                                   const QString &path) {
    if (!app) return;
    // A large list takes a moment to read and check; the window goes on meanwhile.
    whenDone(app.data(), QtConcurrent::run([path]() -> std::optional<SettingsBackup::Contents> {
                 const std::optional<QByteArray> bytes = readBackup(path);
                 if (!bytes) return std::nullopt;
                 return SettingsBackup::decode(*bytes);
             }),
             [app, restart](const std::optional<SettingsBackup::Contents> &contents) {
                 askRestore(app, restart, contents);
             });
}

void SettingsCommands::relaunch() {
    if (!admitted()) return;
    if (restart) restart();
}
