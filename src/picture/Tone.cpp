// Tone adjustments of the greyed picture before the burn mask: brightness, contrast, gamma, invert.
#include "picture/Tone.h"

#include <algorithm>
#include <cmath>

namespace ostrel::picture {

bool ToneSettings::isNeutral() const {
    return brightness == 0 && contrast == 0 && gamma == 1.0 && !invert;
}

ToneSettings clamped(const ToneSettings& settings) {
    ToneSettings s = settings;
    s.brightness = std::clamp(s.brightness, -kToneLimit, kToneLimit);
    s.contrast = std::clamp(s.contrast, -kToneLimit, kToneLimit);
    s.gamma = std::isnan(s.gamma) ? 1.0 : std::clamp(s.gamma, kGammaMin, kGammaMax);
    return s;
}

std::array<uint8_t, 256> toneCurve(const ToneSettings& settings) {
    const ToneSettings s = clamped(settings);
    std::array<uint8_t, 256> curve{};
    for (int level = 0; level < 256; ++level) {
        double v = level / 255.0;
        // Contrast turns about mid grey; at the top of its range it is a cut at mid grey.
        if (s.contrast == kToneLimit) {
            v = v < 0.5 ? 0.0 : 1.0;
        } else if (s.contrast > 0) {
            v = (v - 0.5) * kToneLimit / (kToneLimit - s.contrast) + 0.5;
        } else if (s.contrast < 0) {
            v = (v - 0.5) * (kToneLimit + s.contrast) / kToneLimit + 0.5;
        }
        v = std::clamp(v + s.brightness / double(kToneLimit), 0.0, 1.0);
        if (s.gamma != 1.0) v = std::pow(v, 1.0 / s.gamma);
        int out = static_cast<int>(std::lround(v * 255.0));
        out = std::clamp(out, 0, 255);
        if (s.invert) out = 255 - out;
        curve[static_cast<size_t>(level)] = static_cast<uint8_t>(out);
    }
    return curve;
}

void applyTone(QImage& raster, const ToneSettings& settings) {
    if (settings.isNeutral() || raster.isNull()) return;
    if (raster.format() != QImage::Format_RGB32)
        raster = raster.convertToFormat(QImage::Format_RGB32);
    const std::array<uint8_t, 256> curve = toneCurve(settings);
    for (int y = 0; y < raster.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(raster.scanLine(y));
        for (int x = 0; x < raster.width(); ++x) {
            const QRgb p = line[x];
            line[x] =
                qRgb(curve[static_cast<size_t>(qRed(p))], curve[static_cast<size_t>(qGreen(p))],
                     curve[static_cast<size_t>(qBlue(p))]);
        }
    }
}

}  // namespace ostrel::picture
