// Timer semantics of the virtual loop: start, restart, late ticks, doEvents, order, stop.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "runtime/VirtualEventLoop.h"

using ostrel::runtime::Timer;
using ostrel::runtime::VirtualEventLoop;

namespace {

using Times = std::vector<int64_t>;

// A timer that records the virtual time of each of its ticks.
struct Recorder {
    Recorder(VirtualEventLoop& loop, int intervalMs, bool enabled)
        : timer(loop, intervalMs, enabled) {
        timer.setHandler([this, clock = &loop] { ticks.push_back(clock->now()); });
    }
    Timer timer;
    Times ticks;
};

}  // namespace

TEST(VirtualEventLoop, FirstTickOneIntervalAfterEnabling) {
    VirtualEventLoop loop;
    Recorder r(loop, 100, false);
    loop.advance(50);
    EXPECT_TRUE(r.ticks.empty());
    r.timer.setEnabled(true);
    loop.advance(260);
    EXPECT_EQ(r.ticks, (Times{150, 250}));
    EXPECT_EQ(loop.now(), 310);
}

TEST(VirtualEventLoop, TimerCreatedEnabledStartsAtCreation) {
    VirtualEventLoop loop;
    loop.advance(30);
    Recorder r(loop, 200, true);
    EXPECT_TRUE(r.timer.Enabled());
    loop.advance(500);
    EXPECT_EQ(r.ticks, (Times{230, 430}));
}

TEST(VirtualEventLoop, DisabledTimerNeverTicks) {
    VirtualEventLoop loop;
    Recorder r(loop, 10, false);
    loop.advance(1000);
    EXPECT_TRUE(r.ticks.empty());
    EXPECT_EQ(loop.nextDue(), -1);
}

TEST(VirtualEventLoop, ReEnablingAnEnabledTimerDoesNotRestart) {
    VirtualEventLoop loop;
    Recorder r(loop, 100, true);
    loop.advance(70);
    r.timer.setEnabled(true);
    loop.advance(60);
    EXPECT_EQ(r.ticks, (Times{100}));
}

TEST(VirtualEventLoop, DisablingAndEnablingRestartsFromNow) {
    VirtualEventLoop loop;
    Recorder r(loop, 100, true);
    loop.advance(70);
    r.timer.setEnabled(false);
    r.timer.setEnabled(true);
    loop.advance(200);
    EXPECT_EQ(r.ticks, (Times{170, 270}));
}

TEST(VirtualEventLoop, DifferentIntervalRestartsCountdownFromNow) {
    VirtualEventLoop loop;
    Recorder r(loop, 100, true);
    loop.advance(70);
    r.timer.setInterval(50);
    loop.advance(130);
    EXPECT_EQ(r.ticks, (Times{120, 170}));
    EXPECT_EQ(r.timer.Interval(), 50);
}

TEST(VirtualEventLoop, SameIntervalKeepsTheSchedule) {
    VirtualEventLoop loop;
    Recorder r(loop, 100, true);
    loop.advance(70);
    r.timer.setInterval(100);
    loop.advance(130);
    EXPECT_EQ(r.ticks, (Times{100, 200}));
}

TEST(VirtualEventLoop, IntervalOfDisabledTimerTakesEffectWhenEnabled) {
    VirtualEventLoop loop;
    Recorder r(loop, 100, false);
    r.timer.setInterval(40);
    loop.advance(100);
    EXPECT_TRUE(r.ticks.empty());
    r.timer.setEnabled(true);
    loop.advance(80);
    EXPECT_EQ(r.ticks, (Times{140, 180}));
}

TEST(VirtualEventLoop, IntervalsBelowOneAreClamped) {
    VirtualEventLoop loop;
    Recorder r(loop, 0, true);
    EXPECT_EQ(r.timer.Interval(), 1);
    r.timer.setInterval(-20);
    EXPECT_EQ(r.timer.Interval(), 1);
    loop.advance(3);
    EXPECT_EQ(r.ticks, (Times{1, 2, 3}));
}

