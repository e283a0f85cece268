// The initialisation watchdog: rest-state forcing, the 26-tick count, the blinking notice.
#include <gtest/gtest.h>

#include "motion/MotionTestSupport.h"

namespace ostrel::test {
namespace {

using machine::CONTROL_REG;
using machine::DATA_REG;

machine::SimConfig portLeft(uint8_t data, uint8_t control) {
    machine::SimConfig c;
    c.headX = 10;
    c.headY = 10;
    c.data = data;
    c.control = control;
    return c;
}

TEST(Watchdog, PortAtRestSwitchesItOffAtLoad) {
    Harness h;
    h.start();
    EXPECT_FALSE(h.form().Timer10.Enabled());
    h.wait(6000);
    EXPECT_FALSE(h.form().Label7.visible);
    EXPECT_TRUE(h.writes().empty());
}

struct NotAtRest {
    uint8_t data, control;
};

class WatchdogNotAtRest : public ::testing::TestWithParam<NotAtRest> {};

// A coil word, the laser, both, or a word that drives both motors left on at start.
INSTANTIATE_TEST_SUITE_P(Starts, WatchdogNotAtRest,
                         ::testing::Values(NotAtRest{3, 202}, NotAtRest{0, 203}, NotAtRest{80, 203},
                                           NotAtRest{0x33, 202}, NotAtRest{0, 0}));

TEST_P(WatchdogNotAtRest, ForcesRestThenEndsAfter26RestTicks) {
    Harness h(portLeft(GetParam().data, GetParam().control));
    h.start();
    form::Form1& f = h.form();
    ASSERT_TRUE(f.Timer10.Enabled());

    h.wait(200);  // first tick: the rest state, data first
    EXPECT_EQ(h.writes(), (std::vector<std::pair<int, int>>{{DATA_REG, 0}, {CONTROL_REG, 202}}));
    EXPECT_EQ(f.initRestTicks, 0);
    EXPECT_TRUE(f.Label7.visible);

    // 26 more ticks at rest, 5,200 ms; the last one ends it.
    h.wait(25 * 200);
    EXPECT_TRUE(f.Timer10.Enabled());
    EXPECT_EQ(f.initRestTicks, 25);
    h.wait(200);
    EXPECT_FALSE(f.Timer10.Enabled());
    EXPECT_FALSE(f.Label7.visible);
    EXPECT_EQ(f.initRestTicks, 0);
    EXPECT_EQ(h.writes().size(), 2u);  // nothing after the first tick
    EXPECT_EQ(h.data(), 0);
    EXPECT_EQ(h.control(), 202);
}

TEST(Watchdog, AtRestThroughoutBlinksOnOddTicksAndRuns26Ticks) {
    Harness h;
    h.start();
    form::Form1& f = h.form();
    f.Timer10.setEnabled(true);  // as a homing restarts it
    ASSERT_FALSE(f.Label7.visible);
    int ticks = 0;
    while (f.Timer10.Enabled() && ticks < 40) {
        h.wait(200);
        ++ticks;
        if (f.Timer10.Enabled()) {
            EXPECT_EQ(f.Label7.visible, ticks % 2 == 1) << "tick " << ticks;
        }
    }
    EXPECT_EQ(ticks, 26);
    EXPECT_FALSE(f.Label7.visible);
    EXPECT_TRUE(h.writes().empty());
}

TEST(Watchdog, BothHomedEndsOnTheSecondTick) {
    Harness h;
    h.start();
    form::Form1& f = h.form();
    f.xHomed = f.yHomed = true;
    f.Timer10.setEnabled(true);
    h.wait(200);
    EXPECT_TRUE(f.Timer10.Enabled());
    EXPECT_EQ(f.initRestTicks, 26);  // the shortcut never ends it on the same tick
    h.wait(200);
    EXPECT_FALSE(f.Timer10.Enabled());
    EXPECT_FALSE(f.Label7.visible);
}

TEST(Watchdog, LetsPendingEventsRunBetweenTheTwoRestWrites) {
    Harness h(portLeft(3, 203));
    h.start();
    int dataSeen = -1, controlSeen = -1;
    // Falls due with the first watchdog tick, after it: it runs inside the tick.
    h.loop.post(
        [&] {
            dataSeen = h.sim->data();
            controlSeen = h.sim->control();
        },
        200);
    h.wait(200);
    EXPECT_EQ(dataSeen, 0);
    EXPECT_EQ(controlSeen, 203);
    EXPECT_EQ(h.control(), 202);
}

TEST(Watchdog, UndoesAJogLaserOnAtItsNextTick) {
    Harness h(portLeft(3, 202));
    h.start();
    enableJogButtons(h);
    form::Form1& f = h.form();
    f.autoLaser = true;
    h.wait(210);
    ASSERT_EQ(h.engraver->mouseDown("Command1(3)"), engraver::EventResult::Handled);
    EXPECT_EQ(h.control(), 203);
    h.wait(190);  // the watchdog's second tick at 400 ms
    EXPECT_EQ(h.control(), 202);
    EXPECT_EQ(f.initRestTicks, 0);
    EXPECT_TRUE(f.xMovingPlus);  // the jog itself goes on
    EXPECT_EQ(wiringFaults(h), 0);
}

}  // namespace
}  // namespace ostrel::test
