// Tests of JPEG loading through libjpeg: the scale, libjpeg's own pixels for every kind cjpeg
// writes, the memory bound against bombs, damage, truncation and the kinds not supported.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QTemporaryDir>
#include <random>

#include "picture/JpegDecoder.h"
#include "picture/JpegTestFiles.h"
#include "picture/PictureLoader.h"
#include "picture/PictureTestFiles.h"

namespace ostrel::test {
namespace {

using picture::DecodedPicture;
using picture::decodePictureFile;

const QSize kRaster(127, 103);  // Picture2 at its design size

struct Folder {
    QTemporaryDir dir;
    std::string path() const { return dir.path().toStdString(); }
    DecodedPicture load(const QByteArray& bytes, QSize raster = kRaster) const {
        return decodePictureFile(writeFile(path(), "picture.jpg", bytes), raster);
    }
};

void expectRefused(const DecodedPicture& d, const std::string& said) {
    EXPECT_TRUE(d.image.isNull());
    EXPECT_NE(d.error.find(said), std::string::npos) << d.error;
}

TEST(JpegScaleDenominator, TakesTheSmallestScaleThatStillCoversTheRaster) {
    const struct {
        QSize source, raster;
        int denominator;
    } cases[] = {
        {{6000, 4000}, {127, 103}, 8}, {{1016, 824}, {127, 103}, 8},
        {{1009, 824}, {127, 103}, 8},  // 127 columns at 1/8, the last one partial
        {{1008, 824}, {127, 103}, 4},  {{1016, 823}, {127, 103}, 8},
        {{1016, 816}, {127, 103}, 4},  {{300, 300}, {127, 103}, 2},
        {{251, 300}, {127, 103}, 1},   {{127, 103}, {127, 103}, 1},
        {{10, 10}, {127, 103}, 1},     {{2040, 1540}, {127, 103}, 8},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(picture::jpegScaleDenominator(c.source, c.raster), c.denominator)
            << c.source.width() << "x" << c.source.height();
    }
}

// Every kind of file cjpeg writes comes out as libjpeg's own decode at the scale chosen,
// pixel for pixel: the picture's grey levels no longer depend on its size.
TEST(DecodePictureFile, GivesLibjpegsOwnDecodeAtTheScaleChosen) {
    if (!haveCjpeg()) GTEST_SKIP() << "cjpeg (libjpeg-turbo-progs) is not installed";
    Folder folder;
    const QImage colour = photoLike(1100, 900);
    const struct {
        const char* name;
        QStringList switches;
        bool grey;
    } files[] = {
        {"baseline 4:2:0", {}, false},
        {"baseline 4:4:4", {"-sample", "1x1"}, false},
        {"baseline 4:2:2 with restarts", {"-sample", "2x1", "-restart", "3"}, false},
        {"progressive 4:2:0", {"-progressive"}, false},
        {"arithmetic", {"-arithmetic"}, false},
        {"grey", {}, true},
        {"grey progressive", {"-progressive"}, true},
    };
    const struct {
        QSize raster;
        int denominator;
    } rasters[] = {{{127, 103}, 8}, {{200, 150}, 4}, {{500, 400}, 2}, {{600, 500}, 1}};
    for (const auto& f : files) {
        const QByteArray jpeg =
            cjpeg(f.grey ? photoLike(1100, 900, true) : colour, f.switches, f.grey);
        ASSERT_FALSE(jpeg.isEmpty()) << f.name;
        for (const auto& r : rasters) {
            SCOPED_TRACE(testing::Message() << f.name << " at 1/" << r.denominator);
            const DecodedPicture decoded = folder.load(jpeg, r.raster);
            ASSERT_FALSE(decoded.image.isNull()) << decoded.error;
            EXPECT_EQ(decoded.image, djpeg(jpeg, r.denominator));
        }
    }
}

// Adobe's CMYK, written inverted, comes out as Qt showed it: each of C, M, Y times K.
TEST(DecodePictureFile, ShowsCmykAsQtDid) {
    HandJpeg cmyk;
    cmyk.width = 48;
    cmyk.height = 32;
    cmyk.jfif = false;
    cmyk.adobeTransform = 0;
    // DC level d gives the sample 128 + d / 8 (quantiser 1): C 200, M 100, Y 0 and K 128.
    cmyk.components = {{1, 1, 1, 0, 576}, {2, 1, 1, 0, -224}, {3, 1, 1, 0, -1024}, {4, 1, 1, 0, 0}};
    Folder folder;
    const DecodedPicture decoded = folder.load(cmyk.bytes());
    ASSERT_FALSE(decoded.image.isNull()) << decoded.error;
    EXPECT_EQ(decoded.image.size(), QSize(48, 32));
    EXPECT_EQ(decoded.image.pixel(20, 20), qRgb(200 * 128 / 255, 100 * 128 / 255, 0));
}

TEST(DecodePictureFile, CallsTwelveBitAndLosslessJpegsNotSupported) {
    HandJpeg twelveBit;
    twelveBit.precision = 12;
    HandJpeg lossless;
    lossless.frameMarker = 0xC3;
    HandJpeg hierarchical;
    hierarchical.frameMarker = 0xC5;
    Folder folder;
    for (const HandJpeg* jpeg : {&twelveBit, &lossless, &hierarchical}) {
        expectRefused(folder.load(jpeg->bytes()), "this kind of JPEG is not supported (");
    }
}

// Peak memory of this process, in MB.
long peakMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

// A few bytes claiming a huge picture of several scans: libjpeg would keep the coefficients of
// the whole picture (a 1.4 KB file took 656 MB through Qt). Refused from the header.
TEST(DecodePictureFile, RefusesAProgressiveBombFromItsHeader) {
    if (!haveCjpeg()) GTEST_SKIP() << "cjpeg (libjpeg-turbo-progs) is not installed";
    const QByteArray small = cjpeg(photoLike(64, 64), {"-progressive"});
    ASSERT_FALSE(small.isEmpty());
    const QByteArray colourBomb = withClaimedSize(small, 14142, 14142);
    EXPECT_LT(colourBomb.size(), 2000);
    HandJpeg cmyk;
    cmyk.jfif = false;
    cmyk.adobeTransform = 2;
    cmyk.frameMarker = 0xC2;
    cmyk.components = {{1, 1, 1, 0, 0}, {2, 1, 1, 0, 0}, {3, 1, 1, 0, 0}, {4, 1, 1, 0, 0}};
    const QByteArray cmykBomb = withClaimedSize(cmyk.bytes(), 14142, 14142);
    EXPECT_LT(cmykBomb.size(), 2000);
    Folder folder;
    const long before = peakMb();
    expectRefused(folder.load(colourBomb),
                  "the picture is too large to decode (14142 x 14142 pixels in several scans need "
                  "572 MB; at most 256 MB).");
    expectRefused(folder.load(cmykBomb), "(14142 x 14142 pixels in several scans need 1526 MB");
    EXPECT_LT(peakMb() - before, 50);
    // Within the bound, a progressive file of the same size per scan loads.
    EXPECT_FALSE(folder.load(withClaimedSize(small, 64, 64)).image.isNull());
}

TEST(DecodePictureFile, RefusesAJpegClaimingTooManyPixelsBeforeDecodingIt) {
    HandJpeg huge;
    huge.width = 20000;
    huge.height = 20000;
    const QByteArray bytes = huge.bytes();
    Folder folder;
    // The header alone: nothing of the picture is needed to refuse it.
    expectRefused(folder.load(bytes.left(bytes.indexOf("\xFF\xDA") + 12)),
                  "the picture is too large (20000 x 20000 pixels; at most 200 million pixels).");
}

// libjpeg only warns about damaged entropy data and fills it in with grey; Load refuses it.
TEST(DecodePictureFile, RefusesDamagedData) {
    if (!haveCjpeg()) GTEST_SKIP() << "cjpeg (libjpeg-turbo-progs) is not installed";
    Folder folder;
    const QImage picture = photoLike(2400, 1800);
    for (const QStringList& switches :
         {QStringList{}, QStringList{"-progressive"}, QStringList{"-restart", "4"}}) {
        SCOPED_TRACE(switches.join(' ').toStdString());
        const QByteArray whole = cjpeg(picture, switches);
        ASSERT_FALSE(whole.isEmpty());
        ASSERT_FALSE(folder.load(whole).image.isNull());
        const qsizetype scan = whole.indexOf("\xFF\xDA") + 20;
        // A scan cut short, with the end marker after it.
        for (double part : {0.3, 0.6, 0.95}) {
            const QByteArray cut = whole.left(qsizetype(whole.size() * part)) + "\xFF\xD9";
            expectRefused(folder.load(cut), "the file is damaged and cannot be decoded (");
        }
        // Bytes inverted inside the scan, never into or out of a marker. NOTE: in the later
        // scans of a progressive file most codes are valid whatever the bits: damage there can
        // decode without a sign of it.
        if (switches.contains("-progressive")) continue;
        std::mt19937 random(5);
        for (int trial = 0; trial < 4; ++trial) {
            QByteArray damaged = whole;
            const auto at =
                scan + static_cast<qsizetype>(random() % static_cast<unsigned>(whole.size() / 2));
            for (qsizetype i = at; i < at + 64; ++i) {
                const char inverted = static_cast<char>(~damaged[i]);
                if (damaged[i] == '\xFF' || damaged[i - 1] == '\xFF' || inverted == '\xFF')
                    continue;
                damaged[i] = inverted;
            }
            expectRefused(folder.load(damaged), "the file is damaged and cannot be decoded (");
        }
    }
}

TEST(DecodePictureFile, RefusesJpegsCutShortWithTheMessagesItAlwaysGave) {
    if (!haveCjpeg()) GTEST_SKIP() << "cjpeg (libjpeg-turbo-progs) is not installed";
    Folder folder;
    const QImage picture = photoLike(2400, 1800);
    for (const QStringList& switches : {QStringList{}, QStringList{"-progressive"}}) {
        const QByteArray whole = cjpeg(picture, switches);
        ASSERT_FALSE(whole.isEmpty());
        for (double part : {0.1, 0.5, 0.9, 0.999}) {
            SCOPED_TRACE(part);
            expectRefused(folder.load(whole.left(qsizetype(whole.size() * part))),
                          "the file is truncated: it ends before the picture does.");
        }
        // No end marker: the picture may be whole, the file is not.
        expectRefused(folder.load(whole.left(whole.size() - 2)),
                      "the file is truncated: it ends before the picture does.");
        // Cut inside the header, before the first scan.
        expectRefused(folder.load(whole.left(whole.indexOf("\xFF\xC4") + 40)),
                      "the file is damaged: its header gives no picture size.");
    }
}

}  // namespace
}  // namespace ostrel::test
