// The laser dwell of the picture engraving run: milliseconds of laser-on time per grey level.
#pragma once

#include <array>
#include <cstdint>

namespace ostrel::jobs {

// The 256 grey levels fall into runs of consecutive levels that share one dwell. The first run
// gives 100 ms and every later run 1 ms less, except that 77 ms is never used. A run covers
// three levels, six short runs cover two, and the last run takes the four levels left:
//
//   levels | 0-2 3-5 6-8 9-10 11-13 14-15 16-18 .. 61-63 64-66 67-69 .. 106-108 109-110 111-113
//   dwell  | 100  99  98  97    96    95    94  ..   79    78    76  ..    63      62      61
//
//   levels | 114-115 116-118 .. 206-208 209-210 211-213 214-215 216-218 .. 249-251 252-255
//   dwell  |    60      59   ..    29      28      27      26      25   ..   14      13
//
// Darker pixels (lower levels) burn longer; no level burns for less than 13 ms. The burn
// marker of the coarse preparation (red 100) falls in the run 100-102, dwell 65.
inline constexpr int kFirstDwellMs = 100;
inline constexpr int kSkippedDwellMs = 77;
inline constexpr int kRunLevels = 3;
// The first levels of the runs that cover two levels only.
inline constexpr std::array<uint8_t, 6> kTwoLevelRunStarts{9, 14, 109, 114, 209, 214};

constexpr std::array<uint8_t, 256> makeDwellTable() {
    std::array<uint8_t, 256> table{};
    int dwell = kFirstDwellMs;
    int level = 0;
    while (level < 256) {
        int length = kRunLevels;
        for (const uint8_t start : kTwoLevelRunStarts) {
            if (start == level) length = 2;
        }
        // Levels too few for a run of their own join the last run.
        if (256 - (level + length) < kRunLevels) length = 256 - level;
        for (int i = 0; i < length; ++i)
            table[static_cast<size_t>(level + i)] = static_cast<uint8_t>(dwell);
        level += length;
        --dwell;
        if (dwell == kSkippedDwellMs) --dwell;
    }
    return table;
}

// Laser dwell in ms by grey level (the low byte of a pixel's colour).
inline constexpr std::array<uint8_t, 256> dwellMs = makeDwellTable();

static_assert(dwellMs[0] == 100 && dwellMs[66] == 78 && dwellMs[67] == 76);
static_assert(dwellMs[100] == 65 && dwellMs[102] == 65);
static_assert(dwellMs[251] == 14 && dwellMs[252] == 13 && dwellMs[255] == 13);

}  // namespace ostrel::jobs
