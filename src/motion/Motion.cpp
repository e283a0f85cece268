// Motion control: the initialisation watchdog, homing, the axis ticks and press-and-hold jogging.
//
// Per axis:
//
//   state       flags                 timer        ends when                      next
//   idle        both False            off          -                              -
//   moving -    x/yMovingMinus True   Timer1/2 on  home switch closed             at home
//                                                  jog released (both flags off)  idle
//   moving +    x/yMovingPlus True    Timer1/2 on  counter reaches the soft limit idle
//                                                  jog released                   idle
//   at home     both False            off          (counter 0, homed flag set, watchdog restarted)
//
// While a configured interlock is open, Go Home and the jog presses do nothing but say why (the
// release of a refused press then stops nothing that runs).
//
// Watchdog (Timer10): running -> off after more than 25 consecutive ticks at rest; once both
// axes are homed each tick sets the count to 26, so the next tick at rest ends it.
#include "motion/Motion.h"

#include <algorithm>
#include <string>

#include "machine/Registers.h"

namespace ostrel::motion {

using machine::CONTROL_REG;
using machine::DATA_REG;
using machine::STATUS_REG;

namespace {

// Status bytes on which Go Home starts its axis (its switch open, the status a known one).
constexpr std::array<int, 4> kGoHomeXStarts{94, 95, 126, 127};
constexpr std::array<int, 4> kGoHomeYStarts{126, 127, 254, 255};
// Status bytes with both switches closed: Go Home (Y) takes the machine as homed.
constexpr std::array<int, 2> kBothSwitchesClosed{222, 223};

template <std::size_t N>
bool among(const std::array<int, N>& values, int status) {
    return std::find(values.begin(), values.end(), status) != values.end();
}

const std::string kInitializeX = "  Please wait - Initialize X";  // NOTE: two leading blanks
const std::string kInitializeY = " Please wait - Initialize Y";   // NOTE: one leading blank

}  // namespace

Motion::Motion(form::Context& ctx) : ctx_(ctx) {
    ctx_.form.Timer10.setHandler([this] { Timer10Tick(); });
    ctx_.form.Timer1.setHandler([this] { Timer1Tick(); });
    ctx_.form.Timer2.setHandler([this] { Timer2Tick(); });
}

void Motion::registerEvents(form::EventTable& events) {
    events.onClick("Command3", [this] { Command3Click(); });
    events.onClick("Command5", [this] { Command5Click(); });
    for (int i = 0; i < static_cast<int>(kJogButtons.size()); ++i) {
        const std::string name = "Command1(" + std::to_string(i) + ")";
        // Any mouse button jogs.
        events.onMouseDown(name, [this, i](int) { JogMouseDown(i); });
        events.onMouseUp(name, [this, i] { JogMouseUp(i); });
    }
}

void Motion::showX() {
    ctx_.form.Label1[0].caption = form::Form1::counterText(ctx_.form.xStepCount);
}
void Motion::showY() {
    ctx_.form.Label1[1].caption = form::Form1::counterText(ctx_.form.yStepCount);
}

// --- Watchdog ---

void Motion::Timer10Tick() {
    form::Form1& f = ctx_.form;
    const int data = ctx_.inp(DATA_REG);
    const int control = ctx_.inp(CONTROL_REG);
    if (control != machine::kRestControl || data != machine::kRestData) {
        ctx_.out(DATA_REG, machine::COILS_OFF);
        // NOTE: other ticks may run here; the laser-off write below still follows them.
        ctx_.loop.doEvents();
        ctx_.out(CONTROL_REG, machine::LASER_OFF);
        f.initRestTicks = 0;
    } else {
        ++f.initRestTicks;
    }
    f.Label7.visible = !f.Label7.visible;
    if (f.initRestTicks > kRestTicksThreshold) {
        f.Timer10.setEnabled(false);
        f.initRestTicks = 0;
        f.Label7.visible = false;
    }
    // NOTE: after the end test, so that the shortcut never ends the watchdog on this tick.
    if (f.xHomed && f.yHomed) f.initRestTicks = kRestTicksShortcut;
}

// --- Homing ---

void Motion::GoHomeX(int status) {
    if (!among(kGoHomeXStarts, status)) return;  // X switch closed, or a status that means nothing
    form::Form1& f = ctx_.form;
    f.xMovingMinus = true;
    f.xMovingPlus = false;
    f.xPhase = 0;
    f.Timer1.setEnabled(true);
}

void Motion::GoHomeY(int status) {
    form::Form1& f = ctx_.form;
    if (among(kGoHomeYStarts, status)) {
        f.yMovingMinus = true;
        f.yMovingPlus = false;
        f.Timer2.setEnabled(true);  // yPhase carries on from the last Y move
    } else if (among(kBothSwitchesClosed, status)) {
        f.xHomed = true;
        f.yHomed = true;
    }
}

bool Motion::refusedByInterlock() {
    const std::string why = ctx_.interlockRefusal();
    if (why.empty()) return false;
    ctx_.host.showError(why);
    return true;
}

void Motion::Command3Click() {
    if (refusedByInterlock()) return;
    GoHomeX(ctx_.inp(STATUS_REG));
}
void Motion::Command5Click() {
    if (refusedByInterlock()) return;
    GoHomeY(ctx_.inp(STATUS_REG));
}

void Motion::arriveHomeX() {
    form::Form1& f = ctx_.form;
    f.xMovingMinus = false;
    f.Timer1.setEnabled(false);
    ctx_.out(DATA_REG, machine::COILS_OFF);
    f.xStepCount = 0;
    f.xPhase = 0;
    showX();
    f.Timer10.setEnabled(true);
    f.Label7.caption = kInitializeX;
    f.xHomed = true;
}

void Motion::arriveHomeY() {
    form::Form1& f = ctx_.form;
    f.yMovingMinus = false;
    f.Timer2.setEnabled(false);
    ctx_.out(DATA_REG, machine::COILS_OFF);
    f.yStepCount = 0;
    showY();
    f.Timer10.setEnabled(true);
    f.Label7.caption = kInitializeY;
    f.yHomed = true;
}

// --- Axis ticks ---

void Motion::Timer1Tick() {
    form::Form1& f = ctx_.form;
    // NOTE: a Combo1 text that is no interval of 1-65535 ms keeps the previous period.
    f.Timer1.setIntervalText(f.Combo1.caption);
    // The phase advances on every tick, before either branch, stepping or not.
    f.xPhase = machine::nextPhase<4>(f.xPhase);
    const auto entry = static_cast<std::size_t>(f.xPhase - 1);

    if (f.xMovingMinus) {
        if (machine::xHomeTest(ctx_.port)) {
            arriveHomeX();
        } else {
            ctx_.out(DATA_REG, machine::xWaveMinus[entry]);
            if (f.xPhase == 4) f.xPhase = 0;
            --f.xStepCount;
            showX();
        }
    }
    if (f.xMovingPlus) {
        if (f.xStepCount < kXSoftLimitSteps) {
            ctx_.out(DATA_REG, machine::xWavePlus[entry]);
            if (f.xPhase == 4) f.xPhase = 0;
            ++f.xStepCount;
            showX();
        } else {
            f.xMovingPlus = false;
            f.Timer1.setEnabled(false);
            ctx_.out(DATA_REG, machine::COILS_OFF);
        }
    }
}

void Motion::Timer2Tick() {
    form::Form1& f = ctx_.form;
    // NOTE: a Combo1 text that is no interval of 1-65535 ms keeps the previous period.
    f.Timer2.setIntervalText(f.Combo1.caption);

    // Y makes one half-step per tick and counts a full step on the even entries; the phase
    // advances only on a tick that steps.
    if (f.yMovingPlus) {
        if (f.yStepCount < kYSoftLimitSteps) {
            f.yPhase = machine::nextPhase<8>(f.yPhase);
            const int16_t phase = f.yPhase;
            ctx_.out(DATA_REG, machine::yHalfPlus[static_cast<std::size_t>(phase - 1)]);
            if (phase == 8) f.yPhase = 0;
            if (phase % 2 == 0) {
                ++f.yStepCount;
                showY();
            }
        } else {
            f.yMovingPlus = false;
            f.Timer2.setEnabled(false);
            ctx_.out(DATA_REG, machine::COILS_OFF);
        }
    }
    if (f.yMovingMinus) {
        if (machine::yHomeTest(ctx_.port)) {
            arriveHomeY();
        } else {
            f.yPhase = machine::nextPhase<8>(f.yPhase);
            const int16_t phase = f.yPhase;
            ctx_.out(DATA_REG, machine::yHalfMinus[static_cast<std::size_t>(phase - 1)]);
            if (phase == 8) f.yPhase = 0;
            if (phase % 2 == 0) {
                --f.yStepCount;
                showY();
            }
        }
    }
}

// --- Jogging ---

void Motion::JogMouseDown(int index) {
    if (!isJogIndex(index) || refusedByInterlock()) return;
    if (std::find(heldJogs_.begin(), heldJogs_.end(), index) == heldJogs_.end()) {
        heldJogs_.push_back(index);
    }

    form::Form1& f = ctx_.form;
    const JogButton& b = kJogButtons[static_cast<std::size_t>(index)];
    if (b.axis == Axis::X) {
        f.xMovingMinus = !b.plus;
        f.xMovingPlus = b.plus;
        f.Timer1.setEnabled(true);
    } else {
        f.yMovingPlus = b.plus;
        f.yMovingMinus = !b.plus;
        f.Timer2.setEnabled(true);
    }
    if (f.autoLaser) {
        ctx_.out(CONTROL_REG, machine::LASER_ON);
        jogLaserOn_[b.axis == Axis::X ? 0 : 1] = true;
    }
}

void Motion::JogMouseUp(int index) {
    if (!isJogIndex(index)) return;
    form::Form1& f = ctx_.form;
    const JogButton& b = kJogButtons[static_cast<std::size_t>(index)];
    const std::size_t axis = b.axis == Axis::X ? 0 : 1;
    // The release of either button of an axis stops that axis, so it ends every held press of
    // that axis.
    std::erase_if(heldJogs_, [&](int held) {
        return kJogButtons[static_cast<std::size_t>(held)].axis == b.axis;
    });

    (b.axis == Axis::X ? f.Timer1 : f.Timer2).setEnabled(false);
    // NOTE: a laser that this axis's press switched on goes off even if Auto was switched off
    // while the button was held.
    if (f.autoLaser || jogLaserOn_[axis]) ctx_.out(CONTROL_REG, machine::LASER_OFF);
    jogLaserOn_[axis] = false;
    if (b.axis == Axis::X) {
        f.xMovingMinus = false;
        f.xMovingPlus = false;
    } else {
        f.yMovingMinus = false;
        f.yMovingPlus = false;
    }
    ctx_.out(DATA_REG, machine::COILS_OFF);
}

void Motion::releaseHeldJog() {
    // JogMouseUp() removes what it releases, so this ends.
    while (!heldJogs_.empty()) JogMouseUp(heldJogs_.front());
}

}  // namespace ostrel::motion
