// Decoding picture files for Load, with their limits, and the area-averaging stretch.
#include "jobs/PictureLoader.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "jobs/JpegEighth.h"

namespace ostrel::jobs {

namespace {

using namespace std::string_view_literals;

enum class PictureKind { Jpeg, Gif, Bmp, Png };

// The kinds of file Load takes, told apart by their first bytes (never by the file name).
struct Signature {
    std::string_view magic;
    PictureKind kind;
    const char* qtFormat;
};
constexpr Signature kSignatures[] = {
    {"\xFF\xD8\xFF"sv, PictureKind::Jpeg, "jpeg"},
    {"GIF87a"sv, PictureKind::Gif, "gif"},
    {"GIF89a"sv, PictureKind::Gif, "gif"},
    {"BM"sv, PictureKind::Bmp, "bmp"},
    {"\x89PNG\r\n\x1A\n"sv, PictureKind::Png, "png"},
};

const Signature* recognise(const QByteArray& bytes) {
    const std::string_view head(bytes.constData(), static_cast<size_t>(bytes.size()));
    for (const Signature& s : kSignatures) {
        if (head.substr(0, s.magic.size()) == s.magic) return &s;
    }
    return nullptr;
}

unsigned byteAt(const QByteArray& d, qsizetype i) {
    return static_cast<unsigned char>(d[i]);
}
uint32_t le16(const QByteArray& d, qsizetype i) {
    return byteAt(d, i) | byteAt(d, i + 1) << 8;
}
uint32_t le32(const QByteArray& d, qsizetype i) {
    return le16(d, i) | le16(d, i + 2) << 16;
}

// Reads a file in chunks for a walk from its start: a camera's JPEG is megabytes, and holding it
// whole costs more (fresh memory to fault in) than decoding it at a reduced scale.
class ChunkedFile {
  public:
    explicit ChunkedFile(QIODevice& device) : device_(device), size_(device.size()) {}
    qint64 size() const { return size_; }
    // The byte at `pos` (0 <= pos < size()).
    unsigned at(qint64 pos) {
        if (!load(pos)) return 0;
        return static_cast<unsigned char>(chunk_[static_cast<size_t>(pos - start_)]);
    }
    // The first 0xFF byte at or after `pos`, or size() when there is none.
    qint64 findFF(qint64 pos) {
        while (pos < size_ && load(pos)) {
            const char* from = chunk_.data() + (pos - start_);
            const char* end = chunk_.data() + length_;
            if (const void* ff = std::memchr(from, 0xFF, static_cast<size_t>(end - from))) {
                return start_ + (static_cast<const char*>(ff) - chunk_.data());
            }
            pos = start_ + length_;
        }
        return size_;
    }

  private:
    bool load(qint64 pos) {
        if (pos >= start_ && pos < start_ + length_) return true;
        if (!device_.seek(pos)) return false;
        const qint64 n = device_.read(chunk_.data(), static_cast<qint64>(chunk_.size()));
        start_ = pos;
        length_ = std::max<qint64>(0, n);
        return length_ > 0;
    }