TEST(VirtualEventLoop, HandlerTimeDoesNotMakeTheTimerDrift) {
    VirtualEventLoop loop;
    Timer t(loop, 100, true);
    Times ticks;
    t.setHandler([&] {
        ticks.push_back(loop.now());
        loop.sleepMs(30);
    });
    loop.advance(350);
    EXPECT_EQ(ticks, (Times{100, 200, 300}));
}

TEST(VirtualEventLoop, TimerDueDuringBlockingSleepFiresOnceAfterwards) {
    VirtualEventLoop loop;
    Recorder fast(loop, 100, true);
    Timer sleeper(loop, 50, true);
    sleeper.setHandler([&] {
        sleeper.setEnabled(false);
        loop.sleepMs(1000);  // fast falls due ten times meanwhile
    });
    loop.advance(1250);
    // One late tick at 1050 when the sleep ends, then whole intervals from there.
    EXPECT_EQ(fast.ticks, (Times{1050, 1150, 1250}));
}

TEST(VirtualEventLoop, OwnTickDueDuringItsSleepFiresOnce) {
    VirtualEventLoop loop;
    Times ticks;
    Timer t(loop, 100, true);
    t.setHandler([&] {
        ticks.push_back(loop.now());
        if (ticks.size() == 1) loop.sleepMs(450);
    });
    loop.advance(700);
    EXPECT_EQ(ticks, (Times{100, 550, 650}));
}

TEST(VirtualEventLoop, SleepAdvancesTimeAndDispatchesNothing) {
    VirtualEventLoop loop;
    Recorder r(loop, 10, true);
    bool posted = false;
    loop.post([&] { posted = true; });
    loop.sleepMs(100);
    EXPECT_EQ(loop.now(), 100);
    EXPECT_TRUE(r.ticks.empty());
    EXPECT_FALSE(posted);
    loop.sleepMs(0);
    loop.sleepMs(-5);
    EXPECT_EQ(loop.now(), 100);
}

TEST(VirtualEventLoop, DoEventsDispatchesWhatIsDueWithoutAdvancingTime) {
    VirtualEventLoop loop;
    Recorder due(loop, 100, true);
    Recorder later(loop, 300, true);
    std::vector<std::string> events;
    loop.post([&] { events.push_back("now"); });
    loop.post([&] { events.push_back("later"); }, 500);
    loop.sleepMs(200);  // due is now overdue, later is not
    loop.doEvents();
    EXPECT_EQ(loop.now(), 200);
    EXPECT_EQ(due.ticks, (Times{200}));
    EXPECT_TRUE(later.ticks.empty());
    EXPECT_EQ(events, (std::vector<std::string>{"now"}));
}

TEST(VirtualEventLoop, DoEventsInsideAHandlerNeverReEntersIt) {
    VirtualEventLoop loop;
    Timer t(loop, 10, true);
    Recorder other(loop, 10, false);
    int depth = 0, maxDepth = 0, ticks = 0;
    t.setHandler([&] {
        ++ticks;
        maxDepth = std::max(maxDepth, ++depth);
        other.timer.setEnabled(true);
        for (int i = 0; i < 5; ++i) {
            loop.sleepMs(25);  // t falls due again each time
            loop.doEvents();
        }
        --depth;
    });
    loop.advance(10);
    EXPECT_EQ(ticks, 1);
    EXPECT_EQ(maxDepth, 1);
    // The other timer was dispatched from inside the handler, once per pass.
    EXPECT_EQ(other.ticks, (Times{35, 60, 85, 110, 135}));
    // After the handler, t fires once for all the ticks it missed.
    loop.advance(0);
    EXPECT_EQ(ticks, 2);
}

TEST(VirtualEventLoop, DoEventsIsOnePassOnly) {
    VirtualEventLoop loop;
    int runs = 0;
    std::function<void()> again = [&] {
        ++runs;
        loop.post(again);  // posts itself without delay
    };
    loop.post(again);
    loop.doEvents();
    EXPECT_EQ(runs, 1);
    loop.doEvents();
    EXPECT_EQ(runs, 2);
}

