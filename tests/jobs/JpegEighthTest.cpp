// Tests of the 1/8-scale JPEG decoder against libjpeg (through Qt) and against bad files.
#include <gtest/gtest.h>

#include <QBuffer>
#include <random>

#include "jobs/JpegEighth.h"
#include "jobs/JpegTestFiles.h"
#include "jobs/PictureLoader.h"
#include "jobs/PictureLoaderTestFiles.h"

namespace ostrel::test {
namespace {

using jobs::JpegEighthOutcome;
using Outcome = JpegEighthOutcome;

jobs::JpegEighthResult eighth(const QByteArray& jpeg) {
    return jobs::DecodeJpegEighth(
        {reinterpret_cast<const uint8_t*>(jpeg.constData()), static_cast<size_t>(jpeg.size())},
        jobs::kMaxJpegSourcePixels);
}

// Per channel, the largest of the three: the largest difference of one pixel, the mean
// difference of a pixel, and the difference of the means.
struct Difference {
    int largest = 0;
    double perPixel = 0;
    double mean = 0;
};
Difference compare(const QImage& a, const QImage& b) {
    Difference d;
    std::array<double, 3> sumA{}, sumB{}, sumDifference{};
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            const std::array<int, 3> pa{qRed(p), qGreen(p), qBlue(p)},
                qa{qRed(q), qGreen(q), qBlue(q)};
            for (size_t c = 0; c < 3; ++c) {
                d.largest = std::max(d.largest, std::abs(pa[c] - qa[c]));
                sumDifference[c] += std::abs(pa[c] - qa[c]);
                sumA[c] += pa[c];
                sumB[c] += qa[c];
            }
        }
    }
    const double n = static_cast<double>(a.width()) * a.height();
    for (size_t c = 0; c < 3; ++c) {
        d.perPixel = std::max(d.perPixel, sumDifference[c] / n);
        d.mean = std::max(d.mean, std::abs(sumA[c] - sumB[c]) / n);
    }
    return d;
}

// Every kind of file cjpeg writes that the decoder takes, against libjpeg's own 1/8 decode
// (djpeg) and against Qt's, where Qt asks libjpeg for 1/8 (sides that are multiples of 8).
// Grey and 4:4:4 are libjpeg's 1 x 1 inverse DCT exactly. Where chroma is subsampled 2 x 2,
// libjpeg decodes it at 2 x 2 and so gives each quarter of a chroma block its own colour: at a
// sharp colour edge single pixels differ, not the picture. In a picture of a few blocks the
// edge is most of it: there only the single pixels are bounded.
TEST(JpegEighth, MatchesLibjpegsEighthScaleDecodeForEveryKindCjpegWrites) {
    if (!haveCjpeg()) GTEST_SKIP() << "cjpeg and djpeg (libjpeg-turbo-progs) are not installed";
    struct Case {
        const char* name;
        QStringList switches;
        bool grey;
        bool exact;  // else chroma is subsampled 2 x 2
    };
    const Case cases[] = {
        {"4:4:4", {"-sample", "1x1"}, false, true},
        {"grey", {}, true, true},
        {"4:2:0", {"-sample", "2x2"}, false, false},
        {"4:2:2", {"-sample", "2x1"}, false, false},
        {"4:4:0", {"-sample", "1x2"}, false, false},
        {"4:4:4, restart every MCU row", {"-sample", "1x1", "-restart", "1"}, false, true},
        {"4:2:0, restart every 3 MCUs", {"-restart", "3B"}, false, false},
        {"grey, restart every MCU", {"-restart", "1B"}, true, true},
        {"4:4:4, optimized tables", {"-sample", "1x1", "-optimize"}, false, true},
        {"4:2:0, optimized tables", {"-optimize"}, false, false},
        {"4:4:4, progressive", {"-sample", "1x1", "-progressive"}, false, true},
        {"grey, progressive", {"-progressive"}, true, true},
        {"4:2:0, progressive, restarts", {"-progressive", "-restart", "2B"}, false, false},
        {"4:4:4, one scan per component", {"-sample", "1x1", "-scans", "@SCANS@"}, false, true},
        {"4:2:0, one scan per component", {"-scans", "@SCANS@"}, false, false},
        {"4:4:4, quality 100", {"-sample", "1x1", "-quality", "100"}, false, true},
        {"4:4:4, quality 5 (16-bit tables)", {"-sample", "1x1", "-quality", "5"}, false, true},
    };
    const QSize sizes[] = {{1021, 767}, {1016, 760}, {8, 8}, {1, 1}, {23, 15}, {45, 7}};
    // The scan script for the files of one scan per component.
    QTemporaryDir dir;
    const QString scans = dir.filePath("scans");
    {
        QFile script(scans);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("0;\n1;\n2;\n");
    }
    for (const Case& c : cases) {
        for (QSize size : sizes) {
            SCOPED_TRACE(testing::Message()
                         << c.name << ", " << size.width() << " x " << size.height());
            QStringList switches = c.switches;
            switches.replaceInStrings("@SCANS@", scans);
            const QByteArray jpeg =
                cjpeg(photoLike(size.width(), size.height(), c.grey), switches, c.grey);
            ASSERT_FALSE(jpeg.isEmpty());
            const jobs::JpegEighthResult ours = eighth(jpeg);
            ASSERT_EQ(ours.outcome, Outcome::Decoded);
            ASSERT_EQ(ours.image.format(), QImage::Format_RGB32);
            ASSERT_EQ(ours.image.size(), QSize((size.width() + 7) / 8, (size.height() + 7) / 8));
            const QImage libjpeg = djpegEighth(jpeg);
            ASSERT_EQ(libjpeg.size(), ours.image.size());
            const bool large = size.width() >= 64 && size.height() >= 64;
            auto check = [&](const Difference& d) {
                EXPECT_LE(d.largest, c.exact ? 0 : 64);
                if (large) {
                    EXPECT_LE(d.perPixel, c.exact ? 0.0 : 2.0);
                    EXPECT_LE(d.mean, c.exact ? 0.0 : 0.5);
                }
            };
            check(compare(ours.image, libjpeg));
            if (size.width() % 8 == 0 && size.height() % 8 == 0) {
                check(compare(ours.image, qtEighth(jpeg)));
            }
        }
    }
}

