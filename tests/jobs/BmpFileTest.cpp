// Tests of the BMP writer: byte for byte what Qt's BMP writer gives, for every row padding.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QTemporaryDir>

#include "jobs/BmpFile.h"

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
    EXPECT_TRUE(jobs::WriteBmpFile(picture, path));
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

TEST(WriteBmpFile, WritesWhatQtWritesForEveryRowPadding) {
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

TEST(WriteBmpFile, FailsForANullPictureOrAFileItCannotWrite) {
    QTemporaryDir dir;
    EXPECT_FALSE(jobs::WriteBmpFile(QImage(), dir.filePath("null.bmp")));
    QImage picture(2, 2, QImage::Format_RGB32);
    picture.fill(Qt::black);
    EXPECT_FALSE(jobs::WriteBmpFile(picture, dir.filePath("no/such/folder/picture.bmp")));
}

}  // namespace
}  // namespace ostrel::test
