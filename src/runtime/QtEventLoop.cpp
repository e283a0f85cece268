// Real time on Qt: one precise single-shot QTimer armed for the earliest due tick.
//
// The schedule is kept here rather than in one QTimer per window timer, so that ticks are
// scheduled from their due times (no drift from handler time), an unchanged interval keeps its
// schedule, and a tick that fell due during a blocking sleep fires once afterwards.
#include "runtime/QtEventLoop.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

namespace ostrel::runtime {

struct QtEventLoop::State {
    struct TimerState {
        std::function<void()> tick;
        int interval = 100;
        bool enabled = false;
        bool running = false;
        double due = 0;
        uint64_t order = 0;
    };
    std::vector<TimerState> timers;
    QElapsedTimer clock;
    QTimer wake;
    uint64_t order = 0;
};

QtEventLoop::QtEventLoop() : state_(std::make_unique<State>()) {
    state_->clock.start();
    state_->wake.setSingleShot(true);
    state_->wake.setTimerType(Qt::PreciseTimer);
    QObject::connect(&state_->wake, &QTimer::timeout, this, [this] {
        dispatchDue();
        rearm();
    });
}

void QtEventLoop::dispatchDue() {
    // NOTE: one pass only, then back to the Qt loop: timers whose handlers take longer than
    // their interval must not keep the pass going and starve input and painting. A timer that
    // fires in this pass gets a new start order, which keeps it out of the rest of the pass.
    const double passNow = nowMs();
    const uint64_t passOrder = state_->order;
    for (;;) {
        int best = -1;
        for (size_t i = 0; i < state_->timers.size(); ++i) {
            const auto& t = state_->timers[i];
            if (!t.enabled || t.running || t.due > passNow || t.order >= passOrder) continue;
            if (best < 0 || t.due < state_->timers[best].due ||
                (t.due == state_->timers[best].due && t.order < state_->timers[best].order)) {
                best = static_cast<int>(i);
            }
        }
        if (best < 0) return;
        auto& t = state_->timers[best];
        const double now = nowMs();
        t.due += t.interval;
        if (t.due <= now) t.due = now + t.interval;  // came late: fires once, no pile-up
        t.order = state_->order++;
        t.running = true;
        // The wake-up stays armed for the other timers, so that a doEvents() inside this
        // handler dispatches them as the virtual loop does.
        rearm();
        std::function<void()> tick = t.tick;
        if (tick) tick();
        // NOTE: the handler may create timers, so the vector may have moved: index again.
        state_->timers[best].running = false;
        notifyDispatched();
    }
}

QtEventLoop::~QtEventLoop() = default;

double QtEventLoop::nowMs() const {
    return state_->clock.nsecsElapsed() / 1e6;
}

void QtEventLoop::rearm() {
    double earliest = -1;
    for (const auto& t : state_->timers) {
        if (t.enabled && !t.running && (earliest < 0 || t.due < earliest)) earliest = t.due;
    }
    if (earliest < 0) {
        state_->wake.stop();  // nothing runs: no wake-ups at all
        return;
    }
    const double wait = std::max(0.0, earliest - nowMs());
    state_->wake.start(static_cast<int>(std::ceil(wait)));
}

TimerId QtEventLoop::createTimer(std::function<void()> tick, int intervalMs, bool enabled) {
    State::TimerState t;
    t.tick = std::move(tick);
    t.interval = std::max(1, intervalMs);
    state_->timers.push_back(std::move(t));
    const TimerId id = static_cast<TimerId>(state_->timers.size() - 1);
    if (enabled) setEnabled(id, true);
    return id;
}

void QtEventLoop::setHandler(TimerId id, std::function<void()> tick) {
    state_->timers.at(id).tick = std::move(tick);
}

void QtEventLoop::setEnabled(TimerId id, bool on) {
    auto& t = state_->timers.at(id);
    if (on && !t.enabled) {
        t.due = nowMs() + t.interval;
        t.order = state_->order++;
    }
    t.enabled = on;
    rearm();
}

bool QtEventLoop::enabled(TimerId id) const {
    return state_->timers.at(id).enabled;
}

void QtEventLoop::setInterval(TimerId id, int intervalMs) {
    auto& t = state_->timers.at(id);
    intervalMs = std::max(1, intervalMs);
    if (intervalMs == t.interval) return;
    t.interval = intervalMs;
    if (t.enabled) {
        t.due = nowMs() + t.interval;
        t.order = state_->order++;
        rearm();
    }
}

int QtEventLoop::interval(TimerId id) const {
    return state_->timers.at(id).interval;
}

void QtEventLoop::post(std::function<void()> event, double delayMs) {
    QTimer::singleShot(static_cast<int>(std::max(0.0, delayMs)), Qt::PreciseTimer, this,
                       [this, event = std::move(event)] {
                           event();
                           notifyDispatched();
                       });
}

void QtEventLoop::doEvents() {
    // NOTE: the running timer is marked `running`, so a pass of the pump never re-enters it.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    // Timers that fell due while the wake-up was not armed yet (a handler that slept, say).
    dispatchDue();
    rearm();
}

void QtEventLoop::sleepMs(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace ostrel::runtime
