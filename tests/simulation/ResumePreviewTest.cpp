// The resume computed on a copy: the time and the burn it predicts are those the real resume
// then takes and makes, and the copy touches neither the journal nor the machine.
#include <gtest/gtest.h>

#include <QFile>

#include "jobs/JobSupport.h"
#include "simulation/ResumePreview.h"

using namespace ostrel;
using simulation::JobOutcome;

namespace {

std::string readAll(const std::string& path) {
    QFile file(QString::fromStdString(path));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path;
    return file.readAll().toStdString();
}

struct Interrupted {
    std::string journal, picture;
};

// A picture job started at home and aborted after `cutMs` of machine time.
Interrupted abortedJob(test::Harness& h, bool coarse, int64_t cutMs) {
    h.start();
    QImage picture = test::patternPicture(7, 4, 5);
    if (coarse) {
        // Coarse-Burning burns the marker levels only.
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                if ((x + y) % 2 == 0) picture.setPixel(x, y, qRgb(101, 101, 101));
    }
    test::preparePictureJob(h, picture, coarse);
    h.engraver->pictureRun().start();
    h.wait(cutMs);
    EXPECT_EQ(h.engraver->click("Command2(5)"), engraver::EventResult::Handled);
    return {readAll(h.host.folder + "/" + jobs::kJournalFileName),
            readAll(h.host.folder + "/picture.bmp")};
}

struct CutCase {
    bool coarse;
    int64_t cutMs;
};

class ResumePreviewTest : public ::testing::TestWithParam<CutCase> {};

TEST_P(ResumePreviewTest, PredictsTheResumedJobsTimeAndBurnExactly) {
    const CutCase c = GetParam();
    test::Harness h;
    const Interrupted cut = abortedJob(h, c.coarse, c.cutMs);
    const test::ExposureMap before = test::exposureOf(*h.sim);
    const size_t exposuresBefore = h.sim->exposures().size();
    const auto writesBefore = h.writes().size();

    const simulation::JobSummary predicted =
        simulation::simulateResume(h.form().snapshot(), *h.sim, cut.journal, cut.picture);
    ASSERT_EQ(predicted.outcome, JobOutcome::Finished) << predicted.error;
    // The copy wrote neither the real journal nor the port.
    EXPECT_EQ(readAll(h.host.folder + "/" + jobs::kJournalFileName), cut.journal);
    EXPECT_EQ(h.writes().size(), writesBefore);

    const int64_t resumedAt = h.loop.now();
    ASSERT_EQ(h.engraver->jobResume().resume(), "");
    ASSERT_TRUE(test::untilJobDone(h));
    EXPECT_EQ(h.loop.now() - resumedAt, predicted.jobMs);

    // The resumed part of the real burn is the predicted one, dot for dot.
    test::ExposureMap resumed, forecast;
    const std::vector<machine::Exposure> all = h.sim->exposures();  // a copy, taken once
    for (size_t i = exposuresBefore; i < all.size(); ++i) {
        if (all[i].ms > 0) resumed[{all[i].x, all[i].y}] += all[i].ms;
    }
    for (const machine::Exposure& e : predicted.exposures) {
        if (e.ms > 0) forecast[{e.x, e.y}] += e.ms;
    }
    EXPECT_EQ(resumed, forecast);
    EXPECT_FALSE(before.empty() && forecast.empty()) << "a cut that tests nothing";
}

INSTANTIATE_TEST_SUITE_P(CutsAndModes, ResumePreviewTest,
                         ::testing::Values(CutCase{false, 700}, CutCase{false, 2345},
                                           CutCase{true, 1500}, CutCase{true, 4000}));

TEST(ResumePreview, RefusesAsResumeWouldAndSaysWhy) {
    struct Case {
        const char* what;
        std::function<void(test::Harness&, Interrupted&)> change;
        const char* why;
    };
    const std::vector<Case> cases = {
        {"a step period changed",
         [](test::Harness& h, Interrupted&) { h.form().Combo1.caption = "20"; },
         "The interrupted job stepped every 10 ms; the step period is 20 ms now."},
        {"the other burning mode",
         [](test::Harness& h, Interrupted&) { h.form().Check1.value = 1; },
         "The interrupted job ran in Precise-Burning; the window is set to Coarse-Burning."},
        {"another picture",
         [](test::Harness&, Interrupted& cut) { cut.picture[cut.picture.size() - 1] ^= 1; },
         "picture.bmp is not the picture of the interrupted job"},
        {"not a journal", [](test::Harness&, Interrupted& cut) { cut.journal = "garbage"; },
         "The file is not a job journal."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::Harness h;
        Interrupted cut = abortedJob(h, false, 1200);
        c.change(h, cut);
        h.clearTrace();
        const simulation::JobSummary s =
            simulation::simulateResume(h.form().snapshot(), *h.sim, cut.journal, cut.picture);
        EXPECT_EQ(s.outcome, JobOutcome::Unusable);
        EXPECT_NE(s.error.find(c.why), std::string::npos) << s.error;
        EXPECT_TRUE(h.writes().empty());
    }
}

TEST(ResumePreview, InputsFollowTheJournalAndThePicture) {
    test::Harness h;
    h.start();
    const simulation::ResumeInputs none = simulation::resumeInputs(h.form(), h.sim.get(), "");
    EXPECT_FALSE(none.journalExists);
    abortedJob(h, false, 900);
    const simulation::ResumeInputs at =
        simulation::resumeInputs(h.form(), h.sim.get(), h.host.folder);
    EXPECT_TRUE(at.journalExists);
    EXPECT_GT(at.journalSize, 0);
    EXPECT_GT(at.pictureSize, 0);
    EXPECT_EQ(simulation::resumeInputs(h.form(), h.sim.get(), h.host.folder), at);
    // A record more in the journal, the set-up, the head: each makes the inputs differ.
    {
        QFile journal(QString::fromStdString(h.host.folder + "/" + jobs::kJournalFileName));
        ASSERT_TRUE(journal.open(QIODevice::Append));
        journal.write("x");
    }
    EXPECT_FALSE(simulation::resumeInputs(h.form(), h.sim.get(), h.host.folder) == at);
    const simulation::ResumeInputs grown =
        simulation::resumeInputs(h.form(), h.sim.get(), h.host.folder);
    h.form().Combo1.caption = "12";
    EXPECT_FALSE(simulation::resumeInputs(h.form(), h.sim.get(), h.host.folder) == grown);
}

}  // namespace