TEST(VirtualEventLoop, NestedHandlersMayEachLetEventsRun) {
    VirtualEventLoop loop;
    Timer a(loop, 10, true), b(loop, 10, true);
    std::vector<std::string> log;
    a.setHandler([&] {
        log.push_back("a{");
        loop.doEvents();  // b is due at the same instant and runs here
        log.push_back("}a");
    });
    b.setHandler([&] {
        log.push_back("b{");
        loop.doEvents();  // a is running: nothing to do
        log.push_back("}b");
    });
    loop.advance(10);
    EXPECT_EQ(log, (std::vector<std::string>{"a{", "b{", "}b", "}a"}));
}

TEST(VirtualEventLoop, SameInstantFiresInStartOrder) {
    VirtualEventLoop loop;
    std::vector<char> order;
    Timer b(loop, 100, false), a(loop, 100, false), c(loop, 50, false);
    a.setHandler([&] { order.push_back('a'); });
    b.setHandler([&] { order.push_back('b'); });
    c.setHandler([&] { order.push_back('c'); });
    a.setEnabled(true);  // started first although created second
    b.setEnabled(true);
    loop.advance(50);
    c.setEnabled(true);  // its countdown starts last, so at 100 it comes after a and b
    loop.advance(50);
    EXPECT_EQ(order, (std::vector<char>{'a', 'b', 'c'}));
}

TEST(VirtualEventLoop, RestartedTimerGoesBehindThoseAlreadyCounting) {
    VirtualEventLoop loop;
    std::vector<char> order;
    Timer a(loop, 100, true), b(loop, 100, true);
    a.setHandler([&] { order.push_back('a'); });
    b.setHandler([&] { order.push_back('b'); });
    a.setEnabled(false);
    a.setEnabled(true);  // a restarts at the same instant, after b
    loop.advance(100);
    EXPECT_EQ(order, (std::vector<char>{'b', 'a'}));
}

TEST(VirtualEventLoop, PostedEventsRunInTimeThenPostingOrder) {
    VirtualEventLoop loop;
    std::vector<int> order;
    loop.post([&] { order.push_back(3); }, 20);
    loop.post([&] { order.push_back(1); });
    loop.post([&] { order.push_back(4); }, 20);
    loop.post([&] { order.push_back(2); }, 5);
    loop.advance(19);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    loop.advance(1);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
}

TEST(VirtualEventLoop, PostedEventAndTimerAtSameInstantGoByStartOrder) {
    VirtualEventLoop loop;
    std::vector<std::string> order;
    loop.post([&] { order.push_back("early post"); }, 100);
    Timer t(loop, 100, true);
    t.setHandler([&] { order.push_back("timer"); });
    loop.post([&] { order.push_back("late post"); }, 100);
    loop.advance(100);
    EXPECT_EQ(order, (std::vector<std::string>{"early post", "timer", "late post"}));
}

TEST(VirtualEventLoop, HandlerMayHandOverToAnotherTimer) {
    VirtualEventLoop loop;
    Recorder second(loop, 30, false);
    Timer first(loop, 100, true);
    first.setHandler([&] {
        first.setEnabled(false);
        second.timer.setEnabled(true);
    });
    loop.advance(200);
    EXPECT_FALSE(first.Enabled());
    EXPECT_EQ(second.ticks, (Times{130, 160, 190}));
}

TEST(VirtualEventLoop, HandlerMayCreateTimers) {
    VirtualEventLoop loop;
    Timer first(loop, 10, true);
    std::vector<std::unique_ptr<Recorder>> made;
    first.setHandler([&] {
        // Enough new timers to make the loop's table grow while the handler runs.
        for (int i = 0; i < 40; ++i) made.push_back(std::make_unique<Recorder>(loop, 5, true));
        first.setEnabled(false);
    });
    loop.advance(15);
    ASSERT_EQ(made.size(), 40u);
    EXPECT_EQ(made.back()->ticks, (Times{15}));
    EXPECT_FALSE(first.Enabled());
}

TEST(VirtualEventLoop, AdvanceUntil) {
    VirtualEventLoop loop;
    Recorder r(loop, 100, true);
    EXPECT_TRUE(loop.advanceUntil([&] { return r.ticks.size() == 3; }, 10000));
    EXPECT_EQ(loop.now(), 300);  // stops right after the dispatch that made it true

    EXPECT_TRUE(loop.advanceUntil([] { return true; }, 500));
    EXPECT_EQ(loop.now(), 300);  // already true: no time passes

    EXPECT_FALSE(loop.advanceUntil([] { return false; }, 250));
    EXPECT_EQ(loop.now(), 550);
    EXPECT_EQ(r.ticks, (Times{100, 200, 300, 400, 500}));
}

