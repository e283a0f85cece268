// Virtual-time speed: a full-size Precise-Burning job through the scenario runner, in process,
// with the clock that times its `until-idle`.
#include <chrono>
#include <cstdio>
#include <ostream>
#include <sstream>

#include "Bench.h"
#include "Process.h"
#include "app/Script.h"
#include "runtime/VirtualEventLoop.h"
#include "simulation/JobSimulation.h"

namespace ostrel::bench {

namespace {

// Homes both axes, loads the sample into the full 127 x 103 raster in Precise-Burning mode and
// runs the picture job to its end at 10 ms.
constexpr const char* kFullJobScenario = R"(start
click Command3
until-idle 60000
click Command5
until-idle 60000
set Check1 0
dialog sample.png
click Command2(0)
click Option1
click Command2(1)
until-idle
)";

// The virtual clock of the scenario runner, timing each `until-idle` in wall time.
class TimedClock final : public app::ScenarioClock {
  public:
    runtime::EventLoop& loop() override { return loop_; }
    void wait(int64_t ms) override { loop_.advance(ms); }
    bool waitUntil(const std::function<bool()>& idle, int64_t maxMs) override {
        const uint64_t ticks = loop_.ticksDispatched();
        const int64_t virtualStart = loop_.now();
        const auto start = std::chrono::steady_clock::now();
        const bool done = loop_.advanceUntil(idle, maxMs);
        lastWallMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        lastTicks = loop_.ticksDispatched() - ticks;
        lastVirtualMs = static_cast<double>(loop_.now() - virtualStart);
        return done;
    }
    void stop() override { loop_.stop(); }
    std::string timeText() override { return std::to_string(loop_.now()); }

    double lastWallMs = 0, lastVirtualMs = 0;
    uint64_t lastTicks = 0;

  private:
    runtime::VirtualEventLoop loop_;
};

std::string hms(double ms) {
    const long s = static_cast<long>(ms / 1000);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    return text;
}

}  // namespace

void measureVirtualSpeed(const Context& c, std::vector<Figure>& figures) {
    Figure speedUp = makeFigure("virtual.speed_up", "full-size precise job: virtual / wall time",
                                "x", Goal::AtLeast, 20000, 0);
    Figure rate = makeFigure("virtual.ticks_per_s", "full-size precise job: ticks per wall second",
                             "", Goal::None, 0, 0);
    // The Machine window's job-time preview runs this same job in virtual time.
    Figure wall =
        makeFigure("virtual.wall_ms", "full-size precise job (the job-time preview): wall time",
                   "ms", Goal::AtMost, 100, 1);
    writeFile(c.workDir + "/sample.png", readFile(c.samplePicture));
    const app::ParseResult parsed = app::parseScenario(kFullJobScenario);
    if (!parsed.ok()) {
        speedUp.note = "the scenario does not parse";
        figures.insert(figures.end(), {speedUp, rate, wall});
        return;
    }
    app::ScriptOptions options;
    options.folder = c.workDir;
    options.baseDir = c.workDir;
    options.journal = false;  // as the preview computes it
    *c.log << "virtual: full-size precise job\n";
    for (int r = 0; r < c.repeats; ++r) {
        TimedClock clock;
        std::ostringstream out;
        const int code = app::runScenario(parsed.scenario, options, clock, out, out);
        if (code != app::kScriptPassed || clock.lastWallMs <= 0) {
            speedUp.note = "the job failed: " + out.str();
            continue;
        }
        speedUp.samples.push_back(clock.lastVirtualMs / clock.lastWallMs);
        rate.samples.push_back(static_cast<double>(clock.lastTicks) * 1000.0 / clock.lastWallMs);
        wall.samples.push_back(clock.lastWallMs);
        *c.log << "  run " << r + 1 << ": job of " << hms(clock.lastVirtualMs) << " ("
               << clock.lastVirtualMs << " ms virtual, " << clock.lastTicks << " ticks) in "
               << clock.lastWallMs << " ms\n";
    }
    figures.insert(figures.end(), {speedUp, rate, wall});

    // The same job through `ostrel simulate`'s engine, homing and Load included.
    Figure simulate =
        makeFigure("virtual.simulate_speed_up", "the same through simulateJob: virtual / wall", "x",
                   Goal::None, 0, 0);
    simulation::JobSpec spec;
    spec.picturePath = c.workDir + "/sample.png";
    spec.coarse = false;
    spec.programFolder = c.workDir;
    for (int r = 0; r < c.repeats; ++r) {
        const auto start = std::chrono::steady_clock::now();
        const simulation::JobSummary summary = simulation::simulateJob(spec);
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        if (summary.outcome != simulation::JobOutcome::Finished || ms <= 0) {
            simulate.note = "the job failed: " + summary.error;
            continue;
        }
        simulate.samples.push_back(static_cast<double>(summary.jobMs) / ms);
        *c.log << "  simulateJob run " << r + 1 << ": job of " << hms(summary.jobMs) << " in " << ms
               << " ms\n";
    }
    figures.push_back(simulate);
}

}  // namespace ostrel::bench
