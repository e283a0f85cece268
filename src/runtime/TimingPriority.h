// Raising the thread that times the motor steps above ordinary programs while it has ticks to
// keep, and putting it back when it has none.
#pragma once

#include <memory>
#include <string>

namespace ostrel::runtime {

// The kernel calls that change the calling thread's scheduling; tests stand in for them.
class SchedulerCalls {
  public:
    virtual ~SchedulerCalls() = default;
    // SCHED_FIFO at `priority`, reset for children: 0 or an errno.
    virtual int setRealTime(int priority) = 0;
    // Back to ordinary time sharing (SCHED_OTHER).
    virtual void setTimeSharing() = 0;
    // The thread's nice value: set one (0 or an errno), read it.
    virtual int setNice(int nice) = 0;
    virtual int nice() = 0;
    // The highest real-time priority and the lowest nice value this user may take without
    // privilege (RLIMIT_RTPRIO, RLIMIT_NICE).
    virtual int realTimeLimit() = 0;
    virtual int niceLimit() = 0;
    // Keeps a real-time thread from holding a processor for longer than `ms` of CPU without
    // blocking: past it, the thread falls back to time sharing.
    virtual void limitRealTimeRun(int ms) = 0;
};

// The kernel's own calls, acting on the calling thread.
std::unique_ptr<SchedulerCalls> systemSchedulerCalls();

// What the thread runs at while it has ticks to keep.
enum class TimingClass { Normal, Nice, RealTime };

class TimingPriority {
  public:
    // Real-time priority asked for; below the kernel's interrupt threads (50) on real-time
    // kernels, above every ordinary program.
    static constexpr int kRealTimePriority = 10;
    // The nice value asked for where real-time priority is not allowed.
    static constexpr int kRaisedNice = -10;
    // CPU a real-time tick thread may use without blocking before it falls back.
    static constexpr int kLongestRealTimeRunMs = 1000;

    // `allowed` false (--normal-priority) never changes anything.
    TimingPriority(std::unique_ptr<SchedulerCalls> calls, bool allowed);
    ~TimingPriority();
    TimingPriority(const TimingPriority&) = delete;
    TimingPriority& operator=(const TimingPriority&) = delete;

    // Raised while busy, the thread's own scheduling while not; a call that changes nothing
    // makes no kernel call.
    void setBusy(bool busy);
    bool busy() const { return busy_; }
    // What a busy thread gets; known after the first raise.
    TimingClass raisedClass() const { return raised_; }
    // For the operator: what the step timing runs at, and how to get more.
    std::string describe() const;

  private:
    void raise();
    void lower();

    std::unique_ptr<SchedulerCalls> calls_;
    bool allowed_;
    bool busy_ = false;
    bool tried_ = false;  // the first raise found out what this user may take
    TimingClass raised_ = TimingClass::Normal;
    int priority_ = 0;   // the real-time priority taken
    int niceTaken_ = 0;  // the nice value taken
    int ownNice_ = 0;    // the thread's nice before the raise
};

}  // namespace ostrel::runtime
