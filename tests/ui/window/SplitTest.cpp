#include "ui/window/PaneSplit.h"
#include "ui/window/SplitHandles.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>

TEST(PaneSplit, WidthsForARangeOfAreas) {
    using PaneSplit::widths;
    EXPECT_EQ(widths(1007, 0.5, Side::left), (PaneWidths{500, 500}));
    EXPECT_EQ(widths(707, 0.5, Side::left), (PaneWidths{350, 350}));
    EXPECT_EQ(widths(1007, 0.2, Side::left), (PaneWidths{260, 740}));
    EXPECT_EQ(widths(1007, 0.8, Side::left), (PaneWidths{740, 260}));
    EXPECT_EQ(widths(527, 0.7, Side::right), (PaneWidths{260, 260}));
    for (int area : {0, 5, 100, 207, 407, 526, 527, 900, 2000})
        for (double f : {0.2, 0.5, 0.8})
            for (Side side : {Side::left, Side::right}) {
                const PaneWidths w = widths(area, f, side);
                const int avail = std::max(area - 7, 0);
                // Never wider than the area, never negative, always filling it.
                EXPECT_EQ(w.left + w.right, avail);
                EXPECT_GE(w.left, 0);
                EXPECT_GE(w.right, 0);
                // The active pane keeps a width wherever there is any.
                const int active = side == Side::left ? w.left : w.right;
                if (avail > 0) {
                    EXPECT_GT(active, 0) << area << " " << f;
                }
            }
    // A narrow area: the active pane keeps 260, the other gets the rest.
    EXPECT_EQ(widths(407, 0.5, Side::left), (PaneWidths{260, 140}));
    EXPECT_EQ(widths(407, 0.5, Side::right), (PaneWidths{140, 260}));
    EXPECT_EQ(widths(207, 0.5, Side::left), (PaneWidths{200, 0}));
}

namespace {
struct Value {
    double v;
};
void drag(QWidget *w, int dx) {
    const QPoint start(3, 50);
    QTest::mousePress(w, Qt::LeftButton, Qt::NoModifier, start);
    QMouseEvent move(QEvent::MouseMove, QPointF(start + QPoint(dx, 0)),
                     w->mapToGlobal(QPointF(start + QPoint(dx, 0))), Qt::LeftButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(w, &move);
    QTest::mouseRelease(w, Qt::LeftButton, Qt::NoModifier, start + QPoint(dx, 0));
}
} // namespace

TEST(SplitHandles, SplitDragIsClampedAndDoubleClickResets) {
    Value value{0.5};
    SplitHandle handle([&] { return value.v; }, [&](double v) { value.v = v; });
    handle.resize(7, 100);
    handle.setTotal(1000);
    drag(&handle, 100);
    EXPECT_DOUBLE_EQ(value.v, 0.6);
    drag(&handle, 400);
    EXPECT_DOUBLE_EQ(value.v, 0.8);
    value.v = 0.5;
    drag(&handle, -400);
    EXPECT_DOUBLE_EQ(value.v, 0.2);
    QTest::mouseDClick(&handle, Qt::LeftButton);
    EXPECT_DOUBLE_EQ(value.v, 0.5);
    handle.setTotal(0);
    drag(&handle, 100);
    EXPECT_DOUBLE_EQ(value.v, 0.5);
    EXPECT_FALSE(handle.isActive());
}

TEST(SplitHandles, InspectorDragWidensToTheLeft) {
    Value value{290};
    InspectorResizeHandle handle([&] { return value.v; }, [&](double v) { value.v = v; });
    handle.resize(7, 100);
    drag(&handle, -50);
    EXPECT_DOUBLE_EQ(value.v, 340);
    value.v = 290;
    drag(&handle, 100);
    EXPECT_DOUBLE_EQ(value.v, 220);
    drag(&handle, -1000);
    EXPECT_DOUBLE_EQ(value.v, 520);
    QTest::mouseDClick(&handle, Qt::LeftButton);
    EXPECT_DOUBLE_EQ(value.v, 290);
}
