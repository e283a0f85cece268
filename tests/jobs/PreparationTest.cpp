// Tests of the picture preparation: grey pass, burn mask, saved file, Picture3 and the controls.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "jobs/Preparation.h"
#include "picture/PictureTestFiles.h"
#include "support/Harness.h"

namespace ostrel::test {
namespace {

using form::RGB;

struct PreparationTest : testing::Test {
    void SetUp() override { h.start(); }

    form::Form1& f() { return h.form(); }
    jobs::Preparation& preparation() { return h.engraver->preparation(); }
    std::string outputFile() const { return h.tempDir + "/picture.bmp"; }
    void fillPicture2(form::Colour c) {
        for (int y = 0; y < f().Picture2.ScaleHeight(); ++y) {
            for (int x = 0; x < f().Picture2.ScaleWidth(); ++x) f().Picture2.PSet(x, y, c);
        }
    }
    // Loads a picture file the way the operator does: Load, then the dialog's answer.
    void load(const std::string& path) {
        h.host.dialogAnswers.push_back(path);
        ASSERT_EQ(h.engraver->click("Command2(0)"), engraver::EventResult::Handled);
        ASSERT_TRUE(h.host.errors.empty()) << h.host.errors.front();
    }
    // A picture of four vertical bands: white, grey 100, grey 101 and black.
    std::string bands() {
        QImage image(40, 10, QImage::Format_RGB32);
        for (int x = 0; x < 40; ++x) {
            const int grey[] = {255, 100, 101, 0};
            for (int y = 0; y < 10; ++y)
                image.setPixel(x, y, qRgb(grey[x / 10], grey[x / 10], grey[x / 10]));
        }
        return writeFile(h.tempDir, "bands.png", encode(image, "PNG"));
    }

