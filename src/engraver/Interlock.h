// The door / emergency-stop interlock watcher: reads the switch while the machine works, and
// stops the laser and the motors the moment it opens.
#pragma once

#include <cstdint>
#include <string>

#include "form/Context.h"
#include "jobs/JobPause.h"
#include "jobs/JobResume.h"
#include "laser/Laser.h"
#include "machine/Interlock.h"
#include "motion/Motion.h"
#include "motion/WiringTest.h"

namespace ostrel::engraver {

// What the interlock does, once one is configured (none is by default: then it reads nothing,
// writes nothing and takes no part in any event):
//
//   when                                   it
//   after every dispatch while a job, jog, reads the switch (after the tick's writes, as the
//   homing, pulse, resume or wiring test   home tests read); open: trips
//   runs or the laser is lit
//   every kWatchMs meanwhile               lets the loop dispatch, so that the switch is read
//                                          that often also between slow ticks and while Max
//                                          Laser Power burns with nothing ticking
//   trip                                   a job: paused (202 first, the head held); otherwise
//                                          202 first; then the laser modes end, jogs, homing,
//                                          a resume and a wiring test stop, the coils are
//                                          released (unless a paused job holds the head), and
//                                          a message says what happened
//   an action that would light the laser   refused with kRefusal (through Context::interlock)
//   or move the head, while it is open
class Interlock {
  public:
    static constexpr int kWatchMs = 10;
    static constexpr const char* kRefusal =
        "The door or emergency-stop interlock is open: close it to run the laser or move the "
        "head.";

    Interlock(form::Context& ctx, machine::InterlockPort& port, motion::Motion& motion,
              laser::Laser& laser, motion::WiringTest& wiringTest, jobs::JobPause& jobPause,
              jobs::JobResume& jobResume);
    ~Interlock();
    Interlock(const Interlock&) = delete;
    Interlock& operator=(const Interlock&) = delete;

    // Sets (or, with none, removes) the interlock; before Load, as the program starts.
    void set(const machine::InterlockSetting& setting);
    const machine::InterlockSetting& setting() const { return port_.interlock(); }
    // Reads the switch now; false without an interlock (and then reads nothing).
    bool open();
    // Times the interlock opened under a working machine, and what the last trip said.
    uint64_t trips() const { return trips_; }
    const std::string& lastTrip() const { return lastTrip_; }

  private:
    // Whether something works that an opening must stop.
    bool watching();
    void afterDispatch();
    // The watch timer runs exactly while something is watched.
    void follow();
    void trip();

    form::Context& ctx_;
    machine::InterlockPort& port_;
    motion::Motion& motion_;
    laser::Laser& laser_;
    motion::WiringTest& wiringTest_;
    jobs::JobPause& jobPause_;
    jobs::JobResume& jobResume_;
    runtime::Timer watch_;
    runtime::HookId hook_ = 0;
    uint64_t trips_ = 0;
    std::string lastTrip_;
};

}  // namespace ostrel::engraver
