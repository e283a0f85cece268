// Reads a scenario script into a Scenario and checks every line before anything runs.
#include <charconv>
#include <cmath>
#include <ostream>

#include "app/Inputs.h"
#include "app/Script.h"
#include "form/Form1.h"
#include "runtime/VirtualEventLoop.h"

namespace ostrel::app {

namespace {

// Where a command may stand relative to `start`.
enum class Place { BeforeStart, AfterStart, Anywhere };

enum class Command {
    Head,
    Rotor,
    Port,
    Noise,
    Seed,
    FailAfter,
    FailWrite,
    Start,
    Wait,
    UntilIdle,
    Click,
    MouseDown,
    MouseUp,
    Set,
    Dialog,
    FocusLost,
    Expect,
    Dump,
    Job,
    Door,
};

struct CommandForm {
    std::string_view word;
    Command command;
    int minArgs, maxArgs;
    Place place;
    std::string_view usage;
};

constexpr CommandForm kCommands[] = {
    {"head", Command::Head, 2, 2, Place::BeforeStart, "head X Y"},
    {"rotor", Command::Rotor, 2, 2, Place::BeforeStart, "rotor AX AY"},
    {"port", Command::Port, 2, 2, Place::BeforeStart, "port DATA CONTROL"},
    {"noise", Command::Noise, 1, 1, Place::BeforeStart, "noise on|off"},
    {"seed", Command::Seed, 1, 1, Place::BeforeStart, "seed N"},
    {"fail-after", Command::FailAfter, 1, 1, Place::BeforeStart, "fail-after WRITES"},
    {"fail-write", Command::FailWrite, 1, 1, Place::BeforeStart, "fail-write N"},
    {"start", Command::Start, 0, 0, Place::BeforeStart, "start"},
    {"wait", Command::Wait, 1, 1, Place::AfterStart, "wait MS"},
    {"until-idle", Command::UntilIdle, 0, 1, Place::AfterStart, "until-idle [MAXMS]"},
    {"click", Command::Click, 1, 1, Place::AfterStart, "click NAME"},
    {"mousedown", Command::MouseDown, 1, 1, Place::AfterStart, "mousedown NAME"},
    {"mouseup", Command::MouseUp, 1, 1, Place::AfterStart, "mouseup NAME"},
    {"set", Command::Set, 2, 2, Place::AfterStart, "set NAME VALUE"},
    // An answer may be queued before the window exists: it waits for the first dialog.
    {"dialog", Command::Dialog, 1, 1, Place::Anywhere, "dialog PATH|cancel"},
    {"focus-lost", Command::FocusLost, 0, 0, Place::AfterStart, "focus-lost"},
    {"expect", Command::Expect, 2, 2, Place::AfterStart, "expect NAME VALUE"},
    {"dump", Command::Dump, 0, 0, Place::AfterStart, "dump"},
    // Pausing and resuming jobs, and the simulated machine losing its power (ScriptJobs.cpp).
    {"pause", Command::Job, 0, 0, Place::AfterStart, "pause"},
    {"continue", Command::Job, 0, 0, Place::AfterStart, "continue"},
    {"resume", Command::Job, 0, 1, Place::AfterStart, "resume [JOURNAL]"},
    {"power-cut", Command::Job, 0, 0, Place::AfterStart, "power-cut"},
    // The simulated door or emergency-stop switch (with --interlock); before start it is the
    // switch as the machine is switched on.
    {"door", Command::Door, 1, 1, Place::Anywhere, "door open|closed"},
};

// NOTE: 30 days of virtual time is far beyond any job (the longest picture run takes hours) and
// keeps a typing slip from running a script for minutes of real time.
constexpr int64_t kMaxWaitMs = 30LL * 24 * 3600 * 1000;

const CommandForm* findCommand(std::string_view word) {
    for (const CommandForm& c : kCommands) {
        if (c.word == word) return &c;
    }
    return nullptr;
}

bool toInt64(const std::string& s, int64_t& out) {
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return !s.empty() && ec == std::errc() && p == s.data() + s.size();
}

bool toDouble(const std::string& s, double& out) {
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return !s.empty() && ec == std::errc() && p == s.data() + s.size() && std::isfinite(out);
}

std::string trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return std::string(s);
}

std::string rangeText(int64_t lo, int64_t hi) {
    return std::to_string(lo) + ".." + std::to_string(hi);
}

// Checks that a word is a whole number from lo to hi; sets `reason` if not.
bool wholeInRange(const std::string& word, const char* what, int64_t lo, int64_t hi, int64_t& out,
                  std::string& reason) {
    if (!toInt64(word, out)) {
        reason = std::string(what) + " \"" + shown(word) + "\" is not a whole number";
        return false;
    }
    if (out < lo || out > hi) {
        reason = std::string(what) + " " + shown(word) + " is out of range " + rangeText(lo, hi);
        return false;
    }
    return true;
}

// A head position in full steps: whole or half steps, between the mechanical stops.
bool headInRange(const std::string& word, const char* axis, int lo, int hi, double& out,
                 std::string& reason) {
    if (!toDouble(word, out) || std::nearbyint(out * 2) != out * 2) {
        reason =
            std::string("head ") + axis + " \"" + shown(word) + "\" is not a whole or half step";
        return false;
    }
    if (out < lo || out > hi) {
        reason = std::string("head ") + axis + " " + shown(word) + " is out of range " +
                 rangeText(lo, hi) + " (the mechanical stops)";
        return false;
    }
    return true;
}

// The values `set` hands to the control, as Engraver::set will take them.
bool settable(form::Control& c, const std::string& value, std::string& reason) {
    using form::Kind;
    int64_t v = 0;
    switch (c.kind) {
        case Kind::ComboBox:
            return true;  // any text: a tick that cannot read it keeps its interval
        case Kind::HScrollBar:
        case Kind::VScrollBar:
            return wholeInRange(value, (c.name + " value").c_str(), c.min, c.max, v, reason);
        case Kind::CheckBox:
            return wholeInRange(value, (c.name + " value").c_str(), 0, 1, v, reason);
        case Kind::OptionButton:
            if (value == "True" || value == "False" || value == "1" || value == "0") return true;
            reason =
                c.name + " value \"" + shown(value) + "\" is out of range (True, False, 1 or 0)";
            return false;
        default:
            reason = c.name + " has no value to set";
            return false;
    }
}

class Parser {
  public:
    Parser() : form_(loop_) {}

