#include "core/app/AppState.h"
#include "core/app/JobRunner.h"

#include "core/base/Defaults.h"
#include "core/localisation/Lang.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneModel.h"
#include "core/model/TabGroup.h"

#include <QDir>
#include <QFileInfo>

#include <cmath>

namespace {

// A Boolean stored as a Boolean or as the number 0 or 1; anything else is absent.
std::optional<bool> exactBool(const QString &key) {
    const QVariant v = Defaults::value(key);
    if (v.typeId() == QMetaType::Bool) return v.toBool();
    if (auto n = Defaults::intValue(key); n && (*n == 0 || *n == 1)) return *n == 1;
    if (v.typeId() == QMetaType::Double && (v.toDouble() == 0.0 || v.toDouble() == 1.0))
        return v.toDouble() == 1.0;
    return std::nullopt;
}

// The lenient Boolean reading: numbers and the texts "true"/"yes"/"1" count too; absent is false.
bool lenientBool(const QString &key) {
    const QVariant v = Defaults::value(key);
    switch (v.typeId()) {
    case QMetaType::Bool:
        return v.toBool();
    case QMetaType::QString: {
        const QString s = v.toString().trimmed().toLower();
        return s == u"true" || s == u"yes" || s.toLongLong() != 0;
    }
    default: {
        // NaN and infinities are no numbers to read: absent.
        const double d = v.toDouble();
        return v.isValid() && std::isfinite(d) && d != 0.0;
    }
    }
}

std::optional<QStringList> stringList(const QString &key) {
    const QVariant v = Defaults::value(key);
    if (v.typeId() != QMetaType::QVariantList && v.typeId() != QMetaType::QStringList) return std::nullopt;
    QStringList out;
    for (const QVariant &item : v.toList()) {
        if (item.typeId() != QMetaType::QString) return std::nullopt;
        out << item.toString();
    }
    return out;
}

} // namespace

AppState::Timing &AppState::timing() {
    static Timing t;
    return t;
}

AppState::AppState(Dialogs dialogs, QObject *parent) : QObject(parent), m_dialogs(std::move(dialogs)) {
    m_jobs = new JobRunner([this](const QString &text) { show(text, true); },
                           [] {
                               return JobRunner::Timing{timing().pollMs, timing().firstStatusMs};
                           },
                           this);
    m_settingsSetAside = Defaults::setAsidePath();
    readSettings();
    buildSides();

    m_toastTimer.setSingleShot(true);
    connect(&m_toastTimer, &QTimer::timeout, this, [this] { setToast(std::nullopt); });

    if (!m_settingsSetAside.isEmpty())
        show(LF("Die Einstellungen ließen sich nicht lesen und wurden als „%@“ beiseitegelegt. Kestrin "
                "startet mit den Standardwerten.",
                QFileInfo(m_settingsSetAside).fileName()),
             true);
    else if (Defaults::unreadable())
        show(K("Die Einstellungen ließen sich nicht lesen. Kestrin verwendet die Standardwerte."), true);
}

AppState::~AppState() = default;

// Start-up values, read in declaration order; reading writes nothing back.
void AppState::readSettings() {
    m_active = Side::left;
    m_dualPane = exactBool(QStringLiteral("dualPane")).value_or(true);
    m_showSidebar = exactBool(QStringLiteral("showSidebar")).value_or(true);
    m_showInspector = exactBool(QStringLiteral("showInspector")).value_or(false);
    const auto split = Defaults::doubleValue(QStringLiteral("splitFraction"));
    m_splitFraction = split ? std::clamp(*split, 0.2, 0.8) : 0.5;
    const auto inspector = Defaults::doubleValue(QStringLiteral("inspectorWidth"));
    m_inspectorWidth = inspector ? std::clamp(*inspector, 220.0, 520.0) : 290.0;
    m_toolbarCompact = exactBool(QStringLiteral("toolbarCompact")).value_or(true);
    m_toolbarApps = stringList(QStringLiteral("toolbarApps")).value_or(QStringList());
    m_quickFavorites = stringList(QStringLiteral("quickFavorites")).value_or(QStringList());
    m_rulesAuto = lenientBool(QStringLiteral("rulesAuto"));
    m_language = Lang::current();
    m_feedbackKind = FeedbackKind::idea;
    m_showHidden = FileLoader::showHidden();
    m_themeID = Defaults::stringValue(QStringLiteral("theme")).value_or(QStringLiteral("nebula"));
    const double font = Defaults::doubleValue(QStringLiteral("fontSize")).value_or(0);
    m_fontSize = font >= 10 && font <= 18 ? font : 13;
    m_appearance = Defaults::stringValue(QStringLiteral("appearance")).value_or(QStringLiteral("system"));
    m_folderIcons = Defaults::stringValue(QStringLiteral("folderIcons")).value_or(QStringLiteral("finder"));
}

