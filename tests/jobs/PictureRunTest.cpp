// The picture engraving run in virtual time on the simulated engraver.
#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "jobs/Dwell.h"
#include "support/Harness.h"

using namespace ostrel;
using machine::CONTROL_REG;
using machine::DATA_REG;
using ostrel::jobs::kDwellMs;

namespace {

using Levels = std::vector<std::vector<int>>;  // [row][column]

QImage greyPicture(const Levels& levels) {
    const int h = static_cast<int>(levels.size());
    const int w = static_cast<int>(levels.front().size());
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int v = levels[static_cast<size_t>(y)][static_cast<size_t>(x)];
            image.setPixel(x, y, qRgb(v, v, v));
        }
    }
    return image;
}

Levels levelsOf(int w, int h, const std::function<int(int, int)>& level) {
    Levels out(static_cast<size_t>(h), std::vector<int>(static_cast<size_t>(w)));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            out[static_cast<size_t>(y)][static_cast<size_t>(x)] = level(x, y);
    }
    return out;
}

bool isMarker(int level) {
    return level >= 100 && level <= 102;
}

// A stretch of laser-on time: from a 203 to the next 202 on the control register.
struct Pulse {
    double startMs = 0, ms = 0;
};

std::vector<Pulse> pulsesOf(const std::vector<machine::TraceRecord>& records) {
    std::vector<Pulse> out;
    double onAt = -1;
    for (const machine::TraceRecord& r : records) {
        if (!r.write || r.address != CONTROL_REG) continue;
        if (r.value == machine::LASER_ON && onAt < 0) onAt = r.tMs;
        if (r.value == machine::LASER_OFF && onAt >= 0) {
            out.push_back({onAt, r.tMs - onAt});
            onAt = -1;
        }
    }
    return out;
}

bool isSweepWord(int value) {
    return std::find(machine::xHalfPlus.begin(), machine::xHalfPlus.end(), value) !=
           machine::xHalfPlus.end();
}

class PictureRunTest : public ::testing::Test {
  protected:
    explicit PictureRunTest(const machine::SimConfig& config = {}) : h(config) { h.start(); }

    void load(const Levels& levels) { h.form().Picture2.setPicture(greyPicture(levels)); }
    void mode(bool coarse, bool hologram = false) {
        h.form().Check1.value = coarse ? 1 : 0;
        h.form().Check2.value = hologram ? 1 : 0;
    }
    void run() {
        h.engraver->pictureRun().start();
        ASSERT_TRUE(h.untilIdle());
    }
    std::vector<Pulse> pulses() const { return pulsesOf(h.trace->records()); }
    std::vector<double> pulseLengths() const {
        std::vector<double> out;
        for (const Pulse& p : pulses()) out.push_back(p.ms);
        return out;
    }
    int runTimersOn() {
        form::Form1& f = h.form();
        return f.Timer4.Enabled() + f.Timer5.Enabled() + f.Timer6.Enabled() + f.Timer7.Enabled();
    }
    void expectAtRest() {
        for (auto& [name, t] : h.form().timers()) EXPECT_FALSE(t->Enabled()) << name;
        EXPECT_EQ(h.data(), 0);
        EXPECT_FALSE(h.sim->laserOn());
    }

    test::Harness h;
};

// --- Burning ---

class PicturePreciseTest : public PictureRunTest, public ::testing::WithParamInterface<Levels> {};

TEST_P(PicturePreciseTest, BurnsEveryDotForItsDwellAndTwoRowsPast) {
    const Levels picture = GetParam();
    load(picture);
    mode(false, true);  // "Hologram-Efect" changes nothing here
    run();
    const int w = static_cast<int>(picture.front().size());
    const int rows = static_cast<int>(picture.size());
    const std::vector<Pulse> got = pulses();
    ASSERT_EQ(got.size(), static_cast<size_t>(w * (rows + 2)));
    for (size_t i = 0; i < got.size(); ++i) {
        const int x = static_cast<int>(i) % w, y = static_cast<int>(i) / w;
        const int level = y < rows ? picture[static_cast<size_t>(y)][static_cast<size_t>(x)] : 255;
        const int dwell = kDwellMs[static_cast<size_t>(level)];
        EXPECT_EQ(got[i].ms, dwell) << "dot " << x << "," << y;
        if (y < rows) {
            EXPECT_EQ(h.form().Picture2.Point(x, y), form::RGB(50 + dwell, 50, 50));
        }
    }
    expectAtRest();
    EXPECT_EQ(h.form().pixelRow, std::to_string(rows + 1));
    EXPECT_EQ(h.form().xPhase, 0);
    EXPECT_EQ(h.form().yStepCount, 2 * (rows + 1));  // two Y steps per row advance
}

