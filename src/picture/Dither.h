// The burn mask: the greyed picture reduced to marker and blank dots, by threshold or dithering.
#pragma once

#include <QImage>
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "jobs/Dwell.h"

namespace ostrel::picture {

// How the coarse preparation decides which dots to burn. Threshold is the designed rule and the
// default; the others spread the tones of the picture over the dots.
enum class DitherMethod {
    Threshold,          // level at most the sensitivity, and not black
    FloydSteinberg,     // error diffusion to 4 neighbours
    Atkinson,           // error diffusion to 6 neighbours, 2/8 of the error dropped
    JarvisJudiceNinke,  // error diffusion to 12 neighbours over two rows
    Stucki,             // error diffusion to 12 neighbours, weighted to the nearest
    Bayer4,             // ordered, 4 x 4 threshold matrix
    Bayer8,             // ordered, 8 x 8 threshold matrix
};

inline constexpr std::array<DitherMethod, 7> kDitherMethods{
    DitherMethod::Threshold, DitherMethod::FloydSteinberg,
    DitherMethod::Atkinson,  DitherMethod::JarvisJudiceNinke,
    DitherMethod::Stucki,    DitherMethod::Bayer4,
    DitherMethod::Bayer8};

// The name on the command line and in files ("threshold", "floyd-steinberg", "atkinson",
// "jarvis", "stucki", "bayer4", "bayer8") and the title the operator reads.
std::string_view ditherName(DitherMethod method);
std::string_view ditherTitle(DitherMethod method);
std::optional<DitherMethod> ditherFromName(std::string_view name);

// The mask's two colours, as the picture run reads them: a dot of the marker's level is burned
// in Coarse-Burning, a blank one is passed over.
inline constexpr int kMaskBlank = 0;
inline constexpr int kMaskMarker = jobs::kBurnMarkerLevel;  // red 100, green 0, blue 0

// A grey raster: one level per dot, row by row from the top left.
struct GreyRaster {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> levels;  // width * height

    uint8_t at(int x, int y) const { return levels[static_cast<size_t>(y * width + x)]; }
};

// Which dots to burn (1) or leave (0), row by row. The error-diffusion methods scan serpentine:
// even rows from the left, odd rows from the right, with the weights mirrored; error that
// would fall outside the raster is dropped. Every method but Threshold decides at mid grey
// and ignores the sensitivity (0-255).
std::vector<uint8_t> ditherLevels(const GreyRaster& raster, DitherMethod method, int sensitivity);

// The grey raster of an RGB32 picture: each dot's level is its red byte.
GreyRaster levelsOf(const QImage& picture);

// Turns a greyed RGB32 picture into the burn mask in place: every dot becomes the marker or
// blank. Threshold is exactly the designed two passes: a dot whose level is above the
// sensitivity becomes blank, then every dot whose colour is not 0 becomes the marker (so a
// black dot is never burned).
void applyBurnMask(QImage& picture, DitherMethod method, int sensitivity);

}  // namespace ostrel::picture
