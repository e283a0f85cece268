// Runs a parsed scenario against the simulated engraver, in virtual time or on a given clock.
#include <QJsonDocument>
#include <QJsonObject>
#include <cstring>
#include <filesystem>
#include <memory>
#include <ostream>

#include "app/Inputs.h"
#include "app/Safety.h"
#include "app/Script.h"
#include "engraver/Engraver.h"
#include "form/HeadlessHost.h"
#include "machine/Registers.h"
#include "machine/TracingPort.h"
#include "runtime/VirtualEventLoop.h"

namespace ostrel::app {

namespace {

struct MachineValue {
    std::string_view name;
    std::string (*read)(const machine::SimEngraver& sim);
};

// The port's latches are the last bytes written; positions are true half-steps from the
// switches, whatever the step counters believe.
constexpr MachineValue kMachineValues[] = {
    {"port.888", [](const machine::SimEngraver& s) { return std::to_string(s.data()); }},
    {"port.890", [](const machine::SimEngraver& s) { return std::to_string(s.control()); }},
    {"sim.x", [](const machine::SimEngraver& s) { return std::to_string(s.x()); }},
    {"sim.y", [](const machine::SimEngraver& s) { return std::to_string(s.y()); }},
    {"sim.laser", [](const machine::SimEngraver& s) { return form::boolText(s.laserOn()); }},
    {"sim.lostSteps", [](const machine::SimEngraver& s) { return std::to_string(s.lostSteps()); }},
    {"sim.stalls", [](const machine::SimEngraver& s) { return std::to_string(s.stalls()); }},
    {"sim.faults", [](const machine::SimEngraver& s) { return std::to_string(s.faults()); }},
};

// Virtual time: a forty-minute job in well under a second, the same way every time.
class VirtualClock final : public ScenarioClock {
  public:
    runtime::EventLoop& loop() override { return loop_; }
    void wait(int64_t ms) override { loop_.advance(ms); }
    bool waitUntil(const std::function<bool()>& idle, int64_t maxMs) override {
        return loop_.advanceUntil(idle, maxMs);
    }
    void stop() override { loop_.stop(); }
    std::string timeText() override { return std::to_string(loop_.now()); }

  private:
    runtime::VirtualEventLoop loop_;
};

class Runner {
  public:
    Runner(const Scenario& scenario, const ScriptOptions& options, ScenarioClock& clock,
           std::ostream& out, std::ostream& err)
        : scenario_(scenario),
          options_(options),
          out_(out),
          err_(err),
          clock_(clock),
          sim_(scenario.start, [this] { return clock_.loop().nowMs(); }),
          trace_(sim_, [this] { return clock_.loop().nowMs(); }),
          host_() {
        host_.folder = programFolder(options);
        host_.baseDir = options.baseDir;
        // NOTE: the lines carry file names and texts from the script: a whole path fits, a
        // runaway one is cut, and no byte reaches the terminal unescaped.
        host_.log = [this](const std::string& line) { out_ << shown(line, 2000) << '\n'; };
        host_.onEnd = [this] { clock_.stop(); };
        sim_.wireInterlock(options_.interlock);
        // A wait of days in virtual time is a long loop in real time: a stop signal must end it
        // between two dispatches, not after it.
        if (options_.stopSignal) {
            clock_.loop().addAfterDispatch([this] {
                if (stoppedBy_ == 0) stoppedBy_ = options_.stopSignal();
                if (stoppedBy_ != 0) clock_.stop();
            });
        }
    }

