// The dwell table's properties: its runs, its range, the skipped 77 ms and the marker's dwell.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "jobs/Dwell.h"

using ostrel::jobs::kDwellMs;
using ostrel::jobs::kDwellRuns;

TEST(Dwell, DarkerBurnsLongerWithin13To100Ms) {
    EXPECT_EQ(kDwellMs[0], 100);
    EXPECT_EQ(kDwellMs[255], 13);
    for (size_t level = 0; level < 256; ++level) {
        EXPECT_GE(kDwellMs[level], 13) << "level " << level;
        EXPECT_LE(kDwellMs[level], 100) << "level " << level;
        if (level > 0) {
            EXPECT_LE(kDwellMs[level], kDwellMs[level - 1]) << "level " << level;
        }
    }
}

TEST(Dwell, EveryDwellFrom100To13ButNever77) {
    std::set<int> used(kDwellMs.begin(), kDwellMs.end());
    EXPECT_EQ(used.count(77), 0u);
    for (int dwell = 13; dwell <= 100; ++dwell) {
        if (dwell != 77) {
            EXPECT_EQ(used.count(dwell), 1u) << dwell << " ms";
        }
    }
    EXPECT_EQ(used.size(), 87u);
    // The skip lies between levels 66 and 67.
    EXPECT_EQ(kDwellMs[66], 78);
    EXPECT_EQ(kDwellMs[67], 76);
}

TEST(Dwell, RunLengthsAreThreeLevelsWithSixShortRunsAndALongLastOne) {
    // Length of each run by its first level, measured from the table itself.
    std::map<int, int> lengthByStart;
    int start = 0;
    for (int level = 1; level <= 256; ++level) {
        if (level == 256 ||
            kDwellMs[static_cast<size_t>(level)] != kDwellMs[static_cast<size_t>(start)]) {
            lengthByStart[start] = level - start;
            start = level;
        }
    }
    const std::set<int> shortRuns{9, 14, 109, 114, 209, 214};
    for (const auto& [first, length] : lengthByStart) {
        const int expected = first == 252 ? 4 : shortRuns.count(first) ? 2 : 3;
        EXPECT_EQ(length, expected) << "run starting at level " << first;
    }
    EXPECT_EQ(lengthByStart.size(), kDwellRuns.size()) << "one line per run";
}

TEST(Dwell, TheBurnMarkerLevelsGive65Ms) {
    // The coarse run burns the dots whose dwell is the marker's: exactly levels 100-102.
    for (size_t level = 0; level < 256; ++level) {
        const bool marker = level >= 100 && level <= 102;
        EXPECT_EQ(kDwellMs[level] == ostrel::jobs::kBurnMarkerDwellMs, marker) << "level " << level;
    }
    EXPECT_EQ(kDwellMs[ostrel::jobs::kBurnMarkerLevel], 65);
}
