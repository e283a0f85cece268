// Pause and Continue: the run's timer stops with what is left of its period, the laser goes off
// first, the head is held, and after the holding time the coils are released.
#include "jobs/JobPause.h"

#include <algorithm>
#include <cmath>

#include "machine/Registers.h"

namespace ostrel::jobs {

using machine::CONTROL_REG;
using machine::DATA_REG;

// --- RunClock ---

void RunClock::begins(runtime::Timer& timer) {
    if (shortened_ == &timer) {
        // NOTE: the tick of a continued countdown; the period it had before the pause comes
        // back here, so that a tick which sets no period of its own (the dot pulse) keeps it.
        timer.setInterval(fullInterval_);
        shortened_ = nullptr;
    }
    started(timer);
}

void RunClock::reset() {
    counting_ = nullptr;
    shortened_ = nullptr;
    laserOn_ = false;
}

void RunClock::started(runtime::Timer& timer) {
    counting_ = &timer;
    since_ = loop_.nowMs();
}

FrozenRun RunClock::freeze(std::initializer_list<runtime::Timer*> timers, uint8_t data) {
    FrozenRun frozen;
    for (runtime::Timer* t : timers) {
        if (!t->Enabled()) continue;
        frozen.timer = t;
        frozen.intervalMs = shortened_ == t ? fullInterval_ : t->Interval();
        const double elapsed = counting_ == t ? loop_.nowMs() - since_ : 0;
        const int left = t->Interval() - static_cast<int>(std::lround(elapsed));
        frozen.remainingMs = std::clamp(left, 0, t->Interval());
        t->setEnabled(false);
        // A continue shortens it again; until then no tick may take the old period back.
        shortened_ = nullptr;
        break;
    }
    frozen.data = data;
    frozen.laserOn = laserOn_;
    return frozen;
}

void RunClock::thaw(const FrozenRun& frozen) {
    if (frozen.timer == nullptr) return;
    // A timer ticks one interval after it is enabled, and no interval is shorter than 1 ms.
    const int left = std::max(1, frozen.remainingMs);
    if (left != frozen.intervalMs) {
        shortened_ = frozen.timer;
        fullInterval_ = frozen.intervalMs;
    }
    frozen.timer->setInterval(left);
    frozen.timer->setEnabled(true);
    started(*frozen.timer);
}

// --- JobPause ---

JobPause::JobPause(form::Context& ctx, std::vector<PausableRun*> runs)
    : ctx_(ctx),
      runs_(std::move(runs)),
      holdTimer_(ctx.loop, kDefaultHoldMs, false),
      settleTimer_(ctx.loop, kDefaultSettleMs, false) {
    holdTimer_.setHandler([this] { release(); });
    settleTimer_.setHandler([this] { goOn(); });
}

bool JobPause::paused() const {
    return state_ != State::Running && generation_ == ctx_.abortGeneration;
}

JobPause::State JobPause::state() const {
    return paused() ? state_ : State::Running;
}

std::string JobPause::pause() {
    if (paused()) return "The job is already paused.";
    form::Form1& f = ctx_.form;
    bool running = false;
    for (runtime::Timer* t : {&f.Timer4, &f.Timer5, &f.Timer6, &f.Timer7, &f.Timer8, &f.Timer9})
        running = running || t->Enabled();
    if (!running) return "No job is running.";
    // NOTE: the laser goes off before anything else is written.
    ctx_.out(CONTROL_REG, machine::LASER_OFF);
    for (PausableRun* run : runs_) {
        const FrozenRun frozen = run->freeze();
        if (frozen.timer == nullptr) continue;
        run_ = run;
        frozen_ = frozen;
        break;
    }
    if (run_ == nullptr) return "No job is running.";
    // The head is held by the coil word the run left; a run that had unpowered the coils for
    // a dot or a corner gets its last word again (the rotor is already at its angle).
    holdWord_ = ctx_.data != 0 ? ctx_.data : ctx_.lastCoilWord;
    if (ctx_.data == 0 && holdWord_ != 0) ctx_.out(DATA_REG, holdWord_);
    xSteps_ = f.xStepCount;
    ySteps_ = f.yStepCount;
    xPhase_ = f.xPhase;
    yPhase_ = f.yPhase;
    generation_ = ctx_.abortGeneration;
    state_ = State::Paused;
    holdTimer_.setInterval(holdMs_);
    holdTimer_.setEnabled(true);
    run_->paused();
    return {};
}

void JobPause::release() {
    holdTimer_.setEnabled(false);
    if (!paused() || state_ != State::Paused) return;
    ctx_.out(DATA_REG, machine::COILS_OFF);
    state_ = State::Released;
}

std::string JobPause::continueRun() {
    if (!paused()) return "No job is paused.";
    if (state_ == State::Settling) return "The job is going on already.";
    // An open interlock keeps the job paused, held as it is.
    if (std::string why = ctx_.interlockRefusal(); !why.empty()) return why;
    form::Form1& f = ctx_.form;
    std::string why;
    for (runtime::Timer* t :
         {&f.Timer1, &f.Timer2, &f.Timer4, &f.Timer5, &f.Timer6, &f.Timer7, &f.Timer8, &f.Timer9}) {
        if (t->Enabled()) why = "The machine is moving: the paused job cannot go on.";
    }
    if (why.empty() && (f.xStepCount != xSteps_ || f.yStepCount != ySteps_ || f.xPhase != xPhase_ ||
                        f.yPhase != yPhase_)) {
        why = "The head was moved during the pause: the paused job cannot go on.";
    }
    if (!why.empty()) {
        const bool moving = f.Timer1.Enabled() || f.Timer2.Enabled() || f.Timer4.Enabled() ||
                            f.Timer5.Enabled() || f.Timer6.Enabled() || f.Timer7.Enabled() ||
                            f.Timer8.Enabled() || f.Timer9.Enabled();
        if (!moving) ctx_.out(DATA_REG, machine::COILS_OFF);
        end();
        return why;
    }
    holdTimer_.setEnabled(false);
    const bool released = state_ == State::Released;
    state_ = State::Settling;
    if (released && holdWord_ != 0) {
        ctx_.out(DATA_REG, holdWord_);
        settleTimer_.setInterval(std::max(1, settleMs_));
        settleTimer_.setEnabled(true);
    } else {
        goOn();
    }
    return {};
}

void JobPause::goOn() {
    settleTimer_.setEnabled(false);
    if (!paused() || state_ != State::Settling) return;
    if (!ctx_.interlockRefusal().empty()) {
        // The interlock opened while the rotors settled: the job stays paused, the head held.
        state_ = State::Paused;
        holdTimer_.setEnabled(true);
        return;
    }
    state_ = State::Running;
    // The data register as the run had it (0 during a dot's pulse), then the laser if it was
    // on, then the rest of the period.
    if (ctx_.data != frozen_.data) ctx_.out(DATA_REG, frozen_.data);
    // NOTE: a period that was already over at the pause owes the laser nothing: its tick comes
    // at once (1 ms, the shortest interval), and relighting the laser for it would add that.
    if (frozen_.laserOn && frozen_.remainingMs > 0) ctx_.out(CONTROL_REG, machine::LASER_ON);
    run_->thaw(frozen_);
    run_ = nullptr;
}

void JobPause::end() {
    holdTimer_.setEnabled(false);
    settleTimer_.setEnabled(false);
    state_ = State::Running;
    run_ = nullptr;
}

}  // namespace ostrel::jobs
