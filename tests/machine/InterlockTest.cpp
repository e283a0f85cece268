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
        int pin;
        bool openHigh;
        const char* readBack;
    };
    const Case cases[] = {
        {"none", 0, true, "none"},
        {"pin10", 10, true, "pin10:open-high"},
        {"pin13:open-high", 13, true, "pin13:open-high"},
        {"pin15:open-low", 15, false, "pin15:open-low"},
    };
    for (const char* bad : {"", "pin11", "pin12", "pin1", "pin10:", "pin10:open", "PIN10", "10",
                            "pin10:open-low:x", "none:open-low", "pin 10"}) {
        std::string error;
        EXPECT_FALSE(parseInterlock(bad, error)) << bad;
        EXPECT_NE(error.find("pin10, pin13 or pin15"), std::string::npos) << error;
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        const std::optional<InterlockSetting> s = parseInterlock(c.text, error);
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

}  // namespace
}  // namespace ostrel::machine
