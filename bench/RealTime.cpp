// Real-time fidelity: `ostrel script --realtime` traces compared row by row with the same
// scenario's virtual-time trace, and the CPU a job costs with the window drawn.
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <sstream>

#include "Bench.h"
#include "Process.h"
#include "runtime/QtEventLoop.h"
#include "runtime/TimingPriority.h"

namespace ostrel::bench {

namespace {

// A 2-second X jog at 5 ms in manual mode. The first wait leaves time for the window to come up;
// the run is compared from the press on.
constexpr const char* kJogScenario = R"(# X jog at 5 ms for 2 seconds
head 20 20
start
set Combo1 5
click Command2(6)
wait 500
mousedown Command1(3)
wait 2000
mouseup Command1(3)
wait 20
)";
constexpr double kJogFromMs = 500;

// A 20 x 20 Precise-Burning run at 5 ms, homed first, for a minute and more from Run (the
// job would take 89 s): some 300 dots with dwells of 13-100 ms between the sweeps' steps.
// %WAIT% is the run's length in ms.
constexpr const char* kDotScenario = R"(# 20 x 20 precise picture run at 5 ms
start
set Combo1 5
click Command3
until-idle 60000
click Command5
until-idle 60000
set Check1 0
set HScroll1 330
set VScroll1 330
dialog sample.png
click Command2(0)
click Option1
wait 500
click Command2(1)
wait %WAIT%
click Command2(5)
)";

// A full-size Precise-Burning run at 10 ms, aborted after 8 s; the CPU is sampled in between.
constexpr const char* kBusyScenario = R"(# full-size picture run at 10 ms, CPU sampled
start
set Combo1 10
click Command3
until-idle 60000
click Command5
until-idle 60000
set Check1 0
dialog sample.png
click Command2(0)
click Option1
wait 1500
click Command2(1)
wait 6500
click Command2(5)
)";

struct Row {
    double t = 0;
    std::string access;  // op,port,value
};

std::vector<Row> readTrace(const std::string& path) {
    std::vector<Row> rows;
    std::istringstream in(readFile(path));
    std::string line;
    std::getline(in, line);  // the header
    while (std::getline(in, line)) {
        const size_t comma = line.find(',');
        if (comma == std::string::npos) continue;
        rows.push_back({std::atof(line.substr(0, comma).c_str()), line.substr(comma + 1)});
    }
    return rows;
}

struct Fidelity {
    std::vector<double> errors;  // |real period - virtual period| per tick, ms
    double ratio = NAN;          // real span / virtual span
    size_t compared = 0;
    bool sameAccesses = true;  // the same port accesses in the same order
};

// Rows from `fromMs` (virtual) on, paired by position: both runs make the same accesses in the
// same order, so row i of one is row i of the other. Rows of one tick share a virtual time;
// each change of virtual time is one tick, whose period is compared.
Fidelity compare(const std::vector<Row>& real, const std::vector<Row>& virt, double fromMs) {
    Fidelity f;
    size_t first = 0;
    while (first < virt.size() && virt[first].t < fromMs) ++first;
    const size_t n = std::min(real.size(), virt.size());
    size_t last = first;
    for (size_t i = first; i < n; ++i) {
        if (real[i].access != virt[i].access) {
            f.sameAccesses = false;
            break;
        }
        last = i;
        if (i > first) {
            const double dv = virt[i].t - virt[i - 1].t;
            if (dv > 0) f.errors.push_back(std::abs((real[i].t - real[i - 1].t) - dv));
        }
    }
    f.compared = last >= first ? last - first + 1 : 0;
    const double virtualSpan = virt[last].t - virt[first].t;
    if (f.compared > 1 && virtualSpan > 0) f.ratio = (real[last].t - real[first].t) / virtualSpan;
    return f;
}

// Each dot's laser-on time (a write of 203 to 890, then of 202) in the real run against the
// same dot's in the virtual run, which is its dwell exactly; rows paired by position as above.
std::vector<double> onTimeErrors(const std::vector<Row>& real, const std::vector<Row>& virt,
                                 double fromMs) {
    std::vector<double> errors;
    const size_t n = std::min(real.size(), virt.size());
    for (size_t i = 0; i + 1 < n; ++i) {
        if (real[i].access != virt[i].access || real[i + 1].access != virt[i + 1].access) break;
        if (virt[i].t < fromMs) continue;
        if (virt[i].access.find(",890,203") == std::string::npos ||
            virt[i + 1].access.find(",890,202") == std::string::npos) {
            continue;
        }
        errors.push_back(std::abs((real[i + 1].t - real[i].t) - (virt[i + 1].t - virt[i].t)));
    }
    return errors;
}

