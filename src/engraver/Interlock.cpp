// The door / emergency-stop interlock watcher: polls the switch while the machine works and trips.
#include "engraver/Interlock.h"

#include "machine/Registers.h"

namespace ostrel::engraver {

using machine::CONTROL_REG;
using machine::DATA_REG;

Interlock::Interlock(form::Context& ctx, machine::InterlockPort& port, motion::Motion& motion,
                     laser::Laser& laser, motion::WiringTest& wiringTest, jobs::JobPause& jobPause,
                     jobs::JobResume& jobResume)
    : ctx_(ctx),
      port_(port),
      motion_(motion),
      laser_(laser),
      wiringTest_(wiringTest),
      jobPause_(jobPause),
      jobResume_(jobResume),
      watch_(ctx.loop, kWatchMs, false) {
    // NOTE: the tick itself does nothing: the read comes from the after-dispatch hook, the
    // same one that reads after every tick of a run.
    watch_.setHandler([] {});
}

Interlock::~Interlock() {
    set({});
}

void Interlock::set(const machine::InterlockSetting& setting) {
    port_.setInterlock(setting);
    if (!setting.configured()) {
        // NOTE: the default path: no hook, no observer, no timer, no read.
        port_.setControlObserver({});
        ctx_.interlock = nullptr;
        if (hook_ != 0) ctx_.loop.removeAfterDispatch(hook_);
        hook_ = 0;
        watch_.setEnabled(false);
        return;
    }
    port_.setControlObserver([this] { follow(); });
    ctx_.interlock = [this] { return open() ? std::string(kRefusal) : std::string(); };
    if (hook_ == 0) hook_ = ctx_.loop.addAfterDispatch([this] { afterDispatch(); });
    follow();
}

bool Interlock::open() {
    const machine::InterlockSetting& s = port_.interlock();
    return s.configured() && s.openIn(port_.rawStatus());
}

bool Interlock::watching() {
    return form::anyEnabled(ctx_.form, form::kActivityTimers) || port_.laserLit() ||
           wiringTest_.running() || jobResume_.running();
}

void Interlock::follow() {
    watch_.setEnabled(!ctx_.ended && watching());
}

void Interlock::afterDispatch() {
    follow();
    if (ctx_.ended || !watching()) return;
    if (open()) trip();
}

void Interlock::trip() {
    form::Form1& f = ctx_.form;
    ++trips_;
    // NOTE: the laser goes off before anything else is written: Pause writes 202 first.
    const bool jobPaused = form::anyEnabled(f, form::kJobTimers) && jobPause_.pause().empty();
    if (!jobPaused) ctx_.out(CONTROL_REG, machine::LASER_OFF);
    // A run that could not be paused (a pause of an earlier run is still under way) stops.
    form::disableAll(f, form::kJobTimers);
    laser_.InterlockOpened();
    // A held jog ends as its release would end it; homing stops where it is, as Abort leaves it.
    if (motion_.heldJog() >= 0) motion_.releaseHeldJog();
    f.Timer1.setEnabled(false);
    f.Timer2.setEnabled(false);
    if (jobResume_.running()) jobResume_.stop();
    wiringTest_.stop();
    // The motors unpowered, unless the paused job holds the head to go on from there.
    if (!jobPause_.paused() && ctx_.data != machine::COILS_OFF) {
        ctx_.out(DATA_REG, machine::COILS_OFF);
    }
    follow();
    lastTrip_ = jobPaused ? "The door or emergency-stop interlock opened: the laser is off and "
                            "the job is paused, the head held. Close the interlock to continue "
                            "the job, or abort it."
                          : "The door or emergency-stop interlock opened: the laser is off and "
                            "the machine has stopped.";
    // NOTE: shown from the loop, not from inside the dispatch that found it open: a modal
    // message would run a nested event loop in the middle of a tick.
    ctx_.loop.post([this, text = lastTrip_] { ctx_.host.showError(text); });
}

}  // namespace ostrel::engraver
