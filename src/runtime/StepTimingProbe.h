// The step-timing self-test: a step loop with dot pulses that writes no port, the spread of its
// timing errors, and a plain verdict on whether this PC can time the steps and the dwells.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "runtime/EventLoop.h"
#include "runtime/TimingPriority.h"

namespace ostrel::runtime {

// Timing errors (|real interval - nominal interval|, ms), kept as a histogram of 1 µs bins:
// fixed memory for any length of test, percentiles to the microsecond.
class TimingErrorStats {
  public:
    // Upper edges (ms) of the bands the histogram is shown in; the last band is open.
    static constexpr std::array<double, 10> kBandUpperMs{
        0.01, 0.02, 0.05, 0.1, 0.2, 0.5, 1, 2, 5, std::numeric_limits<double>::infinity()};

    void add(double errorMs);
    size_t count() const { return count_; }
    // Nearest rank: the smallest error with at least `fraction` of the errors at or below it,
    // rounded up to the microsecond (never above the largest). 0 when there is none.
    double percentile(double fraction) const;
    double maxMs() const { return max_; }
    // How many errors fall into each band of kBandUpperMs.
    const std::array<size_t, kBandUpperMs.size()>& bands() const { return bands_; }

  private:
    static constexpr size_t kBins = 50'000;  // 1 µs each: errors up to 50 ms; longer ones over
    std::vector<uint32_t> bins_ = std::vector<uint32_t>(kBins, 0);
    size_t over_ = 0;
    size_t count_ = 0;
    double max_ = 0;
    std::array<size_t, kBandUpperMs.size()> bands_{};
};

enum class Rating { Good, Marginal, Unsuitable };

struct Verdict {
    Rating rating = Rating::Good;
    std::string reason;  // the figure against its limit, and what held the timing back
};

// "good", "marginal", "unsuitable".
std::string ratingText(Rating rating);

// The limits of the verdicts (docs/performance.md and the manual page give them too).
// Steps at a period P: good while p99 <= 2 % of P and max <= 10 % of P; marginal while
// p99 <= 10 % and max <= 50 % (a step then never comes within half a period of the next);
// beyond that, unsuitable.
// Dwells: good while p99 <= 0.1 ms and max <= 0.5 ms (neighbouring grey levels' dwells lie 1 ms
// apart, so no dot gets another level's dwell); marginal while p99 <= 0.5 ms and max <= 10 % of
// the shortest dwell; beyond that, unsuitable.
// Fewer than kFewestTicks intervals give no judgement: marginal, "too short".
inline constexpr double kStepGoodP99 = 0.02, kStepGoodMax = 0.10;
inline constexpr double kStepMarginalP99 = 0.10, kStepMarginalMax = 0.50;
inline constexpr double kDwellGoodP99Ms = 0.1, kDwellGoodMaxMs = 0.5;
inline constexpr double kDwellMarginalP99Ms = 0.5, kDwellMarginalMaxShare = 0.10;
inline constexpr size_t kFewestTicks = 100;

// What the step timing ran at, for the reason of a verdict; empty when it was real-time.
std::string priorityNote(TimingClass ran, bool raisingAllowed);

// What the calling thread runs at now: real-time, a nice value below 0, or normal.
TimingClass threadTimingClass();

Verdict judgeSteps(const TimingErrorStats& periods, double periodMs, const std::string& note);
Verdict judgeDwell(const TimingErrorStats& onTimes, double dwellMs, const std::string& note);

struct StepTimingSettings {
    int periodMs = 5;     // the step period
    int dwellMs = 13;     // the dot pulse's on-time
    double seconds = 10;  // how long the test runs
    int stepsPerDot = 4;  // step ticks between two dot pulses
};

// The step loop of a picture run without the port: `stepsPerDot` step ticks at the step period,
// then a dot pulse (one dwell with the laser off, one with it on, as the run's pulse timer
// does), and again, until `seconds` have passed. Every tick interval goes into periods(), the
// on-time of every pulse into onTimes().
class StepTimingProbe {
  public:
    using Clock = std::function<double()>;
    // `clock` measures the ticks (default: the loop's own clock); tests give one that lags.
    StepTimingProbe(EventLoop& loop, StepTimingSettings settings, Clock clock = {});
    ~StepTimingProbe();
    StepTimingProbe(const StepTimingProbe&) = delete;
    StepTimingProbe& operator=(const StepTimingProbe&) = delete;

    void start();
    // Stops the timers; the figures so far stay.
    void stop();
    bool running() const { return running_; }
    // Called once when the time is up (not after stop()).
    void setOnFinished(std::function<void()> done) { onFinished_ = std::move(done); }

    const StepTimingSettings& settings() const { return settings_; }
    double elapsedMs() const;
    const TimingErrorStats& periods() const { return periods_; }
    const TimingErrorStats& onTimes() const { return onTimes_; }

  private:
    // Records a tick due `nominalMs` after the previous one; false once the time is up.
    bool tick(double nominalMs);
    void finish();

    EventLoop& loop_;
    StepTimingSettings settings_;
    Clock clock_;
    std::unique_ptr<Timer> step_;
    std::unique_ptr<Timer> dot_;
    bool running_ = false;
    double startMs_ = 0;
    double lastMs_ = -1;  // the previous tick
    double stopMs_ = -1;  // when it stopped, -1 while running
    int stepsLeft_ = 0;
    bool laserOn_ = false;
    double onAtMs_ = 0;
    TimingErrorStats periods_;
    TimingErrorStats onTimes_;
    std::function<void()> onFinished_;
};

}  // namespace ostrel::runtime
