// Pause and Continue of both runs in virtual time: a pause, held or released, changes neither
// the head's way nor any dot's laser-on time.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "JobSupport.h"

using namespace ostrel;
using machine::CONTROL_REG;
using machine::DATA_REG;

namespace {

enum class Job { Picture, Frame };

struct Outcome {
    test::ExposureMap exposure;
    int64_t x = 0, y = 0;
    int32_t xSteps = 0, ySteps = 0;
    uint64_t lost = 0, stalls = 0, faults = 0;
};

void setUp(test::Harness& h, Job job) {
    h.start();
    if (job == Job::Picture) {
        test::preparePictureJob(h, test::patternPicture(5, 3));
    } else {
        h.form().Picture3.setOuterSize(17 * 15, 17 * 15);  // a 15 x 15 frame
        h.form().autoLaser = true;
    }
}

void start(test::Harness& h, Job job) {
    if (job == Job::Picture)
        h.engraver->pictureRun().start();
    else
        h.engraver->frameRun().start();
}

Outcome outcomeOf(test::Harness& h) {
    Outcome o;
    o.exposure = test::exposureOf(*h.sim);
    o.x = h.sim->x();
    o.y = h.sim->y();
    o.xSteps = h.form().xStepCount;
    o.ySteps = h.form().yStepCount;
    o.lost = h.sim->lostSteps();
    o.stalls = h.sim->stalls();
    o.faults = h.sim->faults();
    return o;
}

Outcome uninterrupted(Job job) {
    test::Harness h;
    setUp(h, job);
    start(h, job);
    EXPECT_TRUE(test::untilJobDone(h));
    return outcomeOf(h);
}

// Where to pause: a moment in the reference run, and whether the laser was on then.
std::vector<double> pausePoints(Job job) {
    test::Harness h;
    setUp(h, job);
    start(h, job);
    test::untilJobDone(h);
    std::vector<double> out;
    const std::vector<machine::Exposure> ex = h.sim->exposures();
    const double end = h.loop.nowMs();
    for (double f : {0.003, 0.11, 0.37, 0.52, 0.81, 0.97}) out.push_back(std::floor(end * f));
    // In the middle of laser-on stretches, at their first and last millisecond, and just
    // before one (in the laser-off half of a dot's pulse, or between steps).
    for (size_t i : {size_t{0}, ex.size() / 3, ex.size() / 2, ex.size() - 1}) {
        const machine::Exposure& e = ex[i];
        out.push_back(e.startMs + std::floor(e.ms / 2));
        out.push_back(e.startMs + 1);
        out.push_back(e.startMs + e.ms - 1);
        out.push_back(e.startMs - 3);
    }
    return out;
}

struct PauseCase {
    Job job;
    bool release;
};

class JobPauseTest : public ::testing::TestWithParam<PauseCase> {};

TEST_P(JobPauseTest, APauseChangesNeitherTheWayNorAnyDotsLaserTime) {
    const PauseCase c = GetParam();
    const Outcome want = uninterrupted(c.job);
    ASSERT_FALSE(want.exposure.empty());
    for (const double at : pausePoints(c.job)) {
        SCOPED_TRACE("pause at " + std::to_string(at) + " ms");
        test::Harness h;
        setUp(h, c.job);
        start(h, c.job);
        h.wait(static_cast<int64_t>(at));
        jobs::JobPause& pause = h.engraver->jobPause();
        // A blocking pause in the last tick can carry the clock past the end of the run.
        if (!h.engraver->motionRunning()) continue;
        h.clearTrace();
        ASSERT_EQ(pause.pause(), "");
        // The laser goes off first; the head stays held by a coil word.
        const auto writes = h.writes();
        ASSERT_FALSE(writes.empty());
        EXPECT_EQ(writes.front(), std::make_pair(int(CONTROL_REG), int(machine::LASER_OFF)));
        EXPECT_FALSE(h.sim->laserOn());
        // (Before the run's first coil word there is nothing to hold.)
        EXPECT_EQ(h.data() != 0, h.engraver->context().lastCoilWord != 0);
        const int64_t x = h.sim->x(), y = h.sim->y();

        const int64_t pauseMs = c.release ? 10 * 60 * 1000 : 30 * 1000;
        h.wait(pauseMs);
        EXPECT_EQ(h.sim->x(), x);
        EXPECT_EQ(h.sim->y(), y);
        EXPECT_FALSE(h.sim->laserOn());
        if (h.engraver->context().lastCoilWord != 0) {
            EXPECT_EQ(h.data() == 0, c.release) << "coils released only after the holding time";
        }
        EXPECT_EQ(pause.state(),
                  c.release ? jobs::JobPause::State::Released : jobs::JobPause::State::Paused);

        ASSERT_EQ(pause.continueRun(), "");
        ASSERT_TRUE(test::untilJobDone(h));
        const Outcome got = outcomeOf(h);
        EXPECT_EQ(got.exposure, want.exposure);
        EXPECT_EQ(got.x, want.x);
        EXPECT_EQ(got.y, want.y);
        EXPECT_EQ(got.xSteps, want.xSteps);
        EXPECT_EQ(got.ySteps, want.ySteps);
        EXPECT_EQ(got.lost + got.stalls + got.faults, want.lost + want.stalls + want.faults);
        EXPECT_EQ(h.data(), 0);
        EXPECT_FALSE(h.sim->laserOn());
    }
}

INSTANTIATE_TEST_SUITE_P(BothRunsBothModes, JobPauseTest,
                         ::testing::Values(PauseCase{Job::Picture, false},
                                           PauseCase{Job::Picture, true},
                                           PauseCase{Job::Frame, false},
                                           PauseCase{Job::Frame, true}));

TEST(JobPause, HoldsForTheHoldingTimeThenReleasesAndRewritesTheWordOnContinue) {
    test::Harness h;
    setUp(h, Job::Frame);
    start(h, Job::Frame);
    h.wait(333);
    jobs::JobPause& pause = h.engraver->jobPause();
    pause.setHoldMs(5000);
    pause.setSettleMs(250);
    ASSERT_EQ(pause.pause(), "");
    const int held = h.data();
    ASSERT_NE(held, 0);
    h.wait(4999);
    EXPECT_EQ(h.data(), held);
    h.wait(1);
    EXPECT_EQ(h.data(), 0);
    h.clearTrace();
    ASSERT_EQ(pause.continueRun(), "");
    ASSERT_EQ(h.writes(), (std::vector<std::pair<int, int>>{{DATA_REG, held}}));
    h.wait(249);  // the rotors settle: nothing moves, the laser stays off
    EXPECT_EQ(h.writes().size(), 1u);
    h.wait(1);
    EXPECT_TRUE(h.sim->laserOn());  // Auto: the laser again for the rest of the step
}

TEST(JobPause, RefusesWithoutAJobAndAfterTheHeadWasMoved) {
    test::Harness h;
    setUp(h, Job::Picture);
    jobs::JobPause& pause = h.engraver->jobPause();
    EXPECT_EQ(pause.pause(), "No job is running.");
    EXPECT_EQ(pause.continueRun(), "No job is paused.");

    start(h, Job::Picture);
    h.wait(500);
    ASSERT_EQ(pause.pause(), "");
    EXPECT_EQ(pause.pause(), "The job is already paused.");
    ++h.form().xStepCount;  // as a jog during the pause would
    EXPECT_EQ(pause.continueRun(),
              "The head was moved during the pause: the paused job cannot go on.");
    EXPECT_FALSE(pause.paused());
    EXPECT_EQ(h.data(), 0);
    EXPECT_FALSE(h.sim->laserOn());
    h.wait(120000);
    for (auto& [name, t] : h.form().timers()) EXPECT_FALSE(t->Enabled()) << name;
}

TEST(JobPause, AbortDuringAPauseEndsItAndNothingWritesAfterwards) {
    test::Harness h;
    setUp(h, Job::Picture);
    start(h, Job::Picture);
    h.wait(700);
    jobs::JobPause& pause = h.engraver->jobPause();
    ASSERT_EQ(pause.pause(), "");
    ASSERT_EQ(h.engraver->click("Command2(5)"), engraver::EventResult::Handled);
    EXPECT_FALSE(pause.paused());
    EXPECT_EQ(h.data(), 0);
    EXPECT_EQ(h.control(), machine::LASER_OFF);
    h.clearTrace();
    h.wait(10 * 60 * 1000);
    EXPECT_TRUE(h.writes().empty());
    EXPECT_EQ(pause.continueRun(), "No job is paused.");
    EXPECT_TRUE(h.writes().empty());
}

}  // namespace