    ParseResult parse(std::string_view text) {
        // A byte-order mark, as some editors on other systems write, is no part of the first
        // line.
        if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
        int line = 0;
        size_t pos = 0;
        while (pos <= text.size()) {
            const size_t end = std::min(text.find('\n', pos), text.size());
            std::string_view raw = text.substr(pos, end - pos);
            if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
            ++line;
            parseLine(line, raw);
            if (end == text.size()) break;
            pos = end + 1;
        }
        return std::move(result_);
    }

  private:
    void fail(int line, std::string reason) { result_.errors.push_back({line, std::move(reason)}); }

    void parseLine(int line, std::string_view raw) {
        std::vector<std::string> words;
        std::string reason;
        if (!splitScriptLine(raw, words, reason)) return fail(line, reason);
        if (words.empty()) return;

        const CommandForm* form = findCommand(words[0]);
        if (!form) return fail(line, "unknown command \"" + shown(words[0]) + "\"");
        const int args = static_cast<int>(words.size()) - 1;
        if (args < form->minArgs || args > form->maxArgs) {
            const std::string usage = form->maxArgs == 0 ? std::string(form->word) + " takes none"
                                                         : "use " + std::string(form->usage);
            return fail(line, "wrong argument count (" + std::to_string(args) + "): " + usage);
        }
        if (form->place == Place::BeforeStart && startLine_ > 0) {
            return fail(line, std::string(form->word) + " after start (line " +
                                  std::to_string(startLine_) + ")" +
                                  (form->command == Command::Start ? ": start is given once"
                                                                   : ": it sets up the machine"));
        }
        if (form->place == Place::AfterStart && startLine_ == 0) {
            return fail(line, std::string(form->word) + " before start");
        }

        Step step;
        step.line = line;
        step.text = trimmed(raw);
        if (!command(form->command, words, step, reason)) return fail(line, reason);
    }

