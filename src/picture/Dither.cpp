// The burn mask: the greyed picture reduced to marker and blank dots, by threshold or dithering.
#include "picture/Dither.h"

#include <span>

namespace ostrel::picture {

namespace {

// Error diffusion kernels. dx counts along the scan direction (mirrored on right-to-left
// rows), dy downwards; weight / divisor of the error goes to that neighbour.
struct Spread {
    int dx, dy, weight;
};

//            *  7
//         3  5  1        (/16)
constexpr Spread kFloydSteinberg[] = {{1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1}};

//            *  1  1
//         1  1  1        (/8; 2/8 of the error is dropped)
//            1
constexpr Spread kAtkinson[] = {{1, 0, 1}, {2, 0, 1}, {-1, 1, 1}, {0, 1, 1}, {1, 1, 1}, {0, 2, 1}};

//               *  7  5
//         3  5  7  5  3  (/48)
//         1  3  5  3  1
constexpr Spread kJarvis[] = {{1, 0, 7}, {2, 0, 5},  {-2, 1, 3}, {-1, 1, 5}, {0, 1, 7}, {1, 1, 5},
                              {2, 1, 3}, {-2, 2, 1}, {-1, 2, 3}, {0, 2, 5},  {1, 2, 3}, {2, 2, 1}};

//               *  8  4
//         2  4  8  4  2  (/42)
//         1  2  4  2  1
constexpr Spread kStucki[] = {{1, 0, 8}, {2, 0, 4},  {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8}, {1, 1, 4},
                              {2, 1, 2}, {-2, 2, 1}, {-1, 2, 2}, {0, 2, 4},  {1, 2, 2}, {2, 2, 1}};

// A dot darker than mid grey is burned.
constexpr double kMidGrey = 128.0;

std::vector<uint8_t> diffuse(const GreyRaster& raster, std::span<const Spread> kernel,
                             int divisor) {
    const int w = raster.width, h = raster.height;
    std::vector<double> value(raster.levels.begin(), raster.levels.end());
    std::vector<uint8_t> burn(value.size(), 0);
    for (int y = 0; y < h; ++y) {
        const bool leftToRight = y % 2 == 0;
        const int direction = leftToRight ? 1 : -1;
        for (int i = 0; i < w; ++i) {
            const int x = leftToRight ? i : w - 1 - i;
            const size_t at = static_cast<size_t>(y * w + x);
            const bool dark = value[at] < kMidGrey;
            burn[at] = dark ? 1 : 0;
            const double error = value[at] - (dark ? 0.0 : 255.0);
            for (const Spread& s : kernel) {
                const int nx = x + s.dx * direction, ny = y + s.dy;
                if (nx < 0 || nx >= w || ny >= h) continue;
                value[static_cast<size_t>(ny * w + nx)] += error * s.weight / divisor;
            }
        }
    }
    return burn;
}

// The Bayer matrix of size n (a power of two), built by the usual recursion:
// M(2n) = [4M, 4M+2; 4M+3, 4M+1].
template <int N>
constexpr std::array<std::array<int, N>, N> bayerMatrix() {
    std::array<std::array<int, N>, N> m{};
    m[0][0] = 0;
    for (int size = 1; size < N; size *= 2) {
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const int v = 4 * m[y][x];
                m[y][x] = v;
                m[y][x + size] = v + 2;
                m[y + size][x] = v + 3;
                m[y + size][x + size] = v + 1;
            }
        }
    }
    return m;
}

template <int N>
std::vector<uint8_t> ordered(const GreyRaster& raster) {
    static constexpr auto kMatrix = bayerMatrix<N>();
    std::vector<uint8_t> burn(raster.levels.size(), 0);
    for (int y = 0; y < raster.height; ++y) {
        for (int x = 0; x < raster.width; ++x) {
            // Burned when level < (M + 1/2) * 256 / N^2, in whole numbers.
            const int m = kMatrix[static_cast<size_t>(y % N)][static_cast<size_t>(x % N)];
            const bool dark = 2 * N * N * raster.at(x, y) < (2 * m + 1) * 256;
            burn[static_cast<size_t>(y * raster.width + x)] = dark ? 1 : 0;
        }
    }
    return burn;
}

