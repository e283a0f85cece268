// The register map: constants, the seven coil tables, the home tests and phase stepping.
#include <gtest/gtest.h>

#include <array>
#include <deque>
#include <vector>

#include "machine/Port.h"
#include "machine/Registers.h"

namespace m = ostrel::machine;

namespace {

// Answers status reads from a script; records every access.
class ScriptedPort final : public m::Port {
  public:
    std::deque<uint8_t> statusReads;
    std::vector<uint16_t> readAddresses;
    void out(uint16_t, uint8_t) override {}
    uint8_t inp(uint16_t address) override {
        readAddresses.push_back(address);
        const uint8_t v = statusReads.empty() ? 0 : statusReads.front();
        if (!statusReads.empty()) statusReads.pop_front();
        return v;
    }
    std::string describe() const override { return "scripted"; }
};

bool steadyX(uint8_t status) {
    ScriptedPort p;
    p.statusReads.assign(4, status);
    return m::xHomeTest(p);
}

bool steadyY(uint8_t status) {
    ScriptedPort p;
    p.statusReads.assign(4, status);
    return m::yHomeTest(p);
}

}  // namespace

TEST(Registers, AddressesAndWords) {
    EXPECT_EQ(m::DATA_REG, 888);
    EXPECT_EQ(m::DATA_REG, 0x378);
    EXPECT_EQ(m::STATUS_REG, 889);
    EXPECT_EQ(m::CONTROL_REG, 890);
    EXPECT_EQ(m::CONTROL_REG, 0x37A);
    EXPECT_EQ(m::LASER_ON, 203);
    EXPECT_EQ(m::LASER_OFF, 202);
    EXPECT_EQ(m::COILS_OFF, 0);
    EXPECT_EQ(m::kRestData, 0);
    EXPECT_EQ(m::kRestControl, 202);
    // The two control words differ in the strobe bit only; bits 1, 3, 6, 7 set, 2, 4, 5 clear.
    EXPECT_EQ(m::LASER_ON ^ m::LASER_OFF, 1);
    for (uint8_t w : {m::LASER_ON, m::LASER_OFF}) {
        EXPECT_EQ(w & 0b11001010, 0b11001010) << int(w);
        EXPECT_EQ(w & 0b00110100, 0) << int(w);
    }
}

TEST(Registers, CoilTables) {
    EXPECT_EQ(m::xWaveMinus, (std::array<uint8_t, 4>{1, 2, 4, 8}));
    EXPECT_EQ(m::xWavePlus, (std::array<uint8_t, 4>{8, 4, 2, 1}));
    EXPECT_EQ(m::xHalfPlus, (std::array<uint8_t, 8>{12, 4, 6, 2, 3, 1, 9, 8}));
    EXPECT_EQ(m::xHalfMinus, (std::array<uint8_t, 8>{3, 2, 6, 4, 12, 8, 9, 1}));
    EXPECT_EQ(m::yHalfPlus, (std::array<uint8_t, 8>{80, 64, 96, 32, 160, 128, 144, 16}));
    EXPECT_EQ(m::yHalfMinus, (std::array<uint8_t, 8>{160, 32, 96, 64, 80, 16, 144, 128}));
    EXPECT_EQ(m::yWavePlus, (std::array<uint8_t, 4>{16, 64, 32, 128}));
}

TEST(Registers, EveryTableWordDrivesOneAxisOnly) {
    auto xOnly = [](uint8_t w) { return w != 0 && (w & 0xF0) == 0; };
    auto yOnly = [](uint8_t w) { return w != 0 && (w & 0x0F) == 0; };
    for (uint8_t w : m::xWaveMinus) EXPECT_TRUE(xOnly(w)) << int(w);
    for (uint8_t w : m::xWavePlus) EXPECT_TRUE(xOnly(w)) << int(w);
    for (uint8_t w : m::xHalfPlus) EXPECT_TRUE(xOnly(w)) << int(w);
    for (uint8_t w : m::xHalfMinus) EXPECT_TRUE(xOnly(w)) << int(w);
    for (uint8_t w : m::yHalfPlus) EXPECT_TRUE(yOnly(w)) << int(w);
    for (uint8_t w : m::yHalfMinus) EXPECT_TRUE(yOnly(w)) << int(w);
    for (uint8_t w : m::yWavePlus) EXPECT_TRUE(yOnly(w)) << int(w);
    // No Y word sets both inputs of one bridge pair, and none is a wiring fault.
    for (const auto* t : {&m::yHalfPlus, &m::yHalfMinus}) {
        for (uint8_t w : *t) {
            EXPECT_NE(w & 0x30, 0x30) << int(w);
            EXPECT_NE(w & 0xC0, 0xC0) << int(w);
            EXPECT_FALSE(m::isWiringFault(w)) << int(w);
        }
    }
}

TEST(Registers, HalfMinusVisitsHalfPlusWordsInReverseCyclicOrder) {
    // yHalfMinus runs backwards through yHalfPlus, from another starting word.
    const auto& plus = m::yHalfPlus;
    const auto& minus = m::yHalfMinus;
    size_t start = 0;
    while (plus[start] != minus[0]) ++start;
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(minus[i], plus[(start + 8 - i) % 8]) << i;
}

