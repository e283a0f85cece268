// The interlock in `ostrel script`: door lines, the refusals and the trip as a scenario shows
// them, in-process and with the real binary.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <sstream>

#include "app/SafetyChild.h"
#include "app/Script.h"
#include "engraver/Interlock.h"

namespace ostrel::app {
namespace {

// A frame cut with Auto: refused while the door is open at power-on, started once it is closed,
// paused when it opens again, then Run and the laser refused.
constexpr const char* kFrameScenario = R"(door open
start
click Option2
click Command6                 # Auto: refused
expect Command6.Caption Auto
click Command2(1)              # Run: refused
expect Timer8.Enabled False
door closed
click Command6
click Command2(1)
wait 300
expect port.890 203
door open
wait 20
expect Timer8.Enabled False
expect Timer9.Enabled False
expect port.890 202
expect sim.laser False
click Command2(1)              # refused
click Command4                 # refused
expect port.890 202
)";

size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST(InterlockScript, DoorLinesOpenAndCloseTheSwitchTheCoreWatches) {
    for (const char* input : {"pin10", "pin13:open-low", "pin15:open-high"}) {
        SCOPED_TRACE(input);
        ScriptOptions options;
        std::string error;
        options.interlock = *machine::parseInterlock(input, error);
        std::ostringstream out, err;
        EXPECT_EQ(runScenario(kFrameScenario, options, out, err), kScriptPassed)
            << out.str() << err.str();
        const std::string refusal = std::string("error: ") + engraver::Interlock::kRefusal;
        EXPECT_EQ(count(out.str(), refusal), 4u) << out.str();
        EXPECT_EQ(count(out.str(), "interlock opened"), 1u) << out.str();
        EXPECT_NE(out.str().find("the job is paused"), std::string::npos);
    }
}

TEST(InterlockScript, ADoorLineWithoutAnInterlockIsAFailure) {
    std::ostringstream out, err;
    EXPECT_EQ(runScenario("start\ndoor open\nclick Command4\nexpect port.890 203\n", {}, out, err),
              kScriptFailed);
    EXPECT_EQ(out.str(),
              "line 2: door: the simulated engraver has no interlock switch (give --interlock)\n");
}

TEST(InterlockScript, TheBinaryLeavesTheLaserOffAndExitsWithTheScriptsStatus) {
    QTemporaryDir dir;
    QFile script(dir.filePath("door.scn"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(kFrameScenario);
    script.close();
    const QString trace = dir.filePath("trace.csv");
    const QString dump = dir.filePath("state.json");
    QProcess child;
    test::startOstrel(child,
                      {"script", script.fileName(), "--interlock", "pin13:open-low", "--trace",
                       trace, "--dump", dump, "--folder", dir.path()},
                      dir.path());
    ASSERT_TRUE(child.waitForFinished(30000));
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), kScriptPassed) << child.readAllStandardOutput().toStdString();
    EXPECT_TRUE(child.readAllStandardError().isEmpty());

    // The laser's last word is 202.
    QList<QByteArray> laser;
    for (const QByteArray& row : test::traceRows(trace)) {
        if (test::withoutTime(row).startsWith("out,890,")) laser << test::withoutTime(row);
    }
    ASSERT_GE(laser.size(), 2);
    EXPECT_EQ(laser.last(), "out,890,202");
    QFile state(dump);
    ASSERT_TRUE(state.open(QIODevice::ReadOnly));
    const QJsonObject o = QJsonDocument::fromJson(state.readAll()).object();
    EXPECT_EQ(o["sim.laser"].toString(), "False");
    EXPECT_EQ(o["port.890"].toString(), "202");
}

}  // namespace
}  // namespace ostrel::app
