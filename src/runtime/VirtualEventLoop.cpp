// Virtual time: timers fire in time order, each at most once per due time, and nothing waits.
#include "runtime/VirtualEventLoop.h"

#include <algorithm>
#include <limits>

namespace ostrel::runtime {

// NOTE: virtual time is whole milliseconds: every due time is now plus whole intervals, so the
// schedule's times stay whole numbers.
VirtualEventLoop::VirtualEventLoop()
    : schedule_([this](int intervalMs) { return static_cast<double>(now_ + intervalMs); }) {}

TimerId VirtualEventLoop::createTimer(std::function<void()> tick, int intervalMs, bool enabled) {
    const TimerId id = schedule_.add(std::move(tick), std::max(1, intervalMs));
    if (enabled) setEnabled(id, true);
    return id;
}

TimerId VirtualEventLoop::createIdleTimer() {
    return schedule_.add({}, 0);
}

void VirtualEventLoop::setHandler(TimerId id, std::function<void()> tick) {
    schedule_.setHandler(id, std::move(tick));
}

void VirtualEventLoop::setEnabled(TimerId id, bool on) {
    schedule_.setEnabled(id, on);
}

bool VirtualEventLoop::enabled(TimerId id) const {
    return schedule_.enabled(id);
}

void VirtualEventLoop::setInterval(TimerId id, int intervalMs) {
    schedule_.setInterval(id, intervalMs);
}

int VirtualEventLoop::interval(TimerId id) const {
    return schedule_.interval(id);
}

double VirtualEventLoop::nextTickMs() const {
    return schedule_.earliestDue();
}

void VirtualEventLoop::post(std::function<void()> event, double delayMs) {
    const int64_t due = now_ + static_cast<int64_t>(std::max(0.0, delayMs));
    Posted p{due, schedule_.takeOrder(), std::move(event)};
    auto at =
        std::upper_bound(posted_.begin(), posted_.end(), p, [](const Posted& a, const Posted& b) {
            return a.due < b.due || (a.due == b.due && a.order < b.order);
        });
    posted_.insert(at, std::move(p));
}

int64_t VirtualEventLoop::nextDue() const {
    int64_t best = posted_.empty() ? -1 : posted_.front().due;
    const double timer = schedule_.earliestDue();
    if (timer >= 0 && (best < 0 || timer < static_cast<double>(best))) {
        best = static_cast<int64_t>(timer);
    }
    return best;
}

bool VirtualEventLoop::dispatchOne(int64_t limit, uint64_t orderLimit) {
    // The earliest of the timers and the posted events; equal times go by start order.
    const std::optional<TimerSchedule::Due> timer =
        schedule_.next(static_cast<double>(limit), orderLimit);
    // posted_ is sorted by (due, order), so only its front can be next: an event posted during
    // a pass is due no earlier than now and so sorts after every older one due by `limit`.
    const bool postedReady =
        !posted_.empty() && posted_.front().due <= limit && posted_.front().order < orderLimit;
    if (postedReady && (!timer || static_cast<double>(posted_.front().due) < timer->due ||
                        (static_cast<double>(posted_.front().due) == timer->due &&
                         posted_.front().order < timer->order))) {
        Posted p = std::move(posted_.front());
        posted_.pop_front();
        now_ = std::max(now_, p.due);
        p.event();
        notifyDispatched();
        return true;
    }
    if (!timer) return false;
    now_ = std::max(now_, static_cast<int64_t>(timer->due));
    ++ticks_;
    schedule_.fire(*timer, static_cast<double>(now_), [](const std::function<void()>& tick) {
        if (tick) tick();
    });
    notifyDispatched();
    return true;
}

void VirtualEventLoop::doEvents() {
    // One pass of the pump: only what was already due when the pass began, so the clock stands
    // still and an event that posts itself again (or a handler that sleeps) cannot keep the
    // pass going for ever.
    const int64_t limit = now_;
    const uint64_t orderLimit = schedule_.orderMark();
    while (!stopped_ && dispatchOne(limit, orderLimit)) {
    }
}

void VirtualEventLoop::sleepMs(int ms) {
    if (ms > 0) now_ += ms;
}

void VirtualEventLoop::advance(int64_t ms) {
    const int64_t end = now_ + std::max<int64_t>(0, ms);
    while (!stopped_ && dispatchOne(end)) {
    }
    if (!stopped_) now_ = std::max(now_, end);
}

bool VirtualEventLoop::advanceUntil(const std::function<bool()>& pred, int64_t maxMs) {
    const int64_t end = now_ + std::max<int64_t>(0, maxMs);
    if (pred()) return true;
    while (!stopped_ && dispatchOne(end)) {
        if (pred()) return true;
    }
    if (!stopped_) now_ = std::max(now_, end);
    return pred();
}

}  // namespace ostrel::runtime
