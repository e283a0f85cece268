// The step timing's priority: what it asks the kernel for, in which order, what it falls back
// to, and that it is put back; and that the Qt loop raises it exactly while timers run.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <cerrno>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "RunQtUntil.h"
#include "runtime/QtEventLoop.h"
#include "runtime/TimingPriority.h"

using ostrel::runtime::QtEventLoop;
using ostrel::runtime::SchedulerCalls;
using ostrel::runtime::Timer;
using ostrel::runtime::TimingClass;
using ostrel::runtime::TimingPriority;
using ostrel::runtime::testing::runUntil;

namespace {

// A kernel that grants what the test says, and logs every call.
struct FakeKernel {
    int realTimeGranted = 99;  // highest real-time priority it grants this user; 0 none
    int realTimeLimit = 0;     // what RLIMIT_RTPRIO says
    int niceLimit = 20;        // lowest nice without privilege (20 - RLIMIT_NICE)
    int nice = 0;
    int realTime = 0;  // 0: time sharing
    std::vector<std::string> calls;
};

class FakeCalls final : public SchedulerCalls {
  public:
    explicit FakeCalls(FakeKernel& k) : k_(k) {}
    int setRealTime(int priority) override {
        k_.calls.push_back("fifo " + std::to_string(priority));
        if (priority > k_.realTimeGranted) return EPERM;
        k_.realTime = priority;
        return 0;
    }
    void setTimeSharing() override {
        k_.calls.push_back("other");
        k_.realTime = 0;
    }
    int setNice(int value) override {
        k_.calls.push_back("nice " + std::to_string(value));
        if (value < k_.nice && value < k_.niceLimit) return EACCES;
        k_.nice = value;
        return 0;
    }
    int nice() override { return k_.nice; }
    int realTimeLimit() override { return k_.realTimeLimit; }
    int niceLimit() override { return k_.niceLimit; }
    void limitRealTimeRun(int ms) override { k_.calls.push_back("rttime " + std::to_string(ms)); }

  private:
    FakeKernel& k_;
};

std::unique_ptr<SchedulerCalls> calls(FakeKernel& k) {
    return std::make_unique<FakeCalls>(k);
}

}  // namespace

TEST(TimingPriority, TakesRealTimeWhileBusyAndPutsTheThreadBack) {
    FakeKernel k;
    {
        TimingPriority p(calls(k), true);
        EXPECT_EQ(p.describe(), "normal priority until a timer runs");
        p.setBusy(true);
        EXPECT_EQ(k.realTime, TimingPriority::kRealTimePriority);
        EXPECT_EQ(p.raisedClass(), TimingClass::RealTime);
        EXPECT_EQ(p.describe(), "real-time priority (SCHED_FIFO 10) while timers run");
        p.setBusy(true);  // no change, no call
        p.setBusy(false);
        EXPECT_EQ(k.realTime, 0);
        p.setBusy(true);
        EXPECT_EQ(k.realTime, 10);
    }
    // The run limit is set before the thread can first hold a processor; leaving busy puts it
    // back, and so does the end of the object.
    EXPECT_EQ(k.calls,
              (std::vector<std::string>{"rttime 1000", "fifo 10", "other", "fifo 10", "other"}));
}

