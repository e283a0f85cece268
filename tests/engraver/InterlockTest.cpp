// The door / emergency-stop interlock in virtual time: every input and polarity, a run paused
// with the laser off first, refusals while open, homing as without it, nothing without one.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jobs/JobSupport.h"
#include "machine/Interlock.h"

namespace ostrel::test {
namespace {

using machine::CONTROL_REG;
using machine::DATA_REG;
using machine::InterlockSetting;
using Writes = std::vector<std::pair<int, int>>;

// Every input with both polarities.
std::vector<InterlockSetting> everySetting() {
    std::vector<InterlockSetting> all;
    for (const machine::InterlockInput& input : machine::kInterlockInputs) {
        for (const bool openHigh : {true, false}) all.push_back({input.pin, openHigh});
    }
    return all;
}

// The machine with the switch wired where the setting says (closed), and the core watching it.
void startWith(Harness& h, const InterlockSetting& s) {
    h.sim->wireInterlock(s);
    h.start();
    h.engraver->interlock().set(s);
}

// Laser-on time from `fromMs` on.
double laserMsSince(const machine::SimEngraver& sim, double fromMs) {
    double total = 0;
    for (const machine::Exposure& e : sim.exposures()) {
        const double end = e.startMs + e.ms;
        if (end > fromMs) total += end - std::max(e.startMs, fromMs);
    }
    return total;
}

// After the switch opened at most the tick under way writes before the trip (a frame step with
// Auto: its 203 and its coil word), whose first write is 202; nothing lights the laser again.
void expectLaserOffFirst(const Writes& w) {
    size_t first = 0;
    while (first < w.size() && w[first] != std::pair(int(CONTROL_REG), 202)) ++first;
    ASSERT_LT(first, w.size()) << "no 202";
    EXPECT_LE(first, 2u);
    for (size_t i = first; i < w.size(); ++i) EXPECT_NE(w[i], std::pair(int(CONTROL_REG), 203));
}

enum class Job { Picture, Frame };

void runJob(Harness& h, Job job) {
    if (job == Job::Picture) {
        preparePictureJob(h, patternPicture(4, 3));
        ASSERT_EQ(h.engraver->click("Option1"), engraver::EventResult::Handled);
    } else {
        h.form().Picture3.setOuterSize(17 * 15, 17 * 15);
        h.form().autoLaser = true;  // the frame is cut with the laser on
        ASSERT_EQ(h.engraver->click("Option2"), engraver::EventResult::Handled);
    }
    ASSERT_EQ(h.engraver->click("Command2(1)"), engraver::EventResult::Handled);
    ASSERT_TRUE(h.engraver->motionRunning());
}

TEST(Interlock, OpeningDuringARunPausesItLaserOffFirstAndItGoesOnOnceClosed) {
    for (const Job job : {Job::Picture, Job::Frame}) {
        for (const InterlockSetting& s : everySetting()) {
            // Early in the run, and in a laser-on stretch.
            for (const int64_t at : {35, 1234}) {
                SCOPED_TRACE(machine::interlockText(s) +
                             (job == Job::Picture ? " picture" : " frame") + " at " +
                             std::to_string(at) + " ms");
                Harness h;
                startWith(h, s);
                runJob(h, job);
                h.wait(at);
                if (!h.engraver->motionRunning()) continue;
                h.clearTrace();
                const double openedAt = h.loop.nowMs();
                h.sim->setDoorOpen(true);
                h.wait(200);

                expectLaserOffFirst(h.writes());
                // The laser burns on at most until the next read.
                EXPECT_LE(laserMsSince(*h.sim, openedAt), engraver::Interlock::kWatchMs);
                EXPECT_TRUE(h.engraver->jobPause().paused());
                EXPECT_FALSE(form::anyEnabled(h.form(), form::kActivityTimers));
                EXPECT_EQ(h.engraver->interlock().trips(), 1u);
                ASSERT_FALSE(h.host.errors.empty());
                EXPECT_NE(h.host.errors.back().find("the job is paused"), std::string::npos);

                // Continue is refused while open and the job stays paused; once closed it goes on
                // to the end.
                EXPECT_EQ(h.engraver->jobPause().continueRun(), engraver::Interlock::kRefusal);
                EXPECT_TRUE(h.engraver->jobPause().paused());
                h.sim->setDoorOpen(false);
                ASSERT_EQ(h.engraver->jobPause().continueRun(), "");
                ASSERT_TRUE(untilJobDone(h));
                EXPECT_EQ(h.data(), 0);
                EXPECT_FALSE(h.sim->laserOn());
                EXPECT_EQ(h.engraver->interlock().trips(), 1u);
            }
        }
    }
}

TEST(Interlock, TheLaserButtonsAndJogsStopAtOnceWhenItOpens) {
    struct Case {
        const char* what;
        void (*start)(Harness&);
    };
    const Case cases[] = {
        {"max power",
         [](Harness& h) {
             ASSERT_EQ(h.engraver->click("Command4"), engraver::EventResult::Handled);
         }},
        {"pulses", [](Harness& h) { h.engraver->mouseDown("Command1(5)"); }},
        {"jog with Auto",
         [](Harness& h) {
             h.engraver->click("Command6");
             h.engraver->mouseDown("Command1(3)");
         }},
        {"homing", [](Harness& h) { h.engraver->click("Command3"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Harness h(machine::SimConfig{.headX = 300, .headY = 40});
        startWith(h, {15, true});
        h.wait(6000);                      // the start-up watchdog has ended
        h.engraver->click("Command2(6)");  // Manual
        c.start(h);
        h.wait(450);
        h.clearTrace();
        h.sim->setDoorOpen(true);
        const double openedAt = h.loop.nowMs();
        h.wait(engraver::Interlock::kWatchMs + 1);
        EXPECT_LE(laserMsSince(*h.sim, openedAt), engraver::Interlock::kWatchMs);
        expectLaserOffFirst(h.writes());
        EXPECT_EQ(h.data(), 0) << "coils released";
        EXPECT_FALSE(h.sim->laserOn());
        EXPECT_FALSE(form::anyEnabled(h.form(), form::kActivityTimers));
        EXPECT_EQ(h.form().Command4.caption, "Max Laser Power");
        const int64_t x = h.sim->x();
        h.wait(1000);
        EXPECT_EQ(h.sim->x(), x);
        // The release that follows changes nothing that matters.
        h.engraver->mouseUp("Command1(3)");
        EXPECT_FALSE(h.sim->laserOn());
        EXPECT_EQ(h.data(), 0);
    }
}

// A machine at rest in manual mode with the interlock open.
void openAtRest(Harness& h) {
    startWith(h, {10, true});
    h.wait(6000);
    h.engraver->click("Command2(6)");  // Manual
    h.engraver->click("Option1");
    h.sim->setDoorOpen(true);
    h.host.errors.clear();
    h.clearTrace();
}

void expectNothingStarted(Harness& h) {
    h.wait(500);
    EXPECT_TRUE(h.writes().empty());
    EXPECT_FALSE(form::anyEnabled(h.form(), form::kActivityTimers));
    EXPECT_EQ(h.form().Command4.caption, "Max Laser Power");
    EXPECT_EQ(h.form().Command6.caption, "Auto");
}

TEST(Interlock, WhileOpenEveryStartIsRefusedWithTheMessageAndNothingIsWritten) {
    // Run, Max Laser Power, Auto, Z-Down, the jogs and Go Home show the refusal.
    for (const auto& [click, name] : {std::pair{true, "Command2(1)"},
                                      {true, "Command4"},
                                      {true, "Command6"},
                                      {false, "Command1(5)"},
                                      {false, "Command1(3)"},
                                      {false, "Command1(0)"},
                                      {true, "Command3"},
                                      {true, "Command5"}}) {
        SCOPED_TRACE(name);
        Harness h(machine::SimConfig{.headX = 30, .headY = 30});
        openAtRest(h);
        click ? h.engraver->click(name) : h.engraver->mouseDown(name);
        expectNothingStarted(h);
        EXPECT_EQ(h.host.errors, std::vector<std::string>{engraver::Interlock::kRefusal});
    }
    // Resume and the wiring test return it to the caller that shows it.
    Harness h(machine::SimConfig{.headX = 30, .headY = 30});
    openAtRest(h);
    EXPECT_EQ(h.engraver->jobResume().resume(), engraver::Interlock::kRefusal);
    EXPECT_EQ(h.engraver->wiringTest().start(motion::WiringTestKind::LaserPulse),
              engraver::Interlock::kRefusal);
    expectNothingStarted(h);
    // Switching off is never refused.
    h.form().Command6.caption = "Auto On";
    h.engraver->click("Command6");
    h.engraver->mouseDown("Command1(4)");  // Z-UP
    EXPECT_EQ(h.writes(), (Writes{{CONTROL_REG, 202}}));
    EXPECT_EQ(h.form().Command6.caption, "Auto");
    EXPECT_TRUE(h.host.errors.empty());
}

// With the switch closed the interlock changes no write: homing finds both switches as on a
// machine without it, whatever level the closed switch gives its input.
TEST(Interlock, HomingAndJobsWriteExactlyAsWithoutOne) {
    auto session = [](const InterlockSetting& s) {
        Harness h(machine::SimConfig{.headX = 25, .headY = 12});
        startWith(h, s);
        h.engraver->click("Command3");
        h.wait(1000);
        h.engraver->click("Command5");
        h.wait(1000);
        EXPECT_TRUE(h.form().xHomed && h.form().yHomed);
        EXPECT_EQ(h.sim->x(), 0);
        EXPECT_EQ(h.sim->y(), 0);
        h.engraver->click("Command2(6)");
        h.engraver->mouseDown("Command1(3)");
        h.wait(300);
        h.engraver->mouseUp("Command1(3)");
        h.engraver->click("Command4");
        h.wait(40);
        h.engraver->click("Command4");
        runJob(h, Job::Picture);
        EXPECT_TRUE(untilJobDone(h));
        return h.writes();
    };
    const Writes without = session({});
    for (const InterlockSetting& s : everySetting()) {
        SCOPED_TRACE(machine::interlockText(s));
        EXPECT_EQ(session(s), without);
    }
}

TEST(Interlock, WithoutOneNothingIsReadAndTheDoorMeansNothing) {
    for (const bool open : {false, true}) {
        Harness h;
        h.sim->wireInterlock({13, true});  // a switch the program was not told about
        h.sim->setDoorOpen(open);
        h.trace->setTraceReads(true);
        h.start();
        h.engraver->click("Command2(6)");
        h.engraver->click("Command4");
        h.wait(100);
        EXPECT_TRUE(h.sim->laserOn());
        h.engraver->click("Command4");
        EXPECT_FALSE(h.engraver->context().interlock);
        EXPECT_TRUE(h.host.errors.empty());
        for (const machine::TraceRecord& r : h.trace->records())
            EXPECT_NE(r.address, machine::STATUS_REG) << "no status read at all";
    }
}

}  // namespace
}  // namespace ostrel::test
