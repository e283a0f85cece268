// The scenario parser: every malformed line is refused with its line number before anything runs.
#include <gtest/gtest.h>

#include <sstream>

#include "app/Inputs.h"
#include "app/Script.h"

namespace ostrel::app {
namespace {

struct Malformed {
    const char* script;
    int line;
    const char* reason;  // part of the message
};

// One malformed line per script; the lines before it are well formed.
const Malformed kMalformed[] = {
    {"bogus", 1, "unknown command \"bogus\""},
    {"start\nClick Command3", 2, "unknown command"},
    {"start\nwait", 2, "wrong argument count"},
    {"start\nwait 1 2", 2, "wrong argument count"},
    {"start\nuntil-idle 1 2", 2, "wrong argument count"},
    {"start\ndump now", 2, "wrong argument count"},
    {"start\nfocus-lost Command1(3)", 2, "wrong argument count"},
    {"start\nexpect xHomed", 2, "wrong argument count"},
    {"start\nexpect Label7.Caption Please wait", 2, "wrong argument count"},
    {"head 1", 1, "wrong argument count"},
    {"start\nclick Command9", 2, "unknown control \"Command9\""},
    {"start\nclick Command2(2)", 2, "unknown control"},  // the array has no index 2
    {"start\nmousedown Timer1", 2, "unknown control"},
    {"start\nmouseup command1(3)", 2, "unknown control"},  // names are case-sensitive
    {"start\nset Combo3 10", 2, "unknown control"},
    {"start\nset HScroll3 255", 2, "out of range 0..254"},
    {"start\nset HScroll1 254", 2, "out of range 255..1935"},
    {"start\nset VScroll2 1576", 2, "out of range 255..1575"},
    {"start\nset HScroll3 ten", 2, "not a whole number"},
    {"start\nset Check1 2", 2, "out of range 0..1"},
    {"start\nset Option1 yes", 2, "out of range"},
    {"start\nset Command3 1", 2, "has no value to set"},
    {"rotor 8 0", 1, "out of range 0..7"},
    {"rotor 0 -1", 1, "out of range 0..7"},
    {"port 256 202", 1, "out of range 0..255"},
    {"port 0 x", 1, "not a whole number"},
    {"head 1101 0", 1, "out of range -4..1100"},
    {"head 0 -5", 1, "out of range -4..280"},
    {"head 1.3 0", 1, "not a whole or half step"},
    {"head nan 0", 1, "not a whole or half step"},
    {"noise maybe", 1, "out of range (on or off)"},
    {"seed -1", 1, "out of range"},
    {"seed 4294967296", 1, "out of range"},
    {"start\nwait -5", 2, "out of range"},
    {"start\nwait 10ms", 2, "not a whole number"},
    {"start\nwait 2592000001", 2, "out of range"},
    {"start\nuntil-idle -1", 2, "out of range"},
    {"start\nexpect nothing 1", 2, "unknown NAME \"nothing\" in expect"},
    {"start\nexpect Label1(0).Colour 1", 2, "unknown NAME"},
    {"start\nexpect port.889 126", 2, "unknown NAME"},
    {"start\nexpect sim.z 0", 2, "unknown NAME"},
    {"click Command3", 1, "click before start"},
    {"# set-up\nexpect xHomed True", 2, "expect before start"},
    {"dump", 1, "dump before start"},
    {"wait 10", 1, "wait before start"},
    {"focus-lost", 1, "focus-lost before start"},
    {"start\nhead 1 1", 2, "head after start (line 1)"},
    {"start\nnoise on", 2, "noise after start"},
    {"start\n\nstart", 3, "start after start (line 1): start is given once"},
    {"start\nexpect Label7.Caption \"open", 2, "unterminated quote"},
    {"start\nexpect Label7.Caption ab\"c\"", 2, "a quote inside a word"},
    {"start\nexpect Label7.Caption \"a\"b", 2, "a closing quote must end its word"},
    {"start\ndialog \"\"", 2, "dialog needs a path"},
    {"start\ndoor ajar", 2, "door \"ajar\" is out of range (open or closed)"},
    {"door", 1, "wrong argument count (0): use door open|closed"},
};

TEST(ScriptParser, EachMalformedLineIsRefusedWithItsLineNumber) {
    for (const Malformed& m : kMalformed) {
        SCOPED_TRACE(m.script);
        const ParseResult result = parseScenario(m.script);
        ASSERT_EQ(result.errors.size(), 1u);
        EXPECT_EQ(result.errors[0].line, m.line);
        EXPECT_NE(result.errors[0].reason.find(m.reason), std::string::npos)
            << result.errors[0].reason;

        // The command refuses it with exit code 2 and names the line.
        std::ostringstream out;
        EXPECT_EQ(runScenario(m.script, ScriptOptions{}, out), kScriptMalformed);
        EXPECT_NE(out.str().find("line " + std::to_string(m.line) + ": "), std::string::npos)
            << out.str();
    }
}

TEST(ScriptParser, ReportsEveryMalformedLine) {
    const ParseResult result =
        parseScenario("head 0 0\nfoo\nstart\nwait x\nexpect xHomed True\nbar");
    ASSERT_EQ(result.errors.size(), 3u);
    EXPECT_EQ(result.errors[0].line, 2);
    EXPECT_EQ(result.errors[1].line, 4);
    EXPECT_EQ(result.errors[2].line, 6);
    EXPECT_EQ(result.errors[1].message().rfind("line 4: ", 0), 0u);
}

TEST(ScriptParser, NothingRunsWhenALaterLineIsMalformed) {
    std::ostringstream out;
    // The dump on line 2 would print a JSON line if the script started before being checked.
    EXPECT_EQ(runScenario("start\ndump\nexpect xHomed True\nwiat 10\n", ScriptOptions{}, out),
              kScriptMalformed);
    EXPECT_EQ(out.str().find('{'), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("line 4: unknown command \"wiat\""), std::string::npos);
}

TEST(ScriptParser, SetUpLinesBecomeTheStartStateAndDefaultsHold) {
    const machine::SimConfig defaults = parseScenario("start").scenario.start;
    EXPECT_EQ(defaults.headX, 0);
    EXPECT_EQ(defaults.headY, 0);
    EXPECT_EQ(defaults.rotorX, 0);
    EXPECT_EQ(defaults.rotorY, 0);
    EXPECT_EQ(defaults.data, 0);
    EXPECT_EQ(defaults.control, 202);
    EXPECT_FALSE(defaults.noise);

    const ParseResult r =
        parseScenario("head 6.5 -4\nrotor 7 3\nport 3 203\nnoise on\nseed 4294967295\nstart\n");
    ASSERT_TRUE(r.ok());
    const machine::SimConfig& s = r.scenario.start;
    EXPECT_EQ(s.headX, 6.5);
    EXPECT_EQ(s.headY, -4);
    EXPECT_EQ(s.rotorX, 7);
    EXPECT_EQ(s.rotorY, 3);
    EXPECT_EQ(s.data, 3);
    EXPECT_EQ(s.control, 203);
    EXPECT_TRUE(s.noise);
    EXPECT_EQ(s.seed, 4294967295u);
    ASSERT_EQ(r.scenario.steps.size(), 1u);
    EXPECT_EQ(r.scenario.steps[0].kind, StepKind::Start);
    EXPECT_EQ(r.scenario.steps[0].line, 6);
}

TEST(ScriptParser, StepsKeepTheirLineNumbersValuesAndDefaults) {
    const ParseResult r = parseScenario(
        "# comment line\r\n"
        "dialog pictures/cat.jpg\r\n"
        "start   # the window\r\n"
        "\r\n"
        "until-idle\r\n"
        "until-idle 500\r\n"
        "dialog cancel\r\n"
        "set Combo1 \"\"\r\n"
        "expect Label7.Caption \"  Please wait - Initialize X\"  # keeps its blanks\r\n"
        "expect Combo1.Text \"a # b \\\"q\\\" \\\\\"\r\n"
        "mousedown Command1(3)\r\n"
        "focus-lost\r\n");
    ASSERT_TRUE(r.ok()) << r.errors[0].message();
    const std::vector<Step>& s = r.scenario.steps;
    ASSERT_EQ(s.size(), 10u);
    EXPECT_EQ(s[0].kind, StepKind::Dialog);
    EXPECT_EQ(s[0].value, "pictures/cat.jpg");
    EXPECT_EQ(s[0].line, 2);
    EXPECT_EQ(s[1].kind, StepKind::Start);
    EXPECT_EQ(s[2].kind, StepKind::UntilIdle);
    EXPECT_EQ(s[2].ms, kUntilIdleDefaultMs);
    EXPECT_EQ(s[2].line, 5);
    EXPECT_EQ(s[3].ms, 500);
    EXPECT_EQ(s[4].kind, StepKind::Dialog);
    EXPECT_EQ(s[4].value, "");  // cancel
    EXPECT_EQ(s[5].kind, StepKind::Set);
    EXPECT_EQ(s[5].value, "");
    EXPECT_EQ(s[6].name, "Label7.Caption");
    EXPECT_EQ(s[6].value, "  Please wait - Initialize X");
    EXPECT_EQ(s[7].value, "a # b \"q\" \\");
    EXPECT_EQ(s[8].kind, StepKind::MouseDown);
    EXPECT_EQ(s[8].name, "Command1(3)");
    EXPECT_EQ(s[9].kind, StepKind::FocusLost);
    EXPECT_EQ(s[9].line, 12);
}

TEST(ScriptParser, AcceptsEveryNameTheRunnerCanRead) {
    std::string script = "start\n";
    for (const std::string& n : machineValueNames()) script += "expect " + n + " 0\n";
    for (const char* n :
         {"xStepCount", "Timer10.Enabled", "Label1(1).Caption", "Command2(6).BackColor",
          "Picture2.Point(3,4)", "Combo1.List(6)", "Option2.Value", "HScroll3.Max"}) {
        script += std::string("expect ") + n + " 0\n";
    }
    const ParseResult r = parseScenario(script);
    EXPECT_TRUE(r.ok()) << (r.ok() ? "" : r.errors[0].message());
}

TEST(ScriptParser, EmptyScriptAndSetUpOnlyAreWellFormed) {
    EXPECT_TRUE(parseScenario("").ok());
    EXPECT_TRUE(parseScenario("\n\n# nothing\n").ok());
    EXPECT_TRUE(parseScenario("head 1 1\nport 0 202").ok());
}

struct Split {
    const char* line;
    std::vector<std::string> words;
};

TEST(ScriptParser, SplitsWordsQuotesAndComments) {
    const Split cases[] = {
        {"", {}},
        {"   \t ", {}},
        {"# all comment", {}},
        {"click Command2(1)", {"click", "Command2(1)"}},
        {"wait 5#no blank before the comment", {"wait", "5"}},
        {"\texpect  a\t\"b c\"  ", {"expect", "a", "b c"}},
        {"expect a \"\"", {"expect", "a", ""}},
        {"expect a \"#\"#x", {"expect", "a", "#"}},
    };
    for (const Split& c : cases) {
        SCOPED_TRACE(c.line);
        std::vector<std::string> words;
        std::string reason;
        ASSERT_TRUE(splitScriptLine(c.line, words, reason)) << reason;
        EXPECT_EQ(words, c.words);
    }
}

// Bytes from a script as messages show them: printable text as it is, everything a terminal
// would act on escaped, a long text cut with its length.
TEST(Shown, EscapesWhatATerminalWouldActOnAndCutsLongTexts) {
    const struct {
        std::string bytes;
        const char* text;
    } cases[] = {
        {"plain words", "plain words"},
        {"a\\b", "a\\\\b"},
        {"\x1b[2J\x07", "\\x1B[2J\\x07"},
        {"tab\there\r\n", "tab\\there\\r\\n"},
        {"\x7f", "\\x7F"},
        {"Gr\xc3\xbc\xc3\x9f"
         "e \xe2\x82\xac",
         "Gr\xc3\xbc\xc3\x9f"
         "e \xe2\x82\xac"},                   // UTF-8 stays
        {"\xc2\x9b", "\\xC2\\x9B"},           // C1 control (CSI)
        {"\xff\xfe", "\\xFF\\xFE"},           // not UTF-8
        {"\xe2\x82", "\\xE2\\x82"},           // cut sequence
        {"\xed\xa0\x80", "\\xED\\xA0\\x80"},  // a surrogate
    };
    for (const auto& c : cases) EXPECT_EQ(shown(c.bytes), c.text) << c.bytes;
    EXPECT_EQ(shown(std::string(100, 'y'), 10), "yyyyyyyyyy... (100 bytes)");
    EXPECT_EQ(shown(std::string(10, 'y'), 10), "yyyyyyyyyy");
}

TEST(ParseScenario, AByteOrderMarkIsNoPartOfTheFirstCommand) {
    const ParseResult r = parseScenario("\xEF\xBB\xBFhead 3 4\nstart\n");
    ASSERT_TRUE(r.ok()) << r.errors.front().message();
    EXPECT_EQ(r.scenario.start.headX, 3);
    EXPECT_FALSE(parseScenario("start\n\xEF\xBB\xBFwait 1\n").ok()) << "only at the start";
}

TEST(ParseScenario, EchoedWordsAreEscapedAndOnlyTheFirstErrorsPrinted) {
    const ParseResult r = parseScenario("start\nclick \"\x1b[31m\"\nset HScroll3 \x9b\n");
    ASSERT_EQ(r.errors.size(), 2u);
    EXPECT_EQ(r.errors[0].message(), "line 2: unknown control \"\\x1B[31m\"");
    EXPECT_EQ(r.errors[1].message(), "line 3: HScroll3 value \"\\x9B\" is not a whole number");

    std::string garbage;
    for (int i = 0; i < 500; ++i) garbage += "bogus\n";
    std::ostringstream err;
    printParseErrors(parseScenario(garbage), err);
    EXPECT_NE(err.str().find("line 20: unknown command"), std::string::npos);
    EXPECT_EQ(err.str().find("line 21:"), std::string::npos);
    EXPECT_NE(err.str().find("... and 480 more malformed lines\n"), std::string::npos);
}

}  // namespace
}  // namespace ostrel::app
