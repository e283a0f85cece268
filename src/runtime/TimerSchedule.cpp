// The one timer schedule: countdowns, late ticks and the earliest-due, start-order pick.
#include "runtime/TimerSchedule.h"

#include <algorithm>

namespace ostrel::runtime {

TimerId TimerSchedule::add(std::function<void()> tick, int intervalMs) {
    TimerState t;
    t.tick = std::move(tick);
    t.interval = std::max(0, intervalMs);
    timers_.push_back(std::move(t));
    return static_cast<TimerId>(timers_.size() - 1);
}

void TimerSchedule::setHandler(TimerId id, std::function<void()> tick) {
    timers_.at(id).tick = std::move(tick);
}

void TimerSchedule::start(TimerState& t) {
    t.due = firstDue_(t.interval);
    t.order = order_++;
}

bool TimerSchedule::setEnabled(TimerId id, bool on) {
    TimerState& t = timers_.at(id);
    if (on == t.enabled) return false;  // enabling an enabled timer changes nothing
    if (on) start(t);
    t.enabled = on;
    return true;
}

bool TimerSchedule::setInterval(TimerId id, int intervalMs) {
    TimerState& t = timers_.at(id);
    if (intervalMs == t.interval) return false;  // an unchanged interval keeps its schedule
    intervalMs = std::max(1, intervalMs);
    if (intervalMs == t.interval) return false;
    t.interval = intervalMs;
    if (!t.enabled) return false;
    start(t);
    return true;
}

bool TimerSchedule::anyEnabled() const {
    return std::any_of(timers_.begin(), timers_.end(),
                       [](const TimerState& t) { return t.enabled; });
}

std::optional<TimerSchedule::Due> TimerSchedule::next(double limit, uint64_t orderLimit) const {
    std::optional<Due> best;
    for (size_t i = 0; i < timers_.size(); ++i) {
        const TimerState& t = timers_[i];
        if (!ticking(t) || t.due > limit || t.order >= orderLimit) continue;
        if (!best || t.due < best->due || (t.due == best->due && t.order < best->order)) {
            best = Due{static_cast<TimerId>(i), t.due, t.order};
        }
    }
    return best;
}

double TimerSchedule::earliestDue() const {
    double earliest = -1;
    for (const TimerState& t : timers_) {
        if (ticking(t) && (earliest < 0 || t.due < earliest)) earliest = t.due;
    }
    return earliest;
}

}  // namespace ostrel::runtime
