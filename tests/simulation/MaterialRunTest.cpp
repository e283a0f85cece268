// The picture job under a material profile, tone adjustments and a dithered mask.
#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>
#include <vector>

#include "jobs/Dwell.h"
#include "picture/Dither.h"
#include "picture/Tone.h"
#include "simulation/JobSimulation.h"
#include "support/Harness.h"

namespace ostrel::test {
namespace {

// Linear from 20 ms (white) to 400 ms (black), nothing burned above level 200. The longest
// dwell is past 205 ms, where the progress mark's red byte would overflow.
picture::MaterialProfile cork() {
    picture::MaterialProfile p;
    p.name = QStringLiteral("Cork");
    p.shortestMs = 20;
    p.longestMs = 400;
    p.curve = picture::DwellCurve::Gamma;
    p.gamma = 1.0;
    p.whiteCutoff = 200;
    return p;
}

// A grey gradient with black, white and levels around the cut-off.
std::string gradientPicture(const QTemporaryDir& dir, int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int v = (x * 13 + y * 29) % 256;
            image.setPixel(x, y, qRgb(v, v, v));
        }
    }
    const QString path = dir.filePath("gradient.png");
    EXPECT_TRUE(image.save(path));
    return path.toStdString();
}

// A homed window with a 24 x 18 picture loaded in Precise-Burning under `settings`.
struct MaterialRun {
    explicit MaterialRun(const picture::PictureSettings& settings, bool coarse = false) {
        h.start();
        h.engraver->click("Command3");
        EXPECT_TRUE(h.untilIdle());
        h.engraver->click("Command5");
        EXPECT_TRUE(h.untilIdle());
        h.wait(2000);
        h.engraver->set("HScroll1", "390");  // 24 wide
        h.engraver->set("VScroll1", "300");  // 18 high
        h.engraver->set("Check1", coarse ? "1" : "0");
        EXPECT_TRUE(h.engraver->setPictureSettings(settings));
        h.host.dialogAnswers.push_back(gradientPicture(dir, 30, 20));
        h.engraver->click("Command2(0)");
        EXPECT_TRUE(h.host.errors.empty());
        h.engraver->click("Option1");
        prepared = h.form().Picture2.raster.copy();
    }
    // Runs the job to its end; the machine time it took.
    int64_t run() {
        const int64_t at = h.loop.now();
        h.engraver->click("Command2(1)");
        EXPECT_TRUE(h.untilIdle());
        return h.loop.now() - at;
    }
    // The dwell of every burned dot in the order the run meets them: rows 0 to H + 1 (the two
    // rows past the picture read as white), each from the left.
    std::vector<double> expectedDwells(const std::vector<int>& table) const {
        std::vector<double> dwells;
        for (int y = 0; y < prepared.height() + 2; ++y) {
            for (int x = 0; x < prepared.width(); ++x) {
                const int level = y < prepared.height() ? qRed(prepared.pixel(x, y)) : 255;
                if (table[static_cast<size_t>(level)] > 0) dwells.push_back(table[level]);
            }
        }
        return dwells;
    }
    std::vector<double> exposedDwells() const {
        std::vector<double> dwells;
        for (const machine::Exposure& e : h.sim->exposures()) dwells.push_back(e.ms);
        return dwells;
    }

    QTemporaryDir dir;
    Harness h;
    QImage prepared;
};

std::vector<int> tableOf(const picture::MaterialProfile& profile) {
    const picture::DwellTable t = picture::dwellTable(profile);
    return {t.begin(), t.end()};
}

TEST(MaterialRun, EveryDotIsExposedForItsProfileDwellAndTheDesignedJobIsUntouched) {
    MaterialRun designed{picture::PictureSettings{}};
    EXPECT_TRUE(designed.h.form().materialDwellMs.empty());
    designed.run();
    const std::vector<int> designedTable(jobs::kDwellMs.begin(), jobs::kDwellMs.end());
    EXPECT_EQ(designed.exposedDwells(), designed.expectedDwells(designedTable));

    picture::PictureSettings settings;
    settings.material = cork();
    MaterialRun corked{settings};
    EXPECT_EQ(corked.prepared, designed.prepared);  // the profile does not touch the picture
    corked.run();
    const std::vector<double> expected = corked.expectedDwells(tableOf(cork()));
    EXPECT_EQ(corked.exposedDwells(), expected);
    EXPECT_LT(expected.size(), designed.exposedDwells().size());
}

TEST(MaterialRun, CutOffDotsTakeNoTimeButTheHeadStillSteps) {
    picture::PictureSettings uncut;
    uncut.material = cork();
    uncut.material.whiteCutoff = 255;
    picture::PictureSettings cut = uncut;
    cut.material.whiteCutoff = 200;

    MaterialRun whole{uncut};
    const int64_t wholeMs = whole.run();
    MaterialRun shortened{cut};
    const int64_t shortenedMs = shortened.run();

    EXPECT_EQ(shortened.h.form().xStepCount, whole.h.form().xStepCount);
    EXPECT_EQ(shortened.h.form().yStepCount, whole.h.form().yStepCount);
    EXPECT_EQ(shortened.h.sim->x(), whole.h.sim->x());
    EXPECT_EQ(shortened.h.sim->y(), whole.h.sim->y());
    EXPECT_EQ(shortened.h.sim->lostSteps(), 0u);
    // Each dot above the cut-off saved at least its pulse: laser-off and laser-on halves.
    double saved = 0;
    for (int y = 0; y < shortened.prepared.height() + 2; ++y) {
        for (int x = 0; x < shortened.prepared.width(); ++x) {
            const int level =
                y < shortened.prepared.height() ? qRed(shortened.prepared.pixel(x, y)) : 255;
            if (level > 200) saved += 2 * picture::dwellTable(uncut.material)[level];
        }
    }
    EXPECT_GT(saved, 0);
    EXPECT_GE(wholeMs - shortenedMs, saved);
    // A cut-off dot keeps its picture colour: it was not burned.
    const QImage after = shortened.h.form().Picture2.raster;
    for (int x = 0; x < after.width(); ++x) {
        const int level = qRed(shortened.prepared.pixel(x, 0));
        if (level > 200) {
            EXPECT_EQ(after.pixel(x, 0), shortened.prepared.pixel(x, 0)) << x;
        }
    }
}

