// The calibration card: patches across the dwell range, each labelled with its dwell.
#pragma once

#include <QImage>
#include <QRect>
#include <vector>

#include "picture/MaterialProfile.h"

namespace ostrel::picture {

// One patch of the card: where it lies, the dwell it burns at and the grey level that gives it.
struct CardPatch {
    QRect area;
    int dwellMs = 0;
    int level = 0;
};

struct CalibrationCard {
    QImage picture;  // RGB32 grey: patches at their levels, labels black, the rest white
    std::vector<CardPatch> patches;
};

// The largest picture the machine's travel allows (dots).
inline constexpr int kCardMaxWidth = 127;
inline constexpr int kCardMaxHeight = 103;
inline constexpr int kDefaultCardPatches = 12;

// A card whose patches, burned in Precise-Burning with the given dwell table, take dwells
// spread evenly from the table's shortest to its longest burning dwell, shortest first. Each
// patch's level is the middle level of the run that gives its dwell, so a stray level either
// side burns the same. Tables with fewer distinct dwells give a patch for each. The patch
// count is held to 2..40.
CalibrationCard makeCalibrationCard(const DwellTable& dwells, int patchCount = kDefaultCardPatches);

}  // namespace ostrel::picture