    int run() {
        if (!options_.tracePath.empty()) {
            std::string error;
            trace_.setTraceReads(options_.traceReads);
            // Real time is traced to the microsecond.
            if (!trace_.openCsv(options_.tracePath, options_.realtime, error)) {
                err_ << "ostrel script: " << error << '\n';
                return kScriptMalformed;
            }
        }
        // NOTE: the dump file is opened before the run so that a path that cannot be written
        // stops the script before anything runs, like the other unusable files.
        OutputFile dump;
        std::string error;
        if (!options_.dumpPath.empty() && !dump.open("the dump file", options_.dumpPath, error)) {
            err_ << "ostrel script: " << error << '\n';
            return kScriptMalformed;
        }
        for (const Step& step : scenario_.steps) {
            if (options_.verbose) {
                err_ << "t=" << clock_.timeText() << " line " << step.line << ": "
                     << shown(step.text) << '\n';
            }
            if (stoppedBy_ == 0 && options_.stopSignal) stoppedBy_ = options_.stopSignal();
            if (stoppedBy_ == 0) perform(step);
            if (stoppedBy_ == 0 && options_.stopSignal) stoppedBy_ = options_.stopSignal();
            if (stoppedBy_ != 0) {
                restAfterStop(step);
                break;
            }
            if (host_.ended) {
                if (options_.verbose) err_ << "line " << step.line << ": the program ended\n";
                break;
            }
            if (sim_.failedWrites() > 0) {
                faultLine_ = step.line;
                break;
            }
        }
        bool written = true;
        if (dump.isOpen() && !dump.writeAndClose(dumpJson() + '\n', error)) {
            err_ << "ostrel script: " << error << '\n';
            written = false;
        }
        if (const int e = trace_.csvError(); e != 0) {
            err_ << "ostrel script: cannot write the trace file " << shown(options_.tracePath, 200)
                 << ": " << std::strerror(e) << '\n';
            written = false;
        }
        // A port write that failed ends the script: the core has stopped and rested the machine.
        if (sim_.failedWrites() > 0) {
            const std::string report =
                engraver_ && !engraver_->portFault().empty()
                    ? engraver_->portFault()
                    : "port fault: " + sim_.describe() + ": " + sim_.faultText();
            err_ << "ostrel script: " << report;
            if (faultLine_ > 0) err_ << " (line " << faultLine_ << ")";
            err_ << '\n';
            return safety::kPortFaultStatus;
        }
        if (stoppedBy_ != 0) return kScriptStoppedBase + stoppedBy_;
        if (!written) return kScriptMalformed;
        return failures_ > 0 ? kScriptFailed : kScriptPassed;
    }

  private:
    static std::string programFolder(const ScriptOptions& options) {
        if (!options.folder.empty()) return options.folder;
        std::error_code ec;
        return std::filesystem::current_path(ec).string();
    }

    void perform(const Step& step) {
        switch (step.kind) {
            case StepKind::Start:
                engraver_ = std::make_unique<engraver::Engraver>(clock_.loop(), trace_, host_);
                engraver_->interlock().set(options_.interlock);
                // On the real clock the disk's latency must not delay a step; on the virtual
                // one the journal syncs at exact moments.
                engraver_->pictureRun().setJournalSyncInBackground(options_.realtime);
                engraver_->pictureRun().setJournalling(options_.journal);
                view_ = clock_.attachView(*engraver_, sim_);
                engraver_->load();
                return;
            case StepKind::Wait:
                clock_.wait(step.ms);
                return;
            case StepKind::UntilIdle:
                if (!clock_.waitUntil([this] { return idle(); }, step.ms) && !host_.ended) {
                    err_ << "line " << step.line << ": until-idle: still busy after " << step.ms
                         << " ms\n";
                }
                return;
            case StepKind::Click:
                return report(step, engraver_->click(step.name));
            case StepKind::MouseDown:
                return report(step, engraver_->mouseDown(step.name));
            case StepKind::MouseUp:
                return report(step, engraver_->mouseUp(step.name));
            case StepKind::Set:
                return report(step, engraver_->set(step.name, step.value));
            case StepKind::Dialog:
                host_.queueDialogAnswer(step.value);
                return;
            case StepKind::FocusLost:
                engraver_->pressLost();
                return;
            case StepKind::Expect:
                return expect(step);
            case StepKind::Dump:
                out_ << dumpJson() << '\n';
                return;
            case StepKind::Job:
                if (!runJobStep(step, *engraver_, out_)) ++failures_;
                return;
            case StepKind::Door:
                if (!options_.interlock.configured()) {
                    return failure(step,
                                   "door: the simulated engraver has no interlock switch "
                                   "(give --interlock)");
                }
                sim_.setDoorOpen(step.value == "open");
                return;
        }
    }

    // A stop signal ends the script where it is, with every timer off and the port at rest.
    void restAfterStop(const Step& step) {
        bool rested = true;
        if (engraver_) {
            rested = engraver_->restNow();
        } else {
            const uint64_t failed = trace_.failedWrites();
            trace_.out(machine::DATA_REG, machine::COILS_OFF);
            trace_.out(machine::CONTROL_REG, machine::LASER_OFF);
            rested = trace_.failedWrites() == failed;
        }
        err_ << "ostrel script: stopped by " << safety::signalName(stoppedBy_) << " at line "
             << step.line << " (t=" << clock_.timeText() << " ms): "
             << (rested ? "the machine is at rest\n"
                        : "putting the machine at rest failed: switch it off at its power "
                          "supply\n");
    }

