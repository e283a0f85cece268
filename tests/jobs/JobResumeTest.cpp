// Resuming interrupted picture jobs: after Abort, a signal's rest or a power cut, the resumed
// job gives every dot the laser time the uninterrupted job gives it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QFile>
#include <random>
#include <string>

#include "JobSupport.h"

using namespace ostrel;

namespace {

enum class Cut { Abort, Rest, PowerCut };

struct ResumeCase {
    Cut cut;
    bool coarse;
};

QImage jobPicture(bool coarse) {
    if (!coarse) return test::patternPicture(6, 4, 3);
    // Coarse-Burning burns the marker levels only.
    QImage image = test::patternPicture(6, 4, 3);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if ((x + 2 * y) % 3 != 0) image.setPixel(x, y, qRgb(101, 101, 101));
        }
    }
    return image;
}

void setUp(test::Harness& h, bool coarse) {
    h.start();
    test::preparePictureJob(h, jobPicture(coarse), coarse);
}

std::string journalPath(test::Harness& h) {
    return h.host.folder + "/" + jobs::kJournalFileName;
}

std::string differences(const test::ExposureMap& got, const test::ExposureMap& want) {
    std::string out;
    for (const auto& [dot, ms] : got) {
        const auto it = want.find(dot);
        if (it == want.end() || it->second != ms)
            out += " (" + std::to_string(dot.first) + "," + std::to_string(dot.second) + ") " +
                   std::to_string(ms) + " not " +
                   (it == want.end() ? std::string("0") : std::to_string(it->second)) + ";";
    }
    for (const auto& [dot, ms] : want) {
        if (!got.count(dot))
            out +=
                " (" + std::to_string(dot.first) + "," + std::to_string(dot.second) + ") missing;";
    }
    return out;
}

class JobResumeTest : public ::testing::TestWithParam<ResumeCase> {};

TEST_P(JobResumeTest, NoDotBurnsTwiceAndNoneIsSkipped) {
    const ResumeCase c = GetParam();
    test::ExposureMap want;
    int64_t endMs = 0;
    {
        test::Harness h;
        setUp(h, c.coarse);
        h.engraver->pictureRun().start();
        ASSERT_TRUE(test::untilJobDone(h));
        want = test::exposureOf(*h.sim);
        endMs = h.loop.now();
        EXPECT_FALSE(QFile::exists(QString::fromStdString(journalPath(h))))
            << "a job that ends by itself leaves no journal";
    }
    std::mt19937 random(static_cast<uint32_t>(7 + static_cast<int>(c.cut) * 2 + c.coarse));
    std::uniform_int_distribution<int64_t> when(1, endMs - 1);
    for (int round = 0; round < 8; ++round) {
        const int64_t at = when(random);
        SCOPED_TRACE("cut at " + std::to_string(at) + " ms");
        auto first = std::make_unique<test::Harness>();
        setUp(*first, c.coarse);
        first->engraver->pictureRun().start();
        first->wait(at);
        if (!first->engraver->motionRunning()) continue;
        test::ExposureMap got;
        test::Harness* h = first.get();
        std::unique_ptr<test::Harness> second;
        if (c.cut == Cut::Abort) {
            ASSERT_EQ(h->engraver->click("Command2(5)"), engraver::EventResult::Handled);
        } else if (c.cut == Cut::Rest) {
            h->engraver->restNow();
        } else {
            // The power goes: the laser and the coils with it, and the disk keeps only what
            // was synced. The machine stays where it stood; the program starts again.
            const uint64_t synced = h->engraver->pictureRun().journal().syncedBytes();
            got = test::exposureOf(*h->sim);
            machine::SimConfig config;
            config.headX = static_cast<double>(h->sim->x()) / 2;
            config.headY = static_cast<double>(h->sim->y()) / 2;
            config.rotorX = h->sim->rotorX();
            config.rotorY = h->sim->rotorY();
            ASSERT_EQ(::truncate(journalPath(*h).c_str(), static_cast<off_t>(synced)), 0);
            second = std::make_unique<test::Harness>(config);
            second->host.folder = h->host.folder;
            setUp(*second, c.coarse);
            h = second.get();
        }
        const jobs::ResumeOffer offer = h->engraver->jobResume().check();
        ASSERT_EQ(offer.error, "");
        ASSERT_EQ(h->engraver->jobResume().resume(), "");
        ASSERT_TRUE(test::untilJobDone(*h));
        test::addExposure(got, *h->sim);
        if (second) second->host.folder.clear();  // the first one removes the folder
        EXPECT_FALSE(QFile::exists(QString::fromStdString(journalPath(*first))));
        if (c.cut != Cut::PowerCut) {
            EXPECT_EQ(got, want) << differences(got, want);
            continue;
        }
        // Only the dots of the last unsynced half second may burn again, never less.
        double extra = 0;
        for (const auto& [dot, ms] : got) {
            const auto it = want.find(dot);
            ASSERT_NE(it, want.end()) << "a dot the job does not burn";
            ASSERT_GE(ms, it->second);
            extra += ms - it->second;
        }
        for (const auto& [dot, ms] : want) EXPECT_TRUE(got.count(dot)) << "a dot skipped";
        EXPECT_LE(extra, jobs::kJournalSyncMs + 100);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryCut, JobResumeTest,
                         ::testing::Values(ResumeCase{Cut::Abort, false},
                                           ResumeCase{Cut::Abort, true},
                                           ResumeCase{Cut::Rest, false},
                                           ResumeCase{Cut::PowerCut, false},
                                           ResumeCase{Cut::PowerCut, true}));

}  // namespace
