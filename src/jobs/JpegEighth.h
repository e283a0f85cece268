// A JPEG decoder that gives the picture at 1/8 scale from the DC coefficients alone, in one pass.
#pragma once

#include <QImage>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

class QIODevice;

namespace ostrel::jobs {

// At 1/8 scale every 8 x 8 block becomes one pixel, its mean, which is the block's DC
// coefficient: the AC coefficients are only stepped over, never valued. Sequential (baseline
// and extended) and progressive Huffman-coded JPEGs with 8-bit samples and 1 or 3 components
// are decoded; everything else is left to libjpeg.
enum class JpegEighthOutcome {
    Decoded,      // the picture is there
    Truncated,    // the file ends before the picture does
    Damaged,      // a bad table, a bad Huffman code, data missing, a marker in the wrong place
    Unsupported,  // arithmetic coding, 12-bit, lossless, hierarchical, CMYK, DNL, ...
};

struct JpegEighthHeader {
    JpegEighthOutcome outcome = JpegEighthOutcome::Damaged;  // Decoded: the header is sound
    int width = 0, height = 0;                               // the frame's size in pixels
};

struct JpegEighthResult {
    JpegEighthOutcome outcome = JpegEighthOutcome::Damaged;
    QImage image;  // Format_RGB32, ceil(width / 8) x ceil(height / 8); null unless Decoded
};

class JpegEighthDecoder {
  public:
    // Decodes bytes held in memory; they must outlive the decoder.
    explicit JpegEighthDecoder(std::span<const uint8_t> bytes);
    // Decodes from a device opened for reading, read once from its current place in chunks.
    explicit JpegEighthDecoder(QIODevice& device);
    ~JpegEighthDecoder();
    JpegEighthDecoder(const JpegEighthDecoder&) = delete;
    JpegEighthDecoder& operator=(const JpegEighthDecoder&) = delete;

    // Reads the markers up to the start of the first scan. Its size is what libjpeg would
    // report: the header is called sound only where libjpeg would read it too. Truncated here
    // means the file ends before the first scan starts.
    JpegEighthHeader readHeader();
    // Decodes the rest of the file, through its end-of-image marker (reading the header first
    // when readHeader has not been called). Nothing is allocated for a frame of more than
    // `maxSourcePixels` pixels: it is Unsupported.
    JpegEighthResult decode(int64_t maxSourcePixels);

    // Receives output row y (0 at the top, each once, in order) of ceil(width / 8) pixels.
    using RowSink = std::function<void(int y, const QRgb* row)>;
    // Decodes as decode() does, but hands the picture over row by row instead of as an image,
    // so that a caller that reduces it never holds it whole. NOTE: rows may have been handed
    // over before the outcome turns out other than Decoded.
    JpegEighthOutcome decodeRows(int64_t maxSourcePixels, const RowSink& sink);

  private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

// The whole file in memory at once.
JpegEighthResult DecodeJpegEighth(std::span<const uint8_t> bytes, int64_t maxSourcePixels);

}  // namespace ostrel::jobs
