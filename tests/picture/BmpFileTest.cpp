// Tests of the BMP writer: byte for byte what Qt's BMP writer gives, for every row padding, and
// a file replaced in one step, never through what stood at its name.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>

#include "picture/BmpFile.h"

namespace ostrel::test {
namespace {

QByteArray throughQt(const QImage& picture) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(picture.convertToFormat(QImage::Format_RGB888).save(&buffer, "BMP"));
    return bytes;
}

QByteArray written(const QImage& picture, const QString& path) {
    std::string error;
    EXPECT_TRUE(picture::saveBmpFile(picture, path.toStdString(), error)) << error;
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

TEST(SaveBmpFile, WritesWhatQtWritesForEveryRowPadding) {
    QTemporaryDir dir;
    const QString path = dir.filePath("picture.bmp");
    // Widths 1-4 give every padding of a row of 3-byte pixels; 127 x 103 is Picture2's raster.
    const struct {
        int width, height, dotsPerMeter;
    } cases[] = {{1, 1, 3937}, {2, 3, 3937}, {3, 1, 3937},
                 {4, 2, 3937}, {5, 3, 2835}, {127, 103, 3937}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        QImage picture(c.width, c.height, QImage::Format_RGB32);
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < c.width; ++x) {
                picture.setPixel(x, y, qRgb(x * 37 % 256, y * 91 % 256, (x + y) * 13 % 256));
            }
        }
        picture.setDotsPerMeterX(c.dotsPerMeter);
        picture.setDotsPerMeterY(c.dotsPerMeter + 1);
        EXPECT_EQ(written(picture, path), throughQt(picture));
    }
    // A file already there is replaced whole, a longer one included.
    QImage small(1, 1, QImage::Format_RGB32);
    small.fill(qRgb(1, 2, 3));
    EXPECT_EQ(written(small, path), throughQt(small));
}

QByteArray contents(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

// Nothing but picture.bmp is left in the folder: no temporary file.
void expectOnly(const QTemporaryDir& dir, const QStringList& names) {
    EXPECT_EQ(QDir(dir.path())
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                             QDir::Name),
              names);
}

TEST(SaveBmpFile, FailsForANullPictureOrAFileItCannotWrite) {
    QTemporaryDir dir;
    std::string error;
    EXPECT_FALSE(picture::saveBmpFile(QImage(), dir.filePath("null.bmp").toStdString(), error));
    QImage picture(2, 2, QImage::Format_RGB32);
    picture.fill(Qt::black);
    error.clear();
    EXPECT_FALSE(picture::saveBmpFile(
        picture, dir.filePath("no/such/folder/picture.bmp").toStdString(), error));
    EXPECT_FALSE(error.empty());
    // A folder of that name stays, and nothing is left beside it.
    ASSERT_TRUE(QDir(dir.path()).mkdir("picture.bmp"));
    error.clear();
    EXPECT_FALSE(picture::saveBmpFile(picture, dir.filePath("picture.bmp").toStdString(), error));
    EXPECT_FALSE(error.empty());
    expectOnly(dir, {"picture.bmp"});
}

// What stands at the name is replaced, never opened: a link's target keeps its bytes, and a FIFO
// (which an open would wait on for a reader) is simply replaced.
TEST(SaveBmpFile, ReplacesALinkOrAFifoWithoutOpeningIt) {
    QImage picture(3, 2, QImage::Format_RGB32);
    picture.fill(qRgb(10, 20, 30));
    {
        QTemporaryDir dir, elsewhere;
        const QString target = elsewhere.filePath("precious.txt");
        QFile file(target);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("keep me");
        file.close();
        ASSERT_EQ(::symlink(target.toLocal8Bit().constData(),
                            dir.filePath("picture.bmp").toLocal8Bit().constData()),
                  0);
        EXPECT_EQ(written(picture, dir.filePath("picture.bmp")), throughQt(picture));
        EXPECT_EQ(contents(target), "keep me");
        EXPECT_FALSE(QFileInfo(dir.filePath("picture.bmp")).isSymLink());
        expectOnly(dir, {"picture.bmp"});
    }
    {
        QTemporaryDir dir;
        const QByteArray fifo = dir.filePath("picture.bmp").toLocal8Bit();
        ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
        EXPECT_EQ(written(picture, dir.filePath("picture.bmp")), throughQt(picture));
        struct stat info {};
        ASSERT_EQ(::lstat(fifo.constData(), &info), 0);
        EXPECT_TRUE(S_ISREG(info.st_mode));
        EXPECT_EQ(info.st_mode & 0777, 0644u);
        expectOnly(dir, {"picture.bmp"});
    }
}

}  // namespace
}  // namespace ostrel::test
