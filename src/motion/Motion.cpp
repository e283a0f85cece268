// Motion control: watchdog, homing, axis ticks and jogging (filled in by its own change).
#include "motion/Motion.h"

namespace ostrel::motion {

Motion::Motion(form::Context& ctx) : ctx_(ctx) {
    ctx_.form.Timer10.setHandler([this] { Timer10Tick(); });
    ctx_.form.Timer1.setHandler([this] { Timer1Tick(); });
    ctx_.form.Timer2.setHandler([this] { Timer2Tick(); });
}

void Motion::registerEvents(form::EventTable&) {}
void Motion::Timer10Tick() {}
void Motion::Timer1Tick() {}
void Motion::Timer2Tick() {}
void Motion::GoHomeX(int) {}
void Motion::GoHomeY(int) {}
void Motion::Command3Click() {}
void Motion::Command5Click() {}
void Motion::JogMouseDown(int) {}
void Motion::JogMouseUp(int) {}

}  // namespace ostrel::motion
