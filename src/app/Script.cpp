// `ostrel script`: reads a scenario file and runs it headless, in virtual or in real time.
#include "app/Script.h"

#include <QApplication>
#include <QCoreApplication>
#include <QStyleFactory>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <vector>

#include "app/CommandLine.h"
#include "app/Commands.h"
#include "app/Inputs.h"
#include "app/Safety.h"
#include "runtime/QtEventLoop.h"
#include "runtime/ThreadSignals.h"
#include "runtime/TimingPriority.h"
#include "ui/Look.h"
#include "ui/MachineWindow.h"
#include "ui/MainWindow.h"

namespace ostrel::app {

namespace {

// NOTE: the longest scenario written so far is a few kilobytes; the bound keeps a wrong file
// (a video, a disk image) from being read whole into memory.
constexpr size_t kMaxScenarioBytes = 64u * 1024 * 1024;

// "tick lateness: N wake-ups; busy ...": how late the ticks came, the program's part (the
// thread still busy at the due time) apart from the machine's (waking the thread).
std::string latenessText(const runtime::QtEventLoop::Lateness& late) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "tick lateness: %zu wake-ups; thread busy at the due time: p99 %.3f ms, max "
                  "%.3f ms; waking the thread: p99 %.3f ms, max %.3f ms",
                  late.busy.count(), late.busy.percentile(0.99), late.busy.maxMs(),
                  late.wake.percentile(0.99), late.wake.maxMs());
    return text;
}

// The main window and the Machine window, as the GUI has them.
struct Windows final : QObject {
    Windows(engraver::Engraver& engraver, machine::SimEngraver& sim)
        : main(engraver), machine(engraver, &sim) {
        machine.attachTo(main);
    }
    ui::MainWindow main;
    ui::MachineWindow machine;
};

// Real time: the Qt loop runs while the scenario waits, ticks come from the real clock.
// NOTE: a wait ends at the scenario's own time (the sum of the waits so far), not a span after
// the step before it, so that the time the other steps take does not add up over a script and
// the run keeps to the virtual run's timeline.
class RealTimeClock final : public ScenarioClock {
  public:
    explicit RealTimeClock(bool raisePriority)
        : priority_(runtime::systemSchedulerCalls(), raisePriority) {
        loop_.setTimingPriority(&priority_);
    }

    runtime::EventLoop& loop() override { return loop_; }
    runtime::QtEventLoop& qtLoop() { return loop_; }
    const runtime::TimingPriority& priority() const { return priority_; }

    void wait(int64_t ms) override {
        scenarioMs_ += static_cast<double>(ms);
        runUntil(scenarioMs_, nullptr);
    }

    bool waitUntil(const std::function<bool()>& idle, int64_t maxMs) override {
        const bool done = runUntil(loop_.nowMs() + static_cast<double>(maxMs), idle);
        scenarioMs_ = std::max(scenarioMs_, loop_.nowMs());
        return done;
    }

    void stop() override { stopped_ = true; }

    // The windows as the GUI shows them on the simulator, drawn off screen unless a platform
    // was chosen: the run pays for painting as the program does.
    std::unique_ptr<QObject> attachView(engraver::Engraver& engraver,
                                        machine::SimEngraver& sim) override {
        auto windows = std::make_unique<Windows>(engraver, sim);
        windows->machine.setStepTimingSource([this] { return priority_.describe(); });
        windows->main.show();
        windows->machine.show();
        return windows;
    }

    std::string timeText() override {
        char text[32];
        std::snprintf(text, sizeof text, "%.3f", loop_.nowMs());
        return text;
    }

  private:
    // Runs the Qt loop until the loop's clock reaches `endMs` or until(), checked after every
    // batch of events, holds. Returns whether until() held.
    bool runUntil(double endMs, const std::function<bool()>& until) {
        // The deadline wakes the loop when nothing else would; it is armed again for what is
        // left (a long wait exceeds a QTimer's range).
        constexpr double kLongestArmMs = 24.0 * 3600 * 1000;
        QTimer deadline;
        deadline.setSingleShot(true);
        deadline.setTimerType(Qt::PreciseTimer);
        // A run already behind the scenario's time still lets what is due run once, as a wait
        // in virtual time dispatches what falls due up to its end.
        bool ranOnce = false;
        for (;;) {
            if (until && until()) return true;
            const double remaining = endMs - loop_.nowMs();
            if (stopped_) return false;
            if (remaining <= 0) {
                if (ranOnce) return false;
                QCoreApplication::processEvents(QEventLoop::AllEvents);
                ranOnce = true;
                continue;
            }
            ranOnce = true;
            if (!deadline.isActive()) {
                deadline.start(static_cast<int>(std::ceil(std::min(remaining, kLongestArmMs))));
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        }
    }

    // NOTE: declared before the loop, which lowers it when it goes.
    runtime::TimingPriority priority_;
    runtime::QtEventLoop loop_;
    double scenarioMs_ = 0;
    bool stopped_ = false;
};

}  // namespace

