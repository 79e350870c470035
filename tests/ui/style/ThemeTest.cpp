#include "ui/style/AppTheme.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

TEST(AppThemeTest, NamedFallsBackAndReadableReachesContrast) {
    EXPECT_EQ(AppTheme::named("graphit"), AppTheme::all()[8]);
    for (const char *id : {"Graphit", "", "nebula "})
        EXPECT_EQ(AppTheme::named(id).id, "nebula") << id;

    for (const AppTheme &t : AppTheme::all())
        for (ColorScheme s : {ColorScheme::light, ColorScheme::dark}) {
            const QColor c = t.readable(s, 1);
            EXPECT_TRUE(c == t.a || c == t.b) << t.id.toStdString();
            // Whatever is returned for 4.5 really reaches it.
            const double bg = s == ColorScheme::dark ? 0.013 : 1.0;
            EXPECT_GE(AppTheme::contrastRatio(AppTheme::luminance(t.readable(s)), bg), 4.5 - 0.01);
        }
    // Unreachable: white on dark, black on light.
    const AppTheme &t = AppTheme::named("lagune");
    EXPECT_EQ(t.readable(ColorScheme::dark, 17).rgb(), qRgb(255, 255, 255));
    EXPECT_EQ(t.readable(ColorScheme::light, 22).rgb(), qRgb(0, 0, 0));
}

// The accent strip of a pane: the theme gradient across a thin bar, in a light and a dark window.
TEST(AppThemeTest, AccentStripsShowBothColours) {
    const auto near = [](QColor x, QColor y) {
        return qAbs(x.red() - y.red()) <= 3 && qAbs(x.green() - y.green()) <= 3 &&
               qAbs(x.blue() - y.blue()) <= 3;
    };
    for (const QColor &window : {QColor(246, 246, 246), QColor(30, 30, 30)})
        for (const AppTheme &t : AppTheme::all()) {
            QImage strip(300, 4, QImage::Format_ARGB32);
            strip.fill(window);
            QPainter p(&strip);
            p.fillRect(strip.rect(), t.gradient(strip.rect()));
            p.end();
            EXPECT_TRUE(near(strip.pixelColor(0, 0), t.a)) << t.id.toStdString();
            EXPECT_TRUE(near(strip.pixelColor(299, 3), t.b)) << t.id.toStdString();
        }
}