struct FidelityFigures {
    Figure p50, p99, max, ratio, preemptions;
};

FidelityFigures makeFigures(const std::string& key, const std::string& what) {
    FidelityFigures f;
    f.p50 =
        makeFigure(key + ".period_error_p50", what + ": period error p50", "ms", Goal::None, 0, 3);
    f.p99 = makeFigure(key + ".period_error_p99", what + ": period error p99", "ms", Goal::AtMost,
                       0.3, 3);
    f.max =
        makeFigure(key + ".period_error_max", what + ": period error max", "ms", Goal::None, 0, 3);
    f.ratio = makeFigure(key + ".wall_over_virtual", what + ": wall / virtual time", "",
                         Goal::AtMost, 1.005, 4);
    f.preemptions = makeFigure(key + ".preemptions_per_s", what + ": preempted by other processes",
                               "per s", Goal::None, 0, 1);
    return f;
}

std::vector<std::string> offscreen() {
    return {"QT_QPA_PLATFORM=offscreen"};
}

// What `ostrel script --verbose` says the step timing ran at.
std::string stepTimingSaid(const std::string& errPath) {
    const std::string said = readFile(errPath);
    const std::string tag = "step timing: ";
    const size_t at = said.rfind(tag);
    if (at == std::string::npos) return {};
    const size_t end = said.find('\n', at);
    return said.substr(at + tag.size(), end == std::string::npos ? end : end - at - tag.size());
}

// `normalPriority`: the run keeps normal scheduling priority; the figures then show what the
// machine's other processes cost the step timing, with no goal.
void measureFidelity(const Context& c, const std::string& key, const std::string& what,
                     const char* scenario, double fromMs, bool normalPriority,
                     std::vector<Figure>& figures) {
    const std::string script = c.workDir + "/" + key + ".scn";
    writeFile(script, scenario);
    FidelityFigures out = makeFigures(key, what);
    if (normalPriority) {
        for (Figure* fig : {&out.p99, &out.ratio}) fig->goal = Goal::None;
    }

    const std::string virtualTrace = c.workDir + "/" + key + "-virtual.csv";
    const ChildEnd v =
        runChild({{c.ostrel, "script", script, "--folder", c.workDir, "--trace", virtualTrace},
                  {},
                  c.workDir + "/" + key + "-virtual.out",
                  c.workDir + "/" + key + "-virtual.err"});
    const std::vector<Row> virt = readTrace(virtualTrace);
    if (v.exitCode != 0 || virt.empty()) {
        out.p99.note = "the virtual run failed (exit " + std::to_string(v.exitCode) + ")";
    } else {
        for (int r = 0; r < c.repeats; ++r) {
            const std::string realTrace = c.workDir + "/" + key + "-real.csv";
            double wall = 0;
            std::vector<std::string> command = {c.ostrel,   "script",  script,
                                                "--folder", c.workDir, "--realtime",
                                                "--trace",  realTrace, "--verbose"};
            if (normalPriority) command.push_back("--normal-priority");
            const std::string err = c.workDir + "/" + key + "-real.err";
            const ChildEnd e =
                runChild({command, offscreen(), c.workDir + "/" + key + "-real.out", err}, &wall);
            if (!normalPriority && c.stepTiming) *c.stepTiming = stepTimingSaid(err);
            const Fidelity f = compare(readTrace(realTrace), virt, fromMs);
            *c.log << "  " << what << " run " << r + 1 << ": exit " << e.exitCode << ", "
                   << f.compared << " accesses compared, " << f.errors.size() << " ticks, "
                   << static_cast<int>(wall) << " ms wall, " << e.cpuMs << " ms CPU"
                   << (f.sameAccesses ? "" : ", accesses differ from the virtual run") << '\n';
            if (e.exitCode != 0 || f.errors.empty()) {
                out.p99.note = "the real-time run failed (exit " + std::to_string(e.exitCode) + ")";
                continue;
            }
            out.p50.samples.push_back(percentile(f.errors, 0.50));
            out.p99.samples.push_back(percentile(f.errors, 0.99));
            out.max.samples.push_back(percentile(f.errors, 1.0));
            out.ratio.samples.push_back(f.ratio);
            out.preemptions.samples.push_back(static_cast<double>(e.preemptions) * 1000.0 / wall);
        }
    }
    for (Figure* fig : {&out.p50, &out.p99, &out.max, &out.ratio, &out.preemptions}) {
        figures.push_back(*fig);
    }
}