    QIODevice& device_;
    qint64 size_;
    std::vector<char> chunk_ = std::vector<char>(64 * 1024);
    qint64 start_ = 0, length_ = 0;
};

// Qt's JPEG decoder fills a truncated scan with grey and calls it a success, so the file is
// walked marker by marker and must reach its end-of-image marker.
bool jpegComplete(ChunkedFile& d) {
    const qint64 n = d.size();
    qint64 pos = 2;  // after the start-of-image marker
    while (pos < n) {
        if (d.at(pos) != 0xFF) return false;
        while (pos < n && d.at(pos) == 0xFF) ++pos;  // fill bytes
        if (pos >= n) return false;
        const unsigned marker = d.at(pos++);
        if (marker == 0xD9) return true;                                     // end of image
        if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) continue;  // no length
        if (pos + 2 > n) return false;
        const qint64 length = d.at(pos) << 8 | d.at(pos + 1);
        if (length < 2) return false;
        pos += length;
        if (pos > n) return false;
        if (marker != 0xDA) continue;
        // Entropy-coded data after a start-of-scan runs to the next marker; 0xFF 0x00 is a
        // stuffed data byte and 0xFF 0xD0-0xD7 a restart marker inside the scan.
        for (;;) {
            pos = d.findFF(pos);
            if (pos + 1 >= n) return false;
            const unsigned next = d.at(pos + 1);
            if (next == 0x00 || (next >= 0xD0 && next <= 0xD7)) {
                pos += 2;
                continue;
            }
            if (next != 0xFF) break;
            ++pos;
        }
    }
    return false;
}

// Qt's BMP decoder leaves the rows missing from a truncated file blank and calls it a
// success, so the file must be as long as its header says the pixels are.
bool bmpComplete(const QByteArray& d) {
    if (d.size() < 26) return false;
    const int64_t pixelOffset = le32(d, 10);
    const uint32_t headerBytes = le32(d, 14);
    int64_t width = 0, height = 0, bitsPerPixel = 0;
    uint32_t compression = 0, imageBytes = 0;
    if (headerBytes == 12) {  // the old core header: 16-bit sizes
        width = le16(d, 18);
        height = le16(d, 20);
        bitsPerPixel = le16(d, 24);
    } else {
        if (d.size() < 38) return false;
        width = static_cast<int32_t>(le32(d, 18));
        height = static_cast<int32_t>(le32(d, 22));
        bitsPerPixel = le16(d, 28);
        compression = le32(d, 30);
        imageBytes = le32(d, 34);
    }
    if (width <= 0 || height == 0 || bitsPerPixel <= 0) return true;  // the decoder judges
    constexpr uint32_t kRgb = 0, kBitFields = 3, kAlphaBitFields = 6;
    int64_t pixelBytes = imageBytes;
    if (compression == kRgb || compression == kBitFields || compression == kAlphaBitFields) {
        pixelBytes = (width * bitsPerPixel + 31) / 32 * 4 * std::abs(height);
    }
    return d.size() >= pixelOffset + pixelBytes;
}

// Qt's GIF decoder shows a frame cut short with its missing part blank and calls it a success,
// so the blocks are walked up to the end of the first frame's data.
bool gifFirstFrameComplete(const QByteArray& d) {
    const qsizetype n = d.size();
    if (n < 13) return false;
    auto colourTableBytes = [](unsigned packed) {
        return (packed & 0x80) ? 3 * (2 << (packed & 7)) : 0;
    };
    qsizetype pos = 13 + colourTableBytes(byteAt(d, 10));
    auto skipSubBlocks = [&] {
        while (pos < n) {
            const unsigned length = byteAt(d, pos++);
            if (length == 0) return true;
            pos += length;
        }
        return false;
    };
    while (pos < n) {
        const unsigned introducer = byteAt(d, pos++);
        if (introducer == 0x21) {  // extension: a label, then sub-blocks
            ++pos;
            if (!skipSubBlocks()) return false;
        } else if (introducer == 0x2C) {  // the first frame
            if (pos + 9 > n) return false;
            pos += 9 + colourTableBytes(byteAt(d, pos + 8));
            ++pos;  // LZW minimum code size
            return skipSubBlocks();
        } else {
            return true;  // no frame at all: the decoder says what is wrong
        }
    }
    return false;
}

struct ClaimedSize {
    int64_t width = 0, height = 0;
};

// The picture size a GIF, BMP or PNG header claims, read before any decoder sees the file.
ClaimedSize claimedSize(const QByteArray& d, PictureKind kind) {
    switch (kind) {
        case PictureKind::Gif:  // the logical screen
            if (d.size() < 10) return {};
            return {le16(d, 6), le16(d, 8)};
        case PictureKind::Png: {  // the first chunk, IHDR, big-endian
            if (d.size() < 24) return {};
            auto be32 = [&d](qsizetype i) {
                return int64_t{byteAt(d, i)} << 24 | byteAt(d, i + 1) << 16 |
                       byteAt(d, i + 2) << 8 | byteAt(d, i + 3);
            };
            return {be32(16), be32(20)};
        }
        case PictureKind::Bmp:
            if (d.size() < 26) return {};
            if (le32(d, 14) == 12) return {le16(d, 18), le16(d, 20)};
            return {static_cast<int32_t>(le32(d, 18)),
                    std::abs(int64_t{static_cast<int32_t>(le32(d, 22))})};
        case PictureKind::Jpeg:
            break;
    }
    return {};
}

// The largest JPEG scale-down (1/8, 1/4, 1/2) that still leaves at least `needed` pixels.
int jpegScaleDown(QSize source, QSize needed) {
    for (int denominator : {8, 4, 2}) {
        if (source.width() / denominator >= needed.width() &&
            source.height() / denominator >= needed.height()) {
            return denominator;
        }
    }
    return 1;
}

// Twice the raster, keeping the picture's aspect; the picture itself when it is smaller.
QSize reducedSize(QSize picture, QSize raster) {
    const double scale =
        std::max(2.0 * raster.width() / picture.width(), 2.0 * raster.height() / picture.height());
    if (scale >= 1.0) return picture;
    return {std::max(1, static_cast<int>(std::ceil(picture.width() * scale))),
            std::max(1, static_cast<int>(std::ceil(picture.height() * scale)))};
}

DecodedPicture failure(const std::string& path, const std::string& why) {
    return {QImage(), "Cannot load the picture \"" + path + "\": " + why};
}

// The claimed size against the limit of its kind; nullopt when it is within.
std::optional<DecodedPicture> refuseTooLarge(const std::string& path, ClaimedSize claimed,
                                             int64_t limit) {
    // NOTE: each side first: a PNG may claim 2^32 - 1 a side, whose product overflows.
    if (claimed.width > limit || claimed.height > limit || claimed.width * claimed.height > limit) {
        return failure(path, "the picture is too large (" + std::to_string(claimed.width) + " x " +
                                 std::to_string(claimed.height) + " pixels; at most " +
                                 std::to_string(limit / 1'000'000) + " million pixels).");
    }
    return std::nullopt;
}

// What every decoded picture goes through: transparent areas white, 32-bit RGB, reduced to
// twice the raster where it is much larger.
DecodedPicture finish(QImage image, QSize target) {
    if (image.hasAlphaChannel()) {
        QImage flat(image.size(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        QPainter painter(&flat);
        painter.drawImage(0, 0, image);
        painter.end();
        image = flat;
    } else {
        image = image.convertToFormat(QImage::Format_RGB32);
    }
    const QSize kept = reducedSize(image.size(), target);
    if (kept != image.size()) image = AreaAverage(image, kept);
    return {image, {}};
}

// Which source pixels one destination pixel covers, and by how much. Positions are counted in
// 1/destination of a source pixel, so every overlap is a whole number.
struct Span {
    int first = 0;
    std::vector<double> weights;  // for source pixels first, first + 1, ...
};

std::vector<Span> coverage(int sourceLength, int destinationLength) {
    std::vector<Span> spans(static_cast<size_t>(destinationLength));
    const int64_t n = sourceLength, m = destinationLength;
    for (int64_t i = 0; i < m; ++i) {
        const int64_t begin = i * n, end = (i + 1) * n;
        Span& span = spans[static_cast<size_t>(i)];
        span.first = static_cast<int>(begin / m);
        for (int64_t s = span.first; s * m < end; ++s) {
            const int64_t overlap = std::min(end, (s + 1) * m) - std::max(begin, s * m);
            span.weights.push_back(static_cast<double>(overlap) / static_cast<double>(n));
        }
    }
    return spans;
}

// Area averaging row by row: the source rows come one by one, top to bottom, and a destination
// row is made as soon as the last source row it covers has come, so that a source that is
// decoded row by row need never be held whole.
class AreaAverager {
  public:
    AreaAverager(QSize source, QSize size)
        : rows_(coverage(source.height(), size.height())),
          out_(size, QImage::Format_RGB32),
          sum_(static_cast<size_t>(size.width()) * 3) {
        // The columns' weights one after another, for the row loop.
        for (const Span& span : coverage(source.width(), size.width())) {
            columnFirst_.push_back(span.first);
            columnWeights_.push_back(static_cast<int>(span.weights.size()));
            weights_.insert(weights_.end(), span.weights.begin(), span.weights.end());
        }
        // The source rows of one destination row are kept, reduced to the destination width.
        size_t kept = 1;
        for (const Span& span : rows_) kept = std::max(kept, span.weights.size());
        reduced_.assign(kept, std::vector<double>(sum_.size()));
    }

    void addRow(const QRgb* line) {
        const int y = nextSource_++;
        std::vector<double>& reduced = reduced_[static_cast<size_t>(y) % reduced_.size()];
        const double* weight = weights_.data();
        for (size_t x = 0; x < columnFirst_.size(); ++x) {
            const QRgb* pixels = line + columnFirst_[x];
            double r = 0, g = 0, b = 0;
            for (int k = 0; k < columnWeights_[x]; ++k, ++weight) {
                r += *weight * qRed(pixels[k]);
                g += *weight * qGreen(pixels[k]);
                b += *weight * qBlue(pixels[k]);
            }
            reduced[3 * x] = r;
            reduced[3 * x + 1] = g;
            reduced[3 * x + 2] = b;
        }
        while (nextDestination_ < rows_.size()) {
            const Span& span = rows_[nextDestination_];
            if (span.first + static_cast<int>(span.weights.size()) - 1 > y) break;
            makeRow(static_cast<int>(nextDestination_++), span);
        }
    }

    // The destination, once every source row has come.
    QImage result() const { return out_; }

  private:
    void makeRow(int y, const Span& span) {
        std::fill(sum_.begin(), sum_.end(), 0.0);
        for (size_t k = 0; k < span.weights.size(); ++k) {
            const std::vector<double>& reduced =
                reduced_[(static_cast<size_t>(span.first) + k) % reduced_.size()];
            for (size_t i = 0; i < sum_.size(); ++i) sum_[i] += span.weights[k] * reduced[i];
        }
        auto* line = reinterpret_cast<QRgb*>(out_.scanLine(y));
        // std::lround for the non-negative sums, inline: the whole part, plus one from a half
        // up (v - whole is exact).
        auto channel = [](double v) {
            if (!(v > 0)) return 0;
            if (v >= 255) return 255;
            const int whole = static_cast<int>(v);
            return v - whole >= 0.5 ? whole + 1 : whole;
        };
        for (size_t x = 0; x < columnFirst_.size(); ++x) {
            line[x] =
                qRgb(channel(sum_[3 * x]), channel(sum_[3 * x + 1]), channel(sum_[3 * x + 2]));
        }
    }

    std::vector<Span> rows_;
    std::vector<int> columnFirst_, columnWeights_;  // by destination column
    std::vector<double> weights_;                   // the columns', one after another
    QImage out_;
    std::vector<double> sum_;
    std::vector<std::vector<double>> reduced_;  // by source row, modulo its size
    int nextSource_ = 0;
    size_t nextDestination_ = 0;
};

// A large JPEG at 1/8 scale through our own decoder, reading the file once: nullopt leaves the
// file to Qt's path, which then judges it exactly as it always has (a header it cannot read,
// a kind of JPEG we do not decode, damage).
std::optional<DecodedPicture> decodeJpegEighth(const std::string& path, const QString& name,
                                               qint64 fileBytes, QSize target) {
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered) || file.size() != fileBytes) {
        return std::nullopt;
    }
    JpegEighthDecoder decoder(file);
    // A header libjpeg could not read either, or a file that ends before its first scan: Qt
    // says what is wrong with it.
    const JpegEighthHeader header = decoder.readHeader();
    if (header.outcome != JpegEighthOutcome::Decoded) return std::nullopt;
    if (auto refused = refuseTooLarge(path, {header.width, header.height}, kMaxJpegSourcePixels)) {
        return refused;
    }
    if (jpegScaleDown(QSize(header.width, header.height), target * 2) != 8) return std::nullopt;
    // Reduced as it is decoded, the picture at 1/8 is never held whole.
    const QSize eighth((header.width + 7) / 8, (header.height + 7) / 8);
    AreaAverager averager(eighth, reducedSize(eighth, target));
    const JpegEighthOutcome outcome = decoder.decodeRows(
        kMaxJpegSourcePixels, [&averager](int, const QRgb* row) { averager.addRow(row); });
    switch (outcome) {
        case JpegEighthOutcome::Decoded:
            break;
        case JpegEighthOutcome::Truncated:
            return failure(path, "the file is truncated: it ends before the picture does.");
        case JpegEighthOutcome::Damaged:
        case JpegEighthOutcome::Unsupported:
            return std::nullopt;
    }
    // NOTE: the file is read as it is decoded; one that changed size meanwhile is not the file
    // that was found.
    if (QFileInfo(name).size() != fileBytes) {
        return failure(path, "the file changed while it was being loaded.");
    }
    return DecodedPicture{averager.result(), {}};
}

}  // namespace

