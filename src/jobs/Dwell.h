// The laser dwell of the picture engraving run: milliseconds of laser-on time per grey level.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace ostrel::jobs {

// One run of consecutive grey levels that share one dwell.
struct DwellRun {
    uint8_t firstLevel;
    uint8_t lastLevel;
    uint8_t dwellMs;
};

// The whole table, one line per run. Darker pixels (lower levels) burn longer: the first run
// gives 100 ms and every later run 1 ms less, except that 77 ms is never used; no level burns
// for less than 13 ms. A run covers three levels, six short runs cover two, and the last run
// takes the four levels left.
inline constexpr std::array<DwellRun, 87> kDwellRuns{{
    {0, 2, 100},     // 3 levels: black, the longest dwell
    {3, 5, 99},      // 3 levels
    {6, 8, 98},      // 3 levels
    {9, 10, 97},     // 2 levels
    {11, 13, 96},    // 3 levels
    {14, 15, 95},    // 2 levels
    {16, 18, 94},    // 3 levels
    {19, 21, 93},    // 3 levels
    {22, 24, 92},    // 3 levels
    {25, 27, 91},    // 3 levels
    {28, 30, 90},    // 3 levels
    {31, 33, 89},    // 3 levels
    {34, 36, 88},    // 3 levels
    {37, 39, 87},    // 3 levels
    {40, 42, 86},    // 3 levels
    {43, 45, 85},    // 3 levels
    {46, 48, 84},    // 3 levels
    {49, 51, 83},    // 3 levels
    {52, 54, 82},    // 3 levels
    {55, 57, 81},    // 3 levels
    {58, 60, 80},    // 3 levels
    {61, 63, 79},    // 3 levels
    {64, 66, 78},    // 3 levels; 77 ms is skipped after this run
    {67, 69, 76},    // 3 levels
    {70, 72, 75},    // 3 levels
    {73, 75, 74},    // 3 levels
    {76, 78, 73},    // 3 levels
    {79, 81, 72},    // 3 levels
    {82, 84, 71},    // 3 levels
    {85, 87, 70},    // 3 levels
    {88, 90, 69},    // 3 levels
    {91, 93, 68},    // 3 levels
    {94, 96, 67},    // 3 levels
    {97, 99, 66},    // 3 levels
    {100, 102, 65},  // 3 levels: the burn marker (red 100) of the coarse preparation
    {103, 105, 64},  // 3 levels
    {106, 108, 63},  // 3 levels
    {109, 110, 62},  // 2 levels
    {111, 113, 61},  // 3 levels
    {114, 115, 60},  // 2 levels
    {116, 118, 59},  // 3 levels
    {119, 121, 58},  // 3 levels
    {122, 124, 57},  // 3 levels
    {125, 127, 56},  // 3 levels
    {128, 130, 55},  // 3 levels
    {131, 133, 54},  // 3 levels
    {134, 136, 53},  // 3 levels
    {137, 139, 52},  // 3 levels
    {140, 142, 51},  // 3 levels
    {143, 145, 50},  // 3 levels
    {146, 148, 49},  // 3 levels
    {149, 151, 48},  // 3 levels
    {152, 154, 47},  // 3 levels
    {155, 157, 46},  // 3 levels
    {158, 160, 45},  // 3 levels
    {161, 163, 44},  // 3 levels
    {164, 166, 43},  // 3 levels
    {167, 169, 42},  // 3 levels
    {170, 172, 41},  // 3 levels
    {173, 175, 40},  // 3 levels
    {176, 178, 39},  // 3 levels
    {179, 181, 38},  // 3 levels
    {182, 184, 37},  // 3 levels
    {185, 187, 36},  // 3 levels
    {188, 190, 35},  // 3 levels
    {191, 193, 34},  // 3 levels
    {194, 196, 33},  // 3 levels
    {197, 199, 32},  // 3 levels
    {200, 202, 31},  // 3 levels
    {203, 205, 30},  // 3 levels
    {206, 208, 29},  // 3 levels
    {209, 210, 28},  // 2 levels
    {211, 213, 27},  // 3 levels
    {214, 215, 26},  // 2 levels
    {216, 218, 25},  // 3 levels
    {219, 221, 24},  // 3 levels
    {222, 224, 23},  // 3 levels
    {225, 227, 22},  // 3 levels
    {228, 230, 21},  // 3 levels
    {231, 233, 20},  // 3 levels
    {234, 236, 19},  // 3 levels
    {237, 239, 18},  // 3 levels
    {240, 242, 17},  // 3 levels
    {243, 245, 16},  // 3 levels
    {246, 248, 15},  // 3 levels
    {249, 251, 14},  // 3 levels
    {252, 255, 13},  // 4 levels: the levels left over, white, the shortest dwell
}};

constexpr std::array<uint8_t, 256> makeDwellTable() {
    std::array<uint8_t, 256> table{};
    for (const DwellRun& run : kDwellRuns) {
        for (int level = run.firstLevel; level <= run.lastLevel; ++level)
            table[static_cast<std::size_t>(level)] = run.dwellMs;
    }
    return table;
}

// NOTE: the runs must follow one another without a gap or an overlap, from level 0 to 255;
// an edit that breaks this does not compile.
constexpr bool dwellRunsCoverEveryLevelOnce() {
    int next = 0;
    for (const DwellRun& run : kDwellRuns) {
        if (run.firstLevel != next || run.lastLevel < run.firstLevel) return false;
        next = run.lastLevel + 1;
    }
    return next == 256;
}
static_assert(dwellRunsCoverEveryLevelOnce());

// Laser dwell in ms by grey level (the low byte of a pixel's colour).
inline constexpr std::array<uint8_t, 256> kDwellMs = makeDwellTable();

// The burn marker of the coarse preparation (red 100) and the dwell the run looks for.
inline constexpr int kBurnMarkerLevel = 100;
inline constexpr int kBurnMarkerDwellMs = 65;
static_assert(kDwellMs[kBurnMarkerLevel] == kBurnMarkerDwellMs);

}  // namespace ostrel::jobs
