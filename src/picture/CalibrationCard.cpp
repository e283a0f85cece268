// The calibration card: patches across the dwell range, each labelled with its dwell.
//
//   +--------------------------------------------+
//   | [patch] [patch] [patch] [patch]             |   four patches a row (more for large
//   |                                             |   cards), shortest dwell
//   |   13      21      29      37                |   first; under each its dwell in ms,
//   | [patch] [patch] [patch] [patch]             |   in the dot font, burned black
//   |   45 ...                                    |
//   +--------------------------------------------+
#include "picture/CalibrationCard.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <string>

#include "picture/DotFont.h"

namespace ostrel::picture {

namespace {

constexpr int kColumns = 4;  // patches a row, unless more rows than fit would be needed
constexpr int kMaxRows = 6;
constexpr int kPatchWidth = 11;  // room for a three-digit label
constexpr int kPatchHeight = 7;
constexpr int kLabelGap = 1;  // dots between a patch and its label
constexpr int kCellGap = 3;   // dots between cells, both ways
constexpr int kMargin = 2;
constexpr int kMaxPatches = 40;
constexpr int kWhite = 255, kBlack = 0;

static_assert(kPatchWidth >= 3 * (kGlyphWidth + kGlyphGap) - kGlyphGap, "a label fits its patch");
// NOTE: the largest card, 40 patches in 7 columns and 6 rows, must fit the machine's travel.
static_assert(2 * kMargin + 7 * kPatchWidth + 6 * kCellGap <= kCardMaxWidth);
static_assert(2 * kMargin + kMaxRows * (kPatchHeight + kLabelGap + kGlyphHeight) +
                  (kMaxRows - 1) * kCellGap <=
              kCardMaxHeight);

}  // namespace

CalibrationCard makeCalibrationCard(const DwellTable& dwells, int patchCount) {
    patchCount = std::clamp(patchCount, 2, kMaxPatches);

    // The levels of each burning dwell, to take the middle one.
    std::map<int, std::vector<int>> levelsOfDwell;
    for (int level = 0; level < 256; ++level) {
        const int dwell = dwells[static_cast<size_t>(level)];
        if (dwell > 0) levelsOfDwell[dwell].push_back(level);
    }

    // Targets evenly spaced over the range; each takes the nearest dwell not yet taken.
    std::vector<int> chosen;
    if (!levelsOfDwell.empty()) {
        const int shortest = levelsOfDwell.begin()->first, longest = levelsOfDwell.rbegin()->first;
        const int count = std::min<int>(patchCount, static_cast<int>(levelsOfDwell.size()));
        for (int i = 0; i < count; ++i) {
            const double target =
                count == 1 ? shortest : shortest + double(longest - shortest) * i / (count - 1);
            int best = -1;
            for (const auto& [dwell, levels] : levelsOfDwell) {
                if (std::find(chosen.begin(), chosen.end(), dwell) != chosen.end()) continue;
                if (best < 0 || std::abs(dwell - target) < std::abs(best - target)) best = dwell;
            }
            chosen.push_back(best);
        }
        std::sort(chosen.begin(), chosen.end());
    }

    const int count = static_cast<int>(chosen.size());
    const int columns = std::clamp(count, 1, std::max(kColumns, (count + kMaxRows - 1) / kMaxRows));
    const int rows = std::max(1, (count + columns - 1) / columns);
    const int cellHeight = kPatchHeight + kLabelGap + kGlyphHeight;
    const int width = 2 * kMargin + columns * kPatchWidth + (columns - 1) * kCellGap;
    const int height = 2 * kMargin + rows * cellHeight + (rows - 1) * kCellGap;

    CalibrationCard card;
    card.picture = QImage(width, height, QImage::Format_RGB32);
    card.picture.fill(qRgb(kWhite, kWhite, kWhite));
    for (int i = 0; i < count; ++i) {
        const int dwell = chosen[static_cast<size_t>(i)];
        const std::vector<int>& levels = levelsOfDwell[dwell];
        const int level = levels[(levels.size() - 1) / 2];
        const int x = kMargin + (i % columns) * (kPatchWidth + kCellGap);
        const int y = kMargin + (i / columns) * (cellHeight + kCellGap);
        const QRect area(x, y, kPatchWidth, kPatchHeight);
        card.patches.push_back({area, dwell, level});
    }
    for (const CardPatch& patch : card.patches) {
        for (int y = patch.area.top(); y <= patch.area.bottom(); ++y) {
            for (int x = patch.area.left(); x <= patch.area.right(); ++x)
                card.picture.setPixel(x, y, qRgb(patch.level, patch.level, patch.level));
        }
        const std::string label = std::to_string(patch.dwellMs);
        const int labelX = patch.area.left() + (kPatchWidth - textWidth(label) + 1) / 2;
        drawText(card.picture, labelX, patch.area.bottom() + 1 + kLabelGap, label,
                 qRgb(kBlack, kBlack, kBlack));
    }
    return card;
}

}  // namespace ostrel::picture
