// The step-timing self-test: the step loop without the port, its error statistics and verdicts.
#include "runtime/StepTimingProbe.h"

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>

namespace ostrel::runtime {

namespace {

std::string ms(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f ms", value);
    return text;
}

// The rating from a p99 and a max against the two pairs of limits, with the figure that
// decided it.
Verdict judge(const TimingErrorStats& s, double goodP99, double goodMax, double marginalP99,
              double marginalMax, const char* what, const std::string& note) {
    Verdict v;
    const auto withNote = [&note](std::string reason) {
        return note.empty() ? reason : reason + "; " + note;
    };
    if (s.count() < kFewestTicks) {
        v.rating = Rating::Marginal;
        v.reason = withNote("too short a test to judge (" + std::to_string(s.count()) + " " + what +
                            ", at least " + std::to_string(kFewestTicks) + " needed)");
        return v;
    }
    const double p99 = s.percentile(0.99), max = s.maxMs();
    if (p99 <= goodP99 && max <= goodMax) {
        v.rating = Rating::Good;
        v.reason = withNote("p99 " + ms(p99) + " (limit " + ms(goodP99) + "), max " + ms(max) +
                            " (limit " + ms(goodMax) + ")");
        return v;
    }
    v.rating = p99 <= marginalP99 && max <= marginalMax ? Rating::Marginal : Rating::Unsuitable;
    const double p99Limit = v.rating == Rating::Marginal ? goodP99 : marginalP99;
    const double maxLimit = v.rating == Rating::Marginal ? goodMax : marginalMax;
    std::string reason;
    if (p99 > p99Limit)
        reason = "1 in 100 " + std::string(what) + " off by more than " + ms(p99) + " (limit " +
                 ms(p99Limit) + ")";
    if (max > maxLimit) {
        reason += (reason.empty() ? "" : ", ") + std::string("the worst off by ") + ms(max) +
                  " (limit " + ms(maxLimit) + ")";
    }
    v.reason = withNote(reason);
    return v;
}

}  // namespace

// --- TimingErrorStats ---

void TimingErrorStats::add(double errorMs) {
    errorMs = std::max(0.0, errorMs);
    ++count_;
    max_ = std::max(max_, errorMs);
    // Bin k holds the errors above k - 1 µs up to k µs; bin 0 holds exactly 0.
    const double us = std::ceil(errorMs * 1000.0 - 1e-9);
    if (us < static_cast<double>(kBins)) {
        ++bins_[static_cast<size_t>(std::max(0.0, us))];
    } else {
        ++over_;
    }
    size_t band = 0;
    while (errorMs > kBandUpperMs[band]) ++band;
    ++bands_[band];
}

double TimingErrorStats::percentile(double fraction) const {
    if (count_ == 0) return 0;
    const double rank = std::ceil(std::clamp(fraction, 0.0, 1.0) * static_cast<double>(count_));
    const size_t wanted = std::max<size_t>(1, static_cast<size_t>(rank));
    size_t seen = 0;
    for (size_t k = 0; k < kBins; ++k) {
        seen += bins_[k];
        if (seen >= wanted) return std::min(max_, static_cast<double>(k) / 1000.0);
    }
    return max_;  // in the errors beyond the bins
}

// --- Verdicts ---

std::string ratingText(Rating rating) {
    switch (rating) {
        case Rating::Good:
            return "good";
        case Rating::Marginal:
            return "marginal";
        case Rating::Unsuitable:
            return "unsuitable";
    }
    return "unsuitable";
}

std::string priorityNote(TimingClass ran, bool raisingAllowed) {
    if (!raisingAllowed) return "normal priority asked for (--normal-priority)";
    switch (ran) {
        case TimingClass::RealTime:
            return {};
        case TimingClass::Nice:
            return "real-time priority not allowed, a lower nice value instead: see README";
        case TimingClass::Normal:
            break;
    }
    return "real-time priority not allowed: see README";
}

TimingClass threadTimingClass() {
    const int policy = sched_getscheduler(0) & ~SCHED_RESET_ON_FORK;
    if (policy == SCHED_FIFO || policy == SCHED_RR) return TimingClass::RealTime;
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    return errno == 0 && nice < 0 ? TimingClass::Nice : TimingClass::Normal;
}

Verdict judgeSteps(const TimingErrorStats& periods, double periodMs, const std::string& note) {
    return judge(periods, kStepGoodP99 * periodMs, kStepGoodMax * periodMs,
                 kStepMarginalP99 * periodMs, kStepMarginalMax * periodMs, "steps", note);
}

Verdict judgeDwell(const TimingErrorStats& onTimes, double dwellMs, const std::string& note) {
    return judge(onTimes, kDwellGoodP99Ms, kDwellGoodMaxMs, kDwellMarginalP99Ms,
                 kDwellMarginalMaxShare * dwellMs, "dots", note);
}

// --- StepTimingProbe ---

StepTimingProbe::StepTimingProbe(EventLoop& loop, StepTimingSettings settings, Clock clock)
    : loop_(loop), settings_(settings), clock_(std::move(clock)) {
    if (!clock_) clock_ = [this] { return loop_.nowMs(); };
    settings_.periodMs = std::max(1, settings_.periodMs);
    settings_.dwellMs = std::max(1, settings_.dwellMs);
    settings_.stepsPerDot = std::max(1, settings_.stepsPerDot);
    step_ = std::make_unique<Timer>(loop_, settings_.periodMs, false);
    dot_ = std::make_unique<Timer>(loop_, settings_.dwellMs, false);
    // As in the picture run: the sweep hands over to the pulse timer and back, each disabling
    // itself before it enables the other.
    step_->setHandler([this] {
        if (!tick(settings_.periodMs)) return;
        if (--stepsLeft_ > 0) return;
        step_->setEnabled(false);
        dot_->setEnabled(true);
    });
    dot_->setHandler([this] {
        if (!tick(settings_.dwellMs)) return;
        if (!laserOn_) {
            laserOn_ = true;
            onAtMs_ = lastMs_;
            return;
        }
        laserOn_ = false;
        onTimes_.add(std::abs(lastMs_ - onAtMs_ - settings_.dwellMs));
        dot_->setEnabled(false);
        stepsLeft_ = settings_.stepsPerDot;
        step_->setEnabled(true);
    });
}

StepTimingProbe::~StepTimingProbe() {
    stop();
    // NOTE: the loop keeps its timers; the disabled ones must not call into a probe gone.
    step_->setHandler({});
    dot_->setHandler({});
}

void StepTimingProbe::start() {
    if (running_) return;
    running_ = true;
    startMs_ = clock_();
    lastMs_ = startMs_;
    stopMs_ = -1;
    stepsLeft_ = settings_.stepsPerDot;
    laserOn_ = false;
    step_->setEnabled(true);
}

void StepTimingProbe::stop() {
    if (!running_) return;
    running_ = false;
    stopMs_ = clock_();
    step_->setEnabled(false);
    dot_->setEnabled(false);
}

double StepTimingProbe::elapsedMs() const {
    if (!running_ && stopMs_ < 0) return 0;
    return (running_ ? clock_() : stopMs_) - startMs_;
}

bool StepTimingProbe::tick(double nominalMs) {
    const double now = clock_();
    periods_.add(std::abs(now - lastMs_ - nominalMs));
    lastMs_ = now;
    if (now - startMs_ < settings_.seconds * 1000.0) return true;
    finish();
    return false;
}

void StepTimingProbe::finish() {
    stop();
    if (onFinished_) onFinished_();
}

}  // namespace ostrel::runtime