TEST(VirtualEventLoop, AdvanceIncludesTheEndInstant) {
    VirtualEventLoop loop;
    Recorder r(loop, 100, true);
    loop.advance(100);
    EXPECT_EQ(r.ticks, (Times{100}));
    EXPECT_EQ(loop.nextDue(), 200);
    EXPECT_EQ(loop.ticksDispatched(), 1u);
}

TEST(VirtualEventLoop, StopEndsAdvanceAfterTheCurrentDispatch) {
    VirtualEventLoop loop;
    Recorder other(loop, 100, true);
    Timer ender(loop, 100, true);
    ender.setHandler([&] { loop.stop(); });
    loop.advance(1000);
    EXPECT_TRUE(loop.stopped());
    EXPECT_EQ(loop.now(), 100);
    EXPECT_EQ(other.ticks, (Times{100}));
    loop.advance(1000);
    loop.doEvents();
    EXPECT_EQ(loop.now(), 100);
    EXPECT_EQ(other.ticks, (Times{100}));
    EXPECT_FALSE(loop.advanceUntil([] { return false; }, 100));
}

TEST(VirtualEventLoop, AfterDispatchHookRunsAfterEveryDispatch) {
    VirtualEventLoop loop;
    int hooks = 0;
    loop.setAfterDispatch([&] { ++hooks; });
    Recorder r(loop, 100, true);
    loop.post([] {}, 50);
    loop.advance(200);
    EXPECT_EQ(hooks, 3);
}

TEST(VirtualEventLoop, AddedHooksRunInOrderBesideTheReplaceableOne) {
    VirtualEventLoop loop;
    std::string calls;
    loop.setAfterDispatch([&] { calls += 's'; });
    const auto a = loop.addAfterDispatch([&] { calls += 'a'; });
    loop.addAfterDispatch([&] { calls += 'b'; });
    loop.post([] {});
    loop.advance(0);
    EXPECT_EQ(calls, "sab");
    // Replacing the single hook leaves the added ones; removing one leaves the others.
    loop.setAfterDispatch({});
    loop.removeAfterDispatch(a);
    calls.clear();
    loop.post([] {});
    loop.advance(0);
    EXPECT_EQ(calls, "b");
}

TEST(VirtualEventLoop, HookThatRemovesItselfOrAddsAnotherDuringACall) {
    VirtualEventLoop loop;
    std::string calls;
    ostrel::runtime::HookId once = 0;
    once = loop.addAfterDispatch([&] {
        calls += 'o';
        loop.removeAfterDispatch(once);
        loop.addAfterDispatch([&] { calls += 'n'; });
    });
    loop.addAfterDispatch([&] { calls += 'k'; });
    loop.post([] {});
    loop.advance(0);
    EXPECT_EQ(calls, "ok");  // the new hook waits for the next dispatch
    calls.clear();
    loop.post([] {});
    loop.advance(0);
    EXPECT_EQ(calls, "kn");
}

TEST(VirtualEventLoop, NextTickIsTheEarliestEnabledTimerNotRunning) {
    VirtualEventLoop loop;
    EXPECT_EQ(loop.nextTickMs(), -1);
    Recorder slow(loop, 10, true);
    loop.advance(3);
    Recorder fast(loop, 4, true);
    EXPECT_EQ(loop.nextTickMs(), 7);
    loop.post([] {}, 1);  // a posted event is no tick
    EXPECT_EQ(loop.nextTickMs(), 7);
    double seenInside = 0;
    fast.timer.setHandler([&] { seenInside = loop.nextTickMs(); });
    loop.advance(4);
    EXPECT_EQ(seenInside, 10);  // its own next tick is not counted while it runs
    EXPECT_EQ(loop.nextTickMs(), 10);
    slow.timer.setEnabled(false);
    fast.timer.setEnabled(false);
    EXPECT_EQ(loop.nextTickMs(), -1);
}
