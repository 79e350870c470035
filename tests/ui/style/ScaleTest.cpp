#include "core/base/Defaults.h"
#include "ui/style/EnvironmentValues.h"

#include <QSignalSpy>
#include <QWidget>
#include <gtest/gtest.h>

TEST(EnvironmentTest, ViewsReadTheNearestRootOrTheDefaults) {
    QWidget loose;
    EXPECT_EQ(EnvironmentValues::appTheme(&loose).id, "nebula");
    EXPECT_EQ(EnvironmentValues::ui(&loose), UIScale());
    EXPECT_EQ(EnvironmentValues::of(nullptr), nullptr);

    QWidget root;
    auto *inner = new QWidget(&root);
    auto *leaf = new QWidget(inner);
    EnvironmentValues *env = EnvironmentValues::install(&root);
    EXPECT_EQ(EnvironmentValues::install(&root), env);
    QSignalSpy themeSpy(env, &EnvironmentValues::appThemeChanged);
    QSignalSpy uiSpy(env, &EnvironmentValues::uiChanged);
    env->setAppTheme(AppTheme::named("nebula")); // equal values do not notify
    env->setUi(UIScale());
    env->setAppTheme(AppTheme::named("wald"));
    env->setUi(UIScale{16, false});
    EXPECT_EQ(themeSpy.count(), 1);
    EXPECT_EQ(uiSpy.count(), 1);
    EXPECT_EQ(EnvironmentValues::appTheme(leaf).id, "wald");
    EXPECT_EQ(EnvironmentValues::ui(leaf).font, 16);

    // A nested root (a sheet) overrides its window's values for its own children.
    EnvironmentValues *sheet = EnvironmentValues::install(inner);
    EXPECT_EQ(EnvironmentValues::appTheme(leaf).id, "nebula");
    EXPECT_EQ(EnvironmentValues::of(leaf), sheet);
    delete sheet;
    EXPECT_EQ(EnvironmentValues::appTheme(leaf).id, "wald");
}

TEST(EnvironmentTest, ValuesFromSettings) {
    Defaults::setValue("theme", "burgund");
    Defaults::setValue("fontSize", 18.0);
    Defaults::setValue("folderIcons", "theme");
    QWidget root;
    EnvironmentValues *env = EnvironmentValues::install(&root);
    env->applySettings();
    EXPECT_EQ(env->appTheme().id, "burgund");
    EXPECT_EQ(env->ui(), (UIScale{18, false}));

    // Out of bounds falls back to 13, not to the nearer bound; unknown themes to the first one.
    Defaults::setValue("theme", "Burgund");
    for (double bad : {9.0, 19.0, 0.0}) {
        Defaults::setValue("fontSize", bad);
        EXPECT_EQ(EnvironmentValues::uiFromSettings().font, 13) << bad;
    }
    EXPECT_EQ(EnvironmentValues::themeFromSettings().id, "nebula");
    for (const char *key : {"theme", "fontSize", "folderIcons"})
        Defaults::remove(key);
}
