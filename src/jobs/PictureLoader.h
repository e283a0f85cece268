// Decoding picture files for Load, with their limits, and the area-averaging stretch.
#pragma once

#include <QImage>
#include <QSize>
#include <cstdint>
#include <string>

namespace ostrel::jobs {

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

struct DecodedPicture {
    QImage image;       // Format_RGB32; null on failure
    std::string error;  // for the operator: names the file and why it cannot be used
};

// Decodes a JPEG, GIF, BMP or PNG file, recognised by its content whatever its name. A picture
// much larger than `raster` comes back reduced, never smaller than twice `raster` (keeping its
// aspect), so that the stretch over the raster still averages every source pixel. Animated
// GIFs give their first frame; transparent areas become white (nothing to burn).
DecodedPicture DecodePictureFile(const std::string& path, QSize raster);

// Scales `source` to `size` by area averaging: each destination pixel is the mean of the
// source area it covers, partly covered source pixels weighted by the part covered.
QImage AreaAverage(const QImage& source, QSize size);

}  // namespace ostrel::jobs
