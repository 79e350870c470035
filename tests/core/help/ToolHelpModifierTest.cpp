#include "common/FakeHelpClock.h"
#include "core/help/ToolHelpModifier.h"

#include <QTest>
#include <gtest/gtest.h>

namespace {

constexpr int show = ToolHelpModifier::showDelayMs;
constexpr int leave = ToolHelpModifier::leaveDelayMs;
constexpr int autoHide = ToolHelpModifier::autoHideMs;

class ToolHelpModifierTest : public ::testing::Test {
protected:
    void SetUp() override {
        QObject::connect(&card, &ToolHelpModifier::shownChanged,
                         [this](bool shown) { shows += shown ? 1 : 0; });
    }
    // Rests on the control until the card is open.
    void open() {
        card.setOverSymbol(true);
        clock.advance(show);
        ASSERT_TRUE(card.shown());
    }

    FakeHelpClock clock;
    ToolHelpModifier card{&clock};
    int shows = 0;
};

} // namespace

TEST_F(ToolHelpModifierTest, OpensOnlyWhenThePointerRestsOnTheControl) {
    card.setOverSymbol(true);
    clock.advance(show - 50);
    card.setOverSymbol(false);
    clock.advance(10 * autoHide);
    EXPECT_EQ(shows, 0) << "a pointer crossing the control opened a card";

    card.setOverSymbol(true);
    clock.advance(show - 1);
    EXPECT_FALSE(card.shown());
    clock.advance(1);
    EXPECT_TRUE(card.shown());
}

TEST_F(ToolHelpModifierTest, MovingFromTheControlToTheCardKeepsItOpenAndRestingOnTheCardKeepsItOpen) {
    open();
    card.setOverSymbol(false);
    clock.advance(leave - 50);
    card.setOverCard(true);
    clock.advance(3 * autoHide);
    EXPECT_TRUE(card.shown());
    EXPECT_EQ(shows, 1);

    // Back to the control: still open; leaving both closes it after the leave delay.
    card.setOverCard(false);
    card.setOverSymbol(true);
    clock.advance(leave + 10);
    EXPECT_TRUE(card.shown());
    card.setOverSymbol(false);
    clock.advance(leave - 1);
    EXPECT_TRUE(card.shown());
    clock.advance(1);
    EXPECT_FALSE(card.shown());
}

TEST_F(ToolHelpModifierTest, RestingOnTheControlClosesAfterTheAutomaticHideAndDoesNotReopen) {
    open();
    clock.advance(autoHide - 1);
    EXPECT_TRUE(card.shown());
    clock.advance(1);
    EXPECT_FALSE(card.shown());
    clock.advance(10 * autoHide);
    EXPECT_EQ(shows, 1);

    card.setOverSymbol(false);
    card.setOverSymbol(true);
    clock.advance(show);
    EXPECT_TRUE(card.shown()) << "leaving and entering again opens it";
}

TEST_F(ToolHelpModifierTest, EachHoverChangeWhileOpenRearmsTheAutomaticHide) {
    open();
    clock.advance(3000);
    card.setOverSymbol(false);
    card.setOverCard(true);
    card.setOverCard(false);
    card.setOverSymbol(true);
    clock.advance(autoHide - 1);
    EXPECT_TRUE(card.shown()) << "the hide armed at opening still ran";
    clock.advance(1);
    EXPECT_FALSE(card.shown());
}

TEST_F(ToolHelpModifierTest, ClicksAndLosingTheApplicationCloseTheCardAndDropAPendingShowing) {
    card.setOverSymbol(true);
    clock.advance(show - 100);
    card.controlClicked();
    clock.advance(10 * autoHide);
    EXPECT_EQ(shows, 0) << "a click on the control left the pending showing";

    card.setOverSymbol(false);
    open();
    card.controlClicked();
    EXPECT_FALSE(card.shown());

    card.setOverSymbol(false);
    open();
    card.dismiss();
    EXPECT_FALSE(card.shown());
    EXPECT_EQ(clock.pending(), 0u) << "an outside click leaves decisions pending";

    card.setOverSymbol(false);
    open();
    card.resignActive();
    EXPECT_FALSE(card.shown());
    clock.advance(10 * autoHide);
    EXPECT_FALSE(card.shown());
}

// The card closes under the pointer (its link was followed) and no leave arrives for it: the next card
// must still close by itself.
TEST_F(ToolHelpModifierTest, ACardClosedUnderThePointerDoesNotKeepTheNextOneOpen) {
    open();
    card.setOverSymbol(false);
    card.setOverCard(true);
    card.linkFollowed();
    EXPECT_FALSE(card.shown());
    EXPECT_FALSE(card.overCard());

    card.setOverSymbol(true);
    clock.advance(show);
    ASSERT_TRUE(card.shown());
    clock.advance(autoHide);
    EXPECT_FALSE(card.shown());

    // An enter reported for a card that is not shown does not count either.
    card.setOverSymbol(false);
    clock.advance(leave);
    card.setOverCard(true);
    clock.advance(10 * autoHide);
    EXPECT_EQ(shows, 2);
}

TEST(TimerHelpClockTest, RunsOnceAfterTheDelayUnlessCancelled) {
    TimerHelpClock clock;
    int ran = 0, cancelled = 0;
    clock.after(5, [&] { ++ran; });
    const quint64 stop = clock.after(5, [&] { ++cancelled; });
    EXPECT_NE(stop, 0u);
    clock.cancel(stop);
    clock.cancel(0);
    QTRY_COMPARE(ran, 1);
    QTest::qWait(30);
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(cancelled, 0);
}