void AppState::setActive(const Side &value) {
    publish(m_active, value, &AppState::activeChanged);
}
void AppState::setDualPane(const bool &value) {
    publish(m_dualPane, value, &AppState::dualPaneChanged);
    Defaults::setValue(QStringLiteral("dualPane"), value);
}
void AppState::setShowSidebar(const bool &value) {
    publish(m_showSidebar, value, &AppState::showSidebarChanged);
    Defaults::setValue(QStringLiteral("showSidebar"), value);
}
void AppState::setShowInspector(const bool &value) {
    publish(m_showInspector, value, &AppState::showInspectorChanged);
    Defaults::setValue(QStringLiteral("showInspector"), value);
}
void AppState::setToast(const std::optional<Toast> &value) {
    publish(m_toast, value, &AppState::toastChanged);
}
void AppState::setBatchRenameTarget(const std::optional<InfoTarget> &value) {
    publish(m_batchRenameTarget, value, &AppState::batchRenameTargetChanged);
}
void AppState::setCompareRequest(const std::optional<CompareRequest> &value) {
    publish(m_compareRequest, value, &AppState::compareRequestChanged);
}
void AppState::setStorageRequest(const std::optional<StorageRequest> &value) {
    publish(m_storageRequest, value, &AppState::storageRequestChanged);
}
void AppState::setShowRules(const bool &value) {
    publish(m_showRules, value, &AppState::showRulesChanged);
}
void AppState::setShowShortcuts(const bool &value) {
    publish(m_showShortcuts, value, &AppState::showShortcutsChanged);
}
void AppState::setShowTerminalHelp(const bool &value) {
    publish(m_showTerminalHelp, value, &AppState::showTerminalHelpChanged);
}
void AppState::setSplitFraction(const double &value) {
    publish(m_splitFraction, value, &AppState::splitFractionChanged);
    Defaults::setValue(QStringLiteral("splitFraction"), value);
}
void AppState::setInspectorWidth(const double &value) {
    publish(m_inspectorWidth, value, &AppState::inspectorWidthChanged);
    Defaults::setValue(QStringLiteral("inspectorWidth"), value);
}
void AppState::setShowToolbarEditor(const bool &value) {
    publish(m_showToolbarEditor, value, &AppState::showToolbarEditorChanged);
}
void AppState::setToolbarCompact(const bool &value) {
    publish(m_toolbarCompact, value, &AppState::toolbarCompactChanged);
    Defaults::setValue(QStringLiteral("toolbarCompact"), value);
}
void AppState::setToolbarApps(const QStringList &value) {
    publish(m_toolbarApps, value, &AppState::toolbarAppsChanged);
    Defaults::setValue(QStringLiteral("toolbarApps"), value);
}
void AppState::setQuickFavorites(const QStringList &value) {
    publish(m_quickFavorites, value, &AppState::quickFavoritesChanged);
    Defaults::setValue(QStringLiteral("quickFavorites"), value);
}
void AppState::setShowFavoritesEditor(const bool &value) {
    publish(m_showFavoritesEditor, value, &AppState::showFavoritesEditorChanged);
}
void AppState::setThemeID(const QString &value) {
    // Stored first: the window reads the stored value when it hears of the change.
    Defaults::setValue(QStringLiteral("theme"), value);
    publish(m_themeID, value, &AppState::themeIDChanged);
}
void AppState::setFontSize(const double &value) {
    // Stored first: the window reads the stored value when it hears of the change.
    Defaults::setValue(QStringLiteral("fontSize"), value);
    publish(m_fontSize, value, &AppState::fontSizeChanged);
}
void AppState::setFolderIcons(const QString &value) {
    // Stored first: the window reads the stored value when it hears of the change.
    Defaults::setValue(QStringLiteral("folderIcons"), value);
    publish(m_folderIcons, value, &AppState::folderIconsChanged);
}
void AppState::setManualSection(const std::optional<int> &value) {
    publish(m_manualSection, value, &AppState::manualSectionChanged);
}
void AppState::setManualRequest(const int &value) {
    publish(m_manualRequest, value, &AppState::manualRequestChanged);
}
void AppState::setShowFeedback(const bool &value) {
    publish(m_showFeedback, value, &AppState::showFeedbackChanged);
}
void AppState::setFeedbackText(const QString &value) {
    publish(m_feedbackText, value, &AppState::feedbackTextChanged);
}
void AppState::setFeedbackKind(const FeedbackKind &value) {
    publish(m_feedbackKind, value, &AppState::feedbackKindChanged);
}
void AppState::setAppearance(const QString &value) {
    publish(m_appearance, value, &AppState::appearanceChanged);
    Defaults::setValue(QStringLiteral("appearance"), value);
}
void AppState::setInfoTarget(const std::optional<InfoTarget> &value) {
    publish(m_infoTarget, value, &AppState::infoTargetChanged);
}
void AppState::setCutPaths(const QSet<QString> &value) {
    publish(m_cutPaths, value, &AppState::cutPathsChanged);
}

void AppState::setLanguage(const AppLanguage &value) {
    Lang::setCurrent(value);
    publish(m_language, value, &AppState::languageChanged);
    Defaults::setValue(QStringLiteral("language"), AppLanguages::rawValue(value));
    QPointer<AppState> self(this);
    QMetaObject::invokeMethod(
        this,
        [self] {
            if (self) self->refreshAll();
        },
        Qt::QueuedConnection);
}

void AppState::setShowHidden(const bool &value) {
    FileLoader::setShowHidden(value);
    publish(m_showHidden, value, &AppState::showHiddenChanged);
    Defaults::setValue(QStringLiteral("showHidden"), value);
    refreshAll();
    show(value ? K("Unsichtbare Dateien werden angezeigt.") : K("Unsichtbare Dateien sind ausgeblendet."));
}

void AppState::setRulesAuto(const bool &value) {
    publish(m_rulesAuto, value, &AppState::rulesAutoChanged);
    Defaults::setValue(QStringLiteral("rulesAuto"), value);
}

std::optional<ColorScheme> AppState::scheme() const {
    if (m_appearance == u"light") return ColorScheme::light;
    if (m_appearance == u"dark") return ColorScheme::dark;
    return std::nullopt;
}

void AppState::refreshAll() {
    for (TabGroup *group : {m_leftTabs, m_rightTabs})
        if (group)
            for (PaneModel *pane : group->tabs())
                pane->refresh();
}

void AppState::openManual(std::optional<int> section) {
    setManualSection(section);
    setManualRequest(m_manualRequest + 1);
    if (openManualWindow) openManualWindow();
}
