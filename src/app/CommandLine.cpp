// Command-line parsing for the GUI and for `ostrel script`.
#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QStringList>
#include <cstdio>
#include <iostream>
#include <utility>

#include "Version.h"
#include "app/TestHooks.h"

namespace ostrel::app {

QStringList toArguments(int argc, char** argv, int from) {
    QStringList args{argc > 0 ? QString::fromLocal8Bit(argv[0]) : QStringLiteral("ostrel")};
    for (int i = from; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    return args;
}

std::string rawArgument(int argc, char** argv, int from, const QString& value) {
    for (int i = from; i < argc; ++i) {
        const std::string_view word = argv[i];
        // The value as its own word, or after the '=' of "--option=value".
        for (const size_t at : {std::string_view::npos, word.find('=')}) {
            if (at != std::string_view::npos && !word.starts_with("--")) continue;
            const std::string_view candidate =
                at == std::string_view::npos ? word : word.substr(at + 1);
            if (QString::fromLocal8Bit(candidate.data(),
                                       static_cast<qsizetype>(candidate.size())) == value) {
                return std::string(candidate);
            }
        }
    }
    return value.toStdString();
}

// NOTE: QCommandLineParser's own help and version options call exit(); ours return instead,
// so that the caller (and the tests) decide what happens next.
const QCommandLineOption& helpOption() {
    static const QCommandLineOption option({"h", "help"}, "Show this help and exit.");
    return option;
}

const QCommandLineOption& versionOption() {
    static const QCommandLineOption option("version", "Show the version and exit.");
    return option;
}

std::string versionText() {
    return std::string("ostrel ") + kVersion;
}

namespace {

const QCommandLineOption& normalPriorityOption() {
    static const QCommandLineOption option(
        "normal-priority",
        "Keep the step timing at normal scheduling priority. By default it runs at real-time "
        "priority (or a lower nice value) while timers run, where the system allows it.");
    return option;
}

const QCommandLineOption& interlockOption() {
    static const QCommandLineOption option(
        "interlock",
        "A door or emergency-stop switch on a free status input: pin10, pin13 or pin15, with "
        ":open-high (the input reads high while the switch is open, the default) or :open-low; "
        "none for no interlock. While it is open, Run, the laser buttons and the head's moves "
        "are refused; when it opens, a job pauses and everything else stops, the laser off. "
        "See docs/interlock.md.",
        "INPUT");
    return option;
}

// The --interlock value into `setting`; false with a message on `err` for a bad one.
bool readInterlock(const QCommandLineParser& parser, const char* command, std::ostream& err,
                   std::optional<machine::InterlockSetting>& setting) {
    if (!parser.isSet(interlockOption())) return true;
    std::string error;
    setting = machine::parseInterlock(parser.value(interlockOption()).toStdString(), error);
    if (!setting) err << command << ": --interlock: " << error << '\n';
    return setting.has_value();
}

// "sim" (with its options, "sim:fail-after=N", which opening the port checks), or "ppdev:" with
// an absolute device path ("ppdev:/dev/parport0").
bool validPortSpec(const QString& spec) {
    if (spec == "sim" || spec.startsWith("sim:")) return true;
    return spec.startsWith("ppdev:/dev/") && spec.size() > 11;
}

}  // namespace

std::string fullHelp(const QCommandLineParser& parser, const char* usage, const std::string& more) {
    std::string text = parser.helpText().toStdString();
    // Qt prints its own usage line from argv[0]; ours names the subcommand too.
    const size_t firstLine = text.find('\n');
    text = std::string("Usage: ") + usage +
           (firstLine == std::string::npos ? "\n" : text.substr(firstLine));
    return text + more;
}

namespace {

std::string numberText(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

// The set-up lines with the start state they give when a script leaves them out, then the rest
// of the format in brief.
std::string scriptFormatHelp() {
    const machine::SimConfig d;
    const std::pair<const char*, std::string> setUp[] = {
        {"head X Y            true head position, full steps from the switches",
         numberText(d.headX) + " " + numberText(d.headY)},
        {"rotor AX AY         rotor angles of the X and Y motors, 0-7",
         std::to_string(d.rotorX) + " " + std::to_string(d.rotorY)},
        {"port DATA CONTROL   register contents at start",
         std::to_string(d.data) + " " + std::to_string(d.control)},
        {"noise on|off        bit 0 of every status read random", d.noise ? "on" : "off"},
        {"seed N              seed of that noise, so that a run repeats", std::to_string(d.seed)},
    };
    std::string text = "\nSet-up lines before 'start', with their defaults:\n";
    for (const auto& [line, value] : setUp) text += "  " + std::string(line) + " (" + value + ")\n";
    return text +
           "Then: start, wait MS, until-idle [MAXMS], click NAME, mousedown NAME,\n"
           "mouseup NAME, set NAME VALUE, dialog PATH|cancel, focus-lost,\n"
           "expect NAME VALUE, dump, door open|closed (with --interlock; also before\n"
           "start). # starts a comment; quote values with blanks.\n"
           "\nExit status: 0 every expect held; 1 an expect failed or an event was not\n"
           "available; 2 a malformed script or a file that cannot be used; 3 a port\n"
           "write failed (see the fail-after and fail-write set-up lines), the rest tried;\n"
           "128+N stopped by signal N (SIGINT 130, SIGTERM 143), the machine at rest.\n"
           "The whole format: docs/scenarios.md.\n";
}

}  // namespace

std::optional<GuiOptions> parseGuiCommandLine(int argc, char** argv, int& exitCode) {
    return parseGuiCommandLine(argc, argv, exitCode, std::cout, std::cerr);
}

std::optional<GuiOptions> parseGuiCommandLine(int argc, char** argv, int& exitCode,
                                              std::ostream& out, std::ostream& err) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Ostrel: the controller of a two-axis laser engraver on a parallel port.");
    const QCommandLineOption port("port",
                                  "The port backend: sim (the simulated engraver, the "
                                  "default) or ppdev:/dev/parportN (a real port).",
                                  "sim|ppdev:/dev/parportN", "sim");
    const QCommandLineOption trace("trace", "Write every port write to FILE as CSV.", "FILE");
    parser.addOptions(
        {helpOption(), versionOption(), port, trace, normalPriorityOption(), interlockOption()});
#ifdef OSTREL_TEST_HOOKS
    QCommandLineOption testHook(
        "test-hook",
        QString::fromStdString("For the test suite only: energise the machine after start-up, "
                               "then end as NAME says (" +
                               testhooks::names() + ")."),
        "NAME");
    testHook.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(testHook);
#endif

    exitCode = 0;
    if (!parser.parse(toArguments(argc, argv, 1))) {
        err << "ostrel: " << parser.errorText().toStdString() << "\nTry 'ostrel --help'.\n";
        exitCode = kUsageError;
        return std::nullopt;
    }
    if (parser.isSet(helpOption())) {
        out << fullHelp(
            parser,
            "ostrel [--port sim|ppdev:/dev/parportN] [--trace FILE] [--normal-priority] "
            "[--interlock INPUT]",
            "\nCommands:\n"
            "  ostrel script FILE [...]   Run a scenario of operator actions headless,\n"
            "                             in virtual time (ostrel script --help).\n"
            "  ostrel simulate [...]      Run a whole job headless and write the burn\n"
            "                             picture (ostrel simulate --help).\n"
            "  ostrel latency [...]       Test this computer's step timing; the port is\n"
            "                             not written (ostrel latency --help).\n");
        return std::nullopt;
    }
    if (parser.isSet(versionOption())) {
        out << "ostrel " << kVersion << '\n';
        return std::nullopt;
    }
    if (!parser.positionalArguments().isEmpty()) {
        err << "ostrel: unexpected argument '" << parser.positionalArguments().first().toStdString()
            << "'\nTry 'ostrel --help'.\n";
        exitCode = kUsageError;
        return std::nullopt;
    }
    GuiOptions options;
    const QString spec = parser.value(port);
    if (!validPortSpec(spec)) {
        err << "ostrel: bad --port value '" << spec.toStdString()
            << "': use 'sim' or 'ppdev:/dev/parportN'\n";
        exitCode = kUsageError;
        return std::nullopt;
    }
    options.port = spec.toStdString();
    options.normalPriority = parser.isSet(normalPriorityOption());
    if (!readInterlock(parser, "ostrel", err, options.interlock)) {
        exitCode = kUsageError;
        return std::nullopt;
    }
    options.tracePath = parser.value(trace).toStdString();
    if (parser.isSet(trace) && options.tracePath.empty()) {
        err << "ostrel: --trace needs a file name\n";
        exitCode = kUsageError;
        return std::nullopt;
    }
#ifdef OSTREL_TEST_HOOKS
    options.testHook = parser.value(testHook).toStdString();
    if (parser.isSet(testHook) && !testhooks::known(options.testHook)) {
        err << "ostrel: unknown --test-hook '" << options.testHook << "': use one of "
            << testhooks::names() << '\n';
        exitCode = kUsageError;
        return std::nullopt;
    }
#endif
    return options;
}

std::optional<ScriptCommand> parseScriptCommandLine(int argc, char** argv, int& exitCode,
                                                    std::ostream& out, std::ostream& err) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Runs a scenario of operator actions in virtual time against the simulated engraver.");
    const QCommandLineOption trace("trace",
                                   "Write every port write to OUT.csv "
                                   "(t_ms,op,port,value).",
                                   "OUT.csv");
    const QCommandLineOption traceReads("trace-reads", "Write the port reads to the trace too.");
    const QCommandLineOption dump("dump", "Write the final state to OUT.json as one object.",
                                  "OUT.json");
    const QCommandLineOption folder("folder",
                                    "The program's folder, where it writes its files "
                                    "(default: the current directory).",
                                    "DIR");
    const QCommandLineOption verbose("verbose",
                                     "Print every step and every ignored event on "
                                     "standard error; with --realtime, then how late the "
                                     "ticks came.");
    const QCommandLineOption realtime("realtime",
                                      "Run in real time on the Qt event loop, with the windows "
                                      "drawn off screen (traces to the microsecond).");
    parser.addOptions({helpOption(), versionOption(), trace, traceReads, dump, folder, verbose,
                       realtime, normalPriorityOption(), interlockOption()});
    parser.addPositionalArgument("FILE", "The scenario script.");

    exitCode = 0;
    // argv[1] is the subcommand itself.
    if (!parser.parse(toArguments(argc, argv, 2))) {
        err << "ostrel script: " << parser.errorText().toStdString()
            << "\nTry 'ostrel script --help'.\n";
        exitCode = kUsageError;
        return std::nullopt;
    }
    if (parser.isSet(helpOption())) {
        out << fullHelp(parser,
                        "ostrel script FILE [--trace OUT.csv] [--trace-reads] [--dump OUT.json] "
                        "[--folder DIR] [--verbose] [--realtime [--normal-priority]] "
                        "[--interlock INPUT]",
                        scriptFormatHelp());
        return std::nullopt;
    }
    if (parser.isSet(versionOption())) {
        out << "ostrel " << kVersion << '\n';
        return std::nullopt;
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1) {
        err << "ostrel script: "
            << (files.isEmpty() ? "no scenario FILE given" : "more than one FILE given")
            << "\nTry 'ostrel script --help'.\n";
        exitCode = kUsageError;
        return std::nullopt;
    }
    ScriptCommand command;
    command.scriptPath = rawArgument(argc, argv, 2, files.first());
    ScriptOptions& o = command.options;
    o.tracePath = rawArgument(argc, argv, 2, parser.value(trace));
    o.traceReads = parser.isSet(traceReads);
    o.dumpPath = rawArgument(argc, argv, 2, parser.value(dump));
    o.folder = rawArgument(argc, argv, 2, parser.value(folder));
    o.verbose = parser.isSet(verbose);
    o.realtime = parser.isSet(realtime);
    o.normalPriority = parser.isSet(normalPriorityOption());
    std::optional<machine::InterlockSetting> interlock;
    if (!readInterlock(parser, "ostrel script", err, interlock)) {
        exitCode = kUsageError;
        return std::nullopt;
    }
    o.interlock = interlock.value_or(machine::InterlockSetting{});
    if (o.normalPriority && !o.realtime) {
        err << "ostrel script: --normal-priority needs --realtime (virtual time has no "
               "priority)\n";
        exitCode = kUsageError;
        return std::nullopt;
    }
    if ((parser.isSet(trace) && o.tracePath.empty()) ||
        (parser.isSet(dump) && o.dumpPath.empty())) {
        err << "ostrel script: --trace and --dump need a file name\n";
        exitCode = kUsageError;
        return std::nullopt;
    }
    if (o.traceReads && o.tracePath.empty()) {
        err << "ostrel script: --trace-reads needs --trace OUT.csv\n";
        exitCode = kUsageError;
        return std::nullopt;
    }
    if (parser.isSet(folder) && !QFileInfo(parser.value(folder)).isDir()) {
        err << "ostrel script: --folder " << o.folder << " is not a folder\n";
        exitCode = kUsageError;
        return std::nullopt;
    }
    return command;
}

}  // namespace ostrel::app
