// The GUI idle: CPU time and wake-ups of `ostrel` on the offscreen platform with nothing running.
#include <signal.h>
#include <sys/wait.h>

#include <ostream>

#include "Bench.h"
#include "Process.h"

namespace ostrel::bench {

void measureIdle(const Context& c, std::vector<Figure>& figures) {
    Figure cpu = makeFigure("idle.cpu_percent", "GUI idle: CPU", "% of a core", Goal::None, 0, 3);
    Figure wakes =
        makeFigure("idle.wakeups_per_s", "GUI idle: wake-ups", "per s", Goal::AtMost, 0, 2);
    // The watchdog finds the simulated port at rest and stops at once; the window then waits.
    constexpr double kSettleMs = 2000, kWindowMs = 5000;
    *c.log << "idle: the GUI with nothing running\n";
    for (int r = 0; r < c.repeats; ++r) {
        const pid_t pid = startChild({{c.ostrel},
                                      {"QT_QPA_PLATFORM=offscreen"},
                                      c.workDir + "/idle.out",
                                      c.workDir + "/idle.err"});
        sleepForMs(kSettleMs);
        const auto before = sampleProcess(pid);
        sleepForMs(kWindowMs);
        const auto after = sampleProcess(pid);
        if (pid > 0) kill(pid, SIGTERM);
        const ChildEnd end = waitChild(pid);
        if (!before || !after) {
            cpu.note = "the GUI did not stay up (exit " + std::to_string(end.exitCode) + ")";
            continue;
        }
        const double span = after->atMs - before->atMs;
        cpu.samples.push_back(100.0 * (after->cpuMs - before->cpuMs) / span);
        wakes.samples.push_back(1000.0 * static_cast<double>(after->wakeUps - before->wakeUps) /
                                span);
        *c.log << "  run " << r + 1 << ": " << cpu.samples.back() << " % CPU, "
               << after->wakeUps - before->wakeUps << " wake-ups in " << span << " ms\n";
    }
    figures.push_back(cpu);
    figures.push_back(wakes);
}

}  // namespace ostrel::bench
