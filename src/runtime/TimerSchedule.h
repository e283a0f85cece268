// The timer schedule both event loops keep: intervals, countdowns, and which tick is next.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "runtime/EventLoop.h"

namespace ostrel::runtime {

// The timer table and the rules of EventLoop.h, on a clock the owning loop supplies: the loop
// says when a countdown started now first falls due and what time it is when a tick fires;
// the schedule keeps everything else. Times are milliseconds of the loop's clock (whole ones
// on the virtual clock, fractions on the real one).
//
// Start order: every countdown start and every tick takes the next number of one counter, and
// timers due at the same instant go by it. A loop with posted events draws their numbers from
// the same counter (takeOrder()), so that a timer and an event due together keep their order.
class TimerSchedule {
  public:
    // When a countdown of `intervalMs` started now first falls due.
    using FirstDue = std::function<double(int intervalMs)>;
    explicit TimerSchedule(FirstDue firstDue) : firstDue_(std::move(firstDue)) {}

    // NOTE: an interval of 0 is kept only as a timer's first one (the window's timers that
    // never fire); every interval set later is clamped to at least 1 ms.
    TimerId add(std::function<void()> tick, int intervalMs);
    void setHandler(TimerId id, std::function<void()> tick);

    // Each returns whether the schedule changed (a countdown started or stopped), so that the
    // loop can rearm its wake-up.
    bool setEnabled(TimerId id, bool on);
    bool setInterval(TimerId id, int intervalMs);
    bool enabled(TimerId id) const { return timers_.at(id).enabled; }
    int interval(TimerId id) const { return timers_.at(id).interval; }
    bool anyEnabled() const;

    // The next start-order number, for something the loop orders among the ticks.
    uint64_t takeOrder() { return order_++; }
    // The number the next start will take: a pass that began here dispatches nothing started
    // from it on.
    uint64_t orderMark() const { return order_; }

    // A tick that can fire: its timer, due time and start order.
    struct Due {
        TimerId id;
        double due;
        uint64_t order;
    };
    // The earliest enabled timer not running, due at or before `limit`, whose countdown started
    // before `orderLimit`; the earlier start wins a tie.
    std::optional<Due> next(double limit, uint64_t orderLimit = UINT64_MAX) const;
    // Due time of the earliest enabled timer that is not running, or -1.
    double earliestDue() const;

    // Fires a tick picked by next() at `nowMs`: the next one is due one interval after this
    // one was, or (when it came so late that this has passed) a whole interval from now; the
    // timer counts as running until the handler returns, so that doEvents() never re-enters
    // it. `around` runs the handler (the loop wraps its own bookkeeping round it).
    template <class Around>
    void fire(const Due& due, double nowMs, Around&& around) {
        TimerState& t = timers_.at(due.id);
        t.due += t.interval;
        if (t.due <= nowMs) t.due = nowMs + t.interval;
        t.order = order_++;
        t.running = true;
        // NOTE: the handler may add timers, so the table may move: a copy of the handler, and
        // the id afterwards.
        std::function<void()> tick = t.tick;
        around(tick);
        timers_.at(due.id).running = false;
    }

  private:
    struct TimerState {
        std::function<void()> tick;
        int interval = 100;
        bool enabled = false;
        bool running = false;
        double due = 0;
        uint64_t order = 0;  // when its countdown started: breaks ties between equal dues
    };
    void start(TimerState& t);
    // Whether a timer can fall due at all (Interval 0 never does).
    static bool ticking(const TimerState& t) { return t.enabled && !t.running && t.interval > 0; }

    FirstDue firstDue_;
    std::vector<TimerState> timers_;
    uint64_t order_ = 0;
};

}  // namespace ostrel::runtime
