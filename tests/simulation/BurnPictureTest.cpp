// The burn picture: where the marks fall, how dark they get, and the pictures it refuses.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "simulation/BurnPicture.h"

using namespace ostrel;

namespace {

constexpr QRgb kWood = qRgb(236, 214, 178);

// The darkest pixel of a picture.
QPoint darkest(const QImage& image) {
    QPoint best;
    int least = 256;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < least) {
                least = qGray(image.pixel(x, y));
                best = QPoint(x, y);
            }
        }
    }
    return best;
}

TEST(BurnPicture, AMarkFallsOnTheHeadsTruePositionFromTheHomeCorner) {
    simulation::BurnStyle style;
    // 40 X half-steps = 20 full steps; 10 Y half-steps = 5 full steps = 20 pixels at scale 4.
    const std::vector<machine::Exposure> one{{40, 10, 0, 100}};
    QImage image = simulation::burnPicture(one, style);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(darkest(image), QPoint(style.marginPx + 20, style.marginPx + 20));
    // The picture reaches from the home corner to the mark, with the margin around both.
    EXPECT_EQ(image.width(), 20 + 2 * style.marginPx + 1);
    EXPECT_EQ(image.height(), 20 + 2 * style.marginPx + 1);
    EXPECT_EQ(image.pixel(0, 0), kWood);

    style.yStepScale = 1;
    image = simulation::burnPicture(one, style);
    EXPECT_EQ(darkest(image), QPoint(style.marginPx + 20, style.marginPx + 5));

    // A head behind the switch widens the picture to the left.
    image = simulation::burnPicture({{-8, 0, 0, 100}}, style);
    EXPECT_EQ(darkest(image), QPoint(style.marginPx, style.marginPx));
}

TEST(BurnPicture, DarknessGrowsWithExposureFromTheScorchingThreshold) {
    const simulation::BurnStyle style;
    auto centre = [&](double ms) {
        const QImage image = simulation::burnPicture({{0, 0, 0, ms}}, style);
        return qGray(image.pixel(style.marginPx, style.marginPx));
    };
    EXPECT_EQ(centre(style.thresholdMs), qGray(kWood));
    EXPECT_LT(centre(13), qGray(kWood));
    EXPECT_LT(centre(65), centre(13));
    EXPECT_LT(centre(100), centre(65));
    EXPECT_LT(centre(100), 128);
    // Exposures at one place add up: two 50 ms stretches burn as one of 100 ms.
    const QImage twice = simulation::burnPicture({{0, 0, 0, 50}, {0, 0, 80, 50}}, style);
    EXPECT_EQ(qGray(twice.pixel(style.marginPx, style.marginPx)), centre(100));
}

TEST(BurnPicture, NothingBurnedIsABlankPieceAndTooLargeIsRefused) {
    const QImage blank = simulation::burnPicture({});
    ASSERT_FALSE(blank.isNull());
    EXPECT_EQ(darkest(blank), QPoint(0, 0));
    EXPECT_EQ(blank.pixel(darkest(blank)), kWood);

    const QImage huge = simulation::burnPicture({{2 * 20000, 0, 0, 50}});
    EXPECT_TRUE(huge.isNull());
    QTemporaryDir dir;
    std::string error;
    EXPECT_FALSE(simulation::saveBurnPicture(huge, dir.filePath("b.png").toStdString(), error));
    EXPECT_NE(error.find("larger than"), std::string::npos) << error;
    EXPECT_FALSE(simulation::saveBurnPicture(blank, dir.filePath("no/b.png").toStdString(), error));
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
    EXPECT_TRUE(simulation::saveBurnPicture(blank, dir.filePath("b.png").toStdString(), error));
}

}  // namespace
