// The simulated engraver: rotors, table moves, stalls, switches, noise, stops, faults, exposure.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "machine/Registers.h"
#include "machine/SimEngraver.h"

namespace m = ostrel::machine;
using m::CONTROL_REG;
using m::DATA_REG;
using m::SimConfig;
using m::SimEngraver;
using m::STATUS_REG;

namespace {

// The word that pulls each rotor to each angle.
constexpr std::array<uint8_t, 8> xWordAt{1, 3, 2, 6, 4, 12, 8, 9};
constexpr std::array<uint8_t, 8> yWordAt{16, 80, 64, 96, 32, 160, 128, 144};

// Far from both switches and every stop.
SimConfig midTravel() {
    SimConfig c;
    c.headX = 500;
    c.headY = 100;
    return c;
}

// A simulated engraver on a clock the test sets by hand.
struct Bench {
    explicit Bench(const SimConfig& c = midTravel()) : sim(c, [this] { return t; }) {}
    void write(const uint8_t* words, size_t n) {
        for (size_t i = 0; i < n; ++i) sim.out(DATA_REG, words[i]);
    }
    double t = 0;
    SimEngraver sim;
};

// Shortest way from one angle to another, -3..3; 4 for the jump that stalls.
int shortest(int from, int to) {
    int d = ((to - from) % 8 + 8) % 8;
    return d > 4 ? d - 8 : d;
}

}  // namespace

TEST(SimEngraverRotor, AngleTablesMatchTheWiring) {
    for (int a = 0; a < 8; ++a) {
        EXPECT_EQ(SimEngraver::xAngleOf(xWordAt[a]), a);
        EXPECT_EQ(SimEngraver::yAngleOf(yWordAt[a]), a);
    }
    EXPECT_EQ(SimEngraver::xAngleOf(0), -1);
    EXPECT_EQ(SimEngraver::xAngleOf(5), -1);   // a+c: opposite coils, no angle
    EXPECT_EQ(SimEngraver::xAngleOf(15), -1);  // every coil
    EXPECT_EQ(SimEngraver::xAngleOf(16), -1);  // a Y word drives no X coil
    EXPECT_EQ(SimEngraver::yAngleOf(8), -1);
    EXPECT_EQ(SimEngraver::yAngleOf(0), -1);
}

TEST(SimEngraverRotor, XShortestWayAndStall) {
    for (int from = 0; from < 8; ++from) {
        for (int to = 0; to < 8; ++to) {
            SimConfig c = midTravel();
            c.rotorX = from;
            Bench b(c);
            const int64_t x0 = b.sim.x();
            b.sim.out(DATA_REG, xWordAt[to]);
            const int d = shortest(from, to);
            if (d == 4) {
                EXPECT_EQ(b.sim.rotorX(), from) << from << "->" << to;
                EXPECT_EQ(b.sim.x(), x0) << from << "->" << to;
                EXPECT_EQ(b.sim.stalls(), 1u) << from << "->" << to;
            } else {
                EXPECT_EQ(b.sim.rotorX(), to) << from << "->" << to;
                // X + runs with the angle falling.
                EXPECT_EQ(b.sim.x() - x0, -d) << from << "->" << to;
                EXPECT_EQ(b.sim.stalls(), 0u) << from << "->" << to;
            }
            EXPECT_EQ(b.sim.y(), 200) << "an X word never moves Y";
        }
    }
}

TEST(SimEngraverRotor, YShortestWayAndStall) {
    for (int from = 0; from < 8; ++from) {
        for (int to = 0; to < 8; ++to) {
            SimConfig c = midTravel();
            c.rotorY = from;
            Bench b(c);
            const int64_t y0 = b.sim.y();
            b.sim.out(DATA_REG, yWordAt[to]);
            const int d = shortest(from, to);
            if (d == 4) {
                EXPECT_EQ(b.sim.rotorY(), from) << from << "->" << to;
                EXPECT_EQ(b.sim.y(), y0) << from << "->" << to;
                EXPECT_EQ(b.sim.stalls(), 1u);
            } else {
                EXPECT_EQ(b.sim.rotorY(), to) << from << "->" << to;
                // Y + runs with the angle rising.
                EXPECT_EQ(b.sim.y() - y0, d) << from << "->" << to;
            }
            EXPECT_EQ(b.sim.x(), 1000) << "a Y word never moves X";
        }
    }
}

