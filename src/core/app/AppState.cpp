#include "core/app/AppState.h"
#include "core/app/Favorites.h"
#include "core/app/JobRunner.h"
#include "core/app/SidebarModel.h"

#include "core/base/Defaults.h"
#include "core/filesteps/StepTypes.h"
#include "core/localisation/FileFmt.h"
#include "core/localisation/Lang.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneModel.h"
#include "core/model/TabGroup.h"

#include <QDir>
#include <QFileInfo>

AppState::AppState(Services services, QObject *parent)
    : QObject(parent), m_services(std::move(services)), m_settings(m_services.timings.settingsSaveMs),
      m_toasts(m_services.timings),
      m_jobs([this](const QString &text) { show(text, true); },
             [this] {
                 return JobRunner::Timing{m_services.timings.jobPeriodMs, m_services.timings.jobQuietMs};
             }),
      m_transfers(m_sides, m_jobs, m_undo, m_toasts, m_services.dialogs),
      m_clipboard(m_sides, m_transfers, m_jobs, m_toasts, m_services.pasteboard),
      m_renames(m_sides, m_toasts, m_requests, m_undo, m_services),
      m_items(m_sides, m_toasts, m_requests, m_renames, m_services),
      m_trash(m_sides, m_jobs, m_undo, m_toasts, m_items, m_services),
      m_fileActions(m_sides, m_jobs, m_undo, m_toasts, m_services.dialogs) {
    m_settingsSetAside = Defaults::setAsidePath();
    m_sidebar = new SidebarModel(m_settings, m_services.sidebar, this);
    m_favorites = new Favorites(*this, this);
    // After an eject the devices are listed anew.
    connect(&m_items, &ItemCommands::devicesChanged, m_sidebar, &SidebarModel::rebuild);
    buildSides();
    connect(&m_settings, &Settings::changed, this, &AppState::settingChanged);

    if (!m_settingsSetAside.isEmpty())
        show(LF("Die Einstellungen ließen sich nicht lesen und wurden als „%@“ beiseitegelegt. Kestrin "
                "startet mit den Standardwerten.",
                QFileInfo(m_settingsSetAside).fileName()),
             true);
    else if (Defaults::unreadable())
        show(K("Die Einstellungen ließen sich nicht lesen. Kestrin verwendet die Standardwerte."), true);
    loadRules();
    // Told on the settings writer's thread; shown on ours.
    Defaults::onWriteTrouble([this](int error) {
        if (!error) return;
        QMetaObject::invokeMethod(
            this,
            [this, error] {
                show(LF("Die Einstellungen ließen sich nicht speichern: %@ Kestrin versucht es weiter.",
                        settingsTrouble(error)),
                     true);
            },
            Qt::QueuedConnection);
    });
}

AppState::~AppState() {
    Defaults::onWriteTrouble({}); // returns once no report runs any more
}

QString AppState::settingsTrouble(int error) {
    switch (error) {
    case EWOULDBLOCK:
        return L("Ein anderes laufendes Kestrin hält sie gesperrt.");
    case ENOSPC:
    case EDQUOT:
        return L("Nicht genug freier Speicherplatz auf dem Ziel.");
    case EFBIG:
        return L("Die Datei wäre größer, als Kestrin sie lesen kann.");
    default:
        return FileSteps::explain(FileError::fromErrno(error), QFileInfo(Defaults::filePath()).fileName());
    }
}

namespace {

// The stored settings by the titles the settings window gives them (or the menu command that changes
// them), in the current language; the internal key only for one that has none.
QStringList settingTitles(const QStringList &keys) {
    static const std::pair<const char *, const char *> titles[] = {
        {"dualPane", K("Zwei Fenster nebeneinander zeigen")},
        {"showSidebar", K("Seitenleiste zeigen")},
        {"showInspector", K("Info-Leiste zeigen")},
        {"splitFraction", K("Breite")},
        {"inspectorWidth", K("Breite")},
        {"toolbarCompact", K("Symbolleiste")},
        {"toolbarApps", K("Apps in der Leiste")},
        {"quickFavorites", K("Favoriten")},
        {"userFavorites", K("Favoriten")},
        {"hiddenFavorites", K("Favoriten")},
        {"rulesAuto", K("Aufräum-Regeln automatisch ausführen")},
        {"cleanRules", K("Aufräum-Regeln")},
        {"theme", K("Farben")},
        {"fontSize", K("Schriftgröße")},
        {"folderIcons", K("Ordnersymbole")},
        {"language", K("Sprache")},
        {"appearance", K("Erscheinungsbild")},
        {"showHidden", K("Unsichtbare Dateien anzeigen")},
        {"startFolder", K("Beim Start öffnen")},
        {"keyboardLayout", K("Tastaturbelegung")},
        {"lastPath", K("Letzter Ordner")},
        {"view", K("Ansicht")},
        {"sort", K("Sortieren nach")},
        {"sortReversed", K("Sortieren nach")},
        {"trashOrigins", K("Papierkorb")},
    };
    QStringList out;
    for (const QString &key : keys) {
        // "view.left", "cleanRules.unreadable": the part before the dot names the setting.
        const QString base = key.section(u'.', 0, 0);
        QString title = key;
        for (const auto &[name, text] : titles)
            if (base == QLatin1String(name)) title = L(text);
        if (!out.contains(title)) out << title;
    }
    return out;
}

} // namespace

QString AppState::finishSettings(int waitMs) {
    m_settings.save();
    bool kept = false;
    const QStringList left = Defaults::finish(waitMs, &kept);
    if (left.isEmpty()) return {};
    const QStringList titles = settingTitles(left);
    return kept ? LP("Diese Einstellung ließ sich beim Beenden nicht speichern: %@. Kestrin speichert sie "
                     "beim "
                     "nächsten Start.|Diese Einstellungen ließen sich beim Beenden nicht speichern: %@. "
                     "Kestrin "
                     "speichert sie beim nächsten Start.",
                     titles.size(), FileFmt::quotedList(titles))
                : LP("Diese Einstellung ließ sich beim Beenden nicht speichern und geht verloren: %@.|Diese "
                     "Einstellungen ließen sich beim Beenden nicht speichern und gehen verloren: %@.",
                     titles.size(), FileFmt::quotedList(titles));
}

void AppState::settingChanged(Settings::Key key) {
    switch (key) {
    case Settings::Key::language: {
        // Connected first, so every later listener already speaks the new language.
        Lang::setCurrent(m_settings.language());
        // The panes list again in the new language once everyone has heard of it.
        QPointer<AppState> self(this);
        QMetaObject::invokeMethod(
            this,
            [self] {
                if (!self) return;
                self->m_sidebar->rebuild();
                self->m_sides.refreshAll();
            },
            Qt::QueuedConnection);
        break;
    }
    case Settings::Key::showHidden: {
        const bool value = m_settings.showHidden();
        FileLoader::setShowHidden(value);
        m_sides.refreshAll();
        show(value ? K("Unsichtbare Dateien werden angezeigt.")
                   : K("Unsichtbare Dateien sind ausgeblendet."));
        break;
    }
    case Settings::Key::rulesAuto:
        startRulesTimer();
        break;
    default:
        break;
    }
}
