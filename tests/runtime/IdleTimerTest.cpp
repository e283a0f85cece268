// Timers of Interval 0 (the window's three unused ones): they never fall due, on either loop,
// until they are given an interval.
#include <gtest/gtest.h>

#include "RunQtUntil.h"
#include "runtime/QtEventLoop.h"
#include "runtime/VirtualEventLoop.h"

using ostrel::runtime::QtEventLoop;
using ostrel::runtime::Timer;
using ostrel::runtime::VirtualEventLoop;

TEST(IdleTimer, NeverFiresUntilGivenAnInterval) {
    VirtualEventLoop loop;
    Timer idle(loop, Timer::Idle{});
    Timer other(loop, 10, true);
    int ticks = 0;
    idle.setHandler([&] { ++ticks; });
    EXPECT_EQ(idle.Interval(), 0);
    EXPECT_FALSE(idle.Enabled());
    idle.setEnabled(true);
    EXPECT_TRUE(idle.Enabled());
    idle.setInterval(0);  // the same interval again: still 0, still silent
    EXPECT_EQ(idle.Interval(), 0);
    loop.advance(1000);
    EXPECT_EQ(ticks, 0);
    other.setEnabled(false);
    EXPECT_EQ(loop.nextDue(), -1);  // nothing to wait for
    idle.setInterval(40);           // a real interval starts the countdown from now
    loop.advance(100);
    EXPECT_EQ(ticks, 2);
}

TEST(IdleTimer, ArmsNoWakeUpOnTheQtLoop) {
    QtEventLoop loop;
    Timer idle(loop, Timer::Idle{});
    Timer probe(loop, 5, true);
    int idleTicks = 0, probeTicks = 0;
    idle.setHandler([&] { ++idleTicks; });
    probe.setHandler([&] { ++probeTicks; });
    idle.setEnabled(true);
    EXPECT_TRUE(ostrel::runtime::testing::runUntil([&] { return probeTicks >= 3; }));
    EXPECT_EQ(idleTicks, 0);
    EXPECT_EQ(idle.Interval(), 0);
}
