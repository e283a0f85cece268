// Tests of Load's picture files: kinds by content, truncation, special files, names as bytes,
// full size for every kind but JPEG, and what Load makes of it in Picture1 and Picture2.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QImageWriter>
#include <QTemporaryDir>

#include "form/Snapshot.h"
#include "jobs/Preparation.h"
#include "picture/BmpFile.h"
#include "picture/PictureLoader.h"
#include "picture/PictureTestFiles.h"
#include "support/Harness.h"

namespace ostrel::test {
namespace {

using picture::DecodedPicture;
using picture::decodePictureFile;

const QSize kRaster(127, 103);  // Picture2 at its design size

struct Folder {
    QTemporaryDir dir;
    std::string path() const { return dir.path().toStdString(); }
};

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
        const DecodedPicture decoded = decodePictureFile(
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
    const DecodedPicture decoded =
        decodePictureFile(writeFile(folder.path(), "clear.png", encode(picture, "PNG")), kRaster);
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
        const DecodedPicture whole =
            decodePictureFile(writeFile(folder.path(), f.name, f.whole), kRaster);
        EXPECT_FALSE(whole.image.isNull()) << whole.error;
        for (double part : {0.1, 0.5, 0.9, 0.97}) {
            const qsizetype kept =
                std::min(qsizetype(f.whole.size() * part), f.whole.size() - f.tail - 1);
            const QByteArray cut = f.whole.left(kept);
            const DecodedPicture d =
                decodePictureFile(writeFile(folder.path(), f.name, cut), kRaster);
            EXPECT_TRUE(d.image.isNull()) << "kept " << part;
            EXPECT_NE(d.error.find(f.name), std::string::npos) << d.error;
        }
    }
}

TEST(DecodePictureFile, GivesEveryKindButJpegAtItsFullSize) {
    Folder folder;
    const QImage picture = gradient(1000, 800);
    for (const char* format : {"PNG", "BMP"}) {
        SCOPED_TRACE(format);
        const DecodedPicture decoded =
            decodePictureFile(writeFile(folder.path(), "big", encode(picture, format)), kRaster);
        ASSERT_FALSE(decoded.image.isNull()) << decoded.error;
        EXPECT_EQ(decoded.image, picture);
        EXPECT_EQ(decoded.size, picture.size());
    }
}

// A BMP whose rows run top to bottom says so with a negative height.
TEST(DecodePictureFile, LoadsATopDownBmp) {
    QImage picture = gradient(13, 7);  // 39 bytes a row: padded
    picture.setPixel(0, 0, qRgb(255, 0, 0));
    QByteArray bottomUp = picture::bmpFileBytes(picture);
    const int rowBytes = (13 * 3 + 3) & ~3;
    QByteArray topDown = bottomUp.left(54);
    for (int y = 0; y < 7; ++y) topDown += bottomUp.mid(54 + (6 - y) * rowBytes, rowBytes);
    const int32_t height = -7;
    std::memcpy(topDown.data() + 22, &height, 4);
    Folder folder;
    const DecodedPicture decoded =
        decodePictureFile(writeFile(folder.path(), "top-down.bmp", topDown), kRaster);
    ASSERT_FALSE(decoded.image.isNull()) << decoded.error;
    EXPECT_EQ(decoded.image, picture);
    // Cut short, it is still refused.
    const DecodedPicture cut =
        decodePictureFile(writeFile(folder.path(), "cut.bmp", topDown.left(100)), kRaster);
    EXPECT_NE(cut.error.find("truncated"), std::string::npos) << cut.error;
}

// A FIFO would block the open and the read until a writer came; a device would never end.
TEST(DecodePictureFile, RefusesWhatIsNotARegularFileWithoutReadingIt) {
    Folder folder;
    const std::string fifo = folder.path() + "/picture.jpg";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        std::string path;
        const char* said;
    } cases[] = {
        {fifo, "it is not a regular file"},
        {"/dev/zero", "it is not a regular file"},
        {folder.path(), "it is a folder, not a picture file."},
        {folder.path() + "/missing.jpg", "the file does not exist."},
        {folder.path() + "/picture.jpg/below", "the file does not exist."},
        {"", "the file does not exist."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const DecodedPicture d = decodePictureFile(c.path, kRaster);
        EXPECT_TRUE(d.image.isNull());
        EXPECT_EQ(d.error.rfind("Cannot load the picture \"" + c.path + "\": ", 0), 0u) << d.error;
        EXPECT_NE(d.error.find(c.said), std::string::npos) << d.error;
    }
}

// A name is the bytes it is: one that is not valid UTF-8 opens as well as any other.
TEST(DecodePictureFile, OpensANameThatIsNotUtf8) {
    Folder folder;
    const std::string name = folder.path() + "/caf\xE9 \xFF.png";
    const QByteArray png = encode(solid(5, 4, qRgb(9, 8, 7)), "PNG");
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, png.constData(), static_cast<size_t>(png.size())), png.size());
    ::close(fd);
    const DecodedPicture decoded = decodePictureFile(name, kRaster);
    ASSERT_FALSE(decoded.image.isNull()) << decoded.error;
    EXPECT_EQ(decoded.image.size(), QSize(5, 4));
    ::unlink(name.c_str());  // QTemporaryDir cannot name it
}

