// Go Home (X) and Go Home (Y), the axis ticks' home stop, soft limits and step period.
#include <gtest/gtest.h>

#include "motion/MotionTestSupport.h"

namespace ostrel::test {
namespace {

using machine::CONTROL_REG;
using machine::DATA_REG;
using machine::STATUS_REG;

// Status bytes of the register map, and ones that mean nothing.
const std::vector<int> kAllStatuses{254, 255, 222, 223, 126, 127, 94, 95, 0xF8, 0x58, 0, 200};

bool among(const std::vector<int>& v, int x) {
    return std::find(v.begin(), v.end(), x) != v.end();
}

TEST(GoHome, XStartsOnlyWhenItsSwitchIsOpen) {
    const std::vector<int> starts{94, 95, 126, 127};
    for (int status : kAllStatuses) {
        SCOPED_TRACE(status);
        Harness h;
        h.start();
        form::Form1& f = h.form();
        f.xPhase = 3;
        f.xStepCount = 17;
        h.engraver->motion().GoHomeX(status);
        const bool start = among(starts, status);
        EXPECT_EQ(f.Timer1.Enabled(), start);
        EXPECT_EQ(f.xMovingMinus, start);
        EXPECT_FALSE(f.xMovingPlus);
        EXPECT_EQ(f.xPhase, start ? 0 : 3);
        EXPECT_EQ(f.xStepCount, 17);
        EXPECT_FALSE(f.xHomed);
        EXPECT_FALSE(f.Timer2.Enabled());
    }
}

TEST(GoHome, YStartsWhenItsSwitchIsOpenAndHomesBothWhenBothAreClosed) {
    const std::vector<int> starts{126, 127, 254, 255};
    const std::vector<int> bothClosed{222, 223};
    for (int status : kAllStatuses) {
        SCOPED_TRACE(status);
        Harness h;
        h.start();
        form::Form1& f = h.form();
        f.yPhase = 5;
        f.xStepCount = 7;
        f.yStepCount = 9;
        h.engraver->motion().GoHomeY(status);
        const bool start = among(starts, status);
        EXPECT_EQ(f.Timer2.Enabled(), start);
        EXPECT_EQ(f.yMovingMinus, start);
        EXPECT_EQ(f.yPhase, 5);  // never reset
        EXPECT_EQ(f.xHomed, among(bothClosed, status));
        EXPECT_EQ(f.yHomed, among(bothClosed, status));
        EXPECT_EQ(f.xStepCount, 7);
        EXPECT_EQ(f.yStepCount, 9);
        EXPECT_FALSE(f.Timer1.Enabled());
        EXPECT_TRUE(h.writes().empty());
    }
}

TEST(GoHome, XFromTheHeadAt10_5) {
    Harness h(headAt(10, 5));
    h.start();
    form::Form1& f = h.form();
    h.engraver->click("Command3");
    ASSERT_TRUE(h.untilIdle(60000));
    EXPECT_EQ(f.xStepCount, 0);
    EXPECT_TRUE(f.xHomed);
    EXPECT_FALSE(f.yHomed);
    EXPECT_EQ(h.sim->x(), 0);
    EXPECT_EQ(h.sim->y(), 10);  // Y untouched
    EXPECT_EQ(caption(h, "Label1(0)"), "0");
    EXPECT_EQ(caption(h, "Label7"), "  Please wait - Initialize X");
    EXPECT_TRUE(f.Timer10.Enabled());
    EXPECT_FALSE(f.xMovingMinus);
    EXPECT_EQ(f.xPhase, 0);
    const std::vector<int> words = dataWrites(h);
    ASSERT_GE(words.size(), 2u);
    EXPECT_EQ(words.front(), 1);  // xPhase 0 after GoHomeX: the first step is entry 1
    EXPECT_EQ(words.back(), 0);
    EXPECT_EQ(wiringFaults(h), 0);
    EXPECT_EQ(h.sim->stalls(), 0u);

    // Only X homed: the watchdog it restarted runs its full 26 ticks and hides the notice.
    h.wait(26 * 200);
    EXPECT_FALSE(f.Timer10.Enabled());
    EXPECT_FALSE(f.Label7.visible);
}

TEST(GoHome, YContinuesFromTheLastYPhaseAndStopsAtTheSwitch) {
    Harness h(headAt(10, 5));
    h.start();
    form::Form1& f = h.form();
    f.yPhase = 5;
    h.engraver->click("Command5");
    ASSERT_TRUE(h.untilIdle(60000));
    const std::vector<int> words = dataWrites(h);
    ASSERT_GE(words.size(), 2u);
    EXPECT_EQ(words.front(), machine::yHalfMinus[5]);  // entry 6
    EXPECT_EQ(words.back(), 0);
    EXPECT_EQ(f.yStepCount, 0);
    EXPECT_EQ(caption(h, "Label1(1)"), "0");
    EXPECT_TRUE(f.yHomed);
    EXPECT_FALSE(f.xHomed);
    EXPECT_EQ(h.sim->y(), 0);
    EXPECT_EQ(caption(h, "Label7"), " Please wait - Initialize Y");
    EXPECT_TRUE(f.Timer10.Enabled());
    EXPECT_EQ(wiringFaults(h), 0);
}

TEST(GoHome, YWithBothSwitchesClosedEndsARunningWatchdogTwoTicksLater) {
    machine::SimConfig c = headAt(0, 0);
    c.data = 3;  // the watchdog runs from the start
    Harness h(c);
    h.start();
    form::Form1& f = h.form();
    h.wait(450);  // two ticks: forced rest, then one at rest
    ASSERT_TRUE(f.Timer10.Enabled());
    ASSERT_EQ(h.sim->status(), 222);
    h.engraver->click("Command5");
    EXPECT_TRUE(f.xHomed);
    EXPECT_TRUE(f.yHomed);
    EXPECT_FALSE(f.Timer2.Enabled());
    h.wait(150);  // 600 ms: count 26
    EXPECT_TRUE(f.Timer10.Enabled());
    h.wait(200);  // 800 ms: ends
    EXPECT_FALSE(f.Timer10.Enabled());
    EXPECT_EQ(dataWrites(h), (std::vector<int>{0}));
}

TEST(GoHome, XWithItsSwitchClosedDoesNothing) {
    Harness h(headAt(0, 5));
    h.start();
    form::Form1& f = h.form();
    f.xStepCount = 33;
    h.engraver->click("Command3");
    h.wait(1000);
    EXPECT_FALSE(f.Timer1.Enabled());
    EXPECT_EQ(f.xStepCount, 33);
    EXPECT_FALSE(f.xHomed);
    EXPECT_TRUE(h.writes().empty());
}

// The example scenario homing.scn: a coil word left on, the watchdog settles, X then Y homed.
TEST(GoHome, ExampleScenarioHoming) {
    machine::SimConfig c = headAt(6, 4);
    c.rotorX = c.rotorY = 0;
    c.data = 3;
    c.control = 202;
    Harness h(c);
    h.start();
    form::Form1& f = h.form();
    EXPECT_TRUE(f.Timer10.Enabled());
    h.wait(250);
    EXPECT_EQ(h.data(), 0);
    EXPECT_TRUE(f.Label7.visible);
    EXPECT_EQ(h.engraver->click("Command3"), engraver::EventResult::Handled);
    h.wait(500);
    EXPECT_TRUE(f.xHomed);
    EXPECT_EQ(f.xStepCount, 0);
    EXPECT_EQ(h.sim->x(), 0);
    EXPECT_EQ(caption(h, "Label7"), "  Please wait - Initialize X");
    EXPECT_EQ(h.engraver->click("Command5"), engraver::EventResult::Handled);
    h.wait(500);
    EXPECT_TRUE(f.yHomed);
    EXPECT_EQ(caption(h, "Label1(1)"), "0");
    EXPECT_EQ(h.sim->y(), 0);
    h.wait(450);
    EXPECT_FALSE(f.Timer10.Enabled());
    EXPECT_EQ(wiringFaults(h), 0);
}

// --- Axis ticks ---

TEST(AxisTick, XPlusStopsOneTickAfterTheSoftLimit) {
    Harness h(headAt(100, 10));
    h.start();
    enableJogButtons(h);
    form::Form1& f = h.form();
    f.xStepCount = 1077;
    h.engraver->mouseDown("Command1(3)");
    h.wait(100 + 2 * 10);  // three steps: 1078, 1079, 1080
    EXPECT_EQ(f.xStepCount, 1080);
    EXPECT_TRUE(f.Timer1.Enabled());
    const int16_t phase = f.xPhase;
    h.wait(10);
    EXPECT_FALSE(f.Timer1.Enabled());
    EXPECT_FALSE(f.xMovingPlus);
    EXPECT_EQ(f.xPhase, machine::nextPhase<4>(phase));  // advanced although nothing stepped
    EXPECT_EQ(caption(h, "Label1(0)"), "1080");
    EXPECT_EQ(h.data(), 0);
    const size_t writes = h.writes().size();
    h.wait(500);
    EXPECT_EQ(h.writes().size(), writes);
    // The release still runs its steps.
    h.engraver->mouseUp("Command1(3)");
    EXPECT_EQ(h.writes().size(), writes + 1);
}

TEST(AxisTick, YPlusStopsOneTickAfterTheSoftLimitWithoutAdvancingThePhase) {
    Harness h(headAt(10, 100));
    h.start();
    enableJogButtons(h);
    form::Form1& f = h.form();
    f.yStepCount = 268;
    f.yPhase = 0;
    h.engraver->mouseDown("Command1(1)");
    h.wait(100 + 3 * 10);  // entries 1-4: counts at 2 and 4
    EXPECT_EQ(f.yStepCount, 270);
    EXPECT_EQ(f.yPhase, 4);
    EXPECT_TRUE(f.Timer2.Enabled());
    h.wait(10);
    EXPECT_FALSE(f.Timer2.Enabled());
    EXPECT_FALSE(f.yMovingPlus);
    EXPECT_EQ(f.yPhase, 4);
    EXPECT_EQ(caption(h, "Label1(1)"), "270");
    EXPECT_EQ(h.data(), 0);
    EXPECT_EQ(dataWrites(h), (std::vector<int>{80, 64, 96, 32, 0}));
}

TEST(AxisTick, ANegativeXCounterDoesNotBlockXPlus) {
    Harness h(headAt(100, 10));
    h.start();
    enableJogButtons(h);
    form::Form1& f = h.form();
    f.xStepCount = -15;
    h.engraver->mouseDown("Command1(3)");
    h.wait(100 + 9 * 10);
    EXPECT_EQ(f.xStepCount, -5);
    EXPECT_EQ(caption(h, "Label1(0)"), "-5");
    EXPECT_TRUE(f.Timer1.Enabled());
}

TEST(AxisTick, XMinusWithTheSwitchClosedStopsOnTheFirstTick) {
    Harness h(headAt(0, 10));
    h.start();
    enableJogButtons(h);
    form::Form1& f = h.form();
    f.xStepCount = 12;
    h.engraver->mouseDown("Command1(2)");
    h.wait(100);
    EXPECT_FALSE(f.Timer1.Enabled());
    EXPECT_EQ(caption(h, "Label1(0)"), "0");
    EXPECT_TRUE(f.xHomed);
    EXPECT_TRUE(f.Timer10.Enabled());
    EXPECT_EQ(caption(h, "Label7"), "  Please wait - Initialize X");
    EXPECT_EQ(dataWrites(h), (std::vector<int>{0}));
}

TEST(AxisTick, StepPeriodFollowsCombo1FromTheNextTick) {
    Harness h(headAt(500, 10));
    h.start();
    enableJogButtons(h);
    h.engraver->mouseDown("Command1(2)");
    h.wait(100 + 10);  // ticks at 100 and 110
    h.engraver->set("Combo1", "40");
    h.wait(100);  // 120 still at 10 ms, then every 40 ms: 160, 200
    const std::vector<double> t = writeTimes(h, DATA_REG);
    EXPECT_EQ(t, (std::vector<double>{100, 110, 120, 160, 200}));
}

// A Combo1 text that gives no interval keeps the previous one: the axis never stalls, races
// or stops silently.
TEST(AxisTick, BadCombo1TextKeepsThePreviousPeriod) {
    for (const char* text : {"", "abc", "0", "-5", "0.4", "70000", "1e3", "12ms", "65536"}) {
        SCOPED_TRACE(text);
        Harness h(headAt(500, 100));
        h.start();
        enableJogButtons(h);
        form::Form1& f = h.form();
        h.engraver->mouseDown("Command1(2)");
        h.engraver->mouseDown("Command1(1)");
        h.wait(100 + 10);  // both at 10 ms now
        h.engraver->set("Combo1", text);
        h.wait(100);
        EXPECT_EQ(f.Timer1.Interval(), 10);
        EXPECT_EQ(f.Timer2.Interval(), 10);
        EXPECT_TRUE(f.Timer1.Enabled());
        EXPECT_TRUE(f.Timer2.Enabled());
        EXPECT_EQ(f.xStepCount, -12);
        EXPECT_EQ(f.yStepCount, 6);
    }
}

// Homing both axes at once from noisy switches: every word single-axis, counters 0 at the end.
TEST(AxisTick, XAndYHomingTogetherOnNoisySwitches) {
    machine::SimConfig c = headAt(40, 30);
    c.noise = true;
    c.seed = 7;
    c.data = 0x21;  // a word left on that drives both motors
    Harness h(c);
    h.start();
    form::Form1& f = h.form();
    h.engraver->click("Command3");
    h.engraver->click("Command5");
    ASSERT_TRUE(h.untilIdle(60000));
    EXPECT_TRUE(f.xHomed);
    EXPECT_TRUE(f.yHomed);
    // A noisy read can miss the switch once: the head may stand a step past it, never more
    // than the mechanical stop behind it.
    EXPECT_LE(h.sim->x(), 0);
    EXPECT_GE(h.sim->x(), -8);
    EXPECT_LE(h.sim->y(), 0);
    EXPECT_GE(h.sim->y(), -8);
    EXPECT_EQ(f.xStepCount, 0);
    EXPECT_EQ(f.yStepCount, 0);
    EXPECT_EQ(wiringFaults(h), 0);
    EXPECT_EQ(h.sim->faults(), 0u);
    h.wait(1000);
    EXPECT_FALSE(f.Timer10.Enabled());
    EXPECT_EQ(h.data(), 0);
    EXPECT_EQ(h.control(), 202);
}

}  // namespace
}  // namespace ostrel::test