INSTANTIATE_TEST_SUITE_P(
    KnownLevels, PicturePreciseTest,
    ::testing::Values(Levels{{0, 66, 67, 255}, {100, 101, 102, 13}, {9, 10, 252, 128}},
                      levelsOf(8, 5, [](int x, int y) { return (37 * x + 61 * y) % 256; })));

TEST_F(PictureRunTest, CoarseBurnsTheMarkerOnlyAndASecondRunNothing) {
    const Levels picture = levelsOf(6, 4, [](int x, int y) {
        const int levels[] = {0, 99, 100, 101, 102, 103, 180, 255};
        return levels[(x + 3 * y) % 8];
    });
    load(picture);
    mode(true);
    std::vector<std::pair<int, int>> burned;  // pixel under the head at each laser-on
    bool wasOn = false;
    h.loop.setAfterDispatch([&] {
        if (h.sim->laserOn() && !wasOn) {
            burned.emplace_back(std::stoi(h.form().pixelColumn) - 1, std::stoi(h.form().pixelRow));
        }
        wasOn = h.sim->laserOn();
    });
    run();
    std::vector<std::pair<int, int>> markers;
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 6; ++x) {
            if (isMarker(picture[static_cast<size_t>(y)][static_cast<size_t>(x)])) {
                markers.emplace_back(x, y);
                EXPECT_EQ(h.form().Picture2.Point(x, y), form::RGB(180, 0, 0));
            }
        }
    }
    EXPECT_EQ(burned, markers);
    for (const Pulse& p : pulses()) EXPECT_EQ(p.ms, 100);
    EXPECT_EQ(pulses().size(), markers.size());
    expectAtRest();

    // The marks read level 180 (dwell 38): a second run passes over them.
    h.clearTrace();
    run();
    EXPECT_TRUE(pulses().empty());
    expectAtRest();
}

TEST_F(PictureRunTest, HologramPulseGrowsDownThePicture) {
    load(levelsOf(1, 80, [](int, int) { return 100; }));
    mode(true, true);
    run();
    const std::vector<Pulse> got = pulses();
    ASSERT_EQ(got.size(), 80u);
    for (int row = 0; row < 80; ++row) EXPECT_EQ(got[static_cast<size_t>(row)].ms, 20 + row);
}

TEST_F(PictureRunTest, HologramTopRowsOfATallPictureGetTheShortestPulse) {
    // 100 - (120 - row) is zero or less for rows 0-20: those dots burn for 1 ms.
    load(levelsOf(1, 120, [](int, int) { return 101; }));
    mode(true, true);
    run();
    const std::vector<Pulse> got = pulses();
    ASSERT_EQ(got.size(), 120u);
    for (int row = 0; row < 120; ++row) {
        EXPECT_EQ(got[static_cast<size_t>(row)].ms, std::max(1, row - 20)) << "row " << row;
    }
    expectAtRest();
}

// --- Sweep, advance and return ---