TEST(SimEngraverRotor, WordZeroLeavesBothRotors) {
    SimConfig c = midTravel();
    c.rotorX = 3;
    c.rotorY = 6;
    Bench b(c);
    b.sim.out(DATA_REG, 0);
    EXPECT_EQ(b.sim.rotorX(), 3);
    EXPECT_EQ(b.sim.rotorY(), 6);
    EXPECT_EQ(b.sim.x(), 1000);
    EXPECT_EQ(b.sim.y(), 200);
    // A Y word leaves the X rotor where it was, and the other way round.
    b.sim.out(DATA_REG, yWordAt[7]);
    EXPECT_EQ(b.sim.rotorX(), 3);
    b.sim.out(DATA_REG, xWordAt[2]);
    EXPECT_EQ(b.sim.rotorY(), 7);
}

TEST(SimEngraverRotor, StartWordHoldsTheRotor) {
    SimConfig c = midTravel();
    c.rotorX = 0;
    c.data = 8;  // d is energised: the X rotor stands at 6
    Bench b(c);
    EXPECT_EQ(b.sim.rotorX(), 6);
    EXPECT_EQ(b.sim.x(), 1000);
    b.sim.out(DATA_REG, 4);  // c, one full step in the + direction
    EXPECT_EQ(b.sim.x(), 1002);
    EXPECT_EQ(b.sim.stalls(), 0u);

    SimConfig y = midTravel();
    y.rotorY = 0;
    y.data = 160;  // A-B-
    EXPECT_EQ(Bench(y).sim.rotorY(), 5);
}

// Each table, started in phase with the rotor, moves its axis by whole cycles of half-steps.
TEST(SimEngraverTables, FullCyclesMoveByTheExpectedHalfSteps) {
    struct Case {
        const char* name;
        const uint8_t* words;
        size_t n;
        bool xAxis;
        int halfStepsPerWord;  // signed: + or - direction
    };
    const Case cases[] = {
        {"xWaveMinus", m::xWaveMinus.data(), 4, true, -2},
        {"xWavePlus", m::xWavePlus.data(), 4, true, +2},
        {"xHalfPlus", m::xHalfPlus.data(), 8, true, +1},
        {"xHalfMinus", m::xHalfMinus.data(), 8, true, -1},
        {"yHalfPlus", m::yHalfPlus.data(), 8, false, +1},
        {"yHalfMinus", m::yHalfMinus.data(), 8, false, -1},
        {"yWavePlus", m::yWavePlus.data(), 4, false, +2},
    };
    for (const Case& c : cases) {
        SimConfig cfg = midTravel();
        // In phase: the rotor stands at the table's last word, as after a whole cycle.
        const uint8_t last = c.words[c.n - 1];
        if (c.xAxis)
            cfg.rotorX = SimEngraver::xAngleOf(last);
        else
            cfg.rotorY = SimEngraver::yAngleOf(last);
        Bench b(cfg);
        const int64_t x0 = b.sim.x(), y0 = b.sim.y();
        for (int cycle = 0; cycle < 3; ++cycle) {
            for (size_t i = 0; i < c.n; ++i) {
                const int64_t before = c.xAxis ? b.sim.x() : b.sim.y();
                b.sim.out(DATA_REG, c.words[i]);
                const int64_t after = c.xAxis ? b.sim.x() : b.sim.y();
                EXPECT_EQ(after - before, c.halfStepsPerWord) << c.name << " entry " << i + 1;
            }
        }
        const int64_t total = 3 * static_cast<int64_t>(c.n) * c.halfStepsPerWord;
        EXPECT_EQ(c.xAxis ? b.sim.x() - x0 : b.sim.y() - y0, total) << c.name;
        EXPECT_EQ(c.xAxis ? b.sim.y() : b.sim.x(), c.xAxis ? y0 : x0) << c.name;
        EXPECT_EQ(b.sim.stalls(), 0u) << c.name;
        EXPECT_EQ(b.sim.faults(), 0u) << c.name;
        EXPECT_EQ(b.sim.lostSteps(), 0u) << c.name;
    }
}

