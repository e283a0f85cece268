// The laser power modes: maximum power, the pulse train, Auto, and the Z buttons.
#include <gtest/gtest.h>

#include "motion/MotionTestSupport.h"

namespace ostrel::test {
namespace {

using machine::CONTROL_REG;

std::vector<int> controlWrites(const Harness& h) {
    std::vector<int> out;
    for (const auto& [address, value] : h.writes()) {
        if (address == CONTROL_REG) out.push_back(value);
    }
    return out;
}

struct LaserHarness : Harness {
    LaserHarness() : Harness(headAt(20, 20)) {
        start();
        enableJogButtons(*this);
    }
    laser::Laser& laser() { return engraver->laser(); }
    void zDown() { EXPECT_EQ(engraver->mouseDown("Command1(5)"), engraver::EventResult::Handled); }
    void zUp() { EXPECT_EQ(engraver->mouseDown("Command1(4)"), engraver::EventResult::Handled); }
};

// --- Max Laser Power ---

TEST(MaxPower, TwoClicksLeaveTheLaserOff) {
    LaserHarness h;
    form::Form1& f = h.form();
    h.engraver->click("Command4");
    EXPECT_EQ(f.Command4.caption, "Max Laser Power On");
    EXPECT_EQ(f.Command4.backColor, form::kRed);
    EXPECT_EQ(f.Label1[2].caption, "1");
    EXPECT_TRUE(h.sim->laserOn());
    h.engraver->click("Command4");
    EXPECT_EQ(f.Command4.caption, "Max Laser Power");
    EXPECT_EQ(f.Command4.backColor, form::kLightGrey);
    EXPECT_EQ(f.Label1[2].caption, "0");
    EXPECT_EQ(controlWrites(h), (std::vector<int>{203, 202}));
    EXPECT_TRUE(dataWrites(h).empty());
}

// The state is the caption, compared exactly: anything but "Max Laser Power" counts as on.
TEST(MaxPower, CaptionIsComparedExactly) {
    for (const char* caption :
         {"Max Laser Power On", "max laser power", "Max Laser Power ", "", "MAX LASER POWER"}) {
        SCOPED_TRACE(caption);
        LaserHarness h;
        h.form().Command4.caption = caption;
        h.engraver->click("Command4");
        EXPECT_EQ(h.form().Command4.caption, "Max Laser Power");
        EXPECT_EQ(controlWrites(h), (std::vector<int>{202}));
    }
}

TEST(MaxPower, SwitchingOnWhilePulsingStopsTheTrainAndLeavesTheLaserOn) {
    LaserHarness h;
    form::Form1& f = h.form();
    h.zDown();
    h.wait(100 + 255 + 100);  // on at 100, off at 355
    ASSERT_FALSE(h.sim->laserOn());
    h.engraver->click("Command4");
    EXPECT_FALSE(f.Timer3.Enabled());
    h.wait(2000);
    EXPECT_TRUE(h.sim->laserOn());
    EXPECT_EQ(controlWrites(h), (std::vector<int>{203, 202, 203}));
    // Off again: Timer3 is not touched.
    h.engraver->click("Command4");
    EXPECT_FALSE(f.Timer3.Enabled());
    EXPECT_FALSE(h.sim->laserOn());
}

// --- Pulse train ---

TEST(Pulse, ZDownStartsASquareWaveFromTheDesignInterval) {
    LaserHarness h;
    form::Form1& f = h.form();
    h.zDown();
    EXPECT_TRUE(f.Timer3.Enabled());
    EXPECT_EQ(f.Label1[2].caption, "1");
    h.wait(100 + 4 * 255);
    EXPECT_EQ(writeTimes(h, CONTROL_REG), (std::vector<double>{100, 355, 610, 865, 1120}));
    EXPECT_EQ(controlWrites(h), (std::vector<int>{203, 202, 203, 202, 203}));
    EXPECT_TRUE(f.laserPulseOn);
}

TEST(Pulse, ZDownTwiceKeepsOneTrain) {
    LaserHarness h;
    h.zDown();
    h.wait(50);
    h.zDown();  // keeps the schedule: the first tick is still at 100 ms
    h.wait(50 + 255);
    h.zDown();
    h.wait(255);
    EXPECT_EQ(writeTimes(h, CONTROL_REG), (std::vector<double>{100, 355, 610}));
    EXPECT_EQ(h.form().Label1[2].caption, "1");
}

TEST(Pulse, Combo2ChangeTakesEffectOneTickLater) {
    LaserHarness h;
    h.zDown();
    h.wait(200);  // first tick at 100, the next due at 355
    h.engraver->set("Combo2", "64");
    h.wait(155 + 3 * 64);
    EXPECT_EQ(writeTimes(h, CONTROL_REG), (std::vector<double>{100, 355, 419, 483, 547}));
    EXPECT_EQ(h.form().Timer3.Interval(), 64);
}

// A Combo2 text that gives no interval keeps the previous half-period: the train goes on.
TEST(Pulse, BadCombo2TextKeepsThePreviousInterval) {
    for (const char* text : {"", "x", "0", "-4", "0.49", "65536", "1e2", "12.5.3", "--3"}) {
        SCOPED_TRACE(text);
        LaserHarness h;
        h.zDown();
        h.wait(100);  // first tick takes 255
        h.engraver->set("Combo2", text);
        h.wait(4 * 255);
        EXPECT_TRUE(h.form().Timer3.Enabled());
        EXPECT_EQ(h.form().Timer3.Interval(), 255);
        EXPECT_EQ(writeTimes(h, CONTROL_REG), (std::vector<double>{100, 355, 610, 865, 1120}));
    }
}

TEST(Pulse, ZDownWhileMaxPowerIsOnKeepsTheLaserOnUntilTheFirstTick) {
    LaserHarness h;
    form::Form1& f = h.form();
    h.engraver->click("Command4");
    h.clearTrace();
    h.zDown();
    EXPECT_EQ(f.Command4.caption, "Max Laser Power");
    EXPECT_EQ(f.Command4.backColor, form::kLightGrey);
    EXPECT_TRUE(h.writes().empty());
    h.wait(99);
    EXPECT_TRUE(h.sim->laserOn());
    h.wait(1 + 255);
    EXPECT_EQ(controlWrites(h), (std::vector<int>{203, 202}));  // laserPulseOn was False
}

// laserPulseOn survives the end of a train: the next train's first tick switches off.
TEST(Pulse, LeftOverPulsePhaseMakesTheNextFirstTickSwitchOff) {
    LaserHarness h;
    h.zDown();
    h.wait(100);
    h.zUp();
    ASSERT_TRUE(h.form().laserPulseOn);
    h.clearTrace();
    h.zDown();
    h.wait(255);
    EXPECT_EQ(controlWrites(h), (std::vector<int>{202}));
}

TEST(Pulse, ZUpStopsTheTrainAndSwitchesOff) {
    LaserHarness h;
    form::Form1& f = h.form();
    h.zDown();
    h.wait(150);
    ASSERT_TRUE(h.sim->laserOn());
    h.zUp();
    EXPECT_FALSE(f.Timer3.Enabled());
    EXPECT_FALSE(h.sim->laserOn());
    EXPECT_EQ(f.Label1[2].caption, "0");
    const size_t writes = h.writes().size();
    h.wait(2000);
    EXPECT_EQ(h.writes().size(), writes);
}

TEST(Pulse, BothZButtonsResetMaxPowerWhateverItShowed) {
    for (bool down : {false, true}) {
        for (const char* shown : {"Max Laser Power On", "Max Laser Power", "odd"}) {
            SCOPED_TRACE(std::string(shown) + (down ? " Z-Down" : " Z-UP"));
            LaserHarness h;
            h.form().Command4.caption = shown;
            h.form().Command4.backColor = form::kRed;
            if (down) {
                h.zDown();
            } else {
                h.zUp();
            }
            EXPECT_EQ(h.form().Command4.caption, "Max Laser Power");
            EXPECT_EQ(h.form().Command4.backColor, form::kLightGrey);
            EXPECT_EQ(h.form().Label1[2].caption, down ? "1" : "0");
            // Z-UP needs no Z-Down before it to switch off.
            EXPECT_EQ(controlWrites(h), down ? std::vector<int>{} : std::vector<int>{202});
        }
    }
}

TEST(Pulse, ZButtonsMouseUpDoesNothing) {
    LaserHarness h;
    h.zDown();
    h.clearTrace();
    EXPECT_EQ(h.engraver->mouseUp("Command1(5)"), engraver::EventResult::Handled);
    EXPECT_EQ(h.engraver->mouseUp("Command1(4)"), engraver::EventResult::Handled);
    EXPECT_TRUE(h.writes().empty());
    EXPECT_TRUE(h.form().Timer3.Enabled());
    EXPECT_EQ(h.engraver->motion().heldJog(), -1);  // no axis jog
}

// --- Auto ---

TEST(Auto, TogglesOnlyTheFlagAndTheIndicator) {
    LaserHarness h;
    form::Form1& f = h.form();
    ASSERT_EQ(f.Command6.backColor, form::kButtonFace);
    h.engraver->click("Command6");
    EXPECT_EQ(f.Command6.caption, "Auto On");
    EXPECT_EQ(f.Command6.backColor, form::kRed);
    EXPECT_EQ(f.Label1[2].caption, "1");
    EXPECT_TRUE(f.autoLaser);
    h.engraver->click("Command6");
    EXPECT_EQ(f.Command6.caption, "Auto");
    EXPECT_EQ(f.Command6.backColor, form::kLightGrey);
    EXPECT_EQ(f.Label1[2].caption, "0");
    EXPECT_FALSE(f.autoLaser);
    EXPECT_TRUE(h.writes().empty());
    EXPECT_FALSE(f.Timer3.Enabled());
}

// The example scenario laser.scn: maximum power on and off, then a short X + jog.
TEST(LaserScenario, ExampleScenarioLaser) {
    machine::SimConfig c = headAt(20, 20);
    c.rotorX = c.rotorY = 0;
    c.data = 0;
    c.control = 202;
    Harness h(c);
    h.start();
    enableJogButtons(h);  // Manual
    h.engraver->click("Command4");
    EXPECT_EQ(h.control(), 203);
    EXPECT_EQ(caption(h, "Command4"), "Max Laser Power On");
    h.engraver->click("Command4");
    EXPECT_EQ(h.control(), 202);
    EXPECT_EQ(h.engraver->mouseDown("Command1(3)"), engraver::EventResult::Handled);
    h.wait(195);
    EXPECT_EQ(h.engraver->mouseUp("Command1(3)"), engraver::EventResult::Handled);
    EXPECT_EQ(h.form().xStepCount, 10);
    EXPECT_EQ(caption(h, "Label1(0)"), "10");
    EXPECT_EQ(h.data(), 0);
}

}  // namespace
}  // namespace ostrel::test