void measureBusy(const Context& c, std::vector<Figure>& figures) {
    Figure cpu = makeFigure("busy10.cpu_percent", "job at 10 ms, window drawn: CPU", "% of a core",
                            Goal::AtMost, 3.0, 2);
    Figure wakes =
        makeFigure("busy10.wakeups_per_s", "job at 10 ms: wake-ups", "per s", Goal::None, 0, 0);
    const std::string script = c.workDir + "/busy10.scn";
    writeFile(script, kBusyScenario);
    constexpr double kSettleMs = 500, kWindowMs = 5000;
    for (int r = 0; r < c.repeats; ++r) {
        const std::string err = c.workDir + "/busy10.err";
        const std::vector<std::string> command = {c.ostrel,  "script",     script,     "--folder",
                                                  c.workDir, "--realtime", "--verbose"};
        const pid_t pid = startChild({command, offscreen(), c.workDir + "/busy10.out", err});
        // The job starts with the Run click, which --verbose announces.
        const double deadline = monotonicMs() + 20000;
        while (readFile(err).find("click Command2(1)") == std::string::npos &&
               monotonicMs() < deadline) {
            sleepForMs(20);
        }
        sleepForMs(kSettleMs);
        const auto before = sampleProcess(pid);
        sleepForMs(kWindowMs);
        const auto after = sampleProcess(pid);
        const ChildEnd end = waitChild(pid);
        if (end.exitCode != 0 || !before || !after) {
            cpu.note = "the run failed (exit " + std::to_string(end.exitCode) + ")";
            continue;
        }
        const double span = after->atMs - before->atMs;
        cpu.samples.push_back(100.0 * (after->cpuMs - before->cpuMs) / span);
        wakes.samples.push_back(1000.0 * static_cast<double>(after->wakeUps - before->wakeUps) /
                                span);
        *c.log << "  job at 10 ms run " << r + 1 << ": " << cpu.samples.back() << " % CPU, "
               << wakes.samples.back() << " wake-ups/s\n";
    }
    figures.push_back(cpu);
    figures.push_back(wakes);
}

// The loop alone, without the core or the window: what the machine itself allows.
void measureBareTimer(const Context& c, std::vector<Figure>& figures) {
    Figure p99 = makeFigure("bare5.period_error_p99", "QtEventLoop alone at 5 ms: period error p99",
                            "ms", Goal::None, 0, 3);
    Figure max = makeFigure("bare5.period_error_max", "QtEventLoop alone at 5 ms: period error max",
                            "ms", Goal::None, 0, 3);
    for (int r = 0; r < c.repeats; ++r) {
        const std::vector<std::string> command = {c.self, "--timer-child"};
        const std::string out = c.workDir + "/bare5.out";
        const ChildEnd e = runChild({command, {}, out, "/dev/null"});
        std::istringstream figuresOut(readFile(out));
        double high = NAN, highest = NAN;
        if (e.exitCode != 0 || !(figuresOut >> high >> highest)) {
            p99.note = "the timer run failed (exit " + std::to_string(e.exitCode) + ")";
            continue;
        }
        p99.samples.push_back(high);
        max.samples.push_back(highest);
    }
    figures.push_back(p99);
    figures.push_back(max);
}

// --- Dot energy, quiet and under load ---

// Bounded CPU hogs at normal priority, one per processor, started and ended by the benchmark.
class Hogs {
  public:
    Hogs(const Context& c, bool on, double seconds) {
        if (!on) return;
        const long cores = std::max(1L, sysconf(_SC_NPROCESSORS_ONLN));
        for (long i = 0; i < cores; ++i) {
            const pid_t pid = startChild(
                {{c.self, "--hog-child", std::to_string(static_cast<int>(seconds) + 1), c.hogKind},
                 {},
                 "/dev/null",
                 "/dev/null"});
            if (pid > 0) pids_.push_back(pid);
        }
        sleepForMs(300);  // under way before the run starts
    }
    ~Hogs() {
        for (const pid_t pid : pids_) kill(pid, SIGKILL);
        for (const pid_t pid : pids_) waitChild(pid);
    }
    Hogs(const Hogs&) = delete;
    Hogs& operator=(const Hogs&) = delete;