// Each method's name on the command line and in files, and the title the operator reads.
struct Naming {
    DitherMethod method;
    std::string_view name, title;
};
constexpr Naming kNamings[] = {
    {DitherMethod::Threshold, "threshold", "Threshold (as designed)"},
    {DitherMethod::FloydSteinberg, "floyd-steinberg", "Floyd-Steinberg"},
    {DitherMethod::Atkinson, "atkinson", "Atkinson"},
    {DitherMethod::JarvisJudiceNinke, "jarvis", "Jarvis-Judice-Ninke"},
    {DitherMethod::Stucki, "stucki", "Stucki"},
    {DitherMethod::Bayer4, "bayer4", "Ordered (Bayer 4x4)"},
    {DitherMethod::Bayer8, "bayer8", "Ordered (Bayer 8x8)"},
};
static_assert(std::size(kNamings) == kDitherMethods.size());

const Naming& namingOf(DitherMethod method) {
    for (const Naming& naming : kNamings) {
        if (naming.method == method) return naming;
    }
    return kNamings[0];
}

}  // namespace

std::string_view ditherName(DitherMethod method) {
    return namingOf(method).name;
}

std::string_view ditherTitle(DitherMethod method) {
    return namingOf(method).title;
}

std::optional<DitherMethod> ditherFromName(std::string_view name) {
    for (const DitherMethod method : kDitherMethods) {
        if (ditherName(method) == name) return method;
    }
    return std::nullopt;
}

std::vector<uint8_t> ditherLevels(const GreyRaster& raster, DitherMethod method, int sensitivity) {
    // NOTE: the scans index levels by width and height; a raster whose sizes disagree with its
    // levels would read past them, so it burns nothing.
    if (raster.width < 0 || raster.height < 0 ||
        raster.levels.size() != size_t(raster.width) * size_t(raster.height))
        return std::vector<uint8_t>(raster.levels.size(), 0);
    switch (method) {
        case DitherMethod::Threshold: {
            std::vector<uint8_t> burn(raster.levels.size(), 0);
            for (size_t i = 0; i < burn.size(); ++i) {
                const int level = raster.levels[i];
                burn[i] = level <= sensitivity && level != 0 ? 1 : 0;
            }
            return burn;
        }
        case DitherMethod::FloydSteinberg:
            return diffuse(raster, kFloydSteinberg, 16);
        case DitherMethod::Atkinson:
            return diffuse(raster, kAtkinson, 8);
        case DitherMethod::JarvisJudiceNinke:
            return diffuse(raster, kJarvis, 48);
        case DitherMethod::Stucki:
            return diffuse(raster, kStucki, 42);
        case DitherMethod::Bayer4:
            return ordered<4>(raster);
        case DitherMethod::Bayer8:
            return ordered<8>(raster);
    }
    return std::vector<uint8_t>(raster.levels.size(), 0);
}

GreyRaster levelsOf(const QImage& picture) {
    GreyRaster raster{picture.width(), picture.height(), {}};
    raster.levels.reserve(static_cast<size_t>(raster.width) * static_cast<size_t>(raster.height));
    for (int y = 0; y < raster.height; ++y) {
        for (int x = 0; x < raster.width; ++x)
            raster.levels.push_back(static_cast<uint8_t>(qRed(picture.pixel(x, y))));
    }
    return raster;
}

void applyBurnMask(QImage& picture, DitherMethod method, int sensitivity) {
    if (picture.isNull()) return;
    if (picture.format() != QImage::Format_RGB32)
        picture = picture.convertToFormat(QImage::Format_RGB32);
    const QRgb marker = qRgb(kMaskMarker, 0, 0), blank = qRgb(0, 0, 0);
    if (method == DitherMethod::Threshold) {
        // The designed two passes, on the whole colour: a non-grey dot such as (0, 255, 255)
        // has level 0 but is not black, so it becomes the marker.
        for (int y = 0; y < picture.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
            for (int x = 0; x < picture.width(); ++x) {
                const QRgb p = line[x];
                const bool blanked = qRed(p) > sensitivity || (p & 0xFFFFFF) == 0;
                line[x] = blanked ? blank : marker;
            }
        }
        return;
    }
    const std::vector<uint8_t> burn = ditherLevels(levelsOf(picture), method, sensitivity);
    for (int y = 0; y < picture.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x)
            line[x] = burn[static_cast<size_t>(y * picture.width() + x)] ? marker : blank;
    }
}

}  // namespace ostrel::picture
