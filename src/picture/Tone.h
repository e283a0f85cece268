// Tone adjustments of the greyed picture before the burn mask: brightness, contrast, gamma, invert.
#pragma once

#include <QImage>
#include <array>
#include <cstdint>

namespace ostrel::picture {

// The operator's tone settings. The defaults are neutral: they leave every level as it is.
struct ToneSettings {
    int brightness = 0;   // -100..100: percent of the full scale added to every level
    int contrast = 0;     // -100..100: 0 keeps, -100 flattens to mid grey, 100 cuts at mid grey
    double gamma = 1.0;   // 0.1..10: above 1 lightens the middle tones, below 1 darkens them
    bool invert = false;  // a negative of the adjusted picture

    bool isNeutral() const;
    bool operator==(const ToneSettings&) const = default;
};

inline constexpr int kToneLimit = 100;
inline constexpr double kGammaMin = 0.1;
inline constexpr double kGammaMax = 10.0;

// Settings outside the ranges above are clamped into them (a NaN gamma counts as 1).
ToneSettings clamped(const ToneSettings& settings);

// The level each of the 256 levels becomes: contrast about mid grey, then brightness, then
// gamma, then invert. Neutral settings give the identity, level for level.
std::array<uint8_t, 256> toneCurve(const ToneSettings& settings);

// Applies the curve to the red, green and blue of every pixel of an RGB32 raster (the level of
// a pixel is its red byte; a greyed picture stays grey). Neutral settings leave it untouched.
void applyTone(QImage& raster, const ToneSettings& settings);

}  // namespace ostrel::picture
