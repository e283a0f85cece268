// The frame cutting run: legs, corners, limits, home tests and the frame size display.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <deque>
#include <functional>
#include <vector>

#include "jobs/PictureRun.h"
#include "support/Harness.h"

using namespace ostrel;
using machine::CONTROL_REG;
using machine::DATA_REG;

namespace {

void sizeFrame(form::Form1& f, int w, int h) {
    f.Picture3.setOuterSize((w + 2) * 15, (h + 2) * 15);
}

bool isYWord(int value) {
    return value != 0 && (value & 0x0F) == 0;
}

class FrameRunTest : public ::testing::Test {
  protected:
    FrameRunTest() { h.start(); }

    // Runs a frame to its end and records the farthest counts of both axes.
    void run() {
        h.loop.setAfterDispatch([this] {
            xPeak = std::max(xPeak, h.form().xStepCount);
            yPeak = std::max(yPeak, h.form().yStepCount);
        });
        h.engraver->frameRun().start();
        ASSERT_TRUE(h.untilIdle());
    }
    void expectAtRest() {
        for (auto& [name, t] : h.form().timers()) EXPECT_FALSE(t->Enabled()) << name;
        EXPECT_EQ(h.data(), 0);
        EXPECT_FALSE(h.sim->laserOn());
    }
    void expectHomeCorner() {
        form::Form1& f = h.form();
        EXPECT_EQ(f.xStepCount, 0);
        EXPECT_EQ(f.yStepCount, 0);
        EXPECT_EQ(f.Label1[0].caption, "0");
        EXPECT_EQ(f.Label1[1].caption, "0");
        EXPECT_EQ(f.pixelColumn, "0");
        EXPECT_EQ(f.pixelRow, "0");
        EXPECT_EQ(h.sim->x(), 0);
        EXPECT_EQ(h.sim->y(), 0);
        EXPECT_EQ(h.sim->lostSteps(), 0u);
        EXPECT_EQ(h.sim->faults(), 0u);
    }

