// The deterministic event loop: a discrete-event clock that runs timers in virtual time.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "runtime/EventLoop.h"
#include "runtime/TimerSchedule.h"

namespace ostrel::runtime {

class VirtualEventLoop final : public EventLoop {
  public:
    double nowMs() const override { return static_cast<double>(now_); }
    int64_t now() const { return now_; }

    VirtualEventLoop();

    TimerId createTimer(std::function<void()> tick, int intervalMs, bool enabled) override;
    TimerId createIdleTimer() override;
    void setHandler(TimerId id, std::function<void()> tick) override;
    void setEnabled(TimerId id, bool enabled) override;
    bool enabled(TimerId id) const override;
    void setInterval(TimerId id, int intervalMs) override;
    int interval(TimerId id) const override;
    double nextTickMs() const override;
    void post(std::function<void()> event, double delayMs = 0) override;
    void doEvents() override;
    void sleepMs(int ms) override;

    // Advances the clock to now + ms, dispatching everything that falls due up to and
    // including the end instant.
    void advance(int64_t ms);
    // Advances until pred() holds after a dispatch, or until maxMs have passed. Returns
    // whether pred() held.
    bool advanceUntil(const std::function<bool()>& pred, int64_t maxMs);
    // Time of the next dispatch, or -1 when nothing is scheduled.
    int64_t nextDue() const;
    // Asks a running advance() to return after the current dispatch (the program ended).
    void stop() { stopped_ = true; }
    bool stopped() const { return stopped_; }
    uint64_t ticksDispatched() const { return ticks_; }

  private:
    struct Posted {
        int64_t due;
        uint64_t order;
        std::function<void()> event;
    };
    // Dispatches the earliest thing due at or before `limit` whose countdown (or posting)
    // started before `orderLimit`; false when there is none.
    bool dispatchOne(int64_t limit, uint64_t orderLimit = UINT64_MAX);

    std::deque<Posted> posted_;
    int64_t now_ = 0;
    // NOTE: posted events take their start order from the schedule's counter too.
    TimerSchedule schedule_;
    uint64_t ticks_ = 0;
    bool stopped_ = false;
};

}  // namespace ostrel::runtime
