// Writing a picture as a 24-bit BMP file without going through Qt's picture plug-ins, replacing
// the file in one step.
#pragma once

#include <QByteArray>
#include <QImage>
#include <string>

namespace ostrel::picture {

// `picture` as an uncompressed 24-bit bottom-up BMP file, byte for byte what
// QImage::save(path, "BMP") writes for it; empty for a null picture. NOTE: QImageWriter first
// looks through every picture plug-in Qt has installed, which costs the first save of a process
// 30-75 ms on this machine: this is what every Load writes.
QByteArray bmpFileBytes(const QImage& picture);

// Writes `picture` as a BMP file at `path` (the name as the bytes it is): into a new file in
// the same folder, then renamed over `path`. So whatever stands at `path` is replaced, never
// opened: a symbolic link is replaced, not followed, a FIFO does not block, and a reader never
// sees half a file. False, with `error` set, when it cannot be written; `path` is then as it was.
bool saveBmpFile(const QImage& picture, const std::string& path, std::string& error);

}  // namespace ostrel::picture
