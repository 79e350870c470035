#include "common/ScriptedDialogs.h"
#include "common/TestUtil.h"
#include "core/app/AppState.h"
#include "core/app/SettingsCommands.h"
#include "core/base/Defaults.h"
#include "core/localisation/Lang.h"
#include "core/model/FileLoader.h"

#include <gtest/gtest.h>

namespace {

using R = Settings::Reset;

// Values that are none of the factory values, for every key a reset may or may not touch.
const QVariantMap &changed() {
    static const QVariantMap values{
        {"language", "th"},
        {"theme", "ember"},
        {"fontSize", 16.0},
        {"folderIcons", "theme"},
        {"appearance", "dark"},
        {"dualPane", false},
        {"showSidebar", false},
        {"showInspector", true},
        {"splitFraction", 0.3},
        {"inspectorWidth", 400.0},
        {"toolbarCompact", false},
        {"toolbarApps", QVariantList{"a.desktop"}},
        {"quickFavorites", QVariantList{"/srv/q"}},
        {"userFavorites", QVariantList{"/srv/u"}},
        {"hiddenFavorites", QVariantList{"/srv/h"}},
        {"rulesAuto", true},
        {"cleanRules", QByteArray("[]")},
        {"showHidden", true},
        {"startFolder", "home"},
        {"keyboardLayout", "us"},
        {"view.left", "icons"},
        {"view.right", "list"},
        {"sort.left", "size"},
        {"sort.right", "date"},
        {"sortReversed.left", true},
        {"lastPath.left", "/srv"},
        {"lastPath.right", "/srv"},
        {"trashOrigins", QVariantList{"t"}},
    };
    return values;
}

// What each reset puts back: a value, or an invalid QVariant for a key that is removed.
QVariantMap expected(R group) {
    const QVariantMap general{{"language", AppLanguages::rawValue(AppLanguages::system())},
                              {"startFolder", QVariant()},
                              {"keyboardLayout", QVariant()}};
    const QVariantMap appearance{
        {"theme", "nebula"}, {"fontSize", 13.0}, {"folderIcons", "finder"}, {"appearance", "system"}};
    const QVariantMap window{{"dualPane", true},
                             {"showSidebar", true},
                             {"showInspector", false},
                             {"splitFraction", 0.5},
                             {"inspectorWidth", 290.0}};
    const QVariantMap look{{"toolbarCompact", true}};
    const QVariantMap file{{"showHidden", false}, {"rulesAuto", false}};
    switch (group) {
    case R::general:
        return general;
    case R::appearance:
        return appearance;
    case R::window:
        return window;
    case R::toolbarLook:
        return look;
    case R::file:
        return file;
    default: {
        QVariantMap all = general;
        for (const QVariantMap &m : {appearance, window, look, file})
            all.insert(m);
        all.insert("toolbarApps", QVariantList());
        return all;
    }
    }
}

class SettingsResetTest : public ::testing::Test {
protected:
    void SetUp() override { TestUtil::freshSettings(); }
    void TearDown() override {
        Lang::setCurrent(m_language);
        FileLoader::setShowHidden(m_hidden);
        TestUtil::freshSettings();
    }
    static void storeChanged() {
        for (auto it = changed().begin(); it != changed().end(); ++it)
            Defaults::setValue(it.key(), it.value());
        Lang::resetForTests();
    }
    // Every key keeps its changed value except those of the reset, which hold what the reset puts back.
    static void expectOnly(const QVariantMap &reset) {
        for (auto it = changed().begin(); it != changed().end(); ++it) {
            const QVariant want = reset.contains(it.key()) ? reset[it.key()] : it.value();
            const QVariant stored = Defaults::value(it.key());
            if (want.typeId() == QMetaType::QVariantList)
                EXPECT_EQ(stored.toList(), want.toList()) << qPrintable(it.key());
            else
                EXPECT_EQ(stored, want) << qPrintable(it.key());
        }
    }

    AppLanguage m_language = Lang::current();
    bool m_hidden = FileLoader::showHidden();
};

} // namespace

// Each page reset and the reset of everything change exactly their keys, after the question.
TEST_F(SettingsResetTest, EachResetTouchesExactlyItsKeys) {
    const std::pair<R, QString> pages[] = {{R::general, "Der Bereich wurde zurückgesetzt."},
                                           {R::appearance, "Der Bereich wurde zurückgesetzt."},
                                           {R::window, "Der Bereich wurde zurückgesetzt."},
                                           {R::toolbarLook, "Der Bereich wurde zurückgesetzt."},
                                           {R::file, "Der Bereich wurde zurückgesetzt."},
                                           {R::none, "Alle Einstellungen wurden zurückgesetzt."}};
    for (const auto &[group, toast] : pages) {
        SCOPED_TRACE(int(group));
        TestUtil::freshSettings();
        storeChanged();
        ScriptedDialogs d;
        AppState app(Services(d.dialogs()));
        SettingsCommands commands(&app);
        d.answers = {AlertAnswer(AlertRole::confirm)};
        if (group == R::none)
            commands.resetAll();
        else
            commands.resetPage(group, "Allgemein zurücksetzen?", "x");
        ASSERT_EQ(d.alerts.size(), 1);
        EXPECT_EQ(d.alerts[0].style, Alert::Style::warning);
        ASSERT_EQ(d.alerts[0].buttons.size(), 2);
        EXPECT_EQ(d.alerts[0].buttons[0].role, AlertRole::cancel);
        EXPECT_EQ(d.alerts[0].buttons[1].role, AlertRole::confirm); // never drawn red
        ASSERT_TRUE(app.toast());
        EXPECT_EQ(app.toast()->text, L(toast));
        EXPECT_FALSE(app.toast()->isError);
        app.settings().save();
        Defaults::resetForTests();
        expectOnly(expected(group));
    }
}

// Removing the toolbar's apps empties that list only; cancelling any question changes nothing.
TEST_F(SettingsResetTest, RemovingAppsAndCancelling) {
    storeChanged();
    ScriptedDialogs d;
    AppState app(Services(d.dialogs()));
    SettingsCommands commands(&app);
    d.answers = {AlertAnswer(AlertRole::cancel), AlertAnswer(AlertRole::closed),
                 AlertAnswer(AlertRole::cancel)};
    commands.resetAll();
    commands.resetPage(R::window, "Fenster zurücksetzen?", "x");
    commands.removeAllToolbarApps();
    EXPECT_FALSE(app.toast());
    app.settings().save();
    Defaults::resetForTests();
    expectOnly({});

    d.answers = {AlertAnswer(AlertRole::confirm)};
    commands.removeAllToolbarApps();
    EXPECT_EQ(app.toast()->text, L("Die Apps wurden aus der Leiste entfernt."));
    app.settings().save();
    Defaults::resetForTests();
    expectOnly({{"toolbarApps", QVariantList()}});
}

// After the general reset the two keys are gone, not stored with their defaults, and read as them.
TEST_F(SettingsResetTest, GeneralResetRemovesItsTwoKeys) {
    storeChanged();
    AppState app;
    EXPECT_EQ(app.settings().keyboardLayout(), "us");
    app.settings().reset(R::general);
    EXPECT_EQ(app.settings().keyboardLayout(), "auto");
    EXPECT_EQ(app.settings().startFolder(), "last");
    app.settings().save();
    EXPECT_FALSE(Defaults::contains("keyboardLayout"));
    EXPECT_FALSE(Defaults::contains("startFolder"));
    EXPECT_EQ(Lang::current(), AppLanguages::system());
}
