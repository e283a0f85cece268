// Tests of picture decoding (kinds, truncation, reduced JPEG decoding) and the area averaging.
#include <gtest/gtest.h>

#include <QImageWriter>
#include <QTemporaryDir>
#include <cmath>
#include <random>

#include "jobs/JpegEighth.h"
#include "jobs/JpegTestFiles.h"
#include "jobs/PictureLoader.h"
#include "jobs/PictureLoaderTestFiles.h"

namespace ostrel::test {
namespace {

using jobs::AreaAverage;
using jobs::DecodePictureFile;

const QSize kRaster(127, 103);  // Picture2 at its design size

struct Folder {
    QTemporaryDir dir;
    std::string path() const { return dir.path().toStdString(); }
};

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

TEST(DecodePictureFile, DecodesALargeJpegAtAReducedScaleNoSmallerThanTwiceTheRaster) {
    Folder folder;
    const std::string path =
        writeFile(folder.path(), "big.jpg", encode(gradient(2000, 1600), "JPEG", 95));
    const jobs::DecodedPicture decoded = DecodePictureFile(path, kRaster);
    ASSERT_FALSE(decoded.image.isNull()) << decoded.error;
    EXPECT_GE(decoded.image.width(), 2 * kRaster.width());
    EXPECT_GE(decoded.image.height(), 2 * kRaster.height());
    EXPECT_LE(decoded.image.width(), 600);
    // Aspect kept (2000:1600), content kept: the gradient's corners.
    EXPECT_NEAR(double(decoded.image.width()) / decoded.image.height(), 1.25, 0.02);
    const QRgb bottomRight =
        decoded.image.pixel(decoded.image.width() - 1, decoded.image.height() - 1);
    EXPECT_NEAR(qRed(bottomRight), 255, 6);
    EXPECT_NEAR(qGreen(bottomRight), 255, 6);
    EXPECT_NEAR(qRed(decoded.image.pixel(0, 0)), 0, 6);
}

TEST(DecodePictureFile, TellsTheKindByContentNotByName) {
    Folder folder;
    const QImage picture = solid(9, 4, qRgb(10, 20, 30));
    const struct {
        const char* name;
        const char* format;
    } cases[] = {{"photo.jpg", "PNG"},
                 {"photo.gif", "BMP"},
                 {"noextension", "PNG"},
                 {"picture.bmp", "JPEG"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const jobs::DecodedPicture decoded = DecodePictureFile(
            writeFile(folder.path(), c.name, encode(picture, c.format, 100)), kRaster);
        ASSERT_FALSE(decoded.image.isNull()) << decoded.error;
        EXPECT_EQ(decoded.image.size(), picture.size());
        EXPECT_NEAR(qBlue(decoded.image.pixel(4, 2)), 30, 3);
    }
}

TEST(DecodePictureFile, ShowsTransparentAreasAsWhite) {
    Folder folder;
    QImage picture(4, 4, QImage::Format_ARGB32);
    picture.fill(qRgba(0, 0, 0, 0));
    picture.setPixel(0, 0, qRgba(0, 0, 255, 255));
    const jobs::DecodedPicture decoded =
        DecodePictureFile(writeFile(folder.path(), "clear.png", encode(picture, "PNG")), kRaster);
    ASSERT_FALSE(decoded.image.isNull()) << decoded.error;
    EXPECT_EQ(decoded.image.pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(decoded.image.pixel(3, 3), qRgb(255, 255, 255));
}

// Qt's decoders call some truncated files a success (JPEG and BMP fill the rest in); every cut
// of a file must be refused, and the whole file accepted.
TEST(DecodePictureFile, RefusesEveryTruncationOfAFileAndTakesTheWholeFile) {
    Folder folder;
    const QImage picture = gradient(64, 48);
    QByteArray progressive;
    {
        QBuffer buffer(&progressive);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setProgressiveScanWrite(true);
        writer.write(picture);
    }
    QImage indexed = picture.convertToFormat(QImage::Format_Indexed8);
    // tail: bytes at the end that hold nothing of the picture (a cut there loses nothing).
    const struct {
        const char* name;
        QByteArray whole;
        int tail;
    } files[] = {
        {"baseline.jpg", encode(picture, "JPEG", 90), 0},
        {"progressive.jpg", progressive, 0},
        {"trailing.jpg", encode(picture, "JPEG", 90) + QByteArray("camera data after the end"), 25},
        {"true-colour.bmp", encode(picture, "BMP"), 0},
        {"palette.bmp", encode(indexed, "BMP"), 0},
        {"picture.png", encode(picture, "PNG"), 12},  // the end chunk
        {"picture.gif", makeGif(64, 48, 1, [](int, int x, int y) { return (x / 8 + y / 8) % 2; }),
         1},  // the trailer
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        const jobs::DecodedPicture whole =
            DecodePictureFile(writeFile(folder.path(), f.name, f.whole), kRaster);
        EXPECT_FALSE(whole.image.isNull()) << whole.error;
        for (double part : {0.1, 0.5, 0.9, 0.97}) {
            const qsizetype kept =
                std::min(qsizetype(f.whole.size() * part), f.whole.size() - f.tail - 1);
            const QByteArray cut = f.whole.left(kept);
            const jobs::DecodedPicture d =
                DecodePictureFile(writeFile(folder.path(), f.name, cut), kRaster);
            EXPECT_TRUE(d.image.isNull()) << "kept " << part;
            EXPECT_NE(d.error.find(f.name), std::string::npos) << d.error;
        }
    }
}

// A large JPEG goes through our own 1/8 decoder; everything it does not decode through Qt's,
// with the results and the messages Load always gave.

using jobs::DecodedPicture;

// What Load made of a large JPEG through Qt: libjpeg's 1/8 decode, then the area average.
QImage throughQt(const QByteArray& jpeg, QSize size) {
    return AreaAverage(qtEighth(jpeg), size);
}

TEST(DecodePictureFile, DecodesALargeJpegAtAnEighthAsQtDid) {
    if (!haveCjpeg()) GTEST_SKIP() << "cjpeg (libjpeg-turbo-progs) is not installed";
    Folder folder;
    const QImage picture = photoLike(2400, 1800);
    const struct {
        const char* name;
        QStringList switches;
    } files[] = {
        {"baseline 4:4:4", {"-sample", "1x1"}},
        {"progressive 4:4:4", {"-sample", "1x1", "-progressive"}},
        {"arithmetic (through Qt)", {"-sample", "1x1", "-arithmetic"}},
        {"baseline 4:2:0", {}},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        const QByteArray jpeg = cjpeg(picture, f.switches);
        ASSERT_FALSE(jpeg.isEmpty());
        const DecodedPicture decoded =
            DecodePictureFile(writeFile(folder.path(), "photo.jpg", jpeg), kRaster);
        ASSERT_FALSE(decoded.image.isNull()) << decoded.error;
        // 300 x 225 at 1/8, reduced to twice the raster keeping the aspect.
        EXPECT_EQ(decoded.image.size(), QSize(275, 206));
        // Reduced row by row as it is decoded: the same as the whole picture at 1/8 reduced.
        const jobs::JpegEighthResult eighth = jobs::DecodeJpegEighth(
            {reinterpret_cast<const uint8_t*>(jpeg.constData()), static_cast<size_t>(jpeg.size())},
            jobs::kMaxJpegSourcePixels);
        if (eighth.outcome == jobs::JpegEighthOutcome::Decoded) {
            EXPECT_EQ(decoded.image, AreaAverage(eighth.image, decoded.image.size()));
        }
        // Chroma subsampled 2 x 2 is where our 1/8 differs from libjpeg's (see JpegEighthTest).
        if (f.switches.contains("1x1")) {
            EXPECT_EQ(decoded.image, throughQt(jpeg, decoded.image.size()));
        }
    }
}

TEST(DecodePictureFile, LeavesLargeJpegsItDoesNotDecodeToQt) {
    Folder folder;
    HandJpeg cmyk;
    cmyk.width = 2400;
    cmyk.height = 1800;
    cmyk.jfif = false;
    cmyk.adobeTransform = 2;
    cmyk.components = {{1, 1, 1, 0, 0}, {2, 1, 1, 0, 0}, {3, 1, 1, 0, 0}, {4, 1, 1, 0, 0}};
    const DecodedPicture fromCmyk =
        DecodePictureFile(writeFile(folder.path(), "cmyk.jpg", cmyk.bytes()), kRaster);
    ASSERT_FALSE(fromCmyk.image.isNull()) << fromCmyk.error;
    EXPECT_EQ(fromCmyk.image.size(), QSize(275, 206));

    HandJpeg twelveBit = cmyk;
    twelveBit.precision = 12;
    twelveBit.components = {{1, 1, 1, 0, 0}};
    const DecodedPicture fromTwelveBit =
        DecodePictureFile(writeFile(folder.path(), "deep.jpg", twelveBit.bytes()), kRaster);
    EXPECT_TRUE(fromTwelveBit.image.isNull());
    EXPECT_NE(fromTwelveBit.error.find("header gives no picture size"), std::string::npos)
        << fromTwelveBit.error;
}

// Damage our decoder finds is judged by Qt's path, exactly as before. Bytes changed inside the
// scan, never into or out of a marker: Qt fills what it cannot decode with grey and calls it a
// success; where our decoder finds nothing wrong, it decodes the same coefficients.
TEST(DecodePictureFile, GivesDamagedLargeJpegsToQt) {
    if (!haveCjpeg()) GTEST_SKIP() << "cjpeg (libjpeg-turbo-progs) is not installed";
    Folder folder;
    const QByteArray whole = cjpeg(photoLike(2400, 1800), {"-sample", "1x1", "-restart", "4"});
    ASSERT_FALSE(whole.isEmpty());
    const qsizetype scan = whole.indexOf("\xFF\xDA") + 20;
    std::mt19937 random(5);
    for (int trial = 0; trial < 6; ++trial) {
        QByteArray damaged = whole;
        for (int changes = 0; changes < 1 + trial;) {
            const auto at = scan + static_cast<qsizetype>(
                                       random() % static_cast<unsigned>(whole.size() - scan - 4));
            const char changed = static_cast<char>(damaged[at] ^ (1 << (random() % 8)));
            if (damaged[at - 1] == '\xFF' || damaged[at] == '\xFF' || changed == '\xFF') continue;
            damaged[at] = changed;
            ++changes;
        }
        const DecodedPicture decoded =
            DecodePictureFile(writeFile(folder.path(), "damaged.jpg", damaged), kRaster);
        ASSERT_FALSE(decoded.image.isNull()) << decoded.error;
        EXPECT_EQ(decoded.image, throughQt(damaged, decoded.image.size()));
    }
}

TEST(DecodePictureFile, RefusesLargeJpegsCutShortWithTheMessagesItAlwaysGave) {
    if (!haveCjpeg()) GTEST_SKIP() << "cjpeg (libjpeg-turbo-progs) is not installed";
    Folder folder;
    const QImage picture = photoLike(2400, 1800);
    for (const QStringList& switches : {QStringList{}, QStringList{"-progressive"}}) {
        const QByteArray whole = cjpeg(picture, switches);
        ASSERT_FALSE(whole.isEmpty());
        for (double part : {0.1, 0.5, 0.9, 0.999}) {
            SCOPED_TRACE(part);
            const DecodedPicture d = DecodePictureFile(
                writeFile(folder.path(), "cut.jpg", whole.left(qsizetype(whole.size() * part))),
                kRaster);
            EXPECT_TRUE(d.image.isNull());
            EXPECT_NE(d.error.find("the file is truncated: it ends before the picture does."),
                      std::string::npos)
                << d.error;
        }
        // Cut inside the header, before the first scan: Qt cannot read the header.
        const DecodedPicture header = DecodePictureFile(
            writeFile(folder.path(), "cut.jpg", whole.left(whole.indexOf("\xFF\xC4") + 40)),
            kRaster);
        EXPECT_TRUE(header.image.isNull());
        EXPECT_NE(header.error.find("header gives no picture size"), std::string::npos)
            << header.error;
    }
}

TEST(DecodePictureFile, RefusesAJpegClaimingTooManyPixelsBeforeDecodingIt) {
    HandJpeg huge;
    huge.width = 20000;
    huge.height = 20000;
    const QByteArray bytes = huge.bytes();
    Folder folder;
    // The header alone: nothing of the picture is needed to refuse it.
    const DecodedPicture d = DecodePictureFile(
        writeFile(folder.path(), "huge.jpg", bytes.left(bytes.indexOf("\xFF\xDA") + 12)), kRaster);
    EXPECT_TRUE(d.image.isNull());
    EXPECT_NE(d.error.find(
                  "the picture is too large (20000 x 20000 pixels; at most 200 million pixels)."),
              std::string::npos)
        << d.error;
}

}  // namespace
}  // namespace ostrel::test
