// The wiring test: each motor coil and bridge input on its own, a laser pulse, and short steps.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "form/Context.h"
#include "machine/Registers.h"

namespace ostrel::motion {

enum class WiringTestKind {
    CoilA,
    CoilB,
    CoilC,
    CoilD,
    YAPlus,
    YAMinus,
    YBPlus,
    YBMinus,
    LaserPulse,
    StepX,
    StepY,
};

// One energising test: a single word from the coil tables, held for kCoilHoldMs.
struct CoilTest {
    WiringTestKind kind;
    std::string_view name;  // as the Machine window labels its button
    uint8_t word;
};

// NOTE: the words come from the coil tables and from nowhere else, so that a test can never
// drive two X coils, both motors or both inputs of one Y bridge pair.
inline constexpr std::array<CoilTest, 8> kCoilTests{{
    {WiringTestKind::CoilA, "a", machine::xWaveMinus[0]},         // 1, pin 2
    {WiringTestKind::CoilB, "b", machine::xWaveMinus[1]},         // 2, pin 3
    {WiringTestKind::CoilC, "c", machine::xWaveMinus[2]},         // 4, pin 4
    {WiringTestKind::CoilD, "d", machine::xWaveMinus[3]},         // 8, pin 5
    {WiringTestKind::YAPlus, "A+", machine::yWavePlus[0]},        // 16, pin 6
    {WiringTestKind::YAMinus, "A\u2212", machine::yWavePlus[2]},  // 32, pin 7
    {WiringTestKind::YBPlus, "B+", machine::yWavePlus[1]},        // 64, pin 8
    {WiringTestKind::YBMinus, "B\u2212", machine::yWavePlus[3]},  // 128, pin 9
}};

inline constexpr int kCoilHoldMs = 300;
inline constexpr int kLaserPulseMinMs = 10;
inline constexpr int kLaserPulseMaxMs = 1000;
// Half-steps each way of a step test.
inline constexpr int kTestHalfSteps = 8;
// How often a running test looks whether a job, jog, homing or the pulsed laser has started.
inline constexpr int kGuardPeriodMs = 10;

// Runs one test at a time on the core's event loop. Every test, also one stopped early, ends
// with the port at rest: data 0, then control 202. It refuses to start while a job, jog or
// homing runs, while the pulsed laser or the start-up watchdog runs, and while the laser is on;
// it stops at once (at rest) when one of them starts during the test.
//
//   test        writes                                                 then
//   coil        its word                                               kCoilHoldMs, rest
//   laser       203                                                    the chosen time, rest
//   step X      xHalfPlus 1..8, then 8 words of xHalfMinus, one per    one period, rest
//               step period of Combo1; the - words continue the rotor's
//               turn from where the + words left it, so no word jumps
//   step Y      the same with yHalfPlus and yHalfMinus
//
// The step counters and phases of the window are not touched: the head goes out and back.
class WiringTest {
  public:
    // `motionRunning` says whether a job, jog or homing moves a motor.
    WiringTest(form::Context& ctx, std::function<bool()> motionRunning);
    ~WiringTest();
    WiringTest(const WiringTest&) = delete;
    WiringTest& operator=(const WiringTest&) = delete;

    // Starts a test, first ending one that runs. Returns "" when it started, otherwise the
    // reason for the operator. `laserMs` is the pulse length of the laser test (10-1000).
    [[nodiscard]] std::string start(WiringTestKind kind, int laserMs = 100);
    // Ends a running test with the port at rest; does nothing (writes nothing) when none runs.
    void stop();

    bool running() const { return running_; }
    WiringTestKind kind() const { return kind_; }
    // What the test does now or did last, for the Machine window.
    const std::string& statusText() const { return status_; }
    // Why a test would be refused now, or "" when one may start.
    std::string refusal() const;

  private:
    void stepTick();
    void guardTick();
    void finish(const std::string& status);
    void rest();

    form::Context& ctx_;
    std::function<bool()> motionRunning_;
    runtime::Timer stepTimer_;   // end of a hold, or the next word of a step test
    runtime::Timer guardTimer_;  // another activity started: stop
    bool running_ = false;
    WiringTestKind kind_ = WiringTestKind::CoilA;
    std::array<uint8_t, 2 * kTestHalfSteps> steps_{};  // the words of a step test
    int nextStep_ = 0;
    std::string status_;
};

// The name of a test for the operator: "coil a", "Y input A+", "laser pulse", "steps X".
std::string wiringTestName(WiringTestKind kind);

}  // namespace ostrel::motion