    Harness h;
};

// One colour over the whole raster, prepared in a mode at a sensitivity.
TEST_F(PreparationTest, PreparesEachColourAsTheModeAndSensitivitySay) {
    constexpr int kPrecise = 0, kCoarse = 1;
    const struct {
        form::Colour in;
        int mode;
        int sensitivity;
        form::Colour out;
    } cases[] = {
        // The grey pass: one largest component greys the pixel; shared largest ones keep it.
        {RGB(200, 100, 50), kPrecise, 100, RGB(200, 200, 200)},
        {RGB(0, 255, 0), kPrecise, 100, RGB(255, 255, 255)},
        {RGB(10, 20, 30), kPrecise, 100, RGB(30, 30, 30)},
        {RGB(255, 255, 0), kPrecise, 100, RGB(255, 255, 0)},
        {RGB(0, 255, 255), kPrecise, 100, RGB(0, 255, 255)},
        {RGB(128, 128, 128), kPrecise, 100, RGB(128, 128, 128)},
        {RGB(255, 0, 255), kPrecise, 0, RGB(255, 0, 255)},
        // Coarse-Burning: level at or below the sensitivity and not black -> marker 100.
        {RGB(100, 100, 100), kCoarse, 100, 100},
        {RGB(101, 101, 101), kCoarse, 100, 0},
        {RGB(254, 254, 254), kCoarse, 254, 100},
        {RGB(1, 1, 1), kCoarse, 254, 100},
        {RGB(255, 255, 255), kCoarse, 254, 0},
        {RGB(0, 0, 0), kCoarse, 254, 0},
        {RGB(0, 255, 255), kCoarse, 100, 100},  // level 0, but not black
        {RGB(255, 255, 0), kCoarse, 254, 0},    // level 255
        {RGB(10, 20, 30), kCoarse, 30, 100},    // greyed to 30 first
        {RGB(10, 20, 30), kCoarse, 29, 0},
        {RGB(0, 0, 0), kCoarse, 0, 0},
        {RGB(100, 100, 100), kCoarse, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "colour " << c.in << " mode " << c.mode
                                        << " sensitivity " << c.sensitivity);
        f().Check1.value = c.mode;
        f().HScroll3.value = c.sensitivity;
        fillPicture2(c.in);
        preparation().PreparePicture();
        EXPECT_EQ(f().Picture2.Point(0, 0), c.out);
        EXPECT_EQ(f().Picture2.Point(126, 102), c.out);
        EXPECT_EQ(f().Picture3.Point(126, 102), c.out);
    }
}

TEST_F(PreparationTest, SavesTheFinalRasterAsA24BitBmpAndReplacesItAtTheNextLoad) {
    for (int mode : {1, 0}) {
        SCOPED_TRACE(mode ? "Coarse-Burning" : "Precise-Burning");
        f().Check1.value = mode;
        load(mode ? bands() : writeFile(h.tempDir, "g.png", encode(gradient(300, 200), "PNG")));
        QFile file(QString::fromStdString(outputFile()));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        ASSERT_GE(bytes.size(), 30);
        EXPECT_EQ(bytes.left(2), "BM");
        EXPECT_EQ(static_cast<int>(bytes[28]), 24);  // bits per pixel
        const QImage saved = QImage::fromData(bytes, "BMP").convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(saved, f().Picture2.raster);
        if (mode) {
            EXPECT_EQ(f().Picture2.Point(0, 0), 0);      // white band blanked
            EXPECT_EQ(f().Picture2.Point(40, 50), 100);  // grey 100 marked
            EXPECT_EQ(f().Picture2.Point(80, 50), 0);    // grey 101 blanked
            EXPECT_EQ(f().Picture2.Point(120, 50), 0);   // black stays blank
        } else {
            // Precise-Burning leaves the greyed picture: greys of every level, no mask.
            const form::Colour c = f().Picture2.Point(100, 80);
            EXPECT_EQ(c & 255, (c >> 8) & 255);
            EXPECT_EQ(c & 255, (c >> 16) & 255);
            EXPECT_GT(c & 255, 100);
        }
    }
}

TEST_F(PreparationTest, ModeAndSensitivityActOnlyOnTheNextLoad) {
    load(bands());
    const QImage prepared = f().Picture2.raster;
    const uint64_t revision = f().Picture2.revision;
    ASSERT_EQ(h.engraver->set("HScroll3", "200"), engraver::EventResult::Handled);
    EXPECT_EQ(f().Label6.caption, "Sensitivity 200");
    ASSERT_EQ(h.engraver->click("Check1"), engraver::EventResult::Handled);
    EXPECT_EQ(f().Check1.value, 0);
    EXPECT_EQ(f().Check1.caption, "Precise-Burning");
    EXPECT_FALSE(f().HScroll3.enabled);
    EXPECT_EQ(f().Label6.caption, "Sensitivity 200");  // keeps the last value shown
    EXPECT_EQ(f().Picture2.raster, prepared);
    EXPECT_EQ(f().Picture2.revision, revision);

    ASSERT_EQ(h.engraver->click("Check1"), engraver::EventResult::Handled);
    EXPECT_EQ(f().Check1.caption, "Coarse-Burning");
    EXPECT_TRUE(f().HScroll3.enabled);
    load(bands());
    EXPECT_EQ(f().Picture2.Point(80, 50), 100);  // grey 101 is now under the sensitivity
}

TEST_F(PreparationTest, SizeSlidersResizeThePreviewAndTheNextLoadFillsIt) {
    EXPECT_EQ(f().Label6.caption, "Sensitivity");
    ASSERT_EQ(h.engraver->set("VScroll1", "900"), engraver::EventResult::Handled);
    EXPECT_EQ(f().Picture2.ScaleHeight(), 900 / 15 - 2);
    EXPECT_EQ(f().Picture2.toolTip, "127,58");
    EXPECT_EQ(f().Option1.caption, "Picture 127x58");
    ASSERT_EQ(h.engraver->set("HScroll1", "600"), engraver::EventResult::Handled);
    EXPECT_EQ(f().Picture2.toolTip, "38,58");
    EXPECT_EQ(f().Option1.caption, "Picture 38x58");

    f().Check1.value = 0;
    load(writeFile(h.tempDir, "red.png", encode(solid(500, 300, qRgb(90, 20, 10)), "PNG")));
    ASSERT_EQ(f().Picture2.ScaleWidth(), 38);
    ASSERT_EQ(f().Picture2.ScaleHeight(), 58);
    for (auto [x, y] : {std::pair{0, 0}, {37, 57}, {20, 30}}) {
        EXPECT_EQ(f().Picture2.Point(x, y), RGB(90, 90, 90));
    }
    // Picture3 keeps its own size: the picture sits top-left, the back colour around it.
    EXPECT_EQ(f().Picture3.ScaleWidth(), 127);
    EXPECT_EQ(f().Picture3.ScaleHeight(), 103);
    EXPECT_EQ(f().Picture3.Point(37, 57), RGB(90, 90, 90));
    EXPECT_EQ(f().Picture3.Point(38, 57), form::kDarkGrey);
    EXPECT_EQ(f().Picture3.Point(0, 58), form::kDarkGrey);
}

TEST_F(PreparationTest, StretchAveragesAPhotoOverTheWholeRaster) {
    QImage board(254, 206, QImage::Format_RGB32);
    for (int y = 0; y < 206; ++y) {
        for (int x = 0; x < 254; ++x) board.setPixel(x, y, (x + y) % 2 ? qRgb(255, 255, 255) : 0);
    }
    f().Check1.value = 0;
    load(writeFile(h.tempDir, "board.bmp", encode(board, "BMP")));
    EXPECT_EQ(f().Picture2.Point(0, 0), RGB(128, 128, 128));
    EXPECT_EQ(f().Picture2.Point(126, 102), RGB(128, 128, 128));

    // A 1 x 1 picture covers the whole raster.
    load(writeFile(h.tempDir, "dot.png", encode(solid(1, 1, qRgb(7, 7, 7)), "PNG")));
    EXPECT_EQ(f().Picture1.ScaleWidth(), 1);
    EXPECT_EQ(f().Picture2.Point(0, 0), RGB(7, 7, 7));
    EXPECT_EQ(f().Picture2.Point(126, 102), RGB(7, 7, 7));
}

TEST_F(PreparationTest, AFileThatCannotBeSavedStillLeavesAWholePreparation) {
    // A folder named "picture.bmp" where the file should go: every save fails.
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(outputFile())));
    testing::internal::CaptureStderr();
    load(bands());
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("picture.bmp"), std::string::npos) << errors;
    // Thresholded and marked, and copied to Picture3 all the same.
    EXPECT_EQ(f().Picture2.Point(0, 0), 0);
    EXPECT_EQ(f().Picture2.Point(40, 50), 100);
    EXPECT_EQ(f().Picture3.Point(40, 50), 100);
}

}  // namespace
}  // namespace ostrel::test
