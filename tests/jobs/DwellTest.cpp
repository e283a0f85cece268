// The dwell table against the printed run table, level by level.
#include <gtest/gtest.h>

#include <set>

#include "jobs/Dwell.h"

using ostrel::jobs::dwellMs;

namespace {

struct LevelRun {
    int firstLevel, lastLevel, dwell;
};

// The whole table, run by run: first level, last level, dwell in ms.
constexpr LevelRun kRuns[] = {
    {0, 2, 100},    {3, 5, 99},     {6, 8, 98},     {9, 10, 97},    {11, 13, 96},   {14, 15, 95},
    {16, 18, 94},   {19, 21, 93},   {22, 24, 92},   {25, 27, 91},   {28, 30, 90},   {31, 33, 89},
    {34, 36, 88},   {37, 39, 87},   {40, 42, 86},   {43, 45, 85},   {46, 48, 84},   {49, 51, 83},
    {52, 54, 82},   {55, 57, 81},   {58, 60, 80},   {61, 63, 79},   {64, 66, 78},   {67, 69, 76},
    {70, 72, 75},   {73, 75, 74},   {76, 78, 73},   {79, 81, 72},   {82, 84, 71},   {85, 87, 70},
    {88, 90, 69},   {91, 93, 68},   {94, 96, 67},   {97, 99, 66},   {100, 102, 65}, {103, 105, 64},
    {106, 108, 63}, {109, 110, 62}, {111, 113, 61}, {114, 115, 60}, {116, 118, 59}, {119, 121, 58},
    {122, 124, 57}, {125, 127, 56}, {128, 130, 55}, {131, 133, 54}, {134, 136, 53}, {137, 139, 52},
    {140, 142, 51}, {143, 145, 50}, {146, 148, 49}, {149, 151, 48}, {152, 154, 47}, {155, 157, 46},
    {158, 160, 45}, {161, 163, 44}, {164, 166, 43}, {167, 169, 42}, {170, 172, 41}, {173, 175, 40},
    {176, 178, 39}, {179, 181, 38}, {182, 184, 37}, {185, 187, 36}, {188, 190, 35}, {191, 193, 34},
    {194, 196, 33}, {197, 199, 32}, {200, 202, 31}, {203, 205, 30}, {206, 208, 29}, {209, 210, 28},
    {211, 213, 27}, {214, 215, 26}, {216, 218, 25}, {219, 221, 24}, {222, 224, 23}, {225, 227, 22},
    {228, 230, 21}, {231, 233, 20}, {234, 236, 19}, {237, 239, 18}, {240, 242, 17}, {243, 245, 16},
    {246, 248, 15}, {249, 251, 14}, {252, 255, 13}};

}  // namespace

TEST(Dwell, EveryLevelMatchesItsRun) {
    int nextLevel = 0;
    for (const LevelRun& run : kRuns) {
        SCOPED_TRACE("levels " + std::to_string(run.firstLevel) + "-" +
                     std::to_string(run.lastLevel));
        ASSERT_EQ(run.firstLevel, nextLevel) << "the rows cover every level once";
        for (int level = run.firstLevel; level <= run.lastLevel; ++level) {
            EXPECT_EQ(dwellMs[static_cast<size_t>(level)], run.dwell) << "level " << level;
        }
        nextLevel = run.lastLevel + 1;
    }
    EXPECT_EQ(nextLevel, 256);
    EXPECT_EQ(std::size(kRuns), 87u);
}

TEST(Dwell, DarkerBurnsLongerAndNeverFor77Ms) {
    std::set<int> used;
    for (size_t level = 0; level < 256; ++level) {
        used.insert(dwellMs[level]);
        if (level > 0) {
            EXPECT_LE(dwellMs[level], dwellMs[level - 1]) << "level " << level;
        }
        EXPECT_GE(dwellMs[level], 13) << "level " << level;
    }
    EXPECT_EQ(used.count(77), 0u);
    EXPECT_EQ(used.size(), 87u);  // 100 down to 13 without 77
}
