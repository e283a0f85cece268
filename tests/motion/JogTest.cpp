// Press-and-hold jogging: the press and release steps, the held-button tracking and what the
// simulated head really does.
#include <gtest/gtest.h>

#include <tuple>

#include "motion/MotionTestSupport.h"

namespace ostrel::test {
namespace {

using machine::CONTROL_REG;
using machine::DATA_REG;

const char* jogName(int index) {
    static const char* names[] = {"Command1(0)", "Command1(1)", "Command1(2)", "Command1(3)"};
    return names[index];
}
bool isX(int index) {
    return index >= 2;
}

// A started window with the head in mid-travel and the jog buttons usable.
struct JogHarness : Harness {
    JogHarness() : Harness(headAt(300, 100)) {
        start();
        enableJogButtons(*this);
    }
};

TEST(Jog, XPlusDuringGoHomeXReplacesTheHomingAndTheReleaseLeavesXStopped) {
    JogHarness h;
    form::Form1& f = h.form();
    h.engraver->click("Command3");
    h.wait(150);
    ASSERT_TRUE(f.xMovingMinus);
    h.engraver->mouseDown("Command1(3)");
    EXPECT_FALSE(f.xMovingMinus);
    EXPECT_TRUE(f.xMovingPlus);
    const int32_t before = f.xStepCount;
    h.wait(100);
    EXPECT_EQ(f.xStepCount, before + 10);
    h.engraver->mouseUp("Command1(3)");
    EXPECT_FALSE(f.Timer1.Enabled());
    EXPECT_FALSE(f.xMovingMinus);
    EXPECT_FALSE(f.xMovingPlus);
    EXPECT_EQ(h.data(), 0);
    h.wait(1000);
    EXPECT_EQ(f.xStepCount, before + 10);
    EXPECT_FALSE(f.xHomed);
}

// Pressing and releasing either jog button of an axis stops that axis's homing.
TEST(Jog, PressAndReleaseStopsTheHomingOfItsAxis) {
    for (int index = 0; index < 4; ++index) {
        SCOPED_TRACE(index);
        JogHarness h;
        form::Form1& f = h.form();
        h.engraver->click(isX(index) ? "Command3" : "Command5");
        h.wait(150);
        h.engraver->mouseDown(jogName(index));
        h.engraver->mouseUp(jogName(index));
        const int32_t x = f.xStepCount, y = f.yStepCount;
        h.wait(1000);
        EXPECT_FALSE(f.Timer1.Enabled());
        EXPECT_FALSE(f.Timer2.Enabled());
        EXPECT_FALSE(f.xMovingMinus || f.xMovingPlus || f.yMovingMinus || f.yMovingPlus);
        EXPECT_EQ(f.xStepCount, x);
        EXPECT_EQ(f.yStepCount, y);
        EXPECT_EQ(h.data(), 0);
    }
}

TEST(Jog, WithoutAutoLaserAJogNeverWritesTheControlRegister) {
    for (int index = 0; index < 4; ++index) {
        JogHarness h;
        h.engraver->mouseDown(jogName(index));
        h.wait(300);
        h.engraver->mouseUp(jogName(index));
        EXPECT_TRUE(writeTimes(h, CONTROL_REG).empty()) << index;
        EXPECT_EQ(h.data(), 0);
    }
}

// With autoLaser the press writes 203 after its timer is on, and the release writes 202 after
// its timer is off but before the flags are cleared; the coils go off last.
TEST(Jog, AutoLaserWordsComeInTheirPlaces) {
    for (int index = 0; index < 4; ++index) {
        SCOPED_TRACE(index);
        JogHarness h;
        form::Form1& f = h.form();
        f.autoLaser = true;
        runtime::Timer& axisTimer = isX(index) ? f.Timer1 : f.Timer2;
        auto moving = [&] {
            return isX(index) ? (f.xMovingMinus || f.xMovingPlus)
                              : (f.yMovingMinus || f.yMovingPlus);
        };
        struct Seen {
            int control, data;
            bool timer, moving;
        };
        std::vector<Seen> seen;
        h.sim->setObserver([&] {
            seen.push_back({h.sim->control(), h.sim->data(), axisTimer.Enabled(), moving()});
        });
        h.engraver->mouseDown(jogName(index), 2);  // the right button jogs like the left
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].control, 203);
        EXPECT_TRUE(seen[0].timer);
        EXPECT_TRUE(seen[0].moving);
        h.wait(150);
        seen.clear();
        h.engraver->mouseUp(jogName(index));
        ASSERT_EQ(seen.size(), 2u);
        EXPECT_EQ(seen[0].control, 202);
        EXPECT_FALSE(seen[0].timer);
        EXPECT_TRUE(seen[0].moving);
        EXPECT_NE(seen[0].data, 0);  // the coils are still on when the laser goes off
        EXPECT_EQ(seen[1].data, 0);
        EXPECT_FALSE(seen[1].moving);
    }
}

