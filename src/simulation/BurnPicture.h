// The work piece as the laser leaves it: the simulated engraver's exposures drawn as burn marks.
#pragma once

#include <QImage>
#include <string>
#include <vector>

#include "machine/SimEngraver.h"

namespace ostrel::simulation {

struct BurnStyle {
    // One image pixel per X full step; one Y full step is this many X full steps long.
    int yStepScale = 4;
    // The laser spot: a round Gaussian of this standard deviation, in image pixels. A picture
    // dot is 8 pixels apart from the next, so 3.5 closes the gaps between dots of one shade.
    double spotSigmaPx = 3.5;
    // The wood scorches only past a threshold: darkness at a point is
    // 1 - exp(-(exposure - thresholdMs) / darkeningMs), 0 below it. So 13 ms (the lightest
    // dwell) leaves a faint mark and 100 ms a dark one.
    double thresholdMs = 12.0;
    double darkeningMs = 55.0;
    // Blank work piece around the marks and the home corner, in image pixels.
    int marginPx = 16;
};

// The largest burn picture drawn, in pixels a side: far more than the machine's travel.
inline constexpr int kMaxBurnPictureSide = 8192;

// Draws every exposure at the head's true position: image x = X full steps, image y = Y full
// steps times yStepScale, both from the home corner, which the picture always shows. The work
// piece is pale wood that darkens towards char with the exposure. A null image when the marks
// would not fit in kMaxBurnPictureSide.
QImage burnPicture(const std::vector<machine::Exposure>& exposures, const BurnStyle& style = {});

// Writes a burn picture as PNG; false with a reason when it cannot.
bool saveBurnPicture(const QImage& picture, const std::string& path, std::string& error);

}  // namespace ostrel::simulation
