// The interlock setting's texts, the simulated switch on each input and the port view that keeps
// the home tests' status bytes.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "machine/Interlock.h"
#include "machine/Registers.h"
#include "machine/SimEngraver.h"

namespace ostrel::machine {
namespace {

TEST(InterlockSetting, ReadsEveryInputAndPolarityAndRefusesTheRest) {
    struct Case {
        const char* text;
        int pin;  // -1: refused
        bool openHigh;
        const char* readBack;
    };
    const Case cases[] = {
        {"none", 0, true, "none"},
        {"pin10", 10, true, "pin10:open-high"},
        {"pin13:open-high", 13, true, "pin13:open-high"},
        {"pin15:open-low", 15, false, "pin15:open-low"},
        {"pin10:open-low", 10, false, "pin10:open-low"},
        {"", -1, true, ""},
        {"pin11", -1, true, ""},  // the X home switch
        {"pin12", -1, true, ""},  // the Y home switch
        {"pin1", -1, true, ""},
        {"pin10:", -1, true, ""},
        {"pin10:open", -1, true, ""},
        {"pin10:open-low:x", -1, true, ""},
        {"PIN10", -1, true, ""},
        {"10", -1, true, ""},
        {"none:open-low", -1, true, ""},
        {"pin 10", -1, true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        const std::optional<InterlockSetting> s = parseInterlock(c.text, error);
        if (c.pin < 0) {
            EXPECT_FALSE(s);
            EXPECT_NE(error.find("pin10, pin13 or pin15"), std::string::npos) << error;
            continue;
        }
        ASSERT_TRUE(s) << error;
        EXPECT_EQ(s->pin, c.pin);
        EXPECT_EQ(s->openHigh, c.openHigh);
        EXPECT_EQ(interlockText(*s), c.readBack);
        EXPECT_EQ(parseInterlock(interlockText(*s), error), s);
    }
}

TEST(InterlockSetting, OpenIsTheLevelThePolarityNamesOnItsOwnBitOnly) {
    const std::array<std::pair<int, uint8_t>, 3> bits{{{10, 0x40}, {13, 0x10}, {15, 0x08}}};
    for (const auto& [pin, bit] : bits) {
        for (const bool openHigh : {true, false}) {
            const InterlockSetting s{pin, openHigh};
            EXPECT_EQ(s.bit(), bit);
            for (int status = 0; status < 256; ++status) {
                const bool high = (status & bit) != 0;
                EXPECT_EQ(s.openIn(static_cast<uint8_t>(status)), high == openHigh)
                    << pin << " " << status;
            }
        }
    }
    for (int status = 0; status < 256; ++status)
        EXPECT_FALSE(InterlockSetting{}.openIn(static_cast<uint8_t>(status)));
}

// The simulated switch: without one the status bytes are the designed ones; with one, only its
// bit follows the door, and the home tests on the port view see the designed bytes again.
TEST(InterlockSim, TheSwitchMovesOnlyItsBitAndTheCoresViewHidesIt) {
    const std::array<std::pair<double, double>, 4> heads{{{0, 0}, {0, 9}, {9, 0}, {9, 9}}};
    for (const auto& [hx, hy] : heads) {
        SimConfig config;
        config.headX = hx;
        config.headY = hy;
        SimEngraver plain(config, {});
        const uint8_t designed = plain.status();
        for (const InterlockInput& input : kInterlockInputs) {
            for (const bool openHigh : {true, false}) {
                for (const bool open : {false, true}) {
                    SCOPED_TRACE(std::to_string(input.pin) + (openHigh ? " high " : " low ") +
                                 (open ? "open" : "closed"));
                    const InterlockSetting s{input.pin, openHigh};
                    SimEngraver sim(config, {});
                    sim.wireInterlock(s);
                    sim.setDoorOpen(open);
                    const uint8_t raw = sim.inp(STATUS_REG);
                    EXPECT_EQ(raw & ~input.bit, designed & ~input.bit);
                    EXPECT_EQ(s.openIn(raw), open);

                    InterlockPort view(sim);
                    view.setInterlock(s);
                    EXPECT_EQ(view.inp(STATUS_REG), designed);
                    EXPECT_EQ(view.rawStatus(), raw);
                    EXPECT_EQ(xHomeTest(view), xHomeTest(plain));
                    EXPECT_EQ(yHomeTest(view), yHomeTest(plain));
                    // A copy of the machine's start state has no switch.
                    EXPECT_EQ(SimEngraver(sim.config(), {}).status(), designed);
                }
            }
        }
    }
}

TEST(InterlockPort, WithoutAnInterlockEveryAccessPassesUnchanged) {
    SimConfig config;
    config.noise = true;
    SimEngraver a(config, {}), b(config, {});
    InterlockPort view(b);
    int observed = 0;
    view.setControlObserver([&] { ++observed; });
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(view.inp(STATUS_REG), a.inp(STATUS_REG));
        const auto word = static_cast<uint8_t>(i % 2 ? LASER_ON : LASER_OFF);
        a.out(CONTROL_REG, word);
        view.out(CONTROL_REG, word);
        EXPECT_EQ(view.inp(CONTROL_REG), a.inp(CONTROL_REG));
        EXPECT_EQ(view.laserLit(), word == LASER_ON);
    }
    EXPECT_EQ(observed, 0) << "no observer without an interlock";
    EXPECT_EQ(view.describe(), a.describe());
    view.setInterlock({15, true});
    view.out(CONTROL_REG, LASER_ON);
    EXPECT_EQ(observed, 1);
}

}  // namespace
}  // namespace ostrel::machine
