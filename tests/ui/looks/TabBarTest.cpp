#include "common/TestUtil.h"
#include "core/model/PaneModel.h"
#include "core/model/TabGroup.h"
#include "ui/style/ButtonStyles.h"
#include "ui/style/EnvironmentValues.h"
#include "ui/window/TabBar.h"

#include <QEnterEvent>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace {

class TabBarTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char *name : {"Alpha", "Beta", "Gamma"}) {
            QDir(dir.path()).mkdir(QLatin1String(name));
            paths << dir.path() + u'/' + QLatin1String(name);
        }
        group = std::make_unique<TabGroup>(Side::left, paths[0]);
        group->newTab(paths[1]);
        group->newTab(paths[2]);
        group->select(1);
        root.resize(600, 40);
        EnvironmentValues::install(&root);
        bar = new TabBar(group.get(), &root);
        bar->setGeometry(0, 0, 600, TabBar::barHeight);
        root.show();
        QCoreApplication::processEvents();
    }
    void hover(QWidget *w, bool in) {
        if (in) {
            QEnterEvent e(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
            QCoreApplication::sendEvent(w, &e);
        } else {
            QEvent e(QEvent::Leave);
            QCoreApplication::sendEvent(w, &e);
        }
    }
    QTemporaryDir dir;
    QStringList paths;
    std::unique_ptr<TabGroup> group;
    QWidget root;
    TabBar *bar = nullptr;
};

QColor at(const QImage &img, QPoint p) {
    return QColor(img.pixel(p));
}

} // namespace

// Three tabs, the second selected, the third hovered.
TEST_F(TabBarTest, ThreeTabsOneHoveredOneSelected) {
    QList<TabButton *> buttons = bar->buttons();
    ASSERT_EQ(buttons.size(), 3);
    EXPECT_EQ(buttons[0]->title(), QStringLiteral("Alpha"));
    EXPECT_TRUE(buttons[1]->isSelected());
    EXPECT_FALSE(buttons[0]->isSelected());
    hover(buttons[0], false); // wherever the pointer of the test platform is
    hover(buttons[1], false);
    hover(buttons[2], true);
    EXPECT_TRUE(buttons[2]->isHovered());

    const QImage shot = bar->grab().toImage();
    const QColor barColour = at(shot, QPoint(590, 14));
    auto inside = [&](TabButton *b, int dx) { return b->geometry().topLeft() + QPoint(dx, 3); };
    // The selected tab: the theme gradient behind it, its close button drawn.
    const QColor selected = at(shot, inside(buttons[1], buttons[1]->width() / 2));
    EXPECT_NE(selected, barColour);
    EXPECT_GT(selected.saturation(), 25);
    // The hovered tab: a faint grey; the plain one: nothing.
    const QColor hovered = at(shot, inside(buttons[2], 3));
    EXPECT_NE(hovered, barColour);
    EXPECT_LT(hovered.saturation(), 20);
    EXPECT_EQ(at(shot, inside(buttons[0], 3)), barColour);
    auto closeInk = [&](TabButton *b) {
        const QRect r = b->closeRect().translated(b->geometry().topLeft());
        int ink = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                ink += at(shot, QPoint(x, y)) != at(shot, QPoint(r.left(), r.top()));
        return ink;
    };
    EXPECT_GT(closeInk(buttons[1]), 0);
    EXPECT_GT(closeInk(buttons[2]), 0);
    EXPECT_EQ(closeInk(buttons[0]), 0);

    // Closing the first tab keeps the other buttons, hover state included.
    group->close(0);
    buttons = bar->buttons();
    ASSERT_EQ(buttons.size(), 2);
    EXPECT_TRUE(buttons[1]->isHovered());
    EXPECT_EQ(buttons[1]->index(), 1);
    EXPECT_EQ(buttons[1]->title(), QStringLiteral("Gamma"));
}

TEST_F(TabBarTest, ClicksSelectCloseAndOpen) {
    QList<TabButton *> buttons = bar->buttons();
    QTest::mouseClick(buttons[2], Qt::LeftButton, {}, buttons[2]->titleRect().center());
    EXPECT_EQ(group->index(), 2);
    QTest::mouseClick(buttons[0], Qt::LeftButton, {}, buttons[0]->closeRect().center());
    EXPECT_EQ(group->tabs()[0]->currentPath(), paths[1]);

    bar->newTabButton()->click();
    ASSERT_EQ(group->tabs().size(), 3);
    EXPECT_EQ(group->index(), 2);
    EXPECT_EQ(group->tabs()[2]->currentPath(), group->tabs()[1]->currentPath());

    // A long folder name is cut in the button, not in its title.
    const QString longName = QString(60, u'W');
    QDir(dir.path()).mkdir(longName);
    group->current()->go(dir.path() + u'/' + longName);
    QCoreApplication::processEvents();
    EXPECT_EQ(bar->buttons()[2]->title(), longName);
    EXPECT_LT(bar->buttons()[2]->sizeHint().width(), bar->fontMetrics().horizontalAdvance(longName));

    // Down to one tab: no close button.
    group->close(0);
    group->close(0);
    QCoreApplication::processEvents();
    ASSERT_EQ(bar->buttons().size(), 1);
    EXPECT_FALSE(bar->buttons()[0]->hasCloseButton());
}
