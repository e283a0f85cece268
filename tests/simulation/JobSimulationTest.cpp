// Whole jobs in virtual time: the X drift at the home switch, runs from a copied window, and
// jobs that do not end.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include "jobs/JobJournal.h"
#include "simulation/JobSimulation.h"
#include "support/Harness.h"

using namespace ostrel;
using simulation::JobKind;
using simulation::JobOutcome;

namespace {

// A W x H grey gradient saved as PNG in `dir`.
std::string gradientPicture(const QTemporaryDir& dir, int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int v = (x * 11 + y * 23) % 256;
            image.setPixel(x, y, qRgb(v, v, v));
        }
    }
    const QString path = dir.filePath("gradient.png");
    EXPECT_TRUE(image.save(path));
    return path.toStdString();
}

simulation::JobSpec preciseJob(const std::string& picture, int w, int h) {
    simulation::JobSpec spec;
    spec.picturePath = picture;
    spec.coarse = false;
    spec.width = w;
    spec.height = h;
    // The sweep's first pattern (c+d) is half a step from d: the rotor starts where a sweep
    // from the switch expects it, so nothing stalls.
    spec.machine.rotorX = 6;
    return spec;
}

TEST(XDrift, ZeroWhenTheSweepMovesAsCountedAndTheLostStepsWhenAStopHoldsIt) {
    QTemporaryDir dir;
    const int w = 20, h = 15;
    simulation::JobSpec spec = preciseJob(gradientPicture(dir, w, h), w, h);

    simulation::JobSummary clean = simulation::simulateJob(spec);
    ASSERT_EQ(clean.outcome, JobOutcome::Finished) << clean.error;
    EXPECT_EQ(clean.lostSteps, 0u);
    EXPECT_EQ(clean.maxXDrift, 0);
    EXPECT_EQ(clean.lastXDrift, 0);

    // A stop inside the travel: every row is counted to 8 W full steps, but the head stops at
    // the stop, so each return finds the switch that many steps early.
    const int stop = 100;
    spec.machine.xStopMax = stop;
    const simulation::JobSummary held = simulation::simulateJob(spec);
    ASSERT_EQ(held.outcome, JobOutcome::Finished) << held.error;
    EXPECT_GT(held.lostSteps, 0u);
    EXPECT_EQ(held.maxXDrift, 8 * w - stop);
    EXPECT_EQ(held.lastXDrift, 8 * w - stop);
    // Rows and dots do not depend on where the head really is.
    EXPECT_EQ(held.dotsDealt, clean.dotsDealt);
}

TEST(XDrift, StartClearsTheLastRunsDrift) {
    machine::SimConfig config;
    config.xStopMax = 60;
    test::Harness h(config);
    h.start();
    form::Form1& f = h.form();
    f.Picture2.setPicture(QImage(15, 15, QImage::Format_RGB32));
    f.Check1.value = 0;
    f.Option1.value = 1;
    h.engraver->panel().StartJob();
    ASSERT_TRUE(h.untilIdle());
    ASSERT_NE(h.engraver->pictureRun().maxXDrift(), 0);
    h.engraver->pictureRun().start();
    EXPECT_EQ(h.engraver->pictureRun().maxXDrift(), 0);
    EXPECT_EQ(h.engraver->pictureRun().lastXDrift(), 0);
}

// A window set up by an operator (homed from away, picture loaded) on the test harness.
class CopiedWindowTest : public ::testing::TestWithParam<JobKind> {
  protected:
    CopiedWindowTest() : h(startState()) {
        h.start();
        h.engraver->click("Command3");
        EXPECT_TRUE(h.untilIdle());
        h.engraver->click("Command5");
        EXPECT_TRUE(h.untilIdle());
        h.wait(2000);
        h.engraver->set("HScroll2", "600");  // a 38 x 103 frame
        h.engraver->set("HScroll1", "390");  // a 24 x 103 picture
        h.engraver->set("VScroll1", "300");  // ... 24 x 18
        h.engraver->set("Check1", "0");
        h.engraver->set("Combo1", "20");
        h.host.dialogAnswers.push_back(gradientPicture(dir, 30, 20));
        h.engraver->click("Command2(0)");
    }
    static machine::SimConfig startState() {
        machine::SimConfig c;
        c.headX = 41;
        c.headY = 17.5;
        c.rotorX = 3;
        return c;
    }