    test::Harness h;
    int32_t xPeak = 0, yPeak = 0;
};

TEST_F(FrameRunTest, FullSizeFrameFromTheHomeCorner) {
    run();
    EXPECT_EQ(xPeak, 1076);  // 269 cycles
    EXPECT_EQ(yPeak, 220);   // 55 cycles
    expectHomeCorner();
    expectAtRest();
    for (const auto& [address, value] : h.writes()) EXPECT_NE(address, CONTROL_REG);
}

TEST_F(FrameRunTest, AutoLaserBurnsAlongAllFourSides) {
    form::Form1& f = h.form();
    f.autoLaser = true;
    // The head's true place (half-steps) at the two far corners.
    int64_t farX = -1, farY = -1;
    h.engraver->frameRun().start();
    ASSERT_TRUE(h.loop.advanceUntil([&] { return f.Timer9.Enabled(); }, 60 * 60 * 1000));
    farX = h.sim->x();
    ASSERT_TRUE(h.loop.advanceUntil([&] { return f.xMovingMinus; }, 60 * 60 * 1000));
    farY = h.sim->y();
    ASSERT_TRUE(h.untilIdle());
    expectHomeCorner();
    expectAtRest();
    EXPECT_NEAR(farX, 2 * 1076, 2);
    EXPECT_NEAR(farY, 2 * 220, 2);

    // 203 before every coil word; 202 after every "coils off".
    const std::vector<machine::TraceRecord>& r = h.trace->records();
    int corners = 0;
    for (size_t i = 0; i < r.size(); ++i) {
        if (r[i].address != DATA_REG) continue;
        if (r[i].value != 0) {
            ASSERT_GT(i, 0u);
            EXPECT_EQ(r[i - 1].address, CONTROL_REG) << "write " << i;
            EXPECT_EQ(r[i - 1].value, machine::LASER_ON) << "write " << i;
            // Every Y step waits 20 ms between the laser and the coils.
            if (isYWord(r[i].value)) {
                EXPECT_EQ(r[i].tMs - r[i - 1].tMs, 20) << "write " << i;
            }
        } else {
            ++corners;
            ASSERT_LT(i + 1, r.size());
            EXPECT_EQ(r[i + 1].address, CONTROL_REG);
            EXPECT_EQ(r[i + 1].value, machine::LASER_OFF);
            // The three corners pause for 500 ms before the next leg steps.
            if (i + 2 < r.size()) {
                EXPECT_GE(r[i + 2].tMs - r[i + 1].tMs, 500);
            }
        }
    }
    EXPECT_EQ(corners, 4);

    // Along each side the exposures reach from one corner to the other.
    const std::vector<machine::Exposure> ex = h.sim->exposures();
    using E = machine::Exposure;
    auto spans = [&](const std::function<bool(const E&)>& onSide, int64_t E::*along,
                     int64_t length) {
        int64_t lo = length, hi = 0;
        for (const E& e : ex) {
            if (!onSide(e)) continue;
            lo = std::min(lo, e.*along);
            hi = std::max(hi, e.*along);
        }
        return lo <= 1 && hi >= length - 1;
    };
    auto near = [](int64_t a, int64_t b) { return std::abs(a - b) <= 1; };
    EXPECT_TRUE(spans([&](const E& e) { return near(e.y, 0); }, &E::x, farX)) << "home Y";
    EXPECT_TRUE(spans([&](const E& e) { return near(e.x, farX); }, &E::y, farY)) << "far X";
    EXPECT_TRUE(spans([&](const E& e) { return near(e.y, farY); }, &E::x, farX)) << "far Y";
    EXPECT_TRUE(spans([&](const E& e) { return near(e.x, 0); }, &E::y, farY)) << "home X";
}

struct Length {
    int w, h, xCycles, yCycles;
};

class FrameLengthTest : public FrameRunTest, public ::testing::WithParamInterface<Length> {};

TEST_P(FrameLengthTest, OutgoingLegsEndPastTheFrameSize) {
    const Length c = GetParam();
    sizeFrame(h.form(), c.w, c.h);
    run();
    EXPECT_EQ(xPeak, 4 * c.xCycles);
    EXPECT_EQ(yPeak, 4 * c.yCycles);
    expectHomeCorner();
    expectAtRest();
}

INSTANTIATE_TEST_SUITE_P(Sizes, FrameLengthTest,
                         ::testing::Values(Length{127, 103, 269, 55}, Length{100, 100, 211, 53},
                                           Length{50, 50, 105, 27}, Length{15, 15, 30, 8},
                                           Length{48, 20, 101, 11}));

TEST_F(FrameRunTest, XLimitEndsTheRunWithoutAYLeg) {
    h.form().xStepCount = 500;
    h.form().autoLaser = true;
    run();
    EXPECT_EQ(h.form().xStepCount, 1080);
    EXPECT_EQ(h.form().yStepCount, 0);
    EXPECT_FALSE(h.form().xMovingPlus);
    EXPECT_FALSE(h.form().yMovingPlus);
    for (const auto& [address, value] : h.writes()) {
        if (address == DATA_REG) {
            EXPECT_FALSE(isYWord(value));
        }
    }
    const std::vector<std::pair<int, int>> w = h.writes();
    ASSERT_GE(w.size(), 2u);
    EXPECT_EQ(w[w.size() - 2], std::make_pair(int{DATA_REG}, 0));
    EXPECT_EQ(w.back(), std::make_pair(int{CONTROL_REG}, int{machine::LASER_OFF}));
    expectAtRest();
}

TEST_F(FrameRunTest, ScrollBarsResizeTheFrame) {
    form::Form1& f = h.form();
    EXPECT_EQ(f.Option2.caption, "Frame cutting");
    EXPECT_EQ(f.Picture3.toolTip, "Frame");
    EXPECT_EQ(h.engraver->set("HScroll2", std::to_string(52 * 15)), engraver::EventResult::Handled);
    EXPECT_EQ(f.Picture3.ScaleWidth(), 50);
    EXPECT_EQ(f.Option2.caption, "Frame 50x103");
    EXPECT_EQ(f.Picture3.toolTip, "50,103");
    run();
    EXPECT_EQ(xPeak, 4 * 105);

    EXPECT_EQ(h.engraver->set("VScroll2", std::to_string(17 * 15)), engraver::EventResult::Handled);
    EXPECT_EQ(f.Option2.caption, "Frame 50x15");
    EXPECT_EQ(f.Picture3.toolTip, "50,15");
}

TEST_F(FrameRunTest, AbortDuringACornerPauseLeavesEveryTimerOff) {
    form::Form1& f = h.form();
    sizeFrame(f, 15, 15);
    double cornerAt = -1, abortAt = -1;
    bool nextLegWasOn = false;
    auto abort = [&] {
        abortAt = h.loop.nowMs();
        nextLegWasOn = f.Timer9.Enabled();
        for (auto& [name, t] : f.timers()) t->setEnabled(false);
        form::Context& ctx = h.engraver->context();
        ++ctx.abortGeneration;
        ctx.out(DATA_REG, machine::COILS_OFF);
        h.loop.doEvents();
        ctx.out(CONTROL_REG, machine::LASER_OFF);
    };
    f.Timer8.setHandler([&] {
        if (cornerAt < 0 && f.xMovingPlus && jobs::progressValue(f.pixelColumn) > 14) {
            cornerAt = h.loop.nowMs();
            h.loop.post(abort, 200);  // clicked while the tick sleeps
        }
        h.engraver->frameRun().Timer8Tick();
    });
    run();
    ASSERT_GE(cornerAt, 0);
    EXPECT_GE(abortAt, cornerAt + 500);  // handled once the pause is over
    EXPECT_TRUE(nextLegWasOn);
    h.wait(10 * 1000);
    expectAtRest();
    EXPECT_EQ(f.yStepCount, 0);
    EXPECT_EQ(h.control(), machine::LASER_OFF);
}

TEST_F(FrameRunTest, BadSpeedTextKeepsThePreviousPeriod) {
    form::Form1& f = h.form();
    sizeFrame(f, 15, 15);
    f.Combo1.caption = "20";
    h.engraver->frameRun().start();
    ASSERT_TRUE(h.loop.advanceUntil([&] { return f.Timer8.Interval() == 20; }, 1000));
    for (const char* text : {"", "x", "0", "-3", "65536"}) {
        f.Combo1.caption = text;
        h.wait(200);
        EXPECT_EQ(f.Timer8.Interval(), 20) << text;
    }
    ASSERT_TRUE(h.untilIdle(10LL * 60 * 1000));
    EXPECT_EQ(f.Timer8.Interval(), 20);
    EXPECT_EQ(f.Timer9.Interval(), 100);  // never given a valid text
    expectHomeCorner();
}

// --- Home tests on given status reads ---

// A port whose status register answers from a script, then with a steady byte.
class ScriptedPort final : public machine::Port {
  public:
    std::deque<int> reads;
    int steady = 126;
    uint8_t data = 0, control = machine::LASER_OFF;
    std::vector<std::pair<int, int>> writes;