TEST(Registers, WiringFault) {
    for (int w = 0; w < 256; ++w) {
        const bool x = (w & 0x0F) != 0, y = (w & 0xF0) != 0;
        const bool pairA = (w & 0x30) == 0x30, pairB = (w & 0xC0) == 0xC0;
        EXPECT_EQ(m::isWiringFault(static_cast<uint8_t>(w)), (x && y) || pairA || pairB) << w;
    }
    EXPECT_FALSE(m::isWiringFault(0));
    EXPECT_FALSE(m::isWiringFault(15));  // all four X coils is odd, but not a short
    EXPECT_TRUE(m::isWiringFault(17));   // a + A+
    EXPECT_TRUE(m::isWiringFault(48));   // A+ and A-
    EXPECT_TRUE(m::isWiringFault(192));  // B+ and B-
}

TEST(HomeTests, SteadyStatusOverAllBytes) {
    for (int s = 0; s < 256; ++s) {
        const bool xClosed = s == 254 || s == 255 || s == 222 || s == 223;
        const bool yClosed = s == 94 || s == 95 || s == 222 || s == 223;
        EXPECT_EQ(steadyX(static_cast<uint8_t>(s)), xClosed) << s;
        EXPECT_EQ(steadyY(static_cast<uint8_t>(s)), yClosed) << s;
    }
}

TEST(HomeTests, EdgeBytes) {
    EXPECT_TRUE(steadyX(222) && steadyY(222));
    EXPECT_TRUE(steadyX(223) && steadyY(223));
    EXPECT_TRUE(steadyX(254) && !steadyY(254));
    EXPECT_TRUE(!steadyX(94) && steadyY(94));
    EXPECT_FALSE(steadyX(126) || steadyY(126));
    EXPECT_FALSE(steadyX(127) || steadyY(127));
    EXPECT_FALSE(steadyX(0xF8) || steadyY(0xF8));  // bits 1-2 clear: nothing matches
    EXPECT_FALSE(steadyX(0x58) || steadyY(0x58));
}

TEST(HomeTests, EachReadIsComparedWithItsOwnValue) {
    struct Case {
        std::array<uint8_t, 4> reads;
        bool x, y;
    };
    const Case cases[] = {
        {{254, 0, 0, 0}, true, false},        {{0, 254, 0, 0}, false, false},
        {{0, 0, 254, 0}, false, false},       {{0, 0, 0, 254}, false, false},
        {{0, 255, 0, 0}, true, false},        {{255, 0, 0, 0}, false, false},
        {{0, 0, 222, 0}, true, true},         {{222, 0, 0, 0}, false, false},
        {{0, 0, 0, 223}, true, true},         {{223, 223, 223, 0}, false, false},
        {{94, 0, 0, 0}, false, true},         {{0, 94, 0, 0}, false, false},
        {{0, 95, 0, 0}, false, true},         {{95, 0, 95, 95}, false, false},
        {{126, 127, 126, 127}, false, false}, {{255, 254, 223, 222}, false, false},
        {{95, 94, 223, 222}, false, false},   {{254, 95, 0, 0}, true, true},
    };
    for (const Case& c : cases) {
        ScriptedPort px;
        px.statusReads.assign(c.reads.begin(), c.reads.end());
        EXPECT_EQ(m::xHomeTest(px), c.x) << int(c.reads[0]) << " " << int(c.reads[1]) << " "
                                         << int(c.reads[2]) << " " << int(c.reads[3]);
        ScriptedPort py;
        py.statusReads.assign(c.reads.begin(), c.reads.end());
        EXPECT_EQ(m::yHomeTest(py), c.y) << int(c.reads[0]) << " " << int(c.reads[1]) << " "
                                         << int(c.reads[2]) << " " << int(c.reads[3]);
    }
}

TEST(HomeTests, AlwaysFourReadsOfTheStatusRegister) {
    ScriptedPort p;
    p.statusReads.assign(8, 254);  // matches on the first read
    EXPECT_TRUE(m::xHomeTest(p));
    EXPECT_EQ(p.readAddresses, (std::vector<uint16_t>(4, m::STATUS_REG)));
    EXPECT_FALSE(m::yHomeTest(p));
    EXPECT_EQ(p.readAddresses.size(), 8u);
}

TEST(Phases, WrapAroundAfterTheLastEntry) {
    std::vector<int> seen;
    int16_t phase = 0;
    for (int i = 0; i < 9; ++i) seen.push_back(phase = m::nextPhase<4>(phase));
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 4, 1, 2, 3, 4, 1}));
    seen.clear();
    phase = 0;
    for (int i = 0; i < 17; ++i) seen.push_back(phase = m::nextPhase<8>(phase));
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 1, 2, 3, 4, 5, 6, 7, 8, 1}));
}

TEST(Phases, PhaseLeftAboveTheTableContinuesAtEntryOne) {
    // A four-entry table finds the X phase where an eight-entry table left it.
    for (int16_t left : {4, 5, 6, 7, 8, 100, INT16_MAX})
        EXPECT_EQ(m::nextPhase<4>(left), 1) << left;
    for (int16_t left : {8, 9, 200}) EXPECT_EQ(m::nextPhase<8>(left), 1) << left;
    for (int16_t left : {0, 1, 2, 3}) EXPECT_EQ(m::nextPhase<4>(left), left + 1) << left;
    // Every phase it returns indexes the table.
    for (int p = INT16_MIN; p <= INT16_MAX; p += 97) {
        const int16_t n = m::nextPhase<4>(static_cast<int16_t>(p));
        EXPECT_TRUE(n >= 1 && n <= 4) << p;
    }
}
