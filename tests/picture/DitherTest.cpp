// Tests of the burn mask: the designed threshold, the error diffusions and the ordered ditherings.
#include <gtest/gtest.h>

#include <QRandomGenerator>
#include <algorithm>
#include <map>

#include "jobs/Preparation.h"
#include "picture/Dither.h"
#include "support/Harness.h"

namespace ostrel::picture {
namespace {

using Mask = std::vector<uint8_t>;

GreyRaster raster(int width, int height, std::vector<uint8_t> levels) {
    return GreyRaster{width, height, std::move(levels)};
}

GreyRaster uniform(int width, int height, uint8_t level) {
    return raster(width, height, std::vector<uint8_t>(size_t(width * height), level));
}

constexpr DitherMethod kDiffusions[] = {DitherMethod::FloydSteinberg, DitherMethod::Atkinson,
                                        DitherMethod::JarvisJudiceNinke, DitherMethod::Stucki};

TEST(Dither, NamesRoundTripAndUnknownNamesAreRefused) {
    for (const DitherMethod method : kDitherMethods) {
        EXPECT_EQ(ditherFromName(ditherName(method)), method) << ditherName(method);
        EXPECT_FALSE(ditherTitle(method).empty());
    }
    EXPECT_EQ(ditherFromName("jarvis"), DitherMethod::JarvisJudiceNinke);
    EXPECT_EQ(ditherFromName("Floyd-Steinberg"), std::nullopt);
    EXPECT_EQ(ditherFromName(""), std::nullopt);
}

// Small pictures worked out by hand. The error of a dot goes forward along its row and down;
// a dot darker than 128 is burned (error = value), a lighter one is not (error = value - 255).
TEST(Dither, ErrorDiffusionsMatchPicturesWorkedOutByHand) {
    const struct {
        const char* what;
        DitherMethod method;
        GreyRaster in;
        Mask out;
    } cases[] = {
        // One row of 100s: FS 100 -> +43.75 -> 143.75 (blank, -111.25) -> 51.3 -> 122.5.
        {"FS row", DitherMethod::FloydSteinberg, uniform(4, 1, 100), {1, 0, 1, 1}},
        // Atkinson: 1/8 to each of the next two: 112.5, then 126.6, then 129.9 (blank).
        {"Atkinson row", DitherMethod::Atkinson, uniform(4, 1, 100), {1, 1, 1, 0}},
        // JJN: 7/48 and 5/48 ahead: 114.6, 127.1, then 130.5 (blank).
        {"JJN row", DitherMethod::JarvisJudiceNinke, uniform(4, 1, 100), {1, 1, 1, 0}},
        // Stucki: 8/42 and 4/42 ahead: 119.0, 132.2 (blank), then 88.0.
        {"Stucki row", DitherMethod::Stucki, uniform(4, 1, 100), {1, 1, 0, 1}},
        // A column of 120, 110: the dot below gets 5/16 (147.5), 1/8 (125), 7/48 (127.5),
        // 8/42 (132.9) of the first dot's error.
        {"FS down", DitherMethod::FloydSteinberg, raster(1, 2, {120, 110}), {1, 0}},
        {"Atkinson down", DitherMethod::Atkinson, raster(1, 2, {120, 110}), {1, 1}},
        {"JJN down", DitherMethod::JarvisJudiceNinke, raster(1, 2, {120, 110}), {1, 1}},
        {"Stucki down", DitherMethod::Stucki, raster(1, 2, {120, 110}), {1, 0}},
        // Atkinson's second row down gets 1/8 too: 100 -> 112.5 (+14.1) -> 126.6.
        {"Atkinson two down", DitherMethod::Atkinson, uniform(1, 3, 100), {1, 1, 1}},
        // FS: 100 -> 131.25 (blank, -123.75) -> 61.3.
        {"FS column", DitherMethod::FloydSteinberg, uniform(1, 3, 100), {1, 0, 1}},
        // Black and white are exact: no error, nothing spreads.
        {"FS black/white", DitherMethod::FloydSteinberg, raster(3, 1, {0, 255, 0}), {1, 0, 1}},
        {"Stucki black/white", DitherMethod::Stucki, raster(3, 1, {255, 0, 255}), {0, 1, 0}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ditherLevels(c.in, c.method, 0), c.out) << c.what;
    }
}

// Row 1 runs right to left: its 120 is dealt with first and its error pushes the 255 further
// white, so the 100 keeps its own darkness and is burned. Scanned left to right it would be
// 1, 0, 0: the 100's error would push the 120 over mid grey.
TEST(Dither, OddRowsRunRightToLeft) {
    const GreyRaster in = raster(3, 2, {0, 0, 0, 100, 255, 120});
    for (const DitherMethod method : kDiffusions) {
        EXPECT_EQ(ditherLevels(in, method, 0), (Mask{1, 1, 1, 1, 0, 1})) << ditherName(method);
    }
}

// With an error-free row above, a right-to-left row is the mirror of the same row, mirrored,
// scanned left to right: direction and weights are both mirrored.
TEST(Dither, ARightToLeftRowIsTheMirrorOfALeftToRightOne) {
    QRandomGenerator random(19);
    for (const DitherMethod method : kDiffusions) {
        for (int trial = 0; trial < 20; ++trial) {
            const int width = 1 + random.bounded(9);
            std::vector<uint8_t> row(static_cast<size_t>(width));
            for (uint8_t& level : row) level = uint8_t(random.bounded(256));
            std::vector<uint8_t> twoRows(size_t(width), 0);  // black: no error
            twoRows.insert(twoRows.end(), row.begin(), row.end());
            const Mask both = ditherLevels(raster(width, 2, twoRows), method, 0);

            std::vector<uint8_t> mirrored(row.rbegin(), row.rend());
            Mask alone = ditherLevels(raster(width, 1, mirrored), method, 0);
            std::reverse(alone.begin(), alone.end());
            EXPECT_EQ(Mask(both.begin() + width, both.end()), alone)
                << ditherName(method) << " width " << width;
        }
    }
}

// Over a large even grey the share of burned dots is the darkness. Atkinson drops a quarter
// of the error, so it holds the middle tones only: the faintest greys come out blank and the
// darkest black.
TEST(Dither, DiffusionKeepsTheToneOfAnEvenGrey) {
    for (const DitherMethod method : kDiffusions) {
        const bool atkinson = method == DitherMethod::Atkinson;
        for (const int level : {32, 64, 128, 192, 224}) {
            if (atkinson && (level < 64 || level > 192)) continue;
            const Mask out = ditherLevels(uniform(64, 64, uint8_t(level)), method, 0);
            const double burned = double(std::count(out.begin(), out.end(), 1)) / out.size();
            const double darkness = 1.0 - level / 255.0;
            EXPECT_NEAR(burned, darkness, atkinson ? 0.1 : 0.02)
                << ditherName(method) << " level " << level;
        }
    }
}

TEST(Dither, BlackBurnsAndWhiteStaysBlankWhateverTheMethod) {
    for (const DitherMethod method : kDitherMethods) {
        if (method == DitherMethod::Threshold) continue;  // black is never burned there
        const Mask black = ditherLevels(uniform(9, 7, 0), method, 0);
        const Mask white = ditherLevels(uniform(9, 7, 255), method, 0);
        EXPECT_EQ(std::count(black.begin(), black.end(), 1), 63) << ditherName(method);
        EXPECT_EQ(std::count(white.begin(), white.end(), 1), 0) << ditherName(method);
    }
}

// Ordered dithering: a dot is burned when its level is below (M + 1/2) * 256 / n^2.
TEST(Dither, BayerFourRepeatsItsMatrixOverThePicture) {
    // Level 128 burns where the 4 x 4 matrix holds 8 or more: a checkerboard that repeats
    // at column 4 and row 4.
    const Mask half = ditherLevels(uniform(5, 5, 128), DitherMethod::Bayer4, 0);
    const Mask expected = {0, 1, 0, 1, 0,  //  0  8  2 10 |  0
                           1, 0, 1, 0, 1,  // 12  4 14  6 | 12
                           0, 1, 0, 1, 0,  //  3 11  1  9 |  3
                           1, 0, 1, 0, 1,  // 15  7 13  5 | 15
                           0, 1, 0, 1, 0};
    EXPECT_EQ(half, expected);
    // Level 8 spares only the matrix's 0; level 247 burns only its 15 (column 0, row 3).
    const Mask light = ditherLevels(uniform(4, 4, 8), DitherMethod::Bayer4, 0);
    EXPECT_EQ(std::count(light.begin(), light.end(), 0), 1);
    EXPECT_EQ(light[0], 0);
    const Mask dark = ditherLevels(uniform(4, 4, 247), DitherMethod::Bayer4, 0);
    EXPECT_EQ(std::count(dark.begin(), dark.end(), 1), 1);
    EXPECT_EQ(dark[12], 1);
}

TEST(Dither, BayerEightHasTheUsualMatrix) {
    // The first row of the 8 x 8 matrix is 0 32 8 40 2 34 10 42: level 128 burns the 32 and
    // over, level 40 the 10 and over, level 20 the 5 and over.
    const Mask half = ditherLevels(uniform(8, 1, 128), DitherMethod::Bayer8, 0);
    EXPECT_EQ(half, (Mask{0, 1, 0, 1, 0, 1, 0, 1}));
    const Mask fewer = ditherLevels(uniform(8, 1, 40), DitherMethod::Bayer8, 0);
    EXPECT_EQ(fewer, (Mask{0, 1, 0, 1, 0, 1, 1, 1}));
    const Mask light = ditherLevels(uniform(8, 1, 20), DitherMethod::Bayer8, 0);
    EXPECT_EQ(light, (Mask{0, 1, 1, 1, 0, 1, 1, 1}));
    // A whole tile burns fewer dots as the level rises, from all 64 to none.
    int previous = 65;
    for (int level = 0; level < 256; ++level) {
        const Mask tile = ditherLevels(uniform(8, 8, uint8_t(level)), DitherMethod::Bayer8, 0);
        const int burned = int(std::count(tile.begin(), tile.end(), 1));
        EXPECT_LE(burned, previous) << "level " << level;
        previous = burned;
        const std::map<int, int> known{{0, 64}, {128, 32}, {255, 0}};
        if (known.count(level)) {
            EXPECT_EQ(burned, known.at(level)) << "level " << level;
        }
    }
}

TEST(Dither, ThresholdBurnsUpToTheSensitivityButNeverBlack) {
    const GreyRaster in = raster(5, 1, {0, 1, 100, 101, 255});
    EXPECT_EQ(ditherLevels(in, DitherMethod::Threshold, 100), (Mask{0, 1, 1, 0, 0}));
    EXPECT_EQ(ditherLevels(in, DitherMethod::Threshold, 254), (Mask{0, 1, 1, 1, 0}));
    EXPECT_EQ(ditherLevels(in, DitherMethod::Threshold, 0), (Mask{0, 0, 0, 0, 0}));
}

TEST(Dither, EmptyAndOneDotPicturesAreHandled) {
    for (const DitherMethod method : kDitherMethods) {
        // Sizes that disagree with the levels burn nothing rather than read past them.
        EXPECT_EQ(ditherLevels(raster(3, 3, {0, 0}), method, 100), (Mask{0, 0}))
            << ditherName(method);
        EXPECT_EQ(ditherLevels(raster(-1, -2, {0, 0}), method, 100), (Mask{0, 0}))
            << ditherName(method);
        EXPECT_TRUE(ditherLevels(GreyRaster{}, method, 100).empty()) << ditherName(method);
        // Level 1 is below every method's darkest threshold.
        EXPECT_EQ(ditherLevels(uniform(1, 1, 1), method, 100), Mask{1}) << ditherName(method);
    }
}

// The mask in the colours the run reads, from whole colours.
TEST(Dither, TheMaskHoldsOnlyMarkerAndBlank) {
    QImage picture(3, 2, QImage::Format_RGB32);
    const QRgb in[] = {qRgb(0, 0, 0),     qRgb(100, 100, 100), qRgb(101, 101, 101),
                       qRgb(0, 255, 255), qRgb(255, 255, 0),   qRgb(254, 254, 254)};
    for (int i = 0; i < 6; ++i) picture.setPixel(i % 3, i / 3, in[i]);

    const QRgb marker = qRgb(100, 0, 0), blank = qRgb(0, 0, 0);
    QImage designed = picture;
    applyBurnMask(designed, DitherMethod::Threshold, 100);
    // Black stays blank; 100 is the marker, 101 blank; (0, 255, 255) has level 0 but is not
    // black; (255, 255, 0) has level 255.
    const QRgb expected[] = {blank, marker, blank, marker, blank, blank};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(designed.pixel(i % 3, i / 3), expected[i]) << "dot " << i;

    QImage bayer = picture;
    applyBurnMask(bayer, DitherMethod::Bayer4, 100);
    for (int i = 0; i < 6; ++i) {
        const QRgb p = bayer.pixel(i % 3, i / 3);
        EXPECT_TRUE(p == marker || p == blank) << "dot " << i;
    }
    EXPECT_EQ(bayer.pixel(0, 0), marker) << "black is burned by a dithering";
    EXPECT_EQ(bayer.pixel(1, 1), blank) << "level 255";
}

// The threshold mask equals what the coarse preparation makes, dot for dot, over random
// pictures and sensitivities.
TEST(Dither, ThresholdIsTheCoarsePreparation) {
    QRandomGenerator random(7);
    for (const int sensitivity : {0, 1, 100, 180, 254}) {
        test::Harness h;
        h.start();
        form::Form1& f = h.form();
        QImage original(f.Picture2.raster.size(), QImage::Format_RGB32);
        for (int y = 0; y < original.height(); ++y) {
            for (int x = 0; x < original.width(); ++x) {
                // Mostly greys and primaries, so that ties and black occur.
                const int pick = random.bounded(4);
                const int a = random.bounded(256), b = random.bounded(256);
                original.setPixel(x, y,
                                  pick == 0   ? qRgb(a, a, a)
                                  : pick == 1 ? qRgb(a, a, 0)
                                  : pick == 2 ? qRgb(0, 0, 0)
                                              : qRgb(a, b, random.bounded(256)));
            }
        }
        f.HScroll3.value = sensitivity;

        f.Check1.value = 0;  // Precise-Burning: the greyed picture only
        f.Picture2.raster = original;
        h.engraver->preparation().PreparePicture();
        QImage ours = f.Picture2.raster;
        applyBurnMask(ours, DitherMethod::Threshold, sensitivity);

        f.Check1.value = 1;
        f.Picture2.raster = original;
        h.engraver->preparation().PreparePicture();
        EXPECT_TRUE(ours == f.Picture2.raster) << "sensitivity " << sensitivity;
        // Both kinds of dot occur, so the comparison says something.
        const GreyRaster levels = levelsOf(ours);
        ASSERT_GT(levels.levels.size(), 1000u);
        const auto markers = std::count(levels.levels.begin(), levels.levels.end(), kMaskMarker);
        if (sensitivity > 0) {
            EXPECT_GT(markers, 0);
        }
        EXPECT_GT(std::count(levels.levels.begin(), levels.levels.end(), 0), 100);
    }
}

}  // namespace
}  // namespace ostrel::picture
