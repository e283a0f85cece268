// Laser control: maximum power, the pulse train and the Auto mode flag.
#pragma once

#include "form/Context.h"
#include "form/Events.h"

namespace ostrel::laser {

class Laser {
  public:
    explicit Laser(form::Context& ctx);
    void registerEvents(form::EventTable& events);

    void Command4Click();  // Max Laser Power toggle
    void Command6Click();  // Auto toggle
    void Timer3Tick();     // one step of the pulse train
    void zDown();          // Command1(5) mouse-down: start pulsing
    void zUp();            // Command1(4) mouse-down: stop pulsing, laser off
    // The interlock opened and the laser has been switched off: maximum power and the pulse
    // train end and show so; Auto stays as it is (it lights nothing by itself). Writes nothing.
    void InterlockOpened();

  private:
    // Command4 back to "Max Laser Power" on light grey (the port is not written).
    void showMaxPowerOff();
    // A button that would switch the laser on does nothing while the interlock is open but
    // show why; true when it is refused.
    bool refusedByInterlock();

    form::Context& ctx_;
};

}  // namespace ostrel::laser
