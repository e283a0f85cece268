// The step-timing self-test in virtual time: the error statistics, the verdict limits, and the
// probe's step loop measured with a clock that lags by a scripted amount.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "runtime/StepTimingProbe.h"
#include "runtime/VirtualEventLoop.h"

using namespace ostrel::runtime;

namespace {

TimingErrorStats statsOf(const std::vector<double>& errors) {
    TimingErrorStats s;
    for (const double e : errors) s.add(e);
    return s;
}

// `n` errors of `typical` ms with `late` of them at `lateMs`.
TimingErrorStats spread(size_t n, double typical, size_t late, double lateMs) {
    TimingErrorStats s;
    for (size_t i = 0; i < n; ++i) s.add(i < late ? lateMs : typical);
    return s;
}

TEST(TimingErrorStats, PercentilesByNearestRankToTheMicrosecond) {
    TimingErrorStats empty;
    EXPECT_EQ(empty.percentile(0.99), 0);
    EXPECT_EQ(empty.maxMs(), 0);

    std::vector<double> errors;
    for (int i = 1; i <= 200; ++i) errors.push_back(i * 0.001);  // 1 .. 200 µs
    const TimingErrorStats s = statsOf(errors);
    EXPECT_EQ(s.count(), 200u);
    EXPECT_DOUBLE_EQ(s.percentile(0.5), 0.100);
    EXPECT_DOUBLE_EQ(s.percentile(0.99), 0.198);
    EXPECT_DOUBLE_EQ(s.percentile(1.0), 0.200);
    EXPECT_DOUBLE_EQ(s.maxMs(), 0.200);

    // A fraction of a microsecond rounds up, but never beyond the largest error.
    const TimingErrorStats fine = statsOf({0.0004, 0.0004});
    EXPECT_DOUBLE_EQ(fine.percentile(0.5), 0.0004);
    // Beyond the bins (50 ms) the largest error stands for the tail.
    const TimingErrorStats stall = spread(100, 0.01, 2, 80.0);
    EXPECT_DOUBLE_EQ(stall.percentile(0.99), 80.0);
    EXPECT_DOUBLE_EQ(stall.percentile(0.5), 0.01);
    // A negative error (a clock that went back) counts as none.
    EXPECT_EQ(statsOf({-1.0}).maxMs(), 0);
}

TEST(TimingErrorStats, BandsTakeTheirUpperEdge) {
    const TimingErrorStats s = statsOf({0, 0.01, 0.011, 0.1, 0.5, 0.51, 4.9, 5.0, 5.01, 300});
    const auto& b = s.bands();
    EXPECT_EQ(b[0], 2u);  // 0 and 0.01
    EXPECT_EQ(b[1], 1u);  // 0.011
    EXPECT_EQ(b[3], 1u);  // 0.1
    EXPECT_EQ(b[5], 1u);  // 0.5
    EXPECT_EQ(b[6], 1u);  // 0.51
    EXPECT_EQ(b[8], 2u);  // 4.9, 5.0
    EXPECT_EQ(b[9], 2u);  // beyond 5 ms
}

TEST(Verdict, StepLimitsScaleWithThePeriod) {
    struct Case {
        double periodMs;
        double typical;
        size_t late;  // of 1000
        double lateMs;
        Rating expected;
    };
    const Case cases[] = {
        {5, 0.05, 0, 0, Rating::Good},         // p99 0.05 <= 0.1
        {5, 0.10, 5, 0.5, Rating::Good},       // on both limits
        {5, 0.11, 0, 0, Rating::Marginal},     // p99 over 2 %
        {5, 0.05, 5, 0.51, Rating::Marginal},  // max over 10 %
        {5, 0.05, 5, 2.5, Rating::Marginal},   // max on 50 %
        {5, 0.05, 5, 2.6, Rating::Unsuitable}, {5, 0.6, 0, 0, Rating::Unsuitable},  // p99 over 10 %
        {50, 1.0, 5, 5.0, Rating::Good},    // a slow step forgives more
        {1, 0.03, 0, 0, Rating::Marginal},  // a fast one less
    };
    for (const Case& c : cases) {
        const Verdict v = judgeSteps(spread(1000, c.typical, c.late, c.lateMs), c.periodMs, "");
        EXPECT_EQ(v.rating, c.expected) << c.periodMs << " ms, typical " << c.typical << ", "
                                        << c.late << " at " << c.lateMs << ": " << v.reason;
    }
}

TEST(Verdict, DwellLimitsAreAbsoluteAndTheShortestDwellBoundsTheWorst) {
    struct Case {
        double dwellMs;
        double typical;
        double lateMs;  // 5 of 1000
        Rating expected;
    };
    const Case cases[] = {
        {13, 0.1, 0.5, Rating::Good},         {13, 0.1, 0.51, Rating::Marginal},
        {13, 0.5, 1.3, Rating::Marginal},     {13, 0.5, 1.31, Rating::Unsuitable},
        {13, 0.51, 0.51, Rating::Unsuitable}, {100, 0.3, 9.0, Rating::Marginal},
    };
    for (const Case& c : cases) {
        const Verdict v = judgeDwell(spread(1000, c.typical, 5, c.lateMs), c.dwellMs, "");
        EXPECT_EQ(v.rating, c.expected)
            << c.dwellMs << " ms dwell, " << c.typical << " / " << c.lateMs << ": " << v.reason;
    }
}

TEST(Verdict, ReasonsNameTheFigureTheLimitAndThePriority) {
    const std::string note = priorityNote(TimingClass::Normal, true);
    EXPECT_EQ(note, "real-time priority not allowed: see README");
    EXPECT_EQ(priorityNote(TimingClass::RealTime, true), "");
    EXPECT_EQ(priorityNote(TimingClass::RealTime, false),
              "normal priority asked for (--normal-priority)");
    EXPECT_NE(priorityNote(TimingClass::Nice, true).find("see README"), std::string::npos);

    const Verdict bad = judgeSteps(spread(1000, 0.05, 20, 3.0), 5, note);
    EXPECT_EQ(bad.rating, Rating::Unsuitable);
    EXPECT_EQ(bad.reason,
              "1 in 100 steps off by more than 3.00 ms (limit 0.50 ms), the worst off by 3.00 ms "
              "(limit 2.50 ms); real-time priority not allowed: see README");
    const Verdict fine = judgeDwell(spread(1000, 0.02, 0, 0), 13, "");
    EXPECT_EQ(fine.reason, "p99 0.02 ms (limit 0.10 ms), max 0.02 ms (limit 0.50 ms)");
    EXPECT_EQ(ratingText(fine.rating), "good");

    const Verdict shortTest = judgeDwell(spread(99, 0, 0, 0), 13, "");
    EXPECT_EQ(shortTest.rating, Rating::Marginal);
    EXPECT_NE(shortTest.reason.find("too short"), std::string::npos);
}

// The probe on the virtual loop; the clock it measures with lags each tick by lag(n) ms.
struct LaggingProbe {
    VirtualEventLoop loop;
    std::function<double(int)> lag = [](int) { return 0.0; };
    int reads = 0;
    StepTimingProbe probe;
    explicit LaggingProbe(StepTimingSettings settings)
        : probe(loop, settings, [this] { return loop.nowMs() + lag(reads++); }) {}
};

TEST(StepTimingProbe, RunsStepsAndDotsForItsTimeAndStops) {
    StepTimingSettings s;
    s.periodMs = 5;
    s.dwellMs = 13;
    s.seconds = 2;
    s.stepsPerDot = 4;
    LaggingProbe p(s);
    int finished = 0;
    p.probe.setOnFinished([&] { ++finished; });
    p.probe.start();
    EXPECT_TRUE(p.probe.running());
    p.loop.advance(5000);
    EXPECT_FALSE(p.probe.running());
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(p.loop.nextDue(), -1) << "no timer left running";
    // A cycle: 4 steps of 5 ms and a pulse of 2 x 13 ms = 46 ms and 6 ticks. 2000 ms hold 43
    // whole cycles (1978 ms) and the 4 steps of the next; the first tick at or past the end
    // (the pulse's first, at 2011 ms) is the last one measured.
    EXPECT_EQ(p.probe.onTimes().count(), 43u);
    EXPECT_EQ(p.probe.periods().count(), 43u * 6 + 5);
    EXPECT_EQ(p.probe.periods().maxMs(), 0);
    EXPECT_EQ(p.probe.onTimes().maxMs(), 0);
    EXPECT_DOUBLE_EQ(p.probe.elapsedMs(), 2011);
}

TEST(StepTimingProbe, LateTicksShowInPeriodsAndOnTimes) {
    StepTimingSettings s;
    s.seconds = 10;
    LaggingProbe p(s);
    // Clock read 0 is the start; read n the n-th tick. Every 7th tick is 0.3 ms late, which
    // makes its interval 0.3 ms long and the next one 0.3 ms short.
    p.lag = [](int n) { return n > 0 && n % 7 == 0 ? 0.3 : 0.0; };
    p.probe.start();
    p.loop.advance(11000);
    const TimingErrorStats& periods = p.probe.periods();
    ASSERT_GT(periods.count(), 1000u);
    EXPECT_NEAR(periods.maxMs(), 0.3, 1e-9);
    EXPECT_DOUBLE_EQ(periods.percentile(0.5), 0);
    EXPECT_DOUBLE_EQ(periods.percentile(0.99), 0.3);
    // Of the six ticks of a cycle the fifth and sixth make the pulse; a late fifth lengthens
    // nothing but shortens the on-time, a late sixth lengthens it: two in seven pulses off.
    const TimingErrorStats& on = p.probe.onTimes();
    EXPECT_NEAR(on.maxMs(), 0.3, 1e-9);
    const double offShare = 1.0 - static_cast<double>(on.bands()[0]) / on.count();
    EXPECT_NEAR(offShare, 2.0 / 7, 0.02);
    EXPECT_EQ(judgeSteps(periods, 5, "").rating, Rating::Marginal);
}

TEST(StepTimingProbe, StopKeepsTheFiguresAndEndsTheTimers) {
    LaggingProbe p(StepTimingSettings{});
    bool finished = false;
    p.probe.setOnFinished([&] { finished = true; });
    p.probe.start();
    p.loop.advance(100);
    p.probe.stop();
    const size_t ticks = p.probe.periods().count();
    EXPECT_GT(ticks, 0u);
    p.loop.advance(1000);
    EXPECT_EQ(p.probe.periods().count(), ticks);
    EXPECT_FALSE(finished) << "a stop is not the end of the test";
    EXPECT_EQ(p.loop.nextDue(), -1);
}

}  // namespace
