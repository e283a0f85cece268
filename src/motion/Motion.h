// Motion control: the initialisation watchdog, homing, the axis ticks and press-and-hold jogging.
#pragma once

#include "form/Context.h"
#include "form/Events.h"

namespace ostrel::motion {

class Motion {
public:
    explicit Motion(form::Context& ctx);
    void registerEvents(form::EventTable& events);

    void Timer10Tick();  // watchdog
    void Timer1Tick();   // X axis
    void Timer2Tick();   // Y axis
    void GoHomeX(int status);
    void GoHomeY(int status);
    void Command3Click();  // Go Home (X)
    void Command5Click();  // Go Home (Y)
    void JogMouseDown(int index);  // Command1(0..3)
    void JogMouseUp(int index);    // Command1(0..3)

private:
    form::Context& ctx_;
};

}  // namespace ostrel::motion
