// Tests of the command panel: Manual, Run, Abort, Exit, "Frame cutting" and the Help menu.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "engraver/CommandPanel.h"
#include "support/Harness.h"

namespace ostrel::test {
namespace {

using engraver::EventResult;
using Writes = std::vector<std::pair<int, int>>;

struct CommandPanelTest : testing::Test {
    void SetUp() override { h.start(); }

    form::Form1& f() { return h.form(); }
    void click(const char* name) {
        ASSERT_EQ(h.engraver->click(name), EventResult::Handled) << name;
    }
    bool manualMode() { return f().Command1[0].enabled; }
    // The ten timers of the system, in their order.
    std::vector<runtime::Timer*> timers() {
        return {&f().Timer1, &f().Timer2, &f().Timer3, &f().Timer4, &f().Timer5,
                &f().Timer6, &f().Timer7, &f().Timer8, &f().Timer9, &f().Timer10};
    }
    void expectLaserControls(bool enabled) {
        EXPECT_EQ(f().Combo2.enabled, enabled);
        EXPECT_EQ(f().Command4.enabled, enabled);
        EXPECT_EQ(f().Command6.enabled, enabled);
    }
    // Whether the run engineers' start() enables its first timer yet on this branch.
    static bool runsBuilt() {
        Harness probe;
        probe.start();
        probe.engraver->pictureRun().start();
        probe.engraver->frameRun().start();
        return probe.form().Timer4.Enabled() && probe.form().Timer8.Enabled();
    }

