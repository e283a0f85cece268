// Tests of the tone adjustments: neutral is the identity, each setting, their order and ranges.
#include <gtest/gtest.h>

#include <QRandomGenerator>
#include <cmath>
#include <limits>

#include "picture/Tone.h"

namespace ostrel::picture {
namespace {

TEST(Tone, NeutralSettingsChangeNothing) {
    const ToneSettings neutral;
    EXPECT_TRUE(neutral.isNeutral());
    const auto curve = toneCurve(neutral);
    for (int level = 0; level < 256; ++level) EXPECT_EQ(curve[size_t(level)], level);

    // A picture with colours, not only greys, comes back bit for bit.
    QImage picture(16, 16, QImage::Format_RGB32);
    QRandomGenerator random(3);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x)
            picture.setPixel(x, y,
                             qRgb(random.bounded(256), random.bounded(256), random.bounded(256)));
    }
    QImage toned = picture;
    applyTone(toned, neutral);
    EXPECT_TRUE(toned == picture);
}

TEST(Tone, EachSettingMovesTheLevelsAsWorkedOut) {
    const struct {
        const char* what;
        ToneSettings settings;
        int in, out;
    } cases[] = {
        {"invert black", {0, 0, 1.0, true}, 0, 255},
        {"invert 100", {0, 0, 1.0, true}, 100, 155},
        {"brightness +20 lifts black by 51", {20, 0, 1.0, false}, 0, 51},
        {"brightness +20 clips", {20, 0, 1.0, false}, 230, 255},
        {"brightness -100 is black", {-100, 0, 1.0, false}, 255, 0},
        {"brightness +100 is white", {100, 0, 1.0, false}, 0, 255},
        // Contrast 20 stretches by 100/80 about 127.5: 200 -> 218.1, 50 -> 30.6.
        {"contrast +20 light", {0, 20, 1.0, false}, 200, 218},
        {"contrast +20 dark", {0, 20, 1.0, false}, 50, 31},
        // Contrast -50 halves: 0 -> 63.75, 255 -> 191.25.
        {"contrast -50 black", {0, -50, 1.0, false}, 0, 64},
        {"contrast -50 white", {0, -50, 1.0, false}, 255, 191},
        {"contrast -100 is mid grey", {0, -100, 1.0, false}, 17, 128},
        {"contrast +100 cuts below mid grey", {0, 100, 1.0, false}, 127, 0},
        {"contrast +100 cuts above mid grey", {0, 100, 1.0, false}, 128, 255},
        // Gamma 2: 255 * sqrt(64 / 255) = 127.75; gamma 0.5: 255 * (128 / 255)^2 = 64.25.
        {"gamma 2 lightens", {0, 0, 2.0, false}, 64, 128},
        {"gamma 0.5 darkens", {0, 0, 0.5, false}, 128, 64},
        {"gamma keeps black", {0, 0, 3.0, false}, 0, 0},
        {"gamma keeps white", {0, 0, 0.3, false}, 255, 255},
        // Contrast comes before brightness: the cut at mid grey is then lowered to 128.
        {"contrast then brightness", {-50, 100, 1.0, false}, 200, 128},
        // Invert comes last: brightness +100 makes white, inverted to black.
        {"invert last", {100, 0, 1.0, true}, 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(toneCurve(c.settings)[size_t(c.in)], c.out) << c.what;
        EXPECT_FALSE(c.settings.isNeutral()) << c.what;
    }
}

TEST(Tone, CurvesRiseWithTheLevelAndInvertReversesThem) {
    QRandomGenerator random(11);
    for (int trial = 0; trial < 200; ++trial) {
        ToneSettings s{random.bounded(-100, 101), random.bounded(-100, 101),
                       0.1 + random.generateDouble() * 9.9, false};
        const auto up = toneCurve(s);
        s.invert = true;
        const auto down = toneCurve(s);
        for (int level = 0; level < 256; ++level) {
            if (level > 0) {
                EXPECT_GE(up[size_t(level)], up[size_t(level - 1)]);
            }
            EXPECT_EQ(down[size_t(level)], 255 - up[size_t(level)]);
        }
    }
}

TEST(Tone, SettingsOutsideTheirRangesAreHeldToThem) {
    EXPECT_EQ(toneCurve({500, 0, 1.0, false}), toneCurve({100, 0, 1.0, false}));
    EXPECT_EQ(toneCurve({0, -900, 1.0, false}), toneCurve({0, -100, 1.0, false}));
    EXPECT_EQ(toneCurve({0, 0, 0.0, false}), toneCurve({0, 0, kGammaMin, false}));
    EXPECT_EQ(toneCurve({0, 0, 1e9, false}), toneCurve({0, 0, kGammaMax, false}));
    EXPECT_EQ(toneCurve({0, 0, std::nan(""), false}), toneCurve(ToneSettings{}));
    EXPECT_EQ(clamped({0, 0, -std::numeric_limits<double>::infinity(), false}).gamma, kGammaMin);
}

TEST(Tone, APictureIsTonedChannelByChannel) {
    QImage picture(2, 1, QImage::Format_RGB32);
    picture.setPixel(0, 0, qRgb(100, 100, 100));
    picture.setPixel(1, 0, qRgb(0, 255, 255));
    applyTone(picture, {0, 0, 1.0, true});
    EXPECT_EQ(picture.pixel(0, 0), qRgb(155, 155, 155)) << "a grey stays grey";
    EXPECT_EQ(picture.pixel(1, 0), qRgb(255, 0, 0));

    QImage other(1, 1, QImage::Format_ARGB32);
    other.fill(qRgb(10, 10, 10));
    applyTone(other, {0, 0, 1.0, true});
    EXPECT_EQ(other.format(), QImage::Format_RGB32);
    EXPECT_EQ(other.pixel(0, 0), qRgb(245, 245, 245));

    QImage none;
    applyTone(none, {0, 0, 1.0, true});
    EXPECT_TRUE(none.isNull());
}

}  // namespace
}  // namespace ostrel::picture