TEST(Jog, AutoSwitchedOffWhileHeldStillSwitchesTheLaserOffAtRelease) {
    JogHarness h;
    h.form().autoLaser = true;
    h.engraver->mouseDown("Command1(3)");
    h.wait(120);
    h.engraver->click("Command6");  // "Auto" -> "Auto On": the flag goes True ...
    h.engraver->click("Command6");  // ... and False again
    ASSERT_FALSE(h.form().autoLaser);
    ASSERT_TRUE(h.sim->laserOn());
    h.engraver->mouseUp("Command1(3)");
    EXPECT_FALSE(h.sim->laserOn());
    EXPECT_EQ(h.data(), 0);
}

TEST(Jog, ReleaseWithNothingHeldStillRunsItsSteps) {
    for (bool autoLaser : {false, true}) {
        JogHarness h;
        h.form().autoLaser = autoLaser;
        h.engraver->mouseUp("Command1(0)");
        std::vector<std::pair<int, int>> expected;
        if (autoLaser) expected.emplace_back(CONTROL_REG, 202);
        expected.emplace_back(DATA_REG, 0);
        EXPECT_EQ(h.writes(), expected) << autoLaser;
    }
}

// --- Held-button tracking ---

// A press that ends without a mouse-up (focus lost, pointer gone) ends exactly like one.
TEST(HeldJog, ReleaseHeldJogEndsThePressExactlyLikeAMouseUp) {
    for (int index = 0; index < 4; ++index) {
        for (bool autoLaser : {false, true}) {
            SCOPED_TRACE(std::to_string(index) + (autoLaser ? " auto" : ""));
            JogHarness a, b;
            for (JogHarness* h : {&a, &b}) {
                h->form().autoLaser = autoLaser;
                h->engraver->mouseDown(jogName(index));
                h->wait(175);
            }
            EXPECT_EQ(b.engraver->motion().heldJog(), index);
            a.engraver->mouseUp(jogName(index));
            b.engraver->motion().releaseHeldJog();
            EXPECT_EQ(b.engraver->motion().heldJog(), -1);
            a.wait(500);
            b.wait(500);
            EXPECT_EQ(a.writes(), b.writes());
            EXPECT_EQ(a.form().dumpJson(), b.form().dumpJson());
            EXPECT_EQ(b.data(), 0);
            EXPECT_FALSE(b.sim->laserOn());
            EXPECT_EQ(a.sim->x(), b.sim->x());
            EXPECT_EQ(a.sim->y(), b.sim->y());
        }
    }
}

TEST(HeldJog, NothingHeldMeansNothingToRelease) {
    JogHarness h;
    h.engraver->motion().releaseHeldJog();
    EXPECT_TRUE(h.writes().empty());
    h.engraver->mouseDown("Command1(2)");
    h.engraver->mouseUp("Command1(2)");
    h.clearTrace();
    h.engraver->motion().releaseHeldJog();  // the mouse-up already ended it
    EXPECT_TRUE(h.writes().empty());
}

TEST(HeldJog, EveryHeldPressEnds) {
    JogHarness h;
    form::Form1& f = h.form();
    h.engraver->mouseDown("Command1(3)");
    h.engraver->mouseDown("Command1(1)");
    EXPECT_EQ(h.engraver->motion().heldJog(), 1);
    h.wait(200);
    h.engraver->motion().releaseHeldJog();
    EXPECT_EQ(h.engraver->motion().heldJog(), -1);
    EXPECT_FALSE(f.Timer1.Enabled());
    EXPECT_FALSE(f.Timer2.Enabled());
    EXPECT_EQ(h.data(), 0);
}