TEST(SimEngraverTables, ReversalFromAMismatchedPhaseStalls) {
    SimConfig c = midTravel();
    c.rotorX = 0;  // a
    Bench b(c);
    b.sim.out(DATA_REG, m::xWavePlus[0]);  // d: one full step +
    EXPECT_EQ(b.sim.x(), 1002);
    // The shared phase now stands at 1; X - carries on with entry 2 (b), opposite to d.
    b.sim.out(DATA_REG, m::xWaveMinus[1]);
    EXPECT_EQ(b.sim.x(), 1002);
    EXPECT_EQ(b.sim.stalls(), 1u);
    EXPECT_EQ(b.sim.rotorX(), 6);
    // Entry 3 (c) is within reach of d again, but on the + side: the head lurches one more
    // step forward before entry 4 (d) finally takes it back.
    b.sim.out(DATA_REG, m::xWaveMinus[2]);
    EXPECT_EQ(b.sim.x(), 1004);
    b.sim.out(DATA_REG, m::xWaveMinus[3]);
    EXPECT_EQ(b.sim.x(), 1002);
}

TEST(SimEngraverTables, ReversalFromAMatchingPhaseMovesBack) {
    SimConfig c = midTravel();
    c.rotorY = 0;
    Bench b(c);
    for (int i = 0; i < 3; ++i) b.sim.out(DATA_REG, m::yHalfPlus[i]);  // angles 1, 2, 3
    EXPECT_EQ(b.sim.y(), 203);
    b.sim.out(DATA_REG, m::yHalfMinus[3]);  // B+ = 2: one half-step back
    EXPECT_EQ(b.sim.y(), 202);
    EXPECT_EQ(b.sim.stalls(), 0u);
}

TEST(SimEngraverSwitches, StatusFromTheTruePosition) {
    struct Case {
        double x, y;
        int status;
    };
    const Case cases[] = {
        {0, 0, 222},   {0, 5, 254},  {5, 0, 94},     {5, 5, 126},
        {-2, -1, 222}, {0.5, 0, 94}, {-0.5, 3, 254},
    };
    for (const Case& c : cases) {
        SimConfig cfg;
        cfg.headX = c.x;
        cfg.headY = c.y;
        Bench b(cfg);
        EXPECT_EQ(b.sim.inp(STATUS_REG), c.status) << c.x << "," << c.y;
        EXPECT_EQ(b.sim.status(), c.status);
        EXPECT_EQ(m::xHomeTest(b.sim), c.x <= 0) << c.x << "," << c.y;
        EXPECT_EQ(m::yHomeTest(b.sim), c.y <= 0) << c.x << "," << c.y;
    }
}

TEST(SimEngraverSwitches, OneHalfStepOffTheSwitchOpensIt) {
    SimConfig cfg;
    cfg.rotorX = 6;  // d, as a - move with xWaveMinus leaves it
    cfg.rotorY = 0;
    Bench b(cfg);
    EXPECT_TRUE(b.sim.xHome());
    b.sim.out(DATA_REG, 12);  // c+d: half a step +
    EXPECT_EQ(b.sim.x(), 1);
    EXPECT_FALSE(b.sim.xHome());
    EXPECT_EQ(b.sim.inp(STATUS_REG), 94);
    b.sim.out(DATA_REG, 8);  // back onto the switch
    EXPECT_EQ(b.sim.inp(STATUS_REG), 222);
}