// Without privilege the user's limits decide: real-time up to RLIMIT_RTPRIO, else a nice value
// down to RLIMIT_NICE's floor (never below -10), else nothing.
TEST(TimingPriority, FallsBackToWhatTheUsersLimitsAllow) {
    struct Case {
        const char* what;
        int realTimeGranted, realTimeLimit, niceLimit, ownNice;
        TimingClass raised;
        int realTimeWhileBusy, niceWhileBusy;
        std::vector<std::string> firstCalls;
    };
    const Case cases[] = {
        {"RLIMIT_RTPRIO 5",
         5,
         5,
         20,
         0,
         TimingClass::RealTime,
         5,
         0,
         {"rttime 1000", "fifo 10", "fifo 5"}},
        {"RLIMIT_RTPRIO 99, yet refused",
         0,
         99,
         -10,
         0,
         TimingClass::Nice,
         0,
         -10,
         {"rttime 1000", "fifo 10", "fifo 9", "nice -10"}},
        {"RLIMIT_NICE 30: nice -10",
         0,
         0,
         -10,
         0,
         TimingClass::Nice,
         0,
         -10,
         {"rttime 1000", "fifo 10", "nice -10"}},
        {"RLIMIT_NICE 40: still only -10",
         0,
         0,
         -20,
         0,
         TimingClass::Nice,
         0,
         -10,
         {"rttime 1000", "fifo 10", "nice -10"}},
        {"RLIMIT_NICE 25: nice -5",
         0,
         0,
         -5,
         0,
         TimingClass::Nice,
         0,
         -5,
         {"rttime 1000", "fifo 10", "nice -5"}},
        {"no limits: nothing", 0, 0, 20, 0, TimingClass::Normal, 0, 0, {"rttime 1000", "fifo 10"}},
        {"already at the floor", 0, 0, 5, 5, TimingClass::Normal, 0, 5, {"rttime 1000", "fifo 10"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeKernel k;
        k.realTimeGranted = c.realTimeGranted;
        k.realTimeLimit = c.realTimeLimit;
        k.niceLimit = c.niceLimit;
        k.nice = c.ownNice;
        TimingPriority p(calls(k), true);
        p.setBusy(true);
        EXPECT_EQ(p.raisedClass(), c.raised);
        EXPECT_EQ(k.realTime, c.realTimeWhileBusy);
        EXPECT_EQ(k.nice, c.niceWhileBusy);
        EXPECT_EQ(k.calls, c.firstCalls);
        p.setBusy(false);
        EXPECT_EQ(k.nice, c.ownNice);
        EXPECT_EQ(k.realTime, 0);
        // The next raise takes the same without asking again.
        k.calls.clear();
        p.setBusy(true);
        EXPECT_EQ(k.realTime, c.realTimeWhileBusy);
        EXPECT_EQ(k.nice, c.niceWhileBusy);
        EXPECT_LE(k.calls.size(), 1u);
    }
}

TEST(TimingPriority, NormalPriorityAskedForMakesNoCall) {
    FakeKernel k;
    TimingPriority p(calls(k), false);
    p.setBusy(true);
    p.setBusy(false);
    EXPECT_TRUE(k.calls.empty());
    EXPECT_EQ(p.describe(), "normal priority (--normal-priority)");
}

TEST(TimingPriority, TheQtLoopRaisesItExactlyWhileTimersRun) {
    FakeKernel k;
    TimingPriority p(calls(k), true);
    QtEventLoop loop;
    loop.setTimingPriority(&p);
    Timer first(loop, 2, false), second(loop, 2, false);
    EXPECT_FALSE(p.busy());

    // A hand-over inside a tick (the running timer stops, the next starts) keeps it raised:
    // no lowering between two timers of one job.
    int firstTicks = 0, secondTicks = 0;
    first.setHandler([&] {
        ++firstTicks;
        first.setEnabled(false);
        second.setEnabled(true);
    });
    second.setHandler([&] {
        if (++secondTicks == 2) second.setEnabled(false);
    });
    first.setEnabled(true);
    EXPECT_TRUE(p.busy());
    EXPECT_TRUE(runUntil([&] { return secondTicks == 2; }));
    // The last timer stopped in its own tick: lowered once the pass is over.
    EXPECT_TRUE(runUntil([&] { return !p.busy(); }));
    EXPECT_EQ(k.calls, (std::vector<std::string>{"rttime 1000", "fifo 10", "other"}));

    // Stopped from outside a tick (a click, say): lowered at once.
    first.setHandler([] {});
    first.setEnabled(true);
    EXPECT_TRUE(p.busy());
    first.setEnabled(false);
    EXPECT_FALSE(p.busy());
}

TEST(TimingPriority, TheLoopPutsItBackWhenItGoesWithTimersRunning) {
    FakeKernel k;
    TimingPriority p(calls(k), true);
    {
        QtEventLoop loop;
        loop.setTimingPriority(&p);
        Timer t(loop, 1000, true);
        EXPECT_EQ(k.realTime, 10);
    }
    EXPECT_EQ(k.realTime, 0);
    EXPECT_FALSE(p.busy());
}

// The kernel's own calls on this thread: whatever this user may take, the thread ends where it
// began.
TEST(TimingPriority, TheSystemCallsPutTheThreadBackAsItWas) {
    const int policyBefore = sched_getscheduler(0);
    errno = 0;
    const int niceBefore = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    {
        TimingPriority p(ostrel::runtime::systemSchedulerCalls(), true);
        p.setBusy(true);
        if (p.raisedClass() == TimingClass::RealTime) {
            EXPECT_EQ(sched_getscheduler(0) & ~SCHED_RESET_ON_FORK, SCHED_FIFO);
            // Children of a real-time thread start as ordinary ones.
            EXPECT_NE(sched_getscheduler(0) & SCHED_RESET_ON_FORK, 0);
        }
        p.setBusy(false);
        EXPECT_EQ(sched_getscheduler(0), policyBefore);
        EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())), niceBefore);
        p.setBusy(true);
    }
    EXPECT_EQ(sched_getscheduler(0), policyBefore);
    EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())), niceBefore);
}