// Load: Picture1 holds the whole picture of a kind that is not JPEG, and the stretch over
// Picture2 is one step from it, so a preview pixel inside a uniform band keeps its level.
TEST(LoadPicture, StretchesAWholePictureInOneStep) {
    Harness h;
    h.start();
    form::Form1& f = h.form();
    f.Check1.value = 0;  // Precise-Burning: the greyed picture stays
    QImage bands(1270, 1030, QImage::Format_RGB32);
    for (int x = 0; x < bands.width(); ++x) {
        const int level = (x / 127) % 2 ? 200 : 30;  // ten bands, each 12.7 preview columns
        for (int y = 0; y < bands.height(); ++y) bands.setPixel(x, y, qRgb(level, level, level));
    }
    h.host.dialogAnswers.push_back(writeFile(h.tempDir, "bands.png", encode(bands, "PNG")));
    ASSERT_EQ(h.engraver->click("Command2(0)"), engraver::EventResult::Handled);
    ASSERT_TRUE(h.host.errors.empty()) << h.host.errors.front();
    EXPECT_EQ(f.Picture1.ScaleWidth(), 1270);
    EXPECT_EQ(f.Picture1.ScaleHeight(), 1030);
    for (int x : {0, 5, 11, 26, 37}) EXPECT_EQ(f.Picture2.Point(x, 50), form::RGB(30, 30, 30));
    for (int x : {13, 20, 24}) EXPECT_EQ(f.Picture2.Point(x, 50), form::RGB(200, 200, 200));
}

// Load: Picture1 reports the whole picture's size for a JPEG too, though a large one is held
// at the scale it was decoded at; its points are read in the picture's own units.
TEST(LoadPicture, Picture1ReportsTheWholeJpeg) {
    const struct {
        QSize picture;
        QSize held;  // the raster at the decoding scale
    } cases[] = {
        {{127, 103}, {127, 103}},   // Picture2's own size: decoded whole
        {{1016, 824}, {127, 103}},  // 1/8 exactly
        {{6000, 4000}, {750, 500}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.picture.width());
        Harness h;
        h.start();
        form::Form1& f = h.form();
        // Left half dark, right half light: a point far right must read the right half.
        QImage halves(c.picture, QImage::Format_RGB32);
        halves.fill(qRgb(20, 20, 20));
        for (int y = 0; y < halves.height(); ++y) {
            for (int x = halves.width() / 2; x < halves.width(); ++x) {
                halves.setPixel(x, y, qRgb(230, 230, 230));
            }
        }
        h.host.dialogAnswers.push_back(
            writeFile(h.tempDir, "halves.jpg", encode(halves, "JPEG", 95)));
        ASSERT_EQ(h.engraver->click("Command2(0)"), engraver::EventResult::Handled);
        ASSERT_TRUE(h.host.errors.empty()) << h.host.errors.front();
        EXPECT_EQ(f.Picture1.raster.size(), c.held);
        EXPECT_EQ(f.Picture1.ScaleWidth(), c.picture.width());
        EXPECT_EQ(f.Picture1.ScaleHeight(), c.picture.height());
        EXPECT_EQ(*f.get("Picture1.ScaleWidth"), std::to_string(c.picture.width()));
        EXPECT_EQ(*f.get("Picture1.ScaleHeight"), std::to_string(c.picture.height()));
        EXPECT_EQ(f.Picture1.width, c.picture.width() * 15);  // no border
        EXPECT_EQ(f.Picture1.height, c.picture.height() * 15);
        const int right = c.picture.width() - 1, bottom = c.picture.height() - 1;
        EXPECT_GT(f.Picture1.Point(right, bottom) & 255, 200);
        EXPECT_LT(f.Picture1.Point(0, bottom) & 255, 50);
        EXPECT_EQ(f.Picture1.Point(right + 1, 0), -1);
        EXPECT_EQ(f.Picture1.Point(0, bottom + 1), -1);
        // A snapshot carries the size with the raster.
        form::Form1 copy(h.loop);
        copy.restore(f.snapshot());
        EXPECT_EQ(copy.Picture1.ScaleWidth(), c.picture.width());
    }
}

}  // namespace
}  // namespace ostrel::test