  private:
    std::vector<pid_t> pids_;
};

struct DotRun {
    std::vector<double> steps;    // every tick's period error, ms
    std::vector<double> onTimes;  // every dot's on-time error, ms
    double preemptionsPerS = NAN;
    // What `--verbose` says of the wake-ups' lateness: the program's part, the machine's.
    double busyP99 = NAN, busyMax = NAN, wakeP99 = NAN, wakeMax = NAN;
    std::string failed;
};

// A figure from "tick lateness: N wake-ups; thread busy at the due time: p99 A ms, max B ms;
// waking the thread: p99 C ms, max D ms", which `ostrel script --realtime --verbose` prints.
double latenessSaid(const std::string& said, const std::string& part, const std::string& name) {
    const size_t line = said.rfind("tick lateness: ");
    if (line == std::string::npos) return NAN;
    const size_t at = said.find(part, line);
    if (at == std::string::npos) return NAN;
    const size_t f = said.find(name + " ", at);
    return f == std::string::npos ? NAN : std::atof(said.c_str() + f + name.size() + 1);
}

DotRun runDots(const Context& c, const std::string& script, const std::vector<Row>& virt,
               double fromMs, bool normalPriority, bool loaded, const std::string& tag) {
    DotRun run;
    const std::string realTrace = c.workDir + "/dots-" + tag + ".csv";
    std::vector<std::string> command = {c.ostrel,     "script",  script,    "--folder", c.workDir,
                                        "--realtime", "--trace", realTrace, "--verbose"};
    if (normalPriority) command.push_back("--normal-priority");
    const std::string err = c.workDir + "/dots-" + tag + ".err";
    double wall = 0;
    ChildEnd e;
    {
        const Hogs hogs(c, loaded, c.dotSeconds + 60);
        e = runChild({command, offscreen(), c.workDir + "/dots-" + tag + ".out", err}, &wall);
    }
    if (!normalPriority && c.stepTiming) *c.stepTiming = stepTimingSaid(err);
    const std::vector<Row> real = readTrace(realTrace);
    const Fidelity f = compare(real, virt, fromMs);
    run.onTimes = onTimeErrors(real, virt, fromMs);
    run.steps = f.errors;
    run.preemptionsPerS = static_cast<double>(e.preemptions) * 1000.0 / wall;
    const std::string said = readFile(err);
    run.busyP99 = latenessSaid(said, "thread busy", "p99");
    run.busyMax = latenessSaid(said, "thread busy", "max");
    run.wakeP99 = latenessSaid(said, "waking the thread", "p99");
    run.wakeMax = latenessSaid(said, "waking the thread", "max");
    *c.log << "  " << tag << ": exit " << e.exitCode << ", " << f.errors.size() << " ticks, "
           << run.onTimes.size() << " dots, " << static_cast<int>(wall) << " ms wall, load "
           << loadAverage() << (f.sameAccesses ? "" : ", accesses differ from the virtual run")
           << '\n';
    if (e.exitCode != 0 || run.onTimes.empty()) {
        run.failed = "the real-time run failed (exit " + std::to_string(e.exitCode) + ")";
    }
    return run;
}

