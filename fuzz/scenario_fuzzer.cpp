// Fuzzes the scenario parser, and runs the short scenarios it accepts on the headless core.
#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string_view>

#include "app/Safety.h"
#include "app/Script.h"

namespace {

// Scenarios that would run longer than this in virtual time are only parsed.
constexpr int64_t kMaxRunMs = 60 * 1000;

QTemporaryDir* folder = nullptr;

void check(bool condition) {
    if (!condition) std::abort();
}

// Whether a parsed scenario is cheap and harmless to run: bounded virtual time, no file
// dialogs (their paths could name any file of this machine, a pipe included), no resume (its
// journal path likewise) and no power cut (it ends the process, as a real one would).
bool runnable(const ostrel::app::Scenario& scenario) {
    int64_t total = 0;
    for (const ostrel::app::Step& step : scenario.steps) {
        if (step.kind == ostrel::app::StepKind::Dialog) return false;
        if (step.kind == ostrel::app::StepKind::Job &&
            (step.name == "power-cut" || step.name == "resume")) {
            return false;
        }
        if (step.kind == ostrel::app::StepKind::Wait ||
            step.kind == ostrel::app::StepKind::UntilIdle) {
            total += step.ms;
        }
    }
    return total <= kMaxRunMs;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    folder = new QTemporaryDir();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const ostrel::app::ParseResult parsed = ostrel::app::parseScenario(text);
    // Every refused line is named by a line number that exists in the text.
    int lines = 1;
    for (char c : text) lines += c == '\n';
    for (const ostrel::app::ParseError& e : parsed.errors) {
        check(e.line >= 1 && e.line <= lines);
        check(!e.reason.empty());
    }
    if (!parsed.ok() || !runnable(parsed.scenario)) return 0;
    ostrel::app::ScriptOptions options;
    options.folder = folder->path().toStdString();
    std::ostringstream out;
    const int code = ostrel::app::runScenario(parsed.scenario, options, out, out);
    // A scenario may make the simulated port fail on purpose (`fail-after`): the run then ends
    // with the port-fault status.
    check(code == ostrel::app::kScriptPassed || code == ostrel::app::kScriptFailed ||
          code == ostrel::app::safety::kPortFaultStatus);
    return 0;
}