TEST_F(PictureRunTest, DotsEverySixteenSweepTicksAndReturnsToColumnZero) {
    load(levelsOf(5, 2, [](int x, int) { return 30 * x; }));
    mode(false);
    int returns = 0;
    bool returning = false;
    h.loop.setAfterDispatch([&] {
        if (returning && h.form().Timer4.Enabled()) {
            ++returns;
            EXPECT_EQ(h.form().Label1[0].caption, "0");
            EXPECT_EQ(h.form().pixelColumn, "0");
        }
        returning = h.form().Timer7.Enabled();
        EXPECT_LE(runTimersOn(), 1);
    });
    run();
    EXPECT_EQ(returns, 3);  // before rows 1, 2 and 3

    int sweepTicks = 0, dot = 0;
    for (const machine::TraceRecord& r : h.trace->records()) {
        if (r.address == DATA_REG && isSweepWord(r.value)) ++sweepTicks;
        if (r.address == CONTROL_REG && r.value == machine::LASER_ON && dot < 5) {
            EXPECT_EQ(sweepTicks, 16 * (dot + 1)) << "dot " << dot;
            ++dot;
        }
    }
    EXPECT_EQ(dot, 5);
    expectAtRest();
    EXPECT_EQ(h.form().yStepCount, 6);
    EXPECT_EQ(h.form().Label1[1].caption, "6");
}

TEST_F(PictureRunTest, XLimitStopsTheFirstRow) {
    load(levelsOf(127, 3, [](int, int) { return 0; }));
    mode(false);
    h.form().xStepCount = 1000;
    run();
    EXPECT_EQ(h.form().xStepCount, 1050);
    EXPECT_EQ(pulses().size(), 6u);  // one dot per 8 counted steps
    EXPECT_EQ(h.form().pixelColumn, "6");
    EXPECT_EQ(h.form().pixelRow, "0");
    expectAtRest();
}

TEST_F(PictureRunTest, YLimitStopsInTheMiddleOfAnAdvance) {
    load(levelsOf(2, 3, [](int, int) { return 0; }));
    mode(false);
    h.form().yStepCount = 269;
    run();
    EXPECT_EQ(h.form().yStepCount, 270);  // one of the two steps
    EXPECT_EQ(h.form().yPhase, 1);
    EXPECT_EQ(h.form().pixelRow, "0");
    EXPECT_EQ(pulses().size(), 2u);
    expectAtRest();
}

// --- Mended faults ---

TEST_F(PictureRunTest, APulseLeftOnStillBurnsTheNextDot) {
    load(levelsOf(2, 1, [](int, int) { return 0; }));
    mode(false);
    h.form().laserPulseOn = true;  // as the pulsed laser mode may leave it
    run();
    // Level 0 burns for 100 ms; the two rows past the picture for 13 ms.
    EXPECT_EQ(pulseLengths(), (std::vector<double>{100, 100, 13, 13, 13, 13}));
}

class PictureBadSpeedTest : public PictureRunTest,
                            public ::testing::WithParamInterface<const char*> {};

TEST_P(PictureBadSpeedTest, KeepsThePreviousPeriod) {
    load(levelsOf(2, 2, [](int, int) { return 255; }));
    mode(false);
    form::Form1& f = h.form();
    f.Combo1.caption = "20";
    h.engraver->pictureRun().start();
    // Every stepping timer has taken its period from the list; then the text goes bad.
    ASSERT_TRUE(h.loop.advanceUntil([&] { return f.Timer7.Enabled() && f.Timer7.Interval() == 20; },
                                    60 * 1000));
    f.Combo1.caption = GetParam();
    const double badFrom = h.loop.nowMs();
    ASSERT_TRUE(h.untilIdle(10LL * 60 * 1000));
    EXPECT_EQ(f.Timer4.Interval(), 20);
    EXPECT_EQ(f.Timer6.Interval(), 20);
    EXPECT_EQ(f.Timer7.Interval(), 20);
    EXPECT_EQ(pulses().size(), 8u);
    double last = -1;
    for (const machine::TraceRecord& r : h.trace->records()) {
        if (r.tMs < badFrom || r.address != DATA_REG || !isSweepWord(r.value)) continue;
        if (last >= 0) {
            EXPECT_GE(r.tMs - last, 20) << "sweep tick at " << r.tMs;
        }
        last = r.tMs;
    }
    expectAtRest();
}

INSTANTIATE_TEST_SUITE_P(Texts, PictureBadSpeedTest,
                         ::testing::Values("", "abc", "0", "-5", "70000", "1e3x"));

