#include "ui/style/AppTheme.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

// QColor keeps 16 bits per channel; compare in floating point with a little slack.
void expectColor(const QColor &actual, double r, double g, double b, double a = 1.0) {
    EXPECT_NEAR(actual.redF(), r, 0.002);
    EXPECT_NEAR(actual.greenF(), g, 0.002);
    EXPECT_NEAR(actual.blueF(), b, 0.002);
    EXPECT_NEAR(actual.alphaF(), a, 0.002);
}

void expectMix(const QColor &actual, const QColor &base, double target, double t) {
    expectColor(actual, base.redF() * (1 - t) + target * t, base.greenF() * (1 - t) + target * t,
                base.blueF() * (1 - t) + target * t);
}

} // namespace

TEST(AppThemeTest, NineThemesInPickerOrderWithTheirColours) {
    const auto &all = AppTheme::all();
    ASSERT_EQ(all.size(), 9);
    const QStringList ids = {"nebula", "lagune",  "ozean",     "sonnenuntergang", "wald",
                             "oliv",   "burgund", "hellbraun", "graphit"};
    const quint32 colours[9][2] = {{0x8B5CF6, 0x14B8C4}, {0x14B8A6, 0x8B7CF6}, {0x2B9CE8, 0x4F6BF2},
                                   {0xF0617A, 0xF59E0B}, {0x22B07D, 0x84CC16}, {0xA3AE3F, 0x66792A},
                                   {0xB8344F, 0x7A1D35}, {0xD0A06A, 0x9C6A3E}, {0x6B7686, 0x9AA6B8}};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(all[i].id, ids[i]);
        EXPECT_EQ(all[i].name.toLower(), ids[i]);
        EXPECT_EQ(all[i].a.rgba(), 0xFF000000 | colours[i][0]) << i;
        EXPECT_EQ(all[i].b.rgba(), 0xFF000000 | colours[i][1]) << i;
    }
    EXPECT_EQ(all[3].name, "Sonnenuntergang");
}

TEST(AppThemeTest, NamedFallsBackToNebula) {
    EXPECT_EQ(AppTheme::named("graphit"), AppTheme::all()[8]);
    for (const char *id : {"Graphit", "", "nope", "nebula "})
        EXPECT_EQ(AppTheme::named(id).id, "nebula") << id;
}

TEST(AppThemeTest, HexIgnoresTopByte) {
    EXPECT_EQ(colorFromHex(0xAB8B5CF6), colorFromHex(0x8B5CF6));
    expectColor(colorFromHex(0x336699), 0x33 / 255.0, 0x66 / 255.0, 0x99 / 255.0);
}

TEST(AppThemeTest, GradientRunsDiagonallyWithOpacity) {
    const AppTheme &t = AppTheme::named("ozean");
    const QLinearGradient full = t.gradient(QRectF(0, 0, 100, 20));
    EXPECT_EQ(full.start(), QPointF(0, 0));
    EXPECT_EQ(full.finalStop(), QPointF(100, 20));
    ASSERT_EQ(full.stops().size(), 2);
    EXPECT_EQ(full.stops()[0].second, t.a);
    EXPECT_EQ(full.stops()[1].second, t.b);
    const QLinearGradient faint = t.gradient(QRectF(0, 0, 100, 20), 0.28);
    EXPECT_NEAR(faint.stops()[0].second.alphaF(), 0.28, 0.002);
    EXPECT_NEAR(faint.stops()[1].second.alphaF(), 0.28, 0.002);
}

TEST(AppThemeTest, OnlyBurgundGetsWhiteOnAccent) {
    for (const AppTheme &t : AppTheme::all()) {
        const QColor c = t.onAccent();
        if (t.id == "burgund")
            expectColor(c, 1, 1, 1);
        else
            expectColor(c, 0, 0, 0, 0.88);
    }
    const auto mean = [](const AppTheme &t) {
        return (AppTheme::luminance(t.a) + AppTheme::luminance(t.b)) / 2;
    };
    EXPECT_NEAR(mean(AppTheme::named("nebula")), 0.291, 0.001);
    EXPECT_NEAR(mean(AppTheme::named("burgund")), 0.092, 0.001);
}

TEST(AppThemeTest, ReadableStepsTowardsContrast) {
    const AppTheme &nebula = AppTheme::named("nebula");
    EXPECT_EQ(nebula.readable(ColorScheme::dark), nebula.b);
    expectMix(nebula.readable(ColorScheme::light), nebula.a, 0, 0.04);
    const AppTheme &burgund = AppTheme::named("burgund");
    expectMix(burgund.readable(ColorScheme::dark), burgund.a, 1, 0.28);
    const AppTheme &wald = AppTheme::named("wald");
    expectMix(wald.readable(ColorScheme::light), wald.a, 0, 0.24);
    const AppTheme &oliv = AppTheme::named("oliv");
    EXPECT_EQ(oliv.readable(ColorScheme::light), oliv.b);

    for (const AppTheme &t : AppTheme::all())
        for (ColorScheme s : {ColorScheme::light, ColorScheme::dark}) {
            const QColor c = t.readable(s, 1);
            EXPECT_TRUE(c == t.a || c == t.b) << t.id.toStdString();
            // Whatever is returned for 4.5 really reaches it.
            const double bg = s == ColorScheme::dark ? 0.013 : 1.0;
            EXPECT_GE(AppTheme::contrastRatio(AppTheme::luminance(t.readable(s)), bg), 4.5 - 0.01);
        }
}

TEST(AppThemeTest, UnreachableContrastGivesWhiteOrBlack) {
    const AppTheme &t = AppTheme::named("lagune");
    expectColor(t.readable(ColorScheme::dark, 17), 1, 1, 1);
    expectColor(t.readable(ColorScheme::light, 22), 0, 0, 0);
}

// The accent strip of a pane: the theme gradient across a thin bar, in a light and a dark window.
TEST(AppThemeTest, AccentStripsShowBothColours) {
    for (const QColor &window : {QColor(246, 246, 246), QColor(30, 30, 30)}) {
        for (const AppTheme &t : AppTheme::all()) {
            QImage strip(300, 4, QImage::Format_ARGB32);
            strip.fill(window);
            QPainter p(&strip);
            p.fillRect(strip.rect(), t.gradient(strip.rect()));
            p.end();
            const auto near = [](QColor x, QColor y) {
                return qAbs(x.red() - y.red()) <= 3 && qAbs(x.green() - y.green()) <= 3 &&
                       qAbs(x.blue() - y.blue()) <= 3;
            };
            EXPECT_TRUE(near(strip.pixelColor(0, 0), t.a)) << t.id.toStdString();
            EXPECT_TRUE(near(strip.pixelColor(299, 3), t.b)) << t.id.toStdString();
        }
    }
}
