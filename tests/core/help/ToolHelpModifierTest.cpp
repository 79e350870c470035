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
        QObject::connect(&card, &ToolHelpModifier::shownChanged, [this](bool shown) { shows += shown; });
    }
    // Leaves everything, then rests on the control until the card is open.
    void open() {
        card.setOverSymbol(false);
        card.setOverSymbol(true);
        clock.advance(show);
        ASSERT_TRUE(card.shown());
    }

    FakeHelpClock clock;
    ToolHelpModifier card{&clock};
    int shows = 0;
};

} // namespace

TEST_F(ToolHelpModifierTest, OpensWhenThePointerRestsAndClosesByItselfOnlyOnce) {
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
    clock.advance(autoHide - 1);
    EXPECT_TRUE(card.shown());
    clock.advance(1);
    EXPECT_FALSE(card.shown()) << "resting on the control keeps it open";
    clock.advance(10 * autoHide);
    EXPECT_EQ(shows, 1) << "it reopened without the pointer leaving";
}

TEST_F(ToolHelpModifierTest, TheCardStaysOpenWhileThePointerIsOnItOrMovesBetweenItAndTheControl) {
    open();
    card.setOverSymbol(false);
    clock.advance(leave - 1);
    card.setOverCard(true);
    clock.advance(3 * autoHide);
    EXPECT_TRUE(card.shown());
    card.setOverCard(false);
    clock.advance(leave - 1);
    EXPECT_TRUE(card.shown());
    clock.advance(1);
    EXPECT_FALSE(card.shown());

    // Each hover change re-arms the automatic hide.
    open();
    clock.advance(autoHide - 500);
    card.setOverSymbol(false);
    card.setOverSymbol(true);
    clock.advance(autoHide - 1);
    EXPECT_TRUE(card.shown());
    clock.advance(1);
    EXPECT_FALSE(card.shown());
}

TEST_F(ToolHelpModifierTest, ClicksAndLosingTheApplicationCloseTheCardAndDropAPendingShowing) {
    card.setOverSymbol(true);
    clock.advance(show - 100);
    card.controlClicked();
    clock.advance(10 * autoHide);
    EXPECT_EQ(shows, 0) << "a click on the control left the pending showing";

    open();
    card.controlClicked();
    EXPECT_FALSE(card.shown());
    open();
    card.dismiss();
    EXPECT_FALSE(card.shown());
    EXPECT_EQ(clock.pending(), 0u) << "an outside click leaves decisions pending";
    open();
    card.resignActive();
    clock.advance(10 * autoHide);
    EXPECT_FALSE(card.shown());
}

// The card closes under the pointer (its link was followed) and no leave arrives for it: the next card
// must still close by itself, and an enter reported for a hidden card does not count.
TEST_F(ToolHelpModifierTest, ACardClosedUnderThePointerDoesNotKeepTheNextOneOpen) {
    open();
    card.setOverSymbol(false);
    card.setOverCard(true);
    card.linkFollowed();
    EXPECT_FALSE(card.shown());

    open();
    clock.advance(autoHide);
    EXPECT_FALSE(card.shown());
    card.setOverSymbol(false);
    card.setOverCard(true);
    clock.advance(10 * autoHide);
    EXPECT_EQ(shows, 2);
}

TEST(TimerHelpClockTest, RunsOnceAfterTheDelayUnlessCancelled) {
    TimerHelpClock clock;
    int ran = 0, cancelled = 0;
    clock.after(5, [&] { ++ran; });
    clock.cancel(clock.after(5, [&] { ++cancelled; }));
    QTRY_COMPARE(ran, 1);
    QTest::qWait(20);
    EXPECT_EQ(ran + cancelled, 1);
}
