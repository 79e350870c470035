#include "ui/style/ScreenFit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <gtest/gtest.h>

using namespace ScreenFit;

TEST(ScreenFitTest, PreferredSizesShrinkWithTheScreen) {
    EXPECT_EQ(width(900, 60, QRect(0, 0, 1440, 900)), 900);
    EXPECT_EQ(width(1200, 60, QRect(0, 0, 1000, 700)), 940);
    EXPECT_EQ(width(900, 60, QRect(0, 0, 500, 400)), 480);
    EXPECT_EQ(height(780, 110, QRect(0, 0, 1440, 800)), 690);
    EXPECT_EQ(height(780, 0, QRect(0, 0, 1440, 800)), 780);
    EXPECT_EQ(height(900, 110, QRect(0, 0, 500, 300)), 380);
    // The area assumed without any screen.
    const QRect none(0, 0, 1280, 720);
    EXPECT_EQ(width(2000, 60, none), 1220);
    EXPECT_EQ(height(2000, 110, none), 610);
    // The screen-reading forms agree with the pure ones.
    EXPECT_EQ(width(5000), width(5000, 60, visible()));
    EXPECT_EQ(height(5000), height(5000, 110, visible()));
}

TEST(ScreenFitTest, FramesArePushedInside) {
    const QRect v(0, 25, 1440, 850);
    // Fits: unchanged.
    EXPECT_EQ(fitted(QRect(100, 100, 800, 600), v), QRect(100, 100, 800, 600));
    // Hanging off the right edge: moved left until its right edge meets the area's.
    EXPECT_EQ(fitted(QRect(1000, 100, 800, 600), v), QRect(640, 100, 800, 600));
    // Taller than the area: exactly its height, at its edge.
    EXPECT_EQ(fitted(QRect(100, 300, 800, 2000), v), QRect(100, 25, 800, 850));
    // Above and left of the area: pulled in.
    EXPECT_EQ(fitted(QRect(-50, -40, 200, 100), v), QRect(0, 25, 200, 100));
    // Larger than the area both ways: the whole area.
    EXPECT_EQ(fitted(QRect(-10, -10, 3000, 3000), v), v);
    // An area not at the origin (a second screen).
    EXPECT_EQ(fitted(QRect(2500, 0, 800, 600), QRect(1440, 0, 1920, 1080)), QRect(2500, 0, 800, 600));
    EXPECT_EQ(fitted(QRect(3000, 900, 800, 600), QRect(1440, 0, 1920, 1080)), QRect(2560, 480, 800, 600));
}

TEST(ScreenFitTest, FitMovesWindowsButLeavesMaximisedOnesAlone) {
    QScreen *screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const QRect avail = screen->availableGeometry();

    QWidget window;
    window.setGeometry(avail.x() + avail.width() - 100, avail.y() + 10, 300, 200);
    window.show();
    fit(&window);
    EXPECT_TRUE(avail.contains(window.frameGeometry())) << window.frameGeometry().x();
    EXPECT_EQ(window.width(), 300);

    QWidget zoomed;
    const QRect off(avail.x() + avail.width() + 50, avail.y(), 300, 200);
    zoomed.setGeometry(off);
    zoomed.setWindowState(Qt::WindowMaximized);
    fit(&zoomed);
    EXPECT_EQ(zoomed.geometry(), off);

    fit(nullptr); // harmless
}