    void out(uint16_t address, uint8_t value) override {
        writes.emplace_back(address, value);
        if (address == DATA_REG) data = value;
        if (address == CONTROL_REG) control = value;
    }
    uint8_t inp(uint16_t address) override {
        if (address == DATA_REG) return data;
        if (address == CONTROL_REG) return control;
        if (reads.empty()) return static_cast<uint8_t>(steady);
        const int s = reads.front();
        reads.pop_front();
        return static_cast<uint8_t>(s);
    }
    std::string describe() const override { return "scripted port"; }
};

struct ScriptedCore {
    runtime::VirtualEventLoop loop;
    ScriptedPort port;
    test::FakeHost host;
    engraver::Engraver engraver{loop, port, host};
    form::Form1& f = engraver.form();
};

struct HomeReads {
    char leg;  // 'X' or 'Y'
    std::array<int, 4> reads;
    bool closed;
};

class FrameHomeTest : public ::testing::TestWithParam<HomeReads> {};

TEST_P(FrameHomeTest, ReturnLegTakesTheCornerOnlyWhenItsSwitchReadsClosed) {
    const HomeReads c = GetParam();
    ScriptedCore core;
    form::Form1& f = core.f;
    core.port.reads.assign(c.reads.begin(), c.reads.end());
    f.xStepCount = 37;
    f.yStepCount = 41;
    if (c.leg == 'X') {
        f.xMovingMinus = true;
        f.Timer8.setEnabled(true);
        core.engraver.frameRun().Timer8Tick();
        EXPECT_EQ(f.xMovingMinus, !c.closed);
        EXPECT_EQ(f.yMovingMinus, c.closed);
        EXPECT_EQ(f.Timer9.Enabled(), c.closed);
        EXPECT_EQ(f.Timer8.Enabled(), !c.closed);
        EXPECT_EQ(f.xStepCount, c.closed ? 0 : 37);
        EXPECT_EQ(core.port.data, c.closed ? 0 : machine::xHalfMinus[0]);
        EXPECT_EQ(core.loop.nowMs(), c.closed ? 500 : 0);
    } else {
        f.yMovingMinus = true;
        f.Timer9.setEnabled(true);
        core.engraver.frameRun().Timer9Tick();
        EXPECT_EQ(f.yMovingMinus, !c.closed);
        EXPECT_EQ(f.Timer9.Enabled(), !c.closed);
        EXPECT_EQ(f.yStepCount, c.closed ? 0 : 41);
        EXPECT_EQ(core.port.data, c.closed ? 0 : machine::yHalfMinus[0]);
    }
    EXPECT_TRUE(core.port.reads.empty());  // all four reads, whatever the first shows
}

INSTANTIATE_TEST_SUITE_P(
    StatusReads, FrameHomeTest,
    ::testing::Values(
        HomeReads{'X', {254, 126, 126, 126}, true}, HomeReads{'X', {126, 255, 126, 126}, true},
        HomeReads{'X', {126, 126, 222, 126}, true}, HomeReads{'X', {126, 126, 126, 223}, true},
        HomeReads{'X', {222, 222, 222, 222}, true}, HomeReads{'X', {223, 223, 223, 223}, true},
        HomeReads{'X', {126, 254, 126, 126}, false}, HomeReads{'X', {126, 126, 254, 126}, false},
        HomeReads{'X', {126, 126, 126, 254}, false}, HomeReads{'X', {94, 94, 94, 94}, false},
        HomeReads{'X', {126, 126, 126, 126}, false}, HomeReads{'Y', {94, 126, 126, 126}, true},
        HomeReads{'Y', {126, 95, 126, 126}, true}, HomeReads{'Y', {222, 222, 222, 222}, true},
        HomeReads{'Y', {223, 223, 223, 223}, true}, HomeReads{'Y', {126, 94, 126, 126}, false},
        HomeReads{'Y', {126, 126, 94, 126}, false}, HomeReads{'Y', {126, 126, 126, 94}, false},
        HomeReads{'Y', {254, 254, 254, 254}, false}, HomeReads{'Y', {126, 126, 126, 126}, false}));

TEST(FrameRunPhase, ALegEndingAtPhaseEightLetsTheNextRunStartAtPhaseOne) {
    ScriptedCore core;
    form::Form1& f = core.f;
    core.port.steady = 254;  // X switch closed
    f.xMovingMinus = true;
    f.xPhase = 7;
    core.engraver.frameRun().Timer8Tick();
    EXPECT_EQ(f.xPhase, 8);
    EXPECT_TRUE(f.yMovingMinus);

    core.port.writes.clear();
    core.engraver.frameRun().start();
    core.engraver.frameRun().Timer8Tick();
    ASSERT_FALSE(core.port.writes.empty());
    EXPECT_EQ(core.port.writes.back(), std::make_pair(int{DATA_REG}, int{machine::xHalfPlus[0]}));
    EXPECT_FALSE(f.Timer9.Enabled());  // every X tick stops the Y timer first
}

TEST(FrameProgressText, FifteenSignificantDigitsInTheCLocale) {
    // Each cycle adds to the text as it stands, so the sums stay the decimal numbers shown.
    std::string column = "0";
    for (int cycle = 1; cycle <= 100; ++cycle) {
        column = jobs::progressText(jobs::progressValue(column) + 0.47);
        if (cycle == 3) {
            EXPECT_EQ(column, "1.41");
        }
    }
    EXPECT_EQ(column, "47");
    EXPECT_EQ(jobs::progressText(1.0 / 3), "0.333333333333333");
    EXPECT_EQ(jobs::progressText(20.9), "20.9");
    EXPECT_EQ(jobs::progressValue(" 2.5 "), 2.5);
    for (const char* bad : {"", "abc", "2,5", "1.2.3"})
        EXPECT_EQ(jobs::progressValue(bad), 0) << bad;
}

}  // namespace