int runScript(int argc, char** argv) {
    int exitCode = 0;
    std::optional<ScriptCommand> command =
        parseScriptCommandLine(argc, argv, exitCode, std::cout, std::cerr);
    if (!command) return exitCode;
    // As safe as the window: SIGINT, SIGTERM, SIGHUP, SIGQUIT and the other signals that would
    // end the program end a long run between two dispatches, at rest; a crash rests the
    // simulated machine from its handler; a closed output pipe or a full trace file fails the
    // write instead of killing the run. Before anything can block, so that a second stop
    // signal always ends it.
    safety::StopSignals stops;
    safety::installCrashHandlers();
    command->options.stopSignal = [&stops] { return stops.take(); };

    std::string text;
    std::string error;
    if (!readRegularFile(command->scriptPath, kMaxScenarioBytes, text, error)) {
        std::cerr << "ostrel script: " << error << '\n';
        return kScriptMalformed;
    }
    // Pictures named by `dialog` lines are found beside the script.
    std::error_code ec;
    command->options.baseDir =
        std::filesystem::absolute(command->scriptPath, ec).parent_path().string();
    const ParseResult parsed = parseScenario(text);
    if (!parsed.ok()) {
        printParseErrors(parsed, std::cerr);
        return kScriptMalformed;
    }
    // Nothing the run writes may be what it reads: the script, or a picture a dialog answers.
    std::vector<NamedPath> inputs{{"the scenario", command->scriptPath}};
    for (const Step& step : parsed.scenario.steps) {
        if (step.kind != StepKind::Dialog || step.value.empty()) continue;
        const std::filesystem::path picture(step.value);
        inputs.push_back(
            {"the picture",
             picture.is_absolute()
                 ? step.value
                 : (std::filesystem::path(command->options.baseDir) / picture).string()});
    }
    std::vector<NamedPath> outputs;
    if (!command->options.tracePath.empty())
        outputs.push_back({"--trace", command->options.tracePath});
    if (!command->options.dumpPath.empty())
        outputs.push_back({"--dump", command->options.dumpPath});
    if (const std::string why = checkOutputs(inputs, outputs); !why.empty()) {
        std::cerr << "ostrel script: " << why << '\n';
        return kScriptMalformed;
    }

    // The picture decoders are Qt plugins; they need an application object, not a display. A
    // real-time run draws the window, off screen unless a platform is chosen.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    std::unique_ptr<QCoreApplication> app;
    if (!QCoreApplication::instance()) {
        // The threads Qt starts with the application leave the stop signals to this one.
        const runtime::EndingSignalsBlocked blocked;
        if (command->options.realtime) {
            if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
                qputenv("QT_QPA_PLATFORM", "offscreen");
            }
            app = std::make_unique<QApplication>(qtArgc, qtArgv);
            // The same look as the GUI's, so that painting costs what it costs there.
            QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
            ui::loadPictures();
        } else {
            app = std::make_unique<QCoreApplication>(qtArgc, qtArgv);
        }
    }
    int status = kScriptPassed;
    if (!command->options.realtime) {
        status = runScenario(parsed.scenario, command->options, std::cout, std::cerr);
    } else {
        RealTimeClock clock(!command->options.normalPriority);
        if (command->options.verbose) clock.qtLoop().recordLateness(true);
        status = runScenario(parsed.scenario, command->options, clock, std::cout, std::cerr);
        if (command->options.verbose) {
            std::cerr << "step timing: " << clock.priority().describe() << '\n'
                      << latenessText(clock.qtLoop().lateness()) << '\n';
        }
    }
    // The results are the run's output too: a full disk or a closed pipe must not pass.
    if (!flushStandardOutput()) {
        std::cerr << "ostrel script: cannot write the results on standard output\n";
        if (status < kScriptStoppedBase) status = kScriptMalformed;
    }
    return status;
}

}  // namespace ostrel::app