TEST(HeldJog, AnAxisStoppedByItsLimitStaysHeldUntilReleased) {
    JogHarness h;
    h.form().xStepCount = 1079;
    h.engraver->mouseDown("Command1(3)");
    h.wait(200);
    EXPECT_FALSE(h.form().Timer1.Enabled());
    EXPECT_EQ(h.engraver->motion().heldJog(), 3);
    h.clearTrace();
    h.engraver->motion().releaseHeldJog();
    EXPECT_EQ(dataWrites(h), (std::vector<int>{0}));
}

// --- The true head ---

// Jogging on in the direction of the axis's last move: the head moves exactly the counted
// steps (X one full step, two half-steps, per tick; Y one half-step per tick).
TEST(JogHead, ContinuingInTheSameDirectionMovesExactlyTheCountedSteps) {
    for (int index = 0; index < 4; ++index) {
        for (int firstTicks = 1; firstTicks <= 9; ++firstTicks) {
            SCOPED_TRACE(std::to_string(index) + " after " + std::to_string(firstTicks));
            JogHarness h;
            form::Form1& f = h.form();
            h.engraver->mouseDown(jogName(index));
            h.wait(100 + 10 * (firstTicks - 1));
            h.engraver->mouseUp(jogName(index));

            const int64_t x0 = h.sim->x(), y0 = h.sim->y();
            const int32_t cx0 = f.xStepCount, cy0 = f.yStepCount;
            const uint64_t stalls0 = h.sim->stalls();
            const int ticks = 13;
            h.engraver->mouseDown(jogName(index));
            h.wait(10 * ticks);  // the interval is already 10 ms
            h.engraver->mouseUp(jogName(index));

            EXPECT_EQ(h.sim->stalls(), stalls0);
            EXPECT_EQ(h.sim->lostSteps(), 0u);
            if (isX(index)) {
                EXPECT_EQ(f.xStepCount - cx0, index == 3 ? ticks : -ticks);
                EXPECT_EQ(h.sim->x() - x0, 2 * (f.xStepCount - cx0));
                EXPECT_EQ(h.sim->y(), y0);
            } else {
                const int64_t moved = h.sim->y() - y0;
                EXPECT_EQ(moved, index == 1 ? ticks : -ticks);
                // A count on every second half-step.
                EXPECT_LE(std::abs(2 * (f.yStepCount - cy0) - moved), 1);
                EXPECT_EQ(h.sim->x(), x0);
            }
        }
    }
}

// A reversal starts from the phase the other direction left: the rotor does not follow the
// first word (it stays, or stalls across), so the head lags the counter.
TEST(JogHead, AReversalMayStallAndTheHeadLagsTheCounter) {
    int stalledCases = 0;
    for (int firstTicks = 1; firstTicks <= 4; ++firstTicks) {
        SCOPED_TRACE(firstTicks);
        JogHarness h;
        form::Form1& f = h.form();
        h.engraver->mouseDown("Command1(3)");
        h.wait(100 + 10 * (firstTicks - 1));
        h.engraver->mouseUp("Command1(3)");
        const int64_t x0 = h.sim->x();
        const int32_t c0 = f.xStepCount;
        const uint64_t stalls0 = h.sim->stalls();
        h.engraver->mouseDown("Command1(2)");
        h.wait(100);
        h.engraver->mouseUp("Command1(2)");
        const int32_t counted = c0 - f.xStepCount;
        const int64_t moved = (x0 - h.sim->x()) / 2;
        EXPECT_EQ(counted, 10);
        EXPECT_LT(moved, counted);
        EXPECT_GT(moved, 0);
        if (h.sim->stalls() > stalls0) ++stalledCases;
    }
    EXPECT_GT(stalledCases, 0);
}

TEST(JogHead, AJogNeverDrivesBothMotors) {
    JogHarness h;
    h.engraver->mouseDown("Command1(3)");
    h.engraver->mouseDown("Command1(0)");
    h.wait(333);
    h.engraver->mouseUp("Command1(3)");
    h.wait(77);
    h.engraver->mouseUp("Command1(0)");
    EXPECT_EQ(wiringFaults(h), 0);
    EXPECT_EQ(h.sim->faults(), 0u);
    EXPECT_EQ(h.data(), 0);
}

}  // namespace
}  // namespace ostrel::test