    Harness h;
};

TEST_F(CommandPanelTest, ManualTogglesTheJogButtonsAndTheLaserControls) {
    ASSERT_FALSE(manualMode());
    click("Command2(6)");
    for (const form::Control& jog : f().Command1) EXPECT_TRUE(jog.enabled) << jog.name;
    EXPECT_EQ(f().Command2_6.backColor, form::kLightGreen);
    expectLaserControls(true);

    click("Command2(6)");
    for (const form::Control& jog : f().Command1) EXPECT_FALSE(jog.enabled) << jog.name;
    EXPECT_EQ(f().Command2_6.backColor, form::kLightGrey);
    expectLaserControls(false);
}

TEST_F(CommandPanelTest, FrameCuttingKeepsTheLaserControlsOutsideManualMode) {
    click("Command2(6)");
    click("Command2(6)");
    expectLaserControls(false);
    click("Option2");  // enables them even with manual mode off
    expectLaserControls(true);
    click("Command2(6)");
    click("Command2(6)");
    EXPECT_FALSE(manualMode());
    expectLaserControls(true);
    // "Picture engraving" afterwards leaves them enabled until the next panel command.
    click("Option1");
    expectLaserControls(true);
    click("Command2(5)");
    expectLaserControls(false);
}

TEST_F(CommandPanelTest, RunWithNoOptionShowsTheMessageAndStartsNothing) {
    click("Command2(6)");
    click("Command2(1)");
    ASSERT_EQ(h.host.messages.size(), 1u);
    EXPECT_EQ(h.host.messages[0].first, "Select Option < Picture <> Frame >");
    EXPECT_EQ(h.host.messages[0].second, "Info");
    for (runtime::Timer* t : timers()) {
        if (t != &f().Timer10) {
            EXPECT_FALSE(t->Enabled());
        }
    }
    EXPECT_FALSE(manualMode());
}

TEST_F(CommandPanelTest, RunStartsTheChosenJob) {
    const bool built = runsBuilt();
    for (const char* option : {"Option1", "Option2"}) {
        SCOPED_TRACE(option);
        Harness run;
        run.start();
        form::Form1& g = run.form();
        g.pixelColumn = "17";
        g.pixelRow = "3";
        g.dotCycle = 5;
        g.xPhase = 6;
        ASSERT_EQ(run.engraver->click("Command2(6)"), EventResult::Handled);
        ASSERT_EQ(run.engraver->click(option), EventResult::Handled);
        ASSERT_EQ(run.engraver->click("Command2(1)"), EventResult::Handled);
        EXPECT_TRUE(run.host.messages.empty());
        EXPECT_FALSE(g.Command1[0].enabled);
        const bool frame = option == std::string("Option2");
        // Outside manual mode the laser controls stay only for "Frame cutting".
        EXPECT_EQ(g.Combo2.enabled, frame);
        EXPECT_EQ(g.Command4.enabled, frame);
        EXPECT_EQ(g.Command6.enabled, frame);
        if (!built) continue;
        EXPECT_EQ(g.Timer4.Enabled(), !frame);
        EXPECT_EQ(g.Timer8.Enabled(), frame);
        EXPECT_EQ(g.pixelColumn, "0");
        EXPECT_EQ(g.pixelRow, "0");
        if (frame) {
            EXPECT_TRUE(g.xMovingPlus);
            EXPECT_FALSE(g.xMovingMinus);
        } else {
            EXPECT_EQ(g.dotCycle, 0);
            EXPECT_EQ(g.xPhase, 0);
        }
    }
    if (!built) GTEST_SKIP() << "the runs' Start() is not on this branch yet";
}

// A second job over a moving motor would drive it from two timers at once.
TEST_F(CommandPanelTest, RunStartsNothingWhileAMotorMoves) {
    const std::pair<const char*, runtime::Timer*> moving[] = {
        {"Timer1", &f().Timer1}, {"Timer2", &f().Timer2}, {"Timer4", &f().Timer4},
        {"Timer5", &f().Timer5}, {"Timer6", &f().Timer6}, {"Timer7", &f().Timer7},
        {"Timer8", &f().Timer8}, {"Timer9", &f().Timer9}};
    for (auto [name, busy] : moving) {
        SCOPED_TRACE(name);
        for (runtime::Timer* t : timers()) t->setEnabled(false);
        busy->setEnabled(true);
        f().Option1.value = f().Option2.value = 0;
        click("Command2(6)");
        ASSERT_TRUE(manualMode());
        click("Command2(1)");  // no option: would show the message
        f().Option1.value = 1;
        click("Command2(1)");  // picture engraving: would start Timer4
        EXPECT_TRUE(h.host.messages.empty());
        EXPECT_FALSE(manualMode());
        for (runtime::Timer* t : timers()) EXPECT_EQ(t->Enabled(), t == busy);
    }
    // The laser pulse and the watchdog move no motor: Run goes ahead.
    for (runtime::Timer* t : timers()) t->setEnabled(false);
    f().Timer3.setEnabled(true);
    f().Option1.value = 0;
    click("Command2(1)");
    EXPECT_EQ(h.host.messages.size(), 1u);
}

TEST_F(CommandPanelTest, AbortStopsEveryTimerThenPutsThePortAtRest) {
    f().Label1[0].caption = "1234";
    f().xStepCount = 1234;
    for (runtime::Timer* t : timers()) t->setEnabled(true);
    click("Command2(6)");
    h.clearTrace();
    const uint64_t generation = h.engraver->context().abortGeneration;
    bool ranInside = false;
    h.loop.post([&] {  // runs where Abort lets events run
        ranInside = true;
        for (runtime::Timer* t : timers()) EXPECT_FALSE(t->Enabled());
        EXPECT_EQ(h.writes(), (Writes{{888, 0}}));
        EXPECT_GT(h.engraver->context().abortGeneration, generation);
    });
    click("Command2(5)");
    EXPECT_TRUE(ranInside);
    EXPECT_EQ(h.writes(), (Writes{{888, 0}, {890, 202}}));
    for (runtime::Timer* t : timers()) EXPECT_FALSE(t->Enabled());
    EXPECT_FALSE(manualMode());
    EXPECT_EQ(f().Label1[0].caption, "1234");
    EXPECT_EQ(f().xStepCount, 1234);
    EXPECT_FALSE(h.host.ended);
}

TEST_F(CommandPanelTest, ExitStopsEveryTimerPutsThePortAtRestAndEnds) {
    for (runtime::Timer* t : timers()) t->setEnabled(true);
    h.clearTrace();
    bool ranInside = false;
    h.loop.post([&] {
        ranInside = true;
        for (runtime::Timer* t : timers()) EXPECT_FALSE(t->Enabled());
        EXPECT_EQ(h.writes(), (Writes{{888, 0}}));
    });
    click("Command2(4)");
    EXPECT_TRUE(ranInside);
    EXPECT_EQ(h.writes(), (Writes{{888, 0}, {890, 202}}));
    EXPECT_TRUE(h.host.ended);
    EXPECT_TRUE(h.engraver->context().ended);
    EXPECT_EQ(h.engraver->context().abortGeneration, 1u);
    h.engraver->context().out(888, 12);  // nothing writes the port after the end
    EXPECT_EQ(h.writes().size(), 2u);
}

// A jog tick that falls due while a handler blocks must not run inside Exit, between the rest
// writes: it would power a coil again just before the program ends.
TEST_F(CommandPanelTest, ExitLetsNoPendingTickPowerTheMotorsAgain) {
    f().Timer1.setInterval(100);
    f().Timer1.setHandler([&] { h.engraver->context().out(888, 12); });
    f().Timer1.setEnabled(true);
    h.loop.post(
        [&] {
            h.loop.sleepMs(100);  // Timer1 falls due meanwhile
            h.engraver->click("Command2(4)");
        },
        50);
    h.clearTrace();
    h.wait(500);
    EXPECT_EQ(h.writes(), (Writes{{888, 0}, {890, 202}}));
    EXPECT_EQ(h.data(), 0);
    EXPECT_EQ(h.control(), 202);
}

TEST_F(CommandPanelTest, HelpItemsShowTheirWindowsAndTheSchematic) {
    click("explan");
    click("about");
    EXPECT_EQ(h.host.explanations, 1);
    EXPECT_EQ(h.host.abouts, 1);

    // A schematic already beside the program is shown even when it cannot be written again.
    const std::string path = h.tempDir + "/graver.jpg";
    {
        QFile older(QString::fromStdString(path));
        ASSERT_TRUE(older.open(QIODevice::WriteOnly));
        older.write("older schematic");
    }
    click("shema");
    ASSERT_EQ(h.host.opened, std::vector<std::string>{path});
    EXPECT_TRUE(h.host.errors.empty());

    // No viewer: the operator is told, with the file's place.
    h.host.viewerWorks = false;
    click("shema");
    ASSERT_EQ(h.host.errors.size(), 1u);
    EXPECT_NE(h.host.errors[0].find(path), std::string::npos) << h.host.errors[0];

    // Nowhere to write it and no older copy: a message, and no viewer asked.
    h.host.errors.clear();
    h.host.opened.clear();
    h.host.folder = h.tempDir + "/missing";
    click("shema");
    EXPECT_TRUE(h.host.opened.empty());
    ASSERT_EQ(h.host.errors.size(), 1u);
    EXPECT_NE(h.host.errors[0].find("missing/graver.jpg"), std::string::npos);
}

}  // namespace
}  // namespace ostrel::test
