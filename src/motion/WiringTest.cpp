// The wiring test: each motor coil and bridge input on its own, a laser pulse, and short steps.
//
//   state     timers on          ends by                               then
//   idle      none               start() that nothing refuses          running
//   running   step, guard        its last tick                         idle, port at rest
//                                stop() (Abort, Exit, close, new test) idle, port at rest
//                                a job, jog, homing or pulsing starts  idle, port at rest
#include "motion/WiringTest.h"

namespace ostrel::motion {

using machine::CONTROL_REG;
using machine::DATA_REG;

namespace {

// The words of a step test: the whole + table, then eight words of the - table that carry on
// from the angle the last + word left the rotor at (the - table's entry after that word).
template <std::size_t N>
constexpr std::array<uint8_t, 2 * kTestHalfSteps> stepWords(const std::array<uint8_t, N>& plus,
                                                            const std::array<uint8_t, N>& minus) {
    static_assert(N == kTestHalfSteps, "a step test runs one whole half-step table each way");
    std::array<uint8_t, 2 * kTestHalfSteps> words{};
    std::size_t last = 0;
    for (std::size_t i = 0; i < N; ++i) {
        words[i] = plus[i];
        if (minus[i] == plus[N - 1]) last = i;
    }
    for (std::size_t i = 0; i < N; ++i) words[N + i] = minus[(last + 1 + i) % N];
    return words;
}

constexpr auto kStepXWords = stepWords(machine::xHalfPlus, machine::xHalfMinus);
constexpr auto kStepYWords = stepWords(machine::yHalfPlus, machine::yHalfMinus);

const CoilTest* coilTestOf(WiringTestKind kind) {
    for (const CoilTest& t : kCoilTests) {
        if (t.kind == kind) return &t;
    }
    return nullptr;
}

// A test's name at the head of a status line: "Laser pulse: done", as "X coil a: done".
std::string capitalised(std::string name) {
    if (!name.empty() && name[0] >= 'a' && name[0] <= 'z')
        name[0] = static_cast<char>(name[0] - 'a' + 'A');
    return name;
}

}  // namespace

std::string wiringTestName(WiringTestKind kind) {
    if (const CoilTest* coil = coilTestOf(kind)) {
        return (coil->word & 0x0F ? "X coil " : "Y input ") + std::string(coil->name);
    }
    switch (kind) {
        case WiringTestKind::LaserPulse:
            return "laser pulse";
        case WiringTestKind::StepX:
            return "X steps";
        case WiringTestKind::StepY:
            return "Y steps";
        default:
            return "test";
    }
}

WiringTest::WiringTest(form::Context& ctx, std::function<bool()> motionRunning)
    : ctx_(ctx),
      motionRunning_(std::move(motionRunning)),
      stepTimer_(ctx.loop, kCoilHoldMs, false),
      guardTimer_(ctx.loop, kGuardPeriodMs, false) {
    stepTimer_.setHandler([this] { stepTick(); });
    guardTimer_.setHandler([this] { guardTick(); });
}

WiringTest::~WiringTest() {
    // NOTE: the loop outlives the core; its timers must not call into a test that is gone.
    stepTimer_.setEnabled(false);
    guardTimer_.setEnabled(false);
    stepTimer_.setHandler({});
    guardTimer_.setHandler({});
}

std::string WiringTest::refusal() const {
    const form::Form1& f = ctx_.form;
    if (ctx_.ended) return "The program is ending.";
    if (motionRunning_ && motionRunning_()) {
        return "A job, a jog or homing is running: the wiring test waits until it has ended.";
    }
    if (f.Timer3.Enabled()) return "The pulsed laser is running: stop it with Z-UP first.";
    if (f.Timer10.Enabled()) {
        return "The start-up watchdog is putting the port at rest: wait until \"Please wait - "
               "Initialize\" is gone.";
    }
    return {};
}

std::string WiringTest::start(WiringTestKind kind, int laserMs) {
    std::string why = refusal();
    // NOTE: checked here and not in refusal(), which the Machine window asks at every repaint:
    // the interlock is read only when a test is asked for.
    if (why.empty()) why = ctx_.interlockRefusal();
    // NOTE: the laser switched on by hand (Max Laser Power) would be switched off by the rest
    // at the end of the test, behind the operator's back. While a test runs, the laser is its.
    if (why.empty() && !running_ && ctx_.inp(CONTROL_REG) == machine::LASER_ON) {
        why = "The laser is on: switch Max Laser Power off first.";
    }
    if (why.empty() && kind == WiringTestKind::LaserPulse &&
        (laserMs < kLaserPulseMinMs || laserMs > kLaserPulseMaxMs)) {
        why = "A laser pulse lasts " + std::to_string(kLaserPulseMinMs) + " to " +
              std::to_string(kLaserPulseMaxMs) + " ms.";
    }
    if (!why.empty()) {
        if (!running_) status_ = "Refused: " + why;
        return why;
    }
    stop();

    kind_ = kind;
    running_ = true;
    guardTimer_.setEnabled(true);
    if (const CoilTest* coil = coilTestOf(kind)) {
        stepTimer_.setInterval(kCoilHoldMs);
        stepTimer_.setEnabled(true);
        ctx_.out(DATA_REG, coil->word);
        status_ =
            capitalised(wiringTestName(kind)) + " on for " + std::to_string(kCoilHoldMs) + " ms";
        return {};
    }
    if (kind == WiringTestKind::LaserPulse) {
        stepTimer_.setInterval(laserMs);
        stepTimer_.setEnabled(true);
        ctx_.out(CONTROL_REG, machine::LASER_ON);
        status_ = "Laser on for " + std::to_string(laserMs) + " ms";
        return {};
    }
    steps_ = kind == WiringTestKind::StepX ? kStepXWords : kStepYWords;
    nextStep_ = 0;
    // The step period of the axis ticks: Combo1, or the last period it gave.
    stepTimer_.setInterval(ctx_.form.Timer1.Interval());
    stepTimer_.setIntervalText(ctx_.form.Combo1.caption);
    stepTimer_.setEnabled(true);
    status_ = std::string(kind == WiringTestKind::StepX ? "X" : "Y") + ": " +
              std::to_string(kTestHalfSteps) + " half-steps +, then " +
              std::to_string(kTestHalfSteps) + " \u2212, every " +
              std::to_string(stepTimer_.Interval()) + " ms";
    ctx_.out(DATA_REG, steps_[nextStep_++]);
    return {};
}

void WiringTest::stepTick() {
    if (!running_) return;
    if (kind_ == WiringTestKind::StepX || kind_ == WiringTestKind::StepY) {
        if (nextStep_ < static_cast<int>(steps_.size())) {
            stepTimer_.setIntervalText(ctx_.form.Combo1.caption);
            ctx_.out(DATA_REG, steps_[nextStep_++]);
            return;
        }
    }
    finish(capitalised(wiringTestName(kind_)) + ": done, port at rest");
}

void WiringTest::guardTick() {
    if (!running_) return;
    const std::string why = refusal();
    if (!why.empty())
        finish(capitalised(wiringTestName(kind_)) + ": stopped, port at rest. " + why);
}

void WiringTest::stop() {
    if (!running_) return;
    finish(capitalised(wiringTestName(kind_)) + ": stopped, port at rest");
}

void WiringTest::finish(const std::string& status) {
    stepTimer_.setEnabled(false);
    guardTimer_.setEnabled(false);
    running_ = false;
    rest();
    status_ = status;
}

void WiringTest::rest() {
    ctx_.out(DATA_REG, machine::COILS_OFF);
    ctx_.out(CONTROL_REG, machine::LASER_OFF);
}

}  // namespace ostrel::motion
