// The Qt loop's bookkeeping, its doEvents rules and its hand-overs; no assertion here depends
// on how fast anything runs (time is bounded from below only, as the system guarantees).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <algorithm>
#include <functional>
#include <string>

#include "RunQtUntil.h"
#include "runtime/QtEventLoop.h"

using ostrel::runtime::QtEventLoop;
using ostrel::runtime::Timer;
using ostrel::runtime::testing::runUntil;

TEST(QtEventLoop, EnabledAndIntervalState) {
    QtEventLoop loop;
    Timer t(loop, 200, false);
    EXPECT_FALSE(t.Enabled());
    EXPECT_EQ(t.Interval(), 200);
    t.setEnabled(true);
    t.setEnabled(true);
    EXPECT_TRUE(t.Enabled());
    t.setInterval(0);
    EXPECT_EQ(t.Interval(), 1);
    EXPECT_FALSE(t.setIntervalText("fast"));
    EXPECT_EQ(t.Interval(), 1);
    EXPECT_TRUE(t.setIntervalText("65535"));
    EXPECT_EQ(t.Interval(), 65535);
    t.setEnabled(false);
    EXPECT_FALSE(t.Enabled());
    Timer on(loop, 50, true);
    EXPECT_TRUE(on.Enabled());
    EXPECT_GE(loop.nowMs(), 0.0);
}

TEST(QtEventLoop, NextTickIsOneIntervalAfterEnabling) {
    QtEventLoop loop;
    Timer t(loop, 50, false);
    EXPECT_EQ(loop.nextTickMs(), -1);
    const double before = loop.nowMs();
    t.setEnabled(true);
    const double after = loop.nowMs();
    EXPECT_GE(loop.nextTickMs(), before + 50);
    EXPECT_LE(loop.nextTickMs(), after + 50);
    t.setEnabled(false);
    EXPECT_EQ(loop.nextTickMs(), -1);
}

// A handler that runs 3 ms past the next tick's due time holds that tick: its lateness is the
// program's (the thread was busy), not the system's.
TEST(QtEventLoop, ATickHeldByALongHandlerCountsAsBusy) {
    QtEventLoop loop;
    loop.recordLateness(true);
    Timer first(loop, 5, false), second(loop, 6, false);
    bool held = false;
    int seconds = 0;
    first.setHandler([&] {
        first.setEnabled(false);
        const double until = loop.nextTickMs() + 3;
        while (loop.nowMs() < until) {
        }
        held = true;
    });
    second.setHandler([&] {
        second.setEnabled(false);
        ++seconds;
    });
    first.setEnabled(true);
    second.setEnabled(true);
    ASSERT_TRUE(runUntil([&] { return seconds == 1; }));
    ASSERT_TRUE(held);
    const QtEventLoop::Lateness& late = loop.lateness();
    EXPECT_EQ(late.busy.count(), 2u);
    EXPECT_EQ(late.wake.count(), 2u);
    EXPECT_GE(late.busy.maxMs(), 2.9);
}

TEST(QtEventLoop, PostedEventRuns) {
    QtEventLoop loop;
    int runs = 0, hooks = 0;
    loop.setAfterDispatch([&] { ++hooks; });
    loop.post([&] { ++runs; });
    EXPECT_TRUE(runUntil([&] { return runs == 1; }));
    EXPECT_EQ(hooks, 1);
    loop.post([&] { ++runs; }, 5);
    EXPECT_TRUE(runUntil([&] { return runs == 2; }));
}

TEST(QtEventLoop, DoEventsRunsAPostedEvent) {
    QtEventLoop loop;
    bool ran = false;
    loop.post([&] { ran = true; });
    loop.doEvents();
    EXPECT_TRUE(ran);
}

TEST(QtEventLoop, TimerTicksAndStopsWhenDisabled) {
    QtEventLoop loop;
    Timer t(loop, 1, true);
    int ticks = 0;
    t.setHandler([&] {
        if (++ticks == 3) t.setEnabled(false);
    });
    EXPECT_TRUE(runUntil([&] { return !t.Enabled(); }));
    EXPECT_EQ(ticks, 3);
}