// `ostrel latency` under the same load: the step loop alone, no window and no trace.
void runLatency(const Context& c, bool loaded, const std::string& key, const std::string& what,
                std::vector<Figure>& figures) {
    Figure p99 = makeFigure(key + ".period_error_p99", what + ": step period error p99", "ms",
                            Goal::None, 0, 3);
    Figure max = makeFigure(key + ".period_error_max", what + ": step period error max", "ms",
                            Goal::None, 0, 3);
    Figure dotMax = makeFigure(key + ".on_time_error_max", what + ": dot on-time error max", "ms",
                               Goal::None, 0, 3);
    constexpr int kSeconds = 20;
    const std::string out = c.workDir + "/" + key + ".out";
    ChildEnd e;
    {
        const Hogs hogs(c, loaded, kSeconds + 30);
        e = runChild(
            {{c.ostrel, "latency", "--seconds", std::to_string(kSeconds)}, {}, out, "/dev/null"});
    }
    // "Step period error: p50 A ms, p99 B ms, max C ms (N ticks)", the same for the dots.
    const std::string text = readFile(out);
    auto field = [&text](const std::string& line, const std::string& name) -> double {
        const size_t at = text.find(line);
        if (at == std::string::npos) return NAN;
        const size_t f = text.find(name + " ", at);
        return f == std::string::npos ? NAN : std::atof(text.c_str() + f + name.size() + 1);
    };
    const double stepP99 = field("Step period error:", "p99");
    if (e.exitCode != 0 || std::isnan(stepP99)) {
        p99.note = "ostrel latency failed (exit " + std::to_string(e.exitCode) + ")";
    } else {
        p99.samples.push_back(stepP99);
        max.samples.push_back(field("Step period error:", "max"));
        dotMax.samples.push_back(field("Dot on-time error:", "max"));
    }
    *c.log << "  " << what << ": exit " << e.exitCode << ", step p99 " << stepP99 << " ms\n";
    figures.insert(figures.end(), {p99, max, dotMax});
}

}  // namespace

void measureDots(const Context& c, std::vector<Figure>& figures) {
    writeFile(c.workDir + "/sample.png", readFile(c.samplePicture));
    std::string scenario = kDotScenario;
    const std::string waitTag = "%WAIT%";
    scenario.replace(scenario.find(waitTag), waitTag.size(),
                     std::to_string(static_cast<int>(c.dotSeconds * 1000)));
    const std::string script = c.workDir + "/dots.scn";
    writeFile(script, scenario);
    const std::string virtualTrace = c.workDir + "/dots-virtual.csv";
    const ChildEnd v =
        runChild({{c.ostrel, "script", script, "--folder", c.workDir, "--trace", virtualTrace},
                  {},
                  c.workDir + "/dots-virtual.out",
                  c.workDir + "/dots-virtual.err"});
    const std::vector<Row> virt = readTrace(virtualTrace);
    // The run is compared from the Run click on, which came the run's length before the Abort,
    // the latest row.
    double lastMs = 0;
    for (const Row& r : virt) lastMs = std::max(lastMs, r.t);
    const double fromMs = lastMs - c.dotSeconds * 1000;
    const std::string length = std::to_string(static_cast<int>(c.dotSeconds)) + " s";
    for (const bool loaded : {false, true}) {
        for (const bool normal : {false, true}) {
            const std::string cond =
                std::string(loaded ? "loaded" : "quiet") + (normal ? ", normal priority" : "");
            const std::string key =
                std::string("dots.") + (loaded ? "loaded" : "quiet") + (normal ? "_normal" : "");
            const std::string what = "precise run " + length + " at 5 ms, " + cond;
            const Goal goal = normal ? Goal::None : Goal::AtMost;
            Figure onP99 = makeFigure(key + ".on_time_error_p99", what + ": dot on-time error p99",
                                      "ms", goal, 0.1, 3);
            Figure onMax = makeFigure(key + ".on_time_error_max", what + ": dot on-time error max",
                                      "ms", goal, 0.5, 3);
            Figure stepP99 = makeFigure(key + ".period_error_p99", what + ": step period error p99",
                                        "ms", goal, 0.1, 3);
            Figure stepMax = makeFigure(key + ".period_error_max", what + ": step period error max",
                                        "ms", goal, 0.5, 3);
            Figure preempted =
                makeFigure(key + ".preemptions_per_s", what + ": preempted by other processes",
                           "per s", Goal::None, 0, 1);
            Figure busyP99 = makeFigure(key + ".busy_at_due_p99",
                                        what + ": tick held by the program's own work, p99", "ms",
                                        Goal::None, 0, 3);
            Figure busyMax = makeFigure(key + ".busy_at_due_max",
                                        what + ": tick held by the program's own work, max", "ms",
                                        Goal::None, 0, 3);
            Figure wakeP99 =
                makeFigure(key + ".wake_up_p99", what + ": waking the thread after that, p99", "ms",
                           Goal::None, 0, 3);
            Figure wakeMax =
                makeFigure(key + ".wake_up_max", what + ": waking the thread after that, max", "ms",
                           Goal::None, 0, 3);
            if (v.exitCode != 0 || virt.empty()) {
                onP99.note = "the virtual run failed (exit " + std::to_string(v.exitCode) + ")";
            } else {
                const DotRun run = runDots(
                    c, script, virt, fromMs, normal, loaded,
                    std::string(loaded ? "loaded" : "quiet") + (normal ? "-normal" : "-raised"));
                if (!run.failed.empty()) {
                    onP99.note = run.failed;
                } else {
                    onP99.samples.push_back(percentile(run.onTimes, 0.99));
                    onMax.samples.push_back(percentile(run.onTimes, 1.0));
                    stepP99.samples.push_back(percentile(run.steps, 0.99));
                    stepMax.samples.push_back(percentile(run.steps, 1.0));
                    preempted.samples.push_back(run.preemptionsPerS);
                    if (!std::isnan(run.busyMax)) {
                        busyP99.samples.push_back(run.busyP99);
                        busyMax.samples.push_back(run.busyMax);
                        wakeP99.samples.push_back(run.wakeP99);
                        wakeMax.samples.push_back(run.wakeMax);
                    }
                }
            }
            figures.insert(figures.end(), {onP99, onMax, stepP99, stepMax, preempted, busyP99,
                                           busyMax, wakeP99, wakeMax});
        }
        runLatency(c, loaded, std::string("latency.") + (loaded ? "loaded" : "quiet"),
                   std::string("ostrel latency 20 s (no window, no trace), ") +
                       (loaded ? "loaded" : "quiet"),
                   figures);
    }
}