    // Idle: no activity runs (form::kActivityTimers: every timer but the watchdog), no resume
    // homes or travels to the dot, and no continue lets the rotors settle.
    bool idle() {
        return !form::anyEnabled(engraver_->form(), form::kActivityTimers) &&
               !engraver_->jobResume().running() &&
               engraver_->jobPause().state() != jobs::JobPause::State::Settling;
    }

    void report(const Step& step, engraver::EventResult result) {
        const std::string what = shown(step.name.empty() ? step.text : step.name);
        switch (result) {
            case engraver::EventResult::Handled:
                return;
            case engraver::EventResult::Disabled:
                // The window ignores events on a disabled control; so does the script.
                if (options_.verbose) {
                    err_ << "line " << step.line << ": " << what << " is disabled: ignored\n";
                }
                return;
            case engraver::EventResult::Unknown:
                return failure(step, what + ": unknown control");
            case engraver::EventResult::NotAvailable:
                return failure(step, what + ": not available yet");
            case engraver::EventResult::BadValue:
                return failure(step, what + ": value \"" + shown(step.value) + "\" not accepted");
        }
    }

    void failure(const Step& step, const std::string& text) {
        ++failures_;
        out_ << "line " << step.line << ": " << text << '\n';
    }

    void expect(const Step& step) {
        std::optional<std::string> actual = machineValue(sim_, step.name);
        if (!actual) actual = engraver_->form().get(step.name);
        if (!actual) return failure(step, "expect " + step.name + ": unknown NAME");
        if (*actual == step.value) return;
        failure(step, "expect " + step.name + ": expected \"" + shown(step.value) + "\", got \"" +
                          shown(*actual, 400) + "\"");
    }

    // Form1's values and the machine's, as one JSON object.
    std::string dumpJson() {
        QJsonObject json;
        if (engraver_) {
            json = QJsonDocument::fromJson(QByteArray::fromStdString(engraver_->form().dumpJson()))
                       .object();
        }
        for (const MachineValue& v : kMachineValues) {
            json.insert(QString::fromUtf8(v.name.data(), static_cast<qsizetype>(v.name.size())),
                        QString::fromStdString(v.read(sim_)));
        }
        return QJsonDocument(json).toJson(QJsonDocument::Compact).toStdString();
    }

    const Scenario& scenario_;
    const ScriptOptions& options_;
    std::ostream& out_;
    std::ostream& err_;
    // NOTE: declaration order is destruction order in reverse: the view goes first, then the
    // engraver; the clock's loop, that everything points into, outlives the runner.
    ScenarioClock& clock_;
    machine::SimEngraver sim_;
    machine::TracingPort trace_;
    // A crash rests the simulated machine from its handler, with the rows in the trace.
    safety::CrashPortScope crashScope_{&trace_};
    form::HeadlessHost host_;
    std::unique_ptr<engraver::Engraver> engraver_;
    std::unique_ptr<QObject> view_;
    int failures_ = 0;
    int stoppedBy_ = 0;  // the stop signal that ended the run, 0 while none has
    int faultLine_ = 0;  // the line during which a port write failed
};

}  // namespace

const std::vector<std::string>& machineValueNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all;
        for (const MachineValue& v : kMachineValues) all.emplace_back(v.name);
        return all;
    }();
    return names;
}

std::optional<std::string> machineValue(const machine::SimEngraver& sim, std::string_view name) {
    for (const MachineValue& v : kMachineValues) {
        if (v.name == name) return v.read(sim);
    }
    return std::nullopt;
}

int runScenario(const Scenario& scenario, const ScriptOptions& options, ScenarioClock& clock,
                std::ostream& out, std::ostream& err) {
    return Runner(scenario, options, clock, out, err).run();
}

int runScenario(const Scenario& scenario, const ScriptOptions& options, std::ostream& out,
                std::ostream& err) {
    VirtualClock clock;
    return runScenario(scenario, options, clock, out, err);
}

int runScenario(std::string_view text, const ScriptOptions& options, std::ostream& out,
                std::ostream& err) {
    const ParseResult parsed = parseScenario(text);
    if (!parsed.ok()) {
        printParseErrors(parsed, err);
        return kScriptMalformed;
    }
    return runScenario(parsed.scenario, options, out, err);
}

int runScenario(std::string_view text, const ScriptOptions& options, std::ostream& out) {
    return runScenario(text, options, out, out);
}

}  // namespace ostrel::app
