// Motion control: the initialisation watchdog, homing, the axis ticks and press-and-hold jogging.
#pragma once

#include <array>
#include <vector>

#include "form/Context.h"
#include "form/Events.h"

namespace ostrel::motion {

// Travel and watchdog constants.
inline constexpr int32_t kXSoftLimitSteps = 1080;   // X + steps only while xStepCount is below
inline constexpr int32_t kYSoftLimitSteps = 270;    // Y + steps only while yStepCount is below
inline constexpr int32_t kRestTicksThreshold = 25;  // the watchdog ends once the count exceeds it
inline constexpr int32_t kRestTicksShortcut = 26;   // given to initRestTicks once both axes homed

class Motion {
  public:
    explicit Motion(form::Context& ctx);
    void registerEvents(form::EventTable& events);

    void Timer10Tick();  // watchdog
    void Timer1Tick();   // X axis
    void Timer2Tick();   // Y axis
    void GoHomeX(int status);
    void GoHomeY(int status);
    void Command3Click();          // Go Home (X)
    void Command5Click();          // Go Home (Y)
    void JogMouseDown(int index);  // Command1(0..3)
    void JogMouseUp(int index);    // Command1(0..3)

    // The jog button (0..3) pressed last and not yet released, or -1.
    int heldJog() const { return heldJogs_.empty() ? -1 : heldJogs_.back(); }
    // Ends the held jog exactly as its mouse-up would (every held one, in the order they were
    // pressed, should more than one be held). The view and the core call it whenever a press
    // ends without a mouse-up (the pointer leaves, focus is lost, a modal dialog opens, the
    // button is disabled), so that no jog runs on unattended. Does nothing when none is held.
    void releaseHeldJog();

  private:
    enum class Axis { X, Y };
    struct JogButton {
        Axis axis;
        bool plus;  // away from the home switch
    };
    // Command1(0..3) by index: "Y -", "Y +", "X -", "X +".
    static constexpr std::array<JogButton, 4> kJogButtons{{
        {Axis::Y, false},
        {Axis::Y, true},
        {Axis::X, false},
        {Axis::X, true},
    }};
    static bool isJogIndex(int index) { return index >= 0 && index < 4; }

    void showX();
    void showY();
    // Shows why a start of motion is refused while the interlock is open; true when it is.
    bool refusedByInterlock();
    // The end of an X or Y move at its home switch: coils off, counter 0, watchdog restarted.
    void arriveHomeX();
    void arriveHomeY();

    form::Context& ctx_;
    // Jog buttons pressed and not yet released, in press order; each index at most once.
    std::vector<int> heldJogs_;
    // Per axis (X, Y): the jog press of that axis switched the laser on, so its release must
    // switch it off even if Auto was turned off in between.
    std::array<bool, 2> jogLaserOn_{false, false};
};

}  // namespace ostrel::motion