int hogChild(int seconds, const std::string& kind) {
    // NOTE: bounded twice: by its own deadline and by a CPU limit the kernel enforces.
    rlimit cpu{};
    cpu.rlim_cur = cpu.rlim_max = static_cast<rlim_t>(std::max(1, seconds) + 5);
    setrlimit(RLIMIT_CPU, &cpu);
    const double end = monotonicMs() + seconds * 1000.0;
    // "churn" maps, fills and unmaps 8 MB over and over, as a compiler's allocations do, so that
    // much of its time is spent in the kernel (page faults, zeroing); "spin" only computes.
    const bool churn = kind != "spin";
    constexpr size_t kBytes = 8 << 20;
    volatile uint64_t sink = 0;
    while (monotonicMs() < end) {
        if (churn) {
            void* block =
                mmap(nullptr, kBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (block != MAP_FAILED) {
                auto* bytes = static_cast<unsigned char*>(block);
                for (size_t i = 0; i < kBytes; i += 4096) bytes[i] = static_cast<unsigned char>(i);
                munmap(block, kBytes);
            }
        }
        for (uint64_t i = 0; i < 2'000'000; ++i) sink = sink + i * i;
    }
    return 0;
}

int timerChild() {
    constexpr int kPeriodMs = 5, kTicks = 400;
    // The priority the program takes, so that the loop alone compares with the runs.
    runtime::TimingPriority priority(runtime::systemSchedulerCalls(), true);
    runtime::QtEventLoop loop;
    loop.setTimingPriority(&priority);
    runtime::Timer timer(loop, kPeriodMs, false);
    std::vector<double> at;
    at.reserve(kTicks);
    timer.setHandler([&] {
        at.push_back(loop.nowMs());
        if (static_cast<int>(at.size()) == kTicks) {
            timer.setEnabled(false);
            QCoreApplication::quit();
        }
    });
    timer.setEnabled(true);
    QCoreApplication::exec();
    std::vector<double> errors;
    for (size_t i = 1; i < at.size(); ++i)
        errors.push_back(std::abs(at[i] - at[i - 1] - kPeriodMs));
    std::printf("%.3f %.3f\n", percentile(errors, 0.99), percentile(errors, 1.0));
    return errors.empty() ? 1 : 0;
}

void measureRealTime(const Context& c, std::vector<Figure>& figures) {
    writeFile(c.workDir + "/sample.png", readFile(c.samplePicture));
    *c.log << "real time: the loop alone at 5 ms\n";
    measureBareTimer(c, figures);
    *c.log << "real time: X jog at 5 ms\n";
    measureFidelity(c, "jog5", "X jog at 5 ms", kJogScenario, kJogFromMs, false, figures);
    *c.log << "real time: X jog at 5 ms, normal priority\n";
    measureFidelity(c, "jog5normal", "X jog at 5 ms, normal priority", kJogScenario, kJogFromMs,
                    true, figures);
    *c.log << "busy: full-size job at 10 ms\n";
    measureBusy(c, figures);
}

}  // namespace ostrel::bench
