#include "ui/window/MainWindow.h"

#include <QSplitter>
#include <gtest/gtest.h>

TEST(MainWindow, TitleSizesAndTwoPanes) {
    MainWindow w;
    w.show();
    EXPECT_EQ(w.windowTitle(), "Kestrin");
    EXPECT_EQ(w.size(), QSize(1400, 820));
    EXPECT_EQ(w.minimumSize(), QSize(900, 460));
    EXPECT_EQ(w.paneSplit()->count(), 2);
}
