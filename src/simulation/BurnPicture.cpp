// Burn marks from the laser's exposures: each one a Gaussian spot of its laser-on time.
#include "simulation/BurnPicture.h"

#include <QImageWriter>
#include <algorithm>
#include <cmath>

namespace ostrel::simulation {

namespace {

struct Rgb {
    double r, g, b;
};
constexpr Rgb kWood{236, 214, 178};  // the blank work piece
constexpr Rgb kChar{40, 26, 18};     // fully burned

// The spot's reach: beyond three standard deviations it adds nothing that shows.
constexpr double kSpotReachSigmas = 3.0;

}  // namespace

QImage burnPicture(const std::vector<machine::Exposure>& exposures, const BurnStyle& style) {
    const double scaleY = std::max(1, style.yStepScale);
    const double sigma = std::max(0.3, style.spotSigmaPx);
    // Half-steps to image pixels, from the home corner.
    auto px = [](int64_t xHalf) { return static_cast<double>(xHalf) / 2; };
    auto py = [scaleY](int64_t yHalf) { return static_cast<double>(yHalf) / 2 * scaleY; };

    double minX = 0, maxX = 0, minY = 0, maxY = 0;
    for (const machine::Exposure& e : exposures) {
        minX = std::min(minX, px(e.x));
        maxX = std::max(maxX, px(e.x));
        minY = std::min(minY, py(e.y));
        maxY = std::max(maxY, py(e.y));
    }
    const int margin = std::max(0, style.marginPx);
    const double spanX = std::ceil(maxX - minX) + 2.0 * margin + 1;
    const double spanY = std::ceil(maxY - minY) + 2.0 * margin + 1;
    if (spanX > kMaxBurnPictureSide || spanY > kMaxBurnPictureSide) return {};
    const int width = static_cast<int>(spanX), height = static_cast<int>(spanY);
    const double originX = margin - minX, originY = margin - minY;

    // Exposure in ms at every pixel.
    std::vector<double> dose(static_cast<size_t>(width) * static_cast<size_t>(height), 0.0);
    const int reach = static_cast<int>(std::ceil(kSpotReachSigmas * sigma));
    std::vector<double> wx(static_cast<size_t>(2 * reach + 2)), wy(wx.size());
    const double twoSigmaSquared = 2 * sigma * sigma;
    for (const machine::Exposure& e : exposures) {
        if (e.ms <= 0) continue;
        const double cx = originX + px(e.x), cy = originY + py(e.y);
        const int x0 = std::max(0, static_cast<int>(std::floor(cx)) - reach);
        const int x1 = std::min(width - 1, static_cast<int>(std::ceil(cx)) + reach);
        const int y0 = std::max(0, static_cast<int>(std::floor(cy)) - reach);
        const int y1 = std::min(height - 1, static_cast<int>(std::ceil(cy)) + reach);
        for (int x = x0; x <= x1; ++x) {
            wx[static_cast<size_t>(x - x0)] = std::exp(-(x - cx) * (x - cx) / twoSigmaSquared);
        }
        for (int y = y0; y <= y1; ++y) {
            wy[static_cast<size_t>(y - y0)] = std::exp(-(y - cy) * (y - cy) / twoSigmaSquared);
        }
        for (int y = y0; y <= y1; ++y) {
            double* row = &dose[static_cast<size_t>(y) * static_cast<size_t>(width)];
            const double w = e.ms * wy[static_cast<size_t>(y - y0)];
            for (int x = x0; x <= x1; ++x) row[x] += w * wx[static_cast<size_t>(x - x0)];
        }
    }

    QImage picture(width, height, QImage::Format_RGB32);
    const double tau = std::max(1e-3, style.darkeningMs);
    const double threshold = std::max(0.0, style.thresholdMs);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        const double* row = &dose[static_cast<size_t>(y) * static_cast<size_t>(width)];
        for (int x = 0; x < width; ++x) {
            const double d = 1 - std::exp(-std::max(0.0, row[x] - threshold) / tau);
            line[x] = qRgb(static_cast<int>(std::lround(kWood.r + (kChar.r - kWood.r) * d)),
                           static_cast<int>(std::lround(kWood.g + (kChar.g - kWood.g) * d)),
                           static_cast<int>(std::lround(kWood.b + (kChar.b - kWood.b) * d)));
        }
    }
    return picture;
}

bool saveBurnPicture(const QImage& picture, const std::string& path, std::string& error) {
    if (picture.isNull()) {
        error = "the burn picture would be larger than " + std::to_string(kMaxBurnPictureSide) +
                " pixels a side";
        return false;
    }
    QImageWriter writer(QString::fromStdString(path), "png");
    if (!writer.write(picture)) {
        error = "cannot write the burn picture " + path + ": " + writer.errorString().toStdString();
        return false;
    }
    return true;
}

}  // namespace ostrel::simulation
