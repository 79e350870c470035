#pragma once

#include "core/app/Settings.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

class AppState;

// What the settings pages do beyond setting a value: the resets with their question and toast, removing
// the toolbar's applications, backing the settings up and restoring them (which restarts the program).
// Everything that changes settings or restarts refuses while a job runs. Main thread only.
class SettingsCommands : public QObject {
public:
    explicit SettingsCommands(AppState *app, QObject *parent = nullptr);

    // Asks title/detail (translated) with "Abbrechen" and button (translated); then() runs only on the
    // confirming answer, and only when the state still exists.
    void confirmReset(const QString &title, const QString &detail, const QString &button,
                      std::function<void()> then);

    // A page's reset: its question (German keys), then the group, then the toast.
    void resetPage(Settings::Reset group, const char *title, const char *detail);
    void removeAllToolbarApps();
    void resetAll();

    void backupSettings();
    void restoreSettings();
    // Ends this instance and starts a new one; refused while a job runs.
    void relaunch();

    // What relaunch() does once admitted: by default starts the successor and quits. Tests replace it.
    std::function<void()> restart;
    // How long a restore's write waits for another running copy's lock. Tests shorten it.
    static inline int restoreWaitMs = 5000;

private:
    // False (and the refusal shown) while a job runs or when the state is gone.
    bool admitted() const;
    static void restoreFrom(QPointer<AppState> app, std::function<void()> restart, const QString &path);

    QPointer<AppState> m_app;
};