// Abort as the command panel does it: every timer off, coils off, events, laser off.
class PictureRunAbortTest : public PictureRunTest,
                            public ::testing::WithParamInterface<const char*> {
  protected:
    void abortNow() {
        for (auto& [name, t] : h.form().timers()) t->setEnabled(false);
        form::Context& ctx = h.engraver->context();
        ++ctx.abortGeneration;
        ctx.out(DATA_REG, machine::COILS_OFF);
        h.loop.doEvents();
        ctx.out(CONTROL_REG, machine::LASER_OFF);
        abortedInTick = inTick;
    }
    // Runs a tick with an Abort queued to run inside its event pump when `when` holds.
    void armTick(runtime::Timer& timer, std::function<void()> tick, std::function<bool()> when) {
        timer.setHandler([this, tick, when] {
            if (!armed && when()) {
                armed = true;
                h.loop.post([this] { abortNow(); });
            }
            inTick = true;
            tick();
            inTick = false;
        });
    }

    bool armed = false, inTick = false, abortedInTick = false;
};

TEST_P(PictureRunAbortTest, AbortInsideATickLeavesEveryTimerOff) {
    const std::string where = GetParam();
    load(levelsOf(3, 2, [](int, int) { return 0; }));
    mode(false);
    form::Form1& f = h.form();
    jobs::PictureRun& pictureRun = h.engraver->pictureRun();
    if (where == "sweep step") {
        armTick(
            f.Timer4, [&] { pictureRun.Timer4Tick(); }, [&] { return f.xPhase == 2; });
    } else if (where == "dot hand-over") {
        armTick(
            f.Timer4, [&] { pictureRun.Timer4Tick(); },
            [&] { return f.xPhase == 7 && f.dotCycle == 1; });
    } else if (where == "laser on") {
        armTick(
            f.Timer5, [&] { pictureRun.Timer5Tick(); }, [&] { return !f.laserPulseOn; });
    } else if (where == "laser off") {
        armTick(
            f.Timer5, [&] { pictureRun.Timer5Tick(); }, [&] { return f.laserPulseOn; });
    } else if (where == "row advance") {
        armTick(
            f.Timer6, [&] { pictureRun.Timer6Tick(); }, [] { return true; });
    } else {
        armTick(
            f.Timer7, [&] { pictureRun.Timer7Tick(); }, [&] { return f.xStepCount > 4; });
    }
    pictureRun.start();
    ASSERT_TRUE(h.untilIdle());
    EXPECT_TRUE(armed);
    EXPECT_TRUE(abortedInTick);
    h.wait(60 * 1000);
    expectAtRest();
    EXPECT_EQ(h.control(), machine::LASER_OFF);

    // A new run burns its first dot in full, whatever the Abort left in laserPulseOn.
    armed = true;
    load(levelsOf(3, 2, [](int, int) { return 0; }));
    h.clearTrace();
    pictureRun.start();
    ASSERT_TRUE(h.untilIdle());
    EXPECT_EQ(pulseLengths(),
              (std::vector<double>{100, 100, 100, 100, 100, 100, 13, 13, 13, 13, 13, 13}));
}

INSTANTIATE_TEST_SUITE_P(EveryTick, PictureRunAbortTest,
                         ::testing::Values("sweep step", "dot hand-over", "laser on", "laser off",
                                           "row advance", "return step"),
                         [](const auto& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), ' ', '_');
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

// --- On the simulated engraver ---

TEST_F(PictureRunTest, HeadReturnsToTheSwitchEveryRowAndHitsNoStop) {
    load(levelsOf(20, 6, [](int x, int y) { return (x * 13 + y * 7) % 256; }));
    mode(false);
    // The head's true X (half-steps) each time the return finds home, and the farthest it went
    // in the row before. The counts and the head need not agree step for step: a sweep that
    // starts from a phase the rotor does not stand at loses or gains a half-step or two.
    std::vector<int64_t> returnedAt, farthest{0};
    bool returning = false;
    h.loop.setAfterDispatch([&] {
        if (returning && h.form().Timer4.Enabled()) {
            returnedAt.push_back(h.sim->x());
            farthest.push_back(0);
        }
        farthest.back() = std::max(farthest.back(), h.sim->x());
        returning = h.form().Timer7.Enabled();
    });
    run();
    ASSERT_EQ(returnedAt.size(), 7u);
    for (size_t row = 0; row < returnedAt.size(); ++row) {
        EXPECT_LE(std::abs(returnedAt[row]), 1) << "row " << row;
        // 8 steps per column; a row after a return is shorter by what the return left in
        // xPhase, less than one cycle.
        EXPECT_GE(farthest[row], 2 * 8 * 20 - 8) << "row " << row;
    }
    EXPECT_EQ(h.sim->lostSteps(), 0u);
    EXPECT_EQ(h.sim->faults(), 0u);
    // Each burned dot stands still under the laser.
    const std::vector<machine::Exposure> exposures = h.sim->exposures();
    EXPECT_EQ(exposures.size(), 20u * 8u);
    expectAtRest();
}

