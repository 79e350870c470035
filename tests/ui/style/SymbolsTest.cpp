#include "ui/style/Symbols.h"

#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(SymbolsTest, UnknownNamesAndZeroSizesDrawNothing) {
    EXPECT_TRUE(Symbols::icon("no.such.symbol").isNull());
    EXPECT_TRUE(Symbols::pixmap("no.such.symbol", 16, Qt::black).isNull());
    EXPECT_TRUE(Symbols::pixmap("plus", 0, Qt::black).isNull());
}

// Without any icon theme every symbol still draws, from the bundled SVGs, in the asked colour.
TEST(SymbolsTest, EverySymbolDrawsWithoutAnIconTheme) {
    QTemporaryDir empty;
    const QStringList oldPaths = QIcon::themeSearchPaths();
    const QString oldTheme = QIcon::themeName();
    QIcon::setThemeSearchPaths({empty.path()});
    QIcon::setThemeName(QStringLiteral("kestrin-none"));

    const QColor colour(200, 30, 90);
    for (const QString &name : Symbols::known()) {
        EXPECT_FALSE(Symbols::bundledPath(name).isEmpty()) << name.toStdString();
        const QImage img = Symbols::pixmap(name, 18, colour).toImage();
        ASSERT_FALSE(img.isNull()) << name.toStdString();
        EXPECT_EQ(img.width(), 18);
        int opaque = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QColor c = img.pixelColor(x, y);
                if (c.alpha() > 100) {
                    ++opaque;
                    EXPECT_NEAR(c.red(), colour.red(), 3) << name.toStdString();
                    EXPECT_NEAR(c.green(), colour.green(), 3) << name.toStdString();
                    EXPECT_NEAR(c.blue(), colour.blue(), 3) << name.toStdString();
                }
            }
        EXPECT_GT(opaque, 4) << name.toStdString();
    }
    QIcon::setThemeSearchPaths(oldPaths);
    QIcon::setThemeName(oldTheme);
}