    // Checks the arguments of one command and records its step; false with a reason if bad.
    bool command(Command cmd, const std::vector<std::string>& w, Step& step, std::string& reason) {
        machine::SimConfig& sim = result_.scenario.start;
        int64_t a = 0, b = 0;
        switch (cmd) {
            case Command::Head: {
                double x = 0, y = 0;
                if (!headInRange(w[1], "X", sim.xStopMin, sim.xStopMax, x, reason) ||
                    !headInRange(w[2], "Y", sim.yStopMin, sim.yStopMax, y, reason)) {
                    return false;
                }
                sim.headX = x;
                sim.headY = y;
                return true;
            }
            case Command::Rotor:
                if (!wholeInRange(w[1], "rotor AX", 0, 7, a, reason) ||
                    !wholeInRange(w[2], "rotor AY", 0, 7, b, reason)) {
                    return false;
                }
                sim.rotorX = static_cast<int>(a);
                sim.rotorY = static_cast<int>(b);
                return true;
            case Command::Port:
                if (!wholeInRange(w[1], "port DATA", 0, 255, a, reason) ||
                    !wholeInRange(w[2], "port CONTROL", 0, 255, b, reason)) {
                    return false;
                }
                sim.data = static_cast<uint8_t>(a);
                sim.control = static_cast<uint8_t>(b);
                return true;
            case Command::Noise:
                if (w[1] != "on" && w[1] != "off") {
                    reason = "noise \"" + shown(w[1]) + "\" is out of range (on or off)";
                    return false;
                }
                sim.noise = (w[1] == "on");
                return true;
            case Command::Seed:
                if (!wholeInRange(w[1], "seed", 0, UINT32_MAX, a, reason)) return false;
                sim.seed = static_cast<uint32_t>(a);
                return true;
            case Command::FailAfter:
                return wholeInRange(w[1], "fail-after WRITES", 0, INT64_MAX, sim.failAfterWrites,
                                    reason);
            case Command::FailWrite:
                return wholeInRange(w[1], "fail-write N", 1, INT64_MAX, sim.failWrite, reason);
            case Command::Start:
                startLine_ = step.line;
                return add(step, StepKind::Start);
            case Command::Wait:
                if (!wholeInRange(w[1], "wait MS", 0, kMaxWaitMs, step.ms, reason)) return false;
                return add(step, StepKind::Wait);
            case Command::UntilIdle:
                step.ms = kUntilIdleDefaultMs;
                if (w.size() > 1 &&
                    !wholeInRange(w[1], "until-idle MAXMS", 0, kMaxWaitMs, step.ms, reason)) {
                    return false;
                }
                return add(step, StepKind::UntilIdle);
            case Command::Click:
            case Command::MouseDown:
            case Command::MouseUp:
                if (!form_.control(w[1])) {
                    reason = "unknown control \"" + shown(w[1]) + "\"";
                    return false;
                }
                step.name = w[1];
                return add(step, cmd == Command::Click       ? StepKind::Click
                                 : cmd == Command::MouseDown ? StepKind::MouseDown
                                                             : StepKind::MouseUp);
            case Command::Set: {
                form::Control* c = form_.control(w[1]);
                if (!c) {
                    reason = "unknown control \"" + shown(w[1]) + "\"";
                    return false;
                }
                if (!settable(*c, w[2], reason)) return false;
                step.name = w[1];
                step.value = w[2];
                return add(step, StepKind::Set);
            }
            case Command::Dialog:
                if (w[1].empty()) {
                    reason = "dialog needs a path or cancel";
                    return false;
                }
                step.value = (w[1] == "cancel") ? "" : w[1];
                return add(step, StepKind::Dialog);
            case Command::FocusLost:
                return add(step, StepKind::FocusLost);
            case Command::Expect:
                if (!known(w[1])) {
                    reason = "unknown NAME \"" + shown(w[1]) + "\" in expect";
                    return false;
                }
                step.name = w[1];
                step.value = w[2];
                return add(step, StepKind::Expect);
            case Command::Dump:
                return add(step, StepKind::Dump);
            case Command::Job:
                step.name = w[0];
                if (w.size() > 1) step.value = w[1];
                return add(step, StepKind::Job);
            case Command::Door:
                if (w[1] != "open" && w[1] != "closed") {
                    reason = "door \"" + shown(w[1]) + "\" is out of range (open or closed)";
                    return false;
                }
                step.value = w[1];
                return add(step, StepKind::Door);
        }
        return false;
    }

    bool add(Step& step, StepKind kind) {
        step.kind = kind;
        result_.scenario.steps.push_back(std::move(step));
        return true;
    }

    bool known(const std::string& name) {
        for (const std::string& n : machineValueNames()) {
            if (n == name) return true;
        }
        return form_.get(name).has_value();
    }

    // A window in its design state, to look names up in; it never runs.
    runtime::VirtualEventLoop loop_;
    form::Form1 form_;
    ParseResult result_;
    int startLine_ = 0;
};

}  // namespace

bool splitScriptLine(std::string_view line, std::vector<std::string>& words, std::string& reason) {
    words.clear();
    size_t i = 0;
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (i < line.size()) {
        if (blank(line[i])) {
            ++i;
            continue;
        }
        if (line[i] == '#') break;
        std::string word;
        if (line[i] == '"') {
            ++i;
            bool closed = false;
            while (i < line.size()) {
                const char c = line[i++];
                if (c == '"') {
                    closed = true;
                    break;
                }
                if (c == '\\' && i < line.size() && (line[i] == '"' || line[i] == '\\')) {
                    word += line[i++];
                } else {
                    word += c;
                }
            }
            if (!closed) {
                reason = "unterminated quote";
                return false;
            }
            if (i < line.size() && !blank(line[i]) && line[i] != '#') {
                reason = "a closing quote must end its word";
                return false;
            }
        } else {
            while (i < line.size() && !blank(line[i]) && line[i] != '#') {
                if (line[i] == '"') {
                    reason = "a quote inside a word: quote the whole value";
                    return false;
                }
                word += line[i++];
            }
        }
        words.push_back(std::move(word));
    }
    return true;
}

ParseResult parseScenario(std::string_view text) {
    return Parser().parse(text);
}

void printParseErrors(const ParseResult& parsed, std::ostream& err) {
    // NOTE: a file that is no scenario at all (a picture, a log) is malformed on every line; the
    // first few lines say so as well as a million would.
    constexpr size_t kShownErrors = 20;
    for (size_t i = 0; i < parsed.errors.size() && i < kShownErrors; ++i) {
        err << parsed.errors[i].message() << '\n';
    }
    if (parsed.errors.size() > kShownErrors) {
        err << "... and " << parsed.errors.size() - kShownErrors << " more malformed lines\n";
    }
}

}  // namespace ostrel::app
