// Tests of the area-averaging stretch: means kept, patterns averaged, halves rounded up.
#include <gtest/gtest.h>

#include <random>

#include "picture/AreaAverage.h"
#include "picture/PictureTestFiles.h"

namespace ostrel::test {
namespace {

using picture::AreaAverage;

const QSize kRaster(127, 103);  // Picture2 at its design size

QImage checkerboard(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
        }
    }
    return image;
}

TEST(AreaAverage, ReducesAFinePatternToItsMeanNotToOneOfItsPixels) {
    const QImage out = AreaAverage(checkerboard(254, 206), kRaster);
    ASSERT_EQ(out.size(), kRaster);
    for (int y = 0; y < out.height(); ++y) {
        for (int x = 0; x < out.width(); ++x) ASSERT_EQ(out.pixel(x, y), qRgb(128, 128, 128));
    }
    // A reduction by a factor that is not whole still averages: never black or white.
    const QImage odd = AreaAverage(checkerboard(300, 250), kRaster);
    for (int y = 0; y < odd.height(); ++y) {
        for (int x = 0; x < odd.width(); ++x) {
            ASSERT_GT(qRed(odd.pixel(x, y)), 80);
            ASSERT_LT(qRed(odd.pixel(x, y)), 175);
        }
    }
}

TEST(AreaAverage, KeepsTheMeanColourAndSolidColoursForEverySize) {
    std::mt19937 random(7);
    const QSize sources[] = {{1, 1}, {7, 5}, {127, 103}, {300, 200}, {1000, 3}};
    const QSize destinations[] = {{127, 103}, {15, 15}, {200, 50}, {1, 1}};
    for (QSize s : sources) {
        QImage noise(s, QImage::Format_RGB32);
        for (int y = 0; y < s.height(); ++y) {
            for (int x = 0; x < s.width(); ++x) {
                noise.setPixel(x, y, qRgb(random() % 256, random() % 256, random() % 256));
            }
        }
        for (QSize d : destinations) {
            SCOPED_TRACE(testing::Message() << s.width() << "x" << s.height() << " -> " << d.width()
                                            << "x" << d.height());
            auto mean = [](const QImage& image, int (*channel)(QRgb)) {
                double sum = 0;
                for (int y = 0; y < image.height(); ++y) {
                    for (int x = 0; x < image.width(); ++x) sum += channel(image.pixel(x, y));
                }
                return sum / (image.width() * image.height());
            };
            const QImage out = AreaAverage(noise, d);
            ASSERT_EQ(out.size(), d);
            // Only whole destination pixels spread the source evenly; rounding each adds 0.5.
            if (s.width() % d.width() == 0 && s.height() % d.height() == 0) {
                EXPECT_NEAR(mean(out, qRed), mean(noise, qRed), 0.51);
                EXPECT_NEAR(mean(out, qBlue), mean(noise, qBlue), 0.51);
            }
            const QImage flat = AreaAverage(solid(s.width(), s.height(), qRgb(12, 200, 77)), d);
            for (int y = 0; y < d.height(); ++y) {
                for (int x = 0; x < d.width(); ++x) ASSERT_EQ(flat.pixel(x, y), qRgb(12, 200, 77));
            }
        }
    }
}

TEST(AreaAverage, RoundsHalvesUp) {
    QImage pair(2, 1, QImage::Format_RGB32);
    pair.setPixel(0, 0, qRgb(0, 1, 254));
    pair.setPixel(1, 0, qRgb(1, 2, 255));
    EXPECT_EQ(AreaAverage(pair, QSize(1, 1)).pixel(0, 0), qRgb(1, 2, 255));
}

// A preview pixel that lies wholly inside a uniform band is the band's level, whatever the
// picture's size: the stretch is one step from the whole picture.
TEST(AreaAverage, KeepsAUniformBandUniformInOneStep) {
    for (QSize size : {QSize(127 * 8, 103 * 8), QSize(1270, 1030), QSize(2000, 1600)}) {
        SCOPED_TRACE(size.width());
        QImage bands(size, QImage::Format_RGB32);
        for (int x = 0; x < size.width(); ++x) {
            const int level = (x * 10 / size.width()) % 2 ? 200 : 30;
            for (int y = 0; y < size.height(); ++y) bands.setPixel(x, y, qRgb(level, level, level));
        }
        const QImage out = AreaAverage(bands, kRaster);
        for (int x = 0; x < kRaster.width(); ++x) {
            // Preview column x covers [x, x + 1) * width / 127 of the picture.
            const int first = x * size.width() / kRaster.width();
            const int last = ((x + 1) * size.width() - 1) / kRaster.width();
            const bool inside = first * 10 / size.width() == last * 10 / size.width();
            if (inside && (first * 10 / size.width()) % 2 == 0) {
                ASSERT_EQ(out.pixel(x, 50), qRgb(30, 30, 30)) << "column " << x;
            }
        }
    }
}

}  // namespace
}  // namespace ostrel::test