    QTemporaryDir dir;
    test::Harness h;
};

TEST_P(CopiedWindowTest, RunOnACopyTakesTheTimeTheOriginalTakesAndLeavesItAlone) {
    const JobKind kind = GetParam();
    form::Form1& f = h.form();
    ASSERT_FALSE(f.Timer10.Enabled());
    const QImage pictureBefore = f.Picture2.raster.copy();
    const int64_t headBefore = h.sim->x();

    const simulation::JobSummary copy = simulation::simulateFrom(f.snapshot(), *h.sim, kind);
    ASSERT_EQ(copy.outcome, JobOutcome::Finished) << copy.error;
    EXPECT_EQ(f.Picture2.raster, pictureBefore);
    EXPECT_EQ(h.sim->x(), headBefore);
    EXPECT_FALSE(h.engraver->motionRunning());

    h.engraver->click(kind == JobKind::Picture ? "Option1" : "Option2");
    const int64_t runAt = h.loop.now();
    h.engraver->click("Command2(1)");
    ASSERT_TRUE(h.untilIdle());
    EXPECT_EQ(copy.jobMs, h.loop.now() - runAt);
    EXPECT_EQ(copy.xStepCount, f.xStepCount);
    EXPECT_EQ(copy.yStepCount, f.yStepCount);
    EXPECT_EQ(copy.headX, static_cast<double>(h.sim->x()) / 2);
    EXPECT_EQ(copy.headY, static_cast<double>(h.sim->y()) / 2);
    EXPECT_EQ(copy.stalls, h.sim->stalls());
    EXPECT_DOUBLE_EQ(copy.laserOnMs, h.sim->laserOnMs());
    if (kind == JobKind::Picture) {
        EXPECT_EQ(copy.maxXDrift, h.engraver->pictureRun().maxXDrift());
        EXPECT_EQ(copy.dotsBurned, 24 * 20);
    }
}

INSTANTIATE_TEST_SUITE_P(Jobs, CopiedWindowTest,
                         ::testing::Values(JobKind::Picture, JobKind::Frame), [](const auto& info) {
                             return info.param == JobKind::Picture ? "Picture" : "Frame";
                         });

TEST(JobSimulation, AJobThatOutlastsItsLimitIsReportedStillRunning) {
    simulation::JobSpec spec;
    spec.kind = JobKind::Frame;
    spec.maxJobMs = 5000;
    const simulation::JobSummary s = simulation::simulateJob(spec);
    EXPECT_EQ(s.outcome, JobOutcome::StillRunning);
    EXPECT_EQ(s.jobMs, 5000);
    EXPECT_NE(s.error.find("still running after 0:00:05"), std::string::npos) << s.error;
}

TEST(JobSimulation, AComputedJobKeepsNoJournal) {
    // A journal would cost a write per dot and a disk sync per half second of machine time,
    // and would offer a job nobody ran for resuming.
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    simulation::JobSpec spec = preciseJob(gradientPicture(folder, 40, 30), 40, 30);
    spec.programFolder = folder.path().toStdString();
    spec.maxJobMs = 60000;  // cut short: a journal would be left behind
    const simulation::JobSummary s = simulation::simulateJob(spec);
    EXPECT_EQ(s.outcome, JobOutcome::StillRunning);
    EXPECT_GT(s.dotsDealt, 0);
    EXPECT_FALSE(QFile::exists(folder.filePath(QString::fromLatin1(jobs::kJournalFileName))));
}

TEST(ClockText, HoursMinutesSeconds) {
    EXPECT_EQ(simulation::clockText(0), "0:00:00");
    EXPECT_EQ(simulation::clockText(59'999), "0:00:59");
    EXPECT_EQ(simulation::clockText(3'723'000), "1:02:03");
    EXPECT_EQ(simulation::clockText(36LL * 3'600'000), "36:00:00");
}

}  // namespace