QImage AreaAverage(const QImage& source, QSize size) {
    if (source.isNull() || size.isEmpty()) return {};
    const QImage src = source.convertToFormat(QImage::Format_RGB32);
    AreaAverager averager(src.size(), size);
    for (int y = 0; y < src.height(); ++y) {
        averager.addRow(reinterpret_cast<const QRgb*>(src.constScanLine(y)));
    }
    return averager.result();
}

DecodedPicture DecodePictureFile(const std::string& path, QSize raster) {
    const QString name = QString::fromStdString(path);
    const QFileInfo info(name);
    if (!info.exists()) return failure(path, "the file does not exist.");
    if (info.isDir()) return failure(path, "it is a folder, not a picture file.");
    if (info.size() > kMaxPictureFileBytes) {
        return failure(path, "the file is too large (" + std::to_string(info.size() >> 20) +
                                 " MB; at most " + std::to_string(kMaxPictureFileBytes >> 20) +
                                 " MB).");
    }
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) {
        return failure(path, "the file cannot be read (" + file.errorString().toStdString() + ").");
    }
    // The kinds are told apart by their first bytes; a JPEG is then decoded straight from the
    // file, the other kinds from its bytes in memory.
    QByteArray bytes = file.peek(16);
    const Signature* signature = recognise(bytes);
    if (!signature) {
        return failure(path, "it is not a picture the engraver can load (JPEG, GIF, BMP or PNG).");
    }
    const bool jpeg = signature->kind == PictureKind::Jpeg;
    const QSize target = raster.isEmpty() ? QSize(1, 1) : raster;
    if (jpeg) {
        if (auto fast = decodeJpegEighth(path, name, file.size(), target)) return *fast;
    }
    QBuffer buffer;
    if (!jpeg) {
        bytes = file.readAll();
        file.close();
        buffer.setBuffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
    }
    const qint64 jpegBytes = jpeg ? file.size() : 0;
    QImageReader::setAllocationLimit(kDecodeAllocationLimitMb);
    QImageReader reader(jpeg ? static_cast<QIODevice*>(&file) : &buffer, signature->qtFormat);
    // Qt gives no size at all for some huge headers, so the claim is read from the header
    // itself where it stands at a fixed place; a JPEG's size (at most 65535 a side) comes
    // from Qt.
    const QSize qtSize = reader.size();
    const ClaimedSize claimed =
        jpeg ? ClaimedSize{qtSize.width(), qtSize.height()} : claimedSize(bytes, signature->kind);
    if (claimed.width <= 0 || claimed.height <= 0) {
        return failure(path, "the file is damaged: its header gives no picture size.");
    }
    if (auto refused =
            refuseTooLarge(path, claimed, jpeg ? kMaxJpegSourcePixels : kMaxDecodedPixels)) {
        return *refused;
    }
    if (!qtSize.isValid() || qtSize.isEmpty()) {
        return failure(path, "the file is damaged: its header gives no picture size.");
    }
    const QSize source = qtSize;
    // libpng refuses truncated files by itself. The JPEG walk reads the file through a handle
    // of its own, so that the decoder's stays where it is.
    bool complete = true;
    if (jpeg) {
        QFile walked(name);
        complete = walked.open(QIODevice::ReadOnly) && walked.size() == jpegBytes;
        if (complete) {
            ChunkedFile chunks(walked);
            complete = jpegComplete(chunks);
        }
    } else if (signature->kind == PictureKind::Bmp) {
        complete = bmpComplete(bytes);
    } else if (signature->kind == PictureKind::Gif) {
        complete = gifFirstFrameComplete(bytes);
    }
    if (!complete) return failure(path, "the file is truncated: it ends before the picture does.");

    const QSize needed = target * 2;
    if (jpeg) {
        // libjpeg scales down while it decodes, so the full-size picture never exists.
        const int denominator = jpegScaleDown(source, needed);
        if (denominator > 1) reader.setScaledSize(source / denominator);
    }
    // GIF: the first read gives the first frame of an animation.
    QImage image = reader.read();
    // NOTE: the walk and the decode read the file one after the other; a file that changed
    // size in between is not the file that was found complete.
    if (jpeg && !image.isNull() && QFileInfo(name).size() != jpegBytes) {
        return failure(path, "the file changed while it was being loaded.");
    }
    if (image.isNull()) {
        return failure(path, "the file is damaged and cannot be decoded (" +
                                 reader.errorString().toStdString() + ").");
    }
    return finish(std::move(image), target);
}

}  // namespace ostrel::jobs
