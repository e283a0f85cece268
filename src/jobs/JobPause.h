// Pause and Continue of the picture and frame runs: laser off at once, the head held, later
// the coils released; on Continue the rest of the interrupted period and the same schedule.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "form/Context.h"

namespace ostrel::jobs {

// What a run was doing when it was paused: the timer that was counting down, the period it
// had and how much of it was left, the data register as the run left it, and the laser.
struct FrozenRun {
    runtime::Timer* timer = nullptr;
    int intervalMs = 0;
    int remainingMs = 0;
    uint8_t data = 0;
    bool laserOn = false;
};

// Follows the countdown of one run's timers, so that a pause can stop the one that counts and
// a continue give it only what was left of its period.
// NOTE: a run calls begins() at the start of every tick and started() whenever it enables a
// timer, after any blocking sleep of that tick; a countdown runs from those instants.
class RunClock {
  public:
    explicit RunClock(runtime::EventLoop& loop) : loop_(loop) {}
    void begins(runtime::Timer& timer);
    void started(runtime::Timer& timer);
    // The laser as the run last switched it.
    void laser(bool on) { laserOn_ = on; }
    // A new run: nothing counts, nothing was shortened.
    void reset();
    bool laserOn() const { return laserOn_; }

    // Stops whichever of `timers` is enabled and says what it was doing; no timer if none was.
    FrozenRun freeze(std::initializer_list<runtime::Timer*> timers, uint8_t data);
    // Enables the frozen timer again for what was left of its period; its next tick gives it
    // back its own period.
    void thaw(const FrozenRun& frozen);

  private:
    runtime::EventLoop& loop_;
    runtime::Timer* counting_ = nullptr;
    double since_ = 0;
    bool laserOn_ = false;
    runtime::Timer* shortened_ = nullptr;
    int fullInterval_ = 0;
};

// A run that can be paused.
class PausableRun {
  public:
    virtual ~PausableRun() = default;
    // Stops the run's timer with its state kept; no timer in the result when it was not running.
    virtual FrozenRun freeze() = 0;
    virtual void thaw(const FrozenRun& frozen) = 0;
    // Told at every pause and before an Abort (the journal syncs there).
    virtual void paused() {}
};

class JobPause {
  public:
    enum class State { Running, Paused, Released, Settling };
    static constexpr int kDefaultHoldMs = 60000;
    static constexpr int kDefaultSettleMs = 200;

    JobPause(form::Context& ctx, std::vector<PausableRun*> runs);
    JobPause(const JobPause&) = delete;
    JobPause& operator=(const JobPause&) = delete;

    // Pauses the running job: 202 to the control register first, then the run's timer stops;
    // the data register keeps (or gets again) the last coil word, so the head is held. Returns
    // "" or why nothing was paused.
    std::string pause();
    // Goes on: the coil word again if it was released, the settling time, then the rest of the
    // interrupted period (the laser on again if it was on) and the same schedule. Returns "" or
    // why the job cannot go on (then the pause is over and the machine stays at rest).
    std::string continueRun();

    // Paused, released or settling, and no Abort since.
    bool paused() const;
    State state() const;
    // Times, in milliseconds; set before a pause.
    void setHoldMs(int ms) { holdMs_ = ms; }
    void setSettleMs(int ms) { settleMs_ = ms; }
    int holdMs() const { return holdMs_; }

  private:
    void release();
    void goOn();
    void end();

    form::Context& ctx_;
    std::vector<PausableRun*> runs_;
    runtime::Timer holdTimer_, settleTimer_;
    int holdMs_ = kDefaultHoldMs, settleMs_ = kDefaultSettleMs;
    State state_ = State::Running;
    uint64_t generation_ = 0;  // the abort generation at the pause
    PausableRun* run_ = nullptr;
    FrozenRun frozen_;
    uint8_t holdWord_ = 0;
    // Where the head was at the pause: a jog meanwhile makes Continue refuse.
    int32_t xSteps_ = 0, ySteps_ = 0;
    int16_t xPhase_ = 0, yPhase_ = 0;
};

}  // namespace ostrel::jobs