// A 1 x 1 picture is one block: its pixel is the block's mean, as a full decode gives it.
TEST(JpegEighth, TakesTheBlocksMeanForAPictureOfOnePixel) {
    for (const QRgb colour : {qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(200, 30, 90)}) {
        const QByteArray jpeg = encode(solid(1, 1, colour), "JPEG", 100);
        const jobs::JpegEighthResult ours = eighth(jpeg);
        ASSERT_EQ(ours.outcome, Outcome::Decoded);
        ASSERT_EQ(ours.image.size(), QSize(1, 1));
        QImage full;
        ASSERT_TRUE(full.loadFromData(jpeg, "JPEG"));
        EXPECT_LE(compare(ours.image, full.convertToFormat(QImage::Format_RGB32)).largest, 1);
    }
}

// Colour spaces and frame layouts written by hand: flat blocks, so the expected pixel is known.
TEST(JpegEighth, ReadsTheColourSpaceAsLibjpegDoes) {
    struct Case {
        const char* name;
        HandJpeg file;
        QRgb expected;
    };
    auto with = [](auto change) {
        HandJpeg f;
        change(f);
        return f;
    };
    // Levels 8 x (sample - 128): 400 is 178, -400 is 78, 0 is 128.
    const Case cases[] = {
        {"grey", with([](HandJpeg& f) {
             f.components = {{1, 1, 1, 0, 400}};
         }),
         qRgb(178, 178, 178)},
        {"JFIF YCbCr", with([](HandJpeg& f) {
             f.components = {{1, 1, 1, 0, 0}, {2, 1, 1, 1, 400}, {3, 1, 1, 1, -400}};
         }),
         qRgb(58, 146, 217)},
        {"Adobe, no transform: RGB", with([](HandJpeg& f) {
             f.jfif = false;
             f.adobeTransform = 0;
             f.components = {{1, 1, 1, 0, 400}, {2, 1, 1, 1, 0}, {3, 1, 1, 1, -400}};
         }),
         qRgb(178, 128, 78)},
        {"Adobe, YCbCr transform", with([](HandJpeg& f) {
             f.jfif = false;
             f.adobeTransform = 1;
             f.components = {{1, 1, 1, 0, 0}, {2, 1, 1, 1, 400}, {3, 1, 1, 1, -400}};
         }),
         qRgb(58, 146, 217)},
        {"no marker, components R G B", with([](HandJpeg& f) {
             f.jfif = false;
             f.components = {{'R', 1, 1, 0, 400}, {'G', 1, 1, 1, 0}, {'B', 1, 1, 1, -400}};
         }),
         qRgb(178, 128, 78)},
        {"no marker, components 0 1 2: YCbCr", with([](HandJpeg& f) {
             f.jfif = false;
             f.components = {{0, 1, 1, 0, 0}, {1, 1, 1, 1, 400}, {2, 1, 1, 1, -400}};
         }),
         qRgb(58, 146, 217)},
        {"4:1:1 sampling, restarts", with([](HandJpeg& f) {
             f.width = 70;
             f.height = 20;
             f.restartInterval = 1;
             f.components = {{1, 4, 1, 0, 0}, {2, 1, 1, 1, 400}, {3, 1, 1, 1, -400}};
         }),
         qRgb(58, 146, 217)},
        {"luma 1 x 2, chroma 1 x 1", with([](HandJpeg& f) {
             f.width = 20;
             f.height = 37;
             f.components = {{1, 1, 2, 0, 0}, {2, 1, 1, 1, 400}, {3, 1, 1, 1, -400}};
         }),
         qRgb(58, 146, 217)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray jpeg = c.file.bytes();
        const jobs::JpegEighthResult ours = eighth(jpeg);
        ASSERT_EQ(ours.outcome, Outcome::Decoded);
        const QImage libjpeg = qtEighth(jpeg);
        ASSERT_EQ(ours.image.size(), libjpeg.size());
        EXPECT_EQ(compare(ours.image, libjpeg).largest, 0);
        for (int y = 0; y < ours.image.height(); ++y) {
            for (int x = 0; x < ours.image.width(); ++x)
                ASSERT_EQ(ours.image.pixel(x, y), c.expected);
        }
    }
}

// What the decoder leaves to libjpeg, and what it calls damaged, header by header.
TEST(JpegEighth, LeavesWhatItDoesNotDecodeToLibjpegAndRefusesBrokenHeaders) {
    struct Case {
        const char* name;
        void (*change)(HandJpeg&);
        Outcome expected;
    };
    const Case cases[] = {
        {"12-bit samples", [](HandJpeg& f) { f.precision = 12; }, Outcome::Unsupported},
        {"CMYK",
         [](HandJpeg& f) {
             f.jfif = false;
             f.adobeTransform = 2;
             f.components = {{1, 1, 1, 0, 0}, {2, 1, 1, 0, 0}, {3, 1, 1, 0, 0}, {4, 1, 1, 0, 0}};
         },
         Outcome::Unsupported},
        {"two components",
         [](HandJpeg& f) {
             f.components = {{1, 1, 1, 0, 0}, {2, 1, 1, 0, 0}};
         },
         Outcome::Unsupported},
        {"lossless", [](HandJpeg& f) { f.frameMarker = 0xC3; }, Outcome::Unsupported},
        {"arithmetic", [](HandJpeg& f) { f.frameMarker = 0xC9; }, Outcome::Unsupported},
        {"hierarchical", [](HandJpeg& f) { f.frameMarker = 0xC5; }, Outcome::Unsupported},
        {"height given by DNL",
         [](HandJpeg& f) {
             f.frameHeight = 0;
             f.dnl = true;
         },
         Outcome::Unsupported},
        {"no Huffman tables", [](HandJpeg& f) { f.huffmanTables = false; }, Outcome::Unsupported},
        {"JFIF and Adobe RGB at once",
         [](HandJpeg& f) {
             f.adobeTransform = 0;
             f.components = {{1, 1, 1, 0, 0}, {2, 1, 1, 1, 0}, {3, 1, 1, 1, 0}};
         },
         Outcome::Unsupported},
        {"sampling 3 against 2",
         [](HandJpeg& f) {
             f.components = {{1, 3, 1, 0, 0}, {2, 2, 1, 1, 0}, {3, 1, 1, 1, 0}};
         },
         Outcome::Unsupported},
        {"wider than libjpeg takes",
         [](HandJpeg& f) {
             f.width = 65501;
             f.height = 8;
         },
         Outcome::Unsupported},
        {"over-subscribed Huffman table", [](HandJpeg& f) { f.overSubscribed = true; },
         Outcome::Damaged},
        {"sampling factor 0",
         [](HandJpeg& f) {
             f.components = {{1, 0, 1, 0, 0}};
         },
         Outcome::Damaged},
        {"sampling factor 5",
         [](HandJpeg& f) {
             f.components = {{1, 5, 1, 0, 0}};
         },
         Outcome::Damaged},
        {"quantization table 4",
         [](HandJpeg& f) {
             f.components = {{1, 1, 1, 4, 0}};
         },
         Outcome::Damaged},
        {"quantization table never defined",
         [](HandJpeg& f) {
             f.components = {{1, 1, 1, 3, 0}};
         },
         Outcome::Damaged},
        {"one component id twice",
         [](HandJpeg& f) {
             f.components = {{1, 1, 1, 0, 0}, {1, 1, 1, 1, 0}, {3, 1, 1, 1, 0}};
         },
         Outcome::Damaged},
        {"width 0", [](HandJpeg& f) { f.width = 0; }, Outcome::Damaged},
        {"more than ten blocks in an MCU",
         [](HandJpeg& f) {
             f.components = {{1, 4, 3, 0, 0}, {2, 1, 1, 1, 0}, {3, 1, 1, 1, 0}};
         },
         Outcome::Damaged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HandJpeg file;
        c.change(file);
        EXPECT_EQ(eighth(file.bytes()).outcome, c.expected);
    }
}

// Segments and markers in places where they do not belong.
TEST(JpegEighth, RefusesMarkersInTheWrongPlace) {
    const QByteArray good = HandJpeg{}.bytes();
    const qsizetype scan = good.indexOf("\xFF\xDA");
    const qsizetype frame = good.indexOf("\xFF\xC0");
    ASSERT_GT(scan, 0);
    struct Case {
        const char* name;
        QByteArray bytes;
        Outcome expected;
    };
    QByteArray scanFirst = good;
    const QByteArray frameSegment = good.mid(frame, scan - frame);
    scanFirst.remove(frame, frameSegment.size());
    QByteArray twoFrames = good;
    twoFrames.insert(scan, frameSegment);
    QByteArray garbage = good;
    garbage.insert(frame, "xy");
    QByteArray earlyEnd = good.left(frame) + QByteArray("\xFF\xD9", 2);
    QByteArray shortLength = good;
    shortLength[frame + 3] = 1;  // a segment length of 1
    QByteArray stray = good;
    stray.insert(stray.size() - 2, QByteArray("\xFF\xD3", 2));  // a restart with no interval
    const Case cases[] = {
        {"the whole file", good, Outcome::Decoded},
        {"a scan before the frame", scanFirst, Outcome::Damaged},
        {"two frames", twoFrames, Outcome::Damaged},
        {"bytes between segments", garbage, Outcome::Damaged},
        {"end of image before any scan", earlyEnd, Outcome::Damaged},
        {"a segment length below 2", shortLength, Outcome::Damaged},
        {"not a JPEG at all", QByteArray("GIF89a"), Outcome::Damaged},
        {"nothing", QByteArray(), Outcome::Damaged},
        {"a restart marker after the scan", stray, Outcome::Decoded},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(eighth(c.bytes).outcome, c.expected);
    }
}

// Restart markers must come where the interval says, in their order.
TEST(JpegEighth, ChecksRestartMarkersAndResetsThePredictors) {
    HandJpeg file;
    file.width = 64;
    file.height = 16;
    file.restartInterval = 2;
    file.components = {{1, 1, 1, 0, -800}};
    const QByteArray good = file.bytes();
    const jobs::JpegEighthResult decoded = eighth(good);
    ASSERT_EQ(decoded.outcome, Outcome::Decoded);
    // Every block codes -800 again after a restart: kept predictors would make it -1600.
    for (int x = 0; x < decoded.image.width(); ++x) EXPECT_EQ(qRed(decoded.image.pixel(x, 1)), 28);

    const qsizetype first = good.indexOf("\xFF\xD0");
    ASSERT_GT(first, 0);
    QByteArray wrongNumber = good;
    wrongNumber[first + 1] = static_cast<char>(0xD1);
    EXPECT_EQ(eighth(wrongNumber).outcome, Outcome::Damaged);
    QByteArray missing = good;
    missing.remove(first, 2);
    EXPECT_EQ(eighth(missing).outcome, Outcome::Damaged);
    QByteArray padded = good;  // bytes left before a restart marker are skipped, as libjpeg does
    padded.insert(first, "\x01\x02", 2);
    EXPECT_EQ(eighth(padded).outcome, Outcome::Decoded);
}

// A file cut anywhere, from its first scan on, ends before the picture does; cut before it,
// the header cannot be read.
TEST(JpegEighth, CallsEveryCutOfAFileTruncated) {
    if (!haveCjpeg()) GTEST_SKIP() << "cjpeg (libjpeg-turbo-progs) is not installed";
    const QImage picture = photoLike(300, 200);
    const struct {
        const char* name;
        QByteArray whole;
    } files[] = {
        {"baseline", cjpeg(picture, {})},
        {"restarts", cjpeg(picture, {"-restart", "1B"})},
        {"progressive", cjpeg(picture, {"-progressive"})},
        {"progressive, optimized, restarts",
         cjpeg(picture, {"-optimize", "-progressive", "-restart", "1"})},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        ASSERT_FALSE(f.whole.isEmpty());
        ASSERT_EQ(eighth(f.whole).outcome, Outcome::Decoded);
        const qsizetype firstScan = f.whole.indexOf("\xFF\xDA");
        for (qsizetype kept = 0; kept < f.whole.size(); kept += 97) {
            SCOPED_TRACE(kept);
            jobs::JpegEighthDecoder decoder(
                {reinterpret_cast<const uint8_t*>(f.whole.constData()), static_cast<size_t>(kept)});
            const jobs::JpegEighthHeader header = decoder.readHeader();
            const jobs::JpegEighthResult result = decoder.decode(jobs::kMaxJpegSourcePixels);
            EXPECT_EQ(result.outcome, kept < 2 ? Outcome::Damaged : Outcome::Truncated);
            EXPECT_TRUE(result.image.isNull());
            if (kept > firstScan + 14) {
                EXPECT_EQ(header.outcome, Outcome::Decoded);
            }
        }
        // Only the end-of-image marker missing.
        EXPECT_EQ(eighth(f.whole.left(f.whole.size() - 1)).outcome, Outcome::Truncated);
    }
}

// Bytes changed anywhere in the data: damaged or some picture, never a crash or a read out of
// bounds (the sanitizer build runs this too).
TEST(JpegEighth, SurvivesChangedBytes) {
    if (!haveCjpeg()) GTEST_SKIP() << "cjpeg (libjpeg-turbo-progs) is not installed";
    const QImage picture = photoLike(200, 120);
    const QByteArray files[] = {cjpeg(picture, {"-restart", "1B"}),
                                cjpeg(picture, {"-progressive", "-optimize"})};
    std::mt19937 random(11);
    for (const QByteArray& whole : files) {
        ASSERT_FALSE(whole.isEmpty());
        for (int trial = 0; trial < 300; ++trial) {
            QByteArray changed = whole;
            const int changes = 1 + trial % 4;
            for (int i = 0; i < changes; ++i) {
                const auto at =
                    static_cast<qsizetype>(random() % static_cast<unsigned>(whole.size()));
                changed[at] = static_cast<char>(random() & 0xFF);
            }
            const jobs::JpegEighthResult result = eighth(changed);
            if (result.outcome == Outcome::Decoded) {
                EXPECT_FALSE(result.image.isNull());
            } else {
                EXPECT_TRUE(result.image.isNull());
            }
        }
    }
}

// Read from a device in chunks, the file decodes as it does whole in memory: markers, stuffed
// bytes and segments fall across the chunks' edges. Cut short, it is truncated either way.
TEST(JpegEighth, DecodesAFileReadInChunksAsTheWholeFile) {
    if (!haveCjpeg()) GTEST_SKIP() << "cjpeg (libjpeg-turbo-progs) is not installed";
    const QImage picture = photoLike(1600, 1200);
    for (const QStringList& switches : {QStringList{"-restart", "1B", "-quality", "98"},
                                        QStringList{"-progressive", "-quality", "98"}}) {
        const QByteArray whole = cjpeg(picture, switches);
        ASSERT_GT(whole.size(), 600 * 1024);  // more than two chunks
        for (const qsizetype kept : {whole.size(), whole.size() - 1, whole.size() * 2 / 3}) {
            QByteArray bytes = whole.left(kept);
            QBuffer device(&bytes);
            device.open(QIODevice::ReadOnly);
            const jobs::JpegEighthResult streamed =
                jobs::JpegEighthDecoder(device).decode(jobs::kMaxJpegSourcePixels);
            const jobs::JpegEighthResult inMemory = eighth(bytes);
            EXPECT_EQ(streamed.outcome,
                      kept == whole.size() ? Outcome::Decoded : Outcome::Truncated);
            EXPECT_EQ(streamed.outcome, inMemory.outcome);
            EXPECT_EQ(streamed.image, inMemory.image);
        }
    }
}

// A frame larger than the caller allows is not decoded, and nothing is allocated for it.
TEST(JpegEighth, DecodesNothingLargerThanAllowed) {
    HandJpeg file;
    file.width = 640;
    file.height = 480;
    const QByteArray jpeg = file.bytes();
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(jpeg.constData()),
                                         static_cast<size_t>(jpeg.size()));
    EXPECT_EQ(jobs::DecodeJpegEighth(bytes, 640 * 480 - 1).outcome, Outcome::Unsupported);
    EXPECT_EQ(jobs::DecodeJpegEighth(bytes, 640 * 480).outcome, Outcome::Decoded);
    jobs::JpegEighthDecoder decoder(bytes);
    const jobs::JpegEighthHeader header = decoder.readHeader();
    EXPECT_EQ(header.outcome, Outcome::Decoded);
    EXPECT_EQ(header.width, 640);
    EXPECT_EQ(header.height, 480);
}

}  // namespace
}  // namespace ostrel::test
