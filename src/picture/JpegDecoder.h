// Decoding JPEG files with libjpeg-turbo: scaled down in the inverse DCT, bounded in memory,
// and strict about damage.
#pragma once

#include <QImage>
#include <QSize>
#include <cstdint>
#include <string>

namespace ostrel::picture {

enum class JpegOutcome {
    Decoded,
    HeaderUnreadable,  // no picture size can be read: the header is cut short or broken
    Unsupported,       // 12-bit samples, lossless or hierarchical coding, an unknown colour layout
    TooManyPixels,     // the header claims more pixels than allowed
    TooMuchMemory,     // decoding would need more memory than allowed (a file of several scans)
    Truncated,         // the file ends before the picture does
    Damaged,           // corrupt data: an error of libjpeg's, or one of its corrupt-data warnings
    ReadFailed,        // the file could not be read
};

struct JpegLimits {
    int64_t maxSourcePixels = 0;
    int64_t maxMemoryBytes = 0;
};

struct JpegResult {
    JpegOutcome outcome = JpegOutcome::Damaged;
    QImage image;               // Format_RGB32 at the chosen scale; null unless Decoded
    int width = 0, height = 0;  // the whole picture's, once the header has been read
    int scaleDenominator = 1;   // the picture was decoded at 1 / scaleDenominator
    int64_t memoryBytes = 0;    // TooMuchMemory: what the coefficients of every scan would take
    std::string detail;         // libjpeg's words, or the read error's
};

// The scale (1/8, 1/4, 1/2 or 1) libjpeg decodes a picture of `source` pixels at for `raster`:
// the smallest whose result still covers the raster. Sides are rounded up, as libjpeg does.
int jpegScaleDenominator(QSize source, QSize raster);

// Decodes the JPEG file open on `fd`, read from its current offset, at the scale
// JpegScaleDenominator gives. NOTE: before anything is decoded the header's claim is checked
// against the limits, so that a small file claiming a huge picture allocates nothing; a file
// of several scans (progressive) keeps the coefficients of the whole picture, and is refused
// when they would exceed maxMemoryBytes. Grey, YCbCr and RGB pictures come out as libjpeg's
// own RGB (as `djpeg` writes them), CMYK and YCCK as Adobe's inverted CMYK times K.
JpegResult DecodeJpeg(int fd, QSize raster, const JpegLimits& limits);

}  // namespace ostrel::picture