TEST(SimEngraverSwitches, NoiseOnBitZeroOnlyAndSeeded) {
    auto reads = [](uint32_t seed, double x, double y) {
        SimConfig cfg;
        cfg.noise = true;
        cfg.seed = seed;
        cfg.headX = x;
        cfg.headY = y;
        Bench b(cfg);
        std::vector<int> out;
        for (int i = 0; i < 200; ++i) out.push_back(b.sim.inp(STATUS_REG));
        return out;
    };
    for (auto [x, y, base] :
         {std::array<int, 3>{0, 0, 222}, {0, 5, 254}, {5, 0, 94}, {5, 5, 126}}) {
        const std::vector<int> r = reads(7, x, y);
        int ones = 0;
        for (int v : r) {
            EXPECT_EQ(v & ~1, base);
            ones += v & 1;
        }
        EXPECT_GT(ones, 0);
        EXPECT_LT(ones, 200);
    }
    EXPECT_EQ(reads(7, 5, 5), reads(7, 5, 5));
    EXPECT_NE(reads(7, 5, 5), reads(8, 5, 5));
    // Without noise bit 0 is always clear.
    Bench quiet;
    for (int i = 0; i < 50; ++i) EXPECT_EQ(quiet.sim.inp(STATUS_REG), 126);
}

TEST(SimEngraverSwitches, NoisyHomeTestsStillSeeTheSwitches) {
    // Whatever bit 0 does, each status byte is one of the pair the four-read test accepts.
    SimConfig cfg;
    cfg.noise = true;
    cfg.headX = 0;
    cfg.headY = 3;
    Bench b(cfg);
    int xTrue = 0;
    for (int i = 0; i < 100; ++i) {
        xTrue += m::xHomeTest(b.sim);
        EXPECT_FALSE(m::yHomeTest(b.sim));
    }
    EXPECT_GT(xTrue, 50);
}

TEST(SimEngraverStops, NearStopCountsLostStepsAndReleases) {
    SimConfig cfg;
    cfg.rotorX = 6;  // in phase for xWaveMinus
    cfg.xStopMin = -4;
    Bench b(cfg);
    for (int i = 0; i < 10; ++i) b.sim.out(DATA_REG, m::xWaveMinus[i % 4]);
    EXPECT_EQ(b.sim.x(), -8);  // four full steps behind the switch
    EXPECT_EQ(b.sim.lostSteps(), 12u);
    EXPECT_EQ(b.sim.rotorX(), 2);  // the field went on turning; the rotor slipped with it
    EXPECT_TRUE(b.sim.xHome());
    // Turning back moves off the stop at once.
    b.sim.out(DATA_REG, m::xWavePlus[3]);  // a
    EXPECT_EQ(b.sim.x(), -6);
    EXPECT_EQ(b.sim.lostSteps(), 12u);
}

TEST(SimEngraverStops, FarStopsOnBothAxes) {
    SimConfig cfg;
    cfg.headX = 1099;
    cfg.headY = 279;
    cfg.rotorX = m::SimEngraver::xAngleOf(m::xHalfPlus[7]);
    cfg.rotorY = m::SimEngraver::yAngleOf(m::yHalfPlus[7]);
    Bench b(cfg);
    for (uint8_t w : m::xHalfPlus) b.sim.out(DATA_REG, w);  // four full steps, one possible
    EXPECT_EQ(b.sim.x(), 2 * 1100);
    EXPECT_EQ(b.sim.lostSteps(), 6u);
    for (uint8_t w : m::yHalfPlus) b.sim.out(DATA_REG, w);
    EXPECT_EQ(b.sim.y(), 2 * 280);
    EXPECT_EQ(b.sim.lostSteps(), 12u);
}

TEST(SimEngraverFaults, WiringFaultsAreCountedAndMoveNothing) {
    for (uint8_t w : {17, 48, 192, 255, 240, 0x3F, 0x81}) {
        Bench b;
        b.sim.out(DATA_REG, w);
        EXPECT_EQ(b.sim.faults(), 1u) << int(w);
        EXPECT_EQ(b.sim.x(), 1000) << int(w);
        EXPECT_EQ(b.sim.y(), 200) << int(w);
        EXPECT_EQ(b.sim.inp(DATA_REG), w) << "the latch still holds it";
    }
    Bench b;
    for (uint8_t w : m::yHalfPlus) b.sim.out(DATA_REG, w);
    for (uint8_t w : m::xHalfMinus) b.sim.out(DATA_REG, w);
    EXPECT_EQ(b.sim.faults(), 0u);
}

