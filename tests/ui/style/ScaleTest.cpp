#include "core/app/Defaults.h"
#include "ui/style/EnvironmentValues.h"

#include <QSignalSpy>
#include <QWidget>
#include <gtest/gtest.h>

TEST(UIScaleTest, DerivedSizes) {
    struct Row {
        double font, small, row, icon;
    };
    const Row rows[] = {{10, 10, 19, 14},   {11, 10, 20, 15},   {11.5, 10, 21, 16},
                        {13, 11.5, 24, 18}, {16, 14.5, 30, 22}, {18, 16.5, 33, 25}};
    for (const Row &r : rows) {
        const UIScale ui{r.font, true};
        EXPECT_DOUBLE_EQ(ui.small(), r.small) << r.font;
        EXPECT_DOUBLE_EQ(ui.row(), r.row) << r.font;
        EXPECT_DOUBLE_EQ(ui.icon(), r.icon) << r.font;
    }
    EXPECT_EQ(UIScale(), (UIScale{13, true}));
    EXPECT_NE((UIScale{13, true}), (UIScale{13, false}));
}

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
    env->setAppTheme(AppTheme::named("wald"));
    env->setUi(UIScale{16, false});
    EXPECT_EQ(EnvironmentValues::appTheme(leaf).id, "wald");
    EXPECT_EQ(EnvironmentValues::ui(leaf).font, 16);

    // A nested root (a sheet) overrides its window's values for its own children.
    EnvironmentValues *sheet = EnvironmentValues::install(inner);
    EXPECT_EQ(EnvironmentValues::appTheme(leaf).id, "nebula");
    EXPECT_EQ(EnvironmentValues::of(leaf), sheet);
    EXPECT_EQ(EnvironmentValues::of(&root), env);

    delete sheet;
    EXPECT_EQ(EnvironmentValues::appTheme(leaf).id, "wald");
}

TEST(EnvironmentTest, EqualValuesDoNotNotify) {
    QWidget root;
    EnvironmentValues *env = EnvironmentValues::install(&root);
    QSignalSpy themeSpy(env, &EnvironmentValues::appThemeChanged);
    QSignalSpy uiSpy(env, &EnvironmentValues::uiChanged);
    env->setAppTheme(AppTheme::named("nebula"));
    env->setUi(UIScale());
    EXPECT_EQ(themeSpy.count(), 0);
    EXPECT_EQ(uiSpy.count(), 0);
    env->setUi(UIScale{13, false});
    env->setAppTheme(AppTheme::named("oliv"));
    EXPECT_EQ(themeSpy.count(), 1);
    EXPECT_EQ(uiSpy.count(), 1);
}

TEST(EnvironmentTest, ValuesFromSettings) {
    EXPECT_EQ(EnvironmentValues::themeFromSettings().id, "nebula");
    EXPECT_EQ(EnvironmentValues::uiFromSettings(), UIScale());

    Defaults::setValue("theme", "burgund");
    Defaults::setValue("fontSize", 18.0);
    Defaults::setValue("folderIcons", "theme");
    EXPECT_EQ(EnvironmentValues::themeFromSettings().id, "burgund");
    EXPECT_EQ(EnvironmentValues::uiFromSettings(), (UIScale{18, false}));
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
    Defaults::setValue("fontSize", 10.0);
    EXPECT_EQ(EnvironmentValues::uiFromSettings().font, 10);
    EXPECT_EQ(EnvironmentValues::themeFromSettings().id, "nebula");
    for (const char *key : {"theme", "fontSize", "folderIcons"})
        Defaults::remove(key);
}
