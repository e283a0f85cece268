// Decoding picture files for Load, with their limits.
#pragma once

#include <QImage>
#include <QSize>
#include <cstdint>
#include <string>

namespace ostrel::picture {

// NOTE: the limits are checked against the header before anything is decoded, so that a
// small file claiming a huge picture (a decompression bomb) never allocates its raster.
// Largest picture file that is read at all.
inline constexpr int64_t kMaxPictureFileBytes = 256LL * 1024 * 1024;
// Largest picture decoded at full size (GIF, BMP, PNG): 50 megapixels, 200 MB as 32-bit.
inline constexpr int64_t kMaxDecodedPixels = 50'000'000;
// JPEGs are decoded at 1/2, 1/4 or 1/8 scale when large, so they may claim more.
inline constexpr int64_t kMaxJpegSourcePixels = 200'000'000;
// What Qt's decoders may allocate for one picture, in megabytes.
inline constexpr int kDecodeAllocationLimitMb = 256;
// What libjpeg may take for one picture: a progressive file keeps the coefficients of the
// whole picture (2 bytes a sample), whatever the scale it is decoded at.
inline constexpr int64_t kMaxJpegDecoderBytes = 256LL * 1024 * 1024;

struct DecodedPicture {
    QImage image;       // Format_RGB32; null on failure
    std::string error;  // for the operator: names the file and why it cannot be used
    QSize size;         // the whole picture's size, which `image` may hold reduced
};

// Decodes a JPEG, GIF, BMP or PNG file, recognised by its content whatever its name. `path` is
// the file's name as the bytes it is. Anything but a regular file is refused before it is read
// (a FIFO or a device would block or never end). A JPEG comes back at the smallest scale libjpeg
// decodes it at (1/8, 1/4, 1/2) that still covers `raster`; the other kinds at their full size.
// Animated GIFs give their first frame; transparent areas become white (nothing to burn).
DecodedPicture decodePictureFile(const std::string& path, QSize raster);

}  // namespace ostrel::picture
