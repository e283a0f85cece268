// Real time on Qt: one timer file descriptor (timerfd) armed for the earliest due tick, watched
// by the Qt loop.
//
// The schedule (TimerSchedule, shared with the virtual loop) is kept here rather than in one
// QTimer per window timer, so that ticks are scheduled from their due times (no drift from handler
// time), an unchanged interval keeps its schedule, and a tick that fell due during a blocking sleep
// fires once afterwards.
//
// Qt's timers wake the thread to the whole millisecond at best, and often most of one late; a
// 5 ms step period needs better. A timerfd armed with the due instant on CLOCK_MONOTONIC, to
// the nanosecond and with no timer slack, makes the Qt loop's poll return at that instant: one
// wake-up per tick, the thread never blocked beyond its poll, and with no timer enabled the
// descriptor is disarmed and nothing wakes at all. Where no timerfd can be had, a precise QTimer
// to the next whole millisecond stands in.
#include "runtime/QtEventLoop.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <ctime>

#include "runtime/TimerSchedule.h"
#include "runtime/TimingPriority.h"

namespace ostrel::runtime {

namespace {

int64_t monotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

timespec toTimespec(int64_t ns) {
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
    ts.tv_nsec = static_cast<long>(ns % 1'000'000'000);
    return ts;
}

}  // namespace

struct QtEventLoop::State {
    explicit State(TimerSchedule::FirstDue firstDue) : schedule(std::move(firstDue)) {}
    TimerSchedule schedule;
    int64_t originNs = 0;  // the monotonic clock when the loop was created
    // Inside a tick handler, the tick's logical time: its due time plus the blocking sleeps of
    // the handler so far. -1 outside.
    double tickTime = -1;
    // The wake-up: a timerfd and its notifier, or the stand-in QTimer when fd < 0.
    int fd = -1;
    std::unique_ptr<QSocketNotifier> notifier;
    QTimer fallback;
    int64_t armedNs = -1;  // the instant the wake-up is armed for; -1 disarmed
    TimingPriority* priority = nullptr;
    // Lateness recording: when the thread last went to wait for events; -1: not since the last
    // wake-up.
    bool recording = false;
    int64_t waitingSinceNs = 0;
    QMetaObject::Connection waitWatch;
    Lateness lateness;
};

QtEventLoop::QtEventLoop()
    : state_(std::make_unique<State>([this](int intervalMs) { return firstDue(intervalMs); })) {
    state_->originNs = monotonicNs();
    state_->fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (state_->fd >= 0) {
        state_->notifier = std::make_unique<QSocketNotifier>(state_->fd, QSocketNotifier::Read);
        QObject::connect(state_->notifier.get(), &QSocketNotifier::activated, this, [this] {
            uint64_t expirations = 0;
            // NOTE: the descriptor stays readable until it is read: read it before anything
            // else, or the loop spins.
            if (::read(state_->fd, &expirations, sizeof expirations) < 0 && errno == EAGAIN) {
                return;  // re-armed since it fired
            }
            onWake();
        });
    }
    state_->fallback.setSingleShot(true);
    state_->fallback.setTimerType(Qt::PreciseTimer);
    QObject::connect(&state_->fallback, &QTimer::timeout, this, [this] { onWake(); });
}

QtEventLoop::~QtEventLoop() {
    if (state_->priority) state_->priority->setBusy(false);
    state_->notifier.reset();
    if (state_->fd >= 0) ::close(state_->fd);
}

double QtEventLoop::nowMs() const {
    return static_cast<double>(monotonicNs() - state_->originNs) / 1e6;
}

double QtEventLoop::firstDue(int intervalMs) const {
    // A countdown started in a tick handler runs from the tick's logical time, as in virtual
    // time, so that timers handing over to each other do not drift by the wake-up latency of
    // every tick; like a periodic tick, unless that instant has passed already (a tick that
    // came very late, or a handler that ran long): then a whole interval from now.
    const double now = nowMs();
    const double tick = state_->tickTime;
    if (tick >= 0 && tick + intervalMs > now) return tick + intervalMs;
    return now + intervalMs;
}

void QtEventLoop::onWake() {
    if (state_->recording && state_->armedNs >= 0) {
        // Busy: the thread went to wait only after the due instant (the descriptor was ready,
        // so it came straight back), or it has not waited since the last wake-up (other events
        // kept it going, or a handler let events run). Waking: from then, or from the due
        // instant, to now.
        const int64_t now = monotonicNs();
        const int64_t due = state_->armedNs;
        const bool waited = state_->tickTime < 0 && state_->waitingSinceNs >= 0;
        const int64_t waitedFrom = waited ? std::max(due, state_->waitingSinceNs) : now;
        state_->lateness.busy.add(static_cast<double>(waitedFrom - due) / 1e6);
        state_->lateness.wake.add(static_cast<double>(std::max<int64_t>(0, now - waitedFrom)) /
                                  1e6);
        state_->waitingSinceNs = -1;
    }
    state_->armedNs = -1;
    dispatchDue();
    rearm();
}

void QtEventLoop::dispatchDue() {
    // NOTE: one pass only, then back to the Qt loop: timers whose handlers take longer than
    // their interval must not keep the pass going and starve input and painting. A timer that
    // fires in this pass gets a new start order, which keeps it out of the rest of the pass.
    const double passNow = nowMs();
    const uint64_t passOrder = state_->schedule.orderMark();
    while (const std::optional<TimerSchedule::Due> due =
               state_->schedule.next(passNow, passOrder)) {
        state_->schedule.fire(*due, nowMs(), [this, &due](const std::function<void()>& tick) {
            // The wake-up stays armed for the other timers, so that a doEvents() inside this
            // handler dispatches them as the virtual loop does.
            rearm();
            const double outerTickTime = state_->tickTime;
            state_->tickTime = due->due;
            if (tick) tick();
            state_->tickTime = outerTickTime;
        });
        notifyDispatched();
    }
}

void QtEventLoop::recordLateness(bool on) {
    state_->recording = on;
    QObject::disconnect(state_->waitWatch);
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(thread());
    if (on && dispatcher) {
        state_->waitingSinceNs = monotonicNs();
        state_->waitWatch =
            QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                             [this] { state_->waitingSinceNs = monotonicNs(); });
    }
}

const QtEventLoop::Lateness& QtEventLoop::lateness() const {
    return state_->lateness;
}

void QtEventLoop::setTimingPriority(TimingPriority* priority) {
    if (state_->priority) state_->priority->setBusy(false);
    state_->priority = priority;
    updatePriority();
}

void QtEventLoop::updatePriority() {
    if (!state_->priority) return;
    const bool any = state_->schedule.anyEnabled();
    // NOTE: inside a tick the last timer may be handing over to the next one: lowered only
    // once the pass is over and still nothing runs.
    if (any) {
        state_->priority->setBusy(true);
    } else if (state_->tickTime < 0) {
        state_->priority->setBusy(false);
    }
}

void QtEventLoop::rearm() {
    updatePriority();
    const double earliest = state_->schedule.earliestDue();
    if (state_->fd < 0) {
        if (earliest < 0) {
            state_->fallback.stop();  // nothing runs: no wake-ups at all
        } else {
            const double wait = std::max(0.0, earliest - nowMs());
            state_->fallback.start(static_cast<int>(std::ceil(wait)));
        }
        return;
    }
    // An instant already past (a tick that fell due during a handler) fires at once. The
    // nanosecond is rounded up, so that the wake-up never comes before the due time.
    const int64_t ns =
        earliest < 0 ? -1 : state_->originNs + std::llround(std::ceil(earliest * 1e6));
    if (ns == state_->armedNs) return;
    itimerspec spec{};
    if (ns >= 0) spec.it_value = toTimespec(ns);  // all zero: disarmed, no wake-ups at all
    timerfd_settime(state_->fd, TFD_TIMER_ABSTIME, &spec, nullptr);
    state_->armedNs = ns;
}

TimerId QtEventLoop::createTimer(std::function<void()> tick, int intervalMs, bool enabled) {
    const TimerId id = state_->schedule.add(std::move(tick), std::max(1, intervalMs));
    if (enabled) setEnabled(id, true);
    return id;
}

TimerId QtEventLoop::createIdleTimer() {
    return state_->schedule.add({}, 0);
}

void QtEventLoop::setHandler(TimerId id, std::function<void()> tick) {
    state_->schedule.setHandler(id, std::move(tick));
}

void QtEventLoop::setEnabled(TimerId id, bool on) {
    if (state_->schedule.setEnabled(id, on)) rearm();
}

bool QtEventLoop::enabled(TimerId id) const {
    return state_->schedule.enabled(id);
}

void QtEventLoop::setInterval(TimerId id, int intervalMs) {
    if (state_->schedule.setInterval(id, intervalMs)) rearm();
}

int QtEventLoop::interval(TimerId id) const {
    return state_->schedule.interval(id);
}

double QtEventLoop::nextTickMs() const {
    return state_->schedule.earliestDue();
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
    if (ms <= 0) return;
    // A sleep inside a tick moves the tick's logical time on, as it moves the virtual clock.
    if (state_->tickTime >= 0) state_->tickTime += ms;
    const timespec until = toTimespec(monotonicNs() + int64_t{ms} * 1'000'000);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

}  // namespace ostrel::runtime
