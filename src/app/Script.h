// Scenario scripts for `ostrel script`: the parsed form of a script, its parser and its runner.
#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "machine/SimEngraver.h"

namespace ostrel::engraver {
class Engraver;
}
namespace ostrel::runtime {
class EventLoop;
}

namespace ostrel::app {

// What one line after the set-up does. The set-up lines (head, rotor, port, noise, seed) are
// folded into Scenario::start instead.
enum class StepKind {
    Start,      // create the window and run its load procedure
    Wait,       // advance virtual time by `ms`
    UntilIdle,  // advance until Timer1 ... Timer9 are off, at most `ms`
    Click,
    MouseDown,
    MouseUp,
    Set,        // `name` takes `value`
    Dialog,     // queue `value` as the answer of the next file dialog ("" = cancel)
    FocusLost,  // the window lost the focus while a button was held
    Expect,     // `name` must read `value`
    Dump,       // print every value as one JSON line
    Job,   // `name`: pause, continue, resume (journal in `value`, "" = the folder's), power-cut
    Door,  // the simulated interlock switch: `value` "open" or "closed"
};

struct Step {
    int line = 0;  // 1-based line number in the script
    StepKind kind = StepKind::Start;
    std::string name;
    std::string value;
    int64_t ms = 0;
    std::string text;  // the line as written, without its comment
};

struct Scenario {
    machine::SimConfig start;  // the simulated engraver's state when `start` runs
    std::vector<Step> steps;
};

struct ParseError {
    int line = 0;
    std::string reason;
    std::string message() const { return "line " + std::to_string(line) + ": " + reason; }
};

struct ParseResult {
    Scenario scenario;
    std::vector<ParseError> errors;  // every malformed line, in order
    bool ok() const { return errors.empty(); }
};

// Splits one line into words: blanks separate them, a double-quoted word keeps its blanks
// (\" and \\ stand for a quote and a backslash inside it), and # outside quotes starts a
// comment. Returns false with a reason for an unterminated or misplaced quote.
bool splitScriptLine(std::string_view line, std::vector<std::string>& words, std::string& reason);

// Parses and checks a whole script without running anything. A UTF-8 byte-order mark at the
// start is skipped; words echoed in the reasons are shown escaped and cut (app::shown).
ParseResult parseScenario(std::string_view text);
// Prints the first parse errors, one a line, and how many more there are.
void printParseErrors(const ParseResult& parsed, std::ostream& err);

// The names `expect` accepts beyond Form1's own: the simulator's latches and true state.
const std::vector<std::string>& machineValueNames();
// A value of the simulated engraver by one of machineValueNames(); nullopt for other names.
std::optional<std::string> machineValue(const machine::SimEngraver& sim, std::string_view name);

// Milliseconds `until-idle` waits at most when the line gives no limit: a day of virtual time.
inline constexpr int64_t kUntilIdleDefaultMs = 24LL * 3600 * 1000;

struct ScriptOptions {
    std::string tracePath;    // --trace: CSV of port accesses
    bool traceReads = false;  // --trace-reads: reads in the CSV as well as writes
    std::string dumpPath;     // --dump: the final state as one JSON object
    std::string folder;       // --folder: the program's folder; "" = the current directory
    std::string baseDir;      // relative dialog answers are taken from here; "" = current dir
    bool verbose = false;     // --verbose: every step and ignored event on the error stream
    // Polled after every dispatch and every step: a stop signal that has arrived (SIGINT,
    // SIGTERM, ...), or 0. A stop puts the machine at rest, ends the script, still writes the
    // dump, and makes the run return kScriptStoppedBase + the signal.
    std::function<int()> stopSignal;
    bool realtime = false;        // --realtime: the Qt loop, the real clock and the window
    bool normalPriority = false;  // --normal-priority: real time without a raised priority
    // --interlock: the door / emergency-stop interlock, watched by the core and wired into the
    // simulated engraver (its switch closed until a `door open` line).
    machine::InterlockSetting interlock;
    // The picture run's journal in the program's folder (the benchmark turns it off to time
    // what the Machine window's job-time preview computes, which keeps none).
    bool journal = true;
};

// How time passes for a running scenario: the virtual clock (the default), or real time on the
// Qt loop with the window attached.
class ScenarioClock {
  public:
    virtual ~ScenarioClock() = default;
    virtual runtime::EventLoop& loop() = 0;
    // `wait MS`: lets MS milliseconds of the scenario pass.
    virtual void wait(int64_t ms) = 0;
    // `until-idle`: lets time pass until idle() holds after a dispatch, at most maxMs. Returns
    // whether idle() held.
    virtual bool waitUntil(const std::function<bool()>& idle, int64_t maxMs) = 0;
    // The program ended: no tick runs again.
    virtual void stop() = 0;
    // `start` created the core on the simulated engraver `sim`: a view to keep while the
    // scenario runs (it goes before the core does), or none.
    virtual std::unique_ptr<QObject> attachView(engraver::Engraver&, machine::SimEngraver&) {
        return nullptr;
    }
    // The loop's time as --verbose prints it.
    virtual std::string timeText() = 0;
};

// `pause`, `continue`, `resume` and `power-cut` (ScriptJobs.cpp). A refusal is printed and
// counted as a failure; `power-cut` ends the process at once, as a power cut would.
bool runJobStep(const Step& step, engraver::Engraver& engraver, std::ostream& out);
inline constexpr int kScriptPowerCut = 137;  // the exit status of a process killed by SIGKILL

// Exit codes of `ostrel script`.
inline constexpr int kScriptPassed = 0;
inline constexpr int kScriptFailed = 1;         // an expect failed or an event was not available
inline constexpr int kScriptMalformed = 2;      // a malformed script, or a file that cannot be used
inline constexpr int kScriptStoppedBase = 128;  // + the signal that stopped the run

// Runs a parsed scenario in virtual time. Results, messages and failures go to `out`; notes to
// `err`.
int runScenario(const Scenario& scenario, const ScriptOptions& options, std::ostream& out,
                std::ostream& err);
// The same on the given clock.
int runScenario(const Scenario& scenario, const ScriptOptions& options, ScenarioClock& clock,
                std::ostream& out, std::ostream& err);
// Parses and runs a script text; parse errors go to `err` and return kScriptMalformed.
int runScenario(std::string_view text, const ScriptOptions& options, std::ostream& out,
                std::ostream& err);
// The same with every line on one stream.
int runScenario(std::string_view text, const ScriptOptions& options, std::ostream& out);

}  // namespace ostrel::app
