// Writing a picture as a 24-bit BMP file without going through Qt's picture plug-ins.
#pragma once

#include <QImage>
#include <QString>

namespace ostrel::jobs {

// Writes `picture` as an uncompressed 24-bit bottom-up BMP file, byte for byte what
// QImage::save(path, "BMP") writes for it; false when the picture is null or the file cannot
// be written. NOTE: QImageWriter first looks through every picture plug-in Qt has installed,
// which costs the first save of a process about 10 ms: this is what every Load writes.
bool WriteBmpFile(const QImage& picture, const QString& path);

}  // namespace ostrel::jobs
