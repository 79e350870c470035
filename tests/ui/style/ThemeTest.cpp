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

TEST(AppThemeTest, NamedFallsBackToNebula) {
    EXPECT_EQ(AppTheme::named("graphit"), AppTheme::all()[8]);
    for (const char *id : {"Graphit", "", "nope", "nebula "})
        EXPECT_EQ(AppTheme::named(id).id, "nebula") << id;
}

TEST(AppThemeTest, GradientRunsDiagonallyWithOpacity) {
    const AppTheme &t = AppTheme::named("ozean");
    const QLinearGradient full = t.gradient(QRectF(0, 0, 100, 20));
    EXPECT_EQ(full.finalStop(), QPointF(100, 20)); // the colours at both ends: the accent strip test
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
