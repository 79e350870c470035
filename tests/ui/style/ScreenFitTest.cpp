#include "ui/style/ScreenFit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <gtest/gtest.h>

using namespace ScreenFit;

TEST(ScreenFitTest, SizesShrinkAndFramesArePushedInside) {
    EXPECT_EQ(width(900, 60, QRect(0, 0, 1440, 900)), 900);
    EXPECT_EQ(width(1200, 60, QRect(0, 0, 1000, 700)), 940);
    EXPECT_EQ(height(900, 110, QRect(0, 0, 500, 300)), 380);
    EXPECT_EQ(width(5000), width(5000, 60, visible()));

    const QRect v(0, 25, 1440, 850);
    EXPECT_EQ(fitted(QRect(100, 100, 800, 600), v), QRect(100, 100, 800, 600));
    EXPECT_EQ(fitted(QRect(1000, 100, 800, 600), v), QRect(640, 100, 800, 600));
    EXPECT_EQ(fitted(QRect(100, 300, 800, 2000), v), QRect(100, 25, 800, 850));
    EXPECT_EQ(fitted(QRect(-10, -10, 3000, 3000), v), v);
    // An area not at the origin (a second screen).
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

    QWidget zoomed;
    const QRect off(avail.x() + avail.width() + 50, avail.y(), 300, 200);
    zoomed.setGeometry(off);
    zoomed.setWindowState(Qt::WindowMaximized);
    fit(&zoomed);
    EXPECT_EQ(zoomed.geometry(), off);
    fit(nullptr); // harmless
}
