// Tests of the documentation pictures: one enlarged picture per dithering, in burn colours.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "picture/DitherSheet.h"

namespace ostrel::picture {
namespace {

QImage ramp() {
    QImage grey(16, 4, QImage::Format_RGB32);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 16; ++x) grey.setPixel(x, y, qRgb(x * 17, x * 17, x * 17));
    }
    return grey;
}

TEST(DitherSheet, WritesTheOriginalAndOnePicturePerDithering) {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("pictures"));
    ASSERT_EQ(writeDitherPictures(ramp(), folder, 128, 3), std::nullopt);
    const QImage original(folder + QStringLiteral("/dither-original.png"));
    ASSERT_EQ(original.size(), QSize(48, 12));
    EXPECT_EQ(original.pixel(47, 11), qRgb(255, 255, 255));
    for (const DitherMethod method : kDitherMethods) {
        const QString name =
            QStringLiteral("/dither-") +
            QString::fromLatin1(ditherName(method).data(), qsizetype(ditherName(method).size()));
        const QImage picture(folder + name + QStringLiteral(".png"));
        ASSERT_EQ(picture.size(), QSize(48, 12)) << name.toStdString();
        // White at the right end is never burned; each dot is a 3 x 3 square of one colour.
        EXPECT_EQ(picture.pixel(47, 0), picture.pixel(45, 2));
        EXPECT_NE(picture.pixel(47, 0), picture.pixel(4, 1)) << name.toStdString();
    }
    EXPECT_TRUE(writeDitherPictures(QImage(), folder, 128, 3));
    // A file where the folder should be.
    QFile blocker(dir.filePath(QStringLiteral("blocker")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_TRUE(writeDitherPictures(ramp(), blocker.fileName() + QStringLiteral("/sub"), 128, 3));
}

TEST(DitherSheet, MaskDotsBecomeBurnedOrBareWood) {
    QImage mask(2, 1, QImage::Format_RGB32);
    mask.setPixel(0, 0, qRgb(kMaskMarker, 0, 0));
    mask.setPixel(1, 0, qRgb(0, 0, 0));
    const QImage picture = maskPicture(mask, 2);
    ASSERT_EQ(picture.size(), QSize(4, 2));
    EXPECT_LT(qGray(picture.pixel(1, 1)), 80);
    EXPECT_GT(qGray(picture.pixel(2, 0)), 180);
    EXPECT_EQ(enlarged(mask, 0).size(), mask.size()) << "scale held to 1..32";
}

}  // namespace
}  // namespace ostrel::picture