// --- Invariants over sizes, modes and starting places ---

struct SweepCase {
    int w, h;
    bool coarse, hologram;
    int startX, startY;  // full steps from the switches, counters and head alike
};

class PictureRunSweepTest : public ::testing::TestWithParam<SweepCase> {};

TEST_P(PictureRunSweepTest, InvariantsHoldAfterEveryDispatch) {
    const SweepCase c = GetParam();
    machine::SimConfig config;
    config.headX = c.startX;
    config.headY = c.startY;
    test::Harness h(config);
    h.start();
    const Levels picture = levelsOf(c.w, c.h, [](int x, int y) {
        return (x + 2 * y) % 5 == 0 ? 100 + (x + y) % 3 : (x * 7 + y * 13) % 256;
    });
    h.form().Picture2.setPicture(greyPicture(picture));
    h.form().Check1.value = c.coarse ? 1 : 0;
    h.form().Check2.value = c.hologram ? 1 : 0;
    h.form().xStepCount = c.startX;
    h.form().yStepCount = c.startY;
    form::Form1& f = h.form();
    int crowded = 0, wiringFaults = 0;
    h.loop.setAfterDispatch([&] {
        const int on =
            f.Timer4.Enabled() + f.Timer5.Enabled() + f.Timer6.Enabled() + f.Timer7.Enabled();
        if (on > 1) ++crowded;
        if (machine::isWiringFault(static_cast<uint8_t>(h.data()))) ++wiringFaults;
    });
    h.engraver->pictureRun().start();
    ASSERT_TRUE(h.untilIdle());
    EXPECT_EQ(crowded, 0);
    EXPECT_EQ(wiringFaults, 0);
    EXPECT_EQ(h.sim->faults(), 0u);

    size_t expectedDots = static_cast<size_t>(c.w) * static_cast<size_t>(c.h + 2);
    if (c.coarse) {
        expectedDots = 0;
        for (const auto& row : picture)
            expectedDots += std::count_if(row.begin(), row.end(), isMarker);
    }
    const bool fitsY = c.startY + 2 * (c.h + 1) <= 270;
    if (fitsY) {
        EXPECT_EQ(pulsesOf(h.trace->records()).size(), expectedDots);
    } else {
        EXPECT_LT(pulsesOf(h.trace->records()).size(), expectedDots);
        EXPECT_EQ(f.yStepCount, 270);
    }
    for (auto& [name, t] : f.timers()) EXPECT_FALSE(t->Enabled()) << name;
    EXPECT_EQ(h.data(), 0);
    EXPECT_FALSE(h.sim->laserOn());
}

INSTANTIATE_TEST_SUITE_P(
    SizesModesPlaces, PictureRunSweepTest,
    ::testing::Values(SweepCase{1, 1, false, false, 0, 0}, SweepCase{1, 1, true, false, 0, 0},
                      SweepCase{3, 2, true, true, 0, 0}, SweepCase{17, 9, false, false, 0, 0},
                      SweepCase{17, 9, true, true, 40, 30}, SweepCase{64, 40, true, false, 100, 50},
                      SweepCase{64, 40, false, false, 300, 0},
                      SweepCase{40, 30, false, false, 0, 230},
                      SweepCase{127, 103, true, true, 0, 0},
                      SweepCase{127, 103, false, false, 0, 0}));

}  // namespace