TEST(SimEngraverRegisters, LatchesAndStartState) {
    SimConfig cfg;
    cfg.data = 12;
    cfg.control = 203;
    Bench b(cfg);
    EXPECT_EQ(b.sim.inp(DATA_REG), 12);
    EXPECT_EQ(b.sim.inp(CONTROL_REG), 203);
    EXPECT_TRUE(b.sim.laserOn());
    b.sim.out(CONTROL_REG, 202);
    b.sim.out(DATA_REG, 0);
    EXPECT_EQ(b.sim.inp(DATA_REG), 0);
    EXPECT_EQ(b.sim.inp(CONTROL_REG), 202);
    EXPECT_FALSE(b.sim.laserOn());
    EXPECT_EQ(b.sim.inp(0x3BC), 255);  // nothing answers elsewhere
    EXPECT_EQ(b.sim.writes(), 2u);
    int notified = 0;
    b.sim.setObserver([&] { ++notified; });
    b.sim.out(DATA_REG, 1);
    b.sim.out(CONTROL_REG, 203);
    EXPECT_EQ(notified, 2);
}

TEST(SimEngraverExposure, LaserOnOffRecordsTimeAndPlace) {
    Bench b;
    b.t = 10;
    b.sim.out(CONTROL_REG, m::LASER_ON);
    b.t = 25;
    EXPECT_DOUBLE_EQ(b.sim.laserOnMs(), 15);  // the open stretch counts while it burns
    b.t = 60;
    b.sim.out(CONTROL_REG, m::LASER_ON);  // already on: the stretch goes on
    b.t = 110;
    b.sim.out(CONTROL_REG, m::LASER_OFF);
    b.t = 500;
    const std::vector<m::Exposure> e = b.sim.exposures();
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].x, 1000);
    EXPECT_EQ(e[0].y, 200);
    EXPECT_DOUBLE_EQ(e[0].startMs, 10);
    EXPECT_DOUBLE_EQ(e[0].ms, 100);
    EXPECT_DOUBLE_EQ(b.sim.laserOnMs(), 100);
}

TEST(SimEngraverExposure, HeadMovingUnderABurningLaser) {
    SimConfig cfg = midTravel();
    cfg.rotorX = SimEngraver::xAngleOf(m::xHalfPlus[7]);
    Bench b(cfg);
    b.t = 100;
    b.sim.out(CONTROL_REG, m::LASER_ON);
    b.t = 130;
    b.sim.out(DATA_REG, m::xHalfPlus[0]);  // half a step +
    b.t = 135;
    b.sim.out(DATA_REG, m::xHalfPlus[0]);  // same word: no move, no new stretch
    b.t = 150;
    b.sim.out(CONTROL_REG, m::LASER_OFF);
    b.t = 170;
    b.sim.out(DATA_REG, m::xHalfPlus[1]);  // moving with the laser off burns nothing
    const std::vector<m::Exposure> e = b.sim.exposures();
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[0].x, 1000);
    EXPECT_DOUBLE_EQ(e[0].startMs, 100);
    EXPECT_DOUBLE_EQ(e[0].ms, 30);
    EXPECT_EQ(e[1].x, 1001);
    EXPECT_DOUBLE_EQ(e[1].startMs, 130);
    EXPECT_DOUBLE_EQ(e[1].ms, 20);
    EXPECT_DOUBLE_EQ(b.sim.laserOnMs(), 50);
}

TEST(SimEngraverExposure, StartingWithTheLaserOnAndZeroLengthFlashes) {
    SimConfig cfg = midTravel();
    cfg.control = 203;
    Bench b(cfg);
    b.t = 40;
    b.sim.out(CONTROL_REG, 202);
    b.sim.out(CONTROL_REG, 203);  // on and off at one instant burns nothing
    b.sim.out(CONTROL_REG, 202);
    const std::vector<m::Exposure> e = b.sim.exposures();
    ASSERT_EQ(e.size(), 1u);
    EXPECT_DOUBLE_EQ(e[0].startMs, 0);
    EXPECT_DOUBLE_EQ(e[0].ms, 40);
    // Only bit 0 counts: any control byte with it set lights the laser.
    b.sim.out(CONTROL_REG, 1);
    EXPECT_TRUE(b.sim.laserOn());
    b.sim.out(CONTROL_REG, 254);
    EXPECT_FALSE(b.sim.laserOn());
}
