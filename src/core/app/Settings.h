#pragma once

#include "core/app/ColorScheme.h"
#include "core/localisation/AppLanguage.h"

#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <QVariant>
#include <optional>
#include <span>

// Every stored application-wide setting, one row of a table each: its key in the settings file, its
// default, how a stored value is read and bounded. Values are read once at start (reading writes nothing
// back) and written by one debounced save, which writes only what was set. Main thread only.
class Settings : public QObject {
    Q_OBJECT
public:
    enum class Key {
        dualPane,
        showSidebar,
        showInspector,
        splitFraction,
        inspectorWidth,
        toolbarCompact,
        toolbarApps,
        quickFavorites,
        rulesAuto,
        themeID,
        fontSize,
        folderIcons,
        language,
        appearance,
        showHidden,
        startFolder,
        keyboardLayout,
        // Stored by their owners (the sidebar, the cleanup rules, the panes); the table knows them for the
        // backup.
        userFavorites,
        hiddenFavorites,
        cleanRules,
        viewLeft,
        viewRight,
        sortLeft,
        sortRight,
    };
    Q_ENUM(Key)

    // Which reset puts a row back; resetting everything runs the groups in this order.
    enum class Reset { none, general, appearance, window, toolbarLook, toolbarApps, file };
    // What a backup carries for a row, and the only kind a restore accepts for it.
    enum class Backup { none, boolean, number, text, textList, rules };

    // A stored value as it reads: absent (invalid) when missing or not of the row's kind.
    using Reader = QVariant (*)(const QString &name);
    // Bounds a read value; the default comes in for a value it refuses.
    using Bound = QVariant (*)(const QVariant &value, const QVariant &fallback);
    struct Row {
        Key key;
        const char *name; // the key in the settings file
        QVariant fallback;
        Reader read;
        Bound bound = nullptr;
        Reset reset = Reset::none;
        Backup backup = Backup::none;
        // The value a reset puts back when it is not the default; absent: the key is removed.
        QVariant (*resetValue)() = nullptr;
    };
    static std::span<const Row> rows();
    static const Row &row(Key key);
    // The row stored under a name, or null.
    static const Row *rowNamed(const QString &name);
    // What the settings file holds for a row, read and bounded as at start (the default when absent).
    static QVariant stored(Key key);
    // Whether a change of the row alters how windows look (theme, size, icons): the rows the appearance
    // reset puts back.
    static bool changesLook(Key key) { return row(key).reset == Reset::appearance; }

    explicit Settings(int saveDelayMs = 300, QObject *parent = nullptr);
    ~Settings() override; // writes what is still waiting

    QVariant value(Key key) const { return m_values.value(int(key)); }
    // Takes a value of the row's kind (false and nothing kept otherwise) and saves it soon, even when it is
    // the value already held.
    bool set(Key key, const QVariant &value);
    // The same by the name in the settings file: a name the table lacks is never stored.
    bool set(const QString &name, const QVariant &value);
    // Removes the stored value: the default applies again (and is what the row holds now).
    void remove(Key key);
    // Puts back every row of a group, in table order.
    void reset(Reset group);
    // Writes every value set since the last save now.
    void save();
    // From now on nothing is written any more: the settings file was replaced from outside (a restored
    // backup) and this instance is about to end.
    void freeze();
    // Writes again, after a replacement that did not happen.
    void thaw() { m_frozen = false; }
    bool frozen() const { return m_frozen; }
    bool savePending() const { return !m_pending.isEmpty(); }

    bool dualPane() const { return value(Key::dualPane).toBool(); }
    void setDualPane(bool v) { set(Key::dualPane, v); }
    bool showSidebar() const { return value(Key::showSidebar).toBool(); }
    void setShowSidebar(bool v) { set(Key::showSidebar, v); }
    bool showInspector() const { return value(Key::showInspector).toBool(); }
    void setShowInspector(bool v) { set(Key::showInspector, v); }
    double splitFraction() const { return value(Key::splitFraction).toDouble(); }
    void setSplitFraction(double v) { set(Key::splitFraction, v); }
    double inspectorWidth() const { return value(Key::inspectorWidth).toDouble(); }
    void setInspectorWidth(double v) { set(Key::inspectorWidth, v); }
    bool toolbarCompact() const { return value(Key::toolbarCompact).toBool(); }
    void setToolbarCompact(bool v) { set(Key::toolbarCompact, v); }
    QStringList toolbarApps() const { return value(Key::toolbarApps).toStringList(); }
    void setToolbarApps(const QStringList &v) { set(Key::toolbarApps, v); }
    QStringList quickFavorites() const { return value(Key::quickFavorites).toStringList(); }
    void setQuickFavorites(const QStringList &v) { set(Key::quickFavorites, v); }
    bool rulesAuto() const { return value(Key::rulesAuto).toBool(); }
    void setRulesAuto(bool v) { set(Key::rulesAuto, v); }
    QString themeID() const { return value(Key::themeID).toString(); }
    void setThemeID(const QString &v) { set(Key::themeID, v); }
    // The text sizes the settings window offers as chips.
    static constexpr int smallestFont = 11, largestFont = 16;
    double fontSize() const { return value(Key::fontSize).toDouble(); }
    void setFontSize(double v) { set(Key::fontSize, v); }
    QString folderIcons() const { return value(Key::folderIcons).toString(); }
    void setFolderIcons(const QString &v) { set(Key::folderIcons, v); }
    AppLanguage language() const;
    void setLanguage(AppLanguage v) { set(Key::language, AppLanguages::rawValue(v)); }
    QString appearance() const { return value(Key::appearance).toString(); }
    void setAppearance(const QString &v) { set(Key::appearance, v); }
    bool showHidden() const { return value(Key::showHidden).toBool(); }
    void setShowHidden(bool v) { set(Key::showHidden, v); }
    // The sidebar's own favourite folders and the standard entries hidden from it.
    QStringList userFavorites() const { return value(Key::userFavorites).toStringList(); }
    void setUserFavorites(const QStringList &v) { set(Key::userFavorites, v); }
    QStringList hiddenFavorites() const { return value(Key::hiddenFavorites).toStringList(); }
    void setHiddenFavorites(const QStringList &v) { set(Key::hiddenFavorites, v); }
    QString startFolder() const { return value(Key::startFolder).toString(); }
    void setStartFolder(const QString &v) { set(Key::startFolder, v); }
    QString keyboardLayout() const { return value(Key::keyboardLayout).toString(); }
    void setKeyboardLayout(const QString &v) { set(Key::keyboardLayout, v); }

    // The appearance as a scheme: absent for "system" and anything unknown.
    std::optional<ColorScheme> scheme() const;

signals:
    void changed(Settings::Key key);

private:
    QVariantList m_values;
    QSet<int> m_pending;
    QTimer m_save;
    bool m_frozen = false;
};
