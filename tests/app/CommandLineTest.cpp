// Command-line parsing in-process: the GUI's options and those of `ostrel script`.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "app/CommandLine.h"

namespace ostrel::app {
namespace {

// argv as main() gets it, kept alive for the call.
struct Argv {
    explicit Argv(std::vector<std::string> args) : strings(std::move(args)) {
        for (std::string& s : strings) pointers.push_back(s.data());
        pointers.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(strings.size()); }
    char** argv() { return pointers.data(); }
    std::vector<std::string> strings;
    std::vector<char*> pointers;
};

struct GuiCase {
    std::vector<std::string> args;
    int exitCode;        // when no options come back
    const char* port;    // when options come back; null = none expected
    const char* output;  // part of the printed text
};

const GuiCase kGuiCases[] = {
    {{"ostrel"}, 0, "sim", ""},
    {{"ostrel", "--port", "sim"}, 0, "sim", ""},
    {{"ostrel", "--port=ppdev:/dev/parport0"}, 0, "ppdev:/dev/parport0", ""},
    {{"ostrel", "--port", "ppdev:/dev/parport1", "--trace", "t.csv"}, 0, "ppdev:/dev/parport1", ""},
    {{"ostrel", "--port", "lpt1"}, 2, nullptr, "bad --port value 'lpt1'"},
    {{"ostrel", "--port", "ppdev:"}, 2, nullptr, "bad --port value"},
    {{"ostrel", "--port", "ppdev:parport0"}, 2, nullptr, "bad --port value"},
    {{"ostrel", "--port"}, 2, nullptr, "Missing value after '--port'"},
    {{"ostrel", "--bogus"}, 2, nullptr, "Unknown option 'bogus'"},
    {{"ostrel", "extra"}, 2, nullptr, "unexpected argument 'extra'"},
    {{"ostrel", "--trace="}, 2, nullptr, "--trace needs a file name"},
    {{"ostrel", "--help"}, 0, nullptr, "ostrel script FILE"},
    {{"ostrel", "-h"}, 0, nullptr, "ostrel simulate"},
    {{"ostrel", "--version"}, 0, nullptr, "ostrel 1.0.0\n"},
    {{"ostrel", "--interlock", "pin15:open-low"}, 0, "sim", ""},
    {{"ostrel", "--interlock", "pin11"}, 2, nullptr, "--interlock: bad interlock 'pin11'"},
    {{"ostrel", "--interlock"}, 2, nullptr, "Missing value after '--interlock'"},
};

TEST(CommandLine, GuiOptionsTable) {
    for (const GuiCase& c : kGuiCases) {
        SCOPED_TRACE(c.args.back());
        Argv a(c.args);
        std::ostringstream out, err;
        int exitCode = -1;
        const std::optional<GuiOptions> options =
            parseGuiCommandLine(a.argc(), a.argv(), exitCode, out, err);
        EXPECT_EQ(exitCode, c.exitCode);
        if (c.port) {
            ASSERT_TRUE(options.has_value()) << err.str();
            EXPECT_EQ(options->port, c.port);
        } else {
            EXPECT_FALSE(options.has_value());
            EXPECT_NE((out.str() + err.str()).find(c.output), std::string::npos)
                << out.str() << err.str();
            // Help and version go to standard output, complaints to standard error.
            EXPECT_EQ(c.exitCode == 0, err.str().empty());
        }
    }
}

TEST(CommandLine, GuiTracePathAndPriorityAreKept) {
    Argv a({"ostrel", "--trace", "/tmp/t.csv", "--normal-priority"});
    std::ostringstream out, err;
    int exitCode = -1;
    const auto options = parseGuiCommandLine(a.argc(), a.argv(), exitCode, out, err);
    ASSERT_TRUE(options);
    EXPECT_EQ(options->tracePath, "/tmp/t.csv");
    EXPECT_TRUE(options->normalPriority);
    Argv plain({"ostrel"});
    const auto defaults = parseGuiCommandLine(plain.argc(), plain.argv(), exitCode, out, err);
    ASSERT_TRUE(defaults);
    EXPECT_FALSE(defaults->normalPriority);
}

struct ScriptCase {
    std::vector<std::string> args;
    int exitCode;
    const char* output;  // part of the printed text; "" when options come back
};

const ScriptCase kScriptCases[] = {
    {{"ostrel", "script"}, 2, "no scenario FILE given"},
    {{"ostrel", "script", "a.scn", "b.scn"}, 2, "more than one FILE"},
    {{"ostrel", "script", "a.scn", "--trace"}, 2, "Missing value after '--trace'"},
    {{"ostrel", "script", "a.scn", "--trace-reads"}, 2, "--trace-reads needs --trace"},
    {{"ostrel", "script", "a.scn", "--dump="}, 2, "need a file name"},
    {{"ostrel", "script", "a.scn", "--folder", "/nonexistent-folder"}, 2, "is not a folder"},
    {{"ostrel", "script", "a.scn", "--port", "sim"}, 2, "Unknown option 'port'"},
    {{"ostrel", "script", "a.scn", "--normal-priority"}, 2, "--normal-priority needs --realtime"},
    {{"ostrel", "script", "--help"}, 0, "port DATA CONTROL   register contents at start (0 202)"},
    {{"ostrel", "script", "--version"}, 0, "ostrel 1.0.0"},
    {{"ostrel", "script", "a.scn", "--interlock", "pin13:closed-low"}, 2, "bad interlock"},
};

TEST(CommandLine, ScriptOptionsTable) {
    for (const ScriptCase& c : kScriptCases) {
        SCOPED_TRACE(c.args.back());
        Argv a(c.args);
        std::ostringstream out, err;
        int exitCode = -1;
        EXPECT_FALSE(parseScriptCommandLine(a.argc(), a.argv(), exitCode, out, err));
        EXPECT_EQ(exitCode, c.exitCode);
        EXPECT_NE((out.str() + err.str()).find(c.output), std::string::npos)
            << out.str() << err.str();
    }
}

TEST(CommandLine, ScriptHelpDocumentsTheDefaults) {
    Argv a({"ostrel", "script", "-h"});
    std::ostringstream out, err;
    int exitCode = -1;
    EXPECT_FALSE(parseScriptCommandLine(a.argc(), a.argv(), exitCode, out, err));
    for (const char* line : {"head X Y", "(0 0)", "rotor AX AY", "noise on|off", "(off)", "seed N",
                             "--trace-reads", "--dump", "Exit status"}) {
        EXPECT_NE(out.str().find(line), std::string::npos) << line;
    }
}

TEST(CommandLine, ScriptOptionsAreKept) {
    Argv a({"ostrel", "script", "--trace", "t.csv", "s.scn", "--trace-reads", "--dump", "d.json",
            "--folder", "/tmp", "--verbose", "--realtime", "--normal-priority"});
    std::ostringstream out, err;
    int exitCode = -1;
    const auto command = parseScriptCommandLine(a.argc(), a.argv(), exitCode, out, err);
    ASSERT_TRUE(command) << err.str();
    EXPECT_EQ(command->scriptPath, "s.scn");
    EXPECT_EQ(command->options.tracePath, "t.csv");
    EXPECT_TRUE(command->options.traceReads);
    EXPECT_EQ(command->options.dumpPath, "d.json");
    EXPECT_EQ(command->options.folder, "/tmp");
    EXPECT_TRUE(command->options.verbose);
    EXPECT_TRUE(command->options.realtime);
    EXPECT_TRUE(command->options.normalPriority);
}

TEST(CommandLine, TheInterlockIsUnsetUntilGivenAndKeptAsGiven) {
    std::ostringstream out, err;
    int exitCode = -1;
    Argv plain({"ostrel"});
    const auto none = parseGuiCommandLine(plain.argc(), plain.argv(), exitCode, out, err);
    ASSERT_TRUE(none);
    EXPECT_FALSE(none->interlock) << "the remembered one is taken";
    for (const auto& [text, pin, openHigh] :
         {std::tuple{"none", 0, true}, std::tuple{"pin10", 10, true},
          std::tuple{"pin13:open-low", 13, false}}) {
        SCOPED_TRACE(text);
        Argv gui({"ostrel", "--interlock", text});
        const auto options = parseGuiCommandLine(gui.argc(), gui.argv(), exitCode, out, err);
        ASSERT_TRUE(options && options->interlock);
        EXPECT_EQ(*options->interlock, (machine::InterlockSetting{pin, openHigh}));
        Argv script({"ostrel", "script", "s.scn", std::string("--interlock=") + text});
        const auto command =
            parseScriptCommandLine(script.argc(), script.argv(), exitCode, out, err);
        ASSERT_TRUE(command) << err.str();
        EXPECT_EQ(command->options.interlock, (machine::InterlockSetting{pin, openHigh}));
    }
    Argv script({"ostrel", "script", "s.scn"});
    const auto command = parseScriptCommandLine(script.argc(), script.argv(), exitCode, out, err);
    ASSERT_TRUE(command);
    EXPECT_FALSE(command->options.interlock.configured());
}

}  // namespace
}  // namespace ostrel::app
