// Raising the tick thread's scheduling while it has ticks to keep: real-time first, a lower nice
// value where that is not allowed, nothing where neither is.
//
// On a busy machine an ordinary thread that wakes for a step can wait several milliseconds for
// a processor; a real-time thread (or a much lower nice value) gets it within tens of
// microseconds. The raise lasts only while timers run, so a window left open costs nothing.
#include "runtime/TimingPriority.h"

#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

namespace ostrel::runtime {

namespace {

// The thread that took real-time priority, for the signal that says it ran too long.
std::atomic<pid_t> realTimeThread{0};

// SIGXCPU: the real-time thread used up its run without blocking (a handler stuck in a loop):
// it goes back to time sharing, so that the rest of the machine keeps running.
// NOTE: async-signal-safe: one raw system call.
void onRealTimeRunExceeded(int) {
    const pid_t tid = realTimeThread.load();
    if (tid == 0) return;
    const sched_param normal{};
    syscall(SYS_sched_setscheduler, tid, SCHED_OTHER, &normal);
}

class SystemSchedulerCalls final : public SchedulerCalls {
  public:
    int setRealTime(int priority) override {
        sched_param p{};
        p.sched_priority = priority;
        // Reset for children: a viewer or helper the program starts runs as an ordinary one.
        if (sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &p) != 0) return errno;
        realTimeThread.store(gettid());
        return 0;
    }
    void setTimeSharing() override {
        const sched_param p{};
        sched_setscheduler(0, SCHED_OTHER, &p);
        realTimeThread.store(0);
    }
    int setNice(int value) override {
        return setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), value) == 0 ? 0 : errno;
    }
    int nice() override {
        errno = 0;
        const int value = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
        return errno == 0 ? value : 0;
    }
    int realTimeLimit() override {
        rlimit limit{};
        if (getrlimit(RLIMIT_RTPRIO, &limit) != 0) return 0;
        return static_cast<int>(std::min<rlim_t>(limit.rlim_cur, 99));
    }
    int niceLimit() override {
        // RLIMIT_NICE holds 20 - the lowest nice value allowed.
        rlimit limit{};
        if (getrlimit(RLIMIT_NICE, &limit) != 0) return 20;
        return 20 - static_cast<int>(std::min<rlim_t>(limit.rlim_cur, 40));
    }
    void limitRealTimeRun(int ms) override {
        rlimit limit{};
        if (getrlimit(RLIMIT_RTTIME, &limit) != 0) return;
        const rlim_t wanted = static_cast<rlim_t>(ms) * 1000;  // microseconds
        if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur <= wanted) return;
        limit.rlim_cur =
            limit.rlim_max == RLIM_INFINITY ? wanted : std::min(wanted, limit.rlim_max);
        struct sigaction action {};
        action.sa_handler = onRealTimeRunExceeded;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGXCPU, &action, nullptr);
        setrlimit(RLIMIT_RTTIME, &limit);
    }
};

}  // namespace

std::unique_ptr<SchedulerCalls> systemSchedulerCalls() {
    return std::make_unique<SystemSchedulerCalls>();
}

TimingPriority::TimingPriority(std::unique_ptr<SchedulerCalls> calls, bool allowed)
    : calls_(std::move(calls)), allowed_(allowed && calls_) {}

TimingPriority::~TimingPriority() {
    setBusy(false);
}

void TimingPriority::setBusy(bool busy) {
    if (!allowed_ || busy == busy_) return;
    busy_ = busy;
    if (busy) {
        raise();
    } else {
        lower();
    }
}

void TimingPriority::raise() {
    if (tried_) {
        switch (raised_) {
            case TimingClass::RealTime:
                calls_->setRealTime(priority_);
                break;
            case TimingClass::Nice:
                ownNice_ = calls_->nice();
                calls_->setNice(niceTaken_);
                break;
            case TimingClass::Normal:
                break;
        }
        return;
    }
    // The first raise finds out what this user may take, best first; later raises take the
    // same without asking again.
    tried_ = true;
    ownNice_ = calls_->nice();
    calls_->limitRealTimeRun(kLongestRealTimeRunMs);
    int priority = kRealTimePriority;
    int refused = calls_->setRealTime(priority);
    if (refused != 0) {
        // Without privilege, as high as RLIMIT_RTPRIO lets this user go.
        priority = std::min(kRealTimePriority - 1, calls_->realTimeLimit());
        if (priority >= 1) refused = calls_->setRealTime(priority);
    }
    if (refused == 0) {
        raised_ = TimingClass::RealTime;
        priority_ = priority;
        return;
    }
    const int nice = std::max(kRaisedNice, calls_->niceLimit());
    if (nice < ownNice_ && calls_->setNice(nice) == 0) {
        raised_ = TimingClass::Nice;
        niceTaken_ = nice;
    }
}

void TimingPriority::lower() {
    switch (raised_) {
        case TimingClass::RealTime:
            calls_->setTimeSharing();
            break;
        case TimingClass::Nice:
            calls_->setNice(ownNice_);
            break;
        case TimingClass::Normal:
            break;
    }
}

std::string TimingPriority::describe() const {
    if (!allowed_) return "normal priority (--normal-priority)";
    if (!tried_) return "normal priority until a timer runs";
    switch (raised_) {
        case TimingClass::RealTime:
            return "real-time priority (SCHED_FIFO " + std::to_string(priority_) +
                   ") while timers run";
        case TimingClass::Nice:
            return "raised priority (nice " + std::to_string(niceTaken_) +
                   ") while timers run; real-time priority is not allowed for this user";
        case TimingClass::Normal:
            break;
    }
    return "normal priority: this user may not raise it, so steps can come late while other "
           "programs keep the processors busy";
}

}  // namespace ostrel::runtime
