// Virtual time: timers fire in time order, each at most once per due time, and nothing waits.
#include "runtime/VirtualEventLoop.h"

#include <algorithm>
#include <limits>

namespace ostrel::runtime {

TimerId VirtualEventLoop::createTimer(std::function<void()> tick, int intervalMs, bool enabled) {
    TimerState t;
    t.tick = std::move(tick);
    t.interval = std::max(1, intervalMs);
    timers_.push_back(std::move(t));
    const TimerId id = static_cast<TimerId>(timers_.size() - 1);
    if (enabled) setEnabled(id, true);
    return id;
}

void VirtualEventLoop::setHandler(TimerId id, std::function<void()> tick) {
    timers_.at(id).tick = std::move(tick);
}

void VirtualEventLoop::start(TimerState& t) {
    t.due = now_ + t.interval;
    t.order = order_++;
}

void VirtualEventLoop::setEnabled(TimerId id, bool on) {
    TimerState& t = timers_.at(id);
    if (on && !t.enabled) start(t);
    t.enabled = on;
}

bool VirtualEventLoop::enabled(TimerId id) const {
    return timers_.at(id).enabled;
}

void VirtualEventLoop::setInterval(TimerId id, int intervalMs) {
    TimerState& t = timers_.at(id);
    intervalMs = std::max(1, intervalMs);
    if (intervalMs == t.interval) return;  // an unchanged interval keeps its schedule
    t.interval = intervalMs;
    if (t.enabled) start(t);
}

int VirtualEventLoop::interval(TimerId id) const {
    return timers_.at(id).interval;
}

void VirtualEventLoop::post(std::function<void()> event, double delayMs) {
    const int64_t due = now_ + static_cast<int64_t>(std::max(0.0, delayMs));
    Posted p{due, order_++, std::move(event)};
    auto at =
        std::upper_bound(posted_.begin(), posted_.end(), p, [](const Posted& a, const Posted& b) {
            return a.due < b.due || (a.due == b.due && a.order < b.order);
        });
    posted_.insert(at, std::move(p));
}

int64_t VirtualEventLoop::nextDue() const {
    int64_t best = posted_.empty() ? -1 : posted_.front().due;
    for (const TimerState& t : timers_) {
        if (t.enabled && !t.running && (best < 0 || t.due < best)) best = t.due;
    }
    return best;
}

bool VirtualEventLoop::dispatchOne(int64_t limit, uint64_t orderLimit) {
    // The earliest of the timers and the posted events; equal times go by start order.
    TimerState* timer = nullptr;
    TimerId timerId = -1;
    for (size_t i = 0; i < timers_.size(); ++i) {
        TimerState& t = timers_[i];
        if (!t.enabled || t.running || t.due > limit || t.order >= orderLimit) continue;
        if (!timer || t.due < timer->due || (t.due == timer->due && t.order < timer->order)) {
            timer = &t;
            timerId = static_cast<TimerId>(i);
        }
    }
    // posted_ is sorted by (due, order), so only its front can be next: an event posted during
    // a pass is due no earlier than now and so sorts after every older one due by `limit`.
    const bool postedReady =
        !posted_.empty() && posted_.front().due <= limit && posted_.front().order < orderLimit;
    if (postedReady &&
        (!timer || posted_.front().due < timer->due ||
         (posted_.front().due == timer->due && posted_.front().order < timer->order))) {
        Posted p = std::move(posted_.front());
        posted_.pop_front();
        now_ = std::max(now_, p.due);
        p.event();
        notifyDispatched();
        return true;
    }
    if (!timer) return false;
    now_ = std::max(now_, timer->due);
    // The next tick is due one interval after this one was; a tick that came late (the loop
    // was blocked) is not made up for: the one after it comes a whole interval from now.
    timer->due += timer->interval;
    if (timer->due <= now_) timer->due = now_ + timer->interval;
    timer->order = order_++;
    timer->running = true;
    ++ticks_;
    // NOTE: the handler may create timers, so the vector may move: use the id afterwards.
    std::function<void()> tick = timer->tick;
    if (tick) tick();
    timers_[timerId].running = false;
    notifyDispatched();
    return true;
}

void VirtualEventLoop::doEvents() {
    // One pass of the pump: only what was already due when the pass began, so the clock stands
    // still and an event that posts itself again (or a handler that sleeps) cannot keep the
    // pass going for ever.
    const int64_t limit = now_;
    const uint64_t orderLimit = order_;
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
