// The real-time event loop on Qt: sub-millisecond timers, processEvents, monotonic clock.
#pragma once

#include <QObject>
#include <memory>
#include <vector>

#include "runtime/EventLoop.h"
#include "runtime/StepTimingProbe.h"

namespace ostrel::runtime {

class TimingPriority;

class QtEventLoop final : public QObject, public EventLoop {
    Q_OBJECT
  public:
    QtEventLoop();
    ~QtEventLoop() override;

    double nowMs() const override;
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

    // Raised while any timer is enabled, lowered once none is (not in the middle of a tick,
    // where one timer hands over to the next). `priority` must outlive the loop; null: none.
    void setTimingPriority(TimingPriority* priority);

    // How late each wake-up came, in two parts: how long the thread was still busy with other
    // work (painting, input, a handler) after the tick fell due, and how long the system then
    // took to wake it. The first is the program's, the second the machine's.
    struct Lateness {
        TimingErrorStats busy;
        TimingErrorStats wake;
    };
    // Records the lateness of every wake-up from now on (off: stops; the record stays).
    void recordLateness(bool on);
    const Lateness& lateness() const;

  private:
    // The wake-up fired: dispatches what is due and arms it for the next tick.
    void onWake();
    // One pass over the timers: each one due when the pass began fires once, earliest first.
    void dispatchDue();
    void rearm();
    // The timing priority follows whether any timer is enabled.
    void updatePriority();
    // When a countdown of `intervalMs` started now first falls due.
    double firstDue(int intervalMs) const;
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace ostrel::runtime
