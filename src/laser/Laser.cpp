// Laser control: maximum power, the pulse train and the Auto mode flag.
//
//   mode        shown by                          on by        off by
//   max power   Command4 "Max Laser Power On"     Command4     Command4, Z-UP, Z-Down, interlock
//   pulsing     Timer3 enabled                    Z-Down       Z-UP, max power on, Abort,
//                                                              interlock
//   Auto        Command6 "Auto On", autoLaser     Command6     Command6
//
// The toggles keep their state in their captions and compare them exactly. laserPulseOn is the
// phase of the pulse train and is shared with the dot burn of the picture run; it is never reset
// when pulsing stops. While a configured interlock is open, the presses that would switch a mode
// on (Max Laser Power, Auto, Z-Down) only say why they do nothing; switching off always works.
#include "laser/Laser.h"

#include <string>

#include "machine/Registers.h"

namespace ostrel::laser {

using machine::CONTROL_REG;

namespace {

const std::string kMaxPowerOff = "Max Laser Power";
const std::string kMaxPowerOn = "Max Laser Power On";
const std::string kAutoOff = "Auto";
const std::string kAutoOn = "Auto On";
const std::string kIndicatorOn = "1";
const std::string kIndicatorOff = "0";

}  // namespace

Laser::Laser(form::Context& ctx) : ctx_(ctx) {
    ctx_.form.Timer3.setHandler([this] { Timer3Tick(); });
}

void Laser::registerEvents(form::EventTable& events) {
    events.onClick("Command4", [this] { Command4Click(); });
    events.onClick("Command6", [this] { Command6Click(); });
    // Any mouse button; their mouse-up does nothing, but is theirs.
    events.onMouseDown("Command1(4)", [this](int) { zUp(); });
    events.onMouseUp("Command1(4)", [] {});
    events.onMouseDown("Command1(5)", [this](int) { zDown(); });
    events.onMouseUp("Command1(5)", [] {});
}

void Laser::showMaxPowerOff() {
    ctx_.form.Command4.caption = kMaxPowerOff;
    ctx_.form.Command4.backColor = form::kLightGrey;
}

bool Laser::refusedByInterlock() {
    const std::string why = ctx_.interlockRefusal();
    if (why.empty()) return false;
    ctx_.host.showError(why);
    return true;
}

void Laser::Command4Click() {
    form::Form1& f = ctx_.form;
    if (f.Command4.caption == kMaxPowerOff) {
        if (refusedByInterlock()) return;
        f.Command4.caption = kMaxPowerOn;
        f.Command4.backColor = form::kRed;
        f.Timer3.setEnabled(false);
        ctx_.out(CONTROL_REG, machine::LASER_ON);
        f.Label1[2].caption = kIndicatorOn;
    } else {
        showMaxPowerOff();
        ctx_.out(CONTROL_REG, machine::LASER_OFF);
        f.Label1[2].caption = kIndicatorOff;
    }
}

void Laser::Command6Click() {
    // Only the flag and the indicator: the jog presses and the frame cutting switch the laser.
    form::Form1& f = ctx_.form;
    if (f.Command6.caption == kAutoOff) {
        if (refusedByInterlock()) return;
        f.Command6.caption = kAutoOn;
        f.Command6.backColor = form::kRed;
        f.Label1[2].caption = kIndicatorOn;
        f.autoLaser = true;
    } else {
        f.Command6.caption = kAutoOff;
        f.Command6.backColor = form::kLightGrey;
        f.Label1[2].caption = kIndicatorOff;
        f.autoLaser = false;
    }
}

void Laser::Timer3Tick() {
    form::Form1& f = ctx_.form;
    // NOTE: a Combo2 text that is no interval of 1-65535 ms keeps the previous half-period, so
    // a train the operator sees running never stops or races.
    f.Timer3.setIntervalText(f.Combo2.caption);
    if (!f.laserPulseOn) {
        ctx_.out(CONTROL_REG, machine::LASER_ON);
        f.laserPulseOn = true;
    } else {
        ctx_.out(CONTROL_REG, machine::LASER_OFF);
        f.laserPulseOn = false;
    }
}

void Laser::zDown() {
    if (refusedByInterlock()) return;
    // NOTE: the port is not written: a laser on at maximum power stays on until the first tick.
    ctx_.form.Timer3.setEnabled(true);  // a train already running keeps its schedule
    ctx_.form.Label1[2].caption = kIndicatorOn;
    showMaxPowerOff();
}

void Laser::zUp() {
    ctx_.form.Timer3.setEnabled(false);
    ctx_.out(CONTROL_REG, machine::LASER_OFF);
    ctx_.form.Label1[2].caption = kIndicatorOff;
    showMaxPowerOff();
}

void Laser::InterlockOpened() {
    form::Form1& f = ctx_.form;
    const bool lit = f.Timer3.Enabled() || f.Command4.caption == kMaxPowerOn;
    f.Timer3.setEnabled(false);
    if (!lit) return;
    showMaxPowerOff();
    f.Label1[2].caption = kIndicatorOff;
}

}  // namespace ostrel::laser
