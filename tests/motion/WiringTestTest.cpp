// Tests of the wiring test: its words and times, the rest at every end, refusals and Abort.
#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

#include "MotionTestSupport.h"
#include "motion/WiringTest.h"

namespace ostrel::test {
namespace {

using machine::CONTROL_REG;
using machine::DATA_REG;
using motion::WiringTestKind;
using Writes = std::vector<std::pair<int, int>>;

struct Case {
    WiringTestKind kind;
    Writes words;  // what the test writes before the rest
    int64_t lastsMs;
};

// Step period 20 ms (Combo1) and a laser pulse of 150 ms throughout.
std::vector<Case> allCases() {
    std::vector<Case> cases = {
        {WiringTestKind::CoilA, {{DATA_REG, 1}}, 300},
        {WiringTestKind::CoilB, {{DATA_REG, 2}}, 300},
        {WiringTestKind::CoilC, {{DATA_REG, 4}}, 300},
        {WiringTestKind::CoilD, {{DATA_REG, 8}}, 300},
        {WiringTestKind::YAPlus, {{DATA_REG, 16}}, 300},
        {WiringTestKind::YAMinus, {{DATA_REG, 32}}, 300},
        {WiringTestKind::YBPlus, {{DATA_REG, 64}}, 300},
        {WiringTestKind::YBMinus, {{DATA_REG, 128}}, 300},
        {WiringTestKind::LaserPulse, {{CONTROL_REG, 203}}, 150},
    };
    // The whole + table, then the - table from the entry after the last + word.
    Case x{WiringTestKind::StepX, {}, 16 * 20};
    for (int w : {12, 4, 6, 2, 3, 1, 9, 8, 9, 1, 3, 2, 6, 4, 12, 8})
        x.words.emplace_back(DATA_REG, w);
    Case y{WiringTestKind::StepY, {}, 16 * 20};
    for (int w : {80, 64, 96, 32, 160, 128, 144, 16, 144, 128, 160, 32, 96, 64, 80, 16}) {
        y.words.emplace_back(DATA_REG, w);
    }
    cases.push_back(x);
    cases.push_back(y);
    return cases;
}

const Writes kRest{{DATA_REG, 0}, {CONTROL_REG, 202}};

class WiringTestTest : public ::testing::Test {
  protected:
    explicit WiringTestTest(const machine::SimConfig& config = headAt(50, 40)) : h(config) {}
    void SetUp() override {
        h.start();
        ASSERT_FALSE(h.form().Timer10.Enabled());  // the port was found at rest
        h.form().Combo1.caption = "20";
        h.clearTrace();
    }
    motion::WiringTest& test() { return h.engraver->wiringTest(); }
    // Runs one test to its end and returns what it wrote.
    Writes runToEnd(WiringTestKind kind) {
        EXPECT_EQ(test().start(kind, 150), "");
        EXPECT_TRUE(h.loop.advanceUntil([this] { return !test().running(); }, 10'000));
        return h.writes();
    }

    Harness h;
};

TEST_F(WiringTestTest, EveryTestWritesOnlyItsTableWordsThenRests) {
    for (const Case& c : allCases()) {
        SCOPED_TRACE(motion::wiringTestName(c.kind));
        h.clearTrace();
        const double start = h.loop.nowMs();
        Writes expected = c.words;
        expected.insert(expected.end(), kRest.begin(), kRest.end());
        EXPECT_EQ(runToEnd(c.kind), expected);
        // The rest comes exactly when the test's time is up.
        EXPECT_EQ(writeTimes(h, DATA_REG).back() - start, static_cast<double>(c.lastsMs));
        EXPECT_EQ(h.data(), 0);
        EXPECT_EQ(h.control(), 202);
        EXPECT_EQ(h.sim->faults(), 0u);
    }
}

TEST_F(WiringTestTest, AbortOrExitStopsEveryTestAtRest) {
    for (const char* button : {"Command2(5)", "Command2(4)"}) {
        for (const Case& c : allCases()) {
            SCOPED_TRACE(std::string(button) + " " + motion::wiringTestName(c.kind));
            Harness fresh(headAt(50, 40));
            fresh.start();
            fresh.form().Combo1.caption = "20";
            motion::WiringTest& t = fresh.engraver->wiringTest();
            ASSERT_EQ(t.start(c.kind, 150), "");
            fresh.wait(c.lastsMs / 2);
            ASSERT_TRUE(t.running());
            fresh.clearTrace();
            fresh.engraver->click(button);
            EXPECT_FALSE(t.running());
            const Writes w = fresh.writes();
            ASSERT_GE(w.size(), 2u);
            EXPECT_EQ(Writes(w.begin(), w.begin() + 2), kRest);
            // Nothing more from the test once it was stopped.
            fresh.clearTrace();
            fresh.wait(2000);
            EXPECT_TRUE(fresh.writes().empty());
            EXPECT_EQ(fresh.data(), 0);
            EXPECT_EQ(fresh.control(), 202);
        }
    }
}

TEST_F(WiringTestTest, CloseBoxRestStopsTheTest) {
    ASSERT_EQ(test().start(WiringTestKind::StepX), "");
    h.wait(50);
    h.engraver->restNow();
    EXPECT_FALSE(test().running());
    h.clearTrace();
    h.wait(1000);
    EXPECT_TRUE(h.writes().empty());
    EXPECT_EQ(h.data(), 0);
}

TEST_F(WiringTestTest, RefusedWhileAMotorOrThePulsedLaserOrTheWatchdogRuns) {
    struct Busy {
        const char* what;
        std::function<void(Harness&)> begin;
    };
    const std::vector<Busy> busy = {
        {"homing", [](Harness& x) { x.engraver->click("Command3"); }},
        {"jog",
         [](Harness& x) {
             enableJogButtons(x);
             x.engraver->mouseDown("Command1(3)");
         }},
        {"frame run",
         [](Harness& x) {
             x.engraver->click("Option2");
             x.engraver->click("Command2(1)");
         }},
        {"pulsed laser",
         [](Harness& x) {
             enableJogButtons(x);
             x.engraver->mouseDown("Command1(5)");
         }},
        {"watchdog", [](Harness& x) { x.form().Timer10.setEnabled(true); }},
        {"laser on", [](Harness& x) { x.engraver->click("Command4"); }},
    };
    for (const Busy& b : busy) {
        for (const Case& c : allCases()) {
            SCOPED_TRACE(std::string(b.what) + " " + motion::wiringTestName(c.kind));
            Harness fresh(headAt(50, 40));
            fresh.start();
            b.begin(fresh);
            fresh.clearTrace();
            motion::WiringTest& t = fresh.engraver->wiringTest();
            const std::string why = t.start(c.kind, 150);
            EXPECT_FALSE(why.empty());
            EXPECT_FALSE(t.running());
            EXPECT_EQ(t.statusText(), "Refused: " + why);
            EXPECT_TRUE(fresh.writes().empty());
        }
    }
}

TEST_F(WiringTestTest, LaserPulseLengthsOutsideTenToAThousandMsAreRefused) {
    for (const auto& [ms, ok] : std::vector<std::pair<int, bool>>{
             {9, false}, {10, true}, {1000, true}, {1001, false}, {0, false}, {-5, false}}) {
        SCOPED_TRACE(ms);
        const std::string why = test().start(WiringTestKind::LaserPulse, ms);
        EXPECT_EQ(why.empty(), ok);
        test().stop();
    }
}

TEST_F(WiringTestTest, RunStartsNoJobWhileATestRuns) {
    h.engraver->click("Option2");
    ASSERT_EQ(test().start(WiringTestKind::StepY), "");
    h.engraver->click("Command2(1)");
    EXPECT_FALSE(h.form().Timer8.Enabled());
    EXPECT_TRUE(test().running());
    h.wait(1000);
    ASSERT_FALSE(test().running());
    h.engraver->click("Command2(1)");
    EXPECT_TRUE(h.form().Timer8.Enabled());
}

TEST_F(WiringTestTest, AJobOrMoveThatStartsDuringATestStopsItAtRestWithinTenMs) {
    ASSERT_EQ(test().start(WiringTestKind::LaserPulse, 1000), "");
    h.wait(100);
    h.clearTrace();
    h.engraver->click("Command3");  // Go Home (X): the head is away from the switch
    h.wait(motion::kGuardPeriodMs);
    EXPECT_FALSE(test().running());
    EXPECT_NE(test().statusText().find("stopped"), std::string::npos);
    const Writes w = h.writes();
    ASSERT_FALSE(w.empty());
    EXPECT_EQ(w.back(), (std::pair<int, int>{CONTROL_REG, 202}));
    EXPECT_TRUE(h.form().Timer1.Enabled());  // the homing goes on
}

TEST_F(WiringTestTest, StepTestsTurnOneHalfStepPerWordOutAndBackAndLeaveTheCountersAlone) {
    for (WiringTestKind kind : {WiringTestKind::StepX, WiringTestKind::StepY}) {
        SCOPED_TRACE(motion::wiringTestName(kind));
        const form::Form1& f = h.form();
        const auto before = std::make_tuple(f.xStepCount, f.yStepCount, f.xPhase, f.yPhase);
        auto position = [&] { return kind == WiringTestKind::StepX ? h.sim->x() : h.sim->y(); };
        ASSERT_EQ(test().start(kind), "");
        std::vector<int64_t> moves;
        int64_t last = position();
        for (int word = 1; word < 2 * motion::kTestHalfSteps; ++word) {
            h.wait(20);
            moves.push_back(position() - last);
            last = position();
        }
        // After the first word has pulled the rotor in: seven half-steps out, eight back.
        std::vector<int64_t> expected(7, 1);
        expected.insert(expected.end(), 8, -1);
        EXPECT_EQ(moves, expected);
        h.wait(20);
        EXPECT_FALSE(test().running());
        EXPECT_EQ(h.sim->stalls(), 0u);
        EXPECT_EQ(before, std::make_tuple(f.xStepCount, f.yStepCount, f.xPhase, f.yPhase));
    }
}

TEST_F(WiringTestTest, StepPeriodFollowsCombo1AndABadTextKeepsTheLastPeriod) {
    h.form().Combo1.caption = "40";
    ASSERT_EQ(test().start(WiringTestKind::StepX), "");
    h.wait(40);
    h.form().Combo1.caption = "fast";
    h.loop.advanceUntil([this] { return !test().running(); }, 10'000);
    const std::vector<double> t = writeTimes(h, DATA_REG);
    ASSERT_EQ(t.size(), 17u);
    for (size_t i = 1; i < t.size(); ++i) EXPECT_EQ(t[i] - t[i - 1], 40.0) << i;
}

TEST_F(WiringTestTest, ATestStartedDuringTheLaserPulseEndsThePulseFirst) {
    ASSERT_EQ(test().start(WiringTestKind::LaserPulse, 500), "");
    h.wait(100);
    ASSERT_EQ(test().start(WiringTestKind::CoilD), "");
    EXPECT_EQ(h.writes(),
              (Writes{{CONTROL_REG, 203}, {DATA_REG, 0}, {CONTROL_REG, 202}, {DATA_REG, 8}}));
}

TEST_F(WiringTestTest, ANewTestEndsTheRunningOneAtRestFirst) {
    ASSERT_EQ(test().start(WiringTestKind::CoilA), "");
    h.wait(100);
    ASSERT_EQ(test().start(WiringTestKind::CoilB), "");
    EXPECT_EQ(h.writes(),
              (Writes{{DATA_REG, 1}, {DATA_REG, 0}, {CONTROL_REG, 202}, {DATA_REG, 2}}));
    // The new hold is a whole 300 ms from its own start.
    h.wait(299);
    EXPECT_TRUE(test().running());
    h.wait(1);
    EXPECT_FALSE(test().running());
}

}  // namespace
}  // namespace ostrel::test
