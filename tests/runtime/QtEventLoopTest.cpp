// The Qt loop's bookkeeping and its doEvents rules; no assertion here depends on how long
// anything takes.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <algorithm>
#include <functional>

#include "runtime/QtEventLoop.h"

using ostrel::runtime::QtEventLoop;
using ostrel::runtime::Timer;

namespace {

// Runs the Qt event loop until `done` holds; the deadline only guards against a hang.
bool runUntil(const std::function<bool()>& done) {
    QDeadlineTimer deadline(20000);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    }
    return done();
}

}  // namespace

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