TEST(QtEventLoop, DoEventsNeverReEntersTheRunningTimer) {
    QtEventLoop loop;
    Timer t(loop, 1, true);
    Timer other(loop, 1, false);
    int depth = 0, maxDepth = 0, ticks = 0, otherTicks = 0, otherInside = 0;
    other.setHandler([&] {
        ++otherTicks;
        if (depth > 0) ++otherInside;
        other.setEnabled(false);
    });
    t.setHandler([&] {
        maxDepth = std::max(maxDepth, ++depth);
        other.setEnabled(true);
        for (int i = 0; i < 3; ++i) {
            loop.sleepMs(3);  // both timers are due after this
            loop.doEvents();
        }
        --depth;
        if (++ticks == 2) t.setEnabled(false);
    });
    EXPECT_TRUE(runUntil([&] { return ticks == 2; }));
    EXPECT_EQ(maxDepth, 1);
    // The other timer, due during the sleep, was dispatched from inside the handler.
    EXPECT_EQ(otherInside, 2);
    EXPECT_EQ(otherTicks, 2);
}

TEST(QtEventLoop, TimersStartedTogetherFireInStartOrder) {
    QtEventLoop loop;
    Timer starter(loop, 1, true);
    Timer a(loop, 3, false), b(loop, 3, false);
    std::string order;
    starter.setHandler([&] {
        starter.setEnabled(false);
        b.setEnabled(true);
        a.setEnabled(true);
    });
    a.setHandler([&] {
        order += 'a';
        a.setEnabled(false);
    });
    b.setHandler([&] {
        order += 'b';
        b.setEnabled(false);
    });
    EXPECT_TRUE(runUntil([&] { return order.size() == 2; }));
    EXPECT_EQ(order, "ba");
}

TEST(QtEventLoop, HandOversAlternateAndNeverOverlap) {
    QtEventLoop loop;
    Timer a(loop, 1, true), b(loop, 2, false);
    std::string order;
    bool overlap = false;
    a.setHandler([&] {
        order += 'a';
        overlap |= b.Enabled();
        a.setEnabled(false);
        b.setEnabled(true);
    });
    b.setHandler([&] {
        order += 'b';
        overlap |= a.Enabled();
        b.setEnabled(false);
        if (order.size() < 20) a.setEnabled(true);
    });
    EXPECT_TRUE(runUntil([&] { return order.size() == 20; }));
    EXPECT_EQ(order, "abababababababababab");
    EXPECT_FALSE(overlap);
}

// A blocking sleep inside a tick moves the tick's time on, as it moves the virtual clock: a
// countdown started after it counts from the end of the sleep, never from the tick's due time.
TEST(QtEventLoop, ACountdownStartedAfterASleepInATickCountsFromAfterTheSleep) {
    QtEventLoop loop;
    const double start = loop.nowMs();
    Timer a(loop, 1, true), b(loop, 10, false);
    double firedAt = -1;
    a.setHandler([&] {
        a.setEnabled(false);
        loop.sleepMs(30);
        b.setEnabled(true);
    });
    b.setHandler([&] {
        firedAt = loop.nowMs();
        b.setEnabled(false);
    });
    EXPECT_TRUE(runUntil([&] { return firedAt >= 0; }));
    EXPECT_GE(firedAt - start, 1.0 + 30.0 + 10.0);
}

// A hand-over whose due time has passed already (the handler ran longer than the next timer's
// interval) starts a whole interval from now: it never fires at once.
TEST(QtEventLoop, AHandOverAfterALongHandlerComesAWholeIntervalLater) {
    QtEventLoop loop;
    Timer a(loop, 1, true), b(loop, 5, false);
    double enabledAt = -1, firedAt = -1;
    a.setHandler([&] {
        a.setEnabled(false);
        const double busyUntil = loop.nowMs() + 12;
        while (loop.nowMs() < busyUntil) {
        }
        enabledAt = loop.nowMs();
        b.setEnabled(true);
    });
    b.setHandler([&] {
        firedAt = loop.nowMs();
        b.setEnabled(false);
    });
    EXPECT_TRUE(runUntil([&] { return firedAt >= 0; }));
    EXPECT_GE(firedAt - enabledAt, 5.0);
}

TEST(QtEventLoop, SleepBlocksForAtLeastItsTime) {
    QtEventLoop loop;
    const double before = loop.nowMs();
    loop.sleepMs(3);
    EXPECT_GE(loop.nowMs() - before, 3.0);
    loop.sleepMs(0);
    loop.sleepMs(-5);
}

// The wake-up belongs to the loop: a loop destroyed with a timer enabled leaves nothing behind
// that could fire into it.
TEST(QtEventLoop, ALoopDestroyedWithTimersEnabledNeverTicksAgain) {
    int ticks = 0;
    {
        QtEventLoop loop;
        Timer t(loop, 1, true);
        t.setHandler([&] { ++ticks; });
        EXPECT_TRUE(runUntil([&] { return ticks > 0; }));
    }
    const int after = ticks;
    QDeadlineTimer deadline(30);
    while (!deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(ticks, after);
}