TEST(MaterialRun, TheProgressMarkCapsItsRedAtFullAndNeverSpillsIntoGreen) {
    picture::PictureSettings settings;
    settings.material = cork();
    MaterialRun corked{settings};
    corked.run();
    const std::vector<int> table = tableOf(cork());
    const QImage after = corked.h.form().Picture2.raster;
    int capped = 0;
    for (int y = 0; y < after.height(); ++y) {
        for (int x = 0; x < after.width(); ++x) {
            const int dwell = table[static_cast<size_t>(qRed(corked.prepared.pixel(x, y)))];
            if (dwell == 0) continue;
            const QRgb mark = after.pixel(x, y);
            EXPECT_EQ(qRed(mark), std::min(255, 50 + dwell)) << x << "," << y;
            EXPECT_EQ(qGreen(mark), 50);
            EXPECT_EQ(qBlue(mark), 50);
            if (dwell > 205) ++capped;
        }
    }
    EXPECT_GT(capped, 0);
}

TEST(MaterialRun, TheJobTimeOfACopiedWindowIsTheRealRunsUnderAProfile) {
    picture::PictureSettings settings;
    settings.material = cork();
    MaterialRun corked{settings};
    const simulation::JobSummary copy = simulation::simulateFrom(
        corked.h.form().snapshot(), *corked.h.sim, simulation::JobKind::Picture);
    ASSERT_EQ(copy.outcome, simulation::JobOutcome::Finished) << copy.error;
    const int64_t realMs = corked.run();
    EXPECT_EQ(copy.jobMs, realMs);
    EXPECT_DOUBLE_EQ(copy.laserOnMs, corked.h.sim->laserOnMs());
    EXPECT_EQ(copy.dotsBurned, static_cast<int64_t>(corked.exposedDwells().size()));

    // And the headless job from a spec agrees with both.
    simulation::JobSpec spec;
    spec.picturePath = gradientPicture(corked.dir, 30, 20);
    spec.coarse = false;
    spec.width = 24;
    spec.height = 18;
    spec.pictureSettings = settings;
    const simulation::JobSummary headless = simulation::simulateJob(spec);
    ASSERT_EQ(headless.outcome, simulation::JobOutcome::Finished) << headless.error;
    EXPECT_DOUBLE_EQ(headless.laserOnMs, copy.laserOnMs);
    EXPECT_EQ(headless.dotsBurned, copy.dotsBurned);
}

TEST(MaterialRun, SettingsAreRefusedWhileAJobRuns) {
    MaterialRun designed{picture::PictureSettings{}};
    designed.h.engraver->click("Command2(1)");
    picture::PictureSettings settings;
    settings.material = cork();
    EXPECT_FALSE(designed.h.engraver->setPictureSettings(settings));
    EXPECT_TRUE(designed.h.form().materialDwellMs.empty());
    // Paused, the job still goes on with the dwells it started with.
    designed.h.loop.advance(300);
    ASSERT_EQ(designed.h.engraver->jobPause().pause(), "");
    EXPECT_FALSE(designed.h.engraver->motionRunning());
    EXPECT_FALSE(designed.h.engraver->setPictureSettings(settings));
    EXPECT_FALSE(designed.h.engraver->prepareAgain());
    EXPECT_TRUE(designed.h.form().materialDwellMs.empty());
    designed.h.engraver->click("Command2(5)");  // Abort
    EXPECT_TRUE(designed.h.engraver->setPictureSettings(settings));
}

// The preparation: tone after the grey pass; in Coarse-Burning a dithering in place of the
// threshold and marker passes.
TEST(MaterialPreparation, ToneAndDitheringShapeThePreparedPicture) {
    MaterialRun plainPrecise{picture::PictureSettings{}};
    MaterialRun plainCoarse{picture::PictureSettings{}, true};

    picture::PictureSettings toned;
    toned.tone.gamma = 2.0;
    toned.tone.invert = true;
    MaterialRun tonedPrecise{toned};
    QImage expected = plainPrecise.prepared.copy();
    picture::applyTone(expected, toned.tone);
    EXPECT_EQ(tonedPrecise.prepared, expected);

    for (picture::DitherMethod method : picture::kDitherMethods) {
        picture::PictureSettings dithered;
        dithered.tone = toned.tone;
        dithered.dither = method;
        MaterialRun coarse{dithered, true};
        QImage mask = plainPrecise.prepared.copy();
        picture::applyTone(mask, toned.tone);
        picture::applyBurnMask(mask, method, coarse.h.form().HScroll3.value);
        EXPECT_EQ(coarse.prepared, mask) << picture::ditherName(method);
        // A dithering leaves Precise-Burning alone.
        MaterialRun precise{dithered};
        EXPECT_EQ(precise.prepared, tonedPrecise.prepared) << picture::ditherName(method);
    }
    // The designed passes and the mask's threshold agree.
    QImage threshold = plainPrecise.prepared.copy();
    picture::applyBurnMask(threshold, picture::DitherMethod::Threshold,
                           plainCoarse.h.form().HScroll3.value);
    EXPECT_EQ(plainCoarse.prepared, threshold);
}

}  // namespace
}  // namespace ostrel::test
