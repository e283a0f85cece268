// Pictures for the operator's documentation: a grey picture under each dithering, enlarged.
#include "picture/DitherSheet.h"

#include <QDir>
#include <algorithm>

namespace ostrel::picture {

namespace {

const QRgb kBurned = qRgb(58, 36, 22);
const QRgb kWood = qRgb(236, 214, 178);

}  // namespace

QImage enlarged(const QImage& picture, int scale) {
    scale = std::clamp(scale, 1, 32);
    // Nearest-neighbour scaling keeps every dot a crisp square.
    return picture.convertToFormat(QImage::Format_RGB32)
        .scaled(picture.width() * scale, picture.height() * scale, Qt::IgnoreAspectRatio,
                Qt::FastTransformation);
}

QImage maskPicture(const QImage& mask, int scale) {
    QImage burn(mask.size(), QImage::Format_RGB32);
    for (int y = 0; y < mask.height(); ++y) {
        for (int x = 0; x < mask.width(); ++x)
            burn.setPixel(x, y, qRed(mask.pixel(x, y)) == kMaskMarker ? kBurned : kWood);
    }
    return enlarged(burn, scale);
}

std::optional<QString> writeDitherPictures(const QImage& grey, const QString& folder,
                                           int sensitivity, int scale) {
    if (grey.isNull()) return QStringLiteral("There is no picture to dither.");
    if (!QDir().mkpath(folder))
        return QStringLiteral("The folder %1 could not be made.").arg(folder);
    const QDir dir(folder);
    const auto save = [&dir](const QImage& image, const QString& name) -> std::optional<QString> {
        const QString path = dir.filePath(name);
        if (!image.save(path, "PNG")) return QStringLiteral("%1 could not be written.").arg(path);
        return std::nullopt;
    };
    if (auto error = save(enlarged(grey, scale), QStringLiteral("dither-original.png")))
        return error;
    for (const DitherMethod method : kDitherMethods) {
        QImage mask = grey.convertToFormat(QImage::Format_RGB32);
        applyBurnMask(mask, method, sensitivity);
        const QString name = QStringLiteral("dither-%1.png")
                                 .arg(QString::fromUtf8(ditherName(method).data(),
                                                        qsizetype(ditherName(method).size())));
        if (auto error = save(maskPicture(mask, scale), name)) return error;
    }
    return std::nullopt;
}

}  // namespace ostrel::picture
