// The event loop interface: timers, "let pending events run", blocking sleeps and the clock.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace ostrel::runtime {

using TimerId = int;
using HookId = int;

// Timer semantics shared by every loop:
//  - enabling a disabled timer starts its countdown from now; enabling an enabled one changes
//    nothing;
//  - setting a different interval restarts the countdown from now; setting the same interval
//    keeps the schedule;
//  - the first tick comes one interval after the start; ticks are scheduled from their due
//    times, so handler time does not make a timer drift;
//  - a timer that falls due while a handler runs (a blocking sleep, say) fires once as soon as
//    control returns to the loop: ticks never pile up;
//  - doEvents() dispatches what is already due without advancing virtual time and never
//    re-enters the handler of a timer that is running; it is one pass, so what the dispatched
//    handlers post or restart waits for the next pass;
//  - sleepMs() blocks: it advances the clock and dispatches nothing;
//  - timers due at the same instant fire in the order their countdowns started.
class EventLoop {
  public:
    virtual ~EventLoop() = default;

    // Milliseconds since the loop was created (virtual or monotonic real time).
    virtual double nowMs() const = 0;

    virtual TimerId createTimer(std::function<void()> tick, int intervalMs, bool enabled) = 0;
    // A timer of Interval 0, as the window's design has three: it never falls due, enabled or
    // not, until it is given an interval; it starts disabled and with no handler.
    virtual TimerId createIdleTimer() = 0;
    virtual void setHandler(TimerId id, std::function<void()> tick) = 0;
    virtual void setEnabled(TimerId id, bool enabled) = 0;
    virtual bool enabled(TimerId id) const = 0;
    // NOTE: intervals below 1 ms are clamped to 1 ms (an idle timer given 0 again stays at 0);
    // callers validate texts with parseIntervalText() first so that a bad text keeps the
    // previous interval.
    virtual void setInterval(TimerId id, int intervalMs) = 0;
    virtual int interval(TimerId id) const = 0;
    // When the earliest enabled timer falls due next (on nowMs()'s scale), or -1 when no timer
    // is enabled. Timers whose handler is running are not counted.
    virtual double nextTickMs() const = 0;

    // Runs a function as an event: it is dispatched by the loop (or by doEvents()) once its
    // time has come. Used for operator input that arrives while a handler runs.
    virtual void post(std::function<void()> event, double delayMs = 0) = 0;

    // "Let pending events run": one pass of the event pump from inside a handler.
    virtual void doEvents() = 0;
    // A blocking pause of the user-interface thread.
    virtual void sleepMs(int ms) = 0;

    // Hooks called after every dispatched tick or posted event (the windows repaint from
    // them), in the order they were added. A hook may add or remove hooks, itself included;
    // one added during a call runs from the next dispatch on.
    HookId addAfterDispatch(std::function<void()> hook);
    void removeAfterDispatch(HookId id);
    // The single replaceable hook, called before the added ones: whatever the last call gave
    // (an empty function for none). Tests and the headless job runs count ticks with it.
    void setAfterDispatch(std::function<void()> hook) { afterDispatch_ = std::move(hook); }

  protected:
    void notifyDispatched();

  private:
    struct Hook {
        HookId id;
        std::function<void()> run;  // empty once removed during a call
    };
    std::function<void()> afterDispatch_;
    std::vector<Hook> hooks_;
    HookId nextHookId_ = 1;
    int notifying_ = 0;  // depth of notifyDispatched() calls under way
};

// A timer of the window: a handle on one timer of the loop, with the window's property names.
class Timer {
  public:
    Timer(EventLoop& loop, int intervalMs, bool enabled)
        : loop_(&loop), id_(loop.createTimer({}, intervalMs, enabled)) {}
    // A timer of Interval 0 (see EventLoop::createIdleTimer()).
    struct Idle {};
    Timer(EventLoop& loop, Idle) : loop_(&loop), id_(loop.createIdleTimer()) {}
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    void setHandler(std::function<void()> tick);
    bool Enabled() const { return loop_->enabled(id_); }
    void setEnabled(bool on) { loop_->setEnabled(id_, on); }
    int Interval() const { return loop_->interval(id_); }
    void setInterval(int ms) { loop_->setInterval(id_, ms); }
    // Sets the interval from an operator's text; a text that gives no interval of 1-65535 ms
    // keeps the previous one and returns false.
    bool setIntervalText(std::string_view text);
    TimerId id() const { return id_; }

  private:
    EventLoop* loop_;
    TimerId id_;
};

// Converts a text to a timer interval: a decimal number, rounded to the nearest whole
// millisecond (halves to the even neighbour), from 1 to 65535. Blanks around it are allowed.
// Returns -1 for anything else.
int parseIntervalText(std::string_view text);
// Whether a text gives a timer interval by that rule; the window shows other texts in red.
inline bool isValidIntervalText(std::string_view text) {
    return parseIntervalText(text) >= 0;
}

}  // namespace ostrel::runtime
