// Command-line options shared by the GUI and the headless commands.
#pragma once

#include <QStringList>
#include <iosfwd>
#include <optional>
#include <string>

#include "app/Script.h"

class QCommandLineOption;
class QCommandLineParser;
#include "machine/SimEngraver.h"

namespace ostrel::app {

struct GuiOptions {
    std::string port = "sim";     // --port sim | ppdev:/dev/parportN
    machine::SimConfig sim;       // start state of the simulated engraver
    std::string tracePath;        // --trace FILE: every port write, flushed per row
    std::string testHook;         // --test-hook NAME: only in ostrel-testhooks
    bool normalPriority = false;  // --normal-priority: never raise the step timing's priority
    // --interlock pin10|pin13|pin15[:open-high|open-low] or none; unset when not given (the
    // program then takes the remembered one).
    std::optional<machine::InterlockSetting> interlock;
};

// Exit code of a command line that cannot be used (unknown option, bad value).
inline constexpr int kUsageError = 2;

// What every command's QCommandLineParser shares: argv from `from` on with the program's name
// first; -h/--help and --version, which our commands answer themselves (Qt's own call exit());
// "ostrel VERSION"; and the help text under a usage line of our own.
QStringList toArguments(int argc, char** argv, int from);
// A file name as the bytes it was given in argv (from `from` on), for a value the parser decoded:
// a name that is not valid UTF-8 still names its file.
std::string rawArgument(int argc, char** argv, int from, const QString& value);
const QCommandLineOption& helpOption();
const QCommandLineOption& versionOption();
std::string versionText();
std::string fullHelp(const QCommandLineParser& parser, const char* usage, const std::string& more);

// Parses `ostrel [options]` with QCommandLineParser. Handles --help and --version itself
// (prints and returns nullopt with exitCode 0); a bad option returns nullopt with exitCode 2
// and a message on standard error.
std::optional<GuiOptions> parseGuiCommandLine(int argc, char** argv, int& exitCode);
// The same, printing help and version on `out` and errors on `err`.
std::optional<GuiOptions> parseGuiCommandLine(int argc, char** argv, int& exitCode,
                                              std::ostream& out, std::ostream& err);

struct ScriptCommand {
    std::string scriptPath;
    ScriptOptions options;
};

// Parses `ostrel script FILE [--trace OUT.csv] [--trace-reads] [--dump OUT.json]
// [--folder DIR] [--verbose] [--realtime [--normal-priority]] [--interlock INPUT]`; argv[1] is
// "script". Same
// conventions as parseGuiCommandLine.
std::optional<ScriptCommand> parseScriptCommandLine(int argc, char** argv, int& exitCode,
                                                    std::ostream& out, std::ostream& err);

}  // namespace ostrel::app
