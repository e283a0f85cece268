// The area-averaging stretch: every destination pixel the mean of the source area it covers.
#include "picture/AreaAverage.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace ostrel::picture {

namespace {

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

}  // namespace ostrel::picture
